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
#include "SampleDataSet.h"
#include "ServerTestData.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerExtensions.h"
#include "server/ServerSchema.h"
#include "server/WebAccounts.h"
#include "server/WebRecords.h"
#include "store/Date.h"
#include "web/WebApp.h"

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
        ASSERT_EQ(r->status, 303);
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
    owner->run("REVOKE quil_web FROM " + role);
    std::ostringstream log;
    std::streambuf* saved = std::cerr.rdbuf(log.rdbuf());
    const auto r = b.get("/records");
    std::cerr.rdbuf(saved);
    owner->run("GRANT quil_web TO " + role);
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
