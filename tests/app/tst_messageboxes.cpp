// The window's real message boxes in the middle of a diagram run, on a real X server, answered
// as a person would: the box runs the toolkit's own floating point (layout, fonts, painting),
// and the run that waits for it must not take the IEEE flags that leaves for a fault of its own.
#include <QMessageBox>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/MainWindow.h"

using orvane::MainWindow;
using orvane::test::WorkFolder;

namespace {

// The texts of the error boxes (the default error handler's), and of the others.
QStringList Texts(const orvane::test::BoxAnswerer& answerer, bool errors)
{
    QStringList texts;
    for (const auto& box : answerer.boxes)
        if ((box.icon == QMessageBox::Critical) == errors)
            texts << box.text;
    return texts;
}

} // namespace

class MessageBoxTest : public QObject {
    Q_OBJECT

private slots:
    void runGoesOnAfterABox_data();
    void runGoesOnAfterABox();
};

void MessageBoxTest::runGoesOnAfterABox_data()
{
    QTest::addColumn<QString>("maxP");
    QTest::addColumn<QString>("rays");
    QTest::addColumn<bool>("airy");
    QTest::addColumn<bool>("minMax");
    QTest::addColumn<QString>("notice");
    QTest::newRow("Airy without order 2") << "1" << "200" << true << false
                                          << "No primary rainbow found among the order-2 rays.";
    QTest::newRow("50 rays") << "4" << "50" << false << false << "Ray number should be more than 100.";
    QTest::newRow("100000 rays") << "4" << "100000" << false << false << "Number of rays is limited to 5000";
    QTest::newRow("Min/Max mode with Airy") << "4" << "200" << true << true
                                            << "No primary rainbow found among the order-2 rays.";
}

void MessageBoxTest::runGoesOnAfterABox()
{
    QFETCH(QString, maxP);
    QFETCH(QString, rays);
    QFETCH(bool, airy);
    QFETCH(bool, minMax);
    QFETCH(QString, notice);

    WorkFolder folder;
    folder.copyDefaultParameterFile();
    orvane::test::BoxAnswerer answerer;
    MainWindow form;  // real boxes
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(orvane::test::WaitForRun(form));  // the first diagram, started with the window
    QVERIFY2(answerer.boxes.empty(), qPrintable(Texts(answerer, false).join(" | ") + Texts(answerer, true).join(" | ")));
    folder.writeFile(QStringLiteral("Orvane_t.dat"), "from before\r\n");

    form.EdtMaxp->setText(maxP);
    form.LblEdtNumRays->setText(rays);
    form.ChBxAiry->setChecked(airy);
    form.ChkBxMinMax->setChecked(minMax);
    form.BtnCalcDiagClick();
    QVERIFY(orvane::test::WaitForRun(form));

    QVERIFY2(Texts(answerer, true).isEmpty(), qPrintable(Texts(answerer, true).join(" | ")));
    QVERIFY2(Texts(answerer, false).contains(notice), qPrintable(Texts(answerer, false).join(" | ")));
    QFile total(folder.file(QStringLiteral("Orvane_t.dat")));
    QVERIFY(total.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = total.readAll().split('\n');
    QCOMPARE(lines.size(), 1002);  // 1001 lines and the empty rest after the last line end
    QVERIFY(lines[0].startsWith("# theta[deg.] Intensity"));
}

ORVANE_APP_TEST_MAIN(MessageBoxTest)
#include "tst_messageboxes.moc"
