// The plot's record in the document file.
#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "base/Archive.h"
#include "base/Numbers.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/page/LumitraDoc.h"
#include "report/plot/Plot.h"

namespace {

// Bytes of a dot layer's record (shown, large dots), read and dropped when
// the layer cannot be made.
constexpr size_t kDotLayerRecordBytes = 8;

[[noreturn]] void Fail(const std::string& what) { throw CArchiveException("plot record: " + what); }

// The histogram's fill colour, outline colour and outline width have no
// field of their own in the record. They ride in the last reserved string,
// which every reader of the format keeps and none interprets, as
//   "HistStyle fill=<c> line=<c> width=<w>"
// with each colour as its signed 32-bit value (-1: none). Text that is not
// exactly this is someone else's and is kept as it is.
constexpr std::string_view kHistStyleTag = "HistStyle";

struct HistStyle {
    COLORREF fill = 0;
    COLORREF line = 0;
    int32_t width = 1;
};

// The keys in the order they are written.
constexpr struct {
    std::string_view key;
    bool colour;
} kHistStyleKeys[] = {{"fill", true}, {"line", true}, {"width", false}};

std::string HistStyleText(const CHistLayer& h) {
    const int32_t values[] = {int32_t(h.GetColor()), int32_t(h.GetOutlineColor()), h.GetOutlineWidth()};
    std::string text(kHistStyleTag);
    for (size_t i = 0; i < std::size(kHistStyleKeys); ++i)
        text += " " + std::string(kHistStyleKeys[i].key) + "=" + lm::FormatInt(values[i]);
    return text;
}

std::vector<std::string_view> Words(std::string_view text);

bool ParseHistStyle(std::string_view text, HistStyle* out) {
    const std::vector<std::string_view> words = Words(text);
    if (words.size() != 1 + std::size(kHistStyleKeys) || words[0] != kHistStyleTag) return false;
    int32_t values[std::size(kHistStyleKeys)] = {};
    for (size_t i = 0; i < std::size(kHistStyleKeys); ++i) {
        const std::string_view w = words[i + 1];
        const std::string_view key = kHistStyleKeys[i].key;
        if (w.size() <= key.size() || w.substr(0, key.size()) != key || w[key.size()] != '=') return false;
        if (!lm::TryParseInt(w.substr(key.size() + 1), &values[i])) return false;
    }
    if (values[2] < 1 || values[2] > CHistLayer::kMaxOutlineWidth) return false;
    *out = HistStyle{COLORREF(uint32_t(values[0])), COLORREF(uint32_t(values[1])), values[2]};
    return true;
}

// A new layer's style: nothing to carry, so records of plots that keep it
// stay as they always were.
bool IsDefaultHistStyle(const CHistLayer& h) {
    return h.GetColor() == CHistLayer::kDefaultFill && h.GetOutlineColor() == CHistLayer::kDefaultOutline &&
           h.GetOutlineWidth() == CHistLayer::kDefaultOutlineWidth;
}

// The reserved string the record carries for the histogram's style: the
// style when the slot is free (or already holds one), else the slot's text.
std::string HistStyleSlot(const CHistLayer* h, const std::string& reserved) {
    HistStyle unused;
    if (!h || !(reserved.empty() || ParseHistStyle(reserved, &unused))) return reserved;
    return IsDefaultHistStyle(*h) ? std::string() : HistStyleText(*h);
}

void ApplyHistStyle(CHistLayer* h, const HistStyle& style) {
    h->SetColor(style.fill);
    h->SetOutline(style.width, style.line);
}

// A region layer's colour ("Region Color") has no field either: its record
// is the label alone, and a reader could not skip more. The colours ride in
// the middle reserved string as
//   "RgnColor <k>=<c> <k>=<c> ..."
// with k the layer's place among the region layers of the record (rising)
// and c its colour as a signed 32-bit value; only layers whose colour is not
// a new layer's black are named. Other text is kept as it is, and then the
// colours are not kept.
constexpr std::string_view kRgnColorTag = "RgnColor";
constexpr COLORREF kNewRegionLayerColor = 0;

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    for (size_t at = 0; at <= text.size();) {
        const size_t end = std::min(text.find(' ', at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

bool ParseRgnColors(std::string_view text, size_t layerCount, std::vector<std::pair<size_t, COLORREF>>* out) {
    const std::vector<std::string_view> words = Words(text);
    if (words.size() < 2 || words[0] != kRgnColorTag) return false;
    std::vector<std::pair<size_t, COLORREF>> colours;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string_view w = words[i];
        const size_t eq = w.find('=');
        int32_t k = -1, c = 0;
        if (eq == std::string_view::npos || !lm::TryParseInt(w.substr(0, eq), &k) ||
            !lm::TryParseInt(w.substr(eq + 1), &c))
            return false;
        if (k < 0 || size_t(k) >= layerCount || (!colours.empty() && size_t(k) <= colours.back().first)) return false;
        if (COLORREF(uint32_t(c)) == kNewRegionLayerColor) return false;  // never written
        colours.emplace_back(size_t(k), COLORREF(uint32_t(c)));
    }
    *out = std::move(colours);
    return true;
}

// The reserved string the record carries for the region colours of `layers`
// (in record order): the colours when the slot is free (or already holds
// colours), else the slot's text.
std::string RgnColorSlot(const std::vector<std::pair<int32_t, const CLayer*>>& layers, const std::string& reserved) {
    std::vector<std::pair<size_t, COLORREF>> unused;
    if (!reserved.empty() && !ParseRgnColors(reserved, layers.size(), &unused)) return reserved;
    std::string text(kRgnColorTag);
    bool any = false;
    for (size_t k = 0; k < layers.size(); ++k) {
        const COLORREF c = layers[k].second->GetColor();
        if (c == kNewRegionLayerColor) continue;
        text += " " + lm::FormatInt(int32_t(k)) + "=" + lm::FormatInt(int32_t(c));
        any = true;
    }
    return any ? text : std::string();
}

void StoreLayerPresence(CArchive& ar, const CLayer* layer) {
    ar.WriteInt32(layer ? 1 : 0);
    if (layer) layer->Store(ar);
}

// Layer settings go from one layer to another through the layer's record.
void CopyLayerRecord(const CLayer* from, CLayer* to) {
    if (!from || !to) return;
    CArchive out;
    from->Store(out);
    CArchive in(out.Bytes());
    to->Load(in);
}

}  // namespace

void CPLOT::CopyRecordFrom(const CPLOT& source) {
    m_maxDotEvents = source.m_maxDotEvents;
    reservedA = source.reservedA;
    reservedB = source.reservedB;
    reservedC = source.reservedC;
    reservedD = source.reservedD;
    reservedE = source.reservedE;
    reservedF = source.reservedF;
    reservedG = source.reservedG;
    reservedH = source.reservedH;
    m_background = source.m_background;
    // The copy has no overlays to show.
    SetPlotType(source.m_flags & ~kPlotFlagOverlay);
    if (source.m_histLayer && !m_histLayer && m_gate)
        m_histLayer = std::make_unique<CHistLayer>(m_gate, m_xPar, this, false);
    CopyLayerRecord(source.m_histLayer.get(), m_histLayer.get());
    if (source.m_histLayer && m_histLayer)
        ApplyHistStyle(m_histLayer.get(), HistStyle{source.m_histLayer->GetColor(),
                                                    source.m_histLayer->GetOutlineColor(),
                                                    source.m_histLayer->GetOutlineWidth()});
    CopyLayerRecord(source.m_contourLayer.get(), m_contourLayer.get());
    CopyLayerRecord(source.m_densityLayer.get(), m_densityLayer.get());
    // Dot layers pair up by the index of their gate in each plot's shell.
    const VexaDataShell* srcShell = source.GetShell();
    if (srcShell && m_shell)
        for (const auto& l : m_dotLayers) {
            const int32_t i = m_shell->GetGateIndex(l->GetGate());
            for (const auto& s : source.m_dotLayers)
                if (i >= 0 && srcShell->GetGateIndex(s->GetGate()) == i) CopyLayerRecord(s.get(), l.get());
        }
    RebuildLayers(false);
}

void CPLOT::Store(CArchive& ar) const {
    CTrkObj::Store(ar);
    const int32_t shellIndex = (m_pDocument && m_shell) ? m_pDocument->GetDataShellIndex(m_shell) : -1;
    // A gate only counts when its shell is the one the record names.
    const int32_t gateIndex = shellIndex >= 0 ? m_shell->GetGateIndex(m_gate) : -1;
    ar.WriteInt32(shellIndex);
    ar.WriteInt32(gateIndex);
    ar.WriteInt32(m_xPar);
    ar.WriteInt32(m_yPar);
    ar.WriteInt32(m_maxDotEvents);
    ar.WriteInt32(reservedA);
    // Overlays are not kept: the plot reopens as a plain plot of its kinds.
    ar.WriteInt32(m_flags & ~kPlotFlagOverlay);
    ar.WriteInt32(m_zoomed ? 1 : 0);
    ar.WriteRect(m_savedRect);
    ar.WriteInt32(reservedB);
    ar.WriteUInt32(m_background);
    StoreLayerPresence(ar, m_histLayer.get());
    StoreLayerPresence(ar, m_contourLayer.get());
    StoreLayerPresence(ar, m_densityLayer.get());

    // Layers whose gate or region the record cannot name are left out: a
    // reader could not place them.
    std::vector<std::pair<int32_t, const CLayer*>> dots;
    if (gateIndex >= 0)
        for (const auto& l : m_dotLayers) {
            const int32_t i = m_shell->GetGateIndex(l->GetGate());
            if (i >= 0) dots.emplace_back(i, l.get());
        }
    ar.WriteInt32(int32_t(dots.size()));
    for (const auto& [i, l] : dots) {
        ar.WriteInt32(i);
        l->Store(ar);
    }
    std::vector<std::pair<int32_t, const CLayer*>> regions;
    if (gateIndex >= 0)
        for (const auto& l : m_regionLayers) {
            const int32_t i = m_shell->GetRegionIndex(l->GetRegion());
            if (i >= 0) regions.emplace_back(i, l.get());
        }
    ar.WriteInt32(int32_t(regions.size()));
    for (const auto& [i, l] : regions) {
        ar.WriteInt32(i);
        l->Store(ar);
    }
    std::vector<int32_t> shown;
    if (gateIndex >= 0)
        for (const CDataRgn* r : m_shownRegions) {
            const int32_t i = m_shell->GetRegionIndex(r);
            if (i >= 0) shown.push_back(i);
        }
    ar.WriteInt32(int32_t(shown.size()));
    for (int32_t i : shown) ar.WriteInt32(i);
    ar.WriteInt32(reservedC);
    ar.WriteInt32(reservedD);
    ar.WriteInt32(reservedE);
    ar.WriteString(reservedF);
    ar.WriteString(RgnColorSlot(regions, reservedG));
    ar.WriteString(HistStyleSlot(m_histLayer.get(), reservedH));
    ar.WriteInt32(0);
}

std::vector<uint8_t> CPLOT::RecordBytes() const {
    CArchive ar;
    Store(ar);
    return ar.Bytes();
}

void CPLOT::Load(CArchive& ar) {
    CTrkObj::Load(ar);
    const int32_t shellIndex = ar.ReadInt32();
    const int32_t gateIndex = ar.ReadInt32();
    m_xPar = ar.ReadInt32();
    m_yPar = ar.ReadInt32();
    m_maxDotEvents = std::max<int32_t>(ar.ReadInt32(), 0);
    reservedA = ar.ReadInt32();
    // A file may still carry the overlay bit without its overlays (they were
    // never stored): such a plot would stay locked as an overlay plot.
    m_flags = ar.ReadInt32() & ~kPlotFlagOverlay;

    // -1 names no data set (or no gate): a plot without a gate.
    VexaDataShell* shell = nullptr;
    if (shellIndex != -1) {
        shell = m_pDocument ? m_pDocument->GetDataShellAt(shellIndex) : nullptr;
        if (!shell) Fail("data set " + std::to_string(shellIndex) + " is not in the document");
    }
    CGateNode* gate = nullptr;
    if (gateIndex != -1) {
        if (!shell || gateIndex < 0 || gateIndex >= shell->GetGateCount())
            Fail("gate " + std::to_string(gateIndex) + " is not in its data set");
        gate = shell->GetGates()[size_t(gateIndex)];
    }
    if (gate) CGateUser::SetGate(gate, false);

    m_zoomed = ar.ReadInt32() != 0;
    m_savedRect = ar.ReadRect();
    reservedB = ar.ReadInt32();
    m_background = ar.ReadUInt32();

    if (ar.ReadInt32() != 0) {
        auto h = std::make_unique<CHistLayer>(m_gate, m_xPar, this, false);
        h->Load(ar);
        m_histLayer = std::move(h);
    }
    if (ar.ReadInt32() != 0) {
        if (!GetLayerMakers().contour) Fail("contour layers cannot be read here");
        m_contourLayer = GetLayerMakers().contour(m_gate, m_xPar, m_yPar, this);
        if (!m_contourLayer) Fail("contour layer could not be made");
        m_contourLayer->Load(ar);
    }
    if (ar.ReadInt32() != 0) {
        if (!GetLayerMakers().density) Fail("density layers cannot be read here");
        m_densityLayer = GetLayerMakers().density(m_gate, m_xPar, m_yPar, this);
        if (!m_densityLayer) Fail("density layer could not be made");
        m_densityLayer->Load(ar);
    }

    const size_t dotCount = ar.CheckCount(ar.ReadInt32(), 4 + kDotLayerRecordBytes);
    for (size_t k = 0; k < dotCount; ++k) {
        const int32_t i = ar.ReadInt32();
        CDotLayer* layer = nullptr;
        if (m_gate) {
            if (i < 0 || i >= m_shell->GetGateCount()) Fail("dot layer of gate " + std::to_string(i) + " names no gate");
            layer = AddDotLayerForGate(m_shell->GetGates()[size_t(i)], false);
        }
        if (layer) {
            layer->Load(ar);
        } else {
            // No gate to show it on, or one layer per gate already: the
            // record is read all the same so that the fields after it stay
            // in place.
            ar.Require(kDotLayerRecordBytes);
            uint8_t skip[kDotLayerRecordBytes];
            ar.ReadBytes(skip, sizeof skip);
        }
    }

    const size_t rgnCount = ar.CheckCount(ar.ReadInt32(), 4);
    for (size_t k = 0; k < rgnCount; ++k) {
        const int32_t i = ar.ReadInt32();
        CDataRgn* region = RegionOfShell(i);
        if (!region) Fail("region " + std::to_string(i) + " is not in the data set");
        std::unique_ptr<CLayer> layer = MakeLayerForRegion(region);
        if (!layer) Fail("region of type " + std::to_string(region->GetType()) + " has no layer");
        layer->Load(ar);
        AddRegionLayer(std::move(layer));
    }

    const size_t shownCount = ar.CheckCount(ar.ReadInt32(), 4);
    for (size_t k = 0; k < shownCount; ++k) {
        const int32_t i = ar.ReadInt32();
        CDataRgn* region = RegionOfShell(i);
        if (!region) Fail("shown region " + std::to_string(i) + " is not in the data set");
        m_shownRegions.push_back(region);
    }

    RebuildLayers(false);

    reservedC = ar.ReadInt32();
    reservedD = ar.ReadInt32();
    reservedE = ar.ReadInt32();
    reservedF = ar.ReadString();
    reservedG = ar.ReadString();
    reservedH = ar.ReadString();
    (void)ar.ReadInt32();
    std::vector<std::pair<size_t, COLORREF>> colours;
    if (ParseRgnColors(reservedG, m_regionLayers.size(), &colours)) {
        for (const auto& [k, c] : colours) m_regionLayers[k]->SetColor(c);
        reservedG.clear();  // the layers hold them now
    }
    HistStyle style;
    if (m_histLayer && ParseHistStyle(reservedH, &style)) {
        ApplyHistStyle(m_histLayer.get(), style);
        reservedH.clear();  // the layer holds it now
    }
}
