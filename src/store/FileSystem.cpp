#include "FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "StoreError.h"

namespace quil::store {

std::string errnoReason(int err) {
    switch (err) {
        case ENOENT: return "ファイルが見つかりません。";
        case EACCES:
        case EPERM: return "アクセスが拒否されました。";
        case ENOSPC: return "ディスクの空き容量が不足しています。";
        case EROFS: return "書き込み禁止のディスクです。";
        case EIO: return "入出力エラーが発生しました。";
        case EISDIR: return "フォルダーであってファイルではありません。";
        case ENOTDIR: return "パスの途中にフォルダーでないものがあります。";
        case ENAMETOOLONG: return "ファイル名またはパスが長すぎます。";
        case EEXIST: return "同じ名前のファイルかフォルダーが既にあります。";
        case ENOTEMPTY: return "フォルダーが空ではありません。";
        case EBUSY:
        case ETXTBSY: return "別のプログラムが使用中です。";
        case EXDEV: return "別のドライブへは名前の変更で移せません。";
        case EDQUOT: return "ディスクの使用量の上限を超えました。";
        case EMFILE:
        case ENFILE: return "開いているファイルが多すぎます。";
        case ELOOP: return "シンボリックリンクが循環しています。";
        case ENXIO:
        case ENODEV: return "装置がありません。";
        case EINVAL: return "この操作はできません。";
        case EFBIG: return "ファイルが大きすぎます。";
        default: return "入出力エラーが発生しました (エラー番号 " + std::to_string(err) + ")。";
    }
}

std::string fileNameOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

void writeNewFile(FileSystem& fs, const std::string& path, std::string_view bytes) {
    auto file = fs.open(path, OpenMode::CreateNew);
    file->writeAt(0, bytes.data(), bytes.size());
    file->sync();
}

std::string withSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

void FileSystem::syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw StoreError(folder, errnoReason(errno));
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0) throw StoreError(folder, errnoReason(err));
}

void FileSystem::makeFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0755) != 0) throw StoreError(folder, errnoReason(errno));
}

void FileSystem::removeFolder(const std::string& folder) {
    // Without its trailing separator the name is the entry itself, not what a link points to.
    std::string entry = folder;
    while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
    if (isLink(entry))
        throw StoreError(fileNameOf(entry),
                         "フォルダーではなくリンクのため削除しません。何も変更していません。");
    std::error_code ec;
    std::filesystem::remove_all(entry, ec);
    if (ec) throw StoreError(folder, errnoReason(ec.value()));
}

bool FileSystem::isReadOnly(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

bool FileSystem::isLink(const std::string& path) {
    std::string entry = path;
    while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
    struct stat st {};
    return ::lstat(entry.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool FileSystem::canReadFolder(const std::string& folder) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return false;
    ::closedir(d);
    return true;
}

namespace {

class PosixFile final : public File {
public:
    PosixFile(std::string path, int fd) : File(std::move(path)), fd_(fd) {}
    ~PosixFile() override { ::close(fd_); }

    std::uint64_t size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) fail(errno);
        return static_cast<std::uint64_t>(st.st_size);
    }

    std::size_t readAt(std::uint64_t offset, void* buf, std::size_t n) override {
        std::size_t done = 0;
        while (done < n) {
            ssize_t r = ::pread(fd_, static_cast<char*>(buf) + done, n - done,
                                static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                fail(errno);
            }
            if (r == 0) break;
            done += static_cast<std::size_t>(r);
        }
        return done;
    }

    void writeAt(std::uint64_t offset, const void* buf, std::size_t n) override {
        std::size_t done = 0;
        while (done < n) {
            ssize_t r = ::pwrite(fd_, static_cast<const char*>(buf) + done, n - done,
                                 static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                fail(errno);
            }
            done += static_cast<std::size_t>(r);
        }
    }

    void truncate(std::uint64_t sz) override {
        if (::ftruncate(fd_, static_cast<off_t>(sz)) != 0) fail(errno);
    }

    void sync() override {
        if (::fdatasync(fd_) != 0) fail(errno);
    }

private:
    [[noreturn]] void fail(int err) { throw StoreError(fileNameOf(path()), errnoReason(err)); }
    int fd_;
};

class LocalFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override {
        int flags = O_CLOEXEC;
        switch (mode) {
            case OpenMode::Read: flags |= O_RDONLY; break;
            case OpenMode::ReadWrite: flags |= O_RDWR; break;
            case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
            case OpenMode::OpenOrCreate: flags |= O_RDWR | O_CREAT; break;
            case OpenMode::CreateNew:
                flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
                // unlink removes a link itself, never its target.
                if (::unlink(path.c_str()) != 0 && errno != ENOENT)
                    throw StoreError(fileNameOf(path), errnoReason(errno));
                break;
            case OpenMode::Exclusive: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
        }
        int fd = ::open(path.c_str(), flags, 0644);
        if (fd < 0) throw StoreError(fileNameOf(path), errnoReason(errno));
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            throw StoreError(fileNameOf(path), errnoReason(EISDIR));
        }
        return std::make_unique<PosixFile>(path, fd);
    }

    bool exists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    bool isDirectory(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    void rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0)
            throw StoreError(fileNameOf(to), errnoReason(errno));
    }

    void remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            throw StoreError(fileNameOf(path), errnoReason(errno));
    }
};

FileSystem* g_current = nullptr;

}  // namespace

FileSystem& FileSystem::local() {
    static LocalFileSystem fs;
    return fs;
}

FileSystem& FileSystem::current() { return g_current ? *g_current : local(); }

void FileSystem::setCurrent(FileSystem* fs) { g_current = fs; }

}  // namespace quil::store
