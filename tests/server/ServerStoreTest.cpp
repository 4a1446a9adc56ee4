// The server data set through its public interface, on a scratch database of the test
// cluster: opening and its refusals, versions, save keys, order, change notices and rights.

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "LoginRole.h"
#include "PgTestCluster.h"
#include "RecordBuilders.h"
#include "SampleDataSet.h"
#include "ServerTestData.h"
#include "TempDir.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "store/Date.h"

using namespace quil;
using namespace quil::server;
using quil::test::LoginRole;
using quil::test::ScratchDatabase;
using quil::testing::makeRecord;

namespace {

ServerError::Kind kindOfFailure(const std::function<void()>& f) {
    try {
        f();
    } catch (const ServerError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no ServerError";
    return ServerError::Kind::Other;
}

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ServerError& e) {
        return e.what();
    }
    return {};
}

class ServerStore : public ::testing::Test {
protected:
    ScratchDatabase db;
    void SetUp() override {
        PgConnection c(db.conninfo());
        initializeSchema(c);
    }
    std::int64_t rows(const std::string& sql) {
        PgConnection c(db.conninfo());
        return c.exec(sql).integer(0, 0);
    }
};

}  // namespace

TEST(ServerOpen, EachWrongPlaceGetsItsOwnMessageAndNothingIsWritten) {
    ScratchDatabase db;
    // An empty database, and one holding something else, are no data set.
    EXPECT_EQ(kindOfFailure([&] { ServerDataSet s(db.conninfo()); }),
              ServerError::Kind::NotADataSet);
    {
        PgConnection c(db.conninfo());
        c.run("CREATE TABLE invoices (id int)");
    }
    EXPECT_NE(messageOf([&] { ServerDataSet s(db.conninfo()); }).find("server init"),
              std::string::npos);
    EXPECT_EQ(kindOfFailure([&] {
                  PgConnection c(db.conninfo());
                  initializeSchema(c);
              }),
              ServerError::Kind::Refused);
    {
        PgConnection c(db.conninfo());
        EXPECT_EQ(c.exec("SELECT to_regclass('quil_records') IS NULL").text(0, 0), "t");
    }
    // A malformed string, an unknown database, a server that is not there.
    EXPECT_EQ(kindOfFailure([] { PgConnection c("host=/tmp port"); }), ServerError::Kind::Settings);
    const std::string unknown = quil::test::adminConninfo("no_such_database_here");
    EXPECT_EQ(kindOfFailure([&] { PgConnection c(unknown); }), ServerError::Kind::Login);
    EXPECT_NE(
        messageOf([&] { PgConnection c(unknown); }).find("データベースがサーバーにありません"),
        std::string::npos);
    quil::testing::TempDir nowhere;
    EXPECT_EQ(kindOfFailure([&] { PgConnection c("host=" + nowhere.path() + " dbname=x"); }),
              ServerError::Kind::Connection);
    EXPECT_TRUE(conninfoHasPassword("host=h dbname=d password=secret"));
    EXPECT_FALSE(conninfoHasPassword("service=quil"));
}

TEST(ServerOpen, ARefusalIsSortedByItsCodeWhateverLanguageTheServerSpeaks) {
    // A server set up under a Japanese locale words its refusals in Japanese.
    const std::string head = "サーバー（ソケット\"/run/postgresql/.s.PGSQL.5432\"）への接続に失敗しました: ";
    const auto refusal = [&](const std::string& code, const std::string& text) {
        ConnectFailure f;
        f.message = head + "致命的エラー:  " + code + ": " + text + "\n場所:  auth_failed, auth.c:326\n";
        return connectionFailure("quil (db)", f);
    };
    ServerError e = refusal("28P01", "ユーザー\"taro\"のパスワード認証に失敗しました");
    EXPECT_EQ(e.kind(), ServerError::Kind::Login);
    const std::string wrong = e.what();
    EXPECT_NE(wrong.find("パスワードが違う"), std::string::npos) << wrong;
    EXPECT_NE(wrong.find("致命的エラー:  ユーザー\"taro\"のパスワード認証に失敗しました）"),
              std::string::npos) << wrong;
    EXPECT_EQ(wrong.find("場所"), std::string::npos) << wrong;
    EXPECT_EQ(wrong.find("28P01"), std::string::npos) << wrong;
    e = refusal("3D000", "データベース\"quil\"は存在しません");
    EXPECT_NE(std::string(e.what()).find("データベースがサーバーにありません"), std::string::npos);
    e = refusal("28000", "ロール\"hanako\"は存在しません");
    EXPECT_NE(std::string(e.what()).find("登録されていない"), std::string::npos);
    e = refusal("42501", "データベース\"quil\"へのアクセスが拒否されました");
    EXPECT_NE(std::string(e.what()).find("接続する権限がありません"), std::string::npos);
    ConnectFailure noPassword;
    noPassword.message = head + "fe_sendauth: パスワードが与えられていません\n";
    noPassword.needsPassword = true;
    EXPECT_NE(std::string(connectionFailure("quil (db)", noPassword).what())
                  .find("パスワードが設定されていません"),
              std::string::npos);
    // The real connection finds the code too: an unknown role, a service nobody defined.
    const std::string stranger = "host=" + quil::test::pgSocketDir() +
                                 " port=5432 user=no_such_role_here dbname=postgres";
    EXPECT_EQ(kindOfFailure([&] { PgConnection c(stranger); }), ServerError::Kind::Login);
    EXPECT_NE(messageOf([&] { PgConnection c(stranger); }).find("登録されていない"),
              std::string::npos);
    EXPECT_EQ(kindOfFailure([] { PgConnection c("service=quil_no_such_service"); }),
              ServerError::Kind::Settings);
    // A service names its host in its file: it is not called this computer.
    EXPECT_EQ(describeConninfo("service=quil"), "service=quil");
    EXPECT_EQ(describeConninfo("service=quil dbname=daicho"), "daicho (service=quil)");
    EXPECT_EQ(describeConninfo("host=db.example dbname=daicho"), "daicho (db.example)");
}

TEST_F(ServerStore, ADataSetOfANewerProgramIsRefusedUnchanged) {
    {
        PgConnection c(db.conninfo());
        c.run("UPDATE quil_schema SET version = 99");
    }
    const std::string message = messageOf([&] { ServerDataSet s(db.conninfo()); });
    EXPECT_NE(message.find("形式 99"), std::string::npos) << message;
    EXPECT_EQ(rows("SELECT max(version) FROM quil_schema"), 99);
    quil::testing::TempDir dest;
    PgConnection c(db.conninfo());
    EXPECT_EQ(kindOfFailure([&] { pullFolder(c, dest.dir()); }), ServerError::Kind::Newer);
    EXPECT_FALSE(std::filesystem::exists(dest.file("Quil.qud")));
}

TEST_F(ServerStore, AnEditOrDeleteOfAChangedRecordIsRefusedAndKeepsTheOtherChange) {
    ServerDataSet a(db.conninfo());
    ServerDataSet b(db.conninfo());
    const RecordRow added = a.addRecord(makeRecord(45000, 0, 1, 100), newSaveKey());
    EXPECT_EQ(added.version, 1);
    // b read it too; a edits first.
    const RecordRow seenByB = b.readRecord(added.id);
    const RecordRow edited =
        a.editRecord(added.id, added.version, makeRecord(45000, 0, 1, 200), newSaveKey());
    EXPECT_EQ(edited.version, 2);
    EXPECT_EQ(kindOfFailure([&] {
                  b.editRecord(seenByB.id, seenByB.version, makeRecord(45000, 0, 1, 300),
                               newSaveKey());
              }),
              ServerError::Kind::Conflict);
    EXPECT_EQ(kindOfFailure([&] { b.deleteRecord(seenByB.id, seenByB.version, newSaveKey()); }),
              ServerError::Kind::Conflict);
    EXPECT_EQ(b.readRecord(added.id).record.price(), 200);
    EXPECT_EQ(messageOf([&] {
                  b.editRecord(seenByB.id, seenByB.version, makeRecord(45000, 0, 1, 300),
                               newSaveKey());
              }).find(kRecordChangedMessage) != std::string::npos,
              true);
    // A deleted record cannot be edited or deleted again, even at its latest version.
    b.deleteRecord(added.id, 2, newSaveKey());
    const RecordRow gone = a.readRecord(added.id);
    EXPECT_TRUE(gone.record.deleted());
    EXPECT_EQ(gone.version, 3);
    EXPECT_EQ(
        kindOfFailure([&] { a.editRecord(added.id, 3, makeRecord(45000, 0, 1, 1), newSaveKey()); }),
        ServerError::Kind::Conflict);
    EXPECT_EQ(a.recordCount(), 0);
    EXPECT_EQ(a.recordCount(true), 1);
}

TEST_F(ServerStore, ASaveSentAgainUnderItsKeyIsDoneOnce) {
    ServerDataSet s(db.conninfo());
    const std::string key = newSaveKey();
    const RecordRow first = s.addRecord(makeRecord(45000, 0, 1, 100), key);
    const RecordRow again = s.addRecord(makeRecord(45000, 0, 1, 100), key);
    EXPECT_EQ(first.id, again.id);
    EXPECT_EQ(rows("SELECT count(*) FROM quil_records"), 1);
    const std::string editKey = newSaveKey();
    const RecordRow e1 = s.editRecord(first.id, 1, makeRecord(45000, 0, 1, 5), editKey);
    // The answer of the first edit, not a conflict and not a second version.
    const RecordRow e2 = s.editRecord(first.id, 1, makeRecord(45000, 0, 1, 5), editKey);
    EXPECT_EQ(e1.version, 2);
    EXPECT_EQ(e2.version, 2);
    EXPECT_EQ(rows("SELECT version FROM quil_records"), 2);
    const std::string itemKey = newSaveKey();
    store::ItemRecord item;
    item.setKind(store::ItemKind::Vehicle);
    item.setName("社用車");
    EXPECT_EQ(s.addItem(item, itemKey).position, s.addItem(item, itemKey).position);
    EXPECT_EQ(s.items().size(), 1u);
    EXPECT_EQ(s.items()[0].item.name(), "社用車");
    EXPECT_EQ(kindOfFailure([&] { s.addRecord(makeRecord(1, 0, 0), "short"); }),
              ServerError::Kind::Other);
}

TEST_F(ServerStore, RecordsComeInTheListsOrderAndAnEditMovesBehindItsNewNeighbours) {
    ServerDataSet s(db.conninfo());
    const double d1 = store::encodeDate(2024, 5, 1);
    const double d2 = store::encodeDate(2024, 5, 2);
    const RecordRow late = s.addRecord(makeRecord(d2, 0, 1, 1), newSaveKey());
    const RecordRow early = s.addRecord(makeRecord(d1, 1, 1, 2), newSaveKey());
    s.addRecord(makeRecord(d1, 0, 2, 3), newSaveKey());
    s.addRecord(makeRecord(d1, 0, 1, 4), newSaveKey());
    const RecordRow twin = s.addRecord(makeRecord(d2, 0, 1, 5), newSaveKey());
    const auto prices = [&] {
        std::vector<int> out;
        s.scanRecords([&](const RecordRow& r) { out.push_back(r.record.price()); });
        return out;
    };
    EXPECT_EQ(prices(), (std::vector<int>{4, 3, 2, 1, 5}));
    // Moved to d2 vehicle 0 user 1: after both records already there.
    s.editRecord(early.id, early.version, makeRecord(d2, 0, 1, 2), newSaveKey());
    EXPECT_EQ(prices(), (std::vector<int>{4, 3, 1, 5, 2}));
    // An edit that keeps the key keeps the place.
    s.editRecord(late.id, late.version, makeRecord(d2, 0, 1, 9), newSaveKey());
    EXPECT_EQ(prices(), (std::vector<int>{4, 3, 9, 5, 2}));
    s.deleteRecord(twin.id, twin.version, newSaveKey());
    EXPECT_EQ(prices(), (std::vector<int>{4, 3, 9, 2}));
}

// 21,000 live drives of vehicle 0 and user 1, 7,000 a day: more than one page of a scan,
// many sharing their date, vehicle and user.
void insertSameDayDrives(PgConnection& c) {
    // The bytes say what the columns say: the date (little-endian) at 20, the user at 30.
    c.run(
        "INSERT INTO quil_records (raw, date, vehicle, user_no, kind, deleted) "
        "SELECT overlay(set_byte(set_byte(decode(repeat('00', 256), 'hex'), 52, g % 256), 30, 1) "
        "       placing (SELECT string_agg(substring(float8send(d) FROM 9 - i FOR 1), ''::bytea "
        "                                  ORDER BY i) FROM generate_series(1, 8) i) "
        "       FROM 21 FOR 8), d, 0, 1, 0, false "
        "FROM (SELECT g, (45000 + g / 7000)::float8 AS d FROM generate_series(0, 20999) g) s");
}

TEST_F(ServerStore, AScanReadsPagesToTheEnd) {
    PgConnection c(db.conninfo());
    insertSameDayDrives(c);
    ServerDataSet s(db.conninfo());
    std::int64_t n = 0;
    double lastDate = 0;
    bool ordered = true;
    std::set<std::int64_t> ids;
    s.scanRecords([&](const RecordRow& r) {
        ++n;
        ordered = ordered && r.record.date() >= lastDate;
        lastDate = r.record.date();
        ids.insert(r.id);
    });
    EXPECT_EQ(n, 21000);
    EXPECT_EQ(ids.size(), 21000u);
    EXPECT_TRUE(ordered);
}

// The drives stream in one answer; a connection cut in the middle of it is made again and
// the stream goes on after the last drive handed over, each drive coming once, in order.
TEST_F(ServerStore, ADriveStreamCutMidwayGoesOnAfterTheLastDriveHandedOver) {
    PgConnection c(db.conninfo());
    insertSameDayDrives(c);
    ServerDataSet s(db.conninfo());
    const int pid = s.connection().backendPid();
    PgConnection admin(quil::test::adminConninfo());
    std::vector<std::int64_t> ids;
    s.scanDrives({}, [&](const store::DriveFacts& d) {
        ids.push_back(d.id);
        if (ids.size() == 100)
            admin.exec("SELECT pg_terminate_backend($1)", {PgParam::number(pid)});
    });
    EXPECT_NE(s.connection().backendPid(), pid);
    ASSERT_EQ(ids.size(), 21000u);
    // Inserted in the list's order, so the ids run up one by one.
    for (std::size_t i = 1; i < ids.size(); ++i) ASSERT_EQ(ids[i], ids[i - 1] + 1) << i;
}

TEST_F(ServerStore, OtherProgramsHearOfAChangeAndTheSaverDoesNot) {
    ServerDataSet writer(db.conninfo());
    ServerDataSet reader(db.conninfo());
    writer.listen();
    reader.listen();
    const auto waitFor = [](ServerDataSet& s) { return test::changesHeard(s); };
    const RecordRow added = writer.addRecord(makeRecord(45000, 0, 1, 5), newSaveKey());
    const auto heard = waitFor(reader);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].what, store::DataSetChange::What::RecordsChanged);
    EXPECT_EQ(heard[0].source, store::ChangeSource::Elsewhere);
    // Told one by one, with what the record holds now.
    EXPECT_EQ(heard[0].serverId, added.id);
    EXPECT_EQ(heard[0].record.price(), 5);
    EXPECT_FALSE(heard[0].serverDeleted);
    EXPECT_TRUE(heard[0].isAddedElsewhere());  // its row's first version
    const RecordRow edited =
        writer.editRecord(added.id, added.version, makeRecord(45000, 0, 1, 7), newSaveKey());
    const auto edit = waitFor(reader);
    ASSERT_EQ(edit.size(), 1u);
    EXPECT_EQ(edit[0].serverVersion, edited.version);
    EXPECT_FALSE(edit[0].isAddedElsewhere());
    // An edit tells the record it replaced, so both are the records it touched.
    ASSERT_TRUE(edit[0].previous);
    EXPECT_EQ(edit[0].previous->price(), 5);
    ASSERT_TRUE(edit[0].touchedRecords());
    EXPECT_EQ(edit[0].touchedRecords()->size(), 2u);
    // Two edits before the reader looks: the record it last heard of is not the one the
    // second edit replaced, so no former record is told and the change is a whole one.
    const RecordRow twice = writer.editRecord(
        edited.id, writer.editRecord(edited.id, edited.version, makeRecord(45000, 0, 1, 8),
                                     newSaveKey()).version,
        makeRecord(45000, 0, 1, 9), newSaveKey());
    const auto burst = waitFor(reader);
    ASSERT_EQ(burst.size(), 1u);
    EXPECT_EQ(burst[0].record.price(), 9);
    EXPECT_FALSE(burst[0].previous);
    EXPECT_FALSE(burst[0].touchedRecords());
    writer.deleteRecord(twice.id, twice.version, newSaveKey());
    const auto deleted = waitFor(reader);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_TRUE(deleted[0].serverDeleted);
    EXPECT_FALSE(deleted[0].isAddedElsewhere());
    EXPECT_TRUE(waitFor(writer).empty());
    store::ItemRecord item;
    item.setKind(store::ItemKind::User);
    writer.addItem(item, newSaveKey());
    const auto items = waitFor(reader);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].what, store::DataSetChange::What::ItemsChanged);
}

// A connection made again on another thread takes a broken one's place without asking the
// server anything: changes are heard through it from the state it read, so that what others
// did before it was made (read again whole by its owner) is not told.
TEST_F(ServerStore, AConnectionMadeAgainElsewhereTakesTheBrokenOnesPlace) {
    ServerDataSet writer(db.conninfo());
    ServerDataSet reader(db.conninfo());
    reader.listen();
    const int pid = reader.connection().backendPid();
    PgConnection admin(quil::test::adminConninfo());
    admin.exec("SELECT pg_terminate_backend($1)", {PgParam::number(pid)});
    writer.addRecord(makeRecord(45000, 0, 1, 5), newSaveKey());
    std::unique_ptr<ServerDataSet::Replacement> fresh;
    std::thread([&] { fresh = ServerDataSet::connectAgain(db.conninfo()); }).join();
    ASSERT_TRUE(fresh);
    const auto allowConnections = [&](bool allow) {
        admin.run("ALTER DATABASE \"" + db.name() + "\" WITH ALLOW_CONNECTIONS " +
                  (allow ? "true" : "false"));
    };
    allowConnections(false);
    reader.takeOver(*fresh);
    EXPECT_TRUE(reader.connected());
    EXPECT_NE(reader.connection().backendPid(), pid);
    const auto heard = [&] { return test::changesHeard(reader); };
    EXPECT_TRUE(heard().empty());
    const RecordRow after = writer.addRecord(makeRecord(45001, 0, 1, 6), newSaveKey());
    const auto got = heard();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].serverId, after.id);
    EXPECT_EQ(reader.recordCount(false), 2);
    allowConnections(true);
}

TEST_F(ServerStore, AnAnnouncementThatNamesNothingNewTellsNothing) {
    ServerDataSet writer(db.conninfo());
    ServerDataSet reader(db.conninfo());
    reader.listen();
    const RecordRow real = writer.addRecord(makeRecord(45000, 0, 1, 5), newSaveKey());
    std::string realPayload;
    {
        PgConnection peek(db.conninfo());
        const std::string stamp(
            peek.exec("SELECT changed FROM quil_records WHERE id = " + std::to_string(real.id))
                .text(0, 0));
        realPayload = "r insert " + std::to_string(real.id) + " 1 " + stamp;
    }
    ASSERT_TRUE(reader.connection().waitReadable(1000));
    ASSERT_EQ(reader.takeChanges().size(), 1u);

    // Anyone who may connect may announce: nonsense, an unknown record, the real change
    // again, and master lists and register parts that did not change.
    PgConnection forger(db.conninfo());
    inTransaction(forger, [&] {
        for (const std::string& payload :
             {std::string("x"), std::string("replaced 1"), std::string("r update 999999 2 77"),
              realPayload, std::string("i update 0 2 9"), std::string("e checks 3"),
              std::string("e detectors"), std::string("e cycles 1")})
            forger.exec("SELECT pg_notify('quil_changes', $1)", {PgParam::text(payload)});
    });
    ASSERT_TRUE(reader.connection().waitReadable(1000));
    EXPECT_TRUE(reader.takeChanges().empty());

    // A real change still arrives, alone and one by one.
    writer.editRecord(real.id, real.version, makeRecord(45000, 0, 1, 6), newSaveKey());
    ASSERT_TRUE(reader.connection().waitReadable(1000));
    const auto heard = reader.takeChanges();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].serverId, real.id);
    EXPECT_EQ(heard[0].record.price(), 6);
}

TEST_F(ServerStore, AChangeCommittedAfterLaterOnesWereHeardIsStillHeard) {
    ServerDataSet writer(db.conninfo());
    ServerDataSet reader(db.conninfo());
    const RecordRow early = writer.addRecord(makeRecord(45000, 0, 1, 5), newSaveKey());
    reader.listen();
    // A slow transaction stamps its row first and commits after many others were heard.
    PgConnection slow(db.conninfo());
    slow.run("BEGIN");
    slow.exec("UPDATE quil_records SET version = version + 1 WHERE id = " +
              std::to_string(early.id));
    std::vector<store::DataRecord> many;
    for (int i = 0; i < 90; ++i) many.push_back(makeRecord(45001, 0, 1, i));
    writer.addRecords(many, 0);
    ASSERT_TRUE(reader.connection().waitReadable(1000));
    EXPECT_EQ(reader.takeChanges().size(), 90u);
    slow.run("COMMIT");
    ASSERT_TRUE(reader.connection().waitReadable(1000));
    const auto heard = reader.takeChanges();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].serverId, early.id);
}

TEST_F(ServerStore, RightsAreTheDatabasesNotOnlyTheProgramsAndAViewerReadsOnly) {
    ServerDataSet owner(db.conninfo());
    const RecordRow r = owner.addRecord(makeRecord(45000, 0, 1), newSaveKey());
    LoginRole viewer(db.conninfo(), kViewerRole);
    LoginRole clerk(db.conninfo(), kClerkRole);
    ServerDataSet asViewer(viewer.conninfo());
    EXPECT_FALSE(asViewer.writable());
    EXPECT_EQ(asViewer.roleTitle(), "閲覧");
    EXPECT_EQ(asViewer.recordCount(), 1);
    EXPECT_EQ(kindOfFailure([&] { asViewer.addRecord(makeRecord(45001, 0, 1), newSaveKey()); }),
              ServerError::Kind::NotAllowed);
    // Around the program too: plain SQL is refused by the grants.
    EXPECT_EQ(kindOfFailure([&] { asViewer.connection().run("UPDATE quil_records SET kind = 2"); }),
              ServerError::Kind::NotAllowed);
    ServerDataSet asClerk(clerk.conninfo());
    EXPECT_TRUE(asClerk.writable());
    EXPECT_EQ(asClerk.roleTitle(), "事務");
    asClerk.editRecord(r.id, r.version, makeRecord(45000, 0, 1, 7), newSaveKey());
    asClerk.addRecord(makeRecord(45002, 0, 1), newSaveKey());
    // A clerk changes records but cannot remove rows or the tables.
    EXPECT_EQ(kindOfFailure([&] { asClerk.connection().run("DELETE FROM quil_records"); }),
              ServerError::Kind::NotAllowed);
    EXPECT_EQ(kindOfFailure([&] { asClerk.connection().run("DROP TABLE quil_saves"); }),
              ServerError::Kind::NotAllowed);
    EXPECT_EQ(owner.recordCount(), 2);
    EXPECT_EQ(owner.roleTitle(), "管理者");
}

TEST_F(ServerStore, TheAnswersOfSavesOlderThanAMonthGoWhenAProgramThatSavesOpens) {
    {
        ServerDataSet s(db.conninfo());
        s.addRecord(makeRecord(45000, 0, 1), newSaveKey());
        s.connection().run("UPDATE quil_saves SET saved_at = now() - interval '40 days'");
        s.addRecord(makeRecord(45001, 0, 1), newSaveKey());
    }
    // A viewer cannot remove them; a clerk's program does.
    LoginRole viewer(db.conninfo(), kViewerRole);
    { ServerDataSet asViewer(viewer.conninfo()); }
    EXPECT_EQ(rows("SELECT count(*) FROM quil_saves"), 2);
    LoginRole clerk(db.conninfo(), kClerkRole);
    { ServerDataSet asClerk(clerk.conninfo()); }
    EXPECT_EQ(rows("SELECT count(*) FROM quil_saves"), 1);
    EXPECT_EQ(rows("SELECT count(*) FROM quil_records"), 2);
}
