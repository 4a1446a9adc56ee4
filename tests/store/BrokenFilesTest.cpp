// Damaged data files from tests/data/store: each gives a clear StoreError or a safe
// reading, never a crash or a read past the data.

#include <gtest/gtest.h>

#include <filesystem>

#include "StoreFixtures.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class BrokenFiles : public ::testing::Test {
protected:
    TempDir tmp;
    // Copies a fixture into the temporary data folder under its proper name.
    void place(const std::string& fixture, const std::string& as) {
        std::filesystem::copy_file(std::string(QUIL_TEST_DATA) + "/store/" + fixture, tmp.file(as));
    }
};

}  // namespace

TEST_F(BrokenFiles, PartialRecordAtTheEndIsIgnored) {
    place("truncated-record.qud", "Quil.qud");
    RecordStore store(tmp.dir());
    EXPECT_EQ(store.count(), 2);
    std::vector<double> dates;
    store.scan([&](std::int64_t, const DataRecord& r) { dates.push_back(r.date()); });
    EXPECT_EQ(dates, (std::vector<double>{38000, 38001}));
    EXPECT_THROW(store.read(2), StoreError);
}

TEST_F(BrokenFiles, SignaturesAndVersionsAreReportedAsTheyAre) {
    place("bad-signature.qui", "Quil.qui");
    place("bad-signature.qud", "Quil.qud");
    EXPECT_EQ(readFileHeader(tmp.file("Quil.qui"))->signature, "XX");
    EXPECT_EQ(readFileHeader(tmp.file("Quil.qud"))->signature, "QX");
    std::filesystem::remove(tmp.file("Quil.qui"));
    place("newer-version.qui", "Quil.qui");
    EXPECT_EQ(readFileHeader(tmp.file("Quil.qui"))->version, 102);
    EXPECT_FALSE(convertItemFile(tmp.dir()));  // newer files are never rewritten
}

TEST_F(BrokenFiles, LengthBytesBeyondTheFieldAreClamped) {
    place("length-beyond-field.qui", "Quil.qui");
    place("length-beyond-field.qud", "Quil.qud");
    ItemStore items(tmp.dir());
    EXPECT_EQ(items.nameAt(0), std::string(30, 'N'));
    EXPECT_EQ(items.nameAt(1).substr(0, 6), "車両");
    EXPECT_EQ(RecordStore(tmp.dir()).read(0).remarks(), std::string(100, 'R'));
}

TEST_F(BrokenFiles, ShortHeaderIsAnErrorNamingTheFile) {
    place("short-header.qud", "Quil.qud");
    try {
        readFileHeader(tmp.file("Quil.qud"));
        FAIL() << "a 10-byte file has no header";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.file(), "Quil.qud");
        EXPECT_NE(std::string(e.what()).find("短すぎ"), std::string::npos);
    }
    EXPECT_EQ(RecordStore(tmp.dir()).count(), 0);
}

TEST_F(BrokenFiles, RowIndexShorterThanAskedFails) {
    place("short.idx", "Data.idx");
    EXPECT_EQ(readRowIndex(tmp.file("Data.idx"), 0), 5);
    EXPECT_THROW(readRowIndex(tmp.file("Data.idx"), 1), StoreError);
}

TEST_F(BrokenFiles, SingleOldFormatRecordConverts) {
    place("format100-single.qud", "Quil.qud");
    EXPECT_TRUE(convertRecordFile(tmp.dir()));
    EXPECT_EQ(RecordStore(tmp.dir()).read(0).version(), 101);
}

TEST_F(BrokenFiles, StampsOfBothFilesAreReadForComparison) {
    place("other-stamp.qui", "Quil.qui");
    place("bad-signature.qud", "Quil.qud");
    EXPECT_NE(readFileHeader(tmp.file("Quil.qui"))->stamp,
              readFileHeader(tmp.file("Quil.qud"))->stamp);
}

TEST_F(BrokenFiles, UnknownKindsAreListedUnderNoKindButKeepTheirNames) {
    place("unknown-kind.qui", "Quil.qui");
    ItemStore items(tmp.dir());
    for (int k = 1; k <= 7; ++k) EXPECT_TRUE(items.listLive(static_cast<ItemKind>(k)).empty()) << k;
    EXPECT_EQ(items.nameAt(0), "Z");
    EXPECT_EQ(itemKindName(42), "車両");
}

TEST_F(BrokenFiles, HalfCharacterInANameReadsAsAReplacement) {
    place("half-character.qui", "Quil.qui");
    EXPECT_EQ(ItemStore(tmp.dir()).nameAt(0), "車\xEF\xBF\xBD");
}

TEST_F(BrokenFiles, FolderInPlaceOfAFileIsAnError) {
    std::filesystem::create_directory(tmp.file("Quil.qud"));
    RecordStore store(tmp.dir());
    EXPECT_FALSE(store.exists());
    std::filesystem::create_directory(tmp.file("Quil.qui"));
    EXPECT_THROW(ItemStore(tmp.dir()).append(ItemRecord()), StoreError);
}
