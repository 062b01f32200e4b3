// The report view driven with real mouse and key events under the offscreen
// platform: selection, rubber bands, Ctrl+click, moving and resizing with
// snapping and minimum sizes at any zoom and scroll position, Delete, Ctrl+G,
// Ctrl+C, the context menus, the region tools, the middle-button new plot
// and the title-band hold that makes an overlay. Menu choices and dialogs
// are answered by the scripted UI services.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <cmath>
#include <filesystem>
#include <memory>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "report/app/CommandIds.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/plot/RgnLayer.h"
#include "report/page/TrackStates.h"
#include "platform/PaintHelpers.h"
#include "report/page/PictureFile.h"
#include "tests/report/ViewEvents.h"
#include "tests/report/ViewTestUtil.h"
#include "tests/support/FcsWriter.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;
using vin::Driver;

class ViewInputTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(800, 600); }

    VexaDataShell* AddShell(const std::string& path = "grid.fcs") {
        return doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", path));
    }
    CPLOT* AddPlot(const CRect& r, CGateNode* gate = nullptr) {
        std::unique_ptr<CPLOT> p = gate ? std::make_unique<CPLOT>(r, gate, doc.get(), 0, 1)
                                        : std::make_unique<CPLOT>(r, doc.get(), 0, 1);
        return static_cast<CPLOT*>(doc->AddObject(std::move(p)));
    }
    template <class T = vtest::FillObj>
    T* Add(std::unique_ptr<T> obj) {
        return static_cast<T*>(doc->AddObject(std::move(obj)));
    }
    vtest::FillObj* Fill(const CRect& r) { return vtest::AddFill(*doc, r, vtest::kBlue); }
    int32_t State() const { return view->GetTrackState(); }
    static CPoint Centre(const CRect& r) { return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); }
};

// ============================================================ selection

TEST_F(ViewInputTest, ClickSelectsAndABandOnEmptyPageSelectsWhatLiesWhollyInside) {
    auto* a = Fill(CRect(100, 100, 200, 200));
    auto* b = Fill(CRect(250, 100, 350, 200));
    auto* c = Fill(CRect(100, 250, 200, 350));
    d->Click(CPoint(150, 150));
    EXPECT_EQ(doc->GetActiveObject(), a);
    EXPECT_EQ(State(), kTrackMove);
    EXPECT_EQ(CLumitraView::GetCurrentView(), view.get());

    // With an active object a press on empty page lets it go and starts a band.
    d->Press(CPoint(50, 50));
    EXPECT_EQ(doc->GetActiveObject(), nullptr);
    EXPECT_EQ(State(), kTrackRubberBand);
    d->Move(CPoint(380, 220));
    ASSERT_EQ(view->GetFeedbackRects().size(), 1u);
    EXPECT_EQ(view->GetFeedbackRects()[0], CRect(50, 50, 380, 220));
    d->Release(CPoint(380, 220));
    // In the page's order (a went to the top when it was clicked).
    EXPECT_EQ(doc->GetSelection(), (std::vector<CTrkObj*>{b, a}));
    EXPECT_EQ(doc->GetActiveObject(), nullptr);
    EXPECT_EQ(State(), kTrackIdle);
    EXPECT_TRUE(view->GetFeedbackRects().empty());

    // Drawn from bottom right to top left around one object: it becomes active.
    d->Drag(CPoint(210, 360), CPoint(90, 240));
    EXPECT_TRUE(doc->GetSelection().empty());
    EXPECT_EQ(doc->GetActiveObject(), c);
    EXPECT_EQ(State(), kTrackMove);

    // A band that only reaches an object's edges does not take it: left and
    // bottom, then the left edge alone.
    for (const CPoint to : {CPoint(210, 200), CPoint(210, 210)}) {
        d->Drag(CPoint(100, 90), to);
        EXPECT_EQ(doc->GetActiveObject(), nullptr) << to.y;
        EXPECT_TRUE(doc->GetSelection().empty());
        EXPECT_EQ(State(), kTrackIdle);
    }
}

TEST_F(ViewInputTest, CtrlClickAddsAnObjectOnceAndOnEmptyPageAddsNothing) {
    auto* a = Fill(CRect(100, 100, 200, 200));
    auto* b = Fill(CRect(250, 100, 350, 200));
    d->Click(CPoint(150, 150));
    ASSERT_EQ(doc->GetActiveObject(), a);
    d->Click(CPoint(300, 150), Qt::ControlModifier);
    EXPECT_EQ(doc->GetActiveObject(), nullptr);
    EXPECT_EQ(doc->GetSelection(), std::vector<CTrkObj*>{b});
    d->Click(CPoint(150, 150), Qt::ControlModifier);
    d->Click(CPoint(150, 150), Qt::ControlModifier);
    d->Click(CPoint(300, 150), Qt::ControlModifier);
    EXPECT_EQ(doc->GetSelection(), (std::vector<CTrkObj*>{b, a}));
    EXPECT_EQ(b->addedToSelection, 1);
    EXPECT_EQ(a->addedToSelection, 1);
    d->Click(CPoint(600, 400), Qt::ControlModifier);
    EXPECT_EQ(doc->GetSelection(), (std::vector<CTrkObj*>{b, a}));
    EXPECT_EQ(State(), kTrackIdle);
    // The frames of the selection paint without trouble.
    const QImage img = PaintAll();
    EXPECT_NE(vtest::At(img, 100, 100), vtest::Rgb(vtest::kBlue));  // inverted frame
    // A plain click elsewhere ends the multi-selection.
    d->Click(CPoint(600, 400));
    EXPECT_TRUE(doc->GetSelection().empty());
}

// ==================================================== resize and move

TEST_F(ViewInputTest, ResizeSnapsTheGrabbedCornerAtDoubleZoomWithScrolling) {
    auto* obj = Fill(CRect(100, 100, 300, 300));
    doc->SetSnap(true);
    ASSERT_TRUE(view->SetZoom(2.0f));
    d->ScrollTo(40, 20);
    d->Click(CPoint(200, 200));
    ASSERT_EQ(doc->GetActiveObject(), obj);
    // The top-left handle; the corner goes where the pointer goes, rounded
    // down to the 20 x 20 grid.
    d->Press(CPoint(102, 102));
    EXPECT_EQ(State(), kTrackResizeTopLeft);
    EXPECT_EQ(view->GetStartPoint(), CPoint(100, 100));
    d->Move(CPoint(47, 63));
    ASSERT_EQ(view->GetFeedbackRects().size(), 1u);
    EXPECT_EQ(view->GetFeedbackRects()[0], CRect(40, 60, 300, 300));
    d->Release(CPoint(47, 63));
    EXPECT_EQ(obj->GetRect(), CRect(40, 60, 300, 300));
    EXPECT_EQ(State(), kTrackMove);
    EXPECT_TRUE(view->GetFeedbackRects().empty());

    // The bottom-right handle, the pointer on a different scroll position.
    d->ScrollTo(200, 100);
    d->Press(CPoint(298, 298));
    EXPECT_EQ(State(), kTrackResizeBottomRight);
    d->Move(CPoint(333, 371));
    d->Release(CPoint(333, 371));
    EXPECT_EQ(obj->GetRect(), CRect(40, 60, 320, 360));
}

TEST_F(ViewInputTest, ResizeStopsAtTheObjectsMinimumFromTheFixedSide) {
    CPLOT* plot = AddPlot(CRect(400, 100, 650, 350));
    d->Click(Centre(plot->GetRect()));
    ASSERT_EQ(doc->GetActiveObject(), plot);
    d->Drag(CPoint(648, 348), CPoint(420, 120));
    EXPECT_EQ(plot->GetRect(), CRect(400, 100, 460, 160));  // a plot is at least 60 x 60
    // Dragging the top-left corner past the bottom-right one.
    d->Drag(CPoint(401, 101), CPoint(700, 500));
    EXPECT_EQ(plot->GetRect(), CRect(400, 100, 460, 160));

    auto* box = Fill(CRect(100, 100, 200, 200));  // the base minimum is 30 x 25
    d->Click(CPoint(150, 150));
    ASSERT_EQ(doc->GetActiveObject(), box);
    d->Drag(CPoint(101, 198), CPoint(300, 50));  // bottom-left handle
    EXPECT_EQ(box->GetRect(), CRect(170, 100, 200, 125));
    // A middle handle moves and resizes nothing.
    d->Drag(CPoint(185, 101), CPoint(185, 20));
    EXPECT_EQ(box->GetRect(), CRect(170, 100, 200, 125));
}

TEST_F(ViewInputTest, MovesArePageUnitsAtDoubleZoomEvenWhenTheViewScrollsDuringTheDrag) {
    auto* obj = Fill(CRect(100, 100, 200, 200));
    ASSERT_TRUE(view->SetZoom(2.0f));
    d->ScrollTo(100, 60);
    d->Click(CPoint(150, 150));
    ASSERT_EQ(doc->GetActiveObject(), obj);
    ASSERT_EQ(obj->HitTest(CPoint(120, 101)), kHitFrame);
    d->Press(CPoint(120, 101));
    EXPECT_EQ(State(), kTrackFrame);
    d->Move(CPoint(170, 131));
    ASSERT_EQ(view->GetFeedbackRects().size(), 1u);
    EXPECT_EQ(view->GetFeedbackRects()[0], CRect(150, 130, 250, 230));
    d->Release(CPoint(170, 131));
    EXPECT_EQ(obj->GetRect(), CRect(150, 130, 250, 230));
    EXPECT_EQ(State(), kTrackMove);

    // The view scrolls 100 pixels (50 units) under a still pointer.
    const QPoint at = d->Client(CPoint(160, 131));
    d->Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(State(), kTrackFrame);
    d->ScrollTo(200, 60);
    d->Mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(obj->GetRect(), CRect(200, 130, 300, 230));
    // What the object covers now is what the pointer finds there.
    EXPECT_EQ(view->ObjectAtPoint(view->ClientToLogical(d->Client(CPoint(299, 229)))), obj);
}

TEST_F(ViewInputTest, CtrlAtTheReleaseCopiesAPlotAndTheSourceStays) {
    VexaDataShell* shell = AddShell();
    CPLOT* plot = AddPlot(CRect(0, 0, 250, 250), shell->GetRoot());
    ASSERT_TRUE(view->SetZoom(2.0f));
    d->ScrollTo(10, 10);
    d->Click(AreaPoint(*plot, 50, 50));
    ASSERT_EQ(doc->GetActiveObject(), plot);
    ASSERT_EQ(plot->HitTest(CPoint(2, 120)), kHitFrame);
    d->Press(CPoint(2, 120));
    ASSERT_EQ(State(), kTrackFrame);
    d->Move(CPoint(302, 140), Qt::LeftButton, Qt::ControlModifier);
    d->Release(CPoint(302, 140), Qt::ControlModifier);
    ASSERT_EQ(doc->GetObjectCount(), 2);
    EXPECT_EQ(plot->GetRect(), CRect(0, 0, 250, 250));
    auto* copy = dynamic_cast<CPLOT*>(doc->GetActiveObject());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, plot);
    EXPECT_EQ(copy->GetRect(), CRect(300, 20, 550, 270));
    EXPECT_EQ(copy->GetGate(), shell->GetRoot());
}

TEST_F(ViewInputTest, AHandleOfAMultiSelectedObjectMovesTheWholeSelection) {
    auto* a = Fill(CRect(100, 100, 200, 200));
    auto* b = Fill(CRect(250, 100, 350, 200));
    d->Drag(CPoint(50, 50), CPoint(400, 300));
    ASSERT_EQ(doc->GetSelection().size(), 2u);
    d->Press(CPoint(348, 150));  // b's right edge
    EXPECT_EQ(State(), kTrackFrame);
    EXPECT_EQ(view->GetFeedbackRects().size(), 2u);
    d->Move(CPoint(388, 170));
    EXPECT_EQ(view->GetFeedbackRects(), (std::vector<CRect>{CRect(140, 120, 240, 220), CRect(290, 120, 390, 220)}));
    d->Release(CPoint(388, 170));
    EXPECT_EQ(a->GetRect(), CRect(140, 120, 240, 220));
    EXPECT_EQ(b->GetRect(), CRect(290, 120, 390, 220));
    EXPECT_EQ(State(), kTrackIdle);
    EXPECT_EQ(doc->GetSelection().size(), 2u);
}

TEST_F(ViewInputTest, NothingMovesOrResizesWhileThePageArrangesItself) {
    auto* obj = Fill(CRect(100, 100, 200, 200));
    d->Click(CPoint(150, 150));
    doc->SetAutoArrange(true);  // fills and grids are not arranged
    d->Drag(CPoint(120, 101), CPoint(300, 300));
    d->Drag(CPoint(198, 198), CPoint(300, 300));
    EXPECT_EQ(obj->GetRect(), CRect(100, 100, 200, 200));
    EXPECT_EQ(State(), kTrackMove);
}

TEST_F(ViewInputTest, TheTextToolsBandIsPutInOrderBeforeTheTextBoxIsMade) {
    const ViewObjectMakers saved = CLumitraView::GetObjectMakers();
    ViewObjectMakers makers;
    makers.textBox = [](CLumitraDoc* owner, const CRect& r) -> std::unique_ptr<CTrkObj> {
        return std::make_unique<rtest::TestObj>(r, owner, kObjText);
    };
    CLumitraView::SetObjectMakers(makers);
    ASSERT_TRUE(view->OnToolCommand(kCmdTextTool));
    d->Press(CPoint(300, 300));
    EXPECT_EQ(State(), kTrackTextBand);
    d->Move(CPoint(100, 200));
    EXPECT_EQ(view->GetFeedbackRects(), std::vector<CRect>{CRect(100, 200, 300, 300)});
    d->Release(CPoint(100, 200));
    ASSERT_EQ(doc->GetObjectCount(), 1);
    EXPECT_EQ(doc->GetActiveObject()->GetRect(), CRect(100, 200, 300, 300));
    EXPECT_EQ(doc->GetActiveObject()->GetType(), kObjText);
    EXPECT_EQ(State(), kTrackMove);

    // The grid tool's band makes nothing; the next press acts at once.
    CLumitraView::SetObjectMakers(ViewObjectMakers{});
    ASSERT_TRUE(view->OnToolCommand(kCmdGridTool));
    d->Drag(CPoint(500, 300), CPoint(400, 200));
    EXPECT_EQ(doc->GetObjectCount(), 1);
    EXPECT_TRUE(view->GetFeedbackRects().empty());
    d->Click(CPoint(200, 250));
    EXPECT_EQ(State(), kTrackMove);
    EXPECT_NE(doc->GetActiveObject(), nullptr);
    // Without a text-box maker the tool makes nothing either.
    ASSERT_TRUE(view->OnToolCommand(kCmdTextTool));
    d->Drag(CPoint(500, 300), CPoint(600, 400));
    EXPECT_EQ(doc->GetObjectCount(), 1);
    CLumitraView::SetObjectMakers(saved);
}

// ================================================================= keys

TEST_F(ViewInputTest, DeleteTakesTheActiveObjectOrEveryMemberOfTheSelection) {
    int destroyed = 0;
    std::vector<rtest::TestObj*> objs;
    for (int i = 0; i < 4; ++i) {
        auto o = std::make_unique<rtest::TestObj>(CRect(100 + 120 * i, 100, 200 + 120 * i, 200), doc.get(), kObjGrid);
        o->destroyed = &destroyed;
        objs.push_back(Add(std::move(o)));
    }
    // Three of them in a band, none active.
    d->Drag(CPoint(50, 50), CPoint(450, 300));
    ASSERT_EQ(doc->GetSelection().size(), 3u);
    ASSERT_EQ(doc->GetActiveObject(), nullptr);
    d->Key(Qt::Key_Delete);
    EXPECT_EQ(destroyed, 3);
    ASSERT_EQ(doc->GetObjectCount(), 1);
    EXPECT_EQ(doc->GetObjectAt(0), objs[3]);
    EXPECT_TRUE(doc->GetSelection().empty());
    // Nothing selected: the key is not used.
    d->Key(Qt::Key_Delete);
    EXPECT_EQ(doc->GetObjectCount(), 1);
    // The active one.
    d->Click(CPoint(510, 150));
    ASSERT_EQ(doc->GetActiveObject(), objs[3]);
    d->Key(Qt::Key_Delete);
    EXPECT_EQ(destroyed, 4);
    EXPECT_EQ(doc->GetObjectCount(), 0);
    EXPECT_EQ(State(), kTrackIdle);
}

TEST_F(ViewInputTest, CtrlGPutsAnActivePlotAtThePilotAndLeavesOtherKindsAlone) {
    CPLOT* plot = AddPlot(CRect(0, 0, 300, 200));
    auto* text = Add(std::make_unique<rtest::TestObj>(CRect(400, 400, 500, 450), doc.get(), kObjText));
    doc->SetPilot(CPoint(300, 500));
    d->Click(Centre(plot->GetRect()));
    ASSERT_EQ(doc->GetActiveObject(), plot);
    d->Key(Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(plot->GetRect(), CRect(300, 500, 550, 750));
    EXPECT_EQ(doc->GetPilot(), CPoint(555, 500));
    d->Click(CPoint(450, 425));
    ASSERT_EQ(doc->GetActiveObject(), text);
    d->Key(Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(text->GetRect(), CRect(400, 400, 500, 450));
    EXPECT_EQ(doc->GetPilot(), CPoint(555, 500));
}

TEST_F(ViewInputTest, CtrlCCopiesOncePerKeyPress) {
    auto* obj = Add(std::make_unique<vin::CopyObj>(CRect(100, 100, 200, 200), doc.get()));
    // Without an active object the window's own shortcut keeps the key.
    QKeyEvent idle(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    idle.ignore();
    QCoreApplication::sendEvent(view.get(), &idle);
    EXPECT_FALSE(idle.isAccepted());
    d->Click(CPoint(150, 150));
    QKeyEvent over(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    over.ignore();
    QCoreApplication::sendEvent(view.get(), &over);
    EXPECT_TRUE(over.isAccepted());
    d->Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(obj->copies, 1);
    d->Key(Qt::Key_C, Qt::ControlModifier, true);  // the held key repeating
    d->Key(Qt::Key_C, Qt::ControlModifier, false, QEvent::KeyRelease);
    EXPECT_EQ(obj->copies, 1);
    d->Key(Qt::Key_C);  // no Ctrl
    EXPECT_EQ(obj->copies, 1);
    d->Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(obj->copies, 2);
}

// ========================================================= the hold timer

TEST_F(ViewInputTest, HoldingTheTitleBandDragsThePlotOntoAnotherAsAnOverlay) {
    VexaDataShell* shell = AddShell();
    CPLOT* source = AddPlot(CRect(0, 0, 250, 250), shell->GetRoot());
    CPLOT* target = AddPlot(CRect(300, 0, 550, 250), shell->GetRoot());
    const CPoint title = Centre(source->GetTitleRect());
    d->Click(AreaPoint(*source, 50, 50));
    ASSERT_EQ(doc->GetActiveObject(), source);

    // A move before the second has passed gives the hold up (a move event
    // on the spot does not).
    d->Press(title);
    EXPECT_EQ(State(), kTrackTitlePress);
    EXPECT_TRUE(view->IsHoldTimerActive());
    d->Move(title);
    EXPECT_EQ(State(), kTrackTitlePress);
    d->Move(CPoint(title.x + 3, title.y));
    EXPECT_EQ(State(), kTrackMove);
    EXPECT_FALSE(view->IsHoldTimerActive());
    d->Release(CPoint(title.x + 3, title.y));

    // So does a release, and the focus going elsewhere.
    d->Press(title);
    d->Release(title);
    EXPECT_EQ(State(), kTrackMove);
    EXPECT_FALSE(view->IsHoldTimerActive());
    d->Press(title);
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(view.get(), &out);
    EXPECT_FALSE(view->IsHoldTimerActive());
    EXPECT_EQ(State(), kTrackMove);
    d->Release(title);

    // Held still: after a second the plot is dragged; the timer fires once.
    d->Press(title);
    QElapsedTimer clock;
    clock.start();
    while (State() == kTrackTitlePress && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(State(), kTrackTitleHeld);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_FALSE(view->IsHoldTimerActive());
    d->Move(AreaPoint(*target, 40, 40));
    EXPECT_EQ(State(), kTrackTitleHeld);
    d->Release(AreaPoint(*target, 40, 40));
    EXPECT_EQ(doc->GetActiveObject(), target);
    EXPECT_EQ(State(), kTrackMove);
    EXPECT_EQ(target->GetOverlayLayers().size(), 1u);
    EXPECT_TRUE(target->GetStyleFlags() & kPlotFlagOverlay);
    EXPECT_TRUE(source->GetOverlayLayers().empty());
}

TEST_F(ViewInputTest, TheHoldEndsWithThePlotItIsOn) {
    VexaDataShell* shell = AddShell();
    CPLOT* plot = AddPlot(CRect(0, 0, 250, 250), shell->GetRoot());
    d->Click(AreaPoint(*plot, 50, 50));
    d->Press(Centre(plot->GetTitleRect()));
    ASSERT_TRUE(view->IsHoldTimerActive());
    doc->RemoveObject(plot, true);
    EXPECT_FALSE(view->IsHoldTimerActive());
    EXPECT_EQ(State(), kTrackIdle);
    view->OnTimer(CLumitraView::kHoldTimerId);
    EXPECT_EQ(State(), kTrackIdle);
}

// ========================================================= region tools

TEST_F(ViewInputTest, TheRectangleToolFromThePlotMenuDrawsAGateOfTheCountedEvents) {
    VexaDataShell* shell = AddShell();
    CPLOT* plot = AddPlot(CRect(20, 20, 270, 270), shell->GetRoot());
    ASSERT_TRUE(view->SetZoom(2.0f));
    d->ScrollTo(30, 16);
    d->Click(AreaPoint(*plot, 90, 90));
    ASSERT_EQ(doc->GetActiveObject(), plot);

    ui.QueueMenuChoice(kPlotCmdRectTool);
    d->RightClick(AreaPoint(*plot, 90, 90));
    ASSERT_EQ(ui.Count(Kind::PopupMenu), 1);
    EXPECT_EQ(State(), kTrackRectTool);

    const CRect area = plot->GetPlotArea();
    const int32_t w = area.Width(), h = area.Height();
    // Drawn from the upper right to the lower left.
    d->Drag(AreaPoint(*plot, 121, 101), AreaPoint(*plot, 41, 31));
    EXPECT_EQ(State(), kTrackRegionSelected);
    ASSERT_EQ(shell->GetGateCount(), 2);
    CGateNode* gate = shell->GetGate(1);
    auto* rect = dynamic_cast<CrRect*>(gate->GetRegion());
    ASSERT_NE(rect, nullptr);
    std::array<float, 4> box{};
    rect->GetGeometry(&box);
    EXPECT_NEAR(box[0], 41.0 / w, 1e-6);
    EXPECT_NEAR(box[1], 31.0 / h, 1e-6);
    EXPECT_NEAR(box[2], 121.0 / w, 1e-6);
    EXPECT_NEAR(box[3], 101.0 / h, 1e-6);
    // The events the box holds, counted here from the axis values (linear
    // 0 .. 1000 axes); none lies on an edge, so the count is exact.
    int expected = 0;
    for (const auto& [x, y] : vin::GridEvents()) {
        const double fx = x / 1000.0, fy = y / 1000.0;
        for (int i = 0; i < 4; ++i) ASSERT_GT(std::fabs((i % 2 ? fy : fx) - box[size_t(i)]), 1e-4);
        if (fx > box[0] && fx < box[2] && fy > box[1] && fy < box[3]) ++expected;
    }
    ASSERT_GT(expected, 0);
    EXPECT_EQ(int(gate->GetMask().CountSetBits()), expected);
    EXPECT_FALSE(plot->IsDragCacheReady());

    // Its outline dragged 20 pixels to the right: the gate follows.
    const CPoint edge = AreaPoint(*plot, 41, 60);
    d->Press(edge);
    EXPECT_EQ(State(), kTrackRegionMove);
    EXPECT_TRUE(plot->IsDragCacheReady());
    d->Move(AreaPoint(*plot, 53, 60));
    ASSERT_TRUE(plot->IsDragCacheReady());
    // While it moves the area is painted from the drag picture, which shows
    // what a whole repaint shows.
    const QRect areaPixels = lm::ToQRect(view->LogicalRectToClient(area));
    QImage fast(view->viewport()->size(), QImage::Format_RGB32);
    fast.fill(Qt::magenta);
    {
        QPainter p(&fast);
        view->PaintClient(p, QRegion(areaPixels));
    }
    const QImage full = PaintAll();
    EXPECT_EQ(fast.copy(areaPixels), full.copy(areaPixels));
    d->Move(AreaPoint(*plot, 63, 60));
    d->Release(AreaPoint(*plot, 63, 60));
    EXPECT_FALSE(plot->IsDragCacheReady());
    EXPECT_EQ(State(), kTrackRegionSelected);
    rect->GetGeometry(&box);
    EXPECT_NEAR(box[0], 63.0 / w, 1e-6);
    EXPECT_NEAR(box[2], 143.0 / w, 1e-6);
    expected = 0;
    for (const auto& [x, y] : vin::GridEvents()) {
        const double fx = x / 1000.0, fy = y / 1000.0;
        for (int i = 0; i < 4; ++i) ASSERT_GT(std::fabs((i % 2 ? fy : fx) - box[size_t(i)]), 1e-4);
        if (fx > box[0] && fx < box[2] && fy > box[1] && fy < box[3]) ++expected;
    }
    EXPECT_EQ(int(gate->GetMask().CountSetBits()), expected);
}

TEST_F(ViewInputTest, AClickOnARegionOutlineThatMovesNothingLeavesTheGateAsItWas) {
    VexaDataShell* shell = AddShell();
    CGateNode* gate = plottest::AddRectGate(*shell, 0.123f, 0.217f, 0.611f, 0.733f, 0, "R1");
    CPLOT* plot = AddPlot(CRect(20, 20, 270, 270), shell->GetRoot());
    plot->ShowRegion(gate->GetRegion());
    // Another size: the outline's pixels no longer give back the fractions.
    plot->SetRect(CRect(20, 20, 331, 297), false);
    const int32_t before = int32_t(gate->GetMask().CountSetBits());
    std::array<float, 4> was{}, now{};
    auto* rect = dynamic_cast<CrRect*>(gate->GetRegion());
    ASSERT_NE(rect, nullptr);
    rect->GetGeometry(&was);

    const CRect area = plot->GetPlotArea();
    const CPoint edge = AreaPoint(*plot, CRgnLayer::FractionToPixel(area.Width(), was[0]),
                                  CRgnLayer::FractionToPixel(area.Height(), 0.5f));
    d->Click(edge);  // makes the plot active
    d->Press(edge);
    ASSERT_EQ(State(), kTrackRegionMove);
    d->Move(edge);
    d->Release(edge);
    rect->GetGeometry(&now);
    EXPECT_EQ(now, was);
    EXPECT_EQ(int32_t(gate->GetMask().CountSetBits()), before);
}

TEST_F(ViewInputTest, AtHalfZoomPlotFramesAndRegionOutlinesKeepADevicePixel) {
    VexaDataShell* shell = AddShell();
    CGateNode* gate = plottest::AddRectGate(*shell, 0.2f, 0.2f, 0.6f, 0.6f, 0, "R1");
    CPLOT* plot = AddPlot(CRect(21, 21, 271, 271), shell->GetRoot());
    plot->ShowRegion(gate->GetRegion());
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    const QRgb outline = vtest::Rgb(plot->GetRegionLayers().front()->GetColor());
    ASSERT_TRUE(view->SetZoom(0.5f));
    const QImage img = PaintAll();

    // Pixels of the colour in a strip three pixels wide around a page line,
    // over the span from a to b (page units) along it.
    auto strip = [&](bool vertical, int32_t at, int32_t a, int32_t b, QRgb colour) {
        const QPoint p = view->LogicalToClient(vertical ? CPoint(at, a) : CPoint(a, at));
        const QPoint q = view->LogicalToClient(vertical ? CPoint(at, b) : CPoint(b, at));
        const CRect r = vertical ? CRect(p.x() - 1, p.y(), p.x() + 2, q.y()) : CRect(p.x(), p.y() - 1, q.x(), p.y() + 2);
        return std::pair(vtest::Count(img, r, colour), vertical ? r.Height() : r.Width());
    };
    CRect f = plot->GetPlotArea();
    f.InflateRect(1, 1);
    const QRgb black = qRgb(0, 0, 0);
    for (const auto& [count, span] : {strip(true, f.left, f.top + 4, f.bottom - 4, black),
                                      strip(true, f.right - 1, f.top + 4, f.bottom - 4, black),
                                      strip(false, f.top, f.left + 4, f.right - 4, black),
                                      strip(false, f.bottom - 1, f.left + 4, f.right - 4, black)})
        EXPECT_GE(count, span);

    const CRect a = plot->GetPlotArea();
    const int32_t x0 = a.left + CRgnLayer::FractionToPixel(a.Width(), 0.2f);
    const int32_t x1 = a.left + CRgnLayer::FractionToPixel(a.Width(), 0.6f);
    const int32_t y0 = a.bottom - CRgnLayer::FractionToPixel(a.Height(), 0.2f);
    const int32_t y1 = a.bottom - CRgnLayer::FractionToPixel(a.Height(), 0.6f);
    for (const auto& [count, span] : {strip(true, x0, y1 + 4, y0 - 4, outline), strip(true, x1, y1 + 4, y0 - 4, outline),
                                      strip(false, y0, x0 + 4, x1 - 4, outline), strip(false, y1, x0 + 4, x1 - 4, outline)})
        EXPECT_GE(count, span);
}

TEST_F(ViewInputTest, LosingTheFocusGivesUpARegionBeingDrawn) {
    VexaDataShell* shell = AddShell();
    CPLOT* plot = AddPlot(CRect(0, 0, 250, 250), shell->GetRoot());
    d->Click(AreaPoint(*plot, 90, 90));
    ASSERT_TRUE(view->OnToolCommand(kCmdEllipseToolCmd));
    d->Press(AreaPoint(*plot, 20, 20));
    d->Move(AreaPoint(*plot, 60, 50));
    ASSERT_EQ(State(), kTrackRubberBandRegion);
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    // The view's own popup menus do not count as a loss.
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(view.get(), &popup);
    EXPECT_EQ(State(), kTrackRubberBandRegion);
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(view.get(), &out);
    EXPECT_EQ(State(), kTrackMove);
    EXPECT_TRUE(plot->GetRegionLayers().empty());
    EXPECT_FALSE(plot->IsDragCacheReady());
    d->Release(AreaPoint(*plot, 60, 50));
    EXPECT_EQ(shell->GetGateCount(), 1);
}

TEST_F(ViewInputTest, AxisBandsChooseTheParameterOfTheirAxis) {
    VexaDataShell* shell = AddShell();
    CPLOT* plot = AddPlot(CRect(0, 0, 250, 250), shell->GetRoot());
    d->Click(AreaPoint(*plot, 90, 90));
    ui.QueueMenuChoice(CPLOT::ParamCommandId(1));
    d->Click(Centre(plot->GetXTitleRect()));
    EXPECT_EQ(plot->GetXParam(), 1);
    EXPECT_EQ(plot->GetYParam(), 1);
    ui.QueueMenuChoice(CPLOT::ParamCommandId(0));
    d->Click(Centre(plot->GetYTitleRect()));
    EXPECT_EQ(plot->GetYParam(), 0);
    EXPECT_EQ(ui.Count(Kind::PopupMenu), 2);
    EXPECT_EQ(State(), kTrackMove);
    ASSERT_EQ(ui.CallsOf(Kind::PopupMenu)[0].menu.size(), 2u);
    EXPECT_EQ(ui.CallsOf(Kind::PopupMenu)[0].menu[1].id, CPLOT::ParamCommandId(1));
}

// ========================================================= middle button

TEST_F(ViewInputTest, ARegionLabelDraggedWithTheMiddleButtonMakesAPlotOfItsGate) {
    VexaDataShell* shell = AddShell();
    CGateNode* gate = plottest::AddRectGate(*shell, 0.2f, 0.2f, 0.6f, 0.6f, 0, "R1");
    CPLOT* plot = AddPlot(CRect(10, 10, 260, 260), shell->GetRoot());
    plot->ShowRegion(gate->GetRegion());
    ASSERT_EQ(plot->GetRegionLayers().size(), 1u);
    ASSERT_TRUE(view->SetZoom(2.0f));
    d->ScrollTo(6, 4);
    PaintAll();  // the label takes its size when drawn
    CRgnLayer* layer = plot->GetRgnLayer(0);
    ASSERT_NE(layer, nullptr);
    const CRect label = layer->GetLabelRect();
    ASSERT_FALSE(label.IsRectEmpty());
    const CRect area = plot->GetPlotArea();
    const CPoint onLabel(area.left + label.left + 1, area.top + label.top + 1);
    ASSERT_TRUE(layer->HitLabel(onLabel));
    d->Click(AreaPoint(*plot, 170, 150));
    ASSERT_EQ(doc->GetActiveObject(), plot);

    // Inside the plot, mostly to the right: the new plot stands beside it.
    d->Press(onLabel, Qt::NoModifier, Qt::MiddleButton);
    EXPECT_EQ(State(), kTrackLabelDragPlot);
    d->Move(CPoint(onLabel.x + 60, onLabel.y + 10), Qt::MiddleButton);
    EXPECT_EQ(State(), kTrackRegionDragInside);
    ASSERT_EQ(view->GetFeedbackRects().size(), 1u);
    EXPECT_EQ(view->GetFeedbackRects()[0], CRect(265, 10, 515, 260));
    EXPECT_EQ(view->GetFeedbackThickness(), 3);
    d->Release(CPoint(onLabel.x + 60, onLabel.y + 10), Qt::NoModifier, Qt::MiddleButton);
    ASSERT_EQ(doc->GetObjectCount(), 2);
    auto* beside = dynamic_cast<CPLOT*>(doc->GetActiveObject());
    ASSERT_NE(beside, nullptr);
    EXPECT_EQ(beside->GetRect(), CRect(265, 10, 515, 260));
    EXPECT_EQ(beside->GetGate(), gate);
    EXPECT_EQ(State(), kTrackMove);
    EXPECT_TRUE(view->GetFeedbackRects().empty());

    // Outside the plot: the new plot is moved by the pointer's way.
    d->Click(AreaPoint(*plot, 170, 150));
    ASSERT_EQ(doc->GetActiveObject(), plot);
    d->Press(onLabel, Qt::NoModifier, Qt::MiddleButton);
    d->Move(CPoint(onLabel.x + 100, onLabel.y + 300), Qt::MiddleButton);
    EXPECT_EQ(State(), kTrackRegionDragOutside);
    d->Release(CPoint(onLabel.x + 100, onLabel.y + 300), Qt::NoModifier, Qt::MiddleButton);
    ASSERT_EQ(doc->GetObjectCount(), 3);
    EXPECT_EQ(doc->GetActiveObject()->GetRect(), CRect(110, 310, 360, 560));

    // Released on the label itself: the plot takes the region's gate.
    d->Click(AreaPoint(*plot, 170, 150));
    d->Press(onLabel, Qt::NoModifier, Qt::MiddleButton);
    d->Release(onLabel, Qt::NoModifier, Qt::MiddleButton);
    EXPECT_EQ(doc->GetObjectCount(), 3);
    EXPECT_EQ(plot->GetGate(), gate);
}

// ================================================================ menus

TEST_F(ViewInputTest, ThePageMenuSetsThePilotAndThePageCountAtTheCurrentZoom) {
    ASSERT_TRUE(view->SetZoom(2.0f));
    d->ScrollTo(100, 200);
    ui.QueueMenuChoice(kPageCmdSetPilot);
    d->RightClick(CPoint(300, 350));
    ASSERT_EQ(ui.Count(Kind::PopupMenu), 1);
    const auto menu = ui.CallsOf(Kind::PopupMenu)[0].menu;
    ASSERT_EQ(menu.size(), 8u);
    EXPECT_EQ(menu[0].id, kPageCmdSetPilot);
    EXPECT_EQ(menu[0].text, "Set Pilot");
    EXPECT_EQ(menu[1].id, kPageCmdSaveJpg);
    EXPECT_EQ(menu[1].text, "Save As Jpg");
    EXPECT_EQ(menu[2].id, kPageCmdPdf);
    EXPECT_EQ(menu[2].text, "Save As PDF");
    EXPECT_EQ(menu[3].id, kPageCmdSetPageNum);
    EXPECT_EQ(menu[3].text, "Set Page Num");
    EXPECT_EQ(menu[4].id, kPageCmdInfoAssistant);
    EXPECT_EQ(menu[4].text, "Info Assistant");
    EXPECT_TRUE(menu[5].separator);
    EXPECT_EQ(menu[6].id, kPageCmdTextBox);
    EXPECT_EQ(menu[7].id, kPageCmdNewGrid);
    EXPECT_EQ(doc->GetPilot(), CPoint(300, 350));

    ui.QueueMenuChoice(kPageCmdSetPageNum);
    ui.QueueDialog([](QDialog* dialog) {
        dialog->findChild<QLineEdit*>("pagesAcross")->setText("2");
        dialog->findChild<QLineEdit*>("pagesDown")->setText("3");
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return dialog->result();
    });
    d->RightClick(CPoint(300, 350));
    EXPECT_EQ(doc->GetPagesAcross(), 2);
    EXPECT_EQ(doc->GetPagesDown(), 3);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 2 * 1024 * 2 - view->viewport()->width());
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 3 * 1414 * 2 - view->viewport()->height());

    // Cancelled: nothing changes.
    ui.QueueMenuChoice(kPageCmdSetPageNum);
    ui.QueueDialog([](QDialog* dialog) {
        dialog->findChild<QLineEdit*>("pagesAcross")->setText("1");
        return int32_t(lm::kDialogRejected);
    });
    d->RightClick(CPoint(300, 350));
    EXPECT_EQ(doc->GetPagesAcross(), 2);
}

TEST_F(ViewInputTest, SaveAsJpgWritesThePageUnderThePointer) {
    if (!JpegWriterAvailable()) GTEST_SKIP() << "no JPEG writer in this Qt";
    lmtest::TempDir dir;
    doc->SetPageCount(2, 2);
    Fill(CRect(1100, 1500, 1300, 1700));
    const QString path = QString::fromStdString(dir.File("page.jpg"));
    ui.QueueMenuChoice(kPageCmdSaveJpg);
    ui.QueueFileNames({path});
    view->OnRButtonDown(0, d->Client(CPoint(1500, 2000)), QPoint());
    ASSERT_EQ(ui.Count(Kind::SaveFile), 1);
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile)[0].file.defaultSuffix, "jpg");
    QImage img(path);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(1024, 1414));
    // The object lies at (76, 86) .. (276, 286) of page 4.
    const QColor inside = img.pixelColor(176, 186);
    EXPECT_LT(inside.red(), 60);
    EXPECT_GT(inside.blue(), 190);
    EXPECT_GT(img.pixelColor(10, 10).red(), 240);

    // Another extension is refused with a message; nothing is written.
    const QString png = QString::fromStdString(dir.File("page.png"));
    ui.QueueMenuChoice(kPageCmdSaveJpg);
    ui.QueueFileNames({png});
    view->OnRButtonDown(0, d->Client(CPoint(100, 100)), QPoint());
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_FALSE(QFile::exists(png));
}

TEST_F(ViewInputTest, ThePdfCommandWritesThePagesOrSaysItCouldNot) {
    lmtest::TempDir dir;
    Fill(CRect(100, 100, 200, 200));
    const std::string pdf = dir.File("report.pdf");
    ui.QueueFileNames({QString::fromStdString(pdf)});
    ui.QueueFileNames({QString::fromStdString(dir.File("no/such/folder.pdf"))});
    view->OnPageCommand(kPageCmdPdf, CPoint(10, 10));
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile).at(0).file.defaultSuffix, "pdf");
    QFile written(QString::fromStdString(pdf));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.read(5), "%PDF-");
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    view->OnPageCommand(kPageCmdPdf, CPoint(10, 10));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
}

TEST_F(ViewInputTest, SaveAsPdfOnThePageMenuReplacesTheFileOrKeepsTheOldOne) {
    lmtest::TempDir dir;
    Fill(CRect(100, 100, 200, 200));
    const QString pdf = QString::fromStdString(dir.Write("report.pdf", std::vector<uint8_t>{'o', 'l', 'd'}));
    ui.QueueMenuChoice(kPageCmdPdf);
    ui.QueueFileNames({pdf});
    d->RightClick(CPoint(600, 700));
    ASSERT_EQ(ui.Count(Kind::SaveFile), 1);
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile)[0].file.defaultSuffix, "pdf");
    QFile written(pdf);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.read(5), "%PDF-");
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // the hourglass went

    // A name the finished file cannot take (a folder): said, and what was
    // there stays.
    const std::string folder = dir.File("taken.pdf");
    std::filesystem::create_directories(folder);
    const std::string inside = dir.Write("taken.pdf/keep.txt", std::vector<uint8_t>{'k'});
    ui.QueueMenuChoice(kPageCmdPdf);
    ui.QueueFileNames({QString::fromStdString(folder)});
    d->RightClick(CPoint(600, 700));
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox)[0].text.contains("taken.pdf"));
    EXPECT_TRUE(std::filesystem::is_regular_file(inside));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Cancelled: nothing asked further, nothing written.
    ui.QueueMenuChoice(kPageCmdPdf);
    ui.QueueFileNames({});
    d->RightClick(CPoint(600, 700));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
}

TEST_F(ViewInputTest, TheSelectionMenuSavesTheBoundingBoxAndDeletesEveryMember) {
    if (!JpegWriterAvailable()) GTEST_SKIP() << "no JPEG writer in this Qt";
    lmtest::TempDir dir;
    Fill(CRect(100, 100, 200, 200));
    Fill(CRect(250, 150, 351, 260));
    d->Drag(CPoint(50, 50), CPoint(400, 300));
    ASSERT_EQ(doc->GetSelection().size(), 2u);
    const QString path = QString::fromStdString(dir.File("sel.jpg"));
    ui.QueueMenuChoice(kSelCmdSaveJpg);
    ui.QueueFileNames({path});
    d->RightClick(CPoint(150, 150));
    const auto menu = ui.CallsOf(Kind::PopupMenu).at(0).menu;
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].text, "Delete Item");
    EXPECT_EQ(menu[1].text, "Save As JPG");
    EXPECT_EQ(QImageReader(path).size(), QSize(251, 160));
    EXPECT_EQ(doc->GetSelection().size(), 2u);

    ui.QueueMenuChoice(kSelCmdDelete);
    d->RightClick(CPoint(150, 150));
    EXPECT_EQ(doc->GetObjectCount(), 0);
    EXPECT_TRUE(doc->GetSelection().empty());
}

TEST_F(ViewInputTest, TheObjectMenuDeletesAndCopiesThroughTheView) {
    struct MenuObj : vin::CopyObj {
        using CopyObj::CopyObj;
        bool BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t, CPoint) override {
            menu->push_back(lm::MenuItem::Command(kCtxCopy, "Copy"));
            menu->push_back(lm::MenuItem::Command(kCtxDeleteItem, "Delete Item"));
            menu->push_back(lm::MenuItem::Command(99, "Own"));
            return true;
        }
        bool OnContextCommand(uint32_t id, int32_t) override {
            commands.push_back(id);
            return true;
        }
        std::vector<uint32_t> commands;
    };
    auto* obj = Add(std::make_unique<MenuObj>(CRect(100, 100, 200, 200), doc.get()));
    ui.QueueMenuChoice(kCtxCopy);
    d->RightClick(CPoint(150, 150));  // selects it and opens its menu
    EXPECT_EQ(doc->GetActiveObject(), obj);
    EXPECT_EQ(obj->copies, 1);
    ui.QueueMenuChoice(99);
    d->RightClick(CPoint(150, 150));
    EXPECT_EQ(obj->commands, std::vector<uint32_t>{99});
    ui.QueueMenuChoice(kCtxDeleteItem);
    d->RightClick(CPoint(150, 150));
    EXPECT_EQ(doc->GetObjectCount(), 0);
    EXPECT_EQ(State(), kTrackIdle);
    EXPECT_TRUE(ui.AllAnswersUsed());
}

TEST_F(ViewInputTest, TheCurrentViewIsForgottenWhenItCloses) {
    d->Click(CPoint(10, 10));
    EXPECT_EQ(CLumitraView::GetCurrentView(), view.get());
    d.reset();
    view.reset();
    EXPECT_EQ(CLumitraView::GetCurrentView(), nullptr);
}

}  // namespace
