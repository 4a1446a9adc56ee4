// The register's store in QuilExt.db.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "ext/ExtDatabase.h"
#include "folder/ReadOnlyFileSystem.h"
#include "store/FileSystem.h"
#include "ui/tools/alcohol/AlcoholStore.h"

namespace quil::alcohol {
namespace {

using store::encodeDate;
using store::encodeTime;

class AlcoholStoreTest : public ::testing::Test {
protected:
    quil::testing::TempDir dir;
    std::string folder() const { return dir.dir(); }

    static AlcoholCheck check(store::DateTime when, int driver, int vehicle,
                              const char* checker = "安全 太郎") {
        AlcoholCheck c;
        c.when = when;
        c.driver = driver;
        c.vehicle = vehicle;
        c.checker = checker;
        c.detector = 1;
        return c;
    }
};

TEST_F(AlcoholStoreTest, StoredCheckReadsBackWholeAfterReopening) {
    AlcoholCheck c = check(encodeDate(2024, 5, 10) + encodeTime(8, 45), 1, 0);
    c.timing = CheckTiming::AfterDrive;
    c.method = CheckMethod::Other;
    c.methodText = "無線";
    c.reading = 0.2;
    c.intoxicated = true;
    c.instructions = "運転中止";
    c.remarks = "備考";
    {
        AlcoholStore s(folder());
        c.id = s.add(c);
        EXPECT_GT(c.id, 0);
    }
    EXPECT_TRUE(ext::ExtDatabase::exists(folder()));
    AlcoholStore s(folder());
    EXPECT_EQ(s.find(c.id), c);
    AlcoholCheck noReading = check(encodeDate(2024, 5, 10), 1, 0);
    noReading.detector = 0;
    noReading.id = s.add(noReading);
    EXPECT_EQ(s.find(noReading.id), noReading);
    EXPECT_FALSE(s.find(999).has_value());
}

TEST_F(AlcoholStoreTest, LoadFiltersByDaysDriverAndVehicleInTimeOrder) {
    AlcoholStore s(folder());
    const auto day = encodeDate(2024, 5, 10);
    s.add(check(day + encodeTime(17, 0), 1, 0));
    s.add(check(day + encodeTime(8, 0), 1, 0));
    s.add(check(day - 1 + encodeTime(23, 59), 1, 0));
    s.add(check(day + 1 + encodeTime(23, 59), 2, 0));
    s.add(check(day + 2, 1, 5));

    CheckFilter f;
    f.firstDay = day;
    f.lastDay = day + 1;
    auto got = s.load(f);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].when, day + encodeTime(8, 0));
    EXPECT_EQ(got[2].when, day + 1 + encodeTime(23, 59));
    f.driver = 1;
    EXPECT_EQ(s.load(f).size(), 2u);
    f = {};
    f.vehicle = 5;
    EXPECT_EQ(s.load(f).size(), 1u);
    EXPECT_EQ(s.load({}).size(), 5u);
    EXPECT_EQ(s.count(), 5);
}

TEST_F(AlcoholStoreTest, DeletedCheckStaysWithWhoAndWhenAndCannotBeChanged) {
    AlcoholStore s(folder());
    AlcoholCheck c = check(encodeDate(2024, 5, 10), 1, 0);
    c.id = s.add(c);
    const auto when = encodeDate(2024, 6, 1) + encodeTime(10, 0);
    s.markDeleted(c.id, "管理者", when);

    EXPECT_TRUE(s.load({}).empty());
    CheckFilter all;
    all.withDeleted = true;
    const auto kept = s.load(all);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(kept[0].deleted);
    EXPECT_EQ(kept[0].deletedBy, "管理者");
    EXPECT_EQ(kept[0].deletedAt, when);

    c.remarks = "後から";
    EXPECT_THROW(s.update(c), ext::ExtError);
    EXPECT_THROW(s.markDeleted(c.id, "別の人", when + 1), ext::ExtError);
    EXPECT_EQ(s.find(c.id)->deletedBy, "管理者");
    EXPECT_EQ(s.find(c.id)->remarks, "");
}

TEST_F(AlcoholStoreTest, UpdateReplacesTheFieldsOfALiveCheck) {
    AlcoholStore s(folder());
    AlcoholCheck c = check(encodeDate(2024, 5, 10), 1, 0);
    c.id = s.add(c);
    c.vehicle = 4;
    c.reading = 0.05;
    c.checker = "代理 花子";
    s.update(c);
    EXPECT_EQ(s.find(c.id), c);
    AlcoholCheck gone = c;
    gone.id = 77;
    EXPECT_THROW(s.update(gone), ext::ExtError);
}

TEST_F(AlcoholStoreTest, AddAllStoresEveryCheckOrNone) {
    AlcoholStore s(folder());
    s.addAll({check(encodeDate(2024, 5, 1), 1, 0), check(encodeDate(2024, 5, 2), 1, 0)});
    EXPECT_EQ(s.count(), 2);
}

TEST_F(AlcoholStoreTest, CheckerNamesComeMostRecentFirstWithoutRepeats) {
    AlcoholStore s(folder());
    s.add(check(encodeDate(2024, 5, 1), 1, 0, "甲"));
    s.add(check(encodeDate(2024, 5, 2), 1, 0, "乙"));
    s.add(check(encodeDate(2024, 5, 3), 1, 0, "甲"));
    EXPECT_EQ(s.checkerNames(), (std::vector<std::string>{"甲", "乙"}));
}

TEST_F(AlcoholStoreTest, DetectorsAndSettingsAreKept) {
    {
        AlcoholStore s(folder());
        Detector d{0, "検知器A", "SN-001", encodeDate(2023, 12, 1), 0, false};
        d.id = s.addDetector(d);
        d.lastInspection = encodeDate(2024, 5, 1);
        s.updateDetector(d);
        EXPECT_EQ(s.detectors(), std::vector<Detector>{d});
        EXPECT_EQ(s.inspectionDays(), kDefaultInspectionDays);
        s.setSetting(kInspectionDaysKey, "14");
        s.setSetting(kCompanyNameKey, "株式会社クイル");
        Detector missing = d;
        missing.id = 99;
        EXPECT_THROW(s.updateDetector(missing), ext::ExtError);
    }
    AlcoholStore s(folder());
    EXPECT_EQ(s.inspectionDays(), 14);
    EXPECT_EQ(s.setting(kCompanyNameKey), "株式会社クイル");
    EXPECT_EQ(s.setting("nothing", "既定"), "既定");
    s.setSetting(kInspectionDaysKey, "abc");
    EXPECT_EQ(s.inspectionDays(), kDefaultInspectionDays);
}

}  // namespace
}  // namespace quil::alcohol

namespace quil::alcohol {
namespace {

// While another computer holds the data folder, the register reads but changes nothing.
TEST(AlcoholStoreReadOnly, AFolderOpenReadOnlyRefusesEveryChangeAndStillReads) {
    quil::testing::TempDir dir;
    const std::string folder = dir.dir();
    AlcoholCheck c;
    c.when = store::encodeDate(2024, 5, 10);
    c.checker = "甲";
    c.id = AlcoholStore(folder).add(c);

    folder::ReadOnlyFileSystem readOnly(folder, store::FileSystem::current());
    store::FileSystem::setCurrent(&readOnly);
    struct Restore {
        ~Restore() { store::FileSystem::setCurrent(nullptr); }
    } restore;
    AlcoholStore s(folder);
    EXPECT_EQ(s.load({}).size(), 1u);
    try {
        s.add(c);
        ADD_FAILURE() << "a change was allowed";
    } catch (const ext::ExtError& e) {
        EXPECT_NE(std::string(e.what()).find(folder::ReadOnlyFileSystem::kReason),
                  std::string::npos);
    }
    EXPECT_THROW(s.markDeleted(c.id, "乙", c.when), ext::ExtError);
    EXPECT_THROW(s.setSetting(kCompanyNameKey, "x"), ext::ExtError);
    EXPECT_THROW(s.addDetector({}), ext::ExtError);
    EXPECT_EQ(s.count(), 1);
    EXPECT_FALSE(s.find(c.id)->deleted);

    // A folder without a register gets no QuilExt.db while it is read-only.
    quil::testing::TempDir other;
    const std::string empty = other.dir();
    folder::ReadOnlyFileSystem otherReadOnly(empty, readOnly);
    store::FileSystem::setCurrent(&otherReadOnly);
    EXPECT_THROW(AlcoholStore{empty}, ext::ExtError);
    EXPECT_FALSE(ext::ExtDatabase::exists(empty));
}

}  // namespace
}  // namespace quil::alcohol
