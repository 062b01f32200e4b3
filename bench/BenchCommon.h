#pragma once
// What the Qt benchmarks (plots, view, drag) share: timing helpers, the
// synthetic data they draw, and the offscreen platform when there is no
// display.
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/DataSet.h"
#include "tests/support/FcsWriter.h"

namespace lmbench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Nothing is shown: without a display the offscreen platform will do. Call
// before the application object is made.
inline void UseOffscreenWithoutDisplay() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Three float parameters: "FS" and "SS" ($PnR 1024, linear axes) and "FL1"
// ($PnR 262144, a log axis), events in four clusters drawn from `seed`. The
// caller owns the result.
inline CDataSet* MakeData(int64_t events, unsigned seed) {
    std::vector<uint8_t> raw(size_t(events) * 3 * 4);
    std::mt19937 rng(seed);
    std::normal_distribution<float> nx(400.0f, 90.0f), ny(520.0f, 110.0f), nz(0.0f, 1.0f);
    std::uniform_int_distribution<int> cluster(0, 3);
    float* out = reinterpret_cast<float*>(raw.data());
    for (int64_t e = 0; e < events; ++e) {
        const int c = cluster(rng);
        const float shift = 120.0f * float(c);
        out[e * 3 + 0] = nx(rng) + shift;
        out[e * 3 + 1] = ny(rng) - 0.5f * shift;
        out[e * 3 + 2] = std::exp(4.0f + 1.6f * nz(rng) + 0.8f * float(c));
    }
    lmtest::FcsWriter w;
    w.Param("FS", 32, "1024").Param("SS", 32, "1024").Param("FL1", 32, "262144", "5,1");
    w.RawData(std::move(raw)).Set("$TOT", std::to_string(events));
    return lmtest::LoadFcsBytes(w.Build(), 0, "bench.fcs").release();
}

struct Stats {
    double min = 0, median = 0;
};

// Runs f `runs` times (at least once) and returns the fastest and the median
// time in milliseconds.
template <class F>
Stats Time(int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < std::max(runs, 1); ++i) {
        const auto a = Clock::now();
        f();
        t.push_back(Ms(a, Clock::now()));
    }
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2]};
}

}  // namespace lmbench
