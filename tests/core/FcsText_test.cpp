// HEADER validation and TEXT keyword tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/MappedFile.h"
#include "core/ErrorCodes.h"
#include "core/FcsText.h"
#include "tests/support/FcsWriter.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs PairsOf(const CKeywordTable& t) {
    Pairs out;
    for (const auto& p : t.Pairs()) out.emplace_back(p.keyword, p.value);
    return out;
}

CKeywordTable Parse(std::string_view seg) {
    CKeywordTable t;
    t.ParseSegment(seg);
    return t;
}

// "FCS3.0    " followed by six 8-character fields.
std::string Header(std::string_view version, std::vector<std::string> fields) {
    std::string h(version);
    h += "    ";
    for (auto& f : fields) {
        f.insert(0, f.size() < 8 ? 8 - f.size() : 0, ' ');
        h += f.substr(0, 8);
    }
    return h;
}

// ---------------------------------------------------------------- TEXT syntax

// The first byte is the delimiter; pairs come in file order.
TEST(KeywordTable, SegmentsAndTheirPairs) {
    const struct {
        std::string_view segment;
        Pairs pairs;
    } cases[] = {
        {"/$PAR/2/$TOT/100/", {{"$PAR", "2"}, {"$TOT", "100"}}},
        {"/$FIL/a//b.fcs/", {{"$FIL", "a/b.fcs"}}},  // a doubled delimiter is literal
        {"/A//B/x////y/", {{"A/B", "x//y"}}},         // in keywords too, and several in a row
        {"/$PAR/2/$TOT/", {{"$PAR", "2"}}},           // a keyword without value is dropped
        {"/$PAR/2/$TOT", {{"$PAR", "2"}}},
        {"\x0c$PAR\x0c" "2\x0c$FIL\x0c" "a\x0c\x0c" "b\x0c", {{"$PAR", "2"}, {"$FIL", "a\x0c" "b"}}},
        {"|$FIL|a/b|", {{"$FIL", "a/b"}}},           // '/' is then an ordinary character
        {std::string_view("\0K\0v\0", 5), {{"K", "v"}}},
        {"", {}}, {"/", {}}, {"/K", {}},
    };
    for (const auto& c : cases) {
        const CKeywordTable t = Parse(c.segment);
        EXPECT_EQ(PairsOf(t), c.pairs) << c.segment;
        EXPECT_TRUE(t.errors.empty()) << c.segment;
    }
}

TEST(KeywordTable, ValuesLoseOuterSpacesOnlyKeywordsKeepEverything) {
    CKeywordTable t = Parse("/$SRC/  x y  /$PAR /2/TAB/\tv\t/");
    EXPECT_EQ(t.GetKeywordValue("$SRC"), "x y");
    // The keyword with a trailing space is its own keyword.
    EXPECT_EQ(t.FindKeyword("$PAR"), nullptr);
    ASSERT_NE(t.FindKeyword("$PAR "), nullptr);
    EXPECT_EQ(t.FindKeyword("$PAR ")->value, "2");
    // Only 0x20 is trimmed.
    EXPECT_EQ(t.GetKeywordValue("TAB"), "\tv\t");
    // A value of spaces only becomes empty.
    EXPECT_EQ(Parse("/K/   /").GetKeywordValue("K"), "");
    ASSERT_NE(Parse("/K/   /").FindKeyword("K"), nullptr);
}

TEST(KeywordTable, LookupsAreExactAndReturnTheFirstOccurrence) {
    CKeywordTable t = Parse("/$PAR/2/$par/7/$PAR/9/$P1N/FSC/");
    EXPECT_EQ(t.GetKeywordValue("$PAR"), "2");
    // Names are the same whatever their case: the first of them answers.
    EXPECT_EQ(t.GetKeywordValue("$par"), "2");
    EXPECT_EQ(t.GetKeywordValue("$P1"), "");      // a prefix is not a match
    EXPECT_EQ(t.GetKeywordValue("$P1NN"), "");    // nor a longer name
    EXPECT_EQ(t.GetKeywordValue("$ABSENT"), "");
    EXPECT_EQ(t.FindKeyword("$ABSENT"), nullptr);
    EXPECT_EQ(t.Pairs().size(), 4u);
}

TEST(KeywordTable, DoubledDelimiterAtTheStartGivesError10AndNoPairs) {
    CKeywordTable t = Parse("//$PAR/2/");
    EXPECT_TRUE(t.Pairs().empty());
    EXPECT_EQ(t.errors, std::vector<int32_t>{kErrDoubledDelimiter});
    std::vector<int32_t> merged{99};
    t.MergeErrors(merged);
    EXPECT_EQ(merged, (std::vector<int32_t>{99, kErrDoubledDelimiter}));
}

TEST(KeywordTable, CopiesAreIndependentAndClearEmptiesBothLists) {
    CKeywordTable a = Parse("//x/");
    a.ParseSegment("/K/v/");
    CKeywordTable b(a);
    a.Clear();
    EXPECT_TRUE(a.Pairs().empty());
    EXPECT_TRUE(a.errors.empty());
    EXPECT_EQ(b.GetKeywordValue("K"), "v");
    EXPECT_EQ(b.errors, std::vector<int32_t>{kErrDoubledDelimiter});
    // Parsing appends.
    b.ParseSegment("/K/w/L/z/");
    EXPECT_EQ(PairsOf(b), (Pairs{{"K", "v"}, {"K", "w"}, {"L", "z"}}));
}

// ---------------------------------------------------------------- TEXT from a file

TEST(KeywordTable, SegmentFromFileIsClampedToTheFile) {
    const std::string bytes = "xx/$PAR/3/$TOT/12/";
    lm::MappedFile f;
    f.OpenMemory(bytes.data(), bytes.size());

    CKeywordTable whole;
    whole.ParseText(f, 2, int64_t(bytes.size()) - 1);
    EXPECT_EQ(PairsOf(whole), (Pairs{{"$PAR", "3"}, {"$TOT", "12"}}));

    CKeywordTable past;  // the end lies far beyond the file
    past.ParseText(f, 2, 1'000'000'000'000);
    EXPECT_EQ(PairsOf(past), PairsOf(whole));

    CKeywordTable cut;  // inclusive end: "/$PAR/3/$TOT/" leaves $TOT without value
    cut.ParseText(f, 2, 14);
    EXPECT_EQ(PairsOf(cut), (Pairs{{"$PAR", "3"}}));
    CKeywordTable first;  // exactly "/$PAR/3/"
    first.ParseText(f, 2, 9);
    EXPECT_EQ(PairsOf(first), (Pairs{{"$PAR", "3"}}));

    for (auto [b, e] : std::vector<std::pair<int64_t, int64_t>>{
             {5, 4}, {2, 2}, {-10, -1}, {int64_t(bytes.size()), int64_t(bytes.size()) + 10},
             {INT64_MAX - 1, INT64_MAX}, {INT64_MIN, INT64_MIN + 1}}) {
        CKeywordTable t;
        t.ParseText(f, b, e);
        EXPECT_TRUE(t.Pairs().empty()) << b << ".." << e;
        EXPECT_TRUE(t.errors.empty()) << b << ".." << e;
    }
}

TEST(KeywordTable, SupplementalSegmentFollowsThePrimaryOne) {
    // Data set at base 100: primary TEXT at relative 10, supplemental at relative 60.
    std::string bytes(100, '#');
    std::string primary = "/$BEGINSTEXT/60/$ENDSTEXT/75/$PAR/1/";
    std::string body(10, ' ');
    body += primary;
    body.resize(60, ' ');
    body += "*$PAR*9*EXTRA*e*";  // relative 60..75
    bytes += body;
    lm::MappedFile f;
    f.OpenMemory(bytes.data(), bytes.size());

    CKeywordTable t(f, 110, 110 + int64_t(primary.size()) - 1, 100);
    EXPECT_EQ(PairsOf(t), (Pairs{{"$BEGINSTEXT", "60"}, {"$ENDSTEXT", "75"}, {"$PAR", "1"},
                                 {"$PAR", "9"}, {"EXTRA", "e"}}));
    EXPECT_EQ(t.GetKeywordValue("$PAR"), "1");  // primary wins

    auto r = ReadText(f, 110, 110 + int64_t(primary.size()) - 1, 100);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetKeywordValue("EXTRA"), "e");
}

// Supplemental offsets that cannot name a segment after the HEADER (begin at
// or before the data set's first byte, or only one of the pair set) add no
// keywords: the data set's HEADER or an earlier data set is not TEXT.
TEST(KeywordTable, SupplementalOffsetsAtOrBeforeTheDataSetAreIgnored) {
    const struct {
        const char* begin;
        const char* end;
    } cases[] = {{"0", "15"}, {"-80", "-60"}, {"-100", "15"}, {"40", "0"}, {"0", "0"}};
    for (const auto& c : cases) {
        // Data set at base 100 starting with bytes that would parse as keywords.
        std::string bytes = "/EARLIER/set/";
        bytes.resize(100, ' ');
        bytes += "/HEADER/junk/";
        bytes.resize(120, ' ');
        const std::string primary =
            std::string("/$BEGINSTEXT/") + c.begin + "/$ENDSTEXT/" + c.end + "/$PAR/1/";
        bytes += primary;
        bytes.resize(200, ' ');
        lm::MappedFile f;
        f.OpenMemory(bytes.data(), bytes.size());
        CKeywordTable t(f, 120, 120 + int64_t(primary.size()) - 1, 100);
        EXPECT_EQ(PairsOf(t), (Pairs{{"$BEGINSTEXT", c.begin}, {"$ENDSTEXT", c.end}, {"$PAR", "1"}}))
            << c.begin << ".." << c.end;
    }
}

TEST(KeywordTable, SupplementalSegmentRunningPastTheFileReadsWhatExists) {
    std::string bytes = "/$BEGINSTEXT/40/$ENDSTEXT/999999/";
    bytes.resize(40, ' ');
    bytes += "/S/1/T/2/";
    lm::MappedFile f;
    f.OpenMemory(bytes.data(), bytes.size());
    CKeywordTable t(f, 0, 32, 0);
    EXPECT_EQ(t.GetKeywordValue("S"), "1");
    EXPECT_EQ(t.GetKeywordValue("T"), "2");
}

// ---------------------------------------------------------------- HEADER

TEST(Header, ValidHeaderGivesVersionAndOffsetsPlusBase) {
    FcsHeader h;
    ASSERT_TRUE(ParseHeader(Header("FCS2.0", {"58", "1000", "1001", "2000", "0", "0"}), h, 0));
    EXPECT_TRUE(h.valid);
    EXPECT_FLOAT_EQ(h.version, 2.0f);
    EXPECT_EQ(h.textBegin, 58);
    EXPECT_EQ(h.textEnd, 1000);
    EXPECT_EQ(h.dataBegin, 1001);
    EXPECT_EQ(h.dataEnd, 2000);
    EXPECT_EQ(h.analysisBegin, 0);
    EXPECT_EQ(h.analysisEnd, 0);

    FcsHeader b;
    ASSERT_TRUE(ParseHeader(Header("FCS3.1", {"256", "300", "301", "400", "", ""}), b, 5000));
    EXPECT_FLOAT_EQ(b.version, 3.1f);
    EXPECT_EQ(b.textBegin, 5256);
    EXPECT_EQ(b.dataEnd, 5400);
    EXPECT_EQ(b.analysisBegin, 5000);  // blank field = 0, plus the base
}

TEST(Header, EachFieldIsReadOnItsOwn) {
    // Zero-padded fields that touch: read as one string they would run together.
    FcsHeader h;
    ASSERT_TRUE(ParseHeader("FCS3.0    000000580000100099999999123456780000000000000000", h, 0));
    EXPECT_EQ(h.textBegin, 58);
    EXPECT_EQ(h.textEnd, 1000);
    EXPECT_EQ(h.dataBegin, 99999999);
    EXPECT_EQ(h.dataEnd, 12345678);
    EXPECT_EQ(h.analysisBegin, 0);

    // A nine-digit number spread over two fields is two numbers.
    FcsHeader g;
    ASSERT_TRUE(ParseHeader(Header("FCS3.0", {"256", "1000", "12345678", "9", "0", "0"}), g, 0));
    EXPECT_EQ(g.dataBegin, 12345678);
    EXPECT_EQ(g.dataEnd, 9);

    // Left-aligned and blank fields.
    FcsHeader l;
    ASSERT_TRUE(ParseHeader("FCS3.0    256     1000    " + std::string(32, ' '), l, 0));
    EXPECT_EQ(l.textBegin, 256);
    EXPECT_EQ(l.textEnd, 1000);
    EXPECT_EQ(l.dataBegin, 0);
    EXPECT_EQ(l.dataEnd, 0);
}

TEST(Header, MalformedHeadersAreInvalid) {
    const std::string good = Header("FCS3.0", {"256", "1000", "1001", "2000", "0", "0"});
    FcsHeader h;
    ASSERT_TRUE(ParseHeader(good, h, 0));

    std::vector<std::string> bad;
    bad.push_back(good.substr(0, 57));                        // one byte short
    bad.push_back("");                                        // nothing
    bad.push_back("fcs" + good.substr(3));                    // lower case
    bad.push_back("FCX" + good.substr(3));
    bad.push_back("FCSx.0" + good.substr(6));                 // letter at position 3
    bad.push_back("FCS3.0  x " + good.substr(10));            // not four spaces
    bad.push_back("FCS3.0\t   " + good.substr(10));
    bad.push_back("FCS3.0.0  " + good.substr(10));            // version eats a blank
    for (const std::string& s : bad) {
        FcsHeader x;
        x.valid = true;
        EXPECT_FALSE(ParseHeader(s, x, 0)) << '"' << s << '"';
        EXPECT_FALSE(x.valid) << '"' << s << '"';
    }
}

TEST(Header, ReadHeaderReportsError1AndReadsAtTheBase) {
    std::string bytes(37, 'z');
    bytes += Header("FCS3.0", {"100", "200", "0", "0", "0", "0"});
    lm::MappedFile f;
    f.OpenMemory(bytes.data(), bytes.size());

    std::vector<int32_t> errors;
    FcsHeader h;
    EXPECT_TRUE(ReadHeader(f, h, errors, 37));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(h.textBegin, 137);
    EXPECT_EQ(h.textEnd, 237);

    FcsHeader at0;
    EXPECT_FALSE(ReadHeader(f, at0, errors, 0));
    EXPECT_EQ(errors, std::vector<int32_t>{kErrHeaderInvalid});

    // A base so close to the end that fewer than 58 bytes remain, and bases
    // outside the file.
    for (int64_t base : {int64_t(38), int64_t(bytes.size()), int64_t(-1), INT64_MAX}) {
        std::vector<int32_t> e;
        FcsHeader x;
        EXPECT_FALSE(ReadHeader(f, x, e, base)) << base;
        EXPECT_EQ(e, std::vector<int32_t>{kErrHeaderInvalid}) << base;
    }
}

TEST(Header, IsFcsFileLooksAtTheFirstHeaderOnly) {
    lmtest::TempDir dir;
    lmtest::FcsWriter w;
    w.Param("FSC", 32, "1024").Event({1.0});
    const std::string good = dir.Write("good.fcs", w.Build());
    ASSERT_FALSE(good.empty());
    EXPECT_TRUE(IsFcsFile(good, 0));
    EXPECT_TRUE(IsFcsFile(good, 7));  // the index is not looked at

    EXPECT_FALSE(IsFcsFile("", 0));
    EXPECT_FALSE(IsFcsFile(dir.File("missing.fcs"), 0));
    EXPECT_FALSE(IsFcsFile(dir.Path(), 0));  // a folder
    EXPECT_FALSE(IsFcsFile(dir.Write("short.fcs", {'F', 'C', 'S', '3', '.', '0'}), 0));
    EXPECT_FALSE(IsFcsFile(dir.Write("empty.fcs", {}), 0));
    std::vector<uint8_t> notFcs = w.Build();
    notFcs[3] = 'v';
    EXPECT_FALSE(IsFcsFile(dir.Write("bad.fcs", notFcs), 0));
}

}  // namespace

TEST(FcsFileProblem, SaysWhatIsWrongAndNothingForAGoodFile) {
    lmtest::TempDir dir;
    lmtest::FcsWriter w;
    w.Param("FSC-H", 32, "1024").Event({1});
    std::vector<uint8_t> good = w.Build();
    std::vector<uint8_t> noSpaces = good;
    noSpaces[7] = 'x';  // the four spaces after the version
    std::vector<uint8_t> lineFeed = good;
    lineFeed[20] = '\n';  // ends the HEADER early
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string problem;
    } cases[] = {
        {"good.fcs", good, ""},
        {"short.fcs", {'F', 'C', 'S', '3'}, "only 4 bytes, too short for an FCS HEADER"},
        {"empty.fcs", {}, "only 0 bytes, too short for an FCS HEADER"},
        {"text.txt", std::vector<uint8_t>(80, 'a'), "not an FCS file (it does not begin with \"FCS\")"},
        {"spaces.fcs", noSpaces, "its FCS HEADER is damaged"},
        {"lf.fcs", lineFeed, "its FCS HEADER is damaged"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.Write(c.name, c.bytes);
        EXPECT_EQ(FcsFileProblem(path), c.problem) << c.name;
        EXPECT_EQ(IsFcsFile(path), c.problem.empty()) << c.name;
    }
    EXPECT_EQ(FcsFileProblem(dir.File("missing.fcs")), "cannot open: No such file or directory");
    EXPECT_EQ(FcsFileProblem(""), "no file named");
}
