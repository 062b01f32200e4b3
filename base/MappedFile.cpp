#include "base/MappedFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lm {

namespace {
constexpr size_t kMapThreshold = 1 << 20;  // below 1 MiB a plain read is as fast
}

MappedFile::~MappedFile() { Close(); }

MappedFile::MappedFile(MappedFile&& o) noexcept { *this = std::move(o); }

MappedFile& MappedFile::operator=(MappedFile&& o) noexcept {
    if (this != &o) {
        Close();
        m_data = o.m_data;
        m_size = o.m_size;
        m_open = o.m_open;
        m_mapped = o.m_mapped;
        m_owned = std::move(o.m_owned);
        if (!m_mapped && m_open && !m_owned.empty()) m_data = m_owned.data();
        o.m_data = nullptr;
        o.m_size = 0;
        o.m_open = o.m_mapped = false;
    }
    return *this;
}

void MappedFile::Close() {
    if (m_mapped && m_data) munmap(const_cast<uint8_t*>(m_data), m_size);
    m_data = nullptr;
    m_size = 0;
    m_open = m_mapped = false;
    m_owned.clear();
    m_owned.shrink_to_fit();
}

void MappedFile::OpenMemory(const void* data, size_t size) {
    Close();
    m_data = static_cast<const uint8_t*>(data);
    m_size = size;
    m_open = true;
}

bool MappedFile::Open(const std::string& path, std::string* error) {
    Close();
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail("cannot open");
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        errno = e;
        return fail("cannot stat");
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return fail("not a regular file");
    }
    size_t size = size_t(st.st_size);
    if (size >= kMapThreshold) {
        void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p != MAP_FAILED) {
            madvise(p, size, MADV_SEQUENTIAL);
            madvise(p, size, MADV_WILLNEED);
            ::close(fd);
            m_data = static_cast<const uint8_t*>(p);
            m_size = size;
            m_mapped = true;
            m_open = true;
            return true;
        }
    }
    m_owned.resize(size);
    size_t got = 0;
    while (got < size) {
        ssize_t r = ::read(fd, m_owned.data() + got, size - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            m_owned.clear();
            errno = e;
            return fail("cannot read");
        }
        if (r == 0) break;  // file shrank while reading: keep what is there
        got += size_t(r);
    }
    ::close(fd);
    m_owned.resize(got);
    m_data = m_owned.data();
    m_size = got;
    m_open = true;
    return true;
}

std::string_view MappedFile::Slice(int64_t begin, int64_t length) const {
    if (!m_open || begin < 0 || length <= 0 || begin >= int64_t(m_size)) return {};
    int64_t avail = int64_t(m_size) - begin;
    if (length > avail) length = avail;
    return {reinterpret_cast<const char*>(m_data) + begin, size_t(length)};
}

void MappedFile::Release(int64_t begin, int64_t length) const {
    if (!m_mapped || begin < 0 || length <= 0 || begin >= int64_t(m_size)) return;
    const int64_t page = sysconf(_SC_PAGESIZE);
    int64_t end = begin + length;
    if (end > int64_t(m_size)) end = int64_t(m_size);
    int64_t a = (begin + page - 1) / page * page;  // only whole pages inside the range
    int64_t b = end / page * page;
    if (b > a) madvise(const_cast<uint8_t*>(m_data) + a, size_t(b - a), MADV_DONTNEED);
}

}  // namespace lm
