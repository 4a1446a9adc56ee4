#include <gtest/gtest.h>

#include "FleetFixtures.h"
#include "fleet/OdometerCheck.h"

namespace quil::fleet {
namespace {

using namespace quil::testing;
using store::ItemKind;

class OdometerCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeDataSet(dir, {item(ItemKind::Vehicle, "車"), item(ItemKind::Vehicle, "別の車")},
                     {driving(day(2024, 4, 1), 0, 1000, 1050),
                      driving(day(2024, 4, 1), 1, 10, 20),        // another vehicle's chain
                      driving(day(2024, 4, 2), 0, 1040, 1100),    // backwards
                      driving(day(2024, 4, 3), 0, 1100, 1090),    // return below departure
                      maintenance(day(2024, 4, 4), 0, 3, 900),    // out of line
                      refuel(day(2024, 4, 4), 0, 30, 4000),       // no reading: not checked
                      driving(day(2024, 4, 5), 0, 1100, 1200),    // fine: 900 moved nothing
                      driving(day(2024, 4, 6), 0, 5000, 5050)});  // a jump
    }
    TempDir dir;
};

TEST_F(OdometerCheckTest, EveryKindOfBreakOnce) {
    const auto f = checkOdometers(dir.dir());
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].position, 2);
    EXPECT_EQ(f[0].problem, OdometerProblem::DepartureBelowPrevious);
    EXPECT_DOUBLE_EQ(f[0].reading, 1040);
    EXPECT_DOUBLE_EQ(f[0].expectedLow, 1050);
    EXPECT_DOUBLE_EQ(f[0].expectedHigh, 2050);
    EXPECT_EQ(f[1].position, 3);
    EXPECT_EQ(f[1].problem, OdometerProblem::ReturnBelowDeparture);
    EXPECT_DOUBLE_EQ(f[1].reading, 1090);
    EXPECT_EQ(f[2].position, 4);
    EXPECT_EQ(f[2].problem, OdometerProblem::ReadingOutOfLine);
    EXPECT_EQ(f[2].kind, 2);
    EXPECT_EQ(f[3].position, 7);
    EXPECT_EQ(f[3].problem, OdometerProblem::JumpTooLarge);
    EXPECT_DOUBLE_EQ(f[3].expectedHigh, 2200);
}

TEST_F(OdometerCheckTest, TheDailyLimitIsSettable) {
    const auto f = checkOdometers(dir.dir(), 5000);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_NE(f[2].problem, OdometerProblem::JumpTooLarge);
}

TEST(OdometerCheckFirst, TheFirstTripOfAVehicleIsCheckedToo) {
    OdometerChecker checker(100);
    checker.add(0, driving(day(2024, 4, 1), 0, 1000, 1250));
    checker.add(1, driving(day(2024, 4, 2), 1, 500, 450));
    ASSERT_EQ(checker.findings().size(), 2u);
    EXPECT_EQ(checker.findings()[0].problem, OdometerProblem::JumpTooLarge);
    EXPECT_DOUBLE_EQ(checker.findings()[0].expectedHigh, 1100);
    EXPECT_EQ(checker.findings()[1].problem, OdometerProblem::ReturnBelowDeparture);
}

TEST_F(OdometerCheckTest, NewReadingBelowTheChain) {
    const auto f = checkNewReading(dir.dir(), driving(day(2024, 4, 7), 0, 4000, 4100), {});
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].position, -1);
    EXPECT_EQ(f[0].problem, OdometerProblem::DepartureBelowPrevious);
    EXPECT_DOUBLE_EQ(f[0].expectedLow, 5050);
    EXPECT_TRUE(checkNewReading(dir.dir(), driving(day(2024, 4, 7), 0, 5050, 5100), {}).empty());
    EXPECT_TRUE(checkNewReading(dir.dir(), driving(day(2024, 4, 7), 1, 30, 40), {}).empty());
}

TEST_F(OdometerCheckTest, NewReadingThatBreaksTheNextRecord) {
    // A maintenance reading of 1,300 on 4/5 lies in line itself, but the trip of that day
    // departs at 1,100.
    const auto f = checkNewReading(dir.dir(), maintenance(day(2024, 4, 5), 0, 3, 1300), {});
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].position, 6);
    EXPECT_EQ(f[0].problem, OdometerProblem::DepartureBelowPrevious);
}

TEST_F(OdometerCheckTest, AnEditIsCheckedWithoutItsOldVersion) {
    // Mending the backwards trip: without the old version the chain is whole.
    const auto f = checkNewReading(dir.dir(), driving(day(2024, 4, 2), 0, 1050, 1100), 2);
    EXPECT_TRUE(f.empty());
    // Records without a reading are not checked.
    EXPECT_TRUE(checkNewReading(dir.dir(), expense(day(2024, 4, 7), 0, 100), {}).empty());
    EXPECT_TRUE(checkNewReading(dir.dir(), refuel(day(2024, 4, 7), 0, 10, 100), {}).empty());
}

}  // namespace
}  // namespace quil::fleet
