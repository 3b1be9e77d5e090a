#include "numeric/Complex.h"

#include <cmath>

namespace orvane {

// Every routine reads its operands into locals before writing the result, so a result
// that aliases an operand still gets the right value.

void CSqr(const TComplex& z, TComplex& w)
{
    const double re = z.Re * z.Re - z.Im * z.Im;
    const double im = (2.0 * z.Re) * z.Im;
    w.Re = re;
    w.Im = im;
}

void CSqrt(const TComplex& z, TComplex& w)
{
    // The modulus is doubled before the real part is added or subtracted. The imaginary
    // part is positive in the upper half-plane and on the negative real axis, negative
    // elsewhere: a non-negative real z gives -0, whose sign the later quotients carry
    // into the phase of a negative real Fresnel coefficient (+pi, not -pi).
    const double modulus = CAbs(z);
    const double re = std::sqrt(modulus * 2.0 + 2.0 * z.Re) / 2.0;
    const double root = std::sqrt(modulus * 2.0 - 2.0 * z.Re) / 2.0;
    const bool upper = z.Im > 0.0 || (z.Im == 0.0 && z.Re < 0.0);
    w.Re = re;
    w.Im = upper ? root : -root;
}

double CAbs(const TComplex& z)
{
    // Scale by the larger component so that nothing squares a large number.
    const double a = std::fabs(z.Re);
    const double b = std::fabs(z.Im);
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

void CSub(const TComplex& u, const TComplex& v, TComplex& w)
{
    w.Re = u.Re - v.Re;
    w.Im = u.Im - v.Im;
}

void CDiv(const TComplex& u, const TComplex& v, TComplex& w)
{
    // Smith's method: divide through by the larger component of the divisor.
    double re;
    double im;
    if (std::fabs(v.Re) >= std::fabs(v.Im)) {
        const double rho = v.Im / v.Re;
        const double delta = v.Re + rho * v.Im;
        re = (u.Re + u.Im * rho) / delta;
        im = (u.Im - u.Re * rho) / delta;
    } else {
        const double rho = v.Re / v.Im;
        const double delta = v.Im + rho * v.Re;
        re = (u.Re * rho + u.Im) / delta;
        im = (u.Im * rho - u.Re) / delta;
    }
    w.Re = re;
    w.Im = im;
}

} // namespace orvane
