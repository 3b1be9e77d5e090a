// The main window of Orvane, TForm1: the inputs shared by both computations along the top
// and on the left, and a page control with the ray-tracing picture, the scattering diagram
// and an information page.
//
// The window is a thin front end over the core: a handler copies the widgets into the
// Fields, reads them into the core's typed inputs, calls the same entry points as
// orvane-batch, copies the position grid back and shows the result. Errors escaping the core
// are caught at the handler's boundary and shown in a message box; the window goes on.
#pragma once

#include <functional>
#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QWidget>

#include "app/FormControls.h"
#include "app/QtMessageSink.h"
#include "app/ScatteringChart.h"
#include "run/Fields.h"

class QCPAbstractPlottable;

namespace orvane {

class MessageSink;

class TForm1 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kLeft = 137, kTop = 138;
    static constexpr int kClientWidth = 711, kClientHeight = 552;
    static constexpr int kChartRightMargin = 1;  // the chart's right margin setting
    // Page indices of PgRayTracing.
    static constexpr int kPageRayTracing = 0, kPageDiagram = 1, kPageAbout = 2;

    // messages: where the program's messages and the errors caught at the handlers'
    // boundaries go. Null: modal message boxes (the tests give a recording sink).
    // Creating the window runs FormCreate: the parameter file of the working directory
    // and the first diagram.
    // separator: the decimal separator of the numbers typed and shown, and of the files ('.' by
    // default; the program passes its locale's).
    explicit TForm1(MessageSink* messages = nullptr, QWidget* parent = nullptr, char separator = '.');
    ~TForm1() override;

    void setMessageSink(MessageSink* messages);

    // The handlers of the window's events.
    void FormCreate();
    void FormResize();
    void PgRayTracingChange(int index);
    void BtnCalcDiagClick();
    void BtnRaytracingClick();
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

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void createTopControls();
    void createRayTracingPage();
    void createDiagramPage();
    void createAboutPage();
    void connectEvents();

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
    bool running_ = false;  // a handler of the core is running (a modal box may be open)
    bool compareExact_ = false;
    bool compareDebye_ = false;
    QSize lastFrameSize_;
    QMetaObject::Connection focusConnection_;
};

} // namespace orvane
