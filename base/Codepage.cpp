#include "base/Codepage.h"

#include <cerrno>
#include <iconv.h>

namespace lm {

namespace {

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr char kEuroUtf8[] = "\xE2\x82\xAC";         // U+20AC

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// One conversion descriptor per thread and direction: iconv_t carries state
// and must not be shared between threads.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (Ok()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return m_cd != iconv_t(-1); }

    // Converts all of in. Each byte the source character set rejects is passed
    // to onBad (which appends a replacement to out) and skipped, so every
    // step consumes input and the loop always ends.
    template <class OnBad>
    void Run(std::string_view in, std::string* out, OnBad onBad) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // initial shift state
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char chunk[1024];
        while (srcLeft > 0) {
            char* dst = chunk;
            size_t dstLeft = sizeof chunk;
            const size_t r = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out->append(chunk, size_t(dst - chunk));
            if (r != size_t(-1)) continue;
            if (errno == E2BIG) continue;  // chunk full: drain and go on
            // EILSEQ (invalid sequence) or EINVAL (sequence cut off at the end):
            // replace one byte and resynchronise after it.
            onBad(static_cast<unsigned char>(*src), out);
            ++src;
            --srcLeft;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = chunk;
        size_t dstLeft = sizeof chunk;
        iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);  // flush any shift sequence
        out->append(chunk, size_t(dst - chunk));
    }

private:
    iconv_t m_cd;
};

// GB18030 encodes every Unicode character, cp936 does not: four-byte GB18030
// sequences (second byte a digit) have no cp936 form and become '?', and the
// euro sign, which GB18030 puts at A2 E3, is the single byte 0x80 in cp936.
std::string Gb18030ToCp936(const std::string& g) {
    std::string out;
    out.reserve(g.size());
    for (size_t i = 0; i < g.size();) {
        const unsigned char c = static_cast<unsigned char>(g[i]);
        if (c < 0x80 || i + 1 >= g.size()) {
            out.push_back(char(c));
            ++i;
            continue;
        }
        const unsigned char c2 = static_cast<unsigned char>(g[i + 1]);
        if (c2 >= 0x30 && c2 <= 0x39 && i + 3 < g.size()) {
            out.push_back('?');
            i += 4;
        } else if (c == 0xA2 && c2 == 0xE3) {
            out.push_back(char(0x80));
            i += 2;
        } else {
            out.push_back(char(c));
            out.push_back(char(c2));
            i += 2;
        }
    }
    return out;
}

}  // namespace

std::string Cp936ToUtf8(std::string_view bytes) {
    if (IsAscii(bytes)) return std::string(bytes);
    thread_local Converter conv("UTF-8", "GB18030");
    std::string out;
    out.reserve(bytes.size() * 3 / 2 + 4);
    auto onBad = [](unsigned char b, std::string* o) {
        // 0x80 is the euro sign in cp936 but not valid GB18030.
        o->append(b == 0x80 ? kEuroUtf8 : kReplacementUtf8);
    };
    if (!conv.Ok()) {  // no converter: keep ASCII, mark everything else
        for (unsigned char c : bytes) {
            if (c < 0x80) out.push_back(char(c));
            else out.append(kReplacementUtf8);
        }
        return out;
    }
    conv.Run(bytes, &out, onBad);
    return out;
}

std::string Utf8ToCp936(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    thread_local Converter conv("GB18030", "UTF-8");
    std::string g;
    g.reserve(utf8.size());
    auto onBad = [](unsigned char, std::string* o) { o->push_back('?'); };
    if (!conv.Ok()) {
        for (unsigned char c : utf8) g.push_back(c < 0x80 ? char(c) : '?');
        return g;
    }
    // Invalid UTF-8 gives one '?' per rejected byte.
    conv.Run(utf8, &g, onBad);
    return Gb18030ToCp936(g);
}

std::string Cp936Missing(std::string_view utf8) {
    std::string missing;
    if (IsAscii(utf8)) return missing;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (i + len > utf8.size() || !IsValidUtf8(utf8.substr(i, len))) len = 1;
        const std::string_view ch = utf8.substr(i, len);
        i += len;
        if (c < 0x80 || Utf8ToCp936(ch) != "?") continue;
        const std::string shown = IsValidUtf8(ch) ? std::string(ch) : std::string(kReplacementUtf8);
        if (missing.find(shown) == std::string::npos) missing += shown;
    }
    return missing;
}

bool IsValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
        else return false;  // continuation byte, overlong lead (C0, C1) or > F4
        if (n - i < len) return false;
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return false;
        if (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) return false;
        i += len;
    }
    return true;
}

std::string BytesToDisplayUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string BytesToUtf8OrCp936(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Cp936ToUtf8(bytes);
}

}  // namespace lm
