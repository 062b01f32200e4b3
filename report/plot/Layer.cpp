#include "report/plot/Layer.h"

#include <cmath>

#include "base/Archive.h"
#include "core/Trans.h"
#include "report/plot/Plot.h"

namespace {

// The area a layer without a plot measures against.
constexpr int32_t kNoPlotSide = 32;

int32_t Truncate(double v) {
    if (!(std::fabs(v) < 2147483647.0)) return v > 0 ? INT32_MAX : (v < 0 ? INT32_MIN : 0);
    return int32_t(v);
}

}  // namespace

CLayer::CLayer(CPLOT* plot, bool ownsTransforms) : m_plot(plot), m_ownsTransforms(ownsTransforms) {}

CLayer::~CLayer() {
    // An overlay owns its transforms and unlinks itself from its plot's
    // overlay lists; a plot deleting its own overlays clears the flag first.
    if (m_ownsTransforms && m_notifyOwner && m_plot) m_plot->RemoveOverlayLayer(this);
}

void CLayer::DrawMask(QImage&) {}

void CLayer::SetActive(bool) {}

void CLayer::Load(CArchive&) {}

void CLayer::Store(CArchive&) const {}

CTRANS* CLayer::GetXTrans() const {
    if (m_xTrans) return m_xTrans.get();
    return m_plot ? m_plot->GetXTrans() : nullptr;
}

CTRANS* CLayer::GetYTrans() const {
    if (m_yTrans) return m_yTrans.get();
    return m_plot ? m_plot->GetYTrans() : nullptr;
}

void CLayer::SetOwnTransforms(std::unique_ptr<CTRANS> x, std::unique_ptr<CTRANS> y) {
    m_xTrans = std::move(x);
    m_yTrans = std::move(y);
}

CRect CLayer::GetPlotArea() const {
    return m_plot ? m_plot->GetPlotArea() : CRect(0, 0, kNoPlotSide, kNoPlotSide);
}

CPoint CLayer::PageToArea(int32_t x, int32_t y) const {
    const CRect a = GetPlotArea();
    return CPoint(x - a.left, a.bottom - y);
}

CPoint CLayer::AreaToPage(int32_t x, int32_t y) const {
    const CRect a = GetPlotArea();
    return CPoint(a.left + x, a.bottom - y);
}

int32_t CLayer::WidthFraction(float f) const { return Truncate(double(GetPlotArea().Width()) * f); }

int32_t CLayer::HeightFraction(float f) const { return Truncate(double(GetPlotArea().Height()) * f); }

double CLayer::PixelToFractionX(int32_t px) const {
    const int32_t w = GetPlotArea().Width();
    return w > 0 ? double(px) / double(w) : 0.0;
}

double CLayer::PixelToFractionY(int32_t py) const {
    const int32_t h = GetPlotArea().Height();
    return h > 0 ? double(py) / double(h) : 0.0;
}

int32_t CLayer::FractionToPixelX(float f) const {
    const int32_t w = GetPlotArea().Width();
    if (f <= 0.0f || std::isnan(f)) return 0;
    if (f >= 1.0f) return w;
    return Truncate(double(w) * f);
}

int32_t CLayer::FractionToPixelY(float f) const {
    const int32_t h = GetPlotArea().Height();
    if (f <= 0.0f || std::isnan(f)) return 0;
    if (f >= 1.0f) return h;
    return Truncate(double(h) * f);
}

double CLayer::ClampedFractionX(int32_t px) const {
    const int32_t w = GetPlotArea().Width();
    if (px < 1) return 0.0;
    if (px >= w) return 1.0;
    return double(px) / double(w);
}

double CLayer::ClampedFractionY(int32_t py) const {
    const int32_t h = GetPlotArea().Height();
    if (py < 1) return 0.0;
    if (py >= h) return 1.0;
    return double(py) / double(h);
}

// ---- pictures ----

QImage NewAreaImage(int32_t w, int32_t h, COLORREF fill) {
    if (!IsUsableArea(w, h)) return QImage();
    QImage img(w, h, QImage::Format_RGB32);
    if (img.isNull()) return img;
    img.fill(ColorRefToRgb(fill == kColorNone ? 0xFFFFFF : fill));
    return img;
}

void PaintMaskInto(QImage& target, const QImage& mask, COLORREF colour, int32_t dx, int32_t dy) {
    if (colour == kColorNone || target.isNull() || mask.isNull()) return;
    const QRgb c = ColorRefToRgb(colour);
    const QImage m = mask.format() == QImage::Format_RGB32 || mask.format() == QImage::Format_ARGB32
                         ? mask
                         : mask.convertToFormat(QImage::Format_RGB32);
    const int32_t x0 = std::max<int32_t>(0, -dx);
    const int32_t y0 = std::max<int32_t>(0, -dy);
    const int32_t x1 = std::min<int32_t>(m.width(), target.width() - dx);
    const int32_t y1 = std::min<int32_t>(m.height(), target.height() - dy);
    for (int32_t y = y0; y < y1; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(m.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(target.scanLine(y + dy));
        for (int32_t x = x0; x < x1; ++x)
            if (IsMaskMark(src[x])) dst[x + dx] = c;
    }
}

QImage MaskToColourImage(const QImage& mask, COLORREF colour) {
    if (mask.isNull()) return QImage();
    QImage out(mask.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    if (colour == kColorNone) return out;
    const QImage m = mask.format() == QImage::Format_RGB32 || mask.format() == QImage::Format_ARGB32
                         ? mask
                         : mask.convertToFormat(QImage::Format_RGB32);
    const QRgb c = ColorRefToRgb(colour) | 0xFF000000u;
    for (int32_t y = 0; y < m.height(); ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(m.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int32_t x = 0; x < m.width(); ++x)
            if (IsMaskMark(src[x])) dst[x] = c;
    }
    return out;
}
