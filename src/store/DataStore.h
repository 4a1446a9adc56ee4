#pragma once
// One interface over the two kinds of data set: a data folder (Quil.qui and Quil.qud) and a
// data set on a server. A record is named by an id (its position in the folder's file, its
// row id on the server) and carries a version: what the change was based on. An edit or
// delete of a record that changed since it was read is refused with RecordChangedError in
// both, so that no one's change is overwritten unseen. Whoever shows the data set hears what
// a write changed from the store itself (setChangeListener), in the same terms whichever kind
// of data set is behind it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/DataSetChange.h"
#include "store/Date.h"
#include "store/ListFilter.h"
#include "store/Records.h"
#include "store/StoreError.h"

namespace quil::store {

struct StoredRecord {
    std::int64_t id = -1;
    std::int64_t version = 0;  // the server's row version; 0 in a folder (the bytes decide)
    DataRecord record;
};

struct StoredItem {
    int position = -1;
    std::int64_t version = 0;
    ItemRecord item;
};

// The record or item was changed or deleted by someone else since it was read.
class RecordChangedError : public StoreError {
public:
    using StoreError::StoreError;
};

// The words of that refusal, for a record and for a master item.
inline constexpr const char* kRecordChangedText =
    "修正中の記録は、ほかの操作でデータが変更されたため保存できません。一覧を読み込み直します。";
inline constexpr const char* kItemChangedText =
    "この項目は、ほかの操作で変更されたため保存できません。一覧を読み込み直します。";

// A new random key naming one save (32 hexadecimal digits): a save repeated under the same
// key (its answer lost with the connection) is done once.
std::string newSaveKey();

// Records of one vehicle around a place in the list's order (vehicleRecordsAround).
struct NearbyRecords {
    std::vector<StoredRecord> records;  // in the list's order
    bool moreBefore = false;            // the data set holds more of them before the first
    bool moreAfter = false;             // and after the last
};

// A record's odometer reading: the higher of a driving record's two readings, the first
// distance of a refuelling or a maintenance, none (0) for an expense.
// Inline: the folder's reports call it for every record.
inline double odometerReading(const DataRecord& r) {
    switch (RecordKind(r.kind())) {
        case RecordKind::Driving: return std::max(r.distance1(), r.distance2());
        case RecordKind::Refuelling:
        case RecordKind::Maintenance: return r.distance1();
        default: return 0;
    }
}

// The sums of one group. The fields the query does not group by stay -1 (`day` 0).
struct RecordSums {
    std::int16_t vehicle = -1;
    std::int16_t user = -1;
    std::int16_t item = -1;
    std::int16_t kind = -1;
    DateTime day = 0;  // the day, or the first day of the month
    std::int64_t count = 0;
    double driven = 0;     // distance2 - distance1
    double distance2 = 0;  // a refuelling's litres
    std::int64_t price = 0;
    std::int64_t tax = 0;
    double highestReading = 0;  // the highest odometer reading above 0 (0: none)
    std::int64_t readings = 0;  // records with a reading above 0
    // What one record adds (inline, as odometerReading).
    void add(const DataRecord& r) {
        count += 1;
        driven += r.distance2() - r.distance1();
        distance2 += r.distance2();
        price += r.price();
        tax += r.tax();
        const double reading = odometerReading(r);
        if (reading > 0) {
            ++readings;
            highestReading = std::max(highestReading, reading);
        }
    }
};

// What a report asks to have added up over the live records, and how they are grouped.
struct RecordSumsQuery {
    std::vector<std::int16_t> kinds;  // the record kinds taken
    PeriodFilter period;              // the days taken (a date's day is its whole part)
    int vehicle = -1;                 // only this vehicle's records; -1 every vehicle's
    // What tells the groups apart (or'ed); 0: one group of everything taken.
    enum By : unsigned { Vehicle = 1, User = 2, Item = 4, Kind = 8, Month = 16, Day = 32 };
    unsigned by = 0;

    // Whether a live record is taken, and the group it falls in (its sums still empty).
    // Inline, as RecordSums::add.
    bool takes(const DataRecord& r) const {
        if (std::find(kinds.begin(), kinds.end(), r.kind()) == kinds.end()) return false;
        if (vehicle >= 0 && r.vehicle() != vehicle) return false;
        return period.passes(r.date());
    }
    RecordSums groupOf(const DataRecord& r) const {
        RecordSums key;
        if (by & Vehicle) key.vehicle = r.vehicle();
        if (by & User) key.user = r.user();
        if (by & Item) key.item = r.item();
        if (by & Kind) key.kind = r.kind();
        if (by & (Day | Month)) key.day = std::trunc(r.date());
        // The first day of the month, for dates of years 1 to 9999; any other stays its own
        // group.
        if ((by & Month) && key.day >= -693593 && key.day < 2958466) {
            const CivilDate c = decodeDate(key.day);
            key.day = encodeDate(c.year, c.month, 1);
        }
        return key;
    }
};

// A vehicle's highest odometer readings above 0, highest first, and how many it has.
struct VehicleReadings {
    std::int16_t vehicle = -1;
    std::vector<double> highest;
    std::int64_t count = 0;
};

// What the fuel report follows of a live refuelling (DataStore::scanRefuellings).
struct RefuellingFacts {
    std::int16_t vehicle = -1;
    DateTime date = 0;
    double distance1 = 0;  // its own odometer reading (0: none)
    double distance2 = 0;  // the litres
    std::string_view remarksRaw;  // the raw CP932 remarks, valid during the call only
};

// What the odometer check and the missing alcohol checks follow of a live record
// (DataStore::scanDrives).
struct DriveFacts {
    std::int64_t id = 0;
    DateTime date = 0;
    RecordKind kind = RecordKind::Driving;
    std::int16_t vehicle = -1;
    std::int16_t user = -1;
    double distance1 = 0;
    double distance2 = 0;
    DateTime returnTime = 0;

    // The facts of record `id`; none for a deleted record or one of a kind outside 0..3.
    static std::optional<DriveFacts> of(std::int64_t id, const DataRecord& r);
};

// Which records DataStore::scanDrives hands over.
struct DriveQuery {
    // With the refuelling and maintenance records that hold a reading (a first distance not
    // at or below 0), not only the driving records.
    bool withReadings = false;
    // Every record dated on the days `firstDay` to `lastDay` comes (00:00 of each; infinite:
    // no limit), and records dated around them may come as well: the caller keeps its days.
    DateTime firstDay = -std::numeric_limits<double>::infinity();
    DateTime lastDay = std::numeric_limits<double>::infinity();
    // Only these vehicles' records; none named: every vehicle's.
    std::vector<std::int16_t> vehicles{};
};

struct LatestRecord {
    StoredRecord stored;
    double highestBefore = 0;
};

class DataStore {
public:
    virtual ~DataStore() = default;

    // The data set's name for messages: a folder, or "database (host)".
    virtual std::string where() const = 0;
    // Whether this user may change the data set.
    virtual bool writable() = 0;
    // False while the data set is known to be out of reach (a server whose connection broke):
    // a list then paints empty rows at once instead of waiting for it.
    virtual bool reachable() const { return true; }

    // Records in the list's order: date, vehicle, user, then order of entry.
    virtual void scanRecords(const std::function<void(const StoredRecord&)>& f,
                             bool withDeleted = false) = 0;
    virtual std::int64_t recordCount(bool withDeleted = false) = 0;
    // The ids of the records a list takes, in the list's order, the first `limit` of them.
    // A server selects them itself; the default reads every record.
    static constexpr std::size_t kAll = static_cast<std::size_t>(-1);
    virtual std::vector<std::int64_t> listIds(const ListFilter& filter, std::size_t limit = kAll);
    // The live records dated on the days `firstDay` to `lastDay` (00:00 of each; a date's
    // day is its whole part), in the list's order. A server selects them over its index;
    // the default reads every record.
    virtual void scanDays(DateTime firstDay, DateTime lastDay,
                          const std::function<void(const StoredRecord&)>& f);
    // The live records of `record`'s vehicle nearest to the place `record` would take in the
    // list: up to `count` before it (those of the same date and user count as before) and
    // up to `count` after it. A server selects them over its index; the default reads every
    // record.
    virtual NearbyRecords vehicleRecordsAround(const DataRecord& record, std::size_t count);
    // Whether the data set answers sumRecords, highestReadings, scanKind and lastOfEach
    // itself (a server, over its columns and indexes). When it does not, a report reads the
    // records once itself and adds up in the process, one record at a time, by the same
    // definitions (RecordSumsQuery::takes, RecordSums::add).
    virtual bool answersSums() const { return false; }
    // The sums each query asks for, one list of groups per query in no particular order. A
    // server adds them up itself; the default reads every record once for all the queries.
    virtual std::vector<std::vector<RecordSums>> sumRecords(
        const std::vector<RecordSumsQuery>& queries);
    // Of each vehicle with a reading, the `n` highest readings of its live records (all of
    // them when it has fewer) and how many it has. A server takes them from its index of
    // readings and counts them; the default reads every record.
    virtual std::vector<VehicleReadings> highestReadings(std::size_t n);
    // The live records of `kind` (of `vehicle` only, unless -1) in the list's order. A server
    // selects them; the default reads every record.
    virtual void scanKind(RecordKind kind, int vehicle,
                          const std::function<void(const StoredRecord&)>& f);
    // The live refuellings (of `vehicle` only, unless -1) in the list's order, with only what
    // the fuel report follows of each. A server sends those few bytes of each record alone;
    // the default reads them through scanKind.
    virtual void scanRefuellings(int vehicle,
                                 const std::function<void(const RefuellingFacts&)>& f);
    // The live records `query` asks for, in the list's order, with only what the odometer
    // check and the missing alcohol checks follow of each. A server sends those few columns
    // of each alone; the default reads every record.
    virtual void scanDrives(const DriveQuery& query,
                            const std::function<void(const DriveFacts&)>& f);
    // Of each vehicle and item, the last live record of `kind` in the list's order, in no
    // particular order, with the highest odometer reading above 0 of the vehicle's live
    // records before it in that order (0: none; asked only when the record has no reading of
    // its own above 0, else 0). A server selects them; the default reads every record.
    virtual std::vector<LatestRecord> lastOfEach(RecordKind kind);
    // Of each vehicle (of `vehicle` only, unless -1), the highest odometer reading above 0 of
    // its live driving and maintenance records on each day up to `lastDay` that has one (a
    // date's day is its whole part), in no particular order: RecordSums of vehicle, day and
    // highestReading. A server keeps them per day; the default asks sumRecords.
    virtual std::vector<RecordSums> dailyReadings(int vehicle, DateTime lastDay);
    // RecordChangedError when there is no record `id`.
    virtual StoredRecord readRecord(std::int64_t id) = 0;
    // The records of `ids` that exist, in no particular order (the rows being painted).
    virtual std::vector<StoredRecord> readRecords(const std::vector<std::int64_t>& ids) = 0;
    virtual StoredRecord addRecord(const DataRecord& record, const std::string& saveKey) = 0;
    // Replaces `loaded` (as read) by `record`; RecordChangedError when it changed since.
    virtual StoredRecord editRecord(const StoredRecord& loaded, const DataRecord& record,
                                    const std::string& saveKey) = 0;
    virtual void deleteRecord(const StoredRecord& loaded, const std::string& saveKey) = 0;
    // Whether any record, deleted ones included, refers to the item at `position` in the
    // field that belongs to the item's kind.
    virtual bool refersTo(int position, ItemKind kind) = 0;

    // Every item, deleted ones included, by position.
    virtual std::vector<StoredItem> items() = 0;
    virtual StoredItem addItem(const ItemRecord& item, const std::string& saveKey) = 0;
    // Replaces `loaded` (as read); RecordChangedError when it changed since.
    virtual StoredItem rewriteItem(const StoredItem& loaded, const ItemRecord& item,
                                   const std::string& saveKey) = 0;

    // Called with what each write above changed, once it is stored. A listener's failure
    // comes out of the write that stored the change: the listener reports it itself when
    // the change must not look undone.
    using ChangeListener = std::function<void(const DataSetChange&)>;
    void setChangeListener(ChangeListener listener) { listener_ = std::move(listener); }

protected:
    void announce(const DataSetChange& change) const {
        if (listener_) listener_(change);
    }

private:
    ChangeListener listener_;
};

// The data set of a data folder (ends with '/'), through RecordStore and ItemStore.
std::unique_ptr<DataStore> openFolderStore(const std::string& dataDir);

}  // namespace quil::store
