#include "engine/TraceRays.h"

#include <algorithm>
#include <cmath>

#include "engine/Angles.h"
#include "engine/CheckFile.h"
#include "engine/RayGeometry.h"
#include "numeric/Complex.h"
#include "numeric/FpGuard.h"
#include "numeric/Numerics.h"
#include "numeric/TwoThreads.h"

namespace orvane {

DiagramNorm ComputeDiagramNorm(const TRunParams& P)
{
    DiagramNorm norm;
    const double cs = P.RadiusC * std::sin(P.IncAngle);
    const double ac = P.RadiusA * std::cos(P.IncAngle);
    norm.ShadowSizeParam = P.WaveNumber * std::sqrt(cs * cs + ac * ac);
    norm.IntensityNorm = norm.ShadowSizeParam * P.WaveNumber * P.RadiusB;
    return norm;
}

namespace {

// Everything that is the same for all rays of a run.
struct RaySetup {
    const TRunParams& P;
    double IntensityNorm;
    int MaxP;
    double k;       // wave number outside
    double km;      // real wave number inside, m_r·k
    Vec2 ki;        // incident wave vector
    TComplex M;     // complex wave number inside, (m_r·k, m_i·k)
    TComplex mu;    // square of the refractive index
};

// Radii of curvature of the incident plane wave: kept finite, at 1e14 µm.
constexpr double kPlaneWaveCurvature = 1e-14;

double SurfaceStretch(const TRunParams& P, double z)
{
    const double zc = z / P.RadiusC;
    return std::sqrt(zc * zc * P.AspectTerm + 1);
}

// Fresnel reflection coefficients from the normal components of the wave vectors: kn (or
// kne) outside, real, and q inside, complex. For parallel polarisation the outer component is
// weighted by m². At the entry the outer wave comes first, at an exit the inner one.
TComplex EntryReflection(const RaySetup& S, double kn, const TComplex& q)
{
    TComplex num, den, r;
    if (S.P.Polar == 0) {
        num = {kn * S.mu.Re - q.Re, kn * S.mu.Im - q.Im};
        den = {kn * S.mu.Re + q.Re, kn * S.mu.Im + q.Im};
    } else {
        num = {kn - q.Re, -q.Im};
        den = {kn + q.Re, q.Im};
    }
    CDiv(num, den, r);
    return r;
}

TComplex ExitReflection(const RaySetup& S, double kne, const TComplex& q)
{
    TComplex num, den, r;
    if (S.P.Polar == 0) {
        num = {q.Re - kne * S.mu.Re, q.Im - kne * S.mu.Im};
        den = {q.Re + kne * S.mu.Re, q.Im + kne * S.mu.Im};
    } else {
        num = {q.Re - kne, q.Im};
        den = {q.Re + kne, q.Im};
    }
    CDiv(num, den, r);
    return r;
}

void TraceRay(const RaySetup& S, int i, double d, TRayTables& T, CheckFile* check)
{
    const TRunParams& P = S.P;
    const double k = S.k;
    const double km = S.km;
    const double G = P.ShadowProduct;

    if (check) {
        if (i > 0)
            check->line(" ", {});
        check->line("Ray n°: %3d ", {i});
    }

    // Entry point: where the incident line through (0, d) first meets the ellipse.
    Vec2 pt = EntryPoint(P, d);
    T.RayX[0][i] = pt.x;
    T.RayZ[0][i] = pt.z;
    if (check)
        check->line(" Incident point (x,z): %12.3f %12.3f", {pt.x, pt.z});

    // Inward normal and tangent there; normal and tangential parts of the incident wave vector.
    Vec2 n = InwardNormal(P, pt);
    Vec2 tau = TangentOf(n);
    const double kn = Dot(S.ki, n);
    const double kt = Dot(S.ki, tau);
    const double cosI = std::fabs(kn / k);

    // Phase reference: the incident wave's path up to the entry point, measured along the
    // incident direction from the plane through the centre.
    double Phi = k * ProjectionLength(pt.x, pt.z, P.IncAngle);
    double focal = 0;  // phase of the focal lines crossed so far
    if (check) {
        check->line(" Incident angle [deg]: %12.5f", {ToDegrees(std::acos(std::min(cosI, 1.0)))});
        check->line(" Phase/ref of ray [rad]: %15.10f", {Phi});
    }

    // Order 0, external reflection: mirror the normal component.
    const Vec2 kr = Compose(-kn, n, kt, tau);
    const double angle0 = std::atan2(kr.x, kr.z);
    T.RayAngle[0][i] = angle0;

    // Curvatures of the surface seen from outside: in the plane and across it.
    double f = SurfaceStretch(P, pt.z);
    double kappa1 = -P.RadiusA / (P.RadiusC2 * (f * f * f));
    double kappa2 = -P.RadiusA / (P.RadiusB2 * f);

    const double Ci1 = kPlaneWaveCurvature;
    const double Ci2 = kPlaneWaveCurvature;
    const double Cr1 = (2 / cosI) * kappa1 + Ci1;
    const double Cr2 = 2 * cosI * kappa2 + Ci2;
    if (Cr1 > 0)
        focal += kHalfPi;
    if (Cr2 > 0)
        focal += kHalfPi;
    const double D0 = 1 / (Cr1 * Cr2 * G);

    // Refraction: normal component of the refracted wave vector, sqrt(M² − kt²).
    TComplex M2, radicand, q;
    CSqr(S.M, M2);
    CSub(M2, TComplex{kt * kt, 0.0}, radicand);
    CSqrt(radicand, q);

    if (check) {
        check->line("Order p : %3d ", {0});
        check->line(" Reflexion angle/z axis [deg.]: %15.10f", {ToDegrees(angle0)});
        check->line(" Curvature radii of the ellipse : %18.10e %18.10e", {1 / kappa1, 1 / kappa2});
        check->line(" Curvature radii incident wave  : %18.10e %18.10e", {1 / Ci1, 1 / Ci2});
        check->line(" Curvature radii reflected wave : %18.10e %18.10e", {1 / Cr1, 1 / Cr2});
    }

    Vec2 K;            // wave vector inside
    double s = 0;      // its slope K_x/K_z
    double C1 = 0, C2 = 0;  // curvatures of the wavefront inside
    double D = 0;      // running divergence factor
    double A = 0;      // running amplitude factor
    TComplex r{1.0, 0.0};
    double phiR = kPi;
    if (q.Re > 0) {
        K = Compose(q.Re, n, kt, tau);
        s = K.x / K.z;
        const double cosR = std::fabs(q.Re / km);
        const double delta = km * cosR - k * cosI;
        C1 = -(k * (cosI * cosI) * Ci1 + delta * kappa1) / (km * (cosR * cosR));
        C2 = -(k * Ci2 + delta * kappa2) / km;
        if (check) {
            check->line(" Slope of refracted ray : %18.10e", {s});
            check->line(" Curvature radii refracted wave : %18.10e %18.10e", {1 / C1, 1 / C2});
        }
        r = EntryReflection(S, kn, q);
        phiR = std::atan2(r.Im, r.Re);
        D = 1 / (C1 * C2 * G);
        const double absR = CAbs(r);
        A = std::sqrt(1 - absR * absR);
    }
    // Otherwise the ray is totally reflected at the entry: r = 1, phase π, no inner orders.
    if (check)
        check->line(" Reflection coefficient : %18.10e + %18.10ei", {r.Re, r.Im});

    {
        const double absR = CAbs(r);
        const double FE = absR * absR;
        T.RayPhase[0][i] = (k * ProjectionLength(pt.x, pt.z, angle0) + (phiR + focal)) + Phi;
        T.RayIntensity[0][i] = std::fabs(FE * D0) * S.IntensityNorm;
    }

    if (!(kt * kt < km * km) || S.MaxP < 1)
        return;

    for (int p = 1; p <= S.MaxP; ++p) {
        // Chord to the next boundary point.
        const Vec2 from = pt;
        pt = NextBoundaryPoint(P, from, s);
        T.RayX[p][i] = pt.x;
        T.RayZ[p][i] = pt.z;
        const double dx = pt.x - from.x;
        const double dz = pt.z - from.z;
        const double L = std::sqrt(dx * dx + dz * dz);
        Phi = Phi - km * L;

        // Internal reflection of the wave vector at the outward normal.
        n = OutwardNormal(P, pt);
        tau = TangentOf(n);
        const double knp = Dot(K, n);
        const double ktp = Dot(K, tau);
        K = Compose(-knp, n, ktp, tau);
        s = K.x / K.z;

        // Curvatures of the surface seen from inside.
        f = SurfaceStretch(P, pt.z);
        kappa1 = P.RadiusA / (P.RadiusC2 * (f * f * f));
        kappa2 = P.RadiusA / (P.RadiusB2 * f);

        // Radii of the arriving wavefront; a focal line crossed on the chord adds π/2.
        const double R1 = L - 1 / C1;
        const double R2 = L - 1 / C2;
        if (C1 * R1 > 0)
            focal += kHalfPi;
        if (C2 * R2 > 0)
            focal += kHalfPi;

        if (check) {
            check->line(" Order p : %3d ", {p});
            check->line(" Incident point (x,z): %12.3f %12.3f", {pt.x, pt.z});
            check->line(" Slope of reflected ray: %12.5f", {s});
            check->line(" Phase of ray/reference [rad]: %15.10f", {Phi});
            check->line(" Curvature radii of ellipsoid  : %18.10e %18.10e", {1 / kappa1, 1 / kappa2});
            check->line(" Curvature radii incident wave : %18.10e %18.10e", {R1, R2});
        }

        if (std::fabs(ktp) >= k) {
            // Total internal reflection: this order does not leave the particle.
            r = {1.0, 0.0};
        } else {
            // Order p leaves the particle.
            const double kne = std::sqrt(k * k - ktp * ktp);
            const Vec2 ke = Compose(kne, n, ktp, tau);
            T.RayKz[p][i] = ke.z;
            T.RayKx[p][i] = ke.x;
            const double angle = std::atan2(ke.x, ke.z);
            T.RayAngle[p][i] = angle;

            // Wavefront of the emergent ray and the focal lines it will form outside.
            const double cosIp = std::fabs(knp / km);
            const double cosRp = std::fabs(kne / k);
            const double deltaP = k * cosRp - km * cosIp;
            const double E1 = (km * (cosIp * cosIp) / R1 + deltaP * kappa1) / (k * (cosRp * cosRp));
            const double E2 = (km / R2 + deltaP * kappa2) / k;
            double focalOut = focal;
            if (E1 < 0)
                focalOut += kHalfPi;
            if (E2 < 0)
                focalOut += kHalfPi;
            if (check)
                check->line(" Curvature radii refracted wave : %18.10e %18.10e", {1 / E1, 1 / E2});

            r = ExitReflection(S, kne, q);
            const double Dp = D / (std::fabs(E1 * E2) * R1 * R2);
            // Beer–Lambert on the last chord: amplitude factor exp(−k·m_i·L), squared for energy.
            const double alpha = std::exp(-k * P.IndexIm * L);
            const double absR = CAbs(r);
            const double FE = ((1 - absR * absR) * (A * A)) * (alpha * alpha);
            T.RayIntensity[p][i] = std::fabs(FE * Dp) * S.IntensityNorm;
            // Each of the p − 1 internal reflections adds the entry's reflection phase less π.
            T.RayPhase[p][i] =
                (k * ProjectionLength(pt.x, pt.z, angle) + ((phiR - kPi) * (p - 1) + focalOut)) + Phi;
        }

        // The reflected wave goes on inside with |r| of this point.
        const double cosIp = std::fabs(knp / km);
        C1 = -1 / R1 + (2 / cosIp) * kappa1;
        C2 = -1 / R2 + 2 * cosIp * kappa2;
        D = D / (R1 * R2 * C1 * C2);
        const double alpha = std::exp(-k * P.IndexIm * L);
        A = CAbs(r) * A * alpha;
        if (check) {
            check->line(" Reflection coefficient : %18.10e + %18.10ei", {r.Re, r.Im});
            check->line(" Curvature radii reflected wave : %18.10e %18.10e", {1 / C1, 1 / C2});
        }
    }
}

} // namespace

// Below this many rays times orders a second thread is not worth starting.
constexpr int kParallelRayOrders = 20000;

void TraceRays(const TRunParams& P, const DiagramNorm& norm, const double* RayPos, TRayTables& tables,
               CheckFile* check)
{
    const double k = P.WaveNumber;
    const RaySetup setup{
        P,
        norm.IntensityNorm,
        UsedOrders(P).MaxP,
        k,
        P.InnerWaveNumber,
        Vec2{k * std::cos(P.IncAngle), k * std::sin(P.IncAngle)},
        TComplex{P.InnerWaveNumber, k * P.IndexIm},
        TComplex{P.IndexRe * P.IndexRe - P.IndexIm * P.IndexIm, 2 * P.IndexRe * P.IndexIm},
    };
    const int count = std::min(P.NumIncRays, kMaxRays);
    if (check) {
        // The check file follows the rays one after the other.
        for (int i = 0; i < count; ++i) {
            TraceRay(setup, i, RayPos[i], tables, check);
            CheckFpFaults();
        }
        return;
    }
    // Every ray writes only its own cells: a large run shares its rays, in blocks, between
    // two threads, and still ends with the fault of the first ray that raised one.
    constexpr int kBlockRays = 64;
    RunOnTwoThreads(
        static_cast<std::size_t>((count + kBlockRays - 1) / kBlockRays),
        [&](std::size_t block) {
            const int first = static_cast<int>(block) * kBlockRays;
            for (int i = first; i < std::min(count, first + kBlockRays); ++i) {
                TraceRay(setup, i, RayPos[i], tables, nullptr);
                CheckFpFaults();
            }
        },
        count * (setup.MaxP + 1) >= kParallelRayOrders);
}

} // namespace orvane
