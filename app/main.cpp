// Orvane: the window.
#include <exception>

#include <QApplication>
#include <QLocale>
#include <QMessageBox>

#include "app/AppIcon.h"
#include "app/MainWindow.h"
#include "base/RunFolder.h"

namespace {

// The last line of defence: an error escaping an event handler that did not catch it
// itself is shown, and the event loop goes on.
class OrvaneApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(activeWindow(), QStringLiteral("Orvane"), QString::fromStdString(e.what()));
        } catch (...) {
            QMessageBox::critical(activeWindow(), QStringLiteral("Orvane"), QStringLiteral("Unknown error."));
        }
        return false;
    }
};

// The decimal separator of the user's locale, for the numbers shown and typed.
char LocaleDecimalSeparator()
{
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80)
        return static_cast<char>(point.at(0).unicode());
    return '.';
}

} // namespace

int main(int argc, char** argv)
{
    OrvaneApplication app(argc, argv);
    // Where QSettings keeps the window's few remembered things (the parameter folder).
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setApplicationVersion(QStringLiteral("2.30"));
    QApplication::setWindowIcon(orvane::OrvaneIcon());
    // Before anything reads the working folder: a run killed while it put its files in place is
    // finished (or undone), and the temporaries of dead runs are removed.
    try {
        orvane::RepairRunFolder({});
    } catch (const std::exception& e) {
        QMessageBox::warning(nullptr, QStringLiteral("Orvane"), QString::fromStdString(e.what()));
    }
    orvane::MainWindow form(nullptr, nullptr, LocaleDecimalSeparator());
    form.show();
    return app.exec();
}
