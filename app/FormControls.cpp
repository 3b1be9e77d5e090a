#include "app/FormControls.h"

#include <QHeaderView>
#include <QPainter>

namespace orvane {

LabeledEdit::LabeledEdit(QWidget* parent, const QRect& geometry, const QString& caption, LabelPosition position)
    : QLineEdit(parent), label_(new QLabel(caption, parent))
{
    setGeometry(geometry);
    label_->adjustSize();
    if (position == LabelPosition::Above) {
        label_->move(geometry.left(), geometry.top() - label_->height() - kLabelSpacing);
    } else {
        label_->move(geometry.left() - label_->width() - kLabelSpacing,
                     geometry.top() + (geometry.height() - label_->height()) / 2);
    }
    label_->setBuddy(this);
}

PositionGridView::PositionGridView(QWidget* parent) : QTableWidget(kRows - 1, 1, parent)
{
    verticalHeader()->setVisible(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(kRowHeight);

    QHeaderView* header = horizontalHeader();
    header->setFixedHeight(kRowHeight);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    setHorizontalHeaderItem(0, new QTableWidgetItem(QString()));
    setColumnWidth(0, kColumnWidth);

    setFrameShape(QFrame::Box);
    setShowGrid(true);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setWordWrap(false);

    connect(this, &QTableWidget::cellClicked, this, [this](int, int) { emit gridClicked(); });
    connect(header, &QHeaderView::sectionClicked, this, [this](int) { emit gridClicked(); });
}

QString PositionGridView::cell(int row) const
{
    if (row == 0) {
        const QTableWidgetItem* item = horizontalHeaderItem(0);
        return item != nullptr ? item->text() : QString();
    }
    if (row < 0 || row >= kRows)
        return QString();
    const QTableWidgetItem* item = this->item(row - 1, 0);
    return item != nullptr ? item->text() : QString();
}

void PositionGridView::setCell(int row, const QString& text)
{
    if (row == 0) {
        horizontalHeaderItem(0)->setText(text);
        return;
    }
    if (row < 0 || row >= kRows)
        return;
    if (QTableWidgetItem* item = this->item(row - 1, 0))
        item->setText(text);
    else
        setItem(row - 1, 0, new QTableWidgetItem(text));
}

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {}

void PaintBox::setImage(QImage image)
{
    image_ = std::move(image);
    update();
}

void PaintBox::paintEvent(QPaintEvent*)
{
    if (image_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

} // namespace orvane
