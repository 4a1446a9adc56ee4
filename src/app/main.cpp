// Program entry: the command line (answered without a display when it asks for help or the
// version), the application, its windows (each created once, the server's code given to
// them here), the message loop.
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ServerParts.h"
#include "folder/ProgramFolders.h"
#include "ui/main/AppWindows.h"
#include "ui/main/CommandLine.h"
#include "ui/main/QuilApplication.h"
#include "ui/main/QuitOnSignal.h"
#include "ui/main/TMainform.h"

namespace {

// The folder of the program file, as quil-tool finds its own.
std::string programFolder(const char* argv0) {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv0, ec);
    return self.parent_path().string() + "/";
}

// An installed copy (read-only program folder), or any copy started with --per-user, keeps
// its settings and its default data set in the user's own folders. quil-tool chooses from
// the same places.
quil::folder::ProgramFolders programFolders(const char* argv0, bool perUser) {
    auto folders = quil::folder::chooseProgramFolders(
        quil::folder::userProgramFolderPlaces(programFolder(argv0)), perUser);
    if (folders.perUser) {
        QDir().mkpath(QString::fromStdString(folders.settingsFolder));
        QDir().mkpath(QString::fromStdString(folders.defaultDataFolder));
    }
    return folders;
}

}  // namespace

int main(int argc, char* argv[]) {
    const quil::ui::CommandLine line =
        quil::ui::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
    case quil::ui::CommandLine::Action::Help:
        std::fputs(quil::ui::usageText().c_str(), stdout);
        return 0;
    case quil::ui::CommandLine::Action::Version:
        std::fputs(quil::ui::versionText().c_str(), stdout);
        return 0;
    case quil::ui::CommandLine::Action::Refuse:
        std::fprintf(stderr, "quil: %s\n%s", line.problem.c_str(), quil::ui::usageText().c_str());
        return quil::ui::kExitUsage;
    case quil::ui::CommandLine::Action::Start:
        break;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "quil: 画面が見つかりません (DISPLAY が設定されていません)。デスクトップで"
                     "起動してください。画面のないコンピューターでは Xvfb で起動できます: "
                     "xvfb-run -a %s%s\n",
                     argv[0], line.perUser ? " --per-user" : "");
        return 1;
    }
    quil::ui::QuilApplication app(argc, argv);
    const auto folders = programFolders(argv[0], line.perUser);
    quil::ui::MainformOptions options;
    if (folders.perUser) options.defaultDataFolder = folders.defaultDataFolder;
    options.helpFolder = folders.helpFolder;
    options.server = line.server;
    options.serverOpeners = quil::ui::programServerOpeners();
    try {
        quil::ui::AppWindows windows(folders.settingsFolder, options,
                                     quil::ui::WindowCreation::AfterFirstPaint);
        if (windows.Mainform->isDuplicate()) return 0;
        windows.Mainform->show();
        if (windows.Mainform->startFailed()) return 0;
        quil::ui::QuilApplication::warnWithoutJapaneseFont(windows.Mainform.get());
        const quil::ui::QuitOnSignal quitOnSignal;
        return app.exec();
    } catch (const std::exception& e) {
        // Start-up itself failed (for example an unreadable item file).
        quil::ui::QuilApplication::reportException(e);
        return 1;
    }
}
