#pragma once
// The entry dialog of one alcohol check, in the record entry dialog's manner: Enter moves
// to the next field, a refused field is reported in a "警告" box and gets the focus.
// The opener sets the caption to "アルコールチェック－追加" or "アルコールチェック－修正"
// (with the check to edit); every showing refills the lists from the data files.

#include <cstdint>
#include <optional>

#include "reports/CheckEntry.h"
#include "ui/dialogs/ChoiceWarning.h"
#include "ui/dialogs/FormDialog.h"
#include "ui/dialogs/UnsavedInput.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quil::ui {
class MainContext;
class TDateEdit;
class TRetComboBox;
class TRetEdit;
}  // namespace quil::ui

namespace quil::alcohol {

// In a copy that only reads the data folder (another computer holds it): says at once why
// nothing can be stored and returns true.
bool refuseWhenReadOnly(const ui::MainContext& context, QWidget* parent);

// The record entry dialog's refusal of a date that is no real day.
inline constexpr const char* kBadDateMessage = "正しい日付を入力して下さい！";

// Enter in `box` takes the typed date and moves to the next field, or refuses a date that
// is no real day with kBadDateMessage and stays.
void moveOnWithEnter(ui::TDateEdit* box);

inline constexpr const char* kAddCaption = "アルコールチェック－追加";
inline constexpr const char* kEditCaption = "アルコールチェック－修正";

class TAlcoholCheckForm : public ui::FormDialog, public ui::UnsavedInput {
    Q_OBJECT
public:
    TAlcoholCheckForm(ui::MainContext& context, QWidget* parent);

    bool hasUnsavedInput() const override { return isVisible() && snapshot(this) != shown_; }

    // Shows the dialog for a new check, or for the stored check `id`; does nothing while
    // it is open already.
    void openForAdd();
    // A new check with the date, timing, driver and vehicle of `preset` already chosen.
    void openForAdd(const AlcoholCheck& preset);
    void openForEdit(std::int64_t id);
    void setChoiceWarning(ui::ChoiceWarning warning) { choiceWarning_ = std::move(warning); }

    ui::TDateEdit* dateBox = nullptr;
    ui::TRetComboBox* hourBox = nullptr;
    ui::TRetComboBox* minuteBox = nullptr;
    ui::TRetComboBox* timingBox = nullptr;
    ui::TRetComboBox* driverBox = nullptr;
    ui::TRetComboBox* vehicleBox = nullptr;
    ui::TRetComboBox* checkerBox = nullptr;
    ui::TRetComboBox* methodBox = nullptr;
    ui::TRetEdit* methodTextEdit = nullptr;
    ui::TRetComboBox* detectorBox = nullptr;
    ui::TRetEdit* readingEdit = nullptr;
    ui::TRetComboBox* intoxicatedBox = nullptr;
    ui::TRetEdit* instructionsEdit = nullptr;
    ui::TRetEdit* remarksEdit = nullptr;
    // Beside the driver and the vehicle: what of the chosen one has lapsed (hidden when
    // nothing has); the check is stored all the same.
    QLabel* driverWarning = nullptr;
    QLabel* vehicleWarning = nullptr;
    QPushButton* Button1 = nullptr;  // OK
    QPushButton* Button2 = nullptr;  // CANCEL

Q_SIGNALS:
    // A check was stored (added or changed).
    void saved();

public Q_SLOTS:
    void FormShow() override;
    // OK: checks, stores and closes; a refusal leaves the dialog open.
    void Button1Click();
    void Button2Click();

protected:
    void formShown() override { shown_ = snapshot(this); }

private:
    QStringList shown_;  // the controls as the dialog opened
    void createControls();
    void fillLists();
    void showCheck(const AlcoholCheck& check);
    CheckInput input() const;
    QWidget* fieldWidget(EntryField field) const;
    bool addMode() const;

    ui::MainContext& context_;
    std::int64_t editId_ = 0;
    AlcoholCheck loaded_;  // the check being edited, as it was read
    std::optional<AlcoholCheck> preset_;
    ui::ChoiceWarning choiceWarning_;
    void showChoiceWarnings();
};

}  // namespace quil::alcohol
