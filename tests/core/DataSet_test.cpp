// Loading data sets: parameters, DATA decoding, error codes and broken files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/MappedFile.h"
#include "core/DataSet.h"
#include "core/ErrorCodes.h"
#include "tests/support/FcsWriter.h"

namespace {

using lmtest::FcsLayout;
using lmtest::FcsWriter;
using lmtest::LoadFcsBytes;
using Errors = std::vector<int32_t>;

std::vector<float> Column(const CDataSet& ds, int32_t j) {
    std::vector<float> out;
    const CEventMatrix* m = ds.GetEventMatrix();
    if (!m) return out;
    const float* c = m->GetColumn(j);
    if (!c) return out;
    out.assign(c, c + ds.GetEventCount());
    return out;
}

std::vector<float> RawColumn(const CDataSet& ds, int32_t j) {
    std::vector<float> out;
    const CEventMatrix* m = ds.GetEventMatrix();
    if (!m) return out;
    const float* c = m->GetRawColumn(j);
    if (!c) return out;
    out.assign(c, c + ds.GetEventCount());
    return out;
}

bool Has(const Errors& e, int32_t code) { return std::find(e.begin(), e.end(), code) != e.end(); }

// Two 32-bit float parameters, three events.
FcsWriter SmallFloat() {
    FcsWriter w;
    w.Param("FSC-A", 32, "262144").Param("SSC-A", 32, "262144");
    w.Event({1.0, 2.0}).Event({3.0, 4.0}).Event({5.5, -6.25});
    return w;
}

// ---------------------------------------------------------------- the test writer

// The synthetic files are only as good as the writer: check its bytes against
// the layout the standard describes, independently of the reader.
TEST(SyntheticWriter, BytesFollowTheStandardLayout) {
    EXPECT_EQ(lmtest::EncodeUnsigned(0x010203, 3, "4,3,2,1"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(lmtest::EncodeUnsigned(0x010203, 3, "1,2,3,4"), (std::vector<uint8_t>{3, 2, 1}));
    EXPECT_EQ(lmtest::EncodeUnsigned(0xA1B2, 2, "2,1"), (std::vector<uint8_t>{0xA1, 0xB2}));
    EXPECT_EQ(lmtest::EncodeUnsigned(0xA1B2, 2, "1,2"), (std::vector<uint8_t>{0xB2, 0xA1}));
    EXPECT_EQ(lmtest::EncodeUnsigned(0x11223344, 4, "3,4,1,2"), (std::vector<uint8_t>{0x22, 0x11, 0x44, 0x33}));

    FcsWriter w;
    w.Version("FCS3.1").DataType('I').ByteOrder("4,3,2,1").Param("A", 16, "1024").Event({0x0102});
    FcsLayout lay;
    const std::vector<uint8_t> b = w.Build(&lay);
    const std::string s(b.begin(), b.end());
    const auto& d = lay.dataSets[0];
    EXPECT_EQ(s.substr(0, 10), "FCS3.1    ");
    EXPECT_EQ(s.substr(10, 8), "     256");
    EXPECT_EQ(s.substr(18, 8), FcsWriter::HeaderField(d.text.end));
    EXPECT_EQ(s.substr(26, 8), FcsWriter::HeaderField(d.data.begin));
    EXPECT_EQ(s.substr(34, 8), FcsWriter::HeaderField(d.data.end));
    EXPECT_EQ(s.substr(42, 16), "       0       0");
    EXPECT_EQ(d.text.end + 1, d.data.begin);
    EXPECT_EQ(d.data.Size(), 2);
    EXPECT_EQ(d.data.end, int64_t(b.size()) - 1);
    EXPECT_EQ(b[size_t(d.data.begin)], 0x01);
    EXPECT_EQ(b[size_t(d.data.end)], 0x02);
    const std::string text = s.substr(size_t(d.text.begin), size_t(d.text.Size()));
    EXPECT_EQ(text.front(), '/');
    EXPECT_EQ(text.back(), '/');
    EXPECT_NE(text.find("/$BEGINDATA/" + std::to_string(d.data.begin) + "/"), std::string::npos);
    EXPECT_NE(text.find("/$ENDDATA/" + std::to_string(d.data.end) + "/"), std::string::npos);
    EXPECT_NE(text.find("/$P1B/16/"), std::string::npos);
    EXPECT_NE(text.find("/$TOT/1/"), std::string::npos);

    // A chain: each $NEXTDATA is the distance to the next HEADER.
    FcsWriter c;
    c.Param("A", 32, "").Event({1});
    c.NextDataSet().Param("B", 32, "").Event({2});
    FcsLayout cl;
    const std::vector<uint8_t> cb = c.Build(&cl);
    const std::string cs(cb.begin(), cb.end());
    ASSERT_EQ(cl.dataSets.size(), 2u);
    EXPECT_EQ(cs.substr(size_t(cl.dataSets[1].start), 3), "FCS");
    EXPECT_NE(cs.find("/$NEXTDATA/" + std::to_string(cl.dataSets[1].start) + "/"), std::string::npos);
}

// ---------------------------------------------------------------- decoding

TEST(DataSetDecode, SixteenBitIntegersInEitherByteOrder) {
    const std::vector<uint8_t> data = {0x01, 0x00, 0x02, 0x01, 0x03, 0x00,
                                       0x04, 0x02, 0xFF, 0xFF, 0x00, 0x80};
    for (const char* order : {"1,2", "2,1"}) {
        FcsWriter w;
        w.DataType('I').ByteOrder(order);
        w.Param("A", 16, "65536").Param("B", 16, "65536");
        w.RawData(data).Set("$TOT", "3");
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(order);
        EXPECT_EQ(ds->errors, Errors{});
        EXPECT_EQ(ds->GetDataType(), 'I');
        ASSERT_EQ(ds->GetEventCount(), 3);
        ASSERT_EQ(ds->GetParamCount(), 2);
        EXPECT_EQ(ds->GetParamSet()->bytesPerEvent, 4);
        if (std::string(order) == "1,2") {
            EXPECT_EQ(Column(*ds, 0), (std::vector<float>{1, 3, 65535}));
            EXPECT_EQ(Column(*ds, 1), (std::vector<float>{0x0102, 0x0204, 0x8000}));
        } else {
            EXPECT_EQ(Column(*ds, 0), (std::vector<float>{0x0100, 0x0300, 65535}));
            EXPECT_EQ(Column(*ds, 1), (std::vector<float>{0x0201, 0x0402, 0x0080}));
        }
        // Until something compensates, readers see the raw values.
        EXPECT_EQ(Column(*ds, 1), RawColumn(*ds, 1));
    }
}

TEST(DataSetDecode, FloatsInEitherByteOrder) {
    // 1.5f = 0x3FC00000, -42.0f = 0xC2280000, 1e-3f = 0x3A83126F
    const std::vector<uint8_t> big = {0x3F, 0xC0, 0, 0, 0xC2, 0x28, 0, 0, 0x3A, 0x83, 0x12, 0x6F};
    std::vector<uint8_t> little = big;
    for (size_t i = 0; i < little.size(); i += 4) std::reverse(little.begin() + long(i), little.begin() + long(i + 4));
    for (auto [order, bytes] : {std::pair{"4,3,2,1", big}, std::pair{"1,2,3,4", little}}) {
        FcsWriter w;
        w.DataType('F').ByteOrder(order);
        w.Param("A", 32, "1024").Param("B", 32, "1024").Param("C", 32, "1024");
        w.RawData(bytes).Set("$TOT", "1");
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(order);
        EXPECT_EQ(ds->errors, Errors{});
        ASSERT_EQ(ds->GetEventCount(), 1);
        EXPECT_EQ(Column(*ds, 0), std::vector<float>{1.5f});
        EXPECT_EQ(Column(*ds, 1), std::vector<float>{-42.0f});
        EXPECT_EQ(Column(*ds, 2), std::vector<float>{1e-3f});
    }
}

TEST(DataSetDecode, VersionsAndByteOrdersRoundTrip) {
    const std::vector<std::vector<double>> events = {
        {0.0, 1.25, -3.5}, {1e6, -1e-6, 42.0}, {262143.0, 0.5, -0.0}, {7.0, 8.0, 9.0}};
    for (const char* version : {"FCS2.0", "FCS3.0", "FCS3.1"}) {
        for (const char* order : {"1,2,3,4", "4,3,2,1"}) {
            FcsWriter w;
            w.Version(version).ByteOrder(order);
            w.Param("FSC", 32, "262144").Param("SSC", 32, "262144").Param("FL1", 32, "262144");
            for (const auto& e : events) w.Event(e);
            auto ds = LoadFcsBytes(w.Build());
            SCOPED_TRACE(std::string(version) + " " + order);
            EXPECT_EQ(ds->errors, Errors{});
            ASSERT_EQ(ds->GetEventCount(), 4);
            for (int j = 0; j < 3; ++j) {
                std::vector<float> want;
                for (const auto& e : events) want.push_back(float(e[size_t(j)]));
                EXPECT_EQ(Column(*ds, j), want) << "column " << j;
            }
        }
    }
}

TEST(DataSetDecode, MixedIntegerWidthsInOneEvent) {
    const std::vector<std::vector<double>> events = {
        {200, 60000, 16000000, 4000000000.0}, {1, 2, 3, 4}, {255, 65535, 16777215, 4294967040.0}};
    for (const char* order : {"1,2,3,4", "4,3,2,1"}) {
        FcsWriter w;
        w.DataType('I').ByteOrder(order);
        w.Param("B8", 8, "256").Param("B16", 16, "65536").Param("B24", 24, "16777216")
            .Param("B32", 32, "4294967296");
        for (const auto& e : events) w.Event(e);
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(order);
        EXPECT_EQ(ds->errors, Errors{});
        EXPECT_EQ(ds->GetParamSet()->bytesPerEvent, 10);
        ASSERT_EQ(ds->GetEventCount(), 3);
        for (int j = 0; j < 4; ++j) {
            std::vector<float> want;
            for (const auto& e : events) want.push_back(float(e[size_t(j)]));
            EXPECT_EQ(Column(*ds, j), want) << "column " << j;
        }
    }
}

TEST(DataSetDecode, ByteOrderIgnoresEverythingButDigits) {
    const std::vector<uint8_t> data = {0x12, 0x34, 0x56, 0x78};
    for (const char* order : {"4,3,2,1", "4, 3, 2, 1", " 4 ,3 ,2 ,1 ", "4;3;2;1"}) {
        FcsWriter w;
        w.DataType('I').ByteOrder(order).Param("A", 32, "");
        w.RawData(data).Set("$TOT", "1");
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(order);
        EXPECT_EQ(ds->GetParamSet()->byteOrder, (std::vector<int32_t>{4, 3, 2, 1}));
        EXPECT_EQ(Column(*ds, 0), std::vector<float>{float(0x12345678u)});
        EXPECT_EQ(ds->errors, Errors{});
    }
}

TEST(DataSetDecode, IntegersAreMaskedToTheRangeBitWidth) {
    struct Case {
        const char* range;
        int bits;
        double stored;
        float want;
    };
    const std::vector<Case> cases = {
        {"1024", 16, 0x8405, 5},                 // flag bits above 10 bits
        {"1024", 16, 1023, 1023},
        {"1000", 16, 0x8405, 5},                 // not a power of two: the next one (1024)
        {"1000", 16, 1001, 1001},
        {"1025", 16, 0xFFFF, 2047},              // next power of two is 2048
        {"0", 16, 0x8405, 0x8405},               // 0 counts as absent: no mask
        {"", 16, 0x8405, 0x8405},                // absent: no mask
        {"262144", 16, 0xFFFF, 65535},           // a range wider than the value
        {"256", 8, 0xFF, 255},
        {"2147483647", 32, 0x80000001u, 1},      // 2^31 - 1 rounds up to 2^31
        {"4294967296", 32, 0xFFFFFFFFu, 4294967295.0f},  // all 32 bits
        {"1e12", 32, 0xFFFFFFFFu, 4294967295.0f},        // more bits than the value has
    };
    for (const Case& c : cases) {
        FcsWriter w;
        w.DataType('I').ByteOrder("1,2,3,4");
        w.Param("X", c.bits, c.range).Param("Y", 16, "1024");
        w.Event({c.stored, 0x8405});
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(std::string("$PnR ") + c.range);
        EXPECT_EQ(ds->errors, Errors{});
        EXPECT_EQ(Column(*ds, 0), std::vector<float>{c.want});
        EXPECT_EQ(Column(*ds, 1), std::vector<float>{5});
    }
}

TEST(DataSetDecode, FloatsAreNotMaskedToTheirRange) {
    FcsWriter w;
    w.Param("X", 32, "1024").Event({5000.25}).Event({-3.0});
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(Column(*ds, 0), (std::vector<float>{5000.25f, -3.0f}));
}

TEST(DataSetDecode, UndecodableParameterGetsError15AndZeroColumnOthersDecode) {
    struct Row {
        const char* why;
        char type;
        const char* order;
        int bits[3];
        int64_t bytesPerEvent;
    } rows[] = {
        {"five bytes a value", 'I', "1,2,3,4", {16, 40, 16}, 9},
        {"the byte order names two bytes, the parameter has four", 'I', "1,2", {16, 32, 16}, 8},
        {"a float is four bytes, not two", 'F', "1,2,3,4", {32, 16, 32}, 10},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        FcsWriter w;
        w.DataType(r.type).ByteOrder(r.order);
        w.Param("A", r.bits[0], "65536").Param("B", r.bits[1], "").Param("C", r.bits[2], "65536");
        w.Event({11, 77, 13}).Event({21, 88, 23});
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(ds->errors, Errors{kErrParamUndecodable});
        EXPECT_EQ(ds->GetParamSet()->bytesPerEvent, r.bytesPerEvent);
        ASSERT_EQ(ds->GetEventCount(), 2);
        EXPECT_EQ(Column(*ds, 0), (std::vector<float>{11, 21}));
        EXPECT_EQ(Column(*ds, 1), (std::vector<float>{0, 0}));
        EXPECT_EQ(Column(*ds, 2), (std::vector<float>{13, 23}));
    }
}

TEST(DataSetDecode, UnknownDataTypeDecodesNothing) {
    FcsWriter w = SmallFloat();
    w.Set("$DATATYPE", "A");
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->GetDataType(), 0);
    EXPECT_EQ(ds->errors, Errors{kErrParamUndecodable});
    ASSERT_EQ(ds->GetEventCount(), 3);  // the rows exist, all zero
    for (int j = 0; j < 2; ++j) EXPECT_EQ(Column(*ds, j), std::vector<float>(3, 0.0f));
}

// ---------------------------------------------------------------- parameters

// Column lookups answer null outside 0..count-1 and a column for every index inside.
TEST(DataSetDecode, ColumnIndicesOutsideTheParametersGiveNull) {
    auto ds = LoadFcsBytes(SmallFloat().Build());
    ASSERT_TRUE(ds && ds->GetEventMatrix());
    const CEventMatrix* m = ds->GetEventMatrix();
    ASSERT_EQ(m->GetParamCount(), 2);
    const struct {
        int32_t index;
        bool present;
    } cases[] = {{-1, false}, {0, true}, {1, true}, {2, false}, {INT32_MIN, false}, {INT32_MAX, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(m->GetRawColumn(c.index) != nullptr, c.present) << c.index;
        EXPECT_EQ(m->GetColumn(c.index) != nullptr, c.present) << c.index;
    }
    EXPECT_EQ(RawColumn(*ds, 0), (std::vector<float>{1.0f, 3.0f, 5.5f}));
    EXPECT_EQ(RawColumn(*ds, 1), (std::vector<float>{2.0f, 4.0f, -6.25f}));
}

TEST(DataSetParams, KeywordsAreConvertedAndFlagged) {
    FcsWriter w;
    w.DataType('I').ByteOrder("1,2,3,4");
    w.Param("FL1-H", 16, "1024", "4,0", "CD3");
    w.Param("FL2-H", 16, "1024", "0,0");
    w.Param("FL3-H", 16, "1024", "4");
    w.Param("FL4-H", 16, "", "");
    w.Set("$P1F", "530/30").Set("$P1L", "488").Set("$P1G", "1.5").Set("$P1V", "450.25");
    w.Set("$P2E", "2.5,0.01");
    w.Event({1, 2, 3, 4});
    auto ds = LoadFcsBytes(w.Build());
    ASSERT_EQ(ds->GetParamCount(), 4);
    const CParam* p1 = ds->GetParam(0);
    EXPECT_TRUE(p1->hasName);
    EXPECT_EQ(p1->name, "FL1-H");
    EXPECT_TRUE(p1->hasShortName);
    EXPECT_EQ(p1->shortName, "CD3");
    EXPECT_TRUE(p1->hasFilter);
    EXPECT_EQ(p1->filter, "530/30");
    EXPECT_TRUE(p1->hasBits);
    EXPECT_EQ(p1->bits, 16);
    EXPECT_TRUE(p1->hasRange);
    EXPECT_EQ(p1->range, 1024.0f);
    EXPECT_TRUE(p1->hasWavelength);
    EXPECT_EQ(p1->wavelength, 488);
    EXPECT_TRUE(p1->hasGain);
    EXPECT_EQ(p1->gain, 1.5);
    EXPECT_TRUE(p1->hasVoltage);
    EXPECT_EQ(p1->voltage, 450.25);
    EXPECT_TRUE(p1->hasDecades);
    EXPECT_EQ(p1->decades, 4.0);
    EXPECT_EQ(p1->offset, 0.0);
    EXPECT_TRUE(p1->IsLogScale());

    const CParam* p2 = ds->GetParam(1);
    EXPECT_FALSE(p2->hasShortName);
    EXPECT_FALSE(p2->hasFilter);
    EXPECT_FALSE(p2->hasGain);
    EXPECT_EQ(p2->decades, 2.5);
    EXPECT_EQ(p2->offset, 0.01);
    EXPECT_TRUE(p2->IsLogScale());

    const CParam* p3 = ds->GetParam(2);  // "4": both numbers from the whole value
    EXPECT_EQ(p3->decades, 4.0);
    EXPECT_EQ(p3->offset, 4.0);

    const CParam* p4 = ds->GetParam(3);
    EXPECT_FALSE(p4->hasRange);
    EXPECT_FALSE(p4->hasDecades);
    EXPECT_EQ(p4->offset, 0.0);
    EXPECT_FALSE(p4->IsLogScale());

    EXPECT_EQ(ds->GetParam(-1), nullptr);
    EXPECT_EQ(ds->GetParam(4), nullptr);
}

TEST(DataSetParams, LinearDecadesAreNotLogScale) {
    FcsWriter w;
    w.Param("A", 32, "1024", "0,0").Param("B", 32, "1024", "0.0,1.0").Event({1, 2});
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_FALSE(ds->GetParam(0)->IsLogScale());
    EXPECT_FALSE(ds->GetParam(1)->IsLogScale());
    EXPECT_TRUE(ds->GetParam(0)->hasDecades);
}

TEST(DataSetParams, RangeZeroCountsAsAbsent) {
    FcsWriter w;
    w.Param("A", 32, "0").Param("B", 32, "-5").Event({1, 2});
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_FALSE(ds->GetParam(0)->hasRange);
    EXPECT_FALSE(ds->GetParam(1)->hasRange);
}

TEST(DataSetParams, SupplementalKeywordsAreSeenAfterThePrimaryOnes) {
    FcsWriter w = SmallFloat();
    w.Supplemental("$P2S", "CD4").Supplemental("$P1N", "NOT-USED").Supplemental("OPERATOR", "Ann");
    FcsLayout lay;
    auto ds = LoadFcsBytes(w.Build(&lay));
    ASSERT_GT(lay.dataSets[0].stext.Size(), 0);
    EXPECT_EQ(ds->errors, Errors{});
    EXPECT_EQ(ds->GetKeywordValue("OPERATOR"), "Ann");
    EXPECT_EQ(ds->GetParam(0)->name, "FSC-A");  // the primary value comes first
    EXPECT_EQ(ds->GetParam(1)->shortName, "CD4");
    const CKeywordTable* sup = ds->GetSupplementalTable();
    ASSERT_NE(sup, nullptr);
    EXPECT_EQ(sup->GetKeywordValue("OPERATOR"), "Ann");
    EXPECT_EQ(sup->FindKeyword("$PAR"), nullptr);
    EXPECT_EQ(Column(*ds, 1), (std::vector<float>{2, 4, -6.25f}));

    auto plain = LoadFcsBytes(SmallFloat().Build());
    EXPECT_EQ(plain->GetSupplementalTable(), nullptr);
}

TEST(DataSetParams, CustomDelimiterEscapedInValues) {
    for (char d : {'\x0c', '|', '\\', '*'}) {
        FcsWriter w;
        w.Delimiter(d);
        std::string name = std::string("a") + d + "b";
        w.Param(name, 32, "1024").Param("C", 32, "1024").Event({1, 2}).Event({3, 4});
        w.Set("$FIL", std::string("x") + d + d + "y");
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(int(d));
        EXPECT_EQ(ds->errors, Errors{});
        EXPECT_EQ(ds->GetParam(0)->name, name);
        EXPECT_EQ(ds->GetKeywordValue("$FIL"), std::string("x") + d + d + "y");
        EXPECT_EQ(Column(*ds, 1), (std::vector<float>{2, 4}));
    }
}

TEST(DataSetParams, FileNameAndFolderFromThePath) {
    auto a = LoadFcsBytes(SmallFloat().Build(), 0, "C:\\data\\a.fcs");
    EXPECT_EQ(a->GetFileName(), "a.fcs");
    EXPECT_EQ(a->GetFileDir(), "C:\\data\\");
    EXPECT_EQ(a->GetPathName(), "C:\\data\\a.fcs");
    auto b = LoadFcsBytes(SmallFloat().Build(), 0, "a.fcs");
    EXPECT_EQ(b->GetFileName(), "a.fcs");
    EXPECT_EQ(b->GetFileDir(), "");
    auto c = LoadFcsBytes(SmallFloat().Build(), 0, "/home/u/runs/b.fcs");
    EXPECT_EQ(c->GetFileName(), "b.fcs");
    EXPECT_EQ(c->GetFileDir(), "/home/u/runs/");
}

TEST(DataSetParams, AddParamBuildsAFilelessDataSet) {
    CDataSet ds;
    EXPECT_EQ(ds.GetParamCount(), 0);
    EXPECT_EQ(ds.GetEventCount(), 0);
    EXPECT_TRUE(ds.errors.empty());
    ds.AddParam(1024, 4.0, 1.0);
    ds.AddParam(262144, 0.0, 0.0);
    ASSERT_EQ(ds.GetParamCount(), 2);
    const CParam* p = ds.GetParam(0);
    EXPECT_TRUE(p->hasRange);
    EXPECT_EQ(p->range, 1024.0f);
    EXPECT_TRUE(p->hasDecades);
    EXPECT_EQ(p->decades, 4.0);
    EXPECT_EQ(p->offset, 1.0);
    EXPECT_TRUE(p->IsLogScale());
    EXPECT_FALSE(p->hasName);
    EXPECT_FALSE(p->hasBits);
    EXPECT_FALSE(ds.GetParam(1)->IsLogScale());
    EXPECT_EQ(ds.GetKeywordValue("$PAR"), "");
}

// ---------------------------------------------------------------- error codes

TEST(DataSetErrors, ParCountMissingOrBelowOneGives12) {
    for (const char* par : {"0", "-3", "", "abc"}) {
        FcsWriter w;
        if (*par) w.Set("$PAR", par); else w.Remove("$PAR");
        auto ds = LoadFcsBytes(w.Build());  // no parameters, no events
        SCOPED_TRACE(std::string("$PAR '") + par + "'");
        EXPECT_EQ(ds->errors, Errors{kErrNoParameters});
        EXPECT_EQ(ds->GetParamCount(), 0);
        ASSERT_NE(ds->GetEventMatrix(), nullptr);
        EXPECT_EQ(ds->GetEventMatrix()->GetParamCount(), 0);
        EXPECT_EQ(ds->GetEventCount(), 0);
    }
    // With DATA present and $TOT set, zero bytes per event still gives no events.
    FcsWriter w = SmallFloat();
    w.Set("$PAR", "0");
    auto ds = LoadFcsBytes(w.Build());
    ASSERT_FALSE(ds->errors.empty());
    EXPECT_EQ(ds->errors[0], kErrNoParameters);
    EXPECT_EQ(ds->GetParamCount(), 0);
    EXPECT_EQ(ds->GetEventCount(), 0);
}

TEST(DataSetErrors, MissingBitsGiveNoEvents) {
    FcsWriter w = SmallFloat();
    w.Remove("$P1B").Remove("$P2B");
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->GetParamSet()->bytesPerEvent, 0);
    EXPECT_EQ(ds->GetEventCount(), 0);
    EXPECT_TRUE(Has(ds->errors, kErrDataSize));
}

TEST(DataSetErrors, ParCountTheFileCannotHoldGives13) {
    FcsWriter w = SmallFloat();
    w.Set("$PAR", "2000000000");
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_TRUE(Has(ds->errors, kErrSizeImpossible));
    EXPECT_EQ(ds->GetParamCount(), 0);
    EXPECT_EQ(ds->GetEventCount(), 0);
}

TEST(DataSetErrors, TotTheFileCannotHoldGives13WithoutAGiantMatrix) {
    for (const char* tot : {"2000000000", "2147483647", "99999999999999"}) {
        FcsWriter w = SmallFloat();
        w.Set("$TOT", tot);
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(tot);
        EXPECT_TRUE(Has(ds->errors, kErrSizeImpossible));
        // Never more events than the DATA holds, and those that are kept are right.
        ASSERT_LE(ds->GetEventCount(), 3);
        const std::vector<float> want = {1, 3, 5.5f};
        const std::vector<float> got = Column(*ds, 0);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));
    }
}

TEST(DataSetErrors, AbsurdBitWidthsGiveNoEvents) {
    // Widths whose byte sum does not fit 32 bits, and negative widths.
    FcsWriter w;
    for (int i = 0; i < 10; ++i) w.Param("P" + std::to_string(i), 8, "1024");
    w.Event({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    for (int i = 1; i <= 10; ++i) w.Set("$P" + std::to_string(i) + "B", "2147483647");
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->GetParamCount(), 10);
    EXPECT_EQ(ds->GetEventCount(), 0);
    EXPECT_FALSE(ds->errors.empty());

    FcsWriter n;
    n.Param("A", 8, "").Param("B", 8, "").Event({1, 2}).Event({3, 4});
    n.Set("$P1B", "-8");
    auto neg = LoadFcsBytes(n.Build());
    EXPECT_FALSE(neg->errors.empty());
    EXPECT_LE(neg->GetEventCount(), 2);
}

TEST(DataSetErrors, NotListModeGives4AndNoEvents) {
    for (const char* mode : {"C", "l", "U", " "}) {
        FcsWriter w = SmallFloat();
        w.Mode(mode);
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(std::string("$MODE '") + mode + "'");
        EXPECT_EQ(ds->errors, Errors{kErrNotListMode});
        EXPECT_EQ(ds->GetEventMatrix(), nullptr);
        EXPECT_EQ(ds->GetEventCount(), 0);
        EXPECT_EQ(ds->GetParamCount(), 2);  // parameters were read before
    }
}

TEST(DataSetErrors, DoubledDelimiterGives10ThenMissingPar) {
    FcsWriter w = SmallFloat();
    w.PatchBytes([](std::vector<uint8_t>& b, const FcsLayout& l) {
        b[size_t(l.dataSets[0].text.begin + 1)] = '/';
    });
    auto ds = LoadFcsBytes(w.Build());
    ASSERT_GE(ds->errors.size(), 2u);
    EXPECT_EQ(ds->errors[0], kErrDoubledDelimiter);
    EXPECT_EQ(ds->errors[1], kErrNoParameters);
    EXPECT_EQ(ds->GetParamCount(), 0);
    EXPECT_EQ(ds->GetEventCount(), 0);
}

TEST(DataSetErrors, InvalidHeaderGives1Twice) {
    std::vector<std::vector<uint8_t>> files;
    files.push_back({});
    files.push_back({'o', 'i', '2', '1', 'j', '0', '8', 'c', 'n', '\n'});
    std::vector<uint8_t> b = SmallFloat().Build();
    b[0] = 'f';
    files.push_back(b);
    b = SmallFloat().Build();
    b.resize(57);
    files.push_back(b);
    for (const auto& f : files) {
        auto ds = LoadFcsBytes(f);
        EXPECT_EQ(ds->errors, (Errors{kErrHeaderInvalid, kErrHeaderInvalid}));
        EXPECT_EQ(ds->GetParamCount(), 0);
        EXPECT_EQ(ds->GetEventMatrix(), nullptr);
    }
    // A file that cannot be opened counts the same.
    CDataSet missing("/nonexistent/folder/x.fcs", 0);
    EXPECT_EQ(missing.errors, (Errors{kErrHeaderInvalid, kErrHeaderInvalid}));
    EXPECT_EQ(missing.GetPathName(), "/nonexistent/folder/x.fcs");
}

// ---------------------------------------------------------------- segments past the end

TEST(DataSetSegments, DataEndPastTheFileGives16Then17AndOnlyWholeEvents) {
    FcsWriter w = SmallFloat();
    w.Event({7, 8});
    FcsLayout lay;
    std::vector<uint8_t> full = w.Build(&lay);
    std::vector<uint8_t> cut(full.begin(), full.end() - 5);  // the fourth event loses 5 bytes
    auto ds = LoadFcsBytes(cut);
    EXPECT_EQ(ds->errors, (Errors{kErrDataPastEnd, kErrDataSize}));
    ASSERT_EQ(ds->GetEventCount(), 3);
    EXPECT_EQ(Column(*ds, 0), (std::vector<float>{1, 3, 5.5f}));
    EXPECT_EQ(Column(*ds, 1), (std::vector<float>{2, 4, -6.25f}));
}

TEST(DataSetSegments, InclusiveEndIsClampedToTheLastByte) {
    // DATA is the last segment; an end far beyond the file loses nothing, and
    // once clamped to the last byte the size matches $TOT exactly.
    for (const char* end : {"999999", "4294967307", "9223372036854775807"}) {
        FcsWriter w = SmallFloat();
        w.Set("$ENDDATA", end);
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(end);
        EXPECT_EQ(ds->errors, Errors{kErrDataPastEnd});
        ASSERT_EQ(ds->GetEventCount(), 3);
        EXPECT_EQ(Column(*ds, 1), (std::vector<float>{2, 4, -6.25f}));
    }
}

TEST(DataSetSegments, DataStartingBeyondTheFileGivesNoEvents) {
    FcsWriter w = SmallFloat();
    w.Set("$BEGINDATA", "5912").Set("$ENDDATA", "2165911");
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->errors, (Errors{kErrDataPastEnd, kErrDataSize}));
    EXPECT_EQ(ds->GetEventCount(), 0);
    EXPECT_EQ(ds->GetParamCount(), 2);
}

TEST(DataSetSegments, TextEndPastTheFileGives14AndKeepsTheKeywords) {
    FcsWriter w = SmallFloat();
    w.Event({1, 1});  // float bytes without '/'
    w.PatchBytes([](std::vector<uint8_t>& b, const FcsLayout&) {
        FcsWriter::PutHeaderField(b, 0, 1, "99999999");
    });
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->errors, Errors{kErrTextPastEnd});
    EXPECT_EQ(ds->GetParamCount(), 2);
    ASSERT_EQ(ds->GetEventCount(), 4);
    EXPECT_EQ(Column(*ds, 0), (std::vector<float>{1, 3, 5.5f, 1}));
}

TEST(DataSetSegments, CodesComeInLoadOrder) {
    {  // TEXT and DATA both run past the end of a truncated file.
        FcsWriter w = SmallFloat();
        w.Event({1, 1});
        w.PatchBytes([](std::vector<uint8_t>& b, const FcsLayout&) {
            FcsWriter::PutHeaderField(b, 0, 1, "99999999");
            b.resize(b.size() - 2);
        });
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(ds->errors, (Errors{kErrTextPastEnd, kErrDataPastEnd, kErrDataSize}));
        EXPECT_EQ(ds->GetEventCount(), 3);
    }
    {  // No parameters, then not list mode.
        FcsWriter w = SmallFloat();
        w.Set("$PAR", "0").Mode("C");
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(ds->errors, (Errors{kErrNoParameters, kErrNotListMode}));
    }
    {  // An undecodable parameter in a short DATA segment: the matrix's codes in its order.
        FcsWriter w;
        w.DataType('I').Param("A", 16, "").Param("W", 40, "").Event({1, 2}).Event({3, 4});
        w.TruncateTo(int64_t(w.Build().size()) - 1);
        auto ds = LoadFcsBytes(w.Build());
        ASSERT_GE(ds->errors.size(), 3u);
        EXPECT_EQ(ds->errors[0], kErrDataPastEnd);
        EXPECT_TRUE(Has(ds->errors, kErrDataSize));
        EXPECT_TRUE(Has(ds->errors, kErrParamUndecodable));
        EXPECT_EQ(Column(*ds, 0), std::vector<float>{1});
    }
}

TEST(DataSetSegments, TextEndOnTheLastByteIsNotPastTheEnd) {
    // A 2.0 file whose TEXT is its last segment (no DATA at all).
    FcsWriter w;
    w.Version("FCS2.0").Param("A", 32, "1024").Set("$TOT", "0");
    FcsLayout lay;
    std::vector<uint8_t> b = w.Build(&lay);
    ASSERT_EQ(lay.dataSets[0].text.end, int64_t(b.size()) - 1);
    auto ds = LoadFcsBytes(b);
    EXPECT_FALSE(Has(ds->errors, kErrTextPastEnd));
    EXPECT_EQ(ds->GetParamCount(), 1);
    EXPECT_EQ(ds->GetEventCount(), 0);
}

TEST(DataSetSegments, EmptyOneByteInvertedOrNegativeTextReadsNothing) {
    auto patchText = [](const char* begin, const char* end) {
        FcsWriter w = SmallFloat();
        w.PatchBytes([=](std::vector<uint8_t>& b, const FcsLayout&) {
            FcsWriter::PutHeaderField(b, 0, 0, begin);
            FcsWriter::PutHeaderField(b, 0, 1, end);
        });
        return w.Build();
    };
    for (auto [b, e] : {std::pair{"256", "256"}, {"300", "200"}, {"-100", "-50"}, {"-100", "256"},
                        {"999999", "9999999"}, {"0", "-1"}}) {
        auto ds = LoadFcsBytes(patchText(b, e));
        SCOPED_TRACE(std::string(b) + ".." + e);
        EXPECT_TRUE(Has(ds->errors, kErrNoParameters));
        EXPECT_EQ(ds->GetParamCount(), 0);
        EXPECT_EQ(ds->GetEventCount(), 0);
    }
}

TEST(DataSetSegments, NegativeOrInvertedDataReadsNothingOutsideTheFile) {
    for (auto [b, e] : {std::pair{"-50", "23"}, {"-1000", "-900"}, {"300", "200"}, {"400", "400"}}) {
        FcsWriter w = SmallFloat();
        w.Set("$BEGINDATA", b).Set("$ENDDATA", e);
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(std::string(b) + ".." + e);
        EXPECT_TRUE(Has(ds->errors, kErrDataSize));
        EXPECT_EQ(ds->GetEventCount(), 0);
    }
}

TEST(DataSetSegments, SupplementalTextPastTheEndKeepsWhatExists) {
    FcsWriter w = SmallFloat();
    w.Supplemental("OPERATOR", "Ann").Supplemental("CYT", "X");
    w.Set("$ENDSTEXT", "99999999");
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->GetKeywordValue("OPERATOR"), "Ann");
    EXPECT_EQ(ds->GetKeywordValue("CYT"), "X");
    EXPECT_EQ(ds->GetEventCount(), 3);
    // Inverted and negative supplemental ranges add nothing and do not stop loading.
    for (auto [b, e] : {std::pair{"500", "400"}, {"-40", "-20"}}) {
        FcsWriter v = SmallFloat();
        v.Set("$BEGINSTEXT", b).Set("$ENDSTEXT", e);
        auto d = LoadFcsBytes(v.Build());
        EXPECT_EQ(d->GetEventCount(), 3);
        EXPECT_EQ(d->GetParamCount(), 2);
    }
}

// ---------------------------------------------------------------- DATA offsets

TEST(DataSetOffsets, DataOffsetsOnlyInText) {
    for (auto how : {lmtest::HeaderDataOffsets::Blank, lmtest::HeaderDataOffsets::Zero}) {
        FcsWriter w = SmallFloat();
        w.HeaderData(how);
        auto ds = LoadFcsBytes(w.Build());
        EXPECT_EQ(ds->errors, Errors{});
        EXPECT_EQ(Column(*ds, 1), (std::vector<float>{2, 4, -6.25f}));
    }
}

TEST(DataSetOffsets, TextOffsetsWinOverTheHeader) {
    FcsWriter w = SmallFloat();
    w.PatchBytes([](std::vector<uint8_t>& b, const FcsLayout&) {
        FcsWriter::PutHeaderField(b, 0, 2, "100");
        FcsWriter::PutHeaderField(b, 0, 3, "123");
    });
    auto ds = LoadFcsBytes(w.Build());
    EXPECT_EQ(ds->errors, Errors{});
    EXPECT_EQ(Column(*ds, 0), (std::vector<float>{1, 3, 5.5f}));
}

TEST(DataSetOffsets, HeaderOffsetsOfA20File) {
    FcsWriter w = SmallFloat();
    w.Version("FCS2.0");
    FcsLayout lay;
    std::vector<uint8_t> b = w.Build(&lay);
    auto ds = LoadFcsBytes(b);
    EXPECT_EQ(ds->GetKeywordValue("$BEGINDATA"), "");
    EXPECT_EQ(ds->errors, Errors{});
    EXPECT_EQ(Column(*ds, 1), (std::vector<float>{2, 4, -6.25f}));

    // Zero-padded fields that touch each other are still read one by one.
    char field[9];
    std::snprintf(field, sizeof field, "%08lld", static_cast<long long>(lay.dataSets[0].data.begin));
    FcsWriter::PutHeaderField(b, 0, 2, field);
    std::snprintf(field, sizeof field, "%08lld", static_cast<long long>(lay.dataSets[0].data.end));
    FcsWriter::PutHeaderField(b, 0, 3, field);
    FcsWriter::PutHeaderField(b, 0, 4, "00000000");
    auto padded = LoadFcsBytes(b);
    EXPECT_EQ(padded->errors, Errors{});
    EXPECT_EQ(Column(*padded, 1), (std::vector<float>{2, 4, -6.25f}));
}

TEST(DataSetOffsets, GarbageInAHeaderFieldNeverCrashes) {
    for (const char* junk : {"ab12cdef", "--------", "\xff\xfe\x00\x01zzzz", "9e999999"}) {
        FcsWriter w = SmallFloat();
        w.Version("FCS2.0");
        w.PatchBytes([=](std::vector<uint8_t>& b, const FcsLayout&) {
            FcsWriter::PutHeaderField(b, 0, 2, std::string_view(junk, 8));
        });
        auto ds = LoadFcsBytes(w.Build());
        SCOPED_TRACE(junk);
        // Something is reported, and no event is invented.
        EXPECT_FALSE(ds->errors.empty());
        EXPECT_LE(ds->GetEventCount(), 3);
    }
}

// ---------------------------------------------------------------- $NEXTDATA

FcsWriter ThreeDataSets() {
    FcsWriter w;
    w.Param("FSC", 32, "1024").Param("SSC", 32, "1024").Event({1, 2}).Event({3, 4});
    w.NextDataSet();
    w.Version("FCS2.0").DataType('I').ByteOrder("4,3,2,1").Delimiter('\x0c');
    w.Param("CH1", 16, "1024").Param("CH2", 8, "256").Param("CH3", 24, "");
    w.Event({100, 200, 70000}).Event({1023, 255, 16777215}).Event({0, 1, 2});
    w.NextDataSet();
    w.Version("FCS3.1").HeaderData(lmtest::HeaderDataOffsets::Blank);
    w.Param("LAST", 32, "1024").Event({-1.5});
    return w;
}

TEST(DataSetChain, EachDataSetReadsItsOwnSegments) {
    FcsLayout lay;
    const std::vector<uint8_t> b = ThreeDataSets().Build(&lay);
    ASSERT_EQ(lay.dataSets.size(), 3u);

    auto d0 = LoadFcsBytes(b, 0);
    EXPECT_EQ(d0->errors, Errors{});
    EXPECT_EQ(d0->GetIndex(), 0);
    EXPECT_EQ(d0->GetParam(0)->name, "FSC");
    EXPECT_EQ(Column(*d0, 1), (std::vector<float>{2, 4}));

    auto d1 = LoadFcsBytes(b, 1);
    EXPECT_EQ(d1->errors, Errors{});
    EXPECT_EQ(d1->GetIndex(), 1);
    ASSERT_EQ(d1->GetParamCount(), 3);
    EXPECT_EQ(d1->GetParam(2)->name, "CH3");
    EXPECT_EQ(d1->GetDataType(), 'I');
    EXPECT_EQ(Column(*d1, 0), (std::vector<float>{100, 1023, 0}));
    EXPECT_EQ(Column(*d1, 1), (std::vector<float>{200, 255, 1}));
    EXPECT_EQ(Column(*d1, 2), (std::vector<float>{70000, 16777215, 2}));

    auto d2 = LoadFcsBytes(b, 2);
    EXPECT_EQ(d2->errors, Errors{});
    EXPECT_EQ(d2->GetParam(0)->name, "LAST");
    EXPECT_EQ(Column(*d2, 0), std::vector<float>{-1.5f});
}

TEST(DataSetChain, NoFurtherDataSetGives1) {
    const std::vector<uint8_t> b = ThreeDataSets().Build();
    for (int32_t index : {3, 10, -1}) {
        auto ds = LoadFcsBytes(b, index);
        SCOPED_TRACE(index);
        ASSERT_FALSE(ds->errors.empty());
        for (int32_t e : ds->errors) EXPECT_EQ(e, kErrHeaderInvalid);
        EXPECT_EQ(ds->GetEventCount(), 0);
    }
    // $NEXTDATA 0, absent, negative, or pointing past the end or at no HEADER.
    for (const char* next : {"0", "", "-300", "99999999", "5", "9223372036854775807"}) {
        FcsWriter w = SmallFloat();
        if (*next) w.Set("$NEXTDATA", next); else w.Remove("$NEXTDATA");
        auto ds = LoadFcsBytes(w.Build(), 1);
        SCOPED_TRACE(std::string("$NEXTDATA '") + next + "'");
        ASSERT_FALSE(ds->errors.empty());
        for (int32_t e : ds->errors) EXPECT_EQ(e, kErrHeaderInvalid);
        EXPECT_EQ(ds->GetEventCount(), 0);
    }
}

TEST(DataSetChain, SecondDataSetTextPastTheEndIsClamped) {
    FcsWriter w;
    w.Param("A", 32, "1024").Event({1});
    w.NextDataSet();
    w.Version("FCS2.0").Param("B", 32, "1024").Event({2});
    FcsLayout lay;
    std::vector<uint8_t> b = w.Build(&lay);
    // Second data set's TEXT end far beyond the file.
    FcsWriter::PutHeaderField(b, lay.dataSets[1].start, 1, "99999999");
    auto ds = LoadFcsBytes(b, 1);
    ASSERT_FALSE(ds->errors.empty());
    EXPECT_EQ(ds->errors[0], kErrTextPastEnd);
    EXPECT_EQ(ds->GetParam(0)->name, "B");
}

TEST(DataSetChain, ExtremeOffsetsInASecondDataSet) {
    const char* kMax = "9223372036854775807";
    const char* kMin = "-9223372036854775808";
    for (auto [k, v] : {std::pair{"$BEGINDATA", kMax}, {"$ENDDATA", kMax}, {"$BEGINDATA", kMin},
                        {"$ENDDATA", kMin}, {"$BEGINSTEXT", kMax}, {"$ENDSTEXT", kMin}}) {
        FcsWriter w;
        w.Param("A", 32, "1024").Event({1});
        w.NextDataSet();
        w.Param("B", 32, "1024").Event({2}).Event({3});
        w.Set(k, v);
        auto ds = LoadFcsBytes(w.Build(), 1);
        SCOPED_TRACE(std::string(k) + " " + v);
        EXPECT_EQ(ds->GetParamCount(), 1);
        EXPECT_LE(ds->GetEventCount(), 2);
        if (std::string(k).find("DATA") != std::string::npos) {
            EXPECT_FALSE(ds->errors.empty());
        }
    }
}

// ---------------------------------------------------------------- files on disk

TEST(DataSetFile, ConstructorLoadsFromThePath) {
    lmtest::TempDir dir;
    FcsWriter w = ThreeDataSets();
    const std::string path = dir.File("chain.fcs");
    ASSERT_TRUE(w.WriteTo(path));
    CDataSet ds(path, 1);
    EXPECT_EQ(ds.errors, Errors{});
    EXPECT_EQ(ds.GetPathName(), path);
    EXPECT_EQ(ds.GetFileName(), "chain.fcs");
    EXPECT_EQ(ds.GetFileDir(), dir.Path() + "/");
    EXPECT_EQ(Column(ds, 2), (std::vector<float>{70000, 16777215, 2}));
}

// ---------------------------------------------------------------- robustness

// Every prefix of a valid file, and single-byte damage, loads without reading
// outside the bytes (the sanitizer build checks) and never yields more events
// than the file declares.
TEST(DataSetRobustness, TruncatedAndDamagedFiles) {
    FcsWriter w = ThreeDataSets();
    w.NextDataSet();
    w.DataType('I').ByteOrder("1,2,3,4").Param("X", 16, "1024").Param("Y", 32, "");
    w.Supplemental("EXTRA", "1");
    for (int i = 0; i < 20; ++i) w.Event({double(i), double(i * 1000)});
    FcsLayout lay;
    const std::vector<uint8_t> full = w.Build(&lay);
    const size_t lastStext = size_t(lay.dataSets[3].stext.begin);
    for (size_t n = 0; n <= full.size(); ++n) {
        std::vector<uint8_t> part(full.begin(), full.begin() + long(n));
        for (int32_t idx = 0; idx < 4; ++idx) {
            auto ds = LoadFcsBytes(part, idx);
            ASSERT_LE(ds->GetEventCount(), 20) << n << " " << idx;
            // Cut anywhere before the last data set's DATA ends: it must say so.
            if (n < lastStext && idx == 3) {
                ASSERT_FALSE(ds->errors.empty()) << n;
            }
        }
    }
    for (size_t pos = 0; pos < full.size(); pos += 3) {
        for (uint8_t v : {uint8_t(0), uint8_t('/'), uint8_t('9'), uint8_t(0xFF), uint8_t('-')}) {
            std::vector<uint8_t> bad = full;
            bad[pos] = v;
            for (int32_t idx = 0; idx < 4; ++idx) {
                auto ds = LoadFcsBytes(bad, idx);
                const int64_t tot = ds->GetParamSet() ? ds->GetParamSet()->totalEvents : 0;
                ASSERT_LE(ds->GetEventCount(), std::max<int64_t>(tot, 0)) << pos;
            }
        }
    }
}

}  // namespace

namespace {

std::vector<uint8_t> HeaderOnly(const std::string& header, size_t pad) {
    std::vector<uint8_t> b(header.begin(), header.end());
    b.resize(b.size() + pad, ' ');
    return b;
}

}  // namespace

TEST(DataSetProblems, FilesThatStartLikeFcsButGiveNothingToShowSayWhy) {
    lmtest::FcsWriter good;
    good.DataType('I').ByteOrder("1,2").Param("FS", 16, "1024").Param("SS", 16, "1024").Event({1, 2});
    std::vector<uint8_t> random{'F', 'C', 'S', '3', '.', '0', ' ', ' ', ' ', ' '};
    uint32_t x = 12345;
    for (int i = 0; i < 2000; ++i) random.push_back(uint8_t((x = x * 1103515245u + 12345u) >> 24));
    const struct {
        std::vector<uint8_t> bytes;
        const char* problem;
    } cases[] = {
        {good.Build(), ""},
        {lmtest::FcsWriter(good).Set("$TOT", "-5").Build(), "$TOT -5 is not an event count"},
        {lmtest::FcsWriter(good).Set("$TOT", "many").Build(), "$TOT many is not an event count"},
        {lmtest::FcsWriter(good).Set("$PAR", "0").Build(), "$PAR 0 names no parameters"},
        {lmtest::FcsWriter(good).Remove("$PAR").Build(), "it names no parameters (no $PAR)"},
        // TEXT from 100 to 50
        {HeaderOnly("FCS3.0         100      50     200     300       0       0", 400),
         "its HEADER puts the end of TEXT (50) before its beginning (100)"},
        // a valid HEADER over noise: its offsets read 0, TEXT is one byte
        {random, "its TEXT segment (bytes 0 to 0) holds no keywords"},
    };
    for (const auto& c : cases) {
        auto ds = LoadFcsBytes(c.bytes);
        EXPECT_EQ(UnreadableDataSetProblem(*ds), c.problem);
    }
    // A data set made without a file (a report's missing FCS file) has none.
    CDataSet empty;
    EXPECT_EQ(UnreadableDataSetProblem(empty), "");
}
