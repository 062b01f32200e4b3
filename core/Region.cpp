#include "core/Region.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/FractionCache.h"
#include "core/GateNode.h"
#include "core/Trans.h"

namespace {

// Writes the result of inside(i) for the first n events allowed by parent
// (every event without one) into mask, a whole word at a time. Bits of
// events not tested stay clear.
template <class Inside>
void FillMask(uint32_t n, const EventBitMask* parent, EventBitMask& mask, Inside&& inside) {
    uint32_t* out = mask.Words();
    const uint32_t* pw = parent ? parent->Words() : nullptr;
    const uint32_t full = n >> 5;
    const uint32_t rest = n & 31;
    for (uint32_t w = 0; w < full; ++w) {
        const uint32_t allow = pw ? pw[w] : ~0u;
        if (allow == 0) continue;
        const uint32_t base = w << 5;
        uint32_t bits = 0;
        if (allow == ~0u) {
            for (uint32_t b = 0; b < 32; ++b) bits |= uint32_t(inside(base + b)) << b;
        } else {
            uint32_t a = allow;
            while (a) {
                const uint32_t b = uint32_t(__builtin_ctz(a));
                a &= a - 1;
                if (inside(base + b)) bits |= 1u << b;
            }
        }
        out[w] = bits;
    }
    if (rest) {
        uint32_t a = (pw ? pw[full] : ~0u) & ((1u << rest) - 1);
        const uint32_t base = full << 5;
        uint32_t bits = 0;
        while (a) {
            const uint32_t b = uint32_t(__builtin_ctz(a));
            a &= a - 1;
            if (inside(base + b)) bits |= 1u << b;
        }
        out[full] = bits;
    }
}

// Side of C relative to the line A-B: true when left of or on it.
inline bool SideOf(double ax, double ay, double bx, double by, double cx, double cy) {
    return (by - ay) * (cx - ax) <= (cy - ay) * (bx - ax);
}

// The ray of the polygon test ends at the most negative float.
constexpr float kRayEndX = -3.4028235e38f;

// Ends of the quadrant's arms and test rays.
constexpr float kArmRight = 1.01f;
constexpr float kArmTop = 1.01f;
constexpr float kArmLeft = -0.1f;
constexpr float kArmBottom = -0.1f;
constexpr float kRayUp = 1.1f;

}  // namespace

bool RgnSegmentsCross(RgnPoint a, RgnPoint b, RgnPoint c, RgnPoint d) {
    // Side test of the quadrant: (C.x - A.x)(B.y - A.y) <= (C.y - A.y)(B.x - A.x).
    auto side = [](RgnPoint A, RgnPoint B, RgnPoint C) {
        return (double(C.x) - A.x) * (double(B.y) - A.y) <= (double(C.y) - A.y) * (double(B.x) - A.x);
    };
    return side(a, b, c) != side(a, b, d) && side(c, d, a) != side(c, d, b);
}

// ---------------------------------------------------------------------------
// CDataRgn

CDataRgn::CDataRgn(int32_t type, int32_t xParam, int32_t yParam)
    : m_xParam(xParam), m_yParam(yParam), m_type(type) {}

CDataRgn::~CDataRgn() {
    // Listeners keep a pointer to their region: tell them it is going.
    const std::vector<CDataRgnGPUser*> snapshot = std::move(m_listeners);
    m_listeners.clear();
    for (CDataRgnGPUser* l : snapshot) l->RegionDeleted(this);
}

void CDataRgn::CopyBaseTo(CDataRgn& c) const {
    c.m_name = m_name;
    c.m_xParam = m_xParam;
    c.m_yParam = m_yParam;
    c.m_x0 = m_x0;
    c.m_y0 = m_y0;
    c.m_x1 = m_x1;
    c.m_y1 = m_y1;
}

bool CDataRgn::FitsParamCount(int32_t n) const {
    if (m_xParam < 0 || m_xParam >= n) return false;
    if (UsesYParam() && (m_yParam < 0 || m_yParam >= n)) return false;
    return true;
}

void CDataRgn::SetBox(const std::array<float, 4>& box) {
    m_x0 = box[0];
    m_y0 = box[1];
    m_x1 = box[2];
    m_y1 = box[3];
}

void CDataRgn::Normalise() {
    if (m_x0 > m_x1) std::swap(m_x0, m_x1);
    if (m_y0 > m_y1) std::swap(m_y0, m_y1);
}

CTRANS* CDataRgn::GetXTrans() const {
    VexaDataShell* shell = m_owner ? m_owner->GetShell() : nullptr;
    return shell ? shell->GetTrans(m_xParam) : nullptr;
}

CTRANS* CDataRgn::GetYTrans() const {
    VexaDataShell* shell = m_owner ? m_owner->GetShell() : nullptr;
    return shell ? shell->GetTrans(m_yParam) : nullptr;
}

void CDataRgn::AddUser(CDataRgnGPUser* listener) {
    if (listener == nullptr) return;
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void CDataRgn::RemoveUser(CDataRgnGPUser* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void CDataRgn::NotifyListeners(CDataRgnGPUser* skip) {
    const std::vector<CDataRgnGPUser*> snapshot = m_listeners;
    for (CDataRgnGPUser* l : snapshot) {
        if (l == skip) continue;
        if (std::find(m_listeners.begin(), m_listeners.end(), l) == m_listeners.end()) continue;
        l->RegionChanged();
    }
}

void CDataRgn::Changed(CDataRgnGPUser* /*source*/) {
    NotifyListeners(nullptr);
    if (m_owner) m_owner->MarkChanged(true);
}

CDataRgn::Columns CDataRgn::PrepareColumns(const RegionInput& in, const EventBitMask& mask,
                                           const EventBitMask* parentMask) const {
    Columns c;
    if (in.dataSet == nullptr) return c;
    const CEventMatrix* m = in.dataSet->GetEventMatrix();
    if (m == nullptr) return c;
    const bool useY = UsesYParam();
    // Parameter indices come from documents and pasted plots: check them
    // before a column is read.
    if (!FitsParamCount(m->GetParamCount())) return c;
    if (in.xTrans == nullptr || (useY && in.yTrans == nullptr)) return c;
    const float* colX = m->GetColumn(m_xParam);
    const float* colY = useY ? m->GetColumn(m_yParam) : nullptr;
    const int32_t events = m->GetEventCount();
    uint32_t n = events > 0 ? uint32_t(events) : 0u;
    n = std::min(n, mask.GetBitCount());
    if (parentMask) n = std::min(n, parentMask->GetBitCount());
    c.ok = true;
    c.count = n;
    if (n == 0) return c;
    if (colX == nullptr || (useY && colY == nullptr)) {
        c.ok = false;
        return c;
    }

    auto own = [&](const CTRANS& t, const float* col, std::vector<float>& buf) {
        buf.assign(n, 0.0f);
        if (parentMask)
            t.ToFractionsMasked(col, n, parentMask->Words(), buf.data());
        else
            t.ToFractions(col, n, buf.data());
        return static_cast<const float*>(buf.data());
    };
    if (in.cache) {
        c.fx = in.cache->Get(*m, m_xParam, *in.xTrans);
        if (useY) {
            // One entry per parameter: the same parameter under another
            // transform is computed apart, not over the x column.
            if (m_yParam == m_xParam && in.yTrans != in.xTrans)
                c.fy = own(*in.yTrans, colY, c.ownY);
            else
                c.fy = in.cache->Get(*m, m_yParam, *in.yTrans);
        }
        if (c.fx == nullptr || (useY && c.fy == nullptr)) c.ok = false;
    } else {
        c.fx = own(*in.xTrans, colX, c.ownX);
        if (useY) c.fy = own(*in.yTrans, colY, c.ownY);
    }
    return c;
}

template <class Inside>
bool CDataRgn::FillHits(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask,
                        Inside&& inside) const {
    mask.Clear();
    const Columns c = PrepareColumns(in, mask, parentMask);
    if (!c.ok) return false;
    const float* fx = c.fx;
    const float* fy = c.fy;
    if (fy)
        FillMask(c.count, parentMask, mask, [&](uint32_t i) { return inside(fx[i], fy[i]); });
    else
        FillMask(c.count, parentMask, mask, [&](uint32_t i) { return inside(fx[i], 0.0f); });
    return true;
}

bool CDataRgn::HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) {
    return FillHits(in, mask, parentMask, [this](float x, float y) { return Contains(x, y); });
}

// ---------------------------------------------------------------------------
// CrRange

CrRange::CrRange(int32_t xParam, int32_t yParam, float a, float b)
    : CDataRgn(kRgnRange, xParam, yParam) {
    m_x0 = std::min(a, b);
    m_x1 = std::max(a, b);
}

std::unique_ptr<CDataRgn> CrRange::Clone() const {
    auto c = std::make_unique<CrRange>(m_xParam, m_yParam, m_x0, m_x1);
    CopyBaseTo(*c);
    return c;
}

bool CrRange::Contains(float fx, float /*fy*/) const { return m_x0 < fx && fx < m_x1; }

bool CrRange::HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) {
    const float lo = m_x0, hi = m_x1;
    return FillHits(in, mask, parentMask, [lo, hi](float x, float) { return (lo < x) & (x < hi); });
}

void CrRange::SetGeometry(float lower, float upper, CDataRgnGPUser* source) {
    m_x0 = lower;
    m_x1 = upper;
    Changed(source);
}

void CrRange::GetGeometry(float* lower, float* upper) const {
    *lower = m_x0;
    *upper = m_x1;
}

// ---------------------------------------------------------------------------
// CrRect

CrRect::CrRect(int32_t xParam, int32_t yParam, RgnPoint corner1, RgnPoint corner2)
    : CDataRgn(kRgnRect, xParam, yParam) {
    SetBox({corner1.x, corner1.y, corner2.x, corner2.y});
    Normalise();
}

std::unique_ptr<CDataRgn> CrRect::Clone() const {
    auto c = std::make_unique<CrRect>(m_xParam, m_yParam, RgnPoint{m_x0, m_y0}, RgnPoint{m_x1, m_y1});
    CopyBaseTo(*c);
    return c;
}

bool CrRect::Contains(float fx, float fy) const {
    return m_x0 < fx && fx < m_x1 && m_y0 < fy && fy < m_y1;
}

bool CrRect::HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) {
    const float x0 = m_x0, x1 = m_x1, y0 = m_y0, y1 = m_y1;
    return FillHits(in, mask, parentMask,
                    [=](float x, float y) { return (x0 < x) & (x < x1) & (y0 < y) & (y < y1); });
}

void CrRect::SetGeometry(const std::array<float, 4>& box, CDataRgnGPUser* source) {
    SetBox(box);
    Changed(source);
}

void CrRect::GetGeometry(std::array<float, 4>* box) const { *box = {m_x0, m_y0, m_x1, m_y1}; }

// ---------------------------------------------------------------------------
// CrEllipse

CrEllipse::CrEllipse(int32_t xParam, int32_t yParam, RgnPoint corner1, RgnPoint corner2)
    : CDataRgn(kRgnEllipse, xParam, yParam) {
    SetBox({corner1.x, corner1.y, corner2.x, corner2.y});
    CrEllipse::Normalise();
}

std::unique_ptr<CDataRgn> CrEllipse::Clone() const {
    auto c = std::make_unique<CrEllipse>(m_xParam, m_yParam, RgnPoint{m_x0, m_y0},
                                         RgnPoint{m_x1, m_y1});
    CopyBaseTo(*c);
    c->CrEllipse::Normalise();
    return c;
}

void CrEllipse::Normalise() {
    CDataRgn::Normalise();
    m_a = (m_x1 - m_x0) * 0.5f;
    m_b = (m_y1 - m_y0) * 0.5f;
    m_cx = (m_x0 + m_x1) * 0.5f;
    m_cy = (m_y0 + m_y1) * 0.5f;
}

bool CrEllipse::Contains(float fx, float fy) const {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double dx = double(fx) - double(m_cx);
    const double dy = double(fy) - double(m_cy);
    const double a = m_a, b = m_b;
    // A zero half axis leaves the segment along the other axis.
    const double tx = a != 0.0 ? dx * dx / (a * a) : (dx == 0.0 ? 0.0 : kInf);
    const double ty = b != 0.0 ? dy * dy / (b * b) : (dy == 0.0 ? 0.0 : kInf);
    return tx + ty <= 1.0;
}

bool CrEllipse::HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) {
    return FillHits(in, mask, parentMask, [this](float x, float y) { return CrEllipse::Contains(x, y); });
}

void CrEllipse::SetGeometry(const std::array<float, 4>& box, CDataRgnGPUser* source) {
    SetBox(box);
    CrEllipse::Normalise();
    Changed(source);
}

void CrEllipse::GetGeometry(std::array<float, 4>* box) const { *box = {m_x0, m_y0, m_x1, m_y1}; }

// ---------------------------------------------------------------------------
// CrPolygon

CrPolygon::CrPolygon(int32_t xParam, int32_t yParam, std::vector<RgnPoint> vertices)
    : CDataRgn(kRgnPolygon, xParam, yParam), m_vertices(std::move(vertices)) {
    UpdateBox();
}

void CrPolygon::UpdateBox() {
    if (m_vertices.empty()) {
        m_x0 = m_y0 = m_x1 = m_y1 = 0.0f;
        return;
    }
    m_x0 = m_x1 = m_vertices[0].x;
    m_y0 = m_y1 = m_vertices[0].y;
    for (const RgnPoint& v : m_vertices) {
        m_x0 = std::min(m_x0, v.x);
        m_x1 = std::max(m_x1, v.x);
        m_y0 = std::min(m_y0, v.y);
        m_y1 = std::max(m_y1, v.y);
    }
}

std::unique_ptr<CDataRgn> CrPolygon::Clone() const {
    auto c = std::make_unique<CrPolygon>(m_xParam, m_yParam, m_vertices);
    CopyBaseTo(*c);
    return c;
}

bool CrPolygon::Contains(float fx, float fy) const {
    const size_t n = m_vertices.size();
    if (n < 3) return false;  // no area
    if (!(m_x0 < fx && fx < m_x1 && m_y0 < fy && fy < m_y1)) return false;
    const double px = fx, py = fy;
    const double rx = kRayEndX, ry = fy;
    // An edge is crossed when its ends lie on different sides of the ray's
    // line and the ray's ends on different sides of the edge's line.
    auto crossed = [&](const RgnPoint& a, const RgnPoint& b) {
        const bool sa = SideOf(px, py, rx, ry, a.x, a.y);
        const bool sb = SideOf(px, py, rx, ry, b.x, b.y);
        if (sa == sb) return false;
        const bool sp = SideOf(a.x, a.y, b.x, b.y, px, py);
        const bool sr = SideOf(a.x, a.y, b.x, b.y, rx, ry);
        return sp != sr;
    };
    unsigned count = 0;
    for (size_t k = 1; k < n; ++k) count += crossed(m_vertices[k - 1], m_vertices[k]) ? 1u : 0u;
    count += crossed(m_vertices[n - 1], m_vertices[0]) ? 1u : 0u;
    return (count & 1u) != 0;
}

bool CrPolygon::HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) {
    return FillHits(in, mask, parentMask, [this](float x, float y) { return CrPolygon::Contains(x, y); });
}

void CrPolygon::SetGeometry(std::vector<RgnPoint> vertices, CDataRgnGPUser* source) {
    m_vertices = std::move(vertices);
    UpdateBox();
    Changed(source);
}

void CrPolygon::GetGeometry(std::vector<RgnPoint>* vertices) const { *vertices = m_vertices; }

// ---------------------------------------------------------------------------
// CrCross

CrCross::CrCross(int32_t xParam, int32_t yParam, float cx, float cy)
    : CDataRgn(kRgnCross, xParam, yParam), m_cx(cx), m_cy(cy) {
    m_x0 = m_x1 = cx;
    m_y0 = m_y1 = cy;
}

std::unique_ptr<CDataRgn> CrCross::Clone() const {
    auto c = std::make_unique<CrCross>(m_xParam, m_yParam, m_cx, m_cy);
    CopyBaseTo(*c);
    return c;
}

int32_t CrCross::BlockOf(float fx, float fy) const {
    if (fx > m_cx && fy > m_cy) return 0;
    if (fx < m_cx && fy > m_cy) return 1;
    if (fx < m_cx && fy < m_cy) return 2;
    if (fx > m_cx && fy < m_cy) return 3;
    return -1;
}

bool CrCross::HitTestBlocks(const RegionInput& in, std::array<EventBitMask*, kBlocks> blocks,
                            const EventBitMask* parentMask) const {
    for (EventBitMask* b : blocks)
        if (b == nullptr) return false;
    for (EventBitMask* b : blocks) b->Clear();
    Columns c = PrepareColumns(in, *blocks[0], parentMask);
    if (!c.ok) return false;
    uint32_t n = c.count;
    for (EventBitMask* b : blocks) n = std::min(n, b->GetBitCount());
    const uint32_t* pw = parentMask ? parentMask->Words() : nullptr;
    for (uint32_t i = 0; i < n; ++i) {
        if (pw && !((pw[i >> 5] >> (i & 31)) & 1u)) continue;
        const int32_t k = BlockOf(c.fx[i], c.fy[i]);
        if (k >= 0) blocks[size_t(k)]->Set(i);
    }
    return true;
}

bool CrCross::HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) {
    // Each result gets a mask of its own, sized like the gate's mask, so
    // nothing is written beyond any of them.
    for (EventBitMask& b : m_blocks) b = EventBitMask(mask.GetBitCount());
    mask.Clear();
    const bool ok = HitTestBlocks(in, {&m_blocks[0], &m_blocks[1], &m_blocks[2], &m_blocks[3]},
                                  parentMask);
    if (!ok) {
        for (EventBitMask& b : m_blocks) b = EventBitMask(0);
        return false;
    }
    // The gate's own events are those of block 0 (upper right).
    const uint32_t words = std::min(mask.GetWordCount(), m_blocks[0].GetWordCount());
    std::copy(m_blocks[0].Words(), m_blocks[0].Words() + words, mask.Words());
    return true;
}

const EventBitMask& CrCross::GetBlockMask(int32_t k) const {
    static const EventBitMask empty(0);
    if (k < 0 || k >= kBlocks) return empty;
    return m_blocks[size_t(k)];
}

uint32_t CrCross::GetBlockCount(int32_t k) const { return GetBlockMask(k).CountSetBits(); }

void CrCross::SetGeometry(RgnPoint centre, CDataRgnGPUser* source) {
    m_cx = centre.x;
    m_cy = centre.y;
    m_x0 = m_x1 = m_cx;
    m_y0 = m_y1 = m_cy;
    Changed(source);
}

void CrCross::GetGeometry(RgnPoint* centre) const { *centre = {m_cx, m_cy}; }

// ---------------------------------------------------------------------------
// CrQuadrant

CrQuadrant::CrQuadrant(int32_t xParam, int32_t yParam, float cx, float cy, float a0, float a1,
                       float a2, float a3)
    : CDataRgn(kRgnQuadrant, xParam, yParam) {
    const float geo[6] = {cx, cy, a0, a1, a2, a3};
    SetArms(geo);
    m_part = 0;
    m_master = this;
    m_parts[0] = this;
    for (int32_t i = 1; i < 4; ++i) {
        m_held[size_t(i)].reset(new CrQuadrant(xParam, yParam, geo, i, this));
        m_parts[size_t(i)] = m_held[size_t(i)].get();
    }
}

CrQuadrant::CrQuadrant(int32_t xParam, int32_t yParam, const float geo[6], int32_t part,
                       CrQuadrant* master)
    : CDataRgn(kRgnQuadrant, xParam, yParam), m_part(part), m_master(master) {
    SetArms(geo);
}

CrQuadrant::~CrQuadrant() {
    if (m_part == 0) {
        // Parts that outlive their master forget it; the ones still held go
        // with it (their own destructors then find no master).
        for (int32_t i = 1; i < 4; ++i)
            if (m_parts[size_t(i)]) m_parts[size_t(i)]->m_master = nullptr;
        m_parts.fill(nullptr);
    } else if (m_master) {
        m_master->m_parts[size_t(m_part)] = nullptr;
    }
}

void CrQuadrant::SetArms(const float geo[6]) {
    m_cx = geo[0];
    m_cy = geo[1];
    for (int i = 0; i < 4; ++i) m_a[i] = geo[2 + i];
}

std::unique_ptr<CDataRgn> CrQuadrant::Clone() const {
    auto c = std::make_unique<CrQuadrant>(m_xParam, m_yParam, m_cx, m_cy, m_a[0], m_a[1], m_a[2],
                                          m_a[3]);
    CopyBaseTo(*c);
    return c;
}

CrQuadrant* CrQuadrant::GetPartRegion(int32_t i) const {
    if (i < 0 || i > 3) return nullptr;
    if (m_master) return m_master->m_parts[size_t(i)];
    return i == m_part ? const_cast<CrQuadrant*>(this) : nullptr;
}

CGateNode* CrQuadrant::GetPartGate(int32_t i) const {
    const CrQuadrant* p = GetPartRegion(i);
    return p ? p->GetOwner() : nullptr;
}

std::unique_ptr<CrQuadrant> CrQuadrant::TakePart(int32_t i) {
    if (m_part != 0 || i < 1 || i > 3) return nullptr;
    return std::move(m_held[size_t(i)]);
}

bool CrQuadrant::Contains(float fx, float fy) const {
    const RgnPoint p{fx, fy};
    const RgnPoint c{m_cx, m_cy};
    const RgnPoint right{kArmRight, m_a[0]};
    const RgnPoint up{m_a[1], kArmTop};
    const RgnPoint left{kArmLeft, m_a[2]};
    const RgnPoint down{m_a[3], kArmBottom};
    RgnPoint armA, armB, h, v;
    switch (m_part) {
        case 0: armA = right; armB = up; h = {kArmLeft, fy}; v = {fx, kArmBottom}; break;
        case 1: armA = up; armB = left; h = {kArmRight, fy}; v = {fx, kArmBottom}; break;
        case 2: armA = left; armB = down; h = {kArmRight, fy}; v = {fx, kRayUp}; break;
        case 3: armA = down; armB = right; h = {kArmLeft, fy}; v = {fx, kRayUp}; break;
        default: return false;
    }
    const bool horizontal = RgnSegmentsCross(p, h, c, armA) || RgnSegmentsCross(p, h, c, armB);
    if (!horizontal) return false;
    return RgnSegmentsCross(p, v, c, armA) || RgnSegmentsCross(p, v, c, armB);
}

bool CrQuadrant::HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) {
    return FillHits(in, mask, parentMask, [this](float x, float y) { return CrQuadrant::Contains(x, y); });
}

void CrQuadrant::SetGeometry(float cx, float cy, float a0, float a1, float a2, float a3,
                             CDataRgnGPUser* source) {
    if (m_part != 0) return;  // only part 0 takes new geometry
    const float geo[6] = {cx, cy, a0, a1, a2, a3};
    for (CrQuadrant* p : m_parts)
        if (p) p->SetArms(geo);
    Changed(source);
}

void CrQuadrant::GetGeometry(RgnPoint* centre, float* a0, float* a1, float* a2, float* a3) const {
    *centre = {m_cx, m_cy};
    *a0 = m_a[0];
    *a1 = m_a[1];
    *a2 = m_a[2];
    *a3 = m_a[3];
}

void CrQuadrant::Changed(CDataRgnGPUser* source) {
    // The four parts move together, whichever part is told.
    std::array<CrQuadrant*, 4> parts{};
    for (int32_t i = 0; i < 4; ++i) parts[size_t(i)] = GetPartRegion(i);
    for (CrQuadrant* p : parts)
        if (p) p->NotifyListeners(source);
    // Queue the part gates and flush with the last one, so the four are
    // re-evaluated in one pass.
    std::vector<CGateNode*> gates;
    for (CrQuadrant* p : parts)
        if (p && p->GetOwner()) gates.push_back(p->GetOwner());
    for (size_t i = 0; i < gates.size(); ++i) gates[i]->MarkChanged(i + 1 == gates.size());
}
