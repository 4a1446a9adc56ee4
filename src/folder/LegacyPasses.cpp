// The four record passes of the legacy import and the order of the records they build.

#include <algorithm>
#include <numeric>

#include "folder/LegacyConverter.h"
#include "folder/LegacyLayout.h"
#include "store/Date.h"

namespace quil::folder::legacy {

using namespace quil::store;

namespace {
constexpr std::size_t kDaySize = 64, kGasSize = 128, kMaintenanceSize = 128, kExpenseSize = 256;
constexpr const char* kGasLabel = "ガソリンデータ";
constexpr const char* kMaintenanceLabel = "点検・整備データ";
constexpr const char* kExpenseLabel = "出費データ";

// Remarks and a note in brackets, "remarks(note)": the remarks cut to `remarksBytes`, the
// note to what is left of `totalBytes` after them and the opening bracket.
std::string withNote(std::string_view remarks, std::size_t remarksBytes, std::string_view note,
                     std::size_t totalBytes) {
    std::string out = cutCp932(remarks, remarksBytes) + "(";
    out += cutCp932(note, totalBytes - out.size()) + ")";
    return out;
}

}  // namespace

std::int64_t LegacyConverter::drivingPass(int n) {
    auto& out = passes_[0];
    std::int64_t read = 0;
    for (int y = std::max(vehicles_[static_cast<std::size_t>(n) - 1].firstYear, 1);
         y <= currentYear_; ++y) {
        auto file = readFile("Run" + std::to_string(y) + ".d" + std::to_string(n), kDaySize);
        if (!file) continue;
        const double first = encodeDate(y, 1, 1);
        for (std::size_t i = 0; i < file->size() / kDaySize; ++i) {
            LegacyBytes b(file->data() + i * kDaySize, kDaySize);
            const float departure = b.f32(4), arrival = b.f32(8);
            const std::string_view remarks = b.str(13, 40);
            if (!(departure > 0 || arrival > 0 || b.byte(12) != 0 || !remarks.empty())) continue;
            const bool hasFlags = b.i32(0) >= 115;
            DataRecord r = newRecord(RecordKind::Driving, n);
            r.setDate(first + static_cast<double>(i));
            r.setDistance1(departure);
            r.setDistance2(arrival);
            r.setReserved48(hasFlags ? b.byte(54) : 0);
            r.setReserved49(hasFlags ? b.byte(55) : 0);
            r.setItem(-1);
            putShortString(r.data(), 70, 100, remarks);
            out.push_back(r);
        }
        read += static_cast<std::int64_t>(file->size() / kDaySize);
    }
    return read;
}

template <typename Fill>
std::int64_t LegacyConverter::datedPass(const char* prefix, int n, std::size_t size,
                                        RecordKind kind, const char* label, Fill fill) {
    const std::string name = prefix + (".d" + std::to_string(n));
    auto file = readFile(name, size);
    if (!file) return 0;
    auto& out = passes_[static_cast<std::size_t>(kind)];
    for (std::size_t off = 0; off < file->size(); off += size) {
        LegacyBytes b(file->data() + off, size);
        const RecordAt at{label, name, n, b.i32(4), b.i32(8), b.i32(12)};
        DataRecord r = newRecord(kind, n);
        r.setDate(recordDate(at));
        fill(b, r, at);
        out.push_back(r);
    }
    return static_cast<std::int64_t>(file->size() / size);
}

std::int64_t LegacyConverter::refuellingPass(int n) {
    return datedPass("gas", n, kGasSize, RecordKind::Refuelling, kGasLabel,
                     [this](const LegacyBytes& b, DataRecord& r, const RecordAt& at) {
                         r.setDistance1(b.f32(16));
                         r.setDistance2(b.f32(20));
                         r.setPrice(b.i32(24));
                         r.setTax(b.i32(28));
                         r.setItem(b.byte(36));
                         r.setReserved66(b.byte(37));
                         r.setPlace(mapped(stationMap_, b.i32(32), at));
                         putShortString(r.data(), 70, 100, b.str(38, 89));
                     });
}

std::int64_t LegacyConverter::maintenancePass(int n) {
    return datedPass("mente", n, kMaintenanceSize, RecordKind::Maintenance, kMaintenanceLabel,
                     [this](const LegacyBytes& b, DataRecord& r, const RecordAt& at) {
                         const std::int32_t amount = b.i32(24);
                         std::int32_t price = amount, tax = b.i32(72);
                         std::string_view textB = b.str(76, 51);
                         if (b.i32(0) < 110) {
                             // The amount includes the tax: the price before tax is what remains.
                             tax = includedTax(amount, at.y, at.m, at.d);
                             price = amount - tax;
                             textB = {};
                         }
                         r.setDistance1(b.f32(16));
                         r.setPrice(price);
                         r.setTax(tax);
                         r.setItem(mapped(maintenanceMap_, b.i16(20), at));
                         r.setReserved66(-1);
                         r.setPlace(-1);
                         putShortString(r.data(), 70, 100, withNote(b.str(28, 43), 40, textB, 81));
                     });
}

std::int64_t LegacyConverter::expensePass(int n) {
    return datedPass("kane", n, kExpenseSize, RecordKind::Expense, kExpenseLabel,
                     [this](const LegacyBytes& b, DataRecord& r, const RecordAt& at) {
                         r.setPrice(b.i32(64));
                         r.setTax(b.i32(68));
                         r.setItem(mapped(expenseMap_, b.i16(16), at));
                         r.setReserved66(-1);
                         r.setPlace(-1);
                         std::string textAB(b.str(20, 43));
                         textAB += b.str(121, 134);
                         putShortString(r.data(), 70, 100,
                                        withNote(textAB, 80, b.str(80, 40), 121));
                     });
}

std::vector<DataRecord> LegacyConverter::sortedRecords() const {
    // Merging each vehicle's records into the file puts them before records of an equal
    // key already there, so of equal keys the later pass comes first: one stable sort of
    // the passes in reverse order gives the same file.
    std::vector<const DataRecord*> order;
    for (auto pass = passes_.rbegin(); pass != passes_.rend(); ++pass)
        for (const DataRecord& r : *pass) order.push_back(&r);
    std::stable_sort(order.begin(), order.end(),
                     [](const DataRecord* a, const DataRecord* b) { return sortsAfter(*b, *a); });
    std::vector<DataRecord> out;
    out.reserve(order.size());
    for (const DataRecord* r : order) out.push_back(*r);
    return out;
}

std::vector<std::string> LegacyConverter::logLines() const {
    std::vector<std::string> lines = {"ミルテ台帳データ変換ログ", "　"};
    lines.insert(lines.end(), problems_.begin(), problems_.end());
    if (problems_.empty()) lines.push_back("エラーはありませんでした。");
    return lines;
}

}  // namespace quil::folder::legacy
