#include "folder/LegacyConverter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "folder/LegacyLayout.h"
#include "store/Codec.h"
#include "store/Date.h"
#include "store/StoreError.h"

namespace quil::folder::legacy {

using namespace quil::store;

namespace {

constexpr std::size_t kVehicleSize = 256, kItemSize = 128, kDaySize = 64, kGasSize = 128,
                      kMaintenanceSize = 128, kExpenseSize = 256;

std::string format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

std::int16_t low16(std::int32_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }

}  // namespace

std::int32_t includedTax(std::int32_t amount, int year, int month, int day) {
    const long long d = year * 10000LL + month * 100LL + day;
    const int rate = d < 19880401 ? 0 : d <= 19970331 ? 3 : 5;
    return static_cast<std::int32_t>(
        std::nearbyint(static_cast<double>(amount) * rate / (100 + rate)));
}

LegacyConverter::LegacyConverter(std::string folder, double stamp, double today, int currentYear,
                                 FileSystem& fs)
    : folder_(std::move(folder)),
      stamp_(stamp),
      today_(today),
      currentYear_(currentYear),
      fs_(fs) {}

namespace {

std::string cutShort(const std::string& name, std::uint64_t extra) {
    return name + " の最後の記録が途中で切れています（" + std::to_string(extra) +
           " バイト）。ファイルが壊れているため読み込めません。";
}

}  // namespace

std::optional<std::string> LegacyConverter::readFile(const std::string& name,
                                                     std::size_t recordSize) {
    const std::string path = folder_ + name;
    if (!fs_.exists(path)) return std::nullopt;
    auto f = fs_.open(path, OpenMode::Read);
    const std::uint64_t size = f->size();
    // A file cut short would lose its last vehicle, day or record without a word.
    if (size % recordSize != 0) throw LegacyDataError(cutShort(name, size % recordSize));
    std::string bytes(size, '\0');
    if (f->readAt(0, bytes.data(), size) != size)
        throw StoreError(name, "ファイルを最後まで読めませんでした。");
    return bytes;
}

void LegacyConverter::convertItems() {
    auto cars = readFile("Car.dat", kVehicleSize);
    int version = 0;
    const std::size_t count = cars ? cars->size() / kVehicleSize : 0;
    // Without a vehicle there is nothing to convert, and the data set must not be replaced
    // by an empty one.
    if (count == 0) throw LegacyDataError("Car.dat に車両がありません。読み込むデータがありません。");
    for (std::size_t i = 0; i < count; ++i) {
        LegacyBytes b(cars->data() + i * kVehicleSize, kVehicleSize);
        const int n = static_cast<int>(i) + 1;
        version = b.i32(0);
        const int y = b.i32(32), m = b.i32(36), d = b.i32(40);
        if (!isValidDate(y, static_cast<unsigned>(m), static_cast<unsigned>(d)))
            throw LegacyDataError(
                format("Car.datの車両%dの登録年月日(%d年%d月%d日)が正しくありま"
                       "せん。",
                       n, y, m, d));
        ItemRecord item;
        item.setStamp(stamp_);
        item.setKind(ItemKind::Vehicle);
        item.setOrder(static_cast<std::int16_t>(n));
        // The name field runs into the odometer at offset 28: 23 bytes at most.
        putShortString(item.data(), 20, 30, b.str(4, 23));
        item.setOdometer(b.f32(28));
        item.setRegistered(encodeDate(y, static_cast<unsigned>(m), static_cast<unsigned>(d)));
        item.setVehicleType(b.i16(56));
        if (version >= 111) {
            putShortString(item.data(), 76, 10, b.str(60, 10));
            putShortString(item.data(), 87, 3, b.str(71, 3));
            putShortString(item.data(), 91, 2, b.str(75, 2));
            putShortString(item.data(), 94, 2, b.str(78, 2));
            putShortString(item.data(), 97, 2, b.str(81, 2));
            putShortString(item.data(), 100, 20, b.str(84, 20));
            item.setReserved70(low16(b.i32(136)));
            item.setReserved72(low16(b.i32(140)));
        }
        items_.push_back(item);
        vehicles_.push_back({b.i32(44)});
    }
    maintenanceMap_ = convertList("mente.dat", ItemKind::MaintenanceItem, version);
    stationMap_ = convertList("gasstd.dat", ItemKind::GasStation, version);
    expenseMap_ = convertList("kane.dat", ItemKind::ExpenseItem, version);

    struct Fixed {
        ItemKind kind;
        std::int16_t order;
        const char* name;
    };
    for (const Fixed& f : {Fixed{ItemKind::User, 1, "使用者1"}, Fixed{ItemKind::Purpose, 1, "配達"},
                           Fixed{ItemKind::Purpose, 2, "営業"}}) {
        ItemRecord item;
        item.setStamp(stamp_);
        item.setKind(f.kind);
        item.setOrder(f.order);
        item.setName(f.name);
        item.setRegistered(today_);
        if (f.kind == ItemKind::User) user_ = static_cast<int>(items_.size());
        items_.push_back(item);
    }
}

std::vector<int> LegacyConverter::convertList(const char* file, ItemKind kind, int dataSetVersion) {
    std::vector<int> map;
    auto list = readFile(file, kItemSize);
    if (!list) return map;
    const std::string oilChange = toCp932("オイル交換");
    const std::string oilFilter = toCp932("オイルフィルター交換");
    for (std::size_t off = 0; off < list->size(); off += kItemSize) {
        LegacyBytes b(list->data() + off, kItemSize);
        ItemRecord item;
        item.setStamp(stamp_);
        item.setKind(kind);
        item.setOrder(static_cast<std::int16_t>(map.size() + 1));
        putShortString(item.data(), 20, 30, b.str(8, 30));
        item.setOdometer(b.i32(52));
        item.setVehicleType(b.i16(56));
        item.setReserved70(low16(b.i32(60)));
        item.setReserved72(b.byte(64));
        item.setRegistered(today_);
        if (kind == ItemKind::MaintenanceItem && dataSetVersion < 113) {
            const std::string_view name = b.str(8, 30);
            const bool oil = name == oilChange, filter = name == oilFilter;
            item.setOdometer(oil ? 3000 : filter ? 6000 : 0);
            item.setReserved70(oil ? 6 : filter ? 12 : 0);
        }
        map.push_back(static_cast<int>(items_.size()));
        items_.push_back(item);
    }
    return map;
}

std::int64_t LegacyConverter::countRecords() {
    auto records = [this](const std::string& name, std::size_t size) -> std::int64_t {
        const std::string path = folder_ + name;
        if (!fs_.exists(path)) return 0;
        const std::uint64_t bytes = fs_.open(path, OpenMode::Read)->size();
        if (bytes % size != 0) throw LegacyDataError(cutShort(name, bytes % size));
        return static_cast<std::int64_t>(bytes / size);
    };
    std::int64_t total = 0;
    for (std::size_t i = 0; i < vehicles_.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        for (int y = std::max(vehicles_[i].firstYear, 1); y <= currentYear_; ++y)
            total += records("Run" + std::to_string(y) + ".d" + n, kDaySize);
        total += records("gas.d" + n, kGasSize) + records("mente.d" + n, kMaintenanceSize) +
                 records("kane.d" + n, kExpenseSize);
    }
    total_ = total;
    return total;
}

void LegacyConverter::tick(const ImportProgress& progress, std::int64_t n) {
    done_ += n;
    if (!progress || done_ - reported_ < 4096) return;
    reported_ = done_;
    if (!progress(done_, total_)) throw ImportCancelled{};
}

void LegacyConverter::convertRecords(const ImportProgress& progress) {
    using Pass = std::int64_t (LegacyConverter::*)(int);
    for (Pass pass : {&LegacyConverter::drivingPass, &LegacyConverter::refuellingPass,
                      &LegacyConverter::maintenancePass, &LegacyConverter::expensePass}) {
        for (std::size_t n = 1; n <= vehicles_.size(); ++n)
            tick(progress, (this->*pass)(static_cast<int>(n)));
    }
    if (progress && !progress(done_, total_)) throw ImportCancelled{};
}

DataRecord LegacyConverter::newRecord(RecordKind kind, int vehicle) const {
    DataRecord r;
    r.setStamp(stamp_);
    r.setKind(kind);
    r.setVehicle(static_cast<std::int16_t>(vehicle - 1));
    r.setUser(static_cast<std::int16_t>(user_));
    return r;
}

double LegacyConverter::recordDate(const RecordAt& at) {
    if (isValidDate(at.y, static_cast<unsigned>(at.m), static_cast<unsigned>(at.d)))
        return encodeDate(at.y, static_cast<unsigned>(at.m), static_cast<unsigned>(at.d));
    problems_.push_back(format("%s:車両%d %d年%d月%d日", at.label, at.vehicle, at.y, at.m, at.d));
    return today_;
}

std::int16_t LegacyConverter::mapped(const std::vector<int>& map, int number, const RecordAt& at) {
    if (number <= 0) return -1;
    if (static_cast<std::size_t>(number) <= map.size())
        return static_cast<std::int16_t>(map[static_cast<std::size_t>(number) - 1]);
    problems_.push_back(format("%s:車両%d %d年%d月%d日 番号%dは一覧にありません(%s)", at.label,
                               at.vehicle, at.y, at.m, at.d, number, at.file.c_str()));
    return -1;
}

}  // namespace quil::folder::legacy
