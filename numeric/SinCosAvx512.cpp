// Compiled with -mavx512f only: see SinCosLanes.h.
#include "numeric/SinCosLanes.h"

#include <sleef.h>

namespace orvane::sincos_lanes {

void SinCos8(const double* phase, double* s, double* c, size_t n)
{
    for (size_t i = 0; i < n; i += 8) {
        const Sleef___m512d_2 r = Sleef_cinz_sincosd8_u10avx512fnofma(_mm512_loadu_pd(phase + i));
        _mm512_storeu_pd(s + i, r.x);
        _mm512_storeu_pd(c + i, r.y);
    }
}

void AddPolar8(const double* a, const double* c, const double* s, double* re, double* im, size_t n)
{
    // Products and sums stay apart: this file is compiled without contraction to FMA.
    for (size_t i = 0; i < n; i += 8) {
        const __m512d amplitude = _mm512_loadu_pd(a + i);
        const __m512d addRe = _mm512_mul_pd(amplitude, _mm512_loadu_pd(c + i));
        const __m512d addIm = _mm512_mul_pd(amplitude, _mm512_loadu_pd(s + i));
        _mm512_storeu_pd(re + i, _mm512_add_pd(_mm512_loadu_pd(re + i), addRe));
        _mm512_storeu_pd(im + i, _mm512_add_pd(_mm512_loadu_pd(im + i), addIm));
    }
}

} // namespace orvane::sincos_lanes
