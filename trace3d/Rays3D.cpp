#include "trace3d/Rays3D.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/Errors.h"
#include "base/FpGuard.h"
#include "base/RunControl.h"
#include "base/TwoThreads.h"
#include "geometry/Particle.h"
#include "numeric/Angles.h"
#include "numeric/PortableMath.h"
#include "trace3d/Wavefront.h"

namespace orvane {

JonesVector JonesVector::Linear(double psi)
{
    double s = 0.0;
    double c = 0.0;
    PortableSinCos(psi, s, c);
    return {Complex{c, 0.0}, Complex{s, 0.0}};
}

BeamFrame MakeBeamFrame(double incAngle, double tilt)
{
    double si = 0.0, ci = 0.0, st = 0.0, ct = 0.0;
    PortableSinCos(incAngle, si, ci);
    PortableSinCos(tilt, st, ct);
    BeamFrame f;
    f.forward = {ct * si, st, ct * ci};
    f.parallel = {ci, 0.0, -si};
    f.perpendicular = Cross(f.forward, f.parallel);
    return f;
}

ScatteringAngles AnglesOf(double alongParallel, double alongPerpendicular, double alongForward)
{
    const double across = std::sqrt(alongParallel * alongParallel + alongPerpendicular * alongPerpendicular);
    ScatteringAngles a;
    a.theta = PortableAtan2(across, alongForward);
    a.phi = across > 0.0 ? PortableAtan2(alongPerpendicular, alongParallel) : 0.0;
    // atan2 gives −π for a negative zero across a negative axis: the azimuth stays in (−π, π].
    if (a.phi <= -kPi)
        a.phi = kPi;
    return a;
}

double Pupil::cellArea(int n) const
{
    const double side = static_cast<double>(n);
    return (4.0 * semiAxis1 * semiAxis2) / (side * side);
}

namespace {

double GridCoordinate(int n, int i) { return static_cast<double>(2 * i + 1 - n) / static_cast<double>(n); }

} // namespace

void Pupil::point(int n, int i, int j, double& u, double& v) const
{
    const double xi = semiAxis1 * GridCoordinate(n, i);
    const double eta = semiAxis2 * GridCoordinate(n, j);
    u = xi * axis1U - eta * axis1V;
    v = xi * axis1V + eta * axis1U;
}

bool Pupil::inside(int n, int i, int j)
{
    const double xi = GridCoordinate(n, i);
    const double eta = GridCoordinate(n, j);
    return xi * xi + eta * eta < 1.0;
}

namespace {

// Everything that is the same for every ray of a run.
struct Setup {
    double Ax = 0, Ay = 0, Az = 0;  // the ellipsoid's matrix diag(1/a², 1/b², 1/c²)
    double k = 0;                   // wave number outside
    double km = 0;                  // real wave number inside, m_r·k
    double kmOverK = 0, kOverKm = 0;
    Complex M2;                     // square of the complex wave number inside
    Complex mu;                     // square of the refractive index
    bool clear = true;              // m_i = 0
    double absorption = 0;          // k·m_i: the amplitude decays as exp(−k·m_i·L)
    BeamFrame frame;
    double forwardAForward = 0;     // k̂ᵀ·A·k̂
    int states = 1;
    Complex incident[2][2];         // [state][0: along e_∥, 1: along e_⊥]
    int MaxP = 0;
    int MinP = 0;
    Rays3DFresnel fresnel = Rays3DFresnel::Local;
};

Vec3 TimesA(const Setup& S, const Vec3& r) { return {S.Ax * r.x, S.Ay * r.y, S.Az * r.z}; }

void RequireAngle(double angle, bool closed, const char* message)
{
    const bool within = closed ? (angle >= -kHalfPi && angle <= kHalfPi) : (angle > -kHalfPi && angle < kHalfPi);
    if (!within)
        throw InputError(message);
}

Setup MakeSetup(const Rays3DInputs& in)
{
    ParticleInputs particle;
    particle.RadiusA = in.RadiusA;
    particle.RadiusB = in.RadiusB;
    particle.RadiusC = in.RadiusC;
    particle.IndexRe = in.IndexRe;
    particle.IndexIm = in.IndexIm;
    particle.Wavelength = in.Wavelength;
    particle.IncAngle = in.IncAngle;
    CheckParticle(particle);
    RequireAngle(in.Tilt, true, "The tilt must lie between -90 and 90 degrees.");
    if (in.MaxP < 0 || in.MaxP > kMaxOrder3D)
        throw InputError("The max order p must lie between 0 and 50.");
    if (in.MinP < 0 || in.MinP > in.MaxP)
        throw InputError("Min p must not be larger than Max p.");

    Setup S;
    const FpFaultScope faults;
    S.Ax = 1.0 / (in.RadiusA * in.RadiusA);
    S.Ay = 1.0 / (in.RadiusB * in.RadiusB);
    S.Az = 1.0 / (in.RadiusC * in.RadiusC);
    S.k = 2.0 * kPi / in.Wavelength;
    S.km = in.IndexRe * S.k;
    S.kmOverK = S.km / S.k;
    S.kOverKm = S.k / S.km;
    S.M2 = Square(Complex{S.km, S.k * in.IndexIm});
    S.mu = {in.IndexRe * in.IndexRe - in.IndexIm * in.IndexIm, 2.0 * in.IndexRe * in.IndexIm};
    S.clear = in.IndexIm == 0.0;
    S.absorption = S.k * in.IndexIm;
    S.frame = MakeBeamFrame(in.IncAngle, in.Tilt);
    S.forwardAForward = Dot(S.frame.forward, TimesA(S, S.frame.forward));
    S.MaxP = in.MaxP;
    S.MinP = in.MinP;
    S.fresnel = in.Fresnel;
    if (in.BothStates) {
        S.states = 2;
        S.incident[0][0] = 1.0;
        S.incident[1][1] = 1.0;
    } else {
        const double p2 = std::norm(in.Jones.parallel);
        const double q2 = std::norm(in.Jones.perpendicular);
        if (!(std::isfinite(p2) && std::isfinite(q2) && p2 + q2 > 0.0))
            throw InputError("The incident polarisation needs a Jones vector that is not zero.");
        const double scale = 1.0 / std::sqrt(p2 + q2);
        S.incident[0][0] = scale * in.Jones.parallel;
        S.incident[0][1] = scale * in.Jones.perpendicular;
    }
    faults.check();
    return S;
}

// Below this sine of the angle of incidence the plane of incidence is not taken from the
// cross product k̂ × N, whose direction rounding would spoil, but from the wave's own basis.
constexpr double kNearNormal = 1e-5;

// The unit vector across the plane of incidence: along k̂ × N, or near normal incidence the
// given vector across the ray made tangent to the surface (any tangent serves there, as the
// s and p coefficients meet).
Vec3 AcrossPlaneOfIncidence(const Vec3& dir, const Vec3& N, double sinIncidence, const Vec3& fallback)
{
    if (sinIncidence > kNearNormal)
        return (1.0 / sinIncidence) * Cross(dir, N);
    return Normalised(fallback - Dot(fallback, N) * N);
}

// The surface's second fundamental form on (s, t) at a point where A·r has length gl: the
// ellipsoid r = r0 + η − ½·ηᵀBη·N with B = tᵀ·A·t/|A·r|.
Sym2 SurfaceCurvature(const Setup& S, const Vec3& s, const Vec3& t, double gl)
{
    const Vec3 As = TimesA(S, s);
    return {Dot(s, As) / gl, Dot(t, As) / gl, Dot(t, TimesA(S, t)) / gl};
}

// Fresnel coefficients of one interface in the ray's convention: the reflection coefficients
// of the s and p parts, and the amplitude factors √(1 − |r|²) of the transmitted parts.
struct Fresnel {
    Complex rs, rp;
    double ts = 0, tp = 0;
};

// A phase falls along the path in this program (the conjugate of exact theory's
// exp(−iωt) amplitudes), so a Fresnel quotient formed with exact theory's normal components
// enters the ray as its conjugate.
Complex AlongThePath(const Complex& r) { return std::conj(r); }

// √(1 − |r|²); a reflection rounded to just above |r| = 1 transmits nothing.
double TransmittedAmplitude(const Complex& r)
{
    const double absR = Modulus(r);
    return std::sqrt(std::max(0.0, 1.0 - absR * absR));
}

// The normal component of the refracted wave vector, √(M² − kt²), principal root.
Complex InnerNormal(const Setup& S, double kt)
{
    if (S.clear) {
        const double z = S.km * S.km - kt * kt;
        return z >= 0.0 ? Complex{std::sqrt(z), -0.0} : Complex{0.0, std::sqrt(-z)};
    }
    return PrincipalSqrt(S.M2 - Complex{kt * kt, 0.0});
}

// Entry from outside: kn = k·cos i real, q the inner normal component. For p the outer
// component is weighted by m².
Fresnel EntryFresnel(const Setup& S, double kn, const Complex& q)
{
    Fresnel f;
    f.rs = AlongThePath(SmithQuotient({kn - q.real(), -q.imag()}, {kn + q.real(), q.imag()}));
    f.rp = AlongThePath(SmithQuotient({kn * S.mu.real() - q.real(), kn * S.mu.imag() - q.imag()},
                                      {kn * S.mu.real() + q.real(), kn * S.mu.imag() + q.imag()}));
    f.ts = TransmittedAmplitude(f.rs);
    f.tp = TransmittedAmplitude(f.rp);
    return f;
}

// An interface met from inside, the inner normal component q and the outer one kne (complex
// beyond the critical angle, where no part leaves).
Fresnel InsideFresnel(const Setup& S, const Complex& q, const Complex& kne, bool leaves)
{
    const Complex outer = kne * S.mu;
    Fresnel f;
    f.rs = AlongThePath(SmithQuotient(q - kne, q + kne));
    f.rp = AlongThePath(SmithQuotient(q - outer, q + outer));
    if (leaves) {
        f.ts = TransmittedAmplitude(f.rs);
        f.tp = TransmittedAmplitude(f.rp);
    }
    return f;
}

// The coefficients of the point itself, from the tangential part kt of the arriving wave.
Fresnel LocalFresnel(const Setup& S, double kt)
{
    const bool leaves = kt < S.k;
    if (S.clear && leaves) {
        // Real quotients: the common case of a clear particle, without complex arithmetic.
        const double q = std::sqrt(S.km * S.km - kt * kt);
        const double kne = std::sqrt(S.k * S.k - kt * kt);
        const double outer = kne * S.mu.real();
        Fresnel f;
        f.rs = (q - kne) / (q + kne);
        f.rp = (q - outer) / (q + outer);
        f.ts = TransmittedAmplitude(f.rs);
        f.tp = TransmittedAmplitude(f.rp);
        return f;
    }
    const Complex kne = leaves ? Complex{std::sqrt(S.k * S.k - kt * kt), 0.0}
                               : PrincipalSqrt(Complex{S.k * S.k - kt * kt, 0.0});
    return InsideFresnel(S, InnerNormal(S, kt), kne, leaves);
}

// r / |r|, 1 for r = 0.
Complex Phasor(const Complex& r)
{
    const double m = Modulus(r);
    return m > 0.0 ? r / m : Complex{1.0, 0.0};
}

// The wave inside the particle, from one boundary point to the next.
struct Wave {
    Vec3 r;            // the boundary point it leaves [µm]
    Vec3 dir;          // unit direction
    Vec3 u1, u2;       // orthonormal basis across the ray, u1 × u2 = dir
    Sym2 Q;            // wavefront curvature on (u1, u2)
    Complex J[2][2];   // Jones vector of each state on (u1, u2), scaled so that |J|² is the
                       // share of the incident power in the tube
    double area = 1;   // signed tube cross-section over the incident one
    double phase = 0;  // path phase [rad]
    int focal = 0;     // focal lines crossed
    // The entry rule's values, fixed at the entry point.
    Complex qEntry;
    Complex entryPhasorS, entryPhasorP;
};

// What leaves the particle in one order.
struct Emergent {
    Vec3 point;
    Vec3 direction;
    double dirParallel = 0, dirPerpendicular = 0, dirForward = 0;
    Complex ampTheta[2], ampPhi[2];
    double phase = 0;
    double jacobian = 0;
    double power[2] = {0, 0};
};

// The far field of the wave leaving at r along `dir` with the Jones vectors J on
// (s, dir × s), the tube's area ratio, its curvature Q and its phase so far: the amplitude
// k·J/√|dΩ/dA| on (e_θ, e_φ) with dΩ/dA = area·det Q, and π/2 for every focal line still
// ahead (a negative eigenvalue of Q).
void FarField(const Setup& S, const Vec3& r, const Vec3& dir, const Vec3& s, const Complex (&J)[2][2], double area,
              const Sym2& Q, double phase, int focal, Emergent& e)
{
    const BeamFrame& F = S.frame;
    const Vec3 p = Cross(dir, s);
    const double detQ = Det(Q);
    e.point = r;
    e.direction = dir;
    e.jacobian = area * detQ;
    e.dirParallel = Dot(dir, F.parallel);
    e.dirPerpendicular = Dot(dir, F.perpendicular);
    e.dirForward = Dot(dir, F.forward);
    const double sinTheta =
        std::sqrt(e.dirParallel * e.dirParallel + e.dirPerpendicular * e.dirPerpendicular);
    double cosPhi = 1.0;
    double sinPhi = 0.0;
    if (sinTheta > 0.0) {
        cosPhi = e.dirParallel / sinTheta;
        sinPhi = e.dirPerpendicular / sinTheta;
    }
    // e_θ = cos θ·(cos φ·e_∥ + sin φ·e_⊥) − sin θ·k̂,  e_φ = cos φ·e_⊥ − sin φ·e_∥.
    const Vec3 radial = Combine(cosPhi, F.parallel, sinPhi, F.perpendicular);
    const Vec3 eTheta = Combine(e.dirForward, radial, -sinTheta, F.forward);
    const Vec3 ePhi = Combine(cosPhi, F.perpendicular, -sinPhi, F.parallel);
    const double sTheta = Dot(s, eTheta);
    const double sPhi = Dot(s, ePhi);
    const double pTheta = Dot(p, eTheta);
    const double pPhi = Dot(p, ePhi);
    const double scale = S.k / std::sqrt(std::fabs(e.jacobian));
    for (int st = 0; st < S.states; ++st) {
        e.ampTheta[st] = scale * (J[st][0] * sTheta + J[st][1] * pTheta);
        e.ampPhi[st] = scale * (J[st][0] * sPhi + J[st][1] * pPhi);
        e.power[st] = std::norm(J[st][0]) + std::norm(J[st][1]);
    }
    const int ahead = NegativeEigenvalues(detQ, Trace(Q));
    e.phase = (phase + S.k * Dot(dir, r)) + static_cast<double>(focal + ahead) * kHalfPi;
}

// Turns the Jones vectors from a basis onto one turned by c = u1·u1', d = u2·u1'.
void TurnJones(Complex (&J)[2][2], int states, double c, double d)
{
    for (int st = 0; st < states; ++st) {
        const Complex a = J[st][0];
        const Complex b = J[st][1];
        J[st][0] = c * a + d * b;
        J[st][1] = c * b - d * a;
    }
}

double Power(const Complex (&J)[2][2], int st) { return std::norm(J[st][0]) + std::norm(J[st][1]); }

// Where the ray through the pupil point (u, v) first meets the ellipsoid; false if it
// misses.
bool EntryPoint(const Setup& S, double u, double v, Vec3& r0)
{
    const BeamFrame& F = S.frame;
    const Vec3 rho = Combine(u, F.parallel, v, F.perpendicular);
    const Vec3 Arho = TimesA(S, rho);
    const double beta = Dot(Arho, F.forward);
    const double gamma = Dot(Arho, rho) - 1.0;
    const double disc = beta * beta - S.forwardAForward * gamma;
    if (!(disc > 0.0))
        return false;
    const double w = (-beta - std::sqrt(disc)) / S.forwardAForward;
    r0 = rho + w * F.forward;
    return true;
}

// A recorder takes the results of one ray as they come: the entry point, the end of every
// chord, every order that leaves, the power absorbed on a chord and what is left inside.
// The entry: order 0, and the refracted wave when the ray enters (returns whether it does).
template <class Recorder>
bool Enter(const Setup& S, const Vec3& r0, Wave& w, Recorder& rec)
{
    const BeamFrame& F = S.frame;
    const Vec3 kin = F.forward;
    const Vec3 g = TimesA(S, r0);
    const double gl = Norm(g);
    const Vec3 N = (1.0 / gl) * g;  // outward normal
    const double cosI = -Dot(kin, N);
    const Vec3 tangential = kin + cosI * N;
    const double sinI = Norm(tangential);
    const Vec3 s = AcrossPlaneOfIncidence(kin, N, sinI, F.parallel);
    const Vec3 t = Cross(N, s);
    const Sym2 B = SurfaceCurvature(S, s, t, gl);

    // The incident Jones vectors on (s, k̂ × s).
    Complex J[2][2];
    for (int st = 0; st < S.states; ++st) {
        J[st][0] = S.incident[st][0];
        J[st][1] = S.incident[st][1];
    }
    TurnJones(J, S.states, Dot(F.parallel, s), Dot(F.perpendicular, s));

    const double kn = S.k * cosI;
    const double kt = S.k * sinI;
    const Complex q = InnerNormal(S, kt);
    const Fresnel f = EntryFresnel(S, kn, q);
    // The incident path up to the entry point, from the plane through the centre.
    const double phase0 = -S.k * Dot(kin, r0);

    // Order 0: the mirrored direction; a plane wave leaves a convex mirror diverging.
    {
        const Vec3 dir = kin + (2.0 * cosI) * N;
        const Sym2 Q = AcrossInterface(Sym2{}, 1.0, -cosI, cosI, B);
        Complex Jr[2][2];
        for (int st = 0; st < S.states; ++st) {
            Jr[st][0] = f.rs * J[st][0];
            Jr[st][1] = f.rp * J[st][1];
        }
        Emergent e;
        FarField(S, r0, dir, s, Jr, -1.0, Q, phase0, 0, e);
        rec.emerged(0, e);
    }

    // Refraction, when a homogeneous wave can go on inside.
    if (!(q.real() > 0.0 && kt * kt < S.km * S.km))
        return false;
    const double qr = std::sqrt(S.km * S.km - kt * kt);
    const double cosT = qr / S.km;
    w.r = r0;
    w.dir = Combine(S.kOverKm, tangential, -cosT, N);
    w.u1 = s;
    w.u2 = Cross(w.dir, s);
    w.Q = AcrossInterface(Sym2{}, S.kOverKm, -cosI, -cosT, B);
    for (int st = 0; st < S.states; ++st) {
        w.J[st][0] = f.ts * J[st][0];
        w.J[st][1] = f.tp * J[st][1];
    }
    // The tube's footprint on the surface is shared: the refracted tube is cos t/cos i as wide.
    w.area = cosT / cosI;
    w.phase = phase0;
    w.focal = 0;
    w.qEntry = q;
    w.entryPhasorS = Phasor(f.rs);
    w.entryPhasorP = Phasor(f.rp);
    return true;
}

// Order p: the chord to the next boundary point, the part that leaves there (unless it is
// totally reflected) and the internal reflection that goes on.
template <class Recorder>
void CrossAndMeet(const Setup& S, int p, Wave& w, Recorder& rec)
{
    // The chord: the second intersection of the line with the ellipsoid, r on the surface.
    const Vec3 Ar = TimesA(S, w.r);
    const double L = -2.0 * Dot(Ar, w.dir) / Dot(w.dir, TimesA(S, w.dir));
    w.r = w.r + L * w.dir;
    const AlongChord chord = Propagated(w.Q, L);
    w.Q = chord.q;
    w.area = w.area * chord.spread;
    w.focal += chord.focalLines;
    w.phase = w.phase - S.km * L;
    if (!S.clear) {
        // Beer–Lambert: the amplitude decays as exp(−k·m_i·L), the power as its square.
        const double alpha = PortableExp(-S.absorption * L);
        for (int st = 0; st < S.states; ++st) {
            const double before = Power(w.J, st);
            w.J[st][0] = alpha * w.J[st][0];
            w.J[st][1] = alpha * w.J[st][1];
            rec.absorbed(st, before - Power(w.J, st));
        }
    }
    rec.reached(w.r);

    // The interface, met from inside: outward normal, plane of incidence, basis turned onto it.
    const Vec3 g = TimesA(S, w.r);
    const double gl = Norm(g);
    const Vec3 N = (1.0 / gl) * g;
    const double cosIn = Dot(w.dir, N);
    const Vec3 tangential = w.dir - cosIn * N;
    const double sinIn = Norm(tangential);
    const Vec3 s = AcrossPlaneOfIncidence(w.dir, N, sinIn, w.u1);
    const double c = Dot(w.u1, s);
    const double d = Dot(w.u2, s);
    w.Q = Turned(w.Q, c, d);
    TurnJones(w.J, S.states, c, d);
    const Vec3 t = Cross(N, s);
    const Sym2 B = SurfaceCurvature(S, s, t, gl);

    const double kt = S.km * sinIn;
    const bool leaves = kt < S.k;
    Fresnel f;
    if (S.fresnel == Rays3DFresnel::Local) {
        f = LocalFresnel(S, kt);
    } else if (leaves) {
        const double kne = std::sqrt(S.k * S.k - kt * kt);
        f = InsideFresnel(S, w.qEntry, Complex{kne, 0.0}, true);
    } else {
        f.rs = 1.0;
        f.rp = 1.0;
    }

    if (leaves) {
        const double cosOut = std::sqrt(S.k * S.k - kt * kt) / S.k;
        const Vec3 dir = Combine(S.kmOverK, tangential, cosOut, N);
        const Sym2 Q = AcrossInterface(w.Q, S.kmOverK, cosIn, cosOut, B);
        Complex Je[2][2];
        for (int st = 0; st < S.states; ++st) {
            Je[st][0] = f.ts * w.J[st][0];
            Je[st][1] = f.tp * w.J[st][1];
        }
        Emergent e;
        // The emergent tube is cos e_out/cos e_in as wide as the arriving one.
        FarField(S, w.r, dir, s, Je, w.area * (cosOut / cosIn), Q, w.phase, w.focal, e);
        rec.emerged(p, e);
    } else {
        rec.totallyReflected(p, w.r);
    }

    // The internal reflection goes on.
    if (S.fresnel == Rays3DFresnel::Entry) {
        // |r| of this exit with the entry's reflection phase less π.
        f.rs = -Modulus(f.rs) * w.entryPhasorS;
        f.rp = -Modulus(f.rp) * w.entryPhasorP;
    }
    const Vec3 dir = w.dir - (2.0 * cosIn) * N;
    w.Q = AcrossInterface(w.Q, 1.0, cosIn, -cosIn, B);
    for (int st = 0; st < S.states; ++st) {
        const double before = Power(w.J, st);
        w.J[st][0] = f.rs * w.J[st][0];
        w.J[st][1] = f.rp * w.J[st][1];
        // An absorbing particle reflects a little less than all at a total reflection: the
        // rest is absorbed at the surface.
        if (!leaves)
            rec.absorbed(st, before - Power(w.J, st));
    }
    // A mirror turns the tube over.
    w.area = -w.area;
    w.dir = dir;
    w.u1 = s;
    w.u2 = Cross(dir, s);
}

template <class Recorder>
void TraceRay(const Setup& S, double u, double v, Recorder& rec)
{
    Vec3 r0;
    if (!EntryPoint(S, u, v, r0))
        return;
    rec.reached(r0);
    Wave w;
    if (!Enter(S, r0, w, rec))
        return;
    rec.entered();
    for (int p = 1; p <= S.MaxP; ++p)
        CrossAndMeet(S, p, w, rec);
    for (int st = 0; st < S.states; ++st)
        rec.left(st, Power(w.J, st));
}

// ---- A single ray, everything kept -------------------------------------------------------

struct PathRecorder {
    RayPath3D& path;

    void reached(const Vec3& r) { path.points.push_back(r); }
    void emerged(int p, const Emergent& e)
    {
        RayOrder3D& o = path.orders[static_cast<std::size_t>(p)];
        o.lit = true;
        o.point = e.point;
        o.direction = e.direction;
        o.dirParallel = e.dirParallel;
        o.dirPerpendicular = e.dirPerpendicular;
        o.dirForward = e.dirForward;
        for (int st = 0; st < 2; ++st) {
            o.ampTheta[st] = e.ampTheta[st];
            o.ampPhi[st] = e.ampPhi[st];
            o.power[st] = e.power[st];
        }
        o.phase = e.phase;
        o.jacobian = e.jacobian;
    }
    void entered() { path.enters = true; }
    void totallyReflected(int p, const Vec3& r) { path.orders[static_cast<std::size_t>(p)].point = r; }
    void absorbed(int st, double power) { path.absorbed[st] += power; }
    void left(int st, double power) { path.inside[st] = power; }
};

// ---- The pupil grid, band by band ---------------------------------------------------------

struct BlockRecorder {
    const Setup& S;
    std::vector<OrderBlock>& blocks;  // orders MinP..MaxP
    std::size_t index = 0;

    void reached(const Vec3&) {}
    void emerged(int p, const Emergent& e)
    {
        if (p < S.MinP)
            return;
        OrderBlock& b = blocks[static_cast<std::size_t>(p - S.MinP)];
        b.lit[index] = 1;
        b.dirParallel[index] = e.dirParallel;
        b.dirPerpendicular[index] = e.dirPerpendicular;
        b.dirForward[index] = e.dirForward;
        for (int st = 0; st < S.states; ++st) {
            b.ampTheta[st][index] = e.ampTheta[st];
            b.ampPhi[st][index] = e.ampPhi[st];
        }
        b.phase[index] = e.phase;
        b.jacobian[index] = e.jacobian;
    }
    void entered() {}
    void totallyReflected(int, const Vec3&) {}
    void absorbed(int, double) {}
    void left(int, double) {}
};

void Clear(OrderBlock& b, std::size_t from, std::size_t to)
{
    std::fill(b.lit.begin() + from, b.lit.begin() + to, 0);
    auto zero = [&](std::vector<double>& v) { std::fill(v.begin() + from, v.begin() + to, 0.0); };
    zero(b.dirParallel);
    zero(b.dirPerpendicular);
    zero(b.dirForward);
    zero(b.phase);
    zero(b.jacobian);
    for (int st = 0; st < b.states; ++st) {
        std::fill(b.ampTheta[st].begin() + from, b.ampTheta[st].begin() + to, Complex{});
        std::fill(b.ampPhi[st].begin() + from, b.ampPhi[st].begin() + to, Complex{});
    }
}

void Size(OrderBlock& b, std::size_t rays)
{
    b.lit.resize(rays);
    b.dirParallel.resize(rays);
    b.dirPerpendicular.resize(rays);
    b.dirForward.resize(rays);
    b.phase.resize(rays);
    b.jacobian.resize(rays);
    for (int st = 0; st < b.states; ++st) {
        b.ampTheta[st].resize(rays);
        b.ampPhi[st].resize(rays);
    }
}

// Rays per band: large enough to share well between two threads, small enough that the
// bands of one batch stay a few tens of MB.
constexpr int kRaysPerBand = 2048;
constexpr int kBandsPerBatch = 16;

// Each ray is traced on its own, in the same steps whichever thread takes it: a band's
// blocks do not depend on the threads.
void TraceBand(const Setup& S, const Pupil& pupil, int n, int firstRow, int rows, std::vector<OrderBlock>& blocks)
{
    for (std::size_t o = 0; o < blocks.size(); ++o) {
        OrderBlock& b = blocks[o];
        b.p = S.MinP + static_cast<int>(o);
        b.n = n;
        b.firstRow = firstRow;
        b.rows = rows;
        b.states = S.states;
        Size(b, static_cast<std::size_t>(rows) * static_cast<std::size_t>(n));
        Clear(b, 0, b.size());
    }
    BlockRecorder rec{S, blocks};
    for (int j = firstRow; j < firstRow + rows; ++j)
        for (int i = 0; i < n; ++i) {
            rec.index = static_cast<std::size_t>(j - firstRow) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i);
            if (!Pupil::inside(n, i, j))
                continue;
            double u = 0.0, v = 0.0;
            pupil.point(n, i, j, u, v);
            TraceRay(S, u, v, rec);
        }
}

} // namespace

Pupil MakePupil(const Rays3DInputs& inputs)
{
    const Setup S = MakeSetup(inputs);
    const FpFaultScope faults;
    const BeamFrame& F = S.frame;
    // A line ρ + w·k̂ meets the ellipsoid where (ρᵀAk̂)² ≥ k̂ᵀAk̂·(ρᵀAρ − 1): the shadow is
    // ρᵀPρ <= 1 with P = A − A·k̂·k̂ᵀ·A/(k̂ᵀAk̂) on (e_∥, e_⊥).
    const Vec3 Ak = TimesA(S, F.forward);
    const Vec3 Apar = TimesA(S, F.parallel);
    const Vec3 Aperp = TimesA(S, F.perpendicular);
    const double kpar = Dot(Ak, F.parallel);
    const double kperp = Dot(Ak, F.perpendicular);
    const double p11 = Dot(Apar, F.parallel) - kpar * kpar / S.forwardAForward;
    const double p12 = Dot(Apar, F.perpendicular) - kpar * kperp / S.forwardAForward;
    const double p22 = Dot(Aperp, F.perpendicular) - kperp * kperp / S.forwardAForward;
    // Its eigenvalues; axis 1 the eigenvector nearer e_∥.
    const double half = 0.5 * (p11 - p22);
    const double root = std::sqrt(half * half + p12 * p12);
    const double sign = half >= 0.0 ? 1.0 : -1.0;
    const double lambda1 = 0.5 * (p11 + p22) + sign * root;
    const double lambda2 = (p11 * p22 - p12 * p12) / lambda1;
    Pupil pupil;
    pupil.semiAxis1 = 1.0 / std::sqrt(lambda1);
    pupil.semiAxis2 = 1.0 / std::sqrt(lambda2);
    if (p12 != 0.0) {
        const double eu = half + sign * root;  // λ1 − p22, of the sign of `half`
        const double len = std::sqrt(eu * eu + p12 * p12);
        pupil.axis1U = sign * eu / len;
        pupil.axis1V = sign * p12 / len;
    }
    faults.check();
    return pupil;
}

PupilRun TracePupil(const Rays3DInputs& inputs, int n, Rays3DSink& sink, RunControl& control, int threads)
{
    if (n < 1 || n > kMaxPupilSide)
        throw InputError("The pupil grid needs between 1 and " + std::to_string(kMaxPupilSide) + " rays a side.");
    const Setup S = MakeSetup(inputs);
    PupilRun run;
    run.pupil = MakePupil(inputs);
    run.n = n;
    run.cellArea = run.pupil.cellArea(n);
    run.k = S.k;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            run.raysInside += Pupil::inside(n, i, j) ? 1 : 0;

    const int rowsPerBand = std::max(1, kRaysPerBand / n);
    const int bands = (n + rowsPerBand - 1) / rowsPerBand;
    const std::size_t orders = static_cast<std::size_t>(S.MaxP - S.MinP + 1);
    std::vector<std::vector<OrderBlock>> batch(static_cast<std::size_t>(std::min(bands, kBandsPerBatch)),
                                               std::vector<OrderBlock>(orders));
    const FpFaultScope faults;
    for (int first = 0; first < bands; first += kBandsPerBatch) {
        ThrowIfCancelled(control);
        control.progress(RunStage::Tracing, first * rowsPerBand, n);
        const int count = std::min(kBandsPerBatch, bands - first);
        RunOnTwoThreads(
            static_cast<std::size_t>(count),
            [&](std::size_t b) {
                const int band = first + static_cast<int>(b);
                const int firstRow = band * rowsPerBand;
                TraceBand(S, run.pupil, n, firstRow, std::min(rowsPerBand, n - firstRow), batch[b]);
                CheckFpFaults();
            },
            threads > 1);
        faults.check();
        for (int b = 0; b < count; ++b)
            for (const OrderBlock& block : batch[static_cast<std::size_t>(b)])
                sink.accept(block);
    }
    control.progress(RunStage::Tracing, n, n);
    return run;
}

RayPath3D TraceIncidentPoint(const Rays3DInputs& inputs, double u, double v)
{
    const Setup S = MakeSetup(inputs);
    RayPath3D path;
    path.orders.resize(static_cast<std::size_t>(S.MaxP + 1));
    PathRecorder rec{path};
    const FpFaultScope faults;
    TraceRay(S, u, v, rec);
    faults.check();
    path.hits = !path.points.empty();
    return path;
}

} // namespace orvane
