#include "base/Paths.h"
#include "base/Text.h"

#include "tests/base/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(Text, TrimTakesCWhiteSpaceAndTrimSpacesOnlyBlanks) {
    // text, Trim, TrimSpaces
    const char* const cases[][3] = {
        {"  a b  ", "a b", "a b"},
        {"\t\n\v\f\r a \r\n", "a", "\t\n\v\f\r a \r\n"},  // only blanks leave an FCS value
        {" \ta\t ", "a", "\ta\t"},
        {"   ", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lm::Trim(c[0]), c[1]) << c[0];
        EXPECT_EQ(lm::TrimSpaces(c[0]), c[2]) << c[0];
    }
}

TEST(Paths, FileNameAndFolderSplitAtEitherSeparator) {
    // path, FileNameOf, FolderOf
    const char* const cases[][3] = {
        {"/data/run/a.fcs", "a.fcs", "/data/run/"},
        {"C:\\data\\b.fcs", "b.fcs", "C:\\data\\"},  // stored by the Windows program
        {"C:\\data/mixed\\c.fcs", "c.fcs", "C:\\data/mixed\\"},
        {"plain.fcs", "plain.fcs", ""},
        {"/data/", "", "/data/"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lm::FileNameOf(c[0]), c[1]) << c[0];
        EXPECT_EQ(lm::FolderOf(c[0]), c[2]) << c[0];
    }
}

TEST(Paths, LocalFolderSplitsAtTheLastSlashOnly) {
    // path, LocalFolderOf
    const char* const cases[][2] = {
        {"/data/run/a.fld", "/data/run"},
        {"/a.fld", "/"},                    // the root, not an empty name
        {"a.fld", "."},                     // the current folder
        {"run/a\\b.fld", "run"},            // a backslash belongs to the name
        {"/data/run/", "/data/run"},
    };
    for (const auto& c : cases) EXPECT_EQ(lm::LocalFolderOf(c[0]), c[1]) << c[0];
}

TEST(Paths, CanonicalPathsAreCleanWhetherOrNotTheFileExists) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string real = std::filesystem::canonical(dir.Path()).string();
    TempDir::WriteAll(dir.File("a.fcs"), "x");
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_EQ(lm::CanonicalFilePath(dir.Path() + "/sub/../a.fcs"), real + "/a.fcs");
    EXPECT_EQ(lm::CanonicalFilePath(dir.Path() + "/./gone/../missing.fcs"), real + "/missing.fcs");
    EXPECT_EQ(lm::CanonicalFilePath(""), "");
}

}  // namespace
