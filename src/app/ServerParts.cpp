#include "app/ServerParts.h"

#include "server/PgConnection.h"
#include "server/ServerBackup.h"
#include "server/ServerExtensions.h"
#include "server/ServerStore.h"

namespace quil::ui {

ServerOpeners programServerOpeners() {
    ServerOpeners openers;
    openers.dataSet = server::openServerStore;
    openers.checks = server::openServerCheckStore;
    openers.analysis = server::openServerAnalysisStore;
    openers.watched = server::openWatchedServerStore;
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
