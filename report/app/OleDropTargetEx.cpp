#include "report/app/OleDropTargetEx.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QWidget>

#include <algorithm>

#include "report/app/DragDropMgr.h"
#include "report/page/LumitraView.h"

namespace {

constexpr uint32_t kMkAlt = 0x20;

// The window a watched client widget belongs to (a scroll area for its
// viewport).
QWidget* WindowOf(QWidget* client) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(client ? client->parentWidget() : nullptr))
        if (area->viewport() == client) return area;
    return client;
}

// One action the answer allows among those offered; none when they share none.
Qt::DropAction ChosenAction(intptr_t effect, Qt::DropActions offered) {
    for (Qt::DropAction a : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction})
        if ((effect & intptr_t(a)) && (offered & a)) return a;
    return Qt::IgnoreAction;
}

intptr_t SendTo(QWidget* window, int32_t message, COleDropInfo* info) {
    COleDropMsg msg(message, info);
    QCoreApplication::sendEvent(window, &msg);
    return msg.GetResult();
}

void FillPoint(COleDropInfo& info, const QPointF& pos) {
    info.m_x = int32_t(pos.x());
    info.m_y = int32_t(pos.y());
}

}  // namespace

COleDropInfo::~COleDropInfo() = default;

COleDropMsg* COleDropMsg::From(QEvent* e) {
    const int t = e ? int(e->type()) : 0;
    return t >= kOleDragEnter && t <= kOleDragLeave ? static_cast<COleDropMsg*>(e) : nullptr;
}

COleDropTargetEx::~COleDropTargetEx() {
    for (const QPointer<QWidget>& w : m_windows)
        if (w) DragClientOf(w)->removeEventFilter(this);
}

uint32_t COleDropTargetEx::KeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    uint32_t k = 0;
    if (buttons & Qt::LeftButton) k |= kMkLButton;
    if (buttons & Qt::RightButton) k |= kMkRButton;
    if (buttons & Qt::MiddleButton) k |= kMkMButton;
    if (modifiers & Qt::ShiftModifier) k |= kMkShift;
    if (modifiers & Qt::ControlModifier) k |= kMkControl;
    if (modifiers & Qt::AltModifier) k |= kMkAlt;
    return k;
}

bool COleDropTargetEx::Register(QWidget* window) {
    if (!window) return false;
    Revoke(window);
    QWidget* client = DragClientOf(window);
    window->setAcceptDrops(true);
    client->setAcceptDrops(true);
    client->installEventFilter(this);
    m_windows.emplace_back(window);
    return true;
}

void COleDropTargetEx::Revoke(QWidget* window) {
    if (!window) return;
    DragClientOf(window)->removeEventFilter(this);
    m_windows.erase(std::remove_if(m_windows.begin(), m_windows.end(),
                                   [window](const QPointer<QWidget>& w) { return !w || w == window; }),
                    m_windows.end());
}

bool COleDropTargetEx::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop && type != QEvent::DragLeave)
        return false;
    if (!watched->isWidgetType()) return false;
    QWidget* window = WindowOf(static_cast<QWidget*>(watched));
    // A report view keeps its own drops (FCS files).
    if (qobject_cast<CLumitraView*>(window)) return false;

    if (type == QEvent::DragLeave) {
        SendTo(window, kOleDragLeave, nullptr);
        return true;
    }
    auto* e = static_cast<QDropEvent*>(event);
    COleDropInfo info;
    info.m_pDataObject = e->mimeData();
    FillPoint(info, e->position());
    if (type == QEvent::DragEnter || type == QEvent::DragMove) {
        info.m_dwKeyState = KeyState(e->buttons(), e->modifiers());
        const intptr_t effect = SendTo(window, type == QEvent::DragEnter ? kOleDragEnter : kOleDragOver, &info);
        const Qt::DropAction action = ChosenAction(effect, e->possibleActions());
        if (action == Qt::IgnoreAction) {
            e->ignore();
        } else {
            e->setDropAction(action);
            e->accept();
        }
        return true;
    }
    // A drop: first with the list of effects; a window that answers -1 is
    // asked again with the proposed effect alone.
    info.m_dropEffect = int32_t(e->proposedAction());
    info.m_dropEffectList = int32_t(e->possibleActions());
    intptr_t answer = SendTo(window, kOleDropEx, &info);
    Qt::DropAction action = Qt::IgnoreAction;
    if (answer != -1) {
        action = ChosenAction(answer, e->possibleActions());
    } else {
        COleDropInfo plain;
        plain.m_pDataObject = e->mimeData();
        plain.m_dropEffect = int32_t(e->proposedAction());
        FillPoint(plain, e->position());
        if (SendTo(window, kOleDrop, &plain) != 0) action = e->proposedAction();
    }
    if (action == Qt::IgnoreAction) {
        e->ignore();
    } else {
        e->setDropAction(action);
        e->accept();
    }
    return true;
}
