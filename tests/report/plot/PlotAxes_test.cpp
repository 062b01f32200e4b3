// Axis titles and tick labels of a plot, as drawn on the screen and, four
// times finer, as on paper: each title keeps clear of its axis's labels.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <functional>
#include <memory>
#include <vector>

#include "base/Codepage.h"
#include "core/DataShell.h"
#include "platform/PaintHelpers.h"
#include "core/Trans.h"
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

TEST_P(PlotAxesTest, LongAxisTitlesStayWholeOnTheirPlot) {
    const double zoom = GetParam();
    // Names wider than a narrow plot's X band; the page's edge would cut
    // whatever leaves the plot's rectangle.
    lmtest::FcsWriter w;
    w.Param("FITC-A", 32, "1024", "0,0", "CD20 CD27 CD38").Param("PE-Cy7-A", 32, "1024", "0,0", "CD45RA");
    for (int i = 0; i < 50; ++i) w.Event({20.0 * i, 20.0 * i});
    auto shell = std::make_unique<VexaDataShell>(lmtest::LoadFcsBytes(w.Build(), 0, "long.fcs").release(), "S");
    const CRect r(20, 10, 150, 230);
    CPLOT plot(r, shell->GetRoot(), nullptr, 0, 1);
    QImage img(int(200 * zoom), int(260 * zoom), QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    QPainter p(&img);
    p.scale(zoom, zoom);
    plot.Draw(&p);
    p.end();
    const auto px = [zoom](int v) { return int(v * zoom); };
    const CRect a = plot.GetPlotArea();
    const QFontMetrics fm(lm::ToQFont(plot.GetFont()));
    const int xw = fm.horizontalAdvance(QString::fromStdString(plot.GetXAxisTitle(3)));
    ASSERT_GT(xw, a.Width());  // the case at hand

    // Nothing outside the plot's rectangle.
    int outside = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (Ink(img.pixel(x, y)) && !QRect(px(r.left), px(r.top), px(r.Width()), px(r.Height())).contains(x, y)) ++outside;
    EXPECT_EQ(outside, 0);
    // The X title's ink spans (nearly) the width of its text: it is whole.
    int first = img.width(), last = -1;
    for (int y = px(r.bottom - 18); y < px(r.bottom); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (Ink(img.pixel(x, y))) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    EXPECT_GE(last - first, int(0.85 * xw * zoom)) << xw;
}

TEST_P(PlotAxesTest, ALogicleAxisThinsTheTicksCrowdingAroundZero) {
    const double zoom = GetParam();
    std::vector<std::pair<double, double>> events;
    for (int i = 0; i <= 100; ++i) events.emplace_back(2600.0 * i, 2600.0 * i);
    auto shell = std::make_unique<VexaDataShell>(
        lmtest::LoadFcsBytes(vin::FcsBytes(events, "262144"), 0, "logicle.fcs").release(), "S");
    ASSERT_TRUE(shell->SetTrans(std::make_unique<CLogical>(262144.0f, -10.0f, 4.5f), 0));
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    ASSERT_EQ(plot.GetXTrans()->GetType(), kTransLogical);
    QImage img(int(260 * zoom), int(260 * zoom), QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    QPainter p(&img);
    p.scale(zoom, zoom);
    plot.Draw(&p);
    p.end();
    const CRect a = plot.GetPlotArea();
    const auto px = [zoom](double v) { return int(v * zoom); };
    // Along a row crossed by every tick (minor ones are 5 long): each tick
    // is a run of its own line's width, with room to the next.
    const int y = px(a.bottom + 3);
    std::vector<std::pair<int, int>> runs;
    for (int x = px(a.left - 2); x < px(a.right + 2); ++x) {
        if (!Ink(img.pixel(x, y))) continue;
        if (!runs.empty() && runs.back().second == x - 1)
            runs.back().second = x;
        else
            runs.emplace_back(x, x);
    }
    ASSERT_GE(runs.size(), 10u);  // the decades and their minor ticks
    for (const auto& [from, to] : runs) EXPECT_LE(to - from + 1, px(2)) << "ticks merged at " << from;
}

INSTANTIATE_TEST_SUITE_P(ScreenAndPaper, PlotAxesTest, ::testing::Values(1.0, 4.0));

// Parameter names written by a Chinese Windows system: $PnS in code page 936.
class Cp936AxesTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(900, 700); }
    lmtest::TempDir dir;
};

TEST_F(Cp936AxesTest, NamesInCodePage936ShowAsTheirCharactersOnAxesAndInMenus) {
    const std::string front = lm::Utf8ToCp936("前向"), side = lm::Utf8ToCp936("侧向");
    ASSERT_FALSE(lm::IsValidUtf8(front));
    lmtest::FcsWriter w;
    w.Param("FSC-A", 32, "1024", "0,0", front).Param("SSC-A", 32, "1024", "0,0", side);
    for (int i = 0; i < 20; ++i) w.Event({50.0 * i, 40.0 * i});
    VexaDataShell* shell = doc->OpenDataFile(dir.Write("cn.fcs", w.Build()), 0);
    ASSERT_NE(shell, nullptr);
    auto* plot = static_cast<CPLOT*>(
        doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1)));
    // The titles the plot draws, in each label mode.
    EXPECT_EQ(plot->GetXAxisTitle(3), "FSC-A 前向");
    EXPECT_EQ(plot->GetXAxisTitle(2), "前向");
    EXPECT_EQ(plot->GetYAxisTitle(2), "侧向");
    // The axis menu, opened on the X title band.
    d->Click(AreaPoint(*plot, 90, 90));
    ui.QueueMenuChoice(0);
    d->RightClick(plot->GetXTitleRect().CenterPoint());
    ASSERT_FALSE(ui.Calls().empty());
    QStringList items;
    for (const lm::MenuItem& m : ui.Calls().back().menu) items << m.text;
    EXPECT_EQ(items, (QStringList{"FSC-A 前向", "SSC-A 侧向"}));
    // What the result table's columns and the panels take from the data set.
    EXPECT_EQ(shell->GetParamLabel(0, 2), "前向");
    EXPECT_EQ(shell->GetParamLabel(1, 3), "SSC-A侧向");
    // A name that is valid UTF-8 is shown as it is.
    EXPECT_EQ(shell->GetParamLabel(0, 1), "FSC-A");
}

}  // namespace
