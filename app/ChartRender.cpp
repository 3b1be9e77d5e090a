#include "app/ChartRender.h"

#include <cmath>
#include <numbers>

#include "app/ScatteringChart.h"

namespace orvane {

QImage RenderChartImage(const DiagramSeries& result, int width, int height, const QString& caption)
{
    ScatteringChart chart;
    chart.resize(width, height);
    chart.setCaption(caption);
    // Drawn once, straight into the image; the caption also in its text, for a PNG file.
    chart.loadDiagram(result);
    QImage image = chart.image();
    if (!caption.isEmpty())
        image.setText(QStringLiteral("Title"), chart.captionText());
    return image;
}

namespace {

// Six significant digits, a point as decimal separator whatever the locale.
QString Number(double value) { return QString::number(value, 'g', 6); }

QString Particle(const ParticleInputs& P)
{
    const QString unit = QString::fromUtf8(" \u00B5m");
    if (P.RadiusA == P.RadiusB && P.RadiusB == P.RadiusC)
        return QStringLiteral("Sphere r = ") + Number(P.RadiusA) + unit;
    const bool spheroid = P.RadiusA == P.RadiusB || P.RadiusB == P.RadiusC || P.RadiusA == P.RadiusC;
    return (spheroid ? QStringLiteral("Spheroid") : QStringLiteral("Ellipsoid")) + QStringLiteral(" a = ") +
           Number(P.RadiusA) + QStringLiteral(", b = ") + Number(P.RadiusB) + QStringLiteral(", c = ") +
           Number(P.RadiusC) + unit;
}

QString Orders(const DiagramInputs& P)
{
    if (P.MinP > P.MaxP)
        return QStringLiteral("no order");
    if (P.MinP == P.MaxP)
        return QStringLiteral("order ") + QString::number(P.MinP);
    return QStringLiteral("orders ") + QString::number(P.MinP) + QChar(0x2013) + QString::number(P.MaxP);
}

} // namespace

QString ChartCaption(const DiagramInputs& inputs)
{
    const ParticleInputs& P = inputs.particle;
    const QString index = Number(P.IndexRe) + (P.IndexIm < 0 ? QStringLiteral(" \u2212 ") : QStringLiteral(" + ")) +
                          Number(std::abs(P.IndexIm)) + QLatin1Char('i');
    const QStringList parts = {Particle(P),
                               QStringLiteral("m = ") + index,
                               QString::fromUtf8("\u03BB = ") + Number(P.Wavelength) + QString::fromUtf8(" \u00B5m"),
                               P.Polar == 0 ? QStringLiteral("parallel") : QStringLiteral("perpendicular"),
                               Orders(inputs),
                               QStringLiteral("incidence ") + Number(P.IncAngle * 180.0 / std::numbers::pi) +
                                   QString::fromUtf8("\u00B0")};
    // Each part holds together (no-break spaces inside); a long caption wraps between parts.
    QStringList joined;
    for (const QString& part : parts)
        joined << QString(part).replace(QLatin1Char(' '), QChar(0x00A0));
    return joined.join(QString::fromUtf8("\u00A0\u00B7 "));
}

} // namespace orvane
