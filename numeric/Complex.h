// Complex arithmetic of the ray model: the refracted wave number and the Fresnel
// coefficients. The program has one complex type, std::complex<double>. The few operations
// whose last bits decide a printed digit or the sign of a phase are written out here, so
// that they do not depend on the library that divides or takes roots of complex numbers,
// and they are accurate at the ends of the double range: the modulus and the quotient
// scale by the larger component instead of squaring both.
#pragma once

#include <complex>

namespace orvane {

using Complex = std::complex<double>;

// z² as (re² − im², (2·re)·im).
Complex Square(const Complex& z);
// The principal square root of z; Re >= 0; a non-negative real z gives Im = −0.
Complex PrincipalSqrt(const Complex& z);
// |z| without squaring the larger component.
double Modulus(const Complex& z);
// u / v by Smith's method.
Complex SmithQuotient(const Complex& u, const Complex& v);

} // namespace orvane
