// Moving data sets between folders and the server, directly and through quil-tool.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "Bytes.h"
#include "FaultyFileSystem.h"
#include "LoginRole.h"
#include "PgTestCluster.h"
#include "RecordBuilders.h"
#include "SampleDataSet.h"
#include "TempDir.h"
#include "folder/ExtensionSchema.h"
#include "folder/FileCopy.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "store/Date.h"
#include "store/RecordStore.h"
#include "tool/ToolRunner.h"

using namespace quil;
using namespace quil::server;
using quil::test::ScratchDatabase;
using quil::testing::TempDir;

namespace {

using quil::testing::fileBytes;

using quil::testing::writeBytes;

// A folder whose files use every byte: random reserved and padding bytes, deleted items and
// records, records sharing date, vehicle and user.
void writeNoisyDataSet(const std::string& dir, int records) {
    std::mt19937 rng(7);
    const auto noise = [&](std::uint8_t* b, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) b[i] = static_cast<std::uint8_t>(rng());
    };
    std::string items;
    for (int i = 0; i < 20; ++i) {
        store::ItemRecord it;
        it.setKind(static_cast<std::int16_t>(1 + i % 7));
        it.setName("項目" + std::to_string(i));
        it.setDeleted(i % 5 == 4);
        auto* b = const_cast<std::uint8_t*>(it.bytes().data());
        noise(b, 2, 4);
        noise(b, 120, 128);
        it.setReserved70(static_cast<std::int16_t>(rng()));
        items.append(reinterpret_cast<const char*>(it.bytes().data()), it.Size);
    }
    writeBytes(dir + "Quil.qui", items);
    std::string data;
    for (int i = 0; i < records; ++i) {
        store::DataRecord r = quil::testing::makeRecord(45000 + i / 3, i % 2, 1, i);
        r.setDeleted(i % 11 == 3);
        r.setReserved48(static_cast<std::uint8_t>(rng()));
        r.setReserved172(static_cast<std::int32_t>(rng()));
        r.setLegacyTextRaw(std::string(30, static_cast<char>(0x81)));
        auto* b = const_cast<std::uint8_t*>(r.bytes().data());
        noise(b, 2, 4);
        noise(b, 17, 20);
        noise(b, 255, 256);
        data.append(reinterpret_cast<const char*>(r.bytes().data()), r.Size);
    }
    // Keep the file's order: date, then vehicle, then user.
    std::vector<std::string> rows;
    for (std::size_t at = 0; at < data.size(); at += 256) rows.push_back(data.substr(at, 256));
    std::stable_sort(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
        return store::sortsAfter(
            store::DataRecord(reinterpret_cast<const std::uint8_t*>(b.data())),
            store::DataRecord(reinterpret_cast<const std::uint8_t*>(a.data())));
    });
    data.clear();
    for (const auto& r : rows) data += r;
    writeBytes(dir + "Quil.qud", data);
}

std::string messageOf_(const std::function<void()>& f) {
    try {
        f();
    } catch (const ServerError& e) {
        return e.what();
    }
    return {};
}

class Transfer : public ::testing::Test {
protected:
    ScratchDatabase db;
    TempDir from, to;
    std::unique_ptr<PgConnection> c;
    void SetUp() override {
        c = std::make_unique<PgConnection>(db.conninfo());
        initializeSchema(*c);
    }
};

}  // namespace

TEST_F(Transfer, PushThenPullGivesBackBothFilesByteForByte) {
    writeNoisyDataSet(from.dir(), 25000);
    const TransferCounts pushed = pushFolder(*c, from.dir());
    EXPECT_EQ(pushed.items, 20);
    EXPECT_EQ(pushed.records, 25000);
    const TransferCounts pulled = pullFolder(*c, to.dir());
    EXPECT_EQ(pulled.records, 25000);
    EXPECT_EQ(fileBytes(to.file("Quil.qui")), fileBytes(from.file("Quil.qui")));
    EXPECT_EQ(fileBytes(to.file("Quil.qud")), fileBytes(from.file("Quil.qud")));
    EXPECT_FALSE(std::filesystem::exists(to.file("Quil.qud.pulling")));
    // The list reads the live records only.
    ServerDataSet s(db.conninfo());
    EXPECT_EQ(s.recordCount(true), 25000);
    EXPECT_LT(s.recordCount(), 25000);
}

TEST_F(Transfer, AfterChangesOnTheServerThePulledFolderIsInOrderForTheProgram) {
    writeNoisyDataSet(from.dir(), 50);
    pushFolder(*c, from.dir());
    ServerDataSet s(db.conninfo());
    s.addRecord(quil::testing::makeRecord(44000, 1, 1), newSaveKey());  // before all others
    RecordRow first;
    s.scanRecords([&](const RecordRow& r) {
        if (first.id == 0) first = r;
    });
    s.editRecord(first.id, first.version, quil::testing::makeRecord(46000, 0, 1), newSaveKey());
    pullFolder(*c, to.dir());
    const store::RecordStore pulled(to.dir());
    EXPECT_EQ(pulled.count(), 51);
    std::optional<store::DataRecord> previous;
    pulled.scan([&](std::int64_t at, const store::DataRecord& r) {
        if (previous) {
            EXPECT_FALSE(store::sortsAfter(*previous, r)) << at;
        }
        previous = r;
    });
    EXPECT_EQ(previous->date(), 46000);
}

TEST_F(Transfer, APushIsAllOrNothingAndRefusesWhatItCannotKeep) {
    // The records' indexes (a push builds the reports' ones again after its rows), as made.
    const auto indexes = [&] {
        const PgResult r = c->exec(
            "SELECT string_agg(indexdef, E'\\n' ORDER BY indexname) FROM pg_indexes "
            "WHERE tablename = 'quil_records'");
        return std::string(r.text(0, 0));
    };
    const std::string made = indexes();
    ASSERT_NE(made.find("quil_records_refuellings"), std::string::npos);
    const auto refusedAndEmpty = [&](const std::string& why) {
        SCOPED_TRACE(why);
        EXPECT_THROW(pushFolder(*c, from.dir()), ServerError);
        EXPECT_EQ(c->exec("SELECT (SELECT count(*) FROM quil_items) + "
                          "(SELECT count(*) FROM quil_records)")
                      .integer(0, 0),
                  0);
        EXPECT_EQ(indexes(), made);
    };
    refusedAndEmpty("no data set in the folder");
    writeNoisyDataSet(from.dir(), 100);
    // A record file cut in the middle of a record.
    const std::string whole = fileBytes(from.file("Quil.qud"));
    writeBytes(from.file("Quil.qud"), whole.substr(0, whole.size() - 10));
    refusedAndEmpty("a torn record file");
    // Records out of order: the last one is found only at the end, after the items went in.
    writeBytes(from.file("Quil.qud"), whole + whole.substr(0, store::DataRecord::Size));
    refusedAndEmpty("records out of order");
    writeBytes(from.file("Quil.qud"), whole);
    pushFolder(*c, from.dir());
    EXPECT_EQ(indexes(), made);
    // Into a data set that holds something already.
    EXPECT_EQ(messageOf_([&] { pushFolder(*c, from.dir()); }).find("空ではありません") !=
                  std::string::npos,
              true);
}

TEST_F(Transfer, APullNeverWritesOverADataSetAndKeepsAMissingRecordFileMissing) {
    quil::testing::writeSampleItems(from.dir());  // items only, no Quil.qud
    pushFolder(*c, from.dir());
    pullFolder(*c, to.dir());
    EXPECT_EQ(fileBytes(to.file("Quil.qui")), fileBytes(from.file("Quil.qui")));
    EXPECT_FALSE(std::filesystem::exists(to.file("Quil.qud")));
    const std::string before = fileBytes(to.file("Quil.qui"));
    EXPECT_THROW(pullFolder(*c, to.dir()), ServerError);
    EXPECT_EQ(fileBytes(to.file("Quil.qui")), before);
}

// A failure at any open, write, sync or rename of a pull leaves the folder without a file of
// the pulled data set (its files go in place together), and nothing of the pull behind.
TEST_F(Transfer, APullPutsItsFilesInPlaceAllOrNothing) {
    writeNoisyDataSet(from.dir(), 30);
    pushFolder(*c, from.dir());
    c->run("INSERT INTO quil_alcohol_setting (key, value) VALUES ('company_name', 'x')");
    using Op = quil::testing::FaultyFileSystem::Op;
    int failures = 0;
    for (Op op : {Op::Open, Op::Write, Op::Sync, Op::Rename}) {
        for (int k = 1;; ++k) {
            ASSERT_LT(k, 100);
            SCOPED_TRACE(::testing::Message() << "op " << int(op) << " call " << k);
            TempDir dest;
            quil::testing::FaultyFileSystem faulty(op, k);
            store::FileSystem::setCurrent(&faulty);
            bool threw = false;
            try {
                pullFolder(*c, dest.dir());
            } catch (const ServerError&) {
                threw = true;
            }
            store::FileSystem::setCurrent(nullptr);
            EXPECT_EQ(threw, faulty.fired());
            std::vector<std::string> present;
            for (const char* name : {"Quil.qui", "Quil.qud", "QuilExt.db"})
                if (std::filesystem::exists(dest.file(name))) present.push_back(name);
            EXPECT_EQ(present.size(), faulty.fired() ? 0u : 3u);
            EXPECT_TRUE(folder::stagingLeftoverNames(dest.dir()).empty());
            if (!faulty.fired()) break;
            ++failures;
        }
    }
    EXPECT_GT(failures, 10);
}

namespace {

class ToolOnServer : public ::testing::Test {
protected:
    ScratchDatabase db;
    TempDir program, folder;
    std::string out, err;
    int run(std::vector<std::string> args, const std::string& conninfo = {},
            const std::string& input = {}) {
        args.insert(args.begin(), {"--server", conninfo.empty() ? db.conninfo() : conninfo});
        std::istringstream in(input);
        std::ostringstream o, e;
        tool::ToolRunner runner(program.dir(), in, o, e, false);
        const int code = runner.run(std::move(args));
        out = o.str();
        err = e.str();
        return code;
    }
};

}  // namespace

TEST_F(ToolOnServer, InitPushCheckExportImportAndPull) {
    EXPECT_EQ(run({"check"}), tool::kExitProblems);
    EXPECT_NE(err.find("データセットではありません"), std::string::npos) << err;
    EXPECT_EQ(run({"server", "init"}), tool::kExitOk) << err;
    quil::testing::writeSampleItems(folder.dir());
    store::RecordStore(folder.dir())
        .save(quil::testing::sampleRecord(0, store::encodeDate(2024, 5, 1), 7, 8), std::nullopt);
    EXPECT_EQ(run({"server", "push", folder.dir()}), tool::kExitOk) << err;
    EXPECT_NE(out.find("14 件の項目と 1 件の記録"), std::string::npos) << out;
    EXPECT_EQ(run({"check"}), tool::kExitOk) << err;
    EXPECT_NE(out.find("サーバー: "), std::string::npos);
    EXPECT_NE(out.find("OK"), std::string::npos);
    EXPECT_EQ(run({"export-csv", "--kind", "driving", "--encoding", "utf-8"}), tool::kExitOk);
    EXPECT_NE(out.find("軽トラ"), std::string::npos) << out;

    TempDir csv;
    writeBytes(csv.file("in.csv"),
               "年月日,時間,車両,使用者,使用区分,出庫距離,入庫距離,行き先,備考\n"
               "2024/06/01,08:30 ～ 17:05,車両1,使用者1,配達,0,0,,\n"
               "2024/04/01,9:00 ～ 9:45,軽トラ,山田,,0,0,,\n");
    EXPECT_EQ(run({"import-csv", "--kind", "driving", "--encoding", "utf-8", csv.file("in.csv")}),
              tool::kExitOk)
        << err;
    EXPECT_EQ(ServerDataSet(db.conninfo()).recordCount(), 3);
    // A refused row stores nothing on the server either.
    writeBytes(csv.file("bad.csv"),
               "年月日,時間,車両,使用者,使用区分,出庫距離,入庫距離,行き先,備考\n"
               "2024/06/01,08:30 ～ 17:05,無い車,使用者1,,0,0,,\n");
    EXPECT_EQ(run({"import-csv", "--kind", "driving", "--encoding", "utf-8", csv.file("bad.csv")}),
              tool::kExitProblems);
    EXPECT_EQ(ServerDataSet(db.conninfo()).recordCount(), 3);

    TempDir dest;
    EXPECT_EQ(run({"server", "pull", dest.dir()}), tool::kExitOk) << err;
    EXPECT_EQ(fileBytes(dest.file("Quil.qui")), fileBytes(folder.file("Quil.qui")));
    EXPECT_EQ(store::RecordStore(dest.dir()).count(), 3);
}

TEST_F(ToolOnServer, WrongPlacesAndWrongUseAreSaidPlainly) {
    EXPECT_EQ(run({"check"}, "host=/tmp port"), tool::kExitUsage);
    EXPECT_NE(err.find("接続文字列が正しくありません"), std::string::npos) << err;
    TempDir nowhere;
    EXPECT_EQ(run({"dump"}, "host=" + nowhere.path() + " dbname=x"), tool::kExitIo);
    EXPECT_NE(err.find("サーバーに接続できません"), std::string::npos) << err;
    EXPECT_EQ(run({"backup"}), tool::kExitUsage);
    EXPECT_EQ(run({"server", "account-add", "yamada"}), tool::kExitUsage);
    EXPECT_EQ(run({"server", "account-role", "yamada", "社長"}), tool::kExitUsage);
    EXPECT_EQ(run({"server", "frob"}), tool::kExitUsage);
    EXPECT_EQ(run({"server", "push"}), tool::kExitUsage);
    std::istringstream in;
    std::ostringstream o, e;
    EXPECT_EQ(tool::ToolRunner(program.dir(), in, o, e, false)
                  .run({"--server", db.conninfo(), "--data", folder.dir(), "check"}),
              tool::kExitUsage);
}

// The one description of the extension tables against what exists already: the server's
// tables its schema 4 made, and the statements released programs ran on QuilExt.db (SQLite
// keeps their text, so a file made now must hold the same).
TEST_F(Transfer, TheExtensionTablesDescriptionMatchesTheServersTablesAndReleasedFiles) {
    namespace schema = quil::folder::extschema;
    const auto columns = [&](const std::string& table) {
        const PgResult r = c->exec(
            "SELECT column_name, data_type, is_nullable, coalesce(column_default, ''),"
            " is_identity FROM information_schema.columns WHERE table_name = $1"
            " ORDER BY ordinal_position",
            {PgParam::text(table)});
        std::vector<std::string> out;
        for (int i = 0; i < r.rows(); ++i)
            out.push_back(std::string(r.text(i, 0)) + ' ' + std::string(r.text(i, 1)) + ' ' +
                          std::string(r.text(i, 2)) + ' ' + std::string(r.text(i, 3)) + ' ' +
                          std::string(r.text(i, 4)));
        return out;
    };
    std::vector<std::string> names;
    for (const schema::Component& component : schema::components())
        for (const schema::Table& table : component.tables) {
            for (const std::string& sql : schema::serverCreateTable(table, "probe_")) c->run(sql);
            EXPECT_EQ(columns(std::string("probe_") + table.name), columns(schema::serverName(table)))
                << table.name;
            names.push_back(schema::serverName(table));
        }
    EXPECT_EQ(names, schema::serverTableNames());
    EXPECT_EQ(names.size(), 7u);

    const std::vector<std::string> released = {
        "CREATE TABLE alcohol_check ( id INTEGER PRIMARY KEY, checked_at REAL NOT NULL, timing "
        "INTEGER NOT NULL, driver INTEGER NOT NULL, vehicle INTEGER NOT NULL, checker TEXT NOT "
        "NULL, method INTEGER NOT NULL, method_text TEXT NOT NULL DEFAULT '', detector INTEGER, "
        "reading REAL, intoxicated INTEGER NOT NULL, instructions TEXT NOT NULL DEFAULT '', "
        "remarks TEXT NOT NULL DEFAULT '', deleted INTEGER NOT NULL DEFAULT 0, deleted_by TEXT "
        "NOT NULL DEFAULT '', deleted_at REAL NOT NULL DEFAULT 0)",
        "CREATE INDEX alcohol_check_time ON alcohol_check (checked_at)",
        "CREATE TABLE alcohol_detector ( id INTEGER PRIMARY KEY, name TEXT NOT NULL, serial TEXT "
        "NOT NULL DEFAULT '', in_use_since REAL NOT NULL DEFAULT 0, last_inspection REAL NOT NULL "
        "DEFAULT 0, retired INTEGER NOT NULL DEFAULT 0)",
        "CREATE TABLE alcohol_setting ( key TEXT PRIMARY KEY, value TEXT NOT NULL)",
        "CREATE TABLE analysis_cycle (item INTEGER PRIMARY KEY NOT NULL, months INTEGER NOT NULL "
        "DEFAULT 0, km INTEGER NOT NULL DEFAULT 0)",
        "ALTER TABLE analysis_cycle ADD COLUMN first_months INTEGER NOT NULL DEFAULT 0",
        "CREATE TABLE analysis_setting (key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL)",
        "CREATE TABLE driver_licence (id INTEGER PRIMARY KEY, driver INTEGER NOT NULL, number "
        "TEXT NOT NULL DEFAULT '', kinds TEXT NOT NULL DEFAULT '', conditions TEXT NOT NULL "
        "DEFAULT '', expiry REAL NOT NULL, seen_on REAL NOT NULL DEFAULT 0, seen_by TEXT NOT "
        "NULL DEFAULT '', remarks TEXT NOT NULL DEFAULT '', renewed INTEGER NOT NULL DEFAULT 0)",
        "CREATE INDEX driver_licence_driver ON driver_licence (driver)",
        "CREATE TABLE vehicle_paper (id INTEGER PRIMARY KEY, vehicle INTEGER NOT NULL, kind "
        "INTEGER NOT NULL, title TEXT NOT NULL DEFAULT '', insurer TEXT NOT NULL DEFAULT '', "
        "number TEXT NOT NULL DEFAULT '', expiry REAL NOT NULL, remarks TEXT NOT NULL DEFAULT '', "
        "renewed INTEGER NOT NULL DEFAULT 0)",
        "CREATE INDEX vehicle_paper_vehicle ON vehicle_paper (vehicle)",
    };
    std::vector<std::string> made;
    for (const schema::Component& component : schema::components())
        for (int version = 1; version <= component.version; ++version)
            for (const std::string& sql : schema::sqliteStatements(component, version))
                made.push_back(sql);
    EXPECT_EQ(made, released);
}

TEST_F(Transfer, ADamagedExtensionsFileSendsNothingAndAPullKeepsTheDestinationsOwn) {
    writeNoisyDataSet(from.dir(), 10);
    std::string ext = "SQLite format 3";
    ext.append(5000, '\0');
    writeBytes(from.file("QuilExt.db"), ext);
    EXPECT_NE(messageOf_([&] { pushFolder(*c, from.dir()); }).find("QuilExt.db"),
              std::string::npos);
    EXPECT_EQ(c->exec("SELECT count(*) FROM quil_items").integer(0, 0), 0);
    std::filesystem::remove(from.file("QuilExt.db"));
    EXPECT_FALSE(pushFolder(*c, from.dir()).extension);
    // A register on the server, and a destination holding its own QuilExt.db: left alone,
    // and so is everything else.
    c->run("INSERT INTO quil_alcohol_setting (key, value) VALUES ('company_name', 'x')");
    TempDir other;
    writeBytes(other.file("QuilExt.db"), "mine");
    EXPECT_THROW(pullFolder(*c, other.dir()), ServerError);
    EXPECT_EQ(fileBytes(other.file("QuilExt.db")), "mine");
    EXPECT_FALSE(std::filesystem::exists(other.file("Quil.qud")));
    EXPECT_FALSE(std::filesystem::exists(other.file("Quil.qui")));
    EXPECT_TRUE(pullFolder(*c, to.dir()).extension);
    EXPECT_TRUE(std::filesystem::exists(to.file("QuilExt.db")));
    EXPECT_FALSE(std::filesystem::exists(to.file("QuilExt.db.pulling")));
}

TEST(ServerSchemaUpgrade, AnOlderDataSetIsUpgradedOnceByItsOwnerAndRefusedToAClerk) {
    ScratchDatabase db;
    {
        PgConnection c(db.conninfo());
        initializeSchemaAt(c, 1);
        EXPECT_EQ(inspectSchema(c).is, SchemaState::Is::Older);
    }
    quil::test::LoginRole clerk(db.conninfo(), kClerkRole);
    try {
        ServerDataSet s(clerk.conninfo());
        ADD_FAILURE() << "a clerk upgraded the schema";
    } catch (const ServerError& e) {
        EXPECT_EQ(e.kind(), ServerError::Kind::NotAllowed);
        EXPECT_NE(std::string(e.what()).find("古い形式（形式 1）"), std::string::npos) << e.what();
    }
    PgConnection c(db.conninfo());
    EXPECT_EQ(inspectSchema(c).version, 1);
    ServerDataSet owner(db.conninfo());
    EXPECT_EQ(inspectSchema(c).is, SchemaState::Is::Current);
    EXPECT_EQ(c.exec("SELECT count(*) FROM quil_schema").integer(0, 0), 1);
    ServerDataSet afterwards(clerk.conninfo());
    EXPECT_TRUE(afterwards.writable());
}

TEST_F(ToolOnServer, BackupRestoreAndAccountsOfAServerDataSet) {
    ASSERT_EQ(run({"server", "init"}), tool::kExitOk) << err;
    quil::testing::writeSampleItems(folder.dir());
    store::RecordStore(folder.dir())
        .save(quil::testing::sampleRecord(0, store::encodeDate(2024, 5, 1), 7, 8), std::nullopt);
    ASSERT_EQ(run({"server", "push", folder.dir()}), tool::kExitOk) << err;
    TempDir backup;
    ASSERT_EQ(run({"backup", backup.dir()}), tool::kExitOk) << err;
    EXPECT_EQ(fileBytes(backup.file("Quil.qud")), fileBytes(folder.file("Quil.qud")));
    server::ServerDataSet(db.conninfo())
        .addRecord(quil::testing::sampleRecord(0, store::encodeDate(2024, 5, 2), 7, 8),
                   newSaveKey());
    ASSERT_EQ(run({"restore", backup.dir()}), tool::kExitOk) << err;
    EXPECT_EQ(server::ServerDataSet(db.conninfo()).recordCount(true), 1);
    // The status counts the live records and says how many deleted ones it left out.
    {
        server::ServerDataSet set(db.conninfo());
        const auto row = set.addRecord(
            quil::testing::sampleRecord(0, store::encodeDate(2024, 5, 3), 7, 8), newSaveKey());
        set.deleteRecord(row.id, row.version, newSaveKey());
    }
    ASSERT_EQ(run({"server", "status"}), tool::kExitOk) << err;
    EXPECT_NE(out.find("記録: 1 件 (ほかに削除した記録 1 件)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("役割: スーパーユーザー\n"), std::string::npos) << out;

    // Accounts. Roles belong to the whole cluster: this one is named for this run and
    // dropped at the end.
    const std::string name = "yamada_" + std::to_string(::getpid());
    const quil::test::DroppedRole drop(name);
    const auto verifier = [&] {
        server::PgConnection admin(quil::test::adminConninfo());
        return std::string(admin
                               .exec("SELECT rolpassword FROM pg_authid WHERE rolname = $1",
                                     {server::PgParam::text(name)})
                               .text(0, 0));
    };
    // The password comes from the standard input; a bad one changes nothing.
    EXPECT_EQ(run({"server", "account-add", name, "事務"}, {}, "short\n"), tool::kExitProblems);
    EXPECT_NE(err.find("8 文字以上"), std::string::npos) << err;
    ASSERT_EQ(run({"server", "account-add", name, "事務"}, {}, "yamada-pass-1\n"), tool::kExitOk)
        << err;
    EXPECT_EQ(run({"server", "account-add", name, "閲覧"}, {}, "yamada-pass-1\n"),
              tool::kExitProblems);
    EXPECT_EQ(run({"server", "account-add", "bad name", "閲覧"}, {}, "whatever-123\n"),
              tool::kExitProblems);
    EXPECT_EQ(run({"server", "account-add", "quil_x", "閲覧"}, {}, "whatever-123\n"),
              tool::kExitProblems);
    // The server keeps a SCRAM verifier, never the password itself.
    const std::string first = verifier();
    EXPECT_EQ(first.rfind("SCRAM-SHA-256$", 0), 0u) << first;
    // A superuser is called one, not 管理者; the database's owner (here the cluster's
    // superuser, whose name the program's own roles would hide) is listed as such.
    const quil::test::DroppedRole boss(name + "_super");
    server::PgConnection(quil::test::adminConninfo()).run("CREATE ROLE " + boss.name() + " SUPERUSER");
    ASSERT_EQ(run({"server", "accounts"}), tool::kExitOk);
    EXPECT_NE(out.find(name + "\t事務\n"), std::string::npos) << out;
    EXPECT_NE(out.find(boss.name() + "\tスーパーユーザー"), std::string::npos) << out;
    EXPECT_EQ(out.find(boss.name() + "\t管理者"), std::string::npos) << out;
    EXPECT_NE(out.find("\t所有者（スーパーユーザー）\n"), std::string::npos) << out;
    const std::string asYamada = db.conninfo() + " user=" + name;
    ASSERT_EQ(run({"server", "status"}, asYamada), tool::kExitOk) << err;
    EXPECT_NE(out.find("役割: 事務"), std::string::npos) << out;
    // A clerk may not manage accounts: the server refuses.
    EXPECT_EQ(run({"server", "account-role", name, "管理者"}, asYamada), tool::kExitProblems);
    ASSERT_EQ(run({"server", "account-role", name, "閲覧"}), tool::kExitOk) << err;
    ASSERT_EQ(run({"server", "account-disable", name}), tool::kExitOk) << err;
    ASSERT_EQ(run({"server", "accounts"}), tool::kExitOk);
    EXPECT_NE(out.find(name + "\t閲覧\t(無効)\n"), std::string::npos) << out;
    EXPECT_NE(run({"server", "status"}, asYamada), tool::kExitOk) << "a disabled account";
    ASSERT_EQ(run({"server", "account-enable", name}), tool::kExitOk) << err;
    ASSERT_EQ(run({"server", "account-password", name}, {}, "another-pass-2\n"), tool::kExitOk)
        << err;
    EXPECT_NE(verifier(), first);
    ASSERT_EQ(run({"server", "status"}, asYamada), tool::kExitOk) << err;
    EXPECT_NE(out.find("役割: 閲覧"), std::string::npos) << out;
    EXPECT_EQ(run({"server", "account-password", "nobody_here"}, {}, "another-pass-2\n"),
              tool::kExitProblems);
    // Made an administrator, the account manages the others, but never itself.
    ASSERT_EQ(run({"server", "account-role", name, "管理者"}), tool::kExitOk) << err;
    const std::string other = name + "_2";
    const quil::test::DroppedRole dropOther(other);
    ASSERT_EQ(run({"server", "account-add", other, "閲覧"}, asYamada, "sato-pass-123\n"),
              tool::kExitOk)
        << err;
    EXPECT_EQ(run({"server", "account-disable", name}, asYamada), tool::kExitProblems);
    EXPECT_NE(err.find("自分自身"), std::string::npos) << err;
    ASSERT_EQ(run({"server", "account-role", name, "事務"}, asYamada), tool::kExitProblems);
    ASSERT_EQ(run({"server", "accounts"}, asYamada), tool::kExitOk) << err;
    EXPECT_NE(out.find(name + "\t管理者\n"), std::string::npos) << out;
    EXPECT_NE(out.find(other + "\t閲覧\n"), std::string::npos) << out;
}
