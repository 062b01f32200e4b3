// The AVX-512 path of the logicle batch conversion: eight values at a time
// through the Newton steps, with an exp that gives the C library's bits. The
// same steps as core/TransBatchAvx2.cpp (see there), on twice the lanes, with
// mask registers. Compiled with -mavx512f -mavx512dq -mavx512vl -mavx2 -mfma
// -ffp-contract=off and called only when lm::logicle::CurrentPath() says so.
// Only this file's own code may be compiled here (see core/TransBatch.h).
#include "core/TransBatch.h"
#include "core/ExpData.h"

#if defined(__AVX512F__) && defined(__AVX512DQ__) && defined(__AVX512VL__) && defined(__FMA__)

#include <immintrin.h>

#include <cmath>

namespace lm::logicle {

namespace {


// exp of the lanes; lanes outside `want` may hold anything and are not
// handed to std::exp. Lanes whose argument is outside the range the table
// code handles alone (|x| < 2^-54, |x| >= 512, NaN and infinities) get
// std::exp's result.
__attribute__((always_inline)) inline __m512d Exp8(__m512d x, __mmask8 want) {
    const __m512d kd0 = _mm512_fmadd_pd(x, _mm512_set1_pd(kInvLn2N), _mm512_set1_pd(kShift));
    const __m512i ki = _mm512_castpd_si512(kd0);
    const __m512d kd = _mm512_sub_pd(kd0, _mm512_set1_pd(kShift));
    __m512d r = _mm512_fmadd_pd(kd, _mm512_set1_pd(kNegLn2HiN), x);
    r = _mm512_fmadd_pd(kd, _mm512_set1_pd(kNegLn2LoN), r);
    // The (tail, scale) pairs of the lanes, loaded whole and transposed.
    alignas(64) uint64_t j[8];
    _mm512_store_si512(j, _mm512_and_si512(ki, _mm512_set1_epi64(127)));
    const __m128i* tab = reinterpret_cast<const __m128i*>(kExpTab);
    __m512i even = _mm512_castsi128_si512(_mm_load_si128(tab + j[0]));
    even = _mm512_inserti64x2(even, _mm_load_si128(tab + j[2]), 1);
    even = _mm512_inserti64x2(even, _mm_load_si128(tab + j[4]), 2);
    even = _mm512_inserti64x2(even, _mm_load_si128(tab + j[6]), 3);
    __m512i odd = _mm512_castsi128_si512(_mm_load_si128(tab + j[1]));
    odd = _mm512_inserti64x2(odd, _mm_load_si128(tab + j[3]), 1);
    odd = _mm512_inserti64x2(odd, _mm_load_si128(tab + j[5]), 2);
    odd = _mm512_inserti64x2(odd, _mm_load_si128(tab + j[7]), 3);
    const __m512d tail = _mm512_castsi512_pd(_mm512_unpacklo_epi64(even, odd));
    const __m512i sbits = _mm512_add_epi64(_mm512_unpackhi_epi64(even, odd), _mm512_slli_epi64(ki, 45));
    const __m512d r2 = _mm512_mul_pd(r, r);
    const __m512d p01 = _mm512_fmadd_pd(r, _mm512_set1_pd(kC3), _mm512_set1_pd(kC2));
    const __m512d p23 = _mm512_fmadd_pd(r, _mm512_set1_pd(kC5), _mm512_set1_pd(kC4));
    __m512d tmp = _mm512_fmadd_pd(p01, r2, _mm512_add_pd(r, tail));
    tmp = _mm512_fmadd_pd(_mm512_mul_pd(r2, r2), p23, tmp);
    const __m512d scale = _mm512_castsi512_pd(sbits);
    __m512d y = _mm512_fmadd_pd(scale, tmp, scale);

    const __m512i top = _mm512_and_si512(_mm512_srli_epi64(_mm512_castpd_si512(x), 52),
                                         _mm512_set1_epi64(0x7ff));
    const __mmask8 outside = _mm512_mask_cmplt_epu64_mask(want, top, _mm512_set1_epi64(0x3c9)) |
                         _mm512_mask_cmpgt_epu64_mask(want, top, _mm512_set1_epi64(0x407));
    if (outside != 0) {
        alignas(64) double xs[8], ys[8];
        _mm512_store_pd(xs, x);
        _mm512_store_pd(ys, y);
        for (int i = 0; i < 8; ++i)
            if (outside & (1 << i)) ys[i] = std::exp(xs[i]);
        y = _mm512_load_pd(ys);
    }
    return y;
}

struct Params {
    __m512d a, w, p, p2, one;
};

inline __m512d Neg(__m512d v) {
    return _mm512_castsi512_pd(
        _mm512_xor_si512(_mm512_castpd_si512(v), _mm512_set1_epi64(int64_t(0x8000000000000000ull))));
}

inline __m512d Abs(__m512d v) {
    return _mm512_castsi512_pd(
        _mm512_and_si512(_mm512_castpd_si512(v), _mm512_set1_epi64(0x7fffffffffffffffll)));
}

// S and S' at x, as LogicalFns::Eval computes them.
__attribute__((always_inline)) inline void Eval8(const Params& c, __m512d x, __mmask8 want,
                                                 __m512d* s, __m512d* slope) {
    const __mmask8 upper = _mm512_cmp_pd_mask(x, c.w, _CMP_GE_OQ);
    const __m512d d = _mm512_mask_blend_pd(upper, _mm512_sub_pd(c.w, x), _mm512_sub_pd(x, c.w));
    const __m512d e1 = Exp8(d, want);
    const __m512d e2 = Exp8(_mm512_div_pd(Neg(d), c.p), want);
    const __m512d inner =
        _mm512_sub_pd(_mm512_add_pd(_mm512_sub_pd(e1, _mm512_mul_pd(c.p2, e2)), c.p2), c.one);
    const __m512d body = _mm512_mul_pd(c.a, inner);
    *s = _mm512_mask_blend_pd(upper, Neg(body), body);
    *slope = _mm512_mul_pd(c.a, _mm512_add_pd(e1, _mm512_mul_pd(c.p, e2)));
}

}  // namespace

void NewtonAvx512(const Kernel& k, NewtonList& list, float* out) {
    const Params c{_mm512_set1_pd(k.a), _mm512_set1_pd(k.w), _mm512_set1_pd(k.p),
                   _mm512_set1_pd(k.p2), _mm512_set1_pd(1.0)};
    const __m512d m = _mm512_set1_pd(k.m);
    const __m512d tol = _mm512_set1_pd(0.0001);
    // One step for every entry, the ones still moving kept (in order, at
    // the front of the list, behind the reading point) for the next step.
    for (int step = 0; step < 20 && list.count > 0; ++step) {
        const size_t n = list.count;
        const bool last = step == 19;  // the 20th step's iterate is the result
        size_t kept = 0;
        for (size_t j = 0; j < n; j += 8) {
            const __mmask8 valid = n - j >= 8 ? __mmask8(0xff) : __mmask8((1u << (n - j)) - 1);
            const __m512d x0 = _mm512_load_pd(list.x + j);
            const __m512d s0 = _mm512_load_pd(list.s + j);
            const __m512d d0 = _mm512_load_pd(list.d + j);
            const __m512d yd = _mm512_load_pd(list.y + j);
            const __m512d x1 = _mm512_sub_pd(x0, _mm512_div_pd(_mm512_sub_pd(s0, yd), d0));
            // x1 == x0 is a fixed point: every further step gives x1 again.
            const __mmask8 moving = _mm512_mask_cmp_pd_mask(valid, x1, x0, _CMP_NEQ_UQ);
            __mmask8 going = 0;
            __m512d s1 = _mm512_setzero_pd(), d1 = _mm512_setzero_pd();
            if (!last && moving != 0) {
                Eval8(c, x1, moving, &s1, &d1);
                const __m512d dx = _mm512_div_pd(Abs(_mm512_sub_pd(x1, x0)), x1);
                const __m512d dy = _mm512_div_pd(Abs(_mm512_sub_pd(s1, yd)), Abs(yd));
                const __mmask8 close = _mm512_cmp_pd_mask(dx, tol, _CMP_LT_OQ) &
                                       _mm512_cmp_pd_mask(dy, tol, _CMP_LT_OQ);
                going = moving & __mmask8(~close);
            }
            const unsigned done = unsigned(valid) & ~unsigned(going);
            if (done != 0) {
                const __m256 q = _mm512_cvtpd_ps(_mm512_div_pd(x1, m));
                // ClampedFraction: NaN and <= 0 give +0, above 1 gives 1.
                const __m256 pos = _mm256_maskz_mov_ps(_mm256_cmp_ps_mask(q, _mm256_setzero_ps(), _CMP_GT_OQ), q);
                const __m256i idx = _mm256_load_si256(reinterpret_cast<const __m256i*>(list.idx + j));
                _mm256_mask_i32scatter_ps(out, __mmask8(done), idx, _mm256_min_ps(pos, _mm256_set1_ps(1.0f)), 4);
            }
            if (going != 0) {
                const __m256i idx = _mm256_load_si256(reinterpret_cast<const __m256i*>(list.idx + j));
                _mm512_storeu_pd(list.x + kept, _mm512_maskz_compress_pd(going, x1));
                _mm512_storeu_pd(list.s + kept, _mm512_maskz_compress_pd(going, s1));
                _mm512_storeu_pd(list.d + kept, _mm512_maskz_compress_pd(going, d1));
                _mm512_storeu_pd(list.y + kept, _mm512_maskz_compress_pd(going, yd));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(list.idx + kept),
                                    _mm256_maskz_compress_epi32(going, idx));
                kept += size_t(__builtin_popcount(unsigned(going)));
            }
        }
        list.count = kept;
    }
    list.count = 0;
}

void ExpAvx512(const double* x, size_t n, double* out) {
    for (size_t i = 0; i < n; i += 8) {
        const __mmask8 lanes = n - i >= 8 ? __mmask8(0xff) : __mmask8((1u << (n - i)) - 1);
        const __m512d y = Exp8(_mm512_maskz_loadu_pd(lanes, x + i), lanes);
        _mm512_mask_storeu_pd(out + i, lanes, y);
    }
}

}  // namespace lm::logicle

#else  // no AVX-512 build: never chosen (BestPath() sees no CPU support), kept linkable

#include <cmath>

namespace lm::logicle {

void NewtonAvx512(const Kernel& k, NewtonList& list, float* out) { NewtonPortable(k, list, out); }

void ExpAvx512(const double* x, size_t n, double* out) {
    for (size_t i = 0; i < n; ++i) out[i] = std::exp(x[i]);
}

}  // namespace lm::logicle

#endif
