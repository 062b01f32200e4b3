#pragma once
// A key whose unsigned order is the order of the float values: negative
// values have all bits flipped, the others only the sign bit, so -0 sorts
// just below +0 and NaNs fall outside the infinities. Rank searches and bin
// lookups compare and bucket these keys instead of the floats.
#include <cstdint>
#include <cstring>

namespace lm {

inline uint32_t OrderKey(float v) {
    uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    return (u & 0x80000000u) ? ~u : (u | 0x80000000u);
}

inline float FromOrderKey(uint32_t k) {
    const uint32_t u = (k & 0x80000000u) ? (k & 0x7FFFFFFFu) : ~k;
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

}  // namespace lm
