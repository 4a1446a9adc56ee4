#include "ui/dialogs/DataFolderLock.h"

#include <QFile>
#include <QSysInfo>
#include <QTimer>
#include <filesystem>

#include "folder/ReadOnlyFileSystem.h"

namespace quil::folder {

namespace {

QString lockPath(const std::string& folder) {
    return QString::fromStdString(folder) + QStringLiteral("Quil.lck");
}
QString infoPath(const std::string& folder) { return lockPath(folder) + QStringLiteral(".info"); }

QString userName() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    return user;  // empty when the system does not say: describe() then says so
}

}  // namespace

DataFolderLock::DataFolderLock(const std::string& folder)
    : folder_(folder), lock_(lockPath(folder)) {
    lock_.setStaleLockTime(kStaleMinutes * 60 * 1000);
}

DataFolderLock::~DataFolderLock() {
    if (lock_.isLocked()) {
        QFile::remove(infoPath(folder_));
        lock_.unlock();
    }
}

bool DataFolderLock::isLocked() const { return lock_.isLocked(); }

bool DataFolderLock::tryLock() {
    if (!acquire()) return false;
    startRenewal();
    return true;
}

bool DataFolderLock::acquire() {
    if (lock_.isLocked()) return true;
    if (!lock_.tryLock(0)) return false;
    QFile info(infoPath(folder_));
    if (info.open(QIODevice::WriteOnly | QIODevice::Truncate))
        info.write((QSysInfo::machineHostName() + u'\n' + userName() + u'\n' +
                    QDateTime::currentDateTime().toString(Qt::ISODate) + u'\n')
                       .toUtf8());
    return true;
}

void DataFolderLock::startRenewal() {
    if (renewal_ || !lock_.isLocked()) return;
    renewal_ = new QTimer(this);
    connect(renewal_, &QTimer::timeout, this, &DataFolderLock::renew);
    renewal_->start(60 * 1000);
}

void DataFolderLock::renew() {
    std::error_code ec;
    std::filesystem::last_write_time(lockPath(folder_).toStdString(),
                                     std::filesystem::file_time_type::clock::now(), ec);
}

DataFolderLock::Holder DataFolderLock::holder() const {
    Holder h;
    QFile info(infoPath(folder_));
    if (info.open(QIODevice::ReadOnly)) {
        const QStringList lines = QString::fromUtf8(info.readAll()).split(u'\n');
        if (lines.size() >= 3) {
            h.host = lines[0];
            // Copies before this one wrote "?" for a user they did not know.
            h.user = lines[1] == QStringLiteral("?") ? QString() : lines[1];
            h.since = QDateTime::fromString(lines[2], Qt::ISODate);
        }
    }
    if (h.host.isEmpty()) {
        qint64 pid = 0;
        QString app;
        lock_.getLockInfo(&pid, &h.host, &app);
    }
    return h;
}

QString DataFolderLock::describe(const Holder& h) {
    const QString since = h.since.isValid() ? h.since.toString(QStringLiteral("yyyy/MM/dd hh:mm")) +
                                                  QStringLiteral(" から")
                                            : QString();
    return (h.host.isEmpty() ? QStringLiteral("別のコンピューター") : h.host) +
           QStringLiteral(" の ") +
           (h.user.isEmpty() ? QStringLiteral("使用者（名前は分かりません）")
                             : h.user + QStringLiteral(" さん")) +
           QStringLiteral("が") + since + QStringLiteral("使用しています。");
}

QString DataFolderLock::failure() const {
    switch (lock_.error()) {
        case QLockFile::NoError:
        case QLockFile::LockFailedError: return describe(holder());
        case QLockFile::PermissionError:
            return QStringLiteral(
                       "ロックファイル %1 を作れません（書き込みの権限がないか、読み取り"
                       "専用のドライブです）。")
                .arg(lockPath(folder_));
        case QLockFile::UnknownError: break;
    }
    return QStringLiteral(
               "ロックファイル %1 を作れません（フォルダーがないか、書き込めないドライブか、"
               "ディスクがいっぱいです）。")
        .arg(lockPath(folder_));
}

DataFolderAccess::DataFolderAccess(std::unique_ptr<DataFolderLock> lock) : lock_(std::move(lock)) {}

DataFolderAccess::DataFolderAccess(const std::string& readOnlyFolder)
    : readOnly_(
          std::make_unique<ReadOnlyFileSystem>(readOnlyFolder, store::FileSystem::current())) {
    store::FileSystem::setCurrent(readOnly_.get());
}

DataFolderAccess::~DataFolderAccess() {
    if (readOnly_ && &store::FileSystem::current() == readOnly_.get())
        store::FileSystem::setCurrent(nullptr);
}

std::unique_ptr<DataFolderAccess> DataFolderAccess::open(
    const std::string& folder, const std::function<bool(const QString&)>& askReadOnly) {
    auto lock = std::make_unique<DataFolderLock>(folder);
    const bool locked = lock->acquire();
    return settle(std::move(lock), askReadOnly, locked);
}

DataFolderAccess::Pending DataFolderAccess::startOpening(const std::string& folder) {
    Pending pending{std::make_unique<DataFolderLock>(folder), {}};
    pending.locked = std::async(std::launch::async, &DataFolderLock::acquire, pending.lock.get());
    return pending;
}

std::unique_ptr<DataFolderAccess> DataFolderAccess::open(
    Pending pending, const std::function<bool(const QString&)>& askReadOnly) {
    const bool locked = pending.locked.get();
    return settle(std::move(pending.lock), askReadOnly, locked);
}

std::unique_ptr<DataFolderAccess> DataFolderAccess::settle(
    std::unique_ptr<DataFolderLock> lock, const std::function<bool(const QString&)>& askReadOnly,
    bool locked) {
    if (locked) {
        lock->startRenewal();
        return std::make_unique<DataFolderAccess>(std::move(lock));
    }
    const std::string folder = lock->folder();
    if (!askReadOnly(lock->failure())) return nullptr;
    return std::make_unique<DataFolderAccess>(folder);
}

}  // namespace quil::folder
