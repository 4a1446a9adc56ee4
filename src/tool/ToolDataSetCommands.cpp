// quil-tool's backup, restore and import-legacy: the folder dialog's own functions, with
// their staging and verification, run from the command line.

#include <chrono>
#include <filesystem>

#include "folder/BackupDestination.h"
#include "folder/DataSetFiles.h"
#include "folder/FileCopy.h"
#include "store/ItemStore.h"
#include "store/Settings.h"
#include "tool/ToolProgress.h"
#include "tool/ToolRunner.h"

namespace quil::tool {

namespace {

// How long a command waits for another holder of a folder's lock to finish.
constexpr auto kLockWait = std::chrono::seconds(3);

int report(std::ostream& err, const folder::DataSetResult& result) {
    err << "quil-tool: " << result.message << '\n';
    return kExitProblems;
}

}  // namespace

bool ToolRunner::refuseWhileOpen(const std::string& folder, const std::string& command) {
    for (const auto& lock : locks_)
        if (folder::sameFolder(lock->folder(), folder)) return false;
    auto lock = std::make_unique<folder::FolderLock>(folder);
    if (lock->acquire(kLockWait)) {
        locks_.push_back(std::move(lock));
        return false;
    }
    err_ << "quil-tool: " << command << ": " << lock->failure() << "何も変更していません。\n";
    return true;
}

bool ToolRunner::finishCutShortSwap(const std::string& folder, const std::string& command) {
    // A backup from this folder a kill cut short is finished in the folder it was going to.
    for (const std::string& note : folder::finishInterruptedBackups(folder))
        err_ << "quil-tool: " << note << '\n';
    if (!folder::swapPending(folder) && !folder::stagingLeftovers(folder)) return true;
    if (refuseWhileOpen(folder, command)) return false;
    for (const std::string& staging : folder::finishPendingSwaps(folder))
        err_ << "quil-tool: 中断されていたデータの置き換えを完了しました (" << folder << staging
             << ")。\n";
    for (const std::string& staging : folder::tidyStagingLeftovers(folder))
        err_ << "quil-tool: 中断された作業の残り (" << folder << staging
             << ") を片付けました。データは変わっていません。\n";
    for (const std::string& name : folder::stagingLeftoverNames(folder))
        err_ << "quil-tool: " << folder << name
             << " はこのプログラムが作ったものと確かめられないため、そのままにしています。\n";
    return true;
}

int ToolRunner::backup(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    folder::ReplaceConsent consent;
    for (const std::string& a : args) {
        if (a == "--replace")
            consent.otherDataSet = true;
        else if (a.rfind("--", 0) == 0)
            return usage("不明なオプションです: " + a, "backup");
        else
            words.push_back(a);
    }
    if (words.size() != 1)
        return usage("バックアップ先のフォルダーを 1 つ指定して下さい。", "backup");
    std::error_code ec;
    if (!std::filesystem::is_directory(words[0], ec)) {
        err_ << "quil-tool: バックアップ先のフォルダーがありません: " << words[0] << '\n';
        return kExitIo;
    }
    const std::string dest = asFolder(words[0]);
    // A folder the program is using keeps its own data set: a backup there would replace it.
    if (!folder::sameFolder(dest, dataFolder()) && refuseWhileOpen(dest, "backup"))
        return kExitProblems;
    const auto result =
        folder::backupDataSet(dataFolder(), dest, store::FileSystem::current(), consent);
    if (result.status == folder::DataSetStatus::ReplaceOther) {
        err_ << "quil-tool: " << result.message << '\n'
             << "置き換えるときは --replace を付けて下さい。何も変更していません。\n";
        return kExitProblems;
    }
    if (!result.done()) return report(err_, result);
    out_ << "バックアップが完了しました。\n";
    return kExitOk;
}

int ToolRunner::restore(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    bool replace = false;
    for (const std::string& a : args) {
        if (a == "--replace")
            replace = true;
        else if (a.rfind("--", 0) == 0)
            return usage("不明なオプションです: " + a, "restore");
        else
            words.push_back(a);
    }
    if (words.size() != 1) return usage("読み込むフォルダーを 1 つ指定して下さい。", "restore");
    const std::string data = dataFolder();
    if (refuseWhileOpen(data, "restore")) return kExitProblems;
    // A backup cut short in the source is finished there: that folder is written too, unless
    // it cannot be (a read-only medium, where nobody else writes either).
    const std::string source = asFolder(words[0]);
    if (!folder::sameFolder(source, data) && folder::swapPending(source) &&
        refuseWhileOpen(source, "restore"))
        return kExitProblems;
    auto& fs = store::FileSystem::current();
    auto result = folder::restoreDataSet(data, source, fs);
    if (result.status == folder::DataSetStatus::ReplaceOther) {
        // Naming the backup is the user's answer, unless it holds no record at all: a data
        // set would then give way to an empty one.
        if (folder::summarizeDataSet(source, fs).records == 0 && !replace) {
            err_ << "quil-tool: " << result.message << '\n'
                 << "記録のないデータで置き換えるときは --replace を付けて下さい。"
                    "何も変更していません。\n";
            return kExitProblems;
        }
        result = folder::restoreDataSet(data, source, fs, {.otherDataSet = true});
    }
    if (!result.done()) return report(err_, result);
    out_ << "読み込みが完了しました。\n";
    if (!result.message.empty()) out_ << result.message << '\n';
    return kExitOk;
}

int ToolRunner::importLegacy(const std::vector<std::string>& args) {
    if (args.size() != 1) return usage("読み込むフォルダーを 1 つ指定して下さい。", "import-legacy");
    const std::string data = dataFolder();
    if (refuseWhileOpen(data, "import-legacy")) return kExitProblems;
    ToolProgress progress(err_, errIsTerminal_, "import-legacy");
    const auto result = folder::importLegacyDataSet(
        data, asFolder(args[0]), [&progress](std::int64_t done, std::int64_t total) {
            progress(done, total);
            return true;
        });
    if (!result.done()) return report(err_, result);
    // As the program does: every imported vehicle is shown, and the one user. Only the
    // program's own data set has its masks in the program's Quil.ini.
    std::error_code ec;
    if (std::filesystem::equivalent(data, programsDataFolder(), ec)) {
        store::Settings settings(programFolder_);
        const auto vehicles = store::ItemStore(data).listLive(store::ItemKind::Vehicle).size();
        settings.setCarMask(std::string(vehicles, '1'));
        settings.setDriverMask("1");
    } else {
        out_ << "表示する車両と使用者は、このデータを開いたプログラムの表示設定で選んで下さい。\n";
    }
    out_ << "読み込みが完了しました。\n";
    if (result.logLines > 0)
        out_ << "変換ログに" << result.logLines << "件の記録があります：" << result.logPath << '\n';
    return kExitOk;
}

}  // namespace quil::tool
