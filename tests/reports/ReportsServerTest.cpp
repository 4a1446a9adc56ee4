// The reports over a data set on a server: a data folder pushed to the server gives the same
// figures, schedule, findings, names and drives as the folder itself, with the server's
// record ids naming the records the folder names by position.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "LoginRole.h"
#include "PgTestCluster.h"
#include "ReportFixtures.h"
#include "reports/FuelReport.h"
#include "reports/MaintenanceSchedule.h"
#include "reports/MissingChecks.h"
#include "reports/OdometerCheck.h"
#include "reports/RegisterNames.h"
#include "reports/SummaryTable.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/ServerStore.h"
#include "server/ServerTransfer.h"
#include "store/DataStore.h"
#include "store/RecordStore.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;
using store::DataRecord;
using store::ItemKind;

enum Pos : int {
    kCarA = 0,
    kCarB = 1,
    kScrapped = 2,  // a deleted vehicle that still has records
    kYamada = 3,
    kSato = 4,
    kDelivery = 5,
    kSales = 6,
    kOil = 7,
    kInspection = 8,
};

std::vector<store::ItemRecord> fleetItems() {
    std::vector<store::ItemRecord> items = {
        item(ItemKind::Vehicle, "車A", day(2023, 1, 10), 1000),
        item(ItemKind::Vehicle, "車B", day(2023, 6, 1), 500),
        item(ItemKind::Vehicle, "廃車"),
        item(ItemKind::User, "山田"),
        item(ItemKind::User, "佐藤"),
        item(ItemKind::Purpose, "配達"),
        item(ItemKind::Purpose, "営業"),
        item(ItemKind::MaintenanceItem, "オイル交換"),
        item(ItemKind::MaintenanceItem, "車検"),
    };
    items[kScrapped].setDeleted(true);
    return items;
}

// A year of records of three vehicles: trips with a wrong reading now and then, full and
// partial refuellings, maintenance with and without a reading, expenses, deleted records,
// records of a vehicle position that is no vehicle, and records sharing their key (date,
// vehicle, user), which keep their order of entry. In the list's order, as a save keeps it.
std::vector<DataRecord> fleetRecords() {
    std::mt19937 random(20240101);
    auto chance = [&](int in) {
        return std::uniform_int_distribution<int>(0, in - 1)(random) == 0;
    };
    std::vector<DataRecord> out;
    double odometer[3] = {1000, 500, 20000};
    int price = 100;
    for (int d = 0; d < 366; ++d) {
        const store::DateTime date = day(2024, 1, 1) + d;
        for (int v : {kCarA, kCarB, kScrapped}) {
            if (v == kScrapped && d > 120) continue;
            const int user = chance(2) ? kYamada : kSato;
            if (chance(3)) {
                DataRecord r = driving(date, v, odometer[v], odometer[v] + 20 + d % 30);
                r.setUser(std::int16_t(user));
                r.setItem(std::int16_t(chance(2) ? kDelivery : kSales));
                if (chance(40)) r.setDistance1(odometer[v] - 300);   // backwards
                if (chance(50)) r.setDistance2(odometer[v] + 5000);  // a jump
                r.setDeleted(chance(30));
                odometer[v] += 20 + d % 30;
                out.push_back(r);
                if (chance(10)) {  // a second trip under the same key
                    DataRecord again = r;
                    again.setDistance1(odometer[v]);
                    again.setDistance2(odometer[v] + 7);
                    again.setDeleted(false);
                    odometer[v] += 7;
                    out.push_back(again);
                }
            }
            if (chance(7)) {
                DataRecord r = refuel(date, v, 30 + d % 11, price += 13,
                                      chance(5) ? "部分給油" : "", chance(6) ? odometer[v] : 0);
                r.setUser(std::int16_t(user));
                out.push_back(r);
            }
            if (chance(45)) {
                DataRecord r =
                    maintenance(date, v, chance(2) ? kOil : kInspection,
                                chance(3) ? 0 : odometer[v] + (chance(8) ? -900 : 0), 5000 + d);
                r.setUser(std::int16_t(user));
                out.push_back(r);
            }
            if (chance(12)) {
                DataRecord r = expense(date, v, 800 + d);
                r.setUser(std::int16_t(user));
                r.setTax(80);
                out.push_back(r);
            }
        }
        if (chance(20)) {
            DataRecord r = driving(date, 9, 10, 30);  // position 9 is no vehicle
            r.setUser(kYamada);
            out.push_back(r);
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const DataRecord& a, const DataRecord& b) { return sortsAfter(b, a); });
    return out;
}

// The same data set as a data folder and pushed to a server, shared by the suite.
class ReportsOnServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempDir;
        writeDataSet(*folder_, fleetItems(), fleetRecords());
        db_ = new test::ScratchDatabase;
        server::PgConnection c(db_->conninfo());
        server::initializeSchema(c);
        server::pushFolder(c, folder_->dir());
    }
    static void TearDownTestSuite() {
        delete db_;
        delete folder_;
        db_ = nullptr;
        folder_ = nullptr;
    }

    std::string dir() const { return folder_->dir(); }
    std::unique_ptr<store::DataStore> server() { return server::openServerStore(conninfo()); }
    static std::string conninfo() { return db_->conninfo(); }

    // The folder's position of each server record id (the lists' orders agree, deleted
    // records included), after checking that both hold the same records.
    std::map<std::int64_t, std::int64_t> positionsOfIds() {
        std::vector<store::StoredRecord> inFolder, onServer;
        store::openFolderStore(dir())->scanRecords(
            [&](const store::StoredRecord& r) { inFolder.push_back(r); }, true);
        server()->scanRecords([&](const store::StoredRecord& r) { onServer.push_back(r); }, true);
        EXPECT_EQ(inFolder.size(), onServer.size());
        std::map<std::int64_t, std::int64_t> out;
        for (std::size_t i = 0; i < std::min(inFolder.size(), onServer.size()); ++i) {
            EXPECT_TRUE(inFolder[i].record == onServer[i].record) << "record " << i;
            out[onServer[i].id] = inFolder[i].id;
        }
        out[-1] = -1;  // the record being entered
        return out;
    }

    static TempDir* folder_;
    static test::ScratchDatabase* db_;
};

TempDir* ReportsOnServerTest::folder_ = nullptr;
test::ScratchDatabase* ReportsOnServerTest::db_ = nullptr;

// A NaN's sign depends on the order in which sums met their NaNs; the program writes any
// NaN alike (store::appendOneDecimal).
std::string text(double v) {
    if (std::isnan(v)) return "nan";
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
}

std::string describe(const ui::SummaryFigures& f) {
    return text(f.distance) + " km " + std::to_string(f.count) + "回 " + text(f.litres) + " L " +
           std::to_string(f.price) + "+" + std::to_string(f.tax);
}

std::string describe(const ui::SummaryResult& r) {
    std::string s = r.itemFileFound ? "items\n" : "no items\n";
    for (const ui::SummaryLine& l : r.groups) s += l.name + ": " + describe(l.figures) + "\n";
    if (r.hasOthers) s += "others: " + describe(r.others) + "\n";
    return s + "total: " + describe(r.total);
}

std::string describe(const CostFigures& f) {
    return text(f.distance) + " km " + text(f.litres) + " L " + std::to_string(f.refuels) + "回 " +
           std::to_string(f.fuelCost) + "/" + std::to_string(f.maintenanceCost) + "/" +
           std::to_string(f.expenseCost) + " economy " + text(f.economyDistance) + "/" +
           text(f.economyLitres);
}

std::string describe(const FuelReport& r) {
    std::string s;
    for (const VehicleCosts& v : r.vehicles)
        s += std::to_string(v.position) + " " + v.name + ": " + describe(v.figures) + "\n";
    if (r.hasOthers) s += "others: " + describe(r.others) + "\n";
    s += "total: " + describe(r.total) + "\n";
    for (const MonthCosts& m : r.months)
        s += std::to_string(m.year) + "/" + std::to_string(m.month) + ": " + describe(m.figures) +
             "\n";
    for (const EconomyPoint& p : r.points)
        s += text(p.date) + " " + std::to_string(p.vehicle) + " " + text(p.distance) + "/" +
             text(p.litres) + "\n";
    return s;
}

std::string describe(const std::vector<ScheduleRow>& rows) {
    auto opt = [](const auto& o) { return o ? text(double(*o)) : std::string("-"); };
    std::string s;
    for (const ScheduleRow& r : rows)
        s += r.vehicleName + "/" + r.itemName + " last " + opt(r.lastDate) + " " +
             opt(r.lastOdometer) + " due " + opt(r.dueDate) + " " + opt(r.dueOdometer) + " now " +
             text(r.currentOdometer) + " left " + opt(r.daysLeft) + " " + opt(r.kmLeft) + " " +
             std::to_string(int(r.status)) + "\n";
    return s;
}

// Findings with the server's ids turned into the folder's positions.
std::string describe(const std::vector<OdometerFinding>& findings,
                     const std::map<std::int64_t, std::int64_t>* positionOf = nullptr) {
    std::string s;
    for (const OdometerFinding& f : findings) {
        std::int64_t position = f.position;
        if (positionOf) {
            const auto it = positionOf->find(f.position);
            position = it == positionOf->end() ? -99 : it->second;
        }
        s += std::to_string(position) + " " + text(f.date) + " " +
             std::to_string(static_cast<int>(f.kind)) + " " + std::to_string(f.vehicle) + " " +
             text(f.reading) + " [" + text(f.expectedLow) + ", " + text(f.expectedHigh) + "] " +
             odometerProblemText(f.problem) + "\n";
    }
    return s;
}

TEST_F(ReportsOnServerTest, SummaryOfEveryKindAndPeriodIsTheFolders) {
    const auto data = server();
    // 全て, the year, the fiscal year's first half, a quarter, a month.
    for (int period : {0, 1, 3, 6, 12}) {
        for (int kind = 0; kind <= 8; ++kind) {
            const auto k = ui::summaryKindFromIndex(kind);
            const ui::SummaryResult fromFolder =
                ui::computeSummary(dir(), k, ui::summaryPeriodFromIndex(period), 2024);
            ASSERT_TRUE(fromFolder.itemFileFound);
            EXPECT_EQ(
                describe(ui::computeSummary(*data, k, ui::summaryPeriodFromIndex(period), 2024)),
                describe(fromFolder))
                << "kind " << kind << ", period " << period;
        }
    }
    // The data set exercises what a summary tells apart.
    const auto all = ui::computeSummary(*data, ui::SummaryKind::DistanceByVehicle,
                                        ui::summaryPeriodFromIndex(0), 2024);
    ASSERT_EQ(all.groups.size(), 2u);  // the deleted vehicle has no line
    EXPECT_TRUE(all.hasOthers);
    EXPECT_GT(all.groups[0].figures.count, 50);
}

TEST_F(ReportsOnServerTest, FuelReportOfEveryVehicleAndOneIsTheFolders) {
    const auto data = server();
    const ReportPeriod year{false, store::periodRange(store::PeriodKind::Year, 2024, 0)};
    const ReportPeriod march{false, store::periodRange(store::PeriodKind::Month, 2024, 2)};
    for (const ReportPeriod& period : {ReportPeriod{}, year, march}) {
        for (int vehicle : {-1, int(kCarA), int(kCarB)}) {
            EXPECT_EQ(describe(computeFuelReport(*data, period, vehicle)),
                      describe(computeFuelReport(dir(), period, vehicle)))
                << "vehicle " << vehicle;
        }
    }
    const FuelReport all = computeFuelReport(*data, ReportPeriod{});
    EXPECT_GT(all.points.size(), 10u);  // full-to-full intervals were found
    EXPECT_TRUE(all.hasOthers);
}

TEST_F(ReportsOnServerTest, ScheduleIsTheFolders) {
    const auto data = server();
    const std::vector<MaintenanceCycle> cycles = {{kOil, 6, 5000, 0}, {kInspection, 24, 0, 36}};
    const auto onServer = computeSchedule(*data, cycles, day(2025, 1, 15));
    EXPECT_EQ(describe(onServer), describe(computeSchedule(dir(), cycles, day(2025, 1, 15))));
    ASSERT_EQ(onServer.size(), 4u);  // two live vehicles, two items with a cycle
    EXPECT_TRUE(std::any_of(onServer.begin(), onServer.end(),
                            [](const ScheduleRow& r) { return r.lastDate.has_value(); }));
    EXPECT_TRUE(computeSchedule(*data, {{kOil, 0, 0, 0}}, day(2025, 1, 15)).empty());
}

TEST_F(ReportsOnServerTest, OdometerFindingsNameTheSameRecordsByTheirIds) {
    const auto positionOf = positionsOfIds();
    const auto data = server();
    for (double limit : {kDefaultDailyLimitKm, 60.0}) {
        const auto onServer = checkOdometers(*data, limit);
        EXPECT_EQ(describe(onServer, &positionOf), describe(checkOdometers(dir(), limit)));
        EXPECT_GT(onServer.size(), 5u);
    }
}

TEST_F(ReportsOnServerTest, NewReadingsAndEditsBreakTheSameChains) {
    const auto positionOf = positionsOfIds();
    std::map<std::int64_t, std::int64_t> idOf;
    for (const auto& [id, position] : positionOf) idOf[position] = id;
    const auto data = server();
    const std::vector<DataRecord> records = fleetRecords();

    std::vector<std::pair<DataRecord, std::optional<std::int64_t>>> cases;
    // New records in the middle of the year and after its end, fitting or not.
    for (int v : {kCarA, kCarB}) {
        cases.emplace_back(driving(day(2024, 6, 10), v, 10, 20), std::nullopt);
        cases.emplace_back(driving(day(2025, 1, 2), v, 900000, 900010), std::nullopt);
        cases.emplace_back(maintenance(day(2024, 9, 3), v, kOil, 1), std::nullopt);
    }
    // Edits of stored trips: the edited record leaves its old place.
    int edits = 0;
    for (std::int64_t p = 0; p < std::int64_t(records.size()) && edits < 12; p += 37) {
        const DataRecord& r = records[std::size_t(p)];
        if (r.deleted() || r.kind() != std::int16_t(store::RecordKind::Driving)) continue;
        DataRecord changed = r;
        changed.setDistance2(r.distance2() + (edits % 2 ? 4000 : -2000));
        cases.emplace_back(changed, p);
        ++edits;
    }
    ASSERT_GE(edits, 5);

    int found = 0;
    for (const auto& [record, edit] : cases) {
        const std::optional<std::int64_t> id =
            edit ? std::optional<std::int64_t>(idOf.at(*edit)) : std::nullopt;
        const auto onServer = checkNewReading(*data, record, id);
        EXPECT_EQ(describe(onServer, &positionOf), describe(checkNewReading(dir(), record, edit)))
            << "edit of " << (edit ? *edit : -1) << ", date " << record.date();
        found += int(onServer.size());
    }
    EXPECT_GT(found, 5);
}

TEST_F(ReportsOnServerTest, RegisterNamesAndDrivesAreTheFolders) {
    const auto positionOf = positionsOfIds();
    const auto data = server();
    const alcohol::RegisterNames fromFolder = alcohol::RegisterNames::load(dir());
    const alcohol::RegisterNames onServer = alcohol::RegisterNames::load(*data);
    auto labels = [](const std::vector<alcohol::PickEntry>& entries) {
        std::string s;
        for (const auto& e : entries) s += std::to_string(e.position) + " " + e.label + "\n";
        return s;
    };
    EXPECT_EQ(labels(onServer.drivers()), labels(fromFolder.drivers()));
    EXPECT_EQ(labels(onServer.vehicles()), labels(fromFolder.vehicles()));
    EXPECT_EQ(onServer.vehicleLabel(kScrapped), fromFolder.vehicleLabel(kScrapped));
    EXPECT_EQ(onServer.vehicleLabel(kScrapped), "廃車");  // deleted, still named

    const auto folderDrives =
        alcohol::drivesBetween(store::RecordStore(dir()), day(2024, 3, 1), day(2024, 3, 31));
    const auto serverDrives = alcohol::drivesBetween(*data, day(2024, 3, 1), day(2024, 3, 31));
    ASSERT_EQ(serverDrives.size(), folderDrives.size());
    ASSERT_GT(serverDrives.size(), 10u);
    for (std::size_t i = 0; i < serverDrives.size(); ++i) {
        EXPECT_EQ(positionOf.at(serverDrives[i].position), folderDrives[i].position);
        EXPECT_EQ(serverDrives[i].departure, folderDrives[i].departure);
        EXPECT_EQ(serverDrives[i].driver, folderDrives[i].driver);
    }
}

// The server takes a record's reading when the folder does, and the same one, bit for bit,
// whatever its distances: no number of either sign, infinite, a zero of either sign,
// negative, in either place, of every kind.
TEST_F(ReportsOnServerTest, TheServerCountsTheReadingsTheFolderCounts) {
    server::PgConnection c(conninfo());
    const double inf = std::numeric_limits<double>::infinity();
    const double odd[] = {std::nan(""), -std::nan(""), -inf, -1.5, -0.0, 0.0, 0.25, 1e300, inf};
    for (int kind = 0; kind <= 3; ++kind)
        for (double d1 : odd)
            for (double d2 : odd) {
                DataRecord r = makeRecord(day(2024, 1, 1), kCarA, kYamada, 0, kind);
                r.setDistance1(d1);
                r.setDistance2(d2);
                const double reading = store::odometerReading(r);
                const double counted = reading > 0 ? reading : 0;
                const double onServer =
                    c.exec(
                         "SELECT quil_reading($1::int2, quil_raw_float8($2, 32), "
                         "quil_raw_float8($2, 40))",
                         {server::PgParam::number(kind), server::PgParam::bytes(server::rawOf(r))},
                         true)
                        .float8(0, 0);
                EXPECT_EQ(std::bit_cast<std::uint64_t>(onServer),
                          std::bit_cast<std::uint64_t>(counted))
                    << "kind " << kind << ": " << d1 << ", " << d2;
            }
}

TEST_F(ReportsOnServerTest, AReadOnlyUserReadsTheSameFigures) {
    const auto positionOf = positionsOfIds();
    const test::LoginRole viewer(conninfo(), "quil_viewer");
    const auto data = server::openServerStore(viewer.conninfo());
    EXPECT_FALSE(data->writable());
    EXPECT_EQ(describe(ui::computeSummary(*data, ui::SummaryKind::ExpenseByVehicle,
                                          ui::summaryPeriodFromIndex(1), 2024)),
              describe(ui::computeSummary(dir(), ui::SummaryKind::ExpenseByVehicle,
                                          ui::summaryPeriodFromIndex(1), 2024)));
    EXPECT_EQ(describe(checkOdometers(*data), &positionOf), describe(checkOdometers(dir())));
}

// Random data sets, the same as a folder and on a server: the server's sums give the
// figures the folder's records give. Dates fall on the edges of months, quarters and the
// fiscal halves as well as between them; there are deleted records, records of a deleted
// vehicle and of positions that are no item, negative prices, odd readings and refuellings
// with and without a reading of their own. Values are quarters, so that sums taken in any
// order are exact.
class ReportsAgreeOnRandomDataTest : public ::testing::TestWithParam<unsigned> {
protected:
    static std::string repeat(const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    }
    static std::vector<DataRecord> randomRecords(unsigned seed) {
        std::mt19937 random(seed);
        auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
        auto quarters = [&](int most) { return pick(most * 4) / 4.0; };
        std::vector<DataRecord> out;
        const int n = 300 + pick(300);
        for (int i = 0; i < n; ++i) {
            // A first or last moment of a month, or any time of a day of the year.
            const unsigned month = 1 + unsigned(pick(12));
            store::DateTime date = day(2024, month, 1) + pick(366) - 30;
            switch (pick(4)) {
                case 0: date = day(2024, month, 1); break;
                case 1: date = day(2024, month, 1) - 1.0 / 86400; break;
                default: date += pick(1440) / 1440.0; break;
            }
            const int vehicle = pick(10) == 0 ? 9 : pick(3);  // 2: deleted, 9: no item
            const int kind = pick(4);
            DataRecord r = makeRecord(date, vehicle, 0, pick(9000) - 1000, kind);
            r.setUser(std::int16_t(pick(2) ? kYamada : kSato));
            r.setItem(std::int16_t(kind == 2 ? (pick(2) ? kOil : kInspection)
                                             : (pick(3) ? kDelivery : kSales)));
            r.setTax(pick(900) - 100);
            const double base = 1000 + std::floor(date - day(2023, 12, 1)) * 40;
            switch (kind) {
                case 0:
                    r.setDistance1(base + quarters(20) - (pick(15) == 0 ? 500 : 0));
                    r.setDistance2(r.distance1() + quarters(80));
                    r.setReturnTime(date + quarters(2) / 24);
                    break;
                case 1:
                    r.setDistance2(quarters(50));
                    r.setDistance1(pick(3) == 0 ? base : 0);
                    // A mark that ends the remarks' field, one cut off at its end, and the
                    // bytes of one from the second byte of "ｕ" on: no mark.
                    switch (pick(8)) {
                        case 0:
                        case 1: r.setRemarks("給油 部分給油"); break;
                        case 2: r.setRemarks(repeat("あ", 46) + "継ぎ足し"); break;
                        case 3: r.setRemarks(repeat("あ", 47) + "継ぎ足し"); break;
                        case 4: r.setRemarks("ｕ舶ｪ給油"); break;
                        default: r.setRemarks("満タン"); break;
                    }
                    break;
                case 2: r.setDistance1(pick(3) == 0 ? 0 : base - quarters(30)); break;
                default: break;
            }
            // Now and then a damaged record: a distance of no number, infinite or -0.
            if (pick(25) == 0) {
                const double inf = std::numeric_limits<double>::infinity();
                const double odd = std::array{std::nan(""), inf, -inf, -0.0}[std::size_t(pick(4))];
                if (pick(2))
                    r.setDistance1(odd);
                else
                    r.setDistance2(odd);
            }
            r.setDeleted(pick(6) == 0);
            out.push_back(r);
        }
        std::stable_sort(out.begin(), out.end(),
                         [](const DataRecord& a, const DataRecord& b) { return sortsAfter(b, a); });
        return out;
    }

    // The summary of every kind over periods of every length, the fuel report and the
    // schedule, from the server's data set and from the folder.
    static void compareFigures(store::DataStore& data, const std::string& folder) {
        // 全て, the year, the fiscal halves, two quarters and three months.
        for (int period : {0, 1, 3, 4, 5, 8, 9, 11, 20}) {
            for (int kind = 0; kind <= 8; ++kind) {
                const auto k = ui::summaryKindFromIndex(kind);
                EXPECT_EQ(
                    describe(ui::computeSummary(data, k, ui::summaryPeriodFromIndex(period), 2024)),
                    describe(
                        ui::computeSummary(folder, k, ui::summaryPeriodFromIndex(period), 2024)))
                    << "kind " << kind << ", period " << period;
            }
        }
        const ReportPeriod year{false, store::periodRange(store::PeriodKind::Year, 2024, 0)};
        const ReportPeriod quarter{false, store::periodRange(store::PeriodKind::Quarter, 2024, 1)};
        const ReportPeriod month{false, store::periodRange(store::PeriodKind::Month, 2024, 7)};
        for (const ReportPeriod& period : {ReportPeriod{}, year, quarter, month})
            for (int vehicle : {-1, int(kCarA), int(kScrapped)})
                EXPECT_EQ(describe(computeFuelReport(data, period, vehicle)),
                          describe(computeFuelReport(folder, period, vehicle)))
                    << "vehicle " << vehicle << ", from " << period.range.first;
        const std::vector<MaintenanceCycle> cycles = {{kOil, 3, 2000, 0}, {kInspection, 12, 0, 24}};
        for (store::DateTime today : {day(2024, 6, 30), day(2025, 3, 1)})
            EXPECT_EQ(describe(computeSchedule(data, cycles, today)),
                      describe(computeSchedule(folder, cycles, today)));

        // The odometer findings and the drives of 全て and of a month's edges, each record
        // named by its place among the live records.
        const auto inFolder = store::openFolderStore(folder);
        const auto placeOf = [](store::DataStore& d) {
            std::map<std::int64_t, std::int64_t> out;
            d.scanRecords(
                [&](const store::StoredRecord& r) { out[r.id] = std::int64_t(out.size()); });
            return out;
        };
        const auto onServerAt = placeOf(data), inFolderAt = placeOf(*inFolder);
        EXPECT_EQ(describe(checkOdometers(data, 60), &onServerAt),
                  describe(checkOdometers(*inFolder, 60), &inFolderAt));
        // Some vehicles checked on their own: what the whole check finds of them.
        for (const std::vector<std::int16_t>& some :
             {std::vector<std::int16_t>{0}, std::vector<std::int16_t>{2, 9}}) {
            const auto ofSome = [&](store::DataStore& d,
                                    const std::map<std::int64_t, std::int64_t>& at) {
                std::vector<OdometerFinding> whole = checkOdometers(d, 60), part;
                std::erase_if(whole, [&](const OdometerFinding& f) {
                    return std::find(some.begin(), some.end(), f.vehicle) == some.end();
                });
                for (VehicleFindings& v : checkOdometersByVehicle(d, 60, some))
                    part.insert(part.end(), v.findings.begin(), v.findings.end());
                std::stable_sort(part.begin(), part.end(), findingBefore);
                EXPECT_FALSE(whole.empty());
                EXPECT_EQ(describe(part, &at), describe(whole, &at));
                return describe(part, &at);
            };
            EXPECT_EQ(ofSome(data, onServerAt), ofSome(*inFolder, inFolderAt));
        }
        auto drives = [](store::DataStore& d, const std::map<std::int64_t, std::int64_t>& at,
                         store::DateTime first, store::DateTime last) {
            std::string s;
            for (const alcohol::Drive& r : alcohol::drivesBetween(d, first, last))
                s += std::to_string(at.at(r.position)) + " " + text(r.departure) + " " +
                     text(r.returnTime) + " " + std::to_string(r.vehicle) + "/" +
                     std::to_string(r.driver) + "\n";
            return s;
        };
        for (auto [first, last] :
             {std::pair{day(1, 1, 1), day(9999, 12, 31)}, {day(2024, 3, 1), day(2024, 3, 31)}})
            EXPECT_EQ(drives(data, onServerAt, first, last),
                      drives(*inFolder, inFolderAt, first, last));
    }
};

TEST_P(ReportsAgreeOnRandomDataTest, ServerFiguresAreTheFolders) {
    TempDir folder;
    writeDataSet(folder, fleetItems(), randomRecords(GetParam()));
    test::ScratchDatabase db;
    {
        server::PgConnection c(db.conninfo());
        server::initializeSchema(c);
        server::pushFolder(c, folder.dir());
    }
    const auto data = server::openServerStore(db.conninfo());
    const auto inFolder = store::openFolderStore(folder.dir());

    auto compareAll = [&](const char* when) {
        SCOPED_TRACE(when);
        compareFigures(*data, folder.dir());
    };
    compareAll("pushed");

    // The same writes on both: edits that move records to another vehicle, month or kind,
    // deletions, new records, and a figure of no number that is taken out again.
    std::mt19937 random(GetParam() + 1);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    int saves = 0;
    auto key = [&] { return "reports-agree-save-" + std::to_string(++saves); };
    auto live = [](store::DataStore& s) {
        std::vector<store::StoredRecord> out;
        s.scanRecords([&](const store::StoredRecord& r) { out.push_back(r); });
        return out;
    };
    for (int round = 0; round < 12; ++round) {
        const auto onServer = live(*data), onFolder = live(*inFolder);
        ASSERT_EQ(onServer.size(), onFolder.size());
        const std::size_t at = std::size_t(pick(int(onServer.size())));
        DataRecord changed = onServer[at].record;
        switch (round % 4) {
            case 0: changed.setVehicle(std::int16_t(pick(3))); break;
            case 1: changed.setDate(changed.date() + 20 + pick(40)); break;
            case 2:
                changed.setDistance2(changed.distance2() + pick(400) / 4.0);
                changed.setPrice(changed.price() + 7);
                break;
            default: changed.setKind(std::int16_t(pick(4))); break;
        }
        if (round % 3 == 2) {
            data->deleteRecord(onServer[at], key());
            inFolder->deleteRecord(onFolder[at], key());
        } else {
            data->editRecord(onServer[at], changed, key());
            inFolder->editRecord(onFolder[at], changed, key());
        }
        DataRecord added = changed;
        added.setDate(changed.date() - 3);
        data->addRecord(added, key());
        inFolder->addRecord(added, key());
    }
    DataRecord odd = live(*data).front().record;
    odd.setDistance2(std::nan(""));
    const store::StoredRecord oddOnServer = data->addRecord(odd, key());
    const store::StoredRecord oddInFolder = inFolder->addRecord(odd, key());
    data->deleteRecord(oddOnServer, key());
    inFolder->deleteRecord(oddInFolder, key());
    compareAll("after edits");

    // What the data sets hold makes the comparison tell something.
    const FuelReport all = computeFuelReport(*data, ReportPeriod{});
    EXPECT_FALSE(all.points.empty());
    EXPECT_TRUE(all.hasOthers);
    EXPECT_GT(all.total.maintenanceCost, 0);
}

// A data set of schema 14, whose kept sums and index of readings took a NaN distance for a
// reading, holding the same damaged records: once upgraded, the folder's figures.
TEST_P(ReportsAgreeOnRandomDataTest, AnUpgradedDataSetGivesTheFoldersFigures) {
    const std::vector<store::ItemRecord> items = fleetItems();
    const std::vector<DataRecord> records = randomRecords(GetParam());
    TempDir folder;
    writeDataSet(folder, items, records);
    test::ScratchDatabase db;
    {
        server::PgConnection c(db.conninfo());
        server::initializeSchemaAt(c, 14);
        for (std::size_t i = 0; i < items.size(); ++i)
            c.exec(
                "INSERT INTO quil_items (position, kind, deleted, name, raw) "
                "VALUES ($1, $2, $3, $4, $5)",
                {server::PgParam::number(std::int64_t(i)), server::PgParam::number(items[i].kind()),
                 server::PgParam::text(items[i].deleted() ? "true" : "false"),
                 server::PgParam::text(items[i].name()),
                 server::PgParam::bytes(server::rawOf(items[i]))});
        for (const DataRecord& r : records)
            c.exec(
                "INSERT INTO quil_records (raw, date, vehicle, user_no, kind, deleted) "
                "VALUES ($1, $2::float8, $3, $4, $5, $6)",
                server::recordParams(r));
        ASSERT_GT(c.exec("SELECT count(*) FROM quil_records WHERE NOT deleted AND "
                         "'NaN' IN (distance1, distance2)")
                      .integer(0, 0),
                  0);
        server::upgradeSchema(c);
    }
    compareFigures(*server::openServerStore(db.conninfo()), folder.dir());
}

INSTANTIATE_TEST_SUITE_P(Seeds, ReportsAgreeOnRandomDataTest,
                         ::testing::Values(1u, 7u, 42u, 2024u));

}  // namespace
}  // namespace quil::analysis
