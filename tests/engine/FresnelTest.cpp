// Fresnel coefficients of the ray model: the local coefficient at every exit and internal
// reflection (against the entry point's, which is exact only for a sphere), the phase of total
// internal reflection, the phase of total reflection at the entry of a bubble, and the phase
// convention (every complex quotient enters a ray as its conjugate), checked on the diagram
// against the exact Debye terms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "numeric/Angles.h"
#include "mie/Debye.h"
#include "tests/engine/TracedRun.h"

namespace orvane {
namespace {

using testing::ClearObliqueSpheroid;
using testing::Trace;

// Every interaction of a run, as the observer sees it.
struct Recorder final : TraceObserver {
    std::vector<EntryEvent> entries;
    std::vector<InteractionEvent> interactions;
    void entered(const EntryEvent& e) override { entries.push_back(e); }
    void interacted(const InteractionEvent& e) override { interactions.push_back(e); }
};

double Arg(const Complex& r) { return std::atan2(r.imag(), r.real()); }

// Three rays at −h, 0 and h of a particle seen head-on.
void ThreeRaysAt(DiagramInputs& f, double h)
{
    f.NumIncRays = 3;
    f.range = PositionRange{-h, h};
}

// ---------------------------------------------------------------------------------------
// Total reflection at the entry point.

TEST(EntryTotalReflection, BubbleRayAt60DegreesHasThePhaseOfTheEvanescentWave)
{
    // A bubble (m = 0.75) and a ray at 60°, beyond the critical angle of 48.6°. With
    // s = √(sin²i − m²): tan(φ/2) = s/cos i (perpendicular), s/(m²·cos i) (parallel), the
    // conjugate of exact theory's r = (cos i − i·s)/(cos i + i·s) (perpendicular).
    const double m = 0.75, R = 50;
    for (const int polar : {1, 0}) {
        SCOPED_TRACE(polar ? "perpendicular" : "parallel");
        Recorder events;
        const auto run = Trace(
            [&](DiagramInputs& f) {
                f.particle.IndexRe = m;
                f.particle.Polar = polar;
                f.MaxP = 3;
                ThreeRaysAt(f, R * std::sin(ToRadians(60)));
            },
            &events);
        const RayTables& T = run->T();
        const double k = run->P().WaveNumber;
        const double sinI = run->heights()[2] / R;
        const double cosI = std::sqrt(1 - sinI * sinI);
        const double s = std::sqrt(sinI * sinI - m * m);
        const double phi = 2 * std::atan(polar ? s / cosI : s / (m * m * cosI));

        const EntryEvent& e = events.entries.at(2);
        ASSERT_FALSE(e.refracted);
        EXPECT_NEAR(std::hypot(e.r.real(), e.r.imag()), 1.0, 1e-15);
        EXPECT_NEAR(Arg(e.r), phi, 1e-12);
        // Order 0 of the sphere: twice the path k·R·cos i saved against the centre, plus φ;
        // the full intensity; no inner order.
        EXPECT_NEAR(T.RayPhase[0][2], 2 * k * R * cosI + phi, 1e-9);
        EXPECT_NEAR(T.RayIntensity[0][2], k * k * R * R / 4, 1e-9 * k * k * R * R / 4);
        for (int p = 1; p <= 3; ++p)
            EXPECT_EQ(T.RayIntensity[p][2], 0.0);
        // The central ray enters as before.
        EXPECT_TRUE(events.entries.at(1).refracted);
    }
}

// The lag (degrees) at which b best matches a over [from, to] (degrees), on grids of the same
// step: the shift L of the largest correlation of a(θ) with b(θ + L), refined by a parabola
// through the three correlations around it. Positive: a's fringes lie at larger angles.
struct Lag {
    double degrees = 0;
    double correlation = 0;
};

Lag CrossCorrelate(const std::vector<double>& a, const std::vector<double>& b, int from, int to, int maxShift,
                   double step)
{
    std::vector<double> c(2 * maxShift + 1);
    int best = 0;
    for (int L = -maxShift; L <= maxShift; ++L) {
        double ma = 0, mb = 0;
        for (int j = from; j <= to; ++j) {
            ma += a[j];
            mb += b[j + L];
        }
        ma /= to - from + 1;
        mb /= to - from + 1;
        double ab = 0, aa = 0, bb = 0;
        for (int j = from; j <= to; ++j) {
            ab += (a[j] - ma) * (b[j + L] - mb);
            aa += (a[j] - ma) * (a[j] - ma);
            bb += (b[j + L] - mb) * (b[j + L] - mb);
        }
        c[L + maxShift] = ab / std::sqrt(aa * bb);
        if (c[L + maxShift] > c[best + maxShift])
            best = L;
    }
    double refined = best;
    if (best > -maxShift && best < maxShift) {
        const double lo = c[best - 1 + maxShift], mid = c[best + maxShift], hi = c[best + 1 + maxShift];
        refined += 0.5 * (lo - hi) / (lo - 2 * mid + hi);
    }
    return {-refined * step, c[best + maxShift]};
}

TEST(EntryTotalReflection, BubbleFringesOfOrdersZeroAndOneLieOnTheExactOnes)
{
    // An air bubble in water, 40–60° from the forward direction: the rays reflected there are
    // totally reflected at incidences of 60–70°, and interfere with order 1. The exact
    // counterpart is the physical reflection (the Debye term 0 plus, beyond the critical
    // impact parameter, the evanescent sum of all higher terms) plus term 1. The plain term 0
    // carries the conjugate phase of total reflection there, and its fringes lie elsewhere:
    // that shows the comparison can tell the two phases apart.
    constexpr int kAngles = 36001;  // 0.01° apart
    constexpr double kStep = 0.01;
    const int from = 22000, to = 24000;  // 40° .. 60°
    const int maxShift = 150;            // ±1.5°
    for (const int polar : {1, 0}) {
        SCOPED_TRACE(polar ? "perpendicular" : "parallel");
        DiagramInputs in;
        in.particle.IndexRe = 0.75;
        in.particle.Polar = polar;
        in.MinP = 0;
        in.MaxP = 1;
        in.NumScaRays = kAngles;
        RecordingControl control;
        const DiagramResult result = ComputeDiagram(in, control);
        const ScatteringGrid& grid = result.grid;
        ASSERT_NEAR(ToDegrees(grid.ThetaGrid[from]), 40.0, 1e-9);

        std::vector<double> theta;
        for (int e = from - maxShift; e <= to + maxShift; ++e)
            theta.push_back(grid.ThetaGrid[e]);
        const DebyeSphere sphere(50, 0.6328, {0.75, 0.0});
        DebyeTerms terms;
        terms.pmin = 0;
        terms.pmax = 1;
        terms.reflection = true;
        const DebyeAmplitudes exact = sphere.S1S2(theta, terms);

        std::vector<double> rays(kAngles), physical(kAngles), plain(kAngles);
        for (int e = from - maxShift; e <= to + maxShift; ++e) {
            const std::size_t j = static_cast<std::size_t>(e - (from - maxShift));
            auto S = [&](const MieAmplitude& a) { return polar ? a.S1 : a.S2; };
            rays[e] = std::log10(grid.TotalIntensity[e]);
            physical[e] = std::log10(std::norm(S(exact.reflection[j]) + S(exact.orders[1][j])));
            plain[e] = std::log10(std::norm(S(exact.orders[0][j]) + S(exact.orders[1][j])));
        }
        const Lag lag = CrossCorrelate(rays, physical, from, to, maxShift, kStep);
        EXPECT_NEAR(lag.degrees, 0.0, 0.05);
        EXPECT_GT(lag.correlation, 0.99);
        EXPECT_GT(std::fabs(CrossCorrelate(rays, plain, from, to, maxShift, kStep).degrees), 0.5);
    }
}

// ---------------------------------------------------------------------------------------
// The phase convention: a ray's phase falls along its path, so its amplitude is −i·conj(S) of
// exact theory's exp(−iωt) amplitude S, and every complex Fresnel quotient enters as its
// conjugate.

TEST(PhaseConvention, HeadOnQuotientsOfAnAbsorbingSphereAreTheConjugatesOfExactTheory)
{
    // The central ray of an absorbing sphere meets the entry and its first exit head-on, where
    // exact theory gives r = (1 − m)/(1 + m) entering (perpendicular; the parallel one has the
    // opposite sign) and (m − 1)/(m + 1) from inside, whichever Fresnel rule.
    const std::complex<double> m(1.333, 0.05);
    const std::complex<double> entering = (1.0 - m) / (1.0 + m);
    struct Case {
        const char* name;
        int polar;
        bool entryRule;
        double sign;  // of the parallel quotients against the perpendicular ones
    };
    const Case cases[] = {
        {"perpendicular, local rule", 1, false, 1},
        {"parallel, local rule", 0, false, -1},
        {"perpendicular, entry rule", 1, true, 1},
        {"parallel, entry rule", 0, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder events;
        Trace(
            [&](DiagramInputs& f) {
                f.particle.IndexRe = m.real();
                f.particle.IndexIm = m.imag();
                f.particle.Polar = c.polar;
                f.EntryFresnel = c.entryRule;
                f.MaxP = 1;
                ThreeRaysAt(f, 10);
            },
            &events);
        const std::complex<double> entry = std::conj(c.sign * entering);
        const std::complex<double> exit = std::conj(-c.sign * entering);
        const EntryEvent& in = events.entries.at(1);
        EXPECT_NEAR(in.r.real(), entry.real(), 1e-14);
        EXPECT_NEAR(in.r.imag(), entry.imag(), 1e-14);
        ASSERT_GT(std::fabs(in.r.imag()), 1e-3);
        const InteractionEvent& out = events.interactions.at(1);
        ASSERT_TRUE(out.leaves);
        EXPECT_NEAR(out.r.real(), exit.real(), 1e-14);
        EXPECT_NEAR(out.r.imag(), exit.imag(), 1e-14);
    }
}

TEST(PhaseConvention, AbsorbingSphereReflectionHasThePhaseOfExactTheory)
{
    // Order 0 of an absorbing sphere against the exact Debye term 0 over 100–170° (angles of
    // incidence 5–40°, away from the Brewster angle): the ray's complex amplitude against
    // −i·conj(S), a median 0.05–0.07° apart. With the quotient's own phase in place of its
    // conjugate it lies 2·|arg r| off: a median 2.8–3.0° at m_i = 0.01, 14–15° at 0.05.
    for (const double mi : {0.01, 0.05}) {
        for (const int polar : {1, 0}) {
            SCOPED_TRACE((polar ? "perpendicular, m_i = " : "parallel, m_i = ") + std::to_string(mi));
            DiagramInputs in;
            in.particle.IndexIm = mi;
            in.particle.Polar = polar;
            in.MinP = 0;
            in.MaxP = 0;
            in.NumIncRays = 1000;
            in.NumScaRays = 3601;
            RecordingControl control;
            const DiagramResult result = ComputeDiagram(in, control);
            const ScatteringGrid& grid = result.grid;
            std::vector<double> theta;
            std::vector<int> index;
            for (int e = 0; e < grid.NumScaRays; ++e) {
                const double deg = ToDegrees(grid.ThetaGrid[e]);
                if (deg > 100 && deg < 170) {
                    theta.push_back(grid.ThetaGrid[e]);
                    index.push_back(e);
                }
            }
            const DebyeSphere sphere(50, 0.6328, {1.333, mi});
            DebyeTerms terms;
            const DebyeAmplitudes exact = sphere.S1S2(theta, terms);
            std::vector<double> lag;
            for (std::size_t j = 0; j < theta.size(); ++j) {
                const Complex S = polar ? exact.orders[0][j].S1 : exact.orders[0][j].S2;
                const Complex expected = Complex(0, -1) * std::conj(S);
                const Complex ray(grid.TotalAmpRe[index[j]], grid.TotalAmpIm[index[j]]);
                lag.push_back(std::fabs(std::arg(ray / expected)));
            }
            std::sort(lag.begin(), lag.end());
            EXPECT_LT(ToDegrees(lag[lag.size() / 2]), 0.3);
        }
    }
}

// ---------------------------------------------------------------------------------------
// The local coefficient at exits and internal reflections.

TEST(LocalFresnel, SphereTracesAlikeUnderEitherRule)
{
    // On a sphere every interface of a ray meets the same angle: the rules give the same
    // intensities, and the same phases up to whole turns (an internal reflection's own phase
    // lies in (−π, π], the entry's less π in (−2π, 0]). Where an amplitude vanishes (at the
    // Brewster angle) its phase carries nothing and is left out.
    struct Case {
        const char* name;
        double mr, mi;
        int polar;
        double incidence;  // degrees
    };
    const Case cases[] = {
        {"water, perpendicular", 1.333, 0, 1, 0},
        {"water, parallel", 1.333, 0, 0, 0},
        {"absorbing glass, parallel, oblique", 1.5, 0.002, 0, 30},
        {"bubble, parallel", 0.75, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto setup = [&](bool entryRule) {
            return [&c, entryRule](DiagramInputs& f) {
                f.particle.IndexRe = c.mr;
                f.particle.IndexIm = c.mi;
                f.particle.Polar = c.polar;
                f.particle.IncAngle = ToRadians(c.incidence);
                f.MaxP = 6;
                f.NumIncRays = 400;
                f.EntryFresnel = entryRule;
            };
        };
        const auto local = Trace(setup(false));
        const auto entry = Trace(setup(true));
        const RayTables& L = local->T();
        const RayTables& E = entry->T();
        for (int p = 0; p <= 6; ++p) {
            double largest = 0;
            for (int i = 0; i < 400; ++i)
                largest = std::max(largest, E.RayIntensity[p][i]);
            for (int i = 0; i < 400; ++i) {
                ASSERT_NEAR(L.RayIntensity[p][i], E.RayIntensity[p][i], 1e-9 * largest) << "order " << p << " ray " << i;
                ASSERT_EQ(L.RayAngle[p][i], E.RayAngle[p][i]) << "order " << p << " ray " << i;
                if (E.RayIntensity[p][i] < 1e-6 * largest)
                    continue;
                const double turns = std::remainder(L.RayPhase[p][i] - E.RayPhase[p][i], kTwoPi);
                ASSERT_NEAR(turns, 0.0, 1e-9) << "order " << p << " ray " << i;
            }
        }
    }
}

TEST(LocalFresnel, SpheroidTotalInternalReflectionHasUnitModulusAndTheLocalPhase)
{
    Recorder events;
    const auto run = Trace(ClearObliqueSpheroid, &events);
    const double a = 40, c = 25, m = 1.45;
    const double k = run->P().WaveNumber;
    int total = 0;
    for (const InteractionEvent& e : events.interactions) {
        if (e.leaves)
            continue;
        ++total;
        // The local angle of incidence from the point and the reflected ray's slope alone:
        // the outward normal ∝ (z/c², x/a²), the ray along (1, s) in (z, x).
        const double nz = e.point.z / (c * c), nx = e.point.x / (a * a);
        const double cosT = std::fabs(nz + e.slope * nx) / (std::hypot(nz, nx) * std::hypot(1.0, e.slope));
        const double q = m * k * cosT;
        const double kappa = k * std::sqrt(m * m * (1 - cosT * cosT) - 1);
        // Parallel, from inside: exact theory's r = (q − iκ·m²)/(q + iκ·m²), |r| = 1,
        // arg r = −2·atan(κ·m²/q); the ray takes its conjugate.
        EXPECT_NEAR(std::hypot(e.r.real(), e.r.imag()), 1.0, 1e-12) << "ray " << e.ray << " order " << e.p;
        EXPECT_NEAR(Arg(e.r), 2 * std::atan(kappa * m * m / q), 1e-9) << "ray " << e.ray << " order " << e.p;
    }
    EXPECT_GT(total, 50);
}

TEST(LocalFresnel, PhaseOfAnOrderSumsItsOwnInternalReflections)
{
    // Against the entry rule, which gives every internal reflection the entry's phase less π,
    // order p differs by the sum of the p − 1 reflections before its exit, each its own
    // arg r, and by nothing else.
    Recorder events;
    const auto local = Trace(ClearObliqueSpheroid, &events);
    const auto entry = Trace([](DiagramInputs& f) {
        ClearObliqueSpheroid(f);
        f.EntryFresnel = true;
    });
    int checked = 0;
    for (int i = 0; i < 120; ++i) {
        const EntryEvent& in = events.entries.at(static_cast<std::size_t>(i));
        if (!in.refracted)
            continue;
        double reflections = 0;
        for (const InteractionEvent& e : events.interactions) {
            if (e.ray != i)
                continue;
            if (local->T().RayIntensity[e.p][i] != 0) {
                const double expected = reflections - (Arg(in.r) - kPi) * (e.p - 1);
                const double difference = local->T().RayPhase[e.p][i] - entry->T().RayPhase[e.p][i];
                ASSERT_NEAR(std::remainder(difference - expected, kTwoPi), 0.0, 1e-9) << "ray " << i << " order " << e.p;
                ++checked;
            }
            reflections += Arg(e.r);
        }
    }
    EXPECT_GT(checked, 300);
}

TEST(LocalFresnel, EllipseExitCoefficientIsFresnelsAtTheExitAngle)
{
    // An ellipse (a = 40, c = 25) seen head-on, the ray at height 30 µm: refracted by Snell's
    // law at the entry, it meets the far side at another angle. Order 1's exit coefficient is
    // Fresnel's at that angle, from inside (index m) to outside:
    //   perpendicular (m·cos θ − cos t)/(m·cos θ + cos t), parallel (cos θ − m·cos t)/(cos θ + m·cos t),
    // with sin t = m·sin θ. The entry rule puts the refraction angle of the entry in place of θ.
    const double a = 40, c = 25, m = 1.45, d = 30;
    using V = std::complex<double>;  // (z, x)
    const V u(1, 0);
    const V p0(-c * std::sqrt(1 - d * d / (a * a)), d);
    auto outwardNormal = [&](V p) {
        const V w(p.real() / (c * c), p.imag() / (a * a));
        return w / std::abs(w);
    };
    auto dot = [](V x, V y) { return x.real() * y.real() + x.imag() * y.imag(); };
    const V n0 = outwardNormal(p0);
    const double cosI = -dot(u, n0);
    const double cosR = std::sqrt(1 - (1 - cosI * cosI) / (m * m));
    const V t = u / m + (cosI / m - cosR) * n0;
    const double s = -2 * (p0.real() * t.real() / (c * c) + p0.imag() * t.imag() / (a * a)) /
                     (t.real() * t.real() / (c * c) + t.imag() * t.imag() / (a * a));
    const V p1 = p0 + s * t;
    const double cosTheta = dot(t, outwardNormal(p1));
    const double sinOut = m * std::sqrt(1 - cosTheta * cosTheta);
    ASSERT_LT(sinOut, 1.0);
    const double cosOut = std::sqrt(1 - sinOut * sinOut);
    ASSERT_GT(std::fabs(cosTheta - cosR), 0.05);  // the two angles differ

    for (const int polar : {1, 0}) {
        SCOPED_TRACE(polar ? "perpendicular" : "parallel");
        auto fresnel = [&](double cosInside) {
            return polar ? (m * cosInside - cosOut) / (m * cosInside + cosOut)
                         : (cosInside - m * cosOut) / (cosInside + m * cosOut);
        };
        auto setup = [&](bool entryRule) {
            return [=](DiagramInputs& f) {
                f.particle.RadiusA = a;
                f.particle.RadiusB = 30;
                f.particle.RadiusC = c;
                f.particle.IndexRe = m;
                f.particle.Polar = polar;
                f.MaxP = 1;
                f.EntryFresnel = entryRule;
                ThreeRaysAt(f, d);
            };
        };
        Recorder events;
        const auto local = Trace(setup(false), &events);
        const auto entry = Trace(setup(true));
        ASSERT_NEAR(local->heights()[2], d, 1e-12);
        ASSERT_EQ(events.interactions.size(), 3u);
        const InteractionEvent& exit = events.interactions[2];
        ASSERT_TRUE(exit.leaves);
        EXPECT_NEAR(exit.point.z, p1.real(), 1e-9);
        EXPECT_NEAR(exit.point.x, p1.imag(), 1e-9);
        const double r = fresnel(cosTheta);
        EXPECT_NEAR(exit.r.real(), r, 1e-12);
        EXPECT_NEAR(exit.r.imag(), 0.0, 1e-15);
        // The order's intensity differs by the transmitted share (1 − |r|²) and by the widths
        // of the ray tube at the two refractions, cos i/cos r at the entry and cos θ/cos t at
        // the exit, which the entry rule leaves out (they cancel on a circle only).
        const double rEntry = fresnel(cosR);
        EXPECT_GT(std::fabs(r - rEntry), 0.01);
        const double widths = (cosI / cosR) * (cosTheta / cosOut);
        EXPECT_GT(std::fabs(widths - 1), 0.2);
        EXPECT_NEAR(local->T().RayIntensity[1][2] / entry->T().RayIntensity[1][2],
                    (1 - r * r) / (1 - rEntry * rEntry) * widths, 1e-12);
    }
}

} // namespace
} // namespace orvane
