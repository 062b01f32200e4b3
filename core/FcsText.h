#pragma once
// FCS HEADER and TEXT segments: validation and keyword tables.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/MappedFile.h"

struct FcsHeader {
    bool valid = false;
    float version = 0.0f;
    // Absolute, inclusive byte offsets (HEADER field + the data set's start).
    int64_t textBegin = 0, textEnd = 0;
    int64_t dataBegin = 0, dataEnd = 0;
    int64_t analysisBegin = 0, analysisEnd = 0;
};

struct CKeywordPair {
    std::string keyword;  // bytes as in the file
    std::string value;    // leading/trailing 0x20 removed
};

class CKeywordTable {
public:
    CKeywordTable() = default;
    // Parses [begin, end] and then the supplemental segment named by
    // "$BEGINSTEXT"/"$ENDSTEXT" (relative to baseOffset) into the same table.
    CKeywordTable(const lm::MappedFile& file, int64_t begin, int64_t end, int64_t baseOffset);
    CKeywordTable(const CKeywordTable&) = default;
    CKeywordTable& operator=(const CKeywordTable&) = default;

    // Appends the pairs of the inclusive segment [begin, end]. The range is
    // clamped to the file; an empty or inverted range adds nothing.
    void ParseText(const lm::MappedFile& file, int64_t begin, int64_t end);
    // The same over bytes in memory (first byte is the delimiter).
    void ParseSegment(std::string_view segment);

    // First pair whose keyword equals kw, or null. Keyword names are matched
    // without regard to ASCII case ("$par" is "$PAR"), as FCS readers must;
    // the pair keeps the bytes the file has.
    const CKeywordPair* FindKeyword(std::string_view kw) const;
    // Value of the first pair named kw, or "" when absent.
    std::string GetKeywordValue(std::string_view kw) const;
    // Appends this table's error codes to errors, in order.
    void MergeErrors(std::vector<int32_t>& errors) const;
    void Clear();

    // Every pair in file order, duplicates included.
    const std::vector<CKeywordPair>& Pairs() const { return pairs; }

    std::vector<int32_t> errors;

private:
    // ASCII case folded: bytes above 0x7F are compared as they are.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const;
    };
    struct SameName {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    void Append(CKeywordPair pair);

    std::vector<CKeywordPair> pairs;
    // Position of each keyword's first pair: a file names every parameter's
    // keywords, so scanning the list for each would cost $PAR x pairs.
    std::unordered_map<std::string, size_t, Hash, SameName> first;
};

// offset + base without signed overflow: offsets come from the file and may
// be anything, so the sum saturates (a saturated offset lies outside any file).
int64_t AddOffset(int64_t offset, int64_t base);

// Reads and checks the 58-byte HEADER at baseOffset. On failure header.valid
// is false and 1 is appended to errors.
bool ReadHeader(const lm::MappedFile& file, FcsHeader& header, std::vector<int32_t>& errors,
                int64_t baseOffset);
// Same check over HEADER bytes in memory (58 or more bytes; shorter is invalid).
bool ParseHeader(std::string_view bytes, FcsHeader& header, int64_t baseOffset);

// True when path names a readable file with a valid FCS HEADER at offset 0.
bool IsFcsFile(const std::string& path, int32_t dataSetIndex = 0);
// Why a genuine FCS file could not be loaded when its events need more
// memory than there is.
inline constexpr char kFcsNoMemoryProblem[] = "there is not enough memory to load its events";

// Why IsFcsFile refuses path, in a few words for a message ("cannot open:
// No such file or directory", "does not begin with \"FCS\""); empty when it
// takes it.
std::string FcsFileProblem(const std::string& path);

std::unique_ptr<CKeywordTable> ReadText(const lm::MappedFile& file, int64_t begin, int64_t end,
                                        int64_t baseOffset);
