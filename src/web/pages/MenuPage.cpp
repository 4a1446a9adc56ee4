// The menu: the driver's name, the ways to his pages, and the logout.

#include "web/Html.h"
#include "web/pages/Answers.h"
#include "web/pages/PageParts.h"
#include "web/pages/Pages.h"

namespace quil::web::pages {

void menu(Site& site, const http::Request& req, http::Response& res) {
    site.withSession(req, res, false, [&](server::PgConnection&, const server::WebSession& s) {
        const std::string body = "<h1>" + h(s.driverName) +
                                 " さん</h1>\n<nav>\n"
                                 "<a id=\"go-check\" href=\"/check\">アルコールチェックを記録</a>\n"
                                 "<a id=\"go-drive\" href=\"/drive\">運転を記録</a>\n"
                                 "<a id=\"go-list\" href=\"/records\">自分の記録 (30日)</a>\n"
                                 "<a id=\"go-password\" href=\"/password\">パスワードの変更</a>\n"
                                 "</nav>\n"
                                 "<form id=\"logout-form\" method=\"post\" action=\"/logout\">\n" +
                                 hiddenFields(s.csrfToken, {}) +
                                 "<button type=\"submit\" id=\"logout\" class=\"secondary\">"
                                 "ログアウト</button>\n</form>\n";
        sendHtml(res, 200, page("メニュー", body));
    });
}

}  // namespace quil::web::pages
