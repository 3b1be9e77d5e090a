// The packed SLEEF calls behind SinCos and the packed sums of AddPolar, one lane count per
// file: each file is compiled for its instruction set alone (AVX, AVX-512F) and is called
// only where the processor has it. n is a multiple of the lane count. These files include
// no C++ library header, so that no inline function is ever compiled for an instruction set
// the processor may lack.
#pragma once

#include <stddef.h>

namespace orvane::sincos_lanes {

void SinCos4(const double* phase, double* s, double* c, size_t n);  // AVX
void SinCos8(const double* phase, double* s, double* c, size_t n);  // AVX-512F

// re[i] += a[i] * c[i], im[i] += a[i] * s[i].
void AddPolar4(const double* a, const double* c, const double* s, double* re, double* im, size_t n);  // AVX
void AddPolar8(const double* a, const double* c, const double* s, double* re, double* im, size_t n);  // AVX-512F

} // namespace orvane::sincos_lanes
