// quil-tool without --data finds the data set the program opens, in each way the program runs
// (portable, --per-user, installed, a folder chosen in the program); it names the folder it
// works on, and refuses a folder without a data set or a saved folder that has gone.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "FaultyFileSystem.h"
#include "SampleDataSet.h"
#include "folder/DataSet.h"
#include "store/Settings.h"
#include "tool/ToolRunner.h"

using namespace quil::store;
using namespace quil::testing;
using namespace quil::tool;

namespace fs = std::filesystem;

namespace {

class ToolFolder : public ::testing::Test {
protected:
    TempDir root;
    std::string out, err;
    std::string program() const { return root.dir() + "bin/"; }
    std::string config() const { return root.dir() + "config/quil/"; }
    std::string userData() const { return root.dir() + "data/quil/"; }
    void SetUp() override {
        for (const auto& d : {program(), config(), userData()}) fs::create_directories(d);
    }
    int run(std::vector<std::string> args) {
        std::istringstream in;
        std::ostringstream o, e;
        ToolRunner runner(quil::folder::ProgramFolderPlaces{program(), config(), userData(), {}},
                          in, o, e, false);
        const int code = runner.run(std::move(args));
        out = o.str();
        err = e.str();
        return code;
    }
    std::string firstErrLine() const { return err.substr(0, err.find('\n')); }
    // The state the program leaves after the first start of a per-user copy.
    void firstPerUserStart() {
        writeSampleItems(userData());
        Settings(config()).setDataFolder(userData());
    }
};

}  // namespace

TEST_F(ToolFolder, PerUserFindsTheDataSetInTheUsersFoldersAndSaysWhich) {
    firstPerUserStart();
    // Without --per-user a portable copy looks beside itself, where there is nothing.
    EXPECT_EQ(run({"dump"}), kExitProblems);
    EXPECT_EQ(firstErrLine(), "quil-tool: データフォルダー: " + program());
    EXPECT_NE(err.find("--per-user"), std::string::npos);
    EXPECT_EQ(out, "");

    EXPECT_EQ(run({"--per-user", "dump"}), kExitOk);
    EXPECT_EQ(firstErrLine(), "quil-tool: データフォルダー: " + userData());
    EXPECT_NE(out.find("項目 7 車両 「軽トラ」"), std::string::npos);
    // check names the folder in its own output too.
    EXPECT_EQ(run({"--per-user", "check"}), kExitOk);
    EXPECT_EQ(out, "データフォルダー: " + userData() + "\nOK\n");
    // Nothing was written beside the program.
    EXPECT_TRUE(fs::is_empty(program()));
}

TEST_F(ToolFolder, AnInstalledCopyUsesTheUsersFoldersWithoutBeingAsked) {
    firstPerUserStart();
    // The program folder refuses the probe file, as /usr/bin does for a user.
    FaultyFileSystem readOnlyProgramFolder(FaultyFileSystem::Op::Open, 1);
    FileSystem::setCurrent(&readOnlyProgramFolder);
    TempDir dest;
    const int code = run({"backup", dest.dir()});
    FileSystem::setCurrent(nullptr);
    EXPECT_EQ(code, kExitOk) << err;
    EXPECT_EQ(firstErrLine(), "quil-tool: データフォルダー: " + userData());
    EXPECT_EQ(readBytes(dest.file("Quil.qui")), readBytes(userData() + "Quil.qui"));
}

TEST_F(ToolFolder, AFolderChosenInTheProgramIsFollowedAndAMissingOneIsRefused) {
    TempDir chosen;
    writeSampleItems(chosen.dir());
    Settings(program()).setDataFolder(chosen.dir());
    EXPECT_EQ(run({"dump"}), kExitOk);
    EXPECT_EQ(firstErrLine(), "quil-tool: データフォルダー: " + chosen.dir());

    // The saved folder is gone (an unmounted drive): the program warns and opens its own
    // folder; the tool refuses, names the saved folder, and puts nothing anywhere.
    const std::string gone = root.dir() + "usb/quil/";
    Settings(program()).setDataFolder(gone);
    TempDir backupSet;
    writeSampleItems(backupSet.dir());
    for (const std::vector<std::string>& command :
         std::vector<std::vector<std::string>>{{"restore", backupSet.dir()},
                                               {"check"},
                                               {"backup", backupSet.dir()},
                                               {"import-legacy", backupSet.dir()}}) {
        EXPECT_EQ(run(command), kExitProblems) << command[0];
        EXPECT_EQ(firstErrLine(), "quil-tool: データフォルダー: " + gone) << command[0];
        EXPECT_NE(err.find("Quil.ini の Dir"), std::string::npos) << command[0];
    }
    EXPECT_FALSE(fs::exists(program() + "Quil.qui"));
    EXPECT_FALSE(fs::exists(gone));
}

TEST_F(ToolFolder, EveryCommandRefusesAFolderWithoutADataSet) {
    TempDir empty, dest;
    writeBytes(dest.file("in.csv"), "年月日,車両,使用者\r\n");
    const std::vector<std::vector<std::string>> commands = {
        {"check"},
        {"dump"},
        {"export-csv", "--kind", "driving"},
        {"import-csv", "--kind", "driving", dest.file("in.csv")},
        {"backup", dest.dir()},
        {"restore", dest.dir()},
        {"import-legacy", dest.dir()},
    };
    for (auto args : commands) {
        args.insert(args.begin(), {"--data", empty.dir()});
        EXPECT_EQ(run(args), kExitProblems) << args[2];
        EXPECT_EQ(firstErrLine(), "quil-tool: データフォルダー: " + empty.dir()) << args[2];
        EXPECT_NE(err.find(empty.dir() + " にデータ"), std::string::npos) << args[2];
        EXPECT_EQ(out, "") << args[2];
    }
    EXPECT_TRUE(fs::is_empty(empty.path()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dest.path()), fs::directory_iterator()), 1);
    // A folder that does not exist at all.
    EXPECT_EQ(run({"--data", empty.dir() + "missing", "backup", dest.dir()}), kExitProblems);
    EXPECT_NE(err.find("データフォルダーがありません: " + empty.dir() + "missing/"),
              std::string::npos);
    // A damaged set (records without the item file) is still a data set: check reports it.
    writeBytes(empty.file("Quil.qud"), std::string(100, 'x'));
    EXPECT_EQ(run({"--data", empty.dir(), "check"}), kExitProblems);
    EXPECT_NE(out.find("Quil.qui"), std::string::npos);
}

TEST_F(ToolFolder, VersionAndOptionsThatCannotGoTogether) {
    EXPECT_EQ(run({"--version"}), kExitOk);
    EXPECT_EQ(out, "quil-tool (クイル台帳) " QUIL_BUILD_VERSION "\n");
    EXPECT_EQ(run({"--per-user", "--data", root.dir(), "check"}), kExitUsage);
}
