#pragma once
// The lock of a data folder on a drive several computers share: "Quil.lck" (a QLockFile)
// with "Quil.lck.info" beside it naming the computer, the user and the time it was taken.
// A lock left by a copy of the program that ended without releasing it is stale: on the
// same computer when its process is gone, on another when it has not been renewed for
// kStaleMinutes (the holder renews it every minute).

#include <QDateTime>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <future>
#include <memory>
#include <string>

class QTimer;

namespace quil::folder {

class ReadOnlyFileSystem;

class DataFolderLock : public QObject {
    Q_OBJECT
public:
    static constexpr int kStaleMinutes = 5;
    struct Holder {
        QString host, user;
        QDateTime since;
    };

    // `folder` ends with '/'.
    explicit DataFolderLock(const std::string& folder);
    ~DataFolderLock() override;

    // True when this program now holds the folder (or already did): acquire() and, when it
    // succeeds, startRenewal().
    bool tryLock();
    // Takes the lock and writes who holds it, without starting the renewal: it touches no
    // Qt object, so it may run on another thread while nothing else uses this lock.
    bool acquire();
    // Renews the lock every minute from now on; on this object's thread, after acquire().
    void startRenewal();
    bool isLocked() const;
    const std::string& folder() const { return folder_; }
    // Who holds the folder, read from its lock files.
    Holder holder() const;
    // "<host> の <user> さんが yyyy/MM/dd hh:mm から使用しています。" (a holder whose user
    // name is unknown is "使用者（名前は分かりません）")
    static QString describe(const Holder& holder);
    // Why the last acquire() failed: who holds the folder when another copy does, else what
    // kept the lock file from being made (a read-only drive, no right to write there).
    QString failure() const;

private:
    void renew();
    std::string folder_;
    QLockFile lock_;
    QTimer* renewal_ = nullptr;
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
