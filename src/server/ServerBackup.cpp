#include "server/ServerBackup.h"

#include <stdlib.h>

#include <filesystem>

#include "server/ServerTransfer.h"

namespace quil::server {

namespace {

// A folder of its own under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quil-server.XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw ServerError(ServerError::Kind::Other, pattern,
                              "作業用のフォルダーを作れません。何も変更していません。");
        path_ = pattern + '/';
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

folder::DataSetResult backupServer(PgConnection& c, const std::string& destFolder,
                                   folder::ReplaceConsent consent) {
    const ScratchFolder scratch;
    pullFolder(c, scratch.path());
    return folder::backupDataSet(scratch.path(), destFolder, store::FileSystem::current(), consent);
}

folder::DataSetResult restoreServer(PgConnection& c, const std::string& sourceFolder) {
    const ScratchFolder scratch;
    folder::DataSetResult result = folder::restoreDataSet(scratch.path(), sourceFolder);
    if (result.done()) replaceWithFolder(c, scratch.path());
    return result;
}

folder::DataSetResult importLegacyToServer(PgConnection& c, const std::string& legacyFolder,
                                           const std::string& logFolder,
                                           const folder::ImportProgress& progress) {
    const ScratchFolder scratch;
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
