// orvane._core: the core's typed entry points for Python. The package orvane (orvane/__init__.py)
// wraps these functions in documented ones and turns their dictionaries into result objects.
//
// Every computation runs without the GIL, so other Python threads go on meanwhile. Its messages
// are kept while it runs and given to Python afterwards as warnings of class OrvaneWarning (and in
// the result); the core's errors become exceptions of class OrvaneError and its subclasses, with
// the program's message as their text. Ctrl-C stops a long run at its next check; a daemon thread
// in a computation when the interpreter exits never takes the process down.
#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cxxabi.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/Diagram.h"
#include "numeric/Angles.h"
#include "mie/Debye.h"
#include "mie/Mie.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/RunControl.h"
#include "raytrace/Picture.h"
#include "run/Jobs.h"

namespace py = pybind11;

namespace orvane {

// The 3-D rays (Rays3DModule.cpp).
void AddRays3D(py::module_& m);

namespace {

// ---------------------------------------------------------------------------------------
// The yes/no options of a diagram: one line each. The keyword is the Python name, the text
// its line in help(orvane.diagram); the default is DiagramInputs' own.

struct DiagramSwitch {
    const char* keyword;
    bool DiagramInputs::*field;
    const char* help;
};

const DiagramSwitch kDiagramSwitches[] = {
    {"total", &DiagramInputs::TotalIntensity,
     "sum the orders coherently on the angle grid (diffraction and airy need it)"},
    {"diffraction", &DiagramInputs::Diffraction, "add the Fraunhofer diffraction of the shadow to the total"},
    {"airy", &DiagramInputs::Airy, "the Airy wave sum near the primary rainbow (order 2)"},
    {"uniform_rainbow", &DiagramInputs::UniformRainbow,
     "the total with the uniform (Airy) field near every rainbow of every order, finite through the caustic"},
    {"mie", &DiagramInputs::ExactMie, "for a sphere, the exact (Mie) intensity on the same grid"},
    {"debye", &DiagramInputs::ExactDebye, "for a sphere, the exact Debye term of every order on the same grid"},
    {"entry_fresnel", &DiagramInputs::EntryFresnel,
     "every exit and internal reflection with the entry point's Fresnel coefficient (the earlier rule)"},
    {"sharp_diffraction", &DiagramInputs::SharpDiffraction,
     "the diffraction of a sharp-edged shadow, on the real part of the ray sum (the earlier rule)"},
};

// ---------------------------------------------------------------------------------------
// Errors and messages

// The Python classes of the core's errors, made once at import.
struct ErrorClasses {
    PyObject* base = nullptr;      // OrvaneError(Exception)
    PyObject* input = nullptr;     // InputError(OrvaneError, ValueError)
    PyObject* math = nullptr;      // MathError(OrvaneError, ArithmeticError)
    PyObject* file = nullptr;      // FileError(OrvaneError, OSError)
    PyObject* warning = nullptr;   // OrvaneWarning(UserWarning)
};
ErrorClasses g_classes;

PyObject* NewClass(py::module_& m, const char* name, const char* doc, py::tuple bases)
{
    const std::string qualified = std::string("orvane.") + name;
    PyObject* cls = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr);
    if (!cls)
        throw py::error_already_set();
    m.add_object(name, py::handle(cls));
    return cls;
}

void MakeErrorClasses(py::module_& m)
{
    g_classes.base = NewClass(m, "OrvaneError",
                              "An error of an Orvane computation; its text is the program's message.",
                              py::make_tuple(py::handle(PyExc_Exception)));
    const py::handle base(g_classes.base);
    g_classes.input = NewClass(m, "InputError",
                               "Inputs a computation cannot work with (also a ValueError).",
                               py::make_tuple(base, py::handle(PyExc_ValueError)));
    g_classes.math = NewClass(m, "MathError",
                              "A floating-point fault (division by zero, invalid operation, overflow) that ended "
                              "the computation (also an ArithmeticError).",
                              py::make_tuple(base, py::handle(PyExc_ArithmeticError)));
    g_classes.file = NewClass(m, "FileError", "A file that could not be written (also an OSError).",
                              py::make_tuple(base, py::handle(PyExc_OSError)));
    g_classes.warning = NewClass(m, "OrvaneWarning",
                                 "A message of a computation (a limit applied, a part left out); the computation "
                                 "went on.",
                                 py::make_tuple(py::handle(PyExc_UserWarning)));
}

void TranslateErrors(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const InputError& e) {
        PyErr_SetString(g_classes.input, e.what());
    } catch (const ConversionError& e) {
        PyErr_SetString(g_classes.input, e.what());
    } catch (const MathError& e) {
        PyErr_SetString(g_classes.math, e.what());
    } catch (const FileError& e) {
        PyErr_SetString(g_classes.file, e.what());
    } catch (const OrvaneError& e) {
        PyErr_SetString(g_classes.base, e.what());
    }
}

// How often the thread that started a run looks for Ctrl-C.
constexpr auto kInterruptPoll = std::chrono::milliseconds(100);

// Set when the interpreter exits (atexit): every run stops at its next check, and the threads
// that started runs wait for the end of the process instead of taking the interpreter's lock
// again (a daemon thread that takes it while the interpreter finalizes is ended by the
// interpreter, which must never meet a computation on its stack).
std::atomic<bool> g_exiting{false};
// The computations under way, for the exit to wait for.
std::mutex g_runsMutex;
std::condition_variable g_runsEnded;
int g_runs = 0;

// Keeps the run's messages and tells it to stop (Ctrl-C, or the interpreter's exit). The run
// calls display() from its own thread; the thread that started it reads the messages after it.
class PythonControl final : public RunControl {
public:
    void display(const std::string& text) override { messages.push_back(text); }
    bool cancelRequested() const override
    {
        return stop_.load(std::memory_order_relaxed) || g_exiting.load(std::memory_order_relaxed);
    }
    void stop() { stop_.store(true, std::memory_order_relaxed); }

    // With the GIL held: the messages as warnings (stacklevel 2: the caller of orvane's function);
    // a filter that turns them into errors raises here.
    void warn() const
    {
        for (const std::string& text : messages)
            if (PyErr_WarnEx(g_classes.warning, text.c_str(), 2) != 0)
                throw py::error_already_set();
    }

    std::vector<std::string> messages;

private:
    std::atomic<bool> stop_{false};
};

// The thread a computation runs on, counted for the interpreter's exit. Left while it still runs
// (the thread that started it unwinding), it is told to stop and waited for: it refers to that
// thread's stack.
class ComputeThread {
public:
    explicit ComputeThread(PythonControl& control) : control_(control) {}
    ComputeThread(const ComputeThread&) = delete;
    ComputeThread& operator=(const ComputeThread&) = delete;
    ~ComputeThread()
    {
        if (thread_.joinable()) {
            control_.stop();
            thread_.join();
        }
    }

    template <typename Body>
    void start(Body&& body)
    {
        {
            const std::lock_guard<std::mutex> lock(g_runsMutex);
            ++g_runs;
        }
        try {
            thread_ = std::thread([body = std::forward<Body>(body)]() mutable {
                body();
                const std::lock_guard<std::mutex> lock(g_runsMutex);
                --g_runs;
                g_runsEnded.notify_all();
            });
        } catch (...) {
            const std::lock_guard<std::mutex> lock(g_runsMutex);
            --g_runs;
            throw;
        }
    }

    void join() { thread_.join(); }

private:
    PythonControl& control_;
    std::thread thread_;
};

// The interpreter exits: the runs stop, and it waits (a few seconds at most) until their
// threads have left the computation, so that the process does not end under them.
void StopRunsAtExit()
{
    g_exiting.store(true);
    py::gil_scoped_release release;
    std::unique_lock<std::mutex> lock(g_runsMutex);
    g_runsEnded.wait_for(lock, std::chrono::seconds(10), [] { return g_runs == 0; });
}

// Runs `work` on a thread of its own, without the GIL; the calling thread waits, looking for
// Ctrl-C every kInterruptPoll (Python handles signals on its main thread only), and tells the
// run to stop when one came. Then it warns of the messages and raises what the run threw, or
// the KeyboardInterrupt.
template <typename Work>
auto RunReleased(PythonControl& control, Work&& work)
{
    using Result = decltype(work());
    std::optional<Result> result;
    std::exception_ptr error;
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    ComputeThread compute(control);  // after what it refers to: ended before they are
    compute.start([&] {
        try {
            result.emplace(work());
        } catch (abi::__forced_unwind&) {
            throw;  // this thread is being ended: let it go
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        done = true;
        changed.notify_all();
    });

    // A Ctrl-C that came during the run, kept as Python's (type, value, traceback) until the
    // lock is held again.
    PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
    PyThreadState* state = PyEval_SaveThread();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (changed.wait_for(lock, kInterruptPoll, [&] { return done; }))
                break;
        }
        if (g_exiting.load() || type != nullptr)
            continue;
        // The lock is taken in this frame, never inside the computation: should the
        // interpreter end this thread here, `compute` stops the run and waits for it.
        PyEval_RestoreThread(state);
        if (PyErr_CheckSignals() != 0) {
            PyErr_Fetch(&type, &value, &trace);
            control.stop();
        }
        state = PyEval_SaveThread();
    }
    compute.join();
    if (g_exiting.load()) {
        // The interpreter is going away: this thread must not take its lock again.
        for (;;)
            ::pause();
    }
    PyEval_RestoreThread(state);
    if (type != nullptr) {
        PyErr_Restore(type, value, trace);
        throw py::error_already_set();
    }
    control.warn();
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}

// ---------------------------------------------------------------------------------------
// Inputs

ParticleInputs MakeParticle(const std::vector<double>& radii, double wavelength, std::complex<double> index,
                            double incidenceDegrees, int polarisation)
{
    if (radii.size() != 3)
        throw InputError("radii needs three semi-axes (a, b, c) in µm.");
    ParticleInputs p;
    p.RadiusA = radii[0];
    p.RadiusB = radii[1];
    p.RadiusC = radii[2];
    p.Wavelength = wavelength;
    p.IndexRe = index.real();
    p.IndexIm = index.imag();
    p.IncAngle = ToRadians(incidenceDegrees);
    p.Polar = polarisation;
    return p;
}

std::optional<PositionRange> MakeRange(const std::optional<std::pair<double, double>>& positions)
{
    if (!positions)
        return std::nullopt;
    return PositionRange{positions->first, positions->second};
}

// ---------------------------------------------------------------------------------------
// Arrays

py::array_t<double> Array(std::span<const double> values)
{
    py::array_t<double> out(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), out.mutable_data());
    return out;
}

template <typename F>
py::array_t<double> ArrayOf(std::size_t n, F&& value)
{
    py::array_t<double> out(static_cast<py::ssize_t>(n));
    double* data = out.mutable_data();
    for (std::size_t i = 0; i < n; ++i)
        data[i] = value(i);
    return out;
}

py::array_t<std::complex<double>> ComplexArray(std::span<const double> re, std::span<const double> im)
{
    py::array_t<std::complex<double>> out(static_cast<py::ssize_t>(re.size()));
    std::complex<double>* data = out.mutable_data();
    for (std::size_t i = 0; i < re.size(); ++i)
        data[i] = {re[i], im[i]};
    return out;
}

// ---------------------------------------------------------------------------------------
// Diagram

py::dict DiagramDict(const DiagramResult& r, const std::vector<std::string>& messages)
{
    const DiagramInputs& in = r.inputs;
    const ScatteringGrid& grid = r.grid;
    py::dict d;

    py::dict inputs;
    inputs["radii"] = py::make_tuple(in.particle.RadiusA, in.particle.RadiusB, in.particle.RadiusC);
    inputs["wavelength"] = in.particle.Wavelength;
    inputs["index"] = std::complex<double>(in.particle.IndexRe, in.particle.IndexIm);
    inputs["incidence"] = ToDegrees(in.particle.IncAngle);
    inputs["polarisation"] = in.particle.Polar;
    inputs["orders"] = py::make_tuple(in.MinP, in.MaxP);
    inputs["rays"] = in.NumIncRays;
    inputs["angles"] = in.NumScaRays;
    inputs["positions"] = in.range ? py::object(py::make_tuple(in.range->Min, in.range->Max)) : py::none();
    for (const DiagramSwitch& s : kDiagramSwitches)
        inputs[s.keyword] = in.*s.field;
    d["inputs"] = inputs;

    d["angles"] = ArrayOf(grid.ThetaGrid.size(), [&](std::size_t e) { return ToDegrees(grid.ThetaGrid[e]); });
    d["heights"] = Array(r.rays.positions.heights);
    d["intensity_norm"] = r.rays.norm.IntensityNorm;

    const auto n = static_cast<std::size_t>(r.rays.count());
    py::dict orders;
    for (int p = in.MinP; p <= in.MaxP; ++p) {
        const OrderRows rows = r.order(p);
        orders[py::int_(p)] = py::make_tuple(ArrayOf(n, [&](std::size_t i) { return ToDegrees(rows.angle[i]); }),
                                             Array({rows.intensity, n}), Array({rows.phase, n}));
    }
    d["orders"] = orders;

    if (r.totalComputed) {
        d["total"] = Array(grid.TotalIntensity);
        d["amplitude"] = ComplexArray(grid.TotalAmpRe, grid.TotalAmpIm);
    }
    if (r.totalComputed && in.Diffraction)
        d["diffraction_amplitude"] = Array(grid.DiffAmp);

    if (r.airy) {
        const AiryCurve& c = *r.airy;
        py::dict airy;
        airy["rainbow_ray"] = c.RainbowIndex;
        airy["rainbow_angle"] = ToDegrees(c.RainbowAngle);
        airy["rainbow_phase"] = c.RainbowPhase;
        airy["rainbow_amplitude"] = c.RainbowAmplitude;
        const std::size_t k = c.rays.size();
        airy["v"] = ArrayOf(k, [&](std::size_t i) { return c.rays[i].v; });
        airy["psi"] = ArrayOf(k, [&](std::size_t i) { return c.rays[i].psi; });
        airy["A"] = ArrayOf(k, [&](std::size_t i) { return c.rays[i].A; });
        airy["theta"] = ArrayOf(k, [&](std::size_t i) { return ToDegrees(c.rays[i].theta); });
        airy["r"] = ArrayOf(k, [&](std::size_t i) { return c.rays[i].r; });
        airy["angles"] = ArrayOf(c.angle.size(), [&](std::size_t i) { return ToDegrees(c.angle[i]); });
        airy["intensity"] = Array(c.intensity);
        d["airy"] = airy;
    }
    if (!r.mie.empty())
        d["mie"] = Array(r.mie);
    if (!r.debye.empty()) {
        py::dict debye;
        for (std::size_t k = 0; k < r.debye.size(); ++k)
            debye[py::int_(in.MinP + static_cast<int>(k))] = Array(r.debye[k]);
        d["debye"] = debye;
    }
    d["messages"] = messages;
    return d;
}

py::dict Diagram(const std::vector<double>& radii, double wavelength, std::complex<double> index, double incidence,
                 int polarisation, std::pair<int, int> orders, int rays, int angles,
                 const std::optional<std::pair<double, double>>& positions, const py::dict& switches,
                 const std::optional<std::filesystem::path>& output, bool check, char separator)
{
    DiagramInputs in;
    in.particle = MakeParticle(radii, wavelength, index, incidence, polarisation);
    in.MinP = orders.first;
    in.MaxP = orders.second;
    in.NumIncRays = rays;
    in.NumScaRays = angles;
    in.range = MakeRange(positions);
    for (const DiagramSwitch& s : kDiagramSwitches)
        if (switches.contains(s.keyword))
            in.*s.field = switches[s.keyword].cast<bool>();

    PythonControl control;
    DiagramResult result = RunReleased(control, [&] {
        // The folder first: one run at a time there, and what a killed run left put right
        // even when these inputs are then refused.
        std::optional<RunFolder> folder;
        if (output)
            folder.emplace(*output);
        CheckDiagramInputs(in, check, control);
        if (folder)
            return RunDiagram(in, check, *folder, separator, control);
        return ComputeDiagram(in, control);
    });
    return DiagramDict(result, control.messages);
}

py::list DiagramSwitches()
{
    const DiagramInputs defaults;
    py::list out;
    for (const DiagramSwitch& s : kDiagramSwitches)
        out.append(py::make_tuple(s.keyword, defaults.*s.field, s.help));
    return out;
}

// ---------------------------------------------------------------------------------------
// Exact theory of a sphere

// The scattering angles asked for: a count n gives the diagram's grid of n angles from −180° to
// 180°, an array (float64, one dimension: the package makes it so) its own angles in degrees.
// Both in radians for the computation, and in degrees as returned.
struct AngleSet {
    std::vector<double> radians;
    py::array_t<double> degrees;
};

// The angles of mie() and debye() take the diagram's limit: a count from 2 to 1000000 (its
// message), an array of at most 1000000; both checked before anything is allocated.
constexpr py::ssize_t kMaxExactAngles = 1000000;

AngleSet Angles(const py::object& angles)
{
    AngleSet set;
    if (py::isinstance<py::int_>(angles)) {
        CheckScatteringAngles(angles.cast<int>());
        set.radians = MieThetaGrid(angles.cast<int>());
        set.degrees = ArrayOf(set.radians.size(), [&](std::size_t e) { return ToDegrees(set.radians[e]); });
        return set;
    }
    set.degrees = angles.cast<py::array_t<double>>();
    if (set.degrees.size() > kMaxExactAngles)
        throw InputError("The number of scattering angles must be at most 1000000.");
    const double* deg = set.degrees.data();
    set.radians.reserve(static_cast<std::size_t>(set.degrees.size()));
    for (py::ssize_t e = 0; e < set.degrees.size(); ++e) {
        if (!std::isfinite(deg[e]))
            throw InputError("Every scattering angle must be a finite number.");
        set.radians.push_back(ToRadians(deg[e]));
    }
    return set;
}

// What the exact terms at `angles` angles take in memory: per term and angle S1 and S2 as
// computed and as returned, and the intensity. Known before anything is allocated, and refused
// when the machine has less.
void CheckExactMemory(std::size_t angles, std::size_t terms)
{
    const double bytes = double(angles) * double(terms) * (2 * 2 * sizeof(std::complex<double>) + sizeof(double));
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    const double memory = pages > 0 && pageSize > 0 ? double(pages) * double(pageSize) : 0.0;
    if (memory > 0.0 && bytes > memory)
        throw InputError("The exact terms at " + std::to_string(angles) + " angles need " +
                         FloatToStr(std::ceil(bytes / 1e8) / 10.0) + " GB of memory; this machine has " +
                         FloatToStr(std::floor(memory / 1e8) / 10.0) + " GB.");
}

py::tuple Amplitudes(std::span<const MieAmplitude> a, int polarisation)
{
    py::array_t<std::complex<double>> s1(static_cast<py::ssize_t>(a.size())), s2(static_cast<py::ssize_t>(a.size()));
    py::array_t<double> intensity(static_cast<py::ssize_t>(a.size()));
    for (std::size_t i = 0; i < a.size(); ++i) {
        s1.mutable_data()[i] = a[i].S1;
        s2.mutable_data()[i] = a[i].S2;
        intensity.mutable_data()[i] = std::norm(polarisation != 0 ? a[i].S1 : a[i].S2);
    }
    return py::make_tuple(s1, s2, intensity);
}

py::dict Mie(double radius, double wavelength, std::complex<double> index, const py::object& angles, int polarisation)
{
    AngleSet set = Angles(angles);
    CheckExactMemory(set.radians.size(), 1);
    PythonControl control;
    auto [sphere, amplitudes, intensity] = RunReleased(control, [&] {
        MieSphere sphere(radius, wavelength, index);
        std::vector<MieAmplitude> amplitudes(set.radians.size());
        sphere.S1S2(set.radians, amplitudes, &control);
        // The diagram's own routine, so that these numbers are the diagram's mie curve.
        std::vector<double> intensity = MieGridIntensity(sphere, set.radians, 0.0, polarisation, &control);
        return std::make_tuple(std::move(sphere), std::move(amplitudes), std::move(intensity));
    });
    const py::tuple s = Amplitudes(amplitudes, polarisation);
    py::dict d;
    d["angles"] = set.degrees;
    d["S1"] = s[0];
    d["S2"] = s[1];
    d["intensity"] = Array(intensity);
    d["size_parameter"] = sphere.SizeParameter();
    d["terms"] = sphere.NumTerms();
    d["qext"] = sphere.Qext();
    d["qsca"] = sphere.Qsca();
    d["qback"] = sphere.Qback();
    return d;
}

py::dict Debye(double radius, double wavelength, std::complex<double> index, const py::object& angles,
               int polarisation, std::pair<int, int> orders, bool diffraction, bool remainder, bool reflection)
{
    AngleSet set = Angles(angles);
    DebyeTerms terms;
    terms.pmin = orders.first;
    terms.pmax = orders.second;
    terms.diffraction = diffraction;
    terms.remainder = remainder;
    terms.reflection = reflection;
    if (0 <= terms.pmin && terms.pmin <= terms.pmax && terms.pmax <= kDebyeMaxOrder)
        CheckExactMemory(set.radians.size(), std::size_t(terms.pmax - terms.pmin + 1) + diffraction + remainder +
                                                 reflection);
    PythonControl control;
    auto [x, amplitudes] = RunReleased(control, [&] {
        const DebyeSphere sphere(radius, wavelength, index);
        return std::make_pair(sphere.SizeParameter(), sphere.S1S2(set.radians, terms, &control));
    });
    py::dict d;
    d["angles"] = set.degrees;
    d["size_parameter"] = x;
    py::dict byOrder;
    for (std::size_t k = 0; k < amplitudes.orders.size(); ++k)
        byOrder[py::int_(amplitudes.pmin + static_cast<int>(k))] = Amplitudes(amplitudes.orders[k], polarisation);
    d["orders"] = byOrder;
    if (diffraction)
        d["diffraction"] = Amplitudes(amplitudes.diffraction, polarisation);
    if (remainder)
        d["remainder"] = Amplitudes(amplitudes.remainder, polarisation);
    if (reflection)
        d["reflection"] = Amplitudes(amplitudes.reflection, polarisation);
    return d;
}

// ---------------------------------------------------------------------------------------
// The ray-tracing picture

// The kinds of drawn segment, as the numbers of the "kind" array.
enum SegmentKind { kIncident = 0, kReflected = 1, kChord = 2, kEmergent = 3 };

py::dict PictureDict(const Picture& pic, const std::vector<std::string>& messages)
{
    std::vector<double> xy;
    std::vector<int> order, kind, ray;
    auto add = [&](const PicturePoint& a, const PicturePoint& b, int p, int k, int i) {
        xy.insert(xy.end(), {a.x, a.y, b.x, b.y});
        order.push_back(p);
        kind.push_back(k);
        ray.push_back(i);
    };
    for (std::size_t i = 0; i < pic.rays.size(); ++i) {
        const PicturePath& path = pic.rays[i];
        const int r = static_cast<int>(i);
        add(path.start, path.entry, 0, kIncident, r);
        if (path.reflectedEnd)
            add(path.entry, *path.reflectedEnd, 0, kReflected, r);
        PicturePoint from = path.entry;
        for (std::size_t c = 0; c < path.chords.size(); ++c) {
            const int p = static_cast<int>(c) + 1;
            add(from, path.chords[c].end, p, kChord, r);
            if (path.chords[c].emergentEnd)
                add(path.chords[c].end, *path.chords[c].emergentEnd, p, kEmergent, r);
            from = path.chords[c].end;
        }
    }
    py::array_t<double> segments({static_cast<py::ssize_t>(order.size()), py::ssize_t{4}});
    std::copy(xy.begin(), xy.end(), segments.mutable_data());

    py::dict d;
    d["width"] = pic.width;
    d["height"] = pic.height;
    d["centre"] = py::make_tuple(pic.Xc, pic.Yc);
    d["scale"] = pic.S;
    d["ellipse"] = py::make_tuple(pic.ellipseLeft, pic.ellipseTop, pic.ellipseRight, pic.ellipseBottom);
    d["symmetric"] = pic.symmetric;
    d["segments"] = segments;
    d["order"] = py::array_t<int>(static_cast<py::ssize_t>(order.size()), order.data());
    d["kind"] = py::array_t<int>(static_cast<py::ssize_t>(kind.size()), kind.data());
    d["ray"] = py::array_t<int>(static_cast<py::ssize_t>(ray.size()), ray.data());
    d["messages"] = messages;
    return d;
}

py::dict PictureOf(const std::vector<double>& radii, double wavelength, std::complex<double> index, double incidence,
                   int polarisation, std::pair<int, int> orders, int rays,
                   const std::optional<std::pair<double, double>>& positions, double size, bool emergent, int width,
                   int height, const std::optional<std::filesystem::path>& output, char separator)
{
    PictureInputs in;
    in.particle = MakeParticle(radii, wavelength, index, incidence, polarisation);
    in.range = MakeRange(positions);
    in.EllipsoidSize = size;
    in.ShowEmergent = emergent;
    PythonControl control;
    Picture picture = RunReleased(control, [&] {
        std::optional<RunFolder> folder;
        if (output)
            folder.emplace(*output);
        // The window's order: the orders, the ray count, then the particle.
        in.MinP = LimitMinOrder(orders.first);
        in.MaxP = LimitMaxOrder(orders.second, control);
        in.NumRays = LimitPictureRays(rays, control);
        CheckParticle(in.particle);
        Picture pic = ComputePicture(in, width, height);
        if (folder)
            WritePictureFile(pic, in, *folder, separator);
        return pic;
    });
    return PictureDict(picture, control.messages);
}

} // namespace
} // namespace orvane

PYBIND11_MODULE(_core, m)
{
    using namespace orvane;
    namespace py = pybind11;
    m.doc() = "The compiled core of orvane; use the functions of the package orvane.";
    MakeErrorClasses(m);
    py::register_exception_translator(&TranslateErrors);
    // Runs in daemon threads stop when the interpreter exits, before it goes away under them.
    py::module_::import("atexit").attr("register")(py::cpp_function(&StopRunsAtExit));
    SetRunOrigin(std::string("Python ") + PY_VERSION + ", module orvane");

    m.attr("DIAGRAM_SWITCHES") = DiagramSwitches();
    m.attr("MAX_ORDER") = kMaxOrder;
    m.attr("MAX_RAYS") = kMaxRays;

    m.def("diagram", &Diagram, py::arg("radii"), py::arg("wavelength"), py::arg("index"), py::arg("incidence"),
          py::arg("polarisation"), py::arg("orders"), py::arg("rays"), py::arg("angles"), py::arg("positions"),
          py::arg("switches"), py::arg("output"), py::arg("check"), py::arg("separator"));
    m.def("mie", &Mie, py::arg("radius"), py::arg("wavelength"), py::arg("index"), py::arg("angles"),
          py::arg("polarisation"));
    m.def("debye", &Debye, py::arg("radius"), py::arg("wavelength"), py::arg("index"), py::arg("angles"),
          py::arg("polarisation"), py::arg("orders"), py::arg("diffraction"), py::arg("remainder"),
          py::arg("reflection"));
    m.def("picture", &PictureOf, py::arg("radii"), py::arg("wavelength"), py::arg("index"), py::arg("incidence"),
          py::arg("polarisation"), py::arg("orders"), py::arg("rays"), py::arg("positions"), py::arg("size"),
          py::arg("emergent"), py::arg("width"), py::arg("height"), py::arg("output"), py::arg("separator"));
    AddRays3D(m);
}
