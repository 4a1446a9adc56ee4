#include "server/WebAccounts.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

#include "server/ServerAccounts.h"
#include "store/Records.h"

namespace quil::server {

namespace {

using K = ServerError::Kind;

constexpr std::size_t kTokenBytes = 32;
// Longer passwords are refused before hashing: nobody types them, and hashing them costs.
constexpr std::size_t kLongestPassword = 1024;

// The kind number the users' rows carry in the items table.
PgParam userKind() { return PgParam::number(static_cast<std::int64_t>(store::ItemKind::User)); }

const std::string kRefused = "ログイン名またはパスワードが違います。";
// A locked login gets the same answer as a wrong password (and takes as long), so that a
// stranger learns neither that a name exists nor that it is locked; the second sentence
// tells a driver who keeps failing what to do.
const std::string kRefusedOrLocked =
    "ログイン名またはパスワードが違います。失敗が続いたときは、しばらくたってからやり直して"
    "ください。";
// An attempt that lost a race to another of the same login begins again this often.
constexpr int kRetries = 10;
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

namespace {

std::string sha256(std::string_view bytes) {
    std::string h(crypto_hash_sha256_BYTES, '\0');
    crypto_hash_sha256(reinterpret_cast<unsigned char*>(h.data()),
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return h;
}

// The chain's seed of a generation: SHA-256(key || "quil-web-chain" || generation, 4 bytes
// big-endian), as the schema's upgrade makes it from a stored hash.
std::string chainSeed(const std::string& key, int generation) {
    std::string m = key + "quil-web-chain";
    for (int shift = 24; shift >= 0; shift -= 8)
        m.push_back(static_cast<char>((static_cast<unsigned>(generation) >> shift) & 0xFF));
    std::string seed = sha256(m);
    sodium_memzero(m.data(), m.size());
    return seed;
}

std::string chainStep(std::string value, int steps) {
    for (int i = 0; i < steps; ++i) value = sha256(value);
    return value;
}

std::string argon2id(std::string_view password, const std::string& salt, unsigned long long ops,
                     std::size_t memory) {
    std::string key(32, '\0');
    if (salt.size() != crypto_pwhash_SALTBYTES ||
        crypto_pwhash(reinterpret_cast<unsigned char*>(key.data()), key.size(), password.data(),
                      password.size(), reinterpret_cast<const unsigned char*>(salt.data()), ops,
                      memory, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("パスワードの暗号を作れません（メモリーが足りません）。");
    return key;
}

std::vector<PgParam> verifierParams(const WebVerifier& v) {
    return {PgParam::number(static_cast<std::int64_t>(v.ops)),
            PgParam::number(static_cast<std::int64_t>(v.memory >> 10)), PgParam::bytes(v.salt),
            PgParam::bytes(v.head), PgParam::number(kWebChainLength)};
}

WebVerifier newVerifier(std::string_view password, unsigned long long ops, std::size_t memory) {
    WebVerifier v{ops, memory, randomBytes(crypto_pwhash_SALTBYTES), {}};
    std::string key = argon2id(password, v.salt, ops, memory);
    v.head = chainStep(chainSeed(key, 0), kWebChainLength);
    sodium_memzero(key.data(), key.size());
    return v;
}

}  // namespace

WebVerifier webVerifier(std::string_view password, const WebPolicy& policy) {
    ensureSodium();
    return newVerifier(password, policy.hashOps, policy.hashMemory);
}

std::string webPasswordKey(const LoginChallenge& challenge, std::string_view password) {
    ensureSodium();
    if (password.size() > kLongestPassword) return {};
    return argon2id(password, challenge.salt, challenge.ops, challenge.memory);
}

LoginProof webLoginProof(const LoginChallenge& challenge, const std::string& key) {
    LoginProof p;
    // A password never tried: a proof that cannot be right, so that the attempt still counts.
    if (key.empty() || challenge.left < 1) {
        p.proof = randomBytes(32);
        return p;
    }
    std::string seed = chainSeed(key, challenge.generation);
    p.proof = chainStep(seed, challenge.left - 1);
    if (challenge.left <= 2)
        p.next = chainStep(chainSeed(key, challenge.generation + 1), kWebChainLength);
    sodium_memzero(seed.data(), seed.size());
    return p;
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

int WebAccounts::findDriver(const std::string& positionOrName) {
    const bool digits = !positionOrName.empty() && positionOrName.size() <= 9 &&
                        std::all_of(positionOrName.begin(), positionOrName.end(),
                                    [](char ch) { return ch >= '0' && ch <= '9'; });
    const PgResult r =
        digits ? c_.exec(
                     "SELECT position FROM quil_items "
                     "WHERE position = $1 AND kind = $2 AND NOT deleted",
                     {PgParam::number(std::stoll(positionOrName)), userKind()})
               : c_.exec(
                     "SELECT position FROM quil_items "
                     "WHERE name = $1 AND kind = $2 AND NOT deleted ORDER BY position",
                     {PgParam::text(positionOrName), userKind()});
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
    const WebVerifier v = newVerifier(password, policy_.hashOps, policy_.hashMemory);
    inTransaction(c_, [&] {
        const PgResult user =
            c_.exec("SELECT name FROM quil_items WHERE position = $1 AND kind = $2 AND NOT deleted",
                    {PgParam::number(driver), userKind()});
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
        std::vector<PgParam> params = verifierParams(v);
        params.insert(params.end(), {PgParam::text(name), PgParam::number(driver),
                                     PgParam::text(driverName), at(t)});
        const PgResult r = c_.exec(
            "INSERT INTO quil_web_account (kdf_ops, kdf_memory, salt, chain_head, chain_left, "
            "login, driver, driver_name, created_at, changed_at) "
            "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, to_timestamp($9::float8), "
            "to_timestamp($9::float8)) RETURNING id",
            params);
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
    const WebVerifier v = newVerifier(password, policy_.hashOps, policy_.hashMemory);
    inTransaction(c_, [&] {
        std::vector<PgParam> params = verifierParams(v);
        params.insert(params.end(), {PgParam::number(a.id), at(now())});
        c_.exec(
            "UPDATE quil_web_account SET kdf_ops = $1, kdf_memory = $2, salt = $3, "
            "chain_head = $4, chain_left = $5, chain_generation = 0, "
            "must_change_password = true, changed_at = to_timestamp($7::float8) WHERE id = $6",
            params);
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
        "                 AND t.attempted_at > now() - interval '15 minutes' "
        "                 AND t.id > coalesce((SELECT max(u.id) FROM quil_web_login_attempt u "
        "                     WHERE u.login = a.login AND u.address = t.address "
        "                       AND u.succeeded), 0) "
        "               GROUP BY t.address HAVING count(*) >= $1), "
        "       coalesce(a.driver_name, ''), coalesce(i.name = a.driver_name, false) "
        "FROM quil_web_account a LEFT JOIN quil_items i ON i.position = a.driver "
        "ORDER BY a.login",
        {PgParam::number(kWebLoginFailures), userKind()});
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

LoginChallenge WebAccounts::beginLogIn(const std::string& login, const std::string& address) {
    checkAddress(c_, address);
    LoginChallenge ch;
    ch.login = normalizedWebLogin(login);
    // A name that cannot exist is not sent to the server (it may not even be UTF-8); its
    // attempt counts against the address all the same.
    const PgResult r = c_.exec(
        "SELECT o_status, o_nonce, o_ops, o_memory, o_salt, o_generation, o_left "
        "FROM quil_web_login_begin($1, $2)",
        {PgParam::text(webLoginProblem(ch.login).empty() ? ch.login : std::string()),
         PgParam::text(address)},
        true);
    const std::string_view status = r.bytes(0, 0);
    if (status == "address") {
        ch.outcome = LoginOutcome::AddressLimited;
        return ch;
    }
    if (status == "locked") {
        ch.outcome = LoginOutcome::Locked;
        return ch;
    }
    const auto number = [&](int col) {
        const std::string_view b = r.bytes(0, col);  // int4, big-endian
        std::uint32_t v = 0;
        for (unsigned char byte : b) v = (v << 8) | byte;
        return static_cast<std::int32_t>(v);
    };
    ch.outcome = LoginOutcome::LoggedIn;
    ch.nonce = std::string(r.bytes(0, 1));
    ch.ops = static_cast<unsigned long long>(number(2));
    ch.memory = static_cast<std::size_t>(number(3)) << 10;
    ch.salt = std::string(r.bytes(0, 4));
    ch.generation = number(5);
    ch.left = number(6);
    return ch;
}

LoginResult WebAccounts::finishLogIn(const LoginChallenge& challenge, const LoginProof& proof,
                                     bool* retry) {
    if (retry) *retry = false;
    LoginResult result;
    result.outcome =
        challenge.outcome == LoginOutcome::LoggedIn ? LoginOutcome::Refused : challenge.outcome;
    result.message =
        challenge.outcome == LoginOutcome::AddressLimited ? kAddressLimited : kRefusedOrLocked;
    if (challenge.outcome != LoginOutcome::LoggedIn) return result;
    const std::string token = randomBytes(kTokenBytes);
    const PgResult r =
        c_.exec("SELECT o_status, o_must_change FROM quil_web_login_finish($1, $2, $3, $4, $5, $6)",
                {PgParam::bytes(challenge.nonce), PgParam::bytes(proof.proof),
                 PgParam::bytes(tokenHash(tokenHex(token))),
                 PgParam::number(
                     std::chrono::duration_cast<std::chrono::minutes>(policy_.idleTimeout).count()),
                 proof.next.empty() ? PgParam::none() : PgParam::bytes(proof.next),
                 PgParam::number(kWebChainLength)});
    const std::string_view status = r.text(0, 0);
    if (status == "stale" && retry) *retry = true;
    if (status == "locked") result.outcome = LoginOutcome::Locked;
    if (status == "disabled" || status == "unconfirmed") {
        result.outcome = LoginOutcome::Disabled;
        result.message = status == "disabled" ? kDisabled : kUnconfirmed;
    }
    if (status != "ok") return result;
    result.outcome = LoginOutcome::LoggedIn;
    result.message.clear();
    result.token = tokenHex(token);
    result.mustChangePassword = r.text(0, 1) == "t";
    return result;
}

LoginResult WebAccounts::logIn(const std::string& login, const std::string& password,
                               const std::string& address) {
    std::string key;
    LoginResult result;
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        const LoginChallenge ch = beginLogIn(login, address);
        if (ch.outcome == LoginOutcome::LoggedIn && key.empty()) key = webPasswordKey(ch, password);
        bool retry = false;
        result = finishLogIn(ch, webLoginProof(ch, key), &retry);
        if (!retry) {
            if (result.ok() && webRekeyWanted(ch, policy_)) {
                // The login stands whether or not the password's costs could be renewed.
                try {
                    rekey(ch, result.token, key, webVerifier(password, policy_), address);
                } catch (const std::exception&) {
                }
            }
            break;
        }
    }
    sodium_memzero(key.data(), key.size());
    return result;
}

bool webRekeyWanted(const LoginChallenge& challenge, const WebPolicy& policy) {
    return challenge.outcome == LoginOutcome::LoggedIn &&
           (challenge.ops != policy.hashOps || challenge.memory != policy.hashMemory);
}

bool WebAccounts::rekey(const LoginChallenge& login, const std::string& token,
                        const std::string& key, const WebVerifier& verifier,
                        const std::string& address) {
    if (key.empty()) return false;
    // A new attempt of the login, proven by the chain's next step from the key it just
    // logged in with: the server takes the new salt, costs and chain only with that proof.
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        const LoginChallenge ch = beginLogIn(login.login, address);
        if (ch.outcome != LoginOutcome::LoggedIn) return false;
        std::vector<PgParam> params{PgParam::bytes(tokenHash(token)), PgParam::bytes(ch.nonce),
                                    PgParam::bytes(webLoginProof(ch, key).proof)};
        for (PgParam& p : verifierParams(verifier)) params.push_back(std::move(p));
        const std::string status(
            c_.exec("SELECT quil_web_rekey($1, $2, $3, $4, $5, $6, $7, $8)", params).text(0, 0));
        if (status != "stale") return status == "ok";
    }
    return false;
}

std::optional<WebSession> WebAccounts::checkSession(const std::string& token) {
    const std::string h = tokenHash(token);
    if (h.empty()) return std::nullopt;
    // A session of a disabled account, of a driver no longer in the user list, or of a
    // login whose user position now holds another person, is not renewed: it runs out.
    const PgResult r = c_.exec(
        "SELECT o_account, o_login, o_driver, o_name, o_must_change, o_csrf "
        "FROM quil_web_session($1)",
        {PgParam::bytes(h)});
    if (r.rows() == 0) return std::nullopt;
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
    c_.exec("SELECT quil_web_logout($1, $2)", {PgParam::bytes(h), PgParam::text(address)});
}

void WebAccounts::changeOwnPassword(const std::string& token, const std::string& current,
                                    const std::string& password, const std::string& address) {
    checkAddress(c_, address);
    const std::optional<WebSession> s = checkSession(token);
    const std::string expired = "ログインの有効期限が切れました。もう一度ログインしてください。";
    if (!s) refuse(c_, expired);
    if (const std::string p = newPasswordProblem(s->login, password); !p.empty()) refuse(c_, p);
    if (password == current) refuse(c_, "新しいパスワードは今のものと違うものにしてください。");
    const WebVerifier v = newVerifier(password, policy_.hashOps, policy_.hashMemory);
    std::string key;
    std::string status = "stale";
    // A stolen session must not become a way round the limit on guessing: the current
    // password is an attempt of the login from this address.
    for (int attempt = 0; attempt < kRetries && status == "stale"; ++attempt) {
        const LoginChallenge ch = beginLogIn(s->login, address);
        if (ch.outcome == LoginOutcome::AddressLimited) refuse(c_, kAddressLimited);
        if (ch.outcome == LoginOutcome::Locked)
            refuse(c_, "今のパスワードの失敗が続いたため、しばらく変更できません。");
        if (key.empty()) key = webPasswordKey(ch, current);
        std::vector<PgParam> params{PgParam::bytes(tokenHash(token)), PgParam::bytes(ch.nonce),
                                    PgParam::bytes(webLoginProof(ch, key).proof)};
        for (PgParam& p : verifierParams(v)) params.push_back(std::move(p));
        status = std::string(
            c_.exec("SELECT quil_web_change_password($1, $2, $3, $4, $5, $6, $7, $8)", params)
                .text(0, 0));
    }
    sodium_memzero(key.data(), key.size());
    if (status == "expired") refuse(c_, expired);
    if (status != "ok") refuse(c_, "今のパスワードが違います。");
}

}  // namespace quil::server
