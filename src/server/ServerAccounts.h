#pragma once
// The people who may open a server data set: login roles of the database holding one of the
// program's roles (管理者 quil_admin, 事務 quil_clerk, 閲覧 quil_viewer). Managed by an
// administrator, whose login may create roles (an administrator made here gets that right,
// and loses it with the role); the server refuses everyone else. Names are
// quoted by the server and passwords are sent only as the server's SCRAM hash.

#include <string>
#include <vector>

#include "PgConnection.h"

namespace quil::server {

enum class AccountRole { Admin, Clerk, Viewer };

// "管理者", "事務", "閲覧"; and back (nullopt-like: false for another word).
std::string roleTitle(AccountRole role);
bool roleFromTitle(const std::string& title, AccountRole& role);
// The database role behind each: quil_admin, quil_clerk, quil_viewer.
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
