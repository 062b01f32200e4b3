#include "core/FractionCache.h"

#include <algorithm>
#include <bit>
#include <new>

#include "core/EventMatrix.h"
#include "core/Slices.h"
#include "core/Trans.h"

namespace {

// When at least this share (1 / kWholeShare) of a column is missing, the
// whole column is computed instead: a whole column is shared out over the
// cores, and gives every event's fraction again, bit for bit.
constexpr size_t kWholeShare = 4;

// The share for trans. A transform whose masked conversion uses the cores
// (a logicle) is left to it; where the masked events are converted on this
// thread, the whole column is cheaper as soon as the missing events
// outnumber one core's share of it.
size_t WholeShare(const CTRANS& trans) {
    if (trans.MaskedUsesThreads()) return kWholeShare;
    return std::max(kWholeShare, lm::UsableCores());
}

// Bits of the first n events in a word array of (n + 31) / 32 words: the
// last word's bits past n belong to no event.
uint32_t TailMask(uint32_t n, size_t w) {
    const uint32_t rest = n & 31;
    return (rest != 0 && w == (n >> 5)) ? (1u << rest) - 1 : ~0u;
}

}  // namespace

FractionCache::Entry* FractionCache::Prepare(const CEventMatrix& matrix, int32_t param, const CTRANS& trans) {
    if (param < 0 || param >= matrix.GetParamCount()) return nullptr;
    const int32_t n = matrix.GetEventCount();
    const float* column = matrix.GetColumn(param);
    if (n <= 0 || column == nullptr) return nullptr;
    if (m_entries.size() <= size_t(param)) m_entries.resize(size_t(param) + 1);
    Entry& e = m_entries[size_t(param)];
    if (Current(e, matrix, param, trans)) return &e;

    // Another column or transform: nothing held is valid any more. Mark
    // the entry empty first, so that a failure below leaves nothing that
    // looks valid.
    e.matrix = nullptr;
    e.whole = false;
    e.held.assign((size_t(n) + 31) >> 5, 0u);
    if (e.size != size_t(n)) {
        e.fractions.reset();
        e.size = 0;
        // calloc: fresh zero pages from the system, touched only where
        // events are computed.
        float* p = static_cast<float*>(std::calloc(size_t(n), sizeof(float)));
        if (p == nullptr) throw std::bad_alloc();
        e.fractions.reset(p);
        e.size = size_t(n);
    }
    e.matrix = &matrix;
    e.generation = matrix.GetColumnGeneration(param);
    e.column = column;
    e.eventCount = n;
    e.transId = trans.GetId();
    e.transVersion = trans.GetVersion();
    // What was handed out for this parameter before is no longer what the
    // entry holds.
    ++m_changes;
    return &e;
}

bool FractionCache::Current(const Entry& e, const CEventMatrix& matrix, int32_t param, const CTRANS& trans) {
    const int32_t n = matrix.GetEventCount();
    return e.matrix == &matrix && e.generation == matrix.GetColumnGeneration(param) &&
           e.column == matrix.GetColumn(param) && e.eventCount == n && e.transId == trans.GetId() &&
           e.transVersion == trans.GetVersion() && e.size == size_t(n);
}

bool FractionCache::Holds(const CEventMatrix& matrix, int32_t param, const CTRANS& trans) const {
    if (param < 0 || size_t(param) >= m_entries.size() || param >= matrix.GetParamCount()) return false;
    const Entry& e = m_entries[size_t(param)];
    return e.whole && Current(e, matrix, param, trans);
}

const float* FractionCache::Get(const CEventMatrix& matrix, int32_t param, const CTRANS& trans) {
    Entry* e = Prepare(matrix, param, trans);
    if (e == nullptr) return nullptr;
    if (e->whole) return e->fractions.get();
    const uint32_t n = uint32_t(e->size);
    size_t missing = 0;
    for (size_t w = 0; w < e->held.size(); ++w) missing += size_t(std::popcount(~e->held[w] & TailMask(n, w)));
    if (missing * WholeShare(trans) >= n) {
        trans.ToFractions(e->column, n, e->fractions.get());
    } else if (missing > 0) {
        std::vector<uint32_t> want(e->held.size());
        for (size_t w = 0; w < want.size(); ++w) want[w] = ~e->held[w] & TailMask(n, w);
        trans.ToFractionsMasked(e->column, n, want.data(), e->fractions.get());
    }
    e->whole = true;
    // A whole column needs no record of its events.
    std::vector<uint32_t>().swap(e->held);
    ++m_computed;
    ++m_changes;
    return e->fractions.get();
}

const float* FractionCache::GetSome(const CEventMatrix& matrix, int32_t param, const CTRANS& trans,
                                    const uint32_t* words, uint32_t n) {
    Entry* e = Prepare(matrix, param, trans);
    if (e == nullptr) return nullptr;
    if (e->whole) return e->fractions.get();
    if (n > e->size) n = uint32_t(e->size);
    const size_t count = (size_t(n) + 31) >> 5;
    std::vector<uint32_t> want(count);
    size_t missing = 0;
    bool held = false;
    for (size_t w = 0; w < count; ++w) {
        want[w] = words[w] & ~e->held[w] & TailMask(n, w);
        missing += size_t(std::popcount(want[w]));
        held = held || e->held[w] != 0;
    }
    for (size_t w = count; w < e->held.size() && !held; ++w) held = e->held[w] != 0;
    if (missing == 0) return e->fractions.get();
    // Events missing from an entry that already holds some mean the parent
    // is being edited (a region dragged): finish the column once, so that
    // every further step reads it without computing.
    if (held || missing * WholeShare(trans) >= e->size) return Get(matrix, param, trans);
    trans.ToFractionsMasked(e->column, n, want.data(), e->fractions.get());
    for (size_t w = 0; w < count; ++w) e->held[w] |= want[w];
    ++m_computed;
    ++m_changes;
    return e->fractions.get();
}

void FractionCache::Invalidate(int32_t param) {
    if (param < 0) {
        Clear();
        return;
    }
    if (size_t(param) < m_entries.size()) m_entries[size_t(param)] = Entry{};
}

void FractionCache::Clear() { m_entries.clear(); }

uint32_t FractionCache::HeldCount(int32_t param) const {
    if (param < 0 || size_t(param) >= m_entries.size()) return 0;
    const Entry& e = m_entries[size_t(param)];
    if (e.matrix == nullptr) return 0;
    if (e.whole) return uint32_t(e.size);
    uint32_t count = 0;
    for (uint32_t w : e.held) count += uint32_t(std::popcount(w));
    return count;
}

size_t FractionCache::MemoryBytes() const {
    size_t bytes = 0;
    for (const Entry& e : m_entries) bytes += e.size * sizeof(float) + e.held.capacity() * sizeof(uint32_t);
    return bytes;
}
