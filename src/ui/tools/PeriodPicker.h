#pragma once
// The period choice of the summary table (全て, 年, 年度, halves, quarters, months, and a
// year; the shared ui::PeriodChoice) as one row of controls, and the vehicle choice (全車両 or one
// live vehicle).

#include <QWidget>
#include <functional>
#include <string>

#include "reports/FuelReport.h"
#include "ui/dialogs/DataSetAccess.h"

class QComboBox;
class QSpinBox;

namespace quil::ui {
class BackgroundWork;
class PeriodChoice;
}  // namespace quil::ui

namespace quil::analysis {

class PeriodPicker : public QWidget {
    Q_OBJECT
public:
    explicit PeriodPicker(QWidget* parent = nullptr);

    QComboBox* VehicleBox = nullptr;  // 全車両, then the live vehicles
    QSpinBox* YearBox = nullptr;
    QComboBox* PeriodBox = nullptr;  // the summary table's period list

    // Refills the vehicle list from the data set's items, keeping the choice when it is
    // still there. The items are read on a worker with its own access (a slow server holds
    // up no window); `then` runs once the list is filled. A newer call drops an older read.
    void readVehicles(ui::DataSetOpener open, std::function<void()> then = {});
    // The chosen vehicle's item position, -1 for every vehicle.
    int vehicle() const;
    analysis::ReportPeriod period() const;
    // "2024年", "2024年度　上期", "全期間" …
    QString periodText() const;
    QString vehicleText() const;

private:
    ui::PeriodChoice* choice_ = nullptr;
    ui::BackgroundWork* vehicleWork_ = nullptr;
};

}  // namespace quil::analysis
