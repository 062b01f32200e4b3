// The "Stat" and "Head" pages bound to result tables, and the export dialog
// that carries both: boxes set from a table, Apply's order, columns and
// keywords the pages cannot show, tables that go while bound, repaints.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPaintEvent>
#include <QPushButton>

#include "core/StatItem.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/RltExportDlg.h"
#include "dialogs/RltHeadDlg.h"
#include "dialogs/StatMatrix.h"
#include "dialogs/StatPropPage.h"
#include "dialogs/TabCtrlWithDisable.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using Columns = std::vector<std::pair<int32_t, int32_t>>;  // (code, parameter)

// A data set of the named parameters ($PnN, $PnS) with a few events.
lmtest::FcsWriter Writer(const std::vector<std::pair<std::string, std::string>>& params) {
    lmtest::FcsWriter w;
    w.DataType('F');
    for (const auto& [name, shortName] : params) w.Param(name, 32, "1024", "0,0", shortName);
    for (int i = 0; i < 4; ++i) w.Event(std::vector<double>(params.size(), 10.0 * (i + 1)));
    return w;
}

Columns ColumnsOf(const CTrkResult& t) {
    Columns c;
    for (size_t i = 0; i < t.GetCodes().size(); ++i) c.emplace_back(t.GetCodes()[i], t.GetParams()[i]);
    return c;
}

QCheckBox* Box(QWidget* page, int32_t id) { return dlgtest::Control<QCheckBox>(page, id); }
void Click(QWidget* page, int32_t id) { dlgtest::Control<QAbstractButton>(page, id)->click(); }

class ResultSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { rtest::EnsureApp(); }
    CTrkResult* AddTable(VexaDataShell* shell, const Columns& columns) {
        auto* t = static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(10, 10, shell, doc.get())));
        std::vector<int32_t> codes, params;
        for (const auto& [c, p] : columns) {
            codes.push_back(c);
            params.push_back(p);
        }
        t->SetColumns(codes, params);
        return t;
    }

    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    std::unique_ptr<CLumitraDoc> doc = std::make_unique<CLumitraDoc>();
    VexaDataShell* shell =
        dlgtest::AttachShell(*doc, Writer({{"FSC-A", ""}, {"SSC-A", ""}, {"FL1-A", "CD3"}, {"FL2-A", "CD4"}}));
};

TEST_F(ResultSettingsTest, ANewTableShowsOnlyPercentAndTheMatrixHasARowPerParameter) {
    CTrkResult* t = static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(10, 10, shell, doc.get())));
    CStatPropPage page;
    page.SetResult(t);
    EXPECT_TRUE(Box(&page, kStatPagePercent)->isChecked());
    EXPECT_FALSE(Box(&page, kStatPageEvent)->isChecked());
    EXPECT_FALSE(Box(&page, kStatPageParentPre)->isChecked());
    // The boxes read as the columns they add are headed in the table.
    EXPECT_EQ(Box(&page, kStatPageParentPre)->text().toStdString(), CStatItem::GetStatName(kStatParentPercent));
    EXPECT_EQ(Box(&page, kStatPagePercent)->text().toStdString(), CStatItem::GetStatName(kStatPercent));
    ASSERT_EQ(page.Matrix()->GetParamCount(), 4);
    EXPECT_EQ(page.findChildren<QCheckBox*>(QRegularExpression("^stat_")).size(), 24);
    for (int32_t p = 0; p < 4; ++p)
        for (int32_t k = 0; k < CStatMatrix::kColumns; ++k) EXPECT_FALSE(page.Matrix()->Box(p, k)->isChecked());
    // Caption, the matrix's caption row and 4 rows (fewer than it scrolls
    // past), the buttons below.
    EXPECT_EQ(page.GetSize(), QSize(305, 25 + 21 * 5 + 34));
    for (const auto& [p, k] : std::vector<std::pair<int, int>>{{-1, 0}, {4, 0}, {0, -1}, {0, 6}})
        EXPECT_EQ(page.Matrix()->Box(p, k), nullptr) << p << "," << k;
    EXPECT_FALSE(page.Matrix()->HasBox(kStatMean, 4));
    EXPECT_FALSE(page.Matrix()->HasBox(kStatParentPercent, 0));
    EXPECT_TRUE(page.Matrix()->HasBox(kStatMin, 3));
}

TEST_F(ResultSettingsTest, ApplyWritesPercentEventsParentThenTheMatrixRowByRowAndKeepsWhatItCannotShow) {
    CTrkResult* t = AddTable(shell, {{kStatMax, 3},
                                     {kStatCV, 1},     // code 9: not on the page
                                     {kStatMean, 1},
                                     {kStatEvents, 0},
                                     {kStatMin, 7}});  // a parameter past the data set
    CStatPropPage page;
    page.SetResult(t);
    EXPECT_TRUE(Box(&page, kStatPageEvent)->isChecked());
    EXPECT_FALSE(Box(&page, kStatPagePercent)->isChecked());
    EXPECT_TRUE(page.Matrix()->Box(1, 0)->isChecked());
    EXPECT_TRUE(page.Matrix()->Box(3, 4)->isChecked());

    Click(&page, kStatPagePercent);
    page.Matrix()->Box(2, 0)->click();  // Mean of parameter 2
    page.Matrix()->Box(1, 0)->click();  // Mean of parameter 1 off
    Click(&page, kStatPageApply);
    EXPECT_EQ(ColumnsOf(*t), (Columns{{kStatPercent, 0},
                                      {kStatEvents, 0},
                                      {kStatMean, 2},
                                      {kStatMax, 3},
                                      {kStatCV, 1},
                                      {kStatMin, 7}}));
    // A second Apply without an edit changes nothing.
    page.SetResult(t);
    Click(&page, kStatPageApply);
    EXPECT_EQ(ColumnsOf(*t).size(), 6u);
    EXPECT_EQ(ColumnsOf(*t)[4], std::make_pair(int32_t(kStatCV), 1));
}

TEST_F(ResultSettingsTest, MoreColumnsThanATableHoldsAreRefusedWithAMessage) {
    std::vector<std::pair<std::string, std::string>> params;
    for (int i = 0; i < 171; ++i) params.emplace_back("P" + std::to_string(i), "");
    VexaDataShell* wide = dlgtest::AttachShell(*doc, Writer(params), "W");
    CTrkResult* t = AddTable(wide, {{kStatPercent, 0}});
    CStatPropPage page;
    page.SetResult(t);
    for (int32_t p = 0; p < 170; ++p)
        for (int32_t k = 0; k < CStatMatrix::kColumns; ++k) page.Matrix()->Box(p, k)->setChecked(true);
    Click(&page, kStatPageApply);  // 1 + 170 x 6 = 1021 columns: they fit
    EXPECT_EQ(t->GetCodes().size(), 1021u);
    EXPECT_EQ(ui.Count(lm::ScriptedUiServices::Kind::MessageBox), 0);
    for (int32_t k = 0; k < 4; ++k) page.Matrix()->Box(170, k)->setChecked(true);
    Click(&page, kStatPageApply);  // 1025: one too many
    EXPECT_EQ(ui.Count(lm::ScriptedUiServices::Kind::MessageBox), 1);
    EXPECT_EQ(t->GetCodes().size(), 1021u);
}

TEST_F(ResultSettingsTest, CancelSetsTheBoxesFromTheTableAgain) {
    CTrkResult* t = AddTable(shell, {{kStatParentPercent, 0}, {kStatSD, 2}});
    CStatPropPage page;
    page.SetResult(t);
    Click(&page, kStatPageParentPre);
    Click(&page, kStatPageEvent);
    page.Matrix()->Box(2, 3)->click();
    page.Matrix()->Box(0, 0)->click();
    Click(&page, kStatPageCancel);
    EXPECT_TRUE(Box(&page, kStatPageParentPre)->isChecked());
    EXPECT_FALSE(Box(&page, kStatPageEvent)->isChecked());
    EXPECT_TRUE(page.Matrix()->Box(2, 3)->isChecked());
    EXPECT_FALSE(page.Matrix()->Box(0, 0)->isChecked());
    EXPECT_EQ(ColumnsOf(*t), (Columns{{kStatParentPercent, 0}, {kStatSD, 2}}));
}

TEST_F(ResultSettingsTest, PagesLetGoOfATableThatIsDeletedOrWhoseDocumentCloses) {
    CTrkResult* t = AddTable(shell, {{kStatPercent, 0}});
    CStatPropPage stat;
    CRltHeadDlg head;
    stat.SetResult(t);
    head.SetResult(t);
    doc->RemoveObject(t, false);
    EXPECT_EQ(stat.GetResult(), nullptr);
    EXPECT_EQ(head.GetResult(), nullptr);
    EXPECT_EQ(stat.Matrix()->GetParamCount(), 0);
    Click(&stat, kStatPageApply);  // bound to nothing: changes nothing
    Click(&head, kHeadApply);

    CTrkResult* second = AddTable(shell, {{kStatPercent, 0}});
    stat.SetResult(second);
    head.SetResult(second);
    doc.reset();
    EXPECT_EQ(stat.GetResult(), nullptr);
    EXPECT_EQ(head.GetResult(), nullptr);
    Click(&stat, kStatPageCancel);
    Click(&head, kHeadApply);
}

TEST_F(ResultSettingsTest, APageRebindingOrDestroyedLeavesTheTableWithoutIt) {
    CTrkResult* a = AddTable(shell, {{kStatPercent, 0}});
    CTrkResult* b = AddTable(shell, {{kStatEvents, 0}});
    {
        CStatPropPage page;
        page.SetResult(a);
        page.SetResult(b);
        CRltHeadDlg head;
        head.SetResult(a);
    }
    // Tables told of pages that are gone would write into freed memory.
    doc->RemoveObject(a, false);
    doc->RemoveObject(b, false);
}

TEST_F(ResultSettingsTest, HeadBoxesFollowTheirOwnKeywordsWhateverTheOrderAndCase) {
    CTrkResult* t = AddTable(shell, {{kStatPercent, 0}});
    t->Keywords() = {"$date", "FileName", "$CYT"};
    CRltHeadDlg head;
    head.SetResult(t);
    const struct {
        int32_t id;
        bool checked;
    } boxes[] = {{kHeadCurrentFileName, true}, {kHeadOriginalFileName, false}, {kHeadPatientId, false},
                 {kHeadSampleId, false},       {kHeadDate, true}};
    for (const auto& b : boxes) EXPECT_EQ(Box(&head, b.id)->isChecked(), b.checked) << b.id;
    Click(&head, kHeadApply);
    // The boxes' order, then the keyword no box stands for.
    EXPECT_EQ(t->Keywords(), (std::vector<std::string>{"FileName", "$DATE", "$CYT"}));
    Click(&head, kHeadSampleId);
    Click(&head, kHeadCurrentFileName);
    Click(&head, kHeadApply);
    EXPECT_EQ(t->Keywords(), (std::vector<std::string>{"$SAMPLE ID", "$DATE", "$CYT"}));
    auto* list = dlgtest::Control<QListWidget>(&head, kHeadList);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "$SAMPLE ID");
    EXPECT_FALSE(list->isEnabled());
    // Cancel goes back to the table's keywords.
    Click(&head, kHeadPatientId);
    Click(&head, kHeadCancel);
    EXPECT_FALSE(Box(&head, kHeadPatientId)->isChecked());
    EXPECT_EQ(t->Keywords().size(), 3u);
}

// The view's paint events, by region.
class PaintSpy : public QObject {
public:
    QRegion painted;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

class ResultSettingsViewTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(900, 600); }
};

TEST_F(ResultSettingsViewTest, BothAppliesRepaintWhereTheTableWasAsWellAsWhereItIs) {
    VexaDataShell* s = dlgtest::AttachShell(*doc, Writer({{"FL1-A", ""}, {"FL2-A", ""}}));
    auto* t = static_cast<CTrkResult*>(doc->AddObject(std::make_unique<CTrkResult>(20, 20, s, doc.get())));
    t->Keywords() = {"FileName", "$DATE", "$FIL"};
    t->RebuildAndRedraw();
    QCoreApplication::processEvents();
    const CRect narrow = t->GetRect();

    PaintSpy spy;
    view->viewport()->installEventFilter(&spy);
    CStatPropPage page;
    page.SetResult(t);
    for (int32_t k = 0; k < 4; ++k) page.Matrix()->Box(0, k)->click();
    Click(&page, kStatPageApply);
    QCoreApplication::processEvents();
    ASSERT_GT(t->GetRect().right, narrow.right) << "the table did not widen";
    ASSERT_LT(view->LogicalToClient(CPoint(t->GetRect().right, 0)).x(), view->viewport()->width()) << t->GetRect().right;
    EXPECT_TRUE(spy.painted.contains(view->LogicalToClient(CPoint(t->GetRect().right - 2, narrow.top + 2))));

    const CRect tall = t->GetRect();
    spy.painted = QRegion();
    CRltHeadDlg head;
    head.SetResult(t);
    Click(&head, kHeadCurrentFileName);
    Click(&head, kHeadDate);
    Click(&head, kHeadOriginalFileName);
    Click(&head, kHeadApply);
    QCoreApplication::processEvents();
    ASSERT_LT(t->GetRect().bottom, tall.bottom) << "the table did not shorten";
    EXPECT_TRUE(spy.painted.contains(view->LogicalToClient(CPoint(tall.left + 2, tall.bottom - 2))));
    view->viewport()->removeEventFilter(&spy);
}

// ================================================================ export

class RltExportTest : public ResultSettingsTest {
protected:
    VexaDataShell* second = dlgtest::AttachShell(*doc, Writer({{"FL2-A", ""}, {"FL1-A", ""}}), "T");
    VexaDataShell* third = dlgtest::AttachShell(*doc, Writer({{"FSC-A", ""}, {"SSC-A", ""}, {"FL1-A", "CD3"},
                                                              {"FL2-A", "CD4"}, {"FL3-A", ""}}), "U");
};

TEST_F(RltExportTest, ChoosingAnotherDataSetRelaysTheMatrixAndClearsTheStatChoicesOnly) {
    CRltExportDlg dlg({shell, second});
    auto* combo = dlgtest::Control<QComboBox>(&dlg, kExportDataSets);
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1).toStdString(), second->GetFileName());
    auto* tabs = dlgtest::Control<CTabCtrlWithDisable>(&dlg, kExportTabs);
    EXPECT_EQ(tabs->tabText(0), "Head");
    EXPECT_TRUE(tabs->IsTabEnabled(0) && tabs->IsTabEnabled(1));
    CStatPropPage* stat = dlg.StatPage();
    EXPECT_EQ(stat->Matrix()->GetParamCount(), 4);
    EXPECT_FALSE(dlgtest::Control<QPushButton>(stat, kStatPageApply)->isVisibleTo(stat));
    Click(stat, kStatPageEvent);
    stat->Matrix()->Box(3, 1)->click();
    Click(dlg.HeadPage(), kHeadDate);
    const int tallHeight = dlg.height();

    EXPECT_FALSE(dlgtest::Control<QPushButton>(dlg.HeadPage(), kHeadApply)->isVisibleTo(dlg.HeadPage()));
    Click(dlg.HeadPage(), kHeadCancel);  // the page stays where it is
    EXPECT_FALSE(dlg.HeadPage()->isHidden());
    combo->setCurrentIndex(1);
    EXPECT_EQ(stat->Matrix()->GetParamCount(), 2);
    EXPECT_LT(dlg.height(), tallHeight);
    EXPECT_TRUE(Box(stat, kStatPagePercent)->isChecked());
    EXPECT_FALSE(Box(stat, kStatPageEvent)->isChecked());
    EXPECT_TRUE(Box(dlg.HeadPage(), kHeadDate)->isChecked());
    Click(&dlg, kExportOk);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_keywords, (std::vector<std::string>{"FileName", "$DATE"}));
    EXPECT_EQ(dlg.m_codes, (std::vector<int32_t>{kStatPercent}));
    EXPECT_EQ(dlg.m_params, (std::vector<int32_t>{0}));
    EXPECT_EQ(ui.Count(lm::ScriptedUiServices::Kind::MessageBox), 0);
}

TEST_F(RltExportTest, DataSetsWithAnotherParameterAtAChosenPlaceAreNamedInAQuestion) {
    CRltExportDlg dlg({shell, second, third});
    CStatPropPage* stat = dlg.StatPage();
    stat->Matrix()->Box(2, 0)->click();  // Mean of FL1-A, third in the first and the last data set
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    Click(&dlg, kExportOk);
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(ui.Count(lm::ScriptedUiServices::Kind::MessageBox), 1);
    const QString asked = ui.Calls().back().text;
    EXPECT_TRUE(asked.contains(QString::fromStdString(second->GetFileName()))) << asked.toStdString();
    EXPECT_FALSE(asked.contains(QString::fromStdString(third->GetFileName()))) << asked.toStdString();

    // Chosen on the second data set: the titles still come from the first,
    // and it is the second's values that would stand under them.
    auto* combo = dlgtest::Control<QComboBox>(&dlg, kExportDataSets);
    combo->setCurrentIndex(1);
    Click(stat, kStatPagePercent);
    stat->Matrix()->Box(0, 5)->click();  // Min of FL2-A: parameter 1 in the others
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    Click(&dlg, kExportOk);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_codes, (std::vector<int32_t>{kStatMin}));
    EXPECT_EQ(dlg.m_params, (std::vector<int32_t>{0}));
    const QString second_ = ui.Calls().back().text;
    const QStringList named = second_.section(QStringLiteral(":\n"), 1).section(QStringLiteral("\n\n"), 0, 0).split('\n');
    EXPECT_EQ(named, QStringList{QString::fromStdString(second->GetFileName())}) << second_.toStdString();
    EXPECT_TRUE(second_.contains(QStringLiteral("\"%1\"").arg(QString::fromStdString(shell->GetFileName()))));
}

TEST_F(RltExportTest, OkWithoutDataSetsOrWithNothingChosenSaysSoAndStaysOpen) {
    CRltExportDlg none({});
    Click(&none, kExportOk);
    EXPECT_NE(none.result(), QDialog::Accepted);
    EXPECT_EQ(none.StatPage()->Matrix()->GetParamCount(), 0);

    CRltExportDlg dlg({shell});
    Click(dlg.StatPage(), kStatPagePercent);
    Click(dlg.HeadPage(), kHeadCurrentFileName);
    Click(&dlg, kExportOk);
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    const auto boxes = ui.CallsOf(lm::ScriptedUiServices::Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].text.contains("no data set"));
    EXPECT_TRUE(boxes[1].text.contains("choose"));
    // One keyword alone is something to export.
    Click(dlg.HeadPage(), kHeadPatientId);
    Click(&dlg, kExportOk);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_keywords, std::vector<std::string>{"$PATIENT ID"});
    EXPECT_TRUE(dlg.m_codes.empty());
}

TEST(TabCtrlWithDisableTest, DisabledTabsAreSkippedAndNeverShown) {
    rtest::EnsureApp();
    CTabCtrlWithDisable tabs;
    for (int i = 0; i < CTabCtrlWithDisable::kMaxPages; ++i)
        ASSERT_TRUE(tabs.AddPage(new QWidget, QString::number(i)));
    QWidget extra;
    EXPECT_FALSE(tabs.AddPage(&extra, "17th"));
    EXPECT_EQ(tabs.count(), 16);
    EXPECT_EQ(tabs.NextEnabledTab(0, true), -1);  // new tabs start disabled
    for (int i : {0, 3, 9}) tabs.EnableTab(i, true);
    EXPECT_EQ(tabs.ShowPage(5), -1);
    EXPECT_EQ(tabs.ShowPage(16), -1);
    EXPECT_EQ(tabs.ShowPage(3), 0);
    EXPECT_EQ(tabs.currentIndex(), 3);
    EXPECT_EQ(tabs.NextEnabledTab(3, false), 9);
    EXPECT_EQ(tabs.NextEnabledTab(9, false), -1);
    EXPECT_EQ(tabs.NextEnabledTab(9, true), 0);
    EXPECT_EQ(tabs.PrevEnabledTab(0, false), -1);
    EXPECT_EQ(tabs.PrevEnabledTab(0, true), 9);
    tabs.EnableTab(3, false);
    EXPECT_FALSE(tabs.IsTabEnabled(3));
    EXPECT_EQ(tabs.PrevEnabledTab(9, false), 0);
}

}  // namespace
