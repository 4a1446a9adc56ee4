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

namespace {

// The local file system, except that one folder exists but cannot be listed.
class UnreadableFolder final : public FileSystem {
public:
    explicit UnreadableFolder(std::string folder) : folder_(std::move(folder)) {}
    std::unique_ptr<File> open(const std::string& p, OpenMode m) override {
        return local().open(p, m);
    }
    bool exists(const std::string& p) override { return local().exists(p); }
    bool isDirectory(const std::string& p) override { return local().isDirectory(p); }
    void rename(const std::string& a, const std::string& b) override { local().rename(a, b); }
    void remove(const std::string& p) override { local().remove(p); }
    bool canReadFolder(const std::string& p) override { return p != folder_; }

private:
    std::string folder_;
};

}  // namespace

TEST(ChooseDataFolder, SaysWhichFolderWasExpectedWhenItCannotBeUsed) {
    TempDir t;
    fs::create_directories(t.file("data"));
    const std::string prog = t.dir() + "prog/";
    const std::string data = t.dir() + "data/";
    EXPECT_EQ(chooseDataFolder(data, prog, prog).expected, "");
    const auto gone = chooseDataFolder(t.dir() + "gone/", prog, prog);
    EXPECT_EQ(gone.folder, prog);
    EXPECT_EQ(gone.expected, t.dir() + "gone/");
    UnreadableFolder locked(data);
    const auto unreadable = chooseDataFolder(data, prog, prog, locked);
    EXPECT_EQ(unreadable.folder, prog);
    EXPECT_EQ(unreadable.expected, data);
}

TEST_F(CheckDataSet, DamagedOrIncompleteDataSetsAreRefusedWithoutThrowing) {
    const std::string dir = t.dir();
    items(5.5);
    writeBytes(t.file("Quil.qud"), std::string(10, 'Q'));
    DataSetCheck c;
    ASSERT_NO_THROW(c = checkDataSet(dir));
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, "Quil.qudファイルが壊れています。");

    // A record file of 256-byte records whose first version field says 100.
    auto r = makeRecord(1, 0, 0);
    r.setStamp(5.5);
    auto first = r;
    first.setVersion(100);
    writeRecords<DataRecord>(t.file("Quil.qud"), {first, r, r});
    c = checkDataSet(dir);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, "Quil.qudファイルが壊れています。");

    // Records without their item file.
    fs::remove(t.file("Quil.qui"));
    EXPECT_TRUE(itemFileMissing(dir));
    c = checkDataSet(dir);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, "Quil.qui がありません。バックアップから読み込んで下さい。");
    writeBytes(t.file("Quil.qud"), "");
    EXPECT_FALSE(itemFileMissing(dir)) << "an empty record file holds nothing to lose";

    // Partial last records are noted.
    items(5.5);
    writeBytes(t.file("Quil.qui"), *readBytes(t.file("Quil.qui")) + "abc");
    writeBytes(t.file("Quil.qud"), bytesOf<DataRecord>({r}) + "12345");
    c = checkDataSet(dir);
    EXPECT_TRUE(c.ok);
    ASSERT_EQ(c.partialTails.size(), 2u);
    EXPECT_EQ(c.partialTails[0], (std::pair<std::string, std::uint64_t>{"Quil.qui", 3}));
    EXPECT_EQ(c.partialTails[1], (std::pair<std::string, std::uint64_t>{"Quil.qud", 5}));
}
