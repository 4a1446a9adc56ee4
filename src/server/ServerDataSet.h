#pragma once
// A data set on a PostgreSQL server: the master items and the records of a data folder, in
// tables, for many programs at once. Every row carries a version: an edit or delete names
// the version it read and is refused when the row changed since (another user got there
// first). Every change is done under a save key; the same key sent again (a save whose
// answer was lost with the connection) returns the first answer instead of saving twice.
// Changes are announced to every connected program (kChangeChannel).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "OwnConnections.h"
#include "PgConnection.h"
#include "ServerSchema.h"
#include "store/DataSetChange.h"
#include "store/DataStore.h"
#include "store/ListFilter.h"
#include "store/Records.h"

namespace quil::server {

// A record's or item's bytes as the server keeps them (raw), and back: a row whose bytes
// are not a whole record raises ServerError with `where`.
std::string_view rawOf(const store::DataRecord& r);
std::string_view rawOf(const store::ItemRecord& r);
store::DataRecord recordOf(std::string_view raw, const std::string& where);
store::ItemRecord itemOf(std::string_view raw, const std::string& where);
// A record as quil_records keeps it, its bytes and the columns it is sorted and filtered by
// taken from them, as statement parameters: $1 raw, $2 date, $3 vehicle, $4 user
// (recordPlaceParams), then $5 kind and $6 deleted (recordParams).
std::vector<PgParam> recordPlaceParams(const store::DataRecord& r);
std::vector<PgParam> recordParams(const store::DataRecord& r);

struct RecordRow {
    std::int64_t id = 0;
    std::int64_t version = 0;
    store::DataRecord record;
};

struct ItemRow {
    int position = 0;
    std::int64_t version = 0;
    store::ItemRecord item;
};

using store::newSaveKey;

// The text of the warning given when a record changed since it was read; the same words as
// for a data folder changed by another program.
inline constexpr const char* kRecordChangedMessage = store::kRecordChangedText;
inline constexpr const char* kItemChangedMessage = store::kItemChangedText;

class ServerDataSet {
public:
    // Connects and checks the data set: raises ServerError for a database that holds no
    // data set or one of a newer program. An older data set is upgraded when the user may.
    explicit ServerDataSet(const std::string& conninfo);

    PgConnection& connection() { return conn_; }
    bool connected() const { return conn_.alive(); }
    // A window's connection: a broken connection fails the request at once instead of being
    // made again here with waits between the attempts (seconds on the window's thread); the
    // window's watch connects again off its thread. Off by default (commands and workers
    // retry).
    void setFailFast(bool failFast) { failFast_ = failFast; }
    const std::string& where() const { return conn_.where(); }

    // Whether this user may change records and master lists (roles 事務 and 管理者).
    bool writable();
    // "管理者", "事務" or "閲覧": the highest of the program's roles this user holds; empty
    // for a user with none of them (the owner of the database counts as 管理者).
    std::string roleTitle();

    // --- records, in the order of the list: date, vehicle, user, then order of entry ---
    std::int64_t recordCount(bool withDeleted = false);
    // Calls f(row) for every record in order, read in pages so that memory stays small.
    void scanRecords(const std::function<void(const RecordRow&)>& f, bool withDeleted = false);
    // The ids of the live records a list takes, in the list's order, selected by the server
    // over the order's index.
    std::vector<std::int64_t> listIds(const store::ListFilter::Query& query,
                                      std::size_t limit = static_cast<std::size_t>(-1));
    // The live records dated on the days firstDay to lastDay, in the list's order.
    void scanDays(double firstDay, double lastDay, const std::function<void(const RecordRow&)>& f);
    // The sums of the live records that `query` asks for, added up by the server over the
    // figures' columns (store::DataStore::sumRecords).
    std::vector<store::RecordSums> sumRecords(const store::RecordSumsQuery& query);
    // Of each vehicle, its `n` highest readings and how many it has
    // (store::DataStore::highestReadings).
    std::vector<store::VehicleReadings> highestReadings(std::size_t n);
    // The live records of `kind` (of `vehicle` only, unless -1), in the list's order.
    void scanKind(store::RecordKind kind, int vehicle,
                  const std::function<void(const RecordRow&)>& f);
    // The live refuellings' few columns the fuel report follows
    // (store::DataStore::scanRefuellings).
    void scanRefuellings(int vehicle, const std::function<void(const store::RefuellingFacts&)>& f);
    // The live records' few columns the odometer check and the missing alcohol checks follow
    // (store::DataStore::scanDrives).
    void scanDrives(const store::DriveQuery& query,
                    const std::function<void(const store::DriveFacts&)>& f);
    // Of each vehicle and item, the last live record of `kind` in the list's order, each with
    // the vehicle's highest reading before it (store::DataStore::lastOfEach) in `highest`.
    std::vector<RecordRow> lastOfEach(store::RecordKind kind, std::vector<double>& highest);
    // The kept highest readings per vehicle and day (store::DataStore::dailyReadings).
    std::vector<store::RecordSums> dailyReadings(int vehicle, double lastDay);
    // The live records of `vehicle` nearest to (date, user) in the list's order: up to
    // `count` at or before it, up to `count` after it (each side with one more when there
    // is one, to say so), in the list's order, and where the first "after" row stands.
    std::vector<RecordRow> vehicleRecordsAround(int vehicle, double date, int user,
                                                std::size_t count, std::size_t& firstAfter);
    RecordRow readRecord(std::int64_t id);
    // The records of `ids` that exist (deleted ones included), in no particular order.
    std::vector<RecordRow> readRecords(const std::vector<std::int64_t>& ids);
    // Adds a record; the save key makes a repeated call return the first answer.
    RecordRow addRecord(const store::DataRecord& record, const std::string& saveKey);
    // Replaces record `id` read at `version`; raises ServerError (Conflict) when it changed
    // or was deleted since.
    RecordRow editRecord(std::int64_t id, std::int64_t version, const store::DataRecord& record,
                         const std::string& saveKey);
    // Marks record `id` deleted (as the file store does); Conflict as for editRecord.
    void deleteRecord(std::int64_t id, std::int64_t version, const std::string& saveKey);

    // Adds records in one transaction, all or nothing, refused (Refused) when the master
    // lists no longer have `itemCount` items (someone added one since they were read).
    void addRecords(const std::vector<store::DataRecord>& records, std::size_t itemCount);

    // Whether any record, deleted ones included, refers to the item at `position` in the
    // field of the item's kind (vehicle, user, place or item).
    bool refersTo(int position, store::ItemKind kind);

    // --- master items, by position (the number records refer to them by) ---
    std::vector<ItemRow> items();
    ItemRow addItem(const store::ItemRecord& item, const std::string& saveKey);
    ItemRow rewriteItem(int position, std::int64_t version, const store::ItemRecord& item,
                        const std::string& saveKey);

    // --- changes made by others ---
    // Starts hearing of changes made by other programs.
    void listen();
    // The socket to wait on for changes (-1 when disconnected).
    int socket() const { return conn_.socket(); }
    // The changes made since the last call, without this program's own, read from the
    // server when an announcement arrives (what an announcement claims is not trusted: one
    // that names nothing new costs one small query): up to 100 records one by one, each
    // with what it holds now (serverRecordSaved or -Deleted, from elsewhere); more, or with
    // a change of the master lists, one RecordsChanged; a bulk load, Replaced. A change of
    // the register or the analysis settings is one extensionChanged of its part.
    std::vector<store::DataSetChange> takeChanges();
    // A connection made again on another thread while this one is broken, listening and with
    // the data set's state as it then stood; takeOver() puts it in this one's place on the
    // owner's thread, so that the owner never waits for the server. Throws ServerError.
    struct Replacement;
    static std::unique_ptr<Replacement> connectAgain(const std::string& conninfo);
    void takeOver(Replacement& fresh);
    // The program's other connections: their notices are its own too (see OwnConnections).
    void setOwnConnections(std::shared_ptr<const OwnConnections> own) { own_ = std::move(own); }

private:
    template <typename F>
    auto retrying(F&& f) -> decltype(f());
    // Runs `op` once per save key, in a transaction; a key already used returns the stored
    // answer (target, version) without running it again.
    std::pair<std::int64_t, std::int64_t> onceBySaveKey(
        const std::string& saveKey,
        const std::function<std::pair<std::int64_t, std::int64_t>()>& op);

    // Takes the server's present state as seen: what changed before is not told.
    void markAllSeen();
    // A record told to others after a change: the row, its stamp and, after an edit, the
    // record it replaced with that record's stamp and the stamp of the edit.
    struct ChangedRow {
        RecordRow row;
        std::int64_t stamp = 0;
        std::optional<store::DataRecord> former;
        std::int64_t formerWas = 0;
        std::int64_t formerStamp = 0;
    };
    std::vector<ChangedRow> readChangedRecords(const std::vector<std::int64_t>& ids);
    std::vector<store::DataSetChange> lookForChanges(bool heardOthers,
                                                     const std::set<std::int64_t>& ownCounts);

    PgConnection conn_;
    std::shared_ptr<const OwnConnections> own_;
    bool listening_ = false;
    bool failFast_ = false;
    // The change stamps (quil_change_seq) of rows already accounted for: every stamp past
    // seenUpTo_ - kOverlap that was seen or written by this program. A stamp at or below
    // seenUpTo_ is final: no transaction still open may commit one there.
    std::int64_t seenUpTo_ = 0;
    std::set<std::int64_t> seenStamps_;
    // The highest stamp seen by a look, and the highest transaction still open at it: the
    // stamp becomes final once every such transaction has ended.
    struct PendingMark {
        std::int64_t stamp;
        std::int64_t openXid;
    };
    std::vector<PendingMark> pending_;
    // The counters of quil_change_counter as last read, by part.
    std::map<std::string, std::int64_t> counts_;
};

struct ServerDataSet::Replacement {
    explicit Replacement(const std::string& conninfo) : conn(conninfo) {}
    PgConnection conn;
    std::map<std::string, std::int64_t> counts;
    std::int64_t seenUpTo = 0;
    std::set<std::int64_t> seenStamps;
};

}  // namespace quil::server
