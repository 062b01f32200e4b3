#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/Archive.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/page/LumitraDoc.h"
#include "tests/report/PlotTestUtil.h"

using namespace plottest;

namespace {

const CRect kPlotRect(0, 0, 250, 250);
// The area of kPlotRect in page units.
const CRect kArea(46, 36, 234, 206);

class PlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApp();
        ResetPlotDefaults();
    }
};

int32_t IntAt(const std::vector<uint8_t>& b, size_t off) {
    int32_t v;
    std::memcpy(&v, b.data() + off, 4);
    return v;
}

void PutInt(std::vector<uint8_t>& b, size_t off, int32_t v) { std::memcpy(b.data() + off, &v, 4); }

std::vector<uint8_t> StoreOf(const CPLOT& plot) {
    CArchive ar;
    plot.Store(ar);
    return ar.Bytes();
}

// Offsets in the record of a plot whose font face is "Times New Roman".
constexpr size_t kBaseBytes = 72;
constexpr size_t kOffShell = kBaseBytes;
constexpr size_t kOffGate = kBaseBytes + 4;
constexpr size_t kOffX = kBaseBytes + 8;
constexpr size_t kOffStyle = kBaseBytes + 24;
constexpr size_t kOffHistPresence = kBaseBytes + 56;
constexpr size_t kOffDensityPresence = kBaseBytes + 64;

// A density layer double with a 4-byte record.
class FakeDensityLayer : public CLayer {
public:
    explicit FakeDensityLayer(CPLOT* plot) : CLayer(plot, false) {}
    std::unique_ptr<CLayer> Clone(CPLOT*) override { return nullptr; }
    void Draw(QImage&) override {}
    void Load(CArchive& ar) override { value = ar.ReadInt32(); }
    void Store(CArchive& ar) const override { ar.WriteInt32(value); }
    int32_t value = 1234;
};

std::unique_ptr<CLayer> MakeFakeDensity(CGateNode*, int32_t, int32_t, CPLOT* plot) {
    return std::make_unique<FakeDensityLayer>(plot);
}

}  // namespace

// ============================================================= geometry

TEST_F(PlotTest, GeometryOfA250By250Plot) {
    CPLOT plot(CRect(10, 20, 260, 270), nullptr, 0, 1);
    EXPECT_EQ(plot.GetPlotArea(), CRect(56, 56, 244, 226));
    EXPECT_EQ(plot.GetPlotAreaWidth(), 188);
    EXPECT_EQ(plot.GetPlotAreaHeight(), 170);
    EXPECT_EQ(plot.GetTitleRect(), CRect(18, 28, 252, 46));
    EXPECT_EQ(plot.GetXTitleRect(), CRect(56, 240, 244, 262));
    EXPECT_EQ(plot.GetYTitleRect(), CRect(13, 56, 38, 226));
    EXPECT_DOUBLE_EQ(plot.PixelToFractionX(94), 0.5);
    EXPECT_DOUBLE_EQ(plot.PixelToFractionY(340), 2.0);  // not clamped
    EXPECT_EQ(plot.PageToPlotArea(CPoint(56, 226)), CPoint(0, 0));
    EXPECT_EQ(plot.PageToPlotArea(CPoint(60, 200)), CPoint(4, 26));
    EXPECT_EQ(plot.GetMinSize(), CSize(60, 60));
    EXPECT_EQ(plot.GetDefaultSize(), CSize(100, 100));
    EXPECT_EQ(plot.GetType(), kObjPlot);
    EXPECT_EQ(plot.GetUserKind(), kUserPlot);
}

TEST_F(PlotTest, LayerCoordinatesFollowTheArea) {
    CPLOT plot(CRect(10, 20, 260, 270), nullptr, 0, 1);
    FakeRegionLayer layer(nullptr, &plot, CRect());
    EXPECT_EQ(layer.PageToArea(56, 226), CPoint(0, 0));
    EXPECT_EQ(layer.AreaToPage(10, 10), CPoint(66, 216));
    EXPECT_EQ(layer.WidthFraction(0.5f), 94);
    EXPECT_EQ(layer.HeightFraction(0.999f), 169);
    EXPECT_DOUBLE_EQ(layer.ClampedFractionX(0), 0.0);
    EXPECT_DOUBLE_EQ(layer.ClampedFractionX(94), 0.5);
    EXPECT_DOUBLE_EQ(layer.ClampedFractionX(188), 1.0);
    EXPECT_DOUBLE_EQ(layer.ClampedFractionX(500), 1.0);
    EXPECT_DOUBLE_EQ(layer.ClampedFractionY(-3), 0.0);
    EXPECT_EQ(layer.FractionToPixelX(1.5f), 188);
    EXPECT_EQ(layer.FractionToPixelY(-0.5f), 0);
    // Without a plot a layer measures against 32 x 32.
    FakeRegionLayer loose(nullptr, nullptr, CRect());
    EXPECT_EQ(loose.GetPlotArea(), CRect(0, 0, 32, 32));
    EXPECT_DOUBLE_EQ(loose.ClampedFractionY(16), 0.5);
    EXPECT_EQ(loose.GetXTrans(), nullptr);
    // Zero area: fractions never divide by it.
    CPLOT tiny(CRect(0, 0, 60, 60), nullptr, 0, 1);
    FakeRegionLayer onTiny(nullptr, &tiny, CRect());
    EXPECT_DOUBLE_EQ(onTiny.PixelToFractionX(5), 0.0);
    EXPECT_DOUBLE_EQ(tiny.PixelToFractionY(5), 0.0);
}

TEST_F(PlotTest, SizeRuleOfTheRectangleConstructors) {
    EXPECT_EQ(CPLOT::ApplySizeRule(CRect(10, 10, 40, 30)), CRect(10, 10, 70, 70));
    EXPECT_EQ(CPLOT::ApplySizeRule(CRect(5, 5, 7, 6)), CRect(5, 5, 105, 105));
    EXPECT_EQ(CPLOT::ApplySizeRule(CRect(0, 0, 2, 200)), CRect(0, 0, 60, 200));
    // A side of exactly 3 is no longer tiny: the minimum size, not the default.
    EXPECT_EQ(CPLOT::ApplySizeRule(CRect(5, 5, 8, 7)), CRect(5, 5, 65, 65));
    EXPECT_EQ(CPLOT::ApplySizeRule(CRect(5, 5, 7, 8)), CRect(5, 5, 65, 65));
    EXPECT_EQ(CPLOT::ApplySizeRule(CRect(300, 300, 0, 0)), CRect(0, 0, 300, 300));
    CPLOT plot(CRect(10, 10, 11, 11), nullptr, 0, 1);
    EXPECT_EQ(plot.GetRect(), CRect(10, 10, 110, 110));

    GetPlotDefaults().width = 300;
    GetPlotDefaults().height = 20;  // clamped to the minimum where used
    auto shell = MakeShell({{1, 1}});
    CPLOT atPoint(7, 9, shell->GetRoot(), nullptr, 0, 1);
    EXPECT_EQ(atPoint.GetRect(), CRect(7, 9, 307, 69));
}

// ============================================================== states

TEST_F(PlotTest, StatesOfTheRebuild) {
    // No gate: ready, an empty area.
    CPLOT empty(kPlotRect, nullptr, 0, 1);
    EXPECT_EQ(empty.GetState(), kPlotReady);

    // A shell without a data set: "No Data".
    VexaDataShell noData;
    CPLOT waiting(kPlotRect, noData.GetRoot(), nullptr, 0, 1);
    EXPECT_EQ(waiting.GetState(), kPlotNoData);
    ASSERT_EQ(waiting.GetDotLayers().size(), 1u);
    EXPECT_EQ(waiting.GetDotLayers()[0]->CountDots(), 0);

    // Parameters outside the data set (two parameters) given to a constructor
    // become 0 and 1; the count itself is outside.
    auto shell = MakeShell({{500, 500}});
    for (const CPoint xy : {CPoint(7, 1), CPoint(2, 1), CPoint(1, 2)}) {
        CPLOT fixed(kPlotRect, shell->GetRoot(), nullptr, xy.x, xy.y);
        EXPECT_EQ(fixed.GetXParam(), 0) << xy.x << "," << xy.y;
        EXPECT_EQ(fixed.GetYParam(), 1) << xy.x << "," << xy.y;
        EXPECT_EQ(fixed.GetState(), kPlotReady);
    }
}

// Axis titles name a parameter only for indices 0..count-1 of the data set.
TEST_F(PlotTest, AxisTitlesAtTheEndsOfTheParameterRange) {
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(MakeShell({{500, 500}}));
    const struct {
        int32_t x, y;
        const char* xTitle;
        const char* yTitle;
    } cases[] = {
        {0, 1, "FS", "SS"}, {1, 0, "SS", "FS"}, {2, 1, "X Par Err", "SS"}, {0, 2, "FS", "Y Par Err"},
        {-1, 0, "X Par Err", "FS"}, {1, -1, "SS", "Y Par Err"},
    };
    for (const auto& c : cases) {
        CPLOT plot(kPlotRect, shell->GetRoot(), &doc, 0, 1);
        std::vector<uint8_t> rec = StoreOf(plot);
        PutInt(rec, kOffX, c.x);
        PutInt(rec, kOffX + 4, c.y);
        CPLOT loaded(&doc);
        CArchive in(rec);
        loaded.Load(in);
        EXPECT_EQ(loaded.GetXAxisTitle(kLabelName), c.xTitle) << c.x << "," << c.y;
        EXPECT_EQ(loaded.GetYAxisTitle(kLabelName), c.yTitle) << c.x << "," << c.y;
    }
}

TEST_F(PlotTest, ParameterOutsideTheDataSetIsAParError) {
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(MakeShell({{500, 500}}));
    CPLOT plot(kPlotRect, shell->GetRoot(), &doc, 0, 1);
    std::vector<uint8_t> rec = StoreOf(plot);
    PutInt(rec, kOffX, 7);
    CPLOT loaded(&doc);
    CArchive in(rec);
    loaded.Load(in);
    EXPECT_EQ(loaded.GetState(), kPlotParError);
    EXPECT_EQ(loaded.GetXAxisTitle(kLabelName), "X Par Err");
    EXPECT_EQ(loaded.GetXTrans(), nullptr);  // the shell has no parameter 7
    ASSERT_NE(loaded.GetYTrans(), nullptr);
    EXPECT_EQ(loaded.GetYAxisTitle(kLabelName), "SS");

    // No axes are drawn: the strip under the area holds no tick marks.
    const QImage bad = DrawOnPage(loaded);
    const CRect strip(kArea.left, kArea.bottom + 2, kArea.right, kArea.bottom + 6);
    EXPECT_EQ(CountColour(bad, strip, qRgb(255, 255, 255)), strip.Width() * strip.Height());
    const QImage good = DrawOnPage(plot);
    EXPECT_LT(CountColour(good, strip, qRgb(255, 255, 255)), strip.Width() * strip.Height());
}

// ====================================================== dot layers per gate

TEST_F(PlotTest, OneDotLayerPerGateInGateOrderOnlyTheOwnShown) {
    auto shell = MakeShell({{500, 500}, {100, 100}});
    CGateNode* g1 = AddRectGate(*shell, 0.4f, 0.4f, 0.6f, 0.6f, 0, "G1");
    CGateNode* g2 = AddRectGate(*shell, 0.0f, 0.0f, 0.2f, 0.2f, 0, "G2");
    CPLOT onRoot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    ASSERT_EQ(onRoot.GetDotLayers().size(), 3u);
    EXPECT_TRUE(onRoot.GetDotLayers()[0]->HasGate(shell->GetRoot()));
    EXPECT_TRUE(onRoot.GetDotLayers()[1]->HasGate(g1));
    EXPECT_TRUE(onRoot.GetDotLayers()[2]->HasGate(g2));
    EXPECT_TRUE(onRoot.GetDotLayers()[0]->IsActive());
    EXPECT_FALSE(onRoot.GetDotLayers()[1]->IsActive());
    EXPECT_FALSE(onRoot.GetDotLayers()[2]->IsActive());
    EXPECT_EQ(onRoot.GetDotLayers()[1]->GetColor(), g1->GetColor());
    // A gate never gets a second layer.
    EXPECT_EQ(onRoot.AddDotLayerForGate(g1, true), nullptr);

    CPLOT onG1(kPlotRect, g1, nullptr, 0, 1);
    ASSERT_EQ(onG1.GetDotLayers().size(), 3u);
    EXPECT_FALSE(onG1.GetDotLayers()[0]->IsActive());
    EXPECT_TRUE(onG1.GetDotLayers()[1]->IsActive());
    for (const auto& l : onG1.GetDotLayers()) EXPECT_EQ(l->GetPlotGate(), g1);

    // A new gate gets a shown layer.
    CGateNode* g3 = AddRectGate(*shell, 0.45f, 0.45f, 0.55f, 0.55f, 0, "G3");
    CDotLayer* l3 = onRoot.FindDotLayer(g3);
    ASSERT_NE(l3, nullptr);
    EXPECT_TRUE(l3->IsActive());
    EXPECT_TRUE(onRoot.IsDirty());
    (void)onRoot.RenderArea();
    EXPECT_FALSE(onRoot.IsDirty());
    EXPECT_EQ(l3->CountDots(), 1);
}

TEST_F(PlotTest, HistogramAndBackKeepsTheDotLayers) {
    auto shell = MakeShell({{500, 500}, {100, 100}});
    CGateNode* g1 = AddRectGate(*shell, 0.4f, 0.4f, 0.6f, 0.6f, 0, "G1");
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    plot.FindDotLayer(g1)->SetActive(true);
    plot.FindDotLayer(g1)->SetLargeDots(true);
    std::vector<const CDotLayer*> before;
    for (const auto& l : plot.GetDotLayers()) before.push_back(l.get());

    plot.SetPlotType(kPlotFlagHistogram);
    ASSERT_NE(plot.GetHistLayer(), nullptr);
    EXPECT_EQ(plot.GetState(), kPlotReady);
    EXPECT_EQ(plot.GetYAxisTitle(kLabelName), "Count");
    ASSERT_NE(plot.GetYTrans(), nullptr);
    EXPECT_EQ(plot.GetYTrans()->GetType(), kTransLinear);
    EXPECT_FLOAT_EQ(plot.GetYTrans()->GetMax(), 1.0f);  // the tallest bin: 1 event
    ASSERT_EQ(plot.GetDotLayers().size(), before.size());

    plot.SetPlotType(kPlotFlagDots);
    ASSERT_EQ(plot.GetDotLayers().size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(plot.GetDotLayers()[i].get(), before[i]);
    EXPECT_TRUE(plot.GetDotLayers()[1]->IsActive());
    EXPECT_TRUE(plot.GetDotLayers()[1]->GetLargeDots());
    EXPECT_EQ(plot.GetDotLayers()[1]->CountDots(), 9);
    EXPECT_EQ(plot.GetYAxisTitle(kLabelName), "SS");
    // The Y transform is the shell's again.
    EXPECT_TRUE(plot.GetYTrans()->IsEqual(*shell->GetTrans(1)));
    // The histogram layer is kept for the next switch; counting again does
    // not touch the Y axis of the dots.
    ASSERT_NE(plot.GetHistLayer(), nullptr);
    plot.MarkDirty();
    plot.RecalcLayers(true, false);
    EXPECT_TRUE(plot.GetYTrans()->IsEqual(*shell->GetTrans(1)));
}

TEST_F(PlotTest, CopiesTakeTheStyleDefaultAndMapGatesByIndex) {
    auto a = MakeShell({{500, 500}, {100, 100}}, "A", "a.fcs");
    auto b = MakeShell({{500, 500}, {150, 150}}, "B", "b.fcs");
    CGateNode* a1 = AddRectGate(*a, 0.4f, 0.4f, 0.6f, 0.6f, 0, "G1");
    CGateNode* b1 = AddRectGate(*b, 0.0f, 0.0f, 0.2f, 0.2f, 0, "H1");
    CPLOT source(kPlotRect, a1, nullptr, 1, 0);
    source.SetPlotType(kPlotFlagHistogram);
    ASSERT_TRUE(source.IsHistogram());

    CPLOT copy(CRect(300, 0, 550, 250), b.get(), source);
    EXPECT_FALSE(copy.IsHistogram());  // "STYLE" is dots
    EXPECT_EQ(copy.GetStyleFlags(), kPlotFlagDots);
    EXPECT_EQ(copy.GetGate(), b1);
    EXPECT_EQ(copy.GetXParam(), 1);
    EXPECT_EQ(copy.GetYParam(), 0);
    ASSERT_EQ(copy.GetDotLayers().size(), 2u);
    EXPECT_FALSE(copy.GetDotLayers()[0]->IsActive());
    EXPECT_TRUE(copy.GetDotLayers()[1]->IsActive());
    EXPECT_EQ(copy.GetDotLayers()[1]->GetGate(), b1);
    EXPECT_EQ(copy.GetDotLayers()[1]->CountDots(), 1);

    CPLOT same(CRect(0, 300, 250, 550), source);
    EXPECT_EQ(same.GetGate(), a1);
    EXPECT_EQ(same.GetShell(), a.get());
}

// =============================================================== titles

TEST_F(PlotTest, ParameterLabelsInTheThreeModes) {
    lmtest::FcsWriter w;
    w.Param("  FL1-H ", 32, "1000", "0,0", " CD4 ").Param("FL2", 32, "1000", "0,0", "");
    w.Event({1, 2});
    auto shell = std::make_unique<VexaDataShell>(lmtest::LoadFcsBytes(w.Build(), 0, "C:\\data\\run7.fcs").release(),
                                                 "");
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    EXPECT_EQ(plot.GetParamLabel(0, kLabelName), "FL1-H");
    EXPECT_EQ(plot.GetParamLabel(0, kLabelShortName), "CD4");
    const CParam* p0 = shell->GetParam(0);
    EXPECT_EQ(plot.GetParamLabel(0, kLabelBoth), p0->name + " " + p0->shortName);
    EXPECT_NE(p0->shortName.find("CD4"), std::string::npos);
    EXPECT_EQ(plot.GetParamLabel(1, kLabelShortName), "FL2");  // no $PnS: the name
    EXPECT_EQ(plot.GetParamLabel(5, kLabelName), "");
}

TEST_F(PlotTest, AnUnnamedShellShowsTheFileNameOfALinuxOrAWindowsPath) {
    for (const char* path : {"/data/run7.fcs", "C:\\data\\run7.fcs"}) {
        auto shell = MakeShell({{1, 2}}, "", path);
        CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
        EXPECT_EQ(plot.GetDataName(1), "");
        EXPECT_EQ(plot.GetDataName(0), "run7.fcs") << path;
    }
}

TEST_F(PlotTest, TheFirstTitleLineKeepsItsDescenders) {
    auto shell = MakeShell({{1, 2}}, std::string(60, 'g'), "g.fcs");  // wider than the band
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    const QImage page = DrawOnPage(plot);
    // The rows under the first line's baseline, left of the short second line.
    const CRect t = plot.GetTitleRect();
    int inked = 0;
    for (int y = t.top + 8; y < t.top + 13; ++y)
        for (int x = t.left; x < t.left + 40; ++x) inked += qGray(PixelAt(page, x, y)) < 128;
    EXPECT_GT(inked, 0);
}

// ============================================================= records

TEST_F(PlotTest, BarePlotRecordIs171Bytes) {
    CPLOT bare(nullptr);
    const std::vector<uint8_t> rec = StoreOf(bare);
    ASSERT_EQ(rec.size(), 171u);
    EXPECT_EQ(IntAt(rec, 16), 15);  // font height
    EXPECT_EQ(rec[39], 1);          // character set
    EXPECT_EQ(rec[44], 15);         // face name length
    EXPECT_EQ(std::string(rec.begin() + 45, rec.begin() + 60), "Times New Roman");
    EXPECT_EQ(IntAt(rec, kOffShell), -1);
    EXPECT_EQ(IntAt(rec, kOffGate), -1);
    EXPECT_EQ(IntAt(rec, kOffX), 0);
    EXPECT_EQ(IntAt(rec, kOffX + 4), 1);
    EXPECT_EQ(IntAt(rec, kOffX + 8), 2000);  // "Evts"
    EXPECT_EQ(IntAt(rec, kOffX + 12), 1);    // reserved A
    EXPECT_EQ(IntAt(rec, kOffStyle), kPlotFlagDots);
    EXPECT_EQ(IntAt(rec, kBaseBytes + 52), 0xFFFFFF);  // background
    for (size_t off = kBaseBytes + 56; off < kBaseBytes + 92; off += 4) EXPECT_EQ(IntAt(rec, off), 0) << off;
    EXPECT_EQ(rec[164], 0);
    EXPECT_EQ(rec[165], 0);
    EXPECT_EQ(rec[166], 0);
    EXPECT_EQ(IntAt(rec, 167), 0);

    CPLOT again(nullptr);
    CArchive in(rec);
    again.Load(in);
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(again.GetGate(), nullptr);
    EXPECT_EQ(StoreOf(again), rec);
}

TEST_F(PlotTest, RecordRoundTripsLayersAndRegions) {
    ScopedRegionMaker regions;
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(MakeShell({{500, 500}, {100, 100}}));
    CGateNode* g1 = AddRectGate(*shell, 0.4f, 0.4f, 0.6f, 0.6f, 0, "G1");
    CGateNode* g2 = AddRectGate(*shell, 0.0f, 0.0f, 0.2f, 0.2f, 0, "G2");
    CPLOT plot(kPlotRect, g1, &doc, 0, 1);
    plot.FindDotLayer(g2)->SetActive(true);
    plot.FindDotLayer(g1)->SetLargeDots(true);
    plot.SetPlotType(kPlotFlagHistogram);
    plot.GetHistLayer()->SetBinCount(64);
    plot.SetPlotType(kPlotFlagDots);
    plot.ShowRegion(g2->GetRegion());
    plot.reservedC = 5;
    plot.reservedG = "memo";
    ASSERT_EQ(plot.GetRegionLayers().size(), 1u);

    const std::vector<uint8_t> rec = StoreOf(plot);
    EXPECT_EQ(IntAt(rec, kOffShell), 0);
    EXPECT_EQ(IntAt(rec, kOffGate), 1);
    EXPECT_EQ(IntAt(rec, kOffHistPresence), 1);
    // 171 + histogram (16) + three dot entries (12 each) + a region entry
    // (4 + its 24-byte layer record) + a shown region (4) + 4 bytes of "memo".
    EXPECT_EQ(rec.size(), 171u + 16 + 36 + 4 + 24 + 4 + 4);

    CPLOT loaded(&doc);
    CArchive in(rec);
    loaded.Load(in);
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(loaded.GetGate(), g1);
    EXPECT_EQ(loaded.GetState(), kPlotReady);
    ASSERT_EQ(loaded.GetDotLayers().size(), 3u);
    EXPECT_FALSE(loaded.GetDotLayers()[0]->IsActive());
    EXPECT_TRUE(loaded.GetDotLayers()[1]->GetLargeDots());
    EXPECT_TRUE(loaded.GetDotLayers()[2]->IsActive());
    EXPECT_EQ(loaded.GetDotLayers()[1]->CountDots(), 9);
    ASSERT_NE(loaded.GetHistLayer(), nullptr);
    EXPECT_EQ(loaded.GetHistLayer()->GetBinCount(), 64);
    ASSERT_EQ(loaded.GetShownRegions().size(), 1u);
    EXPECT_EQ(loaded.GetShownRegions()[0], g2->GetRegion());
    EXPECT_EQ(loaded.GetRegionLayers().size(), 1u);
    EXPECT_EQ(loaded.reservedG, "memo");
    EXPECT_EQ(StoreOf(loaded), rec);
}

TEST_F(PlotTest, RecordsThatNameNothingAreRefused) {
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(MakeShell({{500, 500}}));
    CPLOT plot(kPlotRect, shell->GetRoot(), &doc, 0, 1);
    const std::vector<uint8_t> good = StoreOf(plot);

    auto loadFails = [&doc](std::vector<uint8_t> bytes) {
        CPLOT p(&doc);
        CArchive in(std::move(bytes));
        EXPECT_THROW(p.Load(in), CArchiveException);
    };
    std::vector<uint8_t> rec = good;
    PutInt(rec, kOffShell, 3);
    loadFails(rec);
    rec = good;
    PutInt(rec, kOffShell, -7);
    loadFails(rec);
    rec = good;
    PutInt(rec, kOffGate, 99);
    loadFails(rec);
    rec = good;
    rec.resize(rec.size() - 5);
    loadFails(rec);
    // A dot layer naming a gate the shell does not have.
    rec = good;
    const size_t dotIndexAt = kBaseBytes + 72;
    ASSERT_EQ(IntAt(rec, dotIndexAt - 4), 1);  // one dot layer
    PutInt(rec, dotIndexAt, 4);
    loadFails(rec);
    // A negative count.
    rec = good;
    PutInt(rec, dotIndexAt - 4, -2);
    loadFails(rec);
    // Without a plot document to name the data set.
    CPLOT orphan(nullptr);
    CArchive in(good);
    EXPECT_THROW(orphan.Load(in), CArchiveException);
}

TEST_F(PlotTest, RecordWithoutGateStillReadsItsDotEntries) {
    // Shell -1 and gate -1 but two dot entries: they are read and dropped,
    // and every later field stays in place.
    CPLOT bare(nullptr);
    bare.reservedC = 77;
    std::vector<uint8_t> rec = StoreOf(bare);
    const size_t countAt = kBaseBytes + 68;
    ASSERT_EQ(IntAt(rec, countAt), 0);
    std::vector<uint8_t> entries;
    for (int i = 0; i < 2; ++i) {
        CArchive e;
        e.WriteInt32(i);
        e.WriteInt32(1);
        e.WriteInt32(0);
        entries.insert(entries.end(), e.Bytes().begin(), e.Bytes().end());
    }
    PutInt(rec, countAt, 2);
    rec.insert(rec.begin() + ptrdiff_t(countAt + 4), entries.begin(), entries.end());
    CPLOT loaded(nullptr);
    CArchive in(rec);
    loaded.Load(in);
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_TRUE(loaded.GetDotLayers().empty());
    EXPECT_EQ(loaded.reservedC, 77);
}

TEST_F(PlotTest, DensityLayerOfAClearedBitKeepsTheRecordAligned) {
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(MakeShell({{500, 500}}));
    PlotLayerMakers saved = CPLOT::GetLayerMakers();
    PlotLayerMakers makers = saved;
    makers.density = &MakeFakeDensity;
    CPLOT::SetLayerMakers(makers);
    std::vector<uint8_t> rec;
    {
        CPLOT plot(kPlotRect, shell->GetRoot(), &doc, 0, 1);
        plot.SetPlotType(kPlotFlagDots | kPlotFlagDensity);
        ASSERT_NE(plot.GetDensityLayer(), nullptr);
        static_cast<FakeDensityLayer*>(plot.GetDensityLayer())->value = 99;
        plot.SetPlotType(kPlotFlagDots);
        plot.reservedE = 31;
        rec = StoreOf(plot);
    }
    EXPECT_EQ(IntAt(rec, kOffDensityPresence), 1);
    {
        CPLOT loaded(&doc);
        CArchive in(rec);
        loaded.Load(in);
        ASSERT_NE(loaded.GetDensityLayer(), nullptr);
        EXPECT_EQ(static_cast<FakeDensityLayer*>(loaded.GetDensityLayer())->value, 99);
        EXPECT_EQ(loaded.reservedE, 31);
        EXPECT_EQ(in.Remaining(), 0u);
    }
    // Without a maker for density layers the record cannot be read.
    makers.density = nullptr;
    CPLOT::SetLayerMakers(makers);
    CPLOT loaded(&doc);
    CArchive in(rec);
    EXPECT_THROW(loaded.Load(in), CArchiveException);
    CPLOT::SetLayerMakers(saved);
}

// ================================================================ notices

TEST_F(PlotTest, RemovingAnotherGateDropsItsLayersAndRegion) {
    ScopedRegionMaker regions;
    auto shell = MakeShell({{500, 500}, {100, 100}});
    CGateNode* g1 = AddRectGate(*shell, 0.4f, 0.4f, 0.6f, 0.6f, 0, "G1");
    CGateNode* g2 = AddRectGate(*shell, 0.0f, 0.0f, 0.2f, 0.2f, 0, "G2");
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    plot.ShowRegion(g1->GetRegion());
    plot.ShowRegion(g2->GetRegion());
    ASSERT_EQ(plot.GetRegionLayers().size(), 2u);
    CLayer* rl1 = plot.GetRegionLayers()[0].get();
    plot.SelectRegionLayer(0);
    plot.SetPressedRegionLayer(rl1);
    plot.SetEditedRegionLayer(rl1);
    EXPECT_TRUE(static_cast<FakeRegionLayer*>(rl1)->selected);

    shell->RemoveGate(g1, true);
    EXPECT_EQ(plot.FindDotLayer(g1), nullptr);
    EXPECT_EQ(plot.GetDotLayers().size(), 2u);
    ASSERT_EQ(plot.GetRegionLayers().size(), 1u);
    EXPECT_EQ(plot.GetRegionLayers()[0]->GetRegion(), g2->GetRegion());
    ASSERT_EQ(plot.GetShownRegions().size(), 1u);
    EXPECT_EQ(plot.GetShownRegions()[0], g2->GetRegion());
    EXPECT_EQ(plot.GetPressedRegionLayer(), nullptr);
    EXPECT_EQ(plot.GetSelectedRegionLayer(), nullptr);
    EXPECT_EQ(plot.GetEditedRegionLayer(), nullptr);
    EXPECT_TRUE(plot.IsDirty());
    (void)DrawOnPage(plot);
    EXPECT_FALSE(plot.IsDirty());
}

TEST_F(PlotTest, RemovingThePlotsOwnGateRemovesThePlot) {
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(MakeShell({{500, 500}, {100, 100}}));
    CGateNode* g1 = AddRectGate(*shell, 0.4f, 0.4f, 0.6f, 0.6f, 0, "G1");
    doc.AddObject(std::make_unique<CPLOT>(kPlotRect, g1, &doc, 0, 1));
    doc.AddObject(std::make_unique<CPLOT>(kPlotRect, shell->GetRoot(), &doc, 0, 1));
    ASSERT_EQ(doc.GetObjectCount(), 2);
    doc.RedrawDirty();
    shell->RemoveGate(g1, true);
    ASSERT_EQ(doc.GetObjectCount(), 1);
    auto* left = dynamic_cast<CPLOT*>(doc.GetObjectAt(0));
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->GetGate(), shell->GetRoot());
    EXPECT_EQ(left->GetDotLayers().size(), 1u);
}

TEST_F(PlotTest, NoticesMarkDirtyAndQueueARepaint) {
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(MakeShell({{500, 500}}));
    CPLOT* plot = static_cast<CPLOT*>(doc.AddObject(std::make_unique<CPLOT>(kPlotRect, shell->GetRoot(), &doc, 0, 1)));
    doc.RedrawDirty();
    ASSERT_FALSE(plot->IsDirty());
    plot->OnDataChanged();
    EXPECT_TRUE(plot->IsDirty());
    ASSERT_EQ(doc.GetDirtyObjects().size(), 1u);
    EXPECT_EQ(doc.GetDirtyObjects()[0], static_cast<CTrkObj*>(plot));
    plot->RecalcLayers(true, false);
    EXPECT_FALSE(plot->IsDirty());
    // A transform change re-clones the plot's transforms at once.
    ASSERT_TRUE(shell->SetTrans(std::make_unique<CTRANS>(0.0f, 2000.0f), 0));
    EXPECT_FLOAT_EQ(plot->GetXTrans()->GetMax(), 2000.0f);

    // A plot its document does not list leaves no pointer in the document.
    doc.RedrawDirty();
    {
        CPLOT loose(kPlotRect, shell->GetRoot(), &doc, 0, 1);
        loose.MarkDirty();
        loose.OnDataChanged();
        EXPECT_TRUE(doc.GetDirtyObjects().empty());
    }
    EXPECT_TRUE(doc.GetDirtyObjects().empty());
}

// =============================================================== drawing

TEST_F(PlotTest, DotsLandInTheRightPixelsInTheirGatesColour) {
    auto shell = MakeShell({{505, 255}, {705, 705}, {0, 0}});
    CGateNode* g = AddRectGate(*shell, 0.6f, 0.6f, 0.8f, 0.8f, 0, "G");
    shell->GetRoot()->SetColor(RGB(0, 128, 0));
    g->SetColor(RGB(255, 0, 0));
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    plot.FindDotLayer(g)->SetActive(true);
    plot.GetDotLayers()[0]->SetLargeDots(true);
    const QImage page = DrawOnPage(plot);
    const QRgb green = qRgb(0, 128, 0), red = qRgb(255, 0, 0);
    const int x1 = kArea.left + BinOf(505, 188), y1 = kArea.bottom - 1 - BinOf(255, 170);
    const int x2 = kArea.left + BinOf(705, 188), y2 = kArea.bottom - 1 - BinOf(705, 170);
    // Event 1: a large green dot. Event 2: green, then red from its gate's
    // layer drawn later (a single pixel in the middle of the green block).
    EXPECT_EQ(PixelAt(page, x1, y1), green);
    EXPECT_EQ(PixelAt(page, x1 - 1, y1 + 1), green);
    EXPECT_EQ(PixelAt(page, x2, y2), red);
    EXPECT_EQ(PixelAt(page, x2 + 1, y2), green);
    EXPECT_EQ(CountColour(page, CRect(0, 0, 400, 400), red), 1);
    // Event 3 at the corner: the large dot is cut at the area's edges, so
    // 9 + 8 + 4 green pixels in all, none outside the area.
    EXPECT_EQ(CountColour(page, CRect(0, 0, 400, 400), green), 21);
    EXPECT_EQ(CountColour(page, kArea, green), 21);
    EXPECT_EQ(PixelAt(page, kArea.left, kArea.bottom - 1), green);
    EXPECT_EQ(PixelAt(page, kArea.left - 1, kArea.bottom - 1), qRgb(0, 0, 0));  // the frame
    EXPECT_EQ(PixelAt(page, kArea.left, kArea.bottom), qRgb(0, 0, 0));
}

TEST_F(PlotTest, RegionMasksPaintOnlyTheirPixels) {
    ScopedRegionMaker regions;
    auto shell = MakeShell({{505, 255}});
    CGateNode* g = AddRectGate(*shell, 0.6f, 0.6f, 0.8f, 0.8f, 0, "G");
    shell->GetRoot()->SetColor(RGB(0, 128, 0));
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    plot.ShowRegion(g->GetRegion());
    ASSERT_EQ(plot.GetRegionLayers().size(), 1u);
    const QImage withMask = DrawOnPage(plot);
    const QRgb blue = qRgb(0, 0, 255);
    // The fake layer marks a 10 x 10 box at layer (5, 5).
    const CRect box(kArea.left + 5, kArea.bottom - 15, kArea.left + 15, kArea.bottom - 5);
    EXPECT_EQ(CountColour(withMask, box, blue), 100);
    EXPECT_EQ(CountColour(withMask, CRect(0, 0, 400, 400), blue), 100);

    // Every pixel outside the box is what the plot draws without the mask.
    CPLOT bare(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    const QImage without = DrawOnPage(bare);
    int differ = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x)
            if (!box.PtInRect(CPoint(x, y)) && withMask.pixel(x, y) != without.pixel(x, y)) ++differ;
    EXPECT_EQ(differ, 0);

    // A region on other parameters is not painted.
    CPLOT swapped(kPlotRect, shell->GetRoot(), nullptr, 1, 0);
    swapped.ShowRegion(g->GetRegion());
    EXPECT_EQ(CountColour(DrawOnPage(swapped), CRect(0, 0, 400, 400), blue), 0);
}

TEST_F(PlotTest, HistogramPlotDrawsItsProfileInsideTheArea) {
    GetPlotDefaults().style = kPlotFlagHistogram;
    std::vector<std::pair<double, double>> ev;
    for (int i = 0; i < 40; ++i) ev.emplace_back(500, 10);
    auto shell = MakeShell(ev);
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    ASSERT_TRUE(plot.IsHistogram());
    EXPECT_EQ(plot.GetHistLayer()->GetColor(), COLORREF(0x808080));
    const COLORREF fill = RGB(0, 160, 200);
    plot.GetHistLayer()->SetColor(fill);
    const QImage page = DrawOnPage(plot);
    const int inArea = CountColour(page, kArea, Rgb(fill));
    EXPECT_GT(inArea, 0);
    EXPECT_EQ(CountColour(page, CRect(0, 0, 400, 400), Rgb(fill)), inArea);
    // The 40 events of one bin, smoothed over three bins, on a scale of 40:
    // the plateau's columns are filled from the bottom to just below the
    // black outline.
    const std::vector<int32_t> top = plot.GetHistLayer()->ColumnTops(188, 170);
    std::vector<int> plateau;
    const int lowest = *std::min_element(top.begin(), top.end());
    EXPECT_EQ(lowest, 170 - (40 / 3) * 170 / 40);
    for (int x = 0; x < 188; ++x)
        if (top[size_t(x)] == lowest) plateau.push_back(x);
    ASSERT_GE(plateau.size(), 3u);
    const int x = kArea.left + plateau[plateau.size() / 2];
    EXPECT_EQ(PixelAt(page, x, kArea.top + lowest), qRgb(0, 0, 0));
    EXPECT_EQ(PixelAt(page, x, kArea.top + lowest - 1), qRgb(255, 255, 255));
    EXPECT_EQ(CountColour(page, CRect(x, kArea.top + lowest + 1, x + 1, kArea.bottom), Rgb(fill)), 169 - lowest);
}

TEST_F(PlotTest, PlotWithoutRoomDrawsNoLayers) {
    auto shell = MakeShell({{500, 500}, {10, 10}});
    shell->GetRoot()->SetColor(RGB(0, 128, 0));
    CPLOT plot(CRect(0, 0, 60, 60), shell->GetRoot(), nullptr, 0, 1);
    ASSERT_TRUE(plot.GetPlotArea().IsRectEmpty());
    const QImage page = DrawOnPage(plot, 100, 100);
    EXPECT_EQ(CountColour(page, CRect(0, 0, 100, 100), qRgb(0, 128, 0)), 0);
    plot.SetPlotType(kPlotFlagHistogram);
    ASSERT_NE(plot.GetHistLayer(), nullptr);
    plot.GetHistLayer()->SetColor(RGB(0, 160, 200));
    const QImage hist = DrawOnPage(plot, 100, 100);
    EXPECT_EQ(CountColour(hist, CRect(0, 0, 100, 100), qRgb(0, 160, 200)), 0);
    EXPECT_TRUE(plot.GetHistLayer()->ColumnTops(0, 0).empty());
}

TEST_F(PlotTest, ResizedPlotRecomputesItsDotsBeforeDrawing) {
    auto shell = MakeShell({{505, 255}});
    shell->GetRoot()->SetColor(RGB(0, 128, 0));
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    plot.SetRect(CRect(0, 0, 350, 300), true);
    const QImage page = DrawOnPage(plot);
    const CRect area = plot.GetPlotArea();
    EXPECT_EQ(PixelAt(page, area.left + BinOf(505, area.Width()), area.bottom - 1 - BinOf(255, area.Height())),
              qRgb(0, 128, 0));
    EXPECT_EQ(plot.GetDotLayers()[0]->GetBitmapWidth(), area.Width());
}

TEST_F(PlotTest, ZoomedDrawingScalesTheAreaPicture) {
    auto shell = MakeShell({{505, 255}});
    shell->GetRoot()->SetColor(RGB(0, 128, 0));
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    QImage img(600, 600, QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    QPainter p(&img);
    p.scale(2.0, 2.0);
    plot.Draw(&p);
    p.end();
    // One page unit is 2 x 2 device pixels, the dot among them.
    const int x = kArea.left + BinOf(505, 188), y = kArea.bottom - 1 - BinOf(255, 170);
    const QRgb green = qRgb(0, 128, 0);
    EXPECT_EQ(CountColour(img, CRect(2 * x, 2 * y, 2 * x + 2, 2 * y + 2), green), 4);
    EXPECT_EQ(CountColour(img, CRect(0, 0, 600, 600), green), 4);
    EXPECT_EQ(PixelAt(img, 2 * kArea.left - 1, 2 * kArea.top + 40), qRgb(0, 0, 0));  // the frame
}

namespace {

TEST(PlotLayerOrderTest, DotLayersMoveToTheirFinalIndexAndBadIndicesMoveNothing) {
    EnsureGuiApp();
    ResetPlotDefaults();
    auto shell = MakeShell({{500, 500}, {100, 100}});
    CGateNode* g1 = AddRectGate(*shell, 0.4f, 0.4f, 0.6f, 0.6f, 0, "G1");
    CGateNode* g2 = AddRectGate(*shell, 0.0f, 0.0f, 0.2f, 0.2f, 0, "G2");
    CGateNode* root = shell->GetRoot();
    const struct {
        int32_t from, to;
        bool moved;
        std::vector<CGateNode*> order;
    } cases[] = {
        {2, 1, true, {root, g2, g1}}, {1, 2, true, {root, g2, g1}}, {0, 2, true, {g1, g2, root}},
        {1, 1, true, {root, g1, g2}}, {-1, 0, false, {root, g1, g2}}, {0, 3, false, {root, g1, g2}},
        {3, 0, false, {root, g1, g2}},
    };
    for (const auto& c : cases) {
        CPLOT plot(CRect(0, 0, 250, 250), root, nullptr, 0, 1);
        (void)plot.RenderArea();
        ASSERT_FALSE(plot.IsDirty());
        EXPECT_EQ(plot.MoveDotLayer(c.from, c.to), c.moved) << c.from << " " << c.to;
        std::vector<CGateNode*> order;
        for (const auto& l : plot.GetDotLayers()) order.push_back(l->GetGate());
        EXPECT_EQ(order, c.order) << c.from << " " << c.to;
        // A real move is drawn again; nothing else is.
        EXPECT_EQ(plot.IsDirty(), c.moved && c.from != c.to) << c.from << " " << c.to;
    }
}

TEST(PlotLayerOrderTest, OverlayVisibilityIgnoresIndicesOutsideTheOverlays) {
    EnsureGuiApp();
    ResetPlotDefaults();
    auto shell = MakeShell({{500, 500}, {100, 100}});
    CPLOT source(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    ASSERT_NE(plot.AddOverlayLayer(*source.GetDotLayers().front()), nullptr);
    plot.AddOverlayLayer(*source.GetDotLayers().front());
    plot.SetOverlayVisible(1, false);
    plot.SetOverlayVisible(2, false);
    plot.SetOverlayVisible(-1, false);
    EXPECT_EQ(plot.GetOverlayVisibility(), (std::vector<uint8_t>{1, 0}));
    plot.SetOverlayVisible(1, true);
    EXPECT_EQ(plot.GetOverlayVisibility(), (std::vector<uint8_t>{1, 1}));
}

}  // namespace

namespace {

TEST_F(PlotTest, AnOverlayPlotIsWrittenAndReadBackAsAPlainPlotOfItsKinds) {
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(MakeShell({{500, 500}, {100, 100}}));
    CPLOT source(kPlotRect, shell->GetRoot(), &doc, 0, 1);
    const struct {
        int32_t kinds;
    } cases[] = {{kPlotFlagDots}, {kPlotFlagHistogram}, {kPlotFlagDots | kPlotFlagDensity}};
    for (const auto& c : cases) {
        CPLOT plot(kPlotRect, shell->GetRoot(), &doc, 0, 1);
        plot.SetPlotType(c.kinds);
        plot.AddOverlayFrom(&source);
        ASSERT_EQ(plot.GetStyleFlags(), c.kinds | kPlotFlagOverlay) << c.kinds;
        const std::vector<uint8_t> rec = StoreOf(plot);
        EXPECT_EQ(IntAt(rec, kOffStyle), c.kinds) << c.kinds;
        // Files written before carry the bit: it is read as absent.
        std::vector<uint8_t> old = rec;
        PutInt(old, kOffStyle, c.kinds | kPlotFlagOverlay);
        for (const std::vector<uint8_t>& bytes : {rec, old}) {
            CPLOT loaded(&doc);
            CArchive in(bytes);
            loaded.Load(in);
            EXPECT_EQ(loaded.GetStyleFlags(), c.kinds) << c.kinds;
            EXPECT_TRUE(loaded.GetOverlayLayers().empty());
            EXPECT_TRUE(loaded.ToolAvailable(-1));  // the range tool, offered on every kind
            EXPECT_EQ(StoreOf(loaded), rec) << c.kinds;
        }
    }
}

TEST_F(PlotTest, HistogramStyleIsKeptInTheLastReservedStringWhereTheSlotIsFree) {
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(MakeShell({{500, 500}, {100, 100}}));
    CPLOT plain(kPlotRect, shell->GetRoot(), &doc, 0, 1);
    plain.SetPlotType(kPlotFlagHistogram);
    const size_t plainSize = StoreOf(plain).size();
    const struct {
        COLORREF fill, line;
        int32_t width;
        const char* reserved;  // the slot's text before
        bool kept;
    } cases[] = {
        {0x123456, 0x0000FF, 5, "", true},
        {kColorNone, kColorNone, 1, "", true},                  // neither fill nor outline
        {0x000000, 0xFFFFFF, 3, "HistStyle fill=1 line=2 width=2", true},  // a style written before
        {0x808080, 0x000000, 1, "", true},                      // a new layer's: nothing written
        {0x123456, 0x0000FF, 2, "memo", false},                 // someone else's text stays
        {0x123456, 0x0000FF, 2, "HistStyle fill=1 line=2 width=9", false},  // not ours: width 9
    };
    for (const auto& c : cases) {
        CPLOT plot(kPlotRect, shell->GetRoot(), &doc, 0, 1);
        plot.SetPlotType(kPlotFlagHistogram);
        plot.reservedH = c.reserved;
        plot.GetHistLayer()->SetColor(c.fill);
        plot.GetHistLayer()->SetOutline(c.width, c.line);
        const std::vector<uint8_t> rec = StoreOf(plot);
        if (c.fill == 0x808080 && c.width == 1 && c.line == 0) {
            EXPECT_EQ(rec.size(), plainSize);
        }
        CPLOT loaded(&doc);
        CArchive in(rec);
        loaded.Load(in);
        EXPECT_EQ(in.Remaining(), 0u) << c.reserved;
        const CHistLayer* h = loaded.GetHistLayer();
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->GetColor(), c.kept ? c.fill : CHistLayer::kDefaultFill) << c.reserved;
        EXPECT_EQ(h->GetOutlineColor(), c.kept ? c.line : CHistLayer::kDefaultOutline) << c.reserved;
        EXPECT_EQ(h->GetOutlineWidth(), c.kept ? c.width : CHistLayer::kDefaultOutlineWidth) << c.reserved;
        if (!c.kept) {
            EXPECT_EQ(loaded.reservedH, c.reserved);
        }
        EXPECT_EQ(StoreOf(loaded), rec) << c.reserved;
    }
}

}  // namespace
