// Floating-point faults (division by zero, invalid operation, overflow) must end a run
// with a message instead of letting an infinity or a NaN reach a file or the chart.
// The computations run with the IEEE flags: a run clears them at its start and tests
// them at the points where results leave the computation (before a line is written,
// after each ray, after each stage). Underflow and inexact results pass silently.
#pragma once

namespace orvane {

// Clears the division-by-zero, invalid and overflow flags.
void ClearFpFaults();

// Throws EMathError with "Floating point division by zero", "Invalid floating point
// operation" or "Floating point overflow" when the matching flag is raised.
void CheckFpFaults();

} // namespace orvane
