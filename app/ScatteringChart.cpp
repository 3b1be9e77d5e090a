#include "app/ScatteringChart.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QSaveFile>
#include <QWheelEvent>

#include "base/Errors.h"

namespace orvane {

namespace {

const QColor kTotalColor(0, 0, 0);
const QColor kAiryColor(0x70, 0x70, 0x70);
const QColor kMieColor(0x8B, 0, 0);  // dark red
const QColor kLegendText(Qt::black);
const QColor kHiddenLegendText(160, 160, 160);

// The exact curve is a band three pixels wide under the one-pixel total: where they agree
// the total runs inside the band, where they part both are seen. (A dash would not show:
// a curve of many points is drawn as many short segments, each starting a new dash.)
constexpr double kMieWidth = 3.0;

// The notice of a failed run: dark amber text on a pale amber strip.
const QColor kNoticeText(0x5A, 0x32, 0x00);
const QColor kNoticeFill(0xFF, 0xF3, 0xCD);
const QColor kNoticeBorder(0xC0, 0x8A, 0x00);

const QString kStaleHeadline =
    QStringLiteral("The last run failed: the chart still shows the previous result.");

// The full view of an empty chart: the whole circle of angles, the intensities of the
// usual diagrams.
const QCPRange kEmptyAngleRange(-180.0, 180.0);
const QCPRange kEmptyIntensityRange(-10.0, 5.0);

// Pixels a curve counts farther from the pointer than a ray point (see seriesAt).
constexpr double kPointPreference = 3.0;

// Wheel turns closer together than this make one step of the zoom history.
constexpr int kWheelBurstMs = 600;
// The hover read-out looks for the point under the pointer at most this often, at the
// pointer's latest position: with 51 orders of 5000 points a test per mouse move would lag.
constexpr int kHoverDelayMs = 40;

// 0x00BBGGRR, red in the lowest byte.
QColor ChartColor(Color color)
{
    return QColor(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                  static_cast<int>((color >> 16) & 0xFFu));
}

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

// One legend entry for a group of line series (the Debye lines): a short line in the
// colours of the first few of them, and the group's name.
class SeriesGroupLegendItem final : public QCPAbstractLegendItem {
public:
    SeriesGroupLegendItem(QCPLegend* parent, const QString& name, QList<QColor> colors)
        : QCPAbstractLegendItem(parent), name_(name), colors_(std::move(colors))
    {
    }

protected:
    void draw(QCPPainter* painter) override
    {
        painter->setFont(mFont);
        painter->setPen(QPen(mTextColor));
        const QSize icon = mParentLegend->iconSize();
        const QRect textRect = painter->fontMetrics().boundingRect(0, 0, 0, icon.height(), Qt::TextDontClip, name_);
        const int height = std::max(textRect.height(), icon.height());
        painter->drawText(mRect.x() + icon.width() + mParentLegend->iconTextPadding(), mRect.y(), textRect.width(),
                          height, Qt::TextDontClip, name_);
        // The icon: one segment per colour, side by side, vertically centred on the text.
        const int y = mRect.y() + height / 2;
        const int n = static_cast<int>(colors_.size());
        for (int k = 0; k < n; ++k) {
            painter->setPen(QPen(colors_[k], 2));
            const int x0 = mRect.x() + icon.width() * k / n;
            const int x1 = mRect.x() + icon.width() * (k + 1) / n;
            painter->drawLine(QLineF(x0, y, x1, y));
        }
    }

    QSize minimumOuterSizeHint() const override
    {
        const QFontMetrics metrics(mFont);
        const QSize icon = mParentLegend->iconSize();
        const QRect textRect = metrics.boundingRect(0, 0, 0, icon.height(), Qt::TextDontClip, name_);
        return QSize(icon.width() + mParentLegend->iconTextPadding() + textRect.width() + mMargins.left() +
                         mMargins.right(),
                     std::max(textRect.height(), icon.height()) + mMargins.top() + mMargins.bottom());
    }

private:
    QString name_;
    QList<QColor> colors_;
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
    legend->setFillOrder(QCPLayoutGrid::foRowsFirst, false);

    // Bottom to top: the exact band, the orders' points, their Debye lines, the total and
    // the Airy curve.
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
    // A zoom or pan moves the points from under the read-out.
    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] { hideHover(); });
    connect(yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] { hideHover(); });

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
    QCPGraph* series = points ? new PointSeries(xAxis, yAxis) : addGraph();
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
        QPen pen = series->pen();
        pen.setColor(color);
        series->setPen(pen);
    }
    series->setVisible(true);
}

void ScatteringChart::loadDiagram(const DiagramSeries& result)
{
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
    zoomHistory_.clear();
    zoomBackAction_->setEnabled(false);
    staleError_.clear();
    staleNotice_->setVisible(false);
    hideHover();
    resetZoomRanges();
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
    legendWanted_ = false;
    rebuildLegend();
    zoomHistory_.clear();
    zoomBackAction_->setEnabled(false);
    hideHover();
    resetZoomRanges();
    replot();
}

void ScatteringChart::rebuildLegend()
{
    lastFit_ = {};
    legend->clearItems();
    debyeEntry_ = nullptr;
    auto add = [this](QCPGraph* series) {
        if (series->visible()) {
            series->addToLegend(legend);
            if (QCPPlottableLegendItem* item = legend->itemWithPlottable(series))
                item->setTextColor(kLegendText);
        }
    };
    for (QCPGraph* series : orders_)
        add(series);
    // One entry for all Debye lines: each is in its order's colour, and 51 more entries
    // would crowd out the orders.
    QList<QColor> debyeColors;
    for (QCPGraph* series : debye_)
        if (series->visible() && debyeColors.size() < 3)
            debyeColors << series->pen().color();
    if (!debyeColors.isEmpty()) {
        debyeEntry_ = new SeriesGroupLegendItem(legend, QStringLiteral("Debye terms"), debyeColors);
        legend->addItem(debyeEntry_);
        debyeEntry_->setTextColor(debyeLinesShown_ ? kLegendText : kHiddenLegendText);
    }
    add(total_);
    add(airy_);
    add(mie_);
}

QCPAbstractLegendItem* ScatteringChart::debyeLegendItem() const { return debyeEntry_; }

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
    int count = 0;
    for (int i = 0; i < legend->itemCount(); ++i)
        count += legend->item(i) != nullptr ? 1 : 0;
    const bool wanted = legendWanted_ && count > 0;
    const QCPLayoutElement* captionRow = captionElement_;  // (the size hint is public there)
    const int captionHeight = captionRow != nullptr ? captionRow->minimumOuterSizeHint().height() : 0;
    // Nothing changed since the last fit (the usual replot after a zoom): keep it.
    const LegendFit fit{width, height, captionHeight, count, wanted, QFontInfo(font()).pixelSize()};
    if (fit == lastFit_)
        return;
    lastFit_ = fit;

    crowdedNote_->setVisible(false);
    if (!wanted) {
        legend->setVisible(false);
        if (body_->hasElement(0, 1)) {
            body_->take(legendColumn_);
            body_->simplify();
        }
        return;
    }
    if (!body_->hasElement(0, 1))
        body_->addElement(0, 1, legendColumn_);
    body_->setColumnStretchFactor(0, 1.0);
    body_->setColumnStretchFactor(1, 0.001);
    legend->setVisible(true);

    const QMargins column = legendColumn_->margins();
    const int available = height - captionHeight - column.top() - column.bottom();
    const int basePixels = std::max(fit.fontPixels, kMinLegendPixels);

    // The largest text that fits in 30 % of the width, down to 9 pixels; else 8 and 7
    // pixels there; else 9 down to 7 pixels in 45 % of the width. A column holds as many
    // rows as the height allows. Beyond that the plot itself would be too narrow to read.
    struct Stage {
        double share;
        int largest, smallest;
    };
    const Stage stages[] = {{0.30, basePixels, 9}, {0.30, 8, kMinLegendPixels}, {0.45, 9, kMinLegendPixels}};
    for (const Stage& stage : stages) {
        for (int pixels = std::min(stage.largest, basePixels); pixels >= stage.smallest; --pixels) {
            QFont f = font();
            f.setPixelSize(pixels);
            legend->setFont(f);
            legend->setIconSize(pixels + 4, std::max(4, pixels * 2 / 3));
            legend->setRowSpacing(pixels >= 10 ? -2 : -1);
            legend->setColumnSpacing(6);
            int itemHeight = 0;
            for (int i = 0; i < legend->itemCount(); ++i)
                if (legend->item(i) != nullptr)
                    itemHeight = std::max(itemHeight, legend->item(i)->minimumOuterSizeHint().height());
            const QMargins own = legend->margins();
            const int rowsFit =
                (available - own.top() - own.bottom() + legend->rowSpacing()) / (itemHeight + legend->rowSpacing());
            if (rowsFit < 1)
                continue;
            const int columns = (count + rowsFit - 1) / rowsFit;
            const int rows = (count + columns - 1) / columns;
            legend->setWrap(rows);
            legend->setFillOrder(QCPLayoutGrid::foRowsFirst, true);
            const QSize needed = legend->minimumOuterSizeHint();
            if (needed.height() <= available &&
                needed.width() + column.left() + column.right() <= stage.share * width)
                return;
        }
    }
    // Too small a chart for this many entries: a note instead of a cut legend.
    legend->setVisible(false);
    body_->take(legendColumn_);
    body_->simplify();
    crowdedNote_->setFont(font());
    crowdedNote_->setText(QStringLiteral("Legend hidden: %1 entries need a larger chart").arg(count));
    crowdedNote_->setVisible(true);  // wrapped to the plot's width by arrangeFor
}

void ScatteringChart::updateStaleNoticeText()
{
    if (!staleNotice_->visible())
        return;
    // Wrapped to the plot's width; an error of more than three lines loses its middle.
    const QFontMetrics metrics(staleNotice_->font());
    const QMargins padding = staleNotice_->padding();
    const int width = std::max(40, axisRect()->width() - padding.left() - padding.right() - 8);
    QStringList lines = WrapToWidth(kStaleHeadline, metrics, width).split(QLatin1Char('\n'));
    QStringList error = WrapToWidth(staleError_, metrics, width).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (error.size() > 3)
        error = {error.front(), metrics.elidedText(error.mid(1).join(QLatin1Char(' ')), Qt::ElideMiddle, width)};
    lines << error;
    for (QString& line : lines)
        line = metrics.elidedText(line, Qt::ElideRight, width);  // a word wider than the plot
    staleNotice_->setText(lines.join(QLatin1Char('\n')));
}

void ScatteringChart::showStaleNotice(const QString& error)
{
    staleError_ = error.simplified();
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
    // Points on the floor of the log scale stay drawn but do not pull the range down to it,
    // unless nothing lies above the floor.
    QCPRange y = yAxis->range();
    if (const std::optional<double> lowest = lowestAboveFloor(); lowest && *lowest < y.upper)
        y.lower = std::max(y.lower, *lowest);
    // A little room above and below, so that the extreme points are not on the frame.
    const double pad = y.size() * 0.03;
    yAxis->setRange(y.lower - pad, y.upper + pad);
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

// ---------------------------------------------------------------------------------------
// Series, legend entries and points under the mouse.

void ScatteringChart::toggleSeries(QCPGraph* series)
{
    if (series == nullptr)
        return;
    series->setVisible(!series->visible());
    if (QCPPlottableLegendItem* item = legend->itemWithPlottable(series))
        item->setTextColor(series->visible() ? kLegendText : kHiddenLegendText);
    hideHover();
    replot();
}

void ScatteringChart::toggleDebyeLines()
{
    debyeLinesShown_ = !debyeLinesShown_;
    for (QCPGraph* series : debye_)
        if (!series->data()->isEmpty())
            series->setVisible(debyeLinesShown_);
    if (debyeEntry_ != nullptr)
        debyeEntry_->setTextColor(debyeLinesShown_ ? kLegendText : kHiddenLegendText);
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

void ScatteringChart::copyDataToClipboard()
{
    // Tab-separated: a spreadsheet spreads it over columns when pasted.
    QApplication::clipboard()->setText(dataTable(QLatin1Char('\t')));
}

void ScatteringChart::saveDataAsCsv(const QString& file)
{
    QSaveFile out(file);
    const QByteArray bytes = dataTable(QLatin1Char(',')).toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw FileError("Cannot write the data to \"" + file.toStdString() + "\".");
}

QImage ScatteringChart::image()
{
    return exportPixmap(width(), height()).toImage();
}

void ScatteringChart::copyToClipboard()
{
    QApplication::clipboard()->setPixmap(exportPixmap(width(), height()));
}

void ScatteringChart::saveAsPng(const QString& file)
{
    QImage picture = image();
    if (!caption_.isEmpty())
        picture.setText(QStringLiteral("Title"), captionText());
    if (!picture.save(file, "PNG"))
        throw FileError("Cannot write the chart to \"" + file.toStdString() + "\".");
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
    if (debyeEntry_ != nullptr && legend->visible() && debyeEntry_->outerRect().contains(pos)) {
        toggleDebyeLines();
        return;
    }
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
    const bool onLegend = legendSeriesAt(event->pos()) != nullptr ||
                          (debyeEntry_ != nullptr && legend->visible() && debyeEntry_->outerRect().contains(event->pos()));
    if (event->button() == Qt::LeftButton && !onLegend)
        resetZoom();
}

void ScatteringChart::wheelEvent(QWheelEvent* event)
{
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
