#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/MessageSink.h"
#include "numeric/Numerics.h"

namespace orvane {
namespace {

struct Interpolated {
    std::vector<double> y, z;
    std::vector<std::string> messages;
};

Interpolated Interpolate(const std::vector<double>& xi, const std::vector<double>& yi, const std::vector<double>& zi,
                         const std::vector<double>& x)
{
    const int n = static_cast<int>(xi.size());
    const int m = static_cast<int>(x.size());
    Interpolated r;
    r.y.assign(m, -99.0);
    r.z.assign(m, -99.0);
    std::vector<double> work(3 * n);
    RecordingSink sink;
    LagrangeInterpolate(xi.data(), yi.data(), zi.data(), x.data(), r.y.data(), r.z.data(), n, m, work.data(), sink);
    r.messages = sink.messages;
    return r;
}

// Equally spaced points from first by h.
std::vector<double> Grid(double first, double h, int m)
{
    std::vector<double> x(m);
    for (int j = 0; j < m; ++j)
        x[j] = first + j * h;
    return x;
}

std::vector<double> Map(const std::vector<double>& x, double (*f)(double))
{
    std::vector<double> v(x.size());
    std::transform(x.begin(), x.end(), v.begin(), f);
    return v;
}

double Quadratic(double t) { return 2.0 - 3.0 * t + 0.5 * t * t; }
double OtherQuadratic(double t) { return -1.0 + t * t; }
double Cubic(double t) { return 1.0 + t - 2.0 * t * t + 0.25 * t * t * t; }

// Unevenly spaced nodes, like the emergence angles of a branch.
// Grid points of the tests below never fall on X[1] or X[n-2], where the end steps
// truncated counts and the half-open intervals would leave a point to neither.
const std::vector<double> kNodes = {-1.0, -0.72, -0.2, 0.1, 0.6, 0.75, 1.3, 1.9, 2.03, 2.65};

TEST(LagrangeInterpolate, ReproducesQuadraticsEverywhereAndCubicsInside)
{
    const std::vector<double> x = Grid(-1.0, 0.05, 73);  // -1 .. 2.6
    const auto q = Interpolate(kNodes, Map(kNodes, Quadratic), Map(kNodes, OtherQuadratic), x);
    EXPECT_TRUE(q.messages.empty());
    for (std::size_t j = 0; j < x.size(); ++j) {
        EXPECT_NEAR(Quadratic(x[j]), q.y[j], 1e-12) << "x = " << x[j];
        EXPECT_NEAR(OtherQuadratic(x[j]), q.z[j], 1e-12) << "x = " << x[j];
    }

    // A cubic is exact only where the four-node cubic is used: from X[1] to X[n-2].
    const auto c = Interpolate(kNodes, Map(kNodes, Cubic), Map(kNodes, Cubic), x);
    int inside = 0;
    for (std::size_t j = 0; j < x.size(); ++j) {
        if (x[j] >= kNodes[1] && x[j] < kNodes[kNodes.size() - 2]) {
            EXPECT_NEAR(Cubic(x[j]), c.y[j], 1e-12) << "x = " << x[j];
            ++inside;
        }
    }
    EXPECT_GT(inside, 40);
}

TEST(LagrangeInterpolate, DecreasingNodesGiveTheSameResultAsTheReversedIncreasingOnes)
{
    const std::vector<double> x = Grid(-0.95, 0.1, 35);
    const std::vector<double> y = Map(kNodes, std::sin);
    const std::vector<double> z = Map(kNodes, std::exp);
    const auto up = Interpolate(kNodes, y, z, x);
    const auto down = Interpolate({kNodes.rbegin(), kNodes.rend()}, {y.rbegin(), y.rend()}, {z.rbegin(), z.rend()}, x);
    EXPECT_EQ(up.y, down.y);
    EXPECT_EQ(up.z, down.z);
    EXPECT_EQ(up.messages, down.messages);
}

TEST(LagrangeInterpolate, PointsOnNodesReproduceTheTabulatedValues)
{
    const std::vector<double> xi = {0, 1, 2, 3, 4, 5, 6};
    const std::vector<double> yi = {3, -1, 4, 1, -5, 9, 2};
    const std::vector<double> zi = {2, 7, 1, 8, 2, 8, 1};
    const auto r = Interpolate(xi, yi, zi, Grid(0, 1, 7));
    for (int j = 0; j < 7; ++j) {
        EXPECT_NEAR(yi[j], r.y[j], 1e-13) << "node " << j;
        EXPECT_NEAR(zi[j], r.z[j], 1e-13) << "node " << j;
    }
}

TEST(LagrangeInterpolate, ThreeNodesAreCoveredByTheTwoEndQuadratics)
{
    const std::vector<double> xi = {0.0, 1.0, 3.0};
    const auto r = Interpolate(xi, Map(xi, Quadratic), Map(xi, Cubic), Grid(0.0, 0.25, 13));
    EXPECT_TRUE(r.messages.empty());
    for (int j = 0; j < 13; ++j)
        EXPECT_NEAR(Quadratic(j * 0.25), r.y[j], 1e-12) << "point " << j;
}

TEST(LagrangeInterpolate, OutOfRangePointsAreReportedAndPointsNoStepCoversGetZero)
{
    // The grid runs past both ends of the nodes 0..5: both messages, lower first. The
    // end quadratics need the grid's ends inside the end intervals, so nothing covers
    // the points below X[1] or from X[n-2] on; only the cubic of 1 <= x < 4 is used.
    const std::vector<double> xi = {0, 1, 2, 3, 4, 5};
    const std::vector<double> x = Grid(-1.0, 0.5, 15);  // -1 .. 6
    const auto r = Interpolate(xi, Map(xi, Quadratic), Map(xi, Quadratic), x);
    EXPECT_EQ((std::vector<std::string>{"x exceeds the lower limit of xi !", "x exceeds the higher limit of xi !"}),
              r.messages);
    for (int j = 0; j < 15; ++j) {
        if (x[j] >= 1.0 && x[j] < 4.0) {
            EXPECT_NEAR(Quadratic(x[j]), r.y[j], 1e-12) << "x = " << x[j];
        } else {
            EXPECT_EQ(0.0, r.y[j]) << "x = " << x[j];
            EXPECT_EQ(0.0, r.z[j]) << "x = " << x[j];
        }
    }

    // Only the higher end out of range; the lower end quadratic still fills from X[0].
    const auto high = Interpolate(xi, Map(xi, Quadratic), Map(xi, Quadratic), Grid(0.25, 0.5, 12));
    EXPECT_EQ(std::vector<std::string>{"x exceeds the higher limit of xi !"}, high.messages);
    EXPECT_NEAR(Quadratic(0.25), high.y[0], 1e-12);
    EXPECT_EQ(0.0, high.y[11]);  // x = 5.75
}

// The rule as first written: every interval k = 1..n-3 with X[k] <= t < X[k+1] adds its
// cubic. The routine locates the interval instead and takes the points of an interval
// together, several at a time; the results must be identical. A few points out of order
// end a run in the middle of such a group.
TEST(LagrangeInterpolate, IntervalSearchMatchesTheIntervalByIntervalRule)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> gap(0.001, 0.2);
    const int n = 300;
    std::vector<double> xi(n), yi(n), zi(n);
    double t = -3.0;
    for (int i = 0; i < n; ++i) {
        xi[i] = t;
        yi[i] = std::sin(3 * t);
        zi[i] = std::cos(t) * t;
        t += gap(rng);
    }
    // Nodes on grid points too: the half-open intervals must decide them the same way.
    const std::vector<double> x = Grid(xi[0] - 0.01, 0.01, static_cast<int>((xi[n - 1] - xi[0]) / 0.01) + 3);
    for (std::size_t i = 5; i < xi.size(); i += 37)
        xi[i] = x[static_cast<std::size_t>(i) * x.size() / xi.size()];
    std::sort(xi.begin(), xi.end());
    std::vector<double> points = x;
    std::swap(points[101], points[140]);
    std::swap(points[203], points[204]);
    points[333] = points[100];
    points[1000] = points[1500];
    const auto r = Interpolate(xi, yi, zi, points);

    for (std::size_t j = 0; j < points.size(); ++j) {
        if (points[j] < xi[1] || points[j] >= xi[n - 2])
            continue;  // the end steps and the uncovered points are tested above
        double y = 0.0, z = 0.0;
        for (int k = 1; k <= n - 3; ++k) {
            if (!(xi[k] <= points[j] && points[j] < xi[k + 1]))
                continue;
            for (int a = 0; a < 4; ++a) {
                double w = 1.0;
                for (int b = 0; b < 4; ++b)
                    if (b != a)
                        w *= (points[j] - xi[k - 1 + b]) / (xi[k - 1 + a] - xi[k - 1 + b]);
                y += w * yi[k - 1 + a];
                z += w * zi[k - 1 + a];
            }
        }
        ASSERT_EQ(y, r.y[j]) << "point " << j;
        ASSERT_EQ(z, r.z[j]) << "point " << j;
    }
}

// The bits of a double, so that +0 and -0 differ and a NaN equals itself.
std::uint64_t Bits(double v)
{
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// A diagram run hands out parts of each branch's points to its threads: filled piece by
// piece, in any order, every point must get exactly the whole call's value. The node sets
// cover the ordered case (where a piece finds its first interval by bisection), ties, and
// nodes out of order (where a piece retraces the interval walk from the first point).
TEST(LagrangeInterpolate, PiecesInAnyOrderGiveTheWholeCallsValuesBitForBit)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> gap(0.002, 0.05);
    const int n = 80;
    std::vector<double> ascending(n);
    double t = -1.0;
    for (double& v : ascending) {
        v = t;
        t += gap(rng);
    }
    std::vector<double> ties = ascending;
    ties[20] = ties[19];
    ties[41] = ties[42];
    std::vector<double> outOfOrder = ascending;
    std::swap(outOfOrder[30], outOfOrder[31]);
    std::swap(outOfOrder[55], outOfOrder[57]);
    struct Case {
        const char* name;
        std::vector<double> xi;
    };
    const std::vector<Case> cases = {
        {"ascending", ascending},
        {"descending", {ascending.rbegin(), ascending.rend()}},
        {"ties", ties},
        {"out of order", outOfOrder},
    };
    std::vector<double> yi(n), zi(n);
    for (int i = 0; i < n; ++i) {
        yi[i] = std::sin(5.0 * ascending[i]) + 2.0;
        zi[i] = 300.0 * ascending[i] * ascending[i];
    }
    // Points from below the nodes to above them, several blocks of them, some on nodes.
    const int m = 1500;
    std::vector<double> x = Grid(ascending[0] - 0.01, (ascending[n - 1] - ascending[0] + 0.02) / (m - 1), m);
    x[700] = ascending[40];
    x[701] = ascending[41];
    std::vector<int> alone(m + 1);  // every point a piece of its own
    for (int j = 0; j <= m; ++j)
        alone[j] = j;
    const std::vector<std::vector<int>> cutSets = {{0, 1, 5, 255, 256, 257, 700, 999, 1024, 1497, m}, alone};

    for (const Case& c : cases) {
        const auto whole = Interpolate(c.xi, yi, zi, x);
        ASSERT_NE(0.0, whole.y[m / 2]) << c.name;

        std::vector<double> work(3 * n);
        RecordingSink sink;
        const LagrangePlan plan = PrepareLagrange(c.xi.data(), yi.data(), zi.data(), x.data(), n, m, work.data(), sink);
        EXPECT_EQ(whole.messages, sink.messages) << c.name;
        for (const std::vector<int>& cuts : cutSets) {
            std::vector<double> y(m + 4, -99.0), z(m + 4, -99.0);
            // Last piece first: a piece that wrote past its end would spoil one already checked.
            for (std::size_t q = cuts.size() - 1; q-- > 0;)
                EvaluateLagrange(plan, cuts[q], cuts[q + 1], y.data() + cuts[q], z.data() + cuts[q]);
            for (int j = 0; j < m; ++j) {
                ASSERT_EQ(Bits(whole.y[j]), Bits(y[j])) << c.name << ", " << cuts.size() - 1 << " pieces, point " << j;
                ASSERT_EQ(Bits(whole.z[j]), Bits(z[j])) << c.name << ", " << cuts.size() - 1 << " pieces, point " << j;
            }
            for (int j = m; j < m + 4; ++j)
                ASSERT_EQ(-99.0, y[j]) << c.name << ": written past the last point";
        }
    }
}

TEST(LagrangeInterpolate, CostGrowsWithNodesPlusPointsNotTheirProduct)
{
    // 5000 rays onto a million angles: an interval search per point over all nodes would
    // take seconds; locating the interval keeps this to a few tens of milliseconds.
    const int n = 5000, m = 1000000;
    std::vector<double> xi(n), yi(n), zi(n);
    for (int i = 0; i < n; ++i) {
        xi[i] = std::acos(1.0 - 2.0 * (i + 0.5) / n);  // 0..pi, denser at the ends
        yi[i] = std::cos(xi[i]);
        zi[i] = 1.0;
    }
    std::vector<double> x = Grid(0.0, std::acos(-1.0) / (m - 1), m);
    std::vector<double> y(m), z(m), work(3 * n);
    RecordingSink sink;
    const auto start = std::chrono::steady_clock::now();
    LagrangeInterpolate(xi.data(), yi.data(), zi.data(), x.data(), y.data(), z.data(), n, m, work.data(), sink);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 1.0);
    EXPECT_NEAR(std::cos(x[m / 2]), y[m / 2], 1e-9);
}

TEST(BesselJ1, KnownValuesOddSymmetryAndBothBranches)
{
    struct Case {
        double x, j1;
    };
    // Reference values of J1; the approximations hold them to about 1e-8.
    const Case cases[] = {
        {0.0, 0.0},
        {0.5, 0.24226845767487387},
        {1.0, 0.44005058574493355},
        {2.0, 0.57672480775687339},
        {5.0, -0.32757913759146522},
        {7.999, 0.23449390122793745},
        {8.0, 0.23463634685391462},
        {10.0, 0.043472746168861438},
        {20.0, 0.066833124175850045},
        {100.0, -0.077145352014112160},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(c.j1, BesselJ1(c.x), 2e-8) << "x = " << c.x;
        EXPECT_EQ(-BesselJ1(c.x), BesselJ1(-c.x)) << "x = " << c.x;
    }
    EXPECT_EQ(0.0, BesselJ1(0.0));
}

TEST(SignFunctions, FloatSignCountsZeroAsPositiveAndIntSignRefusesZero)
{
    EXPECT_EQ(1.0, FloatSign(0.0));
    EXPECT_EQ(1.0, FloatSign(-0.0));
    EXPECT_EQ(1.0, FloatSign(2.5));
    EXPECT_EQ(-1.0, FloatSign(-1e-300));

    EXPECT_EQ(1, IntSign(1e-300));
    EXPECT_EQ(-1, IntSign(-42.0));
    for (const double zero : {0.0, -0.0}) {
        try {
            IntSign(zero);
            ADD_FAILURE() << "IntSign(0) returned";
        } catch (const MathError& e) {
            EXPECT_STREQ("Invalid floating point operation", e.what());
        }
    }
}

TEST(ProjectionLength, IsTheUnsignedDistanceAlongTheDirection)
{
    const double pi = std::acos(-1.0);
    struct Case {
        const char* id;
        double x, z, alpha, length;
    };
    const Case cases[] = {
        {"on the +z axis", 0.0, 3.0, 0.0, 3.0},
        {"on the line at 30 degrees", 5.0 * std::sin(pi / 6), 5.0 * std::cos(pi / 6), pi / 6, 5.0},
        {"behind the origin: sign dropped", -5.0 * std::sin(pi / 6), -5.0 * std::cos(pi / 6), pi / 6, 5.0},
        {"general point", 2.0, 1.0, 0.4, std::fabs(1.0 * std::cos(0.4) + 2.0 * std::sin(0.4))},
        {"direction near the vertical", 7.0, 0.5, pi / 2 - 1e-9, 7.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(c.length, ProjectionLength(c.x, c.z, c.alpha), 1e-9) << c.id;

    // Points on the perpendicular: rounding may leave a negative remainder under the
    // root, which must read as 0, never as an invalid operation.
    for (int i = 1; i <= 200; ++i) {
        const double alpha = -1.5 + i * 0.015;
        const double r = 1.0 + i * 0.37;
        const double length = ProjectionLength(r * std::cos(alpha), -r * std::sin(alpha), alpha);
        EXPECT_FALSE(std::isnan(length)) << "alpha = " << alpha;
        EXPECT_NEAR(0.0, length, 1e-7 * r) << "alpha = " << alpha;
    }
}

} // namespace
} // namespace orvane
