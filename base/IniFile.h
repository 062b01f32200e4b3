#pragma once
// A profile (".ini") file with the rules of the Windows profile functions:
// "[section]" headers and "key=value" lines, section and key names matched
// without regard to ASCII case, white space around names and values ignored,
// the first of duplicate sections or keys wins. Every line that is not
// changed (comments, blank lines, other sections, keys of other programs)
// is written back exactly as it was read, in the same order.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lm {

class IniFile {
public:
    // Reads the file. A missing or unreadable file leaves the object empty,
    // so every Get gives its default; returns false then (reason in *error).
    bool Load(const std::string& path, std::string* error = nullptr);
    // Parses text as the contents of a file.
    void LoadText(std::string_view text);

    // The value (trimmed, one pair of enclosing quotes removed), or def when
    // the section or key is missing.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def = {}) const;
    // Decimal prefix of the value with atoi's rules (non-numbers give 0);
    // def when the key is missing.
    int32_t GetInt(std::string_view section, std::string_view key, int32_t def) const;
    bool HasKey(std::string_view section, std::string_view key) const;

    // Replaces the first matching key's line by "key=value", adds the key at
    // the end of its section, or appends the section to the file. Line breaks
    // in the value become spaces (they would split the line).
    void SetString(std::string_view section, std::string_view key, std::string_view value);
    void SetInt(std::string_view section, std::string_view key, int64_t value);

    // Writes the file through a temporary file renamed over it.
    bool Save(const std::string& path, std::string* error = nullptr) const;
    // The text Save writes.
    std::string Text() const;

private:
    // Index of the "[section]" line of the first matching section, or npos.
    size_t FindSection(std::string_view section) const;
    // Index of the first line of key in the section starting at line sec.
    size_t FindKey(size_t sec, std::string_view key) const;
    // One past the last line of the section starting at line sec.
    size_t SectionEnd(size_t sec) const;

    std::vector<std::string> m_lines;  // without line ends
    std::string m_eol = "\n";          // line end used by the file read
    bool m_finalEol = true;            // whether the last line had a line end
    bool m_bom = false;                // UTF-8 byte order mark at the start
};

}  // namespace lm
