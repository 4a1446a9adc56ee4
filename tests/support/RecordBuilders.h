#pragma once
// The one builder of hand-made records and items for every suite: the fields a test names,
// every other byte zero, or as the entry dialog stores a record (no item or place chosen).

#include <cstdint>
#include <string>

#include "store/Records.h"

namespace quil::testing {

inline store::DataRecord makeRecord(double date, int vehicle, int user, int price = 0,
                                    int kind = 1) {
    store::DataRecord r;
    r.setStamp(40000.5);
    r.setKind(static_cast<std::int16_t>(kind));
    r.setDate(date);
    r.setVehicle(static_cast<std::int16_t>(vehicle));
    r.setUser(static_cast<std::int16_t>(user));
    r.setPrice(price);
    return r;
}

// A record of the data set stamped `stamp` as the entry dialog stores it: item, place and
// the reserved field at -1 until chosen.
inline store::DataRecord entryRecord(int kind, double date, int vehicle, int user, double stamp) {
    store::DataRecord r = makeRecord(date, vehicle, user, 0, kind);
    r.setStamp(stamp);
    r.setReserved66(-1);
    r.setItem(-1);
    r.setPlace(-1);
    return r;
}

// An item of `kind` named `name`, stamped like makeRecord's records.
inline store::ItemRecord makeItem(store::ItemKind kind, const std::string& name,
                                  bool deleted = false, double stamp = 40000.5) {
    store::ItemRecord r;
    r.setStamp(stamp);
    r.setKind(kind);
    r.setName(name);
    r.setDeleted(deleted);
    return r;
}

}  // namespace quil::testing
