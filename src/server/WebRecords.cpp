#include "server/WebRecords.h"

#include <algorithm>

#include "ExtensionTables.h"
#include "ServerDataSet.h"
#include "reports/RegisterNames.h"

namespace quil::server {
namespace {

using K = ServerError::Kind;

// A form's save key: letters and digits, as the page makes them (32 hex digits).
void checkFormKey(const PgConnection& c, const std::string& key) {
    const bool plain = std::all_of(key.begin(), key.end(), [](char ch) {
        return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
    });
    if (key.size() < 16 || key.size() > 48 || !plain)
        throw ServerError(K::Refused, c.where(), "フォームの保存キーが正しくありません。");
}

}  // namespace

WebRecords::WebRecords(PgConnection& c, std::string token, WebSession who, std::string address)
    : c_(c), token_(std::move(token)), who_(std::move(who)), address_(std::move(address)) {}

std::string WebRecords::sessionHash() const {
    // The token's hash, not the token: a statement's values may go to the server's log.
    return sessionTokenHash(token_);
}

WebFormLists WebRecords::choices() {
    // Items and detectors belong to no driver: read without the session's token.
    WebFormLists lists;
    const PgResult items = c_.exec("SELECT o_position, o_raw FROM quil_web_items()", {}, true);
    std::vector<store::ItemRecord> byPosition;
    for (int i = 0; i < items.rows(); ++i) {
        const auto position = static_cast<std::size_t>(items.int64(i, 0));
        if (byPosition.size() <= position) byPosition.resize(position + 1);
        byPosition[position] = itemOf(items.bytes(i, 1), c_.where());
    }
    if (!byPosition.empty()) lists.stamp = byPosition.front().stamp();
    const alcohol::RegisterNames names = alcohol::RegisterNames::fromItems(byPosition);
    for (const alcohol::PickEntry& v : names.vehicles())
        lists.vehicles.push_back({v.position, v.label});
    for (std::size_t p = 0; p < byPosition.size(); ++p) {
        const store::ItemRecord& item = byPosition[p];
        if (!item.deleted() && item.kind() == static_cast<std::int16_t>(store::ItemKind::Purpose))
            lists.purposes.push_back({static_cast<std::int64_t>(p), item.name()});
    }
    const PgResult detectors = c_.exec("SELECT o_id, o_name, o_serial FROM quil_web_detectors()");
    for (int i = 0; i < detectors.rows(); ++i) {
        alcohol::Detector d;
        d.id = intOf(detectors.text(i, 0));
        d.name = detectors.text(i, 1);
        d.serial = detectors.text(i, 2);
        lists.detectors.push_back({d.id, alcohol::detectorLabel(d)});
    }
    return lists;
}

WebFormLists WebRecords::formLists() {
    WebFormLists lists = choices();
    // The server gives only the driver's own checks' checkers.
    const PgResult checkers = c_.exec("SELECT o_checker FROM quil_web_checkers(decode($1, 'hex'))",
                                      {PgParam::text(sessionHash())});
    for (int i = 0; i < checkers.rows(); ++i) lists.checkers.emplace_back(checkers.text(i, 0));
    return lists;
}

std::int64_t WebRecords::storeOnce(const std::string& call, const std::string& saveKey,
                                   std::vector<PgParam> params, bool* postedBefore) {
    checkFormKey(c_, saveKey);
    // The function stores the row, its form key and the log line in the driver's name; a
    // key stored before stores nothing and gives the row stored then.
    params.insert(params.begin(),
                  {PgParam::text(sessionHash()), PgParam::text(address_), PgParam::text(saveKey)});
    const PgResult r = c_.exec("SELECT o_id, o_fresh FROM " + call, params);
    if (postedBefore) *postedBefore = r.text(0, 1) != "t";
    return r.integer(0, 0);
}

std::int64_t WebRecords::addCheck(const alcohol::AlcoholCheck& check, const std::string& saveKey,
                                  bool* postedBefore) {
    // The driver is not compared here: the server refuses a check of another.
    return storeOnce(
        "quil_web_add_check(decode($1, 'hex'), $2, $3, $4::float8, $5::integer, $6::integer, "
        "$7::integer, $8, $9::integer, $10, $11::bigint, $12::float8, $13::boolean, $14, $15)",
        saveKey, checkValues(check), postedBefore);
}

std::int64_t WebRecords::addDrive(const store::DataRecord& drive, const std::string& saveKey,
                                  bool* postedBefore) {
    // Only a live driving record of the session's driver: the server compares its bytes
    // and stores it as such, so its kind and deleted mark are not sent.
    return storeOnce(
        "quil_web_add_drive(decode($1, 'hex'), $2, $3, $4, $5::float8, $6::integer, "
        "$7::integer)",
        saveKey, recordPlaceParams(drive), postedBefore);
}

std::vector<alcohol::AlcoholCheck> WebRecords::checksSince(store::DateTime from) {
    const PgResult r = c_.exec(std::string("SELECT ") + kCheckColumns +
                                   " FROM quil_web_checks(decode($1, 'hex'), $2::float8, NULL)",
                               {PgParam::text(sessionHash()), PgParam::float8(from)});
    std::vector<alcohol::AlcoholCheck> out;
    for (int i = 0; i < r.rows(); ++i) out.push_back(checkAt(r, i));
    return out;
}

std::vector<WebDrive> WebRecords::drivesSince(store::DateTime from) {
    const PgResult r =
        c_.exec("SELECT o_id, o_raw FROM quil_web_drives(decode($1, 'hex'), $2::float8, NULL)",
                {PgParam::text(sessionHash()), PgParam::float8(from)}, true);
    std::vector<WebDrive> out;
    for (int i = 0; i < r.rows(); ++i)
        out.push_back({r.int64(i, 0), recordOf(r.bytes(i, 1), c_.where())});
    return out;
}

std::optional<alcohol::AlcoholCheck> WebRecords::check(std::int64_t id) {
    const PgResult r = c_.exec(std::string("SELECT ") + kCheckColumns +
                                   " FROM quil_web_checks(decode($1, 'hex'), 0, $2::bigint)",
                               {PgParam::text(sessionHash()), PgParam::number(id)});
    if (r.rows() == 0) return std::nullopt;
    return checkAt(r, 0);
}

std::optional<WebDrive> WebRecords::drive(std::int64_t id) {
    const PgResult r =
        c_.exec("SELECT o_id, o_raw FROM quil_web_drives(decode($1, 'hex'), 0, $2::bigint)",
                {PgParam::text(sessionHash()), PgParam::number(id)}, true);
    if (r.rows() == 0) return std::nullopt;
    return WebDrive{r.int64(0, 0), recordOf(r.bytes(0, 1), c_.where())};
}

std::optional<store::DateTime> WebRecords::licenceExpiry() {
    const PgResult r = c_.exec("SELECT o_expiry FROM quil_web_licence_expiry(decode($1, 'hex'))",
                               {PgParam::text(sessionHash())});
    if (r.rows() == 0) return std::nullopt;
    return realOf(r.text(0, 0));
}

std::vector<papers::VehiclePaper> WebRecords::vehiclePapers(int vehicle) {
    const PgResult r = c_.exec(
        "SELECT o_kind, o_title, o_expiry FROM quil_web_vehicle_papers(decode($1, 'hex'), $2)",
        {PgParam::text(sessionHash()), PgParam::number(vehicle)});
    std::vector<papers::VehiclePaper> out;
    for (int i = 0; i < r.rows(); ++i) {
        papers::VehiclePaper p;
        p.vehicle = vehicle;
        p.kind = papers::kindOf(static_cast<int>(intOf(r.text(i, 0)))).value_or(papers::PaperKind::Other);
        p.title = std::string(r.text(i, 1));
        p.expiry = realOf(r.text(i, 2));
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace quil::server
