#include "RecordEntry.h"

#include "EntryParse.h"

namespace quil::store {
namespace {

EntryRefusal refuse(EntryField field, const char* message) { return {field, message}; }

}  // namespace

EntryResult buildEntryRecord(const EntryInput& in) {
    DataRecord r;
    r.setStamp(in.stamp);
    r.setKind(static_cast<std::int16_t>(in.kind));
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

    if (in.kind == 0) {
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
        case 0: {
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
        case 1: {
            const auto quantity = in.unchanged1 ? in.unchanged1 : parseDecimal(in.value1);
            if (!quantity) return refuse(EntryField::Value1, "正しい給油量を入力して下さい！");
            r.setDistance2(*quantity);
            if (!in.third) return refuse(EntryField::ThirdList, itemMessage);
            r.setPlace(static_cast<std::int16_t>(*in.third));
            break;
        }
        default: {
            if (in.kind == 2) {
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

}  // namespace quil::store
