// A whole gate tree evaluated by the shell (fraction cache filled only where
// parents allow, quadrant parts classified a block at a time) against the
// plain rule worked out event by event: every mask bit for bit, on hostile
// synthetic data and on the real files of the corpus, after each kind of
// edit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "tests/support/Corpus.h"
#include "tests/support/FcsWriter.h"

namespace {

// The mask a gate must have, from its inputs' expected masks and, for a
// region, ToFraction and Contains of each event.
std::vector<bool> Expected(VexaDataShell& s, const CGateNode* g, const std::vector<std::vector<bool>>& done) {
    const uint32_t n = uint32_t(s.GetTotalEvents());
    auto input = [&](size_t k) -> const std::vector<bool>& { return done[size_t(s.GetGateIndex(g->GetInputs()[k]))]; };
    std::vector<bool> m(n, false);
    switch (g->GetOperator()) {
        case kGateAll:
            m.assign(n, true);
            break;
        case kGateNot:
            for (uint32_t e = 0; e < n; ++e) m[e] = !input(0)[e];
            break;
        case kGateAnd:
        case kGateOr:
            m = input(0);
            for (size_t k = 1; k < g->GetInputs().size(); ++k)
                for (uint32_t e = 0; e < n; ++e) m[e] = g->GetOperator() == kGateAnd ? m[e] && input(k)[e] : m[e] || input(k)[e];
            break;
        default: {
            const CDataRgn* r = g->GetRegion();
            const CEventMatrix& em = *s.GetDataSet()->GetEventMatrix();
            const float* vx = em.GetColumn(r->GetXParam());
            const float* vy = em.GetColumn(r->GetYParam());
            const CTRANS* tx = s.GetTrans(r->GetXParam());
            const CTRANS* ty = s.GetTrans(r->GetYParam());
            for (uint32_t e = 0; e < n; ++e) {
                if (!input(0)[e]) continue;
                const float fy = r->UsesYParam() ? ty->ToFraction(vy[e]) : 0.0f;
                m[e] = r->Contains(tx->ToFraction(vx[e]), fy);
            }
        }
    }
    return m;
}

void ExpectTreeFollowsTheRule(VexaDataShell& s, const std::string& when) {
    std::vector<std::vector<bool>> done;
    for (int32_t i = 0; i < s.GetGateCount(); ++i) {
        const CGateNode* g = s.GetGate(i);
        done.push_back(Expected(s, g, done));
        const EventBitMask& mask = g->GetMask();
        ASSERT_EQ(mask.GetBitCount(), uint32_t(s.GetTotalEvents()));
        for (uint32_t e = 0; e < mask.GetBitCount(); ++e)
            ASSERT_EQ(mask.Test(e), done.back()[e])
                << when << ": gate " << g->GetDisplayName() << ", event " << e;
    }
}

struct Tree {
    CGateNode* rect = nullptr;
    CrQuadrant* quadrant = nullptr;
};

// Ten gates and more over the parameters 0..p-1 (taken modulo p): small
// gates under a large one, a quadrant under a small gate, logic on top.
Tree BuildTree(VexaDataShell& s) {
    const int32_t p = s.GetParamCount();
    auto at = [p](int32_t k) { return k % p; };
    Tree t;
    t.rect = s.AddRegionGate(std::make_unique<CrRect>(at(0), at(1), RgnPoint{0.1f, 0.05f}, RgnPoint{0.85f, 0.7f}), 0, "rect");
    const int32_t ri = s.GetGateIndex(t.rect);
    CGateNode* ell = s.AddRegionGate(
        std::make_unique<CrEllipse>(at(2), at(3), RgnPoint{0.15f, 0.2f}, RgnPoint{0.85f, 0.9f}), ri, "ellipse");
    CGateNode* poly = s.AddRegionGate(
        std::make_unique<CrPolygon>(at(4), at(5), std::vector<RgnPoint>{{0.1f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.9f}, {0.5f, 0.5f}, {0.2f, 0.8f}}),
        ri, "polygon");
    s.AddLogicGate(kGateAnd, {ell, poly}, "and");
    s.AddLogicGate(kGateOr, {ell, poly}, "or");
    s.AddNotGate(t.rect, "not");
    CGateNode* q = s.AddRegionGate(std::make_unique<CrQuadrant>(at(6), at(7), 0.5f, 0.5f, 0.52f, 0.48f, 0.5f, 0.47f),
                                   s.GetGateIndex(ell), "");
    t.quadrant = static_cast<CrQuadrant*>(q->GetRegion());
    s.AddRegionGate(std::make_unique<CrQuadrant>(at(1), at(6), 0.3f, 0.6f, 0.2f, 0.4f, 0.7f, 0.35f), 0, "");
    s.AddRegionGate(std::make_unique<CrRange>(at(3), at(3), 0.2f, 0.6f), s.GetGateIndex(poly), "range");
    s.AddRegionGate(std::make_unique<CrCross>(at(2), at(5), 0.4f, 0.45f), ri, "cross");
    return t;
}

// Logicle, log and linear axes over the parameters.
void MixedAxes(VexaDataShell& s) {
    for (int32_t i = 0; i < s.GetParamCount(); ++i) {
        const float top = std::max(s.GetParamRange(i), 2.0f);
        if (i % 3 == 0) s.SetTrans(std::make_unique<CTRANS>(0.0f, top), i);
        else if (i % 3 == 1) s.SetTrans(std::make_unique<CLogTRANS>(0.0f, std::log10(top)), i);
        else s.SetTrans(std::make_unique<CLogical>(std::min(top, 262144.0f), -10.0f, 4.5f), i);
    }
}

// Build, then every kind of edit the cache and the quadrant's shared walk
// must notice.
void RunTheEdits(VexaDataShell& s, const std::string& what) {
    MixedAxes(s);
    Tree t = BuildTree(s);
    ExpectTreeFollowsTheRule(s, what + ", built");
    static_cast<CrRect*>(t.rect->GetRegion())->SetGeometry({0.2f, 0.1f, 0.9f, 0.8f}, nullptr);
    ExpectTreeFollowsTheRule(s, what + ", rectangle moved");
    static_cast<CrRect*>(t.rect->GetRegion())->SetGeometry({0.05f, 0.0f, 0.5f, 0.95f}, nullptr);
    ExpectTreeFollowsTheRule(s, what + ", rectangle moved again");
    t.quadrant->SetGeometry(0.45f, 0.55f, 0.7f, 0.3f, 0.4f, 0.65f, nullptr);
    ExpectTreeFollowsTheRule(s, what + ", quadrant moved");
    const int32_t p = s.GetParamCount();
    s.SetTrans(std::make_unique<CLogical>(std::clamp(s.GetParamRange(2 % p), 2.0f, 262144.0f), -100.0f, 4.5f), 2 % p);
    ExpectTreeFollowsTheRule(s, what + ", new transform");
    if (s.GetFileMatrix() && s.GetParamCount() >= 2) {
        s.EditCompensation(kCompBeginEdit);
        s.SetCompValue(0, 1, 0.1f);
        s.EditCompensation(kCompApply);
        ExpectTreeFollowsTheRule(s, what + ", compensation");
    }
}

// Hostile values in every parameter: NaN, infinities, signed zeros,
// denormals, the float extremes, negatives and values at the regions' edges
// on each axis; a ragged event count.
std::vector<uint8_t> HostileFile(uint32_t events) {
    constexpr int kParams = 8;
    lmtest::FcsWriter w;
    for (int i = 0; i < kParams; ++i) w.Param("P" + std::to_string(i), 32, "262144");
    w.Set("SPILL", "2,P0,P1,1,0.02,0.03,1");
    const float edges[] = {0.05f, 0.1f, 0.15f, 0.2f, 0.3f, 0.35f, 0.4f, 0.45f, 0.47f, 0.48f, 0.5f, 0.52f,
                           0.6f, 0.7f, 0.8f, 0.85f, 0.9f, 0.95f};
    const CTRANS lin(0.0f, 262144.0f);
    const CLogTRANS log(0.0f, std::log10(262144.0f));
    const CLogical lgc(262144.0f, -10.0f, 4.5f);
    std::vector<double> special = {NAN, INFINITY, -INFINITY, 0.0, -0.0, 1e-45, -1e-45, FLT_MAX, -FLT_MAX, -5.0, 262144.0};
    for (float f : edges)
        for (const CTRANS* t : {static_cast<const CTRANS*>(&lin), static_cast<const CTRANS*>(&log),
                                static_cast<const CTRANS*>(&lgc)}) {
            const float v = t->ToValue(f);
            special.insert(special.end(), {v, std::nextafter(v, INFINITY), std::nextafter(v, -INFINITY)});
        }
    std::mt19937 rng(21);
    std::lognormal_distribution<double> spread(7.0, 2.5);
    for (uint32_t e = 0; e < events; ++e) {
        std::vector<double> ev(kParams);
        for (double& v : ev) v = (rng() % 5 == 0) ? special[rng() % special.size()] : spread(rng);
        w.Event(ev);
    }
    return w.Build();
}

TEST(GateTree, MasksFollowThePlainRuleOnHostileData) {
    for (uint32_t events : {1u, 33u, 70001u}) {
        VexaDataShell s(lmtest::LoadFcsBytes(HostileFile(events)).release(), "hostile");
        ASSERT_EQ(s.GetTotalEvents(), int32_t(events));
        RunTheEdits(s, std::to_string(events) + " hostile events");
        if (HasFatalFailure()) return;
    }
}

TEST(GateTree, MasksFollowThePlainRuleOnTheCorpus) {
    std::string why;
    const std::string dir = lmtest::CorpusDir(&why);
    if (dir.empty()) GTEST_SKIP() << "SKIPPED: " << why;
    int tested = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".fcs" && ext != ".lmd") continue;
        VexaDataShell s(entry.path().string(), 0, "corpus", true);
        if (s.GetTotalEvents() <= 0 || s.GetParamCount() < 2) continue;
        RunTheEdits(s, entry.path().filename().string());
        if (HasFatalFailure()) return;
        ++tested;
    }
    EXPECT_GE(tested, 8);
}

}  // namespace

namespace {

// A linear axis that passes for a log axis, so that hit tests take their
// filter on x with fractions that fall exactly on a grid (and on the edges).
class LinearAsLog : public CTRANS {
public:
    using CTRANS::CTRANS;
    int32_t GetType() const override { return kTransLog; }
};

// Shapes whose hit test converts y only where x may be inside, on events of
// a grid that meets their edges, with and without a parent and a cache: the
// same bits as the per-event test, and y converted only for the events whose
// x passed.
TEST(GateTree, XFirstShapesFollowThePerEventTest) {
    constexpr uint32_t kEvents = 40'003;
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> grid(-2, 66);
    lmtest::FcsWriter w;
    w.Param("FL1-H", 32, "1024").Param("FL2-H", 32, "1024");
    for (uint32_t i = 0; i < kEvents; ++i) {
        if (i % 97 == 0) w.Event({NAN, 512.0});
        else w.Event({grid(rng) * 16.0, grid(rng) * 16.0});
    }
    auto ds = lmtest::LoadFcsBytes(w.Build());
    const CEventMatrix& m = *ds->GetEventMatrix();
    // On a linear axis y is cheap: the filter is left out there.
    const CTRANS lin(0.0f, 1024.0f);
    const CLogTRANS log(0.0f, std::log10(1024.0f));
    const LinearAsLog linAsLog(0.0f, 1024.0f);
    auto g = [](int x, int y) { return RgnPoint{x / 64.0f, y / 64.0f}; };
    std::vector<std::unique_ptr<CDataRgn>> shapes;
    shapes.push_back(std::make_unique<CrRect>(0, 1, g(8, 8), g(24, 56)));
    shapes.push_back(std::make_unique<CrRect>(0, 1, g(16, 8), g(16, 56)));  // no width: nothing
    shapes.push_back(std::make_unique<CrEllipse>(0, 1, g(8, 8), g(40, 56)));
    shapes.push_back(std::make_unique<CrEllipse>(0, 1, g(32, 8), g(32, 56)));  // a segment along y
    shapes.push_back(std::make_unique<CrEllipse>(0, 1, g(8, 32), g(56, 32)));  // a segment along x
    shapes.push_back(std::make_unique<CrPolygon>(0, 1, std::vector{g(4, 4), g(30, 10), g(20, 60), g(8, 30)}));
    shapes.push_back(std::make_unique<CrPolygon>(0, 1, std::vector{g(4, 4), g(30, 10)}));  // no area
    shapes.push_back(std::make_unique<CrPolygon>(0, 1, std::vector{g(4, 4), RgnPoint{NAN, 0.5f}, g(20, 60)}));
    EventBitMask parent(kEvents);
    for (uint32_t i = 0; i < kEvents; ++i)
        if (rng() % 8 == 0) parent.Set(i);
    const EventBitMask* parents[] = {nullptr, &parent};
    for (const CTRANS* t : {static_cast<const CTRANS*>(&lin), static_cast<const CTRANS*>(&log),
                            static_cast<const CTRANS*>(&linAsLog)})
        for (const auto& shape : shapes)
            for (const EventBitMask* par : parents)
                for (bool withCache : {false, true}) {
                    FractionCache cache;
                    EventBitMask mask(kEvents);
                    ASSERT_TRUE(shape->HitTest({ds.get(), t, t, withCache ? &cache : nullptr}, mask, par));
                    for (uint32_t i = 0; i < kEvents; ++i) {
                        const bool in = (!par || par->Test(i)) &&
                                        shape->Contains(t->ToFraction(m.GetColumn(0)[i]), t->ToFraction(m.GetColumn(1)[i]));
                        ASSERT_EQ(mask.Test(i), in) << "shape " << (&shape - shapes.data()) << " event " << i;
                    }
                    // Under a small parent x is held for its events only, y for
                    // fewer still.
                    if (withCache && par && t != &lin) {
                        EXPECT_EQ(cache.HeldCount(0), parent.CountSetBits());
                        EXPECT_LT(cache.HeldCount(1), cache.HeldCount(0)) << "shape " << (&shape - shapes.data());
                    }
                }
}

}  // namespace

namespace {

// The four part gates share one walk over the events, each taking its
// result once; a part gate evaluated again on its own (and then all four)
// still gets its events.
TEST(GateTree, QuadrantPartsEvaluatedAloneKeepTheirEvents) {
    VexaDataShell s(lmtest::LoadFcsBytes(HostileFile(5000)).release(), "parts");
    MixedAxes(s);
    CGateNode* first = s.AddRegionGate(std::make_unique<CrQuadrant>(2, 3, 0.5f, 0.45f, 0.55f, 0.4f, 0.5f, 0.6f), 0, "");
    auto* q = static_cast<CrQuadrant*>(first->GetRegion());
    std::vector<uint32_t> counts;
    for (int k = 0; k < 4; ++k) counts.push_back(q->GetPartGate(k)->GetMask().CountSetBits());
    EXPECT_GT(counts[0] + counts[1] + counts[2] + counts[3], 0u);
    for (int k : {2, 2, 0, 3, 1}) {
        q->GetPartGate(k)->Evaluate(false);
        EXPECT_EQ(q->GetPartGate(k)->GetMask().CountSetBits(), counts[size_t(k)]) << "part " << k;
    }
    ExpectTreeFollowsTheRule(s, "parts alone");
    q->SetGeometry(0.5f, 0.45f, 0.55f, 0.4f, 0.5f, 0.6f, nullptr);  // the same: all four again
    ExpectTreeFollowsTheRule(s, "all four again");
}

}  // namespace
