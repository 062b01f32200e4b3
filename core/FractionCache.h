#pragma once
// Display fractions of whole parameter columns, kept between gate
// evaluations. A region's hit test needs the clamped fraction of every event
// of its parameters; on a logicle axis each fraction costs a Newton inversion,
// so a shell keeps one cache and hands it to every hit test. An entry is
// reused while the transform (identity and version) and the event matrix
// (identity and generation) are the ones it was computed from, so a cached
// column is always bit-identical to a fresh computation.
//
// A shell should Clear() its cache when it switches data sets (the matrix key
// also guards against that, but clearing frees the memory at once).
#include <cstddef>
#include <cstdint>
#include <vector>

class CEventMatrix;
class CTRANS;

class FractionCache {
public:
    FractionCache() = default;
    FractionCache(const FractionCache&) = delete;
    FractionCache& operator=(const FractionCache&) = delete;

    // The fraction column (trans.ToFraction of every current value) of
    // parameter param, computed when missing or stale. Null when param is
    // outside the matrix. The pointer stays valid until the next Get of the
    // same parameter, Invalidate or Clear.
    const float* Get(const CEventMatrix& matrix, int32_t param, const CTRANS& trans);

    // Drops the entry of one parameter (a negative index drops all).
    void Invalidate(int32_t param);
    void Clear();

    // Number of columns computed (not reused) since construction; for tests
    // and benchmarks.
    uint64_t ComputeCount() const { return m_computed; }
    size_t MemoryBytes() const;

private:
    struct Entry {
        const CEventMatrix* matrix = nullptr;
        uint64_t generation = 0;
        const float* column = nullptr;
        int32_t eventCount = -1;
        uint64_t transId = 0;
        uint64_t transVersion = 0;
        std::vector<float> fractions;
    };
    std::vector<Entry> m_entries;  // indexed by parameter
    uint64_t m_computed = 0;
};
