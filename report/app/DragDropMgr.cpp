#include "report/app/DragDropMgr.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>

#include <algorithm>
#include <cstdlib>

#include "report/app/DragDropData.h"

namespace {

// The managers installed, oldest first.
std::vector<CDragDropMgr*>& Installed() {
    static std::vector<CDragDropMgr*> list;
    return list;
}

CPoint ClientPoint(QWidget* window, const QPoint& global) {
    const QPoint p = DragClientOf(window)->mapFromGlobal(global);
    return CPoint(p.x(), p.y());
}

}  // namespace

const DragMessageIds& DragMessages() {
    // "WM_DD_DRAGENTER", "WM_DD_DRAGOVER", "WM_DD_DRAGDROP", "WM_DD_DRAGABORT".
    static const DragMessageIds ids{QEvent::Type(QEvent::registerEventType()),
                                    QEvent::Type(QEvent::registerEventType()),
                                    QEvent::Type(QEvent::registerEventType()),
                                    QEvent::Type(QEvent::registerEventType())};
    return ids;
}

CDragDropMsg* CDragDropMsg::From(QEvent* e) {
    if (!e) return nullptr;
    const DragMessageIds& ids = DragMessages();
    const QEvent::Type t = e->type();
    return t == ids.enter || t == ids.over || t == ids.drop || t == ids.abort ? static_cast<CDragDropMsg*>(e)
                                                                              : nullptr;
}

QWidget* DragClientOf(QWidget* window) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(window)) return area->viewport();
    return window;
}

// ============================================================== helpers

// Passes the application's events to the manager. A QObject of its own, so
// that the manager itself stays a plain class owned by value.
class CDragDropMgr::Router : public QObject {
public:
    explicit Router(CDragDropMgr* mgr) : m_mgr(mgr) {}
    bool eventFilter(QObject* receiver, QEvent* event) override {
        // Nothing of this object may be touched after the call: the manager
        // (and so this router) may be gone by then.
        return m_mgr->PreTranslateMessage(receiver, event);
    }

private:
    CDragDropMgr* m_mgr;
};

// The drag image: a window of its own above everything, never under the
// pointer (the image sits above and left of the hot spot) and never taking
// the mouse or the focus.
class CDragDropMgr::ImageWindow : public QWidget {
public:
    explicit ImageWindow(const QImage& image)
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                               Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
          m_image(image) {
        setObjectName(QStringLiteral("dragImage"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedSize(image.size());
    }
    // The hot spot is the image's bottom-right corner.
    void MoveTo(const QPoint& global) { move(global - QPoint(width(), height())); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, m_image);
    }

private:
    QImage m_image;
};

// ================================================================== life

CDragDropMgr::CDragDropMgr() : m_router(std::make_unique<Router>(this)) {
    if (QGuiApplication::instance()) m_dragDistance = std::max(QGuiApplication::styleHints()->startDragDistance(), 1);
}

CDragDropMgr::~CDragDropMgr() {
    // The owner is going too: no message to anyone.
    m_owner = nullptr;
    Reset();
    for (auto& [window, entry] : m_registry) QObject::disconnect(entry.second);
    m_registry.clear();
    auto& list = Installed();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void CDragDropMgr::Install(QWidget* owner, const std::vector<WindowEntry>& windows) {
    m_owner = owner;
    for (const WindowEntry& w : windows) AddWindow(w.window, w.flags);
    auto& list = Installed();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    list.push_back(this);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(m_router.get());
        app->installEventFilter(m_router.get());
    }
}

CDragDropMgr* CDragDropMgr::Routed() {
    const auto& list = Installed();
    return list.empty() ? nullptr : list.back();
}

// ============================================================== registry

void CDragDropMgr::AddWindow(QWidget* window, uint32_t flags) {
    if (!window || !flags) return;
    auto it = m_registry.find(window);
    if (it != m_registry.end()) {
        it->second.first = flags;
        return;
    }
    // A window leaves the registry when it dies: another one made later at
    // the same address must not inherit its flags.
    auto conn = QObject::connect(window, &QObject::destroyed, m_router.get(),
                                 [this](QObject* w) { OnWindowDestroyed(w); });
    m_registry.emplace(window, std::make_pair(flags, conn));
}

void CDragDropMgr::RemoveWindow(QWidget* window) {
    auto it = m_registry.find(window);
    if (it == m_registry.end()) return;
    QObject::disconnect(it->second.second);
    m_registry.erase(it);
}

uint32_t CDragDropMgr::GetFlags(QWidget* window) const {
    auto it = m_registry.find(window);
    return it == m_registry.end() ? 0 : it->second.first;
}

void CDragDropMgr::OnWindowDestroyed(QObject* window) {
    auto it = m_registry.find(static_cast<QWidget*>(window));
    if (it != m_registry.end()) m_registry.erase(it);
    if (m_state != kDragIdle && window == m_pressedKey) Abort();
}

QWidget* CDragDropMgr::RegisteredFor(QWidget* w, uint32_t flags) const {
    for (QWidget* p = w; p; p = p->isWindow() ? nullptr : p->parentWidget()) {
        auto it = m_registry.find(p);
        if (it != m_registry.end()) return (it->second.first & flags) == flags ? p : nullptr;
    }
    return nullptr;
}

QWidget* CDragDropMgr::GetImageWindow() const { return m_image.get(); }

// ================================================================ filter

bool CDragDropMgr::PreTranslateMessage(QObject* receiver, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: break;
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress: return m_state == kDragging && HandleKey(static_cast<QKeyEvent*>(event));
        case QEvent::ApplicationStateChange:
            // The program lost the desktop: the pointer is no longer ours.
            if (m_state != kDragIdle && QGuiApplication::applicationState() != Qt::ApplicationActive) Abort();
            return false;
        default: return false;
    }
    if (!receiver->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(receiver);
    auto* e = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (m_state == kDragging) {
                // Another press while dragging: the release was lost.
                Abort();
                return false;
            }
            if (e->button() != Qt::LeftButton) {
                Reset();
                return false;
            }
            if (QWidget* source = RegisteredFor(w, kDragSource)) return OnLButtonDown(source, e);
            Reset();
            return false;
        case QEvent::MouseButtonDblClick:
            // A double click is its own event: it starts no drag.
            if (m_state == kDragging) Abort();
            else Reset();
            return false;
        case QEvent::MouseMove: return m_state != kDragIdle && OnMouseMove(w, e);
        default: return m_state != kDragIdle && e->button() == Qt::LeftButton && OnLButtonUp(w, e);
    }
}

bool CDragDropMgr::HandleKey(QKeyEvent* e) {
    if (e->key() != Qt::Key_Escape) return false;
    if (e->type() == QEvent::ShortcutOverride) {
        // Escape must reach the drag, not a shortcut of the focused window.
        e->accept();
        return true;
    }
    Abort();
    return true;
}

// ============================================================== handlers

bool CDragDropMgr::OnLButtonDown(QWidget* window, QMouseEvent* e) {
    // The press goes on to the window (it selects what was clicked); the
    // manager only remembers where it was.
    Reset();
    m_pressed = window;
    m_pressedKey = window;
    m_pressGlobal = e->globalPosition().toPoint();
    m_pressPoint = ClientPoint(window, m_pressGlobal);
    m_state = kDragPressed;
    return false;
}

bool CDragDropMgr::OnMouseMove(QWidget*, QMouseEvent* e) {
    const QPoint global = e->globalPosition().toPoint();
    if (!(e->buttons() & Qt::LeftButton)) {
        // The button came up where the manager never saw it.
        if (m_state == kDragging) Abort();
        else Reset();
        return false;
    }
    if (m_state == kDragPressed) {
        if (!m_pressed) {
            Reset();
            return false;
        }
        const QPoint d = global - m_pressGlobal;
        if (std::abs(d.x()) < m_dragDistance && std::abs(d.y()) < m_dragDistance) return false;
        return StartDrag(global);
    }
    // Dragging. A popup or another grab took the pointer, or what was
    // dragged has gone: the drag is over.
    QWidget* grabber = QWidget::mouseGrabber();
    const bool grabLost = QApplication::activePopupWidget() ||
                          (grabber && m_pressed && grabber != m_pressed && !m_pressed->isAncestorOf(grabber));
    if (grabLost || !m_pressed || !m_record.payload || !m_record.payload->IsAlive()) {
        Abort();
        return true;
    }
    DragMove(global);
    return true;
}

bool CDragDropMgr::OnLButtonUp(QWidget*, QMouseEvent* e) {
    if (m_state != kDragging) {
        // A plain click: the release is the window's.
        Reset();
        return false;
    }
    Drop(e->globalPosition().toPoint());
    return true;
}

// =================================================================== drag

bool CDragDropMgr::Send(QWidget* to, QEvent::Type type, intptr_t* result) {
    const QPointer<Router> alive(m_router.get());
    CDragDropMsg msg(type, type == DragMessages().abort ? nullptr : &m_record);
    ++m_sendDepth;
    QCoreApplication::sendEvent(to, &msg);
    if (!alive) return false;
    --m_sendDepth;
    if (result) *result = msg.GetResult();
    // A drag ended while a window was being told frees its payload only now
    // that nobody reads it.
    if (m_sendDepth == 0 && m_state == kDragIdle) m_record.payload.reset();
    return true;
}

bool CDragDropMgr::StartDrag(const QPoint& global) {
    m_record.source = m_pressed;
    m_record.target = nullptr;
    m_record.payload.reset();
    m_record.point = m_pressPoint;
    intptr_t answer = 0;
    if (!Send(m_pressed, DragMessages().enter, &answer)) return true;
    if (m_state != kDragPressed || answer == 0 || !m_record.payload || !m_record.payload->IsAlive()) {
        // Refused (a report view supplies nothing): the move is the window's.
        Reset();
        return false;
    }
    m_state = kDragging;
    const QPointer<Router> router(m_router.get());
    m_record.payload->SetLostHandler([this, router] {
        // Told from inside the gate's removal: end the drag afterwards.
        if (router) QMetaObject::invokeMethod(router, [this] { OnPayloadLost(); }, Qt::QueuedConnection);
    });
    QApplication::setOverrideCursor(QCursor(m_noDropCursor));
    m_cursorSet = true;
    DragMove(global);
    if (!router || m_state != kDragging) return true;
    CRect extent;
    const QImage image = m_record.payload->CreateDragImage(m_pressed, &extent);
    m_image = std::make_unique<ImageWindow>(image);
    m_image->MoveTo(global);
    m_image->show();
    return true;
}

QWidget* CDragDropMgr::WindowAt(const QPoint& global) const {
    QWidget* w = QApplication::widgetAt(global);
    if (m_image && w && (w == m_image.get() || m_image->isAncestorOf(w))) {
        m_image->hide();
        w = QApplication::widgetAt(global);
        m_image->show();
    }
    if (!w) return nullptr;
    if (QWidget* target = RegisteredFor(w, kDropTarget)) return target;
    return w;
}

void CDragDropMgr::DragMove(const QPoint& global) {
    QWidget* under = WindowAt(global);
    m_record.target = under;
    QWidget* target = under && (GetFlags(under) & kDropTarget) ? under : nullptr;
    if (m_image) m_image->MoveTo(global);
    if (target) {
        m_record.point = ClientPoint(target, global);
        if (!Send(target, DragMessages().over, nullptr) || m_state != kDragging) return;
    }
    if (m_cursorSet) QApplication::changeOverrideCursor(QCursor(target ? m_dropCursor : m_noDropCursor));
}

void CDragDropMgr::Drop(const QPoint& global) {
    if (!m_pressed || !m_record.payload || !m_record.payload->IsAlive()) {
        Abort();
        return;
    }
    QWidget* under = WindowAt(global);
    m_record.target = under;
    QWidget* target = under && (GetFlags(under) & kDropTarget) ? under : nullptr;
    if (!target) {
        // Released over a window that takes no drop, or over none at all.
        Abort();
        return;
    }
    // The drag is over before the target hears of it: whatever the target
    // does (a refusal in a message box, a menu) meets no drag image, the
    // normal cursor and an idle manager that takes no key or move of it.
    // The payload lives on in the record until the target has answered.
    CDragRecord record;
    record.source = m_record.source;
    record.target = target;
    record.payload = std::move(m_record.payload);
    record.point = ClientPoint(target, global);
    Reset();
    CDragDropMsg msg(DragMessages().drop, &record);
    QCoreApplication::sendEvent(target, &msg);
}

void CDragDropMgr::Abort() {
    const bool dragging = m_state == kDragging;
    Reset();
    if (dragging && m_owner) Send(m_owner, DragMessages().abort, nullptr);
}

void CDragDropMgr::OnPayloadLost() {
    if (m_state == kDragging && (!m_record.payload || !m_record.payload->IsAlive())) Abort();
}

void CDragDropMgr::Reset() {
    m_state = kDragIdle;
    m_pressed = nullptr;
    m_pressedKey = nullptr;
    m_image.reset();
    if (m_cursorSet) {
        m_cursorSet = false;
        QApplication::restoreOverrideCursor();
    }
    m_record.source = nullptr;
    m_record.target = nullptr;
    if (m_sendDepth == 0) m_record.payload.reset();
}
