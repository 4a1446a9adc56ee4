#pragma once
// The record list behind ComboGrid1: the title row, then one row per record taken by the
// last load (or one empty row when none was). It keeps only the record-file position of
// each row (4 bytes a row) and reads a record when its row is painted, so a list of
// 1,000,000 records holds neither strings nor record copies.

#include <QAbstractTableModel>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/DataStore.h"
#include "store/ItemStore.h"
#include "store/ListFilter.h"
#include "store/RecordReader.h"
#include "store/Records.h"

namespace quil::store {
struct SavedPlace;
}  // namespace quil::store

namespace quil::ui {

// What one load of the list takes from the data files.
struct LoadedRecords {
    std::vector<std::int32_t> positions;  // record-file position of each row, ascending
    store::ItemNames names;
    store::ListFilter filter;   // which records the list takes
    std::string recordFile;     // the record file the positions point into
    bool indexWritten = false;  // Data.idx was rewritten (otherwise it is as it was)
};

// Steps of the list load that touch the files: the records of `tab` that pass the period
// of Item/Time, the vehicle and user masks, and are not deleted, in file order; Data.idx in
// the program folder receives their positions. With no record file, or no live vehicle or
// user, nothing is taken and Data.idx is left alone.
LoadedRecords loadRecords(const std::string& programFolder, const std::string& dataFolder,
                          store::ListTab tab);
// The same for a server data set: `positions` hold the records' ids in the list's order; no
// row index is written (the dialogs find the record by its id).
// With a `limit`, only the first rows of the list (what the first screen shows).
LoadedRecords loadServerRecords(const std::string& programFolder, store::DataStore& store,
                                store::ListTab tab,
                                std::size_t limit = store::DataStore::kAll);

class RecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordListModel(QObject* parent = nullptr);

    // Title row and one empty row of `tab`; no selection.
    void setUp(store::ListTab tab);
    // Rows stand for record ids of this server data set, read in pages as they are painted
    // (nullptr: positions in a record file).
    void setServerSource(store::DataStore* store);
    // Shows the records of a load (setUp must have been called for the same tab).
    void setRecords(LoadedRecords loaded);
    // The whole list of a server data set whose first rows are shown: the rows after them
    // are added without disturbing the rows shown (scrolling, selection). A whole list that
    // does not begin with the rows shown replaces them.
    void completeServerRecords(LoadedRecords whole);

    store::ListTab tab() const { return tab_; }
    // Whether the rows stand for positions of a record file (a load found one), so that a
    // change of that file can be followed in place.
    bool followsFile() const;
    int recordCount() const { return int(positions_.size()); }
    // The record behind a row (1-based), read from the record file; an empty record when
    // the file no longer holds one there.
    store::DataRecord record(int row) const;
    // The item names read by the last load.
    const store::ItemNames& names() const { return names_; }
    std::int32_t position(int row) const { return positions_[std::size_t(row - 1)]; }
    const std::vector<std::int32_t>& positions() const { return positions_; }
    // 1-based row of `position`, 0 when the list has none.
    int rowOf(std::int64_t position) const;
    // Whether the list would take `r` (a record of its tab, in its period and masks).
    bool takes(const store::DataRecord& r) const { return filter_.takes(r); }

    // The row marked "⇒" in column 0, 1-based; 0 when none.
    int selectedRow() const { return selected_; }
    void setSelectedRow(int row);
    // The record the selected row showed when it was selected (as last painted when it
    // was); what a command on that row must still find in the file.
    const std::optional<store::DataRecord>& selectedRecord() const { return selectedRecord_; }

    // Follows a save without reading the file again: the rows after an insertion point
    // move up, a moved record's old row goes, the saved record gets a row when the list
    // takes it. Returns the saved record's row (1-based), 0 when the list does not show it.
    int applySave(const store::SavedPlace& place, const store::DataRecord& record);
    // On a server data set: follows a save of record `id` (this program's or another's) without
    // reading the list again. The row goes where the server's order puts it: after the rows
    // of the same date, vehicle and user, or where it was when those stayed (`previous`, or
    // the row as last read). Returns the record's row, 0 when the list does not show it.
    // Raises StoreError when the place cannot be told (the list is then read again).
    int applyServerSave(std::int64_t id, const store::DataRecord& record,
                        const std::optional<store::DataRecord>& previous);
    // On a server data set: removes the row of record `id`; returns the row it had, 0 when
    // none.
    int removeServerRecord(std::int64_t id);
    // Removes the row of the record at `position` (just marked deleted); returns the row
    // it had, 0 when it had none. The selection is cleared.
    int removePosition(std::int32_t position);

    // Text of a cell (row 0 holds the titles).
    QString text(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // On a server, reads the records of `rows` not read yet in one request (rows far apart,
    // as a print's measuring reads them); a folder reads rows as they are asked for.
    Q_INVOKABLE void readAhead(const QList<int>& rows);

    // Heap bytes the list keeps: the positions and the item names.
    std::size_t overheadBytes() const;

private:
    std::optional<store::DataRecord> readRecord(int row) const;
    void insertRow(int row, std::int32_t position);
    void removeRow(int row);
    void repaintRow(int row);

    store::ListTab tab_ = store::ListTab::Driving;
    std::vector<std::int32_t> positions_;
    store::ItemNames names_;
    store::ListFilter filter_;
    mutable store::RecordReader reader_;
    store::DataStore* server_ = nullptr;
    // The server's records read for painting, by id, at most about kKept of them; read again
    // after every load.
    static constexpr std::size_t kKept = 8192;
    mutable std::unordered_map<std::int64_t, store::DataRecord> serverRows_;
    int selected_ = 0;
    std::optional<store::DataRecord> selectedRecord_;
};

}  // namespace quil::ui
