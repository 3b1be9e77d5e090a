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

// A piece of computation judged on its own: the flags raised before it are set aside at
// construction and put back at destruction, so that check() sees only what the piece raised
// and the caller's own state is left as it was.
class FpFaultScope {
public:
    FpFaultScope();
    ~FpFaultScope();
    FpFaultScope(const FpFaultScope&) = delete;
    FpFaultScope& operator=(const FpFaultScope&) = delete;
    // CheckFpFaults for the piece.
    void check() const;

private:
    int saved_;
};

} // namespace orvane
