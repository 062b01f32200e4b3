#include "platform/QtCanvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/PaintHelpers.h"

namespace lm {

QtCanvas::QtCanvas(QPainter& painter) : m_painter(&painter) {
    m_font.lfHeight = -12;
    m_font.lfWeight = FW_NORMAL;
    m_font.lfFaceName = "Arial";
    m_painter->setFont(ToQFont(m_font));
}

void QtCanvas::MoveTo(int x, int y) { m_pos = QPoint(x, y); }

void QtCanvas::LineTo(int x, int y) {
    const QPoint from = m_pos;
    const QPoint to(x, y);
    m_pos = to;
    const int dx = to.x() - from.x();
    const int dy = to.y() - from.y();
    const int steps = std::max(std::abs(dx), std::abs(dy));
    if (steps == 0) return;  // the only pixel would be the end pixel
    if (steps == 1) {
        m_painter->drawPoint(from);
        return;
    }
    // Both ends of a Qt line are drawn (square caps), whichever way it runs:
    // stop one step before the end point along the longer axis.
    const double k = double(steps - 1) / double(steps);
    const QPoint last(from.x() + int(std::lround(dx * k)), from.y() + int(std::lround(dy * k)));
    m_painter->drawLine(from, last);
}

void QtCanvas::SetPen(COLORREF color, int width) {
    QPen pen(ToQColor(color));
    if (width <= 1) {
        pen.setWidth(1);
        pen.setCosmetic(true);
    } else {
        pen.setWidth(width);
    }
    pen.setCapStyle(Qt::SquareCap);
    m_painter->setPen(pen);
}

void QtCanvas::SetFont(const LOGFONT& font) {
    m_font = font;
    m_painter->setFont(ToQFont(font));
}

void QtCanvas::SetTextColor(COLORREF color) { m_textColor = ToQColor(color); }

void QtCanvas::SetBackgroundTransparent(bool transparent) {
    m_painter->setBackgroundMode(transparent ? Qt::TransparentMode : Qt::OpaqueMode);
}

CSize QtCanvas::MeasureText(const std::string& text) {
    const QFontMetrics fm(m_painter->font(), m_painter->device());
    const QString s = QString::fromStdString(text);
    return {fm.horizontalAdvance(s), fm.height()};
}

void QtCanvas::DrawText(int x, int y, const std::string& text) {
    const QString s = QString::fromStdString(text);
    const QFontMetrics fm(m_painter->font(), m_painter->device());
    m_painter->save();
    m_painter->setPen(m_textColor);
    m_painter->translate(x, y);
    if (m_font.lfEscapement != 0) m_painter->rotate(-double(m_font.lfEscapement) / 10.0);
    m_painter->drawText(QPoint(0, fm.ascent()), s);
    m_painter->restore();
}

}  // namespace lm
