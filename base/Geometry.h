#pragma once
// Rectangles, points and sizes with the rules of the Windows program's
// platform: 32-bit signed coordinates, right and bottom edges exclusive,
// a rectangle is empty when right <= left or bottom <= top.
#include <cstdint>

struct CSize {
    int32_t cx = 0, cy = 0;
    constexpr CSize() = default;
    constexpr CSize(int32_t x, int32_t y) : cx(x), cy(y) {}
    constexpr bool operator==(const CSize&) const = default;
};

struct CPoint {
    int32_t x = 0, y = 0;
    constexpr CPoint() = default;
    constexpr CPoint(int32_t x_, int32_t y_) : x(x_), y(y_) {}
    constexpr bool operator==(const CPoint&) const = default;
    constexpr CPoint operator+(CSize s) const { return {x + s.cx, y + s.cy}; }
    constexpr CPoint operator-(CSize s) const { return {x - s.cx, y - s.cy}; }
    constexpr CSize operator-(CPoint p) const { return {x - p.x, y - p.y}; }
    constexpr CPoint& operator+=(CSize s) { x += s.cx; y += s.cy; return *this; }
    constexpr CPoint& operator-=(CSize s) { x -= s.cx; y -= s.cy; return *this; }
    void Offset(int32_t dx, int32_t dy) { x += dx; y += dy; }
};

struct CRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    constexpr CRect() = default;
    constexpr CRect(int32_t l, int32_t t, int32_t r, int32_t b) : left(l), top(t), right(r), bottom(b) {}
    constexpr CRect(CPoint tl, CSize s) : left(tl.x), top(tl.y), right(tl.x + s.cx), bottom(tl.y + s.cy) {}
    constexpr CRect(CPoint tl, CPoint br) : left(tl.x), top(tl.y), right(br.x), bottom(br.y) {}
    constexpr bool operator==(const CRect&) const = default;

    constexpr int32_t Width() const { return right - left; }
    constexpr int32_t Height() const { return bottom - top; }
    constexpr CSize Size() const { return {Width(), Height()}; }
    constexpr CPoint TopLeft() const { return {left, top}; }
    constexpr CPoint BottomRight() const { return {right, bottom}; }
    constexpr CPoint CenterPoint() const {
        return {int32_t((int64_t(left) + right) / 2), int32_t((int64_t(top) + bottom) / 2)};
    }
    // Empty: no area (right <= left or bottom <= top).
    constexpr bool IsRectEmpty() const { return right <= left || bottom <= top; }
    // Null: all four coordinates 0.
    constexpr bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    // Left and top inside, right and bottom outside. Never true for an empty rect.
    constexpr bool PtInRect(CPoint p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    void SetRect(int32_t l, int32_t t, int32_t r, int32_t b) { left = l; top = t; right = r; bottom = b; }
    void SetRectEmpty() { left = top = right = bottom = 0; }
    void NormalizeRect();
    void InflateRect(int32_t dx, int32_t dy) { left -= dx; top -= dy; right += dx; bottom += dy; }
    void InflateRect(int32_t l, int32_t t, int32_t r, int32_t b) { left -= l; top -= t; right += r; bottom += b; }
    void DeflateRect(int32_t dx, int32_t dy) { InflateRect(-dx, -dy); }
    void DeflateRect(int32_t l, int32_t t, int32_t r, int32_t b) { InflateRect(-l, -t, -r, -b); }
    void OffsetRect(int32_t dx, int32_t dy) { left += dx; right += dx; top += dy; bottom += dy; }
    void OffsetRect(CSize s) { OffsetRect(s.cx, s.cy); }
    // Intersection; empty result becomes the null rect and returns false.
    bool IntersectRect(const CRect& a, const CRect& b);
    // Smallest rect holding both; empty inputs are ignored. Returns !IsRectEmpty().
    bool UnionRect(const CRect& a, const CRect& b);
};

// r with left <= right and top <= bottom.
inline CRect Normalized(CRect r) {
    r.NormalizeRect();
    return r;
}

// Colours as the Windows program stores them: 0x00BBGGRR.
using COLORREF = uint32_t;
constexpr COLORREF kColorNone = 0xFFFFFFFFu;  // "None": not drawn
constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
    return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return uint8_t(c & 0xFF); }
constexpr uint8_t GetGValue(COLORREF c) { return uint8_t((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(COLORREF c) { return uint8_t((c >> 16) & 0xFF); }
constexpr bool IsColorNone(COLORREF c) { return c == kColorNone; }
