#pragma once
// Number parsing and formatting that never depends on the user's locale.
// Parsing follows the prefix rules of the C library's atoi/atol/atof: leading
// white space is skipped, an optional sign is taken, conversion stops at the
// first character that cannot continue the number, and no digits give 0.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace lm {

// atoi/atol: decimal integer prefix. Values beyond the range saturate
// (the C library leaves them undefined; saturation is what glibc does for strtol).
int32_t ParseInt(std::string_view s);
int64_t ParseInt64(std::string_view s);

// atof: decimal floating prefix ("1.5e3xyz" -> 1500, "  -.5" -> -0.5, "abc" -> 0).
// Accepts "inf"/"nan" like strtod does. Always '.' as the decimal point.
double ParseDouble(std::string_view s);

// Strict variants for user-typed values: the whole text (after trimming
// spaces) must be a number. Return false and leave *out alone otherwise.
bool TryParseInt(std::string_view s, int32_t* out);
bool TryParseDouble(std::string_view s, double* out);

// "%ld"
std::string FormatInt(int64_t v);
// "%.<decimals>f" in the C locale (e.g. FormatFixed(1.5, 2) == "1.50").
std::string FormatFixed(double v, int decimals);
// "%g"-style shortest text in the C locale.
std::string FormatGeneral(double v, int precision = 6);

// Whether v equals one of values (a state or code among several).
template <class T>
constexpr bool IsOneOf(T v, std::initializer_list<std::type_identity_t<T>> values) {
    return std::find(values.begin(), values.end(), v) != values.end();
}

}  // namespace lm
