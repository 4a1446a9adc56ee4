#include "ui/dialogs/DataFolderLock.h"

#include "folder/ReadOnlyFileSystem.h"

namespace quil::folder {

DataFolderLock::DataFolderLock(const std::string& folder) : lock_(folder) {}

DataFolderLock::Holder DataFolderLock::holder() const {
    Holder h;
    if (const auto held = lock_.holder()) {
        h.host = QString::fromStdString(held->host);
        h.user = QString::fromStdString(held->user);
        if (held->since != 0) h.since = QDateTime::fromSecsSinceEpoch(held->since);
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
    if (lock_.creationError() == 0) return describe(holder());
    return QStringLiteral(
               "ロックファイル %1 を作れません（フォルダーがないか、書き込めないドライブか、"
               "ディスクがいっぱいです）。")
        .arg(QString::fromStdString(folder() + kLockFileName));
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
        return std::make_unique<DataFolderAccess>(std::move(lock));
    }
    const std::string folder = lock->folder();
    if (!askReadOnly(lock->failure())) return nullptr;
    return std::make_unique<DataFolderAccess>(folder);
}

}  // namespace quil::folder
