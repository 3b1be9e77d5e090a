#include "trace3d/Rays3D.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/Errors.h"
#include "base/FpGuard.h"
#include "base/RunControl.h"
#include "base/TwoThreads.h"
#include "geometry/Particle.h"
#include "numeric/Angles.h"
#include "numeric/Lanes.h"
#include "numeric/PortableMath.h"
#include "trace3d/RayLanes.h"

namespace orvane {

JonesVector JonesVector::Linear(double psi)
{
    double s = 0.0;
    double c = 0.0;
    PortableSinCos(psi, s, c);
    return {Complex{c, 0.0}, Complex{s, 0.0}};
}

BeamFrame MakeBeamFrame(double incAngle, double tilt)
{
    double si = 0.0, ci = 0.0, st = 0.0, ct = 0.0;
    PortableSinCos(incAngle, si, ci);
    PortableSinCos(tilt, st, ct);
    BeamFrame f;
    f.forward = {ct * si, st, ct * ci};
    f.parallel = {ci, 0.0, -si};
    f.perpendicular = Cross(f.forward, f.parallel);
    return f;
}

ScatteringAngles AnglesOf(double alongParallel, double alongPerpendicular, double alongForward)
{
    const double across = std::sqrt(alongParallel * alongParallel + alongPerpendicular * alongPerpendicular);
    ScatteringAngles a;
    a.theta = PortableAtan2(across, alongForward);
    a.phi = across > 0.0 ? PortableAtan2(alongPerpendicular, alongParallel) : 0.0;
    // atan2 gives −π for a negative zero across a negative axis: the azimuth stays in (−π, π].
    if (a.phi <= -kPi)
        a.phi = kPi;
    return a;
}

double Pupil::cellArea(int n) const
{
    const double side = static_cast<double>(n);
    return (4.0 * semiAxis1 * semiAxis2) / (side * side);
}

namespace {

double GridCoordinate(int n, int i) { return static_cast<double>(2 * i + 1 - n) / static_cast<double>(n); }

} // namespace

void Pupil::point(int n, int i, int j, double& u, double& v) const
{
    const double xi = semiAxis1 * GridCoordinate(n, i);
    const double eta = semiAxis2 * GridCoordinate(n, j);
    u = xi * axis1U - eta * axis1V;
    v = xi * axis1V + eta * axis1U;
}

bool Pupil::inside(int n, int i, int j)
{
    const double xi = GridCoordinate(n, i);
    const double eta = GridCoordinate(n, j);
    return xi * xi + eta * eta < 1.0;
}

namespace {

// Light may come from anywhere on the side the incident angle allows: along ±b too.
void CheckTilt(double tilt)
{
    if (!(tilt >= -kHalfPi && tilt <= kHalfPi))
        throw InputError("The tilt must lie between -90 and 90 degrees.");
}

double Norm2(const Complex& z) { return z.real() * z.real() + z.imag() * z.imag(); }

// The inputs checked and turned into what the kernel shares between all rays.
lanes::Setup MakeSetup(const Rays3DInputs& in)
{
    ParticleInputs particle;
    particle.RadiusA = in.RadiusA;
    particle.RadiusB = in.RadiusB;
    particle.RadiusC = in.RadiusC;
    particle.IndexRe = in.IndexRe;
    particle.IndexIm = in.IndexIm;
    particle.Wavelength = in.Wavelength;
    particle.IncAngle = in.IncAngle;
    CheckParticle(particle);
    CheckTilt(in.Tilt);
    if (in.MaxP < 0 || in.MaxP > kMaxOrder3D)
        throw InputError("The max order p must lie between 0 and 50.");
    if (in.MinP < 0 || in.MinP > in.MaxP)
        throw InputError("Min p must not be larger than Max p.");

    lanes::Setup S{};
    const FpFaultScope faults;
    S.Ax = 1.0 / (in.RadiusA * in.RadiusA);
    S.Ay = 1.0 / (in.RadiusB * in.RadiusB);
    S.Az = 1.0 / (in.RadiusC * in.RadiusC);
    S.k = 2.0 * kPi / in.Wavelength;
    S.invK = 1.0 / S.k;
    S.km = in.IndexRe * S.k;
    S.indexRe = in.IndexRe;
    S.kmOverK = S.km / S.k;
    S.kOverKm = S.k / S.km;
    const Complex M2 = Square(Complex{S.km, S.k * in.IndexIm});
    S.M2re = M2.real();
    S.M2im = M2.imag();
    S.muRe = in.IndexRe * in.IndexRe - in.IndexIm * in.IndexIm;
    S.muIm = 2.0 * in.IndexRe * in.IndexIm;
    S.absorption = S.k * in.IndexIm;
    S.clear = in.IndexIm == 0.0 ? 1 : 0;
    S.entryRule = in.Fresnel == Rays3DFresnel::Entry ? 1 : 0;
    S.maxP = in.MaxP;
    const BeamFrame F = MakeBeamFrame(in.IncAngle, in.Tilt);
    const Vec3* axes[3] = {&F.forward, &F.parallel, &F.perpendicular};
    double* into[3] = {S.forward, S.parallel, S.perpendicular};
    for (int a = 0; a < 3; ++a) {
        into[a][0] = axes[a]->x;
        into[a][1] = axes[a]->y;
        into[a][2] = axes[a]->z;
    }
    S.forwardAForward = S.Ax * F.forward.x * F.forward.x + S.Ay * F.forward.y * F.forward.y +
                        S.Az * F.forward.z * F.forward.z;
    S.exp = PortableExp;
    if (in.BothStates) {
        S.states = 2;
        S.incRe[0][0] = 1.0;
        S.incRe[1][1] = 1.0;
    } else {
        const double p2 = Norm2(in.Jones.parallel);
        const double q2 = Norm2(in.Jones.perpendicular);
        if (!(std::isfinite(p2) && std::isfinite(q2) && p2 + q2 > 0.0))
            throw InputError("The incident polarisation needs a Jones vector that is not zero.");
        const double scale = 1.0 / std::sqrt(p2 + q2);
        S.states = 1;
        S.incRe[0][0] = scale * in.Jones.parallel.real();
        S.incIm[0][0] = scale * in.Jones.parallel.imag();
        S.incRe[0][1] = scale * in.Jones.perpendicular.real();
        S.incIm[0][1] = scale * in.Jones.perpendicular.imag();
    }
    faults.check();
    return S;
}

using Kernel = void (*)(const lanes::Setup&, lanes::Rays&);

// The kernel of a lane count, or null where this processor cannot run it. Two lanes is the
// kernel compiled for the baseline (SSE2 on x86-64), which runs everywhere.
Kernel KernelFor(int width)
{
    if (width == 2)
        return lanes::TraceSse2;
    if (!ProcessorRunsLanes(width))
        return nullptr;
    switch (width) {
#if defined(__x86_64__)
    case 4:
        return lanes::TraceAvx;
    case 8:
        return lanes::TraceAvx512;
#endif
    default:
        return nullptr;
    }
}

// The widest kernel within `width` (0: within ORVANE_MAX_LANES) that the processor runs.
Kernel ChooseKernel(int width)
{
    const int cap = width > 0 ? width : LaneCap();
    Kernel chosen = lanes::TraceSse2;
    for (int w = 4; w <= cap; w *= 2)
        if (Kernel k = KernelFor(w))
            chosen = k;
    return chosen;
}

// One order of one lane, into a single ray's results.
void Collect(const lanes::Order& o, int l, int states, RayOrder3D& out)
{
    out.lit = o.lit[l] != 0.0;
    out.point = {o.x[l], o.y[l], o.z[l]};
    out.direction = {o.dx[l], o.dy[l], o.dz[l]};
    out.dirParallel = o.sPar[l];
    out.dirPerpendicular = o.sPerp[l];
    out.dirForward = o.sFwd[l];
    for (int st = 0; st < states; ++st) {
        out.ampTheta[st] = {o.thetaRe[st][l], o.thetaIm[st][l]};
        out.ampPhi[st] = {o.phiRe[st][l], o.phiIm[st][l]};
        out.power[st] = o.power[st][l];
    }
    out.phase = o.phase[l];
    out.jacobian = o.jacobian[l];
}

// Ray r of a block holds nothing: it misses the particle.
void Clear(OrderBlock& b, std::size_t r)
{
    b.lit[r] = 0;
    b.dirParallel[r] = 0.0;
    b.dirPerpendicular[r] = 0.0;
    b.dirForward[r] = 0.0;
    b.phase[r] = 0.0;
    b.jacobian[r] = 0.0;
    for (int st = 0; st < b.states; ++st) {
        b.ampTheta[st][r] = Complex{};
        b.ampPhi[st][r] = Complex{};
    }
}

void Size(OrderBlock& b, std::size_t rays)
{
    b.lit.resize(rays);
    for (std::vector<double>* v : {&b.dirParallel, &b.dirPerpendicular, &b.dirForward, &b.phase, &b.jacobian})
        v->resize(rays);
    for (int st = 0; st < b.states; ++st) {
        b.ampTheta[st].resize(rays);
        b.ampPhi[st].resize(rays);
    }
}

// Rays per band: a band is the smallest piece handed on (at least a row), and a few bands'
// blocks should stay in the processor's caches while they are filled and handed on.
constexpr int kRaysPerBand = 256;
// Bands in flight: a thread may run this many bands ahead of the last one handed on (the
// calling thread may be kept from handing on for a while on a busy machine).
constexpr int kBandSlots = 16;

// The grid rays of a band that meet the pupil, kLanes at a time (the last lanes of the last
// group repeat a ray, unread), into the band's blocks. Each ray is traced on its own, in the
// same steps whatever the thread or the width: a band's blocks do not depend on them.
void TraceBand(const lanes::Setup& S, Kernel kernel, int minP, const Pupil& pupil, int n, int firstRow, int rows,
               std::vector<OrderBlock>& blocks, lanes::Rays& rays)
{
    for (std::size_t o = 0; o < blocks.size(); ++o) {
        OrderBlock& b = blocks[o];
        b.p = minP + static_cast<int>(o);
        b.n = n;
        b.firstRow = firstRow;
        b.rows = rows;
        b.states = S.states;
        Size(b, static_cast<std::size_t>(rows) * static_cast<std::size_t>(n));
    }
    std::size_t index[lanes::kLanes];
    int filled = 0;
    auto flush = [&] {
        for (int l = filled; l < lanes::kLanes; ++l) {
            rays.u[l] = rays.u[filled - 1];
            rays.v[l] = rays.v[filled - 1];
        }
        kernel(S, rays);
        // The lanes hold runs of neighbours along a row: each run is copied at once.
        for (int first = 0, last = 0; first < filled; first = last) {
            last = first + 1;
            while (last < filled && index[last] == index[last - 1] + 1)
                ++last;
            const std::size_t r = index[first];
            const int count = last - first;
            for (OrderBlock& b : blocks) {
                const lanes::Order& o = rays.orders[b.p];
                for (int l = first; l < last; ++l)
                    b.lit[r + static_cast<std::size_t>(l - first)] = o.lit[l] != 0.0 ? 1 : 0;
                std::copy_n(o.sPar + first, count, b.dirParallel.data() + r);
                std::copy_n(o.sPerp + first, count, b.dirPerpendicular.data() + r);
                std::copy_n(o.sFwd + first, count, b.dirForward.data() + r);
                std::copy_n(o.phase + first, count, b.phase.data() + r);
                std::copy_n(o.jacobian + first, count, b.jacobian.data() + r);
                for (int st = 0; st < S.states; ++st)
                    for (int l = first; l < last; ++l) {
                        const std::size_t at = r + static_cast<std::size_t>(l - first);
                        b.ampTheta[st][at] = {o.thetaRe[st][l], o.thetaIm[st][l]};
                        b.ampPhi[st][at] = {o.phiRe[st][l], o.phiIm[st][l]};
                    }
            }
        }
        filled = 0;
    };
    for (int j = firstRow; j < firstRow + rows; ++j)
        for (int i = 0; i < n; ++i) {
            const std::size_t r = static_cast<std::size_t>(j - firstRow) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i);
            if (!Pupil::inside(n, i, j)) {
                for (OrderBlock& b : blocks)
                    Clear(b, r);
                continue;
            }
            pupil.point(n, i, j, rays.u[filled], rays.v[filled]);
            index[filled] = r;
            if (++filled == lanes::kLanes)
                flush();
        }
    if (filled > 0)
        flush();
}


// The blocks and kernel lanes of one band.
struct BandSlot {
    std::vector<OrderBlock> blocks;
    lanes::Rays rays;
};

// Bands traced on two threads and handed to the sink in row order, one at a time. A band may be
// at most kBandSlots ahead of the last one handed on; it takes the first free slot (so that one
// thread alone, or two in step, keep reusing the same few slots, whose blocks stay in the
// processor's caches). Whichever thread finishes a band hands on every finished band in turn,
// unless the other is handing on already (which then takes this one too): neither thread ever
// waits for the other to be scheduled again before it can go on. A failure on either thread
// wakes the other, which gives up its band; the failure is what the run reports.
class BandRing {
public:
    BandRing(int bands, std::size_t orders, Rays3DSink& sink) : bands_(bands), sink_(sink)
    {
        for (int s = 0; s < kBandSlots; ++s) {
            slots_.push_back(std::make_unique<BandSlot>());
            slots_.back()->blocks.resize(orders);
        }
        band_.assign(kBandSlots, -1);
        done_.assign(kBandSlots, false);
        slotOf_.assign(kBandSlots, -1);
    }

    BandSlot& take(int band)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (band - delivered_ >= kBandSlots) {
            if (failure_)
                throw GaveUp();
            handOn(lock);
            if (band - delivered_ >= kBandSlots)
                wake_.wait(lock);
        }
        // The bands in flight are those from the last handed on to this one: a slot is free.
        int s = 0;
        while (band_[static_cast<std::size_t>(s)] >= 0)
            ++s;
        band_[static_cast<std::size_t>(s)] = band;
        done_[static_cast<std::size_t>(s)] = false;
        slotOf_[static_cast<std::size_t>(band % kBandSlots)] = s;
        return *slots_[static_cast<std::size_t>(s)];
    }

    void finished(int band)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_[static_cast<std::size_t>(slotOf_[static_cast<std::size_t>(band % kBandSlots)])] = true;
        wake_.notify_all();
    }

    // Hands on every finished band in order, unless the other thread is doing so.
    void handOn()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        handOn(lock);
    }

    // The first failure of a band's work; the other thread gives up its band.
    void fail(std::exception_ptr error)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_)
            failure_ = error;
        wake_.notify_all();
    }

    void rethrowFailure() const
    {
        if (failure_)
            std::rethrow_exception(failure_);
    }

    // A band given up because the other thread failed.
    struct GaveUp {};

private:
    void handOn(std::unique_lock<std::mutex>& lock)
    {
        // The thread handing on looks for the next band under the lock before it stops, so a
        // band finished meanwhile is never left behind.
        if (handingOn_)
            return;
        handingOn_ = true;
        struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{handingOn_};
        while (delivered_ < bands_) {
            const int s = slotOf_[static_cast<std::size_t>(delivered_ % kBandSlots)];
            if (s < 0 || band_[static_cast<std::size_t>(s)] != delivered_ || !done_[static_cast<std::size_t>(s)])
                return;
            lock.unlock();
            {
                // The sink's own arithmetic is none of the run's: its flags do not count.
                const FpFlagsKept flags;
                for (const OrderBlock& block : slots_[static_cast<std::size_t>(s)]->blocks)
                    sink_.accept(block);
            }
            lock.lock();
            band_[static_cast<std::size_t>(s)] = -1;
            ++delivered_;
            wake_.notify_all();
        }
    }

    const int bands_;
    Rays3DSink& sink_;
    std::vector<std::unique_ptr<BandSlot>> slots_;
    std::vector<int> band_;      // the band in each slot, −1 when free
    std::vector<bool> done_;     // its tracing has finished
    std::vector<int> slotOf_;    // the slot of band b, at b % kBandSlots
    int delivered_ = 0;          // bands handed on
    bool handingOn_ = false;     // a thread is handing bands on
    std::exception_ptr failure_;
    std::mutex mutex_;
    std::condition_variable wake_;
};

} // namespace

Pupil MakePupil(const Rays3DInputs& inputs)
{
    const lanes::Setup S = MakeSetup(inputs);
    const FpFaultScope faults;
    const BeamFrame F = MakeBeamFrame(inputs.IncAngle, inputs.Tilt);
    auto timesA = [&](const Vec3& r) { return Vec3{S.Ax * r.x, S.Ay * r.y, S.Az * r.z}; };
    // A line ρ + w·k̂ meets the ellipsoid where (ρᵀAk̂)² ≥ k̂ᵀAk̂·(ρᵀAρ − 1): the shadow is
    // ρᵀPρ <= 1 with P = A − A·k̂·k̂ᵀ·A/(k̂ᵀAk̂) on (e_∥, e_⊥).
    const Vec3 Ak = timesA(F.forward);
    const Vec3 Apar = timesA(F.parallel);
    const Vec3 Aperp = timesA(F.perpendicular);
    const double kpar = Dot(Ak, F.parallel);
    const double kperp = Dot(Ak, F.perpendicular);
    const double p11 = Dot(Apar, F.parallel) - kpar * kpar / S.forwardAForward;
    const double p12 = Dot(Apar, F.perpendicular) - kpar * kperp / S.forwardAForward;
    const double p22 = Dot(Aperp, F.perpendicular) - kperp * kperp / S.forwardAForward;
    // Its eigenvalues; axis 1 the eigenvector nearer e_∥.
    const double half = 0.5 * (p11 - p22);
    const double root = std::sqrt(half * half + p12 * p12);
    const double sign = half >= 0.0 ? 1.0 : -1.0;
    const double lambda1 = 0.5 * (p11 + p22) + sign * root;
    const double lambda2 = (p11 * p22 - p12 * p12) / lambda1;
    Pupil pupil;
    pupil.semiAxis1 = 1.0 / std::sqrt(lambda1);
    pupil.semiAxis2 = 1.0 / std::sqrt(lambda2);
    if (p12 != 0.0) {
        const double eu = half + sign * root;  // λ1 − p22, of the sign of `half`
        const double len = std::sqrt(eu * eu + p12 * p12);
        pupil.axis1U = sign * eu / len;
        pupil.axis1V = sign * p12 / len;
    }
    faults.check();
    return pupil;
}

std::vector<int> Rays3DLaneWidths()
{
    std::vector<int> widths;
    for (int w = 2; w <= 8; w *= 2)
        if (KernelFor(w))
            widths.push_back(w);
    return widths;
}

PupilRun TracePupil(const Rays3DInputs& inputs, int n, Rays3DSink& sink, RunControl& control, int threads, int laneWidth)
{
    if (n < 1 || n > kMaxPupilSide)
        throw InputError("The pupil grid needs between 1 and " + std::to_string(kMaxPupilSide) + " rays a side.");
    const lanes::Setup S = MakeSetup(inputs);
    if (laneWidth != 0 && !KernelFor(laneWidth))
        throw InputError("This processor does not trace " + std::to_string(laneWidth) + " lanes at once.");
    const Kernel kernel = ChooseKernel(laneWidth);
    PupilRun run;
    run.pupil = MakePupil(inputs);
    run.n = n;
    run.cellArea = run.pupil.cellArea(n);
    run.k = S.k;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            run.raysInside += Pupil::inside(n, i, j) ? 1 : 0;

    const int rowsPerBand = std::max(1, kRaysPerBand / n);
    const int bands = (n + rowsPerBand - 1) / rowsPerBand;
    BandRing ring(bands, static_cast<std::size_t>(inputs.MaxP - inputs.MinP + 1), sink);
    const std::thread::id caller = std::this_thread::get_id();
    const FpFaultScope faults;
    try {
        RunOnTwoThreads(
            static_cast<std::size_t>(bands),
            [&](std::size_t task) {
                const int band = static_cast<int>(task);
                try {
                    ThrowIfCancelled(control);
                    if (std::this_thread::get_id() == caller)
                        control.progress(RunStage::Tracing, band * rowsPerBand, n);
                    BandSlot& slot = ring.take(band);
                    const int firstRow = band * rowsPerBand;
                    TraceBand(S, kernel, inputs.MinP, run.pupil, n, firstRow, std::min(rowsPerBand, n - firstRow),
                              slot.blocks, slot.rays);
                    CheckFpFaults();
                    ring.finished(band);
                    ring.handOn();
                } catch (const BandRing::GaveUp&) {
                    throw;
                } catch (...) {
                    ring.fail(std::current_exception());
                    throw;
                }
            },
            threads > 1);
    } catch (...) {
        ring.rethrowFailure();
        throw;
    }
    ring.handOn();
    faults.check();
    control.progress(RunStage::Tracing, n, n);
    return run;
}

std::vector<RayPath3D> TraceIncidentPoints(const Rays3DInputs& inputs, const std::vector<PupilPoint>& points)
{
    const lanes::Setup S = MakeSetup(inputs);
    const Kernel kernel = ChooseKernel(0);
    auto rays = std::make_unique<lanes::Rays>();
    std::vector<RayPath3D> paths(points.size());
    const FpFaultScope faults;
    for (std::size_t first = 0; first < points.size(); first += lanes::kLanes) {
        // The last lanes of the last group repeat its last point, unread.
        const std::size_t count = std::min<std::size_t>(lanes::kLanes, points.size() - first);
        for (int l = 0; l < lanes::kLanes; ++l) {
            const PupilPoint& pt = points[first + std::min<std::size_t>(static_cast<std::size_t>(l), count - 1)];
            rays->u[l] = pt.u;
            rays->v[l] = pt.v;
        }
        kernel(S, *rays);
        faults.check();
        for (std::size_t k = 0; k < count; ++k) {
            const int l = static_cast<int>(k);
            RayPath3D& path = paths[first + k];
            path.hits = rays->hits[l] != 0.0;
            path.enters = rays->enters[l] != 0.0;
            path.orders.resize(static_cast<std::size_t>(inputs.MaxP + 1));
            if (!path.hits)
                continue;
            for (int p = 0; p <= inputs.MaxP; ++p) {
                const lanes::Order& o = rays->orders[p];
                Collect(o, l, S.states, path.orders[static_cast<std::size_t>(p)]);
                if (p == 0 || path.enters)
                    path.points.push_back({o.x[l], o.y[l], o.z[l]});
            }
            for (int st = 0; st < S.states; ++st) {
                path.absorbed[st] = rays->absorbed[st][l];
                path.inside[st] = rays->inside[st][l];
            }
        }
    }
    return paths;
}

RayPath3D TraceIncidentPoint(const Rays3DInputs& inputs, double u, double v)
{
    return TraceIncidentPoints(inputs, {PupilPoint{u, v}}).front();
}

} // namespace orvane
