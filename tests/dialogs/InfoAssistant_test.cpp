// The Info Assistant: dictionary edits saved at once, the Para table's cells,
// hits, scrolling and built text, "Edit String" keeping each cell's phrase,
// and the panel reached from the page menu with the lists of the last run.
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QWheelEvent>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/Archive.h"
#include "dialogs/EditRltStrDlg.h"
#include "dialogs/InfoAstDlg.h"
#include "dialogs/ParaTable.h"
#include "dialogs/ParaTableProp.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/RltDictProp.h"
#include "dialogs/RltStrList.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/app/ChildFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

lmtest::FcsWriter Writer(const std::vector<std::string>& names) {
    lmtest::FcsWriter w;
    w.DataType('F');
    for (const std::string& n : names) w.Param(n, 32, "1024");
    w.Event(std::vector<double>(names.size(), 1.0));
    return w;
}

RltStrList ReadFile(const std::string& folder) {
    RltStrList lists;
    std::string error;
    EXPECT_EQ(LoadRltStrListFile(folder, &lists, &error), RltLoadStatus::loaded) << error;
    return lists;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void RightClickArea(CParaTable* t, QPoint at) {
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, t->Area()->mapToGlobal(at));
    QCoreApplication::sendEvent(t->Area(), &e);
}

void DoubleClickArea(CParaTable* t, QPoint at) {
    QMouseEvent e(QEvent::MouseButtonDblClick, QPointF(at), t->Area()->mapToGlobal(QPointF(at)), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(t->Area(), &e);
}

void Wheel(CParaTable* t, int delta) {
    QWheelEvent e(QPointF(50, 50), t->Area()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(t->Area(), &e);
}

class InfoAssistantTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        panel = std::make_unique<CInfoAstDlg>();
        panel->LoadStringList(dir.Path());
    }
    CParaTable* Table() const { return panel->TablePage()->Table(); }
    // A cell's middle in area pixels, scroll at 0.
    static QPoint CellPoint(int row, int col) {
        return QPoint(CParaTable::kFirstColumnX + col * CParaTable::kCellWidth + 30,
                      CParaTable::kFirstRowY + row * CParaTable::kCellHeight + 27);
    }
    void Type(int32_t id, const QString& text) { dlgtest::Control<QLineEdit>(panel->DictPage(), id)->setText(text); }
    void Click(QWidget* page, int32_t id) { dlgtest::Control<QPushButton>(page, id)->click(); }

    lmtest::TempDir dir;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    std::unique_ptr<CInfoAstDlg> panel;
    std::unique_ptr<CLumitraDoc> doc = std::make_unique<CLumitraDoc>();
};

TEST_F(InfoAssistantTest, ANameAddedTwiceIsRefusedOnceAndTheFileHoldsOneEntry) {
    Type(kDictName, "A");
    Click(panel->DictPage(), kDictNameAdd);
    Type(kDictName, "A");
    Click(panel->DictPage(), kDictNameAdd);
    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Name already exist");
    EXPECT_EQ(boxes[0].caption, "Notic");
    EXPECT_EQ(ReadFile(dir.Path()).entries, (std::vector<RltDictEntry>{{"A", {}}}));
    // "a" is another name.
    Type(kDictName, "a");
    Click(panel->DictPage(), kDictNameAdd);
    EXPECT_EQ(ReadFile(dir.Path()).entries.size(), 2u);
}

TEST_F(InfoAssistantTest, PhrasesAreAddedModifiedDeletedAndSavedAndADoubleClickInsertsOne) {
    auto* names = dlgtest::Control<QListWidget>(panel->DictPage(), kDictNames);
    auto* phrases = dlgtest::Control<QListWidget>(panel->DictPage(), kDictPhrases);
    Type(kDictPhrase, "lost");
    Click(panel->DictPage(), kDictPhraseAdd);  // no name chosen: nothing
    for (const char* n : {"CD4", "CD8"}) {
        Type(kDictName, n);
        Click(panel->DictPage(), kDictNameAdd);
    }
    names->setCurrentRow(1);
    for (const char* p : {"raised", "偏低", "raised"}) {
        Type(kDictPhrase, p);
        Click(panel->DictPage(), kDictPhraseAdd);
    }
    phrases->setCurrentRow(2);
    EXPECT_EQ(dlgtest::Control<QLineEdit>(panel->DictPage(), kDictPhrase)->text(), "raised");
    Type(kDictPhrase, "normal");
    Click(panel->DictPage(), kDictPhraseModify);
    phrases->setCurrentRow(0);
    Click(panel->DictPage(), kDictPhraseDel);
    EXPECT_EQ(ReadFile(dir.Path()).entries,
              (std::vector<RltDictEntry>{{"CD4", {}}, {"CD8", {"偏低", "normal"}}}));

    panel->TextBox()->setPlainText("CD8: xx.");
    QTextCursor c = panel->TextBox()->textCursor();
    c.setPosition(5);
    c.setPosition(7, QTextCursor::KeepAnchor);  // "xx" selected
    panel->TextBox()->setTextCursor(c);
    phrases->setCurrentRow(0);
    emit phrases->itemDoubleClicked(phrases->item(0));
    EXPECT_EQ(panel->GetText(), "CD8: 偏低.");

    names->setCurrentRow(0);
    Click(panel->DictPage(), kDictNameDel);
    EXPECT_EQ(phrases->count(), 0);
    EXPECT_EQ(ReadFile(dir.Path()).entries, (std::vector<RltDictEntry>{{"CD8", {"偏低", "normal"}}}));
}

TEST_F(InfoAssistantTest, AddingAPhraseWithNoNameChosenSaysWhatToDo) {
    Type(kDictPhrase, "raised");
    Click(panel->DictPage(), kDictPhraseAdd);
    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains("Select a name")) << boxes[0].text.toStdString();
    // Nothing written, nothing typed lost.
    EXPECT_FALSE(std::filesystem::exists(RltStrListPath(dir.Path())));
    EXPECT_EQ(dlgtest::Control<QLineEdit>(panel->DictPage(), kDictPhrase)->text(), "raised");
}

TEST_F(InfoAssistantTest, CharactersTheFileCannotHoldAreNamedBeforeWriting) {
    auto* names = dlgtest::Control<QListWidget>(panel->DictPage(), kDictNames);
    auto* phrases = dlgtest::Control<QListWidget>(panel->DictPage(), kDictPhrases);
    Type(kDictName, "CD4");
    Click(panel->DictPage(), kDictNameAdd);
    names->setCurrentRow(0);
    Type(kDictPhrase, "low");
    Click(panel->DictPage(), kDictPhraseAdd);
    phrases->setCurrentRow(0);
    ASSERT_TRUE(ui.CallsOf(Kind::MessageBox).empty());
    const RltStrList before = ReadFile(dir.Path());

    // Each way a text enters the lists, with the list the question names.
    struct Case {
        int32_t edit, button;
        const char* list;
    };
    const Case cases[] = {
        {kDictName, kDictNameAdd, "Dict names"},
        {kDictPhrase, kDictPhraseAdd, "Dict \"CD4\""},
        {kDictPhrase, kDictPhraseModify, "Dict \"CD4\""},
    };
    for (const Case& c : cases) {
        ui.Clear();
        ui.QueueMessageBoxAnswer(lm::kIdCancel);
        Type(c.edit, "größer");
        Click(panel->DictPage(), c.button);
        const auto boxes = ui.CallsOf(Kind::MessageBox);
        ASSERT_EQ(boxes.size(), 1u) << c.list;
        EXPECT_TRUE(boxes[0].text.contains(QString::fromUtf8(c.list) + ": ö ß")) << boxes[0].text.toStdString();
        EXPECT_EQ(boxes[0].buttons, lm::MsgButtons::OkCancel);
        // Cancel: the file and the lists as they were, the text still typed.
        EXPECT_EQ(ReadFile(dir.Path()), before) << c.list;
        EXPECT_EQ(names->count(), 1);
        EXPECT_EQ(phrases->item(0)->text(), "low");
        EXPECT_EQ(dlgtest::Control<QLineEdit>(panel->DictPage(), c.edit)->text(), "größer");
    }
    // OK on the phrase: written as the file can hold it.
    ui.QueueMessageBoxAnswer(lm::kIdOk);
    Type(kDictPhrase, "größer");
    Click(panel->DictPage(), kDictPhraseAdd);
    EXPECT_EQ(ReadFile(dir.Path()).entries, (std::vector<RltDictEntry>{{"CD4", {"low", "gr??er"}}}));

    // The Para table's strings, through "Edit String".
    ui.Clear();
    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    int listed = -1;
    ui.QueueDialog([&listed](QDialog* d) {
        dlgtest::Control<QLineEdit>(d, kEditStrEdit)->setText("größer");
        dlgtest::Control<QPushButton>(d, kEditStrAdd)->click();
        listed = dlgtest::Control<QListWidget>(d, kEditStrList)->count();
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return d->result();
    });
    Click(panel->TablePage(), kParaEditString);
    ASSERT_EQ(ui.CallsOf(Kind::MessageBox).size(), 1u);
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox)[0].text.contains("Para table: ö ß"));
    EXPECT_EQ(listed, 0);
}

TEST_F(InfoAssistantTest, TheTableLeavesOutScatterAndTimeAndIsSizedToItsLastCell) {
    dlgtest::AttachShell(*doc, Writer({"FSC-A", "SSC-A", "FL1-A", "Time"}), "A");
    dlgtest::AttachShell(*doc, Writer({"FL1-A", "FL2-A", "TIME", "FS", "fsc"}), "B");
    panel->BindDocument(doc.get());
    CParaTable* t = Table();
    ASSERT_EQ(t->GetRows(), 2);
    ASSERT_EQ(t->GetCols(), 3);
    EXPECT_EQ(t->GetCellLabel(0, 0), "FL1-A");
    EXPECT_EQ(t->GetCellLabel(0, 1), "");
    EXPECT_EQ(t->GetCellLabel(1, 2), "fsc");  // the prefixes are case-sensitive
    EXPECT_EQ(t->TableSize(), QSize(30 + 3 * 60, 5 + 2 * 55));

    // A lone data set of scatter and time: no columns.
    auto lone = std::make_unique<CLumitraDoc>();
    dlgtest::AttachShell(*lone, Writer({"FSC-H", "SSC-H", "Time"}), "C");
    panel->BindDocument(lone.get());
    EXPECT_EQ(t->GetCols(), 0);
    EXPECT_EQ(t->GetRows(), 1);
    panel->BindDocument(nullptr);
    EXPECT_EQ(t->GetRows(), 0);
}

TEST_F(InfoAssistantTest, OnlyPointsInsideRealCellsHitOne) {
    dlgtest::AttachShell(*doc, Writer({"CD3", "CD4"}), "A");
    dlgtest::AttachShell(*doc, Writer({"CD8"}), "B");
    panel->BindDocument(doc.get());
    CParaTable* t = Table();
    const struct {
        QPoint at;
        int row, col;  // -1: no cell
    } cases[] = {
        {{29, 20}, -1, -1},   // the row-number strip (truncating division would give column 0)
        {{0, 0}, -1, -1},
        {{60, 4}, -1, -1},    // the gap above the first row
        {{30, 5}, 0, 0},
        {{89, 59}, 0, 0},
        {{90, 60}, 1, 1},     // past the end of the second row: no parameter there
        {{149, 20}, 0, 1},
        {{150, 20}, -1, -1},  // right of the last column
        {{40, 115}, -1, -1},  // below the last row
    };
    for (const auto& c : cases) {
        int32_t row = -1, col = -1;
        const bool hit = t->HitCell(c.at, &row, &col);
        if (c.row < 0 || (c.row == 1 && c.col == 1)) {
            EXPECT_FALSE(hit) << c.at.x() << "," << c.at.y();
        } else {
            EXPECT_TRUE(hit && row == c.row && col == c.col) << c.at.x() << "," << c.at.y();
        }
    }
    t->SetStrings({"pos"}, {});
    RightClickArea(t, QPoint(10, 20));
    EXPECT_EQ(ui.Count(Kind::PopupMenu), 0);
}

TEST_F(InfoAssistantTest, CellsTakePhrasesFromTheMenuAndTheBuiltTextJoinsTheirLabels) {
    dlgtest::AttachShell(*doc, Writer({"CD3", "CD4"}), "A");
    dlgtest::AttachShell(*doc, Writer({"CD8", "CD19"}), "B");
    panel->BindDocument(doc.get());
    CParaTable* t = Table();
    t->SetStrings({"阳性", "阴性"}, {});
    Click(panel->TablePage(), kParaApply);
    EXPECT_EQ(panel->GetText(), "");  // no cell set: an empty text

    ui.QueueMenuChoice(1);
    RightClickArea(t, CellPoint(0, 0));
    ui.QueueMenuChoice(2);
    RightClickArea(t, CellPoint(0, 1));
    ui.QueueMenuChoice(1);
    RightClickArea(t, CellPoint(1, 1));
    RightClickArea(t, CellPoint(1, 0));  // menu dismissed: unchanged
    RightClickArea(t, CellPoint(0, 0));  // ... also where a phrase is
    const auto menu = ui.CallsOf(Kind::PopupMenu)[0].menu;
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[1].text, "阴性");
    EXPECT_EQ(t->GetCell(1, 0), -1);
    EXPECT_EQ(t->GetCell(0, 0), 0);
    // Outside the table there are no cells to read or set.
    for (const auto& [r, c] : std::vector<std::pair<int, int>>{{2, 0}, {0, 2}, {-1, 0}, {0, -1}}) {
        t->SetCell(r, c, 0);
        EXPECT_EQ(t->GetCell(r, c), -1) << r << "," << c;
        EXPECT_EQ(t->GetCellLabel(r, c), "") << r << "," << c;
    }
    t->SetCell(1, 0, 2);  // no third phrase
    EXPECT_EQ(t->GetCell(1, 0), -1);
    Click(panel->TablePage(), kParaApply);
    EXPECT_EQ(panel->GetText(), "CD3、CD19阳性；CD4阴性；");

    DoubleClickArea(t, CellPoint(0, 0));
    EXPECT_EQ(t->GetCell(0, 0), -1);
    EXPECT_EQ(t->BuildText(), "CD19阳性；CD4阴性；");

    ui.QueueMenuChoice(3);  // "Reset All": the second phrase everywhere
    Click(panel->TablePage(), kParaResetAll);
    EXPECT_EQ(t->BuildText(), "CD3、CD4、CD8、CD19阴性；");
    Click(panel->TablePage(), kParaResetAll);  // dismissed
    EXPECT_EQ(t->GetCell(0, 0), 1);
    ui.QueueMenuChoice(1);  // "Clear"
    Click(panel->TablePage(), kParaResetAll);
    EXPECT_EQ(t->BuildText(), "");
    EXPECT_EQ(ui.CallsOf(Kind::PopupMenu).back().menu[0].text, "Clear");
}

TEST_F(InfoAssistantTest, EditStringKeepsEachCellsPhraseByItsTextAndSavesTheList) {
    dlgtest::AttachShell(*doc, Writer({"CD3", "CD4", "CD8"}), "A");
    panel->BindDocument(doc.get());
    CParaTable* t = Table();
    t->SetStrings({"a", "b", "c"}, {0x10, 0x20, 0x30});
    t->SetCell(0, 0, 0);
    t->SetCell(0, 1, 1);
    t->SetCell(0, 2, 2);
    ui.QueueDialog([](QDialog* d) {
        auto* list = dlgtest::Control<QListWidget>(d, kEditStrList);
        list->setCurrentRow(0);
        dlgtest::Control<QPushButton>(d, kEditStrDelete)->click();  // "a" goes, "b" becomes the first
        dlgtest::Control<QLineEdit>(d, kEditStrEdit)->setText("c");
        dlgtest::Control<QPushButton>(d, kEditStrAdd)->click();     // already listed
        dlgtest::Control<QLineEdit>(d, kEditStrEdit)->setText("d");
        dlgtest::Control<QPushButton>(d, kEditStrAdd)->click();
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return d->result();
    });
    Click(panel->TablePage(), kParaEditString);
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox).at(0).text, "String already existed");
    EXPECT_EQ(t->GetStrings(), (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(t->GetColors(), (std::vector<COLORREF>{0x20, 0x30, 0xFFFFFF}));
    EXPECT_EQ(t->GetCell(0, 0), -1);
    EXPECT_EQ(t->GetCell(0, 1), 0);
    EXPECT_EQ(t->GetCell(0, 2), 1);
    EXPECT_EQ(t->BuildText(), "CD4b；CD8c；");
    EXPECT_EQ(ReadFile(dir.Path()).strings, t->GetStrings());

    ui.QueueDialogResult(lm::kDialogRejected);
    Click(panel->TablePage(), kParaEditString);
    EXPECT_EQ(t->GetStrings().size(), 3u);
}

TEST_F(InfoAssistantTest, EnterInEditStringAddsTheStringAndLeavesTheDialogOpen) {
    bool open = false;
    int listed = 0;
    ui.QueueDialog([&](QDialog* d) {
        d->show();
        auto* edit = dlgtest::Control<QLineEdit>(d, kEditStrEdit);
        edit->setFocus();
        edit->setText("positive");
        dlgtest::Key(edit, Qt::Key_Return);
        open = d->isVisible() && d->result() != QDialog::Accepted;
        listed = dlgtest::Control<QListWidget>(d, kEditStrList)->count();
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return d->result();
    });
    Click(panel->TablePage(), kParaEditString);
    EXPECT_TRUE(open);
    EXPECT_EQ(listed, 1);
    EXPECT_EQ(Table()->GetStrings(), std::vector<std::string>{"positive"});
}

TEST_F(InfoAssistantTest, ScrollLimitsAreNeverNegativeAndSmallWheelStepsAddUp) {
    for (int i = 0; i < 12; ++i) dlgtest::AttachShell(*doc, Writer({"CD3", "CD4"}), "S" + std::to_string(i));
    panel->resize(400, 500);
    panel->findChild<QTabWidget*>()->setCurrentWidget(panel->TablePage());
    panel->show();
    panel->BindDocument(doc.get());
    QCoreApplication::processEvents();
    CParaTable* t = Table();
    const QSize seen = t->Area()->size();
    ASSERT_GT(seen.width(), t->TableSize().width()) << "the columns fit";
    EXPECT_EQ(t->HScroll()->maximum(), 0);
    EXPECT_EQ(t->VScroll()->maximum(), t->TableSize().height() - seen.height());
    for (int i = 0; i < 2; ++i) Wheel(t, -40);
    EXPECT_EQ(t->VScroll()->value(), 0);
    Wheel(t, -40);
    EXPECT_EQ(t->VScroll()->value(), CParaTable::kCellHeight);
    Wheel(t, 120);
    EXPECT_EQ(t->VScroll()->value(), 0);
    Wheel(t, 120);  // clamped at the top
    EXPECT_EQ(t->VScroll()->value(), 0);
    // Scrolled down a row, the first visible row is the second.
    Wheel(t, -120);
    int32_t row = -1, col = -1;
    ASSERT_TRUE(t->HitCell(CellPoint(0, 0), &row, &col));
    EXPECT_EQ(row, 1);
}

// ================================================================ program

class InfoAssistantProgramTest : public rtest::ProgramTest {
protected:
    CMainFrame* Frame() const { return app->GetMainFrame(); }
    CInfoAstDlg* Panel() const { return static_cast<CInfoAstDlg*>(Frame()->GetPanel(kPanelInfoAssistant)); }
};

TEST_F(InfoAssistantProgramTest, ThePageMenuShowsThePanelBoundToTheDocumentWithTheLastRunsPhrases) {
    RltStrList lists;
    lists.strings = {"阳性"};
    lists.colors = {0xFFFFFF};
    lists.entries = {{"CD4", {"raised"}}};
    ASSERT_TRUE(SaveRltStrListFile(dir.Path(), lists, nullptr));
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    ASSERT_NE(Panel(), nullptr);
    EXPECT_FALSE(Frame()->GetPanelDock(kPanelInfoAssistant)->isVisible());
    EXPECT_EQ(Panel()->TablePage()->Table()->GetStrings(), lists.strings);
    EXPECT_EQ(dlgtest::Control<QListWidget>(Panel()->DictPage(), kDictNames)->item(0)->text(), "CD4");

    CLumitraView* view = Frame()->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    dlgtest::AttachShell(*view->GetDocument(), Writer({"FSC-A", "CD3", "CD4"}), "A");
    ui.QueueMenuChoice(kPageCmdInfoAssistant);
    vin::Driver(view).RightClick(CPoint(500, 700));
    EXPECT_TRUE(Frame()->GetPanelDock(kPanelInfoAssistant)->isVisible());
    EXPECT_EQ(Panel()->GetDocument(), view->GetDocument());
    EXPECT_EQ(Panel()->TablePage()->Table()->GetCols(), 2);
}

// The panel follows the report shown: closed, its table empties; the report
// opened again fills it, with no trip to the page menu.
TEST_F(InfoAssistantProgramTest, AReportClosedAndOpenedAgainFillsTheOpenParaTable) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraView* view = Frame()->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    CLumitraDoc* doc = view->GetDocument();
    ASSERT_NE(view->NewPlotAt(20, 20, 0, 1, dir.Write("a.fcs", Writer({"FSC-A", "CD3", "CD4"}).Build())), nullptr);
    ui.QueueMenuChoice(kPageCmdInfoAssistant);
    vin::Driver(view).RightClick(CPoint(500, 700));
    ASSERT_TRUE(Frame()->GetPanelDock(kPanelInfoAssistant)->isVisible());
    ASSERT_EQ(Panel()->TablePage()->Table()->GetCols(), 2);
    const QString path = QString::fromStdString(dir.File("r.fld"));
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(path, &error)) << error.toStdString();

    ASSERT_TRUE(app->OnFileClose(doc));
    EXPECT_EQ(Panel()->GetDocument(), nullptr);
    EXPECT_EQ(Panel()->TablePage()->Table()->GetRows(), 0);
    CLumitraDoc* again = app->OpenDocumentFile(path);
    ASSERT_NE(again, nullptr);
    QCoreApplication::processEvents();
    ASSERT_EQ(again->GetDataShellCount(), 1);
    EXPECT_TRUE(Frame()->GetPanelDock(kPanelInfoAssistant)->isVisible());
    EXPECT_EQ(Panel()->GetDocument(), again);
    EXPECT_EQ(Panel()->TablePage()->Table()->GetRows(), 1);
    EXPECT_EQ(Panel()->TablePage()->Table()->GetCols(), 2);
    EXPECT_EQ(Panel()->TablePage()->Table()->GetCellLabel(0, 1), "CD4");

    // A second window: the table shows its report, and the first one's again
    // when it is switched back to.
    CLumitraDoc* other = app->OnFileNew();
    ASSERT_NE(other, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(Panel()->GetDocument(), other);
    EXPECT_EQ(Panel()->TablePage()->Table()->GetRows(), 0);
    for (CChildFrame* child : Frame()->GetChildFrames())
        if (child->GetDocument() == again) child->mdiArea()->setActiveSubWindow(child);
    QCoreApplication::processEvents();
    EXPECT_EQ(Panel()->GetDocument(), again);
    EXPECT_EQ(Panel()->TablePage()->Table()->GetCols(), 2);
}

TEST_F(InfoAssistantProgramTest, ADamagedFileIsNamedAtStartAndKeptAside) {
    ASSERT_TRUE(std::filesystem::create_directories(dir.Path() + "/Database"));
    const std::string damaged("\x05\x00\x00\x00\x01", 5);
    std::ofstream(RltStrListPath(dir.Path()), std::ios::binary) << damaged;
    ASSERT_TRUE(app->InitInstance({}));
    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains("RLTSTRLIST.bad")) << boxes[0].text.toStdString();
    EXPECT_EQ(ReadBytes(RltStrListPath(dir.Path()) + ".bad"), damaged);
    EXPECT_TRUE(Panel()->TablePage()->Table()->GetStrings().empty());
}

}  // namespace

namespace {

// Two programs started from one folder, each with its own panel.
TEST(InfoAssistantTwoPrograms, NamesAndPhrasesAddedAndDeletedByEachAreAllKept) {
    rtest::EnsureApp();
    lmtest::TempDir dir;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    CInfoAstDlg a, b;
    a.LoadStringList(dir.Path());
    b.LoadStringList(dir.Path());
    auto add = [](CInfoAstDlg& p, int32_t edit, int32_t button, const QString& text) {
        dlgtest::Control<QLineEdit>(p.DictPage(), edit)->setText(text);
        dlgtest::Control<QPushButton>(p.DictPage(), button)->click();
    };
    auto names = [](CInfoAstDlg& p) {
        QStringList out;
        auto* list = dlgtest::Control<QListWidget>(p.DictPage(), kDictNames);
        for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
        return out;
    };
    add(a, kDictName, kDictNameAdd, "CD4");
    add(b, kDictName, kDictNameAdd, "CD8");
    EXPECT_EQ(ReadFile(dir.Path()).entries, (std::vector<RltDictEntry>{{"CD4", {}}, {"CD8", {}}}));
    // B's list shows what the file now holds; A learns at its next save.
    EXPECT_EQ(names(b), (QStringList{"CD4", "CD8"}));

    // Phrases on both sides of one name, and a name deleted by A.
    dlgtest::Control<QListWidget>(a.DictPage(), kDictNames)->setCurrentRow(0);
    add(a, kDictPhrase, kDictPhraseAdd, "high");
    dlgtest::Control<QListWidget>(b.DictPage(), kDictNames)->setCurrentRow(0);
    add(b, kDictPhrase, kDictPhraseAdd, "low");
    EXPECT_EQ(ReadFile(dir.Path()).entries, (std::vector<RltDictEntry>{{"CD4", {"high", "low"}}, {"CD8", {}}}));
    // B keeps its selection through the merge.
    EXPECT_EQ(dlgtest::Control<QListWidget>(b.DictPage(), kDictNames)->currentRow(), 0);
    EXPECT_EQ(dlgtest::Control<QListWidget>(b.DictPage(), kDictPhrases)->count(), 2);

    dlgtest::Control<QListWidget>(a.DictPage(), kDictNames)->setCurrentRow(0);
    dlgtest::Control<QPushButton>(a.DictPage(), kDictNameDel)->click();
    EXPECT_EQ(ReadFile(dir.Path()).entries, (std::vector<RltDictEntry>{{"CD8", {}}}));
    EXPECT_EQ(names(a), (QStringList{"CD8"}));
    add(b, kDictName, kDictNameAdd, "CD3");
    EXPECT_EQ(ReadFile(dir.Path()).entries, (std::vector<RltDictEntry>{{"CD8", {}}, {"CD3", {}}}));
    EXPECT_EQ(ui.Count(lm::ScriptedUiServices::Kind::MessageBox), 0);
}

TEST(RltStrListMerge, EachSidesChangesSinceTheLastSaveAreKept) {
    RltStrList base;
    base.strings = {"pos", "neg"};
    base.colors = {0xFFFFFF, 0xFFFFFF};
    base.entries = {{"A", {"a1", "a2"}}, {"B", {"b1"}}};
    RltStrList ours = base, theirs = base;
    ours.strings.push_back("dim");  // added here
    ours.colors.push_back(0xFFFFFF);
    ours.entries[0].phrases.erase(ours.entries[0].phrases.begin());  // a1 deleted here
    ours.entries.push_back({"C", {"c1"}});
    theirs.strings.erase(theirs.strings.begin());  // pos deleted there
    theirs.colors.erase(theirs.colors.begin());
    theirs.entries[0].phrases.push_back("a3");
    theirs.entries.erase(theirs.entries.begin() + 1);  // B deleted there
    const RltStrList merged = MergeRltStrLists(base, ours, theirs);
    EXPECT_EQ(merged.strings, (std::vector<std::string>{"neg", "dim"}));
    EXPECT_EQ(merged.colors.size(), 2u);
    EXPECT_EQ(merged.entries, (std::vector<RltDictEntry>{{"A", {"a2", "a3"}}, {"C", {"c1"}}}));
    // One side unchanged: the other's lists as they are.
    EXPECT_EQ(MergeRltStrLists(base, base, theirs), theirs);
    EXPECT_EQ(MergeRltStrLists(base, ours, base), ours);
    // A name deleted there but changed here since stays.
    RltStrList changed = base;
    changed.entries[1].phrases.push_back("b2");
    EXPECT_EQ(MergeRltStrLists(base, changed, theirs).entries,
              (std::vector<RltDictEntry>{{"A", {"a1", "a2", "a3"}}, {"B", {"b1", "b2"}}}));
    // The same phrase added on both sides is listed once in the Para table.
    RltStrList both = theirs;
    both.strings.push_back("dim");
    both.colors.push_back(0xFFFFFF);
    EXPECT_EQ(MergeRltStrLists(base, ours, both).strings, (std::vector<std::string>{"neg", "dim"}));
}

}  // namespace
