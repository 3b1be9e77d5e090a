// The scattering-diagram chart: one point series per order (2 x 2 squares in the order's
// colour), the total intensity as a thin black line, the exact curve of a sphere as a wide
// dark-red band under it, the Airy curve as a grey line, and the exact Debye term of each
// order as a thin line in that order's colour; log10 of the intensity against the
// scattering angle in degrees. Used by the window (Chart1) and, offscreen, by
// orvane-batch --chart-png.
//
// Mouse: drag a rectangle to zoom, turn the wheel to zoom about the pointer, drag with the
// middle button (or Shift and the left one) to pan; Backspace steps back through the
// zooms, Home or a double-click shows everything again. Hovering names the series and
// point under the pointer; a click on a point gives its read-out (seriesClicked); a click
// on a legend entry hides or shows its series. Right-click for the menu: image and data
// export, zoom, and the comparisons with exact theory that the owner answers for.
//
// The legend stands right of the plot, in as many columns as the chart's height needs,
// within 30 % of the width; when space is short its text shrinks (down to kMinLegendPixels),
// then it may take 45 % of the width in small text, and on a chart too small for even that
// it gives way to a one-line note ("Legend hidden: …") rather than being cut.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <qcustomplot.h>

#include "app/ChartSeries.h"

namespace orvane {

class SeriesGroupLegendItem;

class ScatteringChart : public QCustomPlot {
    Q_OBJECT

public:
    static constexpr int kClickSlop = 3;         // pixels a click may move and still be a click
    static constexpr int kMinLegendPixels = 7;   // smallest legend text, in pixels
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
    // hidden), the legend lists the active series when the run asks for it, the axes
    // show everything, the zoom history and the notice of a failed run are cleared, and
    // the chart is redrawn.
    void setDiagram(const DiagramSeries& result);
    // The same without the redraw.
    void loadDiagram(const DiagramSeries& result);
    // Empties every series and hides the legend.
    void clearDiagram();

    // After a failed or cancelled run: a line over the plot says that the chart still
    // shows the previous result, and why; until the next setDiagram or clearStaleNotice.
    void showStaleNotice(const QString& error);
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

    // Hides a shown series or shows a hidden one (its legend entry greys out); redraws.
    void toggleSeries(QCPGraph* series);
    // The same for all Debye lines at once, as their legend entry does.
    void toggleDebyeLines();

    QCPGraph* orderSeries(int p) const { return orders_[static_cast<std::size_t>(p)]; }
    QCPGraph* debyeSeries(int p) const { return debye_[static_cast<std::size_t>(p)]; }
    QCPGraph* totalSeries() const { return total_; }
    QCPGraph* airySeries() const { return airy_; }
    QCPGraph* mieSeries() const { return mie_; }
    // The legend's one entry for every Debye line; null while none is active.
    QCPAbstractLegendItem* debyeLegendItem() const;
    // Whether the legend had to give way to a note, the chart being too small for it.
    bool legendCrowdedOut() const;

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
    // The series of the legend entry under pos; null outside the (shown) legend.
    QCPGraph* legendSeriesAt(const QPointF& pos) const;

    // The read-out shown while the pointer rests near a point; hidden otherwise.
    const QLabel* hoverLabel() const { return hover_; }
    // Its text for a point of a series: name, angle, log10 and linear intensity.
    static QString hoverText(const QCPGraph* series, int dataIndex);

    // The points of every shown series as a table: a header line, then each series in
    // turn, one line per point: series title, angle in degrees, log10 intensity, intensity.
    // Comma-separated for a CSV file, tab-separated for the clipboard.
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

signals:
    // A click on a point: the series, the point's index and the mouse position in the
    // chart's coordinates.
    void seriesClicked(QCPGraph* series, int dataIndex, QPoint pos);
    // An action of the context menu failed; the text is for the user.
    void actionFailed(const QString& message);
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

    QCPGraph* addSeries(const QString& name, bool points);
    void fillSeries(QCPGraph* series, const SeriesData& data, const QColor& color, const QString& fallbackTitle);
    void rebuildLegend();
    void resetZoomRanges();
    std::optional<double> lowestAboveFloor() const;
    void rememberView(const View& before);
    void setView(const View& v);
    void arrangeFor(const QSize& size);
    void fitLegend(int width, int height);
    void updateStaleNoticeText();
    QPixmap exportPixmap(int width, int height);
    void updateHover();
    void hideHover();
    std::vector<const QCPGraph*> shownSeries() const;
    template <class Action> void guarded(Action&& action);

    std::array<QCPGraph*, kOrderCount> orders_{};
    std::array<QCPGraph*, kOrderCount> debye_{};
    QCPGraph* total_ = nullptr;
    QCPGraph* airy_ = nullptr;
    QCPGraph* mie_ = nullptr;
    SeriesGroupLegendItem* debyeEntry_ = nullptr;  // owned by the legend while in it
    bool debyeLinesShown_ = true;

    // What the legend was last fitted to; the fit is kept while it holds.
    struct LegendFit {
        int width = -1, height = -1, captionHeight = 0, entries = 0;
        bool wanted = false;
        int fontPixels = 0;
        bool operator==(const LegendFit&) const = default;
    };
    LegendFit lastFit_;
    QCPLayoutGrid* body_ = nullptr;          // the plot, and the legend's column right of it
    QCPLayoutGrid* legendColumn_ = nullptr;  // the legend above a filler
    QCPItemText* staleNotice_ = nullptr;
    QString staleError_;
    QCPItemText* crowdedNote_ = nullptr;     // in place of a legend that cannot fit
    bool legendWanted_ = false;              // the run asked for a legend
    QString caption_;
    QCPTextElement* captionElement_ = nullptr;  // only while an image is exported

    std::function<ExactTheoryItem()> exactTheoryQuery_;
    std::function<ExactTheoryItem()> debyeTermsQuery_;
    QAction* zoomBackAction_ = nullptr;
    QAction* resetZoomAction_ = nullptr;

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
