// The 3-D rays file: every lit ray of every order as one line that reads back to the traced
// numbers, in the locale's decimal separator; staged with a run's other files, all or nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/RunControl.h"
#include "numeric/Angles.h"
#include "output/OutputFiles.h"
#include "run/Rays3DJob.h"
#include "tests/support/TestFiles.h"
#include "trace3d/Rays3D.h"

namespace orvane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

struct Keep : Rays3DSink {
    std::vector<OrderBlock> blocks;
    void accept(const OrderBlock& b) override { blocks.push_back(b); }
};

std::vector<std::string> Lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", from)) {
        lines.push_back(bytes.substr(from, at - from));
        from = at + 2;
    }
    EXPECT_EQ(from, bytes.size()) << "every line ends with CR LF";
    return lines;
}

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

Rays3DInputs TiltedSpheroid(bool bothStates)
{
    Rays3DInputs in;
    in.RadiusA = 40;
    in.RadiusB = 30;
    in.RadiusC = 30;
    in.IndexIm = 0.001;
    in.IncAngle = ToRadians(15);
    in.Tilt = ToRadians(-25);
    in.Jones = JonesVector::Linear(ToRadians(30));
    in.BothStates = bothStates;
    in.MinP = 1;
    in.MaxP = 3;
    return in;
}

TEST(Rays3DFile, EveryLitRayReadsBackToItsNumbers)
{
    for (const bool both : {false, true}) {
        for (const char separator : {'.', ','}) {
            const Rays3DInputs in = TiltedSpheroid(both);
            const int n = 24;
            TempFolder dir;
            RecordingControl control;
            {
                OutputFiles files(dir.path());
                StageRays3DFile(in, n, files, dir / "rays.dat", separator, control);
                files.commit();
            }
            Keep keep;
            TracePupil(in, n, keep, control);

            const std::vector<std::string> lines = Lines(ReadBytes(dir / "rays.dat"));
            std::size_t line = 0;
            while (line < lines.size() && lines[line].rfind('#', 0) == 0)
                ++line;
            EXPECT_EQ(line, 6u);
            const std::size_t columns = both ? 15 : 11;
            EXPECT_EQ(Words(lines[line - 1]).size(), columns + 1) << "the column names after '#'";
            for (const OrderBlock& b : keep.blocks)
                for (std::size_t r = 0; r < b.size(); ++r) {
                    if (!b.lit[r])
                        continue;
                    ASSERT_LT(line, lines.size());
                    const std::vector<std::string> w = Words(lines[line++]);
                    ASSERT_EQ(w.size(), columns) << lines[line - 1];
                    EXPECT_EQ(StrToInt(w[0]), b.p);
                    EXPECT_EQ(StrToInt(w[1]), static_cast<int>(r % n));
                    EXPECT_EQ(StrToInt(w[2]), b.firstRow + static_cast<int>(r / n));
                    auto real = [&](std::size_t k) { return StrToFloat(w[k], separator); };
                    const ScatteringAngles a = AnglesOf(b.dirParallel[r], b.dirPerpendicular[r], b.dirForward[r]);
                    EXPECT_EQ(real(3), ToDegrees(a.theta));
                    EXPECT_EQ(real(4), ToDegrees(a.phi));
                    for (int st = 0; st < b.states; ++st) {
                        EXPECT_EQ(real(5 + 4 * st), b.ampTheta[st][r].real());
                        EXPECT_EQ(real(6 + 4 * st), b.ampTheta[st][r].imag());
                        EXPECT_EQ(real(7 + 4 * st), b.ampPhi[st][r].real());
                        EXPECT_EQ(real(8 + 4 * st), b.ampPhi[st][r].imag());
                    }
                    EXPECT_EQ(real(columns - 2), b.phase[r]);
                    EXPECT_EQ(real(columns - 1), b.jacobian[r]);
                }
            EXPECT_EQ(line, lines.size()) << "one line for each lit ray, nothing else";
        }
    }
}

// Cancels the run at its first band.
struct CancelAtOnce : RunControl {
    void display(const std::string&) override {}
    bool cancelRequested() const override { return true; }
};

TEST(Rays3DFile, AFailedRunLeavesTheFileAsItWas)
{
    TempFolder dir;
    const auto file = dir.write("rays.dat", "earlier\r\n");
    CancelAtOnce cancel;
    {
        OutputFiles files(dir.path());
        EXPECT_THROW(StageRays3DFile(TiltedSpheroid(false), 30, files, file, '.', cancel), Cancelled);
    }
    Rays3DInputs wrong = TiltedSpheroid(false);
    wrong.Tilt = ToRadians(120);
    RecordingControl control;
    {
        OutputFiles files(dir.path());
        EXPECT_THROW(StageRays3DFile(wrong, 30, files, file, '.', control), InputError);
    }
    EXPECT_EQ(ReadBytes(file), "earlier\r\n");
    EXPECT_EQ(testing::FileNames(dir.path()), std::vector<std::string>{"rays.dat"}) << "no temporary left";
}

} // namespace
} // namespace orvane
