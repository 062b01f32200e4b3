#pragma once
// Trimming of text read from files and typed by the user. White space is
// always that of the C locale, whatever locale the program runs in.
#include <string_view>

namespace lm {

// Without leading and trailing white space (' ', '\t', '\n', '\v', '\f', '\r').
std::string_view Trim(std::string_view s);
// Without leading and trailing ' ' only: an FCS value keeps its tabs, which may
// be the file's own delimiter written twice, and an axis title its layout.
std::string_view TrimSpaces(std::string_view s);

}  // namespace lm
