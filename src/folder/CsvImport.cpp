#include "folder/CsvImport.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <unordered_map>
#include <vector>

#include "folder/DataSet.h"
#include "folder/FileCopy.h"
#include "store/BinaryFile.h"
#include "store/Codec.h"
#include "store/CsvWriter.h"
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

// The list's column (tab-relative) that each entry field reads, by the tab's column table;
// both times come from the one time column. 0 when the tab has no such column.
int columnOf(ListTab tab, EntryField field) {
    const EntryField read = field == EntryField::EndTime ? EntryField::StartTime : field;
    const auto columns = listColumns(tab);
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (columns[c].imported == read) return int(c);
    return 0;
}

bool reads(ListTab tab, EntryField field) { return columnOf(tab, field) != 0; }

// The fields an import of `tab` reads, in the order of the list's columns.
std::vector<EntryField> fieldsOf(ListTab tab) {
    std::vector<EntryField> fields;
    for (const ListColumn& c : listColumns(tab))
        if (c.imported) fields.push_back(*c.imported);
    return fields;
}

// The title of the column whose content is `content`; the tables give every tab remarks.
const char* titleOf(ListTab tab, ListContent content) {
    for (const ListColumn& c : listColumns(tab))
        if (c.content == content) return c.title;
    return "";
}

// "08:30 ～ 17:05" into the four time texts; a part that is missing stays empty, so the
// entry check refuses it. Either wave dash (～ U+FF5E as CP932 decodes, 〜 U+301C as other
// systems write it) or '~' separates the two times.
void splitTimes(const std::string& s, EntryInput& in) {
    std::size_t sep = std::string::npos;
    std::size_t sepLen = 0;
    for (std::string_view dash : {"～", "〜", "~"}) {
        const std::size_t at = s.find(dash);
        if (at < sep) {
            sep = at;
            sepLen = dash.size();
        }
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

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A number with thousands separators ("12,345.6", "-1,000") without them; any other text
// as it is, for the entry's own check to judge.
std::string withoutThousandsSeparators(const std::string& text) {
    std::size_t a = text.find_first_not_of(' ');
    if (a == std::string::npos || text.find(',') == std::string::npos) return text;
    const std::size_t b = text.find_last_not_of(' ') + 1;
    std::string_view s(text.data() + a, b - a);
    std::string out;
    if (s.front() == '+' || s.front() == '-') {
        out += s.front();
        s.remove_prefix(1);
    }
    const std::size_t point = std::min(s.find('.'), s.size());
    const std::string_view whole = s.substr(0, point);
    // Groups of three after a first group of one to three digits.
    std::size_t first = whole.find(',');
    if (first == 0 || first > 3) return text;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const bool comma = i >= first && (i - first) % 4 == 0;
        if (comma ? whole[i] != ',' : !isDigit(whole[i])) return text;
        if (!comma) out += whole[i];
    }
    if ((whole.size() - first) % 4 != 0) return text;
    out += s.substr(point);
    return out;
}

// The largest distance or quantity an import stores: the list and the printed list show
// at most nine digits before the point, and a double holds 15 significant digits.
constexpr double kLargestDecimal = 1e9;
constexpr std::size_t kMostSignificantDigits = 15;

// Whether a decimal the entry check took is stored as given: not beyond kLargestDecimal
// and not more digits than a double keeps.
bool storableDecimal(const std::string& text) {
    const auto value = parseDecimal(text);
    if (!value) return true;  // the entry check refuses it with its own message
    if (!(std::fabs(*value) < kLargestDecimal)) return false;
    std::string digits;
    for (char c : text) {
        if (c == 'e' || c == 'E') break;
        if (isDigit(c)) digits += c;
    }
    const std::size_t from = digits.find_first_not_of('0');
    if (from == std::string::npos) return true;
    // Zeros at the end of a fraction are not significant; those of a whole number are
    // counted, which the magnitude limit keeps below 15 anyway.
    std::size_t to = digits.size();
    if (text.find('.') != std::string::npos)
        while (to > from && digits[to - 1] == '0') --to;
    return to - from <= kMostSignificantDigits;
}

// Why a text cannot be stored in a field of `limit` CP932 bytes as given; nullopt when it
// can.
std::optional<std::string> unstorableText(const std::string& utf8, std::size_t limit) {
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && c != '\t' && c != '\r' && c != '\n') || b == 0x7F)
            return std::string("制御文字は記録できません。");
    }
    const auto cp932 = toCp932Exact(utf8);
    if (!cp932) return std::string("Shift-JIS (CP932) で記録できない文字があります。");
    if (cp932->size() > limit)
        return "長すぎます（全角 " + std::to_string(limit / 2) + " 文字・半角 " +
               std::to_string(limit) + " 文字まで）。";
    return std::nullopt;
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

std::string_view asBytes(const DataRecord& r) {
    return {reinterpret_cast<const char*>(r.data()), DataRecord::Size};
}

void copyFile(FileSystem& fs, const std::string& from, const std::string& to) {
    BinaryFile in(from, DataRecord::Size, OpenMode::Read, fs);
    BinaryFile out(to, DataRecord::Size, OpenMode::CreateNew, fs);
    constexpr std::size_t kChunk = 4096;
    std::vector<DataRecord> buf(kChunk);
    in.readChunks(buf.data(), kChunk,
                  [&](std::int64_t pos, std::size_t got) { out.writeMany(pos, got, buf.data()); });
    out.sync();
}

enum class StoredOrder { Sorted, Unsorted };

// Reads the record file once: whether it stands in order, and (unless `duplicates` says to
// keep them) takes out of `records` the rows identical, byte for byte, to a live stored
// record, each stored record standing for one row, so that an import run twice adds its
// rows once.
StoredOrder dropIdentical(const std::string& path, std::vector<DataRecord>& records,
                          ImportDuplicates duplicates, ImportResult& result, FileSystem& fs) {
    if (!fs.exists(path)) return StoredOrder::Sorted;
    std::unordered_map<std::string_view, std::int64_t> wanted;
    if (duplicates == ImportDuplicates::Skip)
        for (const DataRecord& r : records) ++wanted[asBytes(r)];
    std::unordered_map<std::string_view, std::int64_t> found;
    bool sorted = true;
    BinaryFile in(path, DataRecord::Size, OpenMode::Read, fs);
    const std::size_t kChunk = std::size_t(std::clamp<std::int64_t>(in.count(), 1, 4096));
    std::vector<DataRecord> buf(kChunk);
    DataRecord previous;
    bool first = true;
    in.readChunks(buf.data(), kChunk, [&](std::int64_t, std::size_t got) {
        for (std::size_t i = 0; i < got; ++i) {
            if (!first && sortsAfter(previous, buf[i])) sorted = false;
            previous = buf[i];
            first = false;
            if (wanted.empty() || buf[i].deleted()) continue;
            const auto it = wanted.find(asBytes(buf[i]));
            if (it != wanted.end() && found[it->first] < it->second) ++found[it->first];
        }
    });
    if (!found.empty()) {
        std::vector<DataRecord> kept;
        kept.reserve(records.size());
        for (const DataRecord& r : records) {
            const auto it = found.find(asBytes(r));
            if (it != found.end() && it->second > 0) {
                --it->second;
                ++result.identical;
            } else {
                kept.push_back(r);
            }
        }
        records.swap(kept);
    }
    return sorted ? StoredOrder::Sorted : StoredOrder::Unsorted;
}

// Writes the stored records with `records` merged in to `to` in one pass. Each new record
// goes after every record whose key is not above its own, and new records of one key keep
// their order in the file: the bytes equal those of saving the rows one by one.
void mergeInto(const std::string& from, const std::string& to, std::vector<DataRecord>& records,
               FileSystem& fs, const Progress& progress) {
    std::stable_sort(records.begin(), records.end(),
                     [](const DataRecord& a, const DataRecord& b) { return sortsAfter(b, a); });
    BinaryFile out(to, DataRecord::Size, OpenMode::CreateNew, fs);
    constexpr std::size_t kChunk = 4096;
    std::vector<DataRecord> pending;
    pending.reserve(kChunk);
    std::int64_t outPos = 0;
    auto flush = [&] {
        if (pending.empty()) return;
        out.writeMany(outPos, pending.size(), pending.data());
        outPos += std::int64_t(pending.size());
        pending.clear();
    };
    auto emit = [&](const DataRecord& r) {
        pending.push_back(r);
        if (pending.size() == kChunk) flush();
    };
    std::size_t next = 0;
    if (fs.exists(from)) {
        BinaryFile in(from, DataRecord::Size, OpenMode::Read, fs);
        const std::int64_t total = in.count();
        std::vector<DataRecord> buf(kChunk);
        in.readChunks(buf.data(), kChunk, [&](std::int64_t pos, std::size_t got) {
            for (std::size_t i = 0; i < got; ++i) {
                while (next < records.size() && sortsAfter(buf[i], records[next]))
                    emit(records[next++]);
                emit(buf[i]);
            }
            if (progress) progress(pos + std::int64_t(got), total + std::int64_t(records.size()));
        });
    }
    while (next < records.size()) emit(records[next++]);
    flush();
}

}  // namespace

std::string ImportProblem::text() const {
    std::string s = "行 " + std::to_string(line);
    if (column > 0) s += ", 列 " + std::to_string(column) + " (" + title + ")";
    return s + ": " + message;
}

ImportResult importListCsv(const std::string& dataFolder, ListTab tab, std::string_view text,
                           FileSystem& fs, const Progress& progress,
                           ImportDuplicates duplicates) {
    ImportResult result;
    auto refuse = [&](std::size_t line, int column, std::string title, std::string message) {
        result.problem = ImportProblem{line, column, std::move(title), std::move(message)};
        return result;
    };
    const RecordKind recordKind = entryKindOf(tab);
    // A value column holds a decimal (a distance or quantity), a whole amount or a text.
    auto contentOf = [&](EntryField f) {
        return listColumns(tab)[std::size_t(columnOf(tab, f))].content;
    };
    auto isDecimal = [](ListContent c) {
        return c == ListContent::Distance1 || c == ListContent::Distance2;
    };
    const bool value1IsDecimal =
        reads(tab, EntryField::Value1) && isDecimal(contentOf(EntryField::Value1));
    const bool value2IsDecimal = isDecimal(contentOf(EntryField::Value2));
    const bool value3IsText = listContentIsText(contentOf(EntryField::Value3));
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
    for (EntryField f : fieldsOf(tab)) {
        const char* title = listColumns(tab)[std::size_t(columnOf(tab, f))].title;
        const auto it = columnByTitle.find(title);
        if (it == columnByTitle.end())
            return refuse(rows[0].line, 0, {}, std::string("列「") + title + "」がありません。");
        fileColumn[f] = it->second;
    }

    const auto items = ItemStore(dataFolder, fs).readAll();
    const NameLookup names(items);
    const char* remarksTitle = titleOf(tab, ListContent::Remarks);
    const auto remarksColumn = columnByTitle.find(remarksTitle);
    std::vector<DataRecord> records;
    records.reserve(rows.size() - 1);
    // Every row is checked; each bad row gives its first problem, and nothing is written
    // when there is one.
    auto badRow = [&](std::size_t line, int column, std::string title, std::string message) {
        ++result.badRows;
        if (result.rowProblems.size() < kMaxListedProblems)
            result.rowProblems.push_back(
                ImportProblem{line, column, std::move(title), std::move(message)});
    };
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const CsvRow& row = rows[r];
        if (row.fields.size() > rows[0].fields.size()) {
            badRow(row.line, int(rows[0].fields.size()) + 1, {}, "見出しより列が多くあります。");
            continue;
        }
        auto cellAt = [&](std::size_t c) -> std::string {
            return c < row.fields.size()
                       ? std::string(CsvWriter::withoutFormulaGuard(row.fields[c]))
                       : std::string();
        };
        auto cell = [&](EntryField f) { return cellAt(std::size_t(fileColumn.at(f))); };
        auto fieldTitle = [&](EntryField f) {
            return listColumns(tab)[std::size_t(columnOf(tab, f))].title;
        };
        // Both times are read from the one 時間 column.
        auto columnNumber = [&](EntryField f) {
            return fileColumn.at(f == EntryField::EndTime ? EntryField::StartTime : f) + 1;
        };
        // The expense list also shows the costs of refuelling and maintenance records under
        // their kind's name; read back as expenses they would count those costs twice.
        if (tab == ListTab::Expense) {
            const std::string item = trimmed(cell(EntryField::ThirdList));
            if ((item == kFuelCostItemName || item == kServiceCostItemName) &&
                !names.required(ItemKind::ExpenseItem, item)) {
                ++result.skipped;
                continue;
            }
        }
        EntryInput in;
        in.kind = recordKind;
        in.stamp = check.stamp;
        in.day = parseCalendarDay(trimmed(cell(EntryField::Date)));
        if (reads(tab, EntryField::StartTime)) splitTimes(cell(EntryField::StartTime), in);
        in.vehicle = names.required(ItemKind::Vehicle, cell(EntryField::Vehicle));
        in.user = names.required(ItemKind::User, cell(EntryField::User));
        in.third = names.optional(thirdListKind(recordKind), cell(EntryField::ThirdList));
        if (reads(tab, EntryField::ShopList))
            in.shop = names.optional(ItemKind::Shop, cell(EntryField::ShopList));
        if (reads(tab, EntryField::Value1))
            in.value1 = withoutThousandsSeparators(cell(EntryField::Value1));
        in.value2 = withoutThousandsSeparators(cell(EntryField::Value2));
        // The driving record's third value is the destination, a text kept as it is.
        in.value3 = value3IsText ? cell(EntryField::Value3)
                                 : withoutThousandsSeparators(cell(EntryField::Value3));
        in.remarks = remarksColumn != columnByTitle.end()
                         ? cellAt(std::size_t(remarksColumn->second))
                         : std::string();
        EntryResult built = buildEntryRecord(in);
        if (auto* refusal = std::get_if<EntryRefusal>(&built)) {
            badRow(row.line, columnNumber(refusal->field), fieldTitle(refusal->field),
                   refusal->message);
            continue;
        }
        // What the entry check took but the record would not hold as given: distances and
        // quantities (value 1 but for expenses, value 2 of a driving record), the destination.
        std::optional<EntryField> bad;
        std::string why;
        const char* tooLarge =
            "記録できない数値です（絶対値 1,000,000,000 未満、有効数字 15 桁まで）。";
        if (value1IsDecimal && !storableDecimal(in.value1)) {
            bad = EntryField::Value1;
            why = tooLarge;
        } else if (value2IsDecimal && !storableDecimal(in.value2)) {
            bad = EntryField::Value2;
            why = tooLarge;
        } else if (value3IsText) {
            if (auto w = unstorableText(in.value3, DataRecord::kDestinationBytes)) {
                bad = EntryField::Value3;
                why = *w;
            }
        }
        if (bad) {
            badRow(row.line, columnNumber(*bad), fieldTitle(*bad), why);
            continue;
        }
        if (auto w = unstorableText(in.remarks, DataRecord::kRemarksBytes)) {
            badRow(row.line, remarksColumn->second + 1, remarksTitle, *w);
            continue;
        }
        records.push_back(std::get<DataRecord>(built));
    }
    if (!result.rowProblems.empty()) {
        result.problem = result.rowProblems.front();
        return result;
    }
    if (records.empty()) return result;

    // Every row passed: save them into a copy, then put the copy in place by one rename.
    const std::string original = dataFolder + kRecordFileName;
    if (fs.isLink(original))
        return refuse(0, 0, {},
                      original + " はリンクのため置き換えられません。何も書き込んでいません。");
    if (fs.isReadOnly(original))
        return refuse(0, 0, {},
                      original + " は読み取り専用のため書き込めません。何も書き込んでいません。");
    // A record cut short at the end of the file is kept beside it, as every save does,
    // before the copy (which takes whole records only) replaces the file.
    if (fs.exists(original))
        BinaryFile(original, DataRecord::Size, OpenMode::Read, fs).keepPartialTail(fs);
    const StoredOrder order = dropIdentical(original, records, duplicates, result, fs);
    if (records.empty()) return result;
    StagingFolder stagingFolder(dataFolder, kImportStagingName, fs);
    const std::string& staging = stagingFolder.path();
    if (order == StoredOrder::Sorted) {
        mergeInto(original, staging + kRecordFileName, records, fs, progress);
    } else {
        // A file out of order is saved into row by row, so every record lands where the
        // entry dialog's save would put it.
        if (fs.exists(original)) copyFile(fs, original, staging + kRecordFileName);
        RecordStore staged(staging, fs);
        for (std::size_t i = 0; i < records.size(); ++i) {
            staged.save(records[i], std::nullopt);
            if (progress && (i & 0x3FF) == 0)
                progress(std::int64_t(i), std::int64_t(records.size()));
        }
    }
    BinaryFile(staging + kRecordFileName, DataRecord::Size, OpenMode::ReadWrite, fs).sync();
    fs.rename(staging + kRecordFileName, original);
    result.added = std::int64_t(records.size());
    if (progress) progress(result.added, result.added);
    return result;
}

}  // namespace quil::folder
