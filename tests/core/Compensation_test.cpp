// Spillover matrices read from the TEXT, and compensation of the event matrix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <string>
#include <vector>

#include "core/DataSet.h"
#include "core/ErrorCodes.h"
#include "core/EventMatrix.h"
#include "core/Slices.h"
#include "tests/support/FcsWriter.h"

namespace {

using lmtest::FcsWriter;
using lmtest::LoadFcsBytes;

std::vector<float> Current(const CDataSet& ds, int32_t j) {
    const float* c = ds.GetEventMatrix()->GetColumn(j);
    return c ? std::vector<float>(c, c + ds.GetEventCount()) : std::vector<float>{};
}
std::vector<float> Raw(const CDataSet& ds, int32_t j) {
    const float* c = ds.GetEventMatrix()->GetRawColumn(j);
    return c ? std::vector<float>(c, c + ds.GetEventCount()) : std::vector<float>{};
}

CSpillMatrix Make(int32_t n, std::vector<float> values, std::vector<int32_t> indices) {
    CSpillMatrix m(n);
    m.values = std::move(values);
    m.indices = std::move(indices);
    return m;
}

double Det3(const double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// Solves x * M = o for n <= 3 by Cramer's rule (x M = o  <=>  M^T x = o).
std::vector<double> SolveRowTimesM(const std::vector<double>& m, const std::vector<double>& o) {
    const size_t n = o.size();
    double a[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (size_t r = 0; r < n; ++r)
        for (size_t c = 0; c < n; ++c) a[r][c] = m[c * n + r];  // transpose
    double b[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) b[i] = o[i];
    const double d = Det3(a);
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) {
        double t[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) t[r][c] = (size_t(c) == i) ? (size_t(r) < n ? b[r] : (r == c ? 1 : 0)) : a[r][c];
        x[i] = Det3(t) / d;
    }
    return x;
}

void ExpectNear(const std::vector<float>& got, const std::vector<double>& want, double rel) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], rel * std::max(1.0, std::fabs(want[i]))) << "event " << i;
}

// FSC (outside any matrix), FL1-H, FL2-H, FL3-H: linear float parameters.
FcsWriter Linear(const std::vector<std::vector<double>>& events) {
    FcsWriter w;
    w.Param("FSC-A", 32, "262144", "0,0")
        .Param("FL1-H", 32, "262144", "0,0", "CD3")
        .Param("FL2-H", 32, "262144", "0,0", "CD4")
        .Param("FL3-H", 32, "262144", "0,0", "CD8");
    for (const auto& e : events) w.Event(e);
    return w;
}

const std::vector<std::vector<double>> kEvents = {
    {1000, 100, 50, 30}, {2000, 10, 400, 70}, {1500, 250, 250, 900}, {10, 1e4, 3, 2e4}};

// ---------------------------------------------------------------- reading the matrix

TEST(SpillKeyword, MatrixFromNamesOrShortNames) {
    auto ds = LoadFcsBytes(Linear(kEvents).Set("SPILL", "2,FL1-H,FL2-H,1,0.1,0.05,1").Build());
    const CSpillMatrix* m = ds->GetParamSet()->GetSpillMatrix();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->n, 2);
    EXPECT_EQ(m->indices, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(m->values, (std::vector<float>{1.0f, 0.1f, 0.05f, 1.0f}));

    auto s = LoadFcsBytes(Linear(kEvents).Set("SPILL", "3,CD8,FL1-H,CD4,1,0,0,0,1,0,0,0.5,1").Build());
    const CSpillMatrix* ms = s->GetParamSet()->GetSpillMatrix();
    ASSERT_NE(ms, nullptr);
    EXPECT_EQ(ms->indices, (std::vector<int32_t>{3, 1, 2}));
    EXPECT_FLOAT_EQ(*ms->Element(2, 1), 0.5f);
}

TEST(SpillKeyword, BadValuesGiveNoMatrix) {
    for (const char* spill : {
             "2,FL1-H,NOPE,1,0.1,0.05,1",            // a name no parameter has
             "2,FL1-H,FL2-H,1,0.1,0.05",             // one value short
             "2,FL1-H,FL2-H,1,0.1,0.05,1,9",         // one value too many
             "0", "0,", "-1,FL1-H,1",                // n below 1
             "5,FSC-A,FL1-H,FL2-H,FL3-H,FL1-H,1,0,0,0,0,0,1,0,0,0,0,0,1,0,0,0,0,0,1,0,0,0,0,0,1",  // n > $PAR
             "2,FL1-H,FL1-H,1,0.1,0.05,1",           // the same parameter twice
             "2,FL1-H,CD3,1,0.1,0.05,1",             // $PnN and $PnS of the same parameter
             "999999999,FL1-H", "abc,FL1-H,1",
             ",,,"}) {
        auto ds = LoadFcsBytes(Linear(kEvents).Set("SPILL", spill).Build());
        EXPECT_EQ(ds->GetParamSet()->GetSpillMatrix(), nullptr) << spill;
        EXPECT_EQ(ds->GetEventCount(), 4) << spill;
    }
}

TEST(SpillKeyword, NameMatchingTwoParametersGivesNoMatrix) {
    // One parameter's $PnN is another one's $PnS.
    FcsWriter w;
    w.Param("FL1-H", 32, "1024", "0,0").Param("FL2-H", 32, "1024", "0,0", "FL1-H").Event({1, 2});
    w.Set("SPILL", "1,FL1-H,1");
    EXPECT_EQ(LoadFcsBytes(w.Build())->GetParamSet()->GetSpillMatrix(), nullptr);
    // Two parameters with the same $PnN.
    FcsWriter d;
    d.Param("FL1-H", 32, "1024").Param("FL1-H", 32, "1024").Param("FL2-H", 32, "1024").Event({1, 2, 3});
    d.Set("SPILL", "2,FL1-H,FL2-H,1,0,0,1");
    EXPECT_EQ(LoadFcsBytes(d.Build())->GetParamSet()->GetSpillMatrix(), nullptr);
    d.Set("SPILL", "1,FL2-H,1");
    auto ds = LoadFcsBytes(d.Build());
    const CSpillMatrix* m = ds->GetParamSet()->GetSpillMatrix();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->indices, std::vector<int32_t>{2});
}

TEST(SpillKeyword, LaterNamesOfTheKeywordAreRead) {
    auto a = LoadFcsBytes(Linear(kEvents).Set("$SPILLOVER", "1,FL2-H,2").Build());
    ASSERT_NE(a->GetParamSet()->GetSpillMatrix(), nullptr);
    EXPECT_EQ(a->GetParamSet()->GetSpillMatrix()->indices, std::vector<int32_t>{2});

    auto b = LoadFcsBytes(Linear(kEvents).Set("SPILLOVER", "1,FL3-H,4").Build());
    ASSERT_NE(b->GetParamSet()->GetSpillMatrix(), nullptr);
    EXPECT_EQ(b->GetParamSet()->GetSpillMatrix()->values, std::vector<float>{4.0f});

    // "SPILL" comes first when there are several.
    auto c = LoadFcsBytes(
        Linear(kEvents).Set("$SPILLOVER", "1,FL2-H,2").Set("SPILL", "1,FL1-H,3").Build());
    ASSERT_NE(c->GetParamSet()->GetSpillMatrix(), nullptr);
    EXPECT_EQ(c->GetParamSet()->GetSpillMatrix()->indices, std::vector<int32_t>{1});
    // Keyword names are not case-sensitive: "spill" is SPILL.
    auto d = LoadFcsBytes(Linear(kEvents).Set("spill", "1,FL2-H,2").Build());
    ASSERT_NE(d->GetParamSet()->GetSpillMatrix(), nullptr);
    EXPECT_EQ(d->GetParamSet()->GetSpillMatrix()->indices, std::vector<int32_t>{2});
}

TEST(SpillKeyword, ApplyCompensationFlagIsExactlyTrue) {
    EXPECT_TRUE(LoadFcsBytes(Linear(kEvents).Set("APPLY COMPENSATION", "TRUE").Build())
                    ->GetParamSet()->applyCompensation);
    EXPECT_FALSE(LoadFcsBytes(Linear(kEvents).Set("APPLY COMPENSATION", "True").Build())
                     ->GetParamSet()->applyCompensation);
    EXPECT_FALSE(LoadFcsBytes(Linear(kEvents).Set("APPLY COMPENSATION", "FALSE").Build())
                     ->GetParamSet()->applyCompensation);
    EXPECT_FALSE(LoadFcsBytes(Linear(kEvents).Build())->GetParamSet()->applyCompensation);
    // Loading never compensates by itself.
    auto ds = LoadFcsBytes(Linear(kEvents).Set("APPLY COMPENSATION", "TRUE")
                               .Set("SPILL", "2,FL1-H,FL2-H,1,0.1,0.05,1").Build());
    EXPECT_EQ(Current(*ds, 1), Raw(*ds, 1));
}

// ---------------------------------------------------------------- compensation

TEST(Compensation, TwoByTwoSolvesRowTimesMatrix) {
    auto ds = LoadFcsBytes(Linear(kEvents).Set("SPILL", "2,FL1-H,FL2-H,1,0.1,0.05,1").Build());
    const CSpillMatrix* m = ds->GetParamSet()->GetSpillMatrix();
    ASSERT_NE(m, nullptr);
    const std::vector<float> rawFsc = Raw(*ds, 0);
    const std::vector<float> raw1 = Raw(*ds, 1), raw2 = Raw(*ds, 2);
    ASSERT_TRUE(ds->Compensate(m));

    // The Part's example: (100, 50) measured -> (97.98995, 40.20101).
    EXPECT_NEAR(Current(*ds, 1)[0], 97.989950, 1e-3);
    EXPECT_NEAR(Current(*ds, 2)[0], 40.201005, 1e-3);
    std::vector<double> w1, w2;
    for (const auto& e : kEvents) {
        auto x = SolveRowTimesM({1, 0.1, 0.05, 1}, {e[1], e[2]});
        w1.push_back(x[0]);
        w2.push_back(x[1]);
    }
    ExpectNear(Current(*ds, 1), w1, 1e-5);
    ExpectNear(Current(*ds, 2), w2, 1e-5);
    // Parameters outside the matrix and every raw column are untouched.
    EXPECT_EQ(Current(*ds, 0), rawFsc);
    EXPECT_EQ(Current(*ds, 3), Raw(*ds, 3));
    EXPECT_EQ(Raw(*ds, 0), rawFsc);
    EXPECT_EQ(Raw(*ds, 1), raw1);
    EXPECT_EQ(Raw(*ds, 2), raw2);
    EXPECT_NE(ds->GetEventMatrix()->GetColumn(1), ds->GetEventMatrix()->GetRawColumn(1));
}

TEST(Compensation, ThreeByThreeNeedingRowSwaps) {
    const std::vector<std::vector<double>> matrices = {
        {0.1, 1, 0, 1, 0.2, 0.3, 0.2, 0.1, 1},  // column 0 pivots on row 1
        {0, 1, 0, 1, 0, 0, 0, 0, 1},            // a zero on the diagonal
        {1, 0.3, 0.2, 0.4, 1, 0.1, 0.05, 0.6, 1},
    };
    for (const auto& mv : matrices) {
        auto ds = LoadFcsBytes(Linear(kEvents).Build());
        CSpillMatrix m = Make(3, std::vector<float>(mv.begin(), mv.end()), {1, 2, 3});
        ASSERT_TRUE(ds->Compensate(&m));
        std::vector<double> mf(mv.begin(), mv.end());
        for (double& v : mf) v = double(float(v));
        for (size_t e = 0; e < kEvents.size(); ++e) {
            const auto& o = kEvents[e];
            auto x = SolveRowTimesM(mf, {o[1], o[2], o[3]});
            // Float elimination: allow rounding in proportion to the event's size.
            const double tol = 1e-5 * (std::fabs(o[1]) + std::fabs(o[2]) + std::fabs(o[3]));
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(Current(*ds, k + 1)[e], x[size_t(k)], tol) << "event " << e << " output " << k;
        }
        EXPECT_EQ(Current(*ds, 0), Raw(*ds, 0));
    }
}

TEST(Compensation, IndicesNeedNotBeInParameterOrder) {
    // The matrix names FL2-H before FL1-H: (i, j) is what indices[i] spills into indices[j].
    auto ds = LoadFcsBytes(Linear(kEvents).Build());
    CSpillMatrix m = Make(2, {1, 0.05f, 0.1f, 1}, {2, 1});
    ASSERT_TRUE(ds->Compensate(&m));
    auto x = SolveRowTimesM({1, 0.1, 0.05, 1}, {100, 50});  // same physics as the 2x2 case
    EXPECT_NEAR(Current(*ds, 1)[0], x[0], 1e-3);
    EXPECT_NEAR(Current(*ds, 2)[0], x[1], 1e-3);
}

TEST(Compensation, ApplyingTwiceEqualsOnceAndIdentityRestoresRaw) {
    auto ds = LoadFcsBytes(Linear(kEvents).Build());
    CSpillMatrix m = Make(3, {1, 0.3f, 0.2f, 0.4f, 1, 0.1f, 0.05f, 0.6f, 1}, {1, 2, 3});
    ASSERT_TRUE(ds->Compensate(&m));
    std::vector<std::vector<float>> once;
    for (int j = 0; j < 4; ++j) once.push_back(Current(*ds, j));
    ASSERT_TRUE(ds->Compensate(&m));
    for (int j = 0; j < 4; ++j) EXPECT_EQ(Current(*ds, j), once[size_t(j)]) << j;

    const uint64_t gen = ds->GetEventMatrix()->GetGeneration();
    CSpillMatrix id(4);
    id.SetIdentity();
    ASSERT_TRUE(ds->Compensate(&id));
    for (int j = 0; j < 4; ++j) EXPECT_EQ(Current(*ds, j), Raw(*ds, j)) << j;
    EXPECT_NE(ds->GetEventMatrix()->GetGeneration(), gen);

    ASSERT_TRUE(ds->Compensate(&m));
    ds->GetEventMatrix()->ResetCurrentColumns();
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(ds->GetEventMatrix()->GetColumn(j), ds->GetEventMatrix()->GetRawColumn(j));
        EXPECT_EQ(ds->GetEventMatrix()->CurrentColumns()[j], ds->GetEventMatrix()->GetRawColumn(j));
    }
}

TEST(Compensation, OneByOneDivides) {
    auto ds = LoadFcsBytes(Linear(kEvents).Set("SPILL", "1,FL2-H,2").Build());
    ASSERT_TRUE(ds->Compensate(ds->GetParamSet()->GetSpillMatrix()));
    EXPECT_EQ(Current(*ds, 2), (std::vector<float>{25, 200, 125, 1.5f}));
    EXPECT_EQ(Current(*ds, 1), Raw(*ds, 1));
}

// Log-amplified parameters: channel c of range r and d decades is 10^(c d / r).
FcsWriter Logs() {
    FcsWriter w;
    w.Param("LIN", 32, "1024", "0,0").Param("FL1-LOG", 32, "1024", "4,0").Param("FL2-LOG", 32, "1024", "4,0.1");
    w.Event({10, 512, 256}).Event({20, 700, 600}).Event({30, 900, 300}).Event({40, 256, 600});
    return w;
}

TEST(Compensation, LogAmplifiedParametersGoThroughLinearScale) {
    auto ds = LoadFcsBytes(Logs().Build());
    CSpillMatrix m = Make(2, {1, 0.002f, 0.01f, 1}, {1, 2});
    ASSERT_TRUE(ds->Compensate(&m));
    const std::vector<float> c1 = Raw(*ds, 1), c2 = Raw(*ds, 2);
    std::vector<double> w1, w2;
    for (size_t e = 0; e < c1.size(); ++e) {
        auto x = SolveRowTimesM({1, double(0.002f), double(0.01f), 1},
                                {std::pow(10.0, c1[e] * 4.0 / 1024), std::pow(10.0, c2[e] * 4.0 / 1024)});
        ASSERT_GT(x[0], 0);
        ASSERT_GT(x[1], 0);
        w1.push_back(std::log10(x[0]) * 1024 / 4.0);  // the $PnE offset plays no part
        w2.push_back(std::log10(x[1]) * 1024 / 4.0);
    }
    ExpectNear(Current(*ds, 1), w1, 1e-4);
    ExpectNear(Current(*ds, 2), w2, 1e-4);
    EXPECT_EQ(Current(*ds, 0), Raw(*ds, 0));

    // A 1x1 matrix of 10 removes one decade: r / d channels.
    auto one = LoadFcsBytes(Logs().Build());
    CSpillMatrix ten = Make(1, {10}, {1});
    ASSERT_TRUE(one->Compensate(&ten));
    ExpectNear(Current(*one, 1), {512 - 256, 700 - 256, 900 - 256, 256 - 256}, 1e-4);

    // The identity gives the raw channels back, up to float rounding.
    CSpillMatrix id(3);
    id.SetIdentity();
    ASSERT_TRUE(ds->Compensate(&id));
    for (int j = 0; j < 3; ++j) {
        const std::vector<float> raw = Raw(*ds, j);
        ExpectNear(Current(*ds, j), std::vector<double>(raw.begin(), raw.end()), 1e-4);
    }
}

TEST(Compensation, LogParameterWithoutRangeUsesOneAndReports9) {
    FcsWriter w;
    w.Param("FL1-LOG", 32, "", "4,0").Param("FL2", 32, "1024", "0,0").Event({0.5, 3}).Event({0.25, 5});
    auto ds = LoadFcsBytes(w.Build());
    CSpillMatrix id(2);
    id.SetIdentity();
    ASSERT_TRUE(ds->Compensate(&id));
    const auto& errs = ds->GetEventMatrix()->errors;
    EXPECT_NE(std::find(errs.begin(), errs.end(), int32_t(kErrNoRange)), errs.end());
    ExpectNear(Current(*ds, 0), {0.5, 0.25}, 1e-5);
}

TEST(Compensation, NegativeLinearValuesOfLogParametersStayFinite) {
    auto ds = LoadFcsBytes(Logs().Build());
    CSpillMatrix m = Make(2, {1, 0.9f, 0.9f, 1}, {1, 2});  // drives some outputs below zero
    ASSERT_TRUE(ds->Compensate(&m));
    for (int j = 0; j < 3; ++j)
        for (float v : Current(*ds, j)) EXPECT_TRUE(std::isfinite(v)) << "column " << j;
}

TEST(Compensation, LogChannelsBelowOneAreNegativeAndNonPositiveOnesLowest) {
    // FL1 spills all of itself into FL2 (256 channels a decade): FL2 loses 100.
    FcsWriter w;
    w.Param("FL1-LOG", 32, "1024", "4,0").Param("FL2-LOG", 32, "1024", "4,0");
    w.Event({512, 768}).Event({512, 513}).Event({512, 512}).Event({512, 256});
    auto ds = LoadFcsBytes(w.Build());
    CSpillMatrix m = Make(2, {1, 1, 0, 1}, {0, 1});
    ASSERT_TRUE(ds->Compensate(&m));
    const std::vector<float> fl2 = Current(*ds, 1);
    auto channel = [](double c) { return std::log10(double(float(std::pow(10.0, c / 256))) - 100) * 256; };
    EXPECT_NEAR(fl2[0], channel(768), 1e-2);
    EXPECT_NEAR(fl2[1], channel(513), 1e-2);  // 0.9: below 1, a negative channel
    EXPECT_LT(fl2[1], -10.0f);
    // 0 and -90 have no logarithm: one finite channel below any positive value's.
    const double lowest = std::log10(double(std::numeric_limits<float>::denorm_min())) * 256;
    EXPECT_TRUE(std::isfinite(fl2[2]));
    EXPECT_LT(fl2[2], lowest);
    EXPECT_EQ(fl2[3], fl2[2]);
}

TEST(Compensation, ParametersThatCannotBeDecodedShareOneZeroColumnAndStayZero) {
    // B and D have five bytes a value: not decoded. FL1 spills half of itself
    // into B, which reads 0 (linear) or 1 (10^0 of a log parameter).
    for (const char* decades : {"0,0", "4,0"}) {
        SCOPED_TRACE(decades);
        FcsWriter w;
        w.DataType('I').Param("FL1", 16, "65536").Param("B", 40, "1024", decades).Param("C", 16, "65536");
        w.Param("D", 40, "1024").Event({950, 1, 7, 2}).Event({190, 3, 8, 4});
        auto ds = LoadFcsBytes(w.Build());
        const CEventMatrix* em = ds->GetEventMatrix();
        ASSERT_EQ(em->GetRawColumn(1), em->GetRawColumn(3));
        EXPECT_FALSE(em->HasValues(1));
        EXPECT_TRUE(em->HasValues(0) && em->HasValues(2));

        CSpillMatrix m = Make(2, {1, 0.5f, 0.1f, 1}, {0, 1});
        ASSERT_TRUE(ds->Compensate(&m));
        // x0 + 0.1 x1 = raw, 0.5 x0 + x1 = b: x0 = (raw - 0.1 b) / 0.95.
        const double b = std::string(decades) == "0,0" ? 0.0 : 1.0;
        ExpectNear(Current(*ds, 0), {(950 - 0.1 * b) / 0.95, (190 - 0.1 * b) / 0.95}, 1e-6);
        EXPECT_EQ(em->GetColumn(1), em->GetRawColumn(1));
        EXPECT_EQ(Current(*ds, 1), (std::vector<float>{0, 0}));
        EXPECT_EQ(Current(*ds, 2), (std::vector<float>{7, 8}));
    }
}

TEST(Compensation, SingularOrInvalidMatricesAreRefusedAndKeepTheValues) {
    auto ds = LoadFcsBytes(Linear(kEvents).Build());
    CSpillMatrix good = Make(2, {1, 0.1f, 0.05f, 1}, {1, 2});
    ASSERT_TRUE(ds->Compensate(&good));
    std::vector<std::vector<float>> before;
    for (int j = 0; j < 4; ++j) before.push_back(Current(*ds, j));
    const float nan = std::numeric_limits<float>::quiet_NaN();

    struct Bad {
        const char* why;
        CSpillMatrix m;
    };
    std::vector<Bad> bad = {
        {"equal rows", Make(2, {1, 1, 1, 1}, {1, 2})},
        {"zero column", Make(2, {0, 0, 0, 1}, {1, 2})},
        {"all zero", Make(3, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 3})},
        {"NaN value", Make(2, {1, nan, 0, 1}, {1, 2})},
        {"index past the parameters", Make(2, {1, 0, 0, 1}, {1, 7})},
        {"negative index", Make(2, {1, 0, 0, 1}, {-1, 2})},
        {"index list too short", Make(2, {1, 0, 0, 1}, {1})},
        {"value list too short", Make(2, {1, 0, 0}, {1, 2})},
    };
    for (Bad& b : bad) {
        testing::internal::CaptureStdout();
        const bool ok = ds->Compensate(&b.m);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(ok) << b.why;
        for (int j = 0; j < 4; ++j) EXPECT_EQ(Current(*ds, j), before[size_t(j)]) << b.why << " column " << j;
        if (std::string(b.why) == "zero column") {
            EXPECT_NE(out.find("BOp"), std::string::npos);
        }
    }
    EXPECT_FALSE(ds->Compensate(nullptr));
}

TEST(Compensation, DataSetsWithoutEventsOrMatrix) {
    FcsWriter w = Linear({});
    auto empty = LoadFcsBytes(w.Build());
    EXPECT_EQ(empty->GetEventCount(), 0);
    CSpillMatrix m = Make(2, {1, 0.1f, 0.05f, 1}, {1, 2});
    empty->Compensate(&m);  // nothing to change; must not touch memory
    EXPECT_EQ(Current(*empty, 1), std::vector<float>{});

    auto notList = LoadFcsBytes(Linear(kEvents).Mode("C").Build());
    ASSERT_EQ(notList->GetEventMatrix(), nullptr);
    EXPECT_FALSE(notList->Compensate(&m));

    CEventMatrix none;
    EXPECT_EQ(none.GetParamCount(), 0);
    EXPECT_EQ(none.GetColumn(0), nullptr);
    EXPECT_FALSE(none.ApplyCompensation(m));
}

// ---------------------------------------------------------------- the matrix type

TEST(SpillMatrix, ElementNeverPointsOutside) {
    CSpillMatrix m(2);
    EXPECT_EQ(m.values, (std::vector<float>{0, 0, 0, 0}));
    EXPECT_EQ(m.indices, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(m.Element(0, 0), m.values.data());
    EXPECT_EQ(m.Element(0, 1), m.values.data() + 1);
    EXPECT_EQ(m.Element(1, 0), m.values.data() + 2);
    EXPECT_EQ(m.Element(1, 1), m.values.data() + 3);
    const CSpillMatrix& cm = m;
    EXPECT_EQ(cm.Element(1, 1), m.values.data() + 3);
    for (auto [i, j] : {std::pair{2, 0}, {0, 2}, {-1, 0}, {0, -1}, {INT32_MAX, 0}, {INT32_MIN, INT32_MIN}}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(m.Element(i, j), nullptr) << i << "," << j;
        EXPECT_EQ(cm.Element(i, j), nullptr) << i << "," << j;
        EXPECT_NE(testing::internal::GetCapturedStdout().find("value out of order"), std::string::npos);
    }
    // n larger than what the values hold (a matrix edited by hand).
    CSpillMatrix odd(2);
    odd.values.resize(3);
    testing::internal::CaptureStdout();
    EXPECT_EQ(odd.Element(1, 1), nullptr);
    testing::internal::GetCapturedStdout();
    m.Free();
    testing::internal::CaptureStdout();
    EXPECT_EQ(m.Element(0, 0), nullptr);
    testing::internal::GetCapturedStdout();
}

TEST(SpillMatrix, SetIdentityAndSetIndices) {
    CSpillMatrix m = Make(2, {0.5f, 0.2f, 0.3f, 0.7f}, {0, 1});
    m.SetIdentity();
    EXPECT_EQ(m.values, (std::vector<float>{1, 0.2f, 0.3f, 1}));
    int32_t idx[2] = {5, 3};
    m.SetIndices(idx);
    idx[0] = 99;
    EXPECT_EQ(m.indices, (std::vector<int32_t>{5, 3}));
}

TEST(SpillMatrix, InvertKnownMatricesAndRefuseSingularOnes) {
    CSpillMatrix a = Make(2, {2, 1, 1, 1}, {4, 6});
    CSpillMatrix inv;
    ASSERT_TRUE(a.Invert(&inv));
    ASSERT_EQ(inv.n, 2);
    ASSERT_EQ(inv.values.size(), 4u);
    EXPECT_NEAR(inv.values[0], 1, 1e-6);
    EXPECT_NEAR(inv.values[1], -1, 1e-6);
    EXPECT_NEAR(inv.values[2], -1, 1e-6);
    EXPECT_NEAR(inv.values[3], 2, 1e-6);
    EXPECT_EQ(inv.indices, (std::vector<int32_t>{4, 6}));

    CSpillMatrix b = Make(3, {0.1f, 1, 0, 1, 0.2f, 0.3f, 0.2f, 0.1f, 1}, {0, 1, 2});
    CSpillMatrix bi;
    ASSERT_TRUE(b.Invert(&bi));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += double(b.values[size_t(r * 3 + k)]) * bi.values[size_t(k * 3 + c)];
            EXPECT_NEAR(s, r == c ? 1.0 : 0.0, 1e-5) << r << "," << c;
        }

    CSpillMatrix s = Make(2, {1, 2, 2, 4}, {0, 1});
    CSpillMatrix untouched = Make(1, {42}, {9});
    testing::internal::CaptureStdout();
    EXPECT_FALSE(s.Invert(&untouched));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(untouched.n, 1);
    EXPECT_EQ(untouched.values, std::vector<float>{42});
    EXPECT_EQ(untouched.indices, std::vector<int32_t>{9});
}

}  // namespace

namespace {
// A second matrix over other parameters puts the first one's columns back to
// raw, and only the columns that moved report a new generation (plot and
// gate caches of the others stay valid).
TEST(Compensation, SecondMatrixRestoresTheFirstOnesColumns) {
    auto ds = LoadFcsBytes(Linear(kEvents).Build());
    CEventMatrix* m = ds->GetEventMatrix();
    ASSERT_GE(m->GetParamCount(), 4);
    const CSpillMatrix a = Make(2, {1, 0.5f, 0, 1}, {1, 2});
    ASSERT_TRUE(ds->Compensate(&a));
    EXPECT_NE(Current(*ds, 2), Raw(*ds, 2));
    const uint64_t g0 = m->GetColumnGeneration(0), g3 = m->GetColumnGeneration(3);
    const uint64_t g1 = m->GetColumnGeneration(1);

    const CSpillMatrix b = Make(2, {1, 0.25f, 0, 1}, {0, 3});
    ASSERT_TRUE(ds->Compensate(&b));
    EXPECT_EQ(Current(*ds, 1), Raw(*ds, 1));
    EXPECT_EQ(Current(*ds, 2), Raw(*ds, 2));
    EXPECT_NE(Current(*ds, 3), Raw(*ds, 3));
    EXPECT_NE(m->GetColumnGeneration(0), g0);
    EXPECT_NE(m->GetColumnGeneration(3), g3);
    EXPECT_NE(m->GetColumnGeneration(1), g1);  // went back to raw: it moved

    const uint64_t g2 = m->GetColumnGeneration(2);
    const CSpillMatrix c = Make(2, {1, 0.125f, 0, 1}, {0, 3});
    ASSERT_TRUE(ds->Compensate(&c));
    EXPECT_EQ(m->GetColumnGeneration(2), g2);  // untouched by either matrix

    m->ResetCurrentColumns();
    for (int32_t j = 0; j < m->GetParamCount(); ++j) EXPECT_EQ(Current(*ds, j), Raw(*ds, j)) << j;
}
}  // namespace

namespace {

// The plain per-event rule the event matrix follows: each parameter's raw
// value to linear (float), the row times the inverse summed in double in
// row order, back to float and, for a log parameter, to channels.
std::vector<std::vector<float>> PlainCompensation(const CDataSet& ds, const CSpillMatrix& inverse,
                                                  const std::vector<double>& toLinear) {
    const int32_t n = inverse.n;
    const int32_t events = ds.GetEventCount();
    std::vector<std::vector<float>> out(static_cast<size_t>(n), std::vector<float>(static_cast<size_t>(events)));
    const double floorDecade = std::log10(double(std::numeric_limits<float>::denorm_min())) - 1.0;
    for (int32_t e = 0; e < events; ++e) {
        std::vector<float> lin(static_cast<size_t>(n));
        for (int32_t j = 0; j < n; ++j) {
            const float raw = ds.GetEventMatrix()->GetRawColumn(inverse.indices[size_t(j)])[e];
            lin[size_t(j)] = toLinear[size_t(j)] > 0 ? float(std::pow(10.0, double(raw) * toLinear[size_t(j)])) : raw;
        }
        for (int32_t k = 0; k < n; ++k) {
            double sum = 0.0;
            for (int32_t j = 0; j < n; ++j) {
                const double c = double(inverse.values[size_t(j) * size_t(n) + size_t(k)]);
                if (c != 0.0) sum += double(lin[size_t(j)]) * c;
            }
            const float l = float(sum);
            const double back = toLinear[size_t(k)] > 0 ? 1.0 / toLinear[size_t(k)] : 0.0;
            out[size_t(k)][size_t(e)] =
                back == 0.0 ? l : l > 0.0f ? float(std::log10(double(l)) * back) : float(floorDecade * back);
        }
    }
    return out;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// Enough events for the work to be split over threads and chunks (the count
// is no multiple of a chunk), with the awkward values among them: NaN,
// infinities, negatives, zeros of both signs, denormals and the largest
// floats. Every compensated value must equal the plain per-event rule's bit
// for bit, whatever the split.
TEST(Compensation, LargeColumnsEqualThePlainRuleBitForBit) {
    FcsWriter w;
    w.Param("FSC", 32, "262144", "0,0")
        .Param("FL1-LOG", 32, "1024", "4,0")
        .Param("FL2", 32, "262144", "0,0")
        .Param("FL3-LOG", 32, "1024", "5,1");
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float odd[] = {nan, inf, -inf, -0.0f, 0.0f, std::numeric_limits<float>::denorm_min(),
                         -std::numeric_limits<float>::denorm_min(), 1e-40f, std::numeric_limits<float>::max(),
                         -std::numeric_limits<float>::max(), -3.5f, 1024.0f, 1e30f};
    const int32_t events = 140000 + 333;
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1u << 24);
    };
    for (int32_t e = 0; e < events; ++e) {
        std::vector<double> v = {next() * 262144, next() * 1024, next() * 262144 - 2000, next() * 1024};
        if (e % 97 == 5) v[size_t(e % 4)] = double(odd[size_t(e / 97) % std::size(odd)]);
        w.Event(v);
    }
    auto ds = LoadFcsBytes(w.Build());
    ASSERT_EQ(ds->GetEventCount(), events);

    // A unit upper triangle with dyadic entries: its inverse is exact in
    // float, so the rule above can be fed the very values the matrix uses.
    CSpillMatrix m = Make(4, {1, 0.25f, 0.125f, 0.5f, 0, 1, 0.0625f, 0.25f, 0, 0, 1, 0.375f, 0, 0, 0, 1},
                          {3, 0, 1, 2});
    CSpillMatrix inv;
    ASSERT_TRUE(m.Invert(&inv));
    const std::vector<double> toLinear = {5.0 / 1024, 0, 4.0 / 1024, 0};  // in matrix order
    const auto want = PlainCompensation(*ds, inv, toLinear);
    // A fresh current block, then an existing one, then with no thread to be
    // had (all the work on this thread).
    CSpillMatrix other = m;
    *other.Element(0, 1) = 0.5f;
    for (int pass = 0; pass < 3; ++pass) {
        std::optional<lm::ScopedThreadStarter> noThreads;
        if (pass == 2) {
            noThreads.emplace([](std::function<void()>) -> std::thread {
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            });
            ASSERT_TRUE(ds->Compensate(&other));  // so that the next one computes again
        }
        ASSERT_TRUE(ds->Compensate(&m));
        for (int32_t k = 0; k < 4; ++k) {
            const float* got = ds->GetEventMatrix()->GetColumn(m.indices[size_t(k)]);
            int32_t bad = 0;
            for (int32_t e = 0; e < events && bad < 5; ++e)
                if (!SameBits(got[e], want[size_t(k)][size_t(e)])) {
                    ++bad;
                    ADD_FAILURE() << "pass " << pass << " position " << k << " event " << e << ": " << got[e]
                                  << " != " << want[size_t(k)][size_t(e)];
                }
        }
    }
}

// The same matrix applied again is the computation the columns already hold:
// nothing is redone and caches keyed on the generations stay valid. Any
// other matrix, or current columns put back to raw values, is computed anew.
TEST(Compensation, TheSameMatrixAgainChangesNothingAndOthersAreComputed) {
    auto ds = LoadFcsBytes(Logs().Build());
    CEventMatrix* em = ds->GetEventMatrix();
    CSpillMatrix m = Make(2, {1, 0.25f, 0.125f, 1}, {1, 2});
    ASSERT_TRUE(ds->Compensate(&m));
    const std::vector<float> first1 = Current(*ds, 1), first2 = Current(*ds, 2);
    ASSERT_NE(first1, Raw(*ds, 1));
    const uint64_t g1 = em->GetColumnGeneration(1), all = em->GetGeneration();
    const float* col = em->GetColumn(1);

    CSpillMatrix copy = m;
    ASSERT_TRUE(ds->Compensate(&copy));
    EXPECT_EQ(em->GetColumnGeneration(1), g1);
    EXPECT_EQ(em->GetGeneration(), all);
    EXPECT_EQ(em->GetColumn(1), col);
    EXPECT_EQ(Current(*ds, 1), first1);

    *copy.Element(0, 1) = 0.5f;  // one coefficient changed
    ASSERT_TRUE(ds->Compensate(&copy));
    EXPECT_NE(em->GetColumnGeneration(1), g1);
    EXPECT_NE(Current(*ds, 2), first2);
    ASSERT_TRUE(ds->Compensate(&m));  // and back
    EXPECT_EQ(Current(*ds, 1), first1);
    EXPECT_EQ(Current(*ds, 2), first2);

    // The same values over other parameters are another computation.
    CSpillMatrix moved = Make(2, {1, 0.25f, 0.125f, 1}, {0, 2});
    ASSERT_TRUE(ds->Compensate(&moved));
    EXPECT_EQ(Current(*ds, 1), Raw(*ds, 1));
    ASSERT_TRUE(ds->Compensate(&m));
    EXPECT_EQ(Current(*ds, 1), first1);

    // Current columns copied back from the raw ones no longer hold it.
    em->SeparateCurrentColumns();
    ASSERT_EQ(Current(*ds, 1), Raw(*ds, 1));
    ASSERT_TRUE(ds->Compensate(&m));
    EXPECT_EQ(Current(*ds, 1), first1);
    em->ResetCurrentColumns();
    ASSERT_TRUE(ds->Compensate(&m));
    EXPECT_EQ(Current(*ds, 2), first2);
}

// The files of the corpus, compensated over their first four decoded
// parameters (log-amplified ones among them), equal the plain rule bit for
// bit.
TEST(Compensation, CorpusFilesEqualThePlainRuleBitForBit) {
    const std::string dir = LUMITRA_FCS_CORPUS;
    int checked = 0;
    for (const char* name : {"AriaFile1.fcs", "Cytek_xP5.fcs", "FCS_3.0_Fortessa_PBS_Specimen_001_A1_A01.fcs",
                             "HTS_BD_LSR_II_Mixed_Specimen_001_D6_D06.fcs", "cyflow_cube_8.fcs",
                             "facs_diva_test.fcs", "Sample_Well_A02.fcs"}) {
        std::unique_ptr<CDataSet> ds;
        try {
            ds = std::make_unique<CDataSet>(dir + "/" + name, 0);
        } catch (const std::exception&) {
            continue;
        }
        const CEventMatrix* em = ds->GetEventMatrix();
        std::vector<int32_t> idx;
        for (int32_t u = 0; u < ds->GetParamCount() && idx.size() < 4; ++u)
            if (em && em->HasValues(u)) idx.push_back(u);
        if (idx.size() < 4 || ds->GetEventCount() <= 0) continue;
        std::vector<double> toLinear;
        for (int32_t u : idx) {
            const CParam* p = ds->GetParam(u);
            toLinear.push_back(p->IsLogScale() ? double(p->decades) / (p->hasRange ? double(p->range) : 1.0) : 0.0);
        }
        CSpillMatrix m = Make(4, {1, 0.25f, 0.125f, 0.5f, 0, 1, 0.0625f, 0.25f, 0, 0, 1, 0.375f, 0, 0, 0, 1}, idx);
        CSpillMatrix inv;
        ASSERT_TRUE(m.Invert(&inv));
        const auto want = PlainCompensation(*ds, inv, toLinear);
        ASSERT_TRUE(ds->Compensate(&m)) << name;
        for (size_t k = 0; k < 4; ++k) {
            const float* got = em->GetColumn(idx[k]);
            int32_t bad = 0;
            for (int32_t e = 0; e < ds->GetEventCount() && bad < 3; ++e)
                if (!SameBits(got[e], want[k][size_t(e)])) {
                    ++bad;
                    ADD_FAILURE() << name << " parameter " << idx[k] << " event " << e;
                }
        }
        ++checked;
    }
    EXPECT_GE(checked, 3);
}

namespace {

// Four parameters, two of them log-amplified, with NaN, infinities, zeros of
// both signs, denormals and the largest floats among the events.
std::vector<uint8_t> AwkwardFile(int32_t events) {
    FcsWriter w;
    w.Param("FSC", 32, "262144", "0,0")
        .Param("FL1-LOG", 32, "1024", "4,0")
        .Param("FL2", 32, "262144", "0,0")
        .Param("FL3-LOG", 32, "1024", "5,1");
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), -0.0f, 0.0f,
                         std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
                         1e-40f, std::numeric_limits<float>::max(), -3.5f};
    uint32_t seed = 777;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1u << 24);
    };
    for (int32_t e = 0; e < events; ++e) {
        std::vector<double> v = {next() * 262144, next() * 1024, next() * 262144 - 2000, next() * 1024};
        if (e % 89 == 3) v[size_t(e % 4)] = double(odd[size_t(e / 89) % std::size(odd)]);
        w.Event(v);
    }
    return w.Build();
}

// Every column of a, bit for bit, equals that of b.
void ExpectSameColumns(const CDataSet& a, const CDataSet& b, const std::string& what) {
    for (int32_t j = 0; j < a.GetParamCount(); ++j) {
        const std::vector<float> x = Current(a, j), y = Current(b, j);
        ASSERT_EQ(x.size(), y.size()) << what;
        EXPECT_TRUE(x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0)
            << what << ": parameter " << j;
    }
}

}  // namespace

// One coefficient edited after another: each result equals the same matrix
// applied to freshly loaded events bit for bit, and only the columns whose
// inverse column changed get a new generation (caches of the others stay).
TEST(Compensation, EditsRecomputeOnlyTheColumnsTheyChange) {
    const std::vector<uint8_t> bytes = AwkwardFile(140000 + 333);
    auto ds = LoadFcsBytes(bytes);
    CEventMatrix* em = ds->GetEventMatrix();
    // Two blocks: parameters 3 and 0, and parameters 1 and 2.
    CSpillMatrix m = Make(4, {1, 0.25f, 0, 0, 0.5f, 1, 0, 0, 0, 0, 1, 0.375f, 0, 0, 0.125f, 1}, {3, 0, 1, 2});
    ASSERT_TRUE(ds->Compensate(&m));
    struct Edit {
        int32_t r, c;
        float value;
        std::vector<int32_t> moved, kept;  // parameters that must get new values, that must not
    };
    const Edit edits[] = {
        {2, 3, 0.0625f, {1, 2}, {3, 0}},    // inside the second block
        {1, 0, 0.75f, {3, 0}, {1, 2}},      // inside the first
        {0, 0, 2.0f, {3, 0}, {1, 2}},       // a diagonal of the first
        {3, 2, 0.125f, {}, {3, 0, 1, 2}},   // the value it already has
        {0, 2, 0.01f, {1, 2}, {3, 0}},      // first into second: the second moves
        {2, 0, 0.02f, {3, 0, 1, 2}, {}},    // and back: now every column does
        {2, 0, 0.0f, {3, 0, 1, 2}, {}},
        {0, 2, 0.0f, {1, 2}, {}},           // blocks again
        {3, 3, -1.0f, {1, 2}, {3, 0}},      // a negative diagonal (zeros of both signs in the inverse)
    };
    for (const Edit& ed : edits) {
        const std::string what = std::to_string(ed.r) + "," + std::to_string(ed.c);
        std::vector<uint64_t> gen;
        std::vector<const float*> ptr;
        for (int32_t j = 0; j < 4; ++j) {
            gen.push_back(em->GetColumnGeneration(j));
            ptr.push_back(em->GetColumn(j));
        }
        *m.Element(ed.r, ed.c) = ed.value;
        ASSERT_TRUE(ds->Compensate(&m)) << what;
        for (int32_t j = 0; j < 4; ++j) {
            const bool moved = em->GetColumnGeneration(j) != gen[size_t(j)];
            if (std::find(ed.moved.begin(), ed.moved.end(), j) != ed.moved.end()) EXPECT_TRUE(moved) << what << " " << j;
            if (std::find(ed.kept.begin(), ed.kept.end(), j) != ed.kept.end()) EXPECT_FALSE(moved) << what << " " << j;
            EXPECT_EQ(em->GetColumn(j), ptr[size_t(j)]) << what;
        }
        auto fresh = LoadFcsBytes(bytes);
        ASSERT_TRUE(fresh->Compensate(&m)) << what;
        ExpectSameColumns(*ds, *fresh, what);
    }
}

// A file of the corpus: an edit inside one block of its matrix equals the
// whole computation on freshly read events.
TEST(Compensation, CorpusEditEqualsTheWholeComputation) {
    const std::string path = std::string(LUMITRA_FCS_CORPUS) + "/Cytek_xP5.fcs";
    auto ds = std::make_unique<CDataSet>(path, 0);
    const CEventMatrix* em = ds->GetEventMatrix();
    std::vector<int32_t> idx;
    for (int32_t u = 0; u < ds->GetParamCount() && idx.size() < 4; ++u)
        if (em && em->HasValues(u)) idx.push_back(u);
    ASSERT_EQ(idx.size(), 4u);
    ASSERT_GT(ds->GetEventCount(), 0);
    CSpillMatrix m = Make(4, {1, 0.25f, 0, 0, 0.5f, 1, 0, 0, 0, 0, 1, 0.375f, 0, 0, 0.125f, 1}, idx);
    ASSERT_TRUE(ds->Compensate(&m));
    const uint64_t first = em->GetColumnGeneration(idx[0]);
    *m.Element(2, 3) = 0.2f;
    ASSERT_TRUE(ds->Compensate(&m));
    EXPECT_EQ(em->GetColumnGeneration(idx[0]), first);
    EXPECT_NE(em->GetColumnGeneration(idx[3]), first);
    CDataSet fresh(path, 0);
    ASSERT_TRUE(fresh.Compensate(&m));
    ExpectSameColumns(*ds, fresh, "Cytek_xP5.fcs");
}

// A parameter's decades changed between two compensations over the same
// parameters: its linear values differ, so every column it feeds is computed
// again, even one whose inverse column is the same.
TEST(Compensation, ChangedDecadesRecomputeTheColumnsTheyFeed) {
    const std::vector<uint8_t> bytes = AwkwardFile(5000);
    auto ds = LoadFcsBytes(bytes);
    CSpillMatrix m = Make(4, {1, 0.25f, 0, 0, 0.5f, 1, 0, 0, 0, 0, 1, 0.375f, 0, 0, 0.125f, 1}, {3, 0, 1, 2});
    ASSERT_TRUE(ds->Compensate(&m));
    ds->GetParamSet()->GetParam(1)->decades = 3;  // feeds the second block
    *m.Element(1, 0) = 0.75f;                      // an edit in the first
    ASSERT_TRUE(ds->Compensate(&m));
    auto fresh = LoadFcsBytes(bytes);
    fresh->GetParamSet()->GetParam(1)->decades = 3;
    ASSERT_TRUE(fresh->Compensate(&m));
    ExpectSameColumns(*ds, *fresh, "decades");
}
