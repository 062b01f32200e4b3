#pragma once
// Base of everything a plot draws inside its plot area: dot, histogram,
// density and contour layers, overlays cloned from other plots, and the
// region layers that edit gate regions. A layer belongs to one plot and uses
// that plot's axis transforms unless it carries its own (overlays do, so they
// keep the scales of the plot they came from).
//
// Layers draw into a picture of the plot area's size (origin at the area's
// top-left, y downward, one pixel per page unit) and address the area with
// y growing upward from its bottom edge.
#include <QImage>

#include <cstdint>
#include <memory>

#include "base/Geometry.h"

class CArchive;
class CDataRgn;
class CGateNode;
class CPLOT;
class CTRANS;
class QPainter;

class CLayer {
public:
    // ownsTransforms: the layer deletes its own transforms, and tells its
    // plot when it dies (an overlay).
    CLayer(CPLOT* plot, bool ownsTransforms);
    virtual ~CLayer();
    CLayer(const CLayer&) = delete;
    CLayer& operator=(const CLayer&) = delete;

    // ---- the operations a plot drives its layers with ----
    // A new layer of the same class and settings for plot (overlays), owning
    // clones of this layer's transforms; it computes nothing until asked.
    // Null for layers that are never cloned.
    virtual std::unique_ptr<CLayer> Clone(CPLOT* plot) = 0;
    // Recomputes cached data from the gate's events.
    virtual void Recalculate() {}
    virtual void Reset() {}
    // Draws into a picture of the plot area's size (RGB32).
    virtual void Draw(QImage& area) = 0;
    // Draws the layer as a mask into a white picture of the area's size:
    // every pixel that is not white is a mark.
    virtual void DrawMask(QImage& mask);
    virtual void SetActive(bool active);
    // The layer's own record.
    virtual void Load(CArchive& ar);
    virtual void Store(CArchive& ar) const;
    // Frees cached data; the layer takes no part in drawing until shown or
    // recomputed again.
    virtual void ReleaseData() { m_active = false; }
    virtual void SetOwnsTransforms(bool owns) { m_ownsTransforms = owns; }

    // ---- what a plot asks of the layers that edit a region ----
    // Every layer answers; only region layers have a region.
    virtual CDataRgn* GetRegion() const { return nullptr; }
    // RegionType code, -1 for layers without a region.
    virtual int32_t GetRegionType() const { return -1; }
    // The region lies on these two parameters.
    virtual bool ParamsMatch(int32_t /*xPar*/, int32_t /*yPar*/) const { return false; }
    // The layer is shown on a plot of these two parameters: its region lies
    // on them, or the shape is being drawn there.
    virtual bool DrawnOn(int32_t xPar, int32_t yPar) const { return ParamsMatch(xPar, yPar); }
    // The event percentage shown with the region is computed again.
    virtual void UpdatePercentText() {}
    // Selection mark (handles) of a region layer.
    virtual void SetSelected(bool /*selected*/) {}
    // The gate whose events the layer shows, if any (dot and histogram layers).
    virtual CGateNode* GetLayerGate() const { return nullptr; }

    // ---- transforms ----
    // The layer's own transform when set, else the plot's (null when neither
    // exists).
    CTRANS* GetXTrans() const;
    CTRANS* GetYTrans() const;
    // Gives the layer its own transforms (taken when it owns transforms).
    void SetOwnTransforms(std::unique_ptr<CTRANS> x, std::unique_ptr<CTRANS> y);
    bool OwnsTransforms() const { return m_ownsTransforms; }

    // ---- coordinates (page units; A is the plot's area) ----
    // The plot's area; (0, 0, 32, 32) without a plot.
    CRect GetPlotArea() const;
    // (x - A.left, A.bottom - y): offsets inside A, y upward.
    CPoint PageToArea(int32_t x, int32_t y) const;
    CPoint AreaToPage(int32_t x, int32_t y) const;
    // A's width (height) times f, truncated toward zero.
    int32_t WidthFraction(float f) const;
    int32_t HeightFraction(float f) const;
    // px / A's width (height), not clamped; 0 for an area without width.
    double PixelToFractionX(int32_t px) const;
    double PixelToFractionY(int32_t py) const;
    // 0 for f <= 0, the width (height) for f >= 1, else width * f truncated.
    int32_t FractionToPixelX(float f) const;
    int32_t FractionToPixelY(float f) const;
    // 0.0 below pixel 1, 1.0 from the width (height) up, else px / width.
    double ClampedFractionX(int32_t px) const;
    double ClampedFractionY(int32_t py) const;

    // ---- plain fields ----
    CPLOT* GetPlot() const { return m_plot; }
    void SetPlot(CPLOT* plot) { m_plot = plot; }
    COLORREF GetColor() const { return m_color; }
    void SetColor(COLORREF c) { m_color = c; }
    COLORREF GetColorA() const { return m_colorA; }
    void SetColorA(COLORREF c) { m_colorA = c; }
    bool IsActive() const { return m_active; }
    bool GetNotifyOwner() const { return m_notifyOwner; }
    void SetNotifyOwner(bool on) { m_notifyOwner = on; }

protected:
    COLORREF m_colorA = 0xFFFFFF;
    COLORREF m_color = 0;
    std::unique_ptr<CTRANS> m_xTrans;  // own transforms, only when owned
    std::unique_ptr<CTRANS> m_yTrans;
    CPLOT* m_plot = nullptr;
    bool m_active = false;
    bool m_ownsTransforms = false;
    bool m_notifyOwner = true;
};

// ---- picture helpers shared by the plot and its layers ----

// Largest plot area layers compute and draw (each side, and in pixels); an
// area beyond it, like one without width or height, gets nothing drawn and
// nothing allocated.
constexpr int32_t kMaxAreaSide = 1 << 15;
constexpr int64_t kMaxAreaPixels = int64_t(1) << 24;
inline bool IsUsableArea(int32_t w, int32_t h) {
    return w > 0 && h > 0 && w <= kMaxAreaSide && h <= kMaxAreaSide &&
           int64_t(w) * int64_t(h) <= kMaxAreaPixels;
}

// A picture of w x h (RGB32) filled with colour (white for "None"); a null
// picture when the area is not usable.
QImage NewAreaImage(int32_t w, int32_t h, COLORREF fill);
// A white mask picture of w x h.
inline QImage NewMaskImage(int32_t w, int32_t h) { return NewAreaImage(w, h, 0xFFFFFF); }
// True when the mask pixel is a mark (not white).
inline bool IsMaskMark(QRgb pixel) { return (pixel & 0xFFFFFFu) != 0xFFFFFFu; }
// Paints colour into target at offset (dx, dy) wherever mask has a mark and
// leaves every other pixel as it was (the AND-then-OR painting of a 1-bit
// mask). Nothing for "None".
void PaintMaskInto(QImage& target, const QImage& mask, COLORREF colour, int32_t dx = 0,
                   int32_t dy = 0);
// The marks of mask in colour on a transparent ground (ARGB32), for painting
// through a QPainter onto any device (screen, printer, PDF).
QImage MaskToColourImage(const QImage& mask, COLORREF colour);
// RGB32 pixel of a COLORREF.
inline QRgb ColorRefToRgb(COLORREF c) {
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
