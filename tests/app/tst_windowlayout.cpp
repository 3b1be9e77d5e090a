// The window's layout at its smallest and its opening size, in the window's font and a
// larger one: every control inside its parent and shown whole, no two controls on top of
// each other, the grid's column as wide as the positions it shows.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>

#include "AppTestSupport.h"
#include "app/MainWindow.h"
#include "base/MessageSink.h"

using orvane::RecordingSink;
using orvane::MainWindow;
using orvane::test::WaitForRun;
using orvane::test::WorkFolder;

namespace {

// The window's own controls (not the parts that Qt's compound widgets are made of).
bool IsControl(const QWidget* w, const MainWindow& form)
{
    if (w == form.LblX || form.Chart1->isAncestorOf(w) || form.StrGrdPosit->isAncestorOf(w) ||
        form.MainMenu->isAncestorOf(w) || qobject_cast<QComboBox*>(w->parentWidget()) != nullptr)
        return false;
    return qobject_cast<const QLabel*>(w) != nullptr || qobject_cast<const QAbstractButton*>(w) != nullptr ||
           qobject_cast<const QLineEdit*>(w) != nullptr || qobject_cast<const QComboBox*>(w) != nullptr;
}

QString Name(const QWidget* w)
{
    if (auto* label = qobject_cast<const QLabel*>(w))
        return QStringLiteral("label '%1'").arg(label->text());
    if (auto* button = qobject_cast<const QAbstractButton*>(w))
        return QStringLiteral("button '%1'").arg(button->text());
    if (auto* edit = qobject_cast<const QLineEdit*>(w))
        return QStringLiteral("field '%1'").arg(edit->text());
    return QString::fromLatin1(w->metaObject()->className());
}

} // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void controlsWholeAtEverySizeAndFont_data();
    void controlsWholeAtEverySizeAndFont();
};

void WindowLayoutTest::controlsWholeAtEverySizeAndFont_data()
{
    QTest::addColumn<int>("fontPixels");
    QTest::addColumn<bool>("smallest");
    for (int pixels : {11, 16}) {
        QTest::addRow("%d px, smallest", pixels) << pixels << true;
        QTest::addRow("%d px, opening size", pixels) << pixels << false;
    }
}

void WindowLayoutTest::controlsWholeAtEverySizeAndFont()
{
    QFETCH(int, fontPixels);
    QFETCH(bool, smallest);
    WorkFolder folder;
    folder.copyDefaultParameterFile();
    RecordingSink sink;
    MainWindow form(&sink);
    QVERIFY(WaitForRun(form));
    // A click in the grid writes the positions in full: the longest texts it shows.
    form.StrGrdPositClick();
    QFont font = form.font();
    font.setPixelSize(fontPixels);
    form.setFont(font);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Asked for less than the minimum, the window stays at its minimum.
    if (smallest)
        form.resize(100, 100);
    form.layout()->activate();
    QVERIFY(form.width() >= form.minimumSizeHint().width());
    QVERIFY(form.height() >= form.minimumSizeHint().height());

    for (int page : {int(MainWindow::kPageRayTracing), int(MainWindow::kPageDiagram), int(MainWindow::kPageAbout)}) {
        form.PgRayTracing->setCurrentIndex(page);
        QTest::qWait(10);
        if (QLayout* layout = form.PgRayTracing->currentWidget()->layout())
            layout->activate();
        const QString where = QStringLiteral("page %1: ").arg(page);

        std::vector<QWidget*> controls;
        for (QWidget* w : form.findChildren<QWidget*>())
            if (w->isVisibleTo(&form) && IsControl(w, form))
                controls.push_back(w);
        QVERIFY(controls.size() > 15);

        for (QWidget* w : controls) {
            const QString name = where + Name(w);
            // Inside the parent, and at least as large as its text asks.
            QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), qPrintable(name));
            if (qobject_cast<QLabel*>(w) != nullptr || qobject_cast<QAbstractButton*>(w) != nullptr) {
                QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(name));
                QVERIFY2(w->height() >= w->minimumSizeHint().height(), qPrintable(name));
            }
            if (auto* edit = qobject_cast<QLineEdit*>(w))
                QVERIFY2(edit->width() >= edit->fontMetrics().horizontalAdvance(edit->text()) + 6, qPrintable(name));
            // Apart from every other control of the same parent.
            for (QWidget* other : controls)
                if (other != w && other->parentWidget() == w->parentWidget())
                    QVERIFY2(!w->geometry().intersects(other->geometry()),
                             qPrintable(name + QStringLiteral(" over ") + Name(other)));
        }
    }

    // "Polarization" and "Min p" read as two captions.
    const QRect polarisation = form.Label1->geometry();
    const QRect minP = form.EdtMinp->EditLabel()->geometry();
    QVERIFY(polarisation.right() + 4 < minP.left());

    // The grid's column shows its widest texts whole, inside what the grid shows.
    const int column = form.StrGrdPosit->columnWidth(0);
    const int margins = 2 * form.StrGrdPosit->textMargin();
    QCOMPARE(form.StrGrdPosit->cell(1), QStringLiteral("-49.9999999999995"));
    for (int row = 1; row <= 24; ++row)
        QVERIFY2(form.StrGrdPosit->fontMetrics().horizontalAdvance(form.StrGrdPosit->cell(row)) + margins <= column,
                 qPrintable(form.StrGrdPosit->cell(row)));
    // The header of the default mode.
    QVERIFY(QFontMetrics(form.StrGrdPosit->horizontalHeader()->font()).horizontalAdvance(QStringLiteral("Max:  50.00000")) +
                margins <= column);
    QVERIFY(form.StrGrdPosit->viewport()->width() >= column);
}

ORVANE_APP_TEST_MAIN(WindowLayoutTest)
#include "tst_windowlayout.moc"
