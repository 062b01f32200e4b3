#pragma once
// Fast exact lookup of a value's bin in an ascending bin table: the same
// answer as FindBinIndex (core/Trans.h) for every float, in a few
// nanoseconds instead of a binary search.
//
// The first guess comes from a lookup table indexed by the value's bit
// pattern (floats ordered as unsigned integers are monotonic, and their high
// bits are a piecewise-linear logarithm, so the cells suit linear, log and
// logicle tables alike). Each cell holds the bin of its lowest value; the bin
// of any value in the cell lies between that and the next cell's entry, and
// a short walk against the table itself settles it exactly.
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

class CBinLocator {
public:
    CBinLocator() = default;
    CBinLocator(const float* table, int32_t n) { Build(table, n); }

    // Copies the table and builds the guess cells. A table that is empty,
    // holds NaN or is not in ascending order is still answered exactly, by
    // binary search.
    void Build(const float* table, int32_t n);

    // FindBinIndex(table, n, v): 0 below table[0], n - 1 from table[n - 1]
    // up, else the largest i with table[i] <= v; -1 for NaN or an empty
    // table.
    int32_t Find(float v) const {
        if (m_n <= 0 || std::isnan(v)) return -1;
        if (m_searchOnly) return Search(v);
        if (!(v >= m_t[1])) return 0;
        if (v >= m_t[size_t(m_n - 1)]) return m_n - 1;
        const uint32_t key = (Squeeze(Order(v)) - m_keyLo) >> m_shift;
        int32_t lo = m_cells[key];
        const int32_t hi = m_cells[key + 1];
        while (lo < hi && m_t[size_t(lo) + 1] <= v) ++lo;
        return lo;
    }

    int32_t Size() const { return m_n; }
    const float* Table() const { return m_t.data(); }
    // Number of guess cells (0 when the locator only searches).
    size_t CellCount() const { return m_cells.size(); }

    // Floats as unsigned integers in the order of their values (-0 and +0
    // both map to the key of +0).
    static uint32_t Order(float v) {
        const uint32_t u = std::bit_cast<uint32_t>(v + 0.0f);
        return (u & 0x80000000u) ? ~u : (u | 0x80000000u);
    }
    static float FromOrder(uint32_t o) {
        const uint32_t u = (o & 0x80000000u) ? (o & 0x7FFFFFFFu) : ~o;
        return std::bit_cast<float>(u);
    }

private:
    int32_t Search(float v) const;
    // The keys of the tiny magnitudes around zero, where no bin edge can
    // lie, are squeezed into one, so that a table across zero does not spend
    // its cells on them. Monotonic; Unsqueeze gives the smallest key that
    // squeezes to a value.
    uint32_t Squeeze(uint32_t key) const {
        if (key <= m_bandLo) return key;
        return key < m_bandHi ? m_bandLo + 1 : key - m_bandCut;
    }
    uint32_t Unsqueeze(uint32_t key) const {
        return (key <= m_bandLo || key - m_bandLo == 1) ? key : key + m_bandCut;
    }

    std::vector<float> m_t;
    int32_t m_n = 0;
    bool m_searchOnly = false;
    uint32_t m_keyLo = 0;
    uint32_t m_shift = 0;
    uint32_t m_bandLo = 0xFFFFFFFFu;  // no band: nothing is squeezed
    uint32_t m_bandHi = 0xFFFFFFFFu;
    uint32_t m_bandCut = 0;
    std::vector<int32_t> m_cells;
};
