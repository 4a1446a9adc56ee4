#pragma once
// The file-system seam's test double: the local file system, failing one chosen call.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/FileSystem.h"
#include "store/StoreError.h"

namespace quil::testing {

// Wraps the local file system and fails the k-th call of one kind (1-based).
// A failing write that would grow the file writes half its bytes first, as a full disk
// does; one inside the file writes nothing.
class FaultyFileSystem : public store::FileSystem {
public:
    enum class Op { Write, Sync, Rename, Remove, Open };

    FaultyFileSystem(Op op, int failAt) : op_(op), failAt_(failAt) {}
    int calls(Op op) const { return counts_[static_cast<int>(op)]; }
    bool fired() const { return fired_; }
    // Every write, sync, rename and folder sync in order, as "write <file>",
    // "sync <file>", "rename <from> <to>" and "syncFolder" (file names only).
    const std::vector<std::string>& log() const { return log_; }

    std::unique_ptr<store::File> open(const std::string& path, store::OpenMode mode) override {
        tick(Op::Open, path);
        return std::make_unique<FaultyFile>(*this, local().open(path, mode), path);
    }
    bool exists(const std::string& path) override { return local().exists(path); }
    bool isDirectory(const std::string& path) override { return local().isDirectory(path); }
    void rename(const std::string& from, const std::string& to) override {
        tick(Op::Rename, to);
        local().rename(from, to);
        log_.push_back("rename " + store::fileNameOf(from) + " " + store::fileNameOf(to));
    }
    void syncFolder(const std::string& folder) override {
        local().syncFolder(folder);
        log_.push_back("syncFolder");
    }
    void remove(const std::string& path) override {
        tick(Op::Remove, path);
        local().remove(path);
    }

private:
    class FaultyFile : public store::File {
    public:
        FaultyFile(FaultyFileSystem& fs, std::unique_ptr<store::File> inner, std::string path)
            : File(std::move(path)), fs_(fs), inner_(std::move(inner)) {}
        std::uint64_t size() override { return inner_->size(); }
        std::size_t readAt(std::uint64_t off, void* buf, std::size_t n) override {
            return inner_->readAt(off, buf, n);
        }
        void writeAt(std::uint64_t off, const void* buf, std::size_t n) override {
            if (fs_.shouldFail(Op::Write)) {
                if (off + n > inner_->size() && n > 1) inner_->writeAt(off, buf, n / 2);
                throw store::StoreError(store::fileNameOf(path()), "書き込みに失敗しました。");
            }
            inner_->writeAt(off, buf, n);
            fs_.log_.push_back("write " + store::fileNameOf(path()));
        }
        void truncate(std::uint64_t sz) override { inner_->truncate(sz); }
        void sync() override {
            fs_.tick(Op::Sync, path());
            inner_->sync();
            fs_.log_.push_back("sync " + store::fileNameOf(path()));
        }

    private:
        FaultyFileSystem& fs_;
        std::unique_ptr<store::File> inner_;
    };

    bool shouldFail(Op op) {
        int& c = counts_[static_cast<int>(op)];
        ++c;
        if (op == op_ && c == failAt_) {
            fired_ = true;
            return true;
        }
        return false;
    }
    void tick(Op op, const std::string& path) {
        if (shouldFail(op))
            throw store::StoreError(store::fileNameOf(path), "注入された失敗です。");
    }

    Op op_;
    int failAt_;
    int counts_[5] = {};
    bool fired_ = false;
    std::vector<std::string> log_;
};

}  // namespace quil::testing
