#include "report/page/PagePainter.h"

#include <QPageRanges>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QString>

#include <algorithm>
#include <cstdint>

#include "platform/PaintHelpers.h"
#include "report/page/LumitraDoc.h"
#include "report/page/TrkObj.h"

std::vector<CTrkObj*> CPagePainter::StackingOrder(const CLumitraDoc& doc) {
    std::vector<CTrkObj*> out;
    out.reserve(doc.GetObjects().size());
    CTrkObj* active = doc.GetActiveObject();
    bool activeListed = false;
    for (const auto& o : doc.GetObjects()) {
        if (o.get() == active) {
            activeListed = true;
            continue;
        }
        out.push_back(o.get());
    }
    if (active && activeListed) out.push_back(active);
    return out;
}

std::vector<CTrkObj*> CPagePainter::ObjectsAbove(const CLumitraDoc& doc, const CTrkObj* obj) {
    std::vector<CTrkObj*> order = StackingOrder(doc);
    const auto it = std::find(order.begin(), order.end(), obj);
    if (it == order.end()) return {};
    return std::vector<CTrkObj*>(it + 1, order.end());
}

void CPagePainter::DrawGround(QPainter& p, const CLumitraDoc& doc, const CRect& clip, PageTarget target) {
    if (clip.IsRectEmpty()) return;
    if (target == PageTarget::Screen) lm::FillRect(p, clip, kGround);
    const CSize canvas = doc.GetCanvasSize();
    CRect page;
    if (page.IntersectRect(CRect(0, 0, canvas.cx, canvas.cy), clip)) lm::FillRect(p, page, kPaper);
    if (target == PageTarget::Screen) DrawPageBorders(p, doc, clip);
}

void CPagePainter::DrawPageBorders(QPainter& p, const CLumitraDoc& doc, const CRect& clip) {
    p.save();
    QPen pen(lm::ToQColor(kGround));
    pen.setStyle(Qt::DashDotLine);
    pen.setCosmetic(true);
    pen.setWidth(1);
    p.setPen(pen);
    p.setRenderHint(QPainter::Antialiasing, false);
    const CSize ps = doc.GetPageSize();
    // Only the edges between pages: the first column's left edge and the last
    // column's right edge are the canvas's own edges. A line exactly on the
    // clip's edge belongs to the neighbouring area and is left to it.
    for (int32_t i = 1; i < doc.GetPagesAcross(); ++i) {
        const int64_t x = int64_t(ps.cx) * i;
        if (clip.left < x && x < clip.right) p.drawLine(QPointF(double(x), clip.top), QPointF(double(x), clip.bottom));
    }
    for (int32_t j = 1; j < doc.GetPagesDown(); ++j) {
        const int64_t y = int64_t(ps.cy) * j;
        if (clip.top < y && y < clip.bottom) p.drawLine(QPointF(clip.left, double(y)), QPointF(clip.right, double(y)));
    }
    p.restore();
}

void CPagePainter::DrawObjects(QPainter& p, const CLumitraDoc& doc, const CRect& clip, PageTarget target,
                               const std::vector<const CTrkObj*>& skip) {
    if (clip.IsRectEmpty()) return;
    CTrkObj* active = doc.GetActiveObject();
    for (CTrkObj* obj : StackingOrder(doc)) {
        if (!obj->IntersectsRect(clip)) continue;
        if (std::find(skip.begin(), skip.end(), obj) != skip.end()) continue;
        p.save();
        // The active object is drawn above everything: whatever lies under it
        // is covered first.
        if (obj == active) lm::FillRect(p, obj->GetRect(), kPaper);
        if (target == PageTarget::Paper)
            obj->DrawPrint(&p);
        else
            obj->Draw(&p);
        p.restore();
    }
}

void CPagePainter::DrawCanvas(QPainter& p, const CLumitraDoc& doc, const CRect& clip, PageTarget target) {
    DrawGround(p, doc, clip, target);
    DrawObjects(p, doc, clip, target);
}

// ==================================================================== pages

int32_t CPagePainter::PageCount(const CLumitraDoc& doc) {
    return std::max(1, doc.GetPagesAcross()) * std::max(1, doc.GetPagesDown());
}

CRect CPagePainter::PageRect(const CLumitraDoc& doc, int32_t pageNumber) {
    if (pageNumber < 1 || pageNumber > PageCount(doc)) return CRect();
    const int32_t across = std::max(1, doc.GetPagesAcross());
    const CSize ps = doc.GetPageSize();
    if (ps.cx <= 0 || ps.cy <= 0) return CRect();
    const int64_t left = int64_t((pageNumber - 1) % across) * ps.cx;
    const int64_t top = int64_t((pageNumber - 1) / across) * ps.cy;
    if (left + ps.cx > INT32_MAX || top + ps.cy > INT32_MAX) return CRect();
    return CRect(CPoint(int32_t(left), int32_t(top)), ps);
}

void CPagePainter::DrawPrintPage(QPainter& p, const CLumitraDoc& doc, int32_t pageNumber, const QRectF& target) {
    const CRect page = PageRect(doc, pageNumber);
    if (page.IsRectEmpty() || target.isEmpty()) return;
    p.save();
    p.setClipRect(target, Qt::IntersectClip);
    p.fillRect(target, lm::ToQColor(kPaper));
    // One page of page units fills the printable area (stretched in each
    // direction on its own, as the page is not quite the paper's shape).
    p.translate(target.topLeft());
    p.scale(target.width() / page.Width(), target.height() / page.Height());
    p.translate(-page.left, -page.top);
    DrawObjects(p, doc, page, PageTarget::Paper);
    p.restore();
}

std::vector<int32_t> CPagePainter::PagesToPrint(const QPrinter& printer, int32_t pageCount) {
    std::vector<int32_t> pages;
    const QPageRanges ranges = printer.pageRanges();
    const bool ranged = printer.printRange() == QPrinter::PageRange && !ranges.isEmpty();
    for (int32_t n = 1; n <= pageCount; ++n)
        if (!ranged || ranges.contains(n)) pages.push_back(n);
    if (printer.pageOrder() == QPrinter::LastPageFirst) std::reverse(pages.begin(), pages.end());
    return pages;
}

bool CPagePainter::Print(QPrinter& printer, const CLumitraDoc& doc, QString* error) {
    const std::vector<int32_t> pages = PagesToPrint(printer, PageCount(doc));
    if (pages.empty()) {
        if (error) *error = QStringLiteral("The pages chosen are not on the report.");
        return false;
    }
    // Copies the printer does not make itself are printed here.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::clamp(printer.copyCount(), 1, 999);
    std::vector<int32_t> sequence;
    if (printer.collateCopies()) {
        for (int c = 0; c < copies; ++c) sequence.insert(sequence.end(), pages.begin(), pages.end());
    } else {
        for (int32_t n : pages) sequence.insert(sequence.end(), size_t(copies), n);
    }

    QPainter p;
    if (!p.begin(&printer)) {
        if (error) {
            *error = printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()
                         ? QStringLiteral("Cannot write %1.").arg(printer.outputFileName())
                         : QStringLiteral("The printer could not be opened.");
        }
        return false;
    }
    const QRectF target(0, 0, printer.width(), printer.height());
    bool first = true;
    for (int32_t n : sequence) {
        if (!first && !printer.newPage()) {
            p.end();
            if (error) *error = QStringLiteral("The printer refused a new page.");
            return false;
        }
        first = false;
        DrawPrintPage(p, doc, n, target);
    }
    if (!p.end()) {
        if (error) *error = QStringLiteral("Printing did not finish.");
        return false;
    }
    return true;
}

// ================================================================= pictures

QImage CPagePainter::RenderArea(const CLumitraDoc& doc, const CRect& area) {
    if (area.IsRectEmpty()) return QImage();
    const int64_t w = int64_t(area.right) - area.left;
    const int64_t h = int64_t(area.bottom) - area.top;
    if (w > kMaxRenderSide || h > kMaxRenderSide || w * h > kMaxRenderPixels) return QImage();
    QImage img(int(w), int(h), QImage::Format_RGB32);
    if (img.isNull()) return img;
    QPainter p(&img);
    p.translate(-area.left, -area.top);
    doc.DrawObjectsInRect(area, &p);
    p.end();
    return img;
}
