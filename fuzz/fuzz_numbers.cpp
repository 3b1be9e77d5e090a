// Fuzzing the number conversions against the C library: StrToFloat and TryStrToFloat against
// strtod, StrToInt and TryStrToInt against strtoll (and strtoull for the '$' hexadecimal
// form), and the parameter file's TextReader against the same, token by token. On texts made
// only of the characters of a number, each must accept exactly what the C library reads
// whole, and give the same value; a real beyond the double range is refused, one below it
// may read as 0.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/TextFile.h"

namespace {

using namespace orvane;

[[noreturn]] void Fail(const char* what, std::string_view text)
{
    std::fprintf(stderr, "%s: \"%.*s\"\n", what, static_cast<int>(text.size()), text.data());
    std::abort();
}

std::string_view TrimSpaces(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool OnlyOf(std::string_view text, const char* alphabet)
{
    for (const char c : text)
        if (c == '\0' || std::strchr(alphabet, c) == nullptr)
            return false;
    return true;
}

// What strtod makes of the whole text (nothing when it stops early or leaves the range).
std::optional<double> StrtodWhole(std::string_view text)
{
    const std::string s(text);
    if (s.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || std::isinf(value))
        return std::nullopt;
    return value;
}

// The real conversion of `text` (a point as separator) against strtod.
void CheckReal(std::string_view text, bool accepted, double value)
{
    if (accepted && !std::isfinite(value))
        Fail("a real that is not finite", text);
    if (!OnlyOf(text, "0123456789+-.eE "))
        return;  // hexadecimal floats, inf, nan, other blanks: forms the program does not read
    const std::optional<double> expected = StrtodWhole(TrimSpaces(text));
    if (accepted != expected.has_value())
        Fail(accepted ? "accepted what strtod does not read whole" : "refused what strtod reads", text);
    if (!accepted)
        return;
    const bool same = std::memcmp(&value, &*expected, sizeof value) == 0;
    const bool flushed = std::fabs(*expected) < DBL_MIN && value == 0.0;
    if (!same && !flushed)
        Fail("a real that differs from strtod", text);
}

void CheckInteger(std::string_view text, bool accepted, std::int32_t value)
{
    const std::string_view s = TrimSpaces(text);
    std::optional<std::int32_t> expected;
    if (OnlyOf(s, "0123456789+- ") && !s.empty()) {
        const std::string copy(s);
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(copy.c_str(), &end, 10);
        // strtoll passes over leading blanks of every kind and a sign followed by blanks does
        // not read; the program takes neither.
        const bool whole = end == copy.c_str() + copy.size() && errno == 0 && copy.find(' ') == std::string::npos;
        if (whole && v >= INT32_MIN && v <= INT32_MAX)
            expected = static_cast<std::int32_t>(v);
    } else if (OnlyOf(s, "0123456789abcdefABCDEF+-$")) {
        std::size_t at = 0;
        const bool negative = !s.empty() && s[0] == '-';
        if (!s.empty() && (s[0] == '+' || s[0] == '-'))
            ++at;
        if (at < s.size() && s[at] == '$' && at + 1 < s.size() &&
            OnlyOf(s.substr(at + 1), "0123456789abcdefABCDEF") && s.size() - at - 1 <= 16) {
            const std::string digits(s.substr(at + 1));
            const unsigned long long v = std::strtoull(digits.c_str(), nullptr, 16);
            if (v <= 0xFFFFFFFFull) {
                std::uint32_t bits = static_cast<std::uint32_t>(v);
                if (negative)
                    bits = 0u - bits;
                expected = static_cast<std::int32_t>(bits);
            }
        } else if (at < s.size() && s[at] == '$' && at + 1 < s.size() && OnlyOf(s.substr(at + 1), "0123456789abcdefABCDEF")) {
            // More than 16 hexadecimal digits: leading zeros may still keep it in range.
            const std::string_view digits = s.substr(at + 1);
            const std::size_t first = digits.find_first_not_of('0');
            if (first == std::string_view::npos || digits.size() - first <= 8) {
                const std::string rest(first == std::string_view::npos ? std::string_view("0") : digits.substr(first));
                std::uint32_t bits = static_cast<std::uint32_t>(std::strtoull(rest.c_str(), nullptr, 16));
                if (negative)
                    bits = 0u - bits;
                expected = static_cast<std::int32_t>(bits);
            }
        }
    } else {
        return;
    }
    if (accepted != expected.has_value())
        Fail(accepted ? "accepted an integer strtoll does not read" : "refused an integer strtoll reads", text);
    if (accepted && value != *expected)
        Fail("an integer that differs from strtoll", text);
}

// The reader's tokens: runs of bytes above 32.
void CheckReader(std::string_view bytes)
{
    TextReader in{std::string(bytes), "Orvane.par"};
    std::size_t pos = bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    for (int k = 0; k < 64; ++k) {
        while (pos < bytes.size() && static_cast<unsigned char>(bytes[pos]) <= 32)
            ++pos;
        std::size_t end = pos;
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) > 32)
            ++end;
        const std::string_view token = bytes.substr(pos, end - pos);
        pos = end;
        const bool real = k % 2 == 0;
        bool accepted = true;
        double realValue = 0;
        std::int32_t intValue = 0;
        try {
            if (real)
                realValue = in.readReal();
            else
                intValue = in.readInteger();
        } catch (const FileError&) {
            accepted = false;
        }
        if (token.empty()) {
            if (!accepted || realValue != 0 || intValue != 0)
                Fail("the end of the text does not read as 0", bytes);
            return;
        }
        if (token.size() > (real ? 64u : 32u)) {
            if (accepted)
                Fail("a token longer than the reader's limit was read", token);
            return;
        }
        if (real) {
            double direct = 0;
            const bool ok = TryStrToFloat(token, direct, '.');
            if (ok != accepted || (ok && std::memcmp(&direct, &realValue, sizeof direct) != 0))
                Fail("the reader differs from TryStrToFloat", token);
            CheckReal(token, accepted, realValue);
        } else {
            CheckInteger(token, accepted, intValue);
        }
        if (!accepted)
            return;  // the reader stops at its first error
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (size <= 256) {
        double real = 0;
        CheckReal(text, TryStrToFloat(text, real, '.'), real);
        // The same text with a decimal comma reads the same under a comma separator.
        std::string comma(text);
        if (comma.find(',') == std::string::npos) {
            for (char& c : comma)
                if (c == '.')
                    c = ',';
            double withComma = 0;
            const bool ok = TryStrToFloat(comma, withComma, ',');
            double withPoint = 0;
            if (ok != TryStrToFloat(text, withPoint, '.') || (ok && std::memcmp(&withComma, &withPoint, sizeof real) != 0))
                Fail("the separator changes the value", text);
        }
        std::int32_t integer = 0;
        CheckInteger(text, TryStrToInt(text, integer), integer);
        // The throwing forms agree with the others.
        bool threw = false;
        try {
            (void)StrToInt(text);
        } catch (const ConversionError&) {
            threw = true;
        }
        if (threw == TryStrToInt(text, integer))
            Fail("StrToInt and TryStrToInt disagree", text);
    }
    CheckReader(text);
    return 0;
}
