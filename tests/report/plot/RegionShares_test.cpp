// The share a region's label shows on a plot: the plot's own events that lie
// in the region, over the plot's events, whatever gate the plot shows and
// whatever the region's parent is.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "report/page/LumitraDoc.h"
#include "report/plot/Plot.h"
#include "report/plot/QuadLayer.h"
#include "report/plot/RectLayer.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"

namespace {

const CRect kRect(0, 0, 250, 250);

// Events on a grid: every multiple of 50 from 0 to 1000 on both axes.
std::vector<std::pair<double, double>> Grid() {
    std::vector<std::pair<double, double>> e;
    for (int x = 0; x <= 1000; x += 50)
        for (int y = 0; y <= 1000; y += 50) e.emplace_back(x, y);
    return e;
}

// Grid events strictly inside both boxes (axis values / 1000).
int CountIn(double x0, double y0, double x1, double y1, double bx0 = -1, double by0 = -1, double bx1 = 2,
            double by1 = 2) {
    int n = 0;
    for (const auto& [x, y] : Grid()) {
        const double fx = x / 1000.0, fy = y / 1000.0;
        if (fx > x0 && fx < x1 && fy > y0 && fy < y1 && fx > bx0 && fx < bx1 && fy > by0 && fy < by1) ++n;
    }
    return n;
}

std::string Percent(double part, double whole) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", double(float(part) / float(whole) * 100.0f));
    return buf;
}

class RegionSharesTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        plottest::ResetPlotDefaults();
        doc = std::make_unique<CLumitraDoc>();
        shell = doc->AttachDataShell(plottest::MakeShell(Grid(), "S", "grid.fcs"));
        // Lymph on All; Slim, a narrow band on All that Lymph half covers.
        lymph = plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "Lymph");
        slim = plottest::AddRectGate(*shell, 0.45f, -0.01f, 0.6f, 1.01f, 0, "Slim");
    }
    void TearDown() override { doc.reset(); }

    std::unique_ptr<CLumitraDoc> doc;
    VexaDataShell* shell = nullptr;
    CGateNode* lymph = nullptr;
    CGateNode* slim = nullptr;
};

TEST_F(RegionSharesTest, ARegionOnAPlotOfAnotherGateCountsThatPlotsEventsInIt) {
    const int inSlim = CountIn(0.45, -0.01, 0.6, 1.01);
    const int both = CountIn(0.45, -0.01, 0.6, 1.01, 0.1, 0.1, 0.6, 0.6);
    ASSERT_EQ(inSlim, 42);
    ASSERT_EQ(both, 18);
    ASSERT_GT(int(lymph->GetMask().CountSetBits()), inSlim);  // its own count over Slim's passes 100 %
    CPLOT onSlim(kRect, slim, doc.get(), 0, 1);
    CRectLayer shown(static_cast<CrRect*>(lymph->GetRegion()), &onSlim);
    EXPECT_EQ(shown.GetPercentText(), Percent(both, inSlim));

    // On the plot of its parent it reads as before: its gate over All.
    CPLOT onAll(kRect, shell->GetRoot(), doc.get(), 0, 1);
    CRectLayer own(static_cast<CrRect*>(lymph->GetRegion()), &onAll);
    EXPECT_EQ(own.GetPercentText(), Percent(lymph->GetMask().CountSetBits(), Grid().size()));

    // On a plot of a gate inside its parent: that gate's events in it.
    CGateNode* inner = plottest::AddRectGate(*shell, 0.3f, 0.3f, 0.9f, 0.9f, 0, "Inner");
    CPLOT onInner(kRect, inner, doc.get(), 0, 1);
    CRectLayer nested(static_cast<CrRect*>(lymph->GetRegion()), &onInner);
    EXPECT_EQ(nested.GetPercentText(),
              Percent(CountIn(0.3, 0.3, 0.9, 0.9, 0.1, 0.1, 0.6, 0.6), CountIn(0.3, 0.3, 0.9, 0.9)));

    // The region moved: both labels follow when next drawn (a drawing takes
    // the share again; the gate is evaluated after its listeners are told).
    static_cast<CrRect*>(lymph->GetRegion())->SetGeometry({0.5f, 0.1f, 0.9f, 0.6f}, nullptr);
    shown.UpdatePercentText();
    own.UpdatePercentText();
    EXPECT_EQ(shown.GetPercentText(), Percent(CountIn(0.45, -0.01, 0.6, 1.01, 0.5, 0.1, 0.9, 0.6), inSlim));
    EXPECT_EQ(own.GetPercentText(), Percent(lymph->GetMask().CountSetBits(), Grid().size()));
    // Slim changed: the other plot's events are counted again.
    static_cast<CrRect*>(slim->GetRegion())->SetGeometry({0.45f, -0.01f, 0.8f, 1.01f}, nullptr);
    shown.UpdatePercentText();
    EXPECT_EQ(shown.GetPercentText(),
              Percent(CountIn(0.45, -0.01, 0.8, 1.01, 0.5, 0.1, 0.9, 0.6), CountIn(0.45, -0.01, 0.8, 1.01)));
}

TEST_F(RegionSharesTest, ARegionUnderAnotherParentCountsThePlotsEventsInItsShape) {
    // Deep lies under Lymph; Slim reaches past Lymph, so Deep's own events
    // are not Slim's events in Deep's box.
    CGateNode* deep = plottest::AddRectGate(*shell, 0.2f, 0.2f, 0.9f, 0.9f, shell->GetGateIndex(lymph), "Deep");
    ASSERT_EQ(int(deep->GetMask().CountSetBits()), CountIn(0.2, 0.2, 0.9, 0.9, 0.1, 0.1, 0.6, 0.6));
    CPLOT onSlim(kRect, slim, doc.get(), 0, 1);
    CRectLayer shown(static_cast<CrRect*>(deep->GetRegion()), &onSlim);
    const int inSlim = CountIn(0.45, -0.01, 0.6, 1.01);
    EXPECT_EQ(shown.GetPercentText(), Percent(CountIn(0.45, -0.01, 0.6, 1.01, 0.2, 0.2, 0.9, 0.9), inSlim));
    // Counting left Deep's gate as it was.
    EXPECT_EQ(int(deep->GetMask().CountSetBits()), CountIn(0.2, 0.2, 0.9, 0.9, 0.1, 0.1, 0.6, 0.6));
}

TEST_F(RegionSharesTest, QuadrantPartsOnAPlotOfAnotherGateCountThatPlotsEvents) {
    CPLOT onSlim(kRect, slim, doc.get(), 0, 1);
    const int inSlim = CountIn(0.45, -0.01, 0.6, 1.01);
    // On All, and on Top, which Slim reaches past.
    CGateNode* top = plottest::AddRectGate(*shell, -0.01f, 0.3f, 1.01f, 1.01f, 0, "Top");
    for (CGateNode* parent : {shell->GetRoot(), top}) {
        SCOPED_TRACE(parent->GetName());
        const int32_t first = shell->GetGateCount();
        CGateNode* q = shell->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f),
                                            shell->GetGateIndex(parent), "Q");
        ASSERT_NE(q, nullptr);
        std::vector<int> before;
        for (int32_t i = 0; i < 4; ++i) before.push_back(int(shell->GetGate(first + i)->GetMask().CountSetBits()));
        CQuadLayer parts(static_cast<CrQuadrant*>(q->GetRegion()), &onSlim);
        int sum = 0;
        for (int32_t i = 0; i < 4; ++i) {
            // Slim's events that the part's shape holds.
            const CDataRgn* part = shell->GetGate(first + i)->GetRegion();
            int n = 0;
            for (const auto& [x, y] : Grid())
                if (x / 1000.0 > 0.45 && x / 1000.0 < 0.6 && part->Contains(float(x / 1000.0), float(y / 1000.0))) ++n;
            sum += n;
            EXPECT_EQ(parts.GetPartText(i), Percent(n, inSlim)) << i;
            // The parts' own results are left as they were.
            EXPECT_EQ(int(shell->GetGate(first + i)->GetMask().CountSetBits()), before[size_t(i)]) << i;
        }
        EXPECT_LE(sum, inSlim);
        EXPECT_GT(sum, 0);
    }
    // On the plot of the parent they read as before: each part's gate.
    CGateNode* q = shell->GetGate(shell->GetGateIndex(top) + 1);
    ASSERT_EQ(q->GetQuadrantPart(), 0);
    CPLOT onTop(kRect, top, doc.get(), 0, 1);
    CQuadLayer onParent(static_cast<CrQuadrant*>(q->GetRegion()), &onTop);
    EXPECT_EQ(onParent.GetPartText(0), Percent(q->GetMask().CountSetBits(), top->GetMask().CountSetBits()));
}

}  // namespace
