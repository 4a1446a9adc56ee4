// The record an entry builds and the order of its checks, without any widget.

#include <gtest/gtest.h>

#include "store/EntryParse.h"
#include "store/RecordEntry.h"

using namespace quil::store;

namespace {

EntryInput valid(int kind) {
    EntryInput in;
    in.kind = static_cast<RecordKind>(kind);
    in.stamp = 45000.5;
    in.day = encodeDate(2024, 5, 10);
    in.startHour = "8", in.startMinute = "0", in.endHour = "17", in.endMinute = "30";
    in.vehicle = 0, in.user = 1, in.third = 3, in.shop = 7;
    in.value1 = "12.5", in.value2 = "1000", in.value3 = "80";
    in.remarks = "備考";
    return in;
}

EntryRefusal refusalOf(const EntryInput& in) {
    const EntryResult r = buildEntryRecord(in);
    EXPECT_TRUE(std::holds_alternative<EntryRefusal>(r));
    return std::holds_alternative<EntryRefusal>(r) ? std::get<EntryRefusal>(r) : EntryRefusal{};
}

}  // namespace

TEST(RecordEntry, BuildsEachKindsFieldsAndTheFixedValues) {
    const DataRecord d = std::get<DataRecord>(buildEntryRecord(valid(0)));
    EXPECT_EQ(d.signature(), "QD");
    EXPECT_EQ(d.version(), 101);
    EXPECT_EQ(d.stamp(), 45000.5);
    EXPECT_EQ(d.date(), encodeDate(2024, 5, 10) + encodeTime(8, 0));
    EXPECT_EQ(d.returnTime(), encodeDate(2024, 5, 10) + encodeTime(17, 30));
    EXPECT_EQ(d.distance1(), 12.5);
    EXPECT_EQ(d.distance2(), 1000);
    EXPECT_EQ(d.destination(), "80");
    EXPECT_EQ(d.item(), 3);
    EXPECT_EQ(d.place(), -1);
    EXPECT_EQ(d.reserved66(), -1);
    EXPECT_EQ(d.price(), 0);
    EXPECT_EQ(d.remarks(), "備考");

    const DataRecord f = std::get<DataRecord>(buildEntryRecord(valid(1)));
    EXPECT_EQ(f.date(), encodeDate(2024, 5, 10));
    EXPECT_EQ(f.distance2(), 12.5);
    EXPECT_EQ(f.price(), 1000);
    EXPECT_EQ(f.tax(), 80);
    EXPECT_EQ(f.item(), -1);
    EXPECT_EQ(f.place(), 3);
    EXPECT_EQ(f.returnTime(), 0);

    const DataRecord m = std::get<DataRecord>(buildEntryRecord(valid(2)));
    EXPECT_EQ(m.distance1(), 12.5);
    EXPECT_EQ(m.item(), 3);
    EXPECT_EQ(m.place(), 7);

    EntryInput e = valid(3);
    e.value1 = "not read";
    const DataRecord x = std::get<DataRecord>(buildEntryRecord(e));
    EXPECT_EQ(x.distance1(), 0);
    EXPECT_EQ(x.distance2(), 0);
    EXPECT_EQ(x.kind(), 3);
    EXPECT_EQ(x.destination(), "");
}

TEST(RecordEntry, TwoDigitYearsAreCorrected) {
    EntryInput in = valid(1);
    in.day = encodeDate(3, 1, 2);
    EXPECT_EQ(std::get<DataRecord>(buildEntryRecord(in)).date(), encodeDate(2003, 1, 2));
    in.day = encodeDate(75, 1, 2);
    EXPECT_EQ(std::get<DataRecord>(buildEntryRecord(in)).date(), encodeDate(1975, 1, 2));
}

TEST(RecordEntry, ChecksRunInTheirFixedOrder) {
    // Everything wrong at once: each fix uncovers the next check's message.
    EntryInput in = valid(0);
    in.day.reset();
    in.vehicle.reset();
    in.user.reset();
    in.startHour = "24";
    in.endMinute = "60";
    in.value1 = "x";
    in.value2 = "y";
    in.third.reset();
    const std::pair<EntryField, const char*> expected[] = {
        {EntryField::Date, "正しい日付を入力して下さい！"},
        {EntryField::Vehicle, "車両を選択して下さい！"},
        {EntryField::User, "使用者を選択して下さい！"},
        {EntryField::StartTime, "正しい時間を入力して下さい！"},
        {EntryField::EndTime, "正しい時間を入力して下さい！"},
        {EntryField::Value1, "正しい出庫距離を入力して下さい！"},
        {EntryField::Value2, "正しい入庫距離を入力して下さい！"},
        {EntryField::ThirdList, "項目を選択して下さい！"},
    };
    for (const auto& [field, message] : expected) {
        EXPECT_EQ(refusalOf(in), (EntryRefusal{field, message}));
        switch (field) {
            case EntryField::Date: in.day = encodeDate(2024, 1, 1); break;
            case EntryField::Vehicle: in.vehicle = 0; break;
            case EntryField::User: in.user = 1; break;
            case EntryField::StartTime: in.startHour = "23"; break;
            case EntryField::EndTime: in.endMinute = "59"; break;
            case EntryField::Value1: in.value1 = "1"; break;
            case EntryField::Value2: in.value2 = "2"; break;
            default: in.third = -1; break;
        }
    }
    EXPECT_TRUE(std::holds_alternative<DataRecord>(buildEntryRecord(in)));

    EntryInput cost = valid(2);
    cost.value2 = "1,000";
    cost.value3 = "x";
    cost.value1 = "y";
    cost.shop.reset();
    EXPECT_EQ(refusalOf(cost), (EntryRefusal{EntryField::Value2, "正しい金額を入力して下さい！"}));
    cost.value2 = "-5";
    EXPECT_EQ(refusalOf(cost),
              (EntryRefusal{EntryField::Value3, "正しい消費税額を入力して下さい！"}));
    cost.value3 = "0";
    EXPECT_EQ(refusalOf(cost), (EntryRefusal{EntryField::Value1, "正しい距離を入力して下さい！"}));
    cost.value1 = "0";
    EXPECT_EQ(refusalOf(cost), (EntryRefusal{EntryField::ShopList, "項目を選択して下さい！"}));
    EntryInput fuel = valid(1);
    fuel.value1 = "";
    EXPECT_EQ(refusalOf(fuel),
              (EntryRefusal{EntryField::Value1, "正しい給油量を入力して下さい！"}));
}

TEST(EntryParse, CalendarDaysAsSpreadsheetsWriteThem) {
    EXPECT_EQ(parseCalendarDay("2024/01/05"), encodeDate(2024, 1, 5));
    EXPECT_EQ(parseCalendarDay("2024-1-5"), encodeDate(2024, 1, 5));
    EXPECT_EQ(parseCalendarDay("2024/2/29"), encodeDate(2024, 2, 29));
    for (const char* bad : {"", "2024", "2024/01", "2023/02/29", "2024/13/01", "2024/01-05",
                            "2024/01/05 0:00", "20240105", "2024//05", "12345/1/1", "2024/001/1"})
        EXPECT_FALSE(parseCalendarDay(bad)) << bad;
}
