#pragma once
// The careful file steps the data-set commands are built from: a copy that is read back
// before it counts, a staging folder, and the swap of a staged data set into place by
// renames, written down first in a journal so that a swap cut short by a crash is finished
// by the next start instead of leaving a folder without its data set.

#include <string>
#include <vector>

#include "store/FileSystem.h"

namespace quil::folder {

// Copies `from` to `to` through `to` + ".$$$": writes, syncs, reads back and compares every
// byte with the source, then renames over `to`. On any failure the temporary file is removed
// and StoreError (naming the file and the reason) is raised; `to` is left as it was.
void copyVerified(const std::string& from, const std::string& to, store::FileSystem& fs);

// Whether two files hold the same bytes (a missing file equals only a missing file).
bool sameContent(const std::string& a, const std::string& b, store::FileSystem& fs);

// The staging folders the data-set commands build in, each inside the folder it changes;
// each run's own is the kind's name, a dot and a suffix of that run ("Quil.$restore.4711-…").
inline constexpr const char* kRestoreStaging = "Quil.$restore";
inline constexpr const char* kImportStaging = "Quil.$import";
inline constexpr const char* kMoveStaging = "Quil.$move";
inline constexpr const char* kBackupStaging = "Quil.$backup";
inline constexpr const char* kCsvStaging = "quil-import.tmp";
inline constexpr const char* kPullStaging = "Quil.$pull";

// A staging folder inside a data folder, made new under a name of this run's own and marked
// as this program's; the caller holds the folder's lock. A leftover of an earlier command
// that had begun its swap is finished first; one of ours of the same kind that had not is
// cleared. Anything else named as one (a link, a folder the user made, a copy brought from
// another folder) is left as found and StoreError names it. The folder is removed with
// what it holds when it goes, unless a swap begun in it could not be finished or undone:
// then it stays, journal and all, for the next start to finish.
class StagingFolder {
public:
    // `dataFolder` ends with '/'. With `run` (from stagingRunSuffix) the folder is named
    // `name` + "." + `run`, a name given out before it is made; a folder already of that name
    // is refused (StoreError).
    StagingFolder(const std::string& dataFolder, const std::string& name,
                  store::FileSystem& fs = store::FileSystem::current(), const std::string& run = {});
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    store::FileSystem& fs_;
};

// What a swap does to the files of the data folder.
struct SwapPlan {
    std::vector<std::string> put;   // staged files that replace (or join) the folder's
    std::vector<std::string> drop;  // files of the folder that go with the replaced set
    // Files of the folder kept under a new name beside it: {name, new name}.
    std::vector<std::pair<std::string, std::string>> setAside;
};

// Puts the staged files in place as `plan` says. The plan is first written to a journal in
// the staging folder and synced; then the current files are moved aside into the staging
// folder, the staged ones moved in, and the journal removed. A failing rename undoes the
// renames done so far, so the folder holds either all the old files or all the new ones;
// a crash part way leaves the journal, and finishPendingSwaps completes the swap.
void swapIntoPlace(const std::string& staging, const std::string& dataFolder, const SwapPlan& plan,
                   store::FileSystem& fs);

// True when `folder` holds a staging folder whose swap was begun and not finished.
bool swapPending(const std::string& folder, store::FileSystem& fs = store::FileSystem::current());

// Finishes every swap begun and not finished in `folder` (the new data set goes in place, as
// the command that began it had verified it) and removes its staging folder. Returns the
// names of the staging folders it finished. Only a staging folder of ours whose journal
// names nothing but the folder's data-set files is followed; any other (a link, a folder
// without our mark, a journal this program did not write) raises StoreError naming it and
// is left exactly as found, as is one holding files moved aside whose journal is cut short.
// Raises StoreError when a rename fails; the journal then stays for another attempt.
std::vector<std::string> finishPendingSwaps(const std::string& folder,
                                            store::FileSystem& fs = store::FileSystem::current());

// A suffix of this run no other run uses ("<pid>-<time>-<n>"), for a staging folder's name.
std::string stagingRunSuffix();

// What finishStaging did.
enum class StagingOutcome {
    Absent,    // no such folder: nothing to do
    Finished,  // its swap was begun and is now complete
    Tidied,    // its swap never began: it held only copies and is gone
};

// The same for the one staging folder `name` of `folder`: its swap finished, or the folder
// removed when its swap never began and it holds nothing but copies. A link, a folder without
// our mark, a journal this program did not write or anything that may be the only copy of a
// file is left exactly as found and raises StoreError naming it.
StagingOutcome finishStaging(const std::string& folder, const std::string& name,
                             store::FileSystem& fs = store::FileSystem::current());

// True when `folder` holds anything named as a staging folder.
bool stagingLeftovers(const std::string& folder,
                      store::FileSystem& fs = store::FileSystem::current());
// The names of what `folder` holds under a staging folder's name, sorted: after
// finishPendingSwaps and tidyStagingLeftovers, what is not provably ours and stays as found.
std::vector<std::string> stagingLeftoverNames(const std::string& folder);

// Removes the staging folders of ours in `folder` whose swap never began (a command killed
// while it copied) and that hold nothing but copies. Returns their names.
std::vector<std::string> tidyStagingLeftovers(const std::string& folder,
                                              store::FileSystem& fs = store::FileSystem::current());

// Whether `name` is one setAsideName gives a data-set file ("Quil.qud.20261210-071500.old").
bool isSetAsideFileName(const std::string& name);

// A name under which a file of the replaced data set is kept: "QuilExt.db" becomes
// "QuilExt.db.yyyymmdd-hhmmss.old" (local time), with "-2", "-3" … when that name is taken.
std::string setAsideName(const std::string& folder, const std::string& name, store::FileSystem& fs);

}  // namespace quil::folder
