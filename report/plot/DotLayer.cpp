#include "report/plot/DotLayer.h"

#include <algorithm>
#include <bit>

#include "base/Archive.h"
#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Trans.h"
#include "report/plot/BinLocator.h"
#include "report/plot/Plot.h"

namespace {

// A locator over the transform's pixel table of n entries (the same values
// its own pixel table would hold), without touching the transform, which the
// plot and other layers share.
bool MakePixelLocator(const CTRANS* trans, int32_t n, CBinLocator* out) {
    if (trans == nullptr || n <= 0) return false;
    std::vector<float> table(size_t(n), 0.0f);
    if (!trans->FillTable(table.data(), n)) return false;
    out->Build(table.data(), n);
    return out->Size() == n;
}

}  // namespace

CDotLayer::CDotLayer(CGateNode* gate, int32_t xPar, int32_t yPar, int32_t maxEvents, CPLOT* plot,
                     bool shown, bool ownsTransforms)
    : CLayer(plot, ownsTransforms), CGateUser(gate) {
    Init(gate, xPar, yPar, maxEvents, shown);
}

CDotLayer::CDotLayer(CGateNode* plotGate, CGateNode* gate, int32_t xPar, int32_t yPar, int32_t maxEvents,
                     CPLOT* plot, bool shown, bool ownsTransforms)
    : CLayer(plot, ownsTransforms), CGateUser(gate) {
    PlotLogLine("#CDotLayer--New DotLayer");
    PlotLogLine(lm::FormatInt(shown ? 1 : 0));
    Init(plotGate, xPar, yPar, maxEvents, shown);
}

void CDotLayer::Init(CGateNode* plotGate, int32_t xPar, int32_t yPar, int32_t maxEvents, bool shown) {
    m_userKind = kUserDotLayer;
    m_plotGate = plotGate;
    m_xPar = xPar;
    m_yPar = yPar;
    m_maxEvents = std::max<int32_t>(maxEvents, 0);
    m_active = shown;
    if (!m_ownsTransforms && shown) {
        AllocBitmap();
        Recalculate();
    }
}

CDotLayer::~CDotLayer() = default;

// ---- bitmap ----

int32_t CDotLayer::BytesPerRowFor(int32_t w) {
    if (w <= 0) return 0;
    int32_t n = (w + 7) / 8;
    if (n % 2) ++n;
    return n;
}

void CDotLayer::FreeBitmap() {
    std::vector<uint8_t>().swap(m_bits);
    m_bmpWidth = m_bmpHeight = 0;
    m_bytesPerRow = 0;
}

void CDotLayer::AllocBitmap() {
    FreeBitmap();
    const CRect a = GetPlotArea();
    const int32_t w = a.Width(), h = a.Height();
    if (!IsUsableArea(w, h)) return;
    m_bytesPerRow = BytesPerRowFor(w);
    m_bits.assign(size_t(m_bytesPerRow) * size_t(h), 0xFF);
    m_bmpWidth = w;
    m_bmpHeight = h;
}

bool CDotLayer::IsDot(int32_t x, int32_t row) const {
    if (x < 0 || row < 0 || x >= m_bmpWidth || row >= m_bmpHeight) return false;
    const uint8_t byte = m_bits[size_t(row) * size_t(m_bytesPerRow) + size_t(x >> 3)];
    return (byte & (0x80u >> (x & 7))) == 0;
}

int32_t CDotLayer::CountDots() const {
    int32_t n = 0;
    for (int32_t row = 0; row < m_bmpHeight; ++row)
        for (int32_t x = 0; x < m_bmpWidth; ++x) n += IsDot(x, row) ? 1 : 0;
    return n;
}

// ---- computing ----

void CDotLayer::Recalculate() {
    const CRect a = GetPlotArea();
    const int32_t w = a.Width(), h = a.Height();
    if (!IsUsableArea(w, h)) {
        // Nothing to draw into: no bitmap, and nothing to do until the area
        // becomes usable again.
        FreeBitmap();
        m_recompute = false;
        return;
    }
    // A resized plot needs a bitmap of the new size.
    if (m_bits.empty() || m_bmpWidth != w || m_bmpHeight != h) AllocBitmap();
    std::fill(m_bits.begin(), m_bits.end(), uint8_t(0xFF));

    CGateNode* own = GetGate();
    CGateNode* plotGate = m_plotGate;
    if (plotGate == nullptr) return;
    VexaDataShell* shell = plotGate->GetShell();
    if (shell == nullptr) return;
    if (own != nullptr && own->GetShell() != shell) return;
    CDataSet* ds = shell->GetDataSet();
    CEventMatrix* matrix = ds ? ds->GetEventMatrix() : nullptr;
    if (matrix == nullptr) return;
    const float* xs = matrix->GetColumn(m_xPar);
    const float* ys = matrix->GetColumn(m_yPar);
    if (xs == nullptr || ys == nullptr) return;

    CBinLocator locX, locY;
    if (!MakePixelLocator(GetXTrans(), w, &locX) || !MakePixelLocator(GetYTrans(), h, &locY)) return;

    const EventBitMask& pm = plotGate->GetMask();
    const EventBitMask* om = (own != nullptr && own != plotGate) ? &own->GetMask() : nullptr;
    int64_t n = std::min<int64_t>(m_maxEvents, shell->GetTotalEvents());
    n = std::min<int64_t>(n, matrix->GetEventCount());
    n = std::min<int64_t>(n, pm.GetBitCount());
    if (om) n = std::min<int64_t>(n, om->GetBitCount());
    if (n <= 0) {
        m_recompute = false;
        return;
    }

    const uint32_t* pw = pm.Words();
    const uint32_t* ow = om ? om->Words() : nullptr;
    uint8_t* bits = m_bits.data();
    const size_t bpr = size_t(m_bytesPerRow);
    const size_t words = size_t((n + 31) / 32);
    const uint32_t lastBits = uint32_t(n - int64_t(words - 1) * 32);
    const uint32_t lastMask = lastBits >= 32 ? 0xFFFFFFFFu : ((1u << lastBits) - 1u);
    const bool large = m_largeDots;
    for (size_t wi = 0; wi < words; ++wi) {
        uint32_t word = pw[wi];
        if (ow) word &= ow[wi];
        if (wi + 1 == words) word &= lastMask;
        while (word) {
            const size_t e = wi * 32 + size_t(std::countr_zero(word));
            word &= word - 1;
            const int32_t x = locX.Find(xs[e]);
            const int32_t y = locY.Find(ys[e]);
            // A value without a bin (NaN) has no place in the area.
            if (x < 0 || y < 0 || x >= w || y >= h) continue;
            if (!large) {
                bits[size_t(h - 1 - y) * bpr + size_t(x >> 3)] &= uint8_t(~(0x80u >> (x & 7)));
                continue;
            }
            const int32_t xl = x < 1 ? x : x - 1;
            const int32_t xr = x >= w - 1 ? x : x + 1;
            const int32_t yl = y < 1 ? y : y - 1;
            const int32_t yr = y >= h - 1 ? y : y + 1;
            for (int32_t yy = yl; yy <= yr; ++yy) {
                uint8_t* row = bits + size_t(h - 1 - yy) * bpr;
                for (int32_t xx = xl; xx <= xr; ++xx) row[xx >> 3] &= uint8_t(~(0x80u >> (xx & 7)));
            }
        }
    }
    m_recompute = false;
}

void CDotLayer::Reset() {
    AllocBitmap();
    Recalculate();
}

void CDotLayer::SetActive(bool shown) {
    m_active = shown;
    if (!shown) {
        ReleaseData();
        return;
    }
    AllocBitmap();
    Recalculate();
}

void CDotLayer::ReleaseData() {
    FreeBitmap();
    m_recompute = true;
    m_active = false;
}

void CDotLayer::SetMaxEvents(int32_t n) {
    m_maxEvents = std::max<int32_t>(n, 0);
    Recalculate();
}

void CDotLayer::SetLargeDots(bool on) {
    m_largeDots = on;
    Recalculate();
}

// ---- drawing ----

void CDotLayer::Draw(QImage& area) {
    if (m_color == kColorNone || m_bits.empty() || area.isNull()) return;
    if (area.width() != m_bmpWidth || area.height() != m_bmpHeight) return;
    if (area.format() != QImage::Format_RGB32 && area.format() != QImage::Format_ARGB32) return;
    const QRgb c = ColorRefToRgb(m_color) | 0xFF000000u;
    for (int32_t row = 0; row < m_bmpHeight; ++row) {
        const uint8_t* src = m_bits.data() + size_t(row) * size_t(m_bytesPerRow);
        QRgb* dst = reinterpret_cast<QRgb*>(area.scanLine(row));
        for (int32_t bx = 0; bx * 8 < m_bmpWidth; ++bx) {
            const uint8_t byte = src[bx];
            if (byte == 0xFF) continue;
            const int32_t end = std::min<int32_t>(8, m_bmpWidth - bx * 8);
            for (int32_t k = 0; k < end; ++k)
                if (!(byte & (0x80u >> k))) dst[bx * 8 + k] = c;
        }
    }
}

void CDotLayer::DrawMask(QImage& mask) {
    if (m_bits.empty() || mask.isNull()) return;
    if (mask.width() != m_bmpWidth || mask.height() != m_bmpHeight) return;
    const COLORREF saved = m_color;
    m_color = 0;  // black marks
    Draw(mask);
    m_color = saved;
}

// ---- records ----

void CDotLayer::Load(CArchive& ar) {
    m_active = ar.ReadInt32() != 0;
    m_largeDots = ar.ReadInt32() != 0;
}

void CDotLayer::Store(CArchive& ar) const {
    ar.WriteInt32(m_active ? 1 : 0);
    ar.WriteInt32(m_largeDots ? 1 : 0);
}

// ---- cloning ----

std::unique_ptr<CLayer> CDotLayer::Clone(CPLOT* plot) {
    CGateNode* gate = m_plotGate;
    auto c = std::make_unique<CDotLayer>(gate, m_xPar, m_yPar, m_maxEvents, plot, true, true);
    const CTRANS* x = GetXTrans();
    const CTRANS* y = GetYTrans();
    c->SetOwnTransforms(x ? x->Clone() : nullptr, y ? y->Clone() : nullptr);
    c->m_colorA = m_colorA;
    c->m_color = gate ? gate->GetColor() : m_color;
    c->m_largeDots = m_largeDots;
    return c;
}

// ---- gate notices ----

void CDotLayer::DetachShell(bool remove, bool notify) {
    // Only the shell itself lets go of a user without being asked to remove
    // it: it is being destroyed.
    const bool shellGoing = !remove && GetShell() != nullptr;
    CGateUser::DetachShell(remove, notify);
    if (!shellGoing) return;
    m_plotGate = nullptr;
    FreeBitmap();
    m_recompute = true;
    if (OwnsTransforms() && m_plot) m_plot->DestroyLayer(this);  // this layer is gone now
}

void CDotLayer::OnGateChanged() {
    m_recompute = true;
    if (m_plot) m_plot->MarkDirty();
}

void CDotLayer::OnGateColorChanged(COLORREF colour) {
    m_color = colour;
    if (!m_plot) return;
    CPLOT* plot = m_plot;
    plot->NotifyLayersOfGate(GetGate());
    plot->OnGateChanged();
}

void CDotLayer::OnGateRemoving(CGateNode* gate) {
    if (gate == nullptr || (gate != GetGate() && gate != m_plotGate)) return;
    if (m_plot && m_plot->DestroyLayer(this)) return;  // this layer is gone now
    // Not owned by a plot that could drop it: let go of both gates.
    m_plotGate = nullptr;
    DetachGate(true, false);
    FreeBitmap();
    m_recompute = true;
}
