#include "folder/ProgramFolders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

using namespace quil::folder;
using namespace quil::testing;

namespace fs = std::filesystem;

namespace {

ProgramFolderPlaces placesIn(const TempDir& t) {
    fs::create_directories(t.file("prog"));
    fs::create_directories(t.file("share/quil"));
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
    const auto places = placesIn(t);
    EXPECT_EQ(chooseProgramFolders(places, false).helpFolder, t.dir() + "share/quil/");
    writeBytes(t.file("prog/quil.hlp"), "help");
    EXPECT_EQ(chooseProgramFolders(places, false).helpFolder, t.dir() + "prog/");
}
