#pragma once
// A backup's destination, recorded in the data folder while the backup runs. A backup killed
// part way leaves its staging folder in the destination, a folder the program does not open
// again by itself; the record lets the next start of the program (or quil-tool) on the data
// folder finish or tidy it there, as the next backup into that folder would.

#include <string>
#include <vector>

#include "store/FileSystem.h"

namespace quil::folder {

// The records' names: this prefix and the run's suffix ("Quil.backupto.4711-…").
inline constexpr const char* kBackupRecordPrefix = "Quil.backupto.";

// The record of one backup run, removed when the run is over.
class BackupDestinationRecord {
public:
    // Records in `dataFolder` that the run `run` (stagingRunSuffix) makes its staging folder
    // in `destFolder`, whose lock the caller holds. The record is made new (never through a
    // link), holds its own inode number and the destination's path without links, and is
    // synced before the destination is touched. A data folder that cannot take it (a
    // read-only medium) leaves the backup to go on without it.
    BackupDestinationRecord(const std::string& dataFolder, const std::string& destFolder,
                            const std::string& run,
                            store::FileSystem& fs = store::FileSystem::current());
    // Removes the record, unless the staging folder is still in the destination (a swap that
    // could be neither finished nor undone): the next start finishes it.
    ~BackupDestinationRecord();
    BackupDestinationRecord(const BackupDestinationRecord&) = delete;
    BackupDestinationRecord& operator=(const BackupDestinationRecord&) = delete;

private:
    std::string record_;   // empty when none was made
    std::string staging_;  // the staging folder in the destination, with '/'
    store::FileSystem& fs_;
};

// For every record in `dataFolder` of a backup no longer running (its destination's lock can
// be taken), finishes that backup's swap in the destination, or removes its staging folder
// when the swap never began, and then the record. Returns what was done and what was left as
// found, one Japanese line each, ready to show. Only the staging folder a record names is
// touched, and only when it is ours; a record that is a link, cut off from its folder (a
// copy), not written by this program, or naming a folder that is missing, reached through a
// link or the data folder itself, changes nothing and is named. A record cut short while it
// was written named nothing begun yet and is removed.
std::vector<std::string> finishInterruptedBackups(
    const std::string& dataFolder, store::FileSystem& fs = store::FileSystem::current());

}  // namespace quil::folder
