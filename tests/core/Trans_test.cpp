#include "core/Trans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "base/Archive.h"
#include "tests/support/RecordingCanvas.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<uint8_t> Le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
std::vector<uint8_t> LeF(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return Le32(u);
}
std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
std::vector<uint8_t> StoreBytes(const CTRANS& t) {
    CArchive ar;
    t.Store(ar);
    return ar.Bytes();
}

// ---- FindBinIndex ---------------------------------------------------------

// Entry i holds [t[i], t[i+1]); the ends take everything outside, NaN no bin.
TEST(FindBinIndex, EndsEntriesAndBetween) {
    const float t[] = {0.0f, 1.0f, 2.0f, 3.0f};
    const struct {
        float v;
        int32_t bin;
    } cases[] = {
        {-5.0f, 0}, {0.0f, 0}, {0.999f, 0}, {1.0f, 1}, {1.5f, 1}, {2.0f, 2}, {2.999f, 2},
        {3.0f, 3},  // the last entry is its own bin
        {7.0f, 3}, {-kInf, 0}, {kInf, 3}, {kNaN, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(FindBinIndex(t, 4, c.v), c.bin) << c.v;
    EXPECT_EQ(FindBinIndex(t, 0, 1.0f), -1);
    EXPECT_EQ(FindBinIndex(nullptr, 4, 1.0f), -1);
    const float one[] = {5.0f};
    for (float v : {4.0f, 5.0f, 6.0f}) EXPECT_EQ(FindBinIndex(one, 1, v), 0) << v;
}

TEST(FindBinIndex, AgreesWithLinearScanOnLargeTable) {
    std::vector<float> t(1000);
    for (size_t i = 0; i < t.size(); ++i) t[i] = float(i) * 0.5f - 100.0f;
    for (float v = -120.0f; v < 420.0f; v += 0.37f) {
        int32_t expect = 0;
        for (size_t i = 0; i < t.size(); ++i)
            if (t[i] <= v) expect = int32_t(i);
        ASSERT_EQ(FindBinIndex(t.data(), int32_t(t.size()), v), expect) << v;
    }
}

// ---- linear ---------------------------------------------------------------

// (value, fraction) pairs of one transform; fractions are clamped to 0..1.
void ExpectFractions(const CTRANS& t, std::initializer_list<std::pair<float, float>> cases) {
    for (auto [v, f] : cases) EXPECT_FLOAT_EQ(t.ToFraction(v), f) << v;
}

TEST(LinearTrans, FractionsAtAndAroundTheEnds) {
    CTRANS t(0.0f, 1024.0f);
    EXPECT_EQ(t.GetType(), kTransLinear);
    EXPECT_EQ(t.GetRange(), 1024.0f);
    ExpectFractions(t, {{0.0f, 0.0f}, {1024.0f, 1.0f}, {512.0f, 0.5f}, {-1.0f, 0.0f}, {1025.0f, 1.0f},
                        {kNaN, 0.0f}, {kInf, 1.0f}, {-kInf, 0.0f}});
    EXPECT_GT(t.ToFraction(0.5f), 0.0f);
    EXPECT_LT(t.ToFraction(1023.5f), 1.0f);
    EXPECT_FLOAT_EQ(t.ToFractionUnclamped(-512.0f), -0.5f);
    EXPECT_FLOAT_EQ(t.ToFractionUnclamped(2048.0f), 2.0f);
    EXPECT_EQ(t.ToValue(1.0f), 1024.0f);
    EXPECT_EQ(t.ToValue(0.25f), 256.0f);
}

TEST(LinearTrans, NegativeMinAndRoundTrip) {
    CTRANS t(-200.0f, 800.0f);
    EXPECT_EQ(t.ToFraction(-200.0f), 0.0f);
    EXPECT_FLOAT_EQ(t.ToFraction(0.0f), 0.2f);
    for (float f = 0.0f; f <= 1.0f; f += 0.0625f) EXPECT_NEAR(t.ToFraction(t.ToValue(f)), f, 1e-6f);
}

TEST(LinearTrans, BatchMatchesScalarBitForBit) {
    CTRANS t(-3.5f, 1000.25f);
    std::vector<float> v;
    for (int i = -50; i < 1100; ++i) v.push_back(float(i) * 0.937f);
    v.push_back(kNaN);
    v.push_back(kInf);
    v.push_back(-kInf);
    v.push_back(-3.5f);
    v.push_back(1000.25f);
    v.push_back(-0.0f);
    v.push_back(std::nextafter(-3.5f, -4.0f));  // just below min
    v.push_back(std::nextafter(1000.25f, 2000.0f));
    std::vector<float> out(v.size(), -7.0f);
    t.ToFractions(v.data(), v.size(), out.data());
    for (size_t i = 0; i < v.size(); ++i) {
        const float s = t.ToFraction(v[i]);
        ASSERT_EQ(std::memcmp(&s, &out[i], 4), 0) << i;
        ASSERT_GE(out[i], 0.0f);
        ASSERT_LE(out[i], 1.0f);
        ASSERT_FALSE(std::signbit(out[i])) << i;  // no -0 fractions
    }
    // Tiny quotients that underflow to -0 still give +0.
    CTRANS at0(0.0f, 3e38f);
    const float tiny[5] = {-1e-45f, -1e-40f, 1e-45f, 0.0f, -0.0f};
    float res[5];
    at0.ToFractions(tiny, 5, res);
    for (int i = 0; i < 5; ++i) {
        const float s = at0.ToFraction(tiny[i]);
        EXPECT_EQ(std::memcmp(&s, &res[i], 4), 0) << i;
        EXPECT_FALSE(std::signbit(res[i])) << i;
    }
}

TEST(LinearTrans, MaskedBatchWritesOnlyMaskedEntries) {
    CTRANS t(0.0f, 100.0f);
    std::vector<float> v(70);
    for (size_t i = 0; i < v.size(); ++i) v[i] = float(i);
    const uint32_t words[3] = {0x80000001u, 0x00000000u, 0x00000020u};  // 0, 31, 69
    std::vector<float> out(v.size(), -1.0f);
    t.ToFractionsMasked(v.data(), v.size(), words, out.data());
    for (size_t i = 0; i < v.size(); ++i) {
        if (i == 0 || i == 31 || i == 69)
            EXPECT_EQ(out[i], t.ToFraction(v[i])) << i;
        else
            EXPECT_EQ(out[i], -1.0f) << i;
    }
}

TEST(LinearTrans, RefusesBadRanges) {
    EXPECT_THROW(CTRANS(5.0f, 5.0f), std::invalid_argument);
    EXPECT_THROW(CTRANS(5.0f, 1.0f), std::invalid_argument);
    EXPECT_THROW(CTRANS(kNaN, 1.0f), std::invalid_argument);
    EXPECT_THROW(CTRANS(0.0f, kInf), std::invalid_argument);
    EXPECT_THROW(CTRANS(-3e38f, 3e38f), std::invalid_argument);  // range overflows
    CTRANS t(0.0f, 10.0f);
    const uint64_t version = t.GetVersion();
    EXPECT_FALSE(t.SetRange(3.0f, 3.0f));
    EXPECT_EQ(t.GetMin(), 0.0f);
    EXPECT_EQ(t.GetMax(), 10.0f);
    EXPECT_EQ(t.GetVersion(), version);
    EXPECT_TRUE(t.SetRange(2.0f, 4.0f));
    EXPECT_EQ(t.GetRange(), 2.0f);
    EXPECT_GT(t.GetVersion(), version);
}

TEST(LinearTrans, BinTable) {
    CTRANS t(0.0f, 1024.0f);
    ASSERT_TRUE(t.MakeTable(4));
    ASSERT_EQ(t.GetTableSize(), 4);
    EXPECT_EQ(t.GetTable()[0], 0.0f);
    EXPECT_EQ(t.GetTable()[1], 256.0f);
    EXPECT_EQ(t.GetTable()[3], 768.0f);  // one step below max
    EXPECT_EQ(t.GetBinIndex(300.0f), 1);
    EXPECT_EQ(t.GetBinIndex(1024.0f), 3);
    EXPECT_EQ(t.GetBinIndex(kNaN), -1);
    float buf[2];
    ASSERT_TRUE(t.FillTable(buf, 10.0f, 20.0f, 2));
    EXPECT_EQ(buf[0], 10.0f);
    EXPECT_EQ(buf[1], 15.0f);
    EXPECT_FALSE(t.BuildTable(0));
    EXPECT_FALSE(t.BuildTable(kMaxBinTableSize + 1));
    EXPECT_EQ(t.GetTableSize(), 4);  // a refused build keeps the old table
    // Refused fills write nothing (no buffer, no size, bounds not finite).
    EXPECT_FALSE(t.FillTable(nullptr, 10.0f, 20.0f, 2));
    EXPECT_FALSE(t.FillTable(nullptr, 2));
    EXPECT_FALSE(t.FillTable(buf, 10.0f, 20.0f, 0));
    EXPECT_FALSE(t.FillTable(buf, kNaN, 20.0f, 2));
    EXPECT_FALSE(t.FillTable(buf, 10.0f, INFINITY, 2));
    EXPECT_EQ(buf[1], 15.0f);
    t.ReleaseTable();
    EXPECT_EQ(t.GetTableSize(), 0);
    EXPECT_EQ(t.GetTable(), nullptr);
    EXPECT_EQ(t.GetBinIndex(3.0f), -1);
}

TEST(LinearTrans, CloneKeepsWordsButNotFlagOrTable) {
    CTRANS t(1.0f, 9.0f);
    t.storedWordA = 7;
    t.storedWordB = -3;
    t.storedFlag = true;
    t.MakeTable(8);
    auto c = t.Clone();
    EXPECT_EQ(c->GetType(), kTransLinear);
    EXPECT_TRUE(c->IsEqual(t));
    EXPECT_EQ(c->storedWordA, 7);
    EXPECT_EQ(c->storedWordB, -3);
    EXPECT_FALSE(c->storedFlag);
    EXPECT_EQ(c->GetTableSize(), 0);
    EXPECT_NE(c->GetId(), t.GetId());
    CLogTRANS log(1.0f, 9.0f);
    EXPECT_FALSE(log.IsEqual(t));  // same numbers, other kind
}

// ---- log ------------------------------------------------------------------

TEST(LogTrans, FractionsAtAndAroundTheEnds) {
    CLogTRANS t(0.0f, 4.0f);
    EXPECT_EQ(t.GetType(), kTransLog);
    ExpectFractions(t, {{1.0f, 0.0f}, {10000.0f, 1.0f}, {100.0f, 0.5f}, {10.0f, 0.25f}, {0.5f, 0.0f},
                        {20000.0f, 1.0f}, {0.0f, 0.0f}, {-5.0f, 0.0f}, {kNaN, 0.0f}, {kInf, 1.0f}});
    EXPECT_FLOAT_EQ(t.ToFractionUnclamped(0.1f), -0.25f);
    EXPECT_FLOAT_EQ(t.ToValue(0.5f), 100.0f);
    EXPECT_FLOAT_EQ(t.ToValue(1.0f), 10000.0f);
    for (float f = 0.0f; f <= 1.0f; f += 0.05f) EXPECT_NEAR(t.ToFraction(t.ToValue(f)), f, 1e-6f);
}

TEST(LogTrans, BatchMatchesScalarAndTable) {
    CLogTRANS t(1.0f, 5.5f);
    std::vector<float> v = {-1.0f, 0.0f, 1e-3f, 1.0f, 10.0f, 11.0f, 99.5f, 316227.8f, 1e7f, kNaN};
    std::vector<float> out(v.size());
    t.ToFractions(v.data(), v.size(), out.data());
    for (size_t i = 0; i < v.size(); ++i) EXPECT_EQ(out[i], t.ToFraction(v[i])) << i;

    CLogTRANS d(0.0f, 4.0f);
    ASSERT_TRUE(d.MakeTable(4));
    EXPECT_FLOAT_EQ(d.GetTable()[0], 1.0f);
    EXPECT_FLOAT_EQ(d.GetTable()[1], 10.0f);
    EXPECT_FLOAT_EQ(d.GetTable()[3], 1000.0f);
    // The step is the transform's range / n whatever the second bound is.
    float buf[2];
    ASSERT_TRUE(d.FillTable(buf, 1.0f, 1.5f, 2));
    EXPECT_FLOAT_EQ(buf[0], 10.0f);
    EXPECT_FLOAT_EQ(buf[1], 1000.0f);
}

TEST(LogTrans, RefusesBadDecades) {
    EXPECT_THROW(CLogTRANS(0.0f, -std::numeric_limits<float>::infinity()), std::invalid_argument);
    EXPECT_THROW(CLogTRANS(0.0f, 0.0f), std::invalid_argument);
    EXPECT_THROW(CLogTRANS(0.0f, 60.0f), std::invalid_argument);  // 10^60 is no float
    CLogTRANS t(0.0f, 4.0f);
    EXPECT_FALSE(t.SetRange(4.0f, 1.0f));
    EXPECT_EQ(t.GetMax(), 4.0f);
}

TEST(LogTrans, SetRangeKeepsTheDecadeLimits) {
    CLogTRANS t(0.0f, 4.0f);
    const auto before = t.GetVersion();
    // A fine linear range, but 10^60 is no float.
    EXPECT_FALSE(t.SetRange(0.0f, 60.0f));
    EXPECT_FALSE(t.SetRange(-39.0f, 2.0f));
    EXPECT_EQ(t.GetMin(), 0.0f);
    EXPECT_EQ(t.GetMax(), 4.0f);
    EXPECT_EQ(t.GetVersion(), before);
    EXPECT_TRUE(t.SetRange(-2.0f, 38.0f));
    EXPECT_EQ(t.GetMin(), -2.0f);
    EXPECT_EQ(t.GetMax(), 38.0f);
    EXPECT_EQ(t.GetRange(), 40.0f);
    EXPECT_GT(t.GetVersion(), before);
}

// ---- logicle --------------------------------------------------------------

class LogicalDefaults : public ::testing::Test {
protected:
    CLogical t{262144.0f, -10.0f, 4.5f};
};

TEST_F(LogicalDefaults, DerivedParameters) {
    EXPECT_EQ(t.GetType(), kTransLogical);
    EXPECT_EQ(t.GetMin(), -10.0f);
    EXPECT_EQ(t.GetMax(), 262144.0f);
    const double m = 4.5 * std::log(10.0);
    EXPECT_NEAR(t.GetM(), m, 1e-5);
    const double w = (m - std::log(262144.0 / 10.0)) / 2.0;
    EXPECT_NEAR(t.GetW(), w, 1e-6);
    EXPECT_NEAR(t.GetW(), 0.0938, 0.0001);
    const double p = t.GetP();
    EXPECT_NEAR(p, 1.094, 0.001);
    EXPECT_NEAR(2.0 * p * std::log(p) / (p + 1.0), w, 1e-4);
    EXPECT_NEAR(t.GetA(), 9.105, 0.005);
    EXPECT_NEAR(t.GetA(), 262144.0 * std::exp(w - m), 1e-3);
    EXPECT_NEAR(t.LogicalS(t.GetW()), 0.0, 1e-5);
    EXPECT_NEAR(t.LogicalS(t.GetM()) / 262144.0, 1.0, 1e-3);
    EXPECT_NEAR(t.LogicalS(0.0), -1.79, 0.01);
    // The table: 512 points from 0 to m, values S at them, ascending.
    ASSERT_NE(t.GetValueTable(), nullptr);
    EXPECT_EQ(t.GetPositionTable()[0], 0.0f);
    EXPECT_FLOAT_EQ(t.GetPositionTable()[511], t.GetM());
    for (int i = 1; i < 512; ++i) ASSERT_GT(t.GetValueTable()[i], t.GetValueTable()[i - 1]);
}

TEST_F(LogicalDefaults, FractionsAtAndAroundTheEnds) {
    EXPECT_EQ(t.ToFraction(262144.0f), 1.0f);
    EXPECT_EQ(t.ToFraction(300000.0f), 1.0f);
    EXPECT_EQ(t.ToFraction(kInf), 1.0f);
    EXPECT_EQ(t.ToFraction(-10.5f), 0.0f);
    EXPECT_EQ(t.ToFraction(-1e6f), 0.0f);
    EXPECT_EQ(t.ToFraction(kNaN), 0.0f);
    EXPECT_NEAR(t.ToFraction(0.0f), t.GetW() / t.GetM(), 1e-6);
    EXPECT_NEAR(t.ToFraction(262000.0f), 1.0f, 1e-3f);
    EXPECT_LT(t.ToFraction(262000.0f), 1.0f);
    // Values between r and S(0) lie left of the display: fraction 0, not negative.
    for (float v : {-10.0f, -9.0f, -5.0f, -2.0f, -1.8f}) {
        EXPECT_EQ(t.ToFraction(v), 0.0f) << v;
        EXPECT_LT(t.ToFractionUnclamped(v), 0.0f) << v;
    }
    EXPECT_GT(t.ToFraction(-1.7f), 0.0f);
}

TEST_F(LogicalDefaults, RoundTripsAndMonotony) {
    for (int i = 0; i <= 200; ++i) {
        const float f = float(i) / 200.0f;
        const float v = t.ToValue(f);
        ASSERT_NEAR(t.ToFraction(v), f, 2e-4f) << f;
    }
    float prev = -1.0f;
    for (float v = -20.0f; v < 3e5f; v = v < 100.0f ? v + 0.5f : v * 1.01f) {
        const float f = t.ToFraction(v);
        ASSERT_GE(f, prev) << v;
        ASSERT_GE(f, 0.0f);
        ASSERT_LE(f, 1.0f);
        prev = f;
    }
}

TEST_F(LogicalDefaults, InverseAgreesWithS) {
    for (float y : {-1.5f, -0.5f, 0.25f, 1.0f, 3.0f, 100.0f, 5000.0f, 100000.0f, 262144.0f}) {
        const double x = t.LogicalInverse(y);
        EXPECT_NEAR(t.LogicalS(x), y, std::fabs(y) * 1e-4 + 1e-6) << y;
    }
    // Exactly a table entry, the first and the last entry.
    for (int i : {0, 1, 255, 510, 511}) {
        const float y = t.GetValueTable()[i];
        EXPECT_NEAR(t.LogicalInverse(y), t.GetPositionTable()[i], 1e-3) << i;
    }
    EXPECT_TRUE(std::isnan(t.LogicalInverse(kNaN)));
    // 0 can never meet the relative test: the steps still settle on w.
    EXPECT_NEAR(t.LogicalInverse(0.0f), t.GetW(), 1e-6);
}

TEST_F(LogicalDefaults, BatchMatchesScalarBitForBit) {
    std::vector<float> v;
    for (int i = -30; i < 300; ++i) v.push_back(float(i) * float(i) * (i < 0 ? -0.37f : 2.9f));
    v.push_back(kNaN);
    v.push_back(0.0f);
    v.push_back(262144.0f);
    std::vector<float> out(v.size());
    t.ToFractions(v.data(), v.size(), out.data());
    for (size_t i = 0; i < v.size(); ++i) {
        const float s = t.ToFraction(v[i]);
        ASSERT_EQ(std::memcmp(&s, &out[i], 4), 0) << i;
    }
}

TEST_F(LogicalDefaults, BinTable) {
    ASSERT_TRUE(t.MakeTable(64));
    ASSERT_EQ(t.GetTableSize(), 64);
    EXPECT_FLOAT_EQ(t.GetTable()[0], float(t.LogicalS(0.0)));
    EXPECT_NEAR(t.GetTable()[63], t.LogicalS(t.GetM()), 1.0);
    EXPECT_EQ(t.GetBinIndex(-100.0f), 0);
    EXPECT_EQ(t.GetBinIndex(1e9f), 63);
    EXPECT_EQ(t.GetBinIndex(kNaN), -1);
    // One entry: S(0), not the 0/0 of i m / (n - 1).
    ASSERT_TRUE(t.MakeTable(1));
    EXPECT_FLOAT_EQ(t.GetTable()[0], float(t.LogicalS(0.0)));
}

TEST(Logical, RefusesParametersWithoutADisplay) {
    std::string why;
    EXPECT_FALSE(CLogical::CheckParams(0.0f, -10.0f, 4.5f, &why));
    EXPECT_FALSE(why.empty());
    const struct {
        float t, r, m;
        bool ok;
    } cases[] = {
        {-5.0f, -10.0f, 4.5f, false},   {262144.0f, -10.0f, 0.0f, false}, {262144.0f, -10.0f, -1.0f, false},
        {262144.0f, -0.5f, 4.5f, false},  // |r| below 1: w infinite
        {262144.0f, -10.0f, 1.0f, false},  // w negative
        {kNaN, -10.0f, 4.5f, false},    {262144.0f, kInf, 4.5f, false},
        {100.0f, 200.0f, 4.5f, false},     // r above T
        {262144.0f, -10.5f, 4.5f, true},
    };
    for (const auto& c : cases) EXPECT_EQ(CLogical::CheckParams(c.t, c.r, c.m), c.ok) << c.t << " " << c.r << " " << c.m;
    EXPECT_THROW(CLogical(262144.0f, -10.0f, 1.0f), std::invalid_argument);
    EXPECT_THROW(CLogical(0.0f, -10.0f, 4.5f), std::invalid_argument);
}

TEST(Logical, SettersRefuseAndKeepState) {
    CLogical t(262144.0f, -10.0f, 4.5f);
    const float w = t.GetW();
    const uint64_t v = t.GetVersion();
    EXPECT_FALSE(t.SetParams(262144.0f, -10.0f, 1.0f));
    EXPECT_FALSE(t.SetNegativeRange(0.2f));
    EXPECT_FALSE(t.SetRange(-10.0f, -20.0f));
    EXPECT_EQ(t.GetW(), w);
    EXPECT_EQ(t.GetR(), -10.0f);
    EXPECT_EQ(t.GetVersion(), v);
    EXPECT_TRUE(t.SetNegativeRange(-100.0f));
    EXPECT_GT(t.GetVersion(), v);
    EXPECT_EQ(t.GetMin(), -100.0f);
    // r is truncated to a whole number for R: -10.5 gives the w of -10.
    CLogical a(262144.0f, -10.5f, 4.5f), b(262144.0f, -10.0f, 4.5f);
    EXPECT_EQ(a.GetW(), b.GetW());
}

TEST(Logical, CloneIsEqualAndIndependent) {
    CLogical t(100000.0f, -20.0f, 4.0f);
    t.storedWordA = 4;
    auto c = t.Clone();
    ASSERT_EQ(c->GetType(), kTransLogical);
    EXPECT_TRUE(c->IsEqual(t));
    EXPECT_EQ(c->storedWordA, 4);
    EXPECT_EQ(c->ToFraction(1234.0f), t.ToFraction(1234.0f));
    CLogical wider(100000.0f, -20.0f, 4.5f);
    EXPECT_FALSE(wider.IsEqual(t));  // another width is another display
    // The same width over another top or negative range, or a linear axis
    // over the same span, is another display too.
    EXPECT_FALSE(CLogical(50000.0f, -20.0f, 4.0f).IsEqual(t));
    EXPECT_FALSE(CLogical(100000.0f, -10.0f, 4.0f).IsEqual(t));
    EXPECT_FALSE(t.IsEqual(CTRANS(-20.0f, 100000.0f)));
}

TEST(Logical, UnsetTransformIsHarmless) {
    CLogical t;
    EXPECT_EQ(t.ToFraction(5.0f), 0.0f);
    EXPECT_FALSE(t.MakeTable(16));
    lmtest::RecordingScale scale;
    t.DrawTicks(scale);
    EXPECT_TRUE(scale.ticks.empty());
}

// ---- records --------------------------------------------------------------

// Kind, then the numbers; linear and log records end in three words, the
// logicle record in its flag.
TEST(TransRecord, BytesOfEachKind) {
    CTRANS lin(0.0f, 1024.0f);
    lin.storedFlag = true;
    lin.storedWordB = 5;
    CLogTRANS log(0.5f, 4.0f);
    CLogical lgc(262144.0f, -10.0f, 4.5f);
    lgc.storedFlag = true;
    EXPECT_EQ(StoreBytes(lin), Cat({Le32(0), LeF(0.0f), LeF(1024.0f), LeF(1024.0f), Le32(1), Le32(1), Le32(5)}));
    EXPECT_EQ(StoreBytes(log), Cat({Le32(1), LeF(0.5f), LeF(4.0f), LeF(3.5f), Le32(0), Le32(1), Le32(1)}));
    EXPECT_EQ(StoreBytes(lgc), Cat({Le32(2), LeF(262144.0f), LeF(-10.0f), LeF(lgc.GetM()), LeF(lgc.GetW()), Le32(1)}));
}

TEST(TransRecord, RoundTripEveryKind) {
    CTRANS lin(-5.0f, 250.0f);
    lin.storedWordA = 9;
    lin.storedFlag = true;
    CLogTRANS log(0.0f, 5.0f);
    CLogical lgc(262144.0f, -10.0f, 4.5f);
    CArchive out;
    lin.Store(out);
    log.Store(out);
    lgc.Store(out);
    CArchive in(out.Bytes());
    auto a = LoadTrans(in);
    auto b = LoadTrans(in);
    auto c = LoadTrans(in);
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_TRUE(a->IsEqual(lin));
    EXPECT_EQ(a->storedWordA, 9);
    EXPECT_TRUE(a->storedFlag);
    EXPECT_TRUE(b->IsEqual(log));
    EXPECT_FALSE(b->storedFlag);
    EXPECT_TRUE(c->IsEqual(lgc));
    EXPECT_EQ(c->ToFraction(777.0f), lgc.ToFraction(777.0f));
    // A loaded logicle equals a fresh one of the same T and r.
    EXPECT_TRUE(c->IsEqual(CLogical(262144.0f, -10.0f, 4.5f)));
}

TEST(TransRecord, RangeIsRecomputedNotTrusted) {
    const auto bytes = Cat({LeF(10.0f), LeF(30.0f), LeF(-999.0f), Le32(0), Le32(1), Le32(1)});
    CTRANS t;
    CArchive in(bytes);
    t.Load(in);
    EXPECT_EQ(t.GetRange(), 20.0f);
    EXPECT_EQ(t.ToFraction(20.0f), 0.5f);
}

TEST(TransRecord, LogicalWIsRecomputed) {
    const auto bytes = Cat({LeF(262144.0f), LeF(-10.0f), LeF(float(4.5 * std::log(10.0))), LeF(55.0f), Le32(0)});
    CLogical t;
    CArchive in(bytes);
    t.Load(in);
    EXPECT_NEAR(t.GetW(), 0.0938f, 1e-4f);
}

TEST(TransRecord, BadRecordsAreErrors) {
    auto loads = [](int32_t kind, std::vector<uint8_t> rest) {
        auto bytes = Cat({Le32(uint32_t(kind)), rest});
        CArchive in(bytes);
        return LoadTrans(in);
    };
    const auto tail = Cat({Le32(0), Le32(1), Le32(1)});
    EXPECT_THROW(loads(0, Cat({LeF(5.0f), LeF(5.0f), LeF(0.0f), tail})), CArchiveException);
    EXPECT_THROW(loads(0, Cat({LeF(9.0f), LeF(1.0f), LeF(-8.0f), tail})), CArchiveException);
    EXPECT_THROW(loads(0, Cat({LeF(kNaN), LeF(1.0f), LeF(1.0f), tail})), CArchiveException);
    EXPECT_THROW(loads(1, Cat({LeF(0.0f), LeF(kInf), LeF(kInf), tail})), CArchiveException);
    EXPECT_THROW(loads(1, Cat({LeF(0.0f), LeF(80.0f), LeF(80.0f), tail})), CArchiveException);
    const float m = float(4.5 * std::log(10.0));
    EXPECT_THROW(loads(2, Cat({LeF(0.0f), LeF(-10.0f), LeF(m), LeF(0.0f), Le32(0)})), CArchiveException);
    EXPECT_THROW(loads(2, Cat({LeF(262144.0f), LeF(-0.3f), LeF(m), LeF(0.0f), Le32(0)})), CArchiveException);
    EXPECT_THROW(loads(2, Cat({LeF(262144.0f), LeF(-10.0f), LeF(-1.0f), LeF(0.0f), Le32(0)})), CArchiveException);
    EXPECT_THROW(loads(2, Cat({LeF(262144.0f), LeF(-10.0f), LeF(1.0f), LeF(0.0f), Le32(0)})), CArchiveException);
    EXPECT_THROW(loads(3, {}), CArchiveException);
    EXPECT_THROW(loads(-1, {}), CArchiveException);
    EXPECT_THROW(loads(0, Cat({LeF(0.0f), LeF(1.0f)})), CArchiveException);  // cut short
}

TEST(TransRecord, FailedLoadLeavesTheTransformAsItWas) {
    CTRANS t(0.0f, 100.0f);
    const uint64_t v = t.GetVersion();
    const auto bytes = Cat({LeF(7.0f), LeF(2.0f), LeF(0.0f), Le32(1), Le32(3), Le32(3)});
    CArchive in(bytes);
    EXPECT_THROW(t.Load(in), CArchiveException);
    EXPECT_EQ(t.GetMin(), 0.0f);
    EXPECT_EQ(t.GetMax(), 100.0f);
    EXPECT_EQ(t.storedWordA, 1);
    EXPECT_FALSE(t.storedFlag);
    EXPECT_EQ(t.GetVersion(), v);

    CLogical g(1000.0f, -10.0f, 3.0f);
    const float w = g.GetW();
    const auto bad = Cat({LeF(1000.0f), LeF(0.0f), LeF(1.0f), LeF(0.0f), Le32(1)});
    CArchive in2(bad);
    EXPECT_THROW(g.Load(in2), CArchiveException);
    EXPECT_EQ(g.GetW(), w);
    EXPECT_EQ(g.GetT(), 1000.0f);
}

TEST(TransRecord, CreateOfKind) {
    EXPECT_EQ(CTRANS::CreateOfKind(0)->GetType(), kTransLinear);
    EXPECT_EQ(CTRANS::CreateOfKind(1)->GetType(), kTransLog);
    EXPECT_EQ(CTRANS::CreateOfKind(2)->GetType(), kTransLogical);
    EXPECT_EQ(CTRANS::CreateOfKind(4), nullptr);
}

TEST(TransIdentity, IdsAreUniqueAndVersionsMove) {
    CTRANS a(0.0f, 1.0f);
    auto b = a.Clone();
    CTRANS c(0.0f, 1.0f);
    EXPECT_NE(a.GetId(), b->GetId());
    EXPECT_NE(a.GetId(), c.GetId());
    const uint64_t v = a.GetVersion();
    a.SetRange(0.0f, 2.0f);
    EXPECT_NE(a.GetVersion(), v);
    CArchive out;
    c.Store(out);
    CArchive in(std::vector<uint8_t>(out.Bytes().begin() + 4, out.Bytes().end()));
    const uint64_t vc = c.GetVersion();
    c.Load(in);
    EXPECT_NE(c.GetVersion(), vc);  // a load may change the mapping
}

}  // namespace
