// Statistic values computed together for tables and grids: the same texts
// as one item read at a time, whatever threads the system gives.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Slices.h"
#include "core/StatItem.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "report/page/ResultTable.h"
#include "report/page/StatBatch.h"
#include "tests/report/FldTestUtil.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"

namespace {

std::atomic<int> g_started{0};

std::thread CountingStarter(std::function<void()> work) {
    ++g_started;
    return std::thread(std::move(work));
}

std::thread NoThread(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

class StatBatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        plottest::ResetPlotDefaults();
        shell = doc.OpenDataFile(dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents())), 0);
        ASSERT_NE(shell, nullptr);
        r1 = plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R1");
        r2 = plottest::AddRectGate(*shell, 0.4f, 0.3f, 0.9f, 0.8f, 0, "R2");
    }
    // Every code of every gate on parameters 0, 1 and one the data lacks.
    std::vector<StatRequest> AllRequests() const {
        std::vector<StatRequest> out;
        for (CGateNode* g : {shell->GetGate(0), r1, r2})
            for (int32_t par : {0, 1, 99})
                for (int32_t code = 0; code < kStatCodeCount; ++code) {
                    StatRequest r;
                    r.item = g->GetStatItem();
                    r.code = code;
                    r.param = par;
                    out.push_back(r);
                }
        return out;
    }

    lmtest::TempDir dir;
    CLumitraDoc doc;
    VexaDataShell* shell = nullptr;
    CGateNode* r1 = nullptr;
    CGateNode* r2 = nullptr;
};

}  // namespace

TEST_F(StatBatchTest, EveryRequestGetsTheItemsOwnTextOrNoValue) {
    for (lm::ThreadStarter starter : {&lm::StartStdThread, &NoThread}) {
        const lm::ScopedThreadStarter use(starter);
        std::vector<StatRequest> req = AllRequests();
        // An unknown code and a missing item have no value either.
        req.push_back({r1->GetStatItem(), kStatCodeCount, 0, "stale", true});
        req.push_back({nullptr, kStatMean, 0, "stale", true});
        ComputeStatTexts(req);
        for (const StatRequest& r : req) {
            const bool paramMissing = r.param == 99 && StatTakesParam(r.code);
            const bool want = r.item && r.code >= 0 && r.code < kStatCodeCount && !paramMissing;
            EXPECT_EQ(r.has, want) << "code " << r.code << " param " << r.param;
            EXPECT_EQ(r.text, want ? r.item->GetStatText(r.param, r.code) : std::string())
                << "code " << r.code << " param " << r.param;
        }
    }
}

TEST_F(StatBatchTest, TheTablesValuesGoThroughTheSharedWalkAndStandWithoutThreads) {
    CTrkResult t(5, 5, shell, &doc);
    std::vector<int32_t> codes, params;
    for (int32_t par : {0, 1})
        for (int32_t c = 0; c < kStatCodeCount; ++c) codes.push_back(c), params.push_back(par);
    ASSERT_TRUE(t.SetColumns(codes, params));
    t.Rebuild();
    g_started = 0;
    std::string threaded;
    {
        const lm::ScopedThreadStarter use(&CountingStarter);
        threaded = t.GetTableText();
    }
    if (lm::UsableCores() > 1) {
        EXPECT_GT(g_started.load(), 0);
    }
    t.Rebuild();
    {
        const lm::ScopedThreadStarter use(&NoThread);
        EXPECT_EQ(t.GetTableText(), threaded);
    }
    const int32_t k = int32_t(t.Keywords().size());
    for (int32_t g = 0; g < t.GetGateRowCount(); ++g)
        for (size_t i = 0; i < codes.size(); ++i)
            EXPECT_EQ(t.GetCellText(k + 1 + g, int32_t(i) + 1),
                      t.GetRowGate(g)->GetStatItem()->GetStatText(params[i], codes[i]));
}

TEST_F(StatBatchTest, AGridComputesItsStaleCellsTogetherWithTheSameTexts) {
    CGrid grid(0, 0, 800, 200, &doc, 3, 20);
    CGateNode* gates[] = {shell->GetGate(0), r1, r2};
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t col = 0; col < 20; ++col)
            grid.SetCell(row, col,
                         std::make_unique<CStatCell>(&grid, gates[row]->GetStatItem(), col % 10, col / 10, false));
    // Both regions move: their cells go stale and are computed at the next
    // draw, each gate's on a thread of its own.
    auto* rect = dynamic_cast<CrRect*>(r1->GetRegion());
    ASSERT_NE(rect, nullptr);
    rect->SetGeometry({0.2f, 0.2f, 0.7f, 0.7f}, nullptr);
    auto* rect2 = dynamic_cast<CrRect*>(r2->GetRegion());
    ASSERT_NE(rect2, nullptr);
    rect2->SetGeometry({0.3f, 0.3f, 0.8f, 0.9f}, nullptr);
    for (int32_t row = 1; row < 3; ++row)
        for (int32_t col = 0; col < 20; ++col)
            ASSERT_TRUE(static_cast<CStatCell*>(grid.GetCell(row, col))->IsStale()) << row << "," << col;
    g_started = 0;
    QImage img(820, 220, QImage::Format_RGB32);
    {
        const lm::ScopedThreadStarter use(&CountingStarter);
        QPainter p(&img);
        grid.Draw(&p);
    }
    if (lm::UsableCores() > 1) {
        EXPECT_GT(g_started.load(), 0);
    }
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t col = 0; col < 20; ++col) {
            auto* cell = static_cast<CStatCell*>(grid.GetCell(row, col));
            EXPECT_FALSE(cell->IsStale());
            EXPECT_EQ(cell->GetStoredText(), gates[row]->GetStatItem()->GetStatText(col / 10, col % 10))
                << row << "," << col;
        }
}

TEST_F(StatBatchTest, AValueExistsOnlyForAKnownCodeAndAParameterTheDataHas) {
    const CStatItem* item = r1->GetStatItem();
    const int32_t params = shell->GetParamCount();
    struct Case {
        int32_t code, param;
        bool has;
    } cases[] = {
        {kStatEvents, -1, true},  // no parameter taken: any will do
        {kStatParentPercent, 999, true},
        {kStatMean, 0, true},
        {kStatMean, params - 1, true},
        {kStatMean, params, false},  // one past the last parameter
        {kStatCV, -1, false},
        {kStatCodeCount - 1, 0, true},
        {kStatCodeCount, 0, false},  // one past the last code
        {-1, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StatHasValue(item, c.code, c.param), c.has) << c.code << " " << c.param;
        EXPECT_EQ(CTrkResult::ValueText(item, c.code, c.param).empty(), !c.has) << c.code << " " << c.param;
    }
    EXPECT_FALSE(StatHasValue(nullptr, kStatEvents, 0));
}

TEST_F(StatBatchTest, TheValuesOfOneGateAreReadOnOneThread) {
    // An item keeps its sums per parameter in a cache of its own: reading
    // two of its parameters on two threads at once fills it twice.
    std::vector<StatRequest> req;
    const int32_t params = shell->GetParamCount();
    for (int32_t par = 0; par < params; ++par)
        for (int32_t code : {kStatMean, kStatMedian, kStatSD, kStatMax})
            req.push_back({r1->GetStatItem(), code, par, "", false});
    g_started = 0;
    {
        const lm::ScopedThreadStarter use(&CountingStarter);
        ComputeStatTexts(req);
    }
    EXPECT_EQ(g_started.load(), 0);
    for (const StatRequest& r : req) EXPECT_EQ(r.text, r.item->GetStatText(r.param, r.code)) << r.code << "/" << r.param;
}

// Log-amplified parameters (one without $PnR) no longer hold the batch to one
// thread: their scales come with the data set, so items are read in parallel
// and give the texts of items read one at a time, with no error added.
TEST_F(StatBatchTest, LogAmplifiedParametersAreReadInParallelWithTheSameTexts) {
    lmtest::FcsWriter w;
    w.DataType('F');
    w.Param("FL1-H", 32, "1024", "4,0").Param("FL2-H", 32, "", "3,0").Param("SS", 32, "1000");
    for (int e = 0; e < 4000; ++e)
        w.Event({double((e * 37) % 1024), double((e * 13) % 97) / 97.0, double((e * 7) % 1000)});
    VexaDataShell* logShell = doc.OpenDataFile(dir.Write("log.fcs", w.Build()), 0);
    ASSERT_NE(logShell, nullptr);
    std::vector<CGateNode*> gates = {logShell->GetGate(0)};
    for (float x0 : {0.1f, 0.3f, 0.5f})
        gates.push_back(plottest::AddRectGate(*logShell, x0, 0.0f, x0 + 0.4f, 1.0f, 0, "G"));
    std::vector<StatRequest> req;
    for (CGateNode* g : gates)
        for (int32_t par : {0, 1})
            for (int32_t code = 0; code < kStatCodeCount; ++code)
                req.push_back({g->GetStatItem(), code, par, "", false});
    const std::vector<int32_t> errors = logShell->GetErrors();
    g_started = 0;
    {
        const lm::ScopedThreadStarter use(&CountingStarter);
        ComputeStatTexts(req);
    }
    if (lm::UsableCores() > 1) {
        EXPECT_GT(g_started.load(), 0);
    }
    EXPECT_EQ(logShell->GetErrors(), errors);
    for (const StatRequest& r : req) {
        ASSERT_TRUE(r.has);
        EXPECT_EQ(r.text, CStatItem(r.item->GetGate()).GetStatText(r.param, r.code)) << r.code << "/" << r.param;
    }
}
