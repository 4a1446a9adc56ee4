#pragma once
// "点検・整備予定": per vehicle and maintenance item with a cycle, the last time it was done,
// when it is due (date and odometer) and what is left; overdue rows red, rows due within 30
// days or 500 km orange. The lower table edits the cycles (months, km, first-time months),
// kept in QuilExt.db.

#include <functional>
#include <vector>

#include "reports/MaintenanceSchedule.h"
#include "ui/tools/ToolWindow.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace quil::analysis {

class ReportTableView;

class ScheduleForm : public ToolForm {
    Q_OBJECT
public:
    ScheduleForm(ui::MainContext& context, QWidget* mainWindow);

    ReportTableView* ScheduleTable = nullptr;
    QTableWidget* CycleTable = nullptr;  // 項目, 月, km, 初回(月)
    QPushButton* SaveCyclesButton = nullptr;
    QPushButton* RefreshButton = nullptr;
    QPushButton* CsvButton = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* CloseButton = nullptr;
    QLabel* SummaryLabel = nullptr;

    const std::vector<analysis::ScheduleRow>& rows() const { return rows_; }
    // While it answers true the cycles are not saved (another computer holds the folder).
    void setReadOnlyCheck(std::function<bool()> f) { readOnly_ = std::move(f); }

    static QColor overdueColour();
    static QColor soonColour();

public Q_SLOTS:
    // Reads the cycles, then the items and the records on a worker, and shows the schedule
    // when they arrive.
    void Reload();
    void SaveCyclesClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fillCycles(const std::vector<analysis::ScheduleItem>& items,
                    const std::vector<analysis::MaintenanceCycle>& cycles);
    void showRows(bool withCycles);

    std::vector<analysis::ScheduleRow> rows_;
    std::function<bool()> readOnly_;
};

}  // namespace quil::analysis
