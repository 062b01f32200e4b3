#include "core/DataSet.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "base/Numbers.h"
#include "base/Paths.h"
#include "core/DataSetUser.h"
#include "core/ErrorCodes.h"

// ---------------------------------------------------------------- CParamSet

CParamSet::CParamSet(const CParamSet& o) { *this = o; }

CParamSet& CParamSet::operator=(const CParamSet& o) {
    if (this == &o) return *this;
    params.clear();
    for (const auto& p : o.params) params.push_back(std::make_unique<CParam>(*p));
    totalEvents = o.totalEvents;
    bytesPerEvent = o.bytesPerEvent;
    applyCompensation = o.applyCompensation;
    byteOrder = o.byteOrder;
    spill = o.spill ? std::make_unique<CSpillMatrix>(*o.spill) : nullptr;
    errors = o.errors;
    return *this;
}

CParam* CParamSet::GetParam(int32_t i) const {
    if (i < 0 || i >= GetParamCount()) return nullptr;
    return params[size_t(i)].get();
}

void CParamSet::Build(const CKeywordTable& table, int64_t maxParams) {
    int64_t count = lm::ParseInt64(table.GetKeywordValue("$PAR"));
    if (count < 1) {
        errors.push_back(kErrNoParameters);
    } else if (count > maxParams) {
        // Each parameter is described by keywords of the TEXT segment, so a
        // count above what the segment holds cannot be genuine.
        errors.push_back(kErrSizeImpossible);
    } else {
        params.reserve(size_t(count));
        for (int64_t n = 1; n <= count; ++n) {
            auto p = std::make_unique<CParam>();
            const std::string prefix = "$P" + std::to_string(n);
            auto look = [&](char letter, std::string* value) {
                const CKeywordPair* kp = table.FindKeyword(prefix + letter);
                if (kp) *value = kp->value;
                return kp != nullptr;
            };
            std::string v;
            if ((p->hasName = look('N', &v))) p->name = v;
            if ((p->hasShortName = look('S', &v))) p->shortName = v;
            if ((p->hasBits = look('B', &v))) {
                p->bits = lm::ParseInt(v);
                // Negative widths make no sense and would shrink the event.
                if (p->bits > 0) bytesPerEvent += p->bits / 8;
            }
            if ((p->hasRange = look('R', &v))) {
                p->range = float(lm::ParseDouble(v));
                // A range of 0 (or less) describes nothing: treat it as absent.
                if (!(p->range > 0.0f)) {
                    p->range = 0.0f;
                    p->hasRange = false;
                }
            }
            if ((p->hasGain = look('G', &v))) p->gain = lm::ParseDouble(v);
            if ((p->hasFilter = look('F', &v))) p->filter = v;
            if ((p->hasWavelength = look('L', &v))) p->wavelength = lm::ParseInt(v);
            if ((p->hasVoltage = look('V', &v))) p->voltage = lm::ParseDouble(v);
            if ((p->hasDecades = look('E', &v))) {
                size_t comma = v.find(',');
                if (comma == std::string::npos) {
                    p->decades = p->offset = lm::ParseDouble(v);
                } else {
                    p->decades = lm::ParseDouble(std::string_view(v).substr(0, comma));
                    p->offset = lm::ParseDouble(std::string_view(v).substr(comma + 1));
                }
            } else {
                p->offset = 0.0;
            }
            params.push_back(std::move(p));
        }
    }

    // Every digit of $BYTEORD is one byte position; commas, spaces and any
    // other character are separators.
    for (char c : table.GetKeywordValue("$BYTEORD"))
        if (c >= '0' && c <= '9') byteOrder.push_back(c - '0');

    ReadSpill(table);

    int64_t tot = lm::ParseInt64(table.GetKeywordValue("$TOT"));
    totalEvents = int32_t(std::clamp<int64_t>(tot, 0, INT32_MAX));
}

void CParamSet::ReadSpill(const CKeywordTable& table) {
    applyCompensation = table.GetKeywordValue("APPLY COMPENSATION") == "TRUE";
    // FCS 3.1 renamed the keyword; the format is the same.
    std::string value = table.GetKeywordValue("SPILL");
    if (value.empty()) value = table.GetKeywordValue("$SPILLOVER");
    if (value.empty()) value = table.GetKeywordValue("SPILLOVER");
    if (value.empty()) return;

    std::vector<std::string_view> tokens;
    std::string_view rest(value);
    for (;;) {
        size_t c = rest.find(',');
        tokens.push_back(rest.substr(0, c));
        if (c == std::string_view::npos) break;
        rest.remove_prefix(c + 1);
    }
    const int64_t n = lm::ParseInt64(tokens[0]);
    const int64_t pc = GetParamCount();
    if (n < 1 || n > pc) return;
    if (int64_t(tokens.size()) != 1 + n + n * n) return;

    auto m = std::make_unique<CSpillMatrix>(int32_t(n));
    for (int64_t i = 0; i < n * n; ++i) m->values[size_t(i)] = float(lm::ParseDouble(tokens[size_t(1 + n + i)]));

    // Each name must stand for exactly one parameter, and no parameter twice:
    // anything else would compensate the wrong columns.
    std::vector<int32_t> idx;
    for (int64_t k = 1; k <= n; ++k) {
        int32_t found = -1;
        int hits = 0;
        for (int32_t u = 0; u < pc; ++u) {
            const CParam& p = *params[size_t(u)];
            const std::string_view tok = tokens[size_t(k)];
            if ((p.hasName && p.name == tok) || (p.hasShortName && p.shortName == tok)) {
                found = u;
                ++hits;
            }
        }
        if (hits != 1) return;
        if (std::find(idx.begin(), idx.end(), found) != idx.end()) return;
        idx.push_back(found);
    }
    m->indices = std::move(idx);
    spill = std::move(m);
}

// ---------------------------------------------------------------- CDataSet

CDataSet::CDataSet(const std::string& p, int32_t i) { Load(p, i); }

CDataSet::CDataSet() : params(std::make_unique<CParamSet>()) {}

CDataSet::~CDataSet() = default;

void CDataSet::Load(const std::string& p, int32_t i) {
    lm::MappedFile file;
    if (!file.Open(p)) {
        // An unreadable file counts as an invalid HEADER.
        path = p;
        index = i;
        errors.push_back(kErrHeaderInvalid);
        errors.push_back(kErrHeaderInvalid);
        return;
    }
    LoadFrom(file, p, i);
}

void CDataSet::LoadFrom(const lm::MappedFile& file, const std::string& p, int32_t idx) {
    errors.clear();
    primary.reset();
    supplemental.reset();
    params.reset();
    matrix.reset();
    path = p;
    index = idx;
    dataType = 0;

    const int64_t size = file.Size();
    FcsHeader h;
    header = FcsHeader();
    if (!ReadHeader(file, h, errors, 0) || idx < 0) {
        if (h.valid) errors.push_back(kErrHeaderInvalid);  // negative index
        errors.push_back(kErrHeaderInvalid);
        return;
    }
    header = h;
    // Ends are inclusive: the last byte the file has is size - 1.
    auto clampText = [&] {
        if (h.textEnd > size - 1) {
            h.textEnd = size - 1;
            errors.push_back(kErrTextPastEnd);
        }
    };
    clampText();

    int64_t start = 0;
    for (int32_t k = 0;; ++k) {
        primary = std::make_unique<CKeywordTable>(file, h.textBegin, h.textEnd, start);
        primary->MergeErrors(errors);
        if (k == idx) break;
        int64_t next = lm::ParseInt64(primary->GetKeywordValue("$NEXTDATA"));
        // 0 or absent means there is no further data set; reading this one
        // again would hand back the wrong data.
        if (next <= 0 || next > size - start) {
            primary.reset();
            errors.push_back(kErrHeaderInvalid);
            return;
        }
        start += next;
        if (!ReadHeader(file, h, errors, start)) {
            primary.reset();
            return;
        }
        header = h;
        clampText();
    }

    // FCS 3 keeps DATA offsets in TEXT when they do not fit the HEADER. Some
    // writers put 0/0 there when the HEADER holds them; those are not offsets.
    const CKeywordPair* bd = primary->FindKeyword("$BEGINDATA");
    const CKeywordPair* ed = primary->FindKeyword("$ENDDATA");
    if (bd || ed) {
        int64_t b = bd ? lm::ParseInt64(bd->value) : 0;
        int64_t e = ed ? lm::ParseInt64(ed->value) : 0;
        bool headerHasData = !(h.dataBegin == start && h.dataEnd == start);
        if (!(b == 0 && e == 0 && headerHasData)) {
            if (bd) h.dataBegin = AddOffset(b, start);
            if (ed) h.dataEnd = AddOffset(e, start);
        }
    }

    int64_t sb = AddOffset(lm::ParseInt64(primary->GetKeywordValue("$BEGINSTEXT")), start);
    int64_t se = AddOffset(lm::ParseInt64(primary->GetKeywordValue("$ENDSTEXT")), start);
    if (sb != se) {
        supplemental = std::make_unique<CKeywordTable>();
        supplemental->ParseText(file, sb, se);
    }

    // What the file says the DATA segment holds, before any clamping.
    int64_t declared = 0;
    if (!__builtin_sub_overflow(h.dataEnd, h.dataBegin, &declared) && declared >= 0 && declared < INT64_MAX)
        ++declared;
    else
        declared = -1;
    if (h.dataEnd > size - 1) {
        h.dataEnd = size - 1;
        errors.push_back(kErrDataPastEnd);
    }

    params = std::make_unique<CParamSet>();
    params->Build(*primary, int64_t(primary->Pairs().size()));
    // A $TOT no file of this size could hold, with a DATA segment that does not
    // claim it either, is not a truncated file but an impossible count.
    const int64_t bpe = params->bytesPerEvent;
    int64_t wanted = 0;
    const bool fits = !__builtin_mul_overflow(int64_t(params->totalEvents), bpe, &wanted);
    if (bpe > 0 && params->totalEvents > size / bpe && (!fits || declared != wanted))
        params->errors.push_back(kErrSizeImpossible);
    errors.insert(errors.end(), params->errors.begin(), params->errors.end());

    // FCS 3.2 dropped $MODE; only a present value other than list mode stops.
    const CKeywordPair* mode = primary->FindKeyword("$MODE");
    if (mode && (mode->value.empty() || mode->value[0] != 'L')) {
        errors.push_back(kErrNotListMode);
        return;
    }

    std::string dt = primary->GetKeywordValue("$DATATYPE");
    if (!dt.empty() && (dt[0] == 'I' || dt[0] == 'F' || dt[0] == 'D')) dataType = dt[0];

    // HEADER fields of 0/0 with nothing in TEXT mean "no DATA segment".
    int64_t db = h.dataBegin, de = h.dataEnd;
    if (db == start && de == start) de = db - 1;
    matrix = std::make_unique<CEventMatrix>(file, db, de, params.get(), dataType);

    if (!(params->applyCompensation && params->GetSpillMatrix())) matrix->ResetCurrentColumns();
    errors.insert(errors.end(), matrix->errors.begin(), matrix->errors.end());
}

void CDataSet::AddParam(int32_t range, double decades, double offset) {
    if (!params) params = std::make_unique<CParamSet>();
    auto p = std::make_unique<CParam>();
    p->range = float(range);
    p->hasRange = range > 0;
    p->decades = decades;
    p->hasDecades = true;
    p->offset = offset;
    params->params.push_back(std::move(p));
}

int32_t CDataSet::GetEventCount() const { return matrix ? matrix->GetEventCount() : 0; }

std::string CDataSet::GetKeywordValue(std::string_view kw) const {
    return primary ? primary->GetKeywordValue(kw) : std::string();
}

std::string CDataSet::GetFileName() const { return lm::FileNameOf(path); }

std::string CDataSet::GetFileDir() const { return lm::FolderOf(path); }

bool CDataSet::Compensate(const CSpillMatrix* m) {
    if (!m || !matrix) return false;
    return matrix->ApplyCompensation(*m);
}

void CDataSet::AddUser(VexaDataSetUser* user) {
    if (!user) return;
    if (std::find(users.begin(), users.end(), user) == users.end()) users.push_back(user);
}

void CDataSet::RemoveUser(VexaDataSetUser* user, bool notify) {
    auto it = std::find(users.begin(), users.end(), user);
    if (it == users.end()) return;
    if (notify) {
        user->DetachDataSet(false, true);
        user->OnDataSetChanged();
    }
    // The notifications may have changed the list: look the user up again.
    it = std::find(users.begin(), users.end(), user);
    if (it != users.end()) users.erase(it);
    if (users.empty()) delete this;
}

std::string UnreadableDataSetProblem(const CDataSet& ds) {
    const CKeywordTable* text = ds.GetKeywordTable();
    const FcsHeader& h = ds.GetHeader();
    if (!text || !h.valid) return {};
    if (h.textEnd < h.textBegin)
        return "its HEADER puts the end of TEXT (" + std::to_string(h.textEnd) + ") before its beginning (" +
               std::to_string(h.textBegin) + ")";
    if (text->Pairs().empty()) {
        if (std::find(ds.errors.begin(), ds.errors.end(), kErrDoubledDelimiter) != ds.errors.end())
            return "its TEXT segment begins with a doubled delimiter and gives no keywords";
        return "its TEXT segment (bytes " + std::to_string(h.textBegin) + " to " + std::to_string(h.textEnd) +
               ") holds no keywords";
    }
    if (ds.GetParamCount() < 1) {
        const CKeywordPair* par = text->FindKeyword("$PAR");
        return par ? "$PAR " + par->value + " names no parameters" : "it names no parameters (no $PAR)";
    }
    // A count is digits only: "-5" or "many" is not one, and reading it as 0
    // would show an empty plot as if the sample had no events.
    if (const CKeywordPair* tot = text->FindKeyword("$TOT")) {
        const std::string& v = tot->value;
        if (v.empty() || !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return "$TOT " + (v.empty() ? std::string("(empty)") : v) + " is not an event count";
    }
    return {};
}
