#include "base/RunControl.h"

namespace orvane {

const char* RunStageName(RunStage stage)
{
    switch (stage) {
    case RunStage::Tracing:
        return "Tracing rays";
    case RunStage::Assembling:
        return "Assembling orders";
    case RunStage::Airy:
        return "Airy sum";
    case RunStage::Diffraction:
        return "Diffraction";
    case RunStage::ExactTheory:
        return "Exact theory";
    case RunStage::Writing:
        return "Writing files";
    }
    return "";
}

} // namespace orvane
