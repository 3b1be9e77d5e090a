// Floating-point faults: the flags a run tests, the finiteness check of what leaves the
// computation, and messages that keep the run's flags whatever showing them computed.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/FpGuard.h"
#include "base/MessageSink.h"

namespace orvane {
namespace {

std::string FaultMessage(const std::function<void()>& work)
{
    try {
        work();
    } catch (const MathError& e) {
        return e.what();
    }
    return "";
}

TEST(FpGuard, ADataLineRefusesWhatIsNotFiniteWithTheMessageOfItsCause)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        int raised;  // flag raised before the line, 0: none
        double value;
        std::string error;
    };
    const Case cases[] = {
        // Whatever the compiler did with the flags, the value itself tells.
        {"NaN, no flag", 0, nan, "Invalid floating point operation"},
        {"infinity, no flag", 0, -inf, "Floating point overflow"},
        // A raised flag says more precisely what happened.
        {"infinity after a division by zero", FE_DIVBYZERO, inf, "Floating point division by zero"},
        {"a finite value", 0, 1.5, ""},
    };
    for (const Case& c : cases) {
        ClearFpFaults();
        if (c.raised != 0)
            std::feraiseexcept(c.raised);
        std::string line;
        EXPECT_EQ(FaultMessage([&] { FormatDataTo(line, "%12.6f %12.6e", {2.0, c.value}); }), c.error) << c.name;
        if (c.error.empty()) {
            EXPECT_EQ(line, Format("%12.6f %12.6e", {2.0, c.value})) << c.name;
        }
    }
    ClearFpFaults();
}

// A sink whose showing does floating point of its own, as a window toolkit's box does.
class NoisySink : public MessageSink {
public:
    volatile double zero = 0.0;
    int shown = 0;

protected:
    void display(const std::string&) override
    {
        volatile double q = zero / zero;  // invalid
        (void)q;
        volatile double r = 1.0 / zero;  // division by zero
        (void)r;
        ++shown;
    }
};

TEST(FpGuard, AMessageLeavesTheRunsFlagsAsTheyWere)
{
    NoisySink sink;
    ClearFpFaults();
    sink.show("Ray number should be more than 100.");
    EXPECT_EQ(sink.shown, 1);
    // The faults a run watches; underflow and inexact, which earlier work may have left, are not.
    EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW), 0);
    EXPECT_NO_THROW(CheckFpFaults());

    // A fault of the run itself before the message is still there after it.
    std::feraiseexcept(FE_OVERFLOW);
    sink.show("again");
    EXPECT_EQ(FaultMessage([] { CheckFpFaults(); }), "Floating point overflow");
}

} // namespace
} // namespace orvane
