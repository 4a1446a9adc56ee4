// quil-tool: checks, dumps, exports and imports the data set of クイル台帳 from the
// command line. The program folder is the folder of this executable, and the user's folders
// come from the environment as for the program, so both find the same data set.
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <iostream>

#include "tool/ToolRunner.h"

int main(int argc, char* argv[]) {
    // The user's language for the messages of the libraries (libpq's among them) and the
    // character set they are written in; numbers and the rest keep the C rules.
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_MESSAGES, "");
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv[0], ec);
    const std::string programFolder = self.parent_path().string() + "/";
    quil::tool::ToolRunner runner(quil::folder::userProgramFolderPlaces(programFolder), std::cin, std::cout, std::cerr, isatty(2) != 0);
    return runner.run(std::vector<std::string>(argv + 1, argv + argc));
}
