// Sine and cosine of many phases at once with SLEEF's deterministic functions: the same bits
// whether the phases go one, two, four or eight at a time, so a file comes out the same on
// every x86-64 processor. Within one unit in the last place of the exact values (libm's
// sin and cos may differ from them by that much too).
#pragma once

#include <cstddef>
#include <vector>

namespace orvane {

// s[i] = sin(phase[i]), c[i] = cos(phase[i]) for i = 0..n-1, with the widest lane count the
// processor runs within LaneCap() (numeric/Lanes.h). The floating-point flags end as libm
// leaves them: an infinite phase raises the invalid-operation flag, nothing else raises any.
void SinCos(const double* phase, double* s, double* c, std::size_t n);

// re[i] += a[i]·c[i] and im[i] += a[i]·s[i] for i = 0..n-1 (a complex amplitude a·(c, s)
// added on), with as many lanes as SinCos; each element on its own, so the same bits on
// every width. The arrays may not overlap, except re or im with itself.
void AddPolar(const double* a, const double* c, const double* s, double* re, double* im, std::size_t n);

// The lane count SinCos uses, and every count this processor can run (narrowest first).
int SinCosLanes();
std::vector<int> SinCosLaneCounts();

// SinCos with the given lane count, one of SinCosLaneCounts() (anything else throws
// std::invalid_argument): for comparing the widths.
void SinCosWithLanes(int lanes, const double* phase, double* s, double* c, std::size_t n);

} // namespace orvane
