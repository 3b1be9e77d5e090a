// The largest picture: 5000 rays through 50 orders on an 800 x 600 area, every ray that
// leaves shown, with its EPS file (about half a million lines). The canvas draws nothing,
// so this measures the ray paths and the file.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "numeric/MessageSink.h"
#include "raytrace/Canvas.h"
#include "raytrace/RayPicture.h"

namespace {

class NullCanvas final : public orvane::Canvas {
public:
    int width() const override { return 800; }
    int height() const override { return 600; }
    void setPenColor(orvane::TColor) override {}
    void setPenStyle(orvane::PenStyle) override {}
    void setBrushColor(orvane::TColor) override {}
    void setFontColor(orvane::TColor) override {}
    void fillRect(int, int, int, int) override {}
    void textOut(int, int, const std::string&) override {}
    void moveTo(std::int64_t x, std::int64_t) override { benchmark::DoNotOptimize(x); }
    void lineTo(std::int64_t x, std::int64_t) override { benchmark::DoNotOptimize(x); }
    void ellipse(std::int64_t, std::int64_t, std::int64_t, std::int64_t) override {}
};

void BM_LargestPicture(benchmark::State& st)
{
    auto state = std::make_unique<orvane::TOrvaneState>();
    auto fields = std::make_unique<orvane::Fields>();
    fields->CbxNumRay = "5000";
    fields->EdtMaxp = "50";
    fields->EdtIncAng = "20";
    fields->EdtRadius_c = "30";
    orvane::RecordingSink sink;
    const auto dir = std::filesystem::temp_directory_path() / "orvane-bench-raypicture";
    std::filesystem::create_directories(dir);
    orvane::Session session{*state, *fields, sink, dir};
    NullCanvas canvas;
    for (auto _ : st)
        orvane::BtnRaytracingClick(session, canvas);
    st.SetLabel(std::to_string(std::filesystem::file_size(dir / "Orvane.eps") >> 20) + " MiB of EPS");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LargestPicture)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
