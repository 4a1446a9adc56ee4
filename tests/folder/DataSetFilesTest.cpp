// Backup, restore and moving of the data set: what lands where, what is refused, and
// that a failure at any write, sync, rename, remove or open loses nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "StoreFixtures.h"
#include "folder/DataSetFiles.h"
#include "store/StoreError.h"

using namespace quil::folder;
using namespace quil::store;
using namespace quil::testing;

namespace {

constexpr double kStamp = 40000.5;  // the stamp makeRecord gives

ItemRecord item(const char* name, double stamp = kStamp, std::int16_t version = 101) {
    ItemRecord r;
    r.setStamp(stamp);
    r.setVersion(version);
    r.setKind(ItemKind::Vehicle);
    r.setName(name);
    return r;
}

// A data set of `records` records whose item file names its one vehicle `name`.
void writeDataSet(const TempDir& t, const char* name, int records, double stamp = kStamp) {
    writeRecords(t.file("Quil.qui"), std::vector<ItemRecord>{item(name, stamp)});
    std::vector<DataRecord> rs;
    for (int i = 0; i < records; ++i) {
        auto r = makeRecord(100 + i, 0, 0, i);
        r.setStamp(stamp);
        rs.push_back(r);
    }
    writeRecords(t.file("Quil.qud"), rs);
}

using Files = std::map<std::string, std::optional<std::string>>;

// The bytes of every file of a folder (staging folders included, as "dir/name").
Files snapshot(const TempDir& t) {
    Files out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(t.dir()))
        if (e.is_regular_file())
            out[std::filesystem::relative(e.path(), t.dir()).string()] =
                readBytes(e.path().string());
    return out;
}

TEST(DataSetBackup, CopiesBothFilesOverAnOlderBackupAndRefusesTheDataFolderItself) {
    TempDir data, dest;
    writeDataSet(data, "新", 3);
    writeDataSet(dest, "古", 5);
    ASSERT_TRUE(backupDataSet(data.dir(), dest.dir()).done());
    EXPECT_EQ(readBytes(dest.file("Quil.qui")), readBytes(data.file("Quil.qui")));
    EXPECT_EQ(readBytes(dest.file("Quil.qud")), readBytes(data.file("Quil.qud")));
    EXPECT_EQ(snapshot(dest).size(), 2u) << "no temporary file stays behind";

    const Files before = snapshot(data);
    auto same = backupDataSet(
        data.dir(), data.dir() + "../" +
                        std::filesystem::path(data.dir()).parent_path().filename().string() + "//");
    EXPECT_EQ(same.status, DataSetStatus::SameFolder);
    EXPECT_FALSE(same.message.empty());
    EXPECT_EQ(snapshot(data), before);
}

TEST(DataSetBackup, OfAFolderWithOnlyTheItemFileCopiesOnlyThatFile) {
    TempDir data, dest;
    writeRecords(data.file("Quil.qui"), std::vector<ItemRecord>{item("A")});
    ASSERT_TRUE(backupDataSet(data.dir(), dest.dir()).done());
    EXPECT_TRUE(readBytes(dest.file("Quil.qui")));
    EXPECT_FALSE(readBytes(dest.file("Quil.qud")));
}

TEST(DataSetMove, CopiesThenLeavesOnlyTheItemFileBehind) {
    TempDir data, dest;
    writeDataSet(data, "A", 4);
    writeBytes(data.file("QuilExt.db"), "ext");
    const Files before = snapshot(data);
    ASSERT_TRUE(moveDataSet(data.dir(), dest.dir()).done());
    EXPECT_EQ(readBytes(dest.file("Quil.qud")), before.at("Quil.qud"));
    EXPECT_EQ(readBytes(dest.file("Quil.qui")), before.at("Quil.qui"));
    EXPECT_EQ(readBytes(dest.file("QuilExt.db")), std::string("ext"));
    EXPECT_TRUE(readBytes(data.file("Quil.qui")));
    EXPECT_FALSE(readBytes(data.file("Quil.qud")));
    EXPECT_FALSE(readBytes(data.file("QuilExt.db")));
}

TEST(DataSetMove, ToTheSameFolderThroughASymlinkChangesNothing) {
    TempDir data, links;
    writeDataSet(data, "A", 2);
    const std::string link = links.file("alias");
    std::filesystem::create_directory_symlink(data.dir(), link);
    const Files before = snapshot(data);
    for (std::string path :
         {data.dir(), data.dir().substr(0, data.dir().size() - 1), link + "/", data.dir() + "./"}) {
        auto r = moveDataSet(data.dir(), path);
        EXPECT_EQ(r.status, DataSetStatus::SameFolder) << path;
        EXPECT_EQ(snapshot(data), before) << path;
    }
}

TEST(DataSetRestore, ReplacesTheDataSetAndReturnsTheNewStamp) {
    TempDir data, source;
    writeDataSet(data, "現在", 2, 111.25);
    writeBytes(data.file("QuilExt.db"), "mine");
    writeDataSet(source, "復元", 6, 222.5);
    auto r = restoreDataSet(data.dir(), source.dir());
    ASSERT_TRUE(r.done()) << r.message;
    EXPECT_EQ(r.stamp, 222.5);
    EXPECT_EQ(readBytes(data.file("Quil.qui")), readBytes(source.file("Quil.qui")));
    EXPECT_EQ(readBytes(data.file("Quil.qud")), readBytes(source.file("Quil.qud")));
    EXPECT_EQ(readBytes(data.file("QuilExt.db")), std::string("mine"))
        << "a source without extension data keeps the current one";
    EXPECT_EQ(snapshot(data).size(), 3u) << "the staging folder is gone";
}

TEST(DataSetRestore, RefusesMissingBrokenOrMismatchedSourcesWithoutTouchingTheDataSet) {
    TempDir data;
    writeDataSet(data, "現在", 2);
    const Files before = snapshot(data);
    struct Case {
        const char* name;
        std::function<void(const TempDir&)> make;
        DataSetStatus status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"empty folder", [](const TempDir&) {}, DataSetStatus::NoSourceData,
         "読み込みデータがありません！"},
        {"item file only",
         [](const TempDir& t) { writeRecords(t.file("Quil.qui"), std::vector{item("A")}); },
         DataSetStatus::NoSourceData, "読み込みデータがありません！"},
        {"other stamps",
         [](const TempDir& t) {
             writeDataSet(t, "A", 1);
             writeRecords(t.file("Quil.qui"), std::vector{item("A", 5.0)});
         },
         DataSetStatus::BrokenSource, "Quil.quiとQuil.qudの組み合わせに不具合があります。"},
        {"bad record signature",
         [](const TempDir& t) {
             writeDataSet(t, "A", 1);
             writeBytes(t.file("Quil.qud"), std::string(256, 'x'));
         },
         DataSetStatus::BrokenSource, "Quil.qudファイルが壊れています。"},
        {"newer item file",
         [](const TempDir& t) {
             writeDataSet(t, "A", 1);
             writeRecords(t.file("Quil.qui"), std::vector{item("A", kStamp, 102)});
         },
         DataSetStatus::BrokenSource, "新バージョンのファイル型式はサポートしていません。"},
    };
    for (const Case& c : cases) {
        TempDir source;
        c.make(source);
        auto r = restoreDataSet(data.dir(), source.dir());
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.message, c.message) << c.name;
        EXPECT_EQ(snapshot(data), before) << c.name;
    }
}

TEST(DataSetRestore, ConvertsASourceOfTheOlderFormatAtOnce) {
    TempDir data, source;
    writeDataSet(data, "現在", 1);
    auto old = makeRecord(100.75, 0, 0);
    old.setVersion(100);
    writeBytes(source.file("Quil.qud"), bytesOf<DataRecord>({old}).substr(0, 192));
    writeRecords(source.file("Quil.qui"), std::vector{item("旧", kStamp, 100)});
    ASSERT_TRUE(restoreDataSet(data.dir(), source.dir()).done());
    auto records = readRecords(data.file("Quil.qud"));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].version(), 101);
    EXPECT_EQ(records[0].date(), 100.0);
    EXPECT_EQ(readBytes(data.file("Quil.qui"))->at(12), 101);
    EXPECT_EQ(readBytes(source.file("Quil.qud"))->size(), 192u) << "the source stays as it was";
}

// Every command, failed at each call of each kind in turn: the data folder before the
// command survives byte for byte, and every destination file is its old or its new self.
struct Scenario {
    const char* name;
    std::function<DataSetResult(const std::string& data, const std::string& other, FileSystem& fs)>
        op;
};

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> all = {
        {"backup", [](auto& d, auto& o, auto& fs) { return backupDataSet(d, o, fs); }},
        {"move", [](auto& d, auto& o, auto& fs) { return moveDataSet(d, o, {}, fs); }},
        {"restore", [](auto& d, auto& o, auto& fs) { return restoreDataSet(d, o, fs); }},
    };
    return all;
}

class DataSetFaults : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DataSetFaults, NoFailureLosesOrHalfWritesAFile) {
    const Scenario& s = scenarios()[GetParam()];
    auto setup = [](TempDir& data, TempDir& other) {
        writeDataSet(data, "データ", 40, 111.0);
        writeBytes(data.file("QuilExt.db"), "ext-data");
        writeDataSet(other, "ほか", 7, 222.0);
    };
    TempDir refData, refOther;
    setup(refData, refOther);
    const Files dataBefore = snapshot(refData), otherBefore = snapshot(refOther);
    ASSERT_TRUE(s.op(refData.dir(), refOther.dir(), FileSystem::local()).done());
    const Files dataAfter = snapshot(refData), otherAfter = snapshot(refOther);

    using Op = FaultyFileSystem::Op;
    for (Op op : {Op::Write, Op::Sync, Op::Rename, Op::Remove, Op::Open}) {
        for (int k = 1;; ++k) {
            ASSERT_LT(k, 100);
            SCOPED_TRACE(::testing::Message() << s.name << " op " << int(op) << " call " << k);
            TempDir data, other;
            setup(data, other);
            FaultyFileSystem faulty(op, k);
            bool threw = false;
            try {
                EXPECT_TRUE(s.op(data.dir(), other.dir(), faulty).done());
            } catch (const StoreError& e) {
                threw = true;
                EXPECT_FALSE(e.file().empty());
            }
            const Files gotData = snapshot(data), gotOther = snapshot(other);
            if (!faulty.fired()) {
                EXPECT_FALSE(threw);
                EXPECT_EQ(gotData, dataAfter);
                EXPECT_EQ(gotOther, otherAfter);
                break;
            }
            if (!threw) {
                // Only a move may finish despite a failure: deleting the old record file
                // after the copies were verified. The new folder then holds everything.
                EXPECT_EQ(op, Op::Remove);
                EXPECT_EQ(gotOther, otherAfter);
                for (const auto& [name, bytes] : gotData) EXPECT_EQ(bytes, dataBefore.at(name));
                continue;
            }
            EXPECT_EQ(gotData, dataBefore) << "the data folder must be as before";
            // Each destination file is either the older one or the complete new one, and
            // nothing else (no temporary file) is left there.
            Files names = otherBefore;
            names.insert(otherAfter.begin(), otherAfter.end());
            for (const auto& [name, unused] : gotOther) EXPECT_TRUE(names.count(name)) << name;
            auto at = [](const Files& f, const std::string& n) {
                auto it = f.find(n);
                return it == f.end() ? std::optional<std::string>() : it->second;
            };
            for (const auto& [name, unused] : names) {
                const auto got = at(gotOther, name);
                EXPECT_TRUE(got == at(otherBefore, name) || got == at(otherAfter, name)) << name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Folder, DataSetFaults,
                         ::testing::Range<std::size_t>(0, scenarios().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& p) {
                             return std::string(scenarios()[p.param].name);
                         });

}  // namespace
