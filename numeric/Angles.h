// Angle constants. They are written out to the last digit of a double so that every run
// converts angles the same way; fields, files and chart carry degrees, the physics radians.
#pragma once

namespace orvane {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kHalfPi = 1.5707963267948966;
// One degree in radians.
inline constexpr double kDegree = 0.017453292519943295;

inline double ToDegrees(double radians) { return radians / kDegree; }
// Degrees as typed, to the radians of the computations (one rounding, the same everywhere).
inline double ToRadians(double degrees) { return degrees * kDegree; }

} // namespace orvane
