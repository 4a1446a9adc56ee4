// The legacy import as one command: the new data set is built in a staging folder and
// replaces the current one only when it is complete.

#include <filesystem>

#include "folder/DataSetFiles.h"
#include "folder/FileCopy.h"
#include "folder/LegacyConverter.h"
#include "store/BinaryFile.h"
#include "store/Codec.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

namespace {

template <typename Record>
void writeAll(const std::string& path, const std::vector<Record>& records, FileSystem& fs) {
    BinaryFile f(path, Record::Size, OpenMode::CreateNew, fs);
    constexpr std::size_t kChunk = 4096;
    for (std::size_t i = 0; i < records.size(); i += kChunk)
        f.writeMany(static_cast<std::int64_t>(i), std::min(kChunk, records.size() - i),
                    records[i].data());
    f.sync();
}

// Errlog.txt in CP932 with CRLF line ends.
void writeLog(const std::string& path, const std::vector<std::string>& lines, FileSystem& fs) {
    std::string text;
    for (const std::string& l : lines) text += toCp932(l) + "\r\n";
    writeNewFile(fs, path, text);
}

}  // namespace

DataSetResult importLegacyDataSet(const std::string& dataFolder, const std::string& legacyFolder,
                                  const ImportProgress& progress, FileSystem& fs) {
    DataSetResult result;
    if (!fs.exists(legacyFolder + "Car.dat")) {
        result.status = DataSetStatus::NoSourceData;
        result.message = "読み込みデータがありません！";
        return result;
    }
    const double stamp = correctTwoDigitYear(now());
    const double day = correctTwoDigitYear(today());
    legacy::LegacyConverter converter(legacyFolder, stamp, day, decodeDate(day).year, fs);
    try {
        converter.convertItems();
        converter.countRecords();
        converter.convertRecords(progress);
    } catch (const legacy::LegacyDataError& e) {
        result.status = DataSetStatus::BrokenSource;
        result.message = e.what();
        return result;
    } catch (const legacy::ImportCancelled&) {
        result.status = DataSetStatus::Cancelled;
        result.message = "読み込みを中止しました。データは変更していません。";
        return result;
    }

    SwapPlan plan;
    plan.put = {kItemFileName, kRecordFileName, kImportLogFileName};
    setAsideExtensionFile(plan, dataFolder, fs);
    if (auto refusal = readOnlyRefusal(dataFolder, plan, fs)) return *refusal;

    StagingFolder staging(dataFolder, kImportStaging, fs);
    writeAll(staging.path() + kItemFileName, converter.items(), fs);
    // A data set without records still gets its (empty) record file, so the record file
    // of the data set it replaces can never stay beside the new item file.
    writeAll(staging.path() + kRecordFileName, converter.sortedRecords(), fs);
    writeLog(staging.path() + kImportLogFileName, converter.logLines(), fs);
    swapIntoPlace(staging.path(), dataFolder, plan, fs);

    result.stamp = stamp;
    result.logLines = converter.problemCount();
    result.logPath = dataFolder + kImportLogFileName;
    return result;
}

}  // namespace quil::folder
