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

#if defined(__AVX2__) && defined(__FMA__)

#include <immintrin.h>

#include <cmath>

namespace lm::logicle {

namespace {

// exp(x) = 2^(k/N) exp(r), N = 128, |r| <= ln2 / 2N, from a table of 2^(j/N)
// and a short polynomial. Algorithm, constants and table: the exp of Arm's
// optimized-routines as found in musl (src/math/exp.c and exp_data.c),
// Copyright (c) 2018, Arm Limited, MIT licence. The C library of this system
// ships the same routine; its FMA build fuses the products below.
constexpr double kInvLn2N = 0x1.71547652b82fep0 * 128;
constexpr double kNegLn2HiN = -0x1.62e42fefa0000p-8;
constexpr double kNegLn2LoN = -0x1.cf79abc9e3b3ap-47;
constexpr double kShift = 0x1.8p52;
constexpr double kC2 = 0x1.ffffffffffdbdp-2;
constexpr double kC3 = 0x1.555555555543cp-3;
constexpr double kC4 = 0x1.55555cf172b91p-5;
constexpr double kC5 = 0x1.1111167a4d017p-7;

// Pairs (tail, scale bits - (j << 45)) for j = 0 .. 127.
alignas(64) const unsigned long long kExpTab[256] = {
    0x0ull, 0x3ff0000000000000ull,
    0x3c9b3b4f1a88bf6eull, 0x3feff63da9fb3335ull,
    0xbc7160139cd8dc5dull, 0x3fefec9a3e778061ull,
    0xbc905e7a108766d1ull, 0x3fefe315e86e7f85ull,
    0x3c8cd2523567f613ull, 0x3fefd9b0d3158574ull,
    0xbc8bce8023f98efaull, 0x3fefd06b29ddf6deull,
    0x3c60f74e61e6c861ull, 0x3fefc74518759bc8ull,
    0x3c90a3e45b33d399ull, 0x3fefbe3ecac6f383ull,
    0x3c979aa65d837b6dull, 0x3fefb5586cf9890full,
    0x3c8eb51a92fdeffcull, 0x3fefac922b7247f7ull,
    0x3c3ebe3d702f9cd1ull, 0x3fefa3ec32d3d1a2ull,
    0xbc6a033489906e0bull, 0x3fef9b66affed31bull,
    0xbc9556522a2fbd0eull, 0x3fef9301d0125b51ull,
    0xbc5080ef8c4eea55ull, 0x3fef8abdc06c31ccull,
    0xbc91c923b9d5f416ull, 0x3fef829aaea92de0ull,
    0x3c80d3e3e95c55afull, 0x3fef7a98c8a58e51ull,
    0xbc801b15eaa59348ull, 0x3fef72b83c7d517bull,
    0xbc8f1ff055de323dull, 0x3fef6af9388c8deaull,
    0x3c8b898c3f1353bfull, 0x3fef635beb6fcb75ull,
    0xbc96d99c7611eb26ull, 0x3fef5be084045cd4ull,
    0x3c9aecf73e3a2f60ull, 0x3fef54873168b9aaull,
    0xbc8fe782cb86389dull, 0x3fef4d5022fcd91dull,
    0x3c8a6f4144a6c38dull, 0x3fef463b88628cd6ull,
    0x3c807a05b0e4047dull, 0x3fef3f49917ddc96ull,
    0x3c968efde3a8a894ull, 0x3fef387a6e756238ull,
    0x3c875e18f274487dull, 0x3fef31ce4fb2a63full,
    0x3c80472b981fe7f2ull, 0x3fef2b4565e27cddull,
    0xbc96b87b3f71085eull, 0x3fef24dfe1f56381ull,
    0x3c82f7e16d09ab31ull, 0x3fef1e9df51fdee1ull,
    0xbc3d219b1a6fbffaull, 0x3fef187fd0dad990ull,
    0x3c8b3782720c0ab4ull, 0x3fef1285a6e4030bull,
    0x3c6e149289cecb8full, 0x3fef0cafa93e2f56ull,
    0x3c834d754db0abb6ull, 0x3fef06fe0a31b715ull,
    0x3c864201e2ac744cull, 0x3fef0170fc4cd831ull,
    0x3c8fdd395dd3f84aull, 0x3feefc08b26416ffull,
    0xbc86a3803b8e5b04ull, 0x3feef6c55f929ff1ull,
    0xbc924aedcc4b5068ull, 0x3feef1a7373aa9cbull,
    0xbc9907f81b512d8eull, 0x3feeecae6d05d866ull,
    0xbc71d1e83e9436d2ull, 0x3feee7db34e59ff7ull,
    0xbc991919b3ce1b15ull, 0x3feee32dc313a8e5ull,
    0x3c859f48a72a4c6dull, 0x3feedea64c123422ull,
    0xbc9312607a28698aull, 0x3feeda4504ac801cull,
    0xbc58a78f4817895bull, 0x3feed60a21f72e2aull,
    0xbc7c2c9b67499a1bull, 0x3feed1f5d950a897ull,
    0x3c4363ed60c2ac11ull, 0x3feece086061892dull,
    0x3c9666093b0664efull, 0x3feeca41ed1d0057ull,
    0x3c6ecce1daa10379ull, 0x3feec6a2b5c13cd0ull,
    0x3c93ff8e3f0f1230ull, 0x3feec32af0d7d3deull,
    0x3c7690cebb7aafb0ull, 0x3feebfdad5362a27ull,
    0x3c931dbdeb54e077ull, 0x3feebcb299fddd0dull,
    0xbc8f94340071a38eull, 0x3feeb9b2769d2ca7ull,
    0xbc87deccdc93a349ull, 0x3feeb6daa2cf6642ull,
    0xbc78dec6bd0f385full, 0x3feeb42b569d4f82ull,
    0xbc861246ec7b5cf6ull, 0x3feeb1a4ca5d920full,
    0x3c93350518fdd78eull, 0x3feeaf4736b527daull,
    0x3c7b98b72f8a9b05ull, 0x3feead12d497c7fdull,
    0x3c9063e1e21c5409ull, 0x3feeab07dd485429ull,
    0x3c34c7855019c6eaull, 0x3feea9268a5946b7ull,
    0x3c9432e62b64c035ull, 0x3feea76f15ad2148ull,
    0xbc8ce44a6199769full, 0x3feea5e1b976dc09ull,
    0xbc8c33c53bef4da8ull, 0x3feea47eb03a5585ull,
    0xbc845378892be9aeull, 0x3feea34634ccc320ull,
    0xbc93cedd78565858ull, 0x3feea23882552225ull,
    0x3c5710aa807e1964ull, 0x3feea155d44ca973ull,
    0xbc93b3efbf5e2228ull, 0x3feea09e667f3bcdull,
    0xbc6a12ad8734b982ull, 0x3feea012750bdabfull,
    0xbc6367efb86da9eeull, 0x3fee9fb23c651a2full,
    0xbc80dc3d54e08851ull, 0x3fee9f7df9519484ull,
    0xbc781f647e5a3ecfull, 0x3fee9f75e8ec5f74ull,
    0xbc86ee4ac08b7db0ull, 0x3fee9f9a48a58174ull,
    0xbc8619321e55e68aull, 0x3fee9feb564267c9ull,
    0x3c909ccb5e09d4d3ull, 0x3feea0694fde5d3full,
    0xbc7b32dcb94da51dull, 0x3feea11473eb0187ull,
    0x3c94ecfd5467c06bull, 0x3feea1ed0130c132ull,
    0x3c65ebe1abd66c55ull, 0x3feea2f336cf4e62ull,
    0xbc88a1c52fb3cf42ull, 0x3feea427543e1a12ull,
    0xbc9369b6f13b3734ull, 0x3feea589994cce13ull,
    0xbc805e843a19ff1eull, 0x3feea71a4623c7adull,
    0xbc94d450d872576eull, 0x3feea8d99b4492edull,
    0x3c90ad675b0e8a00ull, 0x3feeaac7d98a6699ull,
    0x3c8db72fc1f0eab4ull, 0x3feeace5422aa0dbull,
    0xbc65b6609cc5e7ffull, 0x3feeaf3216b5448cull,
    0x3c7bf68359f35f44ull, 0x3feeb1ae99157736ull,
    0xbc93091fa71e3d83ull, 0x3feeb45b0b91ffc6ull,
    0xbc5da9b88b6c1e29ull, 0x3feeb737b0cdc5e5ull,
    0xbc6c23f97c90b959ull, 0x3feeba44cbc8520full,
    0xbc92434322f4f9aaull, 0x3feebd829fde4e50ull,
    0xbc85ca6cd7668e4bull, 0x3feec0f170ca07baull,
    0x3c71affc2b91ce27ull, 0x3feec49182a3f090ull,
    0x3c6dd235e10a73bbull, 0x3feec86319e32323ull,
    0xbc87c50422622263ull, 0x3feecc667b5de565ull,
    0x3c8b1c86e3e231d5ull, 0x3feed09bec4a2d33ull,
    0xbc91bbd1d3bcbb15ull, 0x3feed503b23e255dull,
    0x3c90cc319cee31d2ull, 0x3feed99e1330b358ull,
    0x3c8469846e735ab3ull, 0x3feede6b5579fdbfull,
    0xbc82dfcd978e9db4ull, 0x3feee36bbfd3f37aull,
    0x3c8c1a7792cb3387ull, 0x3feee89f995ad3adull,
    0xbc907b8f4ad1d9faull, 0x3feeee07298db666ull,
    0xbc55c3d956dcaebaull, 0x3feef3a2b84f15fbull,
    0xbc90a40e3da6f640ull, 0x3feef9728de5593aull,
    0xbc68d6f438ad9334ull, 0x3feeff76f2fb5e47ull,
    0xbc91eee26b588a35ull, 0x3fef05b030a1064aull,
    0x3c74ffd70a5fddcdull, 0x3fef0c1e904bc1d2ull,
    0xbc91bdfbfa9298acull, 0x3fef12c25bd71e09ull,
    0x3c736eae30af0cb3ull, 0x3fef199bdd85529cull,
    0x3c8ee3325c9ffd94ull, 0x3fef20ab5fffd07aull,
    0x3c84e08fd10959acull, 0x3fef27f12e57d14bull,
    0x3c63cdaf384e1a67ull, 0x3fef2f6d9406e7b5ull,
    0x3c676b2c6c921968ull, 0x3fef3720dcef9069ull,
    0xbc808a1883ccb5d2ull, 0x3fef3f0b555dc3faull,
    0xbc8fad5d3ffffa6full, 0x3fef472d4a07897cull,
    0xbc900dae3875a949ull, 0x3fef4f87080d89f2ull,
    0x3c74a385a63d07a7ull, 0x3fef5818dcfba487ull,
    0xbc82919e2040220full, 0x3fef60e316c98398ull,
    0x3c8e5a50d5c192acull, 0x3fef69e603db3285ull,
    0x3c843a59ac016b4bull, 0x3fef7321f301b460ull,
    0xbc82d52107b43e1full, 0x3fef7c97337b9b5full,
    0xbc892ab93b470dc9ull, 0x3fef864614f5a129ull,
    0x3c74b604603a88d3ull, 0x3fef902ee78b3ff6ull,
    0x3c83c5ec519d7271ull, 0x3fef9a51fbc74c83ull,
    0xbc8ff7128fd391f0ull, 0x3fefa4afa2a490daull,
    0xbc8dae98e223747dull, 0x3fefaf482d8e67f1ull,
    0x3c8ec3bc41aa2008ull, 0x3fefba1bee615a27ull,
    0x3c842b94c3a9eb32ull, 0x3fefc52b376bba97ull,
    0x3c8a64a931d185eeull, 0x3fefd0765b6e4540ull,
    0xbc8e37bae43be3edull, 0x3fefdbfdad9cbe14ull,
    0x3c77893b4d91cd9dull, 0x3fefe7c1819e90d8ull,
    0x3c5305c14160cc89ull, 0x3feff3c22b8f71f1ull,
};

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
