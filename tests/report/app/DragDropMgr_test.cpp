// The drag manager with real mouse and key events: a gate dragged from a test
// source to a report view, plain clicks, aborts, and windows, gates and
// documents going away in the middle of a drag.
#include "report/app/DragDropMgr.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QScrollBar>

#include <memory>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/Plot.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/report/ViewTestUtil.h"
#include "tests/report/app/DragTestUtil.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using namespace dragtest;

// The whole report suite runs with a manager filtering the application's
// events and every report view made without a main frame registered with it,
// so that the view tests show the view's own input is untouched by it.
class RoutedManagerEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        rtest::EnsureApp();
        m_mgr = std::make_unique<CDragDropMgr>();
        m_mgr->Install(nullptr);
    }
    void TearDown() override { m_mgr.reset(); }

private:
    std::unique_ptr<CDragDropMgr> m_mgr;
};
[[maybe_unused]] ::testing::Environment* const g_routed =
    ::testing::AddGlobalTestEnvironment(new RoutedManagerEnvironment);

class DragMgrTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        plottest::ResetPlotDefaults();
        doc = std::make_unique<CLumitraDoc>();
        shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
        gate = plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "CD4+");

        owner = std::make_unique<Recorder>();
        mgr = std::make_unique<CDragDropMgr>();
        mgr->Install(owner.get());

        source = std::make_unique<GateSource>();
        source->gate = gate;
        source->setGeometry(10, 10, 200, 200);
        source->show();
        mgr->AddWindow(source.get(), kDragSource);

        view = std::make_unique<CLumitraView>(doc.get());
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->setGeometry(300, 10, 400, 300);
        view->show();

        other = std::make_unique<Recorder>();
        other->setGeometry(10, 400, 200, 100);
        other->show();
        QCoreApplication::processEvents();
        d = mgr->GetDragDistance();
    }
    void TearDown() override {
        other.reset();
        view.reset();
        source.reset();
        mgr.reset();
        owner.reset();
        doc.reset();
    }

    QPoint SourcePt(int x, int y) const { return source->mapToGlobal(QPoint(x, y)); }
    QPoint ViewPt(CPoint page) const { return view->viewport()->mapToGlobal(view->LogicalToClient(page)); }
    // Press on the source and move just past the drag distance.
    void StartDrag() {
        Press(source.get(), SourcePt(20, 20));
        Move(source.get(), SourcePt(20 + d, 20));
    }
    // The drag ended with nothing of it left.
    void ExpectClean() const {
        EXPECT_EQ(mgr->GetState(), kDragIdle);
        EXPECT_EQ(mgr->GetImageWindow(), nullptr);
        EXPECT_EQ(mgr->GetRecord().payload, nullptr);
        EXPECT_EQ(OverrideShape(), -1);
    }

    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
    std::unique_ptr<CLumitraDoc> doc;
    VexaDataShell* shell = nullptr;
    CGateNode* gate = nullptr;
    std::unique_ptr<Recorder> owner;
    std::unique_ptr<CDragDropMgr> mgr;
    std::unique_ptr<GateSource> source;
    std::unique_ptr<CLumitraView> view;
    std::unique_ptr<Recorder> other;
    int d = 0;
};

TEST(DragMessagesTest, TheFourIdsAreDistinctRegisteredTypesObtainedOnce) {
    const DragMessageIds& a = DragMessages();
    const DragMessageIds& b = DragMessages();
    EXPECT_EQ(&a, &b);
    const QEvent::Type ids[] = {a.enter, a.over, a.drop, a.abort};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_GE(int(ids[i]), int(QEvent::User));
        EXPECT_LE(int(ids[i]), int(QEvent::MaxUser));
        for (size_t j = i + 1; j < 4; ++j) EXPECT_NE(ids[i], ids[j]);
    }
    // A fresh registration never hands out one of them again.
    const int next = QEvent::registerEventType();
    for (QEvent::Type t : ids) EXPECT_NE(next, int(t));
}

TEST_F(DragMgrTest, APressAndReleaseInsideTheDragDistanceIsAPlainClick) {
    Spy spy;
    const QPoint moves[] = {{d - 1, 0}, {0, d - 1}, {-(d - 1), d - 1}};
    for (const QPoint& m : moves) {
        Press(source.get(), SourcePt(50, 50));
        Move(source.get(), SourcePt(50, 50) + m);
        EXPECT_EQ(mgr->GetState(), kDragPressed);
        Release(source.get(), SourcePt(50, 50) + m);
        EXPECT_EQ(mgr->GetState(), kDragIdle);
    }
    EXPECT_EQ(spy.Total(), 0);
    // The window had all of it.
    EXPECT_EQ(source->presses, 3);
    EXPECT_EQ(source->moves, 3);
    EXPECT_EQ(source->releases, 3);
}

TEST_F(DragMgrTest, PastTheDragDistanceTheSourceIsAskedWithThePressPoint) {
    const QPoint moves[] = {{d, 0}, {0, d}, {-d, 0}, {0, -d}};
    for (const QPoint& m : moves) {
        source->messages.clear();
        Press(source.get(), SourcePt(60, 70));
        Move(source.get(), SourcePt(60, 70) + m);
        EXPECT_EQ(source->Count(DragMessages().enter), 1);
        EXPECT_EQ(source->enterPoint, CPoint(60, 70));
        EXPECT_EQ(mgr->GetState(), kDragging);
        ASSERT_NE(mgr->GetImageWindow(), nullptr);
        EXPECT_TRUE(mgr->GetImageWindow()->isVisible());
        // Over the source, which takes no drops.
        EXPECT_EQ(OverrideShape(), int(Qt::ForbiddenCursor));
        Key(source.get(), Qt::Key_Escape);
        ExpectClean();
    }
    // The moves that started the drags were the manager's.
    EXPECT_EQ(source->moves, 0);
}

TEST_F(DragMgrTest, TheImageFollowsThePointerAboveAndLeftOfIt) {
    StartDrag();
    const QPoint at = ViewPt(CPoint(200, 150));
    Move(source.get(), at);
    QWidget* image = mgr->GetImageWindow();
    ASSERT_NE(image, nullptr);
    EXPECT_GT(image->width(), 0);
    EXPECT_GT(image->height(), 0);
    EXPECT_EQ(image->geometry().bottomRight(), at - QPoint(1, 1));
    // Over a report view the drop is allowed.
    EXPECT_EQ(OverrideShape(), int(Qt::ArrowCursor));
    EXPECT_EQ(mgr->GetRecord().target, view.get());
    Move(source.get(), other->mapToGlobal(QPoint(5, 5)));
    EXPECT_EQ(OverrideShape(), int(Qt::ForbiddenCursor));
    EXPECT_EQ(mgr->GetRecord().target, other.get());
}

TEST_F(DragMgrTest, ADropOnEmptyPageMakesAPlotOfTheGateThereAtAnyZoom) {
    for (float zoom : {1.0f, 2.0f, 0.5f}) {
        SCOPED_TRACE(zoom);
        ASSERT_TRUE(view->SetZoom(zoom));
        // The plot made before was scrolled into sight: start at the top.
        view->horizontalScrollBar()->setValue(0);
        view->verticalScrollBar()->setValue(0);
        Spy spy;
        StartDrag();
        Move(source.get(), ViewPt(CPoint(150, 120)));
        EXPECT_GE(spy.Count(DragMessages().over), 1);
        Release(source.get(), ViewPt(CPoint(150, 120)));
        ASSERT_EQ(doc->GetObjectCount(), 1);
        auto* plot = dynamic_cast<CPLOT*>(doc->GetObjects()[0].get());
        ASSERT_NE(plot, nullptr);
        EXPECT_EQ(plot->GetGate(), gate);
        EXPECT_EQ(plot->GetRect().TopLeft(), CPoint(150, 120));
        EXPECT_EQ(spy.Count(DragMessages().drop), 1);
        EXPECT_EQ(owner->Count(DragMessages().abort), 0);
        EXPECT_EQ(source->releases, 0);  // the release was the drag's
        ExpectClean();
        view->DeleteObject(plot);
    }
}

TEST_F(DragMgrTest, ADropOnAPlotMakesNothingAndRepaintsOnlyHistogramsAndOverlays) {
    struct Case {
        int32_t type;  // plot type flags
        bool repaints;
    };
    const Case cases[] = {
        {kPlotFlagDots, false},
        {kPlotFlagDensity, false},
        {kPlotFlagHistogram, true},
        {kPlotFlagDots | kPlotFlagOverlay, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        CPLOT* plot = view->NewPlotInRect(CRect(50, 50, 300, 250), 0, 1, shell->GetGate(0));
        ASSERT_NE(plot, nullptr);
        plot->SetPlotType(c.type);
        const int before = doc->GetObjectCount();
        QCoreApplication::processEvents();
        int paints = 0;
        EventCounter counter(view->viewport(), QEvent::Paint, &paints);
        StartDrag();
        Move(source.get(), ViewPt(CPoint(120, 120)));
        Release(source.get(), ViewPt(CPoint(120, 120)));
        QCoreApplication::processEvents();
        EXPECT_EQ(doc->GetObjectCount(), before);
        EXPECT_EQ(plot->GetGate(), shell->GetGate(0));
        EXPECT_EQ(paints > 0, c.repaints);
        ExpectClean();
        view->DeleteObject(plot);
    }
}

TEST_F(DragMgrTest, AReleaseOverAWindowThatTakesNoDropAbortsToTheOwner) {
    const QPoint places[] = {
        other->mapToGlobal(QPoint(20, 20)),  // a window not registered
        source->mapToGlobal(QPoint(30, 30)), // the source: not a drop target
        QPoint(780, 590),                    // no window at all
    };
    for (const QPoint& at : places) {
        owner->messages.clear();
        StartDrag();
        Move(source.get(), ViewPt(CPoint(100, 100)));  // over a target first
        Move(source.get(), at);
        Release(source.get(), at);
        EXPECT_EQ(owner->Count(DragMessages().abort), 1);
        EXPECT_EQ(owner->Count(DragMessages().drop), 0);
        ExpectClean();
    }
    EXPECT_EQ(doc->GetObjectCount(), 0);
    EXPECT_EQ(other->Count(DragMessages().drop), 0);
}

TEST_F(DragMgrTest, EscapeRemovesTheImageAndRestoresTheCursor) {
    StartDrag();
    Move(source.get(), ViewPt(CPoint(100, 100)));
    ASSERT_NE(mgr->GetImageWindow(), nullptr);
    ASSERT_EQ(OverrideShape(), int(Qt::ArrowCursor));
    // Asked first whether a shortcut may have the key: the drag keeps it.
    Key(source.get(), Qt::Key_Escape, QEvent::ShortcutOverride);
    EXPECT_EQ(source->overrides, 0);
    EXPECT_EQ(mgr->GetState(), kDragging);
    Key(source.get(), Qt::Key_Escape);
    EXPECT_EQ(source->keys, 0);  // the drag's key
    EXPECT_EQ(owner->Count(DragMessages().abort), 1);
    ExpectClean();
    // The release that follows is the window's again and drops nothing.
    Release(source.get(), ViewPt(CPoint(100, 100)));
    EXPECT_EQ(source->releases, 1);
    EXPECT_EQ(doc->GetObjectCount(), 0);
    // Escape without a drag is the window's.
    Key(source.get(), Qt::Key_Escape);
    EXPECT_EQ(source->keys, 1);
}

TEST_F(DragMgrTest, ASourceThatSuppliesNothingKeepsItsMovesAndRelease) {
    struct Case {
        bool withGate;
        intptr_t answer;
    };
    const Case cases[] = {{true, 0}, {false, 1}, {false, 0}};
    for (const Case& c : cases) {
        source->gate = c.withGate ? gate : nullptr;
        source->answer = c.answer;
        source->moves = source->releases = 0;
        Spy spy;
        StartDrag();
        EXPECT_EQ(source->moves, 1);  // the move past the distance too
        Move(source.get(), ViewPt(CPoint(100, 100)));
        EXPECT_EQ(source->moves, 2);
        Release(source.get(), ViewPt(CPoint(100, 100)));
        EXPECT_EQ(source->releases, 1);
        EXPECT_EQ(spy.Total(), 1);  // the question, nothing after it
        ExpectClean();
    }
    EXPECT_EQ(doc->GetObjectCount(), 0);
}

// ---------------------------------------------------- lifetimes mid-drag

TEST_F(DragMgrTest, TheSourceDestroyedMidDragAbortsCleanly) {
    StartDrag();
    Move(source.get(), ViewPt(CPoint(100, 100)));
    source.reset();
    EXPECT_EQ(owner->Count(DragMessages().abort), 1);
    ExpectClean();
    EXPECT_EQ(mgr->GetWindowCount(), 1u);  // the view only
    Move(other.get(), ViewPt(CPoint(110, 110)));
    Release(other.get(), ViewPt(CPoint(110, 110)));
    EXPECT_EQ(doc->GetObjectCount(), 0);
}

TEST_F(DragMgrTest, TheTargetDestroyedMidDragGetsNoDrop) {
    StartDrag();
    const QPoint at = ViewPt(CPoint(100, 100));
    Move(source.get(), at);
    ASSERT_EQ(mgr->GetRecord().target, view.get());
    view.reset();
    EXPECT_EQ(mgr->GetRecord().target, nullptr);
    Release(source.get(), at);
    EXPECT_EQ(owner->Count(DragMessages().abort), 1);
    EXPECT_EQ(doc->GetObjectCount(), 0);
    ExpectClean();
}

TEST_F(DragMgrTest, TheGateRemovedMidDragEndsTheDrag) {
    for (bool runLoop : {true, false}) {
        SCOPED_TRACE(runLoop);
        owner->messages.clear();
        CGateNode* g = plottest::AddRectGate(*shell, 0.2f, 0.2f, 0.4f, 0.4f, 0, "gone");
        source->gate = g;
        StartDrag();
        Move(source.get(), ViewPt(CPoint(100, 100)));
        ASSERT_EQ(mgr->GetState(), kDragging);
        shell->RemoveGate(g, true);
        if (runLoop) {
            QCoreApplication::processEvents();
        } else {
            // Without the event loop the next move finds the gate gone.
            Move(source.get(), ViewPt(CPoint(120, 120)));
        }
        EXPECT_EQ(owner->Count(DragMessages().abort), 1);
        ExpectClean();
        Release(source.get(), ViewPt(CPoint(120, 120)));
        EXPECT_EQ(doc->GetObjectCount(), 0);
    }
}

TEST_F(DragMgrTest, TheDocumentClosedMidDragDropsNothing) {
    StartDrag();
    Move(source.get(), ViewPt(CPoint(100, 100)));
    doc.reset();
    shell = nullptr;
    gate = nullptr;
    Release(source.get(), ViewPt(CPoint(100, 100)));
    EXPECT_EQ(owner->Count(DragMessages().abort), 1);
    EXPECT_EQ(view->GetDocument(), nullptr);
    ExpectClean();
}

TEST_F(DragMgrTest, TheManagerDestroyedMidDragLeavesNothingBehind) {
    StartDrag();
    Move(source.get(), ViewPt(CPoint(100, 100)));
    mgr.reset();
    EXPECT_EQ(OverrideShape(), -1);
    EXPECT_EQ(owner->Count(DragMessages().abort), 0);  // its owner is going too
    // The events are the windows' again.
    Move(source.get(), ViewPt(CPoint(120, 120)));
    Release(source.get(), ViewPt(CPoint(120, 120)));
    EXPECT_EQ(source->moves, 1);
    EXPECT_EQ(source->releases, 1);
    EXPECT_EQ(doc->GetObjectCount(), 0);
}

TEST_F(DragMgrTest, ATargetDeletingTheSourceInsideTheDropStillReadsThePayload) {
    auto target = std::make_unique<Recorder>();
    target->setGeometry(300, 400, 200, 100);
    target->show();
    mgr->AddWindow(target.get(), kDropTarget);
    CGateNode* seen = nullptr;
    target->onDrop = [&](CDragRecord& r) {
        source.reset();
        seen = r.payload ? r.payload->GetGateContent() : nullptr;
    };
    StartDrag();
    const QPoint at = target->mapToGlobal(QPoint(40, 30));
    Move(source.get(), at);
    QWidget* grabbed = source.get();
    Release(grabbed, at);
    EXPECT_EQ(seen, gate);
    ASSERT_EQ(target->Count(DragMessages().drop), 1);
    EXPECT_EQ(target->messages.back().point, CPoint(40, 30));
    ExpectClean();
}

TEST_F(DragMgrTest, ALostPointerAbortsTheDrag) {
    // The release went where the manager never saw it: a move comes without
    // the button.
    StartDrag();
    Move(source.get(), ViewPt(CPoint(100, 100)), Qt::NoButton);
    EXPECT_EQ(owner->Count(DragMessages().abort), 1);
    ExpectClean();
    // Another press while dragging.
    StartDrag();
    Mouse(source.get(), QEvent::MouseButtonPress, SourcePt(40, 40), Qt::RightButton,
          Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(owner->Count(DragMessages().abort), 2);
    EXPECT_EQ(source->presses, 3);  // the press is the window's
    ExpectClean();
    // A popup took the pointer.
    StartDrag();
    QMenu menu;
    menu.addAction(QStringLiteral("x"));
    menu.popup(QPoint(600, 500));
    QCoreApplication::processEvents();
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    {
        Move(source.get(), ViewPt(CPoint(100, 100)));
        EXPECT_EQ(owner->Count(DragMessages().abort), 3);
        ExpectClean();
    }
    menu.close();
}

TEST_F(DragMgrTest, TheViewsOwnMouseHandlingIsUnchanged) {
    // A press, a first small move and a drag on a view registered as source
    // and target: the view has every event, and it answers the question of
    // a drag with nothing.
    auto* obj = vtest::AddFill(*doc, CRect(100, 100, 200, 160), vtest::kRed);
    vin::Driver drv(view.get());
    drv.Click(CPoint(150, 130));
    ASSERT_EQ(doc->GetActiveObject(), obj);
    Spy spy;
    drv.Press(CPoint(120, 101));  // on the frame
    drv.Move(CPoint(121, 101));   // inside the drag distance: the view's
    ASSERT_EQ(view->GetFeedbackRects().size(), 1u);
    EXPECT_EQ(view->GetFeedbackRects()[0], CRect(101, 100, 201, 160));
    drv.Move(CPoint(120 + d, 101 + d));  // the move that asks for a payload
    ASSERT_EQ(view->GetFeedbackRects().size(), 1u);
    EXPECT_EQ(view->GetFeedbackRects()[0], CRect(100 + d, 100 + d, 200 + d, 160 + d));
    drv.Move(CPoint(160, 141));
    drv.Release(CPoint(160, 141));
    EXPECT_EQ(obj->GetRect(), CRect(140, 140, 240, 200));
    EXPECT_EQ(spy.Count(DragMessages().enter), 1);
    EXPECT_EQ(spy.Total(), 1);
    ExpectClean();
}

// ------------------------------------------------------------- registry

TEST_F(DragMgrTest, RegistryEntriesAreReplacedAndLeaveWithTheirWindow) {
    const size_t base = mgr->GetWindowCount();
    auto a = std::make_unique<QWidget>();
    mgr->AddWindow(a.get(), kDragSource);
    mgr->AddWindow(a.get(), kDropTarget);  // replaces
    EXPECT_EQ(mgr->GetFlags(a.get()), uint32_t(kDropTarget));
    mgr->AddWindow(nullptr, kDropTarget);
    auto zero = std::make_unique<QWidget>();
    mgr->AddWindow(zero.get(), 0);
    EXPECT_EQ(mgr->GetWindowCount(), base + 1);

    // A window closed and another opened: the new one inherits nothing, even
    // at the address the old one had.
    a.reset();
    EXPECT_EQ(mgr->GetWindowCount(), base);
    for (int i = 0; i < 8; ++i) {
        auto b = std::make_unique<QWidget>();
        EXPECT_EQ(mgr->GetFlags(b.get()), 0u);
    }
    mgr->RemoveWindow(view.get());
    EXPECT_EQ(mgr->GetFlags(view.get()), 0u);
    mgr->RemoveWindow(view.get());  // not registered: nothing
    EXPECT_EQ(mgr->GetWindowCount(), base - 1);
}

TEST_F(DragMgrTest, InstallRegistersTheListAndRoutesThroughTheNewest) {
    auto a = std::make_unique<QWidget>();
    auto b = std::make_unique<QWidget>();
    {
        CDragDropMgr second;
        second.Install(owner.get(), {{a.get(), kDragSource}, {b.get(), kDragSourceAndTarget}});
        EXPECT_EQ(CDragDropMgr::Routed(), &second);
        EXPECT_EQ(second.GetFlags(a.get()), uint32_t(kDragSource));
        EXPECT_EQ(second.GetFlags(b.get()), uint32_t(kDragSourceAndTarget));
        EXPECT_EQ(second.GetOwner(), owner.get());
    }
    // Its destructor emptied its registry and gave the routing back.
    EXPECT_EQ(CDragDropMgr::Routed(), mgr.get());
    a.reset();  // nothing left listening to it
}

}  // namespace

namespace {

// Answers message boxes as the scripted stand-in does, but first looks at
// the drag as the user would see it while the box is up, and moves the
// pointer and presses Escape there.
class BoxDuringDrop : public lm::ScriptedUiServices {
public:
    int32_t MessageBox(QWidget* parent, const QString& text, const QString& caption, lm::MsgButtons buttons,
                       lm::MsgIcon icon) override {
        state = mgr->GetState();
        image = mgr->GetImageWindow() != nullptr;
        cursor = OverrideShape();
        Move(source, QPoint(5, 5), Qt::NoButton);
        Key(source, Qt::Key_Escape);
        return ScriptedUiServices::MessageBox(parent, text, caption, buttons, icon);
    }
    CDragDropMgr* mgr = nullptr;
    QWidget* source = nullptr;
    int32_t state = -1;
    bool image = true;
    int cursor = 0;
};

TEST_F(DragMgrTest, ADropRefusedWithAMessageMeetsAnEndedDrag) {
    // A gate of another document: the view refuses it with a message.
    CLumitraDoc elsewhere;
    VexaDataShell* foreign = elsewhere.AttachDataShell(plottest::MakeShell(vin::GridEvents(), "F", "f.fcs"));
    source->gate = plottest::AddRectGate(*foreign, 0.1f, 0.1f, 0.6f, 0.6f, 0, "Foreign");
    BoxDuringDrop box;
    box.mgr = mgr.get();
    box.source = source.get();
    lm::ScopedUiServices install{&box};
    StartDrag();
    Move(source.get(), ViewPt(CPoint(100, 100)));
    ASSERT_NE(mgr->GetImageWindow(), nullptr);
    Release(source.get(), ViewPt(CPoint(100, 100)));
    ASSERT_EQ(box.Count(lm::ScriptedUiServices::Kind::MessageBox), 1);
    EXPECT_EQ(box.state, kDragIdle);
    EXPECT_FALSE(box.image);
    EXPECT_EQ(box.cursor, -1);
    EXPECT_EQ(source->keys, 1);  // the Escape was the window's, not the drag's
    EXPECT_EQ(owner->Count(DragMessages().abort), 0);
    EXPECT_EQ(doc->GetObjectCount(), 0);
    ExpectClean();
}

}  // namespace
