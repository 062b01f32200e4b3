#include "report/plot/CrossLayer.h"

#include <algorithm>
#include <cstdlib>

#include "report/page/TrackStates.h"

namespace {

constexpr int64_t kReach = 5;
constexpr int32_t kLabelOffset = 10;

}  // namespace

CCrossLayer::CCrossLayer(int32_t xPar, int32_t yPar, CPLOT* plot) : CRgnLayer(plot, xPar, yPar) {}

CCrossLayer::CCrossLayer(CrCross* region, CPLOT* plot) : CRgnLayer(plot, 0, 0) { AttachExisting(region); }

CPoint CCrossLayer::InArea(CPoint p) const {
    // The vertical line is drawn in column x (0 .. W - 1), the horizontal one
    // in row H - y: y runs 1 .. H, or the line falls off the picture.
    const CSize s = AreaSize();
    return CPoint(std::clamp(p.x, 0, std::max(s.cx - 1, 0)), std::clamp(p.y, std::min(1, s.cy), std::max(s.cy, 0)));
}

// ================================================================= region

std::unique_ptr<CDataRgn> CCrossLayer::MakeRegion() {
    if (m_region || !AreaUsable()) return nullptr;
    const CSize s = AreaSize();
    auto r = std::make_unique<CrCross>(m_xPar, m_yPar, float(m_centre.x) / float(s.cx), float(m_centre.y) / float(s.cy));
    BindRegion(r.get());
    return r;
}

void CCrossLayer::WriteRegionGeometry() {
    const CSize s = AreaSize();
    static_cast<CrCross*>(m_region)->SetGeometry({float(m_centre.x) / float(s.cx), float(m_centre.y) / float(s.cy)},
                                                 this);
}

void CCrossLayer::ReadRegionGeometry() {
    RgnPoint c;
    static_cast<const CrCross*>(m_region)->GetGeometry(&c);
    const CSize s = AreaSize();
    // A centre a file put off the area is shown on its edge, where it can
    // still be grabbed.
    m_centre = InArea(CPoint(FractionToPixel(s.cx, c.x), FractionToPixel(s.cy, c.y)));
}

void CCrossLayer::PlaceLabel() {
    const int64_t h = AreaSize().cy;
    PlaceLabelAt(CPoint(AddClamped(m_centre.x, kLabelOffset), AddClamped(h - m_centre.y, kLabelOffset)));
}

void CCrossLayer::UpdatePercentText() { m_texts.fill(SharePercentText()); }

// ================================================================= mouse

int32_t CCrossLayer::HitHandle(CPoint p) const {
    return std::llabs(int64_t(p.x) - m_centre.x) < kReach && std::llabs(int64_t(p.y) - m_centre.y) < kReach ? 1 : -1;
}

void CCrossLayer::MoveCentre(CPoint p) {
    const CPoint c = InArea(p);
    OffsetLabel(int64_t(c.x) - m_centre.x, int64_t(m_centre.y) - c.y);
    m_centre = c;
    m_last = p;
}

bool CCrossLayer::OnButtonDown(CPoint page, int32_t* state) {
    if (!state || !m_visible || !AreaUsable()) return false;
    SyncArea();
    const CPoint p = ToLayer(page);
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
            *state = kTrackRubberBandRegion;
            m_centre = InArea(p);
            m_last = p;
            return true;
        case kTrackRubberBandRegion:
        case kTrackHandleDrag:
            *state = kTrackMove;
            return true;
        case kTrackRegionSelected:
            if (HitHandle(p) == 1) {
                *state = kTrackHandleDrag;
                BeginDrag(p);
                return true;
            }
            *state = kTrackMove;
            return false;
        default:
            return false;
    }
}

bool CCrossLayer::OnDrag(CPoint page, int32_t* state) {
    if (!state || !AreaUsable()) return false;
    SyncArea();
    const CPoint p = ToLayer(page);
    switch (*state) {
        case kTrackRubberBandRegion:
            MoveCentre(p);
            return true;
        case kTrackHandleDrag:
        case kTrackRegionMove:
            if (NoteDragTo(p)) MoveCentre(p);
            return true;
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

void CCrossLayer::DrawShape(RgnCanvas& canvas) {
    const CSize s = AreaSize();
    const int32_t y = AddClamped(s.cy, -int64_t(m_centre.y));
    canvas.Line(CPoint(m_centre.x, 0), CPoint(m_centre.x, s.cy));
    canvas.Line(CPoint(0, y), CPoint(s.cx, y));
}

void CCrossLayer::DrawHandles(RgnCanvas& canvas) { DrawHandleAt(canvas, AddClamped(m_centre.x, -1), m_centre.y); }
