#include "ExtensionTables.h"

#include <charconv>

namespace quil::server {
namespace {

using K = ServerError::Kind;

namespace schema = folder::extschema;
using schema::ColumnType;

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

namespace {

// A value as QuilExt.db holds it for a column of `type`: a flag as 0 or 1, a reference to no
// row as NULL (the program writes NULL where it has none, and reads NULL as 0).
SqlValue normalised(const schema::Column& column, SqlValue v) {
    if (std::holds_alternative<std::monostate>(v) && !column.notNull) return v;
    switch (column.type) {
        case ColumnType::Real: return sqlReal(v);
        case ColumnType::Text: return sqlText(v);
        case ColumnType::Flag: return std::int64_t{sqlInteger(v) != 0};
        case ColumnType::Reference:
            if (sqlInteger(v) == 0) return SqlValue();
            break;
        case ColumnType::Id:
        case ColumnType::Integer: break;
    }
    return sqlInteger(v);
}

std::string columnList(const schema::Table& table) {
    std::string out;
    for (const schema::Column& c : table.columns)
        out += (out.empty() ? "" : ", ") + std::string(c.name);
    return out;
}

std::string orderBy(const schema::Table& table) {
    return std::string(" ORDER BY ") + schema::keyColumn(table).name;
}

}  // namespace

ExtensionData readExtensionFile(SqliteFile& f) {
    ExtensionData data;
    for (const schema::Component& component : schema::components()) {
        const int version = componentVersion(f, component.name, component.version);
        for (const schema::Table& table : component.tables) {
            TableRows& out = data.tables.emplace_back(TableRows{&table, {}});
            if (version < table.since) continue;
            // A column an older file lacks reads as its default.
            std::string select;
            for (const schema::Column& c : table.columns) {
                const char* value = c.since <= version ? c.name
                                    : c.defaultValue   ? c.defaultValue
                                                       : "NULL";
                select += (select.empty() ? "" : ", ") + std::string(value);
            }
            for (SqlRow& r : f.query("SELECT " + select + " FROM " + table.name + orderBy(table))) {
                for (std::size_t i = 0; i < r.size(); ++i)
                    r[i] = normalised(table.columns[i], std::move(r[i]));
                out.rows.push_back(std::move(r));
            }
        }
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
    f.transaction("BEGIN", [&] {
        f.exec(schema::kVersionTable);
        if (stamp) {
            f.exec(schema::kDataSetTable);
            f.exec("INSERT INTO data_set(id, stamp) VALUES(1, ?)", {*stamp});
        }
        for (const schema::Component& component : schema::components())
            for (int version = 1; version <= component.version; ++version)
                for (const std::string& sql : schema::sqliteStatements(component, version))
                    f.exec(sql);
        for (const schema::Component& component : schema::components())
            f.exec("INSERT INTO schema_version(component, version) VALUES(?, ?)",
                   {std::string(component.name), std::int64_t{component.version}});
        for (const TableRows& t : data.tables) {
            std::string marks;
            for (std::size_t i = 0; i < t.table->columns.size(); ++i) marks += i ? ", ?" : "?";
            const std::string insert = std::string("INSERT INTO ") + t.table->name + " (" +
                                       columnList(*t.table) + ") VALUES (" + marks + ")";
            for (const SqlRow& row : t.rows) f.exec(insert, row);
        }
    });
}

ExtensionData readExtensionTables(PgConnection& c) {
    // Every double exactly as stored (the shortest text that reads back the same).
    c.run("SET LOCAL extra_float_digits = 3");
    ExtensionData data;
    for (const schema::Component& component : schema::components())
        for (const schema::Table& table : component.tables) {
            TableRows& out = data.tables.emplace_back(TableRows{&table, {}});
            // A column the role may not read (閲覧 and the licence number) comes as its
            // default: such a copy holds what its reader may see, and no more.
            const PgResult hiddenColumns = c.exec(
                "SELECT a.attname FROM pg_attribute a WHERE a.attrelid = $1::regclass"
                " AND a.attnum > 0 AND NOT a.attisdropped"
                " AND NOT has_column_privilege(a.attrelid, a.attnum, 'SELECT')",
                {PgParam::text(schema::serverName(table))});
            std::string select;
            for (const schema::Column& column : table.columns) {
                bool hidden = false;
                for (int i = 0; i < hiddenColumns.rows(); ++i)
                    hidden = hidden || hiddenColumns.text(i, 0) == column.name;
                select += (select.empty() ? "" : ", ") +
                          (hidden ? std::string(column.defaultValue ? column.defaultValue : "NULL")
                                  : std::string(column.name));
            }
            const PgResult r = c.exec("SELECT " + select + " FROM " + schema::serverName(table) +
                                      orderBy(table));
            for (int i = 0; i < r.rows(); ++i) {
                SqlRow row;
                for (std::size_t j = 0; j < table.columns.size(); ++j) {
                    const schema::Column& column = table.columns[j];
                    const int at = static_cast<int>(j);
                    SqlValue v;
                    if (!r.isNull(i, at)) {
                        const std::string_view text = r.text(i, at);
                        switch (column.type) {
                            case ColumnType::Real: v = realOf(text); break;
                            case ColumnType::Text: v = std::string(text); break;
                            case ColumnType::Flag: v = std::int64_t{boolOf(text)}; break;
                            case ColumnType::Id:
                            case ColumnType::Integer:
                            case ColumnType::Reference: v = intOf(text); break;
                        }
                    }
                    row.push_back(normalised(column, std::move(v)));
                }
                out.rows.push_back(std::move(row));
            }
        }
    return data;
}

namespace {

// A text the server cannot hold whole (PostgreSQL's text has no NUL): refused before
// anything is written, naming the table, the row and the column.
void checkTexts(PgConnection& c, const ExtensionData& data) {
    for (const TableRows& t : data.tables) {
        const schema::Column& key = schema::keyColumn(*t.table);
        std::size_t keyAt = 0;
        while (&t.table->columns[keyAt] != &key) ++keyAt;
        for (const SqlRow& row : t.rows) {
            // A setting by its key (up to a NUL in it), another row by its number.
            const std::string name =
                key.type == ColumnType::Text
                    ? "設定「" + std::string(sqlText(row[keyAt]).c_str()) + "」"
                    : "番号 " + std::to_string(sqlInteger(row[keyAt])) + " の行";
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (t.table->columns[i].type != ColumnType::Text) continue;
                if (sqlText(row[i]).find('\0') == std::string::npos) continue;
                throw ServerError(
                    K::Refused, c.where(),
                    "表 " + schema::serverName(*t.table) + " の" + name + "の " +
                        t.table->columns[i].name +
                        " に文字 NUL（コード 0）があります。サーバーには送れません。"
                        "その文字を消してから送り直してください。何も変更していません。");
            }
        }
    }
}

PgParam paramOf(const schema::Column& column, const SqlValue& v) {
    if (std::holds_alternative<std::monostate>(v)) return PgParam::none();
    switch (column.type) {
        case ColumnType::Real: return PgParam::float8(sqlReal(v));
        case ColumnType::Text: return PgParam::text(sqlText(v));
        case ColumnType::Flag: return flag(sqlInteger(v) != 0);
        case ColumnType::Id:
        case ColumnType::Integer:
        case ColumnType::Reference: break;
    }
    return PgParam::number(sqlInteger(v));
}

}  // namespace

void writeExtensionTables(PgConnection& c, const ExtensionData& data) {
    checkTexts(c, data);
    std::string sequences;
    for (const TableRows& t : data.tables) {
        const schema::Table& table = *t.table;
        std::string values;
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            values += (i ? ", $" : "$") + std::to_string(i + 1) +
                      (table.columns[i].type == ColumnType::Real ? "::float8" : "");
        const std::string insert = "INSERT INTO " + schema::serverName(table) + " (" +
                                   columnList(table) + ") VALUES (" + values + ")";
        for (const SqlRow& row : t.rows) {
            std::vector<PgParam> params;
            for (std::size_t i = 0; i < row.size(); ++i)
                params.push_back(paramOf(table.columns[i], row[i]));
            c.exec(insert, params);
        }
        const schema::Column& key = schema::keyColumn(table);
        if (key.type == ColumnType::Id) {
            const std::string name = schema::serverName(table);
            sequences +=
                (sequences.empty() ? "SELECT " : ", ") +
                ("setval(pg_get_serial_sequence('" + name + "', '" + key.name +
                 "'), coalesce((SELECT max(" + key.name + ") FROM " + name + "), 0) + 1, false)");
        }
    }
    // New rows are numbered after the ones kept.
    if (!sequences.empty()) c.run(sequences);
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
        // Only the tables that hold rows: a table of a later schema (the licences) is made by
        // its own migration, after this one, and a file of this age has no rows for it.
        std::erase_if(data->tables, [](const TableRows& t) { return t.rows.empty(); });
        writeExtensionTables(c, *data);
        c.exec("DELETE FROM quil_extension_file WHERE name = $1", {PgParam::text(name)});
    }
}

}  // namespace quil::server
