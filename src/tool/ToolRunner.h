#pragma once
// The commands of quil-tool: argument parsing, help, exit codes and the output of each
// command. Streams are passed in so tests run the tool in-process.

#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "folder/FolderLock.h"
#include "folder/ProgramFolders.h"

namespace quil::tool {

// A folder named on the command line, ending in '/' ("" gives "/", as it always has).
std::string asFolder(std::string folder);

enum ExitCode { kExitOk = 0, kExitProblems = 1, kExitUsage = 2, kExitIo = 3 };

class ToolRunner {
public:
    // `places` are the program's folders as the program itself sees them; without --data the
    // tool works on the data folder the program opens from the same places (--per-user as
    // for the program).
    ToolRunner(folder::ProgramFolderPlaces places, std::istream& in, std::ostream& out,
               std::ostream& err, bool errIsTerminal);
    // A copy whose program folder is `programFolder` (ends with '/') and has no per-user
    // folders: a portable copy.
    ToolRunner(std::string programFolder, std::istream& in, std::ostream& out, std::ostream& err,
               bool errIsTerminal);

    // Runs the command line (without the program name); returns the exit code.
    int run(std::vector<std::string> args);

private:
    int check(const std::vector<std::string>& args);
    int dump(const std::vector<std::string>& args);
    int exportCsv(const std::vector<std::string>& args);
    int importCsv(const std::vector<std::string>& args);
    int backup(const std::vector<std::string>& args);
    int restore(const std::vector<std::string>& args);
    int importLegacy(const std::vector<std::string>& args);
    // A command on the server data set named by --server: server init/push/pull/status, and
    // check, dump, export-csv and import-csv on a snapshot of it.
    int runOnServer(const std::string& command, const std::vector<std::string>& args);
    int serverCommand(const std::vector<std::string>& args);
    // server drivers and driver-…: the drivers' web accounts.
    int driverCommand(const std::vector<std::string>& args);
    int importCsvToServer(const std::vector<std::string>& args);
    // expiries, licences and papers, on the data folder or the server data set.
    int paperCommand(const std::string& command, const std::vector<std::string>& args);
    // backup, restore and import-legacy on a server data set.
    int replaceOnServer(const std::string& command, const std::vector<std::string>& args);
    // Takes the lock of a folder the command writes, held until the command ends; true (and
    // a message saying what holds it) when it cannot be taken after a short wait, as when
    // the program or another command is using the folder.
    bool refuseWhileOpen(const std::string& folder, const std::string& command);
    // A restore, import or move that a crash cut short in `folder` is finished, and staging
    // folders of ours that a kill left behind are cleared, before any command reads it;
    // false (with a message) when the folder's lock cannot be taken.
    bool finishCutShortSwap(const std::string& folder, const std::string& command);
    // dump and export-csv refuse a data set check finds damaged, naming its problems on
    // stderr (true), so that a damaged file never reads as a short success.
    bool refuseDamaged(const std::string& command);

    int usage(const std::string& message, const std::string& command);
    // Chooses the folder the command works on, says which on the first line of the error
    // stream, and refuses (a message naming it, false) when it holds no data set or when the
    // program's saved data folder is missing.
    bool chooseDataFolder();
    std::string dataFolder() const;
    // The data folder the program itself opens.
    std::string programsDataFolder() const;

    folder::ProgramFolderPlaces places_;
    bool perUser_ = false;
    // The folder of the program's Quil.ini (the program folder, or the user's configuration
    // folder of an installed or --per-user copy).
    std::string programFolder_;
    std::string defaultDataFolder_;  // the per-user data folder, when the per-user folders are used
    std::string dataFolder_;
    std::optional<std::string> dataOption_;
    std::optional<std::string> serverOption_;
    // What check names as the data set it looked at, when not dataFolder_ (a server).
    std::string shownAs_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    bool errIsTerminal_;
    // The locks of the folders the running command writes.
    std::vector<std::unique_ptr<folder::FolderLock>> locks_;
};

}  // namespace quil::tool
