#pragma once
// What every benchmark shares: timing and memory helpers, the BENCH lines a
// script reads, and for the drawing benchmarks (plots, view, drag) the
// synthetic data they draw and the offscreen platform when there is no
// display. Qt-free, so the core benchmarks use it too.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

inline double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Largest resident size of this process so far.
inline long PeakRssKiB() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// The size part of a BENCH key: 1000000 -> "1m", 250000 -> "250k".
inline std::string SizeKey(int64_t events) {
    if (events % 1000000 == 0) return std::to_string(events / 1000000) + "m";
    if (events % 1000 == 0) return std::to_string(events / 1000) + "k";
    return std::to_string(events);
}

// One figure for scripts: "BENCH <key> <value> <unit>", the value with a
// point and three decimals. std::to_chars ignores the locale, which a Qt
// application sets from the environment (a "de_DE" printf would write a comma).
inline void Bench(const std::string& key, double value, const char* unit) {
    char num[64];
    const auto end = std::to_chars(num, num + sizeof num, value, std::chars_format::fixed, 3);
    std::printf("BENCH %s %.*s %s\n", key.c_str(), int(end.ptr - num), num, unit);
    std::fflush(stdout);
}

// HEADER and TEXT of an FCS 3.0 file of 32-bit floats, one parameter per name
// ($PnR 262144), whose DATA of events x names.size() values follows right
// after; `keywords` are more "KEY/value/" pairs for the TEXT. The DATA offsets
// are in the TEXT only, as files above 99,999,999 bytes must give them.
inline std::string FloatFileHead(int64_t events, const std::vector<std::string>& names, bool bigEndian = false,
                                 const std::string& keywords = "") {
    std::string text = "/$BEGINANALYSIS/0/$ENDANALYSIS/0/$BEGINSTEXT/0/$ENDSTEXT/0/$MODE/L/$DATATYPE/F/";
    text += std::string("$BYTEORD/") + (bigEndian ? "4,3,2,1" : "1,2,3,4") + "/";
    text += "$PAR/" + std::to_string(names.size()) + "/$TOT/" + std::to_string(events) + "/$NEXTDATA/0/";
    for (size_t p = 0; p < names.size(); ++p) {
        const std::string n = std::to_string(p + 1);
        text += "$P" + n + "N/" + names[p] + "/$P" + n + "B/32/$P" + n + "R/262144/$P" + n + "E/0,0/";
    }
    text += keywords;
    // Room for the two offsets, filled in once the TEXT's length is known.
    std::string tail = "$BEGINDATA/0000000000000000/$ENDDATA/0000000000000000/";
    const int64_t textBegin = 58;
    const int64_t textEnd = textBegin + int64_t(text.size() + tail.size()) - 1;
    const int64_t dataBegin = textEnd + 1;
    const int64_t dataEnd = dataBegin + events * int64_t(names.size()) * 4 - 1;
    char num[32];
    std::snprintf(num, sizeof num, "%016lld", (long long)dataBegin);
    std::memcpy(&tail[11], num, 16);
    std::snprintf(num, sizeof num, "%016lld", (long long)dataEnd);
    std::memcpy(&tail[37], num, 16);
    char header[128];
    std::snprintf(header, sizeof header, "FCS3.0    %8lld%8lld%8d%8d%8d%8d", (long long)textBegin,
                  (long long)textEnd, 0, 0, 0, 0);
    return std::string(header, 58) + text + tail;
}

// Event counts from the command line, or 1M and 10M when none are given.
inline std::vector<int64_t> SizesFromArgs(int argc, char** argv) {
    std::vector<int64_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
    if (sizes.empty()) sizes = {1000000, 10000000};
    return sizes;
}

// Runs each size in a child process of its own, so that one size's peak
// memory and caches never colour the next one's figures.
template <class Run>
int RunEachSizeInAChild(const std::vector<int64_t>& sizes, Run run) {
    for (int64_t n : sizes) {
        if (n <= 0) continue;
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            const int rc = run(n);
            std::fflush(stdout);
            _exit(rc);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("  (run of %lld events failed)\n", (long long)n);
    }
    return 0;
}

// Nothing is shown: without a display the offscreen platform will do. Call
// before the application object is made.
inline void UseOffscreenWithoutDisplay() {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

// A xorshift stream of doubles in [0, 1): the same events on every run.
struct XorShift {
    uint64_t seed;
    double operator()() {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return double(seed >> 11) / double(1ull << 53);
    }
};

// A fluorescence value over four decades: a dim (60 %) and a bright
// population, with some spread below 0.
inline float FluorescenceValue(XorShift& next) {
    const double decade = next() < 0.6 ? 1.0 + next() : 3.0 + next() * 1.3;
    return float(std::pow(10.0, decade) + (next() - 0.5) * 40.0);
}

// Parameters of SpillFileBytes: FSC-A, SSC-A, FL1-A .. FL8-A.
constexpr int kSpillParams = 10;
constexpr int kSpillFirstFl = 2;
constexpr int kSpillFl = 8;

// An FCS 3.0 file in memory: little-endian floats, $PnR 262144, SPILL over
// the eight fluorescence parameters, events drawn from `seed`.
inline std::vector<uint8_t> SpillFileBytes(int64_t events, uint64_t seed) {
    auto name = [](int p) {
        return p == 0 ? std::string("FSC-A") : p == 1 ? std::string("SSC-A") : "FL" + std::to_string(p - 1) + "-A";
    };
    std::vector<std::string> names;
    for (int p = 0; p < kSpillParams; ++p) names.push_back(name(p));
    std::string spill = std::to_string(kSpillFl);
    for (int i = 0; i < kSpillFl; ++i) (spill += ',') += name(kSpillFirstFl + i);
    for (int i = 0; i < kSpillFl; ++i)
        for (int j = 0; j < kSpillFl; ++j) {
            char v[32];
            std::snprintf(v, sizeof v, ",%.4f", i == j ? 1.0 : 0.002 * ((i * 3 + j * 5) % 11));
            spill += v;
        }
    const std::string head = FloatFileHead(events, names, false, "SPILL/" + spill + "/");
    std::vector<uint8_t> bytes(head.size() + size_t(events) * kSpillParams * 4);
    std::memcpy(bytes.data(), head.data(), head.size());
    float* out = reinterpret_cast<float*>(bytes.data() + head.size());  // little-endian host
    XorShift next{seed};
    for (int64_t e = 0; e < events; ++e) {
        float* ev = out + size_t(e) * kSpillParams;
        ev[0] = float(20000 + 200000 * next());
        ev[1] = float(5000 + 150000 * next() * next());
        for (int p = kSpillFirstFl; p < kSpillParams; ++p) ev[p] = FluorescenceValue(next);
    }
    return bytes;
}

// The bytes of an FCS file of three float parameters: "FS" and "SS" ($PnR
// 1024, linear axes) and "FL1" ($PnR 262144, log-amplified: $PnE 5,1),
// events in four clusters drawn from `seed`.
inline std::vector<uint8_t> MakeDataBytes(int64_t events, unsigned seed) {
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
    return w.Build();
}

// The file of MakeDataBytes, loaded. The caller owns the result.
inline CDataSet* MakeData(int64_t events, unsigned seed) {
    return lmtest::LoadFcsBytes(MakeDataBytes(events, seed), 0, "bench.fcs").release();
}

struct Stats {
    double min = 0, median = 0, max = 0;
};

// Fastest, median and slowest of the samples (all 0 when there are none).
inline Stats Summarize(std::vector<double> t) {
    if (t.empty()) return {};
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2], t.back()};
}

// Runs f `runs` times (at least once) and sums up the times in milliseconds.
template <class F>
Stats Time(int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < std::max(runs, 1); ++i) {
        const auto a = Clock::now();
        f();
        t.push_back(Ms(a, Clock::now()));
    }
    return Summarize(std::move(t));
}

}  // namespace lmbench
