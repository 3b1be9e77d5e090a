#include "app/MainWindow.h"

#include <algorithm>
#include <exception>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSettings>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/AppIcon.h"
#include "app/ChartRender.h"
#include "app/ChartSeries.h"
#include "app/QtCanvas.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/RunControl.h"
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

// The busy cursor (an arrow with an hourglass: the window still answers) while a computation
// reads its inputs or runs in the background.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// An edit as wide as its design width, or as `chars` digits of its font where that is wider.
void FitEditWidth(QWidget* edit, int designWidth, int chars)
{
    const QFontMetrics fm(edit->font());
    const int text = fm.horizontalAdvance(QString(chars, QLatin1Char('8')));
    edit->setFixedWidth(std::max(designWidth, text + 12));
}

// The settings key of the folder the parameter dialogs start in.
const char* const kFolderKey = "parameters/lastFolder";

} // namespace

MainWindow::MainWindow(MessageSink* messages, QWidget* parent, char separator) : QWidget(parent), separator_(separator)
{
    setMessageSink(messages);

    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(OrvaneIcon());
    setFont(SansFont(11));
    move(kLeft, kTop);

    run_ = std::make_unique<BackgroundRun>(messages_);
    createMenu();
    createTopControls();
    createRayTracingPage();
    createDiagramPage();
    createAboutPage();
    createStatusControls();
    layOut();
    fitToFont();
    controlsBuilt_ = true;
    PgRayTracing->setCurrentIndex(kPageDiagram);
    const QSize least = minimumSizeHint();
    resize(std::max(kOpenWidth, least.width()), std::max(kOpenHeight, least.height()));

    connectEvents();
    FormCreate();
}

MainWindow::~MainWindow()
{
    // Closing the window while it is destroyed moves the focus; the handler must not run
    // on a half-destroyed window.
    disconnect(focusConnection_);
    // A run still going is stopped (its files stay as they were) before the window it
    // reports to is gone.
    run_->abandon();
}

void MainWindow::setMessageSink(MessageSink* messages)
{
    if (messages != nullptr) {
        messages_ = messages;
        errors_ = messages;
        if (run_)
            run_->setSink(messages_);
        return;
    }
    if (!boxSink_) {
        boxSink_ = std::make_unique<QtMessageSink>(this, QMessageBox::NoIcon);
        errorBoxSink_ = std::make_unique<QtMessageSink>(this, QMessageBox::Critical);
    }
    messages_ = boxSink_.get();
    errors_ = errorBoxSink_.get();
    if (run_)
        run_->setSink(messages_);
}

// ---------------------------------------------------------------------------------------
// The controls, with the positions, captions, defaults and hints of the form.

void MainWindow::createMenu()
{
    MainMenu = new QMenuBar(this);
    QMenu* file = MainMenu->addMenu(QStringLiteral("&File"));
    ActOpenParameters = file->addAction(QString::fromUtf8("&Open parameters\u2026"));
    ActOpenParameters->setShortcut(QKeySequence::Open);
    ActOpenParameters->setToolTip(QStringLiteral("Read a parameter file into the fields and compute the diagram."));
    ActSaveParameters = file->addAction(QString::fromUtf8("&Save parameters as\u2026"));
    ActSaveParameters->setShortcut(QKeySequence::Save);
    ActSaveParameters->setToolTip(QStringLiteral("Write the fields as a parameter file (Orvane.par's form)."));
    file->addSeparator();
    QAction* close = file->addAction(QStringLiteral("&Close"));
    connect(close, &QAction::triggered, this, &MainWindow::BtnCloseClick);

    // Esc stops the running computation from anywhere in the window.
    ActCancel = new QAction(QStringLiteral("Cancel"), this);
    ActCancel->setShortcut(Qt::Key_Escape);
    ActCancel->setShortcutContext(Qt::WindowShortcut);
    ActCancel->setEnabled(false);
    addAction(ActCancel);
}

void MainWindow::createTopControls()
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
    CbxPol = ComboBox(this, QRect(393, 24, 54, 21), {QStringLiteral("0"), QStringLiteral("1")}, defaults.CbxPol,
                      QStringLiteral("1 for perpendicular, 0 for parallel"));
    Label1->setBuddy(CbxPol);

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
    StrGrdPosit->setToolTip(QStringLiteral("Ray positions on the vertical axis."));
    StrGrdPosit->setMinimumHeight(4 * PositionGridView::kRowHeight);

    PgRayTracing = new QTabWidget(this);
}

void MainWindow::createRayTracingPage()
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
    LblNumRay->setBuddy(CbxNumRay);

    LblEdtSizeEll = LabeledField(page, QRect(190, 3, 55, 21), QStringLiteral("Ellipsoid size :"),
                                 defaults.LblEdtSizeEll, QString(), LabeledEdit::LabelPosition::Left);
    ChBxEmergRay = CheckBox(page, QStringLiteral("Show emergent rays"), QRect(251, 5, 113, 17), defaults.ChBxEmergRay);
    BtnCompute = BoldButton(page, QStringLiteral("Compute"), QRect(370, 3, 65, 25));
    BtnClose = BoldButton(page, QStringLiteral("Close"), QRect(441, 3, 65, 25));

    graph = new PaintBox(page);
    graph->setMinimumSize(200, 150);
    graph->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QFont pictureFont(QStringLiteral("Times New Roman"));
    pictureFont.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                             QStringLiteral("Nimbus Roman"), QStringLiteral("DejaVu Serif")});
    pictureFont.setStyleHint(QFont::Serif);
    pictureFont.setPixelSize(15);
    pictureFont.setBold(true);
    graph->setFont(pictureFont);

    KeyOrders = new OrderKey(page);
}

void MainWindow::createDiagramPage()
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
    ChBxSharpDiff = CheckBox(page, QStringLiteral("Sharp-edge diffraction"), QRect(140, 62, 150, 17),
                             defaults.ChBxSharpDiff,
                             QStringLiteral("Check for the diffraction of a sharp-edged shadow, added to the real part "
                                            "of the rays' sum, as earlier versions did (it rings on at large angles)."));
    ChBxUniformRainbow = CheckBox(page, QStringLiteral("Uniform rainbow"), QRect(294, 43, 110, 17),
                                  defaults.ChBxUniformRainbow,
                                  QStringLiteral("Check to give the total the uniform (Airy) field near every "
                                                 "rainbow of every order."));

    Button1 = BoldButton(page, QStringLiteral("Calculation"), QRect(401, -4, 73, 20));
    CopyGrph = BoldButton(page, QStringLiteral("Graph Copy"), QRect(378, 22, 75, 20));
    Button2 = BoldButton(page, QStringLiteral("Close"), QRect(459, 21, 54, 20));
    Button1->setToolTip(QStringLiteral("Compute the scattering diagram (Enter in a field does the same)."));

    Chart1 = new ScatteringChart(page);
    Chart1->setMinimumSize(320, 200);
    Chart1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    Chart1->rememberOptions(QStringLiteral("chart"));  // "Keep zoom" and the legend's listing

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

void MainWindow::createAboutPage()
{
    // The four boxes keep their places and sizes; in a window smaller than they need the
    // page scrolls instead of cutting them.
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    TabAbout = scroll;
    PgRayTracing->addTab(TabAbout, QStringLiteral("About"));
    auto* page = new QWidget;
    page->setFixedSize(579, 388);
    scroll->setWidget(page);

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

void MainWindow::createStatusControls()
{
    LblStatus = new QLabel(this);
    LblStatus->setTextFormat(Qt::PlainText);
    LblStatus->setMinimumWidth(120);
    LblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    PrgRun = new QProgressBar(this);
    PrgRun->setRange(0, 100);
    PrgRun->setTextVisible(true);
    PrgRun->setMinimumWidth(160);
    BtnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BtnCancel->setToolTip(QStringLiteral("Stop the computation (Esc); its files are left as they were."));
    // Hidden between runs, their place kept so that nothing moves when a run starts.
    for (QWidget* w : {static_cast<QWidget*>(PrgRun), static_cast<QWidget*>(BtnCancel)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
        w->setVisible(false);
    }
}

// The design's places, kept in Qt layouts: the input strip with its captions above the
// fields, the Min/Max row with the run's state on its right, the position grid on the left
// and the pages beside it, each page with its controls above what it shows.
void MainWindow::layOut()
{
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 2, 6, 6);
    root->setSpacing(4);
    root->setMenuBar(MainMenu);

    // Captions over their fields; a caption wider than its fields widens their columns.
    auto* top = new QGridLayout;
    top->setHorizontalSpacing(6);
    top->setVerticalSpacing(LabeledEdit::kLabelSpacing);
    auto captionOver = [top](QWidget* caption, int column, int span) {
        top->addWidget(caption, 0, column, 1, span, Qt::AlignLeft | Qt::AlignBottom);
    };
    captionOver(Edtmr->EditLabel(), 0, 2);
    top->addWidget(Edtmr, 1, 0);
    top->addWidget(Edtmi, 1, 1);
    top->setColumnMinimumWidth(2, 8);
    captionOver(EdtRadius_a->EditLabel(), 3, 3);
    top->addWidget(EdtRadius_a, 1, 3);
    top->addWidget(EdtRadius_b, 1, 4);
    top->addWidget(EdtRadius_c, 1, 5);
    top->setColumnMinimumWidth(6, 8);
    captionOver(EdtIncAng->EditLabel(), 7, 1);
    top->addWidget(EdtIncAng, 1, 7);
    top->setColumnMinimumWidth(8, 8);
    captionOver(Label1, 9, 1);
    top->addWidget(CbxPol, 1, 9);
    top->setColumnMinimumWidth(10, 8);
    captionOver(EdtMinp->EditLabel(), 11, 1);
    top->addWidget(EdtMinp, 1, 11);
    captionOver(EdtMaxp->EditLabel(), 12, 1);
    top->addWidget(EdtMaxp, 1, 12);
    top->setColumnStretch(13, 1);
    for (int column : {0, 1, 3, 4, 5, 7, 9, 11, 12})
        top->itemAtPosition(1, column)->setAlignment(Qt::AlignLeft);
    root->addLayout(top);

    auto* minMax = new QHBoxLayout;
    minMax->setSpacing(6);
    minMax->addWidget(ChkBxMinMax);
    minMax->addWidget(EdtAxisMin);
    minMax->addWidget(EdtAxisMax);
    minMax->addSpacing(16);
    minMax->addWidget(LblStatus, 1);
    minMax->addWidget(PrgRun);
    minMax->addWidget(BtnCancel);
    root->addLayout(minMax);

    auto* body = new QHBoxLayout;
    body->setSpacing(4);
    auto* left = new QVBoxLayout;
    left->setSpacing(2);
    left->addWidget(LblPosit);
    left->addWidget(StrGrdPosit, 1);
    body->addLayout(left);
    body->addWidget(PgRayTracing, 1);
    root->addLayout(body, 1);

    // Page "Ray tracing": one row of controls, the picture, the key of its colours.
    auto* picturePage = new QVBoxLayout(TabRayTracing);
    picturePage->setContentsMargins(4, 4, 4, 4);
    picturePage->setSpacing(4);
    auto* pictureRow = new QHBoxLayout;
    pictureRow->setSpacing(6);
    pictureRow->addWidget(LblNumRay);
    pictureRow->addWidget(CbxNumRay);
    pictureRow->addSpacing(12);
    pictureRow->addWidget(LblEdtSizeEll->EditLabel());
    pictureRow->addWidget(LblEdtSizeEll);
    pictureRow->addSpacing(6);
    pictureRow->addWidget(ChBxEmergRay);
    pictureRow->addStretch(1);
    pictureRow->addWidget(BtnCompute);
    pictureRow->addWidget(BtnClose);
    picturePage->addLayout(pictureRow);
    picturePage->addWidget(graph, 1);
    picturePage->addWidget(KeyOrders);

    // Page "Scattering Diagram": the three fields, the six boxes in two columns of three
    // rows, the three buttons in a column, the chart below.
    auto* diagramPage = new QVBoxLayout(TabDiagram);
    diagramPage->setContentsMargins(4, 4, 4, 4);
    diagramPage->setSpacing(4);
    auto* head = new QGridLayout;
    head->setHorizontalSpacing(8);
    head->setVerticalSpacing(2);
    int column = 0;
    for (LabeledEdit* edit : {EdtWl, LblEdtNumRays, LblEdtNumSca}) {
        head->addWidget(edit->EditLabel(), 0, column, Qt::AlignLeft | Qt::AlignBottom);
        head->addWidget(edit, 1, column, Qt::AlignLeft | Qt::AlignTop);
        ++column;
    }
    head->setColumnMinimumWidth(column++, 10);
    head->addWidget(ChBxDiff, 0, column);
    head->addWidget(ChBxTotalInt, 1, column);
    head->addWidget(ChBxEntryFresnel, 2, column);
    head->addWidget(ChBxSharpDiff, 3, column);
    ++column;
    head->addWidget(ChBxAiry, 0, column);
    head->addWidget(ChBxCheck, 1, column);
    head->addWidget(ChBxUniformRainbow, 2, column);
    ++column;
    head->setColumnStretch(column++, 1);
    head->addWidget(Button1, 0, column);
    head->addWidget(CopyGrph, 1, column);
    head->addWidget(Button2, 2, column);
    diagramPage->addLayout(head);
    diagramPage->addWidget(Chart1, 1);
}

// The widths that depend on the font: the fields (their design width, or wider for their
// digits), the buttons (their caption) and the position grid's column.
void MainWindow::fitToFont()
{
    FitEditWidth(Edtmr, 50, 6);
    FitEditWidth(Edtmi, 50, 6);
    FitEditWidth(EdtRadius_a, 40, 5);
    FitEditWidth(EdtRadius_b, 40, 5);
    FitEditWidth(EdtRadius_c, 40, 5);
    FitEditWidth(EdtIncAng, 73, 6);
    FitEditWidth(EdtMinp, 34, 3);
    FitEditWidth(EdtMaxp, 34, 3);
    FitEditWidth(EdtAxisMin, 45, 5);
    FitEditWidth(EdtAxisMax, 50, 5);
    FitEditWidth(EdtWl, 47, 6);
    FitEditWidth(LblEdtNumRays, 53, 6);
    FitEditWidth(LblEdtNumSca, 48, 6);
    FitEditWidth(LblEdtSizeEll, 55, 5);
    CbxPol->setMinimumContentsLength(2);
    CbxNumRay->setMinimumContentsLength(4);
    for (QComboBox* box : {CbxPol, CbxNumRay})
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // The buttons of a column as wide as the widest of them.
    int buttons = 0;
    for (QPushButton* b : {Button1, CopyGrph, Button2})
        buttons = std::max(buttons, b->sizeHint().width());
    for (QPushButton* b : {Button1, CopyGrph, Button2})
        b->setMinimumWidth(buttons);
    StrGrdPosit->fitToContents();
}

void MainWindow::connectEvents()
{
    connect(PgRayTracing, &QTabWidget::currentChanged, this, &MainWindow::PgRayTracingChange);
    connect(BtnCompute, &QPushButton::clicked, this, &MainWindow::BtnRaytracingClick);
    connect(Button1, &QPushButton::clicked, this, &MainWindow::BtnCalcDiagClick);
    connect(BtnClose, &QPushButton::clicked, this, &MainWindow::BtnCloseClick);
    connect(Button2, &QPushButton::clicked, this, &MainWindow::BtnCloseClick);
    connect(CopyGrph, &QPushButton::clicked, this, &MainWindow::CopyGrphClick);
    // Every change of the text, typed or chosen from the list.
    connect(CbxNumRay, &QComboBox::editTextChanged, this, &MainWindow::CbxNumRayChange);
    connect(CbxPol, &QComboBox::editTextChanged, this, &MainWindow::CbxNumRayChange);
    connect(StrGrdPosit, &PositionGridView::gridClicked, this, &MainWindow::StrGrdPositClick);
    // The grid losing the focus to another control of this window (not to a message
    // box, which would bring its own error back again and again).
    focusConnection_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (isInGrid(old) && now != nullptr && !isInGrid(now) && now->window() == this)
            StrGrdPositClick();
    });
    connect(Chart1, &ScatteringChart::seriesClicked, this,
            [this](QCPGraph* series, int index, QPoint pos) { Chart1ClickSeries(series, index, pos.x(), pos.y()); });
    connect(Chart1, &ScatteringChart::actionFailed, this, [this](const QString& message) { showError(S(message)); });
    connect(Chart1, &ScatteringChart::statusMessage, LblStatus, &QLabel::setText);  // copies and saves
    Chart1->setExactTheoryQuery([this] {
        ScatteringChart::ExactTheoryItem item;
        item.enabled = ExactTheoryAvailable();
        item.checked = item.enabled && compareExact_;
        item.whyDisabled = Q(kExactSpheresOnlyMessage);
        return item;
    });
    connect(Chart1, &ScatteringChart::exactTheoryToggled, this, &MainWindow::CompareExactClick);
    Chart1->setDebyeTermsQuery([this] {
        ScatteringChart::ExactTheoryItem item;
        item.enabled = ExactTheoryAvailable();
        item.checked = item.enabled && compareDebye_;
        item.whyDisabled = Q(kExactSpheresOnlyMessage);
        return item;
    });
    connect(Chart1, &ScatteringChart::debyeTermsToggled, this, &MainWindow::CompareDebyeClick);

    // Enter in any field of the window: the computation of the page shown.
    for (QLineEdit* edit : {static_cast<QLineEdit*>(Edtmr), Edtmi, static_cast<QLineEdit*>(EdtRadius_a), EdtRadius_b,
                            EdtRadius_c, static_cast<QLineEdit*>(EdtIncAng), static_cast<QLineEdit*>(EdtMinp),
                            static_cast<QLineEdit*>(EdtMaxp), EdtAxisMin, EdtAxisMax, static_cast<QLineEdit*>(EdtWl),
                            static_cast<QLineEdit*>(LblEdtNumRays), static_cast<QLineEdit*>(LblEdtNumSca),
                            static_cast<QLineEdit*>(LblEdtSizeEll), CbxPol->lineEdit(), CbxNumRay->lineEdit()})
        connect(edit, &QLineEdit::returnPressed, this, &MainWindow::FieldReturnPressed);

    connect(ActOpenParameters, &QAction::triggered, this, &MainWindow::OpenParametersClick);
    connect(ActSaveParameters, &QAction::triggered, this, &MainWindow::SaveParametersClick);
    connect(ActCancel, &QAction::triggered, this, &MainWindow::BtnCancelClick);
    connect(BtnCancel, &QPushButton::clicked, this, &MainWindow::BtnCancelClick);
    connect(run_.get(), &BackgroundRun::finished, this, &MainWindow::onRunFinished);
    progressTimer_.setInterval(kProgressIntervalMs);
    connect(&progressTimer_, &QTimer::timeout, this, &MainWindow::showProgress);
    pictureTimer_.setSingleShot(true);
    pictureTimer_.setInterval(0);
    connect(&pictureTimer_, &QTimer::timeout, this, &MainWindow::pictureRequestDue);
    // The picture area resized on its own page (the window, or the key below it wrapping
    // anew): the picture is drawn again at its size.
    connect(graph, &PaintBox::resized, this, [this] {
        if (PgRayTracing->currentIndex() == kPageRayTracing && !graph->image().isNull() &&
            graph->image().size() != graph->size())
            requestPicture();
    });
}

bool MainWindow::isInGrid(const QWidget* widget) const
{
    return widget != nullptr && (widget == StrGrdPosit || StrGrdPosit->isAncestorOf(widget));
}

// ---------------------------------------------------------------------------------------
// Widgets <-> Fields.

void MainWindow::takeFields()
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
    f.ChBxSharpDiff = ChBxSharpDiff->isChecked();
    // A tick kept from a sphere does not bring the "spheres only" message to every run of
    // another shape: the menu shows the item disabled, and the run leaves the curve out.
    f.CompareExact = compareExact_ && ExactTheoryAvailable();
    f.CompareDebye = compareDebye_ && ExactTheoryAvailable();
}

void MainWindow::putFields()
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
    ChBxSharpDiff->setChecked(f.ChBxSharpDiff);
    putGrid();
}

void MainWindow::putGrid()
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

void MainWindow::showError(const std::string& text)
{
    errors_->show(text);
}

std::string MainWindow::runCore(bool busy, const std::function<void()>& work)
{
    // A modal box opened by a running handler lets resize events through; the core is
    // not entered a second time meanwhile.
    if (running_)
        return "busy";
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
    if (pictureWanted_)
        pictureTimer_.start();  // a resize that came while a box of this handler was open
    return error;
}

// ---------------------------------------------------------------------------------------
// Computations in the background.

bool MainWindow::refuseWhileRunning()
{
    if (!run_->running())
        return false;
    LblStatus->setText(QStringLiteral("A computation is running: wait for it or cancel it."));
    return true;
}

void MainWindow::setRunning(bool running)
{
    Button1->setEnabled(!running);
    BtnCompute->setEnabled(!running);
    ActOpenParameters->setEnabled(!running);
    ActCancel->setEnabled(running);
    BtnCancel->setEnabled(running);
    PrgRun->setVisible(running);
    BtnCancel->setVisible(running);
    if (running) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        progressTimer_.start();
    } else {
        progressTimer_.stop();
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::startRun(RunKind kind, const QString& what, std::function<void(RunControl&)> work,
                      std::function<void()> done, std::function<void(const QString&, bool)> failed)
{
    runKind_ = kind;
    runWhat_ = what;
    runDone_ = std::move(done);
    runFailed_ = std::move(failed);
    runClock_.start();
    if (!run_->start(std::move(work)))
        return;
    setRunning(true);
    showProgress();
}

void MainWindow::showProgress()
{
    const BackgroundRun::Progress p = run_->progress();
    if (run_->cancelRequested()) {
        LblStatus->setText(QStringLiteral("Cancelling\u2026"));
        return;
    }
    if (!p.known) {
        // Nothing reported yet (the picture reports nothing): a bar that only says it works.
        PrgRun->setRange(0, 0);
        LblStatus->setText(runWhat_ + QStringLiteral("\u2026"));
        return;
    }
    QString stage = QString::fromLatin1(RunStageName(p.stage));
    if (p.stage == RunStage::Assembling && !runWhat_.isEmpty())
        stage += QLatin1Char(' ') + runWhat_;
    LblStatus->setText(stage + QStringLiteral("\u2026"));
    if (p.total <= 1) {
        PrgRun->setRange(0, 0);
    } else {
        // The stage is named in the status beside the bar; the bar shows how far it has come.
        PrgRun->setRange(0, p.total);
        PrgRun->setValue(std::clamp(p.done, 0, p.total));
        PrgRun->setFormat(QStringLiteral("%p%"));
    }
}

void MainWindow::onRunFinished(const QString& error, bool cancelled)
{
    setRunning(false);
    const auto done = std::move(runDone_);
    const auto failed = std::move(runFailed_);
    const double seconds = runClock_.elapsed() / 1000.0;
    const QString what = runKind_ == RunKind::Diagram ? QStringLiteral("Diagram") : QStringLiteral("Picture");
    const bool succeeded = error.isEmpty();
    if (succeeded) {
        if (done)
            done();
        LblStatus->setText(QStringLiteral("%1 done in %2 s.").arg(what).arg(seconds, 0, 'f', 1));
    } else {
        LblStatus->setText(cancelled ? QStringLiteral("%1 cancelled: no file was changed.").arg(what)
                                     : QStringLiteral("%1 failed: %2").arg(what, error));
        if (failed)
            failed(error, cancelled);
        // Asked for by the user: no box for a cancel.
        if (!cancelled)
            showError(error.toStdString());
    }
    emit runFinished(succeeded);
    if (pictureWanted_)
        pictureTimer_.start();
}

void MainWindow::BtnCancelClick()
{
    if (run_->running()) {
        run_->cancel();
        showProgress();
    }
}

void MainWindow::requestPicture()
{
    pictureWanted_ = true;
    pictureTimer_.start();
}

void MainWindow::pictureRequestDue()
{
    if (!pictureWanted_ || run_->running() || running_)
        return;
    pictureWanted_ = false;
    if (PgRayTracing->currentIndex() == kPageRayTracing)
        BtnRaytracingClick();
}

// ---------------------------------------------------------------------------------------
// The handlers.

void MainWindow::FormCreate()
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
    else
        LblStatus->setText(QStringLiteral("Ready."));
}

void MainWindow::FormResize()
{
    // The layouts have placed every control for the new size.
    if (PgRayTracing->currentIndex() == kPageRayTracing)
        requestPicture();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange && controlsBuilt_)
        fitToFont();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A run still going stops at its next chance; its files stay as they were.
    run_->cancel();
    QWidget::closeEvent(event);
}

void MainWindow::PgRayTracingChange(int index)
{
    // Only a picture already drawn, at a size the area no longer has: showing the page
    // does not draw a first picture.
    if (index == kPageRayTracing && !graph->image().isNull()) {
        TabRayTracing->layout()->activate();
        if (graph->image().size() != graph->size())
            requestPicture();
    }
}

void MainWindow::FieldReturnPressed()
{
    switch (PgRayTracing->currentIndex()) {
    case kPageRayTracing:
        BtnRaytracingClick();
        break;
    case kPageDiagram:
        BtnCalcDiagClick();
        break;
    default:
        break;
    }
}

void MainWindow::BtnCalcDiagClick()
{
    if (refuseWhileRunning())
        return;
    // Read here: the limit messages are boxes of this thread, the grid is brought up to date.
    DiagramInputs inputs;
    const std::string error = runCore(true, [&] { inputs = ReadDiagramInputs(fields_, separator_, *messages_); });
    if (error == "busy")
        return;
    if (!error.empty()) {
        // The chart keeps the last good result, and says so.
        Chart1->showStaleNotice(Q(error));
        return;
    }
    const bool check = fields_.ChBxCheck;
    const char separator = separator_;
    const QString caption = ChartCaption(inputs);
    auto series = std::make_shared<DiagramSeries>();
    startRun(
        RunKind::Diagram,
        inputs.MinP == inputs.MaxP ? QStringLiteral("p=%1").arg(inputs.MaxP)
                                           : QStringLiteral("p=%1\u2013%2").arg(inputs.MinP).arg(inputs.MaxP),
        [inputs, check, separator, series](RunControl& control) {
            *series = BuildChartSeries(RunDiagram(inputs, check, {{}, separator}, control));
        },
        [this, caption, series] {
            LblX->setText(QString());
            LblX->adjustSize();
            Chart1->setCaption(caption);
            Chart1->setDiagram(*series);
        },
        [this](const QString& error, bool cancelled) { Chart1->showStaleNotice(error, cancelled); });
}

void MainWindow::CompareDebyeClick(bool checked)
{
    compareDebye_ = checked;
    BtnCalcDiagClick();
}

void MainWindow::CompareExactClick(bool checked)
{
    compareExact_ = checked;
    BtnCalcDiagClick();
}

bool MainWindow::ExactTheoryAvailable() const
{
    double a = 0, b = 0, c = 0;
    return TryStrToFloat(S(EdtRadius_a->text()), a, separator_) && TryStrToFloat(S(EdtRadius_b->text()), b, separator_) &&
           TryStrToFloat(S(EdtRadius_c->text()), c, separator_) && a == b && b == c;
}

namespace {

// What the picture's worker hands back: the image (also when the drawing stopped part-way)
// and the orders it drew.
struct PictureOutcome {
    QImage image;
    std::vector<int> orders;
};

} // namespace

void MainWindow::BtnRaytracingClick()
{
    if (refuseWhileRunning())
        return;
    PictureInputs inputs;
    const std::string error = runCore(true, [&] { inputs = ReadPictureInputs(fields_, separator_, *messages_); });
    if (!error.empty())
        return;

    // Drawn over what the area shows now, so that a drawing that stops early leaves the
    // part drawn so far on what was there before.
    const QSize size(std::max(1, graph->width()), std::max(1, graph->height()));
    const QImage before = graph->image();
    const QColor background = TabRayTracing->palette().color(QPalette::Window);
    const char separator = separator_;
    auto outcome = std::make_shared<PictureOutcome>();
    startRun(
        RunKind::Picture, QStringLiteral("Drawing the rays"),
        [inputs, size, before, background, separator, outcome](RunControl& control) {
            const Picture picture = ComputePicture(inputs, size.width(), size.height());
            ThrowIfCancelled(control);
            QImage image(size, QImage::Format_RGB32);
            image.fill(background);
            if (!before.isNull()) {
                QPainter painter(&image);
                painter.drawImage(0, 0, before);
            }
            try {
                QtCanvas canvas(image);
                DrawPicture(picture, canvas);
            } catch (...) {
                outcome->image = image;
                throw;
            }
            outcome->image = image;
            // The incident and reflected rays in order 0's colour, then a chord per order.
            std::size_t chords = 0;
            for (const PicturePath& ray : picture.rays)
                chords = std::max(chords, ray.chords.size());
            for (int p = 0; p <= static_cast<int>(chords); ++p)
                outcome->orders.push_back(p);
            ThrowIfCancelled(control);
            WritePictureFile(picture, {{}, separator});
        },
        [this, outcome] {
            graph->setImage(outcome->image);
            KeyOrders->setOrders(outcome->orders);
        },
        [this, outcome](const QString&, bool cancelled) {
            if (!cancelled && !outcome->image.isNull())
                graph->setImage(outcome->image);
        });
}

void MainWindow::BtnCloseClick()
{
    close();
}

void MainWindow::CopyGrphClick()
{
    try {
        Chart1->copyToClipboard();
    } catch (const std::exception& e) {
        showError(e.what());
    }
}

void MainWindow::CbxNumRayChange()
{
    runCore(false, [this] { orvane::CbxNumRayChange(fields_, separator_, *messages_); });
}

void MainWindow::StrGrdPositClick()
{
    runCore(false, [this] { orvane::StrGrdPositClick(fields_, separator_, *messages_); });
}

// ---------------------------------------------------------------------------------------
// Parameters in and out.

QString MainWindow::parameterFolder() const
{
    const QString folder = QSettings().value(QLatin1String(kFolderKey)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::currentPath();
}

void MainWindow::OpenParametersClick()
{
    if (refuseWhileRunning())
        return;
    const QString file = fileChooser_ ? fileChooser_(false, parameterFolder())
                                      : QFileDialog::getOpenFileName(this, QStringLiteral("Open parameters"),
                                                                     parameterFolder(),
                                                                     QStringLiteral("Parameter files (*.par);;All files (*)"));
    if (!file.isEmpty())
        openParameters(file);
}

void MainWindow::SaveParametersClick()
{
    const QString suggested = QDir(parameterFolder()).filePath(QString::fromLatin1(kParameterFileName));
    const QString file = fileChooser_ ? fileChooser_(true, parameterFolder())
                                      : QFileDialog::getSaveFileName(this, QStringLiteral("Save parameters as"), suggested,
                                                                     QStringLiteral("Parameter files (*.par);;All files (*)"));
    if (!file.isEmpty())
        saveParameters(file);
}

bool MainWindow::openParameters(const QString& file)
{
    if (refuseWhileRunning())
        return false;
    try {
        const ParameterFileValues values = ReadParameterFile(file.toStdString());
        takeFields();
        WriteParametersToFields(values, fields_, separator_);
        putFields();
    } catch (const std::exception& e) {
        showError(e.what());
        return false;
    }
    QSettings().setValue(QLatin1String(kFolderKey), QFileInfo(file).absolutePath());
    // As at start: the file's diagram.
    BtnCalcDiagClick();
    return true;
}

bool MainWindow::saveParameters(const QString& file)
{
    try {
        takeFields();
        WriteParameterFile(ReadParametersFromFields(fields_, separator_), file.toStdString());
    } catch (const std::exception& e) {
        showError(e.what());
        return false;
    }
    QSettings().setValue(QLatin1String(kFolderKey), QFileInfo(file).absolutePath());
    LblStatus->setText(QStringLiteral("Parameters saved to %1.").arg(QDir::toNativeSeparators(file)));
    return true;
}

void MainWindow::Chart1ClickSeries(QCPAbstractPlottable* series, int valueIndex, int x, int y)
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
