// Region layers: the mouse state machine driven with points the way a plot
// hands them on, the pixel <-> fraction bookkeeping with their regions, their
// marks and labels, their records and the makers the plots use.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "base/Archive.h"
#include "base/Numbers.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "report/plot/EllipseLayer.h"
#include "report/plot/RangeLayer.h"
#include "report/plot/RectLayer.h"
#include "report/page/TrackStates.h"
#include "tests/report/PlotTestUtil.h"

using namespace plottest;

namespace {

const CRect kPlotRect(0, 0, 250, 250);  // area (46, 36, 234, 206)
constexpr int32_t kW = 188;
constexpr int32_t kH = 170;

// A 20 x 20 grid of events at 25, 75, ... 975 on both linear 0..1000 axes:
// display fractions 0.025 + 0.05 i, never near a shape's border below.
std::vector<std::pair<double, double>> GridEvents() {
    std::vector<std::pair<double, double>> ev;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j) ev.emplace_back(25.0 + 50.0 * i, 25.0 + 50.0 * j);
    return ev;
}

// Events strictly inside the pixel box, counted here in doubles.
int CountInBox(int x0, int y0, int x1, int y1) {
    int n = 0;
    for (const auto& [x, y] : GridEvents()) {
        const double fx = x / 1000.0, fy = y / 1000.0;
        if (double(x0) / kW < fx && fx < double(x1) / kW && double(y0) / kH < fy && fy < double(y1) / kH) ++n;
    }
    return n;
}

class RgnLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApp();
        ResetPlotDefaults();
        shell = MakeShell(GridEvents());
        plot = std::make_unique<CPLOT>(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
        ASSERT_EQ(plot->GetPlotArea(), CRect(46, 36, 234, 206));
    }

    // The page point of layer point (x, y).
    CPoint Pg(int32_t x, int32_t y) const {
        const CRect a = plot->GetPlotArea();
        return CPoint(a.left + x, a.bottom - y);
    }

    // Draws a new shape from `from` to `to` as the plot does with a tool.
    void Create(CRgnLayer& layer, CPoint from, CPoint to) {
        state = kTrackRegionCreate;
        ASSERT_TRUE(layer.OnButtonDown(Pg(from.x, from.y), &state));
        ASSERT_EQ(state, kTrackRubberBandRegion);
        ASSERT_TRUE(layer.OnDrag(Pg((from.x + to.x) / 2, (from.y + to.y) / 2), &state));
        ASSERT_TRUE(layer.OnDrag(Pg(to.x, to.y), &state));
        ASSERT_TRUE(layer.OnButtonUp(Pg(to.x, to.y), &state));
        ASSERT_EQ(state, kTrackRegionSelected);
    }

    // Creation finished: the region becomes a gate under the plot's gate.
    CGateNode* MakeGate(CRgnLayer& layer) {
        std::unique_ptr<CDataRgn> r = layer.MakeRegion();
        EXPECT_NE(r, nullptr);
        CGateNode* g = shell->AddRegionGate(std::move(r), 0, "");
        layer.RegionChanged();
        return g;
    }

    // A rectangle layer on a gate, selected (state 3), box (40,30)-(120,100).
    std::unique_ptr<CRectLayer> SelectedRect() {
        auto l = std::make_unique<CRectLayer>(0, 1, plot.get());
        Create(*l, {40, 30}, {120, 100});
        MakeGate(*l);
        l->SetSelected(true);
        return l;
    }

    std::unique_ptr<VexaDataShell> shell;
    std::unique_ptr<CPLOT> plot;
    int32_t state = kTrackMove;
};

std::array<float, 4> BoxOf(const CDataRgn* r) { return r->GetBox(); }

const QRgb kWhite = qRgb(255, 255, 255);

bool Marked(const QImage& img, int x, int y) { return PixelAt(img, x, y) != kWhite; }

// Marks in the columns [x0, x1) and rows [y0, y1).
int MarksIn(const QImage& img, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (Marked(img, x, y)) ++n;
    return n;
}

std::vector<uint8_t> Bytes(const CLayer& l) {
    CArchive ar;
    l.Store(ar);
    return ar.Bytes();
}

// Appends the bytes of v as the file has them (the test machine is
// little-endian, as the file is).
template <typename T>
void Put(std::vector<uint8_t>& b, T v) {
    const size_t at = b.size();
    b.resize(at + sizeof v);
    std::memcpy(b.data() + at, &v, sizeof v);
}

// Three events on the diagonal (10 %, 50 %, 90 % of both axes) and a
// rectangle gate "Mid" around the middle one, for marks and percentages.
class RgnMarksTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApp();
        ResetPlotDefaults();
        shell = MakeShell({{100, 100}, {500, 500}, {900, 900}});
        plot = std::make_unique<CPLOT>(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
        gate = AddRectGate(*shell, 40.0f / kW, 30.0f / kH, 120.0f / kW, 100.0f / kH, 0, "Mid");
        region = static_cast<CrRect*>(gate->GetRegion());
    }

    std::unique_ptr<VexaDataShell> shell;
    std::unique_ptr<CPLOT> plot;
    CGateNode* gate = nullptr;
    CrRect* region = nullptr;
};

}  // namespace

// ============================================================== creation

TEST_F(RgnLayerTest, BoxesDrawnInAnyDirectionEndOrderedWithOrderedFractions) {
    const std::pair<CPoint, CPoint> strokes[] = {{{40, 30}, {120, 100}},
                                                 {{120, 100}, {40, 30}},
                                                 {{40, 100}, {120, 30}},
                                                 {{120, 30}, {40, 100}}};
    for (int shape = 0; shape < 2; ++shape) {
        for (const auto& [from, to] : strokes) {
            SCOPED_TRACE(testing::Message() << "shape " << shape << " from " << from.x << "," << from.y);
            std::unique_ptr<CBoxRgnLayer> l;
            if (shape == 0)
                l = std::make_unique<CRectLayer>(0, 1, plot.get());
            else
                l = std::make_unique<CEllipseLayer>(0, 1, plot.get());
            Create(*l, from, to);
            EXPECT_EQ(l->GetBox(), CRect(40, 30, 120, 100));
            // The label sits at the box centre, in drawing coordinates.
            EXPECT_EQ(l->GetLabelRect(), CRect(80, kH - 65, 80, kH - 65));
            EXPECT_FLOAT_EQ(l->GetLabelFractionX(), 80.0f / kW);
            CGateNode* g = MakeGate(*l);
            ASSERT_NE(g, nullptr);
            const std::array<float, 4> b = BoxOf(l->GetRegion());
            EXPECT_EQ(b, (std::array<float, 4>{40.0f / kW, 30.0f / kH, 120.0f / kW, 100.0f / kH}));
            EXPECT_EQ(l->GetRegion()->GetType(), shape == 0 ? kRgnRect : kRgnEllipse);
            if (shape == 0) {
                EXPECT_EQ(int(g->GetMask().CountSetBits()), CountInBox(40, 30, 120, 100));
            }
            EXPECT_EQ(l->GetRegionName(), g->GetName());
        }
    }
}

TEST_F(RgnLayerTest, RangeDrawnRightToLeftEndsOrdered) {
    CRangeLayer l(0, 1, plot.get());
    Create(l, {150, 60}, {30, 80});
    EXPECT_EQ(l.GetX0(), 30);
    EXPECT_EQ(l.GetX1(), 150);
    EXPECT_EQ(l.GetLevel(), 80);
    // 15 pixels under the bar, centred.
    EXPECT_EQ(l.GetLabelRect().TopLeft(), CPoint(90, kH - 80 + 15));
    CGateNode* g = MakeGate(l);
    ASSERT_NE(g, nullptr);
    float lo = 0, hi = 0;
    static_cast<CrRange*>(l.GetRegion())->GetGeometry(&lo, &hi);
    EXPECT_EQ(lo, 30.0f / kW);
    EXPECT_EQ(hi, 150.0f / kW);
    int expected = 0;
    for (const auto& e : GridEvents())
        if (30.0 / kW < e.first / 1000.0 && e.first / 1000.0 < 150.0 / kW) ++expected;
    EXPECT_EQ(int(g->GetMask().CountSetBits()), expected);
}

TEST_F(RgnLayerTest, PressAndReleaseWithoutMoveStillMakesARegionAndAGate) {
    CRectLayer rect(0, 1, plot.get());
    state = kTrackRegionCreate;
    ASSERT_TRUE(rect.OnButtonDown(Pg(70, 70), &state));
    ASSERT_TRUE(rect.OnButtonUp(Pg(70, 70), &state));
    EXPECT_EQ(state, kTrackRegionSelected);
    CGateNode* g = MakeGate(rect);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->GetMask().CountSetBits(), 0u);
    EXPECT_EQ(rect.GetPercentText(), "0.00");

    CRangeLayer range(0, 1, plot.get());
    state = kTrackRegionCreate;
    ASSERT_TRUE(range.OnButtonDown(Pg(70, 70), &state));
    ASSERT_TRUE(range.OnButtonUp(Pg(70, 70), &state));
    EXPECT_NE(MakeGate(range), nullptr);
    EXPECT_EQ(range.GetX0(), range.GetX1());
    EXPECT_EQ(range.MakeRegion(), nullptr);  // only once: it has one now
}

// ============================================================ press order

TEST_F(RgnLayerTest, SelectedRectanglePrefersHandleThenOutlineThenLabel) {
    auto l = SelectedRect();
    // The label lies on the bottom edge's band and reaches into the interior.
    l->SetLabelRect(CRect(60, kH - 40, 100, kH - 25));

    // (42, 32) is within the band and within 5 of corner 0.
    state = kTrackRegionSelected;
    ASSERT_TRUE(l->OnButtonDown(Pg(42, 32), &state));
    EXPECT_EQ(state, kTrackHandleDrag);
    EXPECT_EQ(l->GetHandle(), 0);
    ASSERT_TRUE(l->OnButtonUp(Pg(42, 32), &state));
    EXPECT_EQ(state, kTrackRegionSelected);

    // On the band and on the label: the outline wins.
    ASSERT_TRUE(l->OnButtonDown(Pg(80, 32), &state));
    EXPECT_EQ(state, kTrackRegionMove);
    ASSERT_TRUE(l->OnButtonUp(Pg(80, 32), &state));

    // On the label only: a label drag.
    ASSERT_TRUE(l->OnButtonDown(Pg(80, 38), &state));
    EXPECT_EQ(state, kTrackLabelDrag);
    ASSERT_TRUE(l->OnButtonUp(Pg(80, 38), &state));
    EXPECT_EQ(state, kTrackMove);

    // The interior more than 5 pixels from every edge: not taken, deselected.
    state = kTrackRegionSelected;
    EXPECT_FALSE(l->OnButtonDown(Pg(80, 70), &state));
    EXPECT_EQ(state, kTrackMove);
    EXPECT_FALSE(l->IsSelected());

    // Idle: the label wins over the outline and does not select.
    state = kTrackMove;
    ASSERT_TRUE(l->OnButtonDown(Pg(80, 32), &state));
    EXPECT_EQ(state, kTrackLabelDrag);
    EXPECT_FALSE(l->IsSelected());
    ASSERT_TRUE(l->OnButtonUp(Pg(80, 32), &state));
    // Off the label, on the band: selected.
    state = kTrackMove;
    ASSERT_TRUE(l->OnButtonDown(Pg(120, 60), &state));
    EXPECT_EQ(state, kTrackRegionSelected);
    EXPECT_TRUE(l->IsSelected());
    // Nowhere near: not taken, still idle.
    state = kTrackMove;
    EXPECT_FALSE(l->OnButtonDown(Pg(170, 150), &state));
    EXPECT_EQ(state, kTrackMove);
}

TEST_F(RgnLayerTest, HandlesAreFoundInCornerOrderAndBandsAreHalfOpen) {
    auto l = SelectedRect();  // (40,30)-(120,100)
    EXPECT_EQ(l->HitHandle({44, 34}), 0);
    EXPECT_EQ(l->HitHandle({45, 34}), -1);
    EXPECT_EQ(l->HitHandle({36, 104}), 1);
    EXPECT_EQ(l->HitHandle({124, 104}), 2);
    EXPECT_EQ(l->HitHandle({116, 26}), 3);
    // A tiny box: all corners within reach; the first in order wins.
    l->SetBox(60, 60, 62, 62);
    EXPECT_EQ(l->HitHandle({61, 61}), 0);
    l->SetBox(40, 30, 120, 100);
    EXPECT_TRUE(l->HitOutline({35, 60}));   // left edge of the grown box, inclusive
    EXPECT_FALSE(l->HitOutline({34, 60}));
    EXPECT_TRUE(l->HitOutline({124, 60}));
    EXPECT_FALSE(l->HitOutline({125, 60}));  // right edge exclusive
    EXPECT_TRUE(l->HitOutline({44, 60}));
    EXPECT_FALSE(l->HitOutline({45, 60}));   // the shrunk box starts here
    EXPECT_TRUE(l->HitOutline({115, 60}));   // the shrunk box ends before 115
    EXPECT_TRUE(l->HitOutline({80, 25}));
    EXPECT_FALSE(l->HitOutline({80, 24}));
    EXPECT_TRUE(l->HitOutline({80, 104}));
    EXPECT_FALSE(l->HitOutline({80, 105}));  // top edge exclusive
}

TEST_F(RgnLayerTest, EllipseAndRangeDeselectOnTheirLabelWhenSelected) {
    CEllipseLayer e(0, 1, plot.get());
    Create(e, {40, 30}, {120, 100});
    MakeGate(e);
    e.SetLabelRect(CRect(60, kH - 70, 100, kH - 55));
    state = kTrackRegionSelected;
    EXPECT_FALSE(e.OnButtonDown(Pg(80, 60), &state));
    EXPECT_EQ(state, kTrackMove);
    // The ellipse's outline is the band along its box, corners included.
    state = kTrackRegionSelected;
    ASSERT_TRUE(e.OnButtonDown(Pg(44, 36), &state));
    EXPECT_EQ(state, kTrackRegionMove);

    CRangeLayer r(0, 1, plot.get());
    Create(r, {40, 50}, {120, 50});
    MakeGate(r);
    r.SetLabelRect(CRect(60, kH - 100, 100, kH - 85));
    state = kTrackRegionSelected;
    EXPECT_FALSE(r.OnButtonDown(Pg(80, 90), &state));
    EXPECT_EQ(state, kTrackMove);
    // Handle (within 2 pixels) before outline.
    state = kTrackRegionSelected;
    ASSERT_TRUE(r.OnButtonDown(Pg(122, 52), &state));
    EXPECT_EQ(state, kTrackHandleDrag);
    EXPECT_EQ(r.GetHandle(), 1);
    ASSERT_TRUE(r.OnButtonUp(Pg(122, 52), &state));
    state = kTrackRegionSelected;
    ASSERT_TRUE(r.OnButtonDown(Pg(123, 52), &state));
    EXPECT_EQ(state, kTrackRegionMove);
}

TEST_F(RgnLayerTest, StatesOutsideTheTablesAreNotTaken) {
    auto l = SelectedRect();
    for (int32_t s : {kTrackRegionMove, kTrackLabelDrag, kTrackPolygonVertex, kTrackIdle, kTrackRectTool}) {
        state = s;
        EXPECT_FALSE(l->OnButtonDown(Pg(40, 60), &state)) << s;
        EXPECT_EQ(state, s);
    }
    // A second press while drawing or dragging a handle cancels to idle.
    for (int32_t s : {kTrackRubberBandRegion, kTrackHandleDrag}) {
        state = s;
        EXPECT_TRUE(l->OnButtonDown(Pg(40, 60), &state));
        EXPECT_EQ(state, kTrackMove);
    }
    for (int32_t s : {int32_t(kTrackMove), int32_t(kTrackRegionSelected), int32_t(kTrackPolygonEntry), 7}) {
        state = s;
        EXPECT_FALSE(l->OnDrag(Pg(50, 60), &state)) << s;
    }
    for (int32_t s : {kTrackMove, kTrackRegionSelected, kTrackRegionCreate}) {
        state = s;
        EXPECT_FALSE(l->OnButtonUp(Pg(50, 60), &state)) << s;
        EXPECT_EQ(state, s);
    }
    EXPECT_EQ(l->GetBox(), CRect(40, 30, 120, 100));
    EXPECT_FALSE(l->OnButtonDown(Pg(40, 60), nullptr));
}

// ========================================================= drags and moves

TEST_F(RgnLayerTest, HandleDragPushesTheNormalisedBoxAndReEvaluatesTheGate) {
    auto l = SelectedRect();
    CGateNode* g = l->GetRegionGate();
    // Corner 0 dragged past the opposite corner.
    state = kTrackRegionSelected;
    ASSERT_TRUE(l->OnButtonDown(Pg(40, 30), &state));
    ASSERT_EQ(l->GetHandle(), 0);
    ASSERT_TRUE(l->OnDrag(Pg(160, 130), &state));
    EXPECT_EQ(l->GetBox(), CRect(160, 130, 120, 100));  // not ordered while dragging
    ASSERT_TRUE(l->OnButtonUp(Pg(160, 130), &state));
    EXPECT_EQ(state, kTrackRegionSelected);
    EXPECT_EQ(l->GetBox(), CRect(120, 100, 160, 130));
    EXPECT_EQ(BoxOf(l->GetRegion()), (std::array<float, 4>{120.0f / kW, 100.0f / kH, 160.0f / kW, 130.0f / kH}));
    EXPECT_EQ(int(g->GetMask().CountSetBits()), CountInBox(120, 100, 160, 130));

    // Corners 1, 2 and 3 move the edges they join.
    const struct {
        CPoint grab, to;
        CRect box;
    } cases[] = {{{120, 130}, {110, 140}, CRect(110, 100, 160, 140)},
                 {{160, 140}, {170, 150}, CRect(110, 100, 170, 150)},
                 {{170, 100}, {175, 90}, CRect(110, 90, 175, 150)}};
    for (const auto& c : cases) {
        state = kTrackRegionSelected;
        ASSERT_TRUE(l->OnButtonDown(Pg(c.grab.x, c.grab.y), &state));
        ASSERT_EQ(state, kTrackHandleDrag);
        ASSERT_TRUE(l->OnDrag(Pg(c.to.x, c.to.y), &state));
        ASSERT_TRUE(l->OnButtonUp(Pg(c.to.x, c.to.y), &state));
        EXPECT_EQ(l->GetBox(), c.box);
    }
}

TEST_F(RgnLayerTest, MovingABoxMovesItsLabelAndUpdatesGateAndPercentage) {
    auto l = SelectedRect();
    CGateNode* g = l->GetRegionGate();
    l->SetLabelRect(CRect(80, 70, 100, 85));
    ASSERT_EQ(CountInBox(40, 30, 120, 100), 72);
    ASSERT_EQ(l->GetPercentText(), "18.00");
    state = kTrackRegionSelected;
    ASSERT_TRUE(l->OnButtonDown(Pg(40, 60), &state));
    ASSERT_EQ(state, kTrackRegionMove);
    ASSERT_TRUE(l->OnDrag(Pg(45, 58), &state));
    ASSERT_TRUE(l->OnDrag(Pg(60, 50), &state));
    EXPECT_EQ(l->GetBox(), CRect(60, 20, 140, 90));
    EXPECT_EQ(l->GetLabelRect(), CRect(100, 80, 120, 95));  // y is downward for the label
    EXPECT_EQ(l->GetLastPoint(), CPoint(60, 50));
    // Nothing reaches the region before the release.
    EXPECT_EQ(BoxOf(l->GetRegion())[0], 40.0f / kW);
    ASSERT_TRUE(l->OnButtonUp(Pg(60, 50), &state));
    EXPECT_EQ(state, kTrackRegionSelected);
    EXPECT_EQ(BoxOf(l->GetRegion())[0], 60.0f / kW);
    const int n = CountInBox(60, 20, 140, 90);
    EXPECT_EQ(int(g->GetMask().CountSetBits()), n);
    EXPECT_EQ(n, 81);
    EXPECT_EQ(l->GetPercentText(), "20.25");
    EXPECT_FLOAT_EQ(l->GetLabelFractionX(), 100.0f / kW);
    EXPECT_FLOAT_EQ(l->GetLabelFractionY(), 80.0f / kH);
}

TEST_F(RgnLayerTest, MovingARangeChangesOnlyX) {
    CRangeLayer r(0, 1, plot.get());
    Create(r, {40, 50}, {120, 50});
    MakeGate(r);
    const CRect label = r.GetLabelRect();
    state = kTrackRegionSelected;
    ASSERT_TRUE(r.OnButtonDown(Pg(80, 52), &state));
    ASSERT_EQ(state, kTrackRegionMove);
    ASSERT_TRUE(r.OnDrag(Pg(100, 90), &state));
    EXPECT_EQ(r.GetX0(), 60);
    EXPECT_EQ(r.GetX1(), 140);
    EXPECT_EQ(r.GetLevel(), 50);
    EXPECT_EQ(r.GetLastPoint(), CPoint(100, 52));  // last y stays
    ASSERT_TRUE(r.OnButtonUp(Pg(100, 90), &state));
    EXPECT_EQ(r.GetLabelRect().TopLeft(), CPoint(label.left + 20, label.top));
    float lo = 0, hi = 0;
    static_cast<CrRange*>(r.GetRegion())->GetGeometry(&lo, &hi);
    EXPECT_EQ(lo, 60.0f / kW);
    EXPECT_EQ(hi, 140.0f / kW);
    // Handle 0 moves the left end and the bar's height.
    state = kTrackRegionSelected;
    ASSERT_TRUE(r.OnButtonDown(Pg(60, 50), &state));
    ASSERT_EQ(r.GetHandle(), 0);
    ASSERT_TRUE(r.OnDrag(Pg(20, 70), &state));
    EXPECT_EQ(r.GetX0(), 20);
    EXPECT_EQ(r.GetLevel(), 70);
}

// ================================================================ labels

TEST_F(RgnLayerTest, LabelDragsAreClampedBackIntoTheArea) {
    auto l = SelectedRect();
    l->SetSelected(false);
    // The name and the percentage line under it, as drawn, stay in the area.
    // How wide they are depends on the fonts the machine has: a label box
    // narrower than its text is kept as wide as the text.
    const QFontMetrics fm(plot->CreatePlotFont());
    const int32_t lines = 2 * fm.height();
    const int32_t text = std::max(fm.horizontalAdvance(QString::fromStdString(l->GetRegionName())),
                                  fm.horizontalAdvance(QString::fromStdString(l->GetPercentText())));
    ASSERT_FALSE(l->GetRegionName().empty());
    ASSERT_FALSE(l->GetPercentText().empty());
    ASSERT_LT(text, kW - 20);  // else no case below can be told apart
    const int32_t w = std::max(40, text);
    const struct {
        CSize by;
        CRect expect;
    } cases[] = {
        {{100, 0}, CRect(kW - 10 - w, 50, kW - 10 - w + 40, 65)},  // past the right edge: 10 inside
        {{0, -200}, CRect(100, kH - lines, 140, kH - lines + 15)},  // past the bottom: flush
        {{-150, 0}, CRect(0, 50, 40, 65)},                          // past the left: flush
        {{0, 100}, CRect(100, 0, 140, 15)},                         // past the top: flush
        {{200, -300}, CRect(kW - 10 - w, kH - lines, kW - 10 - w + 40, kH - lines + 15)},
    };
    for (const auto& c : cases) {
        l->SetLabelRect(CRect(100, 50, 140, 65));
        const CPoint grab(110, kH - 55);  // layer point inside the label
        state = kTrackMove;
        ASSERT_TRUE(l->OnButtonDown(Pg(grab.x, grab.y), &state));
        ASSERT_EQ(state, kTrackLabelDrag);
        ASSERT_TRUE(l->OnDrag(Pg(grab.x + c.by.cx / 2, grab.y + c.by.cy / 2), &state));
        ASSERT_TRUE(l->OnDrag(Pg(grab.x + c.by.cx, grab.y + c.by.cy), &state));
        ASSERT_TRUE(l->OnButtonUp(Pg(grab.x + c.by.cx, grab.y + c.by.cy), &state));
        EXPECT_EQ(state, kTrackMove);
        EXPECT_FALSE(l->IsSelected());
        EXPECT_EQ(l->GetLabelRect(), c.expect) << c.by.cx << "," << c.by.cy;
        EXPECT_FLOAT_EQ(l->GetLabelFractionX(), c.expect.left < 1 ? 0.0f : float(c.expect.left) / kW);
        EXPECT_FLOAT_EQ(l->GetLabelFractionY(), c.expect.top < 1 ? 0.0f : float(c.expect.top) / kH);
    }
    // A move that carries the label past an edge clamps it on release.
    l->SetLabelRect(CRect(150, 50, 180, 65));
    state = kTrackRegionSelected;
    ASSERT_TRUE(l->OnButtonDown(Pg(40, 60), &state));
    ASSERT_TRUE(l->OnDrag(Pg(70, 60), &state));
    ASSERT_TRUE(l->OnButtonUp(Pg(70, 60), &state));
    const int32_t w2 = std::max(30, text);
    EXPECT_EQ(l->GetLabelRect(), CRect(kW - 10 - w2, 50, kW - 10 - w2 + 30, 65));
}

// ================================================================ resizing

TEST_F(RgnLayerTest, ResizingKeepsShapesAndLabelsAtTheirFractions) {
    auto rect = SelectedRect();
    CRangeLayer range(0, 1, plot.get());
    Create(range, {30, 85}, {150, 85});
    MakeGate(range);
    const std::array<float, 4> before = BoxOf(rect->GetRegion());
    const float fx = rect->GetLabelFractionX(), fy = rect->GetLabelFractionY();

    for (const CRect& r : {CRect(0, 0, 400, 300), CRect(0, 0, 137, 503), CRect(0, 0, 250, 250)}) {
        plot->SetRect(r, true);
        const CRect a = plot->GetPlotArea();
        const int32_t w = a.Width(), h = a.Height();
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        // Nothing told the layers: they notice at their next use.
        int32_t s = kTrackMove;
        EXPECT_TRUE(rect->OnButtonDown(CPoint(a.left + int(before[2] * w), a.bottom - int(before[1] * h + before[3] * h) / 2), &s));
        EXPECT_EQ(s, kTrackRegionSelected);
        const CRect box = rect->GetBox();
        EXPECT_NEAR(box.left, before[0] * w, 1.0);
        EXPECT_NEAR(box.top, before[1] * h, 1.0);
        EXPECT_NEAR(box.right, before[2] * w, 1.0);
        EXPECT_NEAR(box.bottom, before[3] * h, 1.0);
        EXPECT_NEAR(rect->GetLabelRect().left, double(w) * fx, 1.0);
        EXPECT_NEAR(rect->GetLabelRect().top, double(h) * fy, 1.0);
        EXPECT_EQ(BoxOf(rect->GetRegion()), before);  // the region is not touched
        range.Reset();
        EXPECT_NEAR(range.GetX0(), 30.0 / kW * w, 1.0);
        EXPECT_NEAR(range.GetX1(), 150.0 / kW * w, 1.0);
        EXPECT_NEAR(range.GetLevel(), 85.0 / kH * h, 1.0);  // the bar keeps its relative height
    }
    // Back at the first size: the very same pixels.
    EXPECT_EQ(rect->GetBox(), CRect(40, 30, 120, 100));
    EXPECT_EQ(range.GetX0(), 30);
    EXPECT_EQ(range.GetX1(), 150);
    EXPECT_EQ(range.GetLevel(), 85);
}

TEST_F(RgnLayerTest, EveryPixelSurvivesTheTripThroughFractions) {
    auto l = SelectedRect();
    auto* region = static_cast<CrRect*>(l->GetRegion());
    for (int32_t x = 0; x <= kW; ++x) {
        const int32_t y = x * kH / kW;
        // A change made elsewhere (source: nobody) comes back as pixels.
        region->SetGeometry({float(x) / kW, float(y) / kH, float(x) / kW, float(y) / kH}, nullptr);
        ASSERT_EQ(l->GetBox(), CRect(x, y, x, y)) << x;
    }
}

TEST_F(RgnLayerTest, TwoLayersOfOneRegionFollowEachOther) {
    auto l = SelectedRect();
    CPLOT big(CRect(0, 0, 438, 420), shell->GetRoot(), nullptr, 0, 1);  // area 376 x 340
    // Held by its plot, which refreshes the percentage once the gate has
    // been evaluated again.
    CLayer* held = big.AddRegionLayer(std::make_unique<CRectLayer>(static_cast<CrRect*>(l->GetRegion()), &big));
    CRectLayer& other = *static_cast<CRectLayer*>(held);
    EXPECT_EQ(other.GetBox(), CRect(80, 60, 240, 200));
    EXPECT_EQ(other.GetHandle(), -1);
    EXPECT_FALSE(other.IsSelected());
    state = kTrackRegionSelected;
    ASSERT_TRUE(l->OnButtonDown(Pg(40, 60), &state));
    ASSERT_TRUE(l->OnDrag(Pg(50, 65), &state));
    ASSERT_TRUE(l->OnButtonUp(Pg(50, 65), &state));
    EXPECT_EQ(other.GetBox(), CRect(100, 70, 260, 210));
    EXPECT_EQ(other.GetPercentText(), l->GetPercentText());
    EXPECT_EQ(other.GetPercentText(),
              lm::FormatFixed(float(CountInBox(50, 35, 130, 105)) / 400.0f * 100.0f, 2));
}

// ============================================================ no plot area

TEST_F(RgnLayerTest, AnAreaWithoutSizeTakesNoPressAndLeavesTheRegionAlone) {
    auto l = SelectedRect();
    CrRect* region = static_cast<CrRect*>(l->GetRegion());
    const std::array<float, 4> box = BoxOf(region);
    for (const CRect& r : {CRect(0, 0, 62, 64), CRect(0, 0, 60, 60)}) {  // areas 0 x -16 and -2 x -20
        CPLOT tiny(r, shell->GetRoot(), nullptr, 0, 1);
        ASSERT_LE(tiny.GetPlotArea().Width(), 0);
        CRectLayer shown(region, &tiny);
        const CRect a = tiny.GetPlotArea();
        for (int32_t s0 : {kTrackMove, kTrackRegionSelected, kTrackRegionCreate, kTrackRubberBandRegion}) {
            for (CPoint p : {a.TopLeft(), CPoint(a.left - 1, a.top + 1), CPoint(a.left + 1, a.top - 1)}) {
                int32_t s = s0;
                EXPECT_FALSE(shown.OnButtonDown(p, &s));
                EXPECT_EQ(s, s0);
                EXPECT_FALSE(shown.OnDrag(p, &s));
            }
        }
        for (int32_t s0 : {kTrackHandleDrag, kTrackRegionMove, kTrackLabelDrag, kTrackRubberBandRegion}) {
            int32_t s = s0;
            EXPECT_FALSE(shown.OnButtonUp(a.TopLeft(), &s));
            EXPECT_EQ(s, s0);
        }
        shown.PushGeometry();
        EXPECT_EQ(BoxOf(region), box);
        CRectLayer fresh(0, 1, &tiny);
        int32_t s = kTrackRegionCreate;
        EXPECT_FALSE(fresh.OnButtonDown(a.TopLeft(), &s));
        EXPECT_EQ(fresh.MakeRegion(), nullptr);
        CRangeLayer range(0, 1, &tiny);
        EXPECT_EQ(range.MakeRegion(), nullptr);
        QImage none;
        shown.DrawMask(none);  // nothing to draw into: nothing happens
    }
    EXPECT_EQ(BoxOf(region), box);
    EXPECT_EQ(l->GetBox(), CRect(40, 30, 120, 100));
}

// ================================================================= marks

TEST_F(RgnMarksTest, OutlinesHandlesAndBarsLandOnTheirPixels) {
    CRectLayer l(region, plot.get());
    ASSERT_EQ(l.GetBox(), CRect(40, 30, 120, 100));
    l.SetLabelRect(CRect(150, 2, 150, 2));  // text out of the way, top right
    QImage mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    // Columns x0 - 1 and x1 - 1, rows H - y1 and H - y0, and nothing else.
    for (const CPoint c : {CPoint(39, 70), CPoint(39, 140), CPoint(119, 70), CPoint(119, 140)})
        EXPECT_TRUE(Marked(mask, c.x, c.y)) << c.x << "," << c.y;
    EXPECT_EQ(MarksIn(mask, 0, 0, 145, kH), 2 * 81 + 2 * 71 - 4);
    l.SetSelected(true);
    mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    // 7 x 7 squares centred on (x0 - 1, y1), (x0 - 1, y0 + 1), (x1, y0 + 1), (x1, y1).
    for (const CPoint c : {CPoint(39, 70), CPoint(39, 139), CPoint(120, 139), CPoint(120, 70)}) {
        EXPECT_EQ(MarksIn(mask, c.x - 3, c.y - 3, c.x + 4, c.y + 4), 49) << c.x << "," << c.y;
        EXPECT_FALSE(Marked(mask, c.x - 4, c.y - 4));
        EXPECT_FALSE(Marked(mask, c.x + 4, c.y + 4));
    }

    // A range: full-height lines at x0 - 1 and x1, the bar at its level.
    auto rangeGate = shell->AddRegionGate(std::make_unique<CrRange>(0, 1, 40.0f / kW, 120.0f / kW), 0, "R");
    CRangeLayer range(static_cast<CrRange*>(rangeGate->GetRegion()), plot.get());
    EXPECT_EQ(range.GetLevel(), kH / 2);
    range.SetPixels(40, 120, 50);
    range.SetLabelRect(CRect(150, 2, 150, 2));
    mask = NewMaskImage(kW, kH);
    range.DrawMask(mask);
    EXPECT_TRUE(Marked(mask, 39, 0) && Marked(mask, 39, kH - 1) && Marked(mask, 120, 0) && Marked(mask, 120, kH - 1));
    EXPECT_EQ(MarksIn(mask, 39, kH - 50, 121, kH - 49), 82);
    EXPECT_EQ(MarksIn(mask, 0, 0, 145, kH), 2 * kH + 80);

    // An ellipse inscribed in columns 39..119 and rows 70..140 touches each
    // side near its middle, never a corner or the centre.
    CEllipseLayer ellipse(0, 1, plot.get());
    int32_t state = kTrackRegionCreate;
    const CRect a = plot->GetPlotArea();
    ASSERT_TRUE(ellipse.OnButtonDown(CPoint(a.left + 40, a.bottom - 30), &state));
    ASSERT_TRUE(ellipse.OnDrag(CPoint(a.left + 120, a.bottom - 100), &state));
    ASSERT_TRUE(ellipse.OnButtonUp(CPoint(a.left + 120, a.bottom - 100), &state));
    mask = NewMaskImage(kW, kH);
    ellipse.DrawMask(mask);
    EXPECT_EQ(MarksIn(mask, 0, 0, kW, 70) + MarksIn(mask, 0, 141, kW, kH), 0);
    EXPECT_EQ(MarksIn(mask, 0, 0, 39, kH) + MarksIn(mask, 120, 0, kW, kH), 0);
    EXPECT_GT(MarksIn(mask, 70, 70, 90, 71) * MarksIn(mask, 70, 140, 90, 141), 0);
    EXPECT_GT(MarksIn(mask, 39, 95, 40, 115) * MarksIn(mask, 119, 95, 120, 115), 0);
    EXPECT_FALSE(Marked(mask, 39, 70) || Marked(mask, 119, 140));
    EXPECT_EQ(MarksIn(mask, 60, 90, 100, 120), 0);
}

TEST_F(RgnMarksTest, NameAndPercentageFormTheLabel) {
    CRectLayer l(region, plot.get());
    EXPECT_EQ(l.GetPercentText(), "33.33");  // one event of three
    l.SetLabelRect(CRect(20, 10, 20, 10));
    QImage mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    const QFontMetrics fm(plot->CreatePlotFont());
    const CRect label = l.GetLabelRect();
    EXPECT_EQ(label, CRect(20, 10, 20 + fm.horizontalAdvance("Mid"), 10 + fm.height()));
    EXPECT_GT(MarksIn(mask, label.left, label.top, label.right, label.bottom), 0);
    // The percentage on the line below.
    const int pw = fm.horizontalAdvance("33.33");
    EXPECT_GT(MarksIn(mask, label.left, label.bottom, label.left + pw, label.bottom + fm.height()), 0);
    EXPECT_EQ(MarksIn(mask, 0, 0, kW, 9), 0);

    // The label is hit through the page point, offset by the area.
    const CRect a = plot->GetPlotArea();
    EXPECT_TRUE(l.HitLabel(CPoint(a.left + label.left, a.top + label.top)));
    EXPECT_FALSE(l.HitLabel(CPoint(a.left + label.right, a.top + label.top)));
    EXPECT_FALSE(l.HitLabel(CPoint(a.left + label.left, a.top + label.bottom)));

    // Without the percentage: the name only, and the share is not kept.
    l.SetShowPercent(false);
    mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    EXPECT_EQ(MarksIn(mask, label.left, label.bottom, label.left + pw, label.bottom + fm.height()), 0);
    region->SetGeometry({0.0f, 0.0f, 0.6f, 0.6f}, nullptr);  // two events now
    EXPECT_EQ(l.GetBox(), CRect(0, 0, int(0.6f * kW), int(0.6f * kH)));
    EXPECT_EQ(l.GetPercentText(), "33.33");
    l.SetShowPercent(true);
    EXPECT_EQ(l.GetPercentText(), "66.67");

    // A layer still being drawn has no region and shows no share.
    CRectLayer drawing(0, 1, plot.get());
    drawing.UpdatePercentText();
    EXPECT_EQ(drawing.GetPercentText(), "");
}

TEST_F(RgnMarksTest, ColourDrawingAndInvisibleLayers) {
    CRectLayer l(region, plot.get());
    l.SetColor(RGB(200, 0, 0));
    QImage area = NewAreaImage(kW, kH, 0xFFFFFF);
    l.Draw(area);
    EXPECT_EQ(PixelAt(area, 39, 100), qRgb(200, 0, 0));
    EXPECT_EQ(PixelAt(area, 80, 100), kWhite);

    l.SetColor(kColorNone);
    area = NewAreaImage(kW, kH, 0xFFFFFF);
    l.Draw(area);
    EXPECT_EQ(MarksIn(area, 0, 0, kW, kH), 0);

    l.SetColor(0);
    l.SetVisible(false);
    QImage mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    EXPECT_EQ(MarksIn(mask, 0, 0, kW, kH), 0);
    int32_t state = kTrackMove;
    const CRect a = plot->GetPlotArea();
    EXPECT_FALSE(l.OnButtonDown(CPoint(a.left + 40, a.bottom - 60), &state));
    EXPECT_EQ(state, kTrackMove);
}

// ================================================================ records

TEST_F(RgnMarksTest, RecordsAreLabelThenFractionsThenTheRangeBar) {
    CRectLayer rect(0, 1, plot.get());
    int32_t state = kTrackRegionCreate;
    const CRect a = plot->GetPlotArea();
    ASSERT_TRUE(rect.OnButtonDown(CPoint(a.left + 40, a.bottom - 30), &state));
    ASSERT_TRUE(rect.OnDrag(CPoint(a.left + 121, a.bottom - 100), &state));
    ASSERT_TRUE(rect.OnButtonUp(CPoint(a.left + 121, a.bottom - 100), &state));
    // Box (40,30)-(121,100): anchor (80, 170 - 65).
    std::vector<uint8_t> expect;
    for (int32_t v : {80, 105, 80, 105}) Put(expect, v);
    Put(expect, float(80.0 / kW));
    Put(expect, float(105.0 / kH));
    EXPECT_EQ(Bytes(rect), expect);

    CRangeLayer range(static_cast<CrRange*>(
                          shell->AddRegionGate(std::make_unique<CrRange>(0, 1, 0.2f, 0.4f), 0, "")->GetRegion()),
                      plot.get());
    std::vector<uint8_t> rec;
    for (int32_t v : {-3, 7, 250, 40000}) Put(rec, v);
    Put(rec, 0.25f);
    Put(rec, 1.5f);
    Put(rec, int32_t(33));
    range.SetSelected(true);
    CArchive in(rec);
    range.Load(in);
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(range.GetLabelRect(), CRect(-3, 7, 250, 40000));
    EXPECT_EQ(range.GetLabelFractionX(), 0.25f);
    EXPECT_EQ(range.GetLabelFractionY(), 1.5f);
    EXPECT_EQ(range.GetLevel(), 33);
    EXPECT_FALSE(range.IsSelected());
    EXPECT_EQ(Bytes(range), rec);

    // A rectangle reads only the six base fields; short records throw.
    CRectLayer shown(region, plot.get());
    rec.resize(24);
    CArchive exact(rec);
    shown.Load(exact);
    EXPECT_EQ(exact.Remaining(), 0u);
    rec.resize(20);
    CArchive cut(rec);
    EXPECT_THROW(shown.Load(cut), CArchiveException);
    Put(rec, 0.5f);  // a range without its level
    CArchive cutRange(rec);
    EXPECT_THROW(range.Load(cutRange), CArchiveException);
}

TEST_F(RgnMarksTest, RecordsWithAbsurdValuesStayUsable) {
    CRectLayer l(region, plot.get());
    std::vector<uint8_t> rec;
    for (int32_t v : {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}) Put(rec, v);
    Put(rec, std::numeric_limits<float>::quiet_NaN());
    Put(rec, std::numeric_limits<float>::infinity());
    CArchive in(rec);
    l.Load(in);
    EXPECT_EQ(l.GetLabelRect(), CRect(-kRgnCoordLimit, -kRgnCoordLimit, kRgnCoordLimit, kRgnCoordLimit));
    // Fractions that are no numbers fall back to the anchor's (clamped: 0).
    EXPECT_EQ(l.GetLabelFractionX(), 0.0f);
    EXPECT_EQ(l.GetLabelFractionY(), 0.0f);
    // The label can still be dragged and is brought back by the clamp.
    const CRect a = plot->GetPlotArea();
    int32_t state = kTrackMove;
    ASSERT_TRUE(l.OnButtonDown(CPoint(a.left + 150, a.top + 150), &state));
    ASSERT_EQ(state, kTrackLabelDrag);
    ASSERT_TRUE(l.OnDrag(CPoint(INT32_MAX, INT32_MIN), &state));
    ASSERT_TRUE(l.OnButtonUp(CPoint(INT32_MAX, INT32_MIN), &state));
    EXPECT_EQ(l.GetLabelRect().right, kW - 10);  // far too wide: the right edge wins
    l.Reset();
    EXPECT_EQ(l.GetBox(), CRect(40, 30, 120, 100));
}

// ============================================================ lifetimes

TEST_F(RgnMarksTest, LayersAndRegionsLetGoOfEachOther) {
    {
        CRectLayer l(region, plot.get());
        CRectLayer again(region, plot.get());
        EXPECT_EQ(region->GetUsers().size(), 2u);
    }
    EXPECT_TRUE(region->GetUsers().empty());

    // The region goes first (its gate is removed): the layer forgets it.
    CRectLayer orphan(region, plot.get());
    shell->RemoveGate(gate, true);
    EXPECT_EQ(orphan.GetRegion(), nullptr);
    EXPECT_EQ(orphan.GetRegionGate(), nullptr);
    EXPECT_EQ(orphan.GetRegionName(), "");
    EXPECT_FALSE(orphan.ParamsMatch(0, 1));
    orphan.PushGeometry();
    orphan.Reset();
    QImage mask = NewMaskImage(kW, kH);
    orphan.DrawMask(mask);
    EXPECT_EQ(MarksIn(mask, 0, 0, kW, kH), 2 * 81 + 2 * 71 - 4);  // the last pixels, no name

    // A region the shell refuses is destroyed at once: the new layer is left
    // without one, and can make a fresh one.
    CRectLayer drawn(0, 1, plot.get());
    int32_t state = kTrackRegionCreate;
    const CRect a = plot->GetPlotArea();
    ASSERT_TRUE(drawn.OnButtonDown(CPoint(a.left + 10, a.bottom - 10), &state));
    ASSERT_TRUE(drawn.OnButtonUp(CPoint(a.left + 50, a.bottom - 50), &state));
    EXPECT_EQ(shell->AddRegionGate(drawn.MakeRegion(), 99, ""), nullptr);
    EXPECT_EQ(drawn.GetRegion(), nullptr);
    CGateNode* g = shell->AddRegionGate(drawn.MakeRegion(), 0, "");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(drawn.GetRegionGate(), g);
}

// ================================================================ makers

TEST_F(RgnMarksTest, MakersChooseTheLayerOfTheToolOrRegion) {
    const struct {
        int32_t tool, type;
    } tools[] = {{kTrackRangeTool, kRgnRange},     {kTrackRectTool, kRgnRect},
                 {kTrackEllipseTool, kRgnEllipse}, {kTrackPolygonTool, kRgnPolygon},
                 {kTrackQuadrantTool, kRgnQuadrant}};
    for (const auto& t : tools) {
        auto l = CreateRegionLayerForTool(t.tool, 2, 3, plot.get());
        ASSERT_NE(l, nullptr) << t.tool;
        EXPECT_EQ(l->GetRegionType(), t.type);
        EXPECT_EQ(l->GetXParam(), 2);
        EXPECT_EQ(l->GetYParam(), 3);
        EXPECT_FALSE(l->ParamsMatch(2, 3));  // no region yet
        EXPECT_EQ(l->Clone(plot.get()), nullptr);
    }
    for (int32_t tool : {-6, 0, 3})
        EXPECT_EQ(CreateRegionLayerForTool(tool, 0, 1, plot.get()), nullptr) << tool;

    auto shownRect = CreateRegionLayerFor(region, plot.get());
    ASSERT_NE(dynamic_cast<CRectLayer*>(shownRect.get()), nullptr);
    EXPECT_TRUE(shownRect->ParamsMatch(0, 1));
    EXPECT_FALSE(shownRect->ParamsMatch(1, 0));
    EXPECT_EQ(shownRect->GetRegionGate(), gate);
    CrEllipse ell(0, 1, {0.1f, 0.1f}, {0.2f, 0.2f});
    EXPECT_NE(dynamic_cast<CEllipseLayer*>(CreateRegionLayerFor(&ell, plot.get()).get()), nullptr);
    CrPolygon poly(0, 1, {{0.1f, 0.1f}, {0.5f, 0.1f}, {0.3f, 0.5f}});
    EXPECT_EQ(CreateRegionLayerFor(&poly, plot.get())->GetRegionType(), kRgnPolygon);
    CrCross cross(0, 1, 0.5f, 0.5f);
    EXPECT_EQ(CreateRegionLayerFor(&cross, plot.get())->GetRegionType(), kRgnCross);
    EXPECT_EQ(CreateRegionLayerFor(nullptr, plot.get()), nullptr);
}

TEST(RgnCanvasTest, LinesLeaveOutTheirEndAndRectanglesTheirRightAndBottom) {
    EnsureGuiApp();
    QImage img = NewMaskImage(20, 20);
    RgnCanvas c(img, qRgb(0, 0, 0), QFont());
    c.Line(CPoint(2, 2), CPoint(7, 7));
    EXPECT_EQ(MarksIn(img, 0, 0, 20, 20), 5);
    EXPECT_TRUE(Marked(img, 2, 2) && Marked(img, 6, 6));
    EXPECT_FALSE(Marked(img, 7, 7));
    img = NewMaskImage(20, 20);
    c.Line(CPoint(10, 3), CPoint(4, 3));  // right to left: 5..10
    EXPECT_EQ(MarksIn(img, 0, 0, 20, 20), 6);
    EXPECT_TRUE(Marked(img, 10, 3));
    EXPECT_FALSE(Marked(img, 4, 3));
    // Far outside on both ends: only the visible part, and it ends.
    img = NewMaskImage(20, 20);
    c.Line(CPoint(-kRgnCoordLimit, 5), CPoint(kRgnCoordLimit, 5));
    c.Line(CPoint(-kRgnCoordLimit, -kRgnCoordLimit + 1), CPoint(kRgnCoordLimit, kRgnCoordLimit));
    EXPECT_EQ(MarksIn(img, 0, 5, 20, 6), 20);
    EXPECT_GT(MarksIn(img, 0, 0, 20, 20), 20);
    // An inverted rectangle is normalised; its last column and row are r - 1, b - 1.
    img = NewMaskImage(20, 20);
    c.Rectangle(CRect(15, 12, 5, 2));
    EXPECT_EQ(MarksIn(img, 0, 0, 20, 20), 2 * 10 + 2 * 10 - 4);
    EXPECT_TRUE(Marked(img, 14, 11));
    EXPECT_FALSE(Marked(img, 15, 12));
    img = NewMaskImage(20, 20);
    c.Rectangle(CRect(3, 3, 4, 4));  // one pixel
    EXPECT_EQ(MarksIn(img, 0, 0, 20, 20), 1);
}
