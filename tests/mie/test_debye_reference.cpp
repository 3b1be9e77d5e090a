// Debye terms against an independent evaluation of the series (debye.py, itself checked
// against 40/120-digit mpmath solutions of the boundary conditions): the table
// debye_reference_table.inc, made by make_debye_reference.py, holds S1 and S2 of orders
// 0-4, a few high orders, the diffraction and the reflection of water, glass, absorbing
// spheres and a bubble from x = 10 to 1e5.
//
// Each term must agree to 1e-6 relative, in intensity and in the complex amplitude (so in
// phase too), wherever its intensity exceeds 1e-6 of its largest value over the table's
// angles; below that the value is a near-cancellation of the series, where rounding in
// either evaluation decides the digits. A wrong Fresnel coefficient, power of R11, edge
// weight or angular sum shows up as errors of order one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>
#include <map>
#include <vector>

#include "mie/Debye.h"

namespace orvane {
namespace {

using Complex = std::complex<double>;

struct DebyeReferenceRow {
    int order;  // -1: the diffraction, -2: the reflection
    double thetaDeg;
    double s1r, s1i, s2r, s2i;
};

struct DebyeReferenceCase {
    const char* id;
    double x;
    Complex m;
    int nMax;
    const DebyeReferenceRow* rows;
    std::size_t count;
};

#include "debye_reference_table.inc"

constexpr double kTolerance = 1e-6;
constexpr double kSignificant = 1e-6;

TEST(DebyeReference, AgreesWithIndependentEvaluation)
{
    for (const DebyeReferenceCase& c : kDebyeReference) {
        const DebyeSphere sphere = DebyeSphere::FromSizeParameter(c.x, c.m);
        ASSERT_EQ(sphere.NumTerms(), c.nMax) << c.id;

        // The rows of each order, in table order.
        std::map<int, std::vector<const DebyeReferenceRow*>> byOrder;
        for (std::size_t r = 0; r < c.count; ++r)
            byOrder[c.rows[r].order].push_back(&c.rows[r]);
        const int pmin = byOrder.lower_bound(0)->first;
        const int pmax = byOrder.rbegin()->first;
        // Every order of a case has the same angles.
        const std::vector<const DebyeReferenceRow*>& first = byOrder.rbegin()->second;
        std::vector<double> theta;
        for (const DebyeReferenceRow* row : first)
            theta.push_back(row->thetaDeg * 0.017453292519943295);
        const DebyeAmplitudes s = sphere.S1S2(
            theta, DebyeTerms{pmin, pmax, byOrder.count(-1) != 0, false, byOrder.count(-2) != 0});

        for (const auto& [order, rows] : byOrder) {
            ASSERT_EQ(rows.size(), theta.size()) << c.id << " p=" << order;
            for (std::size_t e = 0; e < rows.size(); ++e)
                ASSERT_EQ(rows[e]->thetaDeg, first[e]->thetaDeg) << c.id << " p=" << order;
            const std::vector<MieAmplitude>& got =
                order == -1 ? s.diffraction : order == -2 ? s.reflection : s.orders[order - pmin];
            for (int pol = 0; pol < 2; ++pol) {
                const auto expected = [&](const DebyeReferenceRow* row) {
                    return pol == 0 ? Complex(row->s1r, row->s1i) : Complex(row->s2r, row->s2i);
                };
                double peak = 0.0;
                for (const DebyeReferenceRow* row : rows)
                    peak = std::max(peak, std::norm(expected(row)));
                for (std::size_t e = 0; e < rows.size(); ++e) {
                    const Complex want = expected(rows[e]);
                    if (std::norm(want) < kSignificant * peak)
                        continue;
                    const Complex have = pol == 0 ? got[e].S1 : got[e].S2;
                    EXPECT_LE(std::abs(have - want) / std::abs(want), kTolerance)
                        << c.id << " p=" << order << " S" << pol + 1 << " at " << rows[e]->thetaDeg << " deg";
                    EXPECT_LE(std::abs(std::norm(have) / std::norm(want) - 1.0), kTolerance)
                        << c.id << " p=" << order << " |S" << pol + 1 << "|^2 at " << rows[e]->thetaDeg << " deg";
                }
            }
        }
    }
}

} // namespace
} // namespace orvane
