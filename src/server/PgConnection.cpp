#include "PgConnection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace quil::server {
namespace {

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

bool isSqlstateChar(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }

// The SQLSTATE in a message libpq wrote at verbose verbosity ("<severity>:  <code>: <text>",
// the severity in the server's language; one line a host tried), and the line that holds it
// without the code. A message without one (the failure was the client's: no server, no
// settings) gives its first line.
std::pair<std::string, std::string> splitSqlstate(const std::string& message) {
    std::size_t begin = 0;
    while (begin < message.size()) {
        std::size_t end = message.find('\n', begin);
        if (end == std::string::npos) end = message.size();
        std::string line = message.substr(begin, end - begin);
        for (std::size_t at = line.find(":  "); at != std::string::npos;
             at = line.find(":  ", at + 1)) {
            const std::size_t code = at + 3;
            if (code + 7 > line.size() || line.compare(code + 5, 2, ": ") != 0) continue;
            bool isCode = true;
            for (std::size_t i = code; i < code + 5; ++i) isCode = isCode && isSqlstateChar(line[i]);
            if (!isCode) continue;
            std::string state = line.substr(code, 5);
            line.erase(code, 7);
            return {state, firstLine(line)};
        }
        begin = end + 1;
    }
    return {"", firstLine(message)};
}

// The connect_timeout libpq would apply, in milliseconds; -1 waits for ever.
int connectTimeoutMs(pg_conn* conn) {
    int seconds = 0;
    if (PQconninfoOption* options = PQconninfo(conn)) {
        for (PQconninfoOption* o = options; o->keyword; ++o)
            if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val)
                seconds = std::atoi(o->val);
        PQconninfoFree(options);
    }
    if (seconds <= 0) return -1;
    return std::max(seconds, 2) * 1000;
}

// Connects as PQconnectdbParams does, with libpq's messages at verbose verbosity from the
// start so that a refusal carries its SQLSTATE whatever language the server speaks. Each
// host libpq moves on to gets the connect_timeout; a host silent for that long ends the
// attempt, and `timedOut` says so.
pg_conn* connectVerbose(const char* const* keys, const char* const* values, bool& timedOut) {
    timedOut = false;
    pg_conn* conn = PQconnectStartParams(keys, values, 1);
    if (!conn || PQstatus(conn) == CONNECTION_BAD) return conn;
    PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
    const int timeoutMs = connectTimeoutMs(conn);
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string host = PQhost(conn) ? PQhost(conn) : "";
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        int waitMs = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - Clock::now());
            waitMs = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
        const int fd = PQsocket(conn);
        pollfd p{fd, static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        // Without a socket there is nothing to wait for: libpq goes on (or gives up) at once.
        const int ready = fd < 0 ? 1 : ::poll(&p, 1, waitMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            timedOut = true;
            return conn;
        }
        state = PQconnectPoll(conn);
        const std::string now = PQhost(conn) ? PQhost(conn) : "";
        if (now != host) {
            host = now;
            deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        }
    }
    if (state == PGRES_POLLING_OK) PQsetErrorVerbosity(conn, PQERRORS_DEFAULT);
    return conn;
}

}  // namespace

ServerError connectionFailure(const std::string& where, const ConnectFailure& failure) {
    using K = ServerError::Kind;
    const auto [state, detail] = splitSqlstate(failure.message);
    const std::string d = "（" + detail + "）";
    if (failure.needsPassword)
        return {K::Login, where,
                "サーバーにログインできません。パスワードが設定されていません" + d +
                    "。パスワードはパスワードファイル（~/.pgpass）に書いてください。"};
    if (state == "28P01")
        return {K::Login, where,
                "サーバーにログインできません。パスワードが違うか、このユーザーが登録されていません" +
                    d + "。パスワードファイル（~/.pgpass）のパスワードを確かめてください。"};
    if (state == "28000")
        return {K::Login, where,
                "このユーザーはサーバーに登録されていないか、このコンピューターからのログインが許されて"
                "いません" +
                    d + "。管理者にアカウントの作成か接続の許可を頼んでください。"};
    if (state == "3D000")
        return {K::Login, where,
                "データベースがサーバーにありません" + d +
                    "。名前を確かめるか、管理者に作成を頼んでください。"};
    if (state == "42501")
        return {K::Login, where,
                "このユーザーにはデータベースに接続する権限がありません" + d +
                    "。管理者に権限を頼んでください。"};
    if (state.empty() && !failure.settingsRead)
        return {K::Settings, where,
                failure.namesService
                    ? "接続サービスが見つからないか、その設定が正しくありません" + d +
                          "。接続サービスファイル（~/.pg_service.conf）を確かめてください。"
                    : "接続の設定が正しくありません" + d + "。接続文字列を確かめてください。"};
    return {
        K::Connection, where,
        "サーバーに接続できません" + d +
            "。サーバーが動いているか、接続先（ホスト名・ポート）が正しいかを確かめてください。"};
}

namespace {
}  // namespace

std::string describeConninfo(const std::string& conninfo) {
    const auto options = conninfoOptions(conninfo, nullptr);
    std::string db = optionOf(options, "dbname");
    const std::string service = optionOf(options, "service");
    std::string host = optionOf(options, "host");
    // Without a host in the string the service (whose file names the host) or PGHOST says
    // where the server is; only with none of them is it this computer.
    if (host.empty() && !service.empty()) {
        if (db.empty()) return "service=" + service;
        host = "service=" + service;
    }
    if (const char* env = std::getenv("PGHOST"); host.empty() && env && *env) host = env;
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
    bool timedOut = false;
    conn_ = connectVerbose(keys, values, timedOut);
    if (!conn_ || timedOut || PQstatus(conn_) != CONNECTION_OK) {
        ConnectFailure failure;
        failure.message = !conn_    ? "メモリーが足りません"
                          : timedOut ? "サーバーが時間内に応答しません"
                                     : PQerrorMessage(conn_);
        failure.needsPassword = conn_ && !timedOut && PQconnectionNeedsPassword(conn_);
        failure.settingsRead = !conn_ || (PQhost(conn_) && *PQhost(conn_));
        failure.namesService = !optionOf(conninfoOptions(conninfo_, nullptr), "service").empty();
        PQfinish(conn_);
        conn_ = nullptr;
        throw connectionFailure(where_, failure);
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
    throw ServerError(K::Other, where_, "サーバーでエラーが起きました（" + detail + "）。",
                      code);
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
    finishCopy(sql);
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
    finishCopy(sql);
}

void PgConnection::finishCopy(const std::string& sql) {
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

void PgConnection::swap(PgConnection& other) noexcept {
    std::swap(conn_, other.conn_);
    conninfo_.swap(other.conninfo_);
    where_.swap(other.where_);
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
