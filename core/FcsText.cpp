#include "core/FcsText.h"

#include <climits>

#include "base/Numbers.h"
#include "base/Text.h"
#include "core/ErrorCodes.h"

namespace {
constexpr size_t kHeaderSize = 58;

inline unsigned char FoldAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}
}  // namespace

size_t CKeywordTable::Hash::operator()(std::string_view s) const {
    // FNV-1a over the folded bytes.
    uint64_t h = 14695981039346656037ull;
    for (char c : s) {
        h ^= FoldAscii(c);
        h *= 1099511628211ull;
    }
    return size_t(h);
}

bool CKeywordTable::SameName::operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

int64_t AddOffset(int64_t offset, int64_t base) {
    int64_t r;
    if (__builtin_add_overflow(offset, base, &r)) return offset > 0 ? INT64_MAX : INT64_MIN;
    return r;
}

bool ParseHeader(std::string_view bytes, FcsHeader& header, int64_t baseOffset) {
    header.valid = false;
    // The HEADER is read as text: a line feed ends it early.
    size_t len = bytes.size() < kHeaderSize ? bytes.size() : kHeaderSize;
    size_t lf = bytes.substr(0, len).find('\n');
    if (lf != std::string_view::npos) len = lf + 1;
    if (len < kHeaderSize) return false;
    if (bytes.substr(0, 3) != "FCS") return false;
    if (bytes[3] < '0' || bytes[3] > '9') return false;
    if (bytes.substr(6, 4) != "    ") return false;

    // Each field is converted on its own: digits of one field must never run
    // into the next.
    auto field = [&](size_t pos) { return lm::ParseInt64(bytes.substr(pos, 8)); };
    header.version = float(lm::ParseDouble(bytes.substr(3, 6)));
    header.textBegin = AddOffset(field(10), baseOffset);
    header.textEnd = AddOffset(field(18), baseOffset);
    header.dataBegin = AddOffset(field(26), baseOffset);
    header.dataEnd = AddOffset(field(34), baseOffset);
    header.analysisBegin = AddOffset(field(42), baseOffset);
    header.analysisEnd = AddOffset(field(50), baseOffset);
    header.valid = true;
    return true;
}

bool ReadHeader(const lm::MappedFile& file, FcsHeader& header, std::vector<int32_t>& errors,
                int64_t baseOffset) {
    if (!ParseHeader(file.Slice(baseOffset, int64_t(kHeaderSize)), header, baseOffset)) {
        header.valid = false;
        errors.push_back(kErrHeaderInvalid);
        return false;
    }
    return true;
}

bool IsFcsFile(const std::string& path, int32_t /*dataSetIndex*/) {
    if (path.empty()) return false;
    lm::MappedFile f;
    if (!f.Open(path)) return false;
    FcsHeader h;
    return ParseHeader(f.Slice(0, int64_t(kHeaderSize)), h, 0);
}

std::string FcsFileProblem(const std::string& path) {
    if (path.empty()) return "no file named";
    lm::MappedFile f;
    std::string why;
    if (!f.Open(path, &why)) return why;
    const std::string_view head = f.Slice(0, int64_t(kHeaderSize));
    FcsHeader h;
    if (ParseHeader(head, h, 0)) return {};
    if (head.size() < kHeaderSize)
        return "only " + std::to_string(f.Size()) + " bytes, too short for an FCS HEADER";
    if (head.substr(0, 3) != "FCS") return "not an FCS file (it does not begin with \"FCS\")";
    return "its FCS HEADER is damaged";
}

std::unique_ptr<CKeywordTable> ReadText(const lm::MappedFile& file, int64_t begin, int64_t end,
                                        int64_t baseOffset) {
    return std::make_unique<CKeywordTable>(file, begin, end, baseOffset);
}

CKeywordTable::CKeywordTable(const lm::MappedFile& file, int64_t begin, int64_t end,
                             int64_t baseOffset) {
    ParseText(file, begin, end);
    int64_t sb = lm::ParseInt64(GetKeywordValue("$BEGINSTEXT"));
    int64_t se = lm::ParseInt64(GetKeywordValue("$ENDSTEXT"));
    // Offsets are relative to the data set's HEADER: one at or before it names
    // the HEADER or an earlier data set, never supplemental TEXT.
    if (sb > 0 && se > 0) ParseText(file, AddOffset(sb, baseOffset), AddOffset(se, baseOffset));
}

void CKeywordTable::ParseText(const lm::MappedFile& file, int64_t begin, int64_t end) {
    // Inclusive range, clamped to the bytes the file has: a segment that
    // starts outside the file, or ends before it begins, holds nothing.
    if (begin < 0 || end < begin || begin >= file.Size()) return;
    if (end > file.Size() - 1) end = file.Size() - 1;
    ParseSegment(file.Slice(begin, end - begin + 1));
}

void CKeywordTable::ParseSegment(std::string_view seg) {
    if (seg.empty()) return;
    const char d = seg[0];
    const size_t n = seg.size();
    if (n > 1 && seg[1] == d) {
        errors.push_back(kErrDoubledDelimiter);
        return;
    }
    std::string token;
    std::string keyword;
    bool expectKeyword = true;
    for (size_t i = 1; i < n; ++i) {
        char c = seg[i];
        if (c != d) {
            token.push_back(c);
            continue;
        }
        if (i + 1 < n && seg[i + 1] == d) {
            token.push_back(d);
            ++i;
            continue;
        }
        if (expectKeyword) {
            keyword = std::move(token);
        } else {
            Append(CKeywordPair{std::move(keyword), std::string(lm::TrimSpaces(token))});
            keyword.clear();
        }
        token.clear();
        expectKeyword = !expectKeyword;
    }
    // A keyword still waiting for its value at the end is dropped.
}

void CKeywordTable::Append(CKeywordPair pair) {
    first.try_emplace(pair.keyword, pairs.size());  // a later duplicate keeps the first
    pairs.push_back(std::move(pair));
}

const CKeywordPair* CKeywordTable::FindKeyword(std::string_view kw) const {
    const auto it = first.find(kw);
    return it == first.end() ? nullptr : &pairs[it->second];
}

std::string CKeywordTable::GetKeywordValue(std::string_view kw) const {
    const CKeywordPair* p = FindKeyword(kw);
    return p ? p->value : std::string();
}

void CKeywordTable::MergeErrors(std::vector<int32_t>& out) const {
    out.insert(out.end(), errors.begin(), errors.end());
}

void CKeywordTable::Clear() {
    pairs.clear();
    first.clear();
    errors.clear();
}
