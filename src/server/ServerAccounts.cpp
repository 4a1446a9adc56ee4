#include "server/ServerAccounts.h"

#include "server/ServerSchema.h"

namespace quil::server {

namespace {

using K = ServerError::Kind;

[[noreturn]] void refuse(PgConnection& c, const std::string& why) {
    throw ServerError(K::Refused, c.where(), why + "何も変更していません。");
}

Account existing(PgConnection& c, const std::string& name) {
    for (const Account& a : listAccounts(c))
        if (a.name == name) return a;
    refuse(c, "利用者 " + name + " はこのデータセットにいません。");
}

Account other(PgConnection& c, const std::string& name) {
    const Account a = existing(c, name);
    if (a.isCurrentUser)
        refuse(c, "自分自身の権限やログインは変更できません。ほかの管理者に頼んでください。");
    return a;
}

}  // namespace

std::string roleTitle(AccountRole role) {
    switch (role) {
        case AccountRole::Admin: return "管理者";
        case AccountRole::Clerk: return "事務";
        case AccountRole::Viewer: break;
    }
    return "閲覧";
}

bool roleFromTitle(const std::string& title, AccountRole& role) {
    for (AccountRole r : {AccountRole::Admin, AccountRole::Clerk, AccountRole::Viewer})
        // Also the group's kind and the name the shared roles of older versions had.
        if (title == roleTitle(r) || title == roleName(r) ||
            title == std::string("quil_") + roleName(r)) {
            role = r;
            return true;
        }
    return false;
}

const char* roleName(AccountRole role) {
    switch (role) {
        case AccountRole::Admin: return kAdminRole;
        case AccountRole::Clerk: return kClerkRole;
        case AccountRole::Viewer: break;
    }
    return kViewerRole;
}

std::vector<Account> listAccounts(PgConnection& c) {
    const PgResult r = c.exec(
        "SELECT rolname, rolcanlogin, rolname = current_user, "
        "       pg_has_role(oid, quil_group('admin'), 'MEMBER'), "
        "       pg_has_role(oid, quil_group('clerk'), 'MEMBER') "
        "FROM pg_roles WHERE rolname NOT LIKE 'pg\\_%' AND rolname NOT LIKE 'quil\\_%' "
        "AND NOT rolsuper AND pg_has_role(oid, quil_group('viewer'), 'MEMBER') ORDER BY rolname");
    std::vector<Account> out;
    for (int i = 0; i < r.rows(); ++i) {
        Account a;
        a.name = std::string(r.text(i, 0));
        a.canLogIn = r.text(i, 1) == "t";
        a.isCurrentUser = r.text(i, 2) == "t";
        a.role = r.text(i, 3) == "t"   ? AccountRole::Admin
                 : r.text(i, 4) == "t" ? AccountRole::Clerk
                                       : AccountRole::Viewer;
        out.push_back(std::move(a));
    }
    return out;
}

std::string accountNameProblem(const std::string& name) {
    if (name.empty()) return "利用者名を入力してください。";
    if (name.size() > 63) return "利用者名は 63 文字までです。";
    const auto letter = [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
    };
    if (!letter(name[0])) return "利用者名は英字で始めてください。";
    for (char ch : name)
        if (!letter(ch) && !(ch >= '0' && ch <= '9') && ch != '_' && ch != '.' && ch != '-')
            return "利用者名に使えるのは英字、数字、「_」「.」「-」だけです。";
    if (name.rfind("pg_", 0) == 0 || name.rfind("quil_", 0) == 0)
        return "「pg_」「quil_」で始まる利用者名は使えません。";
    return {};
}

std::string passwordProblem(const std::string& password) {
    if (password.size() < 8) return "パスワードは 8 文字以上にしてください。";
    if (password.size() > 200) return "パスワードが長すぎます。";
    return {};
}

// Accounts are made and changed by the data set's quil_account_* functions: the server
// checks the caller, the name and the account there; the checks here only give the
// clearer message first.
void addAccount(PgConnection& c, const std::string& name, const std::string& password,
                AccountRole role) {
    if (const std::string p = accountNameProblem(name); !p.empty()) refuse(c, p);
    if (const std::string p = passwordProblem(password); !p.empty()) refuse(c, p);
    const PgResult taken =
        c.exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {PgParam::text(name)});
    if (taken.rows() > 0) refuse(c, "利用者 " + name + " はすでにあります。");
    c.exec("SELECT quil_account_add($1, $2, $3)",
           {PgParam::text(name), PgParam::text(c.encryptPassword(password, name)),
            PgParam::text(roleName(role))});
}

void setAccountRole(PgConnection& c, const std::string& name, AccountRole role) {
    other(c, name);
    c.exec("SELECT quil_account_set_role($1, $2)",
           {PgParam::text(name), PgParam::text(roleName(role))});
}

void setAccountPassword(PgConnection& c, const std::string& name, const std::string& password) {
    if (const std::string p = passwordProblem(password); !p.empty()) refuse(c, p);
    if (existing(c, name).isCurrentUser) {
        // Everyone may change his own password; the server needs no function for that.
        const std::string hash = c.encryptPassword(password, name);
        const PgResult q = c.exec("SELECT format('ALTER ROLE CURRENT_USER PASSWORD %L', $1::text)",
                                  {PgParam::text(hash)});
        c.run(std::string(q.text(0, 0)));
        return;
    }
    c.exec("SELECT quil_account_set_password($1, $2)",
           {PgParam::text(name), PgParam::text(c.encryptPassword(password, name))});
}

void setAccountLogIn(PgConnection& c, const std::string& name, bool canLogIn) {
    other(c, name);
    c.exec("SELECT quil_account_set_login($1, $2)",
           {PgParam::text(name), PgParam::text(canLogIn ? "true" : "false")});
}

}  // namespace quil::server
