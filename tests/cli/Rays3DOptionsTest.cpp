// The options of the 3-D rays: parsed beside the others, read into the tracer's inputs with
// the diagram's particle, refused without --rays3d.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "cli/BatchOptions.h"
#include "engine/Diagram.h"
#include "numeric/Angles.h"

namespace orvane {
namespace {

TEST(Rays3DOptions, ReadIntoTheTracersInputsWithTheDiagramsParticle)
{
    const BatchOptions o = ParseBatchOptions(
        {"--rays3d", "out/rays.dat", "--rays3d-grid", "64", "--tilt", "-12,5", "--polarisation-angle", "30", "--airy"});
    EXPECT_TRUE(o.airy);
    EXPECT_EQ(o.rays3d.file, "out/rays.dat");
    DiagramInputs diagram;
    diagram.particle.RadiusA = 40;
    diagram.particle.IndexIm = 0.01;
    diagram.particle.IncAngle = ToRadians(20);
    diagram.MinP = 1;
    diagram.MaxP = 7;
    diagram.EntryFresnel = true;
    const Rays3DInputs in = Rays3DInputsOf(diagram, o.rays3d, ',');
    EXPECT_EQ(Rays3DGridOf(o.rays3d), 64);
    EXPECT_EQ(in.RadiusA, 40);
    EXPECT_EQ(in.IndexIm, 0.01);
    EXPECT_EQ(in.IncAngle, ToRadians(20));
    EXPECT_EQ(in.Tilt, ToRadians(-12.5));
    EXPECT_EQ(in.MinP, 1);
    EXPECT_EQ(in.MaxP, 7);
    EXPECT_EQ(in.Fresnel, Rays3DFresnel::Entry);
    EXPECT_NEAR(std::abs(in.Jones.perpendicular), 0.5, 1e-15);

    // Without the angle: the diagram's own polarisation, exactly; "unpolarised": both states.
    for (const int polar : {0, 1}) {
        diagram.particle.Polar = polar;
        const Rays3DInputs d = Rays3DInputsOf(diagram, ParseBatchOptions({"--rays3d", "r"}).rays3d, '.');
        EXPECT_EQ(d.Jones.parallel, polar == 0 ? 1.0 : 0.0);
        EXPECT_EQ(d.Jones.perpendicular, polar == 0 ? 0.0 : 1.0);
        EXPECT_EQ(Rays3DGridOf(ParseBatchOptions({"--rays3d", "r"}).rays3d), kDefaultRays3DGrid);
    }
    EXPECT_TRUE(Rays3DInputsOf(diagram, ParseBatchOptions({"--rays3d", "r", "--polarisation-angle", "unpolarised"}).rays3d, '.')
                    .BothStates);

    EXPECT_THROW(Rays3DInputsOf(diagram, ParseBatchOptions({"--rays3d", "r", "--tilt", "ten"}).rays3d, '.'), InputError);
    EXPECT_THROW(Rays3DGridOf(ParseBatchOptions({"--rays3d", "r", "--rays3d-grid", "1.5"}).rays3d), InputError);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--rays3d"}, {"--rays3d", ""}, {"--tilt", "3"}, {"--rays3d-grid", "9"}, {"--polarisation-angle", "0"},
             {"--rays3d", "r", "--sweep", "s.txt", "--task", "0"}})
        EXPECT_THROW(ParseBatchOptions(args), UsageError) << args[0];
    const std::string usage = BatchUsage();
    for (const char* option : {"--rays3d", "--rays3d-grid", "--tilt", "--polarisation-angle"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

} // namespace
} // namespace orvane
