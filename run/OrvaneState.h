// The state a session of Orvane keeps between runs: the run parameters, the ray
// positions, the colour tables. One instance, owned by the window (or by orvane-batch),
// zero at start. Everything else a run computes lives only as long as that run.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orvane {

constexpr int kMaxOrder = 50;       // orders 0..50 are provided for
constexpr int kMaxRays = 5000;      // ray indices 0..5000
constexpr int kOrderCount = kMaxOrder + 1;
constexpr int kRaySlots = kMaxRays + 1;

// A colour as 0x00BBGGRR, red in the lowest byte.
using TColor = std::uint32_t;

struct TRunParams {
    // Lengths in µm, wave numbers in 1/µm, IncAngle in radians after ReadInputs
    // (in degrees between reading the parameter file and the first ReadInputs).
    double RadiusA = 0, RadiusB = 0, RadiusC = 0;
    double Wavelength = 0;
    double IndexRe = 0, IndexIm = 0;
    double IncAngle = 0;
    std::int32_t Polar = 0;           // 0 parallel, anything else perpendicular
    std::int32_t MinP = 0, MaxP = 0;  // used values: MinP >= 0, MaxP <= 50
    std::int32_t NumRays = 0;         // picture rays, used value <= 5000
    std::int32_t NumIncRays = 0;      // diagram rays
    std::int32_t NumScaRays = 0;      // points of the scattering-angle grid
    double EllipsoidSize = 0;
    std::int32_t AiryDivisor = 0;
    std::int32_t ParReserved = 0;

    // Derived by ReadInputs.
    double WaveNumber = 0;       // 2π / Wavelength
    double InnerWaveNumber = 0;  // IndexRe · WaveNumber
    double RadiusA2 = 0, RadiusB2 = 0, RadiusC2 = 0;
    double AspectTerm = 0;       // RadiusA2 / RadiusC2 − 1
    double PosLimit2 = 0;        // squared grazing height on the vertical axis
    double PosHalfRange = 0;     // outermost position (default mode) or spacing (Min/Max mode)
    double TanIncAngle = 0;
    double ShadowProduct = 0;    // RadiusB times the shadow half-width
};

struct TOrvaneState {
    TRunParams P;
    std::array<double, kRaySlots> RayPos{};       // µm, heights on the vertical axis
    std::array<TColor, kOrderCount> OrderColor{};
    std::array<std::string, kOrderCount> EpsColor{};
};

} // namespace orvane
