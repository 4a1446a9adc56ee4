#pragma once
// The tables of a data set on a PostgreSQL server, created and upgraded by numbered
// migrations, each run in one transaction, and the roles that give people their rights.
//
// Roles (one set per data set, quil_<database>_<kind>, named by quil_group(kind)):
//   admin    管理者  everything in the data set, and its accounts through quil_account_*
//   clerk    事務    records, master lists and the register
//   viewer   閲覧    reading only
//   web              the drivers' web service: logins and sessions
//   accounts         owns the account functions; cannot log in, has no members
// Only members of viewer and web may connect to the database. The rights are grants on the
// tables, so they hold for any program that connects; no login holds a power over the
// server or another data set.

#include <string>

#include "PgConnection.h"

namespace quil::server {

// The schema this program writes; a data set of a higher number is refused unchanged.
inline constexpr int kSchemaVersion = 16;

// The kinds of the data set's group roles (groupRole() gives a role's name).
inline constexpr const char* kAdminRole = "admin";
inline constexpr const char* kClerkRole = "clerk";
inline constexpr const char* kViewerRole = "viewer";
// The group of the drivers' web service's login: the web accounts and sessions only.
inline constexpr const char* kWebRole = "web";
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

// The role name shown to people for a kind: "管理者", "事務", "閲覧"; empty for another.
std::string roleTitle(const std::string& role);

// The name of the data set's group role of a kind (kAdminRole …), quil_<database>_<kind>.
std::string groupRole(PgConnection& c, const std::string& kind);

}  // namespace quil::server
