// The property panel on real plots with real clicks, keys and drags: the kind
// boxes' re-check rules, pages of plots without data, the gate rows (the last
// one stays, drags move layers), the percent entries, refused numbers, the
// Hist page's colours and peak, overlays, and what the document keeps.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QMouseEvent>
#include <QTabBar>
#include <QTreeWidget>

#include <functional>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "dialogs/ColorCombo.h"
#include "dialogs/DotPropPage.h"
#include "dialogs/GateListBox.h"
#include "dialogs/HistPropPage.h"
#include "dialogs/ObjStyleDlg.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/RltHeadDlg.h"
#include "dialogs/StatPropPage.h"
#include "dialogs/OverlapPropPage.h"
#include "dialogs/TabCtrlWithDisable.h"
#include "report/page/LumitraDoc.h"
#include "report/page/ResultTable.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/plot/Plot.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"

namespace {

using P = CObjStyleDlg;

// n events spread over the FS/SS square.
std::vector<std::pair<double, double>> Events(int n) {
    std::vector<std::pair<double, double>> e;
    for (int i = 0; i < n; ++i) e.push_back({double((i * 37) % 1000), double((i * 53) % 1000)});
    return e;
}

void Click(QWidget* w, QPoint at) {
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                      t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
}
// A check box takes clicks on its box and text only: near its left edge.
void Click(QWidget* w) { Click(w, QPoint(8, w->height() / 2)); }

class ObjStyleTest : public ::testing::Test {
protected:
    void SetUp() override {
        plottest::ResetPlotDefaults();
        shell = doc.AttachDataShell(plottest::MakeShell(Events(150), "A", "a.fcs"));
        g1 = plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R1");
        g2 = plottest::AddRectGate(*shell, 0.3f, 0.3f, 0.9f, 0.9f, 0, "R2");
        plot = AddPlot(shell->GetRoot());
        panel.resize(320, 260);
        panel.show();
        doc.SetModifiedFlag(false);
    }
    CPLOT* AddPlot(CGateNode* gate) {
        return static_cast<CPLOT*>(doc.AddObject(std::make_unique<CPLOT>(CRect(0, 0, 250, 250), gate, &doc, 0, 1)));
    }
    QCheckBox* Box(int32_t id) const { return panel.KindBox(id); }
    QStringList Rows(QListWidget* l) const {
        QStringList out;
        for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
        return out;
    }
    QStringList LayerNames() const {
        QStringList out;
        for (const auto& l : plot->GetDotLayers()) out << QString::fromStdString(l->GetGate()->GetDisplayName());
        return out;
    }

    struct AppFirst {
        AppFirst() { rtest::EnsureApp(); }
    } appFirst;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    CLumitraDoc doc;
    VexaDataShell* shell = nullptr;
    CGateNode* g1 = nullptr;
    CGateNode* g2 = nullptr;
    CPLOT* plot = nullptr;
    CObjStyleDlg panel;
};

TEST_F(ObjStyleTest, KindBoxesApplyTheirRuleAndAPlotNeverEndsWithoutAKind) {
    const struct {
        int32_t start;
        int32_t box;
        int32_t expected;
    } cases[] = {
        {kPlotFlagDots, P::kChkDot, kPlotFlagHistogram},             // the only kind unchecked
        {kPlotFlagHistogram, P::kChkHistogram, kPlotFlagDots},
        {kPlotFlagDensity, P::kChkDensity, kPlotFlagDots},
        {kPlotFlagContour, P::kChkContour, kPlotFlagDots},
        {kPlotFlagHistogram, P::kChkDot, kPlotFlagDots},             // dots put the histogram away
        {kPlotFlagDots, P::kChkHistogram, kPlotFlagHistogram},       // and the other way round
        {kPlotFlagDots | kPlotFlagDensity, P::kChkHistogram, kPlotFlagHistogram},
        {kPlotFlagHistogram, P::kChkContour, kPlotFlagContour},
        {kPlotFlagDots, P::kChkDensity, kPlotFlagDots | kPlotFlagDensity},
        {kPlotFlagDots | kPlotFlagContour, P::kChkDot, kPlotFlagContour},  // contour still shows
        {kPlotFlagDensity | kPlotFlagContour, P::kChkDensity, kPlotFlagContour},
    };
    for (const auto& c : cases) {
        plot->SetPlotType(c.start);
        panel.SetObject(plot);
        doc.SetModifiedFlag(false);
        Click(Box(c.box));
        EXPECT_EQ(plot->GetStyleFlags(), c.expected) << c.start << " " << c.box;
        EXPECT_TRUE(doc.IsModified()) << c.start << " " << c.box;
        for (int32_t id : {P::kChkDot, P::kChkDensity, P::kChkContour, P::kChkHistogram})
            EXPECT_EQ(Box(id)->isChecked(), bool(c.expected & (id == P::kChkDot       ? kPlotFlagDots
                                                               : id == P::kChkDensity ? kPlotFlagDensity
                                                               : id == P::kChkContour ? kPlotFlagContour
                                                                                      : kPlotFlagHistogram)))
                << c.start << " " << c.box << " " << id;
        // The pages follow the kind at once.
        const bool hist = c.expected & kPlotFlagHistogram, dots = c.expected & kPlotFlagDots;
        EXPECT_EQ(panel.PlotTabs()->IsTabEnabled(P::kTabHist), hist) << c.start << " " << c.box;
        EXPECT_EQ(panel.PlotTabs()->IsTabEnabled(P::kTabDot), dots) << c.start << " " << c.box;
        EXPECT_EQ(panel.HistPage()->GetPlot(), hist ? plot : nullptr);
        EXPECT_EQ(panel.DotPage()->GetPlot(), dots ? plot : nullptr);
        EXPECT_EQ(panel.PlotTabs()->currentIndex(), hist ? P::kTabHist : dots ? P::kTabDot : P::kTabOverlap);
    }
}

TEST_F(ObjStyleTest, AnOverlayPlotKeepsItsKindAndShowsItsOverlays) {
    CPLOT* other = AddPlot(g1);
    ASSERT_FALSE(other->GetDotLayers().empty());
    ASSERT_NE(plot->AddOverlayLayer(*other->GetDotLayers().front()), nullptr);
    const int32_t flags = plot->GetStyleFlags();
    panel.SetObject(plot);
    doc.SetModifiedFlag(false);
    for (int32_t id : {P::kChkDot, P::kChkDensity, P::kChkContour, P::kChkHistogram}) {
        EXPECT_FALSE(Box(id)->isEnabled()) << id;
        Box(id)->setEnabled(true);  // even a click that gets through changes nothing
        Click(Box(id));
        EXPECT_EQ(plot->GetStyleFlags(), flags) << id;
        EXPECT_EQ(Box(id)->isChecked(), id == P::kChkDot) << id;
    }
    EXPECT_FALSE(doc.IsModified());
    COverlapList* list = panel.OverlapPage()->List();
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "a.fcs @ R1 -- Dot");
    // Unchecked: the overlay is kept and not drawn. Overlays are not saved,
    // so the report has nothing new to save.
    list->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(plot->GetOverlayVisibility(), std::vector<uint8_t>{0});
    EXPECT_FALSE(doc.IsModified());
    // The overlap rows keep their order and a double click removes the overlay.
    emit list->itemDoubleClicked(list->item(0));
    EXPECT_TRUE(plot->GetOverlayLayers().empty());
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(plot->GetStyleFlags() & kPlotFlagOverlay, 0);
}

TEST_F(ObjStyleTest, OverlaysAddedLaterReachTheOverlapPageWhenThePlotDraws) {
    panel.SetObject(plot);
    CPLOT* other = AddPlot(g2);
    plot->AddOverlayLayer(*other->GetDotLayers().front());
    EXPECT_EQ(panel.OverlapPage()->List()->count(), 0);
    panel.RefreshDotPage();
    ASSERT_EQ(panel.OverlapPage()->List()->count(), 1);
    EXPECT_EQ(panel.OverlapPage()->List()->item(0)->text(), "a.fcs @ R2 -- Dot");
}

TEST_F(ObjStyleTest, UncheckingEveryGateRowKeepsTheFirstShown) {
    panel.SetObject(plot);
    CGateListBox* gates = panel.DotPage()->GateList();
    ASSERT_EQ(Rows(gates), (QStringList{"All", "R1", "R2"}));
    for (int i = 0; i < 3; ++i) gates->item(i)->setCheckState(Qt::Checked);
    for (int i = 2; i >= 0; --i) gates->item(i)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(gates->item(0)->checkState(), Qt::Checked);
    EXPECT_TRUE(plot->GetDotLayers()[0]->IsActive());
    EXPECT_FALSE(plot->GetDotLayers()[1]->IsActive());
    EXPECT_FALSE(plot->GetDotLayers()[2]->IsActive());
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(ObjStyleTest, AGateRowsCheckBoxClickedWithAPixelOfJitterShowsAndHidesItsLayer) {
    panel.SetObject(plot);
    CGateListBox* gates = panel.DotPage()->GateList();
    ASSERT_EQ(Rows(gates), (QStringList{"All", "R1", "R2"}));
    auto send = [&](QEvent::Type type, QPoint pos) {
        QMouseEvent e(type, QPointF(pos), QPointF(gates->viewport()->mapToGlobal(pos)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(gates->viewport(), &e);
    };
    const QRect r = gates->visualItemRect(gates->item(1));
    const QPoint box(r.left() + 2 + r.height() / 2, r.center().y());
    const bool shown = plot->GetDotLayers()[1]->IsActive();
    ASSERT_EQ(gates->item(1)->checkState() == Qt::Checked, shown);
    for (bool shownAfter : {!shown, shown}) {
        doc.SetModifiedFlag(false);
        send(QEvent::MouseButtonPress, box);
        send(QEvent::MouseMove, box + QPoint(1, 0));
        send(QEvent::MouseButtonRelease, box + QPoint(1, 0));
        EXPECT_EQ(gates->item(1)->checkState() == Qt::Checked, shownAfter);
        EXPECT_EQ(plot->GetDotLayers()[1]->IsActive(), shownAfter);
        EXPECT_EQ(LayerNames(), (QStringList{"All", "R1", "R2"}));  // a click moves nothing
        EXPECT_TRUE(doc.IsModified());
    }
}

TEST_F(ObjStyleTest, PercentEntriesSetTheDotLimitFromTheDataSetsEvents) {
    panel.SetObject(plot);
    auto* percent = dlgtest::Control<QComboBox>(panel.DotPage(), CDotPropPage::kShowPercent);
    auto* events = dlgtest::Control<QLineEdit>(panel.DotPage(), CDotPropPage::kEvents);
    // 150 events: whole percents count in integers.
    const struct {
        const char* text;
        int32_t expected;
    } cases[] = {{"100%", 150}, {"75%", 112}, {"50%", 75}, {"25%", 37}, {"10%", 15}, {"5%", 7}, {"1%", 1}};
    for (const auto& c : cases) {
        const int index = percent->findText(QString::fromLatin1(c.text));
        ASSERT_GE(index, 0) << c.text;
        percent->setCurrentIndex(index);
        emit percent->activated(index);
        EXPECT_EQ(plot->GetMaxDotEvents(), c.expected) << c.text;
        EXPECT_EQ(events->text(), QString::number(c.expected)) << c.text;
    }
    // A typed value leaves the percent entry.
    dlgtest::Type(events, "40");
    EXPECT_EQ(plot->GetMaxDotEvents(), 40);
    EXPECT_EQ(percent->currentIndex(), -1);
}

TEST_F(ObjStyleTest, TenPercentOfThirtyEventsIsThree) {
    VexaDataShell* s = doc.AttachDataShell(plottest::MakeShell(Events(30), "B", "b.fcs"));
    CPLOT* p = AddPlot(s->GetRoot());
    panel.SetObject(p);
    auto* percent = dlgtest::Control<QComboBox>(panel.DotPage(), CDotPropPage::kShowPercent);
    const int index = percent->findText("10%");
    emit percent->activated(index);
    EXPECT_EQ(p->GetMaxDotEvents(), 3);
}

TEST_F(ObjStyleTest, RefusedNumbersRestoreTheOldValue) {
    plot->SetMaxDotEvents(500);
    panel.SetObject(plot);
    auto* events = dlgtest::Control<QLineEdit>(panel.DotPage(), CDotPropPage::kEvents);
    using Kind = lm::ScriptedUiServices::Kind;
    // Each refused value is said, with the value kept; none is dropped silently.
    for (const char* bad : {"0", "-1", "99999999999", "abc", "12x", ""}) {
        ui.Clear();
        dlgtest::Type(events, bad);
        EXPECT_EQ(events->text(), "500") << bad;
        EXPECT_EQ(plot->GetMaxDotEvents(), 500) << bad;
        ASSERT_EQ(ui.Count(Kind::MessageBox), 1) << bad;
        EXPECT_TRUE(ui.Calls().back().text.contains("500 is kept")) << ui.Calls().back().text.toStdString();
    }
    EXPECT_FALSE(doc.IsModified());
    ui.Clear();
    dlgtest::Type(events, "1");
    EXPECT_EQ(plot->GetMaxDotEvents(), 1);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);

    plot->SetPlotType(kPlotFlagHistogram);
    panel.SetObject(plot);
    CHistLayer* layer = plot->GetHistLayer();
    ASSERT_NE(layer, nullptr);
    auto* autoScale = dlgtest::Control<QCheckBox>(panel.HistPage(), CHistPropPage::kAutoScale);
    if (autoScale->isChecked()) Click(autoScale);
    ASSERT_FALSE(layer->GetAutoScale());
    auto* max = dlgtest::Control<QLineEdit>(panel.HistPage(), CHistPropPage::kMax);
    ASSERT_TRUE(max->isEnabled());
    dlgtest::Type(max, "300");
    EXPECT_EQ(layer->GetFixedMax(), 300.0f);
    for (const char* bad : {"0", "-5", "1e308", "abc", "2.5e"}) {
        ui.Clear();
        dlgtest::Type(max, bad);
        EXPECT_EQ(max->text(), "300") << bad;
        EXPECT_EQ(layer->GetFixedMax(), 300.0f) << bad;
        ASSERT_EQ(ui.Count(Kind::MessageBox), 1) << bad;
        EXPECT_TRUE(ui.Calls().back().text.contains("300 is kept")) << ui.Calls().back().text.toStdString();
    }
    dlgtest::Type(max, "1");
    EXPECT_EQ(layer->GetFixedMax(), 1.0f);
    Click(autoScale);
    EXPECT_TRUE(layer->GetAutoScale());
    EXPECT_FALSE(max->isEnabled());
}

TEST_F(ObjStyleTest, HistColoursAndWidthGoToTheLayerAndACancelledMoreKeepsTheColour) {
    plot->SetPlotType(kPlotFlagHistogram);
    panel.SetObject(plot);
    CHistLayer* layer = plot->GetHistLayer();
    layer->SetColor(0x00FF00);
    layer->SetOutline(2, 0x0000FF);
    panel.SetObject(plot);
    auto* fill = dlgtest::Control<CColorCombo>(panel.HistPage(), CHistPropPage::kFill);
    auto* line = dlgtest::Control<CColorCombo>(panel.HistPage(), CHistPropPage::kLine);
    auto* width = dlgtest::Control<QComboBox>(panel.HistPage(), CHistPropPage::kLineWidth);
    EXPECT_EQ(fill->GetColor(), 0x00FF00u);
    EXPECT_EQ(line->GetColor(), 0x0000FFu);
    EXPECT_EQ(width->currentText(), "2");

    const int more = CColorCombo::kEntries - 1;
    ui.QueueColor(std::nullopt);  // the colour dialog cancelled
    fill->setCurrentIndex(more);
    emit fill->activated(more);
    EXPECT_EQ(layer->GetColor(), 0x00FF00u);
    EXPECT_EQ(fill->GetColor(), 0x00FF00u);
    EXPECT_FALSE(doc.IsModified());

    ui.QueueColor(0x123456);
    fill->setCurrentIndex(more);
    emit fill->activated(more);
    EXPECT_EQ(layer->GetColor(), 0x123456u);
    EXPECT_TRUE(doc.IsModified());

    line->setCurrentIndex(1);  // "None"
    emit line->activated(1);
    EXPECT_EQ(layer->GetOutlineColor(), CColorCombo::kNone);
    width->setCurrentIndex(4);
    emit width->activated(4);
    EXPECT_EQ(layer->GetOutlineWidth(), 5);
    // What the page wrote reads back the same.
    panel.SetObject(plot);
    EXPECT_EQ(width->currentText(), "5");
    EXPECT_EQ(fill->GetColor(), 0x123456u);
    EXPECT_EQ(line->GetColor(), CColorCombo::kNone);
}

TEST_F(ObjStyleTest, DraggedGateRowsMoveTheirLayersSoRowIIsLayerI) {
    panel.SetObject(plot);
    CGateListBox* gates = panel.DotPage()->GateList();
    gates->resize(200, 6 * gates->RowHeight() + 2 * gates->frameWidth());
    auto send = [&](QEvent::Type type, QPoint pos) {
        QMouseEvent e(type, QPointF(pos), QPointF(gates->viewport()->mapToGlobal(pos)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(gates->viewport(), &e);
    };
    auto rowPoint = [&](int row) { return gates->visualItemRect(gates->item(row)).center(); };
    auto drag = [&](int from, QPoint to) {
        send(QEvent::MouseButtonPress, rowPoint(from));
        send(QEvent::MouseMove, to);
        send(QEvent::MouseButtonRelease, to);
    };
    drag(2, rowPoint(1));  // up
    EXPECT_EQ(Rows(gates), (QStringList{"All", "R2", "R1"}));
    EXPECT_EQ(LayerNames(), Rows(gates));
    drag(1, QPoint(20, gates->viewport()->height() - 2));  // below the last row: to the end
    EXPECT_EQ(Rows(gates), (QStringList{"All", "R1", "R2"}));
    EXPECT_EQ(LayerNames(), Rows(gates));
    drag(2, rowPoint(0));  // onto row 0: nothing moves
    EXPECT_EQ(LayerNames(), (QStringList{"All", "R1", "R2"}));
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(ObjStyleTest, TheDotPageRefillsOnlyOnAChangeAndNeverOverTypedEvents) {
    panel.SetObject(plot);
    CDotPropPage* page = panel.DotPage();
    const int32_t fills = page->GetFillCount();
    for (int i = 0; i < 3; ++i) plottest::DrawOnPage(*plot);  // drawing alone changes nothing
    panel.RefreshDotPage();
    EXPECT_EQ(page->GetFillCount(), fills);

    // The user is typing an event count when a new gate arrives.
    auto* events = dlgtest::Control<QLineEdit>(page, CDotPropPage::kEvents);
    events->setFocus();
    events->selectAll();
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7"));
    QCoreApplication::sendEvent(events, &typed);
    ASSERT_TRUE(events->isModified());
    CGateNode* g3 = plottest::AddRectGate(*shell, 0.0f, 0.0f, 0.2f, 0.2f, 0, "R3");
    ASSERT_NE(g3, nullptr);
    if (!plot->FindDotLayer(g3)) plot->OnGatesChanged();
    panel.RefreshDotPage();
    EXPECT_EQ(page->GetFillCount(), fills + 1);
    EXPECT_EQ(Rows(page->GateList()), (QStringList{"All", "R1", "R2", "R3"}));
    EXPECT_EQ(events->text(), "7");
    // A new region on the plot's axes is listed as a shape, checked when shown.
    QTreeWidget* shapes = page->ShapeList();
    ASSERT_EQ(shapes->topLevelItemCount(), 3);
    EXPECT_EQ(shapes->topLevelItem(2)->text(0), "R3");
    EXPECT_EQ(shapes->topLevelItem(2)->text(1), "Rectangle");
    plottest::ScopedRegionMaker maker;
    shapes->topLevelItem(2)->setCheckState(0, Qt::Checked);
    ASSERT_EQ(plot->GetShownRegions().size(), 1u);
    EXPECT_EQ(plot->GetShownRegions()[0], g3->GetRegion());
    shapes->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    EXPECT_TRUE(plot->GetShownRegions().empty());
}

TEST_F(ObjStyleTest, AQuadrantIsOneShapeRowWithoutItsPartSuffix) {
    ASSERT_NE(shell->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.0f, 1.5708f, 3.1416f, 4.7124f),
                                   0, "Q"),
              nullptr);
    panel.SetObject(plot);
    QTreeWidget* shapes = panel.DotPage()->ShapeList();
    ASSERT_EQ(shapes->topLevelItemCount(), 3);
    EXPECT_EQ(shapes->topLevelItem(2)->text(0), "Q");
    EXPECT_EQ(shapes->topLevelItem(2)->text(1), "Quadrant");
}

TEST_F(ObjStyleTest, PagesOfAPlotWithoutDataAreDisabledAndDisabledTabsCannotBeReached) {
    CPLOT* empty = static_cast<CPLOT*>(doc.AddObject(std::make_unique<CPLOT>(CRect(0, 0, 250, 250), &doc, 0, 1)));
    panel.SetObject(empty);
    EXPECT_FALSE(panel.DotPage()->isEnabled());
    empty->SetPlotType(kPlotFlagHistogram);
    panel.SetObject(empty);
    EXPECT_FALSE(panel.HistPage()->isEnabled());

    panel.SetObject(plot);  // dots: the Hist tab is disabled
    EXPECT_TRUE(panel.DotPage()->isEnabled());
    CTabCtrlWithDisable* tabs = panel.PlotTabs();
    ASSERT_EQ(tabs->currentIndex(), P::kTabDot);
    QTabBar* bar = tabs->tabBar();
    Click(bar, bar->tabRect(P::kTabHist).center());
    EXPECT_EQ(tabs->currentIndex(), P::kTabDot);
    for (int i = 0; i < 4; ++i) {
        dlgtest::Key(bar, Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_NE(tabs->currentIndex(), P::kTabHist);
        dlgtest::Key(bar, Qt::Key_Left);
        EXPECT_NE(tabs->currentIndex(), P::kTabHist);
    }
    Click(bar, bar->tabRect(P::kTabOverlap).center());
    EXPECT_EQ(tabs->currentIndex(), P::kTabOverlap);
}

TEST_F(ObjStyleTest, OtherObjectsLeaveThePlotPagesAndAFreedObjectLeavesNothing) {
    panel.SetObject(plot);
    const QSize size = panel.size();
    rtest::TestObj text(CRect(0, 0, 10, 10), &doc);
    panel.SetObject(&text);
    EXPECT_EQ(panel.GetObject(), plot);
    EXPECT_TRUE(panel.PlotTabs()->isVisible());
    EXPECT_EQ(panel.size(), size);
    EXPECT_EQ(panel.DotPage()->GetPlot(), plot);

    auto* table = static_cast<CTrkResult*>(doc.AddObject(std::make_unique<CTrkResult>(10, 10, shell, &doc)));
    panel.SetObject(table);
    EXPECT_FALSE(panel.PlotTabs()->isVisible());
    EXPECT_TRUE(panel.ResultTabs()->isVisible());
    EXPECT_EQ(panel.DotPage()->GetPlot(), nullptr);
    EXPECT_TRUE(panel.ResultTabs()->IsTabEnabled(0) && panel.ResultTabs()->IsTabEnabled(1));

    panel.SetObject(plot);
    panel.OnObjectRemoving(plot);
    EXPECT_EQ(panel.GetObject(), nullptr);
    EXPECT_EQ(panel.DotPage()->GetPlot(), nullptr);
    EXPECT_EQ(panel.OverlapPage()->GetPlot(), nullptr);
    EXPECT_FALSE(panel.PlotTabs()->isVisible());
    // Closing the document lets go of its plot as well.
    panel.SetObject(plot);
    panel.BindDocument(nullptr);
    EXPECT_EQ(panel.GetObject(), nullptr);
    EXPECT_EQ(panel.HistPage()->GetPlot(), nullptr);
}

TEST_F(ObjStyleTest, PageEditsMarkTheReportOnlyWhenWhatIsSavedChanges) {
    auto* table = static_cast<CTrkResult*>(doc.AddObject(std::make_unique<CTrkResult>(300, 10, shell, &doc)));
    auto histCombo = [&](int32_t id) { return dlgtest::Control<QComboBox>(panel.HistPage(), id); };
    auto choose = [](QComboBox* c, int index) {
        c->setCurrentIndex(index);
        emit c->activated(index);
    };
    auto percent = [&](const char* text) {
        auto* c = dlgtest::Control<QComboBox>(panel.DotPage(), CDotPropPage::kShowPercent);
        choose(c, c->findText(QString::fromLatin1(text)));
    };
    auto stat = [&](int32_t id) { return dlgtest::Control<QAbstractButton>(panel.StatPage(), id); };
    auto head = [&](int32_t id) { return dlgtest::Control<QAbstractButton>(panel.HeadPage(), id); };
    const struct {
        const char* what;
        bool histogram;  // the plot a histogram (else dots); a table when neither page of a plot is used
        bool onTable;
        std::function<void()> edit;
        bool marks;
    } cases[] = {
        {"width chosen again", true, false, [&] { choose(histCombo(CHistPropPage::kLineWidth), 0); }, false},
        {"a new width", true, false, [&] { choose(histCombo(CHistPropPage::kLineWidth), 3); }, true},
        {"the fill shown chosen again", true, false, [&] { choose(histCombo(CHistPropPage::kFill), 0); }, false},
        {"no line (\"None\")", true, false, [&] { choose(histCombo(CHistPropPage::kLine), 1); }, true},
        {"100% of 150 events, the limit already", false, false, [&] { percent("100%"); }, false},
        {"50%", false, false, [&] { percent("50%"); }, true},
        {"Stat Apply, nothing ticked", false, true, [&] { Click(stat(kStatPageApply), QPoint(5, 5)); }, false},
        {"Stat Apply, Event ticked", false, true,
         [&] {
             Click(stat(kStatPageEvent));
             Click(stat(kStatPageApply), QPoint(5, 5));
         },
         true},
        {"Head Apply, nothing ticked", false, true, [&] { Click(head(kHeadApply), QPoint(5, 5)); }, false},
        {"Head Apply, Date ticked", false, true,
         [&] {
             Click(head(kHeadDate));
             Click(head(kHeadApply), QPoint(5, 5));
         },
         true},
    };
    plot->SetMaxDotEvents(150);
    for (const auto& c : cases) {
        plot->SetPlotType(c.histogram ? kPlotFlagHistogram : kPlotFlagDots);
        panel.SetObject(c.onTable ? static_cast<CTrkObj*>(table) : plot);
        doc.SetModifiedFlag(false);
        c.edit();
        EXPECT_EQ(doc.IsModified(), c.marks) << c.what;
    }
    EXPECT_EQ(table->GetCodes().size(), 2u);
    EXPECT_EQ(table->Keywords().size(), 2u);
}

TEST_F(ObjStyleTest, ThePercentEntryIsTheOneGivingTheBoundPlotsOwnLimit) {
    auto* percent = dlgtest::Control<QComboBox>(panel.DotPage(), CDotPropPage::kShowPercent);
    VexaDataShell* s = doc.AttachDataShell(plottest::MakeShell(Events(40), "B", "b.fcs"));
    CPLOT* other = AddPlot(s->GetRoot());
    const struct {
        CPLOT* bind;
        int32_t limit;  // the plot's dot limit before it is bound
        const char* shown;  // "" for no entry
    } cases[] = {
        {plot, 15, "10%"},     // 10 % of 150
        {other, 2000, ""},    // more than the 40 events: no entry gives it
        {other, 20, "50%"},
        {plot, 150, "100%"},
        {other, 0, "1%"},     // 1 % of 40 is 0 events
    };
    for (const auto& c : cases) {
        c.bind->SetMaxDotEvents(c.limit);
        panel.SetObject(c.bind);
        EXPECT_EQ(percent->currentText(), QString::fromLatin1(c.shown)) << c.limit;
    }
}

}  // namespace
