#include "engine/AssembleOrders.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <cmath>
#include <exception>
#include <string>
#include <system_error>
#include <thread>

#include "engine/Angles.h"
#include "numeric/MessageSink.h"
#include "numeric/Numerics.h"

namespace orvane {

TScatteringGrid::TScatteringGrid(int count)
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
    std::size_t offset = 0;             // where its contributions lie in the batch
    std::vector<std::string> messages;  // the interpolation's, shown when the branch is added
};

// The branch of rays first..last (in ray order) if it contributes, with its grid section:
// the grid angles strictly inside its range.
void KeepBranch(const OrderRows& rows, int first, int last, const TScatteringGrid& grid, std::vector<Branch>& out)
{
    const double* angle = rows.angle;
    const int count = last - first + 1;
    int nGrid = static_cast<int>(std::fabs(angle[last] - angle[first]) / grid.ThetaStep);
    if (!(nGrid > 1 && count > 2 && std::fabs(angle[last - 1] * angle[last]) > 1e-30))
        return;
    // Two equal first angles give the branch no direction: it is left out.
    if (angle[first + 1] == angle[first])
        return;
    const int dir = IntSign(angle[first + 1] - angle[first]);
    const double thetaMin = dir == 1 ? angle[first] : angle[last];
    const int s = static_cast<int>((kPi + thetaMin) / grid.ThetaStep) + 1;
    // The section lies inside [−π, π]; rounding at the very ends must not leave the grid.
    nGrid = std::min(nGrid, grid.NumScaRays - s);
    if (nGrid < 2)
        return;
    Branch b;
    b.rows = &rows;
    b.first = first;
    b.count = count;
    b.s = s;
    b.nGrid = nGrid;
    out.push_back(std::move(b));
}

// Cuts one order into branches, in the order they close.
void FindBranches(const OrderRows& rows, int NumIncRays, const TScatteringGrid& grid, std::vector<Branch>& out)
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

class CollectingSink final : public MessageSink {
public:
    explicit CollectingSink(std::vector<std::string>& messages) : messages_(messages) {}
    void show(const std::string& text) override { messages_.push_back(text); }

private:
    std::vector<std::string>& messages_;
};

// Working storage of one interpolating thread, sized once.
struct Worker {
    std::vector<double> amplitude;  // √intensity of the branch's rays
    std::vector<double> work;       // the interpolation's ascending copies
};

// The branch's complex amplitude A·(cos φ, sin φ) at each point of its section, with A and
// φ interpolated separately as functions of the angle.
void Interpolate(Branch& b, const TScatteringGrid& grid, Worker& w, double* re, double* im)
{
    const OrderRows& rows = *b.rows;
    for (int r = 0; r < b.count; ++r)
        w.amplitude[static_cast<std::size_t>(r)] = std::sqrt(rows.intensity[b.first + r]);
    CollectingSink sink(b.messages);
    LagrangeInterpolate(rows.angle + b.first, w.amplitude.data(), rows.phase + b.first, grid.ThetaGrid.data() + b.s,
                        re, im, b.count, b.nGrid, w.work.data(), sink);
    for (int r = 0; r < b.nGrid; ++r) {
        const double a = re[r];
        const double phi = im[r];
        re[r] = a * std::cos(phi);
        im[r] = a * std::sin(phi);
    }
}

// Points of one batch: the contributions of consecutive branches are interpolated into a
// buffer of this size, then added in order. Below kParallelPoints a batch is not worth a thread.
constexpr std::size_t kBatchPoints = 1u << 19;
constexpr std::size_t kParallelPoints = 1u << 16;
constexpr int kFpFaults = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;

} // namespace

void AssembleOrders(const std::vector<OrderRows>& orders, int NumIncRays, TScatteringGrid& grid, MessageSink& sink,
                    int threads)
{
    std::vector<Branch> branches;
    for (const OrderRows& rows : orders)
        FindBranches(rows, NumIncRays, grid, branches);
    if (branches.empty())
        return;

    std::size_t totalPoints = 0;
    for (const Branch& b : branches)
        totalPoints += static_cast<std::size_t>(b.nGrid);
    const std::size_t batchPoints =
        std::min(totalPoints, std::max(kBatchPoints, static_cast<std::size_t>(grid.NumScaRays)));
    std::vector<double> re(batchPoints), im(batchPoints);
    const int workerCount = std::max(1, std::min(threads, 2));
    std::vector<Worker> workers(static_cast<std::size_t>(workerCount));
    for (Worker& w : workers) {
        w.amplitude.resize(static_cast<std::size_t>(std::max(NumIncRays, 1)));
        w.work.resize(3 * w.amplitude.size());
    }

    std::vector<std::size_t> queue;
    std::size_t next = 0;
    while (next < branches.size()) {
        // The batch: as many branches as fit, at least one (a branch never exceeds the grid).
        std::size_t end = next;
        std::size_t points = 0;
        while (end < branches.size() && points + static_cast<std::size_t>(branches[end].nGrid) <= batchPoints) {
            branches[end].offset = points;
            points += static_cast<std::size_t>(branches[end].nGrid);
            ++end;
        }

        // The threads take the longest branches first, so that they finish together; the
        // sum below does not depend on who interpolated what.
        queue.clear();
        for (std::size_t j = next; j < end; ++j)
            queue.push_back(j);
        std::stable_sort(queue.begin(), queue.end(),
                         [&](std::size_t a, std::size_t b) { return branches[a].nGrid > branches[b].nGrid; });
        std::atomic<std::size_t> cursor{0};
        auto interpolate = [&](Worker& w) {
            for (std::size_t q = cursor.fetch_add(1); q < queue.size(); q = cursor.fetch_add(1)) {
                Branch& b = branches[queue[q]];
                Interpolate(b, grid, w, re.data() + b.offset, im.data() + b.offset);
            }
        };
        std::thread helper;
        int helperFaults = 0;
        std::exception_ptr helperError;
        if (workerCount > 1 && points >= kParallelPoints && end - next > 1) {
            // The floating-point flags belong to each thread: the helper hands its faults over.
            try {
                helper = std::thread([&] {
                    std::feclearexcept(kFpFaults);
                    try {
                        interpolate(workers[1]);
                    } catch (...) {
                        helperError = std::current_exception();
                    }
                    helperFaults = std::fetestexcept(kFpFaults);
                });
            } catch (const std::system_error&) {
                // No thread to be had: this one does the whole batch.
            }
        }
        if (helper.joinable()) {
            try {
                interpolate(workers[0]);
            } catch (...) {
                cursor = queue.size();
                helper.join();
                throw;
            }
            helper.join();
            if (helperError)
                std::rethrow_exception(helperError);
            if (helperFaults)
                std::feraiseexcept(helperFaults);
        } else {
            interpolate(workers[0]);
        }

        // The coherent sum, branch after branch.
        for (std::size_t j = next; j < end; ++j) {
            const Branch& b = branches[j];
            for (const std::string& message : b.messages)
                sink.show(message);
            double* totalRe = grid.TotalAmpRe.data() + b.s;
            double* totalIm = grid.TotalAmpIm.data() + b.s;
            const double* branchRe = re.data() + b.offset;
            const double* branchIm = im.data() + b.offset;
            for (int r = 0; r < b.nGrid; ++r) {
                totalRe[r] += branchRe[r];
                totalIm[r] += branchIm[r];
            }
        }
        next = end;
    }
}

void ComputeTotalIntensity(TScatteringGrid& grid)
{
    for (std::size_t e = 0; e < grid.TotalIntensity.size(); ++e) {
        const double re = grid.TotalAmpRe[e] + grid.DiffAmp[e];
        const double im = grid.TotalAmpIm[e];
        grid.TotalIntensity[e] = re * re + im * im;
    }
}

} // namespace orvane
