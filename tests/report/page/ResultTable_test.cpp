// The result table: its record, its values against the gate statistics, its
// layouts, its lifetime against its gates and shell, and its texts.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QPainter>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/Archive.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/StatItem.h"
#include "report/app/CommandIds.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/PagePainter.h"
#include "report/app/CommandIds.h"
#include "report/app/MainFrame.h"
#include "report/page/ResultTable.h"
#include "report/plot/Plot.h"
#include "tests/report/FldTestUtil.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/support/Corpus.h"

using fldtest::Bytes;

namespace {

std::vector<uint8_t> Save(CLumitraDoc& doc) {
    CArchive ar;
    doc.Serialize(ar);
    return ar.Bytes();
}

void Load(CLumitraDoc& doc, const std::vector<uint8_t>& bytes) {
    CArchive in(bytes);
    doc.Serialize(in);
}

// Files written by the tests seed the fuzzer when asked for.
void MaybeWriteSeed(const std::string& name, const std::vector<uint8_t>& bytes) {
    const char* dir = std::getenv("LUMITRA_WRITE_FLD_SEEDS");
    if (!dir || !*dir) return;
    std::ofstream out(std::string(dir) + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Puts the C library in a German locale (decimal comma), compiled into dir
// when none is installed; false when neither works.
bool UseGermanNumbers(const lmtest::TempDir& dir) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8"})
        if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',') return true;
    const std::string target = dir.File("de_DE.UTF-8");
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 && !std::filesystem::exists(target + "/LC_NUMERIC")) return false;
    setenv("LOCPATH", dir.Path().c_str(), 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") && *std::localeconv()->decimal_point == ',';
}

CTrkResult* TableOf(const CLumitraDoc& doc) {
    for (const auto& o : doc.GetObjects())
        if (auto* t = dynamic_cast<CTrkResult*>(o.get())) return t;
    return nullptr;
}

// Every statistic code on one parameter.
void UseTenCodes(CTrkResult& t, int32_t param) {
    std::vector<int32_t> codes, params;
    for (int32_t c = 0; c < kStatCodeCount; ++c) {
        codes.push_back(c);
        params.push_back(param);
    }
    ASSERT_TRUE(t.SetColumns(codes, params));
    t.Rebuild();
}

// Each value cell against the gate's own statistics.
void ExpectCellsAreStatItems(CTrkResult& t) {
    const int32_t k = int32_t(t.Keywords().size());
    for (int32_t g = 0; g < t.GetGateRowCount(); ++g)
        for (size_t i = 0; i < t.GetCodes().size(); ++i)
            EXPECT_EQ(t.GetCellText(k + 1 + g, int32_t(i) + 1),
                      t.GetRowGate(g)->GetStatItem()->GetStatText(t.GetParams()[i], t.GetCodes()[i]))
                << "gate row " << g << " column " << i;
}

// Fields of CSV lines (quotes doubled inside quoted fields); every field ends
// with a comma, so the text splits into lines of fields.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> lines(1);
    std::string field;
    bool quoted = false;
    bool pending = false;  // a field began since the last comma
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
            else if (c == '"') quoted = false;
            else field += c;
        } else if (c == '"') {
            quoted = pending = true;
        } else if (c == ',') {
            lines.back().push_back(field);
            field.clear();
            pending = false;
        } else if (c == '\n') {
            // A line that is one field without a comma (a keyword line).
            if (pending) lines.back().push_back(field);
            field.clear();
            pending = false;
            lines.emplace_back();
        } else {
            field += c;
            pending = true;
        }
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

class ResultTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        plottest::ResetPlotDefaults();
    }
    // A shell on the grid events with R1, R2 and R1&R2.
    VexaDataShell* AddShell(CLumitraDoc& doc, const std::string& name = "grid.fcs") {
        VexaDataShell* s = doc.OpenDataFile(dir.Write(name, vin::FcsBytes(vin::GridEvents())), 0);
        r1 = plottest::AddRectGate(*s, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R1");
        r2 = plottest::AddRectGate(*s, 0.4f, 0.3f, 0.9f, 0.8f, 0, "R2");
        both = s->AddLogicGate(kGateAnd, {r1, r2}, "R1&R2");
        return s;
    }

    lmtest::TempDir dir;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    fldtest::ScopedPalette palette;
    CGateNode* r1 = nullptr;
    CGateNode* r2 = nullptr;
    CGateNode* both = nullptr;
};

}  // namespace

// ================================================================ record

// A table takes columns up to its limit and no more; a full table is saved
// and read back whole.
TEST_F(ResultTableTest, ColumnsStopAtTheLimitAndAFullTableReopens) {
    CLumitraDoc doc;
    VexaDataShell* s = AddShell(doc);
    auto made = std::make_unique<CTrkResult>(10, 20, s, &doc);
    CTrkResult* t = made.get();
    doc.AddObject(std::move(made));
    const int32_t start = int32_t(t->GetCodes().size());
    int32_t added = 0;
    while (added <= kMaxTableColumns && t->AddColumn(1, kStatMean)) ++added;
    EXPECT_EQ(start + added, kMaxTableColumns);
    EXPECT_EQ(t->GetCodes().size(), size_t(kMaxTableColumns));
    EXPECT_FALSE(t->AddColumn(0, kStatMean));

    const std::vector<uint8_t> first = Save(doc);
    CLumitraDoc back;
    Load(back, first);
    CTrkResult* u = TableOf(back);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->GetCodes().size(), size_t(kMaxTableColumns));
    EXPECT_EQ(Save(back), first);
}

TEST_F(ResultTableTest, TheRecordIsItsFieldsInOrderAndASaveOfTheReopenedReportIsTheSame) {
    CLumitraDoc doc;
    VexaDataShell* s = AddShell(doc);
    auto made = std::make_unique<CTrkResult>(10, 20, s, &doc);
    CTrkResult* t = made.get();
    doc.AddObject(std::move(made));
    t->Keywords().push_back("$DATE");
    (void)t->GetTableText();
    t->AddColumn(1, kStatMean);
    // Read before any rebuild: row 3 is All's (two header lines, the titles).
    EXPECT_EQ(t->GetCellText(3, 2), s->GetRoot()->GetStatItem()->GetStatText(1, kStatMean));
    t->SetTreeMode(true);
    // One header line each, the title row, then All, R1, R2, R1&R2.
    EXPECT_EQ(t->GetRows(), 2 + 1 + 4);
    EXPECT_EQ(t->GetRect().TopLeft(), CPoint(10, 20));
    // The rows and the inset above and below them.
    EXPECT_EQ(t->GetRect().Height(), 2 * 3 + 7 * 25);
    // Each column at least as wide as its names, title and values need, the
    // first at least half the 94 the table was made with, and the added one
    // at least a third of its width.
    const std::vector<int32_t> b = t->GetBorders();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_GE(b[0], std::max(47, t->NeededWidth(0)));
    EXPECT_GE(b[1] - b[0], std::max(31, t->NeededWidth(1)));
    EXPECT_GE(t->GetRect().Width() - 6 - b[1], t->NeededWidth(2));

    CArchive head;
    t->CTrkObj::Store(head);
    Bytes expected;
    expected.Raw(head.Bytes());
    expected.I(2).I(b[0]).I(b[1]).I(0).I(2).S("FileName").S("$DATE").I(2).I(1).I(2).I(2).I(0).I(1).I(1);
    CArchive ar;
    t->Store(ar);
    EXPECT_EQ(ar.Bytes(), expected.b);

    const std::vector<uint8_t> first = Save(doc);
    MaybeWriteSeed("result-table.fld", first);
    CLumitraDoc back;
    Load(back, first);
    CTrkResult* u = TableOf(back);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->GetShell(), back.GetDataShellAt(0));
    EXPECT_TRUE(u->IsTreeMode());
    EXPECT_EQ(u->GetRows(), t->GetRows());
    EXPECT_EQ(u->GetTableText(), t->GetTableText());
    EXPECT_EQ(Save(back), first);
}

TEST_F(ResultTableTest, DamagedRecordsAreRefusedAndAMissingDataSetLeavesNoShell) {
    CLumitraDoc doc;
    CTrkResult probe(&doc);
    CArchive head;
    probe.CTrkObj::Store(head);
    struct Case {
        const char* what;
        std::vector<int32_t> borders;
        int32_t shell;
        int32_t codes, params;
        bool ok;
    } cases[] = {
        {"plain", {40}, 0, 1, 1, true},
        {"more codes than parameters", {40}, 0, 2, 1, false},
        {"fewer codes than parameters", {40}, 0, 0, 1, false},
        {"borders not ascending", {40, 40}, 0, 1, 1, false},
        {"a negative border", {-5}, 0, 1, 1, false},
        {"shell index naming nothing", {40}, 7, 1, 1, true},
        {"no columns at all", {}, -1, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b;
        b.Raw(head.Bytes()).I(int32_t(c.borders.size()));
        for (int32_t v : c.borders) b.I(v);
        b.I(c.shell).I(1).S("FileName").I(c.codes);
        for (int32_t i = 0; i < c.codes; ++i) b.I(kStatEvents);
        b.I(c.params);
        for (int32_t i = 0; i < c.params; ++i) b.I(0);
        b.I(0);
        CTrkResult t(&doc);
        CArchive ar(b.b);
        if (!c.ok) {
            EXPECT_THROW(t.Load(ar), CArchiveException);
            continue;
        }
        t.Load(ar);
        EXPECT_EQ(t.GetShell(), nullptr);
        EXPECT_EQ(t.GetGateRowCount(), 0);
        // Drawn and copied without a shell, a border or a value.
        QImage img(300, 300, QImage::Format_RGB32);
        QPainter p(&img);
        t.Draw(&p);
        EXPECT_EQ(t.GetTableText(), "FileName: \n\t" + std::string(c.codes ? " Events\t" : "") + "\n\n");
    }
}

// ================================================================ values

TEST_F(ResultTableTest, OnACorpusFileEveryCellIsTheGatesStatisticAndTheTreePutsAndGatesLast) {
    std::string why;
    const std::string corpus = lmtest::CorpusDir(&why);
    if (corpus.empty()) GTEST_SKIP() << why;
    CLumitraDoc doc;
    VexaDataShell* s = doc.OpenDataFile(corpus + "/FCS_3.0_Fortessa_PBS_Specimen_001_A1_A01.fcs", 0);
    ASSERT_NE(s, nullptr);
    CGateNode* a = plottest::AddRectGate(*s, 0.05f, 0.05f, 0.7f, 0.7f, 0, "R1");
    CGateNode* b = plottest::AddRectGate(*s, 0.3f, 0.2f, 0.95f, 0.9f, 0, "R2");
    s->AddLogicGate(kGateAnd, {a, b}, "R1&R2");
    auto t = std::make_unique<CTrkResult>(5, 5, s, &doc);
    for (int32_t param : {0, 3}) {
        UseTenCodes(*t, param);
        ExpectCellsAreStatItems(*t);
    }
    t->SetTreeMode(true);
    const CGateView& v = t->GetGateView();
    ASSERT_EQ(v.GetRowCount(), 4);
    const std::vector<std::pair<std::string, int32_t>> rows{{"All", 0}, {"R1", 1}, {"R2", 1}, {"R1&R2", 1}};
    for (int32_t r = 0; r < 4; ++r) {
        EXPECT_EQ(v.GetRowGate(r)->GetDisplayName(), rows[size_t(r)].first);
        EXPECT_EQ(v.GetRowLevel(r), rows[size_t(r)].second);
        EXPECT_EQ(t->GetRowGate(r), v.GetRowGate(r));
    }
    ExpectCellsAreStatItems(*t);
}

// And and Or gates alike wait in the tree until all their inputs are in,
// then come at level 1; a plain child of an input goes straight under it.
TEST_F(ResultTableTest, AndAndOrGatesWaitForAllTheirInputsInTheTree) {
    for (int32_t op : {kGateAnd, kGateOr}) {
        CLumitraDoc doc;
        VexaDataShell* s = AddShell(doc, "tree.fcs");
        CGateNode* a = plottest::AddRectGate(*s, 0.05f, 0.05f, 0.7f, 0.7f, 0, "A");
        CGateNode* b = plottest::AddRectGate(*s, 0.3f, 0.2f, 0.95f, 0.9f, 0, "B");
        CGateNode* logic = s->AddLogicGate(op, {a, b}, "A?B");
        CGateNode* inner = plottest::AddRectGate(*s, 0.1f, 0.1f, 0.2f, 0.2f, s->GetGateIndex(a), "in A");
        ASSERT_NE(logic, nullptr);
        CGateView v;
        v.SetGates({s->GetRoot(), a, b, logic, inner});
        v.SetTreeMode(true);
        const std::vector<std::pair<CGateNode*, int32_t>> rows{
            {s->GetRoot(), 0}, {a, 1}, {inner, 2}, {b, 1}, {logic, 1}};
        ASSERT_EQ(v.GetRowCount(), int32_t(rows.size())) << char(op);
        for (int32_t r = 0; r < v.GetRowCount(); ++r) {
            EXPECT_EQ(v.GetRowGate(r), rows[size_t(r)].first) << char(op) << " row " << r;
            EXPECT_EQ(v.GetRowLevel(r), rows[size_t(r)].second) << char(op) << " row " << r;
        }
    }
}

TEST_F(ResultTableTest, AGateWhoseInputIsNotListedStillGetsItsTreeRow) {
    CLumitraDoc doc;
    VexaDataShell* s = AddShell(doc);
    CGateNode* inner = plottest::AddRectGate(*s, 0.2f, 0.2f, 0.3f, 0.3f, s->GetGateIndex(r1), "in R1");
    CGateView v;
    v.SetGates({s->GetRoot(), r2, inner, both});
    ASSERT_EQ(v.GetRowCount(), 4);
    EXPECT_EQ(v.GetRowGate(1), r2);
    // R1&R2 is reached through R2 (R1 is not listed); "in R1" is reached by
    // nothing and goes last at level 1.
    EXPECT_EQ(v.GetRowGate(2), both);
    EXPECT_EQ(v.GetRowGate(3), inner);
    EXPECT_EQ(v.GetRowLevel(3), 1);
}

TEST_F(ResultTableTest, ValuesAreEmptyWithoutEventsOrParameterAndKeepTheCLocale) {
    CLumitraDoc doc;
    VexaDataShell* s = AddShell(doc);
    CTrkResult t(5, 5, s, &doc);
    ASSERT_TRUE(t.SetColumns({kStatMean, kStatEvents, kStatMean}, {1, 0, 9}));
    t.Rebuild();
    // Parameter 9 does not exist: no label, no value (not "0.00").
    EXPECT_EQ(t.GetCellText(1, 3), " Mean");
    EXPECT_EQ(t.GetCellText(2, 3), "");
    EXPECT_EQ(t.GetCellText(2, 2), "441");

    // Numbers stay C-locale whatever the user's locale says.
    const QLocale savedQt;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const bool german = UseGermanNumbers(dir);
    t.Rebuild();
    CGateNode* g = s->GetGate(1);
    g->GetStatItem()->NotifyUsers();
    const std::string mean = t.GetCellText(3, 1);
    const std::string csv = CTrkResult::BuildCsvRow({}, {1}, {kStatMean}, s);
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    QLocale::setDefault(savedQt);
    if (!german) std::printf("(no German C locale here: only Qt's default locale was German)\n");
    EXPECT_NE(mean.find('.'), std::string::npos) << mean;
    EXPECT_EQ(mean.find(','), std::string::npos) << mean;
    EXPECT_EQ(ParseCsv(csv).at(0).size(), 4u) << csv;

    // A shell without events: empty values, no zeros.
    CTrkResult empty(5, 5, doc.AttachDataShell(nullptr), &doc);
    EXPECT_EQ(empty.GetGateRowCount(), 1);
    EXPECT_EQ(empty.GetCellText(2, 1), "");
}

// ================================================================ lifetime

TEST_F(ResultTableTest, RemovedGatesAndADyingShellLeaveNoRowBehind) {
    CLumitraDoc doc;
    VexaDataShell* s = AddShell(doc);
    CTrkResult t(5, 5, s, &doc);
    t.SetTreeMode(true);
    ASSERT_EQ(t.GetGateRowCount(), 4);
    s->RemoveGate(r1, true);  // takes R1&R2 with it
    ASSERT_EQ(t.GetGateRowCount(), 2);
    EXPECT_EQ(t.GetRowGate(1), r2);
    EXPECT_NE(t.GetTableText().find("R2"), std::string::npos);

    // A shell freed without its document's help detaches without a notice.
    auto owned = plottest::MakeShell(vin::GridEvents());
    plottest::AddRectGate(*owned, 0.1f, 0.1f, 0.5f, 0.5f, 0, "G");
    CTrkResult lone(5, 5, owned.get(), nullptr);
    ASSERT_EQ(lone.GetGateRowCount(), 2);
    owned.reset();
    EXPECT_EQ(lone.GetShell(), nullptr);
    EXPECT_EQ(lone.GetGateRowCount(), 0);
    QImage img(300, 300, QImage::Format_RGB32);
    QPainter p(&img);
    lone.Draw(&p);
    EXPECT_EQ(lone.GetTableText(), "FileName: \n\t Percent\t\n\n");

    // Closing the data set takes the table with it.
    doc.AddObject(std::make_unique<CTrkResult>(5, 300, s, &doc));
    doc.RemoveDataShell(s);
    EXPECT_EQ(TableOf(doc), nullptr);
}

TEST_F(ResultTableTest, ARegionEditRecomputesOnlyTheGatesItChanged) {
    CLumitraDoc doc;
    VexaDataShell* s = AddShell(doc);
    CTrkResult t(5, 5, s, &doc);
    UseTenCodes(t, 1);
    (void)t.GetTableText();
    const int64_t before = t.GetComputedCount();
    ASSERT_EQ(before, 4 * 10);
    auto* rect = dynamic_cast<CrRect*>(r2->GetRegion());
    ASSERT_NE(rect, nullptr);
    rect->SetGeometry({0.45f, 0.3f, 0.9f, 0.8f}, nullptr);
    ExpectCellsAreStatItems(t);
    // R2 and R1&R2 only, once each.
    EXPECT_EQ(t.GetComputedCount() - before, 2 * 10);

    // A rename tells the statistics users; a compensation tells none of
    // them, yet every value changes.
    r1->SetName("renamed");
    CSpillMatrix m(2);
    m.indices = {0, 1};
    m.values = {1.0f, 0.25f, 0.0f, 1.0f};
    s->SetCompMatrix(&m, true);
    s->OnDataSetChanged();
    ASSERT_NE(s->GetRoot()->GetStatItem()->GetStatText(1, kStatMean), "500.00");
    ExpectCellsAreStatItems(t);
}

// ================================================================ texts

TEST_F(ResultTableTest, CsvAndClipboardTextsParseBackWhateverTheNamesHold) {
    CLumitraDoc doc;
    VexaDataShell* s = AddShell(doc, "a,\"b\".fcs");
    r1->SetName("R,1 \"x\"\r\nnext");
    r2->SetName("tab\there");
    const std::vector<std::string> kws{"FileName", "$TOT", "key,comma"};
    const std::vector<int32_t> codes{kStatEvents, kStatMean, kStatParentPercent};
    const std::vector<int32_t> params{0, 1, 0};
    const size_t fields = kws.size() + size_t(s->GetGateCount()) * codes.size();

    const auto header = ParseCsv(CTrkResult::BuildCsvHeader(kws, params, codes, s));
    const auto row = ParseCsv(CTrkResult::BuildCsvRow(kws, params, codes, s));
    ASSERT_EQ(header.size(), 1u);
    ASSERT_EQ(row.size(), 1u);
    ASSERT_EQ(header[0].size(), fields);
    ASSERT_EQ(row[0].size(), fields);
    EXPECT_EQ(header[0][2], "key,comma");
    EXPECT_EQ(header[0][3], "AllEvents");
    EXPECT_EQ(header[0][4], "SS Mean");
    EXPECT_EQ(header[0][6], "R,1 \"x\"\r\nnextEvents");
    EXPECT_EQ(row[0][0], "a,\"b\".fcs");
    EXPECT_EQ(row[0][1], "441");
    EXPECT_EQ(row[0][2], "");
    for (size_t g = 0; g < size_t(s->GetGateCount()); ++g)
        for (size_t i = 0; i < codes.size(); ++i)
            EXPECT_EQ(row[0][kws.size() + g * codes.size() + i],
                      s->GetGate(int32_t(g))->GetStatItem()->GetStatText(params[i], codes[i]));

    const auto block = ParseCsv(CTrkResult::BuildCsvBlock(kws, params, codes, s));
    // Three keyword lines, the titles, one per gate, the empty closing line.
    ASSERT_EQ(block.size(), 3u + 1u + size_t(s->GetGateCount()) + 1u);
    EXPECT_EQ(block[0], std::vector<std::string>{"FileName: a,\"b\".fcs"});
    EXPECT_EQ(block[2], std::vector<std::string>{"key,comma: "});
    EXPECT_EQ(block[5][0], "R,1 \"x\"\r\nnext");
    EXPECT_EQ(block[5].size(), 1u + codes.size());

    CTrkResult t(5, 5, s, &doc);
    t.Keywords() = kws;
    ASSERT_TRUE(t.SetColumns(codes, params));
    t.Rebuild();
    t.CopyToClipboard();
    const QString clip = QGuiApplication::clipboard()->text();
    const QStringList lines = clip.split('\n');
    // Keywords, titles, four gates, the closing empty line (and the end).
    ASSERT_EQ(lines.size(), 3 + 1 + 4 + 2) << clip.toStdString();
    EXPECT_EQ(lines[0].toStdString(), "FileName: a,\"b\".fcs");
    EXPECT_EQ(lines[4].toStdString(), "All\t441\t500.00\t100.00\t");
    EXPECT_EQ(lines[5].toStdString().rfind("R,1 \"x\"  next\t", 0), 0u);
    EXPECT_EQ(lines[6].toStdString().rfind("tab here\t", 0), 0u);
    for (const QString& l : lines.mid(3, 5)) EXPECT_EQ(l.count('\t'), 1 + int(codes.size())) << l.toStdString();
}

// ================================================================ on the page

class ResultTableViewTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(800, 700); }
};

TEST_F(ResultTableViewTest, ThePlotsResultCommandPutsATableBelowWhoseCellsFollowADraggedRegion) {
    VexaDataShell* shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
    CGateNode* gate = plottest::AddRectGate(*shell, 0.123f, 0.217f, 0.611f, 0.733f, 0, "R1");
    auto made = std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1);
    CPLOT* plot = static_cast<CPLOT*>(doc->AddObject(std::move(made)));
    plot->ShowRegion(gate->GetRegion());
    d->Click(AreaPoint(*plot, 200, 200));
    ui.QueueMenuChoice(kPlotCmdResult);
    d->RightClick(AreaPoint(*plot, 200, 200));
    CTrkResult* t = TableOf(*doc);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetRect().TopLeft(), CPoint(20, 280));
    ASSERT_TRUE(t->SetColumns({kStatEvents, kStatMean}, {0, 0}));
    t->RebuildAndRedraw();
    const std::string before = t->GetCellText(3, 2);

    // A second one is refused.
    ui.QueueMenuChoice(kPlotCmdResult);
    d->RightClick(AreaPoint(*plot, 200, 200));
    EXPECT_EQ(doc->GetObjectCount(), 2);
    // Its own menu switches the tree on and copies it.
    const CPoint inside(t->GetRect().left + 10, t->GetRect().top + 10);
    d->Click(inside);
    ui.QueueMenuChoice(kCtxTree);
    d->RightClick(inside);
    EXPECT_TRUE(t->IsTreeMode());
    ui.QueueMenuChoice(kCtxCopy);
    d->RightClick(inside);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), t->GetTableText());

    auto* rect = dynamic_cast<CrRect*>(gate->GetRegion());
    std::array<float, 4> box{};
    rect->GetGeometry(&box);
    const CRect area = plot->GetPlotArea();
    const CPoint edge = AreaPoint(*plot, CRgnLayer::FractionToPixel(area.Width(), box[0]),
                                  CRgnLayer::FractionToPixel(area.Height(), 0.5f));
    d->Click(edge);
    d->Press(edge);
    d->Move(CPoint(edge.x + 30, edge.y));
    d->Release(CPoint(edge.x + 30, edge.y));
    (void)PaintAll();
    EXPECT_NE(t->GetCellText(3, 2), before);
    EXPECT_EQ(t->GetCellText(3, 1), gate->GetStatItem()->GetStatText(0, kStatEvents));
    EXPECT_EQ(t->GetCellText(3, 2), gate->GetStatItem()->GetStatText(0, kStatMean));
}

TEST_F(ResultTableViewTest, AValueDraggedOntoAGridStaysBoundToItsGateAndBordersDragAtTheirRows) {
    VexaDataShell* shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
    CGateNode* gate = plottest::AddRectGate(*shell, 0.123f, 0.217f, 0.611f, 0.733f, 0, "R1");
    auto* t = static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(20, 20, 320, 40, shell, doc.get())));
    t->SetRectAndRebuild(20, 20, 320, 40);
    ASSERT_EQ(t->GetBorders(), (std::vector<int32_t>{147}));
    auto* grid = static_cast<CGrid*>(doc->AddObject(MakeGridAt(doc.get(), CPoint(20, 300), 2, 2)));
    ASSERT_NE(grid, nullptr);
    const CRect g = t->GetRect();
    // The R1 row: below the header line, the title row and All.
    const CPoint value(g.left + 3 + 200, g.top + 3 + 3 * 25 + 10);
    d->Click(CPoint(g.left + 3 + 200, g.top + 10));
    ASSERT_EQ(doc->GetActiveObject(), t);
    const CRect target = grid->CellRect(1, 0);
    d->Drag(value, CPoint((target.left + target.right) / 2, (target.top + target.bottom) / 2));
    auto* cell = dynamic_cast<CStatCell*>(grid->GetCell(0, 1));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->GetStatItem(), gate->GetStatItem());
    EXPECT_EQ(cell->GetText(), t->GetCellText(3, 1));
    EXPECT_EQ(doc->GetDraggedCell(), nullptr);
    // The gate goes: the grid's cell is replaced, the table loses its row.
    shell->RemoveGate(gate, true);
    EXPECT_EQ(dynamic_cast<CStatCell*>(grid->GetCell(0, 1)), nullptr);
    EXPECT_EQ(t->GetGateRowCount(), 1);

    // The border, grabbed in a gate row, follows the mouse; later columns
    // keep their width.
    doc->SetActiveObject(t);
    const CPoint border(g.left + 3 + 147, g.top + 3 + 2 * 25 + 10);
    d->Drag(border, CPoint(border.x + 10, border.y));
    EXPECT_EQ(t->GetBorders(), (std::vector<int32_t>{157}));
    d->Drag(CPoint(border.x + 10, border.y), CPoint(border.x - 200, border.y));
    EXPECT_EQ(t->GetBorders(), (std::vector<int32_t>{20}));
}

TEST_F(ResultTableViewTest, ABorderDraggedShowsItsLineWhereTheMouseIsUntilTheRelease) {
    VexaDataShell* shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
    plottest::AddRectGate(*shell, 0.123f, 0.217f, 0.611f, 0.733f, 0, "R1");
    auto* t = static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(20, 20, 320, 40, shell, doc.get())));
    t->SetRectAndRebuild(20, 20, 320, 40);
    ASSERT_EQ(t->GetBorders(), (std::vector<int32_t>{147}));
    const CRect g = t->GetRect();
    d->Click(CPoint(g.left + 3 + 200, g.top + 10));
    ASSERT_EQ(doc->GetActiveObject(), t);
    EXPECT_TRUE(t->DragLineRect().IsRectEmpty());
    const CPoint border(g.left + 3 + 147, g.top + 3 + 2 * 25 + 10);
    d->Press(border);
    d->Move(CPoint(border.x + 25, border.y));
    // The line stands at the mouse, two units wide, over the table's whole
    // height; the columns have not moved yet.
    const CRect line(border.x + 25 - 1, g.top + 3, border.x + 25 + 1, g.bottom - 3);
    EXPECT_EQ(t->DragLineRect(), line);
    ASSERT_EQ(view->GetFeedbackRects().size(), 1u);
    EXPECT_EQ(view->GetFeedbackRects()[0], line);
    EXPECT_EQ(t->GetBorders(), (std::vector<int32_t>{147}));
    // Further left than a column may be narrow, the line stops where the border will.
    d->Move(CPoint(g.left - 50, border.y));
    ASSERT_EQ(view->GetFeedbackRects().size(), 1u);
    EXPECT_EQ(view->GetFeedbackRects()[0].left, g.left + 3 + 20 - 1);
    d->Release(CPoint(g.left - 50, border.y));
    EXPECT_EQ(t->GetBorders(), (std::vector<int32_t>{20}));
    EXPECT_TRUE(view->GetFeedbackRects().empty());
    EXPECT_TRUE(t->DragLineRect().IsRectEmpty());
}

TEST_F(ResultTableViewTest, DataDroppedOnATemplatesPlotGivesTheTitlesTheirParameters) {
    // A template: the analysis without its file, its data set only the
    // stored parameters (no names), its table "Med" of parameter 1.
    lmtest::TempDir dir;
    const std::string fcs = dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents()));
    const std::string templ = dir.File("t.fld");
    {
        CLumitraDoc source;
        VexaDataShell* s = source.OpenDataFile(fcs, 0);
        ASSERT_NE(s, nullptr);
        source.AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), s->GetRoot(), &source, 0, 1));
        auto table = std::make_unique<CTrkResult>(20, 300, s, &source);
        ASSERT_TRUE(table->SetColumns({kStatEvents, kStatMedian}, {0, 1}));
        source.AddObject(std::move(table));
        QString error;
        ASSERT_TRUE(source.SaveTemplateTo(QString::fromStdString(templ), &error)) << error.toStdString();
    }
    QString error;
    ASSERT_TRUE(doc->OnOpenDocument(QString::fromStdString(templ), &error)) << error.toStdString();
    CTrkResult* t = TableOf(*doc);
    ASSERT_NE(t, nullptr);
    const int32_t titles = t->GetRows() - t->GetShell()->GetGateCount() - 1;
    EXPECT_EQ(t->GetCellText(titles, 2), " Med");
    CPLOT* plot = nullptr;
    for (const auto& o : doc->GetObjects())
        if (o->GetType() == kObjPlot) plot = static_cast<CPLOT*>(o.get());
    ASSERT_NE(plot, nullptr);

    d->Drop({fcs}, plot->GetPlotArea().CenterPoint());
    ASSERT_EQ(ui.Count(lm::ScriptedUiServices::Kind::MessageBox), 0);
    EXPECT_EQ(t->GetCellText(titles, 2), "SS Med");
    EXPECT_EQ(t->GetCellText(titles, 1), " Events");  // no parameter
    EXPECT_TRUE(doc->IsModified());
}

// The column lines start at the title row: that is where a border is
// grabbed, in a table that has no gate rows too.
TEST_F(ResultTableViewTest, ABorderIsDraggedFromTheTitleRowWithOrWithoutGates) {
    VexaDataShell* shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
    auto* t = static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(20, 20, 320, 40, shell, doc.get())));
    t->SetRectAndRebuild(20, 20, 320, 40);
    ASSERT_EQ(t->GetBorders(), (std::vector<int32_t>{147}));
    const CRect g = t->GetRect();
    d->Click(CPoint(g.left + 3 + 200, g.top + 10));
    ASSERT_EQ(doc->GetActiveObject(), t);
    // Row 0 is the "FileName" line, row 1 the titles.
    const CPoint title(g.left + 3 + 147, g.top + 3 + 25 + 10);
    doc->SetModifiedFlag(false);
    d->Drag(title, CPoint(title.x + 20, title.y));
    EXPECT_EQ(t->GetBorders(), (std::vector<int32_t>{167}));
    EXPECT_TRUE(doc->IsModified());
    // In the header line above, a press is no border's: the table moves.
    d->Drag(CPoint(title.x + 20, g.top + 3 + 10), CPoint(title.x + 30, g.top + 3 + 10));
    EXPECT_EQ(t->GetBorders(), (std::vector<int32_t>{167}));

    // Its data set gone, the table has no gate rows; the title row still
    // takes the border.
    t->DetachShell(true, true);
    ASSERT_EQ(t->GetGateRowCount(), 0);
    const CRect h = t->GetRect();
    doc->SetActiveObject(t);
    const CPoint bare(h.left + 3 + t->GetBorders()[0], h.top + 3 + 25 + 10);
    ASSERT_LT(bare.y, h.bottom);
    d->Drag(bare, CPoint(bare.x - 40, bare.y));
    EXPECT_EQ(t->GetBorders()[0], 127);
}

// A template whose grid holds values dragged from its result table, saved as
// a report before the data came: the links are kept, and the values fill in
// when the file is dropped on the first plot, on the page and in the report
// saved then.
class LinkedGridProgramTest : public rtest::ProgramTest {};

TEST_F(LinkedGridProgramTest, ValuesOfAReportSavedBeforeItsDataFillInWhenTheDataArrives) {
    ASSERT_TRUE(app->InitInstance({}));
    plottest::ResetPlotDefaults();
    fldtest::ScopedPalette palette;
    const std::string fcs = dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents()));
    const std::string templ = dir.File("t.fld");
    {
        CLumitraDoc source;
        VexaDataShell* s = source.OpenDataFile(fcs, 0);
        ASSERT_NE(s, nullptr);
        CGateNode* r1 = plottest::AddRectGate(*s, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R1");
        source.AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), s->GetRoot(), &source, 0, 1));
        source.AddObject(std::make_unique<CTrkResult>(20, 300, s, &source));
        auto* grid = static_cast<CGrid*>(source.AddObject(MakeGridAt(&source, CPoint(400, 20), 1, 2)));
        grid->SetCell(0, 0, std::make_unique<CStatCell>(grid, r1->GetStatItem(), kStatEvents, 0, false));
        grid->SetCell(0, 1, std::make_unique<CStatCell>(grid, r1->GetStatItem(), kStatMean, 0, false));
        QString error;
        ASSERT_TRUE(source.SaveTemplateTo(QString::fromStdString(templ), &error)) << error.toStdString();
    }
    auto objectOf = [](CLumitraDoc* doc, int32_t type) -> CTrkObj* {
        for (const auto& o : doc->GetObjects())
            if (o->GetType() == type) return o.get();
        return nullptr;
    };
    // Opened and saved as a report: no data, so no values (the template's
    // own are not this report's).
    CLumitraDoc* doc = app->OpenDocumentFile(QString::fromStdString(templ));
    ASSERT_NE(doc, nullptr);
    auto* grid = static_cast<CGrid*>(objectOf(doc, kObjGrid));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->GetCell(0, 0)->GetText(), "");
    const std::string report = dir.File("report.fld");
    ui.QueueFileNames({QString::fromStdString(report)});
    app->GetMainFrame()->OnCommand(kCmdFileSaveAs);
    ASSERT_EQ(doc->GetPathName(), QString::fromStdString(report));
    ASSERT_TRUE(app->OnFileClose(doc));

    // Reopened: the file dropped on the first plot fills plots, table and grid.
    doc = app->OpenDocumentFile(QString::fromStdString(report));
    ASSERT_NE(doc, nullptr);
    grid = static_cast<CGrid*>(objectOf(doc, kObjGrid));
    auto* plot = static_cast<CPLOT*>(objectOf(doc, kObjPlot));
    ASSERT_TRUE(grid && plot);
    ASSERT_EQ(grid->GetCell(0, 0)->GetKind(), kCellStat);
    CLumitraView* view = app->GetMainFrame()->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->GetDocument(), doc);
    // Shown as the window shows it: blank, no data yet.
    (void)view->viewport()->grab();
    EXPECT_EQ(grid->GetCell(0, 1)->GetText(), "");
    vin::Driver(view).Drop({fcs}, plot->GetPlotArea().CenterPoint());
    ASSERT_EQ(ui.Count(lm::ScriptedUiServices::Kind::MessageBox), 0);
    CGateNode* r1 = doc->GetDataShellAt(0)->GetGate(1);
    const std::string events = r1->GetStatItem()->GetStatText(0, kStatEvents);
    const std::string mean = r1->GetStatItem()->GetStatText(0, kStatMean);
    ASSERT_NE(events, "0");
    EXPECT_EQ(grid->GetCell(0, 0)->GetText(), events);
    EXPECT_EQ(grid->GetCell(0, 1)->GetText(), mean);
    int ink = 0;
    CRect inside = grid->CellRect(0, 0);
    inside.DeflateRect(2, 2);
    const QImage cell = CPagePainter::RenderArea(*doc, inside).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x) ink += cell.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(ink, 0);
    EXPECT_TRUE(doc->IsModified());

    // Saved and read back: the cells are bound to the gate and hold the values.
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(QString::fromStdString(report), &error)) << error.toStdString();
    CLumitraDoc back;
    ASSERT_TRUE(back.OnOpenDocument(QString::fromStdString(report), &error)) << error.toStdString();
    auto* again = static_cast<CGrid*>(objectOf(&back, kObjGrid));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetCell(0, 0)->GetKind(), kCellStat);
    EXPECT_EQ(again->GetCell(0, 0)->GetText(), events);
    EXPECT_EQ(again->GetCell(0, 1)->GetText(), mean);
}
