#include "engine/Airy.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/RunControl.h"
#include "geometry/Positions.h"
#include "numeric/Angles.h"

namespace orvane {

int FindRainbowRay(const double* angle, const double* intensity, int NumIncRays)
{
    int rainbow = -1;
    for (int i = 2; i <= NumIncRays - 5; ++i) {
        const double before = angle[i] - angle[i - 1];
        const double after = angle[i + 1] - angle[i];
        const bool emerged = intensity[i - 1] > 0 && intensity[i] > 0 && intensity[i + 1] > 0;
        if (before * after < 0 && emerged && std::fabs(before) < kPi && std::fabs(after) < kPi)
            rainbow = i;
    }
    return rainbow;
}

namespace {

// An angle difference taken the short way round the circle.
double AngleStep(double to, double from)
{
    double d = to - from;
    if (d > kPi)
        d -= kTwoPi;
    else if (d < -kPi)
        d += kTwoPi;
    return d;
}

// The order-2 directions in which a sphere of the particle's index, as wide as its shadow, sends
// out rays at the heights h1 and h2 of the particle's incident rays: Descartes' rainbow of the
// particle's index over its ray window. A particle whose section is a circle (a = c) is that
// sphere, and its rays come out to the bit as in the run.
std::array<double, 2> SphereOrderTwoAngles(const RunParams& P, FresnelRule rule, double h1, double h2)
{
    RunParams sphere = P;
    if (P.RadiusA != P.RadiusC) {
        ParticleInputs in = P;
        const double halfWidth = std::sqrt((P.RadiusC * std::sin(P.IncAngle)) * (P.RadiusC * std::sin(P.IncAngle))
                                           + (P.RadiusA * std::cos(P.IncAngle)) * (P.RadiusA * std::cos(P.IncAngle)));
        in.RadiusA = halfWidth;
        in.RadiusC = halfWidth;
        sphere = MakeRunParams(in);
    }
    double heights[2] = {h1, h2};
    const double scale = std::sqrt(sphere.PosLimit2 / P.PosLimit2);
    // A bubble lets in only the rays within m·R of its centre.
    const double reach = std::sqrt(sphere.PosLimit2) * kInsideGrazing * sphere.IndexRe;
    for (double& h : heights) {
        if (P.RadiusA != P.RadiusC)
            h *= scale;
        if (sphere.IndexRe < 1)
            h = std::clamp(h, -reach, reach);
    }
    RayTablesPtr tables = MakeRayTables(2, kAiryOrder + 1);
    RecordingControl quiet;
    TraceRays(sphere, ComputeDiagramNorm(sphere), heights, 2, kAiryOrder, *tables, nullptr, quiet, rule);
    return {tables->RayAngle[kAiryOrder][0], tables->RayAngle[kAiryOrder][1]};
}

} // namespace

AiryCurve ComputeAiry(const RunParams& P, const RayTables& T, const double* heights, int R, int NumIncRays,
                      FresnelRule rule)
{
    constexpr int p = kAiryOrder;
    const double k = P.WaveNumber;
    const int N = std::min(NumIncRays, kMaxRays);
    const int first = std::max(R - N / (kAiryDivisor - 5), 0);
    const int last = std::min(R + N / kAiryDivisor, N - 1);

    AiryCurve curve;
    curve.RainbowIndex = R;
    curve.RainbowAngle = T.RayAngle[p][R];
    curve.RainbowPhase = T.RayPhase[p][R];
    curve.RainbowAmplitude = std::sqrt(T.RayIntensity[p][R]);

    // The rainbow ray's normal, and the distance of its line from the centre: the reference
    // line runs through the centre along that normal.
    const double nxR = -T.RayKz[p][R] / k;
    const double nzR = T.RayKx[p][R] / k;
    const double dR = T.RayX[p][R] * nxR + T.RayZ[p][R] * nzR;

    curve.rays.reserve(static_cast<std::size_t>(last - first + 1));
    for (int i = first; i <= last; ++i) {
        const double Kx = T.RayKx[p][i];
        const double Kz = T.RayKz[p][i];
        if (Kx == 0 && Kz == 0)
            continue;  // did not emerge in order 2
        const double nx = -Kz / k;
        const double nz = Kx / k;
        const double d = T.RayX[p][i] * nx + T.RayZ[p][i] * nz;

        double dPhi = T.RayPhase[p][i] - T.RayPhase[p][R];
        if (i > R)
            dPhi = dPhi - kHalfPi;  // the rays beyond the rainbow have crossed its caustic
        const double c = nxR * nx + nzR * nz;
        if (c == 0)
            continue;  // runs along the reference line, never meets it
        const double t = d / c;  // ray i meets the reference line at t·n(R)
        const double q = t * (Kx * nxR + Kz * nzR);

        AiryRay ray;
        ray.v = dR - t;
        ray.psi = dPhi - q;
        ray.A = std::sqrt(T.RayIntensity[p][i]);
        ray.theta = T.RayAngle[p][i];
        ray.r = (Kx * T.RayZ[p][i] - Kz * T.RayX[p][i]) / k;
        curve.rays.push_back(ray);
    }

    // Each ray's share of the wave front on the reference line: central differences of the
    // angle and of v over the rays kept, one-sided at the two ends.
    const std::size_t m = curve.rays.size();
    std::vector<double> weight(m, 0.0);
    if (m >= 2) {
        for (std::size_t j = 0; j < m; ++j) {
            const std::size_t lo = j == 0 ? 0 : j - 1;
            const std::size_t hi = j + 1 == m ? j : j + 1;
            const double span = (j == 0 || j + 1 == m) ? 1.0 : 2.0;
            const double dTheta = AngleStep(curve.rays[hi].theta, curve.rays[lo].theta) / span;
            const double dV = (curve.rays[hi].v - curve.rays[lo].v) / span;
            weight[j] = curve.rays[j].A * std::sqrt(std::fabs(dTheta * dV));
        }
    }

    // The span from the rainbow's geometry over the window: the particle's own end rays may
    // leave anywhere, or not at all, on an ellipse.
    const std::array<double, 2> ends = SphereOrderTwoAngles(P, rule, heights[first], heights[last]);
    const double step = (ends[1] - ends[0]) / 50;
    for (int n = 0; n < kAiryDirections; ++n) {
        const double delta = (n - 25) * step;
        const double sinDelta = std::sin(delta);
        double sumRe = 0;
        double sumIm = 0;
        for (std::size_t j = 0; j < m; ++j) {
            const double phase = k * curve.rays[j].v * sinDelta + curve.rays[j].psi;
            sumRe += weight[j] * std::cos(phase);
            sumIm += weight[j] * std::sin(phase);
        }
        curve.angle[static_cast<std::size_t>(n)] = curve.RainbowAngle + delta;
        curve.intensity[static_cast<std::size_t>(n)] = (k / kTwoPi) * (sumRe * sumRe + sumIm * sumIm);
    }
    return curve;
}

} // namespace orvane
