#pragma once
// A table of texts as the analysis windows show, sort, print and export it: column titles,
// rows of texts, and per cell a number to sort by (texts sort as texts where a column has
// no numbers). CSV goes out as the list export writes it: CP932, CRLF, quoted as needed,
// numbers plain (no units or thousands separators) so a spreadsheet reads them as numbers.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reports/FuelReport.h"
#include "reports/MaintenanceSchedule.h"
#include "reports/OdometerCheck.h"
#include "store/FileSystem.h"

namespace quil::analysis {

struct ReportCell {
    std::string text;
    std::optional<double> number;  // what the column sorts by; none: by text
    std::string plain;             // the CSV text when it differs: no units, no separators
    bool blankInCsv = false;       // a figure that cannot be worked out ("－"): an empty cell
    std::string csvText() const {
        return blankInCsv ? std::string() : plain.empty() ? text : plain;
    }
};

struct ReportTable {
    std::vector<std::string> titles;
    std::vector<bool> rightAligned;
    std::vector<std::vector<ReportCell>> rows;
    bool lastRowIsTotal = false;  // the 合計 row stays last however the table is sorted
};

// The vehicle table: 車両, 走行距離, 給油量, 燃費, 燃料費, 整備費, 出費, 合計, km単価.
ReportTable vehicleCostTable(const FuelReport& report);
// The month table: 年月 and the same figures.
ReportTable monthCostTable(const FuelReport& report);
ReportTable scheduleTable(const std::vector<ScheduleRow>& rows);
// `names` gives the vehicle names by item position.
ReportTable odometerTable(const std::vector<OdometerFinding>& findings,
                          const store::ItemNames& names);
// The odometer table's titles and alignment without rows, and one cell of a finding's row
// (column 0..5), for a window that keeps the findings and makes a cell when it is shown.
ReportTable odometerHeading();
ReportCell odometerCell(const OdometerFinding& finding, const store::ItemNames& names,
                        std::size_t column);
// What a cell of the odometer table sorts by: the same figure as odometerCell's, without
// making its text.
std::optional<double> odometerFigure(const OdometerFinding& finding, std::size_t column);

// The table as CSV bytes (titles first) with CRLF, in CP932 or UTF-8.
std::string tableCsv(const ReportTable& table,
                     store::TextEncoding encoding = store::TextEncoding::Cp932);
// Writes tableCsv to `path` as every export is written (folder::writeExportFile): beside it
// and renamed over it, so a failed write leaves the old file whole. Throws StoreError
// naming the file.
void writeTableCsv(const ReportTable& table, const std::string& path,
                   store::TextEncoding encoding = store::TextEncoding::Cp932,
                   store::FileSystem& fs = store::FileSystem::current());

// Rows made one at a time: the cells of row `row` (0-based).
using TableRowSource = std::function<std::vector<ReportCell>(std::size_t row)>;
// The rows made and encoded between two writes of a streamed table CSV.
inline constexpr std::size_t kCsvChunkRows = 4096;
// Writes the titles of `heading` and `rowCount` rows from `rowAt` with exactly the bytes
// tableCsv gives for the whole table, without making it: kCsvChunkRows rows are made and
// encoded, written, and their memory reused for the next. `afterChunk(rowsWritten)` runs
// after each chunk is written (a progress display); an exception from it (such as
// folder::ExportCancelled) stops the export and leaves the old file whole and no other.
void writeTableCsv(const ReportTable& heading, std::size_t rowCount, const TableRowSource& rowAt,
                   const std::string& path,
                   store::TextEncoding encoding = store::TextEncoding::Cp932,
                   store::FileSystem& fs = store::FileSystem::current(),
                   const std::function<void(std::size_t rowsWritten)>& afterChunk = {});

// "12.3" style texts with thousands separators for whole figures: "1,234円", "12.3 km/L".
std::string yenText(std::int64_t yen);
std::string kmText(double km);

}  // namespace quil::analysis
