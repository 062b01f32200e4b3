#include "core/FractionCache.h"

#include "core/EventMatrix.h"
#include "core/Trans.h"

const float* FractionCache::Get(const CEventMatrix& matrix, int32_t param, const CTRANS& trans) {
    if (param < 0 || param >= matrix.GetParamCount()) return nullptr;
    const int32_t n = matrix.GetEventCount();
    const float* column = matrix.GetColumn(param);
    if (n <= 0 || column == nullptr) return nullptr;
    if (m_entries.size() <= size_t(param)) m_entries.resize(size_t(param) + 1);
    Entry& e = m_entries[size_t(param)];
    if (e.matrix == &matrix && e.generation == matrix.GetColumnGeneration(param) && e.column == column &&
        e.eventCount == n && e.transId == trans.GetId() && e.transVersion == trans.GetVersion() &&
        e.fractions.size() == size_t(n))
        return e.fractions.data();

    // Mark the entry empty first: should the computation throw (out of
    // memory), a half-written column must not look valid.
    e.matrix = nullptr;
    e.fractions.resize(size_t(n));
    trans.ToFractions(column, size_t(n), e.fractions.data());
    e.matrix = &matrix;
    e.generation = matrix.GetColumnGeneration(param);
    e.column = column;
    e.eventCount = n;
    e.transId = trans.GetId();
    e.transVersion = trans.GetVersion();
    ++m_computed;
    return e.fractions.data();
}

void FractionCache::Invalidate(int32_t param) {
    if (param < 0) {
        Clear();
        return;
    }
    if (size_t(param) < m_entries.size()) m_entries[size_t(param)] = Entry{};
}

void FractionCache::Clear() { m_entries.clear(); }

size_t FractionCache::MemoryBytes() const {
    size_t bytes = 0;
    for (const Entry& e : m_entries) bytes += e.fractions.capacity() * sizeof(float);
    return bytes;
}
