// The two kinds of data set behind one interface: the same calls give the same answers from
// a data folder and from a server data set, and each refuses a change of a record that
// someone else changed in between.

#include <gtest/gtest.h>

#include <algorithm>

#include "PgTestCluster.h"
#include "RecordBuilders.h"
#include "SampleDataSet.h"
#include "TempDir.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/ServerStore.h"
#include "server/ServerTransfer.h"
#include "store/DataSetChange.h"
#include "store/DataStore.h"
#include "store/Date.h"

using namespace quil;
using quil::testing::makeRecord;

namespace {

// A data set holding the sample items and no record, and a way to open it again (another
// program working on the same data set).
class FolderSet {
public:
    FolderSet() { quil::testing::writeSampleItems(dir_.dir()); }
    std::unique_ptr<store::DataStore> open() { return store::openFolderStore(dir_.dir()); }

private:
    quil::testing::TempDir dir_;
};

class ServerSet {
public:
    ServerSet() {
        quil::testing::writeSampleItems(items_.dir());
        server::PgConnection c(db_.conninfo());
        server::initializeSchema(c);
        server::pushFolder(c, items_.dir());
    }
    std::unique_ptr<store::DataStore> open() { return server::openServerStore(db_.conninfo()); }

private:
    quil::test::ScratchDatabase db_;
    quil::testing::TempDir items_;
};

template <typename Set>
class DataStoreContract : public ::testing::Test {
protected:
    Set set;
    std::unique_ptr<store::DataStore> store = set.open();
    std::vector<int> prices(bool withDeleted = false) {
        std::vector<int> out;
        store->scanRecords([&](const store::StoredRecord& r) { out.push_back(r.record.price()); },
                           withDeleted);
        return out;
    }
    store::StoredRecord withPrice(int price) {
        store::StoredRecord found;
        store->scanRecords([&](const store::StoredRecord& r) {
            if (r.record.price() == price) found = r;
        });
        return found;
    }
};

using Sets = ::testing::Types<FolderSet, ServerSet>;
TYPED_TEST_SUITE(DataStoreContract, Sets);

}  // namespace

TYPED_TEST(DataStoreContract, RecordsKeepTheListsOrderThroughAddsEditsAndDeletes) {
    auto& s = *this->store;
    const double d1 = store::encodeDate(2024, 5, 1);
    const double d2 = store::encodeDate(2024, 5, 2);
    s.addRecord(makeRecord(d2, 0, 1, 1), store::newSaveKey());
    s.addRecord(makeRecord(d1, 7, 1, 2), store::newSaveKey());
    s.addRecord(makeRecord(d1, 0, 8, 3), store::newSaveKey());
    s.addRecord(makeRecord(d1, 0, 1, 4), store::newSaveKey());
    s.addRecord(makeRecord(d2, 0, 1, 5), store::newSaveKey());
    EXPECT_EQ(this->prices(), (std::vector<int>{4, 3, 2, 1, 5}));
    // Moved to a later day: it follows every record before it. (Among records of the same
    // day, vehicle and user a moved record may stand differently in the two.)
    const double d3 = store::encodeDate(2024, 5, 3);
    s.editRecord(this->withPrice(2), makeRecord(d3, 0, 1, 2), store::newSaveKey());
    EXPECT_EQ(this->prices(), (std::vector<int>{4, 3, 1, 5, 2}));
    // Moved to an earlier day: before the others.
    s.editRecord(this->withPrice(2), makeRecord(d1 - 1, 9, 9, 2), store::newSaveKey());
    EXPECT_EQ(this->prices(), (std::vector<int>{2, 4, 3, 1, 5}));
    // Kept in place when the date, vehicle and user stay.
    s.editRecord(this->withPrice(1), makeRecord(d2, 0, 1, 9), store::newSaveKey());
    EXPECT_EQ(this->prices(), (std::vector<int>{2, 4, 3, 9, 5}));
    s.deleteRecord(this->withPrice(5), store::newSaveKey());
    EXPECT_EQ(this->prices(), (std::vector<int>{2, 4, 3, 9}));
    EXPECT_EQ(s.recordCount(), 4);
    EXPECT_GE(s.recordCount(true), 5);
    const store::StoredRecord nine = this->withPrice(9);
    EXPECT_EQ(s.readRecord(nine.id).record, nine.record);
    // The rows being painted, by id; an id that names no record is left out.
    const store::StoredRecord two = this->withPrice(2);
    auto some = s.readRecords({two.id, nine.id, 999999});
    ASSERT_EQ(some.size(), 2u);
    std::sort(some.begin(), some.end(),
              [](const auto& a, const auto& b) { return a.record.price() < b.record.price(); });
    EXPECT_EQ(some[0].record, two.record);
    EXPECT_EQ(some[1].id, nine.id);
    EXPECT_THROW(s.readRecord(999999), store::RecordChangedError);
}

TYPED_TEST(DataStoreContract, AChangeOfARecordSomeoneElseChangedIsRefused) {
    auto other = this->set.open();
    this->store->addRecord(makeRecord(45000, 0, 1, 1), store::newSaveKey());
    this->store->addRecord(makeRecord(45001, 0, 1, 2), store::newSaveKey());
    const store::StoredRecord mine = this->withPrice(1);
    // The other program edits it first.
    store::StoredRecord theirs;
    other->scanRecords([&](const store::StoredRecord& r) {
        if (r.record.price() == 1) theirs = r;
    });
    other->editRecord(theirs, makeRecord(45000, 0, 1, 10), store::newSaveKey());
    EXPECT_THROW(this->store->editRecord(mine, makeRecord(45000, 0, 1, 20), store::newSaveKey()),
                 store::RecordChangedError);
    EXPECT_THROW(this->store->deleteRecord(mine, store::newSaveKey()), store::RecordChangedError);
    EXPECT_EQ(this->prices(), (std::vector<int>{10, 2}));
    // Read again, the change goes through.
    this->store->editRecord(this->withPrice(10), makeRecord(45000, 0, 1, 20), store::newSaveKey());
    EXPECT_EQ(this->prices(), (std::vector<int>{20, 2}));
}

// Whoever shows the data set hears each stored write from the store itself, in the same
// terms from either kind, and nothing of a write that was refused.
TYPED_TEST(DataStoreContract, EachStoredWriteIsAnnouncedByTheStoreAndARefusedOneIsNot) {
    auto& s = *this->store;
    std::vector<store::DataSetChange> heard;
    s.setChangeListener([&](const store::DataSetChange& c) { heard.push_back(c); });
    // The record's id as a change names it: a folder's position, a server's row id.
    const auto idOf = [](const store::DataSetChange& c) {
        return c.serverId ? *c.serverId : c.place.position;
    };
    const auto deleted = [](const store::DataSetChange& c) {
        return c.what == store::DataSetChange::What::RecordDeleted || c.serverDeleted;
    };

    const store::StoredRecord added = s.addRecord(makeRecord(45000, 0, 1, 1), store::newSaveKey());
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(idOf(heard[0]), added.id);
    EXPECT_EQ(heard[0].record, added.record);
    EXPECT_FALSE(heard[0].previous);
    EXPECT_FALSE(deleted(heard[0]));
    EXPECT_EQ(heard[0].source, store::ChangeSource::ThisProgram);

    const store::StoredRecord edited =
        s.editRecord(added, makeRecord(45000, 0, 1, 2), store::newSaveKey());
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(idOf(heard[1]), edited.id);
    EXPECT_EQ(heard[1].record.price(), 2);
    ASSERT_TRUE(heard[1].previous);
    EXPECT_EQ(heard[1].previous->price(), 1);

    // Based on the record as first read: refused, and nothing heard.
    EXPECT_THROW(s.editRecord(added, makeRecord(45000, 0, 1, 3), store::newSaveKey()),
                 store::RecordChangedError);
    EXPECT_THROW(s.deleteRecord(added, store::newSaveKey()), store::RecordChangedError);
    EXPECT_EQ(heard.size(), 2u);

    s.deleteRecord(s.readRecord(edited.id), store::newSaveKey());
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_TRUE(deleted(heard[2]));
    EXPECT_EQ(idOf(heard[2]), edited.id);
    EXPECT_EQ(heard[2].record.price(), 2);

    const store::StoredItem car =
        s.addItem(quil::testing::makeItem(store::ItemKind::Vehicle, "新車"), store::newSaveKey());
    store::ItemRecord renamed = car.item;
    renamed.setName("新車２");
    s.rewriteItem(car, renamed, store::newSaveKey());
    EXPECT_THROW(s.rewriteItem(car, car.item, store::newSaveKey()), store::RecordChangedError);
    ASSERT_EQ(heard.size(), 5u);
    for (std::size_t i : {3u, 4u}) {
        EXPECT_EQ(heard[i].what, store::DataSetChange::What::ItemsChanged);
        EXPECT_EQ(heard[i].itemKind, store::ItemKind::Vehicle);
    }
}

TYPED_TEST(DataStoreContract, ItemsAndTheReferencesToThem) {
    auto& s = *this->store;
    const auto before = s.items();
    ASSERT_EQ(before.size(), 14u);
    EXPECT_EQ(before[7].item.name(), "軽トラ");
    EXPECT_TRUE(before[13].item.deleted());
    store::ItemRecord car;
    car.setKind(store::ItemKind::Vehicle);
    car.setName("新車");
    const store::StoredItem added = s.addItem(car, store::newSaveKey());
    EXPECT_EQ(added.position, 14);
    store::ItemRecord renamed = added.item;
    renamed.setName("新車２");
    s.rewriteItem(added, renamed, store::newSaveKey());
    EXPECT_EQ(s.items().back().item.name(), "新車２");
    // The item as first read is out of date now.
    EXPECT_THROW(s.rewriteItem(added, car, store::newSaveKey()), store::RecordChangedError);

    store::DataRecord r = makeRecord(45000, 14, 8);
    r.setPlace(11);
    r.setItem(12);
    s.addRecord(r, store::newSaveKey());
    EXPECT_TRUE(s.refersTo(14, store::ItemKind::Vehicle));
    EXPECT_TRUE(s.refersTo(8, store::ItemKind::User));
    EXPECT_TRUE(s.refersTo(11, store::ItemKind::Shop));
    EXPECT_TRUE(s.refersTo(12, store::ItemKind::ExpenseItem));
    EXPECT_FALSE(s.refersTo(7, store::ItemKind::Vehicle));
    EXPECT_FALSE(s.refersTo(14, store::ItemKind::User));
    EXPECT_FALSE(s.refersTo(9, store::ItemKind::GasStation));
    EXPECT_TRUE(s.writable());
}

TYPED_TEST(DataStoreContract, AListTakesTheSameRecordsInTheSameOrder) {
    auto& s = *this->store;
    const double may1 = store::encodeDate(2024, 5, 1);
    int price = 0;
    // Days around the period, times of day, two vehicles and users, every kind, deleted.
    for (double day : {may1 - 1, may1, may1 + 0.75, may1 + 30, may1 + 31, may1 + 31.5})
        for (int vehicle : {0, 7})
            for (int user : {1, 8})
                for (int kind = 0; kind < 4; ++kind) {
                    store::DataRecord r = makeRecord(day, vehicle, user, ++price, kind);
                    const auto stored = s.addRecord(r, store::newSaveKey());
                    if (price % 13 == 0) s.deleteRecord(stored, store::newSaveKey());
                }
    const auto pricesOf = [&](const std::vector<std::int64_t>& ids) {
        std::vector<int> out;
        for (std::int64_t id : ids) out.push_back(s.readRecord(id).record.price());
        return out;
    };
    std::vector<char> vehicles(14, 0), users(14, 0);
    vehicles[7] = 1;
    users[1] = users[8] = 1;
    for (const store::ListTab tab : store::kListTabs) {
        SCOPED_TRACE(int(tab));
        const store::ListFilter filter(tab, store::PeriodFilter::within({may1, may1 + 30}),
                                       vehicles, users);
        std::vector<int> expected;
        s.scanRecords([&](const store::StoredRecord& r) {
            if (filter.takes(r.record)) expected.push_back(r.record.price());
        });
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(pricesOf(s.listIds(filter)), expected);
    }
    // Every day (the expense tab: every kind with a cost), and a filter taking no vehicle.
    const store::ListFilter all(store::ListTab::Expense, store::PeriodFilter(), vehicles, users);
    std::vector<int> everyDay;
    s.scanRecords([&](const store::StoredRecord& r) {
        if (all.takes(r.record)) everyDay.push_back(r.record.price());
    });
    EXPECT_EQ(everyDay.size(), 6u * 2u * 3u - 3u);  // 3 kinds of 6 days, 2 users; 3 deleted
    EXPECT_EQ(pricesOf(s.listIds(all)), everyDay);
    // The head of a list (what the first screen shows) is the start of the whole list.
    EXPECT_EQ(pricesOf(s.listIds(all, 5)),
              std::vector<int>(everyDay.begin(), everyDay.begin() + 5));
    EXPECT_EQ(pricesOf(s.listIds(all, 1000)), everyDay);
    const store::ListFilter none(store::ListTab::Driving, store::PeriodFilter(),
                                 std::vector<char>(14, 0), users);
    EXPECT_TRUE(s.listIds(none).empty());
}

TYPED_TEST(DataStoreContract, TheDaysOfAPeriodAreTheRecordsThatPassIt) {
    auto& s = *this->store;
    const double may1 = store::encodeDate(2024, 5, 1);
    int price = 0;
    // Around both ends of May, at the start and the end of a day, and deleted ones.
    for (double day : {may1 - 1 + 0.99, may1, may1 + 0.5, may1 + 30.99, may1 + 31})
        for (int kind : {0, 1}) {
            const auto stored =
                s.addRecord(makeRecord(day, 0, 1, ++price, kind), store::newSaveKey());
            if (price == 4) s.deleteRecord(stored, store::newSaveKey());
        }
    const store::PeriodFilter may = store::PeriodFilter::within({may1, may1 + 30});
    std::vector<int> expected, got;
    s.scanRecords([&](const store::StoredRecord& r) {
        if (may.passes(r.record.date())) expected.push_back(r.record.price());
    });
    s.scanDays(may1, may1 + 30,
               [&](const store::StoredRecord& r) { got.push_back(r.record.price()); });
    EXPECT_EQ(got, (std::vector<int>{3, 5, 6, 7, 8}));
    EXPECT_EQ(got, expected);
}

TYPED_TEST(DataStoreContract, AVehiclesNearestRecordsAroundAPlace) {
    auto& s = *this->store;
    const double may1 = store::encodeDate(2024, 5, 1);
    // Vehicle 0 on ten days (two users on day 5), vehicle 7 between them; one deleted.
    int price = 0;
    for (int day = 0; day < 10; ++day) {
        const auto stored = s.addRecord(makeRecord(may1 + day, 0, 1, ++price), store::newSaveKey());
        if (day == 2) s.deleteRecord(stored, store::newSaveKey());
        s.addRecord(makeRecord(may1 + day, 7, 1, 100 + day), store::newSaveKey());
        if (day == 5) s.addRecord(makeRecord(may1 + day, 0, 8, 50), store::newSaveKey());
    }
    const auto prices = [](const store::NearbyRecords& near) {
        std::vector<int> out;
        for (const auto& r : near.records) out.push_back(r.record.price());
        return out;
    };
    // At day 5, user 1: records of the same date and user stand before it.
    store::NearbyRecords near = s.vehicleRecordsAround(makeRecord(may1 + 5, 0, 1), 2);
    EXPECT_EQ(prices(near), (std::vector<int>{5, 6, 50, 7}));
    EXPECT_TRUE(near.moreBefore);
    EXPECT_TRUE(near.moreAfter);
    near = s.vehicleRecordsAround(makeRecord(may1 + 5, 0, 1), 100);
    EXPECT_EQ(prices(near), (std::vector<int>{1, 2, 4, 5, 6, 50, 7, 8, 9, 10}));
    EXPECT_FALSE(near.moreBefore);
    EXPECT_FALSE(near.moreAfter);
    // After the last: nothing after, and exactly `count` before says whether more are there.
    near = s.vehicleRecordsAround(makeRecord(may1 + 20, 0, 1), 9);
    EXPECT_EQ(prices(near), (std::vector<int>{2, 4, 5, 6, 50, 7, 8, 9, 10}));
    EXPECT_TRUE(near.moreBefore);
    EXPECT_FALSE(near.moreAfter);
    near = s.vehicleRecordsAround(makeRecord(may1 + 20, 0, 1), 10);
    EXPECT_FALSE(near.moreBefore);
    EXPECT_EQ(near.records.size(), 10u);
}
