// Backup, restore and moving of the data set: what lands where, what is refused, and
// that a failure at any write, sync, rename, remove or open loses nothing.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "CrashingFileSystem.h"
#include "FaultyFileSystem.h"
#include "StoreFixtures.h"
#include "folder/BackupDestination.h"
#include "folder/DataSetFiles.h"
#include "folder/FileCopy.h"
#include "store/StoreError.h"

using namespace quil::folder;
using namespace quil::store;
using namespace quil::testing;

namespace {

// The answer yes to the question before another data set is replaced.
const ReplaceConsent kReplace{.otherDataSet = true};

constexpr double kStamp = 40000.5;  // the stamp makeRecord gives

ItemRecord item(const char* name, double stamp = kStamp, std::int16_t version = 101) {
    ItemRecord r = makeItem(ItemKind::Vehicle, name, false, stamp);
    r.setVersion(version);
    return r;
}

// A sound data set of `records` records whose item file names its one vehicle `name`.
void writeDataSet(const TempDir& t, const char* name, int records, double stamp = kStamp) {
    ItemRecord user = item("使用者", stamp);
    user.setKind(ItemKind::User);
    writeRecords(t.file("Quil.qui"), std::vector<ItemRecord>{item(name, stamp), user});
    std::vector<DataRecord> rs;
    for (int i = 0; i < records; ++i) rs.push_back(entryRecord(1, 100 + i, 0, 1, stamp));
    writeRecords(t.file("Quil.qud"), rs);
}

using Files = std::map<std::string, std::optional<std::string>>;

// A set-aside file's name carries the time it was set aside: compared without it.
std::string withoutTime(const std::string& name) {
    for (const std::string base : {"QuilExt.db.", "Quil.qui.", "Quil.qud."})
        for (const std::string end : {".old", ".old-journal"})
            if (name.rfind(base, 0) == 0 && name.size() > end.size() &&
                name.substr(name.size() - end.size()) == end)
                return base + "(time)" + end;
    return name;
}

// The bytes of every file of a folder (staging folders included, as "dir/name"), but the
// list of the files a restore kept (or its copy a kill left): only the next restore reads it,
// and its loss only keeps those files longer.
Files snapshot(const TempDir& t) {
    Files out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(t.dir()))
        if (e.is_regular_file() && !e.path().filename().string().starts_with("Quil.kept"))
            out[withoutTime(std::filesystem::relative(e.path(), t.dir()).string())] =
                readBytes(e.path().string());
    return out;
}

// The files directly in a folder: what a start or the next command reads.
Files topFiles(const TempDir& t) {
    Files out;
    for (const auto& e : std::filesystem::directory_iterator(t.dir()))
        if (e.is_regular_file() && !e.path().filename().string().starts_with("Quil.kept"))
            out[withoutTime(e.path().filename().string())] = readBytes(e.path().string());
    return out;
}

// The data set a folder holds, without the files a restore kept beside it.
Files liveFiles(const TempDir& t) {
    Files out = topFiles(t);
    std::erase_if(out, [](const auto& f) { return f.first.ends_with(".old"); });
    return out;
}

TEST(DataSetBackup, CopiesBothFilesOverAnOlderBackupAndRefusesTheDataFolderItself) {
    TempDir data, dest;
    writeDataSet(data, "新", 3);
    writeDataSet(dest, "古", 1);
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

TEST(DataSetBackup, OntoACopyHoldingRecordsOrALastDateTheSourceLacksAsksFirst) {
    TempDir data, dest;
    writeDataSet(data, "今", 3);
    for (const auto& make : std::vector<std::function<void()>>{
             [&] { writeDataSet(dest, "先", 4); },  // more records, same stamp
             [&] {
                 writeDataSet(dest, "先", 1);  // fewer records, but a later one
                 writeRecords(dest.file("Quil.qud"),
                              std::vector<DataRecord>{entryRecord(1, 500, 0, 1, kStamp)});
             }}) {
        make();
        const Files before = snapshot(dest);
        auto asked = backupDataSet(data.dir(), dest.dir());
        EXPECT_EQ(asked.status, DataSetStatus::ReplaceOther);
        EXPECT_NE(asked.message.find("今のデータにない記録があります"), std::string::npos)
            << asked.message;
        EXPECT_EQ(snapshot(dest), before);
    }
    ASSERT_TRUE(backupDataSet(data.dir(), dest.dir(), FileSystem::current(), {.otherDataSet = true})
                    .done());
    EXPECT_EQ(readBytes(dest.file("Quil.qud")), readBytes(data.file("Quil.qud")));
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
    const Files before = snapshot(data);
    auto r = restoreDataSet(data.dir(), source.dir(), FileSystem::current(), {.otherDataSet = true});
    ASSERT_TRUE(r.done()) << r.message;
    EXPECT_EQ(r.stamp, 222.5);
    EXPECT_EQ(readBytes(data.file("Quil.qui")), readBytes(source.file("Quil.qui")));
    EXPECT_EQ(readBytes(data.file("Quil.qud")), readBytes(source.file("Quil.qud")));
    EXPECT_FALSE(readBytes(data.file("QuilExt.db")))
        << "extension rows of the replaced data set would name the wrong items";
    EXPECT_EQ(snapshot(data).at("QuilExt.db.(time).old"), std::string("mine"))
        << "they are set aside, not lost";
    EXPECT_EQ(snapshot(data).at("Quil.qud.(time).old"), before.at("Quil.qud"))
        << "the replaced data set is kept beside";
    EXPECT_NE(r.message.find("Quil.qud."), std::string::npos) << r.message;
    EXPECT_EQ(snapshot(data).size(), 5u) << "the staging folder is gone";
    EXPECT_NE(readBytes(data.file("Quil.kept")).value_or("").find("\nQuilExt.db."),
              std::string::npos)
        << "the kept files are listed for the next restore";
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
    auto old = entryRecord(1, 100.75, 0, 1, kStamp);
    old.setVersion(100);
    writeBytes(source.file("Quil.qud"), bytesOf<DataRecord>({old}).substr(0, 192));
    ItemRecord user = item("使用者", kStamp, 100);
    user.setKind(ItemKind::User);
    writeRecords(source.file("Quil.qui"), std::vector{item("旧", kStamp, 100), user});
    const auto r =
        restoreDataSet(data.dir(), source.dir(), FileSystem::current(), {.otherDataSet = true});
    ASSERT_TRUE(r.done()) << r.message;
    auto records = readRecords(data.file("Quil.qud"));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].version(), 101);
    EXPECT_EQ(records[0].date(), 100.0);
    EXPECT_EQ(readBytes(data.file("Quil.qui"))->at(12), 101);
    EXPECT_EQ(readBytes(source.file("Quil.qud"))->size(), 192u) << "the source stays as it was";
}

// Every command, failed at each call of each kind in turn, then the next start (which
// finishes a swap that had begun): the two folders hold their data sets as before the
// command or as after it, never a mix.
struct Scenario {
    const char* name;
    std::function<DataSetResult(const std::string& data, const std::string& other, FileSystem& fs)>
        op;
};

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> all = {
        {"backup",
         [](auto& d, auto& o, auto& fs) { return backupDataSet(d, o, fs, {.otherDataSet = true}); }},
        {"move",
         [](auto& d, auto& o, auto& fs) {
             return moveDataSet(d, o, {}, fs, {.otherDataSet = true});
         }},
        {"restore",
         [](auto& d, auto& o, auto& fs) { return restoreDataSet(d, o, fs, {.otherDataSet = true}); }},
    };
    return all;
}

void setUpFolders(TempDir& data, TempDir& other) {
    writeDataSet(data, "データ", 40, 111.0);
    writeBytes(data.file("QuilExt.db"), "");
    writeDataSet(other, "ほか", 7, 222.0);
}

// The next start of a program on either folder.
void nextStart(const TempDir& data, const TempDir& other) {
    finishInterruptedBackups(data.dir());
    finishPendingSwaps(data.dir());
    finishPendingSwaps(other.dir());
}

// Whether the folders hold one of the allowed outcomes of a command.
void expectOldOrNew(const std::string& scenario, const Files& gotData, const Files& gotOther,
                    const Files& dataBefore, const Files& otherBefore, const Files& dataAfter,
                    const Files& otherAfter) {
    const bool otherOld = gotOther == otherBefore, otherNew = gotOther == otherAfter;
    EXPECT_TRUE(otherOld || otherNew) << "the other folder is a mix";
    if (scenario == std::string("move")) {
        // The old folder gives its files up only once the new one holds the whole set.
        if (gotData != dataBefore) {
            EXPECT_TRUE(otherNew);
            EXPECT_EQ(gotData.at("Quil.qui"), dataBefore.at("Quil.qui"));
        }
        return;
    }
    EXPECT_TRUE(gotData == dataBefore || gotData == dataAfter) << "the data folder is a mix";
}

class DataSetFaults : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DataSetFaults, NoFailureLosesOrHalfWritesAFile) {
    const Scenario& s = scenarios()[GetParam()];
    TempDir refData, refOther;
    setUpFolders(refData, refOther);
    const Files dataBefore = snapshot(refData), otherBefore = snapshot(refOther);
    ASSERT_TRUE(s.op(refData.dir(), refOther.dir(), FileSystem::local()).done());
    const Files dataAfter = snapshot(refData), otherAfter = snapshot(refOther);

    using Op = FaultyFileSystem::Op;
    for (Op op : {Op::Write, Op::Sync, Op::Rename, Op::Remove, Op::Open}) {
        for (int k = 1;; ++k) {
            ASSERT_LT(k, 100);
            SCOPED_TRACE(::testing::Message() << s.name << " op " << int(op) << " call " << k);
            TempDir data, other;
            setUpFolders(data, other);
            FaultyFileSystem faulty(op, k);
            bool threw = false;
            try {
                s.op(data.dir(), other.dir(), faulty);
            } catch (const StoreError& e) {
                threw = true;
                EXPECT_FALSE(e.file().empty());
            }
            if (!faulty.fired()) {
                EXPECT_FALSE(threw);
                EXPECT_EQ(snapshot(data), dataAfter);
                EXPECT_EQ(snapshot(other), otherAfter);
                break;
            }
            nextStart(data, other);
            expectOldOrNew(s.name, snapshot(data), snapshot(other), dataBefore, otherBefore,
                           dataAfter, otherAfter);
        }
    }
}

// The same commands killed at every change they make (a crash or kill -9 at that point):
// after the next start the data sets are the old or the new ones.
TEST_P(DataSetFaults, AKillAtAnyStepLeavesTheOldOrTheNewDataSet) {
    const Scenario& s = scenarios()[GetParam()];
    TempDir refData, refOther;
    setUpFolders(refData, refOther);
    const Files dataBefore = topFiles(refData), otherBefore = topFiles(refOther);
    ASSERT_TRUE(s.op(refData.dir(), refOther.dir(), FileSystem::local()).done());
    const Files dataAfter = topFiles(refData), otherAfter = topFiles(refOther);

    int kills = 0;
    for (int k = 1;; ++k) {
        ASSERT_LT(k, 200);
        SCOPED_TRACE(::testing::Message() << s.name << " killed at change " << k);
        TempDir data, other;
        setUpFolders(data, other);
        CrashingFileSystem dying(k);
        try {
            s.op(data.dir(), other.dir(), dying);
        } catch (const StoreError&) {
        }
        if (!dying.crashed()) break;
        ++kills;
        nextStart(data, other);
        expectOldOrNew(s.name, topFiles(data), topFiles(other), dataBefore, otherBefore,
                       dataAfter, otherAfter);
    }
    EXPECT_GT(kills, 10);
}

INSTANTIATE_TEST_SUITE_P(Folder, DataSetFaults,
                         ::testing::Range<std::size_t>(0, scenarios().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& p) {
                             return std::string(scenarios()[p.param].name);
                         });

int mentioning(const std::vector<std::string>& notes, const std::string& words) {
    return static_cast<int>(std::count_if(notes.begin(), notes.end(), [&](const std::string& n) {
        return n.find(words) != std::string::npos;
    }));
}

// A backup killed at any change is finished or tidied in its destination by the next start
// on the data folder alone, which says what it did; nothing of the run stays behind.
TEST(DataSetBackup, AKilledBackupIsFinishedInItsDestinationByTheNextStartOfTheDataFolder) {
    TempDir refData, refDest;
    setUpFolders(refData, refDest);
    const Files destBefore = topFiles(refDest);
    ASSERT_TRUE(backupDataSet(refData.dir(), refDest.dir(), FileSystem::local(), kReplace).done());
    const Files destAfter = topFiles(refDest);
    int finished = 0, tidied = 0;
    for (int k = 1;; ++k) {
        ASSERT_LT(k, 200);
        SCOPED_TRACE(::testing::Message() << "killed at change " << k);
        TempDir data, dest;
        setUpFolders(data, dest);
        const Files dataBefore = topFiles(data);
        CrashingFileSystem dying(k);
        try {
            backupDataSet(data.dir(), dest.dir(), dying, kReplace);
        } catch (const StoreError&) {
        }
        if (!dying.crashed()) break;
        const std::vector<std::string> notes = finishInterruptedBackups(data.dir());
        finished += mentioning(notes, "中断されていたバックアップを完了しました");
        tidied += mentioning(notes, "を片付けました");
        const Files got = topFiles(dest);
        EXPECT_TRUE(got == destBefore || got == destAfter) << "the destination is a mix";
        if (mentioning(notes, "完了しました") > 0) {
            EXPECT_EQ(got, destAfter);
        }
        EXPECT_TRUE(stagingLeftoverNames(dest.dir()).empty());
        EXPECT_EQ(topFiles(data), dataBefore) << "the record stays";
    }
    EXPECT_GT(finished, 0);
    EXPECT_GT(tidied, 0);
}

// A record of a backup planted in the data folder (a link to one, a copy, one naming its
// folder through a link or a folder that is not there) changes nothing and is named; the
// record the backup itself wrote is followed, to the one staging folder it names.
TEST(DataSetBackup, APlantedBackupRecordChangesNothingAndIsNamed) {
    TempDir data, aliased, other, victim;
    writeDataSet(data, "今", 2, 111.0);
    writeDataSet(aliased, "今", 2, 111.0);
    writeDataSet(other, "ほか", 3, 222.0);
    writeDataSet(victim, "相手", 4, 333.0);
    // A backup from `other` into `victim` killed while it copied: its staging folder stays.
    for (int k = 1; stagingLeftoverNames(victim.dir()).empty(); ++k) {
        ASSERT_LT(k, 50);
        CrashingFileSystem dying(k);
        EXPECT_THROW(backupDataSet(other.dir(), victim.dir(), dying, kReplace), StoreError);
    }
    const std::string run =
        stagingLeftoverNames(victim.dir()).at(0).substr(std::string(kBackupStaging).size() + 1);
    const std::string genuine = other.dir() + kBackupRecordPrefix + run;
    std::filesystem::copy_file(genuine, data.dir() + kBackupRecordPrefix + run);
    std::filesystem::create_symlink(genuine, data.dir() + kBackupRecordPrefix + "1-1-1");
    // Records written as this program writes them, holding their own inode numbers.
    const auto plant = [](const TempDir& in, const std::string& name, const std::string& dest) {
        const std::string path = in.dir() + kBackupRecordPrefix + name;
        writeBytes(path, "");
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        writeBytes(path, "quil-backup-to 1\n" + std::to_string(st.st_ino) + "\n" +
                             kBackupStaging + "." + name + "\n" + dest + "\nend\n");
    };
    plant(data, "2-2-2", data.dir() + "gone/");
    plant(data, "3-3-3", data.dir());
    std::filesystem::create_directory_symlink(victim.path(), aliased.file("alias"));
    plant(aliased, run, aliased.dir() + "alias/");
    const Files dataBefore = snapshot(data), victimBefore = snapshot(victim);
    const Files victimTop = topFiles(victim);
    const std::vector<std::string> notes = finishInterruptedBackups(data.dir());
    EXPECT_EQ(notes.size(), 4u);
    EXPECT_EQ(mentioning(notes, "そのままにしています"), 2);
    EXPECT_EQ(mentioning(notes, "何も変更していません"), 2);
    EXPECT_EQ(mentioning(finishInterruptedBackups(aliased.dir()), "何も変更していません"), 1);
    EXPECT_EQ(snapshot(data), dataBefore);
    EXPECT_EQ(snapshot(victim), victimBefore);
    EXPECT_FALSE(stagingLeftoverNames(victim.dir()).empty());

    const std::vector<std::string> own = finishInterruptedBackups(other.dir());
    EXPECT_EQ(mentioning(own, "を片付けました"), 1);
    EXPECT_TRUE(stagingLeftoverNames(victim.dir()).empty());
    EXPECT_FALSE(std::filesystem::exists(genuine));
    EXPECT_EQ(topFiles(victim), victimTop);
}

TEST(DataSetBackup, AskedBeforeReplacingAnotherDataSetAndReplacesItWhollyWhenAllowed) {
    TempDir data, dest;
    writeDataSet(data, "新", 3, 111.0);
    writeDataSet(dest, "別", 5, 222.0);
    writeBytes(dest.file("QuilExt.db"), "");
    const Files before = snapshot(dest);
    auto asked = backupDataSet(data.dir(), dest.dir());
    EXPECT_EQ(asked.status, DataSetStatus::ReplaceOther);
    EXPECT_NE(asked.message.find("車両 1 台、記録 5 件、最後の記録"), std::string::npos)
        << asked.message;
    EXPECT_NE(asked.message.find("別に作られたデータ"), std::string::npos) << asked.message;
    EXPECT_EQ(snapshot(dest), before) << "nothing changes before the answer";

    ASSERT_TRUE(backupDataSet(data.dir(), dest.dir(), FileSystem::local(), {.otherDataSet = true})
                    .done());
    EXPECT_EQ(snapshot(dest), snapshot(data))
        << "the other set's QuilExt.db must not stay beside this set's files";
}

TEST(DataSetMove, OntoAFolderHoldingADataSetAsksAndNeverLeavesItsRecordFileBehind) {
    TempDir data, dest;
    // The current set has no record file yet; the destination has 48 records.
    writeRecords(data.file("Quil.qui"), std::vector{item("今", 111.0)});
    writeDataSet(dest, "先", 48, 222.0);
    const Files before = snapshot(dest);
    bool switched = false;
    auto asked = moveDataSet(data.dir(), dest.dir(), [&] { switched = true; });
    EXPECT_EQ(asked.status, DataSetStatus::ReplaceOther);
    EXPECT_NE(asked.message.find("記録 48 件"), std::string::npos) << asked.message;
    EXPECT_FALSE(switched);
    EXPECT_EQ(snapshot(dest), before);

    ASSERT_TRUE(moveDataSet(data.dir(), dest.dir(), [&] { switched = true; }, FileSystem::local(),
                            {.otherDataSet = true})
                    .done());
    EXPECT_TRUE(switched);
    EXPECT_EQ(readBytes(dest.file("Quil.qui")), readBytes(data.file("Quil.qui")));
    EXPECT_FALSE(readBytes(dest.file("Quil.qud")))
        << "a record file of another stamp beside the new item file stops the next start";
}

TEST(DataSetCommands, NeverReplaceAReadOnlyFile) {
    TempDir data, dest, source;
    writeDataSet(data, "今", 2);
    writeDataSet(dest, "古", 1);
    writeDataSet(source, "元", 4, 333.0);
    std::filesystem::permissions(dest.file("Quil.qud"), std::filesystem::perms::owner_read |
                                                            std::filesystem::perms::group_read |
                                                            std::filesystem::perms::others_read);
    const Files destBefore = snapshot(dest);
    auto backup = backupDataSet(data.dir(), dest.dir());
    EXPECT_EQ(backup.status, DataSetStatus::ReadOnlyFile);
    EXPECT_NE(backup.message.find("Quil.qud は読み取り専用"), std::string::npos) << backup.message;
    EXPECT_EQ(snapshot(dest), destBefore);

    std::filesystem::permissions(data.file("Quil.qui"), std::filesystem::perms::owner_read);
    const Files dataBefore = snapshot(data);
    auto restore = restoreDataSet(data.dir(), source.dir(), FileSystem::current(), {.otherDataSet = true});
    EXPECT_EQ(restore.status, DataSetStatus::ReadOnlyFile);
    EXPECT_EQ(snapshot(data), dataBefore);
}

// Runs `sql` on the database at `path` (created when missing); the connection stays open
// while `meanwhile` runs.
void withDatabase(const std::string& path, const char* sql,
                  const std::function<void()>& meanwhile = {}) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    if (meanwhile) meanwhile();
    sqlite3_close(db);
}

std::string firstText(const std::string& path, const char* sql) {
    std::string text;
    withDatabase(path, "SELECT 1", [&] {});
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return text;
}

TEST(DataSetRestore, AskingShowsBothSetsAndABackupDamagedInsideIsRefusedNamingTheProblem) {
    TempDir data, empty, zeroed, randomPage;
    writeDataSet(data, "今", 2);
    writeDataSet(empty, "空", 0, 333.0);
    const Files before = snapshot(data);
    auto asked = restoreDataSet(data.dir(), empty.dir());
    EXPECT_EQ(asked.status, DataSetStatus::ReplaceOther);
    EXPECT_NE(asked.message.find("読み込むデータ: 車両 1 台、記録 0 件"), std::string::npos)
        << asked.message;
    EXPECT_NE(asked.message.find("現在のデータ　: 車両 1 台、記録 2 件、最後の記録"),
              std::string::npos);
    EXPECT_EQ(snapshot(data), before);

    // Zeroed records, and a QuilExt.db with a page of noise: check finds them, so does restore.
    writeDataSet(zeroed, "元", 3, 333.0);
    const auto qud = *readBytes(zeroed.file("Quil.qud"));
    writeBytes(zeroed.file("Quil.qud"), qud.substr(0, 256) + std::string(512, '\0'));
    auto r = restoreDataSet(data.dir(), zeroed.dir(), FileSystem::current(), {.otherDataSet = true});
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_NE(r.message.find("Quil.qud 位置 1: 署名が QD ではありません。"), std::string::npos)
        << r.message;
    EXPECT_EQ(snapshot(data), before);

    writeDataSet(randomPage, "元", 3, 333.0);
    const std::string ext = randomPage.file("QuilExt.db");
    withDatabase(ext, "CREATE TABLE t(x); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                      "FROM n WHERE i < 400) INSERT INTO t SELECT printf('%0200d', i) FROM n;");
    std::string bytes = *readBytes(ext);
    ASSERT_GT(bytes.size(), 4u * 4096);
    for (std::size_t i = 2 * 4096; i < 3 * 4096; ++i) bytes[i] = char(i * 7919 % 251);
    writeBytes(ext, bytes);
    r = restoreDataSet(data.dir(), randomPage.dir(), FileSystem::current(), {.otherDataSet = true});
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_NE(r.message.find("QuilExt.db"), std::string::npos) << r.message;
    EXPECT_EQ(snapshot(data), before);
}

TEST(DataSetCommands, QuilExtDbTravelsWithItsJournalRolledInAndNeverMeetsAnotherOnesJournal) {
    TempDir data, dest;
    writeDataSet(data, "今", 2);
    writeDataSet(dest, "古", 1);
    // The rows of the last transaction are still only in the write-ahead log when the
    // program stops: a copy of the file alone would lose them.
    withDatabase(data.file("QuilExt.db"),
                 "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; CREATE TABLE t(x);"
                 "INSERT INTO t VALUES('latest');",
                 [&] {
                     std::filesystem::copy_file(data.file("QuilExt.db"), data.file("copy.db"));
                     std::filesystem::copy_file(data.file("QuilExt.db-wal"),
                                                data.file("copy.db-wal"));
                 });
    std::filesystem::rename(data.file("copy.db"), data.file("QuilExt.db"));
    std::filesystem::rename(data.file("copy.db-wal"), data.file("QuilExt.db-wal"));
    // A journal of the destination's own database, left by a crash there.
    writeBytes(dest.file("QuilExt.db-journal"), std::string(1024, 'j'));
    ASSERT_TRUE(backupDataSet(data.dir(), dest.dir()).done());
    EXPECT_FALSE(readBytes(dest.file("QuilExt.db-journal")));
    EXPECT_FALSE(readBytes(dest.file("QuilExt.db-wal")));
    EXPECT_EQ(firstText(dest.file("QuilExt.db"), "SELECT x FROM t"), "latest");

    // A restore keeps the replaced database's journal with the kept file, not beside the new.
    writeBytes(dest.file("QuilExt.db-journal"), std::string(1024, 'j'));
    ASSERT_TRUE(restoreDataSet(dest.dir(), data.dir(), FileSystem::current(),
                               {.otherDataSet = true})
                    .done());
    EXPECT_FALSE(readBytes(dest.file("QuilExt.db-journal")));
    EXPECT_EQ(snapshot(dest).at("QuilExt.db.(time).old-journal"), std::string(1024, 'j'));
}

TEST(DataSetRestore, RefusesABackupWithARecordCutShortOrAnExtensionFileThatIsNoDatabase) {
    TempDir data;
    writeDataSet(data, "今", 2);
    writeBytes(data.file("QuilExt.db"), "");
    const Files before = snapshot(data);

    TempDir cut;
    writeDataSet(cut, "元", 3, 333.0);
    const auto qud = *readBytes(cut.file("Quil.qud"));
    writeBytes(cut.file("Quil.qud"), qud.substr(0, qud.size() - 100));
    auto r = restoreDataSet(data.dir(), cut.dir());
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_NE(r.message.find("Quil.qud の最後の記録が途中で切れています"), std::string::npos)
        << r.message;
    EXPECT_EQ(snapshot(data), before);

    TempDir garbage;
    writeDataSet(garbage, "元", 3, 333.0);
    writeBytes(garbage.file("QuilExt.db"), std::string(4096, 'g'));
    r = restoreDataSet(data.dir(), garbage.dir());
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_NE(r.message.find("QuilExt.db はデータベースとして読めません"), std::string::npos)
        << r.message;
    EXPECT_EQ(snapshot(data), before);
}

TEST(ExtensionFileCheck, TellsADatabaseFromTextOrACutCopy) {
    TempDir t;
    // The header of an SQLite file of two 4096-byte pages.
    std::string db(8192, '\0');
    db.replace(0, 16, std::string("SQLite format 3\0", 16));
    db[16] = 0x10;  // page size 4096
    db[18] = db[19] = 1;
    db[21] = 64;
    db[22] = db[23] = 32;
    db[27] = db[95] = 1;  // change counter, and the same in "version valid for"
    db[31] = 2;           // two pages
    writeBytes(t.file("ok.db"), db);
    EXPECT_EQ(extensionFileProblem(t.file("ok.db")), "");
    writeBytes(t.file("empty.db"), "");
    EXPECT_EQ(extensionFileProblem(t.file("empty.db")), "");
    writeBytes(t.file("cut.db"), db.substr(0, 6000));
    EXPECT_NE(extensionFileProblem(t.file("cut.db")), "");
    writeBytes(t.file("text.db"), std::string(8192, 'a'));
    EXPECT_NE(extensionFileProblem(t.file("text.db")), "");
}

// A staging folder as a command killed during its swap leaves it: made and marked by the
// program, its journal begun.
std::string makeStaging(const std::string& folder, const char* name) {
    StagingFolder staging(folder, name);
    writeBytes(staging.path() + "swap.journal", "quil-swap 1\n");
    return staging.path();
}

TEST(SwapJournal, ASwapCutShortIsFinishedAndOneNotBegunIsDropped) {
    TempDir data;
    writeDataSet(data, "旧", 2, 111.0);
    TempDir fresh;
    writeDataSet(fresh, "新", 5, 222.0);
    // Killed after the old item file was moved aside and before anything was moved in.
    std::string staging = makeStaging(data.dir(), kRestoreStaging);
    EXPECT_EQ(staging.rfind(data.dir() + "Quil.$restore.", 0), 0u) << staging;
    std::filesystem::copy_file(fresh.file("Quil.qui"), staging + "Quil.qui");
    std::filesystem::copy_file(fresh.file("Quil.qud"), staging + "Quil.qud");
    std::filesystem::rename(data.file("Quil.qui"), staging + "Quil.qui.old");
    writeBytes(staging + "swap.journal", "quil-swap 1\nput Quil.qui\nput Quil.qud\nend\n");
    EXPECT_TRUE(swapPending(data.dir()));
    EXPECT_EQ(finishPendingSwaps(data.dir()),
              std::vector<std::string>{staging.substr(data.dir().size(), staging.size() -
                                                                         data.dir().size() - 1)});
    EXPECT_FALSE(swapPending(data.dir()));
    EXPECT_EQ(topFiles(data), topFiles(fresh));
    EXPECT_FALSE(std::filesystem::exists(staging));

    // A journal cut short while it was written: no file had been touched yet.
    staging = makeStaging(data.dir(), kRestoreStaging);
    std::filesystem::copy_file(data.file("Quil.qui"), staging + "Quil.qui");
    writeBytes(staging + "swap.journal", "quil-swap 1\nput Quil.q");
    const Files before = topFiles(data);
    finishPendingSwaps(data.dir());
    EXPECT_EQ(topFiles(data), before);
    EXPECT_FALSE(std::filesystem::exists(staging));
}

// The local file system with a hook before each open, and writes that may be spoilt.
class MeddlingFileSystem : public FileSystem {
public:
    std::function<void(const std::string& path, OpenMode mode)> beforeOpen;
    bool spoilCopies = false;  // flips a byte of every write into a ".$$$" copy

    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override {
        if (beforeOpen) beforeOpen(path, mode);
        auto inner = local().open(path, mode);
        if (!spoilCopies || path.size() < 4 || path.substr(path.size() - 4) != ".$$$")
            return inner;
        return std::make_unique<SpoilingFile>(std::move(inner), path);
    }
    bool exists(const std::string& p) override { return local().exists(p); }
    bool isDirectory(const std::string& p) override { return local().isDirectory(p); }
    void rename(const std::string& f, const std::string& t) override { local().rename(f, t); }
    void remove(const std::string& p) override { local().remove(p); }

private:
    class SpoilingFile : public File {
    public:
        SpoilingFile(std::unique_ptr<File> inner, std::string path)
            : File(std::move(path)), inner_(std::move(inner)) {}
        std::uint64_t size() override { return inner_->size(); }
        std::size_t readAt(std::uint64_t o, void* b, std::size_t n) override {
            return inner_->readAt(o, b, n);
        }
        void writeAt(std::uint64_t o, const void* b, std::size_t n) override {
            std::string bytes(static_cast<const char*>(b), n);
            if (!bytes.empty()) bytes[bytes.size() / 2] ^= 0x01;  // a bad sector, a bad cable
            inner_->writeAt(o, bytes.data(), n);
        }
        void truncate(std::uint64_t s) override { inner_->truncate(s); }
        void sync() override { inner_->sync(); }

    private:
        std::unique_ptr<File> inner_;
    };
};

TEST(DataSetCopies, ACopyThatDoesNotReadBackAsItsSourceNeverReplacesAnything) {
    TempDir data, dest;
    writeDataSet(data, "新", 3);
    writeDataSet(dest, "古", 1);
    const Files before = snapshot(dest);
    MeddlingFileSystem fs;
    fs.spoilCopies = true;
    try {
        backupDataSet(data.dir(), dest.dir(), fs);
        ADD_FAILURE() << "a spoilt copy was taken for a backup";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("一致しません"), std::string::npos) << e.what();
    }
    EXPECT_EQ(snapshot(dest), before);
}

TEST(DataSetRestore, ASourceChangedWhileItIsCopiedIsCheckedAgainAndRefused) {
    TempDir data, source;
    writeDataSet(data, "今", 2, 111.0);
    writeDataSet(source, "元", 4, 222.0);
    const Files before = snapshot(data);
    MeddlingFileSystem fs;
    // Another program rewrites the backup's record file once the restore has checked it
    // and begun copying.
    fs.beforeOpen = [&](const std::string& path, OpenMode mode) {
        if (mode == OpenMode::CreateNew && path.find("Quil.$restore.") != std::string::npos &&
            path.find("/Quil.qui") != std::string::npos)
            writeBytes(source.file("Quil.qud"), std::string(256, 'x'));
    };
    const auto r = restoreDataSet(data.dir(), source.dir(), fs, {.otherDataSet = true});
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_EQ(snapshot(data), before);
}

}  // namespace

namespace {

// A swap killed after its journal was written and before any rename: the new data set of
// `fresh` staged in the data folder's `name`, the journal `journal`.
std::string plantSwap(const TempDir& data, const TempDir& fresh, const char* name,
                      const std::string& journal) {
    const std::string staging = makeStaging(data.dir(), name);
    for (const char* file : {"Quil.qui", "Quil.qud"})
        std::filesystem::copy_file(fresh.file(file), staging + file);
    writeBytes(staging + "swap.journal", journal);
    return staging;
}

TEST(SwapJournal, OnlyAJournalOfOurOwnFolderNamingTheDataSetFilesIsFollowed) {
    TempDir data, fresh, outside;
    writeDataSet(data, "旧", 2, 111.0);
    writeDataSet(fresh, "新", 5, 222.0);
    writeBytes(outside.file("victim.txt"), "not ours");
    const Files before = topFiles(data);
    for (const std::string forged :
         {"quil-swap 1\nput ../victim.txt\nend\n", "quil-swap 1\ndrop Quil.qud\nend\n",
          "quil-swap 1\naside Quil.qud ../Quil.qud\nput Quil.qui\nend\n",
          "quil-swap 1\nput Quil.qui\nput Quil.qui\nend\n",
          "quil-swap 1\nput Quil.qui\nend\nput Quil.qud\n"}) {
        const std::string staging = plantSwap(data, fresh, kRestoreStaging, forged);
        const Files planted = snapshot(data);
        EXPECT_THROW(finishPendingSwaps(data.dir()), StoreError) << forged;
        EXPECT_EQ(snapshot(data), planted) << forged;
        EXPECT_EQ(readBytes(outside.file("victim.txt")), "not ours");
        std::filesystem::remove_all(staging);
    }
    EXPECT_EQ(topFiles(data), before);

    // A sound journal in a folder the program did not make for this folder: a folder of the
    // user's, and a staging folder copied in from another data set.
    const std::string journal = "quil-swap 1\nput Quil.qui\nput Quil.qud\nend\n";
    std::filesystem::create_directory(data.dir() + kRestoreStaging);
    writeBytes(data.dir() + kRestoreStaging + "/swap.journal", journal);
    writeBytes(data.dir() + kRestoreStaging + "/Quil.qui", "user's own");
    EXPECT_THROW(finishPendingSwaps(data.dir()), StoreError);
    EXPECT_EQ(readBytes(data.dir() + kRestoreStaging + "/Quil.qui"), "user's own");
    std::filesystem::remove_all(data.dir() + kRestoreStaging);
    TempDir elsewhere;
    const std::string theirs = plantSwap(elsewhere, fresh, kRestoreStaging, journal);
    std::filesystem::copy(theirs, data.dir() + kRestoreStaging,
                          std::filesystem::copy_options::recursive);
    EXPECT_THROW(finishPendingSwaps(data.dir()), StoreError);
    EXPECT_EQ(topFiles(data), before);
}

TEST(DataSetCommands, NeverClearALinkOrAFolderTheyDidNotMake) {
    TempDir data, dest, victim;
    writeDataSet(data, "今", 2);
    writeBytes(victim.file("keep.txt"), "precious");
    std::filesystem::create_directory_symlink(victim.dir(), dest.dir() + kBackupStaging);
    EXPECT_THROW(backupDataSet(data.dir(), dest.dir()), StoreError);
    EXPECT_EQ(readBytes(victim.file("keep.txt")), "precious");
    TempDir source;
    writeDataSet(source, "元", 3, 222.0);
    std::filesystem::create_directory_symlink(victim.dir(), data.dir() + kRestoreStaging);
    EXPECT_THROW(restoreDataSet(data.dir(), source.dir(), FileSystem::current(), kReplace), StoreError);
    EXPECT_EQ(readBytes(victim.file("keep.txt")), "precious");
    std::filesystem::remove(data.dir() + kRestoreStaging);
    // A folder of the user's that happens to have the name.
    std::filesystem::create_directory(data.dir() + kRestoreStaging);
    writeBytes(data.dir() + kRestoreStaging + "/notes.txt", "mine");
    EXPECT_THROW(restoreDataSet(data.dir(), source.dir(), FileSystem::current(), kReplace), StoreError);
    EXPECT_EQ(readBytes(data.dir() + kRestoreStaging + "/notes.txt"), "mine");
}

// The steps that keep a swap safe, each seen to matter.
TEST(SwapJournal, EachSafetyStepKeepsTheDataSetWhole) {
    TempDir data, fresh;
    writeDataSet(data, "旧", 2, 111.0);
    writeDataSet(fresh, "新", 5, 222.0);

    // The journal is on the disk before the first file of the folder is renamed.
    {
        TempDir source;
        writeDataSet(source, "元", 3, 333.0);
        FaultyFileSystem recorder(FaultyFileSystem::Op::Open, 100000);
        ASSERT_TRUE(restoreDataSet(data.dir(), source.dir(), recorder, kReplace).done());
        const auto& log = recorder.log();
        const auto synced = std::find(log.begin(), log.end(), "sync swap.journal");
        // The first file of the folder moved aside.
        const auto renamed = std::find_if(log.begin(), log.end(), [](const std::string& e) {
            return e.rfind("rename ", 0) == 0 && e.size() > 4 && e.substr(e.size() - 4) == ".old";
        });
        ASSERT_NE(renamed, log.end());
        ASSERT_NE(synced, log.end());
        EXPECT_LT(synced, renamed);
        EXPECT_NE(std::find(synced, renamed, "syncFolder"), renamed);
    }
    const Files before = topFiles(data);

    // A journal without its end line is never rolled forward.
    plantSwap(data, fresh, kRestoreStaging, "quil-swap 1\nput Quil.qui\nput Quil.qud\n");
    finishPendingSwaps(data.dir());
    EXPECT_EQ(topFiles(data), before);
    EXPECT_FALSE(stagingLeftovers(data.dir()));

    // Rolled forward, the files the swap drops leave the folder too.
    writeBytes(data.file("QuilExt.db"), "");
    plantSwap(data, fresh, kRestoreStaging,
              "quil-swap 1\nput Quil.qui\nput Quil.qud\ndrop QuilExt.db\nend\n");
    finishPendingSwaps(data.dir());
    EXPECT_EQ(liveFiles(data), topFiles(fresh));

    // A command's staging folder finishes the swap another left pending before it clears
    // anything.
    writeDataSet(data, "旧", 2, 111.0);
    plantSwap(data, fresh, kImportStaging, "quil-swap 1\nput Quil.qui\nput Quil.qud\nend\n");
    TempDir source;
    writeDataSet(source, "元", 3, 333.0);
    ASSERT_TRUE(restoreDataSet(data.dir(), source.dir(), FileSystem::current(), kReplace).done());
    EXPECT_FALSE(swapPending(data.dir()));
    EXPECT_EQ(liveFiles(data), topFiles(source));

    // A backup finishes one cut short at its destination before judging what is there.
    TempDir dest;
    writeDataSet(dest, "元", 1, 333.0);
    const std::string staging = plantSwap(dest, source, kBackupStaging,
                                          "quil-swap 1\nput Quil.qui\nput Quil.qud\nend\n");
    std::filesystem::rename(dest.file("Quil.qui"), staging + "Quil.qui.old");
    EXPECT_TRUE(backupDataSet(data.dir(), dest.dir()).done());
    EXPECT_EQ(topFiles(dest), liveFiles(data));
}

}  // namespace
