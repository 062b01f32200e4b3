#pragma once
// The one drawing of the report page. The report view, the printer, the print
// preview and picture export all paint the canvas through these functions, so
// what is printed is what is shown, less what only belongs on the screen (the
// grey ground beyond the canvas, the page borders, the hint text and the
// selection frames, which the view adds itself).
//
// Every function here paints in page units: the painter given is already
// mapped from page units to its device.
#include <QImage>
#include <QRectF>

#include <cstdint>
#include <vector>

#include "base/Geometry.h"

class CLumitraDoc;
class CTrkObj;
class QPainter;
class QPrinter;
class QString;

// What the page is painted for.
enum class PageTarget {
    Screen,  // grey beyond the canvas, white pages, dash-dot page borders
    Paper,   // printer, preview and pictures: white, and nothing but the objects
};

class CPagePainter {
public:
    // The screen's ground beyond the canvas and the colour of the pages.
    static constexpr COLORREF kGround = 0x808080;
    static constexpr COLORREF kPaper = 0xFFFFFF;
    // Largest picture RenderArea makes (pixels); a larger area gives null.
    static constexpr int64_t kMaxRenderPixels = int64_t(1) << 27;
    static constexpr int32_t kMaxRenderSide = 32767;

    // The page objects bottom to top: the document's list order with the
    // active object moved last, whatever its place in the list.
    static std::vector<CTrkObj*> StackingOrder(const CLumitraDoc& doc);
    // Objects that lie above obj in the stacking order (empty when obj is not
    // on the page).
    static std::vector<CTrkObj*> ObjectsAbove(const CLumitraDoc& doc, const CTrkObj* obj);

    // Ground of the clip rectangle: grey (screen only) with the canvas part
    // white, and on the screen the inner page borders.
    static void DrawGround(QPainter& p, const CLumitraDoc& doc, const CRect& clip, PageTarget target);
    // The grey dash-dot lines between pages that pass strictly inside clip;
    // the canvas's outer edges are never drawn.
    static void DrawPageBorders(QPainter& p, const CLumitraDoc& doc, const CRect& clip);
    // Every object meeting clip, bottom to top; the active object's
    // rectangle is filled white before it draws. Objects listed in skip are
    // left out (the view leaves out what its repaint region does not reach).
    static void DrawObjects(QPainter& p, const CLumitraDoc& doc, const CRect& clip, PageTarget target,
                            const std::vector<const CTrkObj*>& skip = {});
    // Ground, then objects.
    static void DrawCanvas(QPainter& p, const CLumitraDoc& doc, const CRect& clip, PageTarget target);

    // ---------------------------------------------------------------- pages
    // Pages across x pages down (at least 1).
    static int32_t PageCount(const CLumitraDoc& doc);
    // The canvas part of printed page n (1-based): column (n - 1) mod across,
    // row (n - 1) div across. Empty for a page number outside the canvas.
    static CRect PageRect(const CLumitraDoc& doc, int32_t pageNumber);
    // Page n of the canvas stretched over target (device units of p), clipped
    // to it: white, and the objects of that page (parts of objects that reach
    // into a neighbouring page are cut at the page edge).
    static void DrawPrintPage(QPainter& p, const CLumitraDoc& doc, int32_t pageNumber, const QRectF& target);
    // The page numbers the printer asks for (its page ranges, else all), in
    // printing order (the printer may ask for the last page first).
    static std::vector<int32_t> PagesToPrint(const QPrinter& printer, int32_t pageCount);
    // Prints the chosen pages, one canvas page on each printable page (the
    // printable area of the paper). False with *error set when the printer
    // cannot be opened or a page cannot be started.
    static bool Print(QPrinter& printer, const CLumitraDoc& doc, QString* error);

    // ------------------------------------------------------------- pictures
    // A page area at one pixel a page unit: white, then the objects meeting
    // it, the active one last. Null for an empty area or one larger than
    // kMaxRenderSide on a side or kMaxRenderPixels in all.
    static QImage RenderArea(const CLumitraDoc& doc, const CRect& area);
};
