#include "ui/main/RecordListModel.h"

#include <algorithm>
#include <limits>

#include "store/DataStore.h"
#include "store/ListRows.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/main/RecordListColumns.h"

namespace quil::ui {

using namespace quil::store;

LoadedRecords loadRecords(const std::string& programFolder, const std::string& dataFolder,
                          ListTab tab) {
    LoadedRecords out;
    RecordStore records(dataFolder);
    if (!records.exists()) return out;

    const auto items = ItemStore(dataFolder).readAll();
    out.filter = ListFilter::fromSettings(Settings(programFolder), items, tab);
    if (!out.filter.takesAny()) return out;

    out.names = ItemNames(items);
    out.recordFile = records.path();
    // Reserved for the whole file: growing by doubling would hold up to twice the rows.
    out.positions.reserve(std::size_t(records.count()));
    records.scan([&](std::int64_t pos, const DataRecord& r) {
        if (out.filter.takes(r)) out.positions.push_back(static_cast<std::int32_t>(pos));
    });
    // A filtered list may keep far fewer rows than the file holds records.
    if (out.positions.capacity() > out.positions.size() + out.positions.size() / 8 + 1024)
        out.positions.shrink_to_fit();
    writeRowIndex(programFolder + kRowIndexFileName, out.positions);
    out.indexWritten = true;
    return out;
}

LoadedRecords loadServerRecords(const std::string& programFolder, DataStore& store, ListTab tab,
                                std::size_t limit) {
    LoadedRecords out;
    std::vector<ItemRecord> items;
    for (const StoredItem& s : store.items()) items.push_back(s.item);
    out.filter = ListFilter::fromSettings(Settings(programFolder), items, tab);
    if (!out.filter.takesAny()) return out;
    out.names = ItemNames(items);
    const std::vector<std::int64_t> ids = store.listIds(out.filter, limit);
    out.positions.reserve(ids.size());
    for (std::int64_t id : ids) {
        if (id > std::numeric_limits<std::int32_t>::max())
            throw StoreError(store.where(), "記録の番号が大きすぎて一覧に出せません。");
        out.positions.push_back(static_cast<std::int32_t>(id));
    }
    return out;
}

RecordListModel::RecordListModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordListModel::setServerSource(DataStore* store) {
    server_ = store;
    serverRows_.clear();
}

void RecordListModel::setUp(ListTab tab) {
    beginResetModel();
    tab_ = tab;
    positions_.clear();
    positions_.shrink_to_fit();
    names_ = ItemNames();
    filter_ = ListFilter();
    reader_.reset({});
    selected_ = 0;
    selectedRecord_.reset();
    endResetModel();
}

void RecordListModel::setRecords(LoadedRecords loaded) {
    beginResetModel();
    positions_ = std::move(loaded.positions);
    names_ = std::move(loaded.names);
    filter_ = std::move(loaded.filter);
    reader_.reset(std::move(loaded.recordFile));
    serverRows_.clear();
    selected_ = 0;
    selectedRecord_.reset();
    endResetModel();
}

void RecordListModel::completeServerRecords(LoadedRecords whole) {
    const std::size_t shown = positions_.size();
    if (whole.positions.size() < shown ||
        !std::equal(positions_.begin(), positions_.end(), whole.positions.begin())) {
        const std::int64_t selected = selected_ > 0 && selected_ <= recordCount()
                                          ? positions_[std::size_t(selected_ - 1)]
                                          : -1;
        setRecords(std::move(whole));
        if (selected >= 0) selected_ = rowOf(selected);
        return;
    }
    if (whole.positions.size() == shown) return;
    // Row 0 is the title row; an empty list shows one empty row, which the first record
    // takes over.
    const int first = shown == 0 ? 2 : int(shown) + 1;
    const int last = int(whole.positions.size());
    if (shown == 0) Q_EMIT dataChanged(index(1, 0), index(1, columnCount() - 1));
    if (last >= first) beginInsertRows(QModelIndex(), first, last);
    positions_ = std::move(whole.positions);
    if (last >= first) endInsertRows();
}

bool RecordListModel::followsFile() const { return reader_.path().size() > 0; }

std::optional<DataRecord> RecordListModel::readRecord(int row) const {
    if (row < 1 || row > recordCount()) return std::nullopt;
    if (server_) {
        const std::int64_t id = positions_[std::size_t(row - 1)];
        if (auto it = serverRows_.find(id); it != serverRows_.end()) return it->second;
        if (!server_->reachable()) return std::nullopt;  // empty rows until it is back
        // A page around the row painted: one request for the rows about to be painted.
        constexpr int kBefore = 64, kAfter = 192;
        if (serverRows_.size() > kKept) serverRows_.clear();
        std::vector<std::int64_t> ids;
        for (int r = std::max(1, row - kBefore); r <= std::min(recordCount(), row + kAfter); ++r) {
            const std::int64_t other = positions_[std::size_t(r - 1)];
            if (!serverRows_.count(other)) ids.push_back(other);
        }
        try {
            for (const StoredRecord& s : server_->readRecords(ids)) serverRows_[s.id] = s.record;
        } catch (const std::exception&) {
            return std::nullopt;  // the server is away: empty rows until it is back
        }
        if (auto it = serverRows_.find(id); it != serverRows_.end()) return it->second;
        return std::nullopt;
    }
    try {
        return reader_.read(positions_[std::size_t(row - 1)]);
    } catch (const std::exception&) {
        // A file that vanished or cannot be read shows empty rows; commands on them are
        // refused by their own check of the file.
        return std::nullopt;
    }
}

void RecordListModel::readAhead(const QList<int>& rows) {
    if (!server_ || !server_->reachable()) return;
    std::vector<std::int64_t> ids;
    for (int row : rows) {
        if (row < 1 || row > recordCount()) continue;
        const std::int64_t id = positions_[std::size_t(row - 1)];
        if (!serverRows_.count(id)) ids.push_back(id);
    }
    if (ids.empty()) return;
    if (serverRows_.size() + ids.size() > kKept) serverRows_.clear();
    try {
        for (const StoredRecord& s : server_->readRecords(ids)) serverRows_[s.id] = s.record;
    } catch (const std::exception&) {
        // The server is away: the rows are asked for again one by one.
    }
}

DataRecord RecordListModel::record(int row) const {
    if (auto r = readRecord(row)) return *r;
    return DataRecord();
}

void RecordListModel::setSelectedRow(int row) {
    const int old = selected_;
    selected_ = row;
    selectedRecord_ = row > 0 ? readRecord(row) : std::nullopt;
    auto marker = [this](int r) { return index(r, store::kListMarkerColumn); };
    if (old > 0 && old < rowCount()) Q_EMIT dataChanged(marker(old), marker(old));
    if (row > 0 && row < rowCount()) Q_EMIT dataChanged(marker(row), marker(row));
}

int RecordListModel::rowOf(std::int64_t position) const {
    if (server_) {  // ids stand in the list's order, not in ascending order
        const auto it = std::find(positions_.begin(), positions_.end(), position);
        return it == positions_.end() ? 0 : int(it - positions_.begin()) + 1;
    }
    const auto it = std::lower_bound(positions_.begin(), positions_.end(), position);
    if (it == positions_.end() || *it != position) return 0;
    return int(it - positions_.begin()) + 1;
}

void RecordListModel::insertRow(int row, std::int32_t position) {
    // An empty list shows one empty row already: the first record fills it.
    if (positions_.empty()) {
        positions_.push_back(position);
        repaintRow(1);
        return;
    }
    beginInsertRows({}, row, row);
    positions_.insert(positions_.begin() + (row - 1), position);
    endInsertRows();
}

void RecordListModel::removeRow(int row) {
    if (positions_.size() == 1) {
        positions_.clear();
        repaintRow(1);
        return;
    }
    beginRemoveRows({}, row, row);
    positions_.erase(positions_.begin() + (row - 1));
    endRemoveRows();
}

void RecordListModel::repaintRow(int row) {
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int RecordListModel::applySave(const SavedPlace& place, const DataRecord& record) {
    // Rows read from now on must come from the file as the save left it (an insertion
    // replaced it).
    reader_.forget();
    setSelectedRow(0);
    if (place.way == SavedPlace::Way::Created) {
        while (!positions_.empty()) removeRow(recordCount());
    }
    if (place.markedDeleted >= 0) {
        if (const int old = rowOf(place.markedDeleted)) removeRow(old);
    }
    if (place.way == SavedPlace::Way::Inserted) {
        const auto from = std::lower_bound(positions_.begin(), positions_.end(), place.position);
        for (auto it = from; it != positions_.end(); ++it) ++*it;
    }
    const auto position = static_cast<std::int32_t>(place.position);
    int row = rowOf(position);
    const bool taken = filter_.takes(record);
    if (row && taken) {
        repaintRow(row);
    } else if (row) {
        removeRow(row);
        row = 0;
    } else if (taken) {
        row = int(std::lower_bound(positions_.begin(), positions_.end(), position) -
                  positions_.begin()) +
              1;
        insertRow(row, position);
    }
    return row;
}

namespace {

bool sameKey(const DataRecord& a, const DataRecord& b) {
    return a.date() == b.date() && a.vehicle() == b.vehicle() && a.user() == b.user();
}

}  // namespace

int RecordListModel::applyServerSave(std::int64_t id, const DataRecord& record,
                                     const std::optional<DataRecord>& previous) {
    setSelectedRow(0);
    const int old = rowOf(id);
    // What the row held: the place of an edit that keeps its date, vehicle and user.
    std::optional<DataRecord> before = previous;
    if (old && !before) {
        const auto cached = serverRows_.find(id);
        if (cached == serverRows_.end())
            throw StoreError(server_->where(), "一覧の行の元の内容がわかりません。");  // read again
        before = cached->second;
    }
    if (old) removeRow(old);
    serverRows_.erase(id);
    if (!filter_.takes(record) || id > std::numeric_limits<std::int32_t>::max()) return 0;
    int row = 0;
    if (old && sameKey(*before, record)) {
        row = old;  // same date, vehicle and user: the same place in the order
    } else {
        // After every row whose date, vehicle and user are not above the record's: a search
        // that reads up to 32 rows spread over the range left per request, so that a
        // million rows take four requests.
        int lo = 1, hi = recordCount() + 1;
        const auto keyOf = [&](int r) -> const DataRecord& {
            return serverRows_.at(positions_[std::size_t(r - 1)]);
        };
        while (lo < hi) {
            constexpr int kProbes = 32;
            std::vector<int> probes;
            const int span = hi - lo;
            for (int k = 0; k < kProbes && k < span; ++k)
                probes.push_back(lo + int(std::int64_t(span) * k / std::min(kProbes, span)));
            std::vector<std::int64_t> missing;
            for (int r : probes)
                if (!serverRows_.count(positions_[std::size_t(r - 1)]))
                    missing.push_back(positions_[std::size_t(r - 1)]);
            if (!missing.empty())
                for (const StoredRecord& got : server_->readRecords(missing))
                    serverRows_[got.id] = got.record;
            for (int r : probes)
                if (!serverRows_.count(positions_[std::size_t(r - 1)]))
                    throw StoreError(server_->where(), kRecordChangedText);
            // The first probe above the record bounds the range from above; the one before
            // it from below.
            int next = hi;
            for (int r : probes)
                if (sortsAfter(keyOf(r), record)) {
                    next = r;
                    break;
                }
            const auto below = std::find(probes.begin(), probes.end(), next);
            // Rows up to that one are not above it: the place lies between the two (when
            // every row of the range was read, the two meet).
            lo = below == probes.begin() ? lo : *(below - 1) + 1;
            hi = next;
        }
        row = lo;
    }
    serverRows_[id] = record;
    insertRow(row, static_cast<std::int32_t>(id));
    return row;
}

int RecordListModel::removeServerRecord(std::int64_t id) {
    const int row = rowOf(id);
    setSelectedRow(0);
    serverRows_.erase(id);
    if (row) removeRow(row);
    return row;
}

int RecordListModel::removePosition(std::int32_t position) {
    reader_.forget();
    const int row = rowOf(position);
    setSelectedRow(0);
    if (row) removeRow(row);
    return row;
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return 1 + std::max<int>(1, recordCount());
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
    if (row < kListFirstRecordRow) return columnTitle(tab_, column);
    if (column == kListMarkerColumn)
        return row == selected_ && row > 0 ? QStringLiteral("⇒") : QString();
    const auto r = readRecord(row);
    if (!r) return {};
    return QString::fromStdString(listCellText(tab_, *r, row, column, names_));
}

std::size_t RecordListModel::overheadBytes() const {
    return positions_.capacity() * sizeof(std::int32_t) + names_.size() * 64 +
           sizeof(std::array<DataRecord, RecordReader::kBlockRecords>) * RecordReader::kBlocks;
}

}  // namespace quil::ui
