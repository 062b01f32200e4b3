// "Gate Stat": following its shell and letting go of it, gates removed under
// it (also while renamed), the operators' gate counts, the gate menu and
// gates dragged from its left strip.
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPushButton>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "dialogs/DialogControls.h"
#include "dialogs/GateRltDlg.h"
#include "report/app/DragDropData.h"
#include "report/app/DragDropMgr.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;
enum : int32_t { kTree = 1031, kAnd = 1032, kOr = 1033, kNot = 1034, kOrder = 1039 };

class GateRltDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        shell = doc.AttachDataShell(plottest::MakeShell(vin::GridEvents()));
        r1 = plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R1");
        r2 = plottest::AddRectGate(*shell, 0.4f, 0.3f, 0.9f, 0.8f, 0, "R2");
        dlg = std::make_unique<CGateRltDlg>();
        dlg->BindDataShell(shell);
    }
    QPushButton* Button(int32_t id) const { return dlgtest::Control<QPushButton>(dlg.get(), id); }
    // A point on the gate's row, x pixels from the dialog's left edge.
    QPoint RowPoint(const CGateNode* gate, int x = -1) const {
        const CGateView& v = dlg->GetGateView();
        for (int32_t r = 0; r < v.GetRowCount(); ++r) {
            if (v.GetRowGate(r) != gate) continue;
            const CPoint o = v.GetRowOrigin(r);
            return QPoint(x >= 0 ? x : o.x + 4, o.y + v.GetRowHeight() / 2);
        }
        ADD_FAILURE() << "no row";
        return QPoint();
    }
    void ClickRow(const CGateNode* gate) {
        const QPoint at = RowPoint(gate);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), dlg->mapToGlobal(QPointF(at)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dlg.get(), &press);
    }
    void Menu(const CGateNode* gate, int32_t choice) {
        ui.QueueMenuChoice(choice);
        const QPoint at = RowPoint(gate);
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, dlg->mapToGlobal(at));
        QCoreApplication::sendEvent(dlg.get(), &e);
    }

    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    CLumitraDoc doc;
    VexaDataShell* shell = nullptr;
    CGateNode* r1 = nullptr;
    CGateNode* r2 = nullptr;
    std::unique_ptr<CGateRltDlg> dlg;
};

TEST_F(GateRltDlgTest, FollowsItsShellAndHoldsNothingOnceTheShellGoes) {
    EXPECT_EQ(dlg->GetUserKind(), kUserGateRltDlg);
    EXPECT_EQ(dlg->GetGates().size(), 3u);
    const CGateView& view = dlg->GetGateView();
    EXPECT_EQ(view.GetRowLevel(1), 1);  // R1 under All
    EXPECT_EQ(view.GetRowLevel(-1), 0);
    EXPECT_EQ(view.GetRowLevel(view.GetRowCount()), 0);
    EXPECT_EQ(view.GetRowGate(view.GetRowCount()), nullptr);
    EXPECT_TRUE(Button(kAnd)->isEnabled() && Button(kOr)->isEnabled() && Button(kNot)->isEnabled());
    EXPECT_FALSE(Button(kOrder)->isHidden());
    plottest::AddRectGate(*shell, 0.2f, 0.2f, 0.3f, 0.3f, 0, "R3");
    EXPECT_EQ(dlg->GetGates().size(), 4u);

    Button(kAnd)->click();  // pressed while the shell goes
    doc.RemoveDataShell(shell);
    EXPECT_EQ(dlg->GetShell(), nullptr);
    EXPECT_TRUE(dlg->GetGates().empty());
    EXPECT_EQ(dlg->GetGateView().GetRowCount(), 0);
    EXPECT_FALSE(Button(kAnd)->isEnabled());
    EXPECT_FALSE(Button(kAnd)->isChecked());
    EXPECT_TRUE(Button(kOrder)->isHidden());
    dlg->repaint();  // paints no freed gate
}

TEST_F(GateRltDlgTest, ARemovedGateLeavesTheListAndARenameInProgressChangesNothing) {
    Menu(r2, CGateRltDlg::kCmdRename);
    ASSERT_EQ(dlg->GetRenamedGate(), r2);
    auto* edit = dlg->findChild<QLineEdit*>("renameGate");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text().toStdString(), r2->GetDisplayName());
    EXPECT_EQ(edit->maxLength(), 50);
    edit->setText("late");
    shell->RemoveGate(r2, true);
    EXPECT_EQ(dlg->GetRenamedGate(), nullptr);
    EXPECT_EQ(std::count(dlg->GetGates().begin(), dlg->GetGates().end(), r2), 0);
    emit edit->editingFinished();  // would write into the freed gate
    EXPECT_EQ(shell->GetGates().size(), 2u);

    Menu(r1, CGateRltDlg::kCmdRename);
    edit->setText("Lymphocytes");
    dlgtest::Key(edit, Qt::Key_Return);
    EXPECT_EQ(r1->GetDisplayName(false), "Lymphocytes");
    EXPECT_TRUE(edit->isHidden());

    Menu(r1, CGateRltDlg::kCmdDeleteGate);
    EXPECT_EQ(shell->GetGates().size(), 1u);
    EXPECT_EQ(dlg->GetGates().size(), 1u);
}

TEST_F(GateRltDlgTest, AndAndOrNeedTwoGatesAndNotExactlyOne) {
    const struct {
        int32_t button;
        int gates;      // rows clicked: R1, then R2
        bool combines;
    } cases[] = {
        {kAnd, 1, false},
        {kOr, 0, false},
        {kNot, 2, false},
        {kAnd, 2, true},
        {kOr, 2, true},
        {kNot, 1, true},
    };
    for (const auto& c : cases) {
        const size_t before = shell->GetGates().size();
        const int boxes = ui.Count(Kind::MessageBox);
        Button(c.button)->click();
        if (c.gates >= 1) ClickRow(r1);
        if (c.gates >= 2) ClickRow(r2);
        Button(c.button)->click();
        EXPECT_FALSE(Button(c.button)->isChecked());
        EXPECT_EQ(shell->GetGates().size(), before + (c.combines ? 1 : 0)) << c.button << " " << c.gates;
        EXPECT_EQ(ui.Count(Kind::MessageBox), boxes + (c.combines ? 0 : 1)) << c.button << " " << c.gates;
    }
    EXPECT_EQ(shell->GetGates().back()->GetOperator(), kGateNot);
}

TEST_F(GateRltDlgTest, PressingOneOperatorReleasesTheOthersAndOrderSetsItsMode) {
    Button(kAnd)->click();
    Button(kOr)->click();
    EXPECT_FALSE(Button(kAnd)->isChecked());
    EXPECT_TRUE(Button(kOr)->isChecked());
    Button(kOrder)->click();
    EXPECT_FALSE(Button(kOr)->isChecked());
    EXPECT_EQ(dlg->GetOrderMode(), CGateRltDlg::kOrderMode);
    EXPECT_EQ(shell->GetGates().size(), 3u);  // a release by another button combines nothing
    Button(kOrder)->click();
    EXPECT_EQ(dlg->GetOrderMode(), 0);
}

TEST_F(GateRltDlgTest, EnterAndEscapeLeaveItOpenAndNewPlotWithoutAViewDoesNothing) {
    dlg->show();
    dlgtest::Key(dlg.get(), Qt::Key_Escape);
    dlgtest::Key(dlg.get(), Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    Menu(r1, CGateRltDlg::kCmdNewPlot);
    EXPECT_EQ(doc.GetObjects().size(), 0u);
    dlg->close();
    EXPECT_EQ(dlg->GetShell(), nullptr);
}

TEST_F(GateRltDlgTest, GatesAreDragPayloadsOnlyFromTheLeftStrip) {
    const struct {
        int x;
        bool payload;
    } cases[] = {{0, false}, {1, true}, {46, true}, {47, false}};
    for (const auto& c : cases) {
        CDragRecord record;
        record.point = CPoint(c.x, RowPoint(r1, c.x).y());
        CDragDropMsg msg(DragMessages().enter, &record);
        QCoreApplication::sendEvent(dlg.get(), &msg);
        EXPECT_EQ(msg.GetResult() != 0, c.payload) << c.x;
        EXPECT_EQ(record.payload != nullptr, c.payload) << c.x;
        if (!record.payload) continue;
        EXPECT_EQ(record.payload->GetKind(), kPayloadGate);
        EXPECT_EQ(record.payload->GetGateContent(), dlg->GateAt(QPoint(c.x, record.point.y)));
    }
    CDragRecord below;
    below.point = CPoint(10, 390);
    CDragDropMsg msg(DragMessages().enter, &below);
    QCoreApplication::sendEvent(dlg.get(), &msg);
    EXPECT_EQ(below.payload, nullptr);
}

}  // namespace
