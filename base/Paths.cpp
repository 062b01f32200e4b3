#include "base/Paths.h"

#include <filesystem>

namespace lm {

std::string FileNameOf(const std::string& path) {
    const size_t k = path.find_last_of("\\/");
    return k == std::string::npos ? path : path.substr(k + 1);
}

std::string FolderOf(const std::string& path) {
    const size_t k = path.find_last_of("\\/");
    return k == std::string::npos ? std::string() : path.substr(0, k + 1);
}

std::string LocalFolderOf(const std::string& path) {
    const size_t k = path.rfind('/');
    if (k == std::string::npos) return ".";
    return k == 0 ? "/" : path.substr(0, k);
}

std::string CanonicalFilePath(const std::string& path) {
    if (path.empty()) return {};
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path abs = fs::absolute(fs::path(path), ec);
    if (ec) abs = fs::path(path);
    fs::path canon = fs::weakly_canonical(abs, ec);
    if (ec) canon = abs.lexically_normal();
    return canon.string();
}

}  // namespace lm
