#include "tests/support/FcsWriter.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

#include "base/MappedFile.h"
#include "core/DataSet.h"

namespace lmtest {

namespace {

constexpr int64_t kTextStart = 256;  // TEXT offset from a data set's start

// Byte positions of an FCS byte order text; anything but digits separates.
std::vector<int> ParseOrder(std::string_view ord) {
    std::vector<int> out;
    int cur = -1;
    for (char c : ord) {
        if (c >= '0' && c <= '9') {
            cur = (cur < 0 ? 0 : cur * 10) + (c - '0');
        } else if (cur >= 0) {
            out.push_back(cur);
            cur = -1;
        }
    }
    if (cur >= 0) out.push_back(cur);
    return out;
}

std::string Escape(const std::string& s, char d) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        out += c;
        if (c == d) out += c;
    }
    return out;
}

std::string Dec(int64_t v) { return std::to_string(v); }

// A keyword name spelt as asked: every letter lower, or every other letter.
std::string CaseOf(std::string k, KeywordCase how) {
    bool lower = true;
    for (char& c : k) {
        if (c < 'A' || c > 'Z') continue;
        if (how == KeywordCase::Lower || lower) c = char(c - 'A' + 'a');
        lower = !lower;
    }
    return k;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string MakeText(const Pairs& pairs, char d) {
    std::string t(1, d);
    for (const auto& [k, v] : pairs) {
        t += Escape(k, d);
        t += d;
        t += Escape(v, d);
        t += d;
    }
    return t;
}

}  // namespace

std::vector<uint8_t> EncodeUnsigned(uint64_t value, int bytes, std::string_view ord) {
    std::vector<uint8_t> out;
    if (bytes <= 0 || bytes > 8) return out;
    std::vector<int> pos;
    bool used[9] = {};
    for (int e : ParseOrder(ord)) {
        if (e >= 1 && e <= bytes && !used[e]) {
            pos.push_back(e);
            used[e] = true;
        }
    }
    for (int e = 1; e <= bytes; ++e)
        if (!used[e]) pos.push_back(e);
    for (int k = 0; k < bytes; ++k) out.push_back(uint8_t(value >> ((pos[k] - 1) * 8)));
    return out;
}

FcsWriter::FcsWriter() { m_sets.emplace_back(); }

FcsWriter& FcsWriter::Version(std::string_view v) {
    std::string s(v.substr(0, 6));
    s.resize(6, ' ');
    Cur().version = s;
    return *this;
}
FcsWriter& FcsWriter::DataType(char type) { Cur().dataType = type; return *this; }
FcsWriter& FcsWriter::ByteOrder(std::string_view ord) { Cur().byteOrder = std::string(ord); return *this; }
FcsWriter& FcsWriter::Delimiter(char d) { Cur().delimiter = d; return *this; }
FcsWriter& FcsWriter::Mode(std::string_view mode) { Cur().mode = std::string(mode); return *this; }
FcsWriter& FcsWriter::HeaderData(HeaderDataOffsets how) { Cur().headerData = how; return *this; }
FcsWriter& FcsWriter::Keywords(KeywordCase how) { Cur().keywordCase = how; return *this; }
FcsWriter& FcsWriter::PadEvents(bool on) { Cur().padEvents = on; return *this; }

FcsWriter& FcsWriter::Param(const FcsParamSpec& p) {
    Cur().params.push_back(p);
    return *this;
}
FcsWriter& FcsWriter::Param(std::string name, int bits, std::string range, std::string decades,
                            std::string shortName) {
    FcsParamSpec p;
    p.name = std::move(name);
    p.bits = bits;
    p.range = std::move(range);
    p.decades = std::move(decades);
    p.shortName = std::move(shortName);
    return Param(p);
}
FcsWriter& FcsWriter::Event(std::initializer_list<double> values) {
    Cur().events.emplace_back(values);
    return *this;
}
FcsWriter& FcsWriter::Event(const std::vector<double>& values) {
    Cur().events.push_back(values);
    return *this;
}
FcsWriter& FcsWriter::RawData(std::vector<uint8_t> bytes) {
    Cur().hasRawData = true;
    Cur().rawData = std::move(bytes);
    return *this;
}
FcsWriter& FcsWriter::Set(std::string keyword, std::string value) {
    Cur().edits.push_back({KeywordEdit::kSet, std::move(keyword), std::move(value)});
    return *this;
}
FcsWriter& FcsWriter::Remove(std::string keyword) {
    Cur().edits.push_back({KeywordEdit::kRemove, std::move(keyword), {}});
    return *this;
}
FcsWriter& FcsWriter::Supplemental(std::string keyword, std::string value) {
    Cur().supplemental.emplace_back(std::move(keyword), std::move(value));
    return *this;
}
FcsWriter& FcsWriter::NextDataSet() {
    m_sets.emplace_back();
    return *this;
}
FcsWriter& FcsWriter::PatchBytes(Patch p) {
    m_patches.push_back(std::move(p));
    return *this;
}
FcsWriter& FcsWriter::TruncateTo(int64_t size) {
    m_truncate = size;
    return *this;
}

std::string FcsWriter::HeaderField(int64_t value) {
    std::string s = Dec(value);
    if (s.size() < 8) s.insert(0, 8 - s.size(), ' ');
    return s;
}

void FcsWriter::PutHeaderField(std::vector<uint8_t>& bytes, int64_t start, int field,
                               std::string_view text) {
    std::string s(text.substr(0, 8));
    if (s.size() < 8) s.insert(0, 8 - s.size(), ' ');
    const int64_t at = start + 10 + int64_t(field) * 8;
    if (at < 0 || at + 8 > int64_t(bytes.size())) throw std::out_of_range("HEADER field outside the bytes");
    std::memcpy(bytes.data() + at, s.data(), 8);
}

std::vector<uint8_t> FcsWriter::BuildDataSet(const DataSetSpec& s, int64_t nextData,
                                             FcsDataSetLayout* lay) const {
    // DATA bytes.
    std::vector<uint8_t> data;
    bool packed = false;
    for (const auto& p : s.params) packed = packed || (p.bits > 0 && p.bits % 8 != 0);
    if (s.hasRawData) {
        data = s.rawData;
    } else if (packed) {
        // Fields of any width, one after another with no bits between them:
        // the event is one number in the byte order, its first field at the
        // end written first (low bits first for 1,2,..., high bits first for
        // ...,2,1).
        const std::vector<int> ord = ParseOrder(s.byteOrder);
        const bool highFirst = !ord.empty() && ord.front() > 1;
        std::vector<bool> bitsOut;
        for (const auto& ev : s.events) {
            for (size_t j = 0; j < s.params.size(); ++j) {
                const double v = j < ev.size() ? ev[j] : 0.0;
                const int w = s.params[j].bits > 0 ? s.params[j].bits : 0;
                uint64_t u = 0;
                if (s.dataType == 'F') {
                    const float f = float(v);
                    uint32_t x;
                    std::memcpy(&x, &f, 4);
                    u = x;
                } else {
                    u = v < 0 ? uint64_t(int64_t(v)) : uint64_t(v);
                }
                for (int k = 0; k < w; ++k) {
                    const int bit = highFirst ? w - 1 - k : k;
                    bitsOut.push_back(bit < 64 && ((u >> bit) & 1));
                }
            }
            if (s.padEvents)
                while (bitsOut.size() % 8 != 0) bitsOut.push_back(false);
        }
        data.assign((bitsOut.size() + 7) / 8, 0);
        for (size_t i = 0; i < bitsOut.size(); ++i)
            if (bitsOut[i]) data[i / 8] |= uint8_t(highFirst ? 0x80 >> (i % 8) : 1 << (i % 8));
    } else {
        for (const auto& ev : s.events) {
            for (size_t j = 0; j < s.params.size(); ++j) {
                const double v = j < ev.size() ? ev[j] : 0.0;
                const int nb = s.params[j].bits / 8;
                std::vector<uint8_t> enc;
                if (s.dataType == 'F' && nb == 4) {
                    const float f = float(v);
                    uint32_t u;
                    std::memcpy(&u, &f, 4);
                    enc = EncodeUnsigned(u, 4, s.byteOrder);
                } else if (s.dataType == 'D' && nb == 8) {
                    uint64_t u;
                    std::memcpy(&u, &v, 8);
                    enc = EncodeUnsigned(u, 8, s.byteOrder);
                } else if (nb > 0 && nb <= 8) {
                    const uint64_t u = v < 0 ? uint64_t(int64_t(v)) : uint64_t(v);
                    enc = EncodeUnsigned(u, nb, s.byteOrder);
                } else {
                    enc.assign(size_t(nb > 0 ? nb : 0), 0);
                }
                data.insert(data.end(), enc.begin(), enc.end());
            }
        }
    }
    const std::string stext = s.supplemental.empty() ? std::string() : MakeText(s.supplemental, s.delimiter);
    // 3.x files name their offsets in the TEXT too; 2.0 files only in the HEADER.
    const bool offsetsInText = s.version.rfind("FCS2", 0) != 0;

    int64_t dataBegin = 0, dataEnd = -1, stextBegin = 0, stextEnd = 0;
    std::string text;
    for (int iter = 0; iter < 16; ++iter) {
        Pairs pairs;
        if (offsetsInText) {
            pairs.emplace_back("$BEGINANALYSIS", "0");
            pairs.emplace_back("$ENDANALYSIS", "0");
        }
        if (offsetsInText || !stext.empty()) {
            pairs.emplace_back("$BEGINSTEXT", Dec(stext.empty() ? 0 : stextBegin));
            pairs.emplace_back("$ENDSTEXT", Dec(stext.empty() ? 0 : stextEnd));
        }
        if (offsetsInText) {
            pairs.emplace_back("$BEGINDATA", Dec(data.empty() ? 0 : dataBegin));
            pairs.emplace_back("$ENDDATA", Dec(data.empty() ? 0 : dataEnd));
        }
        pairs.emplace_back("$BYTEORD", s.byteOrder);
        pairs.emplace_back("$DATATYPE", std::string(1, s.dataType));
        pairs.emplace_back("$MODE", s.mode);
        pairs.emplace_back("$NEXTDATA", Dec(nextData));
        pairs.emplace_back("$PAR", Dec(int64_t(s.params.size())));
        pairs.emplace_back("$TOT", Dec(int64_t(s.events.size())));
        for (size_t j = 0; j < s.params.size(); ++j) {
            const auto& p = s.params[j];
            const std::string n = "$P" + Dec(int64_t(j + 1));
            pairs.emplace_back(n + "B", Dec(p.bits));
            if (!p.decades.empty()) pairs.emplace_back(n + "E", p.decades);
            if (!p.name.empty()) pairs.emplace_back(n + "N", p.name);
            if (!p.range.empty()) pairs.emplace_back(n + "R", p.range);
            if (!p.shortName.empty()) pairs.emplace_back(n + "S", p.shortName);
        }
        for (const auto& e : s.edits) {
            if (e.kind == KeywordEdit::kRemove) {
                std::erase_if(pairs, [&](const auto& kv) { return kv.first == e.keyword; });
            } else {
                bool done = false;
                for (auto& kv : pairs) {
                    if (kv.first == e.keyword) {
                        kv.second = e.value;
                        done = true;
                        break;
                    }
                }
                if (!done) pairs.emplace_back(e.keyword, e.value);
            }
        }
        if (s.keywordCase != KeywordCase::Upper)
            for (auto& kv : pairs) kv.first = CaseOf(kv.first, s.keywordCase);
        text = MakeText(pairs, s.delimiter);
        const int64_t textEnd = kTextStart + int64_t(text.size()) - 1;
        const int64_t nb = textEnd + 1;
        const int64_t ne = nb + int64_t(data.size()) - 1;
        const int64_t sb = stext.empty() ? 0 : ne + 1;
        const int64_t se = stext.empty() ? 0 : sb + int64_t(stext.size()) - 1;
        if (nb == dataBegin && ne == dataEnd && sb == stextBegin && se == stextEnd) break;
        dataBegin = nb;
        dataEnd = ne;
        stextBegin = sb;
        stextEnd = se;
    }

    std::string header = s.version;
    header.resize(6, ' ');
    header += "    ";
    header += HeaderField(kTextStart);
    header += HeaderField(kTextStart + int64_t(text.size()) - 1);
    auto dataField = [&](int64_t v) {
        if (s.headerData == HeaderDataOffsets::Blank) return std::string(8, ' ');
        if (s.headerData == HeaderDataOffsets::Zero || v > 99999999 || data.empty()) return HeaderField(0);
        return HeaderField(v);
    };
    header += dataField(dataBegin);
    header += dataField(dataEnd);
    header += HeaderField(0);
    header += HeaderField(0);

    std::vector<uint8_t> out(header.begin(), header.end());
    out.resize(size_t(kTextStart), ' ');
    out.insert(out.end(), text.begin(), text.end());
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), stext.begin(), stext.end());

    if (lay) {
        lay->start = 0;
        lay->text = {kTextStart, kTextStart + int64_t(text.size()) - 1};
        lay->data = {dataBegin, dataEnd};
        lay->stext = stext.empty() ? FcsRange{} : FcsRange{stextBegin, stextEnd};
        lay->length = int64_t(out.size());
    }
    return out;
}

std::vector<uint8_t> FcsWriter::Build(FcsLayout* layout) const {
    std::vector<uint8_t> out;
    FcsLayout lay;
    for (size_t i = 0; i < m_sets.size(); ++i) {
        const bool last = i + 1 == m_sets.size();
        int64_t next = 0;
        std::vector<uint8_t> bytes;
        FcsDataSetLayout dl;
        for (int iter = 0; iter < 16; ++iter) {
            bytes = BuildDataSet(m_sets[i], last ? 0 : next, &dl);
            if (last || int64_t(bytes.size()) == next) break;
            next = int64_t(bytes.size());
        }
        const int64_t start = int64_t(out.size());
        dl.start = start;
        for (FcsRange* r : {&dl.text, &dl.data, &dl.stext}) {
            if (r->Size() > 0) {
                r->begin += start;
                r->end += start;
            }
        }
        lay.dataSets.push_back(dl);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    lay.fileSize = int64_t(out.size());
    for (const auto& p : m_patches) p(out, lay);
    if (m_truncate >= 0 && m_truncate < int64_t(out.size())) out.resize(size_t(m_truncate));
    lay.fileSize = int64_t(out.size());
    if (layout) *layout = lay;
    return out;
}

bool FcsWriter::WriteTo(const std::string& path, FcsLayout* layout) const {
    const std::vector<uint8_t> bytes = Build(layout);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f);
}

std::unique_ptr<CDataSet> LoadFcsBytes(const std::vector<uint8_t>& bytes, int32_t index,
                                       const std::string& path) {
    lm::MappedFile file;
    file.OpenMemory(bytes.data(), bytes.size());
    auto ds = std::make_unique<CDataSet>();
    ds->LoadFrom(file, path, index);
    return ds;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/lumitra-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    m_path = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::File(std::string_view name) const { return m_path + "/" + std::string(name); }

std::string TempDir::Write(std::string_view name, const std::vector<uint8_t>& bytes) const {
    const std::string p = File(name);
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    if (!f) return {};
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return f ? p : std::string();
}

}  // namespace lmtest
