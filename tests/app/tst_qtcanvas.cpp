// The picture's QPainter canvas: the default picture as the window shows it, colours,
// rectangles, text and pen styles, and lines and ellipses whose points lie far outside
// the image (the ends of emergent rays, a strongly enlarged particle).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include <QFontMetrics>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "AppTestSupport.h"
#include "app/QtCanvas.h"
#include "base/RunControl.h"
#include "raytrace/Picture.h"
#include "run/Fields.h"
#include "run/FieldInputs.h"
#include "run/Jobs.h"

using orvane::PenStyle;
using orvane::QtCanvas;
using orvane::Color;

namespace {

// qint64 (long long) rather than std::int64_t (long): the type of the data columns.
constexpr qint64 kMin64 = std::numeric_limits<qint64>::min();
constexpr qint64 kMax64 = std::numeric_limits<qint64>::max();
constexpr qint64 kFar = 9'000'000'000'000'000'000;  // 9e18

// Colours as they land in an RGB32 image (0xRRGGBB).
constexpr QRgb kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000, kBlue = 0x0000FF, kYellow = 0xFFFF00;
// What the image holds before drawing: a colour no drawing here uses.
constexpr QRgb kUntouched = 0x123456;

QImage Blank(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(kUntouched));
    return image;
}

QRgb Px(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

int CountIn(const QImage& image, const QRect& area, QRgb colour)
{
    int count = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            count += Px(image, x, y) == colour ? 1 : 0;
    return count;
}

// Mostly blue, allowing for the anti-aliased rim of the glyphs over white.
bool Bluish(QRgb p) { return qBlue(p) >= 200 && qRed(p) <= 140 && qGreen(p) <= 140; }

// Bounding box of the pixels that differ from the given colour.
QRect InkBox(const QImage& image, QRgb background)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Px(image, x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class QtCanvasTest : public QObject {
    Q_OBJECT

private slots:
    void defaultPicture();
    void coloursAreBlueGreenRed_data();
    void coloursAreBlueGreenRed();
    void fillRectExcludesRightAndBottomEdges();
    void textOutFromTopLeftOnBrush();
    void labelFitsItsHundredPixels_data();
    void labelFitsItsHundredPixels();
    void penStyles_data();
    void penStyles();
    void lineWithFarEnds_data();
    void lineWithFarEnds();
    void currentPositionKeepsFarPoint();
    void ellipse_data();
    void ellipse();
};

// The default picture (a sphere of 50 µm at half size, 20 rays up to order 4) on the
// window's 518 x 391 area: W = 517, H = 390, centre (258, 195), outline (160, 97)-(355, 292).
void QtCanvasTest::defaultPicture()
{
    auto fields = std::make_unique<orvane::Fields>();
    orvane::RecordingControl sink;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const orvane::Picture picture = orvane::ComputePicture(orvane::ReadPictureInputs(*fields, '.', sink), 518, 391);

    QImage image = Blank(518, 391);
    {
        QtCanvas canvas(image);
        QCOMPARE(canvas.width(), 518);
        QCOMPARE(canvas.height(), 391);
        orvane::DrawPicture(picture, canvas);
    }
    orvane::WritePictureFile(picture, {dir.path().toStdString(), '.'});
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("Orvane.eps"))));

    // The background covers the whole area, last row and column included.
    QCOMPARE(CountIn(image, image.rect(), kUntouched), 0);
    // No ray reaches the top-right corner.
    QCOMPARE(CountIn(image, QRect(510, 0, 8, 8), kWhite), 64);

    // The order-1 rays (red; 0x0000FF in the picture's colours) leave the particle and
    // cross the axis to the right of the outline.
    QVERIFY2(CountIn(image, QRect(357, 195, 160, 1), kRed) >= 50, "red order-1 rays on the axis row");
    QCOMPARE(CountIn(image, QRect(357, 195, 160, 1), kBlue), 0);

    // The dotted outline's left edge at x = 160: black dots with white gaps between them,
    // and nothing black beside it except the dash-dot axis on row 195.
    const QRect leftEdge(160, 185, 1, 22);
    QVERIFY2(CountIn(image, leftEdge, kBlack) >= 4, "black dots of the outline on x = 160");
    QVERIFY2(CountIn(image, leftEdge, kWhite) >= 4, "the outline is dotted, not solid");
    for (int x : {159, 161})
        for (int y = 185; y <= 206; ++y)
            if (y != 195)
                QVERIFY2(Px(image, x, y) != kBlack, qPrintable(QStringLiteral("black at (%1, %2)").arg(x).arg(y)));
    // The white inside of the particle covers the vertical axis; it shows above and below.
    QCOMPARE(CountIn(image, QRect(258, 100, 1, 189), kBlack), 0);
    QVERIFY(CountIn(image, QRect(258, 0, 1, 96), kBlack) > 20);

    // The blue label "Symmetric axis" with its top-left corner at (W − 100, Yc − 15) =
    // (417, 180). No blue ray (order 2) reaches that part of the picture.
    int labelBlue = 0, leftHalf = 0, rightHalf = 0;
    for (int y = 180; y < 200; ++y)
        for (int x = 417; x < 518; ++x)
            if (Bluish(Px(image, x, y))) {
                ++labelBlue;
                (x < 467 ? leftHalf : rightHalf) += 1;
            }
    QVERIFY2(labelBlue >= 40, qPrintable(QStringLiteral("%1 blue label pixels").arg(labelBlue)));
    QVERIFY(leftHalf > 10 && rightHalf > 10);
    // Nothing of it above its top or below its box.
    for (int y : {170, 175, 179, 200, 205})
        for (int x = 417; x < 518; ++x)
            QVERIFY2(!Bluish(Px(image, x, y)), qPrintable(QStringLiteral("blue at (%1, %2)").arg(x).arg(y)));
}

// Color is 0x00BBGGRR: every drawing colour comes out with red and blue in their places.
void QtCanvasTest::coloursAreBlueGreenRed_data()
{
    QTest::addColumn<uint>("tcolor");
    QTest::addColumn<uint>("rgb");
    QTest::newRow("red") << 0x0000FFu << 0xFF0000u;
    QTest::newRow("blue") << 0xFF0000u << 0x0000FFu;
    QTest::newRow("green") << 0x008000u << 0x008000u;
    QTest::newRow("mixed") << 0x123456u << 0x563412u;
}

void QtCanvasTest::coloursAreBlueGreenRed()
{
    QFETCH(uint, tcolor);
    QFETCH(uint, rgb);
    QImage image = Blank(200, 60);
    {
        QtCanvas canvas(image);
        canvas.setPenColor(tcolor);
        canvas.moveTo(0, 5);
        canvas.lineTo(100, 5);
        canvas.setBrushColor(tcolor);
        canvas.fillRect(0, 10, 20, 20);
        canvas.setBrushColor(orvane::kColorWhite);
        canvas.setFontColor(tcolor);
        canvas.textOut(0, 25, "Symmetric axis");
    }
    QCOMPARE(Px(image, 50, 5), QRgb(rgb));
    QCOMPARE(Px(image, 10, 15), QRgb(rgb));
    QVERIFY2(CountIn(image, QRect(0, 25, 200, 35), rgb) > 10, "text in the font colour");
}

void QtCanvasTest::fillRectExcludesRightAndBottomEdges()
{
    QImage image = Blank(40, 40);
    {
        QtCanvas canvas(image);
        canvas.setBrushColor(0x00FFFF);
        canvas.fillRect(10, 20, 30, 25);
    }
    const QRect filled(QPoint(10, 20), QPoint(29, 24));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            QVERIFY2(Px(image, x, y) == (filled.contains(x, y) ? kYellow : kUntouched),
                     qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
}

// Text hangs from its top-left corner on a box of the brush colour, in the font colour;
// the lines drawn afterwards keep the pen's colour.
void QtCanvasTest::textOutFromTopLeftOnBrush()
{
    const std::string text = "Symmetric axis";
    const QFontMetrics metrics(QtCanvas::labelFont());
    const QRect box(20, 15, metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height());

    QImage image = Blank(300, 60);
    {
        QtCanvas canvas(image);
        canvas.setPenColor(0x0000FF);
        canvas.setBrushColor(orvane::kColorWhite);
        canvas.setFontColor(orvane::kColorBlue);
        canvas.textOut(box.left(), box.top(), text);
        canvas.moveTo(0, 55);
        canvas.lineTo(299, 55);
    }
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 300; ++x) {
            const QRgb p = Px(image, x, y);
            if (box.contains(x, y))
                QVERIFY2(p != kUntouched, qPrintable(QStringLiteral("unfilled (%1, %2)").arg(x).arg(y)));
            else
                QVERIFY2(p == kUntouched, qPrintable(QStringLiteral("drawn outside the box at (%1, %2)").arg(x).arg(y)));
        }
    // The glyphs sit inside the box, from near its top down to about its baseline.
    QImage inside = image.copy(box);
    const QRect ink = InkBox(inside, kWhite);
    QVERIFY(!ink.isEmpty());
    QVERIFY2(ink.top() <= metrics.ascent() / 2, qPrintable(QStringLiteral("ink starts at row %1").arg(ink.top())));
    QVERIFY(ink.bottom() <= metrics.ascent() + metrics.descent());
    QVERIFY(ink.width() > box.width() * 3 / 4);
    QVERIFY(CountIn(inside, inside.rect(), kBlue) > 10);
    QCOMPARE(CountIn(image, QRect(0, 0, 300, 50), kRed), 0);

    QCOMPARE(CountIn(image, QRect(0, 55, 299, 1), kRed), 299);
}

// The label starts 100 pixels from the right edge: in the label font each of the two
// captions fits in that room, both by its advance and by the ink it leaves.
void QtCanvasTest::labelFitsItsHundredPixels_data()
{
    QTest::addColumn<QString>("label");
    QTest::newRow("symmetric") << QStringLiteral("Symmetric axis");
    QTest::newRow("reference") << QStringLiteral("Reference axis");
}

void QtCanvasTest::labelFitsItsHundredPixels()
{
    QFETCH(QString, label);
    const QFont font = QtCanvas::labelFont();
    const int advance = QFontMetrics(font).horizontalAdvance(label);
    QVERIFY2(advance <= 100, qPrintable(QStringLiteral("advance %1 px in %2").arg(advance).arg(QFontInfo(font).family())));

    QImage image(300, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QtCanvas canvas(image);
        canvas.setFontColor(orvane::kColorBlue);
        canvas.textOut(10, 10, label.toStdString());
    }
    const QRect ink = InkBox(image, kWhite);
    QVERIFY2(ink.width() > 60 && ink.width() <= 100, qPrintable(QStringLiteral("ink %1 px wide").arg(ink.width())));
}

void QtCanvasTest::penStyles_data()
{
    QTest::addColumn<PenStyle>("style");
    QTest::addColumn<int>("fewest");
    QTest::addColumn<int>("most");
    // A 300-pixel line: every pixel, one in three, or dash-dot in between.
    QTest::newRow("solid") << PenStyle::Solid << 299 << 301;
    QTest::newRow("dot") << PenStyle::Dot << 90 << 110;
    QTest::newRow("dash-dot") << PenStyle::DashDot << 140 << 200;
}

void QtCanvasTest::penStyles()
{
    QFETCH(PenStyle, style);
    QFETCH(int, fewest);
    QFETCH(int, most);
    QImage image = Blank(320, 10);
    {
        QtCanvas canvas(image);
        canvas.setPenStyle(style);
        canvas.setPenColor(orvane::kColorBlack);  // the colour is set after the style, as the picture does
        canvas.moveTo(0, 5);
        canvas.lineTo(300, 5);
    }
    const int lit = CountIn(image, QRect(0, 5, 320, 1), kBlack);
    QVERIFY2(lit >= fewest && lit <= most, qPrintable(QStringLiteral("%1 pixels").arg(lit)));
    QCOMPARE(CountIn(image, image.rect(), kBlack), lit);
}

// A line between two points anywhere in the 64-bit plane lights the pixels of its course
// over the image (within a pixel) and nothing else.
void QtCanvasTest::lineWithFarEnds_data()
{
    QTest::addColumn<qint64>("x1");
    QTest::addColumn<qint64>("y1");
    QTest::addColumn<qint64>("x2");
    QTest::addColumn<qint64>("y2");
    QTest::addColumn<int>("fewestLit");
    // Image 200 x 150.
    QTest::newRow("horizontal, ±9e18") << -kFar << qint64(75) << kFar << qint64(75) << 200;
    QTest::newRow("horizontal, 64-bit limits") << kMin64 << qint64(20) << kMax64 << qint64(20) << 200;
    QTest::newRow("vertical, ±9e18") << qint64(100) << kFar << qint64(100) << -kFar << 150;
    QTest::newRow("diagonal through the corner") << -kFar << -kFar << kFar << kFar << 150;
    QTest::newRow("slope 1/3 through the centre")
        << qint64(100) - kFar << qint64(75) - kFar / 3 << qint64(100) + kFar << qint64(75) + kFar / 3 << 200;
    QTest::newRow("steep, right to left") << qint64(60) + 2 * (kFar / 9) << kFar << qint64(60) - 2 * (kFar / 9) << -kFar
                                          << 150;
    QTest::newRow("beyond 16-bit, slight slope") << qint64(-100000) << qint64(10) << qint64(100000) << qint64(140) << 200;
    QTest::newRow("from inside to far away") << qint64(50) << qint64(50) << -kFar << kFar << 50;
    QTest::newRow("from far away to inside") << kFar << qint64(30) << qint64(120) << qint64(30) << 80;
    QTest::newRow("misses the image") << -kFar << qint64(0) << qint64(0) << -kFar << 0;
}

void QtCanvasTest::lineWithFarEnds()
{
    QFETCH(qint64, x1);
    QFETCH(qint64, y1);
    QFETCH(qint64, x2);
    QFETCH(qint64, y2);
    QFETCH(int, fewestLit);
    QImage image = Blank(200, 150);
    {
        QtCanvas canvas(image);
        canvas.setPenColor(orvane::kColorBlack);
        canvas.moveTo(x1, y1);
        canvas.lineTo(x2, y2);
    }

    // The ideal line, measured along its minor axis from the major one. The rasterizer
    // lights the pixel a cut line passes through, and it holds the cut ends on a 1/64
    // pixel grid: a pixel may sit a hair more than one pixel off.
    constexpr long double kLineTolerance = 1.05L;
    using Real = long double;
    const Real ax = x1, ay = y1, dx = Real(x2) - ax, dy = Real(y2) - ay;
    const bool shallow = std::fabs(dx) >= std::fabs(dy);
    auto minorAt = [&](Real major) { return shallow ? ay + dy * ((major - ax) / dx) : ax + dx * ((major - ay) / dy); };

    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (Px(image, x, y) == kUntouched)
                continue;
            QCOMPARE(Px(image, x, y), kBlack);
            ++lit;
            const Real off = shallow ? y - minorAt(x) : x - minorAt(y);
            QVERIFY2(std::fabs(off) <= kLineTolerance, qPrintable(QStringLiteral("(%1, %2) is %3 px off the line")
                                                            .arg(x).arg(y).arg(static_cast<double>(off))));
        }
    QVERIFY2(lit >= fewestLit, qPrintable(QStringLiteral("%1 pixels lit").arg(lit)));

    // Every step along the major axis that the segment covers over the image is lit.
    const int majorEnd = shallow ? image.width() : image.height();
    const int minorEnd = shallow ? image.height() : image.width();
    const Real lo = std::min(shallow ? Real(x1) : Real(y1), shallow ? Real(x2) : Real(y2));
    const Real hi = std::max(shallow ? Real(x1) : Real(y1), shallow ? Real(x2) : Real(y2));
    for (int m = 0; m < majorEnd; ++m) {
        if (m <= lo || m >= hi)
            continue;  // the end points themselves may be left out
        const Real minor = minorAt(m);
        if (minor < 1 || minor > minorEnd - 2)
            continue;
        bool found = false;
        for (int k = static_cast<int>(std::floor(minor)) - 1; k <= static_cast<int>(std::ceil(minor)) + 1; ++k)
            found = found || (shallow ? Px(image, m, k) : Px(image, k, m)) == kBlack;
        QVERIFY2(found, qPrintable(QStringLiteral("gap at %1 %2").arg(shallow ? "x" : "y").arg(m)));
    }
}

// After a line to a far point the next line starts from that point, not from a
// shortened or wrapped copy of it.
void QtCanvasTest::currentPositionKeepsFarPoint()
{
    QImage image = Blank(200, 150);
    {
        QtCanvas canvas(image);
        canvas.setPenColor(orvane::kColorBlack);
        canvas.moveTo(10, 10);
        canvas.lineTo(kFar, 10);
        canvas.lineTo(10, 60);  // from (9e18, 10): level with row 60 over the whole image
    }
    QVERIFY(CountIn(image, QRect(10, 10, 190, 1), kBlack) >= 189);
    QVERIFY(CountIn(image, QRect(11, 59, 189, 2), kBlack) >= 188);
    QCOMPARE(CountIn(image, image.rect(), kBlack),
             CountIn(image, QRect(10, 10, 190, 1), kBlack) + CountIn(image, QRect(10, 59, 190, 2), kBlack));
}

// Ellipses inscribed in (x1, y1)-(x2, y2), right and bottom edges excluded: the outline
// in the pen colour where the boundary crosses the image, the brush inside, nothing
// outside. Ordinary and huge ones are held to the same geometry.
void QtCanvasTest::ellipse_data()
{
    QTest::addColumn<qint64>("x1");
    QTest::addColumn<qint64>("y1");
    QTest::addColumn<qint64>("x2");
    QTest::addColumn<qint64>("y2");
    QTest::addColumn<bool>("outlineSeen");
    QTest::addColumn<bool>("fillSeen");
    // Image 200 x 150.
    QTest::newRow("ordinary") << qint64(20) << qint64(10) << qint64(181) << qint64(141) << true << true;
    QTest::newRow("covers the image, ±9e18") << -kFar << -kFar << kFar << kFar << false << true;
    QTest::newRow("covers the image, 64-bit limits") << kMin64 << kMin64 << kMax64 << kMax64 << false << true;
    QTest::newRow("corners swapped") << kFar << kFar << -kFar << -kFar << false << true;
    QTest::newRow("nearly straight edge at x = 100")
        << qint64(100) << qint64(-1000000) << qint64(2000101) << qint64(1000001) << true << true;
    QTest::newRow("curved tip from far left") << qint64(-40000) << qint64(0) << qint64(300) << qint64(200) << true << true;
    QTest::newRow("band wider than the plane") << -kFar << qint64(40) << kFar << qint64(110) << true << true;
    QTest::newRow("beside the image") << -kFar << -kFar << qint64(-1000000000) << qint64(-1000000000) << false << false;
}

void QtCanvasTest::ellipse()
{
    QFETCH(qint64, x1);
    QFETCH(qint64, y1);
    QFETCH(qint64, x2);
    QFETCH(qint64, y2);
    QFETCH(bool, outlineSeen);
    QFETCH(bool, fillSeen);
    QImage image = Blank(200, 150);
    {
        QtCanvas canvas(image);
        canvas.setPenColor(orvane::kColorBlack);
        canvas.setBrushColor(0x00FFFF);
        canvas.ellipse(x1, y1, x2, y2);
    }
    QCOMPARE(CountIn(image, image.rect(), kBlack) > 0, outlineSeen);
    QCOMPARE(CountIn(image, image.rect(), kYellow) > 0, fillSeen);

    // The boundary through the pixel grid: it spans x1 .. x2 − 1 and y1 .. y2 − 1.
    using Real = long double;
    const Real left = std::min(x1, x2), right = Real(std::max(x1, x2)) - 1;
    const Real top = std::min(y1, y2), bottom = Real(std::max(y1, y2)) - 1;
    const Real cx = (left + right) / 2, rx = (right - left) / 2, cy = (top + bottom) / 2, ry = (bottom - top) / 2;
    auto half = [&](int y) {
        const Real t = (y - cy) / ry;
        return std::fabs(t) <= 1 ? rx * std::sqrt(1 - t * t) : Real(0);
    };
    const int w = image.width();
    for (int y = 0; y < image.height(); ++y) {
        // Where the boundary runs steeply its outline joins this row to the next ones:
        // the edge lies between the neighbouring rows' crossings.
        const Real h0 = half(y - 1), h1 = half(y), h2 = half(y + 1);
        const Real innerHalf = std::min({h0, h1, h2}), outerHalf = std::max({h0, h1, h2});
        const bool offRows = std::fabs(y - cy) > ry + 1;
        for (int x = 0; x < w; ++x) {
            const QRgb p = Px(image, x, y);
            const Real across = std::fabs(x - cx);
            const QString at = QStringLiteral("(%1, %2)").arg(x).arg(y);
            if (offRows || across > outerHalf + 1.5L)
                QVERIFY2(p == kUntouched, qPrintable(QStringLiteral("drawn outside at ") + at));
            else if (across < innerHalf - 1.5L)
                QVERIFY2(p == kYellow, qPrintable(QStringLiteral("not filled at ") + at));
            else
                QVERIFY2(p == kUntouched || p == kYellow || p == kBlack, qPrintable(QStringLiteral("odd colour at ") + at));
        }
        // The left and right edges, where they cross this row inside the image.
        if (std::fabs(y - cy) >= ry - 1)
            continue;
        for (int side : {-1, 1}) {
            const Real edge = cx + side * h1;
            if (edge < 1 || edge > w - 2)
                continue;
            const Real from = cx + side * (side < 0 ? outerHalf : innerHalf) - 1;
            const Real to = cx + side * (side < 0 ? innerHalf : outerHalf) + 1;
            int outline = 0;
            for (int x = std::max(0, static_cast<int>(std::floor(from))); x <= std::min<Real>(w - 1, std::ceil(to)); ++x)
                outline += Px(image, x, y) == kBlack ? 1 : 0;
            QVERIFY2(outline > 0, qPrintable(QStringLiteral("no outline near x = %1 on row %2")
                                                 .arg(static_cast<double>(edge)).arg(y)));
        }
    }
}

ORVANE_APP_TEST_MAIN(QtCanvasTest)

#include "tst_qtcanvas.moc"
