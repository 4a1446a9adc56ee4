// A drive: its form, its post, and one stored drive. A vehicle whose 車検 or 自賠責 has
// lapsed is named in a warning first; the drive is stored when the driver sends it again.

#include "papers/PaperEntry.h"
#include "web/Html.h"
#include "web/pages/Answers.h"
#include "web/pages/PageParts.h"
#include "web/pages/Pages.h"
#include "web/pages/Requests.h"

namespace quil::web::pages {

using server::WebRecords;
using server::WebSession;

namespace {

// The form field that says the driver saw the warning of the vehicle it names.
constexpr const char* kWarnedVehicle = "warned_vehicle";

std::string drivePage(const WebSession& s, const server::WebFormLists& lists, const FormValues& v,
                      const FormErrors& e, const std::string& warning = {}) {
    std::string body = formHead("運転の記録", s.driverName, e);
    if (!warning.empty())
        body += "<p class=\"warning\" id=\"vehicle-warning\">" + h(warning) +
                " このまま記録するときは、もう一度「記録する」を押してください。</p>\n";
    body += "<form id=\"drive-form\" method=\"post\" action=\"/drive\">\n" +
            hiddenFields(s.csrfToken, fieldOf(v, "key"));
    if (!warning.empty())
        body += "<input type=\"hidden\" name=\"" + std::string(kWarnedVehicle) + "\" value=\"" +
                h(fieldOf(v, "vehicle")) + "\">\n";
    body += textField("日付", "date", v, e, "date");
    body += textField("出庫時刻", "start", v, e, "time");
    body += textField("帰庫時刻", "end", v, e, "time");
    body += selectField("車両", "vehicle", choices(lists.vehicles, "選んでください"), v, e);
    body +=
        textField("出庫時の距離計 (km)", "odometer_start", v, e, "text", " inputmode=\"decimal\"");
    body +=
        textField("入庫時の距離計 (km)", "odometer_end", v, e, "text", " inputmode=\"decimal\"");
    Options purposes = choices(lists.purposes, "選んでください");
    purposes.emplace_back("-1", store::kOtherName);
    body += selectField("目的", "purpose", purposes, v, e);
    body += textField("行き先", "destination", v, e);
    body += textField("備考", "remarks", v, e);
    return page("運転の記録", body + formEnd());
}

// A stored drive as its page shows it, after `notice` when one is given.
std::string driveRecordPage(const WebSession& session, const server::WebFormLists& lists,
                            const store::DataRecord& r, const std::string& notice) {
    std::string body = item("日付", dateText(r.date()));
    body += item("出庫時刻", store::formatTime(r.date()));
    body += item("帰庫時刻", store::formatTime(r.returnTime()));
    body += item("運転者", session.driverName);
    body += item("車両", nameOf(lists.vehicles, r.vehicle(), "-"));
    body += item("出庫時の距離計", kmText(r.distance1()));
    body += item("入庫時の距離計", kmText(r.distance2()));
    body += item("走行距離", kmText(km(r.distance2()) - km(r.distance1())));
    body += item("目的", r.item() < 0 ? std::string(store::kOtherName)
                                      : nameOf(lists.purposes, r.item(), "-"));
    body += item("行き先", r.destination());
    body += item("備考", r.remarks());
    return recordPage("運転の記録", notice, body);
}

}  // namespace

void driveForm(Site& site, const http::Request& req, http::Response& res) {
    site.driverPage(req, res, [&](const WebSession& session, WebRecords& records) {
        const server::WebFormLists lists = records.choices();
        FormValues v{{"key", randomHex(16)}, {"date", isoDate(store::today())}};
        if (lists.vehicles.size() == 1) v["vehicle"] = std::to_string(lists.vehicles[0].id);
        sendHtml(res, 200, drivePage(session, lists, v, {}));
    });
}

void postDrive(Site& site, const http::Request& req, http::Response& res) {
    site.driverPost(
        req, res, [&](const WebSession& session, WebRecords& records, const FormValues& form) {
            const server::WebFormLists lists = records.choices();
            const DriveForm read =
                readDriveForm(form, session.driver, lists, store::now(), lists.stamp);
            if (!read.drive) {
                sendHtml(res, 422, drivePage(session, lists, form, read.errors));
                return;
            }
            // A record is a fact and is stored, but not before the driver has seen what
            // lapsed of the vehicle he chose.
            const int vehicle = read.drive->vehicle();
            if (fieldOf(form, kWarnedVehicle) != std::to_string(vehicle)) {
                const std::string warning =
                    papers::vehicleLapsed(records.vehiclePapers(vehicle), vehicle, store::today());
                if (!warning.empty()) {
                    sendHtml(res, 200, drivePage(session, lists, form, {}, warning));
                    return;
                }
            }
            bool before = false;
            const std::int64_t id = records.addDrive(*read.drive, fieldOf(form, "key"), &before);
            const auto stored = before ? records.drive(id) : std::nullopt;
            const bool differs = stored && !(stored->record == *read.drive);
            site.answerSaved(res, "drive", id, differs,
                             differs
                                 ? driveRecordPage(session, lists, stored->record, kAlreadyRecorded)
                                 : std::string());
        });
}

void driveRecord(Site& site, const http::Request& req, http::Response& res) {
    site.driverPage(req, res, [&](const WebSession& session, WebRecords& records) {
        const auto d = records.drive(std::stoll(req.matches[1].str()));
        if (!d) throw WebError(404);
        sendHtml(res, 200, driveRecordPage(session, records.choices(), d->record, {}));
    });
}

}  // namespace quil::web::pages
