#include "ExtensionTables.h"

#include <charconv>

namespace quil::server {
namespace {

using K = ServerError::Kind;

// The statements of the program's own QuilExt.db, word for word: SQLite keeps the text of
// each CREATE (and rewrites it for an ALTER), so the same statements in the same order give
// the same schema as the program's migrations.
constexpr const char* kVersionTable =
    "CREATE TABLE IF NOT EXISTS schema_version ("
    "component TEXT PRIMARY KEY NOT NULL, version INTEGER NOT NULL)";
constexpr const char* kDataSetTable =
    "CREATE TABLE IF NOT EXISTS data_set ("
    "id INTEGER PRIMARY KEY CHECK (id = 1), stamp REAL NOT NULL)";
constexpr const char* kAlcoholSchema[] = {
    "CREATE TABLE alcohol_check ("
    " id INTEGER PRIMARY KEY,"
    " checked_at REAL NOT NULL,"
    " timing INTEGER NOT NULL,"
    " driver INTEGER NOT NULL,"
    " vehicle INTEGER NOT NULL,"
    " checker TEXT NOT NULL,"
    " method INTEGER NOT NULL,"
    " method_text TEXT NOT NULL DEFAULT '',"
    " detector INTEGER,"
    " reading REAL,"
    " intoxicated INTEGER NOT NULL,"
    " instructions TEXT NOT NULL DEFAULT '',"
    " remarks TEXT NOT NULL DEFAULT '',"
    " deleted INTEGER NOT NULL DEFAULT 0,"
    " deleted_by TEXT NOT NULL DEFAULT '',"
    " deleted_at REAL NOT NULL DEFAULT 0)",
    "CREATE INDEX alcohol_check_time ON alcohol_check (checked_at)",
    "CREATE TABLE alcohol_detector ("
    " id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL,"
    " serial TEXT NOT NULL DEFAULT '',"
    " in_use_since REAL NOT NULL DEFAULT 0,"
    " last_inspection REAL NOT NULL DEFAULT 0,"
    " retired INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE alcohol_setting ("
    " key TEXT PRIMARY KEY,"
    " value TEXT NOT NULL)",
};
constexpr const char* kAnalysisSchema[] = {
    "CREATE TABLE analysis_cycle (item INTEGER PRIMARY KEY NOT NULL, "
    "months INTEGER NOT NULL DEFAULT 0, km INTEGER NOT NULL DEFAULT 0)",
    "ALTER TABLE analysis_cycle ADD COLUMN first_months INTEGER NOT NULL "
    "DEFAULT 0",
    "CREATE TABLE analysis_setting (key TEXT PRIMARY KEY NOT NULL, "
    "value TEXT NOT NULL)",
};

int componentVersion(SqliteFile& f, const char* component, int known) {
    if (!f.hasTable("schema_version")) return 0;
    const auto rows =
        f.query("SELECT version FROM schema_version WHERE component = ?", {std::string(component)});
    const int version = rows.empty() ? 0 : static_cast<int>(sqlInteger(rows[0][0]));
    if (version > known)
        throw ServerError(K::Refused, f.where(),
                          std::string("QuilExt.db は新しい版のプログラムで書かれています（") +
                              component + ": 版 " + std::to_string(version) +
                              "）。プログラムを新しくしてください。何も送っていません。");
    return version;
}

Settings settingsOf(const std::vector<SqlRow>& rows) {
    Settings out;
    for (const SqlRow& r : rows) out.emplace_back(sqlText(r[0]), sqlText(r[1]));
    return out;
}

bool boolOf(std::string_view text) { return text == "t"; }
PgParam flag(bool v) { return PgParam::text(v ? "true" : "false"); }

}  // namespace

double realOf(std::string_view text) {
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

std::int64_t intOf(std::string_view text) {
    std::int64_t v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

const char* const kCheckColumns =
    "id, checked_at, timing, driver, vehicle, checker, method, method_text, detector, reading,"
    " intoxicated, instructions, remarks, deleted, deleted_by, deleted_at";

const char* const kCheckInsert =
    "INSERT INTO quil_alcohol_check (checked_at, timing, driver, vehicle, checker, method,"
    " method_text, detector, reading, intoxicated, instructions, remarks)"
    " VALUES ($1::float8, $2, $3, $4, $5, $6, $7, $8, $9::float8, $10, $11, $12) RETURNING id";

std::vector<PgParam> checkValues(const alcohol::AlcoholCheck& c) {
    return {PgParam::float8(c.when),
            PgParam::number(static_cast<int>(c.timing)),
            PgParam::number(c.driver),
            PgParam::number(c.vehicle),
            PgParam::text(c.checker),
            PgParam::number(static_cast<int>(c.method)),
            PgParam::text(c.methodText),
            c.detector ? PgParam::number(c.detector) : PgParam::none(),
            c.reading ? PgParam::float8(*c.reading) : PgParam::none(),
            PgParam::text(c.intoxicated ? "true" : "false"),
            PgParam::text(c.instructions),
            PgParam::text(c.remarks)};
}

alcohol::AlcoholCheck checkAt(const PgResult& r, int i) {
    alcohol::AlcoholCheck c;
    c.id = intOf(r.text(i, 0));
    c.when = realOf(r.text(i, 1));
    c.timing = static_cast<alcohol::CheckTiming>(intOf(r.text(i, 2)));
    c.driver = static_cast<int>(intOf(r.text(i, 3)));
    c.vehicle = static_cast<int>(intOf(r.text(i, 4)));
    c.checker = r.text(i, 5);
    c.method = static_cast<alcohol::CheckMethod>(intOf(r.text(i, 6)));
    c.methodText = r.text(i, 7);
    c.detector = r.isNull(i, 8) ? 0 : intOf(r.text(i, 8));
    if (!r.isNull(i, 9)) c.reading = realOf(r.text(i, 9));
    c.intoxicated = boolOf(r.text(i, 10));
    c.instructions = r.text(i, 11);
    c.remarks = r.text(i, 12);
    c.deleted = boolOf(r.text(i, 13));
    c.deletedBy = r.text(i, 14);
    c.deletedAt = realOf(r.text(i, 15));
    return c;
}

ExtensionData readExtensionFile(SqliteFile& f) {
    ExtensionData data;
    const int alcohol = componentVersion(f, "alcohol", kAlcoholComponentVersion);
    const int analysis = componentVersion(f, "analysis", kAnalysisComponentVersion);
    if (alcohol > 0) {
        for (const SqlRow& r :
             f.query("SELECT id, checked_at, timing, driver, vehicle, checker, method, method_text,"
                     " detector, reading, intoxicated, instructions, remarks, deleted, deleted_by,"
                     " deleted_at FROM alcohol_check ORDER BY id")) {
            alcohol::AlcoholCheck c;
            c.id = sqlInteger(r[0]);
            c.when = sqlReal(r[1]);
            c.timing = static_cast<alcohol::CheckTiming>(sqlInteger(r[2]));
            c.driver = static_cast<int>(sqlInteger(r[3]));
            c.vehicle = static_cast<int>(sqlInteger(r[4]));
            c.checker = sqlText(r[5]);
            c.method = static_cast<alcohol::CheckMethod>(sqlInteger(r[6]));
            c.methodText = sqlText(r[7]);
            c.detector = sqlInteger(r[8]);
            if (!std::holds_alternative<std::monostate>(r[9])) c.reading = sqlReal(r[9]);
            c.intoxicated = sqlInteger(r[10]) != 0;
            c.instructions = sqlText(r[11]);
            c.remarks = sqlText(r[12]);
            c.deleted = sqlInteger(r[13]) != 0;
            c.deletedBy = sqlText(r[14]);
            c.deletedAt = sqlReal(r[15]);
            data.checks.push_back(std::move(c));
        }
        for (const SqlRow& r : f.query("SELECT id, name, serial, in_use_since, last_inspection,"
                                       " retired FROM alcohol_detector ORDER BY id"))
            data.detectors.push_back({sqlInteger(r[0]), sqlText(r[1]), sqlText(r[2]), sqlReal(r[3]),
                                      sqlReal(r[4]), sqlInteger(r[5]) != 0});
        data.alcoholSettings =
            settingsOf(f.query("SELECT key, value FROM alcohol_setting ORDER BY key"));
    }
    if (analysis > 0) {
        const bool firstMonths = analysis >= 2;
        for (const SqlRow& r :
             f.query(firstMonths ? "SELECT item, months, km, first_months FROM analysis_cycle "
                                   "ORDER BY item"
                                 : "SELECT item, months, km, 0 FROM analysis_cycle ORDER BY item"))
            data.cycles.push_back(
                {static_cast<int>(sqlInteger(r[0])), static_cast<int>(sqlInteger(r[1])),
                 static_cast<int>(sqlInteger(r[2])), static_cast<int>(sqlInteger(r[3]))});
        if (firstMonths)
            data.analysisSettings =
                settingsOf(f.query("SELECT key, value FROM analysis_setting ORDER BY key"));
    }
    return data;
}

std::optional<double> extensionStamp(SqliteFile& f) {
    if (!f.hasTable("data_set")) return std::nullopt;
    const auto rows = f.query("SELECT stamp FROM data_set WHERE id = 1");
    if (rows.empty()) return std::nullopt;
    return sqlReal(rows[0][0]);
}

void writeExtensionFile(SqliteFile& f, const ExtensionData& data, std::optional<double> stamp) {
    f.exec("BEGIN");
    try {
        f.exec(kVersionTable);
        if (stamp) {
            f.exec(kDataSetTable);
            f.exec("INSERT INTO data_set(id, stamp) VALUES(1, ?)", {*stamp});
        }
        for (const char* sql : kAlcoholSchema) f.exec(sql);
        for (const char* sql : kAnalysisSchema) f.exec(sql);
        const char* const setVersion =
            "INSERT INTO schema_version(component, version) VALUES(?, ?)";
        f.exec(setVersion, {std::string("alcohol"), std::int64_t{kAlcoholComponentVersion}});
        f.exec(setVersion, {std::string("analysis"), std::int64_t{kAnalysisComponentVersion}});
        for (const alcohol::AlcoholCheck& c : data.checks)
            f.exec(
                "INSERT INTO alcohol_check (id, checked_at, timing, driver, vehicle, checker,"
                " method, method_text, detector, reading, intoxicated, instructions, remarks,"
                " deleted, deleted_by, deleted_at)"
                " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                {c.id, c.when, std::int64_t{static_cast<int>(c.timing)}, std::int64_t{c.driver},
                 std::int64_t{c.vehicle}, c.checker, std::int64_t{static_cast<int>(c.method)},
                 c.methodText, c.detector ? SqlValue(c.detector) : SqlValue(),
                 c.reading ? SqlValue(*c.reading) : SqlValue(), std::int64_t{c.intoxicated},
                 c.instructions, c.remarks, std::int64_t{c.deleted}, c.deletedBy, c.deletedAt});
        for (const alcohol::Detector& d : data.detectors)
            f.exec(
                "INSERT INTO alcohol_detector (id, name, serial, in_use_since, last_inspection,"
                " retired) VALUES (?, ?, ?, ?, ?, ?)",
                {d.id, d.name, d.serial, d.inUseSince, d.lastInspection, std::int64_t{d.retired}});
        for (const auto& [key, value] : data.alcoholSettings)
            f.exec("INSERT INTO alcohol_setting (key, value) VALUES (?, ?)", {key, value});
        for (const fleet::MaintenanceCycle& c : data.cycles)
            f.exec("INSERT INTO analysis_cycle(item, months, km, first_months) VALUES(?, ?, ?, ?)",
                   {std::int64_t{c.item}, std::int64_t{c.months}, std::int64_t{c.km},
                    std::int64_t{c.firstMonths}});
        for (const auto& [key, value] : data.analysisSettings)
            f.exec("INSERT INTO analysis_setting(key, value) VALUES(?, ?)", {key, value});
        f.exec("COMMIT");
    } catch (...) {
        try {
            f.exec("ROLLBACK");
        } catch (...) {
        }
        throw;
    }
}

ExtensionData readExtensionTables(PgConnection& c) {
    // Every double exactly as stored (the shortest text that reads back the same).
    c.run("SET LOCAL extra_float_digits = 3");
    ExtensionData data;
    const PgResult checks =
        c.exec(std::string("SELECT ") + kCheckColumns + " FROM quil_alcohol_check ORDER BY id");
    for (int i = 0; i < checks.rows(); ++i) data.checks.push_back(checkAt(checks, i));
    const PgResult detectors = c.exec(
        "SELECT id, name, serial, in_use_since, last_inspection, retired"
        " FROM quil_alcohol_detector ORDER BY id");
    for (int i = 0; i < detectors.rows(); ++i)
        data.detectors.push_back({intOf(detectors.text(i, 0)), std::string(detectors.text(i, 1)),
                                  std::string(detectors.text(i, 2)), realOf(detectors.text(i, 3)),
                                  realOf(detectors.text(i, 4)), boolOf(detectors.text(i, 5))});
    const auto settings = [&](const char* sql) {
        Settings out;
        const PgResult r = c.exec(sql);
        for (int i = 0; i < r.rows(); ++i) out.emplace_back(r.text(i, 0), r.text(i, 1));
        return out;
    };
    data.alcoholSettings = settings("SELECT key, value FROM quil_alcohol_setting ORDER BY key");
    data.analysisSettings = settings("SELECT key, value FROM quil_analysis_setting ORDER BY key");
    const PgResult cycles =
        c.exec("SELECT item, months, km, first_months FROM quil_analysis_cycle ORDER BY item");
    for (int i = 0; i < cycles.rows(); ++i)
        data.cycles.push_back({static_cast<int>(intOf(cycles.text(i, 0))),
                               static_cast<int>(intOf(cycles.text(i, 1))),
                               static_cast<int>(intOf(cycles.text(i, 2))),
                               static_cast<int>(intOf(cycles.text(i, 3)))});
    return data;
}

namespace {

// A text the server cannot hold whole (PostgreSQL's text has no NUL): refused before
// anything is written, naming the table, the row and the column.
void checkTexts(PgConnection& c, const ExtensionData& data) {
    const auto check = [&](const char* table, const std::string& row, const char* column,
                           const std::string& value) {
        if (value.find('\0') != std::string::npos)
            throw ServerError(K::Refused, c.where(),
                              std::string("表 ") + table + " の" + row + "の " + column +
                                  " に文字 NUL（コード 0）があります。サーバーには送れません。"
                                  "その文字を消してから送り直してください。何も変更していません。");
    };
    for (const alcohol::AlcoholCheck& k : data.checks) {
        const std::string row = "番号 " + std::to_string(k.id) + " の行";
        check("quil_alcohol_check", row, "checker", k.checker);
        check("quil_alcohol_check", row, "method_text", k.methodText);
        check("quil_alcohol_check", row, "instructions", k.instructions);
        check("quil_alcohol_check", row, "remarks", k.remarks);
        check("quil_alcohol_check", row, "deleted_by", k.deletedBy);
    }
    for (const alcohol::Detector& d : data.detectors) {
        const std::string row = "番号 " + std::to_string(d.id) + " の行";
        check("quil_alcohol_detector", row, "name", d.name);
        check("quil_alcohol_detector", row, "serial", d.serial);
    }
    for (const auto* settings : {&data.alcoholSettings, &data.analysisSettings})
        for (const auto& [key, value] : *settings) {
            const char* table = settings == &data.alcoholSettings ? "quil_alcohol_setting"
                                                                  : "quil_analysis_setting";
            check(table, "設定「" + std::string(key.c_str()) + "」", "key", key);
            check(table, "設定「" + std::string(key.c_str()) + "」", "value", value);
        }
}

}  // namespace

void writeExtensionTables(PgConnection& c, const ExtensionData& data) {
    checkTexts(c, data);
    for (const alcohol::AlcoholCheck& k : data.checks)
        c.exec(
            "INSERT INTO quil_alcohol_check (id, checked_at, timing, driver, vehicle, checker,"
            " method, method_text, detector, reading, intoxicated, instructions, remarks,"
            " deleted, deleted_by, deleted_at) VALUES ($1, $2::float8, $3, $4, $5, $6, $7, $8,"
            " $9, $10::float8, $11, $12, $13, $14, $15, $16::float8)",
            {PgParam::number(k.id), PgParam::float8(k.when),
             PgParam::number(static_cast<int>(k.timing)), PgParam::number(k.driver),
             PgParam::number(k.vehicle), PgParam::text(k.checker),
             PgParam::number(static_cast<int>(k.method)), PgParam::text(k.methodText),
             k.detector ? PgParam::number(k.detector) : PgParam::none(),
             k.reading ? PgParam::float8(*k.reading) : PgParam::none(), flag(k.intoxicated),
             PgParam::text(k.instructions), PgParam::text(k.remarks), flag(k.deleted),
             PgParam::text(k.deletedBy), PgParam::float8(k.deletedAt)});
    for (const alcohol::Detector& d : data.detectors)
        c.exec(
            "INSERT INTO quil_alcohol_detector (id, name, serial, in_use_since, last_inspection,"
            " retired) VALUES ($1, $2, $3, $4::float8, $5::float8, $6)",
            {PgParam::number(d.id), PgParam::text(d.name), PgParam::text(d.serial),
             PgParam::float8(d.inUseSince), PgParam::float8(d.lastInspection), flag(d.retired)});
    for (const auto& [key, value] : data.alcoholSettings)
        c.exec("INSERT INTO quil_alcohol_setting (key, value) VALUES ($1, $2)",
               {PgParam::text(key), PgParam::text(value)});
    for (const fleet::MaintenanceCycle& m : data.cycles)
        c.exec(
            "INSERT INTO quil_analysis_cycle (item, months, km, first_months)"
            " VALUES ($1, $2, $3, $4)",
            {PgParam::number(m.item), PgParam::number(m.months), PgParam::number(m.km),
             PgParam::number(m.firstMonths)});
    for (const auto& [key, value] : data.analysisSettings)
        c.exec("INSERT INTO quil_analysis_setting (key, value) VALUES ($1, $2)",
               {PgParam::text(key), PgParam::text(value)});
    // New rows are numbered after the ones kept.
    c.run(
        "SELECT setval(pg_get_serial_sequence('quil_alcohol_check', 'id'),"
        "              coalesce((SELECT max(id) FROM quil_alcohol_check), 0) + 1, false),"
        "       setval(pg_get_serial_sequence('quil_alcohol_detector', 'id'),"
        "              coalesce((SELECT max(id) FROM quil_alcohol_detector), 0) + 1, false)");
}

void convertStoredExtensionFile(PgConnection& c) {
    const PgResult stored = c.exec("SELECT name, bytes FROM quil_extension_file", {}, true);
    for (int i = 0; i < stored.rows(); ++i) {
        const std::string name(stored.bytes(i, 0));
        std::optional<ExtensionData> data;
        try {
            SqliteFile file = SqliteFile::inMemory(stored.bytes(i, 1), name);
            data = readExtensionFile(file);
        } catch (const ServerError&) {
            continue;  // not a register this program reads: kept as it was
        }
        writeExtensionTables(c, *data);
        c.exec("DELETE FROM quil_extension_file WHERE name = $1", {PgParam::text(name)});
    }
}

}  // namespace quil::server
