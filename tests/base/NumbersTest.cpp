#include "base/Numbers.h"

#include "tests/base/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale>
#include <sstream>

namespace {

constexpr int32_t kI32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kI32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kI64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kI64Min = std::numeric_limits<int64_t>::min();

// Integers take atoi's leading prefix and saturate instead of wrapping.
TEST(Numbers, IntegerPrefixRulesAndSaturation) {
    const struct {
        std::string_view text;
        int64_t as32, as64;
    } cases[] = {
        {"12abc", 12, 12},
        {"\t\n\v\f\r +42x", 42, 42},
        {"  -7", -7, -7},
        {"abc", 0, 0}, {"", 0, 0}, {"-", 0, 0}, {"--5", 0, 0}, {"+ 5", 0, 0},
        {"1.9", 1, 1},
        {"0x1A", 0, 0},  // decimal only
        {"007", 7, 7},
        {std::string_view("123456", 3), 123, 123},  // digits past the view's end are not read
        {"2147483647", kI32Max, kI32Max}, {"-2147483648", kI32Min, kI32Min},
        {"2147483648", kI32Max, 2147483648LL},
        {"-2147483649", kI32Min, -2147483649LL},
        {"9223372036854775807", kI32Max, kI64Max}, {"-9223372036854775808", kI32Min, kI64Min},
        {"9223372036854775808", kI32Max, kI64Max},
        {"-99999999999999999999", kI32Min, kI64Min},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lm::ParseInt(c.text), c.as32) << c.text;
        EXPECT_EQ(lm::ParseInt64(c.text), c.as64) << c.text;
    }
}

TEST(Numbers, DoublePrefixRules) {
    const struct {
        std::string text;
        double value;
    } cases[] = {
        {"1.5e3x", 1500.0}, {"  -.5", -0.5}, {"+.5e1", 5.0}, {".5", 0.5},
        {"1e", 1.0},    // exponent without digits is not taken
        {"1,5", 1.0},   // a comma never continues a number
        {"abc", 0.0}, {".", 0.0}, {"", 0.0},
        {std::string(300, ' ') + "3.25", 3.25},  // long texts take the same path as short ones
        {"0." + std::string(400, '0') + "1e401", 1.0},
    };
    for (const auto& c : cases) EXPECT_EQ(lm::ParseDouble(c.text), c.value) << c.text;
    EXPECT_TRUE(std::isinf(lm::ParseDouble("inf")));
    EXPECT_LT(lm::ParseDouble("-INFINITY"), 0.0);
    EXPECT_TRUE(std::isnan(lm::ParseDouble("nan")));
    EXPECT_TRUE(std::isinf(lm::ParseDouble("1e400")));  // as atof
    EXPECT_EQ(lm::ParseDouble(std::string_view("2.75", 3)), 2.7);
}

TEST(Numbers, StrictParsing) {
    int32_t i = 99;
    EXPECT_TRUE(lm::TryParseInt(" 42 ", &i));
    EXPECT_EQ(i, 42);
    EXPECT_TRUE(lm::TryParseInt("-2147483648", &i));
    EXPECT_EQ(i, kI32Min);
    i = 99;
    for (const char* bad : {"", "  ", "42x", "4 2", "2147483648", "-2147483649", "1.0", "+", "x1"})
        EXPECT_FALSE(lm::TryParseInt(bad, &i)) << bad;
    EXPECT_EQ(i, 99);  // untouched on failure

    double d = 7.0;
    EXPECT_TRUE(lm::TryParseDouble(" -1.25e2 ", &d));
    EXPECT_EQ(d, -125.0);
    EXPECT_TRUE(lm::TryParseDouble("5.", &d));
    EXPECT_EQ(d, 5.0);
    EXPECT_TRUE(lm::TryParseDouble(".5", &d));
    EXPECT_EQ(d, 0.5);
    d = 7.0;
    for (const char* bad : {"", ".", "1.5x", "1,5", "1e", "e5", "inf", "nan", "0x10", "1e999", "--1"})
        EXPECT_FALSE(lm::TryParseDouble(bad, &d)) << bad;
    EXPECT_EQ(d, 7.0);
}

TEST(Numbers, FormattingMatchesPrintfInTheCLocale) {
    EXPECT_EQ(lm::FormatInt(0), "0");
    EXPECT_EQ(lm::FormatInt(-42), "-42");
    EXPECT_EQ(lm::FormatInt(kI64Min), "-9223372036854775808");
    EXPECT_EQ(lm::FormatFixed(-0.0, 1), "-0.0");
    EXPECT_EQ(lm::FormatFixed(1e20, 1), "100000000000000000000.0");
    EXPECT_EQ(lm::FormatFixed(1.5, -1), "1.500000");  // negative precision: printf's default
    EXPECT_EQ(lm::FormatGeneral(1e6), "1e+06");  // default precision 6
    EXPECT_EQ(lm::FormatGeneral(123456789), "1.23457e+08");
    EXPECT_EQ(lm::FormatGeneral(0.5, 0), "0.5");
    EXPECT_EQ(lm::FormatGeneral(std::numeric_limits<double>::infinity()), "inf");

    // Cross-check against the C library in the C locale over awkward values:
    // 2.5 and 0.125 are exact ties (to even), 1.005 lies just below in binary,
    // 1e-5 and 1e-4 sit on either side of %g's switch to exponents.
    const double values[] = {0.125, 0.1, 1234.5678, -9.995, 1e-7, 3.0e15, 6.02214076e23, 2.0 / 3,
                             2.5, 1.005, 1e-5, 1e-4, 100000};
    char buf[512];
    for (double v : values) {
        for (int p : {0, 1, 2, 6, 17}) {
            std::snprintf(buf, sizeof buf, "%.*f", p, v);
            EXPECT_EQ(lm::FormatFixed(v, p), buf) << v << " " << p;
            std::snprintf(buf, sizeof buf, "%.*g", p, v);
            EXPECT_EQ(lm::FormatGeneral(v, p), buf) << v << " " << p;
        }
    }
}

// Sets the C library to a locale whose decimal point is a comma. Installed
// locales are tried first; otherwise one is compiled with localedef into a
// temporary folder (LOCPATH). Empty when neither works.
std::string UseCommaLocale(TempDir* dir) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"})
        if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',') return name;
    if (!dir->Ok() || std::system("command -v localedef >/dev/null 2>&1") != 0) return {};
    const std::string target = dir->File("de_DE.UTF-8");
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 && !std::filesystem::exists(target + "/LC_NUMERIC")) return {};
    setenv("LOCPATH", dir->Path().c_str(), 1);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") && *std::localeconv()->decimal_point == ',')
        return "de_DE.UTF-8 (generated)";
    return {};
}

TEST(Numbers, CommaDecimalCLocaleDoesNotAffectNumbers) {
    TempDir dir;
    const std::string name = UseCommaLocale(&dir);
    if (name.empty()) {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
        GTEST_SKIP() << "no comma-decimal locale installed and localedef could not make one";
    }
    // The C library now writes and expects decimal commas...
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", 1.5);
    const std::string printfText = buf;
    const double atofValue = std::atof("1.5");
    // ...our helpers do not.
    const std::string fixed = lm::FormatFixed(1.5, 2);
    const std::string general = lm::FormatGeneral(0.25);
    const double parsed = lm::ParseDouble("1.5e3x");
    double strict = 0;
    const bool strictOk = lm::TryParseDouble("2.75", &strict);
    const double commaParsed = lm::ParseDouble("1,5");
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");

    EXPECT_EQ(printfText, "1,50") << name;
    EXPECT_EQ(atofValue, 1.0) << name;
    EXPECT_EQ(fixed, "1.50");
    EXPECT_EQ(general, "0.25");
    EXPECT_EQ(parsed, 1500.0);
    EXPECT_TRUE(strictOk);
    EXPECT_EQ(strict, 2.75);
    EXPECT_EQ(commaParsed, 1.0);
}

// The C++ global locale (what Qt-side code or streams might set) is a
// separate switch; the helpers must ignore it too.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(Numbers, CommaDecimalCppGlobalLocaleDoesNotAffectNumbers) {
    const std::locale old = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    std::ostringstream os;
    os << 1234.5;
    const std::string streamText = os.str();
    const std::string fixed = lm::FormatFixed(1234.5, 1);
    const std::string integer = lm::FormatInt(1234567);
    const double parsed = lm::ParseDouble("1234.5");
    std::locale::global(old);

    EXPECT_EQ(streamText, "1.234,5");  // proves the locale is in force
    EXPECT_EQ(fixed, "1234.5");
    EXPECT_EQ(integer, "1234567");
    EXPECT_EQ(parsed, 1234.5);
}

}  // namespace
