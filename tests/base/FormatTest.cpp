#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/Format.h"

namespace orvane {
namespace {

const double kInf = std::numeric_limits<double>::infinity();


struct FloatCase {
    const char* fmt;
    double value;
    const char* expected;
};

// One table for the float conversions; every line is one call of Format.
const FloatCase kFloatCases[] = {
    // e: precision counts significant digits; the exponent is signed, three digits.
    {"%12.6e", 1234.5, "1.23450E+003"},
    {"%18.10e", -0.00012345, " -1.234500000E-004"},
    {"%12.6e", 0.0, "0.00000E+000"},
    {"%12.6e", -0.0, "0.00000E+000"},
    {"%12.6e", 1e14, "1.00000E+014"},
    {"%12.6e", 4.94065645841246544e-324, "4.94066E-324"},
    {"%12.6e", 1.7976931348623157e308, "1.79769E+308"},
    {"%12.6e", 9.999996e5, "1.00000E+006"},        // the carry raises the exponent
    {"%12.6e", 0.8941635, "8.94164E-001"},         // rounded from the 18-digit form
    {"%e", 1.0 / 3.0, "3.33333333333333E-001"},     // 15 digits without a precision
    {"%.1e", 9.96, "1E+001"},
    {"%12.6e", kInf, "         INF"},
    {"%12.6e", -kInf, "        -INF"},
    {"%12.6e", std::nan(""), "         NAN"},
    // f: fixed decimals, halves away from zero on the 18-digit form.
    {"%5.3f", 2.0, "2.000"},
    {"%10.4f", -144.8956, " -144.8956"},
    {"%15.10f", -875.1708610518, "-875.1708610518"},
    {"%12.3f", -7e-6, "      -0.000"},  // a negative value rounding to zero keeps its sign
    {"%12.3f", -0.0, "       0.000"},   // a negative zero has none
    {"%.0f", 0.5, "1"},
    {"%.0f", 2.5, "3"},
    {"%.0f", -2.5, "-3"},
    {"%.1f", 0.25, "0.3"},               // exact binary tie: away from zero, not to even
    {"%.1f", 0.15, "0.1"},               // 0.1499999999999999944...
    {"%.3f", 370.3005, "370.301"},       // 370.300499999999999999.. reads 370.3005 in 18 digits
    {"%.2f", 0.004, "0.00"},
    {"%.2f", 0.005, "0.01"},
    {"%.2f", 999.995, "1000.00"},
    {"%8.4f", 50.0, " 50.0000"},
    {"%f", 1.005, "1.00"},               // two decimals without a precision
    {"%.2f", 123456789012345678.0, "123456789012345680.00"},
    {"%.2f", 1e20, "1E020"},             // beyond the 18 digits: the g form
    {"%.3f", 1e-30, "0.000"},
    {"%10.4f", -kInf, "      -INF"},
    // g: significant digits, trailing zeros dropped, notation from the rounded exponent.
    {"%12.7g", 0.5, "         0.5"},
    {"%12.7g", 1.5e-7, "    1.5E-007"},
    {"%12.5g", 123456.7, "  1.2346E005"},
    {"%12.7g", 100000000.0, "       1E008"},
    {"%12.7g", 0.0001, "      0.0001"},
    {"%12.7g", 0.00001, "      1E-005"},
    {"%12.7g", 9999999.6, "       1E007"},      // rounds to 10^7: exponent 8 > 7
    {"%12.7g", 9999999.4, "     9999999"},
    {"%12.7g", 0.000099999996, "      0.0001"}, // rounds up into the fixed range
    {"%12.7g", -137.922552, "   -137.9226"},
    {"%12.7g", 0.0, "           0"},
    {"%12.3g", 0.2495, "        0.25"},    // 0.249499999999999999.. reads 0.2495 in 18 digits
    {"%g", 1e300, "1E300"},
    {"%.3g", -1.5e-10, "-1.5E-010"},
    {"%12.7g", 1234567.0, "     1234567"},
};

TEST(Format, FloatConversions)
{
    for (const FloatCase& c : kFloatCases)
        EXPECT_EQ(c.expected, Format(c.fmt, {c.value})) << c.fmt << " of " << c.value;
}

TEST(Format, CommaLocaleUsesTheCommaInEveryFloatConversion)
{
    EXPECT_EQ("1,23450E+003", Format("%12.6e", {1234.5}, ','));
    EXPECT_EQ("   -144,8956", Format("%12.4f", {-144.8956}, ','));
    EXPECT_EQ("  1,2346E005", Format("%12.5g", {123456.7}, ','));
    EXPECT_EQ("0,6328", FloatToStr(0.6328, ','));
    EXPECT_EQ("    12", Format("%6d", {12}, ','));
    EXPECT_EQ("# a,b,c = 1,5", Format("# a,b,c = %s", {FloatToStr(1.5, ',')}, ','));
    std::string line;
    FormatTo(line, "%12.6f", {-147.434393}, ',');
    EXPECT_EQ(" -147,434393", line);
    EXPECT_EQ("1.5", FloatToStr(1.5));  // the point unless a separator is given
}

TEST(Format, IntegersTextsAndLiterals)
{
    EXPECT_EQ("Ray n\xC2\xB0:   7 ", Format("Ray n\xC2\xB0: %3d ", {7}));
    EXPECT_EQ("-2147483648|4294967296", Format("%d|%d", {-2147483648LL, 4294967296LL}));
    EXPECT_EQ("  -7|007|-004", Format("%4d|%.3d|%.3d", {-7, 7, -4}));
    EXPECT_EQ("1234", Format("%2d", {1234}));  // width never truncates
    EXPECT_EQ("100% of   abc|abc  |ab", Format("100%% of %5s|%-5s|%.2s", {"abc", "abc", "abc"}));
    EXPECT_EQ("1.000 0.800 scale ", Format("%5.3f %5.3f scale ", {1, 40.0 / 50.0}));  // an integer for f
    EXPECT_EQ("newpath 259 195 125 0 360 arc ", Format("newpath %d %d %d 0 360 arc ", {259, 195, 125}));
    EXPECT_EQ("no directive", Format("no directive", {}));
    EXPECT_EQ("-12|0|12", IntToStr(-12) + "|" + IntToStr(0) + "|" + IntToStr(12));

    std::string line = "x=";
    FormatTo(line, "%12.6f %12.6e", {-147.434393, 34811.6});
    EXPECT_EQ("x= -147.434393 3.48116E+004", line);
}

TEST(Format, MalformedFormatsAndMismatchedArgumentsRaiseConversionErrors)
{
    struct Case {
        const char* fmt;
        std::initializer_list<FormatArg> args;
    };
    const Case cases[] = {
        {"%d", {1.5}},        // a float for an integer
        {"%f", {"text"}},     // a text for a float
        {"%s", {3}},          // an integer for a text
        {"%d %d", {1}},       // an argument missing
        {"%q", {1}},          // no such conversion
        {"50%", {1}},         // a lone % at the end
        {"%12.", {1.0}},      // a directive cut short
    };
    for (const Case& c : cases)
        EXPECT_THROW(Format(c.fmt, c.args), ConversionError) << c.fmt;
    try {
        Format("%d", {1.5});
        ADD_FAILURE();
    } catch (const ConversionError& e) {
        EXPECT_STREQ("Format '%d' invalid or incompatible with argument", e.what());
    }
}

TEST(FloatToStr, FifteenDigitsShortestForm)
{
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.6328, "0.6328"},
        {50.0, "50"},
        {1e-7, "1E-7"},
        {49.9999999999995, "49.9999999999995"},
        {1.333, "1.333"},
        {0.0, "0"},
        {-0.0, "0"},
        {-1.5, "-1.5"},
        {0.1 + 0.2, "0.3"},
        {1.0 / 3.0, "0.333333333333333"},
        {0.0001, "0.0001"},
        {0.00001, "1E-5"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {1e100, "1E100"},
        {-2.5e-300, "-2.5E-300"},
        {kInf, "INF"},
        {-kInf, "-INF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, FloatToStr(c.value)) << c.value;
}

// Every data line of the reference runs, read back and formatted again with the format
// that wrote it, must come out byte for byte (widths, signs, exponents).
TEST(Format, ReproducesTheLinesOfReferenceDataFiles)
{
    const std::string root = ORVANE_REFERENCE_DIR;
    struct File {
        const char* name;
        int columns;
        const char* lineFormat;  // of one line of `columns` numbers
    };
    const File files[] = {
        {"/default/Orvane_t.dat", 4, "%12.6f %12.6e %12.6e %12.6e"},
        {"/default/Orvane_d.dat", 2, "%12.6f %12.6e"},
        {"/default/Orvane_0.dat", 2, "%12.6f %12.6e"},
        {"/default/Orvane_3.dat", 2, "%12.6f %12.6e"},
        {"/spheroid/Orvane_t.dat", 4, "%12.6f %12.6e %12.6e %12.6e"},
        {"/default/Orvane_Airy.dat", 5, "%10.4f %10.4f %10.4f %10.4f %10.4f"},
        {"/default/Orvane_Airy.dat", 2, "%12.6f %12.6e"},
        {"/spheroid/Orvane_Airy.dat", 5, "%10.4f %10.4f %10.4f %10.4f %10.4f"},
    };
    for (const File& f : files) {
        std::ifstream in(root + f.name, std::ios::binary);
        ASSERT_TRUE(in) << f.name;
        std::string line;
        int checked = 0;
        while (std::getline(in, line)) {
            ASSERT_FALSE(line.empty()) << f.name;
            ASSERT_EQ('\r', line.back()) << f.name;
            line.pop_back();
            if (line.empty() || line[0] == '#')
                continue;
            std::istringstream words(line);
            std::vector<double> v;
            std::string word;
            while (words >> word) {
                double x = StrToFloat(word);
                if (x == 0.0 && word[0] == '-')
                    x = -1e-300;  // printed from a small negative value
                v.push_back(x);
            }
            if (static_cast<int>(v.size()) != f.columns)
                continue;
            const std::string again = f.columns == 2 ? Format(f.lineFormat, {v[0], v[1]})
                                    : f.columns == 4 ? Format(f.lineFormat, {v[0], v[1], v[2], v[3]})
                                                     : Format(f.lineFormat, {v[0], v[1], v[2], v[3], v[4]});
            ASSERT_EQ(line, again) << f.name;
            ++checked;
        }
        EXPECT_GT(checked, 30) << f.name;
    }
}

TEST(StrToFloat, AcceptsSignDigitsSeparatorAndExponentWithBlanksAround)
{
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"1.5", 1.5},        {"  0.6328 ", 0.6328}, {"-2e3", -2000.0}, {"+.5", 0.5},   {"5.", 5.0},
        {"5E1", 50.0},       {"1.25e-2", 0.0125},   {"007", 7.0},      {"-0", -0.0},   {"1e-999", 0.0},
        {"0e99999", 0.0},    {"4.9e-324", 4.9e-324}, {"1.7976931348623157e308", 1.7976931348623157e308},
        {"123456789012345678901234567890", 1.2345678901234568e29},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value, StrToFloat(c.text)) << c.text;
    EXPECT_TRUE(std::signbit(StrToFloat("-0")));
}

TEST(StrToFloat, AnythingElseIsAConversionErrorQuotingTheText)
{
    for (const char* text : {"", "   ", "abc", "1,5", "1.5.2", "1e", "e5", "1e+", "--1", "1 5", "INF", "NAN", "nan",
                             "1e999", "-1e309", "0x10", "1.5x", ".", "+", "$10", "1\t"}) {
        try {
            StrToFloat(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const ConversionError& e) {
            EXPECT_EQ("'" + std::string(text) + "' is not a valid floating point value", e.what());
        }
    }
}

TEST(StrToFloat, CommaLocaleTakesTheCommaAndRefusesThePoint)
{
    EXPECT_EQ(1.5, StrToFloat("1,5", ','));
    EXPECT_EQ(-0.25, StrToFloat(" -2,5e-1 ", ','));
    EXPECT_THROW(StrToFloat("1.5", ','), ConversionError);
    EXPECT_THROW(StrToFloat("1,5"), ConversionError);
    double v = 0;
    EXPECT_FALSE(TryStrToFloat("1.5", v, ','));
    EXPECT_TRUE(TryStrToFloat("1.5", v));
    EXPECT_EQ(1.5, v);
}

TEST(StrToInt, DecimalOrHexadecimalWithinThirtyTwoBits)
{
    const struct {
        const char* text;
        std::int32_t value;
    } cases[] = {
        {"42", 42},
        {" -7 ", -7},
        {"+3", 3},
        {"$FF", 255},
        {"$ff", 255},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"$7FFFFFFF", 2147483647},
        {"$FFFFFFFF", -1},  // the bit pattern of a 32-bit value
        {"0000000000000000000000000012", 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value, StrToInt(c.text)) << c.text;

    for (const char* text : {"", "1.0", "2147483648", "-2147483649", "99999999999999999999", "$", "$G", "$100000000",
                             "12a", "1e3", "+", "- 1", "0x10", "1,000"}) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const ConversionError& e) {
            EXPECT_EQ("'" + std::string(text) + "' is not a valid integer value", e.what());
        }
    }
}

// Generated texts: the conversions never crash, either return a value or throw
// ConversionError, and agree with the C library where both read the text.
TEST(Conversions, RandomTextsAreReadOrRefusedConsistently)
{
    std::mt19937 rng(12345);
    const char alphabet[] = "0123456789+-.,eE$ aAfFxXnN\t";
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
    std::uniform_int_distribution<int> length(0, 14);
    std::uniform_int_distribution<int> digitsOnly(0, 3);
    int acceptedFloats = 0, acceptedInts = 0;
    for (int i = 0; i < 5000; ++i) {
        std::string text;
        const int n = length(rng);
        const bool numeric = digitsOnly(rng) == 0;  // a share of mostly well-formed texts
        for (int k = 0; k < n; ++k)
            text.push_back(numeric && k > 0 ? "0123456789.e-"[pick(rng) % 13] : alphabet[pick(rng)]);

        try {
            const double v = StrToFloat(text);
            ++acceptedFloats;
            char* end = nullptr;
            const double c = std::strtod(text.c_str(), &end);
            while (*end == ' ')
                ++end;
            EXPECT_EQ('\0', *end) << "'" << text << "'";
            EXPECT_EQ(c, v) << "'" << text << "'";
        } catch (const ConversionError&) {
        }
        try {
            const std::int32_t v = StrToInt(text);
            ++acceptedInts;
            if (text.find('$') == std::string::npos) {
                EXPECT_EQ(std::strtoll(text.c_str(), nullptr, 10), v) << "'" << text << "'";
            }
        } catch (const ConversionError&) {
        }
    }
    EXPECT_GT(acceptedFloats, 300);
    EXPECT_GT(acceptedInts, 50);
}

// The e and f forms by their rule, from C's correctly rounded 18 significant digits:
// rounded half away from zero to the digits kept (e: `precision` significant digits, f:
// `precision` decimals, for values below 1e12).
std::string ByTheRule(double v, char conversion, int precision)
{
    char c[64];
    std::snprintf(c, sizeof c, "%.17e", std::fabs(v));
    std::string d = std::string(1, c[0]) + std::string(c + 2, 17);  // 0.d[0]d[1]... x 10^x
    int x = std::atoi(c + 20) + 1;
    const int keep = conversion == 'e' ? precision : x + precision;
    std::string kept(std::max(keep, 0), '0');
    for (int i = 0; i < keep && i < 18; ++i)
        kept[i] = d[i];
    bool up = keep >= 0 && keep < 18 && d[keep] >= '5';
    for (int i = keep - 1; up && i >= 0; --i) {
        up = kept[i] == '9';
        kept[i] = up ? '0' : static_cast<char>(kept[i] + 1);
    }
    if (up || (keep == 0 && d[0] >= '5')) {  // carried out of the first digit
        kept.insert(kept.begin(), '1');
        ++x;
        if (conversion == 'e')
            kept.pop_back();
    }
    std::string out = v < 0 ? "-" : "";
    if (conversion == 'e') {
        out += kept.substr(0, 1) + (precision > 1 ? "." + kept.substr(1) : "");
        char e[16];
        std::snprintf(e, sizeof e, "E%c%03d", x - 1 < 0 ? '-' : '+', std::abs(x - 1));
        return out + e;
    }
    // f: the kept digits stand for x integer digits and the decimals.
    const int intDigits = std::max(x, 0);
    std::string digits = std::string(std::max(-x, 0), '0') + kept;
    digits.resize(intDigits + precision, '0');
    out += intDigits > 0 ? digits.substr(0, intDigits) : "0";
    return precision > 0 ? out + "." + digits.substr(intDigits) : out;
}

// Values near the halves of the digits kept, where rounding the 18-digit form and rounding
// the exact value part: a rest just short of 1/2 that the 18 digits read as 5000 rounds up.
TEST(Format, EAndFFollowTheEighteenDigitRuleOnEveryKindOfValue)
{
    std::mt19937_64 rng(5);
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> exponent(-140, 20);
    std::uniform_int_distribution<std::uint64_t> anyBits;
    std::uniform_int_distribution<int> steps(-3, 3);
    struct Form {
        const char* fmt;
        char conversion;
        int precision;
    };
    const Form forms[] = {{"%.6e", 'e', 6}, {"%.1e", 'e', 1}, {"%.12e", 'e', 12}, {"%.17e", 'e', 17},
                          {"%.6f", 'f', 6}, {"%.0f", 'f', 0}, {"%.3f", 'f', 3},   {"%.9f", 'f', 9}};
    int checked = 0;
    for (int i = 0; i < 60000; ++i) {
        double v;
        const int kind = i % 4;
        if (kind == 3) {
            const std::uint64_t b = anyBits(rng);
            std::memcpy(&v, &b, sizeof v);
            if (!std::isfinite(v))
                continue;
        } else {
            // A decimal of 2..19 digits; for kinds 1 and 2 it ends in 5 or in 4999.. / 5000..
            std::string text = std::to_string(1 + digit(rng) % 9) + ".";
            const int length = 1 + static_cast<int>(rng() % 18);
            for (int k = 0; k < length; ++k)
                text += static_cast<char>('0' + digit(rng));
            if (kind == 1)
                text += "5";
            if (kind == 2)
                text += rng() % 2 ? "4999999999999" : "5000000000001";
            text += "e" + std::to_string(exponent(rng));
            v = std::strtod(text.c_str(), nullptr);
            for (int s = steps(rng); s != 0; s += s > 0 ? -1 : 1)
                v = std::nextafter(v, s > 0 ? 1e300 : 0.0);
        }
        if (i % 5 == 0)
            v = -v;
        for (const Form& f : forms) {
            if (f.conversion == 'f' && !(std::fabs(v) < 1e12))
                continue;
            ASSERT_EQ(ByTheRule(v, f.conversion, f.precision), Format(f.fmt, {v}))
                << f.fmt << " of " << Format("%.17e", {v});
            ++checked;
        }
    }
    EXPECT_GT(checked, 200000);
}

// True when the exact value's digits right after the first `kept` ones (as C prints them
// exactly) are a 5 and zeros: a decimal tie, where halves away from zero and the C
// library's halves to even part.
bool IsDecimalTie(const char* exact, int kept)
{
    const char* p = exact;
    while (*p && *p != '.')
        ++p;
    if (*p == '.')
        ++p;
    p += kept;
    if (std::strlen(exact) < static_cast<std::size_t>(p - exact) + 8 || *p != '5')
        return false;
    for (int i = 1; i < 8; ++i)
        if (p[i] != '0')
            return false;
    return true;
}

// Random doubles over the whole range: 18 significant digits read back give the same
// double, and where the 18-digit form decides no tie the e and f forms carry the same
// digits as the C library's correctly rounded ones.
TEST(Conversions, RandomDoublesRoundTripAndMatchTheCLibrary)
{
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-307, 307);
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int i = 0; i < 3000; ++i) {
        double v;
        if (i % 2 == 0) {
            v = mantissa(rng) * std::pow(10.0, exponent(rng));
        } else {
            const std::uint64_t b = bits(rng);
            std::memcpy(&v, &b, sizeof v);
            if (!std::isfinite(v))
                continue;
        }
        if (i % 3 == 0)
            v = -v;

        const std::string text = Format("%.18g", {v});
        EXPECT_EQ(v, StrToFloat(text)) << text;
        EXPECT_EQ(v, std::strtod(text.c_str(), nullptr)) << text;
        EXPECT_EQ(std::strtod(FloatToStr(v).c_str(), nullptr), StrToFloat(FloatToStr(v)));

        // "%12.6e" against printf's "%.5e": same digits, exponent written as E+ddd.
        char c[64];
        char exact[400];
        std::snprintf(exact, sizeof exact, "%.30e", v);
        std::snprintf(c, sizeof c, "%.5e", v);
        std::string expected(c);
        const std::size_t e = expected.find('e');
        const int exp10 = std::atoi(expected.c_str() + e + 1);
        char tail[16];
        std::snprintf(tail, sizeof tail, "E%c%03d", exp10 < 0 ? '-' : '+', std::abs(exp10));
        expected = expected.substr(0, e) + tail;
        if (!IsDecimalTie(exact, 5)) {
            EXPECT_EQ(expected, Format("%.6e", {v}));
        }

        const double small = std::fmod(v, 1e6);
        std::snprintf(exact, sizeof exact, "%.40f", small);
        std::snprintf(c, sizeof c, "%.6f", small);
        if (!IsDecimalTie(exact, 6)) {
            EXPECT_EQ(c, Format("%.6f", {small})) << small;
        }
    }
}

} // namespace
} // namespace orvane
