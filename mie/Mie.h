// Exact scattering by a homogeneous sphere (Lorenz-Mie theory), beside the ray model.
//
// A sphere of radius a in a medium of index 1, lit by a plane wave of wavelength λ, with
// size parameter x = 2πa/λ and complex index m = m_re + i·m_im (m_im >= 0 absorbing).
// The expansion coefficients a_n, b_n are computed once; from them the efficiencies
// Qext, Qsca, Qback and the amplitude functions S1(θ), S2(θ) of any scattering angle θ.
//
// Normalisation: S1, S2 are Bohren and Huffman's dimensionless amplitude functions, and
// |S1|² (light polarised perpendicular to the scattering plane) and |S2|² (parallel) are
// on the scale of the ray intensities: an external reflection gives |r|²·x²/4 and the
// forward peak tends to x²/2 as x grows.
//
// Method (Bohren and Huffman, "Absorption and Scattering of Light by Small Particles",
// ch. 4; W. J. Lentz, Appl. Opt. 15, 668 (1976)):
//   - series length n_max = x + 4·x^(1/3) + 2;
//   - logarithmic derivative D_n(mx) by downward recurrence from n_max, its start value
//     D_(n_max) from Lentz's continued fraction for the ratio J_(n-1/2)/J_(n+1/2);
//   - Riccati-Bessel functions ψ_n(x) and ξ_n(x) = ψ_n(x) - i·χ_n(x) by upward recurrence;
//   - angular functions π_n, τ_n by their recurrences in cos θ.
// Angles are in radians; lengths in µm.
#pragma once

#include <span>
#include <vector>

#include "numeric/Complex.h"

namespace orvane {

class RunControl;

// Size parameters the module accepts. Below the lower end the upward recurrence of ψ_n
// (ψ_1 = sin x/x - cos x, then differences of nearly equal terms) leaves too few digits
// in the higher coefficients (b_2 keeps three at x = 0.01); above the upper end the series
// grows past what a diagram run should hold in memory and time (about 1 s per 1000 angles).
inline constexpr double kMieMinSizeParameter = 0.01;
inline constexpr double kMieMaxSizeParameter = 1.0e6;

struct MieAmplitude {
    Complex S1;  // perpendicular polarisation
    Complex S2;  // parallel polarisation
};

class MieSphere {
public:
    // radius and wavelength in µm. Throws InputError for a radius or wavelength that is
    // not positive, a real part of the index that is not positive, a negative imaginary
    // part, or a size parameter outside [kMieMinSizeParameter, kMieMaxSizeParameter].
    MieSphere(double radius, double wavelength, Complex index);
    // The same from the size parameter x = 2πa/λ directly.
    static MieSphere FromSizeParameter(double x, Complex index);

    double SizeParameter() const { return x_; }
    Complex Index() const { return m_; }
    // n_max, the number of terms of every series.
    int NumTerms() const { return nMax_; }
    // Expansion coefficients, 1 <= n <= NumTerms() (unchecked).
    Complex A(int n) const { return a_[n - 1]; }
    Complex B(int n) const { return b_[n - 1]; }

    double Qext() const { return qExt_; }
    double Qsca() const { return qSca_; }
    // Backscattering efficiency |Σ (2n+1)(-1)^n (a_n - b_n)|² / x² = 4|S1(π)|²/x².
    double Qback() const { return qBack_; }

    // S1 and S2 at the scattering angle theta (radians, any sign: θ and -θ give the same
    // value). Cost O(n_max), no allocation.
    MieAmplitude S1S2(double theta) const;
    // S1 and S2 at every angle of theta into out (the shorter of the two sets the count):
    // the same values as S1S2(θ) one by one, several angles computed together. With a
    // control, a cancel ends it (Cancelled) within a few million terms.
    void S1S2(std::span<const double> theta, std::span<MieAmplitude> out, const RunControl* control = nullptr) const;
    // |S1|² when polar != 0 (perpendicular), |S2|² when polar == 0 (parallel).
    double Intensity(double theta, int polar) const;

private:
    MieSphere(double x, Complex index, bool);
    void ComputeCoefficients();
    // The two sums at K values of cos θ.
    template <int K>
    void Sum(const double* mu, MieAmplitude* out) const;

    double x_ = 0.0;
    Complex m_;
    int nMax_ = 0;
    std::vector<Complex> a_, b_;
    // Per term n (index n-1): (2n+1)/(n(n+1))·a_n and ·b_n, split into parts, and (n+1)/n,
    // the factors of the angular sums.
    std::vector<double> wAr_, wAi_, wBr_, wBi_, ratio_;
    double qExt_ = 0.0, qSca_ = 0.0, qBack_ = 0.0;
};

// The scattering-angle grid of a diagram with numScaRays points: e·2π/(numScaRays-1) - π,
// e = 0..numScaRays-1, radians, computed exactly as the diagram computes its grid.
// Throws InputError when numScaRays < 2.
std::vector<double> MieThetaGrid(int numScaRays);

// The exact intensity at every grid angle θ_e: |S1|² when polar != 0, |S2|² when
// polar == 0, at the scattering angle θ_e - incAngle (radians; the sphere's pattern only
// shifts with the direction of incidence). Cost O(n_max · grid size). With a control, a cancel
// ends it (Cancelled).
std::vector<double> MieGridIntensity(const MieSphere& sphere, std::span<const double> theta,
                                     double incAngle, int polar, const RunControl* control = nullptr);

} // namespace orvane
