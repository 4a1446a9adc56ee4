#pragma once
// The drivers' web accounts on a server data set (schema 5): a login for a user item of the
// master list, its password kept only as an Argon2id hash (libsodium), logins limited per
// account and per remote address, sessions known by a hash of a random 256-bit token, and a
// log of every write with who, when and from where. No HTTP here: the web service calls
// these with what the request brought. Everything reaches the server as parameters.
//
// The administrator (quil_admin) manages the accounts; the web service's login (a member of
// quil_web) logs in, checks sessions and changes a driver's own password. The grants decide:
// another role gets ServerError NotAllowed.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PgConnection.h"

namespace quil::server {

using WebClock = std::function<std::chrono::system_clock::time_point()>;

// The cost of one password hash, tuned so that a login's verification takes 100-500 ms on
// the machine the service runs on (bench/web_accounts_bench).
inline constexpr unsigned long long kWebHashOps = 2;
inline constexpr std::size_t kWebHashMemory = std::size_t{128} << 20;

struct WebPolicy {
    // An account is locked for `accountLock` after this many failed logins in a row.
    int accountFailures = 5;
    std::chrono::seconds accountLock{15 * 60};
    // An address is refused while it has this many failed logins within `addressWindow`.
    int addressFailures = 20;
    std::chrono::seconds addressWindow{15 * 60};
    // A session ends after this long without a request; each request renews it.
    std::chrono::seconds idleTimeout{30 * 60};
    unsigned long long hashOps = kWebHashOps;
    std::size_t hashMemory = kWebHashMemory;
};

// Argon2id (libsodium's crypto_pwhash_str): the string keeps its own salt and costs.
// Raises std::runtime_error when the hash cannot be made (out of memory).
std::string hashWebPassword(std::string_view password, unsigned long long ops = kWebHashOps,
                            std::size_t memory = kWebHashMemory);
bool verifyWebPassword(const std::string& hash, std::string_view password);

// The reason a login name cannot be used, in Japanese; empty when it can. Login names are
// kept in lower case (a phone's keyboard capitalises the first letter).
std::string webLoginProblem(const std::string& login);
std::string normalizedWebLogin(std::string login);

struct DriverAccount {
    std::int64_t id = 0;
    std::string login;
    int driver = 0;           // the user item's position in quil_items
    std::string driverName;   // its name; empty when the item is gone
    bool driverLive = false;  // a user item not deleted
    bool disabled = false;
    bool mustChangePassword = false;
    bool locked = false;     // failed too often from some address, for now
    std::string boundName;   // the person the login was made for (or last confirmed)
    bool confirmed = false;  // that person still sits at `driver`
};

enum class LoginOutcome { LoggedIn, Refused, Disabled, Locked, AddressLimited };

struct LoginResult {
    LoginOutcome outcome = LoginOutcome::Refused;
    std::string token;    // 64 hex digits, given out once: only its hash is stored
    std::string message;  // why a login was refused, for the page
    bool mustChangePassword = false;
    bool ok() const { return outcome == LoginOutcome::LoggedIn; }
};

struct WebSession {
    std::int64_t account = 0;
    std::string login;
    int driver = 0;
    std::string driverName;
    bool mustChangePassword = false;
    std::string csrfToken;  // 64 hex digits, the same for the session's every form
};

// Whether a form's token is the session's, compared in constant time.
bool csrfTokenMatches(const WebSession& session, std::string_view presented);

// What the server keeps and compares for a session's token: its SHA-256 in hex; empty for a
// string that is no token. The token itself is never sent to the server.
std::string sessionTokenHash(const std::string& token);

class WebAccounts {
public:
    // Calls sodium_init once per process; raises std::runtime_error when it fails.
    explicit WebAccounts(PgConnection& c, WebClock clock = {}, WebPolicy policy = {});

    // The user item a driver is named by on the command line: its position (digits) or its
    // name. Raises ServerError Refused for no live user of that position or name, or for a
    // name that several live users share.
    int findDriver(const std::string& positionOrName);

    // Administrator's commands; each raises ServerError Refused (bad name or password, an
    // unknown login, a user position that is not a live user, a driver who has a login
    // already) and changes nothing then. Each is logged.
    // A new account must change its first password at its first login.
    void createAccount(const std::string& login, int driver, const std::string& password);
    // A password given by the administrator: the driver must change it again; ends the
    // account's sessions and its lock.
    void setPassword(const std::string& login, const std::string& password);
    // A disabled account cannot log in; its sessions end.
    void setDisabled(const std::string& login, bool disabled);
    // After a restore, an import or a renaming put another person at a login's user
    // position, the login is refused until this binds it to the person there now. Refused
    // when no live user is there.
    void confirmDriver(const std::string& login);
    std::vector<DriverAccount> list();

    // A login from `address` (the request's remote address). Refused with one message, in
    // as long, for an unknown name, a wrong password and a locked login alike. A login is
    // locked after `accountFailures` failures from one address (per login and address, so
    // a stranger cannot lock a driver out of his own); an address after `addressFailures`.
    LoginResult logIn(const std::string& login, const std::string& password,
                      const std::string& address);
    // The session of a token, renewing it; nullopt for an unknown, expired (and then
    // removed) or malformed token, or a disabled account.
    std::optional<WebSession> checkSession(const std::string& token);
    // Ends the session (nothing for an unknown token).
    void logOut(const std::string& token, const std::string& address);
    // The driver's own change (the forced one too): refused (ServerError Refused) for a
    // wrong current password or an unusable new one. Clears the must-change flag and ends
    // the account's other sessions.
    void changeOwnPassword(const std::string& token, const std::string& current,
                           const std::string& password, const std::string& address);
    // Logs a write of the web service: who (the session's login), when, from where, what.
    void logWrite(const WebSession& who, const std::string& address, const std::string& what);

private:
    double now() const;
    void logAdmin(std::int64_t account, const std::string& what);
    // Records an attempt of `login` from `address` as pending (a failure until its password
    // proves right): outcome LoggedIn with its row, or AddressLimited or Locked (nothing
    // recorded) when the address, or the login from it, has no failure left.
    struct Claim {
        LoginOutcome outcome = LoginOutcome::LoggedIn;
        std::int64_t attempt = 0;
        std::int64_t failed = 0;  // the login's recent failures from the address before it
    };
    Claim claimAttempt(const std::string& address, const std::string& login, double when);
    DriverAccount existing(const std::string& login);

    PgConnection& c_;
    WebClock clock_;
    WebPolicy policy_;
};

}  // namespace quil::server
