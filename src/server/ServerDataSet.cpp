#include "ServerDataSet.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <sstream>
#include <thread>
#include <tuple>

#include "CopyFormat.h"
#include "store/Date.h"

namespace quil::server {
namespace {

using K = ServerError::Kind;

std::vector<PgParam> itemParams(const store::ItemRecord& item) {
    return {PgParam::bytes(rawOf(item)), PgParam::number(item.kind()),
            PgParam::text(item.deleted() ? "true" : "false"), PgParam::text(item.name())};
}

// An array parameter in PostgreSQL's text form: "{1,2,3}".
template <typename T>
std::string intArray(const std::vector<T>& values) {
    std::string out = "{";
    for (T v : values) out += (out.size() > 1 ? "," : "") + std::to_string(v);
    return out + "}";
}

// Runs the UPDATE `sql` of one row, its last two parameters the row's key and the version
// it was read at, appended to `params`; returns the row's new version. Another save since
// the row was read (no row updated) is refused with `changedMessage`.
std::int64_t rewriteRead(PgConnection& conn, const std::string& sql, std::vector<PgParam> params,
                         std::int64_t key, std::int64_t version, const char* changedMessage) {
    params.push_back(PgParam::number(key));
    params.push_back(PgParam::number(version));
    const PgResult r = conn.exec(sql, params);
    if (r.rows() == 0) throw ServerError(K::Conflict, conn.where(), changedMessage);
    return r.integer(0, 0);
}

void checkSaveKey(const std::string& key) {
    if (key.size() < 16 || key.size() > 64)
        throw ServerError(K::Other, "サーバー", "保存の鍵が正しくありません。");
}

// A record's odometer reading when it counts as one, else 0 (quil_reading, as the folder's
// odometerReading(r) > 0 takes it), written as the index quil_records_readings writes it
// (the planner uses the index only for the same expression); `row` names the row ("e.") or
// is empty.
std::string readingOf(const std::string& row) {
    return "quil_reading(" + row + "kind, " + row + "distance1, " + row + "distance2)";
}

}  // namespace

std::string_view rawOf(const store::DataRecord& r) {
    return {reinterpret_cast<const char*>(r.bytes().data()), store::DataRecord::Size};
}
std::string_view rawOf(const store::ItemRecord& r) {
    return {reinterpret_cast<const char*>(r.bytes().data()), store::ItemRecord::Size};
}

std::vector<PgParam> recordPlaceParams(const store::DataRecord& r) {
    return {PgParam::bytes(rawOf(r)), PgParam::float8(r.date()), PgParam::number(r.vehicle()),
            PgParam::number(r.user())};
}
std::vector<PgParam> recordParams(const store::DataRecord& r) {
    std::vector<PgParam> params = recordPlaceParams(r);
    params.push_back(PgParam::number(r.kind()));
    params.push_back(PgParam::text(r.deleted() ? "true" : "false"));
    return params;
}

store::DataRecord recordOf(std::string_view raw, const std::string& where) {
    if (raw.size() != store::DataRecord::Size)
        throw ServerError(K::Other, where, "サーバーの記録が壊れています（長さが違います）。");
    return store::DataRecord(reinterpret_cast<const std::uint8_t*>(raw.data()));
}
store::ItemRecord itemOf(std::string_view raw, const std::string& where) {
    if (raw.size() != store::ItemRecord::Size)
        throw ServerError(K::Other, where, "サーバーの項目が壊れています（長さが違います）。");
    return store::ItemRecord(reinterpret_cast<const std::uint8_t*>(raw.data()));
}

ServerDataSet::ServerDataSet(const std::string& conninfo) : conn_(conninfo) {
    const SchemaState s = inspectSchema(conn_);
    switch (s.is) {
        case SchemaState::Is::Current: break;
        case SchemaState::Is::Older: upgradeSchema(conn_); break;
        case SchemaState::Is::Newer:
        case SchemaState::Is::Empty:
        case SchemaState::Is::Foreign:
            upgradeSchema(conn_);  // raises the message for each of these
            break;
    }
    // The answers of saves older than a month can no longer be asked for again.
    if (writable()) conn_.run("DELETE FROM quil_saves WHERE saved_at < now() - interval '30 days'");
}

template <typename F>
auto ServerDataSet::retrying(F&& f) -> decltype(f()) {
    // A connection that broke (the server restarted, the network dropped) is made again a
    // few times before giving up; every change is keyed, so doing it again is safe.
    constexpr int kWaitsMs[] = {100, 200, 400, 800, 1500};
    for (int attempt = 0;; ++attempt) {
        try {
            return f();
        } catch (const ServerError& e) {
            if (e.kind() != K::Connection || failFast_ || attempt >= int(std::size(kWaitsMs)))
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(kWaitsMs[attempt]));
            if (conn_.reconnect() && listening_) conn_.run("LISTEN quil_changes");
        }
    }
}

bool ServerDataSet::writable() {
    return retrying([&] {
        return conn_
                   .exec(
                       "SELECT has_table_privilege('quil_records', 'UPDATE') AND "
                       "has_table_privilege('quil_items', 'UPDATE')")
                   .text(0, 0) == "t";
    });
}

std::string ServerDataSet::roleTitle() {
    return retrying([&] {
        const PgResult r = conn_.exec(
            "SELECT pg_has_role(quil_group('admin'), 'MEMBER') OR "
            "       (SELECT relowner = (SELECT oid FROM pg_roles WHERE rolname = current_user) "
            "        FROM pg_class WHERE oid = 'quil_records'::regclass), "
            "       pg_has_role(quil_group('clerk'), 'MEMBER'), "
            "       pg_has_role(quil_group('viewer'), 'MEMBER')");
        if (r.text(0, 0) == "t") return std::string("管理者");
        if (r.text(0, 1) == "t") return std::string("事務");
        if (r.text(0, 2) == "t") return std::string("閲覧");
        return std::string();
    });
}

std::int64_t ServerDataSet::recordCount(bool withDeleted) {
    return retrying([&] {
        return conn_
            .exec(withDeleted ? "SELECT count(*) FROM quil_records"
                              : "SELECT count(*) FROM quil_records WHERE NOT deleted")
            .integer(0, 0);
    });
}

void ServerDataSet::scanRecords(const std::function<void(const RecordRow&)>& f, bool withDeleted) {
    // Keyset pages over the order's index: each page starts after the last row of the one
    // before, so that a page costs the same at the end of a million rows as at the start.
    constexpr int kPage = 10000;
    std::vector<PgParam> after;
    for (;;) {
        const std::string sql =
            std::string(
                "SELECT id, version, raw, date, vehicle, user_no, entry "
                "FROM quil_records WHERE ") +
            (withDeleted ? "true" : "NOT deleted") +
            (after.empty() ? ""
                           : " AND (date, vehicle, user_no, entry) > ($1::float8, $2::int2, "
                             "$3::int2, $4::int8)") +
            " ORDER BY date, vehicle, user_no, entry LIMIT " + std::to_string(kPage);
        const PgResult r = retrying([&] { return conn_.exec(sql, after, true); });
        const int n = r.rows();
        for (int i = 0; i < n; ++i)
            f(RecordRow{r.int64(i, 0), r.int64(i, 1), recordOf(r.bytes(i, 2), where())});
        if (n < kPage) break;
        after = {PgParam::float8(r.float8(n - 1, 3)), PgParam::number(r.int16(n - 1, 4)),
                 PgParam::number(r.int16(n - 1, 5)), PgParam::number(r.int64(n - 1, 6))};
    }
}

void ServerDataSet::scanDays(double firstDay, double lastDay,
                             const std::function<void(const RecordRow&)>& f) {
    // The same choice of days as listIds makes; a few months of records fit one answer.
    const PgResult r = retrying([&] {
        return conn_.exec(
            "SELECT id, version, raw FROM quil_records WHERE NOT deleted "
            "AND date > $1::float8 - 1 AND date < $2::float8 + 1 "
            "AND trunc(date) BETWEEN $1::float8 AND $2::float8 "
            "ORDER BY date, vehicle, user_no, entry",
            {PgParam::float8(firstDay), PgParam::float8(lastDay)}, true);
    });
    for (int i = 0; i < r.rows(); ++i)
        f(RecordRow{r.int64(i, 0), r.int64(i, 1), recordOf(r.bytes(i, 2), where())});
}

std::vector<store::VehicleReadings> ServerDataSet::highestReadings(std::size_t n) {
    // How many readings from the kept sums; the reading's expression is the one of the index
    // quil_records_readings.
    const std::string reading = readingOf("");
    const PgResult r = retrying([&] {
        return conn_.exec(
            "SELECT v.vehicle, v.n, t.reading FROM "
            "(SELECT vehicle, sum(readings)::int8 AS n FROM quil_record_sums GROUP BY vehicle "
            "HAVING sum(readings) > 0) v, "
            "LATERAL (SELECT " +
                reading +
                " AS reading FROM quil_records "
                "WHERE NOT deleted AND vehicle = v.vehicle AND " +
                reading + " > 0 ORDER BY " + reading +
                " DESC LIMIT $1) t ORDER BY v.vehicle, t.reading DESC",
            {PgParam::number(std::int64_t(n))}, true);
    });
    std::vector<store::VehicleReadings> out;
    for (int i = 0; i < r.rows(); ++i) {
        const std::int16_t vehicle = r.int16(i, 0);
        if (out.empty() || out.back().vehicle != vehicle) out.push_back({vehicle, {}, r.int64(i, 1)});
        out.back().highest.push_back(r.float8(i, 2));
    }
    return out;
}

namespace {

constexpr double kFirstMonthDay = -693593;  // 0001/01/01: quil_month's months run from here
constexpr double kPastLastDay = 2958466;    // 10000/01/01

// The first day of the month after the one of `day` (a day of years 1 to 9999).
double nextMonthStart(double day) {
    const store::CivilDate c = store::decodeDate(day);
    return c.month == 12 ? store::encodeDate(c.year + 1, 1, 1)
                         : store::encodeDate(c.year, c.month + 1, 1);
}

// A period's days split into the whole months the kept sums answer for (`firstMonth` to
// `lastMonth`, their first days; none when firstMonth > lastMonth) and the days at either end
// that only part of a month covers, which are added up from the records.
struct PeriodMonths {
    double firstMonth = 1, lastMonth = 0;
    std::vector<std::pair<double, double>> partDays;  // ranges of days, both ends taken
};

// Nothing for a period whose ends are no whole days of years 1 to 9999.
std::optional<PeriodMonths> splitIntoMonths(double first, double last) {
    auto usable = [](double d) {
        return d == std::floor(d) && d >= kFirstMonthDay && d < kPastLastDay;
    };
    if (!usable(first) || !usable(last) || first > last) return std::nullopt;
    PeriodMonths p;
    const store::CivilDate f = store::decodeDate(first);
    const double firstFull = f.day == 1 ? first : nextMonthStart(first);
    const store::CivilDate l = store::decodeDate(last);
    const double lastStart = store::encodeDate(l.year, l.month, 1);
    const double lastFullEnd = nextMonthStart(last) == last + 1 ? last : lastStart - 1;
    if (firstFull > lastFullEnd) {
        p.partDays.push_back({first, last});
        return p;
    }
    p.firstMonth = firstFull;
    p.lastMonth = store::encodeDate(store::decodeDate(lastFullEnd).year,
                                    store::decodeDate(lastFullEnd).month, 1);
    if (first < firstFull) p.partDays.push_back({first, firstFull - 1});
    if (lastFullEnd < last) p.partDays.push_back({lastFullEnd + 1, last});
    return p;
}

}  // namespace

std::vector<store::RecordSums> ServerDataSet::sumRecords(const store::RecordSumsQuery& q) {
    using Q = store::RecordSumsQuery;
    std::vector<store::RecordSums> out;
    if (q.kinds.empty()) return out;
    // The groups' columns; those not grouped by come back as the defaults of RecordSums.
    auto column = [&](unsigned by, const char* expr, const char* none) {
        return std::string(q.by & by ? expr : none);
    };
    std::vector<PgParam> params = {PgParam::text(intArray(q.kinds))};
    auto param = [&](PgParam p, const char* type) {
        params.push_back(std::move(p));
        return "$" + std::to_string(params.size()) + "::" + type;
    };
    std::string taken = "kind = ANY($1::int2[])";
    if (q.vehicle >= 0) taken += " AND vehicle = " + param(PgParam::number(q.vehicle), "int2");
    // The same choice of days as listIds makes.
    auto days = [&](double first, double last) {
        const std::string f = param(PgParam::float8(first), "float8");
        const std::string l = param(PgParam::float8(last), "float8");
        return "date > " + f + " - 1 AND date < " + l + " + 1 AND trunc(date) BETWEEN " + f +
               " AND " + l;
    };
    // A record as a group of its own, in the columns of quil_record_sums.
    const std::string one =
        "SELECT kind, vehicle, quil_month(date) AS month, trunc(date) AS day, user_no, item, "
        "1 AS count, distance2 - distance1 AS driven, distance2, price, tax, "
        "quil_reading(kind, distance1, distance2) AS highest, "
        "(quil_reading(kind, distance1, distance2) > 0)::int AS readings "
        "FROM quil_records WHERE NOT deleted AND " +
        taken;
    std::string from;
    const std::optional<PeriodMonths> months =
        q.by & Q::Day ? std::nullopt
        : q.period.all()
            ? std::optional<PeriodMonths>(PeriodMonths{kFirstMonthDay - 1e9, 1e300, {}})
            : splitIntoMonths(q.period.firstDay(), q.period.lastDay());
    if (months) {
        // Whole months from the kept sums, the days of part of a month from the records.
        if (months->firstMonth <= months->lastMonth) {
            from =
                "SELECT kind, vehicle, month, 0::float8 AS day, user_no, item, count, driven, "
                "distance2, price, tax, highest, readings FROM quil_record_sums WHERE " +
                taken;
            if (!q.period.all())
                from += " AND month BETWEEN " +
                        param(PgParam::float8(months->firstMonth), "float8") + " AND " +
                        param(PgParam::float8(months->lastMonth), "float8");
        }
        for (const auto& [first, last] : months->partDays)
            from += (from.empty() ? "" : " UNION ALL ") + one + " AND " + days(first, last);
        if (from.empty()) return out;
    } else {
        from = one;
        if (!q.period.all()) from += " AND " + days(q.period.firstDay(), q.period.lastDay());
    }
    const std::string day = q.by & Q::Month ? "month" : column(Q::Day, "day", "0::float8");
    const std::string sql =
        "SELECT " + column(Q::Vehicle, "vehicle", "-1::int2") + ", " +
        column(Q::User, "user_no", "-1::int2") + ", " + column(Q::Item, "item", "-1::int2") + ", " +
        column(Q::Kind, "kind", "-1::int2") + ", " + day +
        ", sum(count)::int8, sum(driven)::float8, sum(distance2)::float8, sum(price)::int8, "
        "sum(tax)::int8, coalesce(max(highest) FILTER (WHERE readings > 0), 0)::float8, "
        "sum(readings)::int8 FROM (" +
        from + ") taken GROUP BY 1, 2, 3, 4, 5";
    const PgResult r = retrying([&] { return conn_.exec(sql, params, true); });
    out.reserve(static_cast<std::size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i) {
        store::RecordSums g;
        g.vehicle = r.int16(i, 0);
        g.user = r.int16(i, 1);
        g.item = r.int16(i, 2);
        g.kind = r.int16(i, 3);
        g.day = r.float8(i, 4);
        g.count = r.int64(i, 5);
        g.driven = r.float8(i, 6);
        g.distance2 = r.float8(i, 7);
        g.price = r.int64(i, 8);
        g.tax = r.int64(i, 9);
        g.highestReading = r.float8(i, 10);
        g.readings = r.int64(i, 11);
        out.push_back(g);
    }
    return out;
}

void ServerDataSet::scanKind(store::RecordKind kind, int vehicle,
                             const std::function<void(const RecordRow&)>& f) {
    const PgResult r = retrying([&] {
        return conn_.exec(
            std::string(
                "SELECT id, version, raw FROM quil_records WHERE NOT deleted AND kind = $1 ") +
                (vehicle >= 0 ? "AND vehicle = $2 " : "AND $2 < 0 ") +
                "ORDER BY date, vehicle, user_no, entry",
            {PgParam::number(std::int16_t(kind)), PgParam::number(vehicle)}, true);
    });
    for (int i = 0; i < r.rows(); ++i)
        f(RecordRow{r.int64(i, 0), r.int64(i, 1), recordOf(r.bytes(i, 2), where())});
}

void ServerDataSet::scanRefuellings(int vehicle,
                                    const std::function<void(const store::RefuellingFacts&)>& f) {
    // From the index of refuellings alone, in its order: of each record the bytes of its date,
    // vehicle, user and two distances, and the text of its remarks (its length byte's worth,
    // at most the field). Searching the remarks here would cost the server more than sending
    // them. The record's layout is checked where it is stored (quil_records_match_raw, the
    // octet length of raw).
    const PgResult r = retrying([&] {
        return conn_.exec(std::string("SELECT substr(raw, 21, 28), substr(raw, 72, least("
                                      "get_byte(raw, 70), ") +
                              std::to_string(store::DataRecord::kRemarksBytes) +
                              ")) FROM quil_records WHERE NOT deleted AND kind = 1 " +
                              (vehicle >= 0 ? "AND vehicle = $1 " : "AND $1 < 0 ") +
                              "ORDER BY date, vehicle, user_no, entry",
                          {PgParam::number(vehicle)}, true);
    });
    auto at = [](const char* p, auto v) {
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    for (int i = 0; i < r.rows(); ++i) {
        const std::string_view head = r.bytes(i, 0);
        if (head.size() != 28)
            throw ServerError(K::Other, where(), "サーバーの記録が壊れています（長さが違います）。");
        store::RefuellingFacts facts;
        facts.date = at(head.data(), store::DateTime{});
        facts.vehicle = at(head.data() + 8, std::int16_t{});
        facts.distance1 = at(head.data() + 12, double{});
        facts.distance2 = at(head.data() + 20, double{});
        facts.remarksRaw = r.bytes(i, 1);
        f(facts);
    }
}

void ServerDataSet::scanDrives(const store::DriveQuery& query,
                               const std::function<void(const store::DriveFacts&)>& f) {
    // The decoded columns alone from their own index (quil_records_drives), streamed by one
    // COPY: the server reads on while this process follows the rows, where pages of a query
    // would take turns. A refuelling or maintenance record's first distance not at or below 0
    // is a reading as C++ compares (NaN, which the server orders above every number, is one).
    // The numbers in the statement are this program's own, written exactly.
    auto number = [](auto v) {
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, v).ptr;
        return "'" + std::string(text, end) + "'";
    };
    std::string filter = std::string("NOT deleted AND kind IN (0, 1, 2) AND ") +
                         (query.withReadings ? "(kind = 0 OR NOT distance1 <= 0)" : "kind = 0");
    if (std::isfinite(query.firstDay))
        filter += " AND date >= " + number(query.firstDay - 1) + "::float8";
    if (std::isfinite(query.lastDay))
        filter += " AND date < " + number(query.lastDay + 2) + "::float8";
    for (std::size_t i = 0; i < query.vehicles.size(); ++i)
        filter += (i == 0 ? " AND vehicle IN (" : ", ") + number(query.vehicles[i]) + "::int2" +
                  (i + 1 == query.vehicles.size() ? ")" : "");
    // A connection that breaks is made again and the stream goes on after the last row
    // handed over, in the list's order.
    std::optional<std::tuple<double, std::int16_t, std::int16_t, std::int64_t>> last;
    retrying([&] {
        const std::string after =
            last ? " AND (date, vehicle, user_no, entry) > (" + number(std::get<0>(*last)) +
                       "::float8, " + number(std::get<1>(*last)) + "::int2, " +
                       number(std::get<2>(*last)) + "::int2, " + number(std::get<3>(*last)) +
                       "::int8)"
                 : std::string();
        CopyReader reader([&](const CopyReader::Fields& row) {
            constexpr std::size_t kSizes[] = {8, 8, 2, 2, 2, 8, 8, 8, 8};
            if (row.size() != std::size(kSizes) ||
                !std::equal(row.begin(), row.end(), std::begin(kSizes),
                            [](std::string_view v, std::size_t n) { return v.size() == n; }))
                throw ServerError(K::Other, where(), "サーバーの記録が壊れています（長さが違います）。");
            const store::DriveFacts facts{copyValue<std::int64_t>(row[0]),
                                          copyValue<double>(row[1]),
                                          store::RecordKind(copyValue<std::int16_t>(row[2])),
                                          copyValue<std::int16_t>(row[3]),
                                          copyValue<std::int16_t>(row[4]),
                                          copyValue<double>(row[5]),
                                          copyValue<double>(row[6]),
                                          copyValue<double>(row[7])};
            f(facts);
            last.emplace(facts.date, facts.vehicle, facts.user, copyValue<std::int64_t>(row[8]));
        });
        conn_.copyOut(
            "COPY (SELECT id, date, kind, vehicle, user_no, distance1, distance2, return_time, "
            "entry FROM quil_records WHERE " + filter + after +
                " ORDER BY date, vehicle, user_no, entry) TO STDOUT (FORMAT binary)",
            [&](std::string_view chunk) { reader.feed(chunk); });
        if (!reader.done())
            throw ServerError(K::Other, where(), "サーバーの記録が途中で切れています。");
    });
}

std::vector<RecordRow> ServerDataSet::lastOfEach(store::RecordKind kind,
                                                 std::vector<double>& highest) {
    // Each vehicle and item of the kind from the kept sums, its last record over the index of
    // kinds. The highest reading before a record is asked only for a record without a reading
    // of its own (its first distance not above 0 as C++ compares: NaN, which the server
    // orders above every number, is none): the vehicle's readings from the highest down over
    // their index, the first one before the record in the list's order.
    const std::string reading = readingOf("e.");
    const PgResult r = retrying([&] {
        return conn_.exec(
            "SELECT l.id, l.version, l.raw, CASE WHEN l.distance1 > 0 AND l.distance1 <= "
            "'Infinity'::float8 THEN 0::float8 ELSE "
            "coalesce((SELECT " +
                reading +
                " FROM quil_records e WHERE NOT e.deleted "
                "  AND e.vehicle = l.vehicle AND " +
                reading +
                " > 0 "
                "  AND (e.date, e.user_no, e.entry) < (l.date, l.user_no, l.entry) "
                "  ORDER BY " +
                reading +
                " DESC LIMIT 1), 0) END "
                "FROM (SELECT DISTINCT vehicle, item FROM quil_record_sums WHERE kind = $1) g, "
                "LATERAL (SELECT id, version, raw, vehicle, date, user_no, entry, distance1 "
                "      FROM quil_records WHERE NOT deleted AND kind = $1 AND vehicle = g.vehicle "
                "      AND item = g.item "
                "      ORDER BY date DESC, vehicle DESC, user_no DESC, entry DESC LIMIT 1) l",
            {PgParam::number(std::int16_t(kind))}, true);
    });
    std::vector<RecordRow> out;
    highest.clear();
    for (int i = 0; i < r.rows(); ++i) {
        out.push_back(RecordRow{r.int64(i, 0), r.int64(i, 1), recordOf(r.bytes(i, 2), where())});
        highest.push_back(r.float8(i, 3));
    }
    return out;
}

std::vector<store::RecordSums> ServerDataSet::dailyReadings(int vehicle, double lastDay) {
    const PgResult r = retrying([&] {
        return conn_.exec(
            std::string("SELECT vehicle, day, highest FROM quil_reading_days WHERE day <= $1 ") +
                (vehicle >= 0 ? "AND vehicle = $2" : "AND $2 < 0"),
            {PgParam::float8(lastDay), PgParam::number(vehicle)}, true);
    });
    std::vector<store::RecordSums> out(static_cast<std::size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i) {
        store::RecordSums& s = out[std::size_t(i)];
        s.vehicle = r.int16(i, 0);
        s.day = r.float8(i, 1);
        s.highestReading = r.float8(i, 2);
    }
    return out;
}

std::vector<RecordRow> ServerDataSet::vehicleRecordsAround(int vehicle, double date, int user,
                                                           std::size_t count,
                                                           std::size_t& firstAfter) {
    // Two walks of the order's index from the place, each stopping after count + 1 rows of
    // the vehicle.
    const std::vector<PgParam> params = {PgParam::number(vehicle), PgParam::float8(date),
                                         PgParam::number(user),
                                         PgParam::number(std::int64_t(count) + 1)};
    const PgResult before = retrying([&] {
        return conn_.exec(
            "SELECT id, version, raw FROM quil_records WHERE NOT deleted AND vehicle = $1 "
            "AND (date, user_no) <= ($2::float8, $3::int2) "
            "ORDER BY date DESC, vehicle DESC, user_no DESC, entry DESC LIMIT $4",
            params, true);
    });
    const PgResult after = retrying([&] {
        return conn_.exec(
            "SELECT id, version, raw FROM quil_records WHERE NOT deleted AND vehicle = $1 "
            "AND (date, user_no) > ($2::float8, $3::int2) "
            "ORDER BY date, vehicle, user_no, entry LIMIT $4",
            params, true);
    });
    std::vector<RecordRow> out;
    for (int i = before.rows() - 1; i >= 0; --i)
        out.push_back(
            {before.int64(i, 0), before.int64(i, 1), recordOf(before.bytes(i, 2), where())});
    firstAfter = out.size();
    for (int i = 0; i < after.rows(); ++i)
        out.push_back({after.int64(i, 0), after.int64(i, 1), recordOf(after.bytes(i, 2), where())});
    return out;
}

std::vector<std::int64_t> ServerDataSet::listIds(const store::ListFilter::Query& q,
                                                 std::size_t limit) {
    std::vector<std::int64_t> ids;
    if (q.kinds.empty() || q.vehicles.empty() || q.users.empty()) return ids;
    std::string sql =
        "SELECT id FROM quil_records WHERE NOT deleted AND kind = ANY($1::int2[]) "
        "AND vehicle = ANY($2::int2[]) AND user_no = ANY($3::int2[])";
    std::vector<PgParam> params = {PgParam::text(intArray(q.kinds)),
                                   PgParam::text(intArray(q.vehicles)),
                                   PgParam::text(intArray(q.users))};
    if (!q.period.all()) {
        // The day of a date is its whole part towards zero; the range around it lets the
        // order's index find the days.
        sql +=
            " AND date > $4::float8 - 1 AND date < $5::float8 + 1 "
            "AND trunc(date) BETWEEN $4::float8 AND $5::float8";
        params.push_back(PgParam::float8(q.period.firstDay()));
        params.push_back(PgParam::float8(q.period.lastDay()));
    }
    sql += " ORDER BY date, vehicle, user_no, entry";
    if (limit != static_cast<std::size_t>(-1)) sql += " LIMIT " + std::to_string(limit);
    const PgResult r = retrying([&] { return conn_.exec(sql, params, true); });
    ids.reserve(static_cast<std::size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i) ids.push_back(r.int64(i, 0));
    return ids;
}

RecordRow ServerDataSet::readRecord(std::int64_t id) {
    const PgResult r = retrying([&] {
        return conn_.exec("SELECT id, version, raw FROM quil_records WHERE id = $1",
                          {PgParam::number(id)}, true);
    });
    if (r.rows() == 0) throw ServerError(K::Conflict, where(), kRecordChangedMessage);
    return {r.int64(0, 0), r.int64(0, 1), recordOf(r.bytes(0, 2), where())};
}

std::vector<RecordRow> ServerDataSet::readRecords(const std::vector<std::int64_t>& ids) {
    std::vector<RecordRow> out;
    if (ids.empty()) return out;
    const std::string list = intArray(ids);
    const PgResult r = retrying([&] {
        return conn_.exec("SELECT id, version, raw FROM quil_records WHERE id = ANY($1::int8[])",
                          {PgParam::text(list)}, true);
    });
    out.reserve(static_cast<std::size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i)
        out.push_back({r.int64(i, 0), r.int64(i, 1), recordOf(r.bytes(i, 2), where())});
    return out;
}

std::vector<ServerDataSet::ChangedRow> ServerDataSet::readChangedRecords(
    const std::vector<std::int64_t>& ids) {
    std::vector<ChangedRow> out;
    const PgResult r = retrying([&] {
        return conn_.exec(
            "SELECT r.id, r.version, r.raw, r.changed, f.raw, f.was, f.stamp "
            "FROM quil_records r LEFT JOIN quil_record_former f ON f.id = r.id "
            "WHERE r.id = ANY($1::int8[])",
            {PgParam::text(intArray(ids))}, true);
    });
    out.reserve(static_cast<std::size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i) {
        ChangedRow c;
        c.row = {r.int64(i, 0), r.int64(i, 1), recordOf(r.bytes(i, 2), where())};
        c.stamp = r.int64(i, 3);
        if (!r.isNull(i, 4)) {
            c.former = recordOf(r.bytes(i, 4), where());
            c.formerWas = r.int64(i, 5);
            c.formerStamp = r.int64(i, 6);
        }
        out.push_back(std::move(c));
    }
    return out;
}

std::pair<std::int64_t, std::int64_t> ServerDataSet::onceBySaveKey(
    const std::string& saveKey, const std::function<std::pair<std::int64_t, std::int64_t>()>& op) {
    checkSaveKey(saveKey);
    return retrying([&] {
        return inTransaction(conn_, [&] {
            const PgResult claimed =
                conn_.exec("INSERT INTO quil_saves (key) VALUES ($1) ON CONFLICT DO NOTHING",
                           {PgParam::text(saveKey)});
            if (claimed.affected() == 0) {
                // Done before (its answer was lost on the way): give the same answer.
                const PgResult done = conn_.exec(
                    "SELECT coalesce(target, -1), coalesce(version, -1) FROM quil_saves "
                    "WHERE key = $1",
                    {PgParam::text(saveKey)});
                return std::pair{done.integer(0, 0), done.integer(0, 1)};
            }
            const auto answer = op();
            conn_.exec("UPDATE quil_saves SET target = $2, version = $3 WHERE key = $1",
                       {PgParam::text(saveKey), PgParam::number(answer.first),
                        PgParam::number(answer.second)});
            return answer;
        });
    });
}

RecordRow ServerDataSet::addRecord(const store::DataRecord& record, const std::string& saveKey) {
    const auto [id, version] = onceBySaveKey(saveKey, [&] {
        const PgResult r = conn_.exec(
            "INSERT INTO quil_records (raw, date, vehicle, user_no, kind, deleted) "
            "VALUES ($1, $2::float8, $3, $4, $5, $6) RETURNING id, version",
            recordParams(record));
        return std::pair{r.integer(0, 0), r.integer(0, 1)};
    });
    return {id, version, record};
}

RecordRow ServerDataSet::editRecord(std::int64_t id, std::int64_t version,
                                    const store::DataRecord& record, const std::string& saveKey) {
    const auto [savedId, newVersion] = onceBySaveKey(saveKey, [&] {
        // Among records of the same date, vehicle and user the order is the order of entry:
        // a record whose date, vehicle or user changed counts as entered now, so it goes
        // after the records of its new place (as an edit that moves it does in a folder).
        return std::pair{
            id, rewriteRead(
                    conn_,
                    "UPDATE quil_records SET raw = $1, date = $2::float8, vehicle = $3, "
                    "user_no = $4, kind = $5, deleted = $6, version = version + 1, "
                    "entry = CASE WHEN (date, vehicle, user_no) = ($2::float8, $3, $4) THEN entry "
                    "             ELSE nextval('quil_entry_seq') END "
                    "WHERE id = $7 AND version = $8 AND NOT deleted RETURNING version",
                    recordParams(record), id, version, kRecordChangedMessage)};
    });
    if (newVersion < 0) throw ServerError(K::Conflict, where(), kRecordChangedMessage);
    return {savedId, newVersion, record};
}

void ServerDataSet::deleteRecord(std::int64_t id, std::int64_t version,
                                 const std::string& saveKey) {
    onceBySaveKey(saveKey, [&] {
        // Byte 16 of the record is its deleted mark.
        const PgResult r = conn_.exec(
            "UPDATE quil_records SET deleted = true, version = version + 1, "
            "raw = set_byte(raw, 16, 1) "
            "WHERE id = $1 AND version = $2 AND NOT deleted RETURNING version",
            {PgParam::number(id), PgParam::number(version)});
        if (r.rows() == 0)
            throw ServerError(K::Conflict, where(),
                              "削除しようとした記録は、ほかの操作でデータが変更されたため削除"
                              "できません。一覧を読み込み直します。");
        return std::pair{id, r.integer(0, 0)};
    });
}

void ServerDataSet::addRecords(const std::vector<store::DataRecord>& records,
                               std::size_t itemCount) {
    inTransaction(conn_, [&] {
        conn_.run("SELECT pg_advisory_xact_lock(7190002)");
        const PgResult n = conn_.exec("SELECT count(*) FROM quil_items");
        if (static_cast<std::size_t>(n.integer(0, 0)) != itemCount)
            throw ServerError(K::Refused, where(),
                              "読み込みの間にほかの利用者がマスターを変更しました。"
                              "何も書き込んでいません。もう一度実行してください。");
        for (const store::DataRecord& r : records)
            conn_.exec(
                "INSERT INTO quil_records (raw, date, vehicle, user_no, kind, deleted) "
                "VALUES ($1, $2::float8, $3, $4, $5, $6)",
                recordParams(r));
    });
}

bool ServerDataSet::refersTo(int position, store::ItemKind kind) {
    // place (bytes 68-69) and item (bytes 64-65) are read from the record's bytes, little
    // endian and signed, as the file keeps them.
    const auto field = [](int at) {
        return "((get_byte(raw, " + std::to_string(at + 1) + ") << 8 | get_byte(raw, " +
               std::to_string(at) + ")) # 32768) - 32768";
    };
    std::string column;
    switch (kind) {
        case store::ItemKind::Vehicle: column = "vehicle"; break;
        case store::ItemKind::User: column = "user_no"; break;
        case store::ItemKind::GasStation:
        case store::ItemKind::Shop: column = field(68); break;
        case store::ItemKind::MaintenanceItem:
        case store::ItemKind::ExpenseItem:
        case store::ItemKind::Purpose: column = field(64); break;
    }
    return retrying([&] {
        return conn_
                   .exec("SELECT EXISTS (SELECT 1 FROM quil_records WHERE " + column + " = $1)",
                         {PgParam::number(position)})
                   .text(0, 0) == "t";
    });
}

std::vector<ItemRow> ServerDataSet::items() {
    const PgResult r = retrying([&] {
        return conn_.exec("SELECT position::int8, version, raw FROM quil_items ORDER BY position",
                          {}, true);
    });
    std::vector<ItemRow> out;
    out.reserve(static_cast<std::size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i)
        out.push_back(
            {static_cast<int>(r.int64(i, 0)), r.int64(i, 1), itemOf(r.bytes(i, 2), where())});
    return out;
}

ItemRow ServerDataSet::addItem(const store::ItemRecord& item, const std::string& saveKey) {
    const auto [position, version] = onceBySaveKey(saveKey, [&] {
        // Items are numbered in order of entry: one add at a time takes the next number.
        conn_.run("SELECT pg_advisory_xact_lock(7190002)");
        const PgResult r = conn_.exec(
            "INSERT INTO quil_items (position, raw, kind, deleted, name) "
            "SELECT coalesce(max(position) + 1, 0), $1, $2, $3, $4 FROM quil_items "
            "RETURNING position, version",
            itemParams(item));
        return std::pair{r.integer(0, 0), r.integer(0, 1)};
    });
    return {static_cast<int>(position), version, item};
}

ItemRow ServerDataSet::rewriteItem(int position, std::int64_t version,
                                   const store::ItemRecord& item, const std::string& saveKey) {
    const auto [pos, newVersion] = onceBySaveKey(saveKey, [&] {
        return std::pair{
            std::int64_t{position},
            rewriteRead(conn_,
                        "UPDATE quil_items SET raw = $1, kind = $2, deleted = $3, name = $4, "
                        "version = version + 1 WHERE position = $5 AND version = $6 "
                        "RETURNING version",
                        itemParams(item), position, version, kItemChangedMessage)};
    });
    if (newVersion < 0) throw ServerError(K::Conflict, where(), kItemChangedMessage);
    return {static_cast<int>(pos), newVersion, item};
}

void ServerDataSet::listen() {
    retrying([&] {
        conn_.run("LISTEN quil_changes");
        markAllSeen();
    });
    listening_ = true;
}

namespace {

// Rows whose stamps lie this far below the last final one are read again: a transaction
// takes its stamp a moment before the server counts it as open.
constexpr std::int64_t kOverlap = 64;
// A few records are told one by one, with what they hold now, so that a list can follow
// them in place; more are read again whole.
constexpr std::size_t kOneByOne = 100;
// One snapshot for the counters and the newest stamps.
constexpr const char* kLookBegin = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";

std::map<std::string, std::int64_t> readCounts(PgConnection& c) {
    std::map<std::string, std::int64_t> out;
    const PgResult r = c.exec("SELECT what, changed FROM quil_change_counter");
    for (int i = 0; i < r.rows(); ++i) out[std::string(r.text(i, 0))] = r.integer(i, 1);
    return out;
}

// The server's present state, taken as seen: the counters and the newest stamps.
void readAllSeen(PgConnection& c, std::map<std::string, std::int64_t>& counts,
                 std::set<std::int64_t>& seenStamps, std::int64_t& seenUpTo) {
    inTransaction(
        c,
        [&] {
            counts = readCounts(c);
            const PgResult r = c.exec(
                "SELECT changed FROM (SELECT changed FROM quil_records "
                "                     ORDER BY changed DESC LIMIT $1) r "
                "UNION ALL SELECT changed FROM (SELECT changed FROM quil_items "
                "                               ORDER BY changed DESC LIMIT $1) i",
                {PgParam::number(kOverlap)});
            seenStamps.clear();
            seenUpTo = 0;
            for (int i = 0; i < r.rows(); ++i) {
                seenStamps.insert(r.integer(i, 0));
                seenUpTo = std::max(seenUpTo, r.integer(i, 0));
            }
        },
        kLookBegin);
}

}  // namespace

void ServerDataSet::markAllSeen() {
    readAllSeen(conn_, counts_, seenStamps_, seenUpTo_);
    pending_.clear();
}

std::unique_ptr<ServerDataSet::Replacement> ServerDataSet::connectAgain(
    const std::string& conninfo) {
    auto fresh = std::make_unique<Replacement>(conninfo);
    fresh->conn.run("LISTEN quil_changes");
    readAllSeen(fresh->conn, fresh->counts, fresh->seenStamps, fresh->seenUpTo);
    return fresh;
}

void ServerDataSet::takeOver(Replacement& fresh) {
    conn_.swap(fresh.conn);
    counts_ = std::move(fresh.counts);
    seenStamps_ = std::move(fresh.seenStamps);
    seenUpTo_ = fresh.seenUpTo;
    pending_.clear();
    listening_ = true;
}

std::vector<store::DataSetChange> ServerDataSet::takeChanges() {
    const int own = conn_.backendPid();
    bool heard = false;
    bool heardOthers = false;
    std::set<std::int64_t> ownCounts;
    for (const auto& n : conn_.takeNotifications()) {
        if (n.channel != kChangeChannel) continue;
        heard = true;
        if (n.senderPid != own && !(own_ && own_->contains(n.senderPid))) {
            heardOthers = true;
            continue;
        }
        // This program's own: "r <op> <id> <version> <stamp>", "i <op> <position> <version>
        // <stamp>", "e <part> <count>" or "replaced <count>".
        const std::string_view p = n.payload;
        const std::size_t space = p.rfind(' ');
        if (space == std::string_view::npos) continue;
        std::int64_t value = 0;
        const char* last = p.data() + p.size();
        const auto [end, ec] = std::from_chars(p.data() + space + 1, last, value);
        if (ec != std::errc() || end != last) continue;
        if (p.starts_with("r ") || p.starts_with("i "))
            seenStamps_.insert(value);
        else
            ownCounts.insert(value);
    }
    if (!heard) return {};
    try {
        return lookForChanges(heardOthers, ownCounts);
    } catch (const ServerError&) {
        if (!conn_.alive()) return {};
        // A look that failed on a live connection: everything is read again.
        return {store::DataSetChange::changedElsewhere()};
    }
}

std::vector<store::DataSetChange> ServerDataSet::lookForChanges(
    bool heardOthers, const std::set<std::int64_t>& ownCounts) {
    const auto elsewhere = [](store::DataSetChange c) {
        c.source = store::ChangeSource::Elsewhere;
        return c;
    };
    // A counter moved by this program alone is its own change; with others heard from too,
    // it may be theirs as well.
    const auto othersMoved = [&](std::int64_t now) {
        return heardOthers || !ownCounts.contains(now);
    };
    std::vector<store::DataSetChange> out;
    bool replaced = false;  // by another program
    bool reread = false;
    bool items = false;
    bool overflow = false;
    std::vector<std::int64_t> records;
    std::map<std::int64_t, std::int64_t> stampOf;  // a record's stamp in the look
    // Seen before this look: this look's own marks may pass stamps it never told.
    const std::int64_t toldUpTo = seenUpTo_;
    // One statement, so one snapshot: the counters, the transactions still open and the
    // rows stamped past what was seen, over the stamps' indexes (quil_changes_since).
    const std::int64_t from = seenUpTo_ - kOverlap;
    const auto known = static_cast<std::size_t>(
        std::distance(seenStamps_.upper_bound(from), seenStamps_.end()));
    const std::size_t limit = known + kOneByOne + 1;
    const PgResult look = conn_.exec(
        "SELECT * FROM quil_changes_since($1, $2)",
        {PgParam::number(from), PgParam::number(static_cast<std::int64_t>(limit))});
    std::map<std::string, std::int64_t> counts;
    std::int64_t oldestOpen = 0;
    std::int64_t newestOpen = 0;
    std::size_t rowCount = 0;
    for (int i = 0; i < look.rows(); ++i) {
        const std::int64_t kind = look.integer(i, 0);
        if (kind == 0) counts[std::string(look.text(i, 1))] = look.integer(i, 2);
        if (kind == 1) oldestOpen = look.integer(i, 2), newestOpen = look.integer(i, 3);
        if (kind >= 2) ++rowCount;
    }
    const auto held = [&](const char* part) {
        const auto it = counts_.find(part);
        return it == counts_.end() ? 0 : it->second;
    };
    const auto now = [&](const char* part) {
        const auto it = counts.find(part);
        return it == counts.end() ? 0 : it->second;
    };
    if (now("replaced") != held("replaced")) {
        replaced = othersMoved(now("replaced"));
        reread = true;
    } else {
        const std::pair<const char*, store::ExtensionPart> parts[] = {
            {"checks", store::ExtensionPart::AlcoholChecks},
            {"detectors", store::ExtensionPart::Detectors},
            {"cycles", store::ExtensionPart::MaintenanceCycles}};
        for (const auto& [name, part] : parts)
            if (now(name) != held(name) && othersMoved(now(name)))
                out.push_back(elsewhere(store::DataSetChange::extensionChanged(part)));
        counts_ = counts;
        overflow = reread = rowCount >= limit;
    }
    if (!reread) {
        std::int64_t top = seenUpTo_;
        for (int i = 0; i < look.rows(); ++i) {
            const std::int64_t kind = look.integer(i, 0);
            if (kind < 2) continue;
            const std::int64_t stamp = look.integer(i, 3);
            top = std::max(top, stamp);
            if (!seenStamps_.insert(stamp).second) continue;
            if (kind == 3) {
                items = true;
            } else if (const std::int64_t id = look.integer(i, 2);
                       std::find(records.begin(), records.end(), id) == records.end()) {
                records.push_back(id);
                stampOf[id] = stamp;
            }
        }
        // What is seen here is final once every transaction open now has ended.
        pending_.push_back({top, newestOpen});
        // However many looks a long transaction outlives, the oldest marks are merged into
        // one that becomes final when both would.
        while (pending_.size() > 16) {
            pending_[1] = {std::max(pending_[0].stamp, pending_[1].stamp),
                           std::max(pending_[0].openXid, pending_[1].openXid)};
            pending_.erase(pending_.begin());
        }
        std::erase_if(pending_, [&](const PendingMark& m) {
            if (m.openXid != 0 && m.openXid >= oldestOpen) return false;
            seenUpTo_ = std::max(seenUpTo_, m.stamp);
            return true;
        });
        seenStamps_.erase(seenStamps_.begin(), seenStamps_.upper_bound(seenUpTo_ - kOverlap));
    }
    if (reread) markAllSeen();
    if (replaced) return {elsewhere(store::DataSetChange::of(store::DataSetChange::What::Replaced))};
    if (reread && !overflow) return {};
    if (overflow) {
        out.push_back(elsewhere(store::DataSetChange::itemsChanged()));
        out.push_back(store::DataSetChange::changedElsewhere());
        return out;
    }
    if (items) out.push_back(elsewhere(store::DataSetChange::itemsChanged()));
    if (records.empty()) return out;
    if (items || records.size() > kOneByOne) {
        out.push_back(store::DataSetChange::changedElsewhere());
        return out;
    }
    std::vector<ChangedRow> rows;
    try {
        rows = readChangedRecords(records);
    } catch (const ServerError&) {
        out.push_back(store::DataSetChange::changedElsewhere());
        return out;
    }
    for (std::int64_t id : records) {
        const auto row = std::find_if(rows.begin(), rows.end(),
                                      [&](const ChangedRow& r) { return r.row.id == id; });
        if (row == rows.end()) {
            out.push_back(store::DataSetChange::changedElsewhere());
            return out;
        }
        const store::DataRecord& record = row->row.record;
        store::DataSetChange c = record.deleted()
                                     ? store::DataSetChange::serverRecordDeleted(id, record)
                                     : store::DataSetChange::serverRecordSaved(id, record);
        c.serverVersion = row->row.version;
        // The former record is told when it is the one this program last heard of: the row
        // read is the version the look saw, and the record it replaced was seen before.
        // Saved again since the look, the row is told as it is now and that stamp counts as
        // heard, so that the next look does not take the version told here for a former one.
        if (row->stamp != stampOf[id])
            seenStamps_.insert(row->stamp);
        else if (row->former && row->formerStamp == row->stamp &&
                 (row->formerWas <= toldUpTo || seenStamps_.contains(row->formerWas)))
            c.previous = row->former;
        out.push_back(elsewhere(std::move(c)));
    }
    return out;
}

}  // namespace quil::server
