// Region hit tests over synthetic data: every shape on linear, log and
// logicle axes over 1,000,000 and 10,000,000 events. Prints nanoseconds per
// event for a first evaluation without a cache, a first evaluation that fills
// a fraction cache, and a later evaluation that reuses it; then the cost of
// the transforms alone per value.
//
//   bench_regions [events...]     (default: 1000000 10000000)
// Script-readable lines: BENCH logicle_gate_1m_first_s, logicle_gate_10m_first_s.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/MappedFile.h"
#include "bench/BenchCommon.h"
#include "core/DataSet.h"
#include "core/EventBitMask.h"
#include "core/EventMatrix.h"
#include "core/FractionCache.h"
#include "core/Region.h"
#include "core/Trans.h"

namespace {

using lmbench::Clock;
using lmbench::Seconds;

// An FCS 3.0 image of two float parameters, events interleaved.
std::vector<uint8_t> BuildFcs(const std::vector<float>& x, const std::vector<float>& y) {
    const size_t n = x.size();
    const std::string head = lmbench::FloatFileHead(int64_t(n), {"FL1-A", "FL2-A"});
    std::vector<uint8_t> out(head.size() + n * 8);
    std::memcpy(out.data(), head.data(), head.size());
    uint8_t* d = out.data() + head.size();
    for (size_t i = 0; i < n; ++i) {
        std::memcpy(d + i * 8, &x[i], 4);
        std::memcpy(d + i * 8 + 4, &y[i], 4);
    }
    return out;
}

std::unique_ptr<CDataSet> MakeDataSet(size_t n) {
    std::mt19937 rng(12345);
    std::normal_distribution<float> neg(-30.0f, 40.0f), low(300.0f, 150.0f), mid(8000.0f, 3000.0f),
        high(60000.0f, 25000.0f);
    std::uniform_int_distribution<int> pick(0, 3);
    std::vector<float> x(n), y(n);
    auto draw = [&](int k) {
        switch (k) {
            case 0: return neg(rng);
            case 1: return low(rng);
            case 2: return mid(rng);
            default: return high(rng);
        }
    };
    for (size_t i = 0; i < n; ++i) {
        x[i] = draw(pick(rng));
        y[i] = draw(pick(rng));
    }
    std::vector<uint8_t> bytes = BuildFcs(x, y);
    lm::MappedFile file;
    file.OpenMemory(bytes.data(), bytes.size());
    auto ds = std::make_unique<CDataSet>();
    ds->LoadFrom(file, "bench.fcs", 0);
    return ds;
}

struct Shape {
    const char* name;
    std::function<std::unique_ptr<CDataRgn>()> make;
};

std::vector<Shape> Shapes() {
    return {
        {"range", [] { return std::make_unique<CrRange>(0, 1, 0.35f, 0.8f); }},
        {"rectangle", [] { return std::make_unique<CrRect>(0, 1, RgnPoint{0.3f, 0.3f}, RgnPoint{0.8f, 0.85f}); }},
        {"ellipse", [] { return std::make_unique<CrEllipse>(0, 1, RgnPoint{0.3f, 0.3f}, RgnPoint{0.8f, 0.85f}); }},
        {"polygon", [] {
             return std::make_unique<CrPolygon>(0, 1, std::vector<RgnPoint>{
                 {0.3f, 0.3f}, {0.85f, 0.32f}, {0.6f, 0.5f}, {0.82f, 0.8f},
                 {0.5f, 0.9f}, {0.45f, 0.6f}, {0.28f, 0.75f}, {0.4f, 0.5f}});
         }},
        {"quadrant", [] { return std::make_unique<CrQuadrant>(0, 1, 0.55f, 0.5f, 0.52f, 0.58f, 0.47f, 0.53f); }},
        {"cross", [] { return std::make_unique<CrCross>(0, 1, 0.55f, 0.5f); }},
    };
}

struct Axis {
    const char* name;
    std::unique_ptr<CTRANS> trans;
};

std::vector<Axis> Axes() {
    std::vector<Axis> a;
    a.push_back({"linear", std::make_unique<CTRANS>(0.0f, 262144.0f)});
    a.push_back({"log", std::make_unique<CLogTRANS>(0.0f, 5.4185f)});
    a.push_back({"logicle", std::make_unique<CLogical>(262144.0f, -10.0f, 4.5f)});
    return a;
}

void Run(size_t n) {
    std::printf("\n== %zu events ==\n", n);
    const auto t0 = Clock::now();
    auto ds = MakeDataSet(n);
    std::printf("synthetic data set: %.2f s (%d events loaded)\n", Seconds(t0, Clock::now()),
                ds->GetEventCount());
    const CEventMatrix& m = *ds->GetEventMatrix();

    std::printf("\ntransform alone (ns per value): ToFractions over one column\n");
    for (const Axis& ax : Axes()) {
        std::vector<float> out(n);
        const auto a = Clock::now();
        ax.trans->ToFractions(m.GetColumn(0), n, out.data());
        const double s = Seconds(a, Clock::now());
        // Scalar calls through the virtual interface, on a slice.
        const size_t slice = n < 1000000 ? n : 1000000;
        const auto b = Clock::now();
        float sink = 0;
        for (size_t i = 0; i < slice; ++i) sink += ax.trans->ToFraction(m.GetColumn(0)[i]);
        const double sc = Seconds(b, Clock::now());
        std::printf("  %-8s batch %7.2f   scalar %7.2f   (%g)\n", ax.name, s * 1e9 / double(n),
                    sc * 1e9 / double(slice), double(sink) * 0.0);
    }

    std::printf("\nhit tests (ns per event; seconds in brackets)\n");
    std::printf("  %-8s %-10s %18s %18s %18s %8s\n", "axis", "shape", "first, no cache",
                "first, new cache", "cache reused", "inside");
    // What a user waits for the first time a gate is drawn on logicle axes:
    // the shell always evaluates through its fraction cache, so the figure is
    // the "new cache" column, of the slowest shape.
    double logicleFirst = 0;
    for (const Axis& ax : Axes()) {
        const bool logicle = std::strcmp(ax.name, "logicle") == 0;
        for (const Shape& sh : Shapes()) {
            auto rgn = sh.make();
            EventBitMask mask{uint32_t(n)};
            const RegionInput plain{ds.get(), ax.trans.get(), ax.trans.get(), nullptr};
            auto a = Clock::now();
            rgn->HitTest(plain, mask, nullptr);
            const double first = Seconds(a, Clock::now());
            const uint32_t inside = mask.CountSetBits();

            FractionCache cache;
            const RegionInput cached{ds.get(), ax.trans.get(), ax.trans.get(), &cache};
            a = Clock::now();
            rgn->HitTest(cached, mask, nullptr);
            const double fill = Seconds(a, Clock::now());
            if (logicle) logicleFirst = std::max(logicleFirst, fill);
            a = Clock::now();
            rgn->HitTest(cached, mask, nullptr);
            const double reuse = Seconds(a, Clock::now());
            if (mask.CountSetBits() != inside) std::printf("  MISMATCH between cached and plain results\n");
            std::printf("  %-8s %-10s %8.2f (%6.3f) %8.2f (%6.3f) %8.2f (%6.3f) %7.1f%%\n", ax.name,
                        sh.name, first * 1e9 / double(n), first, fill * 1e9 / double(n), fill,
                        reuse * 1e9 / double(n), reuse, 100.0 * inside / double(n));
        }
    }
    lmbench::Bench("logicle_gate_" + lmbench::SizeKey(int64_t(n)) + "_first_s", logicleFirst, "s");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<size_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(size_t(std::strtoull(argv[i], nullptr, 10)));
    if (sizes.empty()) sizes = {1000000, 10000000};
    for (size_t n : sizes) Run(n);
    return 0;
}
