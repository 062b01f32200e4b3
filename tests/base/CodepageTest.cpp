#include "base/Codepage.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(Codepage, ChineseRoundTrip) {
    EXPECT_EQ(lm::Utf8ToCp936("错误信息"), "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2");
    EXPECT_EQ(lm::Cp936ToUtf8("\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2"), "错误信息");
    const std::string mixed = "CD3 FITC 阳性细胞 (%) = 12.5";
    EXPECT_EQ(lm::Cp936ToUtf8(lm::Utf8ToCp936(mixed)), mixed);
    EXPECT_EQ(lm::Utf8ToCp936("plain ascii"), "plain ascii");
}

TEST(Codepage, LongTextCrossesBufferChunks) {
    std::string utf8;
    for (int i = 0; i < 3000; ++i) utf8 += (i % 7 == 0) ? "x" : "细胞";
    const std::string cp = lm::Utf8ToCp936(utf8);
    EXPECT_EQ(cp.size(), 3000u / 7 + 1 + (3000u - (3000u / 7 + 1)) * 4);
    EXPECT_EQ(lm::Cp936ToUtf8(cp), utf8);
}

TEST(Codepage, InvalidCp936BecomesReplacementAndDecodingGoesOn) {
    EXPECT_EQ(lm::Cp936ToUtf8("a\xFF" "b"), "a" + kFffd + "b");
    // A lead byte cut off at the end.
    EXPECT_EQ(lm::Cp936ToUtf8("ok\xB4"), "ok" + kFffd);
    // A lead byte followed by a byte that cannot be a trail byte.
    const std::string got = lm::Cp936ToUtf8("\xB4\x0A\xB4\xED");
    EXPECT_EQ(got.substr(got.size() - 3), "错");
    EXPECT_NE(got.find(kFffd), std::string::npos);
    // 0x80 is the euro sign in cp936, in both directions.
    EXPECT_EQ(lm::Cp936ToUtf8("\x80"), "€");
    EXPECT_EQ(lm::Utf8ToCp936("5€"), "5\x80");
}

TEST(Codepage, UnmappableAndInvalidUtf8BecomeQuestionMarks) {
    // GB18030 has four-byte forms for these; cp936 has none, so Windows
    // readers get '?' instead of four bytes of garbage.
    EXPECT_EQ(lm::Utf8ToCp936("a😀b"), "a?b");
    EXPECT_EQ(lm::Utf8ToCp936("\xE0\xA4\x85"), "?");  // Devanagari letter A
    EXPECT_EQ(lm::Utf8ToCp936("a\xFF" "b"), "a?b");
    EXPECT_EQ(lm::Utf8ToCp936("end\xE9\x94"), "end??");  // cut-off sequence
    EXPECT_EQ(lm::Utf8ToCp936("\xED\xA0\x80"), "???");  // encoded surrogate
}

TEST(Codepage, OnlyTheEuroSignBecomesTheSingleByte80) {
    // Its GB18030 form is A2 E3; characters that share only the lead byte
    // (①, ⅰ) or only the trail byte (便) keep their two bytes.
    EXPECT_EQ(lm::Utf8ToCp936("€①ⅰ便"), "\x80\xA2\xD9\xA2\xA1\xB1\xE3");
    EXPECT_EQ(lm::Cp936ToUtf8("\x80\xA2\xD9\xA2\xA1\xB1\xE3"), "€①ⅰ便");
}

TEST(Codepage, MissingCharactersAreListedOnceInOrder) {
    const struct {
        std::string utf8, missing;
    } cases[] = {
        {"plain ascii?", ""},
        {"错误信息 5€ ü", ""},                      // all in cp936 (ü is pinyin)
        {"\xC3\xA4\xC3\xBC", "\xC3\xA4"},            // äü: only ä is missing
        {"a😀b😀\xC3\xA4", "😀\xC3\xA4"},               // twice, listed once
        {"\xE0\xA4\x85 x", "\xE0\xA4\x85"},          // Devanagari letter A
        {"a\xFF" "b\xFE", kFffd},                    // bytes that are not UTF-8
        {"end\xE9\x94", kFffd},                      // a cut-off sequence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lm::Cp936Missing(c.utf8), c.missing) << c.utf8;
        // Missing exactly when the conversion adds a '?'.
        const std::string cp = lm::Utf8ToCp936(c.utf8);
        const bool added = std::count(cp.begin(), cp.end(), '?') > std::count(c.utf8.begin(), c.utf8.end(), '?');
        EXPECT_EQ(!c.missing.empty(), added) << c.utf8;
    }
}

TEST(Codepage, Utf8Validation) {
    EXPECT_TRUE(lm::IsValidUtf8(""));
    EXPECT_TRUE(lm::IsValidUtf8("µm 细胞 😀"));
    EXPECT_TRUE(lm::IsValidUtf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF
    EXPECT_TRUE(lm::IsValidUtf8("\xE0\xA0\x80"));      // U+0800, the first of three bytes
    EXPECT_TRUE(lm::IsValidUtf8("\xF0\x90\x80\x80"));  // U+10000, the first of four bytes
    EXPECT_FALSE(lm::IsValidUtf8("\xC0\x80"));          // overlong NUL
    EXPECT_FALSE(lm::IsValidUtf8("\xE0\x80\xAF"));      // overlong '/'
    EXPECT_FALSE(lm::IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(lm::IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(lm::IsValidUtf8("\xE7\xBB"));          // cut off
    EXPECT_FALSE(lm::IsValidUtf8("\x80"));
    EXPECT_FALSE(lm::IsValidUtf8("\xB5m"));
}

TEST(Codepage, DisplayTextFallsBackToLatin1) {
    EXPECT_EQ(lm::BytesToDisplayUtf8("CD4 细胞"), "CD4 细胞");
    EXPECT_EQ(lm::BytesToDisplayUtf8("\xB5m"), "µm");
    EXPECT_EQ(lm::BytesToDisplayUtf8("\xE9t\xE9"), "été");
    EXPECT_EQ(lm::BytesToDisplayUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Codepage, KeywordTextFallsBackToCodePage936) {
    const struct {
        std::string bytes, shown;
    } cases[] = {
        {"CD4 细胞", "CD4 细胞"},                  // valid UTF-8 stays as it is
        {"\xB2\xA1\xC8\xCB 7", "病人 7"},      // not UTF-8: code page 936
        {"\xB2\xA1\xFF", "病\xEF\xBF\xBD"},  // neither: U+FFFD for the rest
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(lm::BytesToUtf8OrCp936(c.bytes), c.shown) << c.bytes;
}

}  // namespace
