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
#include "store/ItemStore.h"
#include "ui/tools/ToolWindow.h"

class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace quil::analysis {

class ReportTableView;

// The findings of a check, kept by vehicle, and the order they are shown in (by day, and
// within a day by vehicle, as a whole check gives them). A vehicle checked again replaces
// its own part; the other vehicles' parts are shared, not copied.
class OdometerFindings {
public:
    using Part = std::shared_ptr<const analysis::VehicleFindings>;
    explicit OdometerFindings(std::vector<Part> parts);
    static std::shared_ptr<const OdometerFindings> of(std::vector<analysis::VehicleFindings> found);
    // These findings with those of `vehicles` replaced by `found` (the vehicles' new check).
    std::shared_ptr<const OdometerFindings> replacing(
        const std::vector<std::int16_t>& vehicles,
        std::vector<analysis::VehicleFindings> found) const;

    std::size_t size() const { return size_; }
    // How many of the findings are of `vehicles`.
    std::size_t countOf(const std::vector<std::int16_t>& vehicles) const;
    const analysis::OdometerFinding& at(std::size_t row) const;

private:
    // Rows `start` on come from `part`'s findings from `first` on, up to the next run.
    struct Run {
        std::size_t start, part, first;
    };
    std::vector<Part> parts_;  // by vehicle
    std::vector<Run> runs_;    // one for each change of vehicle between shown rows
    std::size_t size_ = 0;
};

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

    // The findings shown, in their order (none while the window is closed).
    std::vector<analysis::OdometerFinding> findings() const;
    // While it answers true a changed limit is used but not stored.
    void setReadOnlyCheck(std::function<bool()> f) { readOnly_ = std::move(f); }

public Q_SLOTS:
    // Saves a changed limit, then checks every record.
    void CheckClick();
    // Opens the record of a shown row.
    void openRow(int shownRow);
    // Checks `vehicles` again (their records changed), with the limit of the findings shown;
    // the other vehicles' findings stay. With nothing shown yet, checks every record.
    void recheck(std::vector<std::int16_t> vehicles);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Checks every record against `limit`, or against the stored limit, read with them.
    // Findings beyond this many are a long list (see recheck).
    static constexpr std::size_t kLongList = 10000;
    void check(std::optional<double> limit);
    void showFindings(std::shared_ptr<const OdometerFindings> found, store::ItemNames names,
                      double limit);

    OpenRecord openRecord_;
    std::function<bool()> readOnly_;
    std::optional<double> storedLimit_;  // the daily limit as last read or stored
    // Shared with the table, which makes its cells from them.
    std::shared_ptr<const OdometerFindings> findings_;
    double checkedLimit_ = analysis::kDefaultDailyLimitKm;  // the limit findings_ were made with
    // The vehicles of a check of some vehicles under way (none: none, or a whole check).
    std::optional<std::vector<std::int16_t>> rechecking_;
};

}  // namespace quil::analysis
