// Program entry: the application, its windows (each created once), the message loop.
#include <cstdio>
#include <cstdlib>

#include "ui/main/AppWindows.h"
#include "ui/main/QuilApplication.h"
#include "ui/main/TMainform.h"

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
    const std::string programFolder =
        quil::ui::QuilApplication::applicationDirPath().toStdString() + "/";
    try {
        quil::ui::AppWindows windows(programFolder);
        if (windows.Mainform->IsDuplicate()) return 0;
        windows.Mainform->show();
        if (windows.Mainform->StartFailed()) return 0;
        return app.exec();
    } catch (const std::exception& e) {
        // Start-up itself failed (for example an unreadable item file).
        quil::ui::QuilApplication::reportException(e);
        return 1;
    }
}
