#pragma once
// The entry dialog for driving, refuelling, maintenance and expense records. It is
// created once and shown modeless over the main window; the opener sets the caption to a
// record kind name followed by "－追加" (add) or "－修正" (edit), and every showing
// rebuilds rows, pick lists and fields from that caption and the data files. The dialog
// lays out, fills and focuses its controls; reading the record, checking the input and
// saving are store::RecordEntry's.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "store/RecordEntry.h"
#include "ui/components/TDateEdit.h"
#include "ui/dialogs/ChoiceWarning.h"
#include "ui/dialogs/OkCancelForm.h"
#include "ui/dialogs/UnsavedInput.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QValidator;

namespace quil::ui {

class MainContext;

class TDataInputForm : public OkCancelForm, public UnsavedInput {
    Q_OBJECT
public:
    TDataInputForm(MainContext& context, QWidget* parent);

    bool hasUnsavedInput() const override {
        return isVisible() && snapshot(this) != shown_;
    }

    // The controls, as the user sees them (for the main window and the tests).
    QDateEdit* dateBox() const { return dateBox_; }
    QComboBox* startHourList() const { return startHour_; }
    QComboBox* startMinuteList() const { return startMinute_; }
    QComboBox* endHourList() const { return endHour_; }
    QComboBox* endMinuteList() const { return endMinute_; }
    QComboBox* vehicleList() const { return vehicleList_; }
    QComboBox* userList() const { return userList_; }
    QComboBox* thirdList() const { return thirdList_; }
    QComboBox* shopList() const { return shopList_; }
    QLineEdit* valueBox1() const { return valueBox_[0]; }
    QLineEdit* valueBox2() const { return valueBox_[1]; }
    QLineEdit* valueBox3() const { return valueBox_[2]; }
    QLineEdit* remarksBox() const { return remarksBox_; }

    // An extra question before a checked record is saved (the odometer warning of the ツール
    // windows). It may only ask: false leaves the dialog open with nothing written.
    using SaveCheck = std::function<bool(QWidget* dialog, const store::DataRecord& record,
                                         std::optional<std::int64_t> editPosition)>;
    void setSaveCheck(SaveCheck check) { saveCheck_ = std::move(check); }
    // What is shown beside the chosen vehicle and user (a lapsed 車検 or licence); the
    // record is stored all the same.
    void setChoiceWarning(ChoiceWarning warning) { choiceWarning_ = std::move(warning); }
    QLabel* vehicleWarningLabel() const { return choiceLabel_[0]; }
    QLabel* userWarningLabel() const { return choiceLabel_[1]; }

public Q_SLOTS:
    // Arranges the rows for the caption's kind and fills lists and fields.
    void FormShow() override;
    // OK: checks, builds and saves the record, reloads the main list and closes.
    void Button1Click() override;

protected:
    void formShown() override { shown_ = snapshot(this); }

private:
    QStringList shown_;  // the controls as the dialog opened
    void createControls();
    void arrangeRows(store::RecordKind kind);
    void placeRow(int row, const QString& caption, QWidget* control, int width,
                  QLabel* unit = nullptr);
    void fillTimeLists();
    void fillFields();
    void fillLists();
    void showList(QComboBox* box, const store::EntryPickList& list);
    // Shows the choice warning of the vehicle and user chosen now beside their lists.
    void showChoiceWarnings();

    void showNumber(int box, double value);
    // The stored value behind decimal box `box` while it still shows that value's text.
    std::optional<double> unchangedNumber(int box) const;
    store::EntryInput readInput();
    QWidget* controlOf(store::EntryField field) const;
    // Checks the input; a refusal is shown and focuses its control.
    std::optional<store::DataRecord> buildRecord();
    // The record being edited changed elsewhere: warns, closes and has the list read again.
    void refuseChangedRecord();

    MainContext& context_;

    TDateEdit* dateBox_ = nullptr;
    QComboBox* startHour_ = nullptr;
    QComboBox* startMinute_ = nullptr;
    QComboBox* endHour_ = nullptr;
    QComboBox* endMinute_ = nullptr;
    QComboBox* vehicleList_ = nullptr;
    QComboBox* userList_ = nullptr;
    QComboBox* thirdList_ = nullptr;
    QComboBox* shopList_ = nullptr;
    QLineEdit* valueBox_[3] = {};
    QLineEdit* remarksBox_ = nullptr;

    QLabel* rowLabel_[9] = {};
    QLabel* unitLabel_[3] = {};
    QLabel* startColon_ = nullptr;
    QLabel* tilde_ = nullptr;
    QLabel* endColon_ = nullptr;
    QValidator* destinationLimit_ = nullptr;

    // The opening's kind and mode (from the caption), the loaded record and the pick lists
    // behind the list boxes.
    store::RecordEntry entry_;
    bool addMode_ = true;
    store::EntryPickLists lists_;
    // Asked before a save (the odometer chain); false keeps the dialog open unsaved.
    SaveCheck saveCheck_;
    ChoiceWarning choiceWarning_;
    QLabel* choiceLabel_[2] = {};  // beside the vehicle list, beside the user list
    // The key of this opening's save, kept while a save fails, so that OK again after a save
    // whose answer was lost with a server's connection does not store it twice.
    std::string saveKey_;
    bool saveKeyTried_ = false;  // a save under saveKey_ was sent and its answer not seen
    // Saves under saveKey_; after a try whose answer was lost, the key gives that try's answer
    // and the record as typed now replaces what the try stored, if it differs.
    void saveRecord(store::DataStore& dataSet, const store::DataRecord& record);
    // Edit mode: the stored value behind each decimal box's text as shown (one decimal),
    // so that a box the user did not touch stores its value unrounded.
    struct ShownNumber {
        QString text;
        double value = 0;
    };
    std::optional<ShownNumber> shownNumber_[2];
};

}  // namespace quil::ui
