#include "folder/DataSet.h"

#include "store/ItemStore.h"
#include "store/RecordStore.h"

namespace quil::folder {

using namespace quil::store;

DataFolderChoice chooseDataFolder(const std::string& savedDataFolder,
                                  const std::string& savedProgramFolder,
                                  const std::string& programFolder, FileSystem& fs) {
    if (savedDataFolder.empty()) return {programFolder, {}};
    if (fs.isDirectory(savedDataFolder) && fs.canReadFolder(savedDataFolder))
        return {savedDataFolder, {}};
    if (savedProgramFolder != programFolder && savedDataFolder.size() > savedProgramFolder.size() &&
        savedDataFolder.compare(0, savedProgramFolder.size(), savedProgramFolder) == 0 &&
        !savedProgramFolder.empty()) {
        const std::string relocated =
            programFolder + savedDataFolder.substr(savedProgramFolder.size());
        // The program folder moved with its data: the same data, nothing to say.
        if (fs.exists(relocated + kItemFileName)) return {relocated, {}};
    }
    return {programFolder, savedDataFolder};
}

std::string resolveDataFolder(const std::string& savedDataFolder,
                              const std::string& savedProgramFolder,
                              const std::string& programFolder, FileSystem& fs) {
    return chooseDataFolder(savedDataFolder, savedProgramFolder, programFolder, fs).folder;
}

DataFolderChoice chooseStartDataFolder(const std::string& savedDataFolder,
                                       const std::string& savedProgramFolder,
                                       const std::string& programFolder,
                                       const std::string& defaultDataFolder, FileSystem& fs) {
    DataFolderChoice choice =
        chooseDataFolder(savedDataFolder, savedProgramFolder, programFolder, fs);
    if (choice.folder == programFolder && !defaultDataFolder.empty())
        choice.folder = defaultDataFolder;
    return choice;
}

bool holdsDataSet(const std::string& dataFolder, FileSystem& fs) {
    return fs.exists(dataFolder + kItemFileName) || fs.exists(dataFolder + kRecordFileName);
}

namespace {

// Size of a file; nothing when it does not exist.
std::optional<std::uint64_t> sizeOf(const std::string& path, FileSystem& fs) {
    if (!fs.exists(path)) return std::nullopt;
    return fs.open(path, OpenMode::Read)->size();
}

constexpr std::uint64_t kHeaderSize = 14;

}  // namespace

bool itemFileMissing(const std::string& dataFolder, FileSystem& fs) {
    if (fs.exists(dataFolder + kItemFileName)) return false;
    const auto records = sizeOf(dataFolder + kRecordFileName, fs);
    return records && *records > 0;
}

void seedItemFile(const std::string& dataFolder, Settings& settings, double stamp, double today) {
    ItemStore items(dataFolder);
    const auto seed = firstRunItems(stamp, today);
    for (std::size_t i = 0; i < seed.size(); ++i) {
        items.append(seed[i]);
        if (i == 0) settings.setCarMask("1");
        if (i == 1) settings.setDriverMask("1");
        if (i == 3) settings.writeText(SettingKey::PurposeMask, "11");
    }
}

DataSetCheck checkDataSet(const std::string& dataFolder, FileSystem& fs) {
    DataSetCheck result;
    const std::string broken = "ファイルが壊れています。";
    const std::string newer = "新バージョンのファイル型式はサポートしていません。";

    if (itemFileMissing(dataFolder, fs)) {
        result.message = "Quil.qui がありません。バックアップから読み込んで下さい。";
        return result;
    }
    const auto itemSize = sizeOf(dataFolder + kItemFileName, fs);
    const auto recordSize = sizeOf(dataFolder + kRecordFileName, fs);
    if (itemSize && *itemSize > 0 && *itemSize < kHeaderSize) {
        result.message = std::string(kItemFileName) + broken;
        return result;
    }
    if (recordSize && *recordSize > 0 && *recordSize < kHeaderSize) {
        result.message = std::string(kRecordFileName) + broken;
        return result;
    }

    auto items = readFileHeader(dataFolder + kItemFileName, fs);
    if (!items || items->empty || items->signature != "QI") {
        result.message = std::string(kItemFileName) + broken;
        return result;
    }
    if (items->version > kFormatVersion) {
        result.message = newer;
        return result;
    }
    result.stamp = items->stamp;

    auto records = readFileHeader(dataFolder + kRecordFileName, fs);
    if (records && !records->empty) {
        if (records->signature != "QD") {
            result.message = std::string(kRecordFileName) + broken;
            return result;
        }
        if (records->version > kFormatVersion) {
            result.message = newer;
            return result;
        }
        if (records->stamp != items->stamp) {
            result.message = std::string(kItemFileName) + "と" + kRecordFileName +
                             "の組み合わせに不具合があります。";
            return result;
        }
        result.convertRecords = records->version < kFormatVersion;
        // A damaged version field must not turn a whole file into misread older records.
        if (result.convertRecords && !olderRecordFileIsWhole(dataFolder + kRecordFileName, fs)) {
            result.message = std::string(kRecordFileName) + broken;
            return result;
        }
    }
    result.convertItems = items->version < kFormatVersion;
    if (*itemSize % ItemRecord::Size != 0)
        result.partialTails.emplace_back(kItemFileName, *itemSize % ItemRecord::Size);
    if (recordSize && !result.convertRecords && *recordSize % DataRecord::Size != 0)
        result.partialTails.emplace_back(kRecordFileName, *recordSize % DataRecord::Size);
    result.ok = true;
    return result;
}

}  // namespace quil::folder
