#include "report/LumitraView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

#include "platform/PaintHelpers.h"
#include "report/ChildFrame.h"
#include "report/LumitraApp.h"
#include "report/LumitraDoc.h"
#include "report/MainFrame.h"
#include "report/TrkObj.h"

namespace {

constexpr float kMinZoom = 0.2f;
constexpr float kMaxZoom = 5.0f;
constexpr COLORREF kGround = 0x808080;
constexpr COLORREF kPaper = 0xFFFFFF;
// Selection frames are this many pixels thick.
constexpr int kTrackerThickness = 3;

CLumitraView* g_currentView = nullptr;

}  // namespace

CLumitraView::CLumitraView(CLumitraDoc* doc, QWidget* parent) : QAbstractScrollArea(parent), m_doc(doc) {
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    if (m_doc) m_doc->AddView(this);
    OnInitialUpdate();
}

CLumitraView::~CLumitraView() {
    if (g_currentView == this) g_currentView = nullptr;
    if (m_doc) m_doc->RemoveView(this);
}

void CLumitraView::DetachDocument() {
    if (m_doc) m_doc->RemoveView(this);
    m_doc = nullptr;
    m_drawnTrackers.clear();
    m_trackState = kTrackIdle;
    viewport()->update();
}

bool CLumitraView::SetZoom(float z) {
    if (!(z >= kMinZoom && z <= kMaxZoom)) return false;
    m_zoom = z;
    UpdateScrollRanges();
    viewport()->update();
    return true;
}

CSize CLumitraView::GetCanvasSize() const { return m_doc ? m_doc->GetCanvasSize() : CSize(0, 0); }

CTrkObj* CLumitraView::GetActiveObject() const { return m_doc ? m_doc->GetActiveObject() : nullptr; }

CTrkObj* CLumitraView::ObjectAtPoint(CPoint page) const {
    if (!m_doc) return nullptr;
    const auto& objects = m_doc->GetObjects();
    for (auto it = objects.rbegin(); it != objects.rend(); ++it)
        if ((*it)->GetRect().PtInRect(page)) return it->get();
    return nullptr;
}

CPoint CLumitraView::ClientToLogical(const QPoint& client) const {
    const double x = (client.x() + horizontalScrollBar()->value()) / double(m_zoom);
    const double y = (client.y() + verticalScrollBar()->value()) / double(m_zoom);
    return CPoint(int32_t(std::floor(x)), int32_t(std::floor(y)));
}

CRect CLumitraView::ClientRectToLogical(const CRect& client) const {
    const CPoint a = ClientToLogical(QPoint(client.left, client.top));
    const CPoint b = ClientToLogical(QPoint(client.right, client.bottom));
    CRect r(a, b);
    r.NormalizeRect();
    return r;
}

QPoint CLumitraView::LogicalToClient(CPoint page) const {
    return QPoint(int(std::lround(page.x * double(m_zoom))) - horizontalScrollBar()->value(),
                  int(std::lround(page.y * double(m_zoom))) - verticalScrollBar()->value());
}

CRect CLumitraView::LogicalRectToClient(const CRect& page) const {
    const int sx = horizontalScrollBar()->value();
    const int sy = verticalScrollBar()->value();
    CRect r(int32_t(std::floor(page.left * double(m_zoom))) - sx, int32_t(std::floor(page.top * double(m_zoom))) - sy,
            int32_t(std::ceil(page.right * double(m_zoom))) - sx, int32_t(std::ceil(page.bottom * double(m_zoom))) - sy);
    r.NormalizeRect();
    return r;
}

void CLumitraView::AddDirtyRect(const CRect& rect) {
    if (m_doc) m_doc->AddDirtyRect(rect);
}

void CLumitraView::InvalidateObject(CTrkObj* obj) {
    if (m_doc) m_doc->InvalidateObject(obj);
}

void CLumitraView::RedrawDocument() {
    if (m_doc) m_doc->RedrawDirty();
}

void CLumitraView::OnInitialUpdate() { OnUpdate(); }

void CLumitraView::OnUpdate() {
    UpdateScrollRanges();
    viewport()->update();
}

void CLumitraView::UpdatePageRect(const CRect& page) {
    CRect c = LogicalRectToClient(page);
    c.InflateRect(kTrackerThickness, kTrackerThickness);
    viewport()->update(lm::ToQRect(c));
}

std::vector<CRect> CLumitraView::TrackerRects() const {
    std::vector<CRect> out;
    if (!m_doc) return out;
    if (CTrkObj* active = m_doc->GetActiveObject()) {
        out.push_back(LogicalRectToClient(active->GetRect()));
    } else {
        for (CTrkObj* o : m_doc->GetSelection()) out.push_back(LogicalRectToClient(o->GetRect()));
    }
    return out;
}

void CLumitraView::RedrawDirtyAreas() {
    if (!m_doc) return;
    // Qt paints through a back buffer: repainting the dirty areas in stacking
    // order leaves neither flicker nor objects drawn over their upper ones.
    for (const CRect& r : m_doc->GetDirtyRects()) UpdatePageRect(r);
    for (CTrkObj* o : m_doc->GetDirtyObjects()) UpdatePageRect(o->GetRect());
    if (CTrkObj* active = m_doc->GetActiveObject()) UpdatePageRect(active->GetRect());
    UpdateTrackers();
}

void CLumitraView::RedrawActiveObject() {
    if (!m_doc) return;
    if (CTrkObj* active = m_doc->GetActiveObject()) UpdatePageRect(active->GetRect());
    UpdateTrackers();
}

void CLumitraView::UpdateTrackers() {
    for (CRect r : m_drawnTrackers) {
        r.InflateRect(1, 1);
        viewport()->update(lm::ToQRect(r));
    }
    for (CRect r : TrackerRects()) {
        r.InflateRect(1, 1);
        viewport()->update(lm::ToQRect(r));
    }
}

void CLumitraView::OnObjectRemoving(CTrkObj* obj) {
    if (m_doc && obj == m_doc->GetActiveObject()) m_trackState = kTrackIdle;
    UpdatePageRect(obj->GetRect());
}

void CLumitraView::DrawPage(QPainter& p, const CRect& clip, bool printing) const {
    lm::FillRect(p, clip, kGround);
    const CSize canvas = GetCanvasSize();
    CRect page;
    if (page.IntersectRect(CRect(0, 0, canvas.cx, canvas.cy), clip)) lm::FillRect(p, page, kPaper);
    if (!m_doc) return;

    if (!printing) {
        p.save();
        QPen pen(lm::ToQColor(kGround));
        pen.setStyle(Qt::DashDotLine);
        pen.setCosmetic(true);
        pen.setWidth(1);
        p.setPen(pen);
        const CSize ps = m_doc->GetPageSize();
        // Inner page edges only (the canvas's outer edges never), and no line
        // on the clip's edge.
        for (int32_t i = 1; i < m_doc->GetPagesAcross(); ++i) {
            const int32_t x = ps.cx * i;
            if (clip.left < x && x < clip.right) p.drawLine(QPointF(x, clip.top), QPointF(x, clip.bottom));
        }
        for (int32_t j = 1; j < m_doc->GetPagesDown(); ++j) {
            const int32_t y = ps.cy * j;
            if (clip.top < y && y < clip.bottom) p.drawLine(QPointF(clip.left, y), QPointF(clip.right, y));
        }
        p.restore();
    }

    CTrkObj* active = m_doc->GetActiveObject();
    for (const auto& obj : m_doc->GetObjects()) {
        if (obj.get() == active || !obj->IntersectsRect(clip)) continue;
        p.save();
        if (printing)
            obj->DrawPrint(&p);
        else
            obj->Draw(&p);
        p.restore();
    }
    if (active && active->IntersectsRect(clip)) {
        lm::FillRect(p, active->GetRect(), kPaper);
        p.save();
        if (printing)
            active->DrawPrint(&p);
        else
            active->Draw(&p);
        p.restore();
    }
}

void CLumitraView::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    const QRect dirty = event->rect();
    if (!m_doc) {
        p.fillRect(dirty, lm::ToQColor(kGround));
        m_drawnTrackers.clear();
        return;
    }
    p.save();
    p.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    p.scale(m_zoom, m_zoom);
    CRect clip = ClientRectToLogical(lm::FromQRect(dirty));
    clip.InflateRect(1, 1);  // rounding at the zoom
    DrawPage(p, clip, false);
    p.restore();

    if (m_doc->GetDataShellCount() == 0) {
        p.setPen(Qt::black);
        p.drawText(viewport()->rect(), Qt::AlignCenter | Qt::TextSingleLine,
                   QStringLiteral("Drag drop FCS Data file here"));
    }
    // Selection frames: an inverted overlay drawn from the current state.
    m_drawnTrackers = TrackerRects();
    for (const CRect& r : m_drawnTrackers) lm::DrawInvertedFrame(p, r, kTrackerThickness);
}

void CLumitraView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRanges();
}

void CLumitraView::scrollContentsBy(int, int) { viewport()->update(); }

void CLumitraView::UpdateScrollRanges() {
    const CSize canvas = GetCanvasSize();
    const int w = int(canvas.cx * double(m_zoom));
    const int h = int(canvas.cy * double(m_zoom));
    const QSize vp = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, w - vp.width()));
    horizontalScrollBar()->setPageStep(std::max(1, vp.width()));
    horizontalScrollBar()->setSingleStep(std::max(1, vp.width() / 10));
    verticalScrollBar()->setRange(0, std::max(0, h - vp.height()));
    verticalScrollBar()->setPageStep(std::max(1, vp.height()));
    verticalScrollBar()->setSingleStep(std::max(1, vp.height() / 10));
}

void CLumitraView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    g_currentView = this;
    if (!m_doc) return;
    // Selection by click; moving, resizing and the object's own handling of
    // the press come with the full tracking state machine.
    CTrkObj* hit = ObjectAtPoint(ClientToLogical(event->position().toPoint()));
    m_doc->SetActiveObject(hit);
    m_trackState = hit ? kTrackMove : kTrackIdle;
    m_doc->RedrawDirty();
}

void CLumitraView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) g_currentView = this;
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void CLumitraView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    emit viewActivated(this);
}

CLumitraView* CLumitraView::GetCurrentView() { return g_currentView; }

CLumitraView* CLumitraView::GetActiveLumitraView() {
    CMainFrame* frame = GetMainFrame();
    return frame ? frame->GetActiveReportView() : nullptr;
}
