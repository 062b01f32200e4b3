// Gate statistics against values computed independently here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numeric>

#include "core/Trans.h"
#include "tests/core/ShellTestUtil.h"

using namespace shelltest;

namespace {

double RefMean(const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x;
    return v.empty() ? 0.0 : s / double(v.size());
}

double RefSD(const std::vector<double>& v) {
    const double m = RefMean(v);
    double s = 0;
    for (double x : v) s += (x - m) * (x - m);
    return v.empty() ? 0.0 : std::sqrt(s / double(v.size()));
}

double RefMedian(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t k = v.size();
    if (k == 0) return 0.0;
    return k % 2 ? v[k / 2] : (v[k / 2 - 1] + v[k / 2]) / 2.0;
}

std::vector<double> AsFloats(const std::vector<double>& v) {
    std::vector<double> out;
    for (double x : v) out.push_back(double(float(x)));
    return out;
}

CStatItem* RootStats(VexaDataShell& s) { return s.GetGate(0)->GetStatItem(); }

}  // namespace

// The root gate's statistics over small columns, worked out by hand. A row
// with code kPct reads the percentile p instead.
TEST(StatItem, SmallColumnsByHand) {
    constexpr int kPct = -1;
    const double nan = std::nan("");
    const double sd513 = std::sqrt(8.0 / 3.0);
    const struct {
        std::vector<double> values;
        int code;
        double p, want;
    } cases[] = {
        {{42.5}, kStatMedian, 0, 42.5}, {{42.5}, kStatSD, 0, 0.0}, {{42.5}, kStatGeoMean, 0, 42.5},
        {{42.5}, kPct, 0.9, 42.5},
        {{1, 5}, kStatMedian, 0, 3.0},  // even count: the mean of the middle two
        {{1, 5}, kStatSD, 0, 2.0},      // divided by n, not n - 1
        {{1, 5}, kStatGeoMean, 0, std::sqrt(5.0)},
        {{5, 1, 3}, kStatMedian, 0, 3.0}, {{5, 1, 3}, kStatMean, 0, 3.0}, {{5, 1, 3}, kStatSD, 0, sd513},
        {{5, 1, 3}, kStatCV, 0, sd513 * 100.0 / 3.0},
        {{5, 1, 3}, kPct, 0.0, 1.0}, {{5, 1, 3}, kPct, 0.5, 3.0}, {{5, 1, 3}, kPct, 0.99, 5.0},
        {{9, 2, 7, 4}, kPct, 1.0, 9.0},   // rank n: clamped to the last value
        {{9, 2, 7, 4}, kPct, 3.5, 9.0},
        {{9, 2, 7, 4}, kPct, -0.5, 2.0},
        {{9, 2, 7, 4}, kPct, nan, 2.0},
        {{-5, -2.5, -9}, kStatMax, 0, -2.5},  // all negative: not 0 from a zeroed start
        {{-5, -2.5, -9}, kStatMin, 0, -9.0},
        {{-5, -2.5, -9}, kStatGeoMean, 0, 0.0},  // no value has a logarithm
        {{-1, 0, 10, 1000}, kStatGeoMean, 0, 100.0},  // only positive values count
        {{4, nan, 8, 6}, kStatEvents, 0, 4.0},  // a NaN event is counted, but its value
        {{4, nan, 8, 6}, kStatMean, 0, 6.0},    // is left out of the statistics
        {{4, nan, 8, 6}, kStatMedian, 0, 6.0},
        {{4, nan, 8, 6}, kStatMax, 0, 8.0},
        {{4, nan, 8, 6}, kStatMin, 0, 4.0},
    };
    for (const auto& c : cases) {
        VexaDataShell s(MakeColumn(c.values), "s");
        CStatItem* st = RootStats(s);
        const double got = c.code == kPct ? st->GetPercentile(0, c.p) : st->GetStatValue(0, c.code);
        EXPECT_NEAR(got, c.want, 1e-9) << "code " << c.code << " p " << c.p << " of " << c.values.size()
                                       << " values starting " << c.values[0];
    }
}

TEST(StatItem, GateStatisticsMatchAReferenceOverTheGatedValues) {
    std::vector<double> values;
    for (int i = 0; i < 997; ++i) values.push_back(std::fmod(i * 7.31, 1000.0) + 0.25);
    VexaDataShell s(MakeColumn(values), "s");
    CGateNode* g = s.AddRegionGate(Range(0.2f, 0.65f), 0, "");
    ASSERT_NE(g, nullptr);
    std::vector<double> in;
    for (double v : AsFloats(values)) {
        const float f = s.GetTrans(0)->ToFraction(float(v));
        if (0.2f < f && f < 0.65f) in.push_back(v);
    }
    CStatItem* st = g->GetStatItem();
    EXPECT_EQ(st->GetEventCount(), int64_t(in.size()));
    EXPECT_NEAR(st->GetMean(0), RefMean(in), 1e-9);
    EXPECT_NEAR(st->GetSD(0), RefSD(in), 1e-9);
    EXPECT_DOUBLE_EQ(st->GetMedian(0), RefMedian(in));
    EXPECT_DOUBLE_EQ(st->GetMax(0), *std::max_element(in.begin(), in.end()));
    EXPECT_DOUBLE_EQ(st->GetMin(0), *std::min_element(in.begin(), in.end()));
    double logSum = 0;
    for (double v : in) logSum += std::log10(v);
    EXPECT_NEAR(st->GetGeoMean(0), std::pow(10.0, logSum / double(in.size())), 1e-9);
    EXPECT_NEAR(st->GetPercent(), double(in.size()) / 997.0, 1e-15);
    EXPECT_NEAR(st->GetParentPercent(), double(in.size()) / 997.0, 1e-15);
    std::vector<double> sorted = in;
    std::sort(sorted.begin(), sorted.end());
    for (double p : {0.0, 0.05, 0.25, 0.5, 0.95}) {
        const size_t rank = size_t(double(sorted.size()) * p);
        EXPECT_DOUBLE_EQ(st->GetPercentile(0, p), sorted[rank]) << p;
    }
}

TEST(StatItem, SortedLongColumnsSelectTheRightRank) {
    // Time-like data: already in ascending order.
    std::vector<double> v;
    for (int i = 0; i < 20001; ++i) v.push_back(i);
    VexaDataShell s(MakeColumn(v, "20001"), "s");
    CStatItem* st = RootStats(s);
    EXPECT_DOUBLE_EQ(st->GetMedian(0), 10000.0);
    EXPECT_DOUBLE_EQ(st->GetPercentile(0, 0.95), 19000.0);
    EXPECT_DOUBLE_EQ(st->GetPercentile(0, 0.05), 1000.0);
}

TEST(StatItem, EmptyGateGivesZeroEverywhere) {
    VexaDataShell s(MakeColumn({10, 20, 30}), "s");
    CGateNode* none = s.AddRegionGate(Range(0.9f, 0.95f), 0, "none");
    CGateNode* child = s.AddRegionGate(Range(0.0f, 1.0f), s.GetGateIndex(none), "child");
    CStatItem* st = none->GetStatItem();
    EXPECT_EQ(st->GetEventCount(), 0);
    for (int code = 1; code < kStatCodeCount; ++code) EXPECT_EQ(st->GetStatValue(0, code), 0.0) << code;
    EXPECT_EQ(st->GetPercentile(0, 0.5), 0.0);
    EXPECT_EQ(st->GetStatText(0, kStatMin), "0.00");
    EXPECT_EQ(st->GetStatText(0, kStatMax), "0.00");
    EXPECT_EQ(child->GetStatItem()->GetParentPercent(), 0.0);
    EXPECT_EQ(child->GetStatItem()->GetStatText(0, kStatParentPercent), "0.00");
}

TEST(StatItem, NoDataOrBadParameterGivesZero) {
    VexaDataShell empty;
    CStatItem* st = empty.GetRoot()->GetStatItem();
    EXPECT_EQ(st->GetEventCount(), 0);
    EXPECT_EQ(st->GetPercent(), 0.0);
    EXPECT_EQ(st->GetMean(0), 0.0);
    EXPECT_EQ(st->GetMedian(0), 0.0);
    VexaDataShell s(MakeColumn({1, 2}), "s");
    EXPECT_EQ(RootStats(s)->GetMean(1), 0.0);
    EXPECT_EQ(RootStats(s)->GetMean(-1), 0.0);
    EXPECT_EQ(RootStats(s)->GetMedian(7), 0.0);
}

TEST(StatItem, LogAmplifiedParametersWorkOnLinearValues) {
    // Channel c of a 4-decade, 1024-channel parameter stands for 10^(4c/1024).
    lmtest::FcsWriter w;
    w.Param("FL1-H", 32, "1024", "4,0");
    const std::vector<double> ch = {100, 256, 512, 700, 1000};
    for (double c : ch) w.Event({c});
    VexaDataShell s(MakeDataSet(w), "s");
    CStatItem* st = RootStats(s);
    std::vector<double> lin;
    for (double c : ch) lin.push_back(std::pow(10.0, c * 4.0 / 1024.0));
    EXPECT_NEAR(st->GetMean(0), RefMean(lin), RefMean(lin) * 1e-12);
    EXPECT_NEAR(st->GetSD(0), RefSD(lin), RefSD(lin) * 1e-12);
    EXPECT_NEAR(st->GetMedian(0), std::pow(10.0, 512 * 4.0 / 1024.0), 1e-9);
    EXPECT_NEAR(st->GetGeoMean(0), std::pow(10.0, RefMean(ch) * 4.0 / 1024.0), 1e-9);
    EXPECT_NEAR(st->GetPercentile(0, 0.99), std::pow(10.0, 1000 * 4.0 / 1024.0), 1e-6);
    // Max and Min stay in channels.
    EXPECT_DOUBLE_EQ(st->GetMax(0), 1000.0);
    EXPECT_DOUBLE_EQ(st->GetMin(0), 100.0);
    EXPECT_FLOAT_EQ(s.GetLogScale(), 4.0f / 1024.0f);
}

TEST(StatItem, StoredPercentilesStayInChannelsAndAreZeroWithoutValues) {
    lmtest::FcsWriter w;
    w.Param("FL1-H", 32, "1024", "4,0");
    for (double c : {700.0, 100.0, 1000.0, 256.0, 512.0}) w.Event({c});
    VexaDataShell s(MakeDataSet(w), "s");
    CStatItem* st = RootStats(s);
    const struct {
        double fraction;
        double channel;
    } cases[] = {{0.0, 100}, {0.2, 256}, {0.5, 512}, {0.95, 1000}, {1.0, 1000}, {-1.0, 100}};
    for (const auto& c : cases) {
        EXPECT_EQ(st->GetStoredPercentile(0, c.fraction), c.channel) << c.fraction;
        EXPECT_NEAR(st->GetPercentile(0, c.fraction), std::pow(10.0, c.channel * 4.0 / 1024.0), 1e-9) << c.fraction;
    }
    // A gate without events: 0 both ways (10^0 would be 1).
    CGateNode* none = s.AddRegionGate(Range(0.99f, 0.999f), 0, "none");
    EXPECT_EQ(none->GetStatItem()->GetStoredPercentile(0, 0.5), 0.0);
    EXPECT_EQ(none->GetStatItem()->GetPercentile(0, 0.5), 0.0);
    EXPECT_EQ(st->GetStoredPercentile(3, 0.5), 0.0);
}

TEST(StatItem, PercentCaptionsAndTexts) {
    VexaDataShell s(MakeXY({{100.5, 100.5}, {200.5, 800.5}, {600.5, 300.5}, {700.5, 900.5}}), "s");
    CGateNode* root = s.GetGate(0);
    CGateNode* left = s.AddRegionGate(Rect(0.0f, 0.0f, 0.5f, 1.0f), 0, "L");
    CGateNode* same = s.AddRegionGate(Rect(0.0f, 0.0f, 1.0f, 1.0f), s.GetGateIndex(left), "S");
    CGateNode* both = s.AddLogicGate(kGateAnd, {left, same}, "");
    EXPECT_EQ(root->GetStatItem()->GetStatText(0, kStatPercent), "100.00");
    EXPECT_EQ(root->GetStatItem()->GetStatText(0, kStatParentPercent), "100.00");
    EXPECT_EQ(left->GetStatItem()->GetStatText(0, kStatPercent), "50.00");
    EXPECT_EQ(same->GetStatItem()->GetStatText(0, kStatParentPercent), "100.00");
    EXPECT_EQ(both->GetStatItem()->GetStatText(0, kStatParentPercent), "0.00");
    EXPECT_EQ(left->GetStatItem()->GetStatText(0, kStatEvents), "2");
    EXPECT_EQ(left->GetStatItem()->GetStatText(1, kStatMean), "450.50");
    EXPECT_EQ(left->GetStatItem()->GetStatText(0, kStatCodeCount), "");
    EXPECT_EQ(left->GetStatItem()->GetStatText(0, -1), "");
    EXPECT_EQ(left->GetStatItem()->GetGateName(), "L");

    const char* names[] = {"Events", "Percent", "Mean", "Med", "GeoM", "SD", "Max", "Min", "Parent Per", ""};
    for (int c = 0; c < 10; ++c) EXPECT_EQ(CStatItem::GetStatName(c), names[c]);
    EXPECT_EQ(CStatItem::GetStatName(10), "");
    // Code 9 has no caption but a value.
    EXPECT_NE(left->GetStatItem()->GetStatText(1, kStatCV), "0.00");
}

// The complement of G is measured against G's own parent, never against G.
TEST(StatItem, ParentPercentOfANotGateIsTakenAgainstItsGatesParent) {
    // Ten events at FS 50, 150, ... 950.
    std::vector<std::pair<double, double>> events;
    for (int i = 0; i < 10; ++i) events.push_back({50.0 + 100.0 * i, 500.0});
    VexaDataShell s(MakeXY(events), "s");
    CGateNode* left = s.AddRegionGate(Rect(0.0f, 0.0f, 0.5f, 1.0f), 0, "L");                    // 5 events
    CGateNode* inner = s.AddRegionGate(Rect(0.0f, 0.0f, 0.2f, 1.0f), s.GetGateIndex(left), "I");  // 2 of L's
    CGateNode* both = s.AddLogicGate(kGateAnd, {left, inner}, "");
    const struct {
        CGateNode* of;
        const char* want;
    } cases[] = {
        {left, "50.00"},    // 5 of All's 10 (G's count would give 100.00)
        {inner, "160.00"},  // 8 events against L's 5: the complement reaches outside L
        {both, "0.00"},     // an AND has no parent, so neither has its complement
        {s.GetGate(0), "0.00"},  // nothing of All's 10
    };
    for (const auto& c : cases) {
        CGateNode* notGate = s.AddNotGate(c.of, "");
        ASSERT_NE(notGate, nullptr);
        EXPECT_EQ(notGate->GetStatItem()->GetStatText(0, kStatParentPercent), c.want) << c.of->GetName();
    }
    EXPECT_EQ(both->GetStatItem()->GetStatText(0, kStatParentPercent), "0.00");
}

TEST(StatItem, TextsIgnoreACommaDecimalLocale) {
    VexaDataShell s(MakeColumn({1.25, 2.5, 1234567.0}), "s");
    CStatItem* st = RootStats(s);
    const std::string mean = st->GetStatText(0, kStatMean);
    CommaLocale comma;
    if (!comma.ok()) GTEST_SKIP() << "no locale with a decimal comma could be set or built";
    char probe[32];
    std::snprintf(probe, sizeof probe, "%.2f", 1.5);
    ASSERT_STREQ(probe, "1,50") << "the locale is not in effect";
    EXPECT_EQ(st->GetStatText(0, kStatMean), mean);
    EXPECT_EQ(st->GetStatText(0, kStatMean), "411523.58");
    EXPECT_EQ(st->GetStatText(0, kStatMin), "1.25");
    EXPECT_EQ(st->GetStatText(0, kStatPercent), "100.00");
    EXPECT_EQ(st->GetStatText(0, kStatEvents), "3");
}

TEST(StatItem, UsersAreToldAndLooseCellsGoWithTheGate) {
    VexaDataShell s(MakeColumn({1, 2, 3}), "s");
    CGateNode* g = s.AddRegionGate(Range(0.0f, 1.0f), 0, "");
    bool cellDeleted = false, userDeleted = false;
    auto* cell = new CountingStatUser(g->GetStatItem(), &cellDeleted);
    cell->SetMode(kStatUserLooseCell);
    CountingStatUser plain(g->GetStatItem(), &userDeleted);
    auto manual = std::make_unique<CountingStatUser>(g->GetStatItem());
    manual->SetMode(kStatUserManual);
    EXPECT_EQ(g->GetStatItem()->GetUsers().size(), 3u);

    g->Evaluate(true);
    EXPECT_EQ(cell->changed, 1);
    EXPECT_EQ(plain.changed, 1);

    // A user whose mode was cleared stays listed when destroyed.
    CStatUser* raw = manual.get();
    manual.reset();
    ASSERT_EQ(g->GetStatItem()->GetUsers().size(), 3u);
    g->GetStatItem()->RemoveUser(raw, false, false);
    EXPECT_EQ(g->GetStatItem()->GetUsers().size(), 2u);

    s.RemoveGate(g, true);
    EXPECT_TRUE(cellDeleted);
    EXPECT_FALSE(userDeleted);
    EXPECT_EQ(plain.GetStatItem(), nullptr);
}

namespace {

// Every statistic of parameter par, read twice (the second read may come
// from what the first kept).
std::vector<double> AllStats(const CStatItem& st, int32_t par) {
    std::vector<double> out;
    for (int round = 0; round < 2; ++round)
        for (int code = 0; code < kStatCodeCount; ++code) out.push_back(st.GetStatValue(par, code));
    out.push_back(st.GetSDAround(par, 123.0));
    return out;
}

}  // namespace

// Figures kept between reads follow every change of the gate's events and of
// the column: after each change they equal those of an item that never read
// anything before.
TEST(StatItem, KeptFiguresFollowTheMaskAndTheColumn) {
    std::vector<std::pair<double, double>> events;
    for (int i = 0; i < 1500; ++i) events.push_back({std::fmod(i * 7.31, 1000.0) + 0.25, std::fmod(i * 3.7, 900.0) + 1});
    VexaDataShell s(MakeXY(events), "s");
    auto range = Range(0.2f, 0.65f);
    CrRange* region = static_cast<CrRange*>(range.get());
    CGateNode* g = s.AddRegionGate(std::move(range), 0, "");
    ASSERT_NE(g, nullptr);
    CStatItem* st = g->GetStatItem();
    auto same = [&](const char* when) {
        const CStatItem fresh(g);
        for (int32_t par : {0, 1}) EXPECT_EQ(AllStats(*st, par), AllStats(fresh, par)) << when << ", parameter " << par;
    };
    const std::vector<double> before = AllStats(*st, 0);
    same("first read");

    region->SetGeometry(0.3f, 0.9f, nullptr);  // other events in the gate
    EXPECT_NE(AllStats(*st, 0), before);
    same("after the region moved");

    // Compensation changes the columns under the same mask.
    const std::vector<double> beforeComp = AllStats(*st, 1);
    ASSERT_TRUE(s.EditCompensation(kCompBeginEdit));
    ASSERT_TRUE(s.SetCompValue(0, 1, 0.25f));
    EXPECT_NE(AllStats(*st, 1), beforeComp);
    same("after a compensation change");
    const std::vector<double> firstComp = AllStats(*st, 1);
    ASSERT_TRUE(s.SetCompValue(0, 1, 0.5f));  // new values in the same columns
    EXPECT_NE(AllStats(*st, 1), firstComp);
    same("after a second compensation change");
    ASSERT_TRUE(s.EditCompensation(kCompRestore));
    same("after the compensation was dropped");
    // Compensated straight on the data set, before any gate is evaluated
    // again: the mask is the same, the values are not.
    CSpillMatrix m(2);
    m.SetIdentity();
    *m.Element(1, 0) = 0.125f;
    const std::vector<double> beforeDirect = AllStats(*st, 0);
    ASSERT_TRUE(s.GetDataSet()->Compensate(&m));
    EXPECT_NE(AllStats(*st, 0), beforeDirect);
    same("after the data set was compensated");
    *m.Element(1, 0) = 0.25f;  // again, into the same columns
    const std::vector<double> firstDirect = AllStats(*st, 0);
    ASSERT_TRUE(s.GetDataSet()->Compensate(&m));
    EXPECT_NE(AllStats(*st, 0), firstDirect);
    same("after the data set was compensated again");

    // The SD around any mean is that mean's, not the one kept.
    const CStatItem fresh(g);
    EXPECT_EQ(st->GetSDAround(0, 10.0), fresh.GetSDAround(0, 10.0));
    EXPECT_NE(st->GetSDAround(0, 10.0), st->GetSD(0));
}
