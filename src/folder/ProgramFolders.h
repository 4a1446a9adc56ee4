#pragma once
// Where the program keeps its files. A portable copy (its folder is writable: an unpacked
// archive, the build folder) keeps Quil.ini, Data.idx and, by default, the data set in its
// own folder. An installed copy (one with its ../share/quil, whoever runs it, root too) or a
// read-only program folder keeps Quil.ini and Data.idx in the user's configuration folder
// and the default data set in the user's data folder.

#include <string>

#include "store/FileSystem.h"

namespace quil::folder {

struct ProgramFolders {
    std::string settingsFolder;     // Quil.ini and Data.idx; the "program folder" of the files
    std::string defaultDataFolder;  // the data folder when none is saved or it has vanished
    std::string helpFolder;         // where quil.hlp and the manual are looked for
    bool perUser = false;           // true when the per-user folders are used
};

struct ProgramFolderPlaces {
    std::string programFolder;     // the folder of the program file
    std::string userConfigFolder;  // e.g. ~/.config/quil/
    std::string userDataFolder;    // e.g. ~/.local/share/quil/
    std::string sharedDataFolder;  // installed read-only files, e.g. /usr/share/quil/
};

// True when a file can be created in `folder` (tried for real: permission bits say nothing
// for root or for a read-only mount).
bool isWritableFolder(const std::string& folder,
                      store::FileSystem& fs = store::FileSystem::current());

// The places for a program file in `programFolder` as the user's environment gives them:
// $XDG_CONFIG_HOME (else ~/.config) and $XDG_DATA_HOME (else ~/.local/share) with quil/,
// and share/quil/ beside the program's bin folder. The program and quil-tool both use it,
// so they find the same files.
ProgramFolderPlaces userProgramFolderPlaces(const std::string& programFolder);

// Chooses the folders for a start. `forcePerUser` asks for the per-user folders even when
// the program folder is writable. Every folder ends with '/'.
ProgramFolders chooseProgramFolders(const ProgramFolderPlaces& places, bool forcePerUser,
                                    store::FileSystem& fs = store::FileSystem::current());

}  // namespace quil::folder
