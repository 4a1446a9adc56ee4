#include "ui/components/TSingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>
#include <atomic>

namespace quil::ui {

namespace {

std::atomic<int> g_instances{0};

constexpr char kActivate[] = "activate\n";
constexpr char kDone[] = "ok\n";

// A file-name-safe form of the name (letters, digits, '-', '_' and '.' kept).
QString safeName(const QString& name) {
    QString out;
    for (QChar ch : name) {
        out += (ch.isLetterOrNumber() || ch == u'-' || ch == u'_' || ch == u'.') ? ch : QChar(u'_');
    }
    return out.isEmpty() ? QStringLiteral("_") : out;
}

// A folder of this user's own: the runtime folder when there is one, else the temporary
// folder with the user's id in the file names.
QString userFolder() {
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!dir.isEmpty() && QDir().mkpath(dir)) return dir;
    }
    return QDir::tempPath();
}

QString userTag() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    return safeName(user);
}

}  // namespace

TSingleInstance::TSingleInstance(QObject* owner)
    : QObject(owner), errorMessage_(QStringLiteral("すでに起動されています")) {
    if (g_instances.fetch_add(1) + 1 > 1) {
        g_instances.fetch_sub(1);
        throw EMultiSingleInstance("Only single component allowed");
    }
    if (auto* w = qobject_cast<QWidget*>(owner)) mainWindow_ = w->window();
}

TSingleInstance::~TSingleInstance() {
    if (server_) server_->close();
    if (lock_) lock_->unlock();
    g_instances.fetch_sub(1);
}

int TSingleInstance::instanceCount() { return g_instances.load(); }

QString TSingleInstance::lockFilePath(const QString& uniqueName) {
    return userFolder() + u'/' + safeName(uniqueName) + u'-' + userTag() + QStringLiteral(".lock");
}

QString TSingleInstance::serverName(const QString& uniqueName) {
    return userFolder() + u'/' + safeName(uniqueName) + u'-' + userTag() + QStringLiteral(".sock");
}

bool TSingleInstance::Loaded() {
    if (first_) return true;
    lock_ = std::make_unique<QLockFile>(lockFilePath(uniqueName_));
    // Never stale by age: only a lock whose process is gone is taken over.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        first_ = true;
        startServer();
        return true;
    }
    lock_.reset();
    duplicate_ = true;
    Q_EMIT OnDuplicate(this);
    switch (action_) {
        case diActivateFirst:
            delivered_ = askFirstToActivate();
            postQuit();
            break;
        case diException: throw EMultiAppInstance(errorMessage_.toStdString());
        case diTerminate: postQuit(); break;
    }
    return false;
}

void TSingleInstance::startServer() {
    const QString name = serverName(uniqueName_);
    // We hold the lock, so a socket file left here belongs to a copy that has ended.
    QLocalServer::removeServer(name);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) return;  // the guard still holds; only activation is lost
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    if (socket->readLine() == kActivate) {
                        bringForward();
                        socket->write(kDone);
                        socket->flush();
                    }
                }
            });
        }
    });
}

void TSingleInstance::bringForward() {
    if (QWidget* w = mainWindow_) {
        if (w->isMinimized()) w->showNormal();
        w->raise();
        w->activateWindow();
    }
    Q_EMIT OnActivateRequest(this);
}

bool TSingleInstance::askFirstToActivate() {
    QLocalSocket socket;
    socket.connectToServer(serverName(uniqueName_));
    if (!socket.waitForConnected(2000)) return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(2000)) return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(2000)) return false;
    }
    return socket.readLine() == kDone;
}

// Like the platform's terminate request: the start-up that follows still runs, and the
// program ends when its event loop takes the request.
void TSingleInstance::postQuit() {
    if (auto* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

}  // namespace quil::ui
