// Program entry: the application, its windows (each created once), the message loop.
#include <QDir>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "folder/ProgramFolders.h"
#include "ui/main/AppWindows.h"
#include "ui/main/QuilApplication.h"
#include "ui/main/QuitOnSignal.h"
#include "ui/main/TMainform.h"

namespace {

// An installed copy (read-only program folder), or any copy started with --per-user, keeps
// its settings and its default data set in the user's own folders.
quil::folder::ProgramFolders programFolders(const QStringList& arguments) {
    const QString programDir = quil::ui::QuilApplication::applicationDirPath();
    quil::folder::ProgramFolderPlaces places;
    places.programFolder = programDir.toStdString() + "/";
    places.userConfigFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString() +
        "/quil/";
    places.userDataFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() +
        "/quil/";
    places.sharedDataFolder =
        QDir::cleanPath(programDir + QStringLiteral("/../share/quil")).toStdString() + "/";
    auto folders =
        quil::folder::chooseProgramFolders(places, arguments.contains(QStringLiteral("--per-user")));
    if (folders.perUser) {
        QDir().mkpath(QString::fromStdString(folders.settingsFolder));
        QDir().mkpath(QString::fromStdString(folders.defaultDataFolder));
    }
    return folders;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "quil: no display found (DISPLAY is not set); run it under Xvfb with: "
                     "xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    quil::ui::QuilApplication app(argc, argv);
    const auto folders = programFolders(quil::ui::QuilApplication::arguments());
    quil::ui::MainformOptions options;
    if (folders.perUser) options.defaultDataFolder = folders.defaultDataFolder;
    options.helpFolder = folders.helpFolder;
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
