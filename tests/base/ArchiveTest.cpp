#include "base/Archive.h"

#include "tests/base/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>

// Records the largest single allocation, so a test can prove that a length
// read from a file was checked before anything was reserved for it.
namespace {
std::atomic<size_t> g_largestAlloc{0};
}

// Out of line, so the compiler does not pair the malloc here with delete
// expressions it inlines elsewhere and warn about a mismatch.
__attribute__((noinline)) void* operator new(size_t n) {
    size_t seen = g_largestAlloc.load(std::memory_order_relaxed);
    while (n > seen && !g_largestAlloc.compare_exchange_weak(seen, n)) {
    }
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using Bytes = std::vector<uint8_t>;

TEST(Archive, IntegersAndFloatsAreLittleEndian) {
    CArchive ar;
    ar.WriteInt32(-2);
    ar.WriteUInt32(0x01020304u);
    ar.WriteUInt16(0xBEEF);
    ar.WriteByte(0x7F);
    ar.WriteFloat(1.0f);
    ar.WriteDouble(-2.5);
    const Bytes expect = {0xFE, 0xFF, 0xFF, 0xFF,                          // -2
                          0x04, 0x03, 0x02, 0x01,                          // 0x01020304
                          0xEF, 0xBE,                                      // 0xBEEF
                          0x7F,                                            // byte
                          0x00, 0x00, 0x80, 0x3F,                          // 1.0f
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0xC0}; // -2.5
    EXPECT_EQ(ar.Bytes(), expect);

    CArchive in(ar.Bytes());
    EXPECT_EQ(in.ReadInt32(), -2);
    EXPECT_EQ(in.ReadUInt32(), 0x01020304u);
    EXPECT_EQ(in.ReadUInt16(), 0xBEEF);
    EXPECT_EQ(in.ReadByte(), 0x7F);
    EXPECT_EQ(in.ReadFloat(), 1.0f);
    EXPECT_EQ(in.ReadDouble(), -2.5);
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(Archive, ExtremeValuesRoundTripBitExact) {
    const double dbl[] = {std::numeric_limits<double>::denorm_min(), -0.0,
                          std::numeric_limits<double>::infinity(), 1e308, 0.1};
    CArchive ar;
    ar << std::numeric_limits<int32_t>::min() << std::numeric_limits<int32_t>::max();
    for (double d : dbl) ar << d;
    ar.WriteDouble(std::numeric_limits<double>::quiet_NaN());
    CArchive in(ar.Bytes());
    int32_t lo, hi;
    in >> lo >> hi;
    EXPECT_EQ(lo, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(hi, std::numeric_limits<int32_t>::max());
    for (double d : dbl) {
        double got;
        in >> got;
        EXPECT_EQ(std::memcmp(&got, &d, 8), 0) << d;
    }
    EXPECT_TRUE(std::isnan(in.ReadDouble()));
}

// Prefix bytes in front of a string of n bytes.
Bytes PrefixOf(size_t n) {
    CArchive ar;
    ar.WriteRawString(std::string(n, 'x'));
    const Bytes& b = ar.Bytes();
    if (b.size() < n) return {};
    return Bytes(b.begin(), b.end() - ptrdiff_t(n));
}

TEST(Archive, StringPrefixAtEachBoundary) {
    EXPECT_EQ(PrefixOf(0), (Bytes{0x00}));
    EXPECT_EQ(PrefixOf(254), (Bytes{0xFE}));
    EXPECT_EQ(PrefixOf(255), (Bytes{0xFF, 0xFF, 0x00}));
    EXPECT_EQ(PrefixOf(0xFFFD), (Bytes{0xFF, 0xFD, 0xFF}));
    // 0xFFFE and 0xFFFF are markers in the 16-bit field: the 32-bit form starts here.
    EXPECT_EQ(PrefixOf(0xFFFE), (Bytes{0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(PrefixOf(0x10000), (Bytes{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}));

    for (size_t n : {size_t(0), size_t(254), size_t(255), size_t(0xFFFD), size_t(0xFFFE), size_t(70000)}) {
        CArchive ar;
        std::string s(n, 'a');
        if (n) s[n - 1] = 'z';
        ar.WriteRawString(s);
        ar.WriteInt32(42);  // the string must end exactly where it should
        CArchive in(ar.Bytes());
        EXPECT_EQ(in.ReadRawString(), s) << n;
        EXPECT_EQ(in.ReadInt32(), 42) << n;
    }
}

TEST(Archive, ChineseTextIsStoredAsCodePage936) {
    CArchive ar;
    ar.WriteString("错误信息");
    // Prefix counts cp936 bytes (8), not UTF-8 bytes (12).
    EXPECT_EQ(ar.Bytes(), (Bytes{0x08, 0xB4, 0xED, 0xCE, 0xF3, 0xD0, 0xC5, 0xCF, 0xA2}));
    CArchive in(ar.Bytes());
    EXPECT_EQ(in.ReadString(), "错误信息");

    CArchive raw(ar.Bytes());
    EXPECT_EQ(raw.ReadRawString(), "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2");
}

TEST(Archive, CharactersWithoutACodePageFormAreStoredAsQuestionMarksAndNamedByPart) {
    CArchive ar;
    ar.SetContext("text box");
    ar.WriteString("\xC3\xA4\xC3\xBC");  // äü: ü has a form, ä has none
    ar.WriteString("why? \xE9\x94\x99");  // a '?' of its own and Chinese: nothing replaced
    ar.SetContext("data set");
    ar.WriteString("plain");
    ar.WriteString("\xF0\x9F\x98\x80 \xC3\xA4 \xF0\x9F\x98\x80");  // 😀 ä 😀
    ar.SetContext("text box");
    ar.WriteString("\xC3\xA4\xC3\xA5");  // ä again, å new: one entry per part
    const auto& replaced = ar.GetReplaced();
    ASSERT_EQ(replaced.size(), 2u);
    EXPECT_EQ(replaced[0].what, "text box");
    EXPECT_EQ(replaced[0].chars, "\xC3\xA4\xC3\xA5");
    EXPECT_EQ(replaced[1].what, "data set");
    EXPECT_EQ(replaced[1].chars, "\xF0\x9F\x98\x80\xC3\xA4");
    // The layout stays: one '?' a character, read back as such.
    CArchive in(ar.Bytes());
    EXPECT_EQ(in.ReadString(), "?\xC3\xBC");
    EXPECT_EQ(in.ReadString(), "why? \xE9\x94\x99");
    EXPECT_EQ(in.ReadString(), "plain");
    EXPECT_EQ(in.ReadString(), "? ? ?");
}

TEST(Archive, ReadingPastTheEndThrows) {
    CArchive a(Bytes{1, 2, 3});
    EXPECT_THROW(a.ReadInt32(), CArchiveException);
    CArchive b(Bytes(7, 0));
    EXPECT_THROW(b.ReadDouble(), CArchiveException);
    CArchive c(Bytes{});
    EXPECT_THROW(c.ReadByte(), CArchiveException);
    char buf[4];
    CArchive d(Bytes{1, 2});
    EXPECT_THROW(d.ReadBytes(buf, 3), CArchiveException);
    // A string whose bytes are cut short.
    CArchive e(Bytes{5, 'a', 'b'});
    EXPECT_THROW(e.ReadString(), CArchiveException);
}

// Rectangles are four little-endian integers; a short record reads nothing.
TEST(Archive, RectIsSixteenBytesAndAShortOneReadsNothing) {
    CArchive out;
    out.WriteRect(CRect(-1, 2, 0x01020304, -300));
    EXPECT_EQ(out.Bytes(), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 4, 3, 2, 1, 0xD4, 0xFE, 0xFF, 0xFF}));
    CArchive in(out.Bytes());
    EXPECT_EQ(in.ReadRect(), CRect(-1, 2, 0x01020304, -300));
    CArchive cut(Bytes(out.Bytes().begin(), out.Bytes().end() - 1));
    EXPECT_THROW(cut.ReadRect(), CArchiveException);
    EXPECT_EQ(cut.Position(), 0u);
}

TEST(Archive, TruncatedLengthPrefixThrows) {
    for (const Bytes& b : {Bytes{0xFF}, Bytes{0xFF, 0x10}, Bytes{0xFF, 0xFF, 0xFF},
                           Bytes{0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00}}) {
        CArchive ar(b);
        EXPECT_THROW(ar.ReadString(), CArchiveException) << b.size();
    }
}

TEST(Archive, AbsurdLengthThrowsWithoutAllocating) {
    Bytes b = {0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF};  // 0xFFFFFFF0 bytes announced
    b.resize(b.size() + 64, 'x');
    CArchive ar(b);
    g_largestAlloc = 0;
    EXPECT_THROW(ar.ReadRawString(), CArchiveException);
    EXPECT_LT(g_largestAlloc.load(), size_t(1) << 20);

    CArchive ar2(b);
    g_largestAlloc = 0;
    EXPECT_THROW(ar2.ReadString(), CArchiveException);
    EXPECT_LT(g_largestAlloc.load(), size_t(1) << 20);
}

TEST(Archive, CheckCountBoundsCountsByRemainingBytes) {
    CArchive ar(Bytes(100, 0));
    EXPECT_EQ(ar.CheckCount(10, 10), 10u);  // exactly fits
    EXPECT_EQ(ar.CheckCount(0, 1000), 0u);
    EXPECT_THROW(ar.CheckCount(11, 10), CArchiveException);
    EXPECT_THROW(ar.CheckCount(-1, 1), CArchiveException);
    // count * size wraps around 64 bits to a small number: must still throw.
    EXPECT_THROW(ar.CheckCount(int64_t(1) << 62, 8), CArchiveException);
    EXPECT_THROW(ar.CheckCount(std::numeric_limits<int64_t>::max(), 16), CArchiveException);
    // Items of unstated size count as one byte each.
    EXPECT_THROW(ar.CheckCount(101, 0), CArchiveException);
    ar.ReadBytes(Bytes(60).data(), 60);
    EXPECT_THROW(ar.CheckCount(10, 5), CArchiveException);
    EXPECT_EQ(ar.CheckCount(8, 5), 8u);
}

TEST(Archive, WrongDirectionThrows) {
    CArchive in(Bytes{1, 2, 3, 4});
    EXPECT_TRUE(in.IsLoading());
    EXPECT_THROW(in.WriteInt32(1), CArchiveException);
    CArchive out;
    EXPECT_TRUE(out.IsStoring());
    out.WriteInt32(5);
    EXPECT_THROW(out.ReadInt32(), CArchiveException);
}

TEST(Archive, UnicodeMarkedStringIsRead) {
    // 0xFF 0xFFFE marks a UTF-16 string; its own prefix counts code units.
    const Bytes b = {0xFF, 0xFE, 0xFF, 0x03, 'A', 0x00, 0x2D, 0x4E, 0x3D, 0xD8, 0x07};
    CArchive ar(b);
    // Two units of a character and a lone high surrogate at the end.
    EXPECT_EQ(ar.ReadString(), "A中\xEF\xBF\xBD");
    EXPECT_EQ(ar.Remaining(), 1u);  // length 3 means 3 units: the 0x07 after them is left
    // A surrogate pair is one character: U+1F600.
    CArchive pair(Bytes{0xFF, 0xFE, 0xFF, 0x02, 0x3D, 0xD8, 0x00, 0xDE});
    EXPECT_EQ(pair.ReadString(), "\xF0\x9F\x98\x80");
    // The last pair there is: U+10FFFF.
    CArchive last(Bytes{0xFF, 0xFE, 0xFF, 0x02, 0xFF, 0xDB, 0xFF, 0xDF});
    EXPECT_EQ(last.ReadString(), "\xF4\x8F\xBF\xBF");
}

TEST(Archive, FileWriteIsAtomicAndReadBack) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("doc.fld");
    std::string err;
    ASSERT_TRUE(CArchive::WriteFileAtomic(path, Bytes{1, 2, 3}, &err)) << err;
    ASSERT_TRUE(CArchive::WriteFileAtomic(path, Bytes{9, 8}, &err)) << err;
    Bytes got;
    ASSERT_TRUE(CArchive::ReadFile(path, &got, &err)) << err;
    EXPECT_EQ(got, (Bytes{9, 8}));
    // No temporary left behind.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1u);

    EXPECT_FALSE(CArchive::ReadFile(path, &got, &err, 1));
    EXPECT_NE(err.find("too large"), std::string::npos) << err;
    EXPECT_TRUE(got.empty());
    // A file of exactly the limit is read whole.
    err.clear();
    ASSERT_TRUE(CArchive::ReadFile(path, &got, &err, 2)) << err;
    EXPECT_EQ(got, (Bytes{9, 8}));

    err.clear();
    EXPECT_FALSE(CArchive::ReadFile(dir.File("missing"), &got, &err));
    EXPECT_FALSE(err.empty());
    err.clear();
    EXPECT_FALSE(CArchive::ReadFile(dir.Path(), &got, &err));  // a folder
    EXPECT_FALSE(err.empty());

    err.clear();
    EXPECT_FALSE(CArchive::WriteFileAtomic(dir.File("no/such/dir/x"), Bytes{1}, &err));
    EXPECT_FALSE(err.empty());
}

TEST(Archive, FailedReplaceKeepsOldFileAndRemovesTemporary) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    // The target is a non-empty folder: rename over it fails.
    const std::string target = dir.File("busy");
    std::filesystem::create_directory(target);
    TempDir::WriteAll(target + "/inside", "keep");
    std::string err;
    EXPECT_FALSE(CArchive::WriteFileAtomic(target, Bytes{1, 2}, &err));
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(TempDir::ReadAll(target + "/inside"), "keep");
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

}  // namespace
