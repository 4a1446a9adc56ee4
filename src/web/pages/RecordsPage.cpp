// The driver's own checks and drives of the last 30 days, each row a link to its record.

#include "web/Html.h"
#include "web/pages/Answers.h"
#include "web/pages/PageParts.h"
#include "web/pages/Pages.h"
#include "web/pages/Requests.h"

namespace quil::web::pages {

using server::WebRecords;
using server::WebSession;

namespace {

// The most rows of each table on the list page, which keeps a page within 100 KB.
constexpr std::size_t kListRows = 200;
constexpr int kListDays = 30;

// The notice only for the save this browser has just made, once: the query names it and
// the cookie the post set proves it.
std::string savedNotice(const Site& site, const http::Request& req, http::Response& res) {
    const std::string saved = req.get_param_value("saved");
    const std::string kind = saved.substr(0, saved.find('-'));
    if ((kind != "check" && kind != "drive") ||
        !sameSecret(saved, cookie(req, kSavedCookie + kind)))
        return {};
    res.set_header("Set-Cookie",
                   kSavedCookie + kind + "=; Path=/records; Max-Age=0" + site.cookieFlags());
    return "<p class=\"notice\" id=\"notice\">" +
           h(saved[0] == 'c' ? "アルコールチェックを記録しました。"
                             : "運転の記録を保存しました。") +
           "</p>\n";
}

// A table of at most kListRows rows under `head` (its heading, table tag and title row),
// every cell a link to its row's record at `path` + id. After it a word when it is empty,
// the number of rows left out when it is cut.
template <typename Row, typename Cells>
std::string linkedTable(const std::string& head, const std::vector<Row>& rows, const char* path,
                        Cells cells) {
    std::string out = head;
    for (std::size_t i = 0; i < rows.size() && i < kListRows; ++i) {
        const std::string link =
            "<a href=\"" + std::string(path) + std::to_string(rows[i].id) + "\">";
        const char* between = "<tr class=\"row\"><td>";
        for (const std::string& cell : cells(rows[i])) {
            out += between + link + cell;
            between = "</a></td><td>";
        }
        out += "</a></td></tr>\n";
    }
    out += "</table>\n";
    if (rows.empty()) out += "<p>ありません。</p>\n";
    if (rows.size() > kListRows)
        out += "<p class=\"hint\">ほか " + std::to_string(rows.size() - kListRows) +
               " 件は事務所でご覧ください。</p>\n";
    return out;
}

std::string checksTable(const std::vector<alcohol::AlcoholCheck>& checks) {
    return linkedTable(
        "<h2>アルコールチェック</h2>\n<table id=\"checks\">\n"
        "<tr><th>日時</th><th>区分</th><th>酒気帯び</th></tr>\n",
        checks, "/check/", [](const alcohol::AlcoholCheck& k) {
            return std::vector<std::string>{
                h(dateText(k.when)) + " " + h(store::formatTime(k.when)),
                h(alcohol::timingName(k.timing)),
                k.intoxicated ? "<span class=\"alert\">有</span>" : "無"};
        });
}

std::string drivesTable(const std::vector<server::WebDrive>& drives,
                        const server::WebFormLists& lists) {
    return linkedTable(
        "<h2 id=\"drives-heading\">運転</h2>\n<table id=\"drives\">\n"
        "<tr><th>日付</th><th>車両</th><th>距離</th></tr>\n",
        drives, "/drive/", [&](const server::WebDrive& d) {
            return std::vector<std::string>{
                h(dateText(d.record.date())), h(nameOf(lists.vehicles, d.record.vehicle(), "-")),
                h(kmText(km(d.record.distance2()) - km(d.record.distance1())))};
        });
}

}  // namespace

void records(Site& site, const http::Request& req, http::Response& res) {
    site.driverPage(req, res, [&](const WebSession&, WebRecords& records) {
        const server::WebFormLists lists = records.choices();
        const store::DateTime from = store::today() - kListDays;
        const auto checks = records.checksSince(from);
        const auto drives = records.drivesSince(from);
        std::string body = "<h1>自分の記録</h1>\n" + savedNotice(site, req, res);
        body += "<p class=\"hint\">" + h(dateText(from)) + " 以降の記録です。</p>\n";
        body += "<p><a id=\"to-drives\" href=\"#drives-heading\">運転の記録へ</a></p>\n";
        body += checksTable(checks) + drivesTable(drives, lists);
        sendHtml(res, 200, page("自分の記録", body + backLink()));
    });
}

}  // namespace quil::web::pages
