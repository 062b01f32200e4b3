// Dragging a rectangle region on a dot plot whose gate has five dependent
// gates: the cost of one drag step when the region follows the mouse live,
// i.e. the layer's move, the push of its geometry into the region (which
// re-evaluates the region's gate and every gate depending on it) and the
// redraw of the plot that the change marked dirty. Prints its figures; run by
// hand:
//   bench_drag [events...]        (default: 1000000 10000000)
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
#include "report/plot/DotLayer.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/plot/RectLayer.h"
#include "report/page/TrackStates.h"

namespace {

using lmbench::Clock;
using lmbench::Ms;
using lmbench::Stats;

void PrintRow(const char* what, const std::vector<double>& times, const std::string& note = "") {
    const Stats s = lmbench::Summarize(times);
    std::printf("  %-19s min %7.3f  median %7.3f  max %7.3f ms%s\n", what, s.min, s.median, s.max, note.c_str());
}

void Run(int64_t events) {
    std::printf("--- %lld events\n", (long long)events);
    auto t0 = Clock::now();
    VexaDataShell shell(lmbench::MakeData(events, 11), "bench");
    // The dragged gate and five gates that depend on it.
    CGateNode* dragged =
        shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.25f, 0.3f}, RgnPoint{0.6f, 0.75f}), 0, "R");
    const int32_t r = shell.GetGateIndex(dragged);
    CGateNode* inner =
        shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.3f, 0.4f}, RgnPoint{0.5f, 0.6f}), r, "R1");
    shell.AddRegionGate(std::make_unique<CrEllipse>(0, 1, RgnPoint{0.35f, 0.35f}, RgnPoint{0.55f, 0.7f}), r, "R2");
    shell.AddRegionGate(std::make_unique<CrRange>(2, 0, 0.2f, 0.7f), r, "R3");
    shell.AddNotGate(dragged, "notR");
    shell.AddLogicGate(kGateAnd, {dragged, inner}, "RandR1");
    std::printf("data and %d gates ready in %.0f ms\n", shell.GetGateCount(), Ms(t0, Clock::now()));

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
    QImage page(300, 300, QImage::Format_RGB32);
    auto redraw = [&] {
        page.fill(Qt::white);
        QPainter p(&page);
        plot.Draw(&p);
    };
    redraw();

    // Grab the left edge, then move one pixel a step, right then back.
    const CRect a = plot.GetPlotArea();
    const CRect box = layer->GetBox();
    CPoint at(a.left + box.left, a.bottom - (box.top + box.bottom) / 2);
    int32_t state = kTrackRegionSelected;
    if (!layer->OnButtonDown(at, &state) || state != kTrackRegionMove) {
        std::printf("the press did not grab the region (state %d)\n", state);
        return;
    }
    std::vector<double> move, push, draw, step;
    constexpr int kSteps = 40;
    for (int i = 0; i < kSteps; ++i) {
        at.x += (i < kSteps / 2) ? 1 : -1;
        const auto s0 = Clock::now();
        layer->OnDrag(at, &state);
        const auto s1 = Clock::now();
        layer->PushGeometry();
        const auto s2 = Clock::now();
        redraw();
        const auto s3 = Clock::now();
        move.push_back(Ms(s0, s1));
        push.push_back(Ms(s1, s2));
        draw.push_back(Ms(s2, s3));
        step.push_back(Ms(s0, s3));
    }
    layer->OnButtonUp(at, &state);
    std::printf("plot 250 x 250 (area %d x %d), %zu dot layers shown, dot cap %d\n", a.Width(), a.Height(),
                plot.GetDotLayers().size(), plot.GetMaxDotEvents());
    PrintRow("layer move", move);
    PrintRow("push + 6 gates", push);
    PrintRow("plot redraw", draw);
    PrintRow("one drag step", step, "   (" + std::to_string(kSteps) + " steps)");
    std::printf("  gate R holds %u events, percentage %s\n", dragged->GetMask().CountSetBits(),
                layer->GetPercentText().c_str());
    lmbench::Bench("drag_step_" + lmbench::SizeKey(events) + "_ms", lmbench::Summarize(step).median, "ms");
}

}  // namespace

int main(int argc, char** argv) {
    lmbench::UseOffscreenWithoutDisplay();
    QGuiApplication app(argc, argv);
    std::vector<int64_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::max<int64_t>(std::atoll(argv[i]), 1000));
    if (sizes.empty()) sizes = {1000000, 10000000};
    std::printf("bench_drag: one step of dragging a rectangle region live\n");
    for (int64_t n : sizes) Run(n);
    return 0;
}
