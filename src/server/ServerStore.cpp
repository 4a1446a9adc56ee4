// DataStore over a server data set: ServerDataSet with conflicts reported as
// store::RecordChangedError, as a data folder reports them.

#include "ServerStore.h"

namespace quil::server {
namespace {

template <typename F>
auto conflicts(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const ServerError& e) {
        if (e.kind() != ServerError::Kind::Conflict) throw;
        throw store::RecordChangedError(e.file(), e.reason());
    }
}

store::StoredRecord stored(const RecordRow& r) { return {r.id, r.version, r.record}; }

}  // namespace

void ServerStore::scanRecords(const std::function<void(const store::StoredRecord&)>& f,
                              bool withDeleted) {
    set_.scanRecords([&](const RecordRow& r) { f(stored(r)); }, withDeleted);
}

void ServerStore::scanDays(store::DateTime firstDay, store::DateTime lastDay,
                           const std::function<void(const store::StoredRecord&)>& f) {
    set_.scanDays(firstDay, lastDay, [&](const RecordRow& r) { f(stored(r)); });
}

std::vector<std::vector<store::RecordSums>> ServerStore::sumRecords(
    const std::vector<store::RecordSumsQuery>& queries) {
    std::vector<std::vector<store::RecordSums>> out;
    for (const store::RecordSumsQuery& q : queries) out.push_back(set_.sumRecords(q));
    return out;
}

void ServerStore::scanKind(store::RecordKind kind, int vehicle,
                           const std::function<void(const store::StoredRecord&)>& f) {
    set_.scanKind(kind, vehicle, [&](const RecordRow& r) { f(stored(r)); });
}

std::vector<store::LatestRecord> ServerStore::lastOfEach(store::RecordKind kind) {
    std::vector<double> highest;
    const std::vector<RecordRow> rows = set_.lastOfEach(kind, highest);
    std::vector<store::LatestRecord> out;
    for (std::size_t i = 0; i < rows.size(); ++i) out.push_back({stored(rows[i]), highest[i]});
    return out;
}

store::NearbyRecords ServerStore::vehicleRecordsAround(const store::DataRecord& record,
                                                       std::size_t count) {
    std::size_t firstAfter = 0;
    const std::vector<RecordRow> rows = set_.vehicleRecordsAround(record.vehicle(), record.date(),
                                                                  record.user(), count, firstAfter);
    const std::size_t after = rows.size() - firstAfter;
    store::NearbyRecords out;
    out.moreBefore = firstAfter > count;
    out.moreAfter = after > count;
    // The extra row on each side only said that there are more.
    const std::size_t from = out.moreBefore ? 1 : 0;
    const std::size_t to = rows.size() - (out.moreAfter ? 1 : 0);
    for (std::size_t i = from; i < to; ++i) out.records.push_back(stored(rows[i]));
    return out;
}

store::StoredRecord ServerStore::readRecord(std::int64_t id) {
    return conflicts([&] { return stored(set_.readRecord(id)); });
}

std::vector<store::StoredRecord> ServerStore::readRecords(const std::vector<std::int64_t>& ids) {
    std::vector<store::StoredRecord> out;
    for (const RecordRow& r : set_.readRecords(ids)) out.push_back(stored(r));
    return out;
}

store::StoredRecord ServerStore::addRecord(const store::DataRecord& record,
                                           const std::string& saveKey) {
    const store::StoredRecord added = stored(set_.addRecord(record, saveKey));
    announce(store::DataSetChange::serverRecordSaved(added.id, added.record));
    return added;
}

store::StoredRecord ServerStore::editRecord(const store::StoredRecord& loaded,
                                            const store::DataRecord& record,
                                            const std::string& saveKey) {
    const store::StoredRecord edited = conflicts(
        [&] { return stored(set_.editRecord(loaded.id, loaded.version, record, saveKey)); });
    announce(store::DataSetChange::serverRecordSaved(edited.id, record, loaded.record));
    return edited;
}

void ServerStore::deleteRecord(const store::StoredRecord& loaded, const std::string& saveKey) {
    conflicts([&] {
        set_.deleteRecord(loaded.id, loaded.version, saveKey);
        return 0;
    });
    announce(store::DataSetChange::serverRecordDeleted(loaded.id, loaded.record));
}

std::vector<store::StoredItem> ServerStore::items() {
    std::vector<store::StoredItem> out;
    for (const ItemRow& r : set_.items()) out.push_back({r.position, r.version, r.item});
    return out;
}

store::StoredItem ServerStore::addItem(const store::ItemRecord& item, const std::string& saveKey) {
    const ItemRow r = set_.addItem(item, saveKey);
    announce(store::DataSetChange::itemsChanged(store::itemKindOf(item.kind())));
    return {r.position, r.version, r.item};
}

store::StoredItem ServerStore::rewriteItem(const store::StoredItem& loaded,
                                           const store::ItemRecord& item,
                                           const std::string& saveKey) {
    const store::StoredItem rewritten = conflicts([&] {
        const ItemRow r = set_.rewriteItem(loaded.position, loaded.version, item, saveKey);
        return store::StoredItem{r.position, r.version, r.item};
    });
    announce(store::DataSetChange::itemsChanged(store::itemKindOf(item.kind())));
    return rewritten;
}

std::unique_ptr<store::DataStore> openServerStore(const std::string& conninfo) {
    return std::make_unique<ServerStore>(conninfo);
}

std::unique_ptr<store::WatchedDataStore> openWatchedServerStore(
    const std::string& conninfo, std::shared_ptr<const OwnConnections> own) {
    auto store = std::make_unique<ServerStore>(conninfo);
    store->dataSet().setOwnConnections(std::move(own));
    return store;
}

namespace {
struct MadeAgain final : store::ChangeWatch::Reconnection {
    std::unique_ptr<ServerDataSet::Replacement> fresh;
};
}  // namespace

std::function<std::unique_ptr<store::ChangeWatch::Reconnection>()> ServerStore::reconnector()
    const {
    return [conninfo = conninfo_]() -> std::unique_ptr<Reconnection> {
        try {
            auto made = std::make_unique<MadeAgain>();
            made->fresh = ServerDataSet::connectAgain(conninfo);
            return made;
        } catch (const std::exception&) {
            return nullptr;  // still away
        }
    };
}

void ServerStore::takeOver(Reconnection& made) {
    if (auto* again = dynamic_cast<MadeAgain*>(&made); again && again->fresh)
        set_.takeOver(*again->fresh);
}

}  // namespace quil::server
