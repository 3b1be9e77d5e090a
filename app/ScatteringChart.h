// The scattering-diagram chart: one point series per order (3 x 3 squares in the order's
// colour), the total intensity as a thin black line, the exact curve of a sphere as a wide
// pale-red band under it (the total stays visible inside it), the Airy curve as a grey
// line, and the exact Debye term of each order as a thin line in that order's colour;
// log10 of the intensity against the scattering angle in degrees. Used by the window
// (Chart1) and, offscreen, by orvane-batch --chart-png.
//
// Mouse: drag a rectangle to zoom, turn the wheel to zoom about the pointer, drag with the
// middle button (or Shift and the left one) to pan; Backspace steps back through the
// zooms, Home or a double-click shows everything again. No view reaches past -180..180
// degrees or past the data's intensities. With "Keep zoom" a new diagram keeps the view
// the user zoomed to. Hovering names the series and point under the pointer; a click on a
// point gives its read-out (seriesClicked); a click on a legend entry hides or shows its
// series. Right-click for the menu: image and data export, zoom, the legend's listing, and
// the comparisons with exact theory that the owner answers for.
//
// The legend is one column right of the plot, never wider than 30 % of the chart.
// The orders on the palette's continuous scale (kFirstScaleOrder and up) share one entry,
// a colour bar, unless "List every order" asks for an entry each. Entries that do not fit
// the height scroll: the wheel over the legend, or a click on its "more" rows. On a chart
// too small for even three rows the legend gives way to a one-line note.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <qcustomplot.h>

#include "app/ChartSeries.h"

namespace orvane {

class ScatteringChart : public QCustomPlot {
    Q_OBJECT

public:
    static constexpr int kClickSlop = 3;         // pixels a click may move and still be a click
    static constexpr int kMinLegendPixels = 9;   // smallest legend text, in pixels
    static constexpr double kLegendShare = 0.3;   // most of the chart's width the legend takes
    static constexpr int kPointPixels = 3;       // side of a ray's square point
    static constexpr int kZoomHistoryDepth = 50;  // views kept for "Zoom back"

    // The state of a "Compare …" item of the menu, as the owner of the chart decides it
    // each time the menu opens.
    struct ExactTheoryItem {
        bool enabled = false;
        bool checked = false;
        QString whyDisabled;  // the item's tool tip while it is disabled
    };

    // What the chart shows on its axes.
    struct View {
        QCPRange x, y;
        bool operator==(const View& other) const { return x == other.x && y == other.y; }
    };

    explicit ScatteringChart(QWidget* parent = nullptr);
    ~ScatteringChart() override;

    // Shows a run: every series takes the run's points (inactive ones are emptied and
    // hidden), the legend lists the active series when the run asks for it, the notice of
    // a failed run is cleared, and the chart is redrawn. The axes show everything and the
    // zoom history is cleared, unless "Keep zoom" is on and the user had zoomed: then the
    // view and its history stay.
    void setDiagram(const DiagramSeries& result);
    // The same without the redraw.
    void loadDiagram(const DiagramSeries& result);
    // Empties every series and hides the legend.
    void clearDiagram();

    // After a failed or cancelled run: a line over the plot says that the chart still
    // shows the previous result, that the run failed or was cancelled, and why; until the
    // next setDiagram or clearStaleNotice.
    void showStaleNotice(const QString& error, bool cancelled = false);
    void clearStaleNotice();
    bool staleNoticeShown() const;
    QString staleNoticeText() const;  // as drawn, wrapped to the plot's width

    // The text exported images carry above the plot (particle, index, wavelength,
    // polarisation, orders; see ChartCaption), wrapped to their width; empty for none. The
    // chart on screen does not show it.
    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    // The caption as image files keep it in their text: plain blanks for no-break spaces.
    QString captionText() const { return QString(caption_).replace(QChar(0x00A0), QLatin1Char(' ')); }

    // Zoom: the full view of the shown series (the view before it is remembered), and one
    // step back through the views left by rectangle, wheel, pan and reset.
    void resetZoom();
    void zoomBack();
    bool canZoomBack() const { return !zoomHistory_.empty(); }
    View view() const { return {xAxis->range(), yAxis->range()}; }
    // The view "Reset zoom" gives, and the limits of every view: -180..180 degrees (or the
    // data's angles, were they wider) and the intensities of every series of the run, with
    // the margin of the full view (and the kept view of "Keep zoom").
    View fullView() const { return fullView_; }
    View viewLimits() const { return limits_; }

    // "Keep zoom": a new diagram keeps the view the user zoomed to.
    void setKeepZoom(bool keep);
    bool keepZoom() const { return keepZoom_; }
    // "List every order": an entry for each order of the continuous scale instead of one
    // colour bar for all of them.
    void setListEveryOrder(bool every);
    bool listEveryOrder() const { return listEveryOrder_; }
    // From now on the two options above are read from and kept in QSettings, under the
    // group given (the window's; the offscreen chart of orvane-batch keeps the defaults).
    void rememberOptions(const QString& settingsGroup);

    // Hides a shown series or shows a hidden one (its legend entry greys out); redraws.
    void toggleSeries(QCPGraph* series);
    // The same for all Debye lines at once, as their legend entry does.
    void toggleDebyeLines();
    // The same for all orders of the continuous scale, as their colour bar does: hides them
    // while any is shown.
    void toggleScaleOrders();

    QCPGraph* orderSeries(int p) const { return orders_[static_cast<std::size_t>(p)]; }
    QCPGraph* debyeSeries(int p) const { return debye_[static_cast<std::size_t>(p)]; }
    QCPGraph* totalSeries() const { return total_; }
    QCPGraph* airySeries() const { return airy_; }
    QCPGraph* mieSeries() const { return mie_; }
    // The legend's one entry for every Debye line; null while none is active or it is
    // scrolled out of sight.
    QCPAbstractLegendItem* debyeLegendItem() const;
    // The colour bar of the scale's orders; null while it is not in the legend (fewer than
    // two such orders, every order listed, or scrolled out of sight).
    QCPAbstractLegendItem* scaleLegendItem() const;
    // Whether the legend had to give way to a note, the chart being too small for it.
    bool legendCrowdedOut() const;
    // Scrolling the legend: the number of its entries (series and groups), the first one
    // shown, and a move by some rows (negative: up), kept within the list.
    int legendEntryCount() const { return static_cast<int>(legendEntries_.size()); }
    int legendFirstShown() const { return legendFirst_; }
    bool legendScrolls() const;
    void scrollLegend(int rows);
    // The legend's rows as shown, top to bottom: "p=0", …, "p=10–50", "Debye terms",
    // "Total", "▼ 12 more"; empty while the legend is hidden.
    QStringList legendRows() const;

    // Asked each time the menu opens; without them the menu has no "Compare with exact
    // theory" or "Compare orders with exact Debye terms".
    void setExactTheoryQuery(std::function<ExactTheoryItem()> query);
    void setDebyeTermsQuery(std::function<ExactTheoryItem()> query);
    // The right-click menu as it opens now; each action does its work when triggered.
    std::unique_ptr<QMenu> createContextMenu();

    // The shown series whose point or line is nearest to pos (within the selection
    // tolerance; a ray point before a curve as near), and the index of the point; null
    // when none is near.
    QCPGraph* seriesAt(const QPointF& pos, int* dataIndex) const;
    // The series of the legend entry under pos; null outside the (shown) legend and on a
    // group or "more" row.
    QCPGraph* legendSeriesAt(const QPointF& pos) const;

    // The read-out shown while the pointer rests near a point; hidden otherwise.
    const QLabel* hoverLabel() const { return hover_; }
    // Its text for a point of a series: name, angle, log10 and linear intensity.
    static QString hoverText(const QCPGraph* series, int dataIndex);

    // The points of every shown series as a table: a header line, then each series in
    // turn, one line per point: series title, angle in degrees, log10 intensity, intensity.
    // Comma-separated for a CSV file, tab-separated for the clipboard. A line keeps its
    // points on the floor of the log scale, even those it is not drawn to (at its ends).
    QString dataTable(QChar separator) const;
    void copyDataToClipboard();
    // Throw FileError when the file cannot be written.
    void saveDataAsCsv(const QString& file);

    // The chart as currently shown, at its current size, with the caption.
    QImage image();
    void copyToClipboard();
    // Throw FileError when the file cannot be written. Both carry the caption, drawn and
    // in the file's text (the PNG's "Title" and the PDF's title).
    void saveAsPng(const QString& file);
    void saveAsPdf(const QString& file);
    // Each copy and save above, once done, says so in statusMessage.

signals:
    // A click on a point: the series, the point's index and the mouse position in the
    // chart's coordinates.
    void seriesClicked(QCPGraph* series, int dataIndex, QPoint pos);
    // An action of the context menu failed; the text is for the user.
    void actionFailed(const QString& message);
    // What a copy or save did, for the owner's status line: "Chart image copied to the
    // clipboard (611 × 372 pixels).", "Chart saved as /home/me/chart.png." ...
    void statusMessage(const QString& message);
    // "Compare with exact theory" was ticked (true) or unticked (false).
    void exactTheoryToggled(bool checked);
    // "Compare orders with exact Debye terms" was ticked (true) or unticked (false).
    void debyeTermsToggled(bool checked);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct CaptionScope;  // the caption above the plot while an image is exported

    // An entry of the legend: a series, or a group that stands for several.
    struct LegendEntry {
        enum class Kind { Series, ScaleOrders, DebyeLines } kind = Kind::Series;
        QCPGraph* series = nullptr;  // for Kind::Series
    };

    QCPGraph* addSeries(const QString& name, bool points);
    void fillSeries(QCPGraph* series, const SeriesData& data, const QColor& color, const QString& fallbackTitle);
    void rebuildLegend();
    void fillLegend(int first, int count, bool withMoreRows);
    QCPAbstractLegendItem* makeLegendItem(const LegendEntry& entry);
    QCPAbstractLegendItem* legendItemAt(const QPointF& pos) const;
    bool clickLegend(const QPointF& pos);
    std::vector<QCPGraph*> scaleOrderSeries() const;
    void seriesShownOrHidden();
    void resetZoomRanges();
    void updateViewLimits();
    std::optional<double> lowestAboveFloor() const;
    void rememberView(const View& before);
    void setView(const View& v);
    void keepWithinLimits(QCPAxis* axis, const QCPRange& range);
    void saveOption(const char* key, bool value) const;
    void arrangeFor(const QSize& size);
    void fitLegend(int width, int height);
    void updateStaleNoticeText();
    QPixmap exportPixmap(int width, int height);
    void updateHover();
    void hideHover();
    std::vector<const QCPGraph*> shownSeries() const;
    template <class Action> void guarded(Action&& action);

    std::array<QCPGraph*, kOrderCount> orders_{};
    std::set<const QCPGraph*> active_;  // the series the run filled
    std::array<QCPGraph*, kOrderCount> debye_{};
    QCPGraph* total_ = nullptr;
    QCPGraph* airy_ = nullptr;
    QCPGraph* mie_ = nullptr;
    bool debyeLinesShown_ = true;
    std::vector<LegendEntry> legendEntries_;  // every entry, in the legend's order
    int legendFirst_ = 0;                     // the first entry shown while the legend scrolls
    int legendRoom_ = 0;                      // rows the legend has room for (more rows included)
    bool listEveryOrder_ = false;

    // What the legend was last fitted to; the fit is kept while it holds.
    struct LegendFit {
        int width = -1, height = -1, captionHeight = 0, entries = 0, first = 0;
        bool wanted = false;
        int fontPixels = 0;
        bool operator==(const LegendFit&) const = default;
    };
    LegendFit lastFit_;
    QCPLayoutGrid* body_ = nullptr;          // the plot, and the legend's column right of it
    QCPLayoutGrid* legendColumn_ = nullptr;  // the legend above a filler
    QCPItemText* staleNotice_ = nullptr;
    QString staleError_;
    bool staleCancelled_ = false;
    QCPItemText* crowdedNote_ = nullptr;     // in place of a legend that cannot fit
    bool legendWanted_ = false;              // the run asked for a legend
    QString caption_;
    QCPTextElement* captionElement_ = nullptr;  // only while an image is exported

    std::function<ExactTheoryItem()> exactTheoryQuery_;
    std::function<ExactTheoryItem()> debyeTermsQuery_;
    QAction* zoomBackAction_ = nullptr;
    QAction* resetZoomAction_ = nullptr;
    QAction* keepZoomAction_ = nullptr;
    QAction* listEveryOrderAction_ = nullptr;

    bool keepZoom_ = false;
    QString settingsGroup_;  // empty: the options are not remembered
    View fullView_;
    View limits_;
    bool limitsOn_ = true;  // off while the full view is being found
    std::vector<View> zoomHistory_;
    View viewAtPress_;
    QTimer wheelBurst_;  // wheel turns in quick succession are one step of the history
    QPoint pressPos_;
    bool leftPressed_ = false;
    bool panning_ = false;
    QPoint panFrom_;
    View panStart_;

    QLabel* hover_ = nullptr;
    QTimer hoverTimer_;  // at most one hit test per kHoverDelayMs, at the latest position
    QPoint hoverPos_;
};

} // namespace orvane
