#pragma once
// "期限一覧": every current licence and vehicle paper that has lapsed or lapses within the
// chosen number of days (30 at first), by date; lapsed rows red, lapsing rows orange. The
// rows can be narrowed to a vehicle and a driver, printed and exported as CSV. The entries
// are read on a worker; the horizon and the filters only choose among what was read.

#include <functional>
#include <vector>

#include "papers/Papers.h"
#include "ui/tools/ToolWindow.h"
#include "ui/tools/papers/PaperAccess.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace quil::analysis {
class ReportTableView;
}

namespace quil::papers {

class ExpiryListForm : public analysis::ToolForm {
    Q_OBJECT
public:
    ExpiryListForm(ui::MainContext& context, QWidget* mainWindow, PaperStores stores);

    QSpinBox* DaysBox = nullptr;
    QComboBox* VehicleFilter = nullptr;  // "すべての車両", then the vehicles
    QComboBox* DriverFilter = nullptr;   // "すべての使用者", then the users
    analysis::ReportTableView* ExpiryTable = nullptr;
    QLabel* SummaryLabel = nullptr;
    QPushButton* EnterButton = nullptr;
    QPushButton* RefreshButton = nullptr;
    QPushButton* CsvButton = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* CloseButton = nullptr;

    // The rows shown, in the order given to the table.
    const std::vector<ExpiryEntry>& rows() const { return rows_; }
    // Called with the selected row's entry by 登録 (the licence or paper window opens).
    void setEnter(std::function<void(const ExpiryEntry&)> enter) { enter_ = std::move(enter); }

public Q_SLOTS:
    // Reads the entries and names on a worker and shows them when they arrive.
    void Reload();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fillFilters();
    void showRows();
    void enterSelected();

    PaperStores stores_;
    PaperData data_;
    std::vector<ExpiryEntry> rows_;
    std::function<void(const ExpiryEntry&)> enter_;
};

}  // namespace quil::papers
