#pragma once
// A login role of its own for one test, a member of one of the program's roles, dropped at
// the end (roles belong to the whole cluster, not to the scratch database).

#include <unistd.h>

#include <string>

#include "PgTestCluster.h"
#include "server/PgConnection.h"

namespace quil::test {

class LoginRole {
public:
    LoginRole(const std::string& dbConninfo, const std::string& group) : admin_(adminConninfo()) {
        static int n = 0;
        name_ = "quil_t_" + std::to_string(::getpid()) + "_" + std::to_string(++n);
        admin_.run("CREATE ROLE " + name_ + " LOGIN IN ROLE " + group);
        conninfo_ = dbConninfo + " user=" + name_;
    }
    ~LoginRole() {
        try {
            admin_.run("DROP ROLE " + name_);
        } catch (...) {
        }
    }
    LoginRole(const LoginRole&) = delete;
    LoginRole& operator=(const LoginRole&) = delete;
    const std::string& conninfo() const { return conninfo_; }

private:
    server::PgConnection admin_;
    std::string name_;
    std::string conninfo_;
};

// Drops a role a test makes by name (an account made through the program), at the end.
class DroppedRole {
public:
    explicit DroppedRole(std::string name) : name_(std::move(name)) {}
    ~DroppedRole() {
        try {
            server::PgConnection(adminConninfo()).run("DROP ROLE IF EXISTS " + name_);
        } catch (...) {
        }
    }
    DroppedRole(const DroppedRole&) = delete;
    DroppedRole& operator=(const DroppedRole&) = delete;
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

}  // namespace quil::test
