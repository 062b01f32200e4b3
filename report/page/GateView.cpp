#include "report/page/GateView.h"

#include <QPainter>

#include <algorithm>

#include "core/GateNode.h"
#include "platform/PaintHelpers.h"

namespace {
constexpr COLORREF kSelectedBack = 0xD2D2D2;
constexpr COLORREF kNoColour = COLORREF(-1);

bool IsCombined(const CGateNode* g) { return g->GetOperator() == kGateAnd || g->GetOperator() == kGateOr; }
}  // namespace

void CGateView::SetGates(const std::vector<CGateNode*>& gates) {
    m_listGates = gates;
    m_treeGates.clear();
    m_levels.clear();
    m_waiting.clear();
    m_placed.assign(gates.size(), 0);
    m_selected.assign(gates.size(), 0);
    if (gates.empty()) return;
    Place(gates[0], 0);
    TryWaiting(1);
    // A gate the walk never reached (a combined gate whose operand is not in
    // the list, a gate whose input is not in it) still needs its row: the
    // table has one row per gate.
    for (size_t i = 0; i < m_listGates.size(); ++i) {
        if (m_placed[i]) continue;
        m_placed[i] = 1;
        m_treeGates.push_back(m_listGates[i]);
        m_levels.push_back(i == 0 ? 0 : 1);
    }
    m_waiting.clear();
}

int32_t CGateView::ListIndex(const CGateNode* gate) const {
    const auto it = std::find(m_listGates.begin(), m_listGates.end(), gate);
    return it == m_listGates.end() ? -1 : int32_t(it - m_listGates.begin());
}

void CGateView::Place(CGateNode* gate, int32_t level) {
    const int32_t k = ListIndex(gate);
    if (k < 0 || m_placed[size_t(k)]) return;
    m_placed[size_t(k)] = 1;
    m_treeGates.push_back(gate);
    m_levels.push_back(level);
    for (CGateNode* child : gate->GetChildren()) {
        const int32_t c = ListIndex(child);
        if (c < 0 || m_placed[size_t(c)]) continue;
        if (IsCombined(child)) {
            if (std::find(m_waiting.begin(), m_waiting.end(), child) == m_waiting.end()) m_waiting.push_back(child);
        } else {
            Place(child, level + 1);
        }
        if (level + 1 == 1) TryWaiting(1);
    }
}

// Places the first waiting gate whose operands are all in the tree, then
// starts over (its children may have completed another one).
void CGateView::TryWaiting(int32_t level) {
    for (bool placedOne = true; placedOne;) {
        placedOne = false;
        for (size_t w = 0; w < m_waiting.size(); ++w) {
            CGateNode* g = m_waiting[w];
            const auto& inputs = g->GetInputs();
            const bool ready = std::none_of(inputs.begin(), inputs.end(), [this](const CGateNode* in) {
                const int32_t k = ListIndex(in);
                return k >= 0 && !m_placed[size_t(k)];
            });
            if (!ready) continue;
            m_waiting.erase(m_waiting.begin() + ptrdiff_t(w));
            // Place walks the children one level deeper.
            const int32_t k = ListIndex(g);
            if (k >= 0 && !m_placed[size_t(k)]) {
                m_placed[size_t(k)] = 1;
                m_treeGates.push_back(g);
                m_levels.push_back(level);
                for (CGateNode* child : g->GetChildren()) {
                    const int32_t c = ListIndex(child);
                    if (c < 0 || m_placed[size_t(c)]) continue;
                    if (IsCombined(child)) {
                        if (std::find(m_waiting.begin(), m_waiting.end(), child) == m_waiting.end())
                            m_waiting.push_back(child);
                    } else {
                        Place(child, level + 1);
                    }
                }
            }
            placedOne = true;
            break;
        }
    }
}

void CGateView::SetTreeMode(bool on) {
    m_treeMode = on;
    std::fill(m_selected.begin(), m_selected.end(), 0);
}

void CGateView::SetMultiSelect(bool on) {
    if (on != m_multiSelect) std::fill(m_selected.begin(), m_selected.end(), 0);
    m_multiSelect = on;
}

CGateNode* CGateView::GetRowGate(int32_t row) const {
    const auto& rows = m_treeMode ? m_treeGates : m_listGates;
    return row >= 0 && size_t(row) < rows.size() ? rows[size_t(row)] : nullptr;
}

int32_t CGateView::GetRowLevel(int32_t row) const {
    if (!m_treeMode) return 0;
    return row >= 0 && size_t(row) < m_levels.size() ? m_levels[size_t(row)] : 0;
}

CPoint CGateView::BoxOrigin(int32_t row) const {
    if (!m_treeMode) return CPoint(m_left + 3, m_top + row * m_rowHeight + 3);
    return CPoint(m_left + GetRowLevel(row) * kIndent, m_top + row * m_rowHeight + 3);
}

CPoint CGateView::GetRowOrigin(int32_t row) const {
    if (!m_treeMode) return CPoint(m_left + 18, m_top + row * m_rowHeight);
    return CPoint(m_left + GetRowLevel(row) * kIndent + kIndent, m_top + row * m_rowHeight + 1);
}

void CGateView::SelectRow(int32_t row) {
    if (row < 0 || size_t(row) >= m_selected.size()) return;
    if (m_rootLocked && row == 0) return;
    if (m_multiSelect) {
        m_selected[size_t(row)] ^= 1;
        return;
    }
    std::fill(m_selected.begin(), m_selected.end(), 0);
    m_selected[size_t(row)] = 1;
}

bool CGateView::SelectRowAt(int32_t /*x*/, int32_t y) {
    if (y < m_top) return false;
    const int32_t row = (y - m_top) / m_rowHeight;
    if (row >= GetRowCount()) return false;
    SelectRow(row);
    return true;
}

GateViewHit CGateView::HitTest(int32_t x, int32_t y) const {
    if (y < m_top) return {};
    const int32_t row = (y - m_top) / m_rowHeight;
    if (row >= GetRowCount()) return {};
    const int32_t boxLeft = BoxOrigin(row).x;
    if (x < boxLeft) return {row, -2};
    if (x < boxLeft + kBoxSize) return {row, -1};
    if (x > boxLeft + kIndent) return {row, 0};
    return {};
}

int32_t CGateView::GetSelectedRow() const {
    if (m_multiSelect) return -1;
    const auto it = std::find(m_selected.begin(), m_selected.end(), uint8_t(1));
    return it == m_selected.end() ? -1 : int32_t(it - m_selected.begin());
}

CGateNode* CGateView::GetSelectedGate() const { return GetRowGate(GetSelectedRow()); }

std::vector<CGateNode*> CGateView::GetSelectedGates() const {
    std::vector<CGateNode*> out;
    for (size_t r = 0; r < m_selected.size(); ++r)
        if (m_selected[r]) out.push_back(GetRowGate(int32_t(r)));
    return out;
}

void CGateView::Draw(QPainter& p) const {
    const int32_t rows = GetRowCount();
    for (int32_t r = 0; r < rows; ++r) {
        const CGateNode* g = GetRowGate(r);
        if (!g) continue;
        const CPoint box = BoxOrigin(r);
        const CRect boxRect(box.x, box.y, box.x + kBoxSize, box.y + kBoxSize);
        if (g->GetColor() == kNoColour) lm::DrawRectangle(p, boxRect, 0x000000, 0xFFFFFF);
        else lm::FillRect(p, boxRect, g->GetColor());
        const int32_t level = GetRowLevel(r);
        if (m_treeMode && level > 0) {
            // Elbow from the nearest row above one level up.
            int32_t up = r - 1;
            while (up >= 0 && GetRowLevel(up) != level - 1) --up;
            const int32_t x = m_left + level * kIndent - 10;
            const int32_t yFrom = (up >= 0 ? m_top + up * m_rowHeight : m_top) + 16;
            const int32_t yTo = m_top + r * m_rowHeight + 8;
            p.setPen(QPen(QColor(0, 0, 0), 1));
            p.drawLine(x, yFrom, x, yTo);
            p.drawLine(x, yTo, m_left + level * kIndent - 1, yTo);
        }
        const CPoint at = GetRowOrigin(r);
        const bool selected = size_t(r) < m_selected.size() && m_selected[size_t(r)];
        const QString name = QString::fromStdString(g->GetDisplayName(true));
        const QRect textBox(at.x, at.y, p.fontMetrics().horizontalAdvance(name) + 2, m_rowHeight);
        p.fillRect(textBox, lm::ToQColor(selected ? kSelectedBack : 0xFFFFFF));
        p.setPen(QColor(0, 0, 0));
        p.drawText(textBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name);
    }
}
