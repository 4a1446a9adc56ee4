#include "folder/DataSetFiles.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <sstream>

#include "folder/BackupDestination.h"
#include "folder/DataSet.h"
#include "folder/DataSetAudit.h"
#include "folder/ExportFile.h"
#include "folder/ExtensionFile.h"
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
    // A crash journal of the replaced QuilExt.db goes with it: left beside the new file,
    // SQLite would roll the old database's pages into it.
    for (const std::string& name : extensionCompanionNames(kExtensionFileName))
        if (fs.exists(folder + name)) plan.drop.push_back(name);
    return plan;
}

// Lets SQLite settle the QuilExt.db of `folder` (a crash journal rolled back into it) and
// check it, before it is copied: a copy without its journal would be a torn database.
// Returns the problem; empty for a sound file or none.
std::string settledExtensionProblem(const std::string& folder) {
    return settleExtensionFile(folder + kExtensionFileName);
}

// SQLite's check of a staged QuilExt.db, before it is put in place.
std::optional<DataSetResult> brokenStagedExtension(const std::string& staging,
                                                   const std::vector<std::string>& names) {
    if (!contains(names, kExtensionFileName)) return std::nullopt;
    const std::string problem = extensionIntegrityProblem(staging + kExtensionFileName);
    if (problem.empty()) return std::nullopt;
    return refused(DataSetStatus::BrokenSource,
                   "コピーした" + problem + "何も変更していません。");
}

// Backup and move copy a QuilExt.db SQLite already finds damaged as it is (a copy is
// never worse than its source); a sound one must still be sound once copied.
std::vector<std::string> namesToCheck(const std::string& folder,
                                      const std::vector<std::string>& names) {
    if (!contains(names, kExtensionFileName) || !settledExtensionProblem(folder).empty())
        return {};
    return names;
}

// The first problems `quil-tool check` finds in the data set of `folder`, dates after today
// aside: a backup may hold a record the program stored with a date still to come.
std::optional<DataSetResult> auditRefusal(const std::string& folder, FileSystem& fs) {
    const auto problems = auditDataSet(folder, std::numeric_limits<double>::max(), fs);
    if (problems.empty()) return std::nullopt;
    constexpr std::size_t kNamed = 5;
    std::string text = "このバックアップは壊れているため読み込めません。何も変更していません。\n";
    for (std::size_t i = 0; i < problems.size() && i < kNamed; ++i) text += problems[i] + "\n";
    if (problems.size() > kNamed)
        text += "ほかに " + std::to_string(problems.size() - kNamed) + " 件の問題があります。\n";
    return refused(DataSetStatus::BrokenSource, text);
}

// Whether `a` holds records or a last date `b` does not (a copy of the same data set that
// has gone on without `b`).
bool newerThan(const DataSetSummary& a, const DataSetSummary& b) {
    return a.records > b.records || a.lastDate > b.lastDate;
}

std::string describe(const DataSetSummary& d) {
    if (!d.readable) return "読めないか壊れたデータ";
    std::string text = "車両 " + std::to_string(d.vehicles) + " 台、記録 " +
                       withThousands(d.records) + " 件";
    if (d.records > 0) text += "、最後の記録 " + formatDate(d.lastDate);
    return text;
}

// The question before a data set in `folder` is replaced by `ours`, both shown.
DataSetResult replaceQuestion(const std::string& folder, const DataSetSummary& there,
                              const DataSetSummary& ours) {
    std::string text = folder + " には既にデータがあります。\n" + "　置き換えるデータ: " +
                       describe(there) + "\n" + "　今のデータ　　　: " + describe(ours) + "\n";
    if (there.readable && there.stamp != ours.stamp)
        text += "これは今のデータとは別に作られたデータです（作成 " + formatDate(there.stamp) +
                " " + formatTime(there.stamp) + "）。\n";
    else if (there.readable && newerThan(there, ours))
        text += "これは今のデータのコピーですが、今のデータにない記録があります。\n";
    else if (there.readable)
        text += "これは今のデータの以前のコピーです。\n";
    text += "このデータを置き換えますか？";
    return refused(DataSetStatus::ReplaceOther, text);
}

// The question before the data set of `folder` is replaced by a backup, both shown.
DataSetResult restoreQuestion(const std::string& folder, const DataSetSummary& current,
                              const DataSetSummary& backup) {
    std::string text = "　読み込むデータ: " + describe(backup) + "\n" + "　現在のデータ　: " +
                       describe(current) + "\n";
    if (backup.records == 0)
        text += "読み込むデータには記録がありません。\n";
    else if (current.readable && current.stamp == backup.stamp && newerThan(current, backup))
        text += "現在のデータには、読み込むデータにない記録があります。\n";
    text += "現在のデータは " + folder +
            " に別の名前で残し、読み込むデータで置き換えます。よろしいですか？";
    return refused(DataSetStatus::ReplaceOther, text);
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
    if (!fs.exists(folder + kExtensionFileName)) return;
    const std::string aside = setAsideName(folder, kExtensionFileName, fs);
    plan.setAside.emplace_back(kExtensionFileName, aside);
    // Its crash journal stays with it, under the name SQLite looks for beside the kept file.
    const std::string name = kExtensionFileName;
    for (const std::string& companion : extensionCompanionNames(name))
        if (fs.exists(folder + companion))
            plan.setAside.emplace_back(companion, aside + companion.substr(name.size()));
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
    const DataSetSummary ours = summarizeDataSet(dataFolder, fs);
    // Another data set, or a copy of this one that holds what this one does not, is
    // replaced only with consent.
    const bool asks = there.present && (!there.readable || there.stamp != ours.stamp ||
                                        newerThan(there, ours));
    if (asks && !consent.otherDataSet) return replaceQuestion(destFolder, there, ours);
    const std::vector<std::string> names = presentFiles(dataFolder, fs);
    if (names.empty()) return refused(DataSetStatus::NoSourceData, dataFolder + " にデータがありません。");
    const std::vector<std::string> checked = namesToCheck(dataFolder, names);
    const SwapPlan plan = replacingPlan(names, destFolder, fs);
    if (auto refusal = readOnlyRefusal(destFolder, plan, fs)) return *refusal;

    // The data folder names the destination while the backup runs, so that a backup killed
    // part way is finished there by the next start on the data folder.
    const std::string run = stagingRunSuffix();
    const BackupDestinationRecord record(dataFolder, destFolder, run, fs);
    StagingFolder staging(destFolder, kBackupStaging, fs, run);
    stageCopies(dataFolder, names, staging.path(), fs);
    if (auto refusal = brokenStagedExtension(staging.path(), checked)) return *refusal;
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
        return replaceQuestion(newFolder, there, summarizeDataSet(dataFolder, fs));
    const std::vector<std::string> names = presentFiles(dataFolder, fs);
    const std::vector<std::string> checked = namesToCheck(dataFolder, names);
    const SwapPlan plan = replacingPlan(names, newFolder, fs);
    if (auto refusal = readOnlyRefusal(newFolder, plan, fs)) return *refusal;
    {
        StagingFolder staging(newFolder, kMoveStaging, fs);
        stageCopies(dataFolder, names, staging.path(), fs);
        if (auto refusal = brokenStagedExtension(staging.path(), checked)) return *refusal;
        swapIntoPlace(staging.path(), newFolder, plan, fs);
    }
    if (switchFolder) switchFolder();
    // Every copy has been read back and the new folder is in use: only now may the old
    // folder give its files up. The item file stays behind, as it always has.
    DataSetResult result;
    std::vector<std::string> gone = {"Item.dat", kRecordFileName, kExtensionFileName};
    for (const std::string& name : extensionCompanionNames(kExtensionFileName))
        if (fs.exists(dataFolder + name)) gone.push_back(name);
    for (const std::string& name : gone) {
        try {
            fs.remove(dataFolder + name);
        } catch (const StoreError& e) {
            result.message += name + ": " + e.reason() + "\n";
        }
    }
    if (!result.message.empty())
        result.message =
            "データは移動しましたが、元のフォルダの次のファイルを削除できません"
            "でした。\n" +
            result.message;
    return result;
}

namespace {

// The list of the files the last restore kept aside, in the data folder.
constexpr const char* kKeptListName = "Quil.kept";

// The names the last restore's list holds that this program gives kept files; anything
// else in it is ignored.
std::vector<std::string> keptByEarlierRestore(const std::string& folder, FileSystem& fs) {
    std::vector<std::string> names;
    const std::string path = folder + kKeptListName;
    if (!fs.exists(path) || fs.isLink(path)) return names;
    try {
        auto f = fs.open(path, OpenMode::Read);
        std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(f->size(), 4096)), '\0');
        text.resize(f->readAt(0, text.data(), text.size()));
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (isSetAsideFileName(line)) names.push_back(line);
    } catch (const StoreError&) {
    }
    return names;
}

}  // namespace

DataSetResult restoreDataSet(const std::string& dataFolder, const std::string& sourceFolder,
                             FileSystem& fs, ReplaceConsent consent) {
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
    const char* cannot = "このバックアップは読み込めません。何も変更していません。";
    if (const std::string problem = settledExtensionProblem(sourceFolder); !problem.empty())
        return refused(DataSetStatus::BrokenSource, problem + cannot);
    // Records of the older format are checked once converted, in the staging folder.
    if (!checkDataSet(sourceFolder, fs).convertRecords)
        if (auto refusal = auditRefusal(sourceFolder, fs)) return *refusal;
    const DataSetSummary current = summarizeDataSet(dataFolder, fs);
    if (current.present && !consent.otherDataSet)
        return restoreQuestion(dataFolder, current, summarizeDataSet(sourceFolder, fs));
    const std::vector<std::string> names = presentFiles(sourceFolder, fs);
    // The replaced data set is kept beside the new one, a crash journal of its QuilExt.db
    // with it (under the name SQLite looks for beside the kept file).
    SwapPlan plan;
    plan.put = names;
    for (const std::string& name : presentFiles(dataFolder, fs))
        if (name != kExtensionFileName)
            plan.setAside.emplace_back(name, setAsideName(dataFolder, name, fs));
    setAsideExtensionFile(plan, dataFolder, fs);
    std::string kept;
    for (const auto& aside : plan.setAside) kept += "\n　" + dataFolder + aside.second;
    if (auto refusal = readOnlyRefusal(dataFolder, plan, fs)) return *refusal;

    StagingFolder staging(dataFolder, kRestoreStaging, fs);
    stageCopies(sourceFolder, names, staging.path(), fs);
    // Copied files are checked again: the source may have changed between check and copy.
    if (auto refusal = verify(staging.path())) return *refusal;
    if (auto refusal = brokenStagedExtension(staging.path(), names)) return *refusal;
    const double stamp = checkDataSet(staging.path(), fs).stamp;
    convertOlderFormat(staging.path(), fs);
    if (auto refusal = auditRefusal(staging.path(), fs)) return *refusal;
    const std::vector<std::string> earlier = keptByEarlierRestore(dataFolder, fs);
    swapIntoPlace(staging.path(), dataFolder, plan, fs);

    DataSetResult result;
    result.stamp = stamp;
    if (!kept.empty()) result.message = "置き換える前のデータは次のファイルに残しました。" + kept;
    // What the restore before this one kept is given up now that this one is done; only
    // the files its list names under the names this program gives are removed.
    std::string removed;
    for (const std::string& name : earlier) {
        const bool keptNow = std::any_of(plan.setAside.begin(), plan.setAside.end(),
                                         [&](const auto& aside) { return aside.second == name; });
        if (keptNow || !fs.exists(dataFolder + name) || fs.isLink(dataFolder + name)) continue;
        try {
            fs.remove(dataFolder + name);
            removed += "\n　" + dataFolder + name;
        } catch (const StoreError&) {
            // Left where it is: it costs room, not data.
        }
    }
    std::string list;
    for (const auto& aside : plan.setAside) list += aside.second + "\n";
    try {
        FileBeside file(dataFolder + kKeptListName, FileRole::ProgramFile, fs);
        file.write(list);
        file.commit();
    } catch (const StoreError&) {
        // Without the list the kept files stay until the user removes them.
    }
    if (!removed.empty())
        result.message += (result.message.empty() ? "" : "\n") +
                          std::string("前回の復元で残したデータを削除しました。") + removed;
    return result;
}

}  // namespace quil::folder
