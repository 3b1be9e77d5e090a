// Floating-point faults (division by zero, invalid operation, overflow) must end a run
// with a message instead of letting an infinity or a NaN reach a file or the chart.
// The computations run with the IEEE flags: a run clears them at its start and tests
// them at the points where results leave the computation (before a line is written,
// after each ray, after each stage). Underflow and inexact results pass silently.
#pragma once

#include <cfenv>

namespace orvane {

// Clears the division-by-zero, invalid and overflow flags.
void ClearFpFaults();

// Throws MathError with "Floating point division by zero", "Invalid floating point
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

// The flags say what happened only as far as the compiler kept each operation where the
// source puts it; a value that leaves the computation is checked as well, so that no
// infinity or NaN can reach a file or the chart whatever the compiler did. A raised flag
// gives its own message; otherwise a NaN is "Invalid floating point operation" and an
// infinity "Floating point overflow".
void CheckFinite(double value);

// Keeps the IEEE flags of the running computation over code that is not part of it (a
// message box runs the window toolkit's own floating point): the flags are put back as
// they were when the keeper was made.
class FpFlagsKept {
public:
    FpFlagsKept();
    ~FpFlagsKept();
    FpFlagsKept(const FpFlagsKept&) = delete;
    FpFlagsKept& operator=(const FpFlagsKept&) = delete;

private:
    std::fexcept_t saved_;
};

} // namespace orvane
