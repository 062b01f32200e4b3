#include "core/Region.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/FractionCache.h"
#include "core/GateNode.h"
#include "core/QuadrantClassifier.h"
#include "core/Slices.h"
#include "core/Trans.h"

namespace {

// No block classifier: every event is classified on its own.
struct NoBlocks {};

// No filter on fx: the y column is read for every event of the parent.
struct NoFilter {};

// A word with at least this many events to test is classified as a whole
// block when a block classifier is given (the others are ignored).
constexpr int kBlockMinEvents = 4;

// Whether word has at least k bits set (without a population count, which
// is a library call on processors the build does not assume).
inline bool HasAtLeastBits(uint32_t word, int k) {
    for (int i = 1; i < k; ++i) word &= word - 1;
    return word != 0;
}

// Writes, for the events of words [wordBegin, wordEnd) among the first n
// events allowed by parent (every event without one), bit k of classify(i)
// into out[k], a whole word at a time. Bits of events not tested stay clear.
// block(w, bits), when given, writes into bits[k] the bit k of classify for
// all 32 events of full word w (it reads every one of them).
template <size_t N, class Classify, class Block = NoBlocks>
void FillMasks(uint32_t n, const EventBitMask* parent, const std::array<uint32_t*, N>& out,
               size_t wordBegin, size_t wordEnd, Classify&& classify, Block&& block = {}) {
    constexpr bool kHasBlocks = !std::is_same_v<std::decay_t<Block>, NoBlocks>;
    const uint32_t* pw = parent ? parent->Words() : nullptr;
    const uint32_t full = n >> 5;
    const uint32_t rest = n & 31;
    auto sparse = [&](uint32_t w, uint32_t allow) {
        const uint32_t base = w << 5;
        uint32_t bits[N] = {};
        while (allow) {
            const uint32_t b = uint32_t(__builtin_ctz(allow));
            allow &= allow - 1;
            const uint32_t r = classify(base + b);
            for (size_t k = 0; k < N; ++k) bits[k] |= ((r >> k) & 1u) << b;
        }
        for (size_t k = 0; k < N; ++k) out[k][w] = bits[k];
    };
    const uint32_t fullEnd = std::min<uint32_t>(full, uint32_t(wordEnd));
    for (uint32_t w = uint32_t(wordBegin); w < fullEnd; ++w) {
        const uint32_t allow = pw ? pw[w] : ~0u;
        if (allow == 0) continue;
        if constexpr (kHasBlocks) {
            if (HasAtLeastBits(allow, kBlockMinEvents)) {
                uint32_t bits[N];
                block(w, bits);
                for (size_t k = 0; k < N; ++k) out[k][w] = bits[k] & allow;
                continue;
            }
        }
        if (allow != ~0u) {
            sparse(w, allow);
            continue;
        }
        const uint32_t base = w << 5;
        uint32_t bits[N] = {};
        for (uint32_t b = 0; b < 32; ++b) {
            const uint32_t r = classify(base + b);
            for (size_t k = 0; k < N; ++k) bits[k] |= ((r >> k) & 1u) << b;
        }
        for (size_t k = 0; k < N; ++k) out[k][w] = bits[k];
    }
    if (rest && wordBegin <= full && full < wordEnd) {
        const uint32_t allow = (pw ? pw[full] : ~0u) & ((1u << rest) - 1);
        if (allow) sparse(full, allow);
    }
}

// Below this many mask words (32 events each) a hit test runs on this
// thread. Slices are whole words, so no two threads write the same word.
constexpr size_t kMinSliceWords = size_t(1) << 13;

// FillMasks over the first n events, split over the cores.
template <size_t N, class Classify, class Block = NoBlocks>
void FillMasksSliced(uint32_t n, const EventBitMask* parent, const std::array<uint32_t*, N>& out,
                     Classify&& classify, Block&& block = {}) {
    const size_t words = (size_t(n) + 31) >> 5;
    lm::ForSlices(words, kMinSliceWords,
                  [&](size_t b, size_t e) { FillMasks<N>(n, parent, out, b, e, classify, block); });
}

// Side of C relative to the line A-B: true when left of or on it.
inline bool SideOf(double ax, double ay, double bx, double by, double cx, double cy) {
    return (by - ay) * (cx - ax) <= (cy - ay) * (bx - ax);
}

// The ray of the polygon test ends at the most negative float.
constexpr float kRayEndX = -3.4028235e38f;

// Whether edge a-b is crossed by the ray from (px, py) to the far left: its
// ends lie on different sides of the ray's line and the ray's ends on
// different sides of the edge's line. For a finite point the first holds
// only when exactly one end has y <= py, which the edge buckets rely on.
inline bool PolygonEdgeCrossed(double px, double py, RgnPoint a, RgnPoint b) {
    const double rx = kRayEndX, ry = py;
    const bool sa = SideOf(px, py, rx, ry, a.x, a.y);
    const bool sb = SideOf(px, py, rx, ry, b.x, b.y);
    if (sa == sb) return false;
    const bool sp = SideOf(a.x, a.y, b.x, b.y, px, py);
    const bool sr = SideOf(a.x, a.y, b.x, b.y, rx, ry);
    return sp != sr;
}

// The edges of a polygon sorted into horizontal bands of its box, so that a
// point is tested only against the edges whose y span meets its band. Band
// of y: floor((y - y0) * scale), clamped; being monotonic in y, an edge listed
// in the bands of its lowest to its highest y is listed in the band of every
// point whose y lies in its span.
class PolygonBands {
public:
    // False when the vertices are not all finite (the bands cannot be
    // trusted then: test every edge).
    bool Build(const std::vector<RgnPoint>& v, float y0, float y1) {
        for (const RgnPoint& p : v)
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
        const size_t n = v.size();
        m_bands = int32_t(std::clamp<size_t>(n, 1, 1024));
        m_y0 = y0;
        const double h = double(y1) - double(y0);
        m_scale = h > 0.0 ? m_bands / h : 0.0;
        // Counting sort of the edges by band.
        std::vector<uint32_t> count(size_t(m_bands) + 1, 0);
        auto span = [&](size_t k, int32_t* lo, int32_t* hi) {
            const RgnPoint a = v[k], b = v[(k + 1) % n];
            *lo = Band(std::min(a.y, b.y));
            *hi = Band(std::max(a.y, b.y));
        };
        for (size_t k = 0; k < n; ++k) {
            int32_t lo, hi;
            span(k, &lo, &hi);
            for (int32_t j = lo; j <= hi; ++j) ++count[size_t(j) + 1];
        }
        for (size_t j = 1; j < count.size(); ++j) count[j] += count[j - 1];
        m_start = count;
        m_edges.resize(count.back());
        for (size_t k = 0; k < n; ++k) {
            int32_t lo, hi;
            span(k, &lo, &hi);
            for (int32_t j = lo; j <= hi; ++j) m_edges[count[size_t(j)]++] = {v[k], v[(k + 1) % n]};
        }
        return true;
    }

    int32_t Band(float y) const {
        const double t = (double(y) - m_y0) * m_scale;
        if (!(t > 0.0)) return 0;
        if (t >= m_bands) return m_bands - 1;
        return int32_t(t);
    }

    // Odd number of edges crossed by the ray from (px, py) to the left.
    bool OddCrossings(float px, float py) const {
        const int32_t b = Band(py);
        unsigned count = 0;
        for (uint32_t k = m_start[size_t(b)], e = m_start[size_t(b) + 1]; k < e; ++k)
            count += PolygonEdgeCrossed(px, py, m_edges[k].first, m_edges[k].second) ? 1u : 0u;
        return (count & 1u) != 0;
    }

private:
    int32_t m_bands = 1;
    double m_y0 = 0.0, m_scale = 0.0;
    std::vector<uint32_t> m_start;
    std::vector<std::pair<RgnPoint, RgnPoint>> m_edges;
};

// Side test of the quadrant: (C.x - A.x)(B.y - A.y) <= (C.y - A.y)(B.x - A.x).
inline bool SegSide(RgnPoint A, RgnPoint B, RgnPoint C) {
    return (double(C.x) - A.x) * (double(B.y) - A.y) <= (double(C.y) - A.y) * (double(B.x) - A.x);
}

}  // namespace

bool RgnSegmentsCross(RgnPoint a, RgnPoint b, RgnPoint c, RgnPoint d) {
    return SegSide(a, b, c) != SegSide(a, b, d) && SegSide(c, d, a) != SegSide(c, d, b);
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

void CDataRgn::SetName(const std::string& name) {
    if (name == m_name) return;
    m_name = name;
    const std::vector<CDataRgnGPUser*> snapshot = m_listeners;
    for (CDataRgnGPUser* l : snapshot)
        if (std::find(m_listeners.begin(), m_listeners.end(), l) != m_listeners.end()) l->RegionRenamed();
}

void CDataRgn::Changed(CDataRgnGPUser* /*source*/) {
    NotifyListeners(nullptr);
    if (m_owner) m_owner->MarkChanged(true);
}

CDataRgn::Columns CDataRgn::PrepareColumns(const RegionInput& in, const EventBitMask& mask,
                                           const EventBitMask* parentMask) const {
    return PrepareColumnsFiltered(in, mask, parentMask, NoFilter{});
}

template <class XPass>
CDataRgn::Columns CDataRgn::PrepareColumnsFiltered(const RegionInput& in, const EventBitMask& mask,
                                                   const EventBitMask* parentMask, XPass&& xPass) const {
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

    // The events of a column to compute: words (null for all of the first n).
    auto own = [&](const CTRANS& t, const float* col, const uint32_t* words, std::vector<float>& buf) {
        buf.assign(n, 0.0f);
        if (words)
            t.ToFractionsMasked(col, n, words, buf.data());
        else
            t.ToFractions(col, n, buf.data());
        return static_cast<const float*>(buf.data());
    };
    // Under a parent only its events are read: the cache computes no others
    // (a small gate's children skip most of the inversions).
    auto cached = [&](int32_t param, const CTRANS& t, const uint32_t* words) {
        return words ? in.cache->GetSome(*m, param, t, words, n) : in.cache->Get(*m, param, t);
    };
    const uint32_t* parentWords = parentMask ? parentMask->Words() : nullptr;
    c.fx = in.cache ? cached(m_xParam, *in.xTrans, parentWords) : own(*in.xTrans, colX, parentWords, c.ownX);
    if (c.fx == nullptr) {
        c.ok = false;
        return c;
    }
    if (!useY) return c;
    // One entry per parameter: the same parameter under another transform
    // is computed apart, not over the x column.
    const bool ownY = !in.cache || (m_yParam == m_xParam && in.yTrans != in.xTrans);
    const uint32_t* yWords = parentWords;
    if constexpr (!std::is_same_v<std::decay_t<XPass>, NoFilter>) {
        // The filter saves nothing where the y fractions are all at hand, and
        // costs more than it saves on a linear axis (a subtraction and a
        // division a value).
        const bool yAtHand = !ownY && (m_yParam == m_xParam || in.cache->Holds(*m, m_yParam, *in.yTrans));
        if (!yAtHand && in.yTrans->GetType() != kTransLinear) {
            c.passed = EventBitMask(n);
            const float* fx = c.fx;
            FillMasksSliced<1>(n, parentMask, {c.passed.Words()}, [&](uint32_t i) { return uint32_t(xPass(fx[i])); });
            c.filtered = true;
            yWords = c.passed.Words();
        }
    }
    if (ownY)
        c.fy = own(*in.yTrans, colY, yWords, c.ownY);
    else
        c.fy = cached(m_yParam, *in.yTrans, yWords);
    if (c.fy == nullptr) c.ok = false;
    return c;
}

template <size_t N, class Classify, class Block, class XPass>
bool CDataRgn::FillHitsWith(const RegionInput& in, const std::array<EventBitMask*, N>& masks,
                            const EventBitMask* parentMask, Classify&& classify, Block&& block,
                            XPass&& xPass) const {
    for (EventBitMask* m : masks) m->Clear();
    const Columns c = PrepareColumnsFiltered(in, *masks[0], parentMask, xPass);
    if (!c.ok) return false;
    uint32_t n = c.count;
    for (const EventBitMask* m : masks) n = std::min(n, m->GetBitCount());
    std::array<uint32_t*, N> out{};
    for (size_t k = 0; k < N; ++k) out[k] = masks[k]->Words();
    const float* fx = c.fx;
    const float* fy = c.fy;
    // After a filter only the events that passed it can be inside.
    const EventBitMask* tested = c.filtered ? &c.passed : parentMask;
    if (fy && !std::is_same_v<std::decay_t<Block>, NoBlocks>) {
        if constexpr (!std::is_same_v<std::decay_t<Block>, NoBlocks>)
            FillMasksSliced<N>(
                n, tested, out, [&](uint32_t i) { return uint32_t(classify(fx[i], fy[i])); },
                [&](uint32_t w, uint32_t* bits) { block(fx + (size_t(w) << 5), fy + (size_t(w) << 5), bits); });
    } else if (fy)
        FillMasksSliced<N>(n, tested, out, [&](uint32_t i) { return uint32_t(classify(fx[i], fy[i])); });
    else
        FillMasksSliced<N>(n, tested, out, [&](uint32_t i) { return uint32_t(classify(fx[i], 0.0f)); });
    return true;
}

template <size_t N, class Classify>
bool CDataRgn::FillHits(const RegionInput& in, const std::array<EventBitMask*, N>& masks,
                        const EventBitMask* parentMask, Classify&& classify) const {
    return FillHitsBlocks<N>(in, masks, parentMask, classify, NoBlocks{});
}

template <size_t N, class Classify, class Block>
bool CDataRgn::FillHitsBlocks(const RegionInput& in, const std::array<EventBitMask*, N>& masks,
                              const EventBitMask* parentMask, Classify&& classify, Block&& block) const {
    return FillHitsWith<N>(in, masks, parentMask, classify, block, NoFilter{});
}

template <class Inside>
bool CDataRgn::FillHits(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask,
                        Inside&& inside) const {
    return FillHits<1>(in, {&mask}, parentMask, inside);
}

template <class XPass, class Inside>
bool CDataRgn::FillHitsXFirst(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask,
                              XPass&& xPass, Inside&& inside) const {
    return FillHitsWith<1>(in, {&mask}, parentMask, inside, NoBlocks{}, xPass);
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
    return FillHitsXFirst(
        in, mask, parentMask, [=](float x) { return (x0 < x) & (x < x1); },
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

// (v - c)^2 / h^2, the share of one axis in the ellipse's sum. A zero half
// axis h leaves the segment along the other axis: 0 on the centre, else
// infinite.
inline double EllipseTerm(float v, float c, float h) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double d = double(v) - double(c);
    const double hd = h;
    return hd != 0.0 ? d * d / (hd * hd) : (d == 0.0 ? 0.0 : kInf);
}

bool CrEllipse::Contains(float fx, float fy) const {
    return EllipseTerm(fx, m_cx, m_a) + EllipseTerm(fy, m_cy, m_b) <= 1.0;
}

bool CrEllipse::HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) {
    // The y term is never negative and a rounded sum never falls below
    // either term: an x term above 1 leaves the event outside.
    const float cx = m_cx, a = m_a;
    return FillHitsXFirst(
        in, mask, parentMask, [=](float x) { return !(EllipseTerm(x, cx, a) > 1.0); },
        [this](float x, float y) { return CrEllipse::Contains(x, y); });
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
    unsigned count = 0;
    for (size_t k = 0; k < n; ++k)
        count += PolygonEdgeCrossed(fx, fy, m_vertices[k], m_vertices[(k + 1) % n]) ? 1u : 0u;
    return (count & 1u) != 0;
}

bool CrPolygon::HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) {
    // Every event inside lies strictly within the box's x span.
    const float x0 = m_x0, x1 = m_x1, y0 = m_y0, y1 = m_y1;
    auto inSpan = [=](float x) { return (x0 < x) & (x < x1); };
    PolygonBands bands;
    if (m_vertices.size() < 3 || !bands.Build(m_vertices, m_y0, m_y1))
        return FillHitsXFirst(in, mask, parentMask, inSpan,
                              [this](float x, float y) { return CrPolygon::Contains(x, y); });
    // A point inside the strict box is finite, so only the edges of its band
    // can be crossed.
    return FillHitsXFirst(in, mask, parentMask, inSpan, [&](float x, float y) {
        if (!(x0 < x && x < x1 && y0 < y && y < y1)) return false;
        return bands.OddCrossings(x, y);
    });
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
    return FillHits<kBlocks>(in, blocks, parentMask, [this](float x, float y) {
        const int32_t k = BlockOf(x, y);
        return k >= 0 ? 1u << k : 0u;
    });
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

// What the four parts' results were computed from: the geometry, the
// fraction columns (unchanged while the cache changed nothing) and the
// parent's events.
struct CrQuadrant::PartHits {
    float geo[6] = {};
    const FractionCache* cache = nullptr;
    uint64_t changes = 0;
    const float* fx = nullptr;
    const float* fy = nullptr;
    uint32_t count = 0;
    bool hasParent = false;
    std::vector<uint32_t> parent;
    std::array<EventBitMask, 4> parts;
    std::array<bool, 4> taken{};  // parts[k] handed to its gate already

    bool Matches(const PartHits& k) const {
        return std::memcmp(geo, k.geo, sizeof geo) == 0 && cache == k.cache && changes == k.changes &&
               fx == k.fx && fy == k.fy && count == k.count && hasParent == k.hasParent && parent == k.parent;
    }
};

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
    const RgnPoint right{quadrant::kArmRight, m_a[0]};
    const RgnPoint up{m_a[1], quadrant::kArmTop};
    const RgnPoint left{quadrant::kArmLeft, m_a[2]};
    const RgnPoint down{m_a[3], quadrant::kArmBottom};
    using namespace quadrant;
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
    const QuadrantClassifier classify(m_cx, m_cy, m_a);
    const uint32_t part = uint32_t(m_part);
    // The four part gates are evaluated one after another with the same
    // columns and parent: the first walk sorts every event into all four
    // parts and keeps them with part 0 for the other three. Columns of our
    // own (no cache, or the x parameter as y under another transform) are
    // never shared.
    CrQuadrant* master = m_master;
    const bool ownColumns = in.cache == nullptr || (m_yParam == m_xParam && in.yTrans != in.xTrans);
    if (master == nullptr || ownColumns)
        return FillHitsBlocks<1>(
            in, {&mask}, parentMask, [&](float x, float y) { return (classify.PartsOf(x, y) >> part) & 1u; },
            [&](const float* fx, const float* fy, uint32_t* bits) {
                uint32_t all[4];
                classify.PartsOfBlock(fx, fy, all);
                bits[0] = all[part];
            });
    // With the cache, preparing the columns only looks them up: do it once
    // here for what the shared results were computed from.
    const Columns c = PrepareColumns(in, mask, parentMask);
    if (!c.ok) {
        mask.Clear();
        return false;
    }
    const uint32_t n = c.count;
    auto key = std::make_unique<PartHits>();
    const float geo[6] = {m_cx, m_cy, m_a[0], m_a[1], m_a[2], m_a[3]};
    std::memcpy(key->geo, geo, sizeof geo);
    key->cache = in.cache;
    key->changes = in.cache->ChangeCount();
    key->fx = c.fx;
    key->fy = c.fy;
    key->count = n;
    key->hasParent = parentMask != nullptr;
    if (parentMask) key->parent.assign(parentMask->Words(), parentMask->Words() + ((size_t(n) + 31) >> 5));
    // A part already handed out is asked for again (its gate alone is
    // evaluated): the walk is made anew.
    if (!master->m_hits || !master->m_hits->Matches(*key) || master->m_hits->taken[part]) {
        for (EventBitMask& m : key->parts) m = EventBitMask(n);
        auto& p = key->parts;
        if (!FillHitsBlocks<4>(
                in, {&p[0], &p[1], &p[2], &p[3]}, parentMask, [&](float x, float y) { return classify.PartsOf(x, y); },
                [&](const float* fx, const float* fy, uint32_t* bits) { classify.PartsOfBlock(fx, fy, bits); })) {
            mask.Clear();
            return false;
        }
        master->m_hits = std::move(key);
    }
    mask.Clear();
    EventBitMask& mine = master->m_hits->parts[part];
    // Each part's result is handed over once: the part gates then hold the
    // four results, and the shared walk keeps no copy of its own.
    if (mine.GetBitCount() == mask.GetBitCount()) {
        mask.Swap(mine);
        mine = EventBitMask(0);
        master->m_hits->taken[part] = true;
        return true;
    }
    const uint32_t words = std::min(mask.GetWordCount(), mine.GetWordCount());
    std::copy(mine.Words(), mine.Words() + words, mask.Words());
    return true;
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
