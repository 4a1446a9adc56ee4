#pragma once
// The entry windows of driver licences (per user, "運転免許証") and vehicle papers (per
// vehicle, "車検・保険"): choose the user or vehicle, see its entries with their history, and
// add one. A renewal is a new entry: the store marks the one it replaces renewed and keeps
// it. Choosing a row of the history loads its fields: 修正 stores them over that entry, 削除
// removes an entry entered by mistake after a question. The checks are papers::buildLicence
// / buildPaper; a refusal is shown under "警告" and its field gets the focus, and a past
// expiry is stored only after the user confirms it. An entry changed elsewhere since it was
// read is not overwritten: the refusal says so and the entries are read again.

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "papers/PaperEntry.h"
#include "ui/tools/papers/PaperAccess.h"

class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quil::ui {
class MainContext;
}

namespace quil::papers {

// What the two windows share: the item box, the history table, the buttons and the save.
class PaperEntryForm : public QDialog {
    Q_OBJECT
public:
    QComboBox* ItemBox = nullptr;
    QTableWidget* HistoryTable = nullptr;
    QPushButton* CopyButton = nullptr;  // the current entry's fields, its expiry moved on
    QPushButton* SaveButton = nullptr;
    QPushButton* CorrectButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* CloseButton = nullptr;

    // Shows the window with the user or vehicle at `position` chosen (-1: the first).
    void openFor(int position);
    // The item position chosen (-1 for none).
    int chosen() const;
    // Stores the fields as a new entry; false when refused or not confirmed.
    bool save();
    // Stores the fields over the entry of the selected history row; false when there is
    // none, or when refused or not confirmed.
    bool correct();
    // Removes the entry of the selected history row after a question.
    bool removeSelected();
    // The id of the entry of the selected history row; 0 for none.
    std::int64_t selectedId() const;

protected:
    PaperEntryForm(ui::MainContext& context, QWidget* mainWindow, const QString& caption,
                   PaperStores stores);
    // Reads the items and entries and shows them (the window's thread: they are few).
    void reload();
    QLineEdit* addField(const QString& caption, const char* name);
    virtual void readEntries(PaperStore& store) = 0;
    virtual const std::vector<alcohol::PickEntry>& items() const = 0;
    // The positions the entries read name, and the name of one (a deleted item's too).
    virtual std::vector<int> entryPositions() const = 0;
    virtual std::string nameOf(int position) const = 0;
    virtual void showHistory() = 0;
    virtual void copyCurrent() = 0;
    // Shows the fields of the entry `id` as read.
    virtual void loadEntry(std::int64_t id) = 0;
    // Checks and stores the fields, as a new entry (`editing` 0) or over the entry `editing`
    // as read; false when refused (shown) or not confirmed.
    virtual bool storeInput(PaperStore& store, std::int64_t editing) = 0;
    virtual void removeEntry(PaperStore& store, std::int64_t id) = 0;
    // Runs `work` on a store opened for it; what it stored is announced and shown.
    bool change(const std::function<bool(PaperStore&)>& work);
    // Asks before storing an entry whose expiry has passed.
    bool confirmPast(const std::string& warning);
    void refuse(QWidget* field, const std::string& message);
    // Whether an entry built from the fields may be stored: a refusal is shown on `field`,
    // a past expiry is asked about.
    template <typename Entry>
    bool accepted(const EntryResult<Entry>& built, QWidget* field) {
        if (!built.entry) {
            refuse(field, built.message);
            return false;
        }
        return confirmPast(built.warning);
    }
    void clearFields();
    // Empties the history for showHistory to fill again.
    void clearHistory();
    // Adds a history row of `cells` for the entry `id`, grey when it has been renewed.
    void addHistoryRow(std::int64_t id, const std::vector<QString>& cells, bool renewed);

    ui::MainContext& context_;
    PaperStores stores_;
    alcohol::RegisterNames names_;
    std::vector<std::int64_t> rowIds_;  // the entry of each history row
    QFormLayout* fields_ = nullptr;
    std::vector<QLineEdit*> edits_;
};

// The half of the two windows that only the kind of entry tells apart: the entries read
// (history included), the users or vehicles they belong to, and finding, storing and
// removing one by its id. Made for DriverLicence and VehiclePaper.
template <typename Entry>
class EntryFormOf : public PaperEntryForm {
public:
    // Every entry read (history included).
    const std::vector<Entry>& entries() const { return entries_; }

protected:
    using PaperEntryForm::PaperEntryForm;
    const std::vector<alcohol::PickEntry>& items() const override;
    std::vector<int> entryPositions() const override;
    std::string nameOf(int position) const override;
    // The chosen item's entries, each with its state (current or renewed) last.
    void showHistory() override;
    void loadEntry(std::int64_t id) override;
    void removeEntry(PaperStore& store, std::int64_t id) override;
    // The cells of `entry`'s history row but its state.
    virtual std::vector<QString> historyCells(const Entry& entry) const = 0;
    // Shows the fields of `entry`.
    virtual void showEntry(const Entry& entry) = 0;
    // Stores what the fields built, when accepted, as a new entry (`editing` 0) or over the
    // entry `editing` as read; false when refused, not confirmed, or when that entry is no
    // longer among those read.
    bool storeBuilt(PaperStore& store, std::int64_t editing, const EntryResult<Entry>& built,
                    QWidget* field);

    std::vector<Entry> entries_;
};

extern template class EntryFormOf<DriverLicence>;
extern template class EntryFormOf<VehiclePaper>;

class TLicenceForm : public EntryFormOf<DriverLicence> {
    Q_OBJECT
public:
    TLicenceForm(ui::MainContext& context, QWidget* mainWindow, PaperStores stores);

    QLineEdit* NumberEdit = nullptr;
    QLineEdit* KindsEdit = nullptr;
    QLineEdit* ConditionsEdit = nullptr;
    QLineEdit* ExpiryEdit = nullptr;
    QLineEdit* SeenOnEdit = nullptr;
    QLineEdit* SeenByEdit = nullptr;
    QLineEdit* RemarksEdit = nullptr;

protected:
    // Numbers only where this user may read them.
    void readEntries(PaperStore& store) override;
    std::vector<QString> historyCells(const DriverLicence& licence) const override;
    void copyCurrent() override;
    void showEntry(const DriverLicence& licence) override;
    bool storeInput(PaperStore& store, std::int64_t editing) override;

private:
    bool withNumbers_ = true;
};

class TPaperForm : public EntryFormOf<VehiclePaper> {
    Q_OBJECT
public:
    TPaperForm(ui::MainContext& context, QWidget* mainWindow, PaperStores stores);

    QComboBox* KindBox = nullptr;  // 車検, 自賠責保険, 任意保険, その他
    QLineEdit* TitleEdit = nullptr;
    QLineEdit* InsurerEdit = nullptr;
    QLineEdit* NumberEdit = nullptr;
    QLineEdit* ExpiryEdit = nullptr;
    QLineEdit* RemarksEdit = nullptr;

protected:
    void readEntries(PaperStore& store) override;
    std::vector<QString> historyCells(const VehiclePaper& paper) const override;
    void copyCurrent() override;
    void showEntry(const VehiclePaper& paper) override;
    bool storeInput(PaperStore& store, std::int64_t editing) override;
};

}  // namespace quil::papers
