#include "report/app/LogRec.h"

#include <cstdio>

#include "base/Numbers.h"

CLogRec::CLogRec() : CLogRec(kLogFileName) {}

CLogRec::CLogRec(const std::string& path) {
    // An old log goes first, so a log that cannot be recreated does not
    // leave the previous run's lines looking current.
    std::remove(path.c_str());
    m_file.Open(path);
}

CLogRec::~CLogRec() { m_file.Close(); }

void CLogRec::Write(std::string_view text) {
    // An empty view may carry no pointer at all; the C library's write calls
    // must never see a null buffer.
    m_file.Write(text.data() ? text : std::string_view(""));
}

void CLogRec::Write(int64_t n) { m_file.Write(lm::FormatInt(n)); }

void CLogRec::Write(std::string_view text, int64_t n) {
    std::string line(text);
    line += ":  ";
    line += lm::FormatInt(n);
    m_file.Write(line);
}
