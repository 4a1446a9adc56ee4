#include "reports/MissingChecks.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "store/DataStore.h"
#include "store/RecordStore.h"

namespace quil::alcohol {

namespace {
// Whole day numbers, so that a check at 23:59 and one at 00:00 fall on their own days.
long dayNumber(store::DateTime d) { return static_cast<long>(std::floor(d)); }
}  // namespace

store::DateTime Drive::returnDay() const {
    return store::dateOnly(returnTime > departure ? returnTime : departure);
}

namespace {

// Keeps the drives dated on the days firstDay to lastDay.
class DriveCollector {
public:
    DriveCollector(store::DateTime firstDay, store::DateTime lastDay)
        : first_(dayNumber(firstDay)), last_(dayNumber(lastDay)) {}
    void add(const store::DriveFacts& r) {
        if (r.kind != store::RecordKind::Driving || !std::isfinite(r.date)) return;
        const long day = dayNumber(r.date);
        if (day < first_ || day > last_) return;
        drives.push_back(
            {r.id, r.date, std::isfinite(r.returnTime) ? r.returnTime : 0, r.vehicle, r.user});
    }
    void add(std::int64_t position, const store::DataRecord& r) {
        if (const auto d = store::DriveFacts::of(position, r)) add(*d);
    }
    std::vector<Drive> drives;

private:
    long first_;
    long last_;
};

}  // namespace

std::vector<Drive> drivesBetween(const store::RecordStore& records, store::DateTime firstDay,
                                 store::DateTime lastDay) {
    DriveCollector c(firstDay, lastDay);
    records.scan([&](std::int64_t position, const store::DataRecord& r) { c.add(position, r); });
    return std::move(c.drives);
}

std::vector<Drive> drivesBetween(store::DataStore& data, store::DateTime firstDay,
                                 store::DateTime lastDay) {
    DriveCollector c(firstDay, lastDay);
    data.scanDrives({.firstDay = firstDay, .lastDay = lastDay},
                    [&](const store::DriveFacts& r) { c.add(r); });
    return std::move(c.drives);
}

std::vector<Drive> drivesAmong(const std::vector<store::StoredRecord>& records,
                               store::DateTime firstDay, store::DateTime lastDay) {
    DriveCollector c(firstDay, lastDay);
    for (const store::StoredRecord& r : records) c.add(r.id, r.record);
    return std::move(c.drives);
}

std::vector<MissingCheck> findMissingChecks(const std::vector<Drive>& drives,
                                            const std::vector<AlcoholCheck>& checks) {
    // (driver, day) of every live check, one set per timing.
    std::set<std::pair<int, long>> before;
    std::set<std::pair<int, long>> after;
    for (const AlcoholCheck& c : checks) {
        if (c.deleted) continue;
        auto& set = c.timing == CheckTiming::BeforeDrive ? before : after;
        set.emplace(c.driver, dayNumber(c.when));
    }
    std::vector<MissingCheck> missing;
    for (const Drive& d : drives) {
        MissingCheck m{d, !before.count({d.driver, dayNumber(d.departure)}),
                       !after.count({d.driver, dayNumber(d.returnDay())})};
        if (m.beforeMissing || m.afterMissing) missing.push_back(m);
    }
    return missing;
}

}  // namespace quil::alcohol
