#pragma once
// DataStore over a server data set (ServerDataSet), with what the program needs beyond the
// interface: hearing of the changes other programs make (store::ChangeWatch).

#include <memory>
#include <string>
#include <vector>

#include "ServerDataSet.h"
#include "store/ChangeWatch.h"
#include "store/DataStore.h"

namespace quil::server {

class ServerStore final : public store::WatchedDataStore {
public:
    // Connects and checks the data set; raises ServerError with the user's message.
    explicit ServerStore(const std::string& conninfo) : set_(conninfo), conninfo_(conninfo) {}

    ServerDataSet& dataSet() { return set_; }

    void listen() override { set_.listen(); }
    int socket() const override { return set_.socket(); }
    std::vector<store::DataSetChange> takeChanges() override { return set_.takeChanges(); }
    bool alive() const override { return set_.connected(); }
    std::function<std::unique_ptr<Reconnection>()> reconnector() const override;
    void takeOver(Reconnection& made) override;
    void setFailFast(bool failFast) override { set_.setFailFast(failFast); }

    std::string where() const override { return set_.where(); }
    bool writable() override { return set_.writable(); }
    bool reachable() const override { return set_.connected(); }
    void scanRecords(const std::function<void(const store::StoredRecord&)>& f,
                     bool withDeleted) override;
    std::int64_t recordCount(bool withDeleted) override { return set_.recordCount(withDeleted); }
    std::vector<std::int64_t> listIds(const store::ListFilter& filter,
                                      std::size_t limit = kAll) override {
        return set_.listIds(filter.query(), limit);
    }
    void scanDays(store::DateTime firstDay, store::DateTime lastDay,
                  const std::function<void(const store::StoredRecord&)>& f) override;
    bool answersSums() const override { return true; }
    std::vector<std::vector<store::RecordSums>> sumRecords(
        const std::vector<store::RecordSumsQuery>& queries) override;
    std::vector<store::VehicleReadings> highestReadings(std::size_t n) override {
        return set_.highestReadings(n);
    }
    void scanKind(store::RecordKind kind, int vehicle,
                  const std::function<void(const store::StoredRecord&)>& f) override;
    void scanRefuellings(int vehicle,
                         const std::function<void(const store::RefuellingFacts&)>& f) override {
        set_.scanRefuellings(vehicle, f);
    }
    void scanDrives(const store::DriveQuery& query,
                    const std::function<void(const store::DriveFacts&)>& f) override {
        set_.scanDrives(query, f);
    }
    std::vector<store::LatestRecord> lastOfEach(store::RecordKind kind) override;
    std::vector<store::RecordSums> dailyReadings(int vehicle, store::DateTime lastDay) override {
        return set_.dailyReadings(vehicle, lastDay);
    }
    store::NearbyRecords vehicleRecordsAround(const store::DataRecord& record,
                                              std::size_t count) override;
    store::StoredRecord readRecord(std::int64_t id) override;
    std::vector<store::StoredRecord> readRecords(const std::vector<std::int64_t>& ids) override;
    store::StoredRecord addRecord(const store::DataRecord& record,
                                  const std::string& saveKey) override;
    store::StoredRecord editRecord(const store::StoredRecord& loaded,
                                   const store::DataRecord& record,
                                   const std::string& saveKey) override;
    void deleteRecord(const store::StoredRecord& loaded, const std::string& saveKey) override;
    bool refersTo(int position, store::ItemKind kind) override {
        return set_.refersTo(position, kind);
    }
    std::vector<store::StoredItem> items() override;
    store::StoredItem addItem(const store::ItemRecord& item, const std::string& saveKey) override;
    store::StoredItem rewriteItem(const store::StoredItem& loaded, const store::ItemRecord& item,
                                  const std::string& saveKey) override;

private:
    ServerDataSet set_;
    std::string conninfo_;
};

// The same, as the interface alone: conflicts come as store::RecordChangedError, as from a
// data folder.
std::unique_ptr<store::DataStore> openServerStore(const std::string& conninfo);
// The store of the main window, with its watch over the other programs' changes.
// `own`: the program's other connections, whose notices the watch knows as its own.
std::unique_ptr<store::WatchedDataStore> openWatchedServerStore(
    const std::string& conninfo, std::shared_ptr<const OwnConnections> own = {});

}  // namespace quil::server
