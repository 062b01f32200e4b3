#include "platform/PaintHelpers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>

#include "base/Codepage.h"

namespace {

void EnsureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "lumitra-test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

QImage White(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

// Bounding box of the pixels that differ from white, as a GDI rectangle.
CRect Painted(const QImage& img) {
    CRect r(img.width(), img.height(), 0, 0);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255)) {
                r.left = std::min(r.left, x);
                r.top = std::min(r.top, y);
                r.right = std::max(r.right, x + 1);
                r.bottom = std::max(r.bottom, y + 1);
            }
    return r;
}

int CountColor(const QImage& img, QRgb c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == c;
    return n;
}

TEST(PaintHelpers, RectanglesKeepTheirRightAndBottomEdgesOut) {
    const CRect r(2, 3, 7, 9);
    const QRect q = lm::ToQRect(r);
    EXPECT_EQ(q.left(), 2);
    EXPECT_EQ(q.top(), 3);
    EXPECT_EQ(q.right(), 6);   // Qt counts the last pixel in
    EXPECT_EQ(q.bottom(), 8);
    EXPECT_EQ(q.width(), 5);
    EXPECT_EQ(lm::FromQRect(q), r);
    EXPECT_TRUE(lm::ToQRect(CRect(4, 4, 4, 9)).isEmpty());

    QImage img = White(20, 20);
    {
        QPainter p(&img);
        lm::FillRect(p, r, RGB(255, 0, 0));
        lm::FillRect(p, CRect(10, 10, 10, 15), RGB(0, 0, 0));  // empty: nothing
        lm::FillRect(p, CRect(12, 12, 15, 15), kColorNone);     // "None": nothing
    }
    EXPECT_EQ(Painted(img), r);
    EXPECT_EQ(CountColor(img, qRgb(255, 0, 0)), 5 * 6);
}

TEST(PaintHelpers, FillUnderAZoomCoversExactlyTheScaledArea) {
    QImage img = White(40, 40);
    {
        QPainter p(&img);
        p.scale(2.0, 2.0);
        lm::FillRect(p, CRect(3, 4, 8, 6), RGB(0, 0, 255));
    }
    EXPECT_EQ(Painted(img), CRect(6, 8, 16, 12));
}

TEST(PaintHelpers, RectangleOutlineLiesInsideAndIsDrawnOnce) {
    QImage img = White(20, 20);
    {
        QPainter p(&img);
        lm::DrawRectangle(p, CRect(2, 2, 10, 8), RGB(0, 0, 0), RGB(0, 255, 0));
    }
    EXPECT_EQ(Painted(img), CRect(2, 2, 10, 8));
    EXPECT_EQ(img.pixel(2, 2), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(9, 7), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(3, 3), qRgb(0, 255, 0));
    EXPECT_EQ(CountColor(img, qRgb(0, 0, 0)), 2 * 8 + 2 * 4);  // the outline
    EXPECT_EQ(CountColor(img, qRgb(0, 255, 0)), 6 * 4);        // the inside

    // An inverted outline drawn once per pixel: twice restores the picture.
    QImage inv = White(20, 20);
    {
        QPainter p(&inv);
        lm::DrawInvertedFrame(p, CRect(1, 1, 12, 10), 2);
    }
    EXPECT_EQ(CountColor(inv, qRgb(0, 0, 0)), 11 * 9 - 7 * 5);
}

TEST(PaintHelpers, InvertedFeedbackDrawnTwiceRestoresThePicture) {
    QImage img = White(30, 30);
    {
        QPainter p(&img);
        p.fillRect(5, 5, 10, 10, QColor(10, 200, 30));
    }
    const QImage before = img.copy();
    {
        QPainter p(&img);
        lm::DrawInvertedFrame(p, CRect(3, 3, 20, 18), 3);
        lm::InvertRect(p, CRect(0, 0, 4, 4));
    }
    EXPECT_NE(img, before);
    EXPECT_EQ(img.pixel(5, 6), qRgb(255 - 10, 255 - 200, 255 - 30));  // in the frame band
    EXPECT_EQ(img.pixel(10, 10), qRgb(10, 200, 30));                 // the hole stays
    {
        QPainter p(&img);
        lm::DrawInvertedFrame(p, CRect(3, 3, 20, 18), 3);
        lm::InvertRect(p, CRect(0, 0, 4, 4));
    }
    EXPECT_EQ(img, before);
    // A frame too small for a hole inverts its whole area, once.
    QImage small = White(10, 10);
    {
        QPainter p(&small);
        lm::DrawInvertedFrame(p, CRect(1, 1, 5, 4), 3);
    }
    EXPECT_EQ(CountColor(small, qRgb(0, 0, 0)), 4 * 3);
}

TEST(PaintHelpers, ColoursConvertBothWays) {
    const QColor c = lm::ToQColor(RGB(0x12, 0x34, 0x56));
    EXPECT_EQ(c, QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(lm::FromQColor(c), 0x563412u);
    EXPECT_EQ(lm::ToQColor(kColorNone).alpha(), 0);
    EXPECT_EQ(lm::FromQColor(QColor(0, 0, 0, 0)), kColorNone);
    EXPECT_EQ(lm::FromQColor(QColor()), kColorNone);
    EXPECT_EQ(lm::FromQColor(QColor(255, 255, 255)), 0xFFFFFFu);  // white is not "None"
}

TEST(PaintHelpers, FaceNamesFitTheRecordFieldAtACharacterBoundary) {
    EXPECT_EQ(lm::FitFaceName("Arial"), "Arial");
    EXPECT_EQ(lm::FitFaceName(std::string(31, 'x')), std::string(31, 'x'));
    EXPECT_EQ(lm::FitFaceName(std::string(40, 'x')), std::string(31, 'x'));
    // Chinese characters take two bytes each in the record: 15 fit, the 16th
    // would need bytes 31 and 32.
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += "宋";
    const std::string fitted = lm::FitFaceName(sixteen);
    EXPECT_EQ(lm::Utf8ToCp936(fitted).size(), 30u);
    EXPECT_EQ(fitted.size(), 15u * 3);
    EXPECT_TRUE(lm::IsValidUtf8(fitted));
    // One ASCII letter first: the 16th Chinese character ends on byte 31.
    const std::string mixed = "a" + sixteen;
    EXPECT_EQ(lm::Utf8ToCp936(lm::FitFaceName(mixed)).size(), 31u);
    EXPECT_EQ(lm::FitFaceName("宋体"), "宋体");
}

TEST(PaintHelpers, LogFontBecomesQtFontAndBack) {
    EnsureApp();
    LOGFONT lf;
    lf.lfHeight = -16;
    lf.lfWeight = FW_BOLD;
    lf.lfItalic = 1;
    lf.lfUnderline = 1;
    lf.lfEscapement = 900;
    lf.lfPitchAndFamily = 0x22;  // variable pitch, Swiss
    lf.lfFaceName = "Arial";
    const QFont f = lm::ToQFont(lf);
    EXPECT_EQ(f.pixelSize(), 16);
    EXPECT_EQ(f.weight(), QFont::Bold);
    EXPECT_TRUE(f.italic());
    EXPECT_TRUE(f.underline());
    EXPECT_FALSE(f.strikeOut());
    EXPECT_EQ(f.styleHint(), QFont::SansSerif);

    const LOGFONT back = lm::FromQFont(f, lf);
    EXPECT_EQ(back.lfHeight, -16);
    EXPECT_EQ(back.lfWeight, FW_BOLD);
    EXPECT_EQ(back.lfItalic, 1);
    EXPECT_EQ(back.lfEscapement, 900);  // kept from the base
    EXPECT_EQ(back.lfFaceName, "Arial");

    // Heights from a file can be anything: the font stays drawable.
    LOGFONT huge = lf;
    huge.lfHeight = INT32_MIN;
    EXPECT_GT(lm::ToQFont(huge).pixelSize(), 0);
    EXPECT_LE(lm::ToQFont(huge).pixelSize(), 4000);
    LOGFONT zero = lf;
    zero.lfHeight = 0;
    zero.lfWeight = 0;
    EXPECT_GT(lm::ToQFont(zero).pixelSize(), 0);
    EXPECT_EQ(lm::ToQFont(zero).weight(), QFont::Normal);
    // A positive height is the cell height: the em size comes out smaller.
    LOGFONT cell = lf;
    cell.lfHeight = 40;
    EXPECT_LE(lm::ToQFont(cell).pixelSize(), 40);
}

TEST(PaintHelpers, ChineseFacesMapToAnInstalledCjkFace) {
    EnsureApp();
    const QStringList families = QFontDatabase::families();
    if (!families.contains("WenQuanYi Zen Hei") && !families.contains("Noto Sans CJK SC"))
        GTEST_SKIP() << "no CJK font installed (fonts-wqy-zenhei)";
    const QString mapped = lm::MapFaceName("宋体");
    EXPECT_NE(mapped, "宋体");
    EXPECT_TRUE(families.contains(mapped));
    EXPECT_EQ(lm::MapFaceName("SimSun"), mapped);
    EXPECT_EQ(lm::MapFaceName("Arial"), "Arial");  // left to the font system
    LOGFONT lf;
    lf.lfHeight = -16;
    lf.lfFaceName = "宋体";
    EXPECT_EQ(QFontInfo(lm::ToQFont(lf)).family(), mapped);
}

}  // namespace
