#include "tests/support/Corpus.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef LUMITRA_FCS_CORPUS
#define LUMITRA_FCS_CORPUS ""
#endif

namespace lmtest {

std::string CorpusDir(std::string* why) {
    const char* env = std::getenv("LUMITRA_FCS_DIR");
    const bool fromEnv = env && *env;
    const std::string dir = fromEnv ? std::string(env) : std::string(LUMITRA_FCS_CORPUS);
    std::error_code ec;
    if (dir.empty()) {
        if (why) *why = "no corpus folder configured (set LUMITRA_FCS_DIR)";
        return {};
    }
    if (!std::filesystem::is_directory(dir, ec)) {
        if (why) *why = "corpus folder " + dir + " not found" + (fromEnv ? " (LUMITRA_FCS_DIR)" : "");
        return {};
    }
    if (!std::filesystem::is_regular_file(dir + "/expected.json", ec)) {
        if (why) *why = "corpus folder " + dir + " has no expected.json";
        return {};
    }
    return dir;
}

bool ReadTextFile(const std::string& path, std::string* out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream ss;
    ss << f.rdbuf();
    *out = ss.str();
    return true;
}

const JsonValue* JsonValue::Find(std::string_view key) const {
    if (type != Type::Object) return nullptr;
    for (const auto& [k, v] : object)
        if (k == key) return &v;
    return nullptr;
}

namespace {

class Parser {
public:
    explicit Parser(std::string_view t) : s(t) {}

    bool Parse(JsonValue* out, std::string* error) {
        bool ok = Value(out, 0);
        if (ok) {
            Ws();
            if (i != s.size()) ok = Fail("trailing characters");
        }
        if (!ok && error) *error = msg + " at byte " + std::to_string(i);
        return ok;
    }

private:
    std::string_view s;
    size_t i = 0;
    std::string msg;

    bool Fail(const char* m) {
        msg = m;
        return false;
    }
    void Ws() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    }
    bool Lit(std::string_view w) {
        if (s.substr(i, w.size()) != w) return Fail("unknown literal");
        i += w.size();
        return true;
    }

    bool Value(JsonValue* v, int depth) {
        if (depth > 200) return Fail("nesting too deep");
        Ws();
        if (i >= s.size()) return Fail("unexpected end");
        const char c = s[i];
        if (c == '{') return Object(v, depth);
        if (c == '[') return Array(v, depth);
        if (c == '"') {
            v->type = JsonValue::Type::String;
            return String(&v->string);
        }
        if (c == 't') { v->type = JsonValue::Type::Bool; v->boolean = true; return Lit("true"); }
        if (c == 'f') { v->type = JsonValue::Type::Bool; v->boolean = false; return Lit("false"); }
        if (c == 'n') { v->type = JsonValue::Type::Null; return Lit("null"); }
        if (c == '-' || (c >= '0' && c <= '9')) return Number(v);
        return Fail("unexpected character");
    }

    bool Number(JsonValue* v) {
        // JSON grammar: -?(0|[1-9]d*)(.d+)?([eE][+-]?d+)?
        const size_t b = i;
        if (s[i] == '-') ++i;
        auto digits = [&] {
            const size_t d = i;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
            return i > d;
        };
        if (i < s.size() && s[i] == '0') ++i;
        else if (!digits()) return Fail("bad number");
        if (i < s.size() && s[i] == '.') {
            ++i;
            if (!digits()) return Fail("bad fraction");
        }
        if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
            ++i;
            if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
            if (!digits()) return Fail("bad exponent");
        }
        double d = 0.0;
        const auto r = std::from_chars(s.data() + b, s.data() + i, d);
        if (r.ec != std::errc() || r.ptr != s.data() + i) return Fail("number out of range");
        v->type = JsonValue::Type::Number;
        v->number = d;
        return true;
    }

    static void Utf8(uint32_t cp, std::string* out) {
        if (cp < 0x80) {
            *out += char(cp);
        } else if (cp < 0x800) {
            *out += char(0xC0 | (cp >> 6));
            *out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out += char(0xE0 | (cp >> 12));
            *out += char(0x80 | ((cp >> 6) & 0x3F));
            *out += char(0x80 | (cp & 0x3F));
        } else {
            *out += char(0xF0 | (cp >> 18));
            *out += char(0x80 | ((cp >> 12) & 0x3F));
            *out += char(0x80 | ((cp >> 6) & 0x3F));
            *out += char(0x80 | (cp & 0x3F));
        }
    }

    bool Hex4(uint32_t* out) {
        if (i + 4 > s.size()) return Fail("short \\u escape");
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s[i++];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= uint32_t(c - '0');
            else if (c >= 'a' && c <= 'f') v |= uint32_t(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= uint32_t(c - 'A' + 10);
            else return Fail("bad \\u escape");
        }
        *out = v;
        return true;
    }

    bool String(std::string* out) {
        ++i;  // opening quote
        out->clear();
        while (true) {
            if (i >= s.size()) return Fail("unterminated string");
            const char c = s[i++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in string");
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (i >= s.size()) return Fail("unterminated escape");
            const char e = s[i++];
            switch (e) {
                case '"': *out += '"'; break;
                case '\\': *out += '\\'; break;
                case '/': *out += '/'; break;
                case 'b': *out += '\b'; break;
                case 'f': *out += '\f'; break;
                case 'n': *out += '\n'; break;
                case 'r': *out += '\r'; break;
                case 't': *out += '\t'; break;
                case 'u': {
                    uint32_t cp = 0;
                    if (!Hex4(&cp)) return false;
                    if (cp >= 0xD800 && cp < 0xDC00 && s.substr(i, 2) == "\\u") {
                        i += 2;
                        uint32_t lo = 0;
                        if (!Hex4(&lo)) return false;
                        if (lo < 0xDC00 || lo > 0xDFFF) return Fail("bad surrogate pair");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    }
                    Utf8(cp, out);
                    break;
                }
                default: return Fail("unknown escape");
            }
        }
    }

    bool Array(JsonValue* v, int depth) {
        ++i;
        v->type = JsonValue::Type::Array;
        Ws();
        if (i < s.size() && s[i] == ']') { ++i; return true; }
        while (true) {
            JsonValue item;
            if (!Value(&item, depth + 1)) return false;
            v->array.push_back(std::move(item));
            Ws();
            if (i >= s.size()) return Fail("unterminated array");
            if (s[i] == ',') { ++i; continue; }
            if (s[i] == ']') { ++i; return true; }
            return Fail("expected , or ]");
        }
    }

    bool Object(JsonValue* v, int depth) {
        ++i;
        v->type = JsonValue::Type::Object;
        Ws();
        if (i < s.size() && s[i] == '}') { ++i; return true; }
        while (true) {
            Ws();
            if (i >= s.size() || s[i] != '"') return Fail("expected a key");
            std::string key;
            if (!String(&key)) return false;
            Ws();
            if (i >= s.size() || s[i] != ':') return Fail("expected :");
            ++i;
            JsonValue item;
            if (!Value(&item, depth + 1)) return false;
            v->object.emplace_back(std::move(key), std::move(item));
            Ws();
            if (i >= s.size()) return Fail("unterminated object");
            if (s[i] == ',') { ++i; continue; }
            if (s[i] == '}') { ++i; return true; }
            return Fail("expected , or }");
        }
    }
};

}  // namespace

bool ParseJson(std::string_view text, JsonValue* out, std::string* error) {
    JsonValue v;
    Parser p(text);
    if (!p.Parse(&v, error)) return false;
    *out = std::move(v);
    return true;
}

}  // namespace lmtest
