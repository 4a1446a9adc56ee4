#include "folder/FileCopy.h"

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <cstring>
#include <ctime>
#include <optional>
#include <sstream>
#include <vector>

#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

namespace {

constexpr std::size_t kChunk = 1 << 20;

void removeQuietly(const std::string& path, FileSystem& fs) {
    try {
        fs.remove(path);
    } catch (const StoreError&) {
        // Only a temporary file: leaving it costs room, not data.
    }
}

}  // namespace

bool sameContent(const std::string& a, const std::string& b, FileSystem& fs) {
    const bool ea = fs.exists(a), eb = fs.exists(b);
    if (!ea || !eb) return ea == eb;
    auto fa = fs.open(a, OpenMode::Read);
    auto fb = fs.open(b, OpenMode::Read);
    const std::uint64_t size = fa->size();
    if (fb->size() != size) return false;
    std::vector<char> ba(kChunk), bb(kChunk);
    for (std::uint64_t off = 0; off < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - off));
        if (fa->readAt(off, ba.data(), n) != n || fb->readAt(off, bb.data(), n) != n) return false;
        if (std::memcmp(ba.data(), bb.data(), n) != 0) return false;
        off += n;
    }
    return true;
}

void copyVerified(const std::string& from, const std::string& to, FileSystem& fs) {
    const std::string temp = to + ".$$$";
    try {
        {
            auto in = fs.open(from, OpenMode::Read);
            auto out = fs.open(temp, OpenMode::CreateNew);
            const std::uint64_t size = in->size();
            std::vector<char> buf(kChunk);
            for (std::uint64_t off = 0; off < size;) {
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - off));
                const std::size_t got = in->readAt(off, buf.data(), want);
                if (got != want)
                    throw StoreError(fileNameOf(from), "ファイルを最後まで読めませんでした。");
                out->writeAt(off, buf.data(), got);
                off += got;
            }
            out->sync();
        }
        if (!sameContent(from, temp, fs))
            throw StoreError(fileNameOf(to), "コピーした内容が元のファイルと一致しません。");
        fs.rename(temp, to);
    } catch (...) {
        removeQuietly(temp, fs);
        throw;
    }
}

namespace {

constexpr const char* kJournalName = "swap.journal";
constexpr const char* kJournalTitle = "quil-swap 1";
// Written into every staging folder when it is made, with the folder's own inode number: a
// folder of that name without it (a user's folder, a link, a copy brought from elsewhere)
// is not ours and is never changed.
constexpr const char* kStagingMark = "quil.staging";
constexpr const char* kStagingMarkTitle = "quil-staging 1";
constexpr const char* kStagingNames[] = {kRestoreStaging, kImportStaging, kMoveStaging,
                                         kBackupStaging, kCsvStaging,    kPullStaging};

// Whether `entry` is a staging folder's name of the kind `kind`: the kind's name itself (as
// earlier versions made it) or that name, a dot and the run's own suffix.
bool isStagingName(const std::string& entry, const std::string& kind) {
    return entry == kind || (entry.size() > kind.size() + 1 && entry.starts_with(kind) &&
                             entry[kind.size()] == '.');
}

// The entries of `folder` named as staging folders (of `kind` alone when it is given),
// sorted: each run's own and any an earlier version left.
std::vector<std::string> stagingEntries(const std::string& folder, const char* kind = nullptr) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        for (const char* k : kStagingNames)
            if ((!kind || std::string(kind) == k) && isStagingName(name, k)) {
                found.push_back(name);
                break;
            }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string journalText(const SwapPlan& plan) {
    std::string text = std::string(kJournalTitle) + "\n";
    for (const auto& [name, newName] : plan.setAside) text += "aside " + name + " " + newName + "\n";
    for (const std::string& n : plan.put) text += "put " + n + "\n";
    for (const std::string& n : plan.drop) text += "drop " + n + "\n";
    return text + "end\n";
}

// The files SQLite keeps beside QuilExt.db while it writes, which travel with it.
constexpr std::array<std::string_view, 3> kExtensionCompanions{"-journal", "-wal", "-shm"};

// The files a swap may name: the data set's, QuilExt.db's companions and the import's log.
bool isDataSetFile(const std::string& name) {
    if (name == "Quil.qui" || name == "Quil.qud" || name == "QuilExt.db" || name == "Errlog.txt")
        return true;
    for (std::string_view c : kExtensionCompanions)
        if (name == "QuilExt.db" + std::string(c)) return true;
    return false;
}

// The names setAsideName gives `name`: name + "." + digits and '-' + ".old"; a companion of
// QuilExt.db keeps its suffix after that, where SQLite looks for it beside the kept file.
bool isSetAsideName(const std::string& name, const std::string& newName) {
    for (std::string_view c : kExtensionCompanions)
        if (name == "QuilExt.db" + std::string(c))
            return newName.size() > c.size() && newName.ends_with(c) &&
                   isSetAsideName("QuilExt.db", newName.substr(0, newName.size() - c.size()));
    const std::string head = name + ".", tail = ".old";
    if (newName.size() <= head.size() + tail.size() || newName.compare(0, head.size(), head) != 0 ||
        newName.compare(newName.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    for (std::size_t i = head.size(); i < newName.size() - tail.size(); ++i)
        if (!(std::isdigit(static_cast<unsigned char>(newName[i])) || newName[i] == '-'))
            return false;
    return true;
}

std::string readSmallFile(const std::string& path, FileSystem& fs) {
    auto f = fs.open(path, OpenMode::Read);
    // A journal or mark is a few lines: anything larger is not one of ours.
    const std::uint64_t size = std::min<std::uint64_t>(f->size(), 4096);
    std::string text(static_cast<std::size_t>(size), '\0');
    text.resize(f->readAt(0, text.data(), text.size()));
    return text;
}

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at <= line.size()) {
        const std::size_t space = line.find(' ', at);
        words.push_back(line.substr(at, space == std::string::npos ? std::string::npos : space - at));
        if (space == std::string::npos) break;
        at = space + 1;
    }
    return words;
}

// A plan this program could have written: something put, each file named once.
bool planIsSound(const SwapPlan& plan) {
    if (plan.put.empty()) return false;
    const auto unique = [](std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return std::adjacent_find(names.begin(), names.end()) == names.end();
    };
    // A file goes away (dropped or kept aside) once, and is put once; a file kept aside may
    // be put anew in its place, but a dropped one is not put.
    std::vector<std::string> gone = plan.drop;
    for (const auto& aside : plan.setAside) gone.push_back(aside.first);
    std::vector<std::string> putOrDropped = plan.put;
    putOrDropped.insert(putOrDropped.end(), plan.drop.begin(), plan.drop.end());
    return unique(plan.put) && unique(gone) && unique(putOrDropped);
}

enum class JournalState { Complete, CutShort, Invalid };

// Reads a journal. A journal is complete when every line is one this program writes, naming
// only the data-set files of its folder, up to its end line; cut short when it stops before
// that line (it was being written, no file had been touched); anything else is invalid.
JournalState readJournal(const std::string& path, FileSystem& fs, SwapPlan& plan) {
    const std::string text = readSmallFile(path, fs);
    std::size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        const std::size_t nl = text.find('\n', at);
        if (nl == std::string::npos) return JournalState::CutShort;  // a line not finished
        const std::string line = text.substr(at, nl - at);
        at = nl + 1;
        if (first) {
            if (line != kJournalTitle) return JournalState::Invalid;
            first = false;
            continue;
        }
        const std::vector<std::string> w = splitWords(line);
        if (w.size() == 1 && w[0] == "end")
            return at == text.size() && planIsSound(plan) ? JournalState::Complete
                                                          : JournalState::Invalid;
        if (w.size() == 2 && (w[0] == "put" || w[0] == "drop") && isDataSetFile(w[1]))
            (w[0] == "put" ? plan.put : plan.drop).push_back(w[1]);
        else if (w.size() == 3 && w[0] == "aside" && isDataSetFile(w[1]) && isSetAsideName(w[1], w[2]))
            plan.setAside.emplace_back(w[1], w[2]);
        else
            return JournalState::Invalid;
    }
    // No end line yet.
    return JournalState::CutShort;
}

std::uint64_t inodeOf(const std::string& path) {
    std::string entry = path;
    while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
    struct stat st {};
    return ::lstat(entry.c_str(), &st) == 0 ? std::uint64_t(st.st_ino) : 0;
}

// Whether `staging` (with '/') is a folder this program made for this folder: a real folder,
// not a link, holding its mark with the folder's own inode number (a copy has another).
bool isOurStaging(const std::string& staging, FileSystem& fs) {
    if (fs.isLink(staging) || !fs.isDirectory(staging)) return false;
    const std::string mark = staging + kStagingMark;
    if (fs.isLink(mark) || !fs.exists(mark)) return false;
    return readSmallFile(mark, fs) ==
           std::string(kStagingMarkTitle) + "\n" + std::to_string(inodeOf(staging)) + "\n";
}

// A folder a kill left between its making and its mark: empty, or holding only a mark cut
// short. Removing it loses nothing.
bool unmarkedYet(const std::string& staging, FileSystem& fs) {
    if (fs.isLink(staging) || !fs.isDirectory(staging)) return false;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(staging, ec)) {
        if (e.path().filename() != kStagingMark || fs.isLink(e.path().string())) return false;
        if (!std::string(kStagingMarkTitle).append("\n").starts_with(
                readSmallFile(e.path().string(), fs).substr(0, 15)))
            return false;
    }
    return !ec;
}

[[noreturn]] void leftAsFound(const std::string& staging, const std::string& why) {
    throw StoreError(staging, why +
                                  "そのままにしています。中を確かめて、移すか名前を変えてから"
                                  "もう一度実行して下さい。");
}

// The names in an unfinished staging folder that may hold the only copy of a file: the
// files moved aside (".old") and anything this program does not put there.
std::vector<std::string> filesNotOurCopies(const std::string& staging) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(staging, ec)) {
        const std::string name = e.path().filename().string();
        const bool copy = name == kStagingMark || name == kJournalName || isDataSetFile(name) ||
                          (name.size() > 4 && name.ends_with(".$$$") &&
                           isDataSetFile(name.substr(0, name.size() - 4)));
        if (!copy) found.push_back(name);
    }
    if (ec) found.push_back("(" + errnoReason(ec.value()) + ")");
    return found;
}

void syncPut(const std::string& staging, const SwapPlan& plan, FileSystem& fs) {
    for (const std::string& n : plan.put) fs.open(staging + n, OpenMode::Read)->sync();
    fs.syncFolder(staging);
}

// Completes a swap from whatever point it reached; every step can be taken again.
void rollForward(const std::string& staging, const std::string& dataFolder, const SwapPlan& plan,
                 FileSystem& fs) {
    for (const auto& [name, newName] : plan.setAside)
        if (fs.exists(dataFolder + name) && !fs.exists(dataFolder + newName))
            fs.rename(dataFolder + name, dataFolder + newName);
    auto moveAside = [&](const std::string& n) {
        if (fs.exists(dataFolder + n) && !fs.exists(staging + n + ".old"))
            fs.rename(dataFolder + n, staging + n + ".old");
    };
    for (const std::string& n : plan.put)
        if (fs.exists(staging + n)) moveAside(n);
    for (const std::string& n : plan.drop) moveAside(n);
    for (const std::string& n : plan.put)
        if (fs.exists(staging + n)) fs.rename(staging + n, dataFolder + n);
    fs.syncFolder(dataFolder);
}

// Removes the replaced files a completed swap moved into its staging folder. Done before the
// journal goes: a staging folder holding them without its journal could not be told from one
// holding the only copies, and would stay as found.
void dropReplaced(const std::string& staging, const SwapPlan& plan, FileSystem& fs) {
    for (const auto* names : {&plan.put, &plan.drop})
        for (const std::string& n : *names) fs.remove(staging + n + ".old");
}

// Removes a staging folder of ours whose swap never began, unless something in it may be
// the only copy of a file: then it stays as found and the error names it.
void dropUnbegun(const std::string& staging, FileSystem& fs) {
    const std::vector<std::string> kept = filesNotOurCopies(staging);
    if (!kept.empty()) {
        std::string names;
        for (const std::string& n : kept) names += (names.empty() ? "" : ", ") + n;
        leftAsFound(staging, "に置き換え前のファイル (" + names + ") があり、置き換えの記録 (" +
                                 kJournalName + ") が読めません。");
    }
    fs.removeFolder(staging);
}

}  // namespace

std::string stagingRunSuffix() {
    static std::atomic<unsigned> runs{0};
    return std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr) % 100000) + "-" +
           std::to_string(runs++);
}

StagingFolder::StagingFolder(const std::string& dataFolder, const std::string& name,
                             FileSystem& fs, const std::string& run)
    : fs_(fs) {
    // The caller holds the folder's lock: no other run is using a staging folder here, so a
    // leftover of ours is finished (its swap had begun) or cleared (it had not).
    finishPendingSwaps(dataFolder, fs);
    for (const std::string& entry : stagingEntries(dataFolder, name.c_str())) {
        const std::string leftover = dataFolder + entry + "/";
        if (unmarkedYet(leftover, fs))
            fs.removeFolder(leftover);
        else if (!isOurStaging(leftover, fs))
            leftAsFound(leftover, "はこのプログラムが作った作業用フォルダーではないため、");
        else
            dropUnbegun(leftover, fs);
    }
    // A name of this run's own, made new: a folder another run made is never shared.
    for (int attempt = 0;; ++attempt) {
        path_ = dataFolder + name + "." + (run.empty() ? stagingRunSuffix() : run) + "/";
        const bool taken = fs.isLink(path_) || fs.exists(path_) || fs.isDirectory(path_);
        if (taken && !run.empty())
            leftAsFound(path_, "は既にあるため、");
        if (taken) continue;
        try {
            fs.makeFolder(path_);
            break;
        } catch (const StoreError&) {
            // Only a folder made in between under this very name is worth another name.
            if (!run.empty() || attempt >= 3 || !fs.isDirectory(path_)) throw;
        }
    }
    try {
        const std::string mark =
            std::string(kStagingMarkTitle) + "\n" + std::to_string(inodeOf(path_)) + "\n";
        writeNewFile(fs, path_ + kStagingMark, mark);
    } catch (...) {
        try {
            fs.removeFolder(path_);
        } catch (...) {
        }
        throw;
    }
}

StagingFolder::~StagingFolder() {
    try {
        // A journal left here means a swap that could be neither finished nor undone.
        if (!fs_.exists(path_ + kJournalName)) fs_.removeFolder(path_);
    } catch (...) {
        // Only staged copies and the replaced files: the data folder itself is whole.
    }
}

void swapIntoPlace(const std::string& staging, const std::string& dataFolder, const SwapPlan& plan,
                   FileSystem& fs) {
    syncPut(staging, plan, fs);
    try {
        const std::string text = journalText(plan);
        writeNewFile(fs, staging + kJournalName, text);
        fs.syncFolder(staging);
    } catch (...) {
        // Nothing was renamed: without its journal the staging folder is only copies.
        removeQuietly(staging + kJournalName, fs);
        throw;
    }

    struct Step {
        std::string from, to;
    };
    std::vector<Step> done;
    auto rename = [&](const std::string& from, const std::string& to) {
        fs.rename(from, to);
        done.push_back({from, to});
    };
    try {
        for (const auto& [name, newName] : plan.setAside)
            if (fs.exists(dataFolder + name)) rename(dataFolder + name, dataFolder + newName);
        for (const auto* names : {&plan.put, &plan.drop})
            for (const std::string& n : *names)
                if (fs.exists(dataFolder + n)) rename(dataFolder + n, staging + n + ".old");
        for (const std::string& n : plan.put) rename(staging + n, dataFolder + n);
        fs.syncFolder(dataFolder);
    } catch (...) {
        bool undone = true;
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            try {
                fs.rename(it->to, it->from);
            } catch (...) {
                undone = false;  // the journal stays: the next start finishes the swap
            }
        }
        if (undone) removeQuietly(staging + kJournalName, fs);
        throw;
    }
    // The swap is done; a replaced file or a journal that cannot be removed only makes the
    // next start walk through steps that are all taken already.
    try {
        dropReplaced(staging, plan, fs);
        fs.remove(staging + kJournalName);
    } catch (const StoreError&) {
    }
}

bool swapPending(const std::string& folder, FileSystem& fs) {
    for (const std::string& name : stagingEntries(folder))
        if (fs.exists(folder + name + "/" + kJournalName)) return true;
    return false;
}

bool stagingLeftovers(const std::string& folder, FileSystem&) {
    return !stagingEntries(folder).empty();
}

std::vector<std::string> stagingLeftoverNames(const std::string& folder) {
    return stagingEntries(folder);
}

namespace {

// Finishes the swap whose journal the staging folder `name` of `folder` holds. True when
// the swap was completed; false when its journal was cut short and the folder dropped.
bool finishJournal(const std::string& folder, const std::string& name, FileSystem& fs) {
    const std::string staging = folder + name + "/";
    if (!isOurStaging(staging, fs))
        leftAsFound(staging, "はこのプログラムが作った作業用フォルダーではないため、");
    SwapPlan plan;
    switch (readJournal(staging + kJournalName, fs, plan)) {
        case JournalState::Invalid:
            leftAsFound(staging + kJournalName, "は正しい置き換えの記録ではないため、");
        case JournalState::CutShort:
            // Written only part way: no file of the folder had been touched yet.
            dropUnbegun(staging, fs);
            return false;
        case JournalState::Complete:
            break;
    }
    // Every file put in place must be there, staged or already moved in: otherwise the
    // files moved aside would be the only copies.
    for (const std::string& n : plan.put)
        if (!fs.exists(staging + n) && !fs.exists(folder + n))
            leftAsFound(staging, "に置き換える " + n + " がないため、");
    rollForward(staging, folder, plan, fs);
    dropReplaced(staging, plan, fs);
    fs.remove(staging + kJournalName);
    fs.removeFolder(staging);
    return true;
}

}  // namespace

std::vector<std::string> finishPendingSwaps(const std::string& folder, FileSystem& fs) {
    std::vector<std::string> finished;
    for (const std::string& name : stagingEntries(folder))
        if (fs.exists(folder + name + "/" + kJournalName) && finishJournal(folder, name, fs))
            finished.push_back(name);
    return finished;
}

StagingOutcome finishStaging(const std::string& folder, const std::string& name, FileSystem& fs) {
    const std::string staging = folder + name + "/";
    const char* notOurs = "はこのプログラムが作った作業用フォルダーではないため、";
    if (fs.isLink(staging)) leftAsFound(staging, notOurs);
    if (!fs.isDirectory(staging)) {
        if (fs.exists(folder + name)) leftAsFound(staging, notOurs);
        return StagingOutcome::Absent;
    }
    if (fs.exists(staging + kJournalName))
        return finishJournal(folder, name, fs) ? StagingOutcome::Finished : StagingOutcome::Tidied;
    if (unmarkedYet(staging, fs)) {
        fs.removeFolder(staging);
        return StagingOutcome::Tidied;
    }
    if (!isOurStaging(staging, fs)) leftAsFound(staging, notOurs);
    dropUnbegun(staging, fs);
    return StagingOutcome::Tidied;
}

std::vector<std::string> tidyStagingLeftovers(const std::string& folder, FileSystem& fs) {
    std::vector<std::string> tidied;
    for (const std::string& name : stagingEntries(folder)) {
        const std::string staging = folder + name + "/";
        if (unmarkedYet(staging, fs)) {
            fs.removeFolder(staging);
            tidied.push_back(name);
            continue;
        }
        if (!fs.isDirectory(staging) || fs.isLink(staging) || fs.exists(staging + kJournalName) ||
            !isOurStaging(staging, fs))
            continue;  // not ours, or a swap to finish: left to finishPendingSwaps
        try {
            dropUnbegun(staging, fs);
            tidied.push_back(name);
        } catch (const StoreError&) {
            // Something in it may be the only copy of a file: it stays as found.
        }
    }
    return tidied;
}

bool isSetAsideFileName(const std::string& name) {
    for (const char* file : {"Quil.qui", "Quil.qud", "QuilExt.db", "Errlog.txt", "QuilExt.db-journal",
                             "QuilExt.db-wal", "QuilExt.db-shm"})
        if (isSetAsideName(file, name)) return true;
    return false;
}

std::string setAsideName(const std::string& folder, const std::string& name, FileSystem& fs) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char stampText[32];
    std::strftime(stampText, sizeof stampText, "%Y%m%d-%H%M%S", &local);
    const std::string base = name + "." + stampText;
    std::string candidate = base + ".old";
    for (int i = 2; fs.exists(folder + candidate); ++i)
        candidate = base + "-" + std::to_string(i) + ".old";
    return candidate;
}

}  // namespace quil::folder
