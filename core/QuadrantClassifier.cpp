#include "core/QuadrantClassifier.h"

#include <cmath>
#include <cstring>

#include "core/Region.h"

using namespace quadrant;

namespace {

// Each part's two arms and its two rays (arms: 0 right, 1 up, 2 left,
// 3 down; rays: 0 left, 1 right, 2 down, 3 up).
struct PartRule {
    int armA, armB, h, v;
};
constexpr PartRule kParts[4] = {{0, 1, 0, 2}, {1, 2, 1, 2}, {2, 3, 1, 3}, {3, 0, 0, 3}};

}  // namespace

QuadrantClassifier::QuadrantClassifier(float cx, float cy, const float a[4])
    : m_cx(cx),
      m_cy(cy),
      m_armX{kArmRight, a[1], kArmLeft, a[3]},
      m_armY{a[0], kArmTop, a[2], kArmBottom} {
    m_finite = std::isfinite(cx) && std::isfinite(cy);
    for (int i = 0; i < 4; ++i) m_finite = m_finite && std::isfinite(a[i]);
    m_k.cx = cx;
    m_k.cy = cy;
    for (int i = 0; i < 4; ++i) {
        // SegSide(c, arm, C) is (C.x - c.x) * ay <= (C.y - c.y) * ax.
        m_k.armX[i] = m_armX[i];
        m_k.armY[i] = m_armY[i];
        m_k.ax[i] = double(m_armX[i]) - m_k.cx;
        m_k.ay[i] = double(m_armY[i]) - m_k.cy;
        m_k.rayLeft[i] = (double(kArmLeft) - m_k.cx) * m_k.ay[i];
        m_k.rayRight[i] = (double(kArmRight) - m_k.cx) * m_k.ay[i];
        m_k.rayDown[i] = (double(kArmBottom) - m_k.cy) * m_k.ax[i];
        m_k.rayUp[i] = (double(kRayUp) - m_k.cy) * m_k.ax[i];
    }
}

// Every side test has the centre as its first point, so the arm differences
// and the products with a ray's fixed coordinate are the same for every event
// and computed once; an event then costs eight products. They are the same
// double operations Contains performs, hence bit-identical results.
uint32_t QuadrantClassifier::PartsOf(float fx, float fy) const {
    if (!m_finite || !std::isfinite(fx) || !std::isfinite(fy)) return PartsOfAny(fx, fy);
    const double dx = double(fx) - m_k.cx;
    const double dy = double(fy) - m_k.cy;
    // Side of X against the ray from P along an axis: one product of
    // SegSide is an exact zero, leaving the sign of the other product.
    // A product of two differences of floats neither overflows nor
    // underflows to zero, and a difference has the sign of the floats'
    // comparison, so the floats are compared instead.
    // Bitwise operators throughout: the outcomes are unpredictable, so
    // branches would cost more than the tests.
    auto sideH = [&](float rayX, float xy) -> bool {
        return (xy == fy) | (rayX == fx) | ((xy > fy) == (rayX > fx));
    };
    auto sideV = [&](float rayY, float xx) -> bool {
        return (xx == fx) | (rayY == fy) | ((xx > fx) != (rayY > fy));
    };
    const bool centre[4] = {sideH(kArmLeft, m_cy), sideH(kArmRight, m_cy), sideV(kArmBottom, m_cx),
                            sideV(kRayUp, m_cx)};
    uint32_t crosses[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        const double px = dx * m_k.ay[i];
        const double py = dy * m_k.ax[i];
        const bool armSideP = px <= py;
        const bool c0 = (centre[0] != sideH(kArmLeft, m_armY[i])) & (armSideP != (m_k.rayLeft[i] <= py));
        const bool c1 = (centre[1] != sideH(kArmRight, m_armY[i])) & (armSideP != (m_k.rayRight[i] <= py));
        const bool c2 = (centre[2] != sideV(kArmBottom, m_armX[i])) & (armSideP != (px <= m_k.rayDown[i]));
        const bool c3 = (centre[3] != sideV(kRayUp, m_armX[i])) & (armSideP != (px <= m_k.rayUp[i]));
        crosses[0] |= uint32_t(c0) << i;
        crosses[1] |= uint32_t(c1) << i;
        crosses[2] |= uint32_t(c2) << i;
        crosses[3] |= uint32_t(c3) << i;
    }
    return Parts(crosses);
}

// Any point, infinities and NaN included: the segment tests spelt out.
uint32_t QuadrantClassifier::PartsOfAny(float fx, float fy) const {
    const RgnPoint p{fx, fy};
    const RgnPoint c{m_cx, m_cy};
    const RgnPoint ray[4] = {{kArmLeft, fy}, {kArmRight, fy}, {fx, kArmBottom}, {fx, kRayUp}};
    uint32_t crosses[4];
    for (int r = 0; r < 4; ++r) {
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits |= uint32_t(RgnSegmentsCross(p, ray[r], c, RgnPoint{m_armX[i], m_armY[i]})) << i;
        crosses[r] = bits;
    }
    return Parts(crosses);
}

// crosses[r] bit i: the segment from the event along ray r crosses arm i. A
// part holds the event when both of its rays cross one of its two arms.
uint32_t QuadrantClassifier::Parts(const uint32_t crosses[4]) {
    uint32_t parts = 0;
    for (int k = 0; k < 4; ++k) {
        const PartRule& t = kParts[k];
        const uint32_t arms = (1u << t.armA) | (1u << t.armB);
        parts |= uint32_t(((crosses[t.h] & arms) != 0) & ((crosses[t.v] & arms) != 0)) << k;
    }
    return parts;
}

void QuadrantClassifier::ScalarBlock(const float* fx, const float* fy, uint32_t out[4]) const {
    uint32_t bits[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < 32; ++i) {
        const uint32_t r = PartsOf(fx[i], fy[i]);
        for (int k = 0; k < 4; ++k) bits[k] |= ((r >> k) & 1u) << i;
    }
    std::memcpy(out, bits, sizeof bits);
}

// ---------------------------------------------------------------------------
// Block paths: four events per vector of doubles.
//
// For an event strictly between the rays' fixed ends (-0.1 < fx < 1.01,
// -0.1 < fy < 1.1; every clamped fraction is), the side tests against the
// rays of PartsOf reduce to one comparison each, since the ray end's own
// comparisons with the event are then known:
//   sideH(-0.1, y) = y <= fy    sideH(1.01, y) = y >= fy
//   sideV(-0.1, x) = x >= fx    sideV(1.1, x)  = x <= fx
// The products and their comparisons are those of PartsOf, in doubles, and
// nothing is contracted into a fused multiply-add (no a*b+c occurs), so each
// event gets PartsOf's bits. A block holding any other event (or a quadrant
// with a geometry that is not finite) takes PartsOf event by event.

namespace {

typedef double V4d __attribute__((vector_size(32)));
typedef long long V4l __attribute__((vector_size(32)));
typedef float V4f __attribute__((vector_size(16)));

// always_inline: the body is compiled into each caller with the caller's
// instruction set (the portable and the AVX2 entry below).
template <class = void>
__attribute__((always_inline)) inline bool VectorBlock(const QuadrantClassifier::Consts& k, const float* fx,
                                                       const float* fy, uint32_t out[4]) {
    const double l = kArmLeft, r = kArmRight, u = kRayUp;
    const V4d lo = {l, l, l, l}, hiX = {r, r, r, r}, hiY = {u, u, u, u};
    const V4d cx = {k.cx, k.cx, k.cx, k.cx}, cy = {k.cy, k.cy, k.cy, k.cy};
    V4d armX[4], armY[4], ax[4], ay[4], rl[4], rr[4], rd[4], ru[4];
    for (int i = 0; i < 4; ++i)
        for (int lane = 0; lane < 4; ++lane) {
            armX[i][lane] = k.armX[i];
            armY[i][lane] = k.armY[i];
            ax[i][lane] = k.ax[i];
            ay[i][lane] = k.ay[i];
            rl[i][lane] = k.rayLeft[i];
            rr[i][lane] = k.rayRight[i];
            rd[i][lane] = k.rayDown[i];
            ru[i][lane] = k.rayUp[i];
        }
    V4l inRange = {-1, -1, -1, -1};
    V4l acc[4] = {};
    for (int g = 0; g < 8; ++g) {
        V4f xf, yf;
        std::memcpy(&xf, fx + 4 * g, sizeof xf);
        std::memcpy(&yf, fy + 4 * g, sizeof yf);
        const V4d X = __builtin_convertvector(xf, V4d);
        const V4d Y = __builtin_convertvector(yf, V4d);
        // NaN compares false: out of range.
        inRange &= (X > lo) & (X < hiX) & (Y > lo) & (Y < hiY);
        const V4d dx = X - cx, dy = Y - cy;
        const V4l cL = cy <= Y, cR = cy >= Y, cB = cx >= X, cU = cx <= X;
        V4l c0[4], c1[4], c2[4], c3[4];
        for (int i = 0; i < 4; ++i) {
            const V4d px = dx * ay[i];
            const V4d py = dy * ax[i];
            const V4l s = px <= py;
            c0[i] = (cL ^ (armY[i] <= Y)) & (s ^ (rl[i] <= py));
            c1[i] = (cR ^ (armY[i] >= Y)) & (s ^ (rr[i] <= py));
            c2[i] = (cB ^ (armX[i] >= X)) & (s ^ (px <= rd[i]));
            c3[i] = (cU ^ (armX[i] <= X)) & (s ^ (px <= ru[i]));
        }
        const V4l part[4] = {(c0[0] | c0[1]) & (c2[0] | c2[1]), (c1[1] | c1[2]) & (c2[1] | c2[2]),
                             (c1[2] | c1[3]) & (c3[2] | c3[3]), (c0[3] | c0[0]) & (c3[3] | c3[0])};
        const long long s4 = 4 * g;
        const V4l weight = {1ll << s4, 2ll << s4, 4ll << s4, 8ll << s4};
        for (int p = 0; p < 4; ++p) acc[p] |= part[p] & weight;
    }
    for (int p = 0; p < 4; ++p) out[p] = uint32_t(acc[p][0] | acc[p][1] | acc[p][2] | acc[p][3]);
    return (inRange[0] & inRange[1] & inRange[2] & inRange[3]) != 0;
}

bool PortableBlock(const QuadrantClassifier::Consts& k, const float* fx, const float* fy, uint32_t out[4]) {
    return VectorBlock(k, fx, fy, out);
}

__attribute__((target("avx2"))) bool Avx2Block(const QuadrantClassifier::Consts& k, const float* fx,
                                               const float* fy, uint32_t out[4]) {
    return VectorBlock(k, fx, fy, out);
}

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

}  // namespace

QuadrantClassifier::Path QuadrantClassifier::BestPath() { return CpuHasAvx2() ? Path::kAvx2 : Path::kPortable; }

void QuadrantClassifier::PartsOfBlock(const float* fx, const float* fy, uint32_t out[4], Path path) const {
    if (path == Path::kAvx2 && !CpuHasAvx2()) path = Path::kPortable;
    if (path == Path::kScalar || !m_finite) {
        ScalarBlock(fx, fy, out);
        return;
    }
    const bool done = path == Path::kAvx2 ? Avx2Block(m_k, fx, fy, out) : PortableBlock(m_k, fx, fy, out);
    if (!done) ScalarBlock(fx, fy, out);
}
