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

// The drives among the records `scan` hands over as (id, record).
template <typename Scan>
std::vector<Drive> drivesIn(Scan&& scan, store::DateTime firstDay, store::DateTime lastDay) {
    std::vector<Drive> drives;
    const long first = dayNumber(firstDay);
    const long last = dayNumber(lastDay);
    scan([&](std::int64_t position, const store::DataRecord& r) {
        if (r.deleted() || r.kind() != static_cast<std::int16_t>(store::RecordKind::Driving))
            return;
        const double date = r.date();
        if (!std::isfinite(date)) return;
        const long day = dayNumber(date);
        if (day < first || day > last) return;
        double back = r.returnTime();
        if (!std::isfinite(back)) back = 0;
        drives.push_back({position, date, back, r.vehicle(), r.user()});
    });
    return drives;
}

}  // namespace

std::vector<Drive> drivesBetween(const store::RecordStore& records, store::DateTime firstDay,
                                 store::DateTime lastDay) {
    return drivesIn([&](auto&& f) { records.scan(f); }, firstDay, lastDay);
}

std::vector<Drive> drivesBetween(store::DataStore& data, store::DateTime firstDay,
                                 store::DateTime lastDay) {
    return drivesIn(
        [&](auto&& f) {
            data.scanRecords([&](const store::StoredRecord& r) { f(r.id, r.record); });
        },
        firstDay, lastDay);
}

std::vector<Drive> drivesAmong(const std::vector<store::StoredRecord>& records,
                               store::DateTime firstDay, store::DateTime lastDay) {
    return drivesIn(
        [&](auto&& f) {
            for (const store::StoredRecord& r : records) f(r.id, r.record);
        },
        firstDay, lastDay);
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
