#include "reports/MaintenanceSchedule.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "reports/DataSetItems.h"
#include "reports/ReportDates.h"

namespace quil::analysis {

using namespace quil::store;

namespace {
// The day of a date on or after 1899/12/30 is its whole part; earlier ones take the slow way.
DateTime dayOf(DateTime d) { return d >= 0 ? std::floor(d) : dateOnly(d); }

// The element at `i`, the list grown (with empty elements) to hold it.
template <typename T>
T& grownTo(std::vector<T>& list, std::size_t i) {
    if (list.size() <= i) list.resize(i + 1);
    return list[i];
}
}  // namespace

double ScheduleCollector::readingOf(const DataRecord& r) { return odometerReading(r); }

std::optional<std::size_t> ScheduleCollector::doneItem(const DataRecord& r) {
    if (RecordKind(r.kind()) != RecordKind::Maintenance || r.item() < 0) return std::nullopt;
    return std::size_t(r.item());
}

bool ScheduleCollector::counts(const DataRecord& r) {
    return r.vehicle() >= 0 && (readingOf(r) > 0 || doneItem(r));
}

void ScheduleCollector::note(PerVehicle& pv, double reading) {
    if (!(reading > 0)) return;
    ++pv.readings;
    pv.highest = std::max(pv.highest, reading);
    if (pv.top.size() == kTop && reading <= pv.top.back()) return;
    pv.top.insert(std::upper_bound(pv.top.begin(), pv.top.end(), reading, std::greater<>()),
                  reading);
    if (pv.top.size() > kTop) pv.top.pop_back();
}

bool ScheduleCollector::feedsDone(const PerVehicle& pv, const DataRecord& r) {
    if (!(readingOf(r) > 0)) return false;
    const DateTime date = r.date();
    return std::any_of(pv.done.begin(), pv.done.end(), [date](const std::optional<Done>& d) {
        return d && d->fromHighest && date <= d->at;
    });
}

void ScheduleCollector::add(const DataRecord& r) {
    if (r.deleted()) return;
    const int v = r.vehicle();
    if (v < 0) return;
    PerVehicle& pv = grownTo(vehicles_, std::size_t(v));
    note(pv, readingOf(r));
    const auto item = doneItem(r);
    if (!item) return;
    // File order is date order: the later record of a day wins.
    const DateTime d = r.date();
    const bool own = r.distance1() > 0;
    grownTo(pv.done, *item) = Done{dayOf(d), own ? r.distance1() : pv.highest, !own, d};
}

bool ScheduleCollector::insert(const DataRecord& r, bool last) {
    if (r.deleted() || r.vehicle() < 0) return true;
    if (last) {
        add(r);
        return true;
    }
    PerVehicle& pv = grownTo(vehicles_, std::size_t(r.vehicle()));
    if (feedsDone(pv, r)) return false;
    const DateTime d = r.date();
    if (const auto item = doneItem(r)) {
        std::optional<Done>& done = grownTo(pv.done, *item);
        if (!done || d > done->at) {
            // The latest of its item now; without a reading of its own its odometer would be
            // the highest reading before it, which only a pass can tell.
            if (!(r.distance1() > 0)) return false;
            done = Done{dayOf(d), r.distance1(), false, d};
        } else if (!(d < done->at)) {
            return false;  // the same moment: file order decides
        }
    }
    note(pv, readingOf(r));
    return true;
}

bool ScheduleCollector::remove(const DataRecord& r) {
    if (r.deleted() || r.vehicle() < 0) return true;
    const std::size_t v = std::size_t(r.vehicle());
    if (v >= vehicles_.size()) return false;
    PerVehicle& pv = vehicles_[v];
    if (feedsDone(pv, r)) return false;
    if (const auto item = doneItem(r)) {
        if (*item < pv.done.size() && pv.done[*item] && r.date() >= pv.done[*item]->at)
            return false;  // it may be the latest of its item
    }
    const double reading = readingOf(r);
    if (!(reading > 0)) return true;
    const auto it = std::find(pv.top.begin(), pv.top.end(), reading);
    if (it != pv.top.end())
        pv.top.erase(it);
    else if (pv.top.size() < kTop || reading > pv.top.back())
        return false;  // a reading never counted: the pass and the file disagree
    --pv.readings;
    if (pv.top.empty() && pv.readings > 0) return false;
    pv.highest = pv.top.empty() ? 0 : pv.top.front();
    return true;
}

void ScheduleCollector::setReadings(int vehicle, std::vector<double> highest,
                                    std::int64_t readings) {
    if (vehicle < 0) return;
    PerVehicle& pv = grownTo(vehicles_, std::size_t(vehicle));
    if (highest.size() > kTop) highest.resize(kTop);
    pv.highest = highest.empty() ? 0 : highest.front();
    pv.top = std::move(highest);
    pv.readings = readings;
}

void ScheduleCollector::setDone(int vehicle, int item, const Done& done) {
    if (vehicle < 0 || item < 0) return;
    grownTo(grownTo(vehicles_, std::size_t(vehicle)).done, std::size_t(item)) = done;
}

double ScheduleCollector::highest(int vehicle) const {
    return vehicle >= 0 && std::size_t(vehicle) < vehicles_.size()
               ? vehicles_[std::size_t(vehicle)].highest
               : 0;
}

std::optional<ScheduleCollector::Done> ScheduleCollector::lastDone(int vehicle, int item) const {
    if (vehicle < 0 || std::size_t(vehicle) >= vehicles_.size() || item < 0) return std::nullopt;
    const auto& done = vehicles_[std::size_t(vehicle)].done;
    return std::size_t(item) < done.size() ? done[std::size_t(item)] : std::nullopt;
}

std::vector<ScheduleRow> buildSchedule(const std::vector<ScheduleVehicle>& vehicles,
                                       const std::vector<ScheduleItem>& items,
                                       const std::vector<MaintenanceCycle>& cycles,
                                       const ScheduleCollector& records, DateTime today) {
    std::vector<ScheduleRow> rows;
    for (const ScheduleVehicle& v : vehicles) {
        for (const ScheduleItem& item : items) {
            const auto cycle = std::find_if(cycles.begin(), cycles.end(), [&](const auto& c) {
                return c.item == item.position && c.active();
            });
            if (cycle == cycles.end()) continue;
            ScheduleRow row;
            row.vehicle = v.position;
            row.vehicleName = v.name;
            row.item = item.position;
            row.itemName = item.name;
            row.currentOdometer = std::max(records.highest(v.position), v.odometer);
            const auto done = records.lastDone(v.position, item.position);
            if (done) {
                row.lastDate = done->date;
                if (done->odometer > 0) row.lastOdometer = done->odometer;
            }
            if (cycle->months > 0) {
                if (done)
                    row.dueDate = addMonths(done->date, cycle->months);
                else if (v.registered > 0)
                    row.dueDate = addMonths(
                        v.registered, cycle->firstMonths > 0 ? cycle->firstMonths : cycle->months);
            }
            if (cycle->km > 0) {
                if (done && done->odometer > 0)
                    row.dueOdometer = done->odometer + cycle->km;
                else if (!done)
                    row.dueOdometer = v.odometer + cycle->km;
            }
            if (row.dueDate) row.daysLeft = daysBetween(today, *row.dueDate);
            if (row.dueOdometer) row.kmLeft = *row.dueOdometer - row.currentOdometer;
            if ((row.daysLeft && *row.daysLeft < 0) || (row.kmLeft && *row.kmLeft <= 0))
                row.status = DueStatus::Overdue;
            else if ((row.daysLeft && *row.daysLeft <= kSoonDays) ||
                     (row.kmLeft && *row.kmLeft <= kSoonKm))
                row.status = DueStatus::Soon;
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

std::vector<ScheduleVehicle> scheduleVehicles(const std::vector<ItemRecord>& items) {
    std::vector<ScheduleVehicle> out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ItemRecord& r = items[i];
        if (r.deleted() || r.kind() != std::int16_t(ItemKind::Vehicle)) continue;
        out.push_back({int(i), r.name(), r.registered(), r.odometer()});
    }
    return out;
}

std::vector<ScheduleItem> scheduleItems(const std::vector<ItemRecord>& items) {
    std::vector<ScheduleItem> out;
    for (const ItemEntry& e : liveItems(items, ItemKind::MaintenanceItem))
        out.push_back({e.position, e.name});
    return out;
}

std::vector<ScheduleVehicle> scheduleVehicles(DataStore& data) {
    return scheduleVehicles(itemsByPosition(data));
}

std::vector<ScheduleItem> scheduleItems(DataStore& data) {
    return scheduleItems(itemsByPosition(data));
}

std::vector<ScheduleVehicle> scheduleVehicles(const std::string& dataFolder) {
    return scheduleVehicles(*openFolderStore(dataFolder));
}

std::vector<ScheduleItem> scheduleItems(const std::string& dataFolder) {
    return scheduleItems(*openFolderStore(dataFolder));
}

ScheduleCollector collectSchedule(DataStore& data) {
    ScheduleCollector collector;
    if (!data.answersSums()) {
        data.scanRecords([&](const StoredRecord& r) { collector.add(r.record); });
        return collector;
    }
    for (const VehicleReadings& v : data.highestReadings(ScheduleCollector::kTop))
        collector.setReadings(v.vehicle, v.highest, v.count);
    for (const LatestRecord& l : data.lastOfEach(RecordKind::Maintenance)) {
        const DataRecord& r = l.stored.record;
        const DateTime d = r.date();
        const bool own = r.distance1() > 0;
        collector.setDone(r.vehicle(), r.item(),
                          {dayOf(d), own ? r.distance1() : l.highestBefore, !own, d});
    }
    return collector;
}

ScheduleCollector collectSchedule(const std::string& dataFolder) {
    return collectSchedule(*openFolderStore(dataFolder));
}

std::vector<ScheduleRow> computeSchedule(DataStore& data,
                                         const std::vector<MaintenanceCycle>& cycles,
                                         DateTime today) {
    if (std::none_of(cycles.begin(), cycles.end(), [](const auto& c) { return c.active(); }))
        return {};
    const std::vector<ItemRecord> items = itemsByPosition(data);
    return buildSchedule(scheduleVehicles(items), scheduleItems(items), cycles,
                         collectSchedule(data), today);
}

std::vector<ScheduleRow> computeSchedule(const std::string& dataFolder,
                                         const std::vector<MaintenanceCycle>& cycles,
                                         DateTime today) {
    return computeSchedule(*openFolderStore(dataFolder), cycles, today);
}

std::int64_t countOverdue(const std::vector<ScheduleRow>& rows) {
    return std::count_if(rows.begin(), rows.end(),
                         [](const ScheduleRow& r) { return r.status == DueStatus::Overdue; });
}

}  // namespace quil::analysis
