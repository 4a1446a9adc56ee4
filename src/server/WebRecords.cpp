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

template <typename F>
auto WebRecords::asDriver(F&& body) {
    return inTransaction(c_, [&] {
        // The token's hash, not the token: a statement's values may go to the server's log.
        c_.exec("SELECT set_config('quil.web_session', $1, true)",
                {PgParam::text(sessionTokenHash(token_))});
        return body();
    });
}

WebFormLists WebRecords::choices() {
    // Items and detectors belong to no driver: read without the session's token.
    WebFormLists lists;
    const PgResult items =
        c_.exec("SELECT position, raw FROM quil_items ORDER BY position", {}, true);
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
    const PgResult detectors =
        c_.exec("SELECT id, name, serial FROM quil_alcohol_detector WHERE NOT retired ORDER BY id");
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
    lists.checkers = asDriver([&] {
        // The server shows the service only the driver's own checks.
        const PgResult checkers = c_.exec(
            "SELECT checker FROM quil_alcohol_check WHERE NOT deleted AND checker <> '' "
            "GROUP BY checker ORDER BY max(checked_at) DESC LIMIT 20");
        std::vector<std::string> out;
        for (int i = 0; i < checkers.rows(); ++i) out.emplace_back(checkers.text(i, 0));
        return out;
    });
    return lists;
}

std::int64_t WebRecords::storeOnce(const std::string& insert, std::vector<PgParam> params,
                                   const std::string& key, const std::string& what,
                                   bool* postedBefore) {
    // One statement stores the row, its form key and the log line; a key stored before
    // (ON CONFLICT waits for a post of the same key still under way) stores nothing of it,
    // and the row inserted meanwhile goes with the rolled-back transaction.
    const std::size_t n = params.size();
    const auto arg = [&](std::size_t i) { return "$" + std::to_string(n + i); };
    const std::string sql =
        "WITH ins AS (" + insert +
        "), saved AS (INSERT INTO quil_saves (key, target, version) "
        "SELECT " +
        arg(1) +
        ", id, 1 FROM ins ON CONFLICT (key) DO NOTHING "
        "RETURNING key), logged AS (INSERT INTO quil_web_log "
        "(at, account, actor, address, action) SELECT now(), " +
        arg(2) + ", " + arg(3) + ", " + arg(4) + ", " + arg(5) +
        " || '（番号 ' || id || '）' FROM ins WHERE EXISTS (SELECT 1 FROM saved)) "
        "SELECT id, (SELECT count(*) FROM saved) FROM ins";
    params.push_back(PgParam::text(key));
    params.push_back(PgParam::number(who_.account));
    params.push_back(PgParam::text(who_.login));
    params.push_back(PgParam::text(address_));
    params.push_back(PgParam::text(what));
    struct PostedBefore {};
    if (postedBefore) *postedBefore = false;
    try {
        return asDriver([&] {
            const PgResult r = c_.exec(sql, params);
            if (r.integer(0, 1) == 0) throw PostedBefore{};
            return r.integer(0, 0);
        });
    } catch (const PostedBefore&) {
        // Posted before (the answer was lost, or the form was sent twice).
        if (postedBefore) *postedBefore = true;
        return c_
            .exec("SELECT coalesce(target, 0) FROM quil_saves WHERE key = $1", {PgParam::text(key)})
            .integer(0, 0);
    }
}

std::int64_t WebRecords::addCheck(const alcohol::AlcoholCheck& check, const std::string& saveKey,
                                  bool* postedBefore) {
    checkFormKey(c_, saveKey);
    // The driver is not compared here: the server's policy refuses a check of another.
    return storeOnce(kCheckInsert, checkValues(check), "web-check-" + saveKey,
                     "アルコールチェックを記録", postedBefore);
}

std::int64_t WebRecords::addDrive(const store::DataRecord& drive, const std::string& saveKey,
                                  bool* postedBefore) {
    checkFormKey(c_, saveKey);
    return storeOnce(
        "INSERT INTO quil_records (raw, date, vehicle, user_no, kind, deleted) "
        "VALUES ($1, $2::float8, $3, $4, $5, $6) RETURNING id",
        {PgParam::bytes(rawOf(drive)), PgParam::float8(drive.date()),
         PgParam::number(drive.vehicle()), PgParam::number(drive.user()),
         PgParam::number(drive.kind()), PgParam::text(drive.deleted() ? "true" : "false")},
        "web-drive-" + saveKey, "走行記録を記録", postedBefore);
}

std::vector<alcohol::AlcoholCheck> WebRecords::checksSince(store::DateTime from) {
    return asDriver([&] {
        const PgResult r = c_.exec(std::string("SELECT ") + kCheckColumns +
                                       " FROM quil_alcohol_check WHERE NOT deleted AND "
                                       "checked_at >= $1::float8 ORDER BY checked_at DESC, id DESC",
                                   {PgParam::float8(from)});
        std::vector<alcohol::AlcoholCheck> out;
        for (int i = 0; i < r.rows(); ++i) out.push_back(checkAt(r, i));
        return out;
    });
}

std::vector<WebDrive> WebRecords::drivesSince(store::DateTime from) {
    return asDriver([&] {
        const PgResult r = c_.exec(
            "SELECT id, raw FROM quil_records WHERE NOT deleted AND kind = 0 AND "
            "date >= $1::float8 ORDER BY date DESC, entry DESC",
            {PgParam::float8(from)}, true);
        std::vector<WebDrive> out;
        for (int i = 0; i < r.rows(); ++i)
            out.push_back({r.int64(i, 0), recordOf(r.bytes(i, 1), c_.where())});
        return out;
    });
}

std::optional<alcohol::AlcoholCheck> WebRecords::check(std::int64_t id) {
    return asDriver([&]() -> std::optional<alcohol::AlcoholCheck> {
        const PgResult r = c_.exec(std::string("SELECT ") + kCheckColumns +
                                       " FROM quil_alcohol_check WHERE id = $1 AND NOT deleted",
                                   {PgParam::number(id)});
        if (r.rows() == 0) return std::nullopt;
        return checkAt(r, 0);
    });
}

std::optional<WebDrive> WebRecords::drive(std::int64_t id) {
    return asDriver([&]() -> std::optional<WebDrive> {
        const PgResult r =
            c_.exec("SELECT id, raw FROM quil_records WHERE id = $1 AND kind = 0 AND NOT deleted",
                    {PgParam::number(id)}, true);
        if (r.rows() == 0) return std::nullopt;
        return WebDrive{r.int64(0, 0), recordOf(r.bytes(0, 1), c_.where())};
    });
}

}  // namespace quil::server
