// The default answers of the questions a report asks of a data set, read from every record:
// the form a data folder uses, and the one a server's own answers must agree with.

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

namespace {

// One query's groups while the records go by.
class Grouping {
public:
    explicit Grouping(const RecordSumsQuery& q) : q_(q) {
        for (std::int16_t k : q.kinds)
            if (k >= 0 && k < 16) kinds_ |= 1u << k;
    }

    void add(const DataRecord& r) {
        const std::int16_t kind = r.kind();
        if (kind < 0 || kind >= 16 || !(kinds_ >> kind & 1u)) return;
        if (q_.vehicle >= 0 && r.vehicle() != q_.vehicle) return;
        const DateTime date = r.date();
        if (!q_.period.passes(date)) return;
        RecordSums key;
        if (q_.by & RecordSumsQuery::Vehicle) key.vehicle = r.vehicle();
        if (q_.by & RecordSumsQuery::User) key.user = r.user();
        if (q_.by & RecordSumsQuery::Item) key.item = r.item();
        if (q_.by & RecordSumsQuery::Kind) key.kind = kind;
        if (q_.by & RecordSumsQuery::Day) key.day = std::trunc(date);
        if (q_.by & RecordSumsQuery::Month) key.day = monthOf(std::trunc(date));
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

    // The first day of the month of `day`; the month last seen is kept.
    DateTime monthOf(DateTime day) {
        if (!(day >= monthStart_ && day < nextMonthStart_)) {
            const CivilDate c = decodeDate(day);
            monthStart_ = encodeDate(c.year, c.month, 1);
            nextMonthStart_ = c.month == 12 ? encodeDate(c.year + 1, 1, 1)
                                            : encodeDate(c.year, c.month + 1, 1);
        }
        return monthStart_;
    }

    const RecordSumsQuery& q_;
    unsigned kinds_ = 0;
    std::unordered_map<Key, std::size_t, Hash> index_;
    std::vector<RecordSums> groups_;
    DateTime monthStart_ = 1;
    DateTime nextMonthStart_ = 0;
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
