#include "core/Trans.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/Archive.h"
#include "base/Numbers.h"
#include "core/Scale.h"
#include "core/LogicalFns.h"
#include "core/Slices.h"
#include "core/TransBatch.h"

namespace {

std::atomic<uint64_t> g_nextTransId{1};

constexpr double kLn10 = 2.302585092994045684;
constexpr int32_t kMajorTick = 10;
constexpr int32_t kMinorTick = 5;
// Fewest pixels between two logicle ticks (closer ones merge into a block).
constexpr int64_t kMinTickGap = 3;
// No axis needs more ticks than this; it only stops a runaway loop.
constexpr int kMaxTicks = 100000;

bool Finite(float v) { return std::isfinite(v); }

// 10^k exactly for the powers a double holds exactly, else the nearest.
double Pow10(int k) {
    static const double exact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (k >= 0 && k <= 22) return exact[k];
    return std::pow(10.0, double(k));
}

// Fraction of a linear axis; shared by the scalar and the batch paths so that
// both give the same bits. NaN gives 0.
// Below min the quotient is negative (or -0 after underflow), above max it is
// at least 1, and NaN fails both tests: clamping the quotient is the same as
// testing v, and compiles to min/max instructions.
inline float LinearFraction(float v, float min, float /*max*/, float range) {
    float f = (v - min) / range;
    f = f > 0.0f ? f : 0.0f;
    f = f < 1.0f ? f : 1.0f;
    return f;
}

inline float LogFraction(float v, double min, double range) {
    if (!(v > 0.0f)) return 0.0f;  // 0, negatives and NaN have no logarithm
    const float f = float((std::log10(double(v)) - min) / range);
    if (f < 0.0f) return 0.0f;
    if (f > 1.0f) return 1.0f;
    return f;
}

std::unique_ptr<float[]> NewTable(int32_t n) {
    return std::unique_ptr<float[]>(new float[size_t(n)]);
}

bool TableSizeOk(int32_t n) { return n >= 1 && n <= kMaxBinTableSize; }

// Below this many events a column is converted on this thread.
constexpr size_t kMinSlice = size_t(1) << 16;

// Calls fn(e) for every event e < n whose bit is set in words (bit e % 32 of
// word e / 32).
template <class Fn>
void ForEachSetBit(const uint32_t* words, size_t n, Fn&& fn) {
    for (size_t w = 0; w * 32 < n; ++w) {
        uint32_t bits = words[w];
        while (bits) {
            const unsigned b = unsigned(__builtin_ctz(bits));
            bits &= bits - 1;
            const size_t e = w * 32 + b;
            if (e < n) fn(e);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------

int32_t FindBinIndex(const float* t, int32_t n, float v) {
    if (t == nullptr || n <= 0 || std::isnan(v)) return -1;
    if (v < t[0]) return 0;
    if (v > t[n - 1]) return n - 1;
    // The largest i with t[i] <= v. Halving without data-dependent branches:
    // this runs once per event when logicle fractions are computed.
    const float* base = t;
    int32_t len = n;
    while (len > 1) {
        const int32_t half = len / 2;
        base = (base[half] <= v) ? base + half : base;
        len -= half;
    }
    return int32_t(base - t);
}

// ---------------------------------------------------------------------------
// CTRANS (linear)

CTRANS::CTRANS() : m_id(g_nextTransId.fetch_add(1)) {}

CTRANS::CTRANS(float min, float max) : CTRANS() {
    if (!IsValidRange(min, max))
        throw std::invalid_argument("linear axis: min and max must be finite with min < max");
    m_min = min;
    m_max = max;
    m_range = max - min;
}

CTRANS::~CTRANS() = default;

bool CTRANS::IsValidRange(float min, float max) {
    if (!Finite(min) || !Finite(max) || !(min < max)) return false;
    const float range = max - min;
    return Finite(range) && range > 0.0f;
}

std::unique_ptr<CTRANS> CTRANS::CreateOfKind(int32_t kind) {
    switch (kind) {
        case kTransLinear: return std::make_unique<CTRANS>();
        case kTransLog: return std::make_unique<CLogTRANS>();
        case kTransLogical: return std::make_unique<CLogical>();
        default: return nullptr;
    }
}

void CTRANS::SetTable(std::unique_ptr<float[]> t, int32_t n) {
    m_table = std::move(t);
    m_tableSize = m_table ? n : 0;
}

bool CTRANS::BuildTable(int32_t n) { return BuildTable(m_min, m_max, n); }

bool CTRANS::BuildTable(float a, float b, int32_t n) {
    if (!TableSizeOk(n)) return false;
    auto t = NewTable(n);
    if (!FillTable(t.get(), a, b, n)) return false;
    SetTable(std::move(t), n);
    return true;
}

bool CTRANS::FillTable(float* buffer, int32_t n) const { return FillTable(buffer, m_min, m_max, n); }

bool CTRANS::FillTable(float* buffer, float a, float b, int32_t n) const {
    if (buffer == nullptr || !TableSizeOk(n) || !Finite(a) || !Finite(b)) return false;
    // Entry i is a + i (b - a) / n: the last entry is one step below b.
    const double step = (double(b) - double(a)) / double(n);
    for (int32_t i = 0; i < n; ++i) buffer[i] = float(double(a) + double(i) * step);
    return true;
}

void CTRANS::FreeTable() {
    m_table.reset();
    m_tableSize = 0;
}

int32_t CTRANS::GetBinIndex(float v) const { return FindBinIndex(m_table.get(), m_tableSize, v); }

bool CTRANS::SetRange(float min, float max) {
    if (!IsValidRange(min, max)) return false;
    m_min = min;
    m_max = max;
    m_range = max - min;
    Touch();
    return true;
}

float CTRANS::ToValue(float f) const { return f * m_range + m_min; }

float CTRANS::ToFraction(float v) const { return LinearFraction(v, m_min, m_max, m_range); }

float CTRANS::ToFractionUnclamped(float v) const { return (v - m_min) / m_range; }

void CTRANS::ToFractions(const float* values, size_t n, float* out) const {
    const float mn = m_min, mx = m_max, rg = m_range;
    size_t i = 0;
#if defined(__SSE2__)
    // Four at a time: maxps(f, 0) is "f > 0 ? f : 0" and minps(f, 1) is
    // "f < 1 ? f : 1", NaN included, so the bits equal LinearFraction's.
    const __m128 vmin = _mm_set1_ps(mn), vrange = _mm_set1_ps(rg);
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    for (; i + 4 <= n; i += 4) {
        __m128 f = _mm_div_ps(_mm_sub_ps(_mm_loadu_ps(values + i), vmin), vrange);
        f = _mm_min_ps(_mm_max_ps(f, zero), one);
        _mm_storeu_ps(out + i, f);
    }
#endif
    for (; i < n; ++i) out[i] = LinearFraction(values[i], mn, mx, rg);
}

void CTRANS::ToFractionsMasked(const float* values, size_t n, const uint32_t* words,
                               float* out) const {
    ForEachSetBit(words, n, [&](size_t e) { out[e] = ToFraction(values[e]); });
}

std::unique_ptr<CTRANS> CTRANS::Clone() const {
    auto c = std::make_unique<CTRANS>(m_min, m_max);
    CopyWordsTo(*c);
    return c;
}

bool CTRANS::IsEqual(const CTRANS& other) const {
    return GetType() == other.GetType() && m_min == other.m_min && m_max == other.m_max;
}

void CTRANS::Store(CArchive& ar) const {
    ar.WriteInt32(GetType());
    ar.WriteFloat(m_min);
    ar.WriteFloat(m_max);
    ar.WriteFloat(m_range);
    ar.WriteInt32(storedFlag ? 1 : 0);
    ar.WriteInt32(storedWordA);
    ar.WriteInt32(storedWordB);
}

void CTRANS::Load(CArchive& ar) {
    const float min = ar.ReadFloat();
    const float max = ar.ReadFloat();
    (void)ar.ReadFloat();  // the stored range; recomputed from min and max
    const int32_t flag = ar.ReadInt32();
    const int32_t wordA = ar.ReadInt32();
    const int32_t wordB = ar.ReadInt32();
    const bool ok = GetType() == kTransLog ? CLogTRANS::IsValidRange(min, max) : IsValidRange(min, max);
    if (!ok) throw CArchiveException("axis transform record: invalid range");
    m_min = min;
    m_max = max;
    m_range = max - min;
    storedFlag = flag != 0;
    storedWordA = wordA;
    storedWordB = wordB;
    FreeTable();
    Touch();
}

// Linear ticks: majors every power of ten that gives 1 to 10 of them, minor
// ticks between, labels as whole numbers ("k" for thousands).
void CTRANS::DrawTicks(CScale& scale) const {
    const double lo = m_min, hi = m_max;
    const double span = hi - lo;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(span > 0.0) || !std::isfinite(span)) return;

    // step = 10^k with span / step in [1, 10].
    int k = 0;
    double s = span;
    while (s < 1.0 && k > -400) {
        --k;
        s = span * Pow10(-k);
    }
    while (s > 10.0 && k < 400) {
        ++k;
        s = span / Pow10(k);
    }
    const double step = k >= 0 ? Pow10(k) : 1.0 / Pow10(-k);
    const int64_t minorCount = s > 5.0 ? 2 : 10;

    // Majors are whole multiples of step and minors whole multiples of
    // step / minorCount, computed from their index so that no error builds up.
    auto major = [&](int64_t j) { return double(j) * step; };
    auto minor = [&](int64_t q) { return double(q) * step / double(minorCount); };

    int64_t j = 0;
    if (lo < 0.0) {
        // Down from 0 until v <= min.
        j = -int64_t(std::ceil(-lo / step));
        while (major(j) > lo) --j;
        while (major(j + 1) <= lo) ++j;
    } else if (lo - step > 0.0) {
        // Up from 0 until v >= min - step.
        j = int64_t(std::ceil((lo - step) / step));
        while (major(j) < lo - step) ++j;
        while (j > 0 && major(j - 1) >= lo - step) --j;
    }
    int64_t q = j * minorCount;
    while (minor(q) < lo) ++q;

    // Minor ticks run up to v + 1 (so with steps of 10 and more they trail
    // one major behind). Below a step of 1 that bound would mean up to
    // 1 / minor step ticks; there each major takes its own minor ticks.
    const double minorReach = step >= 1.0 ? 1.0 : step;
    const int decimals = k < 0 ? -k : 0;
    int ticks = 0;
    while (minor(q) <= hi && ticks < kMaxTicks) {
        const double v = major(j);
        while (minor(q) < v + minorReach && ticks < kMaxTicks) {
            scale.Tick(kMinorTick, ToFraction(float(minor(q))));
            ++q;
            ++ticks;
        }
        const double x = v >= hi ? hi : v;
        std::string text;
        if (decimals > 0 && x < 10000.0) {
            text = lm::FormatFixed(x, decimals);
        } else if (x < 10000.0) {
            text = lm::FormatInt(int64_t(std::trunc(x)));
        } else if (x < 10000000.0) {
            text = lm::FormatInt(int64_t(std::trunc(x * 0.001))) + "k";
        }
        const float f = ToFraction(float(v));
        scale.Tick(kMajorTick, f);
        scale.Label(f, text, std::string());
        ++j;
        ++ticks;
    }
}

// ---------------------------------------------------------------------------
// CLogTRANS

namespace {
// Decades a float value can have.
constexpr float kMinDecade = -38.0f;
constexpr float kMaxDecade = 38.0f;
}  // namespace

CLogTRANS::CLogTRANS(float minDecade, float maxDecade) {
    if (!IsValidRange(minDecade, maxDecade))
        throw std::invalid_argument("log axis: decades must lie in -38..38 with min < max");
    m_min = minDecade;
    m_max = maxDecade;
    m_range = maxDecade - minDecade;
}

bool CLogTRANS::IsValidRange(float minDecade, float maxDecade) {
    return CTRANS::IsValidRange(minDecade, maxDecade) && minDecade >= kMinDecade &&
           maxDecade <= kMaxDecade;
}

// Decades are a narrower linear range: the shared setter does the rest.
bool CLogTRANS::SetRange(float min, float max) {
    if (!IsValidRange(min, max)) return false;
    return CTRANS::SetRange(min, max);
}

// FillTable is virtual: the shared builder fills with this class's values.
bool CLogTRANS::BuildTable(float a, float b, int32_t n) { return CTRANS::BuildTable(a, b, n); }

bool CLogTRANS::FillTable(float* buffer, float a, float /*b*/, int32_t n) const {
    if (buffer == nullptr || !TableSizeOk(n) || !Finite(a)) return false;
    // The step is the transform's own range / n, whatever b is.
    const double step = double(m_range) / double(n);
    for (int32_t i = 0; i < n; ++i) buffer[i] = float(std::pow(10.0, double(a) + double(i) * step));
    return true;
}

float CLogTRANS::ToValue(float f) const {
    return float(std::pow(10.0, double(f) * double(m_range) + double(m_min)));
}

float CLogTRANS::ToFraction(float v) const { return LogFraction(v, m_min, m_range); }

float CLogTRANS::ToFractionUnclamped(float v) const {
    return float((std::log10(double(v)) - double(m_min)) / double(m_range));
}

void CLogTRANS::ToFractions(const float* values, size_t n, float* out) const {
    const double mn = m_min, rg = m_range;
    lm::ForSlices(n, kMinSlice, [mn, rg, values, out](size_t b, size_t e) {
        for (size_t i = b; i < e; ++i) out[i] = LogFraction(values[i], mn, rg);
    });
}

std::unique_ptr<CTRANS> CLogTRANS::Clone() const {
    auto c = std::make_unique<CLogTRANS>(m_min, m_max);
    CopyWordsTo(*c);
    return c;
}

void CLogTRANS::Load(CArchive& ar) { CTRANS::Load(ar); }

// One major tick per decade labelled "10" with the decade as exponent, minor
// ticks at 2..9 times each decade.
void CLogTRANS::DrawTicks(CScale& scale) const {
    const double lo = m_min, hi = m_max;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return;
    int64_t d = int64_t(std::trunc(lo));
    int k = 1;
    while (k < 10 && double(d) + std::log10(double(k)) < lo) ++k;
    int ticks = 0;
    while (double(d) <= hi && ticks < kMaxTicks) {
        const double decade = std::pow(10.0, double(d));
        if (k < 10) {
            for (int kk = k; kk <= 9; ++kk) scale.Tick(kMinorTick, ToFraction(float(kk * decade)));
        }
        const float f = ToFraction(float(decade));
        scale.Tick(kMajorTick, f);
        scale.Label(f, "10", lm::FormatInt(d));
        ++d;
        k = 2;
        ++ticks;
    }
}

// ---------------------------------------------------------------------------
// CLogical

using lm::logicle::LogicalFns;

CLogical::CLogical() = default;

CLogical::CLogical(float T, float r, float M) {
    std::string why;
    if (!CheckParams(T, r, M, &why)) throw std::invalid_argument("Logical axis: " + why);
    Apply(T, r, float(double(M) * kLn10));
}

CLogical::~CLogical() = default;

float CLogical::LogicalSolveP(float wf) {
    const double w = wf;
    double p = 1.0;
    for (int i = 0; i < 20; ++i) {
        const double lp = std::log(p);
        const double g = 2.0 * p * lp / (p + 1.0) - w;
        const double dg = 2.0 * (p + lp + 1.0) / ((p + 1.0) * (p + 1.0));
        const double np = p - g / dg;
        const double lnp = std::log(np);
        const double gn = 2.0 * np * lnp / (np + 1.0) - w;
        const bool done = std::fabs(np - p) < 0.0001 && std::fabs(gn) < 0.0001;
        p = np;
        if (done || !std::isfinite(p)) break;
    }
    return float(p);
}

bool CLogical::Derive(float T, float r, float m, Derived* out, std::string* why) {
    auto fail = [&](const char* text) {
        if (why) *why = text;
        return false;
    };
    if (!Finite(T) || !Finite(r) || !Finite(m)) return fail("parameters must be finite");
    if (!(T > 0.0f)) return fail("the top T must be above 0");
    if (!(m > 0.0f)) return fail("the width M must be above 0");
    const double R = std::fabs(std::trunc(double(r)));
    if (R < 1.0) return fail("the negative range r must be at least 1 in size");
    if (!(r < T)) return fail("the negative range r must lie below the top T");
    const float w = float((double(m) - std::log(double(T) / R)) / 2.0);
    if (!Finite(w) || w < 0.0f) return fail("T / |r| is too large for the width M");
    const float p = LogicalSolveP(w);
    if (!Finite(p) || !(p > 0.0f)) return fail("no solution for p");
    const float a = float(double(T) * std::exp(double(w) - double(m)));
    if (!Finite(a) || !(a > 0.0f)) return fail("the scale factor a is out of range");
    out->w = w;
    out->p = p;
    out->a = a;
    out->p2 = p * p;
    if (!Finite(out->p2)) return fail("p is out of range");
    // The table must be finite and ascending for the inversion to start well.
    const LogicalFns fn{out->a, out->w, out->p, out->p2};
    double prev = -std::numeric_limits<double>::infinity();
    for (int32_t i = 0; i < kTablePoints; ++i) {
        const float x = float(double(i) * double(m) / double(kTablePoints - 1));
        const float s = float(fn.S(x));
        if (!Finite(s) || double(s) < prev) return fail("the display function overflows");
        prev = s;
    }
    return true;
}

bool CLogical::CheckParams(float T, float r, float M, std::string* why) {
    if (!Finite(M) || !(M > 0.0f)) {
        if (why) *why = "the width M must be above 0";
        return false;
    }
    Derived d;
    return Derive(T, r, float(double(M) * kLn10), &d, why);
}

void CLogical::Apply(float T, float r, float m) {
    m_T = T;
    m_r = r;
    m_m = m;
    m_min = r;
    m_max = T;
    m_range = T - r;
    LogicalInit();
    Touch();
}

void CLogical::LogicalInit() {
    Derived d{};
    // Parameters reaching here were checked; a failure leaves the old tables.
    if (!Derive(m_T, m_r, m_m, &d, nullptr)) return;
    m_w = d.w;
    m_p = d.p;
    m_a = d.a;
    m_p2 = d.p2;
    m_n = kTablePoints;
    // One more entry, a NaN (no value is at or above it), stops the batch
    // path's walk up the table.
    m_values.reset(new float[size_t(m_n) + 1]);
    m_values[size_t(m_n)] = std::numeric_limits<float>::quiet_NaN();
    m_positions.reset(new float[size_t(m_n)]);
    m_startS.reset(new double[size_t(m_n)]);
    m_startSlope.reset(new double[size_t(m_n)]);
    const LogicalFns fn{m_a, m_w, m_p, m_p2};
    for (int32_t i = 0; i < m_n; ++i) {
        const float x = float(double(i) * double(m_m) / double(m_n - 1));
        m_positions[size_t(i)] = x;
        fn.Eval(x, &m_startS[size_t(i)], &m_startSlope[size_t(i)]);
        m_values[size_t(i)] = float(m_startS[size_t(i)]);
    }
    m_binStart.reset(new uint16_t[lm::logicle::kMaxBins]);
    lm::logicle::BuildBins(m_values.get(), m_n, m_binStart.get(), &m_bins);
}

void CLogical::FillKernel(lm::logicle::Kernel* k) const {
    k->a = m_a;
    k->w = m_w;
    k->p = m_p;
    k->p2 = m_p2;
    k->m = m_m;
    k->T = m_T;
    k->r = m_r;
    k->v0 = m_values[0];
    k->n = m_n;
    k->values = m_values.get();
    k->positions = m_positions.get();
    k->startS = m_startS.get();
    k->startSlope = m_startSlope.get();
    k->binStart = m_binStart.get();
    k->keyGap = m_bins.keyGap;
    k->gapSize = m_bins.gapSize;
    k->keyLow = m_bins.keyLow;
    k->binShift = m_bins.binShift;
    k->binCount = m_bins.binCount;
    k->binSteps = m_bins.binSteps;
}

bool CLogical::SetParams(float T, float r, float M) {
    if (!CheckParams(T, r, M)) return false;
    Apply(T, r, float(double(M) * kLn10));
    return true;
}

bool CLogical::SetNegativeRange(float r) {
    Derived d;
    if (!Derive(m_T, r, m_m, &d, nullptr)) return false;
    Apply(m_T, r, m_m);
    return true;
}

bool CLogical::SetRange(float min, float max) {
    Derived d;
    if (!Derive(max, min, m_m, &d, nullptr)) return false;
    Apply(max, min, m_m);
    return true;
}

double CLogical::LogicalS(double x) const { return LogicalFns{m_a, m_w, m_p, m_p2}.S(x); }

double CLogical::LogicalSlope(double x) const {
    double s, sl;
    LogicalFns{m_a, m_w, m_p, m_p2}.Eval(x, &s, &sl);
    return sl;
}

double CLogical::LogicalInverse(float y) const {
    if (std::isnan(y) || !m_values) return std::numeric_limits<double>::quiet_NaN();
    const int32_t i = FindBinIndex(m_values.get(), m_n, y);
    if (i < 0) return std::numeric_limits<double>::quiet_NaN();
    const LogicalFns fn{m_a, m_w, m_p, m_p2};
    // Table S and S' at the start point, as Eval computed them.
    return lm::logicle::LogicalNewton(fn, m_positions[size_t(i)], m_startS[size_t(i)],
                                      m_startSlope[size_t(i)], y);
}

inline float CLogical::FractionOf(float v) const {
    if (std::isnan(v) || !m_values) return 0.0f;
    // T itself is the top of the axis, as max is on a linear one (S(m) lies
    // a little above T, so the inversion alone would stop just short of 1).
    if (v >= m_T) return 1.0f;
    if (v < m_r) return 0.0f;
    // Below S(0) the root lies left of 0, and the Newton steps from x = 0
    // stay left of it (S is concave there): the clamped fraction is 0.
    if (v < m_values[0]) return 0.0f;
    // The display starts at S(0), above r, and S(m) is only close to T.
    return lm::logicle::ClampedFraction(LogicalInverse(v), double(m_m));
}

float CLogical::ToFraction(float v) const { return FractionOf(v); }

float CLogical::ToFractionUnclamped(float v) const {
    return float(LogicalInverse(v) / double(m_m));
}

void CLogical::ToFractions(const float* values, size_t n, float* out) const {
    if (!m_values) {
        std::fill(out, out + n, 0.0f);
        return;
    }
    lm::logicle::Kernel k;
    FillKernel(&k);
    lm::logicle::Fractions(k, values, n, out);
}

void CLogical::ToFractionsMasked(const float* values, size_t n, const uint32_t* words,
                                 float* out) const {
    if (!m_values) {
        ForEachSetBit(words, n, [&](size_t e) { out[e] = 0.0f; });
        return;
    }
    lm::logicle::Kernel k;
    FillKernel(&k);
    lm::logicle::FractionsMasked(k, values, n, words, out);
}

float CLogical::ToValue(float f) const { return float(LogicalS(double(f) * double(m_m))); }

bool CLogical::BuildTable(int32_t n) { return BuildTable(m_r, m_T, n); }

// FillTable is virtual: the shared builder fills with this class's values.
bool CLogical::BuildTable(float a, float b, int32_t n) { return CTRANS::BuildTable(a, b, n); }

bool CLogical::FillTable(float* buffer, int32_t n) const { return FillTable(buffer, m_r, m_T, n); }

bool CLogical::FillTable(float* buffer, float /*a*/, float /*b*/, int32_t n) const {
    if (buffer == nullptr || !TableSizeOk(n) || !m_values) return false;
    // Entry i is S at i m / (n - 1); a single entry is S(0).
    const double denom = n > 1 ? double(n - 1) : 1.0;
    for (int32_t i = 0; i < n; ++i) buffer[i] = float(LogicalS(double(i) * double(m_m) / denom));
    return true;
}

std::unique_ptr<CTRANS> CLogical::Clone() const {
    auto c = std::make_unique<CLogical>();
    if (m_values) c->Apply(m_T, m_r, m_m);
    CopyWordsTo(*c);
    return c;
}

bool CLogical::IsEqual(const CTRANS& other) const {
    if (!CTRANS::IsEqual(other)) return false;
    return m_m == static_cast<const CLogical&>(other).m_m;
}

void CLogical::Store(CArchive& ar) const {
    ar.WriteInt32(kTransLogical);
    ar.WriteFloat(m_T);
    ar.WriteFloat(m_r);
    ar.WriteFloat(m_m);
    ar.WriteFloat(m_w);
    ar.WriteInt32(storedFlag ? 1 : 0);
}

void CLogical::Load(CArchive& ar) {
    const float T = ar.ReadFloat();
    const float r = ar.ReadFloat();
    const float m = ar.ReadFloat();
    (void)ar.ReadFloat();  // the stored w; recomputed
    const int32_t flag = ar.ReadInt32();
    Derived d;
    std::string why;
    if (!Derive(T, r, m, &d, &why)) throw CArchiveException("Logical axis record: " + why);
    Apply(T, r, m);
    storedFlag = flag != 0;
    FreeTable();
}

// Major ticks at 0 and at every decade up to T, labels where they do not
// crowd the previous one, minor ticks at 2..9 times each decade below T.
void CLogical::DrawTicks(CScale& scale) const {
    if (!m_values || !(m_T > 0.0f)) return;
    const int64_t dmax = int64_t(std::trunc(std::log10(double(m_T))));
    // Around 0 the first decades (and their minor ticks) fall within a pixel
    // or two of each other and would merge into a black block: a tick closer
    // than kMinTickGap pixels to one already drawn is left out. The decades
    // go first, so a minor tick gives way to a major one.
    std::vector<int32_t> drawn;
    const auto room = [&](float f) {
        const int32_t p = scale.ToPixels(f);
        for (int32_t q : drawn)
            if (std::abs(int64_t(p) - q) < kMinTickGap) return false;
        drawn.push_back(p);
        return true;
    };
    float prev = ToFraction(0.0f);
    room(prev);
    scale.Tick(kMajorTick, prev);
    scale.Label(prev, "0", std::string());
    for (int64_t d = 0; d <= dmax; ++d) {
        const float f = ToFraction(float(std::pow(10.0, double(d))));
        if (room(f)) scale.Tick(kMajorTick, f);
        if (f - prev > 0.1f) scale.Label(f, "10", lm::FormatInt(d));
        prev = f;
    }
    for (int64_t d = 0; d <= dmax; ++d) {
        const double decade = std::pow(10.0, double(d));
        for (int k = 2; k <= 9 && double(k) * decade < double(m_T); ++k) {
            const float f = ToFraction(float(double(k) * decade));
            if (room(f)) scale.Tick(kMinorTick, f);
        }
    }
}

// ---------------------------------------------------------------------------

std::unique_ptr<CTRANS> LoadTrans(CArchive& ar) {
    const int32_t kind = ar.ReadInt32();
    std::unique_ptr<CTRANS> t = CTRANS::CreateOfKind(kind);
    if (!t) throw CArchiveException("axis transform record: unknown kind " + lm::FormatInt(kind));
    t->Load(ar);
    return t;
}
