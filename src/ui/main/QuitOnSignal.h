#pragma once
// Ends the program as a close does when it is asked to stop (SIGTERM at logout or shutdown,
// SIGHUP when its terminal goes, SIGINT from Ctrl+C): the message loop ends, the main window
// saves its placement and settings and the data folder's lock is released. Without this
// the default action kills the process and leaves Quil.lck for five minutes.

#include <QObject>

class QSocketNotifier;

namespace quil::ui {

class QuitOnSignal : public QObject {
public:
    // Installs the handlers for the process; one object at a time.
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    void quit();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quil::ui
