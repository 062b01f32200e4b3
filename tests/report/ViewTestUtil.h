#pragma once
// Helpers of the report view and printing tests: page objects that paint
// their rectangle in one colour and count their paints, and picture probes.
#include <QImage>
#include <QPainter>

#include <string>

#include "platform/PaintHelpers.h"
#include "report/page/LumitraDoc.h"
#include "tests/report/ReportTestUtil.h"

namespace vtest {

// A page object that fills its rectangle with one colour and counts how
// often it was painted (on the screen and on paper).
class FillObj : public rtest::TestObj {
public:
    FillObj(const CRect& r, CLumitraDoc* doc, COLORREF c) : TestObj(r, doc, kObjGrid), colour(c) {}
    void Draw(QPainter* p) override {
        ++draws;
        lm::FillRect(*p, m_rect, colour);
    }
    void DrawPrint(QPainter* p) override {
        ++prints;
        lm::FillRect(*p, m_rect, colour);
    }
    COLORREF colour;
    int draws = 0;
    int prints = 0;
};

// Adds a FillObj to the document (it owns it) and returns it.
inline FillObj* AddFill(CLumitraDoc& doc, const CRect& r, COLORREF c) {
    return static_cast<FillObj*>(doc.AddObject(std::make_unique<FillObj>(r, &doc, c)));
}

inline QRgb Rgb(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) | 0xFF000000u; }

// Number of pixels of r (right and bottom exclusive) that are exactly colour.
inline int Count(const QImage& img, const CRect& r, QRgb colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (At(img, x, y) == (colour | 0xFF000000u)) ++n;
    return n;
}

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 220, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
inline const QRgb kGreyPx = qRgb(128, 128, 128);
inline const QRgb kWhitePx = qRgb(255, 255, 255);

}  // namespace vtest
