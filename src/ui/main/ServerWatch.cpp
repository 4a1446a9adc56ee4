#include "ui/main/ServerWatch.h"

#include <QLabel>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include "ui/dialogs/DataSetEvents.h"

namespace quil::ui {

ServerWatch::ServerWatch(store::ChangeWatch& watch, QStatusBar* statusBar, QObject* parent)
    : QObject(parent), watch_(watch), statusBar_(statusBar) {
    watch_.listen();
    gather_ = new QTimer(this);
    gather_->setSingleShot(true);
    gather_->setInterval(kGatherMs);
    connect(gather_, &QTimer::timeout, this, &ServerWatch::poll);
    watchSocket();
    // The socket says when a notice arrives; the timer finds a connection that broke
    // without a word and tries again while it is away.
    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &ServerWatch::poll);
    timer_->start();
}

ServerWatch::~ServerWatch() { endProbe(); }

void ServerWatch::startProbe() {
    endProbe();
    auto probe = std::make_shared<Probe>();
    probe_ = probe;
    probeThread_ = QThread::create([probe, connect = watch_.reconnector()] {
        probe->made = connect();
        probe->done = true;
    });
    probeThread_->start();
}

void ServerWatch::endProbe() {
    if (probeThread_) {
        probeThread_->wait();  // at most the connection's timeout
        delete probeThread_;
        probeThread_ = nullptr;
    }
    probe_.reset();
}

void ServerWatch::watchSocket() {
    const int socket = watch_.socket();
    if (socket == socket_ && notifier_) return;
    delete notifier_;
    notifier_ = nullptr;
    socket_ = socket;
    if (socket < 0) return;
    notifier_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    // A notice is taken a moment after it arrives, with those that follow it meanwhile (a
    // burst of saves elsewhere): one look at the server for all of them.
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        notifier_->setEnabled(false);  // until the look has read what waits on the socket
        gather_->start();
    });
}

void ServerWatch::poll() {
    gather_->stop();
    if (!lost_) {
        if (notifier_) notifier_->setEnabled(true);
        const auto changes = watch_.takeChanges();
        if (watch_.alive()) {
            for (const store::DataSetChange& c : changes) DataSetEvents::announce(c);
            return;
        }
        // Said once, until the server is back.
        lost_ = true;
        ticksSinceTry_ = 0;
        if (notifier_) notifier_->setEnabled(false);
        if (statusBar_) {
            // Short enough for the status bar of a window at its first-run width, beside
            // the register's own mark; the whole sentence is the label's tooltip.
            label_ = new QLabel(QStringLiteral("サーバー切断中・再接続待ち…"), statusBar_);
            label_->setToolTip(
                QStringLiteral("サーバーとの接続が切れました。再接続を待っています…"));
            label_->setObjectName(QStringLiteral("ServerLostLabel"));
            label_->setStyleSheet(QStringLiteral("color: #b00020;"));
            statusBar_->addPermanentWidget(label_);
        }
        return;
    }
    if (++ticksSinceTry_ < 2) return;
    if (!probe_) {
        startProbe();
        return;
    }
    if (!probe_->done) return;  // still waiting for an answer: asked again when it comes
    const std::unique_ptr<store::ChangeWatch::Reconnection> made = std::move(probe_->made);
    endProbe();
    ticksSinceTry_ = 0;
    if (!made) return;  // still away: tried again in a couple of seconds
    watch_.takeOver(*made);
    lost_ = false;
    watchSocket();
    delete label_;
    if (statusBar_) statusBar_->showMessage(QStringLiteral("サーバーに再接続しました。"), 5000);
    // What others did meanwhile was not heard: everything is read again.
    DataSetEvents::announce(store::DataSetChange::changedElsewhere());
}

}  // namespace quil::ui
