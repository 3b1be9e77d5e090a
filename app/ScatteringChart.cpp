#include "app/ScatteringChart.h"

#include <algorithm>
#include <limits>
#include <utility>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>

#include "numeric/Errors.h"

namespace orvane {

namespace {

const QColor kTotalColor(0, 0, 0);
const QColor kAiryColor(0x70, 0x70, 0x70);
const QColor kMieColor(0x8B, 0, 0);  // dark red
const QColor kHiddenLegendText(160, 160, 160);

// A point series: its legend entry shows a small square of its colour (the 2 x 2 points
// themselves would hardly be seen there).
class PointSeries final : public QCPGraph {
public:
    PointSeries(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPGraph(keyAxis, valueAxis) {}

protected:
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override
    {
        const double side = std::min(rect.width(), rect.height()) * 0.75;
        const QRectF square(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
        painter->fillRect(square, pen().color());
    }
};

// The full view of an empty chart: the whole circle of angles, the intensities of the
// usual diagrams.
const QCPRange kEmptyAngleRange(-180.0, 180.0);
const QCPRange kEmptyIntensityRange(-10.0, 5.0);

// 0x00BBGGRR, red in the lowest byte.
QColor ChartColor(TColor color)
{
    return QColor(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                  static_cast<int>((color >> 16) & 0xFFu));
}

} // namespace

ScatteringChart::ScatteringChart(QWidget* parent) : QCustomPlot(parent)
{
    setBackground(QBrush(palette().color(QPalette::Light)));
    setAutoAddPlottableToLegend(false);

    // Large runs: 51 orders of 5000 points and a total of 100000. No antialiasing of the
    // series, cached tick labels, fast polylines for the total.
    setNotAntialiasedElements(QCP::aePlottables | QCP::aeScatters);
    setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
    setNoAntialiasingOnDrag(true);

    // The chart's own zoom: drag a rectangle with the left button.
    setSelectionRectMode(QCP::srmZoom);

    xAxis->setLabel(QString::fromUtf8("Scattering angle [\u00B0]"));
    yAxis->setLabel(QStringLiteral("Scattering intensity"));
    xAxis->setRange(kEmptyAngleRange);
    yAxis->setRange(kEmptyIntensityRange);
    axisRect()->setMinimumMargins(QMargins(1, 0, 1, 2));

    legend->setVisible(false);
    legend->setBrush(QBrush(Qt::white));
    legend->setIconSize(16, 8);
    legend->setRowSpacing(-2);
    legend->setFont(font());

    // Orders first, then the total, the Airy curve and the exact curve on top of them.
    for (int p = 0; p < kOrderCount; ++p) {
        QCPGraph* series = addSeries(QStringLiteral("p=%1").arg(p), true);
        series->setLineStyle(QCPGraph::lsNone);
        // Every point must be seen: no thinning of the point clouds.
        series->setAdaptiveSampling(false);
        orders_[static_cast<std::size_t>(p)] = series;
    }
    total_ = addSeries(QStringLiteral("Total"), false);
    total_->setLineStyle(QCPGraph::lsLine);
    total_->setPen(QPen(kTotalColor, 1));
    airy_ = addSeries(QStringLiteral("Airy"), false);
    airy_->setLineStyle(QCPGraph::lsLine);
    airy_->setPen(QPen(kAiryColor, 1));
    mie_ = addSeries(QStringLiteral("Exact (Mie)"), false);
    mie_->setLineStyle(QCPGraph::lsLine);
    mie_->setPen(QPen(kMieColor, 1));
}

QCPGraph* ScatteringChart::addSeries(const QString& name, bool points)
{
    // The plot takes ownership of a graph made on its axes.
    QCPGraph* series = points ? new PointSeries(xAxis, yAxis) : addGraph();
    series->setName(name);
    series->setVisible(false);
    series->setSelectable(QCP::stNone);
    return series;
}

void ScatteringChart::fillSeries(QCPGraph* series, const SeriesData& data, const QColor& color,
                                 const QString& fallbackTitle)
{
    if (!data.active) {
        series->data()->clear();
        series->setVisible(false);
        return;
    }

    const std::size_t n = std::min(data.x.size(), data.y.size());
    QVector<QCPGraphData> points(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i)
        points[static_cast<qsizetype>(i)] = QCPGraphData(data.x[i], data.y[i]);
    // Points are kept in ascending angle; the container sorts them only if the run did not.
    const bool sorted = std::is_sorted(data.x.begin(), data.x.begin() + static_cast<std::ptrdiff_t>(n));
    series->data()->set(points, sorted);

    series->setName(data.title.empty() ? fallbackTitle : QString::fromStdString(data.title));
    if (series->lineStyle() == QCPGraph::lsNone) {
        // A 2 x 2 square without outline per point, blitted from a pixmap: three times
        // faster than drawing a rectangle per point, with 255000 points in the largest run.
        series->setPen(QPen(color));
        QPixmap square(2, 2);
        square.fill(color);
        series->setScatterStyle(QCPScatterStyle(square));
    } else {
        series->setPen(QPen(color, 1));
    }
    series->setVisible(true);
}

void ScatteringChart::loadDiagram(const DiagramSeries& result)
{
    for (int p = 0; p < kOrderCount; ++p) {
        const SeriesData& data = result.orders[static_cast<std::size_t>(p)];
        fillSeries(orders_[static_cast<std::size_t>(p)], data, ChartColor(data.color), QStringLiteral("p=%1").arg(p));
    }
    fillSeries(total_, result.total, kTotalColor, QStringLiteral("Total"));
    fillSeries(airy_, result.airy, kAiryColor, QStringLiteral("Airy"));
    fillSeries(mie_, result.mie, kMieColor, QStringLiteral("Exact (Mie)"));

    rebuildLegend();
    legend->setVisible(result.legendVisible);
    resetZoomRanges();
}

void ScatteringChart::setDiagram(const DiagramSeries& result)
{
    loadDiagram(result);
    replot();
}

void ScatteringChart::clearDiagram()
{
    for (QCPGraph* series : orders_) {
        series->data()->clear();
        series->setVisible(false);
    }
    for (QCPGraph* series : {total_, airy_, mie_}) {
        series->data()->clear();
        series->setVisible(false);
    }
    legend->clearItems();
    legend->setVisible(false);
    resetZoomRanges();
    replot();
}

void ScatteringChart::rebuildLegend()
{
    legend->clearItems();
    auto add = [this](QCPGraph* series) {
        if (series->visible()) {
            series->addToLegend(legend);
            if (QCPPlottableLegendItem* item = legend->itemWithPlottable(series))
                item->setTextColor(Qt::black);
        }
    };
    for (QCPGraph* series : orders_)
        add(series);
    add(total_);
    add(airy_);
    add(mie_);
}

void ScatteringChart::resetZoomRanges()
{
    bool any = false;
    for (int i = 0; i < graphCount(); ++i)
        any = any || (graph(i)->visible() && !graph(i)->data()->isEmpty());
    if (!any) {
        xAxis->setRange(kEmptyAngleRange);
        yAxis->setRange(kEmptyIntensityRange);
        return;
    }
    rescaleAxes(true);
    // A little room above and below, so that the extreme points are not on the frame.
    const QCPRange y = yAxis->range();
    const double pad = y.size() * 0.03;
    yAxis->setRange(y.lower - pad, y.upper + pad);
}

void ScatteringChart::resetZoom()
{
    resetZoomRanges();
    replot();
}

void ScatteringChart::toggleSeries(QCPGraph* series)
{
    if (series == nullptr)
        return;
    series->setVisible(!series->visible());
    if (QCPPlottableLegendItem* item = legend->itemWithPlottable(series))
        item->setTextColor(series->visible() ? QColor(Qt::black) : kHiddenLegendText);
    replot();
}

QCPGraph* ScatteringChart::seriesAt(const QPointF& pos, int* dataIndex) const
{
    QCPGraph* nearest = nullptr;
    double nearestDistance = std::numeric_limits<double>::max();
    int nearestIndex = -1;
    // Topmost first: on equal distance the series drawn last wins.
    for (int i = graphCount() - 1; i >= 0; --i) {
        QCPGraph* series = graph(i);
        if (!series->visible() || series->data()->isEmpty())
            continue;
        QVariant details;
        const double distance = series->selectTest(pos, false, &details);
        if (distance < 0 || distance >= nearestDistance)
            continue;
        const QCPDataSelection selection = details.value<QCPDataSelection>();
        if (selection.isEmpty())
            continue;
        nearest = series;
        nearestDistance = distance;
        nearestIndex = selection.dataRange().begin();
    }
    if (nearest == nullptr || nearestDistance > selectionTolerance())
        return nullptr;
    if (dataIndex != nullptr)
        *dataIndex = nearestIndex;
    return nearest;
}

QCPGraph* ScatteringChart::legendSeriesAt(const QPointF& pos) const
{
    if (!legend->visible())
        return nullptr;
    for (int i = 0; i < legend->itemCount(); ++i) {
        auto* item = qobject_cast<QCPPlottableLegendItem*>(legend->item(i));
        if (item != nullptr && item->outerRect().contains(pos.toPoint()))
            return qobject_cast<QCPGraph*>(item->plottable());
    }
    return nullptr;
}

QImage ScatteringChart::image()
{
    return toPixmap(width(), height()).toImage();
}

void ScatteringChart::copyToClipboard()
{
    QApplication::clipboard()->setPixmap(toPixmap(width(), height()));
}

void ScatteringChart::saveAsPng(const QString& file)
{
    if (!savePng(file, width(), height()))
        throw EInOutError("Cannot write the chart to \"" + file.toStdString() + "\".");
}

void ScatteringChart::saveAsPdf(const QString& file)
{
    if (!savePdf(file, width(), height()))
        throw EInOutError("Cannot write the chart to \"" + file.toStdString() + "\".");
}

template <class Action> void ScatteringChart::guarded(Action&& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        emit actionFailed(QString::fromStdString(e.what()));
    }
}

void ScatteringChart::mousePressEvent(QMouseEvent* event)
{
    // Only the left button draws the zoom rectangle; the right one opens the menu.
    if (event->button() != Qt::LeftButton) {
        leftPressed_ = false;
        event->accept();
        return;
    }
    leftPressed_ = true;
    pressPos_ = event->pos();
    QCustomPlot::mousePressEvent(event);
}

void ScatteringChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !leftPressed_) {
        event->accept();
        return;
    }
    leftPressed_ = false;
    // The base class ends the zoom rectangle (or cancels it for a click).
    QCustomPlot::mouseReleaseEvent(event);

    const QPoint pos = event->pos();
    if ((pos - pressPos_).manhattanLength() > kClickSlop)
        return;
    if (QCPGraph* series = legendSeriesAt(pos)) {
        toggleSeries(series);
        return;
    }
    int index = -1;
    if (QCPGraph* series = seriesAt(pos, &index))
        emit seriesClicked(series, index, pos);
}

void ScatteringChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    QCustomPlot::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && legendSeriesAt(event->pos()) == nullptr)
        resetZoom();
}

void ScatteringChart::setExactTheoryQuery(std::function<ExactTheoryItem()> query)
{
    exactTheoryQuery_ = std::move(query);
}

std::unique_ptr<QMenu> ScatteringChart::createContextMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    // The disabled exact-theory item says why in its tool tip.
    menu->setToolTipsVisible(true);

    QAction* copy = menu->addAction(QStringLiteral("Copy"));
    connect(copy, &QAction::triggered, this, [this] { guarded([this] { copyToClipboard(); }); });
    QAction* png = menu->addAction(QString::fromUtf8("Save as PNG\u2026"));
    connect(png, &QAction::triggered, this, [this] {
        const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Save the chart as PNG"),
                                                          QStringLiteral("Orvane_chart.png"),
                                                          QStringLiteral("PNG images (*.png)"));
        if (!file.isEmpty())
            guarded([this, &file] { saveAsPng(file); });
    });
    QAction* pdf = menu->addAction(QString::fromUtf8("Save as PDF\u2026"));
    connect(pdf, &QAction::triggered, this, [this] {
        const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Save the chart as PDF"),
                                                          QStringLiteral("Orvane_chart.pdf"),
                                                          QStringLiteral("PDF documents (*.pdf)"));
        if (!file.isEmpty())
            guarded([this, &file] { saveAsPdf(file); });
    });
    menu->addSeparator();
    QAction* reset = menu->addAction(QStringLiteral("Reset zoom"));
    connect(reset, &QAction::triggered, this, [this] { resetZoom(); });

    if (exactTheoryQuery_) {
        const ExactTheoryItem state = exactTheoryQuery_();
        menu->addSeparator();
        QAction* exact = menu->addAction(QStringLiteral("Compare with exact theory"));
        exact->setCheckable(true);
        exact->setChecked(state.checked);
        exact->setEnabled(state.enabled);
        if (!state.enabled)
            exact->setToolTip(state.whyDisabled);
        connect(exact, &QAction::triggered, this, [this](bool checked) { emit exactTheoryToggled(checked); });
    }
    return menu;
}

void ScatteringChart::contextMenuEvent(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu = createContextMenu();
    menu->exec(event->globalPos());
    event->accept();
}

} // namespace orvane
