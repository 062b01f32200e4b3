#pragma once
// The gate-name column of a result table: the gates of one shell laid out as
// a flat list (the shell's order) or as an indented tree, one row each, with
// the gate's colour box and name. Every gate it is given has exactly one row
// in either layout: a combined gate whose operands never all appear in the
// tree is appended at level 1 rather than left out, so a table's gate rows
// and the view's rows always agree. It holds the gates, never owns them; its
// owner gives it a new list whenever the shell's gates change.
#include <cstdint>
#include <vector>

#include "base/Geometry.h"

class CGateNode;
class QPainter;

// What CGateView::HitTest found: a row (-2 for none) and the part of it
// (-1 the colour box, 0 the label, -2 left of the box, -3 nothing).
struct GateViewHit {
    int32_t row = -2;
    int32_t part = -3;
};

class CGateView {
public:
    static constexpr int32_t kIndent = 15;
    static constexpr int32_t kBoxSize = 12;

    CGateView() = default;
    virtual ~CGateView() = default;

    // New gates (index 0 the root); placed and selected flags are reset and
    // the tree order is worked out.
    void SetGates(const std::vector<CGateNode*>& gates);
    // Either switch clears the selection.
    void SetTreeMode(bool on);
    bool IsTreeMode() const { return m_treeMode; }
    void SetMultiSelect(bool on);

    void SetOrigin(int32_t left, int32_t top) { m_left = left; m_top = top; }
    int32_t GetLeft() const { return m_left; }
    int32_t GetTop() const { return m_top; }
    void SetRowHeight(int32_t h) { m_rowHeight = h > 0 ? h : 1; }
    int32_t GetRowHeight() const { return m_rowHeight; }

    int32_t GetRowCount() const { return int32_t(m_treeMode ? m_treeGates.size() : m_listGates.size()); }
    // Null outside 0 .. GetRowCount() - 1.
    CGateNode* GetRowGate(int32_t row) const;
    int32_t GetRowLevel(int32_t row) const;
    // Where a row's name starts.
    CPoint GetRowOrigin(int32_t row) const;

    // False when (x, y) lies in no row.
    bool SelectRowAt(int32_t x, int32_t y);
    GateViewHit HitTest(int32_t x, int32_t y) const;
    int32_t GetSelectedRow() const;
    CGateNode* GetSelectedGate() const;
    std::vector<CGateNode*> GetSelectedGates() const;

    void Draw(QPainter& p) const;

private:
    void SelectRow(int32_t row);
    void Place(CGateNode* gate, int32_t level);
    void TryWaiting(int32_t level);
    int32_t ListIndex(const CGateNode* gate) const;
    CPoint BoxOrigin(int32_t row) const;

    int32_t m_left = 0;
    int32_t m_top = 0;
    bool m_multiSelect = false;
    bool m_rootLocked = false;
    bool m_treeMode = true;
    int32_t m_rowHeight = 25;
    std::vector<CGateNode*> m_listGates;
    std::vector<CGateNode*> m_treeGates;
    std::vector<int32_t> m_levels;
    std::vector<uint8_t> m_placed;
    std::vector<uint8_t> m_selected;
    std::vector<CGateNode*> m_waiting;
};
