#include "report/plot/PlotDefaults.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/support/FcsWriter.h"

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

}  // namespace
