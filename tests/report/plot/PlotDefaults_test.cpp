#include "report/plot/PlotDefaults.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "report/app/CommandIds.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/plot/Plot.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/support/FcsWriter.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(PlotDefaults, NoFileGivesTheTableDefaultsAndWritingCreatesAllSevenKeys) {
    lmtest::TempDir dir;
    const std::string ini = dir.File("Vexa.ini");
    PlotDefaults d;
    // The values before any read differ from what a missing file gives.
    EXPECT_EQ(d.evts, 3000);
    EXPECT_EQ(d.label, 2);
    d.Read(ini);
    EXPECT_EQ(d.evts, 2000);
    EXPECT_EQ(d.parax, 0);
    EXPECT_EQ(d.paray, 1);
    EXPECT_EQ(d.width, 250);
    EXPECT_EQ(d.height, 250);
    EXPECT_EQ(d.style, 2);
    EXPECT_EQ(d.label, 3);
    ASSERT_TRUE(d.Write(ini));
    EXPECT_EQ(ReadAll(ini),
              "[Default Plot Para]\nEvts=2000\nPARAX=0\nPARAY=1\nWIDTH=250\nHEIGHT=250\nSTYLE=2\nLABEL=3\n");
}

TEST(PlotDefaults, ValuesAreReadLikeAtoiWithProfileRules) {
    lmtest::TempDir dir;
    const std::string ini = dir.File("Vexa.ini");
    WriteAll(ini,
             "; kept\r\n[Other]\r\nWIDTH=9\r\n[default plot para]\r\nevts=abc\r\nParax = 12x\r\n"
             "PARAY=-3\r\nWIDTH=  77  \r\nHEIGHT=\r\nSTYLE=0000000000000000000000000000000000000016\r\n");
    PlotDefaults d;
    d.Read(ini);
    EXPECT_EQ(d.evts, 0);      // "abc"
    EXPECT_EQ(d.parax, 12);    // "12x"
    EXPECT_EQ(d.paray, -3);
    EXPECT_EQ(d.width, 77);    // the other section's WIDTH is not ours
    EXPECT_EQ(d.height, 0);    // present but empty
    EXPECT_EQ(d.style, 0);     // only the first 31 characters are read: all zeros
    EXPECT_EQ(d.label, 3);     // missing key

    d.evts = 500;
    ASSERT_TRUE(d.Write(ini));
    const std::string text = ReadAll(ini);
    EXPECT_NE(text.find("; kept\r\n[Other]\r\nWIDTH=9\r\n"), std::string::npos);  // foreign lines as they were
    EXPECT_NE(text.find("evts=500\r\n"), std::string::npos);                      // the key keeps its spelling
    EXPECT_NE(text.find("LABEL=3\r\n"), std::string::npos);
    PlotDefaults again;
    again.Read(ini);
    EXPECT_EQ(again.evts, 500);
    EXPECT_EQ(again.parax, 12);
    EXPECT_EQ(again.height, 0);
}

TEST(PlotDefaults, ValuesAreClampedWhereTheyAreUsed) {
    PlotDefaults d;
    d.width = 3;
    d.height = 2000000000;
    d.evts = -5;
    d.parax = 7;
    d.paray = -1;
    d.label = 0;
    d.style = 0x40;
    EXPECT_EQ(d.UsedWidth(), kPlotMinSide);
    EXPECT_EQ(d.UsedHeight(), kPlotMaxSide);
    EXPECT_EQ(d.UsedDotEvents(), 1);
    EXPECT_EQ(d.UsedParamX(3), 0);
    EXPECT_EQ(d.UsedParamY(3), 0);
    EXPECT_EQ(d.UsedParamX(0), 0);
    EXPECT_EQ(d.UsedLabelMode(), 1);
    EXPECT_EQ(d.UsedStyle(), kPlotStyleDots);
    d.label = 9;
    d.parax = 2;
    d.style = kPlotStyleHistogram | 0x100;
    EXPECT_EQ(d.UsedLabelMode(), 3);
    EXPECT_EQ(d.UsedParamX(3), 2);
    EXPECT_EQ(d.UsedStyle(), kPlotStyleHistogram);
    // Values in range pass unchanged.
    d.width = 250;
    EXPECT_EQ(d.UsedWidth(), 250);
}

TEST(PlotDefaults, AnUnwritableFileIsReportedNotFatal) {
    PlotDefaults d;
    d.Read("/nonexistent-lumitra-folder/Vexa.ini");
    EXPECT_EQ(d.evts, 2000);
    EXPECT_FALSE(d.Write("/nonexistent-lumitra-folder/Vexa.ini"));
}

TEST(PlotDefaults, TheOverlayBitIsNeverTakenFromTheFile) {
    lmtest::TempDir dir;
    const std::string ini = dir.File("Vexa.ini");
    const struct {
        const char* style;
        int32_t read;
        int32_t used;
    } cases[] = {
        {"34", kPlotStyleDots, kPlotStyleDots},                          // dots + overlay: as "As Default" once wrote it
        {"32", 0, kPlotStyleDots},                                       // the overlay alone: no layer, dots
        {"49", kPlotStyleHistogram | kPlotStyleContour, kPlotStyleHistogram | kPlotStyleContour},
        {"-1", ~kPlotStyleOverlay, kPlotStyleHistogram | kPlotStyleDots | kPlotStyleDensity | kPlotStyleContour},
    };
    for (const auto& c : cases) {
        WriteAll(ini, std::string("[Default Plot Para]\nSTYLE=") + c.style + "\n");
        PlotDefaults d;
        d.Read(ini);
        EXPECT_EQ(d.style, c.read) << c.style;
        EXPECT_EQ(d.UsedStyle(), c.used) << c.style;
    }
    // Set in memory by hand, it is still not used.
    PlotDefaults d;
    d.style = kPlotStyleOverlay | kPlotStyleDensity;
    EXPECT_EQ(d.UsedStyle(), kPlotStyleDensity);
}

TEST(PlotDefaults, AFileThatAlreadyHoldsTheValuesIsLeftAloneAndAReadOnlyOneIsNotReplaced) {
    lmtest::TempDir dir;
    const std::string ini = dir.File("Vexa.ini");
    const std::string text = "[Default Plot Para]\nEvts = 2000\nPARAX=0\nPARAY=1\nWIDTH=250\nHEIGHT=250\nSTYLE=2\nLABEL=3\n";
    WriteAll(ini, text);
    ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
    PlotDefaults d;
    d.Read(ini);
    std::string why;
    EXPECT_TRUE(d.Write(ini, &why));  // nothing to lose
    EXPECT_EQ(ReadAll(ini), text);    // not even rewritten
    d.width = 300;
    EXPECT_FALSE(d.Write(ini, &why));
    EXPECT_EQ(why, ini + " is read-only");
    EXPECT_EQ(ReadAll(ini), text);
    // Writable again, it takes the value.
    ASSERT_EQ(::chmod(ini.c_str(), 0644), 0);
    EXPECT_TRUE(d.Write(ini, &why));
    EXPECT_NE(ReadAll(ini).find("WIDTH=300\n"), std::string::npos);
    // A folder that cannot hold the file: the reason names it.
    const std::string notAFolder = dir.Write("plain", {'x'});
    why.clear();
    EXPECT_FALSE(d.Write(notAFolder + "/Vexa.ini", &why));
    EXPECT_NE(why.find(notAFolder), std::string::npos) << why;
}

// The program, started and ended the way a user does it.
class PlotDefaultsProgramTest : public rtest::ProgramTest {
protected:
    std::string WriteFcs(const std::string& name) const {
        lmtest::FcsWriter w;
        w.Param("FSC-H", 32, "1024").Param("SSC-H", 32, "1024").Event({1, 2}).Event({3, 4});
        return dir.Write(name, w.Build());
    }
    std::string Ini() const { return dir.File("Vexa.ini"); }
};

TEST_F(PlotDefaultsProgramTest, AnOverlayStyleInTheIniMakesNoNewPlotAnOverlayAndLeavesTheFileAtExit) {
    WriteAll(Ini(), "[Default Plot Para]\nSTYLE=34\n");
    ASSERT_TRUE(app->InitInstance({QString::fromStdString(WriteFcs("a.fcs"))}));
    ASSERT_EQ(app->GetDocuments().size(), 1u);
    CLumitraDoc* doc = app->GetDocuments().front().get();
    ASSERT_EQ(doc->GetObjectCount(), 1);
    auto* plot = dynamic_cast<CPLOT*>(doc->GetObjects().front().get());
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->GetStyleFlags(), kPlotFlagDots);
    // The plot menu offers the two-parameter tools, as on any dot plot.
    std::vector<lm::MenuItem> menu;
    ASSERT_TRUE(plot->BuildContextMenu(&menu, 0, plot->GetPlotArea().CenterPoint()));
    int tools = 0;
    for (const lm::MenuItem& m : menu)
        if (m.text == "Rectangle" || m.text == "Polygon") tools += m.enabled ? 1 : 0;
    EXPECT_EQ(tools, 2);

    // "As Default" on a plot that shows an overlay keeps the overlay to it.
    CPLOT other(CRect(300, 0, 550, 250), plot->GetGate(), doc, 0, 1);
    plot->AddOverlayFrom(&other);
    ASSERT_NE(plot->GetStyleFlags() & kPlotFlagOverlay, 0);
    plot->OnContextCommand(kPlotCmdAsDefault, 0);
    EXPECT_EQ(GetPlotDefaults().style, kPlotFlagDots);
    GetPlotDefaults().width = 260;
    app->ExitInstance();
    EXPECT_EQ(ui.Count(lm::ScriptedUiServices::Kind::MessageBox), 0);
    const std::string written = ReadAll(Ini());
    EXPECT_NE(written.find("STYLE=2\n"), std::string::npos) << written;
    EXPECT_NE(written.find("WIDTH=260\n"), std::string::npos) << written;
}

TEST_F(PlotDefaultsProgramTest, DefaultsThatCannotBeWrittenAtExitAreReportedOnce) {
    WriteAll(Ini(), "[Default Plot Para]\nWIDTH=250\n");
    ASSERT_EQ(::chmod(Ini().c_str(), 0444), 0);
    // Unchanged: nothing is lost, nothing is said.
    ASSERT_TRUE(app->InitInstance({}));
    app->ExitInstance();
    EXPECT_EQ(ui.Count(lm::ScriptedUiServices::Kind::MessageBox), 0);

    app = std::make_unique<CLumitraApp>();
    ASSERT_TRUE(app->InitInstance({}));
    GetPlotDefaults().width = 321;
    app->ExitInstance();
    const auto boxes = ui.CallsOf(lm::ScriptedUiServices::Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(Ini()))) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains("lost")) << boxes[0].text.toStdString();
    EXPECT_EQ(boxes[0].icon, lm::MsgIcon::Warning);
    EXPECT_EQ(ReadAll(Ini()), "[Default Plot Para]\nWIDTH=250\n");
    ::chmod(Ini().c_str(), 0644);
}

}  // namespace
