// The drivers' web accounts: hashes, logins and their limits, sessions, rights, and the
// quil-tool commands that manage them.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "LoginRole.h"
#include "PgTestCluster.h"
#include "SampleDataSet.h"
#include "ServerTestData.h"
#include "TempDir.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/WebAccounts.h"
#include "store/Records.h"
#include "tool/ToolRunner.h"

using namespace quil;
using namespace quil::server;
using namespace std::chrono_literals;
using quil::test::addItem;
using quil::test::kindOf;
using quil::test::LoginRole;
using quil::test::ScratchDatabase;

namespace {

constexpr const char* kHome = "192.0.2.10";
constexpr const char* kAway = "198.51.100.7";

std::string refusal(const std::function<void()>& f) {
    try {
        f();
    } catch (const ServerError& e) {
        return e.what();
    }
    return {};
}

class WebAccountsTest : public ::testing::Test {
protected:
    ScratchDatabase db;
    std::unique_ptr<PgConnection> c;
    std::chrono::system_clock::time_point t =
        std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 20000);
    WebPolicy policy;
    int yamada = 0, sato = 0, gone = 0, vehicle = 0;

    void SetUp() override {
        c = std::make_unique<PgConnection>(db.conninfo());
        initializeSchema(*c);
        // Cheap hashes: the tests count attempts, not the cost of each.
        policy.hashOps = 1;
        policy.hashMemory = 64 * 1024;
        ServerDataSet set(db.conninfo());
        vehicle = addItem(set, store::ItemKind::Vehicle, "軽トラ");
        yamada = addItem(set, store::ItemKind::User, "山田");
        sato = addItem(set, store::ItemKind::User, "佐藤");
        gone = addItem(set, store::ItemKind::User, "退職者", true);
    }
    WebAccounts accounts(PgConnection& conn) {
        return WebAccounts(
            conn, [this] { return t; }, policy);
    }
    WebAccounts accounts() { return accounts(*c); }
    std::int64_t count(const std::string& sql) { return c->exec(sql).integer(0, 0); }
};

}  // namespace

TEST(WebPasswords, AStoredHashIsArgon2idWithItsOwnSaltAndVerifiesOnlyItsPassword) {
    const std::string h = hashWebPassword("正しいパスワード-123");
    EXPECT_EQ(h.rfind("$argon2id$", 0), 0u) << h;
    EXPECT_NE(h.find("m=12288,t=3"), std::string::npos) << h;
    EXPECT_TRUE(verifyWebPassword(h, "正しいパスワード-123"));
    EXPECT_FALSE(verifyWebPassword(h, "正しいパスワード-124"));
    EXPECT_FALSE(verifyWebPassword(h, ""));
    EXPECT_FALSE(verifyWebPassword("not a hash", "正しいパスワード-123"));
    EXPECT_NE(hashWebPassword("正しいパスワード-123", 1, 64 * 1024),
              hashWebPassword("正しいパスワード-123", 1, 64 * 1024));
}

TEST(WebPasswords, LoginNamesAreLowerCaseLettersDigitsAndAFewMarks) {
    EXPECT_EQ(normalizedWebLogin("  Yamada.T \t"), "yamada.t");
    EXPECT_EQ(webLoginProblem("Yamada_2"), "");
    EXPECT_EQ(webLoginProblem("7eleven"), "");
    EXPECT_NE(webLoginProblem(""), "");
    EXPECT_NE(webLoginProblem("   "), "");
    EXPECT_NE(webLoginProblem("-yamada"), "");
    EXPECT_NE(webLoginProblem("山田"), "");
    EXPECT_NE(webLoginProblem("yama da"), "");
    EXPECT_NE(webLoginProblem("a'; DROP TABLE quil_records; --"), "");
    EXPECT_EQ(webLoginProblem(std::string(32, 'a')), "");
    EXPECT_NE(webLoginProblem(std::string(33, 'a')), "");
}

TEST_F(WebAccountsTest, AnAccountBelongsToOneLiveUserAndBadRequestsChangeNothing) {
    WebAccounts a = accounts();
    EXPECT_EQ(a.findDriver("山田"), yamada);
    EXPECT_EQ(a.findDriver(std::to_string(sato)), sato);
    EXPECT_NE(refusal([&] { a.findDriver("退職者"); }).find("いません"), std::string::npos);
    EXPECT_NE(refusal([&] { a.findDriver(std::to_string(gone)); }).find("削除"), std::string::npos);
    EXPECT_NE(refusal([&] { a.findDriver(std::to_string(vehicle)); }), "");
    EXPECT_NE(refusal([&] { a.findDriver("99999"); }), "");
    {
        ServerDataSet set(db.conninfo());
        addItem(set, store::ItemKind::User, "山田");
    }
    EXPECT_NE(refusal([&] { a.findDriver("山田"); }).find("複数"), std::string::npos);

    a.createAccount("Yamada", yamada, "first-pass-1");
    const auto refused = [&](const std::string& login, int driver, const std::string& pw,
                             const std::string& says) {
        const std::string why = refusal([&] { a.createAccount(login, driver, pw); });
        EXPECT_NE(why.find(says), std::string::npos) << login << ": " << why;
        EXPECT_NE(why.find("何も変更していません"), std::string::npos) << why;
    };
    refused("taisha", gone, "first-pass-1", "削除");
    refused("kei", vehicle, "first-pass-1", "使用者はいません");
    refused("nobody", 4242, "first-pass-1", "使用者はいません");
    refused("sato", sato, "short", "8 文字以上");
    refused("sato", sato, "七文字の合言葉", "8 文字以上");  // 21 bytes, 7 characters
    refused("sato", sato, "          ", "空白だけ");
    refused("sato", sato, "Password123", "推測されやすい");
    refused("sato", sato, "12345678", "推測されやすい");
    refused("sato.kenji", sato, "SATO.KENJI", "ログイン名と同じ");
    refused("sato k", sato, "first-pass-1", "使えるのは");
    refused("YAMADA", sato, "first-pass-1", "すでにあります");
    refused("yamada2", yamada, "first-pass-1", "ログイン yamada がすでにあります");

    const std::vector<DriverAccount> all = a.list();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].login, "yamada");
    EXPECT_EQ(all[0].driver, yamada);
    EXPECT_EQ(all[0].driverName, "山田");
    EXPECT_TRUE(all[0].driverLive);
    EXPECT_TRUE(all[0].mustChangePassword);
    EXPECT_FALSE(all[0].disabled);
    // The server keeps the Argon2id salt and costs and a chain's head, never the password.
    const PgResult stored = c->exec(
        "SELECT kdf_ops, kdf_memory, octet_length(salt), chain_left, chain_generation, "
        "position(convert_to('first-pass-1', 'UTF8') in salt || chain_head) "
        "FROM quil_web_account");
    EXPECT_EQ(stored.integer(0, 0), 1);
    EXPECT_EQ(stored.integer(0, 1), 64);
    EXPECT_EQ(stored.integer(0, 2), 16);
    EXPECT_EQ(stored.integer(0, 3), kWebChainLength);
    EXPECT_EQ(stored.integer(0, 4), 0);
    EXPECT_EQ(stored.integer(0, 5), 0);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_log WHERE action LIKE 'ログイン作成 yamada%' "
                    "AND actor = session_user AND account IS NOT NULL"),
              1);
}

TEST_F(WebAccountsTest, ALoginStaysWithThePersonItWasMadeForUntilAnAdministratorConfirms) {
    WebAccounts a = accounts();
    a.createAccount("yamada", yamada, "first-pass-1");
    const std::string token = a.logIn("yamada", "first-pass-1", kHome).token;
    ASSERT_TRUE(a.checkSession(token));
    // A restore puts another person at the position: the login and its session stop.
    c->run("UPDATE quil_items SET name = '鈴木一郎' WHERE position = " + std::to_string(yamada));
    EXPECT_FALSE(a.checkSession(token));
    const LoginResult held = a.logIn("yamada", "first-pass-1", kHome);
    EXPECT_FALSE(held.ok());
    EXPECT_NE(held.message.find("管理者の確認"), std::string::npos) << held.message;
    ASSERT_EQ(a.list().size(), 1u);
    EXPECT_FALSE(a.list()[0].confirmed);
    EXPECT_EQ(a.list()[0].boundName, "山田");
    EXPECT_EQ(a.list()[0].driverName, "鈴木一郎");
    // Confirmed, it is that person's login.
    a.confirmDriver("yamada");
    EXPECT_TRUE(a.list()[0].confirmed);
    const LoginResult again = a.logIn("yamada", "first-pass-1", kHome);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(a.checkSession(again.token)->driverName, "鈴木一郎");
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_log WHERE action LIKE '使用者の確認 yamada%'"),
              1);
    c->run("UPDATE quil_items SET deleted = true WHERE position = " + std::to_string(yamada));
    EXPECT_NE(refusal([&] { a.confirmDriver("yamada"); }).find("使用者はいません"),
              std::string::npos);
}

TEST_F(WebAccountsTest, ALoginGivesAFreshTokenThatIsNeverStoredAndASessionForIt) {
    WebAccounts a = accounts();
    a.createAccount("yamada", yamada, "first-pass-1");
    const LoginResult first = a.logIn(" Yamada", "first-pass-1", kHome);
    ASSERT_TRUE(first.ok()) << first.message;
    EXPECT_TRUE(first.mustChangePassword);
    ASSERT_EQ(first.token.size(), 64u);
    EXPECT_EQ(first.token.find_first_not_of("0123456789abcdef"), std::string::npos);
    const LoginResult second = a.logIn("yamada", "first-pass-1", kAway);
    ASSERT_TRUE(second.ok());
    EXPECT_NE(first.token, second.token);

    const std::optional<WebSession> s = a.checkSession(first.token);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->login, "yamada");
    EXPECT_EQ(s->driver, yamada);
    EXPECT_EQ(s->driverName, "山田");
    EXPECT_TRUE(s->mustChangePassword);
    ASSERT_EQ(s->csrfToken.size(), 64u);
    EXPECT_TRUE(csrfTokenMatches(*s, s->csrfToken));
    std::string other = s->csrfToken;
    other[10] = other[10] == 'a' ? 'b' : 'a';
    EXPECT_FALSE(csrfTokenMatches(*s, other));
    EXPECT_FALSE(csrfTokenMatches(*s, ""));
    EXPECT_FALSE(csrfTokenMatches(*s, s->csrfToken.substr(0, 32)));
    EXPECT_NE(a.checkSession(second.token)->csrfToken, s->csrfToken);

    // Neither the session table nor the log holds a token, in any case.
    const PgResult rows = c->exec(
        "SELECT upper(string_agg(x::text, '|')) FROM ("
        " SELECT s::text AS x FROM quil_web_session s UNION ALL"
        " SELECT l::text FROM quil_web_log l UNION ALL"
        " SELECT t::text FROM quil_web_login_attempt t) all_rows");
    const std::string dump(rows.text(0, 0));
    for (std::string token : {first.token, second.token}) {
        for (char& ch : token) ch = static_cast<char>(std::toupper(ch));
        EXPECT_EQ(dump.find(token), std::string::npos);
        EXPECT_EQ(dump.find(token.substr(0, 16)), std::string::npos);
    }
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_session"), 2);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_log WHERE action = 'ログイン' AND "
                    "actor = 'yamada' AND address = '192.0.2.10'"),
              1);

    EXPECT_FALSE(a.checkSession(""));
    EXPECT_FALSE(a.checkSession("zz" + first.token.substr(2)));
    EXPECT_FALSE(a.checkSession(first.token.substr(1)));
    EXPECT_FALSE(a.checkSession(std::string(64, '0')));
    EXPECT_FALSE(a.checkSession("' OR 1=1 --"));
}

TEST_F(WebAccountsTest, EachRightLoginSpendsOneStepOfTheChainAndAShortChainIsReplaced) {
    accounts().createAccount("yamada", yamada, "first-pass-1");
    const auto chain = [&] {
        const PgResult r = c->exec(
            "SELECT chain_generation, chain_left, encode(chain_head, 'hex') FROM quil_web_account");
        return std::tuple(r.integer(0, 0), r.integer(0, 1), std::string(r.text(0, 2)));
    };
    const auto before = chain();
    // A wrong password changes nothing, even at costs other than the service's; a right one
    // re-keys the password at the service's costs (a new chain), and the next spends a step.
    policy.hashOps = 2;
    policy.hashMemory = 128 * 1024;
    WebAccounts a = accounts();
    EXPECT_FALSE(a.logIn("yamada", "wrong-pass-1", kHome).ok());
    EXPECT_EQ(chain(), before);
    ASSERT_TRUE(a.logIn("yamada", "first-pass-1", kHome).ok());
    EXPECT_EQ(c->exec("SELECT kdf_ops FROM quil_web_account").integer(0, 0), 2);
    EXPECT_EQ(std::get<1>(chain()), kWebChainLength);
    ASSERT_TRUE(a.logIn("yamada", "first-pass-1", kHome).ok());
    EXPECT_EQ(std::get<1>(chain()), kWebChainLength - 1);
    EXPECT_NE(std::get<2>(chain()), std::get<2>(before));

    // A chain two steps from its end, made on the server from the password's key as the
    // upgrade makes one: the next login hands over the next generation's.
    const std::string key = webPasswordKey(a.beginLogIn("yamada", kHome), "first-pass-1");
    c->exec(
        "UPDATE quil_web_account SET chain_left = 2, chain_head = quil_web_chain(sha256($1 || "
        "convert_to('quil-web-chain', 'UTF8') || int4send(chain_generation)), 2)",
        {PgParam::bytes(key)});
    const LoginChallenge ch = a.beginLogIn("yamada", kHome);
    ASSERT_EQ(ch.left, 2);
    EXPECT_EQ(a.finishLogIn(ch, webLoginProof(ch, key)).outcome, LoginOutcome::LoggedIn);
    EXPECT_EQ(std::get<0>(chain()), 1);
    EXPECT_EQ(std::get<1>(chain()), kWebChainLength);
    EXPECT_TRUE(a.logIn("yamada", "first-pass-1", kHome).ok());
    EXPECT_EQ(std::get<1>(chain()), kWebChainLength - 1);
}

TEST_F(WebAccountsTest, AWrongPasswordAnUnknownNameAndALockGetTheSameAnswer) {
    WebAccounts a = accounts();
    a.createAccount("yamada", yamada, "first-pass-1");
    const LoginResult wrongPassword = a.logIn("yamada", "first-pass-2", kHome);
    const LoginResult unknownName = a.logIn("yamade", "first-pass-1", kHome);
    const LoginResult badName = a.logIn("山田\xff", "first-pass-1", kHome);
    for (const LoginResult* r : {&wrongPassword, &unknownName, &badName}) {
        EXPECT_EQ(r->outcome, LoginOutcome::Refused);
        EXPECT_EQ(r->message,
                  "ログイン名またはパスワードが違います。失敗が続いたときは、しばらくたってから"
                  "やり直してください。");
        EXPECT_TRUE(r->token.empty());
    }
    EXPECT_EQ(a.logIn("yamada", std::string(5000, 'x'), kHome).outcome, LoginOutcome::Refused);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_session"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_login_attempt WHERE NOT succeeded"), 4);
    EXPECT_THROW(a.logIn("yamada", "first-pass-1", ""), ServerError);
    EXPECT_THROW(a.logIn("yamada", "first-pass-1", "1.2.3.4\n"), ServerError);
}

TEST_F(WebAccountsTest, FiveFailuresLockTheAccountForFifteenMinutesAndALoginResetsTheCount) {
    WebAccounts a = accounts();
    a.createAccount("yamada", yamada, "first-pass-1");
    a.createAccount("sato", sato, "second-pass-2");
    // Four failures, then the right password: the count starts again.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a.logIn("yamada", "nope-nope", kHome).outcome, LoginOutcome::Refused);
    ASSERT_TRUE(a.logIn("yamada", "first-pass-1", kHome).ok());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a.logIn("yamada", "nope-nope", kAway).outcome, LoginOutcome::Refused);
    const LoginResult fifth = a.logIn("yamada", "nope-nope", kAway);
    EXPECT_EQ(fifth.outcome, LoginOutcome::Locked);
    EXPECT_EQ(fifth.message, a.logIn("nobody", "nope-nope", kAway).message);
    // Locked from that address, the right password opens nothing; the driver's own address
    // and other accounts work.
    EXPECT_EQ(a.logIn("yamada", "first-pass-1", kAway).outcome, LoginOutcome::Locked);
    EXPECT_TRUE(a.list()[1].locked);
    EXPECT_TRUE(a.logIn("yamada", "first-pass-1", kHome).ok());
    EXPECT_TRUE(a.logIn("sato", "second-pass-2", kAway).ok());
    // The server's clock decides: the attempts are moved back in time.
    const auto later = [&](const char* interval) {
        c->run(std::string("UPDATE quil_web_login_attempt SET attempted_at = attempted_at - "
                           "interval '") +
               interval + "'");
    };
    later("14 minutes 50 seconds");
    EXPECT_EQ(a.logIn("yamada", "first-pass-1", kAway).outcome, LoginOutcome::Locked);
    later("15 seconds");
    EXPECT_TRUE(a.logIn("yamada", "first-pass-1", kAway).ok());
    EXPECT_FALSE(a.list()[1].locked);
    // A new run of failures is counted from nothing.
    for (int i = 0; i < 4; ++i) a.logIn("yamada", "nope-nope", kHome);
    EXPECT_TRUE(a.logIn("yamada", "first-pass-1", kHome).ok());
}

TEST_F(WebAccountsTest, TwentyFailuresFromOneAddressStopItsLoginsForFifteenMinutes) {
    WebAccounts a = accounts();
    const auto later = [&](const char* interval) {
        c->run(std::string("UPDATE quil_web_login_attempt SET attempted_at = attempted_at - "
                           "interval '") +
               interval + "'");
    };
    a.createAccount("yamada", yamada, "first-pass-1");
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(a.logIn("guess" + std::to_string(i), "whatever-1", kHome).outcome,
                  LoginOutcome::Refused);
        later("30 seconds");
    }
    const LoginResult limited = a.logIn("yamada", "first-pass-1", kHome);
    EXPECT_EQ(limited.outcome, LoginOutcome::AddressLimited);
    EXPECT_TRUE(limited.token.empty());
    EXPECT_NE(limited.message, "");
    // Another address is not affected, nor is the account counted.
    EXPECT_TRUE(a.logIn("yamada", "first-pass-1", kAway).ok());
    // The oldest failure leaves the window 15 minutes after it was made.
    later("4 minutes 50 seconds");
    EXPECT_EQ(a.logIn("yamada", "first-pass-1", kHome).outcome, LoginOutcome::AddressLimited);
    later("11 seconds");
    EXPECT_TRUE(a.logIn("yamada", "first-pass-1", kHome).ok());
}

TEST_F(WebAccountsTest, AttemptsAtTheSameTimeGetNoMoreTriesThanOneAfterAnother) {
    accounts().createAccount("yamada", yamada, "first-pass-1");
    std::mutex m;
    std::map<LoginOutcome, int> outcomes;
    const auto attempts = [&](int threads, int each, const std::function<std::string(int)>& name,
                              const std::function<std::string(int)>& address,
                              const std::string& password = "wrong-pass-1") {
        outcomes.clear();
        std::vector<std::thread> running;
        for (int i = 0; i < threads; ++i)
            running.emplace_back([&, i] {
                PgConnection own(db.conninfo());
                WebAccounts a = accounts(own);
                for (int k = 0; k < each; ++k) {
                    const LoginOutcome o =
                        a.logIn(name(i * each + k), password, address(i * each + k)).outcome;
                    std::lock_guard<std::mutex> lock(m);
                    ++outcomes[o];
                }
            });
        for (std::thread& th : running) th.join();
    };
    // Eight right logins of one account at once from one address all get in.
    attempts(
        8, 1, [](int) { return "yamada"; }, [](int) { return std::string(kHome); }, "first-pass-1");
    EXPECT_EQ(outcomes[LoginOutcome::LoggedIn], 8);
    // Wrong ones from one address: at most eight verified (five one after another), then
    // the lock, however they meet; the driver's own address is not locked by them.
    attempts(
        4, 4, [](int) { return "yamada"; }, [](int) { return std::string("203.0.113.9"); });
    const std::int64_t tried = count(
        "SELECT count(*) FROM quil_web_login_attempt WHERE login = 'yamada' AND NOT succeeded");
    EXPECT_GE(tried, 5);
    EXPECT_LE(tried, 8);
    EXPECT_EQ(outcomes[LoginOutcome::Refused] + outcomes[LoginOutcome::Locked], 16);
    EXPECT_EQ(accounts().logIn("yamada", "first-pass-1", "203.0.113.9").outcome,
              LoginOutcome::Locked);
    EXPECT_TRUE(accounts().logIn("yamada", "first-pass-1", kHome).ok());
    // Many names from one address: twenty failures, then the address waits.
    attempts(
        4, 8, [](int n) { return "guess" + std::to_string(n); },
        [](int) { return std::string(kAway); });
    EXPECT_EQ(outcomes[LoginOutcome::Refused], 20);
    EXPECT_EQ(outcomes[LoginOutcome::AddressLimited], 12);
}

TEST_F(WebAccountsTest, ASessionEndsAfterThirtyIdleMinutesEachRequestRenewsItAndLogOutEndsIt) {
    WebAccounts a = accounts();
    a.createAccount("yamada", yamada, "first-pass-1");
    const std::string token = a.logIn("yamada", "first-pass-1", kHome).token;
    const std::string idle = a.logIn("yamada", "first-pass-1", kHome).token;
    // The server's clock decides: the sessions are moved back in time.
    const auto later = [&](const char* interval) {
        c->run(std::string("UPDATE quil_web_session SET last_seen = last_seen - interval '") +
               interval + "'");
    };
    for (int i = 0; i < 3; ++i) {
        later("29 minutes");
        EXPECT_TRUE(a.checkSession(token)) << "renewed at " << i;
    }
    EXPECT_FALSE(a.checkSession(idle));
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_session"), 1) << "an expired one is removed";
    later("30 minutes");
    EXPECT_FALSE(a.checkSession(token));
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_session"), 0);

    const std::string next = a.logIn("yamada", "first-pass-1", kHome).token;
    const std::string kept = a.logIn("yamada", "first-pass-1", kAway).token;
    a.logOut(next, kAway);
    EXPECT_FALSE(a.checkSession(next));
    EXPECT_TRUE(a.checkSession(kept));
    a.logOut(next, kAway);  // twice: nothing more
    a.logOut("not a token", kAway);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_log WHERE action = 'ログアウト' AND "
                    "address = '198.51.100.7'"),
              1);
}

TEST_F(WebAccountsTest, ADisabledAccountOrAGoneDriverCannotLogInAndLosesItsSessions) {
    WebAccounts a = accounts();
    a.createAccount("yamada", yamada, "first-pass-1");
    const std::string token = a.logIn("yamada", "first-pass-1", kHome).token;
    a.setDisabled("YAMADA", true);
    EXPECT_FALSE(a.checkSession(token));
    EXPECT_TRUE(a.list()[0].disabled);
    const LoginResult right = a.logIn("yamada", "first-pass-1", kHome);
    EXPECT_EQ(right.outcome, LoginOutcome::Disabled);
    EXPECT_TRUE(right.token.empty());
    // Without the password nobody learns that the account is disabled.
    EXPECT_EQ(a.logIn("yamada", "wrong-pass-1", kHome).outcome, LoginOutcome::Refused);
    a.setDisabled("yamada", false);
    const std::string again = a.logIn("yamada", "first-pass-1", kHome).token;
    ASSERT_TRUE(a.checkSession(again));
    EXPECT_NE(refusal([&] { a.setDisabled("nobody", true); }).find("ありません"),
              std::string::npos);

    // The driver's user item deleted from the master list: no session, no login.
    ServerDataSet set(db.conninfo());
    for (const ItemRow& row : set.items())
        if (row.position == yamada) {
            store::ItemRecord it = row.item;
            it.setDeleted(true);
            set.rewriteItem(row.position, row.version, it, newSaveKey());
        }
    EXPECT_FALSE(a.checkSession(again));
    EXPECT_EQ(a.logIn("yamada", "first-pass-1", kHome).outcome, LoginOutcome::Disabled);
    EXPECT_FALSE(a.list()[0].driverLive);
}

TEST_F(WebAccountsTest, TheAdministratorsPasswordMustBeChangedAndTheDriversOwnChangeEndsOthers) {
    WebAccounts a = accounts();
    a.createAccount("yamada", yamada, "first-pass-1");
    const std::string phone = a.logIn("yamada", "first-pass-1", kHome).token;
    const std::string office = a.logIn("yamada", "first-pass-1", kAway).token;
    const auto change = [&](const std::string& current, const std::string& next) {
        return refusal([&] { a.changeOwnPassword(phone, current, next, kHome); });
    };
    EXPECT_NE(change("wrong-pass-1", "mine-pass-22").find("今のパスワードが違います"),
              std::string::npos);
    EXPECT_NE(change("first-pass-1", "first-pass-1"), "");
    EXPECT_NE(change("first-pass-1", "short"), "");
    EXPECT_NE(change("first-pass-1", "YAMADA"), "");
    ASSERT_EQ(change("first-pass-1", "mine-pass-22"), "");
    ASSERT_TRUE(a.checkSession(phone));
    EXPECT_FALSE(a.checkSession(phone)->mustChangePassword);
    EXPECT_FALSE(a.checkSession(office));
    EXPECT_EQ(a.logIn("yamada", "first-pass-1", kHome).outcome, LoginOutcome::Refused);
    EXPECT_TRUE(a.logIn("yamada", "mine-pass-22", kHome).ok());
    EXPECT_FALSE(a.list()[0].mustChangePassword);

    // A password the administrator gives ends every session and must be changed again.
    a.setPassword("yamada", "given-pass-33");
    EXPECT_FALSE(a.checkSession(phone));
    EXPECT_EQ(a.logIn("yamada", "mine-pass-22", kHome).outcome, LoginOutcome::Refused);
    const LoginResult r = a.logIn("yamada", "given-pass-33", kHome);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.mustChangePassword);
    EXPECT_NE(refusal([&] { a.setPassword("yamada", "1234"); }), "");
    EXPECT_NE(refusal([&] {
                  a.changeOwnPassword("0", "given-pass-33", "new-pass-44", kHome);
              }).find("ログインの有効期限"),
              std::string::npos);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_log WHERE action = 'パスワード変更' AND "
                    "actor = 'yamada' AND address = '192.0.2.10'"),
              1);
}

TEST_F(WebAccountsTest,
       ClerksAndViewersSeeNoAccountsAndTheServiceOnlyFunctionsThatWantThePassword) {
    accounts().createAccount("yamada", yamada, "first-pass-1");
    for (const char* role : {kViewerRole, kClerkRole}) {
        LoginRole person(db.conninfo(), role);
        PgConnection pc(person.conninfo());
        EXPECT_EQ(kindOf([&] { pc.exec("SELECT salt FROM quil_web_account"); }),
                  ServerError::Kind::NotAllowed)
            << role;
        EXPECT_EQ(kindOf([&] { pc.exec("SELECT count(*) FROM quil_web_session"); }),
                  ServerError::Kind::NotAllowed);
        EXPECT_EQ(kindOf([&] { accounts(pc).list(); }), ServerError::Kind::NotAllowed);
        EXPECT_EQ(kindOf([&] { accounts(pc).createAccount("sato", sato, "second-pass-2"); }),
                  ServerError::Kind::NotAllowed);
    }

    // The service's own login: no right on any table, only the schema's functions.
    LoginRole web(db.conninfo(), kWebRole);
    PgConnection wc(web.conninfo());
    WebAccounts w = accounts(wc);
    const PgResult tables =
        c->exec("SELECT quote_ident(tablename) FROM pg_tables WHERE schemaname = 'public'");
    ASSERT_GT(tables.rows(), 15);
    for (int i = 0; i < tables.rows(); ++i) {
        const std::string table(tables.text(i, 0));
        EXPECT_EQ(kindOf([&] { wc.exec("SELECT 1 FROM " + table + " LIMIT 1"); }),
                  ServerError::Kind::NotAllowed)
            << table;
    }
    // Every function it may call runs as the owner with the search path pinned.
    EXPECT_EQ(count("SELECT count(*) FROM pg_proc p WHERE has_function_privilege(" +
                    std::string(c->exec("SELECT quote_literal(quil_group('web'))").text(0, 0)) +
                    ", p.oid, 'EXECUTE') AND p.proname LIKE 'quil\\_web\\_%' AND NOT (p.prosecdef "
                    "AND p.proconfig @> ARRAY['search_path=pg_catalog, pg_temp'])"),
              0);

    // A login through the functions: begin, the key (no connection needed), finish.
    const LoginChallenge ch = w.beginLogIn("yamada", kHome);
    ASSERT_EQ(ch.outcome, LoginOutcome::LoggedIn);
    const LoginProof proof = webLoginProof(ch, webPasswordKey(ch, "first-pass-1"));
    const LoginResult r = w.finishLogIn(ch, proof);
    ASSERT_TRUE(r.ok()) << r.message;
    const std::optional<WebSession> s = w.checkSession(r.token);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->driverName, "山田");
    const PgParam session =
        PgParam::bytes(c->exec("SELECT token_hash FROM quil_web_session", {}, true).bytes(0, 0));

    // What someone holding the service's credentials, or its server's log, might try.
    const std::int64_t logLines = count("SELECT count(*) FROM quil_web_log");
    const PgResult verifier = c->exec("SELECT salt || chain_head FROM quil_web_account");
    const std::string head(verifier.text(0, 0));
    const auto finish = [&](const std::string& nonce, const std::string& presented, char token) {
        return std::string(
            wc.exec("SELECT o_status FROM quil_web_login_finish($1, $2, $3, 30, NULL, 0)",
                    {PgParam::bytes(nonce), PgParam::bytes(presented),
                     PgParam::bytes(std::string(32, token))})
                .text(0, 0));
    };
    // The same finish call again, the logged proof with a fresh nonce, and the proof's next
    // step made from it: no session.
    EXPECT_EQ(finish(ch.nonce, proof.proof, 'a'), "stale");
    EXPECT_EQ(finish(w.beginLogIn("yamada", kHome).nonce, proof.proof, 'b'), "stale");
    EXPECT_EQ(
        finish(w.beginLogIn("yamada", kHome).nonce,
               std::string(
                   c->exec("SELECT sha256($1)", {PgParam::bytes(proof.proof)}, true).bytes(0, 0)),
               'c'),
        "stale");
    EXPECT_EQ(finish(w.beginLogIn("yamada", kHome).nonce, std::string(32, 'p'), 'd'), "refused");
    // A session of its own choosing, a verifier of its own, a password without the old one.
    for (const char* sql :
         {"INSERT INTO quil_web_session (token_hash, account, created_at, last_seen, "
          "csrf_secret) SELECT sha256('x'), id, now(), now(), sha256('y') FROM quil_web_account",
          "SELECT salt, chain_head FROM quil_web_account",
          "UPDATE quil_web_account SET chain_left = 1", "DELETE FROM quil_web_login_attempt",
          "INSERT INTO quil_web_log (at, actor, address, action) "
          "VALUES (now(), 'sato', '192.0.2.1', 'ログイン')",
          "SELECT * FROM quil_web_session_of(sha256('x'))", "SELECT quil_web_driver()",
          "SELECT quil_web_chain('x', 1)"})
        EXPECT_EQ(kindOf([&] { wc.exec(sql); }), ServerError::Kind::NotAllowed) << sql;
    for (const std::string& old : {proof.proof, std::string(32, 'p')})
        EXPECT_EQ(wc.exec("SELECT quil_web_change_password($1, $2, $3, 1, 64, $4, $5, 4096)",
                          {session, PgParam::bytes(w.beginLogIn("yamada", kHome).nonce),
                           PgParam::bytes(old), PgParam::bytes(std::string(16, 's')),
                           PgParam::bytes(std::string(32, 'h'))})
                      .text(0, 0),
                  old == proof.proof ? "stale" : "refused");
    // Another driver's check in this session's name.
    EXPECT_EQ(kindOf([&] {
                  wc.exec(
                      "SELECT quil_web_add_check($1, '192.0.2.1', 'aaaaaaaaaaaaaaaa', 0, 0, $2, "
                      "0, '', 0, '', NULL, NULL, false, '', '')",
                      {session, PgParam::number(sato)});
              }),
              ServerError::Kind::NotAllowed);
    EXPECT_EQ(c->exec("SELECT salt || chain_head FROM quil_web_account").text(0, 0), head);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_log"), logLines);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_session"), 1);

    // A lock no function lifts; logging out ends the session.
    for (int i = 0; i < 5; ++i) w.logIn("yamada", "nope-nope", kHome);
    EXPECT_EQ(w.logIn("yamada", "first-pass-1", kHome).outcome, LoginOutcome::Locked);
    w.logOut(r.token, kHome);
    EXPECT_FALSE(w.checkSession(r.token));
    EXPECT_EQ(kindOf([&] { inspectSchema(wc); }), ServerError::Kind::NotAllowed);
    EXPECT_EQ(kindOf([&] { w.createAccount("sato", sato, "second-pass-2"); }),
              ServerError::Kind::NotAllowed);
    EXPECT_EQ(kindOf([&] { w.setDisabled("yamada", true); }), ServerError::Kind::NotAllowed);
}

TEST(WebAccountsUpgrade, ADataSetOfSchemaFourGetsTheWebTablesOnce) {
    ScratchDatabase db;
    PgConnection c(db.conninfo());
    initializeSchemaAt(c, 4);
    EXPECT_EQ(inspectSchema(c).is, SchemaState::Is::Older);
    EXPECT_TRUE(c.exec("SELECT to_regclass('quil_web_account')").isNull(0, 0));
    upgradeSchema(c);
    EXPECT_EQ(inspectSchema(c).is, SchemaState::Is::Current);
    EXPECT_FALSE(c.exec("SELECT to_regclass('quil_web_account')").isNull(0, 0));
    upgradeSchema(c);
    EXPECT_EQ(c.exec("SELECT count(*) FROM quil_schema").integer(0, 0), 1);
}

TEST(WebAccountsUpgrade, ALoginOfSchemaNineKeepsItsPasswordAndTheServiceLosesTheTables) {
    ScratchDatabase db;
    PgConnection c(db.conninfo());
    initializeSchemaAt(c, 9);
    c.exec(
        "INSERT INTO quil_items (position, kind, deleted, name, raw) "
        "VALUES (0, 2, false, '山田', decode(repeat('00', 128), 'hex'))");
    c.exec(
        "INSERT INTO quil_web_account (login, driver, driver_name, password_hash, created_at, "
        "changed_at, must_change_password) VALUES ('yamada', 0, '山田', $1, now(), now(), true)",
        {PgParam::text(hashWebPassword("first-pass-1", 2, 256 * 1024))});
    LoginRole service(db.conninfo(), kWebRole);
    PgConnection wc(service.conninfo());
    EXPECT_EQ(wc.exec("SELECT count(*) FROM quil_web_account").integer(0, 0), 1);
    upgradeSchema(c);
    EXPECT_EQ(inspectSchema(c).is, SchemaState::Is::Current);
    EXPECT_EQ(kindOf([&] { wc.exec("SELECT count(*) FROM quil_web_account"); }),
              ServerError::Kind::NotAllowed);
    EXPECT_TRUE(c.exec("SELECT 1 FROM pg_attribute WHERE attrelid = 'quil_web_account'::regclass "
                       "AND attname = 'password_hash' AND NOT attisdropped")
                    .rows() == 0);
    WebAccounts w(wc);
    const auto costs = [&] {
        const PgResult k = c.exec("SELECT kdf_ops, kdf_memory FROM quil_web_account");
        return std::pair(k.integer(0, 0), k.integer(0, 1) << 10);
    };
    EXPECT_EQ(w.logIn("yamada", "first-pass-2", "192.0.2.10").outcome, LoginOutcome::Refused);
    EXPECT_EQ(costs(), std::pair(std::int64_t{2}, std::int64_t{256 * 1024}));
    // The first right login re-keys the password at the service's costs, proven by the chain:
    // a proof the service cannot make without the password is refused.
    const LoginResult r = w.logIn("yamada", "first-pass-1", "192.0.2.10");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto policy = std::pair(static_cast<std::int64_t>(kWebHashOps),
                                  static_cast<std::int64_t>(kWebHashMemory));
    EXPECT_EQ(costs(), policy);
    EXPECT_EQ(w.checkSession(r.token)->driverName, "山田");
    EXPECT_TRUE(w.checkSession(r.token)->mustChangePassword);
    const std::string nonce = w.beginLogIn("yamada", "192.0.2.10").nonce;
    EXPECT_EQ(wc.exec("SELECT quil_web_rekey(decode($1, 'hex'), $2, $3, 1, 8, $4, $5, 4096)",
                      {PgParam::text(sessionTokenHash(r.token)), PgParam::bytes(nonce),
                       PgParam::bytes(std::string(32, 'x')), PgParam::bytes(std::string(16, 's')),
                       PgParam::bytes(std::string(32, 'h'))})
                  .text(0, 0),
              "refused");
    EXPECT_EQ(costs(), policy);
    EXPECT_TRUE(w.logIn("yamada", "first-pass-1", "192.0.2.10").ok());
    // The driver's own change keeps working on the converted login.
    w.changeOwnPassword(r.token, "first-pass-1", "second-pass-2", "192.0.2.10");
    EXPECT_TRUE(w.logIn("yamada", "second-pass-2", "192.0.2.10").ok());
    EXPECT_EQ(c.exec("SELECT kdf_memory FROM quil_web_account").integer(0, 0),
              static_cast<std::int64_t>(kWebHashMemory >> 10));
}

namespace {

class ToolDrivers : public ::testing::Test {
protected:
    ScratchDatabase db;
    quil::testing::TempDir program;
    std::string out, err;
    int run(std::vector<std::string> args, const std::string& input = {},
            const std::string& conninfo = {}) {
        args.insert(args.begin(), {"--server", conninfo.empty() ? db.conninfo() : conninfo});
        std::istringstream in(input);
        std::ostringstream o, e;
        const int code = tool::ToolRunner(program.dir(), in, o, e, false).run(std::move(args));
        out = o.str();
        err = e.str();
        return code;
    }
};

}  // namespace

TEST_F(ToolDrivers, AnAdministratorAddsListsDisablesAndGivesPasswordsFromTheStandardInput) {
    ASSERT_EQ(run({"server", "init"}), tool::kExitOk) << err;
    int yamada = 0;
    {
        ServerDataSet set(db.conninfo());
        store::ItemRecord it;
        it.setStamp(quil::testing::kSampleStamp);
        it.setKind(store::ItemKind::User);
        it.setName("山田");
        yamada = set.addItem(it, newSaveKey()).position;
        it.setName("佐藤");
        set.addItem(it, newSaveKey());
    }
    EXPECT_EQ(run({"server", "driver-add", "yamada"}), tool::kExitUsage);
    EXPECT_EQ(run({"server", "driver-disable"}), tool::kExitUsage);
    EXPECT_EQ(run({"server", "drivers", "x"}), tool::kExitUsage);
    EXPECT_EQ(run({"server", "driver-frob", "x"}), tool::kExitUsage);
    EXPECT_EQ(run({"server", "driver-add", "yamada", "山田"}, "short\n"), tool::kExitProblems);
    EXPECT_NE(err.find("8 文字以上"), std::string::npos) << err;
    EXPECT_EQ(run({"server", "driver-add", "yamada", "鈴木"}, "first-pass-1\n"),
              tool::kExitProblems);
    EXPECT_NE(err.find("使用者「鈴木」はいません"), std::string::npos) << err;
    ASSERT_EQ(run({"server", "driver-add", "Yamada", "山田"}, "first-pass-1\r\n"), tool::kExitOk)
        << err;
    EXPECT_NE(out.find("yamada を使用者 山田"), std::string::npos) << out;
    ASSERT_EQ(run({"server", "driver-add", "sato", "佐藤"}, "second-pass-2\n"), tool::kExitOk)
        << err;
    EXPECT_EQ(run({"server", "driver-add", "yamada2", std::to_string(yamada)}, "first-pass-1\n"),
              tool::kExitProblems);
    ASSERT_EQ(run({"server", "drivers"}), tool::kExitOk) << err;
    EXPECT_EQ(out, "sato\t佐藤\t" + std::to_string(yamada + 1) +
                       "\t(パスワード変更待ち)\nyamada\t山田\t" + std::to_string(yamada) +
                       "\t(パスワード変更待ち)\n");

    PgConnection c(db.conninfo());
    WebAccounts web(c);
    EXPECT_TRUE(web.logIn("yamada", "first-pass-1", kHome).ok()) << "the \\r is not kept";
    ASSERT_EQ(run({"server", "driver-disable", "YAMADA"}), tool::kExitOk) << err;
    ASSERT_EQ(run({"server", "drivers"}), tool::kExitOk);
    EXPECT_NE(out.find("yamada\t山田\t" + std::to_string(yamada) + "\t(無効)"), std::string::npos)
        << out;
    EXPECT_EQ(web.logIn("yamada", "first-pass-1", kHome).outcome, LoginOutcome::Disabled);
    ASSERT_EQ(run({"server", "driver-enable", "yamada"}), tool::kExitOk) << err;
    ASSERT_EQ(run({"server", "driver-password", "yamada"}, "given-pass-3\n"), tool::kExitOk) << err;
    EXPECT_EQ(web.logIn("yamada", "first-pass-1", kHome).outcome, LoginOutcome::Refused);
    EXPECT_TRUE(web.logIn("yamada", "given-pass-3", kHome).ok());
    EXPECT_EQ(run({"server", "driver-password", "nobody"}, "given-pass-3\n"), tool::kExitProblems);
    EXPECT_NE(err.find("ログイン nobody はありません"), std::string::npos) << err;

    // A clerk cannot manage the drivers' logins: the server refuses.
    LoginRole clerk(db.conninfo(), kClerkRole);
    EXPECT_EQ(run({"server", "drivers"}, {}, clerk.conninfo()), tool::kExitProblems);
    EXPECT_NE(err.find("権限がありません"), std::string::npos) << err;
    EXPECT_EQ(run({"server", "driver-disable", "yamada"}, {}, clerk.conninfo()),
              tool::kExitProblems);
    EXPECT_EQ(run({"server", "driver-add", "clerk", "佐藤"}, "clerks-pass-1\n", clerk.conninfo()),
              tool::kExitProblems);
}

TEST_F(ToolDrivers, ADataSetGetsItsDetectorsAndARenamedDriversLoginWaitsForConfirmation) {
    ASSERT_EQ(run({"server", "init"}), tool::kExitOk) << err;
    int yamada = 0;
    {
        ServerDataSet set(db.conninfo());
        store::ItemRecord it;
        it.setStamp(quil::testing::kSampleStamp);
        it.setKind(store::ItemKind::User);
        it.setName("山田");
        yamada = set.addItem(it, newSaveKey()).position;
    }
    const std::string at = std::to_string(yamada);
    ASSERT_EQ(run({"server", "driver-add", "hanako", at}, "first-pass-1\n"), tool::kExitOk) << err;
    EXPECT_NE(out.find("hanako を使用者 山田 (位置 " + at + ")"), std::string::npos) << out;

    ASSERT_EQ(run({"server", "detectors"}), tool::kExitOk) << err;
    EXPECT_EQ(out, "");
    EXPECT_EQ(run({"server", "detector-add", " "}), tool::kExitProblems);
    EXPECT_EQ(run({"server", "detector-add", "検知器A\n"}), tool::kExitProblems);
    ASSERT_EQ(run({"server", "detector-add", "検知器A", "SN-1"}), tool::kExitOk) << err;
    ASSERT_EQ(run({"server", "detectors"}), tool::kExitOk) << err;
    EXPECT_NE(out.find("\t検知器A\tSN-1\n"), std::string::npos) << out;

    PgConnection c(db.conninfo());
    c.run("UPDATE quil_items SET name = '鈴木' WHERE position = " + at);
    ASSERT_EQ(run({"server", "drivers"}), tool::kExitOk) << err;
    EXPECT_NE(out.find("作成時は「山田」"), std::string::npos) << out;
    ASSERT_EQ(run({"server", "driver-confirm", "hanako"}), tool::kExitOk) << err;
    EXPECT_NE(out.find("使用者 鈴木"), std::string::npos) << out;
    ASSERT_EQ(run({"server", "drivers"}), tool::kExitOk) << err;
    EXPECT_EQ(out.find("作成時は"), std::string::npos) << out;
}
