#pragma once
// The commands of quil-tool: argument parsing, help, exit codes and the output of each
// command. Streams are passed in so tests run the tool in-process.

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quil::tool {

enum ExitCode { kExitOk = 0, kExitProblems = 1, kExitUsage = 2, kExitIo = 3 };

class ToolRunner {
public:
    // `programFolder` ends with '/': its Quil.ini names the data folder the program uses.
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
    // The commands that replace the data set refuse while the program holds its lock.
    bool refuseWhileOpen(const std::string& dataFolder, const std::string& command);
    // A restore, import or move that a crash cut short in `folder` is finished before any
    // command reads it; false (with a message) when the program holding the folder should.
    bool finishCutShortSwap(const std::string& folder, const std::string& command);

    int usage(const std::string& message, const std::string& command);
    std::string dataFolder() const;
    // The data folder the program itself uses (from its Quil.ini).
    std::string programsDataFolder() const;

    std::string programFolder_;
    std::optional<std::string> dataOption_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    bool errIsTerminal_;
};

}  // namespace quil::tool
