#pragma once
// The desktop's view of a data folder's lock: the one folder::FolderLock every command that
// writes the folder takes ("Quil.lck" with "Quil.lck.info" beside it), so the program and
// every quil-tool command exclude each other the same way. This adds the texts the windows
// show (who holds the folder, as a QString) and nothing else.

#include <QDateTime>
#include <QString>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "folder/FolderLock.h"

namespace quil::folder {

class ReadOnlyFileSystem;

class DataFolderLock {
public:
    static constexpr int kStaleMinutes = FolderLock::kStaleMinutes;
    struct Holder {
        QString host, user;
        QDateTime since;
    };

    // `folder` ends with '/'.
    explicit DataFolderLock(const std::string& folder);

    // True when this program now holds the folder (or already did). The lock renews itself
    // every minute while it is held.
    bool tryLock() { return acquire(); }
    // Takes the lock without waiting; it touches no Qt object, so it may run on another
    // thread while nothing else uses this lock.
    bool acquire() { return lock_.acquire(); }
    bool isLocked() const { return lock_.held(); }
    const std::string& folder() const { return lock_.folder(); }
    // Who holds the folder, read from its lock files.
    Holder holder() const;
    // "<host> の <user> さんが yyyy/MM/dd hh:mm から使用しています。" (a holder whose user
    // name is unknown is "使用者（名前は分かりません）")
    static QString describe(const Holder& holder);
    // Why the last acquire() failed: who holds the folder when another copy or a quil-tool
    // command does, else what kept the lock file from being made.
    QString failure() const;

private:
    FolderLock lock_;
};

// How this copy of the program uses its data folder: holding its lock, or reading it only
// (every change inside it refused) while another computer holds it.
// A data folder's lock being taken on another thread (DataFolderAccess::startOpening).
struct PendingDataFolderLock {
    std::unique_ptr<DataFolderLock> lock;
    std::future<bool> locked;  // whether it was taken
};

class DataFolderAccess {
public:
    using Pending = PendingDataFolderLock;
    // Starts taking the lock of `folder` on another thread, so that the start-up does not
    // wait for the lock file to reach the disk (a network drive may take a while); open()
    // with it finishes the work.
    static Pending startOpening(const std::string& folder);
    static std::unique_ptr<DataFolderAccess> open(
        Pending pending, const std::function<bool(const QString&)>& askReadOnly);
    // Takes the lock of `folder`; when another computer holds it, `askReadOnly` is asked
    // (with the holder's description) whether to open the data set read-only. Returns null
    // when the user declines.
    static std::unique_ptr<DataFolderAccess> open(
        const std::string& folder, const std::function<bool(const QString&)>& askReadOnly);
    explicit DataFolderAccess(std::unique_ptr<DataFolderLock> lock);
    DataFolderAccess(const std::string& readOnlyFolder);
    ~DataFolderAccess();

    bool readOnly() const { return !lock_; }

private:
    // The access once it is known whether `lock` was taken.
    static std::unique_ptr<DataFolderAccess> settle(
        std::unique_ptr<DataFolderLock> lock,
        const std::function<bool(const QString&)>& askReadOnly, bool locked);

    std::unique_ptr<DataFolderLock> lock_;
    std::unique_ptr<ReadOnlyFileSystem> readOnly_;
};

}  // namespace quil::folder
