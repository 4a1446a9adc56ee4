#pragma once
// The program's command line, read before any window or display is needed: --help and
// --version answer on standard output and end the program, an unknown option ends it with
// the usage on standard error. Qt's own options (-platform, -style and the like) pass on.

#include <string>
#include <vector>

namespace quil::ui {

struct CommandLine {
    enum class Action { Start, Help, Version, Refuse };
    Action action = Action::Start;
    bool perUser = false;
    // --server CONNINFO: the data set on a PostgreSQL server (a libpq connection string or
    // "service=NAME"); empty for a data folder.
    std::string server;
    std::string problem;  // with Refuse: what was wrong, in the program's words
};

CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The texts printed for --help and --version.
std::string usageText();
std::string versionText();

// Exit codes: 0 after --help and --version, 2 for a command line that is refused.
constexpr int kExitUsage = 2;

}  // namespace quil::ui
