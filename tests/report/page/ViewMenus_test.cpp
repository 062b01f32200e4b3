// The page menu's commands reached as a user reaches them: a right click on
// empty page, the item chosen, the dialog it opens answered.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>

#include <functional>
#include <optional>

#include "base/Archive.h"
#include "platform/FontDialog.h"
#include "report/page/Cell.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "report/page/ResultTable.h"
#include "tests/report/PlotTestUtil.h"
#include "report/page/LumitraView.h"
#include "report/page/TrkKinds.h"
#include "report/plot/PlotIds.h"
#include "tests/report/ViewEvents.h"
#include "tests/report/ViewTestUtil.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

int PdfPageCount(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(f.readAll());
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![A-Za-z])"));
    int n = 0;
    for (auto it = page.globalMatch(text); it.hasNext(); it.next()) ++n;
    return n;
}

// Whether obj covers another object of the page.
bool CoversAnother(const CLumitraDoc& doc, const CTrkObj* obj) {
    for (const auto& o : doc.GetObjects()) {
        CRect meet;
        if (o.get() != obj && meet.IntersectRect(o->GetRect(), obj->GetRect())) return true;
    }
    return false;
}

class ViewMenusTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(800, 600); }
    // "Grid..." at a page point, the dialog answered with rows x cols.
    CTrkObj* GridAt(CPoint page, const char* rows, const char* cols) {
        ui.QueueMenuChoice(kPageCmdNewGrid);
        ui.QueueDialog([=](QDialog* dialog) {
            dialog->findChild<QLineEdit*>("rows")->setText(rows);
            dialog->findChild<QLineEdit*>("cols")->setText(cols);
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            return dialog->result() == QDialog::Accepted ? lm::kDialogAccepted : lm::kDialogRejected;
        });
        const int32_t before = doc->GetObjectCount();
        d->RightClick(page);
        return doc->GetObjectCount() == before + 1 ? doc->GetActiveObject() : nullptr;
    }
};

TEST_F(ViewMenusTest, GridIsMadeAtThePointRightClickedAtAnyZoomAndScroll) {
    // zoom, scroll, point clicked
    const struct {
        float zoom;
        QPoint scroll;
        CPoint at;
    } cases[] = {
        {1.0f, {0, 0}, {300, 350}},
        {2.0f, {100, 200}, {300, 350}},   // the click converts through zoom and scroll
        {0.5f, {0, 0}, {700, 1600}},      // far down the second page
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(view->SetZoom(c.zoom));
        d->ScrollTo(c.scroll.x(), c.scroll.y());
        doc->SetModifiedFlag(false);
        CTrkObj* grid = GridAt(c.at, "2", "3");
        ASSERT_NE(grid, nullptr) << c.zoom;
        EXPECT_EQ(grid->GetType(), kObjGrid);
        EXPECT_EQ(CPoint(grid->GetRect().left, grid->GetRect().top), c.at) << c.zoom;
        EXPECT_TRUE(doc->IsModified());
        doc->RemoveObject(grid, true);
    }
}

// Every command on the page marks the report when it changes what is saved,
// and leaves it clean when it changes nothing.
TEST_F(ViewMenusTest, EachCommandMarksTheReportOnlyWhenItChangesWhatIsSaved) {
    VexaDataShell* shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
    auto* table =
        static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(20, 20, 320, 40, shell, doc.get())));
    table->SetRectAndRebuild(20, 20, 320, 40);
    CTrkObj* grid = view->NewGridAt(400, 20, 2, 3);
    ASSERT_NE(grid, nullptr);
    doc->SetPilot(CPoint(600, 600));
    auto* g = static_cast<CGrid*>(grid);
    // Points on the table: its inside, its first column border.
    const CPoint inTable(table->GetRect().left + 200, table->GetRect().top + 10);
    const CPoint tableBorder(table->GetRect().left + 3 + table->GetBorders()[0], table->GetRect().top + 3 + 60);
    const CPoint gridBorder(g->GetGridRect().left + g->GetBorders()[0], g->GetGridRect().top + 12);
    const CPoint inGrid(g->GetGridRect().left + 20, g->GetGridRect().top + 12);
    LOGFONT bigger = table->GetFont();
    bigger.lfHeight -= 6;

    const struct {
        const char* command;
        std::function<void()> run;
        bool marks;
    } cases[] = {
        {"Set Pilot where it is", [&] { ui.QueueMenuChoice(kPageCmdSetPilot); d->RightClick(CPoint(600, 600)); }, false},
        {"Set Pilot elsewhere", [&] { ui.QueueMenuChoice(kPageCmdSetPilot); d->RightClick(CPoint(700, 650)); }, true},
        {"Save As Jpg, cancelled", [&] {
             ui.QueueMenuChoice(kPageCmdSaveJpg);
             ui.QueueFileNames({});
             d->RightClick(CPoint(700, 650));
         }, false},
        {"Text Box", [&] { ui.QueueMenuChoice(kPageCmdTextBox); d->RightClick(CPoint(700, 900)); }, true},
        {"click on empty page", [&] { d->Click(CPoint(900, 1200)); }, false},
        {"Tree", [&] { ui.QueueMenuChoice(kCtxTree); d->RightClick(inTable); }, true},
        {"Copy of the table", [&] { ui.QueueMenuChoice(kCtxCopy); d->RightClick(inTable); }, false},
        {"Font, same font", [&] { ui.QueueMenuChoice(kCtxFont); ui.QueueFont(table->GetFont()); d->RightClick(inTable); }, false},
        {"Font, cancelled", [&] { ui.QueueMenuChoice(kCtxFont); ui.QueueFont(std::nullopt); d->RightClick(inTable); }, false},
        {"Font, bigger", [&] { ui.QueueMenuChoice(kCtxFont); ui.QueueFont(bigger); d->RightClick(inTable); }, true},
        {"table border pressed and let go", [&] { d->Click(inTable); d->Click(tableBorder); }, false},
        {"table border dragged", [&] { d->Click(inTable); d->Drag(tableBorder, CPoint(tableBorder.x + 30, tableBorder.y)); }, true},
        {"click on the table", [&] { d->Click(inTable); }, false},
        {"grid border pressed and let go", [&] { d->Click(inGrid); d->Click(gridBorder); }, false},
        {"grid border dragged", [&] { d->Click(inGrid); d->Drag(gridBorder, CPoint(gridBorder.x + 15, gridBorder.y)); }, true},
        {"DB Link", [&] { ui.QueueMenuChoice(kCtxDbLink); d->RightClick(inGrid); }, true},
        {"Delete Item", [&] { ui.QueueMenuChoice(kCtxDeleteItem); d->RightClick(inGrid); }, true},
    };
    for (const auto& c : cases) {
        doc->SetModifiedFlag(false);
        c.run();
        EXPECT_EQ(doc->IsModified(), c.marks) << c.command;
    }
    EXPECT_EQ(doc->GetObjectIndex(grid), -1);
}

// The real font dialog behind each "Font" of the page: OK with nothing
// touched leaves the stored font and the report as they were (the face of a
// Windows report, missing here, included); a colour chosen there becomes
// the text colour, which is drawn and saved.
TEST_F(ViewMenusTest, TheFontDialogUntouchedChangesNothingAndItsColourReachesTableGridAndCell) {
    VexaDataShell* shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
    auto* table =
        static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(20, 20, 320, 40, shell, doc.get())));
    table->SetRectAndRebuild(20, 20, 320, 40);
    auto* grid = static_cast<CGrid*>(view->NewGridAt(400, 20, 2, 3));
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(table->GetFont().lfFaceName, "宋体");
    ASSERT_EQ(grid->GetFont().lfFaceName, "宋体");
    const CPoint inTable(table->GetRect().left + 200, table->GetRect().top + 10);
    const CPoint inGrid(grid->GetGridRect().left + 20, grid->GetGridRect().top + 12);
    auto untouched = [](QDialog*) { return int32_t(lm::kDialogAccepted); };
    auto coloured = [this](COLORREF colour) {
        return [this, colour](QDialog* d) {
            ui.QueueColor(colour);
            if (auto* b = static_cast<lm::FontDialog*>(d)->ColorButton()) b->click();
            return int32_t(lm::kDialogAccepted);
        };
    };
    // Edit Cell: its "Font" button, then OK.
    auto editCell = [&](std::function<int32_t(QDialog*)> use) {
        ui.QueueDialog([&, use](QDialog* dialog) {
            ui.QueueFontDialog(use);
            dialog->findChild<QPushButton*>("font")->click();
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            return dialog->result() == QDialog::Accepted ? lm::kDialogAccepted : lm::kDialogRejected;
        });
        d->DoubleClick(inGrid);
    };
    const LOGFONT tableFont = table->GetFont(), gridFont = grid->GetFont();
    const LOGFONT cellFont = grid->GetCell(0, 0)->GetFont();
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255), green = RGB(0, 160, 0);

    const struct {
        const char* what;
        std::function<void(std::function<int32_t(QDialog*)>)> font;
        COLORREF chosen;
        std::function<COLORREF()> colour;
        std::function<LOGFONT()> current;
        LOGFONT stored;
    } callers[] = {
        {"result table",
         [&](auto use) { ui.QueueMenuChoice(kCtxFont); ui.QueueFontDialog(use); d->RightClick(inTable); }, red,
         [&] { return table->GetTextColor(); }, [&] { return table->GetFont(); }, tableFont},
        {"Edit Cell", editCell, blue, [&] { return grid->GetCell(0, 0)->GetTextColor(); },
         [&] { return grid->GetCell(0, 0)->GetFont(); }, cellFont},
        // The grid's colour goes to every cell.
        {"grid",
         [&](auto use) { ui.QueueMenuChoice(kCtxFont); ui.QueueFontDialog(use); d->RightClick(inGrid); }, green,
         [&] { return grid->GetCell(1, 2)->GetTextColor(); }, [&] { return grid->GetFont(); }, gridFont},
    };
    for (const auto& c : callers) {
        SCOPED_TRACE(c.what);
        doc->SetModifiedFlag(false);
        const COLORREF before = c.colour();
        c.font(untouched);
        EXPECT_EQ(c.current(), c.stored);
        EXPECT_EQ(c.colour(), before);
        EXPECT_FALSE(doc->IsModified());
        c.font(coloured(c.chosen));
        EXPECT_EQ(c.colour(), c.chosen);
        EXPECT_EQ(c.current(), c.stored);
        EXPECT_TRUE(doc->IsModified());
    }
    EXPECT_EQ(grid->GetCell(0, 0)->GetTextColor(), green);
    EXPECT_TRUE(ui.AllAnswersUsed());
    EXPECT_EQ(ui.Count(Kind::Font), 6);

    // Saved and read back: the colours stay.
    CArchive ar;
    doc->Serialize(ar);
    CLumitraDoc back;
    CArchive in(ar.Bytes());
    back.Serialize(in);
    CTrkResult* table2 = nullptr;
    CGrid* grid2 = nullptr;
    for (int32_t i = 0; i < back.GetObjectCount(); ++i) {
        if (auto* t = dynamic_cast<CTrkResult*>(back.GetObjectAt(i))) table2 = t;
        if (auto* g = dynamic_cast<CGrid*>(back.GetObjectAt(i))) grid2 = g;
    }
    ASSERT_NE(table2, nullptr);
    ASSERT_NE(grid2, nullptr);
    EXPECT_EQ(table2->GetTextColor(), red);
    EXPECT_EQ(grid2->GetTextColor(), green);
    EXPECT_EQ(grid2->GetCell(0, 0)->GetTextColor(), green);
    EXPECT_EQ(grid2->GetCell(1, 2)->GetTextColor(), green);
}

// A full first page: a table on the left, plots to the right. New objects
// asked for on it take the nearest free place, the view scrolls them into
// sight, and the pages they added go again with them.
TEST_F(ViewMenusTest, NewObjectsOnAFullPageTakeAFreePlaceInSightAndThePagesShrinkBackAfterThem) {
    vtest::AddFill(*doc, CRect(5, 5, 600, 700), vtest::kBlue);
    vtest::AddFill(*doc, CRect(605, 5, 1019, 300), vtest::kRed);
    vtest::AddFill(*doc, CRect(605, 305, 1019, 700), vtest::kGreen);
    lmtest::TempDir dir;
    auto inSight = [&](const CTrkObj* obj) {
        const CRect c = view->LogicalRectToClient(obj->GetRect());
        const QRect vp = view->viewport()->rect();
        // Whole when it fits, else from its top-left corner on.
        return c.left >= 0 && c.top >= 0 && (c.right <= vp.width() || c.Width() > vp.width()) &&
               (c.bottom <= vp.height() || c.Height() > vp.height()) && c.left < vp.width() && c.top < vp.height();
    };

    // "Grid..." near the right edge, on the plots: not over the table at the
    // left edge, nor off the page.
    CTrkObj* grid = GridAt(CPoint(1021, 250), "2", "3");
    ASSERT_NE(grid, nullptr);
    EXPECT_FALSE(CoversAnother(*doc, grid));
    EXPECT_LE(grid->GetRect().right, doc->GetCanvasSize().cx);
    EXPECT_EQ(grid->GetRect().top, 700 + kPilotGap) << "just below the plots, the nearest way out";
    EXPECT_TRUE(inSight(grid));
    EXPECT_EQ(doc->GetPagesDown(), 2);

    // A 100 x 100 grid at (602, 597): wider than the page, it starts at the
    // left edge at the height asked for (below what it would cover), not
    // pages further down; the pages grow to hold it.
    d->ScrollTo(0, 0);
    CTrkObj* big = GridAt(CPoint(602, 597), "100", "100");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->GetRect().left, 0);
    EXPECT_LT(big->GetRect().top, 1414);
    EXPECT_FALSE(CoversAnother(*doc, big));
    EXPECT_TRUE(inSight(big));
    const int32_t grown = doc->GetPagesDown();
    EXPECT_GT(grown, 2);
    EXPECT_EQ(grown, (big->GetRect().bottom + 1413) / 1414);

    // Deleted: the report is two pages again, on the screen and on paper.
    ui.QueueMenuChoice(kCtxDeleteItem);
    d->RightClick(CPoint(big->GetRect().left + 20, big->GetRect().top + 20));
    ASSERT_EQ(doc->GetObjectIndex(big), -1);
    EXPECT_EQ(doc->GetPagesDown(), 2);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), int(2 * 1414 * view->GetZoom()) - view->viewport()->height());
    const std::string pdf = dir.File("after.pdf");
    ui.QueueMenuChoice(kPageCmdPdf);
    ui.QueueFileNames({QString::fromStdString(pdf)});
    d->ScrollTo(0, 0);
    d->RightClick(CPoint(300, 1000));
    EXPECT_EQ(PdfPageCount(pdf), 2);

    // Pages the user chose stay when the objects need fewer.
    doc->SetPageCount(1, 4);
    doc->RemoveObject(grid, true);
    EXPECT_EQ(doc->GetPagesDown(), 4);
}

}  // namespace
