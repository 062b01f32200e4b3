#include "base/IniFile.h"

#include "tests/base/TempDir.h"

#include <gtest/gtest.h>

namespace {

const char* const kSample =
    "; settings of several programs\r\n"
    "[Other]\r\n"
    "Evts=1\r\n"
    "\r\n"
    "[Default Plot Para]\r\n"
    "  EVTS  =  5000  \r\n"
    "ParaX=2\r\n"
    "; keep me\r\n"
    "Foreign Key = \"quoted value\"\r\n"
    "Width=12abc\r\n"
    "Height=abc\r\n"
    "\r\n"
    "[Last]\r\n"
    "a=b\r\n";

TEST(IniFile, ReadsCrlfWithCaseInsensitiveNames) {
    lm::IniFile ini;
    ini.LoadText(kSample);
    EXPECT_EQ(ini.GetInt("default plot para", "Evts", -1), 5000);
    EXPECT_EQ(ini.GetInt("DEFAULT PLOT PARA", "paraX", -1), 2);
    EXPECT_EQ(ini.GetString("Default Plot Para", "foreign key"), "quoted value");
    EXPECT_EQ(ini.GetString("last", "A"), "b");  // no stray '\r' on the last line
    // Sections keep their keys apart.
    EXPECT_EQ(ini.GetInt("Other", "Evts", -1), 1);
}

TEST(IniFile, IntegerValuesUseAtoiRules) {
    lm::IniFile ini;
    ini.LoadText(kSample);
    EXPECT_EQ(ini.GetInt("Default Plot Para", "Width", -1), 12);
    EXPECT_EQ(ini.GetInt("Default Plot Para", "Height", -1), 0);   // present, not a number
    EXPECT_EQ(ini.GetInt("Default Plot Para", "Style", 77), 77);   // missing key
    EXPECT_EQ(ini.GetInt("No Such Section", "Evts", 33), 33);
    EXPECT_EQ(ini.GetString("Default Plot Para", "; keep me", "def"), "def");
}

TEST(IniFile, WritesChangeOnlyTheirLine) {
    lm::IniFile ini;
    ini.LoadText(kSample);
    ini.SetInt("DEFAULT PLOT PARA", "evts", 20000);
    std::string expect = kSample;
    expect.replace(expect.find("  EVTS  =  5000  "), 17, "EVTS=20000");
    EXPECT_EQ(ini.Text(), expect);

    // A new key goes to the end of its section, before the blank separator.
    ini.SetString("Default Plot Para", "STYLE", "3");
    expect.insert(expect.find("\r\n\r\n[Last]") + 2, "STYLE=3\r\n");
    EXPECT_EQ(ini.Text(), expect);

    // A new section is appended at the end.
    ini.SetString("Added", "k", " v ");
    expect += "\r\n[Added]\r\nk=v\r\n";
    EXPECT_EQ(ini.Text(), expect);
    EXPECT_EQ(ini.GetString("added", "K"), "v");
}

TEST(IniFile, LineBreaksInValuesCannotAddLines) {
    lm::IniFile ini;
    ini.SetString("S", "k", "one\ntwo\r\n[Evil]\r\nx=1");
    EXPECT_FALSE(ini.HasKey("Evil", "x"));
    EXPECT_EQ(ini.Text(), "[S]\nk=one two  [Evil]  x=1\n");
}

TEST(IniFile, FirstDuplicateWinsAndNoFinalNewlineIsKept) {
    lm::IniFile ini;
    ini.LoadText("[A]\nk=1\nk=2\n[a]\nk=3\nj=4");
    EXPECT_EQ(ini.GetInt("A", "k", 0), 1);
    EXPECT_FALSE(ini.HasKey("A", "j"));  // only the first [A] is looked at
    EXPECT_EQ(ini.Text(), "[A]\nk=1\nk=2\n[a]\nk=3\nj=4");
}

TEST(IniFile, QuotesAroundAValueAreDropped) {
    lm::IniFile ini;
    ini.LoadText("[S]\nempty=\"\"\nlone=\"\nmixed='x\"\nsingle='y'\n");
    EXPECT_EQ(ini.GetString("S", "empty", "def"), "");  // present and empty: not the default
    EXPECT_EQ(ini.GetString("S", "lone"), "\"");
    EXPECT_EQ(ini.GetString("S", "mixed"), "'x\"");
    EXPECT_EQ(ini.GetString("S", "single"), "y");
}

TEST(IniFile, MissingFileGivesDefaultsAndSaveRoundTrips) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    lm::IniFile ini;
    std::string err;
    EXPECT_FALSE(ini.Load(dir.File("absent.ini"), &err));
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(ini.GetInt("Default Plot Para", "Evts", 5000), 5000);

    const std::string path = dir.File("Vexa.ini");
    TempDir::WriteAll(path, kSample);
    ASSERT_TRUE(ini.Load(path, &err)) << err;
    ini.SetInt("Default Plot Para", "ParaY", -3);
    ASSERT_TRUE(ini.Save(path, &err)) << err;

    lm::IniFile again;
    ASSERT_TRUE(again.Load(path));
    EXPECT_EQ(again.GetInt("default plot para", "PARAY", 0), -3);
    EXPECT_EQ(TempDir::ReadAll(path), ini.Text());
    EXPECT_NE(TempDir::ReadAll(path).find("; keep me\r\nForeign Key = \"quoted value\"\r\n"), std::string::npos);
}

TEST(IniFile, ByteOrderMarkIsSkippedAndKept) {
    lm::IniFile ini;
    ini.LoadText("\xEF\xBB\xBF[S]\nk=9\n");
    EXPECT_EQ(ini.GetInt("s", "k", 0), 9);
    EXPECT_EQ(ini.Text(), "\xEF\xBB\xBF[S]\nk=9\n");
}

}  // namespace
