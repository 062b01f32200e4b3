// The report view's drawing under the offscreen platform: page units and
// pixels at several zooms, the grey ground, white pages and page borders, the
// hint, the stacking order, the selection frames, and the repaint of dirty
// rectangles and dirty objects, checked by pixels.
#include "report/page/LumitraView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <climits>
#include <memory>

#include "core/DataShell.h"
#include "report/page/LumitraDoc.h"
#include "report/page/PagePainter.h"
#include "tests/report/ViewTestUtil.h"

namespace {

using namespace vtest;

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        doc = std::make_unique<CLumitraDoc>();
        view = std::make_unique<CLumitraView>(doc.get());
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->resize(400, 300);
        view->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        view.reset();
        doc.reset();
    }

    void ScrollTo(int x, int y) {
        view->horizontalScrollBar()->setValue(x);
        view->verticalScrollBar()->setValue(y);
        ASSERT_EQ(view->horizontalScrollBar()->value(), x);
        ASSERT_EQ(view->verticalScrollBar()->value(), y);
    }

    // The viewport as a paint of `region` leaves it on a magenta picture.
    QImage Paint(const QRegion& region) {
        QImage img(view->viewport()->size(), QImage::Format_RGB32);
        img.fill(Rgb(kMagenta));
        QPainter p(&img);
        view->PaintClient(p, region);
        p.end();
        return img;
    }
    QImage PaintAll() { return Paint(QRegion(view->viewport()->rect())); }

    // Paints queued for the widget are carried out now.
    static void Flush() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    std::unique_ptr<CLumitraDoc> doc;
    std::unique_ptr<CLumitraView> view;
};

TEST_F(ViewTest, ZoomIsTakenFromTwoTenthsToFiveAndSetsTheScrollRange) {
    ASSERT_EQ(view->viewport()->size(), QSize(400, 300));
    EXPECT_FLOAT_EQ(view->GetZoom(), 1.0f);
    // A 1 x 2 canvas: 1024 x 2828 page units.
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 1024 - 400);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 2828 - 300);
    EXPECT_TRUE(view->SetZoom(2.0f));
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 2048 - 400);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 5656 - 300);
    EXPECT_TRUE(view->SetZoom(0.2f));
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);  // 204 pixels fit
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 565 - 300);
    EXPECT_TRUE(view->SetZoom(5.0f));
    EXPECT_FALSE(view->SetZoom(0.19f));
    EXPECT_FALSE(view->SetZoom(5.01f));
    EXPECT_FALSE(view->SetZoom(0.0f));
    EXPECT_FALSE(view->SetZoom(-1.0f));
    EXPECT_FLOAT_EQ(view->GetZoom(), 5.0f);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 5120 - 400);
    // More pages: the range follows the canvas.
    doc->SetPageCount(2, 3);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 10240 - 400);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 3 * 1414 * 5 - 300);
}

TEST_F(ViewTest, PageUnitsMapToPixelsBothWaysAtDoubleZoom) {
    FillObj* obj = AddFill(*doc, CRect(100, 100, 200, 160), kBlue);
    ASSERT_TRUE(view->SetZoom(2.0f));
    ScrollTo(50, 30);
    // Page (100, 100) is pixel (2 * 100 - 50, 2 * 100 - 30).
    EXPECT_EQ(view->LogicalToClient(CPoint(100, 100)), QPoint(150, 170));
    EXPECT_EQ(view->ClientToLogical(QPoint(150, 170)), CPoint(100, 100));
    EXPECT_EQ(view->ClientToLogical(QPoint(151, 171)), CPoint(100, 100));  // half a unit
    EXPECT_EQ(view->ClientToLogical(QPoint(152, 172)), CPoint(101, 101));
    EXPECT_EQ(view->ClientToLogical(QPoint(0, 0)), CPoint(25, 15));
    EXPECT_EQ(view->LogicalRectToClient(obj->GetRect()), CRect(150, 170, 350, 290));
    EXPECT_EQ(view->ClientRectToLogical(CRect(150, 170, 350, 290)), obj->GetRect());
    EXPECT_EQ(view->ObjectAtPoint(view->ClientToLogical(QPoint(349, 289))), obj);
    EXPECT_EQ(view->ObjectAtPoint(view->ClientToLogical(QPoint(350, 289))), nullptr);

    const QImage img = PaintAll();
    EXPECT_EQ(At(img, 150, 170), Rgb(kBlue));
    EXPECT_EQ(At(img, 349, 289), Rgb(kBlue));
    EXPECT_EQ(At(img, 149, 170), kWhitePx);
    EXPECT_EQ(At(img, 150, 169), kWhitePx);
    EXPECT_EQ(At(img, 350, 289), kWhitePx);
    EXPECT_EQ(At(img, 349, 290), kWhitePx);
    EXPECT_EQ(Count(img, CRect(0, 0, 400, 300), Rgb(kBlue)), 200 * 120);
    // Nothing is left unpainted.
    EXPECT_EQ(Count(img, CRect(0, 0, 400, 300), Rgb(kMagenta)), 0);
}

TEST_F(ViewTest, PageUnitsMapToPixelsBothWaysAtHalfZoomWithGreyBeyondTheCanvas) {
    FillObj* obj = AddFill(*doc, CRect(100, 100, 200, 160), kBlue);
    ASSERT_TRUE(view->SetZoom(0.5f));
    ScrollTo(0, 0);
    EXPECT_EQ(view->LogicalToClient(CPoint(100, 100)), QPoint(50, 50));
    EXPECT_EQ(view->ClientToLogical(QPoint(50, 50)), CPoint(100, 100));
    EXPECT_EQ(view->ClientToLogical(QPoint(399, 299)), CPoint(798, 598));
    EXPECT_EQ(view->LogicalRectToClient(obj->GetRect()), CRect(50, 50, 100, 80));

    view->resize(600, 300);  // the 1024-unit page is 512 pixels wide
    const QImage img = PaintAll();
    EXPECT_EQ(Count(img, CRect(0, 0, 600, 300), Rgb(kBlue)), 50 * 30);
    EXPECT_EQ(At(img, 50, 50), Rgb(kBlue));
    EXPECT_EQ(At(img, 99, 79), Rgb(kBlue));
    EXPECT_EQ(At(img, 100, 79), kWhitePx);
    EXPECT_EQ(At(img, 49, 50), kWhitePx);
    EXPECT_EQ(At(img, 511, 10), kWhitePx);
    EXPECT_EQ(At(img, 512, 10), kGreyPx);
    EXPECT_EQ(Count(img, CRect(512, 0, 600, 300), kGreyPx), 88 * 300);
}

TEST_F(ViewTest, PageBordersAreDashDotLinesBetweenPagesOnly) {
    doc->SetPageCount(2, 2);
    ASSERT_TRUE(view->SetZoom(0.5f));
    view->resize(700, 600);
    ScrollTo(0, 200);  // the row border (y 1414) is pixel row 707 - 200
    const QImage img = PaintAll();
    const int row = 707 - 200;
    const int col = 512;
    // Dashes: grey and white alternate along the border.
    const int greyOnRow = Count(img, CRect(0, row, 700, row + 1), kGreyPx);
    EXPECT_GT(greyOnRow, 200);
    EXPECT_LT(greyOnRow, 650);
    const int greyOnCol = Count(img, CRect(col, 0, col + 1, 600), kGreyPx);
    EXPECT_GT(greyOnCol, 150);
    EXPECT_LT(greyOnCol, 550);
    // One pixel wide (away from where the two borders cross).
    EXPECT_EQ(Count(img, CRect(0, row + 2, col - 2, row + 3), kGreyPx), 0);
    EXPECT_EQ(Count(img, CRect(col + 2, 0, col + 3, row - 2), kGreyPx), 0);
    // The canvas's own edges are not drawn: the left column and, at the top
    // of the canvas, the first row stay white.
    ScrollTo(0, 0);
    const QImage top = PaintAll();
    EXPECT_EQ(Count(top, CRect(0, 0, 1, 600), kWhitePx), 600);
    EXPECT_EQ(Count(top, CRect(0, 0, 512, 1), kWhitePx), 512);
    EXPECT_EQ(Count(top, CRect(513, 0, 700, 1), kWhitePx), 700 - 513);
}

TEST_F(ViewTest, TheHintShowsOnlyWhileNoDataSetIsOpen) {
    auto darkInMiddle = [this](const QImage& img) {
        const int cy = view->viewport()->height() / 2;
        int dark = 0;
        for (int y = cy - 10; y < cy + 10; ++y)
            for (int x = 0; x < img.width(); ++x) dark += qGray(At(img, x, y)) < 100 ? 1 : 0;
        return dark;
    };
    EXPECT_GT(darkInMiddle(PaintAll()), 20);
    ASSERT_NE(doc->AttachDataShell(nullptr), nullptr);
    EXPECT_EQ(darkInMiddle(PaintAll()), 0);
    EXPECT_EQ(CLumitraView::HintText(), "Drag drop FCS Data file here");
}

TEST_F(ViewTest, ObjectsStackInListOrderWithTheActiveOneOnTop) {
    FillObj* a = AddFill(*doc, CRect(10, 10, 110, 110), kRed);
    FillObj* b = AddFill(*doc, CRect(60, 60, 160, 160), kGreen);
    ScrollTo(0, 0);
    QImage img = PaintAll();
    EXPECT_EQ(At(img, 80, 80), Rgb(kGreen));  // the later object is above
    EXPECT_EQ(view->ObjectAtPoint(CPoint(80, 80)), b);

    // The active object is drawn last even when objects were added after it
    // became active.
    doc->SetActiveObject(a);
    FillObj* c = AddFill(*doc, CRect(90, 90, 190, 190), kBlue);
    ASSERT_EQ(doc->GetObjects().back().get(), c);
    ASSERT_EQ(doc->GetActiveObject(), a);
    EXPECT_EQ(CPagePainter::StackingOrder(*doc), (std::vector<CTrkObj*>{b, c, a}));
    EXPECT_EQ(view->ObjectAtPoint(CPoint(100, 100)), a);
    EXPECT_EQ(view->ObjectAtPoint(CPoint(120, 120)), c);
    img = PaintAll();
    // Inside the frame of the active object (3 pixels, inverted) its colour shows.
    EXPECT_EQ(At(img, 100, 100), Rgb(kRed));
    EXPECT_EQ(At(img, 80, 80), Rgb(kRed));
    EXPECT_EQ(At(img, 120, 120), Rgb(kBlue));
    EXPECT_EQ(At(img, 150, 150), Rgb(kBlue));

    // A partial repaint of a rectangle across all three keeps the order.
    const QImage part = Paint(view->RepaintRegionOfRect(CRect(95, 95, 130, 130)));
    EXPECT_EQ(At(part, 100, 100), Rgb(kRed));
    EXPECT_EQ(At(part, 105, 105), Rgb(kRed));
    EXPECT_EQ(At(part, 120, 120), Rgb(kBlue));
    EXPECT_EQ(At(part, 94, 94), Rgb(kMagenta));  // outside the rectangle: untouched
}

TEST_F(ViewTest, TheActiveObjectGetsAnInvertedFrameAndTheSelectionFramesWithoutOne) {
    FillObj* a = AddFill(*doc, CRect(20, 20, 120, 100), kBlue);
    FillObj* b = AddFill(*doc, CRect(200, 20, 300, 100), kBlue);
    ScrollTo(0, 0);
    QImage img = PaintAll();
    EXPECT_EQ(At(img, 20, 20), Rgb(kBlue));  // no frame without a selection
    doc->SetActiveObject(a);
    img = PaintAll();
    const QRgb inverted = qRgb(255, 255, 0);  // blue inverted
    EXPECT_EQ(At(img, 20, 20), inverted);
    EXPECT_EQ(At(img, 22, 50), inverted);
    EXPECT_EQ(At(img, 119, 99), inverted);
    EXPECT_EQ(At(img, 23, 50), Rgb(kBlue));  // 3 pixels thick
    EXPECT_EQ(At(img, 70, 60), Rgb(kBlue));
    EXPECT_EQ(At(img, 200, 20), Rgb(kBlue));
    // A multi-selection: each member framed.
    doc->SetActiveObject(nullptr);
    doc->AddToSelection(a);
    doc->AddToSelection(b);
    img = PaintAll();
    EXPECT_EQ(At(img, 20, 20), inverted);
    EXPECT_EQ(At(img, 200, 20), inverted);
    EXPECT_EQ(At(img, 250, 60), Rgb(kBlue));
    // The frames follow the zoom.
    ASSERT_TRUE(view->SetZoom(2.0f));
    ScrollTo(0, 0);
    img = PaintAll();
    EXPECT_EQ(At(img, 40, 40), inverted);
    EXPECT_EQ(At(img, 239, 199), inverted);
    EXPECT_EQ(At(img, 43, 43), Rgb(kBlue));
}

TEST_F(ViewTest, TheCoveredPartOfADirtyObjectIsNotRepaintedOverItsNeighbour) {
    FillObj* lower = AddFill(*doc, CRect(10, 10, 110, 110), kRed);
    FillObj* upper = AddFill(*doc, CRect(60, 60, 160, 160), kGreen);
    ScrollTo(0, 0);
    const QRegion region = view->RepaintRegionOfObject(lower);
    EXPECT_TRUE(region.contains(QPoint(30, 30)));
    EXPECT_TRUE(region.contains(QPoint(105, 40)));
    EXPECT_TRUE(region.contains(QPoint(40, 105)));
    EXPECT_FALSE(region.contains(QPoint(60, 60)));
    EXPECT_FALSE(region.contains(QPoint(109, 109)));
    EXPECT_FALSE(region.contains(QPoint(130, 130)));
    // The upper object is not covered: its whole rectangle.
    EXPECT_EQ(view->RepaintRegionOfObject(upper), QRegion(60, 60, 100, 100));

    lower->colour = kBlue;
    lower->draws = upper->draws = 0;
    const QImage img = Paint(region);
    EXPECT_EQ(lower->draws, 1);
    EXPECT_EQ(upper->draws, 0);  // a neighbour that is not reached is not drawn
    EXPECT_EQ(At(img, 30, 30), Rgb(kBlue));
    EXPECT_EQ(At(img, 109, 59), Rgb(kBlue));
    EXPECT_EQ(At(img, 59, 109), Rgb(kBlue));
    EXPECT_EQ(At(img, 60, 60), Rgb(kMagenta));  // the covered part: untouched
    EXPECT_EQ(At(img, 109, 109), Rgb(kMagenta));
    EXPECT_EQ(Count(img, CRect(0, 0, 400, 300), Rgb(kBlue)), 100 * 100 - 50 * 50);
    EXPECT_EQ(Count(img, CRect(0, 0, 400, 300), Rgb(kGreen)), 0);

    // At a zoom that puts the upper object's edges inside pixels, the pixels
    // the two share are repainted with both, in order; those wholly inside the
    // upper object are not.
    upper->SetRect(CRect(61, 61, 161, 161), true);
    ASSERT_TRUE(view->SetZoom(0.75f));
    ScrollTo(0, 0);
    const QRegion zoomed = view->RepaintRegionOfObject(lower);
    EXPECT_TRUE(zoomed.contains(QPoint(45, 45)));  // 61 * 0.75 = 45.75: a shared pixel
    EXPECT_FALSE(zoomed.contains(QPoint(46, 46)));
    EXPECT_TRUE(zoomed.contains(QPoint(82, 40)));  // 110 * 0.75 = 82.5: the lower's edge pixel
    upper->draws = 0;
    const QImage z = Paint(zoomed);
    EXPECT_EQ(At(z, 44, 44), Rgb(kBlue));
    EXPECT_NE(At(z, 45, 45), Rgb(kMagenta));
    EXPECT_EQ(At(z, 46, 46), Rgb(kMagenta));
    EXPECT_EQ(upper->draws, 1);  // drawn for the shared pixels only
}

TEST_F(ViewTest, AnObjectBelowTheActiveOneIsMaskedByIt) {
    FillObj* active = AddFill(*doc, CRect(50, 50, 150, 150), kGreen);
    doc->SetActiveObject(active);
    FillObj* later = AddFill(*doc, CRect(100, 100, 200, 200), kRed);  // listed after the active one
    ScrollTo(0, 0);
    const QRegion region = view->RepaintRegionOfObject(later);
    EXPECT_FALSE(region.contains(QPoint(120, 120)));
    EXPECT_TRUE(region.contains(QPoint(170, 170)));
    later->colour = kBlue;
    const QImage img = Paint(region);
    EXPECT_EQ(At(img, 170, 170), Rgb(kBlue));
    EXPECT_EQ(At(img, 120, 120), Rgb(kMagenta));
    EXPECT_EQ(view->RepaintRegionOfObject(active), QRegion(50, 50, 100, 100));
}

TEST_F(ViewTest, DirtyRectanglesAreClippedToTheViewBeforeAnythingIsMade) {
    ScrollTo(0, 0);
    ASSERT_TRUE(view->SetZoom(5.0f));
    // A rectangle far larger than the view: only the view is repainted.
    EXPECT_EQ(view->RepaintRegionOfRect(CRect(-1000000, -1000000, 1000000, 1000000)).boundingRect(),
              view->viewport()->rect());
    EXPECT_EQ(view->RepaintRegionOfRect(CRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX)).boundingRect(),
              view->viewport()->rect());
    // Out of sight: nothing.
    EXPECT_TRUE(view->RepaintRegionOfRect(CRect(2000, 2000, 2100, 2100)).isEmpty());
    EXPECT_TRUE(view->RepaintRegionOfRect(CRect(-500, -500, -10, -10)).isEmpty());
    EXPECT_TRUE(view->RepaintRegionOfRect(CRect(10, 10, 10, 50)).isEmpty());  // no area
    // Partly seen: the part in the view.
    EXPECT_EQ(view->RepaintRegionOfRect(CRect(70, 50, 200, 70)), QRegion(350, 250, 50, 50));
    // An object far off the canvas makes no repaint and no crash.
    FillObj* far = AddFill(*doc, CRect(0, 0, 10, 10), kRed);
    far->SetRect(CRect(INT32_MAX - 10, INT32_MAX - 10, INT32_MAX, INT32_MAX), true);
    EXPECT_TRUE(view->RepaintRegionOfObject(far).isEmpty());
    view->RedrawObjectMasked(far);
    view->RedrawRect(far->GetRect());
    const QImage img = PaintAll();
    EXPECT_EQ(Count(img, CRect(0, 0, 400, 300), Rgb(kRed)), 0);
    // Objects that are not on the page have no region.
    FillObj loose(CRect(0, 0, 50, 50), nullptr, kRed);
    EXPECT_TRUE(view->RepaintRegionOfObject(&loose).isEmpty());
    EXPECT_TRUE(view->RepaintRegionOfObject(nullptr).isEmpty());
}

TEST_F(ViewTest, TheDocumentsRedrawRepaintsOnlyWhatChanged) {
    doc->AttachDataShell(nullptr);  // no hint: it would repaint the whole view
    FillObj* lower = AddFill(*doc, CRect(10, 10, 110, 110), kRed);
    FillObj* upper = AddFill(*doc, CRect(60, 60, 160, 160), kGreen);
    FillObj* aside = AddFill(*doc, CRect(200, 10, 300, 110), kBlue);
    view->viewport()->update();
    Flush();
    ASSERT_GT(lower->draws, 0);
    ASSERT_GT(upper->draws, 0);
    ASSERT_GT(aside->draws, 0);

    // A dirty object below another: it alone is painted again.
    lower->draws = upper->draws = aside->draws = 0;
    doc->InvalidateObject(lower);
    doc->RedrawDirty();
    Flush();
    EXPECT_EQ(lower->draws, 1);
    EXPECT_EQ(upper->draws, 0);
    EXPECT_EQ(aside->draws, 0);
    EXPECT_TRUE(doc->GetDirtyObjects().empty());

    // A dirty rectangle: everything that lies in it.
    lower->draws = upper->draws = aside->draws = 0;
    doc->AddDirtyRect(CRect(100, 100, 120, 120));
    doc->RedrawDirty();
    Flush();
    EXPECT_EQ(lower->draws, 1);
    EXPECT_EQ(upper->draws, 1);
    EXPECT_EQ(aside->draws, 0);

    // The hint going away repaints everything.
    CLumitraDoc empty;
    CLumitraView second(&empty);
    second.resize(300, 200);
    second.show();
    FillObj* other = AddFill(empty, CRect(250, 150, 280, 180), kRed);
    Flush();
    other->draws = 0;
    empty.AttachDataShell(nullptr);
    // A paint of a small part meanwhile leaves most of the hint on the screen.
    second.viewport()->update(QRect(0, 0, 10, 10));
    Flush();
    ASSERT_EQ(other->draws, 0);
    empty.RedrawDirty();
    Flush();
    EXPECT_EQ(other->draws, 1);
}

TEST_F(ViewTest, ADetachedViewPaintsGreyAndIgnoresPrinting) {
    AddFill(*doc, CRect(0, 0, 400, 300), kRed);
    view->DetachDocument();
    EXPECT_EQ(view->GetDocument(), nullptr);
    const QImage img = PaintAll();
    EXPECT_EQ(Count(img, CRect(0, 0, 400, 300), kGreyPx), 400 * 300);
    EXPECT_EQ(view->GetMaxPage(), 0);
    EXPECT_FALSE(view->OnFilePrintDirect());
    view->RedrawDirtyAreas();
    view->RedrawActiveObject();
    EXPECT_EQ(view->ObjectAtPoint(CPoint(10, 10)), nullptr);
}

TEST_F(ViewTest, TheHoldTimerTurnsAHeldTitlePressIntoADrag) {
    view->SetTrackState(kTrackTitlePress);
    view->OnTimer(CLumitraView::kHoldTimerId + 1);
    EXPECT_EQ(view->GetTrackState(), kTrackTitlePress);
    view->OnTimer(CLumitraView::kHoldTimerId);
    EXPECT_EQ(view->GetTrackState(), kTrackTitleHeld);
    view->OnTimer(CLumitraView::kHoldTimerId);
    EXPECT_EQ(view->GetTrackState(), kTrackTitleHeld);
    view->SetTrackState(kTrackIdle);
    view->OnTimer(CLumitraView::kHoldTimerId);
    EXPECT_EQ(view->GetTrackState(), kTrackIdle);
}

}  // namespace
