// A plot as a picture: "Export Graphic" to JPG and BMP files, the file
// types it accepts and refuses, failed writes, and the clipboard copy.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "core/DataShell.h"
#include "tests/support/ui/ScriptedUiServices.h"
#include "report/app/CommandIds.h"
#include "report/page/PictureFile.h"
#include "report/plot/DotLayer.h"
#include "report/plot/Plot.h"
#include "tests/base/TempDir.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"

using namespace plottest;
using Kind = lm::ScriptedUiServices::Kind;

namespace {

uint32_t U32(const std::string& b, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);  // the test machine is little-endian, as the file is
    return v;
}

uint16_t U16(const std::string& b, size_t at) {
    uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

class PlotExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        ResetPlotDefaults();
        ASSERT_TRUE(dir.Ok());
        shell = MakeShell({{100, 100}, {500, 500}, {900, 900}});
        // 251 x 180: an odd width.
        plot = std::make_unique<CPLOT>(CRect(10, 20, 261, 200), shell->GetRoot(), nullptr, 0, 1);
    }
    QString Path(const std::string& name) const { return QString::fromStdString(dir.File(name)); }

    TempDir dir;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
    std::unique_ptr<VexaDataShell> shell;
    std::unique_ptr<CPLOT> plot;
};

}  // namespace

TEST_F(PlotExportTest, PictureIsTheRectangleWithAnEvenWidth) {
    const QImage pic = plot->RenderPicture();
    ASSERT_EQ(pic.size(), QSize(252, 180));
    // The frame around the plot area, moved with the rectangle to (0, 0):
    // area (56, 56)-(244, 156) on the page, its frame one pixel outside.
    const CRect a = plot->GetPlotArea();
    EXPECT_EQ(PixelAt(pic, a.left - 1 - 10, (a.top + a.bottom) / 2 - 20), qRgb(0, 0, 0));
    EXPECT_EQ(PixelAt(pic, (a.left + a.right) / 2 - 10, a.bottom - 20), qRgb(0, 0, 0));
    // The extra column is white, as is the corner outside the frame.
    for (int y = 0; y < 180; ++y) EXPECT_EQ(PixelAt(pic, 251, y), qRgb(255, 255, 255)) << y;
    EXPECT_EQ(PixelAt(pic, 1, 1), qRgb(255, 255, 255));
}

TEST_F(PlotExportTest, JpgAndBmpReadBackAtTheRightSize) {
    QString error;
    ASSERT_TRUE(plot->ExportGraphicTo(Path("plot.jpg"), &error)) << error.toStdString();
    QImage jpg(Path("plot.jpg"));
    EXPECT_EQ(jpg.size(), QSize(252, 180));
    EXPECT_EQ(QImageReader(Path("plot.jpg")).format(), "jpeg");

    shell->GetRoot()->SetColor(RGB(255, 0, 0));
    plot->GetDotLayers()[0]->SetLargeDots(true);
    ASSERT_TRUE(plot->ExportGraphicTo(Path("plot.bmp"), &error)) << error.toStdString();
    const std::string b = TempDir::ReadAll(dir.File("plot.bmp"));
    ASSERT_EQ(b.size(), 14u + 40u + 252u * 180u * 4u);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(U32(b, 2), b.size());
    EXPECT_EQ(U32(b, 10), 54u);
    EXPECT_EQ(U32(b, 14), 40u);
    EXPECT_EQ(int32_t(U32(b, 18)), 252);
    EXPECT_EQ(int32_t(U32(b, 22)), 180);  // positive: bottom row first
    EXPECT_EQ(U16(b, 26), 1);
    EXPECT_EQ(U16(b, 28), 32);
    for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(U32(b, at), 0u) << at;
    // Lossless: every pixel as drawn, the bottom row first; red dots tell
    // red from blue.
    const QImage pic = plot->RenderPicture();
    EXPECT_GT(CountColour(pic, CRect(0, 0, 252, 180), qRgb(255, 0, 0)), 0);
    const QImage bmp(Path("plot.bmp"));
    ASSERT_EQ(bmp.size(), QSize(252, 180));
    int differ = 0;
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 252; ++x)
            if ((bmp.pixel(x, y) & 0xFFFFFF) != (pic.pixel(x, y) & 0xFFFFFF)) ++differ;
    EXPECT_EQ(differ, 0);
    const size_t bottomLeft = 54;  // row 179, column 0: white
    EXPECT_EQ(uint8_t(b[bottomLeft]), 255);
    EXPECT_EQ(uint8_t(b[bottomLeft + 3]), 0);  // the unused byte
}

TEST_F(PlotExportTest, ExtensionsAreReadWithoutCaseAndUnknownOnesRefused) {
    EXPECT_EQ(PictureFormatOf("a.JPG"), PictureFormat::Jpg);
    EXPECT_EQ(PictureFormatOf("a.jpeg"), PictureFormat::Jpg);
    EXPECT_EQ(PictureFormatOf("a.JpEg"), PictureFormat::Jpg);
    EXPECT_EQ(PictureFormatOf("a.Bmp"), PictureFormat::Bmp);
    EXPECT_EQ(PictureFormatOf("a.png"), PictureFormat::Unknown);
    EXPECT_EQ(PictureFormatOf("jpg"), PictureFormat::Unknown);
    EXPECT_EQ(PictureFormatOf("dir.jpg/a"), PictureFormat::Unknown);

    QString error;
    EXPECT_TRUE(plot->ExportGraphicTo(Path("upper.JPG"), &error));
    EXPECT_EQ(QImage(Path("upper.JPG")).size(), QSize(252, 180));
    EXPECT_TRUE(plot->ExportGraphicTo(Path("upper.BMP"), &error));
    EXPECT_EQ(QImage(Path("upper.BMP")).size(), QSize(252, 180));

    EXPECT_FALSE(plot->ExportGraphicTo(Path("plot.png"), &error));
    EXPECT_TRUE(error.contains(".jpg") && error.contains(".bmp")) << error.toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir.File("plot.png")));
}

TEST_F(PlotExportTest, FailedWritesAreReportedAndKeepTheOldFile) {
    QString error;
    EXPECT_FALSE(plot->ExportGraphicTo(Path("missing/plot.bmp"), &error));
    EXPECT_TRUE(error.contains("plot.bmp")) << error.toStdString();
    EXPECT_FALSE(plot->ExportGraphicTo(Path("missing/plot.jpg"), &error));
    EXPECT_TRUE(error.contains("plot.jpg")) << error.toStdString();

    // The dialog's way: the failure in a message box.
    ui.QueueFileNames({Path("missing/plot.bmp")});
    plot->ExportGraphic();
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].icon, lm::MsgIcon::Error);
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox)[0].text.contains("plot.bmp"));

    // A plot too large for a picture: nothing written, the old file kept.
    TempDir::WriteAll(dir.File("old.bmp"), "old");
    CPLOT huge(CRect(0, 0, 40000, 300), shell->GetRoot(), nullptr, 0, 1);
    EXPECT_FALSE(huge.ExportGraphicTo(Path("old.bmp"), &error));
    EXPECT_EQ(TempDir::ReadAll(dir.File("old.bmp")), "old");
}

TEST_F(PlotExportTest, ExportGraphicAsksForAFileAndHonoursCancel) {
    plot->ExportGraphic();  // nothing queued: cancelled
    ASSERT_EQ(ui.Count(Kind::SaveFile), 1);
    const lm::FileDialogRequest req = ui.CallsOf(Kind::SaveFile)[0].file;
    EXPECT_EQ(req.defaultSuffix, "jpg");
    EXPECT_TRUE(req.filter.contains("*.jpg"));
    EXPECT_TRUE(req.filter.contains("*.bmp"));
    EXPECT_TRUE(req.filter.contains(QString::fromUtf8("位图文件")));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);

    ui.QueueFileNames({Path("chosen.bmp")});
    EXPECT_TRUE(plot->OnContextCommand(kPlotCmdExportGraphic, 0));
    EXPECT_EQ(QImage(Path("chosen.bmp")).size(), QSize(252, 180));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);

    ui.QueueFileNames({Path("chosen.gif")});
    plot->ExportGraphic();
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("chosen.gif")));
}

TEST_F(PlotExportTest, MissingJpegWriterShowsItsMessageAndWritesNothing) {
    const QByteArray saved = JpegWriterFormat();
    JpegWriterFormat() = "no-such-writer";
    ui.QueueFileNames({Path("nojpeg.jpg")});
    plot->ExportGraphic();
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].text, "Export.Dll false");
    EXPECT_FALSE(std::filesystem::exists(dir.File("nojpeg.jpg")));
    // BMP needs no writer of Qt's.
    QString error;
    EXPECT_TRUE(plot->ExportGraphicTo(Path("still.bmp"), &error));
    JpegWriterFormat() = saved;
    EXPECT_TRUE(JpegWriterAvailable());
}

TEST_F(PlotExportTest, CopyPutsThePictureOnTheClipboard) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    ASSERT_NE(clipboard, nullptr);
    clipboard->clear();
    plot->CopyToClipboard();
    const QImage img = clipboard->image();
    if (img.isNull()) GTEST_SKIP() << "this platform plugin keeps no clipboard";
    EXPECT_EQ(img.size(), QSize(252, 180));
    EXPECT_EQ(PixelAt(img, 251, 0), qRgb(255, 255, 255));
}
