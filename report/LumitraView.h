#pragma once
// The report view: a scrollable, zoomable picture of one document's canvas,
// pages across x pages down of white sheets on a grey ground, with the page
// objects drawn in stacking order and the selection frames on top.
//
// Page units map to pixels by the zoom (0.2 to 5.0; 1.0 is one pixel a
// unit); y grows downward in both.
#include <QAbstractScrollArea>

#include <cstdint>
#include <vector>

#include "base/Geometry.h"
#include "report/TrackStates.h"

class CLumitraDoc;
class CTrkObj;
class QPainter;

class CLumitraView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit CLumitraView(CLumitraDoc* doc, QWidget* parent = nullptr);
    ~CLumitraView() override;

    // Null once the document has gone.
    CLumitraDoc* GetDocument() const { return m_doc; }
    // The document is going away: forget it (the view then shows nothing).
    void DetachDocument();

    float GetZoom() const { return m_zoom; }
    // Accepted only for 0.2 <= z <= 5.0; returns whether it was.
    bool SetZoom(float z);
    int32_t GetTrackState() const { return m_trackState; }

    CSize GetCanvasSize() const;
    CTrkObj* GetActiveObject() const;
    // Topmost object whose rectangle holds the page point, or null.
    CTrkObj* ObjectAtPoint(CPoint page) const;

    // Conversions between viewport pixels and page units.
    CPoint ClientToLogical(const QPoint& client) const;
    CRect ClientRectToLogical(const CRect& client) const;
    QPoint LogicalToClient(CPoint page) const;
    CRect LogicalRectToClient(const CRect& page) const;

    // Forwarders to the document's dirty lists.
    void AddDirtyRect(const CRect& rect);
    void InvalidateObject(CTrkObj* obj);
    void RedrawDocument();

    // Called by the document.
    void OnInitialUpdate();
    void OnUpdate();
    // Repaints this view's share of the document's dirty lists.
    void RedrawDirtyAreas();
    void RedrawActiveObject();
    // Repaints the selection frames (after the selection changed).
    void UpdateTrackers();
    void OnObjectRemoving(CTrkObj* obj);

    // Paints the canvas part `clip` (page units) on a painter already mapped
    // to page units: grey beyond the canvas, white pages, page borders (not
    // when printing), then the objects, the active one last.
    void DrawPage(QPainter& painter, const CRect& clip, bool printing) const;

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

    CLumitraDoc* m_doc = nullptr;
    float m_zoom = 1.0f;
    int32_t m_trackState = kTrackIdle;
    std::vector<CRect> m_drawnTrackers;  // client rects of the frames last painted
};
