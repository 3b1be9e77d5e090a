// Where the rays of an order turn back. At a turning point (a rainbow) the two branches of the
// order that meet there bound a fold caustic: on its bright side two rays arrive at every
// angle, on its dark side none. This file finds the turning points in the ray tables and
// gathers the rays on either side of each, ready for the uniform field of
// engine/UniformCaustic.h. Where the run's own rays are too sparse to describe a caustic (a
// turning point close to a grazing edge has only a few rays beyond it), it traces more rays
// between the run's incident heights, until each side holds enough of them from the caustic
// out to where the uniform field hands over to the plain rays.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/AssembleOrders.h"
#include "engine/TraceRays.h"

namespace orvane {

class RunControl;

// One branch of an order as the assembly cuts and keeps it.
struct CausticBranch {
    int order = 0;  // index into the assembly's orders
    int first = 0;  // rays first..first+count-1
    int count = 0;
    int s = 0;      // grid section s..s+nGrid-1
    int nGrid = 0;
};

// Rays of the run at any incident height, for the refinement around turning points.
class CausticRays {
public:
    // The order number p of the assembly's order `order`.
    virtual int orderNumber(int order) const = 0;
    // The incident height of the run's ray `ray` [µm].
    virtual double height(int ray) const = 0;
    // Order `order` of rays at heights[0..count-1]: the angle [rad], intensity and phase [rad]
    // of each, angle and intensity 0 for a ray that does not emerge in that order.
    virtual void trace(int order, const double* heights, int count, double* angle, double* intensity,
                       double* phase) const = 0;

protected:
    ~CausticRays() = default;
};

// The diagram's own tracer as CausticRays: the orders MinP, MinP+1, ... of the assembly traced
// with the run's particle, normalisation and Fresnel rule. It asks `control` whether to stop
// and tells it no progress (the rays belong to the assembly's stage).
class TracedCausticRays final : public CausticRays {
public:
    TracedCausticRays(const RunParams& P, const DiagramNorm& norm, const std::vector<double>& heights, int MinP,
                      FresnelRule rule, RunControl& control)
        : P_(P), norm_(norm), heights_(heights), MinP_(MinP), rule_(rule), control_(control)
    {
    }

    int orderNumber(int order) const override { return MinP_ + order; }
    double height(int ray) const override { return heights_[static_cast<std::size_t>(ray)]; }
    void trace(int order, const double* heights, int count, double* angle, double* intensity,
               double* phase) const override;

private:
    const RunParams& P_;
    const DiagramNorm norm_;
    const std::vector<double>& heights_;
    const int MinP_;
    const FresnelRule rule_;
    RunControl& control_;
};

// The rays of one side of a caustic, the turning ray left out, in the order of their distance
// u = dir·(θ − θc) from the caustic angle θc towards the bright side.
struct FoldSide {
    std::vector<double> u;          // increasing [rad]
    std::vector<double> amplitude;  // signed: its sign changes where a Fresnel coefficient passes through zero
    std::vector<double> phase;      // [rad], without the π steps of those sign changes
    double reach = 0;               // how far from the caustic the uniform field may use this side [rad]
    int branch = -1;                // the assembly's branch of these rays; −1: it dropped them

    int size() const { return static_cast<int>(u.size()); }
    // Amplitude and phase at the distance `at` from the caustic, by Lagrange interpolation
    // over the four nearest rays (three at the ends). False outside the side's rays.
    bool At(double at, double& amplitude, double& phase) const;
};

// A turning point and the two families of rays that meet there. Side b is the one whose rays
// have touched the caustic: its phase carries π/2 more than side a's.
struct Fold {
    int order = 0;      // index into the assembly's orders
    int p = 0;          // its order number
    double thetaC = 0;  // caustic angle [rad]
    double dir = 0;     // +1: the bright side lies at larger angles, −1: at smaller ones
    FoldSide a;
    FoldSide b;
};

// A caustic the uniform field cannot take: order p near the angle thetaC.
struct UntreatedCaustic {
    int p = 0;
    double thetaC = 0;  // [rad]
};

struct FoldSearch {
    std::vector<Fold> folds;                   // in the assembly's order of orders and rays
    std::vector<UntreatedCaustic> untreated;  // turning points that describe no caustic
};

// What the uniform field makes of a fold's rays.
enum class FoldFit {
    Fitted,     // it can be formed from them
    FinerRays,  // not from these: they are too sparse near the caustic
    Unfit,      // not from any: the bright side ends before the caustic is described
};
// The uniform field's verdict on a fold's rays (empty: Fitted).
using FoldAcceptance = std::function<FoldFit(const Fold&)>;

// Every turning point of the orders: wherever the angle of an order turns back between rays
// that emerge. With `more`, the rays around a turning point are traced again more densely,
// until each side holds enough of them out to where the uniform field hands over to the plain
// rays and `accept` takes them; without it, the run's rays must do. A fold is found right
// after `accept` fitted it: the folds found are the ones it last fitted, in the same order.
FoldSearch FindFolds(const std::vector<OrderRows>& orders, int NumIncRays, const std::vector<CausticBranch>& kept,
                     const CausticRays* more, const FoldAcceptance& accept = {});

// ζ of a pair of rays whose phases differ by `gap` = φa − φb + π/2 (with (2/3)·ζ^{3/2} = gap/2);
// false unless gap > 0.
bool ZetaOfPhaseGap(double gap, double& zeta);

// The message for the caustics left to the plain rays, naming each by its order and angle.
std::string UntreatedCausticsMessage(const std::vector<UntreatedCaustic>& untreated);

} // namespace orvane
