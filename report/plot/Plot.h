#pragma once
// The plot of the report page: a page object that shows the events of one
// gate of one data shell on one parameter (histogram) or two (dots, density,
// contour), and an observer of that gate, so every change of the shell, its
// gates, regions or transforms makes it rebuild or repaint.
//
// The drawing is done by layers the plot owns: one dot layer per gate of the
// shell, a histogram layer, density and contour layers, overlays cloned from
// other plots and one region layer per region shown. Notifications only mark
// the plot dirty; the layers are rebuilt when it is next drawn.
#include <QFont>
#include <QImage>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Geometry.h"
#include "core/Observers.h"
#include "report/plot/Layer.h"
#include "report/plot/PlotIds.h"
#include "report/page/TrkObj.h"

class CDataRgn;
class CDataSet;
class CDotLayer;
class CHistLayer;
class CLumitraDoc;
class CRegionClip;
class CRgnLayer;
class CTRANS;
class QPainter;
class QString;

// The layer showing and editing region on plot, by the region's kind; null for
// a kind without a layer class (and for no region).
std::unique_ptr<CLayer> MakeRegionLayer(CDataRgn* region, CPLOT* plot);
// The density and contour layers of plot on gate (DensityLayer.cpp,
// ContourLayer.cpp).
std::unique_ptr<CLayer> MakeDensityLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot);
std::unique_ptr<CLayer> MakeContourLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot);

// Makers of the layer classes that live apart from the plot: the program's
// own from the start; tests put doubles here. Without a density or contour
// maker the plot shows no such layer, and a record holding one cannot be
// read.
struct PlotLayerMakers {
    // (gate, X parameter, Y parameter, plot)
    std::unique_ptr<CLayer> (*density)(CGateNode*, int32_t, int32_t, CPLOT*) = &MakeDensityLayer;
    std::unique_ptr<CLayer> (*contour)(CGateNode*, int32_t, int32_t, CPLOT*) = &MakeContourLayer;
    // Region layers: the program's own from the start; tests put a double
    // here. Shown regions, copies and plot records all go through it.
    std::unique_ptr<CLayer> (*region)(CDataRgn*, CPLOT*) = &MakeRegionLayer;
};

// Commands of the plot menu that other parts of the program carry out (the
// result table, the compensation dialog). Until one is registered its item is
// greyed and the command does nothing.
struct PlotCommandHooks {
    // A result table of shell at the page point (the hook refuses a second).
    void (*createResult)(CLumitraDoc* doc, VexaDataShell* shell, CPoint at) = nullptr;
    // The modal compensation dialog bound to plot.
    void (*compensate)(CPLOT* plot) = nullptr;
};

// One line of the program's log "log.txt" (nothing while no log is open).
void PlotLogLine(std::string_view line);

class CPLOT : public CGateUser, public CTrkObj {
public:
    // ---- construction ----
    // At a point without a gate, default size.
    CPLOT(int32_t x, int32_t y, CLumitraDoc* doc);
    // At a point on gate, default size; one dot layer per gate of the shell,
    // only the gate's own shown.
    CPLOT(int32_t x, int32_t y, CGateNode* gate, CLumitraDoc* doc, int32_t xPar, int32_t yPar);
    // A copy of source on the gate of `other` with the same index as source's
    // gate in its shell.
    CPLOT(const CRect& rect, VexaDataShell* other, const CPLOT& source);
    // A copy of source on its own gate.
    CPLOT(const CRect& rect, const CPLOT& source);
    // In a rectangle on gate (size rule applied).
    CPLOT(const CRect& rect, CGateNode* gate, CLumitraDoc* doc, int32_t xPar, int32_t yPar);
    // In a rectangle without gate (size rule applied).
    CPLOT(const CRect& rect, CLumitraDoc* doc, int32_t xPar, int32_t yPar);
    // For the file reader: defaults only; Load follows.
    explicit CPLOT(CLumitraDoc* doc);
    // After a copy constructor: everything else the plot record carries comes
    // from source as well (style, background, reserved words, the settings of
    // the layers the copy has in common with it). Overlays are not carried.
    void CopyRecordFrom(const CPLOT& source);
    ~CPLOT() override;

    // The sizes the two rectangle constructors enforce.
    static CRect ApplySizeRule(const CRect& rect);

    // ---- geometry (page units) ----
    // Inner rectangle less the axis margins; layers draw into its size.
    CRect GetPlotArea() const;
    CRect GetTitleRect() const;
    CRect GetXTitleRect() const;
    CRect GetYTitleRect() const;
    int32_t GetPlotAreaWidth() const { return GetPlotArea().Width(); }
    int32_t GetPlotAreaHeight() const { return GetPlotArea().Height(); }
    // Pixel offset / area width (height), not clamped; 0 for an empty area.
    double PixelToFractionX(int32_t px) const;
    double PixelToFractionY(int32_t py) const;
    CPoint PageToPlotArea(CPoint page) const;

    // ---- CTrkObj ----
    // The plot as the screen shows it, a selected region with its handles.
    void Draw(QPainter* painter) override;
    // The plot on paper and in pictures: no selection handles.
    void DrawPrint(QPainter* painter) override;
    void Activate(uint32_t, CPoint) override {}
    bool QueryMouse(uint32_t, CPoint, int32_t*) override { return false; }
    // The mouse, with the report view's tracking state (TrackState): presses
    // in the title and axis bands, the region tools, and the region layers'
    // own editing (PlotInteract.cpp).
    bool OnLButtonDown(uint32_t flags, CPoint point, int32_t* state) override;
    bool OnLButtonUp(uint32_t flags, CPoint point, int32_t* state) override;
    bool OnMouseMove(uint32_t flags, CPoint point, int32_t* state) override;
    bool OnLButtonDblClk(uint32_t flags, CPoint point, int32_t* state) override;
    // A new rectangle: the region layers take their places again; the other
    // layers are computed for the new area when the plot is next drawn.
    using CTrkObj::SetRect;
    void SetRect(const CRect& rect, bool quiet) override;
    void EndEdit(int32_t how) override;
    void OnDeactivate() override;
    CSize GetMinSize() const override { return CSize(kPlotMinSide, kPlotMinSide); }
    CSize GetDefaultSize() const override { return CSize(kPlotDefaultSide, kPlotDefaultSide); }
    int32_t GetType() const override { return kObjPlot; }
    // The plot record of the document file. Load throws CArchiveException
    // for a record that names a data set, gate or region the document does
    // not hold, or a layer it cannot read.
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;
    // The context menu at a page point (PlotMenus.cpp): gates in the title
    // band, parameters in the axis bands, a region's items on its label, the
    // plot menu elsewhere. False outside the plot (no menu). *extra is what
    // OnContextCommand wants back: the region layer's index for region items,
    // 0 for the X band and 1 for the Y band, else 0. The three-argument form
    // keeps it for GetContextExtra.
    bool BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t flags, CPoint point) override;
    bool BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t flags, CPoint point, int32_t* extra);
    int32_t GetContextExtra() const { return m_contextExtra; }
    // True when the command was carried out here; gate and parameter choices
    // answer false (the caller repaints).
    bool OnContextCommand(uint32_t id, int32_t extra) override;
    // The plot record as the document file would hold it now.
    std::vector<uint8_t> RecordBytes() const;
    // Copies the plot as a picture to the clipboard.
    void CopyToClipboard() override;

    // ---- CGateUser ----
    void OnGatesChanged() override;
    void OnGateRemoving(CGateNode* gate) override;
    void OnDataChanged() override;
    void OnParamChanged(int32_t param) override;
    void OnGateChanged() override;
    void OnGateUpdated() override;
    // The title names the gate: it shows the new name at once.
    void OnGateRenamed() override;
    // The dot layers follow the plot to its new gate (they show the events
    // of their own gate inside the plot's).
    void SetGate(CGateNode* gate, bool notify) override;
    void DetachGate(bool remove, bool notify) override;

    // ---- building ----
    // Recomputes the layers for the current gate, parameters and style; sets
    // the state. notify: a property panel showing this plot shows it afresh
    // (a rebuild never takes the panel from the plot it shows).
    void RebuildLayers(bool notify);
    // Only when dirty and forced: every layer recomputes; then a repaint.
    void RecalcLayers(bool force, bool repaint);
    // dirty := 1 and the document repaints the plot.
    void MarkDirty();
    // The document repaints the plot now (the dirty flag is not set).
    void Repaint();
    // The plot's document when the plot is on its page (only then may the
    // document keep a pointer to it), else null.
    CLumitraDoc* ListingDocument() const;
    // Something the plot's record holds was edited: the document on whose
    // page the plot lies is marked modified.
    void MarkModified();
    // The property panel, when it shows this plot, shows it afresh (kind
    // boxes and pages); a panel showing another object is left alone.
    void RefreshPropertyPanel();
    bool IsDirty() const { return m_dirty; }
    int32_t GetState() const { return m_state; }
    int32_t GetStyleFlags() const { return m_flags; }
    bool IsHistogram() const { return (m_flags & kPlotFlagHistogram) != 0; }
    // Switches layers; a histogram gets a fresh Y transform either way.
    void SetPlotType(int32_t flags);
    void SetFlags(int32_t flags);

    // ---- data and transforms ----
    CDataSet* GetDataSet() const;
    // The plot's transforms, cloned from the shell's on first use; null when
    // the shell has no transform for the parameter.
    CTRANS* GetXTrans();
    CTRANS* GetYTrans();
    // Replaces the transform by a clone of the shell's (none when the
    // parameter is outside the data set).
    void CloneXTrans();
    void CloneYTrans();
    // A linear (kind 0) or logarithmic (kind 1) transform over min .. max;
    // false (nothing changed) for another kind or an invalid range.
    bool SetXTransKind(int32_t kind, float min, float max);
    bool SetYTransKind(int32_t kind, float min, float max);
    int32_t GetXParam() const { return m_xPar; }
    int32_t GetYParam() const { return m_yPar; }
    int32_t GetMaxDotEvents() const { return m_maxDotEvents; }
    bool IsZoomed() const { return m_zoomed; }
    const CRect& GetSavedRect() const { return m_savedRect; }
    COLORREF GetBackgroundColor() const { return m_background; }
    void SetBackgroundColor(COLORREF c) { m_background = c; }

    // ---- titles ----
    std::string GetXAxisTitle(int32_t mode) const;
    std::string GetYAxisTitle(int32_t mode) const;
    std::string GetParamLabel(int32_t index, int32_t mode) const;
    // mode 1: the shell's name; mode 0: the data file's name without folder.
    std::string GetDataName(int32_t mode) const;
    QFont CreatePlotFont() const;

    // ---- gates and dot layers ----
    int32_t GetGateIndex() const;
    CGateNode* GetShellGate(int32_t i) const;
    // Null when a dot layer already shows gate (or gate is null).
    CDotLayer* AddDotLayer(CGateNode* gate, COLORREF colour, bool shown);
    CDotLayer* AddDotLayerForGate(CGateNode* gate, bool shown);
    void SyncDotLayers();
    // Every dot layer of gate is shown (and recomputed).
    void NotifyLayersOfGate(CGateNode* gate);
    void ShowDotLayersOfGate(int32_t i);
    void HideDotLayer(int32_t i);
    const std::vector<std::unique_ptr<CDotLayer>>& GetDotLayers() const { return m_dotLayers; }
    CDotLayer* FindDotLayer(const CGateNode* gate) const;
    // Dot layer `from` takes position `to` in the dot-layer list (the others
    // keep their order); false, nothing moved, for an index out of range.
    bool MoveDotLayer(int32_t from, int32_t to);
    CHistLayer* GetHistLayer() const { return m_histLayer.get(); }
    CLayer* GetDensityLayer() const { return m_densityLayer.get(); }
    CLayer* GetContourLayer() const { return m_contourLayer.get(); }
    void DeleteHistLayer();
    void DeleteDensityLayer();
    void DeleteContourLayer();
    void DeleteDotLayers();
    // Deletes a layer of this plot (its gate is going away); true when the
    // layer was one of this plot's and is gone.
    bool DestroyLayer(CLayer* layer);

    // ---- interaction ----
    // The shell has a data set with events, and the plot a gate.
    bool HasData() const;
    // Both axis parameters exist in the data set.
    bool AxesValid() const;
    // A region tool (TrackState -1 .. -5) can draw here: data, valid axes, a
    // layer class for the shape, and only the range on a histogram or an
    // overlay plot.
    bool ToolAvailable(int32_t tool);
    // Discards a region layer still being drawn (state 2 or 6); state := 0.
    void CancelRegionCreation(int32_t* state);
    // The plot shows gate i of its shell: dot layers of gates from i on are
    // shown, the others hidden.
    void ChooseGate(int32_t i);
    // New axis parameters (ignored outside the data set).
    void SetXParam(int32_t i);
    void SetYParam(int32_t i);
    void SetMaxDotEvents(int32_t n);
    // Enlarges the plot to 450 x 450, or gives it back its rectangle.
    void ToggleZoom();
    // One layer of source is shown on this plot as an overlay.
    void AddOverlayFrom(CPLOT* source);
    // Middle button on a region label (state 31), and its release: on the
    // same label the plot moves to the region's gate.
    bool PressRegionLabel(uint32_t flags, CPoint point, int32_t* state);
    bool ReleaseRegionLabel(uint32_t flags, CPoint point, int32_t* state);
    CGateNode* GetPressedRegionGate() const;
    // The plot moves to gate (of its shell) and drops its region layers.
    void TakeRegionGate(CGateNode* gate);
    // The document's copy buffer takes a copy of region.
    void CopyRegion(CDataRgn* region);
    // Shows the clipped region on this plot, as a new gate under the plot's
    // gate when it comes from another shell. False (after "Parameter Error",
    // "X Scale Error" or "Y Scale Error", or silently for a quadrant or a
    // shape without a layer) when nothing changed.
    bool PasteRegion(const CRegionClip& clip);
    // The plot defaults take this plot's values.
    void AsDefault();
    // A plot on gate at a page point, default size and axes, made active.
    CPLOT* NewPlotForGate(CPoint at, CGateNode* gate);
    // Picture of the plot area and the region layers but the edited one,
    // kept while a region is dragged.
    void CreateDragCache();
    // The cache, then the edited layer, at the page with the painter moved by
    // (-dx, -dy). False without a cache.
    bool DrawDragCacheAt(QPainter* painter, int32_t dx, int32_t dy);
    void FreeDragCache();
    bool IsDragCacheReady() const { return !m_dragCache.isNull(); }
    static void SetCommandHooks(const PlotCommandHooks& hooks);
    static const PlotCommandHooks& GetCommandHooks();
    // Menu ids of gate i and parameter i, and back (false for other ids).
    static int32_t GateCommandId(int32_t gateIndex);
    static int32_t ParamCommandId(int32_t paramIndex);
    static bool DecodeGateCommand(uint32_t id, int32_t* gateIndex);
    static bool DecodeParamCommand(uint32_t id, int32_t* paramIndex);

    // ---- picture export (PlotExport.cpp) ----
    // The object's rectangle drawn on white, its width made even.
    QImage RenderPicture();
    // "Export Graphic": a save dialog, then ExportGraphicTo; failures shown.
    void ExportGraphic();
    // Writes the picture as JPG (".jpg", ".jpeg") or BMP (".bmp"), the
    // extension read without regard to case; false with *error otherwise.
    bool ExportGraphicTo(const QString& path, QString* error);

    // ---- regions ----
    const std::vector<std::unique_ptr<CLayer>>& GetRegionLayers() const { return m_regionLayers; }
    const std::vector<CDataRgn*>& GetShownRegions() const { return m_shownRegions; }
    // Takes a region layer made for this plot (null is ignored).
    CLayer* AddRegionLayer(std::unique_ptr<CLayer> layer);
    // The region is shown on this plot through a region layer of its type.
    void ShowRegion(CDataRgn* region);
    // The region leaves the shown regions and its layer is deleted.
    void HideRegion(CDataRgn* region);
    // Region layer i as a region editor (null out of range or for a layer
    // that is not one); the index of a layer, -1 when not listed.
    CRgnLayer* GetRgnLayer(int32_t i) const;
    int32_t GetRegionLayerIndex(const CLayer* layer) const;
    // Deletes one region layer (by identity) and every pointer to it.
    void RemoveRegionLayer(CLayer* layer);
    void SelectRegionLayer(int32_t i);
    CLayer* GetSelectedRegionLayer() const { return m_selectedRgn; }
    CLayer* GetEditedRegionLayer() const { return m_editedRgn; }
    CLayer* GetPressedRegionLayer() const { return m_pressedRgn; }
    void SetEditedRegionLayer(CLayer* l) { m_editedRgn = l; }
    void SetPressedRegionLayer(CLayer* l) { m_pressedRgn = l; }
    // Paints the marks of mask in colour at the page point, every other pixel
    // left as it was.
    static void PaintMask(QPainter& painter, const QImage& mask, COLORREF colour, CPoint at);

    // ---- overlays ----
    // Appends a clone of layer made for this plot, shown; sets the overlay bit.
    CLayer* AddOverlayLayer(CLayer& layer);
    // Called by a dying overlay: it leaves the overlay lists.
    void RemoveOverlayLayer(CLayer* layer);
    void DeleteOverlay(int32_t i);
    // Overlay i is drawn (or not); nothing for an index out of range.
    void SetOverlayVisible(int32_t i, bool visible);
    const std::vector<std::unique_ptr<CLayer>>& GetOverlayLayers() const { return m_overlays; }
    const std::vector<uint8_t>& GetOverlayVisibility() const { return m_overlayVisible; }

    // ---- the pictures the plot draws ----
    // The plot area as the layers paint it (background, own layers, overlays),
    // rebuilding first when dirty. Null for an area that is not usable.
    QImage RenderArea();
    // The mask of a region layer in the area's size.
    QImage RenderRegionMask(CLayer& layer) const;

    static void SetLayerMakers(const PlotLayerMakers& makers);
    static const PlotLayerMakers& GetLayerMakers();

    // Reserved words and strings, kept in the record only.
    int32_t reservedA = kPlotReservedA;
    int32_t reservedB = 0;
    int32_t reservedC = 0, reservedD = 0, reservedE = 0;
    std::string reservedF, reservedG, reservedH;

private:
    void InitDefaults();
    void InitForGate(CGateNode* gate, int32_t xPar, int32_t yPar);
    void CopyFrom(const CPLOT& source, VexaDataShell* shell);
    void FixParams(int32_t xPar, int32_t yPar);
    // SetXParam / SetYParam: the new parameter on one axis, layers following.
    void SetAxisParam(bool xAxis, int32_t i);
    void LogNewNodePlot();
    // OnContextCommand's work, without the modified mark.
    bool CarryOutCommand(uint32_t id, int32_t extra);
    void SetKindFromMenu(int32_t flags);
    // The last overlay went: the plot is a plain plot of its kinds again.
    void LeaveOverlayKind();
    void InvalidateInDocument();
    // Drops everything that refers to gates (no document to remove the plot).
    void LetGoOfGate();
    void DrawTitle(QPainter& p);
    // The axis titles, each moved clear of the tick labels in labels (the
    // boxes the X and the Y scale drew them in; empty for none).
    void DrawAxisTitles(QPainter& p, const CRect& xLabels, const CRect& yLabels);
    // Frame, ticks and tick labels; the boxes of the X and Y labels drawn go
    // to xLabels and yLabels.
    void DrawAxes(QPainter& p, CRect* xLabels, CRect* yLabels);
    // handles: a selected region shows its handles (the screen only).
    void DrawPlot(QPainter& p, bool handles);
    void DrawLayers(QPainter& p, bool handles);
    // A region layer's outline (and handles) as a mask, its label left out.
    QImage RenderRegionOutline(CLayer& layer, bool handles) const;
    // The labels of the region layers shown (but skip), on top of everything
    // in the area.
    void DrawRegionLabels(QPainter& p, const CLayer* skip = nullptr);
    bool RegionLayerDrawn(CLayer& layer) const;
    // The first region layer whose label holds the page point (visible,
    // drawn, a quadrant only when asked); its index in *index.
    CRgnLayer* RegionLabelAt(CPoint point, int32_t* index, bool quadrants) const;
    bool PressRegionLayers(CPoint point, int32_t* state);
    bool StartRegion(int32_t tool, CPoint point, int32_t* state);
    // The shape drawn in layer becomes a gate under the plot's gate.
    void FinishRegion(CRgnLayer* layer, int32_t* state);
    // The layer of region from the region maker, the one way plots make
    // them; null for a shape without one.
    std::unique_ptr<CLayer> MakeLayerForRegion(CDataRgn* region);
    void ClearRegionLayers();
    // The main frame's panels learn of the plot's shell and gate.
    void TellFrameOfGate() const;
    // The area's size changed since the layers were computed.
    bool AreaChanged() const;
    CGateNode* GateOfShell(int32_t index) const;
    CDataRgn* RegionOfShell(int32_t index) const;
    std::unique_ptr<CTRANS> ShellTransClone(int32_t param) const;

    int32_t m_maxDotEvents = 0;
    int32_t m_xPar = 0;
    int32_t m_yPar = 1;
    std::unique_ptr<CTRANS> m_xTrans;
    std::unique_ptr<CTRANS> m_yTrans;
    CRect m_savedRect;
    bool m_zoomed = false;
    int32_t m_flags = kPlotFlagDots;
    int32_t m_state = kPlotReady;
    std::unique_ptr<CHistLayer> m_histLayer;
    std::vector<std::unique_ptr<CDotLayer>> m_dotLayers;
    std::unique_ptr<CLayer> m_contourLayer;
    std::unique_ptr<CLayer> m_densityLayer;
    std::vector<std::unique_ptr<CLayer>> m_regionLayers;
    std::vector<std::unique_ptr<CLayer>> m_overlays;
    std::vector<uint8_t> m_overlayVisible;
    std::vector<CDataRgn*> m_shownRegions;
    CLayer* m_selectedRgn = nullptr;
    CLayer* m_editedRgn = nullptr;
    CLayer* m_pressedRgn = nullptr;
    COLORREF m_background = 0xFFFFFF;
    bool m_dirty = false;
    int32_t m_contextExtra = 0;
    QImage m_dragCache;  // the plot area while a region is dragged
    const CLayer* m_dragCacheLeftOut = nullptr;  // the region layer the cache leaves out (compared only)
    CSize m_builtArea;  // area size the layers were last computed for
};
