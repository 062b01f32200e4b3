// The plot's context menus and their commands: the gate menu of the title
// band, the parameter menus of the axis bands, a region's menu on its label
// and the plot menu; gate and axis choice, copy and paste of regions, region
// colours and "As Default".
#include <QString>

#include <algorithm>
#include <cstdint>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "dialogs/CompDlg.h"
#include "platform/UiServices.h"
#include "report/app/CommandIds.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/app/MainFrame.h"
#include "report/plot/Plot.h"
#include "report/plot/RegionClip.h"
#include "report/plot/RgnLayer.h"
#include "report/page/ResultTable.h"
#include "report/page/TrackStates.h"

namespace {

PlotCommandHooks& Hooks() {
    static PlotCommandHooks hooks = [] {
        PlotCommandHooks h;
        h.createResult = &CreateResultUnderPlot;
        h.compensate = &CCompDlg::RunForPlot;
        return h;
    }();
    return hooks;
}

QWidget* DialogParent() { return GetMainFrame(); }

QString Q(const std::string& s) { return QString::fromStdString(s); }

lm::MenuItem Item(int32_t id, const char* text, bool enabled = true) {
    return lm::MenuItem::Command(id, QString::fromUtf8(text), enabled);
}

// A pasted region that does not fit the plot.
void ShowPasteError(const char* text) {
    lm::Ui().MessageBox(DialogParent(), QString::fromUtf8(text), QString::fromLatin1(kProgramName),
                        lm::MsgButtons::Ok, lm::MsgIcon::Warning);
}

bool SameTrans(const CTRANS* a, const CTRANS* b) { return a && b && a->IsEqual(*b); }

// The kind items: command, text, style bit.
struct KindItem {
    int32_t id;
    const char* text;
    int32_t bit;
};
constexpr KindItem kKindItems[] = {
    {kPlotCmdKindDot, "Dot", kPlotFlagDots},
    {kPlotCmdKindDensity, "Density", kPlotFlagDensity},
    {kPlotCmdKindContour, "Contour", kPlotFlagContour},
    {kPlotCmdKindHistogram, "Histogram", kPlotFlagHistogram},
};
constexpr int32_t kKindBits = kPlotFlagDots | kPlotFlagDensity | kPlotFlagContour | kPlotFlagHistogram;

// The kinds after the kind `bit` was toggled: a histogram shows no
// two-parameter kind beside it, and a plot never ends without a kind
// (unchecking the last one leaves dots, or a histogram after dots).
int32_t ToggledKinds(int32_t flags, int32_t bit) {
    int32_t kinds = flags & kKindBits;
    if (!(kinds & bit)) {
        kinds |= bit;
        kinds = bit == kPlotFlagHistogram ? kPlotFlagHistogram : (kinds & ~kPlotFlagHistogram);
    } else {
        kinds &= ~bit;
        if (kinds == 0) kinds = bit == kPlotFlagDots ? kPlotFlagHistogram : kPlotFlagDots;
    }
    return kinds;
}

}  // namespace

void CPLOT::SetCommandHooks(const PlotCommandHooks& hooks) { Hooks() = hooks; }

const PlotCommandHooks& CPLOT::GetCommandHooks() { return Hooks(); }

// ================================================================ menu ids

int32_t CPLOT::GateCommandId(int32_t gateIndex) {
    if (gateIndex < 0) return 0;
    if (gateIndex < kPlotGateLowCount) return kPlotCmdGateBase + gateIndex;
    if (gateIndex > INT32_MAX - kPlotCmdGateHighBase) return 0;
    return kPlotCmdGateHighBase + gateIndex;
}

int32_t CPLOT::ParamCommandId(int32_t paramIndex) {
    if (paramIndex < 0 || paramIndex >= kPlotParamIdCount) return 0;
    return kPlotCmdParamBase + paramIndex;
}

bool CPLOT::DecodeGateCommand(uint32_t id, int32_t* gateIndex) {
    int64_t i = -1;
    if (id >= uint32_t(kPlotCmdGateBase) && id < uint32_t(kPlotCmdParamBase))
        i = int64_t(id) - kPlotCmdGateBase;
    else if (id >= uint32_t(kPlotCmdGateHighBase + kPlotGateLowCount) && id <= uint32_t(INT32_MAX))
        i = int64_t(id) - kPlotCmdGateHighBase;
    if (i < 0) return false;
    if (gateIndex) *gateIndex = int32_t(i);
    return true;
}

bool CPLOT::DecodeParamCommand(uint32_t id, int32_t* paramIndex) {
    if (id < uint32_t(kPlotCmdParamBase) || id >= uint32_t(kPlotCmdGateHighBase)) return false;
    if (paramIndex) *paramIndex = int32_t(id - uint32_t(kPlotCmdParamBase));
    return true;
}

// ==================================================================== menus

bool CPLOT::BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t flags, CPoint point) {
    return BuildContextMenu(menu, flags, point, &m_contextExtra);
}

bool CPLOT::BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t, CPoint point, int32_t* extra) {
    int32_t dummy = 0;
    if (!extra) extra = &dummy;
    *extra = 0;
    if (!menu || !m_rect.PtInRect(point)) return false;

    // Title band: the gates of the shell.
    if (m_shell && GetTitleRect().PtInRect(point)) {
        const std::vector<CGateNode*>& gates = m_shell->GetGates();
        for (size_t i = 0; i < gates.size(); ++i) {
            const int32_t id = GateCommandId(int32_t(i));
            if (id) menu->push_back(lm::MenuItem::Command(id, Q(gates[i]->GetDisplayName(true))));
        }
        return true;
    }

    // Axis bands: the parameters, only where there is data to show them.
    const bool xBand = GetXTitleRect().PtInRect(point);
    const bool yBand = !xBand && GetYTitleRect().PtInRect(point);
    if (xBand || yBand) {
        if ((m_flags & kPlotFlagOverlay) || !HasData()) return false;
        const int32_t mode = GetPlotDefaults().UsedLabelMode();
        const int32_t n = std::min(GetDataSet()->GetParamCount(), kPlotParamIdCount);
        for (int32_t i = 0; i < n; ++i) menu->push_back(lm::MenuItem::Command(ParamCommandId(i), Q(GetParamLabel(i, mode))));
        *extra = yBand ? 1 : 0;
        return true;
    }

    // A region's label: the region menu.
    int32_t index = -1;
    if (RegionLabelAt(point, &index, true)) {
        menu->push_back(Item(kPlotCmdNewPlot, "New Plot"));
        menu->push_back(Item(kPlotCmdLocalPlot, "Local Plot"));
        menu->push_back(Item(kPlotCmdCopyRegion, "Copy Region"));
        menu->push_back(Item(kPlotCmdRegionColor, "Region Color"));
        *extra = index;
        return true;
    }

    // The plot menu. Tools, paste and compensation need data to work on.
    const bool twoAxes = !IsHistogram() && !(m_flags & kPlotFlagOverlay);
    menu->push_back(Item(kPlotCmdRangeTool, "Range", ToolAvailable(kTrackRangeTool)));
    menu->push_back(Item(kPlotCmdRectTool, "Rectangle", ToolAvailable(kTrackRectTool)));
    menu->push_back(Item(kPlotCmdEllipseTool, "Ellipse", ToolAvailable(kTrackEllipseTool)));
    menu->push_back(Item(kPlotCmdPolygonTool, "Polygon", ToolAvailable(kTrackPolygonTool)));
    menu->push_back(Item(kPlotCmdQuadrantTool, "Quadrant", ToolAvailable(kTrackQuadrantTool)));
    menu->push_back(lm::MenuItem::Separator());
    if (m_pDocument && m_pDocument->GetCopiedItem())
        menu->push_back(Item(kPlotCmdPasteRegion, "Paste Region", HasData() && AxesValid()));
    menu->push_back(Item(kPlotCmdCompensate, "Compensate", twoAxes && HasData() && Hooks().compensate));
    menu->push_back(Item(kPlotCmdResult, "Result", m_shell && m_pDocument && Hooks().createResult));
    menu->push_back(Item(kPlotCmdDeleteItem, "Delete Item"));
    menu->push_back(Item(kPlotCmdExportGraphic, "Export Graphic"));
    menu->push_back(Item(kPlotCmdCopy, "Copy"));
    menu->push_back(Item(kPlotCmdAsDefault, "As Default"));
    menu->push_back(lm::MenuItem::Separator());
    for (const KindItem& k : kKindItems)
        menu->push_back(lm::MenuItem::Command(k.id, QString::fromUtf8(k.text), true, (m_flags & k.bit) != 0));
    return true;
}

// ================================================================= commands

bool CPLOT::OnContextCommand(uint32_t id, int32_t extra) {
    // Whatever the command changes in the plot's record (kind, gate, axes,
    // histogram fill, a pasted region) is a change of the report.
    const std::vector<uint8_t> before = RecordBytes();
    const bool handled = CarryOutCommand(id, extra);
    if (ListingDocument() && RecordBytes() != before) MarkModified();
    return handled;
}

void CPLOT::SetKindFromMenu(int32_t flags) {
    SetPlotType(flags);
    // The panel showing the plot follows to the pages of the new kind.
    RefreshPropertyPanel();
}

bool CPLOT::CarryOutCommand(uint32_t id, int32_t extra) {
    CRgnLayer* layer = GetRgnLayer(extra);
    switch (id) {
        case kPlotCmdResult:
            if (Hooks().createResult && m_shell && m_pDocument)
                Hooks().createResult(m_pDocument, m_shell, CPoint(m_rect.left, m_rect.bottom + 10));
            return true;
        case kPlotCmdNewPlot:
            if (layer && layer->GetRegionGate())
                NewPlotForGate(CPoint(m_rect.right - 30, m_rect.bottom - 30), layer->GetRegionGate());
            return true;
        case kPlotCmdLocalPlot:
            if (layer && layer->GetRegionGate()) TakeRegionGate(layer->GetRegionGate());
            return true;
        case kPlotCmdExportGraphic:
            ExportGraphic();
            return true;
        case kPlotCmdTogglePercent:
            if (layer) {
                layer->SetShowPercent(!layer->GetShowPercent());
                Repaint();
            }
            return true;
        case kPlotCmdCopyRegion:
            if (layer) CopyRegion(layer->GetRegion());
            return true;
        case kPlotCmdPasteRegion:
            if (m_pDocument && m_pDocument->GetCopiedItem()) PasteRegion(*m_pDocument->GetCopiedItem());
            return true;
        case kPlotCmdRegionColor:
            if (layer) {
                COLORREF c = 0;
                if (lm::Ui().ChooseColor(DialogParent(), &c)) layer->SetColor(c);
                Repaint();
            }
            return true;
        case kPlotCmdHistFillColor:
            if (m_histLayer) {
                COLORREF c = m_histLayer->GetColor();
                if (lm::Ui().ChooseColor(DialogParent(), &c)) m_histLayer->SetColor(c);
                Repaint();
            }
            return true;
        case kPlotCmdCompensate:
            if (Hooks().compensate && HasData() && !IsHistogram() && !(m_flags & kPlotFlagOverlay))
                Hooks().compensate(this);
            return true;
        case kPlotCmdAsDefault:
            AsDefault();
            return true;
        case kPlotCmdKindDot:
        case kPlotCmdKindDensity:
        case kPlotCmdKindContour:
        case kPlotCmdKindHistogram:
            for (const KindItem& k : kKindItems)
                if (uint32_t(k.id) == id) SetKindFromMenu(ToggledKinds(m_flags, k.bit) | (m_flags & ~kKindBits));
            Repaint();
            return true;
        default:
            break;
    }
    int32_t index = -1;
    if (DecodeGateCommand(id, &index)) {
        ChooseGate(index);
        return false;
    }
    if (DecodeParamCommand(id, &index)) {
        if (extra == 0)
            SetXParam(index);
        else
            SetYParam(index);
        return false;
    }
    return false;
}

// ============================================================= gate, axes

void CPLOT::ChooseGate(int32_t i) {
    CGateNode* gate = GetShellGate(i);
    if (!gate) return;
    const bool wasDirty = m_dirty;
    SetGate(gate, true);
    // Gates from i on are shown, those before it hidden; each dot layer is
    // found by the gate it draws, wherever it stands in the list. Shown
    // layers compute for the new plot gate at once.
    for (const auto& l : m_dotLayers) {
        const bool shown = m_shell->GetGateIndex(l->GetGate()) >= i;
        if (shown)
            l->SetActive(true);
        else if (l->IsActive())
            l->SetActive(false);
    }
    // The other layers that are drawn follow the gate now; the rest do at
    // the next rebuild that shows them.
    if (IsHistogram()) {
        if (m_histLayer) m_histLayer->Recalculate();
    } else {
        if ((m_flags & kPlotFlagDensity) && m_densityLayer) m_densityLayer->Recalculate();
        if ((m_flags & kPlotFlagContour) && m_contourLayer) m_contourLayer->Recalculate();
    }
    m_dirty = wasDirty;
    SelectRegionLayer(-1);
    Repaint();
}

void CPLOT::SetXParam(int32_t i) { SetAxisParam(true, i); }

void CPLOT::SetYParam(int32_t i) { SetAxisParam(false, i); }

void CPLOT::SetAxisParam(bool xAxis, int32_t i) {
    const CDataSet* ds = GetDataSet();
    int32_t& par = xAxis ? m_xPar : m_yPar;
    if (i == par || !ds || i < 0 || i >= ds->GetParamCount()) return;
    par = i;
    CloneXTrans();
    CloneYTrans();
    if (xAxis) {
        // A histogram has only the x axis.
        if (m_histLayer) m_histLayer->SetXParam(i);
        for (const auto& l : m_dotLayers) l->SetXParam(i);
    } else {
        for (const auto& l : m_dotLayers) l->SetYParam(i);
    }
    // The density and contour layers are made again on the new axes.
    m_densityLayer.reset();
    m_contourLayer.reset();
    SelectRegionLayer(-1);
    RebuildLayers(true);
    if (CLumitraDoc* doc = ListingDocument())
        if (CMainFrame* frame = GetMainFrame()) frame->RefreshNavigatePlots(doc);
    Repaint();
}

void CPLOT::SetMaxDotEvents(int32_t n) {
    m_maxDotEvents = std::max<int32_t>(n, 0);
    for (const auto& l : m_dotLayers) {
        const bool shown = l->IsActive();
        l->SetMaxEvents(m_maxDotEvents);
        if (!shown) l->ReleaseData();  // hidden layers compute when shown again
    }
    Repaint();
}

void CPLOT::AsDefault() {
    PlotDefaults& d = GetPlotDefaults();
    d.evts = m_maxDotEvents;
    d.parax = m_xPar;
    d.paray = m_yPar;
    d.width = int32_t(std::min<int64_t>(int64_t(m_rect.right) - m_rect.left, INT32_MAX));
    d.height = int32_t(std::min<int64_t>(int64_t(m_rect.bottom) - m_rect.top, INT32_MAX));
    // Overlays belong to this plot: a new plot has none to show.
    d.style = m_flags & ~kPlotFlagOverlay;
}

// ============================================================ copy, paste

void CPLOT::CopyRegion(CDataRgn* region) {
    if (!m_pDocument || !region) return;
    if (auto clip = CRegionClip::Make(region)) m_pDocument->SetCopiedItem(std::move(clip));
}

bool CPLOT::PasteRegion(const CRegionClip& clip) {
    if (!m_shell || !HasData() || !AxesValid()) return false;
    const CDataRgn& r = clip.GetRegion();
    if (r.GetXParam() != m_xPar || r.GetYParam() != m_yPar) {
        ShowPasteError("Parameter Error");
        return false;
    }
    if (!SameTrans(clip.GetXTrans(), GetXTrans())) {
        ShowPasteError("X Scale Error");
        return false;
    }
    if (r.UsesYParam() && !SameTrans(clip.GetYTrans(), GetYTrans())) {
        ShowPasteError("Y Scale Error");
        return false;
    }
    // Refused before anything is added to the shell.
    if (r.GetType() == kRgnQuadrant) return false;

    // From this shell, the region still there: this plot shows that region.
    CDataRgn* source = clip.GetSourceRegion();
    if (clip.GetSourceShell() == m_shell && source && m_shell->GetRegionIndex(source) >= 0) {
        if (std::find(m_shownRegions.begin(), m_shownRegions.end(), source) != m_shownRegions.end()) return false;
        for (const auto& l : m_regionLayers)
            if (l->GetRegion() == source) return false;
        std::unique_ptr<CLayer> layer = MakeLayerForRegion(source);
        if (!layer) return false;
        AddRegionLayer(std::move(layer));
        m_shownRegions.push_back(source);
        Repaint();
        return true;
    }

    // From another shell (or its region has gone): a copy becomes a new gate
    // under the plot's gate. The layer is made first, so that a shape
    // without an editor adds no gate; it edits the copy only once the shell
    // owns it.
    std::unique_ptr<CDataRgn> copy = clip.CloneRegion();
    CDataRgn* raw = copy.get();
    std::unique_ptr<CLayer> layer = MakeLayerForRegion(raw);
    if (!layer) return false;
    CGateNode* node = m_shell->AddRegionGate(std::move(copy), GetGateIndex(), std::string());
    if (!node || node->GetRegion() != raw) return false;  // the copy is gone; so goes the layer
    if (auto* listener = dynamic_cast<CDataRgnGPUser*>(layer.get()))
        listener->RegionChanged();
    else
        layer->UpdatePercentText();
    AddRegionLayer(std::move(layer));
    m_shownRegions.push_back(raw);
    TellFrameOfGate();
    Repaint();
    return true;
}
