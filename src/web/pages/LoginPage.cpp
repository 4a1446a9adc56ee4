// The login form, the login itself and the logout.

#include <sodium.h>

#include <iostream>

#include "web/Html.h"
#include "web/pages/Answers.h"
#include "web/pages/PageParts.h"
#include "web/pages/Pages.h"
#include "web/pages/Requests.h"

namespace quil::web::pages {

using server::PgConnection;

namespace {

std::string loginPage(const std::string& csrf, const std::string& login, const std::string& error) {
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

// The server begins the attempt (refusing a limited login or address at once); the
// Argon2id runs here without a connection; the server checks the proof. After a right
// login with a password kept at other costs than the policy's, the same password is
// re-keyed at the policy's (the login stands if that fails).
server::LoginResult verify(Site& site, const FormValues& form, const std::string& from) {
    server::LoginResult r;
    server::LoginChallenge ch;
    std::string key;
    for (int round = 0; round < 10; ++round) {
        site.loginPool.run([&](PgConnection& c) {
            ch = site.accounts(c).beginLogIn(fieldOf(form, "login"), from);
        });
        if (ch.outcome == server::LoginOutcome::LoggedIn && key.empty()) {
            // A password kept at more memory than the policy's (converted from an older
            // data set, until its driver's next login re-keys it) is verified one at a
            // time: a flood of failures against it holds one such Argon2id in memory, not
            // one per slot.
            std::unique_lock<std::mutex> large(site.largeKeyMutex, std::defer_lock);
            if (ch.memory > site.policy.hashMemory) large.lock();
            key = server::webPasswordKey(ch, fieldOf(form, "password"));
        }
        const server::LoginProof proof = server::webLoginProof(ch, key);
        bool retry = false;
        site.loginPool.run(
            [&](PgConnection& c) { r = site.accounts(c).finishLogIn(ch, proof, &retry); });
        if (!retry) break;
    }
    if (r.ok() && server::webRekeyWanted(ch, site.policy)) {
        try {
            const server::WebVerifier v =
                server::webVerifier(fieldOf(form, "password"), site.policy);
            site.loginPool.run(
                [&](PgConnection& c) { site.accounts(c).rekey(ch, r.token, key, v, from); });
        } catch (const std::exception&) {
        }
    }
    sodium_memzero(key.data(), key.size());
    return r;
}

}  // namespace

void loginForm(Site& site, const http::Request&, http::Response& res) {
    const std::string csrf = site.loginTokens.issue();
    res.set_header("Set-Cookie",
                   std::string(kLoginCookie) + "=" + csrf + "; Path=/login" + site.cookieFlags());
    sendHtml(res, 200, loginPage(csrf, {}, {}));
}

void logIn(Site& site, const http::Request& req, http::Response& res) {
    const FormValues form = formOf(req);
    const std::string csrf = cookie(req, kLoginCookie);
    if (!site.loginTokens.valid(csrf) || !sameSecret(csrf, fieldOf(form, "csrf")))
        throw WebError(403);
    const std::string from = site.address(req);
    if (const std::string limited = site.limitedMessage(from); !limited.empty()) {
        sendHtml(res, 200, loginPage(csrf, fieldOf(form, "login"), limited));
        return;
    }
    const server::LoginResult r = verify(site, form, from);
    if (r.outcome == server::LoginOutcome::AddressLimited) site.rememberLimited(from, r.message);
    if (!r.ok()) {
        logRefusedLogin(from, fieldOf(form, "login"), r.outcome);
        sendHtml(res, 200, loginPage(csrf, fieldOf(form, "login"), r.message));
        return;
    }
    res.set_header("Set-Cookie",
                   std::string(kSessionCookie) + "=" + r.token + "; Path=/" + site.cookieFlags());
    res.set_header("Set-Cookie",
                   std::string(kLoginCookie) + "=; Path=/login; Max-Age=0" + site.cookieFlags());
    redirect(res, r.mustChangePassword ? "/password" : "/");
}

void logOut(Site& site, const http::Request& req, http::Response& res) {
    site.withSession(req, res, true, [&](PgConnection& c, const server::WebSession& session) {
        site.requireForm(session, formOf(req), false);
        site.accounts(c).logOut(cookie(req, kSessionCookie), site.address(req));
        res.set_header("Set-Cookie",
                       std::string(kSessionCookie) + "=; Path=/; Max-Age=0" + site.cookieFlags());
        redirect(res, "/login");
    });
}

}  // namespace quil::web::pages
