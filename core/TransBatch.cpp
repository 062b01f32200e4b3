#include "core/TransBatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/FloatOrder.h"
#include "core/LogicalFns.h"
#include "core/Slices.h"
#include "core/Trans.h"

namespace lm::logicle {

namespace {

// Below this many events a column is converted on this thread; above it in
// tasks of kTask events (a multiple of kListSize and of 32).
constexpr size_t kMinParallel = size_t(1) << 17;
constexpr size_t kTask = size_t(1) << 15;

using lm::FromOrderKey;
using lm::OrderKey;

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

// v is not NaN and not below the first table value.
inline int32_t BinWithin(const Kernel& k, float v) {
    int32_t i = int32_t(k.binStart[Bucket(k, v)]);
    // A fixed number of steps without branches: a value's bin is seldom
    // above its bucket's start, and a mispredicted exit costs more than
    // the steps. values[n] is NaN, so no step passes the last bin.
    for (int32_t s = 0; s < k.binSteps; ++s) i += k.values[i + 1] <= v ? 1 : 0;
    return i;
}

// Set by tests only; read where a conversion starts, on the calling thread.
thread_local int t_pathLimit = int(Path::kAvx512);

}  // namespace

void BuildBins(const float* values, int32_t n, uint16_t* start, Bins* bins) {
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
        start[b] = uint16_t(s);
        steps = std::max(steps, e - s);
    }
    *bins = Bins{gap, size, lo, shift, count, steps};
}

int32_t FindBin(const Kernel& k, float v) {
    if (std::isnan(v)) return -1;
    if (v < k.values[0]) return 0;
    // Above the last value the last bucket takes over, and its steps end on
    // the last bin: the same walk as for the values the inversion sees.
    return BinWithin(k, v);
}

void NewtonPortable(const Kernel& k, NewtonList& list, float* out) {
    const LogicalFns fn{k.a, k.w, k.p, k.p2};
    for (size_t j = 0; j < list.count; ++j) {
        const double x = LogicalNewton(fn, list.x[j], list.s[j], list.d[j], list.y[j]);
        out[list.idx[j]] = ClampedFraction(x, k.m);
    }
    list.count = 0;
}

namespace {

// Values with a fixed fraction (NaN and below the display 0, T and up 1)
// get it in *fixed; the others need the inversion.
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

// Puts v (event offset e) on the list at its table point.
inline void Add(const Kernel& k, NewtonList& list, float v, uint32_t e) {
    const int32_t i = BinWithin(k, v);
    const size_t at = list.count++;
    list.x[at] = k.positions[i];
    list.s[at] = k.startS[i];
    list.d[at] = k.startSlope[i];
    list.y[at] = v;
    list.idx[at] = e;
}

void RunNewton(const Kernel& k, Path path, NewtonList& list, float* out) {
    switch (path) {
        case Path::kAvx512: NewtonAvx512(k, list, out); break;
        case Path::kAvx2: NewtonAvx2(k, list, out); break;
        default: NewtonPortable(k, list, out); break;
    }
    list.count = 0;
}

void FractionsRange(const Kernel& kernel, Path path, const float* values, size_t n, float* out) {
    // A copy the compiler knows the list stores cannot change.
    const Kernel k = kernel;
    NewtonList list;
    list.count = 0;
    for (size_t b = 0; b < n; b += kListSize) {
        const size_t len = std::min(kListSize, n - b);
        for (size_t j = 0; j < len; ++j) {
            const float v = values[b + j];
            float fixed;
            if (NeedsInversion(k, v, &fixed))
                Add(k, list, v, uint32_t(j));
            else
                out[b + j] = fixed;
        }
        RunNewton(k, path, list, out + b);
    }
}

// Words [w0, w1) of the mask; events at and above n are not looked at.
void FractionsMaskedRange(const Kernel& kernel, Path path, const float* values, size_t n,
                          const uint32_t* words, size_t w0, size_t w1, float* out) {
    const Kernel k = kernel;  // see FractionsRange
    constexpr size_t kWordsPerList = kListSize / 32;
    NewtonList list;
    list.count = 0;
    for (size_t cw = w0; cw < w1; cw += kWordsPerList) {
        const size_t we = std::min(w1, cw + kWordsPerList);
        const size_t base = cw * 32;
        for (size_t w = cw; w < we; ++w) {
            uint32_t bits = words[w];
            while (bits) {
                const unsigned bit = unsigned(__builtin_ctz(bits));
                bits &= bits - 1;
                const size_t e = w * 32 + bit;
                if (e >= n) break;  // bits rise within a word
                const float v = values[e];
                float fixed;
                if (NeedsInversion(k, v, &fixed))
                    Add(k, list, v, uint32_t(e - base));
                else
                    out[e] = fixed;
            }
        }
        RunNewton(k, path, list, out + base);
    }
}

}  // namespace

// Long columns are cut into tasks that a few threads take in turn: a thread
// slowed down by other work on the machine then holds up the rest for one
// task, not for an eighth of the column.
void Fractions(const Kernel& k, const float* values, size_t n, float* out) {
    const Path path = CurrentPath();
    if (n < kMinParallel) {
        FractionsRange(k, path, values, n, out);
        return;
    }
    lm::ForTasks((n + kTask - 1) / kTask, [&k, path, values, n, out](size_t t) {
        const size_t b = t * kTask;
        FractionsRange(k, path, values + b, std::min(kTask, n - b), out + b);
    });
}

void FractionsMasked(const Kernel& k, const float* values, size_t n, const uint32_t* words,
                     float* out) {
    const Path path = CurrentPath();
    const size_t nWords = (n + 31) / 32;
    if (n < kMinParallel) {
        FractionsMaskedRange(k, path, values, n, words, 0, nWords, out);
        return;
    }
    constexpr size_t kTaskWords = kTask / 32;
    lm::ForTasks((nWords + kTaskWords - 1) / kTaskWords, [&](size_t t) {
        const size_t w0 = t * kTaskWords;
        FractionsMaskedRange(k, path, values, n, words, w0, std::min(nWords, w0 + kTaskWords), out);
    });
}

// ---------------------------------------------------------------------------
// Choosing the path

// The vector exp against std::exp on arguments that reach every part of it:
// the ends of the plain range, the ones handed to std::exp, table edges, the
// range the inversion uses and a spread of random doubles. Any difference
// (another C library, another exp) keeps the whole process on the portable
// path.
bool ExpMatchesLibrary(void (*expN)(const double*, size_t, double*)) {
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
    expN(x.data(), n, got.data());
    for (size_t i = 0; i < n; ++i) {
        const double want = std::exp(x[i]);
        if (std::memcmp(&want, &got[i], sizeof want) != 0) return false;
    }
    return true;
}

bool CpuHas(Path path) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    // What the C library's FMA exp needs, and what our code uses besides.
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (path == Path::kAvx2) return avx2;
    if (path == Path::kPortable) return true;
    if (path == Path::kAvx512)
        return avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512vl");
#else
    return path == Path::kPortable;
#endif
    return false;
}

Path BestPath() {
    static const Path best = [] {
        if (CpuHas(Path::kAvx512) && ExpMatchesLibrary(&ExpAvx512)) return Path::kAvx512;
        if (CpuHas(Path::kAvx2) && ExpMatchesLibrary(&ExpAvx2)) return Path::kAvx2;
        return Path::kPortable;
    }();
    return best;
}

Path CurrentPath() {
    const Path best = BestPath();
    const Path limit = Path(t_pathLimit);
    return int(limit) < int(best) ? limit : best;
}

void LimitPath(Path max) { t_pathLimit = int(max); }

}  // namespace lm::logicle
