#pragma once
// Region layers: the on-plot editors of gate regions. A region layer draws
// its region's outline over the plot area with a label (the region's name and
// the share of the plot gate's events that fall in it) and turns the presses,
// drags and releases its plot hands on into new geometry.
//
// Coordinates (W x H is the plot area, taken afresh at every use):
//   layer:    x from the area's left edge, y upward from its bottom edge;
//             all shape geometry is kept here, in whole pixels
//   drawing:  origin at the area's top-left, y downward; a layer point
//             (x, y) is drawn at (x, H - y); the label rectangle lives here
//   page:     what the mouse handlers receive; converted to layer
//             coordinates first (x - A.left, A.bottom - y), except for the
//             label hit test, which works on the page point
//   region:   fractions x / W and y / H (CDataRgn keeps these)
//
// The layer listens to its region (CDataRgnGPUser): its own edits are pushed
// as fractions, edits made elsewhere come back through RegionChanged.
//
// Mouse states (TrackState, shared with the plot and the report view):
//   0 idle, 1 creating (set by the plot before the first press of a new
//   layer), 2 rubber band, 3 selected, 4 handle drag, 5 move, 8 label drag.
#include <QFont>
#include <QImage>

class QPainter;

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Geometry.h"
#include "core/Region.h"
#include "report/plot/Layer.h"

class CArchive;
class CGateNode;
class CPLOT;

// Layer coordinates are kept inside +-kRgnCoordLimit so that the sums and
// differences the editing makes never overflow, whatever a file or a pointer
// hands in.
constexpr int32_t kRgnCoordLimit = 1 << 24;
// Handle squares are 2 * kRgnHandleHalf + 1 pixels wide.
constexpr int32_t kRgnHandleHalf = 3;
// Label clamping leaves a label that ran past the right edge this far inside.
constexpr int32_t kRgnLabelRightInset = 10;

// Drawing surface of the region layers: one colour on a picture of the plot
// area, with the platform's pixel rules (lines leave out their end pixel,
// rectangles their right and bottom edge). Texts go into the picture too, or,
// on a canvas made for a painter, to that painter alone: label texts drawn
// there are shaped at the device's own resolution, so they stay sharp at
// every zoom and on paper, and each sits on a halo of the plot's background
// that keeps it legible over the dots.
class RgnCanvas {
public:
    // Marks and texts in colour, texts in font. The picture must outlive the
    // canvas.
    RgnCanvas(QImage& image, QRgb colour, const QFont& font);
    // Texts only, through painter (mapped to page units), for an area of
    // size whose top-left lies at origin; marks are dropped. halo is the
    // colour around each text.
    RgnCanvas(QPainter& painter, CPoint origin, CSize size, QRgb colour, QRgb halo, const QFont& font);

    int32_t Width() const { return m_size.cx; }
    int32_t Height() const { return m_size.cy; }
    void Pixel(int32_t x, int32_t y);
    // From a to b, b left out.
    void Line(CPoint a, CPoint b);
    // Outline of r (normalised first), right and bottom edge left out.
    void Rectangle(const CRect& r);
    // The ellipse inscribed in r (normalised first), outline only.
    void Ellipse(const CRect& r);
    void FillRect(const CRect& r);
    // Extent of a single line of text in the canvas font (0 x 0 for "").
    CSize TextExtent(const std::string& text) const;
    // Text with its top-left at (x, y).
    void Text(int32_t x, int32_t y, const std::string& text);

    // Width of the halo drawn around texts on a painter, in page units.
    static constexpr double kHaloWidth = 3.0;

private:
    void PaintedText(int32_t x, int32_t y, const std::string& text);

    QImage* m_image = nullptr;
    QPainter* m_painter = nullptr;
    CPoint m_origin;
    CSize m_size;
    QRgb m_colour;
    QRgb m_halo = 0;
    QFont m_font;
};

class CRgnLayer : public CLayer, public CDataRgnGPUser {
public:
    ~CRgnLayer() override;

    // ---- CLayer ----
    // Region layers are never cloned into overlays.
    std::unique_ptr<CLayer> Clone(CPLOT*) override { return nullptr; }
    // The plot area changed size: the label goes back to its fractions and
    // the shape is read again from the region.
    void Reset() override;
    // Shape (with handles when selected), name and percentage in the layer
    // colour.
    void Draw(QImage& area) override;
    // The same marks in black on the white mask picture.
    void DrawMask(QImage& mask) override;
    // What the plot composes: the shape (with its handles when selected and
    // handles is true) in black on the white mask picture, without the label,
    // which the plot paints on its own (DrawLabel).
    void DrawOutlineMask(QImage& mask, bool handles);
    // Name and percentage through painter (mapped to page units) on the plot
    // area area, each on a halo of the colour halo, clipped to the area.
    void DrawLabel(QPainter& painter, const CRect& area, COLORREF halo);
    // Record: label rectangle (4 x int32), label fractions (2 x float32).
    // The shape comes from the region, not from the record.
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;
    void SetOwnsTransforms(bool) override {}
    CDataRgn* GetRegion() const override { return m_region; }
    // The shape's RegionType, whether or not the region exists yet.
    int32_t GetRegionType() const override = 0;
    // The region's x and y parameters are these two (false without region).
    bool ParamsMatch(int32_t xPar, int32_t yPar) const override;
    // The region's parameters, or while the shape is still being drawn (no
    // region yet) the parameters it is drawn on. A layer whose region was
    // deleted is drawn nowhere.
    bool DrawnOn(int32_t xPar, int32_t yPar) const override;
    // Share of the plot gate's events in the region's gate, "%.2f" without a
    // percent sign; "0.00" when the plot gate has no events or the plot no
    // gate; "" without a region. Only while the percentage is shown (and
    // again at every drawing).
    void UpdatePercentText() override;
    void SetSelected(bool selected) override { m_selected = selected; }

    // ---- CDataRgnGPUser ----
    // The region's geometry changed elsewhere: pixels, then the percentage.
    // A change this layer pushes itself is not read back.
    void RegionChanged() override;
    // The region is being destroyed: the layer lets go of it.
    void RegionDeleted(CDataRgn* region) override;
    // The label shows the new name at once.
    void RegionRenamed() override;

    // ---- mouse (page points; state is the view's tracking state) ----
    // Each returns true when the layer took the event; what it does to
    // *state follows the state tables of the region layers. A plot area of
    // no size (or beyond the drawable limits) takes nothing.
    virtual bool OnButtonDown(CPoint page, int32_t* state);
    virtual bool OnButtonUp(CPoint page, int32_t* state);
    virtual bool OnDrag(CPoint page, int32_t* state);
    // Simple shapes take a double click and change nothing.
    virtual bool OnDoubleClick(CPoint page, int32_t* state);

    // ---- hit tests ----
    // The page point lies in the label rectangle placed on the area.
    virtual bool HitLabel(CPoint page) const;
    // Layer coordinates.
    virtual bool HitOutline(CPoint p) const = 0;
    // Handle index at p (layer coordinates), -1 for none.
    virtual int32_t HitHandle(CPoint p) const = 0;

    // ---- the region ----
    // A new region from the current pixels, which this layer then listens
    // to; the caller hands it to the shell (VexaDataShell::AddRegionGate).
    // Null when the layer already has a region (GetRegion) or the area has
    // no size.
    virtual std::unique_ptr<CDataRgn> MakeRegion() = 0;
    // Writes the pixels into the region as fractions (this layer is not
    // called back), then the percentage; the plot's report is marked
    // modified. Nothing without a region or area.
    void PushGeometry();
    // The gate owning the region, null without one.
    virtual CGateNode* GetRegionGate() const;
    // The region's name, "" without a region.
    std::string GetRegionName() const;
    // Puts the label at the shape's default place and takes its fractions.
    virtual void PlaceLabel() = 0;
    // The label, placed before the region had its name, is brought inside
    // the area with the text it shows now, and its fractions are taken.
    void KeepLabelInArea();
    // A new shape of this kind can be drawn on the plot area as it is now.
    virtual bool AreaFitsTool() const { return true; }

    // ---- plain state ----
    bool IsSelected() const { return m_selected; }
    bool IsVisible() const { return m_visible; }
    void SetVisible(bool on) { m_visible = on; }
    bool GetShowPercent() const { return m_showPercent; }
    // Turning the percentage on computes it at once.
    void SetShowPercent(bool on);
    const std::string& GetPercentText() const { return m_percent; }
    int32_t GetXParam() const { return m_xPar; }
    int32_t GetYParam() const { return m_yPar; }
    const CRect& GetLabelRect() const { return m_label; }
    void SetLabelRect(const CRect& r);
    float GetLabelFractionX() const { return m_fx; }
    float GetLabelFractionY() const { return m_fy; }
    CPoint GetLastPoint() const { return m_last; }
    int32_t GetHandle() const { return m_handle; }
    // Width and height of the plot area now.
    CSize AreaSize() const;
    // The area can be edited: positive and within the drawable limits.
    bool AreaUsable() const;

    // ---- coordinate helpers (shared by every shape) ----
    // Page point to layer coordinates, kept within the coordinate limit.
    CPoint ToLayer(CPoint page) const;
    // n * f truncated toward zero (a shape stored as x / n comes back as x),
    // within the coordinate limit; 0 for NaN.
    static int32_t FractionToPixel(int32_t n, float f);
    // a + b within the coordinate limit.
    static int32_t AddClamped(int64_t a, int64_t b);

protected:
    // A layer of plot on parameters (xPar, yPar), no region yet.
    CRgnLayer(CPLOT* plot, int32_t xPar, int32_t yPar);

    // Registers with region (AddUser ignores a second registration) and
    // keeps it; parameters come from the region.
    void BindRegion(CDataRgn* region);
    // Constructor tail for an existing region: register, read the shape,
    // place the label.
    void AttachExisting(CDataRgn* region);

    // ---- what each simple shape supplies to the shared state machine ----
    // (Shapes with a machine of their own override the mouse handlers and
    // can leave these alone.)
    // Press in state 1: the shape starts at p.
    virtual void BeginShape(CPoint /*p*/) {}
    // Release: bounds put in order (x0 <= x1, y0 <= y1).
    virtual void OrderShape() {}
    // State 2: the free corner follows p.
    virtual void DragRubberBand(CPoint /*p*/) {}
    // State 4: the grabbed handle follows p.
    virtual void DragHandle(CPoint /*p*/) {}
    // State 5: the shape and the label move with p; last point updated.
    virtual void DragMove(CPoint /*p*/) {}
    // In state 3 a press on the label (off handles and outline) starts a
    // label drag instead of deselecting.
    virtual bool LabelDragWhenSelected() const { return false; }
    // Number of handles HitHandle can answer.
    virtual int32_t HandleCount() const { return 0; }

    // ---- the release, shared by every shape ----
    // The state a finished handle drag (a move) leaves.
    virtual int32_t StateAfterHandleDrag() const;
    virtual int32_t StateAfterMove() const;
    // A handle drag carries the label along (the cross's only handle is the
    // whole shape): the label is clamped and its fractions taken.
    virtual bool HandleDragMovesLabel() const { return false; }
    // A release in a state of the shape's own (other than 2, 4, 5 and 8):
    // true when taken.
    virtual bool ReleaseOwnState(CPoint /*page*/, int32_t* /*state*/) { return false; }

    // Region <-> pixels.
    virtual void ReadRegionGeometry() = 0;
    virtual void WriteRegionGeometry() = 0;

    // ---- drawing ----
    virtual void DrawShape(RgnCanvas& canvas) = 0;
    virtual void DrawHandles(RgnCanvas& canvas) = 0;
    // The name at the label's top-left; the label's right and bottom follow
    // the text's extent.
    virtual void DrawName(RgnCanvas& canvas);
    // The percentage on the line under the name.
    virtual void DrawPercent(RgnCanvas& canvas);
    // A 7 x 7 handle square centred on the layer point (hx, hy).
    void DrawHandleAt(RgnCanvas& canvas, int32_t hx, int32_t hy) const;

    // ---- label ----
    // The label becomes an empty rectangle at anchor (drawing coordinates),
    // is brought inside the area like a dropped label (one outside could be
    // neither seen nor grabbed) and its fractions are taken.
    void PlaceLabelAt(CPoint anchor);
    // The label's centre rule of boxes: the middle of (x0, y0)-(x1, y1).
    void PlaceLabelAtBoxCentre(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    // Whether the percentage line is drawn under the name (the shapes that
    // show their shares elsewhere, or not at all, say no).
    virtual bool PercentUnderName() const { return true; }
    // The share of the plot gate's events in the region's gate as the
    // percentage text shows it (see UpdatePercentText), whatever show
    // percentage says.
    std::string SharePercentText() const;
    // The share, as text, of the plot gate's events that lie in gate's
    // region ("0.00" when the plot gate has none). The count is kept until
    // either gate's events change: a paint does not count again.
    std::string SharePercentOf(const CGateNode* gate) const;
    // A drag starts at the press; until the pointer leaves that point
    // nothing is edited, so a plain click never rewrites the region from
    // pixels (which would round it to the current area's size).
    void BeginDrag(CPoint layerPoint);
    // The pointer is at p during a drag: false while it has not left the
    // press point yet.
    bool NoteDragTo(CPoint p);
    bool Dragged() const { return m_dragged; }
    // The label rectangle moves by (dx, dy) in drawing coordinates.
    void OffsetLabel(int64_t dx, int64_t dy);
    // A label past an edge of the area is brought back inside: the text as
    // it is drawn, name and percentage line, not only the rectangle last
    // measured (empty for a label just placed).
    void ClampLabel();
    // Width and height of the name and, under it, the percentage line.
    CSize LabelExtent() const;
    // fx, fy := the anchor's clamped fractions.
    void TakeLabelFractions();
    // Reset when the area changed size since the pixels were made.
    void SyncArea();
    // The area size the pixels were last made for.
    CSize SyncedArea() const { return m_syncedArea; }

    CDataRgn* m_region = nullptr;  // not owned: the region's gate owns it
    bool m_selected = false;
    bool m_visible = true;
    CPoint m_last;
    int32_t m_xPar = 0;
    int32_t m_yPar = 0;
    CRect m_label;
    float m_fx = 0.0f;
    float m_fy = 0.0f;
    std::string m_percent;
    bool m_showPercent = true;
    int32_t m_handle = -1;

private:
    void DrawAll(RgnCanvas& canvas, bool handles, bool texts);
    // Name, then the percentage when it is shown.
    void DrawTexts(RgnCanvas& canvas);
    QFont LabelFont(bool forMask) const;

    CSize m_syncedArea;     // area size the pixels were made for
    bool m_hadRegion = false;  // a region was bound once: no longer a shape being drawn
    bool m_pushing = false;  // the region's notice of our own push is ignored
    CPoint m_pressAt;        // layer point of the press that started the drag
    bool m_dragged = false;  // the pointer has left m_pressAt since
    // Counts of plot events in a region's gate (a quadrant has four), each
    // with the mask serials of the two gates it was taken from.
    struct ShareCount {
        const CGateNode* gate = nullptr;
        uint64_t gateSerial = 0;
        uint64_t plotSerial = 0;
        uint32_t count = 0;
    };
    mutable std::vector<ShareCount> m_shareCounts;
};

// ---- making region layers ----

// The layer a drawing tool creates (TrackState -1 range, -2 rectangle,
// -3 ellipse, -4 polygon, -5 quadrant) on the plot's parameters; null for
// other tools and for a shape the plot area is too small for.
std::unique_ptr<CRgnLayer> CreateRegionLayerForTool(int32_t tool, int32_t xPar, int32_t yPar, CPLOT* plot);
// The layer showing an existing region, by its type; null for a region
// without a layer class here, or null region.
std::unique_ptr<CRgnLayer> CreateRegionLayerFor(CDataRgn* region, CPLOT* plot);
