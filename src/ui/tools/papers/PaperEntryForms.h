#pragma once
// The entry windows of driver licences (per user, "運転免許証") and vehicle papers (per
// vehicle, "車検・保険"): choose the user or vehicle, see its entries with their history, and
// add one. A renewal is a new entry: the store marks the one it replaces renewed and keeps
// it. The checks are papers::buildLicence / buildPaper; a refusal is shown under "警告" and
// its field gets the focus, and a past expiry is stored only after the user confirms it.

#include <QDialog>
#include <functional>
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
    QPushButton* CloseButton = nullptr;

    // Shows the window with the user or vehicle at `position` chosen (-1: the first).
    void openFor(int position);
    // The item position chosen (-1 for none).
    int chosen() const;
    // Stores the fields as a new entry; false when refused or not confirmed.
    bool save();

protected:
    PaperEntryForm(ui::MainContext& context, QWidget* mainWindow, const QString& caption);
    // Reads the items and entries and shows them (the window's thread: they are few).
    void reload();
    QLineEdit* addField(const QString& caption, const char* name);
    virtual void readEntries(PaperStore& store) = 0;
    virtual const std::vector<alcohol::PickEntry>& items() const = 0;
    virtual void showHistory() = 0;
    virtual void copyCurrent() = 0;
    // Checks and stores the fields; false when refused (shown) or not confirmed.
    virtual bool storeInput(PaperStore& store) = 0;
    // Asks before storing an entry whose expiry has passed.
    bool confirmPast(const std::string& warning);
    void refuse(QWidget* field, const std::string& message);
    void clearFields();

    ui::MainContext& context_;
    alcohol::RegisterNames names_;
    QFormLayout* fields_ = nullptr;
    std::vector<QLineEdit*> edits_;
};

class TLicenceForm : public PaperEntryForm {
    Q_OBJECT
public:
    TLicenceForm(ui::MainContext& context, QWidget* mainWindow);

    QLineEdit* NumberEdit = nullptr;
    QLineEdit* KindsEdit = nullptr;
    QLineEdit* ConditionsEdit = nullptr;
    QLineEdit* ExpiryEdit = nullptr;
    QLineEdit* SeenOnEdit = nullptr;
    QLineEdit* SeenByEdit = nullptr;
    QLineEdit* RemarksEdit = nullptr;

    // Every licence read (history included); numbers only where this user may read them.
    const std::vector<DriverLicence>& licences() const { return licences_; }

protected:
    void readEntries(PaperStore& store) override;
    const std::vector<alcohol::PickEntry>& items() const override { return names_.drivers(); }
    void showHistory() override;
    void copyCurrent() override;
    bool storeInput(PaperStore& store) override;

private:
    std::vector<DriverLicence> licences_;
    bool withNumbers_ = true;
};

class TPaperForm : public PaperEntryForm {
    Q_OBJECT
public:
    TPaperForm(ui::MainContext& context, QWidget* mainWindow);

    QComboBox* KindBox = nullptr;  // 車検, 自賠責保険, 任意保険, その他
    QLineEdit* TitleEdit = nullptr;
    QLineEdit* InsurerEdit = nullptr;
    QLineEdit* NumberEdit = nullptr;
    QLineEdit* ExpiryEdit = nullptr;
    QLineEdit* RemarksEdit = nullptr;

    const std::vector<VehiclePaper>& papers() const { return papers_; }

protected:
    void readEntries(PaperStore& store) override;
    const std::vector<alcohol::PickEntry>& items() const override { return names_.vehicles(); }
    void showHistory() override;
    void copyCurrent() override;
    bool storeInput(PaperStore& store) override;

private:
    std::vector<VehiclePaper> papers_;
};

}  // namespace quil::papers
