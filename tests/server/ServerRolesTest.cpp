// What each login of a data set may do on the server, tried as an attacker with an ordinary
// login would: powers over the server, other data sets, rows whose columns lie about their
// bytes, and secrets in the server's log.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "LoginRole.h"
#include "PgTestCluster.h"
#include "RecordBuilders.h"
#include "ServerTestData.h"
#include "server/PgConnection.h"
#include "server/ServerAccounts.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/WebAccounts.h"
#include "server/WebRecords.h"

using namespace quil;
using namespace quil::server;
using quil::test::DroppedRole;
using quil::test::LoginRole;
using quil::test::ScratchDatabase;

namespace {

using K = ServerError::Kind;

// A role name of this test process only (roles belong to the whole cluster).
std::string uniqueName(const std::string& stem) {
    static int n = 0;
    return stem + "_" + std::to_string(::getpid()) + "_" + std::to_string(++n);
}

// True when the server refuses the statement.
bool refused(PgConnection& c, const std::string& sql) {
    try {
        c.run(sql);
    } catch (const ServerError&) {
        return true;
    }
    return false;
}

}  // namespace

TEST(ServerRolesTest, AnAdministratorManagesHisDataSetsAccountsAndHasNoPowerBeyond) {
    ScratchDatabase db;
    PgConnection superuser(db.conninfo());
    // The database belongs to an owner who is no superuser, as the server's administrator
    // sets one up; the data set's 管理者 is a member of his role too (the account functions
    // must still refuse to touch him).
    const DroppedRole owner(uniqueName("owner"));
    superuser.run("CREATE ROLE " + owner.name() + " LOGIN");
    superuser.run("ALTER DATABASE " + db.name() + " OWNER TO " + owner.name());
    initializeSchema(superuser);
    superuser.run("GRANT " + groupRole(superuser, kAdminRole) + " TO " + owner.name());

    const DroppedRole admin(uniqueName("admin")), clerk(uniqueName("clerk"));
    addAccount(superuser, admin.name(), "初めの合言葉-1", AccountRole::Admin);
    PgConnection a(db.conninfo() + " user=" + admin.name());

    // Adding, re-roling, disabling and resetting this data set's accounts works.
    addAccount(a, clerk.name(), "初めの合言葉-2", AccountRole::Clerk);
    setAccountRole(a, clerk.name(), AccountRole::Viewer);
    setAccountLogIn(a, clerk.name(), false);
    setAccountPassword(a, clerk.name(), "新しい合言葉-3");
    setAccountPassword(a, admin.name(), "自分の合言葉-4");
    const std::vector<Account> accounts = listAccounts(a);
    const auto c = std::find_if(accounts.begin(), accounts.end(),
                                [&](const Account& x) { return x.name == clerk.name(); });
    ASSERT_NE(c, accounts.end());
    EXPECT_EQ(c->role, AccountRole::Viewer);
    EXPECT_FALSE(c->canLogIn);
    EXPECT_EQ(superuser.exec("SELECT count(*) FROM pg_roles WHERE rolcreaterole AND rolcanlogin "
                             "AND NOT rolsuper")
                  .integer(0, 0),
              0);

    // The server itself refuses every power beyond the data set.
    for (const char* power : {"pg_execute_server_program", "pg_read_server_files",
                              "pg_write_server_files", "pg_signal_backend"})
        EXPECT_TRUE(refused(a, std::string("GRANT ") + power + " TO " + admin.name())) << power;
    for (const char* attribute : {"SUPERUSER", "CREATEDB", "BYPASSRLS", "CREATEROLE", "LOGIN"})
        EXPECT_TRUE(refused(a, std::string("CREATE ROLE ") + uniqueName("x") + " " + attribute))
            << attribute;
    EXPECT_TRUE(refused(a, "ALTER ROLE " + owner.name() + " NOLOGIN"));
    EXPECT_TRUE(refused(a, "ALTER ROLE " + clerk.name() + " LOGIN"));
    EXPECT_TRUE(refused(a, "GRANT " + groupRole(a, kAdminRole) + " TO " + clerk.name()));
    EXPECT_TRUE(refused(a, "SET ROLE " + groupRole(a, "accounts")));
    EXPECT_TRUE(refused(a, "COPY (SELECT 1) TO PROGRAM 'id'"));
    EXPECT_TRUE(refused(a, "CREATE TABLE quil_trap (x int)"));

    // The account functions touch this data set's accounts only: not the owner, not a
    // login of another data set or of none, not a name the server keeps for itself.
    const DroppedRole stranger(uniqueName("stranger"));
    superuser.run("CREATE ROLE " + stranger.name() + " LOGIN");
    for (const std::string& name : {owner.name(), stranger.name(), std::string("quil_test")}) {
        EXPECT_TRUE(refused(a, "SELECT quil_account_set_login('" + name + "', false)")) << name;
        EXPECT_TRUE(refused(a, "SELECT quil_account_set_role('" + name + "', 'admin')")) << name;
        EXPECT_TRUE(refused(a, "SELECT quil_account_set_password('" + name +
                                   "', 'SCRAM-SHA-256$4096:AAAA$AAAA:AAAA')"))
            << name;
    }
    EXPECT_TRUE(refused(a, "SELECT quil_account_add('pg_x', 'SCRAM-SHA-256$4096:AA$AA:AA', "
                           "'admin')"));
    EXPECT_TRUE(refused(a, "SELECT quil_account_add('" + uniqueName("y") +
                           "', 'a password in clear', 'admin')"));
    EXPECT_TRUE(refused(a, "SELECT quil_account_add('" + uniqueName("y") +
                           "', 'SCRAM-SHA-256$4096:AA$AA:AA', 'accounts')"));
    EXPECT_EQ(superuser.exec("SELECT rolcanlogin FROM pg_roles WHERE rolname = '" +
                             owner.name() + "'")
                  .text(0, 0),
              "t");
    // And only an administrator may call them.
    const LoginRole clerkLogin(db.conninfo(), kClerkRole);
    PgConnection asClerk(clerkLogin.conninfo());
    EXPECT_EQ(test::kindOf([&] {
                  addAccount(asClerk, uniqueName("z"), "初めの合言葉-5", AccountRole::Admin);
              }),
              K::NotAllowed);
}

TEST(ServerRolesTest, ALoginOfOneDataSetNeitherConnectsToNorChangesAnother) {
    ScratchDatabase office, edge;
    PgConnection o(office.conninfo()), e(edge.conninfo());
    initializeSchema(o);
    initializeSchema(e);
    const LoginRole clerk(office.conninfo(), kClerkRole);
    const LoginRole service(office.conninfo(), kWebRole);
    ServerDataSet(clerk.conninfo()).addRecord(quil::testing::makeRecord(46000, 1, 1, 100, 1),
                                              newSaveKey());
    for (const LoginRole* login : {&clerk, &service}) {
        const std::string user = login->conninfo().substr(login->conninfo().rfind(" user="));
        EXPECT_EQ(test::kindOf([&] { PgConnection(edge.conninfo() + user); }), K::Login);
    }
    // Nor does a login of no data set reach either.
    const DroppedRole nobody(uniqueName("nobody"));
    o.run("CREATE ROLE " + nobody.name() + " LOGIN");
    EXPECT_EQ(test::kindOf([&] { PgConnection(office.conninfo() + " user=" + nobody.name()); }),
              K::Login);
    // Each data set's roles are its own.
    EXPECT_NE(groupRole(o, kClerkRole), groupRole(e, kClerkRole));
}

TEST(ServerRolesTest, AnUpgradeMovesTheSharedRolesAccountsToTheDataSetsOwn) {
    ScratchDatabase db;
    PgConnection su(db.conninfo());
    initializeSchemaAt(su, 6);  // the last schema whose roles every data set shared
    const LoginRole clerk(db.conninfo(), "quil_clerk");
    const DroppedRole admin(uniqueName("admin"));
    su.run("CREATE ROLE " + admin.name() + " LOGIN CREATEROLE IN ROLE quil_admin");
    upgradeSchema(su);

    // The accounts keep their roles here, the administrator without power over roles.
    ServerDataSet(clerk.conninfo()).addRecord(quil::testing::makeRecord(46000, 1, 1, 100, 1),
                                              newSaveKey());
    PgConnection a(db.conninfo() + " user=" + admin.name());
    EXPECT_EQ(ServerDataSet(db.conninfo() + " user=" + admin.name()).roleTitle(), "管理者");
    EXPECT_TRUE(refused(a, "GRANT pg_execute_server_program TO " + admin.name()));
    // A login given the shared role afterwards (by another data set's administrator) gets
    // nothing here; nor does anyone not given a role of this data set.
    const DroppedRole late(uniqueName("late"));
    su.run("CREATE ROLE " + late.name() + " LOGIN IN ROLE quil_admin");
    EXPECT_EQ(test::kindOf([&] { PgConnection(db.conninfo() + " user=" + late.name()); }),
              K::Login);
    su.run("GRANT CONNECT ON DATABASE " + db.name() + " TO " + late.name());
    PgConnection l(db.conninfo() + " user=" + late.name());
    EXPECT_TRUE(refused(l, "SELECT 1 FROM quil_records"));
}

TEST(ServerRolesTest, ARecordRowsColumnsMustSayWhatItsBytesSay) {
    ScratchDatabase db;
    PgConnection su(db.conninfo());
    initializeSchema(su);
    const LoginRole clerkLogin(db.conninfo(), kClerkRole);
    PgConnection clerk(clerkLogin.conninfo());
    const store::DataRecord r = quil::testing::makeRecord(46000.25, 3, 2, 100, 1);
    const std::string raw(reinterpret_cast<const char*>(r.bytes().data()), store::DataRecord::Size);
    const std::string insert =
        "INSERT INTO quil_records (raw, date, vehicle, user_no, kind, deleted) "
        "VALUES ($1, $2::float8, $3, $4, $5, $6)";
    const auto row = [&](double date, int vehicle, int user, int kind, bool deleted) {
        return std::vector<PgParam>{PgParam::bytes(raw), PgParam::float8(date),
                                    PgParam::number(vehicle), PgParam::number(user),
                                    PgParam::number(kind), PgParam::text(deleted ? "t" : "f")};
    };
    for (PgConnection* c : {&su, &clerk}) {
        for (const auto& lie : {row(46001.25, 3, 2, 1, false), row(46000.25, 4, 2, 1, false),
                                row(46000.25, 3, 1, 1, false), row(46000.25, 3, 2, 0, false),
                                row(46000.25, 3, 2, 1, true), row(46000.250001, 3, 2, 1, false)})
            EXPECT_THROW(c->exec(insert, lie), ServerError);
        c->exec(insert, row(46000.25, 3, 2, 1, false));
        EXPECT_THROW(c->run("UPDATE quil_records SET vehicle = 9"), ServerError);
        EXPECT_THROW(c->run("UPDATE quil_records SET date = date + 1"), ServerError);
    }
    EXPECT_EQ(su.exec("SELECT count(*) FROM quil_records WHERE vehicle = 3").integer(0, 0), 2);
    // The reports' kept sums follow the clerk's rows through the trigger; the clerk cannot
    // write them himself.
    EXPECT_EQ(
        su.exec("SELECT sum(count)::int FROM quil_record_sums WHERE vehicle = 3").integer(0, 0), 2);
    EXPECT_TRUE(refused(clerk, "UPDATE quil_record_sums SET count = count + 100"));
    EXPECT_TRUE(refused(clerk, "DELETE FROM quil_reading_days"));
    EXPECT_TRUE(refused(clerk, "SELECT quil_rebuild_record_sums()"));
}

TEST(ServerRolesTest, NoPasswordTokenOrCookieValueReachesTheServersLog) {
    ScratchDatabase db;
    PgConnection su(db.conninfo());
    initializeSchema(su);
    ServerDataSet set(db.conninfo());
    const int van = test::addItem(set, store::ItemKind::Vehicle, "営業車1");
    const int yamada = test::addItem(set, store::ItemKind::User, "山田");
    // Every statement with its values, as an administrator looking for a fault sets it.
    su.run("ALTER DATABASE " + db.name() +
           " SET log_statement = 'all'; ALTER DATABASE " + db.name() +
           " SET log_min_duration_statement = 0");
    const std::string logPath = test::pgSocketDir() + "/server.log";
    const auto logSize = [&] {
        std::ifstream f(logPath, std::ios::binary | std::ios::ate);
        return f ? static_cast<std::streamoff>(f.tellg()) : std::streamoff(0);
    };
    const std::streamoff from = logSize();
    std::vector<std::string> secrets = {"初めの合言葉-1", "次の合言葉-2", "自分の合言葉-3",
                                        "ドライバーの合言葉-4", "ドライバーの新しい合言葉-5"};

    // The office's account commands.
    const DroppedRole admin(uniqueName("admin")), clerk(uniqueName("clerk"));
    PgConnection owner(db.conninfo());
    addAccount(owner, admin.name(), secrets[0], AccountRole::Admin);
    PgConnection a(db.conninfo() + " user=" + admin.name());
    addAccount(a, clerk.name(), secrets[1], AccountRole::Clerk);
    setAccountPassword(a, clerk.name(), secrets[2]);
    setAccountPassword(a, admin.name(), secrets[2]);

    // A driver's login, his page views and posts, his password change and logout.
    WebPolicy cheap;
    cheap.hashOps = 1;
    cheap.hashMemory = 64 * 1024;
    WebAccounts(a, {}, cheap).createAccount("yamada", yamada, secrets[3]);
    const LoginRole service(db.conninfo(), kWebRole);
    PgConnection web(service.conninfo());
    WebAccounts accounts(web, {}, cheap);
    const std::string token = accounts.logIn("yamada", secrets[3], "203.0.113.5").token;
    const WebSession session = *accounts.checkSession(token);
    accounts.changeOwnPassword(token, secrets[3], secrets[4], "203.0.113.5");
    WebRecords page(web, token, *accounts.checkSession(token), "203.0.113.5");
    page.choices();
    page.checksSince(46000);
    store::DataRecord drive = quil::testing::makeRecord(46000.375, van, yamada, 0, 0);
    page.addDrive(drive, "k1" + std::string(20, '0'));
    secrets.push_back(token);
    secrets.push_back(session.csrfToken);
    const std::string newToken = accounts.logIn("yamada", secrets[4], "203.0.113.5").token;
    secrets.push_back(newToken);
    secrets.push_back(accounts.checkSession(newToken)->csrfToken);
    accounts.logOut(newToken, "203.0.113.5");

    std::ifstream f(logPath, std::ios::binary);
    ASSERT_TRUE(f) << logPath;
    f.seekg(from);
    const std::string log{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    // The statements were logged, with their values.
    ASSERT_NE(log.find("quil_account_set_password"), std::string::npos);
    ASSERT_NE(log.find("quil_web_login_finish"), std::string::npos);
    ASSERT_NE(log.find("parameters: $1 = '"), std::string::npos);
    for (const std::string& s : secrets) {
        ASSERT_FALSE(s.empty());
        EXPECT_EQ(log.find(s), std::string::npos) << s;
    }
}

// Roles belong to the whole cluster: data sets upgraded at the same moment change the same
// role rows (an administrator of the shared roles loses the right to create roles in each
// upgrade), and each upgrade must still come through.
TEST(ServerRolesTest, DataSetsOfOneClusterUpgradeAtTheSameTime) {
    const DroppedRole shared(uniqueName("shared"));
    {
        const ScratchDatabase first;  // makes the shared roles on a new cluster
        PgConnection c(first.conninfo());
        initializeSchemaAt(c, 1);
        c.run("CREATE ROLE " + shared.name() + " LOGIN IN ROLE quil_admin");
    }
    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<ScratchDatabase>> dbs;
        for (int i = 0; i < 4; ++i) {
            dbs.push_back(std::make_unique<ScratchDatabase>());
            PgConnection c(dbs.back()->conninfo());
            initializeSchemaAt(c, 6);
        }
        PgConnection(dbs[0]->conninfo()).run("ALTER ROLE " + shared.name() + " CREATEROLE");
        std::vector<std::string> failures(dbs.size());
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < dbs.size(); ++i)
            threads.emplace_back([&, i] {
                try {
                    PgConnection c(dbs[i]->conninfo());
                    upgradeSchema(c);
                    if (inspectSchema(c).is != SchemaState::Is::Current) failures[i] = "old";
                } catch (const std::exception& e) {
                    failures[i] = e.what();
                }
            });
        for (std::thread& t : threads) t.join();
        for (const std::string& f : failures) EXPECT_EQ(f, "") << "round " << round;
    }
}
