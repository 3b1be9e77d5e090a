#include "app/QtMessageSink.h"

#include <QApplication>
#include <QCursor>

namespace orvane {

QtMessageSink::QtMessageSink(QWidget* parent, QMessageBox::Icon icon) : parent_(parent), icon_(icon) {}

void QtMessageSink::display(const std::string& text)
{
    // A computation may be running under the busy cursor: the box gets the normal
    // arrow while it waits for the user, the busy cursor comes back afterwards.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);

    QMessageBox box(icon_, QStringLiteral("Orvane"), QString::fromStdString(text), QMessageBox::Ok, parent_.data());
    box.exec();

    if (busy)
        QApplication::restoreOverrideCursor();
}

} // namespace orvane
