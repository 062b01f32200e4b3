#include "base/LogFile.h"

namespace lm {

bool LogFile::Open(const std::string& path) {
    std::lock_guard lock(m_mutex);
    m_file.reset();
    // "w" truncates an existing file and creates a missing one; "e" keeps the
    // descriptor out of child processes.
    m_file.reset(std::fopen(path.c_str(), "we"));
    return m_file != nullptr;
}

void LogFile::Close() {
    std::lock_guard lock(m_mutex);
    m_file.reset();
}

bool LogFile::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_file != nullptr;
}

void LogFile::Write(std::string_view line) {
    std::lock_guard lock(m_mutex);
    if (!m_file) return;
    // An empty view may carry a null pointer, which fwrite must not see.
    if (!line.empty()) std::fwrite(line.data(), 1, line.size(), m_file.get());
    std::fputc('\n', m_file.get());
    std::fflush(m_file.get());
}

}  // namespace lm
