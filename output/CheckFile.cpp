#include "output/CheckFile.h"

#include <algorithm>
#include <cmath>

#include "numeric/Angles.h"
#include "base/FpGuard.h"

namespace orvane {

void CheckFileWriter::line(std::string_view fmt, std::initializer_list<FormatArg> args)
{
    CheckFpFaults();
    buffer_.clear();
    FormatTo(buffer_, fmt, args, separator_);
    out_.writeLine(buffer_);
}

void CheckFileWriter::entered(const EntryEvent& e)
{
    if (!first_)
        line(" ", {});
    first_ = false;
    line("Ray n°: %3d ", {e.ray});
    line(" Incident point (x,z): %12.3f %12.3f", {e.point.x, e.point.z});
    // A ray met head-on can give |kn/k| one unit in the last place above 1.
    line(" Incident angle [deg]: %12.5f", {ToDegrees(std::acos(std::min(e.cosI, 1.0)))});
    line(" Phase/ref of ray [rad]: %15.10f", {e.phase});
    line("Order p : %3d ", {0});
    line(" Reflexion angle/z axis [deg.]: %15.10f", {ToDegrees(e.reflectedAngle)});
    line(" Curvature radii of the ellipse : %18.10e %18.10e", {1 / e.kappa1, 1 / e.kappa2});
    line(" Curvature radii incident wave  : %18.10e %18.10e", {1 / e.Ci1, 1 / e.Ci2});
    line(" Curvature radii reflected wave : %18.10e %18.10e", {1 / e.Cr1, 1 / e.Cr2});
    if (e.refracted) {
        line(" Slope of refracted ray : %18.10e", {e.slope});
        line(" Curvature radii refracted wave : %18.10e %18.10e", {1 / e.C1, 1 / e.C2});
    }
    // The quotient as the ray uses it: in the ray's phase convention, the conjugate of exact
    // theory's wherever it is complex.
    line(" Reflection coefficient : %18.10e + %18.10ei", {e.r.real(), e.r.imag()});
}

void CheckFileWriter::interacted(const InteractionEvent& e)
{
    line(" Order p : %3d ", {e.p});
    line(" Incident point (x,z): %12.3f %12.3f", {e.point.x, e.point.z});
    line(" Slope of reflected ray: %12.5f", {e.slope});
    line(" Phase of ray/reference [rad]: %15.10f", {e.phase});
    line(" Curvature radii of ellipsoid  : %18.10e %18.10e", {1 / e.kappa1, 1 / e.kappa2});
    line(" Curvature radii incident wave : %18.10e %18.10e", {e.R1, e.R2});
    if (e.leaves)
        line(" Curvature radii refracted wave : %18.10e %18.10e", {1 / e.E1, 1 / e.E2});
    line(" Reflection coefficient : %18.10e + %18.10ei", {e.r.real(), e.r.imag()});
    line(" Curvature radii reflected wave : %18.10e %18.10e", {1 / e.C1, 1 / e.C2});
}

} // namespace orvane
