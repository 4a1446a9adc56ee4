#pragma once
// The drivers' web page: the HTTP(S) server, its pages and their rules (sessions, CSRF
// tokens, save keys, limits, security headers, error pages). Requests run on a pool of
// worker threads, each with a database connection of the pool while it works.

#include <memory>
#include <string>

#include "server/WebAccounts.h"
#include "web/WebConfig.h"

namespace quil::web {

class WebApp {
public:
    // `policy` is the accounts' limits and hash costs; its idle timeout is the config's.
    explicit WebApp(const WebConfig& config, server::WebPolicy policy = {});
    ~WebApp();
    WebApp(const WebApp&) = delete;
    WebApp& operator=(const WebApp&) = delete;

    // Binds the configured address and port (port 0: a free one); raises ConfigError when
    // it cannot, or when HTTPS's certificate and key are unusable.
    void bind();
    // Connects once to see that the data set can be reached: the reason in Japanese when
    // it cannot (the pages then answer 503 until it can), empty when it can.
    std::string probeDatabase();
    // The port bound.
    int port() const;
    // Serves until stop() (from another thread or a signal's watcher); at once returns
    // when stop() came first.
    void run();
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace quil::web
