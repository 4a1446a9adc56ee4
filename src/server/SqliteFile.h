#pragma once
// QuilExt.db through SQLite's C library, for push and pull without Qt: a file on disk or a
// whole database held in memory, statements with bound values only, and errors as
// ServerError in the program's own words.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "PgConnection.h"

struct sqlite3;

namespace quil::server {

// A value of a column or a parameter: NULL, an integer, a real or a text.
using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string>;
using SqlRow = std::vector<SqlValue>;

class SqliteFile {
public:
    // Opens the file at `path`: read-only, or created (and writable) when `create` is set.
    // Raises ServerError (Refused) when it cannot be opened.
    SqliteFile(const std::string& path, bool create);
    // A copy of `bytes`, a whole database file, in memory; `name` is for messages.
    static SqliteFile inMemory(std::string_view bytes, const std::string& name);
    ~SqliteFile();
    SqliteFile(SqliteFile&&) noexcept;
    SqliteFile& operator=(SqliteFile&&) = delete;

    const std::string& where() const { return where_; }
    // Runs one statement with `params` ('?') and returns its rows. A failure (a file that
    // is no database, a damaged one) raises ServerError (Refused) naming the file.
    std::vector<SqlRow> query(const std::string& sql, const SqlRow& params = {});
    void exec(const std::string& sql, const SqlRow& params = {}) { query(sql, params); }
    bool hasTable(const std::string& name);
    // Runs `work` between `begin` ("BEGIN" or "BEGIN IMMEDIATE") and COMMIT; an exception
    // from it or from the commit rolls the transaction back and goes on.
    template <typename Work>
    void transaction(const char* begin, Work&& work) {
        exec(begin);
        try {
            work();
            exec("COMMIT");
        } catch (...) {
            try {
                exec("ROLLBACK");
            } catch (...) {
            }
            throw;
        }
    }

private:
    explicit SqliteFile(std::string where) : where_(std::move(where)) {}
    [[noreturn]] void fail(const std::string& what) const;
    sqlite3* db_ = nullptr;
    std::string where_;
};

// A column's value as the type the program stores it with; NULL gives 0 or "".
std::int64_t sqlInteger(const SqlValue& v);
double sqlReal(const SqlValue& v);
std::string sqlText(const SqlValue& v);

}  // namespace quil::server
