#include "report/plot/BinLocator.h"

#include <algorithm>
#include <limits>

#include "core/Trans.h"

namespace {

// Cells per table entry aimed at, and the bounds of the cell count: enough
// that a cell rarely spans more than a bin or two, few enough to stay in the
// cache.
constexpr uint64_t kCellsPerBin = 64;
constexpr uint64_t kMinCells = 4096;
constexpr uint64_t kMaxCells = uint64_t(1) << 16;

}  // namespace

void CBinLocator::Build(const float* table, int32_t n) {
    m_t.clear();
    m_cells.clear();
    m_n = 0;
    m_searchOnly = false;
    m_keyLo = 0;
    m_shift = 0;
    m_bandLo = m_bandHi = 0xFFFFFFFFu;
    m_bandCut = 0;
    if (table == nullptr || n <= 0) return;
    m_t.assign(table, table + n);
    m_n = n;
    bool ordered = true;
    for (int32_t i = 0; i < n; ++i) {
        if (std::isnan(m_t[size_t(i)]) || (i > 0 && m_t[size_t(i)] < m_t[size_t(i) - 1])) {
            ordered = false;
            break;
        }
    }
    if (!ordered || n < 2) {
        m_searchOnly = true;
        return;
    }
    // Values below t[1] all fall in bin 0 and values from t[n - 1] up in the
    // last bin, so the cells only cover [t[1], t[n - 1]).
    const float lo = m_t[1];
    const float hi = m_t[size_t(n) - 1];
    if (lo < 0.0f && hi > 0.0f) {
        // A band (-tiny, tiny) narrower than the closest two edges holds at
        // most one edge.
        float gap = std::numeric_limits<float>::infinity();
        for (int32_t i = 1; i < n; ++i) {
            const float d = m_t[size_t(i)] - m_t[size_t(i) - 1];
            if (d > 0.0f) gap = std::min(gap, d);
        }
        const float tiny = gap / 4.0f;
        if (std::isfinite(tiny) && tiny > 0.0f) {
            m_bandLo = Order(-tiny);
            m_bandHi = Order(tiny);
            m_bandCut = m_bandHi - m_bandLo - 2;
        }
    }
    m_keyLo = Squeeze(Order(lo));
    const uint32_t keyHi = Squeeze(Order(hi));
    const uint64_t span = keyHi - m_keyLo;
    const uint64_t target = std::clamp(kCellsPerBin * uint64_t(n), kMinCells, kMaxCells);
    while ((span >> m_shift) >= target) ++m_shift;
    const uint64_t lastKey = span >> m_shift;
    m_cells.resize(size_t(lastKey) + 2);
    int32_t b = 0;
    for (uint64_t k = 0; k < m_cells.size(); ++k) {
        const uint64_t key = std::min<uint64_t>(uint64_t(m_keyLo) + (k << m_shift), keyHi);
        const float value = FromOrder(Unsqueeze(uint32_t(key)));
        while (b + 1 < n && m_t[size_t(b) + 1] <= value) ++b;
        m_cells[size_t(k)] = b;
    }
}

int32_t CBinLocator::Search(float v) const { return FindBinIndex(m_t.data(), m_n, v); }
