#include "reports/OdometerCheck.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "store/ItemStore.h"
#include "store/RecordStore.h"

namespace quil::analysis {

using namespace quil::store;

std::string odometerProblemText(OdometerProblem p) {
    switch (p) {
        case OdometerProblem::DepartureBelowPrevious: return "出庫距離が前回の距離より小さい";
        case OdometerProblem::ReturnBelowDeparture: return "入庫距離が出庫距離より小さい";
        case OdometerProblem::JumpTooLarge: return "距離の増え方が大きすぎる";
        case OdometerProblem::ReadingOutOfLine: return "距離が前後の記録と合わない";
    }
    return {};
}

OdometerChecker::OdometerChecker(double dailyLimitKm) : limit_(dailyLimitKm) {}

double OdometerChecker::daysSince(const Link& c, DateTime date) {
    return std::max(1.0, std::ceil(date - c.since));
}

double OdometerChecker::allowance(const Link& c, DateTime date) const {
    return limit_ * daysSince(c, date);
}

void OdometerChecker::report(const DriveFacts& r, double reading, double low, double high,
                             OdometerProblem p, DateTime since, double days, bool fromDeparture) {
    chains_[std::size_t(r.vehicle)].found.push_back(
        {r.id, r.date, r.kind, r.vehicle, reading, low, high, p, since, days, fromDeparture});
}

void OdometerChecker::add(std::int64_t position, const DataRecord& r) {
    if (const auto d = DriveFacts::of(position, r)) add(*d);
}

namespace {
bool checked(RecordKind kind, int vehicle, double reading) {
    if (vehicle < 0) return false;
    if (kind == RecordKind::Driving) return true;
    // A refuelling or maintenance without a reading has nothing to check.
    return (kind == RecordKind::Maintenance || kind == RecordKind::Refuelling) && !(reading <= 0);
}
}  // namespace

bool OdometerChecker::reads(const DataRecord& r) {
    const auto kind = recordKindOf(r.kind());
    return kind && checked(*kind, r.vehicle(), r.distance1());
}

void OdometerChecker::add(const DriveFacts& r) {
    if (!checked(r.kind, r.vehicle, r.distance1)) return;
    const bool driving = r.kind == RecordKind::Driving;
    const double reading = r.distance1;
    const std::size_t v = std::size_t(r.vehicle);
    if (chains_.size() <= v) chains_.resize(v + 1);
    Chain& c = chains_[v];
    const DateTime date = r.date;
    const DateTime day = std::trunc(date);
    if (!c.waiting.empty() && day != c.day) settle(c);
    if (!driving) {
        if (c.waiting.empty()) {
            c.day = day;
            c.dayStart = c;
        }
        c.waiting.push_back({r.id, date, r.kind, r.vehicle, reading});
        return;
    }
    if (c.known) {
        const double high = c.highest + allowance(c, date);
        if (reading < c.highest)
            report(r, reading, c.highest, high, OdometerProblem::DepartureBelowPrevious, c.since,
                   daysSince(c, date), false);
        else if (reading > high)
            report(r, reading, c.highest, high, OdometerProblem::JumpTooLarge, c.since,
                   daysSince(c, date), false);
    }
    // The trip itself, also the first one of a vehicle.
    const double back = r.distance2;
    const DateTime returned = r.returnTime > date ? r.returnTime : date;
    const double tripDays = std::max(1.0, std::ceil(returned - date));
    const double tripHigh = reading + limit_ * tripDays;
    if (back < reading)
        report(r, back, reading, tripHigh, OdometerProblem::ReturnBelowDeparture, date, tripDays,
               true);
    else if (back > tripHigh)
        report(r, back, reading, tripHigh, OdometerProblem::JumpTooLarge, date, tripDays, true);
    // The chain goes on from what the car showed last, even after a wrong reading.
    static_cast<Link&>(c) = {std::max(reading, back), returned, true};
}

void OdometerChecker::settle(Chain& c) {
    // The day's reading lies between the chain before the day and the highest reading of
    // the day, or what the daily limit allows from before the day.
    const Link start = c.dayStart;
    const Link end = c;
    for (const DayReading& w : c.waiting) {
        if (start.known) {
            const double high = std::max(end.highest, start.highest + allowance(start, w.date));
            if (w.reading < start.highest || w.reading > high) {
                c.found.push_back({w.position, w.date, w.kind, w.vehicle, w.reading, start.highest,
                                   high, OdometerProblem::ReadingOutOfLine, start.since,
                                   daysSince(start, w.date), false});
                continue;
            }
        }
        if (!c.known || w.reading > c.highest) static_cast<Link&>(c) = {w.reading, w.date, true};
    }
    c.waiting.clear();
}

namespace {
bool dayBefore(const OdometerFinding& a, const OdometerFinding& b) {
    return std::trunc(a.date) < std::trunc(b.date);
}
}  // namespace

void OdometerChecker::finish() {
    for (Chain& c : chains_) {
        if (!c.waiting.empty()) settle(c);
        // Mostly in order already; sorting anyway would want a buffer half their size.
        if (!std::is_sorted(c.found.begin(), c.found.end(), dayBefore))
            std::stable_sort(c.found.begin(), c.found.end(), dayBefore);
    }
}

std::vector<OdometerFinding> OdometerChecker::findings() const {
    std::vector<OdometerFinding> out;
    for (const Chain& c : chains_) out.insert(out.end(), c.found.begin(), c.found.end());
    std::stable_sort(out.begin(), out.end(), findingBefore);
    return out;
}

std::vector<OdometerFinding> OdometerChecker::takeFindings() {
    std::vector<VehicleFindings> parts = takeFindingsByVehicle();
    std::vector<const std::vector<OdometerFinding>*> lists;
    std::size_t n = 0;
    for (const VehicleFindings& p : parts) {
        lists.push_back(&p.findings);
        n += p.findings.size();
    }
    std::vector<OdometerFinding> out;
    out.reserve(n);
    // Each vehicle's findings go as soon as the last of them is moved.
    forEachDayInOrder(lists, [&](std::size_t part, std::size_t first, std::size_t last) {
        auto& from = parts[part].findings;
        out.insert(out.end(), from.begin() + std::ptrdiff_t(first),
                   from.begin() + std::ptrdiff_t(last));
        if (last == from.size()) std::vector<OdometerFinding>().swap(from);
    });
    return out;
}

std::vector<VehicleFindings> OdometerChecker::takeFindingsByVehicle() {
    std::vector<VehicleFindings> out;
    for (std::size_t v = 0; v < chains_.size(); ++v)
        if (!chains_[v].found.empty()) out.push_back({int(v), std::move(chains_[v].found)});
    chains_.clear();
    return out;
}

bool findingBefore(const OdometerFinding& a, const OdometerFinding& b) {
    const double da = std::trunc(a.date), db = std::trunc(b.date);
    return da < db || (da == db && a.vehicle < b.vehicle);
}

void forEachDayInOrder(
    const std::vector<const std::vector<OdometerFinding>*>& parts,
    const std::function<void(std::size_t part, std::size_t first, std::size_t last)>& f) {
    // The sizes as given: `f` may let a part go once it has had the last of it.
    std::vector<std::size_t> next(parts.size(), 0), size(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) size[i] = parts[i]->size();
    for (;;) {
        std::size_t pick = parts.size();
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (next[i] == size[i]) continue;
            if (pick == parts.size() || dayBefore((*parts[i])[next[i]], (*parts[pick])[next[pick]]))
                pick = i;
        }
        if (pick == parts.size()) return;
        const std::vector<OdometerFinding>& from = *parts[pick];
        const std::size_t first = next[pick];
        const double day = std::trunc(from[first].date);
        while (next[pick] < size[pick] && std::trunc(from[next[pick]].date) == day) ++next[pick];
        f(pick, first, next[pick]);
    }
}

std::vector<OdometerFinding> checkOdometers(DataStore& data, double dailyLimitKm) {
    OdometerChecker checker(dailyLimitKm);
    data.scanDrives({.withReadings = true}, [&](const DriveFacts& r) { checker.add(r); });
    checker.finish();
    return checker.takeFindings();
}

std::vector<OdometerFinding> checkOdometers(const std::string& dataFolder, double dailyLimitKm) {
    return checkOdometers(*openFolderStore(dataFolder), dailyLimitKm);
}

std::vector<VehicleFindings> checkOdometersByVehicle(DataStore& data, double dailyLimitKm,
                                                     std::vector<std::int16_t> vehicles) {
    OdometerChecker checker(dailyLimitKm);
    data.scanDrives({.withReadings = true, .vehicles = std::move(vehicles)},
                    [&](const DriveFacts& r) { checker.add(r); });
    checker.finish();
    return checker.takeFindingsByVehicle();
}

namespace {

// Reads a record file by position through a block of records kept in memory, for walks that
// go a few records forwards or backwards from one place. A record's id is its position.
class RecordWindow {
public:
    explicit RecordWindow(BinaryFile& file) : file_(file), count_(file.count()) {}
    std::int64_t count() const { return count_; }
    std::int64_t id(std::int64_t position) const { return position; }
    const DataRecord& at(std::int64_t position) {
        if (position < first_ || position >= first_ + std::int64_t(got_)) {
            first_ = std::max<std::int64_t>(0, position - std::int64_t(kBlock) / 2);
            got_ = file_.readMany(first_, kBlock, block_.data());
            if (position >= first_ + std::int64_t(got_))
                throw StoreError(kRecordFileName,
                                 "記録を読めません（位置 " + std::to_string(position) + "）。");
        }
        return block_[std::size_t(position - first_)];
    }

private:
    static constexpr std::size_t kBlock = 512;
    BinaryFile& file_;
    std::int64_t count_;
    std::vector<DataRecord> block_ = std::vector<DataRecord>(kBlock);
    std::int64_t first_ = 0;
    std::size_t got_ = 0;
};

// Records read from a data set, in the list's order, walked by index.
class RecordList {
public:
    explicit RecordList(std::vector<StoredRecord> records) : records_(std::move(records)) {}
    std::int64_t count() const { return std::int64_t(records_.size()); }
    std::int64_t id(std::int64_t index) const { return records_[std::size_t(index)].id; }
    const DataRecord& at(std::int64_t index) const { return records_[std::size_t(index)].record; }

private:
    std::vector<StoredRecord> records_;
};

bool carriesReading(const DataRecord& r) {
    return r.kind() == std::int16_t(RecordKind::Driving) ||
           (r.kind() != std::int16_t(RecordKind::Expense) && r.distance1() > 0);
}

// Whether a record can break a chain: a trip, or a refuelling or maintenance with a reading.
bool checksReading(const DataRecord& record) {
    const bool reads = record.kind() == std::int16_t(RecordKind::Maintenance) ||
                       record.kind() == std::int16_t(RecordKind::Refuelling);
    return record.kind() == std::int16_t(RecordKind::Driving) || (reads && record.distance1() > 0);
}

// The vehicle's records around the place a save gives the new one (after every record
// whose key is not above its own; the records are in key order), as far as the findings
// about it and the next reading depend on them, with the new one at its place (id -1). Only
// those are read: before the place back to the vehicle's last trip on a day with no reading
// before that trip (a trip sets the chain whatever came before it), after the place to the
// end of the day of the next reading. `records` may hold other vehicles' records too.
// Whether the walks of chainAround ran to the first or the last of `records` without
// finding where the chain ends (more records there might belong to it).
struct ChainReach {
    bool toFirst = false;
    bool toLast = false;
};

template <typename Records>
std::vector<std::pair<std::int64_t, DataRecord>> chainAround(Records& records,
                                                             const DataRecord& record,
                                                             std::optional<std::int64_t> edit,
                                                             ChainReach* reach = nullptr) {
    const bool driving = record.kind() == std::int16_t(RecordKind::Driving);
    std::vector<std::pair<std::int64_t, DataRecord>> chain;
    const std::int64_t n = records.count();
    const int vehicle = record.vehicle();
    auto counts = [&](std::int64_t p, const DataRecord& r) {
        return !r.deleted() && r.vehicle() == vehicle && records.id(p) != edit;
    };
    std::int64_t place = n;
    if (n > 0 && sortsAfter(records.at(n - 1), record)) {
        std::int64_t low = 0, high = n - 1;  // the first record sorting after it
        while (low < high) {
            const std::int64_t mid = low + (high - low) / 2;
            if (sortsAfter(records.at(mid), record))
                high = mid;
            else
                low = mid + 1;
        }
        place = low;
    }
    std::vector<std::pair<std::int64_t, DataRecord>> before;  // by index in `records`
    std::int64_t start = 0;
    std::int64_t trip = -1;  // a trip the chain can start from, if no reading precedes it
    double tripDay = 0;
    bool startFound = false;
    for (std::int64_t p = place - 1; p >= 0; --p) {
        const DataRecord& r = records.at(p);
        if (trip >= 0 && std::trunc(r.date()) < tripDay) {
            start = trip;
            startFound = true;
            break;
        }
        if (!counts(p, r)) continue;
        before.emplace_back(p, r);
        if (r.kind() == std::int16_t(RecordKind::Driving)) {
            if (trip < 0) {
                trip = p;
                tripDay = std::trunc(r.date());
            }
        } else if (trip >= 0 && carriesReading(r) && std::trunc(r.date()) == tripDay) {
            trip = -1;  // the day's reading waits for the day's end, before the trip
        }
    }
    for (auto it = before.rbegin(); it != before.rend(); ++it)
        if (it->first >= start) chain.emplace_back(records.id(it->first), it->second);
    chain.emplace_back(-1, record);
    bool nextFound = false;
    bool endFound = false;
    double nextDay = 0;
    for (std::int64_t p = place; p < n; ++p) {
        const DataRecord& r = records.at(p);
        if (nextFound && std::trunc(r.date()) > nextDay) {
            endFound = true;
            break;
        }
        if (!counts(p, r)) continue;
        chain.emplace_back(records.id(p), r);
        if (!nextFound && carriesReading(r) &&
            (driving || std::trunc(r.date()) > std::trunc(record.date()))) {
            nextFound = true;
            nextDay = std::trunc(r.date());
        }
    }
    if (reach) *reach = {!startFound, !endFound};
    return chain;
}

// What the new record (id -1 in `chain`) breaks: its own findings, and those it causes at
// the next record with a reading.
std::vector<OdometerFinding> newFindings(
    const std::vector<std::pair<std::int64_t, DataRecord>>& chain, const DataRecord& record,
    double dailyLimitKm) {
    const bool driving = record.kind() == std::int16_t(RecordKind::Driving);
    OdometerChecker with(dailyLimitKm), without(dailyLimitKm);
    std::int64_t next = -2;  // the first record with a reading after the new one
    bool after = false;
    for (const auto& [pos, r] : chain) {
        with.add(pos, r);
        if (pos == -1) {
            after = true;
            continue;
        }
        without.add(pos, r);
        // A reading without a time of day belongs to its whole day: the next reading it
        // can break is on a later day.
        if (after && next == -2 && carriesReading(r) &&
            (driving || std::trunc(r.date()) > std::trunc(record.date())))
            next = pos;
    }
    with.finish();
    without.finish();
    // The next record counts only for what the new one breaks there, not for its own faults.
    const std::vector<OdometerFinding> before = without.takeFindings();
    auto known = [&](const OdometerFinding& f) {
        for (const OdometerFinding& g : before)
            if (g.position == f.position && g.problem == f.problem) return true;
        return false;
    };
    std::vector<OdometerFinding> out;
    for (const OdometerFinding& f : with.takeFindings())
        if (f.position == -1 || (f.position == next && !known(f))) out.push_back(f);
    return out;
}

}  // namespace

std::vector<OdometerFinding> checkNewReading(const std::string& dataFolder,
                                             const DataRecord& record,
                                             std::optional<std::int64_t> editPosition,
                                             double dailyLimitKm) {
    if (!checksReading(record)) return {};
    const RecordStore store(dataFolder);
    if (!store.exists()) return newFindings({{-1, record}}, record, dailyLimitKm);
    BinaryFile file(store.path(), DataRecord::Size, OpenMode::Read);
    RecordWindow records(file);
    return newFindings(chainAround(records, record, editPosition), record, dailyLimitKm);
}

std::vector<OdometerFinding> checkNewReading(DataStore& data, const DataRecord& record,
                                             std::optional<std::int64_t> editId,
                                             double dailyLimitKm) {
    if (!checksReading(record)) return {};
    // The vehicle's records around the record's place, more of them until the chain ends
    // within them on both sides (or they are all there is): a save reads a few dozen records,
    // not the data set.
    for (std::size_t count = 64;; count *= 8) {
        store::NearbyRecords near = data.vehicleRecordsAround(record, count);
        RecordList records(std::move(near.records));
        ChainReach reach;
        auto chain = chainAround(records, record, editId, &reach);
        if ((!reach.toFirst || !near.moreBefore) && (!reach.toLast || !near.moreAfter))
            return newFindings(chain, record, dailyLimitKm);
    }
}

}  // namespace quil::analysis
