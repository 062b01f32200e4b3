#pragma once
// A plain holder of up to 16 pages on tabs: pages are added first, then Init
// puts up the tabs and shows page 0; a click on a tab shows its page.
#include <QString>
#include <QTabBar>
#include <QWidget>

#include <array>
#include <cstdint>

class CTabSheet : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxPages = 16;

    explicit CTabSheet(QWidget* parent = nullptr);

    // Stores a page (reparented to the sheet, hidden); false, with nothing
    // stored, when 16 pages are held or page is null.
    bool AddPage(const QString& title, QWidget* page, int32_t resId);
    // Puts up one tab per stored page and shows page 0.
    void Init();
    // Shows page index (outside 0 .. count - 1: nothing) and selects its tab.
    void SetCurSel(int index);
    int GetCurSel() const { return m_nCurrent; }
    int GetPageCount() const { return m_nPages; }
    QWidget* GetPage(int index) const { return index >= 0 && index < m_nPages ? m_pages[size_t(index)] : nullptr; }
    int32_t GetResId(int index) const { return index >= 0 && index < m_nPages ? m_resIds[size_t(index)] : 0; }
    QTabBar* GetTabBar() const { return m_tabs; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void LayoutPages();

    std::array<QString, kMaxPages> m_titles;
    std::array<int32_t, kMaxPages> m_resIds{};
    std::array<QWidget*, kMaxPages> m_pages{};
    int m_nPages = 0;
    int m_nCurrent = 0;
    QTabBar* m_tabs = nullptr;
};
