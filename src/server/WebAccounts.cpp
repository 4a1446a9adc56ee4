#include "server/WebAccounts.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

#include "server/ServerAccounts.h"

namespace quil::server {

namespace {

using K = ServerError::Kind;

constexpr int kUserKind = 2;  // store::ItemKind::User
constexpr std::size_t kTokenBytes = 32;
// Longer passwords are refused before hashing: nobody types them, and hashing them costs.
constexpr std::size_t kLongestPassword = 1024;

const std::string kRefused = "ログイン名またはパスワードが違います。";
// A locked login gets the same answer as a wrong password (and takes as long), so that a
// stranger learns neither that a name exists nor that it is locked; the second sentence
// tells a driver who keeps failing what to do.
const std::string kRefusedOrLocked =
    "ログイン名またはパスワードが違います。失敗が続いたときは、しばらくたってからやり直して"
    "ください。";
// Attempts of one login from one address that may be verified at the same time (a driver's
// phone and tablet, a page reloaded): one after another they could not pass the lock.
constexpr int kSimultaneousAttempts = 8;
// A pending attempt older than this was never concluded (the service stopped): a failure.
constexpr double kPendingSeconds = 120;
const std::string kDisabled = "このログインは使えなくなっています。管理者に問い合わせてください。";
const std::string kUnconfirmed =
    "このログインの使用者が変わったため、管理者の確認が済むまで使えません。"
    "管理者に問い合わせてください。";
const std::string kAddressLimited =
    "この接続元からのログインの失敗が多すぎます。しばらくたってからやり直してください。";

void ensureSodium() {
    static const int state = sodium_init();
    if (state < 0) throw std::runtime_error("暗号ライブラリ (libsodium) を初期化できません。");
}

[[noreturn]] void refuse(PgConnection& c, const std::string& why) {
    throw ServerError(K::Refused, c.where(), why + "何も変更していません。");
}

std::string hex(const unsigned char* bytes, std::size_t n) {
    std::string out(n * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), bytes, n);
    out.pop_back();
    return out;
}

std::string randomBytes(std::size_t n) {
    std::string out(n, '\0');
    randombytes_buf(out.data(), n);
    return out;
}

// The stored form of a token: its SHA-256 (the token is random, so a fast hash suffices);
// empty for a string that is no token.
std::string tokenHash(const std::string& token) {
    if (token.size() != kTokenBytes * 2) return {};
    unsigned char bytes[kTokenBytes];
    std::size_t len = 0;
    if (sodium_hex2bin(bytes, sizeof bytes, token.data(), token.size(), nullptr, &len, nullptr) !=
            0 ||
        len != kTokenBytes)
        return {};
    std::string h(crypto_hash_sha256_BYTES, '\0');
    crypto_hash_sha256(reinterpret_cast<unsigned char*>(h.data()), bytes, sizeof bytes);
    sodium_memzero(bytes, sizeof bytes);
    return h;
}

std::string tokenHex(const std::string& bytes) {
    return hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

}  // namespace

std::string sessionTokenHash(const std::string& token) {
    const std::string h = tokenHash(token);
    return h.empty() ? std::string() : tokenHex(h);
}

namespace {

PgParam at(double seconds) { return PgParam::float8(seconds); }

// A remote address as the web service gives it (IPv4 or IPv6 text, perhaps with a port).
void checkAddress(PgConnection& c, const std::string& address) {
    const bool printable =
        std::all_of(address.begin(), address.end(), [](char ch) { return ch > ' ' && ch < 0x7f; });
    if (address.empty() || address.size() > 100 || !printable)
        refuse(c, "接続元のアドレスが正しくありません。");
}

// Passwords that are tried first by anyone guessing (8 characters or more, lower case).
constexpr std::string_view kCommonPasswords[] = {
    "password", "password1", "password12", "password123", "passw0rd", "p@ssw0rd",
    "12345678", "123456789", "1234567890", "0123456789",  "87654321", "12341234",
    "11111111", "00000000",  "88888888",   "aaaaaaaa",    "abcd1234", "abc12345",
    "qwertyui", "qwerty123", "qwertyuiop", "1qaz2wsx",    "zaq12wsx", "asdfghjk",
    "iloveyou", "sunshine",  "princess",   "football",    "baseball", "welcome1",
    "admin123", "letmein1",  "12qwaszx",   "q1w2e3r4",    "1q2w3e4r", "a1b2c3d4"};

std::string newPasswordProblem(const std::string& login, const std::string& password) {
    // Characters, not bytes: three kanji are not a password of eight.
    std::size_t chars = 0;
    for (unsigned char ch : password) chars += (ch & 0xC0) != 0x80;
    if (chars < 8) return "パスワードは 8 文字以上にしてください。";
    if (std::string p = passwordProblem(password); !p.empty()) return p;
    if (password.find_first_not_of(" \t") == std::string::npos)
        return "空白だけのパスワードは使えません。";
    const std::string lower = normalizedWebLogin(password);
    if (lower == login) return "ログイン名と同じパスワードは使えません。";
    for (std::string_view common : kCommonPasswords)
        if (lower == common)
            return "よく使われていて推測されやすいパスワードです。別のものにしてください。";
    return {};
}

}  // namespace

std::string hashWebPassword(std::string_view password, unsigned long long ops, std::size_t memory) {
    ensureSodium();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), ops, memory,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("パスワードの暗号を作れません（メモリーが足りません）。");
    return out;
}

bool verifyWebPassword(const std::string& hash, std::string_view password) {
    ensureSodium();
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string normalizedWebLogin(std::string login) {
    const auto space = [](char ch) { return ch == ' ' || ch == '\t'; };
    while (!login.empty() && space(login.back())) login.pop_back();
    login.erase(login.begin(), std::find_if_not(login.begin(), login.end(), space));
    for (char& ch : login)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return login;
}

std::string webLoginProblem(const std::string& login) {
    const std::string name = normalizedWebLogin(login);
    if (name.empty()) return "ログイン名を入力してください。";
    if (name.size() > 32) return "ログイン名は 32 文字までです。";
    const auto alnum = [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9'); };
    for (char ch : name)
        if (!alnum(ch) && ch != '_' && ch != '.' && ch != '-')
            return "ログイン名に使えるのは英字、数字、「_」「.」「-」だけです。";
    if (!alnum(name[0])) return "ログイン名は英字か数字で始めてください。";
    return {};
}

bool csrfTokenMatches(const WebSession& session, std::string_view presented) {
    if (session.csrfToken.empty() || presented.size() != session.csrfToken.size()) return false;
    return sodium_memcmp(session.csrfToken.data(), presented.data(), presented.size()) == 0;
}

WebAccounts::WebAccounts(PgConnection& c, WebClock clock, WebPolicy policy)
    : c_(c), clock_(std::move(clock)), policy_(policy) {
    ensureSodium();
    if (!clock_) clock_ = [] { return std::chrono::system_clock::now(); };
}

double WebAccounts::now() const {
    using namespace std::chrono;
    return double(duration_cast<microseconds>(clock_().time_since_epoch()).count()) / 1e6;
}

void WebAccounts::logAdmin(std::int64_t account, const std::string& what) {
    c_.exec(
        "INSERT INTO quil_web_log (at, account, actor, address, action) "
        "VALUES (to_timestamp($1::float8), $2, session_user, "
        "        coalesce(host(inet_client_addr()), 'local'), $3)",
        {at(now()), PgParam::number(account), PgParam::text(what)});
}

void WebAccounts::logWrite(const WebSession& who, const std::string& address,
                           const std::string& what) {
    checkAddress(c_, address);
    c_.exec(
        "INSERT INTO quil_web_log (at, account, actor, address, action) "
        "VALUES (to_timestamp($1::float8), $2, $3, $4, $5)",
        {at(now()), PgParam::number(who.account), PgParam::text(who.login), PgParam::text(address),
         PgParam::text(what)});
}

WebAccounts::Claim WebAccounts::claimAttempt(const std::string& address, const std::string& login,
                                             double when) {
    // Counted and recorded under a lock of the address, so that attempts at the same time
    // from one address cannot pass the limits together.
    return inTransaction(c_, [&]() -> Claim {
        c_.exec("SELECT pg_advisory_xact_lock(7190003, hashtext($1))", {PgParam::text(address)});
        const PgResult recent = c_.exec(
            "SELECT count(*) FROM quil_web_login_attempt "
            "WHERE address = $1 AND NOT succeeded AND attempted_at > to_timestamp($2::float8)",
            {PgParam::text(address), at(when - double(policy_.addressWindow.count()))});
        if (recent.integer(0, 0) >= policy_.addressFailures) return {LoginOutcome::AddressLimited};
        // The login's failures from this address since its last success there: another
        // address's failures never lock a driver out of his own.
        std::int64_t failed = 0;
        if (!login.empty()) {
            const PgResult pair = c_.exec(
                "SELECT count(*) FILTER (WHERE NOT pending "
                "                          OR attempted_at <= to_timestamp($4::float8)), "
                "       count(*) FILTER (WHERE pending "
                "                          AND attempted_at > to_timestamp($4::float8)) "
                "FROM quil_web_login_attempt "
                "WHERE login = $1 AND address = $2 AND NOT succeeded "
                "  AND attempted_at > to_timestamp($3::float8) "
                "  AND id > coalesce((SELECT max(id) FROM quil_web_login_attempt "
                "      WHERE login = $1 AND address = $2 AND succeeded), 0)",
                {PgParam::text(login), PgParam::text(address),
                 at(when - double(policy_.accountLock.count())), at(when - kPendingSeconds)});
            failed = pair.integer(0, 0);
            const std::int64_t pending = pair.integer(0, 1);
            if (failed >= policy_.accountFailures ||
                failed + pending >= std::max(policy_.accountFailures, kSimultaneousAttempts))
                return {LoginOutcome::Locked, 0, failed};
        }
        return {LoginOutcome::LoggedIn,
                c_.exec("INSERT INTO quil_web_login_attempt "
                        "(address, login, attempted_at, succeeded, pending) "
                        "VALUES ($1, $2, to_timestamp($3::float8), false, true) RETURNING id",
                        {PgParam::text(address), PgParam::text(login), at(when)})
                    .integer(0, 0),
                failed};
    });
}

int WebAccounts::findDriver(const std::string& positionOrName) {
    const bool digits = !positionOrName.empty() && positionOrName.size() <= 9 &&
                        std::all_of(positionOrName.begin(), positionOrName.end(),
                                    [](char ch) { return ch >= '0' && ch <= '9'; });
    const PgResult r =
        digits ? c_.exec(
                     "SELECT position FROM quil_items "
                     "WHERE position = $1 AND kind = $2 AND NOT deleted",
                     {PgParam::number(std::stoll(positionOrName)), PgParam::number(kUserKind)})
               : c_.exec(
                     "SELECT position FROM quil_items "
                     "WHERE name = $1 AND kind = $2 AND NOT deleted ORDER BY position",
                     {PgParam::text(positionOrName), PgParam::number(kUserKind)});
    if (r.rows() == 0)
        refuse(c_, digits ? "位置 " + positionOrName +
                                " に使用者はいません（削除された使用者も"
                                "使えません）。"
                          : "使用者「" + positionOrName + "」はいません。");
    if (r.rows() > 1)
        refuse(c_, "使用者「" + positionOrName + "」は複数います。位置の番号で指定してください。");
    return static_cast<int>(r.integer(0, 0));
}

void WebAccounts::createAccount(const std::string& login, int driver, const std::string& password) {
    const std::string name = normalizedWebLogin(login);
    if (const std::string p = webLoginProblem(name); !p.empty()) refuse(c_, p);
    if (const std::string p = newPasswordProblem(name, password); !p.empty()) refuse(c_, p);
    const std::string hash = hashWebPassword(password, policy_.hashOps, policy_.hashMemory);
    inTransaction(c_, [&] {
        const PgResult user =
            c_.exec("SELECT name FROM quil_items WHERE position = $1 AND kind = $2 AND NOT deleted",
                    {PgParam::number(driver), PgParam::number(kUserKind)});
        if (user.rows() == 0)
            refuse(c_, "位置 " + std::to_string(driver) +
                           " に使用者はいません（削除された使用者も使えません）。");
        const std::string driverName(user.text(0, 0));
        if (c_.exec("SELECT 1 FROM quil_web_account WHERE login = $1", {PgParam::text(name)})
                .rows() > 0)
            refuse(c_, "ログイン名 " + name + " はすでにあります。");
        const PgResult other = c_.exec("SELECT login FROM quil_web_account WHERE driver = $1",
                                       {PgParam::number(driver)});
        if (other.rows() > 0)
            refuse(c_, "使用者「" + driverName + "」にはログイン " + std::string(other.text(0, 0)) +
                           " がすでにあります。");
        const double t = now();
        const PgResult r = c_.exec(
            "INSERT INTO quil_web_account (login, driver, driver_name, password_hash, created_at, "
            "changed_at) VALUES ($1, $2, $5, $3, to_timestamp($4::float8), "
            "to_timestamp($4::float8)) RETURNING id",
            {PgParam::text(name), PgParam::number(driver), PgParam::text(hash), at(t),
             PgParam::text(driverName)});
        logAdmin(r.integer(0, 0), "ログイン作成 " + name + " (使用者「" + driverName + "」位置 " +
                                      std::to_string(driver) + ")");
    });
}

DriverAccount WebAccounts::existing(const std::string& login) {
    const std::string name = normalizedWebLogin(login);
    for (DriverAccount& a : list())
        if (a.login == name) return std::move(a);
    refuse(c_, "ログイン " + name + " はありません。");
}

void WebAccounts::setPassword(const std::string& login, const std::string& password) {
    const DriverAccount a = existing(login);
    if (const std::string p = newPasswordProblem(a.login, password); !p.empty()) refuse(c_, p);
    const std::string hash = hashWebPassword(password, policy_.hashOps, policy_.hashMemory);
    inTransaction(c_, [&] {
        c_.exec(
            "UPDATE quil_web_account SET password_hash = $2, must_change_password = true, "
            "failed_attempts = 0, locked_until = NULL, changed_at = to_timestamp($3::float8) "
            "WHERE id = $1",
            {PgParam::number(a.id), PgParam::text(hash), at(now())});
        c_.exec("DELETE FROM quil_web_session WHERE account = $1", {PgParam::number(a.id)});
        c_.exec("DELETE FROM quil_web_login_attempt WHERE login = $1 AND NOT succeeded",
                {PgParam::text(a.login)});
        logAdmin(a.id, "パスワード設定 " + a.login);
    });
}

void WebAccounts::setDisabled(const std::string& login, bool disabled) {
    const DriverAccount a = existing(login);
    inTransaction(c_, [&] {
        c_.exec(
            "UPDATE quil_web_account SET disabled = $2, changed_at = to_timestamp($3::float8) "
            "WHERE id = $1",
            {PgParam::number(a.id), PgParam::text(disabled ? "true" : "false"), at(now())});
        if (disabled)
            c_.exec("DELETE FROM quil_web_session WHERE account = $1", {PgParam::number(a.id)});
        logAdmin(a.id, (disabled ? "無効化 " : "有効化 ") + a.login);
    });
}

void WebAccounts::confirmDriver(const std::string& login) {
    const DriverAccount a = existing(login);
    if (!a.driverLive)
        refuse(c_, "位置 " + std::to_string(a.driver) +
                       " に使用者はいません（削除された使用者も使えません）。");
    inTransaction(c_, [&] {
        c_.exec(
            "UPDATE quil_web_account SET driver_name = $2, changed_at = to_timestamp($3::float8) "
            "WHERE id = $1",
            {PgParam::number(a.id), PgParam::text(a.driverName), at(now())});
        c_.exec("DELETE FROM quil_web_session WHERE account = $1", {PgParam::number(a.id)});
        logAdmin(a.id, "使用者の確認 " + a.login + " (使用者「" + a.driverName + "」位置 " +
                           std::to_string(a.driver) + ")");
    });
}

std::vector<DriverAccount> WebAccounts::list() {
    const PgResult r = c_.exec(
        "SELECT a.id, a.login, a.driver, coalesce(i.name, ''), "
        "       coalesce(i.kind = $2 AND NOT i.deleted, false), a.disabled, "
        "       a.must_change_password, "
        "       EXISTS (SELECT 1 FROM quil_web_login_attempt t "
        "               WHERE t.login = a.login AND NOT t.succeeded "
        "                 AND t.attempted_at > to_timestamp($1::float8) "
        "               GROUP BY t.address HAVING count(*) >= $3), "
        "       coalesce(a.driver_name, ''), coalesce(i.name = a.driver_name, false) "
        "FROM quil_web_account a LEFT JOIN quil_items i ON i.position = a.driver "
        "ORDER BY a.login",
        {at(now() - double(policy_.accountLock.count())), PgParam::number(kUserKind),
         PgParam::number(policy_.accountFailures)});
    std::vector<DriverAccount> out;
    for (int i = 0; i < r.rows(); ++i) {
        DriverAccount a;
        a.id = r.integer(i, 0);
        a.login = std::string(r.text(i, 1));
        a.driver = static_cast<int>(r.integer(i, 2));
        a.driverName = std::string(r.text(i, 3));
        a.driverLive = r.text(i, 4) == "t";
        a.disabled = r.text(i, 5) == "t";
        a.mustChangePassword = r.text(i, 6) == "t";
        a.locked = r.text(i, 7) == "t";
        a.boundName = std::string(r.text(i, 8));
        a.confirmed = r.text(i, 9) == "t";
        out.push_back(std::move(a));
    }
    return out;
}

LoginResult WebAccounts::logIn(const std::string& login, const std::string& password,
                               const std::string& address) {
    checkAddress(c_, address);
    const double t = now();
    LoginResult result;
    result.message = kRefusedOrLocked;
    const std::string name = normalizedWebLogin(login);
    // A name that cannot exist is not sent to the server (it may not even be UTF-8).
    const bool wellFormed = webLoginProblem(name).empty();
    // Every attempt counts as a failure of its address until its password proves right.
    const Claim claim = claimAttempt(address, wellFormed ? name : "", t);
    if (claim.outcome == LoginOutcome::AddressLimited) {
        result.outcome = LoginOutcome::AddressLimited;
        result.message = kAddressLimited;
        return result;
    }
    const auto conclude = [&](bool succeeded) {
        if (claim.attempt)
            c_.exec(
                "UPDATE quil_web_login_attempt SET pending = false, succeeded = $2 WHERE id = $1",
                {PgParam::number(claim.attempt), PgParam::text(succeeded ? "true" : "false")});
    };
    if (password.size() > kLongestPassword) {
        conclude(false);
        return result;
    }
    const PgResult account =
        claim.outcome == LoginOutcome::Locked || !wellFormed
            ? PgResult()
            : c_.exec(
                  "SELECT a.id, a.password_hash, a.disabled, a.must_change_password, "
                  "  coalesce(i.kind = $2 AND NOT i.deleted, false), "
                  "  coalesce(i.name = a.driver_name, false) "
                  "FROM quil_web_account a LEFT JOIN quil_items i ON i.position = a.driver "
                  "WHERE a.login = $1",
                  {PgParam::text(name), PgParam::number(kUserKind)});
    if (account.rows() == 0) {
        // One Argon2id computation, as a wrong password costs, so that the time tells
        // neither an unknown name nor a locked one apart from a wrong password.
        hashWebPassword(password, policy_.hashOps, policy_.hashMemory);
        conclude(false);
        if (claim.outcome == LoginOutcome::Locked) result.outcome = LoginOutcome::Locked;
        return result;
    }
    const std::int64_t id = account.integer(0, 0);
    const std::string hash(account.text(0, 1));
    if (!verifyWebPassword(hash, password)) {
        conclude(false);
        if (claim.failed + 1 >= policy_.accountFailures) result.outcome = LoginOutcome::Locked;
        return result;
    }
    // A right password: not an attack on the address, even when the account cannot log in.
    conclude(true);
    if (account.text(0, 2) == "t" || account.text(0, 4) != "t") {
        result.outcome = LoginOutcome::Disabled;
        result.message = kDisabled;
        return result;
    }
    if (account.text(0, 5) != "t") {
        result.outcome = LoginOutcome::Disabled;
        result.message = kUnconfirmed;
        return result;
    }
    if (crypto_pwhash_str_needs_rehash(hash.c_str(), policy_.hashOps, policy_.hashMemory) != 0)
        c_.exec("UPDATE quil_web_account SET password_hash = $2 WHERE id = $1",
                {PgParam::number(id),
                 PgParam::text(hashWebPassword(password, policy_.hashOps, policy_.hashMemory))});
    const std::string token = randomBytes(kTokenBytes);
    result.token = tokenHex(token);
    inTransaction(c_, [&] {
        c_.exec("DELETE FROM quil_web_session WHERE last_seen <= to_timestamp($1::float8)",
                {at(t - double(policy_.idleTimeout.count()))});
        c_.exec("DELETE FROM quil_web_login_attempt WHERE attempted_at < to_timestamp($1::float8)",
                {at(t - std::max(86400.0, double(policy_.addressWindow.count())))});
        c_.exec(
            "INSERT INTO quil_web_session (token_hash, account, created_at, last_seen, "
            "csrf_secret) VALUES ($1, $2, to_timestamp($3::float8), to_timestamp($3::float8), "
            // Made by the server from its strong random source (two version 4 UUIDs, 244
            // random bits), so that the form's secret never appears as a value in its log.
            "sha256(convert_to(gen_random_uuid()::text || gen_random_uuid()::text, 'UTF8')))",
            {PgParam::bytes(tokenHash(result.token)), PgParam::number(id), at(t)});
        c_.exec(
            "INSERT INTO quil_web_log (at, account, actor, address, action) "
            "VALUES (to_timestamp($1::float8), $2, $3, $4, 'ログイン')",
            {at(t), PgParam::number(id), PgParam::text(name), PgParam::text(address)});
    });
    result.outcome = LoginOutcome::LoggedIn;
    result.message.clear();
    result.mustChangePassword = account.text(0, 3) == "t";
    return result;
}

std::optional<WebSession> WebAccounts::checkSession(const std::string& token) {
    const std::string h = tokenHash(token);
    if (h.empty()) return std::nullopt;
    const double t = now();
    const double oldest = t - double(policy_.idleTimeout.count());
    // A session of a disabled account, of a driver no longer in the user list, or of a
    // login whose user position now holds another person, is not renewed: it runs out.
    const PgResult r = c_.exec(
        "WITH s AS ("
        "  UPDATE quil_web_session s SET last_seen = to_timestamp($2::float8) "
        "  FROM quil_web_account a JOIN quil_items i ON i.position = a.driver "
        "  WHERE s.token_hash = $1 AND s.last_seen > to_timestamp($3::float8) "
        "    AND a.id = s.account AND NOT a.disabled AND i.kind = $4 AND NOT i.deleted "
        "    AND i.name = a.driver_name "
        "  RETURNING a.id, a.login, a.driver, i.name, a.must_change_password, s.csrf_secret) "
        "SELECT id, login, driver, name, must_change_password, encode(csrf_secret, 'hex') FROM s",
        {PgParam::bytes(h), at(t), at(oldest), PgParam::number(kUserKind)});
    if (r.rows() == 0) {
        c_.exec(
            "DELETE FROM quil_web_session "
            "WHERE token_hash = $1 AND last_seen <= to_timestamp($2::float8)",
            {PgParam::bytes(h), at(oldest)});
        return std::nullopt;
    }
    WebSession s;
    s.account = r.integer(0, 0);
    s.login = std::string(r.text(0, 1));
    s.driver = static_cast<int>(r.integer(0, 2));
    s.driverName = std::string(r.text(0, 3));
    s.mustChangePassword = r.text(0, 4) == "t";
    s.csrfToken = std::string(r.text(0, 5));
    return s;
}

void WebAccounts::logOut(const std::string& token, const std::string& address) {
    checkAddress(c_, address);
    const std::string h = tokenHash(token);
    if (h.empty()) return;
    c_.exec(
        "WITH d AS (DELETE FROM quil_web_session WHERE token_hash = $1 RETURNING account) "
        "INSERT INTO quil_web_log (at, account, actor, address, action) "
        "SELECT to_timestamp($2::float8), a.id, a.login, $3, 'ログアウト' "
        "FROM d JOIN quil_web_account a ON a.id = d.account",
        {PgParam::bytes(h), at(now()), PgParam::text(address)});
}

void WebAccounts::changeOwnPassword(const std::string& token, const std::string& current,
                                    const std::string& password, const std::string& address) {
    checkAddress(c_, address);
    const std::optional<WebSession> s = checkSession(token);
    if (!s) refuse(c_, "ログインの有効期限が切れました。もう一度ログインしてください。");
    if (const std::string p = newPasswordProblem(s->login, password); !p.empty()) refuse(c_, p);
    if (password == current) refuse(c_, "新しいパスワードは今のものと違うものにしてください。");
    const double t = now();
    // A stolen session must not become a way round the limit on guessing.
    const Claim attempt = claimAttempt(address, s->login, t);
    if (attempt.outcome == LoginOutcome::AddressLimited) refuse(c_, kAddressLimited);
    if (attempt.outcome == LoginOutcome::Locked)
        refuse(c_, "今のパスワードの失敗が続いたため、しばらく変更できません。");
    const PgResult stored = c_.exec("SELECT password_hash FROM quil_web_account WHERE id = $1",
                                    {PgParam::number(s->account)});
    const bool right = stored.rows() > 0 && current.size() <= kLongestPassword &&
                       verifyWebPassword(std::string(stored.text(0, 0)), current);
    c_.exec("UPDATE quil_web_login_attempt SET pending = false, succeeded = $2 WHERE id = $1",
            {PgParam::number(attempt.attempt), PgParam::text(right ? "true" : "false")});
    if (!right) refuse(c_, "今のパスワードが違います。");
    const std::string hash = hashWebPassword(password, policy_.hashOps, policy_.hashMemory);
    inTransaction(c_, [&] {
        c_.exec(
            "UPDATE quil_web_account SET password_hash = $2, must_change_password = false, "
            "changed_at = to_timestamp($3::float8) WHERE id = $1",
            {PgParam::number(s->account), PgParam::text(hash), at(t)});
        c_.exec("DELETE FROM quil_web_session WHERE account = $1 AND token_hash <> $2",
                {PgParam::number(s->account), PgParam::bytes(tokenHash(token))});
        logWrite(*s, address, "パスワード変更");
    });
}

}  // namespace quil::server
