#pragma once
// The core's drawing surface (CCanvas) on a QPainter: axis scales and other
// core drawing go through it onto widgets, images and printers.
#include <QColor>
#include <QPoint>

#include "core/Canvas.h"

class QPainter;

namespace lm {

class QtCanvas : public CCanvas {
public:
    // Draws on painter, which must outlive this object. The painter's pen,
    // font and background mode are changed by the calls, not restored.
    explicit QtCanvas(QPainter& painter);

    void MoveTo(int x, int y) override;
    // From the current position to (x, y), the end pixel left out, as the
    // Windows platform draws lines.
    void LineTo(int x, int y) override;
    // Width 0 or 1: one pixel whatever the painter's scaling; wider pens
    // scale with it.
    void SetPen(COLORREF color, int width = 1) override;

    void SetFont(const LOGFONT& font) override;
    LOGFONT GetFont() const override { return m_font; }
    void SetTextColor(COLORREF color) override;
    void SetBackgroundTransparent(bool transparent) override;

    CSize MeasureText(const std::string& text) override;
    // Top-left at (x, y); the font's lfEscapement (tenths of a degree,
    // counter-clockwise) turns the text about that point.
    void DrawText(int x, int y, const std::string& text) override;

    QPainter& Painter() const { return *m_painter; }

private:
    QPainter* m_painter;
    QPoint m_pos;
    LOGFONT m_font;
    QColor m_textColor = Qt::black;
};

}  // namespace lm
