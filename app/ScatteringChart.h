// The scattering-diagram chart: one point series per order (2 x 2 squares in the order's
// colour), the total intensity as a black line, the Airy curve as a grey line and the
// exact curve of a sphere as a dark-red line, the log10 of the intensity against the
// scattering angle in degrees. Used by the window (Chart1) and, offscreen, by
// orvane-batch --chart-png.
//
// Mouse: drag a rectangle to zoom, double-click for the full view again, click a point
// for its read-out (seriesClicked), click a legend entry to hide or show its series,
// right-click for the menu (copy, save as PNG or PDF, reset zoom, and "Compare with exact
// theory" when the owner answers for it).
#pragma once

#include <array>
#include <functional>
#include <memory>

#include <QImage>
#include <QMenu>
#include <QPoint>
#include <QString>

#include <qcustomplot.h>

#include "app/ChartSeries.h"

namespace orvane {

class ScatteringChart : public QCustomPlot {
    Q_OBJECT

public:
    static constexpr int kClickSlop = 3;  // pixels a click may move and still be a click

    // The state of the menu item "Compare with exact theory", as the owner of the chart
    // decides it each time the menu opens.
    struct ExactTheoryItem {
        bool enabled = false;
        bool checked = false;
        QString whyDisabled;  // the item's tool tip while it is disabled
    };

    explicit ScatteringChart(QWidget* parent = nullptr);

    // Shows a run: every series takes the run's points (inactive ones are emptied and
    // hidden), the legend lists the active series when the run asks for it, the axes
    // show everything, and the chart is redrawn.
    void setDiagram(const DiagramSeries& result);
    // The same without the redraw.
    void loadDiagram(const DiagramSeries& result);
    // Empties every series and hides the legend.
    void clearDiagram();

    // Back to the full view of the shown series, after a rectangle zoom.
    void resetZoom();
    // Hides a shown series or shows a hidden one (its legend entry greys out); redraws.
    void toggleSeries(QCPGraph* series);

    QCPGraph* orderSeries(int p) const { return orders_[static_cast<std::size_t>(p)]; }
    QCPGraph* totalSeries() const { return total_; }
    QCPGraph* airySeries() const { return airy_; }
    QCPGraph* mieSeries() const { return mie_; }

    // Asked each time the menu opens; without it the menu has no "Compare with exact theory".
    void setExactTheoryQuery(std::function<ExactTheoryItem()> query);
    // The right-click menu as it opens now; each action does its work when triggered.
    std::unique_ptr<QMenu> createContextMenu();

    // The shown series whose point or line is nearest to pos (within the selection
    // tolerance), and the index of the point; null when none is near.
    QCPGraph* seriesAt(const QPointF& pos, int* dataIndex) const;
    // The series of the legend entry under pos; null outside the (shown) legend.
    QCPGraph* legendSeriesAt(const QPointF& pos) const;

    // The chart as currently shown, at its current size.
    QImage image();
    void copyToClipboard();
    // Throw EInOutError when the file cannot be written.
    void saveAsPng(const QString& file);
    void saveAsPdf(const QString& file);

signals:
    // A click on a point: the series, the point's index and the mouse position in the
    // chart's coordinates.
    void seriesClicked(QCPGraph* series, int dataIndex, QPoint pos);
    // An action of the context menu failed; the text is for the user.
    void actionFailed(const QString& message);
    // "Compare with exact theory" was ticked (true) or unticked (false).
    void exactTheoryToggled(bool checked);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QCPGraph* addSeries(const QString& name, bool points);
    void fillSeries(QCPGraph* series, const SeriesData& data, const QColor& color, const QString& fallbackTitle);
    void rebuildLegend();
    void resetZoomRanges();
    template <class Action> void guarded(Action&& action);

    std::array<QCPGraph*, kOrderCount> orders_{};
    QCPGraph* total_ = nullptr;
    QCPGraph* airy_ = nullptr;
    QCPGraph* mie_ = nullptr;
    std::function<ExactTheoryItem()> exactTheoryQuery_;
    QPoint pressPos_;
    bool leftPressed_ = false;
};

} // namespace orvane
