#pragma once
// A small data folder built record by record for the analysis tests.

#include <string>
#include <vector>

#include "StoreFixtures.h"
#include "TestSupport.h"
#include "store/ItemStore.h"
#include "store/Records.h"

namespace quil::testing {

inline store::DataRecord driving(store::DateTime date, int vehicle, double out, double back) {
    store::DataRecord r = makeRecord(date + 9.0 / 24, vehicle, 0, 0, 0);
    r.setDistance1(out);
    r.setDistance2(back);
    r.setReturnTime(date + 17.0 / 24);
    return r;
}

inline store::DataRecord refuel(store::DateTime date, int vehicle, double litres, int price,
                                const std::string& remarks = {}, double odometer = 0) {
    store::DataRecord r = makeRecord(date, vehicle, 0, price, 1);
    r.setDistance2(litres);
    r.setDistance1(odometer);
    r.setTax(price / 10);
    r.setRemarks(remarks);
    return r;
}

inline store::DataRecord maintenance(store::DateTime date, int vehicle, int item, double odometer,
                                     int price = 0) {
    store::DataRecord r = makeRecord(date, vehicle, 0, price, 2);
    r.setItem(static_cast<std::int16_t>(item));
    r.setDistance1(odometer);
    return r;
}

inline store::DataRecord expense(store::DateTime date, int vehicle, int price) {
    return makeRecord(date, vehicle, 0, price, 3);
}

inline store::ItemRecord item(store::ItemKind kind, const std::string& name,
                              store::DateTime registered = 0, double odometer = 0) {
    store::ItemRecord i = testing::makeItem(kind, name);
    i.setRegistered(registered);
    i.setOdometer(odometer);
    return i;
}

inline store::DateTime day(int y, unsigned m, unsigned d) { return store::encodeDate(y, m, d); }

// Writes the item file and the record file (records already in date order).
inline void writeDataSet(const TempDir& dir, const std::vector<store::ItemRecord>& items,
                         const std::vector<store::DataRecord>& records) {
    writeRecords(dir.file(store::kItemFileName), items);
    writeRecords(dir.file(store::kRecordFileName), records);
}

}  // namespace quil::testing
