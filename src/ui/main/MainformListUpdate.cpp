// The main window's list after a save or a delete: the rows follow the change in place,
// Data.idx with them, instead of a new pass over the record file.

#include <QItemSelectionModel>

#include "store/ItemStore.h"
#include "store/ListColumns.h"
#include "store/RecordStore.h"
#include "ui/components/TComboGrid.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

namespace quil::ui {

using namespace quil::store;

void TMainform::showSavedRecord(const SavedPlace& place, const DataRecord& record, bool select) {
    int row = 0;
    if (!model_->followsFile()) {
        // No record file at the last load (or nothing to list): load it now.
        reloadList();
        row = model_->rowOf(place.position);
    } else {
        const int before = model_->recordCount();
        row = model_->applySave(place, record);
        const int after = model_->recordCount();
        const std::string index = programFolder_ + kRowIndexFileName;
        if (place.way == SavedPlace::Way::Appended && after == before + 1 && row == after)
            writeRowIndexEntry(index, row - 1, model_->position(row));
        else if (place.way != SavedPlace::Way::Rewritten || after != before)
            writeRowIndex(index, model_->positions());
    }
    if (!select) return;
    // The saved row, selected and in view, so the user sees what was stored.
    ComboGrid1->selectionModel()->clear();
    if (row > 0) {
        ComboGrid1->selectRow(row);
        ComboGrid1->scrollTo(model_->index(row, store::kListRowNumberColumn));
    }
    model_->setSelectedRow(row);
}

void TMainform::showDeletedRecord(std::int32_t position) {
    if (!model_->followsFile()) {
        reloadList();
        return;
    }
    ComboGrid1->selectionModel()->clear();
    if (model_->removePosition(position) > 0)
        writeRowIndex(programFolder_ + kRowIndexFileName, model_->positions());
}

void TMainform::followServerSave(const DataSetChange& change) {
    const bool mine = change.source == ChangeSource::ThisProgram;
    // Another program's change leaves the user's selection where it is (on its record).
    const std::int64_t selected = mine ? -1 : selectedRecordId();
    int row = 0;
    try {
        if (change.serverDeleted) {
            model_->removeServerRecord(*change.serverId);
        } else {
            row = model_->applyServerSave(*change.serverId, change.record, change.previous);
        }
    } catch (const std::exception&) {
        // The rows could not be read to find the place: the list is read again.
        reloadList();
        row = model_->rowOf(*change.serverId);
    }
    if (!mine) row = selected >= 0 ? model_->rowOf(selected) : 0;
    ComboGrid1->selectionModel()->clear();
    if (row > 0) {
        ComboGrid1->selectRow(row);
        // The saved row in view, as after a save in a data folder.
        if (mine) ComboGrid1->scrollTo(model_->index(row, store::kListRowNumberColumn));
    }
    model_->setSelectedRow(row);
}

}  // namespace quil::ui
