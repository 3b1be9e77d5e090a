#include "geometry/Positions.h"

#include <cmath>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/FpGuard.h"

namespace orvane {

namespace {

// n heights evenly from −half to +half.
void AcrossTheShadow(double half, int n, std::vector<double>& heights)
{
    for (int i = 0; i < n; ++i)
        heights.push_back(2 * i * half / (n - 1) - half);
}

} // namespace

IncidentPositions DiagramPositions(const RunParams& P, int n, const std::optional<PositionRange>& range)
{
    if (n < 2)
        throw InputError("At least 2 incident rays are needed.");
    const FpFaultScope faults;
    IncidentPositions out;
    out.heights.reserve(static_cast<std::size_t>(n));
    if (range) {
        const double spacing = (range->Max - range->Min) / (n - 1);
        const double limit = std::sqrt(P.PosLimit2);
        for (int i = 0; i < n; ++i) {
            const double d = i * spacing + range->Min;
            // A ray at or beyond the grazing height would miss the particle.
            if (!(std::fabs(d) < limit))
                throw InputError(Format("Ray positions must lie between -%.5f and %.5f µm.", {limit, limit}));
            out.heights.push_back(d);
        }
        out.PosHalfRange = spacing;
    } else {
        out.PosHalfRange = std::sqrt(P.PosLimit2) * kInsideGrazing;
        AcrossTheShadow(out.PosHalfRange, n, out.heights);
    }
    faults.check();
    return out;
}

IncidentPositions PicturePositions(const RunParams& P, int n, const std::optional<PositionRange>& range)
{
    const FpFaultScope faults;
    IncidentPositions out;
    if (n > 0)
        out.heights.reserve(static_cast<std::size_t>(n));
    if (range) {
        if (n == 1) {
            out.heights.push_back(range->Min);
        } else if (n >= 2) {
            out.PosHalfRange = (range->Max - range->Min) / (n - 1);
            for (int i = 0; i < n; ++i)
                out.heights.push_back(i * out.PosHalfRange + range->Min);
        }
    } else {
        out.PosHalfRange = std::sqrt(P.PosLimit2) * kInsideGrazing;
        if (n == 1)
            out.heights.push_back(0.0);
        else if (n >= 2)
            AcrossTheShadow(out.PosHalfRange, n, out.heights);
    }
    faults.check();
    return out;
}

} // namespace orvane
