// The data folder dialog's commands on a server data set: a backup into a folder, a restore
// from one and a legacy import, each all or nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Bytes.h"
#include "LegacyFixtures.h"
#include "LoginRole.h"
#include "PgTestCluster.h"
#include "SampleDataSet.h"
#include "TempDir.h"
#include "folder/FileCopy.h"
#include "server/ServerBackup.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil;
using namespace quil::server;
using quil::test::ScratchDatabase;
using quil::testing::TempDir;

namespace {

using quil::testing::fileBytes;

class ServerBackup : public ::testing::Test {
protected:
    ScratchDatabase db;
    TempDir seed, backup, pulled;
    std::unique_ptr<PgConnection> c;

    void SetUp() override {
        quil::testing::writeSampleItems(seed.dir());
        store::RecordStore records(seed.dir());
        for (int day = 1; day <= 5; ++day)
            records.save(quil::testing::sampleRecord(0, store::encodeDate(2024, 5, day), 7, 8),
                         std::nullopt);
        c = std::make_unique<PgConnection>(db.conninfo());
        initializeSchema(*c);
        pushFolder(*c, seed.dir());
    }
    std::int64_t serverRecords() { return ServerDataSet(db.conninfo()).recordCount(true); }
};

}  // namespace

TEST_F(ServerBackup, ABackupRestoredGivesBackTheDataSetByteForByte) {
    const folder::DataSetResult saved = backupServer(*c, backup.dir());
    ASSERT_TRUE(saved.done()) << saved.message;
    EXPECT_EQ(fileBytes(backup.file("Quil.qui")), fileBytes(seed.file("Quil.qui")));
    EXPECT_EQ(fileBytes(backup.file("Quil.qud")), fileBytes(seed.file("Quil.qud")));
    EXPECT_FALSE(quil::folder::stagingLeftovers(backup.dir()));

    // Changed after the backup, then restored: the changes are gone, the backup is back.
    ServerDataSet other(db.conninfo());
    other.listen();
    other.addRecord(quil::testing::sampleRecord(1, store::encodeDate(2024, 6, 1), 7, 8),
                    newSaveKey());
    ASSERT_EQ(serverRecords(), 6);
    const folder::DataSetResult restored = restoreServer(*c, backup.dir());
    ASSERT_TRUE(restored.done()) << restored.message;
    EXPECT_EQ(restored.stamp, quil::testing::kSampleStamp);
    EXPECT_EQ(serverRecords(), 5);
    pullFolder(*c, pulled.dir());
    EXPECT_EQ(fileBytes(pulled.file("Quil.qui")), fileBytes(seed.file("Quil.qui")));
    EXPECT_EQ(fileBytes(pulled.file("Quil.qud")), fileBytes(seed.file("Quil.qud")));
    // Another program hears that the data set was replaced as a whole.
    bool replaced = false;
    for (int i = 0; i < 50 && !replaced; ++i) {
        other.connection().waitReadable(100);
        for (const store::DataSetChange& change : other.takeChanges())
            replaced = replaced || change.what == store::DataSetChange::What::Replaced;
    }
    EXPECT_TRUE(replaced);
}

TEST_F(ServerBackup, AnotherDataSetInTheBackupFolderIsReplacedOnlyWithConsent) {
    // Another data set (another stamp) is in the folder chosen for the backup.
    {
        store::ItemStore items(backup.dir());
        for (const store::ItemRecord& it :
             store::firstRunItems(quil::testing::kSampleStamp + 1, store::encodeDate(2024, 4, 1)))
            items.append(it);
    }
    const std::string theirs = fileBytes(backup.file("Quil.qui"));
    const folder::DataSetResult first = backupServer(*c, backup.dir());
    EXPECT_EQ(first.status, folder::DataSetStatus::ReplaceOther);
    EXPECT_FALSE(first.message.empty());
    EXPECT_EQ(fileBytes(backup.file("Quil.qui")), theirs) << "nothing replaced without consent";
    const folder::DataSetResult second = backupServer(*c, backup.dir(), {.otherDataSet = true});
    ASSERT_TRUE(second.done()) << second.message;
    EXPECT_EQ(fileBytes(backup.file("Quil.qui")), fileBytes(seed.file("Quil.qui")));
    EXPECT_EQ(fileBytes(backup.file("Quil.qud")), fileBytes(seed.file("Quil.qud")));
}

TEST_F(ServerBackup, ADamagedBackupOrAUserWhoMayNotReplaceChangesNothing) {
    ASSERT_TRUE(backupServer(*c, backup.dir()).done());
    // A record cut short at the end of Quil.qud.
    TempDir damaged;
    std::filesystem::copy(backup.file("Quil.qui"), damaged.file("Quil.qui"));
    std::string data = fileBytes(backup.file("Quil.qud"));
    data.resize(data.size() - 100);
    std::ofstream(damaged.file("Quil.qud"), std::ios::binary) << data;
    const folder::DataSetResult refused = restoreServer(*c, damaged.dir());
    EXPECT_FALSE(refused.done());
    EXPECT_FALSE(refused.message.empty());
    EXPECT_EQ(serverRecords(), 5);
    // A folder without a data set.
    TempDir empty;
    EXPECT_EQ(restoreServer(*c, empty.dir()).status, folder::DataSetStatus::NoSourceData);
    EXPECT_EQ(serverRecords(), 5);
    // A viewer may take a backup but not replace the data set: the server refuses.
    quil::test::LoginRole viewer(db.conninfo(), kViewerRole);
    PgConnection asViewer(viewer.conninfo());
    TempDir viewersCopy;
    EXPECT_TRUE(backupServer(asViewer, viewersCopy.dir()).done());
    EXPECT_THROW(restoreServer(asViewer, backup.dir()), ServerError);
    EXPECT_EQ(serverRecords(), 5);
    // Nor may a clerk: replacing the whole data set is the administrator's.
    quil::test::LoginRole clerk(db.conninfo(), kClerkRole);
    PgConnection asClerk(clerk.conninfo());
    EXPECT_THROW(restoreServer(asClerk, backup.dir()), ServerError);
    EXPECT_EQ(serverRecords(), 5);
}

TEST_F(ServerBackup, ALegacyDataSetReplacesTheServersAndItsLogStaysReadable) {
    TempDir legacy, logs;
    quil::testing::LegacyWriter writer{legacy.dir()};
    quil::testing::LegacyVehicle v;
    v.firstYear = 2003;
    writer.vehicles({v});
    writer.days(2003, 1, {quil::testing::LegacyDay{115, 1, 2, 0, "", 0, 0}});
    writer.refuellings(1, {quil::testing::LegacyRefuelling{}});
    const folder::DataSetResult result = importLegacyToServer(*c, legacy.dir(), logs.dir());
    ASSERT_TRUE(result.done()) << result.message;
    EXPECT_EQ(result.logPath, logs.file("Errlog.txt"));
    EXPECT_TRUE(std::filesystem::exists(logs.file("Errlog.txt")));
    ServerDataSet s(db.conninfo());
    std::vector<std::string> vehicles;
    for (const ItemRow& item : s.items())
        if (item.item.kind() == static_cast<std::int16_t>(store::ItemKind::Vehicle))
            vehicles.push_back(item.item.name());
    EXPECT_EQ(vehicles, (std::vector<std::string>{"車両"}));
    EXPECT_EQ(s.recordCount(true), 2);
    // No legacy data set there: refused, the server keeps what it holds.
    TempDir nothing;
    EXPECT_EQ(importLegacyToServer(*c, nothing.dir(), logs.dir()).status,
              folder::DataSetStatus::NoSourceData);
    EXPECT_EQ(s.recordCount(true), 2);
}
