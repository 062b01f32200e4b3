#include "base/Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

#include "base/Text.h"

namespace lm {

namespace {

// White space as isspace() sees it in the C locale, whatever locale is set.
constexpr bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal prefix after optional white space and sign. *consumed is how many
// characters were taken (0 when there were no digits), *overflow whether the
// magnitude ran past int64.
int64_t ScanInt64(std::string_view s, size_t* consumed, bool* overflow) {
    size_t i = 0;
    while (i < s.size() && IsCSpace(s[i])) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        ++i;
    }
    const size_t firstDigit = i;
    // Accumulate as a negative number so INT64_MIN is reachable.
    int64_t acc = 0;
    bool over = false;
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        const int d = s[i] - '0';
        if (!over) {
            if (acc < (kMin + d) / 10) over = true;
            else acc = acc * 10 - d;
        }
    }
    if (i == firstDigit) {  // no digits: nothing was converted
        *consumed = 0;
        *overflow = false;
        return 0;
    }
    *consumed = i;
    if (over) {
        *overflow = true;
        return neg ? kMin : std::numeric_limits<int64_t>::max();
    }
    if (!neg) {
        if (acc == kMin) {
            *overflow = true;
            return std::numeric_limits<int64_t>::max();
        }
        acc = -acc;
    }
    *overflow = false;
    return acc;
}

int32_t Saturate32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

// A "C" locale object, made once, for strtod_l.
locale_t CLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return loc;
}

// strtod in the C locale over a string_view (which need not be terminated).
// Returns the value and the number of characters consumed.
double StrtodC(std::string_view s, size_t* consumed) {
    char small[128];
    std::string big;
    const char* p;
    if (s.size() < sizeof small) {
        s.copy(small, s.size());
        small[s.size()] = '\0';
        p = small;
    } else {
        big.assign(s);
        p = big.c_str();
    }
    char* end = nullptr;
    const double v = strtod_l(p, &end, CLocale());
    *consumed = size_t(end - p);
    return v;
}

}  // namespace

int64_t ParseInt64(std::string_view s) {
    size_t n;
    bool over;
    return ScanInt64(s, &n, &over);
}

int32_t ParseInt(std::string_view s) { return Saturate32(ParseInt64(s)); }

double ParseDouble(std::string_view s) {
    size_t n;
    const double v = StrtodC(s, &n);
    return n == 0 ? 0.0 : v;
}

bool TryParseInt(std::string_view s, int32_t* out) {
    s = Trim(s);
    if (s.empty()) return false;
    size_t n;
    bool over;
    const int64_t v = ScanInt64(s, &n, &over);
    if (n != s.size() || over) return false;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
    *out = int32_t(v);
    return true;
}

bool TryParseDouble(std::string_view s, double* out) {
    s = Trim(s);
    // Only plain decimal notation: [sign] digits [. digits] [e [sign] digits],
    // with at least one mantissa digit. Hex, "inf" and "nan" are not values a
    // user types into a number field.
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t mantissaDigits = 0;
    while (i < s.size() && IsDigit(s[i])) { ++i; ++mantissaDigits; }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) { ++i; ++mantissaDigits; }
    }
    if (mantissaDigits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < s.size() && IsDigit(s[i])) { ++i; ++expDigits; }
        if (expDigits == 0) return false;
    }
    if (i != s.size()) return false;
    size_t n;
    const double v = StrtodC(s, &n);
    // Out-of-range magnitudes come back as infinity: not a usable value.
    if (n != s.size() || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

std::string FormatInt(int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// std::to_chars with a precision is defined as printf's conversion in the C
// locale, so it gives "%.Nf"/"%.Ng" text without consulting setlocale.
std::string FormatFixed(double v, int decimals) {
    if (decimals < 0) decimals = 6;  // printf treats a negative precision as absent
    if (decimals > 1100) decimals = 1100;  // beyond every digit a double can have
    std::string buf(size_t(decimals) + 330, '\0');
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return {};
    buf.resize(size_t(r.ptr - buf.data()));
    return buf;
}

std::string FormatGeneral(double v, int precision) {
    if (precision < 0) precision = 6;
    if (precision > 1100) precision = 1100;
    std::string buf(size_t(precision) + 40, '\0');
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::general, precision);
    if (r.ec != std::errc()) return {};
    buf.resize(size_t(r.ptr - buf.data()));
    return buf;
}

}  // namespace lm
