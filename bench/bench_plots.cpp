// Speed of the plot layers on large synthetic data: rebuilding and drawing a
// dot plot of 10 gates, counting and drawing a histogram, rebuilding and
// drawing density and contour plots (also at 1,000,000 events), and the cost per
// event of finding a value's bin in a bin table. Prints its figures; run by
// hand:
//   bench_plots [events]        (10,000,000 by default)
// Script-readable lines: BENCH hist_10m_ms, density_1m_ms, density_10m_ms,
// contour_1m_ms, contour_10m_ms.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchCommon.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "report/plot/BinLocator.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"

namespace {

using lmbench::Clock;
using lmbench::Ms;
using lmbench::Stats;
using lmbench::Time;

// A full drawing of the plot after a notice made it dirty (rebuild + draw).
Stats RebuildAndDraw(CPLOT& plot, int runs) {
    QImage page(300, 300, QImage::Format_RGB32);
    return Time(runs, [&] {
        plot.MarkDirty();
        page.fill(Qt::white);
        QPainter p(&page);
        plot.Draw(&p);
    });
}

// Density and contour plots of all events, 250 x 250: rebuild + draw.
void GridPlots(VexaDataShell& shell, int64_t events) {
    const std::pair<int32_t, const char*> kinds[] = {{kPlotFlagDensity, "density"}, {kPlotFlagContour, "contour"}};
    for (const auto& [style, name] : kinds) {
        GetPlotDefaults().style = style;
        CPLOT plot(CRect(0, 0, 250, 250), shell.GetRoot(), nullptr, 0, 1);
        const Stats s = RebuildAndDraw(plot, 7);
        std::printf("%s plot 250 x 250 of %lld events: rebuild + draw min %.1f ms, median %.1f ms\n", name,
                    (long long)events, s.min, s.median);
        lmbench::Bench(std::string(name) + "_" + lmbench::SizeKey(events) + "_ms", s.median, "ms");
    }
}

void BinCost(const char* name, const CTRANS& trans, int32_t n, const float* values, size_t count) {
    std::vector<float> table(static_cast<size_t>(n));
    trans.FillTable(table.data(), n);
    std::vector<int32_t> a(count), b(count);
    const auto t0 = Clock::now();
    for (size_t i = 0; i < count; ++i) a[i] = FindBinIndex(table.data(), n, values[i]);
    const auto t1 = Clock::now();
    const CBinLocator loc(table.data(), n);
    const auto t2 = Clock::now();
    for (size_t i = 0; i < count; ++i) b[i] = loc.Find(values[i]);
    const auto t3 = Clock::now();
    const bool same = std::equal(a.begin(), a.end(), b.begin());
    std::printf("  %-22s binary search %6.1f ns/event, guess+correct %5.1f ns/event, same bins: %s\n", name,
                Ms(t0, t1) * 1e6 / double(count), Ms(t2, t3) * 1e6 / double(count), same ? "yes" : "NO");
}

}  // namespace

int main(int argc, char** argv) {
    lmbench::UseOffscreenWithoutDisplay();
    QGuiApplication app(argc, argv);
    const int64_t events = argc > 1 ? std::max<int64_t>(std::atoll(argv[1]), 1000) : 10000000;
    std::printf("bench_plots: %lld events\n", (long long)events);

    auto t0 = Clock::now();
    VexaDataShell shell(lmbench::MakeData(events, 7), "bench");
    // Nine rectangle gates under "All": ten gates with the root.
    for (int i = 0; i < 9; ++i) {
        const float x = 0.1f + 0.08f * float(i);
        shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{x, 0.2f}, RgnPoint{x + 0.15f, 0.7f}), 0,
                            std::string("G") + std::to_string(i + 1));
    }
    std::printf("data and 10 gates ready in %.0f ms\n", Ms(t0, Clock::now()));

    GetPlotDefaults() = PlotDefaults{};
    GetPlotDefaults().style = kPlotFlagDots;
    for (int cap : {2000, 1000000}) {
        GetPlotDefaults().evts = cap;
        CPLOT plot(CRect(0, 0, 250, 250), shell.GetRoot(), nullptr, 0, 1);
        for (const auto& l : plot.GetDotLayers()) l->SetActive(true);
        const Stats s = RebuildAndDraw(plot, 7);
        std::printf("dot plot 250 x 250, 10 shown dot layers, cap %7d: rebuild + draw min %.2f ms, median %.2f ms\n",
                    cap, s.min, s.median);
    }

    GetPlotDefaults().style = kPlotFlagHistogram;
    struct Axis {
        const char* name;
        int32_t param;
        std::unique_ptr<CTRANS> trans;  // null: the shell's default
    };
    Axis axes[] = {{"FS, linear axis", 0, nullptr},
                   {"FL1, log axis", 2, std::make_unique<CLogTRANS>(0.0f, 5.4f)},
                   {"FL1, logicle axis", 2, std::make_unique<CLogical>(262144.0f, -100.0f, 4.5f)}};
    double slowestHist = 0;  // a target holds on every axis
    for (Axis& a : axes) {
        if (a.trans) shell.SetTrans(std::move(a.trans), a.param);
        CPLOT hist(CRect(0, 0, 250, 250), shell.GetRoot(), nullptr, a.param, 1);
        const Stats s = RebuildAndDraw(hist, 7);
        std::printf("histogram of %lld events on %-18s rebuild + draw min %.1f ms, median %.1f ms\n",
                    (long long)events, a.name, s.min, s.median);
        slowestHist = std::max(slowestHist, s.median);
    }

    // A page of 12 plots already computed, drawn whole at zoom 1 and 2 (the
    // plots' share of a full repaint: title, axes, layers).
    {
        GetPlotDefaults().evts = 2000;
        std::vector<std::unique_ptr<CPLOT>> page;
        for (int i = 0; i < 12; ++i) {
            GetPlotDefaults().style = i % 3 == 2 ? kPlotFlagHistogram : kPlotFlagDots;
            const int x = 5 + (i % 4) * 255, y = 5 + (i / 4) * 255;
            page.push_back(std::make_unique<CPLOT>(CRect(x, y, x + 250, y + 250), shell.GetRoot(), nullptr,
                                                   i % 3 == 2 ? 2 : 0, 1));
        }
        for (double zoom : {1.0, 2.0}) {
            QImage img(int(1024 * zoom), int(1414 * zoom), QImage::Format_RGB32);
            const Stats s = Time(7, [&] {
                img.fill(Qt::white);
                QPainter p(&img);
                p.scale(zoom, zoom);
                for (auto& plot : page) plot->Draw(&p);
            });
            std::printf("page of 12 plots drawn at zoom %.0f: min %.1f ms, median %.1f ms\n", zoom, s.min, s.median);
        }
    }

    std::printf("finding the bin of each of %lld values:\n", (long long)events);
    const float* fs = shell.GetDataSet()->GetEventMatrix()->GetColumn(0);
    const float* fl = shell.GetDataSet()->GetEventMatrix()->GetColumn(2);
    BinCost("linear, 188 pixels", CTRANS(0.0f, 1024.0f), 188, fs, size_t(events));
    BinCost("linear, 128 bins", CTRANS(0.0f, 1024.0f), 128, fs, size_t(events));
    BinCost("log 5 decades, 170 px", CLogTRANS(0.0f, 5.0f), 170, fl, size_t(events));
    BinCost("logicle, 188 pixels", CLogical(262144.0f, -100.0f, 4.5f), 188, fl, size_t(events));
    lmbench::Bench("hist_" + lmbench::SizeKey(events) + "_ms", slowestHist, "ms");

    GridPlots(shell, events);
    if (events != 1000000) {
        VexaDataShell million(lmbench::MakeData(1000000, 11), "bench 1m");
        GridPlots(million, 1000000);
    }
    return 0;
}
