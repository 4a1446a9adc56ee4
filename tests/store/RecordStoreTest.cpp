#include "store/RecordStore.h"

#include <gtest/gtest.h>

#include "StoreFixtures.h"
#include "store/ItemStore.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class RecordStoreTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::string qud() const { return tmp.file("Quil.qud"); }
    std::vector<DataRecord> onDisk() const { return readRecords(qud()); }
};

using Way = SavedPlace::Way;
SavedPlace place(Way way, std::int64_t position, std::int64_t markedDeleted = -1) {
    return {way, position, markedDeleted};
}

DataRecord deletedCopy(DataRecord r) {
    r.setDeleted(true);
    return r;
}

}  // namespace

TEST_F(RecordStoreTest, FirstSaveCreatesTheFileWithTheRecordAtPositionZero) {
    RecordStore store(tmp.dir());
    EXPECT_FALSE(store.exists());
    auto r = makeRecord(100, 0, 1, 500);
    EXPECT_EQ(store.save(r, std::nullopt), place(Way::Created, 0));
    EXPECT_EQ(*readBytes(qud()), bytesOf<DataRecord>({r}));
}

TEST_F(RecordStoreTest, AddInOrderAppends) {
    auto a = makeRecord(100, 0, 1), b = makeRecord(101, 0, 1);
    writeRecords<DataRecord>(qud(), {a});
    RecordStore store(tmp.dir());
    EXPECT_EQ(store.save(b, std::nullopt), place(Way::Appended, 1));
    EXPECT_EQ(onDisk(), (std::vector<DataRecord>{a, b}));
}

TEST_F(RecordStoreTest, EarlierRecordIsInsertedAndLaterOnesMoveUp) {
    auto a = makeRecord(100, 0, 1), b = makeRecord(102, 0, 1), c = makeRecord(103, 0, 1);
    writeRecords<DataRecord>(qud(), {a, b, c});
    auto r = makeRecord(101, 0, 1, 7);
    EXPECT_EQ(RecordStore(tmp.dir()).save(r, std::nullopt), place(Way::Inserted, 1));
    EXPECT_EQ(onDisk(), (std::vector<DataRecord>{a, r, b, c}));
    EXPECT_FALSE(readBytes(tmp.file("tmp.$$$")));
}

TEST_F(RecordStoreTest, RecordBeforeEverythingGoesToTheFront) {
    auto a = makeRecord(100, 0, 1), b = makeRecord(102, 0, 1);
    writeRecords<DataRecord>(qud(), {a, b});
    auto r = makeRecord(50, 0, 1);
    EXPECT_EQ(RecordStore(tmp.dir()).save(r, std::nullopt), place(Way::Inserted, 0));
    EXPECT_EQ(onDisk(), (std::vector<DataRecord>{r, a, b}));
}

TEST_F(RecordStoreTest, EqualKeysGoAfterTheExistingOnesAndDeletedRecordsCount) {
    auto a = makeRecord(100, 0, 1, 1), b = deletedCopy(makeRecord(100, 0, 1, 2));
    auto c = makeRecord(100, 0, 1, 3), d = makeRecord(200, 0, 0);
    writeRecords<DataRecord>(qud(), {a, b, c, d});
    auto r = makeRecord(100, 0, 1, 4);
    EXPECT_EQ(RecordStore(tmp.dir()).save(r, std::nullopt), place(Way::Inserted, 3));
    EXPECT_EQ(onDisk(), (std::vector<DataRecord>{a, b, c, r, d}));
}

TEST_F(RecordStoreTest, VehicleAndUserBreakTiesOfEqualDates) {
    auto a = makeRecord(100, 0, 1), b = makeRecord(100, 2, 0);
    writeRecords<DataRecord>(qud(), {a, b});
    auto r = makeRecord(100, 0, 5);
    EXPECT_EQ(RecordStore(tmp.dir()).save(r, std::nullopt), place(Way::Inserted, 1));
    EXPECT_EQ(onDisk(), (std::vector<DataRecord>{a, r, b}));
}

TEST_F(RecordStoreTest, EditThatStaysBetweenItsNeighboursRewritesInPlace) {
    auto a = makeRecord(100, 0, 1), b = makeRecord(102, 0, 1), c = makeRecord(104, 0, 1);
    writeRecords<DataRecord>(qud(), {a, b, c});
    auto edited = makeRecord(103, 0, 1, 999);
    EXPECT_EQ(RecordStore(tmp.dir()).save(edited, 1), place(Way::Rewritten, 1));
    EXPECT_EQ(onDisk(), (std::vector<DataRecord>{a, edited, c}));
}

TEST_F(RecordStoreTest, OneRecordFileIsEditedInPlace) {
    writeRecords<DataRecord>(qud(), {makeRecord(100, 0, 1)});
    auto edited = makeRecord(5000, 3, 3, 1);
    EXPECT_EQ(RecordStore(tmp.dir()).save(edited, 0), place(Way::Rewritten, 0));
    EXPECT_EQ(onDisk(), (std::vector<DataRecord>{edited}));
}

TEST_F(RecordStoreTest, EditThatMovesLaterMarksTheOldDeletedAndInsertsTheNew) {
    auto a = makeRecord(100, 0, 1), b = makeRecord(102, 0, 1), c = makeRecord(104, 0, 1);
    writeRecords<DataRecord>(qud(), {a, b, c});
    auto edited = makeRecord(105, 0, 1, 1);
    EXPECT_EQ(RecordStore(tmp.dir()).save(edited, 1), place(Way::Inserted, 3, 1));
    EXPECT_EQ(onDisk(), (std::vector<DataRecord>{a, deletedCopy(b), c, edited}));
}

TEST_F(RecordStoreTest, EditThatMovesEarlierShiftsTheDeletedOldVersionToo) {
    auto a = makeRecord(100, 0, 1), b = makeRecord(102, 0, 1), c = makeRecord(104, 0, 1);
    writeRecords<DataRecord>(qud(), {a, b, c});
    auto edited = makeRecord(99, 0, 1, 1);
    EXPECT_EQ(RecordStore(tmp.dir()).save(edited, 2), place(Way::Inserted, 0, 2));
    EXPECT_EQ(onDisk(), (std::vector<DataRecord>{edited, a, b, deletedCopy(c)}));
}

TEST_F(RecordStoreTest, EditOfAPositionOutsideTheFileIsRefusedAndChangesNothing) {
    writeRecords<DataRecord>(qud(), {makeRecord(100, 0, 1)});
    auto before = readBytes(qud());
    EXPECT_THROW(RecordStore(tmp.dir()).save(makeRecord(1, 0, 0), 1), StoreError);
    EXPECT_THROW(RecordStore(tmp.dir()).save(makeRecord(1, 0, 0), -1), StoreError);
    EXPECT_EQ(readBytes(qud()), before);
}

TEST_F(RecordStoreTest, MarkDeletedChangesOnlyTheFlag) {
    auto a = makeRecord(100, 0, 1), b = makeRecord(101, 0, 1);
    writeRecords<DataRecord>(qud(), {a, b});
    RecordStore(tmp.dir()).markDeleted(1);
    auto bytes = *readBytes(qud());
    EXPECT_EQ(bytes[256 + 16], 1);
    bytes[256 + 16] = 0;
    EXPECT_EQ(bytes, bytesOf<DataRecord>({a, b}));
    EXPECT_THROW(RecordStore(tmp.dir()).markDeleted(2), StoreError);
}

TEST_F(RecordStoreTest, ScanSeesEveryWholeRecordAndIgnoresAPartialTail) {
    std::vector<DataRecord> recs;
    for (int i = 0; i < 5000; ++i) recs.push_back(makeRecord(i, i % 3, 0));
    writeBytes(qud(), bytesOf(recs) + std::string(100, 'x'));
    RecordStore store(tmp.dir());
    EXPECT_EQ(store.count(), 5000);
    std::int64_t seen = 0;
    store.scan([&](std::int64_t pos, const DataRecord& r) {
        EXPECT_EQ(pos, seen);
        EXPECT_EQ(r.date(), static_cast<double>(seen));
        ++seen;
    });
    EXPECT_EQ(seen, 5000);
    // An append after a partial tail replaces the tail with a whole record.
    store.save(makeRecord(6000, 0, 0), std::nullopt);
    EXPECT_EQ(readBytes(qud())->size(), 5001u * 256);
}

TEST_F(RecordStoreTest, MissingFileHasNoRecordsAndNothingInUse) {
    RecordStore store(tmp.dir());
    int n = 0;
    store.scan([&](std::int64_t, const DataRecord&) { ++n; });
    EXPECT_EQ(n, 0);
    EXPECT_EQ(store.count(), 0);
    EXPECT_FALSE(store.refersTo(0, ItemKind::Vehicle));
    EXPECT_THROW(store.read(0), StoreError);
}

TEST_F(RecordStoreTest, ItemInUseLooksAtTheFieldOfTheKindAndAtDeletedRecords) {
    auto r = makeRecord(100, 3, 4);
    r.setItem(5);
    r.setPlace(6);
    r.setDeleted(true);
    writeRecords<DataRecord>(qud(), {r});
    RecordStore store(tmp.dir());
    EXPECT_TRUE(store.refersTo(3, ItemKind::Vehicle));
    EXPECT_FALSE(store.refersTo(3, ItemKind::User));
    EXPECT_TRUE(store.refersTo(4, ItemKind::User));
    EXPECT_TRUE(store.refersTo(5, ItemKind::Purpose));
    EXPECT_TRUE(store.refersTo(5, ItemKind::MaintenanceItem));
    EXPECT_TRUE(store.refersTo(5, ItemKind::ExpenseItem));
    EXPECT_FALSE(store.refersTo(5, ItemKind::Shop));
    EXPECT_TRUE(store.refersTo(6, ItemKind::GasStation));
    EXPECT_TRUE(store.refersTo(6, ItemKind::Shop));
    EXPECT_FALSE(store.refersTo(6, ItemKind::Vehicle));
}

TEST_F(RecordStoreTest, RowIndexIsReadByEntryAndShortOrMissingFilesFail) {
    const std::string idx = tmp.file("Data.idx");
    EXPECT_THROW(readRowIndex(idx, 0), StoreError);
    writeRowIndex(idx, {7, 3, 1000000});
    EXPECT_EQ(*readBytes(idx), std::string("\x07\0\0\0\x03\0\0\0\x40\x42\x0F\0", 12));
    EXPECT_EQ(readRowIndex(idx, 2), 1000000);
    EXPECT_EQ(readRowIndex(idx, 0), 7);
    try {
        readRowIndex(idx, 3);
        FAIL() << "read past the end of Data.idx";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.file(), "Data.idx");
    }
    writeRowIndex(idx, {});
    EXPECT_EQ(readBytes(idx)->size(), 0u);
}

TEST_F(RecordStoreTest, HeadersAreJudgedFromTheFirstFourteenBytes) {
    EXPECT_FALSE(readFileHeader(qud()));
    writeBytes(qud(), "");
    ASSERT_TRUE(readFileHeader(qud()));
    EXPECT_TRUE(readFileHeader(qud())->empty);
    writeBytes(qud(), "\x02QD");
    EXPECT_THROW(readFileHeader(qud()), StoreError);
    auto r = makeRecord(1, 0, 0);
    r.setVersion(100);
    writeBytes(qud(), bytesOf<DataRecord>({r}).substr(0, 192));
    auto h = readFileHeader(qud());
    EXPECT_FALSE(h->empty);
    EXPECT_EQ(h->signature, "QD");
    EXPECT_EQ(h->version, 100);
    EXPECT_EQ(h->stamp, 40000.5);
}
