#pragma once
// Opening the data set at start-up: where it is, creating it on the first run, and the
// checks of its two files before anything is loaded.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/FileSystem.h"
#include "store/Settings.h"

namespace quil::folder {

// The data folder for a start: the saved folder (Dir/Dir) when it exists; otherwise the
// program folder, unless the program folder has moved together with a data folder below
// it (the saved folder lay under the saved program folder ExeDir, and the same place
// under the current program folder holds Quil.qui), in which case that place is used.
// Folders end with '/'.
std::string resolveDataFolder(const std::string& savedDataFolder,
                              const std::string& savedProgramFolder,
                              const std::string& programFolder,
                              store::FileSystem& fs = store::FileSystem::current());

struct DataFolderChoice {
    std::string folder;    // the folder to use
    std::string expected;  // the saved folder when it is missing or unreadable, else empty
};
// As resolveDataFolder, and says when the saved folder could not be used (a saved folder
// that exists but cannot be read counts as missing).
DataFolderChoice chooseDataFolder(const std::string& savedDataFolder,
                                  const std::string& savedProgramFolder,
                                  const std::string& programFolder,
                                  store::FileSystem& fs = store::FileSystem::current());

// The data folder a start opens, as chooseDataFolder finds it from the settings of
// `programFolder` (the folder of Quil.ini); where that gives the program folder and a
// `defaultDataFolder` is set (an installed copy, or one started with --per-user, keeps its
// data apart from its settings), the default data folder instead. The program and quil-tool
// both choose their data folder here.
DataFolderChoice chooseStartDataFolder(const std::string& savedDataFolder,
                                       const std::string& savedProgramFolder,
                                       const std::string& programFolder,
                                       const std::string& defaultDataFolder,
                                       store::FileSystem& fs = store::FileSystem::current());

// True when the folder holds a data set: Quil.qui or Quil.qud (a damaged set still counts).
bool holdsDataSet(const std::string& dataFolder,
                  store::FileSystem& fs = store::FileSystem::current());

// True when Quil.qud has bytes while Quil.qui is missing: a damaged data set, which must
// not be seeded with a new item file (its stamp would never match the records).
bool itemFileMissing(const std::string& dataFolder,
                     store::FileSystem& fs = store::FileSystem::current());

// Creates Quil.qui with the seven first entries, stamped `stamp` and registered `today`,
// writing the display masks of the settings file as each group is written.
void seedItemFile(const std::string& dataFolder, store::Settings& settings, double stamp,
                  double today);

// The outcome of checking the two data files before the first load.
struct DataSetCheck {
    bool ok = false;
    std::string message;          // shown under "警告" when not ok
    double stamp = 0;             // the stamp of record 0 of Quil.qui
    bool convertRecords = false;  // Quil.qud is of the older format
    bool convertItems = false;    // Quil.qui is of the older format
    // Files ending in a partial record, with the number of bytes after the last whole one.
    std::vector<std::pair<std::string, std::uint64_t>> partialTails;
};

// Checks signatures, versions and stamps of Quil.qui and Quil.qud. An empty Quil.qud is a
// record file without records; a file shorter than one record header, or a record file
// of the older format that does not lay out as older records, is damaged. Raises
// StoreError when a file cannot be read.
DataSetCheck checkDataSet(const std::string& dataFolder,
                          store::FileSystem& fs = store::FileSystem::current());

}  // namespace quil::folder
