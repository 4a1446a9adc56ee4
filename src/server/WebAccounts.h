#pragma once
// The drivers' web accounts on a server data set: a login for a user item of the master
// list, logins limited per login and address and per address, sessions known by a hash of a
// random 256-bit token, and a log of every write with who, when and from where. No HTTP here:
// the web service calls these with what the request brought.
//
// The server never sees a password. It keeps a login's Argon2id salt and costs and the head
// of a hash chain seeded by the Argon2id output (schema 10); a login presents the chain's
// next value back, which the server checks, and which is of no use once seen (in the
// server's log, say). The administrator manages the accounts through the tables; the web
// service's login (a member of the data set's web group) holds no right on any table and
// works only through the schema's quil_web_* functions. Another role gets ServerError
// NotAllowed.

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

// The cost of a new password's Argon2id: 12 MiB and three passes (one of OWASP's equivalent
// least costs), so that two verifications at a time keep the service under 64 MiB under
// attack (bench/web_load_bench) and each takes about as long as 19 MiB and two passes.
inline constexpr unsigned long long kWebHashOps = 3;
inline constexpr std::size_t kWebHashMemory = std::size_t{12} << 20;
// The length of a new hash chain: as many logins before the service hands over the next.
inline constexpr int kWebChainLength = 4096;

// The limits on failed logins are the server's own (quil_web_login_begin): a login is locked
// for 15 minutes after 5 failures from one address, an address after 20 within 15 minutes.
inline constexpr int kWebLoginFailures = 5;
inline constexpr int kWebAddressFailures = 20;

struct WebPolicy {
    // A session ends after this long without a request; each request renews it (1 minute
    // to 12 hours).
    std::chrono::seconds idleTimeout{30 * 60};
    unsigned long long hashOps = kWebHashOps;
    std::size_t hashMemory = kWebHashMemory;
};

// Argon2id (libsodium's crypto_pwhash_str): the string keeps its own salt and costs. What the
// schema before 10 kept; its upgrade turns these into hash chains.
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

// A login attempt begun by the server: its nonce, and what the password's proof is made
// with. An unknown login gets the same as a known one.
struct LoginChallenge {
    LoginOutcome outcome = LoginOutcome::Refused;  // LoggedIn: go on with the proof
    std::string login;
    std::string nonce;  // 32 bytes
    unsigned long long ops = 0;
    std::size_t memory = 0;  // bytes
    std::string salt;        // 16 bytes
    int generation = 0;
    int left = 0;
};

// The proof of a password for one attempt; empty `proof` for a password never tried (too
// long). `next` is the head of the chain's next generation, when this one runs short.
struct LoginProof {
    std::string proof;
    std::string next;
};

// The Argon2id output of `password` with the challenge's salt and costs (32 bytes; empty
// for a password too long to try). Raises std::runtime_error when out of memory.
std::string webPasswordKey(const LoginChallenge& challenge, std::string_view password);
// The proof of an attempt from the password's key: cheap, so that an attempt that lost a
// race to another of the same login begins again without a second Argon2id.
LoginProof webLoginProof(const LoginChallenge& challenge, const std::string& key);

// What the server keeps of a new password: a fresh salt, the costs and the chain's head.
struct WebVerifier {
    unsigned long long ops = 0;
    std::size_t memory = 0;  // bytes
    std::string salt;
    std::string head;
};
// The verifier of `password` at the policy's costs (one Argon2id; no connection). Raises
// std::runtime_error when out of memory.
WebVerifier webVerifier(std::string_view password, const WebPolicy& policy);

// Whether a login's password is kept at costs other than the policy's (converted from an
// older data set, say): after a right login the service re-keys it.
bool webRekeyWanted(const LoginChallenge& challenge, const WebPolicy& policy);

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

    // A login from `address` (the request's remote address): beginLogIn, webPasswordKey and
    // finishLogIn in turn. Refused with one message for an unknown name, a wrong password
    // and a locked login alike. A login is locked after kWebLoginFailures failures from one
    // address (per login and address, so a stranger cannot lock a driver out of his own);
    // an address after kWebAddressFailures. A right password kept at costs other than the
    // policy's is then re-keyed at the policy's (rekey); the login stands if that fails.
    LoginResult logIn(const std::string& login, const std::string& password,
                      const std::string& address);
    // The steps of a login, so that the service computes the key without holding a
    // connection. A challenge not LoggedIn is the answer already (a limit, refused early).
    LoginChallenge beginLogIn(const std::string& login, const std::string& address);
    // Refused when the attempt lost a race to another one of the same login: `retry` is
    // then set, and the caller begins again (with the key it has).
    LoginResult finishLogIn(const LoginChallenge& challenge, const LoginProof& proof,
                            bool* retry = nullptr);
    // Re-keys the password of the login `login` began, with the session `token` that login
    // got: a new attempt proven with the password's `key` under its current salt, then
    // `verifier`'s salt, costs and chain. The account keeps its sessions, must-change mark
    // and date of change. False when the server refused it; logIn does this itself.
    bool rekey(const LoginChallenge& login, const std::string& token, const std::string& key,
               const WebVerifier& verifier, const std::string& address);
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

private:
    double now() const;
    void logAdmin(std::int64_t account, const std::string& what);
    DriverAccount existing(const std::string& login);

    PgConnection& c_;
    WebClock clock_;
    WebPolicy policy_;
};

}  // namespace quil::server
