// The sweep of an array job in process: the tasks share the combinations out exactly once, a
// task and the merge write their files whole, and a merge refuses a damaged task file without
// leaving anything behind. (The merged file against Python's sweep: tests/python.)
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "base/Errors.h"
#include "base/RunControl.h"
#include "base/RunFolder.h"
#include "cli/NetCdf.h"
#include "cli/Sweep.h"
#include "tests/support/TestFiles.h"

namespace orvane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

TEST(Sweep, TasksShareTheCombinationsOutOnceEach)
{
    const struct {
        int values;
        int tasks;
    } cases[] = {{1, 1}, {6, 1}, {6, 4}, {6, 6}, {6, 13}, {97, 10}};
    TempFolder dir;
    for (const auto& c : cases) {
        std::string text = "tasks ";
        text += std::to_string(c.tasks);
        text += "\nradius";
        for (int v = 0; v < c.values; ++v) {
            text += ' ';
            text += std::to_string(10 + v);
        }
        const SweepPlan plan = ReadSweepFile(dir.write("s.sweep", text + "\n"));
        std::set<std::uint64_t> seen;
        for (int t = 0; t < c.tasks; ++t) {
            const auto [first, end] = plan.share(t);
            ASSERT_LE(first, end);
            for (std::uint64_t k = first; k < end; ++k)
                EXPECT_TRUE(seen.insert(k).second) << c.values << " over " << c.tasks;
        }
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(c.values)) << c.values << " over " << c.tasks;
    }
}

TEST(Sweep, CombinationsSetTheFieldsLastInputFastest)
{
    TempFolder dir;
    const SweepPlan plan = ReadSweepFile(dir.write("s.sweep", "radius 40 50.5 # um\n\nindex 1.33 1.34 1.35\n"));
    ASSERT_EQ(plan.combinations(), 6u);
    Fields fields;
    ApplySweepCombination(plan, 4, fields, ',');
    EXPECT_EQ(fields.EdtRadius_a, "50,5");
    EXPECT_EQ(fields.EdtRadius_c, "50,5");
    EXPECT_EQ(fields.Edtmr, "1,34");
    EXPECT_EQ(plan.taskFolder(dir.path(), 0).filename(), "s.task0");
    EXPECT_EQ(plan.mergedFile("").string(), "s.nc");
    // Another text is another sweep: task files of the one are refused by the merge of the other.
    EXPECT_NE(ReadSweepFile(dir.write("t.sweep", "radius 40 50.5\nindex 1.33 1.34 1.36\n")).identity, plan.identity);
}

TEST(Sweep, TaskAndMergeWriteWholeFilesAndADamagedTaskChangesNothing)
{
    TempFolder dir;
    const SweepPlan plan = ReadSweepFile(dir.write("s.sweep", "tasks 2\nradius 30 40 50\n"));
    Fields base;
    base.LblEdtNumRays = "100";
    base.LblEdtNumSca = "50";
    RecordingControl control;
    for (int t = 0; t < 2; ++t)
        RunSweepTask(plan, t, base, '.', dir.path(), control);
    MergeSweepTasks(plan, dir.path(), "test", control);
    const std::string merged = ReadBytes(dir / "s.nc");
    ASSERT_EQ(merged.substr(0, 4), std::string("CDF\x02", 4));
    // Coordinates (3 radii, 50 angles) and three variables of 3 x 50 doubles after the header.
    const std::string header = merged.substr(0, merged.size() - (3 + 50 + 3 * 3 * 50) * 8);
    EXPECT_NE(header.find("amplitude_imag"), std::string::npos);

    {
        // A task still running holds its folder: the merge says so and writes nothing.
        const RunFolder running(plan.taskFolder(dir.path(), 0));
        try {
            MergeSweepTasks(plan, dir.path(), "test", control);
            ADD_FAILURE() << "merged while a task was running";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("Task 0 of 2 is still running"), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadBytes(dir / "s.nc"), merged);
    }
    const std::string task1 = ReadBytes(plan.taskFile(dir.path(), 1));
    dir.write("s.task1/results", task1.substr(0, task1.size() - 9));
    EXPECT_THROW(MergeSweepTasks(plan, dir.path(), "test", control), FileError);
    EXPECT_EQ(ReadBytes(dir / "s.nc"), merged);
    EXPECT_THROW(RunSweepTask(plan, 2, base, '.', dir.path(), control), InputError);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 4u);  // the sweep, two task folders, the merged file: no temporary, no lock left
}

TEST(NetCdf, RefusesWhatTheFormatCannotHold)
{
    EXPECT_THROW(NetCdfHeader({{"angle", 3}}, {{"bad name", {0}, NetCdfType::Double, {}}}, {}), InputError);
    EXPECT_THROW(NetCdfHeader({{"angle", 0}}, {}, {}), InputError);
    EXPECT_THROW(NetCdfHeader({{"a", 1u << 30}, {"b", 8}}, {{"v", {0, 1}, NetCdfType::Double, {}}}, {}), InputError);
}

} // namespace
} // namespace orvane
