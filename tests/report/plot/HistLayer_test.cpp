#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "base/Archive.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "tests/report/PlotTestUtil.h"

using namespace plottest;

namespace {

class HistLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApp();
        ResetPlotDefaults();
        GetPlotDefaults().style = kPlotFlagHistogram;
    }
};

// The centre of bin j of 128 bins on a linear 0..1000 axis.
double BinCentre(int j, int bins = 128) { return (j + 0.5) * 1000.0 / bins; }

// A plot rectangle whose area is w wide and 170 high.
CRect RectForArea(int w) { return CRect(0, 0, w + 62, 250); }

// Bin j holds count(j) events.
template <class F>
std::unique_ptr<VexaDataShell> ShellWithBins(F count, int bins = 128) {
    std::vector<std::pair<double, double>> ev;
    for (int j = 0; j < bins; ++j)
        for (int k = 0; k < count(j); ++k) ev.emplace_back(BinCentre(j, bins), 10);
    return MakeShell(ev);
}

}  // namespace

TEST_F(HistLayerTest, CountsEveryGatedEventIntoItsBin) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto shell = MakeShell({{BinCentre(3), 0}, {BinCentre(3), 0}, {1500, 0}, {-20, 0}, {nan, 0}, {999.99, 0}});
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    ASSERT_NE(h, nullptr);
    const std::vector<int32_t>& bins = h->GetBins();
    ASSERT_EQ(bins.size(), 128u);
    EXPECT_EQ(bins[3], 2);
    EXPECT_EQ(bins[127], 2);  // above the axis, and the last edge's bin
    EXPECT_EQ(bins[0], 1);    // below the axis
    int sum = 0;
    for (int v : bins) sum += v;
    EXPECT_EQ(sum, 5);  // the NaN event has no bin
    EXPECT_EQ(h->GetCountMax(), 2);
    EXPECT_EQ(h->GetYMax(), 2);
}

TEST_F(HistLayerTest, ColumnsMatchBinsWhenTheAreaIsAsWideAsTheBinCount) {
    auto shell = ShellWithBins([](int j) { return j; });
    CPLOT plot(RectForArea(128), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    ASSERT_TRUE(h->SetSmoothing(1));
    const std::vector<int32_t> top = h->ColumnTops(128, 170);
    ASSERT_EQ(top.size(), 128u);
    EXPECT_EQ(h->GetYMax(), 127);
    EXPECT_EQ(top[0], 170);
    EXPECT_EQ(top[127], 0);
    EXPECT_EQ(top[64], 170 - int(64 * 170 / 127.0));  // 85
    EXPECT_EQ(top[64], 85);
}

TEST_F(HistLayerTest, NarrowAreaSamplesBins) {
    auto shell = ShellWithBins([](int j) { return j; });
    CPLOT plot(RectForArea(100), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    ASSERT_TRUE(h->SetSmoothing(0));
    const std::vector<int32_t> top = h->ColumnTops(100, 170);
    // Column x shows bin trunc(x * 1.28): column 99 shows bin 126, so the
    // whole range is shown.
    EXPECT_EQ(top[99], 170 - int(126 * 170 / 127.0));
    EXPECT_EQ(top[99], 2);
    EXPECT_EQ(top[50], 170 - int(64 * 170 / 127.0));
    EXPECT_EQ(top[0], 170);
}

TEST_F(HistLayerTest, WideAreaGivesEveryColumnAHeight) {
    // All events in the last bin: the columns past the last slope used to be
    // left without a height when the area is more than twice the bin count.
    auto shell = ShellWithBins([](int j) { return j == 127 ? 10 : 0; });
    CPLOT plot(RectForArea(300), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    ASSERT_TRUE(h->SetSmoothing(1));
    const std::vector<int32_t> top = h->ColumnTops(300, 170);
    ASSERT_EQ(top.size(), 300u);
    for (int x = 0; x < 295; ++x) EXPECT_EQ(top[size_t(x)], 170) << x;
    // The slope from bin 126 (0) to bin 127 (10) over columns 295..297.
    EXPECT_EQ(top[295], 170);
    EXPECT_EQ(top[296], 85);
    EXPECT_EQ(top[297], 0);
    EXPECT_EQ(top[298], 0);
    EXPECT_EQ(top[299], 0);
}

TEST_F(HistLayerTest, SlopesJoinNeighbouringBinsOnAWideArea) {
    // 128 bins on 188 columns: bin j starts at column trunc(j * 188 / 128).
    auto shell = ShellWithBins([](int j) { return j == 10 ? 0 : (j == 11 ? 30 : 0); });
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    ASSERT_TRUE(h->SetSmoothing(1));
    const std::vector<int32_t> top = h->ColumnTops(188, 170);
    const int x10 = 10 * 188 / 128, x11 = 11 * 188 / 128, x12 = 12 * 188 / 128;
    ASSERT_EQ(x10, 14);
    ASSERT_EQ(x11, 16);
    ASSERT_EQ(x12, 17);
    // Rising from 0 at column 14 to 30 at column 16 in steps of 15.
    EXPECT_EQ(top[14], 170);
    EXPECT_EQ(top[15], 85);
    EXPECT_EQ(top[16], 0);
    // Falling back to 0 at column 17.
    EXPECT_EQ(top[17], 170);
}

TEST_F(HistLayerTest, PerMilleOfAllEvents) {
    std::vector<std::pair<double, double>> ev(50000, {BinCentre(1), 10});
    for (int i = 0; i < 500; ++i) ev[size_t(i)].first = BinCentre(40);
    auto shell = MakeShell(ev);
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    h->SetMode(kHistPerMille);
    EXPECT_EQ(h->GetBins()[40], 10);
    EXPECT_EQ(h->GetBins()[1], 990);
    EXPECT_EQ(h->GetYMax(), 990);
    EXPECT_FLOAT_EQ(plot.GetYTrans()->GetMax(), 990.0f);
    h->SetMode(7);  // refused
    EXPECT_EQ(h->GetMode(), kHistPerMille);
}

TEST_F(HistLayerTest, SmoothingAveragesWithZerosBeyondTheEnds) {
    std::vector<std::pair<double, double>> ev;
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3 * (j + 1); ++k) ev.emplace_back(BinCentre(j, 3), 0);
    auto shell = MakeShell(ev);
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    ASSERT_TRUE(h->SetBinCount(3));
    h->Recalculate();
    EXPECT_EQ(h->GetBins(), (std::vector<int32_t>{3, 6, 9}));
    EXPECT_EQ(h->Smooth(), (std::vector<int32_t>{3, 6, 5}));
    ASSERT_TRUE(h->SetSmoothing(4));
    EXPECT_EQ(h->Smooth(), (std::vector<int32_t>{2, 4, 4}));
    ASSERT_TRUE(h->SetSmoothing(1));
    EXPECT_EQ(h->Smooth(), h->GetBins());
    // A single bin fills the whole area.
    ASSERT_TRUE(h->SetBinCount(1));
    h->Recalculate();
    const std::vector<int32_t> top = h->ColumnTops(188, 170);
    EXPECT_EQ(top.front(), 0);
    EXPECT_EQ(top.back(), 0);
    EXPECT_FALSE(h->SetBinCount(0));
    EXPECT_FALSE(h->SetSmoothing(-1));
}

TEST_F(HistLayerTest, AutomaticScaleKeepsTheLargestCountSeen) {
    std::vector<std::pair<double, double>> ev;
    for (int i = 0; i < 40; ++i) ev.emplace_back(BinCentre(100), 10);
    for (int i = 0; i < 5; ++i) ev.emplace_back(BinCentre(20), 10);
    auto shell = MakeShell(ev);
    auto* region = new CrRange(0, 0, 0.0f, 0.9f);
    CGateNode* g = shell->AddRegionGate(std::unique_ptr<CDataRgn>(region), 0, "R");
    ASSERT_NE(g, nullptr);
    CPLOT plot(CRect(0, 0, 250, 250), g, nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    EXPECT_EQ(h->GetYMax(), 40);
    // The gate shrinks to the 5 low events: the scale stays at 40.
    region->SetGeometry(0.0f, 0.5f, nullptr);
    EXPECT_EQ(h->GetBins()[100], 0);
    EXPECT_EQ(h->GetBins()[20], 5);
    EXPECT_EQ(h->GetYMax(), 40);
    EXPECT_FLOAT_EQ(plot.GetYTrans()->GetMax(), 40.0f);
}

TEST_F(HistLayerTest, EmptyGateStillHasAUsableScale) {
    auto shell = MakeShell({{BinCentre(5), 0}});
    CGateNode* g = shell->AddRegionGate(std::make_unique<CrRange>(0, 0, 0.8f, 0.9f), 0, "none");
    ASSERT_NE(g, nullptr);
    CPLOT plot(CRect(0, 0, 250, 250), g, nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    EXPECT_EQ(h->GetCountMax(), 0);
    EXPECT_EQ(h->GetYMax(), 1);
    EXPECT_FLOAT_EQ(plot.GetYTrans()->GetMin(), 0.0f);
    EXPECT_FLOAT_EQ(plot.GetYTrans()->GetMax(), 1.0f);
    for (int32_t t : h->ColumnTops(188, 170)) ASSERT_EQ(t, 170);
    QImage img = NewAreaImage(188, 170, 0xFFFFFF);
    h->Draw(img);
    EXPECT_EQ(CountColour(img, CRect(0, 0, 188, 170), qRgb(255, 255, 255)), 188 * 170);
}

TEST_F(HistLayerTest, OneMaximumForDrawingAxisAndCallers) {
    auto shell = ShellWithBins([](int j) { return j == 30 ? 50 : (j == 90 ? 100 : 0); });
    CPLOT plot(RectForArea(128), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    ASSERT_TRUE(h->SetSmoothing(0));
    h->SetAutoScale(false);
    ASSERT_TRUE(h->SetFixedMax(50.0f));
    h->Recalculate();
    EXPECT_EQ(h->GetYMax(), 50);
    EXPECT_FLOAT_EQ(plot.GetYTrans()->GetMax(), 50.0f);
    const std::vector<int32_t> top = h->ColumnTops(128, 170);
    EXPECT_EQ(top[30], 0);     // exactly the fixed maximum: the top row
    EXPECT_LT(top[90], 0);     // above it: beyond the area
    // Per mille with a fixed scale uses the same maximum (per mille units).
    h->SetMode(kHistPerMille);
    EXPECT_EQ(h->GetYMax(), 50);
    EXPECT_FLOAT_EQ(plot.GetYTrans()->GetMax(), 50.0f);
    EXPECT_FALSE(h->SetFixedMax(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(h->SetFixedMax(0.0f));
}

TEST_F(HistLayerTest, RecordIsSixteenBytesAndRefusesBadValues) {
    auto shell = MakeShell({{BinCentre(5), 0}});
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    CArchive out;
    h->Store(out);
    EXPECT_EQ(out.Bytes(), (std::vector<uint8_t>{1, 0, 0, 0, 0x00, 0x00, 0x7A, 0x44, 0x80, 0, 0, 0, 3, 0, 0, 0}));

    auto record = [](int32_t autoScale, float fixedMax, int32_t bins, int32_t smoothing) {
        CArchive a;
        a.WriteInt32(autoScale);
        a.WriteFloat(fixedMax);
        a.WriteInt32(bins);
        a.WriteInt32(smoothing);
        return CArchive(a.Bytes());
    };
    for (auto bad : {record(1, 1000, 0, 3), record(1, 1000, -4, 3), record(1, 1000, 1 << 20, 3),
                     record(1, 1000, 128, -1), record(1, 1000, 128, 1 << 20),
                     record(1, std::numeric_limits<float>::infinity(), 128, 3),
                     record(1, std::numeric_limits<float>::quiet_NaN(), 128, 3)}) {
        EXPECT_THROW(h->Load(bad), CArchiveException);
        EXPECT_EQ(h->GetBinCount(), 128);
        EXPECT_EQ(h->GetSmoothing(), 3);
        EXPECT_TRUE(h->GetAutoScale());
    }
    CArchive good = record(0, 250.0f, 64, 5);
    h->Load(good);
    EXPECT_FALSE(h->GetAutoScale());
    EXPECT_FLOAT_EQ(h->GetFixedMax(), 250.0f);
    EXPECT_EQ(h->GetBinCount(), 64);
    EXPECT_EQ(h->GetSmoothing(), 5);
    h->Recalculate();
    EXPECT_EQ(h->GetBins().size(), 64u);
}

TEST_F(HistLayerTest, CloneOwnsClonesOfBothTransforms) {
    auto shell = MakeShell({{BinCentre(5), 0}, {BinCentre(5), 0}});
    CPLOT source(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    CPLOT target(CRect(300, 0, 550, 250), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = source.GetHistLayer();
    h->SetColor(RGB(1, 2, 3));
    h->SetOutline(2, RGB(4, 5, 6));
    CLayer* o = target.AddOverlayLayer(*h);
    auto* clone = dynamic_cast<CHistLayer*>(o);
    ASSERT_NE(clone, nullptr);
    EXPECT_TRUE(clone->OwnsTransforms());
    ASSERT_NE(clone->GetXTrans(), nullptr);
    ASSERT_NE(clone->GetYTrans(), nullptr);
    EXPECT_NE(clone->GetXTrans(), source.GetXTrans());
    EXPECT_NE(clone->GetYTrans(), source.GetYTrans());
    EXPECT_NE(clone->GetYTrans(), target.GetYTrans());
    EXPECT_EQ(clone->GetColor(), RGB(1, 2, 3));
    EXPECT_EQ(clone->GetOutlineWidth(), 2);
    EXPECT_EQ(clone->GetOutlineColor(), RGB(4, 5, 6));
    EXPECT_EQ(clone->GetSmoothing(), CHistLayer::kDefaultSmoothing);
    clone->Recalculate();
    EXPECT_EQ(clone->GetBins()[5], 2);
    // The source plot's axes change; the clone keeps its own.
    ASSERT_TRUE(source.SetYTransKind(kTransLinear, 0.0f, 77.0f));
    EXPECT_FLOAT_EQ(clone->GetYTrans()->GetMax(), 2.0f);
}

TEST_F(HistLayerTest, LayerRemovedWithItsGateIsDeletedOnce) {
    auto shell = MakeShell({{BinCentre(5), 0}, {BinCentre(50), 0}});
    CGateNode* g = shell->AddRegionGate(std::make_unique<CrRange>(0, 0, 0.0f, 0.2f), 0, "low");
    ASSERT_NE(g, nullptr);
    CPLOT owner(CRect(0, 0, 250, 250), g, nullptr, 0, 1);
    CPLOT other(CRect(300, 0, 550, 250), shell->GetRoot(), nullptr, 0, 1);
    ASSERT_NE(owner.GetHistLayer(), nullptr);
    ASSERT_NE(other.AddOverlayLayer(*owner.GetHistLayer()), nullptr);
    ASSERT_EQ(other.GetOverlayLayers().size(), 1u);

    shell->RemoveGate(g, true);
    // The overlay of the gate left its plot, and the owner (no document to
    // remove it) let go of the gate and its layers.
    EXPECT_TRUE(other.GetOverlayLayers().empty());
    EXPECT_FALSE(other.GetStyleFlags() & kPlotFlagOverlay);
    EXPECT_EQ(owner.GetHistLayer(), nullptr);
    EXPECT_EQ(owner.GetGate(), nullptr);
    EXPECT_EQ(owner.GetShell(), nullptr);
    EXPECT_TRUE(owner.GetDotLayers().empty());
    (void)DrawOnPage(owner);  // an empty plot
    EXPECT_EQ(owner.GetState(), kPlotReady);
}

TEST_F(HistLayerTest, ProfileIsFilledBelowTheOutline) {
    auto shell = ShellWithBins([](int j) { return j < 64 ? 20 : 10; });
    CPLOT plot(RectForArea(128), shell->GetRoot(), nullptr, 0, 1);
    CHistLayer* h = plot.GetHistLayer();
    ASSERT_TRUE(h->SetSmoothing(1));
    h->SetColor(RGB(255, 0, 0));
    h->SetOutline(1, RGB(0, 0, 255));
    QImage img = NewAreaImage(128, 170, 0xFFFFFF);
    h->Draw(img);
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
    // Column 10: count 20 of 20 reaches row 0; column 100: 10 of 20, row 85.
    EXPECT_EQ(PixelAt(img, 10, 0), blue);
    EXPECT_EQ(PixelAt(img, 10, 1), red);
    EXPECT_EQ(PixelAt(img, 10, 169), red);
    EXPECT_EQ(PixelAt(img, 100, 84), white);
    EXPECT_EQ(PixelAt(img, 100, 85), blue);
    EXPECT_EQ(PixelAt(img, 100, 86), red);
    EXPECT_EQ(CountColour(img, CRect(100, 0, 101, 170), red), 170 - 86);
    // Every column is filled from the bottom up to its top (the outline may
    // cover some of the fill where it runs down to a lower neighbour), and
    // nothing is filled above it.
    const std::vector<int32_t> top = h->ColumnTops(128, 170);
    for (int x = 0; x < 128; ++x) {
        const int t = top[size_t(x)];
        const CRect below(x, t + 1, x + 1, 170);
        ASSERT_EQ(CountColour(img, below, red) + CountColour(img, below, blue), 169 - t) << x;
        ASSERT_EQ(CountColour(img, CRect(x, 0, x + 1, t), red), 0) << x;
    }
    // No fill and no outline: nothing is drawn.
    h->SetColor(kColorNone);
    h->SetOutline(1, kColorNone);
    QImage none = NewAreaImage(128, 170, 0xFFFFFF);
    h->Draw(none);
    EXPECT_EQ(CountColour(none, CRect(0, 0, 128, 170), white), 128 * 170);
    // The mask has the same profile in black.
    h->SetColor(RGB(255, 0, 0));
    QImage mask = NewMaskImage(128, 170);
    h->DrawMask(mask);
    EXPECT_EQ(PixelAt(mask, 100, 86), qRgb(0, 0, 0));
    EXPECT_EQ(PixelAt(mask, 100, 84), white);
}
