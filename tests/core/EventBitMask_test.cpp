// Event bit masks and the walks over them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/EventBitMask.h"

namespace {

uint32_t NaiveCount(const EventBitMask& m) {
    uint32_t n = 0;
    for (uint32_t e = 0; e < m.GetBitCount(); ++e) n += m.Test(e) ? 1 : 0;
    return n;
}

TEST(EventBitMask, WordCountIsOneMoreThanWholeWords) {
    for (auto [bits, words] : {std::pair{0u, 1u}, {1u, 1u}, {31u, 1u}, {32u, 2u}, {33u, 2u},
                               {63u, 2u}, {64u, 3u}, {100u, 4u}, {101u, 4u}}) {
        EventBitMask m(bits);
        EXPECT_EQ(m.GetBitCount(), bits);
        EXPECT_EQ(m.GetWordCount(), words) << bits;
        for (uint32_t w = 0; w < words; ++w) EXPECT_EQ(m.Words()[w], 0u) << bits;
        EXPECT_EQ(m.CountSetBits(), 0u);
    }
}

TEST(EventBitMask, CountIgnoresBitsBeyondTheEvents) {
    EventBitMask none(0);
    none.SetAll();
    EXPECT_EQ(none.CountSetBits(), 0u);

    EventBitMask m32(32);
    m32.SetAll();
    EXPECT_EQ(m32.Words()[1], 0xFFFFFFFFu);  // the spare word is set too
    EXPECT_EQ(m32.CountSetBits(), 32u);

    EventBitMask m33(33);
    m33.SetAll();
    EXPECT_EQ(m33.CountSetBits(), 33u);
    m33.Invert();
    EXPECT_EQ(m33.CountSetBits(), 0u);
    m33.Invert();
    EXPECT_EQ(m33.CountSetBits(), 33u);
    m33.Clear();
    EXPECT_EQ(m33.CountSetBits(), 0u);
    EXPECT_EQ(m33.Words()[1], 0u);

    EventBitMask m5(5);
    m5.Words()[0] = 0xFFFFFFE0u;  // only bits past the fifth event
    EXPECT_EQ(m5.CountSetBits(), 0u);
}

TEST(EventBitMask, EventBitPositions) {
    EventBitMask m(64);
    m.Set(31);
    EXPECT_EQ(m.Words()[0], 0x80000000u);
    EXPECT_EQ(m.Words()[1], 0u);
    m.Set(32);
    EXPECT_EQ(m.Words()[1], 1u);
    m.Set(0);
    EXPECT_EQ(m.Words()[0], 0x80000001u);
    EXPECT_TRUE(m.Test(31));
    EXPECT_TRUE(m.Test(32));
    EXPECT_FALSE(m.Test(30));
    EXPECT_FALSE(m.Test(33));
    m.Reset(31);
    EXPECT_EQ(m.Words()[0], 1u);
    EXPECT_EQ(m.CountSetBits(), 2u);

    const uint32_t* table = EventBitMask::SingleBitTable();
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(table[i], 1u << i);
}

TEST(EventBitMask, AndOrInvertAgreeWithPerEventLogic) {
    EventBitMask full(100);
    full.SetAll();
    EventBitMask two(100);
    two.Set(0);
    two.Set(40);
    EventBitMask a(full);
    EXPECT_EQ(&a.AndWith(two), &a);
    EXPECT_EQ(a.CountSetBits(), 2u);
    EXPECT_TRUE(a.Test(0));
    EXPECT_TRUE(a.Test(40));

    std::mt19937 rng(7);
    for (uint32_t n : {1u, 31u, 32u, 33u, 95u, 96u, 1000u}) {
        EventBitMask x(n), y(n);
        std::vector<bool> vx(n), vy(n);
        for (uint32_t e = 0; e < n; ++e) {
            vx[e] = rng() & 1;
            vy[e] = rng() % 3 == 0;
            if (vx[e]) x.Set(e);
            if (vy[e]) y.Set(e);
        }
        EventBitMask o(x), d(x), inv(x);
        o.OrWith(y);
        d.AndWith(y);
        inv.Invert();
        uint32_t co = 0, cd = 0, ci = 0;
        for (uint32_t e = 0; e < n; ++e) {
            ASSERT_EQ(o.Test(e), vx[e] || vy[e]) << n << " " << e;
            ASSERT_EQ(d.Test(e), vx[e] && vy[e]) << n << " " << e;
            ASSERT_EQ(inv.Test(e), !vx[e]) << n << " " << e;
            co += vx[e] || vy[e];
            cd += vx[e] && vy[e];
            ci += !vx[e];
        }
        EXPECT_EQ(o.CountSetBits(), co);
        EXPECT_EQ(d.CountSetBits(), cd);
        EXPECT_EQ(inv.CountSetBits(), ci);
        EXPECT_EQ(x.CountSetBits(), NaiveCount(x));
    }
}

TEST(EventBitMask, DifferentSizesCombineTheCommonWords) {
    EventBitMask a(100), b(101);
    a.Set(99);
    b.Set(5);
    b.Set(100);
    testing::internal::CaptureStdout();
    a.OrWith(b);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("different size"), std::string::npos);
    EXPECT_TRUE(a.Test(5));
    EXPECT_TRUE(a.Test(99));
    EXPECT_EQ(a.CountSetBits(), 2u);  // bit 100 is beyond a's events
    EXPECT_EQ(a.GetBitCount(), 100u);

    // Very different sizes: only the words both have, nothing outside either.
    EventBitMask small(10), big(1000);
    big.SetAll();
    small.Set(3);
    testing::internal::CaptureStdout();
    small.OrWith(big);
    EXPECT_EQ(small.CountSetBits(), 10u);
    big.AndWith(small);
    EXPECT_TRUE(big.Test(3));
    EXPECT_TRUE(big.Test(31));
    EventBitMask other(1000);
    other.Set(999);
    small.AndWith(other);
    const std::string out2 = testing::internal::GetCapturedStdout();
    EXPECT_NE(out2.find("different size"), std::string::npos);
    EXPECT_EQ(small.GetWordCount(), 1u);
    EXPECT_EQ(small.CountSetBits(), 0u);
    // Same sizes say nothing.
    EventBitMask p(64), q(64);
    testing::internal::CaptureStdout();
    p.OrWith(q).AndWith(q);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(EventBitMask, CopiesAreIndependent) {
    EventBitMask a(70);
    a.Set(65);
    EventBitMask b(a);
    b.Set(1);
    EXPECT_FALSE(a.Test(1));
    EXPECT_NE(a.Words(), b.Words());
    EventBitMask c(3);
    c = b;
    EXPECT_EQ(c.GetBitCount(), 70u);
    EXPECT_EQ(c.GetWordCount(), 3u);
    EXPECT_TRUE(c.Test(65));
    EXPECT_TRUE(c.Test(1));
    c.Clear();
    EXPECT_TRUE(b.Test(65));
    EventBitMask& alias = c;
    c = alias;  // self-assignment keeps the bits
    EXPECT_EQ(c.GetBitCount(), 70u);
}

TEST(EventBitMask, ResizeKeepsBitAndWordCountsTogether) {
    EventBitMask m(10);
    m.SetAll();
    m.Resize(100);
    EXPECT_EQ(m.GetBitCount(), 100u);
    EXPECT_EQ(m.GetWordCount(), 4u);
    EXPECT_EQ(m.CountSetBits(), 0u);
    m.SetAll();
    EXPECT_EQ(m.CountSetBits(), 100u);
    m.Set(99);
    m.Resize(0);
    EXPECT_EQ(m.GetBitCount(), 0u);
    EXPECT_EQ(m.GetWordCount(), 1u);
    EXPECT_EQ(m.CountSetBits(), 0u);
    m.Resize(32);
    m.SetAll();
    EXPECT_EQ(m.CountSetBits(), 32u);
}

TEST(EventBitIterator, WalksBitsAcrossWordBoundaries) {
    EventBitMask m(70);
    for (uint32_t e : {0u, 31u, 32u, 63u, 64u, 69u}) m.Set(e);
    EventBitIterator it;
    it.word = m.Words();
    it.table = EventBitMask::SingleBitTable();
    std::vector<uint32_t> seen;
    for (uint32_t e = 0; e < m.GetBitCount(); ++e, it.Next())
        if (it.IsSet()) seen.push_back(e);
    EXPECT_EQ(seen, (std::vector<uint32_t>{0, 31, 32, 63, 64, 69}));
    EXPECT_EQ(it.word, m.Words() + 2);
    EXPECT_EQ(it.bit, 70u - 64u);
}

TEST(GateEventIterator, VisitsTheGatedEventsWithTheirValues) {
    std::vector<float> c0(40), c1(40);
    for (int e = 0; e < 40; ++e) {
        c0[size_t(e)] = float(e);
        c1[size_t(e)] = float(1000 + e);
    }
    float* cols[2] = {c0.data(), c1.data()};
    EventBitMask m(40);
    for (uint32_t e : {2u, 31u, 32u, 39u}) m.Set(e);

    GateEventIterator it(cols, 40, m);
    ASSERT_TRUE(it.Valid());
    std::vector<float> a, b;
    for (; !it.AtEnd(); it.Next()) {
        if (!it.InGate()) continue;
        a.push_back(it.Value(0));
        b.push_back(it.Value(1));
    }
    EXPECT_EQ(a, (std::vector<float>{2, 31, 32, 39}));
    EXPECT_EQ(b, (std::vector<float>{1002, 1031, 1032, 1039}));

    // Never walks past the shorter of the mask and the columns.
    EventBitMask shortMask(33);
    shortMask.SetAll();
    GateEventIterator s(cols, 40, shortMask);
    uint32_t n = 0;
    for (; !s.AtEnd(); s.Next()) n += s.InGate();
    EXPECT_EQ(n, 33u);
    GateEventIterator t(cols, 5, shortMask);
    n = 0;
    for (; !t.AtEnd(); t.Next()) n += t.InGate();
    EXPECT_EQ(n, 5u);

    GateEventIterator empty;
    EXPECT_FALSE(empty.Valid());
    EXPECT_TRUE(empty.AtEnd());
}

}  // namespace
