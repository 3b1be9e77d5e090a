// Taking the window's fields over into the run parameters: the first step of every
// computation, and the two handlers of the window that only read the inputs.
#pragma once

#include "run/Fields.h"
#include "run/OrvaneState.h"

namespace orvane {

class MessageSink;

// Converts the fields in order, shows the limit messages, checks the sizes and the
// incident angle, computes the derived parameters, fills OrderColor and generates the
// picture's ray positions with their grid texts. Throws EConvertError (the fields
// converted before the failing one are stored), EInputError or EMathError.
// The values used stay inside the fixed tables: MaxP above 50 is stored as 50 and
// NumRays above 5000 as 5000 (each after its message), MinP below 0 as 0; the field
// texts keep what was typed. The derived parameters are renewed only when the radii,
// the wavelength and the real part of the index are positive and the incident angle lies
// strictly between -90 and 90 degrees; a floating-point fault leaves them as they were.
void ReadInputs(TOrvaneState& state, Fields& fields, MessageSink& sink);

// Change of the ray-count or polarisation combo box: ReadInputs, then clear the grid rows
// beyond the last ray up to the last visible row.
void CbxNumRayChange(TOrvaneState& state, Fields& fields, MessageSink& sink);

// Click in or departure from the position grid: ReadInputs, then clamp and rewrite each
// position row with FloatToStr.
void StrGrdPositClick(TOrvaneState& state, Fields& fields, MessageSink& sink);

} // namespace orvane
