#include "SqliteFile.h"

#include <sqlite3.h>

#include <cstring>
#include <utility>

namespace quil::server {

namespace {
struct StatementCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
}  // namespace

SqliteFile::SqliteFile(const std::string& path, bool create) : where_(path) {
    const int flags = create ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) fail("開けません");
    sqlite3_busy_timeout(db_, 5000);
}

SqliteFile SqliteFile::inMemory(std::string_view bytes, const std::string& name) {
    SqliteFile f(name);
    if (sqlite3_open_v2(":memory:", &f.db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        f.fail("開けません");
    // SQLite frees the copy with the connection.
    auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(bytes.size() + 1));
    if (!copy) f.fail("開けません");
    std::memcpy(copy, bytes.data(), bytes.size());
    if (sqlite3_deserialize(f.db_, "main", copy, static_cast<sqlite3_int64>(bytes.size()),
                            static_cast<sqlite3_int64>(bytes.size()) + 1,
                            SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) !=
        SQLITE_OK)
        f.fail("開けません");
    return f;
}

SqliteFile::~SqliteFile() { sqlite3_close_v2(db_); }

SqliteFile::SqliteFile(SqliteFile&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), where_(std::move(other.where_)) {}

void SqliteFile::fail(const std::string& what) const {
    const std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
    throw ServerError(ServerError::Kind::Refused, where_,
                      "QuilExt.db を" + what + "（" + reason +
                          "）。ファイルが壊れていないか、書き込める場所かを確かめてください。");
}

std::vector<SqlRow> SqliteFile::query(const std::string& sql, const SqlRow& params) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) !=
        SQLITE_OK)
        fail("読み書きできません");
    const std::unique_ptr<sqlite3_stmt, StatementCloser> st(raw);
    for (std::size_t i = 0; i < params.size(); ++i) {
        const int at = static_cast<int>(i) + 1;
        const SqlValue& v = params[i];
        int rc = SQLITE_OK;
        if (const auto* n = std::get_if<std::int64_t>(&v))
            rc = sqlite3_bind_int64(raw, at, *n);
        else if (const auto* d = std::get_if<double>(&v))
            rc = sqlite3_bind_double(raw, at, *d);
        else if (const auto* s = std::get_if<std::string>(&v))
            rc = sqlite3_bind_text64(raw, at, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        else
            rc = sqlite3_bind_null(raw, at);
        if (rc != SQLITE_OK) fail("読み書きできません");
    }
    std::vector<SqlRow> rows;
    for (;;) {
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) fail("読み書きできません");
        SqlRow row;
        const int n = sqlite3_column_count(raw);
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(raw, c)) {
                case SQLITE_INTEGER:
                    row.emplace_back(std::int64_t{sqlite3_column_int64(raw, c)});
                    break;
                case SQLITE_FLOAT: row.emplace_back(sqlite3_column_double(raw, c)); break;
                case SQLITE_NULL: row.emplace_back(std::monostate{}); break;
                default: {
                    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, c));
                    row.emplace_back(std::string(
                        text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(raw, c))));
                }
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

bool SqliteFile::hasTable(const std::string& name) {
    return !query("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", {name}).empty();
}

std::int64_t sqlInteger(const SqlValue& v) {
    if (const auto* n = std::get_if<std::int64_t>(&v)) return *n;
    if (const auto* d = std::get_if<double>(&v)) return static_cast<std::int64_t>(*d);
    if (const auto* s = std::get_if<std::string>(&v)) return std::strtoll(s->c_str(), nullptr, 10);
    return 0;
}

double sqlReal(const SqlValue& v) {
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* n = std::get_if<std::int64_t>(&v)) return static_cast<double>(*n);
    if (const auto* s = std::get_if<std::string>(&v)) return std::strtod(s->c_str(), nullptr);
    return 0;
}

std::string sqlText(const SqlValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* n = std::get_if<std::int64_t>(&v)) return std::to_string(*n);
    if (const auto* d = std::get_if<double>(&v)) return std::to_string(*d);
    return {};
}

}  // namespace quil::server
