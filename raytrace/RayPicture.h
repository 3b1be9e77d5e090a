// The ray-tracing picture: ellipse, axes and the paths of NumRays parallel rays, drawn on
// a canvas and written as "Orvane.eps".
#pragma once

#include "run/Session.h"

namespace orvane {

class Canvas;

// Reads the inputs, draws the picture on the canvas and writes Orvane.eps into the
// session's folder; the file is replaced only by a complete picture. Throws the errors of
// ReadInputs and of the EPS file.
void BtnRaytracingClick(Session& session, Canvas& canvas);

} // namespace orvane
