// Shared pieces of the widget tests: the offscreen QApplication, a fresh working folder
// per test function, and small helpers.
#pragma once

#include <memory>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "numeric/Format.h"

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

} // namespace orvane::test

// main() of a widget test program: offscreen unless told otherwise.
#define ORVANE_APP_TEST_MAIN(TestClass)                                        \
    int main(int argc, char** argv)                                            \
    {                                                                          \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                    \
            qputenv("QT_QPA_PLATFORM", "offscreen");                           \
        QApplication app(argc, argv);                                          \
        TestClass test;                                                        \
        return QTest::qExec(&test, argc, argv);                                \
    }
