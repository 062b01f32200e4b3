#include "report/plot/Plot.h"

#include <algorithm>

#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/Codepage.h"
#include "base/Text.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "platform/PaintHelpers.h"
#include "report/app/DocPanel.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/app/MainFrame.h"

namespace {

PlotLayerMakers& Makers() {
    static PlotLayerMakers makers;
    return makers;
}

std::unique_ptr<CTRANS> MakeTransOfKind(int32_t kind, float min, float max) {
    if (kind == kTransLinear && CTRANS::IsValidRange(min, max)) return std::make_unique<CTRANS>(min, max);
    if (kind == kTransLog && CLogTRANS::IsValidRange(min, max)) return std::make_unique<CLogTRANS>(min, max);
    return nullptr;
}

LOGFONT PlotFont() {
    LOGFONT lf;
    lf.lfHeight = kPlotFontHeight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfFaceName = "Times New Roman";
    return lf;
}

}  // namespace

void PlotLogLine(std::string_view line) {
    if (CLumitraApp* app = GetLumitraApp()) app->GetLog().Write(line);
}

void CPLOT::SetLayerMakers(const PlotLayerMakers& makers) { Makers() = makers; }

const PlotLayerMakers& CPLOT::GetLayerMakers() { return Makers(); }

// ============================================================ construction

CRect CPLOT::ApplySizeRule(const CRect& rect) {
    CRect r = rect;
    r.NormalizeRect();
    const int64_t w = int64_t(r.right) - r.left;
    const int64_t h = int64_t(r.bottom) - r.top;
    if (w < kPlotTinySide && h < kPlotTinySide) {
        r.right = r.left + kPlotDefaultSide;
        r.bottom = r.top + kPlotDefaultSide;
        return r;
    }
    if (w < kPlotMinSide) r.right = r.left + kPlotMinSide;
    if (h < kPlotMinSide) r.bottom = r.top + kPlotMinSide;
    return r;
}

CPLOT::CPLOT(int32_t x, int32_t y, CLumitraDoc* doc) : CGateUser(), CTrkObj(GetPlotDefaults().UsedRectAt(x, y), doc) {
    InitDefaults();
    m_xPar = 0;
    m_yPar = 1;
    RebuildLayers(true);
}

CPLOT::CPLOT(int32_t x, int32_t y, CGateNode* gate, CLumitraDoc* doc, int32_t xPar, int32_t yPar)
    : CGateUser(gate), CTrkObj(GetPlotDefaults().UsedRectAt(x, y), doc) {
    InitDefaults();
    InitForGate(gate, xPar, yPar);
    LogNewNodePlot();
    RebuildLayers(true);
}

CPLOT::CPLOT(const CRect& rect, VexaDataShell* other, const CPLOT& source)
    : CGateUser(), CTrkObj(rect, source.GetDocument()) {
    InitDefaults();
    CopyFrom(source, other);
    PlotLogLine("*New Plot from Plot");
    RebuildLayers(true);
}

CPLOT::CPLOT(const CRect& rect, const CPLOT& source) : CGateUser(), CTrkObj(rect, source.GetDocument()) {
    InitDefaults();
    CopyFrom(source, source.GetShell());
    PlotLogLine("*New Plot from Plot");
    RebuildLayers(true);
}

CPLOT::CPLOT(const CRect& rect, CGateNode* gate, CLumitraDoc* doc, int32_t xPar, int32_t yPar)
    : CGateUser(gate), CTrkObj(ApplySizeRule(rect), doc) {
    InitDefaults();
    InitForGate(gate, xPar, yPar);
    RebuildLayers(true);
}

CPLOT::CPLOT(const CRect& rect, CLumitraDoc* doc, int32_t xPar, int32_t yPar)
    : CGateUser(), CTrkObj(ApplySizeRule(rect), doc) {
    InitDefaults();
    m_xPar = xPar;
    m_yPar = yPar;
    RebuildLayers(true);
}

CPLOT::CPLOT(CLumitraDoc* doc) : CGateUser(), CTrkObj(doc) { InitDefaults(); }

void CPLOT::InitDefaults() {
    const PlotDefaults& d = GetPlotDefaults();
    m_type = kObjPlot;
    m_userKind = kUserPlot;
    m_flags = d.UsedStyle();
    m_xTrans.reset();
    m_yTrans.reset();
    m_selectedRgn = m_editedRgn = m_pressedRgn = nullptr;
    reservedA = kPlotReservedA;
    m_maxDotEvents = d.UsedDotEvents();
    m_zoomed = false;
    m_font = PlotFont();
    m_background = 0xFFFFFF;
}

void CPLOT::FixParams(int32_t xPar, int32_t yPar) {
    m_xPar = xPar;
    m_yPar = yPar;
    const CDataSet* ds = GetDataSet();
    if (!ds) return;
    const int32_t n = ds->GetParamCount();
    if (xPar < 0 || yPar < 0 || xPar >= n || yPar >= n) {
        m_xPar = 0;
        m_yPar = 1;
    }
}

void CPLOT::InitForGate(CGateNode* gate, int32_t xPar, int32_t yPar) {
    FixParams(xPar, yPar);
    if (!gate || !m_shell) return;
    for (CGateNode* g : m_shell->GetGates()) AddDotLayer(g, g->GetColor(), g == gate);
}

void CPLOT::LogNewNodePlot() {
    PlotLogLine("#CPLOT--New Node Plot");
    PlotLogLine("***Initial Dot Plot");
    PlotLogLine(lm::FormatInt(m_xPar));
    PlotLogLine(lm::FormatInt(int64_t(m_dotLayers.size())));
    for (const auto& l : m_dotLayers) PlotLogLine(lm::FormatInt(l->IsActive() ? 1 : 0));
}

void CPLOT::CopyFrom(const CPLOT& source, VexaDataShell* shell) {
    const VexaDataShell* srcShell = source.GetShell();
    const int32_t gateIndex = source.GetGateIndex();
    CGateNode* gate = nullptr;
    if (shell && gateIndex >= 0 && gateIndex < shell->GetGateCount()) gate = shell->GetGates()[size_t(gateIndex)];
    if (gate) SetGate(gate, false);
    m_xPar = source.m_xPar;
    m_yPar = source.m_yPar;
    m_maxDotEvents = source.m_maxDotEvents;
    reservedA = source.reservedA;
    if (!gate || !srcShell) return;
    for (const auto& l : source.m_dotLayers) {
        const int32_t i = srcShell->GetGateIndex(l->GetGate());
        if (i >= 0 && i < shell->GetGateCount()) AddDotLayerForGate(shell->GetGates()[size_t(i)], l->IsActive());
    }
    for (CDataRgn* r : source.m_shownRegions) {
        if (CDataRgn* mine = shell->GetRegion(srcShell->GetRegionIndex(r))) ShowRegion(mine);
    }
}

CPLOT::~CPLOT() {
    m_selectedRgn = m_editedRgn = m_pressedRgn = nullptr;
    m_dotLayers.clear();
    m_regionLayers.clear();
    m_xTrans.reset();
    m_yTrans.reset();
    m_histLayer.reset();
    m_contourLayer.reset();
    m_densityLayer.reset();
    // Overlays own their transforms and would call back into this plot.
    for (auto& o : m_overlays)
        if (o) o->SetNotifyOwner(false);
    m_overlays.clear();
    m_overlayVisible.clear();
    m_shownRegions.clear();
}

// ================================================================ geometry

CRect CPLOT::GetPlotArea() const {
    CRect a = GetInnerRect();
    a.DeflateRect(kPlotAreaMarginLeft, kPlotAreaMarginTop, kPlotAreaMarginRight, kPlotAreaMarginBottom);
    return a;
}

CRect CPLOT::GetTitleRect() const {
    const CRect i = GetInnerRect();
    return CRect(i.left, i.top, i.right, i.top + kPlotTitleBandHeight);
}

CRect CPLOT::GetXTitleRect() const {
    const CRect i = GetInnerRect();
    const CRect a = GetPlotArea();
    return CRect(a.left, i.bottom - kPlotXTitleBandHeight, a.right, i.bottom);
}

CRect CPLOT::GetYTitleRect() const {
    const CRect i = GetInnerRect();
    const CRect a = GetPlotArea();
    return CRect(m_rect.left + kPlotYTitleBandInset, a.top, i.left + kPlotYTitleBandWidth, a.bottom);
}

double CPLOT::PixelToFractionX(int32_t px) const {
    const int32_t w = GetPlotAreaWidth();
    return w > 0 ? double(px) / double(w) : 0.0;
}

double CPLOT::PixelToFractionY(int32_t py) const {
    const int32_t h = GetPlotAreaHeight();
    return h > 0 ? double(py) / double(h) : 0.0;
}

CPoint CPLOT::PageToPlotArea(CPoint page) const {
    const CRect a = GetPlotArea();
    return CPoint(page.x - a.left, a.bottom - page.y);
}

bool CPLOT::AreaChanged() const {
    const CRect a = GetPlotArea();
    return a.Width() != m_builtArea.cx || a.Height() != m_builtArea.cy;
}

// =========================================================== data, titles

CDataSet* CPLOT::GetDataSet() const { return m_shell ? m_shell->GetDataSet() : nullptr; }

CGateNode* CPLOT::GateOfShell(int32_t index) const {
    if (!m_shell || index < 0 || index >= m_shell->GetGateCount()) return nullptr;
    return m_shell->GetGates()[size_t(index)];
}

CDataRgn* CPLOT::RegionOfShell(int32_t index) const { return m_shell ? m_shell->GetRegion(index) : nullptr; }

int32_t CPLOT::GetGateIndex() const { return m_shell ? m_shell->GetGateIndex(m_gate) : -1; }

CGateNode* CPLOT::GetShellGate(int32_t i) const { return GateOfShell(i); }

std::unique_ptr<CTRANS> CPLOT::ShellTransClone(int32_t param) const {
    if (!m_shell || param < 0 || param >= m_shell->GetParamCount()) return nullptr;
    const CTRANS* t = m_shell->GetTrans(param);
    return t ? t->Clone() : nullptr;
}

void CPLOT::CloneXTrans() { m_xTrans = ShellTransClone(m_xPar); }

void CPLOT::CloneYTrans() { m_yTrans = ShellTransClone(m_yPar); }

CTRANS* CPLOT::GetXTrans() {
    if (!m_xTrans) CloneXTrans();
    return m_xTrans.get();
}

CTRANS* CPLOT::GetYTrans() {
    if (!m_yTrans) CloneYTrans();
    return m_yTrans.get();
}

bool CPLOT::SetXTransKind(int32_t kind, float min, float max) {
    auto t = MakeTransOfKind(kind, min, max);
    if (!t) return false;
    m_xTrans = std::move(t);
    return true;
}

bool CPLOT::SetYTransKind(int32_t kind, float min, float max) {
    auto t = MakeTransOfKind(kind, min, max);
    if (!t) return false;
    m_yTrans = std::move(t);
    return true;
}

std::string CPLOT::GetParamLabel(int32_t index, int32_t mode) const {
    const CDataSet* ds = GetDataSet();
    const CParam* p = ds ? ds->GetParam(index) : nullptr;
    if (!p) return std::string();
    // Keyword bytes as every panel shows them (UTF-8, else code page 936).
    const std::string n = lm::BytesToUtf8OrCp936(p->name);
    const std::string s = lm::BytesToUtf8OrCp936(p->shortName);
    if (mode == kLabelName) {
        const std::string t(lm::Trim(n));
        return t.empty() ? s : t;
    }
    if (mode == kLabelShortName) {
        const std::string t(lm::Trim(s));
        return t.empty() ? n : t;
    }
    return n + " " + s;
}

std::string CPLOT::GetXAxisTitle(int32_t mode) const {
    const CDataSet* ds = GetDataSet();
    if (ds && m_xPar >= 0 && m_xPar < ds->GetParamCount()) return GetParamLabel(m_xPar, mode);
    return "X Par Err";
}

std::string CPLOT::GetYAxisTitle(int32_t mode) const {
    if (IsHistogram()) return "Count";
    const CDataSet* ds = GetDataSet();
    if (ds && m_yPar >= 0 && m_yPar < ds->GetParamCount()) return GetParamLabel(m_yPar, mode);
    return "Y Par Err";
}

std::string CPLOT::GetDataName(int32_t mode) const {
    if (!m_shell) return std::string();
    if (mode == 1) return m_shell->GetName();
    const CDataSet* ds = GetDataSet();
    if (!ds) return std::string();
    return lm::FileNameOf(ds->GetPathName());
}

QFont CPLOT::CreatePlotFont() const { return lm::ToQFont(m_font); }

// ============================================================= dot layers

CDotLayer* CPLOT::FindDotLayer(const CGateNode* gate) const {
    for (const auto& l : m_dotLayers)
        if (l->HasGate(gate)) return l.get();
    return nullptr;
}

CDotLayer* CPLOT::AddDotLayer(CGateNode* gate, COLORREF colour, bool shown) {
    if (!gate || !m_gate || FindDotLayer(gate)) return nullptr;
    // A gate of another shell would be restricted by a mask of other events.
    if (gate->GetShell() != m_gate->GetShell()) return nullptr;
    std::unique_ptr<CDotLayer> layer;
    if (gate == m_gate)
        layer = std::make_unique<CDotLayer>(gate, m_xPar, m_yPar, m_maxDotEvents, this, shown, false);
    else
        layer = std::make_unique<CDotLayer>(m_gate, gate, m_xPar, m_yPar, m_maxDotEvents, this, shown, false);
    layer->SetColor(colour);
    m_dotLayers.push_back(std::move(layer));
    return m_dotLayers.back().get();
}

CDotLayer* CPLOT::AddDotLayerForGate(CGateNode* gate, bool shown) {
    return gate ? AddDotLayer(gate, gate->GetColor(), shown) : nullptr;
}

void CPLOT::SyncDotLayers() {
    if (!m_shell) return;
    const std::vector<CGateNode*> gates = m_shell->GetGates();
    for (CGateNode* g : gates) {
        bool found = false;
        for (const auto& l : m_dotLayers) {
            if (!l->HasGate(g)) continue;
            found = true;
            // Hidden layers are not drawn: they compute when shown again.
            if (l->IsActive()) {
                l->AllocBitmap();
                l->Recalculate();
            } else {
                l->ReleaseData();
            }
        }
        if (!found) AddDotLayer(g, g->GetColor(), true);
    }
}

void CPLOT::NotifyLayersOfGate(CGateNode* gate) {
    for (const auto& l : m_dotLayers)
        if (l->HasGate(gate)) l->SetActive(true);
}

void CPLOT::ShowDotLayersOfGate(int32_t i) {
    if (CDotLayer* l = FindDotLayer(GateOfShell(i))) l->SetActive(true);
    Repaint();
}

void CPLOT::HideDotLayer(int32_t i) {
    if (i >= 0 && size_t(i) < m_dotLayers.size()) m_dotLayers[size_t(i)]->SetActive(false);
    Repaint();
}

void CPLOT::DeleteHistLayer() { m_histLayer.reset(); }
void CPLOT::DeleteDensityLayer() { m_densityLayer.reset(); }
void CPLOT::DeleteContourLayer() { m_contourLayer.reset(); }
void CPLOT::DeleteDotLayers() { m_dotLayers.clear(); }

bool CPLOT::DestroyLayer(CLayer* layer) {
    if (!layer) return false;
    if (layer == m_histLayer.get()) {
        m_histLayer.reset();
        m_dirty = true;
        return true;
    }
    if (layer == m_densityLayer.get()) {
        m_densityLayer.reset();
        m_dirty = true;
        return true;
    }
    if (layer == m_contourLayer.get()) {
        m_contourLayer.reset();
        m_dirty = true;
        return true;
    }
    for (size_t i = 0; i < m_dotLayers.size(); ++i) {
        if (static_cast<CLayer*>(m_dotLayers[i].get()) != layer) continue;
        m_dotLayers.erase(m_dotLayers.begin() + ptrdiff_t(i));
        m_dirty = true;
        return true;
    }
    for (size_t i = 0; i < m_overlays.size(); ++i) {
        if (m_overlays[i].get() != layer) continue;
        DeleteOverlay(int32_t(i));
        return true;
    }
    return false;
}

// ================================================================ regions

CLayer* CPLOT::AddRegionLayer(std::unique_ptr<CLayer> layer) {
    if (!layer) return nullptr;
    m_regionLayers.push_back(std::move(layer));
    return m_regionLayers.back().get();
}

void CPLOT::ShowRegion(CDataRgn* region) {
    m_selectedRgn = nullptr;
    if (!region || !m_shell) return;
    if (std::find(m_shownRegions.begin(), m_shownRegions.end(), region) != m_shownRegions.end()) return;
    CGateNode* owner = region->GetOwner();
    if (!owner || m_shell->GetGateIndex(owner) < 0) return;
    if (auto layer = MakeLayerForRegion(region)) AddRegionLayer(std::move(layer));
    m_shownRegions.push_back(region);
    Repaint();
}

void CPLOT::SelectRegionLayer(int32_t i) {
    if (m_selectedRgn) m_selectedRgn->SetSelected(false);
    if (i >= 0 && size_t(i) < m_regionLayers.size()) {
        m_selectedRgn = m_regionLayers[size_t(i)].get();
        m_selectedRgn->SetSelected(true);
    } else if (i == -1) {
        m_selectedRgn = nullptr;
        m_editedRgn = nullptr;
    }
}

void CPLOT::EndEdit(int32_t) {
    if (m_selectedRgn) SelectRegionLayer(-1);
}

void CPLOT::OnDeactivate() {
    // A shape still being drawn has no region and would stay behind, editing
    // nothing, once its selection is gone.
    if (m_selectedRgn && !m_selectedRgn->GetRegion() && m_selectedRgn == m_editedRgn)
        RemoveRegionLayer(m_selectedRgn);
    if (m_selectedRgn) SelectRegionLayer(-1);
}

// =============================================================== overlays

CLayer* CPLOT::AddOverlayLayer(CLayer& layer) {
    std::unique_ptr<CLayer> clone = layer.Clone(this);
    if (!clone) return nullptr;
    m_flags |= kPlotFlagOverlay;
    m_overlays.push_back(std::move(clone));
    m_overlayVisible.push_back(1);
    m_overlays.back()->Reset();
    return m_overlays.back().get();
}

void CPLOT::RemoveOverlayLayer(CLayer* layer) {
    for (size_t i = 0; i < m_overlays.size(); ++i) {
        if (m_overlays[i].get() != layer) continue;
        // The layer is being destroyed by someone else: only unlink it.
        (void)m_overlays[i].release();
        m_overlays.erase(m_overlays.begin() + ptrdiff_t(i));
        if (i < m_overlayVisible.size()) m_overlayVisible.erase(m_overlayVisible.begin() + ptrdiff_t(i));
        if (m_overlays.empty()) LeaveOverlayKind();
        Repaint();
        return;
    }
}

void CPLOT::DeleteOverlay(int32_t i) {
    if (i < 0 || size_t(i) >= m_overlays.size()) return;
    m_overlays[size_t(i)]->SetNotifyOwner(false);
    m_overlays.erase(m_overlays.begin() + i);
    if (size_t(i) < m_overlayVisible.size()) m_overlayVisible.erase(m_overlayVisible.begin() + i);
    if (m_overlays.empty()) LeaveOverlayKind();
    Repaint();
}

void CPLOT::LeaveOverlayKind() {
    m_flags &= ~kPlotFlagOverlay;
    // The kind boxes and region tools an overlay locked are free again.
    RefreshPropertyPanel();
}

void CPLOT::SetOverlayVisible(int32_t i, bool visible) {
    if (i < 0 || size_t(i) >= m_overlays.size()) return;
    if (m_overlayVisible.size() < m_overlays.size()) m_overlayVisible.resize(m_overlays.size(), 1);
    m_overlayVisible[size_t(i)] = visible ? 1 : 0;
}

bool CPLOT::MoveDotLayer(int32_t from, int32_t to) {
    const int32_t n = int32_t(m_dotLayers.size());
    if (from < 0 || from >= n || to < 0 || to >= n) return false;
    if (from == to) return true;
    std::unique_ptr<CDotLayer> moved = std::move(m_dotLayers[size_t(from)]);
    m_dotLayers.erase(m_dotLayers.begin() + from);
    m_dotLayers.insert(m_dotLayers.begin() + to, std::move(moved));
    MarkDirty();
    return true;
}

// ================================================================ building

void CPLOT::RebuildLayers(bool notify) {
    if (m_densityLayer) m_densityLayer->ReleaseData();
    if (m_contourLayer) m_contourLayer->ReleaseData();
    if (m_histLayer) m_histLayer->ReleaseData();
    m_state = kPlotReady;
    const CRect area = GetPlotArea();
    m_builtArea = area.Size();
    if (!m_gate) return;
    const CDataSet* ds = GetDataSet();
    // A data set without events (a report whose FCS file is missing, a
    // template) has parameters but no data.
    if (!ds || !ds->GetEventMatrix()) {
        m_state = kPlotNoData;
        return;
    }
    const int32_t n = ds->GetParamCount();
    if (m_xPar < 0 || m_yPar < 0 || m_xPar >= n || m_yPar >= n) {
        m_state = kPlotParError;
        return;
    }
    if (!IsHistogram()) {
        if (m_flags & kPlotFlagDots) SyncDotLayers();
        if (m_flags & kPlotFlagDensity) {
            if (!m_densityLayer && Makers().density)
                m_densityLayer = Makers().density(m_gate, m_xPar, m_yPar, this);
            else if (m_densityLayer)
                m_densityLayer->Recalculate();
        }
        if (m_flags & kPlotFlagContour) {
            if (!m_contourLayer && Makers().contour)
                m_contourLayer = Makers().contour(m_gate, m_xPar, m_yPar, this);
            else if (m_contourLayer)
                m_contourLayer->Recalculate();
        }
    } else {
        // Counts go up the Y axis, whatever the Y parameter's transform.
        m_yTrans = std::make_unique<CTRANS>(0.0f, kHistogramYAxisMax);
        if (!m_histLayer)
            m_histLayer = std::make_unique<CHistLayer>(m_gate, m_xPar, this, false);
        else
            m_histLayer->Recalculate();
    }
    // Gate and region edits rebuild every plot below them, and those plots
    // must not take the panel from the plot the user works on.
    if (notify) RefreshPropertyPanel();
    m_dirty = false;
}

void CPLOT::RecalcLayers(bool force, bool repaint) {
    if (m_dirty && force) {
        if (m_histLayer) m_histLayer->Recalculate();
        if (m_contourLayer) m_contourLayer->Recalculate();
        if (m_densityLayer) m_densityLayer->Recalculate();
        for (const auto& l : m_dotLayers) {
            l->SetNeedsRecompute();
            if (l->IsActive()) l->Recalculate();
        }
        m_builtArea = GetPlotArea().Size();
        m_dirty = false;
    }
    if (repaint) Repaint();
}

CLumitraDoc* CPLOT::ListingDocument() const {
    return (m_pDocument && m_pDocument->GetObjectIndex(this) >= 0) ? m_pDocument : nullptr;
}

void CPLOT::MarkModified() {
    if (CLumitraDoc* doc = ListingDocument()) doc->SetModifiedFlag(true);
}

void CPLOT::RefreshPropertyPanel() {
    CDocPanel* panel = GetPropertyPanel();
    if (panel && panel->GetBoundObject() == this) panel->BindObject(this);
}

void CPLOT::InvalidateInDocument() {
    if (CLumitraDoc* doc = ListingDocument()) doc->InvalidateObject(this);
}

void CPLOT::MarkDirty() {
    m_dirty = true;
    InvalidateInDocument();
}

void CPLOT::Repaint() {
    CLumitraDoc* doc = ListingDocument();
    if (!doc) return;
    doc->InvalidateObject(this);
    doc->RedrawDirty();
}

void CPLOT::SetPlotType(int32_t flags) {
    if (((m_flags | flags) & kPlotFlagHistogram) && m_yTrans) {
        SelectRegionLayer(-1);
        m_yTrans.reset();  // cloned again on next use
    }
    m_flags = flags;
    RebuildLayers(false);
}

void CPLOT::SetFlags(int32_t flags) {
    if (flags == m_flags) return;
    m_flags = flags;
    RebuildLayers(true);
}

// ================================================================ notices

void CPLOT::OnGatesChanged() {
    if ((m_flags & kPlotFlagDots) && m_shell && m_gate) {
        const std::vector<CGateNode*> gates = m_shell->GetGates();
        for (CGateNode* g : gates)
            if (!FindDotLayer(g)) AddDotLayerForGate(g, true);
    }
    if (CDocPanel* panel = GetPropertyPanel()) panel->Refresh();
    MarkDirty();
}

void CPLOT::LetGoOfGate() {
    m_selectedRgn = m_editedRgn = m_pressedRgn = nullptr;
    m_dotLayers.clear();
    m_regionLayers.clear();
    m_shownRegions.clear();
    m_histLayer.reset();
    m_densityLayer.reset();
    m_contourLayer.reset();
    m_xTrans.reset();
    m_yTrans.reset();
    CGateUser::DetachGate(true, false);
    m_state = kPlotReady;
    m_dirty = true;
}

void CPLOT::OnGateRemoving(CGateNode* gate) {
    if (!gate) return;
    if (gate == m_gate) {
        CLumitraDoc* doc = m_pDocument;
        if (doc && doc->GetObjectIndex(this) >= 0) {
            doc->RemoveObject(this, false);  // deletes this plot
            return;
        }
        // Nobody to remove the plot: it stays, without its gate.
        LetGoOfGate();
        InvalidateInDocument();
        return;
    }
    m_dotLayers.erase(std::remove_if(m_dotLayers.begin(), m_dotLayers.end(),
                                     [gate](const std::unique_ptr<CDotLayer>& l) { return l->HasGate(gate); }),
                      m_dotLayers.end());
    if (CDataRgn* region = gate->GetRegion()) {
        SelectRegionLayer(-1);
        m_pressedRgn = nullptr;
        m_regionLayers.erase(std::remove_if(m_regionLayers.begin(), m_regionLayers.end(),
                                            [region](const std::unique_ptr<CLayer>& l) {
                                                return l->GetRegion() == region;
                                            }),
                             m_regionLayers.end());
        m_shownRegions.erase(std::remove(m_shownRegions.begin(), m_shownRegions.end(), region),
                             m_shownRegions.end());
    }
    m_dirty = true;
}

void CPLOT::OnGateRenamed() { Repaint(); }

void CPLOT::OnDataChanged() {
    m_dirty = true;
    for (const auto& l : m_regionLayers)
        if (l->ParamsMatch(m_xPar, m_yPar)) l->UpdatePercentText();
    InvalidateInDocument();
}

void CPLOT::OnParamChanged(int32_t) {
    CloneXTrans();
    CloneYTrans();
    RebuildLayers(true);
    InvalidateInDocument();
}

void CPLOT::OnGateChanged() { InvalidateInDocument(); }

void CPLOT::OnGateUpdated() {
    RebuildLayers(true);
    InvalidateInDocument();
}

void CPLOT::SetGate(CGateNode* gate, bool notify) {
    CGateUser::SetGate(gate, notify);
    for (const auto& l : m_dotLayers) l->SetPlotGate(m_gate);
    // The histogram, density and contour layers show the plot's gate: they
    // move with it (a gate of the same shell; they compute at the next
    // rebuild).
    if (!m_gate) return;
    for (CLayer* l : {static_cast<CLayer*>(m_histLayer.get()), m_densityLayer.get(), m_contourLayer.get()}) {
        auto* user = dynamic_cast<CGateUser*>(l);
        if (user && user->GetGate() != m_gate && user->GetShell() == m_gate->GetShell()) {
            user->SetGate(m_gate, false);
            m_dirty = true;
        }
    }
}

void CPLOT::DetachGate(bool remove, bool notify) {
    CGateUser::DetachGate(remove, notify);
    // Restricted to a gate the plot no longer has, the dot layers show nothing.
    for (const auto& l : m_dotLayers) l->SetPlotGate(nullptr);
    RebuildLayers(true);
}
