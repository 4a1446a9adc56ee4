#pragma once
// The lock of a data folder that every command writing the folder holds while it writes:
// "Quil.lck", made exclusively (O_CREAT | O_EXCL, which a shared drive honours too), holding
// the process id, the program's name and the computer's name, one a line, as the program's
// own lock file does, so both take the one lock. "Quil.lck.info" beside it names the
// computer, the user and the time it was taken. A lock whose holder has ended is stale: on
// the same computer when its process is gone, on another when it has not been renewed for
// kStaleMinutes (a holder renews it every minute).

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace quil::folder {

inline constexpr const char* kLockFileName = "Quil.lck";

class FolderLock {
public:
    static constexpr int kStaleMinutes = 5;
    struct Holder {
        std::string host, user, program;
        long pid = 0;
        std::time_t since = 0;  // 0 when unknown
    };

    // `folder` ends with '/'. Takes nothing yet.
    explicit FolderLock(std::string folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock, waiting up to `wait` for a holder to let it go; a stale lock is taken
    // over. True when it is held now. Renews it every minute until release.
    bool acquire(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    void release();
    bool held() const { return held_; }
    const std::string& folder() const { return folder_; }
    // Who holds the folder, from its lock files; nothing when nobody does.
    std::optional<Holder> holder() const;
    // Why the last acquire() failed, in Japanese: who holds the folder (naming the lock file),
    // or why the lock file could not be made.
    std::string failure() const;
    // The errno that kept the last acquire() from making the lock file; 0 when it failed
    // only because another holds the folder.
    int creationError() const { return error_; }

private:
    enum class Attempt { Taken, Held, Failed };
    Attempt tryOnce();
    bool staleHolder(const std::string& content) const;
    void renewLoop();

    std::string folder_;
    bool held_ = false;
    int error_ = 0;  // errno of the last attempt that could not make the file
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread renewal_;
};

// "<host> の <user> さんが yyyy/MM/dd hh:mm から使用しています（<program>）。"
std::string describeHolder(const FolderLock::Holder& holder);

}  // namespace quil::folder
