#include <gtest/gtest.h>

#include "ReportFixtures.h"
#include "reports/FuelReport.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;
using store::ItemKind;

// Vehicle 0 drives in January and March (February has no records), refuels full, then
// partially, then full; vehicle 1 has no records; position 9 is no vehicle at all.
class FuelReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        store::DataRecord gone = expense(day(2024, 3, 20), 0, 99999);
        gone.setDeleted(true);
        writeDataSet(dir,
                     {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::Vehicle, "営業車"),
                      item(ItemKind::User, "山田")},
                     {refuel(day(2024, 1, 5), 0, 30, 4000),  // full; read at the day's end
                      driving(day(2024, 1, 5), 0, 1000, 1100), expense(day(2024, 1, 9), 9, 500),
                      driving(day(2024, 1, 20), 0, 1100, 1400),
                      refuel(day(2024, 1, 21), 0, 10, 1500, "スタンドで部分給油"),
                      driving(day(2024, 3, 2), 0, 1400, 1700), refuel(day(2024, 3, 3), 0, 20, 3000),
                      maintenance(day(2024, 3, 10), 0, 3, 1750, 10000),
                      expense(day(2024, 3, 15), 0, 2000), gone});
    }
    ReportPeriod year2024() const {
        return {false, store::periodRange(store::PeriodKind::Year, 2024, 0)};
    }
    TempDir dir;
};

TEST_F(FuelReportTest, EconomyRunsFromFullToFullAcrossAPartialRefuelling) {
    const FuelReport r = computeFuelReport(dir.dir(), year2024());
    ASSERT_EQ(r.vehicles.size(), 2u);
    const CostFigures& car = r.vehicles[0].figures;
    EXPECT_EQ(r.vehicles[0].name, "軽トラ");
    // 1,100 km at the first full refuelling (the same day's trip included), 1,700 at the
    // second; 10 + 20 litres went in after the first.
    EXPECT_DOUBLE_EQ(car.economyDistance, 600);
    EXPECT_DOUBLE_EQ(car.economyLitres, 30);
    EXPECT_DOUBLE_EQ(*car.kmPerLitre(), 20.0);
    ASSERT_EQ(r.points.size(), 1u);
    EXPECT_EQ(r.points[0].date, day(2024, 3, 3));
    EXPECT_DOUBLE_EQ(car.distance, 700);
    EXPECT_DOUBLE_EQ(car.litres, 60);
    EXPECT_EQ(car.refuels, 3);
    EXPECT_EQ(car.fuelCost, 4400 + 1650 + 3300);
    EXPECT_EQ(car.maintenanceCost, 10000);
    EXPECT_EQ(car.expenseCost, 2000);  // the deleted expense is left out
    EXPECT_NEAR(*car.costPerKm(), 21350.0 / 700, 1e-9);
}

TEST_F(FuelReportTest, VehicleWithoutRecordsAndRecordsOfNoVehicle) {
    const FuelReport r = computeFuelReport(dir.dir(), year2024());
    const CostFigures& none = r.vehicles[1].figures;
    EXPECT_EQ(none.totalCost(), 0);
    EXPECT_DOUBLE_EQ(none.distance, 0);
    EXPECT_FALSE(none.kmPerLitre());
    EXPECT_FALSE(none.costPerKm());
    EXPECT_TRUE(r.hasOthers);
    EXPECT_EQ(r.others.expenseCost, 500);
    EXPECT_EQ(r.total.totalCost(), 21350 + 500);
}

TEST_F(FuelReportTest, MonthTableKeepsEmptyMonths) {
    const FuelReport r = computeFuelReport(dir.dir(), year2024());
    ASSERT_EQ(r.months.size(), 12u);
    EXPECT_EQ(r.months[0].year, 2024);
    EXPECT_EQ(r.months[0].month, 1u);
    EXPECT_DOUBLE_EQ(r.months[0].figures.distance, 400);
    EXPECT_FALSE(r.months[0].figures.kmPerLitre());  // no interval closes in January
    const CostFigures& feb = r.months[1].figures;
    EXPECT_EQ(r.months[1].month, 2u);
    EXPECT_EQ(feb.totalCost(), 0);
    EXPECT_DOUBLE_EQ(feb.distance, 0);
    EXPECT_FALSE(feb.kmPerLitre());
    EXPECT_DOUBLE_EQ(*r.months[2].figures.kmPerLitre(), 20.0);
    EXPECT_EQ(r.months[11].month, 12u);

    // Every record: the months run from the first record to the last.
    const FuelReport all = computeFuelReport(dir.dir(), ReportPeriod{});
    ASSERT_EQ(all.months.size(), 3u);
    EXPECT_EQ(all.months[1].figures.totalCost(), 0);
}

TEST_F(FuelReportTest, IntervalOpenedBeforeThePeriodCountsInIt) {
    const FuelReport march = computeFuelReport(
        dir.dir(), {false, store::periodRange(store::PeriodKind::Month, 2024, 2)});
    const CostFigures& car = march.vehicles[0].figures;
    EXPECT_DOUBLE_EQ(*car.kmPerLitre(), 20.0);
    EXPECT_DOUBLE_EQ(car.litres, 20);  // only March's refuelling is March's fuel
    EXPECT_DOUBLE_EQ(car.distance, 300);
    ASSERT_EQ(march.months.size(), 1u);
}

// The drive of the day before a period (09:00 on 3/31) is March's, not April's.
TEST(FuelReportPeriod, ADriveOfTheDayBeforeStaysOutOfThePeriod) {
    TempDir dir;
    writeDataSet(dir, {item(ItemKind::Vehicle, "軽トラ")},
                 {driving(day(2026, 3, 31), 0, 1000, 1065.4),
                  driving(day(2026, 4, 1), 0, 1065.4, 1100), expense(day(2026, 4, 2), 0, 500)});
    const FuelReport fy = computeFuelReport(
        dir.dir(), {false, store::periodRange(store::PeriodKind::FiscalYear, 2026, 0)});
    ASSERT_EQ(fy.months.size(), 12u);
    EXPECT_EQ(fy.months.front().month, 4u) << "no 2026/03 row";
    EXPECT_NEAR(fy.vehicles[0].figures.distance, 34.6, 1e-9);
    const FuelReport before = computeFuelReport(
        dir.dir(), {false, store::periodRange(store::PeriodKind::FiscalYear, 2025, 0)});
    EXPECT_NEAR(before.vehicles[0].figures.distance, 65.4, 1e-9);
    const FuelReport all = computeFuelReport(dir.dir(), ReportPeriod{});
    EXPECT_NEAR(all.vehicles[0].figures.distance,
                fy.vehicles[0].figures.distance + before.vehicles[0].figures.distance, 1e-9);
}

TEST_F(FuelReportTest, OneVehicleOnly) {
    const FuelReport r = computeFuelReport(dir.dir(), year2024(), 1);
    ASSERT_EQ(r.vehicles.size(), 1u);
    EXPECT_EQ(r.vehicles[0].name, "営業車");
    EXPECT_FALSE(r.hasOthers);
    EXPECT_EQ(r.total.totalCost(), 0);
    EXPECT_EQ(r.months.size(), 12u);
}

TEST(FuelReportChain, OwnReadingsAndAReadingThatGoesBackwards) {
    TempDir dir;
    writeDataSet(dir, {item(ItemKind::Vehicle, "車")},
                 {refuel(day(2024, 5, 1), 0, 40, 6000, "", 5000),
                  refuel(day(2024, 5, 10), 0, 25, 4000, "", 5500),
                  refuel(day(2024, 5, 20), 0, 30, 4500, "", 5400),  // backwards: no interval
                  refuel(day(2024, 5, 30), 0, 20, 3000, "", 5700)});
    const FuelReport r = computeFuelReport(dir.dir(), ReportPeriod{});
    ASSERT_EQ(r.points.size(), 2u);
    EXPECT_DOUBLE_EQ(r.points[0].distance, 500);
    EXPECT_DOUBLE_EQ(r.points[0].litres, 25);
    EXPECT_DOUBLE_EQ(r.points[1].distance, 300);  // the chain starts again at 5,400
    EXPECT_DOUBLE_EQ(r.points[1].litres, 20);
    EXPECT_DOUBLE_EQ(*r.total.kmPerLitre(), 800.0 / 45);
}

TEST(FuelReportChain, NoReadingAnywhereGivesNoEconomy) {
    TempDir dir;
    writeDataSet(dir, {item(ItemKind::Vehicle, "車")},
                 {refuel(day(2024, 5, 1), 0, 40, 6000), refuel(day(2024, 5, 9), 0, 30, 4000)});
    const FuelReport r = computeFuelReport(dir.dir(), ReportPeriod{});
    EXPECT_TRUE(r.points.empty());
    EXPECT_FALSE(r.total.kmPerLitre());
    EXPECT_DOUBLE_EQ(r.total.litres, 70);
}

TEST(FuelReportChain, MissingFilesGiveAnEmptyReport) {
    TempDir dir;
    const FuelReport r = computeFuelReport(dir.dir(), ReportPeriod{});
    EXPECT_TRUE(r.vehicles.empty());
    EXPECT_TRUE(r.months.empty());
    EXPECT_EQ(r.total.totalCost(), 0);
}

TEST(PartialRefuelling, MarksInTheRemarks) {
    EXPECT_TRUE(isPartialRefuelling(refuel(0, 0, 1, 1, "継ぎ足し")));
    EXPECT_TRUE(isPartialRefuelling(refuel(0, 0, 1, 1, "高速で部分給油した")));
    EXPECT_FALSE(isPartialRefuelling(refuel(0, 0, 1, 1, "満タン")));
    EXPECT_FALSE(isPartialRefuelling(refuel(0, 0, 1, 1, "")));
}

}  // namespace
}  // namespace quil::analysis
