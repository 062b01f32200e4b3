// Dragging a region while a grid of 1,000 statistic cells watches 50 gates:
// the cost of one drag step (the region moves, its gate and five dependants
// are evaluated again, the plot and the grid are repainted, the cells of the
// changed gates computing their values). Prints its figures; run by hand:
//   bench_grid [events...]        (default: 1000000)
// Script-readable line: BENCH grid1000_drag_step_1m_ms.
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
#include "report/page/Grid.h"
#include "report/page/TrackStates.h"
#include "report/plot/DotLayer.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/plot/RectLayer.h"

namespace {

using lmbench::Clock;
using lmbench::Ms;

constexpr int32_t kGates = 50;
constexpr int32_t kCells = 1000;

void Run(int64_t events) {
    std::printf("--- %lld events\n", (long long)events);
    VexaDataShell shell(lmbench::MakeData(events, 11), "bench");
    // The dragged gate, five gates that depend on it, and more region gates
    // of 2 to 98 % of the events up to 50.
    CGateNode* dragged =
        shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.25f, 0.3f}, RgnPoint{0.6f, 0.75f}), 0, "R");
    const int32_t r = shell.GetGateIndex(dragged);
    std::vector<CGateNode*> gates{dragged};
    gates.push_back(
        shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.3f, 0.4f}, RgnPoint{0.5f, 0.6f}), r, "R1"));
    gates.push_back(shell.AddRegionGate(
        std::make_unique<CrEllipse>(0, 1, RgnPoint{0.35f, 0.35f}, RgnPoint{0.55f, 0.7f}), r, "R2"));
    gates.push_back(shell.AddRegionGate(std::make_unique<CrRange>(2, 0, 0.2f, 0.7f), r, "R3"));
    gates.push_back(shell.AddRegionGate(std::make_unique<CrRange>(0, 0, 0.1f, 0.5f), r, "R4"));
    gates.push_back(shell.AddRegionGate(std::make_unique<CrRange>(1, 0, 0.3f, 0.9f), r, "R5"));
    for (int32_t i = int32_t(gates.size()); i < kGates; ++i) {
        const float w = 0.02f + 0.96f * float(i) / float(kGates);
        gates.push_back(shell.AddRegionGate(
            std::make_unique<CrRect>(0, 1, RgnPoint{0.0f, 0.0f}, RgnPoint{w, 1.0f}), 0, "G" + std::to_string(i)));
    }

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

    // 20 cells a gate: the ten codes of parameters 0 and 1.
    CGrid grid(260, 0, 260 + 20 * 40, 50 * 20, nullptr, kCells / 20, 20);
    for (int32_t k = 0; k < kCells; ++k) {
        CGateNode* g = gates[size_t(k / 20)];
        const int32_t row = k / 20, col = k % 20;
        grid.SetCell(row, col, std::make_unique<CStatCell>(&grid, g->GetStatItem(), col % 10, col / 10, false));
    }

    QImage page(1100, 1400, QImage::Format_RGB32);
    auto redraw = [&] {
        page.fill(Qt::white);
        QPainter p(&page);
        plot.Draw(&p);
        grid.Draw(&p);
    };
    const auto f0 = Clock::now();
    redraw();
    std::printf("first draw of plot and grid %.1f ms\n", Ms(f0, Clock::now()));

    const CRect a = plot.GetPlotArea();
    const CRect box = layer->GetBox();
    CPoint at(a.left + box.left, a.bottom - (box.top + box.bottom) / 2);
    int32_t state = kTrackRegionSelected;
    if (!layer->OnButtonDown(at, &state) || state != kTrackRegionMove) {
        std::printf("the press did not grab the region (state %d)\n", state);
        return;
    }
    std::vector<double> push, draw, step;
    constexpr int kSteps = 20;
    for (int i = 0; i < kSteps; ++i) {
        at.x += (i < kSteps / 2) ? 1 : -1;
        const auto s0 = Clock::now();
        layer->OnDrag(at, &state);
        layer->PushGeometry();
        const auto s1 = Clock::now();
        redraw();
        const auto s2 = Clock::now();
        push.push_back(Ms(s0, s1));
        draw.push_back(Ms(s1, s2));
        step.push_back(Ms(s0, s2));
    }
    layer->OnButtonUp(at, &state);
    const auto p = lmbench::Summarize(push), d = lmbench::Summarize(draw), s = lmbench::Summarize(step);
    std::printf("  move + 6 gates   median %8.3f ms\n", p.median);
    std::printf("  plot + grid draw median %8.3f ms\n", d.median);
    std::printf("  one drag step    min %8.3f  median %8.3f  max %8.3f ms (%d steps)\n", s.min, s.median, s.max,
                kSteps);
    lmbench::Bench("grid1000_drag_step_" + lmbench::SizeKey(events) + "_ms", s.median, "ms");
}

}  // namespace

int main(int argc, char** argv) {
    lmbench::UseOffscreenWithoutDisplay();
    QGuiApplication app(argc, argv);
    std::vector<int64_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::max<int64_t>(std::atoll(argv[i]), 1000));
    if (sizes.empty()) sizes = {1000000};
    std::printf("bench_grid: one step of dragging a region under a grid of %d statistic cells\n", kCells);
    for (int64_t n : sizes) Run(n);
    return 0;
}
