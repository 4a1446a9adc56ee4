#include "folder/DataSetAudit.h"

#include "store/BinaryFile.h"
#include "store/ItemStore.h"
#include "store/NumberFormat.h"
#include "store/RecordStore.h"
#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

namespace {

std::string at(const char* file, std::int64_t position) {
    return std::string(file) + " 位置 " + std::to_string(position) + ": ";
}

// The item kind a field of a record of `kind` refers to; none when the field is not a
// reference for that kind (driving place, refuelling item carry other values).
std::optional<ItemKind> itemFieldKind(std::optional<RecordKind> kind) {
    if (!kind) return std::nullopt;
    switch (*kind) {
        case RecordKind::Driving: return ItemKind::Purpose;
        case RecordKind::Maintenance: return ItemKind::MaintenanceItem;
        case RecordKind::Expense: return ItemKind::ExpenseItem;
        case RecordKind::Refuelling: return std::nullopt;
    }
    return std::nullopt;
}
std::optional<ItemKind> placeFieldKind(std::optional<RecordKind> kind) {
    if (!kind) return std::nullopt;
    switch (*kind) {
        case RecordKind::Refuelling: return ItemKind::GasStation;
        case RecordKind::Maintenance:
        case RecordKind::Expense: return ItemKind::Shop;
        case RecordKind::Driving: return std::nullopt;
    }
    return std::nullopt;
}

std::string dateText(DateTime d) { return formatDate(d) + " " + formatTime(d); }

}  // namespace

std::vector<std::string> auditDataSet(const std::string& dataFolder, DateTime today, FileSystem& fs,
                                      const Progress& progress) {
    std::vector<std::string> problems;
    auto problem = [&](std::string s) { problems.push_back(std::move(s)); };
    const std::string itemPath = dataFolder + kItemFileName;
    const std::string recordPath = dataFolder + kRecordFileName;

    if (!fs.exists(itemPath)) {
        problem(std::string(kItemFileName) + ": ファイルがありません。");
        return problems;
    }
    std::vector<ItemRecord> items;
    {
        std::unique_ptr<File> raw = fs.open(itemPath, OpenMode::Read);
        if (raw->size() % ItemRecord::Size != 0)
            problem(std::string(kItemFileName) + ": 大きさ " + std::to_string(raw->size()) +
                    " バイトは 128 の倍数ではありません。");
        items = ItemStore(dataFolder, fs).readAll();
    }
    if (items.empty()) {
        problem(std::string(kItemFileName) + ": 項目がありません。");
        return problems;
    }
    const double stamp = items[0].stamp();
    for (std::size_t p = 0; p < items.size(); ++p) {
        const ItemRecord& it = items[p];
        const std::string where = at(kItemFileName, std::int64_t(p));
        if (it.signature() != "QI") problem(where + "署名が QI ではありません。");
        if (it.version() != kFormatVersion)
            problem(where + "版 " + std::to_string(it.version()) + " は 101 ではありません。");
        if (it.stamp() != stamp) problem(where + "データセットの日時が位置 0 と異なります。");
        if (!itemKindOf(it.kind()))
            problem(where + "種類 " + std::to_string(it.kind()) + " は不明です。");
    }

    if (!fs.exists(recordPath)) return problems;
    const std::uint64_t size = fs.open(recordPath, OpenMode::Read)->size();
    if (size % DataRecord::Size != 0)
        problem(std::string(kRecordFileName) + ": 大きさ " + std::to_string(size) +
                " バイトは 256 の倍数ではありません。");
    // The older format has records of another size; they are judged by record 0.
    if (size >= 14) {
        const auto header = readFileHeader(recordPath, fs);
        if (header->version < kFormatVersion) {
            problem(std::string(kRecordFileName) + ": 版 " + std::to_string(header->version) +
                    " の古い形式です（プログラムの起動時に変換されます）。");
            return problems;
        }
    }

    auto reference = [&](const std::string& where, const char* field, int position,
                         ItemKind wantKind, bool allowNone) {
        if (position == -1 && allowNone) return;
        if (position < 0 || std::size_t(position) >= items.size()) {
            problem(where + field + " " + std::to_string(position) + " の項目はありません。");
            return;
        }
        if (items[std::size_t(position)].kind() != static_cast<std::int16_t>(wantKind))
            problem(where + field + " " + std::to_string(position) + " は" +
                    itemKindName(wantKind) + "ではありません。");
    };
    const RecordStore records(dataFolder, fs);
    const std::int64_t total = records.count();
    const DateTime tomorrow = dateOnly(today) + 1;
    DataRecord previous;
    records.scan([&](std::int64_t pos, const DataRecord& r) {
        const std::string where = at(kRecordFileName, pos);
        if (r.signature() != "QD") problem(where + "署名が QD ではありません。");
        if (r.version() != kFormatVersion)
            problem(where + "版 " + std::to_string(r.version()) + " は 101 ではありません。");
        if (r.stamp() != stamp)
            problem(where + "データセットの日時が " + kItemFileName + " と異なります。");
        const auto kind = recordKindOf(r.kind());
        if (!kind) problem(where + "種類 " + std::to_string(r.kind()) + " は不明です。");
        if (pos > 0 && sortsAfter(previous, r))
            problem(where + "日付・車両・使用者の順が前の記録より前です。");
        reference(where, "車両", r.vehicle(), ItemKind::Vehicle, false);
        reference(where, "使用者", r.user(), ItemKind::User, false);
        if (const auto k = itemFieldKind(kind)) reference(where, "項目", r.item(), *k, true);
        if (const auto k = placeFieldKind(kind)) reference(where, "場所", r.place(), *k, true);
        if (r.date() >= tomorrow) problem(where + "日付 " + formatDate(r.date()) + " は未来です。");
        previous = r;
        if (progress && (pos & 0xFFFF) == 0) progress(pos, total);
    });
    if (progress) progress(total, total);
    return problems;
}

void dumpDataSet(const std::string& dataFolder, const std::function<void(const std::string&)>& line,
                 FileSystem& fs) {
    const auto items = ItemStore(dataFolder, fs).readAll();
    const ItemNames names(items);
    for (std::size_t p = 0; p < items.size(); ++p) {
        const ItemRecord& it = items[p];
        std::string s = "項目 " + std::to_string(p) + (it.deleted() ? " [削除]" : "") + " " +
                        itemKindName(it.kind()) + " 「" + it.name() + "」 順序 " +
                        std::to_string(it.order()) + " 作成 " + formatDate(it.registered());
        if (it.kind() == int(ItemKind::Vehicle))
            s += " 納車時距離 " + formatOneDecimal(it.odometer()) + " 車種 " +
                 std::to_string(it.vehicleType()) + " 燃料 " + std::to_string(it.fuel()) +
                 " ナンバー " + it.plateRegion() + " " + it.plateClass() + " " + it.plateKana() +
                 " " + it.plateSerial1() + "－" + it.plateSerial2() + " 備考 「" + it.remarks() +
                 "」";
        line(s);
    }
    const RecordStore records(dataFolder, fs);
    records.scan([&](std::int64_t pos, const DataRecord& r) {
        const auto kind = recordKindOf(r.kind());
        std::string s = "記録 " + std::to_string(pos) + (r.deleted() ? " [削除]" : "") + " " +
                        (kind ? recordKindName(*kind) : "種類" + std::to_string(r.kind())) + " " +
                        dateText(r.date()) + " 車両 「" + names.nameAt(r.vehicle()) +
                        "」 使用者 「" + names.nameAt(r.user()) + "」";
        if (kind == RecordKind::Driving)
            s += " 帰着 " + formatTime(r.returnTime()) + " 使用目的 「" + names.nameAt(r.item()) +
                 "」 出庫距離 " + formatOneDecimal(r.distance1()) + " 入庫距離 " +
                 formatOneDecimal(r.distance2()) + " 行き先 「" + r.destination() + "」";
        else {
            if (kind == RecordKind::Refuelling) s += " 給油量 " + formatOneDecimal(r.distance2());
            if (kind == RecordKind::Maintenance) s += " 距離 " + formatOneDecimal(r.distance1());
            s += " 税抜金額 " + std::to_string(r.price()) + " 消費税 " + std::to_string(r.tax());
            if (kind != RecordKind::Refuelling) s += " 項目 「" + names.nameAt(r.item()) + "」";
            s += std::string(kind == RecordKind::Refuelling ? " スタンド名" : " 店") + " 「" +
                 names.nameAt(r.place()) + "」";
        }
        s += " 備考 「" + r.remarks() + "」";
        line(s);
    });
}

}  // namespace quil::folder
