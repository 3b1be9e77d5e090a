// Diffraction by the particle's shadow: a real amplitude around the incident direction that
// joins the summed ray amplitude in the total.
//
// The shadow of an ellipsoid is an ellipse; the diagram's plane cuts it along one of its axes,
// the half-width H = ShadowSizeParam/k in the plane, b across it. Fraunhofer diffraction by
// that ellipse, seen in the plane, is the disc's law stretched by b/H:
//     S(δ) = k²·H·b · J1(u)/u,   u = k·H·δ,
// δ the angle from the incident direction. A sharp edge keeps this ringing at every angle; a
// smooth body's edge is a penumbra a few Fock lengths wide, and the partial-wave form of the
// exact diffraction term of a sphere shows it: the coefficient ½·w_n, w_n = ½·erfc((n + ½ −
// x)/σ), σ = (x/2)^(1/3). Summed over n, the erfc step averages the disc's radius over a
// Gaussian of width σ/k, and the ringing of J1 loses exp(−(σδ)²/4) (the Gaussian's Fourier
// transform); the forward lobe, much narrower than 1/σ, keeps its form. For an ellipse the
// penumbra at the two ends of the in-plane axis belongs to the section of the surface in the
// diagram's plane there, the ellipse (a, c) where its tangent runs along the incident light,
// with radius of curvature ρ = (a·c)²/H³ (ρ = R for a sphere): σ = (k·ρ/2)^(1/3).
#pragma once

#include "engine/AssembleOrders.h"
#include "engine/TraceRays.h"
#include "geometry/Particle.h"

namespace orvane {

enum class DiffractionEdge {
    // The smooth edge: J1(u)/u·exp(−(σδ)²/4) with u = k·H·δ, δ the angle from the incident
    // direction the short way round (0..π), at every angle. It joins the ray amplitude as
    // −i·S: the ray amplitudes are −i·conj(S) of Mie's S, and the diffraction's S is real.
    Smooth,
    // The sharp edge of earlier versions: J1(u)/u with u = k·H·|sin δ|, δ the plain difference
    // of the angles, 0 from |δ| = π/2 on, added to the real part of the ray amplitude.
    Sharp,
};

// σ of the smooth edge, (k·ρ/2)^(1/3) with ρ the radius of curvature of the ellipse's section
// where an incident ray grazes it: (ShadowSizeParam/2)^(1/3) for a sphere.
double DiffractionEdgeWidth(const RunParams& P, const DiagramNorm& norm);

// DiffAmp on the whole grid, IntensityNorm times the edge's law (IntensityNorm/2 in the
// incident direction), and how the total takes it (grid.DiffInQuadrature).
void ComputeDiffraction(const RunParams& P, const DiagramNorm& norm, ScatteringGrid& grid,
                        DiffractionEdge edge = DiffractionEdge::Smooth);

} // namespace orvane
