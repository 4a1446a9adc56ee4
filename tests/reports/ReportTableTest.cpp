#include <gtest/gtest.h>

#include "CrashingFileSystem.h"
#include "ReportFixtures.h"
#include "folder/ExportFile.h"
#include "reports/ReportTable.h"
#include "store/Codec.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;
using store::ItemKind;

FuelReport sampleReport() {
    FuelReport r;
    r.vehicles.push_back({0, "社用車, 1号", {}});
    CostFigures& f = r.vehicles[0].figures;
    f.distance = 1234.5;
    f.litres = 60;
    f.fuelCost = 12345;
    f.economyDistance = 600;
    f.economyLitres = 40;
    r.total = f;
    r.months.push_back({2024, 2, {}});
    return r;
}

TEST(ReportTable, CsvIsCp932WithPlainNumbersAndQuotedNames) {
    const std::string csv = store::fromCp932(tableCsv(vehicleCostTable(sampleReport())));
    EXPECT_EQ(csv,
              "車両,走行距離,給油量,燃費,燃料費,整備費,出費,合計,km単価\r\n"
              "\"社用車, 1号\",1234.5,60.0,15.0,12345,0,0,12345,10.0\r\n"
              "合計,1234.5,60.0,15.0,12345,0,0,12345,10.0\r\n");
}

TEST(ReportTable, CsvGuardsFormulaLikeNamesButNotNegativeNumbers) {
    FuelReport r = sampleReport();
    r.vehicles[0].name = "=1+2";
    r.vehicles[0].figures.distance = -5;
    const std::string csv = store::fromCp932(tableCsv(vehicleCostTable(r)));
    EXPECT_NE(csv.find("\r\n'=1+2,-5.0,"), std::string::npos) << csv;
}

TEST(ReportTable, ShownTextsAndSortKeys) {
    const ReportTable t = vehicleCostTable(sampleReport());
    EXPECT_EQ(t.rows[0][1].text, "1234.5 km");
    EXPECT_EQ(t.rows[0][4].text, "12,345円");
    EXPECT_DOUBLE_EQ(*t.rows[0][4].number, 12345);
    const ReportTable months = monthCostTable(sampleReport());
    EXPECT_EQ(months.rows[0][0].text, "2024/02");
    EXPECT_EQ(months.rows[0][3].text, "－");  // no economy in an empty month
    EXPECT_FALSE(months.rows[0][3].number);
    EXPECT_FALSE(months.rightAligned[0]);
}

TEST(ReportTable, CsvInUtf8WhenChosen) {
    const std::string utf8 = tableCsv(vehicleCostTable(sampleReport()), store::TextEncoding::Utf8);
    // With the byte-order mark every UTF-8 CSV of the program starts with (Excel needs it).
    EXPECT_EQ(utf8, "\xEF\xBB\xBF" + store::fromCp932(tableCsv(vehicleCostTable(sampleReport()))));
}

TEST(ReportTable, AFigureThatCannotBeWorkedOutIsAnEmptyCsvCell) {
    // The month without records shows "－" for km/L and cost per km; the CSV's numeric
    // columns stay numeric.
    const std::string csv = store::fromCp932(tableCsv(monthCostTable(sampleReport())));
    EXPECT_EQ(csv.find("－"), std::string::npos) << csv;
    EXPECT_NE(csv.find("2024/02,0.0,0.0,,0,0,0,0,\r\n"), std::string::npos) << csv;
}

TEST(ReportTable, ScheduleAndOdometerRows) {
    ScheduleRow row;
    row.vehicleName = "車";
    row.itemName = "車検";
    row.dueDate = day(2024, 7, 1);
    row.daysLeft = -3;
    row.status = DueStatus::Overdue;
    const ReportTable t = scheduleTable({row});
    EXPECT_EQ(t.rows[0][2].text, "未実施");
    EXPECT_EQ(t.rows[0][4].text, "2024/07/01");
    EXPECT_EQ(t.rows[0][7].text, "-3 日");
    EXPECT_EQ(t.rows[0][9].text, "期限切れ");

    store::ItemRecord car = item(ItemKind::Vehicle, "営業車");
    store::ItemNames names(std::vector<store::ItemRecord>{car});
    OdometerFinding f{5,
                      day(2024, 4, 2),
                      store::RecordKind::Driving,
                      0,
                      1040,
                      1050,
                      2050,
                      OdometerProblem::DepartureBelowPrevious};
    const ReportTable o = odometerTable({f}, names);
    EXPECT_EQ(o.rows[0][1].text, "営業車");
    EXPECT_EQ(o.rows[0][2].text, "走行記録");
    EXPECT_EQ(o.rows[0][4].text, "1050.0～2050.0 km");
}

TEST(ReportTable, FailedWriteLeavesNoFile) {
    TempDir dir;
    const std::string path = dir.file("none/out.csv");
    EXPECT_THROW(writeTableCsv(vehicleCostTable(sampleReport()), path), store::StoreError);
    EXPECT_FALSE(readBytes(path));
    EXPECT_FALSE(readBytes(path + ".part"));
    writeTableCsv(vehicleCostTable(sampleReport()), dir.file("out.csv"));
    EXPECT_EQ(*readBytes(dir.file("out.csv")), tableCsv(vehicleCostTable(sampleReport())));
}

// The table goes through the export writer and its file-system seam: a failed write or
// rename keeps the file written before.
TEST(ReportTable, AFailedWriteOverAnOlderTableKeepsItAndIsRaised) {
    TempDir dir;
    const std::string path = dir.file("out.csv");
    writeBytes(path, "older table\r\n");
    for (auto op : {FaultyFileSystem::Op::Write, FaultyFileSystem::Op::Rename}) {
        FaultyFileSystem fs(op, 1);
        EXPECT_THROW(
            writeTableCsv(vehicleCostTable(sampleReport()), path, store::TextEncoding::Cp932, fs),
            store::StoreError);
        EXPECT_TRUE(fs.fired());
        EXPECT_EQ(readBytes(path), "older table\r\n");
        EXPECT_FALSE(readBytes(path + ".part"));
    }
}

// A long table streamed a chunk at a time: cells of every kind (a figure, a "－" figure, a
// text needing quotes, a formula-like text, Japanese) over more than two chunks.
struct LongTable {
    std::size_t rows = 2 * kCsvChunkRows + 5;
    mutable std::size_t made = 0;  // rows handed out so far
    ReportTable heading() const {
        ReportTable t;
        t.titles = {"車両", "距離", "燃費"};
        t.rightAligned = {false, true, true};
        return t;
    }
    std::vector<ReportCell> row(std::size_t r) const {
        ++made;
        const std::string name = r % 3 == 0   ? "=社用車" + std::to_string(r)
                                 : r % 3 == 1 ? "社用車, " + std::to_string(r)
                                              : "営業車";
        ReportCell blank{"－", std::nullopt, {}, true};
        ReportCell economy{std::to_string(r) + " km/L", double(r), std::to_string(r)};
        return {ReportCell{name, std::nullopt, {}},
                ReportCell{std::to_string(r) + " km", double(r) / 10, std::to_string(r)},
                r % 2 ? blank : economy};
    }
    ReportTable whole() const {
        ReportTable t = heading();
        for (std::size_t r = 0; r < rows; ++r) t.rows.push_back(row(r));
        made = 0;
        return t;
    }
    TableRowSource source() const {
        return [this](std::size_t r) { return row(r); };
    }
};

TEST(StreamedTableCsv, WritesTheBytesOfTheWholeTableAChunkAtATime) {
    TempDir dir;
    const std::string path = dir.file("out.csv");
    for (auto encoding : {store::TextEncoding::Cp932, store::TextEncoding::Utf8}) {
        LongTable table;
        std::vector<std::size_t> progress;
        writeTableCsv(table.heading(), table.rows, table.source(), path, encoding,
                      store::FileSystem::current(),
                      [&](std::size_t written) { progress.push_back(written); });
        EXPECT_EQ(readBytes(path), tableCsv(table.whole(), encoding));
        EXPECT_EQ(progress, (std::vector<std::size_t>{kCsvChunkRows, 2 * kCsvChunkRows,
                                                      2 * kCsvChunkRows + 5}));
    }
    // No rows: the titles alone, as the whole table gives them.
    LongTable none;
    none.rows = 0;
    writeTableCsv(none.heading(), 0, none.source(), path);
    EXPECT_EQ(readBytes(path), tableCsv(none.heading()));
}

// The rows are made as they are written: no more than one chunk is made before the first
// write, so a failing first write has made no others, and the older file stays whole.
TEST(StreamedTableCsv, MakesOneChunkBeforeItWritesAndAFailureKeepsTheOlderFile) {
    TempDir dir;
    const std::string path = dir.file("out.csv");
    writeBytes(path, "older table\r\n");
    for (auto op :
         {FaultyFileSystem::Op::Write, FaultyFileSystem::Op::Sync, FaultyFileSystem::Op::Rename}) {
        LongTable table;
        FaultyFileSystem fs(op, 1);
        EXPECT_THROW(writeTableCsv(table.heading(), table.rows, table.source(), path,
                                   store::TextEncoding::Cp932, fs),
                     store::StoreError);
        EXPECT_TRUE(fs.fired());
        if (op == FaultyFileSystem::Op::Write) {
            EXPECT_EQ(table.made, kCsvChunkRows);
        }
        EXPECT_EQ(readBytes(path), "older table\r\n");
        EXPECT_FALSE(readBytes(path + ".part"));
    }
}

TEST(StreamedTableCsv, ACancelledExportKeepsTheOlderFileAndLeavesNoOther) {
    TempDir dir;
    const std::string path = dir.file("out.csv");
    writeBytes(path, "older table\r\n");
    LongTable table;
    EXPECT_THROW(writeTableCsv(table.heading(), table.rows, table.source(), path,
                               store::TextEncoding::Cp932, store::FileSystem::current(),
                               [](std::size_t written) {
                                   if (written > kCsvChunkRows) throw folder::ExportCancelled{};
                               }),
                 folder::ExportCancelled);
    EXPECT_EQ(table.made, 2 * kCsvChunkRows);  // stopped after the second chunk
    EXPECT_EQ(readBytes(path), "older table\r\n");
    EXPECT_FALSE(readBytes(path + ".part"));
}

// Cut off after any number of changes, as by a crash: the older file or the whole new one.
TEST(StreamedTableCsv, ACrashAtAnyPointLeavesTheOlderFileOrTheWholeNewOne) {
    LongTable table;
    const std::string expected = tableCsv(table.whole());
    for (int k = 1;; ++k) {
        SCOPED_TRACE(k);
        TempDir dir;
        const std::string path = dir.file("out.csv");
        writeBytes(path, "older table\r\n");
        CrashingFileSystem fs(k);
        try {
            writeTableCsv(table.heading(), table.rows, table.source(), path,
                          store::TextEncoding::Cp932, fs);
        } catch (const store::StoreError&) {
        }
        const auto now = readBytes(path);
        ASSERT_TRUE(now);
        if (!fs.crashed()) {
            EXPECT_EQ(*now, expected);
            break;
        }
        EXPECT_TRUE(*now == "older table\r\n" || *now == expected);
    }
}

}  // namespace
}  // namespace quil::analysis
