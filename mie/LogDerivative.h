// The logarithmic derivative of the Riccati-Bessel function ψ_n(z) = z·j_n(z) at one order,
// the start of the downward recurrences of the exact-theory modules.
#pragma once

#include "numeric/Complex.h"

namespace orvane {

// D_n(z) = ψ_n'(z)/ψ_n(z) from Lentz's continued fraction for J_(n-1/2)(z)/J_(n+1/2)(z).
// Throws MathError if the fraction does not converge.
Complex LentzLogDerivative(int n, Complex z);

} // namespace orvane
