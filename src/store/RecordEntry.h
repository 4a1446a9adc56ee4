#pragma once
// Checking and building the record of an entry: the entry dialog's OK and the CSV import
// both go through here, so both refuse the same input with the same message, in the same
// order, and store the same bytes. RecordEntry is the entry dialog's work without its
// widgets: the record an edit starts from, the pick lists, the check and the save.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "DataStore.h"
#include "EntryField.h"
#include "EntryPickList.h"
#include "RecordStore.h"
#include "Records.h"

namespace quil::store {

// What an entry holds, as typed. References are item positions already looked up in the
// master lists: nullopt when the text names no item (refused), -1 for "その他".
struct EntryInput {
    RecordKind kind = RecordKind::Driving;
    double stamp = 0;
    std::optional<DateTime> day;  // nullopt when no valid date was given
    std::string startHour, startMinute, endHour, endMinute;
    std::optional<int> vehicle, user, third, shop;
    std::string value1, value2, value3, remarks;
    // A decimal field whose text is still the one shown for the stored value (an edit that
    // did not touch it) gives that value itself, not the rounded text read back.
    std::optional<double> unchanged1, unchanged2;
};

struct EntryRefusal {
    EntryField field;
    std::string message;  // UTF-8, shown under "警告"
    friend bool operator==(const EntryRefusal&, const EntryRefusal&) = default;
};

using EntryResult = std::variant<DataRecord, EntryRefusal>;

// The checks in their fixed order (date, vehicle, user, times or price and tax, then the
// fields of the kind); the first failure is returned, otherwise the complete record.
EntryResult buildEntryRecord(const EntryInput& in);

// The master list the third pick list of a kind offers: purposes, gas stations,
// maintenance items or expense items.
ItemKind thirdListKind(RecordKind kind);

// What the entry dialog's caption says: a record kind name ("走行記録", ...) followed by
// "－追加" (add) or "－修正" (edit).
struct EntryCaption {
    RecordKind kind = RecordKind::Driving;
    bool add = false;
};
EntryCaption parseEntryCaption(std::string_view utf8);

class RecordEntry {
public:
    explicit RecordEntry(RecordKind kind = RecordKind::Driving) : kind_(kind) {}

    RecordKind kind() const { return kind_; }

    // Edit: reads the record behind list row `row` (1-based) through the row index Data.idx
    // in the program folder and remembers it with its position. Raises StoreError when the
    // index or the record cannot be read.
    const DataRecord& load(const std::string& programFolder, const std::string& dataFolder,
                           int row);
    // Edit on a server data set: remembers the record as read there, with its id (kept as
    // the position) and version.
    const DataRecord& loadStored(const StoredRecord& stored);
    const std::optional<DataRecord>& loaded() const { return loaded_; }
    std::optional<std::int64_t> position() const { return position_; }

    // The kind's pick lists from the data folder's master lists (all empty when there is no
    // item file); after a load, each knows the loaded record's own reference.
    EntryPickLists pickLists(const std::string& dataFolder) const;
    // The same from the items of a data set, index = position (a server data set's items).
    EntryPickLists pickLists(const std::vector<ItemRecord>& items) const;

    // The entry's record, or the first refusal; the kind is this entry's.
    EntryResult build(EntryInput in) const;

    // Whether the record file still holds, at the remembered position, the very record that
    // was loaded (a restore or a delete meanwhile changes it). False before a load.
    bool stillLoaded(const std::string& dataFolder) const;

    // Stores the record: a new one in date order, an edited one in place of the loaded one.
    auto save(const std::string& dataFolder, const DataRecord& record) const {
        return RecordStore(dataFolder).save(record, position_);
    }

    // Stores the record in `store` under `saveKey`: a new one, or the one loaded by
    // loadStored replaced. RecordChangedError when that record changed since it was read.
    StoredRecord saveTo(DataStore& store, const DataRecord& record,
                        const std::string& saveKey) const;

private:
    RecordKind kind_;
    std::optional<std::int64_t> position_;
    std::optional<DataRecord> loaded_;
    std::optional<StoredRecord> stored_;
};

}  // namespace quil::store
