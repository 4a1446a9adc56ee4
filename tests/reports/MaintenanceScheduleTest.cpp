#include <gtest/gtest.h>

#include "ReportFixtures.h"
#include "reports/MaintenanceSchedule.h"
#include "reports/ReportDates.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;
using store::ItemKind;

constexpr int kOil = 3, kYearly = 4, kInspection = 5;

class ScheduleTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeDataSet(
            dir,
            {item(ItemKind::Vehicle, "旧車", day(2020, 4, 1)),
             item(ItemKind::Vehicle, "新車", day(2024, 3, 1), 10), item(ItemKind::User, "山田"),
             item(ItemKind::MaintenanceItem, "オイル交換"),
             item(ItemKind::MaintenanceItem, "12ヶ月点検"), item(ItemKind::MaintenanceItem, "車検"),
             item(ItemKind::MaintenanceItem, "洗車")},
            {maintenance(day(2022, 7, 1), 0, kInspection, 0),
             maintenance(day(2023, 5, 15), 0, kYearly, 15000),
             maintenance(day(2024, 1, 10), 0, kOil, 20000),
             driving(day(2024, 5, 30), 0, 24000, 25200)});
    }
    std::vector<ScheduleRow> schedule() const {
        return computeSchedule(dir.dir(), cycles, day(2024, 6, 1));
    }
    TempDir dir;
    std::vector<MaintenanceCycle> cycles = {
        {kOil, 6, 5000, 0}, {kYearly, 12, 0, 0}, {kInspection, 24, 0, 36}, {6, 0, 0, 0}};
};

TEST_F(ScheduleTest, OverdueByDistanceByDateAndDueSoon) {
    const auto rows = schedule();
    ASSERT_EQ(rows.size(), 6u);  // two vehicles × three items with a cycle (洗車 has none)
    const ScheduleRow& oil = rows[0];
    EXPECT_EQ(oil.vehicleName, "旧車");
    EXPECT_EQ(oil.itemName, "オイル交換");
    EXPECT_EQ(*oil.lastDate, day(2024, 1, 10));
    EXPECT_DOUBLE_EQ(*oil.lastOdometer, 20000);
    EXPECT_EQ(*oil.dueDate, day(2024, 7, 10));
    EXPECT_DOUBLE_EQ(*oil.dueOdometer, 25000);
    EXPECT_DOUBLE_EQ(oil.currentOdometer, 25200);
    EXPECT_EQ(*oil.daysLeft, 39);
    EXPECT_DOUBLE_EQ(*oil.kmLeft, -200);
    EXPECT_EQ(oil.status, DueStatus::Overdue);  // by distance

    const ScheduleRow& yearly = rows[1];
    EXPECT_EQ(*yearly.dueDate, day(2024, 5, 15));
    EXPECT_EQ(*yearly.daysLeft, -17);
    EXPECT_FALSE(yearly.dueOdometer);
    EXPECT_EQ(yearly.status, DueStatus::Overdue);  // by date

    const ScheduleRow& inspection = rows[2];
    EXPECT_EQ(*inspection.dueDate, day(2024, 7, 1));  // 24 months after the last one
    EXPECT_FALSE(inspection.lastOdometer);            // the record has no reading, none before
    EXPECT_EQ(*inspection.daysLeft, 30);
    EXPECT_EQ(inspection.status, DueStatus::Soon);
    EXPECT_EQ(countOverdue(rows), 2);
}

TEST_F(ScheduleTest, VehicleWithoutRecordsCountsFromItsRegistration) {
    const auto rows = schedule();
    const ScheduleRow& oil = rows[3];
    EXPECT_EQ(oil.vehicleName, "新車");
    EXPECT_FALSE(oil.lastDate);
    EXPECT_EQ(*oil.dueDate, day(2024, 9, 1));
    EXPECT_DOUBLE_EQ(*oil.dueOdometer, 5010);
    EXPECT_DOUBLE_EQ(oil.currentOdometer, 10);
    EXPECT_EQ(oil.status, DueStatus::Ok);
    EXPECT_EQ(*rows[5].dueDate, day(2027, 3, 1));  // the first 車検 after 36 months
}

TEST_F(ScheduleTest, DueSoonByDistance) {
    cycles = {{kOil, 0, 5500, 0}};
    const auto rows = schedule();
    EXPECT_DOUBLE_EQ(*rows[0].kmLeft, 300);
    EXPECT_FALSE(rows[0].dueDate);
    EXPECT_EQ(rows[0].status, DueStatus::Soon);
}

TEST_F(ScheduleTest, NoCyclesNoRows) {
    cycles.clear();
    EXPECT_TRUE(schedule().empty());
    cycles = {{kOil, 0, 0, 0}};
    EXPECT_TRUE(schedule().empty());
}

TEST_F(ScheduleTest, ALaterRecordOfTheSameItemReplacesTheEarlierOne) {
    ScheduleCollector c;
    c.add(maintenance(day(2024, 1, 1), 0, kOil, 100));
    c.add(driving(day(2024, 1, 2), 0, 100, 400));
    c.add(maintenance(day(2024, 2, 1), 0, kOil, 0));  // no reading: the highest so far
    store::DataRecord deleted = maintenance(day(2024, 3, 1), 0, kOil, 900);
    deleted.setDeleted(true);
    c.add(deleted);
    EXPECT_EQ(c.lastDone(0, kOil)->date, day(2024, 2, 1));
    EXPECT_DOUBLE_EQ(c.lastDone(0, kOil)->odometer, 400);
    EXPECT_DOUBLE_EQ(c.highest(0), 400);
    EXPECT_FALSE(c.lastDone(0, kYearly));
    EXPECT_FALSE(c.lastDone(7, kOil));
}

TEST(ReportDates, MonthsEndOnTheLastDayOfShortMonths) {
    EXPECT_EQ(addMonths(day(2024, 1, 31), 1), day(2024, 2, 29));
    EXPECT_EQ(addMonths(day(2023, 8, 31), 6), day(2024, 2, 29));
    EXPECT_EQ(addMonths(day(2024, 3, 31), -13), day(2023, 2, 28));
    EXPECT_EQ(addMonths(day(2024, 11, 15) + 0.5, 14), day(2026, 1, 15));
    EXPECT_EQ(daysBetween(day(2024, 6, 1) + 0.9, day(2024, 5, 31)), -1);
    EXPECT_EQ(monthOfMonthIndex(monthIndex(day(2024, 12, 3))), 12u);
    EXPECT_EQ(yearOfMonthIndex(monthIndex(day(2024, 12, 3))), 2024);
}

}  // namespace
}  // namespace quil::analysis
