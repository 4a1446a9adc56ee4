// Damaged files, failed steps and partial records never cost a record: conversions that
// refuse or undo, partial tails kept byte for byte, and the order in which a replaced
// file is made durable.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "CrashingFileSystem.h"
#include "StoreFixtures.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

// A format-100 record (192 bytes) of the given date.
std::string oldRecord(double date, std::uint8_t remarksLength = 3) {
    auto r = makeRecord(date, 0, 1);
    r.setVersion(100);
    std::string b = bytesOf<DataRecord>({r}).substr(0, 192);
    b[70] = static_cast<char>(remarksLength);
    for (std::size_t i = 71; i < 171; ++i) b[i] = static_cast<char>('a' + i % 26);
    return b;
}

std::vector<ItemRecord> oldItems() {
    ItemRecord a, b;
    a.setKind(ItemKind::Vehicle);
    a.setName("A");
    a.setVersion(100);
    b.setKind(ItemKind::User);
    b.setName("B");
    b.setVersion(100);
    return {a, b};
}

class DamagedFiles : public ::testing::Test {
protected:
    TempDir t;
    void SetUp() override {
        setClockForTesting([] { return encodeDate(2026, 3, 4) + 0.25; });
    }
    void TearDown() override {
        setClockForTesting({});
        FileSystem::setCurrent(nullptr);
    }
    std::string qud() const { return t.file("Quil.qud"); }
    std::string qui() const { return t.file("Quil.qui"); }
};

}  // namespace

TEST_F(DamagedFiles, ANewerRecordFileWithADamagedVersionIsRefusedNotConverted) {
    // 40 records of 256 bytes; record 0 says version 100.
    std::vector<DataRecord> records;
    for (int i = 0; i < 40; ++i) records.push_back(makeRecord(100 + i, 0, 1));
    records[0].setVersion(100);
    writeRecords(qud(), records);
    const auto before = readBytes(qud());

    EXPECT_FALSE(olderRecordFileIsWhole(qud()));
    EXPECT_THROW(convertRecordFile(t.dir()), StoreError);
    EXPECT_EQ(readBytes(qud()), before);
    EXPECT_FALSE(readBytes(qud() + ".100-20260304"));

    // Whole older records whose signatures are out of step (a 192-byte multiple by chance).
    std::string skewed = oldRecord(1) + oldRecord(2) + oldRecord(3);
    skewed[192 + 1] = 'X';
    writeBytes(qud(), skewed);
    EXPECT_FALSE(olderRecordFileIsWhole(qud()));
    EXPECT_THROW(convertRecordFile(t.dir()), StoreError);
    EXPECT_EQ(readBytes(qud()), skewed);
    writeBytes(qud(), oldRecord(1) + oldRecord(2).substr(0, 100));
    EXPECT_FALSE(olderRecordFileIsWhole(qud()));
}

TEST_F(DamagedFiles, ConversionsKeepTheOriginalsUnderADatedName) {
    const std::string oldQud = oldRecord(1) + oldRecord(2);
    writeBytes(qud(), oldQud);
    writeRecords(qui(), oldItems());
    const auto oldQui = readBytes(qui());
    const ConversionResult result = convertOlderFormat(t.dir());
    EXPECT_TRUE(result.records);
    EXPECT_TRUE(result.items);
    EXPECT_EQ(readBytes(qud() + ".100-20260304"), oldQud);
    EXPECT_EQ(readBytes(qui() + ".100-20260304"), oldQui);
    EXPECT_EQ(readBytes(qud())->size(), 512u);

    // A second older file on the same day does not overwrite the first one kept.
    writeBytes(qud(), oldRecord(5));
    EXPECT_TRUE(convertRecordFile(t.dir()));
    EXPECT_EQ(readBytes(qud() + ".100-20260304"), oldQud);
    EXPECT_EQ(readBytes(qud() + ".100-20260304-2"), oldRecord(5));
}

TEST_F(DamagedFiles, RemarksLengthAboveTheFieldIsConvertedAsOneHundredBytes) {
    writeBytes(qud(), oldRecord(1, 0xE8));
    ASSERT_TRUE(convertRecordFile(t.dir()));
    const auto r = readRecords(qud()).at(0);
    EXPECT_EQ(r.bytes()[70], 100);
    EXPECT_EQ(r.remarks().size(), 100u);
    EXPECT_EQ(r.bytes()[171], 0) << "the pad after the field stays zero";
}

TEST_F(DamagedFiles, AnItemConversionThatFailsPutsTheConvertedRecordFileBack) {
    const std::string oldQud = oldRecord(1) + oldRecord(2);
    writeBytes(qud(), oldQud);
    writeRecords(qui(), oldItems());
    const auto oldQui = readBytes(qui());
    // Renames: the record file's tmp published; the second is the item file's.
    FaultyFileSystem faulty(FaultyFileSystem::Op::Rename, 2);
    FileSystem::setCurrent(&faulty);
    EXPECT_THROW(convertOlderFormat(t.dir()), StoreError);
    FileSystem::setCurrent(nullptr);
    EXPECT_EQ(readBytes(qud()), oldQud) << "the data set is of one format again";
    EXPECT_EQ(readBytes(qui()), oldQui);
    EXPECT_FALSE(readBytes(t.file("tmp.$$$")));
}

TEST_F(DamagedFiles, APartialLastRecordIsKeptBeforeAnAppendOrInsertion) {
    const std::vector<DataRecord> three = {makeRecord(100, 0, 1), makeRecord(102, 0, 1),
                                           makeRecord(104, 0, 1)};
    const std::string tail = "partial record bytes";
    writeBytes(qud(), bytesOf(three) + tail);

    RecordStore(t.dir()).save(makeRecord(200, 0, 1), std::nullopt);  // append
    EXPECT_EQ(readBytes(qud() + ".tail"), tail);
    auto after = readRecords(qud());
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(readBytes(qud())->size(), 4u * 256u);
    EXPECT_TRUE(after[3] == makeRecord(200, 0, 1));

    // An insertion rebuilds the file without the tail: a different tail is kept beside
    // the first one.
    const std::string tail2 = "another";
    writeBytes(qud(), bytesOf(three) + tail2);
    RecordStore(t.dir()).save(makeRecord(101, 0, 1), std::nullopt);
    EXPECT_EQ(readBytes(qud() + ".tail"), tail);
    EXPECT_EQ(readBytes(qud() + ".tail-2"), tail2);
    EXPECT_EQ(readRecords(qud()).size(), 4u);

    // The item file too.
    writeBytes(qui(), bytesOf(oldItems()) + "xyz");
    ItemStore(t.dir()).append(oldItems()[0]);
    EXPECT_EQ(readBytes(qui() + ".tail"), "xyz");
    EXPECT_EQ(readBytes(qui())->size(), 3u * 128u);
}

TEST_F(DamagedFiles, AFailedAppendRestoresTheFileToItsExactOldBytes) {
    const std::string old = bytesOf<DataRecord>({makeRecord(100, 0, 1)}) + "tail bytes";
    for (int failAt = 1; failAt <= 3; ++failAt) {
        writeBytes(qud(), old);
        std::filesystem::remove(qud() + ".tail");
        FaultyFileSystem faulty(FaultyFileSystem::Op::Write, failAt);
        FileSystem::setCurrent(&faulty);
        bool threw = false;
        try {
            RecordStore(t.dir()).save(makeRecord(200, 0, 1), std::nullopt);
        } catch (const StoreError&) {
            threw = true;
        }
        FileSystem::setCurrent(nullptr);
        if (!faulty.fired()) break;
        EXPECT_TRUE(threw);
        EXPECT_EQ(readBytes(qud()), old) << "write " << failAt;
    }
    const std::string oldItems = bytesOf(::oldItems()) + "x";
    writeBytes(qui(), oldItems);
    FaultyFileSystem faulty(FaultyFileSystem::Op::Write, 2);  // 1 is the side file
    FileSystem::setCurrent(&faulty);
    EXPECT_THROW(ItemStore(t.dir()).append(::oldItems()[0]), StoreError);
    FileSystem::setCurrent(nullptr);
    EXPECT_EQ(readBytes(qui()), oldItems);
}

TEST_F(DamagedFiles, AReplacedFileIsWrittenSyncedRenamedThenItsFolderSynced) {
    writeRecords<DataRecord>(qud(), {makeRecord(100, 0, 1), makeRecord(104, 0, 1)});
    FaultyFileSystem faulty(FaultyFileSystem::Op::Open, 1000);
    FileSystem::setCurrent(&faulty);
    RecordStore(t.dir()).save(makeRecord(101, 0, 1), std::nullopt);  // an insertion
    FileSystem::setCurrent(nullptr);
    const std::vector<std::string> expected = {"write tmp.$$$", "sync tmp.$$$",
                                               "rename tmp.$$$ Quil.qud", "syncFolder"};
    // The data may go out in more than one write; what follows the last one is fixed.
    const auto& log = faulty.log();
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()), expected);
    for (const auto& e : log) EXPECT_TRUE(e.rfind("write Quil.qud", 0) != 0) << "in place: " << e;

    // The conversion: the original is copied aside before the new file takes its name, so
    // the folder is never without it.
    writeBytes(qud(), oldRecord(1));
    FaultyFileSystem conv(FaultyFileSystem::Op::Open, 1000);
    FileSystem::setCurrent(&conv);
    convertRecordFile(t.dir());
    FileSystem::setCurrent(nullptr);
    const std::vector<std::string> convExpected = {"sync tmp.$$$", "write Quil.qud.100-20260304",
                                                   "sync Quil.qud.100-20260304",
                                                   "rename tmp.$$$ Quil.qud", "syncFolder"};
    ASSERT_GE(conv.log().size(), convExpected.size());
    EXPECT_EQ(std::vector<std::string>(conv.log().end() - 5, conv.log().end()), convExpected);
}

namespace {

TEST_F(DamagedFiles, AKillAtAnyStepOfTheConversionLeavesBothFilesForTheNextStartToConvert) {
    const std::string oldQud = oldRecord(1) + oldRecord(2);
    writeBytes(qud(), oldQud);
    writeRecords(qui(), oldItems());
    const auto oldQui = readBytes(qui());
    convertOlderFormat(t.dir());
    const auto newQud = readBytes(qud()), newQui = readBytes(qui());
    int kills = 0;
    for (int k = 1;; ++k) {
        ASSERT_LT(k, 100);
        for (const auto& e : std::filesystem::directory_iterator(t.dir())) std::filesystem::remove(e);
        writeBytes(qud(), oldQud);
        writeBytes(qui(), *oldQui);
        CrashingFileSystem dying(k);
        try {
            convertOlderFormat(t.dir(), dying);
        } catch (const StoreError&) {
        }
        if (!dying.crashed()) break;
        ++kills;
        EXPECT_TRUE(readBytes(qud()) == oldQud || readBytes(qud()) == newQud) << "killed at " << k;
        EXPECT_TRUE(readBytes(qui()) == oldQui || readBytes(qui()) == newQui) << "killed at " << k;
        convertOlderFormat(t.dir());  // the next start
        EXPECT_EQ(readBytes(qud()), newQud) << "killed at " << k;
        EXPECT_EQ(readBytes(qui()), newQui) << "killed at " << k;
    }
    EXPECT_GT(kills, 4);
}

TEST_F(DamagedFiles, AnInsertionNeverWritesThroughAPlantedTempFileOrReplacesALinkedRecordFile) {
    TempDir outside;
    const std::string victim = outside.file("victim.txt");
    writeBytes(victim, "not ours");
    const std::vector<DataRecord> three = {makeRecord(100, 0, 1), makeRecord(102, 0, 1),
                                           makeRecord(104, 0, 1)};
    writeBytes(qud(), bytesOf(three));
    std::filesystem::create_symlink(victim, t.file("tmp.$$$"));
    RecordStore(t.dir()).save(makeRecord(101, 0, 1), std::nullopt);  // an insertion
    EXPECT_EQ(readBytes(victim), "not ours");
    EXPECT_EQ(readRecords(qud()).size(), 4u);

    // A record file that is a link: the insertion is refused and the link stays a link.
    const std::string target = outside.file("Quil.qud");
    std::filesystem::rename(qud(), target);
    std::filesystem::create_symlink(target, qud());
    const auto before = readBytes(target);
    EXPECT_THROW(RecordStore(t.dir()).save(makeRecord(99, 0, 1), std::nullopt), StoreError);
    EXPECT_TRUE(std::filesystem::is_symlink(qud()));
    EXPECT_EQ(readBytes(target), before);
}

}  // namespace
