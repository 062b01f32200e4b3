#include "report/plot/RangeLayer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/Archive.h"

namespace {

// Handles are taken within this distance (exclusive) on both axes; the bar
// within kBand.
constexpr int64_t kHandleReach = 3;
constexpr int64_t kBand = 5;
// The label sits this far below the bar.
constexpr int32_t kLabelBelowBar = 15;

bool Near(int64_t a, int64_t b, int64_t reach) { return std::llabs(a - b) < reach; }

}  // namespace

CRangeLayer::CRangeLayer(int32_t xPar, int32_t yPar, CPLOT* plot) : CRgnLayer(plot, xPar, yPar) {}

CRangeLayer::CRangeLayer(CrRange* region, CPLOT* plot) : CRgnLayer(plot, 0, 0) {
    SetLevel(AreaSize().cy / 2);
    AttachExisting(region);
}

void CRangeLayer::SetPixels(int32_t x0, int32_t x1, int32_t level) {
    m_x0 = AddClamped(x0, 0);
    m_x1 = AddClamped(x1, 0);
    SetLevel(level);
}

void CRangeLayer::SetLevel(int64_t level) {
    m_level = AddClamped(level, 0);
    const int32_t h = AreaSize().cy;
    // Without a height there is no fraction: the bar goes to mid-height once
    // the area has one.
    m_levelFraction = h > 0 ? float(m_level) / float(h) : std::numeric_limits<float>::quiet_NaN();
}

// ---- shape ----

void CRangeLayer::BeginShape(CPoint p) {
    m_x0 = m_x1 = p.x;
    SetLevel(p.y);
}

void CRangeLayer::OrderShape() {
    if (m_x0 > m_x1) std::swap(m_x0, m_x1);
}

void CRangeLayer::DragRubberBand(CPoint p) {
    m_x1 = p.x;
    SetLevel(p.y);
}

void CRangeLayer::DragHandle(CPoint p) {
    if (m_handle == 0) {
        m_x0 = p.x;
        SetLevel(p.y);
    } else if (m_handle == 1) {
        m_x1 = p.x;
        SetLevel(p.y);
    }
}

void CRangeLayer::DragMove(CPoint p) {
    // Sideways only: the bar keeps its height.
    const int64_t dx = int64_t(p.x) - m_last.x;
    m_x0 = AddClamped(m_x0, dx);
    m_x1 = AddClamped(m_x1, dx);
    OffsetLabel(dx, 0);
    m_last.x = p.x;
    OrderShape();
}

int32_t CRangeLayer::HitHandle(CPoint p) const {
    if (!m_visible) return -1;
    if (Near(p.x, m_x0, kHandleReach) && Near(p.y, m_level, kHandleReach)) return 0;
    if (Near(p.x, m_x1, kHandleReach) && Near(p.y, m_level, kHandleReach)) return 1;
    return -1;
}

bool CRangeLayer::HitOutline(CPoint p) const {
    if (!m_visible) return false;
    return int64_t(m_x0) - kBand < p.x && p.x < int64_t(m_x1) + kBand && int64_t(m_level) - kBand < p.y &&
           p.y < int64_t(m_level) + kBand;
}

void CRangeLayer::PlaceLabel() {
    const int32_t h = AreaSize().cy;
    PlaceLabelAt(CPoint(AddClamped(int64_t(m_x0) + m_x1, 0) / 2, AddClamped(int64_t(h) - m_level, kLabelBelowBar)));
}

void CRangeLayer::Reset() {
    // A bar left at its pixel height would end up outside a smaller area,
    // where it can no longer be grabbed.
    const int32_t h = AreaSize().cy;
    if (h > 0) {
        if (std::isnan(m_levelFraction))
            SetLevel(h / 2);
        else
            m_level = FractionToPixel(h, m_levelFraction);
    }
    CRgnLayer::Reset();
}

// ---- region ----

std::unique_ptr<CDataRgn> CRangeLayer::MakeRegion() {
    if (m_region || !AreaUsable()) return nullptr;
    const float w = float(AreaSize().cx);
    auto r = std::make_unique<CrRange>(m_xPar, m_yPar, float(m_x0) / w, float(m_x1) / w);
    BindRegion(r.get());
    return r;
}

void CRangeLayer::WriteRegionGeometry() {
    const float w = float(AreaSize().cx);
    Range()->SetGeometry(float(m_x0) / w, float(m_x1) / w, this);
}

void CRangeLayer::ReadRegionGeometry() {
    float lower = 0.0f, upper = 0.0f;
    Range()->GetGeometry(&lower, &upper);
    const int32_t w = AreaSize().cx;
    m_x0 = FractionToPixel(w, lower);
    m_x1 = FractionToPixel(w, upper);
}

// ---- drawing ----

void CRangeLayer::DrawShape(RgnCanvas& canvas) {
    const int32_t h = AreaSize().cy;
    const int32_t left = AddClamped(m_x0, -1);
    const int32_t bar = AddClamped(h, -int64_t(m_level));
    canvas.Line(CPoint(left, 0), CPoint(left, h));
    canvas.Line(CPoint(m_x1, 0), CPoint(m_x1, h));
    canvas.Line(CPoint(left, bar), CPoint(m_x1, bar));
}

void CRangeLayer::DrawHandles(RgnCanvas& canvas) {
    DrawHandleAt(canvas, AddClamped(m_x0, -1), m_level);
    DrawHandleAt(canvas, m_x1, m_level);
}

// ---- record ----

void CRangeLayer::Store(CArchive& ar) const {
    CRgnLayer::Store(ar);
    ar.WriteInt32(m_level);
}

void CRangeLayer::Load(CArchive& ar) {
    CRgnLayer::Load(ar);
    SetLevel(ar.ReadInt32());
}
