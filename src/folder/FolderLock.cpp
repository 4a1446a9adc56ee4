#include "folder/FolderLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace quil::folder {

namespace {

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string userName() {
    for (const char* var : {"USER", "USERNAME", "LOGNAME"})
        if (const char* v = std::getenv(var); v && *v) return v;
    return {};
}

// The name of this program's executable, as other holders check it against the process id.
std::string programName() {
    char path[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "quil";
    const std::string full(path, std::size_t(n));
    return full.substr(full.find_last_of('/') + 1);
}

// A small file read whole (a lock file is three lines); empty when it cannot be read.
std::string readSmall(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    char buf[1024];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    return n > 0 ? std::string(buf, std::size_t(n)) : std::string();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Writes a file made new (any entry of that name, a link included, is replaced, never
// followed).
bool writeNew(const std::string& path, const std::string& text) {
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return ok;
}

std::string isoTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

std::time_t fromIsoTime(const std::string& text) {
    std::tm local{};
    if (!strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &local)) return 0;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

}  // namespace

FolderLock::FolderLock(std::string folder) : folder_(std::move(folder)) {}

FolderLock::~FolderLock() { release(); }

FolderLock::Attempt FolderLock::tryOnce() {
    const std::string path = folder_ + kLockFileName;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const std::string text =
            std::to_string(::getpid()) + "\n" + programName() + "\n" + hostName() + "\n";
        const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size()) &&
                             ::fsync(fd) == 0;
        error_ = written ? 0 : errno;
        ::close(fd);
        if (!written) {
            ::unlink(path.c_str());
            return Attempt::Failed;
        }
        writeNew(path + ".info",
                 hostName() + "\n" + userName() + "\n" + isoTime(std::time(nullptr)) + "\n");
        return Attempt::Taken;
    }
    if (errno != EEXIST) {
        error_ = errno;
        return Attempt::Failed;
    }
    error_ = 0;
    const std::string content = readSmall(path);
    if (!staleHolder(content)) return Attempt::Held;
    // Taken over only if it is still the file judged stale: another taker may have been first.
    if (readSmall(path) == content) {
        ::unlink(path.c_str());
        ::unlink((path + ".info").c_str());
    }
    return Attempt::Held;  // the caller tries again at once
}

bool FolderLock::staleHolder(const std::string& content) const {
    const std::string path = folder_ + kLockFileName;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;  // gone already: the next try takes it
    if (!S_ISREG(st.st_mode)) return false;  // not a lock file of ours: never removed
    const std::vector<std::string> l = lines(content);
    if (l.size() >= 3 && l[2] == hostName()) {
        char* end = nullptr;
        const long pid = std::strtol(l[0].c_str(), &end, 10);
        if (pid > 0 && end && *end == '\0') return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
    }
    // Held from another computer (or written part way): stale once its renewals stop.
    return std::time(nullptr) - st.st_mtime > kStaleMinutes * 60;
}

bool FolderLock::acquire(std::chrono::milliseconds wait) {
    if (held_) return true;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (int takeOvers = 0;;) {
        const Attempt a = tryOnce();
        if (a == Attempt::Taken) break;
        if (a == Attempt::Failed) return false;
        // A stale lock just removed is taken on the next try without waiting.
        struct stat st {};
        if (::lstat((folder_ + kLockFileName).c_str(), &st) != 0 && ++takeOvers < 3) continue;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    held_ = true;
    stopping_ = false;
    renewal_ = std::thread([this] { renewLoop(); });
    return true;
}

void FolderLock::renewLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_.wait_for(lock, std::chrono::minutes(1), [this] { return stopping_; }))
        ::utimensat(AT_FDCWD, (folder_ + kLockFileName).c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

void FolderLock::release() {
    if (!held_) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_all();
    if (renewal_.joinable()) renewal_.join();
    ::unlink((folder_ + kLockFileName + ".info").c_str());
    ::unlink((folder_ + kLockFileName).c_str());
    held_ = false;
}

std::optional<FolderLock::Holder> FolderLock::holder() const {
    const std::string path = folder_ + kLockFileName;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    Holder h;
    const std::vector<std::string> l = lines(readSmall(path));
    if (l.size() >= 3) {
        h.pid = std::strtol(l[0].c_str(), nullptr, 10);
        h.program = l[1];
        h.host = l[2];
    }
    const std::vector<std::string> info = lines(readSmall(path + ".info"));
    if (info.size() >= 3) {
        // The holder names its computer there as it knows it (its lock file may be older).
        if (!info[0].empty()) h.host = info[0];
        h.user = info[1] == "?" ? std::string() : info[1];
        h.since = fromIsoTime(info[2]);
    }
    return h;
}

std::string FolderLock::failure() const {
    if (error_ != 0)
        return "ロックファイル " + folder_ + kLockFileName +
               " を作れません（書き込みの権限がないか、読み取り専用のドライブか、ディスクが"
               "いっぱいです）。";
    const auto h = holder();
    return folder_ + kLockFileName + ": ほかのプログラムがこのデータを開いています。" +
           (h ? describeHolder(*h) : std::string()) +
           "終わってからもう一度実行して下さい。";
}

std::string describeHolder(const FolderLock::Holder& h) {
    std::string since;
    if (h.since != 0) {
        std::tm local{};
        localtime_r(&h.since, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y/%m/%d %H:%M", &local);
        since = std::string(text) + " から";
    }
    std::string text = (h.host.empty() ? "別のコンピューター" : h.host) + " の " +
                       (h.user.empty() ? "使用者（名前は分かりません）" : h.user + " さん") +
                       "が" + since + "使用しています";
    if (!h.program.empty()) text += "（" + h.program + "）";
    return text + "。";
}

}  // namespace quil::folder
