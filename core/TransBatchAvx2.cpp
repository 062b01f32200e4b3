// The AVX2 path of the logicle batch conversion: the Newton steps four values
// at a time, with an exp that gives the C library's bits. Compiled with
// -mavx2 -mfma -ffp-contract=off and called only when
// lm::logicle::CurrentPath() says so. Apart from the exp, every
// a*b+c here is a multiply and a separate add, as in the scalar code built for
// plain x86-64; the exp uses a fused multiply-add exactly where the library's
// FMA build of its exp does.
//
// Only this file's own code may be compiled here (see core/TransBatch.h):
// no std containers, no inline functions from shared headers.
#include "core/TransBatch.h"
#include "core/ExpData.h"

#if defined(__AVX2__) && defined(__FMA__)

#include <immintrin.h>

#include <cmath>

namespace lm::logicle {

namespace {

// Lanes whose argument is outside the range the table code handles alone
// (|x| < 2^-54, |x| >= 512, NaN and infinities): their results come from
// std::exp.
inline __m256i OutsidePlainRange(__m256d x) {
    const __m256i top = _mm256_and_si256(_mm256_srli_epi64(_mm256_castpd_si256(x), 52),
                                         _mm256_set1_epi64x(0x7ff));
    return _mm256_or_si256(_mm256_cmpgt_epi64(_mm256_set1_epi64x(0x3c9), top),
                           _mm256_cmpgt_epi64(top, _mm256_set1_epi64x(0x407)));
}

// exp of the lanes; `want` marks the lanes whose result is used (others may
// hold anything and are not handed to std::exp).
__attribute__((always_inline)) inline __m256d Exp4(__m256d x, __m256d want) {
    const __m256d kd0 = _mm256_fmadd_pd(x, _mm256_set1_pd(kInvLn2N), _mm256_set1_pd(kShift));
    const __m256i ki = _mm256_castpd_si256(kd0);
    const __m256d kd = _mm256_sub_pd(kd0, _mm256_set1_pd(kShift));
    __m256d r = _mm256_fmadd_pd(kd, _mm256_set1_pd(kNegLn2HiN), x);
    r = _mm256_fmadd_pd(kd, _mm256_set1_pd(kNegLn2LoN), r);
    // The (tail, scale) pairs of the four lanes, loaded whole and transposed.
    alignas(32) uint64_t j[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(j), _mm256_and_si256(ki, _mm256_set1_epi64x(127)));
    const __m128i* tab = reinterpret_cast<const __m128i*>(kExpTab);
    const __m256i p02 = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_load_si128(tab + j[0])),
                                                _mm_load_si128(tab + j[2]), 1);
    const __m256i p13 = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_load_si128(tab + j[1])),
                                                _mm_load_si128(tab + j[3]), 1);
    const __m256d tail = _mm256_castsi256_pd(_mm256_unpacklo_epi64(p02, p13));
    const __m256i sbits = _mm256_add_epi64(_mm256_unpackhi_epi64(p02, p13), _mm256_slli_epi64(ki, 45));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d p01 = _mm256_fmadd_pd(r, _mm256_set1_pd(kC3), _mm256_set1_pd(kC2));
    const __m256d p23 = _mm256_fmadd_pd(r, _mm256_set1_pd(kC5), _mm256_set1_pd(kC4));
    __m256d tmp = _mm256_fmadd_pd(p01, r2, _mm256_add_pd(r, tail));
    tmp = _mm256_fmadd_pd(_mm256_mul_pd(r2, r2), p23, tmp);
    const __m256d scale = _mm256_castsi256_pd(sbits);
    __m256d y = _mm256_fmadd_pd(scale, tmp, scale);

    const int odd = _mm256_movemask_pd(_mm256_and_pd(_mm256_castsi256_pd(OutsidePlainRange(x)), want));
    if (odd != 0) {
        alignas(32) double xs[4], ys[4];
        _mm256_store_pd(xs, x);
        _mm256_store_pd(ys, y);
        for (int i = 0; i < 4; ++i)
            if (odd & (1 << i)) ys[i] = std::exp(xs[i]);
        y = _mm256_load_pd(ys);
    }
    return y;
}

struct Params {
    __m256d a, w, p, p2, one, sign;
};

// S and S' at x, as LogicalFns::Eval computes them.
__attribute__((always_inline)) inline void Eval4(const Params& c, __m256d x, __m256d want, __m256d* s, __m256d* slope) {
    const __m256d upper = _mm256_cmp_pd(x, c.w, _CMP_GE_OQ);
    const __m256d d = _mm256_blendv_pd(_mm256_sub_pd(c.w, x), _mm256_sub_pd(x, c.w), upper);
    const __m256d e1 = Exp4(d, want);
    const __m256d e2 = Exp4(_mm256_div_pd(_mm256_xor_pd(d, c.sign), c.p), want);
    const __m256d inner =
        _mm256_sub_pd(_mm256_add_pd(_mm256_sub_pd(e1, _mm256_mul_pd(c.p2, e2)), c.p2), c.one);
    const __m256d body = _mm256_mul_pd(c.a, inner);
    *s = _mm256_blendv_pd(_mm256_xor_pd(body, c.sign), body, upper);
    *slope = _mm256_mul_pd(c.a, _mm256_add_pd(e1, _mm256_mul_pd(c.p, e2)));
}

// ClampedFraction of four inverses: NaN and <= 0 give +0, above 1 gives 1.
inline __m128 Clamped4(__m256d x, __m256d m) {
    const __m128 f = _mm256_cvtpd_ps(_mm256_div_pd(x, m));
    const __m128 pos = _mm_and_ps(f, _mm_cmp_ps(f, _mm_setzero_ps(), _CMP_GT_OQ));
    return _mm_min_ps(pos, _mm_set1_ps(1.0f));
}

// For each 4-bit lane mask, the orders that move the set lanes to the
// front: of 32-bit elements taken in pairs (one double each), and of the
// lanes themselves (one 32-bit event offset each).
struct PackTable {
    alignas(32) int32_t perm[16][8];
    alignas(16) int32_t lanes[16][4];
    constexpr PackTable() : perm{}, lanes{} {
        for (int m = 0; m < 16; ++m) {
            int at = 0;
            for (int lane = 0; lane < 4; ++lane)
                if (m & (1 << lane)) {
                    perm[m][2 * at] = 2 * lane;
                    perm[m][2 * at + 1] = 2 * lane + 1;
                    lanes[m][at] = lane;
                    ++at;
                }
        }
    }
};
constexpr PackTable kPackTable;
constexpr const int32_t (&kPack)[16][8] = kPackTable.perm;

// Lanes below `left`.
inline __m256d FirstLanes(size_t left) {
    const __m256i lane = _mm256_setr_epi64x(0, 1, 2, 3);
    return _mm256_castsi256_pd(_mm256_cmpgt_epi64(_mm256_set1_epi64x(int64_t(left)), lane));
}

}  // namespace

void NewtonAvx2(const Kernel& k, NewtonList& list, float* out) {
    const Params c{_mm256_set1_pd(k.a),  _mm256_set1_pd(k.w),   _mm256_set1_pd(k.p),
                   _mm256_set1_pd(k.p2), _mm256_set1_pd(1.0), _mm256_set1_pd(-0.0)};
    const __m256d m = _mm256_set1_pd(k.m);
    const __m256d tol = _mm256_set1_pd(0.0001);
    // One step for every entry, the ones still moving kept (in order, at
    // the front of the list, behind the reading point) for the next step.
    for (int step = 0; step < 20 && list.count > 0; ++step) {
        const size_t n = list.count;
        const bool last = step == 19;  // the 20th step's iterate is the result
        size_t kept = 0;
        for (size_t j = 0; j < n; j += 4) {
            const __m256d valid = FirstLanes(n - j);
            const __m256d x0 = _mm256_load_pd(list.x + j);
            const __m256d s0 = _mm256_load_pd(list.s + j);
            const __m256d d0 = _mm256_load_pd(list.d + j);
            const __m256d yd = _mm256_load_pd(list.y + j);
            const __m256d x1 = _mm256_sub_pd(x0, _mm256_div_pd(_mm256_sub_pd(s0, yd), d0));
            // x1 == x0 is a fixed point: every further step gives x1 again.
            const __m256d moving = _mm256_andnot_pd(_mm256_cmp_pd(x1, x0, _CMP_EQ_OQ), valid);
            __m256d going = _mm256_setzero_pd();
            __m256d s1 = _mm256_setzero_pd(), d1 = _mm256_setzero_pd();
            if (!last && !_mm256_testz_pd(moving, moving)) {
                Eval4(c, x1, moving, &s1, &d1);
                const __m256d ay = _mm256_andnot_pd(c.sign, yd);
                const __m256d dx = _mm256_div_pd(_mm256_andnot_pd(c.sign, _mm256_sub_pd(x1, x0)), x1);
                const __m256d dy = _mm256_div_pd(_mm256_andnot_pd(c.sign, _mm256_sub_pd(s1, yd)), ay);
                const __m256d close = _mm256_and_pd(_mm256_cmp_pd(dx, tol, _CMP_LT_OQ),
                                                    _mm256_cmp_pd(dy, tol, _CMP_LT_OQ));
                going = _mm256_andnot_pd(close, moving);
            }
            const int goMask = _mm256_movemask_pd(going);
            const int doneMask = _mm256_movemask_pd(valid) & ~goMask;
            alignas(16) uint32_t idx[4];
            __builtin_memcpy(idx, list.idx + j, sizeof idx);
            if (doneMask != 0) {
                alignas(16) float f[4];
                _mm_store_ps(f, Clamped4(x1, m));
                for (int i = 0; i < 4; ++i)
                    if (doneMask & (1 << i)) out[idx[i]] = f[i];
            }
            if (goMask != 0) {
                // Pack the lanes still going to the front and store whole
                // vectors (the list has room behind its end).
                const __m256i perm = _mm256_load_si256(reinterpret_cast<const __m256i*>(kPack[goMask]));
                auto pack = [perm](__m256d v) {
                    return _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(v), perm));
                };
                _mm256_storeu_pd(list.x + kept, pack(x1));
                _mm256_storeu_pd(list.s + kept, pack(s1));
                _mm256_storeu_pd(list.d + kept, pack(d1));
                _mm256_storeu_pd(list.y + kept, pack(yd));
                const __m128i lanes = _mm_load_si128(reinterpret_cast<const __m128i*>(kPackTable.lanes[goMask]));
                const __m128 idx4 = _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(idx)));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(list.idx + kept),
                                 _mm_castps_si128(_mm_permutevar_ps(idx4, lanes)));
                kept += size_t(__builtin_popcount(unsigned(goMask)));
            }
        }
        list.count = kept;
    }
    list.count = 0;
}

void ExpAvx2(const double* x, size_t n, double* out) {
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    size_t i = 0;
    for (; i + 4 <= n; i += 4) _mm256_storeu_pd(out + i, Exp4(_mm256_loadu_pd(x + i), all));
    if (i < n) {
        alignas(32) double xs[4] = {0.0, 0.0, 0.0, 0.0}, ys[4];
        for (size_t j = 0; i + j < n; ++j) xs[j] = x[i + j];
        _mm256_store_pd(ys, Exp4(_mm256_load_pd(xs), all));
        for (size_t j = 0; i + j < n; ++j) out[i + j] = ys[j];
    }
}

}  // namespace lm::logicle

#else  // no AVX2 build: never chosen (BestPath() sees no CPU support), kept linkable

#include <cmath>

namespace lm::logicle {

void NewtonAvx2(const Kernel& k, NewtonList& list, float* out) { NewtonPortable(k, list, out); }

void ExpAvx2(const double* x, size_t n, double* out) {
    for (size_t i = 0; i < n; ++i) out[i] = std::exp(x[i]);
}

}  // namespace lm::logicle

#endif
