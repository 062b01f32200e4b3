#include "base/Geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(Geometry, NormalizeSwapsReversedEdges) {
    CRect r(10, 20, 0, 5);
    r.NormalizeRect();
    EXPECT_EQ(r, CRect(0, 5, 10, 20));
    CRect ok(1, 2, 3, 4);
    ok.NormalizeRect();
    EXPECT_EQ(ok, CRect(1, 2, 3, 4));
}

// Right and bottom edges are outside: a failed intersection leaves a null rect.
TEST(Geometry, IntersectFollowsExclusiveEdges) {
    const struct {
        CRect a, b;
        bool overlap;
        CRect want;
    } cases[] = {
        {{0, 0, 10, 10}, {5, 5, 20, 20}, true, {5, 5, 10, 10}},
        {{0, 0, 10, 10}, {9, 9, 20, 20}, true, {9, 9, 10, 10}},  // one pixel in common
        {{0, 0, 10, 10}, {10, 0, 20, 10}, false, {}},           // touching at the right edge
        {{0, 0, 10, 10}, {0, 10, 10, 20}, false, {}},           // touching at the bottom edge
        {{0, 0, 10, 10}, {50, 50, 60, 60}, false, {}},
        {{0, 0, 100, 100}, {20, 20, 10, 30}, false, {}},        // a reversed rect inside the other
    };
    for (const auto& c : cases) {
        CRect r(1, 1, 2, 2);
        EXPECT_EQ(r.IntersectRect(c.a, c.b), c.overlap) << c.b.left;
        EXPECT_EQ(r, c.want) << c.b.left;
    }
}

TEST(Geometry, IntersectAndUnionMayUseThemselvesAsInput) {
    CRect a(0, 0, 10, 10);
    EXPECT_TRUE(a.IntersectRect(a, CRect(5, -5, 15, 5)));
    EXPECT_EQ(a, CRect(5, 0, 10, 5));
    CRect b(0, 0, 10, 10);
    EXPECT_TRUE(b.UnionRect(CRect(-5, 2, 3, 20), b));
    EXPECT_EQ(b, CRect(-5, 0, 10, 20));
}

TEST(Geometry, UnionIgnoresEmptyRects) {
    CRect r;
    EXPECT_TRUE(r.UnionRect(CRect(0, 0, 10, 10), CRect(20, 30, 25, 35)));
    EXPECT_EQ(r, CRect(0, 0, 25, 35));
    // A zero-width rect far away does not stretch the union.
    EXPECT_TRUE(r.UnionRect(CRect(0, 0, 10, 10), CRect(500, 500, 500, 600)));
    EXPECT_EQ(r, CRect(0, 0, 10, 10));
    EXPECT_TRUE(r.UnionRect(CRect(100, 100, 50, 50), CRect(1, 2, 3, 4)));
    EXPECT_EQ(r, CRect(1, 2, 3, 4));
    r = CRect(7, 7, 8, 8);
    EXPECT_FALSE(r.UnionRect(CRect(5, 5, 5, 9), CRect(3, 3, 1, 1)));
    EXPECT_TRUE(r.IsRectNull());
}

TEST(Geometry, PointsOnRightAndBottomEdgesAreOutside) {
    const CRect r(0, 0, 10, 10);
    EXPECT_TRUE(r.PtInRect({0, 0}));
    EXPECT_TRUE(r.PtInRect({9, 9}));
    EXPECT_FALSE(r.PtInRect({10, 5}));
    EXPECT_FALSE(r.PtInRect({5, 10}));
    EXPECT_FALSE(CRect(5, 5, 5, 5).PtInRect({5, 5}));
}

}  // namespace
