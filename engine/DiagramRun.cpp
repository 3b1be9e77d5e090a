#include "engine/DiagramRun.h"

#include "numeric/Errors.h"

namespace orvane {
DiagramResult BtnCalcDiagClick(Session&) { throw OrvaneError("not implemented yet"); }
} // namespace orvane
