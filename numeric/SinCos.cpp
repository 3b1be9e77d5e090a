#include "numeric/SinCos.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include <sleef.h>

#include "numeric/Lanes.h"
#include "numeric/SinCosLanes.h"

namespace orvane {

namespace {

using Kernel = void (*)(const double* phase, double* s, double* c, std::size_t n);

void SinCos1(const double* phase, double* s, double* c, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const Sleef_double_2 r = Sleef_cinz_sincosd1_u10purec(phase[i]);
        s[i] = r.x;
        c[i] = r.y;
    }
}

#if defined(__x86_64__)
void SinCos2(const double* phase, double* s, double* c, std::size_t n)
{
    for (std::size_t i = 0; i < n; i += 2) {
        const Sleef___m128d_2 r = Sleef_cinz_sincosd2_u10sse2(_mm_loadu_pd(phase + i));
        _mm_storeu_pd(s + i, r.x);
        _mm_storeu_pd(c + i, r.y);
    }
}
#endif

constexpr int kMaxLanes = 8;

// The packed call of a lane count, or null where this processor cannot run it.
Kernel KernelFor(int lanes)
{
    if (!ProcessorRunsLanes(lanes))
        return nullptr;
    switch (lanes) {
    case 1:
        return SinCos1;
#if defined(__x86_64__)
    case 2:
        return SinCos2;
    case 4:
        return sincos_lanes::SinCos4;
    case 8:
        return sincos_lanes::SinCos8;
#endif
    default:
        return nullptr;
    }
}

int ChooseLanes()
{
    int lanes = 1;
    for (int l = 2; l <= std::min(kMaxLanes, LaneCap()); l *= 2)
        if (KernelFor(l))
            lanes = l;
    return lanes;
}

struct Chosen {
    int lanes;
    Kernel kernel;
};

const Chosen& ChosenLanes()
{
    static const Chosen chosen = [] {
        const int lanes = ChooseLanes();
        return Chosen{lanes, KernelFor(lanes)};
    }();
    return chosen;
}

// The fault flags SLEEF raises, set aside while it runs. On x86-64 it computes in the SSE
// registers alone, so its flags are all in MXCSR, which is read and written in a few cycles
// (the fenv functions save and reload the x87 state as well, a hundred cycles a call).
class FlagsAside {
public:
#if defined(__x86_64__)
    static constexpr unsigned kFaults = _MM_EXCEPT_INVALID | _MM_EXCEPT_DIV_ZERO | _MM_EXCEPT_OVERFLOW;
    FlagsAside() : before_(_mm_getcsr()) { _mm_setcsr(before_ & ~kFaults); }
    // Whether a fault flag was raised meanwhile; the flags are as before again.
    bool raisedAndRestore()
    {
        const bool raised = (_mm_getcsr() & kFaults) != 0;
        _mm_setcsr(before_);
        return raised;
    }

private:
    unsigned before_;
#else
    static constexpr int kFaults = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;
    FlagsAside()
    {
        std::fegetexceptflag(&before_, kFaults);
        std::feclearexcept(kFaults);
    }
    bool raisedAndRestore()
    {
        const bool raised = std::fetestexcept(kFaults) != 0;
        std::fesetexceptflag(&before_, kFaults);
        return raised;
    }

private:
    std::fexcept_t before_;
#endif
};

void Run(int lanes, Kernel kernel, const double* phase, double* s, double* c, std::size_t n)
{
    // SLEEF raises the invalid flag where libm raises none (phases beyond about 1e14 on some
    // widths, a NaN on all) as well as for an infinite phase, the one fault of sin and cos:
    // the flags are put back as they were, and where SLEEF raised any, the phases are
    // searched for an infinite one.
    FlagsAside flags;
    const std::size_t whole = n - n % static_cast<std::size_t>(lanes);
    kernel(phase, s, c, whole);
    if (whole < n) {
        // The last few phases go through the same packed call, the spare lanes with 0.
        double x[kMaxLanes] = {};
        double ts[kMaxLanes];
        double tc[kMaxLanes];
        const std::size_t rest = n - whole;
        std::memcpy(x, phase + whole, rest * sizeof(double));
        kernel(x, ts, tc, static_cast<std::size_t>(lanes));
        std::memcpy(s + whole, ts, rest * sizeof(double));
        std::memcpy(c + whole, tc, rest * sizeof(double));
    }
    if (flags.raisedAndRestore() && std::any_of(phase, phase + n, [](double x) { return std::isinf(x); }))
        std::feraiseexcept(FE_INVALID);
}

} // namespace

void SinCos(const double* phase, double* s, double* c, std::size_t n)
{
    const Chosen& chosen = ChosenLanes();
    Run(chosen.lanes, chosen.kernel, phase, s, c, n);
}

void AddPolar(const double* a, const double* c, const double* s, double* re, double* im, std::size_t n)
{
    std::size_t whole = 0;
#if defined(__x86_64__)
    const int lanes = ChosenLanes().lanes;
    if (lanes >= 4) {
        whole = n - n % static_cast<std::size_t>(lanes);
        (lanes == 8 ? sincos_lanes::AddPolar8 : sincos_lanes::AddPolar4)(a, c, s, re, im, whole);
    }
#endif
    for (std::size_t i = whole; i < n; ++i) {
        re[i] += a[i] * c[i];
        im[i] += a[i] * s[i];
    }
}

int SinCosLanes() { return ChosenLanes().lanes; }

std::vector<int> SinCosLaneCounts()
{
    std::vector<int> counts;
    for (int l = 1; l <= kMaxLanes; l *= 2)
        if (KernelFor(l))
            counts.push_back(l);
    return counts;
}

void SinCosWithLanes(int lanes, const double* phase, double* s, double* c, std::size_t n)
{
    const Kernel kernel = KernelFor(lanes);
    if (!kernel)
        throw std::invalid_argument("SinCosWithLanes: " + std::to_string(lanes) + " lanes cannot run here");
    Run(lanes, kernel, phase, s, c, n);
}

} // namespace orvane
