#pragma once
// A folder that takes no writes for as long as the object lives: read-only,
// and, as root ignores that, no file of the process may grow either (the
// size limit is what stops a root process from writing).
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>

namespace lmtest {

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const std::string& path) : m_path(path) {
        chmod(path.c_str(), 0555);
        getrlimit(RLIMIT_FSIZE, &m_limit);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (access(path.c_str(), W_OK) == 0) {
            rlimit none = m_limit;
            none.rlim_cur = 0;
            setrlimit(RLIMIT_FSIZE, &none);
        }
    }
    ~ReadOnlyFolder() {
        setrlimit(RLIMIT_FSIZE, &m_limit);
        std::signal(SIGXFSZ, m_oldHandler);
        chmod(m_path.c_str(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

private:
    std::string m_path;
    rlimit m_limit{};
    void (*m_oldHandler)(int) = nullptr;
};

}  // namespace lmtest
