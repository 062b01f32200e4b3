// Printing the report canvas: which part of the canvas each printed page
// shows, what paper never shows (grey, page borders, hint, frames), PDF
// output through QPrinter, the print and preview commands, and printing from
// the command line.
#include "report/page/PagePainter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPageRanges>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include "core/DataShell.h"
#include "tests/support/ui/ScriptedUiServices.h"
#include "report/app/CommandIds.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraView.h"
#include "report/page/PictureFile.h"
#include "report/app/MainFrame.h"
#include "report/plot/PlotDefaults.h"
#include "tests/report/FldTestUtil.h"
#include "tests/report/ViewTestUtil.h"
#include "tests/support/FcsWriter.h"
#include "tests/support/ReadOnlyFolder.h"

namespace {

using namespace vtest;
using Kind = lm::ScriptedUiServices::Kind;

// Page objects of a PDF file ("/Type /Page", not "/Type /Pages").
int PdfPageCount(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(f.readAll());
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![A-Za-z])"));
    int n = 0;
    for (auto it = page.globalMatch(text); it.hasNext(); it.next()) ++n;
    return n;
}

// A canvas of 2 x 2 pages with one coloured object in the middle of each
// page and one that reaches across the border between pages 1 and 2.
struct QuarterDoc {
    QuarterDoc() {
        doc.SetPageCount(2, 2);
        quarters[0] = AddFill(doc, CRect(200, 300, 400, 500), kRed);
        quarters[1] = AddFill(doc, CRect(1024 + 200, 300, 1024 + 400, 500), kGreen);
        quarters[2] = AddFill(doc, CRect(200, 1414 + 300, 400, 1414 + 500), kBlue);
        quarters[3] = AddFill(doc, CRect(1024 + 200, 1414 + 300, 1024 + 400, 1414 + 500), kYellow);
        across = AddFill(doc, CRect(1000, 1000, 1048, 1100), kMagenta);
    }
    CLumitraDoc doc;
    FillObj* quarters[4] = {};
    FillObj* across = nullptr;
};

// Page n through the printing's own page drawing at half size (512 x 707).
QImage HalfSizePage(const CLumitraDoc& doc, int n) {
    QImage img(512, 707, QImage::Format_RGB32);
    img.fill(qRgb(1, 2, 3));
    QPainter p(&img);
    CPagePainter::DrawPrintPage(p, doc, n, QRectF(0, 0, 512, 707));
    p.end();
    return img;
}

TEST(PrintPages, PagesRunAcrossTheRowThenDown) {
    rtest::EnsureApp();
    CLumitraDoc doc;
    EXPECT_EQ(CPagePainter::PageCount(doc), 2);  // a new report is 1 x 2
    EXPECT_EQ(CPagePainter::PageRect(doc, 2), CRect(0, 1414, 1024, 2828));
    doc.SetPageCount(2, 2);
    EXPECT_EQ(CPagePainter::PageCount(doc), 4);
    EXPECT_EQ(CPagePainter::PageRect(doc, 1), CRect(0, 0, 1024, 1414));
    EXPECT_EQ(CPagePainter::PageRect(doc, 2), CRect(1024, 0, 2048, 1414));
    EXPECT_EQ(CPagePainter::PageRect(doc, 3), CRect(0, 1414, 1024, 2828));
    EXPECT_EQ(CPagePainter::PageRect(doc, 4), CRect(1024, 1414, 2048, 2828));
    EXPECT_TRUE(CPagePainter::PageRect(doc, 0).IsRectEmpty());
    EXPECT_TRUE(CPagePainter::PageRect(doc, 5).IsRectEmpty());
    EXPECT_TRUE(CPagePainter::PageRect(doc, -1).IsRectEmpty());
    doc.SetPageCount(3, 1);
    EXPECT_EQ(CPagePainter::PageRect(doc, 3), CRect(2048, 0, 3072, 1414));
}

TEST(PrintPages, EachPrintedPageShowsItsOwnQuarterOfTheCanvas) {
    rtest::EnsureApp();
    QuarterDoc q;
    const COLORREF colours[4] = {kRed, kGreen, kBlue, kYellow};
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        const QImage img = HalfSizePage(q.doc, n);
        // Its own object at (200, 300)-(400, 500) of the page: pixels 100..200 x 150..250.
        EXPECT_EQ(Count(img, CRect(100, 150, 200, 250), Rgb(colours[n - 1])), 100 * 100);
        for (int other = 0; other < 4; ++other) {
            if (other == n - 1) continue;
            EXPECT_EQ(Count(img, CRect(0, 0, 512, 707), Rgb(colours[other])), 0);
        }
        // The whole page is painted.
        EXPECT_EQ(Count(img, CRect(0, 0, 512, 707), qRgb(1, 2, 3)), 0);
    }
    // The object across the border is cut at the page edge: 24 units on each side.
    EXPECT_EQ(Count(HalfSizePage(q.doc, 1), CRect(0, 0, 512, 707), Rgb(kMagenta)), 12 * 50);
    EXPECT_EQ(Count(HalfSizePage(q.doc, 2), CRect(0, 0, 512, 707), Rgb(kMagenta)), 12 * 50);
    EXPECT_EQ(At(HalfSizePage(q.doc, 2), 0, 500), Rgb(kMagenta));
    EXPECT_EQ(Count(HalfSizePage(q.doc, 3), CRect(0, 0, 512, 707), Rgb(kMagenta)), 0);
    for (FillObj* f : q.quarters) {
        EXPECT_GT(f->prints, 0);
        EXPECT_EQ(f->draws, 0);  // paper is drawn with the objects' printing
    }
}

TEST(PrintPages, PaperShowsNoGreyBordersHintOrFrames) {
    rtest::EnsureApp();
    CLumitraDoc doc;  // no data set: the screen would show the hint
    doc.SetPageCount(2, 2);
    FillObj* active = AddFill(doc, CRect(100, 100, 300, 300), kBlue);
    doc.SetActiveObject(active);
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        const QImage img = HalfSizePage(doc, n);
        const int white = Count(img, CRect(0, 0, 512, 707), kWhitePx);
        const int blue = Count(img, CRect(0, 0, 512, 707), Rgb(kBlue));
        EXPECT_EQ(white + blue, 512 * 707);  // nothing but paper and the object
        EXPECT_EQ(blue, n == 1 ? 100 * 100 : 0);
    }
    // The screen shows what paper leaves out.
    CLumitraView view(&doc);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.resize(1200, 400);
    view.show();
    QCoreApplication::processEvents();
    QImage screen(view.viewport()->size(), QImage::Format_RGB32);
    QPainter p(&screen);
    view.PaintClient(p, QRegion(view.viewport()->rect()));
    p.end();
    EXPECT_GT(Count(screen, CRect(0, 0, 1200, 400), kGreyPx), 0);
    EXPECT_EQ(At(screen, 100, 100), qRgb(255, 255, 0));  // the inverted frame
}

TEST(PrintPages, ThePrinterChoosesPagesAndOrder) {
    rtest::EnsureApp();
    QPrinter printer(QPrinter::HighResolution);
    EXPECT_EQ(CPagePainter::PagesToPrint(printer, 4), (std::vector<int32_t>{1, 2, 3, 4}));
    printer.setPrintRange(QPrinter::PageRange);
    QPageRanges ranges;
    ranges.addRange(2, 3);
    ranges.addPage(9);  // not on the canvas
    printer.setPageRanges(ranges);
    EXPECT_EQ(CPagePainter::PagesToPrint(printer, 4), (std::vector<int32_t>{2, 3}));
    printer.setPageOrder(QPrinter::LastPageFirst);
    EXPECT_EQ(CPagePainter::PagesToPrint(printer, 4), (std::vector<int32_t>{3, 2}));
    printer.setPageRanges(QPageRanges());
    EXPECT_EQ(CPagePainter::PagesToPrint(printer, 2), (std::vector<int32_t>{2, 1}));
}

class PrintPdfTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        ASSERT_FALSE(dir.Path().empty());
    }
    void ToPdf(QPrinter& printer, const std::string& path) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(path));
    }
    lmtest::TempDir dir;
};

TEST_F(PrintPdfTest, ATwoByTwoCanvasPrintsFourPages) {
    QuarterDoc q;
    QPrinter printer(QPrinter::HighResolution);
    const std::string pdf = dir.File("quarters.pdf");
    ToPdf(printer, pdf);
    QString error;
    ASSERT_TRUE(CPagePainter::Print(printer, q.doc, &error)) << error.toStdString();
    EXPECT_EQ(PdfPageCount(pdf), 4);
    for (FillObj* f : q.quarters) EXPECT_GE(f->prints, 1);

    // Pages 2 and 3 only, then two collated copies of a 1 x 2 canvas.
    QPrinter some(QPrinter::HighResolution);
    const std::string pdf2 = dir.File("some.pdf");
    ToPdf(some, pdf2);
    some.setPrintRange(QPrinter::PageRange);
    some.setPageRanges(QPageRanges::fromString(QStringLiteral("2-3")));
    for (FillObj* f : q.quarters) f->prints = 0;
    ASSERT_TRUE(CPagePainter::Print(some, q.doc, &error));
    EXPECT_EQ(PdfPageCount(pdf2), 2);
    EXPECT_EQ(q.quarters[0]->prints, 0);
    EXPECT_EQ(q.quarters[1]->prints, 1);
    EXPECT_EQ(q.quarters[2]->prints, 1);
    EXPECT_EQ(q.quarters[3]->prints, 0);

    CLumitraDoc two;
    QPrinter copies(QPrinter::HighResolution);
    const std::string pdf3 = dir.File("copies.pdf");
    ToPdf(copies, pdf3);
    copies.setCopyCount(2);
    ASSERT_TRUE(CPagePainter::Print(copies, two, &error));
    EXPECT_EQ(PdfPageCount(pdf3), copies.supportsMultipleCopies() ? 2 : 4);
}

TEST_F(PrintPdfTest, NoPagesOrAnUnwritableFileIsAnErrorNotASilentSuccess) {
    QuarterDoc q;
    QPrinter printer(QPrinter::HighResolution);
    ToPdf(printer, dir.File("missing-folder/x.pdf"));
    QString error;
    EXPECT_FALSE(CPagePainter::Print(printer, q.doc, &error));
    EXPECT_FALSE(error.isEmpty());

    QPrinter outside(QPrinter::HighResolution);
    ToPdf(outside, dir.File("none.pdf"));
    outside.setPrintRange(QPrinter::PageRange);
    outside.setPageRanges(QPageRanges::fromString(QStringLiteral("7-9")));
    error.clear();
    EXPECT_FALSE(CPagePainter::Print(outside, q.doc, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.pdf")));
}

TEST(PrintPictures, AnAreaRendersAtOnePixelAUnitAndHugeAreasAreRefused) {
    rtest::EnsureApp();
    CLumitraDoc doc;
    AddFill(doc, CRect(10, 10, 30, 30), kRed);
    FillObj* active = AddFill(doc, CRect(20, 20, 40, 40), kBlue);
    doc.SetActiveObject(active);
    AddFill(doc, CRect(25, 25, 45, 45), kGreen);  // listed later, drawn below the active one
    const QImage img = CPagePainter::RenderArea(doc, CRect(0, 0, 50, 50));
    ASSERT_EQ(img.size(), QSize(50, 50));
    EXPECT_EQ(At(img, 15, 15), Rgb(kRed));
    EXPECT_EQ(At(img, 30, 30), Rgb(kBlue));
    EXPECT_EQ(At(img, 42, 42), Rgb(kGreen));
    EXPECT_EQ(At(img, 5, 5), kWhitePx);
    EXPECT_EQ(At(img, 20, 20), Rgb(kBlue));  // no frame on a picture
    const QImage shifted = CPagePainter::RenderArea(doc, CRect(10, 10, 20, 20));
    ASSERT_EQ(shifted.size(), QSize(10, 10));
    EXPECT_EQ(Count(shifted, CRect(0, 0, 10, 10), Rgb(kRed)), 100);
    EXPECT_TRUE(CPagePainter::RenderArea(doc, CRect(0, 0, 0, 10)).isNull());
    EXPECT_TRUE(CPagePainter::RenderArea(doc, CRect(0, 0, 20 * 1024, 200 * 1414)).isNull());
    EXPECT_TRUE(CPagePainter::RenderArea(doc, CRect(INT32_MIN, 0, INT32_MAX, 10)).isNull());
}

QByteArray FileBytes(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(PrintPictures, AnAreaSavedAsJpgKeepsItsWidthAndLeavesOutObjectsThatOnlyTouchIt) {
    rtest::EnsureApp();
    if (!JpegWriterAvailable()) GTEST_SKIP() << "no JPEG writer in this Qt";
    lmtest::TempDir dir;
    CLumitraDoc doc;
    FillObj* inside = AddFill(doc, CRect(10, 10, 60, 60), kRed);
    FillObj* right = AddFill(doc, CRect(111, 10, 150, 60), kBlue);  // touches x = 111
    FillObj* below = AddFill(doc, CRect(10, 90, 60, 120), kBlue);   // touches y = 90
    QString error;
    const QString path = QString::fromStdString(dir.File("area.jpg"));
    ASSERT_TRUE(doc.SaveAreaAsJpg(10, 10, 101, 80, path, &error)) << error.toStdString();
    EXPECT_EQ(QImageReader(path).size(), QSize(101, 80));
    EXPECT_EQ(inside->prints, 1);
    EXPECT_EQ(right->prints, 0);
    EXPECT_EQ(below->prints, 0);
    EXPECT_LT(qBlue(QImage(path).pixel(20, 20)), 60);  // page (30, 30): red

    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(dir.File("v1.jpg"))));
    const struct {
        const char* name;
        int32_t width, height;
        bool written;
    } cases[] = {
        {"upper.JPG", 40, 30, true},
        {"mixed.Jpeg", 40, 30, true},
        {"other.png", 40, 30, false},
        {"none", 40, 30, false},
        {"v1.jpg/page", 40, 30, false},  // the folder's extension is not the file's
        {"empty.jpg", 0, 30, false},
        {"upside.jpg", 40, -30, false},
    };
    for (const auto& c : cases) {
        const QString file = QString::fromStdString(dir.File(c.name));
        error.clear();
        EXPECT_EQ(doc.SaveAreaAsJpg(0, 0, c.width, c.height, file, &error), c.written) << c.name;
        EXPECT_EQ(QFileInfo(file).isFile(), c.written) << c.name;
        EXPECT_EQ(error.isEmpty(), c.written) << c.name;
    }
}

TEST(PrintPictures, AFailedExportIsReportedAndTheOldFileStays) {
    rtest::EnsureApp();
    if (!JpegWriterAvailable()) GTEST_SKIP() << "no JPEG writer in this Qt";
    lmtest::TempDir dir;
    const std::string folder = dir.File("out");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    QuarterDoc q;
    using Export = bool (*)(const CLumitraDoc&, const QString&, QString*);
    const struct {
        const char* name;
        Export write;
    } writers[] = {
        {"page.jpg", [](const CLumitraDoc& d, const QString& p, QString* e) {
             return d.SaveAreaAsJpg(0, 0, 1024, 1414, p, e);
         }},
        {"report.pdf", [](const CLumitraDoc& d, const QString& p, QString* e) { return d.ExportPdf(p, e); }},
    };
    for (const auto& w : writers) {
        const std::string file = folder + "/" + w.name;
        QString error;
        ASSERT_TRUE(w.write(q.doc, QString::fromStdString(file), &error)) << w.name << error.toStdString();
        const QByteArray old = FileBytes(file);
        ASSERT_FALSE(old.isEmpty());
        {
            lmtest::ReadOnlyFolder locked(folder);
            EXPECT_FALSE(w.write(q.doc, QString::fromStdString(file), &error)) << w.name;
        }
        EXPECT_TRUE(error.contains(QString::fromStdString(file))) << error.toStdString();
        EXPECT_EQ(FileBytes(file), old) << w.name;
    }
    // Nothing left behind: only the two files.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 2);
    EXPECT_EQ(PdfPageCount(folder + "/report.pdf"), 4);
}

// The commands and the command line, with the real main window.
class PrintAppTest : public rtest::ProgramTest {
protected:
    std::string WriteFcs(const std::string& name) const {
        lmtest::FcsWriter w;
        w.Param("FSC-H", 32, "1024").Param("SSC-H", 32, "1024");
        for (int i = 0; i < 50; ++i) w.Event({double(i * 20), double(1000 - i * 20)});
        return dir.Write(name, w.Build());
    }
    CMainFrame* Frame() const { return app->GetMainFrame(); }
};

TEST_F(PrintAppTest, PrintGoesThroughThePrintDialogAndPrintsEveryPage) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraView* view = Frame()->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetMaxPage(), 2);
    for (int32_t id : {kCmdFilePrint, kCmdFilePrintDirect, kCmdFilePrintPreview})
        EXPECT_TRUE(Frame()->IsCommandEnabled(id)) << id;
    const std::string pdf = dir.File("printed.pdf");
    QPrinter* printer = app->GetPrinter();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(pdf));

    // Cancelled: nothing printed.
    ui.QueuePrintAnswer(false);
    Frame()->OnCommand(kCmdFilePrint);
    ASSERT_EQ(ui.Count(Kind::Print), 1);
    EXPECT_EQ(ui.CallsOf(Kind::Print)[0].text, "print");
    EXPECT_FALSE(std::filesystem::exists(pdf));

    ui.QueuePrintAnswer(true);
    Frame()->OnCommand(kCmdFilePrint);
    EXPECT_EQ(PdfPageCount(pdf), 2);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);

    // Direct printing asks nothing.
    std::filesystem::remove(pdf);
    Frame()->OnCommand(kCmdFilePrintDirect);
    EXPECT_EQ(ui.Count(Kind::Print), 2);
    EXPECT_EQ(PdfPageCount(pdf), 2);

    // A printer that cannot print: a message, not silence.
    printer->setOutputFileName(QString::fromStdString(dir.File("no/such/folder.pdf")));
    Frame()->OnCommand(kCmdFilePrintDirect);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.Calls().back().icon, lm::MsgIcon::Error);
}

TEST_F(PrintAppTest, ThePreviewShowsEveryPageTwoAtATime) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* doc = app->GetDocuments().front().get();
    doc->SetPageCount(2, 2);
    int pages = -1;
    QPrintPreviewWidget::ViewMode mode = QPrintPreviewWidget::SinglePageView;
    ui.QueueDialog([&](QDialog* d) {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(d);
        if (!preview) return int32_t(lm::kDialogRejected);
        auto* w = preview->findChild<QPrintPreviewWidget*>();
        if (!w) return int32_t(lm::kDialogRejected);
        w->updatePreview();
        pages = w->pageCount();
        mode = w->viewMode();
        return int32_t(lm::kDialogRejected);
    });
    Frame()->OnCommand(kCmdFilePrintPreview);
    ASSERT_EQ(ui.Count(Kind::Dialog), 1);
    EXPECT_EQ(pages, 4);
    EXPECT_EQ(mode, QPrintPreviewWidget::FacingPagesView);
}

TEST_F(PrintAppTest, TheCommandLinePrintsAnFcsFileToAPdfAndEnds) {
    const std::string fcs = WriteFcs("sample.fcs");
    const std::string pdf = dir.File("out.pdf");
    EXPECT_FALSE(app->InitInstance({"--print-to", QString::fromStdString(pdf), QString::fromStdString(fcs)}));
    EXPECT_EQ(app->GetExitCode(), 0);
    EXPECT_EQ(Frame(), nullptr);  // printed and closed, never shown
    EXPECT_TRUE(app->GetDocuments().empty());
    EXPECT_EQ(PdfPageCount(pdf), 2);  // the new report's 1 x 2 pages
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    // The upper-case extension names a PDF too.
    const std::string upper = dir.File("OUT2.PDF");
    EXPECT_FALSE(app->InitInstance({"--print-to", QString::fromStdString(upper), QString::fromStdString(fcs)}));
    EXPECT_EQ(app->GetExitCode(), 0);
    EXPECT_EQ(PdfPageCount(upper), 2);
}

TEST_F(PrintAppTest, TheCommandLineReportsWhatCannotBePrinted) {
    const std::string fcs = WriteFcs("sample.fcs");
    // Wrong use: a usage error, no window.
    for (const QStringList& args :
         {QStringList{"--print"}, QStringList{"--print-to", "x.pdf"}, QStringList{"--print", "a", "b"},
          QStringList{"--print-to", "", "a.fcs"}, QStringList{"--print-to", "x.pdf", "--print"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        EXPECT_FALSE(app->InitInstance(args));
        EXPECT_EQ(app->GetExitCode(), 2);
        EXPECT_EQ(Frame(), nullptr);
    }
    // A file that does not open: the open path's message and a failure.
    const std::string pdf = dir.File("never.pdf");
    EXPECT_FALSE(app->InitInstance({"--print-to", QString::fromStdString(pdf),
                                    QString::fromStdString(dir.File("missing.fcs"))}));
    EXPECT_EQ(app->GetExitCode(), 1);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_FALSE(std::filesystem::exists(pdf));
    EXPECT_EQ(Frame(), nullptr);
    // A printer that does not exist.
    EXPECT_FALSE(app->InitInstance({"--print-to", "No Such Printer 7f3a", QString::fromStdString(fcs)}));
    EXPECT_EQ(app->GetExitCode(), 1);
    // A PDF that cannot be written.
    EXPECT_FALSE(app->InitInstance(
        {"--print-to", QString::fromStdString(dir.File("no/folder/x.pdf")), QString::fromStdString(fcs)}));
    EXPECT_EQ(app->GetExitCode(), 1);
    EXPECT_TRUE(app->GetDocuments().empty());
    // Without a default printer --print fails instead of printing nowhere.
    if (QPrinterInfo::defaultPrinter().isNull()) {
        EXPECT_FALSE(app->InitInstance({"--print", QString::fromStdString(fcs)}));
        EXPECT_EQ(app->GetExitCode(), 1);
    }
}

TEST(PrintCommandLine, NothingWaitsForAnAnswerWhenNoOneIsThere) {
    // No stand-in services: what the program asks while printing from the
    // command line must be answered on the terminal, not in a window.
    lmtest::TempDir dir;
    rtest::UseProgramFolder(dir.Path());
    fldtest::ScopedCurrentDir cwd(dir.Path());  // the program's log goes there
    // Should a window wait for an answer after all, it is closed, and the
    // test fails rather than waits.
    bool windowWaited = false;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            windowWaited = true;
            w->close();
        }
    });
    guard.start(2000);
    testing::internal::CaptureStderr();
    {
        CLumitraApp app;
        EXPECT_FALSE(app.InitInstance({"--print-to", QString::fromStdString(dir.File("x.pdf")),
                                       QString::fromStdString(dir.File("missing.fcs"))}));
        EXPECT_EQ(app.GetExitCode(), 1);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    CLumitraApp::SetProgramFolderOverride("");
    EXPECT_FALSE(windowWaited);
    EXPECT_NE(err.find("File not found"), std::string::npos) << err;
    EXPECT_NE(err.find("nothing was printed"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.pdf")));
}

}  // namespace
