// The statistics of a gate, whatever path computes them (full mask words
// walked straight through, sums on threads of their own, histograms split
// over slices), equal to the last bit what the plain one-value-at-a-time walk
// of tests/core/StatReference.h gives: on columns full of awkward values, on
// masks of every shape, on real files, with many threads and with none.
#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/ErrorCodes.h"
#include "core/Slices.h"
#include "tests/core/ShellTestUtil.h"
#include "tests/core/StatReference.h"
#include "tests/support/Corpus.h"

using namespace shelltest;

namespace {

std::atomic<int> g_started{0};

std::thread CountingStarter(std::function<void()> work) {
    ++g_started;
    return std::thread(std::move(work));
}

std::thread NoThread(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

uint64_t Bits(double v) {
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
}

float FloatOfBits(uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// Small xorshift generator: the same columns on every run.
struct Random {
    uint64_t s = 0x2545F4914F6CDD1Dull;
    uint64_t Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    double Unit() { return double(Next() >> 11) / double(1ull << 53); }
};

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const float kDenormMin = std::numeric_limits<float>::denorm_min();
const float kDenormMax = FloatOfBits(0x007FFFFFu);

// Values that sit on the edges of the rank histograms (low 16 bits of the
// order key all 0 or all 1) or of float's range.
const float kAwkward[] = {kNaN,      kInf,     -kInf,   0.0f,   -0.0f, kDenormMin, -kDenormMin, kDenormMax,
                          FLT_MIN,   -FLT_MIN, FLT_MAX, -FLT_MAX, 1.0f, FloatOfBits(0x3F80FFFFu),
                          FloatOfBits(0x3F810000u), -1.0f, FloatOfBits(0xBF80FFFFu), 1e30f, -1e-30f};

// Parameters of the data set the path tests use; the last one selects the
// gated events (900 in, 100 out).
enum Column : int32_t {
    kWide,      // linear: both signs over 14 decades, ±0 (the order of the sums shows)
    kSporadic,  // linear: like kWide with a NaN or a positive subnormal now and then
    kSpecial,   // linear: every awkward value, often
    kChannels,  // log-amplified, 4 decades over 1024 channels
    kNoRange,   // log-amplified without $PnR: 3 decades over 1 channel
    kAtMostZero,  // negative values and zeros of both signs: the first zero is the maximum
    kAtLeastZero, // positive values and zeros of both signs: the first zero is the minimum
    kSelect,
    kColumns
};

float Value(int32_t column, uint32_t e, Random& r) {
    const double wide = (r.Unit() < 0.3 ? -1.0 : 1.0) * std::pow(10.0, -6.0 + 14.0 * r.Unit());
    switch (column) {
        case kWide: return e % 97 == 5 ? (e % 2 ? 0.0f : -0.0f) : float(wide);
        case kSporadic:
            if (e % 211 == 17) return kNaN;
            if (e % 307 == 11) return kDenormMin * float(1 + e % 5);
            return float(wide);
        case kSpecial:
            return e % 3 == 0 ? kAwkward[(e / 3) % (sizeof kAwkward / sizeof kAwkward[0])] : float(wide);
        case kChannels:
            if (e % 401 == 7) return kNaN;
            if (e % 503 == 9) return -float(r.Unit() * 10.0);
            return float(r.Unit() * 1024.0);
        case kNoRange: return e % 353 == 3 ? kNaN : float(r.Unit());
        case kAtMostZero: return e % 89 == 40 ? (e % 3 ? 0.0f : -0.0f) : -float(std::fabs(wide));
        case kAtLeastZero: return e % 83 == 30 ? (e % 3 ? -0.0f : 0.0f) : float(std::fabs(wide));
        default: return 0.0f;
    }
}

// Mask shapes, as whether event e of n is in the gate.
struct Shape {
    const char* name;
    std::function<bool(uint32_t e, uint32_t n)> in;
};

const Shape kShapes[] = {
    {"every event", [](uint32_t, uint32_t) { return true; }},
    {"no event", [](uint32_t, uint32_t) { return false; }},
    {"every 7th", [](uint32_t e, uint32_t) { return e % 7 == 3; }},
    // Full words between sparse ones: the walk switches path word by word.
    {"full and sparse words", [](uint32_t e, uint32_t) { return (e / 32) % 3 != 1 || e % 5 == 0; }},
    // Starts and ends inside a word.
    {"one run", [](uint32_t e, uint32_t n) { return e >= 45 && e + 13 < n; }},
    {"half at random", [](uint32_t e, uint32_t) { return ((e * 2654435761u) >> 13) & 1; }},
};

VexaDataShell* MakePathShell(uint32_t events, const Shape& shape) {
    lmtest::FcsWriter w;
    w.DataType('F');
    w.Param("FS", 32, "1000").Param("FSN", 32, "1000").Param("FSX", 32, "1000");
    w.Param("FL1-H", 32, "1024", "4,0").Param("FL2-H", 32, "", "3,0");
    w.Param("FSZ", 32, "1000").Param("FSP", 32, "1000").Param("SS", 32, "1000");
    Random r;
    std::vector<double> ev(kColumns);
    for (uint32_t e = 0; e < events; ++e) {
        for (int32_t c = 0; c < kSelect; ++c) ev[size_t(c)] = double(Value(c, e, r));
        ev[kSelect] = shape.in(e, events) ? 900.0 : 100.0;
        w.Event(ev);
    }
    return new VexaDataShell(MakeDataSet(w), "paths");
}

// Every statistic of every parameter of gate, from a fresh item, against
// the reference: values to the bit, texts, the SD around another mean and
// the percentiles; once with the system's threads and, unless once is set,
// once with none.
void ExpectSameAsReference(CGateNode* gate, const std::string& what, bool once = false) {
    const VexaDataShell* shell = gate->GetShell();
    const double fractions[] = {0.0, 1e-9, 0.25, 0.5, 0.999, 1.0, 1.5, -0.5, double(kNaN)};
    for (int32_t par = -1; par <= shell->GetParamCount(); ++par) {
        const std::vector<double> want = statref::StatValues(gate, par);
        const statref::Column c(gate, par);
        std::vector<uint32_t> top;
        const uint64_t k = c.ok ? statref::TopHistogram(c, &top) : 0;
        std::vector<double> stored, linear;
        for (size_t f = 0; f < std::size(fractions); ++f) {
            double v = 0.0;
            const bool checked = !once || f == 2 || f == 5;
            const bool any = c.ok && checked && statref::StoredPercentile(c, top, k, fractions[f], &v);
            stored.push_back(any ? v : 0.0);
            linear.push_back(any ? c.Linear(v) : 0.0);
        }
        const double sdAround = c.ok ? statref::SDAround(c, 123.0) : 0.0;
        for (bool threads : {true, false}) {
            if (once && !threads) break;
            SCOPED_TRACE(what + ", parameter " + std::to_string(par) + (threads ? "" : ", no thread"));
            std::unique_ptr<lm::ScopedThreadStarter> none;
            if (!threads) none = std::make_unique<lm::ScopedThreadStarter>(&NoThread);
            const CStatItem item(gate);
            for (int32_t code = 0; code < kStatCodeCount; ++code) {
                EXPECT_EQ(Bits(item.GetStatValue(par, code)), Bits(want[size_t(code)]))
                    << "code " << code << ": " << item.GetStatValue(par, code) << " against " << want[size_t(code)];
                EXPECT_EQ(item.GetStatText(par, code), statref::StatText(want, code)) << "code " << code;
            }
            EXPECT_EQ(Bits(CStatItem(gate).GetSDAround(par, 123.0)), Bits(sdAround));
            // Each percentile is two passes: every fraction once, the linear
            // values and the walk without threads for two of them (once: two only).
            for (size_t f = 0; f < std::size(fractions); ++f) {
                if ((!threads || once) && f != 2 && f != 5) continue;
                EXPECT_EQ(Bits(item.GetStoredPercentile(par, fractions[f])), Bits(stored[f])) << fractions[f];
                if (f == 2 || f == 5)
                    EXPECT_EQ(Bits(item.GetPercentile(par, fractions[f])), Bits(linear[f])) << fractions[f];
            }
        }
    }
}

}  // namespace

// Gates large enough to be shared among threads (the last word holding one
// event), then small ones (whole words only, and a last word of 8 events),
// each with many threads and with none.
TEST(StatItemPaths, EveryStatisticEqualsTheReferenceOnEveryMaskShape) {
    for (uint32_t events : {150001u, 992u, 1000u}) {
        for (const Shape& shape : kShapes) {
            // Every shape on the small data sets; on the large one those
            // whose words change path (the others take one path throughout).
            if (events > 1000 && (&shape == &kShapes[1] || &shape == &kShapes[2] || &shape == &kShapes[4])) continue;
            std::unique_ptr<VexaDataShell> s(MakePathShell(events, shape));
            CGateNode* gate = s->AddRegionGate(Range(0.5f, 0.99f, kSelect), 0, "sel");
            ASSERT_NE(gate, nullptr);
            ExpectSameAsReference(gate, std::string(shape.name) + " of " + std::to_string(events) + " events");
        }
    }
}

TEST(StatItemPaths, TheRootOfALargeDataSetIsSharedAmongThreadsWithTheSameFigures) {
    std::unique_ptr<VexaDataShell> s(MakePathShell(150001u, kShapes[0]));
    g_started = 0;
    {
        const lm::ScopedThreadStarter counting(&CountingStarter);
        ExpectSameAsReference(s->GetGate(0), "root");
    }
    if (lm::UsableCores() > 1) {
        EXPECT_GT(g_started.load(), 0);
    }
}

// NaN values scattered so that the logarithms of the values after them fall
// into the other product and renormalise at other counts than a whole word
// would: the geometric mean follows the plain walk through every offset.
TEST(StatItemPaths, TheGeometricMeanFollowsTheReferenceWhateverTheOffsetOfTheWords) {
    for (uint32_t skipped : {0u, 1u, 7u, 31u, 32u, 33u, 480u, 481u, 511u}) {
        lmtest::FcsWriter w;
        w.DataType('F');
        w.Param("FS", 32, "1000");
        Random r;
        for (uint32_t e = 0; e < 70000; ++e)
            w.Event({e < skipped ? double(kNaN) : std::pow(10.0, 4.0 * r.Unit() - 1.0)});
        VexaDataShell s(MakeDataSet(w), "s");
        const statref::Column c(s.GetGate(0), 0);
        EXPECT_EQ(Bits(CStatItem(s.GetGate(0)).GetGeoMean(0)), Bits(statref::GeoMean(c))) << skipped;
    }
}

// A large gate of a log-amplified parameter: the sum of the linear values
// and the sum of the channels run on two threads, each in event order, over
// the root and over a gate of long runs and scattered events.
TEST(StatItemPaths, LogAmplifiedSumsOfALargeGateFollowTheReference) {
    lmtest::FcsWriter w;
    w.DataType('F');
    w.Param("FL1-H", 32, "1024", "4,0").Param("SS", 32, "1000");
    Random r;
    const uint32_t events = 600001;
    for (uint32_t e = 0; e < events; ++e)
        w.Event({e % 1001 == 3 ? double(kNaN) : r.Unit() * 1024.0, (e / 4096) % 5 == 2 || e % 9 == 0 ? 900.0 : 100.0});
    VexaDataShell s(MakeDataSet(w), "s");
    CGateNode* gate = s.AddRegionGate(Range(0.5f, 0.99f, 1), 0, "sel");
    ASSERT_NE(gate, nullptr);
    for (CGateNode* g : {s.GetGate(0), gate}) {
        const statref::Column c(g, 0);
        const double mean = statref::Mean(c);
        const CStatItem item(g);
        EXPECT_EQ(Bits(item.GetMean(0)), Bits(mean));
        EXPECT_EQ(Bits(item.GetSD(0)), Bits(statref::SDAround(c, mean)));
        EXPECT_EQ(Bits(item.GetGeoMean(0)), Bits(statref::GeoMean(c)));
    }
}

// Real files: the root and a gate of each, on every parameter.
TEST(StatItemPaths, CorpusFilesGiveTheReferenceFigures) {
    std::string why;
    const std::string dir = lmtest::CorpusDir(&why);
    if (dir.empty()) GTEST_SKIP() << "SKIPPED: " << why;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string path = entry.path().string();
        if (!VexaDataShell::IsFcsFile(path)) continue;
        VexaDataShell s(path, 0, "corpus", true);
        if (s.GetTotalEvents() <= 0) continue;
        ++files;
        CGateNode* gate = s.AddRegionGate(Range(0.1f, 0.6f, 0), 0, "part");
        // Below the size at which threads share a gate, but for one file:
        // the walk without threads is the same walk.
        ExpectSameAsReference(s.GetGate(0), entry.path().filename().string() + " root", true);
        if (gate) ExpectSameAsReference(gate, entry.path().filename().string() + " gate", true);
    }
    EXPECT_GE(files, 10);
}

// The scale of a log-amplified parameter is worked out once when the data set
// comes in: reading statistics (on any thread) records nothing more.
TEST(StatItemPaths, LogScalesAndTheirErrorsComeWithTheDataSet) {
    std::unique_ptr<VexaDataShell> s(MakePathShell(1000u, kShapes[0]));
    auto count = [&](int32_t code) { return std::count(s->GetErrors().begin(), s->GetErrors().end(), code); };
    EXPECT_EQ(count(kErrNoRange), 1);  // FL2-H
    EXPECT_EQ(count(kErrNoDecades), 0);
    EXPECT_FLOAT_EQ(s->GetLogScale(), 3.0f);  // the last log-amplified parameter's
    const std::vector<int32_t> errors = s->GetErrors();
    for (int32_t par = -1; par <= s->GetParamCount(); ++par) {
        const CStatItem item(s->GetGate(0));
        (void)item.GetMean(par);
        (void)item.GetSD(par);
        const float scale = s->LogScaleOf(par);
        EXPECT_EQ(s->GetErrors(), errors);
        const float expect = par == kChannels ? 4.0f / 1024.0f : par == kNoRange ? 3.0f : 0.0f;  // linear: "0,0"
        EXPECT_EQ(scale, expect) << par;
    }
    EXPECT_EQ(s->LogScaleOf(-1), 0.0f);
    EXPECT_EQ(s->LogScaleOf(kColumns), 0.0f);
    EXPECT_EQ(s->ComputeLogScale(kChannels), s->LogScaleOf(kChannels));
    EXPECT_EQ(s->GetLogScale(), 4.0f / 1024.0f);
    EXPECT_EQ(s->GetErrors(), errors);
}

TEST(StatItemPaths, AnItemWithoutAGateHasNoValues) {
    const CStatItem item(nullptr);
    for (int32_t code = 0; code < kStatCodeCount; ++code) EXPECT_EQ(item.GetStatValue(0, code), 0.0) << code;
    EXPECT_EQ(item.GetPercentile(0, 0.5), 0.0);
    EXPECT_EQ(item.GetStoredPercentile(0, 0.5), 0.0);
    EXPECT_EQ(item.GetSDAround(0, 1.0), 0.0);
}

// What a table does with many gates at once: items of log-amplified
// parameters read on several threads together, each item by one thread,
// give the figures of items read one at a time and add no error.
TEST(StatItemPaths, ItemsOfLogAmplifiedParametersMayBeReadOnSeveralThreadsAtOnce) {
    std::unique_ptr<VexaDataShell> s(MakePathShell(1000u, kShapes[0]));
    std::vector<CGateNode*> gates = {s->GetGate(0)};
    for (float lo : {0.0f, 0.2f, 0.4f, 0.6f})
        gates.push_back(s->AddRegionGate(Range(lo, lo + 0.3f, kChannels), 0, "part"));
    const std::vector<int32_t> errors = s->GetErrors();
    std::vector<std::vector<double>> got(gates.size());
    lm::ForTasks(gates.size(), [&](size_t k) {
        const CStatItem item(gates[k]);
        for (int32_t par : {int32_t(kChannels), int32_t(kNoRange)})
            for (int32_t code = 0; code < kStatCodeCount; ++code) got[k].push_back(item.GetStatValue(par, code));
    });
    EXPECT_EQ(s->GetErrors(), errors);
    for (size_t k = 0; k < gates.size(); ++k) {
        std::vector<double> want;
        for (int32_t par : {int32_t(kChannels), int32_t(kNoRange)})
            for (double v : statref::StatValues(gates[k], par)) want.push_back(v);
        ASSERT_EQ(got[k].size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(Bits(got[k][i]), Bits(want[i])) << k << " " << i;
    }
}
