// "Compensation" through the plot menu: spinner steps and typed values reach
// the events at once and only after they were checked; OK stores, Cancel,
// Esc and closing give the events back bit for bit.
#include <gtest/gtest.h>

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QWheelEvent>

#include <cstring>
#include <functional>
#include <vector>

#include "core/DataSet.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "core/StatItem.h"
#include "dialogs/CompDlg.h"
#include "dialogs/DataSetDlgIds.h"
#include "dialogs/SpinButton.h"
#include "report/app/CommandIds.h"
#include "report/page/Cell.h"
#include "report/page/Grid.h"
#include "report/page/ResultTable.h"
#include "report/plot/Plot.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;
using dlgtest::Control;

class CompDlgTest : public ::testing::Test {
protected:
    void SetUp() override { rtest::EnsureApp(); }

    // FL1, FL2 and FL3; SPILL over FL1 and FL2 with the coefficients
    // (FL1 -> FL2) and (FL2 -> FL1).
    VexaDataShell* MakeShell(const char* xy = "0.1", const char* yx = "0.05") {
        lmtest::FcsWriter w;
        w.Param("FL1", 32, "1024").Param("FL2", 32, "1024").Param("FL3", 32, "1024");
        for (int e = 0; e < 300; ++e) w.Event({double(e % 97) * 9.0, double(e % 89) * 11.0, double(e)});
        w.Set("SPILL", std::string("2,FL1,FL2,1,") + xy + "," + yx + ",1");
        return dlgtest::AttachShell(doc, w);
    }
    CPLOT* MakePlot(VexaDataShell* shell, int32_t x, int32_t y) {
        plots.push_back(std::make_unique<CPLOT>(CRect(0, 0, 250, 250), shell->GetGate(0), &doc, x, y));
        return plots.back().get();
    }
    // The plot menu's "Compensate" with the dialog handled by fn.
    void Compensate(CPLOT* plot, std::function<void(CCompDlg*)> fn) {
        ui.QueueDialog([fn](QDialog* d) {
            fn(static_cast<CCompDlg*>(d));
            return d->result();
        });
        plot->OnContextCommand(kPlotCmdCompensate, 0);
    }
    static std::vector<float> Column(VexaDataShell* shell, int32_t p) {
        const CEventMatrix* m = shell->GetDataSet()->GetEventMatrix();
        return std::vector<float>(m->GetColumn(p), m->GetColumn(p) + m->GetEventCount());
    }
    static bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
    }

    CLumitraDoc doc;
    std::vector<std::unique_ptr<CPLOT>> plots;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
};

TEST_F(CompDlgTest, SpinnerStepsMergeApplyAtOnceAndEachWayOfCancellingRestoresTheEventsBitForBit) {
    VexaDataShell* shell = MakeShell();
    CPLOT* plot = MakePlot(shell, 0, 1);
    const std::vector<float> fl1 = Column(shell, 0), fl2 = Column(shell, 1);
    const std::function<void(CCompDlg*)> cancels[] = {
        [](CCompDlg* d) { Control<QPushButton>(d, kCompCancel)->click(); },
        [](CCompDlg* d) { dlgtest::Key(d, Qt::Key_Escape); },
        [](CCompDlg* d) {  // the window's close button, as on a shown dialog
            d->show();
            d->close();
        },
    };
    for (const auto& cancel : cancels) {
        ui.Clear();
        Compensate(plot, [&](CCompDlg* d) {
            auto* edit = Control<QLineEdit>(d, kCompValueXY);
            auto* spin = Control<CSpinButton>(d, kCompSpinXY);
            EXPECT_EQ(edit->text(), "10.0 ");
            EXPECT_EQ(Control<QLineEdit>(d, kCompValueYX)->text(), "5.0 ");
            EXPECT_EQ(Control<QLineEdit>(d, kCompCaptionY1)->text(), "FL2-");
            EXPECT_EQ(Control<QLineEdit>(d, kCompCaptionX1)->text(), "FL1");
            EXPECT_EQ(spin->GetPos(), 100);
            dlgtest::Keys(spin, Qt::Key_Up, 25);  // up raises
            EXPECT_EQ(spin->GetPos(), 125);
            EXPECT_EQ(edit->text(), "12.5 ");
            QCoreApplication::processEvents();
            // Twenty-five steps arrived before the first was applied: one change.
            EXPECT_EQ(d->GetAppliedCount(), 1);
            EXPECT_EQ(shell->GetCompValue(0, 1), 0.125f);
            EXPECT_FALSE(SameBits(Column(shell, 0), fl1));
            cancel(d);
            // Restored by the cancelling itself, not later by the dialog's end.
            EXPECT_EQ(shell->GetEditMatrix(), nullptr);
            EXPECT_TRUE(SameBits(Column(shell, 0), fl1));
        });
        EXPECT_EQ(ui.Count(Kind::Dialog), 1);
        EXPECT_EQ(shell->GetCompValue(0, 1), 0.1f);
        EXPECT_EQ(shell->GetEditMatrix(), nullptr);
        EXPECT_TRUE(SameBits(Column(shell, 0), fl1));
        EXPECT_TRUE(SameBits(Column(shell, 1), fl2));
    }
}

TEST_F(CompDlgTest, TypedValuesAreCheckedAppliedOnEnterAndMoveTheirSpinner) {
    VexaDataShell* shell = MakeShell();
    CPLOT* plot = MakePlot(shell, 0, 1);
    Compensate(plot, [&](CCompDlg* d) {
        auto* edit = Control<QLineEdit>(d, kCompValueXY);
        auto* spin = Control<CSpinButton>(d, kCompSpinXY);
        for (const char* bad : {"150", "-0.1", "-1", "-1e308", "1e308", "99.95", "abc", ""}) {
            SCOPED_TRACE(bad);
            ui.Clear();
            dlgtest::Type(edit, bad);
            QCoreApplication::processEvents();
            EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
            EXPECT_EQ(edit->text(), "10.0 ");
            EXPECT_EQ(spin->GetPos(), 100);
            EXPECT_EQ(shell->GetCompValue(0, 1), 0.1f);
        }
        EXPECT_EQ(d->GetAppliedCount(), 0);
        // A tenth of a percent is the resolution.
        dlgtest::Type(edit, "7.26");
        EXPECT_EQ(edit->text(), "7.3 ");
        EXPECT_EQ(spin->GetPos(), 73);
        QCoreApplication::processEvents();
        EXPECT_EQ(shell->GetCompValue(0, 1), 0.073f);
        // The next step starts from the typed value, not the old position.
        dlgtest::Key(spin, Qt::Key_Down);
        EXPECT_EQ(edit->text(), "7.2 ");
        QCoreApplication::processEvents();
        // Typed, then the edit loses focus: applied as with Enter.
        edit->setText("8");
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(edit, &out);
        QCoreApplication::processEvents();
        EXPECT_EQ(spin->GetPos(), 80);
        EXPECT_EQ(shell->GetCompValue(0, 1), 0.08f);
        dlgtest::Keys(spin, Qt::Key_Down, 8);
        // Typed without Enter, then OK: checked and applied before storing.
        Control<QLineEdit>(d, kCompValueYX)->setText("99.9");
        Control<QPushButton>(d, kCompOk)->click();
        EXPECT_EQ(d->result(), QDialog::Accepted);
    });
    EXPECT_EQ(shell->GetEditMatrix(), nullptr);
    EXPECT_EQ(*shell->GetFileMatrix()->Element(0, 1), 0.072f);
    EXPECT_EQ(*shell->GetFileMatrix()->Element(1, 0), 0.999f);

    // A bad value typed before OK keeps the dialog open and stores nothing.
    Compensate(plot, [&](CCompDlg* d) {
        ui.Clear();
        Control<QLineEdit>(d, kCompValueYX)->setText("100");
        Control<QPushButton>(d, kCompOk)->click();
        EXPECT_NE(d->result(), QDialog::Accepted);
        EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
        EXPECT_NE(shell->GetEditMatrix(), nullptr);  // still editing
    });
    EXPECT_EQ(*shell->GetFileMatrix()->Element(1, 0), 0.999f);
    EXPECT_EQ(shell->GetEditMatrix(), nullptr);  // the dialog gave it up on leaving
}

TEST_F(CompDlgTest, StoredValuesOutsideTheSpinnerRangeStayUntilChanged) {
    // -2 % once disabled the dialog (anything below -0.5 was taken for "not
    // in the matrix"); 150 % is more than the edits accept.
    VexaDataShell* shell = MakeShell("-0.02", "1.5");
    CPLOT* plot = MakePlot(shell, 0, 1);
    Compensate(plot, [&](CCompDlg* d) {
        EXPECT_TRUE(d->IsEditable());
        EXPECT_EQ(Control<QLineEdit>(d, kCompValueXY)->text(), "-2.0 ");
        EXPECT_EQ(Control<QLineEdit>(d, kCompValueYX)->text(), "150.0 ");
        EXPECT_EQ(Control<CSpinButton>(d, kCompSpinXY)->GetPos(), 0);
        EXPECT_EQ(Control<CSpinButton>(d, kCompSpinYX)->GetPos(), 999);
        Control<QPushButton>(d, kCompOk)->click();
        EXPECT_EQ(d->result(), QDialog::Accepted);
    });
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    EXPECT_EQ(*shell->GetFileMatrix()->Element(0, 1), -0.02f);
    EXPECT_EQ(*shell->GetFileMatrix()->Element(1, 0), 1.5f);
}

TEST_F(CompDlgTest, ASingularValueGivesTheLastGoodOneBack) {
    // (FL2 -> FL1) = 4: at 25 % for (FL1 -> FL2) the matrix has no inverse.
    VexaDataShell* shell = MakeShell("0.2", "4");
    CPLOT* plot = MakePlot(shell, 0, 1);
    const std::vector<float> fl1 = Column(shell, 0);
    Compensate(plot, [&](CCompDlg* d) {
        auto* spin = Control<CSpinButton>(d, kCompSpinXY);
        dlgtest::Keys(spin, Qt::Key_Up, 40);
        QCoreApplication::processEvents();
        EXPECT_EQ(shell->GetCompValue(0, 1), 0.24f);
        dlgtest::Keys(spin, Qt::Key_Up, 10);
        QCoreApplication::processEvents();
        EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
        EXPECT_EQ(Control<QLineEdit>(d, kCompValueXY)->text(), "24.0 ");
        EXPECT_EQ(spin->GetPos(), 240);
        EXPECT_EQ(shell->GetCompValue(0, 1), 0.24f);
        Control<QPushButton>(d, kCompCancel)->click();
    });
    EXPECT_TRUE(SameBits(Column(shell, 0), fl1));
}

TEST_F(CompDlgTest, ParametersOutsideTheMatrixOrOnBothAxesCannotBeEdited) {
    VexaDataShell* shell = MakeShell();
    const std::vector<float> fl1 = Column(shell, 0);
    Compensate(MakePlot(shell, 0, 2), [&](CCompDlg* d) {
        EXPECT_FALSE(d->IsEditable());
        EXPECT_FALSE(Control<CSpinButton>(d, kCompSpinXY)->isEnabled());
        EXPECT_FALSE(Control<QLineEdit>(d, kCompValueYX)->isEnabled());
        EXPECT_TRUE(d->findChild<QLabel*>("note")->text().contains("FL3"));
        dlgtest::Key(Control<CSpinButton>(d, kCompSpinXY), Qt::Key_Up);
        QCoreApplication::processEvents();
        Control<QPushButton>(d, kCompOk)->click();
    });
    EXPECT_EQ(shell->GetEditMatrix(), nullptr);
    EXPECT_TRUE(SameBits(Column(shell, 0), fl1));

    // The same parameter on both axes: its own signal, no dialog.
    ui.Clear();
    Compensate(MakePlot(shell, 1, 1), [](CCompDlg*) { ADD_FAILURE() << "no dialog for the diagonal"; });
    EXPECT_EQ(ui.Count(Kind::Dialog), 0);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(shell->GetCompValue(1, 1), 1.0f);
    ui.Clear();  // the unused handler
}

TEST_F(CompDlgTest, SpinnerArrowsStopAtTheirBoundsAndTheWheelStepsPer120) {
    CSpinButton spin(Qt::Vertical);
    spin.SetRange(0, 999);
    int32_t stepped = 0;
    QObject::connect(&spin, &CSpinButton::positionStepped, [&](int32_t) { ++stepped; });
    auto* up = spin.findChild<QToolButton*>("up");
    auto* down = spin.findChild<QToolButton*>("down");
    spin.SetPos(999);
    EXPECT_FALSE(up->isEnabled());
    EXPECT_TRUE(down->isEnabled());
    dlgtest::Key(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.GetPos(), 999);
    spin.SetPos(0);
    EXPECT_TRUE(up->isEnabled());
    EXPECT_FALSE(down->isEnabled());
    dlgtest::Key(&spin, Qt::Key_Left);
    EXPECT_EQ(stepped, 0);
    // Small wheel deltas add up to one step.
    for (int i = 0; i < 4; ++i) {
        QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 30), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&spin, &e);
    }
    EXPECT_EQ(spin.GetPos(), 1);
    up->click();
    EXPECT_EQ(spin.GetPos(), 2);
    EXPECT_EQ(stepped, 2);
    spin.setEnabled(false);
    EXPECT_FALSE(up->isEnabled());
    dlgtest::Key(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.GetPos(), 2);
}

}  // namespace

namespace {

// Each row reads "<spilling into>-  value  <spilling>": the captions sit on
// either side of their own row's value.
TEST_F(CompDlgTest, EachRowShowsItsTwoParametersBesideItsValue) {
    VexaDataShell* shell = MakeShell();
    Compensate(MakePlot(shell, 0, 1), [&](CCompDlg* d) {
        auto* grid = d->findChild<QGridLayout*>();
        ASSERT_NE(grid, nullptr);
        auto text = [&](int r, int c) {
            QLayoutItem* item = grid->itemAtPosition(r, c);
            auto* edit = item ? qobject_cast<QLineEdit*>(item->widget()) : nullptr;
            return edit ? edit->text().toStdString() : std::string("(none)");
        };
        EXPECT_EQ(text(0, 0), "FL2-");
        EXPECT_EQ(text(0, 2), "FL1");
        EXPECT_EQ(text(1, 0), "FL1-");
        EXPECT_EQ(text(1, 2), "FL2");
        EXPECT_EQ(grid->itemAtPosition(0, 1)->widget(), Control<QLineEdit>(d, kCompValueXY));
        Control<QPushButton>(d, kCompCancel)->click();
    });
}

// A step still waiting to be applied when the dialog is cancelled must not
// reach the events afterwards.
TEST_F(CompDlgTest, AStepStillQueuedWhenTheDialogIsCancelledIsNeverApplied) {
    VexaDataShell* shell = MakeShell();
    const std::vector<float> fl1 = Column(shell, 0), fl2 = Column(shell, 1);
    Compensate(MakePlot(shell, 0, 1), [&](CCompDlg* d) {
        dlgtest::Keys(Control<CSpinButton>(d, kCompSpinXY), Qt::Key_Up, 5);
        Control<QPushButton>(d, kCompCancel)->click();
        QCoreApplication::processEvents();  // the queued apply runs now
        EXPECT_EQ(d->GetAppliedCount(), 0);
    });
    EXPECT_EQ(shell->GetCompValue(0, 1), 0.1f);
    EXPECT_EQ(shell->GetEditMatrix(), nullptr);
    EXPECT_TRUE(SameBits(Column(shell, 0), fl1));
    EXPECT_TRUE(SameBits(Column(shell, 1), fl2));
}

}  // namespace

namespace {

// A data set without SPILL is compensated with the identity: the dialog
// shows 0.0 and takes steps. Every step shows at once in the data set's
// grid cells and result table (no input in between), and OK marks the
// report only when a coefficient ends up changed.
TEST_F(CompDlgTest, WithoutSpillTheIdentityIsEditedAndGridsAndTablesFollowEachStep) {
    lmtest::FcsWriter w;
    w.Param("FL1", 32, "1024").Param("FL2", 32, "1024");
    for (int e = 0; e < 300; ++e) w.Event({double(e % 97) * 9.0, double(e % 89) * 11.0});
    VexaDataShell* shell = dlgtest::AttachShell(doc, w);
    auto* grid = static_cast<CGrid*>(doc.AddObject(std::make_unique<CGrid>(300, 10, &doc, 1, 1)));
    grid->SetCell(0, 0, std::make_unique<CStatCell>(grid, shell->GetGate(0)->GetStatItem(), kStatMean, 1, false));
    auto* table = static_cast<CTrkResult*>(doc.AddObject(std::make_unique<CTrkResult>(10, 300, shell, &doc)));
    ASSERT_TRUE(table->SetColumns({kStatMean}, {1}));
    // Row 2: the gate "All" below the "FileName" line and the titles.
    auto shown = [&] { return std::make_pair(grid->GetCell(0, 0)->GetText(), table->GetCellText(2, 1)); };
    const auto raw = shown();
    ASSERT_FALSE(raw.first.empty());
    CPLOT* plot = MakePlot(shell, 0, 1);
    const struct {
        int up, down;
        bool ok, marked;
        const char* stored;  // what the dialog shows when opened again
    } cases[] = {
        {25, 0, false, false, "0.0 "},  // Cancel
        {25, 25, true, false, "0.0 "},  // back where it was: nothing to keep
        {25, 0, true, true, "2.5 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.down);
        doc.SetModifiedFlag(false);
        Compensate(plot, [&](CCompDlg* d) {
            EXPECT_TRUE(d->IsEditable());
            EXPECT_EQ(Control<QLineEdit>(d, kCompValueXY)->text(), "0.0 ");
            EXPECT_FALSE(d->findChild<QLabel*>("note")->isVisibleTo(d));
            auto* spin = Control<CSpinButton>(d, kCompSpinXY);
            dlgtest::Keys(spin, Qt::Key_Up, c.up);
            QCoreApplication::processEvents();
            EXPECT_EQ(shell->GetCompValue(0, 1), 0.025f);
            EXPECT_NE(shown().first, raw.first);
            EXPECT_EQ(shown().second, shown().first);
            dlgtest::Keys(spin, Qt::Key_Down, c.down);
            QCoreApplication::processEvents();
            Control<QPushButton>(d, c.ok ? kCompOk : kCompCancel)->click();
        });
        EXPECT_EQ(doc.IsModified(), c.marked);
        EXPECT_EQ(shown().first == raw.first, !c.marked);
        Compensate(plot, [&](CCompDlg* d) {
            EXPECT_EQ(Control<QLineEdit>(d, kCompValueXY)->text(), c.stored);
            Control<QPushButton>(d, kCompCancel)->click();
        });
    }
}

}  // namespace
