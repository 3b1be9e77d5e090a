// The image module of orvane-batch: the chart and the picture drawn with Qt, offscreen.
#include "cli/RenderModule.h"

#include <QApplication>
#include <QImage>
#include <QString>

#include <clocale>
#include <exception>
#include <iostream>
#include <memory>

#include "app/ChartRender.h"
#include "app/ChartSeries.h"
#include "app/QtCanvas.h"

namespace orvane {
namespace {

// Standard error carries the program's messages only: Qt's own notes about the platform are
// dropped, its critical and fatal errors kept.
void QtMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::cerr << text.toStdString() << '\n';
}

// Images need a QApplication; without a display it draws offscreen. The C library keeps the
// point as its decimal separator.
std::unique_ptr<QApplication> g_app;

void EnsureApplication()
{
    if (g_app || QApplication::instance())
        return;
    qInstallMessageHandler(QtMessage);
    static int argc = 1;
    static char name[] = "orvane-batch";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_app = std::make_unique<QApplication>(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
}

bool Save(const QImage& image, const std::string& file, std::string* error)
{
    if (image.save(QString::fromStdString(file), "PNG"))
        return true;
    *error = "Cannot write the image file \"" + file + "\".";
    return false;
}

template <class Work>
bool Guarded(std::string* error, Work&& work)
{
    try {
        EnsureApplication();
        return work();
    } catch (const std::exception& e) {
        *error = e.what();
    } catch (...) {
        *error = "Unknown error.";
    }
    return false;
}

bool SaveChartPng(const DiagramResult& result, int width, int height, const std::string& file, std::string* error)
{
    return Guarded(error, [&] {
        return Save(RenderChartImage(BuildChartSeries(result), width, height, ChartCaption(result.inputs)), file, error);
    });
}

bool SavePicturePng(const Picture& picture, const std::string& file, std::string* error)
{
    return Guarded(error, [&] {
        QImage image(picture.width, picture.height, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QtCanvas canvas(image);
            DrawPicture(picture, canvas);
        }
        return Save(image, file, error);
    });
}

void Shutdown() { g_app.reset(); }

const RenderInterface kInterface{kRenderInterfaceVersion, SaveChartPng, SavePicturePng, Shutdown};

} // namespace
} // namespace orvane

extern "C" __attribute__((visibility("default"))) const orvane::RenderInterface* orvane_render_interface()
{
    return &orvane::kInterface;
}
