#pragma once
// The report view: a scrollable, zoomable picture of one document's canvas,
// pages across x pages down of white sheets on a grey ground, with the page
// objects drawn in stacking order (the active one last) and the selection
// frames on top; and the printing of that canvas, one canvas page to a
// printed page, with a preview.
//
// Page units map to pixels by the zoom (0.2 to 5.0; 1.0 is one pixel a
// unit); y grows downward in both. Edits never repaint the whole window: the
// document's dirty rectangles and dirty objects become a repaint region, in
// which an object is repainted only where no object stacked above it covers
// it, so neighbours (plots of many events) are not redrawn.
//
// Input (ViewInput.cpp, ViewMenus.cpp, ViewDrop.cpp, ViewCreate.cpp): one
// tracking state (TrackState) drives selecting, moving, resizing and making
// page objects with the left button and hands presses on the active plot to
// its region editing; the right button opens the page, selection and object
// menus; Delete, Ctrl+G and Ctrl+C act on the selection; FCS files dropped
// from the desktop become plots. Every point the input keeps is in page
// units, so nothing depends on the zoom or the scroll position between a
// press and its release. Drag feedback (resize and move frames, rubber
// bands) is painted from that state over the page.
#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QRegion>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Geometry.h"
#include "report/page/TrackStates.h"

class CGateNode;
class CLumitraDoc;
class CPLOT;
class CTrkObj;
class QPainter;
class QPrinter;
class QPrintPreviewDialog;
class VexaDataShell;
struct CDragRecord;

// Buttons and keys held with a mouse event, as the page objects' handlers
// receive them.
enum MouseKeyFlags : uint32_t {
    kMkLButton = 0x01,
    kMkRButton = 0x02,
    kMkShift = 0x04,
    kMkControl = 0x08,
    kMkMButton = 0x10,
};

// Commands that arm the view's tools. No menu, toolbar or key offers them;
// the region tools are reached through the plot menu, text boxes and grids
// through the page menu.
enum ViewToolCommand : int32_t {
    kCmdTextTool = 32778,
    kCmdGridTool = 32779,
    kCmdRangeToolCmd = 32780,
    kCmdRectToolCmd = 32781,
    kCmdEllipseToolCmd = 32782,
    kCmdPolygonToolCmd = 32783,
    kCmdQuadrantToolCmd = 32784,
};

// Items of the view's own menus.
enum ViewMenuCommand : int32_t {
    // Page menu (and the results it understands without offering them).
    kPageCmdTextBox = 1,
    kPageCmdNewGrid = 2,
    kPageCmdSetPageNum = 3,
    kPageCmdSaveJpg = 4,
    kPageCmdInfoAssistant = 5,
    kPageCmdSetPilot = 6,
    kPageCmdPdf = 7,
    // Menu of a multi-selection.
    kSelCmdDelete = 1,
    kSelCmdSaveJpg = 2,
};

// File List switches read when files are dropped on the page.
enum DropTemplateBits : int32_t {
    kDropUseTemplate = 1,    // new data sets take the template's analysis
    kDropCopyPlots = 2,      // ... and copies of its plots
    kDropCopyResults = 4,    // ... and of its result table
    kDropBreakRows = 8,      // each later file's copies start a new row
};

// Makers of page objects and dialogs that other parts of the program supply
// (text boxes, result tables, grids and their dialogs, the Info Assistant).
// Until one is registered the view's command that needs it does nothing.
struct ViewObjectMakers {
    // A text box in the rectangle (an empty rectangle: its default size at
    // the rectangle's top-left).
    std::unique_ptr<CTrkObj> (*textBox)(CLumitraDoc* doc, const CRect& rect) = nullptr;
    // A result table of shell at the point; a copy of templ's columns when
    // templ is given.
    std::unique_ptr<CTrkObj> (*resultTable)(CLumitraDoc* doc, VexaDataShell* shell, CPoint at,
                                            const CTrkObj* templ) = nullptr;
    // A grid of rows x columns at the point.
    std::unique_ptr<CTrkObj> (*grid)(CLumitraDoc* doc, CPoint at, int32_t rows, int32_t columns) = nullptr;
    // The new-grid dialog: true on OK with the rows and columns chosen.
    bool (*newGridDialog)(QWidget* parent, int32_t* rows, int32_t* columns) = nullptr;
    // Binds the Info Assistant to the document and shows it.
    void (*infoAssistant)(CLumitraDoc* doc) = nullptr;
};

class CLumitraView : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr float kMinZoom = 0.2f;
    static constexpr float kMaxZoom = 5.0f;
    // Selection frames are this many pixels thick.
    static constexpr int kTrackerThickness = 3;
    // The timer that turns a held press on a plot's title band into a drag.
    static constexpr int kHoldTimerId = 1;

    explicit CLumitraView(CLumitraDoc* doc, QWidget* parent = nullptr);
    ~CLumitraView() override;

    // Null once the document has gone.
    CLumitraDoc* GetDocument() const { return m_doc; }
    // The document is going away: forget it (the view then shows nothing).
    void DetachDocument();

    float GetZoom() const { return m_zoom; }
    // Accepted only for 0.2 <= z <= 5.0; returns whether it was. The scroll
    // range becomes the canvas at that zoom and the whole view repaints.
    bool SetZoom(float z);
    int32_t GetTrackState() const { return m_trackState; }
    // A state other than the title press stops the hold timer.
    void SetTrackState(int32_t state);

    CSize GetCanvasSize() const;
    CTrkObj* GetActiveObject() const;
    // Topmost object whose rectangle holds the page point, or null.
    CTrkObj* ObjectAtPoint(CPoint page) const;

    // Conversions between viewport pixels and page units at the zoom and
    // scroll position.
    CPoint ClientToLogical(const QPoint& client) const;
    CRect ClientRectToLogical(const CRect& client) const;
    QPoint LogicalToClient(CPoint page) const;
    // Every pixel the page rectangle touches (normalised).
    CRect LogicalRectToClient(const CRect& page) const;
    // The pixels lying wholly inside the page rectangle (may be empty).
    CRect LogicalRectToClientInside(const CRect& page) const;
    // The page units under a client rectangle, every partly covered unit
    // included.
    CRect ClientRectToLogicalCover(const CRect& client) const;
    // Maps a painter on the viewport from page units (scroll and zoom).
    void ApplyScreenMapping(QPainter& painter) const;

    // Forwarders to the document's dirty lists.
    void AddDirtyRect(const CRect& rect);
    void InvalidateObject(CTrkObj* obj);
    void RedrawDocument();

    // Called by the document.
    void OnInitialUpdate();
    void OnUpdate();
    // Repaints this view's share of the document's dirty lists: every dirty
    // rectangle, the active object (a text box being edited shows itself),
    // each dirty object where nothing stacked above covers it, the frames.
    void RedrawDirtyAreas();
    // The active object where it shows, and the frames.
    void RedrawActiveObject();
    // Repaints the selection frames (after the selection changed).
    void UpdateTrackers();
    void DrawTrackersNow() { UpdateTrackers(); }
    // One object's frame (a multi-selected object that joined).
    void DrawObjectTracker(CTrkObj* obj);
    void OnObjectRemoving(CTrkObj* obj);
    // Scrolls as little as it takes to bring a page rectangle (a new
    // object) into sight; one larger than the viewport shows its top-left.
    void ShowPageRect(const CRect& page);

    // A page rectangle is repainted (everything that lies in it, the active
    // object on top).
    void RedrawRect(const CRect& page);
    // The object is repainted only where no object stacked above covers it.
    void RedrawObjectMasked(CTrkObj* obj);

    // What the repaints cover, in viewport pixels, clipped to the viewport
    // first (nothing is made for what cannot be seen): a page rectangle, and
    // an object's rectangle less the parts that objects above it cover.
    QRegion RepaintRegionOfRect(const CRect& page) const;
    QRegion RepaintRegionOfObject(const CTrkObj* obj) const;

    // Paints the viewport region as a paint event does: the canvas under it
    // (grey ground, white pages, page borders, the objects that reach the
    // region, the active one last), the hint while the document holds no data
    // set, and the selection frames. Nothing outside the region is touched.
    void PaintClient(QPainter& painter, const QRegion& region);
    // The hint shown while no data set is open.
    static QString HintText();

    // ------------------------------------------------------------- printing
    // Pages across x pages down.
    int32_t GetMaxPage() const;
    // Prints the canvas on printer (one canvas page a printed page); false
    // with *error when the printer could not be used.
    bool PrintTo(QPrinter& printer, QString* error) const;
    // Print (the print dialog first), print directly on the current printer,
    // and the print preview. The printer is the application's (Print Setup).
    bool OnFilePrint();
    bool OnFilePrintDirect();
    void OnFilePrintPreview();
    // The preview's layout: two pages side by side.
    static void PreparePreview(QPrintPreviewDialog& dialog);

    // A timer tick: the hold timer turns a held title-band press into a plot
    // drag (the timer is stopped first: it fires once).
    void OnTimer(int id);

    // The view that last took a left-button press or release (null when none,
    // or when it has gone).
    static CLumitraView* GetCurrentView();
    // The active view of the main frame's active child, or null.
    static CLumitraView* GetActiveLumitraView();

    // ---------------------------------------------------------------- input
    // The handlers the widget's events come to; client points are viewport
    // pixels, flags MouseKeyFlags.
    void OnLButtonDown(uint32_t flags, const QPoint& client);
    void OnMouseMove(uint32_t flags, const QPoint& client);
    void OnLButtonUp(uint32_t flags, const QPoint& client);
    void OnLButtonDblClk(uint32_t flags, const QPoint& client);
    void OnMButtonDown(uint32_t flags, const QPoint& client);
    void OnMButtonUp(uint32_t flags, const QPoint& client);
    // The context menus; globalPos is where a menu opens.
    void OnRButtonDown(uint32_t flags, const QPoint& client, const QPoint& globalPos);
    // Delete, Ctrl+G, Ctrl+C and Escape; true when the key was used.
    bool OnKeyDown(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat);
    // Escape: a region shape being drawn on the active plot is given up;
    // false when none is being drawn.
    bool CancelShapeInProgress();
    // The focus went elsewhere: a region being drawn on the active plot is
    // given up, and so is any drag the view was tracking.
    void OnKillFocus();
    // Commands 32778 .. 32784: arm the text, grid and region tools.
    bool OnToolCommand(int32_t id);
    // Page menu results (ViewMenuCommand) at a page point.
    void OnPageCommand(int32_t id, CPoint page);
    // FCS files dropped at a client point: see ViewDrop.cpp.
    void OnDropFiles(const QStringList& paths, const QPoint& client);
    // A gate dragged here and released ("WM_DD_DRAGDROP"): a plot of it at
    // the drop point on empty page or on an object that is not a plot, a
    // repaint of a histogram or overlay plot, nothing on other plots. The
    // answer is always 0.
    intptr_t OnGateDropped(const CDragRecord& record);

    // Where the current press started and where the pointer was last seen
    // (page units).
    CPoint GetStartPoint() const { return m_start; }
    CPoint GetPreviousPoint() const { return m_previous; }
    bool IsHoldTimerActive() const { return m_holdTimer.isActive(); }
    // The drag feedback now painted (page units) and its thickness in pixels.
    const std::vector<CRect>& GetFeedbackRects() const { return m_feedback; }
    int GetFeedbackThickness() const { return m_feedbackThickness; }
    // Tenths of a millimetre 1000 screen pixels span, truncated (nothing
    // reads them).
    float GetScreenUnitsX() const { return m_screenUnitsX; }
    float GetScreenUnitsY() const { return m_screenUnitsY; }

    // ------------------------------------------------ selection and deletion
    // No active object; obj leaves the multi-selection and the page (it is
    // freed); state := idle; the page re-arranges when auto-arrange is on.
    void DeleteObject(CTrkObj* obj);
    // No active object and an empty multi-selection.
    void ClearSelection();

    // ------------------------------------------------------------- creation
    // Each adds the new object to the document, re-arranges (auto-arrange
    // only, text boxes excepted) and makes it active; those that say so end
    // with the document's redraw. Null when nothing was made. A new object
    // goes to the nearest free place on the page (CLumitraDoc::
    // FitObjectInPages) unless the user drew or dragged its rectangle.
    //
    // A text box in the band drawn (normalised first); redraws.
    CTrkObj* NewTextItem(const CRect& rect);
    // A text box of the default size at a point clicked; redraws.
    CTrkObj* NewTextItemAt(CPoint page);
    // A plot of the default size at (x, y) on the first gate of data set 0 of
    // the file (an open one reused), axes clamped to the data set; without a
    // data set "FCS文件打开失败!" and nothing. No redraw.
    CPLOT* NewPlotAt(int32_t x, int32_t y, int32_t xPar, int32_t yPar, const std::string& path);
    // A plot in the rectangle on the gate (none: without a gate); kept there
    // with keepPlace (a frame the user dragged). No redraw.
    CPLOT* NewPlotInRect(const CRect& rect, int32_t xPar, int32_t yPar, CGateNode* gate, bool keepPlace = false);
    // A plot of data set 0 of the file at the pilot point with the default
    // axes, placed in reading order as a dropped file is; null (after
    // "FCS文件打开失败!" naming the file and why) when the file gives no data
    // set. No redraw.
    CPLOT* NewPlotOfFileAtPilot(const std::string& path, bool forceNewRow = false);
    CPLOT* NewPlotAtPilot(int32_t xPar, int32_t yPar, CGateNode* gate);
    // The File List's "Open": default size at the pilot point, first gate,
    // default axes; redraws.
    CPLOT* OpenShellInNewPlot(VexaDataShell* shell);
    // A gate dragged from the Navigate panel: default size at (x, y); null
    // gate: a plot on no gate. A gate of a data shell this document does not
    // own is refused with a message (the plot would outlive the gate).
    CPLOT* NewPlotFromPayload(int32_t x, int32_t y, CGateNode* gate);
    // A copy of templ on shell at (x, y) with templ's size when the two data
    // sets have the same layout; else the question "数据不兼容！..." (OK: a
    // plain plot on the first gate, Cancel: nothing). No shell: "FCS文件打开
    // 失败!". No templ: a plain plot without a gate. No redraw.
    CPLOT* NewPlotFromTemplate(int32_t x, int32_t y, CPLOT* templ, VexaDataShell* shell);
    // A copy of source in the rectangle (dragged there: kept); redraws.
    CPLOT* CopyPlotTo(const CRect& rect, CPLOT* source);
    // A result table (refused after "Result Item can't create twice" when the
    // shell has one); redraws.
    CTrkObj* NewResultItem(int32_t x, int32_t y, VexaDataShell* shell);
    CTrkObj* NewResultItemInView(VexaDataShell* shell);
    CTrkObj* NewResultFromTemplate(int32_t x, int32_t y, VexaDataShell* shell, CTrkObj* templ);
    CTrkObj* NewGridAt(int32_t x, int32_t y, int32_t rows, int32_t columns);

    static void SetObjectMakers(const ViewObjectMakers& makers);
    static const ViewObjectMakers& GetObjectMakers();

signals:
    // The view took the focus: its frame makes it the active pane.
    void viewActivated(CLumitraView* view);
    // Page units map to other pixels (scrolled or zoomed): widgets laid over
    // page objects move with them.
    void mappingChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void UpdateScrollRanges();
    // Schedules a repaint of a page rectangle, grown by the tracker frame.
    void UpdatePageRect(const CRect& page);
    std::vector<CRect> TrackerRects() const;
    bool HintWanted() const;
    QPrinter* Printer();
    bool PrintAndReport(QPrinter& printer);

    // ---- input helpers ----
    static void SetCurrentView(CLumitraView* view);
    CPLOT* ActivePlot() const;
    // The page point under a client point, kept where sums of two page
    // points cannot overflow.
    CPoint PageAt(const QPoint& client) const;
    // The hold timer runs only in the title-press state.
    void SyncHoldTimer();
    // Page point rounded toward zero to the snap steps when snapping is on.
    CPoint Snapped(CPoint page) const;
    // The active object's rectangle with the grabbed corner moved by the
    // pointer's way since the press, kept at the object's minimum size.
    CRect ResizedRect(CPoint page) const;
    // The frames moved by the pointer's way since the press.
    std::vector<CRect> MovedFrames(CSize offset) const;
    // Drag feedback painted over the page (page units); the old and the new
    // places are repainted.
    void SetFeedback(std::vector<CRect> rects, int thickness);
    void ClearFeedback();
    // Where a region label dragged off its plot makes the new plot.
    CRect LabelDragTarget(const CPLOT& plot, CPoint page, int32_t state) const;
    // Left press on no active object (or after the active one let go).
    void PressOnPage(uint32_t flags, CPoint page);
    // The menu of a plot's title or axis band, its command carried out.
    void RunBandMenu(CPLOT* plot, uint32_t flags, CPoint page, const QPoint& globalPos);
    void ReleaseResize(CPoint page);
    void ReleaseMove(uint32_t flags, CPoint page);
    void ReleaseRubberBand(CPoint page);
    void ShowSelectionMenu(const QPoint& globalPos);
    void ShowObjectMenu(CTrkObj* obj, uint32_t flags, CPoint page, const QPoint& globalPos);
    void ShowPageMenu(CPoint page, const QPoint& globalPos);
    void SetPageNum();
    // Asks for a ".jpg" file and writes the page area to it; an empty area
    // or a failed write is reported.
    void ExportAreaAsJpg(const CRect& area);
    // Asks for a ".pdf" file and writes every page to it; a failure is reported.
    void ExportPdf();
    // Adds obj to the page (at a free place unless keepPlace), re-arranges
    // (when asked and on), makes it active.
    CTrkObj* InsertObject(std::unique_ptr<CTrkObj> obj, bool arrange, bool keepPlace = false);
    // Places a plot a drop made in reading order.
    void PlaceDropped(CTrkObj* obj, bool forceNewRow);
    // "FCS文件打开失败!" with the name of the file at path and why.
    void OpenFailed(const std::string& path, const std::string& why);
    // The template copies for one dropped file; false when the file did not open.
    // A file whose parameters stand otherwise than the template's is asked
    // about once: OK opens it as a plain data set with a plot of its own,
    // Cancel leaves it closed; the template's gates are never put on it.
    bool DropWithTemplate(const std::string& path, VexaDataShell* templ, int32_t mask, bool forceNewRow);
    // The lines a question about data that does not fit adds after its fixed
    // text: the parameter places whose names differ, as the last layout test
    // of shell found them against the data set of otherPath ("P3: CD19 /
    // PE-TxRed", shell's name first), and the parameter counts when they
    // differ (otherCount < 0: not known). Empty when no name differs.
    static QString RenamedParamsText(const VexaDataShell& shell, const std::string& otherPath, int32_t otherCount);
    // True when one file dropped on a plot's area was loaded into its data
    // set (or, when the file is open in the document already, the plot went
    // over to that data set); *ended when the drop is over (the user declined
    // a new plot).
    bool ReloadInPlace(CPLOT* plot, const std::string& path, bool* ended);
    // A copy of plot on the open data set takes its place; null (nothing
    // changed) when that data set has no gate at the plot's gate index.
    CPLOT* MovePlotToShell(CPLOT* plot, VexaDataShell* open, const std::string& path);
    // Drop point of a drag event in viewport pixels.
    QPoint DropPoint(const QPointF& pos) const;

    CLumitraDoc* m_doc = nullptr;
    float m_screenUnitsX = 0.0f;
    float m_screenUnitsY = 0.0f;
    CPoint m_start;     // page point of the press (of the grabbed corner when resizing)
    CPoint m_previous;  // page point last seen
    int32_t m_trackState = kTrackIdle;
    // While files dropped are turned into objects: the drop lays them out in
    // reading order itself (PlaceDropped), so InsertObject leaves them be.
    bool m_placingDrop = false;
    float m_zoom = 1.0f;
    QBasicTimer m_holdTimer;
    std::vector<CRect> m_feedback;  // page rectangles of the drag feedback
    int m_feedbackThickness = 1;
    std::vector<CRect> m_drawnTrackers;  // client rects of the frames last painted
    bool m_hintPainted = false;          // the last full paint showed the hint
    std::unique_ptr<QPrinter> m_ownPrinter;  // used without an application object
};
