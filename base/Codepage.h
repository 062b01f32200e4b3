#pragma once
// Code page 936 (GBK, read and written as GB18030 by iconv) <-> UTF-8.
#include <string>
#include <string_view>

namespace lm {
// Bytes that are not valid cp936 become U+FFFD; never fails.
std::string Cp936ToUtf8(std::string_view bytes);
// Characters without a cp936 form become '?'; never fails.
std::string Utf8ToCp936(std::string_view utf8);
// The characters of utf8 that Utf8ToCp936 turns into '?', each once, in the
// order they first appear (UTF-8; a byte that is not UTF-8 shows as U+FFFD).
std::string Cp936Missing(std::string_view utf8);
// True when the bytes are valid UTF-8.
bool IsValidUtf8(std::string_view bytes);
// FCS keyword bytes for display: as they are when valid UTF-8, else Latin-1.
std::string BytesToDisplayUtf8(std::string_view bytes);
// The same, but bytes that are not valid UTF-8 are read in the system's code
// page (936), as older files on the target systems wrote their keyword
// values; bytes that are not cp936 either become U+FFFD.
std::string BytesToUtf8OrCp936(std::string_view bytes);
}  // namespace lm
