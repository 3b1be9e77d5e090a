#include "engine/RunStart.h"

#include <cmath>
#include <string>

#include "numeric/Errors.h"
#include "numeric/Format.h"
#include "numeric/MessageSink.h"

namespace orvane {

void CheckOrderRange(const TRunParams& P)
{
    if (P.MinP > P.MaxP)
        throw EInputError("Min p must not be larger than Max p.");
}

int ReadIncidentRayCount(const Fields& fields, MessageSink& sink)
{
    int count = StrToInt(fields.LblEdtNumRays);
    if (count > kMaxRays) {
        sink.show("Number of rays is limited to " + IntToStr(kMaxRays));
        count = kMaxRays;
    }
    return count;
}

int ReadScatteringAngleCount(const Fields& fields)
{
    const int count = StrToInt(fields.LblEdtNumSca);
    if (count < 2 || count > 1000000)
        throw EInputError("The number of scattering angles must be between 2 and 1000000.");
    return count;
}

void SetIncidentPositions(TOrvaneState& state, const Fields& fields)
{
    TRunParams& P = state.P;
    const int n = P.NumIncRays;
    if (fields.ChkBxMinMax) {
        const double Min = StrToFloat(fields.EdtAxisMin);
        const double Max = StrToFloat(fields.EdtAxisMax);
        if (n < 2)
            throw EInputError("At least 2 incident rays are needed.");
        const double spacing = (Max - Min) / (n - 1);
        const double limit = std::sqrt(P.PosLimit2);
        for (int i = 0; i < n; ++i) {
            const double d = i * spacing + Min;
            // A ray at or beyond the grazing height would miss the particle.
            if (!(std::fabs(d) < limit))
                throw EInputError(Format("Ray positions must lie between -%.5f and %.5f µm.", {limit, limit}));
        }
        P.PosHalfRange = spacing;
        for (int i = 0; i < n; ++i)
            state.RayPos[static_cast<std::size_t>(i)] = i * spacing + Min;
    } else {
        if (n < 2)
            throw EInputError("At least 2 incident rays are needed.");
        P.PosHalfRange = std::sqrt(P.PosLimit2) * 0.99999999999999;
        for (int i = 0; i < n; ++i)
            state.RayPos[static_cast<std::size_t>(i)] = 2 * i * P.PosHalfRange / (n - 1) - P.PosHalfRange;
    }
}

} // namespace orvane
