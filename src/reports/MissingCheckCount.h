#pragma once
// The number of drives of one period lacking a check (the status bar's count for this
// month), kept up to date from each saved or deleted record instead of reading the record
// file again. It counts what findMissingChecks finds for missingChecksBetween: live driving
// records departing in the period and by `now`, each lacking the before-drive check of its
// driver on its day or the after-drive check on its return day; checks count up to the day
// after the last day counted.

#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "reports/AlcoholCheck.h"
#include "store/Date.h"

namespace quil::store {
class DataRecord;
class RecordStore;
class DataStore;
}  // namespace quil::store

namespace quil::alcohol {

class MissingCheckCount {
public:
    // Forgets every drive and check; the period runs from `firstDay` to `lastDay` (00:00).
    void reset(store::DateTime firstDay, store::DateTime lastDay);
    // Reset, then every driving record of the period from the record file.
    void load(const store::RecordStore& records, store::DateTime firstDay, store::DateTime lastDay);
    // The same from a data set of either kind (a server reads only the period's days).
    void load(store::DataStore& records, store::DateTime firstDay, store::DateTime lastDay);
    store::DateTime firstDay() const { return first_; }
    store::DateTime lastDay() const { return last_; }

    // A record stored (counted when it is a live drive of the period) or gone (a deleted
    // record, or the old version of an edited one). Other records change nothing.
    void addRecord(const store::DataRecord& r);
    void removeRecord(const store::DataRecord& r);
    // The checks to count with, replacing the ones given before (deleted ones count for
    // nothing).
    void setChecks(const std::vector<AlcoholCheck>& checks);

    // The drives departing by `now` that lack a check.
    std::int64_t count(store::DateTime now) const;

private:
    // A drive by what decides whether it is missing a check; equal drives share one entry.
    using DriveKey = std::tuple<int, store::DateTime, long>;  // driver, departure, return day
    bool driveOf(const store::DataRecord& r, DriveKey& key) const;

    store::DateTime first_ = 0;
    store::DateTime last_ = -1;
    std::map<DriveKey, std::int64_t> drives_;
    std::set<std::pair<int, long>> before_;  // (driver, day) of every live check
    std::set<std::pair<int, long>> after_;
};

}  // namespace quil::alcohol
