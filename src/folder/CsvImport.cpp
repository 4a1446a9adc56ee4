#include "folder/CsvImport.h"

#include <filesystem>
#include <map>
#include <vector>

#include "folder/DataSet.h"
#include "store/BinaryFile.h"
#include "store/CsvReader.h"
#include "store/EntryParse.h"
#include "store/ItemStore.h"
#include "store/ListRows.h"
#include "store/RecordEntry.h"
#include "store/RecordStore.h"
#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

namespace {

// The list's column (tab-relative) that each entry field reads, by kind.
int columnOf(int kind, EntryField field) {
    switch (field) {
        case EntryField::Date: return 2;
        case EntryField::StartTime:
        case EntryField::EndTime: return 3;
        case EntryField::Vehicle: return kind == 0 ? 4 : 3;
        case EntryField::User: return kind == 0 ? 5 : 4;
        case EntryField::ThirdList: return kind == 0 ? 6 : kind == 1 ? 8 : 5;
        case EntryField::ShopList: return kind == 2 ? 9 : 8;
        case EntryField::Value1: return kind == 0 ? 7 : kind == 2 ? 6 : 5;
        case EntryField::Value2: return kind == 0 ? 8 : kind == 2 ? 7 : 6;
        case EntryField::Value3: return kind == 0 ? 10 : kind == 2 ? 8 : 7;
    }
    return 0;
}

// The fields an import of `kind` reads, in the order of the list's columns.
std::vector<EntryField> fieldsOf(int kind) {
    using F = EntryField;
    switch (kind) {
        case 0:
            return {F::Date,      F::StartTime, F::Vehicle, F::User,
                    F::ThirdList, F::Value1,    F::Value2,  F::Value3};
        case 1:
            return {F::Date, F::Vehicle, F::User, F::Value1, F::Value2, F::Value3, F::ThirdList};
        case 2:
            return {F::Date,   F::Vehicle, F::User,   F::ThirdList,
                    F::Value1, F::Value2,  F::Value3, F::ShopList};
        default:
            return {F::Date, F::Vehicle, F::User, F::ThirdList, F::Value2, F::Value3, F::ShopList};
    }
}

// "08:30 ～ 17:05" into the four time texts; a part that is missing stays empty, so the
// entry check refuses it.
void splitTimes(const std::string& s, EntryInput& in) {
    std::size_t sep = s.find("～");
    std::size_t sepLen = 3;
    if (sep == std::string::npos) {
        sep = s.find('~');
        sepLen = 1;
    }
    auto hm = [](std::string_view part, std::string& h, std::string& m) {
        const std::size_t colon = part.find(':');
        if (colon == std::string_view::npos) return;
        h = part.substr(0, colon);
        m = part.substr(colon + 1);
    };
    if (sep == std::string::npos) {
        hm(s, in.startHour, in.startMinute);
        return;
    }
    hm(std::string_view(s).substr(0, sep), in.startHour, in.startMinute);
    hm(std::string_view(s).substr(sep + sepLen), in.endHour, in.endMinute);
}

class NameLookup {
public:
    explicit NameLookup(const std::vector<ItemRecord>& items) {
        for (std::size_t p = 0; p < items.size(); ++p) {
            if (items[p].deleted()) continue;
            // The first live item of a name wins, as a pick list selects its first match.
            byKind_[items[p].kind()].emplace(items[p].name(), int(p));
        }
    }
    std::optional<int> required(ItemKind kind, const std::string& name) const {
        const auto& m = byKind_.find(std::int16_t(kind));
        if (m == byKind_.end()) return std::nullopt;
        const auto it = m->second.find(name);
        return it == m->second.end() ? std::nullopt : std::optional<int>(it->second);
    }
    // Lists that end with "その他": an empty text or that text stands for no item.
    std::optional<int> optional(ItemKind kind, const std::string& name) const {
        if (auto p = required(kind, name)) return p;
        if (name.empty() || name == kOtherName) return -1;
        return std::nullopt;
    }

private:
    std::map<std::int16_t, std::map<std::string, int>> byKind_;
};

std::string trimmed(const std::string& s) {
    const auto a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

void copyFile(FileSystem& fs, const std::string& from, const std::string& to) {
    BinaryFile in(from, DataRecord::Size, OpenMode::Read, fs);
    BinaryFile out(to, DataRecord::Size, OpenMode::Create, fs);
    constexpr std::size_t kChunk = 4096;
    std::vector<DataRecord> buf(kChunk);
    in.readChunks(buf.data(), kChunk,
                  [&](std::int64_t pos, std::size_t got) { out.writeMany(pos, got, buf.data()); });
    out.sync();
}

}  // namespace

std::string ImportProblem::text() const {
    std::string s = "行 " + std::to_string(line);
    if (column > 0) s += ", 列 " + std::to_string(column) + " (" + title + ")";
    return s + ": " + message;
}

ImportResult importListCsv(const std::string& dataFolder, int kind, std::string_view text,
                           FileSystem& fs, const Progress& progress) {
    ImportResult result;
    auto refuse = [&](std::size_t line, int column, std::string title, std::string message) {
        result.problem = ImportProblem{line, column, std::move(title), std::move(message)};
        return result;
    };
    const DataSetCheck check = checkDataSet(dataFolder, fs);
    if (!check.ok) return refuse(0, 0, {}, check.message);
    if (check.convertItems || check.convertRecords)
        return refuse(0, 0, {}, "古い形式のデータです。先にプログラムを起動して変換して下さい。");

    std::optional<CsvParseError> parseError;
    const std::vector<CsvRow> rows = CsvReader::parse(text, parseError);
    if (parseError) return refuse(parseError->line, 0, {}, parseError->message);
    if (rows.empty()) return refuse(1, 0, {}, "見出しの行がありません。");

    // Columns by title, so a sheet whose columns were moved or dropped (No, 走行距離)
    // still reads.
    std::map<std::string, int> columnByTitle;
    for (std::size_t i = 0; i < rows[0].fields.size(); ++i)
        columnByTitle.emplace(trimmed(rows[0].fields[i]), int(i));
    std::map<EntryField, int> fileColumn;
    for (EntryField f : fieldsOf(kind)) {
        const char* title = listColumnTitle(kind, columnOf(kind, f));
        const auto it = columnByTitle.find(title);
        if (it == columnByTitle.end())
            return refuse(rows[0].line, 0, {}, std::string("列「") + title + "」がありません。");
        fileColumn[f] = it->second;
    }

    const auto items = ItemStore(dataFolder, fs).readAll();
    const NameLookup names(items);
    std::vector<DataRecord> records;
    records.reserve(rows.size() - 1);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const CsvRow& row = rows[r];
        if (row.fields.size() > rows[0].fields.size())
            return refuse(row.line, int(rows[0].fields.size()) + 1, {},
                          "見出しより列が多くあります。");
        auto cell = [&](EntryField f) -> std::string {
            const auto c = std::size_t(fileColumn.at(f));
            return c < row.fields.size() ? row.fields[c] : std::string();
        };
        // The expense list also shows the costs of refuelling and maintenance records under
        // their kind's name; read back as expenses they would count those costs twice.
        if (kind == 3) {
            const std::string item = trimmed(cell(EntryField::ThirdList));
            if ((item == kFuelCostItemName || item == kServiceCostItemName) &&
                !names.required(ItemKind::ExpenseItem, item)) {
                ++result.skipped;
                continue;
            }
        }
        EntryInput in;
        in.kind = static_cast<RecordKind>(kind);
        in.stamp = check.stamp;
        in.day = parseCalendarDay(trimmed(cell(EntryField::Date)));
        if (kind == 0) splitTimes(cell(EntryField::StartTime), in);
        in.vehicle = names.required(ItemKind::Vehicle, cell(EntryField::Vehicle));
        in.user = names.required(ItemKind::User, cell(EntryField::User));
        in.third = names.optional(thirdListKind(static_cast<RecordKind>(kind)),
                                  cell(EntryField::ThirdList));
        if (kind >= 2) in.shop = names.optional(ItemKind::Shop, cell(EntryField::ShopList));
        if (kind != 3) in.value1 = cell(EntryField::Value1);
        in.value2 = cell(EntryField::Value2);
        in.value3 = cell(EntryField::Value3);
        const auto remarks = columnByTitle.find("備考");
        in.remarks =
            remarks != columnByTitle.end() && std::size_t(remarks->second) < row.fields.size()
                ? row.fields[std::size_t(remarks->second)]
                : std::string();
        EntryResult built = buildEntryRecord(in);
        if (auto* refusal = std::get_if<EntryRefusal>(&built)) {
            const int c = fileColumn.at(refusal->field);
            return refuse(row.line, c + 1, listColumnTitle(kind, columnOf(kind, refusal->field)),
                          refusal->message);
        }
        records.push_back(std::get<DataRecord>(built));
    }
    if (records.empty()) return result;

    // Every row passed: save them into a copy, then put the copy in place by one rename.
    const std::string staging = dataFolder + kImportStagingName + "/";
    std::error_code ec;
    std::filesystem::remove_all(staging, ec);
    if (!std::filesystem::create_directory(staging, ec) || ec)
        throw StoreError(kImportStagingName, ec ? ec.message() : "フォルダーを作れません。");
    try {
        const std::string original = dataFolder + kRecordFileName;
        if (fs.exists(original)) copyFile(fs, original, staging + kRecordFileName);
        RecordStore staged(staging, fs);
        for (std::size_t i = 0; i < records.size(); ++i) {
            staged.save(records[i], std::nullopt);
            if (progress && (i & 0x3FF) == 0)
                progress(std::int64_t(i), std::int64_t(records.size()));
        }
        BinaryFile(staging + kRecordFileName, DataRecord::Size, OpenMode::ReadWrite, fs).sync();
        fs.rename(staging + kRecordFileName, original);
    } catch (...) {
        std::filesystem::remove_all(staging, ec);
        throw;
    }
    std::filesystem::remove_all(staging, ec);
    result.added = std::int64_t(records.size());
    if (progress) progress(result.added, result.added);
    return result;
}

}  // namespace quil::folder
