// The entry dialog's work without its widgets: the caption, the record behind a list row,
// the pick lists and what a choice in them refers to, the "still the record I loaded"
// check and the save.

#include <gtest/gtest.h>

#include "StoreFixtures.h"
#include "store/ItemStore.h"
#include "store/RecordEntry.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class RecordEdit : public ::testing::Test {
protected:
    RecordEdit() {
        // Positions: 0 vehicle, 1 user, 2 purpose, 3 shop, 4 maintenance item, 5 deleted
        // vehicle, 6 gas station, 7 a maintenance item named "その他".
        writeRecords(
            dir.file("Quil.qui"),
            std::vector<ItemRecord>{
                makeItem(ItemKind::Vehicle, "軽トラ"), makeItem(ItemKind::User, "山田"),
                makeItem(ItemKind::Purpose, "営業"), makeItem(ItemKind::Shop, "A商会"),
                makeItem(ItemKind::MaintenanceItem, "オイル"),
                makeItem(ItemKind::Vehicle, "旧車", true), makeItem(ItemKind::GasStation, "B石油"),
                makeItem(ItemKind::MaintenanceItem, "その他")});
        a = makeRecord(encodeDate(2024, 4, 1), 0, 1, 100, 2);
        a.setItem(7);
        a.setPlace(-1);
        b = makeRecord(encodeDate(2024, 4, 2), 5, 1, 200, 2);
        b.setItem(4);
        b.setPlace(3);
        writeRecords(dir.file("Quil.qud"), std::vector<DataRecord>{a, b});
        // The list shows b in row 1 and a in row 2.
        writeRowIndex(dir.file("Data.idx"), {1, 0});
    }

    TempDir dir;
    DataRecord a, b;
};

TEST(EntryCaptionTest, KindAndModeComeFromTheWholeKindName) {
    EXPECT_EQ(parseEntryCaption("走行記録－追加").kind, RecordKind::Driving);
    EXPECT_TRUE(parseEntryCaption("走行記録－追加").add);
    EXPECT_EQ(parseEntryCaption("給油記録－修正").kind, RecordKind::Refuelling);
    EXPECT_FALSE(parseEntryCaption("給油記録－修正").add);
    EXPECT_EQ(parseEntryCaption("点検・整備記録－追加").kind, RecordKind::Maintenance);
    EXPECT_EQ(parseEntryCaption("出費記録－修正").kind, RecordKind::Expense);
    // A caption that names no kind (or only shares its first character) is a driving one.
    EXPECT_EQ(parseEntryCaption("").kind, RecordKind::Driving);
    EXPECT_EQ(parseEntryCaption("出庫－追加").kind, RecordKind::Driving);
    EXPECT_EQ(thirdListKind(RecordKind::Refuelling), ItemKind::GasStation);
    EXPECT_EQ(recordKindOf(3), RecordKind::Expense);
    EXPECT_FALSE(recordKindOf(4));
    EXPECT_FALSE(recordKindOf(-1));
}

TEST_F(RecordEdit, LoadsTheRecordBehindAListRowThroughTheRowIndex) {
    RecordEntry entry(RecordKind::Maintenance);
    EXPECT_FALSE(entry.stillLoaded(dir.dir())) << "nothing loaded yet";
    EXPECT_EQ(entry.load(dir.dir(), dir.dir(), 1), b);
    EXPECT_EQ(entry.position(), 1);
    EXPECT_TRUE(entry.stillLoaded(dir.dir()));
    EXPECT_EQ(entry.load(dir.dir(), dir.dir(), 2), a);
    EXPECT_EQ(entry.position(), 0);

    // A row the index does not have, or a missing index: a StoreError, nothing loaded.
    EXPECT_THROW(entry.load(dir.dir(), dir.dir(), 3), StoreError);
    EXPECT_FALSE(entry.loaded());
    EXPECT_FALSE(entry.position());
}

TEST_F(RecordEdit, PickListsOfferLiveItemsOfTheKindAndKnowTheRecordsOwn) {
    RecordEntry adding(RecordKind::Maintenance);
    const EntryPickLists fresh = adding.pickLists(dir.dir());
    EXPECT_EQ(fresh.vehicles.names, (std::vector<std::string>{"軽トラ"}));
    EXPECT_EQ(fresh.thirds.positions, (std::vector<int>{4, 7}));
    EXPECT_TRUE(fresh.thirds.offersOther);
    EXPECT_TRUE(fresh.shops.offersOther);
    EXPECT_FALSE(fresh.vehicles.own);
    EXPECT_EQ(RecordEntry(RecordKind::Refuelling).pickLists(dir.dir()).thirds.names,
              (std::vector<std::string>{"B石油"}));
    EXPECT_FALSE(RecordEntry(RecordKind::Refuelling).pickLists(dir.dir()).shops.offersOther);

    RecordEntry edit(RecordKind::Maintenance);
    edit.load(dir.dir(), dir.dir(), 1);  // b: deleted vehicle 5, item 4, shop 3
    const EntryPickLists lists = edit.pickLists(dir.dir());
    // The deleted vehicle has no entry: nothing is selected, its name stays as the text,
    // and that text keeps the record's reference.
    EXPECT_EQ(lists.vehicles.ownEntry(), -1);
    EXPECT_EQ(lists.vehicles.own->name, "旧車");
    EXPECT_EQ(lists.vehicles.requiredReference(-1, "旧車"), 5);
    EXPECT_EQ(lists.vehicles.requiredReference(-1, "新車"), std::nullopt);
    EXPECT_EQ(lists.vehicles.requiredReference(0, "軽トラ"), 0);
    EXPECT_EQ(lists.thirds.ownEntry(), 0);
    EXPECT_EQ(lists.shops.ownEntry(), 0);

    edit.load(dir.dir(), dir.dir(), 2);  // a: item 7 named "その他", no shop
    const EntryPickLists own = edit.pickLists(dir.dir());
    EXPECT_EQ(own.thirds.ownEntry(), 1) << "found by position, not by the name その他";
    EXPECT_EQ(own.shops.ownEntry(), 1) << "−1 selects the trailing その他";
    // The trailing "その他", an empty text and the text "その他" all refer to no item.
    EXPECT_EQ(own.shops.optionalReference(1, "その他"), -1);
    EXPECT_EQ(own.shops.optionalReference(-1, ""), -1);
    EXPECT_EQ(fresh.thirds.optionalReference(-1, "その他"), -1);
    EXPECT_EQ(fresh.thirds.optionalReference(-1, "タイヤ"), std::nullopt);
    EXPECT_EQ(fresh.thirds.optionalReference(1, "その他"), 7);

    // Without an item file every list is empty and offers nothing.
    TempDir empty;
    const EntryPickLists none = adding.pickLists(empty.dir());
    EXPECT_TRUE(none.vehicles.names.empty());
    EXPECT_FALSE(none.thirds.offersOther);
}

TEST_F(RecordEdit, SavesInPlaceOnlyWhileTheLoadedRecordIsStillThere) {
    RecordEntry edit(RecordKind::Maintenance);
    edit.load(dir.dir(), dir.dir(), 1);
    EntryInput in;
    in.kind = RecordKind::Driving;  // the entry's own kind wins
    in.stamp = 40000.5;
    in.day = encodeDate(2024, 4, 2);
    in.vehicle = 5, in.user = 1, in.third = 4, in.shop = 3;
    in.value1 = "10.0", in.value2 = "300", in.value3 = "30";
    const DataRecord changed = std::get<DataRecord>(edit.build(in));
    EXPECT_EQ(changed.kind(), 2);
    edit.save(dir.dir(), changed);
    const auto stored = readRecords(dir.file("Quil.qud"));
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0], a);
    EXPECT_EQ(stored[1].price(), 300);

    // The record file changed under the entry (a delete): the check says so.
    EXPECT_FALSE(edit.stillLoaded(dir.dir()));
    RecordEntry again(RecordKind::Maintenance);
    again.load(dir.dir(), dir.dir(), 1);
    RecordStore(dir.dir()).markDeleted(1);
    EXPECT_FALSE(again.stillLoaded(dir.dir()));
    writeRecords(dir.file("Quil.qud"), std::vector<DataRecord>{a});
    EXPECT_FALSE(again.stillLoaded(dir.dir())) << "position beyond the file";

    // A new record goes in date order.
    RecordEntry adding(RecordKind::Maintenance);
    in.day = encodeDate(2024, 3, 1);
    adding.save(dir.dir(), std::get<DataRecord>(adding.build(in)));
    const auto after = readRecords(dir.file("Quil.qud"));
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].date(), encodeDate(2024, 3, 1));
    EXPECT_EQ(after[1], a);
}

}  // namespace
