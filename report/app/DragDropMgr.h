#pragma once
// The drag manager: lets a payload (a gate) be dragged from one of the
// program's windows to another. Windows register as drag sources, drop
// targets or both; the manager watches the left button on a source, asks the
// source for a payload once the pointer has moved the desktop's drag distance,
// shows the payload's image above and left of the pointer wherever it goes, and
// tells the windows what happens with four registered events:
//
//   "WM_DD_DRAGENTER"  to the source: supply a payload (in the record) and
//                      answer non-zero, or the drag does not start;
//   "WM_DD_DRAGOVER"   to a drop target under the pointer;
//   "WM_DD_DRAGDROP"   to the drop target under the released pointer, once
//                      the drag has ended (image gone, cursor restored,
//                      manager idle) with the payload still in the record;
//   "WM_DD_DRAGABORT"  to the owner (the main frame) when a drag ends without
//                      a drop: released over no target, Escape, the pointer
//                      lost, or the payload's gate gone.
//
// Routing: the manager filters the application's events. It never holds back
// an event a source would get without it until the source has supplied a
// payload: the press, every move up to the one that starts a drag and the
// release of a plain click reach the window as always, so a window that
// supplies nothing (a report view) behaves exactly as if no manager existed.
// Only the moves, the release and Escape of a started drag are taken.
//
// A drag ends cleanly however it ends: the payload and the image are freed,
// the cursor is restored and the state is idle; nothing is sent to a window
// that has gone. Windows leave the registry when they are destroyed.
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "base/Geometry.h"
#include "report/app/DragDropIds.h"

class CDragDropData;
class QKeyEvent;
class QMouseEvent;

// The ids of the four registered events, obtained once (the application
// asks at start-up) and the same for the whole run.
struct DragMessageIds {
    QEvent::Type enter;
    QEvent::Type over;
    QEvent::Type drop;
    QEvent::Type abort;
};
const DragMessageIds& DragMessages();

// What the four events carry.
struct CDragRecord {
    QPointer<QWidget> source;
    QPointer<QWidget> target;  // the window under the pointer; null when none
    std::unique_ptr<CDragDropData> payload;  // null until the source supplies one
    // In the client coordinates of the receiving window (at "WM_DD_DRAGENTER"
    // the press point in the source). A scroll area's client is its viewport.
    CPoint point;
};

// One of the four registered events, sent synchronously; the receiver
// answers through SetResult (left at 0 by a window that does not know it).
class CDragDropMsg : public QEvent {
public:
    CDragDropMsg(QEvent::Type type, CDragRecord* record) : QEvent(type), m_record(record) {}
    // The event as a drag message, or null when it is none.
    static CDragDropMsg* From(QEvent* e);

    CDragRecord* GetRecord() const { return m_record; }
    intptr_t GetResult() const { return m_result; }
    void SetResult(intptr_t result) { m_result = result; }

private:
    CDragRecord* m_record;
    intptr_t m_result = 0;
};

class CDragDropMgr {
public:
    struct WindowEntry {
        QWidget* window;
        uint32_t flags;
    };

    CDragDropMgr();
    // Ends a drag without any message and empties the registry.
    virtual ~CDragDropMgr();
    CDragDropMgr(const CDragDropMgr&) = delete;
    CDragDropMgr& operator=(const CDragDropMgr&) = delete;

    // Stores the owner, registers each window and starts filtering the
    // application's events. The manager installed last is the one windows
    // made without a main frame register with (Routed()).
    void Install(QWidget* owner, const std::vector<WindowEntry>& windows = {});
    QWidget* GetOwner() const { return m_owner; }
    static CDragDropMgr* Routed();

    // registry[window] := flags (replacing an entry); flags 0 or a null
    // window register nothing. The entry goes when the window is destroyed.
    void AddWindow(QWidget* window, uint32_t flags);
    void RemoveWindow(QWidget* window);
    // 0 when not registered.
    uint32_t GetFlags(QWidget* window) const;
    size_t GetWindowCount() const { return m_registry.size(); }

    // The filter: true when the event was taken.
    bool PreTranslateMessage(QObject* receiver, QEvent* event);

    int32_t GetState() const { return m_state; }
    const CDragRecord& GetRecord() const { return m_record; }
    // The window showing the drag image, null when none.
    QWidget* GetImageWindow() const;
    // The desktop's drag distance in pixels, read once.
    int GetDragDistance() const { return m_dragDistance; }

    // Ends a drag as Escape does ("WM_DD_DRAGABORT" to the owner); a press
    // not yet a drag is forgotten.
    void Abort();

protected:
    virtual bool OnLButtonDown(QWidget* window, QMouseEvent* e);
    virtual bool OnMouseMove(QWidget* window, QMouseEvent* e);
    virtual bool OnLButtonUp(QWidget* window, QMouseEvent* e);

private:
    class Router;
    class ImageWindow;

    // The registered window that holds w (w itself or an ancestor in the
    // same top-level window) with all of the flags, or null.
    QWidget* RegisteredFor(QWidget* w, uint32_t flags) const;
    // The registered window under a global point with the flags, and the
    // plain window there when none is registered.
    QWidget* WindowAt(const QPoint& global) const;
    bool StartDrag(const QPoint& global);
    void DragMove(const QPoint& global);
    void Drop(const QPoint& global);
    bool HandleKey(QKeyEvent* e);
    // Sends a drag message; false when the manager went away meanwhile.
    bool Send(QWidget* to, QEvent::Type type, intptr_t* result);
    // State idle: payload, image and cursor go, the record is cleared.
    void Reset();
    void OnWindowDestroyed(QObject* window);
    void OnPayloadLost();

    QPointer<QWidget> m_owner;
    std::map<QWidget*, std::pair<uint32_t, QMetaObject::Connection>> m_registry;
    CDragRecord m_record;
    int32_t m_state = kDragIdle;
    QPointer<QWidget> m_pressed;     // the source pressed on
    QWidget* m_pressedKey = nullptr; // its registry key (the pointer outlives the window)
    QPoint m_pressGlobal;            // where the press was, desktop pixels
    CPoint m_pressPoint;             // the same in the source's client coordinates
    Qt::CursorShape m_dropCursor = Qt::ArrowCursor;
    Qt::CursorShape m_noDropCursor = Qt::ForbiddenCursor;
    std::unique_ptr<ImageWindow> m_image;
    bool m_cursorSet = false;  // an override cursor of ours is in place
    int m_sendDepth = 0;       // drag messages being delivered
    int m_dragDistance = 4;
    std::unique_ptr<Router> m_router;
};

// The client widget of a window: a scroll area's viewport, else the window.
QWidget* DragClientOf(QWidget* window);
