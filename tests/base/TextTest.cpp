#include "base/Paths.h"
#include "base/Text.h"

#include "tests/base/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(Text, TrimTakesCWhiteSpaceAndTrimSpacesOnlyBlanks) {
    struct Case {
        const char* in;
        const char* trimmed;
        const char* spacesTrimmed;
    } const cases[] = {
        {"  a b  ", "a b", "a b"},
        {"\t\n\v\f\r a \r\n", "a", "\t\n\v\f\r a \r\n"},  // only blanks leave an FCS value
        {" \ta\t ", "a", "\ta\t"},
        {"   ", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lm::Trim(c.in), c.trimmed) << c.in;
        EXPECT_EQ(lm::TrimSpaces(c.in), c.spacesTrimmed) << c.in;
    }
}

TEST(Paths, FileNameAndFolderSplitAtEitherSeparator) {
    struct Case {
        const char* path;
        const char* name;
        const char* folder;
    } const cases[] = {
        {"/data/run/a.fcs", "a.fcs", "/data/run/"},
        {"C:\\data\\b.fcs", "b.fcs", "C:\\data\\"},  // stored by the Windows program
        {"C:\\data/mixed\\c.fcs", "c.fcs", "C:\\data/mixed\\"},
        {"plain.fcs", "plain.fcs", ""},
        {"/data/", "", "/data/"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lm::FileNameOf(c.path), c.name) << c.path;
        EXPECT_EQ(lm::FolderOf(c.path), c.folder) << c.path;
    }
}

TEST(Paths, CanonicalPathsAreAbsoluteAndCleanWhetherOrNotTheFileExists) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string real = std::filesystem::canonical(dir.Path()).string();
    TempDir::WriteAll(dir.File("a.fcs"), "x");
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_EQ(lm::CanonicalFilePath(dir.Path() + "/sub/../a.fcs"), real + "/a.fcs");
    EXPECT_EQ(lm::CanonicalFilePath(dir.Path() + "/./gone/../missing.fcs"), real + "/missing.fcs");
    EXPECT_EQ(lm::CanonicalFilePath(""), "");

    const std::filesystem::path was = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::string relative = lm::CanonicalFilePath("a.fcs");
    std::filesystem::current_path(was);
    EXPECT_EQ(relative, real + "/a.fcs");
}

}  // namespace
