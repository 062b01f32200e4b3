// Data shell: default transforms, compensation editing, reloads, copies,
// notices, and a whole analysis on real files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "core/ErrorCodes.h"
#include "core/EventMatrix.h"
#include "core/Trans.h"
#include "tests/core/ShellTestUtil.h"
#include "tests/support/Corpus.h"

using namespace shelltest;

namespace {

std::vector<float> Column(VexaDataShell& s, int32_t p) {
    const CEventMatrix* m = s.GetDataSet()->GetEventMatrix();
    const float* c = m->GetColumn(p);
    if (!c) {
        ADD_FAILURE() << "no column " << p << " of " << m->GetParamCount();
        return {};
    }
    return std::vector<float>(c, c + m->GetEventCount());
}

std::vector<float> RawColumn(VexaDataShell& s, int32_t p) {
    const CEventMatrix* m = s.GetDataSet()->GetEventMatrix();
    const float* c = m->GetRawColumn(p);
    if (!c) {
        ADD_FAILURE() << "no raw column " << p << " of " << m->GetParamCount();
        return {};
    }
    return std::vector<float>(c, c + m->GetEventCount());
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Three linear parameters; FL1-H and FL2-H spill into each other.
lmtest::FcsWriter SpillWriter(const std::vector<std::array<double, 3>>& events,
                              const std::string& spill = "2,FL1-H,FL2-H,1,0.1,0.05,1") {
    lmtest::FcsWriter w;
    w.Param("FL1-H", 32, "1000").Param("FL2-H", 32, "1000").Param("SS", 32, "1000");
    for (const auto& e : events) w.Event({e[0], e[1], e[2]});
    if (!spill.empty()) w.Set("SPILL", spill);
    return w;
}

// (x, y) with (x, y) * [[1, a], [b, 1]] = (r1, r2).
std::pair<double, double> Uncross(double r1, double r2, double a, double b) {
    const double det = 1.0 - a * b;
    return {(r1 - b * r2) / det, (r2 - a * r1) / det};
}

}  // namespace

TEST(DataShell, DefaultTransformsFollowTheParameterName) {
    lmtest::FcsWriter w;
    w.Param("Time", 32, "1024")
        .Param("time", 32, "1024")
        .Param("FSC-A", 32, "262144")
        .Param("SSC-H", 32, "1024")
        .Param("FL1-H", 32, "1024", "4,0")
        .Param("FL2-A", 32, "10000")
        .Param("TIME2", 32, "50");
    w.Event({10, 1, 2, 3, 4, 5, 6}).Event({500, 1, 2, 3, 4, 5, 60});
    VexaDataShell s(MakeDataSet(w), "s");
    ASSERT_EQ(s.GetParamCount(), 7);
    struct Expect {
        int kind;
        float min, max;
    } expect[] = {
        {kTransLinear, 0, 500.0f * 1.05f}, {kTransLinear, 0, 1024},   {kTransLinear, 0, 262144},
        {kTransLinear, 0, 1024},           {kTransLinear, 0, 1024},   {kTransLog, 0, 4.0f},
        {kTransLinear, 0, 60.0f * 1.05f},
    };
    for (int i = 0; i < 7; ++i) {
        CTRANS* t = s.GetTrans(i);
        ASSERT_NE(t, nullptr) << i;
        EXPECT_EQ(t->GetType(), expect[i].kind) << i;
        EXPECT_FLOAT_EQ(t->GetMin(), expect[i].min) << i;
        EXPECT_FLOAT_EQ(t->GetMax(), expect[i].max) << i;
    }
    EXPECT_EQ(s.GetTrans(7), nullptr);
    EXPECT_EQ(s.GetTrans(-1), nullptr);
}

TEST(DataShell, DefaultTransformsNeverGetAnEmptyRange) {
    lmtest::FcsWriter w;
    w.Param("Time", 32, "")    // no $PnR and no positive value
        .Param("Time", 32, "0")
        .Param("FS", 32, "0")
        .Param("FL1", 32, "")  // log axis without $PnR
        .Param("FL2", 32, "1") // log10(1) = 0 decades
        .Param("FL3", 32, "0", "4,0");
    w.Event({0, -5, 0, 0, 0, 0}).Event({-3, -1, 0, 0.5, 0, 0});
    VexaDataShell s(MakeDataSet(w), "s");
    for (int i = 0; i < s.GetParamCount(); ++i) {
        CTRANS* t = s.GetTrans(i);
        ASSERT_NE(t, nullptr) << i;
        EXPECT_TRUE(std::isfinite(t->GetMin()) && std::isfinite(t->GetMax())) << i;
        EXPECT_GT(t->GetRange(), 0.0f) << i;
        EXPECT_LT(t->GetMin(), t->GetMax()) << i;
    }
}

namespace {

// The rule the default transforms follow, the data's top taken for every
// parameter up front (as it once was): the shell, which looks at the top
// only when the range does not decide, must choose the very same.
std::unique_ptr<CTRANS> DefaultTransformByTheRule(VexaDataShell& s, int32_t i) {
    const CParam* p = s.GetParam(i);
    const std::string name = p && p->hasName ? p->name : std::string();
    auto startsWith = [&name](const char* t) { return name.rfind(t, 0) == 0; };
    const float range = s.GetParamRange(i);
    const CEventMatrix* em = s.GetDataSet()->GetEventMatrix();
    const float top = em->HasValues(i) ? float(s.GetRoot()->GetStatItem()->GetMax(i)) * 1.05f : 0.0f;
    auto linear = [](std::initializer_list<float> tops) {
        for (float t : tops)
            if (CTRANS::IsValidRange(0.0f, t)) return std::make_unique<CTRANS>(0.0f, t);
        return std::make_unique<CTRANS>(0.0f, 1.0f);
    };
    if (startsWith("TIME") || startsWith("Time")) return linear({top, range});
    if (startsWith("FS") || startsWith("SS") || startsWith("time") || (p && p->IsLogScale()))
        return linear({range, top});
    for (float t : {range, top})
        if (t > 1.0f && std::isfinite(t)) {
            const float decades = float(std::log10(double(t)));
            if (CLogTRANS::IsValidRange(0.0f, decades)) return std::make_unique<CLogTRANS>(0.0f, decades);
        }
    return std::make_unique<CLogTRANS>(0.0f, 1.0f);
}

}  // namespace

// Ranges that decide and ranges that leave it to the data (absent, zero,
// one, too wide, negative data), on every kind of name, and a parameter
// without values.
TEST(DataShell, DefaultTransformsLookAtTheDataOnlyWhereTheRangeDoesNotDecide) {
    struct Spec {
        const char* name;
        const char* range;
        const char* decades;
    };
    const Spec specs[] = {
        {"Time", "1024", "0,0"}, {"TIME", "", "0,0"},    {"time", "", "0,0"},    {"FS", "", "0,0"},
        {"SS", "0", "0,0"},      {"FSC", "500", "0,0"},  {"FL1", "", "4,0"},     {"FL2", "", "0,0"},
        {"FL3", "1", "0,0"},     {"FL4", "1e39", "0,0"}, {"FL5", "1e30", "0,0"}, {"FL6", "1024", "0,0"},
        {"FL7", "", "0,0"},      {"CD3", "-5", "0,0"},
    };
    lmtest::FcsWriter w;
    for (const Spec& p : specs) w.Param(p.name, 32, p.range, p.decades);
    w.Param("wide", 40, "1024");  // no values: the data's top is 0
    const size_t n = std::size(specs);
    std::vector<double> a(n + 1, 0.0), b(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i) {
        a[i] = 10.0 * double(i + 1);
        b[i] = 5000.0 + 300.0 * double(i);
    }
    a[n - 2] = -7.0;
    b[n - 2] = -0.5;  // FL7: no positive value
    w.DataType('F');
    std::vector<uint8_t> data;
    for (const auto* ev : {&a, &b})
        for (size_t i = 0; i <= n; ++i) {
            const float f = float((*ev)[i]);
            const size_t width = i < n ? 4 : 5;
            uint8_t bytes[5] = {};
            std::memcpy(bytes, &f, 4);
            data.insert(data.end(), bytes, bytes + width);
        }
    w.RawData(std::move(data)).Set("$TOT", "2");
    VexaDataShell s(MakeDataSet(w), "s");
    ASSERT_EQ(s.GetParamCount(), int32_t(n + 1));
    ASSERT_EQ(s.GetTotalEvents(), 2);
    for (int32_t i = 0; i < s.GetParamCount(); ++i) {
        const std::unique_ptr<CTRANS> want = DefaultTransformByTheRule(s, i);
        const CTRANS* got = s.GetTrans(i);
        ASSERT_NE(got, nullptr) << i;
        EXPECT_EQ(got->GetType(), want->GetType()) << i;
        EXPECT_EQ(got->GetMin(), want->GetMin()) << i;
        EXPECT_EQ(got->GetMax(), want->GetMax()) << i;
    }
    // The data decided where the range could not.
    EXPECT_EQ(s.GetTrans(3)->GetMax(), float(b[3]) * 1.05f);                          // FS without $PnR
    EXPECT_EQ(s.GetTrans(7)->GetMax(), float(std::log10(double(float(b[7]) * 1.05f))));  // FL2 without $PnR
    EXPECT_EQ(s.GetTrans(5)->GetMax(), 500.0f);                                        // FSC: the range
}

TEST(DataShell, ParamLabelsAndLogScale) {
    lmtest::FcsWriter w;
    w.Param("FL1-H", 32, "1024", "4,0", "CD4").Param("FL2-H", 32, "", "3,0").Param("SS", 32, "1000", "", "");
    w.Event({1, 2, 3});
    VexaDataShell s(MakeDataSet(w), "s");
    EXPECT_EQ(s.GetParamLabel(-1, 0), "Count");
    EXPECT_EQ(s.GetParamLabel(0, 1), "FL1-H");
    EXPECT_EQ(s.GetParamLabel(0, 2), "CD4");
    EXPECT_EQ(s.GetParamLabel(1, 2), "FL2-H");
    EXPECT_EQ(s.GetParamLabel(0, 0), "FL1-HCD4");
    EXPECT_EQ(s.GetParamLabel(5, 1), "");
    EXPECT_EQ(s.GetParamLabel(-2, 1), "");

    const std::vector<int32_t> before = s.GetErrors();
    EXPECT_FLOAT_EQ(s.ComputeLogScale(0), 4.0f / 1024.0f);
    EXPECT_EQ(s.GetErrors(), before);
    EXPECT_FLOAT_EQ(s.ComputeLogScale(1), 3.0f);  // no $PnR: range 1
    EXPECT_FLOAT_EQ(s.ComputeLogScale(2), 0.0f);  // no $PnE
    EXPECT_EQ(std::count(s.GetErrors().begin(), s.GetErrors().end(), kErrNoRange), 1);
    EXPECT_EQ(std::count(s.GetErrors().begin(), s.GetErrors().end(), kErrNoDecades), 1);
    // Statistics ask for the scale every time; the codes are kept once.
    for (int k = 0; k < 5; ++k) s.GetGate(0)->GetStatItem()->GetMean(1);
    EXPECT_EQ(std::count(s.GetErrors().begin(), s.GetErrors().end(), kErrNoRange), 1);
}

TEST(DataShell, FileSpillCompensatesOnLoad) {
    VexaDataShell s(MakeDataSet(SpillWriter({{100, 50, 7}, {300, 20, 8}})), "s");
    ASSERT_NE(s.GetFileMatrix(), nullptr);
    EXPECT_FLOAT_EQ(s.GetCompValue(0, 1), 0.1f);
    EXPECT_FLOAT_EQ(s.GetCompValue(1, 0), 0.05f);
    EXPECT_FLOAT_EQ(s.GetCompValue(0, 0), 1.0f);
    EXPECT_EQ(s.GetCompValue(0, 2), -1.0f);
    EXPECT_EQ(s.GetCompValue(-1, 0), -1.0f);
    // The arithmetic itself is the compensation tests' matter: here only that it ran.
    EXPECT_NEAR(Column(s, 1)[0], Uncross(100, 50, 0.1, 0.05).second, 1e-3);
    EXPECT_EQ(Column(s, 2), (std::vector<float>{7, 8}));
}

// No matrix means no compensation: accepted, the events are the raw ones
// again, and the stored matrix stays unless it is replaced.
TEST(DataShell, NoMatrixUndoesTheCompensation) {
    VexaDataShell s(MakeDataSet(SpillWriter({{100, 50, 7}, {300, 20, 8}})), "s");
    ASSERT_NE(Column(s, 0), RawColumn(s, 0));
    EXPECT_TRUE(s.SetCompMatrix(nullptr, false));
    EXPECT_TRUE(SameBits(Column(s, 0), RawColumn(s, 0)));
    EXPECT_TRUE(SameBits(Column(s, 1), RawColumn(s, 1)));
    EXPECT_NE(s.GetFileMatrix(), nullptr);
    EXPECT_TRUE(s.SetCompMatrix(s.GetFileMatrix(), false));
    EXPECT_NEAR(Column(s, 1)[0], Uncross(100, 50, 0.1, 0.05).second, 1e-3);
    EXPECT_TRUE(s.SetCompMatrix(nullptr, true));
    EXPECT_TRUE(SameBits(Column(s, 1), RawColumn(s, 1)));
}

TEST(DataShell, CompensationEditsAreUndoneBitForBit) {
    std::vector<std::array<double, 3>> ev;
    for (int i = 0; i < 300; ++i) ev.push_back({double(i * 3 % 1000), double(i * 7 % 1000), double(i)});
    VexaDataShell s(MakeDataSet(SpillWriter(ev)), "s");
    CGateNode* g = s.AddRegionGate(Rect(0.2f, 0.2f, 0.8f, 0.8f), 0, "");
    const auto before0 = Column(s, 0), before1 = Column(s, 1);
    const auto maskBefore = Members(g);
    std::vector<std::string> log;
    LogUser u(&log, "u", &s);

    s.EditCompensation(kCompBeginEdit);
    ASSERT_NE(s.GetEditMatrix(), nullptr);
    s.SetCompValue(0, 1, 0.4f);
    s.SetCompValue(1, 0, 0.3f);
    EXPECT_FLOAT_EQ(s.GetCompValue(0, 1), 0.4f);
    EXPECT_FALSE(SameBits(Column(s, 0), before0));
    // The gates follow the working matrix at once.
    EXPECT_NE(Members(g), maskBefore);
    // The stored matrix is untouched until the edit is applied.
    EXPECT_FLOAT_EQ(*s.GetFileMatrix()->Element(0, 1), 0.1f);

    s.EditCompensation(kCompRestore);
    EXPECT_EQ(s.GetEditMatrix(), nullptr);
    EXPECT_TRUE(SameBits(Column(s, 0), before0));
    EXPECT_TRUE(SameBits(Column(s, 1), before1));
    EXPECT_EQ(Members(g), maskBefore);
    EXPECT_FLOAT_EQ(s.GetCompValue(0, 1), 0.1f);
    EXPECT_EQ(log.back(), "u:data");

    s.EditCompensation(kCompBeginEdit);
    s.SetCompValue(0, 1, 0.2f);
    s.EditCompensation(kCompApply);
    EXPECT_EQ(s.GetEditMatrix(), nullptr);
    EXPECT_FLOAT_EQ(s.GetCompValue(0, 1), 0.2f);
    const auto e = Uncross(ev[5][0], ev[5][1], 0.2, 0.05);
    EXPECT_NEAR(Column(s, 0)[5], e.first, 1e-3);

    // Applying without a working matrix keeps what is there.
    const auto kept = Column(s, 0);
    s.EditCompensation(kCompApply);
    EXPECT_TRUE(SameBits(Column(s, 0), kept));
}

TEST(DataShell, SetCompValueOutsideTheMatrixChangesNothing) {
    VexaDataShell s(MakeDataSet(SpillWriter({{100, 50, 7}, {300, 20, 8}})), "s");
    const auto c0 = Column(s, 0), c2 = Column(s, 2);
    const CSpillMatrix before = *s.GetFileMatrix();
    s.SetCompValue(0, 2, 0.5f);
    s.SetCompValue(2, 2, 0.5f);
    s.SetCompValue(-1, 0, 0.5f);
    EXPECT_EQ(s.GetFileMatrix()->values, before.values);
    EXPECT_TRUE(SameBits(Column(s, 0), c0));
    EXPECT_TRUE(SameBits(Column(s, 2), c2));

    // A value that makes the matrix singular is refused: what is shown stays
    // what the events follow, and applying keeps a matrix that works.
    CSpillMatrix singular = before;
    singular.values = {1, 2, 0.5f, 1};
    EXPECT_FALSE(s.SetCompMatrix(&singular, true));
    s.EditCompensation(kCompBeginEdit);
    ASSERT_TRUE(s.SetCompValue(1, 0, 0.5f));
    const auto c0Edited = Column(s, 0);
    EXPECT_FALSE(s.SetCompValue(0, 1, 2.0f));  // 1 - 0.5 x 2 = 0
    EXPECT_FLOAT_EQ(s.GetCompValue(0, 1), 0.1f);
    EXPECT_TRUE(SameBits(Column(s, 0), c0Edited));
    EXPECT_TRUE(s.EditCompensation(kCompApply));
    EXPECT_EQ(s.GetFileMatrix()->values, (std::vector<float>{1, 0.1f, 0.5f, 1}));
}

TEST(DataShell, EditingWithoutAStoredMatrixCostsOnlyWhatIsEdited) {
    // A wide file without SPILL: the working matrix must not be $PAR x $PAR.
    constexpr int32_t kPar = 3000;
    lmtest::FcsWriter w;
    for (int32_t i = 0; i < kPar; ++i) w.Param("P" + std::to_string(i), 32, "1000");
    std::vector<double> e0(kPar, 10.0), e1(kPar, 20.0);
    e0[1] = 100;
    e1[1] = 300;
    w.Event(e0).Event(e1);
    VexaDataShell s(MakeDataSet(w), "wide");
    ASSERT_EQ(s.GetFileMatrix(), nullptr);
    EXPECT_EQ(s.GetCompValue(0, 1), -1.0f);  // no matrix, no edit

    s.EditCompensation(kCompBeginEdit);
    ASSERT_NE(s.GetEditMatrix(), nullptr);
    EXPECT_EQ(s.GetEditMatrix()->n, 0);
    // Every parameter reads as the identity, as the dialog expects.
    EXPECT_EQ(s.GetCompValue(5, 5), 1.0f);
    EXPECT_EQ(s.GetCompValue(5, 6), 0.0f);
    EXPECT_EQ(s.GetCompValue(5, kPar), -1.0f);
    EXPECT_FALSE(s.SetCompValue(kPar, 0, 0.5f));
    EXPECT_EQ(s.GetEditMatrix()->n, 0);

    ASSERT_TRUE(s.SetCompValue(0, 1, 0.5f));
    EXPECT_EQ(s.GetEditMatrix()->n, 2);
    EXPECT_EQ(s.GetEditMatrix()->indices, (std::vector<int32_t>{0, 1}));
    EXPECT_FLOAT_EQ(s.GetCompValue(0, 1), 0.5f);
    EXPECT_FLOAT_EQ(Column(s, 1)[0], 100 - 0.5f * 10);
    ASSERT_TRUE(s.SetCompValue(2, 1, 0.25f));  // one more parameter, one more row
    EXPECT_EQ(s.GetEditMatrix()->n, 3);
    EXPECT_FLOAT_EQ(s.GetCompValue(0, 1), 0.5f);  // kept while widening
    EXPECT_FLOAT_EQ(Column(s, 1)[1], 300 - 0.5f * 20 - 0.25f * 20);

    ASSERT_TRUE(s.EditCompensation(kCompApply));
    ASSERT_NE(s.GetFileMatrix(), nullptr);
    EXPECT_EQ(s.GetFileMatrix()->n, 3);
    // The stored matrix still stands over the identity of the rest.
    EXPECT_EQ(s.GetCompValue(7, 7), 1.0f);
    EXPECT_EQ(s.GetCompValue(7, 8), 0.0f);
    EXPECT_FLOAT_EQ(s.GetCompValue(2, 1), 0.25f);

    // Cancelling an edit of a shell without a matrix gives the raw events back.
    VexaDataShell t(MakeDataSet(w), "wide2");
    t.EditCompensation(kCompBeginEdit);
    ASSERT_TRUE(t.SetCompValue(0, 1, 0.5f));
    t.EditCompensation(kCompRestore);
    EXPECT_TRUE(SameBits(Column(t, 1), RawColumn(t, 1)));
    EXPECT_EQ(t.GetFileMatrix(), nullptr);
}

TEST(DataShell, MissingMatrixActsAsIdentity) {
    std::vector<std::array<double, 3>> ev = {{100, 50, 7}, {300, 20, 8}, {5, 900, 1}};
    // A file without SPILL: identity, events as read.
    VexaDataShell plain(MakeDataSet(SpillWriter(ev, "")), "plain");
    EXPECT_EQ(plain.GetFileMatrix(), nullptr);  // not $PAR x $PAR of identity
    EXPECT_EQ(plain.GetCompValue(1, 0), -1.0f);
    EXPECT_TRUE(SameBits(Column(plain, 0), RawColumn(plain, 0)));
    plain.EditCompensation(kCompBeginEdit);
    plain.SetCompValue(0, 1, 0.25f);
    EXPECT_FALSE(SameBits(Column(plain, 1), RawColumn(plain, 1)));
    plain.EditCompensation(kCompRestore);
    EXPECT_TRUE(SameBits(Column(plain, 1), RawColumn(plain, 1)));

    // A shell made without compensation has no matrix at all.
    lmtest::TempDir dir;
    const std::string path = dir.Write("spill.fcs", SpillWriter(ev).Build());
    VexaDataShell none(path, 0, "none", false);
    ASSERT_NE(none.GetDataSet(), nullptr);
    EXPECT_EQ(none.GetFileMatrix(), nullptr);
    EXPECT_EQ(none.GetCompValue(0, 1), -1.0f);
    none.SetCompValue(0, 1, 0.5f);
    EXPECT_TRUE(SameBits(Column(none, 0), RawColumn(none, 0)));
    none.SetCompMatrix(nullptr, true);
    EXPECT_TRUE(SameBits(Column(none, 0), RawColumn(none, 0)));
    none.EditCompensation(kCompBeginEdit);
    none.SetCompValue(0, 1, 0.5f);
    EXPECT_FALSE(SameBits(Column(none, 1), RawColumn(none, 1)));
    none.EditCompensation(kCompRestore);
    EXPECT_TRUE(SameBits(Column(none, 1), RawColumn(none, 1)));
    EXPECT_EQ(none.GetFileMatrix(), nullptr);

    // SetCompMatrix(null) on a compensated shell gives the raw events back.
    VexaDataShell comp(path, 0, "comp", true);
    EXPECT_FALSE(SameBits(Column(comp, 0), RawColumn(comp, 0)));
    comp.SetCompMatrix(nullptr, false);
    EXPECT_TRUE(SameBits(Column(comp, 0), RawColumn(comp, 0)));
    EXPECT_EQ(comp.GetCompMode(), 1);
    VexaDataShell plainFile(dir.Write("plain.fcs", SpillWriter(ev, "").Build()), 0, "p", true);
    EXPECT_EQ(plainFile.GetCompMode(), 0);
}

TEST(DataShell, TransformChangeReevaluatesTheGatesOnThatParameter) {
    std::vector<std::pair<double, double>> ev;
    for (int i = 0; i < 200; ++i) ev.push_back({i * 5.0 + 0.5, i * 5.0 + 0.5});
    VexaDataShell s(MakeXY(ev), "s");
    CGateNode* onX = s.AddRegionGate(Range(0.25f, 0.5f, 0), 0, "x");
    CGateNode* onY = s.AddRegionGate(Range(0.25f, 0.5f, 1), 0, "y");
    CGateNode* dep = s.AddNotGate(onX, "");
    CountingGateUser wx(onX), wy(onY), wd(dep);
    std::vector<std::string> log;
    LogUser u(&log, "u", &s);
    ASSERT_EQ(onX->GetMask().CountSetBits(), 50u);  // 250 < v < 500

    EXPECT_TRUE(s.SetTrans(std::make_unique<CTRANS>(0.0f, 2000.0f), 0));
    EXPECT_EQ(onX->GetMask().CountSetBits(), 100u);  // 500 < v < 1000
    EXPECT_EQ(dep->GetMask().CountSetBits(), 100u);
    EXPECT_EQ(onY->GetMask().CountSetBits(), 50u);
    EXPECT_EQ(wx.changed, 1);
    EXPECT_EQ(wd.changed, 1);
    EXPECT_EQ(wy.changed, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"u:data", "u:param 0"}));
    EXPECT_FLOAT_EQ(s.GetTrans(0)->GetMax(), 2000.0f);

    EXPECT_FALSE(s.SetTrans(std::make_unique<CTRANS>(0.0f, 1.0f), -1));
    EXPECT_FALSE(s.SetTrans(std::make_unique<CTRANS>(0.0f, 1.0f), 2));
    EXPECT_FALSE(s.SetTrans(nullptr, 0));
    EXPECT_FLOAT_EQ(s.GetTrans(0)->GetMax(), 2000.0f);
}

TEST(DataShell, BoundsOfIndexedAccess) {
    VexaDataShell s(MakeXY({{1, 1}, {2, 2}}), "s");
    s.AddRegionGate(Rect(0, 0, 1, 1), 0, "");
    EXPECT_EQ(s.GetGate(-1), nullptr);
    EXPECT_EQ(s.GetGate(2), nullptr);
    EXPECT_NE(s.GetGate(1), nullptr);
    EXPECT_EQ(s.GetRegion(-1), nullptr);
    EXPECT_EQ(s.GetRegion(1), nullptr);
    EXPECT_NE(s.GetRegion(0), nullptr);
    EXPECT_EQ(s.GetGateColor(9), 0u);
    EXPECT_EQ(s.GetParam(-1), nullptr);
    EXPECT_EQ(s.GetParam(2), nullptr);
    EXPECT_EQ(s.GetParamRange(-3), 0.0f);
    EXPECT_FLOAT_EQ(s.GetParamRange(1), 1000.0f);
    EXPECT_EQ(s.AddNotGateAt(-1, ""), nullptr);
    EXPECT_EQ(s.AddNotGateAt(5, ""), nullptr);
    EXPECT_EQ(s.AddRegionGate(Rect(0, 0, 1, 1), -1, ""), nullptr);
    EXPECT_EQ(s.AddRegionGate(Rect(0, 0, 1, 1), 2, ""), nullptr);
    EXPECT_EQ(s.AddRegionGate(nullptr, 0, ""), nullptr);
    EXPECT_EQ(s.AddGate(nullptr), nullptr);
    VexaDataShell other(MakeXY({{1, 1}}), "other");
    EXPECT_EQ(s.AddGate(std::make_unique<CGateNode>(&other, other.GetGate(0), "n")), nullptr);
    // A region over a parameter the data set lacks.
    EXPECT_EQ(s.AddRegionGate(Rect(0, 0, 1, 1, 0, 2), 0, ""), nullptr);
    EXPECT_EQ(s.GetGateCount(), 2);
    EXPECT_FALSE(s.GetGateEventIterator(7).Valid());
    VexaDataShell empty;
    EXPECT_EQ(empty.GetGate(0), nullptr);  // no data set: no gates handed out
    EXPECT_EQ(empty.GetGateCount(), 1);
    EXPECT_EQ(empty.GetTotalEvents(), 0);
}

TEST(DataShell, NoticesOfGateEdits) {
    VexaDataShell s(MakeXY({{100, 100}, {600, 600}}), "s");
    std::vector<std::string> log;
    LogUser u1(&log, "1", &s), u2(&log, "2", &s);
    CGateNode* g = s.AddRegionGate(Rect(0, 0, 0.5f, 0.5f), 0, "R");
    s.AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f), 0, "");
    EXPECT_EQ(log, (std::vector<std::string>{"1:gates", "2:gates", "1:gates", "2:gates"}));
    log.clear();
    s.RemoveGate(g, true);
    EXPECT_EQ(log, (std::vector<std::string>{"2:removing R", "1:removing R", "1:data", "2:data"}));
    log.clear();
    s.RemoveGate(s.GetGate(1), false);
    EXPECT_EQ(log, (std::vector<std::string>{"2:removing Q0", "1:removing Q0", "2:removing Q0", "1:removing Q0",
                                             "2:removing Q0", "1:removing Q0", "2:removing Q0", "1:removing Q0"}));
    EXPECT_EQ(s.GetGateCount(), 1);
}

TEST(DataShell, ReloadIsRefusedWhenTheNewDataDoNotFit) {
    VexaDataShell s(MakeXY({{100, 100}, {600, 600}, {300, 800}}), "s");
    CGateNode* g = s.AddRegionGate(Rect(0, 0, 0.5f, 1.0f), 0, "");
    CGateNode* r = s.AddRegionGate(Range(0.2f, 0.9f, 1), 0, "");
    CDataSet* before = s.GetDataSet();
    const auto mg = Members(g), mr = Members(r);
    const auto col = Column(s, 0);
    std::vector<std::string> log;
    LogUser u(&log, "u", &s);
    auto unchanged = [&] {
        EXPECT_EQ(s.GetDataSet(), before);
        EXPECT_EQ(Members(g), mg);
        EXPECT_EQ(Members(r), mr);
        EXPECT_TRUE(SameBits(Column(s, 0), col));
        EXPECT_TRUE(log.empty());
    };

    // One parameter only: the rectangle reads parameter 1.
    CDataSet* narrow = MakeColumn({1, 2, 3, 4});
    EXPECT_FALSE(s.SetDataSet(narrow, true));
    unchanged();
    delete narrow;

    // Other ranges.
    lmtest::FcsWriter w;
    w.Param("FS", 32, "1024").Param("SS", 32, "1000").Event({1, 2});
    CDataSet* ranged = MakeDataSet(w);
    EXPECT_FALSE(s.SetDataSet(ranged, true));
    unchanged();
    EXPECT_EQ(std::count(s.GetErrors().begin(), s.GetErrors().end(), kErrRangesDiffer), 1);
    delete ranged;

    // Not list mode: no events were read.
    lmtest::FcsWriter c;
    c.Param("FS", 32, "1000").Param("SS", 32, "1000").Mode("C").Event({1, 2});
    CDataSet* noEvents = MakeDataSet(c);
    EXPECT_FALSE(s.SetDataSet(noEvents, true));
    unchanged();
    delete noEvents;
    // List mode without a single event.
    lmtest::FcsWriter e;
    e.Param("FS", 32, "1000").Param("SS", 32, "1000");
    CDataSet* empty = MakeDataSet(e);
    ASSERT_NE(empty->GetEventMatrix(), nullptr);
    EXPECT_FALSE(s.SetDataSet(empty, true));
    unchanged();
    delete empty;

    EXPECT_FALSE(s.SetDataSet(nullptr, true));
    EXPECT_FALSE(s.SetDataSet(before, true));
    EXPECT_FALSE(s.OpenDataSet("/nonexistent/file.fcs", 0));
    unchanged();
}

// Plots and regions name parameters by place: other names there refuse the
// reload, while a parameter that has no name takes the place's name.
TEST(DataShell, ReloadRefusesOtherNamesButTakesAParameterWithoutOne) {
    VexaDataShell s(MakeXY({{100, 100}, {600, 600}}), "s");
    CGateNode* g = s.AddRegionGate(Rect(0, 0, 0.5f, 1.0f), 0, "");
    CDataSet* before = s.GetDataSet();
    lmtest::FcsWriter swapped;
    swapped.Param("SS", 32, "1000").Param("FS", 32, "1000").Event({1, 2});
    CDataSet* renamed = MakeDataSet(swapped);
    EXPECT_FALSE(s.SetDataSet(renamed, true));
    EXPECT_EQ(s.GetDataSet(), before);
    EXPECT_EQ(std::count(s.GetErrors().begin(), s.GetErrors().end(), kErrNamesDiffer), 1);
    delete renamed;

    lmtest::FcsWriter nameless;
    nameless.Param(lmtest::FcsParamSpec{"", 32, "1000", "", ""}).Param("SS", 32, "1000");
    nameless.Event({100, 1}).Event({700, 2}).Event({300, 3});
    CDataSet* next = MakeDataSet(nameless);
    ASSERT_FALSE(next->GetParam(0)->hasName);
    ASSERT_TRUE(s.SetDataSet(next, true));
    EXPECT_EQ(s.GetDataSet(), next);
    EXPECT_EQ(Members(g), (std::vector<int>{0, 2}));
}

TEST(DataShell, AcceptedReloadEvaluatesGatesOnCompensatedValues) {
    VexaDataShell s(MakeDataSet(SpillWriter({{100, 50, 7}})), "s");
    // FL1-H is on a 3-decade log axis: 0.8257 is about the value 300.
    CGateNode* g = s.AddRegionGate(Rect(0.0f, 0.0f, 0.8257f, 1.0f, 0, 1), 0, "");
    CountingGateUser watcher(g);
    std::vector<std::string> log;
    LogUser u(&log, "u", &s);

    // Raw FL1-H values straddle 300 only after compensation with a large
    // spill from FL2-H: raw 320 with FL2-H 800 becomes 270.
    std::vector<std::array<double, 3>> ev = {{320, 800, 1}, {250, 10, 2}, {500, 100, 3}, {310, 20, 4}};
    // One parameter more than before: the regions still fit.
    lmtest::FcsWriter w2;
    w2.Param("FL1-H", 32, "1000").Param("FL2-H", 32, "1000").Param("SS", 32, "1000").Param("FL3-H", 32, "1000");
    for (auto& e : ev) w2.Event({e[0], e[1], e[2], 9});
    w2.Set("SPILL", "2,FL1-H,FL2-H,1,0,0.0625,1");
    CDataSet* next = MakeDataSet(w2);
    ASSERT_TRUE(s.SetDataSet(next, true));
    EXPECT_EQ(s.GetDataSet(), next);
    EXPECT_EQ(s.GetTotalEvents(), 4);
    EXPECT_FLOAT_EQ(s.GetCompValue(1, 0), 0.0625f);
    const auto c0 = Column(s, 0);
    EXPECT_NEAR(c0[0], 320 - 0.0625 * 800, 1e-3);
    std::vector<int> expect;
    for (int i = 0; i < 4; ++i)
        if (s.GetTrans(0)->ToFraction(c0[size_t(i)]) < 0.8257f) expect.push_back(i);
    EXPECT_EQ(Members(g), expect);
    EXPECT_EQ(expect, (std::vector<int>{0, 1}));
    EXPECT_EQ(log, std::vector<std::string>{"u:data"});
    EXPECT_EQ(watcher.GetGate(), g);
    // The new parameter gets a default transform; SetTrans on it works.
    EXPECT_NE(s.GetTrans(3), nullptr);
    EXPECT_TRUE(s.SetTrans(std::make_unique<CTRANS>(0.0f, 10.0f), 3));
}

TEST(DataShell, OpenDataSetReadsAFileIntoTheSameGates) {
    lmtest::TempDir dir;
    std::vector<std::array<double, 3>> a = {{100, 50, 7}, {300, 20, 8}};
    std::vector<std::array<double, 3>> b = {{800, 50, 700}, {300, 20, 8}, {100, 10, 1}};
    const std::string pa = dir.Write("a.fcs", SpillWriter(a).Build());
    const std::string pb = dir.Write("b.fcs", SpillWriter(b).Build());
    const std::string junk = dir.Write("junk.fcs", std::vector<uint8_t>{'n', 'o', 'p', 'e'});
    VexaDataShell s(pa, 0, "s", true);
    CGateNode* g = s.AddRegionGate(Range(0.0f, 0.5f, 2), 0, "");  // SS below 500
    EXPECT_EQ(g->GetMask().CountSetBits(), 2u);
    EXPECT_FALSE(s.OpenDataSet(junk, 0));
    EXPECT_EQ(s.GetPathName(), pa);
    ASSERT_TRUE(s.OpenDataSet(pb, 0));
    EXPECT_EQ(s.GetPathName(), pb);
    EXPECT_EQ(s.GetFileName(), "b.fcs");
    EXPECT_EQ(s.GetFileDir(), dir.Path() + "/");
    EXPECT_EQ(g->GetMask().GetBitCount(), 3u);
    EXPECT_EQ(Members(g), (std::vector<int>{1, 2}));
    // The root gate counts the new file's events too.
    EXPECT_EQ(s.GetGate(0)->GetMask().CountSetBits(), 3u);
    EXPECT_EQ(s.GetGate(0)->GetStatItem()->GetEventCount(), 3);
}

TEST(DataShell, AnalysisOfAnotherShellOnANewFile) {
    lmtest::TempDir dir;
    std::vector<std::array<double, 3>> ev;
    for (int i = 0; i < 400; ++i) ev.push_back({double(i * 13 % 1000) + 0.5, double(i * 29 % 1000) + 0.5, 1});
    const std::string path = dir.Write("next.fcs", SpillWriter(ev).Build());
    VexaDataShell src(MakeDataSet(SpillWriter(ev)), "src");
    CGateNode* a = src.AddRegionGate(Rect(0.1f, 0.1f, 0.7f, 0.7f, 0, 1), 0, "A");
    CGateNode* gone = src.AddNotGateAt(0, "gone");
    src.AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f),
                      src.GetGateIndex(a), "");
    CGateNode* b = src.AddRegionGate(std::make_unique<CrEllipse>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.9f, 0.6f}), 0, "");
    src.AddLogicGate(kGateOr, {a, b}, "");
    src.RemoveGate(gone, false);  // leaves a hole in the id pool
    src.GetGate(3)->SetColor(0x00ABCDEF);
    src.SetTrans(std::make_unique<CTRANS>(0.0f, 900.0f), 1);

    VexaDataShell copy(src, path, 0, "copy");
    ASSERT_EQ(copy.GetGateCount(), src.GetGateCount());
    for (int i = 0; i < src.GetGateCount(); ++i) {
        CGateNode* x = src.GetGate(i);
        CGateNode* y = copy.GetGate(i);
        EXPECT_EQ(y->GetName(), x->GetName()) << i;
        EXPECT_EQ(y->GetDisplayName(), x->GetDisplayName()) << i;
        EXPECT_EQ(y->GetOperator(), x->GetOperator()) << i;
        EXPECT_EQ(y->GetId(), x->GetId()) << i;
        EXPECT_EQ(y->GetColor(), x->GetColor()) << i;
        EXPECT_EQ(y->GetInputs().size(), x->GetInputs().size()) << i;
        EXPECT_EQ(y->GetRegionType(), x->GetRegionType()) << i;
        EXPECT_EQ(Members(y), Members(x)) << i;  // same events, same analysis
        for (size_t k = 0; k < x->GetInputs().size(); ++k)
            EXPECT_EQ(copy.GetGateIndex(y->GetInputs()[k]), src.GetGateIndex(x->GetInputs()[k]));
    }
    EXPECT_EQ(copy.GetGateIdPool(), src.GetGateIdPool());
    EXPECT_EQ(copy.GetQuadrantIdPool(), src.GetQuadrantIdPool());
    EXPECT_EQ(copy.GetRegionCount(), src.GetRegionCount());
    EXPECT_TRUE(copy.GetTrans(1)->IsEqual(*src.GetTrans(1)));
    EXPECT_NE(copy.GetTrans(1), src.GetTrans(1));
    // The copy's pools go on where the source's left off.
    EXPECT_EQ(copy.AddNotGateAt(0, "")->GetName(), src.AddNotGateAt(0, "")->GetName());
}

// ---- real files ----

TEST(DataShellCorpus, WholeAnalysisOnRealFiles) {
    std::string why;
    const std::string dir = lmtest::CorpusDir(&why);
    if (dir.empty()) GTEST_SKIP() << why;
    const char* files[] = {"HTS_BD_LSR_II_Mixed_Specimen_001_D6_D06.fcs", "FCS_3.0_Fortessa_PBS_Specimen_001_A1_A01.fcs",
                           "EY_2013-07-19_PBS_FCS_3.1_Well_A1.001.fcs", "Sample_Well_A02.fcs",
                           "cyflow_cube_8.fcs"};
    int withSpill = 0;
    for (const char* f : files) {
        SCOPED_TRACE(f);
        const std::string path = dir + "/" + f;
        ASSERT_TRUE(VexaDataShell::IsFcsFile(path));
        VexaDataShell s(path, 0, f, true);
        ASSERT_NE(s.GetDataSet(), nullptr);
        ASSERT_GE(s.GetParamCount(), 2);
        const int32_t total = s.GetTotalEvents();
        ASSERT_GT(total, 0);
        if (const CSpillMatrix* spill = s.GetDataSet()->GetParamSet()->GetSpillMatrix()) {
            ++withSpill;
            // Compensated parameters differ from their raw values somewhere.
            const int32_t p = spill->indices[0];
            EXPECT_FALSE(SameBits(Column(s, p), RawColumn(s, p)));
            EXPECT_FLOAT_EQ(s.GetCompValue(spill->indices[0], spill->indices[1]), spill->values[1]);
        }

        // Plot axes: the last two parameters, where the fluorescence usually is.
        const int32_t x = s.GetParamCount() - 2, y = s.GetParamCount() - 1;
        CGateNode* range = s.AddRegionGate(Range(0.1f, 0.9f, x), 0, "range");
        CGateNode* rect = s.AddRegionGate(Rect(0.05f, 0.05f, 0.8f, 0.8f, x, y), 0, "rect");
        const int32_t ri = s.GetGateIndex(rect);
        CGateNode* ell = s.AddRegionGate(std::make_unique<CrEllipse>(x, y, RgnPoint{0.1f, 0.1f}, RgnPoint{0.9f, 0.7f}), ri, "ell");
        CGateNode* poly = s.AddRegionGate(
            std::make_unique<CrPolygon>(x, y, std::vector<RgnPoint>{{0.05f, 0.05f}, {0.9f, 0.2f}, {0.5f, 0.95f}, {0.3f, 0.4f}}),
            0, "poly");
        CGateNode* q0 = s.AddRegionGate(std::make_unique<CrQuadrant>(x, y, 0.45f, 0.55f, 0.5f, 0.4f, 0.6f, 0.5f), ri, "");
        const int32_t qi = s.GetGateIndex(q0);
        CGateNode* cross = s.AddRegionGate(std::make_unique<CrCross>(x, y, 0.5f, 0.5f), 0, "cross");
        CGateNode* andG = s.AddLogicGate(kGateAnd, {range, poly}, "and");
        CGateNode* orG = s.AddLogicGate(kGateOr, {ell, cross, poly}, "or");
        CGateNode* notG = s.AddNotGate(orG, "not");
        ASSERT_TRUE(range && rect && ell && poly && q0 && cross && andG && orG && notG);
        ASSERT_EQ(s.GetGateCount(), 13);
        EXPECT_EQ(s.GetRegionCount(), 6);

        auto count = [](const CGateNode* g) { return int64_t(g->GetMask().CountSetBits()); };
        EXPECT_EQ(count(s.GetGate(0)), total);
        EXPECT_LE(count(ell), count(rect));
        EXPECT_LE(count(andG), std::min(count(range), count(poly)));
        EXPECT_GE(count(orG), std::max({count(ell), count(cross), count(poly)}));
        EXPECT_EQ(count(notG) + count(orG), total);
        int64_t quad = 0;
        for (int i = 0; i < 4; ++i) quad += count(s.GetGate(qi + i));
        EXPECT_GE(quad, count(rect) - 64) << "quadrant parts leave out more than the events on arms";
        EXPECT_LE(quad, count(rect) + 64);

        // Every statistic of every gate and parameter reads back as a number.
        for (int gi = 0; gi < s.GetGateCount(); ++gi) {
            CStatItem* st = s.GetGate(gi)->GetStatItem();
            EXPECT_EQ(st->GetStatText(0, kStatEvents), std::to_string(count(s.GetGate(gi))));
            for (int32_t p = 0; p < s.GetParamCount(); ++p) {
                for (int code = 0; code < kStatCodeCount; ++code) {
                    const double v = st->GetStatValue(p, code);
                    EXPECT_TRUE(std::isfinite(v)) << "gate " << gi << " par " << p << " code " << code;
                    EXPECT_FALSE(st->GetStatText(p, code).empty());
                }
                if (st->GetEventCount() > 0) EXPECT_LE(st->GetMin(p), st->GetMax(p));
            }
        }

        // Reading the same file again keeps the gates and gives the same events.
        const auto before = Members(orG);
        ASSERT_TRUE(s.OpenDataSet(path, 0));
        EXPECT_EQ(Members(orG), before);
        EXPECT_EQ(s.GetGateCount(), 13);
    }
    EXPECT_GE(withSpill, 2);
}

// A compensation edit re-evaluates the gates reading a column it changed and
// their dependants, nothing else; every mask equals what evaluating every
// gate gives.
TEST(DataShell, CompensationEditReevaluatesOnlyGatesOnChangedColumns) {
    std::vector<std::array<double, 3>> ev;
    for (int i = 0; i < 500; ++i) ev.push_back({double(i * 37 % 1000), double(i * 53 % 1000), double(i * 11 % 1000)});
    ev.push_back({NAN, 10, 500});
    ev.push_back({INFINITY, -INFINITY, 500});
    ev.push_back({-5, 1e-40, 500});
    VexaDataShell s(MakeDataSet(SpillWriter(ev)), "s");
    auto rect = [](int32_t x, int32_t y, float a, float b) {
        return std::make_unique<CrRect>(x, y, RgnPoint{a, a}, RgnPoint{b, b});
    };
    CGateNode* side = s.AddRegionGate(rect(2, 2, 0.2f, 0.7f), 0, "side");        // untouched column
    CGateNode* notSide = s.AddNotGate(side, "not side");
    CGateNode* fl = s.AddRegionGate(rect(0, 1, 0.6f, 0.9f), 0, "fl");            // compensated columns
    CGateNode* below = s.AddRegionGate(rect(2, 2, 0.1f, 0.9f), s.GetGateIndex(fl), "below");
    CGateNode* both = s.AddLogicGate(kGateAnd, {notSide, below}, "both");
    CGateNode* half = s.AddRegionGate(rect(2, 0, 0.5f, 0.9f), s.GetGateIndex(side), "half");  // one of each
    const std::vector<CGateNode*> kept = {s.GetGate(0), side, notSide};
    const std::vector<CGateNode*> redone = {fl, below, both, half};

    auto serials = [](const std::vector<CGateNode*>& gs) {
        std::vector<uint64_t> v;
        for (const CGateNode* g : gs) v.push_back(g->GetMaskSerial());
        return v;
    };
    std::vector<std::string> log;
    LogUser u(&log, "u", &s);
    for (int step = 0; step < 3; ++step) {
        const auto keptBefore = serials(kept), redoneBefore = serials(redone);
        const auto flBefore = Members(fl);
        if (step == 0) {
            s.EditCompensation(kCompBeginEdit);
            ASSERT_TRUE(s.SetCompValue(0, 1, 0.4f));
        } else if (step == 1) {
            ASSERT_TRUE(s.SetCompValue(1, 0, 0.3f));
        } else {
            ASSERT_TRUE(s.EditCompensation(kCompRestore));
        }
        EXPECT_EQ(serials(kept), keptBefore) << step;
        const auto redoneAfter = serials(redone);
        for (size_t i = 0; i < redone.size(); ++i) EXPECT_NE(redoneAfter[i], redoneBefore[i]) << step << " " << i;
        EXPECT_NE(Members(fl), flBefore) << step;
        EXPECT_EQ(log.back(), "u:data");
        // Every gate evaluated anew gives the same members.
        std::vector<std::vector<int>> now;
        for (int32_t i = 0; i < s.GetGateCount(); ++i) now.push_back(Members(s.GetGate(i)));
        s.EditCompensation(-1);  // any other step evaluates every gate
        for (int32_t i = 0; i < s.GetGateCount(); ++i) EXPECT_EQ(Members(s.GetGate(i)), now[size_t(i)]) << step << " " << i;
    }
}
