// A tiny program holding a TSingleInstance, started as real processes by the tests.
// Usage: quil_single_instance_helper <UniqueName> <action 0|1|2> [stay]
// Prints one line per event: "first", "duplicate", "delivered <0|1>", "activated",
// "exception <message>", "ended". The first copy ends after it was asked to come forward
// (unless "stay"), or after 30 seconds at the latest.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <iostream>

#include "ui/components/TSingleInstance.h"

using namespace quil::ui;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) return 2;
    const bool stay = argc > 3 && std::string(argv[3]) == "stay";
    QWidget mainWindow;
    TSingleInstance guard(&mainWindow);
    guard.setUniqueName(QString::fromLocal8Bit(argv[1]));
    guard.setDupInstAction(TDupInstAction(std::atoi(argv[2])));
    QObject::connect(&guard, &TSingleInstance::OnDuplicate,
                     [](TSingleInstance*) { std::cout << "duplicate" << std::endl; });
    QObject::connect(&guard, &TSingleInstance::OnActivateRequest, [&](TSingleInstance*) {
        std::cout << "activated" << std::endl;
        if (!stay) QTimer::singleShot(100, &app, &QCoreApplication::quit);
    });
    try {
        if (guard.Loaded()) {
            std::cout << "first" << std::endl;
            mainWindow.show();
            QTimer::singleShot(30000, &app, [] { QCoreApplication::exit(4); });
        } else {
            std::cout << "delivered " << guard.activationDelivered() << std::endl;
        }
    } catch (const EMultiAppInstance& e) {
        std::cout << "exception " << e.what() << std::endl;
        return 3;
    }
    const int rc = app.exec();
    std::cout << "ended" << std::endl;
    return rc;
}
