#pragma once
// The master list editor: adds, renames and deletes the entries of one master list
// (vehicles, users, gas stations, maintenance items, expense items, purposes, shops).
// Created once and shown modeless over the main window; the opener sets the caption to
// "設定－" followed by the kind name, and every showing rebuilds the list from Quil.qui.
// Vehicles are added and changed through the vehicle registration dialog.

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/DataStore.h"
#include "store/Records.h"
#include "ui/dialogs/FormDialog.h"

class QListWidget;
class QPushButton;

namespace quil::ui {

class MainContext;
class TCarform;

class TItemForm : public FormDialog {
    Q_OBJECT
public:
    static constexpr int kMaxEntries = 50;

    TItemForm(MainContext& context, QWidget* parent);

    // The vehicle registration dialog that adds and changes vehicles (not owned).
    void setCarform(TCarform* carform) { carform_ = carform; }
    // What to ask before deleting the item at `position` of `kind` whose entries another
    // part of the program keeps (licences of a user, papers of a vehicle); empty when it has
    // none, and the usual question is asked. It may throw StoreError: nothing is deleted.
    using DeleteQuestion = std::function<QString(store::ItemKind kind, int position)>;
    void setDeleteQuestion(DeleteQuestion question) { deleteQuestion_ = std::move(question); }

    // The kind named by the caption ("設定－車両" ...); a caption naming none is a shop.
    store::ItemKind kind() const;
    static store::ItemKind kindFromCaption(const QString& caption);
    // Item positions of the list entries, in entry order.
    const std::vector<int>& positions() const { return positions_; }

    // Called by the vehicle registration dialog after it stored a vehicle: a new one
    // refills the list, a changed one gets its stored name in its entry.
    void vehicleAdded();
    void vehicleChanged(int position, const QString& name);

    QListWidget* ListBox1() const { return listBox1_; }
    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }
    QPushButton* Button3() const { return button3_; }
    QPushButton* Button4() const { return button4_; }

public Q_SLOTS:
    // Places the dialog beside the main window and fills the list for the caption's kind.
    void FormShow() override;
    void Button1Click();  // add
    void Button2Click();  // modify
    void ListBox1DblClick();
    void Button3Click();  // delete
    void Button4Click();  // close

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillList();
    int selectedRow() const;  // -1 when no entry is selected
    // On a server data set: the item at `position` as read when the list was filled (its
    // version is what a rename or delete is based on). Raises RecordChangedError when the
    // list holds no such item.
    const store::StoredItem& readItem(int position) const;
    void keepItem(const store::StoredItem& item);
    // Someone else changed the item since the list was read: warns and reads the list again.
    void itemChangedElsewhere();
    void modify();
    // True (after bringing it forward) while the vehicle dialog is open: a second opening
    // or a deletion would act on a vehicle the open dialog is about to store.
    bool carformBusy();
    void openCarform(const QString& caption, int position);

    MainContext& context_;
    TCarform* carform_ = nullptr;
    DeleteQuestion deleteQuestion_;
    std::vector<int> positions_;
    std::vector<store::StoredItem> stored_;  // server data set: every item as read
    // Server data set: an add whose answer was lost. The same name added again goes under
    // the same key, so the item is not stored twice.
    struct PendingAdd {
        store::ItemKind kind;
        std::string name;
        std::string key;
    };
    std::optional<PendingAdd> pendingAdd_;

    QListWidget* listBox1_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
    QPushButton* button3_ = nullptr;
    QPushButton* button4_ = nullptr;
};

}  // namespace quil::ui
