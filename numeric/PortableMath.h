// Scalar elementary functions with the same bits on every x86-64 machine: SLEEF's
// deterministic functions, whose results do not depend on the instruction set the processor
// offers (libm takes other code paths with and without FMA, and may differ from them in the
// last place). Within one unit in the last place of the exact values. For the values that
// set a run up or leave it for a file; the wide sine and cosine of many phases are SinCos.
#pragma once

namespace orvane {

void PortableSinCos(double x, double& sine, double& cosine);
double PortableAtan2(double y, double x);
double PortableExp(double x);

} // namespace orvane
