#pragma once
// Moving, backing up, restoring and importing a whole data set without ever losing the
// only copy of a file. Every function works through the file-system seam, so tests can
// fail any write, sync, rename, remove or open; none of them touches Data.idx or Quil.ini.
//
// Folders end with '/'. A failure that ends a command raises store::StoreError naming the
// file and the reason; a command that is refused before anything is written returns a
// result that is not done, with the message to show.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "folder/FileCopy.h"
#include "store/FileSystem.h"

namespace quil::folder {

inline constexpr const char* kExtensionFileName = "QuilExt.db";
inline constexpr const char* kImportLogFileName = "Errlog.txt";

enum class DataSetStatus {
    Done,
    SameFolder,     // the destination is the data folder itself: nothing changed
    NoSourceData,   // the source has no data set ("読み込みデータがありません！")
    BrokenSource,   // the source's files are damaged or do not belong together
    Cancelled,      // the user cancelled a long import: nothing changed
    ReplaceOther,   // the destination holds another data set: the message asks to replace it
    ReadOnlyFile,   // a file that would be replaced is read-only or a link: nothing changed
};

// What the command may replace beyond what it always does.
struct ReplaceConsent {
    // The destination's data set (for a backup one of another stamp, or a copy holding
    // records or a last date the source lacks; for a move and a restore any) may be
    // replaced. Without it such a destination gives ReplaceOther, whose message asks with
    // both data sets shown, and nothing changes.
    bool otherDataSet = false;
};

// A short account of the data set in a folder, for the question before replacing it.
struct DataSetSummary {
    bool present = false;   // Quil.qui, Quil.qud or QuilExt.db is there
    bool readable = false;  // its item file's first record could be read
    double stamp = 0;
    std::size_t vehicles = 0;  // live vehicles
    std::int64_t records = 0;  // records in Quil.qud, deleted ones included
    double lastDate = 0;       // date of the last record; 0 without records
};
DataSetSummary summarizeDataSet(const std::string& folder,
                                store::FileSystem& fs = store::FileSystem::current());

// Problems of a QuilExt.db that make it no SQLite database (a text file, a cut copy); empty
// for a sound one. Only the file's structure is read, no SQL.
std::string extensionFileProblem(const std::string& path,
                                 store::FileSystem& fs = store::FileSystem::current());

struct DataSetResult {
    DataSetStatus status = DataSetStatus::Done;
    std::string message;  // Japanese, ready to show when not done
    double stamp = 0;     // restore and import: the stamp of the data set now in place
    int logLines = 0;     // import: lines written to Errlog.txt besides title and ending
    std::string logPath;  // import: where Errlog.txt is
    bool done() const { return status == DataSetStatus::Done; }
};

// Refusal (ReadOnlyFile) when a file `plan` would replace, drop or set aside in `folder` is
// read-only; nothing when none is.
std::optional<DataSetResult> readOnlyRefusal(const std::string& folder, const SwapPlan& plan,
                                             store::FileSystem& fs);
// Adds the folder's QuilExt.db, when it has one, to the files `plan` sets aside: its rows name
// the items of the data set being replaced.
void setAsideExtensionFile(SwapPlan& plan, const std::string& folder, store::FileSystem& fs);

// True when `a` and `b` name the same folder, however they are spelt (symbolic links,
// "..", a trailing separator). Folders that do not exist are compared by their text.
bool sameFolder(const std::string& a, const std::string& b);

// Copies Quil.qui, Quil.qud and QuilExt.db, each only when it exists in `dataFolder`, into
// `destFolder` (which must exist). Every file is copied into a staging folder there, synced,
// read back and compared byte for byte, and only then do the copies replace the older backup
// together (a data-set file the source lacks goes with it), so a failure leaves the older
// backup whole. A destination holding another data set (another stamp, or unreadable), or a
// copy of this one with more records or a later last record, is replaced only with
// consent; a read-only file there is never replaced. QuilExt.db is first opened through
// SQLite (so a crash journal is rolled back into it), and its copy passes SQLite's
// integrity check before it is put in place; the destination's old journal goes with the
// replaced file. Move does the same.
DataSetResult backupDataSet(const std::string& dataFolder, const std::string& destFolder,
                            store::FileSystem& fs = store::FileSystem::current(),
                            ReplaceConsent consent = {});

// Replaces the data set of `dataFolder` by the one in `sourceFolder`. The source must hold
// Quil.qud and Quil.qui whose first records carry the right signatures, a version not above
// the current one and equal stamps, no record cut short, no problem `quil-tool check` finds
// (dates to come aside; the first problems are named), and a QuilExt.db (when it has one)
// that SQLite opens (rolling back its crash journal) and finds whole. A folder holding a
// data set is replaced only with consent: without it the result is ReplaceOther, asking
// with both data sets shown (vehicles, records, last date). Both files (and QuilExt.db) are
// copied into a staging folder inside the data folder, checked again, converted there when
// they are of the older format, and only then put in place by renames; any failure leaves
// the current data set byte for byte as it was. The replaced files are kept beside under
// setAsideName's names (a crash journal of QuilExt.db with its file), listed in the
// result's message and in "Quil.kept"; once the restore is done, the files the previous
// restore listed there are removed (the message names them). Returns the new stamp.
DataSetResult restoreDataSet(const std::string& dataFolder, const std::string& sourceFolder,
                             store::FileSystem& fs = store::FileSystem::current(),
                             ReplaceConsent consent = {});

// Moves the data set from `dataFolder` to `newFolder` (which must exist): copies Quil.qui,
// Quil.qud and QuilExt.db as a backup does. A data set already in `newFolder` is replaced
// only with consent, and then wholly (its files the moved set lacks go too). Only after every copy is verified is
// `switchFolder` called (the caller records the new folder there), and only after it
// returns are Quil.qud, QuilExt.db and the old "Item.dat" deleted from the old folder
// (Quil.qui stays there). The same folder however spelt changes nothing (SameFolder). A
// failed copy deletes nothing and raises StoreError. A file of the old folder that cannot
// be deleted once the move is done does not undo it: the result is done and its message
// names the files left behind.
DataSetResult moveDataSet(const std::string& dataFolder, const std::string& newFolder,
                          const std::function<void()>& switchFolder = {},
                          store::FileSystem& fs = store::FileSystem::current(),
                          ReplaceConsent consent = {});

// Called during a long import with records converted so far and the total; returning false
// cancels the import.
using ImportProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// Builds a new data set from the legacy data set in `legacyFolder` (Car.dat, the item lists
// and the per-vehicle files) in a staging folder inside `dataFolder`, then replaces the
// current Quil.qui and Quil.qud by renames and writes Errlog.txt into the data folder.
// Missing Car.dat gives NoSourceData; a Car.dat without vehicles, a legacy file cut short
// and an invalid registration date give BrokenSource; a cancel gives Cancelled; any of
// them, and any failure, leaves the current data set as it was. The current QuilExt.db is
// set aside. Returns the stamp of the new data set and the number of log lines.
DataSetResult importLegacyDataSet(const std::string& dataFolder, const std::string& legacyFolder,
                                  const ImportProgress& progress = {},
                                  store::FileSystem& fs = store::FileSystem::current());

}  // namespace quil::folder
