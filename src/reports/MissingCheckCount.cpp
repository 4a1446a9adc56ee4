#include "reports/MissingCheckCount.h"

#include <algorithm>
#include <cmath>

#include "reports/MissingChecks.h"
#include "store/DataStore.h"
#include "store/RecordStore.h"

namespace quil::alcohol {

namespace {
long dayNumber(store::DateTime d) { return static_cast<long>(std::floor(d)); }
}  // namespace

void MissingCheckCount::reset(store::DateTime firstDay, store::DateTime lastDay) {
    first_ = firstDay;
    last_ = lastDay;
    drives_.clear();
    before_.clear();
    after_.clear();
}

void MissingCheckCount::load(const store::RecordStore& records, store::DateTime firstDay,
                             store::DateTime lastDay) {
    reset(firstDay, lastDay);
    for (const Drive& d : drivesBetween(records, firstDay, lastDay))
        ++drives_[{d.driver, d.departure, dayNumber(d.returnDay())}];
}

void MissingCheckCount::load(store::DataStore& records, store::DateTime firstDay,
                             store::DateTime lastDay) {
    reset(firstDay, lastDay);
    records.scanDays(firstDay, lastDay, [&](const store::StoredRecord& s) { addRecord(s.record); });
}

bool MissingCheckCount::driveOf(const store::DataRecord& r, DriveKey& key) const {
    // The same choice as drivesBetween makes.
    if (r.deleted() || r.kind() != static_cast<std::int16_t>(store::RecordKind::Driving))
        return false;
    const double date = r.date();
    if (!std::isfinite(date)) return false;
    const long day = dayNumber(date);
    if (day < dayNumber(first_) || day > dayNumber(last_)) return false;
    double back = r.returnTime();
    if (!std::isfinite(back)) back = 0;
    const Drive d{-1, date, back, r.vehicle(), r.user()};
    key = {d.driver, d.departure, dayNumber(d.returnDay())};
    return true;
}

void MissingCheckCount::addRecord(const store::DataRecord& r) {
    DriveKey key;
    if (driveOf(r, key)) ++drives_[key];
}

void MissingCheckCount::removeRecord(const store::DataRecord& r) {
    DriveKey key;
    if (!driveOf(r, key)) return;
    const auto it = drives_.find(key);
    if (it != drives_.end() && --it->second <= 0) drives_.erase(it);
}

void MissingCheckCount::setChecks(const std::vector<AlcoholCheck>& checks) {
    before_.clear();
    after_.clear();
    for (const AlcoholCheck& c : checks) {
        if (c.deleted) continue;
        (c.timing == CheckTiming::BeforeDrive ? before_ : after_)
            .emplace(c.driver, dayNumber(c.when));
    }
}

std::int64_t MissingCheckCount::count(store::DateTime now) const {
    // Checks count up to the day after the last day counted (an overnight drive's return).
    const long lastCounted =
        std::min(dayNumber(store::dateOnly(last_)), dayNumber(store::dateOnly(now)));
    const long limit = lastCounted + 1;
    auto has = [limit](const std::set<std::pair<int, long>>& set, int driver, long day) {
        return day <= limit && set.count({driver, day}) > 0;
    };
    std::int64_t missing = 0;
    for (const auto& [key, n] : drives_) {
        const auto& [driver, departure, returnDay] = key;
        if (departure > now || dayNumber(departure) > lastCounted) continue;
        if (!has(before_, driver, dayNumber(departure)) || !has(after_, driver, returnDay))
            missing += n;
    }
    return missing;
}

}  // namespace quil::alcohol
