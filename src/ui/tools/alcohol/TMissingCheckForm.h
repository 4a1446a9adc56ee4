#pragma once
// The drives of a period that lack their before- or after-drive check, for the safe-driving
// manager to follow up. A row's check can be entered from here with the drive's driver,
// vehicle and day already chosen. The rows are kept as the drives found and a cell's text is
// made when it is painted; closing the window lets go of them.

#include <vector>

#include "reports/MissingChecks.h"
#include "store/DataSetChange.h"
#include "ui/dialogs/FormDialog.h"

class QLabel;
class QPushButton;
class QTableView;

namespace quil::ui {
class BackgroundWork;
class MainContext;
}  // namespace quil::ui

namespace quil::alcohol {

class MissingCheckModel;
class PeriodChooser;
class TAlcoholCheckForm;

class TMissingCheckForm : public ui::FormDialog {
    Q_OBJECT
public:
    TMissingCheckForm(ui::MainContext& context, TAlcoholCheckForm& entry, QWidget* parent);

    PeriodChooser* period = nullptr;
    QTableView* table = nullptr;
    QLabel* countLabel = nullptr;
    QPushButton* enterButton = nullptr;
    QPushButton* closeButton = nullptr;

    // Reads the period's missing checks on a worker and shows them when they arrive.
    void reload();
    ui::BackgroundWork* work() const { return work_; }
    // The rows shown (none while the window is closed).
    const std::vector<MissingCheck>& missing() const;
    // Opens the entry dialog for the first missing check of the selected drive.
    void enterSelected();

protected:
    void FormShow() override;
    void hideEvent(QHideEvent* event) override;

private:
    // Whether a change may move the rows shown: the register's checks, the names, or a
    // record that is (or was) a drive of the period shown.
    bool movesRows(const store::DataSetChange& c) const;
    // Follows a record saved or deleted on a server data set (where a drive keeps its id) in
    // the rows shown: its row goes, and its drive's row as it is now comes in its place,
    // with the checks of its driver's days read on a worker. False when only reading every
    // drive again can.
    bool followInPlace(const store::DataSetChange& c);

    ui::MainContext& context_;
    TAlcoholCheckForm& entry_;
    MissingCheckModel* model_ = nullptr;
    ui::BackgroundWork* work_ = nullptr;
    bool shown_ = false;  // the rows shown are the period's, read whole
};

// The missing checks of the drives from `firstDay` to `lastDay` in the main window's data
// set, the drives after `now` left out (their checks cannot have been made yet).
std::vector<MissingCheck> missingChecksBetween(const ui::MainContext& context,
                                               store::DateTime firstDay, store::DateTime lastDay,
                                               store::DateTime now);

}  // namespace quil::alcohol
