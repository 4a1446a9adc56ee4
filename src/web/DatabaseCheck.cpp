#include "web/DatabaseCheck.h"

#include <libpq-fe.h>

#include <memory>

namespace quil::web {

namespace {

bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The data set's group of the service, as the schema names it (quil_group('web')) for a plain
// database name; another name is hashed there, so the advice names the query instead.
std::string webGroup(const std::string& database) {
    const bool plain =
        !database.empty() && database.size() <= 40 && database[0] >= 'a' && database[0] <= 'z' &&
        database.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == std::string::npos;
    return plain ? "quil_" + database + "_web" : "(SELECT quil_group('web') の答え)";
}

}  // namespace

std::string connectionAdvice(const std::string& error, const std::string& user,
                             const std::string& database) {
    const std::string who = user.empty() ? std::string("このロール") : "ロール " + user;
    std::string advice;
    if (has(error, "Peer authentication failed") || has(error, "(peer)"))
        advice = "peer 認証に失敗しました。pg_hba.conf の「local " + database + " " + user +
                 " peer map=quil」の行を Debian の「local all all peer」の行より上に書き、"
                 "pg_ident.conf に「quil  quil-web  " +
                 user +
                 "」を書いてから、sudo systemctl reload postgresql で読み直してください "
                 "(quil-web は quil-web ユーザーで動かしてください)。";
    else if (has(error, "role \"") && has(error, "does not exist"))
        advice = "データベースサーバーに" + who +
                 " がありません。管理者が sudo -u postgres psql -d " + database +
                 " -c \"CREATE ROLE " + user + " LOGIN IN ROLE " + webGroup(database) +
                 "\" で作ってください。";
    else if (has(error, "database \"") && has(error, "does not exist"))
        advice = "データベース " + database +
                 " がありません。conninfo の dbname を確かめるか、データセットを作って"
                 "ください (quil-tool --server … server init)。";
    else if (has(error, "password authentication failed"))
        advice = who +
                 " のパスワードが違います。conninfo の password か ~/.pgpass を"
                 "確かめてください。";
    else if (has(error, "no pg_hba.conf entry"))
        advice = "pg_hba.conf に" + who +
                 " の接続を許す行がありません。行を加えて "
                 "sudo systemctl reload postgresql で読み直してください。";
    else if (has(error, "No such file or directory") || has(error, "Connection refused") ||
             has(error, "could not translate host name") || has(error, "timeout expired"))
        advice =
            "データベースサーバーにつながりません。PostgreSQL が動いているか "
            "(sudo systemctl status postgresql)、conninfo の host と port を確かめてください。";
    else
        advice = "conninfo の接続先とロールを確かめてください。";
    return advice + " (サーバーの答え: " + error + ")";
}

std::string databaseProblem(const std::string& conninfo) {
    const std::string withTimeout = conninfo + " connect_timeout=10";
    std::unique_ptr<PGconn, decltype(&PQfinish)> c(PQconnectdb(withTimeout.c_str()), &PQfinish);
    if (!c) return "データベースに接続できません (メモリーが足りません)。";
    if (PQstatus(c.get()) != CONNECTION_OK) {
        std::string error = PQerrorMessage(c.get());
        while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
        return connectionAdvice(error, PQuser(c.get()) ? PQuser(c.get()) : "",
                                PQdb(c.get()) ? PQdb(c.get()) : "");
    }
    const std::string user = PQuser(c.get());
    // The service's group is the data set's own (quil_<database>_web, named by quil_group).
    std::unique_ptr<PGresult, decltype(&PQclear)> r(
        PQexec(c.get(),
               "SELECT to_regclass('quil_web_account') IS NOT NULL "
               "   AND to_regprocedure('quil_group(text)') IS NOT NULL"),
        &PQclear);
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return std::string("データベースに問い合わせられません: ") + PQerrorMessage(c.get());
    if (std::string(PQgetvalue(r.get(), 0, 0)) != "t")
        return "データベース " + std::string(PQdb(c.get())) +
               " に台帳のデータセット (運転者のログインの表) がありません。conninfo の dbname "
               "を確かめるか、quil-tool --server … server init で作ってください。";
    r.reset(PQexec(c.get(),
                   "SELECT g, COALESCE(pg_has_role(current_user, to_regrole(g)::oid, 'MEMBER'), "
                   "false) FROM quil_group('web') AS g"));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return std::string("データベースに問い合わせられません: ") + PQerrorMessage(c.get());
    const std::string group = PQgetvalue(r.get(), 0, 0);
    if (std::string(PQgetvalue(r.get(), 0, 1)) != "t")
        return "ロール " + user + " は " + group + " のメンバーではありません。管理者が GRANT " +
               group + " TO " + user + "; を実行してください。";
    // The service works only through the functions of schema 10 and later.
    r.reset(PQexec(c.get(), "SELECT to_regprocedure('quil_web_login_begin(text, text)') IS NULL"));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return std::string("データベースに問い合わせられません: ") + PQerrorMessage(c.get());
    if (std::string(PQgetvalue(r.get(), 0, 0)) == "t")
        return "データベース " + std::string(PQdb(c.get())) +
               " のデータセットは古い形式です。管理者がクイル台帳か quil-tool --server … で一度"
               "開くと新しい形式になります。";
    return {};
}

}  // namespace quil::web
