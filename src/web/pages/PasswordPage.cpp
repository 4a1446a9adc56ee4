// The driver's own password change (the first password's too, which a new login must make).

#include "server/PgConnection.h"
#include "web/Html.h"
#include "web/pages/Answers.h"
#include "web/pages/PageParts.h"
#include "web/pages/Pages.h"
#include "web/pages/Requests.h"

namespace quil::web::pages {

namespace {

std::string passwordPage(const server::WebSession& session, const FormErrors& e) {
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
}

// The form's own refusals: a field left empty, a confirmation that differs.
FormErrors passwordFormErrors(const FormValues& form) {
    FormErrors e;
    if (fieldOf(form, "current").empty()) e["current"] = "今のパスワードを入力してください。";
    if (fieldOf(form, "password").empty())
        e["password"] = "新しいパスワードを入力してください。";
    else if (fieldOf(form, "password") != fieldOf(form, "password2"))
        e["password2"] = "確認のため、同じ新しいパスワードをもう一度入力してください。";
    return e;
}

}  // namespace

void passwordForm(Site& site, const http::Request& req, http::Response& res) {
    site.withSession(req, res, true, [&](server::PgConnection&, const server::WebSession& s) {
        sendHtml(res, 200, passwordPage(s, {}));
    });
}

void changePassword(Site& site, const http::Request& req, http::Response& res) {
    site.withSession(req, res, true, [&](server::PgConnection& c, const server::WebSession& s) {
        const FormValues form = formOf(req);
        site.requireForm(s, form, false);
        FormErrors e = passwordFormErrors(form);
        if (e.empty()) {
            try {
                site.accounts(c).changeOwnPassword(cookie(req, kSessionCookie),
                                                   fieldOf(form, "current"),
                                                   fieldOf(form, "password"), site.address(req));
            } catch (const server::ServerError& err) {
                // The accounts' refusal (a wrong current password, a new one too weak) is
                // the form's, under the field it names.
                if (err.kind() != server::ServerError::Kind::Refused) throw;
                const std::string why = err.reason();
                e[why.find("今のパスワード") != std::string::npos ? "current" : "password"] = why;
            }
        }
        if (!e.empty()) {
            sendHtml(res, 422, passwordPage(s, e));
            return;
        }
        redirect(res, "/");
    });
}

}  // namespace quil::web::pages
