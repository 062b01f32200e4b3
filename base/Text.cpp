#include "base/Text.h"

namespace lm {

namespace {

constexpr bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <class Drop>
std::string_view TrimWhere(std::string_view s, Drop drop) {
    while (!s.empty() && drop(s.front())) s.remove_prefix(1);
    while (!s.empty() && drop(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

std::string_view Trim(std::string_view s) { return TrimWhere(s, IsCSpace); }

std::string_view TrimSpaces(std::string_view s) {
    return TrimWhere(s, [](char c) { return c == ' '; });
}

}  // namespace lm
