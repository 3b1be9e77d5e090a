// The scattering-diagram chart on its own: which series a run fills and shows, the legend,
// the mouse (legend clicks, rectangle zoom and back), saving and the offscreen rendering
// used by orvane-batch.
#include <QDir>
#include <QFile>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QTest>

#include <vector>

#include "AppTestSupport.h"
#include "app/ChartRender.h"
#include "app/ScatteringChart.h"
#include "numeric/Errors.h"

using orvane::DiagramSeries;
using orvane::ScatteringChart;
using orvane::SeriesData;
using orvane::test::WorkFolder;

namespace {

SeriesData Series(const char* title, orvane::TColor color, std::vector<double> x, std::vector<double> y)
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
    QVERIFY_THROWS_EXCEPTION(orvane::EInOutError, chart.saveAsPng(folder.file("taken.png")));
    QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
    QVERIFY_THROWS_EXCEPTION(orvane::EInOutError, chart.saveAsPdf(folder.file("taken.pdf")));
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
    const QString item = QStringLiteral("Compare with exact theory");
    ScatteringChart chart;
    // Without an owner to answer (the offscreen chart), no such item.
    QVERIFY(ActionNamed(*chart.createContextMenu(), item) == nullptr);
    QVERIFY(ActionNamed(*chart.createContextMenu(), QStringLiteral("Reset zoom")) != nullptr);

    ScatteringChart::ExactTheoryItem answer;
    int asked = 0;
    chart.setExactTheoryQuery([&] {
        ++asked;
        return answer;
    });
    std::vector<bool> toggles;
    QObject::connect(&chart, &ScatteringChart::exactTheoryToggled, [&](bool on) { toggles.push_back(on); });

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

ORVANE_APP_TEST_MAIN(ScatteringChartTest)
#include "tst_scatteringchart.moc"
