#include "folder/ExportFile.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>

#include "folder/DataSetFiles.h"
#include "store/FileReplace.h"
#include "store/ItemStore.h"
#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Whether `name` is one of the files a data folder holds for the program itself.
bool isOwnFileName(const std::string& name) {
    const std::string l = lower(name);
    for (const char* own :
         {kItemFileName, kRecordFileName, kExtensionFileName, "QuilExt.db-journal",
          "QuilExt.db-wal", "QuilExt.db-shm", kRowIndexFileName, "Quil.ini", "Quil.lck",
          "Quil.lck.info", "swap.journal", "quil.staging", "Quil.kept"})
        if (l == lower(own)) return true;
    return false;
}

// Where a link at `path` leads (followed to its end); `path` itself when it is no link.
std::string linkTarget(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
    const fs::path resolved = fs::weakly_canonical(path, ec);
    return ec ? path : resolved.string();
}

}  // namespace

std::string ownFileProblem(const std::string& path) {
    for (const std::string& p : {path, linkTarget(path)})
        if (isOwnFileName(fileNameOf(p)))
            return "データのファイル (" + fileNameOf(p) +
                   ") には書き出せません。別の名前を指定して下さい。";
    return {};
}

std::string exportTargetProblem(const std::string& path) {
    if (std::string own = ownFileProblem(path); !own.empty()) return own;
    if (fileNameOf(path).empty()) return "ファイル名を指定して下さい。";
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) return "フォルダーには書き出せません。ファイル名を指定して下さい。";
    if (fs::is_regular_file(st) && (st.permissions() & fs::perms::owner_write) == fs::perms::none &&
        (st.permissions() & (fs::perms::group_write | fs::perms::others_write)) == fs::perms::none)
        return "読み取り専用のファイルには書き出せません。";
    return {};
}

FileBeside::FileBeside(const std::string& path, FileRole role, FileSystem& fs)
    : path_(path), target_(path), fs_(fs) {
    namespace sfs = std::filesystem;
    std::error_code ec;
    if (role == FileRole::UserNamed) {
        if (const std::string problem = exportTargetProblem(path); !problem.empty())
            throw StoreError(fileNameOf(path), problem);
        target_ = linkTarget(path);
    } else if (fs.isLink(path) || fs.isDirectory(path)) {
        throw StoreError(fileNameOf(path),
                         "ファイルの名前にリンクかフォルダーがあります。何も書いていません。");
    }
    const auto st = sfs::status(target_, ec);
    inPlace_ = sfs::exists(st) && !sfs::is_regular_file(st);
    if (inPlace_) {
        part_ = target_;
        naming([&] { file_ = fs_.open(part_, OpenMode::OpenOrCreate); });
        return;
    }
    // A copy of this run's own, made under a name nobody uses: two exports to one file never
    // write into (or rename) each other's copy, and a name already taken is left alone.
    static std::atomic<unsigned> runs{0};
    for (int attempt = 0;; ++attempt) {
        part_ = target_ + "." + std::to_string(::getpid()) + "-" + std::to_string(runs++) + ".part";
        try {
            file_ = fs_.open(part_, OpenMode::Exclusive);
            return;
        } catch (const StoreError& e) {
            const bool taken = fs_.exists(part_) || fs_.isLink(part_) || fs_.isDirectory(part_);
            if (taken && attempt < 100) continue;
            part_.clear();  // not ours: nothing to remove
            done_ = true;
            throw StoreError(fileNameOf(path_), e.reason());
        }
    }
}

FileBeside::~FileBeside() {
    if (!done_) discard();
}

template <class F>
void FileBeside::naming(F&& step) {
    try {
        step();
    } catch (const StoreError& e) {
        discard();
        // The unfinished copy is ours: the user knows the file by the name they gave.
        if (inPlace_ || e.file() != fileNameOf(part_)) throw;
        throw StoreError(fileNameOf(path_), e.reason());
    } catch (...) {
        discard();
        throw;
    }
}

void FileBeside::discard() {
    file_.reset();
    done_ = true;
    if (inPlace_ || part_.empty()) return;
    try {
        fs_.remove(part_);
    } catch (const StoreError&) {
        // Only the unfinished copy: the named file is as it was.
    }
}

void FileBeside::write(std::string_view bytes) {
    if (done_) throw StoreError(fileNameOf(path_), "書き込みは終わっています。");
    naming([&] {
        file_->writeAt(offset_, bytes.data(), bytes.size());
        offset_ += bytes.size();
    });
}

void FileBeside::commit() {
    if (done_) throw StoreError(fileNameOf(path_), "書き込みは終わっています。");
    if (inPlace_) {
        file_.reset();
        done_ = true;
        return;
    }
    naming([&] {
        file_->sync();
        file_.reset();
        fs_.rename(part_, target_);
        done_ = true;
    });
    syncFolderOf(fs_, target_);
}

void writeExportFile(const std::string& path,
                     const std::function<void(const ExportSink&)>& produce, FileSystem& fs) {
    FileBeside file(path, FileRole::UserNamed, fs);
    produce([&](std::string_view bytes) { file.write(bytes); });
    file.commit();
}

void writeExportFile(const std::string& path, std::string_view bytes, FileSystem& fs) {
    writeExportFile(
        path, [bytes](const ExportSink& sink) { sink(bytes); }, fs);
}

}  // namespace quil::folder
