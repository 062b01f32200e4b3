// Gate dragging in the whole program: the main frame owns the manager, its
// report views register as they are made and leave when they close, and a
// drag that ends without a drop is reported to the frame.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStatusBar>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "report/app/CtrlStatusBar.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/Plot.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/report/app/DragTestUtil.h"

namespace {

using namespace dragtest;

class MainFrameDragTest : public rtest::ProgramTest {
protected:
    void Start() {
        ASSERT_TRUE(app->InitInstance({}));
        frame = app->GetMainFrame();
        doc = app->GetDocuments().front().get();
        view = frame->GetActiveReportView();
        ASSERT_NE(view, nullptr);
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
        gate = plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "CD8+");
        // A gate panel stand-in beside the frame.
        source = std::make_unique<GateSource>();
        source->gate = gate;
        source->setGeometry(frame->geometry().right() + 20, 10, 150, 150);
        source->show();
        frame->GetDragDropMgr().AddWindow(source.get(), kDragSource);
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        source.reset();
        rtest::ProgramTest::TearDown();
    }
    void DragTo(QWidget* over, QPoint client) {
        const QPoint from = source->mapToGlobal(QPoint(20, 20));
        Press(source.get(), from);
        Move(source.get(), from + QPoint(frame->GetDragDropMgr().GetDragDistance(), 0));
        Move(source.get(), over->mapToGlobal(client));
        Release(source.get(), over->mapToGlobal(client));
    }

    CMainFrame* frame = nullptr;
    CLumitraDoc* doc = nullptr;
    CLumitraView* view = nullptr;
    VexaDataShell* shell = nullptr;
    CGateNode* gate = nullptr;
    std::unique_ptr<GateSource> source;
};

TEST_F(MainFrameDragTest, EveryReportViewRegistersWithTheFramesManagerAndLeavesWhenClosed) {
    Start();
    CDragDropMgr& mgr = frame->GetDragDropMgr();
    EXPECT_EQ(CDragDropMgr::Routed(), &mgr);
    EXPECT_EQ(mgr.GetOwner(), frame);
    EXPECT_EQ(mgr.GetFlags(view), uint32_t(kDragSourceAndTarget));
    const size_t before = mgr.GetWindowCount();
    CLumitraDoc* second = app->OnFileNew();
    ASSERT_NE(second, nullptr);
    CLumitraView* secondView = frame->GetActiveReportView();
    ASSERT_NE(secondView, view);
    EXPECT_EQ(mgr.GetFlags(secondView), uint32_t(kDragSourceAndTarget));
    EXPECT_EQ(mgr.GetWindowCount(), before + 1);
    app->CloseDocument(second);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(mgr.GetWindowCount(), before);
}

TEST_F(MainFrameDragTest, AGateDroppedOnThePageBecomesAPlotThere) {
    Start();
    DragTo(view->viewport(), view->LogicalToClient(CPoint(80, 60)));
    ASSERT_EQ(doc->GetObjectCount(), 1);
    auto* plot = dynamic_cast<CPLOT*>(doc->GetObjects()[0].get());
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->GetGate(), gate);
    EXPECT_EQ(plot->GetRect().TopLeft(), CPoint(80, 60));
    EXPECT_EQ(frame->GetDragDropMgr().GetState(), kDragIdle);
}

TEST_F(MainFrameDragTest, AReleaseOutsideAnyViewIsReportedToTheFrame) {
    Start();
    Spy spy;
    int aborts = 0;
    EventCounter counter(frame, DragMessages().abort, &aborts);
    DragTo(frame->statusBar(), QPoint(10, 5));
    EXPECT_EQ(aborts, 1);
    EXPECT_EQ(spy.Count(DragMessages().drop), 0);
    EXPECT_EQ(doc->GetObjectCount(), 0);
    EXPECT_EQ(OverrideShape(), -1);
}

TEST_F(MainFrameDragTest, AGateOfAnotherDocumentIsRefusedWithAMessage) {
    Start();
    CLumitraDoc* second = app->OnFileNew();
    CLumitraView* secondView = frame->GetActiveReportView();
    secondView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    secondView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QCoreApplication::processEvents();
    const size_t boxes = ui.Calls().size();
    // The gate is the first document's; the page is the second's.
    DragTo(secondView->viewport(), secondView->LogicalToClient(CPoint(50, 50)));
    EXPECT_EQ(second->GetObjectCount(), 0);
    EXPECT_EQ(doc->GetObjectCount(), 0);
    ASSERT_EQ(ui.Calls().size(), boxes + 1);
    EXPECT_EQ(ui.Calls().back().kind, lm::ScriptedUiServices::Kind::MessageBox);
    // Closing the first document leaves nothing of its gate in the second.
    app->CloseDocument(doc);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(second->GetObjectCount(), 0);
}

}  // namespace
