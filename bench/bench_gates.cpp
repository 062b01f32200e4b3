// Cost of a whole gate tree on large synthetic data: building and evaluating
// a 10-gate tree on linear and logicle axes, re-evaluating after one region
// edit, all ten statistics of a gate, and a full compensation change with an
// 8x8 spillover matrix. Each size runs in its own child process so that its
// peak memory is its own. Run by hand:
//   bench_gates [events...]      (default: 1000000 10000000)
// Script-readable lines, one per size run (1m, 10m): BENCH region_edit_<size>_ms,
// stats10_<size>_ms, comp_load_<size>_ms, comp_edit_<size>_ms (the slower of
// one coefficient changed live and the dialog's OK), tree_first_logicle_<size>_ms,
// quadrant_edit_<size>_ms (logicle axes), peak_over_columns_<size> (peak
// memory over one set of float columns), and logicle_ns_per_value (a batch
// conversion of the largest size's column).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/MappedFile.h"
#include "bench/BenchCommon.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/StatItem.h"
#include "core/Trans.h"

namespace {

using lmbench::Clock;
using lmbench::Ms;
using lmbench::Time;

constexpr int kParams = lmbench::kSpillParams;  // FSC-A, SSC-A, FL1-A .. FL8-A
constexpr int kFirstFl = lmbench::kSpillFirstFl;
int64_t g_largest = 0;  // the size whose logicle figure is printed

std::vector<uint8_t> BuildFile(int64_t events) { return lmbench::SpillFileBytes(events, 0x9E3779B97F4A7C15ull); }

struct Tree {
    CrRect* rect = nullptr;
    CGateNode* rectGate = nullptr;
    CGateNode* quad = nullptr;
    CGateNode* andGate = nullptr;
};

Tree BuildTree(VexaDataShell& s) {
    Tree t;
    auto rect = std::make_unique<CrRect>(0, 1, RgnPoint{0.1f, 0.05f}, RgnPoint{0.85f, 0.7f});
    t.rect = rect.get();
    t.rectGate = s.AddRegionGate(std::move(rect), 0, "rect");
    const int32_t ri = s.GetGateIndex(t.rectGate);
    CGateNode* ell = s.AddRegionGate(
        std::make_unique<CrEllipse>(2, 3, RgnPoint{0.15f, 0.2f}, RgnPoint{0.85f, 0.9f}), ri, "ellipse");
    CGateNode* poly = s.AddRegionGate(
        std::make_unique<CrPolygon>(4, 5, std::vector<RgnPoint>{{0.1f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.9f}, {0.5f, 0.5f}, {0.2f, 0.8f}}),
        ri, "polygon");
    t.andGate = s.AddLogicGate(kGateAnd, {ell, poly}, "and");
    s.AddLogicGate(kGateOr, {ell, poly}, "or");
    s.AddNotGate(t.rectGate, "not");
    t.quad = s.AddRegionGate(std::make_unique<CrQuadrant>(6, 7, 0.5f, 0.5f, 0.52f, 0.48f, 0.5f, 0.47f), 0, "");
    return t;
}

void UseAxes(VexaDataShell& s, bool logicle) {
    for (int p = 0; p < kParams; ++p) {
        if (logicle) s.SetTrans(std::make_unique<CLogical>(262144.0f, -10.0f, 4.5f), p);
        else s.SetTrans(std::make_unique<CTRANS>(0.0f, 262144.0f), p);
    }
}

int RunSize(int64_t events) {
    std::printf("== %lld events, %d parameters, 8x8 SPILL ==\n", (long long)events, kParams);
    auto t0 = Clock::now();
    CDataSet* ds = nullptr;
    {
        std::vector<uint8_t> bytes = BuildFile(events);
        auto t1 = Clock::now();
        lm::MappedFile file;
        file.OpenMemory(bytes.data(), bytes.size());
        ds = new CDataSet();
        ds->LoadFrom(file, "bench.fcs", 0);
        std::printf("  make file %.0f ms, decode %.0f ms\n", Ms(t0, t1), Ms(t1, Clock::now()));
    }
    if (ds->GetEventCount() != events || !ds->GetParamSet()->GetSpillMatrix()) {
        std::printf("  synthetic file not read as expected (%d events)\n", ds->GetEventCount());
        return 1;
    }
    auto t2 = Clock::now();
    VexaDataShell shell(ds, "bench");
    const double compLoad = Ms(t2, Clock::now());
    std::printf("  shell with compensation on load      %8.1f ms\n", compLoad);

    double slowestEdit = 0;  // a target holds on every axis
    double logicleBuild = 0, logicleQuad = 0;
    for (bool logicle : {false, true}) {
        const char* axis = logicle ? "logicle" : "linear ";
        while (shell.GetGateCount() > 1) shell.RemoveGate(shell.GetGate(1), false);
        auto a0 = Clock::now();
        UseAxes(shell, logicle);
        const double axes = Ms(a0, Clock::now());
        shell.GetFractionCache().Clear();
        auto b0 = Clock::now();
        Tree t = BuildTree(shell);
        const double build = Ms(b0, Clock::now());
        // Every gate again (fraction columns cached): what a data notice costs.
        const double all = Time(5, [&] { shell.EditCompensation(3); }).min;
        // Region drag: the rectangle and its five dependants.
        int r = 0;
        const double edit = Time(20, [&] {
            const float d = 0.01f * float(r++ % 5);
            t.rect->SetGeometry({0.1f + d, 0.05f, 0.85f - d, 0.7f + d}, nullptr);
        }).min;
        slowestEdit = std::max(slowestEdit, edit);
        if (logicle) logicleBuild = build;
        // Every step a geometry other than the one before (a repeated one
        // costs nothing), and the median: a step is what a drag pays.
        r = 0;
        const double quadEdit = Time(10, [&] {
            const float d = 0.01f * float(1 + r++ % 5);
            // Only part 0 takes geometry; the gate made may be another part.
            static_cast<CrQuadrant*>(t.quad->GetRegion())->GetPartRegion(0)->SetGeometry(0.5f + d, 0.5f, 0.52f, 0.48f - d, 0.5f, 0.47f, nullptr);
        }).median;
        if (logicle) logicleQuad = quadEdit;
        std::printf("  %s axes: set %d transforms %7.1f ms | build 10-gate tree (first) %8.1f ms | "
                    "all gates again %7.1f ms\n",
                    axis, kParams, axes, build, all);
        std::printf("  %s axes: region edit, 5 dependants %7.2f ms | quadrant edit (4 gates) %7.2f ms\n", axis, edit,
                    quadEdit);
        std::printf("           gate sizes: rect %u, and %u, quadrant UR %u\n", t.rectGate->GetMask().CountSetBits(),
                    t.andGate->GetMask().CountSetBits(), t.quad->GetMask().CountSetBits());
    }

    // All ten statistics of the root (every event) and of a smaller gate.
    double rootStats = 0;
    for (int32_t gi : {0, 1}) {
        CStatItem* st = shell.GetGate(gi)->GetStatItem();
        std::string texts;
        // A new item each time: the first reading after a change, nothing
        // kept from an earlier one.
        const double stats = Time(5, [&] {
            texts.clear();
            const CStatItem cold(shell.GetGate(gi));
            for (int code = 0; code < kStatCodeCount; ++code) texts += cold.GetStatText(kFirstFl, code) + " ";
        }).min;
        std::printf("  all ten statistics of a %lld-event gate %7.1f ms  [%s]\n",
                    (long long)st->GetEventCount(), stats, texts.c_str());
        if (gi == 0) rootStats = stats;
    }
    {
        CGateNode* root = shell.GetGate(0);
        const double med = Time(5, [&] { (void)CStatItem(root).GetMedian(kFirstFl); }).min;
        const double mean = Time(5, [&] { (void)CStatItem(root).GetMean(kFirstFl); }).min;
        const double geo = Time(5, [&] { (void)CStatItem(root).GetGeoMean(kFirstFl); }).min;
        std::printf("    of which (each alone): median %.1f ms, mean %.1f ms, geometric mean %.1f ms\n", med, mean, geo);
    }

    // Compensation dialog: one coefficient change, then OK (apply and store).
    shell.EditCompensation(kCompBeginEdit);
    auto c0 = Clock::now();
    shell.SetCompValue(kFirstFl, kFirstFl + 1, 0.05f);
    const double oneValue = Ms(c0, Clock::now());
    auto c1 = Clock::now();
    shell.EditCompensation(kCompApply);
    const double apply = Ms(c1, Clock::now());
    std::printf("  compensation: one coefficient %7.1f ms | EditCompensation(1) %7.1f ms (logicle axes)\n", oneValue,
                apply);
    // Batch logicle conversion of one whole column, as a fraction cache
    // computes it.
    double logicleNs = 0;
    {
        CLogical lg(262144.0f, -10.0f, 4.5f);
        const float* col = ds->GetEventMatrix()->GetColumn(kFirstFl);
        std::vector<float> fr(static_cast<size_t>(events));
        const double ms = Time(3, [&] { lg.ToFractions(col, size_t(events), fr.data()); }).min;
        logicleNs = ms * 1e6 / double(events);
        std::printf("  logicle batch conversion %7.1f ms, %.2f ns per value\n", ms, logicleNs);
    }
    const long peakKiB = lmbench::PeakRssKiB();
    const double columnSet = double(events) * kParams * 4;
    std::printf("  peak memory %ld MiB (data %.0f MiB per column set)\n", peakKiB / 1024, columnSet / 1048576.0);
    const std::string size = lmbench::SizeKey(events);
    lmbench::Bench("comp_load_" + size + "_ms", compLoad, "ms");
    lmbench::Bench("comp_edit_" + size + "_ms", std::max(oneValue, apply), "ms");
    lmbench::Bench("tree_first_logicle_" + size + "_ms", logicleBuild, "ms");
    lmbench::Bench("quadrant_edit_" + size + "_ms", logicleQuad, "ms");
    lmbench::Bench("peak_over_columns_" + size, double(peakKiB) * 1024.0 / columnSet, "x");
    if (events == g_largest) lmbench::Bench("logicle_ns_per_value", logicleNs, "ns");
    lmbench::Bench("region_edit_" + size + "_ms", slowestEdit, "ms");
    lmbench::Bench("stats10_" + size + "_ms", rootStats, "ms");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<int64_t> sizes = lmbench::SizesFromArgs(argc, argv);
    for (int64_t n : sizes) g_largest = std::max(g_largest, n);
    return lmbench::RunEachSizeInAChild(sizes, RunSize);
}
