// The default answers of the questions a report asks of a data set, read from every record
// by the definitions of DataStore.h that a server's own answers agree with.

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>

#include "store/DataStore.h"

namespace quil::store {

namespace {

// One query's groups while the records go by.
class Grouping {
public:
    explicit Grouping(const RecordSumsQuery& q) : q_(q) {}

    void add(const DataRecord& r) {
        if (!q_.takes(r)) return;
        const RecordSums key = q_.groupOf(r);
        const auto [at, added] = index_.try_emplace(Key::of(key), groups_.size());
        if (added) groups_.push_back(key);
        groups_[at->second].add(r);
    }

    std::vector<RecordSums> take() { return std::move(groups_); }

private:
    struct Key {
        std::uint64_t fields;
        std::uint64_t day;  // the bits: a date that is no number is one group too
        static Key of(const RecordSums& s) {
            return {std::uint64_t(std::uint16_t(s.vehicle)) |
                        std::uint64_t(std::uint16_t(s.user)) << 16 |
                        std::uint64_t(std::uint16_t(s.item)) << 32 |
                        std::uint64_t(std::uint16_t(s.kind)) << 48,
                    std::bit_cast<std::uint64_t>(s.day)};
        }
        bool operator==(const Key&) const = default;
    };
    struct Hash {
        std::size_t operator()(const Key& k) const {
            return std::hash<std::uint64_t>()(k.fields * 0x9E3779B97F4A7C15ull ^
                                              k.day);
        }
    };

    const RecordSumsQuery& q_;
    std::unordered_map<Key, std::size_t, Hash> index_;
    std::vector<RecordSums> groups_;
};

}  // namespace

std::vector<std::vector<RecordSums>> DataStore::sumRecords(
    const std::vector<RecordSumsQuery>& queries) {
    std::vector<Grouping> groupings;
    groupings.reserve(queries.size());
    for (const RecordSumsQuery& q : queries) groupings.emplace_back(q);
    scanRecords([&](const StoredRecord& s) {
        if (s.record.deleted()) return;
        for (Grouping& g : groupings) g.add(s.record);
    });
    std::vector<std::vector<RecordSums>> out;
    for (Grouping& g : groupings) out.push_back(g.take());
    return out;
}

std::vector<VehicleReadings> DataStore::highestReadings(std::size_t n) {
    std::map<std::int16_t, VehicleReadings> by;
    scanRecords([&](const StoredRecord& s) {
        if (s.record.deleted()) return;
        const double reading = odometerReading(s.record);
        if (!(reading > 0)) return;
        VehicleReadings& v = by[s.record.vehicle()];
        ++v.count;
        if (v.highest.size() == n && (n == 0 || reading <= v.highest.back())) return;
        v.highest.insert(
            std::upper_bound(v.highest.begin(), v.highest.end(), reading, std::greater<>()),
            reading);
        if (v.highest.size() > n) v.highest.pop_back();
    });
    std::vector<VehicleReadings> out;
    for (auto& [vehicle, v] : by) {
        v.vehicle = vehicle;
        out.push_back(std::move(v));
    }
    return out;
}

void DataStore::scanKind(RecordKind kind, int vehicle,
                         const std::function<void(const StoredRecord&)>& f) {
    scanRecords([&](const StoredRecord& s) {
        const DataRecord& r = s.record;
        if (!r.deleted() && r.kind() == std::int16_t(kind) &&
            (vehicle < 0 || r.vehicle() == vehicle))
            f(s);
    });
}

void DataStore::scanRefuellings(int vehicle,
                                const std::function<void(const RefuellingFacts&)>& f) {
    scanKind(RecordKind::Refuelling, vehicle, [&](const StoredRecord& s) {
        const DataRecord& r = s.record;
        f({r.vehicle(), r.date(), r.distance1(), r.distance2(), r.remarksRaw()});
    });
}

std::optional<DriveFacts> DriveFacts::of(std::int64_t id, const DataRecord& r) {
    const auto kind = recordKindOf(r.kind());
    if (r.deleted() || !kind) return std::nullopt;
    return DriveFacts{id, r.date(), *kind, r.vehicle(), r.user(), r.distance1(), r.distance2(),
                      r.returnTime()};
}

void DataStore::scanDrives(const DriveQuery& query,
                           const std::function<void(const DriveFacts&)>& f) {
    scanRecords([&](const StoredRecord& s) {
        const auto d = DriveFacts::of(s.id, s.record);
        if (!d || d->kind == RecordKind::Expense) return;
        if (d->kind != RecordKind::Driving && (!query.withReadings || d->distance1 <= 0)) return;
        if (!query.vehicles.empty() && std::find(query.vehicles.begin(), query.vehicles.end(),
                                                 d->vehicle) == query.vehicles.end())
            return;
        f(*d);
    });
}

std::vector<LatestRecord> DataStore::lastOfEach(RecordKind kind) {
    std::map<std::pair<int, int>, LatestRecord> last;
    std::vector<double> highest;  // by vehicle position + 1 (0: negative positions)
    scanRecords([&](const StoredRecord& s) {
        const DataRecord& r = s.record;
        if (r.deleted()) return;
        const std::size_t v = r.vehicle() < 0 ? 0 : std::size_t(r.vehicle()) + 1;
        if (highest.size() <= v) highest.resize(v + 1, 0);
        if (r.kind() == std::int16_t(kind))
            last[{r.vehicle(), r.item()}] = {s, r.distance1() > 0 ? 0 : highest[v]};
        const double reading = odometerReading(r);
        if (reading > 0) highest[v] = std::max(highest[v], reading);
    });
    std::vector<LatestRecord> out;
    for (auto& [key, l] : last) out.push_back(std::move(l));
    return out;
}

std::vector<RecordSums> DataStore::dailyReadings(int vehicle, DateTime lastDay) {
    RecordSumsQuery q;
    q.kinds = {std::int16_t(RecordKind::Driving), std::int16_t(RecordKind::Maintenance)};
    q.vehicle = vehicle;
    q.period = PeriodFilter::within(PeriodRange{-std::numeric_limits<double>::infinity(), lastDay});
    q.by = RecordSumsQuery::Vehicle | RecordSumsQuery::Day;
    std::vector<RecordSums> out;
    for (const RecordSums& s : sumRecords({q}).front())
        if (s.highestReading > 0) out.push_back(s);
    return out;
}

}  // namespace quil::store
