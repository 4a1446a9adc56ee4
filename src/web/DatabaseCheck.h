#pragma once
// quil-web --check-config's look at the database: connects as the settings say and, when
// it cannot or the login cannot do the service's work, says in Japanese what to change.

#include <string>

namespace quil::web {

// What to change, in Japanese, after libpq's message `error` of a failed connection of
// `user` to `database` (peer authentication, no such role or database, no server, ...).
std::string connectionAdvice(const std::string& error, const std::string& user,
                             const std::string& database);

// Connects with `conninfo` (at most 10 seconds) and checks that its login may serve the
// drivers' page of a data set; empty when it may, otherwise what to change.
std::string databaseProblem(const std::string& conninfo);

}  // namespace quil::web
