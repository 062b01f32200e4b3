#include "report/plot/HistLayer.h"

#include <QPainter>
#include <QPen>
#include <QPolygon>

#include <algorithm>
#include <bit>
#include <cmath>

#include "base/Archive.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Trans.h"
#include "report/plot/BinLocator.h"
#include "report/plot/Plot.h"

namespace {

// Tops far outside the area are held here so that painting never meets
// coordinates near the integer limits.
constexpr int64_t kTopLimit = 1 << 20;

int32_t TopOf(int32_t h, double value, double k) {
    const double t = std::trunc(value * k);
    int64_t top = int64_t(h) - (std::fabs(t) < double(kTopLimit) ? int64_t(t) : (t > 0 ? kTopLimit : -kTopLimit));
    return int32_t(std::clamp<int64_t>(top, -kTopLimit, kTopLimit));
}

}  // namespace

CHistLayer::CHistLayer(CGateNode* gate, int32_t xPar, CPLOT* plot, bool ownsTransforms)
    : CLayer(plot, ownsTransforms), CGateUser(gate) {
    m_userKind = kUserHistLayer;
    m_xPar = xPar;
    m_color = kDefaultFill;
    if (!m_ownsTransforms) Recalculate();
}

CHistLayer::~CHistLayer() = default;

// ---- settings ----

void CHistLayer::SetMode(int32_t mode) {
    if (mode != kHistCounts && mode != kHistPerMille) return;
    m_mode = mode;
    Recalculate();
}

bool CHistLayer::SetBinCount(int32_t n) {
    if (n < 1 || n > kMaxBinCount) return false;
    m_binCount = n;
    return true;
}

bool CHistLayer::SetSmoothing(int32_t width) {
    if (width < 0 || width > kMaxSmoothing) return false;
    m_smoothing = width;
    return true;
}

bool CHistLayer::SetFixedMax(float max) {
    if (!std::isfinite(max) || !(max > 0.0f)) return false;
    m_fixedMax = max;
    return true;
}

void CHistLayer::SetOutline(int32_t width, COLORREF colour) {
    m_outlineWidth = std::clamp<int32_t>(width, 1, kMaxOutlineWidth);
    m_outlineColor = colour;
}

int32_t CHistLayer::GetYMax() const {
    double m;
    if (m_autoScale)
        m = m_mode == kHistPerMille ? double(m_perMilleMax) : double(m_countMax);
    else
        m = double(m_fixedMax);
    if (!(m >= 1.0)) return 1;  // also NaN
    if (m >= double(INT32_MAX)) return INT32_MAX;
    return int32_t(m);
}

// ---- counting ----

void CHistLayer::Recalculate() {
    const int32_t nBins = m_binCount;
    std::vector<int32_t>(size_t(nBins), 0).swap(m_bins);

    CGateNode* gate = GetGate();
    VexaDataShell* shell = gate ? gate->GetShell() : nullptr;
    CDataSet* ds = shell ? shell->GetDataSet() : nullptr;
    CEventMatrix* matrix = ds ? ds->GetEventMatrix() : nullptr;
    const float* xs = matrix ? matrix->GetColumn(m_xPar) : nullptr;
    const CTRANS* xt = GetXTrans();
    const int32_t total = shell ? shell->GetTotalEvents() : 0;

    std::vector<float> edges(size_t(nBins), 0.0f);
    if (xs && xt && xt->FillTable(edges.data(), nBins)) {
        const CBinLocator loc(edges.data(), nBins);
        const EventBitMask& mask = gate->GetMask();
        int64_t n = std::min<int64_t>(total, matrix->GetEventCount());
        n = std::min<int64_t>(n, mask.GetBitCount());
        if (n > 0) {
            const uint32_t* words = mask.Words();
            const size_t nWords = size_t((n + 31) / 32);
            const uint32_t lastBits = uint32_t(n - int64_t(nWords - 1) * 32);
            const uint32_t lastMask = lastBits >= 32 ? 0xFFFFFFFFu : ((1u << lastBits) - 1u);
            int32_t* bins = m_bins.data();
            for (size_t wi = 0; wi < nWords; ++wi) {
                uint32_t word = words[wi];
                if (wi + 1 == nWords) word &= lastMask;
                if (word == 0xFFFFFFFFu) {
                    const float* v = xs + wi * 32;
                    for (int k = 0; k < 32; ++k) {
                        const int32_t b = loc.Find(v[k]);
                        if (b >= 0) ++bins[b];
                    }
                    continue;
                }
                while (word) {
                    const size_t e = wi * 32 + size_t(std::countr_zero(word));
                    word &= word - 1;
                    // NaN has no bin and is not counted.
                    const int32_t b = loc.Find(xs[e]);
                    if (b >= 0) ++bins[b];
                }
            }
        }
    }

    if (m_mode == kHistCounts) {
        for (int32_t v : m_bins) m_countMax = std::max(m_countMax, v);
    } else if (total >= 1) {
        for (int32_t& v : m_bins) {
            v = int32_t(double(v) * 1000.0 / double(total));
            m_perMilleMax = std::max(m_perMilleMax, float(v));
        }
    }
    // The axis shows the same maximum the drawing scales to. A plot that
    // keeps this layer while it shows dots keeps its own Y axis.
    if (m_ownsTransforms || !m_plot || m_plot->IsHistogram())
        if (CTRANS* yt = GetYTrans()) yt->SetRange(0.0f, float(GetYMax()));
}

void CHistLayer::ReleaseData() {
    std::vector<int32_t>().swap(m_bins);
    m_active = false;
}

std::vector<int32_t> CHistLayer::Smooth() const {
    const int32_t n = int32_t(m_bins.size());
    std::vector<int32_t> out(size_t(n), 0);
    const int64_t m = m_smoothing;
    if (n == 0 || m < 1) return out;
    std::vector<int64_t> prefix(size_t(n) + 1, 0);
    for (int32_t i = 0; i < n; ++i) prefix[size_t(i) + 1] = prefix[size_t(i)] + m_bins[size_t(i)];
    const int64_t half = m / 2;
    for (int32_t i = 0; i < n; ++i) {
        const int64_t lo = std::max<int64_t>(0, i - half);
        const int64_t hi = std::min<int64_t>(n - 1, i + m - half - 1);
        const int64_t sum = hi >= lo ? prefix[size_t(hi) + 1] - prefix[size_t(lo)] : 0;
        out[size_t(i)] = int32_t(sum / m);
    }
    return out;
}

// ---- drawing ----

std::vector<int32_t> CHistLayer::ColumnTops(int32_t w, int32_t h) const {
    if (w <= 0) return {};
    std::vector<int32_t> top(size_t(w), h);
    const int64_t B = int64_t(m_bins.size());
    if (B == 0 || h <= 0) return top;
    const std::vector<int32_t> v = m_smoothing >= 2 ? Smooth() : m_bins;
    const double k = double(h) / double(GetYMax());
    if (B > w) {
        for (int64_t x = 0; x < w; ++x) top[size_t(x)] = TopOf(h, v[size_t(x * B / w)], k);
    } else if (B == w) {
        for (int64_t x = 0; x < w; ++x) top[size_t(x)] = TopOf(h, v[size_t(x)], k);
    } else {
        // Neighbouring bins are joined by straight slopes.
        for (int64_t j = 0; j + 1 < B; ++j) {
            const int64_t x0 = j * w / B;
            const int64_t x1 = (j + 1) * w / B;
            const int64_t d = x1 - x0;
            const int64_t slope = d ? (int64_t(v[size_t(j) + 1]) - v[size_t(j)]) / d : 0;
            for (int64_t t = 0; t <= d; ++t)
                top[size_t(x0 + t)] = TopOf(h, double(int64_t(v[size_t(j)]) + t * slope), k);
        }
        // The last bin holds its value to the right edge, so no column is
        // left without a height however wide the area is.
        const int64_t from = B > 1 ? (B - 1) * w / B + 1 : 0;
        for (int64_t x = from; x < w; ++x) top[size_t(x)] = TopOf(h, v[size_t(B) - 1], k);
    }
    return top;
}

void CHistLayer::DrawProfile(QImage& target, COLORREF fill, COLORREF outline) {
    const int32_t w = target.width(), h = target.height();
    if (!IsUsableArea(w, h)) return;
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32) return;
    const std::vector<int32_t> top = ColumnTops(w, h);
    if (fill != kColorNone) {
        // Each column from the bottom edge up to, not including, its top.
        const QRgb c = ColorRefToRgb(fill) | 0xFF000000u;
        for (int32_t x = 0; x < w; ++x) {
            for (int32_t y = std::max<int32_t>(top[size_t(x)] + 1, 0); y < h; ++y)
                reinterpret_cast<QRgb*>(target.scanLine(y))[x] = c;
        }
    }
    if (outline != kColorNone && w > 1) {
        QPolygon line(w);
        for (int32_t x = 0; x < w; ++x) line[x] = QPoint(x, top[size_t(x)]);
        QPainter p(&target);
        p.setRenderHint(QPainter::Antialiasing, false);
        QPen pen(QColor(ColorRefToRgb(outline)));
        pen.setWidth(std::max<int32_t>(m_outlineWidth, 1));
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.drawPolyline(line);
    }
}

void CHistLayer::Draw(QImage& area) {
    if (area.isNull()) return;
    if (m_bins.empty()) Recalculate();
    DrawProfile(area, m_color, m_outlineColor);
}

void CHistLayer::DrawMask(QImage& mask) {
    if (mask.isNull()) return;
    if (m_bins.empty()) Recalculate();
    DrawProfile(mask, m_color == kColorNone ? kColorNone : 0, m_outlineColor == kColorNone ? kColorNone : 0);
}

// ---- records ----

void CHistLayer::Load(CArchive& ar) {
    const bool autoScale = ar.ReadInt32() != 0;
    const float fixedMax = ar.ReadFloat();
    const int32_t bins = ar.ReadInt32();
    const int32_t smoothing = ar.ReadInt32();
    if (!std::isfinite(fixedMax))
        throw CArchiveException("histogram record: the fixed maximum is not a number");
    if (bins < 1 || bins > kMaxBinCount)
        throw CArchiveException("histogram record: bin count " + std::to_string(bins) + " is outside 1.." +
                                std::to_string(kMaxBinCount));
    if (smoothing < 0 || smoothing > kMaxSmoothing)
        throw CArchiveException("histogram record: smoothing width " + std::to_string(smoothing) +
                                " is outside 0.." + std::to_string(kMaxSmoothing));
    m_autoScale = autoScale;
    m_fixedMax = fixedMax;
    m_binCount = bins;
    m_smoothing = smoothing;
    std::vector<int32_t>().swap(m_bins);  // counted again on the new settings
}

void CHistLayer::Store(CArchive& ar) const {
    ar.WriteInt32(m_autoScale ? 1 : 0);
    ar.WriteFloat(m_fixedMax);
    ar.WriteInt32(m_binCount);
    ar.WriteInt32(m_smoothing);
}

// ---- cloning ----

std::unique_ptr<CLayer> CHistLayer::Clone(CPLOT* plot) {
    auto c = std::make_unique<CHistLayer>(GetGate(), m_xPar, plot, true);
    const CTRANS* x = GetXTrans();
    const CTRANS* y = GetYTrans();
    c->SetOwnTransforms(x ? x->Clone() : nullptr, y ? y->Clone() : nullptr);
    c->m_colorA = m_colorA;
    c->m_color = m_color;
    c->m_mode = m_mode;
    c->m_countMax = m_countMax;
    c->m_perMilleMax = m_perMilleMax;
    c->m_fixedMax = m_fixedMax;
    c->m_binCount = m_binCount;
    c->m_autoScale = m_autoScale;
    c->m_outlineWidth = m_outlineWidth;
    c->m_outlineColor = m_outlineColor;
    Recalculate();
    return c;
}

// ---- gate notices ----

void CHistLayer::DetachShell(bool remove, bool notify) {
    // Only the shell itself lets go of a user without being asked to remove
    // it: it is being destroyed.
    const bool shellGoing = !remove && GetShell() != nullptr;
    CGateUser::DetachShell(remove, notify);
    if (!shellGoing) return;
    std::vector<int32_t>().swap(m_bins);
    if (OwnsTransforms() && m_plot) m_plot->DestroyLayer(this);  // this layer is gone now
}

void CHistLayer::OnGateChanged() {
    // Counted again when next drawn or rebuilt (a plot rebuild drops the
    // bins and counts anyway): one count per change, not two.
    std::vector<int32_t>().swap(m_bins);
    if (m_plot) m_plot->MarkDirty();
}

void CHistLayer::OnGateRemoving(CGateNode* gate) {
    if (gate == nullptr || gate != GetGate()) return;
    if (m_plot && m_plot->DestroyLayer(this)) return;  // deleted by its plot
    DetachGate(true, false);
    std::vector<int32_t>().swap(m_bins);
}
