// The main window on real widgets: start-up with and without a parameter file, the size
// rules, the read-out of a clicked point, the clipboard copy, the grid handlers and the
// errors caught at the handlers' boundaries.
#include <vector>

#include <QClipboard>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "AppTestSupport.h"
#include "app/MainWindow.h"
#include "base/MessageSink.h"

using orvane::RecordingSink;
using orvane::MainWindow;
using orvane::test::BoxAnswerer;
using orvane::test::ReadFile;
using orvane::test::WaitForRun;
using orvane::test::WorkFolder;

namespace {

QStringList FieldTexts(const MainWindow& form)
{
    return {form.EdtRadius_a->text(),  form.EdtRadius_b->text(), form.EdtRadius_c->text(),
            form.EdtWl->text(),        form.Edtmr->text(),       form.Edtmi->text(),
            form.EdtIncAng->text(),    form.CbxPol->currentText(), form.EdtMinp->text(),
            form.EdtMaxp->text(),      form.LblEdtNumRays->text(), form.LblEdtNumSca->text()};
}

const QStringList kDesignDefaults = {"50", "50", "50", "0.6328", "1.333", "0.0", "0", "1", "0", "4", "200", "1000"};

// The series that hold points and are shown.
int ShownSeriesWithPoints(const orvane::ScatteringChart& chart)
{
    int count = 0;
    for (int i = 0; i < chart.graphCount(); ++i)
        count += chart.graph(i)->visible() && !chart.graph(i)->data()->isEmpty() ? 1 : 0;
    return count;
}

QString Joined(const RecordingSink& sink)
{
    QStringList all;
    for (const std::string& m : sink.messages)
        all << QString::fromStdString(m);
    return all.join(QLatin1String(" | "));
}

// The chart menu's exact-theory item as the menu would open now.
struct ExactItem {
    bool present = false;
    bool enabled = false;
    bool checked = false;
    QString toolTip;
};

ExactItem ExactTheoryItem(orvane::ScatteringChart& chart, bool trigger = false)
{
    const auto menu = chart.createContextMenu();
    for (QAction* action : menu->actions()) {
        if (action->text() != QLatin1String("Compare with exact theory"))
            continue;
        ExactItem item{true, action->isEnabled(), action->isChecked(), action->toolTip()};
        if (trigger)
            action->trigger();
        return item;
    }
    return {};
}

// Pixels of the image that differ from its top-left pixel (the background).
int DrawnPixels(const QImage& image)
{
    const QRgb background = image.pixel(0, 0);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) != background ? 1 : 0;
    return count;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startWithDefaultParameterFile();
    void startWithUnusableParameterFile_data();
    void startWithUnusableParameterFile();
    void widerAndTallerWindowGrowsChartPictureAndPages();
    void resizeDrawsOnlyOnRayTracingPage();
    void pictureStaysWhenPageShownAgain();
    void clickOnPointShowsReadOut();
    void readOutPlacement_data();
    void readOutPlacement();
    void graphCopyPutsChartOnClipboard();
    void rayCountChangeClearsRowsBeyondLastRay();
    void gridClickAndFocusLossRewritePositions();
    void badFieldTextShowsErrorAndWindowGoesOn();
    void programMessagesGoToSinkAndWorkGoesOn();
    void failedRunKeepsPreviousChart();
    void closeButtonsCloseWindow();
    void exactTheoryItemOnlyForASphere_data();
    void exactTheoryItemOnlyForASphere();
    void compareWithExactTheoryAddsAndRemovesTheCurve();
    void entryFresnelBoxSitsFreeAndReachesTheRun();
    void sharpDiffractionBoxSitsFreeAndReachesTheDiffraction();
    void uniformRainbowTickReachesTheTotal();
};

void MainWindowTest::startWithDefaultParameterFile()
{
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));

    QVERIFY2(sink.messages.empty(), qPrintable(Joined(sink)));
    // The file's values as the fields show them: 0.0 comes back as "0".
    QCOMPARE(FieldTexts(form),
             QStringList({"50", "50", "50", "0.6328", "1.333", "0", "0", "1", "0", "4", "200", "1000"}));
    QCOMPARE(form.PgRayTracing->currentIndex(), int(MainWindow::kPageDiagram));
    QVERIFY(!form.LblX->isVisible());

    // The first diagram: orders 0..4 and the total in the chart, the legend shown.
    for (int p = 0; p <= 4; ++p) {
        QVERIFY2(form.Chart1->orderSeries(p)->visible(), qPrintable(QString::number(p)));
        QCOMPARE(form.Chart1->orderSeries(p)->data()->size(), 200);
    }
    QVERIFY(!form.Chart1->orderSeries(5)->visible());
    QVERIFY(form.Chart1->totalSeries()->visible());
    QCOMPARE(form.Chart1->totalSeries()->data()->size(), 1000);
    QCOMPARE(ShownSeriesWithPoints(*form.Chart1), 6);
    QVERIFY(form.Chart1->legend->visible());
    QCOMPARE(form.Chart1->legend->itemCount(), 6);
    QVERIFY(!form.Chart1->mieSeries()->visible());  // not asked for

    for (const char* name : {"Orvane_0.dat", "Orvane_1.dat", "Orvane_2.dat", "Orvane_3.dat", "Orvane_4.dat",
                             "Orvane_t.dat", "Orvane_d.dat"})
        QVERIFY2(QFileInfo::exists(folder.file(name)), name);
    QVERIFY(!QFileInfo::exists(folder.file("Orvane_5.dat")));
    QVERIFY(!QFileInfo::exists(folder.file("Orvane.eps")));
    QVERIFY(!QFileInfo::exists(folder.file("Orvane_Mie.dat")));

    // The grid lists the picture's 20 positions, read by the run.
    QCOMPARE(form.StrGrdPosit->cell(0), QStringLiteral("Max:  50.00000"));
    QCOMPARE(form.StrGrdPosit->cell(1), QStringLiteral(" -50.00000"));
    QCOMPARE(form.StrGrdPosit->cell(20), QStringLiteral("  50.00000"));
}

void MainWindowTest::startWithUnusableParameterFile_data()
{
    QTest::addColumn<QByteArray>("content");  // empty: no file at all
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("missing") << QByteArray() << QStringLiteral("Orvane.par");
    QTest::newRow("polarisation 1.0") << QByteArray("50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1.0\r\n0 4\r\n200 1000\r\n0\r\n")
                                      << QStringLiteral("1.0");
}

void MainWindowTest::startWithUnusableParameterFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, messagePart);
    WorkFolder folder;
    if (!content.isEmpty())
        folder.writeFile(QStringLiteral("Orvane.par"), content);
    const QStringList before = folder.entries();

    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));

    // The error is shown once, the fields keep the design's texts, nothing is computed.
    QCOMPARE(int(sink.messages.size()), 1);
    QVERIFY2(QString::fromStdString(sink.messages[0]).contains(messagePart), sink.messages[0].c_str());
    QCOMPARE(FieldTexts(form), kDesignDefaults);
    QCOMPARE(form.CbxNumRay->currentText(), QStringLiteral("20"));
    QCOMPARE(form.LblEdtSizeEll->text(), QStringLiteral("0.5"));
    QCOMPARE(ShownSeriesWithPoints(*form.Chart1), 0);
    QVERIFY(!form.Chart1->legend->visible());
    QCOMPARE(form.StrGrdPosit->cell(1), QString());
    QCOMPARE(folder.entries(), before);
}

void MainWindowTest::widerAndTallerWindowGrowsChartPictureAndPages()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // What the window gains in width and height goes to the pages, the chart and the
    // picture; the grid gains only height, and nothing else moves.
    auto sizes = [&form] {
        form.PgRayTracing->setCurrentIndex(MainWindow::kPageRayTracing);
        form.layout()->activate();
        form.TabRayTracing->layout()->activate();
        const QSize picture = form.graph->size();
        form.PgRayTracing->setCurrentIndex(MainWindow::kPageDiagram);
        form.TabDiagram->layout()->activate();
        return std::vector<QSize>{form.PgRayTracing->size(), form.Chart1->size(), picture};
    };
    const std::vector<QSize> before = sizes();
    const QRect grid = form.StrGrdPosit->geometry();
    const QPoint chartAt = form.Chart1->pos();
    const QPoint buttonAt = form.Button1->pos();

    form.resize(form.width() + 100, form.height() + 40);
    QTRY_COMPARE(form.PgRayTracing->width(), before[0].width() + 100);
    const std::vector<QSize> after = sizes();
    for (std::size_t i = 0; i < before.size(); ++i)
        QCOMPARE(after[i], before[i] + QSize(100, 40));
    QCOMPARE(form.StrGrdPosit->width(), grid.width());
    QCOMPARE(form.StrGrdPosit->height(), grid.height() + 40);
    QCOMPARE(form.StrGrdPosit->pos(), grid.topLeft());
    QCOMPARE(form.Chart1->pos(), chartAt);
    // The buttons stay at the right edge of the page.
    QCOMPARE(form.Button1->pos(), buttonAt + QPoint(100, 0));
    QVERIFY2(sink.messages.size() == 1, qPrintable(Joined(sink)));  // the missing parameter file only
}

void MainWindowTest::resizeDrawsOnlyOnRayTracingPage()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QString eps = folder.file(QStringLiteral("Orvane.eps"));

    for (int page : {int(MainWindow::kPageDiagram), int(MainWindow::kPageAbout)}) {
        form.PgRayTracing->setCurrentIndex(page);
        form.resize(form.width() + 20, form.height() + 10);
        QTest::qWait(20);
        QVERIFY2(!QFileInfo::exists(eps), qPrintable(QString::number(page)));
        QVERIFY(form.graph->image().isNull());
    }

    // Showing the page draws nothing; the next resize draws at the new size and writes the file.
    form.PgRayTracing->setCurrentIndex(MainWindow::kPageRayTracing);
    QVERIFY(!QFileInfo::exists(eps));
    form.resize(form.width() + 30, form.height());
    QTRY_VERIFY(QFileInfo::exists(eps));
    QVERIFY(WaitForRun(form));
    QCOMPARE(form.graph->image().size(), form.graph->size());
    QVERIFY(DrawnPixels(form.graph->image()) > 0);

    // And again at every resize on that page.
    QVERIFY(QFile::remove(eps));
    form.resize(form.width() - 60, form.height() - 20);
    QTRY_VERIFY(QFileInfo::exists(eps));
    QVERIFY(WaitForRun(form));
    QCOMPARE(form.graph->image().size(), form.graph->size());
    QVERIFY2(sink.messages.size() == 1, qPrintable(Joined(sink)));  // the missing parameter file only
}

void MainWindowTest::pictureStaysWhenPageShownAgain()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.PgRayTracing->setCurrentIndex(MainWindow::kPageRayTracing);
    QTest::mouseClick(form.BtnCompute, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    const QImage drawn = form.graph->image();
    QVERIFY(DrawnPixels(drawn) > 0);

    form.PgRayTracing->setCurrentIndex(MainWindow::kPageAbout);
    QTest::qWait(20);
    form.PgRayTracing->setCurrentIndex(MainWindow::kPageRayTracing);
    QTest::qWait(20);
    // What the paint box shows after being uncovered is the picture drawn before.
    const QImage shown = form.graph->grab().toImage().convertToFormat(drawn.format());
    QCOMPARE(shown.size(), drawn.size());
    QVERIFY(shown == drawn);
}

void MainWindowTest::clickOnPointShowsReadOut()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    orvane::DiagramSeries result;
    result.orders[0].active = true;
    result.orders[0].title = "p=0";
    result.orders[0].color = 0x00FF00;
    result.orders[0].x = {-100.0, 45.5, 120.0};
    result.orders[0].y = {-6.0, -3.2, -1.0};
    form.Chart1->setDiagram(result);

    QCPGraph* series = form.Chart1->orderSeries(0);
    const QPoint at = series->coordsToPixels(45.5, -3.2).toPoint();
    QTest::mouseClick(form.Chart1, Qt::LeftButton, Qt::NoModifier, at);

    QVERIFY(form.LblX->isVisible());
    QCOMPARE(form.LblX->text(), QStringLiteral("        45.5,         -3.2"));

    // A click far from every point leaves the read-out as it was.
    QTest::mouseClick(form.Chart1, Qt::LeftButton, Qt::NoModifier,
                      series->coordsToPixels(-100.0, -1.0).toPoint());
    QCOMPARE(form.LblX->text(), QStringLiteral("        45.5,         -3.2"));

    // The next diagram run empties it; the label stays where it was.
    const QPoint placed = form.LblX->pos();
    form.BtnCalcDiagClick();
    QVERIFY(WaitForRun(form));
    QVERIFY2(sink.messages.size() == 1, qPrintable(Joined(sink)));  // the missing parameter file only
    QCOMPARE(form.LblX->text(), QString());
    QCOMPARE(form.LblX->pos(), placed);
}

void MainWindowTest::readOutPlacement_data()
{
    // Mouse position as offsets: x from the chart's right edge when fromRight, y as is.
    QTest::addColumn<bool>("fromRight");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("inside: just above the click") << false << 120 << 150;
    QTest::newRow("near the right edge: held at the limit") << true << 5 << 150;
    QTest::newRow("near the top: top at the click") << false << 120 << 3;
    QTest::newRow("top right corner") << true << 2 << 0;
}

void MainWindowTest::readOutPlacement()
{
    QFETCH(bool, fromRight);
    QFETCH(int, x);
    QFETCH(int, y);
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));

    orvane::DiagramSeries result;
    result.orders[2].active = true;
    result.orders[2].x = {45.5};
    result.orders[2].y = {-3.2};
    form.Chart1->setDiagram(result);
    QCPGraph* series = form.Chart1->orderSeries(2);

    // A first click sets the text, so that the label's width is that of a read-out.
    form.Chart1ClickSeries(series, 0, 10, 100);
    const int width = form.LblX->width();
    const int height = form.LblX->height();
    QVERIFY(height > 0 && width > 0);

    const int mouseX = fromRight ? form.Chart1->width() - x : x;
    form.Chart1ClickSeries(series, 0, mouseX, y);

    const int limit = form.Chart1->x() + form.Chart1->width() - MainWindow::kChartRightMargin - width;
    QCOMPARE(form.LblX->x(), mouseX > limit ? limit : mouseX);
    QCOMPARE(form.LblX->y(), y < height ? y : y - height);
    if (fromRight)
        QVERIFY(form.LblX->x() < mouseX);
    QCOMPARE(form.LblX->text(), QStringLiteral("        45.5,         -3.2"));
    QVERIFY(!form.LblX->isHidden());
}

void MainWindowTest::graphCopyPutsChartOnClipboard()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);  // no parameter file: the empty chart
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QApplication::clipboard()->clear();

    QTest::mouseClick(form.CopyGrph, Qt::LeftButton);
    const QImage copied = QApplication::clipboard()->image();
    QVERIFY(!copied.isNull());
    QCOMPARE(copied.size(), form.Chart1->size());
    // The axes and their titles are on it.
    QVERIFY(DrawnPixels(copied) > 1000);
    // The status line says so.
    QCOMPARE(form.LblStatus->text(), QString::fromUtf8("Chart image copied to the clipboard (%1 \u00D7 %2 pixels).")
                                         .arg(copied.width())
                                         .arg(copied.height()));
}

void MainWindowTest::rayCountChangeClearsRowsBeyondLastRay()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));

    // A change of the text runs the handler: 30 rays fill every visible row and the rows
    // beyond them, kept by the fields.
    form.CbxNumRay->setEditText(QStringLiteral("30"));
    for (int row = 1; row <= 24; ++row)
        QVERIFY2(!form.StrGrdPosit->cell(row).isEmpty(), qPrintable(QString::number(row)));
    QCOMPARE(QString::fromStdString(form.fields().StrGrdPosit.cell(30)), QStringLiteral("  50.00000"));

    // Typed: "5" after clearing the text; rows 6..24 are emptied.
    form.CbxNumRay->lineEdit()->selectAll();
    QTest::keyClicks(form.CbxNumRay->lineEdit(), QStringLiteral("5"));
    QCOMPARE(form.CbxNumRay->currentText(), QStringLiteral("5"));
    QCOMPARE(form.StrGrdPosit->cell(1), QStringLiteral(" -50.00000"));
    QCOMPARE(form.StrGrdPosit->cell(5), QStringLiteral("  50.00000"));
    for (int row = 6; row <= 24; ++row)
        QVERIFY2(form.StrGrdPosit->cell(row).isEmpty(), qPrintable(QString::number(row)));
    QCOMPARE(form.StrGrdPosit->cell(0), QStringLiteral("Max:  50.00000"));

    // The polarisation box runs the same handler.
    form.CbxNumRay->setEditText(QStringLiteral("3"));
    form.CbxPol->setEditText(QStringLiteral("0"));
    QCOMPARE(form.fields().CbxPol, std::string("0"));  // taken in by the handler
    QVERIFY(form.StrGrdPosit->cell(4).isEmpty());
    QVERIFY2(sink.messages.size() == 1, qPrintable(Joined(sink)));  // the missing parameter file only
}

void MainWindowTest::gridClickAndFocusLossRewritePositions()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    // A click in a cell: positions regenerated, then clamped and shown in the short form.
    const QRect cell = form.StrGrdPosit->visualItemRect(form.StrGrdPosit->item(1, 0));
    QTest::mouseClick(form.StrGrdPosit->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(form.StrGrdPosit->cell(1), QStringLiteral("-49.9999999999995"));
    QCOMPARE(form.StrGrdPosit->cell(2), QStringLiteral("-44.73684"));
    QCOMPARE(form.StrGrdPosit->cell(20), QStringLiteral("49.9999999999995"));

    // A value typed into the grid is replaced when the grid loses the focus.
    form.StrGrdPosit->setCell(3, QStringLiteral("12345"));
    form.StrGrdPosit->setFocus();
    QTRY_VERIFY(form.StrGrdPosit->hasFocus());
    form.EdtWl->setFocus();
    QTRY_COMPARE(form.StrGrdPosit->cell(3), QStringLiteral("-39.47368"));
    QVERIFY2(sink.messages.size() == 1, qPrintable(Joined(sink)));
}

void MainWindowTest::badFieldTextShowsErrorAndWindowGoesOn()
{
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY2(sink.messages.empty(), qPrintable(Joined(sink)));
    const auto total = form.Chart1->totalSeries()->data()->size();

    // A word in the wavelength field: the conversion error quoting it, the run abandoned.
    form.EdtWl->setText(QStringLiteral("abc"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QCOMPARE(int(sink.messages.size()), 1);
    QVERIFY2(QString::fromStdString(sink.messages[0]).contains(QLatin1String("'abc'")), sink.messages[0].c_str());
    QCOMPARE(form.Chart1->totalSeries()->data()->size(), total);

    // The same error from a typed ray count, every keystroke a reading of the inputs.
    form.EdtWl->setText(QStringLiteral("0.6328"));
    form.CbxNumRay->lineEdit()->selectAll();
    QTest::keyClicks(form.CbxNumRay->lineEdit(), QStringLiteral("x"));
    QCOMPARE(int(sink.messages.size()), 2);
    QVERIFY2(QString::fromStdString(sink.messages[1]).contains(QLatin1String("'x'")), sink.messages[1].c_str());

    // Corrected, the window computes as before.
    form.CbxNumRay->setEditText(QStringLiteral("20"));
    QFile::remove(folder.file(QStringLiteral("Orvane_t.dat")));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QCOMPARE(int(sink.messages.size()), 2);
    QVERIFY(QFileInfo::exists(folder.file(QStringLiteral("Orvane_t.dat"))));
    QCOMPARE(form.Chart1->totalSeries()->data()->size(), total);
}

void MainWindowTest::programMessagesGoToSinkAndWorkGoesOn()
{
    // Records, with each message, the cursor the window showed meanwhile.
    struct CursorSink : RecordingSink {
        std::vector<int> cursors;  // -1: no busy cursor
        void display(const std::string& text) override
        {
            const QCursor* cursor = QApplication::overrideCursor();
            cursors.push_back(cursor != nullptr ? int(cursor->shape()) : -1);
            RecordingSink::display(text);
        }
    };
    WorkFolder folder;
    CursorSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    sink.messages.clear();
    sink.cursors.clear();

    // The limit message of the highest order while the inputs are read; the reading goes on.
    form.EdtMaxp->setText(QStringLiteral("51"));
    form.CbxNumRay->setEditText(QStringLiteral("4"));
    QCOMPARE(int(sink.messages.size()), 1);
    QCOMPARE(QString::fromStdString(sink.messages[0]), QStringLiteral("The max order p is limited to 50"));
    QCOMPARE(sink.cursors[0], -1);
    QCOMPARE(form.StrGrdPosit->cell(4), QStringLiteral("  50.00000"));

    // The same message when a diagram run reads its inputs, under the busy cursor; the run
    // goes on with 50.
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QCOMPARE(int(sink.messages.size()), 2);
    QCOMPARE(QString::fromStdString(sink.messages[1]), QStringLiteral("The max order p is limited to 50"));
    QCOMPARE(sink.cursors[1], int(Qt::BusyCursor));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(form.Chart1->orderSeries(50)->visible());
    QVERIFY(QFileInfo::exists(folder.file(QStringLiteral("Orvane_50.dat"))));
}

void MainWindowTest::failedRunKeepsPreviousChart()
{
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY2(sink.messages.empty(), qPrintable(Joined(sink)));
    QCOMPARE(ShownSeriesWithPoints(*form.Chart1), 6);

    // The total file cannot be written (its name is taken by a folder): the run ends with
    // the input/output error and the chart keeps the previous diagram.
    QFile::remove(folder.file(QStringLiteral("Orvane_t.dat")));
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("Orvane_t.dat")));
    form.EdtMaxp->setText(QStringLiteral("2"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QCOMPARE(int(sink.messages.size()), 1);
    QVERIFY2(QString::fromStdString(sink.messages[0]).contains(QLatin1String("Orvane_t.dat")), sink.messages[0].c_str());
    QCOMPARE(ShownSeriesWithPoints(*form.Chart1), 6);
    QVERIFY(QApplication::overrideCursor() == nullptr);  // the busy cursor is gone
}

void MainWindowTest::closeButtonsCloseWindow()
{
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    for (QPushButton* button : {form.BtnClose, form.Button2}) {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.PgRayTracing->setCurrentIndex(button == form.BtnClose ? MainWindow::kPageRayTracing : MainWindow::kPageDiagram);
        button->click();
        QTRY_VERIFY(!form.isVisible());
    }
}

void MainWindowTest::exactTheoryItemOnlyForASphere_data()
{
    QTest::addColumn<QStringList>("radii");  // a, b, c as typed
    QTest::addColumn<bool>("enabled");
    QTest::newRow("sphere") << QStringList{"50", "50", "50"} << true;
    QTest::newRow("same value, other spelling") << QStringList{"50", "50.0", " 5E1"} << true;
    QTest::newRow("spheroid") << QStringList{"50", "50", "40"} << false;
    QTest::newRow("b differs") << QStringList{"50", "50.0001", "50"} << false;
    QTest::newRow("not a number") << QStringList{"50", "abc", "50"} << false;
    QTest::newRow("empty") << QStringList{"50", "50", ""} << false;
}

void MainWindowTest::exactTheoryItemOnlyForASphere()
{
    QFETCH(QStringList, radii);
    QFETCH(bool, enabled);
    WorkFolder folder;
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    form.EdtRadius_a->setText(radii[0]);
    form.EdtRadius_b->setText(radii[1]);
    form.EdtRadius_c->setText(radii[2]);

    // Decided from the texts as they stand, without a run.
    const ExactItem item = ExactTheoryItem(*form.Chart1);
    QVERIFY(item.present);
    QCOMPARE(item.enabled, enabled);
    QVERIFY(!item.checked);
    const QString why = QStringLiteral("Exact theory is available for spheres only.");
    if (enabled)
        QVERIFY(item.toolTip != why);
    else
        QCOMPARE(item.toolTip, why);
}

void MainWindowTest::compareWithExactTheoryAddsAndRemovesTheCurve()
{
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    QVERIFY2(sink.messages.empty(), qPrintable(Joined(sink)));
    const QString mieFile = folder.file(QStringLiteral("Orvane_Mie.dat"));

    // Ticking the item recomputes at once: the exact curve beside the others, in the legend.
    ExactTheoryItem(*form.Chart1, true);
    QVERIFY(WaitForRun(form));
    QVERIFY(form.compareExact());
    QVERIFY(form.fields().CompareExact);
    QVERIFY2(sink.messages.empty(), qPrintable(Joined(sink)));
    QCPGraph* mie = form.Chart1->mieSeries();
    QVERIFY(mie->visible());
    QCOMPARE(mie->data()->size(), 1000);
    QCOMPARE(mie->pen().color(), QColor(0xE8, 0x96, 0x96));  // the pale exact band
    QVERIFY(form.Chart1->legend->itemWithPlottable(mie) != nullptr);
    QCOMPARE(mie->name(), QStringLiteral("Exact (Mie)"));
    QVERIFY(QFileInfo::exists(mieFile));
    QVERIFY(ExactTheoryItem(*form.Chart1).checked);

    // The tick stays for the next "Calculation".
    QVERIFY(QFile::remove(mieFile));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QVERIFY(QFileInfo::exists(mieFile));
    QCOMPARE(mie->data()->size(), 1000);

    // A spheroid: the item is disabled and a run leaves the curve out without a message
    // each time; back to a sphere, the tick brings it back.
    form.EdtRadius_c->setText(QStringLiteral("40"));
    const ExactItem spheroid = ExactTheoryItem(*form.Chart1);
    QVERIFY(!spheroid.enabled);
    QCOMPARE(spheroid.toolTip, QStringLiteral("Exact theory is available for spheres only."));
    QVERIFY(QFile::remove(mieFile));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QVERIFY2(sink.messages.empty(), qPrintable(Joined(sink)));
    QVERIFY(!mie->visible());
    QVERIFY(!QFileInfo::exists(mieFile));
    QVERIFY(form.Chart1->totalSeries()->visible());
    form.EdtRadius_c->setText(QStringLiteral("50"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QVERIFY(mie->visible());

    // Unticking recomputes without it.
    QVERIFY(QFile::remove(mieFile));
    ExactTheoryItem(*form.Chart1, true);
    QVERIFY(WaitForRun(form));
    QVERIFY(!form.compareExact());
    QVERIFY(!mie->visible());
    QVERIFY(mie->data()->isEmpty());
    QVERIFY(form.Chart1->legend->itemWithPlottable(mie) == nullptr);
    QVERIFY(!QFileInfo::exists(mieFile));
    QCOMPARE(ShownSeriesWithPoints(*form.Chart1), 6);
}

void MainWindowTest::entryFresnelBoxSitsFreeAndReachesTheRun()
{
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    QCheckBox* box = form.ChBxEntryFresnel;
    QCOMPARE(box->parentWidget(), form.TabDiagram);
    QCOMPARE(box->text(), QStringLiteral("Fresnel at entry only"));
    QVERIFY(!box->isChecked());
    QVERIFY(!form.fields().ChBxEntryFresnel);
    // Nothing else on the page covers any part of it, the chart included.
    for (QWidget* other : form.TabDiagram->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other != box)
            QVERIFY2(!other->geometry().intersects(box->geometry()), qPrintable(other->objectName() + " " +
                                                                                other->metaObject()->className()));
    }

    box->setChecked(true);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QVERIFY2(sink.messages.empty(), qPrintable(Joined(sink)));
    QVERIFY(form.fields().ChBxEntryFresnel);
}

void MainWindowTest::sharpDiffractionBoxSitsFreeAndReachesTheDiffraction()
{
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    QCheckBox* box = form.ChBxSharpDiff;
    QCOMPARE(box->parentWidget(), form.TabDiagram);
    QCOMPARE(box->text(), QStringLiteral("Sharp-edge diffraction"));
    QVERIFY(!box->isChecked());
    QVERIFY(!form.fields().ChBxSharpDiff);
    for (QWidget* other : form.TabDiagram->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other != box)
            QVERIFY2(!other->geometry().intersects(box->geometry()), qPrintable(other->objectName() + " " +
                                                                                other->metaObject()->className()));
    }
    const auto read = [&] { return ReadFile(folder.file(QStringLiteral("Orvane_d.dat"))); };

    form.ChBxDiff->setChecked(true);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    const QByteArray smooth = read();
    box->setChecked(true);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QVERIFY2(sink.messages.empty(), qPrintable(Joined(sink)));
    QVERIFY(form.fields().ChBxSharpDiff);
    const QByteArray sharp = read();
    QVERIFY(!smooth.isEmpty() && sharp.size() == smooth.size());
    QVERIFY(sharp != smooth);
}

void MainWindowTest::uniformRainbowTickReachesTheTotal()
{
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    QCOMPARE(form.ChBxUniformRainbow->text(), QStringLiteral("Uniform rainbow"));
    QVERIFY(!form.ChBxUniformRainbow->isChecked());
    QVERIFY(!form.fields().ChBxUniformRainbow);
    const auto read = [&](const char* name) { return ReadFile(folder.file(QString::fromLatin1(name))); };
    const QByteArray plainTotal = read("Orvane_t.dat");
    const QByteArray plainOrder = read("Orvane_2.dat");
    QVERIFY(!plainTotal.isEmpty());

    // Ticked, the next "Calculation" gives the total the uniform field near the rainbows.
    form.ChBxUniformRainbow->setChecked(true);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QVERIFY2(sink.messages.empty(), qPrintable(Joined(sink)));
    QVERIFY(form.fields().ChBxUniformRainbow);
    QVERIFY(read("Orvane_t.dat") != plainTotal);
    QCOMPARE(read("Orvane_2.dat"), plainOrder);

    // Unticked again, the total is the plain sum once more.
    form.ChBxUniformRainbow->setChecked(false);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(WaitForRun(form));
    QCOMPARE(read("Orvane_t.dat"), plainTotal);
}

ORVANE_APP_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
