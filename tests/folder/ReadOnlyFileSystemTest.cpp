// While another computer holds the data folder, nothing inside it can change.

#include <gtest/gtest.h>

#include "StoreFixtures.h"
#include "folder/ReadOnlyFileSystem.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/StoreError.h"

using namespace quil::folder;
using namespace quil::store;
using namespace quil::testing;

TEST(ReadOnlyFileSystem, RefusesEveryChangeInsideTheFolderOnly) {
    TempDir data, elsewhere;
    writeRecords(data.file("Quil.qud"), std::vector<DataRecord>{makeRecord(1, 0, 0)});
    const auto before = readBytes(data.file("Quil.qud"));
    ReadOnlyFileSystem fs(data.dir(), FileSystem::local());

    EXPECT_EQ(RecordStore(data.dir(), fs).count(), 1);
    try {
        RecordStore(data.dir(), fs).save(makeRecord(2, 0, 0), std::nullopt);
        ADD_FAILURE() << "the save went through";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.file(), "Quil.qud");
        EXPECT_EQ(e.reason(), ReadOnlyFileSystem::kReason);
    }
    EXPECT_THROW(RecordStore(data.dir(), fs).markDeleted(0), StoreError);
    EXPECT_THROW(fs.remove(data.file("Quil.qud")), StoreError);
    EXPECT_THROW(fs.rename(elsewhere.file("x"), data.file("Quil.qud")), StoreError);
    EXPECT_EQ(readBytes(data.file("Quil.qud")), before);

    ItemStore(elsewhere.dir(), fs).append(ItemRecord());
    EXPECT_TRUE(readBytes(elsewhere.file("Quil.qui"))) << "other folders stay writable";
}
