#pragma once
// The small drawing surface the analysis core draws on (axis scales). The
// platform layer implements it on QPainter; tests record the calls.
//
// Rules, as the Windows program's device contexts have them:
// - coordinates are whole pixels, y downward;
// - LineTo draws from the current position to (x, y) without the end pixel,
//   and (x, y) becomes the current position;
// - text is drawn at a top-left point in the selected font; a font whose
//   lfEscapement is 900 (tenths of a degree) reads bottom to top, its
//   top-left point being the start of the text at the top of the glyphs;
//   only 0 and 900 need to be supported;
// - MeasureText gives the extent of a single line in the selected font along
//   its reading direction (cx) and across it (cy), unrotated.
#include <string>

#include "base/Geometry.h"
#include "base/LogFont.h"

class CCanvas {
public:
    virtual ~CCanvas() = default;

    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    // Pen of the given colour and width in pixels (1 by default).
    virtual void SetPen(COLORREF color, int width = 1) = 0;

    // The font for the following text calls. GetFont gives the one selected.
    virtual void SetFont(const LOGFONT& font) = 0;
    virtual LOGFONT GetFont() const = 0;
    virtual void SetTextColor(COLORREF color) = 0;
    // True: text leaves the background as it is.
    virtual void SetBackgroundTransparent(bool transparent) = 0;

    // UTF-8 text.
    virtual CSize MeasureText(const std::string& text) = 0;
    virtual void DrawText(int x, int y, const std::string& text) = 0;

    // A line from (x0, y0) to (x1, y1) without its end pixel.
    void Line(int x0, int y0, int x1, int y1) {
        MoveTo(x0, y0);
        LineTo(x1, y1);
    }
};
