#pragma once
// The people who may open a server data set: login roles holding one of the data set's own
// roles (管理者 quil_<database>_admin, 事務 …_clerk, 閲覧 …_viewer). Managed by an
// administrator through the data set's account functions, which touch only this data set's
// accounts and give only its roles; no login holds the right to create roles. Names are
// quoted by the server and passwords are sent only as the server's SCRAM hash.

#include <string>
#include <vector>

#include "PgConnection.h"

namespace quil::server {

enum class AccountRole { Admin, Clerk, Viewer };

// "管理者", "事務", "閲覧"; and back (nullopt-like: false for another word).
std::string roleTitle(AccountRole role);
bool roleFromTitle(const std::string& title, AccountRole& role);
// The kind of the data set's group role behind each: admin, clerk, viewer.
const char* roleName(AccountRole role);

struct Account {
    std::string name;
    AccountRole role = AccountRole::Viewer;  // the highest the account holds
    bool canLogIn = true;
    bool isCurrentUser = false;  // the account this connection works as
};

// Every account holding one of the program's roles, by name.
std::vector<Account> listAccounts(PgConnection& c);

// The reason a name or password cannot be used, in Japanese; empty when it can.
std::string accountNameProblem(const std::string& name);
std::string passwordProblem(const std::string& password);

// Each raises ServerError: Refused for a bad name or password, an existing or unknown
// account, or a change of one's own account (that could lock the administrator out);
// NotAllowed when the server refuses the user. Nothing changes then.
void addAccount(PgConnection& c, const std::string& name, const std::string& password,
                AccountRole role);
void setAccountRole(PgConnection& c, const std::string& name, AccountRole role);
void setAccountPassword(PgConnection& c, const std::string& name, const std::string& password);
// A disabled account keeps its role but can no longer log in.
void setAccountLogIn(PgConnection& c, const std::string& name, bool canLogIn);

}  // namespace quil::server
