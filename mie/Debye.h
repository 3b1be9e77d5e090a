// The Debye series of a homogeneous sphere: Mie scattering split into the light that
// leaves after p passes through the inside (p = 0 reflected outside, p = 1 transmitted,
// p >= 2 after p - 1 internal reflections), and the diffraction around the sphere.
//
// Each partial wave n is a wave entering from outside, partly reflected (R22) and partly
// transmitted (T21); inside it bounces off the surface from within (R11) and leaves with
// T12 each time it meets the surface. With these Fresnel coefficients of the spherical
// surface (Hovenac and Lock, JOSA A 9, 781 (1992)),
//   a_n (b_n) = ½·[1 - R22 - Σ_{p>=1} T21·T12·R11^(p-1)],
// so term p >= 1 has the coefficient -½·T21·T12·R11^(p-1). The '1' is the diffraction;
// it is taken apart from the reflection with a smooth edge around n + ½ = x, since a
// sharp cut puts spurious edge waves into both at every angle:
//   diffraction  ½·w_n,   term 0  ½·(1 - w_n) - ½·R22,
//   w_n = ½·erfc((n + ½ - x)/σ),  σ = (x/2)^(1/3).
// Diffraction + term 0 + all terms p >= 1 is exactly Mie's a_n (b_n).
//
// A bubble (m_re < 1) reflects totally the rays whose impact parameter exceeds m_re: the
// partial waves n + ½ > m_re·x are evanescent inside. There R22 is the Fresnel coefficient
// with the conjugate phase of total reflection, and the terms p >= 1, each exponentially
// small, add up (R11 close to 1) to the correction that gives the physical phase. The
// "reflection" term is therefore term 0 plus, beyond the critical impact parameter, the
// whole sum of the orders p >= 1, switched on by a smooth step
//   v_n = ½·erfc((m_re·x - n - ½)/σ'),  σ' = (m_re·x/2)^(1/3);
// for m_re >= 1 it is term 0 itself.
//
// Same conventions as MieSphere: time factor exp(-iωt), m = m_re + i·m_im with m_im >= 0
// absorbing (m_re < 1 for a bubble), n_max = x + 4·x^(1/3) + 2 terms, Bohren and
// Huffman's amplitude functions S1 (perpendicular) and S2 (parallel), and |S1|², |S2|²
// on the scale of the ray intensities. Angles in radians, lengths in µm.
#pragma once

#include "numeric/Complex.h"
#include <cstdint>
#include <span>
#include <vector>

#include "mie/Mie.h"

namespace orvane {

class RunControl;

// The highest Debye order the module computes.
inline constexpr int kDebyeMaxOrder = 50;

// Size parameters the module accepts. The lower end is Mie's; the terms stay accurate down
// there, but below x ≈ 1 they are far larger than the Mie coefficients they add up to, and
// only their sum means much. Above the upper end the series (n_max ≈ x terms per angle and
// order) outgrows the time of a diagram run.
inline constexpr double kDebyeMinSizeParameter = 0.01;
inline constexpr double kDebyeMaxSizeParameter = 1.0e5;

// The terms asked of DebyeSphere::S1S2: orders pmin..pmax and, if wanted, the diffraction,
// the remainder (every order above pmax together) and the reflection (see above).
struct DebyeTerms {
    int pmin = 0;
    int pmax = 0;
    bool diffraction = false;
    bool remainder = false;
    bool reflection = false;
};

// Amplitude functions of DebyeTerms at a set of angles.
struct DebyeAmplitudes {
    int pmin = 0;
    std::vector<std::vector<MieAmplitude>> orders;  // orders[p - pmin][angle]
    std::vector<MieAmplitude> diffraction;          // empty unless asked for
    std::vector<MieAmplitude> remainder;            // empty unless asked for
    std::vector<MieAmplitude> reflection;           // empty unless asked for
};

// The partial-wave coefficients of one term: its share of Mie's a_n and b_n.
struct DebyeCoefficients {
    Complex a;
    Complex b;
};

namespace detail {
// A complex number c·2^e, mantissa and exponent apart: the Riccati functions of a large or
// absorbing sphere, and R11^(p-1), leave the range of a double.
struct ScaledComplex {
    Complex c;
    std::int64_t e = 0;
};
} // namespace detail

class DebyeSphere {
public:
    // radius and wavelength in µm. Throws InputError for a radius or wavelength that is
    // not positive, a real part of the index that is not positive, a negative imaginary
    // part, or a size parameter outside [kDebyeMinSizeParameter, kDebyeMaxSizeParameter].
    DebyeSphere(double radius, double wavelength, Complex index);
    // The same from the size parameter x = 2πa/λ directly.
    static DebyeSphere FromSizeParameter(double x, Complex index);

    double SizeParameter() const { return x_; }
    Complex Index() const { return m_; }
    // n_max, the number of terms of every series (the same as MieSphere's).
    int NumTerms() const { return nMax_; }

    // Partial-wave coefficients, 1 <= n <= NumTerms(): of order p (0..kDebyeMaxOrder), of
    // the diffraction, of all orders above p together (the closed form
    // -½·T21·T12·R11^p/(1 - R11), which also holds at the few partial waves of some absorbing
    // spheres where |R11| > 1 and the orders grow without end), and of the reflection.
    // Throws InputError for an n or p out of range.
    DebyeCoefficients Term(int p, int n) const;
    DebyeCoefficients Diffraction(int n) const;
    DebyeCoefficients Remainder(int p, int n) const;
    DebyeCoefficients Reflection(int n) const;

    // S1 and S2 of the terms at every scattering angle of theta (radians, any sign). The
    // coefficients of all orders come from one pass over n, and the angular functions
    // π_n, τ_n are computed once per angle for every order. Throws InputError unless
    // 0 <= pmin <= pmax <= kDebyeMaxOrder. With a control, a cancel ends it (Cancelled).
    DebyeAmplitudes S1S2(std::span<const double> theta, const DebyeTerms& terms,
                         const RunControl* control = nullptr) const;

private:
    DebyeSphere(double x, Complex index, bool);
    void ComputeFresnelCoefficients();
    void CheckTermIndex(int n) const;

    using Scaled = detail::ScaledComplex;

    // Per n (index n - 1) and polarisation k (0: a_n, 1: b_n).
    struct PartialWave {
        double halfEdge = 0.0;                    // ½·w_n, the diffraction coefficient
        double evanescent = 0.0;                  // v_n, the reflection's share of p >= 1
        Complex halfOneMinusR22[2];  // ½·(1 - R22)
        Scaled transfer[2];                       // -½·T21·T12
        Scaled r11[2];                            // R11
        Scaled oneMinusR11[2];                    // 1 - R11
    };
    static Complex ReflectionCoefficient(const PartialWave& w, int k);

    double x_ = 0.0;
    Complex m_;
    int nMax_ = 0;
    std::vector<PartialWave> waves_;
};

// The intensities of orders pmin..pmax at every grid angle θ_e: |S1|² when polar != 0,
// |S2|² when polar == 0, at the scattering angle θ_e - incAngle (radians), one vector per
// order (result[p - pmin][e]), as MieGridIntensity gives the whole of Mie's.
std::vector<std::vector<double>> DebyeGridIntensity(const DebyeSphere& sphere,
                                                    std::span<const double> theta,
                                                    double incAngle, int polar, int pmin,
                                                    int pmax, const RunControl* control = nullptr);

} // namespace orvane
