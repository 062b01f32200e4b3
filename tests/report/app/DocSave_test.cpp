// Saving reports the way a user does, through the File menu and its file
// dialog, with the saved file read back: a report made from a template never
// replaces the template, a file another program saved over is not lost
// without a question, a desktop ending the session asks as Quit does, names
// up to the file system's limit save, and leftovers of a save that died are
// cleared away.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/AtomicFile.h"
#include "core/DataShell.h"
#include "report/app/ChildFrame.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/Plot.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;
namespace fs = std::filesystem;

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int PlotCount(const CLumitraDoc& doc) {
    int n = 0;
    for (const auto& obj : doc.GetObjects()) n += obj->GetType() == kObjPlot;
    return n;
}

// The objects of a saved report, read back by a document of its own.
int PlotsInFile(const std::string& path) {
    CLumitraDoc doc;
    QString error;
    EXPECT_TRUE(doc.OnOpenDocument(Q(path), &error)) << error.toStdString();
    return PlotCount(doc);
}

class DocSaveTest : public rtest::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(app->InitInstance({}));
        fcs = dir.Write("sample.fcs", fldtest::FiveParamFcs(400));
        ui.Clear();
    }

    CMainFrame* Frame() const { return app->GetMainFrame(); }
    CLumitraDoc* Active() const { return Frame()->GetActiveDocument(); }
    // A menu item chosen.
    void Command(int32_t id) {
        QAction* a = Frame()->FindMenuAction(id);
        ASSERT_NE(a, nullptr) << id;
        a->trigger();
    }
    vin::Driver Driver() const { return vin::Driver(Frame()->GetActiveReportView()); }
    CLumitraDoc* OpenThroughMenu(const std::string& path) {
        ui.QueueFileNames({Q(path)});
        Command(kCmdFileOpen);
        return Active();
    }
    // A report of two plots on the sample, written by a document of its own.
    std::string TwoPlotReport(const std::string& name) {
        CLumitraDoc doc;
        VexaDataShell* shell = doc.OpenDataFile(fcs, 0);
        EXPECT_NE(shell, nullptr);
        doc.CreatePlot(20, 20, shell);
        doc.CreatePlot(400, 20, shell);
        const std::string path = dir.File(name);
        QString error;
        EXPECT_TRUE(doc.OnSaveDocument(Q(path), &error)) << error.toStdString();
        return path;
    }
    // A click on the plot's title band, then Delete.
    void DeletePlotAt(CPoint p) {
        const vin::Driver d = Driver();
        d.Click(p);
        d.Key(Qt::Key_Delete);
    }

    std::string fcs;
};

TEST_F(DocSaveTest, AReportReadFromATemplateAsksForANameOnSaveAndTheTemplateStaysAsItWas) {
    // A template of one plot, made with "Save As Template...": the dialog
    // starts where the database panel looks for templates, made when missing.
    Driver().Drop({fcs}, CPoint(100, 100));
    ASSERT_EQ(PlotCount(*Active()), 1);
    const QString templates = Q(dir.Path()) + QStringLiteral("/Database/Template");
    const std::string tpl = (templates + QStringLiteral("/CD4.fld")).toStdString();
    ui.QueueFileNames({Q(tpl)});
    Command(kCmdSaveAsTemplate);
    ASSERT_EQ(ui.Count(Kind::SaveFile), 1);
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile)[0].file.folder, templates);
    ASSERT_TRUE(CLumitraDoc::IsTemplateFile(Q(tpl)));
    const std::string templateBytes = ReadAll(tpl);

    // Opened, a sample dropped on it, Ctrl+S: a name is asked for.
    CLumitraDoc* doc = OpenThroughMenu(tpl);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetPathName(), Q(tpl));
    EXPECT_TRUE(doc->IsFromTemplate());
    Driver().Drop({fcs}, CPoint(600, 100));
    ASSERT_TRUE(doc->IsModified());
    ui.Clear();
    const std::string report = dir.File("patient.fld");
    ui.QueueFileNames({Q(report)});
    Command(kCmdFileSave);
    ASSERT_EQ(ui.Count(Kind::SaveFile), 1);
    // Offered its name, not its place: beside the sample, away from the
    // templates.
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile)[0].file.fileName, QStringLiteral("CD4.fld"));
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile)[0].file.folder, QFileInfo(Q(fcs)).absolutePath());
    EXPECT_EQ(ReadAll(tpl), templateBytes);
    EXPECT_FALSE(CLumitraDoc::IsTemplateFile(Q(report)));
    EXPECT_NE(ReadAll(report).find(fs::path(fcs).filename().string()), std::string::npos);
    EXPECT_EQ(doc->GetPathName(), Q(report));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_FALSE(doc->IsFromTemplate());

    // A report now: the next Save writes it where it is.
    ui.Clear();
    doc->SetModifiedFlag();
    Command(kCmdFileSave);
    EXPECT_EQ(ui.Count(Kind::SaveFile), 0);
    EXPECT_FALSE(doc->IsModified());

    // Save As onto the template is refused with a word, and the name asked
    // again (here: cancelled).
    ui.Clear();
    ui.QueueFileNames({Q(tpl)});
    Command(kCmdFileSaveAs);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox)[0].text.contains("is a template")) << ui.Calls()[0].text.toStdString();
    EXPECT_EQ(ui.Count(Kind::SaveFile), 2);
    EXPECT_EQ(ReadAll(tpl), templateBytes);
    EXPECT_EQ(doc->GetPathName(), Q(report));

    // "Save As Template..." replaces it on purpose.
    ui.Clear();
    ui.QueueFileNames({Q(tpl)});
    Command(kCmdSaveAsTemplate);
    EXPECT_TRUE(CLumitraDoc::IsTemplateFile(Q(tpl)));
    EXPECT_NE(ReadAll(tpl), templateBytes);
}

TEST_F(DocSaveTest, ASaveOverAFileAnotherProgramSavedAsksFirst) {
    const std::string path = TwoPlotReport("r.fld");
    CLumitraDoc* a = OpenThroughMenu(path);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(PlotCount(*a), 2);
    const CPoint firstTitle(100, 26), secondTitle(480, 26);

    // Another program opens the same report, deletes plot 2 and saves.
    CLumitraDoc b;
    QString error;
    ASSERT_TRUE(b.OnOpenDocument(Q(path), &error)) << error.toStdString();
    b.RemoveObject(b.GetObjectAt(1), false);
    ASSERT_TRUE(b.OnSaveDocument(Q(path), &error)) << error.toStdString();
    const std::string theirs = ReadAll(path);

    // This one deletes plot 1; Ctrl+S asks, and Cancel keeps the other's file.
    DeletePlotAt(firstTitle);
    ASSERT_EQ(PlotCount(*a), 1);
    ASSERT_TRUE(a->IsModified());
    ui.Clear();
    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    Command(kCmdFileSave);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    const auto box = ui.CallsOf(Kind::MessageBox)[0];
    EXPECT_EQ(box.buttons, lm::MsgButtons::YesNoCancel);
    EXPECT_TRUE(box.text.contains("changed by another program")) << box.text.toStdString();
    EXPECT_EQ(ReadAll(path), theirs);
    EXPECT_TRUE(a->IsModified());
    EXPECT_TRUE(Frame()->windowTitle().contains('*') || app->FramesOf(a).front()->windowTitle().contains('*'));

    // Yes: under another name; the other program's file stays.
    ui.Clear();
    const std::string other = dir.File("mine.fld");
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    ui.QueueFileNames({Q(other)});
    Command(kCmdFileSave);
    EXPECT_EQ(ui.Count(Kind::SaveFile), 1);
    EXPECT_EQ(ReadAll(path), theirs);
    EXPECT_EQ(a->GetPathName(), Q(other));
    EXPECT_FALSE(a->IsModified());
    EXPECT_EQ(PlotsInFile(other), 1);

    // A file replaced by a rename with the same size and modification time
    // is still seen; No overwrites it, and the next save asks nothing.
    const std::string mine = ReadAll(other);
    const lm::FileStamp before = lm::StampOfFile(other);
    std::string replaced = mine;
    replaced[replaced.size() - 1] ^= 0x5A;  // another last word, as long
    const std::string temp = dir.Write("elsewhere.tmp", std::vector<uint8_t>(replaced.begin(), replaced.end()));
    const timespec times[2] = {{before.mtimeSec, before.mtimeNsec}, {before.mtimeSec, before.mtimeNsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, temp.c_str(), times, 0), 0);
    ASSERT_EQ(::rename(temp.c_str(), other.c_str()), 0);
    a->SetModifiedFlag();
    ui.Clear();
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    Command(kCmdFileSave);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ReadAll(other), mine);
    EXPECT_FALSE(a->IsModified());

    // Gone: nothing to lose, nothing asked; the report is written anew.
    fs::remove(other);
    a->SetModifiedFlag();
    ui.Clear();
    Command(kCmdFileSave);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    EXPECT_EQ(ReadAll(other), mine);

    // Touched only, the bytes the same: nothing to lose, nothing asked.
    ASSERT_EQ(::utimensat(AT_FDCWD, other.c_str(), nullptr, 0), 0);
    a->SetModifiedFlag();
    ui.Clear();
    Command(kCmdFileSave);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    EXPECT_FALSE(a->IsModified());
}

TEST_F(DocSaveTest, TheDesktopEndingTheSessionAsksAboutUnsavedReportsAsQuitDoes) {
    CLumitraDoc* doc = Active();
    Driver().Drop({fcs}, CPoint(100, 100));
    ASSERT_TRUE(doc->IsModified());

    // Cancel stops the logout; the report stays as it is.
    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    EXPECT_FALSE(app->CommitData(true));
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_TRUE(ui.Calls()[0].text.startsWith("Save changes to")) << ui.Calls()[0].text.toStdString();
    EXPECT_TRUE(doc->IsModified());
    // Not allowed to ask: nothing can be done.
    ui.Clear();
    EXPECT_TRUE(app->CommitData(false));
    EXPECT_EQ(ui.Calls().size(), 0u);
    // Yes saves it, under the name asked for.
    const std::string path = dir.File("logout.fld");
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    ui.QueueFileNames({Q(path)});
    EXPECT_TRUE(app->CommitData(true));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(PlotsInFile(path), 1);
}

TEST_F(DocSaveTest, SigtermIsTakenAsQuitAndAsksAboutUnsavedReports) {
    CLumitraDoc* doc = Active();
    Driver().Drop({fcs}, CPoint(100, 100));
    ASSERT_TRUE(doc->IsModified());
    auto deliver = [this](int calls) {
        ASSERT_EQ(::raise(SIGTERM), 0);
        for (int i = 0; i < 1000 && int(ui.Calls().size()) < calls; ++i) QCoreApplication::processEvents();
    };
    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    deliver(1);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_TRUE(ui.Calls()[0].text.startsWith("Save changes to"));
    EXPECT_EQ(app->GetDocuments().size(), 1u);
    EXPECT_TRUE(doc->IsModified());
    // No: the program ends its documents as Quit does.
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    deliver(2);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 2);
    EXPECT_TRUE(app->GetDocuments().empty());
}

TEST_F(DocSaveTest, NamesUpToTheFileSystemsLimitAreSavedAndReopened) {
    Driver().Drop({fcs}, CPoint(100, 100));
    std::string chinese;
    for (int i = 0; i < 81; ++i) chinese += "\xE6\x8A\xA5";  // "报", 3 bytes
    // 250 bytes; 85 characters (247 bytes); 255 bytes.
    for (const std::string& name : {std::string(246, 'r') + ".fld", chinese + ".fld", std::string(251, 's') + ".fld"}) {
        const std::string path = dir.File(name);
        ui.Clear();
        ui.QueueFileNames({Q(path)});
        Command(kCmdFileSaveAs);
        EXPECT_EQ(ui.Count(Kind::MessageBox), 0) << (ui.Calls().empty() ? "" : ui.Calls().back().text.toStdString());
        ASSERT_TRUE(fs::exists(path)) << name.size();
        EXPECT_FALSE(Active()->IsModified());
        EXPECT_EQ(PlotsInFile(path), 1);
    }
    // The pictures and the PDF of the page go through the same writer.
    const std::string pdf = dir.File(std::string(251, 'p') + ".pdf");
    QString error;
    EXPECT_TRUE(Active()->ExportPdf(Q(pdf), &error)) << error.toStdString();
    const std::string jpg = dir.File(std::string(251, 'j') + ".jpg");
    EXPECT_TRUE(Active()->SaveAreaAsJpg(0, 0, 200, 200, Q(jpg), &error)) << error.toStdString();
    EXPECT_GT(fs::file_size(pdf), 0u);
    EXPECT_GT(fs::file_size(jpg), 0u);
    for (const auto& e : fs::directory_iterator(dir.Path()))
        EXPECT_FALSE(lm::IsAtomicTempName(e.path().filename().string())) << e.path();
}

TEST_F(DocSaveTest, ATemporaryFileLeftByASaveThatDiedGoesWhenTheReportOpensAgain) {
    const std::string path = TwoPlotReport("big.fld");
    // A program killed in the middle of saving this report.
    const pid_t child = ::fork();
    if (child == 0) {
        auto* w = new lm::AtomicFileWriter;
        std::string e;
        if (!w->Open(path, &e) || !w->Write("FLD half", 8, &e)) ::_exit(1);
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    auto leftovers = [this] {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir.Path())) n += lm::IsAtomicTempName(e.path().filename().string());
        return n;
    };
    ASSERT_EQ(leftovers(), 1);
    CLumitraDoc* doc = OpenThroughMenu(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(PlotCount(*doc), 2);
    EXPECT_EQ(leftovers(), 0);

    // The program's own folders are cleared when it starts again.
    const std::string database = dir.Path() + "/Database";
    fs::create_directories(database);
    char name[64];
    std::snprintf(name, sizeof name, "/.lumitra-%ld-0123abcd.tmp", long(child));
    dir.Write(std::string("Database") + name, {1, 2});
    dir.Write(name + 1, {1, 2});
    app.reset();
    ASSERT_TRUE(fs::exists(database + name));
    app = std::make_unique<CLumitraApp>();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_FALSE(fs::exists(database + name));
    EXPECT_EQ(leftovers(), 0);
}

}  // namespace
