#pragma once
// Keeps the program with its server data set: hears the changes other programs make and
// hands them to DataSetEvents within a second, and, when the connection breaks (the server
// restarts, the network drops), says so once in the status bar, connects again every
// couple of seconds and reads the data set again when it is back. Nothing the user typed is
// touched: dialogs stay open, and a save tried meanwhile reports the failure and keeps the
// input.

#include <QObject>
#include <QPointer>
#include <atomic>
#include <memory>

#include "store/ChangeWatch.h"

class QLabel;
class QSocketNotifier;
class QStatusBar;
class QThread;
class QTimer;

namespace quil::ui {

class ServerWatch : public QObject {
    Q_OBJECT
public:
    ServerWatch(store::ChangeWatch& watch, QStatusBar* statusBar, QObject* parent);
    ~ServerWatch() override;

    // Whether the connection was found broken and is not back yet.
    bool lost() const { return lost_; }
    // Looks for changes and for a broken connection now (the timer and the socket call it).
    void poll();

private:
    void watchSocket();
    // The connection is made again on a thread of its own: over a network that drops packets
    // an attempt waits seconds for its timeout, and the window must not wait with it. The
    // window's thread only puts the connection made in place.
    struct Probe {
        std::atomic<bool> done{false};
        std::unique_ptr<store::ChangeWatch::Reconnection> made;  // read once `done`
    };
    void startProbe();
    void endProbe();

    store::ChangeWatch& watch_;
    QPointer<QStatusBar> statusBar_;
    QPointer<QLabel> label_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
    QTimer* gather_ = nullptr;
    static constexpr int kGatherMs = 50;
    int socket_ = -1;
    bool lost_ = false;
    int ticksSinceTry_ = 0;
    std::shared_ptr<Probe> probe_;
    QThread* probeThread_ = nullptr;
};

}  // namespace quil::ui
