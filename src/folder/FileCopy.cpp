#include "folder/FileCopy.h"

#include <cerrno>
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
            auto out = fs.open(temp, OpenMode::Create);
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
constexpr const char* kStagingNames[] = {kRestoreStaging, kImportStaging, kMoveStaging,
                                         kBackupStaging};

std::string journalText(const SwapPlan& plan) {
    std::string text = std::string(kJournalTitle) + "\n";
    for (const auto& [name, newName] : plan.setAside) text += "aside " + name + " " + newName + "\n";
    for (const std::string& n : plan.put) text += "put " + n + "\n";
    for (const std::string& n : plan.drop) text += "drop " + n + "\n";
    return text + "end\n";
}

// The plan of a journal; nothing when the journal was not written to its end (the swap had
// not begun: no file of the data folder was touched).
std::optional<SwapPlan> readJournal(const std::string& path, FileSystem& fs) {
    auto f = fs.open(path, OpenMode::Read);
    std::string text(static_cast<std::size_t>(f->size()), '\0');
    text.resize(f->readAt(0, text.data(), text.size()));
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kJournalTitle) return std::nullopt;
    SwapPlan plan;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string verb, a, b;
        words >> verb >> a >> b;
        if (verb == "end") return plan;
        if (verb == "put" && !a.empty()) plan.put.push_back(a);
        else if (verb == "drop" && !a.empty()) plan.drop.push_back(a);
        else if (verb == "aside" && !a.empty() && !b.empty()) plan.setAside.emplace_back(a, b);
        else return std::nullopt;
    }
    return std::nullopt;
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

}  // namespace

StagingFolder::StagingFolder(const std::string& dataFolder, const std::string& name,
                             FileSystem& fs)
    : path_(dataFolder + name + "/"), fs_(fs) {
    finishPendingSwaps(dataFolder, fs);
    fs.removeFolder(path_);
    fs.makeFolder(path_);
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
        auto journal = fs.open(staging + kJournalName, OpenMode::Create);
        journal->writeAt(0, text.data(), text.size());
        journal->sync();
        journal.reset();
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
    // The swap is done; a journal that cannot be removed only makes the next start walk
    // through steps that are all taken already.
    removeQuietly(staging + kJournalName, fs);
}

bool swapPending(const std::string& folder, FileSystem& fs) {
    for (const char* name : kStagingNames)
        if (fs.exists(folder + name + "/" + kJournalName)) return true;
    return false;
}

std::vector<std::string> finishPendingSwaps(const std::string& folder, FileSystem& fs) {
    std::vector<std::string> finished;
    for (const char* name : kStagingNames) {
        const std::string staging = folder + name + "/";
        if (!fs.exists(staging + kJournalName)) continue;
        if (const auto plan = readJournal(staging + kJournalName, fs))
            rollForward(staging, folder, *plan, fs);
        fs.remove(staging + kJournalName);
        fs.removeFolder(staging);
        finished.push_back(name);
    }
    return finished;
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
