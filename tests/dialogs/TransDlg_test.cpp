// "Transform": what each parameter and mode shows, what Apply refuses and
// changes, and Auto Min/Max in the axis's own units.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <memory>

#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "dialogs/DataSetDlgIds.h"
#include "dialogs/TransDlg.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;
using dlgtest::Control;

class TransDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        lmtest::FcsWriter w;
        // FS: linear, 1 .. 100. FL1: log-amplified (4 decades over 1024
        // channels), channels 0 .. 99. The third has only a $PnS.
        w.Param("FS", 32, "1024").Param("FL1", 32, "1024", "4,1");
        w.Param(lmtest::FcsParamSpec{"", 32, "1024", "0,0", "CD3"});
        for (int e = 0; e < 100; ++e) w.Event({double(e + 1), double(99 - e), double(e * 10)});
        shell = dlgtest::AttachShell(doc, w);
        dlg = std::make_unique<CTransDlg>(shell);
        dlg->OnInitDialog();
    }
    QLineEdit* Edit(int32_t id) { return Control<QLineEdit>(dlg.get(), id); }
    QComboBox* Combo(int32_t id) { return Control<QComboBox>(dlg.get(), id); }
    // The user picks an entry of a combo with the keyboard.
    void Pick(int32_t id, int32_t index) {
        QComboBox* c = Combo(id);
        while (c->currentIndex() < index) dlgtest::Key(c, Qt::Key_Down);
        while (c->currentIndex() > index) dlgtest::Key(c, Qt::Key_Up);
    }
    void Apply() { Control<QPushButton>(dlg.get(), kTransApply)->click(); }
    // Auto Min or Max with the fraction text, gate `menuId` chosen.
    void Auto(bool max, const char* fraction, int32_t menuId) {
        Combo(max ? kTransAutoMaxFrac : kTransAutoMinFrac)->setCurrentText(fraction);
        ui.QueueMenuChoice(menuId);
        Control<QPushButton>(dlg.get(), max ? kTransAutoMax : kTransAutoMin)->click();
    }

    CLumitraDoc doc;
    VexaDataShell* shell = nullptr;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
    std::unique_ptr<CTransDlg> dlg;
};

TEST_F(TransDlgTest, EachParameterAndModeShowsItsValuesAndApplyOrOkChangesTheShell) {
    QComboBox* param = Combo(kTransParam);
    ASSERT_EQ(param->count(), 3);
    EXPECT_EQ(param->itemText(2), "CD3");  // no $PnN: its $PnS
    EXPECT_EQ(Combo(kTransAutoMinFrac)->currentText(), "0.1%");
    EXPECT_EQ(Combo(kTransMode)->currentText(), "Linear");
    EXPECT_EQ(Edit(kTransMax)->text(), "1024");
    EXPECT_FALSE(Control<QLabel>(dlg.get(), kTransDecadesLabel)->isVisibleTo(dlg.get()));

    Pick(kTransParam, 2);
    EXPECT_EQ(Combo(kTransMode)->currentText(), "Log");
    EXPECT_EQ(Edit(kTransMin)->text(), "0");
    EXPECT_EQ(Edit(kTransMax)->text(), "3.0103");  // log10(1024), shortest text that reads back

    // Log to "Logical" without a logical transform: $PnR, -10, 4.5.
    Pick(kTransMode, kTransModeLogical);
    EXPECT_TRUE(Control<QLabel>(dlg.get(), kTransDecadesLabel)->isVisibleTo(dlg.get()));
    EXPECT_EQ(Edit(kTransMax)->text(), "1024");
    EXPECT_EQ(Edit(kTransMin)->text(), "-10");
    EXPECT_EQ(Edit(kTransDecades)->text(), "4.5");
    EXPECT_EQ(shell->GetTrans(2)->GetType(), kTransLog);
    Control<QPushButton>(dlg.get(), kTransOk)->click();  // OK applies what it shows
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    const CTRANS* logical = shell->GetTrans(2);
    ASSERT_EQ(logical->GetType(), kTransLogical);
    EXPECT_EQ(logical->GetMax(), 1024.0f);
    // Shown again, the values read back: Apply without an edit changes nothing.
    Pick(kTransParam, 0);
    Pick(kTransParam, 2);
    EXPECT_EQ(Combo(kTransMode)->currentText(), "Logical");
    Apply();
    EXPECT_EQ(shell->GetTrans(2), logical);
    for (int32_t p : {0, 1}) {
        Pick(kTransParam, p);
        const CTRANS* t = shell->GetTrans(p);
        Apply();
        EXPECT_EQ(shell->GetTrans(p), t) << p;
    }
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
}

TEST_F(TransDlgTest, ApplyRefusesWhatTheTransformsRefuseAndSaysWhy) {
    const struct {
        int32_t mode;
        const char* min;
        const char* max;
        const char* decades;
        const char* says;
    } cases[] = {
        {kTransModeLinear, "5", "5", "", "below"},
        {kTransModeLinear, "0", "1e39", "", "1e39"},  // no float
        {kTransModeLinear, "x", "10", "", "Min"},
        {kTransModeLog, "-40", "2", "", "-38"},
        {kTransModeLogical, "-10", "-5", "4.5", "-5"},  // T below 0
        {kTransModeLogical, "-10", "1024", "0", "width"},
        {kTransModeLogical, "0.5", "1024", "4.5", "r"},  // |r| below 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.min) + " " + c.max);
        ui.Clear();
        Pick(kTransMode, c.mode);
        Edit(kTransMin)->setText(c.min);
        Edit(kTransMax)->setText(c.max);
        Edit(kTransDecades)->setText(c.decades);
        const CTRANS* before = shell->GetTrans(0);
        Apply();
        ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
        EXPECT_TRUE(ui.CallsOf(Kind::MessageBox)[0].text.contains(c.says)) << ui.CallsOf(Kind::MessageBox)[0].text.toStdString();
        EXPECT_EQ(shell->GetTrans(0), before);
    }
}

TEST_F(TransDlgTest, AutoMinAndMaxTakePercentilesOfTheChosenGateInTheAxissUnits) {
    shell->AddRegionGate(std::make_unique<CrRange>(0, 0, 0.9f, 0.95f), 0, "Empty");
    ASSERT_EQ(shell->GetGateCount(), 2);
    const struct {
        int32_t param;
        int32_t mode;
        bool max;
        const char* fraction;
        const char* expected;
    } cases[] = {
        {0, kTransModeLinear, true, "5%", "96"},    // rank floor(100 x 0.95) of 1 .. 100
        {0, kTransModeLinear, true, "10%", "91"},   // the text, not its place in the sorted list
        {0, kTransModeLinear, false, "0.1%", "1"},
        {0, kTransModeLinear, false, "1%", "2"},
        {0, kTransModeLog, true, "0", "2"},         // log10(100)
        {1, kTransModeLinear, true, "0", "99"},     // channels, not 10^(99 x 4 / 1024)
        {1, kTransModeLogical, false, "10%", "10"},
        {1, kTransModeLog, true, "5%", "1.9777236"},  // log10(95)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.param) + " " + c.fraction);
        ui.Clear();
        Pick(kTransParam, c.param);
        Pick(kTransMode, c.mode);
        Auto(c.max, c.fraction, 1);
        EXPECT_EQ(Edit(c.max ? kTransMax : kTransMin)->text().toStdString(), c.expected);
        EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    }
    const auto menus = ui.CallsOf(Kind::PopupMenu);
    ASSERT_FALSE(menus.empty());
    ASSERT_EQ(menus.back().menu.size(), 2u);
    EXPECT_EQ(menus.back().menu[0].id, 1);
    EXPECT_EQ(menus.back().menu[1].text, "Empty");

    // Nothing chosen, a gate without events, a channel 0 on a log axis: kept.
    Pick(kTransParam, 1);
    Pick(kTransMode, kTransModeLog);
    const QString min = Edit(kTransMin)->text();
    for (int32_t id : {0, 2, 1}) {
        ui.Clear();
        Auto(false, "0", id);
        EXPECT_EQ(ui.Count(Kind::MessageBox), id == 0 ? 0 : 1) << id;
        EXPECT_EQ(Edit(kTransMin)->text(), min) << id;
    }
}

TEST_F(TransDlgTest, LinearAndLogModesShowTheTransformsOwnRangeElseTheParametersRange) {
    shell->SetTrans(std::make_unique<CTRANS>(5.0f, 500.0f), 0);
    shell->SetTrans(std::make_unique<CLogTRANS>(-1.0f, 2.5f), 1);
    const struct {
        int32_t param;
        int32_t mode;
        const char* min;
        const char* max;
    } cases[] = {
        {0, kTransModeLinear, "5", "500"},
        {0, kTransModeLog, "0", "3.0103"},  // not a log transform: log10($PnR)
        {1, kTransModeLog, "-1", "2.5"},
        {1, kTransModeLinear, "0", "1024"},  // not linear: $PnR
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.param) + " " + std::to_string(c.mode));
        Pick(kTransParam, c.param == 0 ? 1 : 0);
        Pick(kTransParam, c.param);
        Pick(kTransMode, c.mode);
        EXPECT_EQ(Edit(kTransMin)->text(), c.min);
        EXPECT_EQ(Edit(kTransMax)->text(), c.max);
    }
    // An edited linear range is applied.
    Pick(kTransParam, 0);
    Edit(kTransMax)->setText("750.5");
    Apply();
    ASSERT_EQ(shell->GetTrans(0)->GetType(), kTransLinear);
    EXPECT_EQ(shell->GetTrans(0)->GetMin(), 5.0f);
    EXPECT_EQ(shell->GetTrans(0)->GetMax(), 750.5f);
}

}  // namespace
