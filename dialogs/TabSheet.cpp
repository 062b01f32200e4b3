#include "dialogs/TabSheet.h"

#include <QResizeEvent>

CTabSheet::CTabSheet(QWidget* parent) : QWidget(parent) {
    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    connect(m_tabs, &QTabBar::tabBarClicked, this, [this](int index) { SetCurSel(index); });
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) { SetCurSel(index); });
}

bool CTabSheet::AddPage(const QString& title, QWidget* page, int32_t resId) {
    if (!page || m_nPages >= kMaxPages) return false;
    m_titles[size_t(m_nPages)] = title;
    m_pages[size_t(m_nPages)] = page;
    m_resIds[size_t(m_nPages)] = resId;
    ++m_nPages;
    page->setParent(this);
    page->hide();
    return true;
}

void CTabSheet::Init() {
    const QSignalBlocker block(m_tabs);
    while (m_tabs->count() > 0) m_tabs->removeTab(0);
    for (int i = 0; i < m_nPages; ++i) m_tabs->addTab(m_titles[size_t(i)]);
    m_nCurrent = 0;
    for (int i = 0; i < m_nPages; ++i) m_pages[size_t(i)]->setVisible(i == 0);
    m_tabs->setCurrentIndex(0);
    LayoutPages();
}

void CTabSheet::SetCurSel(int index) {
    if (index < 0 || index >= m_nPages || index >= m_tabs->count()) return;
    if (index != m_nCurrent) m_pages[size_t(m_nCurrent)]->hide();
    m_nCurrent = index;
    {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(index);
    }
    m_pages[size_t(index)]->show();
}

void CTabSheet::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    LayoutPages();
}

void CTabSheet::LayoutPages() {
    const QSize bar = m_tabs->sizeHint();
    m_tabs->setGeometry(0, 0, width(), bar.height());
    // Pages sit under the tabs, 2 pixels in from the sheet's other edges.
    const int x = 0, y = bar.height() + 1;
    for (int i = 0; i < m_nPages; ++i)
        m_pages[size_t(i)]->setGeometry(x, y, std::max(0, width() - x - 2), std::max(0, height() - y - 2));
}
