#include "base/Format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "base/Errors.h"
#include "base/FpGuard.h"

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

// 10^0 .. 10^18
constexpr auto kPow10 = [] {
    std::array<std::uint64_t, 19> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i)
        p[i] = p[i - 1] * 10;
    return p;
}();

// The number of decimal digits of v (0 for 0), for v below 10^19.
inline int DigitCount(std::uint64_t v)
{
    int n = 0;
    while (n < 19 && v >= kPow10[n])
        ++n;
    return n;
}

// Writes v with exactly `count` digits (zeros in front), two at a time.
inline char* PutDigits(char* p, std::uint64_t v, int count)
{
    static constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                     "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                     "8081828384858687888990919293949596979899";
    int i = count;
    for (; i >= 2; i -= 2) {
        const std::uint64_t pair = v % 100;
        v /= 100;
        p[i - 2] = kPairs[2 * pair];
        p[i - 1] = kPairs[2 * pair + 1];
    }
    if (i == 1)
        p[0] = static_cast<char>('0' + v % 10);
    return p + count;
}

// Writes v's digits, at least minDigits of them (zeros in front); at least one digit.
inline char* PutAtLeast(char* p, std::uint64_t v, int minDigits)
{
    return PutDigits(p, v, std::max({DigitCount(v), minDigits, 1}));
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
// The e and f forms without the 18-digit string, for most values
//
// The digits kept are floor(a·10^s) for the right decimal scale s, plus one where the rest
// rounds up. Rounding the 18-digit form half away from zero rounds up exactly when the
// rest is at least 1/2, except when it falls short of 1/2 by less than half a unit of the
// 18th digit (then the 18-digit form reads ...5000 and rounds up all the same). The scaled
// value is computed exactly, a = m·2^e times 5^s·2^s in integers: where the rest is that
// close to 1/2, or the value is out of this range, the digit string decides as before.

#if defined(__SIZEOF_INT128__)
#define ORVANE_EXACT_SCALING 1
__extension__ typedef unsigned __int128 Wide;

// 5^s for s = 0..kMaxScale in kFiveLimbs 64-bit limbs, lowest first, and how many of them
// are not 0: values down to about 1e-130 for the e form.
constexpr int kMaxScale = 137;  // 5^137 < 2^320
constexpr int kFiveLimbs = 5;
struct PowersOfFive {
    std::uint64_t limb[kMaxScale + 1][kFiveLimbs];
    int count[kMaxScale + 1];
};

constexpr PowersOfFive MakePowersOfFive()
{
    PowersOfFive p{};
    p.limb[0][0] = 1;
    p.count[0] = 1;
    for (int s = 1; s <= kMaxScale; ++s) {
        Wide carry = 0;
        for (int i = 0; i < kFiveLimbs; ++i) {
            const Wide v = static_cast<Wide>(p.limb[s - 1][i]) * 5 + carry;
            p.limb[s][i] = static_cast<std::uint64_t>(v);
            carry = v >> 64;
            if (p.limb[s][i] != 0)
                p.count[s] = i + 1;
        }
    }
    return p;
}

constexpr PowersOfFive kPowersOfFive = MakePowersOfFive();

// 10^x for x = lowest..highest, as doubles: exact from 10^0 to 10^22, within a few units in
// the last place below.
struct PowersOfTen {
    static constexpr int lowest = -kMaxScale - 2;
    static constexpr int highest = 22;
    double power[highest - lowest + 1];
};

constexpr PowersOfTen MakePowersOfTen()
{
    PowersOfTen t{};
    double up = 1.0;
    for (int x = 0; x <= PowersOfTen::highest; ++x, up *= 10.0)
        t.power[x - PowersOfTen::lowest] = up;
    for (int x = -1; x >= PowersOfTen::lowest; --x)
        t.power[x - PowersOfTen::lowest] = x >= -22 ? 1.0 / t.power[-x - PowersOfTen::lowest]
                                                    : t.power[x + 22 - PowersOfTen::lowest] / 1e22;
    return t;
}

constexpr PowersOfTen kTenTo = MakePowersOfTen();

// Where the rest r (0 <= r < 1) of a scaled value lies, from its first 64 binary digits.
enum class Rest { Below, Half, Unsure };

// A positive, finite a scaled by 10^s: the integer part and the rest.
struct Scaled {
    std::uint64_t whole = 0;
    std::uint64_t rest = 0;  // the rest's first 64 binary digits (rest / 2^64, truncated)
};

// Bits lo..lo+63 of the number held in n limbs (bits below 0 and above the top are 0).
inline std::uint64_t BitsAt(const std::uint64_t* limbs, int n, int lo)
{
    auto limb = [&](int i) { return i >= 0 && i < n ? limbs[i] : std::uint64_t{0}; };
    const int i = lo >= 0 ? lo / 64 : -((-lo + 63) / 64);
    const int shift = lo - 64 * i;
    if (shift == 0)
        return limb(i);
    return (limb(i) >> shift) | (limb(i + 1) << (64 - shift));
}

// a·10^s exactly, for a normal double a > 0 and 0 <= s <= kMaxScale; false when the
// integer part does not fit in 64 bits.
inline bool ScaleUp(double a, int s, Scaled& out)
{
    std::uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int e = static_cast<int>(bits >> 52) - 1075;  // a = m·2^e
    // a·10^s = m·5^s / 2^k, the product in n limbs
    const int n = kPowersOfFive.count[s] + 1;
    std::uint64_t p[kFiveLimbs + 1];
    Wide carry = 0;
    for (int i = 0; i + 1 < n; ++i) {
        const Wide v = static_cast<Wide>(m) * kPowersOfFive.limb[s][i] + carry;
        p[i] = static_cast<std::uint64_t>(v);
        carry = v >> 64;
    }
    p[n - 1] = static_cast<std::uint64_t>(carry);
    const int top = p[n - 1] != 0 ? n - 1 : n - 2;  // the highest limb not 0
    const int length = 64 * top + 64 - __builtin_clzll(p[top]);
    const int k = -(e + s);
    if (length > k + 64)
        return false;
    out.whole = BitsAt(p, n, k);
    out.rest = BitsAt(p, n, k - 64);
    return true;
}

// Where the rest lies for a kept part of `digits` significant digits (0 when it is 0):
// the 18-digit form rounds the rest to a unit of 10^(digits-18); a rest within a unit of
// 1/2 (counting the digits cut off the 64) is left to the digit string.
constexpr auto kRestUnits = [] {
    std::array<std::uint64_t, 18> unit{};  // by the digits kept; in units of 2^-64, rounded up
    for (std::size_t digits = 0; digits < unit.size(); ++digits)
        unit[digits] = ~std::uint64_t{0} / kPow10[18 - digits] + 2;
    return unit;
}();

inline Rest WhereRest(std::uint64_t rest, int digits)
{
    if (rest >> 63)
        return Rest::Half;
    return rest < (std::uint64_t{1} << 63) - kRestUnits[digits] ? Rest::Below : Rest::Unsure;
}

inline bool IsNormal(double a)
{
    return a >= std::numeric_limits<double>::min() && a <= std::numeric_limits<double>::max();
}

// The e form's `precision` significant digits of a and its decimal exponent, or false
// where the digit string must decide.
inline bool FastScientific(double a, int precision, std::uint64_t& digits, int& exponent)
{
    if (!IsNormal(a) || precision > 17)
        return false;
    // 10^x <= a < 10^(x+1) with x = ⌊log10 a⌋: an estimate from the binary exponent, put
    // right by the table of powers; where a lies so close to a power that the table's
    // rounding misleads, the digits tell.
    if (a < kTenTo.power[0] || a >= kTenTo.power[kTenTo.highest - kTenTo.lowest])
        return false;
    std::uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    int x = ((static_cast<int>(bits >> 52) - 1023) * 78913) >> 18;  // ⌊b·log10 2⌋, b the binary exponent
    x = std::clamp(x, kTenTo.lowest, kTenTo.highest - 1);
    if (a >= kTenTo.power[x + 1 - kTenTo.lowest])
        ++x;
    else if (x > kTenTo.lowest && a < kTenTo.power[x - kTenTo.lowest])
        --x;
    Scaled v;
    for (int tries = 0;; ++tries) {
        const int s = precision - 1 - x;
        if (tries == 2 || s < 0 || s > kMaxScale || !ScaleUp(a, s, v))
            return false;
        if (v.whole >= kPow10[precision])
            ++x;
        else if (v.whole < kPow10[precision - 1])
            --x;
        else
            break;
    }
    const Rest rest = WhereRest(v.rest, precision);
    if (rest == Rest::Unsure)
        return false;
    digits = v.whole;
    exponent = x;
    if (rest == Rest::Half && ++digits == kPow10[precision]) {
        digits = kPow10[precision - 1];
        ++exponent;
    }
    return true;
}

// The f form's digits of a with `decimals` decimals, as one integer, or false where the
// digit string must decide (also where the kept digits would be more than 17).
inline bool FastFixed(double a, int decimals, std::uint64_t& scaled)
{
    if (!IsNormal(a) || decimals > 17 || a >= static_cast<double>(kPow10[17 - decimals]))
        return false;
    Scaled v;
    if (!ScaleUp(a, decimals, v))
        return false;
    const Rest rest = WhereRest(v.rest, DigitCount(v.whole));
    if (rest == Rest::Unsure)
        return false;
    scaled = v.whole + (rest == Rest::Half ? 1 : 0);
    return true;
}
#endif

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
    return PutAtLeast(p, static_cast<std::uint64_t>(e), minExpDigits);
}

// The e form's `precision` significant digits of a > 0 as d.ddd, and its decimal exponent.
char* PutSignificand(char* p, double a, int precision, char sep, int& e)
{
#if defined(ORVANE_EXACT_SCALING)
    std::uint64_t digits;
    if (FastScientific(a, precision, digits, e)) {
        PutDigits(p + 1, digits, precision);
        p[0] = p[1];  // the first digit in front of the separator
        if (precision == 1)
            return p + 1;
        p[1] = sep;
        return p + precision + 1;
    }
#endif
    Decimal v;
    Decompose(a, v);
    RoundTo(v, precision);
    e = v.x - 1;
    return PutMantissa(p, v, precision, sep);
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
        p = PutSignificand(p, std::fabs(value), precision, sep, e);
    }
    *p++ = 'E';
    if (e < 0) {
        *p++ = '-';
        e = -e;
    } else {
        *p++ = '+';
    }
    return PutAtLeast(p, static_cast<std::uint64_t>(e), 3);
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
#if defined(ORVANE_EXACT_SCALING)
    std::uint64_t scaled;
    if (value != 0.0 && FastFixed(std::fabs(value), decimals, scaled)) {
        if (value < 0.0)
            *p++ = '-';
        // The digits, at least one before the separator, then the decimals moved behind it.
        const int count = std::max(DigitCount(scaled), decimals + 1);
        PutDigits(p, scaled, count);
        if (decimals == 0)
            return p + count;
        std::memmove(p + count - decimals + 1, p + count - decimals, decimals);
        p[count - decimals] = sep;
        return p + count + 1;
    }
#endif
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
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    if (value < 0)
        *p++ = '-';
    return PutAtLeast(p, magnitude, std::min(minDigits, 40));
}

[[noreturn]] void FormatError(std::string_view fmt)
{
    throw ConversionError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

[[noreturn]] void MissingArgument(std::string_view fmt)
{
    throw ConversionError("No argument for format '" + std::string(fmt) + "'");
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
        throw ConversionError("'" + std::string(text) + "' is not a valid floating point value");
    return value;
}

std::int32_t StrToInt(std::string_view text)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

} // namespace orvane
