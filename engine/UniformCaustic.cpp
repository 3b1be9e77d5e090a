#include "engine/UniformCaustic.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "base/MessageSink.h"
#include "engine/AssembleOrders.h"
#include "numeric/AiryFunctions.h"
#include "numeric/Angles.h"
#include "numeric/LeastSquares.h"

namespace orvane {

namespace {

constexpr double kSqrtPi = 1.7724538509055160;

// The bright side is taken out to ζ = 8, where the uniform field and the two rays agree to
// about 1 %; the field hands over to the plain sum from 0.6 of that reach on.
constexpr double kZetaReach = 8.0;
constexpr double kBlendStart = 0.6;
// The polynomials follow the two rays out to the largest of these ζ they can: a bright side
// with a kink (a ray reaching the critical angle inside) or a step (a sign taken from the entry
// point) is followed up to it, and the rays at each angle take over beyond.
constexpr std::array<double, 17> kFitReach = {8.0, 6.0,  4.5,  3.4,  2.5,  1.9,  1.4,  1.0, 0.7,
                                              0.5, 0.35, 0.25, 0.18, 0.12, 0.08, 0.05, 0.03};
// Too short a bright side (the shorter branch ends early) describes no caustic.
constexpr double kMinZetaReach = 1.0;
// The polynomials take their samples from the fourth ray out on either side, where the
// interpolation in the angle follows the rays' singular amplitude and phase closely; that must
// lie within half of their reach, or the caustic itself would be guessed rather than fitted.
constexpr int kFitRays = 4;
constexpr double kMaxFitStart = 0.5;
constexpr int kFitSamples = 96;
// The bright side is first read at this many angles, closer together near the caustic; the
// angles where ζ reaches a given value are then found by bisection between them.
constexpr int kScanPoints = 256;
constexpr int kBisections = 40;
// How closely the polynomials must follow the samples.
constexpr double kZetaResidual = 0.02;       // of ζ at the reach, rms
constexpr double kAmplitudeResidual = 0.005;  // of the rms of P, for P and Q
constexpr double kPhaseResidual = 0.01;       // rad, rms
constexpr double kSureZeta = 0.02;
// On the dark side the polynomials hold as far as they were fitted on the bright side (−1 in
// units of their reach);
// beyond, ζ and the mean phase go on along their tangents and P and Q keep their values, out
// to ζ = −10, where Ai² is 1e-13 of its peak. The field fades over the last 30 %.
constexpr double kFittedDark = -1.0;
constexpr double kMaxDarkZeta = 10.0;
constexpr double kDarkTaperStart = 0.7;

double Horner3(const std::array<double, 3>& c, double v) { return c[0] + v * (c[1] + v * c[2]); }
double Horner4(const std::array<double, 4>& c, double v) { return c[0] + v * (c[1] + v * (c[2] + v * c[3])); }
// ζ is a polynomial in w = u/uZeta, P, Q and the mean phase are polynomials in v = u/uFit.
double ZetaPolynomial(const Caustic& c, double w) { return w * Horner3(c.zeta, w); }
double ZetaSlope(const Caustic& c, double w) { return c.zeta[0] + w * (2.0 * c.zeta[1] + w * 3.0 * c.zeta[2]); }
double MeanSlope(const Caustic& c, double v) { return c.mean[1] + v * (2.0 * c.mean[2] + v * 3.0 * c.mean[3]); }

// ζ at the distance u from the caustic: the polynomial, and its tangent beyond its reach on
// the dark side.
double ZetaAt(const Caustic& c, double u)
{
    const double w = u / c.uZeta;
    if (w >= kFittedDark)
        return ZetaPolynomial(c, w);
    return ZetaPolynomial(c, kFittedDark) + ZetaSlope(c, kFittedDark) * (w - kFittedDark);
}

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

// A polynomial in v with the powers lowest..lowest+N-1 (lowest 0 or 1) through the samples y, each row of the
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
        double power = lowest == 0 ? 1.0 : v[at];
        for (int j = 0; j < n; ++j, power *= v[at])
            A[static_cast<std::size_t>(j * m + i)] = w[at] * power;
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
    if (!ZetaOfPhaseGap(phiA - phiB + kHalfPi, out.zeta) || !(out.zeta > 0 && out.zeta < kAiryLimit))
        return false;
    const double quarter = std::sqrt(std::sqrt(out.zeta));
    out.P = (Aa + Ab) * quarter;
    out.Q = (Aa - Ab) / quarter;
    out.mean = 0.5 * (phiA + phiB);
    return true;
}

// The two rays of a fold at the distance u from its caustic.
bool PairAt(const Fold& fold, double u, Sample& out)
{
    double Aa = 0, phiA = 0, Ab = 0, phiB = 0;
    if (!fold.a.At(u, Aa, phiA) || !fold.b.At(u, Ab, phiB))
        return false;
    out.u = u;
    return PairCoefficients(Aa, phiA, Ab, phiB, out);
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

// The field of the polynomials at the distance u from the caustic.
Complex FittedField(const Caustic& c, double u)
{
    const double v = u / c.uFit;
    if (v >= kFittedDark)
        return Field(ZetaAt(c, u), Horner3(c.P, v), Horner3(c.Q, v), Horner4(c.mean, v));
    const double mean = Horner4(c.mean, kFittedDark) + MeanSlope(c, kFittedDark) * (v - kFittedDark);
    return Field(ZetaAt(c, u), Horner3(c.P, kFittedDark), Horner3(c.Q, kFittedDark), mean);
}

// The polynomial of ζ through the samples (out to c.uZeta); false when it does not follow them.
// ζ carries the errors of the rays' phases magnified by ζ^{−1/2} near the caustic: its rows are
// weighted by √ζ.
bool FitZeta(const std::vector<Sample>& samples, Caustic& c)
{
    std::vector<double> w, zeta, rootZeta;
    for (const Sample& s : samples) {
        w.push_back(s.u / c.uZeta);
        zeta.push_back(s.zeta);
        rootZeta.push_back(std::sqrt(s.zeta));
    }
    return FitPowers(w, zeta, rootZeta, 1, kZetaResidual * samples.back().zeta, c.zeta);
}

// The polynomials of P, Q and the mean phase through the samples (out to c.uFit); false when
// they do not follow them. Close to the caustic the two rays' phases differ by
// (4/3)·ζ^{3/2} only, and the least error of either (a complex Fresnel coefficient's, a
// rounding's) makes ζ, and with it P = (Aa + Ab)·ζ^{1/4} and Q = (Aa − Ab)·ζ^{−1/4}, uncertain
// by a share growing like ζ^{−3/2}: their rows are weighted down there, below ζ ≈ kSureZeta.
// Q is weighted by √ζ besides, like ζ.
bool FitAmplitudes(const std::vector<Sample>& samples, Caustic& c)
{
    const std::size_t used = samples.size();
    std::vector<double> v(used), P(used), Q(used), mean(used), sure(used), sureRootZeta(used);
    const double sureGap = kSureZeta * std::sqrt(kSureZeta);
    const double mean0 = samples[0].mean;
    double sumP = 0;
    for (std::size_t k = 0; k < used; ++k) {
        const Sample& s = samples[k];
        v[k] = s.u / c.uFit;
        P[k] = s.P;
        Q[k] = s.Q;
        mean[k] = s.mean - mean0;
        const double gap = s.zeta * std::sqrt(s.zeta);
        sure[k] = gap / (gap + sureGap);
        sureRootZeta[k] = sure[k] * std::sqrt(s.zeta);
        sumP += s.P * s.P;
    }
    const double rmsP = std::sqrt(sumP / static_cast<double>(used));
    const std::vector<double> even(used, 1.0);
    if (!FitPowers(v, P, sure, 0, kAmplitudeResidual * rmsP, c.P) ||
        !FitPowers(v, Q, sureRootZeta, 0, kAmplitudeResidual * rmsP, c.Q) ||
        !FitPowers(v, mean, even, 0, kPhaseResidual, c.mean))
        return false;
    c.mean[0] += mean0;
    return true;
}

// ζ grows with w over [from, 1].
bool Rising(const Caustic& c, double from)
{
    const auto slope = [&](double x) { return ZetaSlope(c, x) > 0; };
    bool rising = slope(from) && slope(0.0) && slope(1.0);
    if (c.zeta[2] != 0) {
        const double turn = -c.zeta[1] / (3.0 * c.zeta[2]);
        if (turn > from && turn < 1.0)
            rising = rising && slope(turn);
    }
    return rising;
}

bool ZonesOverlap(const GridRange& x, const GridRange& y) { return x.lo < y.hi && y.lo < x.hi; }

// The grid angles g with lowU < u(g) <= highU, u = dir·(θ_g − θc).
GridRange GridSpan(const ScatteringGrid& grid, const Fold& fold, double lowU, double highU)
{
    GridRange r{grid.NumScaRays, grid.NumScaRays};
    int lo = grid.NumScaRays;
    int hi = -1;
    // A first guess from the spacing, then the exact test on the grid angles around it.
    const double t1 = fold.thetaC + fold.dir * lowU;
    const double t2 = fold.thetaC + fold.dir * highU;
    const double last = grid.NumScaRays - 1;
    const int g1 = static_cast<int>(std::clamp(std::floor((std::min(t1, t2) + kPi) / grid.ThetaStep) - 1, 0.0, last));
    const int g2 = static_cast<int>(std::clamp(std::ceil((std::max(t1, t2) + kPi) / grid.ThetaStep) + 1, 0.0, last));
    for (int g = g1; g <= g2; ++g) {
        const double u = fold.dir * (grid.ThetaGrid[static_cast<std::size_t>(g)] - fold.thetaC);
        if (u > lowU && u <= highU) {
            lo = std::min(lo, g);
            hi = std::max(hi, g);
        }
    }
    if (lo <= hi)
        r = {lo, hi + 1};
    return r;
}

// The bright side of a fold read from uStart outwards: ζ at angles closer together near the
// caustic, up to the first beyond kZetaReach or where the two sides stop. Where the two rays'
// phases do not yet differ by more than the caustic's π/2 (their phases a little off, close to
// the caustic of an elongated particle) the reading begins further out.
class BrightSide {
public:
    BrightSide(const Fold& fold, double uStart, double uMax) : fold_(fold)
    {
        for (int k = 0; k <= kScanPoints; ++k) {
            const double t = static_cast<double>(k) / kScanPoints;
            Sample s;
            if (!PairAt(fold, uStart + (uMax - uStart) * (t * t), s)) {
                if (scan_.empty())
                    continue;
                break;
            }
            scan_.push_back(s);
            if (s.zeta > kZetaReach)
                break;
        }
    }

    bool empty() const { return scan_.empty() || scan_.front().zeta > kZetaReach; }
    // The first angle read.
    double begin() const { return scan_.front().u; }
    // The last angle read with ζ within kZetaReach.
    double end() const { return Crossing(kZetaReach); }

    // The first angle where ζ reaches `zeta`; the last one read if it does not.
    double Crossing(double zeta) const
    {
        std::size_t k = 0;
        while (k < scan_.size() && scan_[k].zeta < zeta)
            ++k;
        if (k == scan_.size())
            return scan_.back().u;
        if (k == 0)
            return scan_.front().u;
        double below = scan_[k - 1].u;
        double above = scan_[k].u;
        for (int step = 0; step < kBisections; ++step) {
            const double mid = 0.5 * (below + above);
            Sample s;
            if (!PairAt(fold_, mid, s))
                break;
            (s.zeta < zeta ? below : above) = mid;
        }
        return below;
    }

private:
    const Fold& fold_;
    std::vector<Sample> scan_;
};

// The uniform field of one fold, if its rays and the grid describe it well enough.
FoldFit FitFold(const Fold& fold, const ScatteringGrid& grid, Caustic& c)
{
    if (fold.a.size() <= kFitRays || fold.b.size() <= kFitRays)
        return FoldFit::FinerRays;
    const double uStart = std::max(fold.a.u[kFitRays - 1], fold.b.u[kFitRays - 1]);
    const double uMax = std::min({fold.a.u.back(), fold.b.u.back(), fold.a.reach, fold.b.reach});
    if (!(uMax > uStart))
        return FoldFit::FinerRays;
    const BrightSide bright(fold, uStart, uMax);
    if (bright.empty())
        return FoldFit::FinerRays;
    const double uFirst = bright.begin();
    // The bright side as far as the two rays describe one caustic: a step in their phases
    // (another caustic crossed by one of them) ends it too.
    c.uEnd = bright.end();
    Sample last;
    if (!PairAt(fold, c.uEnd, last) || last.zeta < kMinZetaReach)
        return FoldFit::Unfit;
    c.uBlend = bright.Crossing(kBlendStart * last.zeta);

    // The polynomials, each as far out as it follows the rays: ζ first, whose reach also
    // carries it across the dark side, then P, Q and the mean phase within that reach. Where
    // they follow the rays only closer to the caustic than the rays are dense, finer rays are
    // wanted.
    const auto samplesTo = [&](double uReach, std::vector<Sample>& samples) {
        samples.resize(kFitSamples);
        for (int k = 0; k < kFitSamples; ++k)
            if (!PairAt(fold, uFirst + (uReach - uFirst) * (static_cast<double>(k) / (kFitSamples - 1)),
                        samples[static_cast<std::size_t>(k)]))
                return false;
        return true;
    };
    const auto fitOut = [&](double zetaMax, double& uReach, const auto& fit) {
        double previous = 0;
        for (double reach : kFitReach) {
            const double zetaFit = std::min(reach, zetaMax);
            if (zetaFit == previous)
                continue;
            previous = zetaFit;
            uReach = bright.Crossing(zetaFit);
            if (!(uFirst < kMaxFitStart * uReach))
                return uFirst > uStart ? FoldFit::Unfit : FoldFit::FinerRays;
            std::vector<Sample> samples;
            if (samplesTo(uReach, samples) && fit(samples))
                return FoldFit::Fitted;
        }
        return FoldFit::Unfit;
    };
    const FoldFit zeta = fitOut(last.zeta, c.uZeta, [&](const std::vector<Sample>& samples) {
        return FitZeta(samples, c) && Rising(c, kFittedDark);
    });
    if (zeta != FoldFit::Fitted)
        return zeta;
    const FoldFit amplitudes = fitOut(ZetaPolynomial(c, 1.0), c.uFit, [&](const std::vector<Sample>& samples) {
        return FitAmplitudes(samples, c);
    });
    if (amplitudes != FoldFit::Fitted)
        return amplitudes;
    c.uJoin = std::max(0.5 * c.uFit, uFirst);

    // The dark side, out to ζ = −10.
    double wDark = kFittedDark;
    if (ZetaPolynomial(c, kFittedDark) < -kMaxDarkZeta) {
        double inside = 0.0;
        for (int step = 0; step < 60; ++step) {
            const double mid = 0.5 * (wDark + inside);
            if (ZetaPolynomial(c, mid) < -kMaxDarkZeta)
                wDark = mid;
            else
                inside = mid;
        }
        wDark = inside;
    } else {
        wDark = kFittedDark - (kMaxDarkZeta + ZetaPolynomial(c, kFittedDark)) / ZetaSlope(c, kFittedDark);
    }
    // However slowly ζ falls, the dark side ends within half a turn.
    const double uDark = std::max(wDark * c.uZeta, -kPi);
    c.zetaDarkEnd = ZetaAt(c, uDark);
    c.zetaDark = kDarkTaperStart * c.zetaDarkEnd;

    c.zone = GridSpan(grid, fold, uDark, c.uEnd);
    if (!(c.zone.lo < c.zone.hi))
        return FoldFit::Unfit;
    c.point = GridSpan(grid, fold, c.uJoin, c.uEnd);
    c.blend = GridSpan(grid, fold, c.uBlend, c.uEnd);
    return FoldFit::Fitted;
}

} // namespace

Complex UniformPairField(double Aa, double phiA, double Ab, double phiB)
{
    Sample s;
    if (!PairCoefficients(Aa, phiA, Ab, phiB, s))
        return {};
    return Field(s.zeta, s.P, s.Q, s.mean);
}

UniformCaustics::UniformCaustics(const std::vector<OrderRows>& orders, int NumIncRays,
                                 const std::vector<CausticBranch>& branches, const ScatteringGrid& grid,
                                 const BranchInterpolation& plain, const CausticRays* more, MessageSink& sink)
    : plain_(&plain), branches_(branches), byBranch_(branches.size(), {-1, -1})
{
    // The search takes a fold's rays once the field can be formed from them: the last field
    // formed belongs to the fold found, one for each, in the same order.
    std::vector<Caustic> fitted;
    FoldSearch search = FindFolds(orders, NumIncRays, branches, more, [&](const Fold& fold) {
        Caustic trial;
        const FoldFit fit = FitFold(fold, grid, trial);
        if (fit == FoldFit::Fitted)
            fitted.push_back(trial);
        return fit;
    });
    untreated_ = std::move(search.untreated);
    for (std::size_t k = 0; k < search.folds.size(); ++k) {
        const auto rays = std::make_shared<const Fold>(std::move(search.folds[k]));
        const int first = std::min(rays->a.branch, rays->b.branch);
        const int second = std::max(rays->a.branch, rays->b.branch);
        Caustic c = std::move(fitted[k]);
        c.lead = first >= 0 ? first : second;
        c.partner = first >= 0 ? second : -1;
        // The field rides on a branch the assembly keeps, beside at most one other caustic of it
        // whose zone it does not touch.
        bool room = c.lead >= 0;
        c.rays = rays;
        for (int branch : {c.lead, c.partner}) {
            if (!room || branch < 0)
                continue;
            const std::array<int, 2>& slots = byBranch_[static_cast<std::size_t>(branch)];
            room = slots[1] < 0 &&
                   (slots[0] < 0 || !ZonesOverlap(caustics_[static_cast<std::size_t>(slots[0])].zone, c.zone));
        }
        if (!room) {
            untreated_.push_back({rays->p, rays->thetaC});
            continue;
        }
        const int index = static_cast<int>(caustics_.size());
        for (int branch : {c.lead, c.partner}) {
            if (branch < 0)
                continue;
            std::array<int, 2>& slots = byBranch_[static_cast<std::size_t>(branch)];
            slots[slots[0] < 0 ? 0 : 1] = index;
        }
        caustics_.push_back(std::move(c));
    }
    if (!untreated_.empty()) {
        std::sort(untreated_.begin(), untreated_.end(), [](const UntreatedCaustic& x, const UntreatedCaustic& y) {
            return std::tie(x.p, x.thetaC) < std::tie(y.p, y.thetaC);
        });
        sink.show(UntreatedCausticsMessage(untreated_));
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
    const Fold& fold = *c.rays;

    // The two branches' plain values where the field is blended into the plain sum.
    const GridRange blend{std::max(lo, c.blend.lo), std::min(hi, c.blend.hi)};
    const int blendCount = std::max(0, blend.hi - blend.lo);
    const std::size_t rows = 2 * static_cast<std::size_t>(blendCount);
    if (work.amplitude.size() < rows) {
        work.amplitude.resize(rows);
        work.phase.resize(rows);
    }
    std::array<GridRange, 2> covered{};
    for (int side = 0; side < 2; ++side) {
        const int branch = side == 0 ? fold.a.branch : fold.b.branch;
        if (branch < 0)
            continue;
        const CausticBranch& b = branches_[static_cast<std::size_t>(branch)];
        const int from = std::max(blend.lo, b.s);
        const int to = std::min(blend.hi, b.s + b.nGrid);
        covered[static_cast<std::size_t>(side)] = {from, std::max(from, to)};
        const std::size_t offset = static_cast<std::size_t>(side * blendCount + (from - blend.lo));
        if (from < to)
            plain_->Evaluate(branch, from, to, work.amplitude.data() + offset, work.phase.data() + offset);
    }

    for (int g = lo; g < hi; ++g) {
        const double u = fold.dir * (grid.ThetaGrid[static_cast<std::size_t>(g)] - fold.thetaC);
        Complex sum;
        if (u <= 0) {
            // The dark side: the polynomials alone, fading out at the zone's end.
            const double zeta = ZetaAt(c, u);
            const double weight = FadeDown(zeta, c.zetaDark, c.zetaDarkEnd);
            if (weight > 0) {
                const Complex field = FittedField(c, u);
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
                if (g >= c.point.lo && g < c.point.hi && PairAt(fold, u, s)) {
                    const Complex rays = Field(s.zeta, s.P, s.Q, s.mean);
                    field = (1.0 - fitted) * rays;
                } else {
                    fitted = 1.0;
                }
            }
            if (uniform > 0 && fitted > 0) {
                const Complex near = FittedField(c, u);
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
                    const std::size_t at = static_cast<std::size_t>(side * blendCount + (g - blend.lo));
                    plainRe += work.amplitude[at] * std::cos(work.phase[at]);
                    plainIm += work.amplitude[at] * std::sin(work.phase[at]);
                }
                sum += (1.0 - uniform) * Complex{plainRe, plainIm};
            }
        }
        grid.TotalAmpRe[static_cast<std::size_t>(g)] += sum.real();
        grid.TotalAmpIm[static_cast<std::size_t>(g)] += sum.imag();
    }
}

} // namespace orvane
