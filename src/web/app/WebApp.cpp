#include "web/app/WebApp.h"

#include <atomic>
#include <fstream>
#include <sstream>

#include "web/Html.h"
#include "web/HttpServer.h"
#include "web/TimeZone.h"
#include "web/pages/Answers.h"
#include "web/pages/Pages.h"
#include "web/pages/Site.h"

namespace quil::web {

using http::Request;
using http::Response;

struct WebApp::Impl {
    Site site;
    std::unique_ptr<http::Server> http;
    int boundPort = 0;
    std::atomic<bool> stopping{false};

    Impl(const WebConfig& c, server::WebPolicy p) : site(c, p) {}

    // A page's handler, its refusals and failures answered by answerFailure.
    http::Handler on(pages::Handler handler) {
        return [this, handler](const Request& req, Response& res) {
            try {
                handler(site, req, res);
            } catch (...) {
                answerFailure(req, res, std::current_exception());
            }
        };
    }

    void headersAndLimits();
    void routes();
};

void WebApp::Impl::headersAndLimits() {
    http::Headers headers{
        {"Content-Security-Policy",
         "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
         "frame-ancestors 'none'; base-uri 'none'"},
        {"X-Frame-Options", "DENY"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
    };
    // Served over HTTPS itself: browsers keep to HTTPS (behind a proxy, the proxy says so).
    if (site.config.https()) headers.emplace("Strict-Transport-Security", "max-age=31536000");
    http->set_default_headers(headers);
    http->set_pre_routing_handler([this](const Request& req, Response& res) {
        if (site.allowed(req)) return false;
        answerStatus(res, 429);
        return true;
    });
    // Status pages for what no handler answered (404, 413, 431, ...): never the library's
    // own text, never an exception's.
    http->set_error_handler([](const Request&, Response& res) {
        if (res.body.empty()) sendHtml(res, res.status, statusPage(res.status));
    });
    http->set_exception_handler([](const Request& req, Response& res, std::exception_ptr ep) {
        answerFailure(req, res, ep);
    });
}

void WebApp::Impl::routes() {
    http::Server& s = *http;
    s.Get("/style.css", [](const Request&, Response& res) {
        res.set_header("Cache-Control", "max-age=3600");
        res.set_content(styleSheet(), "text/css; charset=utf-8");
    });
    s.Get("/login", on(pages::loginForm));
    // On the slow workers: a password verification takes a fraction of a second, a change
    // two of them.
    s.SlowPost("/login", on(pages::logIn));
    s.Post("/logout", on(pages::logOut));
    s.Get("/", on(pages::menu));
    s.Get("/check", on(pages::checkForm));
    s.Post("/check", on(pages::postCheck));
    s.Get("/drive", on(pages::driveForm));
    s.Post("/drive", on(pages::postDrive));
    s.Get("/records", on(pages::records));
    s.Get(R"(/check/(\d{1,18}))", on(pages::checkRecord));
    s.Get(R"(/drive/(\d{1,18}))", on(pages::driveRecord));
    s.Get("/password", on(pages::passwordForm));
    s.SlowPost("/password", on(pages::changePassword));
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
    limits.slowWorkers = d_->site.loginSlots;
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
    d_->headersAndLimits();
    d_->routes();
}

WebApp::~WebApp() = default;

void WebApp::bind() {
    const WebConfig& c = d_->site.config;
    d_->boundPort = d_->http->bind(c.listen, c.port);
    if (d_->boundPort <= 0)
        throw ConfigError(c.listen + ":" + std::to_string(c.port) +
                          " で待ち受けられません (ほかのプログラムが使っているか、"
                          "権限がありません)。");
}

std::string WebApp::probeDatabase() {
    try {
        d_->site.pool.run([](server::PgConnection& c) { c.exec("SELECT 1"); });
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
