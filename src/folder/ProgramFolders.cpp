#include "folder/ProgramFolders.h"

#include <unistd.h>

#include "store/StoreError.h"

namespace quil::folder {

namespace {

std::string withSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

bool isWritableFolder(const std::string& folder, store::FileSystem& fs) {
    const std::string probe =
        withSeparator(folder) + ".quil-write-test-" + std::to_string(::getpid());
    try {
        fs.open(probe, store::OpenMode::Create);
    } catch (const store::StoreError&) {
        return false;
    }
    try {
        fs.remove(probe);
    } catch (const store::StoreError&) {
        // Created but not removable: not a folder to keep files in either.
        return false;
    }
    return true;
}

ProgramFolders chooseProgramFolders(const ProgramFolderPlaces& places, bool forcePerUser,
                                    store::FileSystem& fs) {
    ProgramFolders out;
    const std::string program = withSeparator(places.programFolder);
    out.perUser = forcePerUser || !isWritableFolder(program, fs);
    if (out.perUser) {
        out.settingsFolder = withSeparator(places.userConfigFolder);
        out.defaultDataFolder = withSeparator(places.userDataFolder);
    } else {
        out.settingsFolder = program;
        out.defaultDataFolder = program;
    }
    // The help file beside the program (a portable copy) comes first, then the installed one.
    const std::string shared = withSeparator(places.sharedDataFolder);
    out.helpFolder = fs.exists(program + "quil.hlp") || shared.empty() ? program : shared;
    return out;
}

}  // namespace quil::folder
