#include "store/ItemStore.h"

#include <gtest/gtest.h>

#include "StoreFixtures.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

// An item the list has not ordered yet.
ItemRecord unordered(ItemKind kind, const std::string& name, bool deleted = false) {
    ItemRecord r = quil::testing::makeItem(kind, name, deleted);
    r.setOrder(999);
    return r;
}

}  // namespace

TEST(ItemStore, AppendCreatesTheFileAndReturnsPositions) {
    TempDir tmp;
    ItemStore store(tmp.dir());
    EXPECT_FALSE(store.exists());
    EXPECT_EQ(store.append(unordered(ItemKind::Vehicle, "軽トラ")), 0);
    EXPECT_EQ(store.append(unordered(ItemKind::User, "山田")), 1);
    auto bytes = readBytes(tmp.file("Quil.qui"));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, bytesOf<ItemRecord>({unordered(ItemKind::Vehicle, "軽トラ"),
                                           unordered(ItemKind::User, "山田")}));
}

TEST(ItemStore, ListsLiveItemsOfOneKindInPositionOrder) {
    TempDir tmp;
    writeRecords<ItemRecord>(
        tmp.file("Quil.qui"),
        {unordered(ItemKind::Vehicle, "A"), unordered(ItemKind::User, "U"),
         unordered(ItemKind::Vehicle, "B", true), unordered(ItemKind::Vehicle, "C")});
    ItemStore store(tmp.dir());
    EXPECT_EQ(store.listLive(ItemKind::Vehicle), (std::vector<ItemEntry>{{0, "A"}, {3, "C"}}));
    EXPECT_EQ(store.listLive(ItemKind::User), (std::vector<ItemEntry>{{1, "U"}}));
    EXPECT_TRUE(store.listLive(ItemKind::Shop).empty());
    EXPECT_TRUE(ItemStore(tmp.dir() + "missing/").listLive(ItemKind::Vehicle).empty());
}

TEST(ItemStore, NamesByPositionFallBackToOther) {
    TempDir tmp;
    ItemStore missing(tmp.dir());
    EXPECT_EQ(missing.nameAt(0), "その他");
    writeRecords<ItemRecord>(tmp.file("Quil.qui"), {unordered(ItemKind::Vehicle, "A", true),
                                                    unordered(ItemKind::Shop, "店B")});
    ItemStore store(tmp.dir());
    EXPECT_EQ(store.nameAt(-1), "その他");
    EXPECT_EQ(store.nameAt(0), "A");  // deleted items keep their names
    EXPECT_EQ(store.nameAt(1), "店B");
    EXPECT_EQ(store.nameAt(2), "その他");
    auto names = ItemNames::load(store);
    EXPECT_EQ(names.nameAt(1), "店B");
    EXPECT_EQ(names.nameAt(-1), "その他");
    EXPECT_EQ(names.nameAt(7), "その他");
}

TEST(ItemStore, RenameCutsTheNameAndKeepsEveryOtherByte) {
    TempDir tmp;
    auto item = unordered(ItemKind::Vehicle, "old");
    item.setReserved70(1234);
    item.setOdometer(55.5);
    item.setPlateRegion("品川");
    writeRecords<ItemRecord>(tmp.file("Quil.qui"), {unordered(ItemKind::User, "u"), item});
    ItemStore store(tmp.dir());
    store.rename(1, std::string(28, 'n') + "車両");  // 32 bytes: cut to 30
    auto got = store.read(1);
    EXPECT_EQ(got.name(), std::string(28, 'n') + "車");
    auto expected = item;
    expected.setName(std::string(28, 'n') + "車");
    EXPECT_EQ(got, expected);
    EXPECT_THROW(store.rename(2, "x"), StoreError);
}

TEST(ItemStore, RewriteAndDeleteWorkInPlace) {
    TempDir tmp;
    writeRecords<ItemRecord>(tmp.file("Quil.qui"), {unordered(ItemKind::Vehicle, "A"),
                                                    unordered(ItemKind::Vehicle, "B")});
    ItemStore store(tmp.dir());
    auto v = unordered(ItemKind::Vehicle, "A2");
    v.setFuel(1);
    store.rewrite(0, v);
    store.markDeleted(1);
    auto all = store.readAll();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], v);
    EXPECT_TRUE(all[1].deleted());
    EXPECT_EQ(all[1].name(), "B");
    EXPECT_THROW(store.rewrite(2, v), StoreError);
}
