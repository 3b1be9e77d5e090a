// The whole diagram run from the window's texts: the limits and errors of its start in their
// order, and which files a run writes and keeps.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <sys/mount.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/Format.h"
#include "tests/run/RunSupport.h"
#include "tests/support/ReferenceFiles.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using Window = testing::WindowRun;

DiagramResult Calculate(Window& run, const TempFolder& dir) { return testing::Calculate(run, dir.path()); }

std::vector<std::string> Files(const TempFolder& dir) { return testing::FileNames(dir.path()); }

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
        // No ray, or fewer: refused like one (the warning comes first without the check file).
        {"no ray, checked",
         [](Fields& f) {
             f.LblEdtNumRays = "0";
             f.ChBxCheck = true;
         },
         "At least 2 incident rays are needed.", {}},
        {"negative ray count", [](Fields& f) { f.LblEdtNumRays = "-3"; }, "At least 2 incident rays are needed.",
         {"Ray number should be more than 100."}},
        // Min p above Max p ends the run before the first ray.
        {"Min p above Max p",
         [](Fields& f) {
             f.EdtMinp = "3";
             f.EdtMaxp = "2";
         },
         "Min p must not be larger than Max p.", {}},
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
        EXPECT_THROW(Calculate(run, dir), ConversionError);
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
    EXPECT_EQ(Calculate(run, dir).rays.count(), 5000);
    EXPECT_EQ(run.sink.messages, std::vector<std::string>{"Number of rays is limited to 5000"});
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
        } catch (const FileError& e) {
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
    testing::Calculate(run, mountPoint.path());
    const auto before = testing::Snapshot(mountPoint.path());

    // The check file of 200 rays needs more than the space left.
    run.fields.ChBxCheck = true;
    try {
        testing::Calculate(run, mountPoint.path());
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Disk full: cannot write \"Orvane_raw.dat\"");
    }
    EXPECT_EQ(testing::Snapshot(mountPoint.path()), before);
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
    EXPECT_FALSE(result.totalComputed);
    EXPECT_FALSE(result.airy);
}

TEST(DiagramRun, DiffractionFileHoldsTheSquaredAmplitudeOrOnlyItsHeader)
{
    TempFolder dir;
    Window run;
    run.fields.ChBxDiff = true;
    run.fields.LblEdtNumSca = "1001";
    const DiagramResult result = Calculate(run, dir);
    const std::vector<std::string> lines = Lines(dir / "Orvane_d.dat");
    ASSERT_EQ(lines.size(), 1002u);
    EXPECT_EQ(lines[0], "# theta[deg.] Intensity");
    EXPECT_EQ(lines[1], " -180.000000 0.00000E+000");
    const double peak = result.grid.DiffAmp[500] * result.grid.DiffAmp[500];
    EXPECT_GT(peak, 0.0);
    EXPECT_EQ(lines[501], "    0.000000 " + Format("%12.6e", {peak}));

    run.fields.ChBxDiff = false;
    Calculate(run, dir);
    EXPECT_EQ(ReadBytes(dir / "Orvane_d.dat"), "# theta[deg.] Intensity\r\n");
}

TEST(DiagramRun, AiryFileHoldsTheParticleTheRaysAndTheDirections)
{
    // Index 1.4: the whole window of 111 rays before and 71 after lies among the 1000 rays.
    TempFolder dir;
    Window run;
    run.fields.Edtmr = "1.4";
    run.fields.EdtMaxp = "2";
    run.fields.LblEdtNumRays = "1000";
    run.fields.ChBxAiry = true;
    Calculate(run, dir);
    const std::vector<std::string> lines = Lines(dir / "Orvane_Airy.dat");
    ASSERT_EQ(lines.size(), 7u + 183 + 51);
    EXPECT_EQ(lines[0], "# Refractive index: m = 1.40000,     0.000000");
    EXPECT_EQ(lines[1], "# Particle axis: a,b,c =  50.0000   50.0000  50.0000");
    EXPECT_EQ(lines[2], "# Wavelength [\xB5m] =  0.63280");
    EXPECT_EQ(lines[3], "# Order p = 2");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[6], "#    v       phase      amplitude    theta[deg.]     r");
    // The rainbow ray itself, line 7 + 111, sits at the origin of the reference line.
    EXPECT_EQ(lines[7 + 111].substr(0, 22), "    0.0000     0.0000 ") << lines[7 + 111];
    // The 51 directions run around the rainbow angle, the middle one on it.
    const std::string rainbowAngle = lines[5].substr(lines[5].find(',') + 1, 13);
    EXPECT_EQ(lines[7 + 183 + 25].substr(0, 12), rainbowAngle.substr(1));
}

TEST(DiagramRun, FresnelAtEntryOnlyChangesNoFileOfASphere)
{
    // Every interface of a sphere's ray meets the same angle, so the entry's coefficient is the
    // local one: the default drop with every file, check file included, and an absorbing glass
    // sphere met at 30° in parallel polarisation.
    struct Case {
        const char* name;
        std::function<void(Fields&)> setup;
    };
    const std::vector<Case> cases = {
        {"default drop",
         [](Fields& f) {
             f.ChBxDiff = true;
             f.ChBxAiry = true;
             f.ChBxCheck = true;
         }},
        {"absorbing glass, parallel",
         [](Fields& f) {
             f.Edtmr = "1.5";
             f.Edtmi = "0.002";
             f.CbxPol = "0";
             f.EdtIncAng = "30";
             f.EdtMaxp = "6";
             f.LblEdtNumRays = "400";
             f.ChBxDiff = true;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder local, entry;
        Window localRun, entryRun;
        c.setup(localRun.fields);
        c.setup(entryRun.fields);
        entryRun.fields.ChBxEntryFresnel = true;
        Calculate(localRun, local);
        Calculate(entryRun, entry);
        EXPECT_EQ(Files(local), Files(entry));
        for (const std::string& name : Files(entry)) {
            if (name == "Orvane_run.txt")  // the manifest names the options
                continue;
            EXPECT_EQ(testing::CompareWithReference(local / name.c_str(), entry / name.c_str()), "") << name;
        }
    }
}

TEST(DiagramRun, UniformRainbowChangesOnlyTheTotalNearTheRainbows)
{
    // The default drop with diffraction, Airy curve and check file: with "Uniform rainbow" the
    // total file differs only near the rainbows of orders 2, 3 and 4 (±137.9°, ±129.1°, ±41.7°),
    // every other file not at all.
    testing::TempFolder plainDir, uniformDir;
    for (bool uniform : {false, true}) {
        testing::WindowRun run;
        run.fields.ChBxDiff = run.fields.ChBxAiry = run.fields.ChBxCheck = true;
        run.fields.ChBxUniformRainbow = uniform;
        testing::Calculate(run, (uniform ? uniformDir : plainDir).path());
        EXPECT_TRUE(run.sink.messages.empty());
    }
    for (const auto& entry : std::filesystem::directory_iterator(plainDir.path())) {
        const std::string name = entry.path().filename().string();
        if (name == "Orvane_run.txt")  // the manifest names the options
            continue;
        const std::string plain = testing::ReadBytes(entry.path());
        const std::string uniform = testing::ReadBytes(uniformDir / name.c_str());
        if (name != "Orvane_t.dat") {
            EXPECT_EQ(plain, uniform) << name;
            continue;
        }
        const auto a = testing::SplitCrLf(plain).lines;
        const auto b = testing::SplitCrLf(uniform).lines;
        ASSERT_EQ(a.size(), b.size());
        int changed = 0;
        for (std::size_t n = 1; n < a.size(); ++n) {
            const double degrees = std::fabs(std::stod(a[n]));
            if ((degrees < 110 || degrees > 160) && (degrees < 25 || degrees > 85)) {
                EXPECT_EQ(a[n], b[n]) << n;
            } else {
                changed += a[n] != b[n];
            }
        }
        EXPECT_GT(changed, 40);
    }
}

} // namespace
} // namespace orvane
