// orvane._core.rays3d: the 3-D rays of a particle as numpy arrays, order by order, over the
// pupil grid or at given incident points. The package's orvane.rays3d documents it.
#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <complex>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/RunControl.h"
#include "numeric/Angles.h"
#include "trace3d/Rays3D.h"

namespace py = pybind11;

namespace orvane {
namespace {

// Stops the run at its next band when Python has a signal pending (Ctrl-C).
class InterruptControl final : public RunControl {
public:
    // The 3-D run has no messages of its own.
    void display(const std::string&) override {}
    void progress(RunStage, int, int) override
    {
        const auto now = std::chrono::steady_clock::now();
        if (interrupted_.load(std::memory_order_relaxed) || now - lastPoll_ < std::chrono::milliseconds(100))
            return;
        lastPoll_ = now;
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) {
            pending_.emplace();  // the exception (KeyboardInterrupt), raised once the run is over
            interrupted_.store(true, std::memory_order_relaxed);
        }
    }
    // Asked by both threads of the run.
    bool cancelRequested() const override { return interrupted_.load(std::memory_order_relaxed); }

    // With the GIL held, after the run.
    void finish(std::exception_ptr error)
    {
        if (pending_) {
            py::error_already_set pending = std::move(*pending_);
            pending_.reset();
            throw pending;
        }
        if (error)
            std::rethrow_exception(error);
    }

private:
    std::chrono::steady_clock::time_point lastPoll_ = std::chrono::steady_clock::now();
    std::atomic<bool> interrupted_{false};
    std::optional<py::error_already_set> pending_;
};

// One order's arrays, of the shape given (n × n for the grid, N for points), made with the GIL.
struct OrderArrays {
    py::array_t<bool> lit;
    py::array_t<double> theta, phi, phase, jacobian;  // degrees, degrees, radians, 1/µm²
    py::array_t<double> direction;                    // (..., 3): on (e_∥, e_⊥, k̂)
    py::array_t<std::complex<double>> amplitude;      // (..., 2) or (..., 2, 2): (A_θ, A_φ) [of each state]

    OrderArrays(std::vector<py::ssize_t> shape, int states)
        : lit(shape), theta(shape), phi(shape), phase(shape), jacobian(shape)
    {
        std::vector<py::ssize_t> dir = shape;
        dir.push_back(3);
        direction = py::array_t<double>(dir);
        std::vector<py::ssize_t> amp = shape;
        amp.push_back(2);
        if (states == 2)
            amp.push_back(2);
        amplitude = py::array_t<std::complex<double>>(amp);
    }

    // Ray r (flat index) from its beam-frame direction, amplitudes of each state, phase and jacobian.
    void set(std::size_t r, bool on, double sPar, double sPerp, double sFwd, const Complex* theta2, const Complex* phi2,
             int states, double ph, double jac)
    {
        lit.mutable_data()[r] = on;
        const ScatteringAngles a = on ? AnglesOf(sPar, sPerp, sFwd) : ScatteringAngles{};
        theta.mutable_data()[r] = ToDegrees(a.theta);
        phi.mutable_data()[r] = ToDegrees(a.phi);
        phase.mutable_data()[r] = ph;
        jacobian.mutable_data()[r] = jac;
        double* d = direction.mutable_data() + 3 * r;
        d[0] = sPar;
        d[1] = sPerp;
        d[2] = sFwd;
        // (A_θ, A_φ) of one state, or [[A_θ of e_∥, A_θ of e_⊥], [A_φ of e_∥, A_φ of e_⊥]].
        std::complex<double>* A = amplitude.mutable_data() + static_cast<std::size_t>(2 * states) * r;
        if (states == 1) {
            A[0] = theta2[0];
            A[1] = phi2[0];
        } else {
            A[0] = theta2[0];
            A[1] = theta2[1];
            A[2] = phi2[0];
            A[3] = phi2[1];
        }
    }

    py::dict dict() const
    {
        py::dict d;
        d["lit"] = lit;
        d["theta"] = theta;
        d["phi"] = phi;
        d["direction"] = direction;
        d["amplitude"] = amplitude;
        d["phase"] = phase;
        d["jacobian"] = jacobian;
        return d;
    }
};

// Fills each order's n × n arrays from the blocks, rows j of the grid first.
class GridSink final : public Rays3DSink {
public:
    explicit GridSink(std::map<int, OrderArrays>& orders) : orders_(orders) {}
    void accept(const OrderBlock& b) override
    {
        OrderArrays& o = orders_.at(b.p);
        const std::size_t first = static_cast<std::size_t>(b.firstRow) * static_cast<std::size_t>(b.n);
        for (std::size_t r = 0; r < b.size(); ++r) {
            const Complex theta[2] = {b.ampTheta[0][r], b.states == 2 ? b.ampTheta[1][r] : Complex{}};
            const Complex phi[2] = {b.ampPhi[0][r], b.states == 2 ? b.ampPhi[1][r] : Complex{}};
            o.set(first + r, b.lit[r] != 0, b.dirParallel[r], b.dirPerpendicular[r], b.dirForward[r], theta, phi, b.states,
                  b.phase[r], b.jacobian[r]);
        }
    }

private:
    std::map<int, OrderArrays>& orders_;
};

py::dict Rays3D(const std::vector<double>& radii, double wavelength, std::complex<double> index, double incidence,
                double tilt, std::complex<double> jonesParallel, std::complex<double> jonesPerpendicular,
                bool bothStates, std::pair<int, int> orders, int rays,
                const std::optional<py::array_t<double, py::array::c_style | py::array::forcecast>>& points,
                bool entryFresnel)
{
    if (radii.size() != 3)
        throw InputError("radii needs three semi-axes (a, b, c) in µm.");
    Rays3DInputs in;
    in.RadiusA = radii[0];
    in.RadiusB = radii[1];
    in.RadiusC = radii[2];
    in.Wavelength = wavelength;
    in.IndexRe = index.real();
    in.IndexIm = index.imag();
    in.IncAngle = ToRadians(incidence);
    in.Tilt = ToRadians(tilt);
    in.Jones = {jonesParallel, jonesPerpendicular};
    in.BothStates = bothStates;
    in.MinP = orders.first;
    in.MaxP = orders.second;
    in.Fresnel = entryFresnel ? Rays3DFresnel::Entry : Rays3DFresnel::Local;
    const int states = bothStates ? 2 : 1;

    // Checks the inputs before any array is made for them.
    const Pupil pupil = MakePupil(in);
    if (!points && (rays < 1 || rays > kMaxPupilSide))
        throw InputError("The pupil grid needs between 1 and " + std::to_string(kMaxPupilSide) + " rays a side.");
    std::vector<py::ssize_t> shape;
    if (points) {
        if (points->ndim() != 2 || points->shape(1) != 2)
            throw InputError("points needs an array of incident points (u, v) in µm, one per row.");
        shape = {points->shape(0)};
    } else {
        shape = {rays, rays};
    }
    std::map<int, OrderArrays> arrays;
    for (int p = in.MinP; p <= in.MaxP; ++p)
        arrays.emplace(p, OrderArrays(shape, states));

    InterruptControl control;
    std::exception_ptr error;
    {
        py::gil_scoped_release release;
        try {
            if (points) {
                // A few thousand points at a time, looking for Ctrl-C in between.
                const double* uv = points->data();
                const std::size_t total = static_cast<std::size_t>(points->shape(0));
                constexpr std::size_t kChunk = 4096;
                for (std::size_t first = 0; first < total; first += kChunk) {
                    control.progress(RunStage::Tracing, static_cast<int>(first), static_cast<int>(total));
                    ThrowIfCancelled(control);
                    std::vector<PupilPoint> chunk;
                    for (std::size_t k = first; k < std::min(total, first + kChunk); ++k)
                        chunk.push_back({uv[2 * k], uv[2 * k + 1]});
                    const std::vector<RayPath3D> rays = TraceIncidentPoints(in, chunk);
                    for (std::size_t k = 0; k < rays.size(); ++k)
                        for (int p = in.MinP; p <= in.MaxP; ++p) {
                            const RayOrder3D& o = rays[k].orders[static_cast<std::size_t>(p)];
                            arrays.at(p).set(first + k, o.lit, o.dirParallel, o.dirPerpendicular, o.dirForward,
                                             o.ampTheta, o.ampPhi, states, o.phase, o.jacobian);
                        }
                }
            } else {
                GridSink sink(arrays);
                TracePupil(in, rays, sink, control);
            }
        } catch (...) {
            error = std::current_exception();
        }
    }
    control.finish(error);

    py::dict d;
    py::dict byOrder;
    for (auto& [p, a] : arrays)
        byOrder[py::int_(p)] = a.dict();
    d["orders"] = byOrder;
    d["semi_axes"] = py::make_tuple(pupil.semiAxis1, pupil.semiAxis2);
    d["axis"] = py::make_tuple(pupil.axis1U, pupil.axis1V);
    d["cell_area"] = points ? py::object(py::none()) : py::object(py::float_(pupil.cellArea(rays)));
    d["wave_number"] = 2.0 * kPi / wavelength;
    d["states"] = states;
    return d;
}

} // namespace

void AddRays3D(py::module_& m)
{
    m.def("rays3d", &Rays3D, py::arg("radii"), py::arg("wavelength"), py::arg("index"), py::arg("incidence"),
          py::arg("tilt"), py::arg("jones_parallel"), py::arg("jones_perpendicular"), py::arg("both_states"),
          py::arg("orders"), py::arg("rays"), py::arg("points"), py::arg("entry_fresnel"));
}

} // namespace orvane
