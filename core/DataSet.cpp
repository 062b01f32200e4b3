#include "core/DataSet.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>

#include "base/Codepage.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/Text.h"
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
    spillProblem = o.spillProblem;
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
                // A range of 0 (or less) describes nothing, and one beyond
                // what a float holds ("inf", 1e39) no instrument measures:
                // treat both as absent.
                if (!(p->range > 0.0f) || !std::isfinite(p->range)) {
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
                // "inf" or 1e400 is no amplifier: such a number could not be
                // stored with the analysis, and would turn every value it
                // touches into infinity.
                if (!std::isfinite(p->decades)) p->decades = 0.0;
                if (!std::isfinite(p->offset)) p->offset = 0.0;
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
    const char* keyword = "SPILL";
    std::string value = table.GetKeywordValue(keyword);
    for (const char* other : {"$SPILLOVER", "SPILLOVER"}) {
        if (!value.empty()) break;
        keyword = other;
        value = table.GetKeywordValue(other);
    }
    if (value.empty()) return;
    // A matrix the file gives but that cannot be used must not just vanish:
    // the events would be shown uncompensated without a word.
    auto unusable = [&](const std::string& why) {
        spillProblem = std::string("its ") + keyword + " keyword " + why;
        errors.push_back(kErrSpillUnusable);
    };

    // Writers put spaces after the commas now and then: they belong to no
    // name and no number.
    std::vector<std::string_view> tokens;
    std::string_view rest(value);
    for (;;) {
        size_t c = rest.find(',');
        tokens.push_back(lm::TrimSpaces(rest.substr(0, c)));
        if (c == std::string_view::npos) break;
        rest.remove_prefix(c + 1);
    }
    const int64_t n = lm::ParseInt64(tokens[0]);
    const int64_t pc = GetParamCount();
    if (n < 1 || n > pc) {
        unusable("names " + std::string(tokens[0]) + " parameters of " + std::to_string(pc));
        return;
    }
    // Some writers list the compensated parameters with no coefficients at
    // all: there is no matrix to lose.
    if (int64_t(tokens.size()) == 1 + n) return;
    if (int64_t(tokens.size()) != 1 + n + n * n) {
        unusable("holds " + std::to_string(tokens.size() - 1) + " values where " + std::to_string(n) +
                 " names and " + std::to_string(n * n) + " coefficients belong");
        return;
    }

    auto m = std::make_unique<CSpillMatrix>(int32_t(n));
    for (int64_t i = 0; i < n * n; ++i) m->values[size_t(i)] = float(lm::ParseDouble(tokens[size_t(1 + n + i)]));

    // Each name must stand for exactly one parameter, and no parameter twice:
    // anything else would compensate the wrong columns.
    std::vector<int32_t> idx;
    for (int64_t k = 1; k <= n; ++k) {
        int32_t found = -1;
        int hits = 0;
        const std::string_view tok = tokens[size_t(k)];
        for (int32_t u = 0; u < pc; ++u) {
            const CParam& p = *params[size_t(u)];
            if ((p.hasName && p.name == tok) || (p.hasShortName && p.shortName == tok)) {
                found = u;
                ++hits;
            }
        }
        if (hits != 1) {
            unusable("names \"" + std::string(tok) + "\", which " +
                     (hits == 0 ? std::string("no parameter has") : std::to_string(hits) + " parameters have"));
            return;
        }
        if (std::find(idx.begin(), idx.end(), found) != idx.end()) {
            unusable("names parameter " + std::to_string(found + 1) + " twice");
            return;
        }
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

void CDataSet::AddParam(float range, double decades, double offset) {
    if (!params) params = std::make_unique<CParamSet>();
    auto p = std::make_unique<CParam>();
    p->range = range;
    p->hasRange = range > 0.0f;
    p->decades = decades;
    p->hasDecades = true;
    p->offset = offset;
    params->params.push_back(std::move(p));
}

int32_t CDataSet::GetEventCount() const { return matrix ? matrix->GetEventCount() : 0; }

std::string CDataSet::GetKeywordValue(std::string_view kw) const {
    return primary ? primary->GetKeywordValue(kw) : std::string();
}

std::string CDataSet::ShownText(std::string_view bytes) { return lm::BytesToUtf8OrCp936(bytes); }

std::string CDataSet::GetParamNameText(int32_t i) const {
    const CParam* p = GetParam(i);
    return p && p->hasName ? ShownText(p->name) : std::string();
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
    // Histograms are not events: an empty plot would hide that the file
    // holds something this program does not show.
    if (std::find(ds.errors.begin(), ds.errors.end(), kErrNotListMode) != ds.errors.end()) {
        const CKeywordPair* mode = text->FindKeyword("$MODE");
        const std::string v = mode && !mode->value.empty() ? mode->value : std::string("(empty)");
        std::string kind;
        if (v == "C") kind = " (correlated histograms)";
        else if (v == "U") kind = " (uncorrelated histograms)";
        return "its $MODE is " + v + kind + ", not list mode (L): it holds no events to show";
    }
    if (const CEventMatrix* m = ds.GetEventMatrix(); m && ds.GetDataType() == 0) {
        const CKeywordPair* type = text->FindKeyword("$DATATYPE");
        if (!type || type->value.empty()) return "it has no $DATATYPE: its events cannot be read";
        if (type->value == "A") return "its $DATATYPE is A (values written as text), which this program cannot read";
        return "its $DATATYPE " + type->value + " is not a data type it knows (I, F or D)";
    }
    // Not one column could be decoded: a plot of zeros would look like data.
    if (const CEventMatrix* m = ds.GetEventMatrix(); m && m->GetParamCount() > 0 &&
                                                     m->UndecodableCount() == m->GetParamCount()) {
        std::string why = m->UndecodableWhy(0);
        for (int32_t j = 1; j < m->GetParamCount(); ++j)
            if (m->UndecodableWhy(j) != why) return "none of its parameters can be decoded (" + why + ", ...)";
        return "none of its parameters can be decoded (" + why + ")";
    }
    return {};
}

std::string DataSetReadWarning(const CDataSet& ds) {
    auto has = [&ds](int32_t code) { return std::find(ds.errors.begin(), ds.errors.end(), code) != ds.errors.end(); };
    const CParamSet* ps = ds.GetParamSet();
    const CEventMatrix* m = ds.GetEventMatrix();
    const int32_t total = ps ? ps->totalEvents : 0;
    const int32_t read = ds.GetEventCount();
    std::vector<std::string> faults;
    if (m && read < total) faults.push_back("only " + std::to_string(read) + " of " + std::to_string(total) +
                                            " events could be read");
    if (m && read > 0 && m->UndecodableCount() > 0) {
        // Name the parameters: the user must know which columns are zeros.
        std::string list;
        int32_t named = 0;
        for (int32_t j = 0; j < m->GetParamCount(); ++j) {
            const std::string& why = m->UndecodableWhy(j);
            if (why.empty()) continue;
            if (named == 3) {
                list += " and " + std::to_string(m->UndecodableCount() - 3) + " more";
                break;
            }
            const std::string name = ds.GetParamNameText(j);
            list += std::string(named ? "; " : "") + "parameter " + std::to_string(j + 1) +
                    (name.empty() ? std::string() : " (" + name + ")") + ": " + why;
            ++named;
        }
        faults.push_back(std::string(named == 1 && m->UndecodableCount() == 1 ? "a parameter" : "parameters") +
                         " could not be decoded and read as 0 (" + list + ")");
    }
    const bool damaged = !faults.empty() || (m && (has(kErrDataPastEnd) || has(kErrSizeImpossible)));
    std::string text;
    if (damaged) {
        text = "The FCS file " + ds.GetFileName() + " is damaged";
        for (size_t i = 0; i < faults.size(); ++i) text += (i == 0 ? ": " : "; ") + faults[i];
        text += ".";
    }
    if (ps && !ps->spillProblem.empty() && m) {
        if (!text.empty()) text += "\n";
        text += "The spillover matrix of " + ds.GetFileName() + " cannot be used: " + ps->spillProblem +
                ". Its events are shown without compensation.";
    }
    return text;
}
