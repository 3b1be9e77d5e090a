// A sweep of diagrams as the tasks of an array job, for clusters whose nodes have no Python:
// each task computes its share of the combinations of a sweep file into a task file, and a
// merge step gathers the task files into one NetCDF file, the same Dataset that orvane.sweep
// makes in Python (coordinates named after the swept inputs and "angle"; the variables
// intensity, amplitude_real, amplitude_imag and, when computed, diffraction_intensity and
// mie_intensity; the inputs that stay the same as attributes).
//
// The sweep file: one input per line with its values, and the number of tasks; '#' starts a
// comment.
//     tasks  4
//     radius 40 45 50 55 60        # the three semi-axes together, um
//     index  1.330 1.333 1.336     # real part of the refractive index
// Every combination is one diagram of Orvane.par with the command line's options and these
// fields set; the first input varies slowest. Task t of T takes the combinations
// floor(t*C/T) .. floor((t+1)*C/T) - 1 of the C in all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "run/Fields.h"

namespace orvane {

class RunControl;

struct SweepInput {
    std::string name;                 // as in the sweep file: radius, index, ...
    bool integer = false;             // polarisation and rays are whole numbers
    std::vector<std::string> texts;   // the values as written (a point as decimal separator)
    std::vector<double> values;       // and as numbers
};

struct SweepPlan {
    std::filesystem::path file;
    std::vector<SweepInput> inputs;
    int tasks = 1;
    std::uint64_t identity = 0;       // a hash of the sweep file's bytes: task files name their sweep

    std::uint64_t combinations() const;
    // The combinations of task t: [first, end).
    std::pair<std::uint64_t, std::uint64_t> share(int task) const;
    // The folder of task t in `folder` (<name>.task<t>: tasks running at the same time never
    // share a folder), its file there, and the merged file.
    std::filesystem::path taskFolder(const std::filesystem::path& folder, int task) const;
    std::filesystem::path taskFile(const std::filesystem::path& folder, int task) const;
    std::filesystem::path mergedFile(const std::filesystem::path& folder) const;
};

// The inputs a sweep file can name, in the order of this list's help.
std::string SweepInputNames();

// Reads and checks a sweep file. FileError naming the file and line for anything it cannot use.
SweepPlan ReadSweepFile(const std::filesystem::path& file);

// Sets the fields of one combination (index into the combinations, first input slowest).
void ApplySweepCombination(const SweepPlan& plan, std::uint64_t combination, Fields& fields, char separator);

// Computes task `task`'s combinations from `base` (Orvane.par and the options) and writes its
// task file into its own folder in `folder`, which it holds meanwhile, all or nothing. The
// messages of the runs go to the control.
void RunSweepTask(const SweepPlan& plan, int task, const Fields& base, char separator,
                  const std::filesystem::path& folder, RunControl& control);

// Gathers every task file of the plan from `folder` into the NetCDF file mergedFile(folder);
// the caller holds `folder`. FileError for a task that is missing, still running, incomplete,
// from another sweep file or computed with other inputs; Cancelled when the control says so.
void MergeSweepTasks(const SweepPlan& plan, const std::filesystem::path& folder, const std::string& program,
                     RunControl& control);

} // namespace orvane
