#pragma once
// Diagnostic log: one line per record, each flushed at once so the file is
// complete even when the program ends abruptly.
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace lm {

class LogFile {
public:
    LogFile() = default;
    ~LogFile() = default;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Creates the file empty (an old one is replaced). False when it cannot
    // be created; the log then stays closed and writes do nothing.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;
    // Appends line and a line end, then flushes. Nothing when not open.
    void Write(std::string_view line);

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    mutable std::mutex m_mutex;
    std::unique_ptr<std::FILE, Closer> m_file;
};

}  // namespace lm
