// The property panel in the real main window, driven the way a user drives
// it: it stays on the plot being worked on, follows a kind chosen from the
// plot's own menu and the last overlay going, and every control of every
// page can be reached at the dock's default size.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QLineEdit>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "dialogs/DotPropPage.h"
#include "dialogs/GateListBox.h"
#include "dialogs/ObjStyleDlg.h"
#include "dialogs/OverlapPropPage.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/StatMatrix.h"
#include "dialogs/StatPropPage.h"
#include "dialogs/TabCtrlWithDisable.h"
#include "report/app/ChildFrame.h"
#include "report/app/CommandIds.h"
#include "report/app/ControlIds.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/ResultTable.h"
#include "report/page/TrackStates.h"
#include "report/plot/Plot.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/support/FcsWriter.h"

namespace {

using P = CObjStyleDlg;

// A left click at a widget's point: on a check box near its left edge (its
// box), on anything else in its middle.
void Click(QWidget* w) {
    const QPoint at = qobject_cast<QCheckBox*>(w) ? QPoint(8, w->height() / 2) : w->rect().center();
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                      t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    }
}

class PropertyPanelFrameTest : public rtest::ProgramTest {
protected:
    void Start(int params = 2) {
        ASSERT_TRUE(app->InitInstance({}));
        doc = app->GetDocuments().front().get();
        view = app->GetMainFrame()->GetActiveReportView();
        ASSERT_NE(view, nullptr);
        d = std::make_unique<vin::Driver>(view);
        plot = view->NewPlotAt(20, 20, 0, 1, WriteFcs("a.fcs", params));
        ASSERT_NE(plot, nullptr);
        shell = plot->GetShell();
        panel = dynamic_cast<CObjStyleDlg*>(GetPropertyPanel());
        ASSERT_NE(panel, nullptr);
    }
    // params parameters, events on a grid over the first two.
    std::string WriteFcs(const std::string& name, int params) const {
        lmtest::FcsWriter w;
        for (int p = 0; p < params; ++p) w.Param("P" + std::to_string(p), 32, "1000");
        for (int x = 0; x <= 1000; x += 50)
            for (int y = 0; y <= 1000; y += 50) {
                std::vector<double> e(size_t(params), 10.0);
                e[0] = x;
                e[1] = y;
                w.Event(e);
            }
        return dir.Write(name, w.Build());
    }
    CPLOT* AddPlot(const CRect& r, CGateNode* gate) {
        return static_cast<CPLOT*>(doc->AddObject(std::make_unique<CPLOT>(r, gate, doc, 0, 1)));
    }
    static CPoint AreaPoint(const CPLOT& p, double fx, double fy) {
        const CRect a = p.GetPlotArea();
        return CPoint(a.left + int32_t(fx * a.Width()), a.bottom - int32_t(fy * a.Height()));
    }
    void Settle() { QCoreApplication::processEvents(); }

    CLumitraDoc* doc = nullptr;
    CLumitraView* view = nullptr;
    std::unique_ptr<vin::Driver> d;
    CPLOT* plot = nullptr;
    VexaDataShell* shell = nullptr;
    CObjStyleDlg* panel = nullptr;
};

TEST_F(PropertyPanelFrameTest, DraggingAQuadrantCentreKeepsThePanelOnThePlotWorkedOn) {
    Start();
    CGateNode* q =
        shell->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f), 0, "Q");
    ASSERT_NE(q, nullptr);
    plot->ShowRegion(q->GetRegion());
    CPLOT* part = AddPlot(CRect(400, 20, 650, 270), q);
    d->Click(plot->GetTitleRect().CenterPoint());
    ASSERT_EQ(doc->GetActiveObject(), plot);
    ASSERT_EQ(panel->GetObject(), plot);

    d->Drag(AreaPoint(*plot, 0.5, 0.5), AreaPoint(*plot, 0.3, 0.3));
    Settle();
    RgnPoint centre{};
    float arms[4] = {};
    static_cast<CrQuadrant*>(q->GetRegion())->GetGeometry(&centre, &arms[0], &arms[1], &arms[2], &arms[3]);
    ASSERT_NEAR(centre.x, 0.3, 0.01);  // the quadrant did follow
    EXPECT_EQ(panel->GetObject(), plot);
    EXPECT_EQ(panel->DotPage()->GetPlot(), plot);
    // What is typed goes to the plot worked on, not to the other one.
    const int32_t partLimit = part->GetMaxDotEvents();
    dlgtest::Type(dlgtest::Control<QLineEdit>(panel->DotPage(), CDotPropPage::kEvents), "123");
    EXPECT_EQ(plot->GetMaxDotEvents(), 123);
    EXPECT_EQ(part->GetMaxDotEvents(), partLimit);
}

TEST_F(PropertyPanelFrameTest, AKindChosenFromThePlotMenuMovesThePanelToItsPage) {
    Start();
    d->Click(plot->GetTitleRect().CenterPoint());
    ASSERT_EQ(panel->GetObject(), plot);
    ASSERT_EQ(panel->PlotTabs()->currentIndex(), P::kTabDot);
    doc->SetModifiedFlag(false);

    lm::ScriptedUiServices& menus = ui;
    menus.QueueMenuChoice(kPlotCmdKindHistogram);
    d->RightClick(AreaPoint(*plot, 0.5, 0.5));
    Settle();
    ASSERT_TRUE(plot->IsHistogram());
    EXPECT_TRUE(panel->KindBox(P::kChkHistogram)->isChecked());
    EXPECT_FALSE(panel->KindBox(P::kChkDot)->isChecked());
    EXPECT_EQ(panel->PlotTabs()->currentIndex(), P::kTabHist);
    EXPECT_TRUE(panel->PlotTabs()->IsTabEnabled(P::kTabHist));
    EXPECT_FALSE(panel->PlotTabs()->IsTabEnabled(P::kTabDot));
    EXPECT_EQ(panel->DotPage()->GetPlot(), nullptr);
    EXPECT_TRUE(doc->IsModified());  // the kind is saved with the plot
}

TEST_F(PropertyPanelFrameTest, TheKindBoxesComeBackWhenTheLastOverlayGoes) {
    Start();
    const struct {
        const char* how;
        bool closeDataSet;
    } cases[] = {{"Overlap row double-clicked", false}, {"its data set closed", true}};
    for (const auto& c : cases) {
        VexaDataShell* other = doc->OpenDataFile(WriteFcs(std::string("o") + (c.closeDataSet ? "1" : "2") + ".fcs", 2), 0);
        ASSERT_NE(other, nullptr) << c.how;
        CPLOT* source = AddPlot(CRect(400, 20, 650, 270), other->GetRoot());
        plot->AddOverlayFrom(source);
        d->Click(plot->GetTitleRect().CenterPoint());
        Settle();
        ASSERT_EQ(panel->GetObject(), plot) << c.how;
        ASSERT_FALSE(panel->KindBox(P::kChkHistogram)->isEnabled()) << c.how;
        if (c.closeDataSet) {
            doc->RemoveDataShell(other);
        } else {
            COverlapList* list = panel->OverlapPage()->List();
            ASSERT_EQ(list->count(), 1) << c.how;
            emit list->itemDoubleClicked(list->item(0));
            doc->RemoveDataShell(other);
        }
        Settle();
        ASSERT_TRUE(plot->GetOverlayLayers().empty()) << c.how;
        for (int32_t id : {P::kChkDot, P::kChkDensity, P::kChkContour, P::kChkHistogram})
            EXPECT_TRUE(panel->KindBox(id)->isEnabled()) << c.how << " " << id;
        // And they work: the plot becomes a histogram.
        Click(panel->KindBox(P::kChkHistogram));
        EXPECT_TRUE(plot->IsHistogram()) << c.how;
        plot->SetPlotType(kPlotFlagDots);
        panel->SetObject(plot);
    }
}

// Switching report windows, the panel shows what the window switched to has
// selected: never empty beside a selected plot, never another window's plot.
TEST_F(PropertyPanelFrameTest, ThePanelFollowsTheSelectionOfTheWindowSwitchedTo) {
    Start();
    d->Click(plot->GetTitleRect().CenterPoint());
    ASSERT_EQ(panel->GetObject(), plot);
    CMainFrame* frame = app->GetMainFrame();
    CLumitraDoc* second = app->OnFileNew();
    ASSERT_NE(second, nullptr);
    Settle();
    CLumitraView* secondView = frame->GetActiveReportView();
    ASSERT_EQ(secondView->GetDocument(), second);
    EXPECT_EQ(panel->GetObject(), nullptr);  // nothing selected in the new window
    CPLOT* secondPlot = secondView->NewPlotAt(20, 20, 0, 1, WriteFcs("b.fcs", 2));
    ASSERT_NE(secondPlot, nullptr);
    vin::Driver(secondView).Click(CPoint(700, 700));  // empty paper: nothing selected
    Settle();
    ASSERT_EQ(second->GetActiveObject(), nullptr);
    ASSERT_EQ(panel->GetObject(), nullptr);

    auto activate = [&](CLumitraDoc* which) {
        for (CChildFrame* child : frame->GetChildFrames())
            if (child->GetDocument() == which) child->mdiArea()->setActiveSubWindow(child);
        Settle();
    };
    activate(doc);
    ASSERT_EQ(doc->GetActiveObject(), plot);  // shown selected
    EXPECT_EQ(panel->GetObject(), plot);
    EXPECT_EQ(panel->DotPage()->GetPlot(), plot);
    activate(second);
    EXPECT_EQ(panel->GetObject(), nullptr);  // not the other window's plot
    vin::Driver(secondView).Click(secondPlot->GetTitleRect().CenterPoint());
    Settle();
    ASSERT_EQ(panel->GetObject(), secondPlot);
    activate(doc);
    EXPECT_EQ(panel->GetObject(), plot);
    activate(second);
    EXPECT_EQ(panel->GetObject(), secondPlot);
}

// What the user sees of w, in main-window coordinates, with the panel's own
// scroll area left where it is (the user is not to scroll the dock to reach
// a control): only a scroll area inside a page (the Stat page's matrix) is
// moved to w. The part of w inside every widget it lies in, up to the
// window. A control is reachable when all of it is seen.
QRect SeenPart(CObjStyleDlg* panel, QWidget* w) {
    QWidget* window = panel->window();
    for (QWidget* up = w->parentWidget(); up && up != window; up = up->parentWidget())
        if (auto* inner = qobject_cast<QScrollArea*>(up); inner && inner != panel->ScrollArea())
            inner->ensureWidgetVisible(w, 0, 0);
    QCoreApplication::processEvents();
    auto inWindow = [window](QWidget* x) { return QRect(x->mapTo(window, QPoint(0, 0)), x->size()); };
    QRect seen = inWindow(w).intersected(window->rect());
    for (QWidget* up = w->parentWidget(); up && up != window; up = up->parentWidget())
        seen = seen.intersected(inWindow(up));
    return seen;
}

bool IsControl(QWidget* w) {
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) ||
           qobject_cast<QAbstractItemView*>(w);
}

// The program at its default window size with every panel shown (the
// Database and the Info Assistant too): every control of every page of the
// property panel lies in the dock's viewport without the dock scrolled (the
// Stat page's matrix rows are scrolled to in the page's own scroll area) and
// can be used, for data sets of 8, 12
// and 19 parameters (the Stat page grows with them), and the Stat page's
// Apply, reached and clicked, changes the table.
TEST_F(PropertyPanelFrameTest, EveryControlOfEveryPageLiesInTheDocksViewportWithEveryPanelShown) {
    Start();
    CMainFrame* frame = app->GetMainFrame();
    for (int32_t flag : {kPaneFileList, kPaneProperty, kPaneDatabase, kPaneNavigate}) frame->SetPaneFlag(flag, true);
    frame->ShowPanels();
    frame->ShowInfoAssistant(doc);
    frame->resize(1100, 800);
    frame->show();
    Settle();
    // The panels fit the default window: it did not have to grow.
    EXPECT_EQ(frame->size(), QSize(1100, 800));
    for (int32_t slot : {kPanelFileList, kPanelProperty, kPanelNavigate, kPanelInfoAssistant})
        ASSERT_TRUE(frame->GetPanelDock(slot)->isVisible()) << slot;
    QDockWidget* database = frame->findChild<QDockWidget*>(QStringLiteral("panelDatabase"));
    ASSERT_NE(database, nullptr);
    ASSERT_TRUE(database->isVisible());
    QDockWidget* dock = frame->GetPanelDock(kPanelProperty);
    EXPECT_TRUE(frame->rect().contains(QRect(dock->mapTo(frame, QPoint(0, 0)), dock->size()))) << "dock off the window";

    int y = 20;
    for (int params : {8, 12, 19}) {
        SCOPED_TRACE(testing::Message() << params << " parameters");
        CPLOT* p = view->NewPlotAt(20, y, 0, 1, WriteFcs("p" + std::to_string(params) + ".fcs", params));
        ASSERT_NE(p, nullptr);
        y += 300;
        d->Click(p->GetTitleRect().CenterPoint());
        ui.QueueMenuChoice(kPlotCmdResult);
        d->RightClick(AreaPoint(*p, 0.5, 0.5));
        CTrkResult* table = nullptr;
        for (const auto& o : doc->GetObjects())
            if (auto* t = dynamic_cast<CTrkResult*>(o.get()); t && t->GetShell() == p->GetShell()) table = t;
        ASSERT_NE(table, nullptr);
        d->Click(CPoint(table->GetRect().left + 5, table->GetRect().top + 5));
        Settle();
        ASSERT_EQ(panel->GetObject(), table);

        for (int32_t index : {0, 1}) {
            panel->ResultTabs()->setCurrentIndex(index);
            Settle();
            for (QWidget* w : panel->ResultTabs()->widget(index)->findChildren<QWidget*>()) {
                if (!IsControl(w) || !w->isVisible()) continue;
                EXPECT_EQ(SeenPart(panel, w).size(), w->size())
                    << "result page " << index << " " << w->metaObject()->className() << " "
                    << w->property("controlId").toInt();
            }
        }
        // The Stat page's Apply, brought into view and clicked: the table
        // takes the ticked column and the report is marked.
        panel->ResultTabs()->setCurrentIndex(1);
        QCheckBox* event = dlgtest::Control<QCheckBox>(panel->StatPage(), kStatPageEvent);
        ASSERT_EQ(SeenPart(panel, event).size(), event->size());
        Click(event);
        QCheckBox* last = panel->StatPage()->Matrix()->Box(params - 1, CStatMatrix::kColumns - 1);
        ASSERT_NE(last, nullptr);
        ASSERT_EQ(SeenPart(panel, last).size(), last->size());
        Click(last);
        auto* apply = dlgtest::Control<QPushButton>(panel->StatPage(), kStatPageApply);
        ASSERT_EQ(SeenPart(panel, apply).size(), apply->size());
        // Reached without the dock's own scroll bars moved.
        ASSERT_EQ(panel->ScrollArea()->verticalScrollBar()->value(), 0);
        ASSERT_EQ(panel->ScrollArea()->horizontalScrollBar()->value(), 0);
        doc->SetModifiedFlag(false);
        Click(apply);
        EXPECT_EQ(table->GetCodes().size(), 3u);
        EXPECT_TRUE(doc->IsModified());

        // The plot's pages the same way.
        d->Click(p->GetTitleRect().CenterPoint());
        Settle();
        ASSERT_EQ(panel->GetObject(), p);
        for (int32_t kind : {kPlotFlagDots, kPlotFlagHistogram}) {
            p->SetPlotType(kind);
            panel->SetObject(p);
            for (int32_t index : {kind == kPlotFlagDots ? P::kTabDot : P::kTabHist, P::kTabOverlap}) {
                panel->PlotTabs()->setCurrentIndex(index);
                Settle();
                for (QWidget* w : panel->PlotTabs()->widget(index)->findChildren<QWidget*>()) {
                    if (!IsControl(w) || !w->isVisible()) continue;
                    EXPECT_EQ(SeenPart(panel, w).size(), w->size()) << kind << " " << index;
                }
            }
            for (int32_t id : {P::kChkDot, P::kChkHistogram})
                EXPECT_EQ(SeenPart(panel, panel->KindBox(id)).size(), panel->KindBox(id)->size());
        }
    }
}

}  // namespace
