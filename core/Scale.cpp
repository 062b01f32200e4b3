#include "core/Scale.h"

#include "core/Canvas.h"
#include "core/Trans.h"

#include <algorithm>

namespace {
// Label placement, in pixels.
constexpr int32_t kXLabelDrop = 8;       // X label text below the axis
constexpr int32_t kXExponentGap = 2;     // between the text and its exponent
constexpr int32_t kXExponentDrop = 2;    // exponent top below the axis
constexpr int32_t kYLabelLeft = 25;      // Y label left of the axis
constexpr int32_t kYExponentLeft = 3;
constexpr int32_t kYExponentUp = 15;
constexpr int32_t kEscapementUp = 900;   // text reading bottom to top
constexpr int32_t kLabelGap = 3;         // least room between two labels along the axis
}  // namespace

bool CScale::TakeRoom(int32_t from, int32_t to, int32_t gap) {
    for (const auto& [a, b] : m_taken)
        if (from < b + gap && a < to + gap) return false;
    m_taken.emplace_back(from, to);
    return true;
}

void CScale::SetLabelSpan(int32_t lo, int32_t hi) {
    m_spanSet = lo < hi;
    m_spanLo = lo;
    m_spanHi = hi;
}

int32_t CScale::IntoSpan(int32_t from, int32_t to) const {
    if (!m_spanSet) return 0;
    if (int64_t(to) > m_spanHi) return int32_t(std::max<int64_t>(int64_t(m_spanHi) - to, int64_t(m_spanLo) - from));
    if (from < m_spanLo) return m_spanLo - from;
    return 0;
}

void CScale::AddBounds(const CRect& r) {
    if (r.IsRectEmpty()) return;
    if (m_bounds.IsRectEmpty()) {
        m_bounds = r;
        return;
    }
    m_bounds.left = std::min(m_bounds.left, r.left);
    m_bounds.top = std::min(m_bounds.top, r.top);
    m_bounds.right = std::max(m_bounds.right, r.right);
    m_bounds.bottom = std::max(m_bounds.bottom, r.bottom);
}

CScale::CScale(CCanvas& canvas, const CRect& plotArea, const LOGFONT& font, int32_t axis)
    : m_canvas(&canvas),
      m_originX(plotArea.left - 1),
      m_originY(plotArea.bottom),
      m_font(font),
      m_width(plotArea.right - plotArea.left),
      m_height(plotArea.bottom - plotArea.top),
      m_axis(axis) {}

CScale::CScale(CCanvas& canvas, const CRect& plotArea, const LOGFONT& font, int32_t axis,
               const CTRANS& trans)
    : CScale(canvas, plotArea, font, axis) {
    Draw(trans);
}

void CScale::Draw(const CTRANS& trans) { trans.DrawTicks(*this); }

int32_t CScale::ToPixels(float fraction) const {
    const double extent = IsXAxis() ? m_width : m_height;
    const double px = extent * double(fraction);
    // Fractions come clamped to 0..1; anything else is kept on the axis
    // rather than converted out of range.
    if (!(px == px)) return 0;
    if (px > 1e9) return 1000000000;
    if (px < -1e9) return -1000000000;
    return int32_t(px);  // truncation toward zero
}

void CScale::Tick(int32_t length, float fraction) {
    const int32_t p = ToPixels(fraction);
    if (IsXAxis())
        m_canvas->Line(m_originX + p, m_originY, m_originX + p, m_originY + length);
    else
        m_canvas->Line(m_originX, m_originY - p, m_originX - length, m_originY - p);
}

void CScale::Label(float fraction, const std::string& text, const std::string& exponent) {
    CCanvas& dc = *m_canvas;
    const int32_t p = ToPixels(fraction);
    dc.SetBackgroundTransparent(true);
    const LOGFONT previous = dc.GetFont();

    if (IsXAxis()) {
        LOGFONT textFont = m_font;
        textFont.lfHeight += 2;  // 2 pixels smaller for the usual negative heights
        const LOGFONT& expFont = m_font;
        dc.SetFont(textFont);
        const CSize size = dc.MeasureText(text);
        int32_t left = m_originX - size.cx / 2 + p;
        const int32_t top = m_originY;
        CSize expSize(0, 0);
        if (!exponent.empty()) {
            dc.SetFont(expFont);
            expSize = dc.MeasureText(exponent);
            dc.SetFont(textFont);
        }
        const int32_t width = size.cx + (exponent.empty() ? 0 : kXExponentGap + expSize.cx);
        // The last label is not cut at the plot's edge: it moves inside.
        left += IntoSpan(left, left + width);
        // A label that would run into one already drawn is left out; two
        // labels keep half a line apart, so that they read as two numbers.
        if (!TakeRoom(left, left + width, std::max(kLabelGap, size.cy / 2))) {
            dc.SetFont(previous);
            return;
        }
        dc.DrawText(left, top + kXLabelDrop, text);
        AddBounds(CRect(left, top + kXLabelDrop, left + size.cx, top + kXLabelDrop + size.cy));
        if (!exponent.empty()) {
            dc.SetFont(expFont);
            // The exponent follows the text, raised.
            const int32_t ex = left + size.cx + kXExponentGap;
            dc.DrawText(ex, top + kXExponentDrop, exponent);
            AddBounds(CRect(ex, top + kXExponentDrop, ex + expSize.cx, top + kXExponentDrop + expSize.cy));
        }
    } else {
        LOGFONT textFont = m_font;
        textFont.lfEscapement = kEscapementUp;
        textFont.lfOrientation = kEscapementUp;
        LOGFONT expFont = textFont;
        expFont.lfHeight -= 3;  // 3 pixels larger for the usual negative heights
        dc.SetFont(textFont);
        const CSize size = dc.MeasureText(text);
        CSize expSize(0, 0);
        if (!exponent.empty()) {
            dc.SetFont(expFont);
            expSize = dc.MeasureText(exponent);
            dc.SetFont(textFont);
        }
        const int32_t left = m_originX - kYLabelLeft;
        int32_t top = m_originY + size.cx / 2 - p;  // centred on the tick
        // The text reads upward from top; its exponent sits above it.
        const auto above = [&] {
            return exponent.empty() ? top - size.cx : std::min(top - size.cx, top - kYExponentUp - expSize.cx);
        };
        top += IntoSpan(above(), top);
        if (!TakeRoom(above(), top, std::max(kLabelGap, size.cy / 2))) {
            dc.SetFont(previous);
            return;
        }
        dc.DrawText(left, top, text);
        AddBounds(CRect(left, top - size.cx, left + size.cy, top));
        if (!exponent.empty()) {
            dc.SetFont(expFont);
            const int32_t ex = left - kYExponentLeft, ey = top - kYExponentUp;
            dc.DrawText(ex, ey, exponent);
            AddBounds(CRect(ex, ey - expSize.cx, ex + expSize.cy, ey));
        }
    }
    dc.SetFont(previous);
}
