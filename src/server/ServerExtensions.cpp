#include "server/ServerExtensions.h"

#include "server/PgConnection.h"

// TEMPORARY (replaced by the server register store): refuses until it exists.
namespace quil::server {

std::unique_ptr<alcohol::CheckStore> openServerCheckStore(const std::string& conninfo) {
    throw ServerError(ServerError::Kind::Other, describeConninfo(conninfo), "not yet");
}
std::unique_ptr<fleet::AnalysisStore> openServerAnalysisStore(const std::string& conninfo) {
    throw ServerError(ServerError::Kind::Other, describeConninfo(conninfo), "not yet");
}

}  // namespace quil::server
