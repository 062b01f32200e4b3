// Filed reports in the running program: filed from the Database panel, opened
// again any way a user opens a report, given new data by a drop and saved
// with Ctrl+S; what a killed save or filing left behind; the question about
// lost characters; the linked grid's texts.
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTableView>
#include <QPushButton>
#include <QToolButton>

#include <functional>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "database/DatabaseDlg.h"
#include "database/DatabaseIds.h"
#include "database/RecordModel.h"
#include "platform/PaintHelpers.h"
#include "report/app/ChildFrame.h"
#include "report/app/CommandIds.h"
#include "report/app/FrameDlgBar.h"
#include "report/app/MainFrame.h"
#include "report/page/Cell.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "report/page/TrkText.h"
#include "tests/database/DbTestUtil.h"
#include "tests/report/ViewEvents.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

const QDateTime kNow(QDate(2024, 2, 29), QTime(10, 0));

QByteArray Bytes(const QString& path) { return dbtest::FileBytes(path); }

void Put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

void SetModified(const QString& path, const QDateTime& when) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite)) << path.toStdString();
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
}

// Files in a folder, hidden ones too, by name.
QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

class FilingTest : public rtest::ProgramTest {
protected:
    // The command line, and files the program finds when it starts.
    virtual QStringList Args() { return {}; }
    virtual void BeforeStart() {}
    void SetUp() override {
        ProgramTest::SetUp();
        base = QString::fromStdString(dir.Path()) + QStringLiteral("/Database/");
        pdfs = base + QStringLiteral("PDFReport/");
        BeforeStart();
        ASSERT_TRUE(app->InitInstance(Args()));
        frame = app->GetMainFrame();
        panel = dynamic_cast<CDatabaseDlg*>(frame->GetDatabasePanel());
        ASSERT_NE(panel, nullptr);
        ASSERT_EQ(panel->BaseFolder(), base);
        panel->SetNow(kNow);
        qobject_cast<QToolButton*>(frame->GetDialogBar()->Control(kCtlPaneDatabase))->click();
        ASSERT_TRUE(panel->isVisible());
        ui.Clear();
    }

    void Type(int32_t id, const QString& text) const { qobject_cast<QLineEdit*>(panel->Control(id))->setText(text); }
    // A template with nothing on it in "Database/Template".
    void MakeTemplate(const QString& name) {
        QDir().mkpath(base + QStringLiteral("Template"));
        CLumitraDoc doc;
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(base + QStringLiteral("Template/") + name, &error)) << error.toStdString();
    }
    // New ▸ DB & Report ▸ the first template, for a new patient.
    CLumitraDoc* FileFromPanel(const QString& id, const QString& name) {
        Type(kDbId, id);
        Type(kDbName, name);
        ui.QueueMenuChoice(kMenuNewTemplateFirst);
        qobject_cast<QPushButton*>(panel->Control(kDbNew))->click();
        return app->GetDocuments().empty() ? nullptr : app->GetDocuments().back().get();
    }
    // A report filed from the panel, saved with Ctrl+S and closed; its path.
    QString FiledAndClosed() {
        MakeTemplate(QStringLiteral("Blood.fld"));
        CLumitraDoc* doc = FileFromPanel(QStringLiteral("p1"), QStringLiteral("甲"));
        EXPECT_NE(doc, nullptr);
        if (!doc) return {};
        frame->OnCommand(kCmdFileSave);
        EXPECT_FALSE(doc->IsModified());
        const QString path = doc->GetPathName();
        EXPECT_TRUE(app->OnFileClose(doc));
        return path;
    }
    CLumitraDoc* OpenByFileOpen(const QString& path) {
        ui.QueueFileNames({path});
        frame->OnCommand(kCmdFileOpen);
        return DocumentAt(path);
    }
    CLumitraDoc* DocumentAt(const QString& path) const {
        for (const auto& d : app->GetDocuments())
            if (d->GetPathName() == path) return d.get();
        return nullptr;
    }
    // An FCS file outside the register, dropped on the report's first view
    // where the page is empty.
    QString DropNewFcs(CLumitraDoc* doc, const char* name) {
        const QString fcs = QString::fromStdString(dir.Write(name, vin::FcsBytes(vin::GridEvents())));
        const std::vector<CChildFrame*> frames = app->FramesOf(doc);
        EXPECT_FALSE(frames.empty());
        if (frames.empty()) return {};
        vin::Driver d(frames.front()->GetViews().front());
        d.Drop({fcs.toStdString()}, CPoint(600, 700));
        EXPECT_TRUE(d.lastDropAccepted);
        return fcs;
    }
    QString PdfOf(const QString& report) const { return pdfs + QFileInfo(report).completeBaseName() + QStringLiteral(".pdf"); }
    QStringList Messages() const {
        QStringList texts;
        for (const auto& c : ui.CallsOf(Kind::MessageBox)) texts << c.text;
        return texts;
    }
    static QString PathOf(const CLumitraDoc* doc, int shell) {
        return QString::fromStdString(doc->GetDataShellAt(shell)->GetDataSet()->GetPathName());
    }

    CMainFrame* frame = nullptr;
    CDatabaseDlg* panel = nullptr;
    QString base, pdfs;
};

// Each way in ends with a drop and Ctrl+S that file the new data set and
// rewrite the PDF, as a report opened from the panel does.
TEST_F(FilingTest, AFiledReportOpenedByFileOpenOrTheRecentListFilesItsNewDataAndPdfOnSave) {
    const QString report = FiledAndClosed();
    ASSERT_TRUE(QFileInfo(PdfOf(report)).isFile()) << Messages().join(QLatin1Char('|')).toStdString();
    const QString folder = QFileInfo(report).absolutePath() + QLatin1Char('/');
    const struct {
        const char* way;
        std::function<CLumitraDoc*()> open;
    } ways[] = {
        {"File > Open", [&] { return OpenByFileOpen(report); }},
        {"the recent-file list", [&] {
             EXPECT_EQ(app->GetRecentFiles().value(0), report);
             frame->OnCommand(kCmdFileMru1);
             return DocumentAt(report);
         }},
    };
    int n = 0;
    for (const auto& w : ways) {
        ui.Clear();
        CLumitraDoc* doc = w.open();
        ASSERT_NE(doc, nullptr) << w.way;
        EXPECT_EQ(QString::fromStdString(doc->GetSampleFolder()), folder) << w.way;
        Put(PdfOf(report), "stale");
        const QString name = QStringLiteral("tube%1.fcs").arg(++n);
        const QString fcs = DropNewFcs(doc, name.toUtf8().constData());
        ASSERT_EQ(doc->GetDataShellCount(), n) << w.way;
        EXPECT_TRUE(doc->IsModified()) << w.way;
        frame->OnCommand(kCmdFileSave);
        EXPECT_FALSE(doc->IsModified()) << w.way;
        EXPECT_TRUE(Messages().isEmpty()) << w.way << Messages().join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(Bytes(PdfOf(report)).startsWith("%PDF")) << w.way;
        const QString copy = folder + QDate::currentDate().toString(QStringLiteral("yyMMdd-")) + name;
        EXPECT_EQ(PathOf(doc, n - 1), copy) << w.way;
        EXPECT_EQ(Bytes(copy), Bytes(fcs)) << w.way;
        ASSERT_TRUE(app->OnFileClose(doc)) << w.way;
    }
    // Saved elsewhere with Save As, the report is no longer filed: nothing
    // is copied into the sample folder for it and no PDF is written.
    CLumitraDoc* doc = OpenByFileOpen(report);
    ASSERT_NE(doc, nullptr);
    const QString away = QString::fromStdString(dir.File("away.fld"));
    DropNewFcs(doc, "tube9.fcs");
    ui.QueueFileNames({away});
    frame->OnCommand(kCmdFileSaveAs);
    EXPECT_EQ(doc->GetPathName(), away);
    EXPECT_TRUE(doc->GetSampleFolder().empty());
    EXPECT_EQ(PathOf(doc, n), QString::fromStdString(dir.File("tube9.fcs")));
    EXPECT_FALSE(QFileInfo::exists(PdfOf(away)));
}

// The program started with a filed report on its command line.
class CommandLineFilingTest : public FilingTest {
protected:
    void BeforeStart() override {
        report = base + QStringLiteral("202402/29-001p1/R.fld");
        QDir().mkpath(QFileInfo(report).absolutePath());
        CLumitraDoc doc;
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(report, &error)) << error.toStdString();
    }
    QStringList Args() override { return {report}; }
    QString report;
};

TEST_F(CommandLineFilingTest, AFiledReportOnTheCommandLineFilesItsNewDataAndPdfOnSave) {
    CLumitraDoc* doc = DocumentAt(report);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(QString::fromStdString(doc->GetSampleFolder()), QFileInfo(report).absolutePath() + QLatin1Char('/'));
    Put(PdfOf(report), "stale");
    const QString fcs = DropNewFcs(doc, "tube.fcs");
    frame->OnCommand(kCmdFileSave);
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(Bytes(PdfOf(report)).startsWith("%PDF"));
    EXPECT_EQ(QFileInfo(PathOf(doc, 0)).absolutePath(), QFileInfo(report).absolutePath());
    EXPECT_EQ(Bytes(PathOf(doc, 0)), Bytes(fcs));
}

// What a filing killed half-way leaves: a whole copy of the FCS file that the
// report on disk does not name yet, a copy cut short, the PDF's temporary
// files. The next save uses the copy and removes the rest.
TEST_F(FilingTest, ASaveAfterAKilledOneUsesItsCopyAndRemovesItsTemporaryFiles) {
    const QString report = FiledAndClosed();
    const QString folder = QFileInfo(report).absolutePath() + QLatin1Char('/');
    CLumitraDoc* doc = OpenByFileOpen(report);
    ASSERT_NE(doc, nullptr);
    const QString fcs = DropNewFcs(doc, "big.fcs");
    // Made on another day: a copy is known by its bytes, not by its date.
    const QString earlier = folder + QStringLiteral("240228-big.fcs");
    Put(earlier, Bytes(fcs));
    QByteArray other = Bytes(fcs);
    other[other.size() - 1] = char(other[other.size() - 1] ^ 1);
    Put(folder + QStringLiteral("240227-big.fcs"), other);  // same size, other bytes
    const QString part = folder + QLatin1Char('.') + QDate::currentDate().toString(QStringLiteral("yyMMdd-")) +
                         QStringLiteral("big.fcs.part");
    Put(part, Bytes(fcs).left(100));
    const QString pdfName = QFileInfo(PdfOf(report)).fileName();
    Put(pdfs + QLatin1Char('.') + pdfName + QStringLiteral(".a1B2c3"), "half a PDF");
    Put(pdfs + QLatin1Char('.') + pdfName + QStringLiteral(".owner.Xy12Zq"), "half a record");
    Put(pdfs + QStringLiteral(".other.pdf.a1B2c3"), "another report's");
    ui.Clear();
    frame->OnCommand(kCmdFileSave);
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(PathOf(doc, 0), earlier);
    // Nothing copied again ("...000"), nothing else left.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              (QStringList{QFileInfo(report).fileName(), "240227-big.fcs", "240228-big.fcs"}));
    EXPECT_FALSE(QFileInfo::exists(part));
    const QStringList left = Entries(pdfs);
    EXPECT_EQ(left, (QStringList{"." + pdfName + ".owner", ".other.pdf.a1B2c3", pdfName}))
        << left.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(Bytes(PdfOf(report)).startsWith("%PDF"));
}

TEST_F(FilingTest, AMissingOrOutOfDatePdfIsWrittenWhenTheFiledReportOpens) {
    const QString report = FiledAndClosed();
    const QString pdf = PdfOf(report);
    ASSERT_TRUE(QFile::remove(pdf));
    CLumitraDoc* doc = OpenByFileOpen(report);
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(Bytes(pdf).startsWith("%PDF"));
    EXPECT_FALSE(doc->IsModified());
    ASSERT_TRUE(app->OnFileClose(doc));

    // Older than its report: a save stopped between the two.
    Put(pdf, "the PDF of the report before");
    SetModified(pdf, QFileInfo(report).lastModified().addSecs(-60));
    ASSERT_NE(OpenByFileOpen(report), nullptr);
    EXPECT_TRUE(Bytes(pdf).startsWith("%PDF"));
    app->CloseAllDocuments();

    // One as new as its report is left alone.
    Put(pdf, "current");
    SetModified(pdf, QFileInfo(report).lastModified().addSecs(60));
    ASSERT_NE(OpenByFileOpen(report), nullptr);
    EXPECT_EQ(Bytes(pdf), QByteArray("current"));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
}

// A filing killed between making the sample's folder and registering it left
// an empty folder: the next sample of that patient that day takes it.
TEST_F(FilingTest, AnEmptySampleFolderTheRegisterDoesNotListIsTakenAgain) {
    QDir().mkpath(base + QStringLiteral("202402/29-001p1"));
    Put(base + QStringLiteral("202402/29-002p1/kept.txt"), "not ours to take");
    MakeTemplate(QStringLiteral("Blood.fld"));
    for (const char* expected : {"202402/29-001p1/", "202402/29-003p1/", "202402/29-004p1/"}) {
        CLumitraDoc* doc = FileFromPanel(QStringLiteral("p1"), QStringLiteral("甲"));
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(panel->CurrentDataPath(), QString::fromLatin1(expected));
        EXPECT_EQ(QString::fromStdString(doc->GetSampleFolder()), base + QString::fromLatin1(expected));
    }
    const auto rows = panel->Db().List({}, nullptr);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].dataPath, QStringLiteral("202402/29-001p1/"));
    EXPECT_EQ(Bytes(base + QStringLiteral("202402/29-002p1/kept.txt")), QByteArray("not ours to take"));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
}

TEST_F(FilingTest, CancellingOverLostCharactersCopiesNothingAndOkFilesTheData) {
    const QString report = FiledAndClosed();
    const QString folder = QFileInfo(report).absolutePath() + QLatin1Char('/');
    // Opened from the panel: the patient's row, double-clicked.
    Type(kDbId, QStringLiteral("p1"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(panel->Control(kDbId), &enter);
    ASSERT_EQ(panel->Records()->rowCount(), 1);
    QTableView* list = panel->RecordList();
    const QPoint at = list->visualRect(list->model()->index(0, 1)).center();
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                           QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                      t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &e);
    }
    CLumitraDoc* doc = DocumentAt(report);
    ASSERT_NE(doc, nullptr);
    const QString fcs = DropNewFcs(doc, "tube.fcs");
    auto* text = static_cast<CTrkText*>(doc->AddObject(std::make_unique<CTrkText>(CRect(10, 600, 110, 650), doc)));
    text->SetText("\xC3\xA4");  // ä: not in the report's code page
    const QStringList before = Entries(folder);
    const QByteArray pdf = Bytes(PdfOf(report));
    ui.Clear();
    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    frame->OnCommand(kCmdFileSave);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);  // the question, nothing after it
    EXPECT_EQ(ui.Calls().back().buttons, lm::MsgButtons::OkCancel);
    EXPECT_EQ(Entries(folder), before);
    EXPECT_EQ(PathOf(doc, 0), fcs);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(Bytes(PdfOf(report)), pdf);

    ui.QueueMessageBoxAnswer(lm::kIdOk);
    frame->OnCommand(kCmdFileSave);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(QFileInfo(PathOf(doc, 0)).absolutePath() + QLatin1Char('/'), folder);
    CLumitraDoc back;
    QString error;
    ASSERT_TRUE(back.OnOpenDocument(report, &error)) << error.toStdString();
    ASSERT_EQ(back.GetDataShellCount(), 1);
    EXPECT_EQ(QString::fromStdString(back.GetDataShellAt(0)->GetPathName()), PathOf(doc, 0));
}

// Every name a copy may take is in use by other files: the save says so and
// writes nothing, and the report stays modified.
TEST_F(FilingTest, WhenNoNameIsLeftForACopyTheSaveSaysSoAndWritesNothing) {
    const QString report = FiledAndClosed();
    const QString folder = QFileInfo(report).absolutePath() + QLatin1Char('/');
    CLumitraDoc* doc = OpenByFileOpen(report);
    ASSERT_NE(doc, nullptr);
    DropNewFcs(doc, "tube.fcs");
    const QString stem = folder + QDate::currentDate().toString(QStringLiteral("yyMMdd-")) + QStringLiteral("tube.fcs");
    Put(stem, "other");
    for (int k = 0; k < 100; ++k) Put(stem + QStringLiteral("%1").arg(k, 3, 10, QLatin1Char('0')), "other");
    const QByteArray saved = Bytes(report);
    ui.Clear();
    frame->OnCommand(kCmdFileSave);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("No free name is left for a copy of tube.fcs"))) << Messages()[0].toStdString();
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(Bytes(report), saved);
    EXPECT_FALSE(QFileInfo::exists(stem + QStringLiteral("100")));
}

// The template's own linked grid ("DB Link" in the template), narrow as a
// template's designer may leave it: the filed report shows every field whole.
TEST_F(FilingTest, TheTemplatesLinkedGridIsWidenedToShowEveryFieldWhole) {
    QDir().mkpath(base + QStringLiteral("Template"));
    {
        CLumitraDoc doc;
        auto* grid = static_cast<CGrid*>(doc.InsertNewObject(MakeGridAt(&doc, CPoint(100, 100), 2, 2), false));
        grid->SetRect(CRect(100, 100, 200, 140), true);
        grid->OnContextCommand(kCtxDbLink, 0);
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(base + QStringLiteral("Template/Linked.fld"), &error)) << error.toStdString();
    }
    panel->SetLayoutCell(0, 0, kDbId);
    panel->SetLayoutCell(0, 1, kDbName);
    panel->SetLayoutCell(1, 0, kDbReceiveDate);
    panel->SetLayoutCell(1, 1, kDbDiagnosis);
    qobject_cast<QDateEdit*>(panel->Control(kDbReceiveDate))->setDate(QDate(2026, 12, 7));
    Type(kDbDiagnosis, QStringLiteral("急性髓系白血病"));
    CLumitraDoc* doc = FileFromPanel(QStringLiteral("p1"), QStringLiteral("O'Brien Fitzgerald"));
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->GetObjectCount(), 1);  // the template's grid, no second one
    auto* grid = dynamic_cast<CGrid*>(doc->GetDbLinkGrid());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->GetRect().TopLeft(), CPoint(100, 100));  // where the template has it
    EXPECT_EQ(QString::fromStdString(grid->GetCell(1, 0)->GetText()), QStringLiteral("接收日期: 2026-12-07"));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) {
            CCell* cell = grid->GetCell(r, c);
            const QFontMetrics fm(lm::ToQFont(cell->GetFont()));
            const CRect box = grid->CellRect(c, r);
            EXPECT_LE(fm.horizontalAdvance(QString::fromStdString(cell->GetText())), box.Width()) << r << "," << c;
            EXPECT_LE(fm.height(), box.Height()) << r << "," << c;
        }
}

}  // namespace
