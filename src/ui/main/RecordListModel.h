#pragma once
// The record list behind ComboGrid1: the title row, then one row per record taken by the
// last load (or one empty row when none was). It keeps the records themselves and formats
// a cell only when it is painted, so a list of 100,000 records holds no strings.

#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <vector>

#include "store/ItemStore.h"
#include "store/Records.h"

namespace quil::ui {

// What one load of the list takes from the data files.
struct LoadedRecords {
    std::vector<store::DataRecord> records;
    std::vector<std::int32_t> positions;  // record-file position of each record
    store::ItemNames names;
    bool indexWritten = false;  // Data.idx was rewritten (otherwise it is as it was)
};

// Steps of the list load that touch the files: the records of `tab` that pass the period
// of Item/Time, the vehicle and user masks, and are not deleted, in file order; Data.idx in
// the program folder receives their positions. With no record file, or no live vehicle or
// user, nothing is taken and Data.idx is left alone.
LoadedRecords loadRecords(const std::string& programFolder, const std::string& dataFolder, int tab);

class RecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordListModel(QObject* parent = nullptr);

    // Title row and one empty row of `tab`; no selection.
    void setUp(int tab);
    // Shows the records of a load (setUp must have been called for the same tab).
    void setRecords(LoadedRecords loaded);

    int tab() const { return tab_; }
    int recordCount() const { return int(records_.size()); }
    const store::DataRecord& record(int row) const { return records_[std::size_t(row - 1)]; }
    // The item names read by the last load.
    const store::ItemNames& names() const { return names_; }
    std::int32_t position(int row) const { return positions_[std::size_t(row - 1)]; }
    // The row marked "⇒" in column 0, 1-based; 0 when none.
    int selectedRow() const { return selected_; }
    void setSelectedRow(int row);

    // Text of a cell (row 0 holds the titles).
    QString text(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Heap bytes the list keeps beyond the records themselves.
    std::size_t overheadBytes() const;

private:
    QString recordText(const store::DataRecord& r, int row, int column) const;

    int tab_ = 0;
    std::vector<store::DataRecord> records_;
    std::vector<std::int32_t> positions_;
    store::ItemNames names_;
    int selected_ = 0;
};

}  // namespace quil::ui
