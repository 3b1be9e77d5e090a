#include "run/ParameterFile.h"

#include "numeric/Format.h"
#include "numeric/TextFile.h"

namespace orvane {

ParameterFileValues ReadParameterFile(const std::filesystem::path& file)
{
    // Each line is a group of values followed by a skip to its end. A number may run onto
    // the next line (the reader passes over line ends), text after the last value of a
    // line is a comment, and values past the end of the file read as 0.
    TextReader in(file);
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

} // namespace orvane
