#include "run/ParameterFile.h"

#include "numeric/Format.h"
#include "numeric/TextFile.h"

namespace orvane {

void ReadParameterFile(const std::filesystem::path& file, TRunParams& params)
{
    TextReader in(file, kParameterFileLimit, kNotAParameterFileMessage);
    ReadParameters(in, params);
}

void ReadParameters(TextReader& in, TRunParams& params)
{
    // Each line is a group of values followed by a skip to its end. A number may run onto
    // the next line (the reader passes over line ends), text after the last value of a
    // line is a comment, and values past the end of the file read as 0. Everything goes
    // into a copy first, so that a bad number leaves the caller's parameters as they were.
    TRunParams read = params;

    read.RadiusA = in.readReal();
    read.RadiusB = in.readReal();
    read.RadiusC = in.readReal();
    in.readLn();

    read.Wavelength = in.readReal();
    in.readLn();

    read.IndexRe = in.readReal();
    read.IndexIm = in.readReal();
    in.readLn();

    read.IncAngle = in.readReal();  // degrees until the inputs are first read
    read.Polar = in.readInteger();
    in.readLn();

    read.MinP = in.readInteger();
    read.MaxP = in.readInteger();
    in.readLn();

    read.NumIncRays = in.readInteger();
    read.NumScaRays = in.readInteger();
    in.readLn();

    read.ParReserved = in.readInteger();
    in.readLn();

    params = read;
}

void WriteParametersToFields(const TRunParams& params, Fields& fields)
{
    fields.EdtRadius_a = FloatToStr(params.RadiusA);
    fields.EdtRadius_b = FloatToStr(params.RadiusB);
    fields.EdtRadius_c = FloatToStr(params.RadiusC);
    fields.EdtWl = FloatToStr(params.Wavelength);
    fields.Edtmr = FloatToStr(params.IndexRe);
    fields.Edtmi = FloatToStr(params.IndexIm);
    fields.EdtIncAng = FloatToStr(params.IncAngle);
    fields.CbxPol = IntToStr(params.Polar);
    fields.EdtMinp = IntToStr(params.MinP);
    fields.EdtMaxp = IntToStr(params.MaxP);
    fields.LblEdtNumRays = IntToStr(params.NumIncRays);
    fields.LblEdtNumSca = IntToStr(params.NumScaRays);
}

} // namespace orvane
