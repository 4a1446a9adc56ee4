#include "papers/PaperCsv.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "store/CsvReader.h"
#include "store/CsvWriter.h"

namespace quil::papers {

namespace {

using Pairs = std::vector<std::pair<int, std::string>>;

// Position → name, the first name of a position winning.
std::unordered_map<int, std::string> namesByPosition(const Pairs& list) {
    std::unordered_map<int, std::string> out;
    for (const auto& [position, name] : list) out.emplace(position, name);
    return out;
}
// Name → position, the first (a live item before a deleted one) winning.
std::map<std::string, int> positionsByName(const Pairs& list) {
    std::map<std::string, int> out;
    for (const auto& [position, name] : list) out.emplace(name, position);
    return out;
}

std::string nameIn(const std::unordered_map<int, std::string>& names, int position) {
    const auto it = names.find(position);
    return it == names.end() ? std::string() : it->second;
}

std::string dateOrEmpty(store::DateTime d) { return d == 0 ? std::string() : store::formatDate(d); }

const std::vector<std::string> kLicenceColumns = {"運転者", "免許証番号", "種類", "条件",
                                                  "有効期限", "確認日", "確認者", "備考"};
const std::vector<std::string> kPaperColumns = {"車両",     "種類",     "項目名", "保険会社",
                                                "証明書・証券番号", "有効期限", "備考"};

// The rows of a file as texts by column title; the error names the line.
struct Table {
    std::vector<std::map<std::string, std::string>> rows;
    std::vector<std::size_t> lines;
    std::string error;
};

Table readTable(std::string_view bytes, const std::vector<std::string>& columns,
                const std::string& optional, const std::string& what) {
    Table t;
    std::optional<store::CsvParseError> parseError;
    const std::string text = store::CsvReader::decode(bytes, std::nullopt);
    const std::vector<store::CsvRow> rows = store::CsvReader::parse(text, parseError);
    if (parseError) {
        t.error = std::to_string(parseError->line) + "行目: " + parseError->message;
        return t;
    }
    std::vector<std::string> expected;
    for (const std::string& c : columns)
        if (c != optional) expected.push_back(c);
    const bool withOptional = !rows.empty() && rows[0].fields == columns;
    if (rows.empty() || (!withOptional && rows[0].fields != expected)) {
        t.error = "1行目: " + what + "のCSVファイルではありません。";
        return t;
    }
    const std::vector<std::string>& titles = withOptional ? columns : expected;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].fields.size() != titles.size()) {
            t.error = std::to_string(rows[i].line) + "行目: 列の数が違います。";
            return t;
        }
        std::map<std::string, std::string> row;
        for (std::size_t c = 0; c < titles.size(); ++c)
            row[titles[c]] = std::string(store::CsvWriter::withoutFormulaGuard(rows[i].fields[c]));
        t.rows.push_back(std::move(row));
        t.lines.push_back(rows[i].line);
    }
    return t;
}

template <typename Entry>
CsvRead<Entry> failed(std::size_t line, const std::string& what) {
    return {{}, 0, std::to_string(line) + "行目: " + what};
}

// The same entry whatever its id and whether it was renewed since.
template <typename Entry>
bool sameEntry(Entry a, Entry b) {
    a.id = b.id = 0;
    a.renewed = b.renewed = false;
    return a == b;
}

using Row = std::map<std::string, std::string>;

// The entries of a table's rows that no stored entry equals (`same`), each checked as its
// entry dialog checks it. `input` makes a row the dialog's input, or says (in `error`) why
// it cannot. A row's entry is built alone to be compared with the stored ones, and then
// against the stored entries and those of the rows before it, so a duplicate within the
// file is refused as the dialog would refuse it.
template <typename Entry, typename Input, typename ToInput, typename Same>
CsvRead<Entry> readEntries(const Table& t, const std::vector<Entry>& stored, store::DateTime today,
                           ToInput input,
                           EntryResult<Entry> (*build)(const Input&, store::DateTime,
                                                       const std::vector<Entry>&, std::int64_t),
                           Same same) {
    CsvRead<Entry> out;
    std::vector<Entry> known = stored;
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        std::string error;
        const std::optional<Input> in = input(t.rows[i], error);
        if (!in) return failed<Entry>(t.lines[i], error);
        const auto built = build(*in, today, {}, 0);
        if (!built.entry) return failed<Entry>(t.lines[i], built.message);
        if (std::any_of(stored.begin(), stored.end(),
                        [&](const Entry& s) { return same(s, *built.entry); })) {
            ++out.alreadyStored;
            continue;
        }
        const auto checked = build(*in, today, known, 0);
        if (!checked.entry) return failed<Entry>(t.lines[i], checked.message);
        known.push_back(*checked.entry);
        out.entries.push_back(*checked.entry);
    }
    return out;
}

}  // namespace

std::string writeLicencesCsv(const std::vector<DriverLicence>& licences, const CsvNames& names,
                             bool withNumbers, store::TextEncoding encoding) {
    const auto drivers = namesByPosition(names.drivers);
    store::CsvWriter w;
    w.startFile(encoding);
    for (const std::string& title : kLicenceColumns)
        if (withNumbers || title != "免許証番号") w.field(title);
    w.endRow();
    for (const DriverLicence& l : licences) {
        w.textField(nameIn(drivers, l.driver));
        if (withNumbers) w.field(l.number);
        w.textField(l.kinds);
        w.textField(l.conditions);
        w.field(store::formatDate(l.expiry));
        w.field(dateOrEmpty(l.seenOn));
        w.textField(l.seenBy);
        w.textField(l.remarks);
        w.endRow();
    }
    return encoding == store::TextEncoding::Cp932 ? store::toCp932(w.take()) : w.take();
}

std::string writePapersCsv(const std::vector<VehiclePaper>& papers, const CsvNames& names,
                           store::TextEncoding encoding) {
    const auto vehicles = namesByPosition(names.vehicles);
    store::CsvWriter w;
    w.startFile(encoding);
    for (const std::string& title : kPaperColumns) w.field(title);
    w.endRow();
    for (const VehiclePaper& p : papers) {
        w.textField(nameIn(vehicles, p.vehicle));
        w.field(kindName(p.kind));
        w.textField(p.title);
        w.textField(p.insurer);
        w.textField(p.number);
        w.field(store::formatDate(p.expiry));
        w.textField(p.remarks);
        w.endRow();
    }
    return encoding == store::TextEncoding::Cp932 ? store::toCp932(w.take()) : w.take();
}

CsvRead<DriverLicence> readLicencesCsv(std::string_view bytes, const CsvNames& names,
                                       const std::vector<DriverLicence>& stored,
                                       store::DateTime today) {
    const Table t = readTable(bytes, kLicenceColumns, "免許証番号", "運転免許証");
    if (!t.error.empty()) return {{}, 0, t.error};
    const auto drivers = positionsByName(names.drivers);
    auto input = [&](const Row& row, std::string& error) -> std::optional<LicenceInput> {
        const auto driver = drivers.find(row.at("運転者"));
        if (driver == drivers.end()) {
            error = "運転者「" + row.at("運転者") + "」が見つかりません。";
            return std::nullopt;
        }
        LicenceInput in;
        in.driver = driver->second;
        if (row.count("免許証番号")) in.number = row.at("免許証番号");
        in.kinds = row.at("種類");
        in.conditions = row.at("条件");
        in.expiryText = row.at("有効期限");
        in.seenOnText = row.at("確認日");
        in.seenBy = row.at("確認者");
        in.remarks = row.at("備考");
        return in;
    };
    // A file written without numbers matches a stored licence whatever its number (every
    // row of a file has the same columns).
    const bool withNumber = t.rows.empty() || t.rows.front().count("免許証番号") != 0;
    auto same = [withNumber](DriverLicence s, const DriverLicence& entry) {
        if (!withNumber) s.number.clear();
        return sameEntry(s, entry);
    };
    return readEntries(t, stored, today, input, buildLicence, same);
}

CsvRead<VehiclePaper> readPapersCsv(std::string_view bytes, const CsvNames& names,
                                    const std::vector<VehiclePaper>& stored,
                                    store::DateTime today) {
    const Table t = readTable(bytes, kPaperColumns, "", "車両の書類");
    if (!t.error.empty()) return {{}, 0, t.error};
    const auto vehicles = positionsByName(names.vehicles);
    auto input = [&](const Row& row, std::string& error) -> std::optional<PaperInput> {
        const auto vehicle = vehicles.find(row.at("車両"));
        if (vehicle == vehicles.end()) {
            error = "車両「" + row.at("車両") + "」が見つかりません。";
            return std::nullopt;
        }
        const auto kind = kindFromName(row.at("種類"));
        if (!kind) {
            error = "種類「" + row.at("種類") + "」が正しくありません。";
            return std::nullopt;
        }
        PaperInput in;
        in.vehicle = vehicle->second;
        in.kind = *kind;
        in.title = row.at("項目名");
        in.insurer = row.at("保険会社");
        in.number = row.at("証明書・証券番号");
        in.expiryText = row.at("有効期限");
        in.remarks = row.at("備考");
        return in;
    };
    return readEntries(t, stored, today, input, buildPaper, sameEntry<VehiclePaper>);
}

std::string stateName(ExpiryState state) {
    switch (state) {
        case ExpiryState::Lapsed: return "期限切れ";
        case ExpiryState::Lapsing: return "期限間近";
        case ExpiryState::Valid: break;
    }
    return "有効";
}

std::string writeExpiriesCsv(const std::vector<ExpiryEntry>& list, const CsvNames& names,
                             store::TextEncoding encoding) {
    const auto drivers = namesByPosition(names.drivers);
    const auto vehicles = namesByPosition(names.vehicles);
    store::CsvWriter w;
    w.startFile(encoding);
    for (const char* title : {"有効期限", "残り日数", "状態", "区分", "名前", "内容"}) w.field(title);
    w.endRow();
    for (const ExpiryEntry& e : list) {
        const bool licence = e.of == ExpiryEntry::Of::Licence;
        w.field(store::formatDate(e.expiry));
        w.field(std::to_string(e.days));
        w.field(stateName(e.state));
        w.field(licence ? "運転者" : "車両");
        w.textField(nameIn(licence ? drivers : vehicles, e.position));
        w.textField(e.what);
        w.endRow();
    }
    return encoding == store::TextEncoding::Cp932 ? store::toCp932(w.take()) : w.take();
}

}  // namespace quil::papers
