#include "PgConnection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cstring>

namespace quil::server {
namespace {

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string firstLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (auto nl = text.find('\n'); nl != std::string::npos) text.resize(nl);
    return text;
}

// The connection string's keywords and values; empty when it does not parse.
std::vector<std::pair<std::string, std::string>> conninfoOptions(const std::string& conninfo,
                                                                 std::string* error) {
    char* err = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &err);
    std::vector<std::pair<std::string, std::string>> out;
    if (!options) {
        if (error) *error = err ? firstLine(err) : "";
        PQfreemem(err);
        return out;
    }
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && *o->val) out.emplace_back(o->keyword, o->val);
    PQconninfoFree(options);
    return out;
}

std::string optionOf(const std::vector<std::pair<std::string, std::string>>& options,
                     std::string_view key) {
    for (const auto& [k, v] : options)
        if (k == key) return v;
    return {};
}

// The message for a connection that failed, from libpq's own text.
ServerError connectionError(const std::string& where, const std::string& detail) {
    using K = ServerError::Kind;
    const std::string d = "（" + firstLine(detail) + "）";
    if (contains(detail, "password authentication failed") ||
        contains(detail, "no password supplied"))
        return {K::Login, where,
                "サーバーにログインできません。パスワードが違うか、設定されていません" + d +
                    "。パスワードはパスワードファイル（~/.pgpass）に書いてください。"};
    if (contains(detail, "role") && contains(detail, "does not exist"))
        return {K::Login, where,
                "このユーザーはサーバーに登録されていません" + d +
                    "。管理者にアカウントの作成を頼んでください。"};
    if (contains(detail, "database") && contains(detail, "does not exist"))
        return {K::Login, where,
                "データベースがサーバーにありません" + d +
                    "。名前を確かめるか、管理者に作成を頼んでください。"};
    if (contains(detail, "permission denied"))
        return {K::Login, where,
                "このユーザーにはデータベースに接続する権限がありません" + d +
                    "。管理者に権限を頼んでください。"};
    if (contains(detail, "service") && contains(detail, "not found"))
        return {K::Settings, where,
                "接続サービスが見つかりません" + d +
                    "。接続サービスファイル（~/.pg_service.conf）を確かめてください。"};
    return {
        K::Connection, where,
        "サーバーに接続できません" + d +
            "。サーバーが動いているか、接続先（ホスト名・ポート）が正しいかを確かめてください。"};
}

}  // namespace

std::string describeConninfo(const std::string& conninfo) {
    const auto options = conninfoOptions(conninfo, nullptr);
    std::string db = optionOf(options, "dbname");
    const std::string service = optionOf(options, "service");
    std::string host = optionOf(options, "host");
    if (db.empty() && !service.empty()) db = "service=" + service;
    if (db.empty()) db = optionOf(options, "user");
    if (host.empty()) host = "ローカル";
    return db.empty() ? "サーバー" : db + " (" + host + ")";
}

bool conninfoHasPassword(const std::string& conninfo) {
    return !optionOf(conninfoOptions(conninfo, nullptr), "password").empty();
}

PgResult::PgResult(pg_result* r) : r_(r, PQclear) {}
int PgResult::rows() const { return r_ ? PQntuples(r_.get()) : 0; }
bool PgResult::isNull(int row, int col) const { return PQgetisnull(r_.get(), row, col) != 0; }
std::string_view PgResult::text(int row, int col) const {
    return {PQgetvalue(r_.get(), row, col),
            static_cast<std::size_t>(PQgetlength(r_.get(), row, col))};
}
std::int64_t PgResult::integer(int row, int col) const {
    return std::stoll(std::string(text(row, col)));
}
std::string_view PgResult::bytes(int row, int col) const { return text(row, col); }
namespace {
std::uint64_t bigEndian(std::string_view b) {
    std::uint64_t v = 0;
    for (unsigned char c : b) v = (v << 8) | c;
    return v;
}
}  // namespace

std::int64_t PgResult::int64(int row, int col) const {
    return static_cast<std::int64_t>(bigEndian(text(row, col)));
}
std::int16_t PgResult::int16(int row, int col) const {
    return static_cast<std::int16_t>(bigEndian(text(row, col)));
}
double PgResult::float8(int row, int col) const {
    const std::uint64_t bits = bigEndian(text(row, col));
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

PgParam PgParam::float8(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    std::string b(8, '\0');
    for (int i = 7; i >= 0; --i, bits >>= 8)
        b[static_cast<std::size_t>(i)] = static_cast<char>(bits & 0xff);
    return {std::move(b), true, false};
}

std::int64_t PgResult::affected() const {
    const char* n = PQcmdTuples(r_.get());
    return n && *n ? std::stoll(n) : 0;
}

PgConnection::PgConnection(std::string conninfo)
    : conninfo_(std::move(conninfo)), where_(describeConninfo(conninfo_)) {
    std::string parseError;
    // A string with '=' or a URI is a connection string; a plain word names a database.
    const bool isConninfo = conninfo_.find('=') != std::string::npos ||
                            conninfo_.starts_with("postgres://") ||
                            conninfo_.starts_with("postgresql://");
    if (isConninfo && conninfoOptions(conninfo_, &parseError).empty() && !parseError.empty())
        throw ServerError(ServerError::Kind::Settings, "サーバー",
                          "接続文字列が正しくありません（" + parseError +
                              "）。「host=ホスト dbname=データベース」か「service=サービス名」の"
                              "形で指定してください。");
    // The program and the tool talk to the server in UTF-8 whatever the locale says. A
    // server that does not answer is given up after 5 seconds unless the string says
    // otherwise (its own connect_timeout, given later, wins).
    const char* keys[] = {"connect_timeout", "dbname", "client_encoding", "application_name",
                          nullptr};
    const char* values[] = {"5", conninfo_.c_str(), "UTF8", "quil", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        const std::string detail = conn_ ? PQerrorMessage(conn_) : "out of memory";
        PQfinish(conn_);
        conn_ = nullptr;
        throw connectionError(where_, detail);
    }
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
}

PgConnection::~PgConnection() { PQfinish(conn_); }

void PgConnection::fail(pg_result* r, const std::string& sql) {
    using K = ServerError::Kind;
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    const std::string detail = firstLine(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_));
    PQclear(r);
    // An error without a SQLSTATE comes from libpq, not from the server: the connection was
    // lost. libpq may say so ("server closed the connection unexpectedly") while the
    // connection's status still reads OK, as when a statement is sent over a connection
    // that an immediate server stop closed without a word.
    if (PQstatus(conn_) != CONNECTION_OK || code.empty() || code.starts_with("08") ||
        code.starts_with("57P"))
        throw ServerError(K::Connection, where_,
                          "サーバーとの接続が切れました（" + detail +
                              "）。サーバーが動いているかを確かめてください。");
    if (code == "42501")
        throw ServerError(K::NotAllowed, where_,
                          "この操作をする権限がありません。データは変更されていません。"
                          "権限が必要なら管理者に頼んでください。");
    (void)sql;
    throw ServerError(K::Other, where_, "サーバーでエラーが起きました（" + detail + "）。");
}

PgResult PgConnection::exec(const std::string& sql, const std::vector<PgParam>& params,
                            bool binaryResult) {
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const PgParam& p : params) {
        // libpq sends a text parameter up to its first NUL: refuse it rather than cut it.
        if (!p.binary && !p.null && p.value.find('\0') != std::string::npos)
            throw ServerError(ServerError::Kind::Refused, where_,
                              "文字 NUL（コード 0）を含む文字列はサーバーに保存できません。"
                              "何も変更していません。");
        values.push_back(p.null ? nullptr : p.value.data());
        lengths.push_back(static_cast<int>(p.value.size()));
        formats.push_back(p.binary ? 1 : 0);
    }
    pg_result* r =
        PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr, values.data(),
                     lengths.data(), formats.data(), binaryResult ? 1 : 0);
    const auto status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(r, sql);
    return PgResult(r);
}

void PgConnection::run(const std::string& sql) {
    pg_result* r = PQexec(conn_, sql.c_str());
    const auto status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(r, sql);
    PQclear(r);
}

void PgConnection::copyIn(
    const std::string& sql,
    const std::function<bool(const std::function<void(std::string_view)>&)>& produce) {
    pg_result* r = PQexec(conn_, sql.c_str());
    if (!r || PQresultStatus(r) != PGRES_COPY_IN) fail(r, sql);
    PQclear(r);
    bool failed = false;
    const auto sink = [&](std::string_view data) {
        if (!failed && PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) != 1)
            failed = true;
    };
    try {
        while (produce(sink) && !failed) {
        }
    } catch (...) {
        PQputCopyEnd(conn_, "cancelled");
        while (pg_result* rest = PQgetResult(conn_)) PQclear(rest);
        throw;
    }
    PQputCopyEnd(conn_, failed ? "failed" : nullptr);
    pg_result* end = PQgetResult(conn_);
    if (!end || PQresultStatus(end) != PGRES_COMMAND_OK) {
        while (pg_result* rest = PQgetResult(conn_)) PQclear(rest);
        fail(end, sql);
    }
    PQclear(end);
    while (pg_result* rest = PQgetResult(conn_)) PQclear(rest);
}

void PgConnection::copyOut(const std::string& sql,
                           const std::function<void(std::string_view)>& consume) {
    pg_result* r = PQexec(conn_, sql.c_str());
    if (!r || PQresultStatus(r) != PGRES_COPY_OUT) fail(r, sql);
    PQclear(r);
    for (;;) {
        char* buf = nullptr;
        const int n = PQgetCopyData(conn_, &buf, 0);
        if (n > 0) {
            try {
                consume(std::string_view(buf, static_cast<std::size_t>(n)));
            } catch (...) {
                PQfreemem(buf);
                // Drain the rest so that the connection stays usable.
                while (PQgetCopyData(conn_, &buf, 0) > 0) PQfreemem(buf);
                while (pg_result* rest = PQgetResult(conn_)) PQclear(rest);
                throw;
            }
            PQfreemem(buf);
            continue;
        }
        if (n == -1) break;
        fail(nullptr, sql);
    }
    pg_result* end = PQgetResult(conn_);
    if (!end || PQresultStatus(end) != PGRES_COMMAND_OK) {
        while (pg_result* rest = PQgetResult(conn_)) PQclear(rest);
        fail(end, sql);
    }
    PQclear(end);
    while (pg_result* rest = PQgetResult(conn_)) PQclear(rest);
}

bool PgConnection::alive() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

bool PgConnection::reconnect() {
    PQreset(conn_);
    return alive();
}

int PgConnection::socket() const { return conn_ ? PQsocket(conn_) : -1; }

std::vector<PgConnection::Notification> PgConnection::takeNotifications() {
    std::vector<Notification> out;
    if (!conn_) return out;
    PQconsumeInput(conn_);
    while (PGnotify* n = PQnotifies(conn_)) {
        out.push_back({n->relname ? n->relname : "", n->extra ? n->extra : "", n->be_pid});
        PQfreemem(n);
    }
    return out;
}

bool PgConnection::waitReadable(int timeoutMs) const {
    const int fd = socket();
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

std::string PgConnection::encryptPassword(const std::string& password, const std::string& user) {
    char* hashed = PQencryptPasswordConn(conn_, password.c_str(), user.c_str(), "scram-sha-256");
    if (!hashed)
        throw ServerError(ServerError::Kind::Other, where_,
                          "パスワードを暗号化できません（" +
                              std::string(conn_ ? PQerrorMessage(conn_) : "") + "）。");
    std::string out(hashed);
    PQfreemem(hashed);
    return out;
}

int PgConnection::backendPid() const { return conn_ ? PQbackendPID(conn_) : 0; }

}  // namespace quil::server
