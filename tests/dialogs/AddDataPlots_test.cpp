// "Add Data Plots": the kind boxes keep a valid combination, OK refuses too
// few parameters and impossible event counts, the percent combo sets the
// events.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "core/Region.h"
#include "dialogs/AddDataPlots.h"
#include "dialogs/DataSetDlgIds.h"
#include "report/plot/PlotIds.h"
#include "tests/dialogs/DialogTestUtil.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;
using dlgtest::Control;

class AddDataPlotsTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        lmtest::FcsWriter w;
        w.Param("FS", 32, "1024").Param("SS", 32, "1024").Param("FL1", 32, "1024").Param("FL2", 32, "1024");
        for (int e = 0; e < 1999; ++e) w.Event({double(e % 1000), 1.0, 2.0, 3.0});
        shell = dlgtest::AttachShell(doc, w);
        Fresh();
    }
    void Fresh() {
        dlg = std::make_unique<CAddDataPlots>(shell);
        dlg->OnInitDialog();
    }
    QCheckBox* Box(int32_t id) { return Control<QCheckBox>(dlg.get(), id); }
    // Dot, Hist, Contour, Density as "1" (checked) and "0".
    std::string Kinds() {
        std::string s;
        for (int32_t id : {kAddPlotsDot, kAddPlotsHist, kAddPlotsContour, kAddPlotsDensity})
            s += Box(id)->isChecked() ? '1' : '0';
        return s;
    }
    void CheckRows(std::initializer_list<int> rows) {
        auto* list = Control<QTreeWidget>(dlg.get(), kAddPlotsParams);
        for (int r : rows) list->topLevelItem(r)->setCheckState(0, Qt::Checked);
    }
    bool PressOk() {
        Control<QPushButton>(dlg.get(), kAddPlotsOk)->click();
        return dlg->result() == QDialog::Accepted;
    }

    CLumitraDoc doc;
    VexaDataShell* shell = nullptr;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
    std::unique_ptr<CAddDataPlots> dlg;
};

TEST_F(AddDataPlotsTest, KindBoxesNeverCombineAHistogramWithA2DKindNorEndEmpty) {
    const struct {
        std::vector<int32_t> clicks;
        const char* kinds;  // Dot Hist Contour Density
        int32_t type;
    } cases[] = {
        {{}, "1000", kPlotFlagDots},
        {{kAddPlotsHist, kAddPlotsDensity}, "0001", kPlotFlagDensity},
        {{kAddPlotsHist}, "0100", kPlotFlagHistogram},
        {{kAddPlotsHist, kAddPlotsHist}, "1000", kPlotFlagDots},
        {{kAddPlotsDot}, "1000", kPlotFlagDots},  // the last 2-D kind comes back as Dot
        {{kAddPlotsContour, kAddPlotsDot}, "0010", kPlotFlagContour},
        {{kAddPlotsDensity, kAddPlotsContour}, "1011", kPlotFlagDots | kPlotFlagDensity | kPlotFlagContour},
        {{kAddPlotsDensity, kAddPlotsDot, kAddPlotsDensity}, "1000", kPlotFlagDots},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kinds);
        Fresh();
        for (int32_t id : c.clicks) Box(id)->click();
        EXPECT_EQ(Kinds(), c.kinds);
        CheckRows({0, 2});
        ASSERT_TRUE(PressOk());
        EXPECT_EQ(dlg->m_nPlotType, c.type);
    }
}

TEST_F(AddDataPlotsTest, OkRefusesTooFewParametersAndEventCountsOutsideTheRange) {
    const struct {
        std::initializer_list<int> rows;
        bool histogram;
        const char* events;
        bool accepted;
    } cases[] = {
        {{1}, false, "10000", false},  // a 2-D plot needs two
        {{}, true, "10000", false},
        {{1}, true, "10000", true},
        {{0, 3}, false, "0", false},
        {{0, 3}, false, "-5", false},
        {{0, 3}, false, "2147483648", false},
        {{0, 3}, false, "1e3", false},
        {{0, 3}, false, "2147483647", true},
        {{0, 3}, false, "1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events);
        ui.Clear();
        Fresh();
        CheckRows(c.rows);
        if (c.histogram) Box(kAddPlotsHist)->click();
        Control<QLineEdit>(dlg.get(), kAddPlotsEvents)->setText(c.events);
        EXPECT_EQ(PressOk(), c.accepted);
        EXPECT_EQ(ui.Count(Kind::MessageBox), c.accepted ? 0 : 1);
        if (c.accepted) EXPECT_EQ(dlg->m_nEvents, std::stoll(c.events));
    }
}

TEST_F(AddDataPlotsTest, ThePercentComboSetsTheEventsAndOkCollectsRowsInOrder) {
    EXPECT_EQ(Control<QLineEdit>(dlg.get(), kAddPlotsEvents)->text(), "10000");
    auto* percent = Control<QComboBox>(dlg.get(), kAddPlotsPercent);
    // 10000 is no share of these 1999 events: no entry claims it.
    EXPECT_EQ(percent->currentIndex(), -1);
    // 1999 events: truncated, never rounded up.
    const char* expected[] = {"1999", "1499", "999", "499", "199", "99", "19"};
    for (int i = 0; i < 7; ++i) {
        dlgtest::Key(percent, Qt::Key_Down);
        EXPECT_EQ(Control<QLineEdit>(dlg.get(), kAddPlotsEvents)->text(), expected[i]) << i;
    }
    CheckRows({3, 1, 2});
    ASSERT_TRUE(PressOk());
    EXPECT_EQ(dlg->m_params, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(dlg->m_nEvents, 19);
    // A count typed over an entry's leaves the entry.
    Fresh();
    dlgtest::Key(percent = Control<QComboBox>(dlg.get(), kAddPlotsPercent), Qt::Key_Down);
    ASSERT_EQ(percent->currentText(), "100%");
    dlgtest::Type(Control<QLineEdit>(dlg.get(), kAddPlotsEvents), "1234");
    EXPECT_EQ(percent->currentIndex(), -1);
    EXPECT_EQ(dlg->m_nGate, 0);
    EXPECT_FALSE(dlg->m_bSwapPara);

    // A file of exactly 10000 events: 10000 is its "100%".
    {
        lmtest::FcsWriter w;
        w.Param("FS", 32, "1024").Param("SS", 32, "1024");
        for (int e = 0; e < 10000; ++e) w.Event({double(e % 1000), 1.0});
        VexaDataShell* tenThousand = dlgtest::AttachShell(doc, w, "W");
        ASSERT_NE(tenThousand, nullptr);
        ASSERT_EQ(tenThousand->GetTotalEvents(), 10000);
        CAddDataPlots whole(tenThousand);
        whole.OnInitDialog();
        EXPECT_EQ(Control<QComboBox>(&whole, kAddPlotsPercent)->currentText(), "100%");
    }

    // Gates listed by name in gate order, "All" first; the chosen index is collected.
    shell->AddRegionGate(std::make_unique<CrRange>(0, 0, 0.1f, 0.5f), 0, "Lymph");
    Fresh();
    auto* gates = Control<QComboBox>(dlg.get(), kAddPlotsGate);
    ASSERT_EQ(gates->count(), 2);
    EXPECT_EQ(gates->itemText(1), "Lymph");
    dlgtest::Key(gates, Qt::Key_Down);
    CheckRows({0, 1});
    ASSERT_TRUE(PressOk());
    EXPECT_EQ(dlg->m_nGate, 1);
}

}  // namespace
