#include "report/page/LumitraDoc.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "tests/support/ui/ScriptedUiServices.h"
#include "report/plot/PlotDefaults.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/support/Corpus.h"
#include "tests/support/FcsWriter.h"

namespace {

using rtest::ShellObj;
using rtest::TestObj;
using Kind = lm::ScriptedUiServices::Kind;

TestObj* Add(CLumitraDoc& doc, const CRect& r, int32_t type = kObjText) {
    return static_cast<TestObj*>(doc.AddObject(std::make_unique<TestObj>(r, &doc, type)));
}

// ------------------------------------------------------------ path and title

TEST(LumitraDocTitle, TheTitleIsTheFileNameAfterEitherSeparator) {
    // path, title
    const char* const cases[][2] = {
        {"/data/reports/week.fld", "week.fld"},
        {"C:\\reports\\week.fld", "week.fld"},  // named by the Windows program
        {"week.fld", "week.fld"},
        {"/data/reports/", ""},
    };
    for (const auto& c : cases) {
        CLumitraDoc doc;
        doc.SetPathName(QString::fromUtf8(c[0]));
        EXPECT_EQ(doc.GetTitle(), QString::fromUtf8(c[1])) << c[0];
        EXPECT_EQ(doc.GetPathName(), QString::fromUtf8(c[0]));
    }
}

// ------------------------------------------------------------ dirty lists

TEST(LumitraDocDirty, RectanglesAndObjectsAreListedOnce) {
    CLumitraDoc doc;
    doc.AddDirtyRect(CRect(1, 2, 3, 4));
    doc.AddDirtyRect(CRect(1, 2, 3, 4));
    doc.AddDirtyRect(CRect(1, 2, 3, 5));
    EXPECT_EQ(doc.GetDirtyRects().size(), 2u);
    TestObj a(CRect(0, 0, 10, 10), &doc), b(CRect(0, 0, 10, 10), &doc);
    EXPECT_EQ(doc.InvalidateObject(&a), 0);
    EXPECT_EQ(doc.InvalidateObject(&b), 1);
    EXPECT_EQ(doc.InvalidateObject(&a), 0);
    EXPECT_EQ(doc.InvalidateObject(nullptr), -1);
    EXPECT_EQ(doc.GetDirtyObjects().size(), 2u);
    doc.RedrawActiveObject();  // empties the rectangles only
    EXPECT_TRUE(doc.GetDirtyRects().empty());
    EXPECT_EQ(doc.GetDirtyObjects().size(), 2u);
    doc.AddDirtyRect(CRect(0, 0, 1, 1));
    doc.RedrawDirty();
    EXPECT_TRUE(doc.GetDirtyRects().empty());
    EXPECT_TRUE(doc.GetDirtyObjects().empty());
}

// -------------------------------------------------------------- selection

TEST(LumitraDocSelection, ActivatingTheActiveObjectAgainDoesNothing) {
    CLumitraDoc doc;
    TestObj* a = Add(doc, CRect(5, 5, 50, 50));
    doc.RedrawDirty();
    doc.SetActiveObject(a);
    EXPECT_EQ(a->activated, 1);
    doc.RedrawDirty();
    doc.SetActiveObject(a);
    EXPECT_EQ(a->activated, 1);
    EXPECT_EQ(a->deactivated, 0);
    EXPECT_TRUE(doc.GetDirtyRects().empty());
    EXPECT_TRUE(doc.GetDirtyObjects().empty());
}

TEST(LumitraDocSelection, ActivationStacksOnTopAndDeactivatesTheOldOne) {
    CLumitraDoc doc;
    TestObj* a = Add(doc, CRect(5, 5, 50, 50));
    TestObj* b = Add(doc, CRect(60, 5, 90, 50));
    TestObj* c = Add(doc, CRect(100, 5, 150, 50));
    doc.RedrawDirty();
    doc.SetActiveObject(a);
    EXPECT_EQ(doc.GetObjectIndex(a), 2);  // drawn last
    EXPECT_EQ(doc.GetObjectIndex(b), 0);
    EXPECT_EQ(doc.GetDirtyObjects(), std::vector<CTrkObj*>{a});
    doc.RedrawDirty();

    doc.SetActiveObject(c);
    EXPECT_EQ(a->deactivated, 1);
    EXPECT_EQ(c->activated, 1);
    EXPECT_EQ(doc.GetDirtyObjects(), (std::vector<CTrkObj*>{a, c}));
    doc.RedrawDirty();

    doc.SetActiveObject(nullptr);
    EXPECT_EQ(c->deactivated, 1);
    EXPECT_EQ(doc.GetDirtyRects(), std::vector<CRect>{c->GetRect()});
    EXPECT_EQ(doc.GetActiveObject(), nullptr);

    // An object of another document is refused.
    CLumitraDoc other;
    TestObj foreign(CRect(0, 0, 5, 5), &other);
    doc.SetActiveObject(&foreign);
    EXPECT_EQ(doc.GetActiveObject(), nullptr);
}

TEST(LumitraDocSelection, ToggleMovesTheActiveObjectIntoTheSelection) {
    CLumitraDoc doc;
    TestObj* a = Add(doc, CRect(5, 5, 50, 50));
    TestObj* b = Add(doc, CRect(60, 5, 90, 50));
    doc.SetActiveObject(a);
    doc.ToggleSelection(b);
    EXPECT_EQ(doc.GetActiveObject(), nullptr);
    EXPECT_EQ(doc.GetSelection(), (std::vector<CTrkObj*>{a, b}));
    EXPECT_EQ(a->deactivated, 1);
    EXPECT_EQ(a->addedToSelection, 1);
    EXPECT_EQ(b->addedToSelection, 1);
    doc.ToggleSelection(a);  // already in: leaves
    EXPECT_EQ(doc.GetSelection(), std::vector<CTrkObj*>{b});
    EXPECT_EQ(a->deactivated, 2);
    doc.AddToSelection(b);   // no duplicates
    EXPECT_EQ(doc.GetSelection().size(), 1u);
    doc.ClearSelection();
    EXPECT_TRUE(doc.GetSelection().empty());
    EXPECT_EQ(b->deactivated, 1);
    // Activating an object ends the multi-selection.
    doc.AddToSelection(a);
    doc.SetActiveObject(b);
    EXPECT_TRUE(doc.GetSelection().empty());
}

// Only a grid that is on this page can be the linked one; anything else
// leaves no link (never a pointer to an object the page does not own).
TEST(LumitraDocSelection, OnlyAGridOnThePageBecomesTheLinkedGrid) {
    CLumitraDoc doc, other;
    TestObj* text = Add(doc, CRect(5, 5, 50, 50), kObjText);
    TestObj* grid = Add(doc, CRect(60, 5, 90, 50), kObjGrid);
    TestObj* elsewhere = Add(other, CRect(5, 5, 50, 50), kObjGrid);
    TestObj loose(CRect(5, 5, 50, 50), &doc, kObjGrid);
    const struct {
        CTrkObj* asked;
        CTrkObj* linked;
    } cases[] = {{grid, grid}, {text, nullptr}, {elsewhere, nullptr}, {&loose, nullptr}, {nullptr, nullptr}};
    for (const auto& c : cases) {
        doc.SetDbLinkGrid(grid);
        doc.SetDbLinkGrid(c.asked);
        EXPECT_EQ(doc.GetDbLinkGrid(), c.linked) << (c.asked ? c.asked->GetType() : -1);
    }
}

TEST(LumitraDocSelection, RemovingAnObjectDropsEveryPointerToIt) {
    CLumitraDoc doc;
    int destroyed = 0;
    TestObj* grid = Add(doc, CRect(5, 5, 50, 50), kObjGrid);
    grid->destroyed = &destroyed;
    TestObj* other = Add(doc, CRect(60, 5, 90, 50));
    doc.SetDbLinkGrid(grid);
    EXPECT_EQ(doc.GetDbLinkGrid(), grid);
    doc.SetActiveObject(grid);
    doc.AddToSelection(grid);
    doc.AddToSelection(other);
    doc.InvalidateObject(grid);
    ASSERT_NE(std::find(doc.GetDirtyObjects().begin(), doc.GetDirtyObjects().end(), grid),
              doc.GetDirtyObjects().end());

    const CRect place = grid->GetRect();
    doc.RemoveObject(grid, false);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(doc.GetActiveObject(), nullptr);
    EXPECT_EQ(doc.GetDbLinkGrid(), nullptr);
    EXPECT_EQ(doc.GetSelection(), std::vector<CTrkObj*>{other});
    EXPECT_EQ(std::find(doc.GetDirtyObjects().begin(), doc.GetDirtyObjects().end(), grid),
              doc.GetDirtyObjects().end());
    EXPECT_NE(std::find(doc.GetDirtyRects().begin(), doc.GetDirtyRects().end(), place), doc.GetDirtyRects().end());
    EXPECT_EQ(doc.GetObjectCount(), 1);
    // The lists are walked after the removal: nothing freed is reached.
    doc.RedrawDirty();
    doc.ClearSelection();
    EXPECT_EQ(other->deactivated, 1);

    // Removing what the document does not hold changes nothing.
    TestObj loose(CRect(0, 0, 5, 5), &doc);
    doc.RemoveObject(&loose, true);
    EXPECT_EQ(doc.GetObjectCount(), 1);
}

// -------------------------------------------------------------- placement

TEST(LumitraDocPlacement, NewDocumentHasTwoPagesAndThePilotAtFiveFive) {
    CLumitraDoc doc;
    EXPECT_EQ(doc.GetCanvasSize(), CSize(1024, 2 * 1414));
    EXPECT_EQ(doc.GetPilot(), CPoint(5, 5));
    EXPECT_EQ(doc.GetRowBottom(), 0);
    EXPECT_EQ(doc.PointToPage(1023, 1413), CPoint(0, 0));
    EXPECT_EQ(doc.PointToPage(1024, 1414), CPoint(1, 1));
    doc.SetPageCount(0, 100000);
    EXPECT_EQ(doc.GetPagesAcross(), 1);
    EXPECT_EQ(doc.GetPagesDown(), kMaxPagesDown);
}

TEST(LumitraDocPlacement, ObjectsFlowInReadingOrderAndWrapAtTheRightEdge) {
    CLumitraDoc doc;
    // Four 250-wide plots from the left: the fifth would pass 1024.
    std::vector<CRect> placed;
    for (int i = 0; i < 5; ++i) {
        CRect r(doc.GetPilot(), CSize(250, 200 + i));
        const bool moved = doc.PlaceNewObject(r, false);
        EXPECT_EQ(moved, i == 4) << i;
        placed.push_back(r);
    }
    EXPECT_EQ(placed[0], CRect(5, 5, 255, 205));
    EXPECT_EQ(placed[1].left, 258);  // right + 3
    EXPECT_EQ(placed[3], CRect(764, 5, 1014, 208));
    // The row's lowest bottom is 209; the new row starts 3 below it.
    EXPECT_EQ(placed[4], CRect(5, 212, 255, 416));
    EXPECT_EQ(doc.GetPilot(), CPoint(258, 212));
    EXPECT_EQ(doc.GetRowBottom(), 416);
    EXPECT_EQ(doc.GetPagesDown(), 2);

    // A shorter object in the new row still starts the next row below the
    // tall one: rows never overlap.
    CRect r(doc.GetPilot(), CSize(100, 100));
    EXPECT_TRUE(doc.PlaceNewObject(r, true));
    EXPECT_EQ(r, CRect(5, 419, 105, 519));
}

TEST(LumitraDocPlacement, ThePlacementRowStartsAtTheTop) {
    // A first object that has to wrap goes below a row bottom of 0.
    CLumitraDoc doc;
    doc.SetPilot(CPoint(900, 5));
    CRect r(900, 5, 1150, 255);
    EXPECT_TRUE(doc.PlaceNewObject(r, false));
    EXPECT_EQ(r, CRect(5, 258, 255, 508));
}

TEST(LumitraDocPlacement, PassingTheCanvasBottomAddsOnePageRow) {
    CLumitraDoc doc;
    CRect r(5, 2800, 255, 3050);
    doc.PlaceNewObject(r, false);
    EXPECT_EQ(doc.GetPagesDown(), 3);
    // Exactly on the bottom adds nothing.
    CLumitraDoc doc2;
    CRect exact(5, 2700, 255, 2828);
    doc2.PlaceNewObject(exact, false);
    EXPECT_EQ(doc2.GetPagesDown(), 2);
    // Far below: as many rows as needed, within the limit.
    CLumitraDoc doc3;
    CRect far(5, 7000, 255, 7100);
    doc3.PlaceNewObject(far, false);
    EXPECT_EQ(doc3.GetPagesDown(), 6);
    CRect absurd(5, 2000000000, 255, 2000000100);
    doc3.PlaceNewObject(absurd, false);
    EXPECT_EQ(doc3.GetPagesDown(), kMaxPagesDown);
}

TEST(LumitraDocPlacement, AddedObjectsAreFittedAndMoveThePilot) {
    CLumitraDoc doc;
    TestObj* a = Add(doc, CRect(5, 5, 255, 255));
    EXPECT_EQ(doc.GetPilot(), CPoint(260, 5));
    // Its right edge passes the canvas: fitted, it goes to the nearest place
    // inside, at its own height (not to the left below itself, over
    // whatever lies there).
    TestObj* b = Add(doc, CRect(900, 100, 1150, 350));
    EXPECT_TRUE(doc.FitObjectInPages(b));
    EXPECT_EQ(b->GetRect(), CRect(774, 100, 1024, 350));
    EXPECT_EQ(doc.GetPilot(), CPoint(1027, 100));
    // Fitting is quiet: the object is not in the dirty list.
    EXPECT_TRUE(doc.GetDirtyObjects().empty());
    // One that covers another moves off it; one in a free place stays.
    TestObj* over = Add(doc, CRect(100, 100, 200, 200));
    EXPECT_TRUE(doc.FitObjectInPages(over));
    EXPECT_EQ(over->GetRect(), CRect(260, 100, 360, 200));
    EXPECT_FALSE(doc.FitObjectInPages(over));
    EXPECT_EQ(over->GetRect(), CRect(260, 100, 360, 200));
    // The canvas's own top-left corner is a place like any other.
    CLumitraDoc corner;
    TestObj* atOrigin = Add(corner, CRect(0, 0, 50, 50));
    EXPECT_FALSE(corner.FitObjectInPages(atOrigin));
    EXPECT_EQ(atOrigin->GetRect(), CRect(0, 0, 50, 50));
    TestObj* c = Add(doc, CRect(5, 2700, 255, 2900));
    EXPECT_EQ(doc.GetPagesDown(), 3);
    EXPECT_EQ(c->GetRect().top, 2700);
    // Without c the pages shrink to two: the lowest object left ends on the
    // second page's last line, not on a third page.
    Add(doc, CRect(300, 2700, 400, 2 * 1414));
    doc.RemoveObject(c, false);
    EXPECT_EQ(doc.GetPagesDown(), 2);
    EXPECT_EQ(a->GetDocument(), &doc);
    EXPECT_TRUE(doc.IsModified());
}

TEST(LumitraDocPlacement, PlaceAtPilotGivesAPlotTheDefaultSize) {
    CLumitraDoc doc;
    GetPlotDefaults().width = 250;
    GetPlotDefaults().height = 240;
    TestObj* plot = Add(doc, CRect(400, 400, 500, 500), kObjPlot);
    TestObj* text = Add(doc, CRect(600, 400, 700, 430), kObjText);
    doc.SetPilot(CPoint(10, 20));
    doc.PlaceAtPilot(plot);
    EXPECT_EQ(plot->GetRect(), CRect(10, 20, 260, 260));
    EXPECT_EQ(doc.GetPilot(), CPoint(265, 20));
    doc.PlaceAtPilot(text);  // not a plot: stays
    EXPECT_EQ(text->GetRect(), CRect(600, 400, 700, 430));
    // A width from the ini below the plot minimum is used as the minimum.
    GetPlotDefaults().width = 3;
    doc.SetPilot(CPoint(10, 20));
    doc.PlaceAtPilot(plot);
    EXPECT_EQ(plot->GetRect().Width(), kPlotMinSide);
    GetPlotDefaults() = PlotDefaults();
}

TEST(LumitraDocPlacement, AFreePlaceIsTheNearestSpotThatCoversNothing) {
    // A page with a table at the top left and a plot to its right.
    struct Case {
        CSize size;
        CPoint wish;
        CPoint expected;
        const char* why;
    };
    const Case cases[] = {
        {{100, 50}, {600, 600}, {600, 600}, "nothing there: the wish itself"},
        {{100, 50}, {20, 20}, {20, 215}, "on the table: just below it, the nearest way out"},
        {{100, 50}, {350, 250}, {350, 315}, "low on the plot: just below it, nearer than either side"},
        {{100, 50}, {1000, 600}, {924, 600}, "past the right edge: pulled back into the canvas"},
        {{100, 50}, {-40, -40}, {0, 215}, "above and left of the canvas: pulled in, then below the table"},
        {{300, 200}, {215, 5}, {215, 315}, "no room between table and plot: below the plot, nearer than its right"},
        {{2000, 50}, {300, 5}, {0, 315}, "wider than the canvas: at its left edge, below everything"},
    };
    for (const Case& c : cases) {
        CLumitraDoc doc;
        Add(doc, CRect(10, 10, 210, 210), kObjResult);
        Add(doc, CRect(260, 10, 560, 310), kObjPlot);
        const CPoint at = doc.FindFreePlace(c.size, c.wish);
        EXPECT_EQ(at, c.expected) << c.why;
        for (const auto& obj : doc.GetObjects()) {
            CRect meet;
            EXPECT_FALSE(meet.IntersectRect(CRect(at, c.size), obj->GetRect())) << c.why;
        }
    }
}

// ------------------------------------------------------------ data shells

class LumitraDocShells : public ::testing::Test {
protected:
    void SetUp() override {
        lmtest::FcsWriter w;
        w.Param("FSC-H", 32, "1024").Param("SSC-H", 32, "1024");
        w.Event({1, 2}).Event({3, 4}).Event({5, 6});
        w.NextDataSet().Param("FL1-H", 32, "1024").Event({7}).Event({8});
        path = dir.Write("two sets.fcs", w.Build());
        ASSERT_FALSE(path.empty());
        notFcs = dir.Write("notes.txt", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'});
    }

    lmtest::TempDir dir;
    std::string path;
    std::string notFcs;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
};

TEST_F(LumitraDocShells, TheSameDataSetOpensOnceAndTheSecondSetSeparately) {
    CLumitraDoc doc;
    VexaDataShell* first = doc.OpenDataFile(path, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetParamCount(), 2);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    EXPECT_TRUE(doc.IsModified());

    // The same file by another spelling of its path.
    const std::string other = dir.Path() + "/./sub/../two sets.fcs";
    std::filesystem::create_directory(dir.Path() + "/sub");
    EXPECT_EQ(doc.OpenDataFile(other, 0), first);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.Calls()[0].text, "FCS Data already open!");
    EXPECT_EQ(ui.Calls()[0].caption, "Notic");
    EXPECT_EQ(ui.Calls()[0].icon, lm::MsgIcon::Question);
    EXPECT_EQ(doc.GetDataShellCount(), 1);

    VexaDataShell* second = doc.OpenDataFile(path, 1);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->GetParamCount(), 1);
    EXPECT_EQ(doc.GetDataShellCount(), 2);
    EXPECT_EQ(doc.GetDataShellIndex(second), 1);
    EXPECT_EQ(doc.FindDataShell(path, 1), second);
    EXPECT_EQ(doc.GetDataShellAt(2), nullptr);
    EXPECT_EQ(doc.GetDataShellAt(-1), nullptr);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
}

TEST_F(LumitraDocShells, FilesThatAreNotFcsGiveNullWithoutAMessage) {
    CLumitraDoc doc;
    EXPECT_EQ(doc.OpenDataFile(notFcs, 0), nullptr);
    EXPECT_EQ(doc.OpenDataFile(dir.File("missing.fcs"), 0), nullptr);
    EXPECT_EQ(doc.OpenDataFile("", 0), nullptr);
    EXPECT_EQ(doc.OpenDataFile(path, -1), nullptr);
    EXPECT_EQ(doc.OpenDataFile(path, 7), nullptr);  // no such data set
    EXPECT_EQ(doc.GetDataShellCount(), 0);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
}

// A file cut short opens with the events it holds, and the user is told how
// many of them that is; a DATA segment one byte too long (some writers give
// an exclusive end) loses nothing and says nothing.
TEST_F(LumitraDocShells, ADamagedFileOpensWithAWarningThatCountsTheEvents) {
    lmtest::FcsWriter w;
    w.Param("FSC-H", 32, "1024").Param("SSC-H", 32, "1024");
    for (int e = 0; e < 10; ++e) w.Event({double(e), double(2 * e)});
    const std::vector<uint8_t> whole = w.Build();
    lmtest::FcsWriter cut = w;
    const std::string shortPath = dir.Write("short.fcs", cut.TruncateTo(int64_t(whole.size()) - 3 * 8 - 4).Build());

    CLumitraDoc doc;
    VexaDataShell* s = doc.OpenDataFile(shortPath, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetDataSet()->GetEventCount(), 6);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.Calls()[0].caption, QStringLiteral("警告"));
    EXPECT_EQ(ui.Calls()[0].icon, lm::MsgIcon::Warning);
    EXPECT_TRUE(ui.Calls()[0].text.contains("short.fcs"));
    EXPECT_TRUE(ui.Calls()[0].text.contains("only 6 of 10 events")) << ui.Calls()[0].text.toStdString();

    // Whole files open without a word, and so does a real file whose DATA end
    // lies one byte past its last event (all events are there).
    EXPECT_NE(doc.OpenDataFile(path, 0), nullptr);
    const std::string corpus = lmtest::CorpusDir();
    if (!corpus.empty()) {
        VexaDataShell* ey = doc.OpenDataFile(corpus + "/EY_2013-07-19_PBS_FCS_3.1_Well_A1.001.fcs", 0);
        ASSERT_NE(ey, nullptr);
        EXPECT_EQ(ey->GetDataSet()->GetEventCount(), 10000);
    }
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
}

TEST_F(LumitraDocShells, AttachingADuplicateKeepsTheOpenShellAndFreesTheOther) {
    CLumitraDoc doc;
    VexaDataShell* open = doc.OpenDataFile(path, 0);
    ASSERT_NE(open, nullptr);
    auto dup = std::make_unique<VexaDataShell>(path, 0, "dup", false);
    EXPECT_EQ(doc.AttachDataShell(std::move(dup)), open);  // freed inside: the sanitizers watch
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.Calls()[0].text, "FCS Data already open?");
    EXPECT_EQ(doc.GetDataShellCount(), 1);

    // The other data set of the file is not a duplicate.
    VexaDataShell* set1 = doc.AttachDataShell(std::make_unique<VexaDataShell>(path, 1, "one", false));
    EXPECT_NE(set1, open);
    EXPECT_EQ(doc.GetDataShellCount(), 2);
    // Null: a new empty shell, no message.
    VexaDataShell* empty = doc.AttachDataShell(nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetDataSet(), nullptr);
    EXPECT_EQ(doc.GetDataShellCount(), 3);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    // Two file-less shells are never taken for one another.
    EXPECT_NE(doc.AttachDataShell(nullptr), empty);
}

TEST_F(LumitraDocShells, ANewFileCanTakeTheAnalysisOfAnOpenShell) {
    CLumitraDoc doc;
    VexaDataShell* templ = doc.OpenDataFile(path, 0);
    ASSERT_NE(templ, nullptr);
    lmtest::FcsWriter w;
    w.Param("FSC-H", 32, "1024").Param("SSC-H", 32, "1024").Event({9, 9});
    const std::string second = dir.Write("second.fcs", w.Build());
    VexaDataShell* copy = doc.OpenDataFileAndNotify(second, 0, templ);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, templ);
    EXPECT_EQ(copy->GetGateCount(), templ->GetGateCount());
    EXPECT_EQ(doc.GetDataShellCount(), 2);
    // The same data set again is the open one, after the message.
    EXPECT_EQ(doc.OpenDataFileAndNotify(second, 0, templ), copy);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(doc.OpenDataFileAndNotify(notFcs, 0, templ), nullptr);
    EXPECT_EQ(doc.GetDataShellCount(), 2);
}

TEST_F(LumitraDocShells, ClosingAShellRemovesItsPlotsAndResultTableOnly) {
    CLumitraDoc doc;
    VexaDataShell* a = doc.OpenDataFile(path, 0);
    VexaDataShell* b = doc.OpenDataFile(path, 1);
    ASSERT_TRUE(a && b);
    auto add = [&](VexaDataShell* s, int32_t kind, int32_t type, int x) {
        return doc.AddObject(std::make_unique<ShellObj>(CRect(x, 5, x + 50, 50), &doc, s, kind, type));
    };
    CTrkObj* plotA = add(a, kUserPlot, kObjPlot, 5);
    CTrkObj* tableA = add(a, kUserResultTable, kObjResult, 60);
    CTrkObj* plotB = add(b, kUserPlot, kObjPlot, 120);
    CTrkObj* text = Add(doc, CRect(200, 5, 300, 35));
    EXPECT_TRUE(doc.HasResultTable(a));
    EXPECT_FALSE(doc.HasResultTable(b));
    EXPECT_EQ(doc.ObjectsOfShell(a, kUserPlot), std::vector<CTrkObj*>{plotA});
    doc.SetActiveObject(plotA);
    EXPECT_EQ(doc.GetCurrentDataShell(), a);  // a plot's shell becomes current
    doc.AddToSelection(tableA);
    doc.InvalidateObject(tableA);

    doc.RemoveDataShell(a);
    EXPECT_EQ(doc.GetDataShellCount(), 1);
    EXPECT_EQ(doc.GetDataShellAt(0), b);
    EXPECT_EQ(doc.GetCurrentDataShell(), nullptr);
    EXPECT_EQ(doc.GetObjectCount(), 2);
    EXPECT_GE(doc.GetObjectIndex(plotB), 0);
    EXPECT_GE(doc.GetObjectIndex(text), 0);
    EXPECT_EQ(doc.GetActiveObject(), nullptr);
    EXPECT_TRUE(doc.GetSelection().empty());
    EXPECT_TRUE(doc.GetDirtyObjects().empty());
    doc.RedrawDirty();

    doc.SetCurrentDataShellAt(0);
    EXPECT_EQ(doc.GetCurrentDataShell(), b);
    doc.SetCurrentDataShellAt(5);
    EXPECT_EQ(doc.GetCurrentDataShell(), nullptr);
    doc.RemoveDataShellAt(9);  // out of range: nothing
    EXPECT_EQ(doc.GetDataShellCount(), 1);
}

TEST_F(LumitraDocShells, ADocumentWithObjectsOnItsShellsClosesCleanly) {
    // Its destructor still sees its shell: objects go before the shells.
    struct Counted : ShellObj {
        using ShellObj::ShellObj;
        ~Counted() override { *shellSeen += GetShell() != nullptr; }
        int* shellSeen = nullptr;
    };
    int shellSeen = 0;
    auto doc = std::make_unique<CLumitraDoc>();
    VexaDataShell* a = doc->OpenDataFile(path, 0);
    ASSERT_NE(a, nullptr);
    auto obj = std::make_unique<Counted>(CRect(5, 5, 60, 60), doc.get(), a, kUserPlot, kObjPlot);
    obj->shellSeen = &shellSeen;
    CTrkObj* plot = doc->AddObject(std::move(obj));
    doc->SetActiveObject(plot);
    doc->AddToSelection(plot);
    doc.reset();
    EXPECT_EQ(shellSeen, 1);
}

TEST_F(LumitraDocShells, AutoArrangeFitsFourPlotsOf253ExactlyInOneRow) {
    GetPlotDefaults() = PlotDefaults();
    GetPlotDefaults().width = 253;  // 3 + 4 * (253 + 3) - 3 = 1024, the canvas width
    CLumitraDoc doc;
    VexaDataShell* a = doc.OpenDataFile(path, 0);
    ASSERT_NE(a, nullptr);
    std::vector<CTrkObj*> plots;
    for (int i = 0; i < 4; ++i)
        plots.push_back(doc.AddObject(std::make_unique<ShellObj>(CRect(0, 0, 60, 60), &doc, a, kUserPlot, kObjPlot)));
    doc.SetAutoArrange(true);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(plots[size_t(i)]->GetRect().TopLeft(), CPoint(3 + 256 * i, 3)) << i;
    GetPlotDefaults() = PlotDefaults();
}

TEST_F(LumitraDocShells, CreatedPlotsFlowFromThePilotAndLeaveWithTheirShell) {
    GetPlotDefaults() = PlotDefaults();
    CLumitraDoc doc;
    VexaDataShell* a = doc.OpenDataFile(path, 0);
    VexaDataShell* b = doc.OpenDataFile(path, 1);
    ASSERT_TRUE(a && b);
    CTrkObj* p1 = doc.CreatePlotAtPilot(a);
    ASSERT_NE(p1, nullptr);
    EXPECT_EQ(p1->GetType(), kObjPlot);
    EXPECT_EQ(p1->GetRect(), CRect(5, 5, 255, 255));
    EXPECT_EQ(doc.GetActiveObject(), p1);
    EXPECT_EQ(doc.GetCurrentDataShell(), a);
    EXPECT_EQ(doc.GetPilot(), CPoint(260, 5));
    CTrkObj* p2 = doc.CreatePlotAtPilot(a);
    EXPECT_EQ(p2->GetRect().left, 260);
    // The one-parameter data set: the default Y parameter 1 is out of range.
    CTrkObj* p3 = doc.CreatePlotAtPilot(b);
    ASSERT_NE(p3, nullptr);
    EXPECT_EQ(doc.ObjectsOfShell(a, kUserPlot), (std::vector<CTrkObj*>{p1, p2}));
    // Not a shell of this document.
    CLumitraDoc other;
    EXPECT_EQ(other.CreatePlot(5, 5, a), nullptr);
    doc.RecalcAllPlots();

    doc.RemoveDataShell(a);
    EXPECT_EQ(doc.GetObjectCount(), 1);
    EXPECT_EQ(doc.GetObjectAt(0), p3);
    EXPECT_EQ(doc.GetActiveObject(), p3);  // the last made, untouched
    doc.RedrawDirty();
}

TEST(LumitraDocFile, DocumentsAreNotReadOrWrittenHalfway) {
    lmtest::TempDir dir;
    CLumitraDoc doc;
    QString error;
    // A folder that does not exist: nothing is written, the path is not taken.
    const QString target = QString::fromStdString(dir.File("missing/report.fld"));
    EXPECT_FALSE(doc.OnSaveDocument(target, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(target.toStdString()));
    EXPECT_TRUE(doc.GetPathName().isEmpty());
    error.clear();
    EXPECT_FALSE(doc.OnOpenDocument(QString::fromStdString(dir.File("missing.fld")), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(doc.GetPathName().isEmpty());
}

}  // namespace
