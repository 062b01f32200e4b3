// The "Grid" and "Edit Cell" dialogs: what OK accepts and what keeps them open.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/CellStrDlg.h"
#include "dialogs/NewGridDlg.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

class GridDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { rtest::EnsureApp(); }
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
};

TEST_F(GridDialogsTest, GridSizesOutsideOneToHundredAreRefusedOnOK) {
    const struct {
        const char* rows;
        const char* cols;
        bool accepted;
    } cases[] = {{"1", "100", true}, {"0", "2", false}, {"1", "101", false}, {"x", "2", false}, {"3", "", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rows) + " x " + c.cols);
        ui.Clear();
        CNewGridDlg dlg;
        dlg.findChild<QLineEdit*>("rows")->setText(c.rows);
        dlg.findChild<QLineEdit*>("cols")->setText(c.cols);
        dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        EXPECT_EQ(dlg.result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(ui.Count(Kind::MessageBox), c.accepted ? 0 : 1);
    }
    // The view's maker passes the sizes of an accepted dialog on.
    ui.QueueDialog([](QDialog* d) {
        d->findChild<QLineEdit*>("rows")->setText("4");
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return d->result() == QDialog::Accepted ? lm::kDialogAccepted : lm::kDialogRejected;
    });
    int32_t rows = 0, cols = 0;
    EXPECT_TRUE(CNewGridDlg::Ask(nullptr, &rows, &cols));
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(cols, 2);
}

TEST_F(GridDialogsTest, EditCellFontAndClearKeepTheDialogOpen) {
    CCellStrDlg dlg;
    dlg.m_crText = 0x00FF00;
    LOGFONT chosen = dlg.m_font;
    chosen.lfWeight = 700;
    ui.QueueFont(chosen);
    dlg.findChild<QPushButton*>("font")->click();
    dlg.findChild<QPushButton*>("clear")->click();
    EXPECT_EQ(dlg.result(), int(QDialog::Rejected));
    EXPECT_TRUE(dlg.m_bClear);
    EXPECT_EQ(dlg.m_font.lfWeight, 700);
    EXPECT_EQ(ui.Count(Kind::Font), 1);
}

TEST_F(GridDialogsTest, AskGivesNoSizesWhenTheDialogIsCancelled) {
    int32_t rows = -7, cols = -7;
    EXPECT_FALSE(CNewGridDlg::Ask(nullptr, &rows, &cols));  // the stand-in rejects
    EXPECT_EQ(rows, -7);
    EXPECT_EQ(cols, -7);
    ui.QueueDialog([](QDialog* d) {
        d->findChild<QLineEdit*>("rows")->setText("3");
        d->findChild<QLineEdit*>("cols")->setText("4");
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return d->result();
    });
    EXPECT_TRUE(CNewGridDlg::Ask(nullptr, &rows, &cols));
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(cols, 4);
}

}  // namespace
