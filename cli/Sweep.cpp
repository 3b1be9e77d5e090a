#include "cli/Sweep.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <variant>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/RunControl.h"
#include "base/RunFolder.h"
#include "base/StagedFiles.h"
#include "base/TextFile.h"
#include "cli/NetCdf.h"
#include "engine/Diagram.h"
#include "numeric/Angles.h"
#include "run/FieldInputs.h"

namespace orvane {

namespace {

constexpr std::size_t kSweepFileLimit = 1 << 20;
constexpr int kMaxTasks = 1000000;
constexpr char kTaskMagic[8] = {'O', 'R', 'V', 'S', 'W', 'T', 'K', '1'};
constexpr char kTaskEnd[8] = {'O', 'R', 'V', 'S', 'W', 'E', 'N', 'D'};
constexpr const char* kTaskFileName = "results";

// ---------------------------------------------------------------------------------------
// The inputs a sweep can vary: each sets one or more fields of the window.

struct InputField {
    const char* name;
    bool integer;
    std::vector<std::string Fields::*> fields;
};

const std::vector<InputField>& InputFields()
{
    static const std::vector<InputField> table = {
        {"radius", false, {&Fields::EdtRadius_a, &Fields::EdtRadius_b, &Fields::EdtRadius_c}},
        {"radius_a", false, {&Fields::EdtRadius_a}},
        {"radius_b", false, {&Fields::EdtRadius_b}},
        {"radius_c", false, {&Fields::EdtRadius_c}},
        {"wavelength", false, {&Fields::EdtWl}},
        {"index", false, {&Fields::Edtmr}},
        {"index_imag", false, {&Fields::Edtmi}},
        {"incidence", false, {&Fields::EdtIncAng}},
        {"polarisation", true, {&Fields::CbxPol}},
        {"rays", true, {&Fields::LblEdtNumRays}},
    };
    return table;
}

const InputField* FindInput(const std::string& name)
{
    for (const InputField& f : InputFields())
        if (name == f.name)
            return &f;
    return nullptr;
}

std::string Quoted(const std::filesystem::path& p) { return "\"" + p.string() + "\""; }

std::uint64_t Fnv1a(const std::string& bytes)
{
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return h;
}

// A file of at most `limit` bytes, read whole; only a regular file is read, so that a named
// pipe or a device cannot hold or feed the program.
std::string ReadSmallFile(const std::filesystem::path& file, std::size_t limit, const std::string& what)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            throw FileError("File not found: \"" + file.string() + "\"");
        ThrowFileError("Cannot open file", file, error);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uintmax_t>(st.st_size) > limit) {
        ::close(fd);
        throw FileError("\"" + file.string() + "\" is not " + what);
    }
    std::string data;
    char chunk[1 << 14];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            ThrowFileError("Cannot read file", file, error);
        }
        if (got == 0)
            break;
        data.append(chunk, static_cast<std::size_t>(got));
        if (data.size() > limit) {
            ::close(fd);
            throw FileError("\"" + file.string() + "\" is not " + what);
        }
    }
    ::close(fd);
    return data;
}

// ---------------------------------------------------------------------------------------
// The attributes of one diagram: its inputs after the program's limits, named and written as
// orvane.diagram's inputs are in Python (a complex index as two reals, a yes/no as 0 or 1).

using Attribute = NetCdfAttribute;

std::vector<Attribute> InputAttributes(const DiagramInputs& in)
{
    using Reals = std::vector<double>;
    using Integers = std::vector<std::int32_t>;
    const ParticleInputs& p = in.particle;
    std::vector<Attribute> a = {
        {"radii", Reals{p.RadiusA, p.RadiusB, p.RadiusC}},
        {"wavelength", Reals{p.Wavelength}},
        {"index_real", Reals{p.IndexRe}},
        {"index_imag", Reals{p.IndexIm}},
        {"incidence", Reals{ToDegrees(p.IncAngle)}},
        {"polarisation", Integers{p.Polar}},
        {"orders", Integers{in.MinP, in.MaxP}},
        {"rays", Integers{in.NumIncRays}},
        {"angles", Integers{in.NumScaRays}},
    };
    if (in.range)
        a.push_back({"positions", Reals{in.range->Min, in.range->Max}});
    const std::pair<const char*, bool> switches[] = {
        {"total", in.TotalIntensity}, {"diffraction", in.Diffraction}, {"airy", in.Airy},
        {"uniform_rainbow", in.UniformRainbow}, {"mie", in.ExactMie}, {"debye", in.ExactDebye},
        {"entry_fresnel", in.EntryFresnel}, {"sharp_diffraction", in.SharpDiffraction},
    };
    for (const auto& [name, on] : switches)
        a.push_back({name, Integers{on ? 1 : 0}});
    return a;
}

bool SameValue(const Attribute& a, const Attribute& b)
{
    if (a.value.index() != b.value.index())
        return false;
    if (const auto* reals = std::get_if<std::vector<double>>(&a.value)) {
        const auto& other = std::get<std::vector<double>>(b.value);
        // Bit for bit, as Python compares the arrays.
        return reals->size() == other.size() &&
               std::equal(reals->begin(), reals->end(), other.begin(),
                          [](double x, double y) { return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y) || x == y; });
    }
    return a.value == b.value;
}

// ---------------------------------------------------------------------------------------
// Binary files written whole through StagedFiles (task files little-endian, the NetCDF file
// as its own bytes say).

class StagedBinaryFile {
public:
    StagedBinaryFile(StagedFiles& staged, const std::filesystem::path& file) : staged_(staged), path_(file)
    {
        file_ = staged_.create(file);
    }
    ~StagedBinaryFile()
    {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    StagedBinaryFile(const StagedBinaryFile&) = delete;
    StagedBinaryFile& operator=(const StagedBinaryFile&) = delete;

    void bytes(const void* data, std::size_t n) { buffer_.append(static_cast<const char*>(data), n); flushIfFull(); }
    void u8(std::uint8_t v) { buffer_.push_back(static_cast<char>(v)); }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            buffer_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void u64(std::uint64_t v)
    {
        for (int i = 0; i < 8; ++i)
            buffer_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void text(const std::string& s)
    {
        u32(static_cast<std::uint32_t>(s.size()));
        buffer_ += s;
    }
    void reals(const double* v, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            u64(std::bit_cast<std::uint64_t>(v[i]));
        flushIfFull();
    }
    // Bytes at an offset of the file, after everything written so far.
    void writeAt(std::uint64_t offset, const std::string& data)
    {
        flush();
        errno = 0;
        if (::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0 ||
            std::fwrite(data.data(), 1, data.size(), file_) != data.size())
            ThrowFileError("Cannot write file", path_, errno);
    }
    void close()
    {
        flush();
        std::FILE* f = file_;
        const StagedFiles::StreamId id = StagedFiles::IdOf(f);
        file_ = nullptr;
        errno = 0;
        if (std::fclose(f) != 0)
            ThrowFileError("Cannot write file", path_, errno);
        staged_.closed(id);
    }

private:
    void flushIfFull()
    {
        if (buffer_.size() >= (1u << 20))
            flush();
    }
    void flush()
    {
        errno = 0;
        if (!buffer_.empty() && (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size() ||
                                 std::fflush(file_) != 0))
            ThrowFileError("Cannot write file", path_, errno);
        buffer_.clear();
    }

    StagedFiles& staged_;
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    std::string buffer_;
};

void WriteAttributes(StagedBinaryFile& out, const std::vector<Attribute>& attributes)
{
    out.u32(static_cast<std::uint32_t>(attributes.size()));
    for (const Attribute& a : attributes) {
        out.text(a.name);
        if (const auto* reals = std::get_if<std::vector<double>>(&a.value)) {
            out.u8(0);
            out.u32(static_cast<std::uint32_t>(reals->size()));
            out.reals(reals->data(), reals->size());
        } else if (const auto* integers = std::get_if<std::vector<std::int32_t>>(&a.value)) {
            out.u8(1);
            out.u32(static_cast<std::uint32_t>(integers->size()));
            for (const std::int32_t v : *integers)
                out.u32(static_cast<std::uint32_t>(v));
        } else {
            out.u8(2);
            out.text(std::get<std::string>(a.value));
        }
    }
}

class TaskReader {
public:
    explicit TaskReader(const std::filesystem::path& file) : path_(file)
    {
        const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;  // missing: the caller names the task
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw FileError("\"" + file.string() + "\" is not a task file");
        }
        file_ = ::fdopen(fd, "rb");
        if (file_ == nullptr) {
            const int error = errno;
            ::close(fd);
            ThrowFileError("Cannot open file", file, error);
        }
    }
    ~TaskReader()
    {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    TaskReader(const TaskReader&) = delete;
    TaskReader& operator=(const TaskReader&) = delete;

    bool exists() const { return file_ != nullptr; }

    void bytes(void* data, std::size_t n)
    {
        if (std::fread(data, 1, n, file_) != n)
            throw FileError("The task file \"" + path_.string() + "\" is incomplete");
    }
    std::uint8_t u8()
    {
        unsigned char b;
        bytes(&b, 1);
        return b;
    }
    std::uint32_t u32()
    {
        unsigned char b[4];
        bytes(b, 4);
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | b[i];
        return v;
    }
    std::uint64_t u64()
    {
        unsigned char b[8];
        bytes(b, 8);
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i)
            v = (v << 8) | b[i];
        return v;
    }
    std::string text(std::uint32_t limit = 1 << 20)
    {
        const std::uint32_t n = u32();
        if (n > limit)
            throw FileError("The task file \"" + path_.string() + "\" is damaged");
        std::string s(n, '\0');
        bytes(s.data(), n);
        return s;
    }
    void reals(double* v, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            v[i] = std::bit_cast<double>(u64());
    }
    std::vector<Attribute> attributes()
    {
        const std::uint32_t n = u32();
        if (n > 1000)
            throw FileError("The task file \"" + path_.string() + "\" is damaged");
        std::vector<Attribute> out;
        for (std::uint32_t i = 0; i < n; ++i) {
            Attribute a;
            a.name = text(1000);
            const std::uint8_t kind = u8();
            if (kind == 2) {
                a.value = text();
            } else if (kind <= 1) {
                const std::uint32_t count = u32();
                if (count > 1000)
                    throw FileError("The task file \"" + path_.string() + "\" is damaged");
                if (kind == 0) {
                    std::vector<double> v(count);
                    reals(v.data(), count);
                    a.value = std::move(v);
                } else {
                    std::vector<std::int32_t> v(count);
                    for (auto& x : v)
                        x = static_cast<std::int32_t>(u32());
                    a.value = std::move(v);
                }
            } else {
                throw FileError("The task file \"" + path_.string() + "\" is damaged");
            }
            out.push_back(std::move(a));
        }
        return out;
    }
    long long tell() const { return ::ftello(file_); }
    void seek(long long offset)
    {
        if (::fseeko(file_, offset, SEEK_SET) != 0)
            throw FileError("The task file \"" + path_.string() + "\" is incomplete");
    }

private:
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
};

// What a task file holds, read back: its header, and where each combination's values lie.
struct TaskContents {
    std::vector<std::string> variables;
    std::vector<double> angles;
    std::vector<long long> dataAt;  // per combination: its first value
};

// The inputs of the diagrams that a swept input may change (the rest must be the same in all).
std::set<std::string> AttributesSweptBy(const SweepPlan& plan)
{
    static const std::map<std::string, std::string> changes = {
        {"radius", "radii"}, {"radius_a", "radii"}, {"radius_b", "radii"}, {"radius_c", "radii"},
        {"wavelength", "wavelength"}, {"index", "index_real"}, {"index_imag", "index_imag"},
        {"incidence", "incidence"}, {"polarisation", "polarisation"}, {"rays", "rays"},
    };
    std::set<std::string> out;
    for (const SweepInput& in : plan.inputs)
        out.insert(changes.at(in.name));
    return out;
}

// The same variables on the same angle grid, to the last bit.
bool SameGrid(const TaskContents& a, const TaskContents& b)
{
    return a.variables == b.variables && a.angles.size() == b.angles.size() &&
           std::equal(a.angles.begin(), a.angles.end(), b.angles.begin(), [](double x, double y) {
               return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
           });
}

// The attributes that every diagram has with the same value: `shared` narrowed to those that
// `attributes` has too (all of them the first time). An input that no swept input changes and
// that differs means a task made from another Orvane.par or other options: refused.
void KeepShared(std::optional<std::vector<Attribute>>& shared, const std::vector<Attribute>& attributes,
                const std::set<std::string>& swept, const std::filesystem::path& path)
{
    if (!shared) {
        shared = attributes;
        return;
    }
    auto find = [](const std::vector<Attribute>& list, const std::string& name) {
        return std::find_if(list.begin(), list.end(), [&](const Attribute& a) { return a.name == name; });
    };
    for (const Attribute& b : attributes)
        if (!swept.count(b.name) && find(*shared, b.name) == shared->end())
            throw FileError(Quoted(path) + " was computed with the input " + b.name +
                            ", which the tasks before it did not have: every task must run with the same "
                            "Orvane.par and options");
    std::vector<Attribute> kept;
    for (const Attribute& a : *shared) {
        const auto it = find(attributes, a.name);
        if (it != attributes.end() && SameValue(a, *it))
            kept.push_back(a);
        else if (!swept.count(a.name))
            throw FileError(Quoted(path) + " was computed with another " + a.name +
                            " than the tasks before it: every task must run with the same Orvane.par and options");
    }
    shared = std::move(kept);
}
// The diagram's grid arrays, by the names orvane.sweep gives them.
std::vector<std::pair<std::string, std::vector<double>>> GridVariables(const DiagramResult& r)
{
    std::vector<std::pair<std::string, std::vector<double>>> out;
    const ScatteringGrid& g = r.grid;
    if (r.totalComputed) {
        out.emplace_back("intensity", std::vector<double>(g.TotalIntensity.begin(), g.TotalIntensity.end()));
        out.emplace_back("amplitude_real", std::vector<double>(g.TotalAmpRe.begin(), g.TotalAmpRe.end()));
        out.emplace_back("amplitude_imag", std::vector<double>(g.TotalAmpIm.begin(), g.TotalAmpIm.end()));
        if (r.inputs.Diffraction) {
            std::vector<double> d(g.DiffAmp.size());
            for (std::size_t i = 0; i < d.size(); ++i)
                d[i] = g.DiffAmp[i] * g.DiffAmp[i];
            out.emplace_back("diffraction_intensity", std::move(d));
        }
    }
    if (!r.mie.empty())
        out.emplace_back("mie_intensity", r.mie);
    return out;
}

// Units of the variables and coordinates, as orvane.sweep labels them.
std::vector<Attribute> UnitsOf(const std::string& name)
{
    static const std::map<std::string, std::string> units = {
        {"angle", "degree"}, {"intensity", "|S|^2"}, {"amplitude_real", "|S|"}, {"amplitude_imag", "|S|"},
        {"diffraction_intensity", "|S|^2"}, {"mie_intensity", "|S|^2"}, {"radius", "um"}, {"radius_a", "um"},
        {"radius_b", "um"}, {"radius_c", "um"}, {"wavelength", "um"}, {"incidence", "degree"},
    };
    const auto it = units.find(name);
    if (it == units.end())
        return {};
    return {{"units", it->second}};
}

} // namespace

// ---------------------------------------------------------------------------------------

std::uint64_t SweepPlan::combinations() const
{
    std::uint64_t n = 1;
    for (const SweepInput& in : inputs)
        n *= in.values.size();
    return n;
}

std::pair<std::uint64_t, std::uint64_t> SweepPlan::share(int task) const
{
    const std::uint64_t c = combinations();
    const auto t = static_cast<std::uint64_t>(task);
    const auto all = static_cast<std::uint64_t>(tasks);
    return {t * c / all, (t + 1) * c / all};
}

std::filesystem::path SweepPlan::taskFolder(const std::filesystem::path& folder, int task) const
{
    // Zero-padded to the width of the last task, so that the folders sort in task order.
    const std::size_t width = std::to_string(tasks - 1).size();
    std::string number = std::to_string(task);
    number.insert(0, width - std::min(width, number.size()), '0');
    const std::string name = file.stem().string() + ".task" + number;
    return folder.empty() ? std::filesystem::path(name) : folder / name;
}

std::filesystem::path SweepPlan::taskFile(const std::filesystem::path& folder, int task) const
{
    return taskFolder(folder, task) / kTaskFileName;
}

std::filesystem::path SweepPlan::mergedFile(const std::filesystem::path& folder) const
{
    const std::string name = file.stem().string() + ".nc";
    return folder.empty() ? std::filesystem::path(name) : folder / name;
}

std::string SweepInputNames()
{
    std::string out;
    for (const InputField& f : InputFields())
        out += std::string(out.empty() ? "" : ", ") + f.name;
    return out;
}

SweepPlan ReadSweepFile(const std::filesystem::path& file)
{
    const std::string bytes = ReadSmallFile(file, kSweepFileLimit, "a sweep file (a regular file of at most 1 MiB)");
    SweepPlan plan;
    plan.file = file;
    plan.identity = Fnv1a(bytes);
    bool tasksGiven = false;
    std::set<std::string> fieldsSet;
    std::istringstream lines(bytes);
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& what) -> void {
        throw FileError(Quoted(file) + ", line " + std::to_string(number) + ": " + what);
    };
    while (std::getline(lines, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string name;
        if (!(words >> name))
            continue;
        std::vector<std::string> texts;
        for (std::string w; words >> w;)
            texts.push_back(w);
        if (name == "tasks") {
            std::int32_t n = 0;
            if (tasksGiven)
                fail("tasks is given twice");
            if (texts.size() != 1 || !TryStrToInt(texts[0], n) || n < 1 || n > kMaxTasks)
                fail("tasks needs one whole number from 1 to " + std::to_string(kMaxTasks));
            plan.tasks = n;
            tasksGiven = true;
            continue;
        }
        const InputField* field = FindInput(name);
        if (field == nullptr)
            fail("unknown input \"" + name + "\": a sweep file sets tasks and " + SweepInputNames());
        if (texts.empty())
            fail(name + " needs at least one value");
        // The same field twice (radius and radius_a, or a line repeated) has no one meaning.
        for (const SweepInput& other : plan.inputs) {
            const InputField* o = FindInput(other.name);
            for (const auto m : field->fields)
                if (std::find(o->fields.begin(), o->fields.end(), m) != o->fields.end())
                    fail(name + " sets a field that " + other.name + " already sweeps");
        }
        SweepInput in;
        in.name = name;
        in.integer = field->integer;
        for (const std::string& t : texts) {
            double value = 0;
            std::int32_t whole = 0;
            if (field->integer ? !TryStrToInt(t, whole) : !TryStrToFloat(t, value, '.'))
                fail("\"" + t + "\" is not " + (field->integer ? "a whole number" : "a number") + " (a value of " +
                     name + ")");
            if (field->integer)
                value = whole;
            if (std::find(in.values.begin(), in.values.end(), value) != in.values.end())
                fail(name + " lists " + t + " twice");
            in.texts.push_back(t);
            in.values.push_back(value);
        }
        plan.inputs.push_back(std::move(in));
    }
    if (plan.inputs.empty())
        throw FileError(Quoted(file) + " sweeps no input: give one or more of " + SweepInputNames() +
                        " with their values");
    if (plan.combinations() > (std::uint64_t{1} << 31))
        throw FileError(Quoted(file) + " has more than 2^31 combinations");
    return plan;
}

void ApplySweepCombination(const SweepPlan& plan, std::uint64_t combination, Fields& fields, char separator)
{
    // The last input varies fastest.
    for (std::size_t k = plan.inputs.size(); k-- > 0;) {
        const SweepInput& in = plan.inputs[k];
        const std::uint64_t n = in.values.size();
        std::string text = in.texts[combination % n];
        combination /= n;
        std::replace(text.begin(), text.end(), '.', separator);
        for (const auto member : FindInput(in.name)->fields)
            fields.*member = text;
    }
}

namespace {

// The combinations [first, end) of the task into `file`, in the task's folder `own`, held.
void ComputeTask(const SweepPlan& plan, int task, const Fields& base, char separator, const std::filesystem::path& own,
                 const std::filesystem::path& file, RunControl& control)
{
    const auto [first, end] = plan.share(task);
    const RunFolder held(own);
    StagedFiles staged(own);
    StagedBinaryFile out(staged, file);
    out.bytes(kTaskMagic, 8);
    out.u64(plan.identity);
    out.u32(static_cast<std::uint32_t>(task));
    out.u32(static_cast<std::uint32_t>(plan.tasks));
    out.u64(first);
    out.u64(end - first);
    std::vector<std::string> names;
    std::size_t angles = 0;
    for (std::uint64_t c = first; c < end; ++c) {
        Fields fields = base;
        ApplySweepCombination(plan, c, fields, separator);
        const DiagramInputs inputs = ReadDiagramInputs(fields, separator, control);
        const DiagramResult result = ComputeDiagram(inputs, control);
        const auto variables = GridVariables(result);
        if (c == first) {
            angles = result.grid.ThetaGrid.size();
            out.u32(static_cast<std::uint32_t>(angles));
            out.u32(static_cast<std::uint32_t>(variables.size()));
            for (const auto& v : variables) {
                out.text(v.first);
                names.push_back(v.first);
            }
            std::vector<double> degrees(angles);
            for (std::size_t i = 0; i < angles; ++i)
                degrees[i] = ToDegrees(result.grid.ThetaGrid[i]);
            out.reals(degrees.data(), angles);
        } else {
            bool same = variables.size() == names.size();
            for (std::size_t v = 0; same && v < names.size(); ++v)
                same = variables[v].first == names[v];
            if (!same)
                throw InputError("The diagrams of a sweep must all have the same results: the combination " +
                                 std::to_string(c) + " has not those of the first (exact theory for a sphere only?)");
        }
        WriteAttributes(out, InputAttributes(result.inputs));
        for (const auto& v : variables)
            out.reals(v.second.data(), v.second.size());
    }
    if (first == end) {
        out.u32(0);  // no combination: no grid, no variables
        out.u32(0);
    }
    out.bytes(kTaskEnd, 8);
    out.close();
    staged.commit();
}

} // namespace

void RunSweepTask(const SweepPlan& plan, int task, const Fields& base, char separator,
                  const std::filesystem::path& folder, RunControl& control)
{
    if (task < 0 || task >= plan.tasks)
        throw InputError("The task number must lie between 0 and " + std::to_string(plan.tasks - 1) + " (" +
                         plan.file.filename().string() + " has " + std::to_string(plan.tasks) + " tasks)");
    // A folder of the task's own: the tasks of one sweep run at the same time, and each holds
    // its folder (and commits its file there) as a run does. A task that fails leaves no new
    // folder behind.
    const std::filesystem::path own = plan.taskFolder(folder, task);
    std::error_code error;
    const bool created = std::filesystem::create_directories(own, error);
    if (error)
        ThrowFileError("Cannot create folder", own, error.value());
    try {
        ComputeTask(plan, task, base, separator, own, plan.taskFile(folder, task), control);
    } catch (...) {
        if (created)
            std::filesystem::remove(own, error);  // only when empty
        throw;
    }
}

namespace {

TaskContents ReadTask(TaskReader& in, const SweepPlan& plan, int task, const std::filesystem::path& path,
                      std::optional<std::vector<Attribute>>& shared)
{
    const std::set<std::string> swept = AttributesSweptBy(plan);
    char magic[8];
    in.bytes(magic, 8);
    if (!std::equal(magic, magic + 8, kTaskMagic))
        throw FileError(Quoted(path) + " is not a task file of orvane-batch");
    if (in.u64() != plan.identity)
        throw FileError(Quoted(path) + " was computed from another sweep file than " + Quoted(plan.file) +
                        " as it is now: compute the task again");
    const std::uint32_t number = in.u32();
    const std::uint32_t tasks = in.u32();
    const std::uint64_t first = in.u64();
    const std::uint64_t count = in.u64();
    const auto [expectedFirst, expectedEnd] = plan.share(task);
    if (number != static_cast<std::uint32_t>(task) || tasks != static_cast<std::uint32_t>(plan.tasks) ||
        first != expectedFirst || count != expectedEnd - expectedFirst)
        throw FileError(Quoted(path) + " does not hold the combinations of task " + std::to_string(task));
    TaskContents t;
    const std::uint32_t angles = in.u32();
    const std::uint32_t variables = in.u32();
    if (angles > 1000000 || variables > 100)
        throw FileError("The task file " + Quoted(path) + " is damaged");
    for (std::uint32_t v = 0; v < variables; ++v)
        t.variables.push_back(in.text(1000));
    t.angles.resize(angles);
    in.reals(t.angles.data(), angles);
    for (std::uint64_t c = 0; c < count; ++c) {
        KeepShared(shared, in.attributes(), swept, path);
        t.dataAt.push_back(in.tell());
        in.seek(in.tell() + static_cast<long long>(variables) * angles * 8);
    }
    char end[8];
    in.bytes(end, 8);
    if (!std::equal(end, end + 8, kTaskEnd))
        throw FileError("The task file " + Quoted(path) + " is incomplete");
    return t;
}

} // namespace

void MergeSweepTasks(const SweepPlan& plan, const std::filesystem::path& folder, const std::string& program,
                     RunControl& control)
{
    // Every task's file is read twice, one task at a time with its folder held (so that a task
    // still running is seen, and one killed in its commit is put right): first its header and
    // inputs, so that nothing is written unless all of them are there, complete and from this
    // sweep; then its values, into their places in the merged file.
    auto readTask = [&](int task, std::optional<std::vector<Attribute>>& shared, auto&& use) {
        const std::filesystem::path path = plan.taskFile(folder, task);
        std::error_code error;
        if (!std::filesystem::exists(path, error))
            throw FileError("Task " + std::to_string(task) + " of " + std::to_string(plan.tasks) +
                            " has not been computed: " + Quoted(path) + " is missing");
        std::optional<RunFolder> held;
        try {
            held.emplace(plan.taskFolder(folder, task));
        } catch (const FolderBusy&) {
            throw FileError("Task " + std::to_string(task) + " of " + std::to_string(plan.tasks) +
                            " is still running: " + Quoted(plan.taskFolder(folder, task)) + " is held");
        }
        TaskReader in(path);
        if (!in.exists())
            throw FileError("Task " + std::to_string(task) + " of " + std::to_string(plan.tasks) +
                            " has not been computed: " + Quoted(path) + " is missing");
        TaskContents contents = ReadTask(in, plan, task, path, shared);
        use(in, contents);
        ThrowIfCancelled(control);
    };

    std::optional<TaskContents> model;  // the grid and variables of the first task with combinations
    std::optional<std::vector<Attribute>> shared;
    for (int task = 0; task < plan.tasks; ++task) {
        readTask(task, shared, [&](TaskReader&, TaskContents& t) {
            if (t.dataAt.empty())
                return;
            if (!model)
                model = std::move(t);
            else if (!SameGrid(t, *model))
                throw FileError(Quoted(plan.taskFile(folder, task)) + " holds other variables or another angle grid "
                                "than the first task: every task must be run with the same Orvane.par and options");
        });
    }

    std::vector<NetCdfDimension> dimensions;
    std::vector<NetCdfVariable> variables;
    std::vector<int> dataDims;
    for (const SweepInput& in : plan.inputs) {
        dataDims.push_back(static_cast<int>(dimensions.size()));
        variables.push_back({in.name, {static_cast<int>(dimensions.size())},
                             in.integer ? NetCdfType::Int : NetCdfType::Double, UnitsOf(in.name)});
        dimensions.push_back({in.name, in.values.size()});
    }
    const std::size_t angles = model->angles.size();
    dataDims.push_back(static_cast<int>(dimensions.size()));
    variables.push_back({"angle", {static_cast<int>(dimensions.size())}, NetCdfType::Double, UnitsOf("angle")});
    dimensions.push_back({"angle", angles});
    for (const std::string& name : model->variables)
        variables.push_back({name, dataDims, NetCdfType::Double, UnitsOf(name)});

    std::vector<Attribute> global = {{"program", program}, {"sweep_file", plan.file.filename().string()}};
    for (const Attribute& a : *shared)
        if (std::none_of(plan.inputs.begin(), plan.inputs.end(), [&](const SweepInput& in) { return in.name == a.name; }))
            global.push_back(a);

    StagedFiles staged(folder);
    StagedBinaryFile out(staged, plan.mergedFile(folder));
    std::vector<std::uint64_t> begins;
    std::string buffer = NetCdfHeader(dimensions, variables, global, &begins);
    for (const SweepInput& in : plan.inputs) {
        if (in.integer) {
            std::vector<std::int32_t> whole(in.values.begin(), in.values.end());
            AppendBigEndian(buffer, whole.data(), whole.size());
        } else {
            AppendBigEndian(buffer, in.values.data(), in.values.size());
        }
    }
    AppendBigEndian(buffer, model->angles.data(), angles);
    out.bytes(buffer.data(), buffer.size());

    // Each combination's values into its place in each variable (the variables follow the
    // coordinates, each whole: [combination][angle]).
    const std::size_t dataBegin = plan.inputs.size() + 1;
    std::vector<double> values(angles);
    for (int task = 0; task < plan.tasks; ++task) {
        std::optional<std::vector<Attribute>> again = shared;
        readTask(task, again, [&](TaskReader& in, const TaskContents& t) {
            if (!t.dataAt.empty() && !SameGrid(t, *model))
                throw FileError(Quoted(plan.taskFile(folder, task)) + " changed while it was being merged");
            const std::uint64_t first = plan.share(task).first;
            for (std::size_t k = 0; k < t.dataAt.size(); ++k) {
                in.seek(t.dataAt[k]);
                for (std::size_t v = 0; v < t.variables.size(); ++v) {
                    in.reals(values.data(), angles);
                    buffer.clear();
                    AppendBigEndian(buffer, values.data(), angles);
                    out.writeAt(begins[dataBegin + v] + (first + k) * angles * 8, buffer);
                }
            }
        });
        if (again->size() != shared->size())
            throw FileError(Quoted(plan.taskFile(folder, task)) + " changed while it was being merged");
    }
    out.close();
    staged.commit();
}

} // namespace orvane
