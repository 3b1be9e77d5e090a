// The uniform field of a caustic. Where the rays of one order turn back (a rainbow), the two
// branches that meet there are replaced, on the grid angles near the turning point, by the
// uniform Airy approximation of Chester, Friedman and Ursell: finite on the caustic, decaying
// like Ai on the dark side where no real ray arrives, and equal to the plain sum of the two
// rays on the bright side far enough out, where it hands over to that sum.
//
// The assembly hands over its branches in its fixed order and a way to read its own
// interpolation of them; then, branch after branch, it asks which grid angles a branch still
// fills itself (FreeRanges) and adds the fields of the caustics that branch leads (AddCausticAmplitudes),
// so that every grid angle receives its contributions in the same order on any thread. Grid
// angles outside every caustic's zone see exactly the plain sum.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "numeric/Complex.h"

namespace orvane {

struct ScatteringGrid;

// One branch of an order as the assembly cuts it.
struct CausticBranch {
    const double* angle = nullptr;  // the order's rays: angle [rad], intensity, phase [rad]
    const double* intensity = nullptr;
    const double* phase = nullptr;
    int first = 0;  // rays first..first+count-1
    int count = 0;
    int s = 0;      // grid section s..s+nGrid-1
    int nGrid = 0;
};

// The assembly's own interpolation of its branches.
class BranchInterpolation {
public:
    // Amplitude and phase of branch `branch` at grid angles lo..hi-1, all inside its section,
    // exactly as the plain sum takes them.
    virtual void Evaluate(int branch, int lo, int hi, double* amplitude, double* phase) const = 0;

protected:
    ~BranchInterpolation() = default;
};

struct GridRange {
    int lo = 0;  // grid angles lo..hi-1
    int hi = 0;
};

// The two rays of a caustic on its bright side, interpolated with signed amplitudes.
struct BrightRays;

// The uniform field √π·e^{iM}·(P·Ai(−ζ) + i·Q·Ai′(−ζ)) near one turning point. u is the angular
// distance from the caustic towards the bright side. Near the caustic and on the dark side
// ζ, P, Q and the mean phase M are polynomials in v = u/uFit, fitted to the two rays further
// out; on the bright side beyond uFit they come from the two rays at each angle.
struct Caustic {
    int lead = 0;     // the first of the two branches in the assembly's order: the field goes there
    int partner = 0;  // the second one, silent in the zone
    int a = 0;        // the branch whose rays have not touched the caustic
    int b = 0;        // the branch whose rays have (their phase carries π/2 more)
    GridRange zone;   // every grid angle the field takes over
    GridRange point;  // those where it is formed from the two rays at the angle
    GridRange blend;  // those where it is blended with the plain sum of the two rays
    double thetaC = 0;  // caustic angle [rad]
    double dir = 0;     // +1: the bright side lies at larger angles, −1: at smaller ones
    double uFit = 0;    // reach of the polynomials on the bright side [rad]
    double uJoin = 0;   // from here to uFit the polynomials hand over to the rays at the angle
    double uBlend = 0;  // from here to uEnd the field hands over to the plain sum
    double uEnd = 0;
    std::array<double, 3> zeta{};  // ζ = v·(z0 + v·(z1 + v·z2))
    std::array<double, 3> P{};     // P = p0 + v·(p1 + v·p2), regular at the caustic
    std::array<double, 3> Q{};     // Q likewise
    std::array<double, 4> mean{};  // M = m0 + v·(m1 + v·(m2 + v·m3))
    double zetaDark = 0;     // ζ (< 0) where the field begins to fade on the dark side ...
    double zetaDarkEnd = 0;  // ... and where it ends
    std::shared_ptr<const BrightRays> bright;
};

// Working storage of one summing thread.
struct CausticWork {
    std::vector<double> amplitude, phase;
};

class UniformCaustics {
public:
    UniformCaustics() = default;

    // Every turning point where two consecutive branches of one order meet and enough of their
    // rays and grid angles describe it. Keeps `plain` for the blend with the plain sum.
    UniformCaustics(const std::vector<CausticBranch>& branches, const ScatteringGrid& grid,
                    const BranchInterpolation& plain);

    bool empty() const { return caustics_.empty(); }
    const std::vector<Caustic>& caustics() const { return caustics_; }

    // The parts of lo..hi-1 that `branch` still fills with its own rays, in increasing order:
    // all of it but the zones of its caustics. Returns how many of `out` are used (0 to 3).
    int FreeRanges(int branch, int lo, int hi, std::array<GridRange, 3>& out) const;

    // Adds the field of every caustic that `branch` leads at the grid angles lo..hi-1 of its zone.
    void AddCausticAmplitudes(int branch, int lo, int hi, ScatteringGrid& grid, CausticWork& work) const;

private:
    void AddField(const Caustic& c, int lo, int hi, ScatteringGrid& grid, CausticWork& work) const;

    const BranchInterpolation* plain_ = nullptr;
    std::vector<CausticBranch> branches_;
    std::vector<Caustic> caustics_;
    std::vector<std::array<int, 2>> byBranch_;  // up to two caustics per branch, −1: none
};

// The uniform field of two rays at one angle of the bright side, from their amplitudes and
// phases, ray b carrying the caustic's π/2: √π·e^{i(φa+φb)/2}·[(Aa + Ab)·ζ^{1/4}·Ai(−ζ)
// + i·(Aa − Ab)·ζ^{−1/4}·Ai′(−ζ)] with (2/3)·ζ^{3/2} = (φa − φb + π/2)/2. Far from the caustic
// it is the two rays' own sum. Zero unless 0 < φa − φb + π/2 and ζ lies within the Airy table.
Complex UniformPairField(double Aa, double phiA, double Ab, double phiB);

} // namespace orvane
