// The largest picture: 5000 rays through 50 orders on an 800 x 600 area, every ray that
// leaves shown, with its EPS file (about half a million lines). The canvas draws nothing,
// so this measures the ray paths and the file.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "raytrace/Canvas.h"
#include "raytrace/Picture.h"
#include "run/Jobs.h"

namespace {

class NullCanvas final : public orvane::Canvas {
public:
    int width() const override { return 800; }
    int height() const override { return 600; }
    void setPenColor(orvane::Color) override {}
    void setPenStyle(orvane::PenStyle) override {}
    void setBrushColor(orvane::Color) override {}
    void setFontColor(orvane::Color) override {}
    void fillRect(int, int, int, int) override {}
    void textOut(int, int, const std::string&) override {}
    void moveTo(std::int64_t x, std::int64_t) override { benchmark::DoNotOptimize(x); }
    void lineTo(std::int64_t x, std::int64_t) override { benchmark::DoNotOptimize(x); }
    void ellipse(std::int64_t, std::int64_t, std::int64_t, std::int64_t) override {}
};

void BM_LargestPicture(benchmark::State& st)
{
    orvane::PictureInputs inputs;
    inputs.NumRays = 5000;
    inputs.MaxP = 50;
    inputs.particle.IncAngle = 20 * 0.017453292519943295;
    inputs.particle.RadiusC = 30;
    const auto dir = std::filesystem::temp_directory_path() / "orvane-bench-raypicture";
    std::filesystem::create_directories(dir);
    NullCanvas canvas;
    for (auto _ : st) {
        const orvane::Picture picture = orvane::ComputePicture(inputs, canvas.width(), canvas.height());
        orvane::DrawPicture(picture, canvas);
        orvane::WritePictureFile(picture, {dir, '.'});
    }
    st.SetLabel(std::to_string(std::filesystem::file_size(dir / "Orvane.eps") >> 20) + " MiB of EPS");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LargestPicture)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
