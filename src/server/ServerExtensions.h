#pragma once
// The alcohol-check register and the analysis settings of a server data set: tables beside
// the records, the same for every program on the data set.

#include <memory>
#include <string>

#include "reports/ExtensionStore.h"

namespace quil::server {

// Each connects on its own (one piece of work) and throws ServerError with the user's
// message; a user who may only read is refused every change by the server.
std::unique_ptr<alcohol::CheckStore> openServerCheckStore(const std::string& conninfo);
std::unique_ptr<fleet::AnalysisStore> openServerAnalysisStore(const std::string& conninfo);

}  // namespace quil::server
