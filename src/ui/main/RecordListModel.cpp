#include "ui/main/RecordListModel.h"

#include "store/NumberFormat.h"
#include "store/Period.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/main/RecordListColumns.h"

namespace quil::ui {

using namespace quil::store;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QString oneDecimal(double v) { return q(formatOneDecimal(v)); }

// Which item positions of one kind the masks show: shown[position] != 0.
std::vector<char> shownPositions(const std::vector<ItemRecord>& items, ItemKind kind,
                                 const std::string& mask, bool& anyLive) {
    std::vector<char> shown(items.size(), 0);
    std::size_t index = 0;
    for (std::size_t pos = 0; pos < items.size(); ++pos) {
        const ItemRecord& it = items[pos];
        if (it.deleted() || it.kind() != static_cast<std::int16_t>(kind)) continue;
        anyLive = true;
        if (listMaskShows(mask, index)) shown[pos] = 1;
        ++index;
    }
    return shown;
}

bool isShown(const std::vector<char>& shown, int position) {
    return position >= 0 && std::size_t(position) < shown.size() && shown[std::size_t(position)];
}

}  // namespace

LoadedRecords loadRecords(const std::string& programFolder, const std::string& dataFolder,
                          int tab) {
    LoadedRecords out;
    RecordStore records(dataFolder);
    if (!records.exists()) return out;

    Settings settings(programFolder);
    const PeriodFilter period = PeriodFilter::load(settings, settings.periodKind(0));
    const auto items = ItemStore(dataFolder).readAll();
    bool anyVehicle = false, anyUser = false;
    const auto vehicles = shownPositions(items, ItemKind::Vehicle, settings.carMask(), anyVehicle);
    const auto users = shownPositions(items, ItemKind::User, settings.driverMask(), anyUser);
    if (!anyVehicle || !anyUser) return out;

    out.names = ItemNames(items);
    out.records.reserve(std::size_t(records.count()));
    records.scan([&](std::int64_t pos, const DataRecord& r) {
        if (r.deleted()) return;
        const int kind = r.kind();
        if (!(kind == tab || (tab == 3 && kind >= 1 && kind <= 3))) return;
        if (!period.passes(r.date())) return;
        if (!isShown(vehicles, r.vehicle()) || !isShown(users, r.user())) return;
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

QString RecordListModel::name(int position) const { return q(names_.nameAt(position)); }

QString RecordListModel::recordText(const DataRecord& r, int row, int column) const {
    switch (column) {
        case 1: return QString::number(row);
        case 2: return q(formatDate(r.date()));
        default: break;
    }
    if (tab_ == 0) {
        switch (column) {
            case 3:
                return q(formatTime(r.date())) + QStringLiteral(" ～ ") +
                       q(formatTime(r.returnTime()));
            case 4: return name(r.vehicle());
            case 5: return name(r.user());
            case 6: return name(r.item());
            case 7: return oneDecimal(r.distance1());
            case 8: return oneDecimal(r.distance2());
            case 9: return oneDecimal(r.distance2() - r.distance1());
            case 10: return q(r.destination());
            case 11: return q(r.remarks());
            default: return {};
        }
    }
    switch (column) {
        case 3: return name(r.vehicle());
        case 4: return name(r.user());
        default: break;
    }
    if (tab_ == 1) {
        switch (column) {
            case 5: return oneDecimal(r.distance2());
            case 6: return QString::number(r.price());
            case 7: return QString::number(r.tax());
            case 8: return name(r.place());
            case 9: return q(r.remarks());
            default: return {};
        }
    }
    if (tab_ == 2) {
        switch (column) {
            case 5: return name(r.item());
            case 6: return oneDecimal(r.distance1());
            case 7: return QString::number(r.price());
            case 8: return QString::number(r.tax());
            case 9: return name(r.place());
            case 10: return q(r.remarks());
            default: return {};
        }
    }
    switch (column) {
        case 5:
            if (r.kind() == 1) return QStringLiteral("給油代金");
            if (r.kind() == 2) return QStringLiteral("点検・整備費");
            return name(r.item());
        case 6: return QString::number(r.price());
        case 7: return QString::number(r.tax());
        case 8: return name(r.place());
        case 9: return q(r.remarks());
        default: return {};
    }
}

std::size_t RecordListModel::overheadBytes() const {
    return (records_.capacity() - records_.size()) * sizeof(DataRecord) +
           positions_.capacity() * sizeof(std::int32_t) + names_.size() * 64;
}

}  // namespace quil::ui
