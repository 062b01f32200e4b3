#include "report/plot/PolygonLayer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "report/page/TrackStates.h"

namespace {

// Handles, box corners and the outline band reach this far (exclusive).
constexpr int64_t kReach = 5;
// A release this close to the first vertex (inclusive) closes the polygon.
constexpr int64_t kCloseReach = 5;
// The outline test's bound on the normalised cross product.
constexpr double kSlantReach = 0.3;
// The label sits this far right of and below the first vertex.
constexpr int32_t kLabelOffset = 10;

bool Near(int64_t a, int64_t b) { return std::llabs(a - b) < kReach; }

bool StrictlyBetween(int64_t v, int64_t a, int64_t b) { return std::min(a, b) < v && v < std::max(a, b); }

}  // namespace

bool RgnNearSegment(CPoint p, CPoint a, CPoint b) {
    // Products of coordinates a file or a pointer made large: 64 bits.
    const int64_t px = p.x, py = p.y, ax = a.x, ay = a.y, bx = b.x, by = b.y;
    if (std::llabs(ax - bx) < kReach && StrictlyBetween(py, ay, by)) {
        const int64_t m = (ax + bx) / 2;
        if (m - kReach < px && px < m + kReach) return true;
    }
    if (std::llabs(ay - by) < kReach && StrictlyBetween(px, ax, bx)) {
        const int64_t m = (ay + by) / 2;
        if (m - kReach < py && py < m + kReach) return true;
    }
    if (px < std::min(ax, bx) || px > std::max(ax, bx) || py < std::min(ay, by) || py > std::max(ay, by)) return false;
    const int64_t divisor = (ay - by) * (ax - bx);
    if (divisor == 0) return false;
    const double c = double((ax - px) * (by - py) - (bx - px) * (ay - py)) / double(divisor);
    return -kSlantReach < c && c < kSlantReach;
}

// ============================================================ construction

CPolygonLayer::CPolygonLayer(int32_t xPar, int32_t yPar, CPLOT* plot) : CRgnLayer(plot, xPar, yPar) {}

CPolygonLayer::CPolygonLayer(CrPolygon* region, CPLOT* plot) : CRgnLayer(plot, 0, 0) {
    m_closed = true;
    AttachExisting(region);
}

// ================================================================= region

std::unique_ptr<CDataRgn> CPolygonLayer::MakeRegion() {
    if (m_region || !AreaUsable()) return nullptr;
    const CSize s = AreaSize();
    std::vector<RgnPoint> f;
    f.reserve(m_vertices.size());
    for (const CPoint& v : m_vertices) f.push_back({float(v.x) / float(s.cx), float(v.y) / float(s.cy)});
    auto r = std::make_unique<CrPolygon>(m_xPar, m_yPar, std::move(f));
    BindRegion(r.get());
    return r;
}

void CPolygonLayer::WriteRegionGeometry() {
    const CSize s = AreaSize();
    std::vector<RgnPoint> f;
    f.reserve(m_vertices.size());
    for (const CPoint& v : m_vertices) f.push_back({float(v.x) / float(s.cx), float(v.y) / float(s.cy)});
    static_cast<CrPolygon*>(m_region)->SetGeometry(std::move(f), this);
}

void CPolygonLayer::ReadRegionGeometry() {
    std::vector<RgnPoint> f;
    static_cast<const CrPolygon*>(m_region)->GetGeometry(&f);
    const CSize s = AreaSize();
    m_vertices.resize(f.size());
    for (size_t i = 0; i < f.size(); ++i)
        m_vertices[i] = CPoint(FractionToPixel(s.cx, f[i].x), FractionToPixel(s.cy, f[i].y));
    m_box = BoundingBox();
}

void CPolygonLayer::PlaceLabel() {
    const int64_t h = AreaSize().cy;
    const CPoint first = m_vertices.empty() ? CPoint(0, 0) : m_vertices.front();
    PlaceLabelAt(CPoint(AddClamped(first.x, kLabelOffset), AddClamped(h - first.y, kLabelOffset)));
}

// ============================================================= hit tests

CRect CPolygonLayer::BoundingBox() const {
    if (m_vertices.empty()) return CRect();
    CRect b(m_vertices[0].x, m_vertices[0].y, m_vertices[0].x, m_vertices[0].y);
    for (const CPoint& v : m_vertices) {
        b.left = std::min(b.left, v.x);
        b.right = std::max(b.right, v.x);
        b.top = std::max(b.top, v.y);
        b.bottom = std::min(b.bottom, v.y);
    }
    return b;
}

int32_t CPolygonLayer::HitHandle(CPoint p) const {
    for (size_t i = 0; i < m_vertices.size(); ++i)
        if (Near(p.x, m_vertices[i].x) && Near(p.y, m_vertices[i].y)) return int32_t(i);
    return -1;
}

int32_t CPolygonLayer::HitBoxCorner(CPoint p) const {
    if (m_vertices.empty()) return -1;
    const CPoint corners[4] = {{m_box.left, m_box.top},
                               {m_box.right, m_box.top},
                               {m_box.left, m_box.bottom},
                               {m_box.right, m_box.bottom}};
    for (int32_t i = 0; i < 4; ++i)
        if (Near(p.x, corners[i].x) && Near(p.y, corners[i].y)) return i + 1;
    return -1;
}

bool CPolygonLayer::HitOutline(CPoint p) const {
    if (!m_visible) return false;
    const size_t n = m_vertices.size();
    for (size_t i = 0; i < n; ++i)
        if (RgnNearSegment(p, m_vertices[i], m_vertices[(i + 1) % n])) return true;
    return false;
}

// ================================================================= mouse

void CPolygonLayer::TakeSnapshot(CPoint p) {
    BeginDrag(p);
    m_press = p;
    m_saved = m_vertices;
    m_box = m_pressBox = BoundingBox();
}

bool CPolygonLayer::OnButtonDown(CPoint page, int32_t* state) {
    if (!state || !m_visible || !AreaUsable()) return false;
    SyncArea();
    const CPoint p = ToLayer(page);
    switch (*state) {
        case kTrackMove:
        case kTrackRegionSelected:
            if (HitLabel(page)) {
                *state = kTrackLabelDrag;
                BeginDrag(p);
                return true;
            }
            // A shown corner handle wins over the outline, which passes
            // through every corner that is a vertex.
            if (*state == kTrackRegionSelected && !m_vertexMode) {
                if (const int32_t corner = HitBoxCorner(p); corner > 0) {
                    *state = kTrackPolygonScale;
                    m_handle = corner;
                    TakeSnapshot(p);
                    return true;
                }
            }
            if (HitOutline(p)) {
                // Idle: the press selects; selected: it starts a move.
                *state = *state == kTrackMove ? kTrackRegionSelected : kTrackRegionMove;
                TakeSnapshot(p);
                m_selected = true;
                m_vertexMode = false;
                return true;
            }
            *state = kTrackMove;
            m_selected = false;
            return false;
        case kTrackRegionCreate:
            *state = kTrackPolygonEntry;
            m_vertices.assign(1, p);
            m_closed = false;
            m_last = p;
            return true;
        case kTrackHandleDrag:
            *state = kTrackMove;
            m_selected = false;
            return true;
        case kTrackPolygonVertex:
            if (const int32_t v = HitHandle(p); v >= 0) {
                *state = kTrackHandleDrag;
                m_handle = v;
                TakeSnapshot(p);
                return true;
            }
            if (HitOutline(p)) {
                *state = kTrackRegionMove;
                TakeSnapshot(p);
                return true;
            }
            *state = kTrackMove;
            m_selected = false;
            return false;
        default:
            return false;
    }
}

bool CPolygonLayer::ReleaseEntry(CPoint page, CPoint p, int32_t* state) {
    // A release off the plot area is no vertex: the user let go elsewhere.
    if (!GetPlotArea().PtInRect(page) || m_vertices.empty()) return false;
    const CPoint first = m_vertices.front();
    if (std::llabs(int64_t(p.x) - first.x) <= kCloseReach && std::llabs(int64_t(p.y) - first.y) <= kCloseReach) {
        if (m_vertices.size() < 3) return false;
        *state = kTrackPolygonVertex;
        m_vertexMode = true;
        m_closed = true;
        m_box = BoundingBox();
        PlaceLabel();
        return true;
    }
    if (m_vertices.size() >= size_t(kPolygonMaxVertices)) return false;
    m_vertices.push_back(p);
    return true;
}

// A dragged vertex leaves the vertex handles shown.
int32_t CPolygonLayer::StateAfterHandleDrag() const { return kTrackPolygonVertex; }

int32_t CPolygonLayer::StateAfterMove() const {
    // A move begun among the vertex handles goes back to them.
    return m_vertexMode ? kTrackPolygonVertex : kTrackRegionSelected;
}

bool CPolygonLayer::ReleaseOwnState(CPoint page, int32_t* state) {
    switch (*state) {
        case kTrackRegionSelected:
        case kTrackPolygonVertex:
            return true;
        case kTrackPolygonEntry:
            return ReleaseEntry(page, ToLayer(page), state);
        case kTrackPolygonScale:
            *state = kTrackRegionSelected;
            if (Dragged()) PushGeometry();
            return true;
        default:
            return false;
    }
}

void CPolygonLayer::ScaleTo(CPoint p) {
    const CRect& b = m_pressBox;
    const bool left = m_handle == 1 || m_handle == 3;
    const bool top = m_handle == 1 || m_handle == 2;
    const double grabX = left ? b.left : b.right, grabY = top ? b.top : b.bottom;
    const double fixX = left ? b.right : b.left, fixY = top ? b.bottom : b.top;
    // A box without width (height) has no factor on that axis: it keeps it.
    // Past the fixed corner the factor turns negative and the polygon mirrors.
    const double sx = grabX == fixX ? 1.0 : (double(p.x) - fixX) / (grabX - fixX);
    const double sy = grabY == fixY ? 1.0 : (double(p.y) - fixY) / (grabY - fixY);
    const auto scaled = [](double v, double fixed, double s) {
        return AddClamped(int64_t(std::trunc(std::clamp((v - fixed) * s + fixed, -double(kRgnCoordLimit),
                                                        double(kRgnCoordLimit)))),
                          0);
    };
    m_vertices.resize(m_saved.size());
    for (size_t i = 0; i < m_saved.size(); ++i)
        m_vertices[i] = CPoint(scaled(m_saved[i].x, fixX, sx), scaled(m_saved[i].y, fixY, sy));
}

bool CPolygonLayer::OnDrag(CPoint page, int32_t* state) {
    if (!state || !AreaUsable()) return false;
    SyncArea();
    const CPoint p = ToLayer(page);
    switch (*state) {
        case kTrackHandleDrag:
            if (NoteDragTo(p) && m_handle >= 0 && size_t(m_handle) < m_vertices.size()) m_vertices[size_t(m_handle)] = p;
            return true;
        case kTrackRegionMove: {
            if (!NoteDragTo(p)) return true;
            m_selected = false;  // no handles while moving
            const int64_t dx = int64_t(p.x) - m_press.x, dy = int64_t(p.y) - m_press.y;
            m_vertices.resize(m_saved.size());
            for (size_t i = 0; i < m_saved.size(); ++i)
                m_vertices[i] = CPoint(AddClamped(m_saved[i].x, dx), AddClamped(m_saved[i].y, dy));
            OffsetLabel(int64_t(p.x) - m_last.x, int64_t(m_last.y) - p.y);
            m_last = p;
            return true;
        }
        case kTrackPolygonEntry:
            m_last = p;
            return true;
        case kTrackLabelDrag:
            if (!NoteDragTo(p)) return true;
            OffsetLabel(int64_t(p.x) - m_last.x, int64_t(m_last.y) - p.y);
            m_last = p;
            return true;
        case kTrackPolygonScale:
            if (m_handle < 1 || m_handle > 4) return false;
            if (NoteDragTo(p)) ScaleTo(p);
            return true;
        default:
            return false;
    }
}

bool CPolygonLayer::OnDoubleClick(CPoint page, int32_t* state) {
    if (!state || !AreaUsable()) return false;
    SyncArea();
    if (*state == kTrackPolygonEntry) {
        if (m_vertices.size() < 3) return false;
        *state = kTrackMove;
        m_closed = true;
        m_vertexMode = true;
        m_box = BoundingBox();
        PlaceLabel();
        return true;
    }
    if (*state != kTrackMove && *state != kTrackRegionSelected) return false;
    if (!HitOutline(ToLayer(page))) {
        *state = kTrackMove;
        return false;
    }
    *state = kTrackPolygonVertex;
    m_vertexMode = true;
    m_selected = true;
    return true;
}

// =============================================================== drawing

void CPolygonLayer::DrawShape(RgnCanvas& canvas) {
    const size_t n = m_vertices.size();
    if (n == 0) return;
    const int64_t h = AreaSize().cy;
    const auto at = [h](CPoint v) { return CPoint(AddClamped(v.x, -1), AddClamped(h, -int64_t(v.y))); };
    if (m_closed) {
        for (size_t i = 0; i < n; ++i) canvas.Line(at(m_vertices[i]), at(m_vertices[(i + 1) % n]));
        return;
    }
    // Entry: the first vertex marked, the edges so far and the rubber line
    // to the pointer.
    DrawHandleAt(canvas, AddClamped(m_vertices[0].x, -1), m_vertices[0].y);
    for (size_t i = 0; i + 1 < n; ++i) canvas.Line(at(m_vertices[i]), at(m_vertices[i + 1]));
    canvas.Line(at(m_vertices[n - 1]), at(m_last));
}

void CPolygonLayer::DrawHandles(RgnCanvas& canvas) {
    if (!m_closed || m_vertices.empty()) return;
    if (m_vertexMode) {
        for (const CPoint& v : m_vertices) DrawHandleAt(canvas, AddClamped(v.x, -1), AddClamped(v.y, 1));
        return;
    }
    const CRect b = BoundingBox();
    DrawHandleAt(canvas, b.left, b.top);
    DrawHandleAt(canvas, b.left, b.bottom);
    DrawHandleAt(canvas, b.right, b.top);
    DrawHandleAt(canvas, b.right, b.bottom);
}
