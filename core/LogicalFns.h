#pragma once
// The logicle display function and its Newton inversion, shared by the
// transform's scalar code and the portable batch path so that both do the
// same operations in the same order (and so give the same bits). Not for the
// AVX2 unit (see core/TransBatch.h).
#include <cmath>

namespace lm::logicle {

struct LogicalFns {
    double a, w, p, p2;

    // S and S' at x from the same two exponentials.
    inline void Eval(double x, double* s, double* slope) const {
        const bool upper = x >= w;
        const double d = upper ? x - w : w - x;
        const double e1 = std::exp(d);
        const double e2 = std::exp(-d / p);
        const double body = a * (e1 - p2 * e2 + p2 - 1.0);
        *s = upper ? body : -body;
        *slope = a * (e1 + p * e2);
    }
    inline double S(double x) const {
        double s, sl;
        Eval(x, &s, &sl);
        return s;
    }
};

// Newton steps towards S(x) = yd from the table point x0, where S and S' are
// s0 and d0 (stored with the table, so the first step needs no
// exponentials). The tolerances are loose: the result is this particular
// iterate, so every path must take exactly these steps.
inline double LogicalNewton(const LogicalFns& fn, double x0, double s0, double d0, double yd) {
    const double ay = std::fabs(yd);
    double x1 = x0;
    for (int step = 0; step < 20; ++step) {
        x1 = x0 - (s0 - yd) / d0;
        if (x1 == x0) break;  // a fixed point: every further step gives x1 again
        double s1, d1;
        fn.Eval(x1, &s1, &d1);
        if (std::fabs(x1 - x0) / x1 < 0.0001 && std::fabs(s1 - yd) / ay < 0.0001) break;
        x0 = x1;
        s0 = s1;
        d0 = d1;
    }
    return x1;
}

// The clamped fraction of an inverse x on a display of width m.
inline float ClampedFraction(double x, double m) {
    const float f = float(x / m);
    if (!(f > 0.0f)) return 0.0f;  // also NaN
    if (f > 1.0f) return 1.0f;
    return f;
}

}  // namespace lm::logicle
