#pragma once
// A check list of gates with colour swatches whose rows can be reordered by
// dragging (row 0 stays first), scrolling on its own while the pointer is
// held above or below it. The plot pages list a plot's gate layers with it:
// row i is layer i, so a move reports the row's final index. The overlap
// list shows a plot's overlays the same way but keeps its order.
#include <QBasicTimer>
#include <QListWidget>

#include <cstdint>
#include <vector>

#include "base/Geometry.h"

class CGateListBox : public QListWidget {
    Q_OBJECT

public:
    // Auto-scroll timers: 100 moves the mark down, 101 up.
    enum ScrollTimer : int32_t { kTimerDown = 100, kTimerUp = 101 };
    static constexpr int kBaseIntervalMs = 250;

    explicit CGateListBox(QWidget* parent = nullptr);
    ~CGateListBox() override;

    // Appends a checked row with a swatch of colour.
    void AddGate(COLORREF colour, const QString& text);
    void ResetContent();
    COLORREF GetRowColor(int row) const;
    int32_t GetDragFrom() const { return m_nDragFrom; }
    int32_t GetDropAt() const { return m_nDropAt; }
    bool IsDragging() const { return m_bDragging; }
    int32_t GetScrollInterval() const { return m_nScrollInterval; }
    // Which timer runs (kTimerDown, kTimerUp), 0 when none.
    int32_t GetScrollTimer() const { return m_scrollTimerId; }
    // Runs one step of the auto-scroll (what the timer does).
    void ScrollStep(int32_t timer);
    int RowHeight() const;

signals:
    // A row moved from `from` to its final index `to`.
    void GateMoved(int from, int to);

protected:
    // Whether rows may be dragged (the overlap list keeps its order).
    virtual bool CanReorder() const { return true; }
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void StopScroll();
    void StartScroll(int32_t timer, int32_t interval);
    void MoveRow(int from, int dropAt);

    std::vector<COLORREF> m_colors;
    QPoint m_pressAt;  // where the press that may become a drag was
    int32_t m_nDragFrom = -1;
    int32_t m_nDropAt = -1;
    bool m_bDragging = false;
    int32_t m_nScrollInterval = 0;
    int32_t m_scrollTimerId = 0;
    QBasicTimer m_timer;
};

// The overlays of a plot: drawn as the gate list, never reordered.
class COverlapList : public CGateListBox {
    Q_OBJECT

public:
    using CGateListBox::CGateListBox;

protected:
    bool CanReorder() const override { return false; }
};
