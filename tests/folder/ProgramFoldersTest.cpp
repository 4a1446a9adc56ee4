#include "folder/ProgramFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "TestSupport.h"

using namespace quil::folder;
using namespace quil::testing;

namespace fs = std::filesystem;

namespace {

// A portable copy's places: no share/quil beside its folder unless `installed`.
ProgramFolderPlaces placesIn(const TempDir& t, bool installed = false) {
    fs::create_directories(t.file("prog"));
    if (installed) fs::create_directories(t.file("share/quil"));
    return {t.dir() + "prog", t.dir() + "config/quil", t.dir() + "data/quil/",
            t.dir() + "share/quil"};
}

}  // namespace

TEST(ProgramFolders, AWritableProgramFolderKeepsEverythingBesideTheProgram) {
    TempDir t;
    const auto folders = chooseProgramFolders(placesIn(t), false);
    EXPECT_FALSE(folders.perUser);
    EXPECT_EQ(folders.settingsFolder, t.dir() + "prog/");
    EXPECT_EQ(folders.defaultDataFolder, t.dir() + "prog/");
    // The probe file is gone again.
    EXPECT_TRUE(fs::is_empty(t.file("prog")));
}

TEST(ProgramFolders, AnInstalledCopyIsPerUserEvenForAUserWhoCanWriteItsFolder) {
    // Root can write into /usr/bin; the installed copy still keeps nothing there.
    TempDir t;
    const auto folders = chooseProgramFolders(placesIn(t, true), false);
    EXPECT_TRUE(folders.perUser);
    EXPECT_EQ(folders.settingsFolder, t.dir() + "config/quil/");
    EXPECT_EQ(folders.defaultDataFolder, t.dir() + "data/quil/");
    EXPECT_TRUE(fs::is_empty(t.file("prog")));
}

TEST(ProgramFolders, AProgramFolderWhereNoFileCanBeCreatedUsesThePerUserFolders) {
    TempDir t;
    const auto places = placesIn(t);
    FaultyFileSystem cannotCreate(FaultyFileSystem::Op::Open, 1);
    const auto folders = chooseProgramFolders(places, false, cannotCreate);
    EXPECT_TRUE(cannotCreate.fired());
    EXPECT_TRUE(folders.perUser);
    EXPECT_EQ(folders.settingsFolder, t.dir() + "config/quil/");
    EXPECT_EQ(folders.defaultDataFolder, t.dir() + "data/quil/");
}

TEST(ProgramFolders, AProbeThatCannotBeRemovedCountsAsNotWritable) {
    TempDir t;
    FaultyFileSystem cannotRemove(FaultyFileSystem::Op::Remove, 1);
    EXPECT_FALSE(isWritableFolder(t.dir(), cannotRemove));
    EXPECT_TRUE(isWritableFolder(t.dir()));
    EXPECT_FALSE(isWritableFolder(t.dir() + "missing/"));
}

TEST(ProgramFolders, PerUserCanBeAskedForWithAWritableProgramFolder) {
    TempDir t;
    const auto folders = chooseProgramFolders(placesIn(t), true);
    EXPECT_TRUE(folders.perUser);
    EXPECT_EQ(folders.settingsFolder, t.dir() + "config/quil/");
}

TEST(ProgramFolders, HelpBesideTheProgramComesBeforeTheInstalledHelp) {
    TempDir t;
    const auto places = placesIn(t, true);
    EXPECT_EQ(chooseProgramFolders(places, false).helpFolder, t.dir() + "share/quil/");
    writeBytes(t.file("prog/quil.hlp"), "help");
    EXPECT_EQ(chooseProgramFolders(places, false).helpFolder, t.dir() + "prog/");
}

TEST(ProgramFolders, TheUsersFoldersComeFromTheEnvironmentAsTheXdgRulesSay) {
    struct SavedVariable {
        std::string name;
        std::optional<std::string> value;
        explicit SavedVariable(std::string n) : name(std::move(n)) {
            if (const char* v = std::getenv(name.c_str())) value = v;
        }
        ~SavedVariable() {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    };
    SavedVariable home("HOME"), config("XDG_CONFIG_HOME"), data("XDG_DATA_HOME");
    ::setenv("HOME", "/home/taro", 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("XDG_DATA_HOME", "", 1);
    auto places = userProgramFolderPlaces("/usr/bin");
    EXPECT_EQ(places.programFolder, "/usr/bin/");
    EXPECT_EQ(places.userConfigFolder, "/home/taro/.config/quil/");
    EXPECT_EQ(places.userDataFolder, "/home/taro/.local/share/quil/");
    EXPECT_EQ(places.sharedDataFolder, "/usr/share/quil/");
    // An absolute XDG folder is used; a relative one is ignored.
    ::setenv("XDG_CONFIG_HOME", "/srv/conf", 1);
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    places = userProgramFolderPlaces("/opt/quil/bin/");
    EXPECT_EQ(places.userConfigFolder, "/srv/conf/quil/");
    EXPECT_EQ(places.userDataFolder, "/home/taro/.local/share/quil/");
    EXPECT_EQ(places.sharedDataFolder, "/opt/quil/share/quil/");
}
