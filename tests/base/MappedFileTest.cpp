#include "base/MappedFile.h"

#include "tests/base/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

std::string Str(std::string_view v) { return std::string(v); }

TEST(MappedFile, SmallFileReadsWholeAndSlicesAreClampedToItsEnd) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    TempDir::WriteAll(dir.File("f"), "0123456789");
    lm::MappedFile f;
    ASSERT_TRUE(f.Open(dir.File("f")));
    ASSERT_EQ(f.Size(), 10);
    EXPECT_EQ(Str({reinterpret_cast<const char*>(f.Data()), 10}), "0123456789");
    struct {
        int64_t begin, length;
        const char* want;
    } slices[] = {
        {2, 3, "234"},   {0, 10, "0123456789"},
        {8, 5, "89"},    // runs past the end: only what exists
        {9, 1, "9"},     {10, 1, ""},  // starts at the end
        {-1, 3, ""},     {3, 0, ""},  {3, -2, ""},
        {4, INT64_MAX, "456789"},  // begin + length would overflow
    };
    for (const auto& s : slices) EXPECT_EQ(Str(f.Slice(s.begin, s.length)), s.want) << s.begin << "+" << s.length;

    // A moved-from view is closed; the new owner reads the same bytes.
    lm::MappedFile g(std::move(f));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(Str(f.Slice(0, 1)), "");
    EXPECT_EQ(Str(g.Slice(0, 3)), "012");
}

TEST(MappedFile, EmptyMissingAndFolderPaths) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    TempDir::WriteAll(dir.File("empty"), "");
    lm::MappedFile f;
    ASSERT_TRUE(f.Open(dir.File("empty")));
    EXPECT_TRUE(f.IsOpen());
    EXPECT_EQ(f.Size(), 0);
    EXPECT_EQ(Str(f.Slice(0, 1)), "");

    std::string err;
    EXPECT_FALSE(f.Open(dir.File("missing"), &err));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_NE(err.find("cannot open"), std::string::npos) << err;
    err.clear();
    EXPECT_FALSE(f.Open(dir.Path(), &err));
    EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
}

// Files of 1 MiB and more are mapped rather than read: the same bytes.
TEST(MappedFile, LargeFileIsMappedWithTheSameBytes) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    std::string big(size_t(1) << 20, 'a');
    big.back() = 'z';
    TempDir::WriteAll(dir.File("big"), big);
    lm::MappedFile f;
    ASSERT_TRUE(f.Open(dir.File("big")));
    ASSERT_EQ(f.Size(), int64_t(big.size()));
    EXPECT_EQ(Str(f.Slice(f.Size() - 2, 5)), "az");
    f.Release(0, f.Size());  // pages go back; the bytes stay readable
    EXPECT_EQ(f.Data()[0], 'a');
    f.Close();
    EXPECT_EQ(f.Size(), 0);
    EXPECT_EQ(Str(f.Slice(0, 1)), "");
}

}  // namespace
