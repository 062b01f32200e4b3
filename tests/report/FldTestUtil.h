#pragma once
// Helpers of the ".fld" tests: a byte builder that writes records the way the
// file layout says (independently of the program's writer), synthetic FCS
// files on disk, and small scoped switches.
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/Archive.h"
#include "core/GateNode.h"
#include "report/page/FileRecords.h"
#include "tests/support/FcsWriter.h"

namespace fldtest {

// Little-endian bytes of a record, written field by field.
struct Bytes {
    std::vector<uint8_t> b;

    Bytes& I(int32_t v) {
        for (int k = 0; k < 4; ++k) b.push_back(uint8_t(uint32_t(v) >> (8 * k)));
        return *this;
    }
    Bytes& U(uint32_t v) { return I(int32_t(v)); }
    Bytes& F(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        return U(u);
    }
    Bytes& D(double v) {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        U(uint32_t(u));
        return U(uint32_t(u >> 32));
    }
    // An archive string of raw bytes: one length byte below 255, else 0xFF
    // and 16 bits below 0xFFFE, else 0xFF, 0xFFFF and 32 bits.
    Bytes& S(const std::string& raw) {
        const size_t n = raw.size();
        if (n < 0xFF) {
            b.push_back(uint8_t(n));
        } else if (n < 0xFFFE) {
            b.push_back(0xFF);
            b.push_back(uint8_t(n));
            b.push_back(uint8_t(n >> 8));
        } else {
            b.push_back(0xFF);
            b.push_back(0xFF);
            b.push_back(0xFF);
            I(int32_t(n));
        }
        b.insert(b.end(), raw.begin(), raw.end());
        return *this;
    }
    Bytes& Raw(const std::vector<uint8_t>& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    Bytes& Raw(const Bytes& more) { return Raw(more.b); }
};

// A linear transform record over 0 .. top (words as a new transform has them).
inline Bytes LinearTrans(float top) {
    Bytes t;
    t.I(0).F(0.0f).F(top).F(top).I(0).I(1).I(1);
    return t;
}

// A gate record.
inline Bytes Gate(const std::string& name, int32_t op, const Bytes* region, const std::vector<int32_t>& inputs,
                  uint32_t colour, int32_t id) {
    Bytes g;
    g.I(kGateRecordVersion).S(name).I(op).I(region ? 1 : 0);
    if (region) g.Raw(*region);
    g.I(int32_t(inputs.size()));
    for (int32_t k : inputs) g.I(k);
    g.U(colour).I(id);
    return g;
}

inline Bytes RectRegion(int32_t x, int32_t y, float x0, float y0, float x1, float y1) {
    Bytes r;
    r.I(1).I(x).I(y).F(x0).F(y0).F(x1).F(y1);
    return r;
}

// Count fields left at kAuto follow what the record holds.
constexpr int32_t kAuto = INT32_MIN;

// Everything of a data-shell record, as fields a test can spoil one by one.
struct ShellFields {
    struct Param {
        float range;
        double decades, offset;
    };
    std::string folder;
    int32_t dataType = 'F';
    int32_t paramCount = kAuto;
    std::vector<Param> params{{1024.0f, 0.0, 0.0}, {1024.0f, 0.0, 0.0}};
    std::string path = "/nowhere/at/all/x.fcs";
    int32_t index = 0;
    std::string name = "S";
    int32_t k = kAuto;  // kAuto: the parameter count, identity
    std::vector<float> values;
    std::vector<int32_t> indices;
    int32_t transformCount = kAuto;
    std::vector<Bytes> transforms{LinearTrans(1024.0f), LinearTrans(1024.0f)};
    int32_t gateCount = kAuto;  // kAuto: gates.size() + 1 + quadParts
    int32_t quadParts = 0;
    std::vector<Bytes> gates;
    int32_t paletteWord = kPaletteCountWord;
    int32_t paletteCount = kAuto;  // kAuto: one per gate
    std::vector<uint32_t> palette;  // empty: made-up colours
    std::vector<int32_t> gatePool{1, 1};
    std::vector<int32_t> quadPool{1};

    Bytes Build(bool templateFlag = false) const {
        Bytes r;
        r.S(folder).I(dataType).I(paramCount != kAuto ? paramCount : int32_t(params.size()));
        for (const Param& p : params) r.F(p.range).D(p.decades).D(p.offset);
        if (!templateFlag) r.S(path).I(index);
        r.S(name);
        const int32_t n = k == kAuto ? int32_t(params.size()) : k;
        r.I(n);
        if (k == kAuto) {
            for (int32_t i = 0; i < n; ++i)
                for (int32_t j = 0; j < n; ++j) r.F(i == j ? 1.0f : 0.0f);
            for (int32_t i = 0; i < n; ++i) r.I(i);
        } else {
            for (float v : values) r.F(v);
            for (int32_t v : indices) r.I(v);
        }
        r.I(transformCount != kAuto ? transformCount : int32_t(transforms.size()));
        for (const Bytes& t : transforms) r.Raw(t);
        const int32_t g = gateCount != kAuto ? gateCount : int32_t(gates.size()) + 1 + quadParts;
        r.I(g);
        for (const Bytes& gate : gates) r.Raw(gate);
        r.I(paletteWord);
        const int32_t pc = paletteCount != kAuto ? paletteCount : g;
        for (int32_t j = 0; j < pc; ++j)
            r.U(size_t(j) < palette.size() ? palette[size_t(j)] : 0x010101u * uint32_t(j + 1));
        r.I(int32_t(gatePool.size()));
        for (int32_t v : gatePool) r.I(v);
        r.I(int32_t(quadPool.size()));
        for (int32_t v : quadPool) r.I(v);
        return r;
    }
};

// Turns the look-up of FCS files off for the life of the object.
class ScopedNoFileLookup {
public:
    ScopedNoFileLookup() : m_saved(CFileFCSShell::GetFileLookup()) { CFileFCSShell::SetFileLookup(false); }
    ~ScopedNoFileLookup() { CFileFCSShell::SetFileLookup(m_saved); }

private:
    bool m_saved;
};

// Puts the gate palette back as a fresh program has it, now and afterwards.
class ScopedPalette {
public:
    ScopedPalette() { ResetGateColorPalette(); }
    ~ScopedPalette() { ResetGateColorPalette(); }
};

// Runs in another current folder for the life of the object.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::string& dir) {
        char buf[4096];
        if (getcwd(buf, sizeof buf)) m_saved = buf;
        m_ok = chdir(dir.c_str()) == 0;
    }
    ~ScopedCurrentDir() {
        if (!m_saved.empty()) (void)chdir(m_saved.c_str());
    }
    bool Ok() const { return m_ok; }

private:
    std::string m_saved;
    bool m_ok = false;
};

// A five-parameter FCS file ("FS", "SS" linear; "FL1".."FL3" log) with
// events spread over the whole range, the same for every call.
inline std::vector<uint8_t> FiveParamFcs(int events = 400) {
    lmtest::FcsWriter w;
    w.Param("FS", 32, "1024").Param("SS", 32, "1024");
    w.Param("FL1", 32, "1024", "4,1").Param("FL2", 32, "1024", "4,1").Param("FL3", 32, "1024", "4,1");
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return double((seed >> 8) % 1024);
    };
    for (int e = 0; e < events; ++e) {
        const double a = next(), b = next(), c = next(), d = next(), f = next();
        w.Event({a, b, c, d, f});
    }
    return w.Build();
}

}  // namespace fldtest
