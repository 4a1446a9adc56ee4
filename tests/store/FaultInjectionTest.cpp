// Every changing operation, failed at each of its writes, syncs, renames, removes and
// opens in turn, leaves the data set exactly as before (and says so) or exactly as after.

#include <gtest/gtest.h>

#include <functional>

#include "StoreFixtures.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

struct Scenario {
    const char* name;
    std::function<void(const TempDir&)> setup;
    std::function<void(const std::string& dir)> op;
};

struct DataSet {
    std::optional<std::string> qui, qud;
    friend bool operator==(const DataSet&, const DataSet&) = default;
};

DataSet snapshot(const TempDir& t) {
    return {readBytes(t.file("Quil.qui")), readBytes(t.file("Quil.qud"))};
}

std::vector<DataRecord> threeRecords() {
    return {makeRecord(100, 0, 1), makeRecord(102, 0, 1), makeRecord(104, 0, 1)};
}

std::vector<ItemRecord> twoItems() {
    ItemRecord a, b;
    a.setKind(ItemKind::Vehicle);
    a.setName("A");
    b.setKind(ItemKind::User);
    b.setName("B");
    return {a, b};
}

void withRecords(const TempDir& t) { writeRecords(t.file("Quil.qud"), threeRecords()); }
void withItems(const TempDir& t) { writeRecords(t.file("Quil.qui"), twoItems()); }

std::string oldFormat(int records) {
    std::string s;
    for (int i = 0; i < records; ++i) {
        auto r = makeRecord(100 + i, 0, 0);
        r.setVersion(100);
        s += bytesOf<DataRecord>({r}).substr(0, 192);
    }
    return s;
}

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> all = {
        {"first record", [](const TempDir&) {},
         [](const std::string& d) { RecordStore(d).save(makeRecord(1, 0, 0), std::nullopt); }},
        {"append", withRecords,
         [](const std::string& d) { RecordStore(d).save(makeRecord(200, 0, 0), std::nullopt); }},
        {"insert", withRecords,
         [](const std::string& d) { RecordStore(d).save(makeRecord(101, 0, 0), std::nullopt); }},
        {"edit in place", withRecords,
         [](const std::string& d) { RecordStore(d).save(makeRecord(103, 0, 1, 5), 1); }},
        {"edit that moves", withRecords,
         [](const std::string& d) { RecordStore(d).save(makeRecord(99, 0, 1, 5), 1); }},
        {"delete record", withRecords, [](const std::string& d) { RecordStore(d).markDeleted(2); }},
        {"append item", withItems,
         [](const std::string& d) { ItemStore(d).append(twoItems()[0]); }},
        {"first item", [](const TempDir&) {},
         [](const std::string& d) { ItemStore(d).append(twoItems()[1]); }},
        {"rename item", withItems, [](const std::string& d) { ItemStore(d).rename(1, "新"); }},
        {"rewrite item", withItems,
         [](const std::string& d) { ItemStore(d).rewrite(0, twoItems()[1]); }},
        {"delete item", withItems, [](const std::string& d) { ItemStore(d).markDeleted(0); }},
        {"convert records", [](const TempDir& t) { writeBytes(t.file("Quil.qud"), oldFormat(3)); },
         [](const std::string& d) { convertRecordFile(d); }},
        {"convert items",
         [](const TempDir& t) {
             auto items = twoItems();
             for (auto& i : items) i.setVersion(99);
             writeRecords(t.file("Quil.qui"), items);
         },
         [](const std::string& d) { convertItemFile(d); }},
    };
    return all;
}

class FaultInjection : public ::testing::TestWithParam<std::size_t> {
protected:
    void TearDown() override { FileSystem::setCurrent(nullptr); }
};

TEST_P(FaultInjection, EachFailureLeavesTheDataSetAsBeforeOrAsAfter) {
    const Scenario& s = scenarios()[GetParam()];
    SCOPED_TRACE(s.name);

    TempDir ref;
    s.setup(ref);
    const DataSet before = snapshot(ref);
    s.op(ref.dir());
    const DataSet after = snapshot(ref);
    ASSERT_NE(before, after) << "the operation should change something";

    using Op = FaultyFileSystem::Op;
    for (Op op : {Op::Write, Op::Sync, Op::Rename, Op::Remove, Op::Open}) {
        for (int k = 1;; ++k) {
            ASSERT_LT(k, 100) << "the operation never completes";
            TempDir t;
            s.setup(t);
            FaultyFileSystem faulty(op, k);
            FileSystem::setCurrent(&faulty);
            bool threw = false;
            try {
                s.op(t.dir());
            } catch (const StoreError&) {
                threw = true;
            }
            FileSystem::setCurrent(nullptr);
            const DataSet got = snapshot(t);
            if (!faulty.fired()) {
                EXPECT_FALSE(threw);
                EXPECT_EQ(got, after) << "op " << static_cast<int>(op);
                break;
            }
            EXPECT_TRUE(threw) << "a failure must be reported, op " << static_cast<int>(op)
                               << " call " << k;
            EXPECT_TRUE(got == before || got == after)
                << "op " << static_cast<int>(op) << " call " << k << " left a half-done change";
            if (op != Op::Remove) {
                EXPECT_FALSE(readBytes(t.file("tmp.$$$"))) << k;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Store, FaultInjection,
                         ::testing::Range<std::size_t>(0, scenarios().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& p) {
                             std::string n = scenarios()[p.param].name;
                             for (char& c : n)
                                 if (c == ' ') c = '_';
                             return n;
                         });

}  // namespace
