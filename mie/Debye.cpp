#include "mie/Debye.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "mie/CancelPoint.h"
#include "mie/LogDerivative.h"
#include "base/Errors.h"
#include "numeric/Angles.h"
#include "base/Format.h"

namespace orvane {

namespace {

using Complex = Complex;
using Scaled = detail::ScaledComplex;

// ---- Numbers c·2^e ----------------------------------------------------------------------

// The mantissas are kept between 2^-500 and 2^500 in size (or zero): products and quotients of
// two of them, and the sums below, can then neither overflow nor lose digits to underflow.
// Only a mantissa that leaves that band is brought back, to [0.5, 1), by an exact power of two.
Scaled Normalised(Complex c, std::int64_t e)
{
    const double big = std::max(std::fabs(c.real()), std::fabs(c.imag()));
    if ((big >= 0x1p-500 && big <= 0x1p500) || big == 0.0 || !std::isfinite(big))
        return {c, big == 0.0 ? 0 : e};
    int k = 0;
    std::frexp(big, &k);
    return {Complex(std::ldexp(c.real(), -k), std::ldexp(c.imag(), -k)), e + k};
}

Scaled operator*(const Scaled& a, const Scaled& b) { return Normalised(a.c * b.c, a.e + b.e); }
Scaled operator/(const Scaled& a, const Scaled& b) { return Normalised(a.c / b.c, a.e - b.e); }
Scaled operator*(const Scaled& a, Complex b) { return Normalised(a.c * b, a.e); }

// c·2^shift for shift <= 0, zero once it is far below the smallest double.
Complex Shifted(Complex c, std::int64_t shift)
{
    if (shift == 0)
        return c;
    if (shift < -2200)
        return 0.0;
    const int s = int(shift);
    return Complex(std::ldexp(c.real(), s), std::ldexp(c.imag(), s));
}

Scaled operator+(const Scaled& a, const Scaled& b)
{
    if (a.c == 0.0)
        return b;
    if (b.c == 0.0)
        return a;
    if (a.e >= b.e)
        return Normalised(a.c + Shifted(b.c, b.e - a.e), a.e);
    return Normalised(Shifted(a.c, a.e - b.e) + b.c, b.e);
}

// The value as a double: zero below the range of doubles; above it the overflow shows as an
// infinity and the floating-point flag the run checks.
Complex ToComplex(const Scaled& a)
{
    if (a.e == 0)
        return a.c;
    if (a.e < -2200)
        return 0.0;
    const int e = int(std::min<std::int64_t>(a.e, 2200));
    return Complex(std::ldexp(a.c.real(), e), std::ldexp(a.c.imag(), e));
}

// e^t = 2^k·e^r with |r| <= ln2/2; ln 2 in two parts so that k·ln2 is exact for |k| < 2^20.
Scaled ExpScaled(double t)
{
    constexpr double ln2Hi = 6.93147180369123816490e-01;
    constexpr double ln2Lo = 1.90821492927058770002e-10;
    const double k = std::round(t / 0.6931471805599453);
    const double r = (t - k * ln2Hi) - k * ln2Lo;
    return Normalised(std::exp(r), std::int64_t(k));
}

// ---- Riccati-Bessel functions ------------------------------------------------------------

// ψ_n(z) = z·j_n(z) and ξ_n(z) = ψ_n(z) - i·χ_n(z) = z·h_n^(1)(z), the outgoing wave, with
// their logarithmic derivatives, n = 0..N, for Im z >= 0.
struct RiccatiTable {
    std::vector<Complex> d0;  // ψ_n'/ψ_n
    std::vector<Complex> d1;  // ξ_n'/ξ_n
    std::vector<Scaled> psi;
    std::vector<Scaled> xi;
};

// sin z with Im z >= 0, whose size grows as e^(Im z).
Scaled SinScaled(Complex z)
{
    const double a = z.real();
    const double b = z.imag();
    if (b < 20.0)
        return Normalised(Complex(std::sin(a) * std::cosh(b), std::cos(a) * std::sinh(b)), 0);
    // sin z = e^b/2·(sin a·(1 + e^(-2b)) + i·cos a·(1 - e^(-2b))).
    const double q = std::exp(-2.0 * b);
    return ExpScaled(b) * Complex(0.5 * std::sin(a) * (1.0 + q), 0.5 * std::cos(a) * (1.0 - q));
}

// Each function is computed in the direction in which it dominates the other solution of
// the recurrence, so that rounding errors die out:
//  - D0_n = ψ_n'/ψ_n downward from Lentz's value at N: D0_(n-1) = n/z - 1/(D0_n + n/z);
//    ψ_n upward from ψ_0 = sin z by the ratios ψ_n/ψ_(n-1) = 1/(D0_n + n/z), which are
//    accurate where ψ_n itself is small (for n > |z| it falls off steeply);
//  - D1_n = ξ_n'/ξ_n upward from D1_0 = i (ξ_0 = -i·e^(iz)): ξ_n/ξ_(n-1) = n/z - D1_(n-1),
//    D1_n = 1/(n/z - D1_(n-1)) - n/z. With Im z >= 0, |ξ_n| grows with n faster than the
//    incoming ξ2_n = z·h_n^(2) (and for n > |z| grows like χ_n).
RiccatiTable Riccati(Complex z, int N)
{
    RiccatiTable t;
    t.d0.resize(N + 1);
    t.d1.resize(N + 1);
    t.psi.resize(N + 1);
    t.xi.resize(N + 1);

    // n/z by division each time: a rounded 1/z would push every step the same way, and the
    // functions of a large sphere would drift from those of sin z and e^(iz) they start from.
    t.d0[N] = LentzLogDerivative(N, z);
    for (int n = N; n >= 1; --n) {
        const Complex nOverZ = double(n) / z;
        t.d0[n - 1] = nOverZ - 1.0 / (t.d0[n] + nOverZ);
    }
    t.psi[0] = SinScaled(z);
    for (int n = 1; n <= N; ++n) {
        const Complex nOverZ = double(n) / z;
        t.psi[n] = Normalised(t.psi[n - 1].c / (t.d0[n] + nOverZ), t.psi[n - 1].e);
    }

    t.d1[0] = Complex(0.0, 1.0);
    t.xi[0] = ExpScaled(-z.imag()) * Complex(std::sin(z.real()), -std::cos(z.real()));
    for (int n = 1; n <= N; ++n) {
        const Complex nOverZ = double(n) / z;
        const Complex ratio = nOverZ - t.d1[n - 1];
        t.xi[n] = t.xi[n - 1] * ratio;
        t.d1[n] = 1.0 / ratio - nOverZ;
    }
    return t;
}

void CheckArguments(double x, Complex m)
{
    if (!(m.real() > 0.0) || !std::isfinite(m.real()))
        throw InputError("Debye terms need a positive real part of the refractive index.");
    if (!(m.imag() >= 0.0) || !std::isfinite(m.imag()))
        throw InputError("Debye terms need a non-negative imaginary part of the refractive index.");
    if (!(x >= kDebyeMinSizeParameter && x <= kDebyeMaxSizeParameter))
        throw InputError("Debye terms need a size parameter 2*pi*radius/wavelength between "
                          + FloatToStr(kDebyeMinSizeParameter) + " and "
                          + FloatToStr(kDebyeMaxSizeParameter) + " (it is " + FloatToStr(x) + ").");
}

void CheckOrders(int pmin, int pmax)
{
    if (!(0 <= pmin && pmin <= pmax && pmax <= kDebyeMaxOrder))
        throw InputError("Debye terms are available for orders 0 to "
                          + std::to_string(kDebyeMaxOrder) + " (asked for " + std::to_string(pmin)
                          + " to " + std::to_string(pmax) + ").");
}

} // namespace

// ---- The sphere ------------------------------------------------------------------------------

DebyeSphere::DebyeSphere(double radius, double wavelength, Complex index)
{
    if (!(radius > 0.0) || !std::isfinite(radius))
        throw InputError("Debye terms need a positive radius.");
    if (!(wavelength > 0.0) || !std::isfinite(wavelength))
        throw InputError("Debye terms need a positive wavelength.");
    // x = WaveNumber · radius, as MieSphere forms it.
    const double waveNumber = kTwoPi / wavelength;
    x_ = waveNumber * radius;
    m_ = index;
    CheckArguments(x_, m_);
    ComputeFresnelCoefficients();
}

DebyeSphere::DebyeSphere(double x, Complex index, bool) : x_(x), m_(index)
{
    CheckArguments(x_, m_);
    ComputeFresnelCoefficients();
}

DebyeSphere DebyeSphere::FromSizeParameter(double x, Complex index) { return DebyeSphere(x, index, true); }

// Partial wave n outside (argument x) is f = ξ2(x) + R22·ξ(x) for a wave coming in, and
// f = T12·ξ(x) for one going out; inside (y = m·x), g = T21·ξ2(y) and g = ξ(y) + R11·ξ2(y).
// The surface asks f(x) = κ·g(y), f'(x) = g'(y), with κ = m for a_n and κ = 1/m for b_n.
// Solving the two 2x2 systems with the Wronskian ξ·ξ2' - ξ'·ξ2 = -2i, and
// Δ = ξ(x)·ξ2'(y) - κ·ξ'(x)·ξ2(y) = ξ(x)·ξ2(y)·den, den = D2(y) - κ·D1(x):
//   ½(1 - R22) = ψ(x)/ξ(x) · (D2(y) - κ·D0(x)) / den
//   R11        = -ξ(y)/ξ2(y) · (D1(y) - κ·D1(x)) / den
//   1 - R11    = 2·ψ(y)/ξ2(y) · (D0(y) - κ·D1(x)) / den
//   T21·T12    = -4κ / (ξ(x)·ξ2(y)·den)²
// (D0, D1, D2 the logarithmic derivatives of ψ, ξ, ξ2). The differences 1 - R22 and 1 - R11
// come out without cancellation where R22 or R11 is close to 1: past the edge of the sphere,
// and inside a bubble where the wave is evanescent.
//
// Inside, ξ2 = 2ψ - ξ: with ρ = ψ(y)/ξ(y), ξ2(y)/ξ(y) = 2ρ - 1 and
// D2(y) = (2ρ·D0(y) - D1(y)) / (2ρ - 1). No difference there loses digits for Im y >= 0:
// ξ2 is never much smaller than ξ (it is e^(2·Im y) larger where the sphere absorbs), and
// where ψ is much smaller than ξ (n > |y|) the difference is simply -ξ.
void DebyeSphere::ComputeFresnelCoefficients()
{
    const double x = x_;
    const Complex m = m_;
    const Complex y = m * x;
    nMax_ = int(x + 4.0 * std::cbrt(x) + 2.0);
    const int nMax = nMax_;

    const RiccatiTable out = Riccati(Complex(x, 0.0), nMax);
    const RiccatiTable in = Riccati(y, nMax);
    const double sigma = std::cbrt(x / 2.0);
    const double criticalEdge = m.real() * x;
    const double criticalSigma = std::cbrt(criticalEdge / 2.0);
    const Complex kappa[2] = {m, 1.0 / m};
    const Scaled one{Complex(1.0, 0.0), 0};

    waves_.resize(nMax);
    for (int n = 1; n <= nMax; ++n) {
        PartialWave& w = waves_[n - 1];
        w.halfEdge = 0.25 * std::erfc((double(n) + 0.5 - x) / sigma);
        if (m.real() < 1.0)
            w.evanescent = 0.5 * std::erfc((criticalEdge - double(n) - 0.5) / criticalSigma);

        const Complex rhoX = ToComplex(out.psi[n] / out.xi[n]);
        const Scaled rhoY = in.psi[n] / in.xi[n];
        const Scaled xi2OverXiY = rhoY * Complex(2.0, 0.0) + Scaled{Complex(-1.0, 0.0), 0};
        const Scaled xi2Y = in.xi[n] * xi2OverXiY;
        const Complex d2Y = ToComplex((rhoY * (2.0 * in.d0[n]) + Scaled{-in.d1[n], 0}) / xi2OverXiY);
        const Scaled xiOverXi2Y = one / xi2OverXiY;
        const Scaled psiOverXi2Y = rhoY / xi2OverXiY;

        for (int k = 0; k < 2; ++k) {
            const Complex den = d2Y - kappa[k] * out.d1[n];
            const Complex invDen = 1.0 / den;
            w.halfOneMinusR22[k] = rhoX * ((d2Y - kappa[k] * out.d0[n]) * invDen);
            const Scaled base = out.xi[n] * xi2Y * den;
            w.transfer[k] = Scaled{2.0 * kappa[k], 0} / (base * base);
            w.r11[k] = xiOverXi2Y * (-(in.d1[n] - kappa[k] * out.d1[n]) * invDen);
            w.oneMinusR11[k] = psiOverXi2Y * (2.0 * (in.d0[n] - kappa[k] * out.d1[n]) * invDen);
        }
    }
}

// Term 0 plus v_n·Σ_{p>=1} = term 0 + v_n·(-½·T21·T12)/(1 - R11).
Complex DebyeSphere::ReflectionCoefficient(const PartialWave& w, int k)
{
    const Complex term0 = w.halfOneMinusR22[k] - w.halfEdge;
    if (w.evanescent == 0.0)
        return term0;
    return term0 + w.evanescent * ToComplex(w.transfer[k] / w.oneMinusR11[k]);
}

void DebyeSphere::CheckTermIndex(int n) const
{
    if (n < 1 || n > nMax_)
        throw InputError("Debye terms: partial wave " + std::to_string(n) + " outside 1 to "
                          + std::to_string(nMax_) + ".");
}

DebyeCoefficients DebyeSphere::Term(int p, int n) const
{
    CheckOrders(p, p);
    CheckTermIndex(n);
    const PartialWave& w = waves_[n - 1];
    Complex c[2];
    for (int k = 0; k < 2; ++k) {
        if (p == 0) {
            c[k] = w.halfOneMinusR22[k] - w.halfEdge;
        } else {
            Scaled term = w.transfer[k];
            for (int q = 1; q < p; ++q)
                term = term * w.r11[k];
            c[k] = ToComplex(term);
        }
    }
    return {c[0], c[1]};
}

DebyeCoefficients DebyeSphere::Diffraction(int n) const
{
    CheckTermIndex(n);
    const double h = waves_[n - 1].halfEdge;
    return {h, h};
}

DebyeCoefficients DebyeSphere::Reflection(int n) const
{
    CheckTermIndex(n);
    const PartialWave& w = waves_[n - 1];
    Complex c[2];
    for (int k = 0; k < 2; ++k)
        c[k] = ReflectionCoefficient(w, k);
    return {c[0], c[1]};
}

DebyeCoefficients DebyeSphere::Remainder(int p, int n) const
{
    CheckOrders(p, p);
    CheckTermIndex(n);
    const PartialWave& w = waves_[n - 1];
    Complex c[2];
    for (int k = 0; k < 2; ++k) {
        Scaled term = w.transfer[k];
        for (int q = 0; q < p; ++q)
            term = term * w.r11[k];
        c[k] = ToComplex(term / w.oneMinusR11[k]);
    }
    return {c[0], c[1]};
}

// ---- Amplitude functions ----------------------------------------------------------------------

namespace {

// The coefficients of one term enter the sums as
//   S1 + S2 = Σ (2n+1)/(n(n+1))·(a_n + b_n)·(π_n + τ_n),
//   S1 - S2 = Σ (2n+1)/(n(n+1))·(a_n - b_n)·(π_n - τ_n),
// two complex-times-real products per term instead of four. The table holds, per n and
// term, the halves of the two weighted coefficients (real, imaginary, real, imaginary), so
// that S1 = S+ + S- and S2 = S+ - S-.
constexpr int kValuesPerTerm = 4;

// The two sums of `terms` terms at K values of cos θ: sums[(term·4 + part)·K + j].
// π_1 = 1, π_0 = 0 and, for s = μ·π_n, t = s - π_(n-1): τ_n = n·t - π_(n-1),
// π_(n+1) = s + (n+1)/n·t. Every angle sees the same operations in the same order whatever
// K, so the result of an angle does not depend on its neighbours.
template <int K>
void SumTerms(const double* table, int terms, int nMax, const double* ratio, const double* mu,
              double* sums)
{
    std::fill(sums, sums + terms * kValuesPerTerm * K, 0.0);
    double piPrev[K], pi[K], plus[K], minus[K];
    for (int j = 0; j < K; ++j) {
        piPrev[j] = 0.0;
        pi[j] = 1.0;
    }
    for (int k = 0; k < nMax; ++k) {
        const double n = double(k + 1);
        for (int j = 0; j < K; ++j) {
            const double s = mu[j] * pi[j];
            const double t = s - piPrev[j];
            const double tau = n * t - piPrev[j];
            plus[j] = pi[j] + tau;
            minus[j] = pi[j] - tau;
            piPrev[j] = pi[j];
            pi[j] = s + ratio[k] * t;
        }
        const double* c = table + std::size_t(k) * std::size_t(terms) * kValuesPerTerm;
        for (int q = 0; q < terms; ++q, c += kValuesPerTerm) {
            double* acc = sums + q * kValuesPerTerm * K;
            for (int j = 0; j < K; ++j) {
                acc[j] += c[0] * plus[j];
                acc[K + j] += c[1] * plus[j];
                acc[2 * K + j] += c[2] * minus[j];
                acc[3 * K + j] += c[3] * minus[j];
            }
        }
    }
}

// The amplitudes of every term of a table at every angle: out[term][angle].
void SumTable(const std::vector<double>& table, int terms, int nMax, std::span<const double> theta,
              std::span<std::vector<MieAmplitude>* const> out, CancelPoint& cancel)
{
    std::vector<double> ratio(nMax);
    for (int k = 0; k < nMax; ++k)
        ratio[k] = double(k + 2) / double(k + 1);

    constexpr int block = 4;
    std::vector<double> sums(std::size_t(terms) * kValuesPerTerm * block);
    const auto store = [&](std::size_t first, int count, int stride) {
        for (int q = 0; q < terms; ++q) {
            const double* acc = sums.data() + std::size_t(q) * kValuesPerTerm * stride;
            for (int j = 0; j < count; ++j) {
                const Complex plus(acc[j], acc[stride + j]);
                const Complex minus(acc[2 * stride + j], acc[3 * stride + j]);
                (*out[q])[first + j] = {plus + minus, plus - minus};
            }
        }
    };
    double mu[block];
    std::size_t e = 0;
    for (; e + block <= theta.size(); e += block) {
        cancel.add(std::size_t(block) * std::size_t(nMax) * std::size_t(terms));
        for (int j = 0; j < block; ++j)
            mu[j] = std::cos(std::fabs(theta[e + j]));
        SumTerms<block>(table.data(), terms, nMax, ratio.data(), mu, sums.data());
        store(e, block, block);
    }
    for (; e < theta.size(); ++e) {
        mu[0] = std::cos(std::fabs(theta[e]));
        SumTerms<1>(table.data(), terms, nMax, ratio.data(), mu, sums.data());
        store(e, 1, 1);
    }
}

// What a column of the coefficient table holds.
constexpr int kDiffractionColumn = -1;
constexpr int kRemainderColumn = -2;
constexpr int kReflectionColumn = -3;

// Terms summed together: their table (nMax · 8 · 4 doubles) stays small for the largest
// spheres, and their sums stay in the first-level cache.
constexpr int kTermsPerPass = 8;

} // namespace

DebyeAmplitudes DebyeSphere::S1S2(std::span<const double> theta, const DebyeTerms& terms,
                                  const RunControl* control) const
{
    CheckOrders(terms.pmin, terms.pmax);
    DebyeAmplitudes result;
    result.pmin = terms.pmin;
    result.orders.assign(terms.pmax - terms.pmin + 1, std::vector<MieAmplitude>(theta.size()));
    if (terms.diffraction)
        result.diffraction.resize(theta.size());
    if (terms.remainder)
        result.remainder.resize(theta.size());
    if (terms.reflection)
        result.reflection.resize(theta.size());

    std::vector<int> columns;
    std::vector<std::vector<MieAmplitude>*> targets;
    for (int p = terms.pmin; p <= terms.pmax; ++p) {
        columns.push_back(p);
        targets.push_back(&result.orders[p - terms.pmin]);
    }
    if (terms.diffraction) {
        columns.push_back(kDiffractionColumn);
        targets.push_back(&result.diffraction);
    }
    if (terms.remainder) {
        columns.push_back(kRemainderColumn);
        targets.push_back(&result.remainder);
    }
    if (terms.reflection) {
        columns.push_back(kReflectionColumn);
        targets.push_back(&result.reflection);
    }

    // -½·T21·T12·R11^(power-1) per n and polarisation, carried from one pass to the next.
    const int nMax = nMax_;
    std::vector<Scaled> power(2 * std::size_t(nMax));
    for (int n = 1; n <= nMax; ++n)
        for (int k = 0; k < 2; ++k)
            power[2 * (n - 1) + k] = waves_[n - 1].transfer[k];
    int powerOrder = 1;

    CancelPoint cancel(control);
    std::vector<double> table;
    for (std::size_t first = 0; first < columns.size(); first += kTermsPerPass) {
        const int count = int(std::min<std::size_t>(kTermsPerPass, columns.size() - first));
        table.assign(std::size_t(nMax) * count * kValuesPerTerm, 0.0);
        int order = powerOrder;
        for (int n = 1; n <= nMax; ++n) {
            const PartialWave& w = waves_[n - 1];
            Scaled* state = &power[2 * (n - 1)];
            order = powerOrder;
            const double dn = double(n);
            const double halfWeight = 0.5 * (2.0 * dn + 1.0) / (dn * (dn + 1.0));
            double* row = table.data() + std::size_t(n - 1) * count * kValuesPerTerm;
            for (int q = 0; q < count; ++q, row += kValuesPerTerm) {
                const int column = columns[first + q];
                Complex c[2];
                if (column == kDiffractionColumn) {
                    c[0] = c[1] = w.halfEdge;
                } else if (column == kReflectionColumn) {
                    for (int k = 0; k < 2; ++k)
                        c[k] = ReflectionCoefficient(w, k);
                } else if (column == 0) {
                    for (int k = 0; k < 2; ++k)
                        c[k] = w.halfOneMinusR22[k] - w.halfEdge;
                } else {
                    // An order p >= 1, or the remainder Σ_{p > pmax} = -½·T21·T12·R11^pmax/(1 - R11).
                    const int p = column == kRemainderColumn ? terms.pmax + 1 : column;
                    for (; order < p; ++order)
                        for (int k = 0; k < 2; ++k)
                            state[k] = state[k] * w.r11[k];
                    for (int k = 0; k < 2; ++k)
                        c[k] = column == kRemainderColumn ? ToComplex(state[k] / w.oneMinusR11[k])
                                                          : ToComplex(state[k]);
                }
                const Complex plus = halfWeight * (c[0] + c[1]);
                const Complex minus = halfWeight * (c[0] - c[1]);
                row[0] = plus.real();
                row[1] = plus.imag();
                row[2] = minus.real();
                row[3] = minus.imag();
            }
        }
        powerOrder = order;
        SumTable(table, count, nMax, theta, std::span(targets).subspan(first, count), cancel);
    }
    return result;
}

std::vector<std::vector<double>> DebyeGridIntensity(const DebyeSphere& sphere,
                                                    std::span<const double> theta,
                                                    double incAngle, int polar, int pmin, int pmax,
                                                    const RunControl* control)
{
    std::vector<double> scattering(theta.size());
    for (std::size_t e = 0; e < theta.size(); ++e)
        scattering[e] = theta[e] - incAngle;
    const DebyeAmplitudes s = sphere.S1S2(scattering, DebyeTerms{pmin, pmax}, control);
    std::vector<std::vector<double>> intensity(s.orders.size(), std::vector<double>(theta.size()));
    for (std::size_t q = 0; q < s.orders.size(); ++q)
        for (std::size_t e = 0; e < theta.size(); ++e)
            intensity[q][e] = polar != 0 ? std::norm(s.orders[q][e].S1) : std::norm(s.orders[q][e].S2);
    return intensity;
}

} // namespace orvane
