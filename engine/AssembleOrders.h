// The scattering-angle grid of a diagram run and the coherent sum of the orders on it. Each
// order is cut into branches along which its angle moves one way; every branch's amplitude
// and phase are interpolated onto the grid angles it spans and added as complex amplitudes,
// so that orders, and the two sides of a rainbow, interfere.
#pragma once

#include <vector>

#include "base/Pages.h"

namespace orvane {

class CausticRays;
class RunControl;

// One array over the grid angles; a large grid's in 2 MB pages (base/Pages.h).
using GridArray = std::vector<double, LargePageAllocator<double>>;

// Equally spaced angles from −π to π, both ends included, with the arrays the run fills on it.
struct ScatteringGrid {
    explicit ScatteringGrid(int NumScaRays);

    int NumScaRays = 0;
    double ThetaStep = 0;      // [rad]
    GridArray ThetaGrid;       // [rad], measured like the ray angles
    GridArray TotalAmpRe;      // summed ray amplitude
    GridArray TotalAmpIm;
    GridArray DiffAmp;         // diffraction amplitude, real (the S of Mie's convention)
    // How the total takes DiffAmp: as −i·DiffAmp, in the ray model's convention (−i·conj(S)),
    // or, with the sharp-edge diffraction of earlier versions, on the real part.
    bool DiffInQuadrature = false;
    GridArray TotalIntensity;  // |ray amplitude + diffraction|²
};

// One order's rays 0..NumIncRays-1 (a ray that did not emerge has angle and intensity 0).
struct OrderRows {
    const double* angle;      // [rad]
    const double* intensity;
    const double* phase;      // [rad]
};

// Adds the orders, in the order given, to TotalAmpRe and TotalAmpIm. The grid is shared
// out in pieces between up to `threads` threads; every grid angle still receives its
// branches one after the other in the order given, so the result does not depend on the
// threads. The interpolation's range messages reach the control in that order too, from this
// thread, before any sum is formed. Each thread asks the control between pieces whether to
// stop (cancelRequested must be safe to call from any thread); progress is told from this one.
// With uniformRainbow, wherever two branches of an order meet at a turning point, the grid
// angles near it receive the uniform field of that caustic (engine/UniformCaustic.h) in place
// of the two branches; every other grid angle is unchanged. causticRays, when given, traces
// more rays of the orders where the caustic needs them (engine/Caustics.h).
void AssembleOrders(const std::vector<OrderRows>& orders, int NumIncRays, ScatteringGrid& grid, RunControl& control,
                    int threads = 2, bool uniformRainbow = false, const CausticRays* causticRays = nullptr);

// TotalIntensity = TotalAmpRe² + (TotalAmpIm − DiffAmp)² at every grid angle, or
// (TotalAmpRe + DiffAmp)² + TotalAmpIm² when the diffraction is not in quadrature.
void ComputeTotalIntensity(ScatteringGrid& grid);

} // namespace orvane
