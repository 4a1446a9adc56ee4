#include "web/WebApp.h"

#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "server/WebRecords.h"
#include "store/Date.h"
#include "web/ConnectionPool.h"
#include "web/Html.h"
#include "web/HttpServer.h"
#include "web/RateLimit.h"
#include "web/TimeZone.h"
#include "web/WebForms.h"

namespace quil::web {

using Request = http::Request;
using Response = http::Response;
using server::PgConnection;
using server::ServerError;
using server::WebAccounts;
using server::WebRecords;
using server::WebSession;

namespace {

constexpr const char* kSessionCookie = "quil_session";
constexpr const char* kLoginCookie = "quil_login";
// The record of each kind a post has just saved ("check-12" in quil_saved_check), for the
// list's notice of that save only.
constexpr const char* kSavedCookie = "quil_saved_";
// The most rows of each table on the list page, which keeps a page within 100 KB.
constexpr std::size_t kListRows = 200;
constexpr int kListDays = 30;

std::string h(std::string_view text) { return escapeHtml(text); }

std::string randomHex(std::size_t bytes) {
    std::string raw(bytes, '\0');
    randombytes_buf(raw.data(), raw.size());
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : raw) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// One journal line for a refused login, for the administrator and for fail2ban: the address
// comes first and the login name a stranger typed is cut to 64 bytes with its control
// characters shown as '?', so that it can neither break the line nor forge another.
void logRefusedLogin(const std::string& address, std::string login, server::LoginOutcome outcome) {
    if (login.size() > 64) {
        login.resize(64);
        while (!login.empty() && (static_cast<unsigned char>(login.back()) & 0xC0) == 0x80)
            login.pop_back();
        if (!login.empty() && static_cast<unsigned char>(login.back()) >= 0xC0) login.pop_back();
    }
    for (char& c : login)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    const char* why = outcome == server::LoginOutcome::Disabled         ? "無効なログイン"
                      : outcome == server::LoginOutcome::Locked         ? "ロック中"
                      : outcome == server::LoginOutcome::AddressLimited ? "アドレスの制限中"
                                                                        : "名前かパスワードの誤り";
    std::cerr << "quil-web: ログイン失敗: アドレス " << address << " ログイン名 " << login << " ("
              << why << ")" << std::endl;
}

bool isHex(const std::string& s, std::size_t length) {
    return s.size() == length && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The login form's token: 16 random bytes and their HMAC under the service's own key, so
// that only a token this service issued is taken (not one a stranger made up and planted
// as both the cookie and the field).
class LoginTokens {
public:
    LoginTokens() {
        if (sodium_init() < 0)
            throw std::runtime_error("暗号ライブラリ (libsodium) を初期化できません。");
        crypto_auth_keygen(key_);
    }
    std::string issue() const {
        unsigned char nonce[16];
        randombytes_buf(nonce, sizeof nonce);
        unsigned char mac[crypto_auth_BYTES];
        crypto_auth(mac, nonce, sizeof nonce, key_);
        return hex(nonce, sizeof nonce) + hex(mac, sizeof mac);
    }
    bool valid(const std::string& token) const {
        unsigned char bytes[16 + crypto_auth_BYTES];
        std::size_t len = 0;
        if (token.size() != 2 * sizeof bytes ||
            sodium_hex2bin(bytes, sizeof bytes, token.data(), token.size(), nullptr, &len,
                           nullptr) != 0 ||
            len != sizeof bytes)
            return false;
        return crypto_auth_verify(bytes + 16, bytes, 16, key_) == 0;
    }

private:
    static std::string hex(const unsigned char* b, std::size_t n) {
        std::string out(2 * n + 1, '\0');
        sodium_bin2hex(out.data(), out.size(), b, n);
        out.pop_back();
        return out;
    }
    unsigned char key_[crypto_auth_KEYBYTES];
};

bool sameSecret(const std::string& a, const std::string& b) {
    return !a.empty() && a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string cookie(const Request& req, const std::string& name) {
    const std::string header = req.get_header_value("Cookie");
    std::size_t pos = 0;
    while (pos < header.size()) {
        std::size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string part = header.substr(pos, end - pos);
        const auto first = part.find_first_not_of(' ');
        part = first == std::string::npos ? std::string() : part.substr(first);
        if (part.size() > name.size() && part.compare(0, name.size(), name) == 0 &&
            part[name.size()] == '=')
            return part.substr(name.size() + 1);
        pos = end + 1;
    }
    return {};
}

FormValues formOf(const Request& req) {
    FormValues form;
    for (const auto& [name, value] : req.params) form.emplace(name, value);  // the first kept
    return form;
}

std::string fieldOf(const FormValues& form, const std::string& name) {
    const auto it = form.find(name);
    return it == form.end() ? std::string() : it->second;
}

std::string number(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    return s;
}

// An odometer reading or a distance in km: the readings are kept to two decimals, so a
// distance is the difference of the readings as shown, never a third rounding of its own.
double km(double reading) { return std::round(reading * 100) / 100; }
std::string kmText(double value) { return number(km(value), 2) + " km"; }

std::string dateText(store::DateTime d) { return store::formatDate(d); }

std::string isoDate(store::DateTime d) {
    const store::CivilDate c = store::decodeDate(d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", c.year, c.month, c.day);
    return buf;
}

std::string nameOf(const std::vector<server::WebChoice>& choices, std::int64_t id,
                   const std::string& otherwise) {
    for (const auto& c : choices)
        if (c.id == id) return c.name;
    return otherwise;
}

// --- pieces of the forms; every text through h() ---

std::string errorLine(const FormErrors& errors, const std::string& name) {
    const auto it = errors.find(name);
    if (it == errors.end()) return {};
    return "<p class=\"error\" id=\"error-" + name + "\">" + h(it->second) + "</p>\n";
}

std::string hiddenFields(const std::string& csrf, const std::string& key) {
    std::string out = "<input type=\"hidden\" name=\"csrf\" value=\"" + h(csrf) + "\">\n";
    if (!key.empty()) out += "<input type=\"hidden\" name=\"key\" value=\"" + h(key) + "\">\n";
    return out;
}

std::string textField(const std::string& label, const std::string& name, const FormValues& v,
                      const FormErrors& e, const std::string& type = "text",
                      const std::string& extra = {}) {
    return "<label for=\"" + name + "\">" + h(label) + "</label>\n" + errorLine(e, name) +
           "<input type=\"" + type + "\" id=\"" + name + "\" name=\"" + name + "\" value=\"" +
           h(fieldOf(v, name)) + "\"" + extra + ">\n";
}

std::string radioField(const std::string& legend, const std::string& name,
                       const std::vector<std::pair<std::string, std::string>>& options,
                       const FormValues& v, const FormErrors& e) {
    std::string out = "<fieldset>\n<legend>" + h(legend) + "</legend>\n" + errorLine(e, name);
    const std::string chosen = fieldOf(v, name);
    for (const auto& [value, label] : options)
        out += "<label><input type=\"radio\" name=\"" + name + "\" value=\"" + value + "\"" +
               (chosen == value ? " checked" : "") + ">" + h(label) + "</label>\n";
    return out + "</fieldset>\n";
}

std::string selectField(const std::string& label, const std::string& name,
                        const std::vector<std::pair<std::string, std::string>>& options,
                        const FormValues& v, const FormErrors& e) {
    std::string out = "<label for=\"" + name + "\">" + h(label) + "</label>\n" +
                      errorLine(e, name) + "<select id=\"" + name + "\" name=\"" + name + "\">\n";
    const std::string chosen = fieldOf(v, name);
    for (const auto& [value, text] : options)
        out += "<option value=\"" + h(value) + "\"" + (chosen == value ? " selected" : "") + ">" +
               h(text) + "</option>\n";
    return out + "</select>\n";
}

std::vector<std::pair<std::string, std::string>> choices(const std::vector<server::WebChoice>& list,
                                                         const std::string& first) {
    std::vector<std::pair<std::string, std::string>> out;
    if (!first.empty()) out.emplace_back("", first);
    for (const auto& c : list) out.emplace_back(std::to_string(c.id), c.name);
    return out;
}

std::string backLink() { return "<p class=\"back\"><a href=\"/\">メニューに戻る</a></p>\n"; }

std::string statusPage(int status) {
    switch (status) {
        case 400:
            return page("送信できません",
                        "<h1>送信できません</h1>\n<p>フォームの内容が正しくありません。"
                        "もう一度ページを開いて入力し直してください。</p>\n" +
                            backLink());
        case 403:
            return page("送信できません",
                        "<h1>送信できません</h1>\n<p>このフォームは使えなくなっています"
                        " (ログインし直したか、古いページから送信しました)。"
                        "もう一度ページを開いて入力し直してください。</p>\n" +
                            backLink());
        case 404:
            return page("見つかりません",
                        "<h1>見つかりません</h1>\n<p>お探しのページや記録はありません。</p>\n" +
                            backLink());
        case 413:
            return page("送信できません",
                        "<h1>送信できません</h1>\n<p>送信された内容が大きすぎます。"
                        "入力を短くしてください。</p>\n" +
                            backLink());
        case 429:
            return page("しばらくお待ちください",
                        "<h1>しばらくお待ちください</h1>\n<p>短い間にアクセスが多すぎます。"
                        "1分ほど待ってからもう一度開いてください。</p>\n");
        case 503:
            return page(
                "ただいま使えません",
                "<h1>ただいま使えません</h1>\n<p>台帳のデータベースにつながりません。"
                "しばらく待ってからもう一度開いてください。続くときは事務所に連絡してください。"
                "</p>\n");
        default:
            return page(
                "エラー",
                "<h1>エラーが起きました</h1>\n<p>申し訳ありません。処理できませんでした。"
                "しばらく待ってからもう一度試してください。続くときは事務所に連絡してください。"
                "</p>\n" +
                    backLink());
    }
}

void sendHtml(Response& res, int status, const std::string& html) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(html, "text/html; charset=utf-8");
}

// 429, and the connection closed: a client that floods gets to open a new one.
void tooMany(Response& res) {
    sendHtml(res, 429, statusPage(429));
    res.set_header("Retry-After", "60");
    res.set_header("Connection", "close");
}

void redirect(Response& res, const std::string& to) {
    res.status = 303;
    res.set_header("Cache-Control", "no-store");
    res.set_header("Location", to);
}

}  // namespace

struct WebApp::Impl {
    WebConfig config;
    server::WebPolicy policy;
    std::unique_ptr<http::Server> http;
    ConnectionPool pool;
    // Password verifications run a few at a time, on workers and connections of their own,
    // so that a flood of logins never takes the drivers' connections or workers.
    int loginSlots;
    ConnectionPool loginPool;
    // Requests are counted per address until they carry a known session, then per session:
    // drivers behind one office address each have their own allowance.
    RateLimit rate;
    RateLimit sessionRate;
    // Addresses the accounts refused as over their failed logins: refused at once, without
    // the database or a hash, for a minute.
    std::mutex limitedMutex;
    std::unordered_map<std::string, std::pair<std::chrono::steady_clock::time_point, std::string>>
        limitedAddresses;
    // Held while a password kept at more memory than the policy's is verified.
    std::mutex largeKeyMutex;
    LoginTokens loginTokens;
    int boundPort = 0;
    std::atomic<bool> stopping{false};

    Impl(const WebConfig& c, server::WebPolicy p)
        : config(c),
          policy(p),
          pool(c.conninfo, c.threads),
          // Two at a time: each Argon2id of a password takes 12 MiB.
          loginSlots(std::clamp(c.threads / 4, 1, 2)),
          loginPool(c.conninfo, loginSlots),
          rate(c.requestsPerMinute),
          sessionRate(c.requestsPerMinute) {
        policy.idleTimeout = std::chrono::minutes(config.idleMinutes);
    }

    std::string cookieFlags() const {
        return std::string("; HttpOnly; SameSite=Strict") + (config.secureCookie ? "; Secure" : "");
    }

    // The client's address: the socket's peer, or behind a proxy the last entry of
    // X-Forwarded-For (the one the proxy wrote; earlier ones come from the client).
    std::string address(const Request& req) const {
        if (config.behindProxy && req.has_header("X-Forwarded-For")) {
            std::string forwarded = req.get_header_value("X-Forwarded-For");
            const auto comma = forwarded.rfind(',');
            if (comma != std::string::npos) forwarded = forwarded.substr(comma + 1);
            const auto first = forwarded.find_first_not_of(" \t");
            if (first != std::string::npos) {
                forwarded = forwarded.substr(first, forwarded.find_last_not_of(" \t") - first + 1);
                const bool printable = forwarded.size() <= 100 &&
                                       std::all_of(forwarded.begin(), forwarded.end(),
                                                   [](char ch) { return ch > ' ' && ch < 0x7f; });
                if (printable) return forwarded;
            }
        }
        return req.remote_addr.empty() ? std::string("unknown") : req.remote_addr;
    }

    // Runs a page's work with a connection, turning failures into the status pages: the
    // detail goes to the log (stderr), never to the page.
    void guarded(const Request& req, Response& res,
                 const std::function<void(PgConnection&)>& work) {
        guarded(req, res, pool, work);
    }
    void guarded(const Request& req, Response& res, ConnectionPool& from,
                 const std::function<void(PgConnection&)>& work) {
        guardedSteps(req, res, [&] { from.run(work); });
    }
    // The same for work that takes its connections itself, step by step.
    void guardedSteps(const Request& req, Response& res, const std::function<void()>& work) {
        try {
            work();
        } catch (const ServerError& e) {
            std::cerr << "quil-web: " << req.method << ' ' << req.path << ": " << e.what()
                      << std::endl;
            res.headers.erase("Location");
            sendHtml(res, e.kind() == ServerError::Kind::Connection ? 503 : 500,
                     statusPage(e.kind() == ServerError::Kind::Connection ? 503 : 500));
        } catch (const std::exception& e) {
            std::cerr << "quil-web: " << req.method << ' ' << req.path << ": " << e.what()
                      << std::endl;
            res.headers.erase("Location");
            sendHtml(res, 500, statusPage(500));
        }
    }

    std::string limitedMessage(const std::string& address) {
        std::lock_guard lock(limitedMutex);
        const auto it = limitedAddresses.find(address);
        if (it == limitedAddresses.end()) return {};
        if (std::chrono::steady_clock::now() < it->second.first) return it->second.second;
        limitedAddresses.erase(it);
        return {};
    }
    void rememberLimited(const std::string& address, const std::string& message) {
        std::lock_guard lock(limitedMutex);
        if (limitedAddresses.size() > 10000) limitedAddresses.clear();  // a flood of addresses
        limitedAddresses[address] = {std::chrono::steady_clock::now() + std::chrono::minutes(1),
                                     message};
    }

    WebAccounts accounts(PgConnection& c) const { return WebAccounts(c, {}, policy); }

    // The session of the request's cookie, or nullopt after sending the way to the login.
    // A session that must change its first password is sent there, except on `passwordPage`.
    std::optional<WebSession> session(PgConnection& c, const Request& req, Response& res,
                                      bool passwordPage = false) {
        const std::string token = cookie(req, kSessionCookie);
        std::optional<WebSession> s;
        if (isHex(token, 64)) {
            s = accounts(c).checkSession(token);
            // Counted per session before: an unknown token counts against its address.
            if (!s && !rate.allow(address(req))) {
                tooMany(res);
                return std::nullopt;
            }
        }
        if (!s) {
            redirect(res, "/login");
            return std::nullopt;
        }
        if (s->mustChangePassword && !passwordPage) {
            redirect(res, "/password");
            return std::nullopt;
        }
        return s;
    }

    // A posted form's CSRF token and save key; false after sending the refusal.
    bool formAccepted(const WebSession& s, const FormValues& form, Response& res, bool needsKey) {
        if (!server::csrfTokenMatches(s, fieldOf(form, "csrf"))) {
            sendHtml(res, 403, statusPage(403));
            return false;
        }
        if (needsKey && !isHex(fieldOf(form, "key"), 32)) {
            sendHtml(res, 400, statusPage(400));
            return false;
        }
        return true;
    }

    // A page of a logged-in driver: `work` gets his session and his records; without a
    // session the request goes to the login.
    void driverPage(const Request& req, Response& res,
                    const std::function<void(const WebSession&, WebRecords&)>& work) {
        guarded(req, res, [&](PgConnection& c) {
            const auto s = session(c, req, res);
            if (!s) return;
            WebRecords records(c, cookie(req, kSessionCookie), *s, address(req));
            work(*s, records);
        });
    }
    // A driver's posted form, its CSRF token and save key checked first.
    void driverPost(
        const Request& req, Response& res,
        const std::function<void(const WebSession&, WebRecords&, const FormValues&)>& work) {
        guarded(req, res, [&](PgConnection& c) {
            const auto s = session(c, req, res);
            if (!s) return;
            const FormValues form = formOf(req);
            if (!formAccepted(*s, form, res, true)) return;
            WebRecords records(c, cookie(req, kSessionCookie), *s, address(req));
            work(*s, records, form);
        });
    }

    void routes();

    // --- pages ---
    std::string loginPage(const std::string& csrf, const std::string& login,
                          const std::string& error) const {
        std::string body = "<h1>クイル台帳 ログイン</h1>\n";
        if (!error.empty()) body += "<p class=\"error\" id=\"error-login\">" + h(error) + "</p>\n";
        body += "<form id=\"login-form\" method=\"post\" action=\"/login\">\n" +
                hiddenFields(csrf, {}) +
                "<label for=\"login\">ログイン名</label>\n"
                "<input type=\"text\" id=\"login\" name=\"login\" value=\"" +
                h(login) +
                "\" autocomplete=\"username\" autocapitalize=\"none\" required>\n"
                "<label for=\"password\">パスワード</label>\n"
                "<input type=\"password\" id=\"password\" name=\"password\" "
                "autocomplete=\"current-password\" required>\n"
                "<button type=\"submit\" id=\"submit\">ログイン</button>\n</form>\n";
        return page("ログイン", body);
    }

    std::string checkPage(const WebSession& s, const server::WebFormLists& lists,
                          const FormValues& v, const FormErrors& e) const {
        std::string body = "<h1>アルコールチェック</h1>\n<p>運転者: " + h(s.driverName) + "</p>\n";
        body += errorLine(e, "form");
        body += "<form id=\"check-form\" method=\"post\" action=\"/check\">\n" +
                hiddenFields(s.csrfToken, fieldOf(v, "key"));
        body += radioField("区分", "timing", {{"before", "運転前"}, {"after", "運転後"}}, v, e);
        body += textField("日付", "date", v, e, "date");
        body += textField("時刻", "time", v, e, "time");
        body += selectField("車両", "vehicle", choices(lists.vehicles, "選んでください"), v, e);
        body += radioField(
            "確認方法", "method",
            {{"face", "対面"}, {"video", "ビデオ通話"}, {"phone", "電話"}, {"other", "その他"}}, v,
            e);
        body += textField("確認方法の内容 (その他のとき)", "method_text", v, e);
        body += textField("確認者", "checker", v, e, "text", " list=\"checkers\"");
        body += "<datalist id=\"checkers\">\n";
        for (std::size_t i = 0; i < lists.checkers.size() && i < 50; ++i)
            body += "<option value=\"" + h(lists.checkers[i]) + "\">\n";
        body += "</datalist>\n";
        auto detectors = choices(lists.detectors, "");
        detectors.insert(detectors.begin(), {"0", "なし"});
        body += selectField("アルコール検知器", "detector", detectors, v, e);
        if (lists.detectors.empty())
            body +=
                "<p class=\"hint\" id=\"no-detector\">アルコール検知器が登録されていません。"
                "検知器を使うチェックは記録できないので、事務所に登録を頼んでください。</p>\n";
        body += textField("測定値 (mg/L)", "reading", v, e, "text", " inputmode=\"decimal\"");
        body += radioField("酒気帯び", "intoxicated", {{"no", "無"}, {"yes", "有"}}, v, e);
        body += textField("指示事項", "instructions", v, e);
        body += textField("備考", "remarks", v, e);
        body += "<button type=\"submit\" id=\"submit\">記録する</button>\n</form>\n" + backLink();
        return page("アルコールチェック", body);
    }

    std::string drivePage(const WebSession& s, const server::WebFormLists& lists,
                          const FormValues& v, const FormErrors& e) const {
        std::string body = "<h1>運転の記録</h1>\n<p>運転者: " + h(s.driverName) + "</p>\n";
        body += errorLine(e, "form");
        body += "<form id=\"drive-form\" method=\"post\" action=\"/drive\">\n" +
                hiddenFields(s.csrfToken, fieldOf(v, "key"));
        body += textField("日付", "date", v, e, "date");
        body += textField("出庫時刻", "start", v, e, "time");
        body += textField("帰庫時刻", "end", v, e, "time");
        body += selectField("車両", "vehicle", choices(lists.vehicles, "選んでください"), v, e);
        body += textField("出庫時の距離計 (km)", "odometer_start", v, e, "text",
                          " inputmode=\"decimal\"");
        body += textField("入庫時の距離計 (km)", "odometer_end", v, e, "text",
                          " inputmode=\"decimal\"");
        auto purposes = choices(lists.purposes, "選んでください");
        purposes.emplace_back("-1", store::kOtherName);
        body += selectField("目的", "purpose", purposes, v, e);
        body += textField("行き先", "destination", v, e);
        body += textField("備考", "remarks", v, e);
        body += "<button type=\"submit\" id=\"submit\">記録する</button>\n</form>\n" + backLink();
        return page("運転の記録", body);
    }

    // A stored check or drive as its page shows it, after `notice` when one is given.
    static std::string noticeLine(const std::string& notice) {
        return notice.empty() ? std::string()
                              : "<p class=\"notice\" id=\"notice\">" + h(notice) + "</p>\n";
    }
    static std::string item(const std::string& term, const std::string& value) {
        return "<dt>" + h(term) + "</dt><dd>" + h(value) + "</dd>\n";
    }
    std::string checkRecordPage(const WebSession& session, const server::WebFormLists& lists,
                                const alcohol::AlcoholCheck& k, const std::string& notice) const {
        std::string body =
            "<h1>アルコールチェック</h1>\n" + noticeLine(notice) + "<dl id=\"record\">\n";
        body += item("日時", dateText(k.when) + " " + store::formatTime(k.when));
        body += item("区分", alcohol::timingName(k.timing));
        body += item("運転者", session.driverName);
        body += item("車両", nameOf(lists.vehicles, k.vehicle, "-"));
        body += item("確認方法", alcohol::methodLabel(k));
        body += item("確認者", k.checker);
        body +=
            item("アルコール検知器",
                 k.detector == 0 ? std::string("なし") : nameOf(lists.detectors, k.detector, "-"));
        body += item("測定値", k.reading ? number(*k.reading, 3) + " mg/L" : "-");
        body += item("酒気帯び", k.intoxicated ? "有" : "無");
        body += item("指示事項", k.instructions);
        body += item("備考", k.remarks);
        body +=
            "</dl>\n<p class=\"back\"><a href=\"/records\">記録の一覧に戻る</a></p>\n" + backLink();
        return page("アルコールチェック", body);
    }
    std::string driveRecordPage(const WebSession& session, const server::WebFormLists& lists,
                                const store::DataRecord& r, const std::string& notice) const {
        std::string body = "<h1>運転の記録</h1>\n" + noticeLine(notice) + "<dl id=\"record\">\n";
        body += item("日付", dateText(r.date()));
        body += item("出庫時刻", store::formatTime(r.date()));
        body += item("帰庫時刻", store::formatTime(r.returnTime()));
        body += item("運転者", session.driverName);
        body += item("車両", nameOf(lists.vehicles, r.vehicle(), "-"));
        body += item("出庫時の距離計", kmText(r.distance1()));
        body += item("入庫時の距離計", kmText(r.distance2()));
        body += item("走行距離", kmText(km(r.distance2()) - km(r.distance1())));
        body += item("目的", r.item() < 0 ? std::string(store::kOtherName)
                                          : nameOf(lists.purposes, r.item(), "-"));
        body += item("行き先", r.destination());
        body += item("備考", r.remarks());
        body +=
            "</dl>\n<p class=\"back\"><a href=\"/records\">記録の一覧に戻る</a></p>\n" + backLink();
        return page("運転の記録", body);
    }

    // After a post: the list with the notice of this save, or, when the form's key was
    // stored before with other content, what was stored then (a corrected re-send is not
    // stored, and the driver must not be told it was).
    void answerSaved(Response& res, const std::string& kind, std::int64_t id, bool differs,
                     const std::string& storedPage) const {
        if (differs) {
            sendHtml(res, 409, storedPage);
            return;
        }
        const std::string saved = kind + "-" + std::to_string(id);
        res.set_header("Set-Cookie", kSavedCookie + kind + "=" + saved +
                                         "; Path=/records; Max-Age=600" + cookieFlags());
        redirect(res, "/records?saved=" + saved);
    }
};

constexpr const char* kAlreadyRecorded =
    "このフォームはすでに記録されています。記録されている内容は次のとおりです"
    " (直すときは事務所に届けてください)。";

namespace {

std::string nowTime() {
    unsigned hour = 0, minute = 0;
    store::decodeTime(store::now(), hour, minute);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02u:%02u", hour % 24, minute % 60);
    return buf;
}

}  // namespace

void WebApp::Impl::routes() {
    http::Server& s = *http;

    http::Headers headers{
        {"Content-Security-Policy",
         "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
         "frame-ancestors 'none'; base-uri 'none'"},
        {"X-Frame-Options", "DENY"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
    };
    // Served over HTTPS itself: browsers keep to HTTPS (behind a proxy, the proxy says so).
    if (config.https()) headers.emplace("Strict-Transport-Security", "max-age=31536000");
    s.set_default_headers(headers);
    s.set_pre_routing_handler([this](const Request& req, Response& res) {
        const std::string token = cookie(req, kSessionCookie);
        if (isHex(token, 64) ? sessionRate.allow(token) : rate.allow(address(req))) return false;
        tooMany(res);
        return true;
    });
    // Status pages for what no handler answered (404, 413, 431, ...): never the library's
    // own text, never an exception's.
    s.set_error_handler([](const Request&, Response& res) {
        if (res.body.empty()) sendHtml(res, res.status, statusPage(res.status));
    });
    s.set_exception_handler([](const Request& req, Response& res, std::exception_ptr ep) {
        try {
            if (ep) std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            std::cerr << "quil-web: " << req.method << ' ' << req.path << ": " << e.what()
                      << std::endl;
        } catch (...) {
            std::cerr << "quil-web: " << req.method << ' ' << req.path << ": unknown error"
                      << std::endl;
        }
        sendHtml(res, 500, statusPage(500));
    });

    s.Get("/style.css", [](const Request&, Response& res) {
        res.set_header("Cache-Control", "max-age=3600");
        res.set_content(styleSheet(), "text/css; charset=utf-8");
    });

    s.Get("/login", [this](const Request&, Response& res) {
        const std::string csrf = loginTokens.issue();
        res.set_header("Set-Cookie",
                       std::string(kLoginCookie) + "=" + csrf + "; Path=/login" + cookieFlags());
        sendHtml(res, 200, loginPage(csrf, {}, {}));
    });

    // On the slow workers: a password verification takes a fraction of a second.
    s.SlowPost("/login", [this](const Request& req, Response& res) {
        const FormValues form = formOf(req);
        const std::string csrf = cookie(req, kLoginCookie);
        if (!loginTokens.valid(csrf) || !sameSecret(csrf, fieldOf(form, "csrf"))) {
            sendHtml(res, 403, statusPage(403));
            return;
        }
        const std::string from = address(req);
        if (const std::string limited = limitedMessage(from); !limited.empty()) {
            sendHtml(res, 200, loginPage(csrf, fieldOf(form, "login"), limited));
            return;
        }
        guardedSteps(req, res, [&] {
            // The server begins the attempt (refusing a limited login or address at once);
            // the Argon2id runs here without a connection; the server checks the proof.
            server::LoginResult r;
            server::LoginChallenge ch;
            std::string key;
            for (int round = 0; round < 10; ++round) {
                loginPool.run([&](PgConnection& c) {
                    ch = accounts(c).beginLogIn(fieldOf(form, "login"), from);
                });
                if (ch.outcome == server::LoginOutcome::LoggedIn && key.empty()) {
                    // A password kept at more memory than the policy's (converted from an
                    // older data set, until its driver's next login re-keys it) is verified
                    // one at a time: a flood of failures against it holds one such Argon2id
                    // in memory, not one per slot.
                    std::unique_lock<std::mutex> large(largeKeyMutex, std::defer_lock);
                    if (ch.memory > policy.hashMemory) large.lock();
                    key = server::webPasswordKey(ch, fieldOf(form, "password"));
                }
                const server::LoginProof proof = server::webLoginProof(ch, key);
                bool retry = false;
                loginPool.run(
                    [&](PgConnection& c) { r = accounts(c).finishLogIn(ch, proof, &retry); });
                if (!retry) break;
            }
            if (r.ok() && server::webRekeyWanted(ch, policy)) {
                // The same password at the policy's costs; the login stands if that fails.
                try {
                    const server::WebVerifier v =
                        server::webVerifier(fieldOf(form, "password"), policy);
                    loginPool.run(
                        [&](PgConnection& c) { accounts(c).rekey(ch, r.token, key, v, from); });
                } catch (const std::exception&) {
                }
            }
            sodium_memzero(key.data(), key.size());
            if (r.outcome == server::LoginOutcome::AddressLimited) rememberLimited(from, r.message);
            if (!r.ok()) {
                logRefusedLogin(address(req), fieldOf(form, "login"), r.outcome);
                sendHtml(res, 200, loginPage(csrf, fieldOf(form, "login"), r.message));
                return;
            }
            res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + r.token + "; Path=/" +
                                             cookieFlags());
            res.set_header("Set-Cookie",
                           std::string(kLoginCookie) + "=; Path=/login; Max-Age=0" + cookieFlags());
            redirect(res, r.mustChangePassword ? "/password" : "/");
        });
    });

    s.Post("/logout", [this](const Request& req, Response& res) {
        guarded(req, res, [&](PgConnection& c) {
            const auto session = this->session(c, req, res, true);
            if (!session) return;
            if (!formAccepted(*session, formOf(req), res, false)) return;
            accounts(c).logOut(cookie(req, kSessionCookie), address(req));
            res.set_header("Set-Cookie",
                           std::string(kSessionCookie) + "=; Path=/; Max-Age=0" + cookieFlags());
            redirect(res, "/login");
        });
    });

    s.Get("/", [this](const Request& req, Response& res) {
        guarded(req, res, [&](PgConnection& c) {
            const auto session = this->session(c, req, res);
            if (!session) return;
            std::string body = "<h1>" + h(session->driverName) +
                               " さん</h1>\n<nav>\n"
                               "<a id=\"go-check\" href=\"/check\">アルコールチェックを記録</a>\n"
                               "<a id=\"go-drive\" href=\"/drive\">運転を記録</a>\n"
                               "<a id=\"go-list\" href=\"/records\">自分の記録 (30日)</a>\n"
                               "<a id=\"go-password\" href=\"/password\">パスワードの変更</a>\n"
                               "</nav>\n"
                               "<form id=\"logout-form\" method=\"post\" action=\"/logout\">\n" +
                               hiddenFields(session->csrfToken, {}) +
                               "<button type=\"submit\" id=\"logout\" class=\"secondary\">"
                               "ログアウト</button>\n</form>\n";
            sendHtml(res, 200, page("メニュー", body));
        });
    });

    s.Get("/check", [this](const Request& req, Response& res) {
        driverPage(req, res, [&](const WebSession& session, WebRecords& records) {
            const server::WebFormLists lists = records.formLists();
            FormValues v{
                {"key", randomHex(16)}, {"timing", "before"}, {"date", isoDate(store::today())},
                {"time", nowTime()},    {"method", "face"},   {"intoxicated", "no"},
                {"detector", "0"}};
            if (lists.detectors.size() == 1)
                v["detector"] = std::to_string(lists.detectors.front().id);
            if (lists.vehicles.size() == 1) v["vehicle"] = std::to_string(lists.vehicles[0].id);
            sendHtml(res, 200, checkPage(session, lists, v, {}));
        });
    });

    s.Post("/check", [this](const Request& req, Response& res) {
        driverPost(
            req, res, [&](const WebSession& session, WebRecords& records, const FormValues& form) {
                const CheckForm read =
                    readCheckForm(form, session.driver, records.choices(), store::now());
                if (!read.check) {
                    sendHtml(res, 422, checkPage(session, records.formLists(), form, read.errors));
                    return;
                }
                bool before = false;
                const std::int64_t id =
                    records.addCheck(*read.check, fieldOf(form, "key"), &before);
                std::optional<alcohol::AlcoholCheck> stored;
                if (before) stored = records.check(id);
                if (stored) stored->id = 0;
                const bool differs = stored && !(*stored == *read.check);
                answerSaved(
                    res, "check", id, differs,
                    differs ? checkRecordPage(session, records.choices(), *stored, kAlreadyRecorded)
                            : std::string());
            });
    });

    s.Get("/drive", [this](const Request& req, Response& res) {
        driverPage(req, res, [&](const WebSession& session, WebRecords& records) {
            const server::WebFormLists lists = records.choices();
            FormValues v{{"key", randomHex(16)}, {"date", isoDate(store::today())}};
            if (lists.vehicles.size() == 1) v["vehicle"] = std::to_string(lists.vehicles[0].id);
            sendHtml(res, 200, drivePage(session, lists, v, {}));
        });
    });

    s.Post("/drive", [this](const Request& req, Response& res) {
        driverPost(
            req, res, [&](const WebSession& session, WebRecords& records, const FormValues& form) {
                const server::WebFormLists lists = records.choices();
                const DriveForm read =
                    readDriveForm(form, session.driver, lists, store::now(), lists.stamp);
                if (!read.drive) {
                    sendHtml(res, 422, drivePage(session, lists, form, read.errors));
                    return;
                }
                bool before = false;
                const std::int64_t id =
                    records.addDrive(*read.drive, fieldOf(form, "key"), &before);
                const auto stored = before ? records.drive(id) : std::nullopt;
                const bool differs = stored && !(stored->record == *read.drive);
                answerSaved(res, "drive", id, differs,
                            differs
                                ? driveRecordPage(session, lists, stored->record, kAlreadyRecorded)
                                : std::string());
            });
    });

    s.Get("/records", [this](const Request& req, Response& res) {
        driverPage(req, res, [&](const WebSession&, WebRecords& records) {
            const server::WebFormLists lists = records.choices();
            const store::DateTime from = store::today() - kListDays;
            const auto checks = records.checksSince(from);
            const auto drives = records.drivesSince(from);
            std::string body = "<h1>自分の記録</h1>\n";
            // The notice only for the save this browser has just made, once.
            const std::string saved = req.get_param_value("saved");
            const std::string kind = saved.substr(0, saved.find('-'));
            if ((kind == "check" || kind == "drive") &&
                sameSecret(saved, cookie(req, kSavedCookie + kind))) {
                body += "<p class=\"notice\" id=\"notice\">" +
                        h(saved[0] == 'c' ? "アルコールチェックを記録しました。"
                                          : "運転の記録を保存しました。") +
                        "</p>\n";
                res.set_header("Set-Cookie",
                               kSavedCookie + kind + "=; Path=/records; Max-Age=0" + cookieFlags());
            }
            body += "<p class=\"hint\">" + h(dateText(from)) + " 以降の記録です。</p>\n";
            body += "<p><a id=\"to-drives\" href=\"#drives-heading\">運転の記録へ</a></p>\n";
            body +=
                "<h2>アルコールチェック</h2>\n<table id=\"checks\">\n"
                "<tr><th>日時</th><th>区分</th><th>酒気帯び</th></tr>\n";
            for (std::size_t i = 0; i < checks.size() && i < kListRows; ++i) {
                const auto& k = checks[i];
                const std::string link = "<a href=\"/check/" + std::to_string(k.id) + "\">";
                body += "<tr class=\"row\"><td>" + link + h(dateText(k.when)) + " " +
                        h(store::formatTime(k.when)) + "</a></td><td>" + link +
                        h(alcohol::timingName(k.timing)) + "</a></td><td>" + link +
                        (k.intoxicated ? "<span class=\"alert\">有</span>" : "無") +
                        "</a></td></tr>\n";
            }
            body += "</table>\n";
            if (checks.empty()) body += "<p>ありません。</p>\n";
            if (checks.size() > kListRows)
                body += "<p class=\"hint\">ほか " + std::to_string(checks.size() - kListRows) +
                        " 件は事務所でご覧ください。</p>\n";
            body +=
                "<h2 id=\"drives-heading\">運転</h2>\n<table id=\"drives\">\n"
                "<tr><th>日付</th><th>車両</th><th>距離</th></tr>\n";
            for (std::size_t i = 0; i < drives.size() && i < kListRows; ++i) {
                const auto& d = drives[i];
                const std::string link = "<a href=\"/drive/" + std::to_string(d.id) + "\">";
                body += "<tr class=\"row\"><td>" + link + h(dateText(d.record.date())) +
                        "</a></td><td>" + link +
                        h(nameOf(lists.vehicles, d.record.vehicle(), "-")) + "</a></td><td>" +
                        link + h(kmText(km(d.record.distance2()) - km(d.record.distance1()))) +
                        "</a></td></tr>\n";
            }
            body += "</table>\n";
            if (drives.empty()) body += "<p>ありません。</p>\n";
            if (drives.size() > kListRows)
                body += "<p class=\"hint\">ほか " + std::to_string(drives.size() - kListRows) +
                        " 件は事務所でご覧ください。</p>\n";
            sendHtml(res, 200, page("自分の記録", body + backLink()));
        });
    });

    s.Get(R"(/check/(\d{1,18}))", [this](const Request& req, Response& res) {
        driverPage(req, res, [&](const WebSession& session, WebRecords& records) {
            const auto k = records.check(std::stoll(req.matches[1].str()));
            if (!k) {
                sendHtml(res, 404, statusPage(404));
                return;
            }
            sendHtml(res, 200, checkRecordPage(session, records.choices(), *k, {}));
        });
    });

    s.Get(R"(/drive/(\d{1,18}))", [this](const Request& req, Response& res) {
        driverPage(req, res, [&](const WebSession& session, WebRecords& records) {
            const auto d = records.drive(std::stoll(req.matches[1].str()));
            if (!d) {
                sendHtml(res, 404, statusPage(404));
                return;
            }
            sendHtml(res, 200, driveRecordPage(session, records.choices(), d->record, {}));
        });
    });

    auto passwordPage = [](const WebSession& session, const FormErrors& e) {
        std::string body = "<h1>パスワードの変更</h1>\n";
        if (session.mustChangePassword)
            body +=
                "<p class=\"notice\">最初のパスワードを、自分だけが知るパスワードに変えてください。"
                "</p>\n";
        body += errorLine(e, "form");
        body += "<form id=\"password-form\" method=\"post\" action=\"/password\">\n" +
                hiddenFields(session.csrfToken, {});
        body += textField("今のパスワード", "current", {}, e, "password",
                          " autocomplete=\"current-password\"");
        body += textField("新しいパスワード", "password", {}, e, "password",
                          " autocomplete=\"new-password\"");
        body += textField("新しいパスワード (確認のためもう一度)", "password2", {}, e, "password",
                          " autocomplete=\"new-password\"");
        body += "<button type=\"submit\" id=\"submit\">変更する</button>\n</form>\n";
        if (!session.mustChangePassword) body += backLink();
        return page("パスワードの変更", body);
    };

    s.Get("/password", [this, passwordPage](const Request& req, Response& res) {
        guarded(req, res, [&](PgConnection& c) {
            const auto session = this->session(c, req, res, true);
            if (!session) return;
            sendHtml(res, 200, passwordPage(*session, {}));
        });
    });

    // On the slow workers too: a change computes two Argon2id.
    s.SlowPost("/password", [this, passwordPage](const Request& req, Response& res) {
        guarded(req, res, [&](PgConnection& c) {
            const auto session = this->session(c, req, res, true);
            if (!session) return;
            const FormValues form = formOf(req);
            if (!formAccepted(*session, form, res, false)) return;
            FormErrors e;
            if (fieldOf(form, "current").empty())
                e["current"] = "今のパスワードを入力してください。";
            if (fieldOf(form, "password").empty())
                e["password"] = "新しいパスワードを入力してください。";
            else if (fieldOf(form, "password") != fieldOf(form, "password2"))
                e["password2"] = "確認のため、同じ新しいパスワードをもう一度入力してください。";
            if (e.empty()) {
                try {
                    accounts(c).changeOwnPassword(cookie(req, kSessionCookie),
                                                  fieldOf(form, "current"),
                                                  fieldOf(form, "password"), address(req));
                } catch (const ServerError& err) {
                    if (err.kind() != ServerError::Kind::Refused) throw;
                    const std::string why = err.reason();
                    e[why.find("今のパスワード") != std::string::npos ? "current" : "password"] =
                        why;
                }
            }
            if (!e.empty()) {
                sendHtml(res, 422, passwordPage(*session, e));
                return;
            }
            redirect(res, "/");
        });
    });
}

namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

WebApp::WebApp(const WebConfig& config, server::WebPolicy policy)
    : d_(std::make_unique<Impl>(config, policy)) {
    // Before any thread of the server starts: "now" and "today" are the company's.
    useTimeZone(config.timeZone);
    http::Limits limits;
    // The workers answer the pages, each with a database connection of the pool while it
    // does; the logins' verifications have workers and connections of their own.
    limits.workers = config.threads;
    limits.slowWorkers = d_->loginSlots;
    limits.bodyBytes = config.maxBody;
    // Behind a proxy every connection comes from the proxy's address.
    if (config.behindProxy) limits.perAddress = 0;
    std::string certificate, key;
    if (config.https()) {
        certificate = fileText(config.certificate);
        key = fileText(config.key);
        if (!http::usableCertificate(certificate, key))
            throw ConfigError("証明書 " + config.certificate + " と秘密鍵 " + config.key +
                              " を HTTPS に使えません (形式か組み合わせが正しくありません)。");
    }
    d_->http = std::make_unique<http::Server>(limits, certificate, key);
    d_->routes();
}

WebApp::~WebApp() = default;

void WebApp::bind() {
    const WebConfig& c = d_->config;
    d_->boundPort = d_->http->bind(c.listen, c.port);
    if (d_->boundPort <= 0)
        throw ConfigError(c.listen + ":" + std::to_string(c.port) +
                          " で待ち受けられません (ほかのプログラムが使っているか、"
                          "権限がありません)。");
}

std::string WebApp::probeDatabase() {
    try {
        d_->pool.run([](PgConnection& c) { c.exec("SELECT 1"); });
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

int WebApp::port() const { return d_->boundPort; }

void WebApp::run() {
    if (!d_->stopping) d_->http->listen_after_bind();
}

void WebApp::stop() {
    d_->stopping = true;
    d_->http->stop();
}

}  // namespace quil::web
