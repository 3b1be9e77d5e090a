#include "app/FormControls.h"

#include <algorithm>

#include <QHeaderView>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>

#include "raytrace/OrderPalette.h"

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
    fitToContents();
}

void PositionGridView::changeEvent(QEvent* event)
{
    QTableWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitToContents();
}

int PositionGridView::textMargin() const
{
    // What the style leaves on each side of an item's text, and the focus frame.
    return style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 2;
}

void PositionGridView::fitToContents()
{
    const QFontMetrics cells(font());
    const QFontMetrics head(horizontalHeader()->font());
    const int text = std::max({cells.horizontalAdvance(QString::fromLatin1(kWidestCell)),
                               head.horizontalAdvance(QString::fromLatin1(kWidestHeader))});
    const int column = std::max(kColumnWidth, text + 2 * textMargin() + 4);
    setColumnWidth(0, column);
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    setFixedWidth(column + scrollBar + 2 * frameWidth());
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

void PaintBox::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit resized();
}

// ---------------------------------------------------------------------------------------

namespace {

constexpr int kSwatchWidth = 18, kSwatchGap = 4, kItemGap = 10, kKeyMargin = 2;

QColor OrderColour(int p)
{
    const Color c = kOrderPalette[static_cast<std::size_t>(std::clamp(p, 0, kMaxOrder))];
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));  // 0x00BBGGRR
}

QString OrderText(int p) { return QStringLiteral("p=%1").arg(p); }

} // namespace

OrderKey::OrderKey(QWidget* parent) : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setToolTip(QStringLiteral("Colours of the orders drawn: p=0 is the incident and the reflected ray, p=1 the ray "
                              "transmitted straight through, p the ray after p - 1 internal reflections."));
}

void OrderKey::setOrders(std::vector<int> orders)
{
    orders_ = std::move(orders);
    updateGeometry();
    update();
}

QSize OrderKey::itemSize() const
{
    const QFontMetrics fm(font());
    return {kSwatchWidth + kSwatchGap + fm.horizontalAdvance(OrderText(50)) + kItemGap, fm.height() + 2};
}

int OrderKey::captionWidth() const
{
    return QFontMetrics(font()).horizontalAdvance(QStringLiteral("Orders:")) + kItemGap;
}

int OrderKey::columnsFor(int width) const
{
    return std::max(1, (width - 2 * kKeyMargin - captionWidth()) / itemSize().width());
}

int OrderKey::heightForWidth(int width) const
{
    if (orders_.empty())
        return itemSize().height() + 2 * kKeyMargin;
    const int columns = columnsFor(width);
    const int rows = (static_cast<int>(orders_.size()) + columns - 1) / columns;
    return rows * itemSize().height() + 2 * kKeyMargin;
}

QSize OrderKey::sizeHint() const
{
    const int width = captionWidth() + std::max<int>(1, static_cast<int>(orders_.size())) * itemSize().width();
    return {width + 2 * kKeyMargin, itemSize().height() + 2 * kKeyMargin};
}

QSize OrderKey::minimumSizeHint() const
{
    return {captionWidth() + itemSize().width() + 2 * kKeyMargin, itemSize().height() + 2 * kKeyMargin};
}

QRect OrderKey::itemRect(int n) const
{
    const int columns = columnsFor(width());
    const QSize item = itemSize();
    return {kKeyMargin + captionWidth() + (n % columns) * item.width(), kKeyMargin + (n / columns) * item.height(),
            item.width() - kItemGap, item.height()};
}

void OrderKey::paintEvent(QPaintEvent*)
{
    if (orders_.empty())
        return;
    QPainter painter(this);
    const QFontMetrics fm(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(kKeyMargin, kKeyMargin, captionWidth(), itemSize().height()), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Orders:"));
    for (std::size_t n = 0; n < orders_.size(); ++n) {
        const QRect r = itemRect(static_cast<int>(n));
        const int y = r.center().y();
        painter.setPen(QPen(OrderColour(orders_[n]), 3));
        painter.drawLine(r.left() + 1, y, r.left() + kSwatchWidth - 1, y);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(r.left() + kSwatchWidth + kSwatchGap, r.top(), r.width() - kSwatchWidth - kSwatchGap,
                               r.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, OrderText(orders_[n]));
    }
}

} // namespace orvane
