#include "folder/BackupDestination.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

#include "folder/DataSetFiles.h"
#include "folder/FileCopy.h"
#include "folder/FolderLock.h"
#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

namespace {

constexpr const char* kRecordTitle = "quil-backup-to 1";

std::uint64_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_ino) : 0;
}

void removeQuietly(const std::string& path, FileSystem& fs) {
    try {
        fs.remove(path);
    } catch (const StoreError&) {
        // Only the record: left, it names a folder with nothing left to finish.
    }
}

std::string recordText(const std::string& path, const std::string& staging,
                       const std::string& dest) {
    return std::string(kRecordTitle) + "\n" + std::to_string(inodeOf(path)) + "\n" + staging +
           "\n" + dest + "\nend\n";
}

// A run's suffix as stagingRunSuffix makes it: digits and '-'.
bool soundRun(const std::string& run) {
    return !run.empty() && std::all_of(run.begin(), run.end(), [](unsigned char c) {
        return std::isdigit(c) || c == '-';
    });
}

struct Record {
    enum class State { Sound, CutShort, NotOurs } state = State::NotOurs;
    std::string staging;  // the staging folder's name in the destination
    std::string dest;     // the destination, with '/'
};

Record readRecord(const std::string& folder, const std::string& name, FileSystem& fs) {
    Record r;
    const std::string path = folder + name;
    if (fs.isLink(path) || !fs.exists(path)) return r;
    std::string text;
    try {
        auto f = fs.open(path, OpenMode::Read);
        // A destination's path is at most PATH_MAX: anything larger is not a record of ours.
        text.resize(static_cast<std::size_t>(std::min<std::uint64_t>(f->size(), 8192)));
        text.resize(f->readAt(0, text.data(), text.size()));
    } catch (const StoreError&) {
        return r;
    }
    const std::string run = name.substr(std::string(kBackupRecordPrefix).size());
    const std::string staging = std::string(kBackupStaging) + "." + run;
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(text.substr(at, nl - at));
    const std::vector<std::string> expected = {kRecordTitle, std::to_string(inodeOf(path)),
                                               staging};
    // Every whole line what this program writes there, up to the destination's.
    for (std::size_t i = 0; i < lines.size() && i < expected.size(); ++i)
        if (lines[i] != expected[i]) return r;
    if (!soundRun(run)) return r;
    if (lines.size() < 5 || at != text.size()) {
        // Stopped while it was written: the destination had not been touched yet.
        r.state = lines.size() < 5 && text.size() < 8192 ? Record::State::CutShort
                                                          : Record::State::NotOurs;
        return r;
    }
    if (lines.size() != 5 || lines[4] != "end") return r;
    r.state = Record::State::Sound;
    r.staging = staging;
    r.dest = lines[3];
    return r;
}

// The destination as recorded: an absolute path to a folder, reached through no link (its
// path is its own canonical form), that is not the data folder.
bool soundDestination(const std::string& dest, const std::string& dataFolder) {
    if (dest.size() < 2 || dest.front() != '/' || dest.back() != '/') return false;
    const std::string bare = dest.substr(0, dest.size() - 1);
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::canonical(bare, ec);
    if (ec || canonical.string() != bare || !std::filesystem::is_directory(canonical, ec))
        return false;
    return !sameFolder(dest, dataFolder);
}

std::vector<std::string> recordNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with(kBackupRecordPrefix)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

BackupDestinationRecord::BackupDestinationRecord(const std::string& dataFolder,
                                                 const std::string& destFolder,
                                                 const std::string& run, FileSystem& fs)
    : fs_(fs) {
    const std::string stagingName = std::string(kBackupStaging) + "." + run;
    std::error_code ec;
    std::string dest = std::filesystem::canonical(destFolder, ec).string();
    staging_ = destFolder + stagingName + "/";
    if (ec || dest.find('\n') != std::string::npos) return;
    dest = withSeparator(dest);
    const std::string path = dataFolder + kBackupRecordPrefix + run;
    try {
        auto f = fs.open(path, OpenMode::Exclusive);
        record_ = path;
        const std::string text = recordText(path, stagingName, dest);
        f->writeAt(0, text.data(), text.size());
        f->sync();
        f.reset();
        fs.syncFolder(dataFolder);
    } catch (const StoreError&) {
        // Without the record the next backup into that folder still finishes what this one
        // leaves there.
        if (!record_.empty()) removeQuietly(record_, fs);
        record_.clear();
    }
}

BackupDestinationRecord::~BackupDestinationRecord() {
    if (record_.empty()) return;
    try {
        if (fs_.isDirectory(staging_) || fs_.isLink(staging_)) return;
    } catch (const StoreError&) {
        return;
    }
    removeQuietly(record_, fs_);
}

std::vector<std::string> finishInterruptedBackups(const std::string& dataFolder, FileSystem& fs) {
    std::vector<std::string> notes;
    for (const std::string& name : recordNames(dataFolder)) {
        const std::string path = dataFolder + name;
        const Record record = readRecord(dataFolder, name, fs);
        if (record.state == Record::State::CutShort) {
            removeQuietly(path, fs);
            continue;
        }
        if (record.state == Record::State::NotOurs) {
            notes.push_back(path +
                            " はこのプログラムが書いたバックアップの記録と確かめられないため、"
                            "そのままにしています。");
            continue;
        }
        if (!soundDestination(record.dest, dataFolder)) {
            notes.push_back(path + " の示すバックアップ先 " + record.dest +
                            " は見つからないか、リンクを通るため、何も変更していません。");
            continue;
        }
        FolderLock lock(record.dest);
        if (!lock.acquire()) {
            // Held: a backup is running there, and it finishes what it began. A folder that
            // cannot take the lock (a read-only medium) is named.
            if (lock.creationError() != 0)
                notes.push_back(record.dest + " の中断されたバックアップを片付けられません。" +
                                lock.failure());
            continue;
        }
        const std::string staging = record.dest + record.staging;
        try {
            switch (finishStaging(record.dest, record.staging, fs)) {
                case StagingOutcome::Finished:
                    notes.push_back("中断されていたバックアップを完了しました (" + staging + ")。");
                    break;
                case StagingOutcome::Tidied:
                    notes.push_back("中断されたバックアップの作業用フォルダー (" + staging +
                                    ") を片付けました。");
                    break;
                case StagingOutcome::Absent:
                    break;
            }
            removeQuietly(path, fs);
        } catch (const StoreError& e) {
            notes.push_back(e.what());
        }
    }
    return notes;
}

}  // namespace quil::folder
