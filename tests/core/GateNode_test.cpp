// Gate algebra on synthetic data with known membership.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/ErrorCodes.h"
#include "core/Trans.h"
#include "tests/core/ShellTestUtil.h"

using namespace shelltest;

namespace {

// Events spread over the plane; +0.5 keeps every value off the region
// borders used below.
std::vector<std::pair<double, double>> Spread(int n) {
    std::vector<std::pair<double, double>> ev;
    for (int i = 0; i < n; ++i) ev.push_back({double((i * 37) % 1000) + 0.5, double((i * 91) % 1000) + 0.5});
    return ev;
}

struct Fixture {
    explicit Fixture(int n) : events(Spread(n)), shell(MakeXY(events), "s") {}
    // Membership computed here from the values, independent of the gate code.
    std::vector<bool> InRect(float x0, float y0, float x1, float y1) {
        std::vector<bool> in;
        CTRANS* tx = shell.GetTrans(0);
        CTRANS* ty = shell.GetTrans(1);
        for (auto& e : events) {
            const float fx = tx->ToFraction(float(e.first));
            const float fy = ty->ToFraction(float(e.second));
            in.push_back(x0 < fx && fx < x1 && y0 < fy && fy < y1);
        }
        return in;
    }
    std::vector<std::pair<double, double>> events;
    VexaDataShell shell;
};

std::vector<int> Indices(const std::vector<bool>& v) {
    std::vector<int> out;
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i]) out.push_back(int(i));
    return out;
}

}  // namespace

TEST(GateNode, RootSelectsEveryEventAndHasPaletteColour) {
    Fixture f(100);
    CGateNode* root = f.shell.GetGate(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), "All");
    EXPECT_EQ(root->GetOperator(), kGateAll);
    EXPECT_EQ(root->GetId(), 0);
    EXPECT_EQ(root->GetColor(), GateColorPalette()[0]);
    EXPECT_EQ(root->GetMask().GetBitCount(), 100u);
    EXPECT_EQ(root->GetMask().CountSetBits(), 100u);
}

TEST(GateNode, AndOrNotChainsMatchMembershipComputedFromValues) {
    Fixture f(500);
    CGateNode* a = f.shell.AddRegionGate(Rect(0.1f, 0.1f, 0.6f, 0.7f), 0, "");
    CGateNode* b = f.shell.AddRegionGate(Rect(0.4f, 0.3f, 0.9f, 0.95f), 0, "");
    ASSERT_TRUE(a && b);
    const auto ia = f.InRect(0.1f, 0.1f, 0.6f, 0.7f);
    const auto ib = f.InRect(0.4f, 0.3f, 0.9f, 0.95f);
    EXPECT_EQ(Members(a), Indices(ia));

    CGateNode* andAB = f.shell.AddLogicGate(kGateAnd, {a, b}, "");
    CGateNode* orAB = f.shell.AddLogicGate(kGateOr, {a, b}, "");
    CGateNode* notA = f.shell.AddNotGate(a, "");
    CGateNode* chain = f.shell.AddLogicGate(kGateAnd, {notA, orAB}, "");  // B without A
    CGateNode* notChain = f.shell.AddNotGateAt(f.shell.GetGateIndex(chain), "");
    ASSERT_TRUE(andAB && orAB && notA && chain && notChain);

    std::vector<bool> eAnd, eOr, eNot, eChain, eNotChain;
    for (size_t i = 0; i < ia.size(); ++i) {
        eAnd.push_back(ia[i] && ib[i]);
        eOr.push_back(ia[i] || ib[i]);
        eNot.push_back(!ia[i]);
        eChain.push_back(!ia[i] && ib[i]);
        eNotChain.push_back(!(!ia[i] && ib[i]));
    }
    EXPECT_EQ(Members(andAB), Indices(eAnd));
    EXPECT_EQ(Members(orAB), Indices(eOr));
    EXPECT_EQ(Members(notA), Indices(eNot));
    EXPECT_EQ(Members(chain), Indices(eChain));
    EXPECT_EQ(Members(notChain), Indices(eNotChain));
    EXPECT_TRUE(andAB->GetErrors().empty());
    EXPECT_FALSE(Indices(eAnd).empty());
    EXPECT_FALSE(Indices(eChain).empty());
}

TEST(GateNode, RegionUnderAGateTestsOnlyItsEvents) {
    Fixture f(400);
    CGateNode* a = f.shell.AddRegionGate(Rect(0.0f, 0.0f, 0.5f, 1.0f), 0, "A");
    CGateNode* b = f.shell.AddRegionGate(Rect(0.3f, 0.0f, 1.0f, 1.0f), f.shell.GetGateIndex(a), "B");
    const auto ia = f.InRect(0.0f, 0.0f, 0.5f, 1.0f);
    const auto ib = f.InRect(0.3f, 0.0f, 1.0f, 1.0f);
    std::vector<bool> both;
    for (size_t i = 0; i < ia.size(); ++i) both.push_back(ia[i] && ib[i]);
    EXPECT_EQ(Members(b), Indices(both));
    // A gate under an empty gate selects nothing.
    CGateNode* none = f.shell.AddRegionGate(Rect(0.99f, 0.99f, 1.0f, 1.0f), 0, "none");
    ASSERT_EQ(none->GetMask().CountSetBits(), 0u);
    CGateNode* under = f.shell.AddRegionGate(Rect(0.0f, 0.0f, 1.0f, 1.0f), f.shell.GetGateIndex(none), "");
    EXPECT_EQ(under->GetMask().CountSetBits(), 0u);
}

// Invert flips the unused bits of the last word too; nothing may count or
// read them.
class NotAtWordEdge : public ::testing::TestWithParam<int> {};

TEST_P(NotAtWordEdge, NotOfEverythingIsEmptyAndNotOfNothingIsEverything) {
    const int n = GetParam();
    Fixture f(n);
    CGateNode* notAll = f.shell.AddNotGateAt(0, "");
    ASSERT_NE(notAll, nullptr);
    EXPECT_EQ(notAll->GetMask().GetBitCount(), uint32_t(n));
    EXPECT_EQ(notAll->GetMask().CountSetBits(), 0u);
    EXPECT_EQ(notAll->GetStatItem()->GetEventCount(), 0);
    // Statistics walk the words: a stray padding bit would read past the data.
    EXPECT_EQ(notAll->GetStatItem()->GetMean(0), 0.0);
    CGateNode* back = f.shell.AddNotGate(notAll, "");
    EXPECT_EQ(back->GetMask().CountSetBits(), uint32_t(n));
    const uint32_t lastWord = back->GetMask().Words()[back->GetMask().GetWordCount() - 1];
    const uint32_t rest = uint32_t(n) & 31u;
    EXPECT_EQ(lastWord & ~((rest ? (1u << rest) : 1u) - 1u), 0u) << "bits past the last event are set";
    double sum = 0.0;
    for (auto& e : f.events) sum += float(e.first);
    EXPECT_NEAR(back->GetStatItem()->GetMean(0), sum / n, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Sizes, NotAtWordEdge, ::testing::Values(31, 32, 33, 64, 65));

TEST(GateNode, AndOfOneInputRecordsErrorAndKeepsThatInput) {
    Fixture f(200);
    CGateNode* a = f.shell.AddRegionGate(Rect(0.2f, 0.2f, 0.8f, 0.8f), 0, "");
    CGateNode* and1 = f.shell.AddLogicGate(kGateAnd, {a}, "");
    ASSERT_NE(and1, nullptr);
    EXPECT_EQ(and1->GetErrors(), std::vector<int32_t>{kErrGateTooFewInputs});
    EXPECT_EQ(Members(and1), Members(a));
}

TEST(GateNode, GatesWithoutUsableInputsAreEmptyWithAnErrorCode) {
    Fixture f(100);
    Fixture g(100);
    CGateNode* foreign = g.shell.GetGate(0);

    // No inputs at all.
    CGateNode* orNone = f.shell.AddLogicGate(kGateOr, {}, "");
    ASSERT_NE(orNone, nullptr);
    EXPECT_EQ(orNone->GetMask().GetBitCount(), 100u);
    EXPECT_EQ(orNone->GetMask().CountSetBits(), 0u);
    EXPECT_NE(std::count(orNone->GetErrors().begin(), orNone->GetErrors().end(), kErrGateTooFewInputs), 0);

    auto notNone = std::make_unique<CGateNode>(&f.shell, kGateNot, std::vector<CGateNode*>{}, "n");
    EXPECT_EQ(notNone->GetMask().CountSetBits(), 0u);
    EXPECT_EQ(notNone->GetMask().GetBitCount(), 100u);
    EXPECT_FALSE(notNone->GetErrors().empty());

    // A region gate without its parent.
    auto orphan = std::make_unique<CGateNode>(&f.shell, Rect(0, 0, 1, 1), nullptr, "orphan");
    EXPECT_EQ(orphan->GetMask().GetBitCount(), 100u);
    EXPECT_EQ(orphan->GetMask().CountSetBits(), 0u);
    EXPECT_EQ(orphan->GetErrors(), std::vector<int32_t>{kErrGateTooFewInputs});

    // NOT of another shell's gate, AND whose first input is another shell's.
    auto notForeign = std::make_unique<CGateNode>(&f.shell, foreign, "nf");
    EXPECT_EQ(notForeign->GetMask().GetBitCount(), 100u);
    EXPECT_EQ(notForeign->GetMask().CountSetBits(), 0u);
    EXPECT_EQ(notForeign->GetErrors(), std::vector<int32_t>{kErrGateForeignInput});

    auto andForeign = std::make_unique<CGateNode>(&f.shell, kGateAnd,
                                                  std::vector<CGateNode*>{foreign, f.shell.GetGate(0)}, "af");
    EXPECT_EQ(andForeign->GetMask().CountSetBits(), 0u);
    EXPECT_EQ(andForeign->GetErrors(), std::vector<int32_t>{kErrGateForeignInput});

    // A foreign input after the first is skipped.
    CGateNode* a = f.shell.AddRegionGate(Rect(0.2f, 0.2f, 0.8f, 0.8f), 0, "");
    auto orSkip = std::make_unique<CGateNode>(&f.shell, kGateOr, std::vector<CGateNode*>{a, foreign}, "os");
    EXPECT_EQ(Members(orSkip.get()), Members(a));
    EXPECT_EQ(orSkip->GetErrors(), std::vector<int32_t>{kErrGateForeignInput});

    // The shell's own operations refuse such inputs outright.
    EXPECT_EQ(f.shell.AddNotGate(foreign, ""), nullptr);
    EXPECT_EQ(f.shell.AddLogicGate(kGateAnd, {foreign, a}, ""), nullptr);
    EXPECT_EQ(f.shell.AddLogicGate(kGateAnd, {a, nullptr}, ""), nullptr);
    // Re-evaluation does not pile up copies of the same code.
    orSkip->Evaluate(false);
    orSkip->Evaluate(false);
    EXPECT_EQ(orSkip->GetErrors().size(), 1u);
}

TEST(GateNode, NotWithSeveralInputsOrARegionRecordsItsCodes) {
    Fixture f(64);
    CGateNode* a = f.shell.AddRegionGate(Rect(0.0f, 0.0f, 0.5f, 1.0f), 0, "");
    CGateNode* b = f.shell.AddRegionGate(Rect(0.5f, 0.0f, 1.0f, 1.0f), 0, "");
    auto notTwo = std::make_unique<CGateNode>(&f.shell, kGateNot, std::vector<CGateNode*>{a, b}, "n2");
    EXPECT_EQ(notTwo->GetErrors(), std::vector<int32_t>{kErrGateNotManyInputs});
    std::vector<int> expect;
    const auto ma = Members(a);
    for (int e = 0; e < 64; ++e)
        if (!std::binary_search(ma.begin(), ma.end(), e)) expect.push_back(e);
    EXPECT_EQ(Members(notTwo.get()), expect);
}

TEST(GateNode, DuplicateInputsAreRefused) {
    Fixture f(50);
    CGateNode* a = f.shell.AddRegionGate(Rect(0.1f, 0.1f, 0.9f, 0.9f), 0, "");
    const int before = f.shell.GetGateCount();
    EXPECT_EQ(f.shell.AddLogicGate(kGateAnd, {a, a}, ""), nullptr);
    EXPECT_EQ(f.shell.GetGateCount(), before);
    EXPECT_EQ(a->GetChildren().size(), 0u);
    // A node built directly links each input once.
    auto node = std::make_unique<CGateNode>(&f.shell, kGateOr, std::vector<CGateNode*>{a, a, a}, "x");
    EXPECT_EQ(node->GetInputs().size(), 1u);
    EXPECT_EQ(a->GetChildren().size(), 1u);
    // Linking says whether every input was taken: a repeat, the node itself
    // or null is refused, whichever place it has in the list.
    CGateNode* b = f.shell.AddRegionGate(Rect(0.2f, 0.2f, 0.8f, 0.8f), 0, "");
    EXPECT_FALSE(node->LinkInputs({b, a}));
    EXPECT_EQ(node->GetInputs().size(), 2u);  // b was taken
    EXPECT_FALSE(node->LinkInputs({node.get()}));
    EXPECT_FALSE(node->LinkInputs({nullptr}));
    node.reset();
    EXPECT_TRUE(a->GetChildren().empty());
    EXPECT_TRUE(b->GetChildren().empty());
}

TEST(GateNode, DiamondOfDependantsIsDeletedOnceInReverseGateOrder) {
    Fixture f(300);
    std::vector<std::string> log;
    LogUser user(&log, "u", &f.shell);
    CGateNode* a = f.shell.AddRegionGate(Rect(0.1f, 0.1f, 0.9f, 0.9f), 0, "A");
    const int ia = f.shell.GetGateIndex(a);
    CGateNode* b = f.shell.AddRegionGate(Rect(0.0f, 0.0f, 0.6f, 1.0f), ia, "B");
    CGateNode* c = f.shell.AddRegionGate(Rect(0.4f, 0.0f, 1.0f, 1.0f), ia, "C");
    CGateNode* d = f.shell.AddLogicGate(kGateAnd, {b, c}, "D");
    CGateNode* e = f.shell.AddLogicGate(kGateOr, {a, d, b}, "E");  // reaches D's inputs twice more
    f.shell.AddNotGate(e, "F");
    CGateNode* other = f.shell.AddRegionGate(Rect(0.0f, 0.0f, 0.2f, 0.2f), 0, "other");
    CountingGateUser watcher(d);
    ASSERT_EQ(f.shell.GetGateCount(), 8);
    log.clear();

    f.shell.RemoveGate(a, true);

    EXPECT_EQ(f.shell.GetGateCount(), 2);
    EXPECT_EQ(f.shell.GetGate(1), other);
    std::vector<std::string> expect = {"u:removing F", "u:removing E", "u:removing D", "u:removing C",
                                       "u:removing B", "u:removing A", "u:data"};
    EXPECT_EQ(log, expect);
    EXPECT_EQ(watcher.GetGate(), nullptr);
    EXPECT_EQ(watcher.GetShell(), nullptr);
    EXPECT_EQ(f.shell.GetRegionCount(), 1);
    EXPECT_EQ(f.shell.GetRegion(0), other->GetRegion());
    EXPECT_TRUE(f.shell.GetGate(0)->GetChildren().size() == 1u);
}

TEST(GateNode, RemovingTheRootOrAForeignGateDoesNothing) {
    Fixture f(10);
    Fixture g(10);
    CGateNode* a = g.shell.AddRegionGate(Rect(0, 0, 1, 1), 0, "");
    f.shell.RemoveGate(f.shell.GetGate(0), true);
    f.shell.RemoveGate(a, true);
    f.shell.RemoveGate(nullptr, true);
    EXPECT_EQ(f.shell.GetGateCount(), 1);
    EXPECT_EQ(g.shell.GetGateCount(), 2);
}

TEST(GateNode, IdsAreReusedLowestFirstAndNamesFollowThem) {
    Fixture f(20);
    CGateNode* g1 = f.shell.AddRegionGate(Rect(0, 0, 0.5f, 0.5f), 0, "");
    CGateNode* g2 = f.shell.AddRegionGate(Rect(0.5f, 0.5f, 1, 1), 0, "");
    EXPECT_EQ(g1->GetName(), "G1");
    EXPECT_EQ(g2->GetName(), "G2");
    EXPECT_EQ(g1->GetId(), 1);
    f.shell.RemoveGate(g1, false);
    CGateNode* again = f.shell.AddNotGateAt(0, "");
    EXPECT_EQ(again->GetName(), "G1");
    CGateNode* next = f.shell.AddNotGateAt(0, "");
    EXPECT_EQ(next->GetName(), "G3");
    // Named gates still take an id.
    CGateNode* named = f.shell.AddNotGateAt(0, "mine");
    EXPECT_EQ(named->GetName(), "mine");
    EXPECT_EQ(named->GetId(), 4);
    // Colours by id: 7 wraps to 1 (red).
    EXPECT_EQ(GetDefaultGateColor(7), GetDefaultGateColor(1));
    EXPECT_EQ(GetDefaultGateColor(1), COLORREF(0x0000FF));
    EXPECT_EQ(GetDefaultGateColor(-1), GetDefaultGateColor(5));
    EXPECT_EQ(g2->GetColor(), GetDefaultGateColor(2));
}

TEST(GateNode, QuadrantMakesFourGatesThatShareIdAndNameAndCoverTheParent) {
    Fixture f(1000);
    CGateNode* parent = f.shell.AddRegionGate(Rect(0.05f, 0.05f, 0.95f, 0.95f), 0, "P");
    // Arms chosen so that no event of the spread lies on one.
    auto quad = std::make_unique<CrQuadrant>(0, 1, 0.4003f, 0.6007f, 0.6007f, 0.4003f, 0.6007f, 0.4003f);
    CGateNode* q0 = f.shell.AddRegionGate(std::move(quad), f.shell.GetGateIndex(parent), "");
    ASSERT_NE(q0, nullptr);
    ASSERT_EQ(f.shell.GetGateCount(), 6);
    const char* suffix[4] = {"Q0-UR", "Q0-UL", "Q0-LL", "Q0-LR"};
    uint32_t sum = 0;
    for (int i = 0; i < 4; ++i) {
        CGateNode* part = f.shell.GetGate(2 + i);
        EXPECT_EQ(part->GetId(), 0);
        EXPECT_EQ(part->GetName(), "Q0");
        EXPECT_EQ(part->GetQuadrantPart(), i);
        EXPECT_EQ(part->GetDisplayName(true), suffix[i]);
        EXPECT_EQ(part->GetDisplayName(false), "Q0");
        EXPECT_EQ(part->GetColor(), parent->GetColor());
        sum += part->GetMask().CountSetBits();
        EXPECT_GT(part->GetMask().CountSetBits(), 0u);
    }
    EXPECT_EQ(sum, parent->GetMask().CountSetBits());
    // The quadrant is one region in the region list.
    EXPECT_EQ(f.shell.GetRegionCount(), 2);
    // Its id does not come from the gate pool.
    EXPECT_EQ(f.shell.AddNotGateAt(0, "")->GetName(), "G2");
    // New arms through part 0 re-evaluate all four gates.
    auto* q = static_cast<CrQuadrant*>(q0->GetRegion());
    q->SetGeometry(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, nullptr);
    EXPECT_EQ(Members(q->GetPartGate(0)), Indices(f.InRect(0.5f, 0.5f, 0.95f, 0.95f)));
    EXPECT_EQ(Members(q->GetPartGate(2)), Indices(f.InRect(0.05f, 0.05f, 0.5f, 0.5f)));

    // Removing any part removes all four; quadrant ids are never reused.
    f.shell.RemoveGate(f.shell.GetGate(4), true);
    EXPECT_EQ(f.shell.GetGateCount(), 3);
    auto quad2 = std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f);
    CGateNode* q1 = f.shell.AddRegionGate(std::move(quad2), 0, "");
    EXPECT_EQ(q1->GetName(), "Q1");
    EXPECT_EQ(f.shell.GetGate(f.shell.GetGateCount() - 1)->GetDisplayName(), "Q1-LR");
}

TEST(GateNode, RegionEditReevaluatesDependantsInGateOrderAndTellsUsers) {
    Fixture f(500);
    std::vector<std::string> log;
    LogUser shellUser(&log, "s", &f.shell);
    auto* rect = new CrRect(0, 1, RgnPoint{0.1f, 0.1f}, RgnPoint{0.5f, 0.5f});
    CGateNode* a = f.shell.AddRegionGate(std::unique_ptr<CDataRgn>(rect), 0, "A");
    CGateNode* notA = f.shell.AddNotGate(a, "");
    CGateNode* b = f.shell.AddRegionGate(Rect(0.0f, 0.0f, 1.0f, 0.7f), f.shell.GetGateIndex(a), "B");
    CGateNode* both = f.shell.AddLogicGate(kGateOr, {b, notA}, "");
    CGateNode* unrelated = f.shell.AddRegionGate(Rect(0.6f, 0.6f, 0.9f, 0.9f), 0, "U");
    CountingGateUser wa(a), wboth(both), wun(unrelated);
    CountingStatUser statBoth(both->GetStatItem());
    log.clear();

    rect->SetGeometry({0.2f, 0.0f, 0.9f, 0.8f}, nullptr);

    const auto ia = f.InRect(0.2f, 0.0f, 0.9f, 0.8f);
    const auto ib = f.InRect(0.0f, 0.0f, 1.0f, 0.7f);
    std::vector<bool> eBoth;
    for (size_t i = 0; i < ia.size(); ++i) eBoth.push_back((ia[i] && ib[i]) || !ia[i]);
    EXPECT_EQ(Members(a), Indices(ia));
    EXPECT_EQ(Members(both), Indices(eBoth));
    EXPECT_EQ(wa.order, "CU");
    EXPECT_EQ(wboth.order, "CU");
    EXPECT_EQ(wun.order, "");
    EXPECT_EQ(statBoth.changed, 1);
    EXPECT_EQ(log, std::vector<std::string>{"s:data"});
}

TEST(GateNode, RenameAndColourTellTheUsers) {
    Fixture f(10);
    CGateNode* a = f.shell.AddRegionGate(Rect(0, 0, 1, 1), 0, "");
    CountingGateUser w(a);
    CountingStatUser s(a->GetStatItem());
    a->SetName("CD4");
    EXPECT_EQ(a->GetName(), "CD4");
    EXPECT_EQ(a->GetRegion()->GetName(), "CD4");
    EXPECT_EQ(w.renamed, 1);
    EXPECT_EQ(s.changed, 1);
    a->SetColor(0x123456);
    EXPECT_EQ(w.colored, 1);
    EXPECT_EQ(w.lastColor, COLORREF(0x123456));
    EXPECT_EQ(a->GetColor(), COLORREF(0x123456));
}

TEST(GateNode, CrossShellDependantGoesWithItsInput) {
    auto f = std::make_unique<Fixture>(40);
    Fixture g(40);
    CGateNode* a = f->shell.AddRegionGate(Rect(0, 0, 0.5f, 1), 0, "");
    // A reader of stored gates may link across shells; the gate is empty and
    // flagged, and goes away with its input.
    CGateNode* node = g.shell.AddGate(
        std::make_unique<CGateNode>(&g.shell, kGateOr, std::vector<CGateNode*>{a, g.shell.GetGate(0)}, "x"));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetMask().CountSetBits(), 0u);
    EXPECT_EQ(g.shell.GetGateCount(), 2);
    f.reset();
    EXPECT_EQ(g.shell.GetGateCount(), 1);
}

TEST(GateNode, EventIteratorWalksTheGatedEvents) {
    Fixture f(70);
    CGateNode* a = f.shell.AddRegionGate(Rect(0.0f, 0.0f, 0.5f, 1.0f), 0, "");
    std::vector<int> seen;
    for (GateEventIterator it = a->GetEventIterator(); it.Valid() && !it.AtEnd(); it.Next())
        if (it.InGate()) {
            seen.push_back(int(it.event));
            EXPECT_FLOAT_EQ(it.Value(0), float(f.events[it.event].first));
        }
    EXPECT_EQ(seen, Members(a));
    VexaDataShell empty;  // without data the iterator is empty
    EXPECT_FALSE(empty.GetRoot()->GetEventIterator().Valid());
    EXPECT_EQ(empty.GetRoot()->GetMask().GetBitCount(), 0u);
}
