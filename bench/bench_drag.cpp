// Dragging a region (a rectangle, a 50-vertex polygon, a quadrant's centre)
// on a dot plot whose gate has five dependent gates: the cost of one drag step when the region follows the mouse live,
// i.e. the layer's move, the push of its geometry into the region (which
// re-evaluates the region's gate and every gate depending on it) and the
// redraw of the plot that the change marked dirty. Also ready7_<size>_ms: from
// the FCS file's bytes in memory (made before the clock starts) to the data
// loaded, the analysis set up and the seven gates evaluated. Prints its
// figures; run by hand:
//   bench_drag [events...]        (default: 1000000 10000000)
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
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
#include "report/plot/PolygonLayer.h"
#include "report/plot/QuadLayer.h"
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

// A shape to drag: its region, where its move is grabbed (page point), and
// the key of its BENCH line.
struct Shape {
    const char* key;
    std::unique_ptr<CDataRgn> (*make)();
    CPoint (*grab)(CRgnLayer& layer, const CRect& area);
};

std::unique_ptr<CDataRgn> MakeRect() {
    return std::make_unique<CrRect>(0, 1, RgnPoint{0.25f, 0.3f}, RgnPoint{0.6f, 0.75f});
}

CPoint GrabRect(CRgnLayer& layer, const CRect& a) {
    const CRect box = static_cast<CRectLayer&>(layer).GetBox();
    return CPoint(a.left + box.left, a.bottom - (box.top + box.bottom) / 2);
}

std::unique_ptr<CDataRgn> MakePolygon() {
    // A 50-vertex star around the middle of the plot.
    std::vector<RgnPoint> v;
    for (int k = 0; k < 50; ++k) {
        const double t = 2.0 * 3.14159265358979 * k / 50.0, r = (k % 2) ? 0.2 : 0.3;
        v.push_back({float(0.45 + r * std::cos(t)), float(0.5 + r * std::sin(t))});
    }
    return std::make_unique<CrPolygon>(0, 1, std::move(v));
}

CPoint GrabPolygon(CRgnLayer& layer, const CRect& a) {
    // Vertex 0, the rightmost point, lies on the outline and off the box's
    // corners.
    const CPoint v = static_cast<CPolygonLayer&>(layer).GetVertices().at(0);
    return CPoint(a.left + v.x, a.bottom - v.y);
}

std::unique_ptr<CDataRgn> MakeQuadrant() {
    return std::make_unique<CrQuadrant>(0, 1, 0.45f, 0.5f, 0.52f, 0.43f, 0.48f, 0.47f);
}

CPoint GrabQuadrant(CRgnLayer& layer, const CRect& a) {
    const CPoint c = static_cast<CQuadLayer&>(layer).GetCentre();
    return CPoint(a.left + c.x, a.bottom - c.y);
}

const Shape kShapes[] = {
    {"drag_step", &MakeRect, &GrabRect},
    {"polygon_drag", &MakePolygon, &GrabPolygon},
    {"quadrant_drag", &MakeQuadrant, &GrabQuadrant},
};

void Run(int64_t events, const Shape& shape) {
    std::printf("--- %s, %lld events\n", shape.key, (long long)events);
    // The file's bytes are made first: what is timed is from the FCS file
    // in memory to the data loaded, compensated and the seven gates ready.
    std::vector<uint8_t> bytes = lmbench::MakeDataBytes(events, 11);
    auto t0 = Clock::now();
    VexaDataShell shell(lmtest::LoadFcsBytes(bytes, 0, "bench.fcs").release(), "bench");
    // The dragged gate (a quadrant's part 0) and five gates that depend on it.
    CGateNode* dragged = shell.AddRegionGate(shape.make(), 0, "R");
    const int32_t r = shell.GetGateIndex(dragged);
    CGateNode* inner =
        shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.3f, 0.4f}, RgnPoint{0.5f, 0.6f}), r, "R1");
    shell.AddRegionGate(std::make_unique<CrEllipse>(0, 1, RgnPoint{0.35f, 0.35f}, RgnPoint{0.55f, 0.7f}), r, "R2");
    shell.AddRegionGate(std::make_unique<CrRange>(2, 0, 0.2f, 0.7f), r, "R3");
    shell.AddNotGate(dragged, "notR");
    shell.AddLogicGate(kGateAnd, {dragged, inner}, "RandR1");
    const double ready = Ms(t0, Clock::now());
    std::vector<uint8_t>().swap(bytes);
    std::printf("FCS file in memory to data and %d gates ready in %.0f ms\n", shell.GetGateCount(), ready);
    if (&shape == &kShapes[0]) lmbench::Bench("ready7_" + lmbench::SizeKey(events) + "_ms", ready, "ms");

    GetPlotDefaults() = PlotDefaults{};
    GetPlotDefaults().style = kPlotFlagDots;
    CPLOT plot(CRect(0, 0, 250, 250), shell.GetRoot(), nullptr, 0, 1);
    for (const auto& l : plot.GetDotLayers()) l->SetActive(true);
    plot.ShowRegion(dragged->GetRegion());
    auto* layer = plot.GetRegionLayers().empty() ? nullptr : dynamic_cast<CRgnLayer*>(plot.GetRegionLayers()[0].get());
    if (!layer) {
        std::printf("the plot made no layer for the region\n");
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

    // Grab the shape's move, then move one pixel a step, right then back.
    const CRect a = plot.GetPlotArea();
    CPoint at = shape.grab(*layer, a);
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
    std::printf("  gate R holds %u events\n", dragged->GetMask().CountSetBits());
    lmbench::Bench(std::string(shape.key) + "_" + lmbench::SizeKey(events) + "_ms",
                   lmbench::Summarize(step).median, "ms");
}

}  // namespace

int main(int argc, char** argv) {
    lmbench::UseOffscreenWithoutDisplay();
    QGuiApplication app(argc, argv);
    std::vector<int64_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::max<int64_t>(std::atoll(argv[i]), 1000));
    if (sizes.empty()) sizes = {1000000, 10000000};
    std::printf("bench_drag: one step of dragging a region live\n");
    for (const Shape& shape : kShapes)
        for (int64_t n : sizes) Run(n, shape);
    return 0;
}
