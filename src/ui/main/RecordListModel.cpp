#include "ui/main/RecordListModel.h"

#include "store/ListFilter.h"
#include "store/ListRows.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/main/RecordListColumns.h"

namespace quil::ui {

using namespace quil::store;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

LoadedRecords loadRecords(const std::string& programFolder, const std::string& dataFolder,
                          int tab) {
    LoadedRecords out;
    RecordStore records(dataFolder);
    if (!records.exists()) return out;

    const auto items = ItemStore(dataFolder).readAll();
    const ListFilter filter = ListFilter::fromSettings(Settings(programFolder), items, tab);
    if (!filter.takesAny()) return out;

    out.names = ItemNames(items);
    out.records.reserve(std::size_t(records.count()));
    records.scan([&](std::int64_t pos, const DataRecord& r) {
        if (!filter.takes(r)) return;
        out.records.push_back(r);
        out.positions.push_back(static_cast<std::int32_t>(pos));
    });
    // A filtered list may keep far fewer records than the file holds.
    if (out.records.capacity() > out.records.size() + out.records.size() / 8 + 64)
        out.records.shrink_to_fit();
    writeRowIndex(programFolder + kRowIndexFileName, out.positions);
    out.indexWritten = true;
    return out;
}

RecordListModel::RecordListModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordListModel::setUp(int tab) {
    beginResetModel();
    tab_ = tab;
    records_.clear();
    records_.shrink_to_fit();
    positions_.clear();
    positions_.shrink_to_fit();
    names_ = ItemNames();
    selected_ = 0;
    endResetModel();
}

void RecordListModel::setRecords(LoadedRecords loaded) {
    beginResetModel();
    records_ = std::move(loaded.records);
    positions_ = std::move(loaded.positions);
    names_ = std::move(loaded.names);
    selected_ = 0;
    endResetModel();
}

void RecordListModel::setSelectedRow(int row) {
    const int old = selected_;
    selected_ = row;
    if (old > 0 && old < rowCount()) Q_EMIT dataChanged(index(old, 0), index(old, 0));
    if (row > 0 && row < rowCount()) Q_EMIT dataChanged(index(row, 0), index(row, 0));
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return 1 + std::max<int>(1, int(records_.size()));
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ui::columnCount(tab_);
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    if (!index.isValid()) return {};
    return text(index.row(), index.column());
}

QString RecordListModel::text(int row, int column) const {
    if (row == 0) return columnTitle(tab_, column);
    if (column == 0) return row == selected_ && row > 0 ? QStringLiteral("⇒") : QString();
    if (row < 1 || row > int(records_.size())) return {};
    return recordText(records_[std::size_t(row - 1)], row, column);
}

QString RecordListModel::recordText(const DataRecord& r, int row, int column) const {
    return q(listCellText(tab_, r, row, column, names_));
}

std::size_t RecordListModel::overheadBytes() const {
    return (records_.capacity() - records_.size()) * sizeof(DataRecord) +
           positions_.capacity() * sizeof(std::int32_t) + names_.size() * 64;
}

}  // namespace quil::ui
