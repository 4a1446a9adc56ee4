#pragma once
// A file system that dies part way: the local file system until the k-th change (an open
// that may write, a write, sync, truncate, rename, remove, folder made, removed or synced),
// and from that call on every call, reads included, fails. What the code under test does
// after the failure reaches no file, as after a crash or a kill at that point.

#include <memory>
#include <string>

#include "store/FileSystem.h"
#include "store/StoreError.h"

namespace quil::testing {

class CrashingFileSystem : public store::FileSystem {
public:
    explicit CrashingFileSystem(int crashAt) : crashAt_(crashAt) {}
    bool crashed() const { return crashed_; }
    int changes() const { return changes_; }

    std::unique_ptr<store::File> open(const std::string& path, store::OpenMode mode) override {
        if (mode == store::OpenMode::Read) alive(); else change();
        return std::make_unique<CrashingFile>(*this, local().open(path, mode), path);
    }
    bool exists(const std::string& path) override { alive(); return local().exists(path); }
    bool isDirectory(const std::string& path) override {
        alive();
        return local().isDirectory(path);
    }
    void rename(const std::string& from, const std::string& to) override {
        change();
        local().rename(from, to);
    }
    void remove(const std::string& path) override {
        change();
        local().remove(path);
    }
    void syncFolder(const std::string& folder) override {
        change();
        local().syncFolder(folder);
    }
    void makeFolder(const std::string& folder) override {
        change();
        local().makeFolder(folder);
    }
    void removeFolder(const std::string& folder) override {
        change();
        local().removeFolder(folder);
    }
    bool isReadOnly(const std::string& path) override {
        alive();
        return local().isReadOnly(path);
    }
    bool canReadFolder(const std::string& folder) override {
        alive();
        return local().canReadFolder(folder);
    }

private:
    class CrashingFile : public store::File {
    public:
        CrashingFile(CrashingFileSystem& fs, std::unique_ptr<store::File> inner, std::string path)
            : File(std::move(path)), fs_(fs), inner_(std::move(inner)) {}
        std::uint64_t size() override {
            fs_.alive();
            return inner_->size();
        }
        std::size_t readAt(std::uint64_t off, void* buf, std::size_t n) override {
            fs_.alive();
            return inner_->readAt(off, buf, n);
        }
        void writeAt(std::uint64_t off, const void* buf, std::size_t n) override {
            fs_.change();
            inner_->writeAt(off, buf, n);
        }
        void truncate(std::uint64_t sz) override {
            fs_.change();
            inner_->truncate(sz);
        }
        void sync() override {
            fs_.change();
            inner_->sync();
        }

    private:
        CrashingFileSystem& fs_;
        std::unique_ptr<store::File> inner_;
    };

    void alive() {
        if (crashed_) throw store::StoreError("crash", "killed");
    }
    void change() {
        alive();
        if (++changes_ >= crashAt_) {
            crashed_ = true;
            throw store::StoreError("crash", "killed");
        }
    }

    int crashAt_;
    int changes_ = 0;
    bool crashed_ = false;
};

}  // namespace quil::testing
