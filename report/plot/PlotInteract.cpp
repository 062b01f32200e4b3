// The plot's mouse: presses in the title and axis bands, the region tools,
// the region layers' editing, finishing a shape into a gate, the middle
// button on a region label, zoom, overlays and the drag cache.
#include <QPainter>

#include <algorithm>
#include <cstdint>

#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/app/MainFrame.h"
#include "report/plot/Plot.h"
#include "report/plot/RgnLayer.h"
#include "report/page/TrackStates.h"

namespace {

// Zoom: the enlarged plot is kZoomSide square; a plot whose left (top) edge
// lies within kZoomRoom of the canvas's right (bottom) edge is moved to
// kZoomBack from it.
constexpr int64_t kZoomSide = 450;
constexpr int64_t kZoomRoom = 460;
constexpr int64_t kZoomBack = 350;

CRgnLayer* AsRgn(CLayer* l) { return dynamic_cast<CRgnLayer*>(l); }

// Sides of a rectangle that a file may have made extreme, without overflow.
int64_t WidthOf(const CRect& r) { return int64_t(r.right) - r.left; }
int64_t HeightOf(const CRect& r) { return int64_t(r.bottom) - r.top; }

int32_t ClampToInt(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

// ============================================================== conditions

bool CPLOT::HasData() const {
    const CDataSet* ds = GetDataSet();
    return m_gate && ds && ds->GetEventMatrix() && ds->GetParamCount() > 0;
}

bool CPLOT::AxesValid() const {
    const CDataSet* ds = GetDataSet();
    const int32_t n = ds ? ds->GetParamCount() : 0;
    return m_xPar >= 0 && m_yPar >= 0 && m_xPar < n && m_yPar < n;
}

bool CPLOT::ToolAvailable(int32_t tool) {
    if (!HasData() || !AxesValid()) return false;
    if (tool != kTrackRangeTool && (IsHistogram() || (m_flags & kPlotFlagOverlay))) return false;
    // A shape whose editor does not exist yet is not offered.
    return CreateRegionLayerForTool(tool, m_xPar, m_yPar, this) != nullptr;
}

// ============================================================ region layers

CRgnLayer* CPLOT::GetRgnLayer(int32_t i) const {
    if (i < 0 || size_t(i) >= m_regionLayers.size()) return nullptr;
    return AsRgn(m_regionLayers[size_t(i)].get());
}

int32_t CPLOT::GetRegionLayerIndex(const CLayer* layer) const {
    for (size_t i = 0; i < m_regionLayers.size(); ++i)
        if (m_regionLayers[i].get() == layer) return int32_t(i);
    return -1;
}

void CPLOT::RemoveRegionLayer(CLayer* layer) {
    const int32_t i = GetRegionLayerIndex(layer);
    if (i < 0) return;
    if (m_selectedRgn == layer) m_selectedRgn = nullptr;
    if (m_editedRgn == layer) m_editedRgn = nullptr;
    if (m_pressedRgn == layer) m_pressedRgn = nullptr;
    if (m_dragCacheLeftOut == layer) m_dragCacheLeftOut = nullptr;
    // Out of the list before it dies: its destructor lets go of its region.
    std::unique_ptr<CLayer> doomed = std::move(m_regionLayers[size_t(i)]);
    m_regionLayers.erase(m_regionLayers.begin() + i);
    doomed.reset();
}

void CPLOT::ClearRegionLayers() {
    m_selectedRgn = m_editedRgn = m_pressedRgn = nullptr;
    m_dragCacheLeftOut = nullptr;
    // Each layer unregisters from its region as it goes: none stays attached
    // to a region without a plot to own it.
    std::vector<std::unique_ptr<CLayer>> doomed = std::move(m_regionLayers);
    m_regionLayers.clear();
    doomed.clear();
    m_shownRegions.clear();
}

void CPLOT::HideRegion(CDataRgn* region) {
    if (!region) return;
    m_shownRegions.erase(std::remove(m_shownRegions.begin(), m_shownRegions.end(), region), m_shownRegions.end());
    for (;;) {
        CLayer* found = nullptr;
        for (const auto& l : m_regionLayers)
            if (l->GetRegion() == region) found = l.get();
        if (!found) break;
        RemoveRegionLayer(found);
    }
    Repaint();
}

std::unique_ptr<CLayer> CPLOT::MakeLayerForRegion(CDataRgn* region) {
    const auto make = GetLayerMakers().region;
    return region && make ? make(region, this) : nullptr;
}

CRgnLayer* CPLOT::RegionLabelAt(CPoint point, int32_t* index, bool quadrants) const {
    for (size_t i = 0; i < m_regionLayers.size(); ++i) {
        CRgnLayer* l = AsRgn(m_regionLayers[i].get());
        if (!l || !l->IsVisible() || (!quadrants && l->GetRegionType() == kRgnQuadrant)) continue;
        if (!RegionLayerDrawn(*l) || !l->HitLabel(point)) continue;
        if (index) *index = int32_t(i);
        return l;
    }
    return nullptr;
}

void CPLOT::CancelRegionCreation(int32_t* state) {
    // Only a shape not yet made into a region: an existing one stays.
    if (state && m_selectedRgn && !m_selectedRgn->GetRegion() &&
        (*state == kTrackRubberBandRegion || *state == kTrackPolygonEntry)) {
        CLayer* doomed = m_selectedRgn;
        m_selectedRgn = m_editedRgn = nullptr;
        RemoveRegionLayer(doomed);
        InvalidateInDocument();
    }
    if (state) *state = kTrackMove;
}

// =============================================================== left button

bool CPLOT::OnLButtonDown(uint32_t flags, CPoint point, int32_t* state) {
    if (!state) return false;
    const int32_t s = *state;
    // Only the range draws on a histogram.
    if (s < kTrackRangeTool && IsHistogram()) {
        *state = kTrackMove;
        return false;
    }
    if (s < 0) return StartRegion(s, point, state);

    const bool inRect = m_rect.PtInRect(point);
    if (s == kTrackPolygonEntry) {
        if (CRgnLayer* sel = AsRgn(m_selectedRgn)) return inRect && sel->OnButtonDown(point, state);
    }
    if (inRect && GetPlotArea().PtInRect(point) &&
        lm::IsOneOf(s, {kTrackMove, kTrackRegionSelected, kTrackPolygonVertex, kTrackPolygonScale})) {
        if (PressRegionLayers(point, state)) return true;
    }
    // Nothing below edits a region.
    SelectRegionLayer(-1);
    if (GetTitleRect().PtInRect(point)) {
        *state = kTrackTitlePress;
        return true;
    }
    // The axis bands open the parameter menu: only where it has something
    // to offer (data, not an overlay, a Y axis that is not a count).
    if (lm::IsOneOf(s, {kTrackMove, kTrackRegionSelected}) && HasData() && !(m_flags & kPlotFlagOverlay)) {
        if (GetXTitleRect().PtInRect(point)) {
            *state = kTrackXAxisBand;
            return true;
        }
        if (!IsHistogram() && GetYTitleRect().PtInRect(point)) {
            *state = kTrackYAxisBand;
            return true;
        }
    }
    if (inRect) return CTrkObj::OnLButtonDown(flags, point, state);
    *state = kTrackIdle;
    return false;
}

bool CPLOT::PressRegionLayers(CPoint point, int32_t* state) {
    if (CRgnLayer* sel = AsRgn(m_selectedRgn)) {
        const int32_t before = *state;
        if (sel->OnButtonDown(point, state)) {
            // The layer pressed is the one dragged, and the one the drag
            // picture leaves out.
            m_editedRgn = sel;
            // Still selected while idle (a polygon finished by a double
            // click): the press selects it again and goes on to a move at
            // once, as a press on a layer not selected does.
            if (before == kTrackMove && *state == kTrackRegionSelected) sel->OnButtonDown(point, state);
            return true;
        }
    }
    SelectRegionLayer(-1);
    *state = kTrackMove;
    for (size_t i = 0; i < m_regionLayers.size(); ++i) {
        CRgnLayer* l = AsRgn(m_regionLayers[i].get());
        if (!l || !l->IsVisible() || !RegionLayerDrawn(*l)) continue;
        if (!l->OnButtonDown(point, state)) continue;
        if (*state == kTrackRegionSelected) {
            // Selected by this press, which then goes on to a handle drag or
            // a move at once.
            SelectRegionLayer(int32_t(i));
            m_editedRgn = l;
            l->OnButtonDown(point, state);
        } else if (*state == kTrackLabelDrag) {
            m_editedRgn = l;
        }
        return true;
    }
    return false;
}

bool CPLOT::StartRegion(int32_t tool, CPoint point, int32_t* state) {
    SelectRegionLayer(-1);
    if (!GetPlotArea().PtInRect(point) || !ToolAvailable(tool)) {
        *state = kTrackMove;
        return false;
    }
    std::unique_ptr<CRgnLayer> layer = CreateRegionLayerForTool(tool, m_xPar, m_yPar, this);
    if (!layer) {
        *state = kTrackMove;
        return false;
    }
    CRgnLayer* raw = layer.get();
    *state = kTrackRegionCreate;
    raw->OnButtonDown(point, state);
    m_regionLayers.push_back(std::move(layer));
    SelectRegionLayer(int32_t(m_regionLayers.size()) - 1);
    m_editedRgn = raw;
    InvalidateInDocument();
    return true;
}

bool CPLOT::OnLButtonUp(uint32_t flags, CPoint point, int32_t* state) {
    if (!state) return false;
    if (CRgnLayer* sel = AsRgn(m_selectedRgn)) {
        if (*state == kTrackRubberBandRegion || *state == kTrackPolygonEntry) {
            if (sel->OnButtonUp(point, state) && lm::IsOneOf(*state, {kTrackRegionSelected, kTrackPolygonVertex}))
                FinishRegion(sel, state);
            return true;
        }
        if (*state == kTrackLabelDrag) {
            if (sel->OnButtonUp(point, state)) {
                *state = kTrackRegionSelected;  // the label moved, the shape stays selected
                return true;
            }
        } else if (sel->OnButtonUp(point, state)) {
            return true;
        }
    }
    if (*state == kTrackLabelDrag) {
        if (CRgnLayer* edited = AsRgn(m_editedRgn)) {
            edited->OnButtonUp(point, state);
            m_editedRgn = m_selectedRgn;
            return false;
        }
    }
    return CTrkObj::OnLButtonUp(flags, point, state);
}

void CPLOT::FinishRegion(CRgnLayer* layer, int32_t* state) {
    std::unique_ptr<CDataRgn> region = layer->MakeRegion();
    CGateNode* node = nullptr;
    CDataRgn* raw = region.get();
    if (region && m_shell && m_gate) node = m_shell->AddRegionGate(std::move(region), GetGateIndex(), std::string());
    if (!node) {
        // The shell refused the region (or none was made): it is gone, and a
        // shape that edits nothing is not kept.
        RemoveRegionLayer(layer);
        *state = kTrackMove;
        InvalidateInDocument();
        return;
    }
    m_shownRegions.push_back(raw);
    TellFrameOfGate();
    layer->RegionChanged();
    // The label was placed before the gate gave the region its name.
    layer->KeepLabelInArea();
    // A new gate and a new shape on the plot: closing unsaved would lose them.
    MarkModified();
}

void CPLOT::TellFrameOfGate() const {
    CMainFrame* frame = GetMainFrame();
    if (!frame) return;
    CLumitraDoc* doc = GetActiveLumitraDoc();
    const int32_t shellIndex = (doc && m_shell) ? doc->GetDataShellIndex(m_shell) : -1;
    const int32_t gateIndex = m_shell ? m_shell->GetGateCount() - 1 : -1;
    frame->SetActiveDocument(doc, shellIndex, gateIndex);
}

bool CPLOT::OnMouseMove(uint32_t, CPoint point, int32_t* state) {
    if (!state) return false;
    if (lm::IsOneOf(*state, {kTrackLabelDragPlot, kTrackRegionDragInside, kTrackRegionDragOutside})) {
        CRgnLayer* pressed = AsRgn(m_pressedRgn);
        if (pressed && pressed->HitLabel(point))
            *state = kTrackLabelDragPlot;
        else
            *state = m_rect.PtInRect(point) ? kTrackRegionDragInside : kTrackRegionDragOutside;
        return true;
    }
    if (CRgnLayer* sel = AsRgn(m_selectedRgn)) {
        if (m_rect.PtInRect(point) && sel->OnDrag(point, state)) return true;
    }
    if (*state == kTrackLabelDrag) {
        if (CRgnLayer* edited = AsRgn(m_editedRgn)) return edited->OnDrag(point, state);
    }
    return false;
}

bool CPLOT::OnLButtonDblClk(uint32_t, CPoint point, int32_t* state) {
    if (!state) return false;
    const bool inRect = m_rect.PtInRect(point);
    CRgnLayer* sel = AsRgn(m_selectedRgn);
    if (*state == kTrackPolygonEntry && sel && inRect) {
        // A polygon that takes the double click is finished, whatever state
        // it leaves behind.
        const bool took = sel->OnDoubleClick(point, state);
        if (took) FinishRegion(sel, state);
        return took;
    }
    if (lm::IsOneOf(*state, {kTrackMove, kTrackRegionSelected}) && inRect) {
        if (CRgnLayer* l = RegionLabelAt(point, nullptr, false)) {
            *state = kTrackMove;
            CLumitraDoc* doc = ListingDocument();
            if (CGateNode* gate = l->GetRegionGate(); gate && doc) {
                const PlotDefaults& d = GetPlotDefaults();
                NewPlotForGate(doc->FindFreePlace(CSize(d.UsedWidth(), d.UsedHeight()), doc->GetPilot()), gate);
            }
            return true;
        }
    }
    if (lm::IsOneOf(*state, {kTrackRegionSelected, kTrackPolygonVertex}) && sel && inRect)
        return sel->OnDoubleClick(point, state);
    if (GetTitleRect().PtInRect(point)) {
        ToggleZoom();
        return true;
    }
    return false;
}

CPLOT* CPLOT::NewPlotForGate(CPoint at, CGateNode* gate) {
    CLumitraDoc* doc = ListingDocument();
    if (!doc || !gate || !gate->GetShell() || doc->GetDataShellIndex(gate->GetShell()) < 0) return nullptr;
    if (CMainFrame* frame = GetMainFrame()) frame->RefreshNavigatePlots(doc);
    const PlotDefaults& d = GetPlotDefaults();
    const int32_t count = gate->GetShell()->GetParamCount();
    auto plot = std::make_unique<CPLOT>(at.x, at.y, gate, doc, d.UsedParamX(count), d.UsedParamY(count));
    CPLOT* raw = plot.get();
    // The document may move this plot in its list (the new one goes on top):
    // nothing of this plot is used afterwards.
    doc->InsertNewObject(std::move(plot));
    return raw;
}

// ============================================================ middle button

bool CPLOT::PressRegionLabel(uint32_t, CPoint point, int32_t* state) {
    m_pressedRgn = nullptr;
    if (!state || !GetPlotArea().PtInRect(point)) return false;
    if (!lm::IsOneOf(*state, {kTrackMove, kTrackRegionSelected})) return false;
    CRgnLayer* l = RegionLabelAt(point, nullptr, false);
    if (!l) return false;
    m_pressedRgn = l;
    *state = kTrackLabelDragPlot;
    return true;
}

bool CPLOT::ReleaseRegionLabel(uint32_t, CPoint point, int32_t* state) {
    CRgnLayer* pressed = AsRgn(m_pressedRgn);
    if (pressed && pressed->HitLabel(point)) {
        CGateNode* gate = pressed->GetRegionGate();
        if (state) *state = kTrackMove;
        if (gate) TakeRegionGate(gate);
        m_pressedRgn = nullptr;
        return gate != nullptr;
    }
    if (state) *state = m_rect.PtInRect(point) ? kTrackRegionDragInside : kTrackRegionDragOutside;
    return false;
}

CGateNode* CPLOT::GetPressedRegionGate() const {
    CRgnLayer* pressed = AsRgn(m_pressedRgn);
    return pressed ? pressed->GetRegionGate() : nullptr;
}

void CPLOT::TakeRegionGate(CGateNode* gate) {
    if (!gate || !m_shell || gate->GetShell() != m_shell) return;
    SetGate(gate, true);
    ClearRegionLayers();
    RebuildLayers(true);
    Repaint();
}

// ================================================================== layout

void CPLOT::SetRect(const CRect& rect, bool quiet) {
    const CRect before = GetPlotArea();
    CTrkObj::SetRect(rect, quiet);
    const CRect after = GetPlotArea();
    if (WidthOf(after) == WidthOf(before) && HeightOf(after) == HeightOf(before)) return;
    // Labels and shapes back to their fractions of the new area. Dots,
    // histogram and overlays are computed for it at the next drawing.
    for (const auto& l : m_regionLayers) l->Reset();
    FreeDragCache();
}

void CPLOT::ToggleZoom() {
    m_zoomed = !m_zoomed;
    if (m_zoomed) {
        m_savedRect = m_rect;
        const CSize canvas = m_pDocument ? m_pDocument->GetCanvasSize() : CSize(kPageWidth, 2 * kPageHeight);
        const int64_t left = int64_t(m_rect.left) + kZoomRoom > canvas.cx ? canvas.cx - kZoomBack : m_rect.left;
        const int64_t top = int64_t(m_rect.top) + kZoomRoom > canvas.cy ? canvas.cy - kZoomBack : m_rect.top;
        SetRect(CRect(ClampToInt(left), ClampToInt(top), ClampToInt(left + kZoomSide), ClampToInt(top + kZoomSide)));
    } else {
        // A saved rectangle a file left unusable is not taken.
        CRect saved = m_savedRect;
        saved.NormalizeRect();
        if (WidthOf(saved) >= kPlotMinSide && HeightOf(saved) >= kPlotMinSide) SetRect(saved);
    }
    Repaint();
}

// ================================================================ overlays

void CPLOT::AddOverlayFrom(CPLOT* source) {
    if (!source || source == this) return;
    const int32_t f = source->GetStyleFlags();
    CLayer* pick = nullptr;
    if ((f & kPlotFlagHistogram) && source->m_histLayer)
        pick = source->m_histLayer.get();
    else if ((f & kPlotFlagDots) && !source->m_dotLayers.empty())
        pick = source->m_dotLayers.front().get();
    else if ((f & kPlotFlagDensity) && source->m_densityLayer)
        pick = source->m_densityLayer.get();
    else if ((f & kPlotFlagContour) && source->m_contourLayer)
        pick = source->m_contourLayer.get();
    if (!pick) return;
    if (AddOverlayLayer(*pick)) Repaint();
}

// ============================================================== drag cache

void CPLOT::CreateDragCache() {
    m_dragCache = QImage();
    QImage img = RenderArea();
    if (img.isNull()) return;
    for (const auto& l : m_regionLayers) {
        if (l.get() == m_editedRgn || !RegionLayerDrawn(*l)) continue;
        PaintMaskInto(img, RenderRegionOutline(*l, true), l->GetColor());
    }
    m_dragCacheLeftOut = m_editedRgn;
    m_dragCache = std::move(img);
}

bool CPLOT::DrawDragCacheAt(QPainter* painter, int32_t dx, int32_t dy) {
    if (!painter || m_dragCache.isNull()) return false;
    const CRect a = GetPlotArea();
    if (m_dragCache.width() != WidthOf(a) || m_dragCache.height() != HeightOf(a)) return false;
    painter->save();
    painter->translate(-dx, -dy);
    painter->drawImage(QPointF(a.left, a.top), m_dragCache);
    if (m_editedRgn && RegionLayerDrawn(*m_editedRgn))
        PaintMask(*painter, RenderRegionOutline(*m_editedRgn, true), m_editedRgn->GetColor(), a.TopLeft());
    // Labels are not in the picture: they are drawn sharp at the view's zoom,
    // each where its layer has it now; the one the picture left out only
    // while it is still the edited one.
    DrawRegionLabels(*painter, m_dragCacheLeftOut == m_editedRgn ? nullptr : m_dragCacheLeftOut);
    painter->restore();
    return true;
}

void CPLOT::FreeDragCache() {
    m_dragCache = QImage();
    m_dragCacheLeftOut = nullptr;
}
