#include "ui/main/QuitOnSignal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

namespace quil::ui {

namespace {

// The handler may only write a byte; the notifier reads it on the GUI thread.
int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &byte, 1);
}

}  // namespace

QuitOnSignal::QuitOnSignal(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) return;
    notifier_ = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignal::quit);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals) ::sigaction(s, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal() {
    for (int s : kSignals) std::signal(s, SIG_DFL);
    for (int& fd : g_pipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void QuitOnSignal::quit() {
    char byte = 0;
    [[maybe_unused]] const ssize_t n = ::read(g_pipe[1], &byte, 1);
    // Every event loop ends, a modal box's included; the windows are then destroyed as
    // after a close, which saves the settings and releases the lock.
    QCoreApplication::exit(0);
}

}  // namespace quil::ui
