#include "base/LogFont.h"

#include "base/Archive.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

LOGFONT SampleFont() {
    LOGFONT lf;
    lf.lfHeight = -16;
    lf.lfWidth = 7;
    lf.lfEscapement = 900;
    lf.lfOrientation = -900;
    lf.lfWeight = FW_BOLD;
    lf.lfItalic = 1;
    lf.lfUnderline = 0;
    lf.lfStrikeOut = 1;
    lf.lfCharSet = GB2312_CHARSET;
    lf.lfOutPrecision = 3;
    lf.lfClipPrecision = 2;
    lf.lfQuality = 5;
    lf.lfPitchAndFamily = 0x22;
    lf.lfFaceName = "宋体";
    return lf;
}

TEST(LogFont, RecordByteLayout) {
    CArchive ar;
    StoreLogFont(ar, SampleFont());
    const Bytes expect = {
        0xF0, 0xFF, 0xFF, 0xFF,  // height -16
        0x07, 0x00, 0x00, 0x00,  // width
        0x84, 0x03, 0x00, 0x00,  // escapement 900
        0x7C, 0xFC, 0xFF, 0xFF,  // orientation -900
        0xBC, 0x02, 0x00, 0x00,  // weight 700
        1, 0, 1, 134, 3, 2, 5, 0x22,  // the eight single bytes
        0x04, 0xCB, 0xCE, 0xCC, 0xE5,  // "宋体" in cp936 with its prefix
    };
    EXPECT_EQ(ar.Bytes(), expect);
}

TEST(LogFont, RoundTripKeepsEveryField) {
    CArchive ar;
    const LOGFONT lf = SampleFont();
    StoreLogFont(ar, lf);
    LOGFONT plain;
    plain.lfWeight = FW_NORMAL;
    plain.lfCharSet = DEFAULT_CHARSET;
    plain.lfFaceName = "Arial";
    StoreLogFont(ar, plain);
    ar.WriteInt32(0x12345678);  // what follows the font in a record

    CArchive in(ar.Bytes());
    EXPECT_EQ(LoadLogFont(in), lf);
    EXPECT_EQ(LoadLogFont(in), plain);
    EXPECT_EQ(in.ReadInt32(), 0x12345678);
}

// A record with the given face bytes (already cp936) after zeroed fields.
Bytes RecordWithFace(const std::string& faceBytes) {
    CArchive ar;
    for (int i = 0; i < 5; ++i) ar.WriteInt32(i + 1);
    for (uint8_t i = 0; i < 8; ++i) ar.WriteByte(i);
    ar.WriteRawString(faceBytes);
    return ar.Bytes();
}

TEST(LogFont, LongFaceNameIsCutAtThirtyOneCharacters) {
    const std::string latin40 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
    ASSERT_EQ(latin40.size(), 40u);
    CArchive a(RecordWithFace(latin40));
    const LOGFONT lf = LoadLogFont(a);
    EXPECT_EQ(lf.lfFaceName, latin40.substr(0, 31));
    EXPECT_EQ(lf.lfWeight, 5);
    EXPECT_EQ(lf.lfPitchAndFamily, 7);
    EXPECT_EQ(a.Remaining(), 0u);  // the whole name was consumed

    // 40 Chinese characters: 80 cp936 bytes, cut at 31 characters, not bytes.
    std::string cp936, utf8_31;
    for (int i = 0; i < 40; ++i) {
        cp936 += "\xCB\xCE";
        if (i < 31) utf8_31 += "宋";
    }
    CArchive b(RecordWithFace(cp936));
    EXPECT_EQ(LoadLogFont(b).lfFaceName, utf8_31);

    // Storing keeps 31 characters as well, whole characters only.
    LOGFONT big;
    big.lfFaceName = "";
    for (int i = 0; i < 40; ++i) big.lfFaceName += "宋";
    CArchive out;
    StoreLogFont(out, big);
    EXPECT_EQ(out.Bytes().size(), 20u + 8u + 1u + 62u);
    CArchive back(out.Bytes());
    EXPECT_EQ(LoadLogFont(back).lfFaceName, utf8_31);
}

TEST(LogFont, FaceNameStopsAtNul) {
    CArchive a(RecordWithFace(std::string("Arial\0junk", 10)));
    EXPECT_EQ(LoadLogFont(a).lfFaceName, "Arial");
}

TEST(LogFont, TruncatedRecordThrows) {
    Bytes b = RecordWithFace("Arial");
    for (size_t cut : {size_t(3), size_t(20), size_t(27), b.size() - 1}) {
        CArchive ar(Bytes(b.begin(), b.begin() + ptrdiff_t(cut)));
        EXPECT_THROW(LoadLogFont(ar), CArchiveException) << cut;
    }
}

TEST(LogFont, CutUtf8CharsCountsCharacters) {
    EXPECT_EQ(CutUtf8Chars("abc", 5), "abc");
    EXPECT_EQ(CutUtf8Chars("a宋b", 2), "a宋");
    EXPECT_EQ(CutUtf8Chars("😀😀", 1), "😀");
    EXPECT_EQ(CutUtf8Chars("abc", 0), "");
}

}  // namespace
