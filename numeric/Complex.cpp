#include "numeric/Complex.h"

#include <cmath>

namespace orvane {

Complex Square(const Complex& z)
{
    return {z.real() * z.real() - z.imag() * z.imag(), (2.0 * z.real()) * z.imag()};
}

Complex PrincipalSqrt(const Complex& z)
{
    // The modulus is doubled before the real part is added or subtracted. The imaginary
    // part is positive in the upper half-plane and on the negative real axis, negative
    // elsewhere: a non-negative real z gives -0, whose sign the later quotients carry
    // into the phase of a negative real Fresnel coefficient (+pi, not -pi).
    const double modulus = Modulus(z);
    const double re = std::sqrt(modulus * 2.0 + 2.0 * z.real()) / 2.0;
    const double root = std::sqrt(modulus * 2.0 - 2.0 * z.real()) / 2.0;
    const bool upper = z.imag() > 0.0 || (z.imag() == 0.0 && z.real() < 0.0);
    return {re, upper ? root : -root};
}

double Modulus(const Complex& z)
{
    // Scale by the larger component so that nothing squares a large number.
    const double a = std::fabs(z.real());
    const double b = std::fabs(z.imag());
    if (a == 0.0)
        return b;
    if (b == 0.0)
        return a;
    if (a > b) {
        const double r = b / a;
        return a * std::sqrt(r * r + 1.0);
    }
    const double r = a / b;
    return b * std::sqrt(r * r + 1.0);
}

Complex SmithQuotient(const Complex& u, const Complex& v)
{
    // Divide through by the larger component of the divisor.
    if (std::fabs(v.real()) >= std::fabs(v.imag())) {
        const double rho = v.imag() / v.real();
        const double delta = v.real() + rho * v.imag();
        return {(u.real() + u.imag() * rho) / delta, (u.imag() - u.real() * rho) / delta};
    }
    const double rho = v.real() / v.imag();
    const double delta = v.imag() + rho * v.real();
    return {(u.real() * rho + u.imag()) / delta, (u.imag() * rho - u.real()) / delta};
}

} // namespace orvane
