#include "app/ScatteringChart.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <optional>
#include <utility>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QSaveFile>
#include <QSettings>
#include <QWheelEvent>

#include "base/Errors.h"
#include "raytrace/OrderPalette.h"

namespace orvane {

namespace {

// 0x00BBGGRR, red in the lowest byte.
QColor ChartColor(Color color)
{
    return QColor(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                  static_cast<int>((color >> 16) & 0xFFu));
}

const QColor kTotalColor(0, 0, 0);
const QColor kAiryColor(0x70, 0x70, 0x70);
const QColor kMieColor(ChartColor(kExactBandColor));
const QColor kLegendText(Qt::black);
const QColor kHiddenLegendText(160, 160, 160);
const QColor kMoreRowsText(0x50, 0x50, 0x50);

// The exact curve is a pale band five pixels wide under the one-pixel black total: where
// they agree the total runs inside the band and stays plain to see, where they part both
// are seen. (A dash would not show: a curve of many points is drawn as many short
// segments, each starting a new dash; a translucent pen would darken where they overlap.)
constexpr double kMieWidth = 5.0;

// The notice of a failed run: dark amber text on a pale amber strip.
const QColor kNoticeText(0x5A, 0x32, 0x00);
const QColor kNoticeFill(0xFF, 0xF3, 0xCD);
const QColor kNoticeBorder(0xC0, 0x8A, 0x00);

// The headline of the notice, as the run ended.
QString StaleHeadline(bool cancelled)
{
    return cancelled ? QStringLiteral("The last run was cancelled: the chart still shows the previous result.")
                     : QStringLiteral("The last run failed: the chart still shows the previous result.");
}

// The full view of an empty chart: the whole circle of angles, the intensities of the
// usual diagrams.
const QCPRange kEmptyAngleRange(-180.0, 180.0);
const QCPRange kEmptyIntensityRange(-10.0, 5.0);

// Pixels a curve counts farther from the pointer than a ray point (see seriesAt).
constexpr double kPointPreference = 3.0;

// Room above and below the full view's extreme points, as a share of its height.
constexpr double kViewMargin = 0.03;

// Legend rows one notch of the wheel scrolls.
constexpr int kLegendRowsPerNotch = 3;

// A range moved, or shrunk, into the limit: the same size where it fits, else the limit.
QCPRange WithinLimit(QCPRange range, const QCPRange& limit)
{
    if (range.size() >= limit.size())
        return limit;
    if (range.lower < limit.lower)
        range += limit.lower - range.lower;
    else if (range.upper > limit.upper)
        range -= range.upper - limit.upper;
    return range;
}

QCPRange Union(const QCPRange& a, const QCPRange& b)
{
    return QCPRange(std::min(a.lower, b.lower), std::max(a.upper, b.upper));
}

// The floor of the log scale, log10(0 + 1e-10): where a curve has no light.
const double kFloor = ChartIntensity(0.0);

// Wheel turns closer together than this make one step of the zoom history.
constexpr int kWheelBurstMs = 600;
// The hover read-out looks for the point under the pointer at most this often, at the
// pointer's latest position: with 51 orders of 5000 points a test per mouse move would lag.
constexpr int kHoverDelayMs = 40;

// The intensity a chart value stands for: the inverse of y = log10(|I| + 1e-10), so that
// the floor y = -10 gives 0.
double LinearIntensity(double log10Value) { return std::max(0.0, std::pow(10.0, log10Value) - 1e-10); }

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

// A line series that is not drawn to the points on the floor of the log scale at its ends:
// the grid's first and last angles (-180 and 180 degrees) that no ray reaches would
// otherwise pull the line down the plot's frame. The points stay in the series, for the
// read-out and the data exports; a curve with no light anywhere is drawn whole.
class LineSeries final : public QCPGraph {
public:
    LineSeries(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPGraph(keyAxis, valueAxis) {}

protected:
    void getOptimizedLineData(QVector<QCPGraphData>* lineData, const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override
    {
        auto lit = mDataContainer->constBegin();
        auto litEnd = mDataContainer->constEnd();
        while (lit != litEnd && lit->value <= kFloor)
            ++lit;
        while (litEnd != lit && std::prev(litEnd)->value <= kFloor)
            --litEnd;
        if (lit == litEnd) {
            QCPGraph::getOptimizedLineData(lineData, begin, end);
            return;
        }
        const auto from = std::max(begin, lit);
        const auto to = std::min(end, litEnd);
        if (from >= to) {
            lineData->clear();
            return;
        }
        QCPGraph::getOptimizedLineData(lineData, from, to);
    }
};

// Text broken at blanks into lines no wider than width (a word longer than that stays whole;
// no-break spaces hold words together).
QString WrapToWidth(const QString& text, const QFontMetrics& metrics, int width)
{
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            lines << line;
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines.join(QLatin1Char('\n'));
}

// A CSV field: quoted when it holds the separator, a quote or a line end.
QString CsvField(const QString& text, QChar separator)
{
    if (!text.contains(separator) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

// A legend row of text beside an icon, laid out like QCustomPlot's own entries.
class TextLegendItem : public QCPAbstractLegendItem {
public:
    TextLegendItem(QCPLegend* parent, QString text) : QCPAbstractLegendItem(parent), text_(std::move(text)) {}
    const QString& text() const { return text_; }

protected:
    virtual void drawIcon(QCPPainter* painter, const QRect& icon) const = 0;

    void draw(QCPPainter* painter) override
    {
        painter->setFont(mFont);
        painter->setPen(QPen(mTextColor));
        const QSize icon = mParentLegend->iconSize();
        const QRect textRect = painter->fontMetrics().boundingRect(0, 0, 0, icon.height(), Qt::TextDontClip, text_);
        const int height = std::max(textRect.height(), icon.height());
        painter->drawText(mRect.x() + icon.width() + mParentLegend->iconTextPadding(), mRect.y(), textRect.width(),
                          height, Qt::TextDontClip, text_);
        // The icon vertically centred on the text.
        drawIcon(painter, QRect(mRect.x(), mRect.y() + (height - icon.height()) / 2, icon.width(), icon.height()));
    }

    QSize minimumOuterSizeHint() const override
    {
        const QFontMetrics metrics(mFont);
        const QSize icon = mParentLegend->iconSize();
        const QRect textRect = metrics.boundingRect(0, 0, 0, icon.height(), Qt::TextDontClip, text_);
        return QSize(icon.width() + mParentLegend->iconTextPadding() + textRect.width() + mMargins.left() +
                         mMargins.right(),
                     std::max(textRect.height(), icon.height()) + mMargins.top() + mMargins.bottom());
    }

private:
    QString text_;
};

// One legend entry for a group of series. The Debye lines: a short line in the colours of
// the first few of them. The orders of the palette's continuous scale: a bar running
// through the colours of all of them, the lowest order on the left.
class SeriesGroupLegendItem final : public TextLegendItem {
public:
    enum class Icon { Lines, ColourBar };

    SeriesGroupLegendItem(QCPLegend* parent, const QString& name, QList<QColor> colors, Icon icon)
        : TextLegendItem(parent, name), colors_(std::move(colors)), icon_(icon)
    {
    }
    Icon icon() const { return icon_; }

protected:
    void drawIcon(QCPPainter* painter, const QRect& icon) const override
    {
        const int n = static_cast<int>(colors_.size());
        if (n == 0)
            return;
        if (icon_ == Icon::Lines) {
            const int y = icon.center().y();
            for (int k = 0; k < n; ++k) {
                painter->setPen(QPen(colors_[k], 2));
                painter->drawLine(QLineF(icon.x() + icon.width() * k / n, y, icon.x() + icon.width() * (k + 1) / n, y));
            }
            return;
        }
        // One pixel column per step, the colours spread over the bar's width; on whole
        // pixels, in the orders' own colours.
        const bool antialiased = painter->antialiasing();
        painter->setAntialiasing(false);
        for (int x = 0; x < icon.width(); ++x) {
            // The first and the last column in the lowest and the highest order's colour.
            const int last = std::max(1, icon.width() - 1);
            const int k = (x * (n - 1) + last / 2) / last;
            painter->fillRect(QRect(icon.x() + x, icon.y(), 1, icon.height()), colors_[k]);
        }
        painter->setAntialiasing(antialiased);
    }

private:
    QList<QColor> colors_;
    Icon icon_;
};

// The first or last row of a legend that scrolls: how many entries lie beyond it that way;
// a click scrolls a page on.
class MoreRowsLegendItem final : public TextLegendItem {
public:
    MoreRowsLegendItem(QCPLegend* parent, int hidden, bool above)
        : TextLegendItem(parent, QString::fromUtf8(above ? "\u25B2 %1 more" : "\u25BC %1 more").arg(hidden)),
          above_(above)
    {
    }
    bool above() const { return above_; }

protected:
    void drawIcon(QCPPainter*, const QRect&) const override {}

private:
    bool above_;
};

ScatteringChart::ScatteringChart(QWidget* parent) : QCustomPlot(parent)
{
    setBackground(QBrush(palette().color(QPalette::Light)));
    setAutoAddPlottableToLegend(false);
    setMouseTracking(true);
    // A click gives the chart the focus, so that its keys (Backspace, Home) reach it.
    setFocusPolicy(Qt::ClickFocus);

    // Large runs: 51 orders of 5000 points and a total of 100000. No antialiasing of the
    // series, cached tick labels, fast polylines for the total.
    setNotAntialiasedElements(QCP::aePlottables | QCP::aeScatters);
    setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
    setNoAntialiasingOnDrag(true);

    // Rectangle zoom with the left button; the wheel zooms about the pointer.
    setSelectionRectMode(QCP::srmZoom);
    setInteraction(QCP::iRangeZoom, true);

    xAxis->setLabel(QString::fromUtf8("Scattering angle [\u00B0]"));
    yAxis->setLabel(QString::fromUtf8("log\u2081\u2080 intensity (|S|\u00B2, Mie units)"));
    xAxis->setRange(kEmptyAngleRange);
    yAxis->setRange(kEmptyIntensityRange);
    axisRect()->setMinimumMargins(QMargins(1, 0, 1, 2));

    // The plot on the left, the legend right of it (at the top of its column, above a
    // filler), so that no point is ever under the legend.
    QCPAxisRect* plot = axisRect();
    plot->insetLayout()->take(legend);
    plot->insetLayout()->simplify();
    plotLayout()->take(plot);
    plotLayout()->simplify();
    body_ = new QCPLayoutGrid;
    plotLayout()->addElement(0, 0, body_);
    body_->addElement(0, 0, plot);
    legendColumn_ = new QCPLayoutGrid;
    legendColumn_->addElement(0, 0, legend);
    legendColumn_->addElement(1, 0, new QCPLayoutElement(this));
    legendColumn_->setRowStretchFactor(0, 0.001);
    legendColumn_->setRowStretchFactor(1, 1.0);
    legendColumn_->setMargins(QMargins(0, 4, 3, 2));
    body_->setColumnSpacing(0);

    legend->setVisible(false);
    legend->setBrush(QBrush(Qt::white));
    legend->setBorderPen(QPen(QColor(0x90, 0x90, 0x90)));
    legend->setFont(font());
    // One column: rows fill downwards and never wrap into a second column.
    legend->setFillOrder(QCPLayoutGrid::foRowsFirst, false);
    legend->setWrap(0);

    // Bottom to top: the exact band, the orders' points, their Debye lines, the total and
    // the Airy curve. The total is drawn over every exact curve.
    mie_ = addSeries(QStringLiteral("Exact (Mie)"), false);
    mie_->setPen(QPen(kMieColor, kMieWidth));
    for (int p = 0; p < kOrderCount; ++p) {
        QCPGraph* series = addSeries(QStringLiteral("p=%1").arg(p), true);
        series->setLineStyle(QCPGraph::lsNone);
        // Every point must be seen: no thinning of the point clouds.
        series->setAdaptiveSampling(false);
        orders_[static_cast<std::size_t>(p)] = series;
    }
    for (int p = 0; p < kOrderCount; ++p)
        debye_[static_cast<std::size_t>(p)] = addSeries(QStringLiteral("Debye p=%1").arg(p), false);
    total_ = addSeries(QStringLiteral("Total"), false);
    total_->setPen(QPen(kTotalColor, 1));
    airy_ = addSeries(QStringLiteral("Airy"), false);
    airy_->setPen(QPen(kAiryColor, 1));

    // The notice of a failed run, across the top of the plot.
    staleNotice_ = new QCPItemText(this);
    staleNotice_->setLayer(QStringLiteral("overlay"));
    staleNotice_->position->setType(QCPItemPosition::ptAxisRectRatio);
    staleNotice_->position->setAxisRect(plot);
    staleNotice_->position->setCoords(0.5, 0.015);
    staleNotice_->setPositionAlignment(Qt::AlignTop | Qt::AlignHCenter);
    staleNotice_->setTextAlignment(Qt::AlignLeft);
    staleNotice_->setPadding(QMargins(6, 3, 6, 3));
    staleNotice_->setColor(kNoticeText);
    staleNotice_->setBrush(QBrush(kNoticeFill));
    staleNotice_->setPen(QPen(kNoticeBorder));
    staleNotice_->setSelectable(false);
    staleNotice_->setVisible(false);

    // In place of a legend that cannot fit, at the plot's bottom right (the notice of a
    // failed run has the top).
    crowdedNote_ = new QCPItemText(this);
    crowdedNote_->setLayer(QStringLiteral("overlay"));
    crowdedNote_->position->setType(QCPItemPosition::ptAxisRectRatio);
    crowdedNote_->position->setAxisRect(plot);
    crowdedNote_->position->setCoords(0.99, 0.985);
    crowdedNote_->setPositionAlignment(Qt::AlignBottom | Qt::AlignRight);
    crowdedNote_->setPadding(QMargins(4, 2, 4, 2));
    crowdedNote_->setBrush(QBrush(Qt::white));
    crowdedNote_->setPen(QPen(QColor(0x90, 0x90, 0x90)));
    crowdedNote_->setSelectable(false);
    crowdedNote_->setVisible(false);

    // Zoom keys: they act while the chart has the focus, and the menu shows them.
    zoomBackAction_ = new QAction(QStringLiteral("Zoom back"), this);
    zoomBackAction_->setShortcuts({QKeySequence(Qt::Key_Backspace), QKeySequence(QKeySequence::Back)});
    zoomBackAction_->setShortcutContext(Qt::WidgetShortcut);
    zoomBackAction_->setEnabled(false);
    connect(zoomBackAction_, &QAction::triggered, this, &ScatteringChart::zoomBack);
    addAction(zoomBackAction_);
    resetZoomAction_ = new QAction(QStringLiteral("Reset zoom"), this);
    resetZoomAction_->setShortcut(QKeySequence(Qt::Key_Home));
    resetZoomAction_->setShortcutContext(Qt::WidgetShortcut);
    connect(resetZoomAction_, &QAction::triggered, this, &ScatteringChart::resetZoom);
    addAction(resetZoomAction_);
    keepZoomAction_ = new QAction(QStringLiteral("Keep zoom"), this);
    keepZoomAction_->setCheckable(true);
    keepZoomAction_->setToolTip(QStringLiteral("A new diagram keeps the view you zoomed to."));
    connect(keepZoomAction_, &QAction::triggered, this, &ScatteringChart::setKeepZoom);
    listEveryOrderAction_ = new QAction(QStringLiteral("List every order"), this);
    listEveryOrderAction_->setCheckable(true);
    listEveryOrderAction_->setToolTip(
        QStringLiteral("A legend entry for each order from p=%1 up, instead of one colour bar.").arg(kFirstScaleOrder));
    connect(listEveryOrderAction_, &QAction::triggered, this, &ScatteringChart::setListEveryOrder);

    wheelBurst_.setSingleShot(true);
    wheelBurst_.setInterval(kWheelBurstMs);

    // The hover read-out: a label over the chart, so that showing it costs no redraw.
    hover_ = new QLabel(this);
    hover_->setAttribute(Qt::WA_TransparentForMouseEvents);
    hover_->setStyleSheet(QStringLiteral("QLabel { background: white; color: black; border: 1px solid #808080; "
                                         "padding: 1px 3px; }"));
    hover_->setVisible(false);
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(kHoverDelayMs);
    connect(&hoverTimer_, &QTimer::timeout, this, &ScatteringChart::updateHover);
    // A zoom or pan moves the points from under the read-out. Whatever moved it (wheel,
    // rectangle, pan, a step back), the view stays within its limits.
    fullView_ = limits_ = {kEmptyAngleRange, kEmptyIntensityRange};
    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this](const QCPRange& range) {
        hideHover();
        keepWithinLimits(xAxis, range);
    });
    connect(yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this](const QCPRange& range) {
        hideHover();
        keepWithinLimits(yAxis, range);
    });

    // Legend columns and notices follow the chart's size at every redraw.
    // A chart not yet shown has its size but not yet the resize event that hands it to
    // the plot: hand it over here, so that a hidden chart is laid out as it will be shown.
    connect(this, &QCustomPlot::beforeReplot, this, [this] {
        if (viewport() != this->rect())
            setViewport(this->rect());
        arrangeFor(size());
    });
}

ScatteringChart::~ScatteringChart()
{
    // Without a legend its column is out of the layout: put it back, so that the plot
    // deletes it with the rest of the layout.
    if (!body_->hasElement(0, 1))
        body_->addElement(0, 1, legendColumn_);
}

QCPGraph* ScatteringChart::addSeries(const QString& name, bool points)
{
    // The plot takes ownership of a graph made on its axes.
    QCPGraph* series = points ? static_cast<QCPGraph*>(new PointSeries(xAxis, yAxis)) : new LineSeries(xAxis, yAxis);
    series->setName(name);
    series->setVisible(false);
    series->setSelectable(QCP::stNone);
    if (!points)
        series->setLineStyle(QCPGraph::lsLine);
    return series;
}

void ScatteringChart::fillSeries(QCPGraph* series, const SeriesData& data, const QColor& color,
                                 const QString& fallbackTitle)
{
    if (!data.active) {
        series->data()->clear();
        series->setVisible(false);
        active_.erase(series);
        return;
    }
    active_.insert(series);

    const std::size_t n = std::min(data.x.size(), data.y.size());
    QVector<QCPGraphData> points(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i)
        points[static_cast<qsizetype>(i)] = QCPGraphData(data.x[i], data.y[i]);
    // Points are kept in ascending angle; the container sorts them only if the run did not.
    const bool sorted = std::is_sorted(data.x.begin(), data.x.begin() + static_cast<std::ptrdiff_t>(n));
    series->data()->set(points, sorted);

    series->setName(data.title.empty() ? fallbackTitle : QString::fromStdString(data.title));
    if (series->lineStyle() == QCPGraph::lsNone) {
        // A small square without outline per point, blitted from a pixmap: three times
        // faster than drawing a rectangle per point, with 255000 points in the largest run.
        series->setPen(QPen(color));
        QPixmap square(kPointPixels, kPointPixels);
        square.fill(color);
        series->setScatterStyle(QCPScatterStyle(square));
    } else {
        QPen pen = series->pen();
        pen.setColor(color);
        series->setPen(pen);
    }
    series->setVisible(true);
}

void ScatteringChart::loadDiagram(const DiagramSeries& result)
{
    // The view the user zoomed to, kept when asked (with nothing shown there is none).
    const bool keepView = keepZoom_ && !active_.empty() && !(view() == fullView_);
    const View kept = view();

    for (int p = 0; p < kOrderCount; ++p) {
        const auto k = static_cast<std::size_t>(p);
        fillSeries(orders_[k], result.orders[k], ChartColor(result.orders[k].color), QStringLiteral("p=%1").arg(p));
        fillSeries(debye_[k], result.debye[k], ChartColor(result.debye[k].color),
                   QStringLiteral("Debye p=%1").arg(p));
    }
    fillSeries(total_, result.total, kTotalColor, QStringLiteral("Total"));
    fillSeries(airy_, result.airy, kAiryColor, QStringLiteral("Airy"));
    fillSeries(mie_, result.mie, kMieColor, QStringLiteral("Exact (Mie)"));
    debyeLinesShown_ = true;

    legendWanted_ = result.legendVisible;
    rebuildLegend();
    staleError_.clear();
    staleNotice_->setVisible(false);
    hideHover();
    resetZoomRanges();
    if (keepView) {
        limits_ = {Union(limits_.x, kept.x), Union(limits_.y, kept.y)};
        setView(kept);
    } else {
        zoomHistory_.clear();
        zoomBackAction_->setEnabled(false);
    }
}

void ScatteringChart::setDiagram(const DiagramSeries& result)
{
    loadDiagram(result);
    replot();
}

void ScatteringChart::clearDiagram()
{
    for (int i = 0; i < graphCount(); ++i) {
        graph(i)->data()->clear();
        graph(i)->setVisible(false);
    }
    active_.clear();
    legendWanted_ = false;
    rebuildLegend();
    zoomHistory_.clear();
    zoomBackAction_->setEnabled(false);
    hideHover();
    resetZoomRanges();
    replot();
}

// ---------------------------------------------------------------------------------------
// Legend: the entries of the run, the rows shown, clicks on them.

std::vector<QCPGraph*> ScatteringChart::scaleOrderSeries() const
{
    std::vector<QCPGraph*> scale;
    for (int p = kFirstScaleOrder; p < kOrderCount; ++p)
        if (active_.count(orders_[static_cast<std::size_t>(p)]) != 0)
            scale.push_back(orders_[static_cast<std::size_t>(p)]);
    return scale;
}

void ScatteringChart::rebuildLegend()
{
    lastFit_ = {};
    legendFirst_ = 0;
    legendEntries_.clear();
    using Kind = LegendEntry::Kind;
    auto add = [this](QCPGraph* series) {
        if (active_.count(series) != 0)
            legendEntries_.push_back({Kind::Series, series});
    };
    // The orders of the continuous scale share a colour bar unless every order is listed
    // (or one alone stands there).
    const bool scaleBar = !listEveryOrder_ && scaleOrderSeries().size() >= 2;
    for (int p = 0; p < kOrderCount; ++p) {
        if (scaleBar && p == kFirstScaleOrder) {
            legendEntries_.push_back({Kind::ScaleOrders, nullptr});
            break;
        }
        add(orders_[static_cast<std::size_t>(p)]);
    }
    // One entry for all Debye lines: each is in its order's colour, and 51 more entries
    // would crowd out the orders.
    if (std::any_of(debye_.begin(), debye_.end(), [this](QCPGraph* line) { return active_.count(line) != 0; }))
        legendEntries_.push_back({Kind::DebyeLines, nullptr});
    add(total_);
    add(airy_);
    add(mie_);
    fillLegend(0, legendEntryCount(), false);
}

QCPAbstractLegendItem* ScatteringChart::makeLegendItem(const LegendEntry& entry)
{
    auto textColor = [](bool shown) { return shown ? kLegendText : kHiddenLegendText; };
    switch (entry.kind) {
    case LegendEntry::Kind::Series: {
        auto* item = new QCPPlottableLegendItem(legend, entry.series);
        item->setTextColor(textColor(entry.series->visible()));
        return item;
    }
    case LegendEntry::Kind::ScaleOrders: {
        // "p=10–50": the lowest and the highest order of the run on the scale.
        QList<QColor> colors;
        int lowest = -1, highest = -1;
        bool anyShown = false;
        for (int p = kFirstScaleOrder; p < kOrderCount; ++p) {
            const QCPGraph* series = orders_[static_cast<std::size_t>(p)];
            if (active_.count(series) == 0)
                continue;
            colors << series->pen().color();
            lowest = lowest < 0 ? p : lowest;
            highest = p;
            anyShown = anyShown || series->visible();
        }
        auto* item = new SeriesGroupLegendItem(legend, QStringLiteral("p=%1\u2013%2").arg(lowest).arg(highest),
                                               colors, SeriesGroupLegendItem::Icon::ColourBar);
        item->setTextColor(textColor(anyShown));
        return item;
    }
    case LegendEntry::Kind::DebyeLines: {
        QList<QColor> colors;
        for (const QCPGraph* line : debye_)
            if (active_.count(line) != 0 && colors.size() < 3)
                colors << line->pen().color();
        auto* item = new SeriesGroupLegendItem(legend, QStringLiteral("Debye terms"), colors,
                                               SeriesGroupLegendItem::Icon::Lines);
        item->setTextColor(textColor(debyeLinesShown_));
        return item;
    }
    }
    return nullptr;
}

// The legend's rows: count entries from the first, with a "more" row above and below where
// entries lie beyond.
void ScatteringChart::fillLegend(int first, int count, bool withMoreRows)
{
    legend->clearItems();
    const int total = legendEntryCount();
    const int last = std::min(total, first + count);
    auto addMoreRow = [this](int hidden, bool above) {
        auto* row = new MoreRowsLegendItem(legend, hidden, above);
        row->setTextColor(kMoreRowsText);
        legend->addItem(row);
    };
    if (withMoreRows && first > 0)
        addMoreRow(first, true);
    for (int i = first; i < last; ++i)
        legend->addItem(makeLegendItem(legendEntries_[static_cast<std::size_t>(i)]));
    if (withMoreRows && last < total)
        addMoreRow(total - last, false);
    // New items take the legend's font: set it again so that all follow the last fit.
    legend->setFont(legend->font());
}

namespace {

template <class Item> Item* FindLegendItem(const QCPLegend& legend, const std::function<bool(const Item&)>& match)
{
    for (int i = 0; i < legend.itemCount(); ++i)
        if (auto* item = dynamic_cast<Item*>(legend.item(i)); item != nullptr && match(*item))
            return item;
    return nullptr;
}

} // namespace

QCPAbstractLegendItem* ScatteringChart::debyeLegendItem() const
{
    return FindLegendItem<SeriesGroupLegendItem>(
        *legend, [](const SeriesGroupLegendItem& item) { return item.icon() == SeriesGroupLegendItem::Icon::Lines; });
}

QCPAbstractLegendItem* ScatteringChart::scaleLegendItem() const
{
    return FindLegendItem<SeriesGroupLegendItem>(*legend, [](const SeriesGroupLegendItem& item) {
        return item.icon() == SeriesGroupLegendItem::Icon::ColourBar;
    });
}

QStringList ScatteringChart::legendRows() const
{
    QStringList rows;
    if (!legend->visible())
        return rows;
    for (int i = 0; i < legend->itemCount(); ++i) {
        if (auto* entry = qobject_cast<QCPPlottableLegendItem*>(legend->item(i)))
            rows << entry->plottable()->name();
        else if (auto* text = dynamic_cast<TextLegendItem*>(legend->item(i)))
            rows << text->text();
    }
    return rows;
}

bool ScatteringChart::legendScrolls() const
{
    return legend->visible() && legendRoom_ < legendEntryCount();
}

void ScatteringChart::scrollLegend(int rows)
{
    if (!legendScrolls())
        return;
    // The last page: an "above" row and the last entries, no "below" row.
    const int lastFirst = std::max(0, legendEntryCount() - (legendRoom_ - 1));
    const int first = std::clamp(legendFirst_ + rows, 0, lastFirst);
    if (first == legendFirst_)
        return;
    legendFirst_ = first;
    lastFit_ = {};
    hideHover();
    replot();
}

QCPAbstractLegendItem* ScatteringChart::legendItemAt(const QPointF& pos) const
{
    if (!legend->visible())
        return nullptr;
    for (int i = 0; i < legend->itemCount(); ++i)
        if (QCPAbstractLegendItem* item = legend->item(i); item != nullptr && item->outerRect().contains(pos.toPoint()))
            return item;
    return nullptr;
}

// A click on the legend: an entry hides or shows what it stands for, a "more" row scrolls a
// page on. False when pos is on no row of it.
bool ScatteringChart::clickLegend(const QPointF& pos)
{
    QCPAbstractLegendItem* item = legendItemAt(pos);
    if (item == nullptr)
        return false;
    if (auto* more = dynamic_cast<MoreRowsLegendItem*>(item)) {
        const int page = std::max(1, legendRoom_ - 2);
        scrollLegend(more->above() ? -page : page);
    } else if (auto* series = qobject_cast<QCPPlottableLegendItem*>(item)) {
        toggleSeries(qobject_cast<QCPGraph*>(series->plottable()));
    } else if (item == debyeLegendItem()) {
        toggleDebyeLines();
    } else if (item == scaleLegendItem()) {
        toggleScaleOrders();
    }
    return true;
}

bool ScatteringChart::legendCrowdedOut() const { return crowdedNote_->visible(); }

// ---------------------------------------------------------------------------------------
// Layout: the legend's columns, the notices, the caption of exported images.

void ScatteringChart::arrangeFor(const QSize& size)
{
    fitLegend(size.width(), size.height());
    // The notices are wrapped to the plot's width: lay out at this size to know it.
    const QRect viewport = this->viewport();
    setViewport(QRect(QPoint(0, 0), size));
    updateLayout();
    // About one angle tick per 60 pixels, so that the labels never run into each other.
    xAxis->ticker()->setTickCount(std::clamp(axisRect()->width() / 60, 3, 8));
    updateStaleNoticeText();
    if (crowdedNote_->visible()) {
        const QFontMetrics metrics(crowdedNote_->font());
        const QString text = crowdedNote_->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
        crowdedNote_->setText(WrapToWidth(text, metrics, std::max(40, axisRect()->width() - 16)));
    }
    setViewport(viewport);
}

void ScatteringChart::fitLegend(int width, int height)
{
    const int count = legendEntryCount();
    const bool wanted = legendWanted_ && count > 0;
    const QCPLayoutElement* captionRow = captionElement_;  // (the size hint is public there)
    const int captionHeight = captionRow != nullptr ? captionRow->minimumOuterSizeHint().height() : 0;
    // Nothing changed since the last fit (the usual replot after a zoom): keep it.
    const LegendFit fit{width, height, captionHeight, count, legendFirst_, wanted, QFontInfo(font()).pixelSize()};
    if (fit == lastFit_)
        return;
    lastFit_ = fit;

    crowdedNote_->setVisible(false);
    auto takeOut = [this] {
        legend->setVisible(false);
        if (body_->hasElement(0, 1)) {
            body_->take(legendColumn_);
            body_->simplify();
        }
    };
    // Too small a chart for even a scrolling legend: a note instead of a cut one.
    auto crowdOut = [&] {
        takeOut();
        crowdedNote_->setFont(font());
        crowdedNote_->setText(QStringLiteral("Legend hidden: %1 entries need a larger chart").arg(count));
        crowdedNote_->setVisible(true);  // wrapped to the plot's width by arrangeFor
    };
    legendRoom_ = 0;
    if (!wanted) {
        takeOut();
        return;
    }
    if (!body_->hasElement(0, 1))
        body_->addElement(0, 1, legendColumn_);
    body_->setColumnStretchFactor(0, 1.0);
    body_->setColumnStretchFactor(1, 0.001);
    legend->setVisible(true);

    const QMargins column = legendColumn_->margins();
    const int available = height - captionHeight - column.top() - column.bottom();
    const int widest = static_cast<int>(kLegendShare * width) - column.left() - column.right();
    const int basePixels = std::max(fit.fontPixels, kMinLegendPixels);
    auto style = [this](int pixels) {
        QFont f = font();
        f.setPixelSize(pixels);
        legend->setFont(f);
        // Icons wide enough for the scale's colour bar to read as one.
        legend->setIconSize(pixels * 3 / 2 + 2, std::max(4, pixels * 2 / 3));
        legend->setRowSpacing(pixels >= 10 ? -2 : -1);
    };

    // Every entry in the largest text, from the chart's own down to kMinLegendPixels, that
    // fits the width and the height. Failing the height, the legend scrolls in the largest
    // text that fits the width; it never takes more width, nor a second column, from the plot.
    legend->setMinimumSize(0, 0);
    fillLegend(0, count, false);
    int scrollPixels = 0;
    int entriesWidth = 0;
    for (int pixels = basePixels; pixels >= kMinLegendPixels; --pixels) {
        style(pixels);
        const QSize needed = legend->minimumOuterSizeHint();
        if (needed.width() > widest)
            continue;
        if (needed.height() <= available) {
            legendRoom_ = count;
            legendFirst_ = 0;
            lastFit_.first = 0;
            return;
        }
        if (scrollPixels == 0) {
            scrollPixels = pixels;
            entriesWidth = needed.width();
        }
    }
    if (scrollPixels == 0) {
        crowdOut();
        return;
    }

    style(scrollPixels);
    int rowHeight = 0;
    for (int i = 0; i < legend->itemCount(); ++i)
        rowHeight = std::max(rowHeight, legend->item(i)->minimumOuterSizeHint().height());
    const QMargins own = legend->margins();
    const int rows = std::min(count - 1, (available - own.top() - own.bottom() + legend->rowSpacing()) /
                                             (rowHeight + legend->rowSpacing()));
    if (rows < 3) {  // no room for an entry between the two "more" rows
        crowdOut();
        return;
    }
    // The rows from the first shown: a "more" row above unless at the top, one below
    // unless the last entry is shown; the last page is full.
    legendRoom_ = rows;
    legendFirst_ = std::clamp(legendFirst_, 0, count - (rows - 1));
    lastFit_.first = legendFirst_;
    int shown = rows - (legendFirst_ > 0 ? 1 : 0);
    if (legendFirst_ + shown < count)
        --shown;
    fillLegend(legendFirst_, shown, true);
    // As wide as every entry needs, so that the plot keeps its width while the legend scrolls.
    legend->setMinimumSize(std::min(widest, std::max(entriesWidth, legend->minimumOuterSizeHint().width())) -
                               own.left() - own.right(),
                           0);
}

void ScatteringChart::updateStaleNoticeText()
{
    if (!staleNotice_->visible())
        return;
    // Wrapped to the plot's width; an error of more than three lines loses its middle.
    const QFontMetrics metrics(staleNotice_->font());
    const QMargins padding = staleNotice_->padding();
    const int width = std::max(40, axisRect()->width() - padding.left() - padding.right() - 8);
    QStringList lines = WrapToWidth(StaleHeadline(staleCancelled_), metrics, width).split(QLatin1Char('\n'));
    QStringList error = WrapToWidth(staleError_, metrics, width).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (error.size() > 3)
        error = {error.front(), metrics.elidedText(error.mid(1).join(QLatin1Char(' ')), Qt::ElideMiddle, width)};
    lines << error;
    for (QString& line : lines)
        line = metrics.elidedText(line, Qt::ElideRight, width);  // a word wider than the plot
    staleNotice_->setText(lines.join(QLatin1Char('\n')));
}

void ScatteringChart::showStaleNotice(const QString& error, bool cancelled)
{
    staleError_ = error.simplified();
    staleCancelled_ = cancelled;
    staleNotice_->setFont(font());
    staleNotice_->setVisible(true);
    replot();
}

void ScatteringChart::clearStaleNotice()
{
    if (!staleNotice_->visible())
        return;
    staleNotice_->setVisible(false);
    staleError_.clear();
    replot();
}

bool ScatteringChart::staleNoticeShown() const { return staleNotice_->visible(); }

QString ScatteringChart::staleNoticeText() const { return staleNotice_->visible() ? staleNotice_->text() : QString(); }

void ScatteringChart::setCaption(const QString& caption) { caption_ = caption.trimmed(); }

// The caption goes above the plot for one export, wrapped to the image's width, and leaves
// even if the drawing fails; the layout is then that of the chart on screen again.
struct ScatteringChart::CaptionScope {
    ScatteringChart& chart;

    CaptionScope(ScatteringChart& c, int width) : chart(c)
    {
        if (chart.caption_.isEmpty())
            return;
        QFont f = chart.font();
        f.setPixelSize(std::max(QFontInfo(f).pixelSize() - 1, kMinLegendPixels));
        const QString text = WrapToWidth(chart.caption_, QFontMetrics(f), std::max(40, width - 12));
        chart.captionElement_ = new QCPTextElement(&chart, text, f);
        chart.captionElement_->setTextColor(QColor(0x20, 0x20, 0x20));
        chart.captionElement_->setMargins(QMargins(6, 4, 6, 0));
        chart.plotLayout()->insertRow(0);
        chart.plotLayout()->addElement(0, 0, chart.captionElement_);
    }
    ~CaptionScope()
    {
        if (chart.captionElement_ != nullptr) {
            chart.plotLayout()->remove(chart.captionElement_);
            chart.plotLayout()->simplify();
            chart.captionElement_ = nullptr;
        }
        chart.arrangeFor(chart.size());
    }
    CaptionScope(const CaptionScope&) = delete;
    CaptionScope& operator=(const CaptionScope&) = delete;
};

QPixmap ScatteringChart::exportPixmap(int width, int height)
{
    const CaptionScope caption(*this, width);
    arrangeFor(QSize(width, height));
    return toPixmap(width, height);
}

// ---------------------------------------------------------------------------------------
// Zoom.

// The full view of the shown series, and the limits of every view around it.
void ScatteringChart::resetZoomRanges()
{
    limitsOn_ = false;
    bool any = false;
    for (int i = 0; i < graphCount(); ++i)
        any = any || (graph(i)->visible() && !graph(i)->data()->isEmpty());
    if (!any) {
        xAxis->setRange(kEmptyAngleRange);
        yAxis->setRange(kEmptyIntensityRange);
    } else {
        rescaleAxes(true);
        // Points on the floor of the log scale stay drawn but do not pull the range down to
        // it, unless nothing lies above the floor.
        QCPRange y = yAxis->range();
        if (const std::optional<double> lowest = lowestAboveFloor(); lowest && *lowest < y.upper)
            y.lower = std::max(y.lower, *lowest);
        // A little room above and below, so that the extreme points are not on the frame.
        const double pad = y.size() * kViewMargin;
        yAxis->setRange(y.lower - pad, y.upper + pad);
    }
    fullView_ = view();
    updateViewLimits();
    limitsOn_ = true;
}

// No view goes past the whole circle of angles, nor past the intensities of the run (its
// hidden series and the floor of the log scale included, with the full view's margin): a
// zoom out stops where there is nothing more to see.
void ScatteringChart::updateViewLimits()
{
    QCPRange x = Union(kEmptyAngleRange, fullView_.x);
    QCPRange y = fullView_.y;
    for (const QCPGraph* series : active_) {
        bool found = false;
        const QCPRange keys = series->getKeyRange(found);
        if (!found)
            continue;
        x = Union(x, keys);
        const QCPRange values = series->getValueRange(found);
        const double pad = values.size() * kViewMargin;
        y = Union(y, QCPRange(values.lower - pad, values.upper + pad));
    }
    limits_ = {x, y};
}

void ScatteringChart::keepWithinLimits(QCPAxis* axis, const QCPRange& range)
{
    if (!limitsOn_)
        return;
    const QCPRange within = WithinLimit(range, axis == xAxis ? limits_.x : limits_.y);
    if (within != range)
        axis->setRange(within);  // (reported again, and then within the limits)
}

// The lowest value of the visible graphs above the floor y = -10 of log10(|I| + 1e-10):
// an intensity below about 1e-11 is no light a log scale can show (a grazing ray whose
// transmission is rounding, the angles at the grid's end that no ray reaches), and a few
// such points would otherwise take half the chart's height.
std::optional<double> ScatteringChart::lowestAboveFloor() const
{
    constexpr double kAboveFloor = -9.9;
    std::optional<double> lowest;
    for (int i = 0; i < graphCount(); ++i) {
        const QCPGraph* g = graph(i);
        if (!g->visible())
            continue;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            if (it->value > kAboveFloor && (!lowest || it->value < *lowest))
                lowest = it->value;
    }
    return lowest;
}

void ScatteringChart::resetZoom()
{
    const View before = view();
    resetZoomRanges();
    if (!(view() == before))
        rememberView(before);
    replot();
}

void ScatteringChart::rememberView(const View& before)
{
    if (!zoomHistory_.empty() && zoomHistory_.back() == before)
        return;
    zoomHistory_.push_back(before);
    if (zoomHistory_.size() > static_cast<std::size_t>(kZoomHistoryDepth))
        zoomHistory_.erase(zoomHistory_.begin());
    zoomBackAction_->setEnabled(true);
}

void ScatteringChart::setView(const View& v)
{
    xAxis->setRange(v.x);
    yAxis->setRange(v.y);
}

void ScatteringChart::zoomBack()
{
    if (zoomHistory_.empty())
        return;
    setView(zoomHistory_.back());
    zoomHistory_.pop_back();
    zoomBackAction_->setEnabled(!zoomHistory_.empty());
    replot();
}

void ScatteringChart::setKeepZoom(bool keep)
{
    keepZoom_ = keep;
    keepZoomAction_->setChecked(keep);
    saveOption("keepZoom", keep);
}

void ScatteringChart::setListEveryOrder(bool every)
{
    listEveryOrderAction_->setChecked(every);
    saveOption("listEveryOrder", every);
    if (every == listEveryOrder_)
        return;
    listEveryOrder_ = every;
    rebuildLegend();
    replot();
}

void ScatteringChart::rememberOptions(const QString& settingsGroup)
{
    settingsGroup_.clear();  // nothing is written back while the options are read
    QSettings settings;
    settings.beginGroup(settingsGroup);
    const bool keep = settings.value(QStringLiteral("keepZoom"), false).toBool();
    const bool every = settings.value(QStringLiteral("listEveryOrder"), false).toBool();
    settings.endGroup();
    setKeepZoom(keep);
    setListEveryOrder(every);
    settingsGroup_ = settingsGroup;
}

void ScatteringChart::saveOption(const char* key, bool value) const
{
    if (settingsGroup_.isEmpty())
        return;
    QSettings settings;
    settings.beginGroup(settingsGroup_);
    settings.setValue(QLatin1String(key), value);
}

// ---------------------------------------------------------------------------------------
// Series, legend entries and points under the mouse.

void ScatteringChart::toggleSeries(QCPGraph* series)
{
    if (series == nullptr)
        return;
    series->setVisible(!series->visible());
    seriesShownOrHidden();
}

void ScatteringChart::toggleDebyeLines()
{
    debyeLinesShown_ = !debyeLinesShown_;
    for (QCPGraph* series : debye_)
        if (active_.count(series) != 0)
            series->setVisible(debyeLinesShown_);
    seriesShownOrHidden();
}

void ScatteringChart::toggleScaleOrders()
{
    const std::vector<QCPGraph*> scale = scaleOrderSeries();
    const bool show = std::none_of(scale.begin(), scale.end(), [](const QCPGraph* s) { return s->visible(); });
    for (QCPGraph* series : scale)
        series->setVisible(show);
    seriesShownOrHidden();
}

// The legend's rows grey out for what is hidden; the chart is redrawn.
void ScatteringChart::seriesShownOrHidden()
{
    for (int i = 0; i < legend->itemCount(); ++i) {
        QCPAbstractLegendItem* item = legend->item(i);
        bool shown = true;
        if (auto* entry = qobject_cast<QCPPlottableLegendItem*>(item)) {
            shown = entry->plottable()->visible();
        } else if (item != nullptr && item == debyeLegendItem()) {
            shown = debyeLinesShown_;
        } else if (item != nullptr && item == scaleLegendItem()) {
            const std::vector<QCPGraph*> scale = scaleOrderSeries();
            shown = std::any_of(scale.begin(), scale.end(), [](const QCPGraph* s) { return s->visible(); });
        } else {
            continue;  // a "more" row
        }
        item->setTextColor(shown ? kLegendText : kHiddenLegendText);
    }
    hideHover();
    replot();
}

QCPGraph* ScatteringChart::seriesAt(const QPointF& pos, int* dataIndex) const
{
    QCPGraph* nearest = nullptr;
    double nearestScore = std::numeric_limits<double>::max();
    int nearestIndex = -1;
    // Topmost first: on equal distance the series drawn last wins. A ray point under the
    // pointer wins over a curve passing just as near (the curves run through the point
    // clouds): a curve counts kPointPreference pixels farther than it is.
    for (int i = graphCount() - 1; i >= 0; --i) {
        QCPGraph* series = graph(i);
        if (!series->visible() || series->data()->isEmpty())
            continue;
        QVariant details;
        const double distance = series->selectTest(pos, false, &details);
        if (distance < 0 || distance > selectionTolerance())
            continue;
        const double score = distance + (series->lineStyle() == QCPGraph::lsNone ? 0.0 : kPointPreference);
        if (score >= nearestScore)
            continue;
        const QCPDataSelection selection = details.value<QCPDataSelection>();
        if (selection.isEmpty())
            continue;
        nearest = series;
        nearestScore = score;
        nearestIndex = selection.dataRange().begin();
    }
    if (nearest == nullptr)
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

QString ScatteringChart::hoverText(const QCPGraph* series, int dataIndex)
{
    if (series == nullptr || dataIndex < 0 || dataIndex >= series->dataCount())
        return QString();
    const QCPGraphData& point = *series->data()->at(dataIndex);
    return QString::fromUtf8("%1   \u03B8 = %2\u00B0   log\u2081\u2080 I = %3   I = %4")
        .arg(series->name())
        .arg(point.key, 0, 'f', 3)
        .arg(point.value, 0, 'f', 3)
        .arg(LinearIntensity(point.value), 0, 'e', 3);
}

void ScatteringChart::updateHover()
{
    int index = -1;
    QCPGraph* series = rect().contains(hoverPos_) && !panning_ ? seriesAt(hoverPos_, &index) : nullptr;
    if (series == nullptr) {
        hideHover();
        return;
    }
    hover_->setText(hoverText(series, index));
    hover_->adjustSize();
    // Above and right of the pointer, inside the chart.
    QPoint at = hoverPos_ + QPoint(12, -hover_->height() - 6);
    at.setX(std::clamp(at.x(), 0, std::max(0, width() - hover_->width())));
    if (at.y() < 0)
        at.setY(hoverPos_.y() + 18);
    at.setY(std::clamp(at.y(), 0, std::max(0, height() - hover_->height())));
    hover_->move(at);
    hover_->setVisible(true);
    hover_->raise();
}

void ScatteringChart::hideHover()
{
    hoverTimer_.stop();
    hover_->setVisible(false);
}

// ---------------------------------------------------------------------------------------
// Export of data and images.

std::vector<const QCPGraph*> ScatteringChart::shownSeries() const
{
    std::vector<const QCPGraph*> shown;
    auto take = [&shown](const QCPGraph* series) {
        if (series->visible() && !series->data()->isEmpty())
            shown.push_back(series);
    };
    for (const QCPGraph* series : orders_)
        take(series);
    for (const QCPGraph* series : debye_)
        take(series);
    take(total_);
    take(airy_);
    take(mie_);
    return shown;
}

QString ScatteringChart::dataTable(QChar separator) const
{
    QString table;
    const QString sep(separator);
    table += QStringLiteral("series") + sep + QStringLiteral("angle_deg") + sep + QStringLiteral("log10_intensity") +
             sep + QStringLiteral("intensity") + QLatin1Char('\n');
    for (const QCPGraph* series : shownSeries()) {
        const QString title = CsvField(series->name(), separator);
        table.reserve(table.size() + series->dataCount() * (title.size() + 40));
        for (auto it = series->data()->constBegin(); it != series->data()->constEnd(); ++it) {
            table += title;
            table += sep;
            table += QString::number(it->key, 'f', 6);
            table += sep;
            table += QString::number(it->value, 'f', 6);
            table += sep;
            table += QString::number(LinearIntensity(it->value), 'e', 6);
            table += QLatin1Char('\n');
        }
    }
    return table;
}

namespace {

// "3 series, 1204 points": what a data export holds.
QString SeriesAndPoints(const std::vector<const QCPGraph*>& series)
{
    int points = 0;
    for (const QCPGraph* s : series)
        points += s->dataCount();
    return QStringLiteral("%1 series, %2 points").arg(series.size()).arg(points);
}

QString Shown(const QString& file) { return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()); }

} // namespace

void ScatteringChart::copyDataToClipboard()
{
    // Tab-separated: a spreadsheet spreads it over columns when pasted.
    const QString table = dataTable(QLatin1Char('\t'));
    QApplication::clipboard()->setText(table);
    if (QApplication::clipboard()->text() != table)
        throw OrvaneError("The chart's data could not be copied: the clipboard did not take it.");
    emit statusMessage(QStringLiteral("Chart data copied to the clipboard: %1, tab-separated.")
                           .arg(SeriesAndPoints(shownSeries())));
}

void ScatteringChart::saveDataAsCsv(const QString& file)
{
    QSaveFile out(file);
    const QByteArray bytes = dataTable(QLatin1Char(',')).toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw FileError("Cannot write the data to \"" + file.toStdString() + "\".");
    emit statusMessage(QStringLiteral("Chart data saved as %1: %2.").arg(Shown(file), SeriesAndPoints(shownSeries())));
}

QImage ScatteringChart::image()
{
    return exportPixmap(width(), height()).toImage();
}

void ScatteringChart::copyToClipboard()
{
    const QPixmap picture = exportPixmap(width(), height());
    QApplication::clipboard()->setPixmap(picture);
    if (!QApplication::clipboard()->mimeData()->hasImage())
        throw OrvaneError("The chart could not be copied: the clipboard did not take the image.");
    emit statusMessage(QStringLiteral("Chart image copied to the clipboard (%1 \u00D7 %2 pixels).")
                           .arg(picture.width())
                           .arg(picture.height()));
}

void ScatteringChart::saveAsPng(const QString& file)
{
    QImage picture = image();
    if (!caption_.isEmpty())
        picture.setText(QStringLiteral("Title"), captionText());
    if (!picture.save(file, "PNG"))
        throw FileError("Cannot write the chart to \"" + file.toStdString() + "\".");
    emit statusMessage(QStringLiteral("Chart saved as %1.").arg(Shown(file)));
}

void ScatteringChart::saveAsPdf(const QString& file)
{
    bool saved = false;
    {
        const CaptionScope caption(*this, width());
        arrangeFor(size());
        saved = savePdf(file, width(), height(), QCP::epAllowCosmetic, QStringLiteral("Orvane"), captionText());
    }
    if (!saved)
        throw FileError("Cannot write the chart to \"" + file.toStdString() + "\".");
    emit statusMessage(QStringLiteral("Chart saved as %1.").arg(Shown(file)));
}

template <class Action> void ScatteringChart::guarded(Action&& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        emit actionFailed(QString::fromStdString(e.what()));
    }
}

// ---------------------------------------------------------------------------------------
// Mouse and menu.

void ScatteringChart::mousePressEvent(QMouseEvent* event)
{
    hideHover();
    // The middle button, or Shift with the left one, pans.
    const bool pan = event->button() == Qt::MiddleButton ||
                     (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
    if (pan) {
        panning_ = true;
        leftPressed_ = false;
        panFrom_ = event->pos();
        panStart_ = view();
        event->accept();
        return;
    }
    // Only the left button draws the zoom rectangle; the right one opens the menu.
    if (event->button() != Qt::LeftButton) {
        leftPressed_ = false;
        event->accept();
        return;
    }
    leftPressed_ = true;
    pressPos_ = event->pos();
    viewAtPress_ = view();
    QCustomPlot::mousePressEvent(event);
}

void ScatteringChart::mouseMoveEvent(QMouseEvent* event)
{
    if (panning_) {
        const QPoint moved = event->pos() - panFrom_;
        const QRect plot = axisRect()->rect();
        if (plot.width() > 0 && plot.height() > 0) {
            const double dx = -moved.x() * panStart_.x.size() / plot.width();
            const double dy = moved.y() * panStart_.y.size() / plot.height();
            setView({panStart_.x + dx, panStart_.y + dy});
            replot(rpQueuedReplot);
        }
        event->accept();
        return;
    }
    if (event->buttons() == Qt::NoButton) {
        hoverPos_ = event->pos();
        if (!hoverTimer_.isActive())
            hoverTimer_.start();
    }
    QCustomPlot::mouseMoveEvent(event);
}

void ScatteringChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (panning_) {
        if (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton) {
            panning_ = false;
            if (!(view() == panStart_))
                rememberView(panStart_);
        }
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton || !leftPressed_) {
        event->accept();
        return;
    }
    leftPressed_ = false;
    // The base class ends the zoom rectangle (or cancels it for a click).
    QCustomPlot::mouseReleaseEvent(event);
    if (!(view() == viewAtPress_))
        rememberView(viewAtPress_);

    const QPoint pos = event->pos();
    if ((pos - pressPos_).manhattanLength() > kClickSlop)
        return;
    if (clickLegend(pos))
        return;
    int index = -1;
    if (QCPGraph* series = seriesAt(pos, &index))
        emit seriesClicked(series, index, pos);
}

void ScatteringChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    QCustomPlot::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && legendItemAt(event->pos()) == nullptr)
        resetZoom();
}

void ScatteringChart::wheelEvent(QWheelEvent* event)
{
    // Over a legend that scrolls, the wheel scrolls it.
    if (legendScrolls() && legend->outerRect().contains(event->position().toPoint())) {
        const int notches = event->angleDelta().y() / 120;
        if (notches != 0)
            scrollLegend(-notches * kLegendRowsPerNotch);
        event->accept();
        return;
    }
    const View before = view();
    QCustomPlot::wheelEvent(event);
    if (view() == before)
        return;
    if (!wheelBurst_.isActive())
        rememberView(before);
    wheelBurst_.start();
}

void ScatteringChart::leaveEvent(QEvent* event)
{
    hideHover();
    QCustomPlot::leaveEvent(event);
}

void ScatteringChart::setExactTheoryQuery(std::function<ExactTheoryItem()> query)
{
    exactTheoryQuery_ = std::move(query);
}

void ScatteringChart::setDebyeTermsQuery(std::function<ExactTheoryItem()> query)
{
    debyeTermsQuery_ = std::move(query);
}

std::unique_ptr<QMenu> ScatteringChart::createContextMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    // The disabled exact-theory items say why in their tool tips.
    menu->setToolTipsVisible(true);

    QAction* copy = menu->addAction(QStringLiteral("Copy image"));
    connect(copy, &QAction::triggered, this, [this] { guarded([this] { copyToClipboard(); }); });
    QAction* png = menu->addAction(QString::fromUtf8("Save image as PNG\u2026"));
    connect(png, &QAction::triggered, this, [this] {
        const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Save the chart as PNG"),
                                                          QStringLiteral("Orvane_chart.png"),
                                                          QStringLiteral("PNG images (*.png)"));
        if (!file.isEmpty())
            guarded([this, &file] { saveAsPng(file); });
    });
    QAction* pdf = menu->addAction(QString::fromUtf8("Save image as PDF\u2026"));
    connect(pdf, &QAction::triggered, this, [this] {
        const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Save the chart as PDF"),
                                                          QStringLiteral("Orvane_chart.pdf"),
                                                          QStringLiteral("PDF documents (*.pdf)"));
        if (!file.isEmpty())
            guarded([this, &file] { saveAsPdf(file); });
    });
    menu->addSeparator();
    const bool anyData = !shownSeries().empty();
    QAction* copyData = menu->addAction(QStringLiteral("Copy data"));
    copyData->setEnabled(anyData);
    connect(copyData, &QAction::triggered, this, [this] { guarded([this] { copyDataToClipboard(); }); });
    QAction* csv = menu->addAction(QString::fromUtf8("Save data as CSV\u2026"));
    csv->setEnabled(anyData);
    connect(csv, &QAction::triggered, this, [this] {
        const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Save the shown series as CSV"),
                                                          QStringLiteral("Orvane_chart.csv"),
                                                          QStringLiteral("CSV files (*.csv)"));
        if (!file.isEmpty())
            guarded([this, &file] { saveDataAsCsv(file); });
    });
    menu->addSeparator();
    menu->addAction(zoomBackAction_);
    menu->addAction(resetZoomAction_);
    menu->addAction(keepZoomAction_);
    menu->addAction(listEveryOrderAction_);

    auto addCompare = [this, &menu](const std::function<ExactTheoryItem()>& query, const QString& text,
                                    void (ScatteringChart::*toggled)(bool)) {
        if (!query)
            return;
        const ExactTheoryItem state = query();
        QAction* item = menu->addAction(text);
        item->setCheckable(true);
        item->setChecked(state.checked);
        item->setEnabled(state.enabled);
        if (!state.enabled)
            item->setToolTip(state.whyDisabled);
        connect(item, &QAction::triggered, this, [this, toggled](bool checked) { emit (this->*toggled)(checked); });
    };
    if (exactTheoryQuery_ || debyeTermsQuery_)
        menu->addSeparator();
    addCompare(exactTheoryQuery_, QStringLiteral("Compare with exact theory"), &ScatteringChart::exactTheoryToggled);
    addCompare(debyeTermsQuery_, QStringLiteral("Compare orders with exact Debye terms"),
               &ScatteringChart::debyeTermsToggled);
    return menu;
}

void ScatteringChart::contextMenuEvent(QContextMenuEvent* event)
{
    hideHover();
    const std::unique_ptr<QMenu> menu = createContextMenu();
    menu->exec(event->globalPos());
    event->accept();
}

} // namespace orvane
