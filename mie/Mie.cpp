#include "mie/Mie.h"
#include "mie/CancelPoint.h"
#include "mie/LogDerivative.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/Errors.h"
#include "numeric/Angles.h"
#include "base/Format.h"

namespace orvane {

namespace {


} // namespace

// D_n(z) = ψ_n'(z)/ψ_n(z) for one order n, from Lentz's continued fraction.
//
// D_n(z) = -n/z + J_(n-1/2)(z)/J_(n+1/2)(z), and the Bessel ratio is the continued fraction
//   J_(ν-1)/J_ν = b_0 - 1/(b_1 - 1/(b_2 - ...)),  b_k = 2(ν+k)/z = (2n+2k+1)/z.
// It is evaluated forwards as a product of the ratios of successive numerators (C_k) and
// denominators (D_k) of its convergents (the modified Lentz scheme), a tiny value taking
// the place of a ratio that vanishes.
//
// While (2n+2k+1)/|z| < 2 the convergents oscillate and two of them can agree by chance,
// so convergence is only tested once the terms have passed that turning point.
Complex LentzLogDerivative(int n, Complex z)
{
    constexpr double tiny = 1e-300;
    constexpr double tolerance = 1e-15;
    const Complex invZ = 1.0 / z;
    const double absZ = std::abs(z);

    Complex f = double(2 * n + 1) * invZ;
    if (std::abs(f) < tiny)
        f = tiny;
    Complex c = f;
    Complex d = 0.0;
    for (long k = 1;; ++k) {
        const double order = double(2 * n + 2 * k + 1);
        const Complex b = order * invZ;
        d = b - d;
        if (std::abs(d) < tiny)
            d = tiny;
        c = b - 1.0 / c;
        if (std::abs(c) < tiny)
            c = tiny;
        d = 1.0 / d;
        const Complex delta = c * d;
        f *= delta;
        if (order > 2.0 * absZ && std::abs(delta - 1.0) < tolerance)
            break;
        // Past the turning point the fraction converges within a few hundred terms; this
        // guard only keeps a fault from turning into an endless loop.
        if (double(k) > 2.0 * absZ + 1.0e6)
            throw MathError("Exact theory: the continued fraction does not converge");
    }
    return f - double(n) * invZ;
}

namespace {

void CheckArguments(double x, Complex m)
{
    if (!(m.real() > 0.0) || !std::isfinite(m.real()))
        throw InputError("Exact theory needs a positive real part of the refractive index.");
    if (!(m.imag() >= 0.0) || !std::isfinite(m.imag()))
        throw InputError("Exact theory needs a non-negative imaginary part of the refractive index.");
    if (!(x >= kMieMinSizeParameter && x <= kMieMaxSizeParameter))
        throw InputError("Exact theory needs a size parameter 2*pi*radius/wavelength between "
                          + FloatToStr(kMieMinSizeParameter) + " and "
                          + FloatToStr(kMieMaxSizeParameter) + " (it is " + FloatToStr(x) + ").");
}

} // namespace

MieSphere::MieSphere(double radius, double wavelength, Complex index)
{
    if (!(radius > 0.0) || !std::isfinite(radius))
        throw InputError("Exact theory needs a positive radius.");
    if (!(wavelength > 0.0) || !std::isfinite(wavelength))
        throw InputError("Exact theory needs a positive wavelength.");
    // x = WaveNumber · radius, as the ray model forms it.
    const double waveNumber = kTwoPi / wavelength;
    x_ = waveNumber * radius;
    m_ = index;
    CheckArguments(x_, m_);
    ComputeCoefficients();
}

MieSphere::MieSphere(double x, Complex index, bool) : x_(x), m_(index)
{
    CheckArguments(x_, m_);
    ComputeCoefficients();
}

MieSphere MieSphere::FromSizeParameter(double x, Complex index) { return MieSphere(x, index, true); }

void MieSphere::ComputeCoefficients()
{
    const double x = x_;
    const Complex m = m_;
    const Complex y = m * x;
    nMax_ = int(x + 4.0 * std::cbrt(x) + 2.0);
    const int nMax = nMax_;

    // Logarithmic derivative D_n(mx), n = 1..n_max, downward from Lentz's start value:
    // D_(n-1) = n/y - 1/(D_n + n/y).
    std::vector<Complex> logDeriv(nMax + 1);
    logDeriv[nMax] = LentzLogDerivative(nMax, y);
    for (int n = nMax; n >= 2; --n) {
        const Complex nOverY = double(n) / y;
        logDeriv[n - 1] = nOverY - 1.0 / (logDeriv[n] + nOverY);
    }

    a_.resize(nMax);
    b_.resize(nMax);
    wAr_.resize(nMax);
    wAi_.resize(nMax);
    wBr_.resize(nMax);
    wBi_.resize(nMax);
    ratio_.resize(nMax);

    // Riccati-Bessel functions upward: ψ_(n) = (2n-1)/x·ψ_(n-1) - ψ_(n-2), the same for χ,
    // from ψ_(-1) = cos x, ψ_0 = sin x, χ_(-1) = -sin x, χ_0 = cos x; ξ_n = ψ_n - i·χ_n.
    const double sinX = std::sin(x);
    const double cosX = std::cos(x);
    double psiPrev = cosX, psi = sinX;
    double chiPrev = -sinX, chi = cosX;

    double sumExt = 0.0, sumSca = 0.0;
    Complex sumBack = 0.0;
    for (int n = 1; n <= nMax; ++n) {
        const double dn = double(n);
        const double twoNPlusOne = 2.0 * dn + 1.0;
        const double psiNext = (2.0 * dn - 1.0) / x * psi - psiPrev;
        const double chiNext = (2.0 * dn - 1.0) / x * chi - chiPrev;
        psiPrev = psi;
        psi = psiNext;
        chiPrev = chi;
        chi = chiNext;
        const Complex xi(psi, -chi);
        const Complex xiPrev(psiPrev, -chiPrev);

        // a_n = ((D_n/m + n/x)ψ_n - ψ_(n-1)) / ((D_n/m + n/x)ξ_n - ξ_(n-1)),
        // b_n = ((m·D_n + n/x)ψ_n - ψ_(n-1)) / ((m·D_n + n/x)ξ_n - ξ_(n-1)).
        const double nOverX = dn / x;
        const Complex ta = logDeriv[n] / m + nOverX;
        const Complex tb = m * logDeriv[n] + nOverX;
        const Complex an = (ta * psi - psiPrev) / (ta * xi - xiPrev);
        const Complex bn = (tb * psi - psiPrev) / (tb * xi - xiPrev);
        a_[n - 1] = an;
        b_[n - 1] = bn;

        sumExt += twoNPlusOne * (an.real() + bn.real());
        sumSca += twoNPlusOne * (std::norm(an) + std::norm(bn));
        const double sign = (n % 2 == 0) ? 1.0 : -1.0;
        sumBack += (twoNPlusOne * sign) * (an - bn);

        const double weight = twoNPlusOne / (dn * (dn + 1.0));
        wAr_[n - 1] = weight * an.real();
        wAi_[n - 1] = weight * an.imag();
        wBr_[n - 1] = weight * bn.real();
        wBi_[n - 1] = weight * bn.imag();
        ratio_[n - 1] = (dn + 1.0) / dn;
    }

    const double x2 = x * x;
    qExt_ = 2.0 / x2 * sumExt;
    qSca_ = 2.0 / x2 * sumSca;
    qBack_ = std::norm(sumBack) / x2;
}

// S1 = Σ (2n+1)/(n(n+1))·(a_n π_n + b_n τ_n),  S2 = Σ (2n+1)/(n(n+1))·(a_n τ_n + b_n π_n),
// with π_1 = 1, π_0 = 0 and, for s = μ·π_n, t = s - π_(n-1):
//   τ_n = n·t - π_(n-1),   π_(n+1) = s + (n+1)/n·t.
// K angles at a time: the recurrence of one angle is a chain of dependent multiplications,
// and K independent chains keep the processor busy. Every angle sees the same operations
// in the same order whatever K, so S1S2(θ) and the grid agree to the last bit.
template <int K>
void MieSphere::Sum(const double* mu, MieAmplitude* out) const
{
    double piPrev[K], pi[K], s1r[K], s1i[K], s2r[K], s2i[K];
    for (int j = 0; j < K; ++j) {
        piPrev[j] = 0.0;
        pi[j] = 1.0;
        s1r[j] = s1i[j] = s2r[j] = s2i[j] = 0.0;
    }
    const double* ar = wAr_.data();
    const double* ai = wAi_.data();
    const double* br = wBr_.data();
    const double* bi = wBi_.data();
    const double* ratio = ratio_.data();
    for (int k = 0; k < nMax_; ++k) {
        const double n = double(k + 1);
        for (int j = 0; j < K; ++j) {
            const double s = mu[j] * pi[j];
            const double t = s - piPrev[j];
            const double tau = n * t - piPrev[j];
            s1r[j] += ar[k] * pi[j] + br[k] * tau;
            s1i[j] += ai[k] * pi[j] + bi[k] * tau;
            s2r[j] += ar[k] * tau + br[k] * pi[j];
            s2i[j] += ai[k] * tau + bi[k] * pi[j];
            piPrev[j] = pi[j];
            pi[j] = s + ratio[k] * t;
        }
    }
    for (int j = 0; j < K; ++j)
        out[j] = {Complex(s1r[j], s1i[j]), Complex(s2r[j], s2i[j])};
}

void MieSphere::S1S2(std::span<const double> theta, std::span<MieAmplitude> out, const RunControl* control) const
{
    constexpr int block = 4;
    const std::size_t count = std::min(theta.size(), out.size());
    CancelPoint cancel(control);
    double mu[block];
    std::size_t e = 0;
    for (; e + block <= count; e += block) {
        cancel.add(block * static_cast<std::size_t>(nMax_));
        for (int j = 0; j < block; ++j)
            mu[j] = std::cos(std::fabs(theta[e + j]));
        Sum<block>(mu, &out[e]);
    }
    for (; e < count; ++e)
        out[e] = S1S2(theta[e]);
}

MieAmplitude MieSphere::S1S2(double theta) const
{
    // cos of |θ|: θ and -θ are the same direction of scattering.
    const double mu = std::cos(std::fabs(theta));
    MieAmplitude s;
    Sum<1>(&mu, &s);
    return s;
}

double MieSphere::Intensity(double theta, int polar) const
{
    const MieAmplitude s = S1S2(theta);
    return polar != 0 ? std::norm(s.S1) : std::norm(s.S2);
}

std::vector<double> MieThetaGrid(int numScaRays)
{
    if (numScaRays < 2)
        throw InputError("The scattering-angle grid needs at least 2 points.");
    const double step = kTwoPi / double(numScaRays - 1);
    std::vector<double> theta(numScaRays);
    for (int e = 0; e < numScaRays; ++e)
        theta[e] = double(e) * step - kPi;
    return theta;
}

std::vector<double> MieGridIntensity(const MieSphere& sphere, std::span<const double> theta,
                                     double incAngle, int polar, const RunControl* control)
{
    std::vector<double> scattering(theta.size());
    for (std::size_t e = 0; e < theta.size(); ++e)
        scattering[e] = theta[e] - incAngle;
    std::vector<MieAmplitude> s(theta.size());
    sphere.S1S2(scattering, s, control);
    std::vector<double> intensity(theta.size());
    for (std::size_t e = 0; e < theta.size(); ++e)
        intensity[e] = polar != 0 ? std::norm(s[e].S1) : std::norm(s[e].S2);
    return intensity;
}

} // namespace orvane
