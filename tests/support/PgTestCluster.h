#pragma once
// The server suites' way to the throwaway PostgreSQL cluster that CTest's fixture quil_pg
// starts (scripts/pg-cluster.sh): its socket folder, and a fresh database for each test.
// A missing or unreachable cluster fails the test with a message saying why; nothing is
// skipped.

#include <string>

namespace quil::test {

// The folder holding the cluster's Unix socket, read from the file named by
// QUIL_TEST_PG_STATE. Throws std::runtime_error when it is unset or the cluster does not answer.
std::string pgSocketDir();

// A connection string for the given database as the cluster's superuser, over the socket.
std::string adminConninfo(const std::string& dbname = "postgres");

// A database of its own, created empty on construction under a name no other test (or test
// process) uses, and dropped on destruction even while connections to it remain open.
class ScratchDatabase {
public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    const std::string& name() const { return name_; }
    // "host=<socket folder> port=5432 user=quil_test dbname=<name>"
    std::string conninfo() const;

private:
    std::string name_;
};

}  // namespace quil::test
