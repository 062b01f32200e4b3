#include "report/plot/QuadLayer.h"

#include <algorithm>
#include <cstdlib>

#include "base/Numbers.h"
#include "core/GateNode.h"
#include "report/page/TrackStates.h"
#include "report/plot/Plot.h"
#include "report/plot/PolygonLayer.h"

namespace {

constexpr int64_t kReach = 5;
// Centre and arm ends stay more than this inside the area while translated.
constexpr int64_t kBand = 5;
// An arm end handle is grabbed this close to its edge...
constexpr int64_t kEdgeReach = 8;
// ...and dragged no closer than this to the start of its edge.
constexpr int64_t kEdgeStart = 2;
constexpr int32_t kLabelOffset = 10;
// Smallest area side on which the band has room.
constexpr int32_t kMinSide = 2 * (kBand + 1);

bool Near(int64_t a, int64_t b) { return std::llabs(a - b) < kReach; }

// How far v lies outside the band (kBand, n - kBand), 0 inside it.
int64_t OutOfBand(int64_t v, int64_t n) {
    if (v <= kBand) return kBand + 1 - v;
    if (v >= n - kBand) return v - (n - kBand - 1);
    return 0;
}

}  // namespace

CQuadLayer::CQuadLayer(int32_t xPar, int32_t yPar, CPLOT* plot) : CRgnLayer(plot, xPar, yPar) {}

CQuadLayer::CQuadLayer(CrQuadrant* region, CPLOT* plot) : CRgnLayer(plot, 0, 0) {
    CrQuadrant* master = region ? region->GetMaster() : nullptr;
    AttachExisting(master ? master : region);
}

bool CQuadLayer::AreaFitsTool() const {
    const CSize s = AreaSize();
    return AreaUsable() && s.cx >= kMinSide && s.cy >= kMinSide;
}

bool CQuadLayer::Editable() const {
    return !m_region || static_cast<const CrQuadrant*>(m_region)->GetPart() == 0;
}

// ================================================================= region

std::unique_ptr<CDataRgn> CQuadLayer::MakeRegion() {
    if (m_region || !AreaUsable()) return nullptr;
    auto r = std::make_unique<CrQuadrant>(
        m_xPar, m_yPar, float(ClampedFractionX(m_centre.x)), float(ClampedFractionY(m_centre.y)),
        float(ClampedFractionY(m_rightY)), float(ClampedFractionX(m_topX)), float(ClampedFractionY(m_leftY)),
        float(ClampedFractionX(m_bottomX)));
    BindRegion(r.get());
    return r;
}

void CQuadLayer::WriteRegionGeometry() {
    static_cast<CrQuadrant*>(m_region)->SetGeometry(
        float(ClampedFractionX(m_centre.x)), float(ClampedFractionY(m_centre.y)), float(ClampedFractionY(m_rightY)),
        float(ClampedFractionX(m_topX)), float(ClampedFractionY(m_leftY)), float(ClampedFractionX(m_bottomX)), this);
}

void CQuadLayer::ReadRegionGeometry() {
    RgnPoint c;
    float a[4] = {};
    static_cast<const CrQuadrant*>(m_region)->GetGeometry(&c, &a[0], &a[1], &a[2], &a[3]);
    const CSize s = AreaSize();
    m_centre = CPoint(FractionToPixel(s.cx, c.x), FractionToPixel(s.cy, c.y));
    m_rightY = FractionToPixel(s.cy, a[0]);
    m_topX = FractionToPixel(s.cx, a[1]);
    m_leftY = FractionToPixel(s.cy, a[2]);
    m_bottomX = FractionToPixel(s.cx, a[3]);
}

void CQuadLayer::PlaceLabel() {
    const int64_t h = AreaSize().cy;
    PlaceLabelAt(CPoint(AddClamped(m_centre.x, kLabelOffset), AddClamped(h - m_centre.y, kLabelOffset)));
}

void CQuadLayer::UpdatePercentText() {
    m_texts.fill(std::string());
    const auto* q = static_cast<const CrQuadrant*>(m_region);
    if (!q || q->GetPart() != 0) return;
    for (int32_t i = 0; i < 4; ++i) m_texts[size_t(i)] = SharePercentOf(q->GetPartGate(i));
}

// ============================================================= hit tests

int32_t CQuadLayer::HitHandle(CPoint p) const {
    const CSize s = AreaSize();
    if (Near(p.x, m_centre.x) && Near(p.y, m_centre.y)) return 0;
    if (p.x > s.cx - kEdgeReach && Near(p.y, m_rightY)) return 1;
    if (Near(p.x, m_topX) && p.y > s.cy - kEdgeReach) return 2;
    if (p.x < kEdgeReach && Near(p.y, m_leftY)) return 3;
    if (Near(p.x, m_bottomX) && p.y < kEdgeReach) return 4;
    return -1;
}

bool CQuadLayer::HitOutline(CPoint p) const {
    if (!m_visible) return false;
    const CSize s = AreaSize();
    // The centre ends all four arms but lies strictly on none of them.
    if (Near(p.x, m_centre.x) && Near(p.y, m_centre.y)) return true;
    return RgnNearSegment(p, m_centre, CPoint(s.cx, m_rightY)) || RgnNearSegment(p, m_centre, CPoint(m_topX, s.cy)) ||
           RgnNearSegment(p, m_centre, CPoint(0, m_leftY)) || RgnNearSegment(p, m_centre, CPoint(m_bottomX, 0));
}

// ================================================================= mouse

bool CQuadLayer::Translate(int64_t dx, int64_t dy) {
    const CSize s = AreaSize();
    const int64_t xs[3] = {m_centre.x, m_topX, m_bottomX};
    const int64_t ys[3] = {m_centre.y, m_rightY, m_leftY};
    for (int64_t x : xs)
        if (OutOfBand(x + dx, s.cx) > OutOfBand(x, s.cx)) return false;
    for (int64_t y : ys)
        if (OutOfBand(y + dy, s.cy) > OutOfBand(y, s.cy)) return false;
    m_centre = CPoint(AddClamped(m_centre.x, dx), AddClamped(m_centre.y, dy));
    m_topX = AddClamped(m_topX, dx);
    m_bottomX = AddClamped(m_bottomX, dx);
    m_rightY = AddClamped(m_rightY, dy);
    m_leftY = AddClamped(m_leftY, dy);
    return true;
}

bool CQuadLayer::OnButtonDown(CPoint page, int32_t* state) {
    if (!state || !m_visible || !AreaUsable()) return false;
    SyncArea();
    const CPoint p = ToLayer(page);
    m_last = p;
    switch (*state) {
        case kTrackMove:
            if (HitLabel(page)) {
                *state = kTrackLabelDrag;
                BeginDrag(p);
                return true;
            }
            if (!HitOutline(p)) return false;
            *state = kTrackRegionSelected;
            m_selected = true;
            return true;
        case kTrackRegionCreate:
            if (!AreaFitsTool()) return false;
            *state = kTrackRubberBandRegion;
            m_centre = p;
            m_rightY = m_leftY = p.y;
            m_topX = m_bottomX = p.x;
            return true;
        case kTrackRubberBandRegion:
        case kTrackHandleDrag:
            *state = kTrackMove;
            return true;
        case kTrackRegionSelected: {
            const int32_t h = Editable() ? HitHandle(p) : -1;
            if (h < 0) {
                *state = kTrackMove;
                return false;
            }
            m_handle = h;
            *state = h == 0 ? kTrackRegionMove : kTrackHandleDrag;
            BeginDrag(p);
            return true;
        }
        default:
            return false;
    }
}

bool CQuadLayer::OnDrag(CPoint page, int32_t* state) {
    if (!state || !AreaUsable()) return false;
    SyncArea();
    const CPoint p = ToLayer(page);
    const CSize s = AreaSize();
    switch (*state) {
        case kTrackRubberBandRegion:
        case kTrackRegionMove:
            if (*state == kTrackRegionMove && !NoteDragTo(p)) return true;
            // A refused step keeps the last point: the next one is measured
            // from where the shape still follows the pointer.
            if (Translate(int64_t(p.x) - m_last.x, int64_t(p.y) - m_last.y)) m_last = p;
            return true;
        case kTrackHandleDrag: {
            if (m_handle == 0) return false;
            if (!NoteDragTo(p)) return true;
            const bool inY = kEdgeStart <= p.y && p.y < s.cy;
            const bool inX = kEdgeStart <= p.x && p.x < s.cx;
            if (m_handle == 1 && inY) m_rightY = p.y;
            if (m_handle == 2 && inX) m_topX = p.x;
            if (m_handle == 3 && inY) m_leftY = p.y;
            if (m_handle == 4 && inX) m_bottomX = p.x;
            return true;
        }
        case kTrackLabelDrag:
            if (!NoteDragTo(p)) return true;
            OffsetLabel(int64_t(p.x) - m_last.x, int64_t(m_last.y) - p.y);
            m_last = p;
            return true;
        default:
            return false;
    }
}

// =============================================================== drawing

void CQuadLayer::DrawShape(RgnCanvas& canvas) {
    const CSize s = AreaSize();
    const int64_t h = s.cy;
    const auto at = [h](int64_t x, int64_t y) { return CPoint(AddClamped(x, -1), AddClamped(h, -y)); };
    const CPoint c = at(m_centre.x, m_centre.y);
    canvas.Line(c, at(s.cx, m_rightY));
    canvas.Line(c, at(m_topX, h));
    canvas.Line(c, CPoint(0, AddClamped(h, -int64_t(m_leftY))));
    canvas.Line(c, at(m_bottomX, 0));
}

void CQuadLayer::DrawHandles(RgnCanvas& canvas) {
    const CSize s = AreaSize();
    DrawHandleAt(canvas, AddClamped(m_centre.x, -1), AddClamped(m_centre.y, 1));
    DrawHandleAt(canvas, AddClamped(s.cx, -1), AddClamped(m_rightY, 1));
    DrawHandleAt(canvas, AddClamped(m_topX, -1), AddClamped(s.cy, 1));
    DrawHandleAt(canvas, 1, AddClamped(m_leftY, 1));
    DrawHandleAt(canvas, AddClamped(m_bottomX, -1), 1);
}

void CQuadLayer::DrawPercent(RgnCanvas& canvas) {
    const CSize s = AreaSize();
    const CSize e0 = canvas.TextExtent(m_texts[0]);
    const CSize e2 = canvas.TextExtent(m_texts[2]), e3 = canvas.TextExtent(m_texts[3]);
    canvas.Text(1, 1, m_texts[1]);
    canvas.Text(1, AddClamped(s.cy, -int64_t(e2.cy)), m_texts[2]);
    canvas.Text(AddClamped(s.cx, -int64_t(e0.cx)), 1, m_texts[0]);
    canvas.Text(AddClamped(s.cx, -int64_t(e3.cx)), AddClamped(s.cy, -int64_t(e3.cy)), m_texts[3]);
}
