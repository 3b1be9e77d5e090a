#include "numeric/PortableMath.h"

#include <sleef.h>

namespace orvane {

void PortableSinCos(double x, double& sine, double& cosine)
{
    const Sleef_double_2 r = Sleef_cinz_sincosd1_u10purec(x);
    sine = r.x;
    cosine = r.y;
}

double PortableAtan2(double y, double x) { return Sleef_cinz_atan2d1_u10purec(y, x); }

double PortableExp(double x) { return Sleef_cinz_expd1_u10purec(x); }

} // namespace orvane
