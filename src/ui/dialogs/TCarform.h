#pragma once
// The vehicle registration dialog: a vehicle's name and its details (odometer at delivery,
// registration date, number plate, vehicle type, fuel, remarks). Opened by the master list
// editor: it sets the caption "車両情報の登録" (new vehicle) or "車両情報の修正" with the
// vehicle's item position, then shows the dialog, which is modeless and created once.

#include <QString>
#include <optional>
#include <string>

#include "store/DataStore.h"
#include "store/Records.h"
#include "ui/components/TDateEdit.h"
#include "ui/dialogs/OkCancelForm.h"

class QButtonGroup;
class QDateEdit;
class QLineEdit;
class QPushButton;

namespace quil::ui {

class MainContext;
class TItemForm;

class TCarform : public OkCancelForm {
    Q_OBJECT
public:
    TCarform(MainContext& context, QWidget* parent);

    // The master list editor told about every stored vehicle (not owned).
    void setItemForm(TItemForm* itemForm) { itemForm_ = itemForm; }
    // The vehicle a "車両情報の修正" opening changes; read when the dialog is shown.
    void setItemPosition(int position) { itemPosition_ = position; }
    int itemPosition() const { return itemPosition_; }

    // True for the caption "車両情報の登録"; any other caption changes a vehicle.
    bool newVehicleMode() const;

    QLineEdit* nameBox() const { return edits_[0]; }
    QLineEdit* odometerBox() const { return edits_[1]; }
    QDateEdit* dateBox() const { return dateBox_; }
    QLineEdit* regionBox() const { return edits_[2]; }
    QLineEdit* classBox() const { return edits_[3]; }
    QLineEdit* kanaBox() const { return edits_[4]; }
    QLineEdit* serial1Box() const { return edits_[5]; }
    QLineEdit* serial2Box() const { return edits_[6]; }
    QLineEdit* remarksBox() const { return edits_[7]; }
    QButtonGroup* RadioGroup1() const { return typeGroup_; }  // vehicle type 0..4
    QButtonGroup* RadioGroup2() const { return fuelGroup_; }  // fuel 0..1

public Q_SLOTS:
    // Empties the fields for a new vehicle or shows the stored vehicle; focus on the name.
    void FormShow() override;
    // OK: checks, stores the vehicle, updates the master list editor and closes.
    void Button1Click() override;

private:
    void createControls();
    void showVehicle(const store::ItemRecord& item);

    MainContext& context_;
    TItemForm* itemForm_ = nullptr;
    int itemPosition_ = -1;

    // Fixed by each showing, so a caller changing the caption or position while the
    // dialog is open cannot make OK write another vehicle.
    bool adding_ = true;
    int editPosition_ = -1;
    // The stored type and fuel, kept when the stored value matches no button.
    std::int16_t loadedType_ = 0;
    std::int16_t loadedFuel_ = 0;
    // On a server data set: the vehicle as read when shown (its version is what OK's
    // rewrite is based on), and the key of this opening's save, kept while the save fails so
    // that OK again after a lost answer stores the vehicle once.
    std::optional<store::StoredItem> loadedVehicle_;
    std::string saveKey_;

    QLineEdit* edits_[8] = {};
    TDateEdit* dateBox_ = nullptr;
    QButtonGroup* typeGroup_ = nullptr;
    QButtonGroup* fuelGroup_ = nullptr;
};

}  // namespace quil::ui
