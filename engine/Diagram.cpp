#include "engine/Diagram.h"

#include "engine/Caustics.h"
#include "engine/Diffraction.h"
#include "geometry/Limits.h"
#include "mie/Debye.h"
#include "mie/Mie.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/FpGuard.h"
#include "base/RunControl.h"

namespace orvane {

int LimitMaxOrder(int MaxP, MessageSink& sink)
{
    if (MaxP <= kMaxOrder)
        return MaxP;
    sink.show("The max order p is limited to " + IntToStr(kMaxOrder));
    return kMaxOrder;
}

int LimitMinOrder(int MinP) { return MinP < 0 ? 0 : MinP; }

int LimitIncidentRays(int NumIncRays, MessageSink& sink)
{
    if (NumIncRays <= kMaxRays)
        return NumIncRays;
    sink.show("Number of rays is limited to " + IntToStr(kMaxRays));
    return kMaxRays;
}

void CheckScatteringAngles(int NumScaRays)
{
    if (NumScaRays < 2 || NumScaRays > 1000000)
        throw InputError("The number of scattering angles must be between 2 and 1000000.");
}

void WarnFewIncidentRays(int NumIncRays, bool checkFile, MessageSink& sink)
{
    if (!checkFile && NumIncRays < 100)
        sink.show("Ray number should be more than 100.");
}

void CheckOrderRange(int MinP, int MaxP)
{
    if (MinP > MaxP)
        throw InputError("Min p must not be larger than Max p.");
}

void CheckDiagramCounts(DiagramInputs& in, bool checkFile, MessageSink& sink)
{
    in.NumIncRays = LimitIncidentRays(in.NumIncRays, sink);
    CheckScatteringAngles(in.NumScaRays);
    WarnFewIncidentRays(in.NumIncRays, checkFile, sink);
    // The heights themselves: too few rays, or a height beside the particle.
    DiagramPositions(MakeRunParams(in.particle), in.NumIncRays, in.range);
}

void CheckDiagramInputs(DiagramInputs& in, bool checkFile, MessageSink& sink)
{
    in.MinP = LimitMinOrder(in.MinP);
    in.MaxP = LimitMaxOrder(in.MaxP, sink);
    CheckOrderRange(in.MinP, in.MaxP);
    CheckParticle(in.particle);
    CheckDiagramCounts(in, checkFile, sink);
}

namespace {

// What a run cannot hold, for inputs that bypassed the checks above: refused, no message.
void RequireRunnable(const DiagramInputs& in)
{
    if (in.MinP < 0 || in.MaxP > kMaxOrder)
        throw InputError("The orders must lie between 0 and " + IntToStr(kMaxOrder) + ".");
    CheckOrderRange(in.MinP, in.MaxP);
    if (in.NumIncRays > kMaxRays)
        throw InputError("Number of rays is limited to " + IntToStr(kMaxRays));
    CheckScatteringAngles(in.NumScaRays);
}

bool IsSphere(const ParticleInputs& p) { return p.RadiusA == p.RadiusB && p.RadiusB == p.RadiusC; }

} // namespace

TracedRays TraceDiagramRays(const DiagramInputs& in, RunControl& control, TraceObserver* observer)
{
    RequireRunnable(in);
    ClearFpFaults();
    TracedRays t;
    t.params = MakeRunParams(in.particle);
    t.norm = ComputeDiagramNorm(t.params);
    CheckFpFaults();
    t.positions = DiagramPositions(t.params, in.NumIncRays, in.range);
    t.tables = MakeRayTables(in.NumIncRays, in.MaxP + 1);
    TraceRays(t.params, t.norm, t.positions.heights.data(), t.count(), in.MaxP, *t.tables, observer, control,
              in.EntryFresnel ? FresnelRule::Entry : FresnelRule::Local);
    return t;
}

OrderRows DiagramResult::order(int p) const
{
    const RayTables& T = *rays.tables;
    return {T.RayAngle[p].data(), T.RayIntensity[p].data(), T.RayPhase[p].data()};
}

DiagramResult ComputeDiagram(const DiagramInputs& in, RunControl& control, TraceObserver* observer)
{
    RequireRunnable(in);
    DiagramResult result(in.NumScaRays);
    result.inputs = in;
    result.rays = TraceDiagramRays(in, control, observer);
    const RunParams& P = result.rays.params;
    const RayTables& T = *result.rays.tables;
    const int N = result.rays.count();
    ScatteringGrid& grid = result.grid;

    if (in.TotalIntensity) {
        std::vector<OrderRows> rows;
        for (int p = in.MinP; p <= in.MaxP; ++p)
            rows.push_back(result.order(p));
        const TracedCausticRays causticRays(P, result.rays.norm, result.rays.positions.heights, in.MinP,
                                            in.EntryFresnel ? FresnelRule::Entry : FresnelRule::Local, control);
        AssembleOrders(rows, N, grid, control, 2, in.UniformRainbow, &causticRays);
        CheckFpFaults();
        result.totalComputed = true;

        if (in.Airy) {
            ThrowIfCancelled(control);
            control.progress(RunStage::Airy, 0, 1);
            const int rainbow = in.MaxP >= kAiryOrder
                                    ? FindRainbowRay(T.RayAngle[kAiryOrder].data(), T.RayIntensity[kAiryOrder].data(), N)
                                    : -1;
            if (rainbow < 0)
                control.show(kNoRainbowMessage);
            else
                result.airy = ComputeAiry(P, T, result.rays.positions.heights.data(), rainbow, N,
                                          in.EntryFresnel ? FresnelRule::Entry : FresnelRule::Local);
            CheckFpFaults();
        }

        if (in.Diffraction) {
            control.progress(RunStage::Diffraction, 0, 1);
            ComputeDiffraction(P, result.rays.norm, grid,
                               in.SharpDiffraction ? DiffractionEdge::Sharp : DiffractionEdge::Smooth);
        }
        ComputeTotalIntensity(grid);
        CheckFpFaults();
    }

    // The exact theory of a sphere on the same grid, whether or not the total was computed: the
    // whole (Mie) and the terms of the orders (Debye). A size it cannot handle is told and the
    // diagram goes on without it; for any other particle it is told once.
    if (in.ExactMie || in.ExactDebye) {
        ThrowIfCancelled(control);
        control.progress(RunStage::ExactTheory, 0, 1);
        if (!IsSphere(in.particle)) {
            control.show(kExactSpheresOnlyMessage);
            return result;
        }
        const Complex m(P.IndexRe, P.IndexIm);
        if (in.ExactMie) {
            std::optional<MieSphere> sphere;
            try {
                sphere.emplace(P.RadiusA, P.Wavelength, m);
            } catch (const InputError& e) {
                control.show(e.what());
            }
            if (sphere)
                result.mie = MieGridIntensity(*sphere, grid.ThetaGrid, P.IncAngle, P.Polar, &control);
            CheckFpFaults();
        }
        if (in.ExactDebye) {
            ThrowIfCancelled(control);
            std::optional<DebyeSphere> sphere;
            try {
                sphere.emplace(P.RadiusA, P.Wavelength, m);
            } catch (const InputError& e) {
                control.show(e.what());
            }
            if (sphere)
                result.debye = DebyeGridIntensity(*sphere, grid.ThetaGrid, P.IncAngle, P.Polar, in.MinP, in.MaxP,
                                                  &control);
            CheckFpFaults();
        }
    }
    return result;
}

} // namespace orvane
