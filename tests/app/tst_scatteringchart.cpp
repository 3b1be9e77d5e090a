// The scattering-diagram chart on its own: which series a run fills and shows, the order
// palette, the legend beside the plot, the mouse (legend clicks, zoom and its history,
// hover read-out), the notice of a failed run, data and image export with the caption, the
// Debye lines, and the offscreen rendering used by orvane-batch.
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

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

// sRGB (0x00BBGGRR) to CIELAB, D65.
std::array<double, 3> Lab(orvane::Color colour)
{
    auto linear = [](unsigned v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double r = linear(colour & 0xFF), g = linear((colour >> 8) & 0xFF), b = linear((colour >> 16) & 0xFF);
    const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
    const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
    auto f = [](double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : t * 24389.0 / 27.0 / 116.0 + 16.0 / 116.0; };
    return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

double DeltaE(orvane::Color a, orvane::Color b)
{
    const auto p = Lab(a), q = Lab(b);
    return std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]);
}

// WCAG contrast ratio of a colour against white.
double ContrastOnWhite(orvane::Color colour)
{
    auto linear = [](unsigned v) {
        const double c = v / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double luminance = 0.2126 * linear(colour & 0xFF) + 0.7152 * linear((colour >> 8) & 0xFF) +
                             0.0722 * linear((colour >> 16) & 0xFF);
    return 1.05 / (luminance + 0.05);
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
    void paletteTellsEveryOrderApart();
    void legendBesideThePlotIsNeverCut_data();
    void legendBesideThePlotIsNeverCut();
    void zoomHistoryStepsBack();
    void hoverNamesThePointUntilTheViewMoves();
    void dataTableHoldsTheShownSeries();
    void exportsCarryTheCaption();
    void captionNamesTheRun_data();
    void captionNamesTheRun();
    void staleNoticeStaysUntilTheNextRun();
    void debyeLinesFollowTheirOrders();
    void floorPointsDoNotStretchTheFullView();
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
    // Order colours from 0x00BBGGRR; squares without outline; total and Airy as lines.
    for (auto [p, colour] : {std::pair{1, QColor(255, 0, 0)}, std::pair{2, QColor(0, 0, 255)}}) {
        const QImage square = chart.orderSeries(p)->scatterStyle().pixmap().toImage();
        QCOMPARE(square.size(), QSize(2, 2));
        for (QPoint at : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)})
            QCOMPARE(square.pixelColor(at), colour);
    }
    QCOMPARE(chart.orderSeries(1)->lineStyle(), QCPGraph::lsNone);
    QCOMPARE(chart.totalSeries()->pen().color(), QColor(0, 0, 0));
    QCOMPARE(chart.airySeries()->pen().color(), QColor(0x70, 0x70, 0x70));
    QCOMPARE(chart.totalSeries()->lineStyle(), QCPGraph::lsLine);
    QCOMPARE(chart.mieSeries()->pen().color(), QColor(0x8B, 0, 0));
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
    // Each point is a 2 x 2 square of its order's colour; the Airy line is grey.
    QVERIFY(CountColour(image, qRgb(255, 0, 0)) >= 4 * 4);
    QVERIFY(CountColour(image, qRgb(0, 0, 255)) >= 3 * 4);
    QVERIFY(CountColour(image, qRgb(0, 255, 0)) >= 4 * 4);
    QVERIFY(CountColour(image, qRgb(0x70, 0x70, 0x70)) > 20);
    QVERIFY(CountColour(image, qRgb(0x8B, 0, 0)) > 20);

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

void ScatteringChartTest::paletteTellsEveryOrderApart()
{
    using orvane::kOrderPalette;
    // Orders 0..9 as they have always been: lime, red, blue, green, yellow, maroon, teal,
    // purple, navy, silver (0x00BBGGRR).
    const orvane::Color historical[] = {0x00FF00, 0x0000FF, 0xFF0000, 0x008000, 0x00FFFF,
                                         0x000080, 0x808000, 0x800080, 0x800000, 0xC0C0C0};
    for (int p = 0; p < 10; ++p)
        QCOMPARE(kOrderPalette[static_cast<std::size_t>(p)], historical[p]);

    // Every order apart from every other by a step the eye sees (CIE76 distance), none black.
    for (int p = 0; p < orvane::kOrderCount; ++p) {
        const orvane::Color a = kOrderPalette[static_cast<std::size_t>(p)];
        QVERIFY2(a != 0, qPrintable(QStringLiteral("order %1 is black").arg(p)));
        for (int q = p + 1; q < orvane::kOrderCount; ++q)
            QVERIFY2(DeltaE(a, kOrderPalette[static_cast<std::size_t>(q)]) >= 12,
                     qPrintable(QStringLiteral("orders %1 and %2 look alike").arg(p).arg(q)));
    }
    // The orders added to the old ten: no grey, readable on the white plot, and unlike the
    // chart's own colours (black total, grey Airy curve, dark-red exact band).
    for (int p = 10; p < orvane::kOrderCount; ++p) {
        const orvane::Color c = kOrderPalette[static_cast<std::size_t>(p)];
        const QString which = QStringLiteral("order %1").arg(p);
        QVERIFY2(!((c & 0xFF) == ((c >> 8) & 0xFF) && (c & 0xFF) == ((c >> 16) & 0xFF)), qPrintable(which));
        QVERIFY2(ContrastOnWhite(c) >= 2.3, qPrintable(which));
        for (const orvane::Color own : {0x000000u, 0x707070u, 0x00008Bu})
            QVERIFY2(DeltaE(c, own) >= 15, qPrintable(which));
    }
}

void ScatteringChartTest::legendBesideThePlotIsNeverCut_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("mustShow");
    QTest::newRow("default chart PNG") << QSize(519, 356) << true;
    QTest::newRow("window at start") << QSize(611, 372) << true;
    QTest::newRow("large") << QSize(1400, 900) << true;
    QTest::newRow("small") << QSize(360, 220) << false;
    QTest::newRow("tiny") << QSize(200, 110) << false;
}

// 51 orders with their Debye lines, the total, the Airy and the exact curve: 55 entries.
void ScatteringChartTest::legendBesideThePlotIsNeverCut()
{
    QFETCH(QSize, size);
    QFETCH(bool, mustShow);
    ScatteringChart chart;
    chart.resize(size);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setDiagram(AllOrders());

    if (mustShow) {
        QVERIFY(chart.legend->visible());
        // Readable, and the plot keeps most of the width.
        QVERIFY(QFontInfo(chart.legend->font()).pixelSize() >= 9);
        QVERIFY(chart.legend->outerRect().width() <= 0.3 * size.width());
    }
    // Either the whole legend or, on a chart too small for it, a note saying so.
    QCOMPARE(chart.legendCrowdedOut(), !chart.legend->visible());
    if (!chart.legend->visible())
        return;

    const QRect legendRect = chart.legend->outerRect();
    QVERIFY(chart.rect().contains(legendRect));
    QVERIFY(!chart.axisRect()->rect().intersects(legendRect));  // beside the plot, over no point
    std::vector<QRect> entries;
    for (int i = 0; i < chart.legend->itemCount(); ++i)
        if (QCPAbstractLegendItem* item = chart.legend->item(i))
            entries.push_back(item->outerRect());
    QCOMPARE(static_cast<int>(entries.size()), 55);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        QVERIFY2(legendRect.contains(entries[i]), qPrintable(QString::number(i)));
        // Rows may share the blank pixel or two above and below the text, no more.
        for (std::size_t j = i + 1; j < entries.size(); ++j)
            QVERIFY2((entries[i] & entries[j]).height() <= 2, qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));
    }
}

namespace {

QWheelEvent WheelTurn(const ScatteringChart& chart, QPointF at, int notches)
{
    return QWheelEvent(at, chart.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
}

} // namespace

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
    QVERIFY2(shown.contains(QStringLiteral("still shows the previous result")), qPrintable(shown));
    QVERIFY2(shown.contains(error), qPrintable(shown));
    QVERIFY(CountColour(chart.image(), fill) > 500);
    QCOMPARE(chart.orderSeries(1)->data()->size(), 4);  // the previous result stays

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

ORVANE_APP_TEST_MAIN(ScatteringChartTest)
#include "tst_scatteringchart.moc"
