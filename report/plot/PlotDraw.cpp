// Drawing of the plot page object: title, axis titles, axes, the layers
// composited off screen, and the region masks painted on top.
#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <algorithm>

#include "base/Text.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Scale.h"
#include "core/Trans.h"
#include "platform/PaintHelpers.h"
#include "platform/QtCanvas.h"
#include "report/app/DocPanel.h"
#include "report/app/MainFrame.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/plot/Plot.h"
#include "report/plot/RgnLayer.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Text of one line in a box, clipped to it, as the platform's DrawText does.
void DrawBoxText(QPainter& p, const CRect& box, int flags, const std::string& text) {
    if (box.IsRectEmpty()) return;
    p.drawText(lm::ToQRectF(box), flags | Qt::TextSingleLine, Q(text));
}

// The image at a smaller size, each pixel of it opaque when any pixel of
// the image it covers is.
QImage ShrinkKeepingMarks(const QImage& image, QSize size) {
    QImage out(size, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    if (image.isNull() || size.isEmpty()) return out;
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    for (int32_t y = 0; y < src.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(int32_t(int64_t(y) * size.height() / src.height())));
        for (int32_t x = 0; x < src.width(); ++x)
            if (qAlpha(row[x]) != 0) dst[int64_t(x) * size.width() / src.width()] = row[x];
    }
    return out;
}

// The area's picture at a smaller size: each pixel takes a mark (a pixel not
// in the ground colour) of the pixels it covers, so that one-pixel contour
// lines and dots stay whole instead of falling between sampled pixels.
QImage ShrinkOverGround(const QImage& image, QSize size, QRgb ground) {
    QImage out(size, QImage::Format_RGB32);
    out.fill(ground);
    if (image.isNull() || size.isEmpty()) return out;
    const QImage src = image.convertToFormat(QImage::Format_RGB32);
    for (int32_t y = 0; y < src.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(int32_t(int64_t(y) * size.height() / src.height())));
        for (int32_t x = 0; x < src.width(); ++x)
            if ((row[x] | 0xFF000000u) != ground) dst[int64_t(x) * size.width() / src.width()] = row[x];
    }
    return out;
}

}  // namespace

void CPLOT::Draw(QPainter* painter) {
    if (!painter) return;
    DrawPlot(*painter, true);
    // The property panel follows the layers just drawn (it refills only
    // when they differ from what it shows).
    if (CDocPanel* panel = GetPropertyPanel(); panel && panel->GetBoundObject() == this) panel->Refresh();
}

void CPLOT::DrawPrint(QPainter* painter) {
    if (painter) DrawPlot(*painter, false);
}

void CPLOT::DrawPlot(QPainter& p, bool handles) {
    const bool resized = AreaChanged();
    if (m_dirty || resized) RebuildLayers(false);
    if (resized) {
        // Overlays were computed for the old area.
        for (const auto& o : m_overlays) o->Reset();
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    lm::FillRect(p, m_rect, 0xFFFFFF);
    DrawTitle(p);
    CRect xLabels, yLabels;
    if (m_state == kPlotNoData || m_state == kPlotParError) {
        DrawAxes(p, &xLabels, &yLabels);
        if (m_shell) DrawAxisTitles(p, xLabels, yLabels);
        p.setFont(lm::ToQFont(m_font));
        p.setPen(lm::ToQColor(m_textColor));
        DrawBoxText(p, GetPlotArea(), Qt::AlignHCenter | Qt::AlignTop,
                    m_state == kPlotNoData ? "No Data" : "Par Error");
        p.restore();
        return;
    }
    DrawLayers(p, handles);
    // The frame lies just outside the area; below 100 % its device pixels
    // are shared with the area's edge, so it is drawn after the picture.
    DrawAxes(p, &xLabels, &yLabels);
    // The titles go where the tick labels leave room.
    if (m_shell) DrawAxisTitles(p, xLabels, yLabels);
    p.restore();
}

void CPLOT::DrawTitle(QPainter& p) {
    LOGFONT lf = m_font;
    lf.lfHeight += kPlotTitleFontExtra;
    p.setFont(lm::ToQFont(lf));
    p.setPen(lm::ToQColor(m_textColor));
    const CRect t = GetTitleRect();
    if (!m_shell) {
        DrawBoxText(p, t, Qt::AlignHCenter | Qt::AlignTop, "#Empty#");
        return;
    }
    std::string line1 = GetDataName(1);
    if (line1.empty()) line1 = GetDataName(0);
    if (m_flags & kPlotFlagOverlay) line1 += "*O";
    const std::string line2 = "@" + (m_gate ? m_gate->GetDisplayName(true) : std::string());
    // Each line keeps its whole height (descenders too) and, when wider than
    // the band, is cut at its end: its start names the file.
    const QFontMetrics fm = p.fontMetrics();
    auto drawLine = [&](int32_t top, const std::string& text) {
        const QString fitted = fm.elidedText(Q(text), Qt::ElideRight, t.Width());
        p.drawText(QRectF(t.left, top, t.Width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                   fitted);
    };
    drawLine(t.top - 6, line1);
    drawLine(t.top + 7, line2);
}

void CPLOT::DrawAxisTitles(QPainter& p, const CRect& xLabels, const CRect& yLabels) {
    const int32_t mode = GetPlotDefaults().UsedLabelMode();
    p.setFont(lm::ToQFont(m_font));
    p.setPen(lm::ToQColor(m_textColor));
    const QFontMetrics fm = p.fontMetrics();
    const int32_t h = fm.height();

    // X: bottom-aligned in its band, or, where that would meet the tick
    // labels, just under them (as far as the plot's rectangle allows).
    CRect xband = GetXTitleRect();
    xband.OffsetRect(0, -2);
    if (!xLabels.IsRectEmpty() && xband.bottom - h < xLabels.bottom + kPlotTitleLabelGap) {
        const int32_t top = std::min<int32_t>(xLabels.bottom + kPlotTitleLabelGap, m_rect.bottom - h);
        xband.top = top;
        xband.bottom = top + h;
    }
    // A title wider than its band is centred under the area all the same,
    // but kept within the plot's rectangle: a plot at the page's edge keeps
    // it on the page.
    const std::string xtitle(lm::TrimSpaces(GetXAxisTitle(mode)));
    const int32_t xw = fm.horizontalAdvance(Q(xtitle));
    if (xw > xband.Width()) {
        const int32_t left = std::clamp<int32_t>(xband.left + (xband.Width() - xw) / 2, m_rect.left,
                                                 std::max<int32_t>(m_rect.left, m_rect.right - xw));
        xband.left = left;
        xband.right = left + xw;
    }
    DrawBoxText(p, xband, Qt::AlignHCenter | Qt::AlignBottom, xtitle);

    // The Y title reads bottom to top, centred along the band, left of the
    // tick labels.
    const std::string ytitle(lm::TrimSpaces(GetYAxisTitle(mode)));
    if (ytitle.empty()) return;
    const CRect band = GetYTitleRect();
    const int32_t w = fm.horizontalAdvance(Q(ytitle));
    CRect box(band.left, band.top, band.left + h, band.top + w + 20);
    box.OffsetRect(0, (band.bottom - box.bottom) / 2);
    // Along the axis it stays between the title band and the plot's bottom.
    const int32_t lo = GetTitleRect().bottom;
    if (box.bottom > m_rect.bottom) box.OffsetRect(0, m_rect.bottom - box.bottom);
    if (box.top < lo) box.OffsetRect(0, lo - box.top);
    if (!yLabels.IsRectEmpty() && box.right > yLabels.left - kPlotTitleLabelGap)
        box.OffsetRect(std::max<int32_t>(yLabels.left - kPlotTitleLabelGap, m_rect.left + h) - box.right, 0);
    p.save();
    // The text is centred in its box, not started at one end: a printer's
    // glyphs, a little wider or narrower than the screen's measure, then
    // still fall inside. Only the plot's own rectangle clips it.
    p.setClipRect(lm::ToQRectF(m_rect), Qt::IntersectClip);
    p.translate(box.left, box.bottom);
    p.rotate(-90.0);
    p.drawText(QRectF(0, 0, box.Height(), h), Qt::AlignCenter | Qt::TextSingleLine, Q(ytitle));
    p.restore();
}

void CPLOT::DrawAxes(QPainter& p, CRect* xLabels, CRect* yLabels) {
    const CRect a = GetPlotArea();
    if (a.IsRectEmpty()) return;
    CRect frame = a;
    frame.InflateRect(1, 1);
    lm::DrawRectangle(p, frame, 0, kColorNone);  // the inside is the area picture
    if (m_state != kPlotReady || !GetDataSet()) return;
    lm::QtCanvas canvas(p);
    canvas.SetPen(0, 1);
    canvas.SetTextColor(m_textColor);
    // Tick labels stay on the plot: across its rectangle, and below its
    // title band.
    if (CTRANS* x = GetXTrans()) {
        CScale scale(canvas, a, m_font, kScaleAxisX);
        scale.SetLabelSpan(m_rect.left, m_rect.right - kPlotLabelInset);
        scale.Draw(*x);
        *xLabels = scale.GetLabelBounds();
    }
    canvas.SetPen(0, 1);
    if (CTRANS* y = GetYTrans()) {
        CScale scale(canvas, a, m_font, kScaleAxisY);
        scale.SetLabelSpan(GetTitleRect().bottom, m_rect.bottom);
        scale.Draw(*y);
        *yLabels = scale.GetLabelBounds();
    }
}

QImage CPLOT::RenderArea() {
    if (m_dirty || AreaChanged()) RebuildLayers(false);
    const CRect a = GetPlotArea();
    QImage img = NewAreaImage(a.Width(), a.Height(), m_background);
    if (img.isNull() || m_state != kPlotReady) return img;
    if (IsHistogram()) {
        if (m_histLayer) m_histLayer->Draw(img);
    } else {
        if (m_flags & kPlotFlagDots)
            for (const auto& l : m_dotLayers)
                if (l->IsActive()) l->Draw(img);
        if ((m_flags & kPlotFlagDensity) && m_densityLayer) m_densityLayer->Draw(img);
        if ((m_flags & kPlotFlagContour) && m_contourLayer) m_contourLayer->Draw(img);
    }
    if (m_flags & kPlotFlagOverlay) {
        for (size_t i = 0; i < m_overlays.size(); ++i)
            if (i < m_overlayVisible.size() && m_overlayVisible[i] == 1) m_overlays[i]->Draw(img);
    }
    return img;
}

QImage CPLOT::RenderRegionMask(CLayer& layer) const {
    const CRect a = GetPlotArea();
    QImage mask = NewMaskImage(a.Width(), a.Height());
    if (!mask.isNull()) layer.DrawMask(mask);
    return mask;
}

QImage CPLOT::RenderRegionOutline(CLayer& layer, bool handles) const {
    auto* rgn = dynamic_cast<CRgnLayer*>(&layer);
    if (!rgn) return RenderRegionMask(layer);
    const CRect a = GetPlotArea();
    QImage mask = NewMaskImage(a.Width(), a.Height());
    if (!mask.isNull()) rgn->DrawOutlineMask(mask, handles);
    return mask;
}

void CPLOT::DrawRegionLabels(QPainter& p, const CLayer* skip) {
    const CRect a = GetPlotArea();
    if (!IsUsableArea(a.Width(), a.Height())) return;
    for (const auto& l : m_regionLayers) {
        auto* rgn = dynamic_cast<CRgnLayer*>(l.get());
        if (rgn && rgn != skip && RegionLayerDrawn(*rgn)) rgn->DrawLabel(p, a, m_background);
    }
}

bool CPLOT::RegionLayerDrawn(CLayer& layer) const {
    if (IsHistogram() && layer.GetRegionType() != 0) return false;
    // A shape still being drawn has no region yet, and is shown all the same.
    return layer.DrawnOn(m_xPar, m_yPar);
}

void CPLOT::PaintMask(QPainter& painter, const QImage& mask, COLORREF colour, CPoint at) {
    if (mask.isNull() || colour == kColorNone) return;
    const QImage marks = MaskToColourImage(mask, colour);
    const QRectF target(at.x, at.y, marks.width(), marks.height());
    const QRect device = painter.worldTransform().mapRect(target).toAlignedRect();
    if (device.width() >= marks.width() && device.height() >= marks.height()) {
        painter.drawImage(target, marks);
        return;
    }
    // Drawn smaller than its pixels (a zoom below 100 %), a one-pixel
    // outline would fall between the device pixels that are sampled: every
    // device pixel takes the mark of any mask pixel it covers instead.
    painter.save();
    painter.resetTransform();
    painter.drawImage(device.topLeft(), ShrinkKeepingMarks(marks, device.size()));
    painter.restore();
}

void CPLOT::DrawLayers(QPainter& p, bool handles) {
    const CRect a = GetPlotArea();
    const QImage img = RenderArea();
    if (img.isNull()) return;  // an area without room draws nothing
    const QRectF target = lm::ToQRectF(a);
    const QRect device = p.worldTransform().mapRect(target).toAlignedRect();
    if (device.width() >= img.width() && device.height() >= img.height()) {
        p.drawImage(target, img);
    } else {
        p.save();
        p.resetTransform();
        p.drawImage(device.topLeft(), ShrinkOverGround(img, device.size(),
                                                       ColorRefToRgb(m_background == kColorNone ? 0xFFFFFF : m_background) | 0xFF000000u));
        p.restore();
    }
    for (const auto& l : m_regionLayers) {
        if (!RegionLayerDrawn(*l)) continue;
        PaintMask(p, RenderRegionOutline(*l, handles), l->GetColor(), a.TopLeft());
    }
    DrawRegionLabels(p);
}
