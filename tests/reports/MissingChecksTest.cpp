// Which drives lack their before- and after-drive checks.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "reports/MissingChecks.h"
#include "store/RecordStore.h"

namespace quil::alcohol {
namespace {

using store::encodeDate;
using store::encodeTime;

const store::DateTime kDay = encodeDate(2024, 5, 10);
constexpr int kYamada = 1;
constexpr int kSato = 2;

Drive drive(std::int64_t pos, store::DateTime departure, store::DateTime back,
            int driver = kYamada) {
    return {pos, departure, back, 0, driver};
}

AlcoholCheck check(CheckTiming timing, store::DateTime when, int driver = kYamada) {
    AlcoholCheck c;
    c.timing = timing;
    c.when = when;
    c.driver = driver;
    return c;
}

constexpr auto kBefore = CheckTiming::BeforeDrive;
constexpr auto kAfter = CheckTiming::AfterDrive;

TEST(MissingChecks, DriveWithBothChecksIsNotListedAndOneWithoutAfterCheckIs) {
    const auto d = drive(0, kDay + encodeTime(9, 0), kDay + encodeTime(17, 0));
    EXPECT_TRUE(findMissingChecks({d}, {check(kBefore, kDay + encodeTime(8, 50)),
                                        check(kAfter, kDay + encodeTime(17, 10))})
                    .empty());

    const auto missing = findMissingChecks({d}, {check(kBefore, kDay + encodeTime(8, 50))});
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_FALSE(missing[0].beforeMissing);
    EXPECT_TRUE(missing[0].afterMissing);
    EXPECT_EQ(missing[0].drive.position, 0);
}

TEST(MissingChecks, TwoDrivesOnOneDayShareTheDaysChecksOfTheirDriver) {
    const std::vector<Drive> drives = {
        drive(0, kDay + encodeTime(9, 0), kDay + encodeTime(11, 0)),
        drive(1, kDay + encodeTime(13, 0), kDay + encodeTime(16, 0))};
    EXPECT_TRUE(findMissingChecks(drives, {check(kBefore, kDay + encodeTime(8, 0)),
                                           check(kAfter, kDay + encodeTime(16, 30))})
                    .empty());
    // With no checks at all both drives are listed, each lacking both.
    const auto missing = findMissingChecks(drives, {});
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_TRUE(missing[0].beforeMissing && missing[0].afterMissing);
    EXPECT_EQ(missing[1].drive.position, 1);
}

TEST(MissingChecks, CheckOnAnotherDayOrOfAnotherDriverDoesNotCount) {
    const auto d = drive(0, kDay + encodeTime(9, 0), kDay + encodeTime(17, 0));
    const auto missing = findMissingChecks(
        {d}, {check(kBefore, kDay - 1 + encodeTime(23, 59)),  // the evening before
              check(kAfter, kDay + 1 + encodeTime(0, 0)),     // just after midnight
              check(kBefore, kDay + encodeTime(8, 0), kSato),
              check(kAfter, kDay + encodeTime(17, 0), kSato)});
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_TRUE(missing[0].beforeMissing);
    EXPECT_TRUE(missing[0].afterMissing);
}

TEST(MissingChecks, CheckWithTheWrongTimingDoesNotCount) {
    const auto d = drive(0, kDay + encodeTime(9, 0), kDay + encodeTime(17, 0));
    const auto missing = findMissingChecks(
        {d}, {check(kAfter, kDay + encodeTime(8, 0)), check(kAfter, kDay + encodeTime(17, 0))});
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_TRUE(missing[0].beforeMissing);
    EXPECT_FALSE(missing[0].afterMissing);
}

TEST(MissingChecks, OvernightDriveWantsItsAfterCheckOnTheDayOfReturn) {
    const auto d = drive(0, kDay + encodeTime(20, 0), kDay + 1 + encodeTime(2, 0));
    EXPECT_TRUE(findMissingChecks({d}, {check(kBefore, kDay + encodeTime(19, 50)),
                                        check(kAfter, kDay + 1 + encodeTime(2, 10))})
                    .empty());
    EXPECT_EQ(findMissingChecks({d}, {check(kBefore, kDay + encodeTime(19, 50)),
                                      check(kAfter, kDay + encodeTime(23, 0))})
                  .size(),
              1u);
}

TEST(MissingChecks, DeletedCheckCountsForNothing) {
    const auto d = drive(0, kDay + encodeTime(9, 0), kDay + encodeTime(17, 0));
    AlcoholCheck after = check(kAfter, kDay + encodeTime(17, 10));
    after.deleted = true;
    const auto missing = findMissingChecks({d}, {check(kBefore, kDay + encodeTime(8, 0)), after});
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_TRUE(missing[0].afterMissing);
}

class DrivesBetweenTest : public ::testing::Test {
protected:
    quil::testing::TempDir dir;
    std::string folder() const { return dir.dir(); }
    void save(store::RecordKind kind, store::DateTime date, int user, bool deleted = false) {
        store::DataRecord r;
        r.setKind(kind);
        r.setDate(date);
        r.setUser(static_cast<std::int16_t>(user));
        r.setVehicle(3);
        if (kind == store::RecordKind::Driving) r.setReturnTime(date + encodeTime(2, 0));
        store::RecordStore rs(folder());
        const auto pos = rs.save(r, std::nullopt).position;
        if (deleted) rs.markDeleted(pos);
    }
};

TEST_F(DrivesBetweenTest, TakesLiveDrivingRecordsOfThePeriodOnly) {
    save(store::RecordKind::Driving, kDay - 1 + encodeTime(23, 0), kYamada);  // before
    save(store::RecordKind::Driving, kDay + encodeTime(0, 0), kYamada);       // first day
    save(store::RecordKind::Refuelling, kDay + encodeTime(8, 0), kYamada);    // not a drive
    save(store::RecordKind::Driving, kDay + encodeTime(9, 0), kSato, true);   // deleted
    save(store::RecordKind::Driving, kDay + 1 + encodeTime(23, 30), kSato);   // last day
    save(store::RecordKind::Driving, kDay + 2, kSato);                        // after
    const auto drives = drivesBetween(store::RecordStore(folder()), kDay, kDay + 1);
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].departure, kDay);
    EXPECT_EQ(drives[0].driver, kYamada);
    EXPECT_EQ(drives[0].vehicle, 3);
    EXPECT_EQ(drives[1].departure, kDay + 1 + encodeTime(23, 30));
    EXPECT_EQ(drives[1].returnTime, drives[1].departure + encodeTime(2, 0));

    // A deleted drive wants no checks: nothing is missing for it.
    EXPECT_EQ(findMissingChecks(drives, {}).size(), 2u);
}

TEST_F(DrivesBetweenTest, MissingRecordFileHasNoDrives) {
    EXPECT_TRUE(drivesBetween(store::RecordStore(folder()), kDay, kDay + 30).empty());
}

}  // namespace
}  // namespace quil::alcohol
