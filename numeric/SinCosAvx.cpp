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

} // namespace orvane::sincos_lanes
