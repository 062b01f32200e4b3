#pragma once
// Numbers of gate dragging between the program's windows: what a window
// registered with the drag manager may be, the manager's states, the kinds of
// payload, and the fixed ids of the messages that hand drag-and-drop events of
// the desktop over to windows that are not report views.
#include <cstdint>

// What a registered window is to the drag manager (bits).
enum DragWindowFlags : uint32_t {
    kDragSource = 1,  // a drag may start on it
    kDropTarget = 2,  // a payload may be dropped on it
    kDragSourceAndTarget = kDragSource | kDropTarget,  // every report view
};

// The drag manager's states.
enum DragState : int32_t {
    kDragIdle = 0,
    kDragPressed = 1,  // left button down on a source, not yet moved far enough
    kDragging = 2,     // the source supplied a payload; the image follows the pointer
};

// What a payload carries.
enum DragPayloadKind : int32_t {
    kPayloadNone = 0,
    kPayloadGate = 2,
};

// Events of the desktop's drag and drop handed to a window that is not a
// report view; the record (COleDropInfo) travels with the message.
enum OleDropMessage : int32_t {
    kOleDragEnter = 3000,  // answer: the drop effect
    kOleDragOver = 3001,   // answer: the drop effect
    kOleDrop = 3002,       // answer: non-zero when taken
    kOleDropEx = 3003,     // answer: the effect, or -1 to be asked kOleDrop instead
    kOleDragLeave = 3004,  // no record
};

// Drop effects, the same bits as Qt::DropAction's copy, move and link.
enum DropEffect : int32_t {
    kDropEffectNone = 0,
    kDropEffectCopy = 1,
    kDropEffectMove = 2,
    kDropEffectLink = 4,
};

// Largest width of a gate payload's drag image, in pixels.
inline constexpr int32_t kDragImageMaxWidth = 64;
