// Number formatting and conversion. Every number the program shows or writes passes
// through Format; the e and g conversions are not C printf's (%12.6e of 1234.5 is
// "1.23450E+003": precision counts significant digits, the exponent has three digits).
// Rounding: the value's 18-significant-digit decimal form, rounded half away from zero.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orvane {

// One argument of Format: an integer, a double or a text.
class FormatArg {
public:
    enum class Kind { Int, Float, Text };
    FormatArg(int v) : kind_(Kind::Int), i_(v) {}
    FormatArg(long v) : kind_(Kind::Int), i_(v) {}
    FormatArg(long long v) : kind_(Kind::Int), i_(v) {}
    FormatArg(unsigned v) : kind_(Kind::Int), i_(v) {}
    FormatArg(unsigned long v) : kind_(Kind::Int), i_(static_cast<std::int64_t>(v)) {}
    FormatArg(unsigned long long v) : kind_(Kind::Int), i_(static_cast<std::int64_t>(v)) {}
    FormatArg(double v) : kind_(Kind::Float), d_(v) {}
    FormatArg(const char* v) : kind_(Kind::Text), s_(v) {}
    FormatArg(std::string_view v) : kind_(Kind::Text), s_(v) {}
    FormatArg(const std::string& v) : kind_(Kind::Text), s_(v) {}

    Kind kind() const { return kind_; }
    std::int64_t asInt() const { return i_; }
    double asFloat() const { return d_; }
    std::string_view asText() const { return s_; }

private:
    Kind kind_;
    std::int64_t i_ = 0;
    double d_ = 0.0;
    std::string_view s_;
};

// Directives: %% and %[-][width][.precision]{d,f,e,g,s}. Width pads on the left (on the
// right after '-'), never truncates. Precision: d minimum digits, f decimals (2 without),
// e and g significant digits (15 without, 18 at most), s maximum characters. An integer
// argument may stand for a float; anything else mismatched, a missing argument or a
// malformed directive throws ConversionError.
// `separator` is the decimal separator of f, e and g: the user's locale's for what the window shows and
// the data files, always a point for the parameter file.
std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args, char separator = '.');
// Same, appending to out (no allocation once out has grown): the hot path of the files.
void FormatTo(std::string& out, std::string_view fmt, std::initializer_list<FormatArg> args, char separator = '.');
// FormatTo for a line of a data file: a real that is not finite ends the run with the
// MathError of CheckFinite (FpGuard.h) instead of being written as INF or NAN.
void FormatDataTo(std::string& out, std::string_view fmt, std::initializer_list<FormatArg> args, char separator = '.');

// The g rule with 15 significant digits and no minimum of exponent digits: "0.6328", "50", "1E-7".
std::string FloatToStr(double value, char separator = '.');
std::string IntToStr(std::int64_t value);

// Leading and trailing blanks ignored; optional sign, digits with the given decimal
// separator, optional exponent. Anything else, and a value beyond the double range,
// throws ConversionError quoting the text; a value below it reads as 0.
double StrToFloat(std::string_view text, char separator = '.');
// Decimal, or hexadecimal after '$' (up to $FFFFFFFF, the bit pattern of the value); a
// 32-bit signed value; blanks around ignored. Anything else throws ConversionError.
std::int32_t StrToInt(std::string_view text);

// The same conversions without the exception: false leaves value unchanged.
bool TryStrToFloat(std::string_view text, double& value, char separator = '.');
bool TryStrToInt(std::string_view text, std::int32_t& value);

} // namespace orvane
