// orvane-batch: the window's diagram run (and ray-tracing picture) without a window. It
// starts as the window does, from Orvane.par and the fields' defaults, lets the options set
// fields and boxes, computes, and prints every message the window would show on stderr.
#include <QApplication>
#include <QImage>
#include <QString>

#include <clocale>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/ChartRender.h"
#include "app/QtCanvas.h"
#include "cli/BatchOptions.h"
#include "engine/DiagramRun.h"
#include "numeric/Errors.h"
#include "numeric/Format.h"
#include "numeric/MessageSink.h"
#include "raytrace/Canvas.h"
#include "raytrace/RayPicture.h"
#include "run/ParameterFile.h"

namespace orvane {
namespace {

// The size of the window's chart, the default of --chart-size.
constexpr int kChartWidth = 519;
constexpr int kChartHeight = 356;

class StderrSink final : public MessageSink {
protected:
    void display(const std::string& text) override { std::cerr << text << '\n' << std::flush; }
};

// The picture's drawing area when no PNG is asked for: only its size matters (the EPS file
// is written from the same steps), so nothing is drawn and no Qt is needed.
class SizeOnlyCanvas final : public Canvas {
public:
    SizeOnlyCanvas(int width, int height) : width_(width), height_(height) {}
    int width() const override { return width_; }
    int height() const override { return height_; }
    void setPenColor(TColor) override {}
    void setPenStyle(PenStyle) override {}
    void setBrushColor(TColor) override {}
    void setFontColor(TColor) override {}
    void fillRect(int, int, int, int) override {}
    void textOut(int, int, const std::string&) override {}
    void moveTo(std::int64_t, std::int64_t) override {}
    void lineTo(std::int64_t, std::int64_t) override {}
    void ellipse(std::int64_t, std::int64_t, std::int64_t, std::int64_t) override {}

private:
    int width_;
    int height_;
};

// The locale's decimal separator for the numbers of fields and files; the C library keeps
// the point, so that nothing below depends on the locale.
void TakeDecimalSeparatorFromLocale()
{
    std::setlocale(LC_ALL, "");
    const char* point = std::localeconv()->decimal_point;
    SetDecimalSeparator(point && point[0] ? point[0] : '.');
    std::setlocale(LC_NUMERIC, "C");
}

// Standard error carries the program's messages only: Qt's own notes about the platform
// are dropped, its critical and fatal errors kept.
void QtMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::cerr << text.toStdString() << '\n';
}

// Images need a QApplication; without a display it draws offscreen.
std::unique_ptr<QApplication> MakeApplication()
{
    qInstallMessageHandler(QtMessage);
    static int argc = 1;
    static char name[] = "orvane-batch";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    auto app = std::make_unique<QApplication>(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return app;
}

void SavePng(const QImage& image, const std::string& file)
{
    if (!image.save(QString::fromStdString(file), "PNG"))
        throw EInOutError("Cannot write the image file \"" + file + "\".");
}

int Run(const BatchOptions& options)
{
    TOrvaneState state;
    Fields fields;
    StderrSink sink;
    Session session{state, fields, sink, std::filesystem::path(options.dir)};

    ReadParameterFile(session.file(kParameterFileName), state.P);
    WriteParametersToFields(state.P, fields);
    ApplyBatchOptions(options, fields);

    const DiagramResult result = BtnCalcDiagClick(session);

    std::unique_ptr<QApplication> app;
    if (!options.png.empty() || !options.chartPng.empty())
        app = MakeApplication();
    if (!options.chartPng.empty()) {
        const PictureSize size = options.chartSize.value_or(PictureSize{kChartWidth, kChartHeight});
        SavePng(RenderChartImage(result, size.width, size.height), options.chartPng);
    }

    if (options.picture) {
        const PictureSize size = *options.picture;
        if (options.png.empty()) {
            SizeOnlyCanvas canvas(size.width, size.height);
            BtnRaytracingClick(session, canvas);
        } else {
            QImage image(size.width, size.height, QImage::Format_RGB32);
            image.fill(Qt::white);
            {
                QtCanvas canvas(image);
                BtnRaytracingClick(session, canvas);
            }
            SavePng(image, options.png);
        }
    }
    return 0;
}

} // namespace
} // namespace orvane

int main(int argc, char** argv)
{
    using namespace orvane;
    BatchOptions options;
    try {
        options = ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "orvane-batch: " << e.message << "\nTry 'orvane-batch --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << BatchUsage();
        return 0;
    }
    if (options.version) {
        std::cout << "orvane-batch " << ORVANE_VERSION << '\n';
        return 0;
    }
    TakeDecimalSeparatorFromLocale();
    try {
        return Run(options);
    } catch (const std::exception& e) {
        // The errors of the run carry the message the window would show.
        std::cerr << e.what() << '\n';
        return 1;
    }
}
