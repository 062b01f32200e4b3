#pragma once
// Synthetic FCS files for tests: a small builder that produces the bytes of a
// file with one or more data sets, plus helpers to load those bytes into a
// CDataSet and to keep files in a scratch folder.
//
//   lmtest::FcsWriter w;                       // FCS3.0, 'F', 1,2,3,4, '/'
//   w.Param("FL1-H", 32, "1024").Param("FL2-H", 32, "1024");
//   w.Event({1, 2}).Event({3, 4});
//   std::vector<uint8_t> bytes = w.Build();
//   std::unique_ptr<CDataSet> ds = lmtest::LoadFcsBytes(bytes);
//
// Every setter works on the current data set; NextDataSet() starts another one
// in the same file, chained through "$NEXTDATA".
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CDataSet;

namespace lmtest {

// How the HEADER shows the DATA offsets.
enum class HeaderDataOffsets {
    Numbers,  // the offsets (or "0" when one does not fit eight digits)
    Blank,    // eight spaces each: the offsets are only in the TEXT
    Zero,     // "0" each: the offsets are only in the TEXT
};

// How the writer spells the keyword names it writes (values keep theirs).
enum class KeywordCase {
    Upper,  // "$PAR", "$P1N": as nearly every writer does
    Lower,  // "$par", "$p1n"
    Mixed,  // every other letter lower: "$pAr", "$p1n", "sPiLl"
};

struct FcsParamSpec {
    std::string name;       // $PnN, omitted when empty
    int bits = 32;          // $PnB and the width the values are written with
                            // (a width that is not whole bytes packs the event)
    std::string range;      // $PnR text, omitted when empty
    std::string decades;    // $PnE text, omitted when empty
    std::string shortName;  // $PnS, omitted when empty
};

// Absolute, inclusive byte ranges of what Build() wrote (end = begin - 1 for an
// empty range).
struct FcsRange {
    int64_t begin = 0;
    int64_t end = -1;
    int64_t Size() const { return end - begin + 1; }
};

struct FcsDataSetLayout {
    int64_t start = 0;  // offset of the HEADER
    FcsRange text;
    FcsRange stext;     // supplemental TEXT (empty when there is none)
    FcsRange data;
    int64_t length = 0; // bytes of this data set, HEADER to its last byte
};

struct FcsLayout {
    std::vector<FcsDataSetLayout> dataSets;
    int64_t fileSize = 0;
};

class FcsWriter {
public:
    using Patch = std::function<void(std::vector<uint8_t>& bytes, const FcsLayout& layout)>;

    FcsWriter();

    // ---- current data set ----
    // Six characters at HEADER positions 0-5, e.g. "FCS2.0", "FCS3.1". Longer
    // texts are cut, shorter ones padded with spaces.
    FcsWriter& Version(std::string_view v);
    FcsWriter& DataType(char type);             // 'I', 'F' or 'D'
    FcsWriter& ByteOrder(std::string_view ord); // "1,2,3,4", "4,3,2,1", "2,1", "1,2"
    FcsWriter& Delimiter(char d);
    FcsWriter& Mode(std::string_view mode);     // "$MODE", "L" by default
    FcsWriter& HeaderData(HeaderDataOffsets how);
    // Keyword names as written, including those Set() gives.
    FcsWriter& Keywords(KeywordCase how);
    // Widths that are not whole bytes ($PnB 10, 12) pack the events as one
    // stream of bit fields; with PadEvents each event starts on a new byte.
    FcsWriter& PadEvents(bool on);

    FcsWriter& Param(const FcsParamSpec& p);
    FcsWriter& Param(std::string name, int bits, std::string range = "",
                     std::string decades = "0,0", std::string shortName = "");
    // One value per parameter, written with the parameter's width: as the
    // integer (truncated to the width) for 'I', as a float for 'F', a double for 'D'.
    FcsWriter& Event(std::initializer_list<double> values);
    FcsWriter& Event(const std::vector<double>& values);
    // Replaces the DATA segment by these bytes (events are then ignored, but
    // "$TOT" still counts them unless set).
    FcsWriter& RawData(std::vector<uint8_t> bytes);

    // Keyword edits. The writer generates "$BEGINANALYSIS" .. "$PnR"; Set
    // replaces a generated value or appends a new pair; Remove drops every
    // pair of that keyword.
    FcsWriter& Set(std::string keyword, std::string value);
    FcsWriter& Remove(std::string keyword);
    // A pair in the supplemental TEXT (written after DATA).
    FcsWriter& Supplemental(std::string keyword, std::string value);

    // Starts a new data set in the same file (defaults again).
    FcsWriter& NextDataSet();

    // ---- whole file ----
    // Applied in order to the finished bytes.
    FcsWriter& PatchBytes(Patch p);
    // Cuts the file to `size` bytes (applied after the patches).
    FcsWriter& TruncateTo(int64_t size);

    std::vector<uint8_t> Build(FcsLayout* layout = nullptr) const;
    bool WriteTo(const std::string& path, FcsLayout* layout = nullptr) const;

    // Eight-character right-aligned HEADER field text.
    static std::string HeaderField(int64_t value);
    // Overwrites HEADER field `field` (0 TEXT begin .. 5 ANALYSIS end) of the
    // data set starting at `start` with exactly eight characters of `text`
    // (padded with spaces on the left).
    static void PutHeaderField(std::vector<uint8_t>& bytes, int64_t start, int field,
                               std::string_view text);

private:
    struct KeywordEdit {
        enum Kind { kSet, kRemove } kind;
        std::string keyword, value;
    };
    struct DataSetSpec {
        std::string version = "FCS3.0";
        char dataType = 'F';
        std::string byteOrder = "1,2,3,4";
        char delimiter = '/';
        std::string mode = "L";
        HeaderDataOffsets headerData = HeaderDataOffsets::Numbers;
        KeywordCase keywordCase = KeywordCase::Upper;
        bool padEvents = false;
        std::vector<FcsParamSpec> params;
        std::vector<std::vector<double>> events;
        bool hasRawData = false;
        std::vector<uint8_t> rawData;
        std::vector<KeywordEdit> edits;
        std::vector<std::pair<std::string, std::string>> supplemental;
    };
    std::vector<uint8_t> BuildDataSet(const DataSetSpec& s, int64_t nextData,
                                      FcsDataSetLayout* lay) const;
    DataSetSpec& Cur() { return m_sets.back(); }

    std::vector<DataSetSpec> m_sets;
    std::vector<Patch> m_patches;
    int64_t m_truncate = -1;
};

// Encodes one unsigned value of `bytes` bytes (1..8) in FCS byte order `ord`
// ("1,2,3,4" = least significant first). Positions above the width are skipped,
// like readers do; a list shorter than the width leaves the rest little-endian.
std::vector<uint8_t> EncodeUnsigned(uint64_t value, int bytes, std::string_view ord);

// Loads data set `index` of the bytes through CDataSet::LoadFrom on a memory
// view; the result has no users and is owned by the caller.
std::unique_ptr<CDataSet> LoadFcsBytes(const std::vector<uint8_t>& bytes, int32_t index = 0,
                                       const std::string& path = "memory.fcs");

// A fresh folder under $TMPDIR (or /tmp), removed with its files when the
// object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(std::string_view name) const;
    // Writes the bytes to Path()/name and returns the full path ("" on failure).
    std::string Write(std::string_view name, const std::vector<uint8_t>& bytes) const;

private:
    std::string m_path;
};

}  // namespace lmtest
