// DataStore over a data folder: the record and item files as RecordStore and ItemStore
// keep them. Ids are positions in the files; a change is refused when the bytes at the
// position are no longer those that were read.

#include <random>

#include "store/DataStore.h"

#include <algorithm>
#include "store/ItemStore.h"
#include "store/RecordStore.h"

namespace quil::store {

std::string newSaveKey() {
    std::random_device rd;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string key;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t v = rd();
        for (int j = 0; j < 8; ++j, v >>= 4) key += kHex[v & 0xf];
    }
    return key;
}

std::vector<std::int64_t> DataStore::listIds(const ListFilter& filter, std::size_t limit) {
    std::vector<std::int64_t> ids;
    scanRecords([&](const StoredRecord& r) {
        if (ids.size() < limit && filter.takes(r.record)) ids.push_back(r.id);
    });
    return ids;
}

void DataStore::scanDays(DateTime firstDay, DateTime lastDay,
                         const std::function<void(const StoredRecord&)>& f) {
    const PeriodFilter days = PeriodFilter::within(PeriodRange{firstDay, lastDay});
    scanRecords([&](const StoredRecord& r) {
        if (days.passes(r.record.date())) f(r);
    });
}

NearbyRecords DataStore::vehicleRecordsAround(const DataRecord& record, std::size_t count) {
    std::vector<StoredRecord> own;
    scanRecords([&](const StoredRecord& r) {
        if (r.record.vehicle() == record.vehicle()) own.push_back(r);
    });
    const auto place = std::find_if(own.begin(), own.end(), [&](const StoredRecord& r) {
        return sortsAfter(r.record, record);
    });
    const std::size_t split = std::size_t(place - own.begin());
    const std::size_t first = split > count ? split - count : 0;
    const std::size_t last = std::min(own.size(), split + count);
    NearbyRecords out;
    out.records.assign(own.begin() + std::ptrdiff_t(first), own.begin() + std::ptrdiff_t(last));
    out.moreBefore = first > 0;
    out.moreAfter = last < own.size();
    return out;
}

namespace {

class FolderStore final : public DataStore {
public:
    explicit FolderStore(std::string dataDir) : dir_(std::move(dataDir)) {}

    std::string where() const override { return dir_; }
    bool writable() override { return true; }

    void scanRecords(const std::function<void(const StoredRecord&)>& f, bool withDeleted) override {
        records().scan([&](std::int64_t position, const DataRecord& r) {
            if (withDeleted || !r.deleted()) f(StoredRecord{position, 0, r});
        });
    }
    std::int64_t recordCount(bool withDeleted) override {
        const RecordStore file = records();
        if (withDeleted) return file.exists() ? file.count() : 0;
        std::int64_t n = 0;
        file.scan([&](std::int64_t, const DataRecord& r) { n += r.deleted() ? 0 : 1; });
        return n;
    }
    StoredRecord readRecord(std::int64_t id) override {
        const RecordStore file = records();
        if (!file.exists() || id < 0 || id >= file.count())
            throw RecordChangedError(kRecordFileName, kRecordChangedText);
        return {id, 0, file.read(id)};
    }
    std::vector<StoredRecord> readRecords(const std::vector<std::int64_t>& ids) override {
        std::vector<StoredRecord> out;
        const RecordStore file = records();
        if (!file.exists()) return out;
        const std::int64_t n = file.count();
        for (std::int64_t id : ids)
            if (id >= 0 && id < n) out.push_back({id, 0, file.read(id)});
        return out;
    }
    StoredRecord addRecord(const DataRecord& record, const std::string&) override {
        const SavedPlace place = records().save(record, std::nullopt);
        announce(DataSetChange::recordSaved(place, record));
        return {place.position, 0, record};
    }
    StoredRecord editRecord(const StoredRecord& loaded, const DataRecord& record,
                            const std::string&) override {
        requireUnchanged(loaded);
        const SavedPlace place = records().save(record, loaded.id);
        announce(DataSetChange::recordSaved(place, record, loaded.record));
        return {place.position, 0, record};
    }
    void deleteRecord(const StoredRecord& loaded, const std::string&) override {
        requireUnchanged(loaded);
        records().markDeleted(loaded.id);
        announce(DataSetChange::recordDeleted(loaded.id, loaded.record));
    }
    bool refersTo(int position, ItemKind kind) override {
        return records().refersTo(position, kind);
    }

    std::vector<StoredItem> items() override {
        std::vector<StoredItem> out;
        int position = 0;
        for (const ItemRecord& it : ItemStore(dir_).readAll()) out.push_back({position++, 0, it});
        return out;
    }
    StoredItem addItem(const ItemRecord& item, const std::string&) override {
        const int position = ItemStore(dir_).append(item);
        announce(DataSetChange::itemsChanged(itemKindOf(item.kind())));
        return {position, 0, item};
    }
    StoredItem rewriteItem(const StoredItem& loaded, const ItemRecord& item,
                           const std::string&) override {
        ItemStore file(dir_);
        const std::vector<ItemRecord> now = file.readAll();
        if (loaded.position < 0 || std::size_t(loaded.position) >= now.size() ||
            !(now[std::size_t(loaded.position)] == loaded.item))
            throw RecordChangedError(kItemFileName, kItemChangedText);
        file.rewrite(loaded.position, item);
        announce(DataSetChange::itemsChanged(itemKindOf(item.kind())));
        return {loaded.position, 0, item};
    }

private:
    // The files through the file-system seam in use at the time of each call, so that a
    // store kept by a window follows a seam installed later (a folder held read-only).
    RecordStore records() const { return RecordStore(dir_); }

    void requireUnchanged(const StoredRecord& loaded) {
        // Another program may have saved in between: the record at the position must be the
        // one that was read, and still live.
        const RecordStore file = records();
        if (!file.exists() || loaded.id < 0 || loaded.id >= file.count() ||
            !(file.read(loaded.id) == loaded.record) || loaded.record.deleted())
            throw RecordChangedError(kRecordFileName, kRecordChangedText);
    }

    std::string dir_;
};

}  // namespace

std::unique_ptr<DataStore> openFolderStore(const std::string& dataDir) {
    return std::make_unique<FolderStore>(dataDir);
}

}  // namespace quil::store
