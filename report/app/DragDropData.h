#pragma once
// What is dragged between the program's windows. A source window makes a
// payload when the drag manager asks for one; from then on the manager owns
// it and deletes it when the drag ends, however it ends. A payload draws its
// own drag image: a highlight-coloured label with white text.
//
// A gate payload follows its gate: when the gate or its data shell goes away
// mid-drag the payload lets go of it (GetGate() becomes null) and tells
// whoever asked (the manager), so that nothing ever reaches a dead gate.
#include <QFont>
#include <QImage>
#include <QString>

#include <functional>

#include "base/Geometry.h"
#include "core/Observers.h"
#include "report/app/DragDropIds.h"

class CGateNode;
class QPainter;
class QWidget;

class CDragDropData {
public:
    CDragDropData() = default;
    virtual ~CDragDropData();
    CDragDropData(const CDragDropData&) = delete;
    CDragDropData& operator=(const CDragDropData&) = delete;

    // The drag image in the window's font: GetDragImageSize gives its size,
    // it is filled with the highlight colour and DrawDragImage draws on it in
    // white. *extent := (0, 0) to the size. Never empty.
    virtual QImage CreateDragImage(QWidget* window, CRect* extent);
    virtual CSize GetDragImageSize(const QFont& font) const = 0;
    virtual void DrawDragImage(QPainter& painter, const CRect& rect) const = 0;
    // The gate carried (null for other payloads and once the gate has gone).
    virtual CGateNode* GetGateContent() const = 0;
    virtual int32_t GetKind() const { return kPayloadNone; }
    // False once what the payload carries has gone.
    virtual bool IsAlive() const { return true; }
    // Called (once) when what the payload carries goes away.
    void SetLostHandler(std::function<void()> handler) { m_onLost = std::move(handler); }

protected:
    void NotifyLost();

    QImage m_bitmap;  // the last image made

private:
    std::function<void()> m_onLost;
};

// One gate.
class CDragDropGNEx : public CDragDropData, public CGateUser {
public:
    explicit CDragDropGNEx(CGateNode* gate);
    ~CDragDropGNEx() override;

    // The name's width in the font, at most kDragImageMaxWidth, and one line
    // high; an empty name still gets a small square.
    CSize GetDragImageSize(const QFont& font) const override;
    // The name, cut with an ellipsis where it does not fit.
    void DrawDragImage(QPainter& painter, const CRect& rect) const override;
    CGateNode* GetGateContent() const override { return m_gate; }
    int32_t GetKind() const override { return m_kind; }
    bool IsAlive() const override { return m_gate != nullptr; }

    // The text drawn in a rectangle width pixels wide.
    QString DisplayText(const QFont& font, int32_t width) const;

    void OnGateChanged() override {}
    void OnGateUpdated() override {}
    void DetachGate(bool remove, bool notify) override;
    void DetachShell(bool remove, bool notify) override;

private:
    QString Name() const;

    int32_t m_kind = kPayloadGate;
};
