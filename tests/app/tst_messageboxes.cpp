// The window's real message boxes in the middle of a diagram run, on a real X server, answered
// as a person would: the box runs the toolkit's own floating point (layout, fonts, painting),
// and the run that waits for it must not take the IEEE flags that leaves for a fault of its own.
#include <QMessageBox>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/OrvaneMain.h"

using orvane::TForm1;
using orvane::test::WorkFolder;

namespace {

struct ShownBox {
    QMessageBox::Icon icon;
    QString text;
};

// Answers every message box as soon as it is shown, and keeps what it said.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer()
    {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            boxes.push_back({box->icon(), box->text()});
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start();
    }
    QStringList errors() const
    {
        QStringList texts;
        for (const ShownBox& b : boxes)
            if (b.icon == QMessageBox::Critical)
                texts << b.text;
        return texts;
    }
    QStringList notices() const
    {
        QStringList texts;
        for (const ShownBox& b : boxes)
            if (b.icon != QMessageBox::Critical)
                texts << b.text;
        return texts;
    }
    std::vector<ShownBox> boxes;

private:
    QTimer timer_;
};

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
    BoxAnswerer answerer;
    TForm1 form;  // real boxes
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(orvane::test::WaitForRun(form));  // the first diagram, started with the window
    QVERIFY2(answerer.boxes.empty(), qPrintable(answerer.notices().join(" | ") + answerer.errors().join(" | ")));
    folder.writeFile(QStringLiteral("Orvane_t.dat"), "from before\r\n");

    form.EdtMaxp->setText(maxP);
    form.LblEdtNumRays->setText(rays);
    form.ChBxAiry->setChecked(airy);
    form.ChkBxMinMax->setChecked(minMax);
    form.BtnCalcDiagClick();
    QVERIFY(orvane::test::WaitForRun(form));

    QVERIFY2(answerer.errors().isEmpty(), qPrintable(answerer.errors().join(" | ")));
    QVERIFY2(answerer.notices().contains(notice), qPrintable(answerer.notices().join(" | ")));
    QFile total(folder.file(QStringLiteral("Orvane_t.dat")));
    QVERIFY(total.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = total.readAll().split('\n');
    QCOMPARE(lines.size(), 1002);  // 1001 lines and the empty rest after the last line end
    QVERIFY(lines[0].startsWith("# theta[deg.] Intensity"));
}

ORVANE_APP_TEST_MAIN(MessageBoxTest)
#include "tst_messageboxes.moc"
