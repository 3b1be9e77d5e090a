// The scattering diagram of a particle: typed inputs in, data out. Every incident ray is traced
// through every order, the orders are summed coherently on a grid of scattering angles, and on
// request the diffraction, the Airy sum near the primary rainbow and, for a sphere, the exact
// theory are added beside it. Nothing here writes a file or knows a window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/Airy.h"
#include "engine/AssembleOrders.h"
#include "engine/RayTables.h"
#include "engine/TraceRays.h"
#include "geometry/Particle.h"
#include "geometry/Positions.h"

namespace orvane {

class MessageSink;
class RunControl;

struct DiagramInputs {
    ParticleInputs particle;
    int MinP = 0;                 // the orders summed and reported: 0 <= MinP <= MaxP <= 50
    int MaxP = 4;
    int NumIncRays = 200;         // incident rays, 2..5000
    int NumScaRays = 1000;        // points of the scattering-angle grid, 2..1000000
    std::optional<PositionRange> range;  // rays between two heights; none: evenly across the shadow
    bool TotalIntensity = true;   // sum the orders on the grid (the Airy sum and diffraction need it)
    bool Diffraction = false;     // add the diffraction by the shadow to the total
    bool Airy = false;            // the Airy wave sum near the primary rainbow
    bool ExactMie = false;        // for a sphere: the exact (Mie) intensity on the grid
    bool ExactDebye = false;      // for a sphere: the exact Debye term of every order MinP..MaxP on the grid
    bool UniformRainbow = false;  // the uniform (Airy) field of every caustic in the total, instead of its two rays
    bool EntryFresnel = false;    // every exit and internal reflection with the entry's Fresnel coefficient
    bool SharpDiffraction = false;  // the sharp-edge diffraction of earlier versions instead of the smooth edge
};

// The limits of the inputs, each in one place; the window's texts and the Python module both
// go through them. Messages go to the sink and the value is cut to what the run can hold;
// errors are InputError.
// Max p above 50: "The max order p is limited to 50", then 50.
int LimitMaxOrder(int MaxP, MessageSink& sink);
// Min p below 0 counts as 0.
int LimitMinOrder(int MinP);
// More than 5000 incident rays: "Number of rays is limited to 5000", then 5000.
int LimitIncidentRays(int NumIncRays, MessageSink& sink);
// Fewer than 2 or more than 1000000 angles: "The number of scattering angles must be between 2
// and 1000000."
void CheckScatteringAngles(int NumScaRays);
// Fewer than 100 incident rays without the check file: the warning "Ray number should be more
// than 100." (the run goes on).
void WarnFewIncidentRays(int NumIncRays, bool checkFile, MessageSink& sink);
// Min p above Max p: "Min p must not be larger than Max p."
void CheckOrderRange(int MinP, int MaxP);

// The run-start checks of a diagram after its orders and particle: the ray and angle counts and
// the positions (in the range mode every height inside the grazing heights), in the order a run
// meets them. Cuts what must be cut.
void CheckDiagramCounts(DiagramInputs& inputs, bool checkFile, MessageSink& sink);
// Every check and limit of a diagram's inputs, for callers that do not start from the
// window's texts: the orders and their range, the particle, then CheckDiagramCounts.
void CheckDiagramInputs(DiagramInputs& inputs, bool checkFile, MessageSink& sink);

// The incident rays of a diagram traced through every order 0..MaxP, without the later stages.
struct TracedRays {
    RunParams params;
    DiagramNorm norm;
    IncidentPositions positions;
    RayTablesPtr tables;

    int count() const { return static_cast<int>(positions.heights.size()); }
};
TracedRays TraceDiagramRays(const DiagramInputs& inputs, RunControl& control, TraceObserver* observer = nullptr);

struct DiagramResult {
    DiagramInputs inputs;
    TracedRays rays;              // the ray tables: orders 0..MaxP of rays 0..NumIncRays−1
    ScatteringGrid grid;         // the angles, the summed ray amplitude, the diffraction amplitude, the total
    bool totalComputed = false;   // the grid's sums and total were formed (TotalIntensity ticked)
    std::optional<AiryCurve> airy;
    std::vector<double> mie;      // exact intensity at the grid angles; empty when not computed
    std::vector<std::vector<double>> debye;  // [p − MinP]: the exact Debye term p at the grid angles; empty when not computed

    explicit DiagramResult(int NumScaRays) : grid(NumScaRays) {}
    // Order p's rays, ray by ray: angle [rad], intensity and phase [rad].
    OrderRows order(int p) const;
};

// The whole diagram. The inputs must have passed CheckDiagramInputs (orders, counts and
// particle are checked again and refused with InputError, without messages). The observer
// sees every ray interaction. Throws the errors of the run (InputError, MathError,
// Cancelled); messages of the run go to the control.
DiagramResult ComputeDiagram(const DiagramInputs& inputs, RunControl& control, TraceObserver* observer = nullptr);

// Shown when the exact curve is asked for a particle that is not a sphere.
inline constexpr const char* kExactSpheresOnlyMessage = "Exact theory is available for spheres only.";
// Shown when the Airy sum finds no rainbow ray.
inline constexpr const char* kNoRainbowMessage = "No primary rainbow found among the order-2 rays.";

} // namespace orvane
