#include "store/Records.h"

#include <gtest/gtest.h>

#include <cstring>

#include "store/Codec.h"

using namespace quil::store;

namespace {

std::string bytesAt(const std::array<std::uint8_t, 256>& b, std::size_t off, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data() + off), n);
}
std::string bytesAt(const std::array<std::uint8_t, 128>& b, std::size_t off, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data() + off), n);
}

}  // namespace

TEST(ItemRecordLayout, FieldsLandAtTheirOffsetsLittleEndian) {
    ItemRecord r;
    r.setStamp(37987.5);
    r.setKind(ItemKind::GasStation);
    r.setOrder(999);
    r.setDeleted(true);
    r.setOdometer(12345.6);
    r.setRegistered(37987.0);
    r.setVehicleType(3);
    r.setReserved70(-2);
    r.setReserved72(7);
    r.setFuel(1);
    const auto& b = r.bytes();
    EXPECT_EQ(bytesAt(b, 0, 4), std::string("\x02QI\x00", 4));
    double stamp;
    std::memcpy(&stamp, b.data() + 4, 8);
    EXPECT_EQ(stamp, 37987.5);
    EXPECT_EQ(bytesAt(b, 12, 2), std::string("\x65\x00", 2));  // 101
    EXPECT_EQ(b[14], 1);
    EXPECT_EQ(b[15], 0);
    EXPECT_EQ(bytesAt(b, 16, 2), std::string("\x03\x00", 2));
    EXPECT_EQ(bytesAt(b, 18, 2), std::string("\xE7\x03", 2));  // 999
    double odo;
    std::memcpy(&odo, b.data() + 52, 8);
    EXPECT_EQ(odo, 12345.6);
    EXPECT_EQ(bytesAt(b, 68, 8), std::string("\x03\x00\xFE\xFF\x07\x00\x01\x00", 8));
    for (std::size_t off : {3u, 51u, 121u, 127u}) EXPECT_EQ(b[off], 0) << off;
}

TEST(ItemRecordLayout, NamesOfThirtyBytesFillTheFieldAndLongerOnesAreCut) {
    ItemRecord r;
    std::string thirty(30, 'A');
    r.setName(thirty);
    EXPECT_EQ(r.bytes()[20], 30);
    EXPECT_EQ(bytesAt(r.bytes(), 21, 30), thirty);
    EXPECT_EQ(r.bytes()[51], 0);

    r.setName(thirty + "B");
    EXPECT_EQ(r.bytes()[20], 30);
    EXPECT_EQ(r.name(), thirty);

    // A two-byte character at bytes 30-31 does not fit: 29 bytes are stored.
    r.setName(std::string(29, 'x') + "車");
    EXPECT_EQ(r.bytes()[20], 29);
    EXPECT_EQ(r.bytes()[50], 0);
    EXPECT_EQ(r.name(), std::string(29, 'x'));

    r.setName("オイル交換");
    EXPECT_EQ(bytesAt(r.bytes(), 20, 11), "\x0A" + toCp932("オイル交換"));
    EXPECT_EQ(r.name(), "オイル交換");
}

TEST(ItemRecordLayout, ShorterNameClearsTheRestOfTheField) {
    ItemRecord r;
    r.setName("ABCDEFGHIJ");
    r.setName("AB");
    EXPECT_EQ(bytesAt(r.bytes(), 20, 11), std::string("\x02"
                                                      "AB\0\0\0\0\0\0\0\0",
                                                      11));
}

TEST(ItemRecordLayout, VehicleStringsHaveTheirOwnLimits) {
    ItemRecord r;
    r.setPlateRegion("品川品川品川");  // 12 bytes, limit 10
    r.setPlateClass("5000");
    r.setPlateKana("さ");
    r.setPlateSerial1("12");
    r.setPlateSerial2("345");
    r.setRemarks(std::string(25, 'r'));
    EXPECT_EQ(r.bytes()[76], 10);
    EXPECT_EQ(r.plateRegion(), "品川品川品");
    EXPECT_EQ(bytesAt(r.bytes(), 87, 4), std::string("\x03"
                                                     "500",
                                                     4));
    EXPECT_EQ(bytesAt(r.bytes(), 91, 3), "\x02" + toCp932("さ"));
    EXPECT_EQ(bytesAt(r.bytes(), 94, 3),
              "\x02"
              "12");
    EXPECT_EQ(bytesAt(r.bytes(), 97, 3),
              "\x02"
              "34");
    EXPECT_EQ(r.bytes()[100], 20);
    EXPECT_EQ(r.remarks().size(), 20u);
}

TEST(ItemRecordLayout, LengthByteAboveTheLimitIsClampedOnReading) {
    std::array<std::uint8_t, 128> raw{};
    raw[20] = 200;  // damaged: far beyond 30
    std::memset(raw.data() + 21, 'N', 30);
    std::memset(raw.data() + 51, 'X', 77);  // what follows must not be read as name
    ItemRecord r(raw.data());
    EXPECT_EQ(r.name(), std::string(30, 'N'));
    raw[0] = 9;
    EXPECT_EQ(ItemRecord(raw.data()).signature().size(), 2u);
}

TEST(DataRecordLayout, FieldsLandAtTheirOffsets) {
    DataRecord r;
    r.setKind(RecordKind::Maintenance);
    r.setDeleted(true);
    r.setDate(38000.25);
    r.setVehicle(0);
    r.setUser(-1);
    r.setDistance1(1.5);
    r.setDistance2(2.5);
    r.setPrice(123456);
    r.setTax(-7);
    r.setItem(4);
    r.setReserved66(-1);
    r.setPlace(12);
    r.setRemarks("備考");
    r.setReturnTime(38000.5);
    r.setDestination("東京");
    const auto& b = r.bytes();
    EXPECT_EQ(bytesAt(b, 0, 4), std::string("\x02QD\x00", 4));
    EXPECT_EQ(bytesAt(b, 12, 5), std::string("\x65\x00\x02\x00\x01", 5));
    EXPECT_EQ(bytesAt(b, 17, 3), std::string(3, '\0'));
    double d;
    std::memcpy(&d, b.data() + 20, 8);
    EXPECT_EQ(d, 38000.25);
    EXPECT_EQ(bytesAt(b, 28, 4), std::string("\x00\x00\xFF\xFF", 4));
    EXPECT_EQ(bytesAt(b, 52, 12), std::string("\x40\xE2\x01\x00\0\0\0\0\xF9\xFF\xFF\xFF", 12));
    EXPECT_EQ(bytesAt(b, 64, 6), std::string("\x04\x00\xFF\xFF\x0C\x00", 6));
    EXPECT_EQ(bytesAt(b, 70, 5), "\x04" + toCp932("備考"));
    std::memcpy(&d, b.data() + 176, 8);
    EXPECT_EQ(d, 38000.5);
    EXPECT_EQ(bytesAt(b, 184, 5), "\x04" + toCp932("東京"));
    EXPECT_EQ(b[225], 0);
    EXPECT_EQ(b[171], 0);
}

TEST(DataRecordLayout, RemarksAndDestinationAreCutAtCharacterBoundaries) {
    DataRecord r;
    r.setRemarks(std::string(99, 'a') + "あ");
    EXPECT_EQ(r.bytes()[70], 99);
    r.setDestination(std::string(41, 'd'));
    EXPECT_EQ(r.bytes()[184], 40);
    EXPECT_EQ(r.bytes()[225], 0);  // the destination did not spill into the next field
}

TEST(RecordOrder, OrdersByDateThenVehicleThenUserAsSignedValues) {
    DataRecord a, b;
    a.setDate(10);
    b.setDate(9.5);
    EXPECT_TRUE(sortsAfter(a, b));
    EXPECT_FALSE(sortsAfter(b, a));
    b.setDate(10);
    a.setVehicle(-1);
    b.setVehicle(0);
    EXPECT_TRUE(sortsAfter(b, a));
    b.setVehicle(-1);
    a.setUser(3);
    b.setUser(3);
    EXPECT_FALSE(sortsAfter(a, b));
    EXPECT_FALSE(sortsAfter(b, a));
}

TEST(KindNames, KindNamesAndFallbacks) {
    EXPECT_EQ(itemKindName(1), "車両");
    EXPECT_EQ(itemKindName(4), "点検・整備項目名");
    EXPECT_EQ(itemKindName(7), "店");
    EXPECT_EQ(itemKindName(0), "車両");
    EXPECT_EQ(itemKindName(99), "車両");
    EXPECT_EQ(recordKindName(2), "点検・整備記録");
}

TEST(FirstRunItems, SevenItemsInOrder) {
    auto items = firstRunItems(40000.75, 40000.0);
    const char* names[] = {
        "車両1", "使用者1", "配達", "営業", "オイル交換", "オイルフィルター交換", "有料道路代"};
    const int kinds[] = {1, 2, 6, 6, 4, 4, 5};
    const int orders[] = {1, 1, 1, 2, 1, 2, 1};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(items[i].name(), names[i]);
        EXPECT_EQ(items[i].kind(), kinds[i]);
        EXPECT_EQ(items[i].order(), orders[i]);
        EXPECT_EQ(items[i].stamp(), 40000.75);
        EXPECT_EQ(items[i].registered(), 40000.0);
        EXPECT_EQ(items[i].signature(), "QI");
        EXPECT_EQ(items[i].version(), 101);
        EXPECT_FALSE(items[i].deleted());
    }
}
