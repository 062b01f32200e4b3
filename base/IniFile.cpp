#include "base/IniFile.h"

#include "base/Archive.h"
#include "base/Numbers.h"
#include "base/Text.h"

namespace lm {

namespace {

constexpr size_t npos = std::string::npos;
// A profile file is a few kilobytes; anything this big is not one.
constexpr size_t kMaxIniBytes = size_t(16) << 20;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// "[name]" -> name (trimmed); false for any other line.
bool ParseSection(std::string_view line, std::string_view* name) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return false;
    const size_t close = line.find(']');
    *name = Trim(line.substr(1, close == npos ? npos : close - 1));
    return true;
}

bool IsComment(std::string_view line) {
    line = Trim(line);
    return !line.empty() && line.front() == ';';
}

// "key = value" -> key and value, both trimmed; false when there is no '='.
bool ParseKey(std::string_view line, std::string_view* key, std::string_view* value) {
    if (IsComment(line)) return false;
    const size_t eq = line.find('=');
    if (eq == npos) return false;
    *key = Trim(line.substr(0, eq));
    *value = Trim(line.substr(eq + 1));
    return true;
}

std::string OneLine(std::string_view s) {
    std::string out(Trim(s));
    for (char& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

}  // namespace

bool IniFile::Load(const std::string& path, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!CArchive::ReadFile(path, &bytes, error, kMaxIniBytes)) {
        LoadText({});
        return false;
    }
    LoadText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return true;
}

void IniFile::LoadText(std::string_view text) {
    m_lines.clear();
    m_eol = "\n";
    m_finalEol = true;
    m_bom = text.substr(0, 3) == "\xEF\xBB\xBF";
    if (m_bom) text.remove_prefix(3);
    if (text.empty()) return;
    bool first = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        const bool hasEol = nl != npos;
        if (!hasEol) nl = text.size();
        std::string_view line = text.substr(start, nl - start);
        const bool crlf = !line.empty() && line.back() == '\r';
        if (crlf) line.remove_suffix(1);
        if (first && hasEol) m_eol = crlf ? "\r\n" : "\n";
        first = false;
        m_lines.emplace_back(line);
        m_finalEol = hasEol;
        start = nl + 1;
    }
}

size_t IniFile::FindSection(std::string_view section) const {
    section = Trim(section);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        std::string_view name;
        if (ParseSection(m_lines[i], &name) && EqualNoCase(name, section)) return i;
    }
    return npos;
}

size_t IniFile::SectionEnd(size_t sec) const {
    std::string_view name;
    for (size_t i = sec + 1; i < m_lines.size(); ++i)
        if (ParseSection(m_lines[i], &name)) return i;
    return m_lines.size();
}

size_t IniFile::FindKey(size_t sec, std::string_view key) const {
    key = Trim(key);
    const size_t end = SectionEnd(sec);
    for (size_t i = sec + 1; i < end; ++i) {
        std::string_view k, v;
        if (ParseKey(m_lines[i], &k, &v) && EqualNoCase(k, key)) return i;
    }
    return npos;
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
    const size_t sec = FindSection(section);
    return sec != npos && FindKey(sec, key) != npos;
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view def) const {
    const size_t sec = FindSection(section);
    const size_t line = sec == npos ? npos : FindKey(sec, key);
    if (line == npos) return std::string(def);
    std::string_view k, v;
    ParseKey(m_lines[line], &k, &v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

int32_t IniFile::GetInt(std::string_view section, std::string_view key, int32_t def) const {
    if (!HasKey(section, key)) return def;
    return ParseInt(GetString(section, key));
}

void IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string keyText = OneLine(key);
    const std::string valueText = OneLine(value);
    size_t sec = FindSection(section);
    if (sec == npos) {
        if (!m_lines.empty() && !Trim(m_lines.back()).empty()) m_lines.emplace_back();
        m_lines.push_back("[" + OneLine(section) + "]");
        m_lines.push_back(keyText + "=" + valueText);
        m_finalEol = true;
        return;
    }
    const size_t line = FindKey(sec, key);
    if (line != npos) {
        // Keep the spelling of the key already in the file.
        std::string_view k, v;
        ParseKey(m_lines[line], &k, &v);
        m_lines[line] = std::string(k) + "=" + valueText;
        return;
    }
    // After the section's last non-blank line, so a blank line that separates
    // it from the next section stays in place.
    size_t at = SectionEnd(sec);
    while (at > sec + 1 && Trim(m_lines[at - 1]).empty()) --at;
    m_lines.insert(m_lines.begin() + ptrdiff_t(at), keyText + "=" + valueText);
}

void IniFile::SetInt(std::string_view section, std::string_view key, int64_t value) {
    SetString(section, key, FormatInt(value));
}

std::string IniFile::Text() const {
    std::string out;
    if (m_bom) out = "\xEF\xBB\xBF";
    for (size_t i = 0; i < m_lines.size(); ++i) {
        out += m_lines[i];
        if (i + 1 < m_lines.size() || m_finalEol) out += m_eol;
    }
    return out;
}

bool IniFile::Save(const std::string& path, std::string* error) const {
    const std::string text = Text();
    return CArchive::WriteFileAtomic(path, std::vector<uint8_t>(text.begin(), text.end()), error);
}

}  // namespace lm
