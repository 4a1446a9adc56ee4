#pragma once
// QuilExt.db as SQLite sees it, for the commands that copy or replace it: a crash journal
// beside it belongs to it, and a copy counts only when SQLite finds it whole.

#include <string>
#include <vector>

namespace quil::folder {

// The files SQLite keeps beside a database while it changes it ("-journal", "-wal", "-shm").
std::vector<std::string> extensionCompanionNames(const std::string& name);

// Opens the database at `path` for writing and closes it again, so that SQLite rolls a hot
// journal back into it (or a write-ahead log into it): afterwards the file alone holds the
// database's last committed state. Then checks it. Returns the problem in Japanese; empty
// when the file is whole. A missing file has no problem.
std::string settleExtensionFile(const std::string& path);

// SQLite's own integrity check of the database at `path`, opened read-only, journal or not
// beside it (for a copy that has none). Returns the problem in Japanese; empty when whole.
std::string extensionIntegrityProblem(const std::string& path);

}  // namespace quil::folder
