// Axis titles and tick labels of a plot, as drawn on the screen and, four
// times finer, as on paper: each title keeps clear of its axis's labels.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <functional>
#include <memory>
#include <vector>

#include "core/DataShell.h"
#include "report/plot/Plot.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/support/FcsWriter.h"

using namespace plottest;

namespace {

bool Ink(QRgb c) { return qGray(c) < 160; }

// Runs of consecutive indices for which ink(i) holds, first to last.
int Runs(int from, int to, const std::function<bool(int)>& ink) {
    int runs = 0;
    bool in = false;
    for (int i = from; i < to; ++i) {
        const bool now = ink(i);
        if (now && !in) ++runs;
        in = now;
    }
    return runs;
}

class PlotAxesTest : public ::testing::TestWithParam<double> {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        ResetPlotDefaults();
    }
};

TEST_P(PlotAxesTest, AxisTitlesKeepClearOfTheTickLabels) {
    const double zoom = GetParam();
    // Values up to 262144: labels "0", "100k", "200k" and "262k" on both axes.
    std::vector<std::pair<double, double>> events;
    for (int i = 0; i <= 100; ++i) events.emplace_back(2600.0 * i, 2600.0 * i);
    auto shell = std::make_unique<VexaDataShell>(
        lmtest::LoadFcsBytes(vin::FcsBytes(events, "262144"), 0, "axes.fcs").release(), "S");
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    QImage img(int(260 * zoom), int(260 * zoom), QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    QPainter p(&img);
    p.scale(zoom, zoom);
    plot.Draw(&p);
    p.end();
    const CRect a = plot.GetPlotArea();
    const CRect r = plot.GetRect();
    const auto px = [zoom](int v) { return int(v * zoom); };

    // Below the major ticks (10 units long) every row with ink across the
    // plot's width: the labels' rows, a blank row, the title's rows.
    const int rows = Runs(px(a.bottom + 11), px(r.bottom), [&](int y) {
        for (int x = px(r.left); x < px(r.right); ++x)
            if (Ink(img.pixel(x, y))) return true;
        return false;
    });
    EXPECT_EQ(rows, 2);
    // Left of the ticks every column with ink along the plot's height: the
    // title's columns, a blank column, the labels' columns.
    const int columns = Runs(px(r.left), px(a.left - 12), [&](int x) {
        for (int y = px(a.top); y < px(a.bottom); ++y)
            if (Ink(img.pixel(x, y))) return true;
        return false;
    });
    EXPECT_EQ(columns, 2);
    // The last X label ends on the plot, not across its right edge.
    int lastInk = 0;
    for (int y = px(a.bottom + 8); y < px(a.bottom + 26); ++y)
        for (int x = px(r.left); x < img.width(); ++x)
            if (Ink(img.pixel(x, y))) lastInk = std::max(lastInk, x);
    EXPECT_LT(lastInk, px(r.right));
}

INSTANTIATE_TEST_SUITE_P(ScreenAndPaper, PlotAxesTest, ::testing::Values(1.0, 4.0));

}  // namespace
