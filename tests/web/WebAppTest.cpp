// quil-web's requests through its real router, on a loopback port, against a data set of
// the throwaway cluster through the service's own role (a member of quil_web): logging in,
// the forced change of a first password, recording a check and a drive, the lists and
// detail pages, CSRF refusals, another driver's ids, the limits and the headers.

#include <gtest/gtest.h>
#include <httplib.h>

#include <regex>
#include <sstream>
#include <thread>

#include "LoginRole.h"
#include "PgTestCluster.h"
#include "RawClient.h"
#include "SampleDataSet.h"
#include "ServerTestData.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerExtensions.h"
#include "server/ServerPaperStore.h"
#include "server/ServerSchema.h"
#include "server/WebAccounts.h"
#include "server/WebRecords.h"
#include "store/Date.h"
#include "web/DatabaseCheck.h"
#include "web/TimeZone.h"
#include "web/app/WebApp.h"

using namespace quil;
using namespace quil::server;
using quil::test::addItem;
using quil::test::LoginRole;
using quil::test::ScratchDatabase;

namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

// A browser's part that matters here: its cookie jar, and no following of redirects.
class Browser {
public:
    explicit Browser(int port) : http_("127.0.0.1", port) {}

    httplib::Result get(const std::string& path, httplib::Headers extra = {}) {
        extra.emplace("Cookie", cookieHeader());
        auto r = http_.Get(path.c_str(), extra);
        keep(r);
        return r;
    }
    httplib::Result post(const std::string& path, const Params& form, httplib::Headers extra = {}) {
        extra.emplace("Cookie", cookieHeader());
        httplib::Params p;
        for (const auto& [k, v] : form) p.emplace(k, v);
        auto r = http_.Post(path.c_str(), extra, p);
        keep(r);
        return r;
    }
    httplib::Result postRaw(const std::string& path, const std::string& body) {
        auto r = http_.Post(path.c_str(), {{"Cookie", cookieHeader()}}, body,
                            "application/x-www-form-urlencoded");
        keep(r);
        return r;
    }
    std::map<std::string, std::string> cookies;
    std::vector<std::string> setCookies;  // the last response's Set-Cookie lines

private:
    std::string cookieHeader() const {
        std::string out;
        for (const auto& [k, v] : cookies) out += (out.empty() ? "" : "; ") + k + "=" + v;
        return out;
    }
    void keep(const httplib::Result& r) {
        setCookies.clear();
        if (!r) return;
        for (const auto& [name, value] : r->headers) {
            if (name != "Set-Cookie") continue;
            setCookies.push_back(value);
            const auto eq = value.find('=');
            const auto semi = value.find(';');
            const std::string k = value.substr(0, eq), v = value.substr(eq + 1, semi - eq - 1);
            if (v.empty() || value.find("Max-Age=0") != std::string::npos)
                cookies.erase(k);
            else
                cookies[k] = v;
        }
    }
    httplib::Client http_;
};

// The value of a hidden field (or any input) named `name` in a page.
std::string inputValue(const std::string& html, const std::string& name) {
    std::smatch m;
    const std::regex re("name=\"" + name + "\" value=\"([^\"]*)\"");
    return std::regex_search(html, m, re) ? m[1].str() : std::string();
}

std::string today() {
    const store::CivilDate d = store::decodeDate(store::today());
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", d.year, d.month, d.day);
    return buf;
}

// A zone of the database (Etc/GMT-N is N hours east) where it is now between 19:00 and
// 22:59, so that the forms' times of day have passed and the day lasts the test.
std::string eveningZone() {
    const std::time_t t = std::time(nullptr);
    for (int east = -12; east <= 14; ++east) {
        std::tm tm{};
        const std::time_t there = t + east * 3600;
        gmtime_r(&there, &tm);
        if (tm.tm_hour >= 19 && tm.tm_hour <= 22)
            return std::string("Etc/GMT") + (east > 0 ? "-" : "+") + std::to_string(std::abs(east));
    }
    return "UTC";
}

// The date in a zone `east` hours from UTC, as the forms send it.
std::string dateEastOfUtc(int east, int days = 0) {
    const std::time_t there = std::time(nullptr) + east * 3600 + days * 86400;
    std::tm tm{};
    gmtime_r(&there, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

class WebAppTest : public ::testing::Test {
protected:
    ScratchDatabase db;
    std::unique_ptr<PgConnection> owner;
    std::unique_ptr<LoginRole> service;
    WebPolicy cheap;
    int van = 0, visit = 0, yamada = 0, sato = 0;
    std::int64_t detector = 0;
    std::unique_ptr<web::WebApp> app;
    std::thread runner;
    bool eveningClock = true;  // the service's zone one where the day's times have passed

    void SetUp() override {
        owner = std::make_unique<PgConnection>(db.conninfo());
        initializeSchema(*owner);
        ServerDataSet set(db.conninfo());
        van = addItem(set, store::ItemKind::Vehicle, "営業車1");
        visit = addItem(set, store::ItemKind::Purpose, "営業");
        yamada = addItem(set, store::ItemKind::User, "山田");
        sato = addItem(set, store::ItemKind::User, "佐藤");
        alcohol::Detector d;
        d.name = "検知器A";
        d.serial = "SN-1";
        detector = ServerCheckStore(db.conninfo()).addDetector(d);
        cheap.hashOps = 1;
        cheap.hashMemory = 64 * 1024;
        WebAccounts admin(*owner, {}, cheap);
        admin.createAccount("yamada", yamada, "first-pass-1");
        admin.createAccount("sato", sato, "first-pass-2");
        service = std::make_unique<LoginRole>(db.conninfo(), "quil_web");
    }
    void TearDown() override {
        if (app) app->stop();
        if (runner.joinable()) runner.join();
    }
    int start(web::WebConfig c = {}) {
        c.listen = "127.0.0.1";
        c.port = 0;
        if (c.conninfo.empty()) c.conninfo = service->conninfo();
        c.threads = 2;
        if (c.timeZone == web::kDefaultTimeZone && eveningClock) c.timeZone = eveningZone();
        app = std::make_unique<web::WebApp>(c, cheap);
        app->bind();
        runner = std::thread([this] { app->run(); });
        return app->port();
    }
    web::WebConfig plain() {
        web::WebConfig c;
        c.secureCookie = false;
        c.requestsPerMinute = 10000;
        return c;
    }
    std::int64_t count(const std::string& sql) { return owner->exec(sql).integer(0, 0); }

    // Logs in through the login form; true on the redirect of a success.
    static httplib::Result logIn(Browser& b, const std::string& login, const std::string& pw) {
        const auto form = b.get("/login");
        return b.post(
            "/login",
            {{"csrf", inputValue(form->body, "csrf")}, {"login", login}, {"password", pw}});
    }
    // A driver logged in with his first password changed.
    void ready(Browser& b, const std::string& login, const std::string& first) {
        auto r = logIn(b, login, first);
        ASSERT_EQ(r->status, 303) << r->body;
        ASSERT_EQ(r->get_header_value("Location"), "/password");
        // Nothing else is open until the first password is changed.
        ASSERT_EQ(b.get("/check")->get_header_value("Location"), "/password");
        ASSERT_EQ(b.get("/")->get_header_value("Location"), "/password");
        const auto page = b.get("/password");
        r = b.post("/password", {{"csrf", inputValue(page->body, "csrf")},
                                 {"current", first},
                                 {"password", login + "-new-pass-9"},
                                 {"password2", login + "-new-pass-9"}});
        ASSERT_EQ(r->status, 303) << r->body;
        ASSERT_EQ(r->get_header_value("Location"), "/");
    }
    Params checkForm(const std::string& html, const std::string& remarks = "直行") {
        return {{"csrf", inputValue(html, "csrf")},
                {"key", inputValue(html, "key")},
                {"timing", "before"},
                {"date", today()},
                {"time", "07:30"},
                {"vehicle", std::to_string(van)},
                {"method", "phone"},
                {"checker", "安全 太郎"},
                {"detector", std::to_string(detector)},
                {"reading", "0.00"},
                {"intoxicated", "no"},
                {"instructions", ""},
                {"remarks", remarks}};
    }
};

}  // namespace

TEST_F(WebAppTest, ADriverLogsInChangesHisFirstPasswordAndRecordsACheckAndADrive) {
    Browser b(start(plain()));
    // Not logged in: every page leads to the login.
    EXPECT_EQ(b.get("/")->status, 303);
    EXPECT_EQ(b.get("/records")->get_header_value("Location"), "/login");

    // A refused login reaches the journal (standard error) with its address; a name typed
    // to forge a line of its own stays on the one line.
    std::ostringstream journal;
    std::streambuf* stderrBuf = std::cerr.rdbuf(journal.rdbuf());
    const auto wrong = logIn(b, "yamada", "wrong-pass-1");
    logIn(b, "x\nquil-web: ログイン失敗: アドレス 192.0.2.9", "wrong-pass-1");
    std::cerr.rdbuf(stderrBuf);
    const std::string log = journal.str();
    EXPECT_NE(log.find("quil-web: ログイン失敗: アドレス 127.0.0.1 ログイン名 yamada ("),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("\nquil-web: ログイン失敗: アドレス 192.0.2.9"), std::string::npos) << log;
    EXPECT_EQ(log.find("wrong-pass-1"), std::string::npos) << "a password in the journal";
    ASSERT_EQ(wrong->status, 200);
    EXPECT_NE(wrong->body.find("id=\"error-login\""), std::string::npos);
    EXPECT_EQ(b.cookies.count("quil_session"), 0u);

    // A password kept at other costs (an older data set's) is re-keyed at the service's by
    // its first right login, the must-change mark kept; it still logs in.
    WebPolicy older = cheap;
    older.hashOps = 2;
    WebAccounts(*owner, {}, older).setPassword("yamada", "first-pass-1");
    EXPECT_EQ(logIn(b, "yamada", "first-pass-1")->get_header_value("Location"), "/password");
    EXPECT_EQ(count("SELECT kdf_ops FROM quil_web_account WHERE login = 'yamada'"), 1);
    ready(b, "yamada", "first-pass-1");
    ASSERT_EQ(b.cookies.count("quil_session"), 1u);
    EXPECT_EQ(b.cookies["quil_session"].size(), 64u);
    const auto home = b.get("/");
    ASSERT_EQ(home->status, 200);
    EXPECT_NE(home->body.find("<h1>山田 さん</h1>"), std::string::npos);
    for (const char* id : {"go-check", "go-drive", "go-list", "go-password", "logout-form"})
        EXPECT_NE(home->body.find(std::string("id=\"") + id + "\""), std::string::npos) << id;

    // A check, posted twice (the answer lost): stored once.
    const auto form = b.get("/check");
    ASSERT_EQ(form->status, 200);
    EXPECT_EQ(inputValue(form->body, "key").size(), 32u);
    const Params posted = checkForm(form->body, "<b>太字</b>' OR '1'='1");
    const auto saved = b.post("/check", posted);
    ASSERT_EQ(saved->status, 303) << saved->body;
    const std::string location = saved->get_header_value("Location");
    ASSERT_EQ(location.rfind("/records?saved=check-", 0), 0u) << location;
    const std::string id = location.substr(std::string("/records?saved=check-").size());
    EXPECT_EQ(b.post("/check", posted)->get_header_value("Location"), location);
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check WHERE driver = " +
                    std::to_string(yamada) + " AND remarks = '<b>太字</b>'' OR ''1''=''1'"),
              1);

    // The drive.
    const auto driveForm = b.get("/drive");
    const auto drove = b.post("/drive", {{"csrf", inputValue(driveForm->body, "csrf")},
                                         {"key", inputValue(driveForm->body, "key")},
                                         {"date", today()},
                                         {"start", "08:00"},
                                         {"end", "09:15"},
                                         {"vehicle", std::to_string(van)},
                                         {"odometer_start", "1000"},
                                         {"odometer_end", "1042.5"},
                                         {"purpose", std::to_string(visit)},
                                         {"destination", "本社"},
                                         {"remarks", ""}});
    ASSERT_EQ(drove->status, 303) << drove->body;
    const std::string driveLocation = drove->get_header_value("Location");
    ASSERT_EQ(driveLocation.rfind("/records?saved=drive-", 0), 0u);
    const std::string driveId = driveLocation.substr(std::string("/records?saved=drive-").size());
    const PgResult raw =
        owner->exec("SELECT raw FROM quil_records WHERE id = " + driveId, {}, true);
    ASSERT_EQ(raw.rows(), 1);
    const store::DataRecord r(reinterpret_cast<const std::uint8_t*>(raw.bytes(0, 0).data()));
    EXPECT_EQ(r.user(), yamada);
    EXPECT_EQ(r.distance2(), 1042.5);
    EXPECT_EQ(r.destination(), "本社");
    EXPECT_EQ(r.stamp(), quil::testing::kSampleStamp);  // the data set's, as the desktop's

    // Both listed with their links; the injected text shown literally.
    const auto list = b.get(location);
    ASSERT_EQ(list->status, 200);
    EXPECT_NE(list->body.find("id=\"notice\""), std::string::npos);
    EXPECT_NE(list->body.find("href=\"/check/" + id + "\""), std::string::npos);
    EXPECT_NE(list->body.find("href=\"/drive/" + driveId + "\""), std::string::npos);
    const auto detail = b.get("/check/" + id);
    ASSERT_EQ(detail->status, 200);
    EXPECT_NE(detail->body.find("&lt;b&gt;太字&lt;/b&gt;&#39; OR &#39;1&#39;=&#39;1"),
              std::string::npos);
    EXPECT_EQ(detail->body.find("<b>太字"), std::string::npos);
    EXPECT_NE(b.get("/drive/" + driveId)->body.find("42.5 km"), std::string::npos);

    // Logged, with who and from where.
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_log WHERE actor = 'yamada' AND "
                    "address = '127.0.0.1' AND action LIKE 'アルコールチェックを記録%'"),
              1);

    // Logging out ends the session on the server, not only in the browser.
    const std::string token = b.cookies["quil_session"];
    const auto out = b.post("/logout", {{"csrf", inputValue(b.get("/")->body, "csrf")}});
    EXPECT_EQ(out->status, 303);
    EXPECT_EQ(out->get_header_value("Location"), "/login");
    b.cookies["quil_session"] = token;
    EXPECT_EQ(b.get("/")->get_header_value("Location"), "/login");
}

TEST_F(WebAppTest, FormsWithoutTheirTokenOrKeyAreRefusedAndStoreNothing) {
    Browser b(start(plain()));
    // The login form's own token.
    b.get("/login");
    EXPECT_EQ(b.post("/login", {{"login", "yamada"}, {"password", "first-pass-1"}})->status, 403);
    b.cookies.erase("quil_login");
    EXPECT_EQ(
        b.post("/login",
               {{"csrf", std::string(32, 'a')}, {"login", "yamada"}, {"password", "first-pass-1"}})
            ->status,
        403);
    // A token of the right form that the service did not issue, as cookie and field.
    const std::string madeUp(96, 'c');
    b.cookies["quil_login"] = madeUp;
    EXPECT_EQ(
        b.post("/login", {{"csrf", madeUp}, {"login", "yamada"}, {"password", "first-pass-1"}})
            ->status,
        403);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_login_attempt"), 0);

    ready(b, "yamada", "first-pass-1");
    const auto form = b.get("/check");
    Params p = checkForm(form->body);
    Params noToken = p, wrongToken = p, noKey = p;
    noToken.erase(noToken.begin());
    wrongToken[0].second = std::string(64, '0');
    noKey[1].second = "not-a-key";
    const auto refused = b.post("/check", noToken);
    EXPECT_EQ(refused->status, 403);
    EXPECT_NE(refused->body.find("送信できません"), std::string::npos);
    EXPECT_EQ(b.post("/check", wrongToken)->status, 403);
    EXPECT_EQ(b.post("/check", noKey)->status, 400);
    EXPECT_EQ(b.post("/logout", {{"csrf", "x"}})->status, 403);
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check"), 0);

    // Without a session a post goes to the login, and stores nothing either.
    Browser stranger(app->port());
    const auto away = stranger.post("/check", p);
    EXPECT_EQ(away->status, 303);
    EXPECT_EQ(away->get_header_value("Location"), "/login");
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check"), 0);
}

TEST_F(WebAppTest, ARefusedFormComesBackWithTheMessagesBesideTheFieldsAndTheValuesKept) {
    Browser b(start(plain()));
    ready(b, "yamada", "first-pass-1");
    const auto form = b.get("/check");
    Params p = checkForm(form->body, "<script>x</script>");
    for (auto& [k, v] : p) {
        if (k == "date") v = "2999-01-01";
        if (k == "vehicle") v = "999";
        if (k == "checker") v = "安全\xff";
    }
    const auto r = b.post("/check", p);
    ASSERT_EQ(r->status, 422);
    EXPECT_NE(
        r->body.find("<p class=\"error\" id=\"error-date\">明日以降の日付は入力できません。</p>"),
        std::string::npos);
    EXPECT_NE(r->body.find("id=\"error-vehicle\""), std::string::npos);
    EXPECT_NE(r->body.find("id=\"error-checker\""), std::string::npos);
    EXPECT_NE(r->body.find("value=\"&lt;script&gt;x&lt;/script&gt;\""), std::string::npos);
    EXPECT_EQ(r->body.find("<script>"), std::string::npos);
    EXPECT_EQ(inputValue(r->body, "key"), inputValue(form->body, "key"));
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check"), 0);

    const auto drive = b.get("/drive");
    const auto backwards = b.post("/drive", {{"csrf", inputValue(drive->body, "csrf")},
                                             {"key", inputValue(drive->body, "key")},
                                             {"date", today()},
                                             {"start", "08:00"},
                                             {"end", "09:00"},
                                             {"vehicle", std::to_string(van)},
                                             {"odometer_start", "2000"},
                                             {"odometer_end", "1999"},
                                             {"purpose", "-1"},
                                             {"destination", std::string(41, 'x')}});
    ASSERT_EQ(backwards->status, 422);
    EXPECT_NE(backwards->body.find("id=\"error-odometer_end\""), std::string::npos);
    EXPECT_NE(backwards->body.find("id=\"error-destination\""), std::string::npos);
    EXPECT_EQ(count("SELECT count(*) FROM quil_records"), 0);
}

TEST_F(WebAppTest, AnotherDriversRecordIsNotFoundAndNeitherIsAnUnknownOne) {
    Browser yamadaB(start(plain()));
    ready(yamadaB, "yamada", "first-pass-1");
    Browser satoB(app->port());
    ready(satoB, "sato", "first-pass-2");
    const auto form = satoB.get("/check");
    const auto saved = satoB.post("/check", checkForm(form->body, "佐藤の記録"));
    ASSERT_EQ(saved->status, 303);
    const std::string id =
        saved->get_header_value("Location").substr(std::string("/records?saved=check-").size());
    EXPECT_EQ(satoB.get("/check/" + id)->status, 200);

    const auto other = yamadaB.get("/check/" + id);
    EXPECT_EQ(other->status, 404);
    EXPECT_NE(other->body.find("見つかりません"), std::string::npos);
    EXPECT_EQ(other->body.find("佐藤の記録"), std::string::npos);
    EXPECT_EQ(yamadaB.get("/records")->body.find("/check/" + id + "\""), std::string::npos);
    EXPECT_EQ(yamadaB.get("/check/999999")->status, 404);
    EXPECT_EQ(yamadaB.get("/drive/" + id)->status, 404);
    EXPECT_EQ(yamadaB.get("/check/abc")->status, 404);
    EXPECT_EQ(yamadaB.get("/nothing-here")->status, 404);
}

TEST_F(WebAppTest, EveryResponseCarriesTheSecurityHeadersAndPersonalPagesAreNotCached) {
    web::WebConfig c = plain();
    c.secureCookie = true;
    Browser b(start(c));
    const auto login = b.get("/login");
    ASSERT_EQ(b.setCookies.size(), 1u);
    EXPECT_NE(b.setCookies[0].find("; Path=/login; HttpOnly; SameSite=Strict; Secure"),
              std::string::npos);
    const auto in = logIn(b, "yamada", "first-pass-1");
    ASSERT_EQ(in->status, 303);
    bool session = false;
    for (const std::string& line : b.setCookies)
        if (line.rfind("quil_session=", 0) == 0) {
            session = true;
            EXPECT_TRUE(std::regex_match(
                line,
                std::regex("quil_session=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Strict; Secure")))
                << line;
        }
    EXPECT_TRUE(session);

    auto secured = [](const httplib::Result& r) {
        ASSERT_TRUE(r);
        EXPECT_EQ(r->get_header_value("Content-Security-Policy"),
                  "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
                  "frame-ancestors 'none'; base-uri 'none'");
        EXPECT_EQ(r->get_header_value("X-Frame-Options"), "DENY");
        EXPECT_EQ(r->get_header_value("X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(r->get_header_value("Referrer-Policy"), "no-referrer");
    };
    secured(login);
    secured(in);
    secured(b.get("/password"));
    secured(b.get("/nothing"));
    secured(b.get("/style.css"));
    EXPECT_EQ(b.get("/password")->get_header_value("Cache-Control"), "no-store");
    EXPECT_EQ(in->get_header_value("Cache-Control"), "no-store");
    const auto css = b.get("/style.css");
    EXPECT_EQ(css->get_header_value("Content-Type"), "text/css; charset=utf-8");
    const auto pageHtml = b.get("/password");
    EXPECT_EQ(pageHtml->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(pageHtml->body.find("name=\"viewport\""), std::string::npos);
}

TEST_F(WebAppTest, ABodyOverTheLimitIs413AndAFloodFromOneAddressIs429) {
    web::WebConfig c = plain();
    c.maxBody = 2048;
    c.requestsPerMinute = 8;
    Browser b(start(c));
    const auto big = b.postRaw("/login", "login=" + std::string(4096, 'a'));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->status, 413);
    EXPECT_NE(big->body.find("大きすぎます"), std::string::npos);
    EXPECT_EQ(big->get_header_value("X-Frame-Options"), "DENY");

    int refused = 0, passed = 0;
    for (int i = 0; i < 12; ++i) {
        const auto r = b.get("/login");
        ASSERT_TRUE(r);
        if (r->status == 429) {
            ++refused;
            EXPECT_NE(r->body.find("しばらくお待ちください"), std::string::npos);
        } else {
            ++passed;
        }
    }
    EXPECT_EQ(passed, 7);  // eight a minute, the first spent on the oversized post
    EXPECT_EQ(refused, 5);
}

TEST_F(WebAppTest, BehindAProxyTheAddressIsTheLastForwardedEntryAndOnlyThen) {
    web::WebConfig c = plain();
    c.behindProxy = true;
    const int port = start(c);
    Browser b(port);
    const auto form = b.get("/login");
    b.post("/login",
           {{"csrf", inputValue(form->body, "csrf")}, {"login", "yamada"}, {"password", "nope-x"}},
           {{"X-Forwarded-For", "10.9.9.9, 203.0.113.77"}});
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_login_attempt WHERE address = '203.0.113.77'"),
              1);
    app->stop();
    runner.join();

    start(plain());
    Browser direct(app->port());
    const auto form2 = direct.get("/login");
    direct.post(
        "/login",
        {{"csrf", inputValue(form2->body, "csrf")}, {"login", "yamada"}, {"password", "nope-y"}},
        {{"X-Forwarded-For", "198.51.100.1"}});
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_login_attempt WHERE address = '127.0.0.1'"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM quil_web_login_attempt WHERE address = '198.51.100.1'"),
              0);
}

TEST_F(WebAppTest, OverHttpsTheCookiesAreSecureAndAnUnusableCertificateIsRefused) {
    web::WebConfig c = plain();
    c.secureCookie = true;
    c.certificate = QUIL_TEST_DATA "/web/test.crt";  // self-signed for 127.0.0.1, tests only
    c.key = QUIL_TEST_DATA "/web/test.key";
    const int port = start(c);
    httplib::SSLClient https("127.0.0.1", port);
    https.set_ca_cert_path(c.certificate.c_str());
    https.enable_server_certificate_verification(true);
    const auto r = https.Get("/login");
    ASSERT_TRUE(r) << httplib::to_string(r.error());
    EXPECT_EQ(r->status, 200);
    EXPECT_NE(r->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
    EXPECT_EQ(r->get_header_value("Strict-Transport-Security"), "max-age=31536000");
    EXPECT_NE(r->body.find("id=\"login-form\""), std::string::npos);

    // Plain HTTP on the HTTPS port gets no page.
    httplib::Client plainHttp("127.0.0.1", port);
    plainHttp.set_read_timeout(2);
    const auto p = plainHttp.Get("/login");
    EXPECT_FALSE(p && p->status == 200);

    web::WebConfig bad = c;
    bad.certificate = QUIL_TEST_DATA "/web/test.key";  // a key is no certificate
    EXPECT_THROW(web::WebApp(bad, cheap), web::ConfigError);
}

TEST_F(WebAppTest, ABusyMonthsListStaysWithinAHundredKilobytesNewestFirst) {
    Browser b(start(plain()));
    ready(b, "yamada", "first-pass-1");
    // 210 checks and 210 drives of this driver today, stored as the page stores them.
    PgConnection c(service->conninfo());
    const std::string token = b.cookies["quil_session"];
    const WebSession who = *WebAccounts(c, {}, cheap).checkSession(token);
    WebRecords mine(c, token, who, "127.0.0.1");
    const store::DateTime day = store::today();
    for (int i = 0; i < 210; ++i) {
        alcohol::AlcoholCheck k;
        k.when = day + i / 1440.0;
        k.driver = yamada;
        k.vehicle = van;
        k.checker = "安全運転管理者 代理";
        k.detector = detector;
        k.reading = 0.0;
        mine.addCheck(k, "c" + std::to_string(1000 + i) + std::string(20, '0'));
        store::DataRecord d;
        d.setKind(store::RecordKind::Driving);
        d.setDate(day + i / 1440.0);
        d.setReturnTime(day + i / 1440.0);
        d.setVehicle(static_cast<std::int16_t>(van));
        d.setUser(static_cast<std::int16_t>(yamada));
        d.setItem(static_cast<std::int16_t>(visit));
        d.setDistance1(100000 + i);
        d.setDistance2(100000.5 + i);
        mine.addDrive(d, "d" + std::to_string(1000 + i) + std::string(20, '0'));
    }

    const auto list = b.get("/records");
    ASSERT_EQ(list->status, 200);
    EXPECT_LE(list->body.size(), 100u * 1024) << list->body.size();
    RecordProperty("records_page_bytes", std::to_string(list->body.size()));
    std::size_t rows = 0;
    for (auto at = list->body.find("<tr class=\"row\">"); at != std::string::npos;
         at = list->body.find("<tr class=\"row\">", at + 1))
        ++rows;
    EXPECT_EQ(rows, 400u);
    EXPECT_NE(list->body.find("ほか 10 件"), std::string::npos);
    // Newest first: the last check of the day leads its table.
    const auto first = list->body.find("<tr class=\"row\">");
    EXPECT_NE(list->body.find(store::formatTime(day + 209 / 1440.0), first), std::string::npos);
    EXPECT_LT(list->body.find(store::formatTime(day + 209 / 1440.0), first),
              list->body.find(store::formatTime(day + 208 / 1440.0), first));
}

TEST_F(WebAppTest, PasswordChangesAreRefusedBesideTheirFields) {
    Browser b(start(plain()));
    ready(b, "yamada", "first-pass-1");
    const std::string csrf = inputValue(b.get("/password")->body, "csrf");
    auto change = [&](const std::string& current, const std::string& pw, const std::string& pw2) {
        return b.post("/password",
                      {{"csrf", csrf}, {"current", current}, {"password", pw}, {"password2", pw2}});
    };
    const auto wrong = change("not-my-pass", "brand-new-pass-7", "brand-new-pass-7");
    ASSERT_EQ(wrong->status, 422);
    EXPECT_NE(
        wrong->body.find("<p class=\"error\" id=\"error-current\">今のパスワードが違います。"),
        std::string::npos);
    const auto mismatch = change("yamada-new-pass-9", "brand-new-pass-7", "brand-new-pass-8");
    ASSERT_EQ(mismatch->status, 422);
    EXPECT_NE(mismatch->body.find("id=\"error-password2\""), std::string::npos);
    const auto empty = change("", "", "");
    ASSERT_EQ(empty->status, 422);
    EXPECT_NE(empty->body.find("id=\"error-current\""), std::string::npos);
    EXPECT_NE(empty->body.find("id=\"error-password\""), std::string::npos);
    // Typed passwords are never sent back in the page.
    EXPECT_EQ(mismatch->body.find("brand-new-pass-7"), std::string::npos);

    const auto done = change("yamada-new-pass-9", "brand-new-pass-7", "brand-new-pass-7");
    EXPECT_EQ(done->status, 303);
    Browser again(app->port());
    EXPECT_EQ(logIn(again, "yamada", "brand-new-pass-7")->get_header_value("Location"), "/");
}

TEST_F(WebAppTest, ALoginEndsAfterTheConfiguredIdleMinutes) {
    web::WebConfig c = plain();
    c.idleMinutes = 45;
    Browser b(start(c));
    ready(b, "yamada", "first-pass-1");
    owner->run("UPDATE quil_web_session SET last_seen = last_seen - interval '40 minutes'");
    EXPECT_EQ(b.get("/")->status, 200);  // renewed by this request
    owner->run("UPDATE quil_web_session SET last_seen = last_seen - interval '46 minutes'");
    const auto r = b.get("/records");
    EXPECT_EQ(r->status, 303);
    EXPECT_EQ(r->get_header_value("Location"), "/login");
}

TEST_F(WebAppTest, FailuresShowAShortPageAndLogTheirDetailOnlyToStandardError) {
    Browser b(start(plain()));
    ready(b, "yamada", "first-pass-1");
    // The service's role loses its rights: every query of a page fails on the server.
    const std::string conninfo = service->conninfo();
    const std::string role = conninfo.substr(conninfo.rfind("user=") + 5);
    const std::string group = quil::test::dataSetRole(db.conninfo(), "web");
    owner->run("REVOKE " + group + " FROM " + role);
    std::ostringstream log;
    std::streambuf* saved = std::cerr.rdbuf(log.rdbuf());
    const auto r = b.get("/records");
    std::cerr.rdbuf(saved);
    owner->run("GRANT " + group + " TO " + role);
    ASSERT_EQ(r->status, 500);
    EXPECT_NE(r->body.find("エラーが起きました"), std::string::npos);
    for (const char* internal : {"quil_web", "permission", "権限", "SELECT", "quil_"})
        EXPECT_EQ(r->body.find(internal), std::string::npos) << internal;
    EXPECT_EQ(r->get_header_value("Cache-Control"), "no-store");
    EXPECT_NE(log.str().find("quil-web: GET /records: "), std::string::npos) << log.str();

    // A data set that cannot be reached: 503, and the login page still shows.
    app->stop();
    runner.join();
    web::WebConfig away = plain();
    away.conninfo = "host=/nonexistent-quil-socket dbname=quil";
    Browser lost(start(away));
    std::cerr.rdbuf(log.rdbuf());
    const auto form = lost.get("/login");
    lost.cookies["quil_session"] = std::string(64, 'a');
    const auto home = lost.get("/");
    std::cerr.rdbuf(saved);
    EXPECT_EQ(form->status, 200);
    ASSERT_EQ(home->status, 503);
    EXPECT_NE(home->body.find("ただいま使えません"), std::string::npos);
    EXPECT_EQ(home->body.find("nonexistent"), std::string::npos);
}

// --- hostile clients: each from an address of its own on the loopback network ---

namespace {

using quil::test::RawClient;
using Ms = std::chrono::milliseconds;

long long msSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

TEST_F(WebAppTest, SlowAndSilentClientsHoldNoWorkerAndAreCutAtTheRequestDeadline) {
    const int port = start(plain());
    std::vector<std::unique_ptr<RawClient>> silent;
    for (int i = 0; i < 40; ++i) silent.push_back(std::make_unique<RawClient>("127.0.0.2", port));
    RawClient slowHeaders("127.0.0.3", port), slowBody("127.0.0.4", port);
    ASSERT_TRUE(slowHeaders.send("GET /login HTTP/1.1\r\nHost: x\r\n"));
    ASSERT_TRUE(
        slowBody.send("POST /login HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n"
                      "Content-Type: application/x-www-form-urlencoded\r\n\r\n"));

    Browser driver(port);
    const auto asked = std::chrono::steady_clock::now();
    const auto page = driver.get("/login");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_LT(msSince(asked), 1000);

    // A byte every 1.5 s keeps a connection from being idle, not from its deadline.
    const auto began = std::chrono::steady_clock::now();
    while (msSince(began) < 16000 && !(slowHeaders.closed && slowBody.closed)) {
        if (!slowHeaders.closed) slowHeaders.send("X");
        if (!slowBody.closed) slowBody.send("a");
        slowHeaders.read(1500);
        slowBody.read(0);
    }
    EXPECT_TRUE(slowHeaders.closed);
    EXPECT_TRUE(slowBody.closed);
    EXPECT_GE(msSince(began), 8000);
    int open = 0;
    for (auto& s : silent) open += (s->read(0), !s->closed);
    EXPECT_EQ(open, 0);  // sent nothing: closed when idle
}

TEST_F(WebAppTest, ConnectionsPerAddressAreCappedAndKeptAliveOnesHoldNoWorker) {
    const int port = start(plain());
    std::vector<std::unique_ptr<RawClient>> kept;
    int answered = 0;
    for (int i = 0; i < 200; ++i) {
        auto c = std::make_unique<RawClient>("127.0.0.5", port);
        c->send("GET /style.css HTTP/1.1\r\nHost: x\r\n\r\n");
        if (c->read(2000, "\r\n\r\n").rfind("HTTP/1.1 200", 0) == 0) ++answered;
        kept.push_back(std::move(c));
    }
    EXPECT_GE(answered, 100);
    EXPECT_LE(answered, 128);

    // The address's kept-alive connections are still open, and another address is served.
    Browser driver(port);
    const auto asked = std::chrono::steady_clock::now();
    const auto page = driver.get("/login");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_LT(msSince(asked), 1000);
    RawClient other("127.0.0.6", port);
    other.send("GET /style.css HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(other.read(2000, "\r\n\r\n").rfind("HTTP/1.1 200", 0), 0u);
}

TEST_F(WebAppTest, HugeHeadersAndBodiesAreRefusedWhateverTheirEncoding) {
    const int port = start(plain());
    auto status = [&](const std::string& request, const std::string& more = {}) {
        RawClient c("127.0.0.7", port);
        c.send(request);
        c.send(more);
        return c.read(5000, "\r\n\r\n").substr(0, 12);
    };
    EXPECT_EQ(status("GET /login HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(64 * 1024, 'a') +
                     "\r\n\r\n"),
              "HTTP/1.1 431");
    std::string many = "GET /login HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 150; ++i) many += "X-" + std::to_string(i) + ": a\r\n";
    EXPECT_EQ(status(many + "\r\n"), "HTTP/1.1 431");
    // Chunked, without a form's type: still no more than the limit is kept.
    std::string chunks;
    for (int i = 0; i < 100; ++i) chunks += "400\r\n" + std::string(1024, 'a') + "\r\n";
    EXPECT_EQ(status("POST /login HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n",
                     chunks + "0\r\n\r\n"),
              "HTTP/1.1 413");
    // A length over the limit is refused before its body is sent.
    EXPECT_EQ(status("POST /login HTTP/1.1\r\nHost: x\r\nContent-Length: 52428800\r\n\r\n"),
              "HTTP/1.1 413");
}

TEST_F(WebAppTest, RequestsOfAKnownSessionAreCountedPerSessionAndOthersPerAddress) {
    web::WebConfig c = plain();
    c.requestsPerMinute = 12;
    const int port = start(c);
    // Two drivers behind one address, each with his own allowance.
    Browser yamadaPhone(port), satoPhone(port);
    ready(yamadaPhone, "yamada", "first-pass-1");
    ready(satoPhone, "sato", "first-pass-2");
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(yamadaPhone.get("/")->status, 200) << i;
        EXPECT_EQ(satoPhone.get("/")->status, 200) << i;
    }
    // Made-up sessions count against their address, as does everything without a session;
    // the answer 429 closes the connection.
    Browser stranger(port);
    int refused = 0;
    for (int i = 0; i < 12; ++i) {
        stranger.cookies["quil_session"] = std::string(63, 'a') + "0123456789abcdef"[i];
        refused += stranger.get("/")->status == 429;
    }
    EXPECT_GE(refused, 1);
    RawClient flood("127.0.0.1", port);
    flood.send("GET /login HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(flood.read(2000, "\r\n\r\n").rfind("HTTP/1.1 429", 0), 0u);
    flood.read(2000);
    EXPECT_TRUE(flood.closed);
    EXPECT_EQ(yamadaPhone.get("/")->status, 200);
}

TEST_F(WebAppTest, AFloodOfFailedLoginsLeavesALoggedInDriverServed) {
    web::WebConfig c = plain();
    c.behindProxy = true;  // each failed login from an address of its own: none is limited
    Browser driver(start(c));
    ready(driver, "yamada", "first-pass-1");
    app->stop();
    runner.join();
    // Verifications as costly as a real service's: an unknown login gets the costs of the
    // newest password, here sato's; the driver's session stays.
    owner->run(
        "UPDATE quil_web_account SET kdf_ops = 3, kdf_memory = 65536, "
        "changed_at = now() + interval '1 day' WHERE login = 'sato'");
    const int port = start(c);
    Browser again(port);
    again.cookies = driver.cookies;

    std::atomic<bool> flooding{true};
    std::vector<std::thread> flood;
    for (int f = 0; f < 6; ++f)
        flood.emplace_back([&, f] {
            Browser b(port);
            for (int i = 0; i < 40 && flooding; ++i) {
                const auto form = b.get("/login");
                if (!form) continue;
                b.post(
                    "/login",
                    {{"csrf", inputValue(form->body, "csrf")},
                     {"login", "nobody" + std::to_string(i)},
                     {"password", "wrong-guess"}},
                    {{"X-Forwarded-For", "10.0." + std::to_string(f) + "." + std::to_string(i)}});
            }
        });
    std::this_thread::sleep_for(Ms(500));
    std::vector<long long> took;
    for (int i = 0; i < 15; ++i) {
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_EQ(again.get("/records")->status, 200);
        took.push_back(msSince(asked));
        std::this_thread::sleep_for(Ms(100));
    }
    flooding = false;
    for (auto& t : flood) t.join();
    std::sort(took.begin(), took.end());
    EXPECT_LT(took[took.size() / 2], 150) << "median of the driver's pages during the flood";
}

TEST_F(WebAppTest, TodayIsTheCompanysZonesWhateverTheMachinesClockSays) {
    // The machine's zone at least 19 hours from Tokyo's, on another day than Tokyo's.
    const std::time_t t = std::time(nullptr) + 9 * 3600;
    std::tm tokyo{};
    gmtime_r(&t, &tokyo);
    ASSERT_EQ(::setenv("TZ", tokyo.tm_hour < 21 ? "Etc/GMT+12" : "Etc/GMT-14", 1), 0);
    ::tzset();
    const std::string machineDay = today();
    eveningClock = false;
    Browser b(start(plain()));  // time_zone left at Asia/Tokyo
    ASSERT_NE(machineDay, dateEastOfUtc(9));
    ready(b, "yamada", "first-pass-1");
    const auto form = b.get("/check");
    EXPECT_EQ(inputValue(form->body, "date"), dateEastOfUtc(9));
    Params p = checkForm(form->body);
    for (auto& [k, v] : p) {
        if (k == "date") v = dateEastOfUtc(9);
        if (k == "time") v = "00:00";
    }
    const auto saved = b.post("/check", p);
    EXPECT_EQ(saved->status, 303) << saved->body;
    p[1].second = inputValue(b.get("/check")->body, "key");
    for (auto& [k, v] : p)
        if (k == "date") v = dateEastOfUtc(9, 1);
    EXPECT_NE(b.post("/check", p)->body.find("明日以降の日付は入力できません。"),
              std::string::npos);
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check"), 1);

    // A zone the system does not know is refused before anything starts.
    web::WebConfig c = plain();
    c.timeZone = "Asia/Nowhere";
    EXPECT_THROW(web::WebApp(c, cheap), web::ConfigError);
}

TEST_F(WebAppTest, ACorrectedResendIsRefusedWithWhatWasStoredAndOnlyTheSaveJustMadeIsAnnounced) {
    Browser b(start(plain()));
    ready(b, "yamada", "first-pass-1");
    const auto form = b.get("/check");
    Params p = checkForm(form->body, "最初の内容");
    const auto first = b.post("/check", p);
    ASSERT_EQ(first->status, 303) << first->body;
    const std::string location = first->get_header_value("Location");
    p.back().second = "直した内容";
    const auto again = b.post("/check", p);
    EXPECT_EQ(again->status, 409);
    EXPECT_NE(again->body.find("このフォームはすでに記録されています。"), std::string::npos);
    EXPECT_NE(again->body.find("最初の内容"), std::string::npos);
    EXPECT_EQ(again->body.find("記録しました"), std::string::npos);
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check WHERE remarks = '最初の内容'"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check"), 1);

    // Readings of two decimals, and a drive sent again with another return time.
    const auto driveForm = b.get("/drive");
    Params d = {{"csrf", inputValue(driveForm->body, "csrf")},
                {"key", inputValue(driveForm->body, "key")},
                {"date", today()},
                {"start", "08:00"},
                {"end", "09:15"},
                {"vehicle", std::to_string(van)},
                {"odometer_start", "1000.25"},
                {"odometer_end", "1042.55"},
                {"purpose", std::to_string(visit)},
                {"destination", "本社"},
                {"remarks", ""}};
    const auto drove = b.post("/drive", d);
    ASSERT_EQ(drove->status, 303) << drove->body;
    const std::string driveLocation = drove->get_header_value("Location");
    EXPECT_EQ(b.post("/drive", d)->get_header_value("Location"), driveLocation);
    d[4].second = "09:30";
    const auto changed = b.post("/drive", d);
    EXPECT_EQ(changed->status, 409);
    EXPECT_NE(changed->body.find("09:15"), std::string::npos);
    const std::string driveId = driveLocation.substr(driveLocation.find("drive-") + 6);
    const auto detail = b.get("/drive/" + driveId);
    for (const char* shown : {"1000.25 km", "1042.55 km", "42.3 km"})
        EXPECT_NE(detail->body.find(shown), std::string::npos) << shown;

    // The notice of a save only on the list the save led to, once; not for an id in a link.
    EXPECT_EQ(b.get("/records?saved=check-999")->body.find("id=\"notice\""), std::string::npos);
    const auto list = b.get(driveLocation);
    EXPECT_NE(list->body.find("id=\"notice\""), std::string::npos);
    EXPECT_NE(list->body.find("42.3 km"), std::string::npos);
    EXPECT_NE(list->body.find("href=\"#drives-heading\""), std::string::npos);
    EXPECT_NE(list->body.find("id=\"drives-heading\""), std::string::npos);
    EXPECT_EQ(b.get(driveLocation)->body.find("id=\"notice\""), std::string::npos);
    EXPECT_NE(b.get(location)->body.find("id=\"notice\""), std::string::npos);
    EXPECT_EQ(b.get(location)->body.find("id=\"notice\""), std::string::npos);

    // Without a detector the check form says whom to ask.
    EXPECT_EQ(b.get("/check")->body.find("id=\"no-detector\""), std::string::npos);
    owner->run("UPDATE quil_alcohol_detector SET retired = true");
    EXPECT_NE(b.get("/check")->body.find("事務所に登録を頼んでください"), std::string::npos);
}

TEST_F(WebAppTest, CheckingTheSettingsSaysWhatToChangeWhenTheServiceCannotUseTheDatabase) {
    EXPECT_EQ(web::databaseProblem(service->conninfo()), "");
    const std::string noRole = web::databaseProblem(db.conninfo() + " user=quil_nobody_here");
    EXPECT_NE(noRole.find("CREATE ROLE quil_nobody_here LOGIN IN ROLE quil_"), std::string::npos)
        << noRole;
    EXPECT_NE(noRole.find("_web\""), std::string::npos) << noRole;
    const std::string noDatabase = web::databaseProblem(db.conninfo() + " dbname=quil_none_here");
    EXPECT_NE(noDatabase.find("データベース quil_none_here がありません"), std::string::npos)
        << noDatabase;
    LoginRole viewer(db.conninfo(), kViewerRole);
    const std::string notService = web::databaseProblem(viewer.conninfo());
    EXPECT_NE(notService.find("_web のメンバーではありません"), std::string::npos) << notService;
    // Debian's stock pg_hba.conf answers a peer line below its own with this.
    const std::string peer = web::connectionAdvice(
        "connection to server on socket \"/run/postgresql/.s.PGSQL.5432\" failed: FATAL:  Peer "
        "authentication failed for user \"quil_web_service\"",
        "quil_web_service", "quil");
    EXPECT_NE(peer.find("「local quil quil_web_service peer map=quil」の行を Debian の「local all "
                        "all peer」の行より上"),
              std::string::npos)
        << peer;
    EXPECT_NE(peer.find("systemctl reload postgresql"), std::string::npos);
}

// The menu shows the driver's licence expiry with a warning from 30 days before (never its
// number); a drive with a vehicle whose 車検 has lapsed comes back with the warning first
// and is stored when sent again, and only for the vehicle the warning named.
TEST_F(WebAppTest, TheMenuWarnsOfTheLicenceAndALapsedVehicleIsNamedBeforeItsDriveIsStored) {
    const store::DateTime day = store::today();
    ServerPaperStore paperStore(db.conninfo());
    papers::DriverLicence licence;
    licence.driver = yamada;
    licence.number = "123456789012";
    licence.expiry = day + 10;
    paperStore.addLicence(licence);
    papers::VehiclePaper inspection;
    inspection.vehicle = van;
    inspection.kind = papers::PaperKind::Inspection;
    inspection.expiry = day - 5;
    paperStore.addPaper(inspection);

    Browser b(start(plain()));
    ready(b, "yamada", "first-pass-1");
    const auto menu = b.get("/");
    EXPECT_NE(menu->body.find("運転免許証の有効期限: " + store::formatDate(day + 10)),
              std::string::npos);
    EXPECT_NE(menu->body.find("id=\"licence-warning\""), std::string::npos);
    EXPECT_EQ(menu->body.find("123456789012"), std::string::npos);

    const auto form = b.get("/drive");
    Params drive = {{"csrf", inputValue(form->body, "csrf")},
                    {"key", inputValue(form->body, "key")},
                    {"date", today()},
                    {"start", "08:00"},
                    {"end", "09:15"},
                    {"vehicle", std::to_string(van)},
                    {"odometer_start", "1000"},
                    {"odometer_end", "1042.5"},
                    {"purpose", std::to_string(visit)},
                    {"destination", "本社"},
                    {"remarks", ""}};
    auto r = b.post("/drive", drive);
    ASSERT_EQ(r->status, 200) << r->body;
    EXPECT_NE(r->body.find("車検の有効期限（" + store::formatDate(day - 5) + "）が過ぎています。"),
              std::string::npos);
    EXPECT_EQ(count("SELECT count(*) FROM quil_records"), 0);
    // A warning seen for another vehicle lets nothing through.
    Params other = drive;
    other.emplace_back("warned_vehicle", std::to_string(van + 1));
    EXPECT_EQ(b.post("/drive", other)->status, 200);
    EXPECT_EQ(count("SELECT count(*) FROM quil_records"), 0);
    drive.emplace_back("warned_vehicle", inputValue(r->body, "warned_vehicle"));
    r = b.post("/drive", drive);
    ASSERT_EQ(r->status, 303) << r->body;
    EXPECT_EQ(count("SELECT count(*) FROM quil_records"), 1);
}
