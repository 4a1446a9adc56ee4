#pragma once
// The register's list window: the checks of a period, of one driver or vehicle if chosen,
// with add, edit and delete, the printed register and CSV. A check younger than one year
// is deleted only after a second question and with the name of who deletes it; it stays
// in the register marked deleted.

#include <optional>

#include "reports/AlcoholCheck.h"
#include "store/Codec.h"
#include "ui/dialogs/FormDialog.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace quil::ui {
class MainContext;
}

namespace quil::alcohol {

class CheckTableModel;
class PeriodChooser;
class TAlcoholCheckForm;
class TAlcoholPrintForm;

class TAlcoholListForm : public ui::FormDialog {
    Q_OBJECT
public:
    TAlcoholListForm(ui::MainContext& context, TAlcoholCheckForm& entry,
                     TAlcoholPrintForm* printForm, QWidget* parent);

    PeriodChooser* period = nullptr;
    QComboBox* driverFilter = nullptr;
    QComboBox* vehicleFilter = nullptr;
    QCheckBox* deletedCheck = nullptr;  // show deleted checks too
    QTableView* table = nullptr;
    QLabel* countLabel = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* editButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* printButton = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* closeButton = nullptr;
    CheckTableModel* model() const { return model_; }

    // Reads the checks of the chosen period and filters again.
    void reload();
    // The selected check, if any.
    std::optional<AlcoholCheck> selectedCheck() const;
    void editSelected();
    // Deletes the selected check after the questions; true when it was marked deleted.
    bool deleteSelected();
    // The checks shown, as CSV, to `path` (replaced whole or not at all); false with the
    // reason shown when it cannot be written.
    bool exportCsv(const QString& path, store::TextEncoding encoding = store::TextEncoding::Cp932);
    // Adds the checks of a CSV file after asking; false when nothing was added.
    bool importCsv(const QString& path);

protected:
    void FormShow() override;
    // Closing lets go of the checks shown; the next showing reads them again.
    void hideEvent(QHideEvent* event) override;

private:
    void fillFilters();

    ui::MainContext& context_;
    TAlcoholCheckForm& entry_;
    TAlcoholPrintForm* printForm_;
    CheckTableModel* model_ = nullptr;
};

}  // namespace quil::alcohol
