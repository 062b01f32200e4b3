// The style and statistic dialogs nothing opens yet, constructed as an
// opener would: what they show from their members, their rules between
// boxes, what OK refuses and what it hands back.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "core/StatItem.h"
#include "dialogs/ColorCombo.h"
#include "dialogs/ParaTable.h"
#include "dialogs/PlotStyleDlg.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/StatMatrix.h"
#include "dialogs/StatParDlg.h"
#include "dialogs/StatPropPage.h"
#include "dialogs/TextEditorExt.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

void PressOk(QDialog* d) { d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click(); }
QCheckBox* Box(QWidget* d, int32_t id) { return dlgtest::Control<QCheckBox>(d, id); }

class StyleDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { rtest::EnsureApp(); }
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
};

TEST_F(StyleDialogsTest, TwoDStyleShowsItsFlagsKeepsAKindAndHandsBackWhatIsChecked) {
    using D = CDlg2DPlotStyle;
    const struct {
        uint8_t in;
        bool dot, multi, density, contour, multiEnabled;
        uint8_t out;  // after OK without a change
    } cases[] = {
        {0, true, false, false, false, true, D::kFlagDot},            // no kind: Dot
        {D::kFlagMultiColor, true, true, false, false, true, D::kFlagDot | D::kFlagMultiColor},
        {D::kFlagDensity | D::kFlagMultiColor, true, true, true, false, false, D::kFlagDot | D::kFlagDensity},
        {D::kFlagContour | D::kFlagDot, true, false, false, true, false, D::kFlagContour | D::kFlagDot},
        {D::kFlagDensity, false, false, true, false, false, D::kFlagDensity},
    };
    for (const auto& c : cases) {
        D dlg;
        dlg.m_nFlags = c.in;
        dlg.m_nEvents = 5000;
        dlg.InitDialog();
        EXPECT_EQ(Box(&dlg, D::kDot)->isChecked(), c.dot) << int(c.in);
        EXPECT_EQ(Box(&dlg, D::kMultiColor)->isChecked(), c.multi) << int(c.in);
        EXPECT_EQ(Box(&dlg, D::kDensity)->isChecked(), c.density) << int(c.in);
        EXPECT_EQ(Box(&dlg, D::kContour)->isChecked(), c.contour) << int(c.in);
        EXPECT_EQ(Box(&dlg, D::kMultiColor)->isEnabled(), c.multiEnabled) << int(c.in);
        PressOk(&dlg);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(int(dlg.m_nFlags), int(c.out)) << int(c.in);
        EXPECT_EQ(dlg.m_nEvents, 5000);
    }

    D dlg;
    dlg.m_nFlags = D::kFlagDensity;
    dlg.InitDialog();
    Box(&dlg, D::kDensity)->click();  // the last kind unchecked: Dot comes back
    EXPECT_TRUE(Box(&dlg, D::kDot)->isChecked());
    EXPECT_TRUE(Box(&dlg, D::kMultiColor)->isEnabled());
}

TEST_F(StyleDialogsTest, TwoDStyleRefusesEventCountsOutsideTheIntegers) {
    for (const char* text : {"2147483648", "-1", "abc", ""}) {
        CDlg2DPlotStyle dlg;
        dlg.m_nFlags = CDlg2DPlotStyle::kFlagDot;
        dlg.m_nEvents = 7;
        dlg.InitDialog();
        dlgtest::Control<QLineEdit>(&dlg, CDlg2DPlotStyle::kEvents)->setText(text);
        PressOk(&dlg);
        EXPECT_NE(dlg.result(), QDialog::Accepted) << text;
        EXPECT_EQ(dlg.m_nEvents, 7) << text;
    }
    EXPECT_EQ(ui.Count(Kind::MessageBox), 4);
    CDlg2DPlotStyle dlg;
    dlg.InitDialog();
    dlgtest::Control<QLineEdit>(&dlg, CDlg2DPlotStyle::kEvents)->setText("2147483647");
    PressOk(&dlg);
    EXPECT_EQ(dlg.m_nEvents, 2147483647);
}

TEST_F(StyleDialogsTest, OneDStyleKeepsFillOrLineOnAndReadsTheColoursAndThePeak) {
    using D = CDlg1DPlotStyle;
    D dlg;
    dlg.m_crLine = 0x123456;
    dlg.m_crFill = CColorCombo::kNone;
    dlg.m_bLine = true;
    dlg.m_nPeak = 300;
    dlg.m_nLineWidth = 2;
    dlg.InitDialog();
    EXPECT_TRUE(dlgtest::Control<QLineEdit>(&dlg, D::kPeak)->isEnabled());
    EXPECT_FALSE(dlgtest::Control<QWidget>(&dlg, D::kFillColor)->isEnabled());
    Box(&dlg, D::kLine)->click();  // line off: fill comes on
    EXPECT_TRUE(Box(&dlg, D::kFill)->isChecked());
    EXPECT_TRUE(dlgtest::Control<QWidget>(&dlg, D::kFillColor)->isEnabled());
    EXPECT_FALSE(dlgtest::Control<QWidget>(&dlg, D::kLineColor)->isEnabled());
    EXPECT_FALSE(dlgtest::Control<QWidget>(&dlg, D::kLineWidth)->isEnabled());
    Box(&dlg, D::kFill)->click();  // fill off: line comes back
    EXPECT_TRUE(Box(&dlg, D::kLine)->isChecked());
    EXPECT_TRUE(dlgtest::Control<QWidget>(&dlg, D::kLineWidth)->isEnabled());
    Box(&dlg, D::kFill)->click();

    auto* fill = dlgtest::Control<CColorCombo>(&dlg, D::kFillColor);
    fill->setCurrentIndex(3);
    dlgtest::Control<QLineEdit>(&dlg, D::kPeak)->setText("many");
    PressOk(&dlg);
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    Box(&dlg, D::kAutoScale)->click();  // the peak is no longer read
    EXPECT_FALSE(dlgtest::Control<QLineEdit>(&dlg, D::kPeak)->isEnabled());
    PressOk(&dlg);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_crLine, 0x123456u);
    EXPECT_EQ(dlg.m_crFill, 0x0000FFu);
    EXPECT_EQ(dlg.m_nPeak, 300);
    EXPECT_TRUE(dlg.m_bAutoScale && dlg.m_bFill && dlg.m_bLine);
    EXPECT_EQ(dlg.m_nLineWidth, 2);
}

TEST_F(StyleDialogsTest, ColorComboEntriesNoneAndMore) {
    CColorCombo combo;
    ASSERT_EQ(combo.count(), CColorCombo::kEntries);
    const struct {
        int index;
        COLORREF color;
    } cases[] = {{0, CColorCombo::kNone}, {1, CColorCombo::kNone}, {2, 0x000000}, {5, 0xFF0000}, {13, 0x808000}};
    for (const auto& c : cases) {
        combo.setCurrentIndex(c.index);
        EXPECT_EQ(combo.GetColor(), c.color) << c.index;
    }
    EXPECT_EQ(combo.itemText(1), "None");
    combo.SelectColor(0xABCDEF);
    combo.setCurrentIndex(0);
    EXPECT_EQ(combo.GetColor(), 0xABCDEFu);
    EXPECT_EQ(combo.itemText(0), "");
    ui.QueueColor(0x00FF7F);
    combo.setCurrentIndex(14);
    emit combo.activated(14);
    EXPECT_EQ(combo.itemText(14), "More");
    EXPECT_EQ(combo.GetColor(), 0x00FF7Fu);
    emit combo.activated(14);  // cancelled: the colour chosen before stays
    EXPECT_EQ(combo.GetColor(), 0x00FF7Fu);
}

TEST_F(StyleDialogsTest, ParameterDialogOkRewritesTheColumnsClearAndCancelDoNot) {
    CLumitraDoc doc;
    lmtest::FcsWriter w;
    w.DataType('F').Param("FL1-A", 32, "1024").Param("FL2-A", 32, "1024").Event({1, 2});
    VexaDataShell* shell = dlgtest::AttachShell(doc, w);
    auto* t = static_cast<CTrkResult*>(doc.AddObject(std::make_unique<CTrkResult>(10, 10, shell, &doc)));
    t->SetColumns({kStatMean, kStatCV}, {1, 0});
    {
        CStatParDlg dlg(t);
        EXPECT_TRUE(dlg.Page()->Matrix()->Box(1, 0)->isChecked());
        dlg.Page()->Matrix()->Box(0, 5)->click();
        dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    }
    EXPECT_EQ(t->GetCodes(), (std::vector<int32_t>{kStatMean, kStatCV}));
    CStatParDlg dlg(t);
    dlgtest::Control<QPushButton>(&dlg, kStatParClear)->click();
    EXPECT_FALSE(dlg.Page()->Matrix()->Box(1, 0)->isChecked());
    Box(&dlg, kStatPageEvent)->click();
    dlg.Page()->Matrix()->Box(0, 5)->click();
    PressOk(&dlg);
    EXPECT_EQ(t->GetCodes(), (std::vector<int32_t>{kStatEvents, kStatMin, kStatCV}));
    EXPECT_EQ(t->GetParams(), (std::vector<int32_t>{0, 0, 0}));
}

TEST_F(StyleDialogsTest, SummeryOutputsTheBuiltTextAndKeepsNoColours) {
    CLumitraDoc doc;
    lmtest::FcsWriter w;
    w.DataType('F').Param("FSC-A", 32, "1024").Param("CD3", 32, "1024").Param("CD4", 32, "1024").Event({1, 2, 3});
    dlgtest::AttachShell(doc, w);
    CTextEditorExt dlg(&doc);
    CParaTable* t = dlg.Table();
    ASSERT_EQ(t->GetCols(), 2);
    EXPECT_TRUE(t->GetStrings().empty());
    ui.QueueDialog([](QDialog* d) {
        for (const char* s : {"high", "low"}) {
            dlgtest::Control<QLineEdit>(d, kEditStrEdit)->setText(s);
            dlgtest::Control<QPushButton>(d, kEditStrAdd)->click();
        }
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return d->result();
    });
    dlgtest::Control<QPushButton>(&dlg, kParaEditString)->click();
    EXPECT_EQ(t->GetStrings(), (std::vector<std::string>{"high", "low"}));
    t->SetCell(0, 0, 1);
    t->SetCell(0, 1, 1);
    dlg.Output()->setPlainText("old");
    ui.QueueMenuChoice(CTextEditorExt::kOutToTextBox);
    dlgtest::Control<QPushButton>(&dlg, 1195)->click();
    EXPECT_EQ(dlg.Output()->toPlainText(), "CD3、CD4low；");
    ui.QueueMenuChoice(CTextEditorExt::kOutToClipboard);
    dlgtest::Control<QPushButton>(&dlg, 1195)->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "CD3、CD4low；");
    dlgtest::Control<QPushButton>(&dlg, 1195)->click();  // dismissed: nothing
    EXPECT_EQ(dlg.Output()->toPlainText(), "CD3、CD4low；");
}

TEST_F(StyleDialogsTest, TheSheetOpensOnItsFirstPage) {
    CPlotStyleSheet sheet(QStringLiteral("Style"), nullptr, 1);
    EXPECT_EQ(sheet.AddPage(new QWidget, "A"), 0);
    EXPECT_EQ(sheet.AddPage(new QWidget, "B"), 1);
    EXPECT_EQ(sheet.Tabs()->currentIndex(), 1);
    EXPECT_EQ(sheet.windowTitle(), "Style");
}

}  // namespace
