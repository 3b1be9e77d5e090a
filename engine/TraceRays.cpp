#include "engine/TraceRays.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "numeric/Angles.h"
#include "geometry/Limits.h"
#include "base/FpGuard.h"
#include "numeric/Numerics.h"
#include "base/RunControl.h"
#include "base/TwoThreads.h"

namespace orvane {

DiagramNorm ComputeDiagramNorm(const RunParams& P)
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
    const RunParams& P;
    double IntensityNorm;
    int MaxP;
    double k;       // wave number outside
    double km;      // real wave number inside, m_r·k
    Vec2 ki;        // incident wave vector
    Complex M;     // complex wave number inside, (m_r·k, m_i·k)
    Complex M2;    // its square
    Complex mu;    // square of the refractive index
    FresnelRule rule;
    // The in-plane widths of the ray tube change at each refraction (local rule). On a circle
    // the exit undoes the entry exactly (e_in = t, e_out = i) and they are left out, so that
    // the cosines of 1e-7 of a sphere's grazing rays add no rounding to its files.
    bool tubeWidths;
};

// The wave inside the particle as it leaves a boundary point, carried from order to order.
struct InsideWave {
    Vec2 point;          // where it leaves [µm]
    Vec2 K;              // wave vector
    double s = 0;        // slope K_x/K_z
    double C1 = 0, C2 = 0;  // curvatures of its wavefront, in the plane and across it
    double D = 0;        // running divergence factor
    double A = 0;        // running amplitude factor
    double Phi = 0;      // path phase [rad]
    double focal = 0;    // phase of the focal lines crossed so far [rad]
    Complex q;          // normal component of the refracted wave vector at the entry
    double phiR = 0;     // phase of the entry's reflection coefficient
    double reflectionPhase = 0;  // sum of arg r over the internal reflections so far [rad]
};

// The chord from one boundary point to the next, and the wave that arrives there.
struct Chord {
    double L = 0;                // length [µm]
    Vec2 n, tau;                 // outward normal and tangent at the new point
    double knp = 0, ktp = 0;     // normal and tangential parts of the arriving wave vector
    double kappa1 = 0, kappa2 = 0;  // curvatures of the surface seen from inside
    double R1 = 0, R2 = 0;       // radii of the arriving wavefront
};

// Radii of curvature of the incident plane wave: kept finite, at 1e14 µm.
constexpr double kPlaneWaveCurvature = 1e-14;

double SurfaceStretch(const RunParams& P, double z)
{
    const double zc = z / P.RadiusC;
    return std::sqrt(zc * zc * P.AspectTerm + 1);
}

// The ray model's phase convention. A ray's phase falls along its path (Φ − k·L), the
// conjugate of the exp(−iωt) amplitudes of exact theory, so a Fresnel quotient formed with the
// exact theory's normal components enters the ray as its conjugate: |r| as it is, arg r with
// the opposite sign. A real quotient keeps its phase bit for bit, the sign of its zero
// imaginary part included (it decides between +π and −π for a negative quotient).
Complex AlongThePath(const Complex& r)
{
    if (r.imag() == 0.0)
        return r;
    return {r.real(), -r.imag()};
}

// Fresnel reflection coefficients from the normal components of the wave vectors: kn (or
// kne) outside, real, and q inside, complex. For parallel polarisation the outer component is
// weighted by m². At the entry the outer wave comes first, at an exit the inner one. These are
// the quotients of exact theory; the ray takes them through AlongThePath.
Complex EntryReflection(const RaySetup& S, double kn, const Complex& q)
{
    if (S.P.Polar == 0)
        return SmithQuotient({kn * S.mu.real() - q.real(), kn * S.mu.imag() - q.imag()},
                             {kn * S.mu.real() + q.real(), kn * S.mu.imag() + q.imag()});
    return SmithQuotient({kn - q.real(), -q.imag()}, {kn + q.real(), q.imag()});
}

// The entry's q reused at an exit, with the real emergent normal component kne.
Complex ExitReflection(const RaySetup& S, double kne, const Complex& q)
{
    if (S.P.Polar == 0)
        return SmithQuotient({q.real() - kne * S.mu.real(), q.imag() - kne * S.mu.imag()},
                             {q.real() + kne * S.mu.real(), q.imag() + kne * S.mu.imag()});
    return SmithQuotient({q.real() - kne, q.imag()}, {q.real() + kne, q.imag()});
}

// The coefficient of an interface met from inside, from the tangential part kt of the wave
// vector there: q = √(M² − kt²) inside and kne = √(k² − kt²) outside, both complex. Beyond the
// critical angle kne = (0, √(kt² − k²)) as PrincipalSqrt gives it: |r| = 1 for a clear
// particle, a little less for an absorbing one.
Complex LocalReflection(const RaySetup& S, double kt)
{
    const Complex q = PrincipalSqrt(S.M2 - Complex{kt * kt, 0.0});
    const Complex kne = PrincipalSqrt(Complex{S.k * S.k - kt * kt, 0.0});
    Complex outer = kne;
    if (S.P.Polar == 0)
        outer = {kne.real() * S.mu.real() - kne.imag() * S.mu.imag(),
                 kne.real() * S.mu.imag() + kne.imag() * S.mu.real()};
    return SmithQuotient(q - outer, q + outer);
}

// Entry: the incident ray meets the ellipse, is reflected (order 0) and, unless it is totally
// reflected, refracted into the particle. Returns whether it enters.
bool Enter(const RaySetup& S, int i, double d, RayTables& T, InsideWave& w, EntryEvent& e)
{
    const RunParams& P = S.P;
    const double k = S.k;
    const double km = S.km;
    const double G = P.ShadowProduct;
    e.ray = i;

    // Entry point: where the incident line through (0, d) first meets the ellipse.
    const Vec2 pt = EntryPoint(P, d);
    T.RayX[0][i] = pt.x;
    T.RayZ[0][i] = pt.z;
    e.point = pt;

    // Inward normal and tangent there; normal and tangential parts of the incident wave vector.
    const Vec2 n = InwardNormal(P, pt);
    const Vec2 tau = TangentOf(n);
    const double kn = Dot(S.ki, n);
    const double kt = Dot(S.ki, tau);
    const double cosI = std::fabs(kn / k);
    e.cosI = cosI;

    // Phase reference: the incident wave's path up to the entry point, measured along the
    // incident direction from the plane through the centre.
    const double Phi = k * ProjectionLength(pt.x, pt.z, P.IncAngle);
    double focal = 0;
    e.phase = Phi;

    // Order 0, external reflection: mirror the normal component.
    const Vec2 kr = Compose(-kn, n, kt, tau);
    const double angle0 = std::atan2(kr.x, kr.z);
    T.RayAngle[0][i] = angle0;
    e.reflectedAngle = angle0;

    // Curvatures of the surface seen from outside: in the plane and across it.
    const double f = SurfaceStretch(P, pt.z);
    const double kappa1 = -P.RadiusA / (P.RadiusC2 * (f * f * f));
    const double kappa2 = -P.RadiusA / (P.RadiusB2 * f);

    const double Ci1 = kPlaneWaveCurvature;
    const double Ci2 = kPlaneWaveCurvature;
    const double Cr1 = (2 / cosI) * kappa1 + Ci1;
    const double Cr2 = 2 * cosI * kappa2 + Ci2;
    if (Cr1 > 0)
        focal += kHalfPi;
    if (Cr2 > 0)
        focal += kHalfPi;
    const double D0 = 1 / (Cr1 * Cr2 * G);
    e.kappa1 = kappa1;
    e.kappa2 = kappa2;
    e.Ci1 = Ci1;
    e.Ci2 = Ci2;
    e.Cr1 = Cr1;
    e.Cr2 = Cr2;

    // Refraction: normal component of the refracted wave vector, sqrt(M² − kt²).
    const Complex q = PrincipalSqrt(S.M2 - Complex{kt * kt, 0.0});

    Complex r;
    if (q.real() > 0) {
        w.K = Compose(q.real(), n, kt, tau);
        w.s = w.K.x / w.K.z;
        const double cosR = std::fabs(q.real() / km);
        const double delta = km * cosR - k * cosI;
        w.C1 = -(k * (cosI * cosI) * Ci1 + delta * kappa1) / (km * (cosR * cosR));
        w.C2 = -(k * Ci2 + delta * kappa2) / km;
        r = AlongThePath(EntryReflection(S, kn, q));
        // The incident and the refracted tube share one footprint on the surface, so in the
        // plane the refracted tube is cos r/cos i as wide as the incident one, and its intensity
        // cos i/cos r times the transmitted share of the incident one (a circle's exit undoes
        // this, an ellipse's does not). The entry rule keeps its earlier law without the widths.
        const double width = S.tubeWidths ? cosI / cosR : 1.0;
        w.D = width / (w.C1 * w.C2 * G);
        const double absR = Modulus(r);
        w.A = std::sqrt(1 - absR * absR);
        e.refracted = true;
        e.slope = w.s;
        e.C1 = w.C1;
        e.C2 = w.C2;
    } else {
        // Total reflection (a clear particle of lower index, beyond the critical angle): the
        // same quotient with the evanescent wave's q = (0, √(kt² − k_m²)), so |r| = 1, and in
        // the ray's convention a phase from 0 at the critical angle to π at grazing incidence
        // (the opposite sign puts a bubble's reflection fringes 0.8–1.8° off the exact ones).
        // No inner orders.
        r = AlongThePath(EntryReflection(S, kn, q));
    }
    const double phiR = std::atan2(r.imag(), r.real());
    e.r = r;

    const double absR = Modulus(r);
    const double FE = absR * absR;
    T.RayPhase[0][i] = (k * ProjectionLength(pt.x, pt.z, angle0) + (phiR + focal)) + Phi;
    T.RayIntensity[0][i] = std::fabs(FE * D0) * S.IntensityNorm;

    w.point = pt;
    w.Phi = Phi;
    w.focal = focal;
    w.q = q;
    w.phiR = phiR;
    return e.refracted && kt * kt < km * km;
}

// The chord of order p to the next boundary point, the internal reflection of the wave
// vector there, and the wavefront that arrives.
Chord Cross(const RaySetup& S, int i, int p, RayTables& T, InsideWave& w)
{
    const RunParams& P = S.P;
    Chord c;

    const Vec2 from = w.point;
    w.point = NextBoundaryPoint(P, from, w.s);
    T.RayX[p][i] = w.point.x;
    T.RayZ[p][i] = w.point.z;
    const double dx = w.point.x - from.x;
    const double dz = w.point.z - from.z;
    c.L = std::sqrt(dx * dx + dz * dz);
    w.Phi = w.Phi - S.km * c.L;

    // Internal reflection of the wave vector at the outward normal.
    c.n = OutwardNormal(P, w.point);
    c.tau = TangentOf(c.n);
    c.knp = Dot(w.K, c.n);
    c.ktp = Dot(w.K, c.tau);
    w.K = Compose(-c.knp, c.n, c.ktp, c.tau);
    w.s = w.K.x / w.K.z;

    // Curvatures of the surface seen from inside.
    const double f = SurfaceStretch(P, w.point.z);
    c.kappa1 = P.RadiusA / (P.RadiusC2 * (f * f * f));
    c.kappa2 = P.RadiusA / (P.RadiusB2 * f);

    // Radii of the arriving wavefront; a focal line crossed on the chord adds π/2.
    c.R1 = c.L - 1 / w.C1;
    c.R2 = c.L - 1 / w.C2;
    if (w.C1 * c.R1 > 0)
        w.focal += kHalfPi;
    if (w.C2 * c.R2 > 0)
        w.focal += kHalfPi;
    return c;
}

// Exit of order p at the end of its chord, when the wave is not totally reflected there.
// Returns the coefficient of the reflection inside.
Complex Leave(const RaySetup& S, int i, int p, RayTables& T, const InsideWave& w, const Chord& c,
               InteractionEvent& e)
{
    const RunParams& P = S.P;
    const double k = S.k;
    const double km = S.km;

    const bool local = S.rule == FresnelRule::Local;
    if (std::fabs(c.ktp) >= k)  // total internal reflection: this order does not leave
        return local ? AlongThePath(LocalReflection(S, c.ktp)) : Complex{1.0, 0.0};

    const double kne = std::sqrt(k * k - c.ktp * c.ktp);
    const Vec2 ke = Compose(kne, c.n, c.ktp, c.tau);
    T.RayKz[p][i] = ke.z;
    T.RayKx[p][i] = ke.x;
    const double angle = std::atan2(ke.x, ke.z);
    T.RayAngle[p][i] = angle;

    // Wavefront of the emergent ray and the focal lines it will form outside.
    const double cosIp = std::fabs(c.knp / km);
    const double cosRp = std::fabs(kne / k);
    const double deltaP = k * cosRp - km * cosIp;
    const double E1 = (km * (cosIp * cosIp) / c.R1 + deltaP * c.kappa1) / (k * (cosRp * cosRp));
    const double E2 = (km / c.R2 + deltaP * c.kappa2) / k;
    double focalOut = w.focal;
    if (E1 < 0)
        focalOut += kHalfPi;
    if (E2 < 0)
        focalOut += kHalfPi;
    e.leaves = true;
    e.E1 = E1;
    e.E2 = E2;

    const Complex r = AlongThePath(local ? LocalReflection(S, c.ktp) : ExitReflection(S, kne, w.q));
    // The emergent tube is cos e_out/cos e_in as wide in the plane as the arriving one (the
    // footprint again), e_in and e_out the angles inside and outside.
    const double width = S.tubeWidths ? cosIp / cosRp : 1.0;
    const double Dp = (w.D * width) / (std::fabs(E1 * E2) * c.R1 * c.R2);
    // Beer–Lambert on the last chord: amplitude factor exp(−k·m_i·L), squared for energy.
    const double alpha = std::exp(-k * P.IndexIm * c.L);
    const double absR = Modulus(r);
    const double FE = ((1 - absR * absR) * (w.A * w.A)) * (alpha * alpha);
    T.RayIntensity[p][i] = std::fabs(FE * Dp) * S.IntensityNorm;
    // The p − 1 internal reflections before this exit: each its own phase, or, by the entry
    // rule, the entry's reflection phase less π.
    const double reflections = local ? w.reflectionPhase : (w.phiR - kPi) * (p - 1);
    T.RayPhase[p][i] = (k * ProjectionLength(w.point.x, w.point.z, angle) + (reflections + focalOut)) + w.Phi;
    return r;
}

// The wave reflected inside goes on with |r| of this point, its phase, its new curvatures and
// the absorption of the chord.
void ReflectInside(const RaySetup& S, InsideWave& w, const Chord& c, const Complex& r)
{
    const double cosIp = std::fabs(c.knp / S.km);
    w.C1 = -1 / c.R1 + (2 / cosIp) * c.kappa1;
    w.C2 = -1 / c.R2 + 2 * cosIp * c.kappa2;
    w.D = w.D / (c.R1 * c.R2 * w.C1 * w.C2);
    const double alpha = std::exp(-S.k * S.P.IndexIm * c.L);
    w.A = Modulus(r) * w.A * alpha;
    w.reflectionPhase = w.reflectionPhase + std::atan2(r.imag(), r.real());
}

void TraceRay(const RaySetup& S, int i, double d, RayTables& T, TraceObserver* observer)
{
    InsideWave w;
    EntryEvent entry;
    const bool inside = Enter(S, i, d, T, w, entry);
    if (observer)
        observer->entered(entry);
    if (!inside)
        return;

    for (int p = 1; p <= S.MaxP; ++p) {
        const Chord c = Cross(S, i, p, T, w);
        InteractionEvent e;
        const Complex r = Leave(S, i, p, T, w, c, e);
        ReflectInside(S, w, c, r);
        if (observer) {
            e.ray = i;
            e.p = p;
            e.point = w.point;
            e.slope = w.s;
            e.phase = w.Phi;
            e.kappa1 = c.kappa1;
            e.kappa2 = c.kappa2;
            e.R1 = c.R1;
            e.R2 = c.R2;
            e.r = r;
            e.C1 = w.C1;
            e.C2 = w.C2;
            observer->interacted(e);
        }
    }
}

// How many rays are traced between two questions to the control.
constexpr int kRaysPerReport = 64;

} // namespace

// Below this many rays times orders a second thread is not worth starting.
constexpr int kParallelRayOrders = 20000;

void TraceRays(const RunParams& P, const DiagramNorm& norm, const double* heights, int count, int MaxP,
               RayTables& tables, TraceObserver* observer, RunControl& control, FresnelRule rule)
{
    const double k = P.WaveNumber;
    const Complex M{P.InnerWaveNumber, k * P.IndexIm};
    const Complex M2 = Square(M);
    const RaySetup setup{
        P,
        norm.IntensityNorm,
        std::clamp(MaxP, 0, kMaxOrder),
        k,
        P.InnerWaveNumber,
        Vec2{k * std::cos(P.IncAngle), k * std::sin(P.IncAngle)},
        M,
        M2,
        Complex{P.IndexRe * P.IndexRe - P.IndexIm * P.IndexIm, 2 * P.IndexRe * P.IndexIm},
        rule,
        rule == FresnelRule::Local && P.RadiusA != P.RadiusC,
    };
    const int n = std::clamp(count, 0, kMaxRays);
    if (observer) {
        // The observer follows the rays one after the other.
        for (int i = 0; i < n; ++i) {
            if (i % kRaysPerReport == 0) {
                ThrowIfCancelled(control);
                control.progress(RunStage::Tracing, i, n);
            }
            TraceRay(setup, i, heights[i], tables, observer);
            CheckFpFaults();
        }
        return;
    }
    // Every ray writes only its own cells: a large run shares its rays, in blocks, between
    // two threads, and still ends with the fault of the first ray that raised one. Each block
    // asks the control whether to stop; the calling thread tells the progress.
    const std::thread::id caller = std::this_thread::get_id();
    const auto blocks = static_cast<std::size_t>((n + kRaysPerReport - 1) / kRaysPerReport);
    RunOnTwoThreads(
        blocks,
        [&](std::size_t block) {
            ThrowIfCancelled(control);
            const int first = static_cast<int>(block) * kRaysPerReport;
            if (std::this_thread::get_id() == caller)
                control.progress(RunStage::Tracing, first, n);
            for (int i = first; i < std::min(n, first + kRaysPerReport); ++i) {
                TraceRay(setup, i, heights[i], tables, nullptr);
                CheckFpFaults();
            }
        },
        n * (setup.MaxP + 1) >= kParallelRayOrders);
}

} // namespace orvane
