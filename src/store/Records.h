#pragma once
// The two records of the data files: items of the master lists (Quil.qui, 128 bytes)
// and driving, refuelling, maintenance and expense records (Quil.qud, 256 bytes).

#include <array>
#include <optional>
#include <string>

#include "Date.h"
#include "RecordBytes.h"

namespace quil::store {

inline constexpr std::int16_t kFormatVersion = 101;

enum class ItemKind : std::int16_t {
    Vehicle = 1,
    User = 2,
    GasStation = 3,
    MaintenanceItem = 4,
    ExpenseItem = 5,
    Purpose = 6,
    Shop = 7
};

enum class RecordKind : std::int16_t { Driving = 0, Refuelling = 1, Maintenance = 2, Expense = 3 };

// A kind from a number read from a file or a list: nullopt outside 0..3.
constexpr std::optional<RecordKind> recordKindOf(int stored) {
    if (stored < int(RecordKind::Driving) || stored > int(RecordKind::Expense)) return std::nullopt;
    return static_cast<RecordKind>(stored);
}
// The item kind a stored number names; nullopt outside 1..7.
constexpr std::optional<ItemKind> itemKindOf(int stored) {
    if (stored < int(ItemKind::Vehicle) || stored > int(ItemKind::Shop)) return std::nullopt;
    return static_cast<ItemKind>(stored);
}

// "車両", "使用者", ...
std::string itemKindName(ItemKind kind);
// The name of a stored number: any value outside 1..7 is named "車両".
std::string itemKindName(int stored);
// "走行記録", "給油記録", "点検・整備記録", "出費記録".
std::string recordKindName(RecordKind kind);
// The name of a stored number; empty outside 0..3.
std::string recordKindName(int stored);

// The name shown for an item position that refers to no item.
inline constexpr const char* kOtherName = "その他";
// The most CP932 bytes an item's name holds.
inline constexpr int kItemNameBytes = 30;

class ItemRecord : public RecordBytes<128> {
public:
    // A new live item: signature "QI", version 101, everything else zero.
    ItemRecord();
    explicit ItemRecord(const std::uint8_t* raw) : RecordBytes(raw) {}

    std::string_view signature() const { return rawString(0, 2); }
    double stamp() const { return get<double>(4); }
    void setStamp(double v) { set(4, v); }
    std::int16_t version() const { return get<std::int16_t>(12); }
    void setVersion(std::int16_t v) { set(12, v); }
    bool deleted() const { return bytes()[14] != 0; }
    void setDeleted(bool d) { set<std::uint8_t>(14, d ? 1 : 0); }
    std::int16_t kind() const { return get<std::int16_t>(16); }
    void setKind(std::int16_t k) { set(16, k); }
    void setKind(ItemKind k) { setKind(static_cast<std::int16_t>(k)); }
    std::int16_t order() const { return get<std::int16_t>(18); }
    void setOrder(std::int16_t v) { set(18, v); }
    std::string name() const { return text(20, kItemNameBytes); }
    void setName(std::string_view utf8) { setText(20, kItemNameBytes, utf8); }
    std::string_view nameRaw() const { return rawString(20, kItemNameBytes); }
    double odometer() const { return get<double>(52); }
    void setOdometer(double v) { set(52, v); }
    DateTime registered() const { return get<double>(60); }
    void setRegistered(DateTime v) { set(60, v); }
    std::int16_t vehicleType() const { return get<std::int16_t>(68); }
    void setVehicleType(std::int16_t v) { set(68, v); }
    std::int16_t reserved70() const { return get<std::int16_t>(70); }
    void setReserved70(std::int16_t v) { set(70, v); }
    std::int16_t reserved72() const { return get<std::int16_t>(72); }
    void setReserved72(std::int16_t v) { set(72, v); }
    std::int16_t fuel() const { return get<std::int16_t>(74); }
    void setFuel(std::int16_t v) { set(74, v); }
    std::string plateRegion() const { return text(76, 10); }
    void setPlateRegion(std::string_view s) { setText(76, 10, s); }
    std::string plateClass() const { return text(87, 3); }
    void setPlateClass(std::string_view s) { setText(87, 3, s); }
    std::string plateKana() const { return text(91, 2); }
    void setPlateKana(std::string_view s) { setText(91, 2, s); }
    std::string plateSerial1() const { return text(94, 2); }
    void setPlateSerial1(std::string_view s) { setText(94, 2, s); }
    std::string plateSerial2() const { return text(97, 2); }
    void setPlateSerial2(std::string_view s) { setText(97, 2, s); }
    std::string remarks() const { return text(100, 20); }
    void setRemarks(std::string_view s) { setText(100, 20, s); }
};

class DataRecord : public RecordBytes<256> {
public:
    // A new live record: signature "QD", version 101, everything else zero.
    DataRecord();
    explicit DataRecord(const std::uint8_t* raw) : RecordBytes(raw) {}

    std::string_view signature() const { return rawString(0, 2); }
    double stamp() const { return get<double>(4); }
    void setStamp(double v) { set(4, v); }
    std::int16_t version() const { return get<std::int16_t>(12); }
    void setVersion(std::int16_t v) { set(12, v); }
    std::int16_t kind() const { return get<std::int16_t>(14); }
    void setKind(std::int16_t k) { set(14, k); }
    void setKind(RecordKind k) { setKind(static_cast<std::int16_t>(k)); }
    bool deleted() const { return bytes()[16] != 0; }
    void setDeleted(bool d) { set<std::uint8_t>(16, d ? 1 : 0); }
    DateTime date() const { return get<double>(20); }
    void setDate(DateTime v) { set(20, v); }
    std::int16_t vehicle() const { return get<std::int16_t>(28); }
    void setVehicle(std::int16_t v) { set(28, v); }
    std::int16_t user() const { return get<std::int16_t>(30); }
    void setUser(std::int16_t v) { set(30, v); }
    double distance1() const { return get<double>(32); }
    void setDistance1(double v) { set(32, v); }
    double distance2() const { return get<double>(40); }
    void setDistance2(double v) { set(40, v); }
    std::uint8_t reserved48() const { return bytes()[48]; }
    void setReserved48(std::uint8_t v) { set(48, v); }
    std::uint8_t reserved49() const { return bytes()[49]; }
    void setReserved49(std::uint8_t v) { set(49, v); }
    std::int32_t price() const { return get<std::int32_t>(52); }
    void setPrice(std::int32_t v) { set(52, v); }
    std::int32_t reserved56() const { return get<std::int32_t>(56); }
    void setReserved56(std::int32_t v) { set(56, v); }
    std::int32_t tax() const { return get<std::int32_t>(60); }
    void setTax(std::int32_t v) { set(60, v); }
    std::int16_t item() const { return get<std::int16_t>(64); }
    void setItem(std::int16_t v) { set(64, v); }
    std::int16_t reserved66() const { return get<std::int16_t>(66); }
    void setReserved66(std::int16_t v) { set(66, v); }
    std::int16_t place() const { return get<std::int16_t>(68); }
    void setPlace(std::int16_t v) { set(68, v); }
    // The short strings' sizes in CP932 bytes; longer text is cut when set.
    static constexpr std::size_t kRemarksBytes = 100;
    static constexpr std::size_t kDestinationBytes = 40;

    std::string remarks() const { return text(70, kRemarksBytes); }
    void setRemarks(std::string_view s) { setText(70, kRemarksBytes, s); }
    std::string_view remarksRaw() const { return rawString(70, kRemarksBytes); }
    std::int32_t reserved172() const { return get<std::int32_t>(172); }
    void setReserved172(std::int32_t v) { set(172, v); }
    DateTime returnTime() const { return get<double>(176); }
    void setReturnTime(DateTime v) { set(176, v); }
    std::string destination() const { return text(184, kDestinationBytes); }
    void setDestination(std::string_view s) { setText(184, kDestinationBytes, s); }
    std::string_view destinationRaw() const { return rawString(184, kDestinationBytes); }
    std::string_view legacyTextRaw() const { return rawString(225, 30); }
    void setLegacyTextRaw(std::string_view cp932) { setRawString(225, 30, cp932); }
};

static_assert(sizeof(ItemRecord) == ItemRecord::Size);
static_assert(sizeof(DataRecord) == DataRecord::Size);

// True when `a` sorts strictly after `b` on (date, vehicle, user).
bool sortsAfter(const DataRecord& a, const DataRecord& b);

// The item of the given kind that a record refers to in the field belonging to that kind:
// vehicle, user, place (gas station, shop) or item (maintenance item, expense item, purpose).
std::int16_t referenceFor(const DataRecord& r, ItemKind kind);

// The seven items written into a new item master file, in order, with the stamp and the
// registration date given.
std::array<ItemRecord, 7> firstRunItems(double stamp, DateTime registered);

}  // namespace quil::store
