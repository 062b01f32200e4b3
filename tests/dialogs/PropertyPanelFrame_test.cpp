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
#include <QLineEdit>
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
#include "dialogs/StatPropPage.h"
#include "dialogs/TabCtrlWithDisable.h"
#include "report/app/CommandIds.h"
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

TEST_F(PropertyPanelFrameTest, EveryPageCanBeReachedAtTheDocksDefaultSizeAndStatApplyWorks) {
    Start(14);  // the Stat page grows with the parameters
    ui.QueueMenuChoice(kPlotCmdResult);
    d->Click(plot->GetTitleRect().CenterPoint());
    d->RightClick(AreaPoint(*plot, 0.5, 0.5));
    CTrkResult* table = nullptr;
    for (const auto& o : doc->GetObjects())
        if (auto* t = dynamic_cast<CTrkResult*>(o.get())) table = t;
    ASSERT_NE(table, nullptr);
    d->Click(CPoint(table->GetRect().left + 5, table->GetRect().top + 5));
    Settle();
    ASSERT_EQ(panel->GetObject(), table);

    // What the user sees: the part of each control the panel's viewport
    // shows once the scroll bars are moved to it.
    QScrollArea* area = panel->findChild<QScrollArea*>();
    auto reachable = [&](QWidget* w) {
        if (area) area->ensureWidgetVisible(w, 0, 0);
        Settle();
        const QRect shown = QRect(w->mapTo(panel, QPoint(0, 0)), w->size()).intersected(panel->rect());
        return shown.width() >= w->width() / 2 && shown.height() >= w->height() / 2;
    };
    const struct {
        CTabCtrlWithDisable* tabs;
        int32_t index;
    } pages[] = {{panel->ResultTabs(), 0}, {panel->ResultTabs(), 1}};
    for (const auto& pg : pages) {
        pg.tabs->setCurrentIndex(pg.index);
        for (QWidget* w : pg.tabs->widget(pg.index)->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QLineEdit*>(w);
            if (control && w->isVisible()) EXPECT_TRUE(reachable(w)) << pg.index << " " << w->metaObject()->className();
        }
    }
    // The Stat page's Apply, reached and clicked: the table takes the ticked
    // column and the report is marked.
    panel->ResultTabs()->setCurrentIndex(1);
    QCheckBox* event = dlgtest::Control<QCheckBox>(panel->StatPage(), kStatPageEvent);
    ASSERT_TRUE(reachable(event));
    Click(event);
    auto* apply = dlgtest::Control<QPushButton>(panel->StatPage(), kStatPageApply);
    ASSERT_TRUE(reachable(apply));
    doc->SetModifiedFlag(false);
    Click(apply);
    EXPECT_EQ(table->GetCodes().size(), 2u);
    EXPECT_TRUE(doc->IsModified());

    // The plot's pages the same way.
    d->Click(plot->GetTitleRect().CenterPoint());
    Settle();
    ASSERT_EQ(panel->GetObject(), plot);
    for (int32_t kind : {kPlotFlagDots, kPlotFlagHistogram}) {
        plot->SetPlotType(kind);
        panel->SetObject(plot);
        for (int32_t index : {kind == kPlotFlagDots ? P::kTabDot : P::kTabHist, P::kTabOverlap}) {
            panel->PlotTabs()->setCurrentIndex(index);
            for (QWidget* w : panel->PlotTabs()->widget(index)->findChildren<QWidget*>()) {
                const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                                     qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w);
                if (control && w->isVisible()) EXPECT_TRUE(reachable(w)) << kind << " " << index;
            }
        }
    }
}

}  // namespace
