#include "database/DbGridState.h"

#include <gtest/gtest.h>

#include "database/DatabaseIds.h"

namespace {

std::vector<uint8_t> Ints(std::initializer_list<int32_t> values) {
    std::vector<uint8_t> bytes;
    for (int32_t v : values)
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    return bytes;
}

TEST(DbGridState, WritesTheStateFileByteForByte) {
    CDbGridState s;
    s.Resize(2, 2);
    s.rect = CRect(10, 20, 310, 80);
    s.borders = {150};
    s.SetCell(0, 0, kDbId);
    s.SetCell(1, 1, kDbReceiveDate);
    s.counter = 7;
    EXPECT_EQ(s.Write(), Ints({2, 2, 10, 20, 310, 80, 1, 150, 1119, 0, 0, 1210, 7}));
    // The defaults of a missing file: 1 x 2, nothing linked, counter 0.
    EXPECT_EQ(CDbGridState().Write(), Ints({1, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(DbGridState, EveryTruncationIsRefusedAndLeavesTheStateAsItWas) {
    CDbGridState full;
    full.Resize(3, 4);
    full.borders = {40, 90, 130};
    full.SetCell(2, 3, kDbName);
    full.counter = 12;
    const std::vector<uint8_t> bytes = full.Write();
    for (size_t n = 0; n < bytes.size(); ++n) {
        CDbGridState s;
        s.SetCell(0, 1, kDbSex);
        std::string error;
        EXPECT_FALSE(s.Read(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(n)), &error)) << n;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(s.Cell(0, 1), kDbSex) << n;
        EXPECT_EQ(s.rows, 1);
    }
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    CDbGridState s;
    EXPECT_FALSE(s.Read(longer, nullptr));
    ASSERT_TRUE(s.Read(bytes, nullptr));
    EXPECT_EQ(s.Write(), bytes);
}

TEST(DbGridState, CountsBordersAndIdsAreChecked) {
    const struct {
        std::vector<uint8_t> bytes;
        bool ok;
        int32_t cell0;
    } cases[] = {
        {Ints({0, 2, 0, 0, 0, 0, 0, 0, 0, 0}), false, 0},
        {Ints({101, 1, 0, 0, 0, 0, 0}), false, 0},
        {Ints({1, -1, 0, 0, 0, 0, 0, 0}), false, 0},
        {Ints({1, 3, 0, 0, 0, 0, 2, 50, 50, 0, 0, 0, 0}), false, 0},     // borders not ascending
        {Ints({1, 2, 0, 0, 0, 0, -1, 0, 0, 0}), false, 0},               // negative border count
        {Ints({1, 2, 0, 0, 0, 0, 0, 4242, 1123, 0}), true, 0},           // an unknown id is an empty cell
        {Ints({1, 1, 0, 0, 0, 0, 0, 1184, -3}), true, kDbState},         // a negative counter starts again at 0
    };
    for (const auto& c : cases) {
        CDbGridState s;
        EXPECT_EQ(s.Read(c.bytes, nullptr), c.ok) << c.bytes.size();
        if (c.ok) {
            EXPECT_EQ(s.Cell(0, 0), c.cell0);
            EXPECT_GE(s.counter, 0);
        }
    }
}

TEST(DbGridState, ResizingKeepsTheCellsThatStillFitAndHoldsAtTheLimits) {
    CDbGridState s;
    s.Resize(3, 3);
    s.SetCell(0, 0, kDbId);
    s.SetCell(2, 2, kDbAge);
    s.SetCell(1, 0, kDbName);
    s.Resize(2, 5);
    EXPECT_EQ(s.Cell(0, 0), kDbId);
    EXPECT_EQ(s.Cell(1, 0), kDbName);
    EXPECT_EQ(s.Cell(1, 4), 0);
    EXPECT_EQ(s.Cell(2, 2), 0);  // outside now
    s.Resize(500, 0);
    EXPECT_EQ(s.rows, kLayoutMaxSide);
    EXPECT_EQ(s.cols, 1);
    s.Resize(100, 100);
    s.SetCell(99, 99, kDbRemark);
    s.SetCell(99, 98, 1);  // not a field
    s.counter = INT32_MAX;
    CDbGridState back;
    ASSERT_TRUE(back.Read(s.Write(), nullptr));
    EXPECT_EQ(back.Cell(99, 99), kDbRemark);
    EXPECT_EQ(back.Cell(99, 98), 0);
    EXPECT_EQ(back.Write(), s.Write());
}

TEST(DbGridState, ACellOutsideTheTableIsNeverWritten) {
    CDbGridState s;
    s.Resize(2, 3);
    const std::vector<uint8_t> before = s.Write();
    const int32_t outside[][2] = {{-1, 0}, {2, 0}, {0, 3}, {0, -1}, {2, 3}};
    for (const auto& at : outside) {
        s.SetCell(at[0], at[1], kDbId);
        EXPECT_EQ(s.Cell(at[0], at[1]), 0) << at[0] << "," << at[1];
    }
    EXPECT_EQ(s.Write(), before);
}

}  // namespace
