#include "reports/ReportTable.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "folder/ExportFile.h"
#include "store/CsvWriter.h"
#include "store/ItemStore.h"
#include "store/NumberFormat.h"

namespace quil::analysis {

using namespace quil::store;

namespace {

ReportCell number(std::string text, double value, std::string plain = {}) {
    return {std::move(text), value, std::move(plain)};
}
ReportCell text(std::string t) { return {std::move(t), std::nullopt, {}}; }
ReportCell yen(std::int64_t v) { return number(yenText(v), double(v), std::to_string(v)); }
ReportCell km(double v) { return number(kmText(v), v, formatOneDecimal(v)); }
ReportCell optionalNumber(const std::optional<double>& v, const std::string& unit) {
    if (!v) return {"－", std::nullopt, {}, true};
    return number(formatOneDecimal(*v) + unit, *v, formatOneDecimal(*v));
}

const std::vector<std::string> kCostTitles = {"走行距離", "給油量", "燃費", "燃料費",
                                              "整備費",   "出費",   "合計", "km単価"};

void costCells(std::vector<ReportCell>& row, const CostFigures& f) {
    row.push_back(km(f.distance));
    row.push_back(number(formatOneDecimal(f.litres) + " L", f.litres, formatOneDecimal(f.litres)));
    row.push_back(optionalNumber(f.kmPerLitre(), " km/L"));
    row.push_back(yen(f.fuelCost));
    row.push_back(yen(f.maintenanceCost));
    row.push_back(yen(f.expenseCost));
    row.push_back(yen(f.totalCost()));
    row.push_back(optionalNumber(f.costPerKm(), "円"));
}

ReportTable costTable(const std::string& first) {
    ReportTable t;
    t.titles.push_back(first);
    t.titles.insert(t.titles.end(), kCostTitles.begin(), kCostTitles.end());
    t.rightAligned.assign(t.titles.size(), true);
    t.rightAligned[0] = false;
    return t;
}

}  // namespace

std::string yenText(std::int64_t yen) { return withThousands(yen) + "円"; }
std::string kmText(double km) { return formatOneDecimal(km) + " km"; }

ReportTable vehicleCostTable(const FuelReport& report) {
    ReportTable t = costTable("車両");
    auto add = [&](const std::string& name, const CostFigures& f) {
        std::vector<ReportCell> row{text(name)};
        costCells(row, f);
        t.rows.push_back(std::move(row));
    };
    for (const VehicleCosts& v : report.vehicles) add(v.name, v.figures);
    if (report.hasOthers) add(kOtherName, report.others);
    add("合計", report.total);
    t.lastRowIsTotal = true;
    return t;
}

ReportTable monthCostTable(const FuelReport& report) {
    ReportTable t = costTable("年月");
    for (const MonthCosts& m : report.months) {
        char label[16];
        std::snprintf(label, sizeof label, "%04d/%02u", m.year, m.month);
        std::vector<ReportCell> row{number(label, m.year * 12.0 + m.month)};
        costCells(row, m.figures);
        t.rows.push_back(std::move(row));
    }
    return t;
}

ReportTable scheduleTable(const std::vector<ScheduleRow>& rows) {
    ReportTable t;
    t.titles = {"車両",     "点検・整備項目", "前回実施日", "前回距離", "次回予定日",
                "次回距離", "現在距離",       "残り日数",   "残り距離", "状態"};
    t.rightAligned = {false, false, false, true, false, true, true, true, true, false};
    for (const ScheduleRow& r : rows) {
        std::vector<ReportCell> row{text(r.vehicleName), text(r.itemName)};
        row.push_back(r.lastDate ? number(formatDate(*r.lastDate), *r.lastDate) : text("未実施"));
        row.push_back(r.lastOdometer ? km(*r.lastOdometer) : text(""));
        row.push_back(r.dueDate ? number(formatDate(*r.dueDate), *r.dueDate) : text(""));
        row.push_back(r.dueOdometer ? km(*r.dueOdometer) : text(""));
        row.push_back(km(r.currentOdometer));
        row.push_back(r.daysLeft ? number(std::to_string(*r.daysLeft) + " 日", *r.daysLeft,
                                          std::to_string(*r.daysLeft))
                                 : text(""));
        row.push_back(r.kmLeft ? km(*r.kmLeft) : text(""));
        static const char* const status[] = {"", "間近", "期限切れ"};
        row.push_back(number(status[int(r.status)], int(r.status)));
        t.rows.push_back(std::move(row));
    }
    return t;
}

ReportTable odometerHeading() {
    ReportTable t;
    t.titles = {"日付", "車両", "記録", "距離", "想定範囲", "内容"};
    t.rightAligned = {false, false, false, true, true, false};
    return t;
}

std::optional<double> odometerFigure(const OdometerFinding& f, std::size_t column) {
    switch (column) {
        case 0: return f.date;
        case 3: return f.reading;
        case 4: return f.expectedLow;
        default: return std::nullopt;
    }
}

ReportCell odometerCell(const OdometerFinding& f, const ItemNames& names, std::size_t column) {
    switch (column) {
        case 0: return number(formatDate(f.date), f.date);
        case 1: return text(names.nameAt(f.vehicle));
        case 2: return text(recordKindName(f.kind));
        case 3: return km(f.reading);
        case 4:
            return number(
                formatOneDecimal(f.expectedLow) + "～" + formatOneDecimal(f.expectedHigh) + " km",
                f.expectedLow);
        case 5: return text(odometerProblemText(f.problem));
        default: return {};
    }
}

ReportTable odometerTable(const std::vector<OdometerFinding>& findings, const ItemNames& names) {
    ReportTable t = odometerHeading();
    t.rows.reserve(findings.size());
    for (const OdometerFinding& f : findings) {
        std::vector<ReportCell> row;
        for (std::size_t c = 0; c < t.titles.size(); ++c) row.push_back(odometerCell(f, names, c));
        t.rows.push_back(std::move(row));
    }
    return t;
}

namespace {

void csvTitles(CsvWriter& csv, const ReportTable& table, TextEncoding encoding) {
    csv.startFile(encoding);
    for (const std::string& title : table.titles)
        csv.field(encoding == TextEncoding::Cp932 ? toCp932(title) : title);
    csv.endRow();
}

// A cell's CSV text in the file's encoding. Texts (names, kinds, problems) repeat from row
// to row, so their CP932 bytes are kept for the next rows, up to a bound.
class CellEncoder {
public:
    explicit CellEncoder(TextEncoding encoding) : encoding_(encoding) {}
    std::string_view operator()(const ReportCell& cell) {
        const std::string plain = cell.csvText();
        if (encoding_ != TextEncoding::Cp932) return last_ = plain;
        if (cell.number) return last_ = toCp932(plain);  // figures rarely repeat
        auto it = texts_.find(plain);
        if (it == texts_.end()) {
            if (texts_.size() >= 4096) texts_.clear();
            it = texts_.emplace(plain, toCp932(plain)).first;
        }
        return it->second;
    }

private:
    TextEncoding encoding_;
    std::string last_;
    std::unordered_map<std::string, std::string> texts_;
};

void csvRow(CsvWriter& csv, const std::vector<ReportCell>& row, CellEncoder& encoded) {
    for (const ReportCell& cell : row) {
        // A number stays a number; a text (a name) is guarded against formulas.
        if (cell.number)
            csv.field(encoded(cell));
        else
            csv.textField(encoded(cell));
    }
    csv.endRow();
}

}  // namespace

std::string tableCsv(const ReportTable& table, TextEncoding encoding) {
    CsvWriter csv;
    csvTitles(csv, table, encoding);
    CellEncoder encoder(encoding);
    for (const auto& row : table.rows) csvRow(csv, row, encoder);
    return csv.take();
}

void writeTableCsv(const ReportTable& table, const std::string& path, TextEncoding encoding,
                   FileSystem& fs) {
    folder::writeExportFile(path, tableCsv(table, encoding), fs);
}

void writeTableCsv(const ReportTable& heading, std::size_t rowCount, const TableRowSource& rowAt,
                   const std::string& path, TextEncoding encoding, FileSystem& fs,
                   const std::function<void(std::size_t)>& afterChunk) {
    folder::writeExportFile(
        path,
        [&](const folder::ExportSink& sink) {
            CsvWriter csv;
            csvTitles(csv, heading, encoding);
            CellEncoder encoder(encoding);
            std::size_t row = 0;
            do {
                const std::size_t end = std::min(rowCount, row + kCsvChunkRows);
                for (; row < end; ++row) csvRow(csv, rowAt(row), encoder);
                sink(csv.pending());
                csv.clear();  // keeps its memory for the next chunk
                if (afterChunk) afterChunk(row);
            } while (row < rowCount);
        },
        fs);
}

}  // namespace quil::analysis
