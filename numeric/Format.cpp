#include "numeric/Format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "numeric/Errors.h"
#include "numeric/FpGuard.h"

namespace orvane {

namespace {

// ---------------------------------------------------------------------------------------
// Decimal digits of a double
//
// Every float conversion starts from the value's 18-significant-digit decimal form
// (correctly rounded from the binary value) and rounds that digit string, half away from
// zero, to the digits the conversion prints. The value is 0.d[0]d[1]...d[17] x 10^x.

constexpr int kDigits = 18;

struct Decimal {
    char d[kDigits];
    int x;
};

// a > 0 and finite.
inline void Decompose(double a, Decimal& out)
{
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, kDigits - 1);
    // buf holds d.ddddddddddddddddde[+-]dd[d]
    out.d[0] = buf[0];
    std::memcpy(out.d + 1, buf + 2, kDigits - 1);
    const char* p = buf + kDigits + 1;  // the 'e'
    const bool negative = p[1] == '-';
    int e = 0;
    for (const char* q = p + 2; q < r.ptr; ++q)
        e = e * 10 + (*q - '0');
    out.x = (negative ? -e : e) + 1;
}

// Keeps `keep` significant digits, rounding half away from zero on the next digit; the
// digits from `keep` on become '0'. A carry out of the first digit makes it "1" and
// raises the exponent. Returns false when the value rounds to zero (keep <= 0 and
// nothing to carry into the first kept place).
inline bool RoundTo(Decimal& v, int keep)
{
    if (keep >= kDigits)
        return true;
    if (keep < 0)
        return false;
    if (keep == 0) {
        if (v.d[0] < '5')
            return false;
        v.d[0] = '1';
        std::memset(v.d + 1, '0', kDigits - 1);
        v.x += 1;
        return true;
    }
    const bool up = v.d[keep] >= '5';
    std::memset(v.d + keep, '0', kDigits - keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && v.d[i] == '9')
            v.d[i--] = '0';
        if (i >= 0) {
            ++v.d[i];
        } else {
            v.d[0] = '1';
            v.x += 1;
        }
    }
    return true;
}

inline char DigitAt(const Decimal& v, int i)
{
    return (i >= 0 && i < kDigits) ? v.d[i] : '0';
}

// Writes the exponent's digits, at least minDigits of them.
inline char* PutExponent(char* p, int e, int minDigits)
{
    char tmp[8];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + e % 10);
        e /= 10;
    } while (e > 0);
    for (int i = n; i < minDigits; ++i)
        *p++ = '0';
    while (n > 0)
        *p++ = tmp[--n];
    return p;
}

// INF, -INF, NAN; returns nullptr for a finite value.
inline char* PutNonFinite(char* p, double value)
{
    if (std::isnan(value)) {
        std::memcpy(p, "NAN", 3);
        return p + 3;
    }
    if (std::isinf(value)) {
        if (value < 0)
            *p++ = '-';
        std::memcpy(p, "INF", 3);
        return p + 3;
    }
    return nullptr;
}

// The first `count` digits of v as d.ddd (no separator for a single digit).
inline char* PutMantissa(char* p, const Decimal& v, int count, char sep)
{
    *p++ = v.d[0];
    if (count > 1) {
        *p++ = sep;
        std::memcpy(p, v.d + 1, count - 1);
        p += count - 1;
    }
    return p;
}

// ---------------------------------------------------------------------------------------
// The three float conversions; each writes at most about 45 characters at p.

// g: `precision` significant digits, trailing zeros removed; fixed notation when the
// exponent x (after rounding) lies in -3..precision, else d.dddE[-]xxx.
char* PutGeneral(char* p, double value, int precision, int minExpDigits, char sep)
{
    if (char* q = PutNonFinite(p, value))
        return q;
    if (precision < 1)
        precision = 1;
    if (precision > kDigits)
        precision = kDigits;
    if (value == 0.0) {
        *p++ = '0';
        return p;
    }
    if (value < 0.0)
        *p++ = '-';
    Decimal v;
    Decompose(std::fabs(value), v);
    RoundTo(v, precision);
    int count = precision;
    while (count > 1 && v.d[count - 1] == '0')
        --count;

    if (v.x >= -3 && v.x <= precision) {
        if (v.x <= 0) {
            *p++ = '0';
            *p++ = sep;
            for (int i = v.x; i < 0; ++i)
                *p++ = '0';
            std::memcpy(p, v.d, count);
            return p + count;
        }
        for (int i = 0; i < v.x; ++i)
            *p++ = DigitAt(v, i);
        if (count > v.x) {
            *p++ = sep;
            std::memcpy(p, v.d + v.x, count - v.x);
            p += count - v.x;
        }
        return p;
    }
    p = PutMantissa(p, v, count, sep);
    *p++ = 'E';
    int e = v.x - 1;
    if (e < 0) {
        *p++ = '-';
        e = -e;
    }
    return PutExponent(p, e, minExpDigits);
}

// e: d.ddd...E+xxx with `precision` significant digits in all, the exponent signed and
// at least three digits long.
char* PutScientific(char* p, double value, int precision, char sep)
{
    if (char* q = PutNonFinite(p, value))
        return q;
    if (precision < 1)
        precision = 1;
    if (precision > kDigits)
        precision = kDigits;
    int e = 0;
    if (value == 0.0) {
        *p++ = '0';
        if (precision > 1) {
            *p++ = sep;
            std::memset(p, '0', precision - 1);
            p += precision - 1;
        }
    } else {
        if (value < 0.0)
            *p++ = '-';
        Decimal v;
        Decompose(std::fabs(value), v);
        RoundTo(v, precision);
        p = PutMantissa(p, v, precision, sep);
        e = v.x - 1;
    }
    *p++ = 'E';
    if (e < 0) {
        *p++ = '-';
        e = -e;
    } else {
        *p++ = '+';
    }
    return PutExponent(p, e, 3);
}

// f: fixed point with `decimals` digits after the separator. A negative value that
// rounds to zero keeps its minus sign; a negative zero has none. Magnitudes of 1e18 and
// above, which the 18 digits cannot show in fixed point, go to the g form.
char* PutFixed(char* p, double value, int decimals, char sep)
{
    if (char* q = PutNonFinite(p, value))
        return q;
    if (decimals < 0)
        decimals = 0;
    if (decimals > kDigits)
        decimals = kDigits;
    Decimal v{};
    bool nonZero = value != 0.0;
    if (nonZero) {
        Decompose(std::fabs(value), v);
        if (v.x > kDigits)
            return PutGeneral(p, value, kDigits, 3, sep);
        nonZero = RoundTo(v, v.x + decimals);
    }
    if (value < 0.0)
        *p++ = '-';
    if (!nonZero) {
        *p++ = '0';
        if (decimals > 0) {
            *p++ = sep;
            std::memset(p, '0', decimals);
            p += decimals;
        }
        return p;
    }
    if (v.x <= 0) {
        *p++ = '0';
    } else {
        for (int i = 0; i < v.x; ++i)
            *p++ = DigitAt(v, i);
    }
    if (decimals > 0) {
        *p++ = sep;
        for (int i = 0; i < decimals; ++i)
            *p++ = DigitAt(v, v.x + i);
    }
    return p;
}

// d: decimal integer, at least `minDigits` digits (zeros in front).
char* PutInteger(char* p, std::int64_t value, int minDigits)
{
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    if (value < 0)
        *p++ = '-';
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (minDigits > 40)
        minDigits = 40;
    for (int i = n; i < minDigits; ++i)
        *p++ = '0';
    while (n > 0)
        *p++ = tmp[--n];
    return p;
}

[[noreturn]] void FormatError(std::string_view fmt)
{
    throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

[[noreturn]] void MissingArgument(std::string_view fmt)
{
    throw EConvertError("No argument for format '" + std::string(fmt) + "'");
}

inline void AppendPadded(std::string& out, const char* text, std::size_t length, int width, bool left)
{
    const std::size_t pad = width > 0 && static_cast<std::size_t>(width) > length ? width - length : 0;
    if (pad > 0 && !left)
        out.append(pad, ' ');
    out.append(text, length);
    if (pad > 0 && left)
        out.append(pad, ' ');
}

inline double AsDouble(const FormatArg& arg, std::string_view fmt)
{
    if (arg.kind() == FormatArg::Kind::Float)
        return arg.asFloat();
    if (arg.kind() == FormatArg::Kind::Int)
        return static_cast<double>(arg.asInt());
    FormatError(fmt);
}

// ---------------------------------------------------------------------------------------
// Text to number

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

void FormatDataTo(std::string& out, std::string_view fmt, std::initializer_list<FormatArg> args, char separator)
{
    for (const FormatArg& arg : args)
        if (arg.kind() == FormatArg::Kind::Float)
            CheckFinite(arg.asFloat());
    FormatTo(out, fmt, args, separator);
}

void FormatTo(std::string& out, std::string_view fmt, std::initializer_list<FormatArg> args, char separator)
{
    const FormatArg* arg = args.begin();
    const FormatArg* const argEnd = args.end();
    const char sep = separator;
    const std::size_t n = fmt.size();
    std::size_t i = 0;
    char buf[96];

    while (i < n) {
        // Literal run up to the next directive.
        const std::size_t start = i;
        while (i < n && fmt[i] != '%')
            ++i;
        if (i > start)
            out.append(fmt.data() + start, i - start);
        if (i >= n)
            break;
        ++i;  // '%'
        if (i >= n)
            FormatError(fmt);
        if (fmt[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }

        bool left = false;
        if (fmt[i] == '-') {
            left = true;
            ++i;
        }
        int width = 0;
        while (i < n && IsDigit(fmt[i])) {
            if (width < 100000)
                width = width * 10 + (fmt[i] - '0');
            ++i;
        }
        int precision = -1;
        if (i < n && fmt[i] == '.') {
            ++i;
            precision = 0;
            while (i < n && IsDigit(fmt[i])) {
                if (precision < 100000)
                    precision = precision * 10 + (fmt[i] - '0');
                ++i;
            }
        }
        if (i >= n)
            FormatError(fmt);
        const char conversion = fmt[i++];
        if (arg == argEnd)
            MissingArgument(fmt);
        const FormatArg& a = *arg++;

        char* end = buf;
        switch (conversion) {
        case 'd':
        case 'D':
            if (a.kind() != FormatArg::Kind::Int)
                FormatError(fmt);
            end = PutInteger(buf, a.asInt(), precision);
            break;
        case 'f':
        case 'F':
            end = PutFixed(buf, AsDouble(a, fmt), precision < 0 ? 2 : precision, sep);
            break;
        case 'e':
        case 'E':
            end = PutScientific(buf, AsDouble(a, fmt), precision < 0 ? 15 : precision, sep);
            break;
        case 'g':
        case 'G':
            end = PutGeneral(buf, AsDouble(a, fmt), precision < 0 ? 15 : precision, 3, sep);
            break;
        case 's':
        case 'S': {
            if (a.kind() != FormatArg::Kind::Text)
                FormatError(fmt);
            std::string_view text = a.asText();
            if (precision >= 0 && static_cast<std::size_t>(precision) < text.size())
                text = text.substr(0, precision);
            AppendPadded(out, text.data(), text.size(), width, left);
            continue;
        }
        default:
            FormatError(fmt);
        }
        AppendPadded(out, buf, static_cast<std::size_t>(end - buf), width, left);
    }
}

std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args, char separator)
{
    std::string out;
    out.reserve(fmt.size() + 16 * args.size());
    FormatTo(out, fmt, args, separator);
    return out;
}

std::string FloatToStr(double value, char separator)
{
    char buf[64];
    char* end = PutGeneral(buf, value, 15, 0, separator);
    return std::string(buf, end);
}

std::string IntToStr(std::int64_t value)
{
    char buf[32];
    char* end = PutInteger(buf, value, 0);
    return std::string(buf, end);
}

bool TryStrToFloat(std::string_view text, double& value, char separator)
{
    const std::string_view s = TrimBlanks(text);
    std::size_t i = 0;
    const std::size_t n = s.size();

    // Rebuilt in the form from_chars reads: [-]digits[.digits][e[-]digits].
    std::string normal;
    normal.reserve(n + 2);
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    if (negative)
        normal.push_back('-');

    // Decimal magnitude of the first significant digit, for telling an overflow from an
    // underflow when the value is out of the double range.
    int intDigits = 0;
    int fracDigits = 0;
    long firstSignificant = std::numeric_limits<long>::min();  // position: 0 = units
    while (i < n && IsDigit(s[i])) {
        if (s[i] != '0' && firstSignificant == std::numeric_limits<long>::min())
            firstSignificant = -intDigits;  // fixed up below once the count is known
        normal.push_back(s[i]);
        ++intDigits;
        ++i;
    }
    if (firstSignificant != std::numeric_limits<long>::min())
        firstSignificant += intDigits - 1;
    if (i < n && s[i] == separator) {
        ++i;
        normal.push_back('.');
        while (i < n && IsDigit(s[i])) {
            if (s[i] != '0' && firstSignificant == std::numeric_limits<long>::min())
                firstSignificant = -(fracDigits + 1);
            normal.push_back(s[i]);
            ++fracDigits;
            ++i;
        }
    }
    if (intDigits + fracDigits == 0)
        return false;
    long exponent = 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            expNegative = s[i] == '-';
            ++i;
        }
        if (i >= n || !IsDigit(s[i]))
            return false;
        normal.push_back('e');
        if (expNegative)
            normal.push_back('-');
        while (i < n && IsDigit(s[i])) {
            normal.push_back(s[i]);
            if (exponent < 100000000)
                exponent = exponent * 10 + (s[i] - '0');
            ++i;
        }
        if (expNegative)
            exponent = -exponent;
    }
    if (i != n)
        return false;

    double result = 0.0;
    const auto r = std::from_chars(normal.data(), normal.data() + normal.size(), result);
    if (r.ptr != normal.data() + normal.size())
        return false;
    if (r.ec == std::errc::result_out_of_range) {
        if (firstSignificant == std::numeric_limits<long>::min())
            result = 0.0;  // all digits zero
        else if (firstSignificant + exponent >= 0)
            return false;  // beyond the largest double
        else
            result = 0.0;  // below the smallest: underflows to zero
        if (negative)
            result = -result;
    } else if (r.ec != std::errc()) {
        return false;
    }
    value = result;
    return true;
}

bool TryStrToInt(std::string_view text, std::int32_t& value)
{
    const std::string_view s = TrimBlanks(text);
    std::size_t i = 0;
    const std::size_t n = s.size();
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    if (i < n && s[i] == '$') {
        // Hexadecimal: up to 32 bits, read as the bit pattern of the signed value.
        ++i;
        if (i >= n)
            return false;
        std::uint64_t v = 0;
        for (; i < n; ++i) {
            const int h = HexValue(s[i]);
            if (h < 0)
                return false;
            v = v * 16 + static_cast<unsigned>(h);
            if (v > 0xFFFFFFFFull)
                return false;
        }
        std::uint32_t bits = static_cast<std::uint32_t>(v);
        if (negative)
            bits = 0u - bits;
        value = static_cast<std::int32_t>(bits);
        return true;
    }
    if (i >= n)
        return false;
    std::int64_t v = 0;
    for (; i < n; ++i) {
        if (!IsDigit(s[i]))
            return false;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL)
            return false;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

double StrToFloat(std::string_view text, char separator)
{
    double value = 0.0;
    if (!TryStrToFloat(text, value, separator))
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    return value;
}

std::int32_t StrToInt(std::string_view text)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

} // namespace orvane
