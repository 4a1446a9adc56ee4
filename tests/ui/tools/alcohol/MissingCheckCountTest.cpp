// The status bar's count of drives without their checks, kept from each record change:
// after any run of adds, edits and deletes it equals a fresh count over the files.
#include <random>

#include "RegisterFixture.h"
#include "reports/MissingCheckCount.h"
#include "store/DataStore.h"
#include "ui/tools/alcohol/TMissingCheckForm.h"

namespace quil::alcohol::test {
namespace {

using store::DataRecord;
using store::RecordStore;

class MissingCheckCountTest : public RegisterTest {
protected:
    const store::DateTime first = encodeDate(2024, 5, 1);
    const store::DateTime last = encodeDate(2024, 5, 31);
    const store::DateTime now = kToday + encodeTime(18, 0);

    static DataRecord drive(store::DateTime departure, store::DateTime back, int user,
                            int vehicle = kCarA) {
        DataRecord r;
        r.setKind(store::RecordKind::Driving);
        r.setDate(departure);
        r.setReturnTime(back);
        r.setVehicle(static_cast<std::int16_t>(vehicle));
        r.setUser(static_cast<std::int16_t>(user));
        return r;
    }
    std::int64_t fresh() const {
        return static_cast<std::int64_t>(missingChecksBetween(main, first, last, now).size());
    }
    std::vector<AlcoholCheck> checks() const {
        CheckFilter filter;
        filter.firstDay = first;
        filter.lastDay = last + 1;
        return AlcoholStore(main.folder).load(filter);
    }
};

TEST_F(MissingCheckCountTest, FollowsAddsEditsAndDeletesAsAFreshCountWould) {
    AlcoholCheck morning;
    morning.timing = CheckTiming::BeforeDrive;
    morning.when = kToday + encodeTime(8, 0);
    morning.driver = kYamada;
    morning.checker = "安全";
    AlcoholCheck evening = morning;
    evening.timing = CheckTiming::AfterDrive;
    evening.when = kToday + encodeTime(17, 0);
    AlcoholCheck satoYesterday = morning;
    satoYesterday.driver = kSato;
    satoYesterday.when = kToday - 1 + encodeTime(7, 0);
    // Entered ahead: it counts only once its day is at most the day after today.
    AlcoholCheck ahead = evening;
    ahead.when = kToday + 2 + encodeTime(9, 0);
    AlcoholStore(main.folder).addAll({morning, evening, satoYesterday, ahead});

    MissingCheckCount count;
    count.load(RecordStore(main.folder), first, last);
    count.setChecks(checks());
    EXPECT_EQ(count.count(now), 0);

    // Days around the month's edges, today after `now`, overnight drives and another month.
    const std::vector<store::DateTime> days = {
        encodeDate(2024, 4, 30), first, kToday - 1, kToday, kToday + 1, last};
    std::mt19937 random(29);
    auto pick = [&](int n) { return static_cast<int>(random() % unsigned(n)); };
    RecordStore records(main.folder);
    for (int step = 0; step < 300; ++step) {
        const std::int64_t n = records.count();
        const int action = n == 0 ? 0 : pick(3);
        const store::DateTime day = days[std::size_t(pick(int(days.size())))];
        const store::DateTime departure = day + encodeTime(6 + pick(12), 0);
        const store::DateTime back = departure + (pick(4) == 0 ? 1.0 + pick(2) : 0.1);
        const DataRecord fresh = drive(departure, pick(5) == 0 ? 0 : back,
                                       pick(2) ? kYamada : kSato, pick(2) ? kCarA : kCarB);
        if (action == 0) {  // add
            records.save(fresh, std::nullopt);
            count.addRecord(fresh);
        } else {
            const std::int64_t position = pick(int(n));
            const DataRecord old = records.read(position);
            if (old.deleted()) continue;
            if (action == 1) {  // an edit that may change the day, the driver, the return
                records.save(fresh, position);
                count.removeRecord(old);
                count.addRecord(fresh);
            } else {
                records.markDeleted(position);
                count.removeRecord(old);
            }
        }
        ASSERT_EQ(count.count(now), this->fresh()) << "step " << step;
    }
    // Read afresh through the data-set interface (as on a server), the count is the same.
    MissingCheckCount again;
    again.load(*store::openFolderStore(main.folder), first, last);
    again.setChecks(checks());
    EXPECT_EQ(again.count(now), count.count(now));
    EXPECT_GT(count.count(now), 0);

    // A check entered later: the checks are given again and the count follows.
    AlcoholCheck satoToday = satoYesterday;
    satoToday.when = kToday + encodeTime(6, 0);
    AlcoholStore(main.folder).add(satoToday);
    count.setChecks(checks());
    EXPECT_EQ(count.count(now), fresh());
}

// Records that are no drive of the month leave the count alone, however often they come.
TEST_F(MissingCheckCountTest, OnlyLiveDrivesOfThePeriodCount) {
    MissingCheckCount count;
    count.reset(first, last);
    DataRecord refuel = drive(kToday + encodeTime(9, 0), 0, kYamada);
    refuel.setKind(store::RecordKind::Refuelling);
    DataRecord deleted = drive(kToday + encodeTime(9, 0), 0, kYamada);
    deleted.setDeleted(true);
    count.addRecord(refuel);
    count.addRecord(deleted);
    count.addRecord(drive(encodeDate(2024, 6, 1) + 0.5, 0, kYamada));
    EXPECT_EQ(count.count(now), 0);
    count.removeRecord(drive(kToday + 0.5, 0, kYamada));  // never counted: no harm
    const DataRecord twice = drive(kToday + encodeTime(9, 0), 0, kYamada);
    count.addRecord(twice);
    count.addRecord(twice);
    EXPECT_EQ(count.count(now), 2);
    count.removeRecord(twice);
    EXPECT_EQ(count.count(now), 1);
    // A drive later today is not missing anything yet.
    count.addRecord(drive(kToday + encodeTime(20, 0), 0, kSato));
    EXPECT_EQ(count.count(now), 1);
    EXPECT_EQ(count.count(kToday + encodeTime(21, 0)), 2);
}

}  // namespace
}  // namespace quil::alcohol::test
