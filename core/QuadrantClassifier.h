#pragma once
// The four parts of a quadrant decided for each event in one pass. A quadrant
// is a centre and four arms from it to beyond the edges of the unit square
// (right arm to (1.01, a0), upper to (a1, 1.01), left to (-0.1, a2), lower to
// (a3, -0.1)); part k holds an event when a horizontal and a vertical ray from
// the event both cross one of the part's two arms (CrQuadrant::Contains).
//
// PartsOf is the rule for one event and the reference: every other way of
// classifying gives exactly its bits, for every pair of floats (NaN and
// infinities included). PartsOfBlock classifies 32 events at once, several
// per instruction where the processor allows.
#include <cstdint>

namespace quadrant {
// Ends of the arms and of the test rays.
constexpr float kArmRight = 1.01f;
constexpr float kArmTop = 1.01f;
constexpr float kArmLeft = -0.1f;
constexpr float kArmBottom = -0.1f;
constexpr float kRayUp = 1.1f;
}  // namespace quadrant

class QuadrantClassifier {
public:
    // How PartsOfBlock computes: one event at a time, several per
    // instruction on any x86-64, or four per instruction with AVX2.
    enum class Path { kScalar, kPortable, kAvx2 };

    // Centre (cx, cy) and arms a[0..3] as above.
    QuadrantClassifier(float cx, float cy, const float a[4]);

    // Bit k set when the event (fx, fy) is in part k.
    uint32_t PartsOf(float fx, float fy) const;

    // Events fx[i], fy[i] for i in 0..31: bit i of out[k] set when event i is
    // in part k. Reads exactly 32 values of each column.
    void PartsOfBlock(const float* fx, const float* fy, uint32_t out[4]) const {
        PartsOfBlock(fx, fy, out, BestPath());
    }
    // The same by a chosen path (tests compare them); kAvx2 falls back to
    // kPortable on a processor without AVX2.
    void PartsOfBlock(const float* fx, const float* fy, uint32_t out[4], Path path) const;

    // The fastest path this processor runs.
    static Path BestPath();

    // What the block paths read: the geometry as doubles, the arm
    // differences from the centre and the products with each ray's fixed
    // coordinate.
    struct Consts {
        double cx, cy;
        double armX[4], armY[4];
        double ax[4], ay[4];
        double rayLeft[4], rayRight[4], rayDown[4], rayUp[4];
    };

private:
    uint32_t PartsOfAny(float fx, float fy) const;
    static uint32_t Parts(const uint32_t crosses[4]);
    void ScalarBlock(const float* fx, const float* fy, uint32_t out[4]) const;

    float m_cx, m_cy;
    float m_armX[4], m_armY[4];
    bool m_finite = false;
    Consts m_k{};
};
