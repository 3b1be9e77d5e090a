#include "engine/DiagramRun.h"

#include <complex>
#include <memory>
#include <optional>
#include <vector>

#include "engine/Airy.h"
#include "engine/AssembleOrders.h"
#include "engine/CheckFile.h"
#include "engine/DiagramFiles.h"
#include "engine/Diffraction.h"
#include "engine/RayTables.h"
#include "engine/RunStart.h"
#include "engine/TraceRays.h"
#include "mie/Mie.h"
#include "numeric/Errors.h"
#include "numeric/FpGuard.h"
#include "numeric/MessageSink.h"
#include "numeric/StagedFiles.h"
#include "run/ReadInputs.h"

namespace orvane {

DiagramResult BtnCalcDiagClick(Session& session)
{
    TOrvaneState& state = session.state;
    TRunParams& P = state.P;
    Fields& fields = session.fields;
    MessageSink& sink = session.sink;

    // Every file of the run goes to a temporary first; they replace the files of the last run
    // together at the end, or are removed when the run stops on an error.
    StagedFiles files;

    // Run start.
    ClearFpFaults();
    ReadInputs(state, fields, sink);
    CheckOrderRange(P);
    const DiagramNorm norm = ComputeDiagramNorm(P);
    CheckFpFaults();
    P.NumIncRays = ReadIncidentRayCount(fields, sink);
    P.NumScaRays = ReadScatteringAngleCount(fields);
    TScatteringGrid grid(P.NumScaRays);
    if (!fields.ChBxCheck && P.NumIncRays < 100)
        sink.show("Ray number should be more than 100.");
    SetIncidentPositions(state, fields);
    CheckFpFaults();

    const int N = P.NumIncRays;
    const OrderRange orders = UsedOrders(P);
    const RayTablesPtr tables = MakeRayTables();

    // Every ray through every order; the check file records each interaction.
    {
        std::optional<CheckFile> check;
        if (fields.ChBxCheck)
            check.emplace(files, session.file(kCheckFileName));
        TraceRays(P, norm, state.RayPos.data(), *tables, check ? &*check : nullptr);
        if (check)
            check->close();
    }

    std::optional<AiryCurve> airy;
    if (fields.ChBxTotalInt) {
        std::vector<OrderRows> rows;
        for (int p = orders.MinP; p <= orders.MaxP; ++p)
            rows.push_back({tables->RayAngle[p].data(), tables->RayIntensity[p].data(), tables->RayPhase[p].data()});
        AssembleOrders(rows, N, grid, sink);
        CheckFpFaults();

        if (fields.ChBxAiry) {
            P.AiryDivisor = kAiryDivisorValue;
            const int rainbow = orders.MaxP >= kAiryOrder
                                    ? FindRainbowRay(tables->RayAngle[kAiryOrder].data(),
                                                     tables->RayIntensity[kAiryOrder].data(), N)
                                    : -1;
            if (rainbow < 0) {
                sink.show("No primary rainbow found among the order-2 rays.");
            } else {
                airy = ComputeAiry(P, *tables, rainbow);
                WriteAiryFile(files, session.file(kAiryFileName), P, *airy);
            }
        }

        if (fields.ChBxDiff)
            ComputeDiffraction(P, norm, grid);
        WriteDiffractionFile(files, session.file(kDiffractionFileName), grid, fields.ChBxDiff);
        ComputeTotalIntensity(grid);
    }

    WriteOrderFiles(files, session, *tables, N, orders);
    WriteTotalFile(files, session.file(kTotalFileName), grid);

    // The exact curve of a sphere on the same grid, whether or not the total was computed.
    // A size the exact theory cannot handle is told and the diagram goes on without it.
    std::vector<double> exactIntensity;
    std::optional<ExactCurve> exact;
    if (fields.CompareExact) {
        if (P.RadiusA == P.RadiusB && P.RadiusB == P.RadiusC) {
            std::optional<MieSphere> sphere;
            try {
                sphere.emplace(P.RadiusA, P.Wavelength, std::complex<double>(P.IndexRe, P.IndexIm));
            } catch (const EInputError& e) {
                sink.show(e.what());
            }
            if (sphere) {
                exactIntensity = MieGridIntensity(*sphere, grid.ThetaGrid, P.IncAngle, P.Polar);
                WriteMieFile(files, session.file(kMieFileName), grid.ThetaGrid, exactIntensity);
                exact = ExactCurve{grid.ThetaGrid, exactIntensity};
            }
        } else {
            sink.show(kExactSpheresOnlyMessage);
        }
    }

    DiagramResult result = BuildChartSeries(state, *tables, N, orders, fields.ChBxTotalInt ? &grid : nullptr,
                                            airy ? &*airy : nullptr, exact ? &*exact : nullptr);
    files.commit();
    return result;
}

} // namespace orvane
