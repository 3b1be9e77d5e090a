// The scattering-diagram chart on its own: which series a run fills and shows, the order
// palette (its colour differences, contrast and scale), the legend beside the plot (its
// colour bar and scrolling), the mouse (legend clicks, zoom, its limits and history, hover
// read-out), "Keep zoom" and the options kept between sessions, the notice of a failed
// run, data and image export with the caption and what they report, the exact curves
// under the total, the Debye lines, the grid's ends, and the offscreen rendering used by
// orvane-batch.
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <set>
#include <vector>

#include "AppTestSupport.h"
#include "app/ChartRender.h"
#include "app/ScatteringChart.h"
#include "base/Errors.h"
#include "raytrace/OrderPalette.h"

using orvane::DiagramSeries;
using orvane::ScatteringChart;
using orvane::SeriesData;
using orvane::test::WorkFolder;

namespace {

SeriesData Series(const char* title, orvane::Color color, std::vector<double> x, std::vector<double> y)
{
    SeriesData s;
    s.active = true;
    s.title = title;
    s.color = color;
    s.x = std::move(x);
    s.y = std::move(y);
    return s;
}

// Orders 0..2 (order 1 in ray order, not by angle), the total, the Airy curve and the exact
// curve.
DiagramSeries ThreeOrders()
{
    DiagramSeries r;
    r.orders[0] = Series("p=0", 0x00FF00, {-170, -90, 0, 90}, {-2, -1, -3, -2.5});
    r.orders[1] = Series("p=1", 0x0000FF, {30, -20, 10, -5}, {0.5, -1, 1, 2});
    r.orders[2] = Series("p=2", 0xFF0000, {-140, -138, -136}, {-1, 0, -1});
    r.total = Series("Total", 0, {-180, -60, 60, 180}, {-3, -2, -1, -3});
    r.airy = Series("", 0x707070, {-142, -139, -136}, {-2, 0.5, -2});
    r.mie = Series("Exact (Mie)", 0x00008B, {100, 120, 140}, {-2.5, -2, -2.8});
    r.legendVisible = true;
    return r;
}

QStringList LegendNames(const ScatteringChart& chart)
{
    QStringList names;
    for (int i = 0; i < chart.legend->itemCount(); ++i)
        if (auto* item = qobject_cast<QCPPlottableLegendItem*>(chart.legend->item(i)))
            names << item->plottable()->name();
    return names;
}

// Every order 0..50 with a few points in its palette colour and its Debye line, the total,
// the Airy curve and the exact curve: the most the legend ever has to hold.
DiagramSeries AllOrders()
{
    DiagramSeries r;
    for (int p = 0; p < orvane::kOrderCount; ++p) {
        const auto k = static_cast<std::size_t>(p);
        const double y = -0.15 * p;
        r.orders[k] = Series("", orvane::kOrderPalette[k], {-150.0 + p, 0.0 + p, 100.0 + p}, {y, y + 1, y});
        r.debye[k] = Series("", orvane::kOrderPalette[k], {-150.0 + p, 0.0 + p, 100.0 + p}, {y - 0.1, y + 0.9, y - 0.1});
    }
    r.total = Series("Total", 0, {-180, 0, 180}, {-3, 2, -3});
    r.airy = Series("Airy", 0x707070, {-142, -139, -136}, {-2, 0.5, -2});
    r.mie = Series("Exact (Mie)", 0x00008B, {-180, 0, 180}, {-3.1, 1.9, -3.1});
    r.legendVisible = true;
    return r;
}

// Colour science for the palette's checks: sRGB (0x00BBGGRR) to CIELAB under D65, the
// CIEDE2000 colour difference, the WCAG contrast ratio, and colour-blind vision after
// Machado, Oliveira & Fernandes (2009), full severity, on linear RGB.
using Rgb = std::array<double, 3>;  // linear, 0..1
using Lab = std::array<double, 3>;

Rgb LinearRgb(orvane::Color colour)
{
    auto linear = [](unsigned v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return {linear(colour & 0xFF), linear((colour >> 8) & 0xFF), linear((colour >> 16) & 0xFF)};
}

Lab ToLab(const Rgb& c)
{
    const double x = (0.4124564 * c[0] + 0.3575761 * c[1] + 0.1804375 * c[2]) / 0.95047;
    const double y = 0.2126729 * c[0] + 0.7151522 * c[1] + 0.0721750 * c[2];
    const double z = (0.0193339 * c[0] + 0.1191920 * c[1] + 0.9503041 * c[2]) / 1.08883;
    auto f = [](double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : t * 24389.0 / 27.0 / 116.0 + 16.0 / 116.0; };
    return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

Lab ToLab(orvane::Color colour) { return ToLab(LinearRgb(colour)); }

double Ciede2000(const Lab& one, const Lab& two)
{
    const double degree = std::numbers::pi / 180.0;
    const auto [L1, a1, b1] = one;
    const auto [L2, a2, b2] = two;
    const double meanC = (std::hypot(a1, b1) + std::hypot(a2, b2)) / 2;
    const double c7 = std::pow(meanC, 7);
    const double G = 0.5 * (1 - std::sqrt(c7 / (c7 + std::pow(25.0, 7))));
    const double a1p = (1 + G) * a1, a2p = (1 + G) * a2;
    const double C1p = std::hypot(a1p, b1), C2p = std::hypot(a2p, b2);
    auto hue = [degree](double b, double a) {
        return a == 0 && b == 0 ? 0.0 : std::fmod(std::atan2(b, a) / degree + 360.0, 360.0);
    };
    const double h1p = hue(b1, a1p), h2p = hue(b2, a2p);
    const bool grey = C1p * C2p == 0;
    double dh = h2p - h1p;
    dh = grey ? 0 : dh > 180 ? dh - 360 : dh < -180 ? dh + 360 : dh;
    const double dL = L2 - L1, dC = C2p - C1p;
    const double dH = 2 * std::sqrt(C1p * C2p) * std::sin(dh / 2 * degree);
    const double meanL = (L1 + L2) / 2, meanCp = (C1p + C2p) / 2;
    const double meanH = grey ? h1p + h2p
                         : std::abs(h1p - h2p) <= 180 ? (h1p + h2p) / 2
                         : h1p + h2p < 360            ? (h1p + h2p + 360) / 2
                                                      : (h1p + h2p - 360) / 2;
    const double T = 1 - 0.17 * std::cos((meanH - 30) * degree) + 0.24 * std::cos(2 * meanH * degree) +
                     0.32 * std::cos((3 * meanH + 6) * degree) - 0.20 * std::cos((4 * meanH - 63) * degree);
    const double dTheta = 30 * std::exp(-std::pow((meanH - 275) / 25, 2));
    const double cp7 = std::pow(meanCp, 7);
    const double Rc = 2 * std::sqrt(cp7 / (cp7 + std::pow(25.0, 7)));
    const double Sl = 1 + 0.015 * std::pow(meanL - 50, 2) / std::sqrt(20 + std::pow(meanL - 50, 2));
    const double Sc = 1 + 0.045 * meanCp, Sh = 1 + 0.015 * meanCp * T;
    const double Rt = -std::sin(2 * dTheta * degree) * Rc;
    return std::sqrt(std::pow(dL / Sl, 2) + std::pow(dC / Sc, 2) + std::pow(dH / Sh, 2) + Rt * (dC / Sc) * (dH / Sh));
}

double Ciede2000(orvane::Color a, orvane::Color b) { return Ciede2000(ToLab(a), ToLab(b)); }

// A colour as a protanope or a deuteranope sees it.
enum class Vision { Protanope, Deuteranope };

Lab SeenBy(Vision vision, orvane::Color colour)
{
    static const double protanope[3][3] = {
        {0.152286, 1.052583, -0.204868}, {0.114503, 0.786281, 0.099216}, {-0.003882, -0.048116, 1.051998}};
    static const double deuteranope[3][3] = {
        {0.367322, 0.860646, -0.227968}, {0.280085, 0.672501, 0.047413}, {-0.011820, 0.042940, 0.968881}};
    const auto& m = vision == Vision::Protanope ? protanope : deuteranope;
    const Rgb c = LinearRgb(colour);
    Rgb seen{};
    for (int i = 0; i < 3; ++i)
        seen[i] = std::clamp(m[i][0] * c[0] + m[i][1] * c[1] + m[i][2] * c[2], 0.0, 1.0);
    return ToLab(seen);
}

// WCAG contrast ratio of two colours.
double Contrast(orvane::Color a, orvane::Color b)
{
    auto luminance = [](orvane::Color colour) {
        const Rgb c = LinearRgb(colour);
        return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2];
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

orvane::Color ToColor(const QColor& c)
{
    return static_cast<orvane::Color>(c.red()) | (static_cast<orvane::Color>(c.green()) << 8) |
           (static_cast<orvane::Color>(c.blue()) << 16);
}

enum class Gesture { WheelOut, WheelOutNearRightEnd, PanPastLeftEnd, PanPastTop, RectanglePastPlot };

// A turn of the wheel over the chart: positive notches away from the user (zoom in).
QWheelEvent WheelTurn(const ScatteringChart& chart, QPointF at, int notches)
{
    return QWheelEvent(at, chart.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
}

// Pixels darker than mid-grey in a rectangle of the image.
int DarkPixels(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
    return count;
}

int CountColour(const QImage& image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
    return count;
}

} // namespace

class ScatteringChartTest : public QObject {
    Q_OBJECT

private slots:
    void runFillsAndEmptiesSeries();
    void legendClickHidesAndShowsSeries();
    void rectangleZoomAndDoubleClickBack();
    void saveAsPngAndPdf();
    void renderChartImageDrawsTheSeries();
    void menuOffersExactTheoryOnlyWhenAsked();
    void colourDifferenceMatchesPublishedPairs_data();
    void colourDifferenceMatchesPublishedPairs();
    void paletteKeyOrdersReadableAndApart();
    void paletteScaleIsContinuousInP();
    void legendNeverSqueezesThePlot_data();
    void legendNeverSqueezesThePlot();
    void legendScrollsByItsMoreRows();
    void scaleOrdersShareAColourBar();
    void zoomHistoryStepsBack();
    void hoverNamesThePointUntilTheViewMoves();
    void dataTableHoldsTheShownSeries();
    void exportsCarryTheCaption();
    void captionNamesTheRun_data();
    void captionNamesTheRun();
    void staleNoticeStaysUntilTheNextRun();
    void debyeLinesFollowTheirOrders();
    void floorPointsDoNotStretchTheFullView();
    void viewStaysWithinLimits_data();
    void viewStaysWithinLimits();
    void keepZoomKeepsTheViewAcrossRuns_data();
    void keepZoomKeepsTheViewAcrossRuns();
    void optionsRememberedBetweenSessions_data();
    void optionsRememberedBetweenSessions();
    void copiesAndSavesSayWhatTheyDid_data();
    void copiesAndSavesSayWhatTheyDid();
    void gridEndZerosDrawNoEdgeLine();
    void totalStaysVisibleInsideTheExactBand();
};

void ScatteringChartTest::runFillsAndEmptiesSeries()
{
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.setDiagram(ThreeOrders());

    for (int p = 0; p < orvane::kOrderCount; ++p)
        QCOMPARE(chart.orderSeries(p)->visible(), p <= 2);
    QCOMPARE(chart.orderSeries(1)->data()->size(), 4);
    // Kept by ascending angle, each value with its own angle.
    QCOMPARE(chart.orderSeries(1)->data()->at(0)->key, -20.0);
    QCOMPARE(chart.orderSeries(1)->data()->at(0)->value, -1.0);
    QCOMPARE(chart.orderSeries(1)->data()->at(3)->key, 30.0);
    QCOMPARE(chart.orderSeries(1)->data()->at(3)->value, 0.5);
    // Order colours from 0x00BBGGRR; 3 x 3 squares without outline; total and Airy as lines.
    for (auto [p, colour] : {std::pair{1, QColor(255, 0, 0)}, std::pair{2, QColor(0, 0, 255)}}) {
        const QImage square = chart.orderSeries(p)->scatterStyle().pixmap().toImage();
        QCOMPARE(square.size(), QSize(3, 3));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                QCOMPARE(square.pixelColor(x, y), colour);
    }
    QCOMPARE(chart.orderSeries(1)->lineStyle(), QCPGraph::lsNone);
    QCOMPARE(chart.totalSeries()->pen().color(), QColor(0, 0, 0));
    QCOMPARE(chart.airySeries()->pen().color(), QColor(0x70, 0x70, 0x70));
    QCOMPARE(chart.totalSeries()->lineStyle(), QCPGraph::lsLine);
    QCOMPARE(ToColor(chart.mieSeries()->pen().color()), orvane::kExactBandColor);
    QCOMPARE(chart.mieSeries()->lineStyle(), QCPGraph::lsLine);
    QCOMPARE(chart.mieSeries()->data()->size(), 3);
    // Total and exact curve differ by more than their shade: the exact one is a wide band.
    QVERIFY(chart.mieSeries()->pen().widthF() >= 2 * std::max(1.0, chart.totalSeries()->pen().widthF()));
    QCOMPARE(chart.yAxis->label(), QString::fromUtf8("log\u2081\u2080 intensity (|S|\u00B2, Mie units)"));
    QCOMPARE(chart.xAxis->label(), QString::fromUtf8("Scattering angle [\u00B0]"));

    QVERIFY(chart.legend->visible());
    QCOMPARE(LegendNames(chart), QStringList({"p=0", "p=1", "p=2", "Total", "Airy", "Exact (Mie)"}));
    // The full view holds every point.
    QVERIFY(chart.xAxis->range().lower <= -180 && chart.xAxis->range().upper >= 180);
    QVERIFY(chart.yAxis->range().lower <= -3 && chart.yAxis->range().upper >= 2);

    // The next run: one order, no total, no legend. Everything of the first is gone.
    DiagramSeries second;
    second.orders[3] = Series("p=3", 0x008000, {1, 2}, {-1, -2});
    second.legendVisible = false;
    chart.setDiagram(second);
    for (int p = 0; p < orvane::kOrderCount; ++p) {
        QCOMPARE(chart.orderSeries(p)->visible(), p == 3);
        QCOMPARE(chart.orderSeries(p)->data()->isEmpty(), p != 3);
    }
    QVERIFY(!chart.totalSeries()->visible() && chart.totalSeries()->data()->isEmpty());
    QVERIFY(!chart.airySeries()->visible() && chart.airySeries()->data()->isEmpty());
    QVERIFY(!chart.mieSeries()->visible() && chart.mieSeries()->data()->isEmpty());
    QVERIFY(!chart.legend->visible());
    QCOMPARE(LegendNames(chart), QStringList({"p=3"}));

    chart.clearDiagram();
    QVERIFY(chart.orderSeries(3)->data()->isEmpty() && !chart.orderSeries(3)->visible());
    QCOMPARE(chart.legend->itemCount(), 0);
}

void ScatteringChartTest::legendClickHidesAndShowsSeries()
{
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setDiagram(ThreeOrders());

    QCPGraph* order1 = chart.orderSeries(1);
    QCPPlottableLegendItem* entry = chart.legend->itemWithPlottable(order1);
    QVERIFY(entry != nullptr);
    const QPoint onEntry = entry->outerRect().center();
    const QPoint onPoint = order1->coordsToPixels(10, 1).toPoint();
    int index = -1;
    QCOMPARE(chart.seriesAt(onPoint, &index), order1);
    QCOMPARE(order1->data()->at(index)->key, 10.0);

    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, onEntry);
    QVERIFY(!order1->visible());
    QVERIFY(entry->textColor() != QColor(Qt::black));
    QCOMPARE(chart.legend->itemCount(), 6);  // the entry stays, greyed
    QVERIFY(chart.seriesAt(onPoint, &index) != order1);  // a hidden series gives no read-out

    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, onEntry);
    QVERIFY(order1->visible());
    QCOMPARE(entry->textColor(), QColor(Qt::black));
    QCOMPARE(chart.seriesAt(onPoint, &index), order1);

    // A click on the point gives the window its read-out.
    QSignalSpy clicked(&chart, &ScatteringChart::seriesClicked);
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, onPoint);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).value<QCPGraph*>(), order1);
    QCOMPARE(order1->data()->at(clicked.at(0).at(1).toInt())->key, 10.0);
}

void ScatteringChartTest::rectangleZoomAndDoubleClickBack()
{
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setDiagram(ThreeOrders());
    const QCPRange fullX = chart.xAxis->range();
    const QCPRange fullY = chart.yAxis->range();

    // Drag a rectangle from (-100, 1) to (50, -1): the view becomes that rectangle.
    const QPoint from = chart.totalSeries()->coordsToPixels(-100, 1).toPoint();
    const QPoint to = chart.totalSeries()->coordsToPixels(50, -1).toPoint();
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&chart, (from + to) / 2);
    QTest::mouseMove(&chart, to);
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, to);
    QVERIFY2(std::abs(chart.xAxis->range().lower + 100) < 2 && std::abs(chart.xAxis->range().upper - 50) < 2,
             qPrintable(QStringLiteral("%1 %2").arg(chart.xAxis->range().lower).arg(chart.xAxis->range().upper)));
    QVERIFY(std::abs(chart.yAxis->range().lower + 1) < 0.1 && std::abs(chart.yAxis->range().upper - 1) < 0.1);

    // A double-click brings the full view back.
    QTest::mouseDClick(&chart, Qt::LeftButton, Qt::NoModifier, (from + to) / 2);
    QCOMPARE(chart.xAxis->range().lower, fullX.lower);
    QCOMPARE(chart.xAxis->range().upper, fullX.upper);
    QCOMPARE(chart.yAxis->range().lower, fullY.lower);
    QCOMPARE(chart.yAxis->range().upper, fullY.upper);
}

void ScatteringChartTest::saveAsPngAndPdf()
{
    WorkFolder folder;
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.setDiagram(ThreeOrders());

    chart.saveAsPng(folder.file("chart.png"));
    const QImage png(folder.file("chart.png"));
    QCOMPARE(png.size(), QSize(519, 356));

    chart.saveAsPdf(folder.file("chart.pdf"));
    QFile pdf(folder.file("chart.pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.read(5) == "%PDF-");

    // A name taken by a folder: the error for the user, nothing else.
    QVERIFY(QDir(folder.path()).mkdir("taken.png"));
    QVERIFY(QDir(folder.path()).mkdir("taken.pdf"));
    QVERIFY_THROWS_EXCEPTION(orvane::FileError, chart.saveAsPng(folder.file("taken.png")));
    QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
    QVERIFY_THROWS_EXCEPTION(orvane::FileError, chart.saveAsPdf(folder.file("taken.pdf")));
}

void ScatteringChartTest::renderChartImageDrawsTheSeries()
{
    const QImage image = orvane::RenderChartImage(ThreeOrders(), 640, 480);
    QCOMPARE(image.size(), QSize(640, 480));
    // Each point is a 3 x 3 square of its order's colour (a line may cross one); the Airy
    // line is grey, the exact curve a pale band.
    QVERIFY(CountColour(image, qRgb(255, 0, 0)) >= 4 * 7);
    QVERIFY(CountColour(image, qRgb(0, 0, 255)) >= 3 * 7);
    QVERIFY(CountColour(image, qRgb(0, 255, 0)) >= 4 * 7);
    QVERIFY(CountColour(image, qRgb(0x70, 0x70, 0x70)) > 20);
    QVERIFY(CountColour(image, qRgb(0xE8, 0x96, 0x96)) > 5 * 20);

    // An empty run renders the bare chart.
    const QImage empty = orvane::RenderChartImage(DiagramSeries{}, 300, 200);
    QCOMPARE(empty.size(), QSize(300, 200));
    QCOMPARE(CountColour(empty, qRgb(255, 0, 0)), 0);
}

namespace {

QAction* ActionNamed(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

void ScatteringChartTest::menuOffersExactTheoryOnlyWhenAsked()
{
    // Both comparisons with exact theory behave alike: the item, how the owner answers for
    // it, and the signal it gives.
    using Query = std::function<ScatteringChart::ExactTheoryItem()>;
    struct Case {
        QString item;
        QString other;
        void (ScatteringChart::*setQuery)(Query);
        void (ScatteringChart::*toggled)(bool);
    };
    const QString mieItem = QStringLiteral("Compare with exact theory");
    const QString debyeItem = QStringLiteral("Compare orders with exact Debye terms");
    for (const Case& c : {Case{mieItem, debyeItem, &ScatteringChart::setExactTheoryQuery,
                               &ScatteringChart::exactTheoryToggled},
                          Case{debyeItem, mieItem, &ScatteringChart::setDebyeTermsQuery,
                               &ScatteringChart::debyeTermsToggled}}) {
        const QString& item = c.item;
        ScatteringChart chart;
        // Without an owner to answer (the offscreen chart), no such item.
        QVERIFY(ActionNamed(*chart.createContextMenu(), item) == nullptr);
        QVERIFY(ActionNamed(*chart.createContextMenu(), QStringLiteral("Reset zoom")) != nullptr);

        ScatteringChart::ExactTheoryItem answer;
        int asked = 0;
        (chart.*c.setQuery)([&] {
            ++asked;
            return answer;
        });
        // Each item only where its own owner answers.
        QVERIFY(ActionNamed(*chart.createContextMenu(), c.other) == nullptr);
        asked = 0;
        std::vector<bool> toggles;
        QObject::connect(&chart, c.toggled, [&](bool on) { toggles.push_back(on); });

        // Disabled: the tool tip says why, and the menu shows tool tips.
        answer.whyDisabled = QStringLiteral("Exact theory is available for spheres only.");
        {
            const auto menu = chart.createContextMenu();
            QAction* exact = ActionNamed(*menu, item);
            QVERIFY(exact != nullptr);
            QVERIFY(exact->isCheckable() && !exact->isEnabled());
            QCOMPARE(exact->toolTip(), answer.whyDisabled);
            QVERIFY(menu->toolTipsVisible());
        }
        // Enabled, unticked then ticked: the state is asked afresh each time the menu opens,
        // and choosing the item reports the new tick.
        answer.enabled = true;
        for (const bool ticked : {false, true}) {
            answer.checked = ticked;
            const auto menu = chart.createContextMenu();
            QAction* exact = ActionNamed(*menu, item);
            QVERIFY(exact->isEnabled());
            QCOMPARE(exact->isChecked(), ticked);
            exact->trigger();
        }
        QCOMPARE(asked, 3);
        QCOMPARE(toggles, (std::vector<bool>{true, false}));

        // The right button opens the same menu; choosing the item from it reports the tick.
        chart.resize(519, 356);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        answer.checked = false;
        bool seen = false;
        QTimer::singleShot(0, &chart, [&] {
            auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (open == nullptr)
                return;
            seen = true;
            open->setActiveAction(ActionNamed(*open, item));
            QTest::keyClick(open, Qt::Key_Return);
        });
        // Should the key not close it, the menu must not keep the test waiting.
        QTimer::singleShot(5000, &chart, [] {
            if (QWidget* open = QApplication::activePopupWidget())
                open->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(100, 100), chart.mapToGlobal(QPoint(100, 100)));
        QApplication::sendEvent(&chart, &event);
        QVERIFY(seen);
        QCOMPARE(toggles, (std::vector<bool>{true, false, true}));
    }
}

void ScatteringChartTest::colourDifferenceMatchesPublishedPairs_data()
{
    // Sharma, Wu & Dalal (2005), the CIEDE2000 test data: pairs 1, 7, 17, 18, 19, 20.
    QTest::addColumn<QList<double>>("lab1");
    QTest::addColumn<QList<double>>("lab2");
    QTest::addColumn<double>("expected");
    QTest::newRow("1") << QList<double>{50, 2.6772, -79.7751} << QList<double>{50, 0, -82.7485} << 2.0425;
    QTest::newRow("7") << QList<double>{50, 0, 0} << QList<double>{50, -1, 2} << 2.3669;
    QTest::newRow("17") << QList<double>{50, 2.5, 0} << QList<double>{73, 25, -18} << 27.1492;
    QTest::newRow("18") << QList<double>{50, 2.5, 0} << QList<double>{61, -5, 29} << 22.8977;
    QTest::newRow("19") << QList<double>{50, 2.5, 0} << QList<double>{56, -27, -3} << 31.9030;
    QTest::newRow("20") << QList<double>{50, 2.5, 0} << QList<double>{58, 24, 15} << 19.4535;
}

// The palette's checks below rest on this colour difference.
void ScatteringChartTest::colourDifferenceMatchesPublishedPairs()
{
    QFETCH(QList<double>, lab1);
    QFETCH(QList<double>, lab2);
    QFETCH(double, expected);
    const Lab one{lab1[0], lab1[1], lab1[2]}, two{lab2[0], lab2[1], lab2[2]};
    QVERIFY(std::abs(Ciede2000(one, two) - expected) < 5e-5);
    QVERIFY(std::abs(Ciede2000(two, one) - expected) < 5e-5);
}

void ScatteringChartTest::paletteKeyOrdersReadableAndApart()
{
    using orvane::kFirstScaleOrder;
    auto colour = [](int p) { return orvane::kOrderPalette[static_cast<std::size_t>(p)]; };
    const QString why = QStringLiteral("orders %1 and %2");
    // Red, blue and green stay with orders 1, 2 and 3.
    QCOMPARE(colour(1), orvane::Color{0x0000FF});
    QCOMPARE(colour(2), orvane::Color{0xFF0000});
    QCOMPARE(colour(3), orvane::Color{0x008000});

    // The chart's own colours: the white plot, the black total, the grey Airy curve and
    // the exact curve's band.
    const orvane::Color own[] = {0xFFFFFF, 0x000000, 0x707070, orvane::kExactBandColor};
    for (int p = 0; p < kFirstScaleOrder; ++p) {
        // A small point on white needs the contrast of a graphical object: 3:1.
        QVERIFY2(Contrast(colour(p), 0xFFFFFF) >= 3.0, qPrintable(QString::number(p)));
        for (const orvane::Color c : own)
            QVERIFY2(Ciede2000(colour(p), c) >= 20, qPrintable(QStringLiteral("order %1 and 0x%2").arg(p).arg(c, 6, 16)));
        for (int q = p + 1; q < kFirstScaleOrder; ++q)
            QVERIFY2(Ciede2000(colour(p), colour(q)) >= 20, qPrintable(why.arg(p).arg(q)));
    }
    // Neighbours, the scale's first colour included, also apart for the red-green blind.
    for (int p = 0; p < kFirstScaleOrder; ++p)
        for (const Vision vision : {Vision::Protanope, Vision::Deuteranope})
            QVERIFY2(Ciede2000(SeenBy(vision, colour(p)), SeenBy(vision, colour(p + 1))) >= 20,
                     qPrintable(why.arg(p).arg(p + 1)));
}

void ScatteringChartTest::paletteScaleIsContinuousInP()
{
    using orvane::kFirstScaleOrder;
    auto colour = [](int p) { return orvane::kOrderPalette[static_cast<std::size_t>(p)]; };
    // From dark to light, step by step: every order a little lighter than the one before,
    // each step small and about the same, all together a long way.
    double shortest = 1e9, longest = 0;
    for (int p = kFirstScaleOrder; p < orvane::kMaxOrder; ++p) {
        const QString which = QStringLiteral("orders %1 and %2").arg(p).arg(p + 1);
        QVERIFY2(ToLab(colour(p + 1))[0] > ToLab(colour(p))[0], qPrintable(which));
        const double step = Ciede2000(colour(p), colour(p + 1));
        shortest = std::min(shortest, step);
        longest = std::max(longest, step);
    }
    QVERIFY2(shortest >= 1.0 && longest <= 3.0 && longest <= 1.6 * shortest,
             qPrintable(QStringLiteral("steps %1..%2").arg(shortest).arg(longest)));
    QVERIFY(Ciede2000(colour(kFirstScaleOrder), colour(orvane::kMaxOrder)) >= 45);
    // Still readable on white, and never a grey.
    for (int p = kFirstScaleOrder; p <= orvane::kMaxOrder; ++p) {
        QVERIFY2(Contrast(colour(p), 0xFFFFFF) >= 2.5, qPrintable(QString::number(p)));
        const Lab lab = ToLab(colour(p));
        QVERIFY2(std::hypot(lab[1], lab[2]) >= 30, qPrintable(QString::number(p)));
    }
}

void ScatteringChartTest::legendNeverSqueezesThePlot_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("everyOrder");
    QTest::addColumn<bool>("mustShow");
    for (const bool every : {false, true}) {
        const char* listing = every ? ", every order listed" : "";
        QTest::addRow("window at its minimum%s", listing) << QSize(594, 202) << every << true;
        QTest::addRow("default chart PNG%s", listing) << QSize(519, 356) << every << true;
        QTest::addRow("window at 1280 x 900%s", listing) << QSize(1124, 698) << every << true;
        QTest::addRow("small%s", listing) << QSize(360, 150) << every << true;
        QTest::addRow("tiny%s", listing) << QSize(200, 60) << every << false;
    }
}

// Orders 0..50 with their Debye lines, the total, the Airy and the exact curve. The legend
// takes one narrow column whatever the size; what does not fit scrolls, and scrolling
// down the wheel over the legend shows every entry once, in order, the plot keeping its
// width all the while.
void ScatteringChartTest::legendNeverSqueezesThePlot()
{
    QFETCH(QSize, size);
    QFETCH(bool, everyOrder);
    QFETCH(bool, mustShow);
    ScatteringChart chart;
    chart.setListEveryOrder(everyOrder);
    chart.resize(size);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setDiagram(AllOrders());

    QStringList expected;
    for (int p = 0; p < (everyOrder ? orvane::kOrderCount : orvane::kFirstScaleOrder); ++p)
        expected << QStringLiteral("p=%1").arg(p);
    if (!everyOrder)
        expected << QString::fromUtf8("p=10\u201350");
    expected << QStringLiteral("Debye terms") << QStringLiteral("Total") << QStringLiteral("Airy")
             << QStringLiteral("Exact (Mie)");
    QCOMPARE(chart.legendEntryCount(), int(expected.size()));

    // Either the legend or, on a chart too small for three rows, a note saying so.
    QCOMPARE(chart.legend->visible(), mustShow);
    QCOMPARE(chart.legendCrowdedOut(), !mustShow);
    if (!mustShow)
        return;
    QVERIFY(QFontInfo(chart.legend->font()).pixelSize() >= ScatteringChart::kMinLegendPixels);
    const QRect plot = chart.axisRect()->rect();
    const QPointF onLegend = chart.legend->outerRect().center();
    const ScatteringChart::View view = chart.view();

    QStringList seen;
    for (int page = 0; page < 40; ++page) {
        const QRect legendRect = chart.legend->outerRect();
        QVERIFY(chart.rect().contains(legendRect));
        QVERIFY(legendRect.width() <= ScatteringChart::kLegendShare * size.width());
        QVERIFY(!plot.intersects(legendRect));       // beside the plot, over no point
        QCOMPARE(chart.axisRect()->rect(), plot);    // the same plot on every page
        std::vector<QRect> rows;
        for (int i = 0; i < chart.legend->itemCount(); ++i)
            rows.push_back(chart.legend->item(i)->outerRect());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            QVERIFY2(legendRect.contains(rows[i]), qPrintable(QString::number(i)));
            // Rows may share the blank pixel or two above and below the text, no more.
            for (std::size_t j = i + 1; j < rows.size(); ++j)
                QVERIFY2((rows[i] & rows[j]).height() <= 2, qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));
        }
        for (const QString& row : chart.legendRows())
            if (!row.endsWith(QStringLiteral(" more")) && !seen.contains(row))
                seen << row;
        if (!chart.legendScrolls() || !chart.legendRows().back().endsWith(QStringLiteral(" more")))
            break;
        QWheelEvent turn = WheelTurn(chart, onLegend, -1);
        QApplication::sendEvent(&chart, &turn);
    }
    QCOMPARE(seen, expected);
    QVERIFY(chart.view() == view);  // the wheel scrolled the legend, it did not zoom
}

// A legend too long for the chart: "more" rows say how many entries lie above and below,
// a click on one turns a page; the wheel scrolls within the list and no farther; a new
// run starts at the top again.
void ScatteringChartTest::legendScrollsByItsMoreRows()
{
    ScatteringChart chart;
    chart.setListEveryOrder(true);
    chart.resize(594, 202);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setDiagram(AllOrders());
    QVERIFY(chart.legendScrolls());
    const int count = chart.legendEntryCount();

    auto rows = [&] { return chart.legendRows(); };
    auto moreRow = [&](bool below) {
        const int i = below ? chart.legend->itemCount() - 1 : 0;
        return chart.legend->item(i)->outerRect().center();
    };
    const QString below = QString::fromUtf8("\u25BC %1 more");
    const QString above = QString::fromUtf8("\u25B2 %1 more");

    // At the top: entries from p=0, then a row for the rest.
    QStringList top = rows();
    QCOMPARE(top.front(), QStringLiteral("p=0"));
    const int shownAtTop = int(top.size()) - 1;
    QCOMPARE(top.back(), below.arg(count - shownAtTop));

    // A click on it turns a page: a row above for what scrolled away, the next entries.
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, moreRow(true));
    const int first = chart.legendFirstShown();
    QVERIFY(first > 0 && first < shownAtTop);
    QStringList page = rows();
    QCOMPARE(page.front(), above.arg(first));
    QCOMPARE(page[1], QStringLiteral("p=%1").arg(first));

    // The wheel takes it to the end and no farther: the last entries, no row below.
    for (int turn = 0; turn < 30; ++turn) {
        QWheelEvent wheel = WheelTurn(chart, chart.legend->outerRect().center(), -1);
        QApplication::sendEvent(&chart, &wheel);
    }
    QStringList end = rows();
    QCOMPARE(end.back(), QStringLiteral("Exact (Mie)"));
    QCOMPARE(end.front(), above.arg(chart.legendFirstShown()));
    QCOMPARE(chart.legendFirstShown() + int(end.size()) - 1, count);

    // And back up by the row above.
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, moreRow(false));
    QVERIFY(chart.legendFirstShown() < count - (int(end.size()) - 1));

    // Entries reached by scrolling still hide their series.
    chart.scrollLegend(count);
    const QPoint onMie = chart.legend->item(chart.legend->itemCount() - 1)->outerRect().center();
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, onMie);
    QVERIFY(!chart.mieSeries()->visible());

    chart.setDiagram(AllOrders());
    QCOMPARE(chart.legendFirstShown(), 0);
    QCOMPARE(rows().front(), QStringLiteral("p=0"));
}

// The orders of the continuous scale share one entry: a bar of their colours, lowest order
// on the left, named by their range; a click hides all of them (and only them) and
// another shows them again.
void ScatteringChartTest::scaleOrdersShareAColourBar()
{
    ScatteringChart chart;
    chart.resize(611, 372);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    DiagramSeries run = AllOrders();
    for (int p = 0; p < 12; ++p)  // orders 12..50 only
        run.orders[static_cast<std::size_t>(p)].active = false;
    chart.setDiagram(run);
    QCOMPARE(chart.legendRows().front(), QString::fromUtf8("p=12\u201350"));

    QCPAbstractLegendItem* bar = chart.scaleLegendItem();
    QVERIFY(bar != nullptr);
    const QRect icon(bar->rect().topLeft(), chart.legend->iconSize());
    const QImage image = chart.image();
    auto iconHas = [&](orvane::Color c) {
        const QRgb rgb = qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
        int x0 = -1;
        for (int x = icon.left(); x <= icon.right() + 1; ++x)
            for (int y = icon.top(); y <= icon.bottom() + 2; ++y)
                if ((image.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF) && x0 < 0)
                    x0 = x;
        return x0;
    };
    const int lowest = iconHas(orvane::kOrderPalette[12]);
    const int highest = iconHas(orvane::kOrderPalette[50]);
    QVERIFY2(lowest >= 0 && highest > lowest, qPrintable(QStringLiteral("%1 %2").arg(lowest).arg(highest)));

    const QPoint onBar = bar->outerRect().center();
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, onBar);
    for (int p = 12; p <= orvane::kMaxOrder; ++p)
        QVERIFY(!chart.orderSeries(p)->visible());
    QVERIFY(chart.totalSeries()->visible() && chart.debyeSeries(20)->visible());
    QVERIFY(bar->textColor() != QColor(Qt::black));
    // One of them shown again from its own entry: the bar is no longer all hidden, and its
    // next click hides them all.
    chart.toggleSeries(chart.orderSeries(30));
    QCOMPARE(bar->textColor(), QColor(Qt::black));
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, onBar);
    QVERIFY(!chart.orderSeries(30)->visible());
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, onBar);
    for (int p = 12; p <= orvane::kMaxOrder; ++p)
        QVERIFY(chart.orderSeries(p)->visible());

    // A lone order on the scale keeps an entry of its own; listing every order gives each one.
    for (int p = 13; p <= orvane::kMaxOrder; ++p)
        run.orders[static_cast<std::size_t>(p)].active = false;
    chart.setDiagram(run);
    QVERIFY(chart.scaleLegendItem() == nullptr);
    QCOMPARE(chart.legendRows().front(), QStringLiteral("p=12"));
    chart.setDiagram(AllOrders());
    chart.setListEveryOrder(true);
    QVERIFY(chart.scaleLegendItem() == nullptr);
    QCOMPARE(chart.legendEntryCount(), 55);
}

void ScatteringChartTest::zoomHistoryStepsBack()
{
    using View = ScatteringChart::View;
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.show();
    chart.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&chart));
    chart.setFocus();
    chart.setDiagram(ThreeOrders());
    QVERIFY(!chart.canZoomBack());
    const View full = chart.view();

    // A rectangle.
    const QPoint from = chart.totalSeries()->coordsToPixels(-100, 1).toPoint();
    const QPoint to = chart.totalSeries()->coordsToPixels(50, -1).toPoint();
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&chart, (from + to) / 2);
    QTest::mouseMove(&chart, to);
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, to);
    const View rectangle = chart.view();
    QVERIFY(!(rectangle == full));

    // Two wheel turns in a row make one step.
    const QPointF centre = chart.axisRect()->rect().center();
    for (int turn = 0; turn < 2; ++turn) {
        QWheelEvent wheel = WheelTurn(chart, centre, 1);
        QApplication::sendEvent(&chart, &wheel);
    }
    const View wheeled = chart.view();
    QVERIFY(wheeled.x.size() < rectangle.x.size());

    // A pan with the middle button: the view moves left by 40 pixels' worth, keeping its size.
    const QPoint grab = chart.axisRect()->rect().center();
    QTest::mousePress(&chart, Qt::MiddleButton, Qt::NoModifier, grab);
    QTest::mouseMove(&chart, grab + QPoint(40, 0));
    QTest::mouseRelease(&chart, Qt::MiddleButton, Qt::NoModifier, grab + QPoint(40, 0));
    const View panned = chart.view();
    QVERIFY(panned.x.lower < wheeled.x.lower);
    QVERIFY(std::abs(panned.x.size() - wheeled.x.size()) < 1e-9 * wheeled.x.size());
    QVERIFY(panned.y == wheeled.y);

    chart.resetZoom();
    QVERIFY(chart.view() == full);

    // Backspace walks back through every view, newest first, down to the full one.
    for (const View& expected : {panned, wheeled, rectangle, full}) {
        QVERIFY(chart.canZoomBack());
        QTest::keyClick(&chart, Qt::Key_Backspace);
        QVERIFY(chart.view() == expected);
    }
    QVERIFY(!chart.canZoomBack());
    QTest::keyClick(&chart, Qt::Key_Backspace);
    QVERIFY(chart.view() == full);

    // Home shows everything; a new run forgets the views of the old one.
    QWheelEvent wheel = WheelTurn(chart, centre, 2);
    QApplication::sendEvent(&chart, &wheel);
    QTest::keyClick(&chart, Qt::Key_Home);
    QVERIFY(chart.view() == full);
    QVERIFY(chart.canZoomBack());
    chart.setDiagram(ThreeOrders());
    QVERIFY(!chart.canZoomBack());
}

void ScatteringChartTest::hoverNamesThePointUntilTheViewMoves()
{
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    DiagramSeries run = ThreeOrders();
    run.orders[0].y[1] = -2.25;  // (-90°, -2.25): a point right on the total's line
    chart.setDiagram(run);
    const QLabel* hover = chart.hoverLabel();

    // The point wins over the line through it, for the read-outs of hover and click.
    int index = -1;
    QCOMPARE(chart.seriesAt(chart.totalSeries()->coordsToPixels(-90, -2.25), &index), chart.orderSeries(0));
    QCOMPARE(index, 1);
    // Beside the point, on the line, the line.
    QCOMPARE(chart.seriesAt(chart.totalSeries()->coordsToPixels(-75, -2.125), &index), chart.totalSeries());

    const QPoint onPoint = chart.orderSeries(1)->coordsToPixels(10, 1).toPoint();
    QTest::mouseMove(&chart, onPoint);
    QTRY_VERIFY(hover->isVisible());
    const QString text = hover->text();
    QVERIFY2(text.startsWith(QStringLiteral("p=1 ")), qPrintable(text));
    // Angle, log10 and linear intensity.
    for (const char* part : {"\u03B8 = 10.000\u00B0", "log\u2081\u2080 I = 1.000", "I = 1.000e+01"})
        QVERIFY2(text.contains(QString::fromUtf8(part)), qPrintable(text));
    QVERIFY(chart.rect().contains(hover->geometry()));

    // Away from every point it goes.
    QTest::mouseMove(&chart, chart.orderSeries(1)->coordsToPixels(150, 1.8).toPoint());
    QTRY_VERIFY(!hover->isVisible());

    // Back on the point, then a wheel turn: the points move, the read-out goes.
    QTest::mouseMove(&chart, onPoint);
    QTRY_VERIFY(hover->isVisible());
    QWheelEvent wheel = WheelTurn(chart, onPoint, 1);
    QApplication::sendEvent(&chart, &wheel);
    QVERIFY(!hover->isVisible());
}

namespace {

// The first field of a CSV line, unquoted.
QString FirstField(const QString& line)
{
    if (!line.startsWith(QLatin1Char('"')))
        return line.section(QLatin1Char(','), 0, 0);
    const qsizetype close = line.indexOf(QStringLiteral("\","), 1);
    return line.mid(1, close - 1).replace(QStringLiteral("\"\""), QStringLiteral("\""));
}

} // namespace

void ScatteringChartTest::dataTableHoldsTheShownSeries()
{
    WorkFolder folder;
    ScatteringChart chart;
    chart.resize(519, 356);
    DiagramSeries run = ThreeOrders();
    run.airy.title = "Airy, primary bow";  // holds the separator: quoted
    run.orders[0].y[2] = -10.0;            // at the floor: intensity 0
    chart.setDiagram(run);
    chart.toggleSeries(chart.orderSeries(2));  // hidden: not exported

    chart.saveDataAsCsv(folder.file("chart.csv"));
    QFile file(folder.file("chart.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.front(), QStringLiteral("series,angle_deg,log10_intensity,intensity"));

    // One block per shown series, in the legend's order, each point in angle order.
    QStringList blocks;
    QList<int> sizes;
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const QString title = FirstField(lines[n]);
        if (blocks.isEmpty() || blocks.back() != title) {
            blocks << title;
            sizes << 0;
        }
        ++sizes.back();
        // The linear intensity is the one the log10 stands for.
        const QStringList numbers = lines[n].mid(lines[n].lastIndexOf(QLatin1Char('"')) + 1).split(QLatin1Char(','));
        const double log10 = numbers[numbers.size() - 2].toDouble();
        const double linear = numbers.back().toDouble();
        QVERIFY2(std::abs(linear - std::max(0.0, std::pow(10.0, log10) - 1e-10)) <= 1e-6 * std::pow(10.0, log10),
                 qPrintable(lines[n]));
    }
    QCOMPARE(blocks, QStringList({"p=0", "p=1", "Total", "Airy, primary bow", "Exact (Mie)"}));
    QCOMPARE(sizes, QList<int>({4, 4, 4, 3, 3}));
    QVERIFY(lines.contains(QStringLiteral("p=1,-20.000000,-1.000000,1.000000e-01")));
    QVERIFY(lines.contains(QStringLiteral("p=0,0.000000,-10.000000,0.000000e+00")));
    QVERIFY(lines.contains(QStringLiteral("\"Airy, primary bow\",-139.000000,0.500000,3.162278e+00")));

    // The clipboard gets the same table with tabs, for a spreadsheet.
    chart.copyDataToClipboard();
    const QString copied = QApplication::clipboard()->text();
    QCOMPARE(copied, chart.dataTable(QLatin1Char('\t')));
    QVERIFY(copied.startsWith(QStringLiteral("series\tangle_deg\tlog10_intensity\tintensity\n")));
    QVERIFY(copied.contains(QStringLiteral("\nAiry, primary bow\t-139.000000\t0.500000\t3.162278e+00\n")));

    // The menu offers both beside the image export, while there is something to export.
    for (const bool any : {true, false}) {
        if (!any)
            chart.clearDiagram();
        const auto menu = chart.createContextMenu();
        for (const char* text : {"Copy data", "Save data as CSV\u2026", "Copy image", "Save image as PNG\u2026"}) {
            QAction* action = ActionNamed(*menu, QString::fromUtf8(text));
            QVERIFY2(action != nullptr, text);
            QCOMPARE(action->isEnabled(), any || QString::fromUtf8(text).contains(QStringLiteral("image")));
        }
    }

    // A name taken by a folder: the error for the user.
    QVERIFY(QDir(folder.path()).mkdir("taken.csv"));
    QVERIFY_THROWS_EXCEPTION(orvane::FileError, chart.saveDataAsCsv(folder.file("taken.csv")));
}

void ScatteringChartTest::exportsCarryTheCaption()
{
    WorkFolder folder;
    // (Its parts held together by no-break spaces, as ChartCaption makes it; the files' text
    // has plain blanks.)
    const QString plain = QString::fromUtf8("Sphere r = 50 \u00B5m \u00B7 m = 1.333 + 0i \u00B7 \u03BB = 0.6328 \u00B5m");
    const QString caption = QString(plain).replace(QStringLiteral("r = 50"), QString::fromUtf8("r\u00A0=\u00A050"));
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setDiagram(DiagramSeries{});  // nothing dark above the plot but a caption
    const QRect plot = chart.axisRect()->rect();
    const QRect strip(chart.width() / 4, 0, chart.width() / 2, 14);
    QCOMPARE(DarkPixels(chart.image(), strip), 0);

    chart.setCaption(caption);
    QVERIFY(DarkPixels(chart.image(), strip) > 30);
    QCOMPARE(chart.axisRect()->rect(), plot);  // the chart on screen has no caption

    // PNG: drawn, and in the file's text.
    chart.saveAsPng(folder.file("chart.png"));
    const QImage png(folder.file("chart.png"));
    QCOMPARE(png.size(), QSize(519, 356));
    QVERIFY(DarkPixels(png, strip) > 30);
    QCOMPARE(png.text(QStringLiteral("Title")), plain);

    // PDF: the document's title, a UTF-16 text string as PDF keeps non-Latin text.
    chart.saveAsPdf(folder.file("chart.pdf"));
    QFile pdf(folder.file("chart.pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QByteArray utf16("\xFE\xFF", 2);
    for (const QChar c : plain) {
        utf16 += static_cast<char>(c.unicode() >> 8);
        utf16 += static_cast<char>(c.unicode() & 0xFF);
    }
    QVERIFY(bytes.contains("/Title (" + utf16 + ")"));
    QCOMPARE(chart.axisRect()->rect(), plot);

    // orvane-batch's rendering draws it too, and keeps it in the image's text.
    const QImage rendered = orvane::RenderChartImage(DiagramSeries{}, 519, 356, caption);
    QVERIFY(DarkPixels(rendered, strip) > 30);
    QCOMPARE(rendered.text(QStringLiteral("Title")), plain);
    QCOMPARE(DarkPixels(orvane::RenderChartImage(DiagramSeries{}, 519, 356), strip), 0);
}

void ScatteringChartTest::captionNamesTheRun_data()
{
    QTest::addColumn<QList<double>>("radii");
    QTest::addColumn<QList<double>>("wavelengthAndIndex");
    QTest::addColumn<QList<int>>("polarAndOrders");
    QTest::addColumn<double>("incidenceDeg");
    QTest::addColumn<QString>("expected");
    QTest::newRow("water sphere") << QList<double>{50, 50, 50} << QList<double>{0.6328, 1.333, 0} << QList<int>{1, 0, 4}
                                  << 0.0
                                  << QString::fromUtf8("Sphere r = 50 \u00B5m \u00B7 m = 1.333 + 0i \u00B7 \u03BB = 0.6328 "
                                                       "\u00B5m \u00B7 perpendicular \u00B7 orders 0\u20134 \u00B7 "
                                                       "incidence 0\u00B0");
    QTest::newRow("absorbing spheroid, one order") << QList<double>{50, 50, 40} << QList<double>{0.5, 1.5, 0.01}
                                                   << QList<int>{0, 2, 2} << 30.0
                                                   << QString::fromUtf8("Spheroid a = 50, b = 50, c = 40 \u00B5m \u00B7 "
                                                                        "m = 1.5 + 0.01i \u00B7 \u03BB = 0.5 \u00B5m "
                                                                        "\u00B7 parallel \u00B7 order 2 \u00B7 "
                                                                        "incidence 30\u00B0");
    QTest::newRow("ellipsoid bubble, no order") << QList<double>{30, 40, 50} << QList<double>{0.6328, 0.75, 0}
                                                << QList<int>{1, 3, 2} << -10.0
                                                << QString::fromUtf8("Ellipsoid a = 30, b = 40, c = 50 \u00B5m \u00B7 "
                                                                     "m = 0.75 + 0i \u00B7 \u03BB = 0.6328 \u00B5m "
                                                                     "\u00B7 perpendicular \u00B7 no order \u00B7 "
                                                                     "incidence -10\u00B0");
}

void ScatteringChartTest::captionNamesTheRun()
{
    QFETCH(QList<double>, radii);
    QFETCH(QList<double>, wavelengthAndIndex);
    QFETCH(QList<int>, polarAndOrders);
    QFETCH(double, incidenceDeg);
    QFETCH(QString, expected);
    orvane::DiagramInputs in;
    orvane::ParticleInputs& P = in.particle;
    P.RadiusA = radii[0];
    P.RadiusB = radii[1];
    P.RadiusC = radii[2];
    P.Wavelength = wavelengthAndIndex[0];
    P.IndexRe = wavelengthAndIndex[1];
    P.IndexIm = wavelengthAndIndex[2];
    P.Polar = polarAndOrders[0];
    in.MinP = polarAndOrders[1];
    in.MaxP = polarAndOrders[2];
    P.IncAngle = incidenceDeg * std::numbers::pi / 180.0;  // radians, as the inputs hold it

    const QString caption = orvane::ChartCaption(in);
    QCOMPARE(QString(caption).replace(QChar(0x00A0), QLatin1Char(' ')), expected);
    // A long caption may wrap only between its parts: every plain blank follows a "·".
    const QStringList pieces = caption.split(QLatin1Char(' '));
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i)
        QVERIFY2(pieces[i].endsWith(QChar(0x00B7)), qPrintable(pieces[i]));
}

void ScatteringChartTest::staleNoticeStaysUntilTheNextRun()
{
    const QRgb fill = qRgb(0xFF, 0xF3, 0xCD);
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setDiagram(ThreeOrders());
    QVERIFY(!chart.staleNoticeShown());
    QCOMPARE(CountColour(chart.image(), fill), 0);

    const QString error = QStringLiteral("Cannot write the file \"Orvane_t.dat\".");
    chart.showStaleNotice(error);
    QVERIFY(chart.staleNoticeShown());
    // (Wrapped to the plot's width.)
    const QString shown = chart.staleNoticeText().replace(QLatin1Char('\n'), QLatin1Char(' '));
    QVERIFY2(shown.contains(QStringLiteral("The last run failed: the chart still shows the previous result.")),
             qPrintable(shown));
    QVERIFY2(shown.contains(error), qPrintable(shown));
    QVERIFY(CountColour(chart.image(), fill) > 500);
    QCOMPARE(chart.orderSeries(1)->data()->size(), 4);  // the previous result stays

    // The user's own Cancel is no failure.
    chart.showStaleNotice(QStringLiteral("Cancelled: no file was changed."), true);
    const QString cancelled = chart.staleNoticeText().replace(QLatin1Char('\n'), QLatin1Char(' '));
    QVERIFY2(cancelled.startsWith(QStringLiteral("The last run was cancelled: the chart still shows the previous result.")),
             qPrintable(cancelled));
    QVERIFY2(!cancelled.contains(QStringLiteral("failed")), qPrintable(cancelled));

    // An error longer than the plot is wide is shortened to fit it.
    chart.showStaleNotice(QString(400, QLatin1Char('x')) + QStringLiteral(" end"));
    const QFontMetrics metrics(chart.font());
    for (const QString& line : chart.staleNoticeText().split(QLatin1Char('\n')))
        QVERIFY(metrics.horizontalAdvance(line) < chart.axisRect()->width());

    // The next good run takes it away, and so does clearStaleNotice.
    chart.setDiagram(ThreeOrders());
    QVERIFY(!chart.staleNoticeShown());
    QCOMPARE(CountColour(chart.image(), fill), 0);
    chart.showStaleNotice(error);
    chart.clearStaleNotice();
    QVERIFY(!chart.staleNoticeShown());
    QVERIFY(chart.staleNoticeText().isEmpty());
}

namespace {

int DrawIndex(const ScatteringChart& chart, const QCPGraph* series)
{
    for (int i = 0; i < chart.graphCount(); ++i)
        if (chart.graph(i) == series)
            return i;
    return -1;
}

} // namespace

void ScatteringChartTest::debyeLinesFollowTheirOrders()
{
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    DiagramSeries run = ThreeOrders();
    run.debye[1] = Series("Debye p=1", 0x0000FF, {-30, 0, 30}, {0, 1.5, 0});
    run.debye[2] = Series("Debye p=2", 0xFF0000, {-145, -138, -131}, {-1.5, 0.2, -1.5});
    chart.setDiagram(run);

    for (const int p : {1, 2}) {
        const QCPGraph* line = chart.debyeSeries(p);
        QVERIFY(line->visible());
        QCOMPARE(line->name(), QStringLiteral("Debye p=%1").arg(p));
        QCOMPARE(line->lineStyle(), QCPGraph::lsLine);
        QCOMPARE(line->pen().color(), chart.orderSeries(p)->pen().color());  // its order's colour
        QVERIFY(line->pen().widthF() <= 1.0);                                 // thin
        QVERIFY(DrawIndex(chart, line) > DrawIndex(chart, chart.orderSeries(p)));  // over the points
    }
    QVERIFY(!chart.debyeSeries(0)->visible());

    // One legend entry stands for every Debye line, after the orders.
    QVERIFY(chart.debyeLegendItem() != nullptr);
    QCOMPARE(LegendNames(chart), QStringList({"p=0", "p=1", "p=2", "Total", "Airy", "Exact (Mie)"}));
    QCOMPARE(chart.legend->itemCount(), 7);

    // A click on it hides all of them (the orders stay), another shows them again.
    const QPoint onEntry = chart.debyeLegendItem()->outerRect().center();
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, onEntry);
    QVERIFY(!chart.debyeSeries(1)->visible() && !chart.debyeSeries(2)->visible());
    QVERIFY(chart.orderSeries(1)->visible() && chart.orderSeries(2)->visible());
    QVERIFY(chart.debyeLegendItem()->textColor() != QColor(Qt::black));
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, onEntry);
    QVERIFY(chart.debyeSeries(1)->visible() && chart.debyeSeries(2)->visible());
    QCOMPARE(chart.debyeLegendItem()->textColor(), QColor(Qt::black));

    // The read-outs name the line.
    int index = -1;
    QCOMPARE(chart.seriesAt(chart.debyeSeries(1)->coordsToPixels(0, 1.5), &index), chart.debyeSeries(1));
    QVERIFY(ScatteringChart::hoverText(chart.debyeSeries(1), index).startsWith(QStringLiteral("Debye p=1 ")));

    // Drawn: far more of order 1's red than its four 2 x 2 points.
    QVERIFY(CountColour(chart.image(), qRgb(255, 0, 0)) > 4 * 4 + 40);

    // A run without them: no lines, no entry.
    chart.setDiagram(ThreeOrders());
    QVERIFY(!chart.debyeSeries(1)->visible() && chart.debyeSeries(1)->data()->isEmpty());
    QVERIFY(chart.debyeLegendItem() == nullptr);
}


// A grazing ray whose transmission is rounding (1e-14) and the total's grid end that no ray
// reaches (0) sit on the floor y = -10: they stay in the series, but the full view starts at
// the lowest point above the floor. With nothing above the floor the view holds the floor.
void ScatteringChartTest::floorPointsDoNotStretchTheFullView()
{
    const double floorY = orvane::ChartIntensity(0.0);
    DiagramSeries r;
    r.orders[1] = Series("p=1", 0x0000FF, {-82.8, 0, 82.8}, {orvane::ChartIntensity(1e-14), 5, floorY});
    r.total = Series("Total", 0, {-180, 0, 179.6, 180}, {-1, 5.5, floorY, floorY});
    r.legendVisible = true;
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.setDiagram(r);
    QCOMPARE(chart.orderSeries(1)->data()->size(), 3);
    QCOMPARE(chart.totalSeries()->data()->size(), 4);
    const QCPRange y = chart.yAxis->range();
    QVERIFY2(y.lower > -1.5 && y.lower <= -1 && y.upper >= 5.5, qPrintable(QStringLiteral("%1 %2").arg(y.lower).arg(y.upper)));

    DiagramSeries dark;
    dark.orders[2] = Series("p=2", 0xFF0000, {-140, -130}, {floorY, orvane::ChartIntensity(1e-13)});
    chart.setDiagram(dark);
    QVERIFY(chart.yAxis->range().lower <= floorY && chart.yAxis->range().upper >= floorY);
}

void ScatteringChartTest::viewStaysWithinLimits_data()
{
    QTest::addColumn<int>("gesture");
    QTest::newRow("wheel out from the full view") << int(Gesture::WheelOut);
    QTest::newRow("wheel out near the right end") << int(Gesture::WheelOutNearRightEnd);
    QTest::newRow("pan past the left end") << int(Gesture::PanPastLeftEnd);
    QTest::newRow("pan past the top") << int(Gesture::PanPastTop);
    QTest::newRow("rectangle dragged past the plot") << int(Gesture::RectanglePastPlot);
}

// Wheel, pan and rectangle never take the view past -180..180 degrees nor past the data's
// intensities (once at 20 notches the wheel showed -300..300 degrees).
void ScatteringChartTest::viewStaysWithinLimits()
{
    QFETCH(int, gesture);
    using View = ScatteringChart::View;
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setDiagram(ThreeOrders());
    const View limits = chart.viewLimits();
    QCOMPARE(limits.x, QCPRange(-180, 180));
    // The data reach from -3 to 2: the limits hold them with the full view's margin.
    QVERIFY(limits.y.lower < -3 && limits.y.lower > -3.3 && limits.y.upper > 2 && limits.y.upper < 2.3);
    QVERIFY(chart.view() == chart.fullView());

    const QRect plot = chart.axisRect()->rect();
    auto wheel = [&](QPointF at, int notches) {
        for (int n = 0; n < std::abs(notches); ++n) {
            QWheelEvent turn = WheelTurn(chart, at, notches > 0 ? 1 : -1);
            QApplication::sendEvent(&chart, &turn);
        }
    };
    auto pan = [&](QPoint by) {
        const QPoint from = plot.center();
        QTest::mousePress(&chart, Qt::MiddleButton, Qt::NoModifier, from);
        QTest::mouseMove(&chart, from + by / 2);
        QTest::mouseMove(&chart, from + by);
        QTest::mouseRelease(&chart, Qt::MiddleButton, Qt::NoModifier, from + by);
    };
    wheel(plot.center(), gesture == int(Gesture::WheelOut) ? 0 : 4);  // zoomed in first
    const View zoomed = chart.view();

    switch (Gesture(gesture)) {
    case Gesture::WheelOut:
        wheel(plot.center(), -20);
        QVERIFY(chart.view() == limits);
        break;
    case Gesture::WheelOutNearRightEnd:
        // About a point at the right the view widens to the left; past -180 it is moved
        // right instead.
        wheel(QPointF(plot.right() - 2, plot.center().y()), -3);
        QCOMPARE(chart.view().x.lower, -180.0);
        QVERIFY(std::abs(chart.view().x.size() - zoomed.x.size() / std::pow(0.85, 3)) < 1e-6);
        break;
    case Gesture::PanPastLeftEnd:
        pan(QPoint(3 * plot.width(), 0));
        QCOMPARE(chart.view().x.lower, -180.0);
        QVERIFY(std::abs(chart.view().x.size() - zoomed.x.size()) < 1e-9);
        break;
    case Gesture::PanPastTop:
        pan(QPoint(0, 3 * plot.height()));
        QCOMPARE(chart.view().y.upper, limits.y.upper);
        QVERIFY(std::abs(chart.view().y.size() - zoomed.y.size()) < 1e-9);
        break;
    case Gesture::RectanglePastPlot: {
        wheel(plot.center(), -20);
        const QPoint from = plot.center();
        const QPoint to(chart.width() - 1, chart.height() - 1);
        QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(&chart, (from + to) / 2);
        QTest::mouseMove(&chart, to);
        QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, to);
        QVERIFY(chart.view().x.size() < limits.x.size());
        break;
    }
    }
    const View v = chart.view();
    QVERIFY2(v.x.lower >= limits.x.lower && v.x.upper <= limits.x.upper && v.y.lower >= limits.y.lower &&
                 v.y.upper <= limits.y.upper,
             qPrintable(QStringLiteral("%1..%2, %3..%4").arg(v.x.lower).arg(v.x.upper).arg(v.y.lower).arg(v.y.upper)));
    // Zooming out again always reaches the limits, no farther.
    wheel(plot.center(), -20);
    QVERIFY(chart.view() == limits);
}

void ScatteringChartTest::keepZoomKeepsTheViewAcrossRuns_data()
{
    QTest::addColumn<bool>("keepZoom");
    QTest::addColumn<bool>("zoomed");
    QTest::addColumn<bool>("kept");
    QTest::newRow("kept") << true << true << true;
    QTest::newRow("on, but nothing zoomed to keep") << true << false << false;
    QTest::newRow("off") << false << true << false;
}

void ScatteringChartTest::keepZoomKeepsTheViewAcrossRuns()
{
    QFETCH(bool, keepZoom);
    QFETCH(bool, zoomed);
    QFETCH(bool, kept);
    using View = ScatteringChart::View;
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    {
        // Set from the menu, as the user does.
        const auto menu = chart.createContextMenu();
        QAction* item = ActionNamed(*menu, QStringLiteral("Keep zoom"));
        QVERIFY(item != nullptr && item->isCheckable() && !item->isChecked());
        if (keepZoom)
            item->trigger();
    }
    QCOMPARE(chart.keepZoom(), keepZoom);
    QCOMPARE(ActionNamed(*chart.createContextMenu(), QStringLiteral("Keep zoom"))->isChecked(), keepZoom);
    chart.setDiagram(ThreeOrders());
    if (zoomed) {  // near the rainbow of order 2
        const QPoint from = chart.totalSeries()->coordsToPixels(-145, 0.5).toPoint();
        const QPoint to = chart.totalSeries()->coordsToPixels(-132, -1.5).toPoint();
        QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(&chart, to);
        QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, to);
    }
    const View before = chart.view();

    // The next run: brighter by two decades, its full view elsewhere.
    DiagramSeries brighter = ThreeOrders();
    for (SeriesData* s : {&brighter.orders[0], &brighter.orders[1], &brighter.orders[2], &brighter.total})
        for (double& y : s->y)
            y += 2;
    chart.setDiagram(brighter);
    QVERIFY(!(chart.fullView() == before));
    if (kept) {
        QVERIFY(chart.view() == before);
        QVERIFY(chart.canZoomBack());  // the way back from the zoom stays too
        QVERIFY(before.x.lower >= chart.viewLimits().x.lower && before.y.lower >= chart.viewLimits().y.lower);
    } else {
        QVERIFY(chart.view() == chart.fullView());
        QVERIFY(!chart.canZoomBack());
    }
}

void ScatteringChartTest::optionsRememberedBetweenSessions_data()
{
    QTest::addColumn<QString>("item");
    QTest::newRow("Keep zoom") << QStringLiteral("Keep zoom");
    QTest::newRow("List every order") << QStringLiteral("List every order");
}

// The chart of the window keeps its menu's options in the settings; orvane-batch's
// offscreen chart, which does not ask for that, keeps the defaults whatever the window chose.
void ScatteringChartTest::optionsRememberedBetweenSessions()
{
    QFETCH(QString, item);
    const QString group = QStringLiteral("chart");
    QSettings().remove(group);
    auto option = [&](const ScatteringChart& chart) {
        return item == QStringLiteral("Keep zoom") ? chart.keepZoom() : chart.listEveryOrder();
    };
    {
        ScatteringChart first;
        first.rememberOptions(group);
        QVERIFY(!option(first));
        ActionNamed(*first.createContextMenu(), item)->trigger();
        QVERIFY(option(first));
    }
    {
        ScatteringChart next;  // the next session
        next.rememberOptions(group);
        QVERIFY(option(next));
        QVERIFY(ActionNamed(*next.createContextMenu(), item)->isChecked());
        ScatteringChart offscreen;
        QVERIFY(!option(offscreen));
        // Unticked, and so remembered.
        ActionNamed(*next.createContextMenu(), item)->trigger();
        QVERIFY(!option(next));
    }
    ScatteringChart last;
    last.rememberOptions(group);
    QVERIFY(!option(last));
}

void ScatteringChartTest::copiesAndSavesSayWhatTheyDid_data()
{
    // ThreeOrders: orders of 4, 4 and 3 points, a total of 4, Airy and exact curves of 3.
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("expected");  // %1: the file's full path
    QTest::newRow("copy image") << "copy image"
                                << QString::fromUtf8("Chart image copied to the clipboard (519 \u00D7 356 pixels).");
    QTest::newRow("copy data") << "copy data"
                               << "Chart data copied to the clipboard: 6 series, 21 points, tab-separated.";
    QTest::newRow("PNG") << "chart.png" << "Chart saved as %1.";
    QTest::newRow("PDF") << "chart.pdf" << "Chart saved as %1.";
    QTest::newRow("CSV") << "chart.csv" << "Chart data saved as %1: 6 series, 21 points.";
}

// The window shows statusMessage in its status line ("Graph Copy" included); a copy that
// did not happen must not say it did.
void ScatteringChartTest::copiesAndSavesSayWhatTheyDid()
{
    QFETCH(QString, action);
    QFETCH(QString, expected);
    WorkFolder folder;
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.setDiagram(ThreeOrders());
    QApplication::clipboard()->clear();
    QSignalSpy said(&chart, &ScatteringChart::statusMessage);

    const QString file = folder.file(action);
    if (action == QStringLiteral("copy image")) {
        chart.copyToClipboard();
        QCOMPARE(QApplication::clipboard()->image().size(), QSize(519, 356));
    } else if (action == QStringLiteral("copy data")) {
        chart.copyDataToClipboard();
        QCOMPARE(QApplication::clipboard()->text(), chart.dataTable(QLatin1Char('\t')));
    } else if (action.endsWith(QStringLiteral(".png"))) {
        chart.saveAsPng(file);
    } else if (action.endsWith(QStringLiteral(".pdf"))) {
        chart.saveAsPdf(file);
    } else {
        chart.saveDataAsCsv(file);
    }
    QCOMPARE(said.count(), 1);
    if (expected.contains(QStringLiteral("%1")))
        expected = expected.arg(QDir::toNativeSeparators(file));
    QCOMPARE(said.at(0).at(0).toString(), expected);
    if (action.contains(QLatin1Char('.'))) {
        QVERIFY(QFileInfo(file).size() > 0);
        // A save that fails says nothing of the kind: the error goes to the user instead.
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("taken")));
        const QString taken = folder.file(QStringLiteral("taken"));
        if (action.endsWith(QStringLiteral(".pdf")))
            QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        QVERIFY_THROWS_EXCEPTION(orvane::FileError, action.endsWith(QStringLiteral(".png"))   ? chart.saveAsPng(taken)
                                                    : action.endsWith(QStringLiteral(".pdf")) ? chart.saveAsPdf(taken)
                                                                                              : chart.saveDataAsCsv(taken));
        QCOMPARE(said.count(), 1);
    }
}

// The grid's first and last angles (-180 and 180 degrees) that no ray reaches hold a total
// of 0. The line is not drawn down to them at the plot's edges, yet they stay in the series
// and in the exports; a zero inside the curve still takes the line down (no light there).
void ScatteringChartTest::gridEndZerosDrawNoEdgeLine()
{
    const double floorY = orvane::ChartIntensity(0.0);
    DiagramSeries r;
    r.total = Series("Total", 0, {-180, -179, -90, -1, 0, 1, 90, 179, 180}, {floorY, 3, 2, 4, floorY, 4, 2, 3, floorY});
    r.legendVisible = false;
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.setDiagram(r);
    QCOMPARE(chart.totalSeries()->dataCount(), 9);
    QVERIFY(chart.dataTable(QLatin1Char(',')).contains(QStringLiteral("Total,180.000000,-10.000000,0.000000e+00\n")));
    QVERIFY(chart.dataTable(QLatin1Char(',')).contains(QStringLiteral("Total,-180.000000,-10.000000,0.000000e+00\n")));

    const QImage image = chart.image();
    const QRect plot = chart.axisRect()->rect();
    const int belowLine = chart.totalSeries()->coordsToPixels(0, 2.5).toPoint().y();
    const int rightEnd = chart.totalSeries()->coordsToPixels(180, 0).toPoint().x();
    const int middle = chart.totalSeries()->coordsToPixels(0, 0).toPoint().x();
    auto darkBelowLine = [&](int x) { return DarkPixels(image, QRect(QPoint(x - 2, belowLine), QPoint(x + 2, plot.bottom() - 1))); };
    QCOMPARE(darkBelowLine(std::min(rightEnd, plot.right() - 2)), 0);
    QVERIFY(darkBelowLine(middle) > 20);

    // A curve with no light anywhere is drawn all along the floor.
    DiagramSeries dark;
    dark.total = Series("Total", 0, {-180, 0, 180}, {floorY, floorY, floorY});
    chart.setDiagram(dark);
    const int floorRow = chart.totalSeries()->coordsToPixels(0, floorY).toPoint().y();
    QVERIFY(DarkPixels(chart.image(), QRect(QPoint(plot.left() + 5, floorRow - 1), QPoint(plot.right() - 5, floorRow + 1))) >
            plot.width() / 2);
}

// Where the ray model and exact theory agree, the black total runs inside the exact band
// and stays plain to see: drawn over it, in a colour far from the band's.
void ScatteringChartTest::totalStaysVisibleInsideTheExactBand()
{
    DiagramSeries r;
    std::vector<double> x, y;
    for (int k = 0; k <= 720; ++k) {
        x.push_back(-180.0 + 0.5 * k);
        y.push_back(2.0 + std::sin(x.back() * std::numbers::pi / 60.0));
    }
    r.total = Series("Total", 0, x, y);
    r.mie = Series("Exact (Mie)", orvane::kExactBandColor, x, y);
    r.legendVisible = false;
    ScatteringChart chart;
    chart.resize(519, 356);
    chart.setDiagram(r);

    QVERIFY(DrawIndex(chart, chart.totalSeries()) > DrawIndex(chart, chart.mieSeries()));
    QVERIFY(chart.mieSeries()->pen().widthF() >= 3);
    QVERIFY(Contrast(ToColor(chart.mieSeries()->pen().color()), 0x000000) >= 7.0);
    QVERIFY(Contrast(ToColor(chart.mieSeries()->pen().color()), 0xFFFFFF) >= 1.8);  // the band itself seen on white

    // Across the plot, in every pixel column the black line with band on both sides of it.
    const QImage image = chart.image();
    const QRect plot = chart.axisRect()->rect();
    int columns = 0, seen = 0;
    const QRgb band = chart.mieSeries()->pen().color().rgb();
    for (int px = plot.left() + 3; px < plot.right() - 3; ++px) {
        ++columns;
        bool black = false, bandNear = false;
        for (int py = plot.top(); py < plot.bottom(); ++py) {
            const QRgb c = image.pixel(px, py) & 0xFFFFFF;
            black = black || c == 0;
            bandNear = bandNear || c == (band & 0xFFFFFF);
        }
        seen += black && bandNear ? 1 : 0;
    }
    QVERIFY2(seen >= columns * 95 / 100, qPrintable(QStringLiteral("%1 of %2").arg(seen).arg(columns)));
}

ORVANE_APP_TEST_MAIN(ScatteringChartTest)
#include "tst_scatteringchart.moc"
