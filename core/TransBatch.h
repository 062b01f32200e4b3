#pragma once
// Batch conversion of values to logicle fractions: the pieces shared by the
// transform (core/Trans.cpp), the portable batch path (core/TransBatch.cpp)
// and the AVX2 path (core/TransBatchAvx2.cpp).
//
// This header holds plain data and declarations only. The AVX2 unit is
// compiled for a newer CPU than the rest of the program; an inline function
// defined here and compiled there could be the copy the linker keeps, and
// would then run on a CPU without AVX2.
#include <cstddef>
#include <cstdint>

#include "core/LogicleBins.h"

namespace lm::logicle {

// Everything a batch conversion reads, borrowed from one CLogical.
struct Kernel {
    double a, w, p, p2;  // the display function's parameters, as the scalar code widens them
    double m;            // width in display units
    float T, r;          // top and negative range
    float v0;            // S(0), the first table value
    int32_t n;           // table points
    const float* values;  // n ascending values and a NaN after them
    const float* positions;
    const double* startS;
    const double* startSlope;
    // Where to start looking for a value's bin. A value's order key (see
    // OrderKey) is squeezed where it means less than 2^-20 in size: keys
    // from keyGap to keyGap + gapSize become keyGap and those above move down
    // by gapSize (so the buckets go to the decades that hold table values).
    // Bucket (squeezed key - keyLow) >> binShift (clamped to binCount - 1)
    // starts at binStart[bucket], and at most binSteps steps up reach the
    // bin.
    const uint16_t* binStart;
    uint32_t keyGap;
    uint32_t gapSize;
    uint32_t keyLow;
    uint32_t binShift;
    uint32_t binCount;
    int32_t binSteps;
};

// Most buckets an index has.
constexpr uint32_t kMaxBins = 4096;

// Builds the bucket index of the ascending table values[0..n) (1 <= n <=
// 65536) into start (room for kMaxBins) and the other fields.
void BuildBins(const float* values, int32_t n, uint16_t* start, Bins* bins);

// The bin index a Kernel's tables give: FindBinIndex(values, n, v) for every
// float v.
int32_t FindBin(const Kernel& k, float v);

// Values on their way through the Newton steps, all at the same step: the
// iterate x with S(x) and S'(x), the value y and the event's offset in out.
// Vector paths read and write whole vectors, so the arrays have room for
// kListSize + 8 entries.
constexpr size_t kListSize = 512;
struct NewtonList {
    alignas(64) double x[kListSize + 8];
    alignas(64) double s[kListSize + 8];
    alignas(64) double d[kListSize + 8];
    alignas(64) double y[kListSize + 8];
    alignas(64) uint32_t idx[kListSize + 8];
    size_t count;
};

// Runs the Newton steps of every entry (taken from its table point) and
// writes out[idx] = the clamped fraction, the same bits as
// CLogical::ToFraction gives for y. The list is used up.
void NewtonPortable(const Kernel& k, NewtonList& list, float* out);
// The same on AVX2 (core/TransBatchAvx2.cpp) and AVX-512
// (core/TransBatchAvx512.cpp); call only for the path CurrentPath() names.
void NewtonAvx2(const Kernel& k, NewtonList& list, float* out);
void NewtonAvx512(const Kernel& k, NewtonList& list, float* out);

// Fractions of values[0..n) into out (all values; contiguous) and of the
// events set in words (bit e % 32 of word e / 32, e < n) into out, others left
// alone, on the path CurrentPath() names.
void Fractions(const Kernel& k, const float* values, size_t n, float* out);
void FractionsMasked(const Kernel& k, const float* values, size_t n, const uint32_t* words,
                     float* out);

// out[i] = exp(x[i]) with the same bits as this machine's std::exp when its
// library uses the FMA variant of the table-driven exp (checked at first use).
void ExpAvx2(const double* x, size_t n, double* out);
void ExpAvx512(const double* x, size_t n, double* out);

// Whether expN gives std::exp's bits on a few thousand awkward arguments
// (the check BestPath makes of each vector exp).
bool ExpMatchesLibrary(void (*expN)(const double*, size_t, double*));

enum class Path { kPortable = 0, kAvx2 = 1, kAvx512 = 2 };
// Whether the CPU (and this build) has what the path needs.
bool CpuHas(Path path);
// The fastest path this process may use: the CPU has its instructions (and
// FMA) and, checked once per process, its exp gives std::exp's bits on a
// sample of awkward arguments.
Path BestPath();
// BestPath(), or less when a test has limited it.
Path CurrentPath();
// Tests only: conversions started on this thread use no path above max
// (their worker threads follow the path chosen at the start).
void LimitPath(Path max);

}  // namespace lm::logicle
