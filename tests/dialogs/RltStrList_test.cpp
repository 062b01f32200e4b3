// The phrase lists file: its bytes at the string-length limits, reading back
// what was written, and refusing damaged files whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/Archive.h"
#include "dialogs/RltStrList.h"
#include "tests/base/TempDir.h"

namespace {

std::vector<uint8_t> Store(const RltStrList& lists) {
    CArchive ar;
    StoreRltStrList(ar, lists);
    return ar.Bytes();
}

bool Load(const std::vector<uint8_t>& bytes, RltStrList* out) {
    try {
        CArchive ar(bytes);
        LoadRltStrList(ar, out);
        return true;
    } catch (const CArchiveException&) {
        return false;
    }
}

std::vector<uint8_t> Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

RltStrList Sample() {
    RltStrList l;
    l.strings = {"阳性", "negative"};
    l.colors = {0xFFFFFF, 0x00123456};
    l.entries = {{"CD4", {"raised", "", "偏低"}}};
    return l;
}

TEST(RltStrListTest, StringPrefixesAtTheLengthLimitsAreTheArchiveOnes) {
    const struct {
        size_t length;
        std::vector<uint8_t> prefix;
    } cases[] = {
        {0, {0x00}},
        {254, {0xFE}},                                    // the last one-byte length
        {255, {0xFF, 0xFF, 0x00}},                        // 0xFF announces a 16-bit length
        {0xFFFD, {0xFF, 0xFD, 0xFF}},                     // the last 16-bit length
        {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0}},   // 0xFFFE would be the Unicode marker
    };
    for (const auto& c : cases) {
        RltStrList lists;
        lists.strings = {std::string(c.length, 'a')};
        lists.colors = {0x00FFFFFF};
        const std::vector<uint8_t> bytes = Store(lists);
        std::vector<uint8_t> want = Le32(1);
        want.insert(want.end(), c.prefix.begin(), c.prefix.end());
        want.insert(want.end(), c.length, 'a');
        for (uint32_t v : {0x00FFFFFFu, 0u}) {  // the colour, then no dictionary entries
            const auto w = Le32(v);
            want.insert(want.end(), w.begin(), w.end());
        }
        EXPECT_EQ(bytes, want) << c.length;
        RltStrList back;
        ASSERT_TRUE(Load(bytes, &back)) << c.length;
        EXPECT_EQ(back, lists) << c.length;
        EXPECT_EQ(Store(back), bytes) << c.length;
    }
}

TEST(RltStrListTest, DictionaryBytesAndChineseTextInCodePage936) {
    RltStrList lists;
    lists.entries = {{"A", {}}, {"阴", {"x"}}};
    const std::vector<uint8_t> want = {0, 0, 0, 0,                 // no phrases
                                       2, 0, 0, 0,                 // two entries
                                       1, 'A', 0, 0, 0, 0,         // "A", no phrases
                                       2, 0xD2, 0xF5, 1, 0, 0, 0,  // "阴" in code page 936
                                       1, 'x'};
    EXPECT_EQ(Store(lists), want);
}

TEST(RltStrListTest, AMissingColourIsWrittenWhite) {
    RltStrList lists;
    lists.strings = {"a", "b"};
    lists.colors = {0x10};
    RltStrList back;
    ASSERT_TRUE(Load(Store(lists), &back));
    EXPECT_EQ(back.colors, (std::vector<COLORREF>{0x10, 0xFFFFFF}));
}

TEST(RltStrListTest, EveryTruncationAndTrailingByteIsRefusedAndLeavesTheListsAlone) {
    const std::vector<uint8_t> whole = Store(Sample());
    const RltStrList before = [] {
        RltStrList l;
        l.strings = {"old"};
        l.colors = {1};
        return l;
    }();
    for (size_t n = 0; n < whole.size(); ++n) {
        RltStrList lists = before;
        EXPECT_FALSE(Load(std::vector<uint8_t>(whole.begin(), whole.begin() + long(n)), &lists)) << n;
        EXPECT_EQ(lists, before) << n;
    }
    std::vector<uint8_t> longer = whole;
    longer.push_back(0);
    RltStrList lists = before;
    EXPECT_FALSE(Load(longer, &lists));
    EXPECT_EQ(lists, before);
    ASSERT_TRUE(Load(whole, &lists));
    EXPECT_EQ(lists, Sample());
}

TEST(RltStrListTest, HostileCountsAndLengthsAreRefusedBeforeAnythingIsReserved) {
    auto cat = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out;
        for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const std::vector<uint8_t> cases[] = {
        Le32(0x7FFFFFFF),                                          // phrases beyond the bytes
        Le32(0xFFFFFFFF),                                          // a negative phrase count
        cat({Le32(0), Le32(0x80000000)}),                          // a negative entry count
        cat({Le32(0), Le32(1), {1, 'n'}, Le32(0x40000000)}),       // phrases of an entry beyond the bytes
        cat({Le32(1), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}),  // a 4 GB string
        cat({Le32(1), {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF}}),      // Unicode marker twice
        cat({Le32(2), {0}, Le32(0)}),                              // two phrases announced, one given
    };
    for (const auto& bytes : cases) {
        RltStrList lists = Sample();
        EXPECT_FALSE(Load(bytes, &lists)) << bytes.size();
        EXPECT_EQ(lists, Sample()) << bytes.size();
    }
}

class RltStrListFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string Path() const { return RltStrListPath(dir.Path()); }
};

TEST_F(RltStrListFileTest, SaveCreatesTheFolderAndLoadReadsItBack) {
    RltStrList lists;
    std::string error;
    EXPECT_EQ(LoadRltStrListFile(dir.Path(), &lists, &error), RltLoadStatus::missing);
    EXPECT_TRUE(lists.strings.empty() && lists.entries.empty());
    ASSERT_TRUE(SaveRltStrListFile(dir.Path(), Sample(), &error)) << error;
    EXPECT_EQ(Path(), dir.Path() + "/Database/RLTSTRLIST");
    ASSERT_EQ(LoadRltStrListFile(dir.Path(), &lists, &error), RltLoadStatus::loaded);
    EXPECT_EQ(lists, Sample());
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path() + "/Database")) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST_F(RltStrListFileTest, ADamagedFileIsNamedKeptAsBadAndNotOverwritten) {
    ASSERT_TRUE(SaveRltStrListFile(dir.Path(), Sample(), nullptr));
    std::string bytes = TempDir::ReadAll(Path());
    bytes.resize(bytes.size() - 3);
    std::ofstream(Path(), std::ios::binary | std::ios::trunc) << bytes;
    RltStrList lists;
    lists.strings = {"in memory"};
    std::string error;
    EXPECT_EQ(LoadRltStrListFile(dir.Path(), &lists, &error), RltLoadStatus::damaged);
    EXPECT_EQ(lists.strings, std::vector<std::string>{"in memory"});
    EXPECT_NE(error.find("RLTSTRLIST.bad"), std::string::npos) << error;
    EXPECT_NE(error.find("end of data"), std::string::npos) << error;
    EXPECT_EQ(TempDir::ReadAll(Path() + ".bad"), bytes);
    EXPECT_FALSE(std::filesystem::exists(Path()));
    ASSERT_TRUE(SaveRltStrListFile(dir.Path(), lists, nullptr));
    EXPECT_EQ(TempDir::ReadAll(Path() + ".bad"), bytes);  // the next save leaves it alone
}

TEST_F(RltStrListFileTest, AFailedSaveSaysWhyAndKeepsTheOldFile) {
    // "Database" is a file: the folder cannot be made.
    std::ofstream(dir.Path() + "/Database") << "x";
    std::string error;
    EXPECT_FALSE(SaveRltStrListFile(dir.Path(), Sample(), &error));
    EXPECT_NE(error.find("Database"), std::string::npos) << error;
    EXPECT_EQ(TempDir::ReadAll(dir.Path() + "/Database"), "x");

    // The file's place is taken by a folder: the rename fails, nothing is lost.
    TempDir other;
    std::filesystem::create_directories(other.Path() + "/Database/RLTSTRLIST/inside");
    error.clear();
    EXPECT_FALSE(SaveRltStrListFile(other.Path(), Sample(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::exists(other.Path() + "/Database/RLTSTRLIST/inside"));
}

}  // namespace
