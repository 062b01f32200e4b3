#include "core/QuadrantClassifier.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "core/Region.h"

namespace {

using Path = QuadrantClassifier::Path;

struct Geometry {
    const char* what;
    float geo[6];  // cx, cy, a0..a3
};

// Tilted, straight, on the corners and edges, degenerate and broken ones.
const Geometry kGeometries[] = {
    {"tilted", {0.45f, 0.55f, 0.7f, 0.3f, 0.4f, 0.65f}},
    {"straight arms", {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
    {"the benchmark's", {0.53f, 0.5f, 0.52f, 0.45f, 0.5f, 0.47f}},
    {"centre at the origin", {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {"centre at the top right", {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f}},
    {"centre on a ray end", {-0.1f, 1.1f, 1.01f, -0.1f, 1.01f, 1.1f}},
    // The right ray of an event on the centre line ends on the centre.
    {"centre on the right ray's end", {1.01f, 0.0625f, 0.0f, 0.625f, 0.6875f, 0.6875f}},
    {"centre on the right ray's end, high", {1.01f, 1.0f, 0.5f, 0.8125f, 0.375f, 0.6875f}},
    {"arms crossing over", {0.5f, 0.5f, 0.9f, 0.1f, 0.1f, 0.9f}},
    {"negative zero centre", {-0.0f, -0.0f, 0.25f, -0.0f, 0.75f, 0.5f}},
    {"denormal arms", {1e-45f, 0.5f, -1e-45f, 1e-45f, 0.5f, 0.0f}},
    {"far outside", {-3.0f, 7.0f, 1e30f, -1e30f, FLT_MAX, -FLT_MAX}},
    // Geometry that is not finite takes the rule spelt out in full.
    {"infinite arm", {0.5f, 0.5f, INFINITY, 0.5f, 0.5f, 0.5f}},
    {"NaN centre", {NAN, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
};

// Values every block path must treat as the reference does: the geometry's
// own coordinates and their neighbours, the ends of arms and rays, the unit
// square's edges, zeros, denormals, huge values, infinities and NaN.
std::vector<float> HostileValues(const float geo[6]) {
    std::vector<float> v = {0.0f,    -0.0f,   1.0f,      0.5f,     -0.1f,    1.01f,      1.1f,
                            1.05f,   -0.2f,   1.2f,      1e-45f,   -1e-45f,  FLT_MIN,    FLT_MAX,
                            -FLT_MAX, INFINITY, -INFINITY, NAN,    0.25f,    0.75f,      1e-8f};
    for (int i = 0; i < 6; ++i) {
        const float g = geo[i];
        v.push_back(g);
        v.push_back(std::nextafter(g, INFINITY));
        v.push_back(std::nextafter(g, -INFINITY));
    }
    for (float e : {-0.1f, 1.01f, 1.1f}) {
        v.push_back(std::nextafter(e, INFINITY));
        v.push_back(std::nextafter(e, -INFINITY));
    }
    return v;
}

// Every pair of values as events, padded with fractions to whole blocks.
void AllPairs(const std::vector<float>& v, std::vector<float>* fx, std::vector<float>* fy) {
    for (float x : v)
        for (float y : v) {
            fx->push_back(x);
            fy->push_back(y);
        }
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    while (fx->size() % 32) {
        fx->push_back(u(rng));
        fy->push_back(u(rng));
    }
}

void ExpectBlocksMatchReference(const QuadrantClassifier& q, const std::vector<float>& fx,
                                const std::vector<float>& fy, const char* what) {
    for (Path path : {Path::kScalar, Path::kPortable, Path::kAvx2})
        for (size_t b = 0; b < fx.size(); b += 32) {
            uint32_t got[4];
            q.PartsOfBlock(fx.data() + b, fy.data() + b, got, path);
            for (uint32_t i = 0; i < 32; ++i) {
                const uint32_t want = q.PartsOf(fx[b + i], fy[b + i]);
                for (int k = 0; k < 4; ++k)
                    ASSERT_EQ((got[k] >> i) & 1u, (want >> k) & 1u)
                        << what << ", path " << int(path) << ", part " << k << ", event (" << fx[b + i] << ", "
                        << fy[b + i] << ")";
            }
        }
}

TEST(QuadrantClassifier, EveryBlockPathGivesTheReferenceBitsOnHostileValues) {
    for (const Geometry& g : kGeometries) {
        const QuadrantClassifier q(g.geo[0], g.geo[1], g.geo + 2);
        std::vector<float> fx, fy;
        AllPairs(HostileValues(g.geo), &fx, &fy);
        ExpectBlocksMatchReference(q, fx, fy, g.what);
    }
}

// Blocks made only of fractions inside the unit square take the vector path
// throughout; events a hair from the centre and the arms decide there.
TEST(QuadrantClassifier, BlocksOfFractionsNearTheArmsMatchTheReference) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (const Geometry& g : kGeometries) {
        const QuadrantClassifier q(g.geo[0], g.geo[1], g.geo + 2);
        std::vector<float> fx, fy;
        for (int i = 0; i < 32 * 400; ++i) {
            // One in four events on the centre lines or the arm ends' lines.
            const int pick = int(rng() % 8);
            float x = u(rng), y = u(rng);
            if (pick < 6 && std::isfinite(g.geo[pick])) {
                const float near = std::nextafter(g.geo[pick], (rng() & 1) ? 2.0f : -2.0f);
                if ((pick & 1) == 0 && near >= 0.0f && near <= 1.0f) x = (rng() & 1) ? g.geo[pick] : near;
                if ((pick & 1) == 1 && near >= 0.0f && near <= 1.0f) y = (rng() & 1) ? g.geo[pick] : near;
            }
            fx.push_back(x);
            fy.push_back(y);
        }
        ExpectBlocksMatchReference(q, fx, fy, g.what);
    }
}

// The reference itself is the per-part rule of the quadrant region.
TEST(QuadrantClassifier, ReferenceIsTheRegionsPerPartRule) {
    for (const Geometry& g : kGeometries) {
        const float* geo = g.geo;
        CrQuadrant region(0, 1, geo[0], geo[1], geo[2], geo[3], geo[4], geo[5]);
        std::unique_ptr<CrQuadrant> parts[3] = {region.TakePart(1), region.TakePart(2), region.TakePart(3)};
        const QuadrantClassifier q(geo[0], geo[1], geo + 2);
        const std::vector<float> v = HostileValues(geo);
        for (float x : v)
            for (float y : v) {
                const uint32_t bits = q.PartsOf(x, y);
                for (int k = 0; k < 4; ++k)
                    ASSERT_EQ((bits >> k) & 1u, uint32_t(region.GetPartRegion(k)->Contains(x, y)))
                        << g.what << ", part " << k << ", event (" << x << ", " << y << ")";
            }
    }
}

}  // namespace

namespace {

// Geometries and events on one coarse grid: events fall exactly on centre
// lines, arms and arm ends, where a side test is an equality.
TEST(QuadrantClassifier, GeometriesOnAGridMatchTheReference) {
    std::mt19937 rng(5);
    std::vector<float> grid;
    for (int i = 0; i <= 8; ++i) grid.push_back(float(i) / 8.0f);
    auto pick = [&] { return grid[rng() % grid.size()]; };
    for (int round = 0; round < 2000; ++round) {
        const float geo[6] = {pick(), pick(), pick(), pick(), pick(), pick()};
        const QuadrantClassifier q(geo[0], geo[1], geo + 2);
        std::vector<float> fx, fy;
        AllPairs(grid, &fx, &fy);
        ExpectBlocksMatchReference(q, fx, fy, "grid");
    }
}

}  // namespace

namespace {

// Centres and arms on a grid that reaches past the unit square and takes in
// the rays' ends (-0.1, 1.01, 1.1), events on the same grid kept where a
// block stays on the vector path: rays that end on an arm, a centre on a
// ray's end, arms along a ray.
TEST(QuadrantClassifier, GeometriesOnTheRaysEndsMatchTheReference) {
    std::vector<float> grid;
    for (int i = -2; i <= 18; ++i) grid.push_back(float(i) / 16.0f);
    for (float v : {1.01f, -0.1f, 1.1f}) grid.push_back(v);
    std::mt19937 rng(1);
    auto pick = [&] { return grid[rng() % grid.size()]; };
    for (int round = 0; round < 5000; ++round) {
        const float geo[6] = {pick(), pick(), pick(), pick(), pick(), pick()};
        const QuadrantClassifier q(geo[0], geo[1], geo + 2);
        std::vector<float> fx(32), fy(32);
        for (int i = 0; i < 32; ++i) {
            fx[size_t(i)] = pick();
            fy[size_t(i)] = pick();
            // Strictly between the rays' ends, as every clamped fraction is.
            if (!(fx[size_t(i)] > -0.1f && fx[size_t(i)] < 1.01f)) fx[size_t(i)] = 0.5f;
            if (!(fy[size_t(i)] > -0.1f && fy[size_t(i)] < 1.1f)) fy[size_t(i)] = 0.5f;
        }
        ExpectBlocksMatchReference(q, fx, fy, "rays' ends");
        if (HasFatalFailure()) return;
    }
}

}  // namespace
