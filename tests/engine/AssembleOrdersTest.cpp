// Assembly of an order on the angle grid, on small hand-built orders: branches, their grid
// sections, the rules that close and drop them, and the coherent sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <complex>
#include <vector>

#include "engine/AssembleOrders.h"
#include "numeric/Angles.h"
#include "base/RunControl.h"
#include "numeric/Numerics.h"
#include "numeric/SinCos.h"
#include "tests/engine/TracedRun.h"

namespace orvane {
namespace {

// One order's rays, listed by ray index.
struct Order {
    std::vector<double> angle, intensity, phase;
    void add(double a, double i, double ph)
    {
        angle.push_back(a);
        intensity.push_back(i);
        phase.push_back(ph);
    }
};

struct Assembled {
    ScatteringGrid grid{361};  // one degree apart
    RecordingControl sink;
};

Assembled Assemble(const std::vector<Order>& orders)
{
    Assembled result;
    std::vector<OrderRows> rows;
    for (const Order& o : orders)
        rows.push_back({o.angle.data(), o.intensity.data(), o.phase.data()});
    AssembleOrders(rows, static_cast<int>(orders.front().angle.size()), result.grid, result.sink);
    return result;
}

std::complex<double> At(const Assembled& a, int e) { return {a.grid.TotalAmpRe[e], a.grid.TotalAmpIm[e]}; }

// The grid index of the first grid angle above theta.
int FirstAbove(const ScatteringGrid& grid, double theta) { return static_cast<int>((kPi + theta) / grid.ThetaStep) + 1; }

TEST(ScatteringGrid, RunsFromMinusPiToPi)
{
    const ScatteringGrid grid(1001);
    EXPECT_DOUBLE_EQ(grid.ThetaStep, kTwoPi / 1000);
    EXPECT_EQ(grid.ThetaGrid.front(), -kPi);
    EXPECT_NEAR(grid.ThetaGrid[500], 0.0, 1e-15);
    EXPECT_NEAR(grid.ThetaGrid.back(), kPi, 1e-15);
}

TEST(AssembleOrders, MonotonicOrderFillsEveryGridAngleWithinItsRange)
{
    // Amplitude and phase linear in the angle: the interpolation reproduces them exactly. The
    // branch reaches every grid angle above its first angle and at or below its last, and no
    // other. The offsets put the two ends at different places between grid angles: with the
    // second, a count of whole spacings from the first grid angle would leave out the last one.
    struct Case {
        double offset;
        int reached;
    };
    for (const Case c : {Case{0.003, 57}, Case{0.008, 58}}) {
        SCOPED_TRACE(c.offset);
        Order o;
        for (int i = 0; i <= 10; ++i) {
            const double theta = -0.5 + 0.1 * i + c.offset;
            o.add(theta, (2 + theta) * (2 + theta), 3 * theta);
        }
        const Assembled a = Assemble({o});
        int reached = 0;
        for (int e = 0; e < a.grid.NumScaRays; ++e) {
            const double t = a.grid.ThetaGrid[e];
            if (t <= o.angle.front() || t > o.angle.back()) {
                EXPECT_EQ(At(a, e), 0.0) << "grid angle " << e;
                continue;
            }
            ++reached;
            EXPECT_NEAR(std::abs(At(a, e)), 2 + t, 1e-12) << e;
            EXPECT_NEAR(std::arg(At(a, e)), 3 * t, 1e-12) << e;
        }
        EXPECT_EQ(reached, c.reached);
        EXPECT_TRUE(a.sink.messages.empty());
    }
}

TEST(AssembleOrders, MirroredBranchesReachMirroredGridAngles)
{
    // A branch and its mirror image (angles negated, rays in the opposite order) give mirrored
    // sums at every grid angle, wherever their ends fall between grid angles.
    for (const double offset : {0.003, 0.008, 0.0123}) {
        SCOPED_TRACE(offset);
        Order o, mirrored;
        for (int i = 0; i <= 10; ++i)
            o.add(0.2 + 0.1 * i + offset, 1 + 0.1 * i, 0.5 * i);
        for (int i = 10; i >= 0; --i)
            mirrored.add(-o.angle[i], o.intensity[i], o.phase[i]);
        const Assembled a = Assemble({o});
        const Assembled b = Assemble({mirrored});
        const int N = a.grid.NumScaRays;
        int reached = 0;
        for (int e = 0; e < N; ++e) {
            EXPECT_NEAR(std::abs(At(a, e) - At(b, N - 1 - e)), 0.0, 1e-12) << "grid angle " << e;
            reached += At(a, e) != 0.0;
        }
        EXPECT_GT(reached, 50);
    }
}

TEST(AssembleOrders, DecreasingBranchGivesTheSameAsItsReverse)
{
    Order up, down;
    for (int i = 0; i <= 12; ++i)
        up.add(0.2 + 0.07 * i + 0.01 * i * i, 1 + std::sin(i), 5 * i);
    for (int i = 12; i >= 0; --i)
        down.add(up.angle[i], up.intensity[i], up.phase[i]);
    const Assembled a = Assemble({up});
    const Assembled b = Assemble({down});
    EXPECT_EQ(a.grid.TotalAmpRe, b.grid.TotalAmpRe);
    EXPECT_EQ(a.grid.TotalAmpIm, b.grid.TotalAmpIm);
    EXPECT_NE(std::abs(At(a, FirstAbove(a.grid, 0.5))), 0.0);
}

TEST(AssembleOrders, BothSidesOfATurningPointAddAsAmplitudes)
{
    // The angle rises to 0.8 at ray 8 and comes back: between 0.3 and 0.8 two branches
    // overlap, each of amplitude 1 and phase 0, and sum to amplitude 2 (intensity 4, not 2).
    Order o;
    for (int i = 0; i <= 8; ++i)
        o.add(0.0 + 0.1 * i + 0.001, 1, 0);
    for (int i = 9; i <= 14; ++i)
        o.add(0.801 - 0.1 * (i - 8), 1, 0);
    const Assembled a = Assemble({o});
    for (int e = 0; e < a.grid.NumScaRays; ++e) {
        const double t = a.grid.ThetaGrid[e];
        if (t > 0.21 && t < 0.79) {
            EXPECT_NEAR(At(a, e).real(), 2.0, 1e-12) << e;
        } else if (t > 0.02 && t < 0.19) {
            EXPECT_NEAR(At(a, e).real(), 1.0, 1e-12) << e;
        }
    }
}

TEST(AssembleOrders, RayThatDidNotEmergeSeparatesBranches)
{
    // Ray 5 did not emerge (angle and intensity 0): the branches beside it contribute up to
    // their last emergent rays, nothing lies between rays 4 and 6.
    Order o;
    for (int i = 0; i <= 10; ++i)
        o.add(i == 5 ? 0.0 : -1.0 + 0.1 * i + 0.004, i == 5 ? 0.0 : 1.0, 0);
    const Assembled a = Assemble({o});
    for (int e = 0; e < a.grid.NumScaRays; ++e) {
        const double t = a.grid.ThetaGrid[e];
        if (t > o.angle[4] && t < o.angle[6]) {
            EXPECT_EQ(At(a, e), 0.0) << e;
        } else if ((t > -0.99 && t < o.angle[4] - 0.02) || (t > o.angle[6] + 0.02 && t < -0.01)) {
            EXPECT_NEAR(At(a, e).real(), 1.0, 1e-12) << e;
        }
    }
}

TEST(AssembleOrders, JumpAcrossPlusMinusPiLeavesTheGapEmpty)
{
    Order o;
    for (double t : {2.80, 2.90, 3.00, 3.10, -3.10, -3.00, -2.90, -2.80})
        o.add(t, 1, 0);
    const Assembled a = Assemble({o});
    for (int e = 0; e < a.grid.NumScaRays; ++e) {
        const double t = a.grid.ThetaGrid[e];
        if (std::fabs(t) > 3.10) {
            EXPECT_EQ(At(a, e), 0.0) << e;
        } else if (std::fabs(t) > 2.81 && std::fabs(t) < 3.09) {
            EXPECT_NEAR(At(a, e).real(), 1.0, 1e-12) << e;
        }
    }
}

TEST(AssembleOrders, BranchesTooShortOrWithoutDirectionAddNothing)
{
    Order twoRays;  // only two rays
    twoRays.add(0.1, 1, 0);
    twoRays.add(0.9, 1, 0);
    Order narrow;  // three rays within two grid spacings
    for (int i = 0; i < 3; ++i)
        narrow.add(0.1 + 0.01 * i, 1, 0);
    Order equalStart;  // first two angles equal: no direction
    equalStart.add(0.2, 1, 0);
    for (int i = 0; i < 10; ++i)
        equalStart.add(0.2 + 0.05 * i, 1, 0);
    Order none;  // nothing emerged
    for (int i = 0; i < 10; ++i)
        none.add(0, 0, 0);
    for (const Order& o : {twoRays, narrow, equalStart, none}) {
        const Assembled a = Assemble({o});
        for (int e = 0; e < a.grid.NumScaRays; ++e)
            ASSERT_EQ(At(a, e), 0.0) << e;
    }
}

TEST(AssembleOrders, OrdersInterfereAndTheDiffractionAddsToTheRealPart)
{
    Order first, second;
    for (int i = 0; i <= 10; ++i) {
        first.add(-0.5 + 0.1 * i + 0.002, 1, 0);
        second.add(-0.5 + 0.1 * i + 0.002, 1, kPi);
    }
    Assembled a = Assemble({first, second});
    const int e = FirstAbove(a.grid, 0.0);
    EXPECT_NEAR(std::abs(At(a, e)), 0.0, 1e-12);  // opposite phases cancel
    a.grid.DiffAmp[e] = 3;
    a.grid.TotalAmpIm[e] = 4;
    ComputeTotalIntensity(a.grid);
    EXPECT_NEAR(a.grid.TotalIntensity[e], 25.0, 1e-12);
}

} // namespace
} // namespace orvane

namespace orvane {
namespace {

TEST(AssembleOrders, EveryGridAngleAddsItsBranchesInTheOrderGiven)
{
    // Three one-branch orders that overlap on a grid fine enough for the sum to be shared
    // out: an ascending branch, one that turns back behind two equal angles (its angles
    // are not in order, yet no rule closes it), and a descending one. The sum at every grid
    // angle must be the three interpolated contributions added in that order, whether one
    // thread or two build it.
    const int N = 300;
    Order rising, turning, falling;
    for (int i = 0; i < N; ++i) {
        const double theta = -2.6 + 5.2 * std::pow(i / (N - 1.0), 1.3) + 1e-3;
        rising.add(theta, 1.0 + 0.5 * std::sin(0.07 * i), 40.0 * theta + 3.0);
        falling.add(2.9 - 3.9 * i / (N - 1.0), 0.5 + 0.001 * i, -0.3 * i * i);
    }
    for (int i = 0; i < 200; ++i)
        turning.add(0.3 + 0.9 * i / 199.0, 2.0 + 0.01 * i, 900.0 + 77.0 * i);
    for (int i = 0; i < N - 200; ++i)
        turning.add(1.2 - 0.3 * i / (N - 201.0), 3.0, 8000.0 - 50.0 * i);  // ray 200 repeats ray 199's angle

    const std::vector<Order> orders = {rising, turning, falling};
    std::vector<OrderRows> rows;
    for (const Order& o : orders)
        rows.push_back({o.angle.data(), o.intensity.data(), o.phase.data()});
    ScatteringGrid expected(120001);
    RecordingControl expectedSink;
    for (const Order& o : orders) {
        const bool up = o.angle[1] > o.angle[0];
        const int s = FirstAbove(expected, up ? o.angle.front() : o.angle.back());
        const int nGrid = FirstAbove(expected, up ? o.angle.back() : o.angle.front()) - s;
        std::vector<double> amplitude(N), a(nGrid), phi(nGrid), work(3 * N);
        for (int i = 0; i < N; ++i)
            amplitude[i] = std::sqrt(o.intensity[i]);
        LagrangeInterpolate(o.angle.data(), amplitude.data(), o.phase.data(), expected.ThetaGrid.data() + s, a.data(),
                            phi.data(), N, nGrid, work.data(), expectedSink);
        std::vector<double> sine(nGrid), cosine(nGrid);
        SinCos(phi.data(), sine.data(), cosine.data(), phi.size());
        for (int r = 0; r < nGrid; ++r) {
            expected.TotalAmpRe[s + r] += a[r] * cosine[r];
            expected.TotalAmpIm[s + r] += a[r] * sine[r];
        }
    }
    ASSERT_NE(expected.TotalAmpRe[FirstAbove(expected, 0.6)], 0.0);  // all three reach 0.6

    for (int threads : {1, 2}) {
        ScatteringGrid grid(120001);
        RecordingControl sink;
        AssembleOrders(rows, N, grid, sink, threads);
        EXPECT_EQ(expected.TotalAmpRe, grid.TotalAmpRe) << threads << " threads";
        EXPECT_EQ(expected.TotalAmpIm, grid.TotalAmpIm) << threads << " threads";
        EXPECT_EQ(expectedSink.messages, sink.messages) << threads << " threads";
    }
}

TEST(AssembleOrders, ThreadsDoNotChangeTheSum)
{
    // Enough branches and grid angles for the interpolation to be shared between threads:
    // every grid angle must still receive its branches' contributions in the same order.
    const auto run = testing::Trace([](DiagramInputs& f) {
        f.NumIncRays = 1000;
        f.MaxP = 10;
    });
    std::vector<OrderRows> rows;
    for (int p = 0; p <= 10; ++p)
        rows.push_back({run->T().RayAngle[p].data(), run->T().RayIntensity[p].data(), run->T().RayPhase[p].data()});
    ScatteringGrid one(120001), two(120001);
    RecordingControl sink;
    AssembleOrders(rows, 1000, one, sink, 1);
    AssembleOrders(rows, 1000, two, sink, 2);
    EXPECT_EQ(one.TotalAmpRe, two.TotalAmpRe);
    EXPECT_EQ(one.TotalAmpIm, two.TotalAmpIm);
    EXPECT_NE(one.TotalAmpRe[60000], 0.0);
}

} // namespace
} // namespace orvane

namespace orvane {
namespace {

// The largest difference, in decades, between a total and the mirror image of another, over
// the grid angles where the first is above 1e-6 of its peak; and how many differ by more than
// tolerance (relative).
struct MirrorMismatch {
    double worstDecades = 0;
    int count = 0;
};

MirrorMismatch CompareMirrored(const ScatteringGrid& a, const ScatteringGrid& b, double tolerance)
{
    const int N = a.NumScaRays;
    const double peak = *std::max_element(a.TotalIntensity.begin(), a.TotalIntensity.end());
    MirrorMismatch m;
    for (int e = 0; e < N; ++e) {
        const double x = a.TotalIntensity[e], y = b.TotalIntensity[N - 1 - e];
        if (std::max(x, y) < 1e-6 * peak)
            continue;
        if (std::fabs(x - y) > tolerance * std::max(x, y)) {
            ++m.count;
            m.worstDecades = std::max(m.worstDecades, std::fabs(std::log10(std::max(x, 1e-300) / std::max(y, 1e-300))));
        }
    }
    return m;
}

TEST(AssembleOrders, MirroredParticlesGiveMirroredTotals)
{
    // A sphere met head-on is its own mirror image; a spheroid met at +20° is the mirror image
    // of the same spheroid met at −20°. Their totals (orders 0..MaxP summed coherently, every
    // branch on every grid angle within its range) must be mirror images too.
    struct Case {
        const char* name;
        std::function<void(DiagramInputs&)> setup;
        double mirroredIncidence;  // degrees
    };
    const Case cases[] = {
        {"sphere head-on, 1000 angles", [](DiagramInputs&) {}, 0},
        {"sphere head-on, 1801 angles", [](DiagramInputs& f) { f.NumScaRays = 1801; }, 0},
        {"spheroid at 20 degrees",
         [](DiagramInputs& f) {
             f.particle.RadiusA = 40;
             f.particle.RadiusB = 30;
             f.particle.RadiusC = 25;
             f.particle.IndexRe = 1.45;
             f.particle.IndexIm = 0.001;
             f.particle.Wavelength = 0.5893;
             f.particle.Polar = 0;
             f.particle.IncAngle = ToRadians(20);
             f.MaxP = 5;
             f.NumIncRays = 600;
             f.NumScaRays = 1800;
         },
         -20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DiagramInputs in;
        c.setup(in);
        DiagramInputs mirrored = in;
        mirrored.particle.IncAngle = ToRadians(c.mirroredIncidence);
        RecordingControl control;
        const DiagramResult a = ComputeDiagram(in, control);
        const DiagramResult b = ComputeDiagram(mirrored, control);
        const MirrorMismatch m = CompareMirrored(a.grid, b.grid, 1e-6);
        EXPECT_EQ(m.count, 0) << "worst " << m.worstDecades << " decades";
    }
}

} // namespace
} // namespace orvane
