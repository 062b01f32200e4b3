// The PDFs of filed reports: reports of different samples that share a file
// name each keep a PDF of their own, saved with File ▸ Save in the program.
#include "report/page/FiledPdf.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <thread>
#include <vector>

#include "database/DatabaseDlg.h"
#include "report/app/CommandIds.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "tests/report/ReportTestUtil.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

class FiledPdfTest : public rtest::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(app->InitInstance({}));
        frame = app->GetMainFrame();
        panel = dynamic_cast<CDatabaseDlg*>(frame->GetDatabasePanel());
        ASSERT_NE(panel, nullptr);
        pdfs = panel->BaseFolder() + QStringLiteral("PDFReport/");
        ui.Clear();
    }

    // An empty report "R.fld" in a sample folder of its own.
    QString MakeReport(const QString& sampleFolder) {
        const QString path = panel->BaseFolder() + sampleFolder + QStringLiteral("/R.fld");
        QDir().mkpath(QFileInfo(path).absolutePath());
        CLumitraDoc doc;
        QString error;
        EXPECT_TRUE(doc.OnSaveDocument(path, &error)) << error.toStdString();
        return path;
    }

    // Opens the report as the panel does and saves it with File ▸ Save.
    CLumitraDoc* OpenAndSave(const QString& report) {
        CLumitraDoc* doc = panel->OpenSampleReport(report, false);
        EXPECT_NE(doc, nullptr);
        if (!doc) return nullptr;
        EXPECT_EQ(frame->GetActiveDocument(), doc);
        doc->SetModifiedFlag(true);
        frame->OnCommand(kCmdFileSave);
        EXPECT_FALSE(doc->IsModified());
        return doc;
    }

    QStringList Pdfs() const { return QDir(pdfs).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name); }

    CMainFrame* frame = nullptr;
    CDatabaseDlg* panel = nullptr;
    QString pdfs;
};

TEST_F(FiledPdfTest, ReportsOfOneNameInTwoSampleFoldersKeepTwoPdfsAndEachResaveReplacesItsOwn) {
    const QString a = MakeReport(QStringLiteral("202402/29-001病人"));
    const QString b = MakeReport(QStringLiteral("202402/29-002病人"));
    OpenAndSave(a);
    OpenAndSave(b);
    ASSERT_EQ(Pdfs(), (QStringList{"R (2).pdf", "R.pdf"}));
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).empty()) << ui.CallsOf(Kind::MessageBox)[0].text.toStdString();

    // Each re-save writes a whole PDF over its own stale one; the other's
    // stays byte for byte.
    const struct {
        QString report, own, other;
    } cases[] = {
        {a, QStringLiteral("R.pdf"), QStringLiteral("R (2).pdf")},
        {b, QStringLiteral("R (2).pdf"), QStringLiteral("R.pdf")},
    };
    for (const auto& c : cases) {
        Put(pdfs + c.own, "stale");
        const QByteArray other = Bytes(pdfs + c.other);
        OpenAndSave(c.report);
        EXPECT_TRUE(Bytes(pdfs + c.own).startsWith("%PDF")) << c.own.toStdString();
        EXPECT_EQ(Bytes(pdfs + c.other), other) << c.other.toStdString();
    }
    EXPECT_EQ(Pdfs(), (QStringList{"R (2).pdf", "R.pdf"}));
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).empty());
}

TEST_F(FiledPdfTest, APdfOfUnknownOriginIsKeptAndTheReportTakesTheNextName) {
    Put(pdfs + QStringLiteral("R.pdf"), "written by an older version");
    // A record without its PDF still holds the name for its report.
    Put(FiledPdfOwnerRecord(pdfs + QStringLiteral("R (2).pdf")), "../elsewhere/R.fld");
    const QString a = MakeReport(QStringLiteral("202402/29-001p1"));
    OpenAndSave(a);
    OpenAndSave(a);
    EXPECT_EQ(Pdfs(), (QStringList{"R (3).pdf", "R.pdf"}));
    EXPECT_EQ(Bytes(pdfs + QStringLiteral("R.pdf")), QByteArray("written by an older version"));
    // The old PDF deleted by hand frees its name, but the report keeps its own.
    QFile::remove(pdfs + QStringLiteral("R.pdf"));
    OpenAndSave(a);
    EXPECT_EQ(Pdfs(), (QStringList{"R (3).pdf"}));
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).empty());
}

TEST_F(FiledPdfTest, WhenEveryNameIsTakenTheReportIsSavedAndTheWarningSaysWhy) {
    Put(pdfs + QStringLiteral("R.pdf"), "old");
    for (int k = 2; k <= kFiledPdfNames; ++k) Put(pdfs + QStringLiteral("R (%1).pdf").arg(k), "old");
    const QString a = MakeReport(QStringLiteral("202402/29-001p1"));
    ui.Clear();
    CLumitraDoc* doc = OpenAndSave(a);
    ASSERT_NE(doc, nullptr);
    // Said when the report opens without its PDF, and again when it is saved.
    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.caption, QStringLiteral("警告"));
        EXPECT_TRUE(box.text.contains(QStringLiteral("No free name is left for the PDF of R.fld"))) << box.text.toStdString();
    }
    EXPECT_TRUE(boxes[1].text.startsWith(QStringLiteral("The report was saved")));
    EXPECT_EQ(Pdfs().size(), kFiledPdfNames);
    EXPECT_FALSE(doc->IsModified());  // the report itself was saved
}

// The register's folder moved as a whole: a report still knows its PDF.
TEST(FiledPdf, AReportFindsItsPdfAfterTheWholeFolderMoved) {
    lmtest::TempDir dir;
    const QString root = QString::fromStdString(dir.Path());
    Put(root + QStringLiteral("/old/Database/s1/R.fld"), "report");
    QString error;
    const QString first = ClaimFiledPdf(root + QStringLiteral("/old/Database/PDFReport"),
                                        root + QStringLiteral("/old/Database/s1/R.fld"), &error);
    ASSERT_TRUE(first.endsWith(QStringLiteral("/R.pdf"))) << error.toStdString();
    Put(first, "pdf");
    ASSERT_TRUE(QDir().rename(root + QStringLiteral("/old"), root + QStringLiteral("/new")));
    EXPECT_EQ(QFileInfo(ClaimFiledPdf(root + QStringLiteral("/new/Database/PDFReport"),
                                      root + QStringLiteral("/new/Database/s1/R.fld"), &error))
                  .fileName(),
              QStringLiteral("R.pdf"))
        << error.toStdString();
}

// Programs filing reports of one name at the same moment: each name goes to
// one report, and its record names that report.
TEST(FiledPdf, ReportsClaimingAtTheSameMomentGetANameEach) {
    constexpr int kReports = 6;
    constexpr int kRounds = 20;
    lmtest::TempDir dir;
    const QString root = QString::fromStdString(dir.Path());
    QStringList reports;
    for (int i = 0; i < kReports; ++i) {
        reports << root + QStringLiteral("/Database/s%1/R.fld").arg(i);
        Put(reports.back(), "report");
    }
    for (int round = 0; round < kRounds; ++round) {
        const QString folder = root + QStringLiteral("/Database/PDFReport%1").arg(round);
        std::vector<QString> got(kReports);
        std::atomic<int> ready{0};
        std::vector<std::thread> programs;
        for (int i = 0; i < kReports; ++i)
            programs.emplace_back([&, i] {
                ++ready;
                while (ready.load() < kReports) std::this_thread::yield();
                got[size_t(i)] = ClaimFiledPdf(folder, reports[i], nullptr);
            });
        for (std::thread& t : programs) t.join();
        QStringList names;
        for (int i = 0; i < kReports; ++i) {
            ASSERT_FALSE(got[size_t(i)].isEmpty()) << round;
            names << QFileInfo(got[size_t(i)]).fileName();
            EXPECT_EQ(Bytes(FiledPdfOwnerRecord(got[size_t(i)])), QStringLiteral("../s%1/R.fld").arg(i).toUtf8()) << round;
            EXPECT_TRUE(QFile::permissions(FiledPdfOwnerRecord(got[size_t(i)])) & QFile::ReadOther) << round;
        }
        names.removeDuplicates();
        EXPECT_EQ(names.size(), kReports) << round << ": " << names.join(QLatin1Char('|')).toStdString();
    }
}

}  // namespace
