#pragma once
// How the drivers' page answers: an HTML page, a redirection, and the one place where a
// failure becomes an HTTP answer (its status and a Japanese page saying what happened).

#include <exception>
#include <stdexcept>
#include <string>

#include "web/HttpServer.h"

namespace quil::web {

// A request refused with a status page: 400 (a form the page did not make), 403 (a form
// of another session or an old page), 404 (no such page or record), 429 (too many
// requests). Thrown by a page's steps and answered by answerFailure, never logged.
class WebError : public std::runtime_error {
public:
    explicit WebError(int status);
    int status() const { return status_; }

private:
    int status_;
};

void sendHtml(http::Response& res, int status, const std::string& html);
void redirect(http::Response& res, const std::string& to);

// The status page of `status` (400, 403, 404, 413, 429, 503; any other: the 500 page).
std::string statusPage(int status);
// Answers `status` with its page; 429 also closes the connection, so that a client that
// floods has to open a new one.
void answerStatus(http::Response& res, int status);

// The answer to whatever a page let out: a WebError's status page; a database that cannot
// be reached, 503; anything else, 500. The detail of a failure goes to standard error,
// never to the page.
void answerFailure(const http::Request& req, http::Response& res, std::exception_ptr failure);

}  // namespace quil::web
