// FCS files that start like FCS but cannot be shown, brought in every way a
// user can: each is named once with what is wrong with it, and nothing is
// made of it (no empty "Par Error" plot, no data set).
#include <gtest/gtest.h>

#include "core/DataShell.h"
#include "dialogs/ShellNameDlg.h"
#include "report/app/CommandIds.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/Plot.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/support/FcsWriter.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

class UnreadableFcsTest : public rtest::ProgramTest {
protected:
    std::string Good(const std::string& name) {
        lmtest::FcsWriter w;
        w.Param("FS", 16, "1024").Param("SS", 16, "1024").Event({1, 2}).Event({3, 4});
        return dir.Write(name, w.Build());
    }
    // name, bytes, what the message must say
    struct Bad {
        std::string name;
        std::vector<uint8_t> bytes;
        const char* cause;
    };
    std::vector<Bad> BadFiles() {
        std::vector<uint8_t> noise{'F', 'C', 'S', '3', '.', '0', ' ', ' ', ' ', ' '};
        for (int i = 0; i < 2000; ++i) noise.push_back(uint8_t((i * 7919 + 13) % 251));
        const std::string header = "FCS3.0         100      50     200     300       0       0";
        std::vector<uint8_t> reversed(header.begin(), header.end());
        reversed.resize(460, ' ');
        lmtest::FcsWriter tot;
        tot.Param("FS", 16, "1024").Param("SS", 16, "1024").Event({1, 2}).Set("$TOT", "-5");
        return {{"noise.fcs", noise, "holds no keywords"},
                {"reversed.fcs", reversed, "end of TEXT (50) before its beginning (100)"},
                {"tot.fcs", tot.Build(), "$TOT -5 is not an event count"}};
    }
    CLumitraView* View() { return app->GetMainFrame()->GetActiveReportView(); }
    // Exactly one message, the file's name and the cause in it.
    void ExpectNamedOnce(const Bad& b, const char* way) {
        const auto boxes = ui.CallsOf(Kind::MessageBox);
        ASSERT_EQ(boxes.size(), 1u) << way << " " << b.name;
        EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("FCS文件打开失败!"))) << way;
        EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(b.name))) << way << boxes[0].text.toStdString();
        EXPECT_TRUE(boxes[0].text.contains(QString::fromUtf8(b.cause))) << way << boxes[0].text.toStdString();
        ui.Clear();
    }
};

TEST_F(UnreadableFcsTest, EveryWayInNamesTheFileAndItsFaultOnceAndMakesNothing) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* doc = app->GetDocuments().front().get();
    ASSERT_NE(View(), nullptr);
    // A plot of a good file to drop onto.
    CPLOT* plot = View()->NewPlotAt(20, 20, 0, 1, Good("good.fcs"));
    ASSERT_NE(plot, nullptr);
    VexaDataShell* shell = plot->GetShell();
    auto* fileList = dynamic_cast<CShellNameDlg*>(app->GetMainFrame()->GetPanel(kPanelFileList));
    ASSERT_NE(fileList, nullptr);
    for (const Bad& b : BadFiles()) {
        const QString path = QString::fromStdString(dir.Write(b.name, b.bytes));
        ui.Clear();

        ui.QueueFileNames({path});
        app->GetMainFrame()->OnCommand(kCmdFileOpen);
        ExpectNamedOnce(b, "File > Open");
        EXPECT_EQ(app->GetDocuments().size(), 1u);

        vin::Driver(View()).Drop({path.toStdString()}, CPoint(600, 600));
        ExpectNamedOnce(b, "drop on the page");

        fileList->DropFiles({path});
        ExpectNamedOnce(b, "drop on the File List");

        vin::Driver(View()).Drop({path.toStdString()}, plot->GetPlotArea().CenterPoint());
        ExpectNamedOnce(b, "drop on a plot");
        EXPECT_EQ(plot->GetShell(), shell);
        EXPECT_EQ(shell->GetFileName(), "good.fcs");
        EXPECT_EQ(shell->GetTotalEvents(), 2);

        EXPECT_EQ(doc->GetDataShellCount(), 1) << b.name;
        EXPECT_EQ(doc->GetObjectCount(), 1) << b.name;
    }
}

TEST_F(UnreadableFcsTest, TheCommandLineNamesEachBadFileAndStaysOpen) {
    std::vector<Bad> bad = BadFiles();
    QStringList args;
    for (const Bad& b : bad) args << QString::fromStdString(dir.Write(b.name, b.bytes));
    ASSERT_TRUE(app->InitInstance(args));
    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), bad.size());
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_TRUE(boxes[i].text.contains(QString::fromStdString(bad[i].name)));
        EXPECT_TRUE(boxes[i].text.contains(QString::fromUtf8(bad[i].cause))) << boxes[i].text.toStdString();
    }
    // Nothing opened: one empty report, no plot of any of them.
    ASSERT_EQ(app->GetDocuments().size(), 1u);
    EXPECT_EQ(app->GetDocuments().front()->GetObjectCount(), 0);
}

}  // namespace
