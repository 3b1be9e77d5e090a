// The start of a diagram run after the inputs are read: the ray and angle counts with their
// limits, and the heights of the incident rays.
#pragma once

#include "run/Session.h"

namespace orvane {

// EInputError "Min p must not be larger than Max p." when the orders used (MinP raised to
// 0, MaxP cut to 50) hold none.
void CheckOrderRange(const TRunParams& P);

// LblEdtNumRays as an integer; above 5000 a message, then 5000.
int ReadIncidentRayCount(const Fields& fields, MessageSink& sink);

// LblEdtNumSca as an integer; EInputError outside 2..1000000.
int ReadScatteringAngleCount(const Fields& fields);

// The heights of rays 0..NumIncRays-1 on the vertical axis into state.RayPos, and the spacing
// (Min/Max mode) or outermost height (default mode) into PosHalfRange. EInputError for fewer
// than two rays and for a Min/Max position outside the grazing heights; conversion errors of Min and Max.
void SetIncidentPositions(TOrvaneState& state, const Fields& fields);

} // namespace orvane
