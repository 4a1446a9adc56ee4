#pragma once
// The tables the extension windows keep, written once: QuilExt.db's store creates and
// upgrades its file from this description, push and pull copy the tables column by column
// from it, and a server migration creates a new table from it. A new table is one more
// entry in the list of its component (and, on the server, one line calling
// serverCreateTable in a new schema version).
//
// The tables a server data set already holds were created by its schema 4, whose statements
// stay as they were; the description matches them (a test compares the two).

#include <span>
#include <string>
#include <vector>

namespace quil::folder::extschema {

enum class ColumnType {
    Id,         // the row's number: SQLite's INTEGER PRIMARY KEY, the server's identity
    Integer,    // INTEGER / integer
    Reference,  // INTEGER / bigint: the Id of another table's row
    Real,       // REAL / double precision
    Text,       // TEXT / text
    Flag,       // INTEGER 0 or 1 / boolean
};

struct Column {
    const char* name;
    ColumnType type;
    bool notNull = true;
    const char* defaultValue = nullptr;  // as SQLite reads it ("0", "''"); none when null
    bool key = false;                    // the primary key (an Id column always is)
    int since = 1;                       // the component version that added it
};

struct Index {
    const char* name;
    const char* columns;  // "checked_at"
};

struct Table {
    const char* name;  // in QuilExt.db; on the server "quil_" + name
    std::span<const Column> columns;
    std::span<const Index> indexes = {};  // QuilExt.db's (the server's are its schema's)
    int since = 1;                        // the component version that added it
    bool versioned = false;               // the server's rows carry a version
    const char* announce = nullptr;       // the server's change notice: "e " + announce
};

struct Component {
    const char* name;  // its row in schema_version
    int version;       // the version this program writes
    std::span<const Table> tables;
    // Its first statements opened the column list with a blank: SQLite keeps each
    // statement's text, so files written since and before hold the same schema.
    bool padded = false;
};

// The components in the order a new file creates them: "alcohol", "analysis", "papers".
std::span<const Component> components();
const Component& component(const std::string& name);

// QuilExt.db's own tables: the components' versions, and the stamp of its data set.
extern const char* const kVersionTable;
extern const char* const kDataSetTable;

// The SQLite statements that bring `component` from version - 1 to `version`: new tables
// with their indexes, new columns of older tables.
std::vector<std::string> sqliteStatements(const Component& component, int version);

// The table's columns at component version `version` (those added later left out).
std::vector<const Column*> columnsAt(const Table& table, int version);
const Column& keyColumn(const Table& table);

// The server's name of the table: "quil_" + name.
std::string serverName(const Table& table);
// The server's CREATE TABLE (and its change trigger) for a new schema version; `prefix`
// stands before the name ("quil_").
std::vector<std::string> serverCreateTable(const Table& table, const std::string& prefix = "quil_");
// Every extension table's server name, in order.
std::vector<std::string> serverTableNames();

}  // namespace quil::folder::extschema
