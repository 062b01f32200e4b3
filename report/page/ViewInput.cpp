// The report view's mouse and keys: the tracking state machine of the left
// button (selecting, moving and resizing page objects, rubber bands, the
// region editing of the active plot, the title-band hold that drags a plot
// onto another as an overlay), the middle-button new plot from a region
// label, Delete, Ctrl+G and Ctrl+C, and the loss of the focus.
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimerEvent>

#include <algorithm>
#include <cstdlib>

#include "base/Numbers.h"
#include "core/DataShell.h"
#include "platform/PaintHelpers.h"
#include "report/app/DragDropMgr.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/ResultTable.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/page/TrkKinds.h"
#include "report/page/TrkObj.h"

namespace {

// A held press on a plot's title band becomes a drag after this long.
constexpr int kHoldMilliseconds = 1000;
// Page points the input works with stay inside this range, so that sums and
// differences of two of them never overflow.
constexpr int32_t kPageLimit = 1 << 24;
// A new plot made from a region label lies this far from its source plot.
constexpr int32_t kLabelPlotGap = 5;

uint32_t FlagsOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    uint32_t f = 0;
    if (buttons & Qt::LeftButton) f |= kMkLButton;
    if (buttons & Qt::RightButton) f |= kMkRButton;
    if (buttons & Qt::MiddleButton) f |= kMkMButton;
    if (modifiers & Qt::ShiftModifier) f |= kMkShift;
    if (modifiers & Qt::ControlModifier) f |= kMkControl;
    return f;
}

uint32_t FlagsOf(const QMouseEvent* e) { return FlagsOf(e->buttons(), e->modifiers()); }

bool IsToolState(int32_t s) { return s >= kTrackQuadrantTool && s <= kTrackRangeTool; }

bool IsLabelDragState(int32_t s) {
    return s == kTrackLabelDragPlot || s == kTrackRegionDragInside || s == kTrackRegionDragOutside;
}

int32_t ClampPage(int64_t v) { return int32_t(std::clamp<int64_t>(v, -kPageLimit, kPageLimit)); }

CPoint ClampPage(CPoint p) { return CPoint(ClampPage(p.x), ClampPage(p.y)); }

// The corner a resize state holds on to.
CPoint GrabbedCorner(const CRect& r, int32_t state) {
    switch (state) {
        case kTrackResizeTopLeft: return CPoint(r.left, r.top);
        case kTrackResizeTopRight: return CPoint(r.right, r.top);
        case kTrackResizeBottomRight: return CPoint(r.right, r.bottom);
        default: return CPoint(r.left, r.bottom);
    }
}

Qt::CursorShape ResizeCursor(int32_t state) {
    return state == kTrackResizeTopLeft || state == kTrackResizeBottomRight ? Qt::SizeFDiagCursor
                                                                              : Qt::SizeBDiagCursor;
}

}  // namespace

// =========================================================== Qt's events

bool CLumitraView::event(QEvent* e) {
    // Of the drag manager's messages only a drop needs an answer of the view;
    // the others are answered 0.
    if (CDragDropMsg* msg = CDragDropMsg::From(e)) {
        if (msg->type() == DragMessages().drop && msg->GetRecord()) msg->SetResult(OnGateDropped(*msg->GetRecord()));
        return true;
    }
    // The keys the view acts on come to it before any window shortcut with
    // the same keys (the copy accelerator of the main window).
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        const bool ctrl = (k->modifiers() & Qt::ControlModifier) != 0;
        const bool ours = (k->key() == Qt::Key_Delete && k->modifiers() == Qt::NoModifier) ||
                          (ctrl && (k->key() == Qt::Key_C || k->key() == Qt::Key_G));
        if (ours && m_doc && (m_doc->GetActiveObject() || !m_doc->GetSelection().empty())) {
            e->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void CLumitraView::mousePressEvent(QMouseEvent* e) {
    const QPoint client = e->position().toPoint();
    // The panels show the document the user works in, whatever left them.
    if (CMainFrame* frame = GetMainFrame()) frame->FollowDocument(m_doc);
    switch (e->button()) {
        case Qt::LeftButton: OnLButtonDown(FlagsOf(e), client); break;
        case Qt::MiddleButton: OnMButtonDown(FlagsOf(e), client); break;
        case Qt::RightButton: OnRButtonDown(FlagsOf(e), client, e->globalPosition().toPoint()); break;
        default: QAbstractScrollArea::mousePressEvent(e); return;
    }
    e->accept();
}

void CLumitraView::mouseMoveEvent(QMouseEvent* e) {
    OnMouseMove(FlagsOf(e), e->position().toPoint());
    e->accept();
}

void CLumitraView::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint client = e->position().toPoint();
    switch (e->button()) {
        case Qt::LeftButton: OnLButtonUp(FlagsOf(e), client); break;
        case Qt::MiddleButton: OnMButtonUp(FlagsOf(e), client); break;
        default: QAbstractScrollArea::mouseReleaseEvent(e); return;
    }
    e->accept();
}

void CLumitraView::mouseDoubleClickEvent(QMouseEvent* e) {
    const QPoint client = e->position().toPoint();
    switch (e->button()) {
        case Qt::LeftButton: OnLButtonDblClk(FlagsOf(e), client); break;
        // The second press of a quick middle click is still a press.
        case Qt::MiddleButton: OnMButtonDown(FlagsOf(e), client); break;
        default: break;  // a right double click does nothing
    }
    e->accept();
}

void CLumitraView::contextMenuEvent(QContextMenuEvent* e) {
    // The menus open at the right button's press; nothing further.
    e->accept();
}

void CLumitraView::keyPressEvent(QKeyEvent* e) {
    if (OnKeyDown(e->key(), e->modifiers(), e->isAutoRepeat()))
        e->accept();
    else
        QAbstractScrollArea::keyPressEvent(e);
}

void CLumitraView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    emit viewActivated(this);
}

void CLumitraView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    // The view's own popup menus take the focus for a moment: what they were
    // opened for goes on.
    if (e->reason() != Qt::PopupFocusReason) OnKillFocus();
}

void CLumitraView::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_holdTimer.timerId()) {
        OnTimer(kHoldTimerId);
        return;
    }
    QAbstractScrollArea::timerEvent(e);
}

// ============================================================== helpers

void CLumitraView::SetTrackState(int32_t state) {
    m_trackState = state;
    SyncHoldTimer();
}

void CLumitraView::SyncHoldTimer() {
    if (m_trackState != kTrackTitlePress) m_holdTimer.stop();
}

void CLumitraView::OnTimer(int id) {
    if (id != kHoldTimerId) return;
    // One tick only: the hold either became a drag or no longer matters.
    m_holdTimer.stop();
    if (m_trackState != kTrackTitlePress) return;
    m_trackState = kTrackTitleHeld;
    viewport()->setCursor(Qt::BusyCursor);
}

CPLOT* CLumitraView::ActivePlot() const {
    CTrkObj* active = GetActiveObject();
    return active && active->GetType() == kObjPlot ? dynamic_cast<CPLOT*>(active) : nullptr;
}

CPoint CLumitraView::Snapped(CPoint page) const {
    CPoint p = ClampPage(page);
    if (m_doc && m_doc->GetSnap()) {
        // Toward zero, as integer division rounds.
        const CSize step = m_doc->GetSnapStep();
        if (step.cx > 0) p.x = p.x / step.cx * step.cx;
        if (step.cy > 0) p.y = p.y / step.cy * step.cy;
    }
    return p;
}

CRect CLumitraView::ResizedRect(CPoint page) const {
    CTrkObj* active = GetActiveObject();
    if (!active) return CRect();
    const CRect old = active->GetRect();
    const CPoint p = Snapped(page);
    const int64_t dx = int64_t(p.x) - m_start.x;
    const int64_t dy = int64_t(p.y) - m_start.y;
    const CSize min = active->GetMinSize();
    int64_t l = old.left, t = old.top, r = old.right, b = old.bottom;
    const bool left = m_trackState == kTrackResizeTopLeft || m_trackState == kTrackResizeBottomLeft;
    const bool top = m_trackState == kTrackResizeTopLeft || m_trackState == kTrackResizeTopRight;
    // The grabbed corner follows the pointer; a side that would make the
    // object smaller than its minimum stops at the minimum from the fixed side.
    if (left) {
        l += dx;
        if (r - l < min.cx) l = r - min.cx;
    } else {
        r += dx;
        if (r - l < min.cx) r = l + min.cx;
    }
    if (top) {
        t += dy;
        if (b - t < min.cy) t = b - min.cy;
    } else {
        b += dy;
        if (b - t < min.cy) b = t + min.cy;
    }
    return CRect(ClampPage(l), ClampPage(t), ClampPage(r), ClampPage(b));
}

std::vector<CRect> CLumitraView::MovedFrames(CSize offset) const {
    std::vector<CRect> out;
    if (!m_doc) return out;
    auto moved = [&](const CRect& r) {
        return CRect(ClampPage(int64_t(r.left) + offset.cx), ClampPage(int64_t(r.top) + offset.cy),
                     ClampPage(int64_t(r.right) + offset.cx), ClampPage(int64_t(r.bottom) + offset.cy));
    };
    if (CTrkObj* active = m_doc->GetActiveObject()) {
        out.push_back(moved(active->GetRect()));
    } else {
        for (CTrkObj* o : m_doc->GetSelection()) out.push_back(moved(o->GetRect()));
    }
    return out;
}

void CLumitraView::SetFeedback(std::vector<CRect> rects, int thickness) {
    // The frames painted so far and the new ones are repainted.
    auto touch = [this](const CRect& page, int t) {
        CRect c = LogicalRectToClient(page);
        c.InflateRect(t + 1, t + 1);
        CRect visible;
        if (visible.IntersectRect(c, lm::FromQRect(viewport()->rect()))) viewport()->update(lm::ToQRect(visible));
    };
    for (const CRect& r : m_feedback) touch(r, m_feedbackThickness);
    m_feedback = std::move(rects);
    m_feedbackThickness = thickness;
    for (const CRect& r : m_feedback) touch(r, m_feedbackThickness);
}

void CLumitraView::ClearFeedback() {
    if (!m_feedback.empty()) SetFeedback({}, 1);
}

CRect CLumitraView::LabelDragTarget(const CPLOT& plot, CPoint page, int32_t state) const {
    const CRect r = plot.GetRect();
    const int64_t mx = int64_t(page.x) - m_start.x;
    const int64_t my = int64_t(page.y) - m_start.y;
    int64_t ox = 0, oy = 0;
    if (state == kTrackRegionDragInside) {
        // Beside the plot, on the side the pointer went furthest.
        if (std::llabs(mx) > std::llabs(my))
            ox = mx > 0 ? int64_t(r.Width()) + kLabelPlotGap : -(int64_t(r.Width()) + kLabelPlotGap);
        else
            oy = my > 0 ? int64_t(r.Height()) + kLabelPlotGap : -(int64_t(r.Height()) + kLabelPlotGap);
    } else if (state == kTrackRegionDragOutside) {
        ox = mx;
        oy = my;
    }
    return CRect(ClampPage(r.left + ox), ClampPage(r.top + oy), ClampPage(r.right + ox), ClampPage(r.bottom + oy));
}

CPoint CLumitraView::PageAt(const QPoint& client) const { return ClampPage(ClientToLogical(client)); }

// ======================================================== left button

void CLumitraView::OnLButtonDown(uint32_t flags, const QPoint& client) {
    SetCurrentView(this);
    if (!m_doc) return;
    const CPoint page = PageAt(client);
    m_start = m_previous = page;

    // The text and grid tools start their band.
    if (m_trackState == kTrackTextTool || m_trackState == kTrackGridTool) {
        SetTrackState(m_trackState == kTrackTextTool ? kTrackTextBand : kTrackGridBand);
        SetFeedback({CRect(page, page)}, 1);
        return;
    }

    CTrkObj* active = m_doc->GetActiveObject();
    if (!active) {
        // A state left from an object a panel has since let go of (or a tool
        // armed on it) has nothing to work on: the press acts on the page,
        // so the user's first click after using a panel is never lost.
        if (m_trackState != kTrackIdle) {
            SetTrackState(kTrackIdle);
            ClearFeedback();
        }
        PressOnPage(flags, page);
        return;
    }

    CPLOT* plot = ActivePlot();
    bool letGo = false;
    switch (m_trackState) {
        case kTrackMove:
            active->OnLButtonDown(flags, page, &m_trackState);
            if (m_trackState == kTrackIdle) {
                // The press lies outside the active object: it lets go, and
                // the press acts on the page as if nothing had been active.
                letGo = true;
            } else if (m_doc->IsAutoArranged() &&
                       lm::IsOneOf(m_trackState, {kTrackMove, kTrackResizeTopLeft, kTrackResizeTopRight,
                                              kTrackResizeBottomRight, kTrackResizeBottomLeft, kTrackFrame})) {
                // Nothing moves or resizes while the page arranges itself.
                SetTrackState(kTrackMove);
                m_doc->RedrawDirty();
                return;
            }
            break;
        case kTrackRegionSelected:
        case kTrackPolygonVertex:
        case kTrackPolygonScale:
            if (!active->GetRect().PtInRect(page)) {
                letGo = true;
                break;
            }
            active->OnLButtonDown(flags, page, &m_trackState);
            if (m_trackState == kTrackIdle) {
                letGo = true;
            } else if (plot && lm::IsOneOf(m_trackState, {kTrackXAxisBand, kTrackYAxisBand, kTrackTitlePress})) {
                // With a region selected every band opens its menu at once
                // (the title band its gates).
                RunBandMenu(plot, flags, page, viewport()->mapToGlobal(client));
                return;
            }
            break;
        case kTrackPolygonEntry:
            if (plot) plot->OnLButtonDown(flags, page, &m_trackState);
            break;
        default:
            if (IsToolState(m_trackState)) {
                active->OnLButtonDown(flags, page, &m_trackState);
                if (m_trackState != kTrackMove && plot) plot->CreateDragCache();
            } else {
                letGo = true;
            }
            break;
    }

    if (letGo) {
        m_doc->SetActiveObject(nullptr);
        SetTrackState(kTrackIdle);
        PressOnPage(flags, page);
        return;
    }

    // What the press started.
    const QPoint global = viewport()->mapToGlobal(client);
    switch (m_trackState) {
        case kTrackRegionSelected:
        case kTrackRegionMove:
        case kTrackPolygonScale:
        case kTrackLabelDrag:
        case kTrackHandleDrag:
            if (plot) plot->CreateDragCache();
            break;
        case kTrackResizeTopLeft:
        case kTrackResizeTopRight:
        case kTrackResizeBottomRight:
        case kTrackResizeBottomLeft:
            // The grabbed corner is where the pointer's way is measured from.
            m_start = m_previous = GrabbedCorner(active->GetRect(), m_trackState);
            viewport()->setCursor(ResizeCursor(m_trackState));
            SetFeedback({active->GetRect()}, 1);
            break;
        case kTrackXAxisBand:
        case kTrackYAxisBand:
            if (plot) RunBandMenu(plot, flags, page, global);
            break;
        case kTrackTitlePress:
            // Held for a second, the press becomes a drag of the plot.
            m_holdTimer.start(kHoldMilliseconds, this);
            break;
        default:
            break;
    }
    SyncHoldTimer();
    m_doc->RedrawDirty();
}

void CLumitraView::PressOnPage(uint32_t flags, CPoint page) {
    // Ctrl alone with the button: the object under the pointer joins the
    // multi-selection. On empty page nothing happens.
    if ((flags & (kMkControl | kMkShift | kMkMButton | kMkRButton)) == kMkControl) {
        if (CTrkObj* hit = ObjectAtPoint(page)) {
            if (m_doc->GetActiveObject()) m_doc->SetActiveObject(nullptr);
            m_doc->AddToSelection(hit);
        }
        SetTrackState(kTrackIdle);
        m_doc->RedrawDirty();
        return;
    }
    const std::vector<CTrkObj*>& selection = m_doc->GetSelection();
    if (!selection.empty() && !m_doc->IsAutoArranged()) {
        bool grabbed = false;
        for (CTrkObj* o : selection) {
            const int32_t hit = o->HitTest(page);
            if (hit >= kHitTopLeft && hit <= kHitFrame) grabbed = true;
        }
        if (grabbed) {
            // A handle or frame of a selected object moves them all.
            std::vector<CRect> frames;
            for (CTrkObj* o : selection) frames.push_back(o->GetRect());
            SetFeedback(std::move(frames), 1);
            SetTrackState(kTrackFrame);
            return;
        }
        m_doc->ClearSelection();
    }
    if (m_trackState == kTrackIdle || m_trackState == kTrackRegionSelected) {
        if (CTrkObj* hit = ObjectAtPoint(page)) {
            if (hit != m_doc->GetActiveObject()) m_doc->SetActiveObject(hit);
            SetTrackState(kTrackMove);
            // The press that selects a result table also grabs a value or a
            // border there, so a drag works the first time; anything else
            // it would start waits for the next press as on other objects.
            if (hit->GetType() == kObjResult) {
                int32_t state = kTrackMove;
                hit->OnLButtonDown(flags, page, &state);
                if (state == kTrackCellDrag || state == kTrackColumnResize) SetTrackState(state);
            }
        } else {
            m_doc->SetActiveObject(nullptr);
            SetFeedback({CRect(page, page)}, 1);
            SetTrackState(kTrackRubberBand);
        }
    }
    m_doc->RedrawDirty();
}

void CLumitraView::RunBandMenu(CPLOT* plot, uint32_t flags, CPoint page, const QPoint& globalPos) {
    // Which band was pressed decides the axis a parameter item sets.
    const int32_t yBand = m_trackState != kTrackXAxisBand ? 1 : 0;
    std::vector<lm::MenuItem> items;
    if (plot->BuildContextMenu(&items, flags, page) && !items.empty()) {
        const int32_t cmd = lm::Ui().TrackPopupMenu(this, items, globalPos);
        // The menu may have let the plot go (a focus change): it is used only
        // while it is still on the page.
        if (cmd != 0 && m_doc->GetObjectIndex(plot) >= 0) plot->OnContextCommand(uint32_t(cmd), yBand);
    }
    if (m_doc->GetObjectIndex(plot) >= 0) plot->MarkDirty();
    SetTrackState(kTrackMove);
    m_doc->RedrawDirty();
}

void CLumitraView::OnMouseMove(uint32_t flags, const QPoint& client) {
    if (!m_doc) return;
    const CPoint page = PageAt(client);
    CTrkObj* active = m_doc->GetActiveObject();
    CPLOT* plot = ActivePlot();
    switch (m_trackState) {
        case kTrackRubberBandRegion:
        case kTrackHandleDrag:
        case kTrackRegionMove:
        case kTrackPolygonEntry:
        case kTrackLabelDrag:
        case kTrackPolygonScale:
            if (active) active->OnMouseMove(flags, page, &m_trackState);
            if (plot) {
                // Only the plot area changes: it is painted from the drag
                // picture (PaintClient).
                CRect visible;
                if (visible.IntersectRect(LogicalRectToClient(plot->GetPlotArea()),
                                          lm::FromQRect(viewport()->rect())))
                    viewport()->update(lm::ToQRect(visible));
            }
            break;
        case kTrackResizeTopLeft:
        case kTrackResizeTopRight:
        case kTrackResizeBottomRight:
        case kTrackResizeBottomLeft:
            if (active) {
                viewport()->setCursor(ResizeCursor(m_trackState));
                SetFeedback({ResizedRect(page)}, 1);
            }
            break;
        case kTrackFrame: {
            viewport()->setCursor(Qt::CrossCursor);
            const CPoint p = Snapped(page);
            SetFeedback(MovedFrames(CSize(p.x - m_start.x, p.y - m_start.y)), 1);
            break;
        }
        case kTrackRubberBand:
        case kTrackTextBand:
        case kTrackGridBand:
            SetFeedback({Normalized(CRect(m_start, page))}, 1);
            break;
        case kTrackTitlePress:
            // Moving before the second has passed gives up the hold (a move
            // event that does not move is no move).
            if (page != m_previous) SetTrackState(kTrackMove);
            break;
        case kTrackLabelDragPlot:
        case kTrackRegionDragInside:
        case kTrackRegionDragOutside:
            if (plot && !m_doc->IsAutoArranged()) {
                plot->OnMouseMove(flags, page, &m_trackState);
                SetFeedback({LabelDragTarget(*plot, page, m_trackState)}, 3);
            }
            break;
        case kTrackColumnResize:
            // The border follows the mouse as a line; the columns change at the release.
            if (active && active->OnMouseMove(flags, page, &m_trackState)) {
                if (auto* grid = dynamic_cast<CGrid*>(active)) SetFeedback({grid->DragLineRect()}, 1);
                else if (auto* table = dynamic_cast<CTrkResult*>(active)) SetFeedback({table->DragLineRect()}, 1);
            }
            break;
        default:
            break;
    }
    m_previous = page;
    SyncHoldTimer();
}

void CLumitraView::OnLButtonUp(uint32_t flags, const QPoint& client) {
    SetCurrentView(this);
    if (!m_doc) return;
    const CPoint page = PageAt(client);
    CTrkObj* active = m_doc->GetActiveObject();
    CPLOT* plot = ActivePlot();
    switch (m_trackState) {
        case kTrackRubberBandRegion:
        case kTrackRegionSelected:
        case kTrackHandleDrag:
        case kTrackRegionMove:
        case kTrackTitlePress:
        case kTrackPolygonScale:
            if (plot) {
                plot->OnLButtonUp(flags, page, &m_trackState);
                plot->FreeDragCache();
                m_doc->RecalcAllPlots();
            } else if (active) {
                active->OnLButtonUp(flags, page, &m_trackState);
            } else {
                SetTrackState(kTrackIdle);
            }
            break;
        case kTrackPolygonEntry:
            if (plot) {
                plot->OnLButtonUp(flags, page, &m_trackState);
                // Closed on its first vertex: the polygon is a gate now.
                if (lm::IsOneOf(m_trackState, {kTrackRegionSelected, kTrackPolygonVertex})) {
                    plot->FreeDragCache();
                    m_doc->RecalcAllPlots();
                }
            }
            break;
        case kTrackLabelDrag:
            if (plot) {
                plot->FreeDragCache();
                plot->OnLButtonUp(flags, page, &m_trackState);
            }
            break;
        case kTrackResizeTopLeft:
        case kTrackResizeTopRight:
        case kTrackResizeBottomRight:
        case kTrackResizeBottomLeft:
            ReleaseResize(page);
            break;
        case kTrackFrame:
            ReleaseMove(flags, page);
            break;
        case kTrackRubberBand:
            ReleaseRubberBand(page);
            break;
        case kTrackTextBand: {
            const CRect band = Normalized(CRect(m_start, page));
            ClearFeedback();
            SetTrackState(kTrackMove);
            NewTextItem(band);
            break;
        }
        case kTrackGridBand:
            // The grid is made through its dialog; the band makes nothing.
            ClearFeedback();
            SetTrackState(kTrackMove);
            break;
        case kTrackTitleHeld: {
            viewport()->unsetCursor();
            CTrkObj* target = ObjectAtPoint(page);
            if (plot && target && target->GetType() == kObjPlot) {
                if (auto* onto = dynamic_cast<CPLOT*>(target)) {
                    onto->AddOverlayFrom(plot);  // a plot dropped on itself is ignored
                    m_doc->SetActiveObject(onto);
                    SetTrackState(kTrackMove);
                    m_doc->RedrawActiveObject();
                }
            }
            break;
        }
        case kTrackColumnResize:
            ClearFeedback();
            if (active) active->OnLButtonUp(flags, page, &m_trackState);
            break;
        case kTrackCellDrag:
            if (CTrkObj* target = ObjectAtPoint(page); target && target->GetType() == kObjGrid) {
                target->OnLButtonUp(flags, page, &m_trackState);
                m_doc->SetActiveObject(target);
            }
            m_doc->SetDraggedCell(nullptr);
            // Let go anywhere else, the value goes nowhere and the object it
            // came from stays selected.
            if (m_trackState == kTrackCellDrag) SetTrackState(kTrackMove);
            break;
        case kTrackMultiGrab:
            SetTrackState(kTrackIdle);
            break;
        default:
            if (IsToolState(m_trackState)) SetTrackState(kTrackIdle);
            break;
    }
    // With nothing active left, the next press starts afresh.
    if (m_trackState == kTrackMove && !m_doc->GetActiveObject()) m_trackState = kTrackIdle;
    SyncHoldTimer();
    if (m_trackState != kTrackPolygonEntry) m_doc->RedrawDirty();
}

void CLumitraView::ReleaseResize(CPoint page) {
    viewport()->unsetCursor();
    ClearFeedback();
    CTrkObj* active = m_doc->GetActiveObject();
    if (active) {
        const CRect r = ResizedRect(page);
        m_doc->AddDirtyRect(active->GetRect());
        active->SetRect(r, false);
        m_doc->InvalidateObject(active);
    }
    SetTrackState(active ? kTrackMove : kTrackIdle);
}

void CLumitraView::ReleaseMove(uint32_t flags, CPoint page) {
    viewport()->unsetCursor();
    ClearFeedback();
    const CPoint p = Snapped(page);
    const CSize offset(p.x - m_start.x, p.y - m_start.y);
    CTrkObj* active = m_doc->GetActiveObject();
    if (!active) {
        const std::vector<CTrkObj*> members = m_doc->GetSelection();
        const std::vector<CRect> rects = MovedFrames(offset);
        for (size_t i = 0; i < members.size() && i < rects.size(); ++i) {
            m_doc->AddDirtyRect(members[i]->GetRect());
            members[i]->SetRect(rects[i], false);
            m_doc->InvalidateObject(members[i]);
        }
        SetTrackState(kTrackIdle);
        return;
    }
    const std::vector<CRect> moved = MovedFrames(offset);
    const CRect target = moved.empty() ? active->GetRect() : moved.front();
    m_doc->AddDirtyRect(active->GetRect());
    CPLOT* plot = ActivePlot();
    // Ctrl at the release copies a plot to the new place; the plot stays.
    // Without a move there is nothing to copy to.
    if ((flags & kMkControl) && plot && (offset.cx != 0 || offset.cy != 0)) {
        CopyPlotTo(target, plot);
    } else {
        active->SetRect(target, false);
    }
    if (m_doc->GetObjectIndex(active) >= 0 && active->GetType() != kObjText) m_doc->InvalidateObject(active);
    SetTrackState(kTrackMove);
}

void CLumitraView::ReleaseRubberBand(CPoint page) {
    ClearFeedback();
    const CRect band = Normalized(CRect(m_start, page));
    // Only objects with all four sides inside the band; touching is not enough.
    std::vector<CTrkObj*> inside;
    for (const auto& o : m_doc->GetObjects()) {
        const CRect r = o->GetRect();
        if (r.left > band.left && r.top > band.top && r.right < band.right && r.bottom < band.bottom)
            inside.push_back(o.get());
    }
    for (CTrkObj* o : inside) m_doc->AddToSelection(o);
    if (m_doc->GetSelection().size() == 1) {
        m_doc->SetActiveObject(m_doc->GetSelection().front());
        SetTrackState(kTrackMove);
    } else {
        SetTrackState(kTrackIdle);
    }
}

void CLumitraView::OnLButtonDblClk(uint32_t flags, const QPoint& client) {
    if (!m_doc) return;
    const CPoint page = PageAt(client);
    CTrkObj* active = m_doc->GetActiveObject();
    if (!active) return;
    if (CPLOT* plot = ActivePlot()) {
        const bool entry = m_trackState == kTrackPolygonEntry;
        if (plot->OnLButtonDblClk(flags, page, &m_trackState) && m_doc->GetObjectIndex(plot) >= 0) {
            plot->FreeDragCache();
            // A polygon finished by the double click is a new gate.
            if (entry) m_doc->RecalcAllPlots();
        }
    } else if (active->GetType() == kObjGrid) {
        active->OnLButtonDblClk(flags, page, &m_trackState);
    }
    SyncHoldTimer();
    m_doc->RedrawDirty();
}

// ====================================================== middle button

void CLumitraView::OnMButtonDown(uint32_t flags, const QPoint& client) {
    if (!m_doc) return;
    CPLOT* plot = ActivePlot();
    if (!plot) return;
    // Kept in page units: the way to the release does not depend on the zoom
    // or on scrolling in between.
    const CPoint page = PageAt(client);
    m_start = m_previous = page;
    plot->PressRegionLabel(flags, page, &m_trackState);
    SyncHoldTimer();
}

void CLumitraView::OnMButtonUp(uint32_t flags, const QPoint& client) {
    if (!m_doc) return;
    CPLOT* plot = ActivePlot();
    if (!plot || !IsLabelDragState(m_trackState)) return;
    const CPoint page = PageAt(client);
    CGateNode* gate = plot->GetPressedRegionGate();
    if (gate) plot->ReleaseRegionLabel(flags, page, &m_trackState);
    ClearFeedback();
    if (!m_doc->IsAutoArranged() && gate &&
        (m_trackState == kTrackRegionDragInside || m_trackState == kTrackRegionDragOutside)) {
        const CRect r = LabelDragTarget(*plot, page, m_trackState);
        const PlotDefaults& d = GetPlotDefaults();
        const int32_t count = plot->GetShell() ? plot->GetShell()->GetParamCount() : 0;
        // Where the frame showed it, whatever lies there.
        NewPlotInRect(r, d.UsedParamX(count), d.UsedParamY(count), gate, true);
    }
    SetTrackState(kTrackMove);
    m_doc->RedrawDirty();
}

// ================================================================ keys

bool CLumitraView::OnKeyDown(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat) {
    if (!m_doc) return false;
    const bool ctrl = (modifiers & Qt::ControlModifier) != 0;
    if (key == Qt::Key_Delete && !ctrl) {
        if (CTrkObj* active = m_doc->GetActiveObject()) {
            DeleteObject(active);
            return true;
        }
        if (m_doc->GetSelection().empty()) return false;
        // From the front of the list, one at a time.
        const std::vector<CTrkObj*> members = m_doc->GetSelection();
        for (CTrkObj* o : members)
            if (m_doc->IsInSelection(o)) DeleteObject(o);
        return true;
    }
    if (key == Qt::Key_Escape) return CancelShapeInProgress();
    if (key == Qt::Key_G && ctrl) {
        CTrkObj* active = m_doc->GetActiveObject();
        if (active && active->GetType() == kObjPlot) m_doc->PlaceAtPilot(active);
        return active != nullptr;
    }
    if (key == Qt::Key_C && ctrl) {
        CTrkObj* active = m_doc->GetActiveObject();
        // One copy a key press: a held key's repeats copy nothing more.
        if (active && !autoRepeat) active->CopyToClipboard();
        return active != nullptr;
    }
    return false;
}

bool CLumitraView::CancelShapeInProgress() {
    CPLOT* plot = ActivePlot();
    if (!plot || !lm::IsOneOf(m_trackState, {kTrackRubberBandRegion, kTrackPolygonEntry})) return false;
    // As when the focus goes: the shape goes, and with it the rubber line or
    // band; a release that follows makes nothing.
    plot->CancelRegionCreation(&m_trackState);
    plot->FreeDragCache();
    m_doc->RecalcAllPlots();
    SyncHoldTimer();
    viewport()->update();
    m_doc->RedrawDirty();
    return true;
}

void CLumitraView::OnKillFocus() {
    if (!m_doc) return;
    const int32_t before = m_trackState;
    if (CPLOT* plot = ActivePlot()) {
        plot->CancelRegionCreation(&m_trackState);
        plot->FreeDragCache();
        m_doc->RecalcAllPlots();
    } else if (before != kTrackIdle && !IsToolState(before) && before != kTrackTextTool && before != kTrackGridTool) {
        SetTrackState(m_doc->GetActiveObject() ? kTrackMove : kTrackIdle);
    }
    // A drag that was going on is given up: its frames and cursor go.
    ClearFeedback();
    viewport()->unsetCursor();
    SyncHoldTimer();
    m_doc->RedrawDirty();
}

bool CLumitraView::OnToolCommand(int32_t id) {
    switch (id) {
        case kCmdTextTool: SetTrackState(kTrackTextTool); return true;
        case kCmdGridTool: SetTrackState(kTrackGridTool); return true;
        case kCmdRangeToolCmd: SetTrackState(kTrackRangeTool); return true;
        case kCmdRectToolCmd: SetTrackState(kTrackRectTool); return true;
        case kCmdEllipseToolCmd: SetTrackState(kTrackEllipseTool); return true;
        case kCmdPolygonToolCmd: SetTrackState(kTrackPolygonTool); return true;
        case kCmdQuadrantToolCmd: SetTrackState(kTrackQuadrantTool); return true;
        default: return false;
    }
}

// ============================================== selection and deletion

void CLumitraView::DeleteObject(CTrkObj* obj) {
    if (!m_doc || !obj || m_doc->GetObjectIndex(obj) < 0) return;
    // Letting go of the active object would also empty the multi-selection,
    // which is being deleted member by member: only the active one is let go.
    if (m_doc->GetActiveObject()) m_doc->SetActiveObject(nullptr);
    m_doc->RemoveObject(obj, true);
    SetTrackState(kTrackIdle);
    if (m_doc->IsAutoArranged()) m_doc->AutoArrange();
}

void CLumitraView::ClearSelection() {
    if (!m_doc) return;
    m_doc->SetActiveObject(nullptr);
    m_doc->ClearSelection();
}
