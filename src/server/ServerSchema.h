#pragma once
// The tables of a data set on a PostgreSQL server, created and upgraded by numbered
// migrations, each run in one transaction, and the roles that give people their rights.
//
// Roles (one set per server, shared by its data sets):
//   quil_admin  管理者  everything, and may give the other roles to accounts
//   quil_clerk  事務    records, master lists and the register
//   quil_viewer 閲覧    reading only
//   quil_web            the drivers' web service: logins and sessions (schema 5)
// The rights are grants on the tables, so they hold for any program that connects.

#include <string>

#include "PgConnection.h"

namespace quil::server {

// The schema this program writes; a data set of a higher number is refused unchanged.
inline constexpr int kSchemaVersion = 7;

inline constexpr const char* kAdminRole = "quil_admin";
inline constexpr const char* kClerkRole = "quil_clerk";
inline constexpr const char* kViewerRole = "quil_viewer";
// The group of the drivers' web service's login: the web accounts and sessions only.
inline constexpr const char* kWebRole = "quil_web";
// The channel on which every change of the data set is announced.
inline constexpr const char* kChangeChannel = "quil_changes";

struct SchemaState {
    enum class Is { Empty, Foreign, Older, Current, Newer };
    Is is = Is::Empty;
    int version = 0;
};

// What the database holds: no data set (empty, or tables of something else), or a data set
// of an older, this or a newer schema.
SchemaState inspectSchema(PgConnection& c);

// Creates the data set's tables and roles in an empty database, in one transaction. Raises
// ServerError (Refused) when the database holds a data set already.
void initializeSchema(PgConnection& c);

// Creates the tables of schema `version` only (1 up to kSchemaVersion), for a test of the
// upgrade from an older data set.
void initializeSchemaAt(PgConnection& c, int version);

// Brings an older data set up to kSchemaVersion in one transaction. Raises ServerError
// for a database without a data set or with a newer one; changes nothing then.
void upgradeSchema(PgConnection& c);

// The role name shown to people: "管理者", "事務", "閲覧"; empty for another role.
std::string roleTitle(const std::string& role);

}  // namespace quil::server
