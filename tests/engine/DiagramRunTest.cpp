// The whole diagram run: the limits and errors of its start in their order, which files a
// run writes and keeps, and the chart's series.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/DiagramRun.h"
#include "numeric/Errors.h"
#include "numeric/MessageSink.h"
#include "tests/engine/TestSupport.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;

struct Window {
    TOrvaneState state;
    Fields fields;
    RecordingSink sink;
};

DiagramResult Calculate(Window& run, const TempFolder& dir)
{
    Session session{run.state, run.fields, run.sink, dir.path()};
    return BtnCalcDiagClick(session);
}

std::vector<std::string> Files(const TempFolder& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Lines(const fs::path& file)
{
    const auto split = testing::SplitCrLf(ReadBytes(file));
    EXPECT_TRUE(split.ok) << file;
    return split.lines;
}

TEST(DiagramRun, StartRefusesWhatItCannotComputeBeforeAnyFile)
{
    struct Case {
        const char* name;
        std::function<void(Fields&)> setup;
        std::string error;
        std::vector<std::string> messagesBefore;
    };
    const std::vector<Case> cases = {
        {"one ray", [](Fields& f) { f.LblEdtNumRays = "1"; }, "At least 2 incident rays are needed.",
         {"Ray number should be more than 100."}},
        {"one ray, checked",
         [](Fields& f) {
             f.LblEdtNumRays = "1";
             f.ChBxCheck = true;
         },
         "At least 2 incident rays are needed.", {}},
        // The grid is made before the ray-count warning.
        {"one angle",
         [](Fields& f) {
             f.LblEdtNumSca = "1";
             f.LblEdtNumRays = "50";
         },
         "The number of scattering angles must be between 2 and 1000000.", {}},
        {"too many angles", [](Fields& f) { f.LblEdtNumSca = "1000001"; },
         "The number of scattering angles must be between 2 and 1000000.", {}},
        {"negative angle count", [](Fields& f) { f.LblEdtNumSca = "-5"; },
         "The number of scattering angles must be between 2 and 1000000.", {}},
        {"position beyond the grazing height",
         [](Fields& f) {
             f.ChkBxMinMax = true;
             f.EdtAxisMin = "-10";
             f.EdtAxisMax = "60";
         },
         "Ray positions must lie between -50.00000 and 50.00000 µm.", {}},
        {"one ray in Min/Max mode",
         [](Fields& f) {
             f.ChkBxMinMax = true;
             f.LblEdtNumRays = "1";
         },
         "At least 2 incident rays are needed.", {"Ray number should be more than 100."}},
        {"no ray", [](Fields& f) { f.LblEdtNumRays = "0"; }, "At least 2 incident rays are needed.",
         {"Ray number should be more than 100."}},
        {"a negative ray count in Min/Max mode, checked",
         [](Fields& f) {
             f.ChkBxMinMax = true;
             f.ChBxCheck = true;
             f.LblEdtNumRays = "-3";
         },
         "At least 2 incident rays are needed.", {}},
        // The orders are checked as soon as the inputs are read, before the counts.
        {"Min p above Max p",
         [](Fields& f) {
             f.EdtMinp = "3";
             f.EdtMaxp = "2";
             f.LblEdtNumRays = "1";
         },
         "Min p must not be larger than Max p.", {}},
        {"Max p below 0", [](Fields& f) { f.EdtMaxp = "-1"; }, "Min p must not be larger than Max p.", {}},
        {"Min p above the highest order",
         [](Fields& f) {
             f.EdtMinp = "51";
             f.EdtMaxp = "60";
         },
         "Min p must not be larger than Max p.", {"The max order p is limited to 50"}},
        // k·(k·a) of a wavelength of 1e-300 µm overflows the normalisation.
        {"overflow", [](Fields& f) { f.EdtWl = "1e-300"; }, "Floating point overflow", {}},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        Window run;
        c.setup(run.fields);
        try {
            Calculate(run, dir);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const OrvaneError& e) {
            EXPECT_EQ(e.what(), c.error) << c.name;
        }
        EXPECT_EQ(run.sink.messages, c.messagesBefore) << c.name;
        EXPECT_TRUE(Files(dir).empty()) << c.name;
    }
}

TEST(DiagramRun, TextsThatAreNotNumbersEndTheRunWithAConversionError)
{
    for (auto setup : std::vector<std::function<void(Fields&)>>{
             [](Fields& f) { f.LblEdtNumRays = "many"; },
             [](Fields& f) { f.LblEdtNumSca = "1.5"; },
             [](Fields& f) {
                 f.ChkBxMinMax = true;
                 f.EdtAxisMax = "top";
             },
         }) {
        TempFolder dir;
        Window run;
        setup(run.fields);
        EXPECT_THROW(Calculate(run, dir), EConvertError);
        EXPECT_TRUE(Files(dir).empty());
    }
}

TEST(DiagramRun, MoreThan5000RaysAreLimitedAfterTheMessage)
{
    TempFolder dir;
    Window run;
    run.fields.LblEdtNumRays = "6000";
    run.fields.EdtMaxp = "0";
    run.fields.LblEdtNumSca = "100";
    Calculate(run, dir);
    EXPECT_EQ(run.sink.messages, std::vector<std::string>{"Number of rays is limited to 5000"});
    EXPECT_EQ(run.state.P.NumIncRays, 5000);
    EXPECT_EQ(Lines(dir / "Orvane_0.dat").size(), 5001u);
}

// A folder after a good run with every file a run can write; a failed run must leave it
// exactly so.
struct GoodRun {
    TempFolder dir;
    Window run;
    std::map<std::string, std::string> files;

    GoodRun()
    {
        run.fields.ChBxCheck = true;
        run.fields.ChBxAiry = true;
        run.fields.ChBxDiff = true;
        run.fields.CompareExact = true;
        Calculate(run, dir);
        files = testing::Snapshot(dir.path());
        run.sink.messages.clear();
        // The next run differs in every file.
        run.fields.LblEdtNumRays = "300";
    }
};

TEST(DiagramRun, ARunThatFailsLeavesTheFilesOfTheLastGoodRun)
{
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;  // done to the folder before the run
        std::string error;
    };
    const std::vector<Case> cases = {
        {"a folder at an order file, written after the check file",
         [](const fs::path& d) {
             fs::remove(d / "Orvane_2.dat");
             fs::create_directory(d / "Orvane_2.dat");
         },
         "Cannot create file \"Orvane_2.dat\": Is a directory"},
        {"a full device behind the total file, written through after every file was staged",
         [](const fs::path& d) {
             fs::remove(d / "Orvane_t.dat");
             fs::create_symlink("/dev/full", d / "Orvane_t.dat");
         },
         "Disk full: cannot write \"Orvane_t.dat\""},
        {"a folder behind a link at the exact file, the last one written",
         [](const fs::path& d) {
             fs::remove(d / "Orvane_Mie.dat");
             fs::create_directory(d / "exact");
             fs::create_symlink("exact", d / "Orvane_Mie.dat");
         },
         "Cannot create file \"Orvane_Mie.dat\": Is a directory"},
    };
    for (const Case& c : cases) {
        GoodRun good;
        c.spoil(good.dir.path());
        const auto before = testing::Snapshot(good.dir.path());
        try {
            Calculate(good.run, good.dir);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.what(), c.error) << c.name;
        }
        // Byte for byte what was there, and no temporary left behind.
        EXPECT_EQ(testing::Snapshot(good.dir.path()), before) << c.name;
    }
}

TEST(DiagramRun, LinksKeepTheirPlaceAndDevicesAreWrittenThrough)
{
    GoodRun good;
    const fs::path d = good.dir.path();
    // The total file as a link to a file in another folder, the check file sent to /dev/null.
    fs::create_directory(d / "kept");
    fs::rename(d / "Orvane_t.dat", d / "kept/total.dat");
    fs::create_symlink("kept/total.dat", d / "Orvane_t.dat");
    fs::remove(d / "Orvane_raw.dat");
    fs::create_symlink("/dev/null", d / "Orvane_raw.dat");

    Calculate(good.run, good.dir);
    EXPECT_TRUE(good.run.sink.messages.empty());
    EXPECT_EQ(fs::read_symlink(d / "Orvane_t.dat"), "kept/total.dat");
    EXPECT_EQ(fs::read_symlink(d / "Orvane_raw.dat"), "/dev/null");
    EXPECT_EQ(Lines(d / "kept/total.dat").size(), 1001u);
    EXPECT_NE(ReadBytes(d / "kept/total.dat"), good.files["Orvane_t.dat"]);
    EXPECT_EQ(Lines(d / "Orvane_0.dat").size(), 301u);  // the new run's 300 rays
    for (const auto& [name, bytes] : testing::Snapshot(d))
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
}

// A small file system filled up in the middle of a run, where the machine lets the tests
// mount one (root, not inside a container that forbids it).
TEST(DiagramRun, AFullDiskInTheMiddleOfARunLeavesTheLastGoodRun)
{
    TempFolder mountPoint;
    if (::mount("orvane-test", mountPoint.path().c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount(at.c_str()); }
    } unmount{mountPoint.path()};

    Window run;
    run.fields.ChBxDiff = true;
    Session session{run.state, run.fields, run.sink, mountPoint.path()};
    BtnCalcDiagClick(session);
    const auto before = testing::Snapshot(mountPoint.path());

    // The check file of 200 rays needs more than the space left.
    run.fields.ChBxCheck = true;
    try {
        BtnCalcDiagClick(session);
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), "Disk full: cannot write \"Orvane_raw.dat\"");
    }
    EXPECT_EQ(testing::Snapshot(mountPoint.path()), before);
}

// The chart's y: log10(|I| + 1e-10).
double ChartY(double intensity) { return std::log10(std::fabs(intensity) + 1e-10); }

TEST(DiagramRun, ChartSeriesCarryEveryComputedOrderTheTotalAndTheAiryCurve)
{
    TempFolder dir;
    Window run;
    run.fields.ChBxAiry = true;
    run.fields.ChBxDiff = true;
    const DiagramResult result = Calculate(run, dir);

    EXPECT_TRUE(result.legendVisible);
    for (int p = 0; p <= kMaxOrder; ++p) {
        const SeriesData& s = result.orders[static_cast<std::size_t>(p)];
        EXPECT_EQ(s.title, "p=" + std::to_string(p));
        EXPECT_EQ(s.color, run.state.OrderColor[static_cast<std::size_t>(p)]);
        EXPECT_EQ(s.active, p <= 4) << p;
        EXPECT_EQ(s.x.size(), p <= 4 ? 200u : 0u) << p;
        EXPECT_EQ(s.y.size(), s.x.size());
        EXPECT_TRUE(std::is_sorted(s.x.begin(), s.x.end())) << p;
    }
    EXPECT_EQ(result.orders[1].color, 0x0000FFu);  // red

    // The series hold the files' points, sorted by angle.
    const std::vector<std::string> order2 = Lines(dir / "Orvane_2.dat");
    std::vector<std::pair<double, double>> fromFile;
    for (std::size_t n = 1; n < order2.size(); ++n) {
        std::istringstream in(order2[n]);
        double x = 0, intensity = 0;
        in >> x >> intensity;
        fromFile.emplace_back(x, ChartY(intensity));
    }
    std::stable_sort(fromFile.begin(), fromFile.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < fromFile.size(); ++i) {
        EXPECT_NEAR(result.orders[2].x[i], fromFile[i].first, 1e-6);
        EXPECT_NEAR(result.orders[2].y[i], fromFile[i].second, 1e-5);
    }

    const SeriesData& total = result.total;
    EXPECT_TRUE(total.active);
    EXPECT_EQ(total.title, "Total");
    EXPECT_EQ(total.color, 0u);
    ASSERT_EQ(total.x.size(), 1000u);
    EXPECT_DOUBLE_EQ(total.x.front(), -180.0);
    EXPECT_NEAR(total.x.back(), 180.0, 1e-12);
    EXPECT_EQ(total.y.front(), -10.0);  // nothing is scattered straight back on the grid's end

    EXPECT_TRUE(result.airy.active);
    EXPECT_EQ(result.airy.color, 0x707070u);
    EXPECT_EQ(result.airy.x.size(), 51u);
    EXPECT_TRUE(std::is_sorted(result.airy.x.begin(), result.airy.x.end()));

    // A second run starts from empty series: the Airy curve does not pile up.
    EXPECT_EQ(Calculate(run, dir).airy.x.size(), 51u);
}

TEST(DiagramRun, RaysThatDidNotEmergePlotAtZeroDegreesAndMinusTen)
{
    TempFolder dir;
    Window run;
    run.fields.Edtmr = "0.75";  // a bubble: the outer rays never enter
    run.fields.EdtMinp = "1";
    run.fields.EdtMaxp = "1";
    const DiagramResult result = Calculate(run, dir);
    EXPECT_FALSE(result.legendVisible);  // a single order
    EXPECT_FALSE(result.orders[0].active);
    const SeriesData& s = result.orders[1];
    int zeros = 0;
    for (std::size_t i = 0; i < s.x.size(); ++i)
        zeros += s.x[i] == 0.0 && s.y[i] == -10.0;
    EXPECT_GT(zeros, 40);
    EXPECT_EQ(Files(dir), (std::vector<std::string>{"Orvane_1.dat", "Orvane_d.dat", "Orvane_t.dat"}));
}

TEST(DiagramRun, FilesNotRewrittenKeepWhatAnEarlierRunWrote)
{
    TempFolder dir;
    Window run;
    run.fields.ChBxAiry = true;
    run.fields.ChBxDiff = true;
    run.fields.ChBxCheck = true;
    Calculate(run, dir);
    const std::string airy = ReadBytes(dir / "Orvane_Airy.dat");
    const std::string diffraction = ReadBytes(dir / "Orvane_d.dat");
    const std::string check = ReadBytes(dir / "Orvane_raw.dat");

    // Without the total, neither the Airy sum nor the diffraction runs; the total file is
    // still written, with zeros, and the total series stays hidden.
    run.fields.ChBxTotalInt = false;
    run.fields.ChBxCheck = false;
    run.fields.LblEdtNumRays = "300";
    const DiagramResult result = Calculate(run, dir);
    EXPECT_EQ(ReadBytes(dir / "Orvane_Airy.dat"), airy);
    EXPECT_EQ(ReadBytes(dir / "Orvane_d.dat"), diffraction);
    EXPECT_EQ(ReadBytes(dir / "Orvane_raw.dat"), check);
    EXPECT_EQ(Lines(dir / "Orvane_0.dat").size(), 301u);
    for (const std::string& line : Lines(dir / "Orvane_t.dat")) {
        if (line[0] != '#') {
            EXPECT_EQ(line.substr(12), " 0.00000E+000 0.00000E+000 0.00000E+000");
        }
    }
    EXPECT_FALSE(result.total.active);
    EXPECT_FALSE(result.airy.active);
}

} // namespace
} // namespace orvane
