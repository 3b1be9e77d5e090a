// The window's texts read into the typed inputs of the computations: each text converted in the
// window's order (a text that is not a number of the kind asked for ends the reading with the
// conversion error that quotes it), the limits and messages applied on the way, and the position
// grid brought up to date, as at the start of every computation.
#pragma once

#include "engine/Diagram.h"
#include "raytrace/Picture.h"
#include "run/Fields.h"

namespace orvane {

class MessageSink;

// The inputs of the ray-tracing picture: radii, index, wavelength, orders ("The max order p is
// limited to 50"), the ray count ("The number of rays must be less than 5000"), incident angle,
// polarisation, the picture's size, then the particle's checks, and the grid's positions.
PictureInputs ReadPictureInputs(Fields& fields, char separator, MessageSink& sink);

// The inputs of a scattering diagram: everything the picture reads (the grid included), then the
// incident-ray and angle counts, the boxes of the diagram page and the exact-theory tick, with
// the run-start checks of CheckDiagramCounts.
DiagramInputs ReadDiagramInputs(Fields& fields, char separator, MessageSink& sink);

// The grid lists the picture's rays: in the default mode the header "Max:%10.5f" with the
// outermost height and a row "%10.5f" per ray; in the Min/Max mode a row per ray in FloatToStr's
// form and the header as it was.
void ShowPicturePositions(const PictureInputs& inputs, Fields& fields, char separator);

// Change of the ray-count or polarisation combo box: the picture's inputs are read (with their
// messages) and the grid rows beyond the last ray, up to the last visible row, are cleared.
void CbxNumRayChange(Fields& fields, char separator, MessageSink& sink);

// Click in or departure from the position grid: the positions are generated afresh, then each
// row is clamped to the outermost height (default mode) or to the range between Min and Max, and
// written back with FloatToStr. The grid only shows the positions: every computation makes its
// own.
void StrGrdPositClick(Fields& fields, char separator, MessageSink& sink);

} // namespace orvane
