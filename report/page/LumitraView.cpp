#include "report/page/LumitraView.h"

#include <QAction>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

#include "platform/PaintHelpers.h"
#include "platform/UiServices.h"
#include "report/app/ChildFrame.h"
#include "report/app/DragDropMgr.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/app/MainFrame.h"
#include "report/page/PagePainter.h"
#include "report/plot/Plot.h"
#include "report/page/TrkKinds.h"
#include "report/page/TrkObj.h"

namespace {

CLumitraView* g_currentView = nullptr;

// Client coordinates of far-away page points (rectangles from a file may lie
// anywhere in the 32-bit range) are kept where integer arithmetic is safe.
constexpr double kClientLimit = 1.0e9;

int32_t ClientCoord(double v) { return int32_t(std::clamp(v, -kClientLimit, kClientLimit)); }

// States in which the active plot draws a region being dragged from its drag
// picture.
bool IsRegionDragState(int32_t s) {
    return s == kTrackRubberBandRegion || s == kTrackHandleDrag || s == kTrackRegionMove ||
           s == kTrackPolygonEntry || s == kTrackLabelDrag || s == kTrackPolygonScale;
}

}  // namespace

CLumitraView::CLumitraView(CLumitraDoc* doc, QWidget* parent) : QAbstractScrollArea(parent), m_doc(doc) {
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // Moves without a button matter too (a polygon's open edge follows the
    // pointer).
    viewport()->setMouseTracking(true);
    // FCS files are dropped here from the desktop.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    // 1000 pixels in tenths of a millimetre, truncated to whole tenths.
    const double dpiX = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    const double dpiY = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    m_screenUnitsX = float(int64_t(1000.0 * 254.0 / dpiX) / 1000);
    m_screenUnitsY = float(int64_t(1000.0 * 254.0 / dpiY) / 1000);
    if (m_doc) m_doc->AddView(this);
    // Gates dragged from the panels are dropped here.
    if (CMainFrame* frame = GetMainFrame())
        frame->RegisterDropView(this);
    else if (CDragDropMgr* mgr = CDragDropMgr::Routed())
        mgr->AddWindow(this, kDragSourceAndTarget);
    OnInitialUpdate();
}

CLumitraView::~CLumitraView() {
    if (g_currentView == this) g_currentView = nullptr;
    m_holdTimer.stop();
    if (m_doc) m_doc->RemoveView(this);
}

void CLumitraView::DetachDocument() {
    if (m_doc) m_doc->RemoveView(this);
    m_doc = nullptr;
    m_drawnTrackers.clear();
    m_feedback.clear();
    SetTrackState(kTrackIdle);
    viewport()->unsetCursor();
    viewport()->update();
}

bool CLumitraView::SetZoom(float z) {
    if (!(z >= kMinZoom && z <= kMaxZoom)) return false;
    m_zoom = z;
    UpdateScrollRanges();
    viewport()->update();
    emit mappingChanged();
    return true;
}

CSize CLumitraView::GetCanvasSize() const { return m_doc ? m_doc->GetCanvasSize() : CSize(0, 0); }

CTrkObj* CLumitraView::GetActiveObject() const { return m_doc ? m_doc->GetActiveObject() : nullptr; }

CTrkObj* CLumitraView::ObjectAtPoint(CPoint page) const {
    if (!m_doc) return nullptr;
    const std::vector<CTrkObj*> order = CPagePainter::StackingOrder(*m_doc);
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if ((*it)->GetRect().PtInRect(page)) return *it;
    return nullptr;
}

// ============================================================ coordinates

CPoint CLumitraView::ClientToLogical(const QPoint& client) const {
    const double x = (client.x() + horizontalScrollBar()->value()) / double(m_zoom);
    const double y = (client.y() + verticalScrollBar()->value()) / double(m_zoom);
    return CPoint(ClientCoord(std::floor(x)), ClientCoord(std::floor(y)));
}

CRect CLumitraView::ClientRectToLogical(const CRect& client) const {
    const CPoint a = ClientToLogical(QPoint(client.left, client.top));
    const CPoint b = ClientToLogical(QPoint(client.right, client.bottom));
    CRect r(a, b);
    r.NormalizeRect();
    return r;
}

CRect CLumitraView::ClientRectToLogicalCover(const CRect& client) const {
    const double sx = horizontalScrollBar()->value();
    const double sy = verticalScrollBar()->value();
    const double z = m_zoom;
    CRect r(ClientCoord(std::floor((client.left + sx) / z)), ClientCoord(std::floor((client.top + sy) / z)),
            ClientCoord(std::ceil((client.right + sx) / z)), ClientCoord(std::ceil((client.bottom + sy) / z)));
    r.NormalizeRect();
    return r;
}

QPoint CLumitraView::LogicalToClient(CPoint page) const {
    return QPoint(ClientCoord(std::round(page.x * double(m_zoom)) - horizontalScrollBar()->value()),
                  ClientCoord(std::round(page.y * double(m_zoom)) - verticalScrollBar()->value()));
}

CRect CLumitraView::LogicalRectToClient(const CRect& page) const {
    CRect n = page;
    n.NormalizeRect();
    const double sx = horizontalScrollBar()->value();
    const double sy = verticalScrollBar()->value();
    const double z = m_zoom;
    return CRect(ClientCoord(std::floor(n.left * z) - sx), ClientCoord(std::floor(n.top * z) - sy),
                 ClientCoord(std::ceil(n.right * z) - sx), ClientCoord(std::ceil(n.bottom * z) - sy));
}

CRect CLumitraView::LogicalRectToClientInside(const CRect& page) const {
    CRect n = page;
    n.NormalizeRect();
    const double sx = horizontalScrollBar()->value();
    const double sy = verticalScrollBar()->value();
    const double z = m_zoom;
    CRect r(ClientCoord(std::ceil(n.left * z) - sx), ClientCoord(std::ceil(n.top * z) - sy),
            ClientCoord(std::floor(n.right * z) - sx), ClientCoord(std::floor(n.bottom * z) - sy));
    if (r.IsRectEmpty()) r.SetRectEmpty();
    return r;
}

void CLumitraView::ApplyScreenMapping(QPainter& painter) const {
    painter.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    painter.scale(m_zoom, m_zoom);
}

// ========================================================= dirty bookkeeping

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

QRegion CLumitraView::RepaintRegionOfRect(const CRect& page) const {
    CRect visible;
    if (!visible.IntersectRect(LogicalRectToClient(page), lm::FromQRect(viewport()->rect()))) return QRegion();
    return QRegion(lm::ToQRect(visible));
}

QRegion CLumitraView::RepaintRegionOfObject(const CTrkObj* obj) const {
    if (!m_doc || !obj || m_doc->GetObjectIndex(obj) < 0) return QRegion();
    QRegion region = RepaintRegionOfRect(obj->GetRect());
    if (region.isEmpty()) return region;
    // What an upper object covers keeps the upper object's pixels. Only the
    // pixels wholly inside it are left out: a pixel it shares with the object
    // below (at a zoom that does not map its edge onto a pixel edge) is
    // repainted, both objects drawn in order.
    for (const CTrkObj* above : CPagePainter::ObjectsAbove(*m_doc, obj)) {
        const CRect cover = LogicalRectToClientInside(above->GetRect());
        if (!cover.IsRectEmpty()) region -= QRegion(lm::ToQRect(cover));
        if (region.isEmpty()) break;
    }
    return region;
}

void CLumitraView::UpdatePageRect(const CRect& page) {
    CRect c = LogicalRectToClient(page);
    c.InflateRect(kTrackerThickness, kTrackerThickness);
    CRect visible;
    if (visible.IntersectRect(c, lm::FromQRect(viewport()->rect()))) viewport()->update(lm::ToQRect(visible));
}

void CLumitraView::RedrawRect(const CRect& page) {
    const QRegion r = RepaintRegionOfRect(page);
    if (!r.isEmpty()) viewport()->update(r);
}

void CLumitraView::RedrawObjectMasked(CTrkObj* obj) {
    const QRegion r = RepaintRegionOfObject(obj);
    if (!r.isEmpty()) viewport()->update(r);
}

bool CLumitraView::HintWanted() const { return m_doc && m_doc->GetDataShellCount() == 0; }

void CLumitraView::RedrawDirtyAreas() {
    if (!m_doc) return;
    if (HintWanted() != m_hintPainted) {
        // The hint comes or goes: it lies across the whole view.
        viewport()->update();
        UpdateTrackers();
        return;
    }
    QRegion region;
    for (const CRect& r : m_doc->GetDirtyRects()) region += RepaintRegionOfRect(r);
    CTrkObj* active = m_doc->GetActiveObject();
    if (active && active->GetType() != kObjText) region += RepaintRegionOfObject(active);
    for (CTrkObj* o : m_doc->GetDirtyObjects()) region += RepaintRegionOfObject(o);
    if (!region.isEmpty()) viewport()->update(region);
    UpdateTrackers();
}

void CLumitraView::RedrawActiveObject() {
    if (!m_doc) return;
    if (CTrkObj* active = m_doc->GetActiveObject()) RedrawObjectMasked(active);
    UpdateTrackers();
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

void CLumitraView::UpdateTrackers() {
    // The frames are drawn from the current selection by every paint: the
    // places of the frames painted last and of the frames wanted now are
    // repainted.
    for (CRect r : m_drawnTrackers) {
        r.InflateRect(1, 1);
        viewport()->update(lm::ToQRect(r));
    }
    for (CRect r : TrackerRects()) {
        r.InflateRect(1, 1);
        viewport()->update(lm::ToQRect(r));
    }
}

void CLumitraView::DrawObjectTracker(CTrkObj* obj) {
    if (!obj) return;
    CRect frame = LogicalRectToClient(obj->GetRect());
    frame.InflateRect(1, 1);
    CRect visible;
    if (visible.IntersectRect(frame, lm::FromQRect(viewport()->rect()))) viewport()->update(lm::ToQRect(visible));
}

void CLumitraView::OnObjectRemoving(CTrkObj* obj) {
    // The document has let go of obj already: with no active object left it
    // was the active one, a member of the selection, or nothing was active.
    if (m_doc && (obj == m_doc->GetActiveObject() || !m_doc->GetActiveObject())) {
        // Whatever was tracked on it ends with it: frames, bands, the timer.
        ClearFeedback();
        viewport()->unsetCursor();
        SetTrackState(kTrackIdle);
    }
    UpdatePageRect(obj->GetRect());
}

// ================================================================= painting

QString CLumitraView::HintText() { return QStringLiteral("Drag drop FCS Data file here"); }

void CLumitraView::PaintClient(QPainter& p, const QRegion& region) {
    if (region.isEmpty()) return;
    p.save();
    p.setClipRegion(region, Qt::IntersectClip);
    if (!m_doc) {
        p.fillRect(region.boundingRect(), lm::ToQColor(CPagePainter::kGround));
        p.restore();
        return;
    }
    const CRect clip = ClientRectToLogicalCover(lm::FromQRect(region.boundingRect()));

    // While a region is dragged on the active plot only its plot area changes:
    // the picture kept for the drag is painted there with the edited region on
    // top, and the plot's layers are not drawn again for every move. The
    // active plot lies above everything, so nothing else shows there.
    if (CPLOT* plot = ActivePlot(); plot && plot->IsDragCacheReady() && IsRegionDragState(m_trackState)) {
        const QRect area = lm::ToQRect(LogicalRectToClient(plot->GetPlotArea()));
        if (area.contains(region.boundingRect())) {
            p.save();
            ApplyScreenMapping(p);
            const bool drawn = plot->DrawDragCacheAt(&p, 0, 0);
            p.restore();
            if (drawn) {
                p.restore();
                return;
            }
        }
    }

    p.save();
    ApplyScreenMapping(p);
    CPagePainter::DrawGround(p, *m_doc, clip, PageTarget::Screen);
    p.restore();

    if (HintWanted()) {
        p.save();
        p.setFont(font());
        p.setPen(Qt::black);
        p.drawText(viewport()->rect(), Qt::AlignCenter | Qt::TextSingleLine, HintText());
        p.restore();
    }

    // Objects whose pixels the region does not reach are not drawn at all:
    // the region of a covered object leaves out what the objects above it
    // cover, so they are not redrawn.
    std::vector<const CTrkObj*> skip;
    for (const auto& obj : m_doc->GetObjects()) {
        if (!obj->IntersectsRect(clip)) continue;
        if (!region.intersects(lm::ToQRect(LogicalRectToClient(obj->GetRect())))) skip.push_back(obj.get());
    }
    p.save();
    ApplyScreenMapping(p);
    CPagePainter::DrawObjects(p, *m_doc, clip, PageTarget::Screen, skip);
    p.restore();

    // Selection frames: an inverted overlay drawn from the current state.
    for (const CRect& r : TrackerRects()) lm::DrawInvertedFrame(p, r, kTrackerThickness);
    // Drag feedback on top: resize and move frames, rubber bands.
    for (const CRect& r : m_feedback) lm::DrawInvertedFrame(p, LogicalRectToClient(r), m_feedbackThickness);
    p.restore();
}

void CLumitraView::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    PaintClient(p, event->region());
    m_drawnTrackers = TrackerRects();
    // A partial paint leaves the hint as it was around the region; the next
    // redraw repaints the whole view if the hint should come or go.
    if (QRegion(viewport()->rect()).subtracted(event->region()).isEmpty()) m_hintPainted = HintWanted();
}

void CLumitraView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRanges();
}

void CLumitraView::scrollContentsBy(int, int) {
    viewport()->update();
    emit mappingChanged();
}

void CLumitraView::ShowPageRect(const CRect& page) {
    // The canvas may just have grown to hold the rectangle.
    UpdateScrollRanges();
    const CRect r = LogicalRectToClient(page);
    const QSize vp = viewport()->size();
    auto scroll = [](QScrollBar* bar, int32_t low, int32_t high, int32_t room) {
        int32_t by = 0;
        if (high > room) by = high - room;
        if (low - by < 0) by = low;  // the start wins when it cannot all show
        if (by != 0) bar->setValue(bar->value() + by);
    };
    scroll(horizontalScrollBar(), r.left, r.right, vp.width());
    scroll(verticalScrollBar(), r.top, r.bottom, vp.height());
}

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

// ================================================================= printing

int32_t CLumitraView::GetMaxPage() const { return m_doc ? CPagePainter::PageCount(*m_doc) : 0; }

bool CLumitraView::PrintTo(QPrinter& printer, QString* error) const {
    if (!m_doc) {
        if (error) *error = QStringLiteral("There is no report to print.");
        return false;
    }
    return CPagePainter::Print(printer, *m_doc, error);
}

QPrinter* CLumitraView::Printer() {
    if (CLumitraApp* app = GetLumitraApp()) return app->GetPrinter();
    if (!m_ownPrinter) m_ownPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_ownPrinter.get();
}

bool CLumitraView::PrintAndReport(QPrinter& printer) {
    QString error;
    if (PrintTo(printer, &error)) return true;
    lm::ErrorBox(this, QStringLiteral("Printing failed.\n%1").arg(error), ProgramName());
    return false;
}

bool CLumitraView::OnFilePrint() {
    if (!m_doc) return false;
    QPrinter* printer = Printer();
    printer->setDocName(m_doc->GetTitle());
    if (!lm::Ui().PrintDialog(this, printer, false)) return false;
    return PrintAndReport(*printer);
}

bool CLumitraView::OnFilePrintDirect() {
    if (!m_doc) return false;
    QPrinter* printer = Printer();
    printer->setDocName(m_doc->GetTitle());
    return PrintAndReport(*printer);
}

void CLumitraView::PreparePreview(QPrintPreviewDialog& dialog) {
    // The dialog's own "facing pages" action keeps its buttons in step; the
    // preview widget is set directly when the action cannot be found.
    const QString facing = QCoreApplication::translate("QPrintPreviewDialog", "Show facing pages");
    for (QAction* a : dialog.findChildren<QAction*>()) {
        if (a->text() == facing) {
            a->trigger();
            return;
        }
    }
    if (auto* w = dialog.findChild<QPrintPreviewWidget*>()) w->setFacingPagesViewMode();
}

void CLumitraView::OnFilePrintPreview() {
    if (!m_doc) return;
    QPrinter* printer = Printer();
    printer->setDocName(m_doc->GetTitle());
    QPrintPreviewDialog dialog(printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) {
        if (target) PrintTo(*target, nullptr);
    });
    PreparePreview(dialog);
    lm::Ui().ExecDialog(&dialog);
}

// ====================================================== current view

void CLumitraView::SetCurrentView(CLumitraView* view) { g_currentView = view; }

CLumitraView* CLumitraView::GetCurrentView() { return g_currentView; }

CLumitraView* CLumitraView::GetActiveLumitraView() {
    CMainFrame* frame = GetMainFrame();
    return frame ? frame->GetActiveReportView() : nullptr;
}
