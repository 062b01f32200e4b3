// Plots made by commands that give no place of their own ("New Plot" of the
// Navigate panel's tree) land where they cover nothing already on the page.
#include <gtest/gtest.h>

#include <QApplication>

#include "core/DataShell.h"
#include "dialogs/DataTree.h"
#include "dialogs/NavigateDlg.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/ResultTable.h"
#include "report/page/TrkKinds.h"
#include "report/plot/Plot.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"

namespace {

class NewPlotPlaceTest : public rtest::ProgramTest {
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

TEST_F(NewPlotPlaceTest, NavigateNewPlotDoesNotLandOnTheResultTable) {
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

TEST_F(NewPlotPlaceTest, ThePlotListHeadersAreSpeltRight) {
    QTreeWidgetItem* header = nav->GetPlotList()->headerItem();
    EXPECT_EQ(header->text(0), "X label");
    EXPECT_EQ(header->text(1), "Y label");
}

}  // namespace
