#pragma once
// A tab control owning up to 16 pages whose single tabs can be disabled: a
// disabled tab is drawn greyed and cannot be selected. A new tab starts
// disabled until EnableTab.
#include <QTabWidget>

#include <cstdint>

class CTabCtrlWithDisable : public QTabWidget {
    Q_OBJECT

public:
    static constexpr int32_t kMaxPages = 16;

    explicit CTabCtrlWithDisable(QWidget* parent = nullptr);

    // Appends page under title; false when 16 pages exist (page untouched).
    bool AddPage(QWidget* page, const QString& title);
    void EnableTab(int32_t index, bool enable);
    bool IsTabEnabled(int32_t index) const;
    // Shows page index; the previous index, or -1 (nothing changed) for an
    // index out of range or a disabled tab.
    int32_t ShowPage(int32_t index);
    // The next (or previous) enabled index from index, -1 when none.
    int32_t NextEnabledTab(int32_t index, bool wrap) const;
    int32_t PrevEnabledTab(int32_t index, bool wrap) const;
};
