// The result table's columns: borders that its reader accepts whatever makes
// them, statistic columns checked like the cells they become, columns wide
// enough for their text, text kept inside its cell, and presses that work
// the first time.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/Archive.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/StatItem.h"
#include "platform/PaintHelpers.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "report/page/ResultTable.h"
#include "report/page/TrackStates.h"
#include "tests/report/FldTestUtil.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ViewEvents.h"

using fldtest::Bytes;

namespace {

std::vector<uint8_t> Save(CLumitraDoc& doc) {
    CArchive ar;
    doc.Serialize(ar);
    return ar.Bytes();
}

CTrkResult* TableOf(const CLumitraDoc& doc) {
    for (const auto& o : doc.GetObjects())
        if (auto* t = dynamic_cast<CTrkResult*>(o.get())) return t;
    return nullptr;
}

// Borders as a record holds them: strictly ascending in 1..kMaxTableBorder.
void ExpectReadable(const std::vector<int32_t>& borders) {
    int32_t before = 0;
    for (size_t i = 0; i < borders.size(); ++i) {
        EXPECT_GT(borders[i], before) << "border " << i;
        EXPECT_LE(borders[i], kMaxTableBorder) << "border " << i;
        before = borders[i];
    }
}

// A table record after the page-object part.
std::vector<uint8_t> TableRecord(const std::vector<uint8_t>& head, const std::vector<int32_t>& borders,
                                 const std::vector<int32_t>& codes, const std::vector<int32_t>& params) {
    Bytes b;
    b.Raw(head).I(int32_t(borders.size()));
    for (int32_t v : borders) b.I(v);
    b.I(0).I(1).S("FileName").I(int32_t(codes.size()));
    for (int32_t v : codes) b.I(v);
    b.I(int32_t(params.size()));
    for (int32_t v : params) b.I(v);
    return b.I(0).b;
}

std::string LoadError(CTrkResult& t, const std::vector<uint8_t>& bytes) {
    CArchive ar(bytes);
    try {
        t.Load(ar);
    } catch (const CArchiveException& e) {
        return e.what();
    }
    return {};
}

class ResultTableLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        plottest::ResetPlotDefaults();
        shell = doc.AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "Sample_with_a_long_name.fcs"));
        plottest::AddRectGate(*shell, 0.5f, 0.5f, 1.0f, 1.0f, 0, "Q0-UR");
        plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R1");
    }
    // The table's record with its page-object part from a fresh table.
    std::vector<uint8_t> Head() {
        CTrkResult probe(&doc);
        probe.SetRect(CRect(10, 10, 110, 60), true);
        CArchive ar;
        probe.CTrkObj::Store(ar);
        return ar.Bytes();
    }

    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    fldtest::ScopedPalette palette;
    CLumitraDoc doc;
    VexaDataShell* shell = nullptr;
};

}  // namespace

// ================================================================ records

TEST_F(ResultTableLayoutTest, LaidOutBordersStayWithinTheReaderAndSurviveWriteReadWrite) {
    const std::vector<uint8_t> head = Head();
    struct Case {
        const char* what;
        int32_t columns;
        std::vector<int32_t> borders;
    } cases[] = {
        {"700 columns without borders", 700, {}},
        {"as many columns as fit", kMaxTableColumns, {}},
        {"two borders, 700 columns: the rest is added", 700, {40, 20000}},
        {"a last stored border at the limit, one column more", 3, {100, kMaxTableBorder}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<int32_t> codes(size_t(c.columns), kStatMean), params(size_t(c.columns), 1);
        auto made = std::make_unique<CTrkResult>(&doc);
        CTrkResult* t = made.get();
        ASSERT_EQ(LoadError(*t, TableRecord(head, c.borders, codes, params)), "");
        ASSERT_EQ(t->GetBorders().size(), size_t(c.columns));
        ExpectReadable(t->GetBorders());
        doc.AddObject(std::move(made));
        const std::vector<uint8_t> first = Save(doc);
        CLumitraDoc back;
        CArchive in(first);
        ASSERT_NO_THROW(back.Serialize(in));
        ASSERT_NE(TableOf(back), nullptr);
        EXPECT_EQ(TableOf(back)->GetBorders(), t->GetBorders());
        EXPECT_EQ(Save(back), first);
        doc.RemoveObject(t, false);
    }
}

TEST_F(ResultTableLayoutTest, ColumnsOutsideTheirRangesAreRefusedOnLoadAndBySetColumns) {
    const std::vector<uint8_t> head = Head();
    struct Case {
        const char* what;
        std::vector<int32_t> codes, params;
        int32_t bad;        // the column refused; -1 none
        const char* error;  // what the reader says
    } cases[] = {
        {"every code, parameter 0", {0, 9}, {0, 0}, -1, ""},
        {"a parameter the shell lacks is shown empty", {kStatMean}, {40}, -1, ""},
        {"code 12", {12, kStatMean}, {0, 0}, 0, "code 12 outside 0..9"},
        {"a negative code", {-1}, {0}, 0, "code -1 outside 0..9"},
        {"a negative parameter", {kStatEvents, kStatMean}, {0, -1}, 1, "parameter -1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTrkResult t(&doc);
        const std::string error = LoadError(t, TableRecord(head, {}, c.codes, c.params));
        CTrkResult u(5, 5, shell, &doc);
        EXPECT_EQ(u.SetColumns(c.codes, c.params), c.bad < 0);
        if (c.bad < 0) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(t.GetCodes(), c.codes);
            EXPECT_EQ(u.GetCodes(), c.codes);
            continue;
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(u.GetCodes(), (std::vector<int32_t>{kStatPercent}));
        EXPECT_FALSE(u.AddColumn(c.params[size_t(c.bad)], c.codes[size_t(c.bad)]));
        EXPECT_EQ(u.GetCodes(), (std::vector<int32_t>{kStatPercent}));
    }
    // One column more than fits is refused whole, or by itself.
    std::vector<int32_t> many(size_t(kMaxTableColumns) + 1, kStatEvents);
    CTrkResult t(&doc);
    EXPECT_NE(LoadError(t, TableRecord(head, {}, many, many)).find("at most"), std::string::npos);
    EXPECT_FALSE(t.SetColumns(many, many));
    many.pop_back();
    ASSERT_TRUE(t.SetColumns(many, many));
    EXPECT_FALSE(t.AddColumn(0, kStatEvents));
    EXPECT_EQ(t.GetCodes().size(), size_t(kMaxTableColumns));
    ExpectReadable(t.GetBorders());
}

TEST_F(ResultTableLayoutTest, BordersSetFromOutsideMustBeWhatTheReaderAccepts) {
    CTrkResult t(5, 5, shell, &doc);
    const struct {
        std::vector<int32_t> borders;
        bool ok;
    } cases[] = {
        {{40, 90}, true},
        {{40, kMaxTableBorder}, true},
        {{}, true},
        {{40, 40}, false},  // not strictly ascending
        {{50, 40}, false},
        {{0}, false},
        {{40, kMaxTableBorder + 1}, false},
    };
    for (const auto& c : cases) {
        const std::vector<int32_t> before = t.GetBorders();
        EXPECT_EQ(t.SetBorders(c.borders), c.ok) << ::testing::PrintToString(c.borders);
        EXPECT_EQ(t.GetBorders(), c.ok ? c.borders : before);
    }
}

// ================================================================ layout

TEST_F(ResultTableLayoutTest, ColumnsStartWideEnoughForTheirNamesTitlesAndValues) {
    for (const bool tree : {false, true}) {
        SCOPED_TRACE(tree ? "tree" : "flat");
        CTrkResult t(10, 10, shell, &doc);
        ASSERT_TRUE(t.SetColumns({kStatEvents, kStatPercent, kStatMean, kStatMean, kStatSD, kStatMin},
                                 {0, 0, 0, 1, 1, 0}));
        t.Rebuild();
        if (tree) t.SetTreeMode(true);
        const QFontMetricsF fm(lm::ToQFont(t.GetFont()));
        auto width = [&fm](const std::string& s) { return fm.horizontalAdvance(QString::fromStdString(s)); };
        const std::vector<int32_t>& b = t.GetBorders();
        const int32_t gridWidth = t.GetRect().Width() - 2 * CTrkResult::kInset;
        const int32_t gridLeft = t.GetRect().left + CTrkResult::kInset;
        const CGateView& view = t.GetGateView();
        for (int32_t r = 0; r < view.GetRowCount(); ++r) {
            const std::string name = view.GetRowGate(r)->GetDisplayName(true);
            EXPECT_LE(view.GetRowOrigin(r).x - gridLeft + width(name), b[0]) << name;
        }
        const int32_t k = int32_t(t.Keywords().size());
        for (int32_t c = 1; c < t.GetCols(); ++c) {
            const int32_t right = size_t(c) < b.size() ? b[size_t(c)] : gridWidth;
            const int32_t room = right - b[size_t(c - 1)];
            for (int32_t r = k; r < t.GetRows(); ++r)
                EXPECT_LE(width(t.GetCellText(r, c)), room) << "row " << r << " column " << c;
        }
        EXPECT_LE(width("FileName: Sample_with_a_long_name.fcs"), gridWidth);
        // Every row whole inside the grid rectangle, the last one too.
        EXPECT_LE(t.GetRows() * CTrkResult::kRowHeight, t.GetRect().Height() - 2 * CTrkResult::kInset);
        ExpectReadable(b);
    }
}

TEST_F(ResultTableLayoutTest, AParagraphOfANameOrAHeaderStartsNoColumnWiderThanAPage) {
    const std::string paragraph(3000, 'W');
    struct Case {
        const char* what;
        std::string name, file;
    } cases[] = {
        {"a gate name", paragraph, "a.fcs"},
        {"a header line", "R", paragraph + ".fcs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CLumitraDoc d;
        VexaDataShell* s = d.AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", c.file));
        plottest::AddRectGate(*s, 0.1f, 0.1f, 0.6f, 0.6f, 0, c.name);
        CTrkResult t(10, 10, s, &d);
        EXPECT_LE(t.GetRect().Width(), 2 * kPageWidth);
        ExpectReadable(t.GetBorders());
        ASSERT_EQ(t.GetBorders().size(), 1u);
        EXPECT_LE(t.GetBorders()[0], kPageWidth);
    }
}

TEST_F(ResultTableLayoutTest, NamesAndValuesTooWideForTheirColumnsStayInside) {
    shell->GetGate(1)->SetName("A_gate_name_far_wider_than_its_column");
    CTrkResult t(10, 10, shell, &doc);
    // The value column is empty (no parameter 7), the name column narrow.
    ASSERT_TRUE(t.SetColumns({kStatMean, kStatEvents}, {7, 0}));
    t.Rebuild();
    ASSERT_TRUE(t.SetBorders({40, 200}));
    t.SetRect(CRect(10, 10, 400, 10), true);
    QImage img(500, 300, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    t.Draw(&p);
    p.end();
    // The Q0-UR row (header line, titles, All, then it): nothing of its name
    // shows in the empty Mean column.
    const int32_t left = t.GetRect().left + CTrkResult::kInset;
    const int32_t top = t.GetRect().top + CTrkResult::kInset + 3 * CTrkResult::kRowHeight;
    int dark = 0;
    for (int32_t y = top + 3; y < top + CTrkResult::kRowHeight - 3; ++y)
        for (int32_t x = left + 43; x < left + 197; ++x) dark += qGray(img.pixel(x, y)) < 128;
    EXPECT_EQ(dark, 0);
}

// ================================================================ presses

TEST_F(ResultTableLayoutTest, APressOnAColumnThatSetColumnsRemovedFindsNoStatistic) {
    CTrkResult t(10, 10, 400, 40, shell, &doc);
    ASSERT_TRUE(t.SetColumns({kStatEvents, kStatMean, kStatMean}, {0, 0, 1}));
    t.Rebuild();
    const std::vector<int32_t> before = t.GetBorders();
    ASSERT_EQ(before.size(), 3u);
    ASSERT_TRUE(t.SetColumns({kStatEvents}, {0}));
    EXPECT_EQ(t.GetBorders(), std::vector<int32_t>(before.begin(), before.begin() + 1));
    // In the R1 row, in what was the last column.
    const CRect g = t.GetRect();
    const CPoint old(g.left + CTrkResult::kInset + before[2] + 5, g.top + CTrkResult::kInset + 4 * 25 + 10);
    // The last column now reaches there: it is Events that is grabbed.
    int32_t state = kTrackMove;
    t.OnLButtonDown(0, old, &state);
    ASSERT_EQ(state, kTrackCellDrag);
    auto* cell = dynamic_cast<CStatCell*>(doc.GetDraggedCell());
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->GetCode(), kStatEvents);
    EXPECT_EQ(cell->GetText(), shell->GetGate(2)->GetStatItem()->GetStatText(0, kStatEvents));
}

// Every tree builds its tests with the standard library's bounds checks: a
// read past a vector stops there instead of passing unseen.
TEST(BuildChecks, AnIndexPastAVectorStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::vector<int32_t> codes(2);
    volatile size_t past = codes.size();
    EXPECT_DEATH((void)codes[past], "");
}

class ResultTableDragTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(800, 700); }
};

TEST_F(ResultTableDragTest, ABorderDraggedFarRightKeepsEveryBorderReadableAndTheReportReopens) {
    doc->SetPageCount(kMaxPagesAcross, 2);
    VexaDataShell* shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
    plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R1");
    auto* t = static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(20, 20, 320, 40, shell, doc.get())));
    ASSERT_TRUE(t->SetColumns({kStatPercent, kStatEvents}, {0, 0}));
    t->RebuildAndRedraw();
    const CRect g = t->GetRect();
    d->Click(CPoint(g.left + 10, g.top + 10));
    ASSERT_EQ(doc->GetActiveObject(), t);
    const CPoint border(g.left + CTrkResult::kInset + t->GetBorders()[0], g.top + CTrkResult::kInset + 2 * 25 + 10);
    d->Drag(border, CPoint(20470, border.y));
    ExpectReadable(t->GetBorders());
    EXPECT_GT(t->GetBorders()[0], 10000);
    EXPECT_LE(t->GetRect().right, doc->GetCanvasSize().cx);

    const std::vector<uint8_t> saved = Save(*doc);
    CLumitraDoc back;
    CArchive in(saved);
    ASSERT_NO_THROW(back.Serialize(in));
    EXPECT_EQ(TableOf(back)->GetBorders(), t->GetBorders());
}

TEST_F(ResultTableDragTest, TheFirstDragFromATableNotSelectedCarriesItsValueToAGrid) {
    VexaDataShell* shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
    CGateNode* gate = plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R1");
    auto* t = static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(20, 20, 320, 40, shell, doc.get())));
    auto* grid = static_cast<CGrid*>(doc->AddObject(MakeGridAt(doc.get(), CPoint(20, 300), 2, 2)));
    doc->SetActiveObject(grid);
    const CRect g = t->GetRect();
    const CPoint value(g.left + CTrkResult::kInset + t->GetBorders()[0] + 10, g.top + CTrkResult::kInset + 3 * 25 + 10);
    const CRect target = grid->CellRect(1, 0);
    d->Drag(value, CPoint((target.left + target.right) / 2, (target.top + target.bottom) / 2));
    auto* cell = dynamic_cast<CStatCell*>(grid->GetCell(0, 1));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->GetStatItem(), gate->GetStatItem());
    EXPECT_EQ(cell->GetCode(), kStatPercent);

    // A click on a value of a table not selected selects it and leaves it so.
    d->Click(CPoint(600, 600));
    ASSERT_EQ(doc->GetActiveObject(), nullptr);
    d->Click(value);
    EXPECT_EQ(doc->GetActiveObject(), t);
    EXPECT_EQ(view->GetTrackState(), kTrackMove);
    EXPECT_EQ(doc->GetDraggedCell(), nullptr);
}
