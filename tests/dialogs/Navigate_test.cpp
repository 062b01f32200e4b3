// The Navigate panel in the running program: its gate tree over two data sets
// with real mouse and key events, AND/OR/NOT, renames, colours, deletes, the
// plot list, and gates dragged out onto the page.
#include <gtest/gtest.h>

#include <QApplication>

#include <algorithm>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPushButton>
#include <QSplitter>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "dialogs/DataTree.h"
#include "dialogs/GateRltDlg.h"
#include "dialogs/NavigateDlg.h"
#include "platform/PaintHelpers.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/ResultTable.h"
#include "report/plot/Plot.h"
#include "report/plot/RgnLayer.h"
#include "report/app/ChildFrame.h"
#include "report/app/CommandIds.h"
#include "report/page/Cell.h"
#include "report/page/Grid.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

// Events on a grid, every 50 from 0 to 1000 on both axes: no event lies on a
// rectangle edge at a multiple of 25 that is not one of 50.
std::vector<std::pair<double, double>> Grid() { return vin::GridEvents(); }

class NavigateTest : public rtest::ProgramTest {
protected:
    void SetUp() override {
        rtest::ProgramTest::SetUp();
        ASSERT_TRUE(app->InitInstance({}));
        frame = app->GetMainFrame();
        doc = app->GetDocuments().front().get();
        a = doc->AttachDataShell(plottest::MakeShell(Grid(), "A", "a.fcs"));
        b = doc->AttachDataShell(plottest::MakeShell(Grid(), "", "/tmp/folder/b.fcs"));
        // Three overlapping rectangles in A, one in B.
        g1 = plottest::AddRectGate(*a, 0.125f, 0.125f, 0.625f, 0.625f, 0, "R1");
        g2 = plottest::AddRectGate(*a, 0.325f, 0.075f, 0.875f, 0.875f, 0, "R2");
        g3 = plottest::AddRectGate(*a, 0.025f, 0.275f, 0.575f, 0.975f, 0, "R3");
        h1 = plottest::AddRectGate(*b, 0.125f, 0.125f, 0.625f, 0.625f, 0, "H1");
        nav = frame->GetNavigatePanel();
        ASSERT_NE(nav, nullptr);
        frame->RebuildNavigate(doc);
        tree = nav->GetTree();
        frame->GetPanelDock(kPanelNavigate)->show();
        nav->resize(260, 600);
        frame->show();
        QCoreApplication::processEvents();
    }

    QTreeWidgetItem* Root(VexaDataShell* s) const { return tree->FindDataSetItem(s); }
    QTreeWidgetItem* Item(CGateNode* g) const { return tree->FindGateItem(g); }
    // The middle of an item's label: only there does a press pick it.
    QPoint Centre(QTreeWidgetItem* it) const { return tree->LabelRect(it).center(); }

    void Mouse(QEvent::Type type, QPoint pos, Qt::KeyboardModifiers mods = Qt::NoModifier,
               Qt::MouseButton button = Qt::LeftButton) {
        QWidget* vp = tree->viewport();
        const Qt::MouseButtons buttons =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent e(type, QPointF(pos), QPointF(vp->mapToGlobal(pos)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, buttons, mods);
        QApplication::sendEvent(vp, &e);
    }
    void Click(QTreeWidgetItem* it, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        Mouse(QEvent::MouseButtonPress, Centre(it), mods);
        Mouse(QEvent::MouseButtonRelease, Centre(it), mods);
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(tree, &e);
    }
    // Presses a toggle button as a click does.
    static void Toggle(QPushButton* button) { button->click(); }

    std::vector<CGateNode*> Selected() const {
        std::vector<CGateNode*> out;
        for (QTreeWidgetItem* it : tree->CollectSelected()) out.push_back(CDataTree::GateOf(it));
        return out;
    }
    // Picks gates of A with AND (or OR) pressed, with Ctrl-clicks.
    void Pick(QPushButton* op, const std::vector<CGateNode*>& gates) {
        Toggle(op);
        ASSERT_TRUE(tree->IsMultiSelect());
        Root(a)->setExpanded(true);
        for (CGateNode* g : gates) Click(Item(g), Qt::ControlModifier);
    }

    CMainFrame* frame = nullptr;
    CLumitraDoc* doc = nullptr;
    VexaDataShell* a = nullptr;
    VexaDataShell* b = nullptr;
    CGateNode *g1 = nullptr, *g2 = nullptr, *g3 = nullptr, *h1 = nullptr;
    CNavigateDlg* nav = nullptr;
    CDataTree* tree = nullptr;
};

TEST_F(NavigateTest, TheTreeShowsEachDataSetWithItsGatesAndAnUnnamedSetByItsFileName) {
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(CDataTree::ItemText(tree->topLevelItem(0)), "A");
    EXPECT_EQ(CDataTree::ItemText(tree->topLevelItem(1)), "b.fcs");
    ASSERT_EQ(Root(a)->childCount(), 4);
    const char* names[] = {"All", "R1", "R2", "R3"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(CDataTree::GateOf(Root(a)->child(i)), a->GetGate(i));
        EXPECT_EQ(CDataTree::ItemText(Root(a)->child(i)), names[i]);
    }
    // A gate the shell adds elsewhere shows at once, once.
    CGateNode* more = plottest::AddRectGate(*b, 0.1f, 0.1f, 0.2f, 0.2f, 0, "X");
    ASSERT_NE(Item(more), nullptr);
    EXPECT_EQ(Root(b)->childCount(), 3);
    nav->AddGateItem(b, more);
    EXPECT_EQ(Root(b)->childCount(), 3);
}

TEST_F(NavigateTest, AndOfThreeGatesIsTheirCommonEventsInTreeOrder) {
    Pick(nav->GetAndButton(), {g3, g1, g2});
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g1, g2, g3}));
    Toggle(nav->GetAndButton());
    EXPECT_FALSE(tree->IsMultiSelect());
    ASSERT_EQ(a->GetGateCount(), 5);
    CGateNode* gate = a->GetGate(4);
    EXPECT_EQ(gate->GetOperator(), kGateAnd);
    EXPECT_EQ(gate->GetInputs(), (std::vector<CGateNode*>{g1, g2, g3}));
    // The events of all three rectangles, from the coordinates themselves.
    const auto events = Grid();
    uint32_t expected = 0;
    for (size_t e = 0; e < events.size(); ++e) {
        const auto [x, y] = events[e];
        const bool in = x > 325 && x < 575 && y > 275 && y < 625;
        expected += in;
        EXPECT_EQ(gate->GetMask().Test(uint32_t(e)), in) << x << "," << y;
    }
    EXPECT_GT(expected, 0u);
    EXPECT_EQ(gate->GetMask().CountSetBits(), expected);
    ASSERT_NE(Item(gate), nullptr);
    EXPECT_EQ(Root(a)->child(4), Item(gate));
    EXPECT_TRUE(Root(a)->isExpanded());
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(NavigateTest, PressingOrAfterAndCreatesNothingAndReleasingOrCombines) {
    Pick(nav->GetAndButton(), {g1, g2});
    Toggle(nav->GetOrButton());
    EXPECT_FALSE(nav->GetAndButton()->isChecked());
    EXPECT_EQ(a->GetGateCount(), 4);
    EXPECT_TRUE(tree->IsMultiSelect());
    Root(a)->setExpanded(true);
    Click(Item(g1), Qt::ControlModifier);
    Click(Item(g3), Qt::ControlModifier);
    Toggle(nav->GetOrButton());
    ASSERT_EQ(a->GetGateCount(), 5);
    CGateNode* gate = a->GetGate(4);
    EXPECT_EQ(gate->GetOperator(), kGateOr);
    for (uint32_t e = 0; e < gate->GetMask().GetBitCount(); ++e)
        ASSERT_EQ(gate->GetMask().Test(e), g1->GetMask().Test(e) || g3->GetMask().Test(e)) << e;
}

TEST_F(NavigateTest, NotOfTheCaretGateAndNothingWithoutOne) {
    Toggle(nav->GetNotButton());
    EXPECT_FALSE(tree->IsMultiSelect());
    tree->setCurrentItem(Root(a));  // a data set is no gate
    Toggle(nav->GetNotButton());
    EXPECT_EQ(a->GetGateCount(), 4);
    Toggle(nav->GetNotButton());
    tree->setCurrentItem(Item(g2));
    Toggle(nav->GetNotButton());
    ASSERT_EQ(a->GetGateCount(), 5);
    CGateNode* gate = a->GetGate(4);
    EXPECT_EQ(gate->GetOperator(), kGateNot);
    for (uint32_t e = 0; e < gate->GetMask().GetBitCount(); ++e) ASSERT_NE(gate->GetMask().Test(e), g2->GetMask().Test(e));
    EXPECT_EQ(tree->currentItem(), Item(gate));
}

TEST_F(NavigateTest, AndIgnoresDataSetItemsAndRefusesTwoDataSets) {
    // A data-set item among the picks is no input: one gate is too few.
    Toggle(nav->GetAndButton());
    Root(a)->setExpanded(true);
    Click(Root(a), Qt::ControlModifier);
    Click(Item(g1), Qt::ControlModifier);
    EXPECT_EQ(tree->CollectSelected().size(), 2u);
    Toggle(nav->GetAndButton());
    EXPECT_EQ(a->GetGateCount(), 4);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    // Opening B while picking closes A, and A's picks go with it.
    Toggle(nav->GetAndButton());
    Root(a)->setExpanded(true);
    Click(Item(g1), Qt::ControlModifier);
    Root(b)->setExpanded(true);
    EXPECT_FALSE(Root(a)->isExpanded());
    EXPECT_TRUE(Selected().empty());
    // Both open all the same (past the rule): refused with a message.
    {
        const QSignalBlocker block(tree);
        Root(a)->setExpanded(true);
    }
    tree->SetItemSelected(Item(g1), true);
    tree->SetItemSelected(Item(h1), true);
    ASSERT_EQ(Selected(), (std::vector<CGateNode*>{g1, h1}));
    Toggle(nav->GetAndButton());
    EXPECT_EQ(a->GetGateCount(), 4);
    EXPECT_EQ(b->GetGateCount(), 2);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_FALSE(tree->IsMultiSelect());
}

TEST_F(NavigateTest, CtrlClickTogglesAtReleaseAndCtrlDragStartsADrag) {
    Toggle(nav->GetAndButton());
    Root(a)->setExpanded(true);
    int drags = 0;
    QObject::connect(tree, &CDataTree::BeginDrag, [&](QTreeWidgetItem*) { ++drags; });
    Mouse(QEvent::MouseButtonPress, Centre(Item(g1)), Qt::ControlModifier);
    EXPECT_FALSE(Item(g1)->isSelected());
    Mouse(QEvent::MouseButtonRelease, Centre(Item(g1)), Qt::ControlModifier);
    EXPECT_TRUE(Item(g1)->isSelected());
    Click(Item(g1), Qt::ControlModifier);
    EXPECT_FALSE(Item(g1)->isSelected());
    // A drag beyond the drag distance selects the item instead of toggling.
    const int d = QApplication::startDragDistance() + 2;
    Mouse(QEvent::MouseButtonPress, Centre(Item(g2)), Qt::ControlModifier);
    Mouse(QEvent::MouseMove, Centre(Item(g2)) + QPoint(d, 0), Qt::ControlModifier);
    Mouse(QEvent::MouseButtonRelease, Centre(Item(g2)) + QPoint(d, 0), Qt::ControlModifier);
    EXPECT_EQ(drags, 1);
    EXPECT_TRUE(Item(g2)->isSelected());
    EXPECT_EQ(tree->currentItem(), Item(g2));
}

TEST_F(NavigateTest, ShiftWithoutAnchorRangesFromTheCaretAndArrowsExtend) {
    Toggle(nav->GetAndButton());
    Root(a)->setExpanded(true);
    tree->FocusItem(Item(g1));
    ASSERT_EQ(tree->GetAnchor(), nullptr);
    Click(Item(g3), Qt::ShiftModifier);
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g1, g2, g3}));
    // Shift+Up from g3 shrinks the range to the anchor side; a plain arrow
    // starts over.
    Click(Item(g2));
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g2}));
    Key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g2, g3}));
    Key(Qt::Key_Up, Qt::ControlModifier);  // the caret moves, the selection stays
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g2, g3}));
    EXPECT_EQ(tree->currentItem(), Item(g2));
    Key(Qt::Key_Up);
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g1}));
}

TEST_F(NavigateTest, RubberBandSelectsWhatItCoversAndAShortOneClears) {
    Toggle(nav->GetAndButton());
    Root(a)->setExpanded(true);
    int clicks = 0;
    QObject::connect(tree, &CDataTree::Clicked, [&] { ++clicks; });
    const int right = tree->viewport()->width() - 3;  // right of every label: no item is pressed
    tree->setColumnWidth(0, 120);
    const QPoint start(right, Centre(Item(g1)).y());
    ASSERT_EQ(tree->itemAt(start), Item(g1));  // rows span the width: start below the last row
    const QPoint below(right, tree->visualItemRect(Root(b)).bottom() + 10);
    ASSERT_EQ(tree->itemAt(below), nullptr);
    Mouse(QEvent::MouseButtonPress, below);
    Mouse(QEvent::MouseMove, QPoint(right - 5, Centre(Item(g2)).y()));
    EXPECT_TRUE(tree->IsBandActive());
    EXPECT_EQ(tree->CollectSelected(), (std::vector<QTreeWidgetItem*>{Item(g2), Item(g3), Root(b)}));
    Mouse(QEvent::MouseButtonRelease, QPoint(right - 5, Centre(Item(g2)).y()));
    EXPECT_EQ(clicks, 1);
    // With Ctrl the band toggles what was selected.
    Mouse(QEvent::MouseButtonPress, below, Qt::ControlModifier);
    Mouse(QEvent::MouseMove, QPoint(right - 5, Centre(Item(g1)).y()), Qt::ControlModifier);
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g1}));
    Mouse(QEvent::MouseButtonRelease, QPoint(right - 5, Centre(Item(g1)).y()), Qt::ControlModifier);
    // A band that never leaves the drag distance clears and reports a click.
    Mouse(QEvent::MouseButtonPress, below);
    Mouse(QEvent::MouseButtonRelease, below + QPoint(1, 1));
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(clicks, 3);
}

TEST_F(NavigateTest, CollapsingDeselectsTheGatesAndAVetoKeepsAnItem) {
    Toggle(nav->GetAndButton());
    Root(a)->setExpanded(true);
    Click(Item(g1), Qt::ControlModifier);
    Click(Item(g2), Qt::ControlModifier);
    ASSERT_EQ(tree->currentItem(), Item(g2));
    Root(a)->setExpanded(false);
    Root(a)->setExpanded(true);
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(tree->currentItem(), Root(a));
    auto veto = QObject::connect(tree, &CDataTree::SelChanging, [&](QTreeWidgetItem* it, bool, bool* v) {
        if (it == Item(g3)) *v = true;
    });
    Click(Item(g3), Qt::ControlModifier);
    Click(Item(g1), Qt::ControlModifier);
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g1}));
    QObject::disconnect(veto);
}

TEST_F(NavigateTest, DoubleClickRecoloursTheSwatchAndCancelKeepsTheColour) {
    Root(a)->setExpanded(true);
    QCoreApplication::processEvents();
    const COLORREF before = g1->GetColor();
    ui.QueueColor(std::nullopt);
    Mouse(QEvent::MouseButtonDblClick, Centre(Item(g1)));
    EXPECT_EQ(g1->GetColor(), before);
    ui.QueueColor(RGB(10, 200, 30));
    Mouse(QEvent::MouseButtonDblClick, Centre(Item(g1)));
    EXPECT_EQ(g1->GetColor(), RGB(10, 200, 30));
    EXPECT_EQ(ui.Count(Kind::Color), 2);
    EXPECT_TRUE(doc->IsModified());
    // The swatch: 15 pixels from x 20, centred in the row.
    const QRect row = tree->visualItemRect(Item(g1));
    const QImage img = tree->viewport()->grab().toImage();
    const QPoint centre(27, row.center().y());
    EXPECT_EQ(img.pixel(centre) & 0xFFFFFF, 0x0AC81Eu);
    EXPECT_NE(img.pixel(QPoint(17, row.center().y())) & 0xFFFFFF, 0x0AC81Eu);
    // The whole 15-pixel square fits in its row.
    int high = 0;
    for (int y = row.top(); y <= row.bottom(); ++y) high += (img.pixel(27, y) & 0xFFFFFF) == 0x0AC81Eu;
    EXPECT_EQ(high, 15);
    // Neither a data-set item nor a picking tree opens a dialog.
    Mouse(QEvent::MouseButtonDblClick, Centre(Root(b)));
    Toggle(nav->GetAndButton());
    Root(a)->setExpanded(true);
    Mouse(QEvent::MouseButtonDblClick, Centre(Item(g2)));
    EXPECT_EQ(ui.Count(Kind::Color), 2);
}

// Runs "Rename" on item and types text, ending with key.
void RenameVia(NavigateTest* t, CNavigateDlg* nav, CDataTree* tree, lm::ScriptedUiServices& ui, QTreeWidgetItem* item,
               const QString& text, int key, QString* shown = nullptr) {
    (void)t;
    ui.QueueMenuChoice(kNavRename);
    nav->OnTreeRightClick(tree->visualItemRect(item).center());
    auto* edit = tree->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    if (shown) *shown = edit->text();
    edit->setText(text);
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(edit, &e);
    QCoreApplication::processEvents();  // the editor commits and closes from a queued call
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(NavigateTest, RenamesAreCheckedAndEscapeCancels) {
    Root(a)->setExpanded(true);
    QString shown;
    RenameVia(this, nav, tree, ui, Item(g1), "CD4", Qt::Key_Escape, &shown);
    EXPECT_EQ(shown, "R1");
    EXPECT_EQ(g1->GetName(), "R1");
    const struct {
        const char* text;
        bool refused;
    } cases[] = {{"", true}, {"  ", true}, {"R2", true}, {"All", true}, {"CD4", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const int boxes = ui.Count(Kind::MessageBox);
        RenameVia(this, nav, tree, ui, Item(g1), c.text, Qt::Key_Return);
        EXPECT_EQ(ui.Count(Kind::MessageBox), boxes + (c.refused ? 1 : 0));
        EXPECT_EQ(g1->GetName(), c.refused ? "R1" : c.text);
    }
    EXPECT_EQ(CDataTree::ItemText(Item(g1)), "CD4");
    EXPECT_EQ(g1->GetRegion()->GetName(), "CD4");
    EXPECT_TRUE(doc->IsModified());
    // A data set's empty name shows its file name.
    RenameVia(this, nav, tree, ui, Root(a), "", Qt::Key_Return);
    EXPECT_EQ(a->GetName(), "");
    EXPECT_EQ(CDataTree::ItemText(Root(a)), "a.fcs");
}

TEST_F(NavigateTest, AQuadrantRenamesAllFourPartsFromItsNameWithoutSuffix) {
    CGateNode* q = a->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.0f, 1.5708f, 3.1416f, 4.7124f), 0,
                                    "Q");
    ASSERT_NE(q, nullptr);
    Root(a)->setExpanded(true);
    ASSERT_NE(Item(q), nullptr);
    EXPECT_EQ(Root(a)->childCount(), 8);
    QString shown;
    CGateNode* part = a->GetGate(6);
    RenameVia(this, nav, tree, ui, Item(part), "T", Qt::Key_Return, &shown);
    EXPECT_EQ(shown, "Q");
    for (int i = 4; i < 8; ++i) EXPECT_EQ(a->GetGate(i)->GetName(), "T");
    EXPECT_EQ(CDataTree::ItemText(Item(part)), QString::fromStdString(part->GetDisplayName()));
}

TEST_F(NavigateTest, DeletingAGateTakesItsDependantsAndPlotsOutOfTreeAndList) {
    CGateNode* notG1 = a->AddNotGate(g1, "N");
    auto* plot = static_cast<CPLOT*>(doc->InsertNewObject(std::make_unique<CPLOT>(10, 10, notG1, doc, 0, 1)));
    ASSERT_NE(plot, nullptr);
    Root(a)->setExpanded(true);
    tree->setCurrentItem(Item(notG1));
    ASSERT_EQ(nav->GetPlotList()->topLevelItemCount(), 1);
    EXPECT_EQ(nav->PlotOfRow(0), plot);
    // "All" cannot be deleted.
    ui.QueueMenuChoice(0);
    nav->OnTreeRightClick(Centre(Item(a->GetGate(0))));
    const auto menu = ui.Calls().back().menu;
    ASSERT_EQ(menu.size(), 5u);
    EXPECT_EQ(menu[3].id, kNavDeleteGate);
    EXPECT_FALSE(menu[3].enabled);
    EXPECT_FALSE(menu[2].enabled);  // "To Pilot"
    ui.QueueMenuChoice(kNavDeleteGate);
    ui.QueueMessageBoxAnswer(lm::kIdYes);  // N and its plot go too: asked first
    nav->OnTreeRightClick(Centre(Item(g1)));
    EXPECT_EQ(a->GetGateCount(), 3);
    EXPECT_EQ(Root(a)->childCount(), 3);
    EXPECT_EQ(Item(g2), Root(a)->child(1));
    for (int i = 0; i < Root(a)->childCount(); ++i) EXPECT_EQ(CDataTree::GateOf(Root(a)->child(i)), a->GetGate(i));
    // The plot lost its gate; whether it stays on the page or not, the list
    // shows nothing that has gone.
    for (int row = 0; row < nav->GetPlotList()->topLevelItemCount(); ++row) EXPECT_EQ(nav->PlotOfRow(row), nullptr);
    EXPECT_TRUE(doc->IsModified());
    // Removed elsewhere: the item goes too.
    a->RemoveGate(g3, true);
    EXPECT_EQ(Root(a)->childCount(), 2);
}

TEST_F(NavigateTest, ThePlotListFollowsPlotsAndADeletedDataSetLeavesNothing) {
    auto* plot = static_cast<CPLOT*>(doc->InsertNewObject(std::make_unique<CPLOT>(10, 10, g2, doc, 0, 1)));
    tree->setCurrentItem(Root(a));
    ASSERT_EQ(nav->GetPlotList()->topLevelItemCount(), 1);
    EXPECT_EQ(nav->GetPlotList()->topLevelItem(0)->text(2), "R2");
    tree->setCurrentItem(Item(g1));
    EXPECT_EQ(nav->GetPlotList()->topLevelItemCount(), 0);
    tree->setCurrentItem(Item(g2));
    ASSERT_EQ(nav->GetPlotList()->topLevelItemCount(), 1);
    doc->RemoveObject(plot, true);
    EXPECT_EQ(nav->GetPlotList()->topLevelItemCount(), 0);
    // A plot made on the data set is listed under it at once.
    tree->setCurrentItem(Root(a));
    CTrkObj* made = doc->CreatePlotAtPilot(a);
    ASSERT_EQ(nav->GetPlotList()->topLevelItemCount(), 1);
    EXPECT_EQ(nav->PlotOfRow(0), made);
    doc->RemoveObject(made, true);
    tree->setCurrentItem(Item(g2));
    // "New Plot" on a gate makes a plot of that gate, listed at once.
    ui.QueueMenuChoice(kNavNewPlotGate);
    Root(a)->setExpanded(true);
    nav->OnTreeRightClick(Centre(Item(g2)));
    ASSERT_EQ(nav->GetPlotList()->topLevelItemCount(), 1);
    EXPECT_EQ(nav->PlotOfRow(0)->GetGate(), g2);
    // Deleting the data set takes its items, plots and rows, once agreed.
    ui.QueueMenuChoice(kNavDeleteDataSet);
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    nav->OnTreeRightClick(Centre(Root(a)));
    ASSERT_EQ(ui.CallsOf(Kind::MessageBox).size(), 1u);
    EXPECT_EQ(doc->GetDataShellCount(), 1);
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(nav->GetPlotList()->topLevelItemCount(), 0);
    EXPECT_EQ(doc->GetObjectCount(), 0);
}

TEST_F(NavigateTest, ADataSetOpenedInAnotherDocumentTakesThePanelThere) {
    CLumitraDoc* second = app->OnFileNew();
    ASSERT_NE(second, nullptr);
    frame->BindDocument(doc);
    ASSERT_EQ(nav->GetDocument(), doc);
    // A file landing in the other document: the panel shows that document,
    // never its data set among this one's.
    VexaDataShell* c = second->AttachDataShell(plottest::MakeShell(Grid(), "C", "c.fcs"));
    EXPECT_EQ(nav->GetDocument(), second);
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_NE(Root(c), nullptr);
    EXPECT_EQ(Root(a), nullptr);
    // One more in the shown document is added beside it.
    VexaDataShell* d = second->AttachDataShell(plottest::MakeShell(Grid(), "D", "d.fcs"));
    EXPECT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_NE(Root(d), nullptr);
}

TEST_F(NavigateTest, ClosingTheDocumentEmptiesThePanel) {
    tree->setCurrentItem(Item(g1));
    app->CloseDocument(doc);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(nav->GetDocument(), nullptr);
    EXPECT_EQ(tree->topLevelItemCount(), 0);
    EXPECT_EQ(nav->GetPlotList()->topLevelItemCount(), 0);
}

TEST_F(NavigateTest, TheSplitterKeepsBothPanesAndAMultiSelectTreeShowsNoMenu) {
    QSplitter* s = nav->GetSplitter();
    s->setSizes({5000, 0});
    EXPECT_GE(s->sizes()[1], CNavigateDlg::kMinPaneHeight);
    s->setSizes({0, 5000});
    EXPECT_GE(s->sizes()[0], CNavigateDlg::kMinPaneHeight);
    Toggle(nav->GetAndButton());
    nav->OnTreeRightClick(Centre(Root(a)));
    EXPECT_EQ(ui.Count(Kind::PopupMenu), 0);
}

TEST_F(NavigateTest, AGateDraggedFromTheTreeBecomesAPlotOnThePage) {
    CLumitraView* view = frame->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    Root(a)->setExpanded(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->GetDragDropMgr().GetFlags(tree), uint32_t(kDragSource));
    const QPoint from = tree->viewport()->mapToGlobal(Centre(Item(g2)));
    const QPoint to = view->viewport()->mapToGlobal(view->LogicalToClient(CPoint(100, 80)));
    auto send = [](QWidget* w, QEvent::Type type, QPoint g, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(w->mapFromGlobal(g)), QPointF(g), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    send(tree->viewport(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(tree->viewport(), QEvent::MouseMove, from + QPoint(frame->GetDragDropMgr().GetDragDistance() + 1, 0),
         Qt::NoButton, Qt::LeftButton);
    send(tree->viewport(), QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(tree->viewport(), QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(doc->GetObjectCount(), 1);
    auto* plot = dynamic_cast<CPLOT*>(doc->GetObjects()[0].get());
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->GetGate(), g2);
}

}  // namespace

namespace {

TEST_F(NavigateTest, RebuildingTheSameDocumentKeepsItemsOpenAndChosen) {
    Root(a)->setExpanded(true);
    tree->setCurrentItem(Item(g2));
    QTreeWidgetItem* before = Item(g2);
    frame->RebuildNavigate(doc);
    EXPECT_EQ(Item(g2), before);
    EXPECT_TRUE(Root(a)->isExpanded());
    EXPECT_EQ(tree->currentItem(), before);
    // Another set of data sets is rebuilt in full.
    doc->RemoveDataShell(b);
    frame->RebuildNavigate(doc);
    EXPECT_EQ(tree->topLevelItemCount(), 1);
}

TEST_F(NavigateTest, DoubleClickingAListedPlotMakesItActiveAndEnlargesIt) {
    auto* plot = static_cast<CPLOT*>(doc->InsertNewObject(std::make_unique<CPLOT>(400, 300, g1, doc, 0, 1)));
    doc->SetActiveObject(nullptr);
    Root(a)->setExpanded(true);
    tree->setCurrentItem(Item(g1));
    QTreeWidget* l = nav->GetPlotList();
    ASSERT_EQ(l->topLevelItemCount(), 1);
    QCoreApplication::processEvents();
    const QPoint at = l->visualItemRect(l->topLevelItem(0)).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick}) {
        QMouseEvent e(type, QPointF(at), QPointF(l->viewport()->mapToGlobal(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton),
                      Qt::NoModifier);
        QApplication::sendEvent(l->viewport(), &e);
    }
    EXPECT_EQ(doc->GetActiveObject(), plot);
    EXPECT_TRUE(plot->IsZoomed());
    // The plot's corner is brought near the view's top left.
    CLumitraView* view = frame->GetActiveReportView();
    const QPoint corner = view->LogicalToClient(CPoint(390, 290));
    EXPECT_LE(std::abs(corner.x()) + std::abs(corner.y()), 40) << corner.x() << "," << corner.y();
}

}  // namespace

namespace {

TEST_F(NavigateTest, SelectPlotsChoosesEveryListedPlotAndMakesASingleOneActive) {
    auto* p1 = static_cast<CPLOT*>(doc->InsertNewObject(std::make_unique<CPLOT>(10, 10, g2, doc, 0, 1)));
    auto* p2 = static_cast<CPLOT*>(doc->InsertNewObject(std::make_unique<CPLOT>(400, 10, g2, doc, 0, 1)));
    doc->InsertNewObject(std::make_unique<CPLOT>(10, 400, g1, doc, 0, 1));
    doc->SetActiveObject(nullptr);
    Root(a)->setExpanded(true);
    ui.QueueMenuChoice(kNavSelectPlots);
    nav->OnTreeRightClick(Centre(Item(g2)));
    std::vector<CTrkObj*> chosen = doc->GetSelection();
    std::sort(chosen.begin(), chosen.end());
    std::vector<CTrkObj*> expected{p1, p2};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(chosen, expected);
    doc->RemoveObject(p1, true);
    doc->ClearSelection();
    ui.QueueMenuChoice(kNavSelectPlots);
    nav->OnTreeRightClick(Centre(Item(g2)));
    EXPECT_EQ(doc->GetActiveObject(), p2);
}

}  // namespace

namespace {

TEST_F(NavigateTest, NewGatesKeepTheChosenItemWhereverItIs) {
    Root(a)->setExpanded(true);
    Root(b)->setExpanded(true);
    tree->setCurrentItem(Item(g2));
    plottest::AddRectGate(*a, 0.1f, 0.1f, 0.3f, 0.3f, 0, "New in A");  // A's items are rebuilt
    EXPECT_EQ(tree->currentItem(), Item(g2));
    tree->setCurrentItem(Item(h1));
    plottest::AddRectGate(*a, 0.2f, 0.2f, 0.3f, 0.3f, 0, "More in A");
    EXPECT_EQ(tree->currentItem(), Item(h1));
    // A gate handed in with the wrong data set changes nothing.
    Root(a)->setExpanded(false);
    nav->AddGateItem(a, h1);
    EXPECT_FALSE(Root(a)->isExpanded());
    EXPECT_EQ(Root(a)->childCount(), 6);
}

}  // namespace

namespace {

// Paint events of a widget whose region meets a rectangle.
class PaintSpy : public QObject {
public:
    PaintSpy(QWidget* w, QRect watched) : m_watched(watched) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Paint) return false;
        const QRegion r = static_cast<QPaintEvent*>(e)->region();
        if (r.intersects(m_watched)) ++paints;
        painted += r;
        return false;
    }
    int paints = 0;
    QRegion painted;  // every area painted since

private:
    QRect m_watched;
};

TEST_F(NavigateTest, AGateDeleteThatTakesMoreAsksFirstNamingGatesAndPlots) {
    CGateNode* notG1 = a->AddNotGate(g1, "N");
    doc->InsertNewObject(std::make_unique<CPLOT>(10, 10, notG1, doc, 0, 1));
    doc->InsertNewObject(std::make_unique<CPLOT>(400, 10, g1, doc, 0, 1));
    CTrkObj* allPlot = doc->InsertNewObject(std::make_unique<CPLOT>(10, 400, a->GetGate(0), doc, 0, 1));
    Root(a)->setExpanded(true);
    const struct {
        CGateNode** gate;
        int32_t answer;     // -1: no question expected
        const char* names;  // what the question counts
        int gatesLeft;
        size_t plotsLeft;
    } cases[] = {
        {&g1, lm::kIdNo, "removes 2 gates and 2 plots", 5, 3},   // declined: nothing goes
        {&g3, -1, nullptr, 4, 3},                                 // a lone gate without plots: no question
        {&g1, lm::kIdYes, "removes 2 gates and 2 plots", 2, 1},  // the plot of All stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names ? c.names : "no question");
        doc->SetModifiedFlag(false);
        const int boxes = ui.Count(Kind::MessageBox);
        ui.QueueMenuChoice(kNavDeleteGate);
        if (c.answer >= 0) ui.QueueMessageBoxAnswer(c.answer);
        nav->OnTreeRightClick(Centre(Item(*c.gate)));
        ASSERT_EQ(ui.Count(Kind::MessageBox), boxes + (c.answer >= 0 ? 1 : 0));
        // Nothing about grid cells when none is emptied.
        if (c.names)
            EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).back().text.endsWith(QString(c.names) + " from the report. Delete?"));
        EXPECT_EQ(a->GetGateCount(), c.gatesLeft);
        EXPECT_EQ(Root(a)->childCount(), c.gatesLeft);
        EXPECT_EQ(size_t(doc->GetObjectCount()), c.plotsLeft);
        EXPECT_EQ(doc->IsModified(), c.answer != lm::kIdNo);
    }
    EXPECT_GE(doc->GetObjectIndex(allPlot), 0);
}

TEST_F(NavigateTest, TheGateStatisticsPanelAsksBeforeItsDeleteToo) {
    a->AddNotGate(g2, "N");
    CGateRltDlg dlg;
    dlg.BindDataShell(a);
    const int boxes = ui.Count(Kind::MessageBox);
    ui.QueueMenuChoice(CGateRltDlg::kCmdDeleteGate);
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    for (int32_t r = 0; r < dlg.GetGateView().GetRowCount(); ++r) {
        if (dlg.GetGateView().GetRowGate(r) != g2) continue;
        const CPoint o = dlg.GetGateView().GetRowOrigin(r);
        const QPoint at(o.x + 4, o.y + dlg.GetGateView().GetRowHeight() / 2);
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, dlg.mapToGlobal(at));
        QApplication::sendEvent(&dlg, &e);
    }
    EXPECT_EQ(ui.Count(Kind::MessageBox), boxes + 1);
    EXPECT_EQ(a->GetGateCount(), 5);
}

TEST_F(NavigateTest, ExpandButtonsOpenADataSetInEitherModeAndShowItsState) {
    ASSERT_FALSE(Root(a)->isExpanded());
    QCoreApplication::processEvents();
    const QRect button = tree->ExpandButtonRect(Root(a));
    ASSERT_FALSE(button.isEmpty());
    EXPECT_TRUE(tree->ExpandButtonRect(Item(g1)).isEmpty());  // gates have none
    // The painted "+" has a vertical bar; the "-" has none.
    auto bar = [&] {
        const QImage img = tree->viewport()->grab().toImage();
        const QPoint c = tree->ExpandButtonRect(Root(a)).center();
        return (img.pixel(c.x(), c.y() - 2) & 0xFFFFFF) == (img.pixel(c) & 0xFFFFFF);
    };
    EXPECT_TRUE(bar());
    Mouse(QEvent::MouseButtonPress, button.center());
    Mouse(QEvent::MouseButtonRelease, button.center());
    EXPECT_TRUE(Root(a)->isExpanded());
    EXPECT_FALSE(bar());
    EXPECT_NE(tree->currentItem(), Root(a));  // the button picks nothing
    // With AND pressed (everything collapsed) the buttons still open a data
    // set, and a press on one keeps the picks.
    Toggle(nav->GetAndButton());
    ASSERT_FALSE(Root(a)->isExpanded());
    Mouse(QEvent::MouseButtonPress, tree->ExpandButtonRect(Root(a)).center());
    Mouse(QEvent::MouseButtonRelease, tree->ExpandButtonRect(Root(a)).center());
    ASSERT_TRUE(Root(a)->isExpanded());
    Click(Item(g1), Qt::ControlModifier);
    Mouse(QEvent::MouseButtonPress, tree->ExpandButtonRect(Root(b)).center());
    Mouse(QEvent::MouseButtonRelease, tree->ExpandButtonRect(Root(b)).center());
    EXPECT_TRUE(Root(b)->isExpanded());
    EXPECT_FALSE(Root(a)->isExpanded());  // one data set open at a time while picking
}

TEST_F(NavigateTest, ARubberBandStartsBesideALabelInAFullTree) {
    Toggle(nav->GetAndButton());
    Root(a)->setExpanded(true);
    // The rows fill the tree: there is no room below the last one.
    tree->setFixedHeight(tree->visualItemRect(Root(b)).bottom() + tree->frameWidth() * 2 + 1);
    QCoreApplication::processEvents();
    ASSERT_NE(tree->itemAt(QPoint(5, tree->viewport()->height() - 1)), nullptr);
    const int beside = tree->LabelRect(Item(g1)).right() + 20;
    ASSERT_LT(beside, tree->viewport()->width());
    int drags = 0;
    QObject::connect(tree, &CDataTree::BeginDrag, [&](QTreeWidgetItem*) { ++drags; });
    const QPoint start(beside, tree->visualItemRect(Item(g1)).center().y());
    const QPoint end(beside + 5, tree->visualItemRect(Item(g3)).center().y());
    Mouse(QEvent::MouseButtonPress, start);
    Mouse(QEvent::MouseMove, end);
    EXPECT_TRUE(tree->IsBandActive());
    Mouse(QEvent::MouseButtonRelease, end);
    EXPECT_EQ(drags, 0);
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g1, g2, g3}));
    // A press on the label still picks the item.
    Click(Item(g2));
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g2}));
}

TEST_F(NavigateTest, AGateAddedWhilePickingKeepsThePicksAndIsAppended) {
    Pick(nav->GetAndButton(), {g1, g3});
    QTreeWidgetItem* kept = Item(g1);
    CGateNode* more = plottest::AddRectGate(*a, 0.1f, 0.1f, 0.2f, 0.2f, 0, "More");
    ASSERT_EQ(Root(a)->childCount(), 5);
    EXPECT_EQ(CDataTree::GateOf(Root(a)->child(4)), more);
    EXPECT_EQ(Item(g1), kept);
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g1, g3}));
    Toggle(nav->GetAndButton());
    ASSERT_EQ(a->GetGateCount(), 6);
    EXPECT_EQ(a->GetGate(5)->GetInputs(), (std::vector<CGateNode*>{g1, g3}));
    // A gate removed while picking rebuilds the items; the picks that stay stay.
    Pick(nav->GetOrButton(), {g1, g2});
    a->RemoveGate(g3, true);
    EXPECT_EQ(Selected(), (std::vector<CGateNode*>{g1, g2}));
}

TEST_F(NavigateTest, ARenameShowsOnThePlotAndWidensTheResultTableAtOnce) {
    auto* plot = static_cast<CPLOT*>(doc->InsertNewObject(std::make_unique<CPLOT>(10, 10, a->GetGate(0), doc, 0, 1)));
    plot->ShowRegion(g1->GetRegion());
    ASSERT_NE(plot->GetRgnLayer(0), nullptr);  // the plot of All shows R1's region and its label
    auto* table = static_cast<CTrkResult*>(
        doc->InsertNewObject(std::make_unique<CTrkResult>(plot->GetRect().right + 20, 10, a, doc)));
    CLumitraView* view = frame->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    Root(a)->setExpanded(true);
    QCoreApplication::processEvents();
    const int32_t before = table->GetBorders().front();
    doc->SetModifiedFlag(false);
    const CRect r = plot->GetRect();
    PaintSpy spy(view->viewport(), QRect(view->LogicalToClient(CPoint(r.left, r.top)),
                                         view->LogicalToClient(CPoint(r.right, r.bottom))));
    RenameVia(this, nav, tree, ui, Item(g1), "A much longer name for the first gate", Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_GT(spy.paints, 0);  // the plot showing R1's region is drawn anew
    EXPECT_GT(table->GetBorders().front(), before);
    const QFontMetricsF fm(lm::ToQFont(table->GetFont()));
    EXPECT_GE(table->GetBorders().front(), fm.horizontalAdvance(QStringLiteral("A much longer name for the first gate")));
    EXPECT_TRUE(doc->IsModified());
}

}  // namespace

namespace {

// The page's view, driven as a user drives it.
struct PageUser {
    explicit PageUser(CMainFrame* frame) : view(frame->GetActiveReportView()), d(view) {}
    static CPoint AreaPoint(const CPLOT& plot, int32_t lx, int32_t ly) {
        const CRect a = plot.GetPlotArea();
        return CPoint(a.left + lx, a.bottom - ly);
    }
    // A rectangle drawn with the tool of the plot's menu.
    void DrawRect(lm::ScriptedUiServices& ui, CPLOT* plot, CPoint from, CPoint to) {
        d.Click(AreaPoint(*plot, from.x, from.y));
        ui.QueueMenuChoice(kPlotCmdRectTool);
        d.RightClick(AreaPoint(*plot, from.x, from.y));
        d.Drag(AreaPoint(*plot, from.x, from.y), AreaPoint(*plot, to.x, to.y));
        d.Click(CPoint(plot->GetRect().right + 40, plot->GetRect().bottom + 40));  // done: off the plot
    }
    CLumitraView* view;
    vin::Driver d;
};

TEST_F(NavigateTest, NewGatesTakeANameNoGateHasAfterRenamesToTheirDefaultNames) {
    Root(a)->setExpanded(true);
    // R1 and R2 are ids 1 and 2: the user names them after the ids that the
    // next two gates get.
    RenameVia(this, nav, tree, ui, Item(g1), "G4", Qt::Key_Return);
    RenameVia(this, nav, tree, ui, Item(g2), "G5", Qt::Key_Return);
    ASSERT_EQ(g1->GetName(), "G4");
    ASSERT_EQ(g2->GetName(), "G5");
    PageUser page(frame);
    ASSERT_NE(page.view, nullptr);
    CPLOT* plot = page.view->NewPlotInRect(CRect(20, 20, 270, 270), 0, 1, a->GetRoot());
    ASSERT_NE(plot, nullptr);
    page.DrawRect(ui, plot, CPoint(20, 20), CPoint(60, 60));
    page.DrawRect(ui, plot, CPoint(90, 90), CPoint(140, 140));
    ASSERT_EQ(a->GetGateCount(), 6);
    CGateNode* first = a->GetGate(4);
    CGateNode* second = a->GetGate(5);
    EXPECT_EQ(first->GetId(), 4);
    EXPECT_EQ(second->GetId(), 5);
    EXPECT_EQ(first->GetName(), "G6");   // G4 and G5 are the user's
    EXPECT_EQ(second->GetName(), "G7");  // G6 is the gate just made
    EXPECT_EQ(first->GetRegion()->GetName(), "G6");
    EXPECT_EQ(CDataTree::ItemText(Item(first)), "G6");
    EXPECT_EQ(CDataTree::ItemText(Item(second)), "G7");
    // Names the user did not take stay as they were: B's next gate is G2.
    EXPECT_EQ(plottest::AddRectGate(*b, 0.1f, 0.1f, 0.2f, 0.2f)->GetName(), "G2");
    // Logic gates and quadrants go by the same rule.
    RenameVia(this, nav, tree, ui, Item(g3), "G8", Qt::Key_Return);
    EXPECT_EQ(a->AddLogicGate(kGateAnd, {g1, g2}, "")->GetName(), "G9");
    CGateNode* q = a->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.0f, 1.5708f, 3.1416f, 4.7124f), 0, "");
    ASSERT_NE(q, nullptr);
    const std::string qName = q->GetName();
    EXPECT_EQ(qName, "Q0");  // quadrants count from 0
    RenameVia(this, nav, tree, ui, Item(first), "Q1", Qt::Key_Return);
    CGateNode* q2 = a->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.3f, 0.3f, 0.0f, 1.5708f, 3.1416f, 4.7124f), 0, "");
    ASSERT_NE(q2, nullptr);
    EXPECT_EQ(q2->GetName(), "Q2");  // Q1 is a gate the user named
    EXPECT_EQ(q2->GetDisplayName(), "Q2-UR");
    // A quadrant's name is taken though its parts show it with a suffix.
    ASSERT_EQ(plottest::AddRectGate(*a, 0.1f, 0.1f, 0.2f, 0.2f)->GetName(), "G10");
    RenameVia(this, nav, tree, ui, Item(q2), "G11", Qt::Key_Return);
    ASSERT_EQ(q2->GetDisplayName(), "G11-UR");
    EXPECT_EQ(plottest::AddRectGate(*a, 0.1f, 0.1f, 0.2f, 0.2f)->GetName(), "G12");
}

TEST_F(NavigateTest, ARecolouredGatesSquareIsPaintedAnewInTheResultTable) {
    auto* table = static_cast<CTrkResult*>(doc->InsertNewObject(std::make_unique<CTrkResult>(300, 20, a, doc)));
    ASSERT_NE(table, nullptr);
    CLumitraView* view = frame->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    Root(a)->setExpanded(true);
    // Not the active object (that one is painted anew with every redraw),
    // and on the screen: nothing left to paint.
    doc->SetActiveObject(nullptr);
    doc->RedrawDirty();
    QCoreApplication::processEvents();
    const CRect r = table->GetRect();
    PaintSpy spy(view->viewport(), QRect(view->LogicalToClient(CPoint(r.left, r.top)),
                                         view->LogicalToClient(CPoint(r.right, r.bottom))));
    ui.QueueColor(RGB(10, 200, 30));
    Mouse(QEvent::MouseButtonDblClick, Centre(Item(g1)));
    QCoreApplication::processEvents();
    ASSERT_EQ(g1->GetColor(), RGB(10, 200, 30));
    EXPECT_GT(spy.paints, 0);
    // The square of R1's row (after the header line, the titles and All) in
    // what the view shows now.
    EXPECT_TRUE(spy.painted.contains(view->LogicalToClient(CPoint(r.left + 15, r.top + 92))));
    const QImage shown = view->viewport()->grab().toImage();
    const CPoint square(r.left + CTrkResult::kInset + 3 + 6, r.top + CTrkResult::kInset + 5 + 3 * 25 + 3 + 6);
    const QPoint at = view->LogicalToClient(square);
    ASSERT_TRUE(shown.rect().contains(at));
    EXPECT_EQ(shown.pixel(at) & 0xFFFFFF, 0x0AC81Eu);
    // A gate of another data set leaves the table alone.
    Root(b)->setExpanded(true);
    QCoreApplication::processEvents();
    spy.paints = 0;
    h1->SetColor(RGB(1, 2, 3));
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.paints, 0);
}

TEST_F(NavigateTest, EditsThatChangeNothingLeaveTheReportUnmarked) {
    Root(a)->setExpanded(true);
    QCoreApplication::processEvents();
    CChildFrame* child = nullptr;
    for (QWidget* w = frame->GetActiveReportView(); w && !child; w = w->parentWidget()) child = qobject_cast<CChildFrame*>(w);
    doc->SetModifiedFlag(false);
    // The data set's name confirmed with Enter as it stands.
    QString shown;
    RenameVia(this, nav, tree, ui, Root(a), "A", Qt::Key_Return, &shown);
    EXPECT_EQ(shown, "A");
    EXPECT_FALSE(doc->IsModified());
    RenameVia(this, nav, tree, ui, Root(b), "", Qt::Key_Return, &shown);  // unnamed, shown by its file
    EXPECT_EQ(shown, "");
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(CDataTree::ItemText(Root(b)), "b.fcs");
    // A gate's colour chosen again.
    ui.QueueColor(g1->GetColor());
    Mouse(QEvent::MouseButtonDblClick, Centre(Item(g1)));
    EXPECT_EQ(ui.Count(Kind::Color), 1);
    EXPECT_FALSE(doc->IsModified());
    if (child) {
        EXPECT_FALSE(child->isWindowModified());
    }
    // Real edits still mark it.
    RenameVia(this, nav, tree, ui, Root(a), "A2", Qt::Key_Return);
    EXPECT_EQ(a->GetName(), "A2");
    EXPECT_TRUE(doc->IsModified());
    doc->SetModifiedFlag(false);
    ui.QueueColor(RGB(9, 9, 9));
    Mouse(QEvent::MouseButtonDblClick, Centre(Item(g1)));
    EXPECT_TRUE(doc->IsModified());
    if (child) {
        EXPECT_TRUE(child->isWindowModified());
    }
}

TEST_F(NavigateTest, DeletingADataSetCountsTheGridCellsItsValuesFill) {
    auto* table = static_cast<CTrkResult*>(doc->InsertNewObject(std::make_unique<CTrkResult>(20, 20, a, doc)));
    ASSERT_NE(table, nullptr);
    PageUser page(frame);
    CTrkObj* grid = page.view->NewGridAt(20, 400, 2, 2);
    ASSERT_NE(grid, nullptr);
    // R1's value dragged from the table into the grid's first cell.
    const CRect t = table->GetRect();
    page.d.Click(CPoint(t.left + 10, t.top + 10));
    ASSERT_EQ(doc->GetActiveObject(), table);
    const CPoint value(t.left + CTrkResult::kInset + table->GetBorders()[0] + 5, t.top + CTrkResult::kInset + 3 * 25 + 10);
    const CRect gr = grid->GetRect();
    page.d.Drag(value, CPoint(gr.left + 10, gr.top + 10));
    auto* grid_ = dynamic_cast<CGrid*>(grid);
    ASSERT_NE(grid_, nullptr);
    auto* cell = dynamic_cast<CStatCell*>(grid_->GetCell(0, 0));
    ASSERT_NE(cell, nullptr);
    ASSERT_EQ(cell->GetStatItem(), g1->GetStatItem());
    const std::string value1 = cell->GetText();
    EXPECT_FALSE(value1.empty());
    // The table goes; the value stays in the grid.
    doc->RemoveObject(table, true);
    ASSERT_EQ(dynamic_cast<CStatCell*>(grid_->GetCell(0, 0)), cell);

    // No plot or table of A is left, yet its delete empties the cell: asked.
    ui.QueueMenuChoice(kNavDeleteDataSet);
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    nav->OnTreeRightClick(Centre(Root(a)));
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    const QString asked = ui.CallsOf(Kind::MessageBox).back().text;
    EXPECT_TRUE(asked.contains("3 gates and 0 plots and tables from the report and empties 1 grid cell")) << asked.toStdString();
    EXPECT_EQ(doc->GetDataShellCount(), 2);
    EXPECT_EQ(grid_->GetCell(0, 0)->GetText(), value1);
    // The gate's own delete counts it too.
    ui.QueueMenuChoice(kNavDeleteGate);
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    Root(a)->setExpanded(true);
    nav->OnTreeRightClick(Centre(Item(g1)));
    ASSERT_EQ(ui.Count(Kind::MessageBox), 2);
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).back().text.contains("empties 1 grid cell"));
    EXPECT_EQ(a->GetGateCount(), 4);
    // Agreed: the data set goes and the cell is emptied.
    ui.QueueMenuChoice(kNavDeleteDataSet);
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    nav->OnTreeRightClick(Centre(Root(a)));
    EXPECT_EQ(doc->GetDataShellCount(), 1);
    const auto* emptied = dynamic_cast<CStatCell*>(grid_->GetCell(0, 0));
    EXPECT_TRUE(emptied == nullptr || emptied->GetStatItem() == nullptr);
    // B has no cells, plots or tables: deleted without a question.
    ui.QueueMenuChoice(kNavDeleteDataSet);
    nav->OnTreeRightClick(Centre(Root(b)));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 3);
    EXPECT_EQ(doc->GetDataShellCount(), 0);
}

}  // namespace
