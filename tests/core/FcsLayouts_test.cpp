// Layouts of real-world FCS files that the plain byte-aligned reader got
// wrong: integer fields packed at widths that are not whole bytes, keyword
// names in any case, spillover values with spaces, files that are not list
// mode or whose data type cannot be read, and 64-bit integers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/DataSet.h"
#include "core/ErrorCodes.h"
#include "tests/support/FcsWriter.h"

namespace {

using lmtest::FcsWriter;
using lmtest::KeywordCase;
using lmtest::LoadFcsBytes;
using Errors = std::vector<int32_t>;

std::vector<float> Column(const CDataSet& ds, int32_t j) {
    const CEventMatrix* m = ds.GetEventMatrix();
    const float* c = m ? m->GetColumn(j) : nullptr;
    return c ? std::vector<float>(c, c + ds.GetEventCount()) : std::vector<float>();
}

bool Has(const Errors& e, int32_t code) { return std::find(e.begin(), e.end(), code) != e.end(); }

// ---------------------------------------------------------------- packed integers

// Bytes worked out by hand: two 10-bit fields, 926 and 5, are the 20 bits
// 1110011110 0000000101. Written high bits first (4,3,2,1) they are
// 11100111 10000000 0101(0000); low bits first (1,2,3,4) the event is the
// number 5 << 10 | 926 = 0x0179E, written 9E 17 00 (the last four bits unused).
TEST(PackedFields, TenBitFieldsReadAsTheStandardPacksThem) {
    const struct {
        const char* order;
        std::vector<uint8_t> bytes;
    } cases[] = {{"4,3,2,1", {0xE7, 0x80, 0x50}}, {"1,2,3,4", {0x9E, 0x17, 0x00}}, {"2,1", {0xE7, 0x80, 0x50}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        FcsWriter w;
        w.DataType('I').ByteOrder(c.order).Param("FS", 10, "1024").Param("SS", 10, "1024");
        w.RawData(c.bytes).Set("$TOT", "1");
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(ds->errors, Errors{});
        EXPECT_EQ(ds->GetEventCount(), 1);
        EXPECT_EQ(Column(*ds, 0), std::vector<float>{926});
        EXPECT_EQ(Column(*ds, 1), std::vector<float>{5});
        EXPECT_EQ(DataSetReadWarning(*ds), "");
        EXPECT_EQ(UnreadableDataSetProblem(*ds), "");
    }
}

// Fields of every odd width, mixed with whole bytes, across byte boundaries
// and from one event into the next: each value comes back exactly.
TEST(PackedFields, MixedWidthsAcrossEventsComeBackExactly) {
    const int widths[] = {10, 12, 8, 3, 16, 1, 24, 7, 32, 13, 64};
    for (const char* order : {"1,2,3,4", "4,3,2,1"}) {
        for (bool pad : {false, true}) {
            SCOPED_TRACE(std::string(order) + (pad ? " padded" : " stream"));
            FcsWriter w;
            w.DataType('I').ByteOrder(order).PadEvents(pad);
            for (size_t j = 0; j < std::size(widths); ++j) w.Param("P" + std::to_string(j), widths[j]);
            std::vector<std::vector<double>> events;
            for (int e = 0; e < 9; ++e) {
                std::vector<double> ev;
                for (int b : widths) {
                    // The top value, 0, and patterns in between.
                    const double top = std::ldexp(1.0, std::min(b, 53)) - 1;
                    ev.push_back(e == 0 ? top : e == 1 ? 0 : std::fmod(double(e) * 2654435761.0, top + 1));
                }
                w.Event(ev);
                events.push_back(ev);
            }
            auto ds = LoadFcsBytes(w.Build());
            EXPECT_EQ(ds->errors, Errors{});
            ASSERT_EQ(ds->GetEventCount(), 9);
            for (size_t j = 0; j < std::size(widths); ++j)
                for (int e = 0; e < 9; ++e)
                    EXPECT_EQ(Column(*ds, int32_t(j))[size_t(e)], float(events[size_t(e)][j]))
                        << "width " << widths[j] << " event " << e;
        }
    }
}

TEST(PackedFields, ValuesAreMaskedToTheirRangeLikeWholeBytes) {
    // 12-bit fields whose top bits a writer used for flags; $PnR 1024 keeps 10.
    FcsWriter w;
    w.DataType('I').ByteOrder("4,3,2,1").Param("FS", 12, "1024").Param("SS", 12, "4096");
    w.Event({0xC05, 0xC05}).Event({1023, 4095});
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->errors, Errors{});
    EXPECT_EQ(Column(*ds, 0), (std::vector<float>{5, 1023}));
    EXPECT_EQ(Column(*ds, 1), (std::vector<float>{0xC05, 4095}));
}

TEST(PackedFields, ACutStreamKeepsTheWholeEventsAndSaysHowMany) {
    FcsWriter w;
    w.DataType('I').ByteOrder("1,2,3,4").Param("A", 10, "1024").Param("B", 10, "1024").Param("C", 10, "1024");
    for (int e = 0; e < 10; ++e) w.Event({double(e), double(100 + e), double(1000 + e % 24)});
    // 10 events of 30 bits are 38 bytes; 30 bytes hold 8 whole events.
    std::vector<uint8_t> b = w.Build();
    b.resize(b.size() - 8);
    auto ds = LoadFcsBytes(b);
    EXPECT_TRUE(Has(ds->errors, kErrDataSize));
    ASSERT_EQ(ds->GetEventCount(), 8);
    EXPECT_EQ(Column(*ds, 2)[7], 1007.0f);
    EXPECT_EQ(DataSetReadWarning(*ds), "The FCS file memory.fcs is damaged: only 8 of 10 events could be read.");
}

TEST(PackedFields, FieldsThatCannotBeReadAreNamedNeverGuessed) {
    {  // A mixed byte order says nothing about the order of bits.
        FcsWriter w;
        w.DataType('I').ByteOrder("3,4,1,2").Param("A", 10, "1024").Param("B", 10, "1024").Event({1, 2});
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(UnreadableDataSetProblem(*ds),
                  "none of its parameters can be decoded ($BYTEORD 3,4,1,2 gives no order for fields of $P1B 10 "
                  "bits, ...)");
    }
    {  // A float is never 10 bits; the integers beside it still are read.
        FcsWriter w;
        w.DataType('F').ByteOrder("1,2,3,4").Param("A", 32, "1024").Param("B", 10, "1024").Event({1.5, 2});
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(UnreadableDataSetProblem(*ds), "");
        EXPECT_EQ(Column(*ds, 0), std::vector<float>{1.5f});
        EXPECT_EQ(Column(*ds, 1), std::vector<float>{0});
        EXPECT_EQ(DataSetReadWarning(*ds),
                  "The FCS file memory.fcs is damaged: a parameter could not be decoded and read as 0 (parameter 2 "
                  "(B): $P2B 10: a float ($DATATYPE F) takes 32 bits).");
    }
}

TEST(PackedFields, AFileWithoutEventsHasNothingToWarnOf) {
    // A parameter that cannot be decoded shows no zeros when there are no
    // events: the file opens empty and says nothing.
    FcsWriter w;
    w.DataType('I').ByteOrder("1,2,3,4").Param("A", 16, "1024").Param("B", 128);
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->GetEventCount(), 0);
    EXPECT_EQ(ds->GetEventMatrix()->UndecodableCount(), 1);
    EXPECT_EQ(UnreadableDataSetProblem(*ds), "");
    EXPECT_EQ(DataSetReadWarning(*ds), "");
}

// ---------------------------------------------------------------- whole-byte integers

TEST(WholeByteIntegers, SixtyFourAndFortyBitIntegersAreRead) {
    for (const char* order : {"1,2,3,4,5,6,7,8", "8,7,6,5,4,3,2,1"}) {
        SCOPED_TRACE(order);
        FcsWriter w;
        w.DataType('I').ByteOrder(order).Param("T", 64).Param("F", 40).Param("S", 16, "1024");
        w.Event({9007199254740991.0, 1099511627775.0, 77}).Event({4096, 3, 1023});
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(ds->errors, Errors{});
        EXPECT_EQ(UnreadableDataSetProblem(*ds), "");
        EXPECT_EQ(Column(*ds, 0), (std::vector<float>{9007199254740991.0f, 4096}));
        EXPECT_EQ(Column(*ds, 1), (std::vector<float>{1099511627775.0f, 3}));
        EXPECT_EQ(Column(*ds, 2), (std::vector<float>{77, 1023}));
    }
}

// ---------------------------------------------------------------- what cannot be shown

TEST(UnshownFiles, NotListModeAndUnknownDataTypesAreNamed) {
    const struct {
        const char* mode;
        char type;
        const char* why;
    } cases[] = {
        {"C", 'I', "its $MODE is C (correlated histograms), not list mode (L): it holds no events to show"},
        {"U", 'I', "its $MODE is U (uncorrelated histograms), not list mode (L): it holds no events to show"},
        {"H", 'F', "its $MODE is H, not list mode (L): it holds no events to show"},
        {"4,0", 'F', "its $MODE is 4,0, not list mode (L): it holds no events to show"},
        {"L", 'A', "its $DATATYPE is A (values written as text), which this program cannot read"},
        {"L", 'X', "its $DATATYPE X is not a data type it knows (I, F or D)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.type);
        FcsWriter w;
        w.Mode(c.mode).DataType(c.type).ByteOrder("1,2").Param("FS", 16, "1024").Param("SS", 16, "1024");
        w.Event({926, 5}).Event({1, 2});
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(UnreadableDataSetProblem(*ds), c.why);
    }
    FcsWriter none;
    none.Param("FS", 32, "1024").Event({1}).Remove("$DATATYPE");
    EXPECT_EQ(UnreadableDataSetProblem(*LoadFcsBytes(none.Build())), "it has no $DATATYPE: its events cannot be read");
}

TEST(UnshownFiles, WidthsNoReaderTakesAreNamedPerParameter) {
    FcsWriter w;
    w.DataType('I').ByteOrder("1,2,3,4").Param("A", 128).Param("B", 128).Event({1, 2});
    EXPECT_EQ(UnreadableDataSetProblem(*LoadFcsBytes(w.Build())),
              "none of its parameters can be decoded ($P1B 128: integers wider than 64 bits are not supported, ...)");

    FcsWriter some;
    some.DataType('I').ByteOrder("1,2,3,4");
    for (int j = 0; j < 6; ++j) some.Param("P" + std::to_string(j), j == 0 ? 16 : 128);
    some.Event({7, 0, 0, 0, 0, 0});
    auto ds = LoadFcsBytes(some.Build());
    EXPECT_EQ(UnreadableDataSetProblem(*ds), "");
    EXPECT_EQ(Column(*ds, 0), std::vector<float>{7});
    const std::string text = DataSetReadWarning(*ds);
    EXPECT_NE(text.find("parameter 2 (P1): $P2B 128"), std::string::npos) << text;
    EXPECT_NE(text.find("parameter 4 (P3)"), std::string::npos) << text;
    EXPECT_EQ(text.find("parameter 5 (P4)"), std::string::npos) << text;
    EXPECT_NE(text.find("and 2 more"), std::string::npos) << text;
}

// ---------------------------------------------------------------- keyword names

TEST(KeywordNames, AnyCaseOfANameFindsItAndValuesKeepTheirCase) {
    for (KeywordCase how : {KeywordCase::Lower, KeywordCase::Mixed}) {
        FcsWriter w;
        w.Keywords(how).Param("fsc-A", 32, "1024", "0,0", "Forward").Param("SSC-a", 32, "1024");
        w.Set("$Sample ID", "Tube b").Set("SPILL", "2,fsc-A,SSC-a,1,0.25,0,1");
        w.Set("Zoom", "2x");  // 'a' and 'z' are the ends of the folded letters
        w.Event({10, 20}).Event({30, 40});
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(how == KeywordCase::Lower ? "lower case" : "mixed case");
        EXPECT_EQ(ds->errors, Errors{});
        ASSERT_EQ(ds->GetParamCount(), 2);
        EXPECT_EQ(ds->GetParam(0)->name, "fsc-A");
        EXPECT_EQ(ds->GetParam(0)->shortName, "Forward");
        EXPECT_FLOAT_EQ(ds->GetParam(1)->range, 1024.0f);
        EXPECT_EQ(ds->GetKeywordValue("$SAMPLE ID"), "Tube b");
        EXPECT_EQ(ds->GetKeywordValue("$sample id"), "Tube b");
        EXPECT_EQ(ds->GetKeywordValue("ZOOM"), "2x");
        EXPECT_EQ(ds->GetEventCount(), 2);
        EXPECT_EQ(Column(*ds, 1), (std::vector<float>{20, 40}));
        ASSERT_NE(ds->GetParamSet()->GetSpillMatrix(), nullptr);
        EXPECT_EQ(ds->GetParamSet()->GetSpillMatrix()->indices, (std::vector<int32_t>{0, 1}));
    }
}

TEST(KeywordNames, ADuplicateInAnotherCaseIsTheSameKeywordAndTheFirstWins) {
    CKeywordTable t;
    t.ParseSegment("/$PAR/2/$par/9/$Tot/5/");
    EXPECT_EQ(t.GetKeywordValue("$PAR"), "2");
    EXPECT_EQ(t.GetKeywordValue("$tot"), "5");
    ASSERT_NE(t.FindKeyword("$TOT"), nullptr);
    EXPECT_EQ(t.FindKeyword("$TOT")->keyword, "$Tot");
    // Only ASCII letters fold: other bytes and lengths must match.
    t.ParseSegment("/\xC4X/1/");
    EXPECT_EQ(t.FindKeyword("\xE4X"), nullptr);
    ASSERT_NE(t.FindKeyword("\xC4x"), nullptr);
    EXPECT_EQ(t.FindKeyword("\xC4x")->value, "1");
    EXPECT_EQ(t.FindKeyword("$PA"), nullptr);
    EXPECT_EQ(t.FindKeyword("$PARS"), nullptr);
    EXPECT_EQ(t.FindKeyword("$P@R"), nullptr);  // '@' is not a letter one below 'A'
}

TEST(KeywordNames, EveryNameOfALargeTableFindsItsOwnPair) {
    // Names that are prefixes of one another, in both cases, share buckets
    // of the look-up: each must still find its own value and no other.
    std::string seg = "/";
    for (int i = 1; i <= 3000; ++i) seg += "$P" + std::to_string(i) + (i % 2 ? "n" : "N") + "/v" + std::to_string(i) + "/";
    CKeywordTable t;
    t.ParseSegment(seg);
    ASSERT_EQ(t.Pairs().size(), 3000u);
    for (int i = 1; i <= 3000; ++i) {
        const CKeywordPair* p = t.FindKeyword("$P" + std::to_string(i) + "N");
        ASSERT_NE(p, nullptr) << i;
        EXPECT_EQ(p->value, "v" + std::to_string(i));
    }
    for (int i : {0, 3001, 30000, 12345})
        EXPECT_EQ(t.FindKeyword("$P" + std::to_string(i) + "N"), nullptr) << i;
    EXPECT_EQ(t.FindKeyword("$P1"), nullptr);
    EXPECT_EQ(t.FindKeyword("$P1NN"), nullptr);
}

TEST(KeywordNames, SpillWithSpacesAfterItsCommasIsUsed) {
    FcsWriter w;
    w.Param("FL1", 32, "1024").Param("FL2", 32, "1024");
    w.Set("$SPILLOVER", "2, FL1, FL2, 1, 0.5, 0.125, 1").Event({100, 200});
    auto ds = LoadFcsBytes(w.Build());
    const CSpillMatrix* m = ds->GetParamSet()->GetSpillMatrix();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->indices, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(m->values, (std::vector<float>{1, 0.5f, 0.125f, 1}));
    EXPECT_EQ(DataSetReadWarning(*ds), "");
}

TEST(KeywordNames, ASpillThatCannotBeUsedIsNamedNotDropped) {
    const struct {
        const char* value;
        const char* why;
    } cases[] = {
        {"2,FL1,FL9,1,0,0,1", "its SPILL keyword names \"FL9\", which no parameter has"},
        {"2,FL1,FL1,1,0,0,1", "its SPILL keyword names parameter 1 twice"},
        {"2,FL1,FL2,1,0,0", "its SPILL keyword holds 5 values where 2 names and 4 coefficients belong"},
        {"3,FL1,FL2,FL3,1,0,0,0,1,0,0,0,1", "its SPILL keyword names 3 parameters of 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        FcsWriter w;
        w.Param("FL1", 32, "1024").Param("FL2", 32, "1024").Set("SPILL", c.value).Event({1, 2});
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(ds->GetParamSet()->GetSpillMatrix(), nullptr);
        EXPECT_EQ(ds->errors, Errors{kErrSpillUnusable});
        EXPECT_EQ(DataSetReadWarning(*ds), std::string("The spillover matrix of memory.fcs cannot be used: ") +
                                               c.why + ". Its events are shown without compensation.");
    }
}

}  // namespace
