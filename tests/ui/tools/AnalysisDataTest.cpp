// The analysis data in QuilExt.db: nothing is created by reading, cycles and the daily limit
// survive a round trip, and files of the first schema version are brought up to date.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ui/tools/AnalysisData.h"

namespace quil::analysis {
namespace {

using quil::testing::TempDir;

TEST(AnalysisData, AMissingFileMeansNoCyclesAndIsNotCreatedByReading) {
    TempDir dir;
    EXPECT_TRUE(AnalysisData(dir.dir()).loadCycles().empty());
    EXPECT_DOUBLE_EQ(AnalysisData(dir.dir()).dailyLimitKm(), 1000);
    EXPECT_FALSE(ext::ExtDatabase::exists(dir.dir()));
}

TEST(AnalysisData, CyclesAndLimitRoundTripFromAnEmptyFile) {
    TempDir dir;
    AnalysisData(dir.dir()).saveCycles({{3, 6, 5000, 0}, {4, 0, 0, 0}, {5, 24, 0, 36}});
    EXPECT_TRUE(ext::ExtDatabase::exists(dir.dir()));
    const auto cycles = AnalysisData(dir.dir()).loadCycles();
    ASSERT_EQ(cycles.size(), 2u);  // the cycle without months or km is not kept
    EXPECT_EQ(cycles[0], (analysis::MaintenanceCycle{3, 6, 5000, 0}));
    EXPECT_EQ(cycles[1], (analysis::MaintenanceCycle{5, 24, 0, 36}));
    AnalysisData(dir.dir()).saveCycles({{5, 12, 0, 0}});
    EXPECT_EQ(AnalysisData(dir.dir()).loadCycles(),
              (std::vector<analysis::MaintenanceCycle>{{5, 12, 0, 0}}));
    AnalysisData(dir.dir()).setDailyLimitKm(1500);
    EXPECT_DOUBLE_EQ(AnalysisData(dir.dir()).dailyLimitKm(), 1500);
    ext::ExtDatabase db(dir.dir());
    ASSERT_TRUE(db.open(false));
    EXPECT_EQ(db.version(AnalysisData::component()), 2);
}

TEST(AnalysisData, AFileOfTheFirstVersionIsMigrated) {
    TempDir dir;
    {
        ext::ExtDatabase db(dir.dir());
        db.open(true);
        db.migrate(AnalysisData::component(), {AnalysisData::migrations()[0]});
        db.exec(QStringLiteral("INSERT INTO analysis_cycle(item, months, km) VALUES(3, 6, 5000)"));
        // Another component's tables are none of this one's business.
        db.migrate(QStringLiteral("alcohol"),
                   {{1, {QStringLiteral("CREATE TABLE alcohol_check(id INTEGER PRIMARY KEY)")}}});
    }
    EXPECT_EQ(AnalysisData(dir.dir()).loadCycles(),
              (std::vector<analysis::MaintenanceCycle>{{3, 6, 5000, 0}}));
    EXPECT_DOUBLE_EQ(AnalysisData(dir.dir()).dailyLimitKm(), 1000);
    ext::ExtDatabase db(dir.dir());
    ASSERT_TRUE(db.open(false));
    EXPECT_EQ(db.version(AnalysisData::component()), 2);
    EXPECT_EQ(db.version(QStringLiteral("alcohol")), 1);
}

TEST(AnalysisData, AFileOfANewerProgramIsRefusedUnchanged) {
    TempDir dir;
    AnalysisData(dir.dir()).saveCycles({{3, 6, 0, 0}});
    {
        ext::ExtDatabase db(dir.dir());
        db.open(false);
        db.exec(QStringLiteral("UPDATE schema_version SET version = 9 WHERE component = ?"),
                {AnalysisData::component()});
    }
    EXPECT_THROW(AnalysisData(dir.dir()).loadCycles(), ext::ExtError);
    EXPECT_THROW(AnalysisData(dir.dir()).saveCycles({{4, 1, 0, 0}}), ext::ExtError);
    ext::ExtDatabase db(dir.dir());
    db.open(false);
    QSqlQuery q = db.exec(QStringLiteral("SELECT item FROM analysis_cycle"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 3);
}

TEST(AnalysisData, AFileThatIsNoDatabaseIsReported) {
    TempDir dir;
    quil::testing::writeBytes(dir.file("QuilExt.db"), "this is not a database, just text\n");
    EXPECT_THROW(AnalysisData(dir.dir()).loadCycles(), ext::ExtError);
}

}  // namespace
}  // namespace quil::analysis
