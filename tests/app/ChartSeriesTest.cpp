// The chart's series of a whole run: one per computed order in its palette colour, the
// total, the Airy and exact curves, the Debye lines, and the rays that left no point.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/ChartSeries.h"
#include "numeric/Angles.h"
#include "base/RunControl.h"
#include "raytrace/OrderPalette.h"
#include "tests/run/RunSupport.h"
#include "tests/support/ReferenceFiles.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using Window = testing::WindowRun;

DiagramResult Calculate(Window& run, const TempFolder& dir) { return testing::Calculate(run, dir.path()); }

std::vector<std::string> Lines(const fs::path& file)
{
    const auto split = testing::SplitCrLf(testing::ReadBytes(file));
    EXPECT_TRUE(split.ok) << file;
    return split.lines;
}

std::vector<std::string> Files(const TempFolder& dir) { return testing::FileNames(dir.path()); }

// The chart's y: log10(|I| + 1e-10).
double ChartY(double intensity) { return std::log10(std::fabs(intensity) + 1e-10); }

TEST(ChartSeries, ChartSeriesCarryEveryComputedOrderTheTotalAndTheAiryCurve)
{
    TempFolder dir;
    Window run;
    run.fields.ChBxAiry = true;
    run.fields.ChBxDiff = true;
    const DiagramSeries result = BuildChartSeries(Calculate(run, dir));

    EXPECT_TRUE(result.legendVisible);
    for (int p = 0; p <= kMaxOrder; ++p) {
        const SeriesData& s = result.orders[static_cast<std::size_t>(p)];
        EXPECT_EQ(s.title, "p=" + std::to_string(p));
        EXPECT_EQ(s.color, kOrderPalette[static_cast<std::size_t>(p)]);
        // The Debye slot of the order: named and coloured like it, empty unless asked for.
        const SeriesData& d = result.debye[static_cast<std::size_t>(p)];
        EXPECT_EQ(d.title, "Debye p=" + std::to_string(p));
        EXPECT_EQ(d.color, s.color);
        EXPECT_FALSE(d.active);
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
    EXPECT_EQ(BuildChartSeries(Calculate(run, dir)).airy.x.size(), 51u);
}

// A ray that did not leave in an order keeps its zero line in the order's file but is no
// point of the chart (it would sit at 0°, -10).
TEST(ChartSeries, RaysThatDidNotEmergeStayInTheFileButNotInTheChart)
{
    TempFolder dir;
    Window run;
    run.fields.Edtmr = "0.75";  // a bubble: the outer rays never enter
    run.fields.EdtMinp = "1";
    run.fields.EdtMaxp = "1";
    const DiagramSeries result = BuildChartSeries(Calculate(run, dir));
    EXPECT_FALSE(result.legendVisible);  // a single order
    EXPECT_FALSE(result.orders[0].active);
    EXPECT_EQ(Files(dir), (std::vector<std::string>{"Orvane_1.dat", "Orvane_d.dat", "Orvane_run.txt", "Orvane_t.dat"}));

    const std::vector<std::string> lines = Lines(dir / "Orvane_1.dat");
    ASSERT_EQ(lines.size(), 201u);
    std::vector<double> emerged;  // the angles of the rays that left, as the file has them
    int zeros = 0;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        std::istringstream in(lines[n]);
        double x = 0, intensity = 0;
        in >> x >> intensity;
        if (intensity == 0.0)
            ++zeros;
        else
            emerged.push_back(x);
    }
    EXPECT_GT(zeros, 40);
    std::sort(emerged.begin(), emerged.end());

    const SeriesData& s = result.orders[1];
    ASSERT_TRUE(s.active);
    ASSERT_EQ(s.x.size(), emerged.size());
    for (std::size_t i = 0; i < s.x.size(); ++i) {
        EXPECT_NEAR(s.x[i], emerged[i], 1e-6) << i;
        EXPECT_GT(s.y[i], -10.0) << i;
    }
}

TEST(ChartSeries, DebyeLinesFollowTheirOrdersOnTheGrid)
{
    TempFolder dir;
    Window run;
    run.fields.CompareDebye = true;
    run.fields.EdtMinp = "1";
    run.fields.EdtMaxp = "2";
    const DiagramResult computed = Calculate(run, dir);
    const DiagramSeries result = BuildChartSeries(computed);
    for (int p = 0; p <= kMaxOrder; ++p) {
        const SeriesData& d = result.debye[static_cast<std::size_t>(p)];
        EXPECT_EQ(d.active, p == 1 || p == 2) << p;
        if (!d.active)
            continue;
        ASSERT_EQ(d.x.size(), 1000u) << p;
        EXPECT_TRUE(std::is_sorted(d.x.begin(), d.x.end())) << p;
        const std::vector<double>& term = computed.debye[static_cast<std::size_t>(p - 1)];
        EXPECT_EQ(d.y[500], ChartIntensity(term[500])) << p;
    }
}

TEST(ChartSeries, ALargeRunsSeriesHoldEachOrdersOwnPointsSortedByAngle)
{
    // Enough points for the curves to be shared between two threads: each series must
    // still hold its own order's rays (those that left), stably sorted by angle, and the
    // total its grid.
    DiagramInputs in;
    in.NumIncRays = 2000;
    in.MaxP = 30;
    in.NumScaRays = 20001;
    RecordingControl control;
    const DiagramResult result = ComputeDiagram(in, control);
    const DiagramSeries series = BuildChartSeries(result);
    const RayTables& T = *result.rays.tables;
    for (int p = 0; p <= 30; ++p) {
        std::vector<std::pair<double, double>> expected;
        for (int i = 0; i < 2000; ++i)
            if (T.RayIntensity[p][i] != 0.0)
                expected.emplace_back(ToDegrees(T.RayAngle[p][i]), ChartIntensity(T.RayIntensity[p][i]));
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        const SeriesData& s = series.orders[static_cast<std::size_t>(p)];
        ASSERT_EQ(s.x.size(), expected.size()) << "order " << p;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(s.x[i], expected[i].first) << "order " << p << ", point " << i;
            ASSERT_EQ(s.y[i], expected[i].second) << "order " << p << ", point " << i;
        }
    }
    const ScatteringGrid& grid = result.grid;
    ASSERT_EQ(series.total.y.size(), grid.TotalIntensity.size());
    for (std::size_t e = 0; e < grid.TotalIntensity.size(); ++e)
        ASSERT_EQ(series.total.y[e], ChartIntensity(grid.TotalIntensity[e])) << "grid angle " << e;
}

} // namespace
} // namespace orvane
