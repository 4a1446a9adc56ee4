// What a report adds up, record by record: the definitions a server's own answers must agree
// with, the pass a data folder's reports make, and the default answers of the questions a
// report asks of a data set, read from every record.

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <map>
#include <unordered_map>

#include "store/DataStore.h"

namespace quil::store {

double odometerReading(const DataRecord& r) {
    switch (RecordKind(r.kind())) {
        case RecordKind::Driving: return std::max(r.distance1(), r.distance2());
        case RecordKind::Refuelling:
        case RecordKind::Maintenance: return r.distance1();
        default: return 0;
    }
}

void RecordSums::add(const DataRecord& r) {
    count += 1;
    driven += r.distance2() - r.distance1();
    distance2 += r.distance2();
    price += r.price();
    tax += r.tax();
    const double reading = odometerReading(r);
    if (reading > 0) {
        ++readings;
        highestReading = std::max(highestReading, reading);
    }
}

bool RecordSumsQuery::takes(const DataRecord& r) const {
    if (std::find(kinds.begin(), kinds.end(), r.kind()) == kinds.end()) return false;
    if (vehicle >= 0 && r.vehicle() != vehicle) return false;
    return period.passes(r.date());
}

RecordSums RecordSumsQuery::groupOf(const DataRecord& r) const {
    RecordSums key;
    if (by & Vehicle) key.vehicle = r.vehicle();
    if (by & User) key.user = r.user();
    if (by & Item) key.item = r.item();
    if (by & Kind) key.kind = r.kind();
    if (by & (Day | Month)) key.day = std::trunc(r.date());
    // The first day of the month, for dates of years 1 to 9999; any other stays its own group.
    if ((by & Month) && key.day >= -693593 && key.day < 2958466) {
        const CivilDate c = decodeDate(key.day);
        key.day = encodeDate(c.year, c.month, 1);
    }
    return key;
}

void sumsOneByOne(DataStore& data, const RecordSumsQuery& query,
                  const std::function<void(const RecordSums&)>& f) {
    if (data.answersSums()) {
        const std::vector<std::vector<RecordSums>> sums = data.sumRecords({query});
        for (const RecordSums& s : sums.front()) f(s);
        return;
    }
    data.scanRecords([&](const StoredRecord& s) {
        if (s.record.deleted() || !query.takes(s.record)) return;
        RecordSums one = query.groupOf(s.record);
        one.add(s.record);
        f(one);
    });
}

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

void DataStore::scanKind(std::int16_t kind, int vehicle,
                         const std::function<void(const StoredRecord&)>& f) {
    scanRecords([&](const StoredRecord& s) {
        const DataRecord& r = s.record;
        if (!r.deleted() && r.kind() == kind && (vehicle < 0 || r.vehicle() == vehicle)) f(s);
    });
}

std::vector<LatestRecord> DataStore::lastOfEach(std::int16_t kind) {
    std::map<std::pair<int, int>, LatestRecord> last;
    std::vector<double> highest;  // by vehicle position + 1 (0: negative positions)
    scanRecords([&](const StoredRecord& s) {
        const DataRecord& r = s.record;
        if (r.deleted()) return;
        const std::size_t v = r.vehicle() < 0 ? 0 : std::size_t(r.vehicle()) + 1;
        if (highest.size() <= v) highest.resize(v + 1, 0);
        if (r.kind() == kind)
            last[{r.vehicle(), r.item()}] = {s, r.distance1() > 0 ? 0 : highest[v]};
        const double reading = odometerReading(r);
        if (reading > 0) highest[v] = std::max(highest[v], reading);
    });
    std::vector<LatestRecord> out;
    for (auto& [key, l] : last) out.push_back(std::move(l));
    return out;
}

}  // namespace quil::store
