#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "ReportFixtures.h"
#include "reports/OdometerCheck.h"
#include "store/RecordStore.h"

namespace quil::analysis {
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
    EXPECT_EQ(f[2].kind, store::RecordKind::Maintenance);
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
    // A maintenance reading of 1,300 on 4/4 lies in line itself, but the trip of the next
    // day departs at 1,100.
    const auto f = checkNewReading(dir.dir(), maintenance(day(2024, 4, 4), 0, 3, 1300), {});
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

// A refuelling or maintenance record carries the day's reading without a time of day, so it
// sorts before the day's trips; it belongs to the whole day.
class OdometerDayReadingTest : public ::testing::Test {
protected:
    static store::DataRecord trip(store::DateTime date, double hours, double out, double back) {
        store::DataRecord r = driving(date, 0, out, back);
        r.setDate(date + hours / 24);
        r.setReturnTime(date + (hours + 2) / 24);
        return r;
    }
    void write(std::vector<store::DataRecord> records) {
        writeDataSet(dir, {item(ItemKind::Vehicle, "車")}, records);
    }
    TempDir dir;
};

TEST_F(OdometerDayReadingTest, ReadingsOfTheDayRaiseNoAlarm) {
    write({trip(day(2026, 5, 11), 8, 10000, 10040),
           maintenance(day(2026, 5, 12), 0, 3, 10120),        // read at the end of the day
           refuel(day(2026, 5, 12), 0, 30, 4500, {}, 10080),  // read between the trips
           trip(day(2026, 5, 12), 8.75, 10040, 10080), trip(day(2026, 5, 12), 13, 10080, 10120),
           trip(day(2026, 5, 13), 9, 10120, 10150)});
    const auto f = checkOdometers(dir.dir());
    EXPECT_TRUE(f.empty()) << odometerProblemText(f.front().problem) << " at "
                           << f.front().position;
    // Saving the day's first trip again (unchanged) asks nothing.
    EXPECT_TRUE(checkNewReading(dir.dir(), trip(day(2026, 5, 12), 8.75, 10040, 10080), 3).empty());
    // Nor does a new reading of the day.
    EXPECT_TRUE(checkNewReading(dir.dir(), maintenance(day(2026, 5, 12), 0, 3, 10060), {}).empty());
}

TEST_F(OdometerDayReadingTest, AReadingOutsideItsDayIsStillFound) {
    write({trip(day(2026, 5, 11), 8, 10000, 10040),
           maintenance(day(2026, 5, 12), 0, 3, 9990),         // below the day before
           refuel(day(2026, 5, 12), 0, 30, 4500, {}, 12000),  // beyond the day and the limit
           trip(day(2026, 5, 12), 8.75, 10040, 10080), trip(day(2026, 5, 13), 9, 10080, 10100)});
    const auto f = checkOdometers(dir.dir());
    ASSERT_EQ(f.size(), 2u);
    for (const OdometerFinding& x : f) EXPECT_EQ(x.problem, OdometerProblem::ReadingOutOfLine);
    EXPECT_EQ(f[0].position, 1);
    EXPECT_DOUBLE_EQ(f[0].expectedLow, 10040);
    EXPECT_EQ(f[1].position, 2);
    EXPECT_DOUBLE_EQ(f[1].expectedHigh, 11040);
    // The wrong readings moved nothing: the trips are in line.
    const auto wrong = checkNewReading(dir.dir(), maintenance(day(2026, 5, 13), 0, 3, 10090), {});
    EXPECT_TRUE(wrong.empty());
    // A reading of the day above the next day's departure breaks that trip.
    const auto next = checkNewReading(dir.dir(), maintenance(day(2026, 5, 12), 0, 3, 10090), {});
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].position, 4);
    EXPECT_EQ(next[0].problem, OdometerProblem::DepartureBelowPrevious);
}

}  // namespace
}  // namespace quil::analysis

namespace quil::analysis {
namespace {

using namespace quil::testing;
using store::ItemKind;

// What checkNewReading finds, worked out over every record of the vehicle: the new record
// put among all of them, every one of them checked.
std::vector<OdometerFinding> findingsOverTheWholeFile(const std::string& folder,
                                                      const store::DataRecord& record,
                                                      std::optional<std::int64_t> edit) {
    std::vector<std::pair<std::int64_t, store::DataRecord>> chain;
    bool placed = false;
    store::RecordStore(folder).scan([&](std::int64_t pos, const store::DataRecord& r) {
        if (r.deleted() || r.vehicle() != record.vehicle() || pos == edit) return;
        if (!placed && store::sortsAfter(r, record)) {
            chain.emplace_back(-1, record);
            placed = true;
        }
        chain.emplace_back(pos, r);
    });
    if (!placed) chain.emplace_back(-1, record);
    const bool driving = record.kind() == std::int16_t(store::RecordKind::Driving);
    OdometerChecker with, without;
    std::int64_t next = -2;
    bool after = false;
    for (const auto& [pos, r] : chain) {
        with.add(pos, r);
        if (pos == -1) {
            after = true;
            continue;
        }
        without.add(pos, r);
        const bool reading =
            r.kind() == std::int16_t(store::RecordKind::Driving) ||
            (r.kind() != std::int16_t(store::RecordKind::Expense) && r.distance1() > 0);
        if (after && next == -2 && reading &&
            (driving || std::trunc(r.date()) > std::trunc(record.date())))
            next = pos;
    }
    with.finish();
    without.finish();
    std::vector<OdometerFinding> out;
    for (const OdometerFinding& f : with.findings()) {
        bool known = false;
        for (const OdometerFinding& g : without.findings())
            known = known || (g.position == f.position && g.problem == f.problem);
        if (f.position == -1 || (f.position == next && !known)) out.push_back(f);
    }
    return out;
}

std::string describe(const std::vector<OdometerFinding>& findings) {
    std::string out;
    for (const OdometerFinding& f : findings)
        out += std::to_string(f.position) + ":" + std::to_string(int(f.problem)) + ":" +
               std::to_string(f.reading) + ":" + std::to_string(f.expectedLow) + "-" +
               std::to_string(f.expectedHigh) + " ";
    return out;
}

// The check before a save reads only the records around the new one; what it finds is what
// a check over the vehicle's every record finds, for trips, readings of the day (before and
// after the day's trips), wrong readings, deleted records and edits.
TEST(OdometerNeighbours, FindTheSameAsTheWholeFile) {
    TempDir dir;
    std::mt19937 random(91);
    auto pick = [&](int n) { return static_cast<int>(random() % unsigned(n)); };
    std::vector<store::DataRecord> records;
    double odometer[3] = {1000, 5000, 20000};
    for (int i = 0; i < 1500; ++i) {
        const int v = pick(3);
        const store::DateTime date = day(2024, 1, 1) + i / 12;
        odometer[v] += pick(10) == 0 ? -300 : pick(300);
        store::DataRecord r;
        switch (pick(5)) {
            case 0: r = refuel(date, v, 30, 4000, {}, pick(2) ? odometer[v] : 0); break;
            case 1: r = maintenance(date, v, 3, pick(2) ? odometer[v] + pick(500) : 0); break;
            default:
                r = driving(date, v, odometer[v], odometer[v] + pick(200));
                r.setDate(date + (6 + pick(12)) / 24.0);
                break;
        }
        r.setDeleted(pick(20) == 0);
        records.push_back(r);
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return store::sortsAfter(b, a); });
    writeDataSet(
        dir,
        {item(ItemKind::Vehicle, "A"), item(ItemKind::Vehicle, "B"), item(ItemKind::Vehicle, "C")},
        records);
    int found = 0;
    for (int i = 0; i < 400; ++i) {
        const int v = pick(3);
        const store::DateTime date = day(2024, 1, 1) + pick(130);
        const double reading =
            odometer[v] - 3000 + pick(4000) - (130 - (date - day(2024, 1, 1))) * 150;
        store::DataRecord r;
        if (pick(3) == 0) {
            r = pick(2) ? refuel(date, v, 30, 4000, {}, reading) : maintenance(date, v, 3, reading);
        } else {
            r = driving(date, v, reading, reading + pick(400));
            r.setDate(date + pick(24) / 24.0);
        }
        std::optional<std::int64_t> edit;
        if (pick(3) == 0) edit = pick(int(records.size()));
        const auto expected = findingsOverTheWholeFile(dir.dir(), r, edit);
        found += expected.empty() ? 0 : 1;
        ASSERT_EQ(describe(checkNewReading(dir.dir(), r, edit)), describe(expected))
            << "case " << i;
    }
    EXPECT_GT(found, 50) << "the cases find something";
}

}  // namespace
}  // namespace quil::analysis
