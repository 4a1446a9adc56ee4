#pragma once
// The summary table window: the user picks a period and one of nine summaries, presses
// "集計", and the read-only area lists the heading, the period and one line per group
// (every live vehicle, user or purpose) with its figure over the period, then a total.
// Every live record counts, whatever the main window's filters show. "印刷(&P)" prints the
// table through the grid printer, with a preview from which it goes to a printer or a PDF file.

#include <QDialog>
#include <QStringList>
#include <functional>
#include <string>

#include "reports/SummaryTable.h"
#include "store/DataSetChange.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QToolButton;

namespace quil::ui {

class BackgroundWork;
class MainContext;
class PeriodChoice;
class TComboGrid;
class TGridPrinter;

class TCalForm : public QDialog {
    Q_OBJECT
public:
    TCalForm(MainContext& context, QWidget* mainWindow);
    ~TCalForm() override;

    QPushButton* BitBtn1 = nullptr;  // close
    QPushButton* BitBtn2 = nullptr;  // "印刷(&P)"
    QComboBox* ComboBox1 = nullptr;  // period kind
    QPushButton* Button1 = nullptr;  // "集計"
    QLineEdit* Edit1 = nullptr;      // year
    QWidget* UpDown1 = nullptr;      // steps the year, 1950..2050
    QComboBox* ComboBox2 = nullptr;  // summary kind
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* NoteLabel = nullptr;        // says that the main window's filters do not apply
    TComboGrid* SummaryGrid = nullptr;  // hidden: the table that is printed
    TGridPrinter* SummaryPrinter = nullptr;

    // The table of the last summary into SummaryGrid (run one first when none ran).
    void fillSummaryGrid();
    // Prints SummaryGrid with its heading on `target`; returns the number of pages.
    int printSummary(QPrinter& target);

public Q_SLOTS:
    void FormCreate(QWidget* mainWindow);
    void ComboBox1Change();
    void FormResize();
    void Button1Click();
    void BitBtn2Click();
    void BitBtn1Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void stepYear(int delta);
    // Sums the chosen table on a worker; shows it (after `lines`, the heading) when it
    // arrives, then runs `then`.
    void summarize(std::function<void()> then);
    void showSummary(QStringList lines);
    // Follows a change of the data set in the summary on screen where it can (a record the
    // summary takes, or none); true when the figures must be summed again.
    bool needsSumming(const store::DataSetChange& c);
    QString heading() const;
    QString periodLine() const;

    MainContext& context_;
    BackgroundWork* work_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    bool ran_ = false;
    SummaryKind lastKind_ = SummaryKind::DistanceByVehicle;
    PeriodChoice* period_ = nullptr;  // drives ComboBox1 and shows Edit1, UpDown1 for a year
    SummaryResult last_;
    QString lastHeading_;
    QString lastPeriod_;
};

}  // namespace quil::ui
