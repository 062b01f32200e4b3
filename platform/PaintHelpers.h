#pragma once
// Painting with the rules the page objects were written for, on QPainter:
// rectangles whose right and bottom edges are outside, colours as COLORREF,
// fonts as LOGFONT, and the inverting feedback (drag frames, handles) that
// restores the picture when drawn twice.
#include <QColor>
#include <QFont>
#include <QRect>
#include <QRectF>
#include <QString>

#include <string>

#include "base/Geometry.h"
#include "base/LogFont.h"

class QPainter;

namespace lm {

// The same pixels: a CRect leaves out its right and bottom edge, a QRect
// counts them in, so (l, t, r, b) is QRect(l, t, r - l, b - t).
QRect ToQRect(const CRect& r);
CRect FromQRect(const QRect& r);
// Exact area of a CRect for painting under any transform.
QRectF ToQRectF(const CRect& r);

// COLORREF is 0x00BBGGRR. "None" (0xFFFFFFFF) becomes a fully transparent colour.
QColor ToQColor(COLORREF c);
// Alpha is dropped; a fully transparent colour gives "None".
COLORREF FromQColor(const QColor& c);

// Fills the rectangle's area (nothing for "None" or an empty rectangle).
void FillRect(QPainter& p, const CRect& r, COLORREF color);
// The platform's Rectangle: an outline of the given width lying inside r, the
// inside filled with brush. Either colour may be "None".
void DrawRectangle(QPainter& p, const CRect& r, COLORREF pen, COLORREF brush, int penWidth = 1);
// Inverts every pixel of r (the NOT raster operation): twice restores.
void InvertRect(QPainter& p, const CRect& r);
// A frame `thickness` wide inside r, inverted (drag frames, trackers,
// rubber bands): twice restores. Draws on raster devices (widgets, images).
void DrawInvertedFrame(QPainter& p, const CRect& r, int thickness);

// The Chinese faces of the Windows program ("宋体", "黑体", "SimSun"...) map
// to a CJK face installed here (WenQuanYi Zen Hei, Noto CJK...); any other
// face is given to the font system as it is. Needs a QGuiApplication.
QString MapFaceName(const std::string& face);
// The face name as the 32-byte face field of a font record can hold it: at
// most 31 bytes in code page 936, cut before the character that would not fit.
std::string FitFaceName(const std::string& utf8);

// A negative lfHeight is the character height in pixels (the em size), a
// positive one the cell height (em plus internal leading), 0 the default.
// lfEscapement is left to the text drawing (it is a rotation).
QFont ToQFont(const LOGFONT& lf);
// The font dialog's answer written back into base: size, weight, italic,
// underline, strike-out and face change; the other fields stay.
LOGFONT FromQFont(const QFont& font, const LOGFONT& base = LOGFONT{});

}  // namespace lm
