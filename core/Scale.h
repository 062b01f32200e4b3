#pragma once
// One axis of a plot: the axis transform decides where ticks and labels go
// (CTRANS::DrawTicks) and calls back Tick and Label with fractions of the
// axis; the scale turns fractions into pixels of the plot area and draws tick
// lines outside it and label texts (with an optional exponent) in the plot's
// font. A scale lives for one axis drawing and owns nothing.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/Geometry.h"
#include "base/LogFont.h"

class CCanvas;
class CTRANS;

enum ScaleAxis : int32_t {
    kScaleAxisX = 1,
    kScaleAxisY = 2,  // any value other than 1 is the Y axis
};

class CScale {
public:
    // plotArea: the plot's data rectangle in the canvas's coordinates (right
    // and bottom exclusive). font: the plot's label font. axis: 1 for X, any
    // other value for Y.
    CScale(CCanvas& canvas, const CRect& plotArea, const LOGFONT& font, int32_t axis);
    // Builds the scale and draws trans's axis at once.
    CScale(CCanvas& canvas, const CRect& plotArea, const LOGFONT& font, int32_t axis,
           const CTRANS& trans);
    virtual ~CScale() = default;
    CScale(const CScale&) = delete;
    CScale& operator=(const CScale&) = delete;

    // Ticks and labels of trans on this axis.
    void Draw(const CTRANS& trans);

    // Labels are kept within lo .. hi along the axis (x for the X axis, y for
    // the Y axis; hi exclusive): one that would reach past an end is moved
    // back inside, where it may then be left out for crowding its neighbour.
    void SetLabelSpan(int32_t lo, int32_t hi);
    // The box around every label text and exponent drawn so far (empty when
    // none was), so that axis titles can keep clear of them.
    const CRect& GetLabelBounds() const { return m_bounds; }

    // A tick of length pixels at the fraction: below the X axis, left of the
    // Y axis, in the canvas's current pen.
    virtual void Tick(int32_t length, float fraction);
    // A label at the fraction; exponent drawn only when not empty.
    virtual void Label(float fraction, const std::string& text, const std::string& exponent);

    // Pixel offset of a fraction along this axis (truncated toward zero).
    int32_t ToPixels(float fraction) const;

    bool IsXAxis() const { return m_axis == kScaleAxisX; }
    int32_t GetOriginX() const { return m_originX; }
    int32_t GetOriginY() const { return m_originY; }
    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }
    CCanvas& GetCanvas() const { return *m_canvas; }

private:
    // Claims the span [from, to] along the axis for a label; false when it
    // would come closer than a small gap to a label already drawn.
    bool TakeRoom(int32_t from, int32_t to, int32_t gap);
    // How far [from, to] must move to lie within the label span.
    int32_t IntoSpan(int32_t from, int32_t to) const;
    void AddBounds(const CRect& r);

    CCanvas* m_canvas;
    int32_t m_originX;  // plot area left - 1
    int32_t m_originY;  // plot area bottom
    LOGFONT m_font;
    int32_t m_width;
    int32_t m_height;
    int32_t m_axis;
    std::vector<std::pair<int32_t, int32_t>> m_taken;  // spans of the labels drawn
    bool m_spanSet = false;
    int32_t m_spanLo = 0;
    int32_t m_spanHi = 0;
    CRect m_bounds;
};
