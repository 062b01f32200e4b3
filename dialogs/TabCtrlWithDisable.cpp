#include "dialogs/TabCtrlWithDisable.h"

CTabCtrlWithDisable::CTabCtrlWithDisable(QWidget* parent) : QTabWidget(parent) {}

bool CTabCtrlWithDisable::AddPage(QWidget* page, const QString& title) {
    if (!page || count() >= kMaxPages) return false;
    const int index = addTab(page, title);
    setTabEnabled(index, false);
    return true;
}

void CTabCtrlWithDisable::EnableTab(int32_t index, bool enable) {
    if (index >= 0 && index < count()) setTabEnabled(index, enable);
}

bool CTabCtrlWithDisable::IsTabEnabled(int32_t index) const {
    return index >= 0 && index < count() && isTabEnabled(index);
}

int32_t CTabCtrlWithDisable::ShowPage(int32_t index) {
    if (!IsTabEnabled(index)) return -1;
    const int32_t previous = currentIndex();
    setCurrentIndex(index);
    return previous;
}

int32_t CTabCtrlWithDisable::NextEnabledTab(int32_t index, bool wrap) const {
    const int32_t n = count();
    for (int32_t step = 1; step <= n; ++step) {
        int32_t i = index + step;
        if (i >= n) {
            if (!wrap) return -1;
            i -= n;
        }
        if (IsTabEnabled(i)) return i;
    }
    return -1;
}

int32_t CTabCtrlWithDisable::PrevEnabledTab(int32_t index, bool wrap) const {
    const int32_t n = count();
    for (int32_t step = 1; step <= n; ++step) {
        int32_t i = index - step;
        if (i < 0) {
            if (!wrap) return -1;
            i += n;
        }
        if (IsTabEnabled(i)) return i;
    }
    return -1;
}
