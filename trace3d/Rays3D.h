// Complex rays in three dimensions through the ellipsoid x²/a² + y²/b² + z²/c² = 1, lit by a
// plane wave from any direction and in any state of polarisation.
//
// Every ray carries its direction, a Jones vector on the basis across it, the 2 × 2
// curvature matrix of its wavefront (trace3d/Wavefront.h), the cross-section of its ray tube,
// its path phase and the focal lines it has crossed. At each interface the direction follows
// the vector Snell law at the local normal, the Jones vector is split into its s and p parts
// and each is multiplied by its Fresnel coefficient, and the curvature matrix passes through
// the interface with the surface's second fundamental form; along a chord the wavefront
// spreads, a focal line adds π/2, and an absorbing particle takes exp(−k·m_i·L) of the
// amplitude. Order p = 0 is the external reflection, p = 1 the ray transmitted straight
// through, p >= 2 the ray that leaves after p − 1 internal reflections.
//
// Frames. The particle frame has x along a, y along b, z along c. The incident direction k̂
// makes the angle IncAngle with +z in the a–c plane (towards +x) and is tilted by Tilt out
// of that plane towards +y:  k̂ = cos(Tilt)·(sin(IncAngle), 0, cos(IncAngle)) + sin(Tilt)·ŷ.
// The beam frame is (e_∥, e_⊥, k̂): e_∥ = (cos IncAngle, 0, −sin IncAngle) lies in the a–c
// plane across k̂, e_⊥ = k̂ × e_∥. A scattering direction is
//   ŝ = sin θ·cos φ·e_∥ + sin θ·sin φ·e_⊥ + cos θ·k̂,
// θ the scattering angle from the incident direction, φ the azimuth from the a–c plane
// (from e_∥ towards e_⊥); its field basis is e_θ = ∂ŝ/∂θ, e_φ = e_⊥·cos φ − e_∥·sin φ
// (at θ = 0 and π, where φ is undefined, φ = 0). With Tilt = 0 the plane of the ellipse is
// φ = 0 (the side towards e_∥) and φ = π, and the plane engine's direction angle is
// IncAngle + θ there and IncAngle − θ at φ = π.
//
// Amplitudes. A ray's amplitude is the 2-vector (A_θ, A_φ) of its far field on (e_θ, e_φ)
// for an incident wave of unit intensity, in the units of the plane engine's intensities:
// |A_θ|² + |A_φ|² = k²·dσ/dΩ, the squared Mie amplitude functions |S|². Its field, in the
// program's convention that a phase falls along the path, is (A_θ·e_θ + A_φ·e_φ)·exp(i·phase),
// the phase measured from the plane through the particle's centre across the incident
// direction to the plane through the centre across ŝ. For a sphere A = −i·conj(S) of
// Mie theory: A_θ = −i·conj(S2)·E_∥ and A_φ = +i·conj(S1)·E_⊥ on the scattering plane's basis.
//
// Lengths in µm, wave numbers in 1/µm, angles in radians.
#pragma once

#include <cstdint>
#include <vector>

#include "numeric/Complex.h"
#include "trace3d/Vec3.h"

namespace orvane {

class RunControl;

// The largest order traced, as in the plane engine.
inline constexpr int kMaxOrder3D = 50;
// The largest pupil grid side.
inline constexpr int kMaxPupilSide = 100000;

// Which Fresnel coefficient serves each exit and internal reflection.
enum class Rays3DFresnel {
    // The coefficient of each interface, from the tangential part of the wave arriving there;
    // a total internal reflection keeps |r| = 1 with its phase.
    Local,
    // The entry point's refracted normal component at every exit, and the entry's reflection
    // phase less π at every internal reflection (1 for a total one): exact for a sphere only,
    // the plane engine's rule for comparison with earlier results.
    Entry,
};

// A state of the incident wave: E = parallel·e_∥ + perpendicular·e_⊥.
struct JonesVector {
    Complex parallel{1.0, 0.0};
    Complex perpendicular{0.0, 0.0};

    // Linear polarisation at ψ [rad] from the a–c plane (from e_∥ towards e_⊥): ψ = 0 is the
    // plane engine's parallel polarisation, ψ = π/2 its perpendicular one.
    static JonesVector Linear(double psi);
};

struct Rays3DInputs {
    double RadiusA = 50.0;       // µm, semi-axis along x
    double RadiusB = 50.0;       // µm, along y
    double RadiusC = 50.0;       // µm, along z
    double Wavelength = 0.6328;  // µm
    double IndexRe = 1.333;      // refractive index, real part
    double IndexIm = 0.0;        // imaginary part, positive for an absorbing particle
    double IncAngle = 0.0;       // rad, in the a–c plane from +z towards +x, within (−π/2, π/2)
    double Tilt = 0.0;           // rad, out of the a–c plane towards +y, within [−π/2, π/2]
    // The incident state, scaled to unit intensity; unused when BothStates.
    JonesVector Jones;
    // Trace the incident states e_∥ and e_⊥ side by side: state 0 and 1 of every amplitude,
    // the columns of the 2 × 2 amplitude matrix. Unpolarised light is their incoherent mean.
    bool BothStates = false;
    int MinP = 0;  // orders handed on: MinP..MaxP (every order up to MaxP is traced)
    int MaxP = 10;
    Rays3DFresnel Fresnel = Rays3DFresnel::Local;
};

// The beam frame of an incident direction (see above).
struct BeamFrame {
    Vec3 forward;        // k̂
    Vec3 parallel;       // e_∥
    Vec3 perpendicular;  // e_⊥ = k̂ × e_∥
};
BeamFrame MakeBeamFrame(double incAngle, double tilt);

// θ in [0, π] and φ in (−π, π] of a unit direction given on the beam frame (φ = 0 along k̂
// and against it). Same bits on every machine.
struct ScatteringAngles {
    double theta = 0.0;  // rad
    double phi = 0.0;    // rad
};
ScatteringAngles AnglesOf(double alongParallel, double alongPerpendicular, double alongForward);

// The particle's shadow on the plane through its centre across k̂, in the coordinates (u, v)
// along (e_∥, e_⊥) [µm]: an ellipse with semi-axes semiAxis1 along (axis1U, axis1V) and
// semiAxis2 along (−axis1V, axis1U). Axis 1 is the one nearer e_∥ (along it when Tilt = 0).
//
// The pupil grid of side n puts an incident ray at the centre of every cell of the n × n
// square grid that spans the ellipse on its axes: ray (i, j) at
//   (u, v) = semiAxis1·ξ_i·axis1 + semiAxis2·η_j·axis2,  ξ_i = (2i + 1 − n)/n,  η_j likewise,
// and those with ξ² + η² < 1 meet the particle. Each stands for the incident power on its
// cell, cellArea(n) = 4·semiAxis1·semiAxis2/n².
struct Pupil {
    double semiAxis1 = 0.0;  // µm
    double semiAxis2 = 0.0;  // µm
    double axis1U = 1.0;
    double axis1V = 0.0;

    double cellArea(int n) const;
    // (u, v) of grid ray (i, j) of side n.
    void point(int n, int i, int j, double& u, double& v) const;
    static bool inside(int n, int i, int j);
};
Pupil MakePupil(const Rays3DInputs& inputs);

// The rays of one order from a band of pupil rows, as traced: ray (i, j) of the band at
// index (j − firstRow)·n + i. A ray that does not leave in this order (it misses the particle,
// does not enter, or is totally reflected there) has lit 0 and zeros everywhere else.
struct OrderBlock {
    int p = 0;
    int n = 0;         // grid side: rays per row
    int firstRow = 0;  // pupil row j of the band's first ray
    int rows = 0;
    int states = 1;    // 1: the Jones vector of the inputs; 2: e_∥ (state 0) and e_⊥ (state 1)

    std::vector<std::uint8_t> lit;
    // The emergent direction on the beam frame: sin θ cos φ, sin θ sin φ, cos θ.
    std::vector<double> dirParallel, dirPerpendicular, dirForward;
    // (A_θ, A_φ) of each state traced; the second pair is empty for one state.
    std::vector<Complex> ampTheta[2], ampPhi[2];
    std::vector<double> phase;  // rad
    // dΩ/dA: the solid angle of the ray's tube per unit area of the incident wave [1/µm²],
    // with the sign of the map from the pupil (u, v) to the directions (θ, φ): negative where
    // the map turns the tube over (a reflection mirrors it, a focal line crossed folds it).
    std::vector<double> jacobian;

    std::size_t size() const { return lit.size(); }
};

// Takes the blocks of a pupil run as they are traced: for each band of rows, orders MinP to
// MaxP in turn, the bands in increasing row order, one call at a time (from either thread of the
// run, never from two at once). A block lives only during the call: keep what is needed.
class Rays3DSink {
public:
    virtual ~Rays3DSink() = default;
    virtual void accept(const OrderBlock& block) = 0;
};

struct PupilRun {
    Pupil pupil;
    int n = 0;
    double cellArea = 0.0;  // µm², the incident area each ray stands for
    double k = 0.0;         // wave number outside [1/µm]
    int raysInside = 0;     // grid rays that meet the particle
};

// Traces the n × n pupil grid, orders 0..MaxP, on `threads` threads (1 or 2), handing every
// block to the sink. laneWidth: how many rays the processor takes at once (2, 4 or 8, one of
// Rays3DLaneWidths()), 0 for the widest within ORVANE_MAX_LANES. The results do not depend
// on the threads or the width. Throws InputError for inputs it cannot trace, Cancelled when
// the control asks, MathError on a floating-point fault.
PupilRun TracePupil(const Rays3DInputs& inputs, int n, Rays3DSink& sink, RunControl& control, int threads = 2,
                    int laneWidth = 0);

// The lane widths this processor can trace with (2 everywhere, 4 with AVX, 8 with AVX-512F).
std::vector<int> Rays3DLaneWidths();

// One order of a single ray.
struct RayOrder3D {
    bool lit = false;
    Vec3 point;  // where it leaves (order 0: the entry point) [µm], also when totally reflected
    Vec3 direction;  // unit, on the particle frame
    double dirParallel = 0.0, dirPerpendicular = 0.0, dirForward = 0.0;
    Complex ampTheta[2], ampPhi[2];
    double phase = 0.0;
    double jacobian = 0.0;
    // The share of the incident power (per state) that leaves in this order: its Fresnel
    // factors and absorption, independent of the tube's spread.
    double power[2] = {0.0, 0.0};
};

// A single incident ray through (u, v) on the pupil plane [µm], along (e_∥, e_⊥).
struct RayPath3D {
    bool hits = false;      // the ray meets the particle
    bool enters = false;    // and is refracted into it
    std::vector<Vec3> points;  // the entry point, then the end of every chord
    std::vector<RayOrder3D> orders;  // 0..MaxP
    // Shares of the incident power (per state) absorbed on the chords up to order MaxP, and
    // still inside after it.
    double absorbed[2] = {0.0, 0.0};
    double inside[2] = {0.0, 0.0};
};
RayPath3D TraceIncidentPoint(const Rays3DInputs& inputs, double u, double v);

// The same for many points at once (the kernel's lanes filled), one path per point.
struct PupilPoint {
    double u = 0.0;  // µm, along e_∥
    double v = 0.0;  // µm, along e_⊥
};
std::vector<RayPath3D> TraceIncidentPoints(const Rays3DInputs& inputs, const std::vector<PupilPoint>& points);

} // namespace orvane
