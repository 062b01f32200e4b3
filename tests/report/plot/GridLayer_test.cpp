#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <limits>
#include <set>

#include "base/Archive.h"
#include "report/app/CommandIds.h"
#include "report/plot/ContourLayer.h"
#include "report/plot/DensityLayer.h"
#include "tests/report/PlotTestUtil.h"

using namespace plottest;

namespace {

class GridLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApp();
        ResetPlotDefaults();
        GetPlotDefaults().style = kPlotFlagDensity | kPlotFlagContour;
    }
};

// A plot rectangle whose area is w x h.
CRect RectForArea(int w, int h) { return CRect(0, 0, w + 62, h + 80); }

// Events spread unevenly over the axes (denser towards the middle), with
// some beyond both ends.
std::vector<std::pair<double, double>> Spread(int count) {
    std::vector<std::pair<double, double>> ev;
    for (int e = 0; e < count; ++e) {
        const double a = std::fmod(e * 37.0, 101.0) / 100.0, b = std::fmod(e * 53.0, 97.0) / 96.0;
        ev.emplace_back(-50.0 + 1100.0 * (0.5 + 0.5 * (a - 0.5) * std::fabs(a - 0.5) * 4.0),
                        1050.0 * b * b);
    }
    return ev;
}

CDensityLayer* Density(const CPLOT& p) { return static_cast<CDensityLayer*>(p.GetDensityLayer()); }
CContourLayer* Contour(const CPLOT& p) { return static_cast<CContourLayer*>(p.GetContourLayer()); }

// Every count of the layer against the test's own binning of the events.
void ExpectCounts(const CGridLayer& layer, const std::vector<std::pair<double, double>>& ev) {
    const int32_t n = layer.GetGridSize();
    std::vector<uint32_t> want(size_t(n) * size_t(n), 0);
    for (const auto& [x, y] : ev) {
        const int32_t i = BinOf(float(x), n), j = BinOf(float(y), n);
        if (i >= 0 && j >= 0) ++want[size_t(i) * size_t(n) + size_t(j)];
    }
    int wrong = 0;
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) wrong += layer.GetCount(i, j) != want[size_t(i) * size_t(n) + size_t(j)];
    EXPECT_EQ(wrong, 0) << "grid " << n;
}

std::set<std::pair<int, int>> Marks(const QImage& img, QRgb ground) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != (ground & 0xFFFFFF)) out.insert({x, y});
    return out;
}

}  // namespace

TEST_F(GridLayerTest, GridCountsEqualABinningOfTheEventsAndRestartAtEveryCount) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto ev = Spread(3000);
    ev.emplace_back(nan, 500.0);  // no bin: counted nowhere
    ev.emplace_back(500.0, nan);
    auto shell = MakeShell(ev);
    CPLOT plot(RectForArea(200, 200), shell->GetRoot(), nullptr, 0, 1);
    ASSERT_TRUE(Density(plot) && Contour(plot));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ExpectCounts(*Density(plot), ev);
        ExpectCounts(*Contour(plot), ev);
        EXPECT_EQ(Density(plot)->GetGateEvents(), int64_t(ev.size()));
        plot.MarkDirty();
        plot.RecalcLayers(true, false);  // every layer counts again
    }
    // Without transforms (no plot to lend them) nothing is counted.
    CDensityLayer alone(shell->GetRoot(), 0, 1, nullptr, false);
    EXPECT_EQ(alone.GetGateEvents(), 0);
    EXPECT_EQ(alone.GetMaxCount(), 1u);
    EXPECT_TRUE(alone.GetLevels().empty());
}

TEST_F(GridLayerTest, LevelsComeFromDistinctNonZeroCounts) {
    struct Case {
        std::vector<uint32_t> counts;
        int64_t T;
        int32_t L, mode, max;
        std::vector<float> levels;
    };
    std::vector<uint32_t> tenTens(10, 10);
    tenTens.insert(tenTens.end(), {100, 150, 250, 0, 0});
    std::vector<uint32_t> hundred;
    for (uint32_t c = 1; c <= 100; ++c) hundred.push_back(c);
    const Case cases[] = {
        {{0, 0, 0}, 0, 6, kLevelsEqualShares, 6, {}},  // an empty gate: no levels
        // T = 600, L = 6: thresholds 100, 200, 300 in cumulative counts.
        {tenTens, 600, 6, kLevelsEqualShares, 6, {100, 250}},
        // T = 5 < L: the step is one event, zeros and repeats are no level.
        {{0, 0, 0, 1, 2, 2}, 5, 6, kLevelsEqualShares, 6, {2}},
        {{0, 0, 1, 1, 1, 2}, 5, 8, kLevelsDoubling, 8, {1, 2}},  // T / 2^8 below 1
        {hundred, 5050, 64, kLevelsEqualShares, 6, {13, 19, 24, 28, 32, 35}},  // six colours at most
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.T);
        EXPECT_EQ(CGridLayer::LevelsOf(c.counts, c.T, c.L, c.mode, c.max), c.levels);
    }
}

TEST_F(GridLayerTest, DensityCellZeroIsBottomLeftAndAnEmptyGateDrawsNothing) {
    // Cells (0, 0) and (2, 0) hold 3 events each, (255, 255) one.
    auto shell = MakeShell({{1, 1}, {2, 2}, {3, 1}, {9, 1}, {10, 2}, {11, 1}, {999, 999}});
    CGateNode* empty = AddRectGate(*shell, 0.4f, 0.4f, 0.5f, 0.5f);
    CPLOT plot(RectForArea(256, 128), shell->GetRoot(), nullptr, 0, 1);
    CDensityLayer* d = Density(plot);
    ASSERT_EQ(d->GetLevels(), (std::vector<float>{3}));
    QImage area = NewAreaImage(256, 128, 0xFFFFFF);
    d->Draw(area);
    EXPECT_EQ(d->GetCellWidth(), 2);
    EXPECT_EQ(d->GetCellHeight(), 1);
    // Cells on the lowest level's colour along the bottom edge from the left.
    EXPECT_EQ(Marks(area, 0xFFFFFF), (std::set<std::pair<int, int>>{{0, 127}, {1, 127}, {2, 127}, {3, 127}}));
    EXPECT_EQ(area.pixel(0, 127) & 0xFFFFFF, ColorRefToRgb(CDensityLayer::kLevelColours[0]) & 0xFFFFFF);
    QImage mask = NewMaskImage(256, 128);
    d->DrawMask(mask);
    EXPECT_EQ(Marks(mask, 0xFFFFFF), Marks(area, 0xFFFFFF));

    CPLOT none(RectForArea(256, 128), empty, nullptr, 0, 1);
    ASSERT_EQ(empty->GetMask().CountSetBits(), 0u);
    EXPECT_TRUE(Density(none)->GetLevels().empty());
    EXPECT_TRUE(Contour(none)->GetSegments().empty());
    QImage blank = none.RenderArea();
    EXPECT_TRUE(Marks(blank, 0xFFFFFF).empty());
    QImage noMask = NewMaskImage(256, 128);
    Density(none)->DrawMask(noMask);
    EXPECT_TRUE(Marks(noMask, 0xFFFFFF).empty());
}

TEST_F(GridLayerTest, ContourDrawingAndMaskShareNodesAtBinCentres) {
    // Node i is drawn inside density cell i on either axis.
    for (int32_t i = 0; i < 64; ++i) {
        const int32_t col = CContourLayer::NodeToColumn(float(i), 200, 64);
        EXPECT_GE(col, i * 200 / 64);
        EXPECT_LT(col, (i + 1) * 200 / 64);
        const int32_t row = CContourLayer::NodeToRow(float(i), 100, 64);
        EXPECT_GE(row, (63 - i) * 100 / 64);
        EXPECT_LE(row, (64 - i) * 100 / 64);
    }
    auto shell = MakeShell(Spread(4000));
    CPLOT plot(RectForArea(200, 100), shell->GetRoot(), nullptr, 0, 1);
    CContourLayer* c = Contour(plot);
    ASSERT_FALSE(c->GetLevels().empty());
    ASSERT_FALSE(c->GetSegments().empty());
    c->SetColor(0x0000FF);
    QImage area = NewAreaImage(200, 100, 0xFFFFFF);
    c->Draw(area);
    QImage mask = NewMaskImage(200, 100);
    c->DrawMask(mask);
    EXPECT_EQ(Marks(area, 0xFFFFFF), Marks(mask, 0xFFFFFF));
    // Both end pixels of every segment are in the layer's colour.
    for (const auto& s : c->GetSegments()) {
        for (int k : {0, 2}) {
            const int x = CContourLayer::NodeToColumn(s[size_t(k)], 200, 64);
            const int y = CContourLayer::NodeToRow(s[size_t(k) + 1], 100, 64);
            if (x < 0 || y < 0 || x >= 200 || y >= 100) continue;
            ASSERT_EQ(area.pixel(x, y) & 0xFFFFFF, ColorRefToRgb(0x0000FF) & 0xFFFFFF) << x << "," << y;
        }
    }
}

TEST_F(GridLayerTest, OverlaysBinOnTheSourceAxesAgainWhenResetAndGoWithTheirDataSet) {
    const auto ev = Spread(2000);
    auto shell = MakeShell(ev);
    auto other = MakeShell(Spread(50));
    CPLOT target(RectForArea(150, 150), other->GetRoot(), nullptr, 1, 0);
    ASSERT_TRUE(target.SetXTransKind(kTransLinear, 0.0f, 300.0f));
    {
        CPLOT source(RectForArea(200, 200), shell->GetRoot(), nullptr, 0, 1);
        for (CLayer* layer : {source.GetDensityLayer(), source.GetContourLayer()}) {
            auto* overlay = dynamic_cast<CGridLayer*>(target.AddOverlayLayer(*layer));
            ASSERT_NE(overlay, nullptr);
            ExpectCounts(*overlay, ev);
            EXPECT_EQ(overlay->GetLevels(), static_cast<CGridLayer*>(layer)->GetLevels());
        }
    }
    // A resize resets the overlays: they count again, on their own axes.
    target.SetRect(RectForArea(180, 160));
    QImage page(400, 400, QImage::Format_RGB32);
    QPainter p(&page);
    target.Draw(&p);
    ASSERT_EQ(target.GetOverlayLayers().size(), 2u);
    for (const auto& o : target.GetOverlayLayers()) ExpectCounts(*static_cast<CGridLayer*>(o.get()), ev);
    shell.reset();
    EXPECT_TRUE(target.GetOverlayLayers().empty());
    target.Draw(&p);
}

TEST_F(GridLayerTest, RecordsRoundTripAndBadCountsOrRadiiAreRefused) {
    auto shell = MakeShell(Spread(100));
    CPLOT plot(RectForArea(100, 100), shell->GetRoot(), nullptr, 0, 1);
    CDensityLayer* d = Density(plot);
    CContourLayer* c = Contour(plot);
    struct Case {
        CGridLayer* layer;
        int32_t levels, third;
        const char* error;  // null: read
    };
    const Case cases[] = {
        {d, 4, 9, nullptr},
        {d, 0, 9, "level count 0"},  // would divide by zero
        {d, 65, 9, "level count 65"},
        {c, 3, 2, nullptr},
        {c, -1, 1, "level count -1"},
        {c, 8, 17, "smoothing radius 17"},
        {c, 8, INT32_MAX, "smoothing radius 2147483647"},  // (2r + 1)^2 would overflow
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.levels);
        CArchive out;
        out.WriteInt32(77);
        out.WriteInt32(k.levels);
        out.WriteInt32(k.third);
        if (k.layer == d) out.WriteInt32(5);
        CArchive in(out.Bytes());
        const int32_t before = k.layer->GetLevelCount();
        if (k.error) {
            try {
                k.layer->Load(in);
                ADD_FAILURE() << "read";
            } catch (const CArchiveException& e) {
                EXPECT_NE(std::string(e.what()).find(k.error), std::string::npos) << e.what();
            }
            EXPECT_EQ(k.layer->GetLevelCount(), before);
            continue;
        }
        k.layer->Load(in);
        EXPECT_EQ(in.Remaining(), 0u);
        CArchive again;
        k.layer->Store(again);
        EXPECT_EQ(again.Bytes(), out.Bytes());
    }
}

TEST_F(GridLayerTest, KindItemsOfThePlotMenuSwitchLayersAndNeverLeaveNone) {
    GetPlotDefaults().style = kPlotFlagDots;
    auto shell = MakeShell(Spread(100));
    CPLOT plot(RectForArea(100, 100), shell->GetRoot(), nullptr, 0, 1);
    struct Step {
        int32_t command, flags;
    };
    const Step steps[] = {
        {kPlotCmdKindDensity, kPlotFlagDots | kPlotFlagDensity},
        {kPlotCmdKindContour, kPlotFlagDots | kPlotFlagDensity | kPlotFlagContour},
        {kPlotCmdKindHistogram, kPlotFlagHistogram},  // alone
        {kPlotCmdKindHistogram, kPlotFlagDots},       // never no kind
        {kPlotCmdKindDot, kPlotFlagHistogram},
        {kPlotCmdKindDensity, kPlotFlagDensity},
        {kPlotCmdKindDensity, kPlotFlagDots},
    };
    for (const Step& s : steps) {
        EXPECT_TRUE(plot.OnContextCommand(uint32_t(s.command), 0));
        EXPECT_EQ(plot.GetStyleFlags(), s.flags) << s.command;
    }
    EXPECT_NE(plot.GetDensityLayer(), nullptr);
    std::vector<lm::MenuItem> menu;
    ASSERT_TRUE(plot.BuildContextMenu(&menu, 0, plot.GetPlotArea().CenterPoint()));
    int checked = 0;
    for (const auto& m : menu) checked += m.checked ? m.id : 0;
    EXPECT_EQ(checked, kPlotCmdKindDot);
}

namespace {

// The plot drawn on a page picture at a zoom, as the view draws it.
QImage DrawAtZoom(CPLOT& plot, double zoom) {
    const CRect r = plot.GetRect();
    QImage img(int(r.right * zoom) + 2, int(r.bottom * zoom) + 2, QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    QPainter p(&img);
    p.scale(zoom, zoom);
    plot.Draw(&p);
    p.end();
    return img;
}

TEST_F(GridLayerTest, ContourLinesStayWholeAtHalfSize) {
    GetPlotDefaults().style = kPlotFlagContour;
    auto shell = MakeShell(Spread(4000));
    CPLOT plot(RectForArea(200, 200), shell->GetRoot(), nullptr, 0, 1);
    ASSERT_NE(Contour(plot), nullptr);
    const CRect a = plot.GetPlotArea();
    const QImage full = DrawAtZoom(plot, 1.0);
    const QImage half = DrawAtZoom(plot, 0.5);
    // Every line pixel of the full-size picture still has its line pixel at
    // half size: the lines are not sampled into dots and dashes.
    int lines = 0, lost = 0;
    for (int y = a.top + 1; y < a.bottom - 1; ++y)
        for (int x = a.left + 1; x < a.right - 1; ++x) {
            if (qGray(full.pixel(x, y)) > 100) continue;
            ++lines;
            lost += qGray(half.pixel(x / 2, y / 2)) > 100;
        }
    ASSERT_GT(lines, 200);  // contours to look at
    EXPECT_EQ(lost, 0) << lines;
    // Nothing is added where the full picture has no line near.
    int added = 0;
    for (int y = a.top / 2 + 1; y < a.bottom / 2 - 1; ++y)
        for (int x = a.left / 2 + 1; x < a.right / 2 - 1; ++x) {
            if (qGray(half.pixel(x, y)) > 100) continue;
            bool near = false;
            for (int dy = 0; dy < 2 && !near; ++dy)
                for (int dx = 0; dx < 2 && !near; ++dx) near = qGray(full.pixel(2 * x + dx, 2 * y + dy)) <= 100;
            added += !near;
        }
    EXPECT_EQ(added, 0);
}

}  // namespace
