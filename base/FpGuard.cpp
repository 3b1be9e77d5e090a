#include "base/FpGuard.h"

#include <cfenv>
#include <cmath>

#include "base/Errors.h"

namespace orvane {

namespace {
constexpr int kFaults = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;
}

void ClearFpFaults() { std::feclearexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW); }

void CheckFpFaults()
{
    const int raised = std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
    if (raised == 0)
        return;
    ClearFpFaults();
    if (raised & FE_DIVBYZERO)
        throw MathError("Floating point division by zero");
    if (raised & FE_INVALID)
        throw MathError("Invalid floating point operation");
    throw MathError("Floating point overflow");
}

FpFaultScope::FpFaultScope() : saved_(std::fetestexcept(kFaults)) { std::feclearexcept(kFaults); }

FpFaultScope::~FpFaultScope()
{
    std::feclearexcept(kFaults);
    if (saved_ != 0)
        std::feraiseexcept(saved_);
}

void FpFaultScope::check() const { CheckFpFaults(); }

void CheckFinite(double value)
{
    if (std::isfinite(value))
        return;
    CheckFpFaults();
    throw MathError(std::isnan(value) ? "Invalid floating point operation" : "Floating point overflow");
}

FpFlagsKept::FpFlagsKept() { std::fegetexceptflag(&saved_, FE_ALL_EXCEPT); }

FpFlagsKept::~FpFlagsKept() { std::fesetexceptflag(&saved_, FE_ALL_EXCEPT); }

} // namespace orvane
