#pragma once
// The data set both summary table suites read, from a folder or pushed to a server.
// Items: 0 vehicle 軽トラ, 1 user 山田, 2 purpose 配達, 3 vehicle ワゴン, 4 user 佐藤,
// 5 vehicle 旧車 (deleted), 6 purpose 営業; the records of two years, one deleted.

#include <string>

#include "StoreFixtures.h"
#include "store/Date.h"

namespace quil::testing {

inline store::DataRecord driving(double date, int vehicle, int user, int purpose, double from,
                                 double to) {
    store::DataRecord r = makeRecord(date, vehicle, user, 0, 0);
    r.setItem(std::int16_t(purpose));
    r.setDistance1(from);
    r.setDistance2(to);
    return r;
}

inline store::DataRecord costing(int kind, double date, int vehicle, int price, int tax,
                                 double litres = 0) {
    store::DataRecord r = makeRecord(date, vehicle, 1, price, kind);
    r.setTax(tax);
    r.setDistance2(litres);
    return r;
}

inline void writeSummaryDataSet(const TempDir& folder) {
    using store::encodeDate;
    using store::ItemKind;
    writeRecords<store::ItemRecord>(
        folder.file("Quil.qui"),
        {makeItem(ItemKind::Vehicle, "軽トラ"), makeItem(ItemKind::User, "山田"),
         makeItem(ItemKind::Purpose, "配達"), makeItem(ItemKind::Vehicle, "ワゴン"),
         makeItem(ItemKind::User, "佐藤"), makeItem(ItemKind::Vehicle, "旧車", true),
         makeItem(ItemKind::Purpose, "営業")});
    store::DataRecord removed = driving(encodeDate(2003, 10, 2), 0, 1, 2, 1100, 1200);
    removed.setDeleted(true);
    writeRecords<store::DataRecord>(
        folder.file("Quil.qud"),
        {driving(encodeDate(2003, 1, 15) + store::encodeTime(8, 0), 0, 1, 2, 1000, 1012.5),
         driving(encodeDate(2003, 5, 10), 3, 4, 6, 500, 530.3),
         costing(1, encodeDate(2003, 5, 11), 0, 3000, 150, 30.25),
         costing(2, encodeDate(2003, 6, 1), 0, 12000, 600),
         driving(encodeDate(2003, 10, 1), 0, 4, 2, 1012.5, 1100), removed,
         costing(1, encodeDate(2003, 11, 11), 3, 2000, 100, 20.5),
         driving(encodeDate(2004, 2, 20), 5, 1, 2, 0, 40),
         costing(3, encodeDate(2004, 3, 31), 3, 1234567, 98765)});
}

}  // namespace quil::testing
