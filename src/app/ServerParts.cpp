#include "app/ServerParts.h"

#include "server/PgConnection.h"
#include "server/ServerBackup.h"
#include "server/ServerExtensions.h"
#include "server/ServerStore.h"

namespace quil::ui {

ServerOpeners programServerOpeners() {
    ServerOpeners openers;
    openers.dataSet = server::openServerStore;
    // The register's and the analysis settings' stores write through connections of their
    // own: the watch knows their notices as this program's, announced already.
    auto own = std::make_shared<server::OwnConnections>();
    openers.checks = [own](const std::string& conninfo) {
        return server::openServerCheckStore(conninfo, own);
    };
    openers.analysis = [own](const std::string& conninfo) {
        return server::openServerAnalysisStore(conninfo, own);
    };
    openers.watched = [own](const std::string& conninfo) {
        return server::openWatchedServerStore(conninfo, own);
    };
    openers.backup = [](const std::string& conninfo, const std::string& destFolder,
                        folder::ReplaceConsent consent) {
        server::PgConnection c(conninfo);
        return server::backupServer(c, destFolder, consent);
    };
    openers.restore = [](const std::string& conninfo, const std::string& sourceFolder) {
        server::PgConnection c(conninfo);
        return server::restoreServer(c, sourceFolder);
    };
    openers.importLegacy = [](const std::string& conninfo, const std::string& legacyFolder,
                              const std::string& logFolder,
                              const folder::ImportProgress& progress) {
        server::PgConnection c(conninfo);
        return server::importLegacyToServer(c, legacyFolder, logFolder, progress);
    };
    return openers;
}

}  // namespace quil::ui
