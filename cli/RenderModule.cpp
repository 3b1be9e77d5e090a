// The image module of orvane-batch: the chart and the picture drawn with Qt, offscreen.
#include "cli/RenderModule.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
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

bool Encode(const QImage& image, std::string* png, std::string* error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG")) {
        png->assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        return true;
    }
    *error = "Cannot make the PNG image.";
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

bool ChartPng(const DiagramResult& result, int width, int height, std::string* png, std::string* error)
{
    return Guarded(error, [&] {
        return Encode(RenderChartImage(BuildChartSeries(result), width, height, ChartCaption(result.inputs)), png, error);
    });
}

bool PicturePng(const Picture& picture, std::string* png, std::string* error)
{
    return Guarded(error, [&] {
        QImage image(picture.width, picture.height, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QtCanvas canvas(image);
            DrawPicture(picture, canvas);
        }
        return Encode(image, png, error);
    });
}

void Shutdown() { g_app.reset(); }

const RenderInterface kInterface{kRenderInterfaceVersion, ChartPng, PicturePng, Shutdown};

} // namespace
} // namespace orvane

extern "C" __attribute__((visibility("default"))) const orvane::RenderInterface* orvane_render_interface()
{
    return &orvane::kInterface;
}
