#include "run/ParameterFile.h"

#include <charconv>
#include <string>

#include "base/Format.h"
#include "base/TextFile.h"
#include "output/OutputFiles.h"

namespace orvane {

ParameterFileValues ReadParameterFile(const std::filesystem::path& file)
{
    TextReader in(file, kParameterFileLimit, kNotAParameterFileMessage);
    return ReadParameters(in);
}

ParameterFileValues ReadParameters(TextReader& in)
{
    // Each line is a group of values followed by a skip to its end. A number may run onto
    // the next line (the reader passes over line ends), text after the last value of a
    // line is a comment, and values past the end of the file read as 0.
    ParameterFileValues read;

    read.RadiusA = in.readReal();
    read.RadiusB = in.readReal();
    read.RadiusC = in.readReal();
    in.readLn();

    read.Wavelength = in.readReal();
    in.readLn();

    read.IndexRe = in.readReal();
    read.IndexIm = in.readReal();
    in.readLn();

    read.IncAngleDegrees = in.readReal();
    read.Polar = in.readInteger();
    in.readLn();

    read.MinP = in.readInteger();
    read.MaxP = in.readInteger();
    in.readLn();

    read.NumIncRays = in.readInteger();
    read.NumScaRays = in.readInteger();
    in.readLn();

    read.Reserved = in.readInteger();
    in.readLn();
    return read;
}

void WriteParametersToFields(const ParameterFileValues& values, Fields& fields, char separator)
{
    fields.EdtRadius_a = FloatToStr(values.RadiusA, separator);
    fields.EdtRadius_b = FloatToStr(values.RadiusB, separator);
    fields.EdtRadius_c = FloatToStr(values.RadiusC, separator);
    fields.EdtWl = FloatToStr(values.Wavelength, separator);
    fields.Edtmr = FloatToStr(values.IndexRe, separator);
    fields.Edtmi = FloatToStr(values.IndexIm, separator);
    fields.EdtIncAng = FloatToStr(values.IncAngleDegrees, separator);
    fields.CbxPol = IntToStr(values.Polar);
    fields.EdtMinp = IntToStr(values.MinP);
    fields.EdtMaxp = IntToStr(values.MaxP);
    fields.LblEdtNumRays = IntToStr(values.NumIncRays);
    fields.LblEdtNumSca = IntToStr(values.NumScaRays);
}

ParameterFileValues ReadParametersFromFields(const Fields& fields, char separator)
{
    // In the file's order, so that the first bad text named is the first the file would hold.
    ParameterFileValues values;
    values.RadiusA = StrToFloat(fields.EdtRadius_a, separator);
    values.RadiusB = StrToFloat(fields.EdtRadius_b, separator);
    values.RadiusC = StrToFloat(fields.EdtRadius_c, separator);
    values.Wavelength = StrToFloat(fields.EdtWl, separator);
    values.IndexRe = StrToFloat(fields.Edtmr, separator);
    values.IndexIm = StrToFloat(fields.Edtmi, separator);
    values.IncAngleDegrees = StrToFloat(fields.EdtIncAng, separator);
    values.Polar = StrToInt(fields.CbxPol);
    values.MinP = StrToInt(fields.EdtMinp);
    values.MaxP = StrToInt(fields.EdtMaxp);
    values.NumIncRays = StrToInt(fields.LblEdtNumRays);
    values.NumScaRays = StrToInt(fields.LblEdtNumSca);
    return values;
}

namespace {

// The shortest text that reads back to the same double (always with a point).
std::string ExactReal(double value)
{
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

std::string Reals(std::initializer_list<double> values)
{
    std::string line;
    for (double v : values)
        line += (line.empty() ? "" : " ") + ExactReal(v);
    return line;
}

} // namespace

void WriteParameterFile(const ParameterFileValues& values, const std::filesystem::path& file)
{
    const std::filesystem::path folder = file.parent_path();
    OutputFiles files(folder);
    TextWriter& out = files.create(file.filename().string());
    out.writeLine(Reals({values.RadiusA, values.RadiusB, values.RadiusC}));
    out.writeLine(Reals({values.Wavelength}));
    out.writeLine(Reals({values.IndexRe, values.IndexIm}));
    out.writeLine(Reals({values.IncAngleDegrees}) + " " + std::to_string(values.Polar));
    out.writeLine(std::to_string(values.MinP) + " " + std::to_string(values.MaxP));
    out.writeLine(std::to_string(values.NumIncRays) + " " + std::to_string(values.NumScaRays));
    out.writeLine(std::to_string(values.Reserved));
    files.commit();
}

} // namespace orvane
