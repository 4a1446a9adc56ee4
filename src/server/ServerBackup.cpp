#include "server/ServerBackup.h"

#include <filesystem>

#include "folder/ScratchFolder.h"
#include "server/ServerTransfer.h"

namespace quil::server {

using folder::ScratchFolder;

folder::DataSetResult backupServer(PgConnection& c, const std::string& destFolder,
                                   folder::ReplaceConsent consent) {
    const ScratchFolder scratch("quil-server");
    pullFolder(c, scratch.path());
    return folder::backupDataSet(scratch.path(), destFolder, store::FileSystem::current(), consent);
}

folder::DataSetResult restoreServer(PgConnection& c, const std::string& sourceFolder) {
    const ScratchFolder scratch("quil-server");
    folder::DataSetResult result = folder::restoreDataSet(scratch.path(), sourceFolder);
    if (result.done()) replaceWithFolder(c, scratch.path());
    return result;
}

folder::DataSetResult importLegacyToServer(PgConnection& c, const std::string& legacyFolder,
                                           const std::string& logFolder,
                                           const folder::ImportProgress& progress) {
    const ScratchFolder scratch("quil-server");
    folder::DataSetResult result =
        folder::importLegacyDataSet(scratch.path(), legacyFolder, progress);
    if (!result.logPath.empty()) {
        // The log stays where the user can open it once the scratch folder is gone.
        const std::string log = logFolder + folder::kImportLogFileName;
        std::error_code ec;
        std::filesystem::copy_file(result.logPath, log,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        result.logPath = ec ? std::string() : log;
    }
    if (result.done()) replaceWithFolder(c, scratch.path());
    return result;
}

}  // namespace quil::server
