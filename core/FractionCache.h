#pragma once
// Display fractions of parameter columns, kept between gate evaluations. A
// region's hit test needs the clamped fraction of each event it tests; on a
// logicle axis each fraction costs a Newton inversion, so a shell keeps one
// cache and hands it to every hit test. An entry records which events it
// holds (one bit per event): a region under a small parent gate has only its
// parent's events computed, and a caller that needs the whole column gets
// the rest computed then. An entry is reused while the transform (identity
// and version) and the event matrix (identity and generation) are the ones it
// was computed from, and each event's fraction is the transform's ToFraction
// of its value however it came to be computed, so what the cache hands out
// is always bit-identical to a fresh computation.
//
// A shell should Clear() its cache when it switches data sets (the matrix key
// also guards against that, but clearing frees the memory at once).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

class CEventMatrix;
class CTRANS;

class FractionCache {
public:
    FractionCache() = default;
    FractionCache(const FractionCache&) = delete;
    FractionCache& operator=(const FractionCache&) = delete;

    // The fraction column (trans.ToFraction of every current value) of
    // parameter param, computed where missing or stale. Null when param is
    // outside the matrix. The pointer stays valid until the next Get or
    // GetSome of the same parameter, Invalidate or Clear.
    const float* Get(const CEventMatrix& matrix, int32_t param, const CTRANS& trans);
    // The same column in which only the events set in words (bit e & 31 of
    // word e >> 5) among the first n are sure to hold their fraction; the
    // others hold a finite value of no meaning. words must cover the first
    // min(n, event count) bits.
    // Null as Get. The whole column is computed instead when the events
    // missing are many, or when the entry already holds others.
    const float* GetSome(const CEventMatrix& matrix, int32_t param, const CTRANS& trans, const uint32_t* words,
                         uint32_t n);

    // Whether the fraction of every event of param is at hand (a Get would
    // compute nothing).
    bool Holds(const CEventMatrix& matrix, int32_t param, const CTRANS& trans) const;

    // Drops the entry of one parameter (a negative index drops all).
    void Invalidate(int32_t param);
    void Clear();

    // Number of computations (a whole column, or some of its events) since
    // construction; for tests and benchmarks.
    uint64_t ComputeCount() const { return m_computed; }
    // Number of changes (computations and entries started afresh) since
    // construction: for callers that keep results derived from the columns,
    // nothing handed out changed while it stands still.
    uint64_t ChangeCount() const { return m_changes; }
    // Events held in the entry of param as last prepared (0 without one);
    // for tests.
    uint32_t HeldCount(int32_t param) const;
    size_t MemoryBytes() const;

private:
    struct FreeFloats {
        void operator()(float* p) const { std::free(p); }
    };
    struct Entry {
        const CEventMatrix* matrix = nullptr;
        uint64_t generation = 0;
        const float* column = nullptr;
        int32_t eventCount = -1;
        uint64_t transId = 0;
        uint64_t transVersion = 0;
        // Zero-filled on allocation, so the events not held read as 0.
        std::unique_ptr<float[], FreeFloats> fractions;
        size_t size = 0;
        std::vector<uint32_t> held;  // one bit per event held
        bool whole = false;           // every event held
    };
    // The entry of param, emptied and sized for the matrix's events when it
    // does not belong to the matrix's current column and trans; null when
    // there is no such column.
    Entry* Prepare(const CEventMatrix& matrix, int32_t param, const CTRANS& trans);
    // Whether e was computed from param's current column of matrix and trans.
    static bool Current(const Entry& e, const CEventMatrix& matrix, int32_t param, const CTRANS& trans);

    std::vector<Entry> m_entries;  // indexed by parameter
    uint64_t m_computed = 0;
    uint64_t m_changes = 0;
};
