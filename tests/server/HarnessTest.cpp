// The server suites' harness: the throwaway cluster CTest starts for them and the scratch
// databases each test works in.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "PgTestCluster.h"

namespace {

using quil::test::adminConninfo;
using quil::test::pgSocketDir;
using quil::test::ScratchDatabase;

struct ConnCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnCloser>;

Conn connect(const std::string& conninfo) {
    Conn conn(PQconnectdb(conninfo.c_str()));
    EXPECT_EQ(PQstatus(conn.get()), CONNECTION_OK) << PQerrorMessage(conn.get());
    return conn;
}

// The first column of the first row, nullopt for NULL; a failed query fails the test.
std::optional<std::string> queryValue(PGconn* conn, const std::string& sql) {
    PGresult* res = PQexec(conn, sql.c_str());
    std::optional<std::string> value;
    if (PQresultStatus(res) != PGRES_TUPLES_OK) {
        ADD_FAILURE() << sql << ": " << PQerrorMessage(conn);
    } else if (PQntuples(res) > 0 && !PQgetisnull(res, 0, 0)) {
        value = PQgetvalue(res, 0, 0);
    }
    PQclear(res);
    return value;
}

bool execOk(PGconn* conn, const std::string& sql) {
    PGresult* res = PQexec(conn, sql.c_str());
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    PQclear(res);
    return ok;
}

std::string databaseCount(const std::string& name) {
    Conn admin = connect(adminConninfo());
    return queryValue(admin.get(),
                      "SELECT count(*) FROM pg_database WHERE datname = '" + name + "'")
        .value_or("?");
}

TEST(ServerHarness, ScratchDatabasesAreSeparateAndDroppedAfterwards) {
    std::string nameA, nameB;
    {
        ScratchDatabase a;
        ScratchDatabase b;
        nameA = a.name();
        nameB = b.name();
        EXPECT_NE(nameA, nameB);
        EXPECT_EQ(databaseCount(nameA), "1");
        EXPECT_EQ(databaseCount(nameB), "1");

        Conn connA = connect(a.conninfo());
        Conn connB = connect(b.conninfo());
        EXPECT_EQ(queryValue(connA.get(), "SELECT current_database()"), nameA);
        ASSERT_TRUE(execOk(connA.get(), "CREATE TABLE kept (n int)"));
        ASSERT_TRUE(execOk(connA.get(), "INSERT INTO kept VALUES (7)"));
        EXPECT_EQ(queryValue(connA.get(), "SELECT n FROM kept"), "7");
        EXPECT_EQ(queryValue(connB.get(), "SELECT to_regclass('kept')::text"), std::nullopt);
    }
    EXPECT_EQ(databaseCount(nameA), "0");
    EXPECT_EQ(databaseCount(nameB), "0");
}

// A test that leaves a connection open (or a client process killed mid-save) must not keep
// its database alive.
TEST(ServerHarness, ScratchDatabaseIsDroppedWhileStillConnected) {
    auto scratch = std::make_unique<ScratchDatabase>();
    const std::string name = scratch->name();
    Conn open = connect(scratch->conninfo());
    ASSERT_TRUE(execOk(open.get(), "CREATE TABLE t (n int)"));

    scratch.reset();
    EXPECT_EQ(databaseCount(name), "0");
    EXPECT_FALSE(execOk(open.get(), "CREATE TABLE u (n int)"));
}

TEST(ServerHarness, ClusterListensOnlyOnTheSocketInItsOwnTemporaryFolder) {
    const std::string dir = pgSocketDir();
    Conn admin = connect(adminConninfo());

    EXPECT_EQ(queryValue(admin.get(), "SHOW listen_addresses"), "");
    EXPECT_EQ(queryValue(admin.get(), "SHOW unix_socket_directories"), dir);
    EXPECT_EQ(queryValue(admin.get(), "SELECT inet_server_addr()::text"), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_socket(dir + "/.s.PGSQL.5432"));

    const std::filesystem::path parent = std::filesystem::path(dir).parent_path();
    EXPECT_TRUE(parent == std::filesystem::temp_directory_path() || parent == "/tmp") << dir;

    // The data lives in the same folder and belongs to an unprivileged account.
    const auto dataDir = queryValue(admin.get(), "SHOW data_directory");
    ASSERT_TRUE(dataDir.has_value());
    EXPECT_EQ(std::filesystem::path(*dataDir).parent_path(), dir);
    struct stat st {};
    ASSERT_EQ(::stat(dataDir->c_str(), &st), 0);
    EXPECT_NE(st.st_uid, 0u);
}

}  // namespace
