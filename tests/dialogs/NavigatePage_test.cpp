// The Navigate panel and the page together: plots its commands make land where
// they cover nothing, and the page answers the first click after the panel.
#include <gtest/gtest.h>

#include <QApplication>

#include "core/DataShell.h"
#include "dialogs/DataTree.h"
#include "dialogs/NavigateDlg.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/ResultTable.h"
#include "report/page/TrkKinds.h"
#include "report/plot/Plot.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"

namespace {

class NavigatePageTest : public rtest::ProgramTest {
protected:
    void SetUp() override {
        rtest::ProgramTest::SetUp();
        ASSERT_TRUE(app->InitInstance({}));
        frame = app->GetMainFrame();
        doc = app->GetDocuments().front().get();
        shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "A", "a.fcs"));
        gate = plottest::AddRectGate(*shell, 0.125f, 0.125f, 0.625f, 0.625f, 0, "R1");
        nav = frame->GetNavigatePanel();
        frame->RebuildNavigate(doc);
        frame->show();
        QCoreApplication::processEvents();
    }

    CMainFrame* frame = nullptr;
    CLumitraDoc* doc = nullptr;
    VexaDataShell* shell = nullptr;
    CGateNode* gate = nullptr;
    CNavigateDlg* nav = nullptr;
};

TEST_F(NavigatePageTest, NavigateNewPlotDoesNotLandOnTheResultTable) {
    // menu item, tree item of the command
    struct Case {
        int32_t command;
        bool onGate;
    };
    for (const Case c : {Case{kNavNewPlotDataSet, false}, Case{kNavNewPlotGate, true}}) {
        while (doc->GetObjectCount() > 0) doc->RemoveObject(doc->GetObjectAt(0), true);
        // A result table where the pilot points: the user moved it there.
        CreateResultUnderPlot(doc, shell, CPoint(5, 5));
        ASSERT_EQ(doc->GetObjectCount(), 1);
        const CRect table = doc->GetObjectAt(0)->GetRect();
        doc->SetPilot(CPoint(20, 10));
        doc->SetModifiedFlag(false);

        CDataTree* tree = nav->GetTree();
        QTreeWidgetItem* item = c.onGate ? tree->FindGateItem(gate) : tree->FindDataSetItem(shell);
        ASSERT_NE(item, nullptr);
        tree->setCurrentItem(item);
        ui.QueueMenuChoice(c.command);
        nav->OnTreeRightClick(tree->visualItemRect(item).center());

        ASSERT_EQ(doc->GetObjectCount(), 2) << c.command;
        CTrkObj* plot = doc->GetActiveObject();
        ASSERT_NE(plot, nullptr);
        EXPECT_EQ(plot->GetType(), kObjPlot);
        CRect meet;
        EXPECT_FALSE(meet.IntersectRect(plot->GetRect(), table)) << c.command;
        // Near the wish: just beside or below the table, not somewhere far off.
        const CRect r = plot->GetRect();
        EXPECT_TRUE(r.top == table.bottom + kPilotGap || r.left == table.right + kPilotGap)
            << c.command << ": " << r.left << "," << r.top;
        EXPECT_TRUE(doc->IsModified());
    }
}

TEST_F(NavigatePageTest, TheFirstClickOnThePageAfterThePanelIsNotLost) {
    CLumitraView* view = frame->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    vin::Driver d(view);
    CTrkObj* a = doc->InsertNewObject(std::make_unique<CPLOT>(CRect(10, 10, 260, 260), gate, doc, 0, 1));
    CTrkObj* b = doc->InsertNewObject(std::make_unique<CPLOT>(CRect(300, 10, 550, 260), gate, doc, 0, 1));
    QTreeWidgetItem* item = nav->GetTree()->FindGateItem(gate);
    const QPoint itemAt = nav->GetTree()->visualItemRect(item).center();

    // A plot clicked on the page, then "Select Plots" of its gate: both are
    // selected, none active. One click on empty page lets them go.
    d.Click(CPoint(100, 100));
    ASSERT_EQ(doc->GetActiveObject(), a);
    nav->GetTree()->setCurrentItem(item);
    ui.QueueMenuChoice(kNavSelectPlots);
    nav->OnTreeRightClick(itemAt);
    ASSERT_EQ(doc->GetSelection().size(), 2u);
    d.Click(CPoint(700, 600));
    EXPECT_TRUE(doc->GetSelection().empty());
    // The next one on a plot makes it active.
    d.Click(CPoint(400, 100));
    EXPECT_EQ(doc->GetActiveObject(), b);

    // A plot picked in the panel's plot list: a right click beside it on the
    // page gives the page menu at once.
    doc->SetActiveObject(nullptr);
    d.Click(CPoint(700, 600));
    nav->GetPlotList()->setCurrentItem(nav->GetPlotList()->topLevelItem(0));
    emit nav->GetPlotList()->itemDoubleClicked(nav->GetPlotList()->topLevelItem(0), 0);
    ASSERT_NE(doc->GetActiveObject(), nullptr);
    ui.Clear();
    ui.QueueMenuChoice(kPageCmdSetPilot);
    d.RightClick(CPoint(700, 600));
    EXPECT_EQ(ui.Count(lm::ScriptedUiServices::Kind::PopupMenu), 1);
    EXPECT_EQ(doc->GetActiveObject(), nullptr);
    EXPECT_EQ(doc->GetPilot(), CPoint(700, 600));
}

TEST_F(NavigatePageTest, ThePlotListHeadersAreSpeltRight) {
    QTreeWidgetItem* header = nav->GetPlotList()->headerItem();
    EXPECT_EQ(header->text(0), "X label");
    EXPECT_EQ(header->text(1), "Y label");
}

}  // namespace
