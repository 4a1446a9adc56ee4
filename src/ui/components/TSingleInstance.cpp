#include "ui/components/TSingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

// The address of the socket file at `path`; false when the path is too long for one.
bool socketAddress(const QByteArray& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    return true;
}

// Waits up to `ms` for `fd` to become readable (POLLIN) or writable (POLLOUT).
bool waitFor(int fd, short events, int ms) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, ms);
    } while (r < 0 && errno == EINTR);
    return r > 0;
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
    // The notifiers go before the sockets they watch.
    qDeleteAll(findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly));
    for (const auto& connection : connections_) ::close(connection.first);
    if (serverFd_ >= 0) {
        ::unlink(serverPath_.constData());
        ::close(serverFd_);
    }
    // The file stays: removing it could let a copy that opened it before the removal and
    // one that makes a new file after it both hold "the" lock.
    if (lockFd_ >= 0) ::close(lockFd_);
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
    if (takeLock()) {
        first_ = true;
        startServer();
        return true;
    }
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

bool TSingleInstance::takeLock() {
    const QByteArray path = QFile::encodeName(lockFilePath(uniqueName_));
    // Read access is enough for flock; O_NOFOLLOW: a link planted in a shared temporary
    // folder does not lead us anywhere else.
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    // No lock file to be had (no writable folder): run unguarded rather than not at all.
    if (fd < 0) return true;
    int r;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
        lockFd_ = fd;
        return true;
    }
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return !held;  // a file system without locks guards nothing: run
}

void TSingleInstance::startServer() {
    serverPath_ = QFile::encodeName(serverName(uniqueName_));
    sockaddr_un address;
    if (!socketAddress(serverPath_, address)) return;  // the guard still holds; only activation is lost
    // We hold the lock, so a socket file left here belongs to a copy that has ended.
    ::unlink(serverPath_.constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    // The socket file is made for this user alone: no one else may ask us anything.
    const mode_t oldMask = ::umask(0077);
    const bool listening = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                           ::listen(fd, 8) == 0;
    ::umask(oldMask);
    if (!listening) {
        ::close(fd);
        return;
    }
    serverFd_ = fd;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TSingleInstance::acceptRequests);
}

void TSingleInstance::acceptRequests() {
    for (;;) {
        const int fd = ::accept4(serverFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;  // EAGAIN: none left
        }
        connections_.emplace(fd, QByteArray());
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, fd, notifier] {
            if (readRequest(fd)) return;
            notifier->setEnabled(false);
            notifier->deleteLater();
        });
    }
}

// Answers every whole "activate" line; a connection that ends, fails or sends a line
// longer than any request is closed.
bool TSingleInstance::readRequest(int fd) {
    const auto it = connections_.find(fd);
    if (it == connections_.end()) return false;
    QByteArray& pending = it->second;
    bool ended = false;
    for (;;) {
        char chunk[256];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            pending.append(chunk, got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        ended = got == 0 || errno != EAGAIN;
        break;
    }
    for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
        const QByteArray line = pending.left(end + 1);
        pending.remove(0, end + 1);
        if (line == kActivate) {
            bringForward();
            ::send(fd, kDone, std::strlen(kDone), MSG_NOSIGNAL);
        }
    }
    if (!ended && pending.size() <= 256) return true;
    ::close(fd);
    connections_.erase(it);
    return false;
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
    sockaddr_un address;
    if (!socketAddress(QFile::encodeName(serverName(uniqueName_)), address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    constexpr int kWaitMs = 2000;
    bool done = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        (errno == EAGAIN && waitFor(fd, POLLOUT, kWaitMs))) {
        const std::size_t length = std::strlen(kActivate);
        if (::send(fd, kActivate, length, MSG_NOSIGNAL) == ssize_t(length)) {
            QByteArray answer;
            while (!answer.contains('\n') && answer.size() < 64 && waitFor(fd, POLLIN, kWaitMs)) {
                char chunk[64];
                const ssize_t got = ::read(fd, chunk, sizeof chunk);
                if (got <= 0 && !(got < 0 && (errno == EINTR || errno == EAGAIN))) break;
                if (got > 0) answer.append(chunk, got);
            }
            done = answer == kDone;
        }
    }
    ::close(fd);
    return done;
}

// Like the platform's terminate request: the start-up that follows still runs, and the
// program ends when its event loop takes the request.
void TSingleInstance::postQuit() {
    if (auto* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

}  // namespace quil::ui
