#pragma once
// "走行距離チェック": the odometer readings that break a vehicle's chain (date, vehicle,
// record kind, reading, expected range, what is wrong). A double click opens the record.
// The daily limit is settable and kept in QuilExt.db. Each opening checks the records again;
// closing lets go of the findings, so a million of them cost nothing once the window is shut.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "reports/OdometerCheck.h"
#include "ui/tools/ToolWindow.h"

class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace quil::analysis {

class ReportTableView;

class OdometerCheckForm : public ToolForm {
    Q_OBJECT
public:
    using OpenRecord = std::function<void(std::int64_t position, store::RecordKind kind)>;
    OdometerCheckForm(ui::MainContext& context, OpenRecord openRecord, QWidget* mainWindow);

    QDoubleSpinBox* LimitBox = nullptr;  // km a day
    QPushButton* CheckButton = nullptr;
    ReportTableView* FindingTable = nullptr;
    QLabel* CountLabel = nullptr;
    QPushButton* CsvButton = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* CloseButton = nullptr;

    // The findings of the last check (none while the window is closed).
    const std::vector<analysis::OdometerFinding>& findings() const;
    // While it answers true a changed limit is used but not stored.
    void setReadOnlyCheck(std::function<bool()> f) { readOnly_ = std::move(f); }

public Q_SLOTS:
    // Saves a changed limit, then checks every record.
    void CheckClick();
    // Opens the record of a shown row.
    void openRow(int shownRow);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Checks every record against `limit`, or against the stored limit, read with them.
    void check(std::optional<double> limit);

    OpenRecord openRecord_;
    std::function<bool()> readOnly_;
    std::optional<double> storedLimit_;  // the daily limit as last read or stored
    // Shared with the table, which makes its cells from them.
    std::shared_ptr<const std::vector<analysis::OdometerFinding>> findings_;
};

}  // namespace quil::analysis
