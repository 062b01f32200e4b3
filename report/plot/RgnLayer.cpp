#include "report/plot/RgnLayer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <algorithm>
#include <cmath>

#include "base/Archive.h"
#include "base/Numbers.h"
#include "core/GateNode.h"
#include "platform/PaintHelpers.h"
#include "report/plot/CrossLayer.h"
#include "report/plot/EllipseLayer.h"
#include "report/plot/Plot.h"
#include "report/plot/PolygonLayer.h"
#include "report/plot/QuadLayer.h"
#include "report/plot/RangeLayer.h"
#include "report/plot/RectLayer.h"
#include "report/page/TrackStates.h"
#include "report/page/TrkObj.h"

namespace {

int32_t Clamp(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, -int64_t(kRgnCoordLimit), int64_t(kRgnCoordLimit)));
}

// A fraction that went through float division and back lands a hair below
// its pixel (7 / 10 is 0.699999988f); this much below an integer still counts
// as that integer. Far above the float error at the largest area, far below
// anything a pointer can mean.
constexpr double kPixelTolerance = 1.0 / 256.0;

}  // namespace

// ================================================================ canvas

RgnCanvas::RgnCanvas(QImage& image, QRgb colour, const QFont& font)
    : m_image(&image), m_size(image.width(), image.height()), m_colour(colour | 0xFF000000u), m_font(font) {}

RgnCanvas::RgnCanvas(QPainter& painter, CPoint origin, CSize size, QRgb colour, QRgb halo, const QFont& font)
    : m_painter(&painter), m_origin(origin), m_size(size), m_colour(colour | 0xFF000000u),
      m_halo(halo | 0xFF000000u), m_font(font) {}

void RgnCanvas::Pixel(int32_t x, int32_t y) {
    if (!m_image || x < 0 || y < 0 || x >= Width() || y >= Height()) return;
    m_image->setPixel(x, y, m_colour);
}

void RgnCanvas::Line(CPoint a, CPoint b) {
    // Bresenham from a toward b, the end pixel left out.
    if (!m_image) return;
    if (a.y == b.y) {  // horizontal: the common case, walked over the picture only
        if (a.y < 0 || a.y >= Height() || a.x == b.x) return;
        int64_t from = a.x < b.x ? int64_t(a.x) : int64_t(b.x) + 1;
        int64_t to = a.x < b.x ? int64_t(b.x) - 1 : int64_t(a.x);
        from = std::max<int64_t>(from, 0);
        to = std::min<int64_t>(to, Width() - 1);
        for (int64_t i = from; i <= to; ++i) m_image->setPixel(int(i), a.y, m_colour);
        return;
    }
    if (a.x == b.x) {
        if (a.x < 0 || a.x >= Width()) return;
        int64_t from = a.y < b.y ? int64_t(a.y) : int64_t(b.y) + 1;
        int64_t to = a.y < b.y ? int64_t(b.y) - 1 : int64_t(a.y);
        from = std::max<int64_t>(from, 0);
        to = std::min<int64_t>(to, Height() - 1);
        for (int64_t i = from; i <= to; ++i) m_image->setPixel(a.x, int(i), m_colour);
        return;
    }
    // A slanted line reaching far beyond the picture is first cut to a box a
    // few pictures wide around it, so the walk stays short; lines inside
    // that box keep their exact pixels.
    const double w = Width(), h = Height();
    const double bx0 = -4.0 * w, bx1 = 5.0 * w, by0 = -4.0 * h, by1 = 5.0 * h;
    auto inBox = [&](CPoint p) { return p.x >= bx0 && p.x <= bx1 && p.y >= by0 && p.y <= by1; };
    if (!inBox(a) || !inBox(b)) {
        const double ddx = double(b.x) - a.x, ddy = double(b.y) - a.y;
        double t0 = 0.0, t1 = 1.0;
        const double p[4] = {-ddx, ddx, -ddy, ddy};
        const double q[4] = {a.x - bx0, bx1 - a.x, a.y - by0, by1 - a.y};
        for (int k = 0; k < 4; ++k) {
            const double t = q[k] / p[k];  // p[k] is not 0: the line is slanted
            if (p[k] < 0.0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
        }
        if (t0 > t1) return;
        const CPoint na(int32_t(std::lround(a.x + t0 * ddx)), int32_t(std::lround(a.y + t0 * ddy)));
        const CPoint nb(int32_t(std::lround(a.x + t1 * ddx)), int32_t(std::lround(a.y + t1 * ddy)));
        a = na;
        b = nb;
    }
    int64_t x = a.x, y = a.y;
    const int64_t dx = std::llabs(int64_t(b.x) - a.x), dy = -std::llabs(int64_t(b.y) - a.y);
    const int64_t sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    int64_t err = dx + dy;
    int64_t steps = dx - dy + 1;  // the walk's length, whatever happens
    while (steps-- > 0) {
        if (x == b.x && y == b.y) break;
        if (x >= 0 && y >= 0 && x < Width() && y < Height()) m_image->setPixel(int(x), int(y), m_colour);
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void RgnCanvas::Rectangle(const CRect& rect) {
    CRect r = rect;
    r.NormalizeRect();
    if (r.IsRectEmpty()) return;
    const int32_t right = r.right - 1, bottom = r.bottom - 1;
    Line(CPoint(r.left, r.top), CPoint(r.right, r.top));
    if (bottom != r.top) Line(CPoint(r.left, bottom), CPoint(r.right, bottom));
    Line(CPoint(r.left, r.top), CPoint(r.left, r.bottom));
    if (right != r.left) Line(CPoint(right, r.top), CPoint(right, r.bottom));
}

void RgnCanvas::Ellipse(const CRect& rect) {
    CRect r = rect;
    r.NormalizeRect();
    if (!m_image || r.IsRectEmpty()) return;
    // Outside the picture by more than its size there is nothing to see.
    if (r.right < -Width() || r.bottom < -Height() || r.left > 2 * Width() || r.top > 2 * Height()) return;
    if (r.Width() <= 2 || r.Height() <= 2) {
        FillRect(r);
        return;
    }
    QPainter p(m_image);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen pen{QColor::fromRgb(m_colour)};
    pen.setWidth(0);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    // Aliased outlines cover x .. x + w: the last column is right - 1.
    p.drawEllipse(QRect(r.left, r.top, r.Width() - 1, r.Height() - 1));
}

void RgnCanvas::FillRect(const CRect& rect) {
    CRect r = rect;
    r.NormalizeRect();
    if (!m_image) return;
    const int32_t l = std::max(r.left, 0), t = std::max(r.top, 0);
    const int32_t rr = std::min(r.right, Width()), b = std::min(r.bottom, Height());
    for (int32_t y = t; y < b; ++y)
        for (int32_t x = l; x < rr; ++x) m_image->setPixel(x, y, m_colour);
}

CSize RgnCanvas::TextExtent(const std::string& text) const {
    if (text.empty()) return CSize(0, 0);
    const QFontMetrics fm(m_font);
    return CSize(fm.horizontalAdvance(QString::fromStdString(text)), fm.height());
}

void RgnCanvas::Text(int32_t x, int32_t y, const std::string& text) {
    if (text.empty()) return;
    if (x >= Width() || y >= Height() || x < -kRgnCoordLimit || y < -kRgnCoordLimit) return;
    if (m_painter) {
        PaintedText(x, y, text);
        return;
    }
    if (!m_image) return;
    const CSize e = TextExtent(text);
    QPainter p(m_image);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setFont(m_font);
    p.setPen(QColor::fromRgb(m_colour));
    p.drawText(QRect(x, y, std::max(e.cx, 1), std::max(e.cy, 1)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, QString::fromStdString(text));
}

void RgnCanvas::PaintedText(int32_t x, int32_t y, const std::string& text) {
    QPainter& p = *m_painter;
    const QString s = QString::fromStdString(text);
    const QFontMetricsF fm(m_font);
    // The same top-left rule as in the picture: the baseline lies one ascent
    // below the top.
    const QPointF baseline(double(m_origin.x) + x, double(m_origin.y) + y + fm.ascent());
    p.save();
    // Antialiased at every zoom, as the axes draw their texts: below 100 %
    // glyphs drawn pixel by pixel at a few device pixels run together into
    // blobs, while smoothed ones stay readable.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    // The halo: the glyphs' outlines stroked wide in the background colour,
    // so that dots and lines under a label never touch its strokes.
    QPainterPath outline;
    outline.addText(baseline, m_font, s);
    QPen halo{QColor::fromRgb(m_halo)};
    halo.setWidthF(kHaloWidth);
    halo.setJoinStyle(Qt::RoundJoin);
    halo.setCapStyle(Qt::RoundCap);
    p.strokePath(outline, halo);
    p.fillPath(outline, QColor::fromRgb(m_halo));
    p.setFont(m_font);
    p.setPen(QColor::fromRgb(m_colour));
    p.drawText(baseline, s);
    p.restore();
}

// ============================================================ construction

CRgnLayer::CRgnLayer(CPLOT* plot, int32_t xPar, int32_t yPar) : CLayer(plot, false), m_xPar(xPar), m_yPar(yPar) {
    m_syncedArea = AreaSize();
}

CRgnLayer::~CRgnLayer() {
    if (m_region) m_region->RemoveUser(this);
    m_region = nullptr;
}

void CRgnLayer::BindRegion(CDataRgn* region) {
    if (!region) return;
    if (m_region && m_region != region) m_region->RemoveUser(this);
    m_region = region;
    m_hadRegion = true;
    region->AddUser(this);
}

void CRgnLayer::AttachExisting(CDataRgn* region) {
    if (!region) return;
    region->GetParams(&m_xPar, &m_yPar);
    m_handle = -1;
    m_selected = false;
    BindRegion(region);
    RegionChanged();
    PlaceLabel();
}

void CRgnLayer::RegionDeleted(CDataRgn* region) {
    if (region == m_region) m_region = nullptr;
}

void CRgnLayer::RegionRenamed() {
    if (m_plot) m_plot->Repaint();
}

// =============================================================== geometry

CSize CRgnLayer::AreaSize() const {
    const CRect a = GetPlotArea();
    return CSize(a.Width(), a.Height());
}

bool CRgnLayer::AreaUsable() const {
    const CSize s = AreaSize();
    return IsUsableArea(s.cx, s.cy);
}

CPoint CRgnLayer::ToLayer(CPoint page) const {
    const CRect a = GetPlotArea();
    return CPoint(Clamp(int64_t(page.x) - a.left), Clamp(int64_t(a.bottom) - page.y));
}

int32_t CRgnLayer::FractionToPixel(int32_t n, float f) {
    const double v = double(n) * double(f);
    if (std::isnan(v)) return 0;
    if (v >= double(kRgnCoordLimit)) return kRgnCoordLimit;
    if (v <= -double(kRgnCoordLimit)) return -kRgnCoordLimit;
    return int32_t(v < 0 ? v - kPixelTolerance : v + kPixelTolerance);
}

int32_t CRgnLayer::AddClamped(int64_t a, int64_t b) { return Clamp(a + b); }

void CRgnLayer::SyncArea() {
    if (AreaSize() != m_syncedArea) Reset();
}

void CRgnLayer::Reset() {
    const CSize s = AreaSize();
    m_syncedArea = s;
    const int32_t ax = FractionToPixel(s.cx, m_fx);
    const int32_t ay = FractionToPixel(s.cy, m_fy);
    OffsetLabel(int64_t(ax) - m_label.left, int64_t(ay) - m_label.top);
    RegionChanged();
}

// ================================================================ region

bool CRgnLayer::ParamsMatch(int32_t xPar, int32_t yPar) const {
    return m_region && m_region->GetXParam() == xPar && m_region->GetYParam() == yPar;
}

bool CRgnLayer::DrawnOn(int32_t xPar, int32_t yPar) const {
    if (m_region || m_hadRegion) return ParamsMatch(xPar, yPar);
    return m_xPar == xPar && m_yPar == yPar;
}

CGateNode* CRgnLayer::GetRegionGate() const { return m_region ? m_region->GetOwner() : nullptr; }

std::string CRgnLayer::GetRegionName() const { return m_region ? m_region->GetName() : std::string(); }

void CRgnLayer::RegionChanged() {
    if (m_pushing) return;  // our own push: the pixels are where we left them
    if (m_region) ReadRegionGeometry();
    UpdatePercentText();
}

void CRgnLayer::PushGeometry() {
    if (!m_region || !AreaUsable()) return;
    m_pushing = true;
    WriteRegionGeometry();
    m_pushing = false;
    UpdatePercentText();
    // The region is part of the report: its gate now holds other events.
    if (m_plot) m_plot->MarkModified();
}

void CRgnLayer::UpdatePercentText() {
    if (m_showPercent) m_percent = SharePercentText();
}

std::string CRgnLayer::SharePercentText() const {
    if (!m_region) return std::string();  // a shape still being drawn has no share yet
    return SharePercentOf(GetRegionGate());
}

std::string CRgnLayer::SharePercentOf(const CGateNode* gate) const {
    const CGateNode* pg = m_plot ? m_plot->GetGate() : nullptr;
    const uint32_t np = pg ? pg->GetMask().CountSetBits() : 0;
    // No events to divide by (or no plot gate at all): nothing of them is in
    // the region.
    if (np == 0) return "0.00";
    uint32_t nr = 0;
    if (gate && gate->GetShell() == pg->GetShell()) {
        // The plot's own events in the region: a plot gated elsewhere than
        // on the region's parent shows other events than the gate holds.
        auto it = std::find_if(m_shareCounts.begin(), m_shareCounts.end(),
                               [gate](const ShareCount& c) { return c.gate == gate; });
        if (it == m_shareCounts.end()) {
            if (m_shareCounts.size() >= 4) m_shareCounts.clear();
            it = m_shareCounts.insert(m_shareCounts.end(), ShareCount{gate, 0, 0, 0});
        }
        if (it->gateSerial != gate->GetMaskSerial() || it->plotSerial != pg->GetMaskSerial()) {
            it->count = gate->CountInRegion(pg->GetMask());
            it->gateSerial = gate->GetMaskSerial();
            it->plotSerial = pg->GetMaskSerial();
        }
        nr = it->count;
    }
    const float share = float(nr) / float(np) * 100.0f;
    return lm::FormatFixed(double(share), 2);
}

void CRgnLayer::SetShowPercent(bool on) {
    m_showPercent = on;
    if (on) UpdatePercentText();
}

// ================================================================= label

void CRgnLayer::SetLabelRect(const CRect& r) {
    m_label = CRect(Clamp(r.left), Clamp(r.top), Clamp(r.right), Clamp(r.bottom));
}

void CRgnLayer::OffsetLabel(int64_t dx, int64_t dy) {
    m_label.left = Clamp(m_label.left + dx);
    m_label.right = Clamp(m_label.right + dx);
    m_label.top = Clamp(m_label.top + dy);
    m_label.bottom = Clamp(m_label.bottom + dy);
}

void CRgnLayer::TakeLabelFractions() {
    m_fx = float(ClampedFractionX(m_label.left));
    m_fy = float(ClampedFractionY(m_label.top));
}

void CRgnLayer::PlaceLabelAt(CPoint anchor) {
    m_label = CRect(anchor.x, anchor.y, anchor.x, anchor.y);
    ClampLabel();
    TakeLabelFractions();
}

void CRgnLayer::KeepLabelInArea() {
    ClampLabel();
    TakeLabelFractions();
}

void CRgnLayer::PlaceLabelAtBoxCentre(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const int32_t h = AreaSize().cy;
    const int32_t ax = Clamp(int64_t(x0) + (int64_t(x1) - x0) / 2);
    const int32_t ay = Clamp(int64_t(h) - (int64_t(y0) + (int64_t(y1) - y0) / 2));
    PlaceLabelAt(CPoint(ax, ay));
}

CSize CRgnLayer::LabelExtent() const {
    const QFontMetrics fm(LabelFont(false));
    const std::string name = GetRegionName();
    int64_t w = name.empty() ? 0 : fm.horizontalAdvance(QString::fromStdString(name));
    int64_t h = name.empty() ? 0 : fm.height();
    if (m_showPercent && PercentUnderName() && !m_percent.empty()) {
        w = std::max<int64_t>(w, fm.horizontalAdvance(QString::fromStdString(m_percent)));
        h += fm.height();
    }
    return CSize(int32_t(std::min<int64_t>(w, kRgnCoordLimit)), int32_t(std::min<int64_t>(h, kRgnCoordLimit)));
}

void CRgnLayer::ClampLabel() {
    const CSize s = AreaSize();
    const CSize e = LabelExtent();
    const int64_t right = std::max<int64_t>(m_label.right, int64_t(m_label.left) + e.cx);
    const int64_t bottom = std::max<int64_t>(m_label.bottom, int64_t(m_label.top) + e.cy);
    int64_t dx = 0, dy = 0;
    if (m_label.left < 0) dx = -int64_t(m_label.left);
    if (right > s.cx) dx = int64_t(s.cx) - right - kRgnLabelRightInset;
    if (m_label.top < 0) dy = -int64_t(m_label.top);
    if (bottom > s.cy) dy = int64_t(s.cy) - bottom;
    OffsetLabel(dx, dy);
}

bool CRgnLayer::HitLabel(CPoint page) const {
    const CRect a = GetPlotArea();
    CRect r = m_label;
    r.left = AddClamped(r.left, a.left);
    r.right = AddClamped(r.right, a.left);
    r.top = AddClamped(r.top, a.top);
    r.bottom = AddClamped(r.bottom, a.top);
    return r.PtInRect(page);
}

// ================================================================= mouse

bool CRgnLayer::OnButtonDown(CPoint page, int32_t* state) {
    if (!state || !m_visible || !AreaUsable()) return false;
    SyncArea();
    const CPoint p = ToLayer(page);
    switch (*state) {
        case kTrackMove:  // idle: the plot offers the press to every layer
            if (HitLabel(page)) {
                *state = kTrackLabelDrag;
                BeginDrag(p);
                return true;
            }
            if (HitOutline(p)) {
                *state = kTrackRegionSelected;
                m_selected = true;
                return true;
            }
            return false;
        case kTrackRegionCreate:
            *state = kTrackRubberBandRegion;
            BeginShape(p);
            return true;
        case kTrackRubberBandRegion:
        case kTrackHandleDrag:
            *state = kTrackMove;
            return true;
        case kTrackRegionSelected: {
            const int32_t h = HitHandle(p);
            if (h >= 0 && h < HandleCount()) {
                m_handle = h;
                *state = kTrackHandleDrag;
                BeginDrag(p);
                return true;
            }
            if (HitOutline(p)) {
                *state = kTrackRegionMove;
                BeginDrag(p);
                return true;
            }
            if (LabelDragWhenSelected() && HitLabel(page)) {
                *state = kTrackLabelDrag;
                BeginDrag(p);
                return true;
            }
            *state = kTrackMove;
            m_selected = false;
            return false;
        }
        default:
            return false;
    }
}

int32_t CRgnLayer::StateAfterHandleDrag() const { return kTrackRegionSelected; }

int32_t CRgnLayer::StateAfterMove() const { return kTrackRegionSelected; }

bool CRgnLayer::OnButtonUp(CPoint page, int32_t* state) {
    if (!state || !AreaUsable()) return false;
    SyncArea();
    OrderShape();
    switch (*state) {
        case kTrackRubberBandRegion:
            *state = kTrackRegionSelected;
            PlaceLabel();
            return true;
        case kTrackHandleDrag:
            *state = StateAfterHandleDrag();
            if (!m_dragged) return true;
            if (HandleDragMovesLabel()) KeepLabelInArea();
            PushGeometry();
            return true;
        case kTrackRegionMove:
            *state = StateAfterMove();
            m_selected = true;  // handles hidden while moving come back
            if (!m_dragged) return true;
            KeepLabelInArea();
            PushGeometry();
            return true;
        case kTrackLabelDrag:
            *state = kTrackMove;
            if (!m_dragged) return true;
            KeepLabelInArea();
            // The label's place is kept in the plot's record.
            if (m_plot) m_plot->MarkModified();
            return true;
        default:
            return ReleaseOwnState(page, state);
    }
}

bool CRgnLayer::OnDrag(CPoint page, int32_t* state) {
    if (!state || !AreaUsable()) return false;
    SyncArea();
    const CPoint p = ToLayer(page);
    if (*state == kTrackHandleDrag || *state == kTrackRegionMove || *state == kTrackLabelDrag) {
        if (!NoteDragTo(p)) return true;
    }
    switch (*state) {
        case kTrackRubberBandRegion:
            DragRubberBand(p);
            return true;
        case kTrackHandleDrag:
            DragHandle(p);
            return true;
        case kTrackRegionMove:
            DragMove(p);
            return true;
        case kTrackLabelDrag:
            OffsetLabel(int64_t(p.x) - m_last.x, int64_t(m_last.y) - p.y);
            m_last = p;
            return true;
        default:
            return false;
    }
}

void CRgnLayer::BeginDrag(CPoint layerPoint) {
    m_last = m_pressAt = layerPoint;
    m_dragged = false;
}

bool CRgnLayer::NoteDragTo(CPoint p) {
    if (!m_dragged && p == m_pressAt) return false;
    m_dragged = true;
    return true;
}

bool CRgnLayer::OnDoubleClick(CPoint, int32_t*) { return true; }

// =============================================================== drawing

QFont CRgnLayer::LabelFont(bool forMask) const {
    QFont f = m_plot ? m_plot->CreatePlotFont() : lm::ToQFont(CTrkObj::DefaultFont());
    // Mask marks are all or nothing: grey edge pixels would paint as solid
    // colour and thicken the text.
    if (forMask) f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

void CRgnLayer::DrawHandleAt(RgnCanvas& canvas, int32_t hx, int32_t hy) const {
    const int64_t h = AreaSize().cy;
    const int32_t x = Clamp(int64_t(hx) - kRgnHandleHalf);
    const int32_t y = Clamp(h - hy - kRgnHandleHalf);
    canvas.FillRect(CRect(x, y, AddClamped(x, 2 * kRgnHandleHalf + 1), AddClamped(y, 2 * kRgnHandleHalf + 1)));
}

void CRgnLayer::DrawName(RgnCanvas& canvas) {
    const std::string name = GetRegionName();
    canvas.Text(m_label.left, m_label.top, name);
    const CSize e = canvas.TextExtent(name);
    m_label.right = AddClamped(m_label.left, e.cx);
    m_label.bottom = AddClamped(m_label.top, e.cy);
}

void CRgnLayer::DrawPercent(RgnCanvas& canvas) { canvas.Text(m_label.left, m_label.bottom, m_percent); }

void CRgnLayer::DrawTexts(RgnCanvas& canvas) {
    DrawName(canvas);
    if (!m_showPercent) return;
    // Other editors' changes reach this layer before its gate is evaluated
    // again: the share is taken afresh for every drawing (a count of set
    // bits, cheap next to the drawing itself).
    if (m_region) UpdatePercentText();
    DrawPercent(canvas);
}

void CRgnLayer::DrawAll(RgnCanvas& canvas, bool handles, bool texts) {
    DrawShape(canvas);
    if (m_selected && handles) DrawHandles(canvas);
    if (texts) DrawTexts(canvas);
}

void CRgnLayer::Draw(QImage& area) {
    if (!m_visible || area.isNull() || m_color == kColorNone) return;
    SyncArea();
    RgnCanvas canvas(area, ColorRefToRgb(m_color), LabelFont(false));
    DrawAll(canvas, true, true);
}

void CRgnLayer::DrawMask(QImage& mask) {
    if (!m_visible || mask.isNull()) return;
    SyncArea();
    RgnCanvas canvas(mask, qRgb(0, 0, 0), LabelFont(true));
    DrawAll(canvas, true, true);
}

void CRgnLayer::DrawOutlineMask(QImage& mask, bool handles) {
    if (!m_visible || mask.isNull()) return;
    SyncArea();
    RgnCanvas canvas(mask, qRgb(0, 0, 0), LabelFont(true));
    DrawAll(canvas, handles, false);
}

void CRgnLayer::DrawLabel(QPainter& painter, const CRect& area, COLORREF halo) {
    if (!m_visible || m_color == kColorNone || area.IsRectEmpty()) return;
    SyncArea();
    const COLORREF ground = halo == kColorNone ? 0xFFFFFF : halo;
    RgnCanvas canvas(painter, area.TopLeft(), CSize(area.Width(), area.Height()), ColorRefToRgb(m_color),
                     ColorRefToRgb(ground), LabelFont(false));
    // A label being dragged may reach past the area; like the marks it is
    // seen only inside.
    painter.save();
    painter.setClipRect(lm::ToQRectF(area), Qt::IntersectClip);
    DrawTexts(canvas);
    painter.restore();
}

// ================================================================ record

void CRgnLayer::Store(CArchive& ar) const {
    ar.WriteRect(m_label);
    ar.WriteFloat(m_fx);
    ar.WriteFloat(m_fy);
}

void CRgnLayer::Load(CArchive& ar) {
    const CRect r = ar.ReadRect();
    const float fx = ar.ReadFloat();
    const float fy = ar.ReadFloat();
    SetLabelRect(r);
    // A fraction that is not a number would put the label nowhere after the
    // next resize: the stored anchor's own fraction stands in for it.
    m_fx = std::isfinite(fx) ? fx : float(ClampedFractionX(m_label.left));
    m_fy = std::isfinite(fy) ? fy : float(ClampedFractionY(m_label.top));
    m_selected = false;
}

// ================================================================= makers

namespace {

// A region kind with a layer: the drawing tool that starts a new one, and how
// the layer of a new or an existing region is made.
struct RegionLayerKind {
    int32_t regionType;
    int32_t tool;
    std::unique_ptr<CRgnLayer> (*forTool)(int32_t xPar, int32_t yPar, CPLOT* plot);
    std::unique_ptr<CRgnLayer> (*ofRegion)(CDataRgn* region, CPLOT* plot);
};

template <class Region, class Layer>
constexpr RegionLayerKind Kind(int32_t regionType, int32_t tool) {
    return {regionType, tool,
            [](int32_t xPar, int32_t yPar, CPLOT* plot) -> std::unique_ptr<CRgnLayer> {
                return std::make_unique<Layer>(xPar, yPar, plot);
            },
            [](CDataRgn* region, CPLOT* plot) -> std::unique_ptr<CRgnLayer> {
                auto* r = dynamic_cast<Region*>(region);
                return r ? std::make_unique<Layer>(r, plot) : nullptr;
            }};
}

// Adding a kind of region layer is one row.
constexpr RegionLayerKind kRegionLayerKinds[] = {
    Kind<CrRange, CRangeLayer>(kRgnRange, kTrackRangeTool),
    Kind<CrRect, CRectLayer>(kRgnRect, kTrackRectTool),
    Kind<CrEllipse, CEllipseLayer>(kRgnEllipse, kTrackEllipseTool),
    Kind<CrPolygon, CPolygonLayer>(kRgnPolygon, kTrackPolygonTool),
    Kind<CrCross, CCrossLayer>(kRgnCross, 0),  // no tool draws a cross
    Kind<CrQuadrant, CQuadLayer>(kRgnQuadrant, kTrackQuadrantTool),
};

}  // namespace

std::unique_ptr<CRgnLayer> CreateRegionLayerForTool(int32_t tool, int32_t xPar, int32_t yPar, CPLOT* plot) {
    if (tool >= 0) return nullptr;
    for (const RegionLayerKind& k : kRegionLayerKinds) {
        if (k.tool != tool) continue;
        std::unique_ptr<CRgnLayer> layer = k.forTool(xPar, yPar, plot);
        return layer->AreaFitsTool() ? std::move(layer) : nullptr;
    }
    return nullptr;
}

std::unique_ptr<CRgnLayer> CreateRegionLayerFor(CDataRgn* region, CPLOT* plot) {
    if (!region) return nullptr;
    for (const RegionLayerKind& k : kRegionLayerKinds)
        if (k.regionType == region->GetType()) return k.ofRegion(region, plot);
    return nullptr;
}

std::unique_ptr<CLayer> MakeRegionLayer(CDataRgn* region, CPLOT* plot) { return CreateRegionLayerFor(region, plot); }
