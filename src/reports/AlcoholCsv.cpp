#include "reports/AlcoholCsv.h"

#include <cstdio>

#include "store/Codec.h"
#include "store/CsvReader.h"
#include "store/CsvWriter.h"
#include "store/EntryParse.h"

namespace quil::alcohol {

namespace {

template <typename Id>
std::string nameOf(const std::vector<std::pair<Id, std::string>>& list, Id id) {
    for (const auto& [key, name] : list)
        if (key == id) return name;
    return {};
}

template <typename Id>
bool idOf(const std::vector<std::pair<Id, std::string>>& list, const std::string& name, Id& id) {
    for (const auto& [key, n] : list)
        if (n == name) {
            id = key;
            return true;
        }
    return false;
}

std::string formatReading(double mgPerL) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", mgPerL);
    return buf;
}

bool parseReading(const std::string& text, double& value) {
    const auto parsed = store::parseDecimal(text);
    if (!parsed || *parsed < 0) return false;
    value = *parsed;
    return true;
}

// "yyyy/mm/dd" and "hh:nn" to a date with time; false for anything else.
bool parseWhen(const std::string& date, const std::string& time, store::DateTime& when) {
    int y = 0;
    unsigned mo = 0, d = 0, h = 0, mi = 0;
    char tail = 0;
    if (std::sscanf(date.c_str(), "%d/%u/%u%c", &y, &mo, &d, &tail) != 3) return false;
    if (std::sscanf(time.c_str(), "%u:%u%c", &h, &mi, &tail) != 2) return false;
    if (!store::isValidDate(y, mo, d) || h > 23 || mi > 59) return false;
    when = store::encodeDate(y, mo, d) + store::encodeTime(h, mi);
    return true;
}

}  // namespace

const std::vector<std::string>& csvColumns() {
    static const std::vector<std::string> columns = {
        "日付",       "時刻",   "区分",         "運転者",   "車両",     "確認者", "確認方法",
        "方法の内容", "検知器", "測定値(mg/L)", "酒気帯び", "指示事項", "備考"};
    return columns;
}

std::string writeChecksCsv(const std::vector<AlcoholCheck>& checks, const CsvNames& names,
                           store::TextEncoding encoding) {
    store::CsvWriter w;
    w.startFile(encoding);
    for (const std::string& title : csvColumns()) w.field(title);
    w.endRow();
    for (const AlcoholCheck& c : checks) {
        w.field(store::formatDate(c.when));
        w.field(store::formatTime(c.when));
        w.field(timingName(c.timing));
        w.textField(nameOf(names.drivers, c.driver));
        w.textField(nameOf(names.vehicles, c.vehicle));
        w.textField(c.checker);
        w.field(methodName(c.method));
        w.textField(c.methodText);
        w.textField(c.detector ? nameOf(names.detectors, c.detector) : std::string());
        w.field(c.reading ? formatReading(*c.reading) : std::string());
        w.field(c.intoxicated ? "有" : "無");
        w.textField(c.instructions);
        w.textField(c.remarks);
        w.endRow();
    }
    return encoding == store::TextEncoding::Cp932 ? store::toCp932(w.take()) : w.take();
}

std::vector<std::size_t> linesCp932CannotHold(const std::vector<AlcoholCheck>& checks,
                                              const CsvNames& names, std::size_t most) {
    // Each check written as the file writes it (title row and byte-order mark included).
    return store::linesCp932CannotHold(
        checks.size(),
        [&](std::size_t i) {
            return writeChecksCsv({checks[i]}, names, store::TextEncoding::Utf8).substr(3);
        },
        most);
}

CsvReadResult readChecksCsv(std::string_view bytes, const CsvNames& names) {
    CsvReadResult result;
    std::optional<store::CsvParseError> parseError;
    // A byte-order mark or valid UTF-8 is UTF-8 (files written before CP932 was the
    // default), anything else CP932.
    const std::string text = store::CsvReader::decode(bytes, std::nullopt);
    const std::vector<store::CsvRow> rows = store::CsvReader::parse(text, parseError);
    auto fail = [&result](std::size_t line, const std::string& what) {
        result.checks.clear();
        result.error = std::to_string(line) + "行目: " + what;
        return result;
    };
    if (parseError) return fail(parseError->line, parseError->message);
    if (rows.empty() || rows[0].fields != csvColumns())
        return fail(1, "アルコールチェック記録簿のCSVファイルではありません。");
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const store::CsvRow& row = rows[i];
        // Texts come back without the guard the export put before formula-like texts.
        std::vector<std::string> f;
        for (const std::string& field : row.fields)
            f.emplace_back(store::CsvWriter::withoutFormulaGuard(field));
        if (f.size() != csvColumns().size()) return fail(row.line, "列の数が違います。");
        AlcoholCheck c;
        if (!parseWhen(f[0], f[1], c.when))
            return fail(row.line, "日付または時刻が正しくありません。");
        const auto timing = timingFromName(f[2]);
        if (!timing) return fail(row.line, "区分「" + f[2] + "」が正しくありません。");
        c.timing = *timing;
        if (!idOf(names.drivers, f[3], c.driver))
            return fail(row.line, "運転者「" + f[3] + "」が見つかりません。");
        if (!idOf(names.vehicles, f[4], c.vehicle))
            return fail(row.line, "車両「" + f[4] + "」が見つかりません。");
        c.checker = f[5];
        const auto method = methodFromName(f[6]);
        if (!method) return fail(row.line, "確認方法「" + f[6] + "」が正しくありません。");
        c.method = *method;
        c.methodText = f[7];
        if (!f[8].empty() && !idOf(names.detectors, f[8], c.detector))
            return fail(row.line, "検知器「" + f[8] + "」が見つかりません。");
        if (!f[9].empty()) {
            double value = 0;
            if (!parseReading(f[9], value)) return fail(row.line, "測定値が正しくありません。");
            c.reading = value;
        }
        if (f[10] != "有" && f[10] != "無") return fail(row.line, "酒気帯びは「有」か「無」です。");
        c.intoxicated = f[10] == "有";
        c.instructions = f[11];
        c.remarks = f[12];
        result.checks.push_back(std::move(c));
    }
    return result;
}

}  // namespace quil::alcohol
