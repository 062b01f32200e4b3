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

TEST(Geometry, IntersectFollowsExclusiveEdges) {
    CRect r(99, 99, 99, 99);
    EXPECT_TRUE(r.IntersectRect(CRect(0, 0, 10, 10), CRect(5, 5, 20, 20)));
    EXPECT_EQ(r, CRect(5, 5, 10, 10));
    // One pixel of overlap is an intersection.
    EXPECT_TRUE(r.IntersectRect(CRect(0, 0, 10, 10), CRect(9, 9, 20, 20)));
    EXPECT_EQ(r, CRect(9, 9, 10, 10));

    // Touching at the excluded right/bottom edge: nothing in common.
    r = CRect(1, 1, 2, 2);
    EXPECT_FALSE(r.IntersectRect(CRect(0, 0, 10, 10), CRect(10, 0, 20, 10)));
    EXPECT_TRUE(r.IsRectNull());
    r = CRect(1, 1, 2, 2);
    EXPECT_FALSE(r.IntersectRect(CRect(0, 0, 10, 10), CRect(0, 10, 10, 20)));
    EXPECT_TRUE(r.IsRectNull());
    // Disjoint.
    r = CRect(1, 1, 2, 2);
    EXPECT_FALSE(r.IntersectRect(CRect(0, 0, 10, 10), CRect(50, 50, 60, 60)));
    EXPECT_TRUE(r.IsRectNull());
    // An empty (reversed) input inside the other rect gives nothing either.
    r = CRect(1, 1, 2, 2);
    EXPECT_FALSE(r.IntersectRect(CRect(0, 0, 100, 100), CRect(20, 20, 10, 30)));
    EXPECT_TRUE(r.IsRectNull());
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
