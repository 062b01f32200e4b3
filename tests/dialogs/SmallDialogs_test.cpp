// "Set Page Num" through the page menu and "Plot Option" through Edit >
// "Options...": what they open with, what OK refuses and what they change.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/NewGridDlg.h"
#include "dialogs/OptionDlg.h"
#include "dialogs/SetPageNumDlg.h"
#include "report/plot/PlotDefaults.h"
#include "report/plot/PlotIds.h"
#include "tests/report/ViewEvents.h"
#include "tests/report/ViewTestUtil.h"
#include "tests/support/FcsWriter.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

void PressOk(QDialog* dialog) { dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click(); }

class PageNumTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(600, 400); }
    // The page menu's "Set Page Num" with the two texts typed and OK pressed;
    // what the dialog showed first comes back in *shown.
    void SetPages(const char* across, const char* down, QString* shown = nullptr) {
        ui.QueueMenuChoice(kPageCmdSetPageNum);
        ui.QueueDialog([=](QDialog* dialog) {
            auto* a = dialog->findChild<QLineEdit*>("pagesAcross");
            auto* d = dialog->findChild<QLineEdit*>("pagesDown");
            if (shown) *shown = a->text() + " x " + d->text();
            a->setText(across);
            d->setText(down);
            PressOk(dialog);
            return dialog->result();
        });
        d->RightClick(CPoint(20, 20));
    }
};

TEST_F(PageNumTest, OpensWithTheCountsAndRefusesWhatTheDocumentCannotHoldOrWouldCutOff) {
    doc->SetPageCount(3, 4);
    doc->SetModifiedFlag(false);
    QString shown;
    SetPages("2", "99", &shown);
    EXPECT_EQ(shown, "3 x 4");
    EXPECT_EQ(doc->GetPagesAcross(), 2);
    EXPECT_EQ(doc->GetPagesDown(), 99);
    EXPECT_TRUE(doc->IsModified());

    // An object on the second page across and the third down.
    vtest::AddFill(*doc, CRect(1100, 3000, 1200, 3100), vtest::kBlue);
    const struct {
        const char* across;
        const char* down;
    } refused[] = {
        {"0", "5"},    // no pages
        {"2", "100"},  // more than the dialog offers
        {"21", "5"},   // more than the document keeps
        {"1", "5"},    // the object would be cut off on the right
        {"2", "2"},    // ... and at the bottom
        {"two", "5"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(std::string(r.across) + " x " + r.down);
        ui.Clear();
        SetPages(r.across, r.down);
        EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
        EXPECT_EQ(doc->GetPagesAcross(), 2);
        EXPECT_EQ(doc->GetPagesDown(), 99);
    }
    SetPages("20", "3");
    EXPECT_EQ(doc->GetPagesAcross(), 20);
    EXPECT_EQ(doc->GetPagesDown(), 3);
}

class PlotOptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        plottest::ResetPlotDefaults();
    }
    void TearDown() override { plottest::ResetPlotDefaults(); }
    // Runs the dialog; the handler picks an entry (-1: none) and presses OK.
    bool Choose(int32_t entry, int32_t* openedOn = nullptr) {
        ui.QueueDialog([=](QDialog* dialog) {
            auto* combo = dialog->findChild<QComboBox*>("labelStyle");
            if (openedOn) *openedOn = combo->currentIndex();
            if (entry != -2) combo->setCurrentIndex(entry);
            PressOk(dialog);
            return dialog->result();
        });
        return COptionDlg::Run(nullptr);
    }
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
};

TEST_F(PlotOptionTest, EachEntryGivesTheKeywordItNamesAndTheDialogOpensOnTheCurrentOne) {
    lmtest::FcsWriter w;
    w.Param("FL1-H", 32, "1024", "0,0", "CD4").Param("FL2-H", 32, "1024", "0,0", "CD8");
    w.Event({1, 2});
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(
        std::make_unique<VexaDataShell>(lmtest::LoadFcsBytes(w.Build(), 0, "names.fcs").release(), "S"));
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetGate(0), &doc, 0, 1);

    const struct {
        int32_t entry;
        const char* label;
    } entries[] = {{0, "CD4"}, {1, "FL1-H"}, {2, "FL1-H CD4"}};  // "PnS", "PnN", "PnS+PnN"
    for (const auto& e : entries) {
        SCOPED_TRACE(e.entry);
        Choose(e.entry);
        EXPECT_EQ(plot.GetXAxisTitle(GetPlotDefaults().UsedLabelMode()), e.label);
        int32_t openedOn = -1;
        EXPECT_FALSE(Choose(-2, &openedOn));  // OK on what it opened with changes nothing
        EXPECT_EQ(openedOn, e.entry);
    }
    // No entry chosen, or a value the ini file holds outside 1..3: kept.
    GetPlotDefaults().label = 7;
    EXPECT_FALSE(Choose(-1));
    EXPECT_FALSE(Choose(-2));
    EXPECT_EQ(GetPlotDefaults().label, 7);
    EXPECT_TRUE(Choose(1));
    EXPECT_EQ(GetPlotDefaults().label, kLabelName);
}

TEST(PlotOptionEntries, ModesAndEntriesTranslateBothWaysAndUnknownsGiveNone) {
    const struct {
        int32_t index;
        int32_t mode;
    } pairs[] = {{0, kLabelShortName}, {1, kLabelName}, {2, kLabelBoth}};
    for (const auto& p : pairs) {
        EXPECT_EQ(COptionDlg::LabelModeOfIndex(p.index), p.mode);
        EXPECT_EQ(COptionDlg::IndexOfLabelMode(p.mode), p.index);
    }
    for (int32_t odd : {-1, 0, 4, 7}) EXPECT_EQ(COptionDlg::IndexOfLabelMode(odd), -1) << odd;
    for (int32_t odd : {-1, 3}) EXPECT_EQ(COptionDlg::LabelModeOfIndex(odd), 0) << odd;
}

}  // namespace

TEST_F(PlotOptionTest, DialogCaptionsAreSpeltRight) {
    // What the dialog's labels show, gathered when it opens.
    auto labelsOf = [&](auto run) {
        QStringList texts;
        ui.QueueDialog([&texts](QDialog* dialog) {
            for (QLabel* l : dialog->findChildren<QLabel*>()) texts << l->text();
            dialog->reject();
            return dialog->result();
        });
        run();
        return texts;
    };
    const QStringList grid = labelsOf([] {
        int32_t rows = 0, cols = 0;
        CNewGridDlg::Ask(nullptr, &rows, &cols);
    });
    EXPECT_TRUE(grid.contains("Column")) << grid.join('|').toStdString();
    const QStringList option = labelsOf([] { COptionDlg::Run(nullptr); });
    EXPECT_TRUE(option.contains("Label style")) << option.join('|').toStdString();
    for (const QString& t : grid + option) EXPECT_FALSE(t.contains("Colom") || t.contains("Lable")) << t.toStdString();
}
