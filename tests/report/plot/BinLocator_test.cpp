#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/Trans.h"
#include "report/plot/BinLocator.h"

namespace {

std::vector<float> TableOf(const CTRANS& t, int32_t n) {
    std::vector<float> out(static_cast<size_t>(n));
    EXPECT_TRUE(t.FillTable(out.data(), n));
    return out;
}

// Values that probe a table: every entry and its float neighbours, signed
// zeros, infinities, extremes, and many values spread both by magnitude (random
// bit patterns) and across the table's range.
std::vector<float> Probes(const std::vector<float>& t) {
    std::vector<float> v;
    const float inf = std::numeric_limits<float>::infinity();
    for (float e : t) {
        v.push_back(e);
        v.push_back(std::nextafter(e, inf));
        v.push_back(std::nextafter(e, -inf));
    }
    for (float e : {0.0f, -0.0f, inf, -inf, std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                    std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(), 1e-30f,
                    -1e-30f})
        v.push_back(e);
    std::mt19937 rng(12345);
    for (int i = 0; i < 20000; ++i) {
        const float f = std::bit_cast<float>(uint32_t(rng()));
        if (!std::isnan(f)) v.push_back(f);
    }
    if (!t.empty()) {
        // Tables out of order or holding NaN or infinities still get random
        // probes across whatever finite span their ends give.
        const double a = t.front(), b = t.back();
        const double lo = std::isfinite(a) && std::isfinite(b) ? std::min(a, b) : -1e6;
        const double hi = std::isfinite(a) && std::isfinite(b) ? std::max(a, b) : 1e6;
        const double span = std::min(hi - lo, 1e300);
        std::uniform_real_distribution<double> d(lo - 0.1 * span, hi + 0.1 * span);
        for (int i = 0; i < 50000; ++i) v.push_back(float(d(rng)));
    }
    return v;
}

void ExpectSameAsSearch(const std::vector<float>& t) {
    CBinLocator loc(t.data(), int32_t(t.size()));
    for (float v : Probes(t)) {
        ASSERT_EQ(loc.Find(v), FindBinIndex(t.data(), int32_t(t.size()), v)) << "value " << v;
    }
    EXPECT_EQ(loc.Find(std::numeric_limits<float>::quiet_NaN()), -1);
}

}  // namespace

TEST(BinLocator, MatchesTheSearchOnLinearTables) {
    ExpectSameAsSearch(TableOf(CTRANS(0.0f, 1000.0f), 188));
    ExpectSameAsSearch(TableOf(CTRANS(0.0f, 1000.0f), 128));
    ExpectSameAsSearch(TableOf(CTRANS(-1000.0f, 1000.0f), 170));
    ExpectSameAsSearch(TableOf(CTRANS(0.0f, 262144.0f), 1024));
    ExpectSameAsSearch(TableOf(CTRANS(-5e-3f, 7e-3f), 300));
}

TEST(BinLocator, MatchesTheSearchOnLogAndLogicleTables) {
    ExpectSameAsSearch(TableOf(CLogTRANS(0.0f, 4.0f), 170));
    ExpectSameAsSearch(TableOf(CLogTRANS(-2.0f, 6.0f), 128));
    CLogical logicle(262144.0f, -100.0f, 4.5f);
    ExpectSameAsSearch(TableOf(logicle, 188));
    ExpectSameAsSearch(TableOf(logicle, 128));
    CLogical narrow(1000.0f, -1.0f, 3.0f);
    ExpectSameAsSearch(TableOf(narrow, 2000));
}

TEST(BinLocator, OddTables) {
    ExpectSameAsSearch({5.0f});
    ExpectSameAsSearch({1.0f, 2.0f});
    ExpectSameAsSearch({-0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 3.0f});
    ExpectSameAsSearch({1.0f, 1.0f, 1.0f});
    // Out of order or NaN: still the search's answer.
    ExpectSameAsSearch({3.0f, 1.0f, 2.0f});
    ExpectSameAsSearch({0.0f, std::numeric_limits<float>::quiet_NaN(), 2.0f});
    ExpectSameAsSearch({-std::numeric_limits<float>::infinity(), 0.0f, std::numeric_limits<float>::infinity()});
    // Across zero with edges among the tiny magnitudes.
    ExpectSameAsSearch({-3.0f, -1e-30f, 0.0f, 1e-30f, 2.0f});
    ExpectSameAsSearch({-3.0f, -1e-38f, -1e-45f, 0.0f, 1e-45f, 1e-40f, 1.0f});
    ExpectSameAsSearch({-1e30f, -1.0f, 1.0f, 1e30f});

    CBinLocator empty;
    EXPECT_EQ(empty.Find(1.0f), -1);
    CBinLocator none(nullptr, 4);
    EXPECT_EQ(none.Find(1.0f), -1);
    EXPECT_EQ(none.Size(), 0);
}

TEST(BinLocator, CellsStayFewAndTheOrderKeyIsMonotonic) {
    const std::vector<float> t = TableOf(CLogical(262144.0f, -100.0f, 4.5f), 188);
    CBinLocator loc(t.data(), int32_t(t.size()));
    EXPECT_GT(loc.CellCount(), 0u);
    EXPECT_LE(loc.CellCount(), size_t(1 << 17) + 2);
    const float samples[] = {-3e38f, -1.0f, -1e-20f, -0.0f, 0.0f, 1e-20f, 1.0f, 2.0f, 3e38f};
    for (size_t i = 1; i < std::size(samples); ++i)
        EXPECT_LE(CBinLocator::Order(samples[i - 1]), CBinLocator::Order(samples[i]));
    EXPECT_EQ(CBinLocator::Order(-0.0f), CBinLocator::Order(0.0f));
    for (float f : {-2.5f, 0.0f, 7.0f, 1e-40f})
        EXPECT_EQ(CBinLocator::FromOrder(CBinLocator::Order(f)), f);
}
