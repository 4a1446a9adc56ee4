#include "Records.h"

namespace quil::store {

std::string itemKindName(int stored) {
    return itemKindName(itemKindOf(stored).value_or(ItemKind::Vehicle));
}

std::string itemKindName(ItemKind kind) {
    switch (kind) {
        case ItemKind::Vehicle: return "車両";
        case ItemKind::User: return "使用者";
        case ItemKind::GasStation: return "スタンド名";
        case ItemKind::MaintenanceItem: return "点検・整備項目名";
        case ItemKind::ExpenseItem: return "出費項目名";
        case ItemKind::Purpose: return "使用目的";
        case ItemKind::Shop: return "店";
    }
    return "車両";
}

std::string recordKindName(int stored) {
    const auto known = recordKindOf(stored);
    return known ? recordKindName(*known) : std::string();
}

std::string recordKindName(RecordKind kind) {
    switch (kind) {
        case RecordKind::Driving: return "走行記録";
        case RecordKind::Refuelling: return "給油記録";
        case RecordKind::Maintenance: return "点検・整備記録";
        case RecordKind::Expense: return "出費記録";
    }
    return {};
}

ItemRecord::ItemRecord() {
    setRawString(0, 2, "QI");
    setVersion(kFormatVersion);
}

DataRecord::DataRecord() {
    setRawString(0, 2, "QD");
    setVersion(kFormatVersion);
}

bool sortsAfter(const DataRecord& a, const DataRecord& b) {
    if (a.date() != b.date()) return a.date() > b.date();
    if (a.vehicle() != b.vehicle()) return a.vehicle() > b.vehicle();
    return a.user() > b.user();
}

std::int16_t referenceFor(const DataRecord& r, ItemKind kind) {
    switch (kind) {
        case ItemKind::Vehicle: return r.vehicle();
        case ItemKind::User: return r.user();
        case ItemKind::GasStation:
        case ItemKind::Shop: return r.place();
        case ItemKind::MaintenanceItem:
        case ItemKind::ExpenseItem:
        case ItemKind::Purpose: return r.item();
    }
    return -1;
}

std::array<ItemRecord, 7> firstRunItems(double stamp, DateTime registered) {
    struct Seed {
        ItemKind kind;
        std::int16_t order;
        const char* name;
    };
    static constexpr Seed seeds[7] = {
        {ItemKind::Vehicle, 1, "車両1"},
        {ItemKind::User, 1, "使用者1"},
        {ItemKind::Purpose, 1, "配達"},
        {ItemKind::Purpose, 2, "営業"},
        {ItemKind::MaintenanceItem, 1, "オイル交換"},
        {ItemKind::MaintenanceItem, 2, "オイルフィルター交換"},
        {ItemKind::ExpenseItem, 1, "有料道路代"},
    };
    std::array<ItemRecord, 7> items;
    for (std::size_t i = 0; i < 7; ++i) {
        items[i].setStamp(stamp);
        items[i].setKind(seeds[i].kind);
        items[i].setOrder(seeds[i].order);
        items[i].setName(seeds[i].name);
        items[i].setRegistered(registered);
    }
    return items;
}

}  // namespace quil::store
