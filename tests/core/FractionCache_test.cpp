#include "core/FractionCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "core/DataSet.h"
#include "core/EventMatrix.h"
#include "core/Slices.h"
#include "core/Trans.h"
#include "tests/support/FcsWriter.h"

namespace {

// One float parameter (range 262144) holding the values.
std::unique_ptr<CDataSet> Column(const std::vector<double>& values) {
    lmtest::FcsWriter w;
    w.Param("FL1-A", 32, "262144");
    for (double v : values) w.Event({v});
    return lmtest::LoadFcsBytes(w.Build());
}

// Values no transform may take apart: NaN, infinities, signed zeros,
// denormals, the float extremes, negatives, the axis ends and the values at
// fractions on a fine grid (the edges of the transforms' tables), each with
// its float neighbours.
std::vector<double> HostileValues(const CTRANS& t, size_t n) {
    std::vector<double> v = {NAN, INFINITY, -INFINITY, 0.0, -0.0, 1e-45, -1e-45, FLT_MIN, FLT_MAX,
                             -FLT_MAX, -1.0, -10.0, -100.0, 1.0, 262144.0, 262145.0, 1e6};
    for (int k = 0; k <= 64; ++k) {
        const float at = t.ToValue(float(k) / 64.0f);
        for (float f : {at, std::nextafter(at, INFINITY), std::nextafter(at, -INFINITY)}) v.push_back(f);
    }
    std::mt19937 rng(9);
    std::lognormal_distribution<double> spread(5.0, 3.0);
    while (v.size() < n) v.push_back((rng() & 1) ? spread(rng) : -spread(rng) / 100.0);
    v.resize(n);
    return v;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Axis {
    const char* what;
    std::unique_ptr<CTRANS> (*make)();
};
const Axis kAxes[] = {
    {"linear", [] { return std::make_unique<CTRANS>(0.0f, 262144.0f); }},
    {"log", []() -> std::unique_ptr<CTRANS> { return std::make_unique<CLogTRANS>(0.0f, 5.4f); }},
    {"logicle", []() -> std::unique_ptr<CTRANS> { return std::make_unique<CLogical>(262144.0f, -10.0f, 4.5f); }},
};

// Ragged counts around the word size, and a longer column.
const uint32_t kCounts[] = {1, 31, 32, 33, 1000, 70001};

// Every third event of the first n, plus bits past n that belong to no event.
std::vector<uint32_t> Sparse(uint32_t n, uint32_t step) {
    std::vector<uint32_t> words((n >> 5) + 1, 0);
    for (uint32_t e = 0; e < n; e += step) words[e >> 5] |= 1u << (e & 31);
    words.back() |= ~0u << (n & 31);  // padding: never to be read
    return words;
}

TEST(FractionCache, PartlyFilledThenCompletedEqualsAWholeComputation) {
    for (const Axis& axis : kAxes)
        for (uint32_t n : kCounts) {
            SCOPED_TRACE(std::string(axis.what) + ", " + std::to_string(n) + " events");
            const std::unique_ptr<CTRANS> t = axis.make();
            auto ds = Column(HostileValues(*t, n));
            const CEventMatrix& m = *ds->GetEventMatrix();
            const float* values = m.GetColumn(0);
            FractionCache cache;
            const std::vector<uint32_t> some = Sparse(n, 17);
            const float* part = cache.GetSome(m, 0, *t, some.data(), n);
            ASSERT_NE(part, nullptr);
            uint32_t wanted = 0;
            for (uint32_t e = 0; e < n; ++e) {
                if (!((some[e >> 5] >> (e & 31)) & 1u)) continue;
                ++wanted;
                ASSERT_TRUE(SameBits(part[e], t->ToFraction(values[e]))) << "event " << e << " value " << values[e];
            }
            // Only the events asked for (one in 17) were computed, none past n.
            EXPECT_EQ(cache.HeldCount(0), wanted);
            EXPECT_EQ(cache.ComputeCount(), 1u);
            // The same events again: nothing computed.
            EXPECT_EQ(cache.GetSome(m, 0, *t, some.data(), n), part);
            EXPECT_EQ(cache.ComputeCount(), 1u);
            // The whole column, completed in place.
            const float* whole = cache.Get(m, 0, *t);
            EXPECT_EQ(whole, part);
            EXPECT_EQ(cache.HeldCount(0), n);
            std::vector<float> fresh(n);
            t->ToFractions(values, n, fresh.data());
            for (uint32_t e = 0; e < n; ++e)
                ASSERT_TRUE(SameBits(whole[e], fresh[e])) << "event " << e << " value " << values[e];
        }
}

// How much a request computes, in a table: the first small set alone; a
// large set (a quarter or more) or a second, different set completes the
// column; a column already whole is never computed again.
TEST(FractionCache, ComputesOnlyWhatIsMissing) {
    constexpr uint32_t n = 4096;
    CLogical t(262144.0f, -10.0f, 4.5f);
    auto ds = Column(HostileValues(t, n));
    const CEventMatrix& m = *ds->GetEventMatrix();
    const std::vector<uint32_t> tenth = Sparse(n, 10), other = Sparse(n, 11), half = Sparse(n, 2);
    struct Step {
        const char* what;
        const std::vector<uint32_t>* words;  // null: the whole column
        uint32_t held;                       // events held after the step
        uint64_t computed;                   // computations so far
    };
    struct Case {
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {{{"a tenth", &tenth, 410, 1}, {"the same tenth", &tenth, 410, 1}, {"another set", &other, n, 2},
          {"the first again", &tenth, n, 2}}},
        {{{"a tenth", &tenth, 410, 1}, {"the whole column", nullptr, n, 2}, {"whole again", nullptr, n, 2}}},
        {{{"a half", &half, n, 1}, {"a tenth of it", &tenth, n, 1}}},
        {{{"the whole column", nullptr, n, 1}, {"a tenth", &tenth, n, 1}}},
    };
    for (const Case& c : cases) {
        FractionCache cache;
        for (const Step& s : c.steps) {
            SCOPED_TRACE(s.what);
            const float* f = s.words ? cache.GetSome(m, 0, t, s.words->data(), n) : cache.Get(m, 0, t);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(cache.HeldCount(0), s.held);
            EXPECT_EQ(cache.ComputeCount(), s.computed);
        }
    }
}

// On linear and log axes the events of a mask are converted on one thread:
// once the missing events outnumber one core's share of the column, the
// whole column (shared out over the cores) is computed instead.
TEST(FractionCache, OneThreadAxesTakeTheWholeColumnSooner) {
    constexpr uint32_t n = 4096;
    const CLogTRANS log(0.0f, 5.4f);
    auto ds = Column(HostileValues(log, n));
    const CEventMatrix& m = *ds->GetEventMatrix();
    const uint32_t share = uint32_t(std::max<size_t>(4, lm::UsableCores()));
    for (uint32_t wanted : {n / share - 1, n / share}) {
        std::vector<uint32_t> words(n / 32 + 1, 0u);
        for (uint32_t e = 0; e < wanted; ++e) words[e >> 5] |= 1u << (e & 31);
        FractionCache cache;
        ASSERT_NE(cache.GetSome(m, 0, log, words.data(), n), nullptr);
        EXPECT_EQ(cache.HeldCount(0), wanted * share >= n ? n : wanted) << wanted << " of " << n;
    }
}

// An entry is started afresh when its transform, its column or its matrix
// is another one; what it hands out then is what a fresh computation gives.
TEST(FractionCache, StaleEntriesAreComputedAgain) {
    constexpr uint32_t n = 2000;
    auto t = std::make_unique<CLogical>(262144.0f, -10.0f, 4.5f);
    auto ds = Column(HostileValues(*t, n));
    auto other = Column(HostileValues(CTRANS(0.0f, 1000.0f), n));
    CEventMatrix& m = *ds->GetEventMatrix();
    const std::vector<uint32_t> some = Sparse(n, 5);
    auto expectFresh = [&](FractionCache& cache, const CEventMatrix& matrix, const CTRANS& trans) {
        const uint64_t before = cache.ChangeCount();
        const float* f = cache.GetSome(matrix, 0, trans, some.data(), n);
        ASSERT_NE(f, nullptr);
        EXPECT_GT(cache.ChangeCount(), before);
        const float* v = matrix.GetColumn(0);
        for (uint32_t e = 0; e < n; e += 5) ASSERT_TRUE(SameBits(f[e], trans.ToFraction(v[e]))) << "event " << e;
    };
    FractionCache cache;
    ASSERT_NE(cache.GetSome(m, 0, *t, some.data(), n), nullptr);
    const uint64_t settled = cache.ChangeCount();
    ASSERT_NE(cache.GetSome(m, 0, *t, some.data(), n), nullptr);
    EXPECT_EQ(cache.ChangeCount(), settled);  // nothing new: nothing changed
    // A new version of the same transform.
    ASSERT_TRUE(t->SetNegativeRange(-100.0f));
    expectFresh(cache, m, *t);
    // Another transform object with the same settings.
    CLogical twin(262144.0f, -100.0f, 4.5f);
    expectFresh(cache, m, twin);
    // New current values in the column (a compensation moves the generation).
    CSpillMatrix spill(1);
    spill.SetIdentity();
    *spill.Element(0, 0) = 2.0f;
    ASSERT_TRUE(ds->Compensate(&spill));
    expectFresh(cache, m, twin);
    // Again, into the same current column.
    *spill.Element(0, 0) = 4.0f;
    const float* before = m.GetColumn(0);
    ASSERT_TRUE(ds->Compensate(&spill));
    ASSERT_EQ(m.GetColumn(0), before);
    expectFresh(cache, m, twin);
    // A stale entry asked for no event at all has still changed: results a
    // caller derived from it earlier are not to be trusted.
    ASSERT_TRUE(t->SetNegativeRange(-50.0f));
    const std::vector<uint32_t> none(n / 32 + 1, 0u);
    const uint64_t quiet = cache.ChangeCount();
    ASSERT_NE(cache.GetSome(m, 0, *t, none.data(), n), nullptr);
    EXPECT_GT(cache.ChangeCount(), quiet);
    // Another matrix.
    expectFresh(cache, *other->GetEventMatrix(), twin);
    // Dropped entries.
    cache.Invalidate(0);
    EXPECT_EQ(cache.HeldCount(0), 0u);
    expectFresh(cache, m, twin);
    EXPECT_GT(cache.MemoryBytes(), 0u);
    cache.Clear();
    EXPECT_EQ(cache.MemoryBytes(), 0u);
}

TEST(FractionCache, RefusesWhatIsNotThere) {
    auto ds = Column({1.0, 2.0, 3.0});
    const CEventMatrix& m = *ds->GetEventMatrix();
    CTRANS t(0.0f, 10.0f);
    const uint32_t all = ~0u;
    FractionCache cache;
    for (int32_t param : {-1, 1, 99}) {
        EXPECT_EQ(cache.Get(m, param, t), nullptr) << param;
        EXPECT_EQ(cache.GetSome(m, param, t, &all, 3), nullptr) << param;
    }
    // A count beyond the column's events reads only the events there are.
    const float* f = cache.GetSome(m, 0, t, &all, 1000);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(cache.HeldCount(0), 3u);
    EXPECT_TRUE(SameBits(f[2], t.ToFraction(3.0f)));
}

}  // namespace
