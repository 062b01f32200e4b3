// The grid page object: its record byte for byte, hostile records, geometry,
// and the user's drags, copies and edits with real mouse events.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "base/Archive.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/StatItem.h"
#include "dialogs/CellStrDlg.h"
#include "platform/PaintHelpers.h"
#include "report/page/Grid.h"
#include "report/page/PagePainter.h"
#include "report/page/ResultTable.h"
#include "tests/report/FldTestUtil.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ViewEvents.h"

using fldtest::Bytes;

namespace {

const std::string kSongTi = "\xCB\xCE\xCC\xE5";  // "宋体" in code page 936

Bytes& DefaultFont(Bytes& b) {
    b.I(-16).I(0).I(0).I(0).I(400);
    for (uint8_t v : {0, 0, 0, 0, 0, 0, 2, 0x12}) b.b.push_back(v);
    return b.S(kSongTi);
}

Bytes CellRecord(const std::string& text, uint32_t format = kCellCentre) {
    Bytes b;
    b.S(text);
    DefaultFont(b).U(0).U(0xFFFFFF).U(format);
    return b;
}

// The grid record up to its cells.
Bytes GridHead(CRect r, int32_t rows, int32_t cols, int32_t rowHeight, int32_t colWidth,
               const std::vector<int32_t>& borders) {
    Bytes b;
    b.I(r.left).I(r.top).I(r.right).I(r.bottom);
    DefaultFont(b).U(0).U(0xFFFFFF).I(0);
    b.I(rows).I(cols).I(rowHeight).I(colWidth).I(int32_t(borders.size()));
    for (int32_t v : borders) b.I(v);
    return b;
}

std::vector<uint8_t> Stored(const CTrkObj& obj) {
    CArchive ar;
    obj.Store(ar);
    return ar.Bytes();
}

std::vector<uint8_t> SaveDoc(CLumitraDoc& doc) {
    CArchive ar;
    doc.Serialize(ar);
    return ar.Bytes();
}

// A document of no data sets holding one object record.
Bytes DocWith(const Bytes& object) {
    Bytes b;
    b.S("FLD").S("0").I(5).I(5).I(0);
    b.I(1).I(1).I(2).I(1024).I(1414).I(200).I(200).I(0).I(0).I(0);
    b.I(1).I(0).I(0).I(1).I(1).I(kObjGrid).Raw(object).I(-1).I(0);
    return b;
}

CGrid* AddGrid(CLumitraDoc& doc, int32_t x, int32_t y, int32_t rows, int32_t cols) {
    return static_cast<CGrid*>(doc.AddObject(std::make_unique<CGrid>(x, y, &doc, rows, cols)));
}

class GridTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(900, 700); }

    // A data set with events and a rectangle gate "R" (gate 1).
    VexaDataShell* OpenShell() {
        VexaDataShell* s = doc->OpenDataFile(dir.Write("five.fcs", fldtest::FiveParamFcs()), 0);
        if (s) plottest::AddRectGate(*s, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R");
        return s;
    }
    CStatCell* PutStat(CGrid* grid, int32_t row, int32_t col, CGateNode* gate, int32_t code, int32_t par) {
        grid->SetCell(row, col, std::make_unique<CStatCell>(grid, gate->GetStatItem(), code, par, false));
        return static_cast<CStatCell*>(grid->GetCell(row, col));
    }

    lmtest::TempDir dir;
};

TEST_F(GridTest, ANewOneByTwoGridIsStoredByteForByte) {
    CGrid grid(10, 20, doc.get(), 1, 2);
    EXPECT_EQ(grid.GetRect(), CRect(10, 20, 88, 70));  // 2 x 35 + 8 wide, 50 high
    Bytes want = GridHead(CRect(10, 20, 88, 70), 1, 2, 44, 35, {35});
    for (int c = 0; c < 2; ++c) want.I(kCellPlain).Raw(CellRecord(""));
    EXPECT_EQ(Stored(grid), want.b);
}

TEST_F(GridTest, AStatisticCellIsStoredWithItsGateAndReopensIdentically) {
    VexaDataShell* s = OpenShell();
    ASSERT_NE(s, nullptr);
    CGrid* grid = AddGrid(*doc, 10, 20, 1, 1);
    CStatCell* cell = PutStat(grid, 0, 0, s->GetGate(1), kStatMean, 0);
    const std::string mean = s->GetGate(1)->GetStatItem()->GetStatText(0, kStatMean);
    EXPECT_EQ(cell->GetText(), mean);
    Bytes want = GridHead(CRect(10, 20, 53, 70), 1, 1, 44, 35, {});
    want.I(kCellStat).Raw(CellRecord(mean)).I(0).I(1).I(kStatMean).I(0);
    EXPECT_EQ(Stored(*grid), want.b);

    // Save, reopen, save: the same bytes, the same rectangle and column
    // width, and a live cell again.
    const std::vector<uint8_t> first = SaveDoc(*doc);
    const std::string path = dir.Write("grid.fld", first);
    CLumitraDoc again;
    QString error;
    ASSERT_TRUE(again.OnOpenDocument(QString::fromStdString(path), &error)) << error.toStdString();
    EXPECT_EQ(SaveDoc(again), first);
    auto* back = dynamic_cast<CGrid*>(again.GetObjectAt(0));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetRect(), grid->GetRect());
    auto* live = dynamic_cast<CStatCell*>(back->GetCell(0, 0));
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->GetStatItem(), again.GetDataShellAt(0)->GetGate(1)->GetStatItem());
}

// Pixels of the cell's inside (its lines left out) that are not its white
// ground: the ink of its text.
int CellInk(const CLumitraDoc& doc, const CGrid& grid, int32_t col, int32_t row) {
    CRect inside = grid.CellRect(col, row);
    inside.DeflateRect(2, 2);
    const QImage image = CPagePainter::RenderArea(doc, inside).convertToFormat(QImage::Format_RGB32);
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ink += image.pixel(x, y) != qRgb(255, 255, 255);
    return ink;
}

TEST_F(GridTest, AReportWhoseDataIsMissingShowsItsStoredValuesKeepsItsRecordAndGetsTheValueBack) {
    VexaDataShell* s = OpenShell();
    ASSERT_NE(s, nullptr);
    const std::vector<uint8_t> fcs = fldtest::FiveParamFcs();
    CGrid* grid = AddGrid(*doc, 10, 20, 1, 2);
    PutStat(grid, 0, 0, s->GetGate(1), kStatMean, 0);
    PutStat(grid, 0, 1, s->GetGate(1), kStatEvents, 0);
    const std::string mean = s->GetGate(1)->GetStatItem()->GetStatText(0, kStatMean);
    const std::string events = s->GetGate(1)->GetStatItem()->GetStatText(0, kStatEvents);
    ASSERT_FALSE(mean.empty());
    const std::string path = dir.Write("report.fld", SaveDoc(*doc));
    const std::vector<uint8_t> first = SaveDoc(*doc);
    for (int32_t col : {0, 1}) EXPECT_GT(CellInk(*doc, *grid, col, 0), 0) << col;

    std::filesystem::remove(dir.File("five.fcs"));
    QString error;
    {
        CLumitraDoc missing;
        ASSERT_TRUE(missing.OnOpenDocument(QString::fromStdString(path), &error)) << error.toStdString();
        auto* back = dynamic_cast<CGrid*>(missing.GetObjectAt(0));
        ASSERT_NE(back, nullptr);
        // The values the report was saved with are shown, on the screen and
        // on paper, and the cells stay bound to their gates.
        for (int32_t col : {0, 1}) {
            auto* cell = dynamic_cast<CStatCell*>(back->GetCell(0, col));
            ASSERT_NE(cell, nullptr) << col;
            // Painted first: the paint computes the grid's values together.
            EXPECT_GT(CellInk(missing, *back, col, 0), 0) << col;
            EXPECT_NE(cell->GetStatItem(), nullptr) << col;
        }
        EXPECT_EQ(back->GetCell(0, 0)->GetText(), mean);
        EXPECT_EQ(back->GetCell(0, 1)->GetText(), events);
        EXPECT_EQ(back->GetCell(0, 0)->GetStoredText(), mean);
        // Saved again while the data is missing, twice: nothing is lost.
        const std::vector<uint8_t> again = SaveDoc(missing);
        EXPECT_EQ(again, first);
        ASSERT_TRUE(missing.OnSaveDocument(QString::fromStdString(path), &error)) << error.toStdString();
        EXPECT_EQ(SaveDoc(missing), first);
    }

    dir.Write("five.fcs", fcs);
    CLumitraDoc found;
    ASSERT_TRUE(found.OnOpenDocument(QString::fromStdString(path), &error)) << error.toStdString();
    auto* back = dynamic_cast<CGrid*>(found.GetObjectAt(0));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetCell(0, 0)->GetText(), mean);
    EXPECT_EQ(back->GetCell(0, 1)->GetText(), events);
    for (int32_t col : {0, 1}) EXPECT_GT(CellInk(found, *back, col, 0), 0) << col;
}

TEST_F(GridTest, OnlyTheLinkedGridsMenuHasDbLinkTicked) {
    CGrid* first = AddGrid(*doc, 10, 20, 1, 1);
    CGrid* second = AddGrid(*doc, 200, 20, 1, 1);
    auto ticked = [](CGrid* grid) {
        std::vector<lm::MenuItem> menu;
        EXPECT_TRUE(grid->BuildContextMenu(&menu, 0, grid->GetRect().TopLeft()));
        EXPECT_FALSE(menu.empty());
        return !menu.empty() && menu[0].text == "DB Link" && menu[0].checked;
    };
    EXPECT_FALSE(ticked(first));
    EXPECT_FALSE(ticked(second));
    doc->SetDbLinkGrid(second);
    EXPECT_FALSE(ticked(first));
    EXPECT_TRUE(ticked(second));
    // Only a grid on the page can be the linked one.
    doc->SetDbLinkGrid(nullptr);
    EXPECT_EQ(doc->GetDbLinkGrid(), nullptr);
    EXPECT_FALSE(ticked(second));
}

TEST_F(GridTest, ReopeningKeepsTheStoredRectangleAndColumnWidth) {
    // Deriving the width again would make this 80 wide.
    Bytes rec = GridHead(CRect(10, 20, 88, 70), 1, 2, 44, 35, {35});
    for (int c = 0; c < 2; ++c) rec.I(kCellPlain).Raw(CellRecord("x"));
    CLumitraDoc d;
    CArchive in(DocWith(rec).b);
    d.Serialize(in);
    auto* grid = dynamic_cast<CGrid*>(d.GetObjectAt(0));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->GetRect(), CRect(10, 20, 88, 70));
    EXPECT_EQ(grid->GetColumnWidth(), 35);
    EXPECT_EQ(Stored(*grid), rec.b);
}

TEST_F(GridTest, HostileRecordsAreRefusedAndLeaveNothing) {
    const CRect r(10, 20, 88, 70);
    auto cells = [](int n, int32_t kind) {
        Bytes b;
        for (int i = 0; i < n; ++i) b.I(kind).Raw(CellRecord(""));
        return b;
    };
    Bytes statCode = CellRecord("");
    statCode.I(0).I(0).I(10).I(0);
    const std::vector<std::pair<const char*, Bytes>> cases{
        {"rows 0", GridHead(r, 0, 2, 44, 35, {35})},
        {"rows 101", GridHead(r, 101, 2, 44, 35, {35}).Raw(cells(202, 0))},
        {"columns 0", GridHead(r, 1, 0, 44, 35, {})},
        {"2 column borders for 2", GridHead(r, 1, 2, 44, 35, {20, 30}).Raw(cells(2, 0))},
        {"border 0", GridHead(r, 1, 2, 44, 35, {0}).Raw(cells(2, 0))},
        {"not between 30", GridHead(r, 1, 3, 44, 35, {30, 30}).Raw(cells(3, 0))},
        {"grid width 72", GridHead(r, 1, 2, 44, 35, {72}).Raw(cells(2, 0))},
        {"column width 0", GridHead(r, 1, 2, 44, 0, {35}).Raw(cells(2, 0))},
        {"cell kind 2", GridHead(r, 1, 2, 44, 35, {35}).Raw(cells(2, 2))},
        {"code 10", GridHead(r, 1, 2, 44, 35, {35}).I(kCellStat).Raw(statCode).Raw(cells(1, 0))},
        {"cut short", GridHead(r, 1, 2, 44, 35, {35}).Raw(cells(1, 0))},
    };
    for (const auto& [what, rec] : cases) {
        SCOPED_TRACE(what);
        CLumitraDoc d;
        try {
            CArchive in(DocWith(rec).b);
            d.Serialize(in);
            ADD_FAILURE() << "read";
        } catch (const CArchiveException& e) {
            const std::string msg = e.what();
            EXPECT_EQ(msg.rfind("Invalid FLD file\n", 0), 0u) << msg;
            if (std::string(what) != "cut short") EXPECT_NE(msg.find(what), std::string::npos) << msg;
        }
        EXPECT_EQ(d.GetObjectCount(), 0);
    }
}

TEST_F(GridTest, AStatisticCellNamingNoGateKeepsItsTextAndIsStoredPlain) {
    Bytes stat = CellRecord("12.50");
    stat.I(3).I(7).I(kStatMean).I(0);  // no data set 3
    Bytes rec = GridHead(CRect(10, 20, 53, 70), 1, 1, 44, 35, {});
    rec.I(kCellStat).Raw(stat);
    CLumitraDoc d;
    CArchive in(DocWith(rec).b);
    d.Serialize(in);
    auto* grid = dynamic_cast<CGrid*>(d.GetObjectAt(0));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->GetCell(0, 0)->GetText(), "12.50");
    Bytes want = GridHead(CRect(10, 20, 53, 70), 1, 1, 44, 35, {});
    want.I(kCellPlain).Raw(CellRecord("12.50"));
    EXPECT_EQ(Stored(*grid), want.b);
}

TEST_F(GridTest, RowsAndColumnsAreFoundWithoutADrawAndNeverOutsideTheGrid) {
    CGrid two(0, 0, doc.get(), 2, 2);  // grid rectangle (3, 3)-(75, 47): rows of 22
    EXPECT_EQ(two.RowHeight(), 22);
    EXPECT_EQ(two.CellRect(1, 1), CRect(3 + 35 + 2, 3 + 22, 75, 3 + 44));
    const struct {
        CPoint local;
        int32_t col, row;
    } hits[] = {
        {{10, 10}, 0, 0},
        {{50, 30}, 1, 1},
        {{35, 10}, 0, -1},  // on the border
        {{10, 43}, 0, 1},
        {{3, 10}, -1, -1},  // the frame
        {{6, 10}, 0, 0},    // the first unit inside it, either way
        {{5, 10}, -1, -1},
        {{10, 6}, 0, 0},
        {{10, 5}, -1, -1},
    };
    for (const auto& h : hits) {
        const GridHit got = two.HitTestCell(h.local);
        EXPECT_EQ(got.col, h.col) << h.local.x << "," << h.local.y;
        EXPECT_EQ(got.row, h.row) << h.local.x << "," << h.local.y;
    }
    // Rows that do not fill the height leave no cell below the last one.
    CGrid three(0, 0, doc.get(), 3, 1);  // height 44: rows of 14
    EXPECT_EQ(three.RowHeight(), 14);
    EXPECT_FALSE(three.HitTestCell(CPoint(10, 43)).IsCell());
    // One column spans the grid and reads no border.
    EXPECT_EQ(three.CellRect(0, 0), CRect(5, 3, 3 + 35 + 2, 17));
    EXPECT_EQ(three.HitTestCell(CPoint(30, 10)).col, 0);
    // More rows than units of height: the grid grows to rows of 1, never 0.
    CGrid many(0, 0, doc.get(), 100, 1);
    EXPECT_EQ(many.RowHeight(), 1);
    EXPECT_EQ(many.GetRect().Height(), 106);
    EXPECT_EQ(many.HitTestCell(CPoint(10, 99)).row, 99);
}

TEST_F(GridTest, BordersDragByTenBothWaysAndStopTwentyFromTheEdge) {
    CGrid* grid = AddGrid(*doc, 100, 100, 1, 3);  // borders 35 and 70 at page x 138 and 173
    d->Click(CPoint(110, 120));
    // On the way the line, two units wide, stands where the mouse is.
    d->Press(CPoint(138, 120));
    d->Move(CPoint(148, 120));
    const CRect g = grid->GetGridRect();
    ASSERT_EQ(view->GetFeedbackRects().size(), 1u);
    EXPECT_EQ(view->GetFeedbackRects()[0], CRect(g.left + 45 - 1, g.top, g.left + 45 + 1, g.bottom));
    d->Release(CPoint(148, 120));
    EXPECT_EQ(grid->GetBorders(), (std::vector<int32_t>{45, 80}));
    EXPECT_EQ(grid->GetRect().Width(), 123);
    EXPECT_TRUE(view->GetFeedbackRects().empty());
    d->Drag(CPoint(148, 120), CPoint(138, 120));
    EXPECT_EQ(grid->GetBorders(), (std::vector<int32_t>{35, 80}));
    EXPECT_EQ(grid->GetRect().Width(), 123);
    // Border 1 to the far left: 20 right of border 0.
    d->Drag(CPoint(183, 120), CPoint(104, 120));
    EXPECT_EQ(grid->GetBorders(), (std::vector<int32_t>{35, 55}));
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(GridTest, CellsDraggedWithinAGridSwapAndIntoAnotherGridCopy) {
    CGrid* a = AddGrid(*doc, 100, 100, 1, 2);  // cells at page x 110 and 160
    CGrid* b = AddGrid(*doc, 300, 100, 1, 2);
    a->SetCellText(0, 0, "left");
    a->SetCellText(0, 1, "right");
    d->Click(CPoint(110, 120));
    d->Drag(CPoint(110, 120), CPoint(160, 120));
    d->Drag(CPoint(160, 120), CPoint(110, 120));  // the moved cell knows its new place
    d->Drag(CPoint(110, 120), CPoint(160, 120));
    for (int32_t c = 0; c < 2; ++c) {
        EXPECT_EQ(a->GetCell(0, c)->GetColumn(), c);
        EXPECT_EQ(a->GetCell(0, c)->GetRow(), 0);
    }
    EXPECT_EQ(a->GetCell(0, 0)->GetText(), "right");
    EXPECT_EQ(a->GetCell(0, 1)->GetText(), "left");
    d->Drag(CPoint(110, 120), CPoint(360, 120));
    EXPECT_EQ(b->GetCell(0, 1)->GetText(), "right");
    EXPECT_EQ(b->GetCell(0, 1)->GetGrid(), b);
    EXPECT_EQ(a->GetCell(0, 0)->GetText(), "right");
    EXPECT_EQ(doc->GetDraggedCell(), nullptr);
}

TEST_F(GridTest, AnyTwoPlacesSwapAndBordersFollowANarrowerGrid) {
    CGrid grid(0, 0, doc.get(), 2, 3);
    const struct {
        int32_t rowA, colA, rowB, colB;
    } swaps[] = {
        {0, 0, 0, 1},  // from the first column
        {0, 2, 0, 0},  // onto it
        {1, 1, 0, 1},  // between rows
        {0, 2, 1, 2},
    };
    for (const auto& s : swaps) {
        grid.SetCellText(s.rowA, s.colA, "a");
        grid.SetCellText(s.rowB, s.colB, "b");
        grid.SwapCells(s.rowA, s.colA, s.rowB, s.colB);
        EXPECT_EQ(grid.GetCell(s.rowA, s.colA)->GetText(), "b") << s.rowA << "," << s.colA;
        EXPECT_EQ(grid.GetCell(s.rowB, s.colB)->GetText(), "a") << s.rowB << "," << s.colB;
        EXPECT_EQ(grid.GetCell(s.rowA, s.colA)->GetColumn(), s.colA);
    }
    // Made narrower than its borders, the grid spreads them inside again.
    ASSERT_EQ(grid.GetBorders(), (std::vector<int32_t>{35, 70}));
    grid.SetRect(CRect(0, 0, 60, 50));
    const int32_t width = grid.GetGridRect().Width();
    ASSERT_EQ(grid.GetBorders().size(), 2u);
    EXPECT_GT(grid.GetBorders()[0], 0);
    EXPECT_GT(grid.GetBorders()[1], grid.GetBorders()[0]);
    EXPECT_LT(grid.GetBorders()[1], width);
}

TEST_F(GridTest, AnEventsCellShowsItsCountWhateverParameterItWasGiven) {
    // A table column of events keeps whatever parameter it was made with.
    VexaDataShell* s = OpenShell();
    ASSERT_NE(s, nullptr);
    CGrid* grid = AddGrid(*doc, 100, 100, 1, 2);
    CGateNode* gate = s->GetGate(1);
    CStatCell* cell = PutStat(grid, 0, 0, gate, kStatEvents, s->GetParamCount() + 3);
    EXPECT_EQ(cell->GetText(), gate->GetStatItem()->GetStatText(0, kStatEvents));
    EXPECT_FALSE(cell->GetText().empty());
}

TEST_F(GridTest, EditCellOpensOnTheCellAndClearLeavesAFreshCell) {
    CGrid* grid = AddGrid(*doc, 100, 100, 1, 2);
    grid->SetCellText(0, 0, "old");
    grid->GetCell(0, 0)->SetFormat(kCellRight);
    grid->SetTextColor(0x0000FF);
    d->Click(CPoint(110, 120));
    // No alignment chosen: the right alignment stays.
    ui.QueueDialog([](QDialog* dlg) {
        auto* edit = dlg->findChild<QLineEdit*>("text");
        auto* align = dlg->findChild<QComboBox*>("align");
        EXPECT_EQ(edit->text(), "old");
        EXPECT_EQ(align->currentIndex(), 2);
        edit->setText("new");
        align->setCurrentIndex(-1);
        static_cast<CCellStrDlg*>(dlg)->UpdateData(true);
        return lm::kDialogAccepted;
    });
    d->DoubleClick(CPoint(110, 120));
    EXPECT_EQ(grid->GetCell(0, 0)->GetText(), "new");
    EXPECT_EQ(grid->GetCell(0, 0)->GetFormat(), uint32_t(kCellRight));
    ui.QueueDialog([](QDialog* dlg) {
        dlg->findChild<QPushButton*>("clear")->click();
        EXPECT_FALSE(dlg->isHidden() && dlg->result() == QDialog::Accepted);
        static_cast<CCellStrDlg*>(dlg)->UpdateData(true);
        return lm::kDialogAccepted;
    });
    d->DoubleClick(CPoint(110, 120));
    CCell* fresh = grid->GetCell(0, 0);
    EXPECT_EQ(fresh->GetText(), "");
    EXPECT_EQ(fresh->GetTextColor(), COLORREF(0x0000FF));
    EXPECT_EQ(fresh->GetFormat(), uint32_t(kCellCentre));
}

TEST_F(GridTest, LooseStatisticCellsGoWithTheirGateOrDataSet) {
    VexaDataShell* s = OpenShell();
    ASSERT_NE(s, nullptr);
    CGateNode* r = s->GetGate(1);
    CGrid* grid = AddGrid(*doc, 100, 100, 1, 3);
    PutStat(grid, 0, 0, r, kStatEvents, 0);
    PutStat(grid, 0, 1, s->GetGate(0), kStatEvents, 0);
    // A parameter the data set lacks shows no number at all (a kept one
    // would be another data set's), but the record keeps its text.
    CStatCell* missing = PutStat(grid, 0, 2, r, kStatMean, 99);
    missing->SetText("kept");
    missing->OnStatChanged();
    EXPECT_EQ(missing->GetText(), "");
    EXPECT_EQ(missing->GetStoredText(), "kept");
    // A copy in a second grid follows the same gate.
    CGrid* other = AddGrid(*doc, 300, 100, 1, 1);
    other->SetCell(0, 0, grid->GetCell(0, 0)->Clone());
    ASSERT_NE(dynamic_cast<CStatCell*>(other->GetCell(0, 0)), nullptr);
    doc->SetDraggedCell(other->GetCell(0, 0));

    s->RemoveGate(r, true);
    for (CCell* c : {grid->GetCell(0, 0), grid->GetCell(0, 2), other->GetCell(0, 0)}) {
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(dynamic_cast<CStatCell*>(c), nullptr);
    }
    EXPECT_EQ(doc->GetDraggedCell(), nullptr);
    EXPECT_NE(dynamic_cast<CStatCell*>(grid->GetCell(0, 1)), nullptr);
    doc->RemoveDataShell(s);
    EXPECT_EQ(dynamic_cast<CStatCell*>(grid->GetCell(0, 1)), nullptr);
    EXPECT_EQ(grid->GetCell(0, 1)->GetColumn(), 1);
}

}  // namespace

namespace {

// What the cell editor does before OK: nothing, a new text, a new alignment,
// "Clear".
enum class CellEdit { Nothing, Text, Align, Clear, Cancel };

}  // namespace

TEST_F(GridTest, OnlyARealChangeToACellMarksTheReportChanged) {
    struct Case {
        const char* name;
        const char* text;  // of the cell before
        CellEdit edit;
        bool modified;
    } cases[] = {
        {"OK on an unchanged cell", "old", CellEdit::Nothing, false},
        {"OK on an unchanged empty cell", "", CellEdit::Nothing, false},
        {"Cancel", "old", CellEdit::Cancel, false},
        {"Clear on a cell that is fresh already", "", CellEdit::Clear, false},
        {"Clear on a cell with text", "old", CellEdit::Clear, true},
        {"a new text", "old", CellEdit::Text, true},
        {"a new alignment", "old", CellEdit::Align, true},
    };
    for (const Case& c : cases) {
        CGrid* grid = AddGrid(*doc, 100, 100, 1, 2);
        grid->SetCellText(0, 0, c.text);
        d->Click(CPoint(110, 120));
        doc->SetModifiedFlag(false);
        // A plain click on a cell changes nothing.
        d->Click(CPoint(110, 120));
        EXPECT_FALSE(doc->IsModified()) << c.name << ": the click";
        const CellEdit edit = c.edit;
        ui.QueueDialog([edit](QDialog* dlg) {
            auto* cell = static_cast<CCellStrDlg*>(dlg);
            if (edit == CellEdit::Text) dlg->findChild<QLineEdit*>("text")->setText("new");
            if (edit == CellEdit::Align) dlg->findChild<QComboBox*>("align")->setCurrentIndex(0);
            if (edit == CellEdit::Clear) dlg->findChild<QPushButton*>("clear")->click();
            cell->UpdateData(true);
            return edit == CellEdit::Cancel ? lm::kDialogRejected : lm::kDialogAccepted;
        });
        d->DoubleClick(CPoint(110, 120));
        EXPECT_EQ(doc->IsModified(), c.modified) << c.name;
        doc->RemoveObject(grid, false);
    }
}

TEST_F(GridTest, TheFontCommandsOfGridAndTableChangeAndMarkOnlyWhatTheChoiceChanges) {
    LOGFONT bigger = CTrkObj::DefaultFont();
    bigger.lfHeight = -24;
    struct Case {
        const char* name;
        bool table;
        std::optional<LOGFONT> chosen;  // none: Cancel
        bool modified;
    } cases[] = {
        {"grid, a new font", false, bigger, true},
        {"grid, OK on its own font", false, CTrkObj::DefaultFont(), false},
        {"grid, Cancel", false, std::nullopt, false},
        {"table, a new font", true, bigger, true},
        {"table, OK on its own font", true, CTrkObj::DefaultFont(), false},
    };
    for (const Case& c : cases) {
        CTrkObj* obj = c.table ? doc->AddObject(std::make_unique<CTrkResult>(100, 100, nullptr, doc.get()))
                               : AddGrid(*doc, 100, 100, 2, 2);
        obj->SetFont(CTrkObj::DefaultFont());
        doc->SetModifiedFlag(false);
        ui.Clear();
        ui.QueueFont(c.chosen);
        EXPECT_TRUE(obj->OnContextCommand(kCtxFont, 0)) << c.name;
        EXPECT_EQ(ui.Count(lm::ScriptedUiServices::Kind::Font), 1) << c.name;
        EXPECT_EQ(doc->IsModified(), c.modified) << c.name;
        if (c.chosen) {
            EXPECT_EQ(obj->GetFont(), *c.chosen) << c.name;
        }
        if (auto* grid = dynamic_cast<CGrid*>(obj); grid && !c.table) {
            for (int32_t r = 0; r < 2; ++r)
                for (int32_t col = 0; col < 2; ++col)
                    EXPECT_EQ(grid->GetCell(r, col)->GetFont(), obj->GetFont()) << c.name;
        }
        doc->RemoveObject(obj, false);
    }
}

TEST_F(GridTest, ANewGridsCellsShowAStatisticValueWholeAndItsRecordReopens) {
    const QFontMetrics fm(lm::ToQFont(CTrkObj::DefaultFont()));
    for (auto [rows, cols] : {std::pair{1, 1}, {1, 2}, {3, 4}, {100, 100}}) {
        CTrkObj* made = view->NewGridAt(20, 30, rows, cols);
        auto* grid = dynamic_cast<CGrid*>(made);
        ASSERT_NE(grid, nullptr);
        for (int32_t c = 0; c < cols; ++c) {
            const CRect cell = grid->CellRect(c, rows - 1);
            for (const char* value : {"10000000", "-262144.00", "100.00"})
                EXPECT_GT(cell.Width(), fm.horizontalAdvance(QLatin1String(value))) << rows << "x" << cols << " " << value;
            EXPECT_GE(cell.Height(), fm.height()) << rows << "x" << cols;
            EXPECT_LE(cell.bottom, grid->GetGridRect().bottom);
        }
        // Written, read, written: the same bytes (the reader takes the widths
        // and borders the fitting gave).
        const std::vector<uint8_t> bytes = Stored(*grid);
        CArchive in(bytes);
        CGrid back(doc.get());
        ASSERT_NO_THROW(back.Load(in)) << rows << "x" << cols;
        EXPECT_EQ(Stored(back), bytes);
        EXPECT_EQ(back.GetColumnWidth(), grid->GetColumnWidth());
        doc->RemoveObject(made, false);
    }
}

TEST_F(GridTest, AMenuRequestOutsideAGridOrTableIsNotTaken) {
    CTrkObj* grid = AddGrid(*doc, 100, 100, 1, 2);
    CTrkObj* table = doc->AddObject(std::make_unique<CTrkResult>(300, 100, nullptr, doc.get()));
    for (CTrkObj* obj : {grid, table}) {
        const CRect r = obj->GetRect();
        for (CPoint at : {CPoint(r.left - 1, r.top), CPoint(r.right, r.top), CPoint(r.left, r.bottom)}) {
            std::vector<lm::MenuItem> menu;
            EXPECT_FALSE(obj->BuildContextMenu(&menu, 0, at)) << obj->GetType() << " at " << at.x << "," << at.y;
            EXPECT_TRUE(menu.empty());
        }
        std::vector<lm::MenuItem> inside;
        EXPECT_TRUE(obj->BuildContextMenu(&inside, 0, r.TopLeft()));
        EXPECT_FALSE(inside.empty());
    }
}

TEST_F(GridTest, StatisticCodesAtTheEndsOfTheirRangeLoadAndTheOnesPastAreRefused) {
    for (auto [code, ok] : {std::pair<int32_t, bool>{kStatEvents, true}, {kStatCV, true}, {-1, false}, {kStatCodeCount, false}}) {
        Bytes stat = CellRecord("7");
        stat.I(3).I(7).I(code).I(0);  // no data set 3: the text stays
        Bytes rec = GridHead(CRect(10, 20, 53, 70), 1, 1, 44, 35, {});
        rec.I(kCellStat).Raw(stat);
        CLumitraDoc d;
        CArchive in(DocWith(rec).b);
        if (!ok) {
            EXPECT_THROW(d.Serialize(in), CArchiveException) << code;
            continue;
        }
        ASSERT_NO_THROW(d.Serialize(in)) << code;
        auto* grid = dynamic_cast<CGrid*>(d.GetObjectAt(0));
        ASSERT_NE(grid, nullptr);
        auto* cell = dynamic_cast<CStatCell*>(grid->GetCell(0, 0));
        ASSERT_NE(cell, nullptr) << code;
        EXPECT_EQ(cell->GetCode(), code);
        EXPECT_EQ(cell->GetText(), "7");
    }
}

TEST_F(GridTest, PlacesOutsideTheGridAreNeverTouched) {
    CGrid grid(0, 0, doc.get(), 2, 3);
    for (int32_t r = 0; r < 2; ++r)
        for (int32_t c = 0; c < 3; ++c) grid.SetCellText(r, c, std::to_string(r) + std::to_string(c));
    // Each is outside on one index only.
    const CPoint outside[] = {{-1, 0}, {0, -1}, {2, 0}, {0, 3}, {-1, 2}, {1, -1}};
    for (CPoint p : outside) {
        const int32_t row = p.x, col = p.y;
        EXPECT_EQ(grid.GetCell(row, col), nullptr) << row << "," << col;
        grid.SetCell(row, col, std::make_unique<CCell>());
        grid.SetCellText(row, col, "x");
        grid.ResetCell(col, row, true);
        grid.SwapCells(row, col, 0, 0);
    }
    for (int32_t r = 0; r < 2; ++r)
        for (int32_t c = 0; c < 3; ++c) {
            ASSERT_NE(grid.GetCell(r, c), nullptr);
            EXPECT_EQ(grid.GetCell(r, c)->GetText(), std::to_string(r) + std::to_string(c));
        }
}
