// QuilExt.db: created on first use only, per-component schema versions, migrations that
// either finish or leave the file as it was, and clear refusals of files it cannot use.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "ext/ExtDatabase.h"
#include "store/ItemStore.h"

namespace quil::ext {
namespace {

using quil::testing::readBytes;
using quil::testing::TempDir;
using quil::testing::writeBytes;

const std::vector<Migration> kCycles = {
    {1, {QStringLiteral("CREATE TABLE cycle(item INTEGER PRIMARY KEY, months INTEGER)")}},
    {2,
     {QStringLiteral("ALTER TABLE cycle ADD COLUMN km INTEGER"),
      QStringLiteral("UPDATE cycle SET km = 0")}},
};

int countRows(ExtDatabase& db, const QString& table) {
    QSqlQuery q = db.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
    return q.next() ? q.value(0).toInt() : -1;
}

TEST(ExtDatabaseOpen, AMissingFileMeansNoDataUntilAWriterCreatesIt) {
    TempDir dir;
    {
        ExtDatabase db(dir.dir());
        EXPECT_FALSE(db.open(false));
        EXPECT_FALSE(db.isOpen());
    }
    EXPECT_FALSE(ExtDatabase::exists(dir.dir()));
    {
        ExtDatabase db(dir.dir());
        ASSERT_TRUE(db.open(true));
        EXPECT_EQ(db.version(QStringLiteral("analysis")), 0);
    }
    EXPECT_TRUE(ExtDatabase::exists(dir.dir()));
    // No journal or write-ahead file stays beside it: copying the one file is a whole copy.
    EXPECT_FALSE(readBytes(dir.file("QuilExt.db-wal")));
    EXPECT_FALSE(readBytes(dir.file("QuilExt.db-journal")));
}

TEST(ExtDatabaseOpen, AFileThatIsNoDatabaseIsRefusedAndLeftAlone) {
    TempDir dir;
    const std::string junk(4096, 'x');
    writeBytes(dir.file("QuilExt.db"), junk);
    ExtDatabase db(dir.dir());
    try {
        db.open(true);
        FAIL() << "a text file opened as a database";
    } catch (const ExtError& e) {
        EXPECT_NE(std::string(e.what()).find("QuilExt.db"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(readBytes(dir.file("QuilExt.db")), junk);
}

TEST(ExtDatabaseMigrate, AnEmptyFileReachesTheLastVersionAndStaysThere) {
    TempDir dir;
    {
        ExtDatabase db(dir.dir());
        db.open();
        db.migrate(QStringLiteral("analysis"), kCycles);
        EXPECT_EQ(db.version(QStringLiteral("analysis")), 2);
        db.exec(QStringLiteral("INSERT INTO cycle(item, months, km) VALUES(?, ?, ?)"),
                {3, 6, 5000});
    }
    ExtDatabase again(dir.dir());
    ASSERT_TRUE(again.open(false));
    again.migrate(QStringLiteral("analysis"), kCycles);  // nothing left to do: data kept
    EXPECT_EQ(countRows(again, QStringLiteral("cycle")), 1);
}

TEST(ExtDatabaseMigrate, AnOlderFileIsBroughtUpKeepingItsRows) {
    TempDir dir;
    {
        ExtDatabase db(dir.dir());
        db.open();
        db.migrate(QStringLiteral("analysis"), {kCycles[0]});
        db.exec(QStringLiteral("INSERT INTO cycle(item, months) VALUES(1, 12)"));
    }
    ExtDatabase db(dir.dir());
    db.open();
    db.migrate(QStringLiteral("analysis"), kCycles);
    EXPECT_EQ(db.version(QStringLiteral("analysis")), 2);
    QSqlQuery q = db.exec(QStringLiteral("SELECT months, km FROM cycle WHERE item = 1"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 12);
    EXPECT_EQ(q.value(1).toInt(), 0);
}

TEST(ExtDatabaseMigrate, ComponentsKeepTheirOwnVersions) {
    TempDir dir;
    ExtDatabase db(dir.dir());
    db.open();
    db.migrate(QStringLiteral("analysis"), kCycles);
    db.migrate(QStringLiteral("alcohol"),
               {{1, {QStringLiteral("CREATE TABLE checks(id INTEGER PRIMARY KEY)")}}});
    EXPECT_EQ(db.version(QStringLiteral("analysis")), 2);
    EXPECT_EQ(db.version(QStringLiteral("alcohol")), 1);
}

TEST(ExtDatabaseMigrate, AFailingStepRollsBackEveryEarlierStep) {
    TempDir dir;
    ExtDatabase db(dir.dir());
    db.open();
    const std::vector<Migration> broken = {
        {1, {QStringLiteral("CREATE TABLE a(x INTEGER)")}},
        {2, {QStringLiteral("CREATE TABLE b(y INTEGER)"), QStringLiteral("THIS IS NOT SQL")}},
    };
    EXPECT_THROW(db.migrate(QStringLiteral("analysis"), broken), ExtError);
    EXPECT_EQ(db.version(QStringLiteral("analysis")), 0);
    QSqlQuery q =
        db.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('a', 'b')"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
}

TEST(ExtDatabaseMigrate, AFileFromANewerProgramIsRefusedUnchanged) {
    TempDir dir;
    {
        ExtDatabase db(dir.dir());
        db.open();
        db.migrate(QStringLiteral("analysis"), kCycles);
    }
    const auto before = readBytes(dir.file("QuilExt.db"));
    ExtDatabase db(dir.dir());
    db.open();
    EXPECT_THROW(db.migrate(QStringLiteral("analysis"), {kCycles[0]}), ExtError);
    EXPECT_EQ(db.version(QStringLiteral("analysis")), 2);
    EXPECT_EQ(readBytes(dir.file("QuilExt.db")), before);
}

TEST(ExtDatabaseTransaction, WorkThatThrowsLeavesNoRowBehind) {
    TempDir dir;
    ExtDatabase db(dir.dir());
    db.open();
    db.migrate(QStringLiteral("analysis"), kCycles);
    EXPECT_THROW(db.transaction([&] {
        db.exec(QStringLiteral("INSERT INTO cycle(item, months, km) VALUES(1, 6, 5000)"));
        throw std::runtime_error("stopped halfway");
    }),
                 std::runtime_error);
    EXPECT_EQ(countRows(db, QStringLiteral("cycle")), 0);
    db.transaction(
        [&] { db.exec(QStringLiteral("INSERT INTO cycle(item, months, km) VALUES(1, 6, 5000)")); });
    EXPECT_EQ(countRows(db, QStringLiteral("cycle")), 1);
}

TEST(ExtDatabaseExec, ABadStatementNamesTheFile) {
    TempDir dir;
    ExtDatabase db(dir.dir());
    db.open();
    try {
        db.exec(QStringLiteral("SELECT * FROM no_such_table"));
        FAIL();
    } catch (const ExtError& e) {
        EXPECT_NE(std::string(e.what()).find("QuilExt.db"), std::string::npos);
    }
}

}  // namespace
// A Quil.qui whose first record carries `stamp`.
void writeItemFile(const TempDir& dir, double stamp) {
    store::ItemRecord item;
    item.setStamp(stamp);
    store::ItemStore(dir.dir()).append(item);
}

TEST(ExtDatabaseStamp, AFileOfAnotherDataSetIsSetAsideAndNeverRead) {
    TempDir dir;
    writeItemFile(dir, 1000.25);
    {
        ExtDatabase db(dir.dir());
        ASSERT_TRUE(db.open(true));
        db.migrate(QStringLiteral("cycles"), kCycles);
        db.exec(QStringLiteral("INSERT INTO cycle(item, months, km) VALUES(3, 6, 0)"));
    }
    {
        ExtDatabase db(dir.dir());
        ASSERT_TRUE(db.open(false)) << "its own data set opens it as before";
        EXPECT_EQ(countRows(db, QStringLiteral("cycle")), 1);
    }

    // The data set is replaced by another one (another stamp) and the file stays behind.
    std::filesystem::remove(dir.file("Quil.qui"));
    writeItemFile(dir, 2000.75);
    std::vector<std::pair<std::string, std::string>> told;
    ExtDatabase::setSetAsideHandler(
        [&](const std::string& from, const std::string& to) { told.emplace_back(from, to); });
    {
        ExtDatabase db(dir.dir());
        EXPECT_FALSE(db.open(false)) << "another data set's rows are never read";
    }
    ExtDatabase::setSetAsideHandler({});
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].first, dir.file("QuilExt.db"));
    EXPECT_FALSE(ExtDatabase::exists(dir.dir()));
    ASSERT_TRUE(std::filesystem::exists(told[0].second)) << "set aside, not deleted";
    EXPECT_NE(told[0].second.find("QuilExt.db."), std::string::npos);
    {
        ExtDatabase db(dir.dir());
        ASSERT_TRUE(db.open(true));
        db.migrate(QStringLiteral("cycles"), kCycles);
        EXPECT_EQ(countRows(db, QStringLiteral("cycle")), 0);
    }
}

}  // namespace quil::ext
