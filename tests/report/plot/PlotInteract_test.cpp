// The plot's mouse and menus: region tools, shapes finished into gates,
// gate and axis choice, copy and paste of regions, zoom, overlays and the
// drag cache (the middle button on a region label: ViewInput_test).
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "tests/support/ui/ScriptedUiServices.h"
#include "report/app/CommandIds.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/page/LumitraDoc.h"
#include "report/plot/Plot.h"
#include "report/plot/RangeLayer.h"
#include "report/plot/RectLayer.h"
#include "report/plot/RegionClip.h"
#include "report/plot/RgnLayer.h"
#include "report/page/TrackStates.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"

using namespace plottest;
using Kind = lm::ScriptedUiServices::Kind;

namespace {

const CRect kRect(0, 0, 250, 250);  // area (46, 36, 234, 206): 188 x 170
constexpr int32_t kW = 188;
constexpr int32_t kH = 170;

// Events on a grid: every multiple of 50 from 0 to 1000 on both axes.
std::vector<std::pair<double, double>> Grid() {
    std::vector<std::pair<double, double>> e;
    for (int x = 0; x <= 1000; x += 50)
        for (int y = 0; y <= 1000; y += 50) e.emplace_back(x, y);
    return e;
}

// Grid events strictly inside a box given in layer pixels of the area (the
// axes are linear over 0 .. 1000), optionally also inside a second box of
// axis values.
int CountInBox(int32_t x0, int32_t y0, int32_t x1, int32_t y1, double vx0 = -1, double vx1 = 2000) {
    int n = 0;
    for (const auto& [x, y] : Grid()) {
        const double fx = x / 1000.0, fy = y / 1000.0;
        if (fx > double(x0) / kW && fx < double(x1) / kW && fy > double(y0) / kH && fy < double(y1) / kH &&
            x > vx0 && x < vx1)
            ++n;
    }
    return n;
}

std::string Percent(double part, double whole) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", double(float(part) / float(whole) * 100.0f));
    return buf;
}

// Three parameters, all on linear 0 .. range axes.
std::unique_ptr<VexaDataShell> MakeShell3(const std::string& path, const char* rangeX = "1000",
                                          const char* rangeY = "1000") {
    lmtest::FcsWriter w;
    w.Param("FS", 32, rangeX).Param("SS", 32, rangeY).Param("SSC", 32, "1000");
    for (const auto& [x, y] : Grid()) w.Event({x, y, 500.0});
    return std::make_unique<VexaDataShell>(lmtest::LoadFcsBytes(w.Build(), 0, path).release(), "S3");
}

struct MenuView {
    std::vector<int32_t> ids;
    std::vector<QString> texts;
    std::vector<bool> enabled;
    bool Has(int32_t id) const { return std::find(ids.begin(), ids.end(), id) != ids.end(); }
    bool Enabled(int32_t id) const {
        for (size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == id) return enabled[i];
        return false;
    }
};

MenuView View(const std::vector<lm::MenuItem>& items) {
    MenuView v;
    for (const auto& it : items) {
        v.ids.push_back(it.separator ? -1 : it.id);
        v.texts.push_back(it.text);
        v.enabled.push_back(it.enabled);
    }
    return v;
}

class PlotInteractTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        ResetPlotDefaults();
        doc = std::make_unique<CLumitraDoc>();
    }
    void TearDown() override {
        doc.reset();
    }

    VexaDataShell* AddShell(const std::string& path, std::unique_ptr<VexaDataShell> shell = nullptr) {
        if (!shell) shell = MakeShell(Grid(), "S", path);
        return doc->AttachDataShell(std::move(shell));
    }
    CPLOT* AddPlot(CGateNode* gate, const CRect& r = kRect, int32_t x = 0, int32_t y = 1) {
        auto p = std::make_unique<CPLOT>(r, gate, doc.get(), x, y);
        return static_cast<CPLOT*>(doc->AddObject(std::move(p)));
    }
    static CPoint Page(const CPLOT& plot, int32_t lx, int32_t ly) {
        const CRect a = plot.GetPlotArea();
        return CPoint(a.left + lx, a.bottom - ly);
    }
    // Press at `from`, drag to `to`, release there, with tool armed.
    static void DrawShape(CPLOT& plot, int32_t tool, CPoint from, CPoint to, int32_t* state) {
        *state = tool;
        ASSERT_TRUE(plot.OnLButtonDown(0, from, state));
        ASSERT_EQ(*state, kTrackRubberBandRegion);
        plot.OnMouseMove(0, to, state);
        plot.OnLButtonUp(0, to, state);
    }
    std::vector<lm::MenuItem> Menu(CPLOT& plot, CPoint p, int32_t* extra = nullptr, bool* shown = nullptr) {
        std::vector<lm::MenuItem> items;
        int32_t e = -99;
        const bool ok = plot.BuildContextMenu(&items, 0, p, &e);
        if (extra) *extra = e;
        if (shown) *shown = ok;
        return items;
    }

    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
    std::unique_ptr<CLumitraDoc> doc;
};

}  // namespace

// ======================================================= shapes into gates

TEST_F(PlotInteractTest, RectangleDrawnInEitherDirectionBecomesAGateOfTheCountedEvents) {
    VexaDataShell* shell = AddShell("grid-a.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot());
    const int expected = CountInBox(40, 30, 120, 100);
    ASSERT_GT(expected, 0);

    int32_t state = 0;
    DrawShape(*plot, kTrackRectTool, Page(*plot, 40, 30), Page(*plot, 120, 100), &state);
    EXPECT_EQ(state, kTrackRegionSelected);
    ASSERT_EQ(shell->GetGateCount(), 2);
    CGateNode* g = shell->GetGate(1);
    EXPECT_EQ(g->GetInputs().front(), shell->GetRoot());
    EXPECT_EQ(int(g->GetMask().CountSetBits()), expected);
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    auto* layer = dynamic_cast<CRectLayer*>(plot->GetRegionLayers()[0].get());
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->GetRegion(), g->GetRegion());
    EXPECT_EQ(plot->GetShownRegions(), std::vector<CDataRgn*>{g->GetRegion()});
    EXPECT_EQ(layer->GetPercentText(), Percent(expected, 441));
    EXPECT_EQ(plot->GetSelectedRegionLayer(), layer);

    // From the lower right corner to the upper left: the same events.
    DrawShape(*plot, kTrackRectTool, Page(*plot, 120, 30), Page(*plot, 40, 100), &state);
    ASSERT_EQ(shell->GetGateCount(), 3);
    EXPECT_EQ(int(shell->GetGate(2)->GetMask().CountSetBits()), expected);
}

TEST_F(PlotInteractTest, ShapesAreGatedUnderThePlotsGate) {
    VexaDataShell* shell = AddShell("grid-b.fcs");
    // The plot shows only events with FS below 500.
    CGateNode* left = AddRectGate(*shell, 0.0f, 0.0f, 0.5f, 1.01f, 0, "Left");
    CPLOT* plot = AddPlot(left);
    int32_t state = 0;
    DrawShape(*plot, kTrackEllipseTool, Page(*plot, 10, 10), Page(*plot, 178, 160), &state);
    ASSERT_EQ(shell->GetGateCount(), 3);
    CGateNode* g = shell->GetGate(2);
    EXPECT_EQ(g->GetInputs().front(), left);
    const uint32_t inLeft = left->GetMask().CountSetBits();
    EXPECT_GT(inLeft, g->GetMask().CountSetBits());
    // No event of the new gate lies outside the plot's gate.
    EventBitMask both = g->GetMask();
    both.AndWith(left->GetMask());
    EXPECT_EQ(both.CountSetBits(), g->GetMask().CountSetBits());
}

TEST_F(PlotInteractTest, PercentageOverAGateWithoutEventsOrWithoutGateIsZero) {
    VexaDataShell* shell = AddShell("grid-c.fcs");
    // Between grid lines: no event in it.
    CGateNode* empty = AddRectGate(*shell, 0.01f, 0.01f, 0.04f, 0.04f, 0, "Empty");
    ASSERT_EQ(empty->GetMask().CountSetBits(), 0u);
    CPLOT* plot = AddPlot(empty);
    int32_t state = 0;
    DrawShape(*plot, kTrackRectTool, Page(*plot, 20, 20), Page(*plot, 100, 100), &state);
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    auto* layer = dynamic_cast<CRgnLayer*>(plot->GetRegionLayers()[0].get());
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->GetPercentText(), "0.00");
    DrawOnPage(*plot);  // drawing takes the share again
    EXPECT_EQ(layer->GetPercentText(), "0.00");

    // A plot without a gate has no divisor either.
    CPLOT gateless(kRect, nullptr, 0, 1);
    CRectLayer shown(static_cast<CrRect*>(shell->GetGate(1)->GetRegion()), &gateless);
    EXPECT_EQ(shown.GetPercentText(), "0.00");
}

TEST_F(PlotInteractTest, ToolsRefusePressesTheyCannotServe) {
    VexaDataShell* shell = AddShell("grid-d.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot());
    int32_t state = kTrackRectTool;
    // Outside the plot area.
    EXPECT_FALSE(plot->OnLButtonDown(0, CPoint(20, 100), &state));
    EXPECT_EQ(state, kTrackMove);
    // A histogram takes the range tool only.
    plot->SetPlotType(kPlotFlagHistogram);
    for (int32_t tool : {kTrackRectTool, kTrackPolygonTool, kTrackQuadrantTool}) {
        state = tool;
        EXPECT_FALSE(plot->OnLButtonDown(0, Page(*plot, 50, 50), &state));
        EXPECT_EQ(state, kTrackMove);
    }
    EXPECT_TRUE(plot->GetRegionLayers().empty());
    DrawShape(*plot, kTrackRangeTool, Page(*plot, 40, 50), Page(*plot, 120, 50), &state);
    EXPECT_EQ(shell->GetGateCount(), 2);
    EXPECT_EQ(shell->GetGate(1)->GetRegionType(), kRgnRange);

    // A plot without data draws nothing.
    auto noData = std::make_unique<VexaDataShell>();
    VexaDataShell* bare = doc->AttachDataShell(std::move(noData));
    CPLOT* empty = AddPlot(bare->GetRoot(), CRect(300, 0, 550, 250));
    state = kTrackRangeTool;
    EXPECT_FALSE(empty->OnLButtonDown(0, Page(*empty, 50, 50), &state));
    EXPECT_EQ(state, kTrackMove);
    EXPECT_TRUE(empty->GetRegionLayers().empty());
    EXPECT_EQ(bare->GetGateCount(), 1);
}

TEST_F(PlotInteractTest, CancelRemovesTheShapeBeingDrawnNotTheLastLayer) {
    VexaDataShell* shell = AddShell("grid-e.fcs");
    CGateNode* g = AddRectGate(*shell, 0.1f, 0.1f, 0.3f, 0.3f, 0, "G");
    CPLOT* plot = AddPlot(shell->GetRoot());
    int32_t state = kTrackRectTool;
    ASSERT_TRUE(plot->OnLButtonDown(0, Page(*plot, 60, 60), &state));
    ASSERT_EQ(state, kTrackRubberBandRegion);
    CLayer* drawing = plot->GetSelectedRegionLayer();
    ASSERT_NE(drawing, nullptr);
    // A layer arrives behind the one being drawn.
    CLayer* other = plot->AddRegionLayer(MakeRegionLayer(g->GetRegion(), plot));
    ASSERT_EQ(plot->GetRegionLayers().size(), 2u);
    ASSERT_EQ(plot->GetRegionLayers().back().get(), other);

    plot->CancelRegionCreation(&state);
    EXPECT_EQ(state, kTrackMove);
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    EXPECT_EQ(plot->GetRegionLayers()[0].get(), other);
    EXPECT_EQ(plot->GetSelectedRegionLayer(), nullptr);
    EXPECT_EQ(plot->GetEditedRegionLayer(), nullptr);
    EXPECT_EQ(other->GetRegion(), g->GetRegion());
    EXPECT_EQ(shell->GetGateCount(), 2);  // nothing was gated
    DrawOnPage(*plot);

    // Outside states 2 and 6 nothing is removed; the state still goes to 0.
    state = kTrackRegionSelected;
    plot->SelectRegionLayer(0);
    plot->CancelRegionCreation(&state);
    EXPECT_EQ(state, kTrackMove);
    EXPECT_EQ(plot->GetRegionLayers().size(), 1u);

    // Another object made active while a shape is being drawn: the shape goes.
    doc->SetActiveObject(plot);
    state = kTrackEllipseTool;
    ASSERT_TRUE(plot->OnLButtonDown(0, Page(*plot, 60, 60), &state));
    ASSERT_EQ(plot->GetRegionLayers().size(), 2u);
    doc->SetActiveObject(AddPlot(shell->GetRoot(), CRect(300, 0, 550, 250)));
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    EXPECT_EQ(plot->GetRegionLayers()[0].get(), other);
}

// ================================================================ presses

TEST_F(PlotInteractTest, BandsAndEdgesSetTheirStates) {
    VexaDataShell* shell = AddShell("grid-f.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot());
    int32_t state = 0;
    EXPECT_TRUE(plot->OnLButtonDown(0, CPoint(125, 15), &state));
    EXPECT_EQ(state, kTrackTitlePress);
    plot->OnLButtonUp(0, CPoint(125, 15), &state);
    EXPECT_EQ(state, kTrackMove);
    EXPECT_TRUE(plot->OnLButtonDown(0, CPoint(140, 232), &state));
    EXPECT_EQ(state, kTrackXAxisBand);
    state = 0;
    EXPECT_TRUE(plot->OnLButtonDown(0, CPoint(12, 120), &state));
    EXPECT_EQ(state, kTrackYAxisBand);
    state = 0;
    EXPECT_FALSE(plot->OnLButtonDown(0, CPoint(400, 400), &state));
    EXPECT_EQ(state, kTrackIdle);
    state = 0;
    EXPECT_FALSE(plot->OnLButtonDown(0, CPoint(2, 2), &state));
    EXPECT_EQ(state, kTrackResizeTopLeft);
    // A histogram's Y axis is a count: no parameter to choose there.
    plot->SetPlotType(kPlotFlagHistogram);
    state = 0;
    plot->OnLButtonDown(0, CPoint(12, 120), &state);
    EXPECT_NE(state, kTrackYAxisBand);
}

TEST_F(PlotInteractTest, PressOnOutlineSelectsAndMovesTheRegionAndItsGate) {
    VexaDataShell* shell = AddShell("grid-g.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot());
    int32_t state = 0;
    DrawShape(*plot, kTrackRectTool, Page(*plot, 40, 30), Page(*plot, 120, 100), &state);
    CGateNode* g = shell->GetGate(1);
    plot->SelectRegionLayer(-1);
    state = kTrackMove;
    // On the left edge: selected by the press, which goes on to a move.
    ASSERT_TRUE(plot->OnLButtonDown(0, Page(*plot, 40, 60), &state));
    EXPECT_EQ(state, kTrackRegionMove);
    EXPECT_NE(plot->GetSelectedRegionLayer(), nullptr);
    plot->OnMouseMove(0, Page(*plot, 40 + 47, 60), &state);
    ASSERT_TRUE(plot->OnLButtonUp(0, Page(*plot, 40 + 47, 60), &state));
    EXPECT_EQ(state, kTrackRegionSelected);
    EXPECT_EQ(int(g->GetMask().CountSetBits()), CountInBox(87, 30, 167, 100));

    // A press in the area off every region clears the selection.
    state = kTrackRegionSelected;
    plot->OnLButtonDown(0, Page(*plot, 10, 160), &state);
    EXPECT_EQ(plot->GetSelectedRegionLayer(), nullptr);
    EXPECT_EQ(state, kTrackMove);
}

// =================================================================== menus

TEST_F(PlotInteractTest, PlotMenuIdsTextsAndGreying) {
    VexaDataShell* shell = AddShell("grid-h.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot());
    bool shown = false;
    MenuView m = View(Menu(*plot, Page(*plot, 90, 90), nullptr, &shown));
    ASSERT_TRUE(shown);
    EXPECT_EQ(m.ids, (std::vector<int32_t>{1, 2, 3, 4, 5, -1, 21, 6, 7, 15, 24, 25, -1, 26, 27, 28, 29}));
    EXPECT_EQ(m.texts[1], "Rectangle");
    EXPECT_EQ(m.texts[6], "Compensate");
    EXPECT_EQ(m.texts[7], "Result");
    EXPECT_EQ(m.texts[8], "Delete Item");
    EXPECT_EQ(m.texts[9], "Export Graphic");
    EXPECT_EQ(m.texts[10], "Copy");
    EXPECT_EQ(m.texts[11], "As Default");
    EXPECT_TRUE(m.Enabled(1) && m.Enabled(2) && m.Enabled(3) && m.Enabled(4) && m.Enabled(5));
    EXPECT_TRUE(m.Enabled(21));  // the compensation dialog is registered

    // With a region in the copy buffer, "Paste Region" follows the separator.
    CGateNode* g = AddRectGate(*shell, 0.1f, 0.1f, 0.3f, 0.3f, 0, "G");
    plot->CopyRegion(g->GetRegion());
    m = View(Menu(*plot, Page(*plot, 90, 90)));
    EXPECT_EQ(m.ids[6], 18);
    EXPECT_EQ(m.texts[6], "Paste Region");
    EXPECT_TRUE(m.Enabled(18));

    // A histogram greys the shapes other than the range, and compensation.
    plot->SetPlotType(kPlotFlagHistogram);
    m = View(Menu(*plot, Page(*plot, 90, 90)));
    EXPECT_TRUE(m.Enabled(1));
    EXPECT_FALSE(m.Enabled(2) || m.Enabled(3) || m.Enabled(4) || m.Enabled(5) || m.Enabled(21));

    // Without data nothing that works on data is offered.
    VexaDataShell* bare = doc->AttachDataShell(nullptr);
    CPLOT* empty = AddPlot(bare->GetRoot(), CRect(300, 0, 550, 250));
    m = View(Menu(*empty, Page(*empty, 90, 90)));
    for (int32_t id : {1, 2, 3, 4, 5, 18, 21}) EXPECT_FALSE(m.Enabled(id)) << id;
    EXPECT_TRUE(empty->OnContextCommand(kPlotCmdPasteRegion, 0));
    EXPECT_EQ(bare->GetGateCount(), 1);
    EXPECT_TRUE(empty->GetRegionLayers().empty());
    Menu(*empty, CPoint(440, 232), nullptr, &shown);  // X band
    EXPECT_FALSE(shown);

    // Outside the plot: no menu.
    Menu(*plot, CPoint(600, 600), nullptr, &shown);
    EXPECT_FALSE(shown);
}

TEST_F(PlotInteractTest, BandMenusListGatesAndParameters) {
    VexaDataShell* shell = AddShell("grid-i.fcs", MakeShell3("three.fcs"));
    AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "G1");
    AddRectGate(*shell, 0.2f, 0.2f, 0.5f, 0.5f, 1, "G2");
    CPLOT* plot = AddPlot(shell->GetRoot());
    int32_t extra = -1;
    MenuView m = View(Menu(*plot, CPoint(125, 15), &extra));
    EXPECT_EQ(m.ids, (std::vector<int32_t>{100, 101, 102}));
    EXPECT_EQ(m.texts, (std::vector<QString>{"All", "G1", "G2"}));

    GetPlotDefaults().label = kLabelName;
    m = View(Menu(*plot, CPoint(140, 232), &extra));
    EXPECT_EQ(m.ids, (std::vector<int32_t>{500, 501, 502}));
    EXPECT_EQ(m.texts, (std::vector<QString>{"FS", "SS", "SSC"}));
    EXPECT_EQ(extra, 0);
    Menu(*plot, CPoint(12, 120), &extra);
    EXPECT_EQ(extra, 1);

    // The Y band's choice sets Y, the X band's X; neither is "carried out".
    EXPECT_FALSE(plot->OnContextCommand(502, 1));
    EXPECT_EQ(plot->GetYParam(), 2);
    EXPECT_EQ(plot->GetXParam(), 0);
    EXPECT_FALSE(plot->OnContextCommand(501, 0));
    EXPECT_EQ(plot->GetXParam(), 1);
    for (const auto& l : plot->GetDotLayers()) {
        EXPECT_EQ(l->GetXParam(), 1);
        EXPECT_EQ(l->GetYParam(), 2);
    }
    ASSERT_NE(plot->GetXTrans(), nullptr);
    EXPECT_TRUE(plot->GetXTrans()->IsEqual(*shell->GetTrans(1)));
    EXPECT_TRUE(plot->GetYTrans()->IsEqual(*shell->GetTrans(2)));
    // An index the data set does not have changes nothing.
    plot->SetXParam(3);
    plot->SetYParam(-1);
    EXPECT_EQ(plot->GetXParam(), 1);
    EXPECT_EQ(plot->GetYParam(), 2);

    // No axis menu on an overlay plot.
    CPLOT* other = AddPlot(shell->GetRoot(), CRect(300, 0, 550, 250));
    plot->AddOverlayFrom(other);
    bool shown = true;
    Menu(*plot, CPoint(140, 232), nullptr, &shown);
    EXPECT_FALSE(shown);
}

TEST_F(PlotInteractTest, ChoosingAGateShowsItsLayersFoundByGate) {
    VexaDataShell* shell = AddShell("grid-j.fcs");
    CGateNode* g1 = AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "G1");
    CGateNode* g2 = AddRectGate(*shell, 0.2f, 0.2f, 0.5f, 0.5f, 1, "G2");
    CPLOT* plot = AddPlot(shell->GetRoot());
    // The root's dot layer made again goes to the end of the list.
    ASSERT_TRUE(plot->DestroyLayer(plot->FindDotLayer(shell->GetRoot())));
    plot->RebuildLayers(false);
    ASSERT_EQ(plot->GetDotLayers().size(), 3u);
    ASSERT_EQ(plot->GetDotLayers()[2]->GetGate(), shell->GetRoot());

    EXPECT_FALSE(plot->OnContextCommand(101, 0));
    EXPECT_EQ(plot->GetGate(), g1);
    EXPECT_FALSE(plot->FindDotLayer(shell->GetRoot())->IsActive());
    EXPECT_TRUE(plot->FindDotLayer(g1)->IsActive());
    EXPECT_TRUE(plot->FindDotLayer(g2)->IsActive());
    for (const auto& l : plot->GetDotLayers()) EXPECT_EQ(l->GetPlotGate(), g1);
    // The dots drawn are those of gate 1.
    EXPECT_GT(plot->FindDotLayer(g1)->CountDots(), 0);
    EXPECT_EQ(plot->FindDotLayer(shell->GetRoot())->CountDots(), 0);

    // A histogram follows the chosen gate too.
    plot->SetPlotType(kPlotFlagHistogram);
    ASSERT_NE(plot->GetHistLayer(), nullptr);
    plot->ChooseGate(2);
    EXPECT_EQ(plot->GetHistLayer()->GetGate(), g2);
    // Out of range: nothing.
    plot->ChooseGate(3);
    plot->ChooseGate(-1);
    EXPECT_EQ(plot->GetGate(), g2);
}

TEST_F(PlotInteractTest, GateAndParameterIdsNeverMeetWithManyGates) {
    VexaDataShell* shell = AddShell("grid-k.fcs", MakeShell3("many.fcs"));
    for (int i = 0; i < 449; ++i) AddRectGate(*shell, 0.1f, 0.1f, 0.2f + 0.001f * float(i % 100), 0.9f, 0);
    ASSERT_EQ(shell->GetGateCount(), 450);
    CPLOT* plot = AddPlot(shell->GetRoot());
    const std::vector<lm::MenuItem> gates = Menu(*plot, CPoint(125, 15));
    const std::vector<lm::MenuItem> params = Menu(*plot, CPoint(140, 232));
    ASSERT_EQ(gates.size(), 450u);
    ASSERT_EQ(params.size(), 3u);
    std::set<int32_t> ids;
    for (const auto& it : gates) ids.insert(it.id);
    for (const auto& it : params) ids.insert(it.id);
    EXPECT_EQ(ids.size(), 453u);
    EXPECT_EQ(gates[399].id, 499);
    for (int32_t id : {1, 2, 3, 4, 5, 6, 7, 11, 12, 15, 17, 18, 19, 21, 24, 25}) EXPECT_EQ(ids.count(id), 0u);

    // Gate 420 (whose id under the plain rule would be parameter 20's).
    const int32_t id420 = gates[420].id;
    EXPECT_FALSE(plot->OnContextCommand(uint32_t(id420), 0));
    EXPECT_EQ(plot->GetGate(), shell->GetGate(420));
    EXPECT_EQ(plot->GetXParam(), 0);
    // Gates between 256 and 399 are reached as well.
    EXPECT_FALSE(plot->OnContextCommand(uint32_t(gates[300].id), 0));
    EXPECT_EQ(plot->GetGate(), shell->GetGate(300));
    // Parameter 2 from the X band.
    EXPECT_FALSE(plot->OnContextCommand(uint32_t(params[2].id), 0));
    EXPECT_EQ(plot->GetXParam(), 2);
    EXPECT_EQ(plot->GetGate(), shell->GetGate(300));
}

TEST_F(PlotInteractTest, RegionMenuAndItsCommands) {
    VexaDataShell* shell = AddShell("grid-l.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot());
    int32_t state = 0;
    DrawShape(*plot, kTrackRectTool, Page(*plot, 40, 30), Page(*plot, 120, 100), &state);
    DrawShape(*plot, kTrackRectTool, Page(*plot, 130, 110), Page(*plot, 180, 160), &state);
    DrawOnPage(*plot);  // labels take their extent
    auto* second = dynamic_cast<CRgnLayer*>(plot->GetRegionLayers()[1].get());
    ASSERT_NE(second, nullptr);
    const CRect a = plot->GetPlotArea();
    const CPoint onLabel(a.left + second->GetLabelRect().left + 1, a.top + second->GetLabelRect().top + 1);
    ASSERT_TRUE(second->HitLabel(onLabel));
    int32_t extra = -1;
    MenuView m = View(Menu(*plot, onLabel, &extra));
    EXPECT_EQ(m.ids, (std::vector<int32_t>{11, 12, 17, 19}));
    EXPECT_EQ(m.texts, (std::vector<QString>{"New Plot", "Local Plot", "Copy Region", "Region Color"}));
    EXPECT_EQ(extra, 1);

    // Region colour: the chosen colour, nothing on cancel.
    ui.QueueColor(RGB(1, 2, 3));
    EXPECT_TRUE(plot->OnContextCommand(kPlotCmdRegionColor, extra));
    EXPECT_EQ(second->GetColor(), RGB(1, 2, 3));
    ui.QueueColor(std::nullopt);
    plot->OnContextCommand(kPlotCmdRegionColor, extra);
    EXPECT_EQ(second->GetColor(), RGB(1, 2, 3));

    // Percentage label toggled.
    EXPECT_TRUE(second->GetShowPercent());
    plot->OnContextCommand(kPlotCmdTogglePercent, extra);
    EXPECT_FALSE(second->GetShowPercent());

    // New Plot: a plot on the region's gate, asked for at this one's lower
    // right corner and placed beside it, where it covers nothing.
    const int32_t before = doc->GetObjectCount();
    EXPECT_TRUE(plot->OnContextCommand(kPlotCmdNewPlot, extra));
    ASSERT_EQ(doc->GetObjectCount(), before + 1);
    auto* made = dynamic_cast<CPLOT*>(doc->GetActiveObject());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetGate(), shell->GetGate(2));
    EXPECT_EQ(made->GetRect().TopLeft(), CPoint(plot->GetRect().right + kPilotGap, 220));

    // Local Plot: this plot moves to the region's gate; its region layers go
    // and leave their regions alone.
    CDataRgn* firstRegion = shell->GetGate(1)->GetRegion();
    ASSERT_EQ(firstRegion->GetUsers().size(), 1u);  // this plot's layer
    EXPECT_TRUE(plot->OnContextCommand(kPlotCmdLocalPlot, extra));
    EXPECT_EQ(plot->GetGate(), shell->GetGate(2));
    EXPECT_TRUE(plot->GetRegionLayers().empty());
    EXPECT_TRUE(plot->GetShownRegions().empty());
    EXPECT_TRUE(firstRegion->GetUsers().empty());
    DrawOnPage(*plot);

    // A region index that names nothing does nothing.
    EXPECT_TRUE(plot->OnContextCommand(kPlotCmdCopyRegion, 7));
    EXPECT_EQ(doc->GetCopiedItem(), nullptr);
}

// ============================================================= copy, paste

class PasteTest : public PlotInteractTest {
protected:
    void SetUp() override {
        PlotInteractTest::SetUp();
        source = AddShell("src.fcs");
        gate = AddRectGate(*source, 0.2f, 0.2f, 0.6f, 0.6f, 0, "Src");
        sourcePlot = AddPlot(source->GetRoot());
        sourcePlot->ShowRegion(gate->GetRegion());
        ASSERT_EQ(sourcePlot->GetRegionLayers().size(), 1u);
        ASSERT_TRUE(sourcePlot->OnContextCommand(kPlotCmdCopyRegion, 0));
        ASSERT_NE(doc->GetCopiedItem(), nullptr);
    }
    int Boxes() const { return ui.Count(Kind::MessageBox); }
    QString LastBox() const { return ui.CallsOf(Kind::MessageBox).back().text; }

    VexaDataShell* source = nullptr;
    CGateNode* gate = nullptr;
    CPLOT* sourcePlot = nullptr;
};

TEST_F(PasteTest, TheClipKeepsItsSourceAndTransforms) {
    const CRegionClip* clip = doc->GetCopiedItem();
    EXPECT_EQ(clip->GetSourceShell(), source);
    EXPECT_EQ(clip->GetSourceRegion(), gate->GetRegion());
    EXPECT_EQ(clip->GetRegion().GetOwner(), nullptr);
    EXPECT_EQ(clip->GetRegion().GetBox(), gate->GetRegion()->GetBox());
    ASSERT_NE(clip->GetXTrans(), nullptr);
    EXPECT_TRUE(clip->GetXTrans()->IsEqual(*source->GetTrans(0)));
    EXPECT_NE(clip->GetXTrans(), source->GetTrans(0));  // a copy

    // The source's gate removed, then its shell closed: the clip lets go.
    source->RemoveGate(gate, true);
    EXPECT_EQ(clip->GetSourceRegion(), nullptr);
    EXPECT_EQ(clip->GetSourceShell(), source);
    doc->RemoveDataShell(source);
    EXPECT_EQ(clip->GetSourceShell(), nullptr);
    // What it holds still pastes, as a new gate.
    VexaDataShell* target = AddShell("dst-a.fcs");
    CPLOT* plot = AddPlot(target->GetRoot());
    EXPECT_TRUE(plot->PasteRegion(*clip));
    EXPECT_EQ(target->GetGateCount(), 2);
}

TEST_F(PasteTest, RegionsThatDoNotFitAreRefusedWithTheirMessage) {
    // Swapped axes.
    VexaDataShell* same = AddShell("dst-b.fcs");
    CPLOT* swapped = AddPlot(same->GetRoot(), kRect, 1, 0);
    EXPECT_FALSE(swapped->PasteRegion(*doc->GetCopiedItem()));
    ASSERT_EQ(Boxes(), 1);
    EXPECT_EQ(LastBox(), "Parameter Error");
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox).back().icon, lm::MsgIcon::Warning);
    EXPECT_EQ(same->GetGateCount(), 1);

    // Another X scale.
    VexaDataShell* wideX = AddShell("", MakeShell3("wide-x.fcs", "2000", "1000"));
    CPLOT* px = AddPlot(wideX->GetRoot(), CRect(300, 0, 550, 250));
    EXPECT_FALSE(px->PasteRegion(*doc->GetCopiedItem()));
    EXPECT_EQ(LastBox(), "X Scale Error");
    EXPECT_EQ(wideX->GetGateCount(), 1);

    // Another Y scale: refused for a rectangle...
    VexaDataShell* wideY = AddShell("", MakeShell3("wide-y.fcs", "1000", "2000"));
    CPLOT* py = AddPlot(wideY->GetRoot(), CRect(600, 0, 850, 250));
    EXPECT_FALSE(py->PasteRegion(*doc->GetCopiedItem()));
    EXPECT_EQ(LastBox(), "Y Scale Error");
    EXPECT_EQ(wideY->GetGateCount(), 1);
    EXPECT_TRUE(py->GetRegionLayers().empty());

    // ...but not for a range, which reads no Y.
    CGateNode* range = source->AddRegionGate(std::make_unique<CrRange>(0, 1, 0.3f, 0.5f), 0, "R");
    sourcePlot->ShowRegion(range->GetRegion());
    ASSERT_TRUE(sourcePlot->OnContextCommand(kPlotCmdCopyRegion, 1));
    const int boxes = Boxes();
    EXPECT_TRUE(py->PasteRegion(*doc->GetCopiedItem()));
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_EQ(wideY->GetGateCount(), 2);
}

TEST_F(PasteTest, AnotherShellGetsANewGateUnderThePlotsGateAndTheLayerEditsIt) {
    VexaDataShell* target = AddShell("dst-c.fcs");
    CGateNode* parent = AddRectGate(*target, 0.0f, 0.0f, 0.5f, 1.01f, 0, "Left");
    CPLOT* plot = AddPlot(parent);
    EXPECT_TRUE(plot->OnContextCommand(kPlotCmdPasteRegion, 0));
    ASSERT_EQ(target->GetGateCount(), 3);
    CGateNode* pasted = target->GetGate(2);
    EXPECT_EQ(pasted->GetInputs().front(), parent);
    // Events of the source box that the parent keeps: FS and SS in
    // 200 .. 600 exclusive, FS also below 500.
    int expected = 0;
    for (const auto& [x, y] : Grid())
        if (x > 200 && x < 500 && y > 200 && y < 600) ++expected;
    EXPECT_EQ(int(pasted->GetMask().CountSetBits()), expected);
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    CLayer* layer = plot->GetRegionLayers()[0].get();
    EXPECT_EQ(layer->GetRegion(), pasted->GetRegion());
    EXPECT_EQ(layer->GetRegion()->GetOwner()->GetShell(), target);
    EXPECT_NE(layer->GetRegion(), &doc->GetCopiedItem()->GetRegion());
    EXPECT_EQ(dynamic_cast<CRgnLayer*>(layer)->GetPercentText(),
              Percent(expected, parent->GetMask().CountSetBits()));
    EXPECT_EQ(Boxes(), 0);
}

TEST_F(PasteTest, SameShellShowsTheSourceRegionWithoutANewGate) {
    CPLOT* plot = AddPlot(source->GetRoot(), CRect(300, 0, 550, 250));
    EXPECT_TRUE(plot->PasteRegion(*doc->GetCopiedItem()));
    EXPECT_EQ(source->GetGateCount(), 2);
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    EXPECT_EQ(plot->GetRegionLayers()[0]->GetRegion(), gate->GetRegion());
    EXPECT_EQ(plot->GetShownRegions(), std::vector<CDataRgn*>{gate->GetRegion()});
    // Once is enough.
    EXPECT_FALSE(plot->PasteRegion(*doc->GetCopiedItem()));
    EXPECT_EQ(plot->GetRegionLayers().size(), 1u);
    // Hidden, it can be pasted again; the region itself stays in the shell.
    plot->HideRegion(gate->GetRegion());
    EXPECT_TRUE(plot->GetRegionLayers().empty());
    EXPECT_TRUE(plot->GetShownRegions().empty());
    EXPECT_EQ(source->GetGateCount(), 2);
    EXPECT_TRUE(plot->PasteRegion(*doc->GetCopiedItem()));
}

TEST_F(PasteTest, QuadrantIsRefusedBeforeAnyGateIsAdded) {
    CGateNode* quad = source->AddRegionGate(
        std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f), 0, "Q");
    ASSERT_NE(quad, nullptr);
    std::unique_ptr<CRegionClip> clip = CRegionClip::Make(quad->GetRegion());
    ASSERT_NE(clip, nullptr);
    VexaDataShell* target = AddShell("dst-d.fcs");
    CPLOT* plot = AddPlot(target->GetRoot());
    EXPECT_FALSE(plot->PasteRegion(*clip));
    EXPECT_EQ(target->GetGateCount(), 1);
    EXPECT_TRUE(plot->GetRegionLayers().empty());
    EXPECT_EQ(Boxes(), 0);  // silently
}

TEST_F(PasteTest, PasteThenNewCopyThenRepaintKeepsEveryLayerOnALiveRegion) {
    VexaDataShell* target = AddShell("dst-e.fcs");
    CPLOT* other = AddPlot(target->GetRoot());
    CPLOT* same = AddPlot(source->GetRoot(), CRect(300, 0, 550, 250));
    ASSERT_TRUE(other->OnContextCommand(kPlotCmdPasteRegion, 0));
    ASSERT_TRUE(same->OnContextCommand(kPlotCmdPasteRegion, 0));
    // A new copy frees the old clip.
    CGateNode* g2 = AddRectGate(*source, 0.1f, 0.1f, 0.2f, 0.2f, 0, "G2");
    sourcePlot->ShowRegion(g2->GetRegion());
    ASSERT_TRUE(sourcePlot->OnContextCommand(kPlotCmdCopyRegion, 1));
    EXPECT_EQ(doc->GetCopiedItem()->GetSourceRegion(), g2->GetRegion());
    for (CPLOT* p : {other, same}) {
        const QImage img = DrawOnPage(*p, 600, 300);
        ASSERT_EQ(p->GetRegionLayers().size(), 1u);
        CDataRgn* r = p->GetRegionLayers()[0]->GetRegion();
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->GetOwner()->GetShell(), p->GetShell());
        // The region's outline is drawn: its left edge at FS 200 on the area.
        const CRect a = p->GetPlotArea();
        const int32_t col = a.left + int32_t(float(a.Width()) * 0.2f) - 1;
        EXPECT_EQ(PixelAt(img, col, a.top + a.Height() / 2), qRgb(0, 0, 0));
    }
    // The pasted region leaves with its gate and nothing points at it.
    target->RemoveGate(target->GetGate(1), true);
    EXPECT_TRUE(other->GetRegionLayers().empty());
    DrawOnPage(*other);
}

// ======================================================== zoom, middle, ...

TEST_F(PlotInteractTest, ZoomNearThePageEdgeAndBack) {
    VexaDataShell* shell = AddShell("grid-m.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot(), CRect(700, 100, 950, 350));
    plot->ToggleZoom();
    EXPECT_TRUE(plot->IsZoomed());
    EXPECT_EQ(plot->GetRect(), CRect(674, 100, 1124, 550));
    EXPECT_EQ(plot->GetSavedRect(), CRect(700, 100, 950, 350));
    // The title double click toggles back.
    int32_t state = 0;
    EXPECT_TRUE(plot->OnLButtonDblClk(0, CPoint(900, 115), &state));
    EXPECT_FALSE(plot->IsZoomed());
    EXPECT_EQ(plot->GetRect(), CRect(700, 100, 950, 350));
}

TEST_F(PlotInteractTest, AsDefaultTakesThePlotsValues) {
    VexaDataShell* shell = AddShell("", MakeShell3("defaults.fcs"));
    CPLOT* plot = AddPlot(shell->GetRoot(), CRect(123, 45, 423, 245), 2, 1);
    plot->SetMaxDotEvents(777);
    CPLOT* other = AddPlot(shell->GetRoot(), CRect(500, 0, 750, 250));
    plot->AddOverlayFrom(other);
    ASSERT_TRUE(plot->GetStyleFlags() & kPlotFlagOverlay);
    EXPECT_TRUE(plot->OnContextCommand(kPlotCmdAsDefault, 0));
    const PlotDefaults& d = GetPlotDefaults();
    EXPECT_EQ(d.width, 300);
    EXPECT_EQ(d.height, 200);
    EXPECT_EQ(d.parax, 2);
    EXPECT_EQ(d.paray, 1);
    EXPECT_EQ(d.evts, 777);
    EXPECT_EQ(d.style, kPlotFlagDots);  // overlays are not a default
    for (const auto& l : plot->GetDotLayers()) EXPECT_EQ(l->GetMaxEvents(), 777);
}

TEST_F(PlotInteractTest, DoubleClickOnALabelMakesAPlotOfItsGateAtThePilot) {
    VexaDataShell* shell = AddShell("grid-p.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot());
    int32_t state = 0;
    DrawShape(*plot, kTrackRectTool, Page(*plot, 40, 30), Page(*plot, 120, 100), &state);
    DrawOnPage(*plot);
    auto* layer = dynamic_cast<CRgnLayer*>(plot->GetRegionLayers()[0].get());
    const CRect a = plot->GetPlotArea();
    const CPoint label(a.left + layer->GetLabelRect().left + 1, a.top + layer->GetLabelRect().top + 1);
    doc->SetPilot(CPoint(600, 40));
    state = kTrackRegionSelected;
    EXPECT_TRUE(plot->OnLButtonDblClk(0, label, &state));
    EXPECT_EQ(state, kTrackMove);
    auto* made = dynamic_cast<CPLOT*>(doc->GetActiveObject());
    ASSERT_NE(made, nullptr);
    EXPECT_NE(made, plot);
    EXPECT_EQ(made->GetGate(), shell->GetGate(1));
    EXPECT_EQ(made->GetRect().TopLeft(), CPoint(600, 40));
}

TEST_F(PlotInteractTest, OverlayComesFromTheSourcesShownLayer) {
    VexaDataShell* shell = AddShell("grid-q.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot());
    CPLOT* hist = AddPlot(shell->GetRoot(), CRect(300, 0, 550, 250));
    hist->SetPlotType(kPlotFlagHistogram);
    plot->AddOverlayFrom(plot);
    EXPECT_TRUE(plot->GetOverlayLayers().empty());
    plot->AddOverlayFrom(hist);
    ASSERT_EQ(plot->GetOverlayLayers().size(), 1u);
    EXPECT_NE(dynamic_cast<CHistLayer*>(plot->GetOverlayLayers()[0].get()), nullptr);
    EXPECT_TRUE(plot->GetStyleFlags() & kPlotFlagOverlay);
    plot->AddOverlayFrom(nullptr);
    EXPECT_EQ(plot->GetOverlayLayers().size(), 1u);
    // The source goes; the overlay keeps its own copy.
    doc->RemoveObject(hist, false);
    DrawOnPage(*plot);
    EXPECT_EQ(plot->GetOverlayLayers().size(), 1u);
}

TEST_F(PlotInteractTest, DragCacheHoldsEverythingButTheEditedRegion) {
    VexaDataShell* shell = AddShell("grid-r.fcs");
    CPLOT* plot = AddPlot(shell->GetRoot());
    int32_t state = 0;
    DrawShape(*plot, kTrackRectTool, Page(*plot, 40, 30), Page(*plot, 120, 100), &state);
    auto* edited = plot->GetEditedRegionLayer();
    ASSERT_NE(edited, nullptr);
    edited->SetColor(RGB(250, 120, 10));
    EXPECT_FALSE(plot->IsDragCacheReady());
    plot->CreateDragCache();
    ASSERT_TRUE(plot->IsDragCacheReady());

    const CRect a = plot->GetPlotArea();
    QImage page(300, 300, QImage::Format_RGB32);
    page.fill(qRgb(255, 255, 255));
    QPainter p(&page);
    EXPECT_TRUE(plot->DrawDragCacheAt(&p, 0, 0));
    p.end();
    // The edited rectangle's left edge (column x0 - 1) in its colour, over the cache.
    EXPECT_EQ(PixelAt(page, a.left + 39, a.bottom - 60), Rgb(RGB(250, 120, 10)));
    // The cache itself has none of it: the edited layer is left out of it.
    QImage cacheOnly(300, 300, QImage::Format_RGB32);
    cacheOnly.fill(qRgb(255, 255, 255));
    plot->SetEditedRegionLayer(nullptr);
    QPainter q(&cacheOnly);
    plot->DrawDragCacheAt(&q, 0, 0);
    q.end();
    EXPECT_EQ(CountColour(cacheOnly, a, Rgb(RGB(250, 120, 10))), 0);
    plot->FreeDragCache();
    EXPECT_FALSE(plot->IsDragCacheReady());
    QPainter r(&page);
    EXPECT_FALSE(plot->DrawDragCacheAt(&r, 0, 0));
}

namespace {

TEST_F(PlotInteractTest, APlotTakesOnlyAGateOfItsOwnShell) {
    VexaDataShell* mine = AddShell("grid-m.fcs");
    VexaDataShell* other = AddShell("grid-o.fcs");
    CGateNode* own = AddRectGate(*mine, 0.2f, 0.2f, 0.6f, 0.6f, 0, "Mine");
    CGateNode* foreign = AddRectGate(*other, 0.2f, 0.2f, 0.6f, 0.6f, 0, "Other");
    CPLOT* plot = AddPlot(mine->GetRoot());
    plot->TakeRegionGate(foreign);
    EXPECT_EQ(plot->GetGate(), mine->GetRoot());
    plot->TakeRegionGate(nullptr);
    EXPECT_EQ(plot->GetGate(), mine->GetRoot());
    plot->TakeRegionGate(own);
    EXPECT_EQ(plot->GetGate(), own);
}

}  // namespace
