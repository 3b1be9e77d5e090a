#include "engine/Caustics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>

#include "base/Format.h"
#include "base/RunControl.h"
#include "geometry/Limits.h"
#include "numeric/Angles.h"
#include "numeric/LeastSquares.h"

namespace orvane {

namespace {

// A step this large beside the turning ray is the jump between +π and −π, not a turn.
constexpr double kMaxTurnStep = 0.5;
// Rays on each side of the turning ray that show which side carries the caustic's π/2, and
// how far their step may stray from π/2.
constexpr int kMaslovRays = 6;
constexpr double kMaslovTolerance = 0.35;
// A ray whose amplitude is below this share of both rays two places away marks a zero of a
// Fresnel coefficient, if the phase steps there by a multiple of π (within the tolerance).
constexpr double kDipDepth = 0.5;
constexpr double kStepTolerance = 0.6;
// The share of a branch's angles a caustic may take when the branch turns at both ends.
constexpr double kSharedShare = 0.45;

// The refinement. The uniform field hands over to the plain rays at ζ = kReachZeta; it needs
// the two rays out to there, each side described by kReachRays rays at least. Before ζ can be
// read at all, the shorter side must have kSideRays rays (enough to tell which side carries
// the π/2). A bright side that ends before ζ = kMinZetaReach describes no caustic.
constexpr double kReachZeta = 8.0;
constexpr double kMinZetaReach = 1.0;
constexpr int kSideRays = 12;
constexpr int kReachRays = 24;
// Nor may two neighbouring rays of a side lie farther apart than this share of the reach.
constexpr double kMaxStepShare = 0.125;
// The refined stretch reaches this much beyond ζ = kReachZeta, and two of the run's rays more.
constexpr double kWindowMargin = 1.3;
constexpr int kWindowExtraRays = 2;
// Bounds of the refinement of one turning point: rays per interval of the run's rays, new
// rays in all, rounds of tracing.
constexpr int kMaxFactor = 4096;
constexpr int kMaxNewRays = 2000;
constexpr int kMaxRounds = 6;

// A ray that leaves the particle in the order (the tables keep angle 0 for one that does not).
bool Emerged(double angle) { return angle != 0.0; }

// The rays of one order, in ray order, with their coordinate x along the incident heights:
// the run's ray index, a fraction of it for the rays traced between the run's rays.
struct Family {
    std::vector<double> x, angle, intensity, phase;
    int size() const { return static_cast<int>(x.size()); }
};

// The rays of one side, from the turning ray (index 0) outwards.
struct SideRays {
    std::vector<double> x, angle, amplitude, phase;
    int size() const { return static_cast<int>(x.size()); }
};

// The phase step between rays `at` and at+1 of a side, with a quadratic through the rays
// from..to around it, and the rms misfit of that model.
struct StepFit {
    double step = 0;
    double misfit = 0;
    bool ok = false;
};

StepFit FitPhaseStep(const SideRays& side, int at, int from, int to)
{
    StepFit fit;
    constexpr int n = 4;
    const int m = to - from + 1;
    if (m < n + 2)
        return fit;
    const double unit = side.x[static_cast<std::size_t>(at) + 1] - side.x[static_cast<std::size_t>(at)];
    std::vector<double> A(static_cast<std::size_t>(m * n));
    std::vector<double> y(static_cast<std::size_t>(m));
    for (int j = from; j <= to; ++j) {
        const int row = j - from;
        const double t = (side.x[static_cast<std::size_t>(j)] - side.x[static_cast<std::size_t>(at)]) / unit;
        const double column[n] = {1.0, t, t * t, j > at ? 1.0 : 0.0};
        for (int k = 0; k < n; ++k)
            A[static_cast<std::size_t>(k * m + row)] = column[k];
        y[static_cast<std::size_t>(row)] = side.phase[static_cast<std::size_t>(j)] - side.phase[static_cast<std::size_t>(at)];
    }
    std::array<double, n> c{};
    if (!LeastSquares(A, y, m, n, c.data()))
        return fit;
    double sum = 0;
    for (int j = from; j <= to; ++j) {
        const std::size_t row = static_cast<std::size_t>(j - from);
        double model = 0;
        for (int k = 0; k < n; ++k)
            model += A[static_cast<std::size_t>(k * m) + row] * c[static_cast<std::size_t>(k)];
        const double r = model - y[row];
        sum += r * r;
    }
    fit.step = c[3];
    fit.misfit = std::sqrt(sum / m);
    fit.ok = true;
    return fit;
}

// Takes a step of kπ out of a side's phase between rays `at` and at+1 if the phase around them
// shows one; an odd k changes the sign of the amplitude beyond.
bool TakeOutStep(SideRays& side, int at)
{
    const int n = side.size();
    const StepFit fit = FitPhaseStep(side, at, std::max(1, at - 3), std::min(n - 1, at + 4));
    if (!fit.ok)
        return false;
    const double k = std::nearbyint(fit.step / kPi);
    if (k == 0 || std::fabs(fit.step - k * kPi) > kStepTolerance)
        return false;
    const bool flip = std::fmod(std::fabs(k), 2.0) == 1.0;
    for (int j = at + 1; j < n; ++j) {
        side.phase[static_cast<std::size_t>(j)] -= k * kPi;
        if (flip)
            side.amplitude[static_cast<std::size_t>(j)] = -side.amplitude[static_cast<std::size_t>(j)];
    }
    return true;
}

// Where a Fresnel coefficient passes through zero on a branch (Brewster's angle, in parallel
// polarisation) the ray's amplitude changes sign, which the ray tables keep as |A| and a phase
// step of π. Here that step is taken out again, so that amplitude and phase stay smooth along
// the side. Under the rule of Fresnel coefficients taken at the entry, an elongated particle's
// rays also take the entry's sign change at a ray whose amplitude does not vanish: the same
// step, with the amplitude changing sign at once. The turning ray (index 0) stays out of it:
// its phase may belong to either side.
void SignAmplitudes(SideRays& side)
{
    const int n = side.size();
    const auto amplitude = [&](int j) { return std::fabs(side.amplitude[static_cast<std::size_t>(j)]); };
    for (int m = 2; m + 2 < n; ++m) {
        const double a = amplitude(m);
        if (!(a < amplitude(m - 1) && a <= amplitude(m + 1) && a < kDipDepth * std::min(amplitude(m - 2), amplitude(m + 2))))
            continue;
        // The sign changes between the dip ray and one of its neighbours: whichever step the
        // phase fits better.
        StepFit best;
        int bestAt = -1;
        for (int at : {m - 1, m}) {
            if (at < 1)
                continue;
            const StepFit fit = FitPhaseStep(side, at, std::max(1, at - 3), std::min(n - 1, at + 4));
            if (fit.ok && (bestAt < 0 || fit.misfit < best.misfit)) {
                best = fit;
                bestAt = at;
            }
        }
        if (bestAt >= 0)
            TakeOutStep(side, bestAt);
    }
    // Steps where the phase jumps by far more than its neighbouring steps foretell.
    const auto phase = [&](int j) { return side.phase[static_cast<std::size_t>(j)]; };
    const auto x = [&](int j) { return side.x[static_cast<std::size_t>(j)]; };
    for (int at = 2; at + 2 < n; ++at) {
        const double width = x(at + 1) - x(at);
        const double before = (phase(at) - phase(at - 1)) / (x(at) - x(at - 1)) * width;
        const double after = (phase(at + 2) - phase(at + 1)) / (x(at + 2) - x(at + 1)) * width;
        if (std::fabs(phase(at + 1) - phase(at) - 0.5 * (before + after)) > kHalfPi)
            TakeOutStep(side, at);
    }
}

// Which side of the turning ray carries the caustic's π/2: the step of the phase across the
// turning ray, with a smooth polynomial in the incident height through kMaslovRays rays on
// either side. +1: the later side, −1: the earlier one, 0: no clear step of π/2.
int MaslovSide(const SideRays& early, const SideRays& late)
{
    if (early.size() <= kMaslovRays || late.size() <= kMaslovRays)
        return 0;
    constexpr int m = 2 * kMaslovRays;
    constexpr int n = 6;
    const double span = std::max(early.x[0] - early.x[kMaslovRays], late.x[kMaslovRays] - late.x[0]);
    if (!(span > 0))
        return 0;
    std::vector<double> A(static_cast<std::size_t>(m * n));
    std::vector<double> y(static_cast<std::size_t>(m));
    const double reference = early.phase[0];
    for (int row = 0; row < m; ++row) {
        const bool later = row >= kMaslovRays;
        const int j = later ? row - kMaslovRays + 1 : kMaslovRays - row;
        const SideRays& side = later ? late : early;
        const double t = (side.x[static_cast<std::size_t>(j)] - side.x[0]) / span;
        const double column[n] = {1.0, t, t * t, t * t * t, t * t * t * t, later ? 1.0 : 0.0};
        for (int k = 0; k < n; ++k)
            A[static_cast<std::size_t>(k * m + row)] = column[k];
        y[static_cast<std::size_t>(row)] = side.phase[static_cast<std::size_t>(j)] - reference;
    }
    std::array<double, n> c{};
    if (!LeastSquares(A, y, m, n, c.data()))
        return 0;
    const double step = c[5];
    if (std::fabs(std::fabs(step) - kHalfPi) > kMaslovTolerance)
        return 0;
    return step > 0 ? 1 : -1;
}

// Ray j of an order turns back: its neighbours emerge and leave on the same side of it, each
// within kMaxTurnStep (a larger step is the jump between +π and −π).
bool TurnsAt(const double* theta, int N, int j)
{
    if (j < 1 || j > N - 2 || !Emerged(theta[j - 1]) || !Emerged(theta[j]) || !Emerged(theta[j + 1]))
        return false;
    const double before = theta[j] - theta[j - 1];
    const double after = theta[j + 1] - theta[j];
    return before * after < 0 && std::fabs(before) <= kMaxTurnStep && std::fabs(after) <= kMaxTurnStep;
}

// The runs of one order as the assembly cuts them: a run closes at the last ray, where the
// angle turns back (a rainbow, or the jump between +π and −π) and beside a ray that did not
// emerge; the closing ray also starts the next run.
std::vector<std::array<int, 2>> Runs(const double* theta, int N)
{
    std::vector<std::array<int, 2>> runs;
    int count = 1;
    for (int j = 1; j <= N - 1; ++j) {
        ++count;
        const bool closes = j == N - 1 || (theta[j] - theta[j - 1]) * (theta[j + 1] - theta[j]) < 0 ||
                            std::fabs(theta[j - 1] * theta[j] * theta[j + 1]) < 1e-30;
        if (!closes)
            continue;
        runs.push_back({j - count + 1, j});
        count = 1;
    }
    return runs;
}

// How the run's rays first..last of one order are refined: the intervals w0..w1-1 (between
// rays w0 and w1) each into `factor` equal parts.
struct Refinement {
    int w0 = 0;
    int w1 = 0;
    int factor = 1;
    bool operator==(const Refinement&) const = default;
};

// The rays first..last of one order, with the rays of the refinement traced and put in their
// place. False when a traced ray does not emerge (the order's rays are interrupted between two
// of the run's rays).
bool Gather(const OrderRows& rows, int order, int first, int last, const Refinement& r, const CausticRays* more,
            Family& family)
{
    std::vector<double> heights;
    if (r.factor > 1) {
        for (int i = r.w0; i < r.w1; ++i) {
            const double h0 = more->height(i);
            const double h1 = more->height(i + 1);
            for (int j = 1; j < r.factor; ++j)
                heights.push_back(h0 + (h1 - h0) * (static_cast<double>(j) / r.factor));
        }
    }
    const std::size_t added = heights.size();
    std::vector<double> angle(added), intensity(added), phase(added);
    if (added > 0)
        more->trace(order, heights.data(), static_cast<int>(added), angle.data(), intensity.data(), phase.data());
    for (double a : angle)
        if (!Emerged(a))
            return false;

    family = Family{};
    std::size_t next = 0;
    for (int i = first; i <= last; ++i) {
        family.x.push_back(i);
        family.angle.push_back(rows.angle[i]);
        family.intensity.push_back(rows.intensity[i]);
        family.phase.push_back(rows.phase[i]);
        if (r.factor > 1 && i >= r.w0 && i < r.w1) {
            for (int j = 1; j < r.factor; ++j, ++next) {
                family.x.push_back(i + static_cast<double>(j) / r.factor);
                family.angle.push_back(angle[next]);
                family.intensity.push_back(intensity[next]);
                family.phase.push_back(phase[next]);
            }
        }
    }
    return true;
}

// The turning point of a family and its two sides.
struct Described {
    Fold fold;
    double xStar = 0;  // the coordinate of the turning point
    SideRays a, b;     // the sides of fold.a and fold.b with their coordinates
    bool aIsEarly = false;  // side a holds the rays before the turning ray
};

enum class Failure { None, Turn, Maslov, Sides };

// The one turning point of the family, the caustic angle, the sides and which of them carries
// the π/2.
Failure Describe(const Family& family, Described& out)
{
    const int n = family.size();
    const auto theta = [&](int k) { return family.angle[static_cast<std::size_t>(k)]; };
    int turn = -1;
    for (int k = 1; k + 1 < n; ++k) {
        const double before = theta(k) - theta(k - 1);
        const double after = theta(k + 1) - theta(k);
        if (before == 0 || after == 0)
            return Failure::Turn;
        if (before * after < 0) {
            if (turn >= 0 || std::fabs(before) > kMaxTurnStep || std::fabs(after) > kMaxTurnStep)
                return Failure::Turn;
            turn = k;
        }
    }
    if (turn < 0)
        return Failure::Turn;

    // The caustic angle: the extremum of the parabola through the turning ray and its neighbours.
    const double x0 = family.x[static_cast<std::size_t>(turn) - 1];
    const double x1 = family.x[static_cast<std::size_t>(turn)];
    const double x2 = family.x[static_cast<std::size_t>(turn) + 1];
    const double d1 = (theta(turn) - theta(turn - 1)) / (x1 - x0);
    const double d2 = (theta(turn + 1) - theta(turn)) / (x2 - x1);
    const double c2 = (d2 - d1) / (x2 - x0);
    const double xStar = 0.5 * (x0 + x1) - d1 / (2.0 * c2);
    Fold& fold = out.fold;
    fold.thetaC = theta(turn - 1) + (xStar - x0) * (d1 + c2 * (xStar - x1));
    fold.dir = c2 > 0 ? 1.0 : -1.0;
    out.xStar = xStar;

    SideRays early, late;
    for (SideRays* side : {&early, &late}) {
        const int step = side == &early ? -1 : 1;
        const int count = side == &early ? turn + 1 : n - turn;
        for (int j = 0; j < count; ++j) {
            const std::size_t k = static_cast<std::size_t>(turn + step * j);
            side->x.push_back(family.x[k]);
            side->angle.push_back(family.angle[k]);
            side->amplitude.push_back(std::sqrt(family.intensity[k]));
            side->phase.push_back(family.phase[k]);
        }
        SignAmplitudes(*side);
    }
    const int maslov = MaslovSide(early, late);
    if (maslov == 0)
        return Failure::Maslov;
    out.aIsEarly = maslov > 0;
    out.a = maslov > 0 ? early : late;
    out.b = maslov > 0 ? late : early;

    // The sides without the turning ray, in u = dir·(θ − θc), which must grow along each.
    for (int s = 0; s < 2; ++s) {
        const SideRays& rays = s == 0 ? out.a : out.b;
        FoldSide& side = s == 0 ? fold.a : fold.b;
        side = FoldSide{};
        for (int j = 1; j < rays.size(); ++j) {
            const double u = fold.dir * (rays.angle[static_cast<std::size_t>(j)] - fold.thetaC);
            if (!side.u.empty() && !(u > side.u.back()))
                return Failure::Sides;
            side.u.push_back(u);
            side.amplitude.push_back(rays.amplitude[static_cast<std::size_t>(j)]);
            side.phase.push_back(rays.phase[static_cast<std::size_t>(j)]);
        }
        if (side.size() < 3 || !(side.u.front() > 0))
            return Failure::Sides;
    }
    return Failure::None;
}

// The distance from the caustic, towards its bright side, where ζ of the two sides reaches
// kReachZeta, or where the shorter one ends; and ζ there.
struct Reach {
    double u = 0;
    double zeta = 0;
};

Reach FindReach(const Fold& fold)
{
    const double end = std::min({fold.a.u.back(), fold.b.u.back(), fold.a.reach, fold.b.reach});
    Reach reach;
    for (int k = 1; k < fold.a.size(); ++k) {
        const double u = fold.a.u[static_cast<std::size_t>(k)];
        if (u > end)
            break;
        double Ab = 0, phiB = 0, zeta = 0;
        if (!fold.b.At(u, Ab, phiB) ||
            !ZetaOfPhaseGap(fold.a.phase[static_cast<std::size_t>(k)] - phiB + kHalfPi, zeta))
            continue;
        if (zeta >= kReachZeta) {
            // Between this ray and the last one below the reach, ζ taken as linear in u.
            if (reach.zeta > 0 && zeta > reach.zeta)
                reach.u += (u - reach.u) * (kReachZeta - reach.zeta) / (zeta - reach.zeta);
            else
                reach.u = u;
            reach.zeta = kReachZeta;
            return reach;
        }
        reach.u = u;
        reach.zeta = zeta;
    }
    return reach;
}

// How far from the turning point, in the run's ray spacings, a side reaches out to u, how
// many of its rays lie within, and the largest step of u between two of its rays up to the
// first beyond u (towards a grazing edge the angle runs away from ray to ray).
struct SideSpan {
    double spacings = 0;
    int rays = 0;
    double largestStep = 0;
};

SideSpan SpanTo(const SideRays& rays, const FoldSide& side, double xStar, double u)
{
    SideSpan span;
    for (int j = 0; j < side.size(); ++j) {
        const double uj = side.u[static_cast<std::size_t>(j)];
        const double offset = std::fabs(rays.x[static_cast<std::size_t>(j) + 1] - xStar);
        const double u0 = j > 0 ? side.u[static_cast<std::size_t>(j) - 1] : 0.0;
        // The step to a side's last ray (a grazing one, or one beside a gap) stays out of it.
        if (j + 1 < side.size())
            span.largestStep = std::max(span.largestStep, uj - u0);
        if (uj > u) {
            const double offset0 =
                j > 0 ? std::fabs(rays.x[static_cast<std::size_t>(j)] - xStar) : 0.0;
            span.spacings = offset0 + (offset - offset0) * (u - u0) / (uj - u0);
            return span;
        }
        span.spacings = offset;
        ++span.rays;
    }
    return span;
}

// A refinement factor of at least x; beyond the bound it stays just above it (and is refused).
int FactorOf(double x) { return static_cast<int>(std::ceil(std::min(x, static_cast<double>(kMaxFactor) + 1))); }

// The number of the run's intervals from ray R outwards (by `step`) on a side of `length`
// intervals until the angle is `angle` away from the turning ray's, and `extra` more.
int IntervalsTo(const double* theta, int R, int step, int length, double angle, int extra)
{
    int k = 1;
    while (k < length && std::fabs(theta[R + step * k] - theta[R]) < angle)
        ++k;
    return std::min(length, k + extra);
}

// One turning point: the rays of runs e0..R and R..l1, refined as the caustic needs, until
// `accept` takes them. The uniform field may use the early side out to earlyReach from the
// caustic, the late one out to lateReach.
bool TraceFold(const OrderRows& rows, int order, int e0, int R, int l1, double earlyReach, double lateReach,
               const CausticRays* more, const FoldAcceptance& accept, Described& found)
{
    const double* theta = rows.angle;
    const int earlyLength = R - e0;
    const int lateLength = l1 - R;
    Refinement r{R, R, 1};

    // Enough rays on the shorter side to see the caustic at all, over as many of the run's
    // intervals on the longer side (near the turning point the two sides leave at the same
    // angles from the same distance in incident height).
    const int shortLength = std::min(earlyLength, lateLength);
    if (more != nullptr && shortLength < kSideRays) {
        r.factor = FactorOf(static_cast<double>(kSideRays) / shortLength);
        r.w0 = R - std::min(earlyLength, shortLength + kWindowExtraRays);
        r.w1 = R + std::min(lateLength, shortLength + kWindowExtraRays);
    }

    Family family;
    for (int round = 0;; ++round) {
        if (!Gather(rows, order, e0, l1, r, more, family)) {
            return false;
        }
        Described d;
        const Failure failure = Describe(family, d);
        if (failure == Failure::Turn || failure == Failure::Sides) {
            return false;
        }
        Refinement next = r;
        
        Reach reach;
        if (failure == Failure::None) {
            d.fold.a.reach = d.aIsEarly ? earlyReach : lateReach;
            d.fold.b.reach = d.aIsEarly ? lateReach : earlyReach;
            reach = FindReach(d.fold);
        }
        if (failure == Failure::Maslov || reach.zeta == 0) {
            // The phase across the turn is not resolved (a Fresnel zero close to the turning
            // ray blurs which side carries the π/2): four times finer near it.
            if (r.factor == 1) {
                next.w0 = R - std::min(earlyLength, 2 * kMaslovRays);
                next.w1 = R + std::min(lateLength, 2 * kMaslovRays);
            }
            next.factor = 4 * r.factor;
        } else {
            if (reach.zeta < kMinZetaReach)
                return false;
            // Rays from the turning ray out to the reach on either side, kReachRays on each.
            const SideSpan spanA = SpanTo(d.a, d.fold.a, d.xStar, reach.u);
            const SideSpan spanB = SpanTo(d.b, d.fold.b, d.xStar, reach.u);
            const double spacings = std::min(spanA.spacings, spanB.spacings);
            const double largestStep = std::max(spanA.largestStep, spanB.largestStep);
            const double stepShare = largestStep / (kMaxStepShare * reach.u);
            const int factor = std::max(FactorOf(kReachRays / std::max(spacings, 1e-9)),
                                        stepShare > 1 ? FactorOf(r.factor * stepShare) : 1);
            const double angle = std::fabs(d.fold.thetaC + d.fold.dir * kWindowMargin * reach.u - theta[R]);
            next.w0 = std::min(r.w0, R - IntervalsTo(theta, R, -1, earlyLength, angle, kWindowExtraRays));
            next.w1 = std::max(r.w1, R + IntervalsTo(theta, R, 1, lateLength, angle, kWindowExtraRays));
            next.factor = std::max(r.factor, factor);
            // The refined stretch must cover the reach as it is now known (the run's sparse rays
            // only guessed it). Without a tracer the run's rays must do.
            const bool covered = r.factor == 1 || (next.w0 >= r.w0 && next.w1 <= r.w1);
            const bool enough = (spanA.rays >= kReachRays && spanB.rays >= kReachRays && stepShare <= 1 && covered) ||
                                next == r || more == nullptr;
            if (enough) {
                const FoldFit fit = accept ? accept(d.fold) : FoldFit::Fitted;
                if (fit == FoldFit::Fitted) {
                    found = std::move(d);
                    return true;
                }
                if (fit == FoldFit::Unfit)
                    return false;
                // The uniform field wants rays closer to the caustic: four times finer.
                next.factor = 4 * next.factor;
            }
        }
        if (more == nullptr || round + 1 >= kMaxRounds || next.factor > kMaxFactor ||
            static_cast<long long>(next.w1 - next.w0) * (next.factor - 1) > kMaxNewRays) {
            // No finer rays to be had: these must do, if the uniform field takes them.
            if (failure != Failure::None || reach.zeta < kMinZetaReach ||
                (accept && accept(d.fold) != FoldFit::Fitted))
                return false;
            found = std::move(d);
            return true;
        }
        r = next;
    }
}

// Order p of ray R, for the message.
int OrderNumber(const CausticRays* more, int order) { return more != nullptr ? more->orderNumber(order) : order; }

} // namespace

bool FoldSide::At(double at, double& amplitudeAt, double& phaseAt) const
{
    const int n = size();
    if (n < 3 || !(at >= u.front() && at <= u.back()))
        return false;
    // The interval that holds `at`, and the four rays around it (three at either end).
    const int k = static_cast<int>(std::upper_bound(u.begin(), u.end(), at) - u.begin()) - 1;
    int lo = std::max(0, k - 1);
    int hi = std::min(n - 1, k + 2);
    if (k == 0)
        hi = 2;
    if (k >= n - 2)
        lo = n - 3;
    double y = 0, z = 0;
    for (int i = lo; i <= hi; ++i) {
        double w = 1;
        for (int j = lo; j <= hi; ++j)
            if (j != i)
                w *= (at - u[static_cast<std::size_t>(j)]) / (u[static_cast<std::size_t>(i)] - u[static_cast<std::size_t>(j)]);
        y += w * amplitude[static_cast<std::size_t>(i)];
        z += w * phase[static_cast<std::size_t>(i)];
    }
    amplitudeAt = y;
    phaseAt = z;
    return true;
}

bool ZetaOfPhaseGap(double gap, double& zeta)
{
    if (!(gap > 0))
        return false;
    const double root = std::cbrt(0.75 * gap);
    zeta = root * root;
    return true;
}

void TracedCausticRays::trace(int order, const double* heights, int count, double* angle, double* intensity,
                              double* phase) const
{
    // The control of the assembly, without the tracer's progress.
    class Quiet final : public RunControl {
    public:
        explicit Quiet(RunControl& outer) : outer_(outer) {}
        bool cancelRequested() const override { return outer_.cancelRequested(); }

    protected:
        void display(const std::string& text) override { outer_.show(text); }

    private:
        RunControl& outer_;
    } quiet(control_);

    const int p = orderNumber(order);
    for (int done = 0; done < count; done += kMaxRays) {
        const int n = std::min(kMaxRays, count - done);
        const RayTablesPtr tables = MakeRayTables(n, p + 1);
        TraceRays(P_, norm_, heights + done, n, p, *tables, nullptr, quiet, rule_);
        std::copy_n(tables->RayAngle[static_cast<std::size_t>(p)].data(), n, angle + done);
        std::copy_n(tables->RayIntensity[static_cast<std::size_t>(p)].data(), n, intensity + done);
        std::copy_n(tables->RayPhase[static_cast<std::size_t>(p)].data(), n, phase + done);
    }
}

FoldSearch FindFolds(const std::vector<OrderRows>& orders, int NumIncRays, const std::vector<CausticBranch>& kept,
                     const CausticRays* more, const FoldAcceptance& accept)
{
    std::map<std::array<int, 3>, int> keptIndex;  // (order, first, count) → branch
    for (std::size_t k = 0; k < kept.size(); ++k)
        keptIndex[{kept[k].order, kept[k].first, kept[k].count}] = static_cast<int>(k);
    const auto branchOf = [&](int order, int first, int last) {
        const auto it = keptIndex.find({order, first, last - first + 1});
        return it == keptIndex.end() ? -1 : it->second;
    };

    FoldSearch search;
    for (int order = 0; order < static_cast<int>(orders.size()); ++order) {
        const OrderRows& rows = orders[static_cast<std::size_t>(order)];
        const double* theta = rows.angle;
        const std::vector<std::array<int, 2>> runs = Runs(theta, NumIncRays);
        for (std::size_t r = 0; r + 1 < runs.size(); ++r) {
            const int e0 = runs[r][0];
            const int R = runs[r][1];
            const int l1 = runs[r + 1][1];
            if (runs[r + 1][0] != R || !TurnsAt(theta, NumIncRays, R))
                continue;
            // A side whose run turns back at its other end as well shares its angles with the
            // caustic there: each of the two takes less than half of them.
            constexpr double kWhole = std::numeric_limits<double>::infinity();
            const double earlyReach =
                TurnsAt(theta, NumIncRays, e0) ? kSharedShare * std::fabs(theta[e0] - theta[R]) : kWhole;
            const double lateReach =
                TurnsAt(theta, NumIncRays, l1) ? kSharedShare * std::fabs(theta[l1] - theta[R]) : kWhole;
            Described d;
            if (!TraceFold(rows, order, e0, R, l1, earlyReach, lateReach, more, accept, d)) {
                search.untreated.push_back({OrderNumber(more, order), theta[R]});
                continue;
            }
            Fold& fold = d.fold;
            fold.order = order;
            fold.p = OrderNumber(more, order);
            fold.a.branch = d.aIsEarly ? branchOf(order, e0, R) : branchOf(order, R, l1);
            fold.b.branch = d.aIsEarly ? branchOf(order, R, l1) : branchOf(order, e0, R);
            search.folds.push_back(std::move(fold));
        }
    }
    return search;
}

std::string UntreatedCausticsMessage(const std::vector<UntreatedCaustic>& untreated)
{
    // A caustic and its mirror image (the two sides of a sphere) are named together.
    std::string list;
    for (std::size_t k = 0; k < untreated.size(); ++k) {
        const UntreatedCaustic& c = untreated[k];
        const std::string angle = Format("%.2f", {std::fabs(ToDegrees(c.thetaC))});
        bool mirrored = false;
        if (k + 1 < untreated.size()) {
            const UntreatedCaustic& next = untreated[k + 1];
            mirrored = next.p == c.p && c.thetaC < 0 && next.thetaC > 0 &&
                       Format("%.2f", {ToDegrees(next.thetaC)}) == angle;
        }
        if (!list.empty())
            list += ", ";
        list += "order " + IntToStr(c.p) + " at " + (mirrored ? "±" : c.thetaC < 0 ? "-" : "") + angle + "°";
        k += mirrored ? 1 : 0;
    }
    const bool one = untreated.size() == 1;
    return std::string("Uniform rainbow: ") + (one ? "the caustic of " : "the caustics of ") + list +
           (one ? " keeps its plain rays" : " keep their plain rays") +
           ": the rays beyond the turning point end or change abruptly too close to it (at a grazing edge, a gap "
           "in the rays, another caustic or a step of their phase).";
}

} // namespace orvane
