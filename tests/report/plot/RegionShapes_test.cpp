// Polygon, cross and quadrant layers driven with points the way a plot hands
// them on; then both tools through real view events, saved and reopened.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/Archive.h"
#include "base/Numbers.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/TrackStates.h"
#include "report/plot/CrossLayer.h"
#include "report/app/CommandIds.h"
#include "report/plot/PolygonLayer.h"
#include "report/plot/QuadLayer.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ViewEvents.h"

using namespace plottest;

namespace {

constexpr int32_t kW = 188;  // the area of a 250 x 250 plot
constexpr int32_t kH = 170;

// Events at 25, 75, ... 975 on both 0..1000 axes: fractions 0.025 + 0.05 i.
std::vector<std::pair<double, double>> GridEvents() {
    std::vector<std::pair<double, double>> ev;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j) ev.emplace_back(25.0 + 50.0 * i, 25.0 + 50.0 * j);
    return ev;
}

class RegionShapesTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();  // the view tests below need widgets
        ResetPlotDefaults();
        shell = MakeShell(GridEvents());
        plot = std::make_unique<CPLOT>(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
        ASSERT_EQ(plot->GetPlotArea(), CRect(46, 36, 234, 206));
    }
    CPoint Pg(int32_t x, int32_t y) const { return CPoint(46 + x, 206 - y); }

    // Entry through the given vertices, closed on the first: state 9.
    std::unique_ptr<CPolygonLayer> Entered(const std::vector<CPoint>& v) {
        auto l = std::make_unique<CPolygonLayer>(0, 1, plot.get());
        state = kTrackRegionCreate;
        EXPECT_TRUE(l->OnButtonDown(Pg(v[0].x, v[0].y), &state));
        for (size_t i = 1; i < v.size(); ++i) EXPECT_TRUE(l->OnButtonUp(Pg(v[i].x, v[i].y), &state));
        EXPECT_TRUE(l->OnButtonUp(Pg(v[0].x, v[0].y), &state));
        EXPECT_EQ(state, kTrackPolygonVertex);
        return l;
    }
    CGateNode* MakeGate(CRgnLayer& l) {
        CGateNode* g = shell->AddRegionGate(l.MakeRegion(), 0, "");
        l.RegionChanged();
        return g;
    }
    // Press, move and release of one drag from a to b.
    void Drag(CRgnLayer& l, CPoint a, CPoint b) {
        ASSERT_TRUE(l.OnButtonDown(Pg(a.x, a.y), &state));
        ASSERT_TRUE(l.OnDrag(Pg(b.x, b.y), &state));
        ASSERT_TRUE(l.OnButtonUp(Pg(b.x, b.y), &state));
    }

    std::unique_ptr<VexaDataShell> shell;
    std::unique_ptr<CPLOT> plot;
    int32_t state = kTrackMove;
};

// ================================================================ polygon

TEST_F(RegionShapesTest, PolygonEntryTakesReleasesInTheAreaAndClosesOnTheFirstVertexWithThree) {
    CPolygonLayer l(0, 1, plot.get());
    state = kTrackRegionCreate;
    ASSERT_TRUE(l.OnButtonDown(Pg(20, 20), &state));
    EXPECT_EQ(state, kTrackPolygonEntry);
    EXPECT_FALSE(l.OnButtonUp(Pg(20, 20), &state));  // the tool press's own release
    EXPECT_TRUE(l.OnButtonUp(Pg(100, 20), &state));
    EXPECT_FALSE(l.OnButtonUp(Pg(25, 15), &state));  // closing with two: refused
    EXPECT_FALSE(l.OnButtonUp(CPoint(20, 100), &state));   // in the plot's margin
    EXPECT_FALSE(l.OnButtonUp(CPoint(600, 100), &state));  // off the plot
    EXPECT_FALSE(l.OnDoubleClick(Pg(100, 20), &state));   // two vertices: no polygon yet
    EXPECT_EQ(l.GetVertices().size(), 2u);
    EXPECT_TRUE(l.OnButtonUp(Pg(60, 150), &state));
    EXPECT_TRUE(l.OnButtonUp(Pg(25, 15), &state));  // 5 off on both axes still closes
    EXPECT_EQ(state, kTrackPolygonVertex);
    EXPECT_TRUE(l.IsClosed() && l.InVertexMode());
    EXPECT_EQ(l.GetVertices(), (std::vector<CPoint>{{20, 20}, {100, 20}, {60, 150}}));
    EXPECT_EQ(l.GetLabelRect().TopLeft(), CPoint(30, kH - 20 + 10));
}

TEST_F(RegionShapesTest, PolygonEntryStopsAtTheVertexLimitAndStillCloses) {
    CPolygonLayer l(0, 1, plot.get());
    state = kTrackRegionCreate;
    ASSERT_TRUE(l.OnButtonDown(Pg(10, 10), &state));
    for (int32_t i = 1; i < kPolygonMaxVertices; ++i) l.OnButtonUp(Pg(50 + i % 100, 50 + i / 100), &state);
    ASSERT_EQ(l.GetVertices().size(), size_t(kPolygonMaxVertices));
    EXPECT_FALSE(l.OnButtonUp(Pg(30, 160), &state));
    EXPECT_EQ(l.GetVertices().size(), size_t(kPolygonMaxVertices));
    EXPECT_TRUE(l.OnButtonUp(Pg(10, 10), &state));
    EXPECT_EQ(state, kTrackPolygonVertex);
}

TEST_F(RegionShapesTest, ADoubleClickDuringEntryFinishesThePolygonIntoAGate) {
    int32_t s = kTrackPolygonTool;
    ASSERT_TRUE(plot->OnLButtonDown(0, Pg(20, 20), &s));
    plot->OnLButtonUp(0, Pg(20, 20), &s);
    for (CPoint p : {CPoint(120, 20), CPoint(70, 140)}) {
        plot->OnLButtonDown(0, Pg(p.x, p.y), &s);
        plot->OnLButtonUp(0, Pg(p.x, p.y), &s);
    }
    ASSERT_EQ(s, kTrackPolygonEntry);
    EXPECT_TRUE(plot->OnLButtonDblClk(0, Pg(70, 140), &s));
    ASSERT_EQ(shell->GetGateCount(), 2);
    const auto* poly = dynamic_cast<const CrPolygon*>(shell->GetGate(1)->GetRegion());
    ASSERT_NE(poly, nullptr);
    EXPECT_EQ(poly->GetVertexCount(), 3);
    EXPECT_GT(shell->GetGate(1)->GetMask().CountSetBits(), 0u);
}

TEST_F(RegionShapesTest, ScalingKeepsThePressBoxCornerFixedThroughAMirrorAndBack) {
    auto l = Entered({{40, 40}, {120, 40}, {80, 120}});
    MakeGate(*l);
    state = kTrackMove;
    ASSERT_TRUE(l->OnButtonDown(Pg(80, 40), &state));  // the outline selects: box handles
    ASSERT_EQ(state, kTrackRegionSelected);
    // Corner 4 (right, bottom) across the fixed left edge and back.
    ASSERT_TRUE(l->OnButtonDown(Pg(120, 40), &state));
    ASSERT_EQ(state, kTrackPolygonScale);
    ASSERT_TRUE(l->OnDrag(Pg(0, 40), &state));
    EXPECT_EQ(l->GetVertices(), (std::vector<CPoint>{{40, 40}, {0, 40}, {20, 120}}));
    ASSERT_TRUE(l->OnDrag(Pg(20, 40), &state));
    ASSERT_TRUE(l->OnDrag(Pg(120, 40), &state));
    EXPECT_EQ(l->GetVertices(), (std::vector<CPoint>{{40, 40}, {120, 40}, {80, 120}}));
    ASSERT_TRUE(l->OnButtonUp(Pg(120, 40), &state));
    EXPECT_EQ(state, kTrackRegionSelected);

    // A box of no width scales the height only.
    auto flat = Entered({{60, 20}, {60, 100}, {60, 60}});
    state = kTrackMove;
    ASSERT_TRUE(flat->OnButtonDown(Pg(60, 40), &state));
    ASSERT_TRUE(flat->OnButtonDown(Pg(60, 100), &state));  // corner 1 (left, top)
    ASSERT_EQ(state, kTrackPolygonScale);
    ASSERT_TRUE(flat->OnDrag(Pg(90, 130), &state));
    EXPECT_EQ(flat->GetVertices(), (std::vector<CPoint>{{60, 20}, {60, 130}, {60, 75}}));
}

TEST_F(RegionShapesTest, AMoveBegunAmongTheVertexHandlesReturnsToThem) {
    auto l = Entered({{40, 40}, {120, 40}, {80, 120}});
    CGateNode* g = MakeGate(*l);
    Drag(*l, {80, 40}, {90, 50});  // an edge, not a vertex: the whole polygon
    EXPECT_EQ(state, kTrackPolygonVertex);
    EXPECT_TRUE(l->InVertexMode() && l->IsSelected());
    std::vector<RgnPoint> v;
    static_cast<CrPolygon*>(g->GetRegion())->GetGeometry(&v);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_FLOAT_EQ(v[0].x, 50.0f / kW);
    EXPECT_FLOAT_EQ(v[0].y, 50.0f / kH);
}

TEST_F(RegionShapesTest, PolygonsOfFewerThanThreeVerticesAreShownAndEdited) {
    for (size_t n = 0; n < 3; ++n) {
        std::vector<RgnPoint> v = {{0.2f, 0.2f}, {0.6f, 0.2f}};
        v.resize(n);
        CGateNode* g = shell->AddRegionGate(std::make_unique<CrPolygon>(0, 1, v), 0, "P");
        CPolygonLayer l(static_cast<CrPolygon*>(g->GetRegion()), plot.get());
        EXPECT_EQ(l.GetVertices().size(), n);
        QImage img = NewMaskImage(kW, kH);
        l.SetSelected(true);
        l.DrawMask(img);
        // Midway on the two vertices' edge: only there is an outline to take.
        state = kTrackMove;
        EXPECT_EQ(l.OnButtonDown(Pg(94, 34), &state), n == 2) << n;
        state = kTrackMove;
        EXPECT_EQ(l.OnDoubleClick(Pg(94, 34), &state), n == 2) << n;
    }
}

TEST(RgnNearSegmentTest, ProductsOfFarCoordinatesDoNotOverflow) {
    const int32_t f = 1 << 24;
    EXPECT_TRUE(RgnNearSegment({0, 1}, {-f, -f}, {f, f}));
    EXPECT_FALSE(RgnNearSegment({0, f}, {-f, -f}, {f, f}));
    EXPECT_FALSE(RgnNearSegment({f + 3, f + 3}, {-f, -f}, {f, f}));  // on the extension
}

TEST(RgnNearSegmentTest, TheNearVerticalAndHorizontalRulesNeedLessThanFivePixelsOfSlant) {
    // Five pixels of slant is no longer "near vertical": a point right of
    // the edge's box is off it, though it lies within five of the middle.
    EXPECT_FALSE(RgnNearSegment({6, 50}, {0, 0}, {5, 100}));
    EXPECT_TRUE(RgnNearSegment({6, 50}, {0, 0}, {4, 100}));
    EXPECT_FALSE(RgnNearSegment({50, 6}, {0, 0}, {100, 5}));
    EXPECT_TRUE(RgnNearSegment({50, 6}, {0, 0}, {100, 4}));
}

// ================================================================= labels

TEST_F(RegionShapesTest, LabelsPlacedNearTheLowerRightCornerStayInTheArea) {
    auto poly = Entered({{180, 4}, {100, 4}, {140, 60}});
    MakeGate(*poly);
    poly->KeepLabelInArea();  // as the plot does once the gate named the region
    auto* cross = new CrCross(0, 1, 180.0f / kW, 4.0f / kH);
    CGateNode* cg = shell->AddRegionGate(std::unique_ptr<CDataRgn>(cross), 0, "C");
    CCrossLayer cl(static_cast<CrCross*>(cg->GetRegion()), plot.get());
    CQuadLayer ql(0, 1, plot.get());
    state = kTrackRegionCreate;
    ASSERT_TRUE(ql.OnButtonDown(Pg(180, 4), &state));
    ASSERT_TRUE(ql.OnButtonUp(Pg(180, 4), &state));
    MakeGate(ql);
    ql.KeepLabelInArea();
    const QFontMetrics fm(plot->CreatePlotFont());
    const auto width = [&](const std::string& t) { return fm.horizontalAdvance(QString::fromStdString(t)); };
    const CRect a = plot->GetPlotArea();
    for (CRgnLayer* l : {static_cast<CRgnLayer*>(poly.get()), static_cast<CRgnLayer*>(&cl),
                         static_cast<CRgnLayer*>(&ql)}) {
        SCOPED_TRACE(l->GetRegionType());
        ASSERT_FALSE(l->GetRegionName().empty());
        // The polygon's percentage is under its name; the cross and the
        // quadrant show none there.
        const bool pct = l->GetRegionType() == kRgnPolygon;
        const int32_t w = pct ? std::max(width(l->GetRegionName()), width(l->GetPercentText())) : width(l->GetRegionName());
        const int32_t h = pct ? 2 * fm.height() : fm.height();
        // Past the right edge: 10 inside; past the bottom: flush.
        EXPECT_EQ(l->GetLabelRect().left + w, kW - 10);
        EXPECT_EQ(l->GetLabelRect().top + h, kH);
        QImage drawn = NewMaskImage(kW, kH);
        l->DrawMask(drawn);  // drawing measures the name: its rectangle is what is hit
        EXPECT_TRUE(l->HitLabel(CPoint(a.left + l->GetLabelRect().left, a.top + l->GetLabelRect().top)));
    }
}

TEST_F(RegionShapesTest, EveryShapeEndsALabelDragInsideTheAreaAndAPlainClickChangesNothing) {
    const std::vector<std::unique_ptr<CDataRgn>> made = [] {
        std::vector<std::unique_ptr<CDataRgn>> r;
        r.push_back(std::make_unique<CrRect>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.6f, 0.6f}));
        r.push_back(std::make_unique<CrEllipse>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.6f, 0.6f}));
        r.push_back(std::make_unique<CrRange>(0, 1, 0.2f, 0.6f));
        r.push_back(std::make_unique<CrPolygon>(0, 1, std::vector<RgnPoint>{{0.2f, 0.2f}, {0.6f, 0.2f}, {0.4f, 0.6f}}));
        r.push_back(std::make_unique<CrCross>(0, 1, 0.5f, 0.5f));
        r.push_back(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f));
        return r;
    }();
    for (const auto& proto : made) {
        SCOPED_TRACE(proto->GetType());
        CGateNode* g = shell->AddRegionGate(proto->Clone(), 0, "");
        std::unique_ptr<CRgnLayer> l = CreateRegionLayerFor(g->GetRegion(), plot.get());
        ASSERT_NE(l, nullptr);
        l->SetLabelRect(CRect(100, 50, 140, 65));
        state = kTrackMove;
        Drag(*l, {110, kH - 55}, {110 + 200, kH - 55 - 300});
        EXPECT_EQ(state, kTrackMove);
        const CRect label = l->GetLabelRect();
        // The rectangle keeps its 40 pixels; the text drawn from its left
        // edge ends 10 inside the area's right edge, or the rectangle does
        // where the name (and the percentage under it) is narrower.
        const QFontMetrics fm(plot->CreatePlotFont());
        int32_t text = fm.horizontalAdvance(QString::fromStdString(l->GetRegionName()));
        if (l->GetRegionType() != kRgnCross && l->GetRegionType() != kRgnQuadrant)
            text = std::max(text, fm.horizontalAdvance(QString::fromStdString(l->GetPercentText())));
        EXPECT_EQ(label.Width(), 40);
        EXPECT_EQ(label.left + std::max(40, text), kW - 10);
        EXPECT_LE(label.bottom, kH);
        EXPECT_FLOAT_EQ(l->GetLabelFractionX(), float(label.left) / kW);
        EXPECT_FLOAT_EQ(l->GetLabelFractionY(), float(label.top) / kH);

        // Selected, then a press and release on the outline without a move:
        // the region keeps its fractions, the shape stays selected.
        const std::unique_ptr<CDataRgn> before = g->GetRegion()->Clone();
        const CPoint on = l->GetRegionType() == kRgnRange ? CPoint(60, kH / 2)
                          : l->GetRegionType() == kRgnPolygon ? CPoint(60, 34)
                          : l->GetRegionType() == kRgnRect ? CPoint(38, 60)
                          : l->GetRegionType() == kRgnEllipse ? CPoint(38, 60)
                                                              : CPoint(94, 85);
        state = kTrackMove;
        ASSERT_TRUE(l->OnButtonDown(Pg(on.x, on.y), &state));
        ASSERT_EQ(state, kTrackRegionSelected);
        ASSERT_TRUE(l->OnButtonDown(Pg(on.x, on.y), &state));
        ASSERT_TRUE(l->OnButtonUp(Pg(on.x, on.y), &state));
        EXPECT_TRUE(state == kTrackRegionSelected || state == kTrackPolygonVertex);
        EXPECT_TRUE(l->IsSelected());
        EXPECT_EQ(g->GetRegion()->GetBox(), before->GetBox());
    }
}

// ================================================================== cross

TEST_F(RegionShapesTest, ACrossCentreDraggedOffTheAreaStaysOnItsEdge) {
    CGateNode* g = shell->AddRegionGate(std::make_unique<CrCross>(0, 1, 0.5f, 0.5f), 0, "C");
    CCrossLayer l(static_cast<CrCross*>(g->GetRegion()), plot.get());
    ASSERT_EQ(l.GetCentre(), CPoint(94, 85));
    state = kTrackMove;
    ASSERT_TRUE(l.OnButtonDown(Pg(94, 85), &state));
    ASSERT_EQ(state, kTrackRegionSelected);
    Drag(l, {94, 85}, {400, -30});
    // Row H - 1 is the lowest the horizontal line can be drawn in.
    EXPECT_EQ(l.GetCentre(), CPoint(kW - 1, 1));
    RgnPoint c;
    static_cast<CrCross*>(g->GetRegion())->GetGeometry(&c);
    EXPECT_FLOAT_EQ(c.x, float(kW - 1) / kW);
    EXPECT_FLOAT_EQ(c.y, 1.0f / kH);
    QImage mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    int row = 0, column = 0;
    for (int x = 0; x < kW; ++x) row += PixelAt(mask, x, kH - 1) != qRgb(255, 255, 255);
    for (int y = 0; y < kH; ++y) column += PixelAt(mask, kW - 1, y) != qRgb(255, 255, 255);
    EXPECT_GE(row, kW - 12);  // the whole bottom row but where the label sits
    EXPECT_EQ(column, kH);
    // Dragged up past the top: the line runs along row 0.
    state = kTrackRegionSelected;
    Drag(l, {kW - 1, 1}, {20, kH + 40});
    EXPECT_EQ(l.GetCentre(), CPoint(20, kH));
}

// =============================================================== quadrant

// Quadrant handles: the centre within 4 pixels, each arm end within 4 pixels
// along its edge and 7 from it; a pixel further is nothing.
TEST_F(RegionShapesTest, QuadrantHandlesAtTheEdgesOfTheirReach) {
    CrQuadrant quad(0, 1, 0.3f, 0.6f, 0.4f, 0.7f, 0.8f, 0.2f);
    CQuadLayer l(&quad, plot.get());
    const CPoint c = l.GetCentre();
    const auto [rightY, topX, leftY, bottomX] = l.GetArmEnds();
    // Far enough apart that no two handles reach the same pixel.
    ASSERT_GT(std::abs(rightY - leftY), 20);
    ASSERT_GT(std::abs(topX - bottomX), 20);
    const struct {
        CPoint p;
        int32_t handle;
    } cases[] = {
        {c, 0}, {CPoint(c.x + 4, c.y - 4), 0}, {CPoint(c.x + 5, c.y), -1}, {CPoint(c.x, c.y - 5), -1},
        {CPoint(kW - 7, rightY), 1}, {CPoint(kW - 8, rightY), -1}, {CPoint(kW, rightY + 4), 1}, {CPoint(kW, rightY + 5), -1},
        {CPoint(topX, kH - 7), 2}, {CPoint(topX, kH - 8), -1}, {CPoint(topX - 4, kH), 2}, {CPoint(topX - 5, kH), -1},
        {CPoint(7, leftY), 3}, {CPoint(8, leftY), -1}, {CPoint(0, leftY - 4), 3}, {CPoint(0, leftY - 5), -1},
        {CPoint(bottomX, 7), 4}, {CPoint(bottomX, 8), -1}, {CPoint(bottomX + 4, 0), 4}, {CPoint(bottomX + 5, 0), -1},
    };
    for (const auto& k : cases) EXPECT_EQ(l.HitHandle(k.p), k.handle) << k.p.x << "," << k.p.y;
}

TEST_F(RegionShapesTest, QuadrantPercentagesAreThePartsCountedHere) {
    CQuadLayer l(0, 1, plot.get());
    state = kTrackRegionCreate;
    ASSERT_TRUE(l.OnButtonDown(Pg(50, 50), &state));
    ASSERT_TRUE(l.OnDrag(Pg(60, 110), &state));  // the upright cross follows
    ASSERT_TRUE(l.OnButtonUp(Pg(60, 110), &state));
    ASSERT_EQ(l.GetCentre(), CPoint(60, 110));
    MakeGate(l);
    ASSERT_EQ(shell->GetGateCount(), 5);
    const double cx = 60.0 / kW, cy = 110.0 / kH;
    int n[4] = {};
    for (const auto& [x, y] : GridEvents()) {
        const bool right = x / 1000.0 > cx, up = y / 1000.0 > cy;
        ++n[up ? (right ? 0 : 1) : (right ? 3 : 2)];
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(int(shell->GetGate(1 + i)->GetMask().CountSetBits()), n[i]) << i;
        EXPECT_EQ(l.GetPartText(i), lm::FormatFixed(n[i] / 400.0 * 100.0, 2)) << i;
    }

    // Parts without gates count nothing; a plot gate without events divides
    // nothing.
    CrQuadrant loose(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f);
    CQuadLayer lonely(&loose, plot.get());
    CGateNode* none = AddRectGate(*shell, 0.0f, 0.0f, 0.01f, 0.01f, 0, "none");
    CPLOT empty(CRect(0, 0, 250, 250), none, nullptr, 0, 1);
    CQuadLayer onEmpty(static_cast<CrQuadrant*>(shell->GetGate(1)->GetRegion()), &empty);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lonely.GetPartText(i), "0.00");
        EXPECT_EQ(onEmpty.GetPartText(i), "0.00");
    }

    // A layer asked to show part 2 edits and counts part 0.
    auto onPart = CreateRegionLayerFor(shell->GetGate(3)->GetRegion(), plot.get());
    EXPECT_EQ(onPart->GetRegion(), shell->GetGate(1)->GetRegion());
    EXPECT_EQ(static_cast<CQuadLayer*>(onPart.get())->GetPartText(3), l.GetPartText(3));
}

TEST_F(RegionShapesTest, AQuadrantOutsideTheBandMovesBackInButNotFurtherOut) {
    // Centre 3 pixels from the left edge, as a file or a resize can leave it.
    CGateNode* g = shell->AddRegionGate(
        std::make_unique<CrQuadrant>(0, 1, 3.0f / kW, 0.5f, 0.5f, 3.0f / kW, 0.5f, 3.0f / kW), 0, "Q");
    CQuadLayer l(static_cast<CrQuadrant*>(g->GetRegion()), plot.get());
    ASSERT_EQ(l.GetCentre(), CPoint(3, 85));
    state = kTrackMove;
    ASSERT_TRUE(l.OnButtonDown(Pg(3, 85), &state));
    ASSERT_TRUE(l.OnButtonDown(Pg(3, 85), &state));
    ASSERT_EQ(state, kTrackRegionMove);
    EXPECT_TRUE(l.OnDrag(Pg(1, 85), &state));  // further out: refused
    EXPECT_EQ(l.GetCentre(), CPoint(3, 85));
    EXPECT_TRUE(l.OnDrag(Pg(13, 95), &state));  // from the last taken point (3, 85)
    EXPECT_EQ(l.GetCentre(), CPoint(13, 95));
    EXPECT_EQ(l.GetArmEnds(), (std::array<int32_t, 4>{95, 13, 95, 13}));
    EXPECT_TRUE(l.OnDrag(Pg(5, 95), &state));  // onto the band's edge: refused
    EXPECT_EQ(l.GetCentre(), CPoint(13, 95));
}

TEST_F(RegionShapesTest, TheQuadrantToolNeedsTwelvePixelsOnEachAxis) {
    const struct {
        int32_t plotWidth;
        bool offered;
    } rows[] = {{73, false}, {74, true}};  // areas 11 and 12 wide
    for (const auto& r : rows) {
        CPLOT narrow(CRect(0, 0, r.plotWidth, 250), shell->GetRoot(), nullptr, 0, 1);
        ASSERT_EQ(narrow.GetPlotArea().Width(), r.plotWidth - 62);
        EXPECT_EQ(CreateRegionLayerForTool(kTrackQuadrantTool, 0, 1, &narrow) != nullptr, r.offered);
        EXPECT_NE(CreateRegionLayerForTool(kTrackRectTool, 0, 1, &narrow), nullptr);
    }
}

TEST_F(RegionShapesTest, EachCornerTextIsPlacedByItsOwnWidth) {
    // Everything in the lower right part: "100.00" there, "0.00" above it.
    CGateNode* g = shell->AddRegionGate(
        std::make_unique<CrQuadrant>(0, 1, 0.01f, 0.99f, 0.99f, 0.01f, 0.99f, 0.01f), 0, "Q");
    CQuadLayer l(static_cast<CrQuadrant*>(g->GetRegion()), plot.get());
    ASSERT_EQ(l.GetPartText(3), "100.00");
    ASSERT_EQ(l.GetPartText(0), "0.00");
    QImage img = NewMaskImage(kW, kH);
    l.DrawMask(img);
    const QFontMetrics fm(plot->CreatePlotFont());
    const int w0 = fm.horizontalAdvance("0.00"), w3 = fm.horizontalAdvance("100.00");
    int marks = 0;
    for (int y = kH - fm.height(); y < kH; ++y)
        for (int x = kW - w3; x < kW - w0; ++x) marks += PixelAt(img, x, y) != qRgb(255, 255, 255);
    EXPECT_GT(marks, 0);
}

TEST_F(RegionShapesTest, TheQuadrantToolNeedsTwelvePixelsOfHeightToo) {
    for (const auto& [plotHeight, offered] : {std::pair{91, false}, std::pair{92, true}}) {  // areas 11 and 12 high
        CPLOT low(CRect(0, 0, 250, plotHeight), shell->GetRoot(), nullptr, 0, 1);
        ASSERT_EQ(low.GetPlotArea().Height(), plotHeight - 80);
        EXPECT_EQ(CreateRegionLayerForTool(kTrackQuadrantTool, 0, 1, &low) != nullptr, offered) << plotHeight;
    }
}

// ================================================================== view

class RegionShapesViewTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(900, 700); }
    int32_t State() const { return view->GetTrackState(); }
    lmtest::TempDir dir;
};

TEST_F(RegionShapesViewTest, PolygonAndQuadrantDrawnWithTheMouseAreSavedAndReopenedAlike) {
    VexaDataShell* shell = doc->OpenDataFile(dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents())), 0);
    ASSERT_NE(shell, nullptr);
    auto* plot = static_cast<CPLOT*>(
        doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1)));
    d->Click(AreaPoint(*plot, 90, 90));
    ASSERT_EQ(doc->GetActiveObject(), plot);

    ui.QueueMenuChoice(kPlotCmdPolygonTool);
    d->RightClick(AreaPoint(*plot, 90, 90));
    ASSERT_EQ(State(), kTrackPolygonTool);
    for (CPoint p : {CPoint(20, 20), CPoint(120, 20), CPoint(70, 140), CPoint(22, 22)}) d->Click(AreaPoint(*plot, p.x, p.y));
    EXPECT_EQ(State(), kTrackPolygonVertex);
    EXPECT_FALSE(plot->IsDragCacheReady());
    ASSERT_EQ(shell->GetGateCount(), 2);
    EXPECT_EQ(shell->GetGate(1)->GetRegionType(), kRgnPolygon);

    d->Click(CPoint(600, 600));  // lets the plot go
    d->Click(AreaPoint(*plot, 160, 150));
    ui.QueueMenuChoice(kPlotCmdQuadrantTool);
    d->RightClick(AreaPoint(*plot, 160, 150));
    ASSERT_EQ(State(), kTrackQuadrantTool);
    d->Drag(AreaPoint(*plot, 80, 80), AreaPoint(*plot, 100, 90));
    EXPECT_EQ(State(), kTrackRegionSelected);
    ASSERT_EQ(shell->GetGateCount(), 6);
    EXPECT_EQ(shell->GetGate(2)->GetRegionType(), kRgnQuadrant);
    ASSERT_EQ(plot->GetRegionLayers().size(), 2u);
    const QImage shown = PaintAll();
    const CRect a = plot->GetPlotArea();
    const QPoint arm = view->LogicalToClient(CPoint(a.left + 100, a.top + 20));  // the upper arm at x 100
    EXPECT_NE(shown.pixel(arm.x() - 1, arm.y()), qRgb(255, 255, 255));

    CArchive first;
    doc->Serialize(first);
    CLumitraDoc again;
    QString error;
    ASSERT_TRUE(again.OnOpenDocument(QString::fromStdString(dir.Write("shapes.fld", first.Bytes())), &error))
        << error.toStdString();
    auto* back = dynamic_cast<CPLOT*>(again.GetObjectAt(0));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->GetRegionLayers().size(), 2u);
    EXPECT_NE(dynamic_cast<CPolygonLayer*>(back->GetRegionLayers()[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<CQuadLayer*>(back->GetRegionLayers()[1].get()), nullptr);
    CArchive second;
    again.Serialize(second);
    EXPECT_EQ(second.Bytes(), first.Bytes());
}

TEST_F(RegionShapesViewTest, ACrossRegionComesBackFromAPlotRecordAsACrossLayer) {
    VexaDataShell* shell = doc->OpenDataFile(dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents())), 0);
    ASSERT_NE(shell, nullptr);
    CGateNode* g = shell->AddRegionGate(std::make_unique<CrCross>(0, 1, 0.5f, 0.5f), 0, "C");
    auto* plot = static_cast<CPLOT*>(
        doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1)));
    plot->ShowRegion(g->GetRegion());
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    CArchive first;
    doc->Serialize(first);
    CLumitraDoc again;
    QString error;
    ASSERT_TRUE(again.OnOpenDocument(QString::fromStdString(dir.Write("cross.fld", first.Bytes())), &error))
        << error.toStdString();
    auto* back = dynamic_cast<CPLOT*>(again.GetObjectAt(0));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->GetRegionLayers().size(), 1u);
    auto* cross = dynamic_cast<CCrossLayer*>(back->GetRegionLayers()[0].get());
    ASSERT_NE(cross, nullptr);
    EXPECT_EQ(cross->GetCentre(), CPoint(94, 85));
    EXPECT_EQ(cross->GetLabelRect().TopLeft(), static_cast<CRgnLayer*>(plot->GetRegionLayers()[0].get())->GetLabelRect().TopLeft());
}

}  // namespace
