// The uniform field of a caustic. Where the rays of one order turn back (a rainbow), the two
// branches that meet there are replaced, on the grid angles near the turning point, by the
// uniform Airy approximation of Chester, Friedman and Ursell: finite on the caustic, decaying
// like Ai on the dark side where no real ray arrives, and equal to the plain sum of the two
// rays on the bright side far enough out, where it hands over to that sum.
//
// The turning points and the rays on either side of each come from engine/Caustics.h. The
// assembly hands over its branches in its fixed order and a way to read its own interpolation
// of them; then, branch after branch, it asks which grid angles a branch still fills itself
// (FreeRanges) and adds the fields of the caustics that branch leads (AddCausticAmplitudes),
// so that every grid angle receives its contributions in the same order on any thread. Grid
// angles outside every caustic's zone see exactly the plain sum.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "engine/Caustics.h"
#include "numeric/Complex.h"

namespace orvane {

class MessageSink;
struct ScatteringGrid;

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

// The uniform field √π·e^{iM}·(P·Ai(−ζ) + i·Q·Ai′(−ζ)) near one turning point. u is the angular
// distance from the caustic towards the bright side. Near the caustic and on the dark side
// ζ is a polynomial in w = u/uZeta, and P, Q and the mean phase M are polynomials in
// v = u/uFit, each fitted to the two rays further out, as far as it follows them; on the
// bright side beyond uFit they come from the two rays at each angle. On the dark side beyond
// the polynomials' reach (w or v below −1) ζ and M go on along their tangents, P and Q stay.
struct Caustic {
    int lead = -1;     // the first of the assembly's branches of the two sides: the field goes there
    int partner = -1;  // the other one, silent in the zone; −1: the assembly dropped that side
    GridRange zone;   // every grid angle the field takes over
    GridRange point;  // those where it is formed from the two rays at the angle
    GridRange blend;  // those where it is blended with the plain sum of the two rays
    double uZeta = 0;   // reach of the polynomial of ζ on the bright side [rad]
    double uFit = 0;    // reach of the polynomials of P, Q and M on the bright side (<= uZeta) [rad]
    double uJoin = 0;   // from here to uFit the polynomials hand over to the rays at the angle
    double uBlend = 0;  // from here to uEnd the field hands over to the plain sum
    double uEnd = 0;
    std::array<double, 3> zeta{};  // ζ = w·(z0 + w·(z1 + w·z2))
    std::array<double, 3> P{};     // P = p0 + v·(p1 + v·p2), regular at the caustic
    std::array<double, 3> Q{};     // Q likewise
    std::array<double, 4> mean{};  // M = m0 + v·(m1 + v·(m2 + v·m3))
    double zetaDark = 0;     // ζ (< 0) where the field begins to fade on the dark side ...
    double zetaDarkEnd = 0;  // ... and where it ends
    std::shared_ptr<const Fold> rays;  // the turning point, its angle and the two sides' rays
};

// Working storage of one summing thread.
struct CausticWork {
    std::vector<double> amplitude, phase;
};

class UniformCaustics {
public:
    UniformCaustics() = default;

    // Every turning point of the orders whose rays, traced again around it through `more` where
    // they are sparse, describe a caustic. Keeps `plain` for the blend with the plain sum. The
    // turning points that describe none are named in one message to `sink`.
    UniformCaustics(const std::vector<OrderRows>& orders, int NumIncRays, const std::vector<CausticBranch>& branches,
                    const ScatteringGrid& grid, const BranchInterpolation& plain, const CausticRays* more,
                    MessageSink& sink);

    bool empty() const { return caustics_.empty(); }
    const std::vector<Caustic>& caustics() const { return caustics_; }
    // The turning points left to the plain rays.
    const std::vector<UntreatedCaustic>& untreated() const { return untreated_; }

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
    std::vector<UntreatedCaustic> untreated_;
    std::vector<std::array<int, 2>> byBranch_;  // up to two caustics per branch, −1: none
};

// The uniform field of two rays at one angle of the bright side, from their amplitudes and
// phases, ray b carrying the caustic's π/2: √π·e^{i(φa+φb)/2}·[(Aa + Ab)·ζ^{1/4}·Ai(−ζ)
// + i·(Aa − Ab)·ζ^{−1/4}·Ai′(−ζ)] with (2/3)·ζ^{3/2} = (φa − φb + π/2)/2. Far from the caustic
// it is the two rays' own sum. Zero unless 0 < φa − φb + π/2 and ζ lies within the Airy table.
Complex UniformPairField(double Aa, double phiA, double Ab, double phiB);

} // namespace orvane
