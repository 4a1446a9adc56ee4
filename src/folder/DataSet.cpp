#include "folder/DataSet.h"

#include "store/ItemStore.h"
#include "store/RecordStore.h"

namespace quil::folder {

using namespace quil::store;

std::string resolveDataFolder(const std::string& savedDataFolder,
                              const std::string& savedProgramFolder,
                              const std::string& programFolder, FileSystem& fs) {
    if (savedDataFolder.empty()) return programFolder;
    if (fs.isDirectory(savedDataFolder)) return savedDataFolder;
    if (savedProgramFolder != programFolder && savedDataFolder.size() > savedProgramFolder.size() &&
        savedDataFolder.compare(0, savedProgramFolder.size(), savedProgramFolder) == 0 &&
        !savedProgramFolder.empty()) {
        const std::string relocated =
            programFolder + savedDataFolder.substr(savedProgramFolder.size());
        if (fs.exists(relocated + kItemFileName)) return relocated;
    }
    return programFolder;
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
    }
    result.convertItems = items->version < kFormatVersion;
    result.ok = true;
    return result;
}

}  // namespace quil::folder
