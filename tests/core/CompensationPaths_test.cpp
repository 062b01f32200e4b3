// The compensation sums computed in vectors (two events at a time on any
// x86-64, four with AVX2) against the plain rule, one product and one sum at
// a time: the same bits for every value, NaN payloads included, on hostile
// synthetic data and on the corpus, in one thread and in many.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "core/DataSet.h"
#include "core/EventMatrix.h"
#include "core/Slices.h"
#include "tests/support/Corpus.h"
#include "tests/support/FcsWriter.h"

namespace {

using lmtest::FcsWriter;
using lmtest::LoadFcsBytes;

// Puts the path back whatever a test does.
struct PathScope {
    explicit PathScope(CompensationPath p) { CEventMatrix::SetCompensationPath(p); }
    ~PathScope() { CEventMatrix::SetCompensationPath(CompensationPath::Best); }
};

std::thread NoThread(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

struct ParamSpec {
    const char* name;
    const char* range;
    const char* decades;
    bool decoded;  // false: 5 bytes a value, which a float file cannot hold
};

float Bits(uint32_t b) { return std::bit_cast<float>(b); }

// Values no file should hold and some do: NaNs of both signs with payloads
// (one signalling), infinities, zeros of both signs, denormals, the largest
// floats, negatives, and log channels whose linear value overflows a float.
const float kOdd[] = {Bits(0x7FC00000u), Bits(0xFFC00000u), Bits(0x7FC12345u), Bits(0xFFD00001u),
                      Bits(0x7FA00000u), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity(), 0.0f, -0.0f,
                      std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
                      1e-40f, std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), -3.5f,
                      -1e30f, 1e30f, 5e4f};

// A float file; every 7th event has odd values in some parameters, and
// every 101st has +inf, -inf and a NaN with a payload in the second to
// fourth decoded parameters (their products meet in one sum, NaN against
// NaN).
std::vector<uint8_t> HostileFile(const std::vector<ParamSpec>& params, int32_t events, uint32_t seed) {
    FcsWriter w;
    int64_t bytesPerEvent = 0;
    for (const ParamSpec& p : params) {
        w.Param(p.name, p.decoded ? 32 : 40, p.range, p.decades);
        bytesPerEvent += p.decoded ? 4 : 5;
    }
    std::vector<uint8_t> data(size_t(events) * size_t(bytesPerEvent));
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1u << 24);
    };
    uint8_t* at = data.data();
    for (int32_t e = 0; e < events; ++e) {
        size_t decodedSeen = 0;
        for (const ParamSpec& p : params) {
            if (!p.decoded) {
                at += 5;
                continue;
            }
            const bool log = std::string(p.decades) != "0,0";
            float v = float(log ? next() * 1024.0 : next() * 262144.0 - 3000.0);
            if (e % 7 == 3 && next() < 0.5) v = kOdd[size_t(next() * double(std::size(kOdd))) % std::size(kOdd)];
            if (e % 101 == 50 && decodedSeen >= 1 && decodedSeen <= 3) {
                const float meet[] = {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                      Bits(0x7FC0BEEFu)};
                v = meet[decodedSeen - 1];
            }
            ++decodedSeen;
            std::memcpy(at, &v, 4);  // little-endian host, "1,2,3,4"
            at += 4;
        }
    }
    w.RawData(std::move(data)).Set("$TOT", std::to_string(events));
    return w.Build();
}

CSpillMatrix Matrix(const std::vector<int32_t>& indices, const std::function<float(int, int)>& value) {
    const int32_t n = int32_t(indices.size());
    CSpillMatrix m(n);
    m.indices = indices;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) *m.Element(i, j) = value(i, j);
    return m;
}

// Every parameter's current column after matrices ms were applied in turn
// to freshly loaded events, along path, with or without threads.
std::vector<std::vector<float>> Compensated(const std::vector<uint8_t>& bytes, const std::vector<CSpillMatrix>& ms,
                                    CompensationPath path, bool threads) {
    PathScope scope(path);
    std::optional<lm::ScopedThreadStarter> none;
    if (!threads) none.emplace(&NoThread);
    auto ds = LoadFcsBytes(bytes);
    for (const CSpillMatrix& m : ms) EXPECT_TRUE(ds->Compensate(&m));
    std::vector<std::vector<float>> out;
    const CEventMatrix* em = ds->GetEventMatrix();
    for (int32_t j = 0; j < em->GetParamCount(); ++j) {
        const float* c = em->GetColumn(j);
        out.emplace_back(c, c + em->GetEventCount());
    }
    return out;
}

// The first few events whose bits differ, or "".
std::string Differences(const std::vector<std::vector<float>>& got, const std::vector<std::vector<float>>& want) {
    std::string why;
    int shown = 0;
    if (got.size() != want.size()) return "column counts differ";
    for (size_t j = 0; j < got.size() && shown < 5; ++j) {
        if (got[j].size() != want[j].size()) return "event counts differ";
        for (size_t e = 0; e < got[j].size() && shown < 5; ++e) {
            const uint32_t a = std::bit_cast<uint32_t>(got[j][e]), b = std::bit_cast<uint32_t>(want[j][e]);
            if (a == b) continue;
            char line[96];
            std::snprintf(line, sizeof line, " [param %zu event %zu: %08x != %08x]", j, e, a, b);
            why += line;
            ++shown;
        }
    }
    return why;
}

std::vector<CompensationPath> FastPaths() {
    return {CompensationPath::Portable, CompensationPath::Best};
}

}  // namespace

// Dense and sparse matrices, more outputs than one vector group holds, log
// parameters, and parameters without values inside the matrix: each fast
// path, fresh block and recomputed edit alike, equals the plain rule.
TEST(CompensationPaths, EveryPathEqualsThePlainRuleOnHostileData) {
    const int32_t events = 140000 + 333;  // several slices, no whole number of chunks or vectors
    struct Case {
        const char* what;
        std::vector<ParamSpec> params;
        std::vector<int32_t> indices;
        std::function<float(int, int)> value;
    };
    auto spill = [](int i, int j) { return i == j ? 1.0f : 0.002f * float((i * 3 + j * 5) % 11); };
    std::vector<ParamSpec> ten;
    const char* names[] = {"FSC", "SSC", "FL1", "FL2", "FL3", "FL4", "FL5", "FL6", "FL7", "FL8", "FL9", "FL10"};
    for (int p = 0; p < 12; ++p) ten.push_back({names[p], "262144", p == 4 || p == 9 ? "4,1" : "0,0", p != 7});
    const std::vector<Case> cases = {
        {"8x8 dense, linear", {{"FSC", "262144", "0,0", true}, {"SSC", "262144", "0,0", true},
                               {"A", "262144", "0,0", true}, {"B", "262144", "0,0", true},
                               {"C", "262144", "0,0", true}, {"D", "262144", "0,0", true},
                               {"E", "262144", "0,0", true}, {"F", "262144", "0,0", true},
                               {"G", "262144", "0,0", true}, {"H", "262144", "0,0", true}},
         {2, 3, 4, 5, 6, 7, 8, 9}, spill},
        // Two blocks: the inverse has exact zeros, which the sums skip.
        {"11x11 in two blocks, log parameters and one without values", ten,
         {11, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
         [](int i, int j) {
             if (i == j) return 1.0f;
             if ((i < 6) != (j < 6) || (i + 2 * j) % 4 == 0) return 0.0f;
             return 0.01f * float((i * 7 + j) % 9) - 0.03f;
         }},
        {"3x3 log only", {{"L1", "1024", "4,0", true}, {"X", "262144", "0,0", true},
                          {"L2", "1024", "5,1", true}, {"L3", "1024", "3,0", true}},
         {3, 0, 2}, [](int i, int j) { return i == j ? 1.0f : 0.125f * float(i + 1) - 0.0625f * float(j); }},
        {"1x1", {{"A", "262144", "0,0", true}, {"B", "262144", "0,0", true}}, {1},
         [](int, int) { return 0.75f; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> bytes = HostileFile(c.params, events, 99);
        const CSpillMatrix m = Matrix(c.indices, c.value);
        CSpillMatrix edited = m;
        *edited.Element(0, int32_t(c.indices.size()) - 1) += 0.03125f;
        // Fresh block; then an edit (only changed columns again); then
        // another matrix's columns back to raw and this one again.
        const std::vector<std::vector<CSpillMatrix>> sequences = {{m}, {m, edited}, {edited, m}};
        for (const auto& seq : sequences) {
            const auto want = Compensated(bytes, seq, CompensationPath::Plain, false);
            EXPECT_EQ(Differences(Compensated(bytes, seq, CompensationPath::Plain, true), want), "");
            for (CompensationPath p : FastPaths())
                for (bool threads : {false, true})
                    EXPECT_EQ(Differences(Compensated(bytes, seq, p, threads), want), "")
                        << "path " << int(p) << (threads ? " threads" : " one thread") << ", " << seq.size()
                        << " matrices";
        }
    }
    if (!CEventMatrix::HasWideCompensation()) std::printf("(no AVX2 here: Best is the portable path)\n");
}

// An independent per-event rule on a matrix whose inverse is exact in
// float: the fast path's values, NaN for NaN, and the exact bits where a
// sum meets NaN against NaN (the product's NaN, as the plain rule's code
// gives it); columns outside the matrix keep their raw values.
TEST(CompensationPaths, ValuesEqualAPlainPerEventRule) {
    const std::vector<ParamSpec> params = {{"FSC", "262144", "0,0", true}, {"FL1", "262144", "0,0", true},
                                           {"FL2", "262144", "0,0", true}, {"FL3", "262144", "0,0", true},
                                           {"FL4", "1024", "4,0", true},   {"SSC", "262144", "0,0", true}};
    // One slice; its last event is one where NaN meets NaN, and it is left
    // over after the last whole vector (of two events and of four).
    const int32_t events = 70145;
    static_assert((events - 1) % 101 == 50 && events % 1024 % 4 == 1);
    const std::vector<uint8_t> bytes = HostileFile(params, events, 4242);
    // Unit upper triangle with dyadic values over FL1..FL4.
    const std::vector<int32_t> idx = {1, 2, 3, 4};
    const CSpillMatrix m = Matrix(idx, [](int i, int j) { return i == j ? 1.0f : j > i ? 0.25f / float(1 << (i + j)) : 0.0f; });
    CSpillMatrix inv;
    ASSERT_TRUE(m.Invert(&inv));
    auto raw = LoadFcsBytes(bytes);
    const double toLinear[] = {0, 0, 0, 4.0 / 1024};
    const double floorDecade = std::log10(double(std::numeric_limits<float>::denorm_min())) - 1.0;
    for (CompensationPath path : {CompensationPath::Plain, CompensationPath::Portable, CompensationPath::Best}) {
        const auto got = Compensated(bytes, {m}, path, true);
        int bad = 0, meetings = 0;
        for (int32_t e = 0; e < events && bad < 5; ++e) {
            double lin[4];
            for (int j = 0; j < 4; ++j) {
                const float r = raw->GetEventMatrix()->GetRawColumn(idx[size_t(j)])[e];
                lin[j] = toLinear[j] > 0 ? double(float(std::pow(10.0, double(r) * toLinear[j]))) : double(r);
            }
            for (int k = 0; k < 4; ++k) {
                double sum = 0.0;
                for (int j = 0; j < 4; ++j) {
                    const double c = double(*inv.Element(j, k));
                    if (c != 0.0) sum += lin[j] * c;
                }
                const float l = float(sum);
                const float want = toLinear[k] > 0 ? (l > 0.0f ? float(std::log10(double(l)) / toLinear[k])
                                                               : float(floorDecade / toLinear[k]))
                                                   : l;
                const float have = got[size_t(idx[size_t(k)])][size_t(e)];
                const bool same = std::isnan(want) ? std::isnan(have) : std::bit_cast<uint32_t>(want) == std::bit_cast<uint32_t>(have);
                if (!same) {
                    ++bad;
                    ADD_FAILURE() << "path " << int(path) << " event " << e << " position " << k << ": " << have
                                  << " != " << want;
                }
            }
            // +inf, -inf, NaN 0x7FC0BEEF in FL1..FL3: FL3's sum is inf - inf
            // (the default NaN) plus the payload's product, which wins.
            if (e % 101 == 50) {
                ++meetings;
                EXPECT_EQ(std::bit_cast<uint32_t>(got[3][size_t(e)]), 0x7FC0BEEFu) << "path " << int(path) << " event " << e;
            }
        }
        EXPECT_GT(meetings, 600);
        for (int32_t j : {0, 5})
            EXPECT_EQ(std::memcmp(got[size_t(j)].data(), raw->GetEventMatrix()->GetRawColumn(j), size_t(events) * 4), 0)
                << "parameter " << j;
    }
}

// Real files, over up to eight of their decoded parameters (log-amplified
// ones among them) with a dense matrix: every path, one thread and many,
// gives the plain rule's bits.
TEST(CompensationPaths, CorpusFilesEqualThePlainRule) {
    std::string why;
    const std::string dir = lmtest::CorpusDir(&why);
    if (dir.empty()) GTEST_SKIP() << why;
    int checked = 0;
    for (const char* name : {"AriaFile1.fcs", "Cytek_xP5.fcs", "FCS_3.0_Fortessa_PBS_Specimen_001_A1_A01.fcs",
                             "HTS_BD_LSR_II_Mixed_Specimen_001_D6_D06.fcs", "cyflow_cube_8.fcs",
                             "facs_diva_test.fcs", "Sample_Well_A02.fcs"}) {
        std::vector<uint8_t> bytes;
        {
            FILE* f = std::fopen((dir + "/" + name).c_str(), "rb");
            if (!f) continue;
            char buf[65536];
            for (size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + got);
            std::fclose(f);
        }
        auto probe = LoadFcsBytes(bytes);
        const CEventMatrix* em = probe->GetEventMatrix();
        if (!em || probe->GetEventCount() <= 0) continue;
        std::vector<int32_t> idx;
        for (int32_t u = 0; u < probe->GetParamCount() && idx.size() < 8; ++u)
            if (em->HasValues(u)) idx.push_back(u);
        if (idx.size() < 3) continue;
        SCOPED_TRACE(name);
        const CSpillMatrix m =
            Matrix(idx, [](int i, int j) { return i == j ? 1.0f : 0.003f * float((i * 5 + j * 3) % 13) - 0.01f; });
        const auto want = Compensated(bytes, {m}, CompensationPath::Plain, false);
        for (CompensationPath p : FastPaths())
            for (bool threads : {false, true})
                EXPECT_EQ(Differences(Compensated(bytes, {m}, p, threads), want), "") << "path " << int(p);
        ++checked;
    }
    EXPECT_GE(checked, 3);
}

// Matrices over shifting parameters in turn, with resets and separated
// columns between them: the raw values are never written (a column outside
// the matrix reads them where they are), and after every step each column
// equals that one matrix applied to freshly loaded events.
TEST(CompensationPaths, RawValuesStayWhateverTheMatricesBefore) {
    const std::vector<ParamSpec> params = {{"P0", "262144", "0,0", true}, {"P1", "1024", "4,0", true},
                                           {"P2", "262144", "0,0", true}, {"P3", "262144", "0,0", true},
                                           {"P4", "262144", "0,0", false}, {"P5", "262144", "0,0", true}};
    const int32_t events = 70000 + 17;
    const std::vector<uint8_t> bytes = HostileFile(params, events, 7);
    auto fresh = LoadFcsBytes(bytes);
    auto spill = [](int i, int j) { return i == j ? 1.0f : 0.05f * float(i + 1) - 0.02f * float(j); };
    const std::vector<CSpillMatrix> steps = {Matrix({1, 2}, spill), Matrix({2, 3, 4}, spill), Matrix({0, 5}, spill),
                                             Matrix({5, 0, 1, 2, 3}, spill), Matrix({1, 2}, spill)};
    auto ds = LoadFcsBytes(bytes);
    CEventMatrix* em = ds->GetEventMatrix();
    auto expectRawUntouched = [&](const std::string& when) {
        for (int32_t j = 0; j < em->GetParamCount(); ++j)
            EXPECT_EQ(std::memcmp(em->GetRawColumn(j), fresh->GetEventMatrix()->GetRawColumn(j), size_t(events) * 4), 0)
                << when << ": raw column " << j;
    };
    for (int round = 0; round < 3; ++round) {
        for (size_t s = 0; s < steps.size(); ++s) {
            const std::string when = "round " + std::to_string(round) + " step " + std::to_string(s);
            ASSERT_TRUE(ds->Compensate(&steps[s])) << when;
            expectRawUntouched(when);
            const auto want = Compensated(bytes, {steps[s]}, CompensationPath::Plain, true);
            std::vector<std::vector<float>> got;
            for (int32_t j = 0; j < em->GetParamCount(); ++j)
                got.emplace_back(em->GetColumn(j), em->GetColumn(j) + events);
            EXPECT_EQ(Differences(got, want), "") << when;
            for (int32_t j : steps[s].indices)
                if (em->HasValues(j)) EXPECT_NE(em->GetColumn(j), em->GetRawColumn(j)) << when << ": column " << j;
        }
        if (round == 0) em->ResetCurrentColumns();
        if (round == 1) {
            // Separate copies of the raw values, whatever read them before,
            // and the compensated columns' caches know they moved.
            const uint64_t g1 = em->GetColumnGeneration(1), g0 = em->GetColumnGeneration(0);
            em->SeparateCurrentColumns();
            EXPECT_NE(em->GetColumnGeneration(1), g1);
            EXPECT_EQ(em->GetColumnGeneration(0), g0);
            for (int32_t j = 0; j < em->GetParamCount(); ++j) {
                if (!em->HasValues(j)) continue;
                EXPECT_NE(em->GetColumn(j), em->GetRawColumn(j)) << "separated column " << j;
                EXPECT_EQ(std::memcmp(em->GetColumn(j), em->GetRawColumn(j), size_t(events) * 4), 0) << j;
            }
        }
        expectRawUntouched("after round " + std::to_string(round));
    }
}
