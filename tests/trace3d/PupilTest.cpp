// The pupil: the particle's shadow across the incident direction, its grid of rays, and the
// run over it that hands the orders on band by band, the same on one thread or two.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "base/Errors.h"
#include "base/RunControl.h"
#include "numeric/Angles.h"
#include "tests/trace3d/Rays3DSupport.h"
#include "trace3d/Rays3D.h"

namespace orvane {
namespace {

Rays3DInputs Particle(double a, double b, double c, double incDeg, double tiltDeg)
{
    Rays3DInputs in;
    in.RadiusA = a;
    in.RadiusB = b;
    in.RadiusC = c;
    in.IncAngle = ToRadians(incDeg);
    in.Tilt = ToRadians(tiltDeg);
    return in;
}

TEST(Pupil, IsTheShadowOfTheEllipsoid)
{
    // Without tilt the shadow's axes lie along e_∥ and e_⊥: the half-width of the ellipse's
    // shadow in its plane, √(a²·cos²θi + c²·sin²θi), and b.
    const Pupil flat = MakePupil(Particle(40, 30, 25, 20, 0));
    EXPECT_NEAR(flat.semiAxis1, std::hypot(40 * std::cos(ToRadians(20)), 25 * std::sin(ToRadians(20))), 1e-12);
    EXPECT_NEAR(flat.semiAxis2, 30, 1e-12);
    EXPECT_EQ(flat.axis1U, 1.0);
    EXPECT_EQ(flat.axis1V, 0.0);

    // Tilted, the axes turn; wherever they lie, a ray just inside the ellipse meets the
    // particle and one just outside passes it by.
    for (const Rays3DInputs& in : {Particle(40, 30, 25, 20, 35), Particle(20, 60, 35, -50, -70), Particle(50, 50, 50, 10, 80)}) {
        const Pupil pupil = MakePupil(in);
        for (int k = 0; k < 12; ++k) {
            const double t = kTwoPi * k / 12.0;
            for (const double scale : {0.999, 1.001}) {
                const double a1 = scale * pupil.semiAxis1 * std::cos(t);
                const double a2 = scale * pupil.semiAxis2 * std::sin(t);
                const double u = a1 * pupil.axis1U - a2 * pupil.axis1V;
                const double v = a1 * pupil.axis1V + a2 * pupil.axis1U;
                Rays3DInputs one = in;
                one.MaxP = 0;
                EXPECT_EQ(TraceIncidentPoint(one, u, v).hits, scale < 1.0) << t << " " << scale;
            }
        }
    }
    // A sphere's shadow is its great circle, lit from anywhere.
    const Pupil round = MakePupil(Particle(50, 50, 50, 33, -21));
    EXPECT_NEAR(round.semiAxis1, 50, 1e-12);
    EXPECT_NEAR(round.semiAxis2, 50, 1e-12);
}

// Counts what it is handed and keeps copies of the blocks.
struct Recording : testing::KeepBlocks {};

// Bit for bit the same blocks.
void ExpectSameBits(const OrderBlock& x, const OrderBlock& y, const std::string& what)
{
    ASSERT_EQ(x.size(), y.size()) << what;
    EXPECT_EQ(x.lit, y.lit) << what;
    const std::size_t n = x.size();
    EXPECT_EQ(0, std::memcmp(x.phase.data(), y.phase.data(), n * sizeof(double))) << what;
    EXPECT_EQ(0, std::memcmp(x.jacobian.data(), y.jacobian.data(), n * sizeof(double))) << what;
    EXPECT_EQ(0, std::memcmp(x.dirParallel.data(), y.dirParallel.data(), n * sizeof(double))) << what;
    EXPECT_EQ(0, std::memcmp(x.dirPerpendicular.data(), y.dirPerpendicular.data(), n * sizeof(double))) << what;
    EXPECT_EQ(0, std::memcmp(x.dirForward.data(), y.dirForward.data(), n * sizeof(double))) << what;
    for (int st = 0; st < x.states; ++st) {
        EXPECT_EQ(0, std::memcmp(x.ampTheta[st].data(), y.ampTheta[st].data(), n * sizeof(Complex))) << what;
        EXPECT_EQ(0, std::memcmp(x.ampPhi[st].data(), y.ampPhi[st].data(), n * sizeof(Complex))) << what;
    }
}

TEST(PupilRun, HandsOnEveryOrderOfEveryBandInTurnTheSameOnOneThreadOrTwo)
{
    Rays3DInputs in = Particle(40, 30, 25, 20, 35);
    in.IndexIm = 0.001;
    in.BothStates = true;
    in.MinP = 1;
    in.MaxP = 4;
    const int n = 120;  // bands of 17 rows, the last one shorter
    RecordingControl control;
    Recording one, two;
    const PupilRun run = TracePupil(in, n, one, control, 1);
    TracePupil(in, n, two, control, 2);
    EXPECT_NEAR(run.cellArea * n * n, 4 * run.pupil.semiAxis1 * run.pupil.semiAxis2, 1e-9);

    ASSERT_EQ(one.blocks.size(), two.blocks.size());
    int row = 0;
    for (std::size_t b = 0; b < one.blocks.size(); ++b) {
        const OrderBlock& x = one.blocks[b];
        const OrderBlock& y = two.blocks[b];
        // Orders 1..4 of one band, then the next band.
        EXPECT_EQ(x.p, 1 + static_cast<int>(b % 4));
        EXPECT_EQ(x.firstRow, row);
        if (x.p == 4)
            row += x.rows;
        EXPECT_EQ(x.states, 2);
        ASSERT_EQ(x.size(), static_cast<std::size_t>(x.rows * n));
        ExpectSameBits(x, y, "two threads, block " + std::to_string(b));
    }
    EXPECT_EQ(row, n);

    // Each grid ray is the single ray through its point, and the two states are the
    // columns of the amplitude matrix: the ray of any Jones vector is their sum.
    const Complex e1{0.6, 0.2}, e2{-0.3, 0.7};
    Rays3DInputs single = in;
    single.BothStates = false;
    single.Jones = {e1, e2};
    const double norm = std::sqrt(std::norm(e1) + std::norm(e2));
    int lit = 0;
    for (const OrderBlock& block : one.blocks) {
        for (std::size_t r = 0; r < block.size(); r += 37) {
            const int i = static_cast<int>(r % n);
            const int j = block.firstRow + static_cast<int>(r / n);
            double u = 0, v = 0;
            run.pupil.point(n, i, j, u, v);
            const RayOrder3D o = TraceIncidentPoint(single, u, v).orders[static_cast<std::size_t>(block.p)];
            ASSERT_EQ(o.lit, block.lit[r] == 1) << i << " " << j;
            if (!o.lit)
                continue;
            ++lit;
            EXPECT_EQ(o.phase, block.phase[r]);
            EXPECT_EQ(o.dirParallel, block.dirParallel[r]);
            const Complex theta = (e1 * block.ampTheta[0][r] + e2 * block.ampTheta[1][r]) / norm;
            const Complex phi = (e1 * block.ampPhi[0][r] + e2 * block.ampPhi[1][r]) / norm;
            const double scale = std::abs(block.ampTheta[0][r]) + std::abs(block.ampTheta[1][r]) +
                                 std::abs(block.ampPhi[0][r]) + std::abs(block.ampPhi[1][r]);
            EXPECT_LT(std::abs(o.ampTheta[0] - theta) + std::abs(o.ampPhi[0] - phi), 1e-13 * scale);
        }
    }
    EXPECT_GT(lit, 100);
}

// The kernel takes 2, 4 or 8 rays at once, as the processor allows: every width gives the
// same bits (an absorbing particle under the entry rule, to take the complex quotients too).
TEST(PupilRun, EveryVectorWidthGivesTheSameBits)
{
    for (const Rays3DFresnel rule : {Rays3DFresnel::Local, Rays3DFresnel::Entry}) {
        Rays3DInputs in = Particle(45, 35, 30, -25, 40);
        in.IndexIm = rule == Rays3DFresnel::Entry ? 0.002 : 0.0;
        in.Fresnel = rule;
        in.Jones = JonesVector::Linear(0.4);
        in.MaxP = 6;
        RecordingControl control;
        testing::KeepBlocks widest;
        TracePupil(in, 64, widest, control, 2);
        ASSERT_FALSE(Rays3DLaneWidths().empty());
        for (const int width : Rays3DLaneWidths()) {
            testing::KeepBlocks one;
            TracePupil(in, 64, one, control, 1, width);
            ASSERT_EQ(one.blocks.size(), widest.blocks.size());
            for (std::size_t b = 0; b < one.blocks.size(); ++b)
                ExpectSameBits(one.blocks[b], widest.blocks[b], std::to_string(width) + " lanes, block " + std::to_string(b));
        }
    }
}

TEST(PupilRun, RefusesWhatItCannotTrace)
{
    struct Case {
        const char* name;
        int n;
        void (*change)(Rays3DInputs&);
        const char* message;
    };
    const Case cases[] = {
        {"no rays", 0, [](Rays3DInputs&) {}, "The pupil grid needs between 1 and 100000 rays a side."},
        {"tilt beyond 90°", 10, [](Rays3DInputs& in) { in.Tilt = ToRadians(91); },
         "The tilt must lie between -90 and 90 degrees."},
        {"no tilt at all", 10, [](Rays3DInputs& in) { in.Tilt = std::nan(""); },
         "The tilt must lie between -90 and 90 degrees."},
        {"order 51", 10, [](Rays3DInputs& in) { in.MaxP = 51; }, "The max order p must lie between 0 and 50."},
        {"orders crossed", 10, [](Rays3DInputs& in) { in.MinP = 3, in.MaxP = 2; }, "Min p must not be larger than Max p."},
        {"no light", 10, [](Rays3DInputs& in) { in.Jones = {0.0, 0.0}; },
         "The incident polarisation needs a Jones vector that is not zero."},
        {"radius", 10, [](Rays3DInputs& in) { in.RadiusB = -1; }, "Radius b must be positive."},
    };
    for (const Case& c : cases) {
        Rays3DInputs in;
        c.change(in);
        testing::KeepBlocks sink;
        RecordingControl control;
        try {
            TracePupil(in, c.n, sink, control);
            ADD_FAILURE() << c.name;
        } catch (const InputError& e) {
            EXPECT_STREQ(e.what(), c.message) << c.name;
        }
        EXPECT_TRUE(sink.blocks.empty()) << c.name;
    }
}

} // namespace
} // namespace orvane
