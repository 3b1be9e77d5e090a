#include "engine/AssembleOrders.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cfenv>
#include <cmath>
#include <exception>
#include <system_error>
#include <thread>

#include "engine/UniformCaustic.h"
#include "numeric/Angles.h"
#include "base/RunControl.h"
#include "numeric/Numerics.h"
#include "base/Pages.h"
#include "numeric/SinCos.h"

namespace orvane {

ScatteringGrid::ScatteringGrid(int count)
    : NumScaRays(count),
      ThetaStep(kTwoPi / (count - 1)),
      ThetaGrid(static_cast<std::size_t>(count)),
      TotalAmpRe(static_cast<std::size_t>(count), 0.0),
      TotalAmpIm(static_cast<std::size_t>(count), 0.0),
      DiffAmp(static_cast<std::size_t>(count), 0.0),
      TotalIntensity(static_cast<std::size_t>(count), 0.0)
{
    for (int e = 0; e < count; ++e)
        ThetaGrid[static_cast<std::size_t>(e)] = e * ThetaStep - kPi;
}

namespace {

// A branch that contributes: rays first..first+count-1 of one order onto the grid section
// s..s+nGrid-1.
struct Branch {
    const OrderRows* rows = nullptr;
    int first = 0;
    int count = 0;
    int s = 0;
    int nGrid = 0;
    double* nodes = nullptr;  // the interpolation's ascending copies of angle, amplitude, phase
    LagrangePlan plan;
    // The whole section's amplitude and phase, for a branch whose angles are not in order
    // (where a piece of the section cannot be interpolated on its own cheaply).
    std::vector<double> amplitude;
    std::vector<double> phase;
};

// The branch of rays first..last (in ray order) if it contributes, with its grid section:
// every grid angle within its range, from the first one above its smallest angle to the last
// one at or below its largest, so that a branch and its mirror image reach mirrored angles.
void KeepBranch(const OrderRows& rows, int first, int last, const ScatteringGrid& grid, std::vector<Branch>& out)
{
    const double* angle = rows.angle;
    const int count = last - first + 1;
    // A branch that spans less than two grid spacings is too short to interpolate.
    const int spacings = static_cast<int>(std::fabs(angle[last] - angle[first]) / grid.ThetaStep);
    if (!(spacings > 1 && count > 2 && std::fabs(angle[last - 1] * angle[last]) > 1e-30))
        return;
    // Two equal first angles give the branch no direction: it is left out.
    if (angle[first + 1] == angle[first])
        return;
    const int dir = IntSign(angle[first + 1] - angle[first]);
    const double thetaMin = dir == 1 ? angle[first] : angle[last];
    const double thetaMax = dir == 1 ? angle[last] : angle[first];
    const int s = static_cast<int>((kPi + thetaMin) / grid.ThetaStep) + 1;
    // The section lies inside [−π, π]; rounding at the very ends must not leave the grid.
    const int end = std::min(static_cast<int>((kPi + thetaMax) / grid.ThetaStep), grid.NumScaRays - 1);
    const int nGrid = end - s + 1;
    if (nGrid < 2)
        return;
    Branch& b = out.emplace_back();
    b.rows = &rows;
    b.first = first;
    b.count = count;
    b.s = s;
    b.nGrid = nGrid;
}

// Cuts one order into branches, in the order they close.
void FindBranches(const OrderRows& rows, int NumIncRays, const ScatteringGrid& grid, std::vector<Branch>& out)
{
    const double* angle = rows.angle;
    int count = 1;
    for (int j = 1; j <= NumIncRays - 1; ++j) {
        ++count;
        // A branch ends at the last ray, where the angle turns back (a rainbow, or the jump
        // between +π and −π), and beside a ray that did not emerge.
        const bool closes = j == NumIncRays - 1 ||
                            (angle[j] - angle[j - 1]) * (angle[j + 1] - angle[j]) < 0 ||
                            std::fabs(angle[j - 1] * angle[j] * angle[j + 1]) < 1e-30;
        if (!closes)
            continue;
        KeepBranch(rows, j - count + 1, j, grid, out);
        // The closing ray also starts the next branch.
        count = 1;
    }
}

// The branch's amplitude A = √intensity and phase φ as functions of the angle, made ready
// for interpolation onto any part of its section. The range messages go to the sink here,
// branch after branch.
void Prepare(Branch& b, const ScatteringGrid& grid, std::vector<double>& amplitude, MessageSink& sink)
{
    const OrderRows& rows = *b.rows;
    for (int r = 0; r < b.count; ++r)
        amplitude[static_cast<std::size_t>(r)] = std::sqrt(rows.intensity[b.first + r]);
    b.plan = PrepareLagrange(rows.angle + b.first, amplitude.data(), rows.phase + b.first,
                             grid.ThetaGrid.data() + b.s, b.count, b.nGrid, b.nodes, sink);
    if (!b.plan.ordered) {
        b.amplitude.resize(static_cast<std::size_t>(b.nGrid));
        b.phase.resize(static_cast<std::size_t>(b.nGrid));
        EvaluateLagrange(b.plan, 0, b.nGrid, b.amplitude.data(), b.phase.data());
    }
}

// The grid is summed in pieces of this many angles, each piece by one thread: every branch
// that reaches the piece adds A·(cos φ, sin φ) at its angles, in the order of the branches.
// Below kParallelPoints contributions in all a second thread is not worth starting.
constexpr int kPiecePoints = 1024;
constexpr std::size_t kHugeNodes = std::size_t{1} << 20;  // bytes: from here in 2 MB pages
constexpr std::size_t kParallelPoints = 1u << 16;
constexpr int kFpFaults = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;

// Working storage of one summing thread: a piece's interpolated amplitude and phase, and
// the phase's cosine and sine.
struct Worker {
    std::vector<double> amplitude = std::vector<double>(kPiecePoints);
    std::vector<double> phase = std::vector<double>(kPiecePoints);
    std::vector<double> cosine = std::vector<double>(kPiecePoints);
    std::vector<double> sine = std::vector<double>(kPiecePoints);
    CausticWork caustic;
};

// The branches' plain interpolation, read by the caustics.
class PlainBranches final : public BranchInterpolation {
public:
    explicit PlainBranches(const std::vector<Branch>& branches) : branches_(branches) {}

    void Evaluate(int branch, int lo, int hi, double* amplitude, double* phase) const override
    {
        const Branch& b = branches_[static_cast<std::size_t>(branch)];
        if (b.plan.ordered) {
            EvaluateLagrange(b.plan, lo - b.s, hi - b.s, amplitude, phase);
            return;
        }
        std::copy(b.amplitude.begin() + (lo - b.s), b.amplitude.begin() + (hi - b.s), amplitude);
        std::copy(b.phase.begin() + (lo - b.s), b.phase.begin() + (hi - b.s), phase);
    }

private:
    const std::vector<Branch>& branches_;
};

// Branch b's complex amplitude at the grid angles lo..hi-1 of its section, with A and φ
// interpolated separately as functions of the angle.
void AddBranch(const Branch& b, int lo, int hi, ScatteringGrid& grid, Worker& w)
{
    const double* amplitude = w.amplitude.data();
    const double* phase = w.phase.data();
    if (b.plan.ordered) {
        EvaluateLagrange(b.plan, lo - b.s, hi - b.s, w.amplitude.data(), w.phase.data());
    } else {
        amplitude = b.amplitude.data() + (lo - b.s);
        phase = b.phase.data() + (lo - b.s);
    }
    // The sine and cosine of every phase at once (the same bits at every vector width),
    // then a·(cos φ, sin φ) added angle by angle.
    double* cosine = w.cosine.data();
    double* sine = w.sine.data();
    SinCos(phase, sine, cosine, static_cast<std::size_t>(hi - lo));
    AddPolar(amplitude, cosine, sine, grid.TotalAmpRe.data() + lo, grid.TotalAmpIm.data() + lo,
             static_cast<std::size_t>(hi - lo));
}

// Grid angles g0..g1-1: the branches added one after the other. Near a caustic its uniform
// field takes the place of the two branches that meet there, at the first one's turn.
void SumPiece(const std::vector<Branch>& branches, const UniformCaustics& caustics, int g0, int g1,
              ScatteringGrid& grid, Worker& w)
{
    std::array<GridRange, 3> free;
    for (std::size_t bi = 0; bi < branches.size(); ++bi) {
        const Branch& b = branches[bi];
        const int branch = static_cast<int>(bi);
        caustics.AddCausticAmplitudes(branch, g0, g1, grid, w.caustic);
        const int freeCount = caustics.FreeRanges(branch, std::max(g0, b.s), std::min(g1, b.s + b.nGrid), free);
        for (int f = 0; f < freeCount; ++f)
            AddBranch(b, free[static_cast<std::size_t>(f)].lo, free[static_cast<std::size_t>(f)].hi, grid, w);
    }
}

} // namespace

void AssembleOrders(const std::vector<OrderRows>& orders, int NumIncRays, ScatteringGrid& grid, RunControl& control,
                    int threads, bool uniformRainbow, const CausticRays* causticRays)
{
    std::vector<Branch> branches;
    for (const OrderRows& rows : orders)
        FindBranches(rows, NumIncRays, grid, branches);
    if (branches.empty())
        return;

    // Every branch's nodes in one block, written through: a large run's are megabytes.
    std::size_t nodeCount = 0;
    for (const Branch& b : branches)
        nodeCount += 3 * static_cast<std::size_t>(b.count);
    const ZeroedDoubles nodes(nodeCount, nodeCount * sizeof(double) >= kHugeNodes);
    std::vector<double> amplitude(static_cast<std::size_t>(std::max(NumIncRays, 1)));
    std::size_t totalPoints = 0;
    nodeCount = 0;
    for (Branch& b : branches) {
        b.nodes = nodes.data() + nodeCount;
        nodeCount += 3 * static_cast<std::size_t>(b.count);
        Prepare(b, grid, amplitude, control);
        totalPoints += static_cast<std::size_t>(b.nGrid);
    }

    // The caustics where two branches of an order meet, and the grid angles they take over.
    const PlainBranches plain(branches);
    UniformCaustics caustics;
    if (uniformRainbow) {
        std::vector<CausticBranch> spans;
        for (const Branch& b : branches)
            spans.push_back({static_cast<int>(b.rows - orders.data()), b.first, b.count, b.s, b.nGrid});
        caustics = UniformCaustics(orders, NumIncRays, spans, grid, plain, causticRays, control);
    }

    // The pieces that any branch reaches, the busiest first, so that the threads finish
    // together; the sums do not depend on who took which piece.
    const int pieceCount = (grid.NumScaRays + kPiecePoints - 1) / kPiecePoints;
    std::vector<std::size_t> load(static_cast<std::size_t>(pieceCount), 0);
    for (const Branch& b : branches) {
        for (int c = b.s / kPiecePoints; c <= (b.s + b.nGrid - 1) / kPiecePoints; ++c) {
            const int lo = std::max(c * kPiecePoints, b.s);
            const int hi = std::min((c + 1) * kPiecePoints, b.s + b.nGrid);
            load[static_cast<std::size_t>(c)] += static_cast<std::size_t>(hi - lo);
        }
    }
    for (const Caustic& z : caustics.caustics()) {
        for (int c = z.zone.lo / kPiecePoints; c <= (z.zone.hi - 1) / kPiecePoints; ++c) {
            const int lo = std::max(c * kPiecePoints, z.zone.lo);
            const int hi = std::min((c + 1) * kPiecePoints, z.zone.hi);
            load[static_cast<std::size_t>(c)] += static_cast<std::size_t>(hi - lo);
        }
    }
    std::vector<int> pieces;
    for (int c = 0; c < pieceCount; ++c)
        if (load[static_cast<std::size_t>(c)] > 0)
            pieces.push_back(c);
    std::stable_sort(pieces.begin(), pieces.end(), [&](int a, int b) {
        return load[static_cast<std::size_t>(a)] > load[static_cast<std::size_t>(b)];
    });

    std::atomic<std::size_t> cursor{0};
    const int pieceTotal = static_cast<int>(pieces.size());
    auto sum = [&](Worker& w, bool reports) {
        for (std::size_t q = cursor.fetch_add(1); q < pieces.size(); q = cursor.fetch_add(1)) {
            ThrowIfCancelled(control);
            if (reports)
                control.progress(RunStage::Assembling, static_cast<int>(q), pieceTotal);
            const int g0 = pieces[q] * kPiecePoints;
            SumPiece(branches, caustics, g0, std::min(g0 + kPiecePoints, grid.NumScaRays), grid, w);
        }
    };

    const int workerCount = std::max(1, std::min(threads, 2));
    std::vector<Worker> workers(static_cast<std::size_t>(workerCount));
    std::thread helper;
    int helperFaults = 0;
    std::exception_ptr helperError;
    if (workerCount > 1 && totalPoints >= kParallelPoints && pieces.size() > 1) {
        // The floating-point flags belong to each thread: the helper hands its faults over.
        try {
            helper = std::thread([&] {
                std::feclearexcept(kFpFaults);
                try {
                    sum(workers[1], false);
                } catch (...) {
                    helperError = std::current_exception();
                }
                helperFaults = std::fetestexcept(kFpFaults);
            });
        } catch (const std::system_error&) {
            // No thread to be had: this one does the whole grid.
        }
    }
    if (helper.joinable()) {
        try {
            sum(workers[0], true);
        } catch (...) {
            cursor = pieces.size();
            helper.join();
            throw;
        }
        helper.join();
        if (helperError)
            std::rethrow_exception(helperError);
        if (helperFaults)
            std::feraiseexcept(helperFaults);
    } else {
        sum(workers[0], true);
    }
}

void ComputeTotalIntensity(ScatteringGrid& grid)
{
    for (std::size_t e = 0; e < grid.TotalIntensity.size(); ++e) {
        double re = grid.TotalAmpRe[e];
        double im = grid.TotalAmpIm[e];
        if (grid.DiffInQuadrature)
            im -= grid.DiffAmp[e];
        else
            re += grid.DiffAmp[e];
        grid.TotalIntensity[e] = re * re + im * im;
    }
}

} // namespace orvane
