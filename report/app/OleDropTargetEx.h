#pragma once
// A drop target for the desktop's drag and drop that hands the events over to
// the window as plain messages (OleDropMessage), with a COleDropInfo record,
// so that a panel can take drops in its own event handler. A report view is
// left alone: it takes its dropped files itself.
#include <QEvent>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <vector>

#include "report/app/DragDropIds.h"

class QMimeData;
class QWidget;

// What a drop message carries.
class COleDropInfo {
public:
    COleDropInfo() = default;
    virtual ~COleDropInfo();

    const QMimeData* m_pDataObject = nullptr;
    uint32_t m_dwKeyState = 0;     // MouseKeyFlags, with 0x20 for Alt
    int32_t m_dropEffect = -1;     // DropEffect; the default effect at kOleDropEx
    int32_t m_dropEffectList = 0;  // the effects the source allows (kOleDropEx)
    int32_t m_x = 0;               // the point in the window's client coordinates
    int32_t m_y = 0;
};

// One of the messages kOleDragEnter .. kOleDragLeave: the record is the
// wParam (null at kOleDragLeave), the answer is the result.
class COleDropMsg : public QEvent {
public:
    COleDropMsg(int32_t message, COleDropInfo* info) : QEvent(QEvent::Type(message)), m_info(info) {}
    // The event as a drop message, or null when it is none.
    static COleDropMsg* From(QEvent* e);

    COleDropInfo* GetInfo() const { return m_info; }
    intptr_t GetResult() const { return m_result; }
    void SetResult(intptr_t result) { m_result = result; }

private:
    COleDropInfo* m_info;
    intptr_t m_result = 0;
};

class COleDropTargetEx : public QObject {
public:
    COleDropTargetEx() = default;
    ~COleDropTargetEx() override;

    // The window accepts drops; its drag events come through this target.
    // False for a null window.
    bool Register(QWidget* window);
    void Revoke(QWidget* window);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Key state of a drag event's buttons and modifiers.
    static uint32_t KeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

private:
    std::vector<QPointer<QWidget>> m_windows;
};
