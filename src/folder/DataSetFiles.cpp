#include "folder/DataSetFiles.h"

#include <filesystem>

#include "folder/DataSet.h"
#include "folder/FileCopy.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

namespace {

const char* const kNoData = "読み込みデータがありません！";

std::vector<std::string> dataSetFileNames() {
    return {kItemFileName, kRecordFileName, kExtensionFileName};
}

DataSetResult refused(DataSetStatus status, std::string message) {
    DataSetResult r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

DataSetResult sameFolderRefusal() {
    return refused(DataSetStatus::SameFolder,
                   "選択したフォルダは現在の保存先と同じです。何も変更していません。");
}

// Copies every data-set file that exists in `from` into `to`, each verified before it
// replaces an older copy.
void copyDataFiles(const std::string& from, const std::string& to, FileSystem& fs) {
    for (const std::string& name : dataSetFileNames())
        if (fs.exists(from + name)) copyVerified(from + name, to + name, fs);
}

}  // namespace

bool sameFolder(const std::string& a, const std::string& b) {
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    if (!ec) return same;
    auto strip = [](std::string s) {
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        return std::filesystem::path(s).lexically_normal().string();
    };
    return strip(a) == strip(b);
}

DataSetResult backupDataSet(const std::string& dataFolder, const std::string& destFolder,
                            FileSystem& fs) {
    if (sameFolder(dataFolder, destFolder)) return sameFolderRefusal();
    copyDataFiles(dataFolder, destFolder, fs);
    return {};
}

DataSetResult moveDataSet(const std::string& dataFolder, const std::string& newFolder,
                          const std::function<void()>& switchFolder, FileSystem& fs) {
    if (sameFolder(dataFolder, newFolder)) return sameFolderRefusal();
    copyDataFiles(dataFolder, newFolder, fs);
    if (switchFolder) switchFolder();
    // Every copy has been read back and the new folder is in use: only now may the old
    // folder give its files up. The item file stays behind, as it always has.
    DataSetResult result;
    for (const char* name : {"Item.dat", kRecordFileName, kExtensionFileName}) {
        try {
            fs.remove(dataFolder + name);
        } catch (const StoreError& e) {
            result.message += std::string(name) + ": " + e.reason() + "\n";
        }
    }
    if (!result.message.empty())
        result.message =
            "データは移動しましたが、元のフォルダの次のファイルを削除できません"
            "でした。\n" +
            result.message;
    return result;
}

DataSetResult restoreDataSet(const std::string& dataFolder, const std::string& sourceFolder,
                             FileSystem& fs) {
    if (sameFolder(dataFolder, sourceFolder)) return sameFolderRefusal();
    if (!fs.exists(sourceFolder + kRecordFileName) || !fs.exists(sourceFolder + kItemFileName))
        return refused(DataSetStatus::NoSourceData, kNoData);
    const DataSetCheck check = checkDataSet(sourceFolder, fs);
    if (!check.ok) return refused(DataSetStatus::BrokenSource, check.message);

    StagingFolder staging(dataFolder, "Quil.$restore");
    copyDataFiles(sourceFolder, staging.path(), fs);
    // Copied files are checked again: the source may have changed between check and copy.
    const DataSetCheck staged = checkDataSet(staging.path(), fs);
    if (!staged.ok) return refused(DataSetStatus::BrokenSource, staged.message);
    convertOlderFormat(staging.path(), fs);
    replaceByRenames(staging.path(), dataFolder, dataSetFileNames(), fs);

    DataSetResult result;
    result.stamp = staged.stamp;
    return result;
}

}  // namespace quil::folder
