// A result table of the ten statistic codes over 50 gates (the root, a
// dragged rectangle with five dependants and 43 range gates holding 2-98 % of
// the events): the first drawing of its 500 values, and one step of dragging
// the rectangle live with the plot and the table repainted. Prints its
// figures; run by hand:
//   bench_table [events...]        (default: 1000000 10000000)
// Script-readable lines: BENCH table_first_1m_ms, table_first_10m_ms,
// table_drag_step_1m_ms, table_drag_step_10m_ms.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/StatItem.h"
#include "report/page/ResultTable.h"
#include "report/plot/DotLayer.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/plot/RectLayer.h"
#include "report/page/TrackStates.h"

namespace {

// Processor time of every thread of the process so far: on a busy machine
// the wall time of the parallel work says little, this says what it cost.
double CpuMs() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return (double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

using lmbench::Clock;
using lmbench::Ms;

void Run(int64_t events) {
    std::printf("--- %lld events\n", (long long)events);
    VexaDataShell shell(lmbench::MakeData(events, 11), "bench");
    CGateNode* dragged =
        shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.25f, 0.3f}, RgnPoint{0.6f, 0.75f}), 0, "R");
    const int32_t r = shell.GetGateIndex(dragged);
    CGateNode* inner =
        shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.3f, 0.4f}, RgnPoint{0.5f, 0.6f}), r, "R1");
    shell.AddRegionGate(std::make_unique<CrEllipse>(0, 1, RgnPoint{0.35f, 0.35f}, RgnPoint{0.55f, 0.7f}), r, "R2");
    shell.AddRegionGate(std::make_unique<CrRange>(2, 0, 0.2f, 0.7f), r, "R3");
    shell.AddNotGate(dragged, "notR");
    shell.AddLogicGate(kGateAnd, {dragged, inner}, "RandR1");
    // Ranges of FS from nearly nothing to nearly everything.
    for (int i = 0; i < 43; ++i)
        shell.AddRegionGate(std::make_unique<CrRange>(0, 0, 0.0f, 0.265f + 0.0150f * float(i)), 0,
                            "H" + std::to_string(i));
    double lo = 100.0, hi = 0.0;
    const int32_t firstRange = shell.GetGateCount() - 43;
    for (int32_t g = firstRange; g < shell.GetGateCount(); ++g) {
        const double p = shell.GetGate(g)->GetStatItem()->GetPercent() * 100.0;
        lo = std::min(lo, p);
        hi = std::max(hi, p);
    }
    std::printf("%d gates; the ranges hold %.1f %% .. %.1f %% of the events\n", shell.GetGateCount() - 1, lo, hi);

    CTrkResult table(0, 300, &shell, nullptr);
    std::vector<int32_t> codes, params;
    for (int32_t c = 0; c < kStatCodeCount; ++c) {
        codes.push_back(c);
        params.push_back(0);
    }
    table.SetColumns(codes, params);
    table.Rebuild();
    QImage page(1200, 1800, QImage::Format_RGB32);
    auto drawTable = [&] {
        QPainter p(&page);
        table.Draw(&p);
    };
    const double c0 = CpuMs();
    const auto f0 = Clock::now();
    drawTable();
    const double first = Ms(f0, Clock::now());
    std::printf("  first draw          %8.3f ms  (%lld values, %.0f ms of processor time)\n", first,
                (long long)table.GetComputedCount(), CpuMs() - c0);
    const auto d0 = Clock::now();
    drawTable();
    std::printf("  drawing alone       %8.3f ms\n", Ms(d0, Clock::now()));

    GetPlotDefaults() = PlotDefaults{};
    GetPlotDefaults().style = kPlotFlagDots;
    CPLOT plot(CRect(0, 0, 250, 250), shell.GetRoot(), nullptr, 0, 1);
    for (const auto& l : plot.GetDotLayers()) l->SetActive(true);
    plot.ShowRegion(dragged->GetRegion());
    auto* layer = dynamic_cast<CRectLayer*>(plot.GetRegionLayers().at(0).get());
    if (!layer) {
        std::printf("the plot made no rectangle layer for the region\n");
        return;
    }
    plot.SelectRegionLayer(0);
    auto drawPlot = [&] {
        QPainter p(&page);
        plot.Draw(&p);
    };
    drawPlot();
    const CRect a = plot.GetPlotArea();
    const CRect box = layer->GetBox();
    CPoint at(a.left + box.left, a.bottom - (box.top + box.bottom) / 2);
    int32_t state = kTrackRegionSelected;
    if (!layer->OnButtonDown(at, &state) || state != kTrackRegionMove) {
        std::printf("the press did not grab the region (state %d)\n", state);
        return;
    }
    std::vector<double> step;
    constexpr int kSteps = 40;
    const int64_t computedBefore = table.GetComputedCount();
    const double cpuBefore = CpuMs();
    for (int i = 0; i < kSteps; ++i) {
        at.x += (i < kSteps / 2) ? 1 : -1;
        const auto s0 = Clock::now();
        layer->OnDrag(at, &state);
        layer->PushGeometry();
        drawPlot();
        drawTable();
        step.push_back(Ms(s0, Clock::now()));
    }
    layer->OnButtonUp(at, &state);
    const lmbench::Stats s = lmbench::Summarize(step);
    std::printf("  drag step           min %7.3f  median %7.3f  max %7.3f ms  (%lld values, %.1f ms of processor "
                "time a step)\n",
                s.min, s.median, s.max, (long long)((table.GetComputedCount() - computedBefore) / kSteps),
                (CpuMs() - cpuBefore) / kSteps);
    // The values the table shows are those the gates give.
    int wrong = 0;
    for (int32_t g = 0; g < table.GetGateRowCount(); ++g)
        for (int32_t c = 0; c < kStatCodeCount; ++c)
            if (table.GetCellText(2 + g, c + 1) != table.GetRowGate(g)->GetStatItem()->GetStatText(0, c)) ++wrong;
    std::printf("  cells differing from the gate statistics: %d\n", wrong);
    const std::string size = lmbench::SizeKey(events);
    lmbench::Bench("table_first_" + size + "_ms", first, "ms");
    lmbench::Bench("table_drag_step_" + size + "_ms", s.median, "ms");
}

}  // namespace

int main(int argc, char** argv) {
    lmbench::UseOffscreenWithoutDisplay();
    QGuiApplication app(argc, argv);
    std::vector<int64_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::max<int64_t>(std::atoll(argv[i]), 1000));
    if (sizes.empty()) sizes = {1000000, 10000000};
    std::printf("bench_table: a result table of 500 values, drawn first and during a region drag\n");
    for (int64_t n : sizes) Run(n);
    return 0;
}
