#pragma once
// Helpers of the drag manager's tests: a window that supplies a gate when a
// drag starts on it, a window that records the drag messages it gets, a spy
// on every drag message of the application, and real mouse and key events
// given in desktop pixels.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "report/app/DragDropData.h"
#include "report/app/DragDropMgr.h"

namespace dragtest {

// Records the drag messages it receives (type and record point) and answers
// a drop with `dropAnswer`.
class Recorder : public QWidget {
public:
    struct Message {
        QEvent::Type type;
        CPoint point;
        CGateNode* gate;  // the payload's gate at the time
    };
    int Count(QEvent::Type type) const {
        int n = 0;
        for (const Message& m : messages) n += m.type == type;
        return n;
    }

    std::vector<Message> messages;
    int presses = 0, moves = 0, releases = 0, keys = 0, overrides = 0;
    std::function<void(CDragRecord&)> onDrop;  // runs inside the drop

protected:
    bool event(QEvent* e) override {
        if (CDragDropMsg* m = CDragDropMsg::From(e)) {
            CDragRecord* r = m->GetRecord();
            messages.push_back({e->type(), r ? r->point : CPoint(),
                                r && r->payload ? r->payload->GetGateContent() : nullptr});
            if (e->type() == DragMessages().drop && onDrop && r) onDrop(*r);
            return true;
        }
        switch (e->type()) {
            case QEvent::MouseButtonPress: ++presses; break;
            case QEvent::MouseMove: ++moves; break;
            case QEvent::MouseButtonRelease: ++releases; break;
            case QEvent::KeyPress: ++keys; break;
            case QEvent::ShortcutOverride: ++overrides; break;
            default: break;
        }
        return QWidget::event(e);
    }
};

// A drag source: answers "WM_DD_DRAGENTER" with a payload of `gate` (none
// when gate is null), as the gate panels do.
class GateSource : public Recorder {
public:
    CGateNode* gate = nullptr;
    intptr_t answer = 1;
    CPoint enterPoint;

protected:
    bool event(QEvent* e) override {
        if (e->type() == DragMessages().enter) {
            auto* m = static_cast<CDragDropMsg*>(e);
            enterPoint = m->GetRecord()->point;
            if (gate) m->GetRecord()->payload = std::make_unique<CDragDropGNEx>(gate);
            m->SetResult(answer);
        }
        return Recorder::event(e);
    }
};

// Counts every drag message sent anywhere in the application.
class Spy : public QObject {
public:
    Spy() { qApp->installEventFilter(this); }
    int Count(QEvent::Type type) const {
        int n = 0;
        for (QEvent::Type t : seen) n += t == type;
        return n;
    }
    int Total() const { return int(seen.size()); }
    std::vector<QEvent::Type> seen;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (CDragDropMsg::From(e)) seen.push_back(e->type());
        return false;
    }
};

// Counts the events of one type a widget receives.
class EventCounter : public QObject {
public:
    EventCounter(QObject* watched, QEvent::Type type, int* count) : m_type(type), m_count(count) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == m_type) ++*m_count;
        return false;
    }

private:
    QEvent::Type m_type;
    int* m_count;
};

// A mouse event at a desktop point, sent to `to` (the window the pointer is
// grabbed by) with its own client point.
inline bool Mouse(QWidget* to, QEvent::Type type, QPoint global, Qt::MouseButton button,
                  Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(to->mapFromGlobal(global)), QPointF(global), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &e);
    return e.isAccepted();
}
inline void Press(QWidget* to, QPoint g) { Mouse(to, QEvent::MouseButtonPress, g, Qt::LeftButton, Qt::LeftButton); }
inline void Move(QWidget* to, QPoint g, Qt::MouseButtons b = Qt::LeftButton) {
    Mouse(to, QEvent::MouseMove, g, Qt::NoButton, b);
}
inline void Release(QWidget* to, QPoint g) {
    Mouse(to, QEvent::MouseButtonRelease, g, Qt::LeftButton, Qt::NoButton);
}
inline void Key(QWidget* to, int key, QEvent::Type type = QEvent::KeyPress) {
    QKeyEvent e(type, key, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &e);
}

// The shape of the cursor the application shows over its own, or -1 when
// it shows none.
inline int OverrideShape() {
    const QCursor* c = QApplication::overrideCursor();
    return c ? int(c->shape()) : -1;
}

}  // namespace dragtest
