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
#include <QAbstractScrollArea>
#include <QRegion>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/Geometry.h"
#include "report/TrackStates.h"

class CLumitraDoc;
class CTrkObj;
class QPainter;
class QPrinter;
class QPrintPreviewDialog;

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
    void SetTrackState(int32_t state) { m_trackState = state; }

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
    // drag.
    void OnTimer(int id);

    // The view that last took a left-button press or release (null when none,
    // or when it has gone).
    static CLumitraView* GetCurrentView();
    // The active view of the main frame's active child, or null.
    static CLumitraView* GetActiveLumitraView();

signals:
    // The view took the focus: its frame makes it the active pane.
    void viewActivated(CLumitraView* view);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void UpdateScrollRanges();
    // Schedules a repaint of a page rectangle, grown by the tracker frame.
    void UpdatePageRect(const CRect& page);
    std::vector<CRect> TrackerRects() const;
    bool HintWanted() const;
    QPrinter* Printer();
    bool PrintAndReport(QPrinter& printer);

    CLumitraDoc* m_doc = nullptr;
    float m_zoom = 1.0f;
    int32_t m_trackState = kTrackIdle;
    std::vector<CRect> m_drawnTrackers;  // client rects of the frames last painted
    bool m_hintPainted = false;          // the last full paint showed the hint
    std::unique_ptr<QPrinter> m_ownPrinter;  // used without an application object
};
