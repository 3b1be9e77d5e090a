// Small numerical routines of the diagram engine: piecewise Lagrange interpolation of a
// branch onto the angle grid, Bessel J1 for the diffraction lobe, two sign functions and
// the projection length that fixes the phase reference of a ray.
#pragma once

namespace orvane {

class MessageSink;

// Piecewise Lagrange interpolation (quadratic in the two end intervals, cubic inside) of
// the two tabulated functions yi, zi over the strictly monotonic abscissae xi (n >= 3
// values, increasing or decreasing) at the m >= 2 ascending, equally spaced points x.
// Fills y[0..m-1] and z[0..m-1]; points no interval holds get 0. Points outside the
// range of xi are reported to the sink ("x exceeds the lower limit of xi !" / "x exceeds
// the higher limit of xi !") and the routine goes on. Cost grows with n + m: the interval
// of each point is located, not searched for. With n < 3 or m < 2 every point gets 0.
// `work` must hold at least 3*n doubles (the ascending copies); nothing is allocated.
void LagrangeInterpolate(const double* xi, const double* yi, const double* zi, const double* x,
                         double* y, double* z, int n, int m, double* work, MessageSink& sink);

// LagrangeInterpolate taken apart, so that the points of one call can be filled piece by
// piece, in any order and from several threads. PrepareLagrange does what the call does
// before any point (the ascending copies into `work`, which must outlive the plan, the
// points each end's quadratic takes, the range messages); EvaluateLagrange then fills
// points j0..j1-1 into y[0..j1-j0-1] and z[0..j1-j0-1] with exactly the values the whole
// call gives them, bit for bit.
struct LagrangePlan {
    const double* X = nullptr;  // ascending nodes and the two functions on them
    const double* Y = nullptr;
    const double* Z = nullptr;
    const double* x = nullptr;  // the points
    int n = 0;
    int m = 0;
    int lowerCount = 0;       // points 0..lowerCount-1 take the lower quadratic,
    int upperCount = 0;       // points m-upperCount..m-1 the upper one (it wins where both do)
    bool interpolates = false;  // false: too few nodes or points, every point gets 0
    bool ordered = false;     // nodes non-decreasing: the interval of any point is found by
                              // bisection; otherwise a piece retraces the walk from the start
};

LagrangePlan PrepareLagrange(const double* xi, const double* yi, const double* zi, const double* x, int n, int m,
                             double* work, MessageSink& sink);

void EvaluateLagrange(const LagrangePlan& plan, int j0, int j1, double* y, double* z);

// J1(x), rational approximation below |x| = 8, asymptotic form from there.
double BesselJ1(double x);

// 1.0 for x >= 0 (zero included), -1.0 otherwise.
double FloatSign(double x);

// 1 for positive x, -1 for negative x. x = 0 is an invalid operation (MathError).
int IntSign(double x);

// Length of the projection of the point (x vertical, z horizontal) on the direction at
// angle alpha from +z towards +x: |z cos alpha + x sin alpha|, never negative.
double ProjectionLength(double x, double z, double alpha);

} // namespace orvane
