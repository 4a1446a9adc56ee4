#include "folder/DataSet.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "StoreFixtures.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil::folder;
using namespace quil::store;
using namespace quil::testing;

namespace fs = std::filesystem;

TEST(ResolveDataFolder, SavedFolderWinsWhileItExists) {
    TempDir t;
    fs::create_directories(t.file("data"));
    const std::string prog = t.dir() + "prog/";
    EXPECT_EQ(resolveDataFolder("", "", prog), prog);
    EXPECT_EQ(resolveDataFolder(t.dir() + "data/", prog, prog), t.dir() + "data/");
    EXPECT_EQ(resolveDataFolder(t.dir() + "gone/", prog, prog), prog);
}

TEST(ResolveDataFolder, FollowsAProgramFolderMovedWithItsDataBelowIt) {
    TempDir t;
    const std::string oldProg = t.dir() + "old/";
    const std::string newProg = t.dir() + "new/";
    fs::create_directories(t.file("new/data/2003"));
    // No Quil.qui at the relocated place yet: the program folder is used.
    EXPECT_EQ(resolveDataFolder(oldProg + "data/2003/", oldProg, newProg), newProg);
    writeBytes(t.file("new/data/2003/Quil.qui"), "");
    EXPECT_EQ(resolveDataFolder(oldProg + "data/2003/", oldProg, newProg), newProg + "data/2003/");
    // A saved folder outside the old program folder is not followed.
    EXPECT_EQ(resolveDataFolder(t.dir() + "elsewhere/data/2003/", oldProg, newProg), newProg);
    // Nor when the program folder has not moved.
    EXPECT_EQ(resolveDataFolder(newProg + "gone/", newProg, newProg), newProg);
}

TEST(SeedItemFile, WritesTheSevenItemsAndTheMasks) {
    TempDir t;
    Settings settings(t.dir());
    seedItemFile(t.dir(), settings, 40000.5, 40000.0);
    auto items = ItemStore(t.dir()).readAll();
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0].name(), "車両1");
    EXPECT_EQ(items[6].name(), "有料道路代");
    EXPECT_EQ(items[3].stamp(), 40000.5);
    EXPECT_EQ(settings.carMask(), "1");
    EXPECT_EQ(settings.driverMask(), "1");
    EXPECT_EQ(settings.readText(SettingKey::PurposeMask), "11");
}

namespace {

class CheckDataSet : public ::testing::Test {
protected:
    TempDir t;
    void items(double stamp, int version = 101, const char* sig = "QI") {
        ItemRecord r;
        r.setStamp(stamp);
        r.setVersion(static_cast<std::int16_t>(version));
        auto bytes = bytesOf<ItemRecord>({r});
        bytes[1] = sig[0];
        bytes[2] = sig[1];
        writeBytes(t.file("Quil.qui"), bytes);
    }
    void records(double stamp, int version = 101, const char* sig = "QD", std::size_t size = 256) {
        auto r = makeRecord(1, 0, 0);
        r.setStamp(stamp);
        r.setVersion(static_cast<std::int16_t>(version));
        auto bytes = bytesOf<DataRecord>({r}).substr(0, size);
        bytes[1] = sig[0];
        bytes[2] = sig[1];
        writeBytes(t.file("Quil.qud"), bytes);
    }
};

}  // namespace

TEST_F(CheckDataSet, AcceptsAMatchingPairAndAMissingOrEmptyRecordFile) {
    items(5.5);
    auto c = checkDataSet(t.dir());
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.stamp, 5.5);
    writeBytes(t.file("Quil.qud"), "");
    EXPECT_TRUE(checkDataSet(t.dir()).ok);
    records(5.5);
    c = checkDataSet(t.dir());
    EXPECT_TRUE(c.ok);
    EXPECT_FALSE(c.convertRecords);
    EXPECT_FALSE(c.convertItems);
}

TEST_F(CheckDataSet, ReportsEachProblemWithItsMessage) {
    items(5.5, 101, "QX");
    EXPECT_EQ(checkDataSet(t.dir()).message, "Quil.quiファイルが壊れています。");
    items(5.5, 102);
    EXPECT_EQ(checkDataSet(t.dir()).message, "新バージョンのファイル型式はサポートしていません。");
    items(5.5);
    records(5.5, 101, "QQ");
    EXPECT_EQ(checkDataSet(t.dir()).message, "Quil.qudファイルが壊れています。");
    records(5.5, 103);
    EXPECT_EQ(checkDataSet(t.dir()).message, "新バージョンのファイル型式はサポートしていません。");
    records(6.5);
    auto c = checkDataSet(t.dir());
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, "Quil.quiとQuil.qudの組み合わせに不具合があります。");
    writeBytes(t.file("Quil.qui"), "");
    EXPECT_EQ(checkDataSet(t.dir()).message, "Quil.quiファイルが壊れています。");
}

TEST_F(CheckDataSet, OlderFormatsAreMarkedForConversionEvenAsASingleShortRecord) {
    items(5.5, 100);
    records(5.5, 100, "QD", 192);
    auto c = checkDataSet(t.dir());
    EXPECT_TRUE(c.ok);
    EXPECT_TRUE(c.convertRecords);
    EXPECT_TRUE(c.convertItems);
}
