#pragma once
// The constants and table of the exp inside the vector paths of the logicle
// conversion (core/TransBatchAvx2.cpp, core/TransBatchAvx512.cpp). Data only,
// no functions: files built for other instruction sets include it safely.
//
// exp(x) = 2^(k/N) exp(r), N = 128, |r| <= ln2 / 2N, from a table of 2^(j/N)
// and a short polynomial. Algorithm, constants and table: the exp of Arm's
// optimized-routines as found in musl (src/math/exp.c and exp_data.c),
// Copyright (c) 2018, Arm Limited, MIT licence. The C library of this system
// ships the same routine; its FMA build fuses the products below.

namespace lm::logicle {

inline constexpr double kInvLn2N = 0x1.71547652b82fep0 * 128;
inline constexpr double kNegLn2HiN = -0x1.62e42fefa0000p-8;
inline constexpr double kNegLn2LoN = -0x1.cf79abc9e3b3ap-47;
inline constexpr double kShift = 0x1.8p52;
inline constexpr double kC2 = 0x1.ffffffffffdbdp-2;
inline constexpr double kC3 = 0x1.555555555543cp-3;
inline constexpr double kC4 = 0x1.55555cf172b91p-5;
inline constexpr double kC5 = 0x1.1111167a4d017p-7;

// Pairs (tail, scale bits - (j << 45)) for j = 0 .. 127.
// (16-byte aligned: a pair is loaded whole.)
extern const unsigned long long kExpTab[256];

}  // namespace lm::logicle
