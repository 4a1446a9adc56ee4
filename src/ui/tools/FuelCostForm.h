#pragma once
// "燃費・費用": fuel economy and costs over a period, per vehicle and per month, for every
// vehicle or one. The tables sort by a click on a column title, go out as CSV and print
// through the grid printer. ヘルプ states how km/L is worked out.

#include "reports/FuelReport.h"
#include "ui/tools/ToolWindow.h"

class QPushButton;
class QTabWidget;

namespace quil::analysis {

class PeriodPicker;
class ReportTableView;

class FuelCostForm : public ToolForm {
    Q_OBJECT
public:
    FuelCostForm(ui::MainContext& context, QWidget* mainWindow);

    PeriodPicker* Picker = nullptr;
    QPushButton* CalcButton = nullptr;  // "集計"
    QTabWidget* Tabs = nullptr;         // 車両別, 月別
    ReportTableView* VehicleTable = nullptr;
    ReportTableView* MonthTable = nullptr;
    QPushButton* CsvButton = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* HelpButton = nullptr;
    QPushButton* CloseButton = nullptr;

    const analysis::FuelReport& report() const { return report_; }
    // The table on the current tab.
    ReportTableView* currentTable() const;
    static QString helpText();

public Q_SLOTS:
    void CalcClick();
    void CsvClick();
    void PrintClick();
    void HelpClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString heading() const;

    analysis::FuelReport report_;
};

}  // namespace quil::analysis
