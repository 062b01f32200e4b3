#include "report/plot/RectLayer.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Corner handles and the outline band reach this far (exclusive).
constexpr int64_t kReach = 5;

bool Near(int64_t a, int64_t b) { return std::llabs(a - b) < kReach; }

}  // namespace

// ================================================================== boxes

void CBoxRgnLayer::SetBox(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    m_x0 = AddClamped(x0, 0);
    m_y0 = AddClamped(y0, 0);
    m_x1 = AddClamped(x1, 0);
    m_y1 = AddClamped(y1, 0);
}

void CBoxRgnLayer::BeginShape(CPoint p) {
    m_x0 = m_x1 = p.x;
    m_y0 = m_y1 = p.y;
}

void CBoxRgnLayer::OrderShape() {
    if (m_x0 > m_x1) std::swap(m_x0, m_x1);
    if (m_y0 > m_y1) std::swap(m_y0, m_y1);
}

void CBoxRgnLayer::DragRubberBand(CPoint p) {
    m_x1 = p.x;
    m_y1 = p.y;
}

void CBoxRgnLayer::DragHandle(CPoint p) {
    switch (m_handle) {
        case 0: m_x0 = p.x; m_y0 = p.y; break;
        case 1: m_x0 = p.x; m_y1 = p.y; break;
        case 2: m_x1 = p.x; m_y1 = p.y; break;
        case 3: m_x1 = p.x; m_y0 = p.y; break;
        default: break;
    }
}

void CBoxRgnLayer::DragMove(CPoint p) {
    const int64_t dx = int64_t(p.x) - m_last.x;
    const int64_t dy = int64_t(p.y) - m_last.y;
    m_x0 = AddClamped(m_x0, dx);
    m_x1 = AddClamped(m_x1, dx);
    m_y0 = AddClamped(m_y0, dy);
    m_y1 = AddClamped(m_y1, dy);
    // The label lives in drawing coordinates, y downward.
    OffsetLabel(dx, -dy);
    m_last = p;
    OrderShape();
}

int32_t CBoxRgnLayer::HitHandle(CPoint p) const {
    if (!m_visible) return -1;
    const CPoint corners[4] = {{m_x0, m_y0}, {m_x0, m_y1}, {m_x1, m_y1}, {m_x1, m_y0}};
    for (int32_t i = 0; i < 4; ++i)
        if (Near(p.x, corners[i].x) && Near(p.y, corners[i].y)) return i;
    return -1;
}

bool CBoxRgnLayer::HitOutline(CPoint p) const {
    if (!m_visible) return false;
    const int64_t x = p.x, y = p.y;
    const bool inGrown = int64_t(m_x0) - kReach <= x && x < int64_t(m_x1) + kReach && int64_t(m_y0) - kReach <= y &&
                         y < int64_t(m_y1) + kReach;
    const bool inShrunk = int64_t(m_x0) + kReach <= x && x < int64_t(m_x1) - kReach &&
                          int64_t(m_y0) + kReach <= y && y < int64_t(m_y1) - kReach;
    return inGrown && !inShrunk;
}

void CBoxRgnLayer::PlaceLabel() { PlaceLabelAtBoxCentre(m_x0, m_y0, m_x1, m_y1); }

std::unique_ptr<CDataRgn> CBoxRgnLayer::MakeRegion() {
    if (m_region || !AreaUsable()) return nullptr;
    const CSize s = AreaSize();
    const float w = float(s.cx), h = float(s.cy);
    std::unique_ptr<CDataRgn> r =
        NewRegion(RgnPoint{float(m_x0) / w, float(m_y0) / h}, RgnPoint{float(m_x1) / w, float(m_y1) / h});
    BindRegion(r.get());
    return r;
}

void CBoxRgnLayer::WriteRegionGeometry() {
    const CSize s = AreaSize();
    const float w = float(s.cx), h = float(s.cy);
    SetRegionBox({float(m_x0) / w, float(m_y0) / h, float(m_x1) / w, float(m_y1) / h});
}

void CBoxRgnLayer::ReadRegionGeometry() {
    const std::array<float, 4> b = GetRegionBox();
    const CSize s = AreaSize();
    m_x0 = FractionToPixel(s.cx, b[0]);
    m_y0 = FractionToPixel(s.cy, b[1]);
    m_x1 = FractionToPixel(s.cx, b[2]);
    m_y1 = FractionToPixel(s.cy, b[3]);
}

CRect CBoxRgnLayer::DrawingBox() const {
    const int64_t h = AreaSize().cy;
    return CRect(AddClamped(m_x0, -1), AddClamped(h - m_y0, 1), m_x1, AddClamped(h, -int64_t(m_y1)));
}

void CBoxRgnLayer::DrawHandles(RgnCanvas& canvas) {
    const int32_t left = AddClamped(m_x0, -1);
    const int32_t low = AddClamped(m_y0, 1);
    DrawHandleAt(canvas, left, m_y1);
    DrawHandleAt(canvas, left, low);
    DrawHandleAt(canvas, m_x1, low);
    DrawHandleAt(canvas, m_x1, m_y1);
}

// ============================================================= rectangle

CRectLayer::CRectLayer(int32_t xPar, int32_t yPar, CPLOT* plot) : CBoxRgnLayer(plot, xPar, yPar) {}

CRectLayer::CRectLayer(CrRect* region, CPLOT* plot) : CBoxRgnLayer(plot, 0, 0) { AttachExisting(region); }

std::unique_ptr<CDataRgn> CRectLayer::NewRegion(RgnPoint a, RgnPoint b) const {
    return std::make_unique<CrRect>(m_xPar, m_yPar, a, b);
}

void CRectLayer::SetRegionBox(const std::array<float, 4>& box) {
    static_cast<CrRect*>(m_region)->SetGeometry(box, this);
}

std::array<float, 4> CRectLayer::GetRegionBox() const {
    std::array<float, 4> b{};
    static_cast<const CrRect*>(m_region)->GetGeometry(&b);
    return b;
}

void CRectLayer::DrawShape(RgnCanvas& canvas) { canvas.Rectangle(DrawingBox()); }
