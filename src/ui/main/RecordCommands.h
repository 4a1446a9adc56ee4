#pragma once
// Add, edit and delete on the record list: which kind and mode the entry dialog opens in,
// the guards, the delete confirmation and the list update after a delete.

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include "store/DataStore.h"

#include "store/Records.h"

namespace quil::ui {

class TMainform;

class RecordCommands {
public:
    explicit RecordCommands(TMainform& main) : main_(main) {}
    void setEntryDialog(QWidget* dialog) { entry_ = dialog; }

    // Opens the entry dialog for record kind `kind`, titled "<kind name>－追加" or
    // "<kind name>－修正"; nothing while it is visible already. On the expense tab an edit
    // takes the kind from column 5 of the selected row.
    void openEntry(store::RecordKind kind, bool add);
    void AddClick();
    void EditClick();
    void DeleteClick();
    // Edit when the list shows a record, otherwise add.
    void ComboGrid1DblClick();

private:
    bool listHasRecords() const;
    // In a read-only copy: says why nothing may be written and returns true.
    bool refuseWhenReadOnly();
    // The record behind a row (1-based) as the data set holds it now (with the version a
    // change must name), when it is still what the row showed and the list would still take
    // it; otherwise shows `refusal` under "警告", reloads the list and gives nothing. Raises
    // what reading it raised (a row index that cannot be read, a server out of reach).
    std::optional<store::StoredRecord> storedBehindRow(int row, const QString& refusal);

    TMainform& main_;
    QPointer<QWidget> entry_;
};

}  // namespace quil::ui
