#include "engine/UniformCaustic.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numeric/Angles.h"
#include "engine/AssembleOrders.h"
#include "numeric/AiryFunctions.h"
#include "base/MessageSink.h"
#include "numeric/Numerics.h"

namespace orvane {

// The two rays of a caustic on its bright side: rays from the turning ray outwards, with
// signed amplitudes, interpolated onto the grid angles that both branches cover.
struct BrightRays {
    int sectionLo = 0;  // grid angle of point 0 of the plans
    std::vector<double> nodesA, nodesB;
    LagrangePlan planA, planB;
};

namespace {

constexpr double kSqrtPi = 1.7724538509055160;

// A step this large beside the turning ray is the jump between +π and −π, not a turn.
constexpr double kMaxTurnStep = 0.5;
// Rays on each side of the turning ray that show which branch carries the caustic's π/2, and
// how far their step may stray from π/2.
constexpr int kMaslovRays = 6;
constexpr double kMaslovTolerance = 0.35;
// The bright side is taken out to ζ = 8, where the uniform field and the two rays agree to
// about 1 %; the field hands over to the plain sum from 0.6 of that reach on.
constexpr double kZetaReach = 8.0;
constexpr double kBlendStart = 0.6;
// The polynomials follow the samples out to the largest of these ζ they can.
constexpr std::array<double, 3> kFitReach = {8.0, 5.0, 3.0};
// Too short a bright side (the shorter branch ends early) describes no caustic.
constexpr double kMinZetaReach = 1.0;
constexpr int kMinSamples = 8;
constexpr int kMaxSamples = 192;
// How closely the polynomials must follow the samples.
constexpr double kZetaResidual = 0.02;       // of ζ at the reach, rms
constexpr double kAmplitudeResidual = 0.03;  // of the rms of P, for P and Q
constexpr double kPhaseResidual = 0.05;      // rad, rms
// On the dark side ζ is carried out to twice the fitted reach, at most to ζ = −10, where Ai² is
// 1e-13 of its peak; the field fades over the last 30 %.
constexpr double kDarkReach = 2.0;
constexpr double kMaxDarkZeta = 10.0;
constexpr double kDarkTaperStart = 0.7;
// The share of a branch's angles a caustic may take when the branch turns at both ends.
constexpr double kSharedShare = 0.45;
// Rays from the turning ray where the samples for the polynomials begin.
constexpr int kFitRays = 4;
// Grid angles interpolated at once while sampling.
constexpr int kChunk = 256;
// A ray whose amplitude is below this share of both rays two places away marks a zero of a
// Fresnel coefficient, if the phase steps there by a multiple of π (within the tolerance).
constexpr double kDipDepth = 0.5;
constexpr double kStepTolerance = 0.6;

double Horner3(const std::array<double, 3>& c, double v) { return c[0] + v * (c[1] + v * c[2]); }
double Horner4(const std::array<double, 4>& c, double v) { return c[0] + v * (c[1] + v * (c[2] + v * c[3])); }
double ZetaOf(const Caustic& c, double v) { return v * Horner3(c.zeta, v); }

// 1 up to `from`, 0 from `to` on, a smooth step between.
double Fade(double x, double from, double to)
{
    if (!(to > from))
        return x <= from ? 1.0 : 0.0;
    const double t = (x - from) / (to - from);
    if (t <= 0)
        return 1.0;
    if (t >= 1)
        return 0.0;
    return 1.0 - t * t * (3.0 - 2.0 * t);
}

// 1 up to `from`, 0 from `to` on, for a falling x (to < from < 0: the dark side).
double FadeDown(double x, double from, double to) { return Fade(-x, -from, -to); }

// Least squares: the n coefficients c that minimise |A·c − y| for m rows (A column after
// column), by Householder reflections of the columns scaled to unit length. False when the
// columns are (nearly) dependent.
bool LeastSquares(std::vector<double> A, std::vector<double> y, int m, int n, double* c)
{
    constexpr int kMaxColumns = 6;
    if (m < n || n > kMaxColumns)
        return false;
    std::array<double, kMaxColumns> scale{};
    std::array<double, kMaxColumns> diagonal{};
    auto at = [&](int row, int col) -> double& {
        return A[static_cast<std::size_t>(col) * static_cast<std::size_t>(m) + static_cast<std::size_t>(row)];
    };
    for (int j = 0; j < n; ++j) {
        double sum = 0;
        for (int i = 0; i < m; ++i)
            sum += at(i, j) * at(i, j);
        if (!(sum > 0))
            return false;
        scale[static_cast<std::size_t>(j)] = std::sqrt(sum);
        for (int i = 0; i < m; ++i)
            at(i, j) /= scale[static_cast<std::size_t>(j)];
    }
    for (int k = 0; k < n; ++k) {
        double sum = 0;
        for (int i = k; i < m; ++i)
            sum += at(i, k) * at(i, k);
        const double norm = std::sqrt(sum);
        if (!(norm > 1e-10))
            return false;
        const double alpha = at(k, k) > 0 ? -norm : norm;
        // The reflection vector x − alpha·e_k, kept in column k.
        at(k, k) -= alpha;
        double vv = 0;
        for (int i = k; i < m; ++i)
            vv += at(i, k) * at(i, k);
        for (int j = k + 1; j < n; ++j) {
            double dot = 0;
            for (int i = k; i < m; ++i)
                dot += at(i, k) * at(i, j);
            const double f = 2.0 * dot / vv;
            for (int i = k; i < m; ++i)
                at(i, j) -= f * at(i, k);
        }
        double dot = 0;
        for (int i = k; i < m; ++i)
            dot += at(i, k) * y[static_cast<std::size_t>(i)];
        const double f = 2.0 * dot / vv;
        for (int i = k; i < m; ++i)
            y[static_cast<std::size_t>(i)] -= f * at(i, k);
        diagonal[static_cast<std::size_t>(k)] = alpha;
    }
    for (int k = n - 1; k >= 0; --k) {
        double sum = y[static_cast<std::size_t>(k)];
        for (int j = k + 1; j < n; ++j)
            sum -= at(k, j) * c[j];
        c[k] = sum / diagonal[static_cast<std::size_t>(k)];
    }
    for (int j = 0; j < n; ++j)
        c[j] /= scale[static_cast<std::size_t>(j)];
    return true;
}

// A polynomial in v with the powers lowest..lowest+N-1 through the samples y, each row of the
// least squares weighted by w; true when the weighted rms misfit is within `tolerance` of
// the rms weight.
template <std::size_t N>
bool FitPowers(const std::vector<double>& v, const std::vector<double>& y, const std::vector<double>& w, int lowest,
               double tolerance, std::array<double, N>& c)
{
    const int m = static_cast<int>(v.size());
    const int n = static_cast<int>(N);
    std::vector<double> A(static_cast<std::size_t>(m) * N);
    std::vector<double> wy(static_cast<std::size_t>(m));
    double sumW = 0;
    for (int i = 0; i < m; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        wy[at] = w[at] * y[at];
        sumW += w[at] * w[at];
        for (int j = 0; j < n; ++j)
            A[static_cast<std::size_t>(j * m + i)] = w[at] * std::pow(v[at], lowest + j);
    }
    if (!LeastSquares(A, wy, m, n, c.data()))
        return false;
    double sum = 0;
    for (int i = 0; i < m; ++i) {
        double model = 0;
        for (int j = 0; j < n; ++j)
            model += A[static_cast<std::size_t>(j * m + i)] * c[static_cast<std::size_t>(j)];
        const double r = model - wy[static_cast<std::size_t>(i)];
        sum += r * r;
    }
    return std::sqrt(sum / sumW) <= tolerance;
}

// ζ, P, Q and the mean phase of the two rays at one angle of the bright side.
struct Sample {
    double u = 0;  // distance from the caustic angle towards the bright side [rad]
    double zeta = 0;
    double P = 0;     // (Aa + Ab)·ζ^{1/4}
    double Q = 0;     // (Aa − Ab)·ζ^{−1/4}
    double mean = 0;  // (φa + φb)/2
};

// False where ζ would not be positive or lies beyond the Airy table.
bool PairCoefficients(double Aa, double phiA, double Ab, double phiB, Sample& out)
{
    const double twoXi = phiA - phiB + kHalfPi;  // 2ξ, with (2/3)·ζ^{3/2} = ξ
    if (!(twoXi > 0))
        return false;
    const double root = std::cbrt(0.75 * twoXi);
    out.zeta = root * root;
    if (!(out.zeta < kAiryLimit))
        return false;
    const double quarter = std::sqrt(std::sqrt(out.zeta));
    out.P = (Aa + Ab) * quarter;
    out.Q = (Aa - Ab) / quarter;
    out.mean = 0.5 * (phiA + phiB);
    return true;
}

Complex Field(double zeta, double P, double Q, double mean)
{
    const AiryValue airy = AiryAi(-zeta);
    const double re = P * airy.ai;
    const double im = Q * airy.aiPrime;
    const double cosM = std::cos(mean);
    const double sinM = std::sin(mean);
    return {kSqrtPi * (re * cosM - im * sinM), kSqrtPi * (re * sinM + im * cosM)};
}

Complex FittedField(const Caustic& c, double v)
{
    return Field(ZetaOf(c, v), Horner3(c.P, v), Horner3(c.Q, v), Horner4(c.mean, v));
}

// The rays of one branch, from the turning ray outwards, with the amplitude signed: where a
// Fresnel coefficient passes through zero (at Brewster's angle, in parallel polarisation) the
// ray's amplitude changes sign, which the ray tables keep as |A| and a phase step of π. Here
// that step is taken out again, so that amplitude and phase stay smooth along the branch.
struct Side {
    std::vector<double> angle;
    std::vector<double> amplitude;
    std::vector<double> phase;
    int size() const { return static_cast<int>(angle.size()); }
};

Side GatherSide(const CausticBranch& b, int R, int step)
{
    Side side;
    for (int j = 0; j < b.count; ++j) {
        const int ray = R + step * j;
        side.angle.push_back(b.angle[ray]);
        side.amplitude.push_back(std::sqrt(b.intensity[ray]));
        side.phase.push_back(b.phase[ray]);
    }
    return side;
}

// The phase step between rays `at` and at+1 of a side, with a quadratic through the rays
// from..to around it, and the rms misfit of that model.
struct StepFit {
    double step = 0;
    double misfit = 0;
    bool ok = false;
};

StepFit FitPhaseStep(const Side& side, int at, int from, int to)
{
    StepFit fit;
    constexpr int n = 4;
    const int m = to - from + 1;
    if (m < n + 2)
        return fit;
    std::vector<double> A(static_cast<std::size_t>(m * n));
    std::vector<double> y(static_cast<std::size_t>(m));
    for (int j = from; j <= to; ++j) {
        const int row = j - from;
        const double t = static_cast<double>(j - at);
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
        const double t = static_cast<double>(j - at);
        const double model = c[0] + t * (c[1] + t * c[2]) + (j > at ? c[3] : 0.0);
        const double r = model - y[static_cast<std::size_t>(j - from)];
        sum += r * r;
    }
    fit.step = c[3];
    fit.misfit = std::sqrt(sum / m);
    fit.ok = true;
    return fit;
}

// Takes the steps of π out of a side's phase where its amplitude dips through zero. The
// turning ray (index 0) stays out of it: its phase may belong to either side of the caustic.
void SignAmplitudes(Side& side)
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
        if (bestAt < 0)
            continue;
        const double k = std::nearbyint(best.step / kPi);
        if (k == 0 || std::fabs(best.step - k * kPi) > kStepTolerance)
            continue;
        const bool flip = std::fmod(std::fabs(k), 2.0) == 1.0;
        for (int j = bestAt + 1; j < n; ++j) {
            side.phase[static_cast<std::size_t>(j)] -= k * kPi;
            if (flip)
                side.amplitude[static_cast<std::size_t>(j)] = -side.amplitude[static_cast<std::size_t>(j)];
        }
    }
}

// Which side of the turning ray carries the caustic's π/2: the step of the phase across the
// turning ray, with a smooth polynomial through kMaslovRays rays on either side. +1: the
// later side, −1: the earlier one, 0: no clear step of π/2.
int MaslovSide(const Side& early, const Side& late)
{
    constexpr int m = 2 * kMaslovRays;
    constexpr int n = 6;
    std::vector<double> A(static_cast<std::size_t>(m * n));
    std::vector<double> y(static_cast<std::size_t>(m));
    const double reference = early.phase[0];
    for (int row = 0; row < m; ++row) {
        const bool later = row >= kMaslovRays;
        const int j = later ? row - kMaslovRays + 1 : kMaslovRays - row;
        const double t = (later ? j : -j) / static_cast<double>(kMaslovRays);
        const double column[n] = {1.0, t, t * t, t * t * t, t * t * t * t, later ? 1.0 : 0.0};
        for (int k = 0; k < n; ++k)
            A[static_cast<std::size_t>(k * m + row)] = column[k];
        y[static_cast<std::size_t>(row)] = (later ? late : early).phase[static_cast<std::size_t>(j)] - reference;
    }
    std::array<double, n> c{};
    if (!LeastSquares(A, y, m, n, c.data()))
        return 0;
    const double step = c[5];
    if (std::fabs(std::fabs(step) - kHalfPi) > kMaslovTolerance)
        return 0;
    return step > 0 ? 1 : -1;
}

// The polynomials of ζ, P, Q and the mean phase through the samples out to ζ = reach; false
// when too few samples lie there or the polynomials do not follow them.
bool FitNearField(const std::vector<Sample>& samples, double reach, Caustic& c)
{
    int count = 0;
    while (count < static_cast<int>(samples.size()) && samples[static_cast<std::size_t>(count)].zeta <= reach)
        ++count;
    if (count < kMinSamples || samples[static_cast<std::size_t>(count) - 1].zeta < kMinZetaReach)
        return false;
    c.uFit = samples[static_cast<std::size_t>(count) - 1].u;
    const int used = std::min(count, kMaxSamples);
    std::vector<double> v(static_cast<std::size_t>(used)), zeta(v.size()), P(v.size()), Q(v.size()), mean(v.size());
    // ζ and Q carry the errors of the rays' phases and amplitudes magnified by ζ^{−1/2} near
    // the caustic: their rows are weighted by √ζ.
    std::vector<double> even(v.size(), 1.0), rootZeta(v.size());
    const double mean0 = samples[0].mean;
    double sumP = 0;
    for (int k = 0; k < used; ++k) {
        const int index =
            used == count ? k : static_cast<int>((static_cast<long long>(k) * (count - 1)) / (used - 1));
        const Sample& s = samples[static_cast<std::size_t>(index)];
        v[static_cast<std::size_t>(k)] = s.u / c.uFit;
        zeta[static_cast<std::size_t>(k)] = s.zeta;
        P[static_cast<std::size_t>(k)] = s.P;
        Q[static_cast<std::size_t>(k)] = s.Q;
        mean[static_cast<std::size_t>(k)] = s.mean - mean0;
        rootZeta[static_cast<std::size_t>(k)] = std::sqrt(s.zeta);
        sumP += s.P * s.P;
    }
    const double rmsP = std::sqrt(sumP / used);
    const double zetaReach = samples[static_cast<std::size_t>(count) - 1].zeta;
    if (!FitPowers(v, zeta, rootZeta, 1, kZetaResidual * zetaReach, c.zeta) ||
        !FitPowers(v, P, even, 0, kAmplitudeResidual * rmsP, c.P) ||
        !FitPowers(v, Q, rootZeta, 0, kAmplitudeResidual * rmsP, c.Q) ||
        !FitPowers(v, mean, even, 0, kPhaseResidual, c.mean))
        return false;
    c.mean[0] += mean0;
    return true;
}

// ζ grows with v over [from, 1].
bool Rising(const Caustic& c, double from)
{
    const auto slope = [&](double x) { return c.zeta[0] + x * (2.0 * c.zeta[1] + x * 3.0 * c.zeta[2]) > 0; };
    bool rising = slope(from) && slope(0.0) && slope(1.0);
    if (c.zeta[2] != 0) {
        const double turn = -c.zeta[1] / (3.0 * c.zeta[2]);
        if (turn > from && turn < 1.0)
            rising = rising && slope(turn);
    }
    return rising;
}

bool ZonesOverlap(const GridRange& x, const GridRange& y) { return x.lo < y.hi && y.lo < x.hi; }

// Two consecutive branches of one order that meet at a ray where the angle turns back.
bool TurnsAt(const CausticBranch& early, const CausticBranch& late)
{
    if (early.angle != late.angle || early.first + early.count - 1 != late.first || early.count < 2 || late.count < 2)
        return false;
    const double* theta = early.angle;
    const int R = late.first;
    const double before = theta[R] - theta[R - 1];
    const double after = theta[R + 1] - theta[R];
    return before * after < 0 && std::fabs(before) <= kMaxTurnStep && std::fabs(after) <= kMaxTurnStep;
}

// The grid angles g with lowU < u(g) <= highU, u = dir·(θ_g − θc).
GridRange GridSpan(const ScatteringGrid& grid, const Caustic& c, double lowU, double highU)
{
    GridRange r{grid.NumScaRays, grid.NumScaRays};
    int lo = grid.NumScaRays;
    int hi = -1;
    // A first guess from the spacing, then the exact test on the grid angles around it.
    const double t1 = c.thetaC + c.dir * lowU;
    const double t2 = c.thetaC + c.dir * highU;
    const int g1 = std::clamp(static_cast<int>(std::floor((std::min(t1, t2) + kPi) / grid.ThetaStep)) - 1, 0,
                              grid.NumScaRays - 1);
    const int g2 = std::clamp(static_cast<int>(std::ceil((std::max(t1, t2) + kPi) / grid.ThetaStep)) + 1, 0,
                              grid.NumScaRays - 1);
    for (int g = g1; g <= g2; ++g) {
        const double u = c.dir * (grid.ThetaGrid[static_cast<std::size_t>(g)] - c.thetaC);
        if (u > lowU && u <= highU) {
            lo = std::min(lo, g);
            hi = std::max(hi, g);
        }
    }
    if (lo <= hi)
        r = {lo, hi + 1};
    return r;
}

// The caustic where branches i and i+1 meet, if they do at a turning point that their rays
// and the grid describe well enough.
bool FindCaustic(const std::vector<CausticBranch>& branches, int i, const ScatteringGrid& grid, Caustic& c)
{
    const CausticBranch& early = branches[static_cast<std::size_t>(i)];
    const CausticBranch& late = branches[static_cast<std::size_t>(i) + 1];
    if (early.angle != late.angle)
        return false;  // two orders
    const int R = late.first;
    if (early.first + early.count - 1 != R)
        return false;  // a dropped branch or a gap lies between them
    if (R - early.first < kMaslovRays || late.count - 1 < kMaslovRays)
        return false;
    if (!TurnsAt(early, late))
        return false;
    const double* theta = early.angle;

    // The caustic angle: the extremum of the parabola through the turning ray and its neighbours.
    const double curvature = theta[R + 1] - 2.0 * theta[R] + theta[R - 1];
    const double slope = 0.5 * (theta[R + 1] - theta[R - 1]);
    c.thetaC = theta[R] - slope * slope / (2.0 * curvature);
    c.dir = curvature > 0 ? 1.0 : -1.0;

    Side earlySide = GatherSide(early, R, -1);
    Side lateSide = GatherSide(late, R, 1);
    SignAmplitudes(earlySide);
    SignAmplitudes(lateSide);
    const int maslov = MaslovSide(earlySide, lateSide);
    if (maslov == 0)
        return false;
    c.lead = i;
    c.partner = i + 1;
    c.b = maslov > 0 ? i + 1 : i;
    c.a = maslov > 0 ? i : i + 1;
    const CausticBranch& A = branches[static_cast<std::size_t>(c.a)];
    const CausticBranch& B = branches[static_cast<std::size_t>(c.b)];
    const Side& sideA = maslov > 0 ? earlySide : lateSide;
    const Side& sideB = maslov > 0 ? lateSide : earlySide;

    // The interpolation of a branch is sound from its third ray on: the intervals next to the
    // turning ray lean on that ray, whose amplitude diverges and whose phase may belong to
    // either side.
    const double uClean = std::max(c.dir * (theta[R - 2] - c.thetaC), c.dir * (theta[R + 2] - c.thetaC));
    if (!(uClean > 0))
        return false;

    // The two rays on the grid angles both branches cover, interpolated like the plain sum but
    // with the signed amplitudes. The points lie inside both ranges of angles: no message.
    const int lo = std::max(A.s, B.s);
    const int hi = std::min(A.s + A.nGrid, B.s + B.nGrid);
    if (hi - lo < 2)
        return false;
    auto bright = std::make_shared<BrightRays>();
    bright->sectionLo = lo;
    bright->nodesA.resize(3 * static_cast<std::size_t>(sideA.size()));
    bright->nodesB.resize(3 * static_cast<std::size_t>(sideB.size()));
    const double* points = grid.ThetaGrid.data() + lo;
    RecordingSink quiet;
    bright->planA = PrepareLagrange(sideA.angle.data(), sideA.amplitude.data(), sideA.phase.data(), points,
                                    sideA.size(), hi - lo, bright->nodesA.data(), quiet);
    bright->planB = PrepareLagrange(sideB.angle.data(), sideB.amplitude.data(), sideB.phase.data(), points,
                                    sideB.size(), hi - lo, bright->nodesB.data(), quiet);

    // A branch that turns back at its other end as well is shared with the caustic there:
    // each of the two takes less than half of its angles.
    double uCap = std::numeric_limits<double>::infinity();
    if (i > 0 && TurnsAt(branches[static_cast<std::size_t>(i) - 1], early))
        uCap = std::min(uCap, kSharedShare * std::fabs(theta[early.first] - theta[R]));
    if (i + 2 < static_cast<int>(branches.size()) && TurnsAt(late, branches[static_cast<std::size_t>(i) + 2]))
        uCap = std::min(uCap, kSharedShare * std::fabs(theta[late.first + late.count - 1] - theta[R]));

    // Samples outwards from the caustic, to ζ = kZetaReach or the end of the shorter branch.
    std::vector<Sample> samples;
    std::vector<double> aAmp(kChunk), aPhase(kChunk), bAmp(kChunk), bPhase(kChunk);
    bool reached = false;
    for (int k = 0; k < hi - lo && !reached; k += kChunk) {
        const int n = std::min(kChunk, hi - lo - k);
        const int j0 = c.dir > 0 ? k : hi - lo - k - n;
        EvaluateLagrange(bright->planA, j0, j0 + n, aAmp.data(), aPhase.data());
        EvaluateLagrange(bright->planB, j0, j0 + n, bAmp.data(), bPhase.data());
        for (int r = 0; r < n; ++r) {
            const int q = c.dir > 0 ? r : n - 1 - r;
            const std::size_t at = static_cast<std::size_t>(q);
            Sample s;
            s.u = c.dir * (points[j0 + q] - c.thetaC);
            if (!(s.u > uClean) || !PairCoefficients(aAmp[at], aPhase[at], bAmp[at], bPhase[at], s))
                continue;
            if (s.zeta > kZetaReach || s.u > uCap) {
                reached = true;
                break;
            }
            samples.push_back(s);
        }
    }
    if (static_cast<int>(samples.size()) < kMinSamples || samples.back().zeta < kMinZetaReach)
        return false;
    c.uEnd = samples.back().u;
    c.uBlend = c.uEnd;
    for (const Sample& s : samples)
        if (s.zeta >= kBlendStart * samples.back().zeta) {
            c.uBlend = s.u;
            break;
        }

    // The polynomials take the samples from kFitRays rays out, where the interpolation in the
    // angle follows the rays' singular amplitude and phase closely; too few there (sparse rays,
    // a coarse grid), they take them all.
    const int fitRays = std::min({kFitRays, R - early.first, late.count - 1});
    const double uFitStart = std::max(c.dir * (theta[R - fitRays] - c.thetaC), c.dir * (theta[R + fitRays] - c.thetaC));
    std::vector<Sample> outer;
    for (const Sample& s : samples)
        if (s.u > uFitStart)
            outer.push_back(s);
    bool fitted = false;
    for (const std::vector<Sample>* set : {&outer, &samples})
        for (double reach : kFitReach)
            if (!fitted && FitNearField(*set, reach, c) && Rising(c, -1.0))
                fitted = true;
    if (!fitted)
        return false;
    c.uJoin = std::max(0.5 * c.uFit, uClean);

    // The dark side: ζ carried on, while it keeps falling, to ζ = −10 at most.
    double vDark = Rising(c, -kDarkReach) ? -kDarkReach : -1.0;
    if (ZetaOf(c, vDark) < -kMaxDarkZeta) {
        double inside = 0.0;
        for (int step = 0; step < 60; ++step) {
            const double mid = 0.5 * (vDark + inside);
            if (ZetaOf(c, mid) < -kMaxDarkZeta)
                vDark = mid;
            else
                inside = mid;
        }
        vDark = inside;
    }
    c.zetaDarkEnd = ZetaOf(c, vDark);
    c.zetaDark = kDarkTaperStart * c.zetaDarkEnd;

    c.zone = GridSpan(grid, c, vDark * c.uFit, c.uEnd);
    if (!(c.zone.lo < c.zone.hi))
        return false;
    c.point = GridSpan(grid, c, c.uJoin, c.uEnd);
    c.blend = GridSpan(grid, c, c.uBlend, c.uEnd);
    // Both lie where the samples were taken, inside both branches' sections.
    if (c.point.lo < c.point.hi && (c.point.lo < lo || c.point.hi > hi))
        return false;
    c.bright = std::move(bright);
    return true;
}

} // namespace

Complex UniformPairField(double Aa, double phiA, double Ab, double phiB)
{
    Sample s;
    if (!PairCoefficients(Aa, phiA, Ab, phiB, s))
        return {};
    return Field(s.zeta, s.P, s.Q, s.mean);
}

UniformCaustics::UniformCaustics(const std::vector<CausticBranch>& branches, const ScatteringGrid& grid,
                                 const BranchInterpolation& plain)
    : plain_(&plain), branches_(branches), byBranch_(branches.size(), {-1, -1})
{
    for (int i = 0; i + 1 < static_cast<int>(branches.size()); ++i) {
        Caustic c;
        if (!FindCaustic(branches, i, grid, c))
            continue;
        // A branch between two turning points serves both only where their zones stay apart.
        const int earlier = byBranch_[static_cast<std::size_t>(i)][0];
        if (earlier >= 0 && ZonesOverlap(caustics_[static_cast<std::size_t>(earlier)].zone, c.zone))
            continue;
        const int index = static_cast<int>(caustics_.size());
        caustics_.push_back(std::move(c));
        byBranch_[static_cast<std::size_t>(i)][earlier >= 0 ? 1 : 0] = index;
        byBranch_[static_cast<std::size_t>(i) + 1][0] = index;
    }
}

int UniformCaustics::FreeRanges(int branch, int lo, int hi, std::array<GridRange, 3>& out) const
{
    if (lo >= hi)
        return 0;
    if (caustics_.empty()) {
        out[0] = {lo, hi};
        return 1;
    }
    // The zones of this branch's caustics, in increasing order (they do not overlap).
    std::array<GridRange, 2> zones{};
    int zoneCount = 0;
    for (int k : byBranch_[static_cast<std::size_t>(branch)])
        if (k >= 0)
            zones[static_cast<std::size_t>(zoneCount++)] = caustics_[static_cast<std::size_t>(k)].zone;
    if (zoneCount == 2 && zones[1].lo < zones[0].lo)
        std::swap(zones[0], zones[1]);
    int count = 0;
    int from = lo;
    for (int z = 0; z < zoneCount && from < hi; ++z) {
        const GridRange& zone = zones[static_cast<std::size_t>(z)];
        if (zone.lo > from)
            out[static_cast<std::size_t>(count++)] = {from, std::min(hi, zone.lo)};
        from = std::max(from, zone.hi);
    }
    if (from < hi)
        out[static_cast<std::size_t>(count++)] = {from, hi};
    return count;
}

void UniformCaustics::AddCausticAmplitudes(int branch, int lo, int hi, ScatteringGrid& grid, CausticWork& work) const
{
    if (caustics_.empty())
        return;
    for (int k : byBranch_[static_cast<std::size_t>(branch)])
        if (k >= 0 && caustics_[static_cast<std::size_t>(k)].lead == branch)
            AddField(caustics_[static_cast<std::size_t>(k)], lo, hi, grid, work);
}

void UniformCaustics::AddField(const Caustic& c, int lo, int hi, ScatteringGrid& grid, CausticWork& work) const
{
    lo = std::max(lo, c.zone.lo);
    hi = std::min(hi, c.zone.hi);
    if (lo >= hi)
        return;

    // Working rows: the two rays with signed amplitudes where the field is formed from them,
    // then the two branches' plain values where it is blended into the plain sum.
    const GridRange point{std::max(lo, c.point.lo), std::min(hi, c.point.hi)};
    const GridRange blend{std::max(lo, c.blend.lo), std::min(hi, c.blend.hi)};
    const int pointCount = std::max(0, point.hi - point.lo);
    const int blendCount = std::max(0, blend.hi - blend.lo);
    const std::size_t rows = 2 * static_cast<std::size_t>(pointCount + blendCount);
    if (work.amplitude.size() < rows) {
        work.amplitude.resize(rows);
        work.phase.resize(rows);
    }
    double* pointA = work.amplitude.data();
    double* pointB = pointA + pointCount;
    double* blendA = pointB + pointCount;
    double* blendB = blendA + blendCount;
    double* phaseA = work.phase.data();
    double* phaseB = phaseA + pointCount;
    double* blendPhaseA = phaseB + pointCount;
    double* blendPhaseB = blendPhaseA + blendCount;
    if (pointCount > 0) {
        const int offset = c.bright->sectionLo;
        EvaluateLagrange(c.bright->planA, point.lo - offset, point.hi - offset, pointA, phaseA);
        EvaluateLagrange(c.bright->planB, point.lo - offset, point.hi - offset, pointB, phaseB);
    }
    std::array<GridRange, 2> covered{};
    for (int side = 0; side < 2; ++side) {
        const int branch = side == 0 ? c.a : c.b;
        const CausticBranch& b = branches_[static_cast<std::size_t>(branch)];
        const int from = std::max(blend.lo, b.s);
        const int to = std::min(blend.hi, b.s + b.nGrid);
        covered[static_cast<std::size_t>(side)] = {from, std::max(from, to)};
        if (from < to)
            plain_->Evaluate(branch, from, to, (side == 0 ? blendA : blendB) + (from - blend.lo),
                             (side == 0 ? blendPhaseA : blendPhaseB) + (from - blend.lo));
    }

    for (int g = lo; g < hi; ++g) {
        const double u = c.dir * (grid.ThetaGrid[static_cast<std::size_t>(g)] - c.thetaC);
        const double v = u / c.uFit;
        Complex sum;
        if (u <= 0) {
            // The dark side: the polynomials alone, fading out at the zone's end.
            const double zeta = ZetaOf(c, v);
            const double weight = FadeDown(zeta, c.zetaDark, c.zetaDarkEnd);
            if (weight > 0) {
                const Complex field = FittedField(c, v);
                sum = weight * field;
            }
        } else {
            // The bright side: the polynomials near the caustic, the two rays at the angle
            // further out, the plain sum of the two rays at the zone's end.
            const double uniform = Fade(u, c.uBlend, c.uEnd);
            double fitted = Fade(u, c.uJoin, c.uFit);
            Complex field;
            if (uniform > 0 && fitted < 1) {
                Sample s;
                const std::size_t at = static_cast<std::size_t>(g - point.lo);
                if (g >= point.lo && g < point.hi && PairCoefficients(pointA[at], phaseA[at], pointB[at], phaseB[at], s)) {
                    const Complex rays = Field(s.zeta, s.P, s.Q, s.mean);
                    field = (1.0 - fitted) * rays;
                } else {
                    fitted = 1.0;
                }
            }
            if (uniform > 0 && fitted > 0) {
                const Complex near = FittedField(c, v);
                field += fitted * near;
            }
            sum = uniform * field;
            if (uniform < 1) {
                double plainRe = 0;
                double plainIm = 0;
                for (int side = 0; side < 2; ++side) {
                    const GridRange& range = covered[static_cast<std::size_t>(side)];
                    if (g < range.lo || g >= range.hi)
                        continue;
                    const std::size_t at = static_cast<std::size_t>(g - blend.lo);
                    const double amplitude = side == 0 ? blendA[at] : blendB[at];
                    const double phase = side == 0 ? blendPhaseA[at] : blendPhaseB[at];
                    plainRe += amplitude * std::cos(phase);
                    plainIm += amplitude * std::sin(phase);
                }
                sum += (1.0 - uniform) * Complex{plainRe, plainIm};
            }
        }
        grid.TotalAmpRe[static_cast<std::size_t>(g)] += sum.real();
        grid.TotalAmpIm[static_cast<std::size_t>(g)] += sum.imag();
    }
}

} // namespace orvane
