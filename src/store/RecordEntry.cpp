#include "RecordEntry.h"

#include "EntryParse.h"
#include "ItemStore.h"

namespace quil::store {
namespace {

EntryRefusal refuse(EntryField field, const char* message) { return {field, message}; }

}  // namespace

EntryResult buildEntryRecord(const EntryInput& in) {
    DataRecord r;
    r.setStamp(in.stamp);
    r.setKind(in.kind);
    r.setReserved66(-1);
    r.setItem(-1);
    r.setPlace(-1);

    if (!in.day) return refuse(EntryField::Date, "正しい日付を入力して下さい！");
    const DateTime day = correctTwoDigitYear(*in.day);
    r.setDate(day);

    if (!in.vehicle) return refuse(EntryField::Vehicle, "車両を選択して下さい！");
    if (!in.user) return refuse(EntryField::User, "使用者を選択して下さい！");
    r.setVehicle(static_cast<std::int16_t>(*in.vehicle));
    r.setUser(static_cast<std::int16_t>(*in.user));
    r.setRemarks(in.remarks);

    if (in.kind == RecordKind::Driving) {
        auto time = [&](const std::string& hour, const std::string& minute) {
            const auto h = parseClockField(hour, 23);
            const auto m = parseClockField(minute, 59);
            return h && m ? std::optional(composeDateTime(day, *h, *m)) : std::nullopt;
        };
        const auto start = time(in.startHour, in.startMinute);
        if (!start) return refuse(EntryField::StartTime, "正しい時間を入力して下さい！");
        const auto end = time(in.endHour, in.endMinute);
        if (!end) return refuse(EntryField::EndTime, "正しい時間を入力して下さい！");
        r.setDate(*start);
        r.setReturnTime(*end);
    } else {
        const auto price = parseInteger(in.value2);
        if (!price) return refuse(EntryField::Value2, "正しい金額を入力して下さい！");
        const auto tax = parseInteger(in.value3);
        if (!tax) return refuse(EntryField::Value3, "正しい消費税額を入力して下さい！");
        r.setPrice(*price);
        r.setTax(*tax);
    }

    const char* itemMessage = "項目を選択して下さい！";
    switch (in.kind) {
        case RecordKind::Driving: {
            r.setDestination(in.value3);
            const auto d1 = in.unchanged1 ? in.unchanged1 : parseDecimal(in.value1);
            if (!d1) return refuse(EntryField::Value1, "正しい出庫距離を入力して下さい！");
            const auto d2 = in.unchanged2 ? in.unchanged2 : parseDecimal(in.value2);
            if (!d2) return refuse(EntryField::Value2, "正しい入庫距離を入力して下さい！");
            r.setDistance1(*d1);
            r.setDistance2(*d2);
            if (!in.third) return refuse(EntryField::ThirdList, itemMessage);
            r.setItem(static_cast<std::int16_t>(*in.third));
            break;
        }
        case RecordKind::Refuelling: {
            const auto quantity = in.unchanged1 ? in.unchanged1 : parseDecimal(in.value1);
            if (!quantity) return refuse(EntryField::Value1, "正しい給油量を入力して下さい！");
            r.setDistance2(*quantity);
            if (!in.third) return refuse(EntryField::ThirdList, itemMessage);
            r.setPlace(static_cast<std::int16_t>(*in.third));
            break;
        }
        default: {
            if (in.kind == RecordKind::Maintenance) {
                const auto distance =
                    in.unchanged1 ? in.unchanged1 : parseDecimal(in.value1);
                if (!distance) return refuse(EntryField::Value1, "正しい距離を入力して下さい！");
                r.setDistance1(*distance);
            }
            if (!in.third) return refuse(EntryField::ThirdList, itemMessage);
            r.setItem(static_cast<std::int16_t>(*in.third));
            if (!in.shop) return refuse(EntryField::ShopList, itemMessage);
            r.setPlace(static_cast<std::int16_t>(*in.shop));
            break;
        }
    }
    return r;
}

ItemKind thirdListKind(RecordKind kind) {
    switch (kind) {
        case RecordKind::Refuelling: return ItemKind::GasStation;
        case RecordKind::Maintenance: return ItemKind::MaintenanceItem;
        case RecordKind::Expense: return ItemKind::ExpenseItem;
        default: return ItemKind::Purpose;
    }
}

EntryCaption parseEntryCaption(std::string_view utf8) {
    EntryCaption caption;
    for (const RecordKind k :
         {RecordKind::Refuelling, RecordKind::Maintenance, RecordKind::Expense})
        if (utf8.starts_with(recordKindName(k))) caption.kind = k;
    caption.add = utf8.ends_with("追加");
    return caption;
}

const DataRecord& RecordEntry::load(const std::string& programFolder, const std::string& dataFolder,
                                    int row) {
    position_.reset();
    loaded_.reset();
    stored_.reset();
    const std::int64_t position = readRowIndex(programFolder + kRowIndexFileName, row - 1);
    loaded_ = RecordStore(dataFolder).read(position);
    position_ = position;
    return *loaded_;
}

const DataRecord& RecordEntry::loadStored(const StoredRecord& stored) {
    stored_ = stored;
    loaded_ = stored.record;
    position_ = stored.id;
    return *loaded_;
}

EntryPickLists RecordEntry::pickLists(const std::string& dataFolder) const {
    const ItemStore items(dataFolder);
    if (!items.exists()) return {};
    return pickLists(items.readAll());
}

EntryPickLists RecordEntry::pickLists(const std::vector<ItemRecord>& all) const {
    EntryPickLists lists;
    const auto third = static_cast<std::int16_t>(thirdListKind(kind_));
    for (std::size_t i = 0; i < all.size(); ++i) {
        const ItemRecord& item = all[i];
        if (item.deleted()) continue;
        EntryPickList* list = nullptr;
        if (item.kind() == static_cast<std::int16_t>(ItemKind::Vehicle))
            list = &lists.vehicles;
        else if (item.kind() == static_cast<std::int16_t>(ItemKind::User))
            list = &lists.users;
        else if (item.kind() == third)
            list = &lists.thirds;
        else if (item.kind() == static_cast<std::int16_t>(ItemKind::Shop))
            list = &lists.shops;
        if (!list) continue;
        list->names.push_back(item.name());
        list->positions.push_back(static_cast<int>(i));
    }
    // The third list and, for maintenance and expenses, the shop list end with "その他".
    lists.thirds.offersOther = true;
    lists.shops.offersOther = kind_ == RecordKind::Maintenance || kind_ == RecordKind::Expense;

    if (loaded_) {
        const ItemNames names(all);
        auto own = [&](EntryPickList& list, int reference) {
            list.own = EntryPickList::Own{reference, names.nameAt(reference)};
        };
        own(lists.vehicles, loaded_->vehicle());
        own(lists.users, loaded_->user());
        own(lists.thirds, kind_ == RecordKind::Refuelling ? loaded_->place() : loaded_->item());
        if (lists.shops.offersOther) own(lists.shops, loaded_->place());
    }
    return lists;
}

EntryResult RecordEntry::build(EntryInput in) const {
    in.kind = kind_;
    return buildEntryRecord(in);
}

StoredRecord RecordEntry::saveTo(DataStore& store, const DataRecord& record,
                                 const std::string& saveKey) const {
    if (stored_) return store.editRecord(*stored_, record, saveKey);
    return store.addRecord(record, saveKey);
}

bool RecordEntry::stillLoaded(const std::string& dataFolder) const {
    const RecordStore records(dataFolder);
    if (!position_ || !loaded_ || !records.exists()) return false;
    if (*position_ >= records.count()) return false;
    return records.read(*position_) == *loaded_;
}

}  // namespace quil::store
