// Complex arithmetic of the ray model: the refracted wave number and the Fresnel
// coefficients. Written for accuracy at the ends of the double range: the modulus and
// the quotient scale by the larger component instead of squaring both.
#pragma once

namespace orvane {

struct TComplex {
    double Re = 0.0;
    double Im = 0.0;
};

// w := z².
void CSqr(const TComplex& z, TComplex& w);
// w := principal square root of z; Re w >= 0; a non-negative real z gives Im w = -0.
void CSqrt(const TComplex& z, TComplex& w);
// |z| without squaring the larger component.
double CAbs(const TComplex& z);
// w := u - v.
void CSub(const TComplex& u, const TComplex& v, TComplex& w);
// w := u / v by Smith's method.
void CDiv(const TComplex& u, const TComplex& v, TComplex& w);

} // namespace orvane
