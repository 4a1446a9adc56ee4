// Program entry (the main window is still to come).
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "quil: no display found (DISPLAY is not set); run it under Xvfb with: "
                     "xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("クイル台帳"));
    return 0;
}
