#include "server/ServerExtensions.h"

#include <charconv>

#include "ExtensionTables.h"
#include "ServerSchema.h"
#include "reports/OdometerCheck.h"
#include "store/Date.h"

namespace quil::server {
namespace {

using K = ServerError::Kind;
using alcohol::AlcoholCheck;
using alcohol::Detector;

// Connects to a data set of this program's schema, upgrading an older one when the user
// may (as ServerDataSet does), and reads every double exactly.
void openDataSet(PgConnection& c) {
    if (inspectSchema(c).is != SchemaState::Is::Current)
        upgradeSchema(c);  // raises for no data set or a newer one
    c.run("SET extra_float_digits = 3");
}

PgParam flag(bool v) { return PgParam::text(v ? "true" : "false"); }

ServerError noDetector(const PgConnection& c) {
    return {K::Conflict, c.where(), "この検知器は登録されていません。"};
}

}  // namespace

ServerCheckStore::ServerCheckStore(const std::string& conninfo,
                                   const std::shared_ptr<OwnConnections>& own)
    : conn_(conninfo), registered_(own, conn_.backendPid()) {
    openDataSet(conn_);
}

std::int64_t ServerCheckStore::add(const AlcoholCheck& check) {
    const std::int64_t id = intOf(conn_.exec(kCheckInsert, checkValues(check)).text(0, 0));
    announce(store::ExtensionPart::AlcoholChecks);
    return id;
}

void ServerCheckStore::addAll(const std::vector<AlcoholCheck>& checks) {
    inTransaction(conn_, [&] {
        for (const AlcoholCheck& c : checks) conn_.exec(kCheckInsert, checkValues(c));
    });
    if (!checks.empty()) announce(store::ExtensionPart::AlcoholChecks);
}

void ServerCheckStore::update(const AlcoholCheck& check) {
    std::vector<PgParam> values = checkValues(check);
    values.push_back(PgParam::number(check.id));
    const PgResult done = conn_.exec(
        "UPDATE quil_alcohol_check SET checked_at = $1::float8, timing = $2, driver = $3,"
        " vehicle = $4, checker = $5, method = $6, method_text = $7, detector = $8,"
        " reading = $9::float8, intoxicated = $10, instructions = $11, remarks = $12,"
        " version = version + 1 WHERE id = $13 AND NOT deleted",
        values);
    if (done.affected() != 1)
        throw ServerError(K::Conflict, conn_.where(),
                          "このアルコールチェックは削除されたため修正できません。");
    announce(store::ExtensionPart::AlcoholChecks);
}

void ServerCheckStore::markDeleted(std::int64_t id, const std::string& who, store::DateTime when) {
    const PgResult done = conn_.exec(
        "UPDATE quil_alcohol_check SET deleted = true, deleted_by = $1, deleted_at = $2::float8,"
        " version = version + 1 WHERE id = $3 AND NOT deleted",
        {PgParam::text(who), PgParam::float8(when), PgParam::number(id)});
    if (done.affected() != 1)
        throw ServerError(K::Conflict, conn_.where(),
                          "このアルコールチェックはすでに削除されています。");
    announce(store::ExtensionPart::AlcoholChecks);
}

std::optional<AlcoholCheck> ServerCheckStore::find(std::int64_t id) {
    const PgResult r = conn_.exec(
        std::string("SELECT ") + kCheckColumns + " FROM quil_alcohol_check WHERE id = $1",
        {PgParam::number(id)});
    if (r.rows() == 0) return std::nullopt;
    return checkAt(r, 0);
}

std::vector<AlcoholCheck> ServerCheckStore::load(const alcohol::CheckFilter& filter) {
    std::string sql =
        std::string("SELECT ") + kCheckColumns + " FROM quil_alcohol_check WHERE true";
    std::vector<PgParam> params;
    const auto next = [&] { return "$" + std::to_string(params.size()); };
    if (filter.firstDay) {
        params.push_back(PgParam::float8(store::dateOnly(*filter.firstDay)));
        sql += " AND checked_at >= " + next() + "::float8";
    }
    if (filter.lastDay) {
        params.push_back(PgParam::float8(store::dateOnly(*filter.lastDay) + 1));
        sql += " AND checked_at < " + next() + "::float8";
    }
    if (filter.driver >= 0) {
        params.push_back(PgParam::number(filter.driver));
        sql += " AND driver = " + next();
    }
    if (filter.vehicle >= 0) {
        params.push_back(PgParam::number(filter.vehicle));
        sql += " AND vehicle = " + next();
    }
    if (!filter.withDeleted) sql += " AND NOT deleted";
    sql += " ORDER BY checked_at, id";
    const PgResult r = conn_.exec(sql, params);
    std::vector<AlcoholCheck> checks;
    checks.reserve(static_cast<std::size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i) checks.push_back(checkAt(r, i));
    return checks;
}

std::int64_t ServerCheckStore::count() {
    return intOf(conn_.exec("SELECT count(*) FROM quil_alcohol_check").text(0, 0));
}

std::vector<std::string> ServerCheckStore::checkerNames() {
    const PgResult r = conn_.exec(
        "SELECT checker FROM quil_alcohol_check WHERE checker <> ''"
        " GROUP BY checker ORDER BY max(id) DESC");
    std::vector<std::string> names;
    for (int i = 0; i < r.rows(); ++i) names.emplace_back(r.text(i, 0));
    return names;
}

std::vector<Detector> ServerCheckStore::detectors() {
    const PgResult r = conn_.exec(
        "SELECT id, name, serial, in_use_since, last_inspection, retired"
        " FROM quil_alcohol_detector ORDER BY id");
    std::vector<Detector> list;
    for (int i = 0; i < r.rows(); ++i)
        list.push_back({intOf(r.text(i, 0)), std::string(r.text(i, 1)), std::string(r.text(i, 2)),
                        realOf(r.text(i, 3)), realOf(r.text(i, 4)), r.text(i, 5) == "t"});
    return list;
}

std::int64_t ServerCheckStore::addDetector(const Detector& d) {
    const std::int64_t id = intOf(
        conn_
            .exec("INSERT INTO quil_alcohol_detector (name, serial, in_use_since,"
                  " last_inspection, retired) VALUES ($1, $2, $3::float8, $4::float8, $5)"
                  " RETURNING id",
                  {PgParam::text(d.name), PgParam::text(d.serial), PgParam::float8(d.inUseSince),
                   PgParam::float8(d.lastInspection), flag(d.retired)})
            .text(0, 0));
    announce(store::ExtensionPart::Detectors);
    return id;
}

void ServerCheckStore::updateDetector(const Detector& d) {
    const PgResult done = conn_.exec(
        "UPDATE quil_alcohol_detector SET name = $1, serial = $2, in_use_since = $3::float8,"
        " last_inspection = $4::float8, retired = $5, version = version + 1 WHERE id = $6",
        {PgParam::text(d.name), PgParam::text(d.serial), PgParam::float8(d.inUseSince),
         PgParam::float8(d.lastInspection), flag(d.retired), PgParam::number(d.id)});
    if (done.affected() != 1) throw noDetector(conn_);
    announce(store::ExtensionPart::Detectors);
}

bool ServerCheckStore::removeDetector(std::int64_t id) {
    const bool removed = inTransaction(conn_, [&] {
        // The row lock makes a second remover wait; the check below then sees its answer.
        if (conn_
                .exec("SELECT 1 FROM quil_alcohol_detector WHERE id = $1 FOR UPDATE",
                      {PgParam::number(id)})
                .rows() == 0)
            throw noDetector(conn_);
        if (conn_
                .exec("SELECT 1 FROM quil_alcohol_check WHERE detector = $1 LIMIT 1",
                      {PgParam::number(id)})
                .rows() > 0)
            return false;
        conn_.exec("DELETE FROM quil_alcohol_detector WHERE id = $1", {PgParam::number(id)});
        return true;
    });
    if (removed) announce(store::ExtensionPart::Detectors);
    return removed;
}

std::string ServerCheckStore::setting(const std::string& key, const std::string& defaultValue) {
    const PgResult r =
        conn_.exec("SELECT value FROM quil_alcohol_setting WHERE key = $1", {PgParam::text(key)});
    return r.rows() > 0 ? std::string(r.text(0, 0)) : defaultValue;
}

void ServerCheckStore::setSetting(const std::string& key, const std::string& value) {
    conn_.exec(
        "INSERT INTO quil_alcohol_setting (key, value) VALUES ($1, $2)"
        " ON CONFLICT (key) DO UPDATE SET value = excluded.value",
        {PgParam::text(key), PgParam::text(value)});
    announce(store::ExtensionPart::Detectors);  // the register's settings go with its detectors
}

namespace {
constexpr const char* kDailyLimitKey = "odometer_daily_limit_km";
}

ServerAnalysisStore::ServerAnalysisStore(const std::string& conninfo,
                                         const std::shared_ptr<OwnConnections>& own)
    : conn_(conninfo), registered_(own, conn_.backendPid()) {
    openDataSet(conn_);
}

std::vector<analysis::MaintenanceCycle> ServerAnalysisStore::loadCycles() {
    const PgResult r =
        conn_.exec("SELECT item, months, km, first_months FROM quil_analysis_cycle ORDER BY item");
    std::vector<analysis::MaintenanceCycle> out;
    for (int i = 0; i < r.rows(); ++i)
        out.push_back({static_cast<int>(intOf(r.text(i, 0))), static_cast<int>(intOf(r.text(i, 1))),
                       static_cast<int>(intOf(r.text(i, 2))),
                       static_cast<int>(intOf(r.text(i, 3)))});
    return out;
}

void ServerAnalysisStore::saveCycles(const std::vector<analysis::MaintenanceCycle>& cycles) {
    inTransaction(conn_, [&] {
        // One replacement at a time: two programs saving at once must leave one of the two
        // lists, never both merged (readers go on meanwhile).
        conn_.run("LOCK TABLE quil_analysis_cycle IN EXCLUSIVE MODE");
        conn_.run("DELETE FROM quil_analysis_cycle");
        for (const analysis::MaintenanceCycle& c : cycles) {
            if (!c.active() || c.item < 0) continue;
            conn_.exec(
                "INSERT INTO quil_analysis_cycle (item, months, km, first_months)"
                " VALUES ($1, $2, $3, $4) ON CONFLICT (item) DO UPDATE SET months = "
                "excluded.months,"
                " km = excluded.km, first_months = excluded.first_months",
                {PgParam::number(c.item), PgParam::number(c.months), PgParam::number(c.km),
                 PgParam::number(c.firstMonths)});
        }
    });
    announce(store::ExtensionPart::MaintenanceCycles);
}

double ServerAnalysisStore::dailyLimitKm() {
    const PgResult r = conn_.exec("SELECT value FROM quil_analysis_setting WHERE key = $1",
                                  {PgParam::text(kDailyLimitKey)});
    if (r.rows() == 0) return analysis::kDefaultDailyLimitKm;
    const std::string_view text = r.text(0, 0);
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    const bool ok = ec == std::errc() && end == text.data() + text.size();
    return ok && v > 0 ? v : analysis::kDefaultDailyLimitKm;
}

void ServerAnalysisStore::setDailyLimitKm(double km) {
    // Six significant digits, as QuilExt.db keeps the limit.
    char text[32];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, km, std::chars_format::general, 6);
    (void)ec;
    conn_.exec(
        "INSERT INTO quil_analysis_setting (key, value) VALUES ($1, $2)"
        " ON CONFLICT (key) DO UPDATE SET value = excluded.value",
        {PgParam::text(kDailyLimitKey), PgParam::text(std::string(text, end))});
    announce(store::ExtensionPart::MaintenanceCycles);  // the analysis settings are one part
}

std::unique_ptr<alcohol::CheckStore> openServerCheckStore(
    const std::string& conninfo, const std::shared_ptr<OwnConnections>& own) {
    return std::make_unique<ServerCheckStore>(conninfo, own);
}

std::unique_ptr<analysis::AnalysisStore> openServerAnalysisStore(
    const std::string& conninfo, const std::shared_ptr<OwnConnections>& own) {
    return std::make_unique<ServerAnalysisStore>(conninfo, own);
}

}  // namespace quil::server
