#include "web/pages/Site.h"

#include <algorithm>

#include "web/pages/Answers.h"
#include "web/pages/Requests.h"

namespace quil::web {

using server::PgConnection;
using server::WebSession;

Site::Site(const WebConfig& c, server::WebPolicy p)
    : config(c),
      policy(p),
      pool(c.conninfo, c.threads),
      // Two at a time: each Argon2id of a password takes 12 MiB.
      loginSlots(std::clamp(c.threads / 4, 1, 2)),
      loginPool(c.conninfo, loginSlots),
      rate_(c.requestsPerMinute),
      sessionRate_(c.requestsPerMinute) {
    policy.idleTimeout = std::chrono::minutes(config.idleMinutes);
}

std::string Site::cookieFlags() const {
    return std::string("; HttpOnly; SameSite=Strict") + (config.secureCookie ? "; Secure" : "");
}

std::string Site::address(const http::Request& req) const {
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

server::WebAccounts Site::accounts(PgConnection& c) const {
    return server::WebAccounts(c, {}, policy);
}

bool Site::allowed(const http::Request& req) {
    const std::string token = cookie(req, kSessionCookie);
    return isHex(token, 64) ? sessionRate_.allow(token) : rate_.allow(address(req));
}

std::string Site::limitedMessage(const std::string& address) {
    std::lock_guard lock(limitedMutex_);
    const auto it = limitedAddresses_.find(address);
    if (it == limitedAddresses_.end()) return {};
    if (std::chrono::steady_clock::now() < it->second.first) return it->second.second;
    limitedAddresses_.erase(it);
    return {};
}

void Site::rememberLimited(const std::string& address, const std::string& message) {
    std::lock_guard lock(limitedMutex_);
    if (limitedAddresses_.size() > 10000) limitedAddresses_.clear();  // a flood of addresses
    limitedAddresses_[address] = {std::chrono::steady_clock::now() + std::chrono::minutes(1),
                                  message};
}

std::optional<WebSession> Site::session(PgConnection& c, const http::Request& req,
                                        http::Response& res, bool passwordPage) {
    const std::string token = cookie(req, kSessionCookie);
    std::optional<WebSession> s;
    if (isHex(token, 64)) {
        s = accounts(c).checkSession(token);
        // Counted per session before: an unknown token counts against its address.
        if (!s && !rate_.allow(address(req))) throw WebError(429);
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

void Site::requireForm(const WebSession& s, const FormValues& form, bool needsKey) const {
    if (!server::csrfTokenMatches(s, fieldOf(form, "csrf"))) throw WebError(403);
    if (needsKey && !isHex(fieldOf(form, "key"), 32)) throw WebError(400);
}

void Site::withSession(const http::Request& req, http::Response& res, bool passwordPage,
                       const std::function<void(PgConnection&, const WebSession&)>& work) {
    pool.run([&](PgConnection& c) {
        const auto s = session(c, req, res, passwordPage);
        if (s) work(c, *s);
    });
}

void Site::driverPage(const http::Request& req, http::Response& res,
                      const std::function<void(const WebSession&, server::WebRecords&)>& work) {
    withSession(req, res, false, [&](PgConnection& c, const WebSession& s) {
        server::WebRecords records(c, cookie(req, kSessionCookie), s, address(req));
        work(s, records);
    });
}

void Site::driverPost(
    const http::Request& req, http::Response& res,
    const std::function<void(const WebSession&, server::WebRecords&, const FormValues&)>& work) {
    withSession(req, res, false, [&](PgConnection& c, const WebSession& s) {
        const FormValues form = formOf(req);
        requireForm(s, form, true);
        server::WebRecords records(c, cookie(req, kSessionCookie), s, address(req));
        work(s, records, form);
    });
}

void Site::answerSaved(http::Response& res, const std::string& kind, std::int64_t id, bool differs,
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

}  // namespace quil::web
