#include "numeric/FpGuard.h"

#include <cfenv>

#include "numeric/Errors.h"

namespace orvane {

void ClearFpFaults() { std::feclearexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW); }

void CheckFpFaults()
{
    const int raised = std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
    if (raised == 0)
        return;
    ClearFpFaults();
    if (raised & FE_DIVBYZERO)
        throw EMathError("Floating point division by zero");
    if (raised & FE_INVALID)
        throw EMathError("Invalid floating point operation");
    throw EMathError("Floating point overflow");
}

} // namespace orvane
