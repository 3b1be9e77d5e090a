// The window's computations in the background: runs that show message boxes part-way and
// still succeed, progress and Cancel, one run at a time, resizes gathered into one picture,
// Enter in a field, and the parameters saved and opened again.
#include <vector>

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "AppTestSupport.h"
#include "app/MainWindow.h"
#include "base/MessageSink.h"

using orvane::RecordingSink;
using orvane::MainWindow;
using orvane::test::AskForLargestRun;
using orvane::test::BoxAnswerer;
using orvane::test::ReadFile;
using orvane::test::WaitForRun;
using orvane::test::WorkFolder;

namespace {


// Every file of the folder with its bytes.
QMap<QString, QByteArray> Snapshot(const WorkFolder& folder)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : folder.entries())
        files.insert(name, ReadFile(folder.file(name)));
    return files;
}

} // namespace

class WindowRunsTest : public QObject {
    Q_OBJECT

private slots:
    void warningBoxesDoNotFailTheRun_data();
    void warningBoxesDoNotFailTheRun();
    void progressAndCancelChangeNoFile_data();
    void progressAndCancelChangeNoFile();
    void closingDuringARunChangesNoFile();
    void resizesAreGatheredIntoOnePicture();
    void pictureDrawnAgainWhenShownAtAnotherSize();
    void enterRunsThePageComputation_data();
    void enterRunsThePageComputation();
    void parametersSavedAndOpenedAgain();
};

// Runs that show a box part-way (read on the window's thread, or raised by the run on its
// own thread while it waits for the OK) end as orvane-batch ends them: the total written,
// no error. The boxes are real message boxes, answered as a user would.
void WindowRunsTest::warningBoxesDoNotFailTheRun_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("rays");
    QTest::addColumn<bool>("minMax");
    QTest::addColumn<bool>("airy");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("fromTheRun");  // raised by the run on its thread, not while reading
    const QString noRainbow = QStringLiteral("No primary rainbow found among the order-2 rays.");
    QTest::newRow("bubble + Airy") << "0.75" << "200" << false << true << noRainbow << true;
    QTest::newRow("50 rays") << "1.333" << "50" << false << false << "Ray number should be more than 100." << false;
    QTest::newRow("100000 rays") << "1.333" << "100000" << false << false << "Number of rays is limited to 5000"
                                 << false;
    QTest::newRow("Min/Max -25..25 + Airy") << "1.333" << "200" << true << true << noRainbow << true;
}

void WindowRunsTest::warningBoxesDoNotFailTheRun()
{
    QFETCH(QString, index);
    QFETCH(QString, rays);
    QFETCH(bool, minMax);
    QFETCH(bool, airy);
    QFETCH(QString, message);
    QFETCH(bool, fromTheRun);
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    MainWindow form;  // message boxes
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QString total = folder.file(QStringLiteral("Orvane_t.dat"));
    QVERIFY(QFile::remove(total));

    form.Edtmr->setText(index);
    form.LblEdtNumRays->setText(rays);
    form.ChkBxMinMax->setChecked(minMax);
    form.ChBxAiry->setChecked(airy);
    // Noted with each box: the run is under way and has not written its total yet, i.e. it
    // waits for the answer.
    BoxAnswerer answerer([&] { return form.isRunning() && !QFileInfo::exists(total); });
    QSignalSpy finished(&form, &MainWindow::runFinished);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));

    QCOMPARE(answerer.texts(), QStringList{message});
    QCOMPARE(answerer.boxes[0].note, fromTheRun);
    QCOMPARE(finished.size(), 1);
    QVERIFY(finished[0][0].toBool());
    for (const BoxAnswerer::Box& box : answerer.boxes)
        QVERIFY2(box.icon != QMessageBox::Critical, qPrintable(box.text));
    QVERIFY(QFileInfo::exists(total));
    QVERIFY(!form.Chart1->staleNoticeShown());
}

void WindowRunsTest::progressAndCancelChangeNoFile_data()
{
    QTest::addColumn<bool>("escape");  // else the Cancel button
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Esc") << true;
}

void WindowRunsTest::progressAndCancelChangeNoFile()
{
    QFETCH(bool, escape);
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.PrgRun->isVisible());
    QVERIFY(!form.BtnCancel->isVisible());
    const auto before = Snapshot(folder);
    QVERIFY(before.contains(QStringLiteral("Orvane_t.dat")));

    AskForLargestRun(form);
    QSignalSpy finished(&form, &MainWindow::runFinished);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    // The window answers at once, in its running state.
    QVERIFY(form.isRunning());
    QVERIFY(!form.Button1->isEnabled());
    QVERIFY(!form.BtnCompute->isEnabled());
    QVERIFY(!form.ActOpenParameters->isEnabled());
    QVERIFY(form.PrgRun->isVisible());
    QVERIFY(form.BtnCancel->isVisible() && form.BtnCancel->isEnabled());

    // A second start, of either computation, is refused while it runs.
    form.BtnCalcDiagClick();
    form.BtnRaytracingClick();
    QVERIFY(form.LblStatus->text().contains(QLatin1String("running")));
    QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("Orvane.eps"))));

    // The status beside the progress bar names the stage the run reports, the bar moves.
    QTRY_VERIFY(form.backgroundRun().progress().known);
    QTRY_VERIFY2(form.LblStatus->text().startsWith(QLatin1String("Tracing rays")) ||
                     form.LblStatus->text().startsWith(QString::fromUtf8("Assembling orders p=0\u2013" "50")),
                 qPrintable(form.LblStatus->text()));
    QTRY_VERIFY(form.PrgRun->maximum() > 0 && form.PrgRun->value() > 0);

    if (escape)
        QTest::keyClick(form.EdtWl, Qt::Key_Escape);
    else
        QTest::mouseClick(form.BtnCancel, Qt::LeftButton);
    QVERIFY(WaitForRun(form, 30000));

    // A failed run: no file changed, no box, the chart says it shows the earlier diagram.
    QCOMPARE(finished.size(), 1);
    QVERIFY(!finished[0][0].toBool());
    QCOMPARE(Snapshot(folder), before);
    QVERIFY2(sink.messages.empty(), sink.messages.empty() ? "" : sink.messages[0].c_str());
    QVERIFY(form.Chart1->staleNoticeShown());
    QVERIFY(form.Chart1->staleNoticeText().contains(QLatin1String("cancelled")));
    QVERIFY(form.LblStatus->text().contains(QLatin1String("cancelled")));
    QVERIFY(form.Button1->isEnabled() && form.BtnCompute->isEnabled());
    QVERIFY(!form.PrgRun->isVisible());
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // The next good run takes the notice away.
    form.LblEdtNumRays->setText(QStringLiteral("200"));
    form.LblEdtNumSca->setText(QStringLiteral("1000"));
    form.EdtMaxp->setText(QStringLiteral("4"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QCOMPARE(finished.size(), 2);
    QVERIFY(finished[1][0].toBool());
    QVERIFY(!form.Chart1->staleNoticeShown());
}

void WindowRunsTest::closingDuringARunChangesNoFile()
{
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    QMap<QString, QByteArray> before;
    {
        RecordingSink sink;
        MainWindow form(&sink);
        QVERIFY(WaitForRun(form));
        before = Snapshot(folder);
        AskForLargestRun(form);
        form.BtnCalcDiagClick();
        QVERIFY(form.isRunning());
        QTRY_VERIFY(form.backgroundRun().progress().known);
        form.close();
    }
    QCOMPARE(Snapshot(folder), before);
}

void WindowRunsTest::resizesAreGatheredIntoOnePicture()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy finished(&form, &MainWindow::runFinished);

    // Resizes on the picture's page while a diagram runs: one picture once it has ended,
    // at the last size.
    form.BtnCalcDiagClick();
    QVERIFY(form.isRunning());
    form.PgRayTracing->setCurrentIndex(MainWindow::kPageRayTracing);
    for (int step = 1; step <= 4; ++step)
        form.resize(form.width() + 10, form.height() + 5);
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(WaitForRun(form));
    QTest::qWait(50);
    QCOMPARE(finished.size(), 2);
    QCOMPARE(form.graph->image().size(), form.graph->size());
    QVERIFY(QFileInfo::exists(folder.file(QStringLiteral("Orvane.eps"))));

    // The same with nothing running: the resizes of one turn of the event loop draw once.
    for (int step = 1; step <= 4; ++step)
        form.resize(form.width() - 10, form.height() - 5);
    QTRY_COMPARE(finished.size(), 3);
    QVERIFY(WaitForRun(form));
    QTest::qWait(50);
    QCOMPARE(finished.size(), 3);
    QCOMPARE(form.graph->image().size(), form.graph->size());
    QVERIFY2(sink.messages.size() == 1, sink.messages.back().c_str());  // the missing parameter file
}

void WindowRunsTest::pictureDrawnAgainWhenShownAtAnotherSize()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy finished(&form, &MainWindow::runFinished);
    const QString eps = folder.file(QStringLiteral("Orvane.eps"));

    // Shown before any picture: nothing is drawn.
    form.PgRayTracing->setCurrentIndex(MainWindow::kPageRayTracing);
    QTest::qWait(30);
    QCOMPARE(finished.size(), 0);
    QVERIFY(form.KeyOrders->orders().empty());

    form.EdtMaxp->setText(QStringLiteral("7"));
    QTest::mouseClick(form.BtnCompute, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QCOMPARE(finished.size(), 1);
    // The key lists the orders drawn, each swatch inside the key.
    QCOMPARE(form.KeyOrders->orders(), std::vector<int>({0, 1, 2, 3, 4, 5, 6, 7}));
    for (int n = 0; n < 8; ++n)
        QVERIFY2(form.KeyOrders->rect().contains(form.KeyOrders->itemRect(n)), qPrintable(QString::number(n)));

    // Another page and back at the same size: the picture kept, nothing drawn.
    form.PgRayTracing->setCurrentIndex(MainWindow::kPageAbout);
    form.PgRayTracing->setCurrentIndex(MainWindow::kPageRayTracing);
    QTest::qWait(30);
    QCOMPARE(finished.size(), 1);

    // Resized while the diagram is shown: drawn anew, at the new size, when shown again.
    QVERIFY(QFile::remove(eps));
    form.PgRayTracing->setCurrentIndex(MainWindow::kPageDiagram);
    form.resize(form.width() + 60, form.height() + 30);
    QTest::qWait(30);
    QVERIFY(!QFileInfo::exists(eps));
    form.PgRayTracing->setCurrentIndex(MainWindow::kPageRayTracing);
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(WaitForRun(form));
    QCOMPARE(form.graph->image().size(), form.graph->size());
    QVERIFY(QFileInfo::exists(eps));
}

void WindowRunsTest::enterRunsThePageComputation_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("field");  // object name given below
    QTest::addColumn<QString>("written");  // the file the computation writes; empty: none runs
    QTest::newRow("diagram page, its field") << int(MainWindow::kPageDiagram) << "EdtWl" << "Orvane_t.dat";
    QTest::newRow("diagram page, shared field") << int(MainWindow::kPageDiagram) << "EdtMaxp" << "Orvane_t.dat";
    QTest::newRow("picture page, its field") << int(MainWindow::kPageRayTracing) << "LblEdtSizeEll" << "Orvane.eps";
    QTest::newRow("picture page, ray count box") << int(MainWindow::kPageRayTracing) << "CbxNumRay" << "Orvane.eps";
    QTest::newRow("picture page, shared field") << int(MainWindow::kPageRayTracing) << "Edtmr" << "Orvane.eps";
    QTest::newRow("about page") << int(MainWindow::kPageAbout) << "Edtmr" << "";
}

void WindowRunsTest::enterRunsThePageComputation()
{
    QFETCH(int, page);
    QFETCH(QString, field);
    QFETCH(QString, written);
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QMap<QString, QWidget*> fields = {{"EdtWl", form.EdtWl},
                                            {"EdtMaxp", form.EdtMaxp},
                                            {"LblEdtSizeEll", form.LblEdtSizeEll},
                                            {"CbxNumRay", form.CbxNumRay->lineEdit()},
                                            {"Edtmr", form.Edtmr}};
    form.PgRayTracing->setCurrentIndex(page);
    QSignalSpy finished(&form, &MainWindow::runFinished);
    const auto before = folder.entries();

    QTest::keyClick(fields.value(field), Qt::Key_Return);
    QVERIFY(WaitForRun(form));
    QTest::qWait(20);
    if (written.isEmpty()) {
        QCOMPARE(finished.size(), 0);
        QCOMPARE(folder.entries(), before);
    } else {
        QCOMPARE(finished.size(), 1);
        QVERIFY(finished[0][0].toBool());
        QVERIFY(QFileInfo::exists(folder.file(written)));
    }
}

void WindowRunsTest::parametersSavedAndOpenedAgain()
{
    WorkFolder folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("sets")));
    const QString sets = folder.file(QStringLiteral("sets"));
    // The tests keep their settings to themselves.
    QVERIFY(QSettings().fileName().contains(QLatin1String("OrvaneTests")));
    QSettings().remove(QStringLiteral("parameters"));

    RecordingSink sink;
    MainWindow form(&sink);  // no parameter file here: its error, no run
    QCOMPARE(int(sink.messages.size()), 1);
    QStringList offered;  // the folder each dialog opened in
    QString answer;
    form.setFileChooser([&](bool, const QString& dir) {
        offered << dir;
        return answer;
    });

    form.Edtmr->setText(QStringLiteral("1.5"));
    form.EdtRadius_a->setText(QStringLiteral("30"));
    form.EdtMaxp->setText(QStringLiteral("6"));
    form.LblEdtNumRays->setText(QStringLiteral("300"));
    answer = sets + QStringLiteral("/drop.par");
    form.SaveParametersClick();
    QCOMPARE(offered.value(0), QDir::currentPath());  // nothing remembered yet
    QCOMPARE(ReadFile(answer), QByteArray("30 50 50\r\n0.6328\r\n1.5 0\r\n0 1\r\n0 6\r\n300 1000\r\n0\r\n"));
    QCOMPARE(form.parameterFolder(), sets);

    // Opened again: the fields take the file's values and its diagram is computed.
    form.Edtmr->setText(QStringLiteral("1.333"));
    form.EdtRadius_a->setText(QStringLiteral("50"));
    form.EdtMaxp->setText(QStringLiteral("4"));
    form.LblEdtNumRays->setText(QStringLiteral("200"));
    form.ChBxAiry->setChecked(true);  // not in the file: kept
    QSignalSpy finished(&form, &MainWindow::runFinished);
    form.OpenParametersClick();
    QCOMPARE(offered.value(1), sets);
    QCOMPARE(form.Edtmr->text(), QStringLiteral("1.5"));
    QCOMPARE(form.EdtRadius_a->text(), QStringLiteral("30"));
    QCOMPARE(form.EdtMaxp->text(), QStringLiteral("6"));
    QCOMPARE(form.LblEdtNumRays->text(), QStringLiteral("300"));
    QVERIFY(form.ChBxAiry->isChecked());
    QVERIFY(WaitForRun(form));
    QCOMPARE(finished.size(), 1);
    QVERIFY(QFileInfo::exists(folder.file(QStringLiteral("Orvane_6.dat"))));

    // A file that is no parameter file: its error, the fields as they were, no run.
    folder.writeFile(QStringLiteral("bad.par"), "50 50 fifty\r\n");
    QVERIFY(!form.openParameters(folder.file(QStringLiteral("bad.par"))));
    QCOMPARE(int(sink.messages.size()), 2);
    QVERIFY2(QString::fromStdString(sink.messages[1]).contains(QLatin1String("bad.par")), sink.messages[1].c_str());
    QCOMPARE(form.EdtRadius_a->text(), QStringLiteral("30"));
    QVERIFY(!form.isRunning());
    QCOMPARE(form.parameterFolder(), sets);

    // A field that is no number is not saved; nor is a file in a missing folder.
    form.EdtWl->setText(QStringLiteral("red"));
    QVERIFY(!form.saveParameters(sets + QStringLiteral("/red.par")));
    QVERIFY(QString::fromStdString(sink.messages.back()).contains(QLatin1String("'red'")));
    QVERIFY(!QFileInfo::exists(sets + QStringLiteral("/red.par")));
    form.EdtWl->setText(QStringLiteral("0.6328"));
    QVERIFY(!form.saveParameters(folder.file(QStringLiteral("missing/x.par"))));
    QCOMPARE(int(sink.messages.size()), 4);
    QCOMPARE(form.parameterFolder(), sets);

    // A dialog closed without a choice does nothing.
    answer.clear();
    form.OpenParametersClick();
    form.SaveParametersClick();
    QCOMPARE(int(sink.messages.size()), 4);
    QVERIFY(!form.isRunning());
}

ORVANE_APP_TEST_MAIN(WindowRunsTest)
#include "tst_windowruns.moc"
