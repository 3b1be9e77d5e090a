// Fuzzing the parameter file and ReadInputs: any bytes as Orvane.par, read, taken into the
// fields as the window does at start, then read back by ReadInputs and the counts of a run's
// start. Whatever the bytes, nothing crashes, nothing undefined happens, the only way out is an
// error of the program's own, and no infinity or NaN is ever stored in the state.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/RunStart.h"
#include "numeric/Errors.h"
#include "numeric/MessageSink.h"
#include "numeric/TextFile.h"
#include "run/ParameterFile.h"
#include "run/ReadInputs.h"

namespace {

using namespace orvane;

void RequireFinite(double value, const char* name)
{
    if (!std::isfinite(value)) {
        std::fprintf(stderr, "%s is not finite: %g\n", name, value);
        std::abort();
    }
}

void RequireFiniteState(const TOrvaneState& state)
{
    const TRunParams& p = state.P;
    const std::pair<double, const char*> values[] = {
        {p.RadiusA, "RadiusA"},         {p.RadiusB, "RadiusB"},       {p.RadiusC, "RadiusC"},
        {p.Wavelength, "Wavelength"},   {p.IndexRe, "IndexRe"},       {p.IndexIm, "IndexIm"},
        {p.IncAngle, "IncAngle"},       {p.EllipsoidSize, "EllipsoidSize"}, {p.WaveNumber, "WaveNumber"},
        {p.InnerWaveNumber, "InnerWaveNumber"}, {p.RadiusA2, "RadiusA2"}, {p.RadiusB2, "RadiusB2"},
        {p.RadiusC2, "RadiusC2"},       {p.AspectTerm, "AspectTerm"}, {p.PosLimit2, "PosLimit2"},
        {p.PosHalfRange, "PosHalfRange"}, {p.TanIncAngle, "TanIncAngle"}, {p.ShadowProduct, "ShadowProduct"},
    };
    for (const auto& [value, name] : values)
        RequireFinite(value, name);
    for (const double position : state.RayPos)
        RequireFinite(position, "RayPos");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto state = std::make_unique<TOrvaneState>();
    auto fields = std::make_unique<Fields>();
    RecordingSink sink;
    try {
        TextReader in(std::string(reinterpret_cast<const char*>(data), size), kParameterFileName);
        ReadParameters(in, state->P);
    } catch (const EInOutError&) {
        return 0;  // not a parameter file: the window starts with its defaults
    }
    WriteParametersToFields(state->P, *fields);
    // The picture's ray count follows the diagram's, so that the position grid is exercised.
    fields->CbxNumRay = fields->LblEdtNumRays;
    for (const bool minMax : {false, true}) {
        fields->ChkBxMinMax = minMax;
        try {
            ReadInputs(*state, *fields, sink);
            CheckOrderRange(state->P);
            state->P.NumIncRays = ReadIncidentRayCount(*fields, sink);
            state->P.NumScaRays = ReadScatteringAngleCount(*fields);
            SetIncidentPositions(*state, *fields);
        } catch (const OrvaneError&) {
            // The program's own refusal, with its message.
        }
        RequireFiniteState(*state);
    }
    return 0;
}
