// The File List panel in the running program: its rows and menu, deletes,
// dropped files, the drop switches and template, the Item dialog and the
// result export's bytes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QMouseEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPushButton>
#include <QListWidget>
#include <QTreeWidget>

#include <clocale>
#include <cstdlib>
#include <QFileInfo>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/StatItem.h"
#include "dialogs/AddDataPlots.h"
#include "dialogs/DataSetDlgIds.h"
#include "dialogs/DataTree.h"
#include "dialogs/NavigateDlg.h"
#include "dialogs/RltExportDlg.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/ShellNameDlg.h"
#include "dialogs/StatPropPage.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/page/ResultTable.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

// Fields of one CSV text as a spreadsheet reads them: quoted fields may hold
// commas, doubled quotes and line breaks. Each line ends in "," then LF.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> lines(1);
    std::string field;
    bool quoted = false, inField = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
            else if (c == '"') quoted = false;
            else field += c;
        } else if (c == '"' && !inField) {
            quoted = inField = true;
        } else if (c == ',') {
            lines.back().push_back(field);
            field.clear();
            inField = false;
        } else if (c == '\n') {
            EXPECT_TRUE(field.empty()) << "a line must end with \",\"";
            lines.emplace_back();
        } else {
            field += c;
            inField = true;
        }
    }
    EXPECT_TRUE(lines.back().empty());
    lines.pop_back();
    return lines;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class FileListTest : public rtest::ProgramTest {
protected:
    void SetUp() override {
        rtest::ProgramTest::SetUp();
        ASSERT_TRUE(app->InitInstance({}));
        frame = app->GetMainFrame();
        doc = app->GetDocuments().front().get();
        list = dynamic_cast<CShellNameDlg*>(frame->GetPanel(kPanelFileList));
        ASSERT_NE(list, nullptr);
    }
    // Four events; the keyword $SRC holds a comma, a quote and a line break.
    std::string WriteFcs(const std::string& name, const std::string& src = "plain") {
        lmtest::FcsWriter w;
        w.Param("FS", 32, "1000").Param("SS", 32, "1000");
        w.Event({100, 100}).Event({300, 300}).Event({600, 600}).Event({900, 900});
        w.Set("$SRC", src);
        return dir.Write(name, w.Build());
    }
    VexaDataShell* Open(const std::string& name, const std::string& src = "plain") {
        return doc->OpenDataFile(WriteFcs(name, src), 0);
    }
    void SelectRows(std::initializer_list<int> rows) {
        QTreeWidget* l = list->GetList();
        l->clearSelection();
        for (int r : rows) l->topLevelItem(r)->setSelected(true);
    }
    std::vector<lm::MenuItem> MenuShown() {
        ui.QueueMenuChoice(0);
        const int before = ui.Count(Kind::PopupMenu);
        list->OnRightClick(QPoint(5, 5));
        if (ui.Count(Kind::PopupMenu) == before) return {};
        return ui.CallsOf(Kind::PopupMenu).back().menu;
    }

    CMainFrame* frame = nullptr;
    CLumitraDoc* doc = nullptr;
    CShellNameDlg* list = nullptr;
};

TEST_F(FileListTest, RowsShowNameFileAndKeywordsAndTheMenuHasSevenOrFourItems) {
    EXPECT_TRUE(MenuShown().empty());  // no rows: no menu
    VexaDataShell* a = Open("a.fcs", "x");
    Open("b.fcs");
    QTreeWidget* l = list->GetList();
    ASSERT_EQ(l->topLevelItemCount(), 2);
    EXPECT_EQ(l->topLevelItem(0)->text(0), QString::fromStdString(a->GetName()));
    EXPECT_FALSE(l->topLevelItem(0)->text(0).isEmpty());
    EXPECT_EQ(l->topLevelItem(0)->text(1), "a.fcs");
    SelectRows({0});
    auto menu = MenuShown();
    ASSERT_EQ(menu.size(), 7u);
    const char* texts[] = {"Open", "Delete", "Export Result", "LIS", "Rename", "Transform", "Open multi-Plots"};
    const int ids[] = {1, 3, 6, 6, 2, 5, 7};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(menu[i].text, texts[i]);
        EXPECT_EQ(menu[i].id, ids[i]);
        EXPECT_TRUE(menu[i].enabled);
    }
    SelectRows({0, 1});
    EXPECT_EQ(MenuShown().size(), 4u);
    // No row selected: the row commands are greyed.
    SelectRows({});
    menu = MenuShown();
    ASSERT_EQ(menu.size(), 4u);
    for (const auto& m : menu) EXPECT_FALSE(m.enabled) << m.text.toStdString();
}

TEST_F(FileListTest, DeleteTakesTheDataSetWithItsPlotsAndTreeItem) {
    VexaDataShell* a = Open("a.fcs");
    Open("b.fcs");
    auto* plot = doc->CreatePlotAtPilot(a);
    ASSERT_NE(plot, nullptr);
    CNavigateDlg* nav = frame->GetNavigatePanel();
    ASSERT_NE(nav->GetTree()->FindDataSetItem(a), nullptr);
    SelectRows({0});
    // Declined: the question names what would go, and nothing goes.
    doc->SetModifiedFlag(false);
    ui.QueueMenuChoice(kFileDelete);
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    list->OnRightClick(QPoint(5, 5));
    ASSERT_EQ(ui.CallsOf(Kind::MessageBox).size(), 1u);
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox)[0].text.contains(QStringLiteral("data set a.fcs removes 0 gates and 1 plot or table")))
        << ui.CallsOf(Kind::MessageBox)[0].text.toStdString();
    EXPECT_EQ(doc->GetDataShellCount(), 2);
    EXPECT_EQ(doc->GetObjectCount(), 1);
    EXPECT_FALSE(doc->IsModified());
    ui.QueueMenuChoice(kFileDelete);
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    list->OnRightClick(QPoint(5, 5));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->GetDataShellCount(), 1);
    EXPECT_EQ(doc->GetObjectCount(), 0);
    EXPECT_EQ(list->GetList()->topLevelItemCount(), 1);
    EXPECT_EQ(list->GetList()->topLevelItem(0)->text(1), "b.fcs");
    EXPECT_EQ(nav->GetTree()->topLevelItemCount(), 1);
}

TEST_F(FileListTest, ADropSkipsABadFileAndOpensTheRest) {
    const std::string bad = dir.Write("bad.fcs", std::vector<uint8_t>{'n', 'o', 't'});
    list->DropFiles({QString::fromStdString(WriteFcs("a.fcs")), QString::fromStdString(bad),
                     QString::fromStdString(WriteFcs("b.fcs"))});
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    EXPECT_EQ(doc->GetDataShellAt(1)->GetFileName(), "b.fcs");
    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("FCS文件打开失败!")));
    EXPECT_TRUE(boxes[0].text.contains("bad.fcs"));
    EXPECT_EQ(boxes[0].caption, QStringLiteral("错误信息"));
    EXPECT_EQ(list->GetList()->topLevelItemCount(), 2);
}

TEST_F(FileListTest, TheSelectedRowIsTheTemplateAndTheBoxesMakeTheMask) {
    Open("a.fcs");
    VexaDataShell* b = Open("b.fcs");
    SelectRows({1});
    EXPECT_EQ(doc->GetTemplateShell(), b);
    SelectRows({});
    EXPECT_EQ(doc->GetTemplateShell(), nullptr);
    const struct {
        QCheckBox* box;
        int32_t bit;
    } boxes[] = {{list->GetGatesBox(), 1}, {list->GetPlotsBox(), 2}, {list->GetResultBox(), 4}, {list->GetBreakBox(), 8}};
    int32_t mask = 0;
    for (const auto& x : boxes) {
        x.box->setChecked(true);
        mask |= x.bit;
        EXPECT_EQ(frame->GetApplyMask(), mask);
    }
    EXPECT_TRUE(list->GetPlotsBox()->isEnabled());
    list->GetGatesBox()->setChecked(false);
    EXPECT_FALSE(list->GetPlotsBox()->isEnabled());
    EXPECT_FALSE(list->GetResultBox()->isEnabled());
    EXPECT_EQ(frame->GetApplyMask(), 2 | 4 | 8);
}

TEST_F(FileListTest, ARenamedRowRenamesItsOwnDataSetAndTheTreeFollows) {
    Open("a.fcs");
    VexaDataShell* b = Open("b.fcs");
    doc->SetModifiedFlag(false);
    list->GetList()->topLevelItem(1)->setText(0, "second");
    EXPECT_EQ(b->GetName(), "second");
    EXPECT_TRUE(doc->IsModified());
    CDataTree* tree = frame->GetNavigatePanel()->GetTree();
    EXPECT_EQ(CDataTree::ItemText(tree->FindDataSetItem(b)), "second");
}

TEST_F(FileListTest, TheItemDialogRefusesAKeywordTwiceAndMatchesEntriesToTheirDataSet) {
    Open("z.fcs");
    Open("a.fcs", "only a");
    CKWItemDlg dlg;
    dlg.SetDocument(doc);
    dlg.m_keywords = {"$src"};
    dlg.OnInitDialog();
    ASSERT_EQ(dlg.GetCombo()->count(), 2);
    EXPECT_EQ(dlg.GetCombo()->itemText(0), "a.fcs");  // sorted; data set 1
    dlg.AddKeyword("$SRC");
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox).back().text, "KeyWord existed");
    EXPECT_EQ(dlg.m_keywords.size(), 1u);
    dlg.AddKeyword("$PAR");
    EXPECT_EQ(dlg.m_keywords, (std::vector<std::string>{"$src", "$PAR"}));
    dlg.GetChosenList()->setCurrentRow(0);
    dlg.RemoveSelected();
    EXPECT_EQ(dlg.m_keywords, (std::vector<std::string>{"$PAR"}));
    EXPECT_GT(dlg.GetAllList()->findItems("$SRC", Qt::MatchExactly).size(), 0);
}

TEST_F(FileListTest, TheCsvIsQuotedAlignedByGateNameAndParsesBackToTheTitlesFieldCount) {
    VexaDataShell* a = Open("a.fcs", "x, \"y\"\nz");
    VexaDataShell* b = Open("b.fcs");
    plottest::AddRectGate(*a, 0.2f, 0.2f, 0.7f, 0.7f, 0, "CD4,\"a\"");
    plottest::AddRectGate(*a, 0.5f, 0.5f, 1.0f, 1.0f, 0, "High");
    plottest::AddRectGate(*b, 0.5f, 0.5f, 1.0f, 1.0f, 0, "High");  // b lacks CD4,"a"
    CsvExportChoice choice;
    choice.keywords = {"FileName", "$SRC"};
    choice.codes = {kStatEvents, kStatPercent, kStatMean};
    choice.params = {0, 0, 7};  // parameter 7 does not exist
    SelectRows({0, 1});
    const std::string out = dir.File("out");
    ui.QueueFileNames({QString::fromStdString(out)});
    ASSERT_TRUE(list->ExportResult(choice));
    const std::string bytes = ReadAll(out + ".csv");
    const std::string expected =
        "FileName,$SRC,AllEvents,AllPercent, Mean,\"CD4,\"\"a\"\"Events\",\"CD4,\"\"a\"\"Percent\", Mean,"
        "HighEvents,HighPercent, Mean,\n"
        "a.fcs,\"x, \"\"y\"\"\nz\",4,100.00,,2,50.00,,2,50.00,,\n"
        "b.fcs,plain,4,100.00,,,,,2,50.00,,\n";
    EXPECT_EQ(bytes, expected);
    const auto lines = ParseCsv(bytes);
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& l : lines) EXPECT_EQ(l.size(), lines[0].size());
    EXPECT_EQ(lines[0][5], "CD4,\"a\"Events");
    EXPECT_EQ(lines[1][1], "x, \"y\"\nz");
    // The export dialog told the user before (see
    // ExportNamesTheGatesTheFirstDataSetLacksBeforeWriting): nothing more
    // after writing.
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).empty());
    EXPECT_TRUE(CShellNameDlg::CsvGateMismatchText({a, b}).contains("b.fcs: CD4,\"a\""));
}

TEST_F(FileListTest, TheCsvKeepsItsPointsUnderAGermanLocale) {
    VexaDataShell* a = Open("a.fcs");
    plottest::AddRectGate(*a, 0.2f, 0.2f, 0.5f, 0.5f, 0, "G");
    CsvExportChoice choice{{"FileName"}, {0}, {kStatPercent}};
    const std::string c = CShellNameDlg::BuildCsv(choice, {a}, nullptr);
    lmtest::TempDir locdir;
    bool german = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8"})
        german = german || (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',');
    if (!german) {
        const std::string target = locdir.File("de_DE.UTF-8");
        const std::string cmd = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0 || std::filesystem::exists(target + "/LC_NUMERIC")) {
            setenv("LOCPATH", locdir.Path().c_str(), 1);
            german = std::setlocale(LC_ALL, "de_DE.UTF-8") && *std::localeconv()->decimal_point == ',';
        }
    }
    if (!german) GTEST_SKIP() << "no German locale can be had here";
    const std::string g = CShellNameDlg::BuildCsv(choice, {a}, nullptr);
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    EXPECT_EQ(g, c);
    EXPECT_NE(g.find("25.00,"), std::string::npos) << g;
}

TEST_F(FileListTest, ExportRefusesOpenFilesAndReportsAFailedWrite) {
    VexaDataShell* a = Open("a.fcs");
    CsvExportChoice choice{{"FileName"}, {0}, {kStatEvents}};
    // Nothing selected: nothing asked, nothing written.
    SelectRows({});
    EXPECT_FALSE(list->ExportResult(choice));
    EXPECT_EQ(ui.Count(Kind::SaveFile), 0);
    SelectRows({0});
    const std::string fcs = a->GetPathName();
    const std::string before = ReadAll(fcs);
    ui.QueueFileNames({QString::fromStdString(fcs)});
    EXPECT_FALSE(list->ExportResult(choice));
    EXPECT_EQ(ReadAll(fcs), before);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    ui.QueueFileNames({QString::fromStdString(dir.File("no/such/folder/x.csv"))});
    EXPECT_FALSE(list->ExportResult(choice));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 2);
    ui.QueueFileNames({QString()});  // cancelled
    EXPECT_FALSE(list->ExportResult(choice));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 2);
    const struct {
        const char* in;
        const char* out;
    } names[] = {{"/t/a", "/t/a.csv"}, {"/t/a.csv", "/t/a.csv"}, {"/t/a.txt", "/t/a.txt"}, {"/t.d/a", "/t.d/a.csv"}};
    for (const auto& n : names) EXPECT_EQ(CShellNameDlg::WithCsvExtension(n.in), n.out);
}

}  // namespace

namespace {

TEST_F(FileListTest, OpenMultiPlotsMakesEveryPairAndGivesTheDefaultsBack) {
    VexaDataShell* a = Open("a.fcs");
    const PlotDefaults saved = GetPlotDefaults();
    SelectRows({0});
    // Cancelled: nothing.
    ui.QueueMenuChoice(kFileMultiPlots);
    ui.QueueDialogResult(lm::kDialogRejected);
    list->OnRightClick(QPoint(5, 5));
    EXPECT_EQ(doc->GetObjectCount(), 0);
    ui.QueueMenuChoice(kFileMultiPlots);
    ui.QueueDialog([](QDialog* d) {
        auto* dlg = static_cast<CAddDataPlots*>(d);
        dlg->m_params = {0, 1};
        dlg->m_nPlotType = 2;
        dlg->m_nEvents = 777;
        dlg->m_nGate = 0;
        return int32_t(lm::kDialogAccepted);
    });
    list->OnRightClick(QPoint(5, 5));
    ASSERT_EQ(doc->GetObjectCount(), 1);
    auto* plot = dynamic_cast<CPLOT*>(doc->GetObjects()[0].get());
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->GetGate(), a->GetGate(0));
    EXPECT_EQ(GetPlotDefaults().evts, saved.evts);
    EXPECT_EQ(GetPlotDefaults().style, saved.style);
}

TEST_F(FileListTest, TheItemDialogShowsNoKeywordsOfADataSetWithoutData) {
    doc->AttachDataShell(nullptr);  // an empty data set
    CKWItemDlg dlg;
    dlg.SetDocument(doc);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.GetCombo()->count(), 1);
    EXPECT_EQ(dlg.GetAllList()->count(), 0);
}

}  // namespace

namespace {

TEST_F(FileListTest, AFileListShownAgainShowsTheDocumentRegisteredMeanwhile) {
    Open("a.fcs");
    frame->SetPaneFlag(kPaneFileList, false);
    frame->ShowPanels();
    CLumitraDoc* second = app->OnFileNew();
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(list->GetDocument(), doc);  // hidden: it stays where it was
    frame->SetPaneFlag(kPaneFileList, true);
    frame->ShowPanels();
    EXPECT_EQ(list->GetDocument(), second);
    EXPECT_EQ(list->GetList()->topLevelItemCount(), 0);  // not a's rows
}

}  // namespace

namespace {

TEST_F(FileListTest, TransformOpensTheTransformDialogWithTheRowsParametersToChooseFrom) {
    Open("a.fcs");
    VexaDataShell* b = Open("b.fcs");
    SelectRows({1});
    QStringList params;
    QString mode;
    ui.QueueMenuChoice(kFileTransform);
    ui.QueueDialog([&](QDialog* d) {
        const auto combos = d->findChildren<QComboBox*>();
        if (!combos.empty()) {
            for (int i = 0; i < combos[0]->count(); ++i) params << combos[0]->itemText(i);
            if (combos.size() > 1) mode = combos[1]->currentText();
        }
        return int32_t(lm::kDialogRejected);
    });
    list->OnRightClick(QPoint(5, 5));
    ASSERT_EQ(ui.Count(Kind::Dialog), 1);
    ASSERT_EQ(params.size(), b->GetParamCount());
    for (int i = 0; i < params.size(); ++i)
        EXPECT_EQ(params[i].toStdString(), b->GetParamLabel(i, 1)) << i;
    EXPECT_FALSE(mode.isEmpty());
}

TEST_F(FileListTest, ExportResultTakesWhatTheExportDialogChose) {
    Open("a.fcs");
    Open("b.fcs");
    SelectRows({0, 1});
    // Cancelled: no file asked for.
    ui.QueueMenuChoice(kFileExport);
    ui.QueueDialogResult(lm::kDialogRejected);
    list->OnRightClick(QPoint(5, 5));
    EXPECT_EQ(ui.Count(Kind::SaveFile), 0);
    std::vector<VexaDataShell*> given;
    ui.QueueMenuChoice(kFileExport);
    ui.QueueDialog([&given](QDialog* d) {
        auto* dlg = static_cast<CRltExportDlg*>(d);
        given = dlg->m_shells;
        dlg->m_keywords = {"FileName"};
        dlg->m_codes = {kStatEvents};
        dlg->m_params = {0};
        return int32_t(lm::kDialogAccepted);
    });
    const std::string out = dir.File("chosen.csv");
    ui.QueueFileNames({QString::fromStdString(out)});
    list->OnRightClick(QPoint(5, 5));
    EXPECT_EQ(given, (std::vector<VexaDataShell*>{doc->GetDataShellAt(0), doc->GetDataShellAt(1)}));
    EXPECT_EQ(ReadAll(out), "FileName,AllEvents,\na.fcs,4,\nb.fcs,4,\n");
}

TEST_F(FileListTest, TheCsvSaveDialogStartsBesideTheReportElseBesideTheDataSet) {
    std::filesystem::create_directories(dir.File("data"));
    std::filesystem::create_directories(dir.File("reports"));
    const std::string data = dir.Write("data/a.fcs", lmtest::FcsWriter().Param("FS", 32, "1000").Event({1}).Build());
    ASSERT_NE(doc->OpenDataFile(data, 0), nullptr);
    SelectRows({0});
    const CsvExportChoice choice{{"FileName"}, {0}, {kStatEvents}};
    // Unsaved report: beside the data set.
    EXPECT_FALSE(list->ExportResult(choice));  // cancelled
    ASSERT_EQ(ui.Count(Kind::SaveFile), 1);
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile).back().file.folder, QFileInfo(QString::fromStdString(data)).absolutePath());
    // A saved report: beside the report.
    QString error;
    const std::string report = dir.File("reports/r.fld");
    ASSERT_TRUE(doc->OnSaveDocument(QString::fromStdString(report), &error)) << error.toStdString();
    EXPECT_FALSE(list->ExportResult(choice));
    ASSERT_EQ(ui.Count(Kind::SaveFile), 2);
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile).back().file.folder, QFileInfo(QString::fromStdString(report)).absolutePath());
}

}  // namespace

namespace {

TEST_F(FileListTest, PanelsSummariseTheirDocumentAndAPanelWithoutSummaryGivesNothing) {
    VexaDataShell* a = Open("a.fcs");
    a->SetName("");
    frame->RebuildNavigate(doc);
    list->FillList();
    const QString title = doc->GetTitle();
    EXPECT_EQ(frame->GetPanel(kPanelNavigate)->GetText(), title + "\n  a.fcs");  // the file name stands in
    EXPECT_EQ(list->GetText(), title + "\n  ");
    // The Info Assistant lays out its own widgets and has no summary.
    EXPECT_EQ(frame->GetPanel(kPanelInfoAssistant)->GetText(), QString());
}

}  // namespace

namespace {

// The view's paint events, by region: what the user sees change.
class PaintSpy : public QObject {
public:
    QRegion painted;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

class FileListPageTest : public FileListTest {
protected:
    void SetUp() override {
        FileListTest::SetUp();
        view = frame->GetActiveReportView();
        ASSERT_NE(view, nullptr);
        a = Open("a.fcs");
        // Events at 100, 300, 600 and 900 of 1000: on linear axes the gate
        // holds the middle two, on log axes only the first.
        gate = plottest::AddRectGate(*a, 0.2f, 0.2f, 0.7f, 0.7f, 0, "G");
        plot = view->OpenShellInNewPlot(a);
        ASSERT_NE(plot, nullptr);
        // Beside the plot, inside the view.
        table = static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(300, 20, a, doc)));
        SelectRows({0});
        QCoreApplication::processEvents();
        doc->SetModifiedFlag(false);
        view->viewport()->installEventFilter(&spy);
        spy.painted = QRegion();
    }
    void TearDown() override {
        view->viewport()->removeEventFilter(&spy);
        FileListTest::TearDown();
    }
    bool Painted(const CTrkObj* obj) const {
        return spy.painted.contains(view->LogicalToClient(obj->GetRect().CenterPoint()));
    }
    // The gate's row in the table: "FileName", titles, "All", then G.
    std::string GatePercent() { return table->GetCellText(3, 1); }

    CLumitraView* view = nullptr;
    VexaDataShell* a = nullptr;
    CGateNode* gate = nullptr;
    CPLOT* plot = nullptr;
    CTrkResult* table = nullptr;
    PaintSpy spy;
};

// Transform from the row menu: OK applies what the dialog shows (Log chosen,
// no Apply) and Cancel keeps the axes; a change marks the report and is on
// the page as soon as the event loop has run, an unchanged Apply marks
// nothing.
TEST_F(FileListPageTest, TransformOkAppliesTheShownAxisMarksTheReportAndRepaintsAtOnce) {
    ASSERT_EQ(GatePercent(), "50.00");
    const struct {
        const char* what;
        int32_t mode;
        int32_t button;
        int32_t kind;  // of parameter 0 afterwards
        bool changed;
    } cases[] = {
        {"Log, Cancel", kTransModeLog, kTransCancel, kTransLinear, false},
        {"Linear, Apply, Cancel", kTransModeLinear, kTransApply, kTransLinear, false},
        {"Log, OK", kTransModeLog, kTransOk, kTransLog, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        spy.painted = QRegion();
        ui.QueueMenuChoice(kFileTransform);
        ui.QueueDialog([&](QDialog* d) {
            auto* mode = dlgtest::Control<QComboBox>(d, kTransMode);
            while (mode->currentIndex() < c.mode) dlgtest::Key(mode, Qt::Key_Down);
            while (mode->currentIndex() > c.mode) dlgtest::Key(mode, Qt::Key_Up);
            dlgtest::Control<QPushButton>(d, c.button)->click();
            if (c.button == kTransApply) dlgtest::Control<QPushButton>(d, kTransCancel)->click();
            return d->result();
        });
        list->OnRightClick(QPoint(5, 5));
        QCoreApplication::processEvents();
        EXPECT_EQ(a->GetTrans(0)->GetType(), c.kind);
        EXPECT_EQ(plot->GetXTrans()->GetType(), c.kind);
        EXPECT_EQ(doc->IsModified(), c.changed);
        EXPECT_EQ(Painted(plot), c.changed);
        EXPECT_EQ(Painted(table), c.changed);
    }
    // X on a log axis: 100 is in the gate's X range but not in its Y range.
    EXPECT_EQ(GatePercent(), "0.00");
}

// "Open multi-Plots" fills its dialog: the rows, the gates and the kinds to
// choose from; two parameters checked by the user give one dot plot.
TEST_F(FileListPageTest, OpenMultiPlotsOffersTheDataSetsParametersAndMakesThePlotsChecked) {
    const int before = doc->GetObjectCount();
    ui.QueueMenuChoice(kFileMultiPlots);
    ui.QueueDialog([&](QDialog* d) {
        auto* rows = dlgtest::Control<QTreeWidget>(d, kAddPlotsParams);
        EXPECT_EQ(rows->topLevelItemCount(), 2);
        auto* gates = dlgtest::Control<QComboBox>(d, kAddPlotsGate);
        EXPECT_EQ(gates->count(), 2);
        EXPECT_EQ(gates->currentText(), "All");
        EXPECT_TRUE(dlgtest::Control<QCheckBox>(d, kAddPlotsDot)->isChecked());
        EXPECT_EQ(dlgtest::Control<QLineEdit>(d, kAddPlotsEvents)->text(), "10000");
        dlgtest::Key(gates, Qt::Key_Down);  // the gate G
        for (int r = 0; r < rows->topLevelItemCount(); ++r) {
            rows->setCurrentItem(rows->topLevelItem(r));
            dlgtest::Key(rows, Qt::Key_Space);
        }
        dlgtest::Control<QPushButton>(d, kAddPlotsOk)->click();
        return d->result();
    });
    list->OnRightClick(QPoint(5, 5));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    ASSERT_EQ(doc->GetObjectCount(), before + 1);
    auto* made = dynamic_cast<CPLOT*>(doc->GetObjects().back().get());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetGate(), gate);
    EXPECT_EQ(made->GetXParam(), 0);
    EXPECT_EQ(made->GetYParam(), 1);
    EXPECT_TRUE(doc->IsModified());
}

// A row renamed from the menu: the plot's title follows without further
// input, and the report is marked.
TEST_F(FileListPageTest, RenameRepaintsThePlotTitlesAtOnce) {
    // Not the active object, which any redraw repaints.
    doc->SetActiveObject(nullptr);
    ui.QueueMenuChoice(kFileRename);
    list->OnRightClick(QPoint(5, 5));
    auto* editor = list->GetList()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    // Opening the editor may repaint the page: only what the new name does counts.
    QCoreApplication::processEvents();
    spy.painted = QRegion();
    dlgtest::Type(editor, "Patient 7");
    QCoreApplication::processEvents();
    EXPECT_EQ(a->GetName(), "Patient 7");
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(spy.painted.contains(view->LogicalToClient(plot->GetTitleRect().CenterPoint())));
}

}  // namespace

namespace {

// A double click as the user makes it: press, release, double click, release.
void DoubleClickItem(QListWidget* list, QListWidgetItem* item) {
    const QPoint at = list->visualItemRect(item).center();
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                           QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                      t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &e);
    }
}

// The Item dialog's keyword columns are kept in the report: choosing them
// marks it, a choice that changes nothing (Cancel, OK on the same list) does
// not, and the report opened again shows the same columns. Values that are
// not UTF-8 (an older file's, in code page 936) read as Chinese in the list.
TEST_F(FileListTest, ItemColumnsMarkTheReportOnlyWhenChangedAndComeBackWithIt) {
    const std::string patient = "\xB2\xA1\xC8\xCB 7";  // "病人 7" in code page 936
    Open("a.fcs", patient);
    const struct {
        bool add;
        bool ok;
        bool marked;
    } cases[] = {{true, false, false}, {false, true, false}, {true, true, true}, {false, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.add * 2 + c.ok);
        doc->SetModifiedFlag(false);
        ui.QueueDialog([&](QDialog* d) {
            d->show();
            QCoreApplication::processEvents();
            auto* all = d->findChild<QListWidget*>("list1108");
            const auto found = all->findItems("$SRC", Qt::MatchExactly);
            EXPECT_EQ(found.size(), 1);
            if (c.add && !found.empty()) DoubleClickItem(all, found.front());
            d->findChild<QDialogButtonBox*>()->button(c.ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
            return d->result();
        });
        list->GetItemButton()->click();
        EXPECT_EQ(doc->IsModified(), c.marked);
    }
    QTreeWidget* l = list->GetList();
    ASSERT_EQ(l->columnCount(), 3);
    EXPECT_EQ(l->headerItem()->text(2), "$SRC");
    EXPECT_EQ(l->topLevelItem(0)->text(2), QStringLiteral("病人 7"));

    const QString report = QString::fromStdString(dir.File("r.fld"));
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(report, &error)) << error.toStdString();
    app->CloseDocument(doc);
    doc = nullptr;
    CLumitraDoc* opened = app->OpenDocumentFile(report);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->KeywordColumns(), (std::vector<std::string>{"$SRC"}));
    EXPECT_EQ(list->GetDocument(), opened);
    ASSERT_EQ(l->columnCount(), 3);
    EXPECT_EQ(l->headerItem()->text(2), "$SRC");
    EXPECT_FALSE(opened->IsModified());
}

// The CSV is UTF-8 throughout: a keyword value in code page 936 is written
// as the same characters in UTF-8, beside a UTF-8 gate name.
TEST_F(FileListTest, KeywordValuesInCodePage936AreWrittenToTheCsvInUtf8) {
    VexaDataShell* a = Open("a.fcs", "\xB2\xA1\xC8\xCB 7");
    VexaDataShell* b = Open("b.fcs", "病人 8");
    plottest::AddRectGate(*a, 0.2f, 0.2f, 0.7f, 0.7f, 0, "淋巴");
    plottest::AddRectGate(*b, 0.2f, 0.2f, 0.7f, 0.7f, 0, "淋巴");
    SelectRows({0, 1});
    const std::string out = dir.File("k.csv");
    ui.QueueFileNames({QString::fromStdString(out)});
    ASSERT_TRUE(list->ExportResult(CsvExportChoice{{"$SRC"}, {0}, {kStatEvents}}));
    EXPECT_EQ(ReadAll(out), "$SRC,AllEvents,淋巴Events,\n病人 7,4,2,\n病人 8,4,2,\n");
}

}  // namespace

namespace {

// The export as the user runs it: rows chosen, "Export Result" from the
// menu, Events ticked instead of Percent in the dialog, OK; answer says what
// a question gets, and the file chosen is out.
void ExportEventsViaMenu(lm::ScriptedUiServices& ui, CShellNameDlg* list, const std::string& out,
                         std::vector<int32_t> answers, int* savesBeforeAccept = nullptr) {
    ui.QueueMenuChoice(kFileExport);
    ui.QueueDialog([&ui, answers, savesBeforeAccept](QDialog* d) {
        auto* dlg = static_cast<CRltExportDlg*>(d);
        dlgtest::Control<QCheckBox>(dlg->StatPage(), kStatPagePercent)->click();
        dlgtest::Control<QCheckBox>(dlg->StatPage(), kStatPageEvent)->click();
        for (int32_t answer : answers) {
            if (answer >= 0) ui.QueueMessageBoxAnswer(answer);  // -1: no question expected
            dlgtest::Control<QPushButton>(dlg, kExportOk)->click();
            if (dlg->result() == QDialog::Accepted) break;
        }
        if (savesBeforeAccept) *savesBeforeAccept = ui.Count(Kind::SaveFile);
        return int32_t(dlg->result() == QDialog::Accepted ? lm::kDialogAccepted : lm::kDialogRejected);
    });
    ui.QueueFileNames({QString::fromStdString(out)});
    list->OnRightClick(QPoint(5, 5));
}

TEST_F(FileListTest, TwoGatesOfOneNameReadFromAReportExportEachItsOwnValues) {
    VexaDataShell* a = Open("a.fcs");
    VexaDataShell* b = Open("b.fcs");
    // Two gates named G3 in each: in a the first holds two events and the
    // second none; in b the other way round.
    plottest::AddRectGate(*a, 0.2f, 0.2f, 0.7f, 0.7f, 0, "G3");
    plottest::AddRectGate(*a, 0.01f, 0.01f, 0.05f, 0.05f, 0, "G3");
    plottest::AddRectGate(*b, 0.01f, 0.01f, 0.05f, 0.05f, 0, "G3");
    plottest::AddRectGate(*b, 0.5f, 0.5f, 1.0f, 1.0f, 0, "G3");
    const QString report = QString::fromStdString(dir.File("twice.fld"));
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(report, &error)) << error.toStdString();
    app->CloseDocument(doc);
    doc = app->OpenDocumentFile(report);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    ASSERT_EQ(doc->GetDataShellAt(0)->GetGateCount(), 3);
    SelectRows({0, 1});
    const std::string out = dir.File("twice.csv");
    ExportEventsViaMenu(ui, list, out, {-1});
    EXPECT_EQ(ReadAll(out), "FileName,AllEvents,G3Events,G3Events,\na.fcs,4,2,0,\nb.fcs,4,0,2,\n");
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).empty());  // every gate has its column
}

TEST_F(FileListTest, ExportNamesTheGatesTheFirstDataSetLacksBeforeWriting) {
    VexaDataShell* a = Open("a.fcs");
    VexaDataShell* b = Open("b.fcs");
    Open("c.fcs");
    plottest::AddRectGate(*a, 0.2f, 0.2f, 0.7f, 0.7f, 0, "X");
    plottest::AddRectGate(*b, 0.2f, 0.2f, 0.7f, 0.7f, 0, "X");
    plottest::AddRectGate(*b, 0.5f, 0.5f, 1.0f, 1.0f, 0, "G2");  // a lacks it: no column takes it
    SelectRows({0, 1, 2});
    const std::string out = dir.File("gates.csv");
    // No: the dialog stays, nothing is asked for or written.
    int saves = -1;
    ExportEventsViaMenu(ui, list, out, {lm::kIdNo}, &saves);
    EXPECT_EQ(saves, 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    const auto ask = ui.CallsOf(Kind::MessageBox)[0];
    EXPECT_EQ(ask.buttons, lm::MsgButtons::YesNo);
    const QStringList lines = ask.text.split('\n');
    EXPECT_TRUE(lines.contains("b.fcs: G2 (2 events)")) << ask.text.toStdString();
    EXPECT_TRUE(lines.contains("c.fcs: X")) << ask.text.toStdString();
    EXPECT_FALSE(ask.text.contains("a.fcs:")) << ask.text.toStdString();
    EXPECT_LT(ask.text.indexOf("Left out"), ask.text.indexOf("b.fcs: G2"));
    EXPECT_LT(ask.text.indexOf("Left empty"), ask.text.indexOf("c.fcs: X"));
    // Yes: written as the format has it, titles from the first data set.
    ui.Clear();
    ExportEventsViaMenu(ui, list, out, {lm::kIdYes}, &saves);
    EXPECT_EQ(saves, 0);  // asked before the file
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ReadAll(out), "FileName,AllEvents,XEvents,\na.fcs,4,2,\nb.fcs,4,2,\nc.fcs,4,,\n");
}

}  // namespace
