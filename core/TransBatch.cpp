#include "core/TransBatch.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/LogicalFns.h"
#include "core/Slices.h"
#include "core/Trans.h"

namespace lm::logicle {

namespace {

// Below this many events a column is converted on this thread.
constexpr size_t kMinSlice = size_t(1) << 16;
// Values are sorted into lists of this many before they are inverted.
constexpr size_t kChunk = 1024;

// A key that orders floats as their values do (-0 just below +0, NaNs
// outside the infinities).
inline uint32_t OrderKey(float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return (b & 0x80000000u) ? ~b : (b | 0x80000000u);
}

inline float FromOrderKey(uint32_t k) {
    const uint32_t b = (k & 0x80000000u) ? (k & 0x7fffffffu) : ~k;
    float v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Sizes below this say little about where a value lies in the table.
constexpr float kSmall = 0x1p-20f;

inline uint32_t Squeeze(uint32_t key, uint32_t gap, uint32_t size) {
    const uint32_t over = (key > gap ? key : gap) - gap;
    return key - (over < size ? over : size);
}

inline uint32_t Bucket(const Kernel& k, float v) {
    const uint32_t key = Squeeze(OrderKey(v), k.keyGap, k.gapSize);
    // -0 may sit just below a table starting at +0.
    const uint32_t off = key > k.keyLow ? key - k.keyLow : 0u;
    const uint32_t b = off >> k.binShift;
    return b < k.binCount ? b : k.binCount - 1;
}

// v is not NaN and lies within the table's ends (or between its last entry
// and T).
inline int32_t BinWithin(const Kernel& k, float v) {
    int32_t i = k.binStart[Bucket(k, v)];
    while (k.values[i + 1] <= v) ++i;  // values[n] is +infinity
    return i;
}

std::atomic<bool> g_allowVector{true};

}  // namespace

void BuildBins(const float* values, int32_t n, int32_t* start, Bins* bins) {
    const uint32_t gap = OrderKey(-kSmall);
    const uint32_t size = OrderKey(kSmall) - gap;
    // The lowest and the highest key squeezed onto q.
    auto lowest = [&](uint64_t q) { return uint32_t(q <= gap ? q : q + size); };
    auto highest = [&](uint64_t q) { return uint32_t(q < gap ? q : q + size); };
    const uint32_t lo = Squeeze(OrderKey(values[0]), gap, size);
    const uint32_t hi = Squeeze(OrderKey(values[n - 1]), gap, size);
    const uint32_t span = hi - lo;  // the table ascends, so hi >= lo
    uint32_t shift = 0;
    while (shift < 32 && (uint64_t(span) >> shift) + 1 > kMaxBins) ++shift;
    const uint32_t count = uint32_t((uint64_t(span) >> shift) + 1);
    int32_t steps = 0;
    for (uint32_t b = 0; b < count; ++b) {
        // Every key of the bucket lies between two finite table values, so
        // both ends are numbers; FindBinIndex never falls as v rises.
        const uint64_t first = uint64_t(lo) + (uint64_t(b) << shift);
        const uint64_t last = std::min<uint64_t>(first + (uint64_t(1) << shift) - 1, hi);
        const int32_t s = FindBinIndex(values, n, FromOrderKey(lowest(first)));
        const int32_t e = FindBinIndex(values, n, FromOrderKey(highest(last)));
        start[b] = s;
        steps = std::max(steps, e - s);
    }
    *bins = Bins{gap, size, lo, shift, count, steps};
}

int32_t FindBin(const Kernel& k, float v) {
    if (std::isnan(v)) return -1;
    if (v < k.values[0]) return 0;
    if (v > k.values[k.n - 1]) return k.n - 1;
    return BinWithin(k, v);
}

void InvertListPortable(const Kernel& k, const float* base, const uint32_t* idx, size_t count,
                        float* out) {
    const LogicalFns fn{k.a, k.w, k.p, k.p2};
    for (size_t j = 0; j < count; ++j) {
        const float v = base[idx[j]];
        const int32_t i = BinWithin(k, v);
        const double x = LogicalNewton(fn, k.positions[i], k.startS[i], k.startSlope[i], v);
        out[idx[j]] = ClampedFraction(x, k.m);
    }
}

namespace {

// Sorts out the values with a fixed fraction (NaN and below the display 0,
// T and up 1) and lists the others; returns how many were listed.
inline bool NeedsInversion(const Kernel& k, float v, float* fixed) {
    if (v >= k.T) {
        *fixed = 1.0f;
        return false;
    }
    if (!(v >= k.r) || !(v >= k.v0)) {  // also NaN
        *fixed = 0.0f;
        return false;
    }
    return true;
}

void InvertList(const Kernel& k, const float* base, const uint32_t* idx, size_t count, float* out) {
    if (UseVector())
        InvertListAvx2(k, base, idx, count, out);
    else
        InvertListPortable(k, base, idx, count, out);
}

void FractionsRange(const Kernel& k, const float* values, size_t n, float* out) {
    uint32_t idx[kChunk];
    for (size_t b = 0; b < n; b += kChunk) {
        const size_t len = std::min(kChunk, n - b);
        size_t count = 0;
        for (size_t j = 0; j < len; ++j) {
            float fixed;
            if (NeedsInversion(k, values[b + j], &fixed))
                idx[count++] = uint32_t(j);
            else
                out[b + j] = fixed;
        }
        InvertList(k, values + b, idx, count, out + b);
    }
}

// Words [w0, w1) of the mask; events at and above n are not looked at.
void FractionsMaskedRange(const Kernel& k, const float* values, size_t n, const uint32_t* words,
                          size_t w0, size_t w1, float* out) {
    constexpr size_t kWordsPerChunk = kChunk / 32;
    uint32_t idx[kChunk];
    for (size_t cw = w0; cw < w1; cw += kWordsPerChunk) {
        const size_t we = std::min(w1, cw + kWordsPerChunk);
        const size_t base = cw * 32;
        size_t count = 0;
        for (size_t w = cw; w < we; ++w) {
            uint32_t bits = words[w];
            while (bits) {
                const unsigned bit = unsigned(__builtin_ctz(bits));
                bits &= bits - 1;
                const size_t e = w * 32 + bit;
                if (e >= n) break;  // bits rise within a word
                float fixed;
                if (NeedsInversion(k, values[e], &fixed))
                    idx[count++] = uint32_t(e - base);
                else
                    out[e] = fixed;
            }
        }
        InvertList(k, values + base, idx, count, out + base);
    }
}

}  // namespace

void Fractions(const Kernel& k, const float* values, size_t n, float* out) {
    lm::ForSlices(n, kMinSlice, [&k, values, out](size_t b, size_t e) {
        FractionsRange(k, values + b, e - b, out + b);
    });
}

void FractionsMasked(const Kernel& k, const float* values, size_t n, const uint32_t* words,
                     float* out) {
    const size_t nWords = (n + 31) / 32;
    lm::ForSlices(nWords, kMinSlice / 32, [&](size_t w0, size_t w1) {
        FractionsMaskedRange(k, values, n, words, w0, w1, out);
    });
}

// ---------------------------------------------------------------------------
// Choosing the path

namespace {

bool CpuHasAvx2Fma() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

// The vector exp against std::exp on arguments that reach every part of it:
// the ends of the plain range, the ones handed to std::exp, table edges, the
// range the inversion uses and a spread of random doubles. Any difference
// (another C library, another exp) keeps the whole process on the portable
// path.
bool ExpMatchesLibrary() {
    constexpr size_t kCount = 4096;
    std::vector<double> x(kCount), got(kCount);
    size_t n = 0;
    const double edges[] = {0.0,
                            -0.0,
                            0x1p-54,
                            -0x1p-54,
                            0x1.fffffffffffffp-55,
                            0x1p-53,
                            511.99999999999994,
                            512.0,
                            -512.0,
                            709.78,
                            -745.2,
                            -708.4,
                            1e-300,
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::max(),
                            1.0,
                            -1.0,
                            0.5,
                            std::log(2.0),
                            20.0,
                            -20.0};
    for (double e : edges) x[n++] = e;
    // Multiples of ln2 / 128 and their neighbours: the table's seams.
    for (int j = -300; j <= 300 && n + 3 <= kCount / 2; j += 7) {
        const double c = double(j) * 0.0054152123481245725;
        x[n++] = c;
        x[n++] = std::nextafter(c, 1e9);
        x[n++] = std::nextafter(c, -1e9);
    }
    uint64_t s = 0x2545F4914F6CDD1Dull;
    auto next = [&s] {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    };
    while (n < kCount) {
        const uint64_t r = next();
        if (n % 4 == 0) {
            double d;
            std::memcpy(&d, &r, sizeof d);
            x[n++] = d;  // any double, specials included
        } else {
            x[n++] = (double(r >> 11) * 0x1p-53 - 0.5) * 44.0;  // -22 .. 22
        }
    }
    ExpAvx2(x.data(), n, got.data());
    for (size_t i = 0; i < n; ++i) {
        const double want = std::exp(x[i]);
        if (std::memcmp(&want, &got[i], sizeof want) != 0) return false;
    }
    return true;
}

}  // namespace

bool VectorUsable() {
    static const bool usable = CpuHasAvx2Fma() && ExpMatchesLibrary();
    return usable;
}

bool UseVector() { return g_allowVector.load(std::memory_order_relaxed) && VectorUsable(); }

void AllowVector(bool allow) { g_allowVector.store(allow, std::memory_order_relaxed); }

}  // namespace lm::logicle
