// Fuzzing the parameter file and the reading of the window's texts: any bytes as Orvane.par,
// read, taken into the fields as the window does at start, then read into the typed inputs of a
// diagram (with the picture's positions, the counts and the run-start checks). Whatever the
// bytes, nothing crashes, nothing undefined happens, the only way out is an error of the
// program's own, and the inputs a run would get, their derived quantities and the incident
// heights are all finite.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/Diagram.h"
#include "base/Errors.h"
#include "base/RunControl.h"
#include "base/TextFile.h"
#include "run/FieldInputs.h"
#include "run/ParameterFile.h"

namespace {

using namespace orvane;

void RequireFinite(double value, const char* name)
{
    if (!std::isfinite(value)) {
        std::fprintf(stderr, "%s is not finite: %g\n", name, value);
        std::abort();
    }
}

// What a run would start from: the inputs, the derived quantities and the incident heights.
void RequireFiniteRun(const DiagramInputs& in)
{
    const RunParams p = MakeRunParams(in.particle);
    const std::pair<double, const char*> values[] = {
        {p.RadiusA, "RadiusA"},         {p.RadiusB, "RadiusB"},       {p.RadiusC, "RadiusC"},
        {p.Wavelength, "Wavelength"},   {p.IndexRe, "IndexRe"},       {p.IndexIm, "IndexIm"},
        {p.IncAngle, "IncAngle"},       {p.WaveNumber, "WaveNumber"}, {p.InnerWaveNumber, "InnerWaveNumber"},
        {p.RadiusA2, "RadiusA2"},       {p.RadiusB2, "RadiusB2"},     {p.RadiusC2, "RadiusC2"},
        {p.AspectTerm, "AspectTerm"},   {p.PosLimit2, "PosLimit2"},   {p.TanIncAngle, "TanIncAngle"},
        {p.ShadowProduct, "ShadowProduct"},
    };
    for (const auto& [value, name] : values)
        RequireFinite(value, name);
    const IncidentPositions positions = DiagramPositions(p, in.NumIncRays, in.range);
    RequireFinite(positions.PosHalfRange, "PosHalfRange");
    for (const double height : positions.heights)
        RequireFinite(height, "height");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ParameterFileValues values;
    try {
        TextReader in(std::string(reinterpret_cast<const char*>(data), size), kParameterFileName);
        values = ReadParameters(in);
    } catch (const FileError&) {
        return 0;  // not a parameter file: the window starts with its defaults
    }
    auto fields = std::make_unique<Fields>();
    WriteParametersToFields(values, *fields);
    // The picture's ray count follows the diagram's, so that the position grid is exercised.
    fields->CbxNumRay = fields->LblEdtNumRays;
    RecordingControl sink;
    for (const bool minMax : {false, true}) {
        fields->ChkBxMinMax = minMax;
        try {
            RequireFiniteRun(ReadDiagramInputs(*fields, '.', sink));
        } catch (const OrvaneError&) {
            // The program's own refusal, with its message.
        }
    }
    return 0;
}
