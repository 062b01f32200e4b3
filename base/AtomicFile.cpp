#include "base/AtomicFile.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Paths.h"

namespace lm {

namespace {

constexpr char kTempPrefix[] = ".lumitra-";
constexpr char kTempSuffix[] = ".tmp";
constexpr size_t kTempHexDigits = 8;
constexpr int kTempNameAttempts = 100;

std::string Errno(const char* what, const std::string& path) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(errno);
}

void SetError(std::string* error, const std::string& msg) {
    if (error) *error = msg;
}

std::string FolderPrefix(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The owner's process id in a temporary name; 0 when the name is not ours.
pid_t OwnerOf(const std::string& name) {
    const size_t prefix = sizeof kTempPrefix - 1, suffix = sizeof kTempSuffix - 1;
    if (name.size() < prefix + 1 + 1 + kTempHexDigits + suffix) return 0;
    if (name.compare(0, prefix, kTempPrefix) != 0) return 0;
    if (name.compare(name.size() - suffix, suffix, kTempSuffix) != 0) return 0;
    const std::string middle = name.substr(prefix, name.size() - prefix - suffix);
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || middle.size() - dash - 1 != kTempHexDigits) return 0;
    int64_t pid = 0;
    for (size_t i = 0; i < dash; ++i) {
        if (middle[i] < '0' || middle[i] > '9' || pid > 1'000'000'000) return 0;
        pid = pid * 10 + (middle[i] - '0');
    }
    for (size_t i = dash + 1; i < middle.size(); ++i)
        if (!std::isxdigit(static_cast<unsigned char>(middle[i]))) return 0;
    return pid > 0 ? pid_t(pid) : 0;
}

bool ProcessRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

FileStamp StampOfFile(const std::string& path) {
    FileStamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.device = uint64_t(st.st_dev);
    s.inode = uint64_t(st.st_ino);
    s.size = int64_t(st.st_size);
    s.mtimeSec = int64_t(st.st_mtim.tv_sec);
    s.mtimeNsec = int64_t(st.st_mtim.tv_nsec);
    return s;
}

uint64_t ContentHash(const uint8_t* bytes, size_t n) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < n; ++i) {
        h ^= bytes[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

bool AtomicFileWriter::Open(const std::string& path, std::string* error) {
    Abandon();
    m_path = path;
    // Keep the permissions of the file being replaced; a new file gets
    // 0666 less the umask, as open() gives it.
    struct stat old {};
    const bool hadOld = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    std::random_device rd;
    const std::string folder = FolderPrefix(path);
    for (int attempt = 0; attempt < kTempNameAttempts && m_fd < 0; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%ld-%08x%s", kTempPrefix, long(::getpid()), unsigned(rd()), kTempSuffix);
        m_temp = folder + name;
        m_fd = ::open(m_temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST) {
            SetError(error, Errno("cannot create", m_temp));
            m_temp.clear();
            return false;
        }
    }
    if (m_fd < 0) {
        SetError(error, Errno("cannot create", m_temp));
        m_temp.clear();
        return false;
    }
    // Held until the rename: a sweep of the folder leaves the file alone.
    (void)::flock(m_fd, LOCK_EX | LOCK_NB);
    if (hadOld) (void)::fchmod(m_fd, old.st_mode & 07777);
    return true;
}

bool AtomicFileWriter::Write(const void* data, size_t n, std::string* error) {
    if (m_fd < 0) {
        SetError(error, "no file is open for writing");
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::write(m_fd, p + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            SetError(error, Errno("cannot write", m_temp));
            return false;
        }
        done += size_t(r);
    }
    return true;
}

bool AtomicFileWriter::Commit(std::string* error, FileStamp* stamp) {
    if (m_fd < 0) {
        SetError(error, "no file is open for writing");
        return false;
    }
    if (::fsync(m_fd) != 0) {
        SetError(error, Errno("cannot flush", m_temp));
        Abandon();
        return false;
    }
    // The stamp the file keeps after the rename (a rename changes neither
    // inode nor modification time).
    struct stat st {};
    const bool stamped = ::fstat(m_fd, &st) == 0;
    if (::rename(m_temp.c_str(), m_path.c_str()) != 0) {
        SetError(error, Errno("cannot replace", m_path));
        Abandon();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    m_temp.clear();
    if (::close(fd) != 0) {
        SetError(error, Errno("cannot close", m_path));
        return false;
    }
    if (stamp) {
        *stamp = FileStamp();
        if (stamped) {
            stamp->exists = true;
            stamp->device = uint64_t(st.st_dev);
            stamp->inode = uint64_t(st.st_ino);
            stamp->size = int64_t(st.st_size);
            stamp->mtimeSec = int64_t(st.st_mtim.tv_sec);
            stamp->mtimeNsec = int64_t(st.st_mtim.tv_nsec);
        }
    }
    // Make the rename itself durable (best effort).
    const std::string dir = LocalFolderOf(m_path);
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    // Leftovers of writers that died here before go now.
    RemoveStaleTempFiles(dir);
    return true;
}

void AtomicFileWriter::Abandon() {
    if (m_fd >= 0) {
        ::unlink(m_temp.c_str());
        ::close(m_fd);
        m_fd = -1;
    }
    m_temp.clear();
}

bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error,
                     FileStamp* stamp) {
    AtomicFileWriter w;
    return w.Open(path, error) && w.Write(bytes.data(), bytes.size(), error) && w.Commit(error, stamp);
}

bool IsAtomicTempName(const std::string& fileName) { return OwnerOf(fileName) != 0; }

int RemoveStaleTempFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        const pid_t owner = OwnerOf(name);
        if (owner == 0) continue;
        const std::string path = (folder.empty() ? std::string() : folder + "/") + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        // A writer holds its file locked; a file of this process that nobody
        // holds was left by an earlier process that had the same id.
        const bool free = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (free && (owner == ::getpid() || !ProcessRuns(owner)) && ::unlink(path.c_str()) == 0) ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

}  // namespace lm
