// Small controls of the main window that Qt lacks as such: an edit with its own label,
// the position grid with a fixed header row, and the paint box that keeps its picture.
#pragma once

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QWidget>

namespace orvane {

// A line edit with a caption, above it (left-aligned, 3 pixels between them) or on its
// left (centred on it vertically). The label is a sibling in the same parent.
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

    explicit PositionGridView(QWidget* parent);
    QString cell(int row) const;
    void setCell(int row, const QString& text);

signals:
    // A click in a cell or in the header row.
    void gridClicked();
};

// The drawing area of the ray-tracing page. It shows the last picture drawn into it until
// the next one: repainting (page shown again, window uncovered) draws the kept image.
class PaintBox : public QWidget {
    Q_OBJECT
public:
    explicit PaintBox(QWidget* parent);
    const QImage& image() const { return image_; }
    void setImage(QImage image);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

} // namespace orvane
