// The gate check list with real mouse events: reordering drags, the rows
// that never move, the auto-scroll's pace, and the overlap list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include "dialogs/GateListBox.h"
#include "tests/report/ReportTestUtil.h"

namespace {

class GateListTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fill(list);
        list.resize(200, 6 * list.RowHeight() + 2 * list.frameWidth());
        list.show();
        QObject::connect(&list, &CGateListBox::GateMoved, [this](int f, int t) { moves.push_back({f, t}); });
    }
    static void Fill(CGateListBox& l, int n = 5) {
        for (int i = 0; i < n; ++i) l.AddGate(RGB(10 * i, 0, 0), QStringLiteral("G%1").arg(i));
    }
    static void Send(CGateListBox& l, QEvent::Type type, QPoint pos) {
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, QPointF(pos), QPointF(l.viewport()->mapToGlobal(pos)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(l.viewport(), &e);
    }
    QPoint RowPoint(int row) const { return list.visualItemRect(list.item(row)).center(); }
    // Drags row `from` and lets go at `to` (viewport coordinates).
    void Drag(int from, QPoint to) {
        Send(list, QEvent::MouseButtonPress, RowPoint(from));
        Send(list, QEvent::MouseMove, to);
        Send(list, QEvent::MouseButtonRelease, to);
    }
    QStringList Order() const {
        QStringList out;
        for (int i = 0; i < list.count(); ++i) out << list.item(i)->text();
        return out;
    }

    // The application exists before the first widget.
    struct AppFirst {
        AppFirst() { rtest::EnsureApp(); }
    } appFirst;
    CGateListBox list;
    std::vector<std::pair<int, int>> moves;
};

TEST_F(GateListTest, DragsMoveRowsWithTheirColourAndReportTheFinalIndex) {
    const struct {
        int from;
        int onto;  // -1: below the last row
        const char* order;
        std::pair<int, int> move;
    } cases[] = {
        {3, 1, "G0 G3 G1 G2 G4", {3, 1}},   // up: lands on the drop row
        {1, 4, "G0 G1 G2 G3 G4", {1, 3}},   // down: before the drop row's old place (G3 was at 1)
        {2, -1, "G0 G1 G3 G4 G2", {2, 4}},  // below the last row: last
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        moves.clear();
        const COLORREF colour = list.GetRowColor(c.from);
        QPoint to = c.onto >= 0 ? RowPoint(c.onto) : QPoint(20, list.visualItemRect(list.item(4)).bottom() + 4);
        Drag(c.from, to);
        EXPECT_EQ(Order().join(' '), c.order);
        ASSERT_EQ(moves.size(), 1u);
        EXPECT_EQ(moves[0], c.move);
        EXPECT_EQ(list.GetRowColor(c.move.second), colour);
        EXPECT_EQ(list.item(c.move.second)->checkState(), Qt::Checked);
        EXPECT_FALSE(list.IsDragging());
    }
}

TEST_F(GateListTest, RowZeroNeverMovesAndNothingMovesBeforeIt) {
    Drag(0, RowPoint(3));
    Drag(2, RowPoint(0));
    Drag(2, RowPoint(2));
    EXPECT_EQ(Order().join(' '), "G0 G1 G2 G3 G4");
    EXPECT_TRUE(moves.empty());
    // Let go outside the list: nothing moves either.
    Drag(2, QPoint(20, -30));
    EXPECT_EQ(Order().join(' '), "G0 G1 G2 G3 G4");
}

// A hand never holds the mouse still: a press that wanders no further than
// the platform's drag distance is a click, and its release toggles the box.
TEST_F(GateListTest, AClickThatWandersWithinTheDragDistanceTogglesItsCheckBox) {
    const int far = QApplication::startDragDistance();
    const struct {
        QPoint wander;
        bool drags;
        bool toggles;
    } cases[] = {
        {QPoint(1, 0), false, true},   // a pixel of jitter
        {QPoint(0, 1), false, true},
        {QPoint(-1, -1), false, true},
        {QPoint(far, 0), false, false},  // at the limit: no drag (and off the box: no toggle)
        {QPoint(0, far + 1), true, false},  // beyond it: a drag, no toggle
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.wander.x() << "," << c.wander.y());
        moves.clear();
        const QRect r = list.visualItemRect(list.item(2));
        const QPoint box(r.left() + 2 + r.height() / 2, r.center().y());  // the painted check box
        const Qt::CheckState before = list.item(2)->checkState();
        Send(list, QEvent::MouseButtonPress, box);
        Send(list, QEvent::MouseMove, box + c.wander);
        EXPECT_EQ(list.IsDragging(), c.drags);
        Send(list, QEvent::MouseButtonRelease, box + c.wander);
        EXPECT_EQ(list.item(2)->checkState() != before, c.toggles);
        EXPECT_EQ(Order().join(' '), "G0 G1 G2 G3 G4");  // nothing moved
        EXPECT_TRUE(moves.empty());
    }
}

TEST_F(GateListTest, HeldBelowTheListItScrollsFasterTheFurtherOutAndStopsAtTheLastRow) {
    const int h = list.RowHeight();
    const int bottom = list.viewport()->rect().bottom();
    Send(list, QEvent::MouseButtonPress, RowPoint(1));
    Send(list, QEvent::MouseMove, QPoint(20, bottom + 3 * h));
    EXPECT_EQ(list.GetScrollInterval(), 62);  // 250 / (3 + 1)
    EXPECT_EQ(list.GetScrollTimer(), CGateListBox::kTimerDown);
    Send(list, QEvent::MouseMove, QPoint(20, bottom + h / 2));
    EXPECT_EQ(list.GetScrollInterval(), 250);
    for (int i = 0; i < 10; ++i) list.ScrollStep(CGateListBox::kTimerDown);
    EXPECT_EQ(list.GetDropAt(), list.count() - 1);
    // Above it the mark climbs to row 1 at most.
    Send(list, QEvent::MouseMove, QPoint(20, -2 * h));
    EXPECT_EQ(list.GetScrollTimer(), CGateListBox::kTimerUp);
    for (int i = 0; i < 10; ++i) list.ScrollStep(CGateListBox::kTimerUp);
    EXPECT_EQ(list.GetDropAt(), 0);
    Send(list, QEvent::MouseMove, RowPoint(2));
    EXPECT_EQ(list.GetScrollInterval(), 0);
    Send(list, QEvent::MouseButtonRelease, RowPoint(2));
    EXPECT_TRUE(moves.empty());  // let go just below itself: its own place
}

TEST_F(GateListTest, TheOverlapListKeepsItsOrder) {
    COverlapList overlaps;
    Fill(overlaps, 3);
    overlaps.resize(200, 200);
    overlaps.show();
    int moved = 0;
    QObject::connect(&overlaps, &CGateListBox::GateMoved, [&] { ++moved; });
    const QPoint from = overlaps.visualItemRect(overlaps.item(2)).center();
    const QPoint to = overlaps.visualItemRect(overlaps.item(1)).center();
    Send(overlaps, QEvent::MouseButtonPress, from);
    Send(overlaps, QEvent::MouseMove, to);
    Send(overlaps, QEvent::MouseButtonRelease, to);
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(overlaps.item(1)->text(), "G1");
    overlaps.ResetContent();
    EXPECT_EQ(overlaps.count(), 0);
    EXPECT_EQ(overlaps.GetRowColor(0), RGB(255, 255, 255));
}

}  // namespace

namespace {

// Rows of the viewport picture painted black across most of the width.
std::vector<int> BlackLines(CGateListBox& l) {
    const QImage img = l.viewport()->grab().toImage();
    std::vector<int> rows;
    for (int y = 0; y < img.height(); ++y) {
        int black = 0;
        for (int x = 0; x < img.width(); ++x) black += (img.pixel(x, y) & 0xFFFFFF) == 0;
        if (black > img.width() * 3 / 4) rows.push_back(y);
    }
    return rows;
}

TEST_F(GateListTest, TheInsertionMarkShowsOnlyWhileDraggingAtTheDropPlace) {
    EXPECT_TRUE(BlackLines(list).empty());
    Send(list, QEvent::MouseButtonPress, RowPoint(1));
    Send(list, QEvent::MouseMove, RowPoint(3));
    EXPECT_EQ(BlackLines(list), (std::vector<int>{list.visualItemRect(list.item(3)).top(),
                                                  list.visualItemRect(list.item(3)).top() + 1}));
    // Below the last row: under it.
    const int last = list.visualItemRect(list.item(4)).bottom();
    Send(list, QEvent::MouseMove, QPoint(20, last + 3));
    EXPECT_EQ(BlackLines(list), (std::vector<int>{last - 1, last}));
    Send(list, QEvent::MouseButtonRelease, QPoint(20, last + 3));
    EXPECT_TRUE(BlackLines(list).empty());
}

TEST_F(GateListTest, TheTimerKeepsScrollingWhileThePointerStaysOut) {
    Send(list, QEvent::MouseButtonPress, RowPoint(1));
    Send(list, QEvent::MouseMove, RowPoint(1));
    Send(list, QEvent::MouseMove, QPoint(20, list.viewport()->rect().bottom() + 6 * list.RowHeight()));
    const int after = list.GetDropAt();  // one step at once
    QElapsedTimer t;
    t.start();
    while (list.GetDropAt() == after && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GT(list.GetDropAt(), after);
    Send(list, QEvent::MouseButtonRelease, RowPoint(2));
    EXPECT_EQ(list.GetScrollTimer(), 0);
}

}  // namespace
