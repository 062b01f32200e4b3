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
    const float* values;  // n ascending values and a +infinity after them
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
    const int32_t* binStart;
    uint32_t keyGap;
    uint32_t gapSize;
    uint32_t keyLow;
    uint32_t binShift;
    uint32_t binCount;
    int32_t binSteps;
};

// Most buckets an index has.
constexpr uint32_t kMaxBins = 4096;

// Builds the bucket index of the ascending table values[0..n) (n >= 1) into
// start (room for kMaxBins) and the other fields.
void BuildBins(const float* values, int32_t n, int32_t* start, Bins* bins);

// The bin index a Kernel's tables give: FindBinIndex(values, n, v) for every
// float v.
int32_t FindBin(const Kernel& k, float v);

// out[idx[j]] = fraction of base[idx[j]] for j < count, for values that need
// the inversion (not NaN, v0 <= v < T, v >= r). The portable path; the same
// bits as CLogical::ToFraction.
void InvertListPortable(const Kernel& k, const float* base, const uint32_t* idx, size_t count,
                        float* out);

// Fractions of values[0..n) into out (all values; contiguous) and of the
// events set in words (bit e % 32 of word e / 32, e < n) into out, others left
// alone. Use the AVX2 path when UseVector() says so.
void Fractions(const Kernel& k, const float* values, size_t n, float* out);
void FractionsMasked(const Kernel& k, const float* values, size_t n, const uint32_t* words,
                     float* out);

// ---- the AVX2 path (core/TransBatchAvx2.cpp); call only when UseVector() ----
// Same contract as InvertListPortable.
void InvertListAvx2(const Kernel& k, const float* base, const uint32_t* idx, size_t count,
                    float* out);
// out[i] = exp(x[i]) with the same bits as this machine's std::exp when its
// library uses the FMA variant of the table-driven exp.
void ExpAvx2(const double* x, size_t n, double* out);

// True when the CPU has AVX2 and FMA and, checked once per process, the
// vector exp gives std::exp's bits on a sample of awkward arguments.
bool VectorUsable();
// Whether the batch conversions use the vector path: VectorUsable() unless a
// test has turned it off.
bool UseVector();
// Tests only: false forces the portable path (not thread-safe against
// conversions running at the same time).
void AllowVector(bool allow);

}  // namespace lm::logicle
