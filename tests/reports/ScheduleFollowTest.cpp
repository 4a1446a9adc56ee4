// The overdue notice's collector follows saved and deleted records without a new pass over
// the record file, and leaves what a new pass would: the schedule built from it is the same.
#include <gtest/gtest.h>

#include <random>

#include "ReportFixtures.h"
#include "reports/MaintenanceSchedule.h"
#include "store/RecordStore.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;
using store::DataRecord;
using store::ItemKind;
using store::RecordStore;
using store::SavedPlace;

std::string describe(const std::vector<ScheduleRow>& rows) {
    std::string out;
    for (const ScheduleRow& r : rows)
        out += std::to_string(r.vehicle) + "/" + std::to_string(r.item) + " last " +
               (r.lastDate ? std::to_string(*r.lastDate) : "-") + " at " +
               (r.lastOdometer ? std::to_string(*r.lastOdometer) : "-") + " now " +
               std::to_string(r.currentOdometer) + " status " +
               std::to_string(static_cast<int>(r.status)) + "\n";
    return out;
}

class ScheduleFollowTest : public ::testing::Test {
protected:
    TempDir dir;
    const std::vector<MaintenanceCycle> cycles = {{2, 6, 5000, 0}, {3, 12, 0, 0}};
    const store::DateTime today = day(2024, 6, 30);

    void SetUp() override {
        writeDataSet(dir,
                     {item(ItemKind::Vehicle, "車", day(2023, 1, 1), 100),
                      item(ItemKind::Vehicle, "別の車", day(2023, 6, 1), 50000),
                      item(ItemKind::MaintenanceItem, "オイル交換"),
                      item(ItemKind::MaintenanceItem, "点検")},
                     {});
    }
    std::string schedule(const ScheduleCollector& c) const {
        return describe(
            buildSchedule(scheduleVehicles(dir.dir()), scheduleItems(dir.dir()), cycles, c, today));
    }
};

TEST_F(ScheduleFollowTest, SavesAndDeletesLeaveWhatANewPassWould) {
    std::mt19937 random(28);
    auto pick = [&](int n) { return static_cast<int>(random() % unsigned(n)); };
    RecordStore records(dir.dir());
    ScheduleCollector followed;
    int passes = 0;
    int appendPasses = 0;
    for (int step = 0; step < 400; ++step) {
        const int vehicle = pick(2);
        const store::DateTime date = day(2024, 1, 1) + pick(150) + (pick(2) ? 0.4 : 0);
        const double odometer = vehicle * 50000 + 100 + pick(4000);
        DataRecord r;
        switch (pick(4)) {
            case 0: r = driving(date, vehicle, odometer, odometer + pick(80)); break;
            case 1: r = refuel(date, vehicle, 30, 4000, {}, pick(3) ? odometer : 0); break;
            case 2: r = maintenance(date, vehicle, 2 + pick(2), pick(3) ? odometer : 0); break;
            default: r = expense(date, vehicle, 500); break;
        }
        const std::int64_t n = records.count();
        bool followedIt = true;
        bool appended = false;
        if (n > 0 && pick(3) == 0) {
            const std::int64_t position = pick(int(n));
            const DataRecord old = records.read(position);
            if (old.deleted()) continue;
            if (pick(2)) {
                records.markDeleted(position);
                followedIt = followed.remove(old);
            } else {
                const SavedPlace place = records.save(r, position);
                followedIt = followed.remove(old) &&
                             followed.insert(r, place.way == SavedPlace::Way::Appended);
            }
        } else {
            const SavedPlace place = records.save(r, std::nullopt);
            appended = place.way != SavedPlace::Way::Inserted;
            followedIt = followed.insert(r, appended);
        }
        if (!followedIt) {
            ++passes;
            appendPasses += appended ? 1 : 0;
            followed = collectSchedule(dir.dir());
        }
        ASSERT_EQ(schedule(followed), schedule(collectSchedule(dir.dir()))) << "step " << step;
    }
    EXPECT_EQ(appendPasses, 0) << "an appended record never needs a new pass";
    EXPECT_LT(passes, 200) << "most changes are followed without one";
}

// Deleting the vehicle's highest readings one after the other: the next highest is known
// without a pass while there are readings left to know it from.
TEST_F(ScheduleFollowTest, DeletingTheHighestReadingFallsBackToTheNextOne) {
    RecordStore records(dir.dir());
    for (int i = 0; i < 3; ++i)
        records.save(driving(day(2024, 3, 1 + unsigned(i)), 0, 1000 + i * 100, 1050 + i * 100),
                     std::nullopt);
    ScheduleCollector c = collectSchedule(dir.dir());
    EXPECT_DOUBLE_EQ(c.highest(0), 1250);
    ASSERT_TRUE(c.remove(records.read(2)));
    EXPECT_DOUBLE_EQ(c.highest(0), 1150);
    ASSERT_TRUE(c.remove(records.read(1)));
    ASSERT_TRUE(c.remove(records.read(0)));
    EXPECT_DOUBLE_EQ(c.highest(0), 0);
}

// A maintenance without a reading of its own takes the highest reading before it: a record
// taken away or put in before it changes that, and only a new pass can tell by how much.
TEST_F(ScheduleFollowTest, AMaintenanceWithoutItsOwnReadingAsksForANewPass) {
    RecordStore records(dir.dir());
    records.save(driving(day(2024, 3, 1), 0, 1000, 1050), std::nullopt);
    records.save(maintenance(day(2024, 3, 2), 0, 2, 0), std::nullopt);
    records.save(driving(day(2024, 3, 3), 0, 2000, 2050), std::nullopt);
    ScheduleCollector c = collectSchedule(dir.dir());
    ASSERT_TRUE(c.lastDone(0, 2));
    EXPECT_DOUBLE_EQ(c.lastDone(0, 2)->odometer, 1050);
    EXPECT_FALSE(c.remove(records.read(0)));
    c = collectSchedule(dir.dir());
    EXPECT_FALSE(c.insert(driving(day(2024, 3, 1) + 0.5, 0, 1500, 1600), false));
    // After it, a record changes nothing the maintenance took.
    c = collectSchedule(dir.dir());
    EXPECT_TRUE(c.insert(driving(day(2024, 3, 2) + 0.5, 0, 2060, 2100), false));
    EXPECT_TRUE(c.remove(records.read(2)));
    EXPECT_DOUBLE_EQ(c.lastDone(0, 2)->odometer, 1050);
    EXPECT_DOUBLE_EQ(c.highest(0), 2100);
}

}  // namespace
}  // namespace quil::analysis
