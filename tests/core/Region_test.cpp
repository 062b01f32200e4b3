#include "core/Region.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/FractionCache.h"
#include "core/GateNode.h"
#include "core/Trans.h"
#include "tests/support/FcsWriter.h"

namespace {

struct Ev {
    double x, y;
};

// Two float parameters ranged 0..1024 holding the given events.
std::unique_ptr<CDataSet> MakeData(const std::vector<Ev>& events) {
    lmtest::FcsWriter w;
    w.Param("FL1-H", 32, "1024").Param("FL2-H", 32, "1024");
    for (const Ev& e : events) w.Event({e.x, e.y});
    auto ds = lmtest::LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->GetEventCount(), int32_t(events.size()));
    return ds;
}

// Events at fractions of a 0..1024 linear axis (exact for multiples of 1/1024).
Ev F(double fx, double fy) { return {fx * 1024.0, fy * 1024.0}; }

std::vector<uint32_t> SetBits(const EventBitMask& m) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < m.GetBitCount(); ++i)
        if (m.Test(i)) out.push_back(i);
    return out;
}

class RegionTest : public ::testing::Test {
protected:
    CTRANS lin{0.0f, 1024.0f};

    std::vector<uint32_t> Hits(CDataRgn& r, const CDataSet& ds, const EventBitMask* parent = nullptr,
                               FractionCache* cache = nullptr) {
        EventBitMask mask{uint32_t(ds.GetEventCount())};
        EXPECT_TRUE(r.HitTest({&ds, &lin, &lin, cache}, mask, parent));
        return SetBits(mask);
    }
};

using V = std::vector<uint32_t>;

// ---- borders ----------------------------------------------------------------

TEST_F(RegionTest, RangeBordersAreOutside) {
    auto ds = MakeData({F(0.25, 0), F(0.2500001, 0), F(0.375, 0), F(0.5, 0), F(0, 0), F(2.0, 0)});
    CrRange r(0, 1, 0.5f, 0.25f);  // stored ordered
    float lo, hi;
    r.GetGeometry(&lo, &hi);
    EXPECT_EQ(lo, 0.25f);
    EXPECT_EQ(hi, 0.5f);
    EXPECT_EQ(Hits(r, *ds), (V{1, 2}));
    // A value past the axis end is clamped to 1: inside only a range reaching beyond 1.
    CrRange beyond(0, 1, 0.75f, 1.5f);
    EXPECT_EQ(Hits(beyond, *ds), (V{5}));
    CrRange empty(0, 1, 0.375f, 0.375f);
    EXPECT_EQ(Hits(empty, *ds), V{});
}

TEST_F(RegionTest, RangeDoesNotReadY) {
    auto ds = MakeData({F(0.5, 0.5)});
    CrRange r(0, 99, 0.25f, 0.75f);  // the y index is stored but never read
    EventBitMask mask(1);
    EXPECT_TRUE(r.HitTest({ds.get(), &lin, nullptr, nullptr}, mask, nullptr));
    EXPECT_EQ(mask.CountSetBits(), 1u);
}

TEST_F(RegionTest, RectangleBordersAreOutside) {
    auto ds = MakeData({F(0.5, 0.5), F(0.25, 0.5), F(0.75, 0.5), F(0.5, 0.25), F(0.5, 0.75),
                        F(0.2509765625, 0.2509765625), F(0.7490234375, 0.7490234375)});
    CrRect r(0, 1, {0.75f, 0.75f}, {0.25f, 0.25f});
    EXPECT_EQ(r.GetBox(), (std::array<float, 4>{0.25f, 0.25f, 0.75f, 0.75f}));
    EXPECT_EQ(Hits(r, *ds), (V{0, 5, 6}));
    // SetGeometry keeps the box as given: an inverted box contains nothing.
    r.SetGeometry({0.75f, 0.75f, 0.25f, 0.25f}, nullptr);
    EXPECT_EQ(Hits(r, *ds), V{});
}

TEST_F(RegionTest, EllipseBorderIsInside) {
    auto ds = MakeData({F(0.75, 0.5), F(0.25, 0.5), F(0.5, 0.75), F(0.5, 0.5), F(0.7509765625, 0.5),
                        F(0.7, 0.7)});
    CrEllipse e(0, 1, {0.25f, 0.25f}, {0.75f, 0.75f});
    EXPECT_EQ(e.GetA(), 0.25f);
    EXPECT_EQ(e.GetCX(), 0.5f);
    EXPECT_EQ(Hits(e, *ds), (V{0, 1, 2, 3}));
}

TEST_F(RegionTest, DegenerateEllipseIsItsSegment) {
    auto ds = MakeData({F(0.5, 0.5), F(0.5, 0.25), F(0.5, 0.75), F(0.5, 0.8), F(0.50097, 0.5)});
    CrEllipse flat(0, 1, {0.5f, 0.25f}, {0.5f, 0.75f});  // a = 0
    EXPECT_EQ(Hits(flat, *ds), (V{0, 1, 2}));
    CrEllipse dot(0, 1, {0.5f, 0.5f}, {0.5f, 0.5f});
    EXPECT_EQ(Hits(dot, *ds), (V{0}));
}

// ---- polygon ----------------------------------------------------------------

TEST_F(RegionTest, ConcavePolygonRayThroughAVertex) {
    // A notch from the top whose lowest vertex (0.5, 0.5) lies on the ray of
    // events at y = 0.5, and a notch from the right whose vertex (0.75, 0.25)
    // lies on the ray of events at y = 0.25.
    std::vector<RgnPoint> v = {{0.125f, 0.125f}, {0.875f, 0.125f}, {0.75f, 0.25f},
                               {0.875f, 0.375f}, {0.875f, 0.875f}, {0.5f, 0.5f},
                               {0.125f, 0.875f}};
    CrPolygon p(0, 1, v);
    EXPECT_EQ(p.GetBox(), (std::array<float, 4>{0.125f, 0.125f, 0.875f, 0.875f}));
    auto ds = MakeData({
        F(0.25, 0.5),    // 0 left of the notch vertex: inside
        F(0.625, 0.5),   // 1 right of it, under the notch: inside (ray through the vertex)
        F(0.5, 0.625),   // 2 in the top notch: outside
        F(0.8125, 0.25), // 3 in the right notch, ray through (0.75, 0.25): outside
        F(0.625, 0.25),  // 4 left of the right notch: inside
        F(0.5, 0.5),     // 5 on the notch vertex itself
        F(0.125, 0.5),   // 6 on the box border: outside
        F(0.9, 0.5),     // 7 outside the box
        F(0.3125, 0.625), // 8 left arm under the notch edge: inside
    });
    const V hits = Hits(p, *ds);
    for (uint32_t in : {0u, 1u, 4u, 8u}) EXPECT_NE(std::find(hits.begin(), hits.end(), in), hits.end()) << in;
    for (uint32_t out : {2u, 3u, 6u, 7u}) EXPECT_EQ(std::find(hits.begin(), hits.end(), out), hits.end()) << out;
    // The single-point test agrees with the mask.
    for (uint32_t i = 0; i < 9; ++i) {
        const float fx = lin.ToFraction(ds->GetEventMatrix()->GetColumn(0)[i]);
        const float fy = lin.ToFraction(ds->GetEventMatrix()->GetColumn(1)[i]);
        EXPECT_EQ(p.Contains(fx, fy), std::find(hits.begin(), hits.end(), i) != hits.end()) << i;
    }
}

TEST_F(RegionTest, PolygonAgreesWithWindingOnRandomPoints) {
    // A star (concave, ten vertices); compare with a winding-number test.
    std::vector<RgnPoint> v;
    for (int k = 0; k < 10; ++k) {
        const double a = k * M_PI / 5.0, r = (k % 2) ? 0.18 : 0.42;
        v.push_back({float(0.5 + r * std::cos(a)), float(0.5 + r * std::sin(a))});
    }
    CrPolygon p(0, 1, v);
    auto winding = [&](double x, double y) {
        int wn = 0;
        for (size_t i = 0; i < v.size(); ++i) {
            const RgnPoint a = v[i], b = v[(i + 1) % v.size()];
            const double cross = (b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y);
            if (a.y <= y) {
                if (b.y > y && cross > 0) ++wn;
            } else if (b.y <= y && cross < 0) {
                --wn;
            }
        }
        return wn != 0;
    };
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int i = 0; i < 20000; ++i) {
        const float x = u(rng), y = u(rng);
        ASSERT_EQ(p.Contains(x, y), winding(x, y)) << x << "," << y;
    }
}

// A vertex with one coordinate not finite (a damaged record) must neither
// crash the hit test nor make it disagree with Contains, event by event.
TEST_F(RegionTest, PolygonWithANonFiniteVertexHitsWhatContainsSays) {
    const float nan = std::nanf(""), inf = INFINITY;
    std::vector<Ev> events;
    for (int i = 1; i < 16; ++i)
        for (int j = 1; j < 16; ++j) events.push_back(F(i / 16.0, j / 16.0));
    auto ds = MakeData(events);
    const std::vector<RgnPoint> bad[] = {
        {{0.1f, 0.1f}, {0.9f, 0.1f}, {0.9f, nan}, {0.5f, 0.9f}, {0.1f, 0.6f}},
        {{0.1f, 0.1f}, {0.9f, 0.1f}, {nan, 0.7f}, {0.5f, 0.9f}, {0.1f, 0.6f}},
        {{0.1f, 0.1f}, {0.9f, 0.1f}, {0.9f, inf}, {0.5f, 0.9f}, {0.1f, 0.6f}},
        {{0.1f, 0.1f}, {0.9f, 0.1f}, {-inf, 0.7f}, {0.5f, 0.9f}, {0.1f, 0.6f}},
    };
    for (size_t c = 0; c < std::size(bad); ++c) {
        CrPolygon p(0, 1, bad[c]);
        V want;
        for (uint32_t e = 0; e < events.size(); ++e)
            if (p.Contains(float(events[e].x / 1024.0), float(events[e].y / 1024.0))) want.push_back(e);
        EXPECT_EQ(Hits(p, *ds), want) << c;
    }
}

TEST_F(RegionTest, PolygonWithoutAreaContainsNothing) {
    auto ds = MakeData({F(0.5, 0.5), F(0.25, 0.25)});
    CrPolygon none(0, 1, {});
    CrPolygon two(0, 1, {{0.0f, 0.0f}, {1.0f, 1.0f}});
    EXPECT_EQ(Hits(none, *ds), V{});
    EXPECT_EQ(Hits(two, *ds), V{});
    EXPECT_FALSE(two.Contains(0.5f, 0.5f));
    // Growing it to a triangle makes it work; shrinking again empties it.
    two.SetGeometry({{0.0f, 0.0f}, {1.0f, 0.0f}, {0.5f, 1.0f}}, nullptr);
    EXPECT_EQ(Hits(two, *ds), (V{0, 1}));
    two.SetGeometry({{0.0f, 0.0f}}, nullptr);
    EXPECT_EQ(two.GetVertexCount(), 1);
    EXPECT_EQ(Hits(two, *ds), V{});
}

// ---- quadrant -----------------------------------------------------------------

class QuadrantTest : public RegionTest {
protected:
    // A tilted quadrant: no arm is axis-parallel.
    CrQuadrant q{0, 1, 0.45f, 0.55f, 0.7f, 0.3f, 0.4f, 0.65f};
    std::unique_ptr<CrQuadrant> p1 = q.TakePart(1), p2 = q.TakePart(2), p3 = q.TakePart(3);
    CrQuadrant* Part(int i) { return q.GetPartRegion(i); }
};

TEST_F(QuadrantTest, FourPartsCoverEveryEvent) {
    std::vector<Ev> evs;
    // A grid that includes the clamped edges 0 and 1.
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j) evs.push_back(F(i / 40.0 + 0.001, j / 40.0 + 0.0007));
    evs.push_back(F(-1, -1));
    evs.push_back(F(5, 5));
    evs.push_back(F(5, -1));
    evs.push_back(F(-1, 5));
    auto ds = MakeData(evs);
    const uint32_t n = uint32_t(evs.size());
    std::vector<int> count(n, 0);
    std::array<uint32_t, 4> perPart{};
    for (int k = 0; k < 4; ++k) {
        ASSERT_NE(Part(k), nullptr);
        EXPECT_EQ(Part(k)->GetPart(), k);
        for (uint32_t i : Hits(*Part(k), *ds)) {
            ++count[i];
            ++perPart[size_t(k)];
        }
    }
    for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(count[i], 1) << "event " << i;
    for (int k = 0; k < 4; ++k) EXPECT_GT(perPart[size_t(k)], 50u) << k;
    // Corners land in their own parts.
    EXPECT_TRUE(Part(2)->Contains(0.0f, 0.0f));
    EXPECT_TRUE(Part(0)->Contains(1.0f, 1.0f));
    EXPECT_TRUE(Part(3)->Contains(1.0f, 0.0f));
    EXPECT_TRUE(Part(1)->Contains(0.0f, 1.0f));
}

TEST_F(QuadrantTest, PointsFollowTheTiltedArms) {
    // The right arm rises from (0.45, 0.55) to (1.01, 0.7): at x = 0.9 it is at
    // about 0.67. Just above is upper right, just below lower right.
    EXPECT_TRUE(Part(0)->Contains(0.9f, 0.69f));
    EXPECT_FALSE(Part(3)->Contains(0.9f, 0.69f));
    EXPECT_TRUE(Part(3)->Contains(0.9f, 0.65f));
    EXPECT_FALSE(Part(0)->Contains(0.9f, 0.65f));
    // The upper arm leans left to (0.3, 1.01): at y = 0.9 it is near x 0.34.
    EXPECT_TRUE(Part(0)->Contains(0.36f, 0.9f));
    EXPECT_TRUE(Part(1)->Contains(0.32f, 0.9f));
}

TEST_F(QuadrantTest, GeometryOnlyThroughPartZero) {
    Part(2)->SetGeometry(0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, nullptr);  // ignored
    RgnPoint c;
    float a0, a1, a2, a3;
    Part(1)->GetGeometry(&c, &a0, &a1, &a2, &a3);
    EXPECT_EQ(c, (RgnPoint{0.45f, 0.55f}));
    q.SetGeometry(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, nullptr);
    for (int k = 0; k < 4; ++k) {
        Part(k)->GetGeometry(&c, &a0, &a1, &a2, &a3);
        EXPECT_EQ(c, (RgnPoint{0.5f, 0.5f})) << k;
        EXPECT_EQ(a3, 0.5f) << k;
    }
}

TEST_F(QuadrantTest, ArmTouchingMayCountTwice) {
    q.SetGeometry(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, nullptr);
    // A point on the right arm is in a neighbouring part, never in none.
    int parts = 0;
    for (int k = 0; k < 4; ++k) parts += Part(k)->Contains(0.75f, 0.5f) ? 1 : 0;
    EXPECT_GE(parts, 1);
    EXPECT_LE(parts, 2);
}

TEST(Quadrant, PartsForgetEachOtherWhenDestroyed) {
    auto q = std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(q->GetMaster(), q.get());
    std::unique_ptr<CrQuadrant> p2 = q->TakePart(2);
    ASSERT_NE(p2, nullptr);
    EXPECT_EQ(q->TakePart(2), nullptr);  // taken once
    EXPECT_EQ(p2->TakePart(1), nullptr); // only part 0 hands parts out
    EXPECT_EQ(p2->GetMaster(), q.get());
    EXPECT_EQ(q->GetPartRegion(2), p2.get());
    // Destroying a part unlinks it from the master.
    p2.reset();
    EXPECT_EQ(q->GetPartRegion(2), nullptr);
    EXPECT_EQ(q->GetPartGate(2), nullptr);
    // Destroying the master unlinks the parts that live on; the ones it still
    // held go with it.
    std::unique_ptr<CrQuadrant> p3 = q->TakePart(3);
    q.reset();
    EXPECT_EQ(p3->GetMaster(), nullptr);
    EXPECT_EQ(p3->GetPartRegion(0), nullptr);
    EXPECT_EQ(p3->GetPartRegion(3), p3.get());
    p3->SetGeometry(0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, nullptr);  // part 3: ignored, no crash
    p3->Changed(nullptr);
    EXPECT_TRUE(p3->Contains(0.9f, 0.1f));
}

TEST(Quadrant, CloneIsACompleteNewQuadrant) {
    CrQuadrant q(2, 3, 0.4f, 0.6f, 0.6f, 0.4f, 0.6f, 0.4f);
    auto p1 = q.TakePart(1);
    q.SetName("Q0");
    std::unique_ptr<CDataRgn> c = p1->Clone();
    auto* cq = dynamic_cast<CrQuadrant*>(c.get());
    ASSERT_NE(cq, nullptr);
    EXPECT_EQ(cq->GetPart(), 0);
    EXPECT_EQ(cq->GetXParam(), 2);
    EXPECT_EQ(cq->GetYParam(), 3);
    for (int k = 1; k < 4; ++k) ASSERT_NE(cq->GetPartRegion(k), nullptr);
    auto c1 = cq->TakePart(1);
    EXPECT_EQ(c1->GetMaster(), cq);
    RgnPoint centre;
    float a0, a1, a2, a3;
    c1->GetGeometry(&centre, &a0, &a1, &a2, &a3);
    EXPECT_EQ(centre, (RgnPoint{0.4f, 0.6f}));
    EXPECT_EQ(a1, 0.4f);
}

TEST(SegmentsCross, TouchingAndCrossing) {
    EXPECT_TRUE(RgnSegmentsCross({0, 0}, {1, 1}, {0, 1}, {1, 0}));
    EXPECT_FALSE(RgnSegmentsCross({0, 0}, {1, 0}, {0, 1}, {1, 1}));
    EXPECT_FALSE(RgnSegmentsCross({0, 0}, {1, 1}, {2, 0}, {3, 1}));
}

// ---- cross ----------------------------------------------------------------------

class CrossSizes : public RegionTest, public ::testing::WithParamInterface<int> {};

TEST_P(CrossSizes, FourBlocksWithoutOverflow) {
    const int n = GetParam();
    std::vector<Ev> evs;
    std::array<uint32_t, 4> expect{};
    for (int i = 0; i < n; ++i) {
        // Cycle through the four blocks, with every fifth event on a centre line.
        const int k = i % 5;
        Ev e = k == 0 ? F(0.75, 0.75) : k == 1 ? F(0.25, 0.75) : k == 2 ? F(0.25, 0.25)
             : k == 3 ? F(0.75, 0.25) : F(0.5, 0.875);
        evs.push_back(e);
        if (k < 4) ++expect[size_t(k)];
    }
    auto ds = MakeData(evs);
    CrCross c(0, 1, 0.5f, 0.5f);
    EventBitMask mask{uint32_t(n)};
    ASSERT_TRUE(c.HitTest({ds.get(), &lin, &lin, nullptr}, mask, nullptr));
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(c.GetBlockMask(k).GetBitCount(), uint32_t(n));
        EXPECT_EQ(c.GetBlockCount(k), expect[size_t(k)]) << "block " << k;
    }
    // The gate's own mask holds block 0.
    EXPECT_EQ(mask.CountSetBits(), expect[0]);
    for (int i = 0; i < n; ++i) EXPECT_EQ(mask.Test(uint32_t(i)), i % 5 == 0) << i;
    // Events of a block are exactly those of that corner.
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(c.GetBlockMask(k).Test(uint32_t(i)), i % 5 == k) << i << " " << k;
    // Into caller masks too.
    EventBitMask b0{uint32_t(n)}, b1{uint32_t(n)}, b2{uint32_t(n)}, b3{uint32_t(n)};
    ASSERT_TRUE(c.HitTestBlocks({ds.get(), &lin, &lin, nullptr}, {&b0, &b1, &b2, &b3}, nullptr));
    EXPECT_EQ(b2.CountSetBits(), expect[2]);
    EXPECT_EQ(c.GetBlockCount(4), 0u);
    EXPECT_EQ(c.GetBlockCount(-1), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CrossSizes, ::testing::Values(0, 1, 31, 32, 33, 64, 100));

TEST_F(RegionTest, CrossUnderAParent) {
    auto ds = MakeData({F(0.75, 0.75), F(0.75, 0.75), F(0.25, 0.25), F(0.25, 0.25)});
    EventBitMask parent(4);
    parent.Set(1);
    parent.Set(2);
    CrCross c(0, 1, 0.5f, 0.5f);
    EventBitMask mask(4);
    ASSERT_TRUE(c.HitTest({ds.get(), &lin, &lin, nullptr}, mask, &parent));
    EXPECT_EQ(SetBits(mask), (V{1}));
    EXPECT_EQ(SetBits(c.GetBlockMask(2)), (V{2}));
}

// ---- parents, bad input, caches -------------------------------------------------

TEST_F(RegionTest, OnlyParentEventsAreTested) {
    std::vector<Ev> evs(100, F(0.5, 0.5));
    auto ds = MakeData(evs);
    CrRect r(0, 1, {0.25f, 0.25f}, {0.75f, 0.75f});
    EventBitMask parent(100);
    for (uint32_t i : {0u, 31u, 32u, 63u, 64u, 99u}) parent.Set(i);
    EXPECT_EQ(Hits(r, *ds, &parent), (V{0, 31, 32, 63, 64, 99}));
    EventBitMask none(100);
    EXPECT_EQ(Hits(r, *ds, &none), V{});
    // Bits beyond the event count in the parent's last word are ignored.
    EventBitMask full(100);
    full.SetAll();
    EventBitMask mask(100);
    ASSERT_TRUE(r.HitTest({ds.get(), &lin, &lin, nullptr}, mask, &full));
    EXPECT_EQ(mask.CountSetBits(), 100u);
    EXPECT_EQ(mask.Words()[3] >> 4, 0u);
}

TEST_F(RegionTest, BadParametersAreRefusedBeforeReading) {
    auto ds = MakeData({F(0.5, 0.5), F(0.5, 0.5)});
    CrRect bigX(2, 1, {0, 0}, {1, 1}), bigY(0, 7, {0, 0}, {1, 1}), neg(-1, 0, {0, 0}, {1, 1});
    for (CDataRgn* r : std::initializer_list<CDataRgn*>{&bigX, &bigY, &neg}) {
        EventBitMask mask(2);
        mask.SetAll();
        EXPECT_FALSE(r->HitTest({ds.get(), &lin, &lin, nullptr}, mask, nullptr));
        EXPECT_EQ(mask.CountSetBits(), 0u);
        EXPECT_FALSE(r->FitsParamCount(2));
    }
    EXPECT_TRUE(CrRange(1, 50, 0, 1).FitsParamCount(2));
    CrRect ok(0, 1, {0, 0}, {1, 1});
    EventBitMask mask(2);
    EXPECT_FALSE(ok.HitTest({nullptr, &lin, &lin, nullptr}, mask, nullptr));
    EXPECT_FALSE(ok.HitTest({ds.get(), &lin, nullptr, nullptr}, mask, nullptr));
    CDataSet empty;
    EXPECT_FALSE(ok.HitTest({&empty, &lin, &lin, nullptr}, mask, nullptr));
    // A mask shorter than the data covers only its own events.
    EventBitMask one(1);
    EXPECT_TRUE(ok.HitTest({ds.get(), &lin, &lin, nullptr}, one, nullptr));
    EXPECT_EQ(one.CountSetBits(), 1u);
}

TEST_F(RegionTest, LogicleAxisClampsTheNegativeRange) {
    CLogical lgc(262144.0f, -10.0f, 4.5f);
    auto ds = MakeData({{-5.0, 0}, {-1.0, 0}, {0.0, 0}, {-50.0, 0}, {5e5, 0}});
    // -5 lies between r and S(0): its fraction is 0, so it is outside a
    // range that starts at 0 and inside one that reaches below.
    CrRange from0(0, 1, 0.0f, 0.5f), below(0, 1, -0.1f, 0.5f);
    EventBitMask m(5);
    ASSERT_TRUE(from0.HitTest({ds.get(), &lgc, nullptr, nullptr}, m, nullptr));
    EXPECT_EQ(SetBits(m), (V{1, 2}));
    ASSERT_TRUE(below.HitTest({ds.get(), &lgc, nullptr, nullptr}, m, nullptr));
    EXPECT_EQ(SetBits(m), (V{0, 1, 2, 3}));
}

TEST_F(RegionTest, CacheGivesIdenticalResultsAndIsReused) {
    std::mt19937 rng(3);
    std::normal_distribution<double> g(200.0, 300.0);
    std::vector<Ev> evs;
    for (int i = 0; i < 5000; ++i) evs.push_back({g(rng), g(rng)});
    auto ds = MakeData(evs);
    CLogical lgc(1024.0f, -10.0f, 3.0f);
    CrEllipse e(0, 1, {0.2f, 0.25f}, {0.8f, 0.7f});
    FractionCache cache;
    EventBitMask plain(5000), cached(5000), again(5000);
    ASSERT_TRUE(e.HitTest({ds.get(), &lgc, &lgc, nullptr}, plain, nullptr));
    ASSERT_TRUE(e.HitTest({ds.get(), &lgc, &lgc, &cache}, cached, nullptr));
    EXPECT_EQ(cache.ComputeCount(), 2u);
    ASSERT_TRUE(e.HitTest({ds.get(), &lgc, &lgc, &cache}, again, nullptr));
    EXPECT_EQ(cache.ComputeCount(), 2u);  // both columns reused
    EXPECT_GT(plain.CountSetBits(), 100u);
    EXPECT_EQ(SetBits(plain), SetBits(cached));
    EXPECT_EQ(SetBits(plain), SetBits(again));

    // A changed transform is seen.
    ASSERT_TRUE(lgc.SetNegativeRange(-100.0f));
    EventBitMask changed(5000), fresh(5000);
    ASSERT_TRUE(e.HitTest({ds.get(), &lgc, &lgc, &cache}, changed, nullptr));
    EXPECT_EQ(cache.ComputeCount(), 4u);
    ASSERT_TRUE(e.HitTest({ds.get(), &lgc, &lgc, nullptr}, fresh, nullptr));
    EXPECT_EQ(SetBits(changed), SetBits(fresh));

    // So is a compensation (the current columns change).
    CSpillMatrix spill(2);
    spill.SetIdentity();
    *spill.Element(0, 1) = 0.2f;
    ASSERT_TRUE(ds->Compensate(&spill));
    EventBitMask comp(5000), compFresh(5000);
    ASSERT_TRUE(e.HitTest({ds.get(), &lgc, &lgc, &cache}, comp, nullptr));
    EXPECT_EQ(cache.ComputeCount(), 6u);
    ASSERT_TRUE(e.HitTest({ds.get(), &lgc, &lgc, nullptr}, compFresh, nullptr));
    EXPECT_EQ(SetBits(comp), SetBits(compFresh));
    EXPECT_GT(cache.MemoryBytes(), 0u);
    cache.Clear();
    EXPECT_EQ(cache.MemoryBytes(), 0u);
}

TEST_F(RegionTest, CacheKeepsTwoTransformsOfOneParameterApart) {
    auto ds = MakeData({{100, 0}, {900, 0}});
    CTRANS wide(0.0f, 1000.0f), narrow(0.0f, 200.0f);
    // x and y read the same parameter through different transforms.
    CrRect r(0, 0, {0.05f, 0.9f}, {0.2f, 1.1f});
    FractionCache cache;
    EventBitMask m(2);
    ASSERT_TRUE(r.HitTest({ds.get(), &wide, &narrow, &cache}, m, nullptr));
    EXPECT_EQ(SetBits(m), (V{}));  // 100: x 0.1, y 0.5
    CrRect r2(0, 0, {0.05f, 0.4f}, {0.2f, 0.6f});
    ASSERT_TRUE(r2.HitTest({ds.get(), &wide, &narrow, &cache}, m, nullptr));
    EXPECT_EQ(SetBits(m), (V{0}));
}

TEST(FractionCacheTest, EdgeCases) {
    FractionCache cache;
    CEventMatrix empty;
    CTRANS t(0.0f, 1.0f);
    EXPECT_EQ(cache.Get(empty, 0, t), nullptr);
    EXPECT_EQ(cache.Get(empty, -1, t), nullptr);
    cache.Invalidate(3);
    cache.Invalidate(-1);
    EXPECT_EQ(cache.ComputeCount(), 0u);
}

// ---- listeners, clones ------------------------------------------------------

struct Listener : CDataRgnGPUser {
    int calls = 0;
    CDataRgn* leaveFrom = nullptr;
    Listener* other = nullptr;
    void RegionChanged() override {
        ++calls;
        if (leaveFrom && other) leaveFrom->RemoveUser(other);
    }
};

TEST(RegionListeners, ToldInOrderAndSurviveRemoval) {
    CrRect r(0, 1, {0, 0}, {1, 1});
    Listener a, b;
    r.AddUser(&a);
    r.AddUser(&a);  // once only
    r.AddUser(&b);
    EXPECT_EQ(r.GetUsers().size(), 2u);
    a.leaveFrom = &r;
    a.other = &b;  // a takes b out while being told
    r.SetGeometry({0.1f, 0.1f, 0.9f, 0.9f}, &a);
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 0);
    r.RemoveUser(&a);
    EXPECT_TRUE(r.GetUsers().empty());
}

TEST(RegionListeners, QuadrantLeavesOutTheSource) {
    // Listeners outlive the region: it tells them when it goes.
    Listener src, other, onPart;
    CrQuadrant q(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f);
    q.AddUser(&src);
    q.AddUser(&other);
    q.GetPartRegion(2)->AddUser(&onPart);
    q.SetGeometry(0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, &src);
    EXPECT_EQ(src.calls, 0);
    EXPECT_EQ(other.calls, 1);
    EXPECT_EQ(onPart.calls, 1);
}

TEST(RegionClone, SameShapeParametersAndGeometry) {
    CrRange range(3, 4, 0.1f, 0.6f);
    CrEllipse ell(1, 2, {0.2f, 0.3f}, {0.6f, 0.9f});
    CrPolygon poly(0, 1, {{0, 0}, {1, 0}, {0, 1}});
    CrCross cross(0, 1, 0.3f, 0.7f);
    ell.SetName("E");
    for (CDataRgn* r : std::initializer_list<CDataRgn*>{&range, &ell, &poly, &cross}) {
        auto c = r->Clone();
        EXPECT_EQ(c->GetType(), r->GetType());
        EXPECT_EQ(c->GetXParam(), r->GetXParam());
        EXPECT_EQ(c->GetYParam(), r->GetYParam());
        EXPECT_EQ(c->GetBox(), r->GetBox());
        EXPECT_EQ(c->GetName(), r->GetName());
        EXPECT_EQ(c->GetOwner(), nullptr);
        for (float x = 0.05f; x < 1.0f; x += 0.1f)
            for (float y = 0.05f; y < 1.0f; y += 0.1f) EXPECT_EQ(c->Contains(x, y), r->Contains(x, y));
    }
    auto ce = ell.Clone();
    EXPECT_EQ(static_cast<CrEllipse&>(*ce).GetA(), ell.GetA());
    EXPECT_EQ(range.GetType(), kRgnRange);
    EXPECT_EQ(cross.GetType(), kRgnCross);
}

}  // namespace

// ---- regions owned by gates of a shell ------------------------------------------

namespace {

// Linear axes by the shell's defaults: the names start with FS and SS.
CDataSet* ShellData(const std::vector<Ev>& events) {
    lmtest::FcsWriter w;
    w.Param("FSC-A", 32, "1024").Param("SSC-A", 32, "1024");
    for (const Ev& e : events) w.Event({e.x, e.y});
    return lmtest::LoadFcsBytes(w.Build()).release();  // the shell shares it
}

TEST(RegionInShell, GateRegionsReadTheShellTransforms) {
    VexaDataShell shell(ShellData({F(0.5, 0.5), F(0.1, 0.1), F(0.9, 0.9)}), "s");
    CGateNode* g = shell.AddRegionGate(
        std::make_unique<CrRect>(0, 1, RgnPoint{0.25f, 0.25f}, RgnPoint{0.75f, 0.75f}), 0, "");
    ASSERT_NE(g, nullptr);
    auto* rect = static_cast<CrRect*>(g->GetRegion());
    EXPECT_EQ(rect->GetOwner(), g);
    EXPECT_EQ(rect->GetXTrans(), shell.GetTrans(0));
    EXPECT_EQ(rect->GetYTrans(), shell.GetTrans(1));
    EXPECT_EQ(SetBits(g->GetMask()), (V{0}));
    CrRect loose(0, 1, {0, 0}, {1, 1});
    EXPECT_EQ(loose.GetXTrans(), nullptr);
}

}  // namespace

// ---- fast hit tests against the per-event test ----------------------------------

// Enough events for the hit test to be split over several threads; half of
// them on a 1/64 grid, where vertices, arms and centres also lie.
TEST_F(RegionTest, FastHitTestsMatchThePerEventTest) {
    constexpr uint32_t kEvents = 600'037;  // not a whole number of words
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> grid(-2, 66);  // a few clamped to 0 or 1
    std::uniform_real_distribution<double> any(0.0, 1.0);
    std::vector<Ev> evs(kEvents);
    for (uint32_t i = 0; i < kEvents; ++i)
        evs[i] = (i & 1) ? F(grid(rng) / 64.0, grid(rng) / 64.0) : F(any(rng), any(rng));
    auto ds = MakeData(evs);
    EventBitMask parent(kEvents);
    for (uint32_t i = 0; i < kEvents; ++i)
        if (rng() % 3) parent.Set(i);

    auto g = [](int x, int y) { return RgnPoint{x / 64.0f, y / 64.0f}; };
    std::vector<RgnPoint> star;
    for (int k = 0; k < 50; ++k) {
        const double t = 2.0 * M_PI * k / 50.0, r = (k % 2) ? 0.2 : 0.3;
        star.push_back({float(0.45 + r * std::cos(t)), float(0.5 + r * std::sin(t))});
    }
    std::vector<std::unique_ptr<CDataRgn>> regions;
    regions.push_back(std::make_unique<CrPolygon>(0, 1, std::vector{g(8, 8), g(56, 8), g(56, 56), g(8, 56)}));
    // Concave, with horizontal edges and vertices on the grid.
    regions.push_back(std::make_unique<CrPolygon>(
        0, 1, std::vector{g(4, 4), g(60, 4), g(60, 60), g(32, 20), g(32, 40), g(4, 60), g(16, 32)}));
    // Self-crossing bow tie and pentagram.
    regions.push_back(std::make_unique<CrPolygon>(0, 1, std::vector{g(8, 8), g(56, 56), g(56, 8), g(8, 56)}));
    regions.push_back(std::make_unique<CrPolygon>(
        0, 1, std::vector{g(32, 60), g(12, 4), g(62, 40), g(2, 40), g(52, 4)}));
    regions.push_back(std::make_unique<CrPolygon>(0, 1, star));
    auto tilted = std::make_unique<CrQuadrant>(0, 1, 0.45f, 0.55f, 0.7f, 0.3f, 0.4f, 0.65f);
    auto onGrid = std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.25f, 0.25f, 0.5f, 0.75f, 0.5f);
    // An arm that is not finite takes the side tests spelt out in full.
    auto infinite = std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, INFINITY, 0.5f, 0.5f, 0.5f);
    std::vector<std::unique_ptr<CrQuadrant>> parts;
    for (CrQuadrant* q : {tilted.get(), onGrid.get(), infinite.get()})
        for (int i = 1; i < 4; ++i) parts.push_back(q->TakePart(i));
    regions.push_back(std::move(tilted));
    regions.push_back(std::move(onGrid));
    regions.push_back(std::move(infinite));
    regions.push_back(std::make_unique<CrCross>(0, 1, 0.5f, 0.25f));

    std::vector<float> fx(kEvents), fy(kEvents);
    const CEventMatrix& m = *ds->GetEventMatrix();
    lin.ToFractions(m.GetColumn(0), kEvents, fx.data());
    lin.ToFractions(m.GetColumn(1), kEvents, fy.data());
    FractionCache cache;
    // Each region under no parent and a parent, without and with the cache
    // (whose columns let the quadrant parts share one walk); a quadrant once
    // more after its centre moved.
    const EventBitMask* parents[] = {nullptr, &parent};
    FractionCache* caches[] = {nullptr, &cache};
    for (const auto& owned : regions) {
        std::vector<CDataRgn*> tested{owned.get()};
        auto* q = dynamic_cast<CrQuadrant*>(owned.get());
        if (q) tested = {q->GetPartRegion(2), q->GetPartRegion(0), q->GetPartRegion(3), q->GetPartRegion(1)};
        for (int moved = 0; moved < (q ? 2 : 1); ++moved) {
            if (moved) q->SetGeometry(0.375f, 0.625f, 0.25f, 0.5f, 0.75f, 0.5f, nullptr);
            for (const EventBitMask* par : parents)
                for (FractionCache* c : caches)
                    for (CDataRgn* r : tested) {
                        EventBitMask mask(kEvents);
                        ASSERT_TRUE(r->HitTest({ds.get(), &lin, &lin, c}, mask, par));
                        for (uint32_t i = 0; i < kEvents; ++i)
                            ASSERT_EQ(mask.Test(i), (!par || par->Test(i)) && r->Contains(fx[i], fy[i]))
                                << "region " << (&owned - regions.data()) << " part " << r->GetType()
                                << " event " << i << " at " << fx[i] << "," << fy[i];
                        auto* cross = dynamic_cast<CrCross*>(r);
                        if (!cross) continue;
                        // Every block of the cross, kept and into caller masks.
                        std::array<EventBitMask, 4> own{EventBitMask(kEvents), EventBitMask(kEvents),
                                                        EventBitMask(kEvents), EventBitMask(kEvents)};
                        ASSERT_TRUE(cross->HitTestBlocks({ds.get(), &lin, &lin, c},
                                                         {&own[0], &own[1], &own[2], &own[3]}, par));
                        for (int k = 0; k < 4; ++k)
                            for (uint32_t i = 0; i < kEvents; ++i) {
                                const bool in = (!par || par->Test(i)) && cross->BlockOf(fx[i], fy[i]) == k;
                                ASSERT_EQ(cross->GetBlockMask(k).Test(i), in) << "block " << k << " event " << i;
                                ASSERT_EQ(own[size_t(k)].Test(i), in) << "block " << k << " event " << i;
                            }
                    }
        }
    }
}

// Quadrants whose centre and arms lie on a coarse grid, with events on the
// same grid: many events on a centre line, an arm or its end, where the
// per-part test and the one-walk classification must still agree.
TEST_F(RegionTest, QuadrantsOnAGridMatchThePerPartTest) {
    std::vector<Ev> evs;
    for (int i = 0; i <= 8; ++i)
        for (int j = 0; j <= 8; ++j) evs.push_back(F(i / 8.0, j / 8.0));
    auto ds = MakeData(evs);
    const uint32_t n = uint32_t(evs.size());
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> g(0, 8);
    for (int round = 0; round < 300; ++round) {
        const float geo[6] = {g(rng) / 8.0f, g(rng) / 8.0f, g(rng) / 8.0f, g(rng) / 8.0f, g(rng) / 8.0f, g(rng) / 8.0f};
        CrQuadrant q(0, 1, geo[0], geo[1], geo[2], geo[3], geo[4], geo[5]);
        std::unique_ptr<CrQuadrant> p1 = q.TakePart(1), p2 = q.TakePart(2), p3 = q.TakePart(3);
        for (int k = 0; k < 4; ++k) {
            CrQuadrant* part = q.GetPartRegion(k);
            EventBitMask mask(n);
            ASSERT_TRUE(part->HitTest({ds.get(), &lin, &lin, nullptr}, mask, nullptr));
            for (uint32_t i = 0; i < n; ++i)
                ASSERT_EQ(mask.Test(i), part->Contains(float(evs[i].x / 1024.0), float(evs[i].y / 1024.0)))
                    << "round " << round << " part " << k << " event " << i;
        }
    }
}
