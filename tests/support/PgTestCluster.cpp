#include "PgTestCluster.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>

namespace quil::test {

namespace {

constexpr const char* kPort = "5432";
constexpr const char* kSuperuser = "quil_test";

struct ConnCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnCloser>;

Conn connectOrThrow(const std::string& conninfo) {
    Conn conn(PQconnectdb(conninfo.c_str()));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
        std::string why = conn ? PQerrorMessage(conn.get()) : "out of memory";
        throw std::runtime_error("cannot connect to the test cluster (" + conninfo + "): " + why);
    }
    return conn;
}

// Runs one statement that returns no rows; the error text (empty on success).
std::string exec(PGconn* conn, const std::string& sql) {
    PGresult* res = PQexec(conn, sql.c_str());
    std::string error;
    if (PQresultStatus(res) != PGRES_COMMAND_OK) error = PQerrorMessage(conn);
    PQclear(res);
    return error;
}

std::string readSocketDir() {
    const char* state = std::getenv("QUIL_TEST_PG_STATE");
    if (!state || !*state)
        throw std::runtime_error(
            "QUIL_TEST_PG_STATE is not set: run this suite through ctest, whose fixture quil_pg "
            "starts the test cluster (or start one with scripts/pg-cluster.sh start FILE and "
            "set QUIL_TEST_PG_STATE=FILE)");
    std::ifstream in(state);
    std::string dir;
    if (!in || !std::getline(in, dir) || dir.empty())
        throw std::runtime_error(std::string("the test cluster's state file ") + state +
                                 " is missing or empty: did pg_cluster_start fail?");
    return dir;
}

std::string uniqueName() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    static constexpr char hex[] = "0123456789abcdef";
    std::string suffix;
    for (int i = 0; i < 8; ++i) suffix += hex[rd() % 16];
    return "quil_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + "_" +
           suffix;
}

}  // namespace

std::string pgSocketDir() {
    // Read and checked once per process: every later call returns the same folder.
    static const std::string dir = [] {
        std::string d = readSocketDir();
        const std::string info = "host=" + d + " port=" + kPort + " user=" + kSuperuser +
                                 " dbname=postgres connect_timeout=10";
        if (PQping(info.c_str()) != PQPING_OK)
            throw std::runtime_error("the test cluster does not answer on the socket in " + d +
                                     ": did pg_cluster_start fail or pg_cluster_stop run early?");
        return d;
    }();
    return dir;
}

std::string adminConninfo(const std::string& dbname) {
    return "host=" + pgSocketDir() + " port=" + kPort + " user=" + kSuperuser + " dbname=" + dbname;
}

ScratchDatabase::ScratchDatabase() : name_(uniqueName()) {
    Conn conn = connectOrThrow(adminConninfo());
    const std::string error = exec(conn.get(), "CREATE DATABASE " + name_);
    if (!error.empty())
        throw std::runtime_error("cannot create the scratch database " + name_ + ": " + error);
}

ScratchDatabase::~ScratchDatabase() {
    try {
        Conn conn = connectOrThrow(adminConninfo());
        const std::string error =
            exec(conn.get(), "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
        if (!error.empty())
            ADD_FAILURE() << "cannot drop the scratch database " << name_ << ": " << error;
        // The data set's own roles (quil_<database>_<kind>) belong to the cluster.
        const std::string roles = exec(
            conn.get(), "DO $$ DECLARE r text; BEGIN FOR r IN SELECT rolname FROM pg_roles "
                        "WHERE starts_with(rolname, 'quil_" + name_ + "_') LOOP EXECUTE format('DROP ROLE %I', r); END LOOP; END $$");
        if (!roles.empty())
            ADD_FAILURE() << "cannot drop the roles of " << name_ << ": " << roles;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "cannot drop the scratch database " << name_ << ": " << e.what();
    }
}

std::string ScratchDatabase::conninfo() const { return adminConninfo(name_); }

}  // namespace quil::test
