// The page menu's commands reached as a user reaches them: a right click on
// empty page, the item chosen, the dialog it opens answered.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/TrkKinds.h"
#include "report/plot/PlotIds.h"
#include "tests/report/ViewEvents.h"
#include "tests/report/ViewTestUtil.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

class ViewMenusTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(800, 600); }
    // "Grid..." at a page point, the dialog answered with rows x cols.
    CTrkObj* GridAt(CPoint page, const char* rows, const char* cols) {
        ui.QueueMenuChoice(kPageCmdNewGrid);
        ui.QueueDialog([=](QDialog* dialog) {
            dialog->findChild<QLineEdit*>("rows")->setText(rows);
            dialog->findChild<QLineEdit*>("cols")->setText(cols);
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            return dialog->result() == QDialog::Accepted ? lm::kDialogAccepted : lm::kDialogRejected;
        });
        const int32_t before = doc->GetObjectCount();
        d->RightClick(page);
        return doc->GetObjectCount() == before + 1 ? doc->GetActiveObject() : nullptr;
    }
};

TEST_F(ViewMenusTest, GridIsMadeAtThePointRightClickedAtAnyZoomAndScroll) {
    // zoom, scroll, point clicked
    const struct {
        float zoom;
        QPoint scroll;
        CPoint at;
    } cases[] = {
        {1.0f, {0, 0}, {300, 350}},
        {2.0f, {100, 200}, {300, 350}},   // the click converts through zoom and scroll
        {0.5f, {0, 0}, {700, 1600}},      // far down the second page
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(view->SetZoom(c.zoom));
        d->ScrollTo(c.scroll.x(), c.scroll.y());
        doc->SetModifiedFlag(false);
        CTrkObj* grid = GridAt(c.at, "2", "3");
        ASSERT_NE(grid, nullptr) << c.zoom;
        EXPECT_EQ(grid->GetType(), kObjGrid);
        EXPECT_EQ(CPoint(grid->GetRect().left, grid->GetRect().top), c.at) << c.zoom;
        EXPECT_TRUE(doc->IsModified());
        doc->RemoveObject(grid, true);
    }
}

}  // namespace
