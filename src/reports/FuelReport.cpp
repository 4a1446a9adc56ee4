#include "reports/FuelReport.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "reports/DataSetItems.h"
#include "reports/ReportDates.h"

namespace quil::analysis {

using namespace quil::store;

bool isPartialRefuelling(const DataRecord& r) { return isPartialRemarks(r.remarksRaw()); }

bool isPartialRemarks(std::string_view raw) {
    // Searched in the raw CP932 bytes (no conversion per record); a hit counts only where it
    // starts on a character boundary, not on the second byte of a two-byte character.
    static const std::string marks[] = {toCp932("部分給油"), toCp932("継ぎ足し")};
    for (const std::string& m : marks) {
        for (std::size_t at = raw.find(m); at != std::string_view::npos; at = raw.find(m, at + 1)) {
            std::size_t i = 0;
            while (i < at) i += isCp932LeadByte(static_cast<unsigned char>(raw[i])) ? 2 : 1;
            if (i == at) return true;
        }
    }
    return false;
}

std::optional<double> CostFigures::kmPerLitre() const {
    if (economyLitres <= 0 || economyDistance <= 0) return std::nullopt;
    return economyDistance / economyLitres;
}

std::optional<double> CostFigures::costPerKm() const {
    if (distance <= 0) return std::nullopt;
    return double(totalCost()) / distance;
}

void CostFigures::add(const CostFigures& o) {
    distance += o.distance;
    litres += o.litres;
    refuels += o.refuels;
    fuelCost += o.fuelCost;
    maintenanceCost += o.maintenanceCost;
    expenseCost += o.expenseCost;
    economyDistance += o.economyDistance;
    economyLitres += o.economyLitres;
}

FuelReportBuilder::FuelReportBuilder(const std::vector<ItemEntry>& liveVehicles,
                                     ReportPeriod period, int vehicle)
    : period_(period), only_(vehicle) {
    if (!period.all) {
        filter_ = PeriodFilter::within(period.range);
        firstMonth_ = monthIndex(period.range.first);
        const int last = monthIndex(period.range.last);
        months_.resize(std::size_t(std::max(0, last - firstMonth_ + 1)));
    }
    for (const ItemEntry& v : liveVehicles) {
        if (only_ >= 0 && v.position != only_) continue;
        if (lineOf_.size() <= std::size_t(v.position))
            lineOf_.resize(std::size_t(v.position) + 1, -1);
        lineOf_[std::size_t(v.position)] = int(report_.vehicles.size());
        report_.vehicles.push_back({v.position, v.name, {}});
    }
}

FuelReportBuilder::Chain& FuelReportBuilder::newChain(std::size_t index) {
    chains_.resize(index + 1);
    return chains_[index];
}

CostFigures& FuelReportBuilder::otherLine() {
    report_.hasOthers = true;
    return report_.others;
}

CostFigures& FuelReportBuilder::newMonth(DateTime date) {
    const CivilDate c = decodeDate(date);
    const int m = monthIndexOf(c.year, c.month);
    monthStart_ = encodeDate(c.year, c.month, 1);
    nextMonthStart_ = addMonths(monthStart_, 1);
    if (months_.empty()) {
        firstMonth_ = m;
        months_.resize(1);
    } else if (m < firstMonth_) {  // only when the file is out of order
        months_.insert(months_.begin(), std::size_t(firstMonth_ - m), CostFigures{});
        firstMonth_ = m;
    } else if (std::size_t(m - firstMonth_) >= months_.size()) {
        months_.resize(std::size_t(m - firstMonth_) + 1);
    }
    monthSlot_ = std::size_t(m - firstMonth_);
    return months_[monthSlot_];
}

namespace {
// What records of a kind add to a line or a month. Inline: a folder's pass adds every record.
inline void creditTo(CostFigures& f, const RecordSums& s) {
    const std::int64_t cost = s.price + s.tax;
    switch (RecordKind(s.kind)) {
        case RecordKind::Driving: f.distance += s.driven; break;
        case RecordKind::Refuelling:
            f.litres += s.distance2;
            f.refuels += s.count;
            f.fuelCost += cost;
            break;
        case RecordKind::Maintenance: f.maintenanceCost += cost; break;
        case RecordKind::Expense: f.expenseCost += cost; break;
    }
}
}  // namespace

void FuelReportBuilder::credit(const RecordSums& s) {
    creditTo(line(s.vehicle), s);
    creditTo(month(s.day), s);
}

void FuelReportBuilder::add(const DataRecord& r) {
    if (r.deleted()) return;
    const int v = r.vehicle();
    if (only_ >= 0 && v != only_) return;
    const DateTime date = r.date();
    Chain& c = chain(v);
    settleBefore(v, c, date);
    if (filter_.passes(date)) {
        // The record as a group of its own: what the server's sums of its kind would add.
        RecordSums one;
        one.kind = r.kind();
        one.add(r);
        creditTo(line(v), one);
        creditTo(month(date), one);
    }
    switch (RecordKind(r.kind())) {
        case RecordKind::Driving:
        case RecordKind::Maintenance: c.highest = std::max(c.highest, odometerReading(r)); break;
        case RecordKind::Refuelling:
            queue(c, date, r.distance1(), r.distance2(), !isPartialRefuelling(r));
            break;
        default: break;
    }
}

RecordSumsQuery FuelReportBuilder::sumsQuery() const {
    RecordSumsQuery q;
    for (RecordKind k : {RecordKind::Driving, RecordKind::Refuelling, RecordKind::Maintenance,
                         RecordKind::Expense})
        q.kinds.push_back(std::int16_t(k));
    q.period = filter_;
    q.vehicle = only_;
    q.by = RecordSumsQuery::Vehicle | RecordSumsQuery::Kind | RecordSumsQuery::Month;
    return q;
}

void FuelReportBuilder::noteReading(int vehicle, DateTime date, double reading) {
    Chain& c = chain(vehicle);
    settleBefore(vehicle, c, date);
    c.highest = std::max(c.highest, reading);
}

void FuelReportBuilder::noteRefuelling(int vehicle, DateTime date, double reading,
                                       double litres, bool full) {
    Chain& c = chain(vehicle);
    settleBefore(vehicle, c, date);
    queue(c, date, reading, litres, full);
}

void FuelReportBuilder::queue(Chain& c, DateTime date, double reading, double litres, bool full) {
    c.day = std::floor(date);
    c.pending.push_back({date, reading, litres, full});
}

void FuelReportBuilder::settle(int vehicle, Chain& c) {
    for (const Pending& p : c.pending) {
        const double reading = p.reading > 0 ? p.reading : c.highest;
        c.highest = std::max(c.highest, p.reading);
        c.litres += p.litres;
        if (!p.full) continue;
        if (reading > 0 && c.haveFull && reading > c.fullReading && c.litres > 0 &&
            filter_.passes(p.date)) {
            const double distance = reading - c.fullReading;
            const double litres = c.litres;
            for (CostFigures* f : {&line(vehicle), &month(p.date)}) {
                f->economyDistance += distance;
                f->economyLitres += litres;
            }
            report_.points.push_back({p.date, vehicle, distance, litres});
        }
        c.haveFull = reading > 0;
        c.fullReading = reading;
        c.litres = 0;
    }
    c.pending.clear();
}

FuelReport FuelReportBuilder::finish() {
    for (std::size_t i = 0; i < chains_.size(); ++i)
        if (!chains_[i].pending.empty()) settle(int(i) - 1, chains_[i]);
    for (const VehicleCosts& l : report_.vehicles) report_.total.add(l.figures);
    report_.total.add(report_.others);
    for (std::size_t i = 0; i < months_.size(); ++i) {
        const int m = firstMonth_ + int(i);
        report_.months.push_back({yearOfMonthIndex(m), monthOfMonthIndex(m), months_[i]});
    }
    std::stable_sort(report_.points.begin(), report_.points.end(),
                     [](const EconomyPoint& a, const EconomyPoint& b) {
                         return a.date < b.date || (a.date == b.date && a.vehicle < b.vehicle);
                     });
    return std::move(report_);
}

FuelReport computeFuelReport(DataStore& data, ReportPeriod period, int vehicle) {
    FuelReportBuilder builder(liveItems(itemsByPosition(data), ItemKind::Vehicle), period, vehicle);
    if (!data.answersSums()) {
        // One pass in the list's order gives both the sums and the chains.
        data.scanRecords([&](const StoredRecord& r) { builder.add(r.record); });
        return builder.finish();
    }
    const auto costs = data.sumRecords({builder.sumsQuery()});
    for (const RecordSums& s : costs.front()) builder.credit(s);

    // Each vehicle's refuellings and its highest reading of every day up to the last of them
    // (from driving and maintenance records, whatever the period), in order of day, a day's
    // reading first (the refuellings of a day settle only when a later day comes). Negative
    // vehicle numbers share one chain. Without refuellings there is no chain to follow.
    // The store gives of each refuelling only what the chain follows. The events are small
    // and name their refuelling by its place in `refuellings`, so that sorting them moves
    // none.
    struct Refuel {
        int vehicle;
        DateTime date;
        double reading;
        double litres;
        bool full;
    };
    struct Event {
        int chain;
        DateTime day;
        std::size_t order;  // 0: the day's highest reading; then refuelling order - 1
        double reading;
    };
    std::vector<Refuel> refuellings;
    std::vector<Event> events;
    DateTime lastRefuel = 0;
    data.scanRefuellings(vehicle, [&](const RefuellingFacts& r) {
        const DateTime day = std::floor(r.date);
        lastRefuel = refuellings.empty() ? day : std::max(lastRefuel, day);
        refuellings.push_back(
            {r.vehicle, r.date, r.distance1, r.distance2, !isPartialRemarks(r.remarksRaw)});
        events.push_back({std::max(-1, int(r.vehicle)), day, refuellings.size(), 0});
    });
    if (events.empty()) return builder.finish();
    for (const RecordSums& s : data.dailyReadings(vehicle, lastRefuel))
        events.push_back({std::max(-1, int(s.vehicle)), s.day, 0, s.highestReading});
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return std::tie(a.chain, a.day, a.order) < std::tie(b.chain, b.day, b.order);
    });
    for (const Event& e : events) {
        if (e.order == 0)
            builder.noteReading(e.chain, e.day, e.reading);
        else {
            const Refuel& r = refuellings[e.order - 1];
            builder.noteRefuelling(r.vehicle, r.date, r.reading, r.litres, r.full);
        }
    }
    return builder.finish();
}

FuelReport computeFuelReport(const std::string& dataFolder, ReportPeriod period, int vehicle) {
    return computeFuelReport(*openFolderStore(dataFolder), period, vehicle);
}

}  // namespace quil::analysis
