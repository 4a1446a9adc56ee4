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

void TMainform::followRecordChange(const DataSetChange& change) {
    const bool mine = change.source == ChangeSource::ThisProgram;
    if (!server_) {
        const int row = followFolderChange(change);
        // Only this program's save is shown; a delete leaves no row selected.
        if (!mine || change.what == DataSetChange::What::RecordDeleted) return;
        showChangedRow(row, true);
        return;
    }
    // Another program's change leaves the user's selection where it is (on its record).
    const std::int64_t selected = mine ? -1 : selectedRecordId();
    int row = followServerChange(change);
    if (!mine) row = selected >= 0 ? model_->rowOf(selected) : 0;
    showChangedRow(row, mine);
}

void TMainform::showChangedRow(int row, bool inView) {
    ComboGrid1->selectionModel()->clear();
    if (row > 0) {
        ComboGrid1->selectRow(row);
        // The saved row in view, so the user sees what was stored.
        if (inView) ComboGrid1->scrollTo(model_->index(row, store::kListRowNumberColumn));
    }
    model_->setSelectedRow(row);
}

int TMainform::followFolderChange(const DataSetChange& change) {
    const SavedPlace& place = change.place;
    if (!model_->followsFile()) {
        // No record file at the last load (or nothing to list): load it now.
        reloadList();
        return change.what == DataSetChange::What::RecordSaved ? model_->rowOf(place.position) : 0;
    }
    const std::string index = programFolder_ + kRowIndexFileName;
    if (change.what == DataSetChange::What::RecordDeleted) {
        ComboGrid1->selectionModel()->clear();
        if (model_->removePosition(std::int32_t(place.position)) > 0)
            writeRowIndex(index, model_->positions());
        return 0;
    }
    const int before = model_->recordCount();
    const int row = model_->applySave(place, change.record);
    const int after = model_->recordCount();
    if (place.way == SavedPlace::Way::Appended && after == before + 1 && row == after)
        writeRowIndexEntry(index, row - 1, model_->position(row));
    else if (place.way != SavedPlace::Way::Rewritten || after != before)
        writeRowIndex(index, model_->positions());
    return row;
}

int TMainform::followServerChange(const DataSetChange& change) {
    try {
        if (change.serverDeleted) {
            model_->removeServerRecord(*change.serverId);
            return 0;
        }
        return model_->applyServerSave(*change.serverId, change.record, change.previous);
    } catch (const std::exception&) {
        // The rows could not be read to find the place: the list is read again.
        reloadList();
        return model_->rowOf(*change.serverId);
    }
}

}  // namespace quil::ui
