// Compiled with -mavx only: see SinCosLanes.h.
#include "numeric/SinCosLanes.h"

#include <sleef.h>

namespace orvane::sincos_lanes {

void SinCos4(const double* phase, double* s, double* c, size_t n)
{
    for (size_t i = 0; i < n; i += 4) {
        const Sleef___m256d_2 r = Sleef_cinz_sincosd4_u10avx(_mm256_loadu_pd(phase + i));
        _mm256_storeu_pd(s + i, r.x);
        _mm256_storeu_pd(c + i, r.y);
    }
}

void AddPolar4(const double* a, const double* c, const double* s, double* re, double* im, size_t n)
{
    for (size_t i = 0; i < n; i += 4) {
        const __m256d amplitude = _mm256_loadu_pd(a + i);
        const __m256d addRe = _mm256_mul_pd(amplitude, _mm256_loadu_pd(c + i));
        const __m256d addIm = _mm256_mul_pd(amplitude, _mm256_loadu_pd(s + i));
        _mm256_storeu_pd(re + i, _mm256_add_pd(_mm256_loadu_pd(re + i), addRe));
        _mm256_storeu_pd(im + i, _mm256_add_pd(_mm256_loadu_pd(im + i), addIm));
    }
}

} // namespace orvane::sincos_lanes
