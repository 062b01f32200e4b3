// The plain tab sheet: sixteen pages at most, page 0 first, a click on a tab
// shows its page and hides the one before.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include "dialogs/TabSheet.h"
#include "tests/report/ReportTestUtil.h"

namespace {

TEST(TabSheetTest, HoldsSixteenPagesShowsTheFirstAndFollowsClicks) {
    rtest::EnsureApp();
    CTabSheet sheet;
    sheet.resize(400, 300);
    std::vector<QWidget*> pages;
    for (int i = 0; i < 16; ++i) {
        pages.push_back(new QWidget);
        ASSERT_TRUE(sheet.AddPage(QStringLiteral("P%1").arg(i), pages.back(), 100 + i));
    }
    QWidget extra;
    EXPECT_FALSE(sheet.AddPage("P16", &extra, 116));  // the 17th
    EXPECT_FALSE(sheet.AddPage("null", nullptr, 1));
    EXPECT_EQ(sheet.GetPageCount(), 16);
    EXPECT_EQ(extra.parent(), nullptr);
    sheet.Init();
    sheet.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(sheet.GetTabBar()->count(), 16);
    EXPECT_EQ(sheet.GetResId(15), 115);
    EXPECT_TRUE(pages[0]->isVisible());
    for (int i = 1; i < 16; ++i) EXPECT_FALSE(pages[size_t(i)]->isVisible()) << i;
    // A click on the third tab.
    QTabBar* bar = sheet.GetTabBar();
    const QPoint at = bar->tabRect(2).center();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(bar->mapToGlobal(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(bar->mapToGlobal(at)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &release);
    EXPECT_EQ(sheet.GetCurSel(), 2);
    EXPECT_TRUE(pages[2]->isVisible());
    EXPECT_FALSE(pages[0]->isVisible());
    // Pages lie under the tabs, inside the sheet.
    EXPECT_GT(pages[2]->geometry().top(), bar->geometry().bottom());
    EXPECT_LE(pages[2]->geometry().right(), sheet.width() - 2);
    sheet.SetCurSel(16);  // no such page
    EXPECT_EQ(sheet.GetCurSel(), 2);
}

}  // namespace
