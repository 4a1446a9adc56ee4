#pragma once
// The pages of the drivers' service, one handler each. A handler answers its request or
// throws: a WebError for a refusal, anything else for a failure; the router turns either
// into the answer (pages/Answers.h), so a handler holds no error mapping of its own.

#include "web/HttpServer.h"
#include "web/pages/Site.h"

namespace quil::web::pages {

using Handler = void (*)(Site&, const http::Request&, http::Response&);

// LoginPage.cpp: GET /login, POST /login (on the slow workers), POST /logout.
void loginForm(Site& site, const http::Request& req, http::Response& res);
void logIn(Site& site, const http::Request& req, http::Response& res);
void logOut(Site& site, const http::Request& req, http::Response& res);

// MenuPage.cpp: GET /.
void menu(Site& site, const http::Request& req, http::Response& res);

// PasswordPage.cpp: GET /password, POST /password (on the slow workers).
void passwordForm(Site& site, const http::Request& req, http::Response& res);
void changePassword(Site& site, const http::Request& req, http::Response& res);

// CheckPages.cpp: GET /check, POST /check, GET /check/<id>.
void checkForm(Site& site, const http::Request& req, http::Response& res);
void postCheck(Site& site, const http::Request& req, http::Response& res);
void checkRecord(Site& site, const http::Request& req, http::Response& res);

// DrivePages.cpp: GET /drive, POST /drive, GET /drive/<id>.
void driveForm(Site& site, const http::Request& req, http::Response& res);
void postDrive(Site& site, const http::Request& req, http::Response& res);
void driveRecord(Site& site, const http::Request& req, http::Response& res);

// RecordsPage.cpp: GET /records, the driver's own of the last 30 days.
void records(Site& site, const http::Request& req, http::Response& res);

}  // namespace quil::web::pages
