#include "app/OrvaneMain.h"

#include <algorithm>
#include <exception>

#include <QApplication>
#include <QFont>
#include <QMoveEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "app/AppIcon.h"
#include "app/ChartRender.h"
#include "app/ChartSeries.h"
#include "app/QtCanvas.h"
#include "numeric/Errors.h"
#include "numeric/Format.h"
#include "numeric/RunControl.h"
#include "raytrace/Picture.h"
#include "run/FieldInputs.h"
#include "run/Jobs.h"
#include "run/ParameterFile.h"

namespace orvane {

namespace {

const char* const kCaption = "Orvane - Complex Ray Scattering by Ellipsoids 2.30";

// The faces the window was laid out for are not found everywhere: each font names the
// nearest faces of the same pixel size after it.
QFont SansFont(int pixelSize, bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont CourierFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Courier"), QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("Nimbus Mono PS"), QStringLiteral("DejaVu Sans Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(pixelSize);
    return font;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

QPushButton* BoldButton(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* button = new QPushButton(caption, parent);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    button->setGeometry(geometry);
    return button;
}

QLabel* BoldLabel(QWidget* parent, const QString& caption, QPoint position)
{
    auto* label = new QLabel(caption, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->adjustSize();
    label->move(position);
    return label;
}

QCheckBox* CheckBox(QWidget* parent, const QString& caption, const QRect& geometry, bool ticked,
                    const QString& hint = QString())
{
    auto* box = new QCheckBox(caption, parent);
    box->setGeometry(geometry);
    // The substitute faces and the style's larger tick box can need a few more pixels
    // than the layout gives; the caption is shown whole (the position stays).
    if (box->sizeHint().width() > geometry.width())
        box->resize(box->sizeHint().width(), geometry.height());
    box->setChecked(ticked);
    if (!hint.isEmpty())
        box->setToolTip(hint);
    return box;
}

QLineEdit* Edit(QWidget* parent, const QRect& geometry, const std::string& text, const QString& hint = QString())
{
    auto* edit = new QLineEdit(Q(text), parent);
    edit->setGeometry(geometry);
    if (!hint.isEmpty())
        edit->setToolTip(hint);
    return edit;
}

LabeledEdit* LabeledField(QWidget* parent, const QRect& geometry, const QString& caption, const std::string& text,
                          const QString& hint = QString(),
                          LabeledEdit::LabelPosition position = LabeledEdit::LabelPosition::Above)
{
    auto* edit = new LabeledEdit(parent, geometry, caption, position);
    edit->setText(Q(text));
    if (!hint.isEmpty())
        edit->setToolTip(hint);
    return edit;
}

QComboBox* ComboBox(QWidget* parent, const QRect& geometry, const QStringList& items, const std::string& text,
                    const QString& hint = QString())
{
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setEditText(Q(text));
    box->setGeometry(geometry);
    if (!hint.isEmpty())
        box->setToolTip(hint);
    return box;
}

// A read-only text box of the About page.
QTextEdit* InfoBox(QWidget* parent, const QRect& geometry, const QColor& background, const QColor& text,
                   const QFont& font, const QStringList& lines, bool centred)
{
    auto* box = new QTextEdit(parent);
    box->setGeometry(geometry);
    box->setReadOnly(true);
    box->setFont(font);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Text, text);
    box->setPalette(palette);
    // A plain memo: no scroll bars, a narrow inner margin, lines 1.1 times the font's
    // pixel size apart (the substitute faces have a larger line gap than the faces the
    // boxes were sized for, and the last lines would fall outside).
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->document()->setDocumentMargin(2);
    box->setPlainText(lines.join(QLatin1Char('\n')));
    QTextCursor cursor(box->document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat format;
    format.setLineHeight(qRound(font.pixelSize() * 1.1), QTextBlockFormat::FixedHeight);
    if (centred)
        format.setAlignment(Qt::AlignHCenter);
    cursor.mergeBlockFormat(format);
    return box;
}

// The busy cursor while a computation runs on the window's thread.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

// The window's message sink as the control of a run on the window's own thread: messages only.
class SinkControl final : public RunControl {
public:
    explicit SinkControl(MessageSink& sink) : sink_(sink) {}
    void show(const std::string& text) override { sink_.show(text); }

private:
    MessageSink& sink_;
};

TForm1::TForm1(MessageSink* messages, QWidget* parent, char separator) : QWidget(parent), separator_(separator)
{
    setMessageSink(messages);

    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(OrvaneIcon());
    setFont(SansFont(11));
    move(kLeft, kTop);
    resize(kClientWidth, kClientHeight);

    createTopControls();
    createRayTracingPage();
    createDiagramPage();
    createAboutPage();
    PgRayTracing->setCurrentIndex(kPageDiagram);

    FormCreate();
    connectEvents();
    FormResize();
}

TForm1::~TForm1()
{
    // Closing the window while it is destroyed moves the focus; the handler must not run
    // on a half-destroyed window.
    disconnect(focusConnection_);
}

void TForm1::setMessageSink(MessageSink* messages)
{
    if (messages != nullptr) {
        messages_ = messages;
        errors_ = messages;
        return;
    }
    if (!boxSink_) {
        boxSink_ = std::make_unique<QtMessageSink>(this, QMessageBox::NoIcon);
        errorBoxSink_ = std::make_unique<QtMessageSink>(this, QMessageBox::Critical);
    }
    messages_ = boxSink_.get();
    errors_ = errorBoxSink_.get();
}

// ---------------------------------------------------------------------------------------
// The controls, with the positions, captions, defaults and hints of the form.

void TForm1::createTopControls()
{
    const Fields defaults;

    Edtmr = LabeledField(this, QRect(16, 24, 50, 21), QStringLiteral("Refractive index (Re, Im)"), defaults.Edtmr);
    Edtmi = Edit(this, QRect(80, 24, 50, 21), defaults.Edtmi, QStringLiteral("Positive for absorbing"));

    EdtRadius_a = LabeledField(this, QRect(150, 24, 40, 21),
                               QString::fromUtf8("Ellipsoid radii [\u00B5m]: a,   b ,  c "), defaults.EdtRadius_a,
                               QStringLiteral("Radius vertical."));
    EdtRadius_b = Edit(this, QRect(200, 24, 40, 21), defaults.EdtRadius_b, QStringLiteral(" Radius perp to screen."));
    EdtRadius_c = Edit(this, QRect(246, 24, 32, 21), defaults.EdtRadius_c, QStringLiteral(" Radius horizental."));

    EdtIncAng = LabeledField(this, QRect(298, 24, 73, 21), QStringLiteral("Inc. angle [deg]"),
                             defaults.EdtIncAng, QStringLiteral("Relative to horizon."));

    Label1 = new QLabel(QStringLiteral("Polarization"), this);
    Label1->adjustSize();
    Label1->move(393, 5);
    CbxPol = ComboBox(this, QRect(393, 24, 54, 21), {QStringLiteral("0"), QStringLiteral("1")}, defaults.CbxPol,
                      QStringLiteral("1 for perpendicular, 0 for parallel"));

    EdtMinp = LabeledField(this, QRect(453, 24, 34, 21), QStringLiteral("Min p"),
                           defaults.EdtMinp, QStringLiteral("Minimum order to be calculated."));
    EdtMaxp = LabeledField(this, QRect(493, 24, 34, 21), QStringLiteral("Max p"),
                           defaults.EdtMaxp, QStringLiteral("Maximum order to be calculated."));

    ChkBxMinMax = CheckBox(this, QStringLiteral("Rays b/w Min and Max :"), QRect(8, 53, 137, 17), defaults.ChkBxMinMax,
                           QStringLiteral("Check to calculate for rays between main & max position on the vertical axis. "));
    EdtAxisMin = Edit(this, QRect(145, 51, 45, 21), defaults.EdtAxisMin,
                      QStringLiteral("Minimum position on vertical axis to calculate."));
    EdtAxisMax = Edit(this, QRect(200, 51, 50, 21), defaults.EdtAxisMax,
                      QStringLiteral("Manimum position on vertical axis to calculate."));

    LblPosit = BoldLabel(this, QStringLiteral("Ray positions"), QPoint(2, 75));
    LblPosit->setToolTip(QStringLiteral("Ray positions on the vertical axis."));
    StrGrdPosit = new PositionGridView(this);
    StrGrdPosit->setGeometry(1, 94, 81, 459);
    StrGrdPosit->setToolTip(QStringLiteral("Ray positions on the vertical axis."));

    PgRayTracing = new QTabWidget(this);
    PgRayTracing->setGeometry(85, 78, 820, 675);
}

void TForm1::createRayTracingPage()
{
    const Fields defaults;
    TabRayTracing = new QWidget;
    PgRayTracing->addTab(TabRayTracing, QStringLiteral("Ray tracing"));
    QWidget* page = TabRayTracing;

    LblNumRay = BoldLabel(page, QStringLiteral("Ray num:"), QPoint(3, 6));
    QStringList counts;
    for (int n = 1; n <= 15; ++n)
        counts << QString::number(n);
    counts << QStringLiteral("20") << QStringLiteral("30") << QStringLiteral("50") << QStringLiteral("100")
           << QStringLiteral("200") << QStringLiteral("500");
    CbxNumRay = ComboBox(page, QRect(63, 3, 50, 21), counts, defaults.CbxNumRay);

    LblEdtSizeEll = LabeledField(page, QRect(190, 3, 55, 21), QStringLiteral("Ellipsoid size :"),
                                 defaults.LblEdtSizeEll, QString(), LabeledEdit::LabelPosition::Left);
    ChBxEmergRay = CheckBox(page, QStringLiteral("Show emergent rays"), QRect(251, 5, 113, 17), defaults.ChBxEmergRay);
    BtnCompute = BoldButton(page, QStringLiteral("Compute"), QRect(370, 3, 65, 25));
    BtnClose = BoldButton(page, QStringLiteral("Close"), QRect(441, 3, 65, 25));

    graph = new PaintBox(page);
    graph->setGeometry(3, 34, 518, 391);
    QFont pictureFont(QStringLiteral("Times New Roman"));
    pictureFont.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                             QStringLiteral("Nimbus Roman"), QStringLiteral("DejaVu Serif")});
    pictureFont.setStyleHint(QFont::Serif);
    pictureFont.setPixelSize(15);
    pictureFont.setBold(true);
    graph->setFont(pictureFont);
}

void TForm1::createDiagramPage()
{
    const Fields defaults;
    TabDiagram = new QWidget;
    PgRayTracing->addTab(TabDiagram, QStringLiteral("Scattering Diagram"));
    QWidget* page = TabDiagram;

    EdtWl = LabeledField(page, QRect(3, 15, 47, 21), QString::fromUtf8("wl [\u00B5m]"),
                         defaults.EdtWl, QStringLiteral("Incident wavelength."));
    LblEdtNumRays = LabeledField(page, QRect(60, 15, 53, 21), QStringLiteral("Inc. ray num:"),
                                 defaults.LblEdtNumRays, QStringLiteral("Number of incident rays."));
    LblEdtNumSca = LabeledField(page, QRect(130, 15, 48, 21), QStringLiteral("Sca. ray num:"),
                                defaults.LblEdtNumSca, QStringLiteral("Number of scattered rays."));

    ChBxDiff = CheckBox(page, QStringLiteral("Diffraction"), QRect(200, 0, 75, 18), defaults.ChBxDiff,
                        QStringLiteral("Check to add diffraction in the scattering diagram."));
    ChBxTotalInt = CheckBox(page, QStringLiteral("Total intensity"), QRect(200, 22, 92, 17), defaults.ChBxTotalInt,
                            QStringLiteral("Check to show total intensity."));
    ChBxAiry = CheckBox(page, QStringLiteral("Airy"), QRect(294, -2, 56, 18), defaults.ChBxAiry,
                        QStringLiteral("Check to add Airy in the scattering diagram."));
    ChBxCheck = CheckBox(page, QStringLiteral("Check"), QRect(294, 22, 56, 17), defaults.ChBxCheck,
                         QStringLiteral("Save data for check."));
    ChBxEntryFresnel = CheckBox(page, QStringLiteral("Fresnel at entry only"), QRect(140, 43, 140, 17),
                                defaults.ChBxEntryFresnel,
                                QStringLiteral("Check to reuse the entry point's Fresnel coefficient at every exit and "
                                               "internal reflection, as earlier versions did (exact for a sphere only)."));
    // In Airy's column, on the row left free above the chart.
    ChBxUniformRainbow = CheckBox(page, QStringLiteral("Uniform rainbow"), QRect(294, 43, 110, 17),
                                  defaults.ChBxUniformRainbow,
                                  QStringLiteral("Check to give the total the uniform (Airy) field near every "
                                                 "rainbow of every order."));

    Button1 = BoldButton(page, QStringLiteral("Calculation"), QRect(401, -4, 73, 20));
    CopyGrph = BoldButton(page, QStringLiteral("Graph Copy"), QRect(378, 22, 75, 20));
    Button2 = BoldButton(page, QStringLiteral("Close"), QRect(459, 21, 54, 20));

    Chart1 = new ScatteringChart(page);
    Chart1->setGeometry(3, 64, 519, 356);

    // The read-out of a clicked point, on the chart, on white.
    LblX = new QLabel(QStringLiteral("X"), Chart1);
    LblX->setAutoFillBackground(true);
    QPalette palette = LblX->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    LblX->setPalette(palette);
    LblX->adjustSize();
    LblX->move(464, 8);
    LblX->setVisible(false);
}

void TForm1::createAboutPage()
{
    TabAbout = new QWidget;
    PgRayTracing->addTab(TabAbout, QStringLiteral("About"));
    QWidget* page = TabAbout;

    QFont titleFont = SansFont(16, true);
    Title = InfoBox(page, QRect(3, 3, 285, 175), QColor(0x00, 0xFF, 0xFF), QColor(0x00, 0x00, 0x80), titleFont,
                    {QString(), QStringLiteral("Complex ray model"), QStringLiteral("of light scattering"),
                     QStringLiteral("by an ellipsoidal particle"), QString(), QStringLiteral("November 2013"), QString(),
                     QStringLiteral("Orvane, free software")},
                    true);
    VersInfo = InfoBox(page, QRect(294, 3, 282, 175), QColor(0x00, 0xFF, 0x00), QColor(0x80, 0x00, 0x00), CourierFont(13),
                       {QStringLiteral("   This version works for 2D plane "), QStringLiteral("wave scattering of"),
                        QStringLiteral("  - Ellipsoid"), QStringLiteral("  - Droplet or bubble"), QString(),
                        QStringLiteral("It includes :"), QStringLiteral("  1. Divergence"),
                        QStringLiteral("  2. Fresnel coefficients"), QStringLiteral("  3. Phase"),
                        QStringLiteral("  4. Interference "), QStringLiteral("  5. Diffraction"), QString()},
                       false);
    Memo1 = InfoBox(page, QRect(3, 184, 285, 201), QColor(0x00, 0x00, 0xFF), QColor(0xFF, 0xFF, 0x00), CourierFont(13),
                    {QStringLiteral("          Version 2.20c"), QString(), QStringLiteral("          Alpha version "),
                     QStringLiteral("     for absorbing particle."), QString(),
                     QStringLiteral("   It creats a color eps file of"), QStringLiteral("ray tracing and saves the total"),
                     QStringLiteral("intensity, the intensity of all"), QStringLiteral("individual orders and that of the"),
                     QStringLiteral("difraction.")},
                    false);
    ToBeDone = InfoBox(page, QRect(294, 184, 281, 201), QColor(0xFF, 0x00, 0x00), QColor(0xFF, 0xFF, 0xFF),
                       CourierFont(13),
                       {QStringLiteral("           To be done"), QString(),
                        QStringLiteral("  1. Incident ray tangent to the "),
                        QStringLiteral("surface is \"refracted\", to be "), QStringLiteral("corected."),
                        QStringLiteral("  2. Diffraction near rainbow "), QStringLiteral("added, but it doesn't work. To be "),
                        QStringLiteral("studied. "), QStringLiteral(" 3. Relation r and t corrected and "),
                        QStringLiteral("calculated by normal component of "), QStringLiteral("k.")},
                       false);
}

void TForm1::connectEvents()
{
    connect(PgRayTracing, &QTabWidget::currentChanged, this, &TForm1::PgRayTracingChange);
    connect(BtnCompute, &QPushButton::clicked, this, &TForm1::BtnRaytracingClick);
    connect(Button1, &QPushButton::clicked, this, &TForm1::BtnCalcDiagClick);
    connect(BtnClose, &QPushButton::clicked, this, &TForm1::BtnCloseClick);
    connect(Button2, &QPushButton::clicked, this, &TForm1::BtnCloseClick);
    connect(CopyGrph, &QPushButton::clicked, this, &TForm1::CopyGrphClick);
    // Every change of the text, typed or chosen from the list.
    connect(CbxNumRay, &QComboBox::editTextChanged, this, &TForm1::CbxNumRayChange);
    connect(CbxPol, &QComboBox::editTextChanged, this, &TForm1::CbxNumRayChange);
    connect(StrGrdPosit, &PositionGridView::gridClicked, this, &TForm1::StrGrdPositClick);
    // The grid losing the focus to another control of this window (not to a message
    // box, which would bring its own error back again and again).
    focusConnection_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (isInGrid(old) && now != nullptr && !isInGrid(now) && now->window() == this)
            StrGrdPositClick();
    });
    connect(Chart1, &ScatteringChart::seriesClicked, this,
            [this](QCPGraph* series, int index, QPoint pos) { Chart1ClickSeries(series, index, pos.x(), pos.y()); });
    connect(Chart1, &ScatteringChart::actionFailed, this, [this](const QString& message) { showError(S(message)); });
    Chart1->setExactTheoryQuery([this] {
        ScatteringChart::ExactTheoryItem item;
        item.enabled = ExactTheoryAvailable();
        item.checked = item.enabled && compareExact_;
        item.whyDisabled = Q(kExactSpheresOnlyMessage);
        return item;
    });
    connect(Chart1, &ScatteringChart::exactTheoryToggled, this, &TForm1::CompareExactClick);
    Chart1->setDebyeTermsQuery([this] {
        ScatteringChart::ExactTheoryItem item;
        item.enabled = ExactTheoryAvailable();
        item.checked = item.enabled && compareDebye_;
        item.whyDisabled = Q(kExactSpheresOnlyMessage);
        return item;
    });
    connect(Chart1, &ScatteringChart::debyeTermsToggled, this, &TForm1::CompareDebyeClick);
}

bool TForm1::isInGrid(const QWidget* widget) const
{
    return widget != nullptr && (widget == StrGrdPosit || StrGrdPosit->isAncestorOf(widget));
}

// ---------------------------------------------------------------------------------------
// Widgets <-> Fields.

void TForm1::takeFields()
{
    Fields& f = fields_;
    f.Edtmr = S(Edtmr->text());
    f.Edtmi = S(Edtmi->text());
    f.EdtRadius_a = S(EdtRadius_a->text());
    f.EdtRadius_b = S(EdtRadius_b->text());
    f.EdtRadius_c = S(EdtRadius_c->text());
    f.EdtIncAng = S(EdtIncAng->text());
    f.CbxPol = S(CbxPol->currentText());
    f.EdtMinp = S(EdtMinp->text());
    f.EdtMaxp = S(EdtMaxp->text());
    f.ChkBxMinMax = ChkBxMinMax->isChecked();
    f.EdtAxisMin = S(EdtAxisMin->text());
    f.EdtAxisMax = S(EdtAxisMax->text());
    // The visible rows; the rows beyond them live only in the fields.
    for (int row = 0; row < PositionGridView::kRows; ++row)
        f.StrGrdPosit.setCell(row, S(StrGrdPosit->cell(row)));

    f.CbxNumRay = S(CbxNumRay->currentText());
    f.LblEdtSizeEll = S(LblEdtSizeEll->text());
    f.ChBxEmergRay = ChBxEmergRay->isChecked();

    f.EdtWl = S(EdtWl->text());
    f.LblEdtNumRays = S(LblEdtNumRays->text());
    f.LblEdtNumSca = S(LblEdtNumSca->text());
    f.ChBxDiff = ChBxDiff->isChecked();
    f.ChBxTotalInt = ChBxTotalInt->isChecked();
    f.ChBxAiry = ChBxAiry->isChecked();
    f.ChBxUniformRainbow = ChBxUniformRainbow->isChecked();
    f.ChBxCheck = ChBxCheck->isChecked();
    f.ChBxEntryFresnel = ChBxEntryFresnel->isChecked();
    // A tick kept from a sphere does not bring the "spheres only" message to every run of
    // another shape: the menu shows the item disabled, and the run leaves the curve out.
    f.CompareExact = compareExact_ && ExactTheoryAvailable();
    f.CompareDebye = compareDebye_ && ExactTheoryAvailable();
}

void TForm1::putFields()
{
    // Written by the program, not typed: no change handler runs.
    const QSignalBlocker blockPol(CbxPol);
    const QSignalBlocker blockNumRay(CbxNumRay);
    const Fields& f = fields_;
    Edtmr->setText(Q(f.Edtmr));
    Edtmi->setText(Q(f.Edtmi));
    EdtRadius_a->setText(Q(f.EdtRadius_a));
    EdtRadius_b->setText(Q(f.EdtRadius_b));
    EdtRadius_c->setText(Q(f.EdtRadius_c));
    EdtIncAng->setText(Q(f.EdtIncAng));
    CbxPol->setEditText(Q(f.CbxPol));
    EdtMinp->setText(Q(f.EdtMinp));
    EdtMaxp->setText(Q(f.EdtMaxp));
    ChkBxMinMax->setChecked(f.ChkBxMinMax);
    EdtAxisMin->setText(Q(f.EdtAxisMin));
    EdtAxisMax->setText(Q(f.EdtAxisMax));
    CbxNumRay->setEditText(Q(f.CbxNumRay));
    LblEdtSizeEll->setText(Q(f.LblEdtSizeEll));
    ChBxEmergRay->setChecked(f.ChBxEmergRay);
    EdtWl->setText(Q(f.EdtWl));
    LblEdtNumRays->setText(Q(f.LblEdtNumRays));
    LblEdtNumSca->setText(Q(f.LblEdtNumSca));
    ChBxDiff->setChecked(f.ChBxDiff);
    ChBxTotalInt->setChecked(f.ChBxTotalInt);
    ChBxAiry->setChecked(f.ChBxAiry);
    ChBxUniformRainbow->setChecked(f.ChBxUniformRainbow);
    ChBxCheck->setChecked(f.ChBxCheck);
    ChBxEntryFresnel->setChecked(f.ChBxEntryFresnel);
    putGrid();
}

void TForm1::putGrid()
{
    const QSignalBlocker block(StrGrdPosit);
    for (int row = 0; row < PositionGridView::kRows; ++row) {
        const QString text = Q(fields_.StrGrdPosit.cell(row));
        if (StrGrdPosit->cell(row) != text)
            StrGrdPosit->setCell(row, text);
    }
}

// ---------------------------------------------------------------------------------------
// The handler boundary.

void TForm1::showError(const std::string& text)
{
    errors_->show(text);
}

std::string TForm1::runCore(bool busy, const std::function<void()>& work)
{
    // A modal box opened by a running handler lets resize events through; the core is
    // not entered a second time meanwhile.
    if (running_)
        return {};
    running_ = true;
    std::string error;
    bool failed = false;
    {
        std::unique_ptr<BusyCursor> cursor;
        if (busy)
            cursor = std::make_unique<BusyCursor>();
        try {
            takeFields();
            work();
        } catch (const std::exception& e) {
            failed = true;
            error = e.what();
        } catch (...) {
            failed = true;
            error = "Unknown error.";
        }
    }
    putGrid();
    running_ = false;
    if (failed)
        showError(error);
    return error;
}

// ---------------------------------------------------------------------------------------
// The handlers.

void TForm1::FormCreate()
{
    bool loaded = false;
    try {
        WriteParametersToFields(ReadParameterFile(kParameterFileName), fields_, separator_);
        putFields();
        loaded = true;
    } catch (const std::exception& e) {
        // The fields keep their defaults and no first diagram is computed.
        showError(e.what());
    }
    if (loaded)
        BtnCalcDiagClick();
}

void TForm1::FormResize()
{
    // W and H: the window's outer size, frame included.
    const QRect frame = frameGeometry();
    const int w = frame.width();
    const int h = frame.height();
    lastFrameSize_ = frame.size();

    PgRayTracing->resize(std::max(0, w), std::max(0, h - 50));
    Chart1->resize(std::max(0, w - 100), std::max(0, h - 180));
    graph->resize(std::max(0, w - 110), std::max(0, h - 180));
    StrGrdPosit->resize(StrGrdPosit->width(), std::max(0, h - 140));

    if (PgRayTracing->currentIndex() == kPageRayTracing)
        BtnRaytracingClick();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm1::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // The window manager's frame arrives after the first sizing: the outer size changes
    // without a resize of the client area.
    if (frameGeometry().size() != lastFrameSize_)
        FormResize();
}

void TForm1::PgRayTracingChange(int) {}

void TForm1::BtnCalcDiagClick()
{
    const std::string error = runCore(true, [this] {
        SinkControl control(*messages_);
        const DiagramInputs inputs = ReadDiagramInputs(fields_, separator_, control);
        const DiagramResult result = RunDiagram(inputs, fields_.ChBxCheck, {{}, separator_}, control);
        LblX->setText(QString());
        LblX->adjustSize();
        Chart1->setCaption(ChartCaption(inputs));
        Chart1->setDiagram(BuildChartSeries(result));
    });
    // The chart keeps the last good result, and says so.
    if (!error.empty())
        Chart1->showStaleNotice(Q(error));
}

void TForm1::CompareDebyeClick(bool checked)
{
    compareDebye_ = checked;
    BtnCalcDiagClick();
}

void TForm1::CompareExactClick(bool checked)
{
    compareExact_ = checked;
    BtnCalcDiagClick();
}

bool TForm1::ExactTheoryAvailable() const
{
    double a = 0, b = 0, c = 0;
    return TryStrToFloat(S(EdtRadius_a->text()), a, separator_) && TryStrToFloat(S(EdtRadius_b->text()), b, separator_) &&
           TryStrToFloat(S(EdtRadius_c->text()), c, separator_) && a == b && b == c;
}

void TForm1::BtnRaytracingClick()
{
    runCore(true, [this] {
        const PictureInputs inputs = ReadPictureInputs(fields_, separator_, *messages_);
        // Drawn over what the area shows now, so that a drawing that stops early leaves
        // the part drawn so far on what was there before.
        const QSize size(std::max(1, graph->width()), std::max(1, graph->height()));
        const Picture picture = ComputePicture(inputs, size.width(), size.height());
        QImage image(size, QImage::Format_RGB32);
        image.fill(TabRayTracing->palette().color(QPalette::Window));
        if (!graph->image().isNull()) {
            QPainter painter(&image);
            painter.drawImage(0, 0, graph->image());
        }
        try {
            QtCanvas canvas(image);
            DrawPicture(picture, canvas);
        } catch (...) {
            graph->setImage(image);
            graph->repaint();
            throw;
        }
        graph->setImage(image);
        graph->repaint();
        WritePictureFile(picture, {{}, separator_});
    });
}

void TForm1::BtnCloseClick()
{
    close();
}

void TForm1::CopyGrphClick()
{
    try {
        Chart1->copyToClipboard();
    } catch (const std::exception& e) {
        showError(e.what());
    }
}

void TForm1::CbxNumRayChange()
{
    runCore(false, [this] { orvane::CbxNumRayChange(fields_, separator_, *messages_); });
}

void TForm1::StrGrdPositClick()
{
    runCore(false, [this] { orvane::StrGrdPositClick(fields_, separator_, *messages_); });
}

void TForm1::Chart1ClickSeries(QCPAbstractPlottable* series, int valueIndex, int x, int y)
{
    try {
        QCPPlottableInterface1D* points = series != nullptr ? series->interface1D() : nullptr;
        if (points == nullptr || valueIndex < 0 || valueIndex >= points->dataCount())
            return;
        const std::string text =
            Format("%12.7g, %12.5g", {points->dataMainKey(valueIndex), points->dataMainValue(valueIndex)}, separator_);

        // The read-out sits at the click, but not past the chart's right edge (with the
        // label's width before its new text) and above the click unless that would leave
        // the chart at the top.
        const int limit = Chart1->x() + Chart1->width() - kChartRightMargin - LblX->width();
        const int left = x > limit ? limit : x;
        const int top = y < LblX->height() ? y : y - LblX->height();
        LblX->move(left, top);
        LblX->setVisible(true);
        LblX->setText(Q(text));
        LblX->adjustSize();
        repaint();
    } catch (const std::exception& e) {
        showError(e.what());
    }
}

} // namespace orvane
