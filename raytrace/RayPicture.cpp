#include "raytrace/RayPicture.h"

#include "numeric/Errors.h"

namespace orvane {
void BtnRaytracingClick(Session&, Canvas&) { throw OrvaneError("not implemented yet"); }
} // namespace orvane
