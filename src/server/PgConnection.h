#pragma once
// A connection to a PostgreSQL server through libpq: statements with parameters only (no
// text is ever pasted into SQL), results that free themselves, COPY in both directions,
// notifications, and errors in the program's own words.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/StoreError.h"

struct pg_conn;
struct pg_result;

namespace quil::server {

// A failure on the server data set, worded for the user: what went wrong and what to do.
class ServerError : public store::StoreError {
public:
    enum class Kind {
        Connection,   // the server cannot be reached, or the connection broke
        Login,        // wrong password, unknown user or database
        Settings,     // a malformed connection string or an unknown service
        NotADataSet,  // the database holds no data set
        Newer,        // the data set comes from a newer program
        Conflict,     // the record or item changed since it was read
        NotAllowed,   // the user's role does not allow the change
        Refused,      // the command cannot run on this data set as it stands
        Other,
    };
    ServerError(Kind kind, const std::string& where, const std::string& reason,
                std::string sqlState = {})
        : StoreError(where, reason), kind_(kind), sqlState_(std::move(sqlState)) {}
    Kind kind() const { return kind_; }
    // The server's SQLSTATE of an error it reported (empty for the program's own errors).
    const std::string& sqlState() const { return sqlState_; }
    // True when the statement lost a race with another session (a serialization failure, a
    // deadlock, a catalog row changed under it): the same transaction may succeed when run
    // again.
    bool lostARace() const {
        return sqlState_ == "40001" || sqlState_ == "40P01" || sqlState_ == "XX000";
    }

private:
    Kind kind_;
    std::string sqlState_;
};

// What libpq said of a connection that failed.
struct ConnectFailure {
    std::string message;         // libpq's message, written at verbose verbosity
    bool needsPassword = false;  // the server asked for a password and none was to be had
    bool settingsRead = true;    // false when the connection's settings could not be read
    bool namesService = false;   // the connection string names a service
};
// The error for a failed connection, sorted by libpq's answers and the SQLSTATE, never by
// the wording (which is in the server's and the user's language).
ServerError connectionFailure(const std::string& where, const ConnectFailure& failure);

// What a connection string names, for messages and titles: "データベース名 (ホスト)".
std::string describeConninfo(const std::string& conninfo);
// Whether the connection string carries a password (which must not be written to Quil.ini).
bool conninfoHasPassword(const std::string& conninfo);

class PgResult {
public:
    PgResult() = default;
    explicit PgResult(pg_result* r);
    int rows() const;
    bool isNull(int row, int col) const;
    std::string_view text(int row, int col) const;
    std::int64_t integer(int row, int col) const;
    // The value of a bytea column of a result asked for in binary.
    std::string_view bytes(int row, int col) const;
    // Values of a result asked for in binary: integers and doubles in network byte order.
    std::int64_t int64(int row, int col) const;
    std::int16_t int16(int row, int col) const;
    double float8(int row, int col) const;
    // Rows touched by INSERT/UPDATE/DELETE.
    std::int64_t affected() const;

private:
    std::shared_ptr<pg_result> r_;
};

// A parameter of a statement: text, or bytes sent as binary (bytea).
struct PgParam {
    std::string value;
    bool binary = false;
    bool null = false;
    static PgParam text(std::string v) { return {std::move(v), false, false}; }
    static PgParam number(std::int64_t v) { return {std::to_string(v), false, false}; }
    static PgParam bytes(std::string_view v) { return {std::string(v), true, false}; }
    // A double sent exactly, as the 8 bytes of a float8 (the statement casts it: $n::float8).
    static PgParam float8(double v);
    static PgParam none() { return {{}, false, true}; }
};

class PgConnection {
public:
    // Connects; raises ServerError with a message that says what to do.
    explicit PgConnection(std::string conninfo);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    const std::string& conninfo() const { return conninfo_; }
    // "データベース名 (ホスト)" for messages.
    const std::string& where() const { return where_; }

    // Runs one statement; `binaryResult` asks for bytea columns as raw bytes.
    PgResult exec(const std::string& sql, const std::vector<PgParam>& params = {},
                  bool binaryResult = false);
    // Runs statements without parameters (schema scripts, BEGIN, COMMIT).
    void run(const std::string& sql);

    // COPY ... FROM STDIN: `produce` is called with a sink for the data until it returns false.
    void copyIn(const std::string& sql,
                const std::function<bool(const std::function<void(std::string_view)>&)>& produce);
    // COPY ... TO STDOUT: `consume` gets every chunk of data as the server sends it.
    void copyOut(const std::string& sql, const std::function<void(std::string_view)>& consume);

    // Whether the connection is still up (false after the server went away).
    bool alive() const;
    // Connects again after the connection broke; false while the server is still away.
    bool reconnect();
    // Trades places with `other` (a connection made on another thread takes a broken one's).
    void swap(PgConnection& other) noexcept;

    // The socket, for waiting on notifications; -1 when not connected.
    int socket() const;
    struct Notification {
        std::string channel;
        std::string payload;
        int senderPid = 0;
    };
    // Reads what arrived on the socket and returns the notifications waiting, oldest first.
    std::vector<Notification> takeNotifications();
    // Waits up to `timeoutMs` for something on the socket (0: do not wait).
    bool waitReadable(int timeoutMs) const;
    int backendPid() const;
    // The password as the server keeps it (SCRAM), made here so that the password itself
    // never travels to the server or into its logs.
    std::string encryptPassword(const std::string& password, const std::string& user);

private:
    [[noreturn]] void fail(pg_result* r, const std::string& sql);
    // The end of a COPY: its command's result, every other result drained so that the
    // connection stays usable, a failure raised.
    void finishCopy(const std::string& sql);
    pg_conn* conn_ = nullptr;
    std::string conninfo_;
    std::string where_;
};

// Runs `body` in a transaction: COMMIT when it returns, ROLLBACK when it throws.
template <typename F>
auto inTransaction(PgConnection& c, F&& body, const char* begin = "BEGIN") {
    c.run(begin);
    try {
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            c.run("COMMIT");
        } else {
            auto result = body();
            c.run("COMMIT");
            return result;
        }
    } catch (...) {
        if (c.alive()) {
            try {
                c.run("ROLLBACK");
            } catch (...) {
            }
        }
        throw;
    }
}

}  // namespace quil::server
