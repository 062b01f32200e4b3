#pragma once
// Parts of file paths. Paths stored in documents and FCS files may come from
// Windows or Linux, so both '\' and '/' separate folders here.
#include <string>

namespace lm {

// Text after the last '\' or '/' (the whole path when there is none).
std::string FileNameOf(const std::string& path);
// Text up to and with the last '\' or '/' (empty when there is none).
std::string FolderOf(const std::string& path);
// The folder holding a file of this machine, for system calls: text before
// the last '/' ("/" for a file at the root, "." when there is no '/').
// Unlike FolderOf, a '\' is part of a Linux file name here.
std::string LocalFolderOf(const std::string& path);
// The absolute, cleaned form paths are compared and kept in: symbolic links
// resolved as far as the path exists, "." and ".." removed. Empty stays empty.
std::string CanonicalFilePath(const std::string& path);

}  // namespace lm
