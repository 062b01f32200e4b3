// The logicle batch conversion (ToFractions, ToFractionsMasked) on every path
// this machine has, bit for bit against the scalar code as it stood before
// the batch paths existed (kept here as the reference), and the vector exp
// against std::exp.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "core/DataSet.h"
#include "core/EventMatrix.h"
#include "core/Slices.h"
#include "core/Trans.h"
#include "core/TransBatch.h"
#include "tests/support/Corpus.h"

namespace {

using lm::logicle::Path;

// ---- the reference: the scalar conversion, operation for operation ----

struct RefFns {
    double a, w, p, p2;
    void Eval(double x, double* s, double* slope) const {
        const bool upper = x >= w;
        const double d = upper ? x - w : w - x;
        const double e1 = std::exp(d);
        const double e2 = std::exp(-d / p);
        const double body = a * (e1 - p2 * e2 + p2 - 1.0);
        *s = upper ? body : -body;
        *slope = a * (e1 + p * e2);
    }
};

float RefFraction(const CLogical& t, float v) {
    const float* values = t.GetValueTable();
    if (std::isnan(v) || !values) return 0.0f;
    if (v >= t.GetT()) return 1.0f;
    if (v < t.GetR()) return 0.0f;
    if (v < values[0]) return 0.0f;
    const int32_t i = FindBinIndex(values, CLogical::kTablePoints, v);
    const float p = t.GetP();
    const RefFns fn{t.GetA(), t.GetW(), p, p * p};
    const double yd = v;
    const double ay = std::fabs(yd);
    double x0 = t.GetPositionTable()[i];
    double s0, d0;
    fn.Eval(x0, &s0, &d0);
    double x1 = x0;
    for (int step = 0; step < 20; ++step) {
        x1 = x0 - (s0 - yd) / d0;
        if (x1 == x0) break;
        double s1, d1;
        fn.Eval(x1, &s1, &d1);
        if (std::fabs(x1 - x0) / x1 < 0.0001 && std::fabs(s1 - yd) / ay < 0.0001) break;
        x0 = x1;
        s0 = s1;
        d0 = d1;
    }
    const float f = float(x1 / double(t.GetM()));
    if (!(f > 0.0f)) return 0.0f;
    if (f > 1.0f) return 1.0f;
    return f;
}

uint32_t Bits(float v) {
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return b;
}

float FromBits(uint32_t b) {
    float v;
    std::memcpy(&v, &b, 4);
    return v;
}

// Up to n ulps either side of v (finite neighbours only).
void AddNeighbours(std::vector<float>* out, float v, int n) {
    float lo = v, hi = v;
    out->push_back(v);
    for (int i = 0; i < n; ++i) {
        lo = std::nextafter(lo, -INFINITY);
        hi = std::nextafter(hi, INFINITY);
        out->push_back(lo);
        out->push_back(hi);
    }
}

struct Params {
    float T, r, M;
};
const Params kParams[] = {
    {262144.0f, -10.0f, 4.5f}, {1e6f, -100.0f, 6.0f}, {1024.0f, -1.0f, 3.5f},
    {262144.0f, -100.0f, 4.5f}, {1e7f, -10.0f, 7.0f}, {100.0f, -30.0f, 2.0f},
    // The last table value below T (999.9 here; 68.2 for the narrow one).
    {1000.0f, -10.0f, 2.0f}, {100.0f, -1000.0f, 1.125f},
};

const char* PathName(Path p) {
    return p == Path::kAvx512 ? "AVX-512" : p == Path::kAvx2 ? "AVX2" : "portable";
}

// Runs body once per path this machine has, limited to it; restores the
// limit after.
template <class Body>
void ForEachPath(Body&& body) {
    for (Path p : {Path::kPortable, Path::kAvx2, Path::kAvx512}) {
        if (int(p) > int(lm::logicle::BestPath())) {
            std::printf("  (path %s not on this machine: not run)\n", PathName(p));
            continue;
        }
        SCOPED_TRACE(PathName(p));
        lm::logicle::LimitPath(p);
        body(p);
    }
    lm::logicle::LimitPath(Path::kAvx512);
}

// Every value through ToFractions against the reference; the first few
// differences are reported with their bit patterns.
void ExpectBatchEqualsReference(const CLogical& t, const std::vector<float>& v,
                                const std::vector<float>& want) {
    std::vector<float> out(v.size(), -7.0f);
    t.ToFractions(v.data(), v.size(), out.data());
    int reported = 0;
    size_t bad = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        if (Bits(out[i]) == Bits(want[i])) continue;
        ++bad;
        if (reported++ < 5)
            ADD_FAILURE() << "value 0x" << std::hex << Bits(v[i]) << " (" << v[i] << ") gives 0x"
                          << Bits(out[i]) << ", reference 0x" << Bits(want[i]);
    }
    EXPECT_EQ(bad, 0u) << "of " << v.size();
}

std::vector<float> Reference(const CLogical& t, const std::vector<float>& v) {
    std::vector<float> want(v.size());
    for (size_t i = 0; i < v.size(); ++i) want[i] = RefFraction(t, v[i]);
    return want;
}

// Every 2039th bit pattern over the whole float range (about 2.1 million,
// about half of them between r and T), starting at an odd offset.
std::vector<float> DenseSample() {
    std::vector<float> v;
    v.reserve((uint64_t(1) << 32) / 2039 + 1);
    for (uint64_t b = 17; b < (uint64_t(1) << 32); b += 2039) v.push_back(FromBits(uint32_t(b)));
    return v;
}

// Specials, ends and every table value with its neighbours.
std::vector<float> EdgeValues(const CLogical& t) {
    std::vector<float> v = {NAN, -NAN, FromBits(0x7f800001u), FromBits(0xffc12345u), INFINITY,
                            -INFINITY, 0.0f, -0.0f, FLT_MAX, -FLT_MAX, FLT_MIN, -FLT_MIN,
                            FLT_TRUE_MIN, -FLT_TRUE_MIN, FromBits(0x007fffffu), FromBits(0x807fffffu),
                            1.0f, -1.0f, 1e-30f, -1e-30f};
    AddNeighbours(&v, t.GetT(), 4);
    AddNeighbours(&v, t.GetR(), 4);
    for (int i = 0; i < CLogical::kTablePoints; ++i) AddNeighbours(&v, t.GetValueTable()[i], 4);
    // Between the last table value and T (some parameters leave a gap).
    const float last = t.GetValueTable()[CLogical::kTablePoints - 1];
    if (last < t.GetT()) {
        const uint32_t a = Bits(last), b = Bits(t.GetT());
        const uint32_t step = last > 0.0f ? std::max<uint32_t>(1, (b - a) / 5000) : 1u;
        if (last > 0.0f)
            for (uint32_t x = a; x < b; x += step) v.push_back(FromBits(x));
        AddNeighbours(&v, last, 4);
    }
    // Values whose inverse lands on the top (fraction 1 before T) and near w.
    AddNeighbours(&v, float(t.LogicalS(double(t.GetM()))), 4);
    AddNeighbours(&v, float(t.LogicalS(double(t.GetW()))), 4);
    return v;
}

// ---- bin lookup ----

TEST(LogicleBatch, BinLookupEqualsFindBinIndex) {
    for (const Params& p : kParams) {
        SCOPED_TRACE(std::to_string(p.T) + " " + std::to_string(p.r) + " " + std::to_string(p.M));
        const CLogical t(p.T, p.r, p.M);
        const float* values = t.GetValueTable();
        const int32_t n = CLogical::kTablePoints;
        std::vector<uint16_t> start(lm::logicle::kMaxBins);
        lm::logicle::Bins bins;
        lm::logicle::BuildBins(values, n, start.data(), &bins);
        ASSERT_GE(bins.binCount, 1u);
        ASSERT_LE(bins.binCount, lm::logicle::kMaxBins);
        // A fine index: a value's bin is at most a few steps above its start.
        EXPECT_LE(bins.binSteps, 4);
        std::vector<float> padded(values, values + n);
        padded.push_back(NAN);  // as CLogical keeps it
        lm::logicle::Kernel k{};
        k.n = n;
        k.values = padded.data();
        k.binStart = start.data();
        k.keyGap = bins.keyGap;
        k.gapSize = bins.gapSize;
        k.keyLow = bins.keyLow;
        k.binShift = bins.binShift;
        k.binCount = bins.binCount;
        k.binSteps = bins.binSteps;
        std::vector<float> v = EdgeValues(t);
        // Both ends of every bucket and their neighbours (order keys back
        // to floats, the squeezed gap around 0 restored).
        auto fromKey = [](uint32_t key) {
            return FromBits((key & 0x80000000u) ? (key & 0x7fffffffu) : ~key);
        };
        for (uint64_t b = 0; b <= bins.binCount; ++b) {
            uint64_t q = uint64_t(bins.keyLow) + (b << bins.binShift);
            for (int64_t d : {-2, -1, 0, 1}) {
                uint64_t key = uint64_t(int64_t(q) + d);
                if (key >= bins.keyGap) key += bins.gapSize;
                if (key <= 0xffffffffu) v.push_back(fromKey(uint32_t(key)));
            }
        }
        for (float x : {-0x1p-20f, 0x1p-20f}) AddNeighbours(&v, x, 3);
        for (uint64_t b = 5; b < (uint64_t(1) << 32); b += 4099) v.push_back(FromBits(uint32_t(b)));
        for (float x : v)
            ASSERT_EQ(lm::logicle::FindBin(k, x), FindBinIndex(values, n, x)) << std::hexfloat << x;
    }
}

// ---- whole conversion against the reference ----

TEST(LogicleBatch, DenseSampleAndEdgesEqualScalarOnEveryPath) {
    const std::vector<float> dense = DenseSample();
    for (const Params& p : kParams) {
        SCOPED_TRACE(std::to_string(p.T) + " " + std::to_string(p.r) + " " + std::to_string(p.M));
        const CLogical t(p.T, p.r, p.M);
        std::vector<float> v = EdgeValues(t);
        v.insert(v.end(), dense.begin(), dense.end());
        // Between r and T, where the steps run: a second, denser sample.
        for (uint32_t b = 3; b < Bits(t.GetT()); b += 997) v.push_back(FromBits(b));
        for (uint32_t b = 0x80000000u; b <= Bits(t.GetR()); b += 997) v.push_back(FromBits(b));
        const std::vector<float> want = Reference(t, v);
        // The scalar call itself still is the reference.
        for (size_t i = 0; i < v.size(); i += 7) ASSERT_EQ(Bits(t.ToFraction(v[i])), Bits(want[i])) << i;
        ForEachPath([&](Path) { ExpectBatchEqualsReference(t, v, want); });
    }
}

TEST(LogicleBatch, ShortAndOddLengthsAndOffsets) {
    const CLogical t(262144.0f, -10.0f, 4.5f);
    std::vector<float> v;
    for (int i = 0; i < 3000; ++i) v.push_back(float(std::pow(10.0, -1.5 + 7.0 * i / 3000.0)) * (i % 5 == 0 ? -1.0f : 1.0f));
    const std::vector<float> want = Reference(t, v);
    ForEachPath([&](Path) {
        for (size_t off : {size_t(0), size_t(1), size_t(3), size_t(13)}) {
            for (size_t len : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(5), size_t(7), size_t(8),
                               size_t(9), size_t(15), size_t(17), size_t(31), size_t(33), size_t(511), size_t(512), size_t(513), size_t(1023),
                               size_t(1024), size_t(1025), size_t(2049), size_t(2900)}) {
                std::vector<float> out(len + 2, -7.0f);
                t.ToFractions(v.data() + off, len, out.data() + 1);
                ASSERT_EQ(Bits(out[0]), Bits(-7.0f));
                ASSERT_EQ(Bits(out[len + 1]), Bits(-7.0f)) << "wrote past the end, length " << len;
                for (size_t i = 0; i < len; ++i)
                    ASSERT_EQ(Bits(out[i + 1]), Bits(want[off + i])) << "offset " << off << " length " << len << " at " << i;
            }
        }
    });
}

// Masks: empty, sparse, half, dense, and set bits past n in the last word;
// entries without a bit keep what they held.
TEST(LogicleBatch, MaskedEqualsScalarAndLeavesOthers) {
    const CLogical t(1e6f, -100.0f, 6.0f);
    std::vector<float> v = EdgeValues(t);
    const std::vector<float> dense = DenseSample();
    v.insert(v.end(), dense.begin(), dense.begin() + 200003);
    const std::vector<float> want = Reference(t, v);
    const size_t words = (v.size() + 31) / 32;
    ASSERT_NE(v.size() % 32, 0u);
    uint64_t s = 88172645463325252ull;
    auto rnd = [&s] {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    };
    struct Case {
        const char* name;
        int kind;
    };
    ForEachPath([&](Path) {
        for (const Case& c : {Case{"empty", 0}, Case{"sparse", 1}, Case{"half", 2}, Case{"dense", 3}, Case{"all", 4}}) {
            SCOPED_TRACE(c.name);
            std::vector<uint32_t> mask(words);
            for (uint32_t& w : mask) {
                const uint32_t r = uint32_t(rnd());
                w = c.kind == 0 ? 0u : c.kind == 1 ? (r % 61 == 0 ? 1u << (r % 32) : 0u)
                  : c.kind == 2 ? r : c.kind == 3 ? ~(1u << (r % 32)) : ~0u;
            }
            mask.back() |= 0x80000000u;  // past n: must not be touched
            std::vector<float> out(v.size() + 1, -7.0f);
            t.ToFractionsMasked(v.data(), v.size(), mask.data(), out.data());
            size_t set = 0;
            for (size_t i = 0; i < v.size(); ++i) {
                const bool on = (mask[i / 32] >> (i % 32)) & 1u;
                set += on;
                ASSERT_EQ(Bits(out[i]), Bits(on ? want[i] : -7.0f)) << i << " value " << v[i];
            }
            ASSERT_EQ(Bits(out[v.size()]), Bits(-7.0f));
            if (c.kind == 0) {
                EXPECT_EQ(set, 0u);
            }
            if (c.kind == 4) {
                EXPECT_EQ(set, v.size());
            }
        }
    });
}

// Long columns are split over threads; a system without threads still gets
// every value right.
TEST(LogicleBatch, LongColumnsWithAndWithoutThreads) {
    const CLogical t(262144.0f, -10.0f, 4.5f);
    std::vector<float> v(600001);
    uint64_t s = 7;
    for (float& x : v) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        const double u = double(s >> 11) * 0x1p-53;
        x = float(std::pow(10.0, -1.0 + 6.5 * u) - 20.0);
    }
    const std::vector<float> want = Reference(t, v);
    std::vector<uint32_t> mask((v.size() + 31) / 32, 0x0f0f0f0fu);
    auto check = [&] {
        ExpectBatchEqualsReference(t, v, want);
        std::vector<float> out(v.size(), -7.0f);
        t.ToFractionsMasked(v.data(), v.size(), mask.data(), out.data());
        for (size_t i = 0; i < v.size(); ++i)
            ASSERT_EQ(Bits(out[i]), Bits(((mask[i / 32] >> (i % 32)) & 1u) ? want[i] : -7.0f)) << i;
    };
    ForEachPath([&](Path) { check(); });
    // Lengths just below whole tasks (of 2^15 events): the last task must
    // stop at the end and write nothing behind it.
    for (size_t len : {size_t(5 * 32768 - 1), size_t(5 * 32768 - 2), size_t(5 * 32768 + 1)}) {
        std::vector<float> out(len + 40000, -7.0f);
        t.ToFractions(v.data(), len, out.data());
        std::vector<float> masked(len + 40000, -7.0f);
        t.ToFractionsMasked(v.data(), len, mask.data(), masked.data());
        for (size_t i = 0; i < len; i += 97) ASSERT_EQ(Bits(out[i]), Bits(want[i])) << len << " " << i;
        for (size_t i = len; i < out.size(); ++i) {
            ASSERT_EQ(Bits(out[i]), Bits(-7.0f)) << "wrote behind the end, length " << len << " at " << i;
            ASSERT_EQ(Bits(masked[i]), Bits(-7.0f)) << "wrote behind the end, length " << len << " at " << i;
        }
    }
    lm::ScopedThreadStarter none([](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    check();
}

TEST(LogicleBatch, UnsetTransformGivesZeros) {
    const CLogical t;
    const std::vector<float> v = {1.0f, 1000.0f, NAN, -5.0f, 1e9f};
    std::vector<float> out(v.size(), -7.0f);
    t.ToFractions(v.data(), v.size(), out.data());
    for (float f : out) EXPECT_EQ(Bits(f), Bits(0.0f));
    std::fill(out.begin(), out.end(), -7.0f);
    const uint32_t mask = 0x5u;
    t.ToFractionsMasked(v.data(), v.size(), &mask, out.data());
    const float expect[] = {0.0f, -7.0f, 0.0f, -7.0f, -7.0f};
    for (size_t i = 0; i < v.size(); ++i) EXPECT_EQ(Bits(out[i]), Bits(expect[i])) << i;
}

// After a parameter change the batch paths use the new tables.
TEST(LogicleBatch, FollowsParameterChanges) {
    CLogical t(262144.0f, -10.0f, 4.5f);
    std::vector<float> v;
    for (int i = -200; i < 4000; ++i) v.push_back(float(i) * 37.5f);
    ForEachPath([&](Path) {
        ASSERT_TRUE(t.SetParams(1e6f, -100.0f, 6.0f));
        ExpectBatchEqualsReference(t, v, Reference(t, v));
        ASSERT_TRUE(t.SetNegativeRange(-3.0f));
        ExpectBatchEqualsReference(t, v, Reference(t, v));
        ASSERT_TRUE(t.SetParams(262144.0f, -10.0f, 4.5f));
    });
}

// ---- real columns ----

TEST(LogicleBatch, RealColumnsEqualScalar) {
    std::string why;
    const std::string dir = lmtest::CorpusDir(&why);
    if (dir.empty()) GTEST_SKIP() << "SKIPPED: " << why;
    const CLogical axes[] = {CLogical(262144.0f, -10.0f, 4.5f), CLogical(1024.0f, -1.0f, 3.5f),
                             CLogical(1e6f, -100.0f, 6.0f)};
    size_t columns = 0, values = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".fcs" && entry.path().extension() != ".lmd") continue;
        CDataSet ds(entry.path().string(), 0);
        const CEventMatrix* m = ds.GetEventMatrix();
        if (!m || m->GetEventCount() <= 0) continue;
        SCOPED_TRACE(name);
        const size_t n = size_t(m->GetEventCount());
        std::vector<uint32_t> mask((n + 31) / 32);
        for (size_t w = 0; w < mask.size(); ++w) mask[w] = uint32_t(w * 2654435761u);
        for (int32_t p = 0; p < m->GetParamCount(); ++p) {
            const float* col = m->GetColumn(p);
            std::vector<float> v(col, col + n);
            ++columns;
            values += n;
            for (const CLogical& t : axes) {
                const std::vector<float> want = Reference(t, v);
                ForEachPath([&](Path) {
                    ExpectBatchEqualsReference(t, v, want);
                    std::vector<float> out(n, -7.0f);
                    t.ToFractionsMasked(v.data(), n, mask.data(), out.data());
                    for (size_t i = 0; i < n; ++i)
                        ASSERT_EQ(Bits(out[i]), Bits(((mask[i / 32] >> (i % 32)) & 1u) ? want[i] : -7.0f)) << i;
                });
            }
        }
    }
    EXPECT_GT(columns, 20u);
    std::printf("  %zu columns, %zu values\n", columns, values);
}

// ---- the vector exp ----

void ExpectExpEqualsLibrary(void (*expN)(const double*, size_t, double*)) {
    std::vector<double> x;
    uint64_t s = 0x9E3779B97F4A7C15ull;
    auto rnd = [&s] {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    };
    // The range the Newton steps use, densely, then any double at all.
    for (int i = 0; i < 1500000; ++i) x.push_back((double(rnd() >> 11) * 0x1p-53 - 0.5) * 44.0);
    for (int i = 0; i < 300000; ++i) x.push_back((double(rnd() >> 11) * 0x1p-53 - 0.5) * 1500.0);
    for (int i = 0; i < 300000; ++i) {
        const uint64_t b = rnd();
        double d;
        std::memcpy(&d, &b, 8);
        x.push_back(d);
    }
    for (double e : std::initializer_list<double>{0.0, -0.0, 0x1p-54, -0x1p-54, 0x1.fffffffffffffp-55, 0x1p-53, 512.0, -512.0,
                     511.99999999999994, -511.99999999999994, 709.782712893384, 709.7827128933841,
                     -708.3964185322641, -745.1332191019411, -745.1332191019412, -746.0, 1e-310,
                     DBL_MAX, -DBL_MAX, INFINITY, -INFINITY, NAN, DBL_TRUE_MIN})
        x.push_back(e);
    // The seams of the table: multiples of ln2 / 128 and their neighbours.
    for (int j = -20000; j <= 20000; ++j) {
        const double c = double(j) * (0.6931471805599453 / 128.0);
        x.push_back(c);
        x.push_back(std::nextafter(c, 1e9));
        x.push_back(std::nextafter(c, -1e9));
    }
    // Odd counts reach the vector tails.
    for (size_t len : {size_t(1), size_t(3), size_t(5), size_t(7), x.size()}) {
        std::vector<double> got(len + 1, -7.0);
        expN(x.data(), len, got.data());
        ASSERT_EQ(got[len], -7.0) << "wrote past the end, length " << len;
        size_t bad = 0;
        for (size_t i = 0; i < len; ++i) {
            const double want = std::exp(x[i]);
            if (std::memcmp(&want, &got[i], 8) != 0 && bad++ < 5)
                ADD_FAILURE() << std::hexfloat << "exp(" << x[i] << ") = " << got[i] << ", library " << want;
        }
        EXPECT_EQ(bad, 0u);
    }
}

// Run whenever the CPU has the instructions, whatever the self-check said:
// a C library whose exp differs fails here (and the program then keeps to
// the portable path, which the next test would show).
TEST(LogicleBatch, VectorExpEqualsLibraryExp) {
    if (!lm::logicle::CpuHas(Path::kAvx2)) GTEST_SKIP() << "SKIPPED: no AVX2 and FMA on this machine";
    ExpectExpEqualsLibrary(&lm::logicle::ExpAvx2);
    if (lm::logicle::CpuHas(Path::kAvx512))
        ExpectExpEqualsLibrary(&lm::logicle::ExpAvx512);
    else
        std::printf("  (AVX-512 exp not on this machine: not run)\n");
}

// The self-check itself: a library-exact exp passes, one a single ulp off
// anywhere in the sample fails.
void LibraryExp(const double* x, size_t n, double* out) {
    for (size_t i = 0; i < n; ++i) out[i] = std::exp(x[i]);
}
void ExpOffForLargeArguments(const double* x, size_t n, double* out) {
    LibraryExp(x, n, out);
    for (size_t i = 0; i < n; ++i)
        if (x[i] > 15.0 && x[i] < 16.0) out[i] = std::nextafter(out[i], INFINITY);
}
void ExpOffForNaN(const double* x, size_t n, double* out) {
    LibraryExp(x, n, out);
    for (size_t i = 0; i < n; ++i)
        if (std::isnan(x[i])) out[i] = 0.0;
}

TEST(LogicleBatch, ExpSelfCheckTellsExactFromNearlyExact) {
    EXPECT_TRUE(lm::logicle::ExpMatchesLibrary(&LibraryExp));
    EXPECT_FALSE(lm::logicle::ExpMatchesLibrary(&ExpOffForLargeArguments));
    EXPECT_FALSE(lm::logicle::ExpMatchesLibrary(&ExpOffForNaN));
}

TEST(LogicleBatch, FastestPathTheCpuHasIsChosen) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    EXPECT_EQ(lm::logicle::CpuHas(Path::kAvx2), avx2);
    EXPECT_EQ(lm::logicle::CpuHas(Path::kAvx512),
              avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                  __builtin_cpu_supports("avx512vl"));
#endif
    const Path want = lm::logicle::CpuHas(Path::kAvx512) ? Path::kAvx512
                      : lm::logicle::CpuHas(Path::kAvx2) ? Path::kAvx2
                                                         : Path::kPortable;
    EXPECT_EQ(int(lm::logicle::BestPath()), int(want));
    EXPECT_TRUE(lm::logicle::CpuHas(Path::kPortable));
    lm::logicle::LimitPath(Path::kPortable);
    EXPECT_EQ(int(lm::logicle::CurrentPath()), int(Path::kPortable));
    lm::logicle::LimitPath(Path::kAvx512);
    EXPECT_EQ(int(lm::logicle::CurrentPath()), int(want));
}

}  // namespace
