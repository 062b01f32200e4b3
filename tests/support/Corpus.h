#pragma once
// The folder of real FCS files used by the corpus tests, and a small JSON
// reader for the expected values kept next to them.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lmtest {

// The folder of real FCS files: $LUMITRA_FCS_DIR when set, else the folder the
// build was configured with. Returns "" (and the reason in *why) when the
// folder or its expected.json is missing.
std::string CorpusDir(std::string* why = nullptr);

// Whole file as text; false when it cannot be read.
bool ReadTextFile(const std::string& path, std::string* out);

class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    Type type = Type::Null;
    bool boolean = false;
    double number = 0.0;
    std::string string;
    std::vector<JsonValue> array;
    std::vector<std::pair<std::string, JsonValue>> object;  // in file order

    bool IsNull() const { return type == Type::Null; }
    bool IsNumber() const { return type == Type::Number; }
    bool IsString() const { return type == Type::String; }
    bool IsArray() const { return type == Type::Array; }
    bool IsObject() const { return type == Type::Object; }

    // Member of an object, or null when absent (or not an object).
    const JsonValue* Find(std::string_view key) const;
    size_t Size() const { return type == Type::Array ? array.size() : object.size(); }
    const JsonValue& operator[](size_t i) const { return array.at(i); }
};

// Parses a whole JSON text (RFC 8259; \u escapes become UTF-8). False with a
// message naming the byte offset on malformed input.
bool ParseJson(std::string_view text, JsonValue* out, std::string* error = nullptr);

}  // namespace lmtest
