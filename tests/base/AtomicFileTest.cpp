// Writing through a temporary file: names at the file system's limit, the
// temporary's own name, permissions kept, the stamp a replaced file shows,
// and leftovers of writers that died told from files still being written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/AtomicFile.h"
#include "tests/base/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) out.insert(e.path().filename().string());
    return out;
}

// "中" is three bytes in UTF-8.
std::string Chinese(int characters) {
    std::string s;
    for (int i = 0; i < characters; ++i) s += "\xE4\xB8\xAD";
    return s;
}

// The id of a process that has ended (and been reaped).
pid_t EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

TEST(AtomicFile, EveryNameTheFileSystemTakesIsWrittenAndNoTemporaryStays) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::vector<std::string> names = {
        std::string(255 - 4, 'a') + ".fld",  // the longest name there is
        std::string(243 - 4, 'b') + ".fld",  // the shortest that failed with 13 more bytes
        Chinese(85),                          // 255 bytes
        Chinese(80) + ".fld",
    };
    for (const std::string& name : names) {
        std::string err;
        ASSERT_TRUE(lm::WriteFileAtomic(dir.File(name), Bytes{1, 2, 3}, &err)) << name.size() << ": " << err;
        ASSERT_TRUE(lm::WriteFileAtomic(dir.File(name), Bytes{4, 5}, &err)) << err;
        EXPECT_EQ(TempDir::ReadAll(dir.File(name)), std::string("\x04\x05"));
    }
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>(names.begin(), names.end()));
    // One byte more is a name the file system refuses, and it says so.
    std::string err;
    EXPECT_FALSE(lm::WriteFileAtomic(dir.File(std::string(256, 'c')), Bytes{1}, &err));
    EXPECT_NE(err.find("too long"), std::string::npos) << err;
}

TEST(AtomicFile, TheTemporaryIsShortLockedAndNamedForItsOwner) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    lm::AtomicFileWriter w;
    std::string err;
    ASSERT_TRUE(w.Open(dir.File(std::string(255, 'x')), &err)) << err;
    const std::string name = std::filesystem::path(w.TempPath()).filename().string();
    EXPECT_TRUE(lm::IsAtomicTempName(name)) << name;
    EXPECT_EQ(name.rfind(".lumitra-" + std::to_string(::getpid()) + "-", 0), 0u) << name;
    EXPECT_LE(name.size(), 32u);
    // Another open of it cannot take the lock while it is written.
    const int fd = ::open(w.TempPath().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
    w.Abandon();
    EXPECT_TRUE(Names(dir.Path()).empty());

    for (const char* other : {".lumitra-12-0000000.tmp", ".lumitra--0123abcd.tmp", ".lumitra-12-0123abcg.tmp",
                              "lumitra-12-0123abcd.tmp", ".lumitra-12-0123abcd.tm", "x.fld.tmp-0123abcd"})
        EXPECT_FALSE(lm::IsAtomicTempName(other)) << other;
    EXPECT_TRUE(lm::IsAtomicTempName(".lumitra-12-0123ABcd.tmp"));
}

TEST(AtomicFile, AReplacedFileKeepsItsPermissionsAndItsStampShowsTheReplacement) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("r.fld");
    std::string err;
    lm::FileStamp first;
    ASSERT_TRUE(lm::WriteFileAtomic(path, Bytes{1, 2, 3}, &err, &first)) << err;
    EXPECT_EQ(first, lm::StampOfFile(path));
    EXPECT_EQ(first.size, 3);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    lm::FileStamp second;
    ASSERT_TRUE(lm::WriteFileAtomic(path, Bytes{7, 8, 9}, &err, &second)) << err;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Same size, and a rename: the inode tells them apart.
    EXPECT_EQ(second.size, first.size);
    EXPECT_NE(second.inode, first.inode);
    EXPECT_EQ(second, lm::StampOfFile(path));
    EXPECT_FALSE(lm::StampOfFile(dir.File("none")).exists);

    const Bytes a{1, 2, 3}, b{1, 2, 4};
    EXPECT_EQ(lm::ContentHash(a.data(), a.size()), lm::ContentHash(a.data(), a.size()));
    EXPECT_NE(lm::ContentHash(a.data(), a.size()), lm::ContentHash(b.data(), b.size()));
    EXPECT_NE(lm::ContentHash(a.data(), 2), lm::ContentHash(a.data(), 3));
}

TEST(AtomicFile, OnlyLeftoversOfEndedWritersAreRemoved) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const pid_t ended = EndedProcess();
    char name[64];
    std::snprintf(name, sizeof name, ".lumitra-%ld-0123abcd.tmp", long(ended));
    const std::string leftover = name;
    TempDir::WriteAll(dir.File(leftover), "half a report");
    // A process that runs (the init process) and holds nothing: its file
    // may be one it is about to lock.
    const std::string running = ".lumitra-1-0123abcd.tmp";
    TempDir::WriteAll(dir.File(running), "x");
    // One of this process that nobody holds was left by an earlier process
    // that had the same id.
    std::snprintf(name, sizeof name, ".lumitra-%ld-4567abcd.tmp", long(::getpid()));
    TempDir::WriteAll(dir.File(name), "x");
    // Files of other programs and of the old naming stay.
    TempDir::WriteAll(dir.File("r.fld.tmp-0123abcd"), "x");
    TempDir::WriteAll(dir.File("r.fld"), "report");
    // A writer of this process at work.
    lm::AtomicFileWriter busy;
    std::string err;
    ASSERT_TRUE(busy.Open(dir.File("busy.fld"), &err)) << err;
    const std::string busyName = std::filesystem::path(busy.TempPath()).filename().string();

    EXPECT_EQ(lm::RemoveStaleTempFiles(dir.Path()), 2);
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{running, "r.fld.tmp-0123abcd", "r.fld", busyName}));

    // A writer that died in the middle of a save (killed: no destructor ran)
    // leaves its file; the next save in that folder takes it away.
    const pid_t child = ::fork();
    if (child == 0) {
        auto* w = new lm::AtomicFileWriter;
        std::string e;
        if (!w->Open(dir.File("r.fld"), &e) || !w->Write("half", 4, &e)) ::_exit(1);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Names(dir.Path()).size(), 5u);
    ASSERT_TRUE(lm::WriteFileAtomic(dir.File("r.fld"), Bytes{1}, &err)) << err;
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{running, "r.fld.tmp-0123abcd", "r.fld", busyName}));
    ASSERT_TRUE(busy.Commit(&err)) << err;
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{running, "r.fld.tmp-0123abcd", "r.fld", "busy.fld"}));
}

}  // namespace
