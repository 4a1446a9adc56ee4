#pragma once
// A small data set built through the store for the CSV and audit tests: the first-run
// items plus a second vehicle and user, a gas station, two shops and an expense item.

#include <string>

#include "StoreFixtures.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

namespace quil::testing {

inline constexpr double kSampleStamp = 45000.25;

// Positions: 0 車両1, 1 使用者1, 2 配達, 3 営業, 4 オイル交換, 5 オイルフィルター交換,
// 6 有料道路代, 7 軽トラ (vehicle), 8 山田 (user), 9 駅前SS (station), 10 A商会 (shop),
// 11 "B,商会" (shop), 12 駐車場代 (expense item), 13 旧車 (deleted vehicle).
inline void writeSampleItems(const std::string& dir) {
    using namespace quil::store;
    ItemStore items(dir);
    for (const ItemRecord& it : firstRunItems(kSampleStamp, encodeDate(2024, 4, 1)))
        items.append(it);
    auto add = [&](ItemKind kind, const char* name, bool deleted = false) {
        ItemRecord it = makeItem(kind, name, deleted, kSampleStamp);
        it.setOrder(999);
        items.append(it);
    };
    add(ItemKind::Vehicle, "軽トラ");
    add(ItemKind::User, "山田");
    add(ItemKind::GasStation, "駅前SS");
    add(ItemKind::Shop, "A商会");
    add(ItemKind::Shop, "B,商会");
    add(ItemKind::ExpenseItem, "駐車場代");
    add(ItemKind::Vehicle, "旧車", true);
}

inline store::DataRecord sampleRecord(int kind, store::DateTime date, int vehicle, int user) {
    return entryRecord(kind, date, vehicle, user, kSampleStamp);
}

}  // namespace quil::testing
