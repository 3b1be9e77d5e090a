// Small controls of the main window that Qt lacks as such: an edit with its own label,
// the position grid with a fixed header row, the paint box that keeps its picture and the
// colour key of the orders it shows.
#pragma once

#include <vector>

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QWidget>

namespace orvane {

// A line edit with a caption, above it (left-aligned, 3 pixels between them) or on its
// left (centred on it vertically). The label is a sibling in the same parent; a layout that
// takes the edit takes its label too (EditLabel()).
class LabeledEdit : public QLineEdit {
    Q_OBJECT
public:
    enum class LabelPosition { Above, Left };
    static constexpr int kLabelSpacing = 3;

    LabeledEdit(QWidget* parent, const QRect& geometry, const QString& caption,
                LabelPosition position = LabelPosition::Above);
    QLabel* EditLabel() const { return label_; }

private:
    QLabel* label_;
};

// The ray-position grid: one column, row 0 a fixed header row that stays in view while the
// rows 1..24 below it scroll. Rows are numbered as in the program's grid model: row 0 is
// the header, row i the table's row i - 1.
class PositionGridView : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kRows = 25;
    static constexpr int kColumnWidth = 90;
    static constexpr int kRowHeight = 25;

    // Texts the column is wide enough to show whole: the header and the longest position
    // (FloatToStr's 15 significant digits of a position in the Min/Max mode).
    static constexpr const char* kWidestHeader = "Max:  50.00000";
    static constexpr const char* kWidestCell = "-49.9999999999995";

    explicit PositionGridView(QWidget* parent);
    QString cell(int row) const;
    void setCell(int row, const QString& text);
    // The column's width for the widest texts in the grid's font, and the grid's own width
    // for that column with a vertical scroll bar. Called again when the font changes.
    void fitToContents();
    int textMargin() const;

signals:
    // A click in a cell or in the header row.
    void gridClicked();

protected:
    void changeEvent(QEvent* event) override;
};

// The drawing area of the ray-tracing page. It shows the last picture drawn into it until
// the next one: repainting (page shown again, window uncovered) draws the kept image.
class PaintBox : public QWidget {
    Q_OBJECT
public:
    explicit PaintBox(QWidget* parent);
    const QImage& image() const { return image_; }
    void setImage(QImage image);

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage image_;
};

// A line of swatches "p=0", "p=1", ... in the colours the picture draws the orders in
// (kOrderPalette), wrapped to the width. Empty: nothing drawn yet.
class OrderKey : public QWidget {
    Q_OBJECT
public:
    explicit OrderKey(QWidget* parent);
    void setOrders(std::vector<int> orders);
    const std::vector<int>& orders() const { return orders_; }
    // Where the swatch of the n-th order shown is drawn (for tests: inside the widget).
    QRect itemRect(int n) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize itemSize() const;
    int captionWidth() const;
    int columnsFor(int width) const;
    std::vector<int> orders_;
};

} // namespace orvane
