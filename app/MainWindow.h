// The main window of Orvane, MainWindow: the inputs shared by both computations along the top
// and on the left, and a page control with the ray-tracing picture, the scattering diagram
// and an information page. Qt layouts place the controls, so that nothing is cut at any
// size above the window's minimum, whatever the font.
//
// The window is a thin front end over the core: a handler copies the widgets into the
// Fields and reads them into the core's typed inputs on the window's thread (the limit
// messages appear as boxes there, the position grid is brought up to date), then the core
// runs on a thread of its own with the same entry points as orvane-batch, while the window
// shows its progress and offers Cancel. One computation at a time: a second start while one
// runs is refused. Errors are caught at the run's boundary and shown in a message box; the
// window goes on, and the chart says that it still shows the previous diagram.
#pragma once

#include <functional>
#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>

#include "app/BackgroundRun.h"

#include "app/FormControls.h"
#include "app/QtMessageSink.h"
#include "app/ScatteringChart.h"
#include "run/Fields.h"

class QCPAbstractPlottable;

namespace orvane {

class MessageSink;

class MainWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kLeft = 137, kTop = 138;
    // The window opens at this size, or at its minimum where that is larger.
    static constexpr int kOpenWidth = 960, kOpenHeight = 680;
    // How often the progress bar reads the run's progress.
    static constexpr int kProgressIntervalMs = 50;
    static constexpr int kChartRightMargin = 1;  // the chart's right margin setting
    // Page indices of PgRayTracing.
    static constexpr int kPageRayTracing = 0, kPageDiagram = 1, kPageAbout = 2;

    // messages: where the program's messages and the errors caught at the handlers'
    // boundaries go. Null: modal message boxes (the tests give a recording sink).
    // Creating the window runs FormCreate: the parameter file of the working directory
    // and the first diagram, which goes on in the background while the window shows.
    // separator: the decimal separator of the numbers typed and shown, and of the files ('.' by
    // default; the program passes its locale's).
    explicit MainWindow(MessageSink* messages = nullptr, QWidget* parent = nullptr, char separator = '.');
    ~MainWindow() override;

    void setMessageSink(MessageSink* messages);

    // The handlers of the window's events.
    void FormCreate();
    // A resize while the "Ray tracing" page is shown draws the picture again at the new size
    // (resizes that come while a computation runs are gathered: the last size wins).
    void FormResize();
    // The "Ray tracing" page shown again with a picture drawn at another size: drawn anew.
    void PgRayTracingChange(int index);
    // "Calculation" and "Compute": the inputs are read here, the computation is started in
    // the background; runFinished tells when it has ended.
    void BtnCalcDiagClick();
    void BtnRaytracingClick();
    // "Cancel" (or Esc): the running computation stops at its next chance and changes no file.
    void BtnCancelClick();
    // Enter in a field: the computation of the page shown ("Compute" or "Calculation").
    void FieldReturnPressed();
    // The File menu. The file dialogs start in the folder last used (kept in QSettings).
    void OpenParametersClick();
    void SaveParametersClick();
    // Opening fills the fields the file holds and computes the diagram, as at start; saving
    // writes the fields in the same form. Errors are shown; false when there was one.
    bool openParameters(const QString& file);
    bool saveParameters(const QString& file);
    // The folder the file dialogs start in: the last one used, else the working folder.
    QString parameterFolder() const;
    void BtnCloseClick();
    void CopyGrphClick();
    void CbxNumRayChange();
    void StrGrdPositClick();
    // A click on a point of a series: its index and the mouse position in the chart.
    void Chart1ClickSeries(QCPAbstractPlottable* series, int valueIndex, int x, int y);
    // The chart menu's "Compare with exact theory" ticked or unticked: the diagram is
    // computed again at once, with or without the exact curve.
    void CompareExactClick(bool checked);
    // The chart menu's "Compare orders with exact Debye terms" ticked or unticked: the diagram
    // is computed again at once, with or without the Debye lines.
    void CompareDebyeClick(bool checked);

    // A sphere by the three radius texts as typed (each a number, all equal): only then
    // does the chart menu offer the exact curve.
    bool ExactTheoryAvailable() const;
    // The tick of "Compare with exact theory", kept between runs. A run asks for the
    // exact curve only while the item is available (fields().CompareExact).
    bool compareExact() const { return compareExact_; }
    bool compareDebye() const { return compareDebye_; }

    const Fields& fields() const { return fields_; }
    char decimalSeparator() const { return separator_; }

    // A computation is running in the background.
    bool isRunning() const { return run_->running(); }
    BackgroundRun& backgroundRun() { return *run_; }
    // Who picks the file of "Open parameters…" and "Save parameters as…": a file dialog unless
    // replaced (the tests answer for the user). save: the dialog is a save dialog. Empty: none.
    using FileChooser = std::function<QString(bool save, const QString& folder)>;
    void setFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }

    // The menu bar and its File menu.
    QMenuBar* MainMenu;
    QAction* ActOpenParameters;
    QAction* ActSaveParameters;
    QAction* ActCancel;

    // The state of the window's computations: a line of text, the progress bar with the
    // stage, and Cancel, right of the Min/Max row.
    QLabel* LblStatus;
    QProgressBar* PrgRun;
    QPushButton* BtnCancel;

    // Top strip and left column.
    LabeledEdit* Edtmr;
    QLineEdit* Edtmi;
    LabeledEdit* EdtRadius_a;
    QLineEdit* EdtRadius_b;
    QLineEdit* EdtRadius_c;
    LabeledEdit* EdtIncAng;
    QLabel* Label1;
    QComboBox* CbxPol;
    LabeledEdit* EdtMinp;
    LabeledEdit* EdtMaxp;
    QCheckBox* ChkBxMinMax;
    QLineEdit* EdtAxisMin;
    QLineEdit* EdtAxisMax;
    QLabel* LblPosit;
    PositionGridView* StrGrdPosit;
    QTabWidget* PgRayTracing;

    // Page "Ray tracing".
    QWidget* TabRayTracing;
    QLabel* LblNumRay;
    QComboBox* CbxNumRay;
    LabeledEdit* LblEdtSizeEll;
    QCheckBox* ChBxEmergRay;
    QPushButton* BtnCompute;
    QPushButton* BtnClose;
    PaintBox* graph;
    OrderKey* KeyOrders;  // the colours of the orders drawn

    // Page "Scattering Diagram".
    QWidget* TabDiagram;
    LabeledEdit* EdtWl;
    LabeledEdit* LblEdtNumRays;
    LabeledEdit* LblEdtNumSca;
    QCheckBox* ChBxDiff;
    QCheckBox* ChBxTotalInt;
    QCheckBox* ChBxAiry;
    QCheckBox* ChBxUniformRainbow;
    QCheckBox* ChBxCheck;
    QCheckBox* ChBxEntryFresnel;
    QCheckBox* ChBxSharpDiff;
    QPushButton* Button1;
    QPushButton* CopyGrph;
    QPushButton* Button2;
    ScatteringChart* Chart1;
    QLabel* LblX;

    // Page "About".
    QWidget* TabAbout;
    QTextEdit* Title;
    QTextEdit* VersInfo;
    QTextEdit* Memo1;
    QTextEdit* ToBeDone;

signals:
    // A computation started in the background has ended; succeeded: its results are shown.
    void runFinished(bool succeeded);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class RunKind { Diagram, Picture };

    void createMenu();
    void createTopControls();
    void createRayTracingPage();
    void createDiagramPage();
    void createAboutPage();
    void createStatusControls();
    void layOut();
    void fitToFont();
    void connectEvents();

    // Starts work in the background: buttons disabled, progress and Cancel shown; when it
    // ends, done (on success) or failed (after a failure or a cancel, with the error) runs
    // here, then runFinished.
    void startRun(RunKind kind, const QString& what, std::function<void(RunControl&)> work,
                  std::function<void()> done, std::function<void(const QString& error, bool cancelled)> failed);
    void onRunFinished(const QString& error, bool cancelled);
    void showProgress();
    void setRunning(bool running);
    // False, with a word in the status line, while a computation runs.
    bool refuseWhileRunning();
    // A picture at the current size, as soon as nothing runs.
    void requestPicture();
    void pictureRequestDue();

    // Widgets <-> Fields.
    void takeFields();
    void putFields();
    void putGrid();

    // Runs a piece of the core on the window's fields: fields taken in before, grid put back
    // after, errors shown. busy: the computation shows the busy cursor.
    // Returns the error shown, empty when the work succeeded.
    std::string runCore(bool busy, const std::function<void()>& work);
    void showError(const std::string& text);
    bool isInGrid(const QWidget* widget) const;

    Fields fields_;
    char separator_ = '.';
    std::unique_ptr<QtMessageSink> boxSink_;
    std::unique_ptr<QtMessageSink> errorBoxSink_;
    MessageSink* messages_ = nullptr;
    MessageSink* errors_ = nullptr;
    bool controlsBuilt_ = false;
    bool running_ = false;  // a handler of the core is running (a modal box may be open)
    bool compareExact_ = false;
    bool compareDebye_ = false;
    QMetaObject::Connection focusConnection_;

    std::unique_ptr<BackgroundRun> run_;
    RunKind runKind_ = RunKind::Diagram;
    QString runWhat_;  // what the progress bar names besides the stage
    std::function<void()> runDone_;
    std::function<void(const QString&, bool)> runFailed_;
    QTimer progressTimer_;
    QElapsedTimer runClock_;
    bool pictureWanted_ = false;  // a resize asked for a picture while one could not start
    QTimer pictureTimer_;         // gathers the resizes of one turn of the event loop
    FileChooser fileChooser_;
};

} // namespace orvane
