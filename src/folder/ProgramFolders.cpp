#include "folder/ProgramFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "store/StoreError.h"

namespace quil::folder {

namespace {

// The home folder: $HOME, else the account's entry.
std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

// An XDG base folder: the variable when it holds an absolute path (a relative one is
// ignored, as the XDG rules say), else the fallback under the home folder.
std::string xdgFolder(const char* variable, const char* underHome) {
    if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
    std::string home = homeFolder();
    if (home.size() > 1 && home.back() == '/') home.pop_back();
    return (home == "/" ? "" : home) + underHome;
}

}  // namespace

ProgramFolderPlaces userProgramFolderPlaces(const std::string& programFolder) {
    ProgramFolderPlaces places;
    places.programFolder = store::withSeparator(programFolder);
    places.userConfigFolder = xdgFolder("XDG_CONFIG_HOME", "/.config") + "/quil/";
    places.userDataFolder = xdgFolder("XDG_DATA_HOME", "/.local/share") + "/quil/";
    std::filesystem::path shared =
        (std::filesystem::path(places.programFolder) / "../share/quil").lexically_normal();
    places.sharedDataFolder = store::withSeparator(shared.string());
    return places;
}

bool isWritableFolder(const std::string& folder, store::FileSystem& fs) {
    const std::string probe =
        store::withSeparator(folder) + ".quil-write-test-" + std::to_string(::getpid());
    try {
        fs.open(probe, store::OpenMode::CreateNew);
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
    const std::string program = store::withSeparator(places.programFolder);
    // An installed copy (its ../share/quil is there) is per-user whoever runs it: root can
    // write into /usr/bin, but settings and records do not belong beside the programs.
    const std::string shared = store::withSeparator(places.sharedDataFolder);
    const bool installed = !places.sharedDataFolder.empty() && fs.isDirectory(shared);
    out.perUser = forcePerUser || installed || !isWritableFolder(program, fs);
    if (out.perUser) {
        out.settingsFolder = store::withSeparator(places.userConfigFolder);
        out.defaultDataFolder = store::withSeparator(places.userDataFolder);
    } else {
        out.settingsFolder = program;
        out.defaultDataFolder = program;
    }
    // The help file beside the program (a portable copy) comes first, then the installed one.
    out.helpFolder = fs.exists(program + "quil.hlp") || shared.empty() ? program : shared;
    return out;
}

}  // namespace quil::folder
