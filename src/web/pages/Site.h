#pragma once
// What every page of the drivers' service shares: its settings, the database connections,
// the request allowances and the login tokens, and the steps every page takes the same way
// (the client's address, the session of the cookie, a posted form's CSRF token and key).
// A refusal is thrown as a WebError; the router answers it (pages/Answers.h).

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "server/WebAccounts.h"
#include "server/WebRecords.h"
#include "web/ConnectionPool.h"
#include "web/HttpServer.h"
#include "web/RateLimit.h"
#include "web/WebConfig.h"
#include "web/WebForms.h"
#include "web/pages/LoginTokens.h"

namespace quil::web {

inline constexpr const char* kSessionCookie = "quil_session";
inline constexpr const char* kLoginCookie = "quil_login";
// The record of each kind a post has just saved ("check-12" in quil_saved_check), for the
// list's notice of that save only.
inline constexpr const char* kSavedCookie = "quil_saved_";

class Site {
public:
    // `policy` is the accounts' limits and hash costs; its idle timeout is the config's.
    Site(const WebConfig& config, server::WebPolicy policy);

    const WebConfig config;
    server::WebPolicy policy;
    ConnectionPool pool;
    // Password verifications run a few at a time, on workers and connections of their own,
    // so that a flood of logins never takes the drivers' connections or workers.
    const int loginSlots;
    ConnectionPool loginPool;
    LoginTokens loginTokens;
    // Held while a password kept at more memory than the policy's is verified.
    std::mutex largeKeyMutex;

    // The attributes of every cookie set: HttpOnly, SameSite=Strict, and Secure when set.
    std::string cookieFlags() const;
    // The client's address: the socket's peer, or behind a proxy the last entry of
    // X-Forwarded-For (the one the proxy wrote; earlier ones come from the client).
    std::string address(const http::Request& req) const;
    server::WebAccounts accounts(server::PgConnection& c) const;

    // Whether the request is within its allowance, counted per session for a token of the
    // session's form and per address otherwise (drivers behind one office address each
    // have their own). Runs before the body is read.
    bool allowed(const http::Request& req);

    // Addresses the accounts refused as over their failed logins are refused at once,
    // without the database or a hash, for a minute: the accounts' message, or empty.
    std::string limitedMessage(const std::string& address);
    void rememberLimited(const std::string& address, const std::string& message);

    // The session of the request's cookie, or nullopt after sending the way to the login.
    // A session that must change its first password is sent there, except on
    // `passwordPage`. An unknown token past its address's allowance: WebError 429.
    std::optional<server::WebSession> session(server::PgConnection& c, const http::Request& req,
                                              http::Response& res, bool passwordPage = false);
    // A posted form's CSRF token (WebError 403) and, when `needsKey`, its save key (400).
    void requireForm(const server::WebSession& s, const FormValues& form, bool needsKey) const;

    // `work` with a connection and the request's session; without a session the request
    // goes to the login.
    void withSession(
        const http::Request& req, http::Response& res, bool passwordPage,
        const std::function<void(server::PgConnection&, const server::WebSession&)>& work);
    // A page of a logged-in driver: `work` gets his session and his records.
    void driverPage(
        const http::Request& req, http::Response& res,
        const std::function<void(const server::WebSession&, server::WebRecords&)>& work);
    // A driver's posted form, its CSRF token and save key checked first.
    void driverPost(const http::Request& req, http::Response& res,
                    const std::function<void(const server::WebSession&, server::WebRecords&,
                                             const FormValues&)>& work);

    // After a post: the list with the notice of this save, or, when the form's key was
    // stored before with other content (`differs`), what was stored then (a corrected
    // re-send is not stored, and the driver must not be told it was).
    void answerSaved(http::Response& res, const std::string& kind, std::int64_t id, bool differs,
                     const std::string& storedPage) const;

private:
    RateLimit rate_;
    RateLimit sessionRate_;
    std::mutex limitedMutex_;
    std::unordered_map<std::string, std::pair<std::chrono::steady_clock::time_point, std::string>>
        limitedAddresses_;
};

}  // namespace quil::web
