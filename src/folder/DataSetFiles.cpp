#include "folder/DataSetFiles.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "folder/DataSet.h"
#include "folder/FileCopy.h"
#include "store/BinaryFile.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/NumberFormat.h"
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

// The data-set files of `folder` (with '/').
std::vector<std::string> presentFiles(const std::string& folder, FileSystem& fs) {
    std::vector<std::string> names;
    for (const std::string& name : dataSetFileNames())
        if (fs.exists(folder + name)) names.push_back(name);
    return names;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Copies the data-set files `names` of `from` into the staging folder, each read back.
void stageCopies(const std::string& from, const std::vector<std::string>& names,
                 const std::string& staging, FileSystem& fs) {
    for (const std::string& name : names) copyVerified(from + name, staging + name, fs);
}

// A swap that puts `put` in place and drops the folder's other data-set files.
SwapPlan replacingPlan(const std::vector<std::string>& put, const std::string& folder,
                       FileSystem& fs) {
    SwapPlan plan;
    plan.put = put;
    for (const std::string& name : presentFiles(folder, fs))
        if (!contains(put, name)) plan.drop.push_back(name);
    return plan;
}

std::string describe(const DataSetSummary& d) {
    if (!d.readable) return "読めないか壊れたデータ";
    std::string text = "車両 " + std::to_string(d.vehicles) + " 台、記録 " +
                       withThousands(d.records) + " 件";
    if (d.records > 0) text += "、最後の記録 " + formatDate(d.lastDate);
    return text;
}

// The question before a data set in `folder` is replaced.
DataSetResult replaceQuestion(const std::string& folder, const DataSetSummary& there,
                              double ourStamp) {
    std::string text = folder + " には既にデータがあります（" + describe(there) + "）。\n";
    if (there.readable && there.stamp != ourStamp)
        text += "これは今のデータとは別に作られたデータです（作成 " + formatDate(there.stamp) +
                " " + formatTime(there.stamp) + "）。\n";
    else if (there.readable)
        text += "これは今のデータの以前のコピーです。\n";
    text += "このデータを置き換えますか？";
    return refused(DataSetStatus::ReplaceOther, text);
}

double stampOf(const std::string& folder, FileSystem& fs) {
    const auto header = readFileHeader(folder + kItemFileName, fs);
    return header && !header->empty ? header->stamp : 0;
}

}  // namespace

std::optional<DataSetResult> readOnlyRefusal(const std::string& folder, const SwapPlan& plan,
                                             FileSystem& fs) {
    std::vector<std::string> names = plan.put;
    names.insert(names.end(), plan.drop.begin(), plan.drop.end());
    for (const auto& aside : plan.setAside) names.push_back(aside.first);
    for (const std::string& name : names) {
        // Renaming over a link would leave its target with the old data set in silence.
        if (fs.isLink(folder + name))
            return refused(DataSetStatus::ReadOnlyFile,
                           folder + name +
                               " はリンクのため置き換えられません。リンク先のファイルを置いて"
                               "からもう一度実行して下さい。何も変更していません。");
        if (fs.isReadOnly(folder + name))
            return refused(DataSetStatus::ReadOnlyFile,
                           folder + name +
                               " は読み取り専用のため置き換えられません。読み取り専用を外して"
                               "からもう一度実行して下さい。何も変更していません。");
    }
    return std::nullopt;
}

void setAsideExtensionFile(SwapPlan& plan, const std::string& folder, FileSystem& fs) {
    if (fs.exists(folder + kExtensionFileName))
        plan.setAside.emplace_back(kExtensionFileName,
                                   setAsideName(folder, kExtensionFileName, fs));
}

DataSetSummary summarizeDataSet(const std::string& folder, FileSystem& fs) {
    DataSetSummary d;
    d.present = !presentFiles(folder, fs).empty();
    if (!d.present) return d;
    try {
        const auto header = readFileHeader(folder + kItemFileName, fs);
        if (!header || header->empty || header->signature != "QI") return d;
        d.stamp = header->stamp;
        d.vehicles = ItemStore(folder, fs).listLive(ItemKind::Vehicle).size();
        if (fs.exists(folder + kRecordFileName)) {
            BinaryFile records(folder + kRecordFileName, DataRecord::Size, OpenMode::Read, fs);
            d.records = records.count();
            if (d.records > 0) {
                DataRecord last;
                records.read(d.records - 1, last.data());
                d.lastDate = last.date();
            }
        }
        d.readable = true;
    } catch (const std::exception&) {
        d.readable = false;
    }
    return d;
}

std::string extensionFileProblem(const std::string& path, FileSystem& fs) {
    const std::string broken = fileNameOf(path) + " はデータベースとして読めません（壊れています）。";
    auto f = fs.open(path, OpenMode::Read);
    const std::uint64_t size = f->size();
    if (size == 0) return {};  // SQLite takes an empty file for an empty database
    unsigned char h[100] = {};
    if (size < sizeof h || f->readAt(0, h, sizeof h) != sizeof h) return broken;
    if (std::memcmp(h, "SQLite format 3", 16) != 0) return broken;
    const std::uint32_t pageSize = h[16] == 0 && h[17] == 1 ? 65536u : (h[16] << 8 | h[17]);
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0) return broken;
    if (h[21] != 64 || h[22] != 32 || h[23] != 32) return broken;
    auto be32 = [&](int at) {
        return std::uint32_t(h[at]) << 24 | std::uint32_t(h[at + 1]) << 16 |
               std::uint32_t(h[at + 2]) << 8 | std::uint32_t(h[at + 3]);
    };
    if (size % pageSize != 0) return broken;
    // The page count in the header is valid when its change counter matches the copy at 92.
    if (be32(24) == be32(92) && be32(28) != 0 && std::uint64_t(be32(28)) * pageSize != size)
        return broken;
    return {};
}

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
                            FileSystem& fs, ReplaceConsent consent) {
    if (sameFolder(dataFolder, destFolder)) return sameFolderRefusal();
    // A backup cut short there is finished first: its files then belong together again.
    finishPendingSwaps(destFolder, fs);
    const DataSetSummary there = summarizeDataSet(destFolder, fs);
    const double ours = stampOf(dataFolder, fs);
    if (there.present && (!there.readable || there.stamp != ours) && !consent.otherDataSet)
        return replaceQuestion(destFolder, there, ours);
    const std::vector<std::string> names = presentFiles(dataFolder, fs);
    if (names.empty()) return refused(DataSetStatus::NoSourceData, dataFolder + " にデータがありません。");
    const SwapPlan plan = replacingPlan(names, destFolder, fs);
    if (auto refusal = readOnlyRefusal(destFolder, plan, fs)) return *refusal;

    StagingFolder staging(destFolder, kBackupStaging, fs);
    stageCopies(dataFolder, names, staging.path(), fs);
    swapIntoPlace(staging.path(), destFolder, plan, fs);
    return {};
}

DataSetResult moveDataSet(const std::string& dataFolder, const std::string& newFolder,
                          const std::function<void()>& switchFolder, FileSystem& fs,
                          ReplaceConsent consent) {
    if (sameFolder(dataFolder, newFolder)) return sameFolderRefusal();
    finishPendingSwaps(newFolder, fs);
    const DataSetSummary there = summarizeDataSet(newFolder, fs);
    if (there.present && !consent.otherDataSet)
        return replaceQuestion(newFolder, there, stampOf(dataFolder, fs));
    const std::vector<std::string> names = presentFiles(dataFolder, fs);
    const SwapPlan plan = replacingPlan(names, newFolder, fs);
    if (auto refusal = readOnlyRefusal(newFolder, plan, fs)) return *refusal;
    {
        StagingFolder staging(newFolder, kMoveStaging, fs);
        stageCopies(dataFolder, names, staging.path(), fs);
        swapIntoPlace(staging.path(), newFolder, plan, fs);
    }
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
    // A backup cut short in the source is finished first, so its files belong together.
    finishPendingSwaps(sourceFolder, fs);
    if (!fs.exists(sourceFolder + kRecordFileName) || !fs.exists(sourceFolder + kItemFileName))
        return refused(DataSetStatus::NoSourceData, kNoData);
    auto verify = [&fs](const std::string& folder) -> std::optional<DataSetResult> {
        const DataSetCheck check = checkDataSet(folder, fs);
        if (!check.ok) return refused(DataSetStatus::BrokenSource, check.message);
        for (const auto& [file, bytes] : check.partialTails)
            return refused(DataSetStatus::BrokenSource,
                           file + " の最後の記録が途中で切れています（" + std::to_string(bytes) +
                               " バイト）。このバックアップは読み込めません。");
        if (fs.exists(folder + kExtensionFileName)) {
            const std::string problem = extensionFileProblem(folder + kExtensionFileName, fs);
            if (!problem.empty())
                return refused(DataSetStatus::BrokenSource,
                               problem + "このバックアップは読み込めません。");
        }
        return std::nullopt;
    };
    if (auto refusal = verify(sourceFolder)) return *refusal;
    const std::vector<std::string> names = presentFiles(sourceFolder, fs);
    SwapPlan plan;
    plan.put = names;
    if (!contains(names, kExtensionFileName)) setAsideExtensionFile(plan, dataFolder, fs);
    if (auto refusal = readOnlyRefusal(dataFolder, plan, fs)) return *refusal;

    StagingFolder staging(dataFolder, kRestoreStaging, fs);
    stageCopies(sourceFolder, names, staging.path(), fs);
    // Copied files are checked again: the source may have changed between check and copy.
    if (auto refusal = verify(staging.path())) return *refusal;
    const double stamp = checkDataSet(staging.path(), fs).stamp;
    convertOlderFormat(staging.path(), fs);
    swapIntoPlace(staging.path(), dataFolder, plan, fs);

    DataSetResult result;
    result.stamp = stamp;
    return result;
}

}  // namespace quil::folder
