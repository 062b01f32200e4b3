#pragma once
// The program's diagnostic log "log.txt": recreated empty in the current
// folder at start, one line a record, each line flushed at once. Texts are
// written verbatim. When the file cannot be created the log does nothing.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/LogFile.h"

inline constexpr char kLogFileName[] = "log.txt";

class CLogRec {
public:
    // "log.txt" in the current folder.
    CLogRec();
    // Another file (tests).
    explicit CLogRec(const std::string& path);
    virtual ~CLogRec();
    CLogRec(const CLogRec&) = delete;
    CLogRec& operator=(const CLogRec&) = delete;

    // The text and a line end.
    void Write(std::string_view text = {});
    // n as "%ld".
    void Write(int64_t n);
    // text, ":  " and n as "%ld" (text is not a format: '%' stays '%').
    void Write(std::string_view text, int64_t n);

    bool IsOpen() const { return m_file.IsOpen(); }

private:
    lm::LogFile m_file;
};
