// Region layers: their marks, labels and percentages, their records, their
// lives next to their regions, and the makers the plots use.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "base/Archive.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "report/plot/EllipseLayer.h"
#include "report/page/LumitraDoc.h"
#include "report/plot/RangeLayer.h"
#include "report/plot/RectLayer.h"
#include "report/page/TrackStates.h"
#include "tests/report/PlotTestUtil.h"

using namespace plottest;

namespace {

const CRect kPlotRect(0, 0, 250, 250);  // area (46, 36, 234, 206)
constexpr int32_t kW = 188;
constexpr int32_t kH = 170;
const QRgb kBlack = qRgb(0, 0, 0);
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

void PutInt(std::vector<uint8_t>& b, int32_t v) {
    const size_t at = b.size();
    b.resize(at + 4);
    std::memcpy(b.data() + at, &v, 4);  // the test machine is little-endian, as the file is
}

void PutFloat(std::vector<uint8_t>& b, float v) {
    const size_t at = b.size();
    b.resize(at + 4);
    std::memcpy(b.data() + at, &v, 4);
}

class RgnLayerDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApp();
        ResetPlotDefaults();
        // Three events on the diagonal: 10 %, 50 % and 90 % of both axes.
        shell = MakeShell({{100, 100}, {500, 500}, {900, 900}});
        plot = std::make_unique<CPLOT>(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
        // A rectangle around the middle event only, named by its gate.
        gate = AddRectGate(*shell, 40.0f / kW, 30.0f / kH, 120.0f / kW, 100.0f / kH, 0, "Mid");
        region = static_cast<CrRect*>(gate->GetRegion());
    }

    std::unique_ptr<VexaDataShell> shell;
    std::unique_ptr<CPLOT> plot;
    CGateNode* gate = nullptr;
    CrRect* region = nullptr;
};

}  // namespace

// ================================================================= marks

TEST_F(RgnLayerDrawTest, RectangleOutlineAndHandlesLandOnTheirPixels) {
    CRectLayer l(region, plot.get());
    ASSERT_EQ(l.GetBox(), CRect(40, 30, 120, 100));
    l.SetLabelRect(CRect(150, 2, 150, 2));  // text out of the way, top right
    QImage mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    // Columns x0 - 1 and x1 - 1, rows H - y1 and H - y0.
    for (int y = 70; y <= 140; ++y) {
        EXPECT_TRUE(Marked(mask, 39, y)) << y;
        EXPECT_TRUE(Marked(mask, 119, y)) << y;
    }
    for (int x = 39; x <= 119; ++x) {
        EXPECT_TRUE(Marked(mask, x, 70)) << x;
        EXPECT_TRUE(Marked(mask, x, 140)) << x;
    }
    EXPECT_EQ(MarksIn(mask, 0, 0, 145, kH), 2 * 81 + 2 * 71 - 4);  // the outline and nothing else
    EXPECT_EQ(PixelAt(mask, 39, 100), kBlack);

    l.SetSelected(true);
    mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    // 7 x 7 squares centred on (x0 - 1, y1), (x0 - 1, y0 + 1), (x1, y0 + 1), (x1, y1).
    for (const CPoint c : {CPoint(39, 70), CPoint(39, 139), CPoint(120, 139), CPoint(120, 70)}) {
        EXPECT_EQ(MarksIn(mask, c.x - 3, c.y - 3, c.x + 4, c.y + 4), 49) << c.x << "," << c.y;
        EXPECT_FALSE(Marked(mask, c.x - 4, c.y - 4));
        EXPECT_FALSE(Marked(mask, c.x + 4, c.y + 4));
    }
}

TEST_F(RgnLayerDrawTest, RangeAndEllipseMarks) {
    auto rangeGate = shell->AddRegionGate(std::make_unique<CrRange>(0, 1, 40.0f / kW, 120.0f / kW), 0, "R");
    CRangeLayer range(static_cast<CrRange*>(rangeGate->GetRegion()), plot.get());
    EXPECT_EQ(range.GetLevel(), kH / 2);
    range.SetPixels(40, 120, 50);
    range.SetLabelRect(CRect(150, 2, 150, 2));
    QImage mask = NewMaskImage(kW, kH);
    range.DrawMask(mask);
    for (int y = 0; y < kH; ++y) {
        ASSERT_TRUE(Marked(mask, 39, y)) << y;  // full height at x0 - 1 and x1
        ASSERT_TRUE(Marked(mask, 120, y)) << y;
    }
    for (int x = 39; x <= 120; ++x) EXPECT_TRUE(Marked(mask, x, kH - 50)) << x;
    EXPECT_FALSE(Marked(mask, 80, kH - 51));
    EXPECT_FALSE(Marked(mask, 80, kH - 49));
    EXPECT_EQ(MarksIn(mask, 0, 0, 145, kH), 2 * kH + 80);

    CEllipseLayer ellipse(0, 1, plot.get());
    int32_t state = kTrackRegionCreate;
    const CRect a = plot->GetPlotArea();
    ASSERT_TRUE(ellipse.OnButtonDown(CPoint(a.left + 40, a.bottom - 30), &state));
    ASSERT_TRUE(ellipse.OnDrag(CPoint(a.left + 120, a.bottom - 100), &state));
    ASSERT_TRUE(ellipse.OnButtonUp(CPoint(a.left + 120, a.bottom - 100), &state));
    mask = NewMaskImage(kW, kH);
    ellipse.DrawMask(mask);
    // Inscribed in columns 39..119 and rows 70..140: it touches each side
    // near its middle and never a corner or the centre.
    EXPECT_EQ(MarksIn(mask, 0, 0, kW, 70) + MarksIn(mask, 0, 141, kW, kH), 0);
    EXPECT_EQ(MarksIn(mask, 0, 0, 39, kH) + MarksIn(mask, 120, 0, kW, kH), 0);
    EXPECT_GT(MarksIn(mask, 70, 70, 90, 71), 0);
    EXPECT_GT(MarksIn(mask, 70, 140, 90, 141), 0);
    EXPECT_GT(MarksIn(mask, 39, 95, 40, 115), 0);
    EXPECT_GT(MarksIn(mask, 119, 95, 120, 115), 0);
    EXPECT_FALSE(Marked(mask, 39, 70));
    EXPECT_FALSE(Marked(mask, 119, 140));
    EXPECT_EQ(MarksIn(mask, 60, 90, 100, 120), 0);
}

TEST_F(RgnLayerDrawTest, NameAndPercentageFormTheLabel) {
    CRectLayer l(region, plot.get());
    EXPECT_EQ(l.GetPercentText(), "33.33");  // one event of three
    l.SetLabelRect(CRect(20, 10, 20, 10));
    QImage mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    const QFontMetrics fm(plot->CreatePlotFont());
    const CRect label = l.GetLabelRect();
    EXPECT_EQ(label.TopLeft(), CPoint(20, 10));
    EXPECT_EQ(label.Width(), fm.horizontalAdvance("Mid"));
    EXPECT_EQ(label.Height(), fm.height());
    EXPECT_GT(MarksIn(mask, label.left, label.top, label.right, label.bottom), 0);
    // The percentage on the line below.
    const int pw = fm.horizontalAdvance("33.33");
    EXPECT_GT(MarksIn(mask, label.left, label.bottom, label.left + pw, label.bottom + fm.height()), 0);
    // Nothing of the label reaches the outline rows.
    EXPECT_EQ(MarksIn(mask, 0, 0, kW, 9), 0);

    // The label is hit through the page point, offset by the area.
    const CRect a = plot->GetPlotArea();
    EXPECT_TRUE(l.HitLabel(CPoint(a.left + label.left, a.top + label.top)));
    EXPECT_FALSE(l.HitLabel(CPoint(a.left + label.right, a.top + label.top)));
    EXPECT_FALSE(l.HitLabel(CPoint(a.left + label.left, a.top + label.bottom)));

    // Without the percentage: the name only.
    l.SetShowPercent(false);
    mask = NewMaskImage(kW, kH);
    l.DrawMask(mask);
    EXPECT_GT(MarksIn(mask, label.left, label.top, label.right, label.bottom), 0);
    EXPECT_EQ(MarksIn(mask, label.left, label.bottom, label.left + pw, label.bottom + fm.height()), 0);
}

TEST_F(RgnLayerDrawTest, ColourDrawingInvisibleLayersAndThePlot) {
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

    // The plot paints a shown region's mask in the layer's colour.
    plot->ShowRegion(region);
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    auto* shown = dynamic_cast<CRectLayer*>(plot->GetRegionLayers()[0].get());
    ASSERT_NE(shown, nullptr);
    shown->SetColor(RGB(0, 0, 255));
    const QImage page = DrawOnPage(*plot);
    EXPECT_EQ(PixelAt(page, a.left + 39, a.top + 100), qRgb(0, 0, 255));
    EXPECT_EQ(PixelAt(page, a.left + 119, a.top + 70), qRgb(0, 0, 255));
}

// =========================================================== percentages

TEST_F(RgnLayerDrawTest, PercentagesWithoutEventsOrWithoutGateAreZero) {
    // A plot gate that holds no event.
    CGateNode* empty = AddRectGate(*shell, 0.0f, 0.0f, 0.05f, 0.05f, 0, "Empty");
    ASSERT_EQ(empty->GetMask().CountSetBits(), 0u);
    CPLOT onEmpty(kPlotRect, empty, nullptr, 0, 1);
    CRectLayer a(region, &onEmpty);
    EXPECT_EQ(a.GetPercentText(), "0.00");

    CPLOT noGate(kPlotRect, nullptr, 0, 1);
    CRectLayer b(region, &noGate);
    EXPECT_EQ(b.GetPercentText(), "0.00");

    // A layer still being drawn has no region and shows no share.
    CRectLayer c(0, 1, plot.get());
    c.UpdatePercentText();
    EXPECT_EQ(c.GetPercentText(), "");

    // All three events in the region: 100.00 once drawn (the region tells
    // its layers before its gate has counted again).
    CRectLayer d(region, plot.get());
    region->SetGeometry({0.0f, 0.0f, 1.0f, 1.0f}, nullptr);
    QImage mask = NewMaskImage(kW, kH);
    d.DrawMask(mask);
    EXPECT_EQ(d.GetPercentText(), "100.00");
}

TEST_F(RgnLayerDrawTest, PercentageIsOnlyKeptWhileShown) {
    CRectLayer l(region, plot.get());
    ASSERT_EQ(l.GetPercentText(), "33.33");
    l.SetShowPercent(false);
    // Two events now; nothing recomputes while the percentage is hidden.
    region->SetGeometry({0.0f, 0.0f, 0.6f, 0.6f}, nullptr);
    EXPECT_EQ(l.GetBox(), CRect(0, 0, int(0.6f * kW), int(0.6f * kH)));
    EXPECT_EQ(l.GetPercentText(), "33.33");
    l.SetShowPercent(true);
    EXPECT_EQ(l.GetPercentText(), "66.67");
}

// ================================================================ records

TEST_F(RgnLayerDrawTest, RecordsAreLabelThenFractionsThenTheRangeBar) {
    CRectLayer rect(0, 1, plot.get());
    int32_t state = kTrackRegionCreate;
    const CRect a = plot->GetPlotArea();
    ASSERT_TRUE(rect.OnButtonDown(CPoint(a.left + 40, a.bottom - 30), &state));
    ASSERT_TRUE(rect.OnDrag(CPoint(a.left + 121, a.bottom - 100), &state));
    ASSERT_TRUE(rect.OnButtonUp(CPoint(a.left + 121, a.bottom - 100), &state));
    // Box (40,30)-(121,100): anchor (80, 170 - 65).
    std::vector<uint8_t> expect;
    for (int32_t v : {80, 105, 80, 105}) PutInt(expect, v);
    PutFloat(expect, float(80.0 / kW));
    PutFloat(expect, float(105.0 / kH));
    EXPECT_EQ(Bytes(rect), expect);

    CRangeLayer range(static_cast<CrRange*>(
                          shell->AddRegionGate(std::make_unique<CrRange>(0, 1, 0.2f, 0.4f), 0, "")->GetRegion()),
                      plot.get());
    std::vector<uint8_t> rec;
    for (int32_t v : {-3, 7, 250, 40000}) PutInt(rec, v);
    PutFloat(rec, 0.25f);
    PutFloat(rec, 1.5f);
    PutInt(rec, 33);
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
    std::vector<uint8_t> noLevel(rec.begin(), rec.begin() + 20);
    PutFloat(noLevel, 0.5f);
    CArchive cutRange(noLevel);
    EXPECT_THROW(range.Load(cutRange), CArchiveException);
}

TEST_F(RgnLayerDrawTest, RecordsWithAbsurdValuesStayUsable) {
    CRectLayer l(region, plot.get());
    std::vector<uint8_t> rec;
    for (int32_t v : {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}) PutInt(rec, v);
    PutFloat(rec, std::numeric_limits<float>::quiet_NaN());
    PutFloat(rec, std::numeric_limits<float>::infinity());
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
    // Far too wide for the area: the right edge wins and ends 10 inside.
    EXPECT_EQ(l.GetLabelRect().right, kW - 10);
    l.Reset();
    EXPECT_EQ(l.GetBox(), CRect(40, 30, 120, 100));
}

// ============================================================ lifetimes

TEST_F(RgnLayerDrawTest, LayersAndRegionsLetGoOfEachOther) {
    {
        CRectLayer l(region, plot.get());
        ASSERT_EQ(region->GetUsers().size(), 1u);
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
    EXPECT_EQ(drawn.GetRegion(), g->GetRegion());
    EXPECT_EQ(drawn.GetRegionGate(), g);
}

// ================================================================ makers

TEST_F(RgnLayerDrawTest, MakersChooseTheLayerOfTheToolOrRegion) {
    auto range = CreateRegionLayerForTool(kTrackRangeTool, 2, 3, plot.get());
    auto rect = CreateRegionLayerForTool(kTrackRectTool, 2, 3, plot.get());
    auto ellipse = CreateRegionLayerForTool(kTrackEllipseTool, 2, 3, plot.get());
    ASSERT_NE(dynamic_cast<CRangeLayer*>(range.get()), nullptr);
    ASSERT_NE(dynamic_cast<CRectLayer*>(rect.get()), nullptr);
    ASSERT_NE(dynamic_cast<CEllipseLayer*>(ellipse.get()), nullptr);
    EXPECT_EQ(range->GetRegionType(), kRgnRange);
    EXPECT_EQ(rect->GetRegionType(), kRgnRect);
    EXPECT_EQ(ellipse->GetRegionType(), kRgnEllipse);
    EXPECT_EQ(rect->GetXParam(), 2);
    EXPECT_EQ(rect->GetYParam(), 3);
    EXPECT_EQ(rect->GetRegion(), nullptr);
    EXPECT_FALSE(rect->ParamsMatch(2, 3));  // no region yet
    EXPECT_EQ(rect->Clone(plot.get()), nullptr);
    for (int32_t tool : {int32_t(kTrackPolygonTool), int32_t(kTrackQuadrantTool), 0, 3})
        EXPECT_EQ(CreateRegionLayerForTool(tool, 0, 1, plot.get()), nullptr) << tool;

    auto shownRect = CreateRegionLayerFor(region, plot.get());
    ASSERT_NE(dynamic_cast<CRectLayer*>(shownRect.get()), nullptr);
    EXPECT_TRUE(shownRect->ParamsMatch(0, 1));
    EXPECT_FALSE(shownRect->ParamsMatch(1, 0));
    EXPECT_EQ(shownRect->GetRegionGate(), gate);
    CrEllipse ell(0, 1, {0.1f, 0.1f}, {0.2f, 0.2f});
    EXPECT_NE(dynamic_cast<CEllipseLayer*>(CreateRegionLayerFor(&ell, plot.get()).get()), nullptr);
    CrPolygon poly(0, 1, {{0.1f, 0.1f}, {0.5f, 0.1f}, {0.3f, 0.5f}});
    EXPECT_EQ(CreateRegionLayerFor(&poly, plot.get()), nullptr);
    EXPECT_EQ(CreateRegionLayerFor(nullptr, plot.get()), nullptr);
}

TEST_F(RgnLayerDrawTest, PlotRecordsKeepTheirRegionLayersLabels) {
    CLumitraDoc doc;
    VexaDataShell* s = doc.AttachDataShell(MakeShell({{100, 100}, {500, 500}}));
    CGateNode* g = AddRectGate(*s, 0.2f, 0.2f, 0.6f, 0.6f, 0, "G1");
    auto rangeGate = s->AddRegionGate(std::make_unique<CrRange>(0, 1, 0.1f, 0.3f), 0, "R1");
    CPLOT p(kPlotRect, s->GetRoot(), &doc, 0, 1);
    p.ShowRegion(g->GetRegion());
    p.ShowRegion(rangeGate->GetRegion());
    ASSERT_EQ(p.GetRegionLayers().size(), 2u);
    auto* rl = static_cast<CRectLayer*>(p.GetRegionLayers()[0].get());
    rl->SetLabelRect(CRect(5, 6, 30, 21));
    auto* range = static_cast<CRangeLayer*>(p.GetRegionLayers()[1].get());
    range->SetPixels(range->GetX0(), range->GetX1(), 120);

    CArchive out;
    p.Store(out);
    CPLOT loaded(&doc);
    CArchive in(out.Bytes());
    loaded.Load(in);
    EXPECT_EQ(in.Remaining(), 0u);
    ASSERT_EQ(loaded.GetRegionLayers().size(), 2u);
    auto* lr = dynamic_cast<CRectLayer*>(loaded.GetRegionLayers()[0].get());
    ASSERT_NE(lr, nullptr);
    EXPECT_EQ(lr->GetLabelRect(), CRect(5, 6, 30, 21));
    EXPECT_EQ(lr->GetBox(), rl->GetBox());
    auto* lrange = dynamic_cast<CRangeLayer*>(loaded.GetRegionLayers()[1].get());
    ASSERT_NE(lrange, nullptr);
    EXPECT_EQ(lrange->GetLevel(), 120);
    CArchive again;
    loaded.Store(again);
    EXPECT_EQ(again.Bytes(), out.Bytes());
}

TEST(RgnCanvasTest, LinesLeaveOutTheirEndAndRectanglesTheirRightAndBottom) {
    EnsureGuiApp();
    QImage img = NewMaskImage(20, 20);
    RgnCanvas c(img, kBlack, QFont());
    c.Line(CPoint(2, 2), CPoint(7, 7));
    EXPECT_EQ(MarksIn(img, 0, 0, 20, 20), 5);
    for (int i = 2; i < 7; ++i) EXPECT_TRUE(Marked(img, i, i)) << i;
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
