#pragma once
// A login role of its own for one test, a member of one of the program's roles, dropped at
// the end (roles belong to the whole cluster, not to the scratch database).

#include <unistd.h>

#include <string>

#include "PgTestCluster.h"
#include "server/PgConnection.h"

namespace quil::test {

// The data set's own group role of a kind ("admin", "clerk", "viewer", "web", or the same with
// "quil_" before it); the name as given when the data set is of a schema without them.
inline std::string dataSetRole(const std::string& dbConninfo, std::string kind) {
    if (kind.rfind("quil_", 0) == 0) kind = kind.substr(5);
    server::PgConnection db(dbConninfo);
    if (db.exec("SELECT to_regprocedure('quil_group(text)') IS NULL").text(0, 0) == "t")
        return "quil_" + kind;
    const server::PgResult r =
        db.exec("SELECT quote_ident(quil_group($1))", {server::PgParam::text(kind)});
    return std::string(r.text(0, 0));
}

class LoginRole {
public:
    // `group` is a kind of the data set's roles (kAdminRole …, or its older name quil_admin
    // …): the login joins that role of the data set dbConninfo names.
    LoginRole(const std::string& dbConninfo, const std::string& group) : admin_(adminConninfo()) {
        static int n = 0;
        name_ = "quil_t_" + std::to_string(::getpid()) + "_" + std::to_string(++n);
        admin_.run("CREATE ROLE " + name_ + " LOGIN IN ROLE " + dataSetRole(dbConninfo, group));
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
