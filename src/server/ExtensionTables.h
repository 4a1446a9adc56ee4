#pragma once
// The alcohol-check register and the analysis settings moving between QuilExt.db and the
// tables of a server data set: read from either side whole, written to the other, table by
// table and column by column as folder/ExtensionSchema.h describes them.
//
// A QuilExt.db written here is the file the program's own migrations make: the table
// schema_version with each component at its version, their tables by the same statements,
// and the table data_set with the stamp of the data set's Quil.qui, so that the program
// opens it as its own and changes nothing.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "PgConnection.h"
#include "SqliteFile.h"
#include "folder/ExtensionSchema.h"
#include "reports/AlcoholCheck.h"

namespace quil::server {

// The rows of one described table, each value as QuilExt.db holds it: integers (a flag as 0
// or 1, a reference to no row as NULL), reals and texts, in the order of its columns.
struct TableRows {
    const folder::extschema::Table* table = nullptr;
    std::vector<SqlRow> rows;
};

// Every described table, in the order of the description.
struct ExtensionData {
    std::vector<TableRows> tables;
    bool empty() const {
        for (const TableRows& t : tables)
            if (!t.rows.empty()) return false;
        return true;
    }
};

// Reads the register and the analysis settings of QuilExt.db; a component the file does
// not hold gives nothing. Raises ServerError (Refused) for a file that is not a database,
// or whose components come from a newer program.
ExtensionData readExtensionFile(SqliteFile& file);

// The stamp a QuilExt.db records of its data set (the table data_set); none when absent.
std::optional<double> extensionStamp(SqliteFile& file);

// Writes `data` into a new, empty QuilExt.db with the program's schema, in one transaction.
// `stamp` is that of the data set's Quil.qui (none for a data set without items).
void writeExtensionFile(SqliteFile& file, const ExtensionData& data, std::optional<double> stamp);

// Values of the server's text results (doubles read exactly with extra_float_digits = 3).
double realOf(std::string_view text);
std::int64_t intOf(std::string_view text);

// The columns of quil_alcohol_check in the order checkAt reads them.
extern const char* const kCheckColumns;
// The check in row `row` of a result selecting kCheckColumns.
alcohol::AlcoholCheck checkAt(const PgResult& r, int row);

// A new check: kCheckInsert with checkValues ($1 … $12, the columns after id, in the order
// UPDATE uses them too); returns the id.
extern const char* const kCheckInsert;
std::vector<PgParam> checkValues(const alcohol::AlcoholCheck& check);

// The server's tables (in the caller's transaction).
ExtensionData readExtensionTables(PgConnection& c);
// Adds `data` to the server's tables, keeping the ids (in the caller's transaction), and
// moves the id sequences past them.
void writeExtensionTables(PgConnection& c, const ExtensionData& data);

// The upgrade to schema 4: a QuilExt.db kept whole by schema 2 (quil_extension_file) is
// moved into the tables and its row removed. A stored file that cannot be read as a register
// is left where it is, so that nothing is lost.
void convertStoredExtensionFile(PgConnection& c);

}  // namespace quil::server
