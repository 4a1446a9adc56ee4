#pragma once
// Missing checks: every driving record wants a before-drive check of its driver on the day
// it departs and an after-drive check of that driver on the day it returns. A check counts
// for every drive of that driver on that day (a driver checked once in the morning and
// once after the last return is covered for all of the day's drives). Deleted records and
// deleted checks count for nothing.

#include <cstdint>
#include <vector>

#include "reports/AlcoholCheck.h"
#include "store/Date.h"

namespace quil::store {
class DataStore;
class RecordStore;
struct StoredRecord;
}  // namespace quil::store

namespace quil::alcohol {

struct Drive {
    std::int64_t position = -1;  // in the record file (a data set's record id)
    store::DateTime departure = 0;
    store::DateTime returnTime = 0;  // 0: not given (taken as the day of departure)
    int vehicle = -1;
    int driver = -1;
    // The day the after-drive check belongs to.
    store::DateTime returnDay() const;
};

struct MissingCheck {
    Drive drive;
    bool beforeMissing = false;
    bool afterMissing = false;
};

// The live driving records departing on a day from `firstDay` to `lastDay` (both 00:00),
// in file order.
std::vector<Drive> drivesBetween(const store::RecordStore& records, store::DateTime firstDay,
                                 store::DateTime lastDay);
// The same from a data set, in the list's order; a drive's position is its record's id.
std::vector<Drive> drivesBetween(store::DataStore& data, store::DateTime firstDay,
                                 store::DateTime lastDay);

// The drives among `records` (each with its id), as drivesBetween takes them: a change of
// a record is followed with the drive it now is.
std::vector<Drive> drivesAmong(const std::vector<store::StoredRecord>& records,
                               store::DateTime firstDay, store::DateTime lastDay);

// The drives lacking a before or an after check, in the order of `drives`.
std::vector<MissingCheck> findMissingChecks(const std::vector<Drive>& drives,
                                            const std::vector<AlcoholCheck>& checks);

}  // namespace quil::alcohol
