#pragma once
// What a request brought, read the same way by every page: cookies, form fields, and the
// checks of the secrets it carries.

#include <cstddef>
#include <string>

#include "web/HttpServer.h"
#include "web/WebForms.h"

namespace quil::web {

// The cookie `name` of the request's Cookie header, or an empty string.
std::string cookie(const http::Request& req, const std::string& name);
// The query's and the form body's fields, the first of each name kept.
FormValues formOf(const http::Request& req);
// A field of `form`, or an empty string.
std::string fieldOf(const FormValues& form, const std::string& name);

// Whether `s` is `length` lower-case hex digits (a session token, a form key).
bool isHex(const std::string& s, std::size_t length);
// `a` equals `b` and is not empty, compared in constant time.
bool sameSecret(const std::string& a, const std::string& b);
// `bytes` random bytes in lower-case hex.
std::string randomHex(std::size_t bytes);

}  // namespace quil::web
