// Whole diagram runs against the reference runs: every data file, digit for digit within
// the last printed digit, and the messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>

#include "run/ParameterFile.h"
#include "tests/run/RunSupport.h"
#include "tests/support/ReferenceFiles.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::CompareWithReference;
using testing::TempFolder;

struct ReferenceCase {
    const char* folder;
    std::function<void(Fields&)> options;  // what the run's orvane-batch options tick
};

// The test's name shows the run by its folder, the same in every build.
void PrintTo(const ReferenceCase& c, std::ostream* out) { *out << c.folder; }

class DiagramReference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(DiagramReference, WritesEveryDataFileOfTheReferenceRun)
{
    const ReferenceCase& c = GetParam();
    const fs::path reference = fs::path(ORVANE_REFERENCE_DIR) / c.folder;
    TempFolder dir;

    testing::WindowRun run;
    WriteParametersToFields(ReadParameterFile(reference / "Orvane.par"), run.fields);
    c.options(run.fields);
    testing::Calculate(run, dir.path());

    EXPECT_TRUE(run.sink.messages.empty()) << run.sink.messages.front();
    std::set<std::string> expected;
    for (const auto& entry : fs::directory_iterator(reference))
        if (entry.path().extension() == ".dat")
            expected.insert(entry.path().filename().string());
    std::set<std::string> written;
    expected.insert("Orvane_run.txt");  // every run's manifest, with its own time
    for (const auto& entry : fs::directory_iterator(dir.path()))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, expected);
    expected.erase("Orvane_run.txt");
    for (const std::string& name : expected)
        EXPECT_EQ(CompareWithReference(dir / name.c_str(), reference / name,
                                       testing::IllConditionedReferenceLines(c.folder, name)),
                  "")
            << name;
}

INSTANTIATE_TEST_SUITE_P(Runs, DiagramReference,
                         ::testing::Values(ReferenceCase{"default",
                                                         [](Fields& f) {
                                                             f.ChBxDiff = true;
                                                             f.ChBxSharpDiff = true;
                                                             f.ChBxAiry = true;
                                                             f.ChBxCheck = true;
                                                         }},
                                           ReferenceCase{"spheroid",
                                                         [](Fields& f) {
                                                             f.ChBxDiff = true;
                                                             f.ChBxSharpDiff = true;
                                                             f.ChBxAiry = true;
                                                         }},
                                           ReferenceCase{"spheroid-entry-fresnel",
                                                         [](Fields& f) {
                                                             f.ChBxDiff = true;
                                                             f.ChBxSharpDiff = true;
                                                             f.ChBxAiry = true;
                                                             f.ChBxEntryFresnel = true;
                                                         }}),
                         [](const auto& info) {
                             std::string name = info.param.folder;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace orvane
