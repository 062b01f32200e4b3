#include "platform/QtCanvas.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "core/Scale.h"
#include "core/Trans.h"

namespace {

void EnsureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "lumitra-test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

class QtCanvasTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        image = QImage(200, 200, QImage::Format_RGB32);
        image.fill(Qt::white);
    }
    bool Black(int x, int y) const { return image.pixel(x, y) == qRgb(0, 0, 0); }
    bool White(int x, int y) const { return image.pixel(x, y) == qRgb(255, 255, 255); }
    // Bounding box of the pixels that are not white.
    QRect Inked() const {
        QRect r;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (!White(x, y)) r |= QRect(x, y, 1, 1);
        return r;
    }
    QImage image;
};

TEST_F(QtCanvasTest, LinesLeaveOutTheirEndPixel) {
    {
        QPainter p(&image);
        lm::QtCanvas dc(p);
        dc.SetPen(RGB(0, 0, 0));
        dc.Line(10, 20, 20, 20);  // horizontal, to the right
        dc.Line(50, 40, 50, 30);  // vertical, upward
        dc.Line(5, 100, 6, 100);  // one pixel
        dc.Line(8, 100, 8, 100);  // nothing
        dc.MoveTo(100, 100);
        dc.LineTo(110, 110);      // diagonal, then on from its end
        dc.LineTo(120, 110);
    }
    for (int x = 10; x < 20; ++x) EXPECT_TRUE(Black(x, 20)) << x;
    EXPECT_TRUE(White(20, 20));
    EXPECT_TRUE(White(9, 20));
    for (int y = 31; y <= 40; ++y) EXPECT_TRUE(Black(50, y)) << y;
    EXPECT_TRUE(White(50, 30));
    EXPECT_TRUE(Black(5, 100));
    EXPECT_TRUE(White(6, 100));
    EXPECT_TRUE(White(8, 100));
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(Black(100 + i, 100 + i)) << i;
    // The second segment starts at the first one's end and draws it.
    EXPECT_TRUE(Black(110, 110));
    EXPECT_TRUE(Black(119, 110));
    EXPECT_TRUE(White(120, 110));
}

TEST_F(QtCanvasTest, PenColourAndWidth) {
    {
        QPainter p(&image);
        lm::QtCanvas dc(p);
        dc.SetPen(RGB(255, 0, 0));
        dc.Line(10, 10, 30, 10);
    }
    EXPECT_EQ(image.pixel(15, 10), qRgb(255, 0, 0));
    EXPECT_TRUE(White(15, 11));
}

TEST_F(QtCanvasTest, TextAtItsTopLeftPoint) {
    LOGFONT f;
    f.lfHeight = -16;
    f.lfFaceName = "DejaVu Sans";
    CSize size;
    {
        QPainter p(&image);
        lm::QtCanvas dc(p);
        dc.SetFont(f);
        EXPECT_EQ(dc.GetFont(), f);
        size = dc.MeasureText("1000");
        dc.SetBackgroundTransparent(true);
        dc.DrawText(40, 60, "1000");
    }
    EXPECT_GT(size.cx, 16);
    EXPECT_GT(size.cy, 10);
    const QRect ink = Inked();
    ASSERT_FALSE(ink.isNull());
    EXPECT_GE(ink.left(), 40);
    EXPECT_GE(ink.top(), 60);
    EXPECT_LE(ink.right(), 40 + size.cx);
    EXPECT_LE(ink.bottom(), 60 + size.cy);
}

TEST_F(QtCanvasTest, RotatedTextReadsUpward) {
    LOGFONT f;
    f.lfHeight = -16;
    f.lfEscapement = 900;
    f.lfFaceName = "DejaVu Sans";
    CSize size;
    {
        QPainter p(&image);
        lm::QtCanvas dc(p);
        dc.SetFont(f);
        size = dc.MeasureText("1000");
        dc.DrawText(80, 150, "1000");
    }
    const QRect ink = Inked();
    ASSERT_FALSE(ink.isNull());
    // Turned about the top-left point: it runs up from y 150 and lies right of x 80.
    EXPECT_GE(ink.left(), 80);
    EXPECT_LE(ink.right(), 80 + size.cy);
    EXPECT_LE(ink.bottom(), 150);
    EXPECT_GE(ink.top(), 150 - size.cx);
    EXPECT_GT(ink.height(), ink.width());
}

TEST_F(QtCanvasTest, ScaleDrawsAnAxis) {
    {
        QPainter p(&image);
        lm::QtCanvas dc(p);
        dc.SetPen(RGB(0, 0, 0));
        LOGFONT f;
        f.lfHeight = -12;
        f.lfFaceName = "DejaVu Sans";
        CTRANS t(0.0f, 1024.0f);
        dc.SetFont(f);
        CScale s(dc, CRect(40, 10, 190, 150), f, kScaleAxisX, t);
        EXPECT_EQ(dc.GetFont(), f);  // the labels' fonts are undone
    }
    // The major tick at 0 hangs below the plot area at x 39, the one at 1000
    // at x 39 + 146 (1000 / 1024 of 150 pixels); a minor tick at 100 is 5 long.
    for (int y = 150; y < 158; ++y) {
        EXPECT_TRUE(Black(39, y)) << y;
        EXPECT_TRUE(Black(185, y)) << y;
    }
    EXPECT_TRUE(White(39, 149));
    EXPECT_TRUE(Black(39 + 14, 154));
    EXPECT_TRUE(White(39 + 14, 155));
    // Labels below the ticks.
    bool labelInk = false;
    for (int y = 158; y < 200 && !labelInk; ++y)
        for (int x = 30; x < 60; ++x)
            if (!White(x, y)) labelInk = true;
    EXPECT_TRUE(labelInk);
}

}  // namespace
