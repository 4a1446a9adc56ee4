// The alcohol check: its form, its post, and one stored check.

#include "web/Html.h"
#include "web/pages/Answers.h"
#include "web/pages/PageParts.h"
#include "web/pages/Pages.h"
#include "web/pages/Requests.h"

namespace quil::web::pages {

using server::WebRecords;
using server::WebSession;

namespace {

std::string checkPage(const WebSession& s, const server::WebFormLists& lists, const FormValues& v,
                      const FormErrors& e) {
    std::string body = formHead("アルコールチェック", s.driverName, e);
    body += "<form id=\"check-form\" method=\"post\" action=\"/check\">\n" +
            hiddenFields(s.csrfToken, fieldOf(v, "key"));
    body += radioField("区分", "timing", {{"before", "運転前"}, {"after", "運転後"}}, v, e);
    body += textField("日付", "date", v, e, "date");
    body += textField("時刻", "time", v, e, "time");
    body += selectField("車両", "vehicle", choices(lists.vehicles, "選んでください"), v, e);
    body += radioField(
        "確認方法", "method",
        {{"face", "対面"}, {"video", "ビデオ通話"}, {"phone", "電話"}, {"other", "その他"}}, v, e);
    body += textField("確認方法の内容 (その他のとき)", "method_text", v, e);
    body += textField("確認者", "checker", v, e, "text", " list=\"checkers\"");
    body += "<datalist id=\"checkers\">\n";
    for (std::size_t i = 0; i < lists.checkers.size() && i < 50; ++i)
        body += "<option value=\"" + h(lists.checkers[i]) + "\">\n";
    body += "</datalist>\n";
    Options detectors = choices(lists.detectors, "");
    detectors.insert(detectors.begin(), {"0", "なし"});
    body += selectField("アルコール検知器", "detector", detectors, v, e);
    if (lists.detectors.empty())
        body +=
            "<p class=\"hint\" id=\"no-detector\">アルコール検知器が登録されていません。"
            "検知器を使うチェックは記録できないので、事務所に登録を頼んでください。</p>\n";
    body += textField("測定値 (mg/L)", "reading", v, e, "text", " inputmode=\"decimal\"");
    body += radioField("酒気帯び", "intoxicated", {{"no", "無"}, {"yes", "有"}}, v, e);
    body += textField("指示事項", "instructions", v, e);
    body += textField("備考", "remarks", v, e);
    return page("アルコールチェック", body + formEnd());
}

// A stored check as its page shows it, after `notice` when one is given.
std::string checkRecordPage(const WebSession& session, const server::WebFormLists& lists,
                            const alcohol::AlcoholCheck& k, const std::string& notice) {
    std::string body = item("日時", dateText(k.when) + " " + store::formatTime(k.when));
    body += item("区分", alcohol::timingName(k.timing));
    body += item("運転者", session.driverName);
    body += item("車両", nameOf(lists.vehicles, k.vehicle, "-"));
    body += item("確認方法", alcohol::methodLabel(k));
    body += item("確認者", k.checker);
    body += item("アルコール検知器",
                 k.detector == 0 ? std::string("なし") : nameOf(lists.detectors, k.detector, "-"));
    body += item("測定値", k.reading ? number(*k.reading, 3) + " mg/L" : "-");
    body += item("酒気帯び", k.intoxicated ? "有" : "無");
    body += item("指示事項", k.instructions);
    body += item("備考", k.remarks);
    return recordPage("アルコールチェック", notice, body);
}

}  // namespace

void checkForm(Site& site, const http::Request& req, http::Response& res) {
    site.driverPage(req, res, [&](const WebSession& session, WebRecords& records) {
        const server::WebFormLists lists = records.formLists();
        FormValues v{
            {"key", randomHex(16)}, {"timing", "before"}, {"date", isoDate(store::today())},
            {"time", nowTime()},    {"method", "face"},   {"intoxicated", "no"},
            {"detector", "0"}};
        if (lists.detectors.size() == 1) v["detector"] = std::to_string(lists.detectors.front().id);
        if (lists.vehicles.size() == 1) v["vehicle"] = std::to_string(lists.vehicles[0].id);
        sendHtml(res, 200, checkPage(session, lists, v, {}));
    });
}

void postCheck(Site& site, const http::Request& req, http::Response& res) {
    site.driverPost(
        req, res, [&](const WebSession& session, WebRecords& records, const FormValues& form) {
            const CheckForm read =
                readCheckForm(form, session.driver, records.choices(), store::now());
            if (!read.check) {
                sendHtml(res, 422, checkPage(session, records.formLists(), form, read.errors));
                return;
            }
            bool before = false;
            const std::int64_t id = records.addCheck(*read.check, fieldOf(form, "key"), &before);
            std::optional<alcohol::AlcoholCheck> stored;
            if (before) stored = records.check(id);
            if (stored) stored->id = 0;
            const bool differs = stored && !(*stored == *read.check);
            site.answerSaved(
                res, "check", id, differs,
                differs ? checkRecordPage(session, records.choices(), *stored, kAlreadyRecorded)
                        : std::string());
        });
}

void checkRecord(Site& site, const http::Request& req, http::Response& res) {
    site.driverPage(req, res, [&](const WebSession& session, WebRecords& records) {
        const auto k = records.check(std::stoll(req.matches[1].str()));
        if (!k) throw WebError(404);
        sendHtml(res, 200, checkRecordPage(session, records.choices(), *k, {}));
    });
}

}  // namespace quil::web::pages
