// Shared pieces of the widget tests: the offscreen QApplication (with settings of its own,
// never the user's), a fresh working folder per test function, waiting for a background
// run, answering message boxes, and small helpers.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "base/Format.h"

namespace orvane::test {

// Each test function runs in a folder of its own; the folder is removed afterwards.
class WorkFolder {
public:
    WorkFolder() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~WorkFolder() { QDir::setCurrent(previous_); }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    QStringList entries() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot); }
    // The parameter file of the window's defaults.
    void copyDefaultParameterFile() const
    {
        QVERIFY(QFile::copy(QStringLiteral(ORVANE_DOCS_DIR "/Orvane.par"), file(QStringLiteral("Orvane.par"))));
    }
    void writeFile(const QString& name, const QByteArray& content) const
    {
        QFile out(file(name));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }

private:
    QString previous_;
    QTemporaryDir dir_;
};

// The whole content of a file; empty when it cannot be read.
inline QByteArray ReadFile(const QString& path)
{
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// The largest diagram run the window offers (5000 rays, Max p 50, 100000 angles, diffraction
// and Airy): slow enough that a cancel always lands in it.
template <class Form>
void AskForLargestRun(Form& form)
{
    form.LblEdtNumRays->setText(QStringLiteral("5000"));
    form.LblEdtNumSca->setText(QStringLiteral("100000"));
    form.EdtMaxp->setText(QStringLiteral("50"));
    form.ChBxDiff->setChecked(true);
    form.ChBxAiry->setChecked(true);
}

// Waits until the form's background run (if any) has ended: true when it did in time.
template <class Form>
bool WaitForRun(Form& form, int timeoutMs = 120000)
{
    if (!form.isRunning())
        return true;
    QSignalSpy finished(&form, &Form::runFinished);
    return finished.wait(timeoutMs) || !form.isRunning();
}

// Answers every modal message box with OK as soon as it shows, keeping its text and icon,
// and whatever `onShow` reports at that moment.
class BoxAnswerer {
public:
    struct Box {
        QString text;
        QMessageBox::Icon icon;
        bool note;  // onShow's answer
    };

    explicit BoxAnswerer(std::function<bool()> onShow = {}) : onShow_(std::move(onShow))
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            boxes.push_back({box->text(), box->icon(), onShow_ ? onShow_() : false});
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start();
    }
    QStringList texts() const
    {
        QStringList all;
        for (const Box& b : boxes)
            all << b.text;
        return all;
    }
    std::vector<Box> boxes;

private:
    std::function<bool()> onShow_;
    QTimer timer_;
};

} // namespace orvane::test

// main() of a widget test program: offscreen unless told otherwise.
#define ORVANE_APP_TEST_MAIN(TestClass)                                        \
    int main(int argc, char** argv)                                            \
    {                                                                          \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                    \
            qputenv("QT_QPA_PLATFORM", "offscreen");                           \
        QApplication app(argc, argv);                                          \
        /* Settings in a folder of the test's own, under a name of its own. */ \
        QTemporaryDir settingsDir;                                             \
        QCoreApplication::setOrganizationName(QStringLiteral("OrvaneTests")); \
        QCoreApplication::setApplicationName(QStringLiteral("OrvaneTests"));  \
        QSettings::setDefaultFormat(QSettings::IniFormat);                     \
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,         \
                           settingsDir.path());                                \
        TestClass test;                                                        \
        return QTest::qExec(&test, argc, argv);                                \
    }
