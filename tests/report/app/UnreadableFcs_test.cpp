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
        w.DataType('I').ByteOrder("1,2").Param("FS", 16, "1024").Param("SS", 16, "1024").Event({1, 2}).Event({3, 4});
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
        // Histograms, values written as text, widths no reader takes: the
        // file says so, and so must the program.
        auto histogram = [](const char* mode) {
            lmtest::FcsWriter w;
            w.Mode(mode).DataType('I').ByteOrder("1,2").Param("FS", 16, "1024").Param("SS", 16, "1024");
            return w.Event({1, 2}).Event({3, 4}).Build();
        };
        lmtest::FcsWriter ascii;
        ascii.DataType('A').Param("FS", 32, "1024").Param("SS", 32, "1024").Event({1, 2}).Event({3, 4});
        lmtest::FcsWriter wide;
        wide.DataType('I').ByteOrder("1,2,3,4").Param("FS", 128, "1024").Param("SS", 128, "1024").Event({1, 2});
        return {{"noise.fcs", noise, "holds no keywords"},
                {"reversed.fcs", reversed, "end of TEXT (50) before its beginning (100)"},
                {"tot.fcs", tot.Build(), "$TOT -5 is not an event count"},
                {"mode-c.fcs", histogram("C"), "its $MODE is C (correlated histograms), not list mode (L)"},
                {"mode-h.fcs", histogram("H"), "its $MODE is H, not list mode (L)"},
                {"ascii.fcs", ascii.Build(), "its $DATATYPE is A (values written as text)"},
                {"wide.fcs", wide.Build(), "$P1B 128: integers wider than 64 bits are not supported"}};
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

// ================================================================ cut short

// A file that lost its last events: it opens with those that remain, and
// every way it is read says how many, in the same words.
class CutFcsTest : public UnreadableFcsTest {
protected:
    static lmtest::FcsWriter Ten() {
        lmtest::FcsWriter w;
        w.DataType('I').ByteOrder("1,2").Param("FS", 16, "1024").Param("SS", 16, "1024");
        for (int e = 0; e < 10; ++e) w.Event({double(e * 50), double(1000 - e * 50)});
        return w;
    }
    // Ten events of four bytes, of which the last four are cut away.
    std::string Cut(const std::string& name) {
        lmtest::FcsWriter w = Ten();
        w.TruncateTo(int64_t(w.Build().size()) - 16);
        return dir.Write(name, w.Build());
    }
    // Exactly one warning, naming the file and how many of its events were read.
    void ExpectWarnedOnce(const std::string& name, const char* way) {
        const auto boxes = ui.CallsOf(Kind::MessageBox);
        ASSERT_EQ(boxes.size(), 1u) << way;
        EXPECT_EQ(boxes[0].caption, QStringLiteral("警告")) << way;
        EXPECT_EQ(boxes[0].text, QString::fromStdString("The FCS file " + name +
                                                        " is damaged: only 6 of 10 events could be read."))
            << way;
        ui.Clear();
    }
};

TEST_F(CutFcsTest, EveryWayInWarnsOfTheMissingEventsAndShowsTheRest) {
    // A report made while the file was whole, then the file cut short.
    const std::string reportFcs = dir.Write("report.fcs", Ten().Build());
    const std::string report = dir.File("report.fld");
    {
        CLumitraDoc made;
        VexaDataShell* s = made.OpenDataFile(reportFcs, 0);
        ASSERT_NE(s, nullptr);
        made.CreatePlot(5, 5, s);
        QString error;
        ASSERT_TRUE(made.OnSaveDocument(QString::fromStdString(report), &error)) << error.toStdString();
    }
    Cut("report.fcs");
    ui.Clear();

    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* doc = app->GetDocuments().front().get();
    CPLOT* plot = View()->NewPlotAt(20, 20, 0, 1, Good("good.fcs"));
    ASSERT_NE(plot, nullptr);
    auto* fileList = dynamic_cast<CShellNameDlg*>(app->GetMainFrame()->GetPanel(kPanelFileList));
    ASSERT_NE(fileList, nullptr);
    ui.Clear();

    // Each way gets a file of its own name: one already open is not read again.
    vin::Driver(View()).Drop({Cut("page.fcs")}, CPoint(600, 600));
    ExpectWarnedOnce("page.fcs", "drop on the page");

    fileList->DropFiles({QString::fromStdString(Cut("list.fcs"))});
    ExpectWarnedOnce("list.fcs", "drop on the File List");

    vin::Driver(View()).Drop({Cut("onplot.fcs")}, plot->GetPlotArea().CenterPoint());
    ExpectWarnedOnce("onplot.fcs", "drop on a plot");
    EXPECT_EQ(plot->GetShell()->GetFileName(), "onplot.fcs");
    EXPECT_EQ(plot->GetShell()->GetTotalEvents(), 6);
    EXPECT_EQ(plot->GetState(), kPlotReady);

    doc->SetTemplateShell(plot->GetShell());
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots);
    vin::Driver(View()).Drop({Cut("template.fcs")}, CPoint(600, 900));
    ExpectWarnedOnce("template.fcs", "drop with a template");
    app->GetMainFrame()->SetApplyMask(0);

    // The plot's data set took the file dropped on it: four in all.
    const int32_t shells = doc->GetDataShellCount();
    EXPECT_EQ(shells, 4);
    for (int32_t i = 0; i < shells; ++i) EXPECT_EQ(doc->GetDataShellAt(i)->GetTotalEvents(), 6) << i;

    ui.QueueFileNames({QString::fromStdString(Cut("open.fcs"))});
    app->GetMainFrame()->OnCommand(kCmdFileOpen);
    ExpectWarnedOnce("open.fcs", "File > Open");
    ASSERT_EQ(app->GetDocuments().size(), 2u);
    EXPECT_EQ(app->GetDocuments().back()->GetDataShellAt(0)->GetTotalEvents(), 6);

    ui.QueueFileNames({QString::fromStdString(report)});
    app->GetMainFrame()->OnCommand(kCmdFileOpen);
    ExpectWarnedOnce("report.fcs", "reopening a report");
    CLumitraDoc* reopened = app->GetDocuments().back().get();
    ASSERT_EQ(reopened->GetDataShellCount(), 1);
    EXPECT_EQ(reopened->GetDataShellAt(0)->GetTotalEvents(), 6);
    EXPECT_FALSE(reopened->IsModified());
}

TEST_F(CutFcsTest, TheCommandLineWarnsOfTheMissingEvents) {
    ASSERT_TRUE(app->InitInstance({QString::fromStdString(Cut("cli.fcs"))}));
    ExpectWarnedOnce("cli.fcs", "command line");
    CLumitraDoc* doc = app->GetDocuments().back().get();
    ASSERT_EQ(doc->GetDataShellCount(), 1);
    EXPECT_EQ(doc->GetDataShellAt(0)->GetTotalEvents(), 6);
}

}  // namespace
