// The menu: the driver's name, his licence's expiry (a warning from 30 days before), the
// ways to his pages, and the logout.

#include "papers/PaperEntry.h"
#include "web/Html.h"
#include "web/pages/Answers.h"
#include "web/pages/PageParts.h"
#include "web/pages/Pages.h"

namespace quil::web::pages {

namespace {

// The expiry of the driver's current licence; from 30 days before it, a warning.
std::string licenceLine(server::WebRecords& records) {
    const std::optional<store::DateTime> expiry = records.licenceExpiry();
    if (!expiry) return {};
    const store::DateTime today = store::today();
    std::string out = "<p id=\"licence\">運転免許証の有効期限: " +
                      h(store::formatDate(*expiry)) + "</p>\n";
    const int days = papers::daysUntil(*expiry, today);
    const papers::ExpiryState state =
        papers::expiryState(*expiry, today, papers::kDefaultWithinDays);
    if (state == papers::ExpiryState::Lapsed)
        out += "<p class=\"warning\" id=\"licence-warning\">運転免許証の" +
               h(papers::lapsedWarning(*expiry)) + "</p>\n";
    else if (state == papers::ExpiryState::Lapsing)
        out += "<p class=\"warning\" id=\"licence-warning\">運転免許証の有効期限まで" +
               (days == 0 ? std::string("今日が最後です") : "あと " + std::to_string(days) + " 日です") +
               "。更新を忘れずに。</p>\n";
    return out;
}

}  // namespace

void menu(Site& site, const http::Request& req, http::Response& res) {
    site.driverPage(req, res, [&](const server::WebSession& s, server::WebRecords& records) {
        const std::string body = "<h1>" + h(s.driverName) + " さん</h1>\n" +
                                 licenceLine(records) +
                                 "<nav>\n"
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
