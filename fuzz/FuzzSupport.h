#pragma once
// What the store's fuzz targets share: a scratch folder for the whole run, whole-file
// reads and writes, and a file system that fails its k-th changing call.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "Bytes.h"
#include "store/FileSystem.h"
#include "store/StoreError.h"

namespace quil::fuzz {

// Stops the run with a message: libFuzzer keeps the input that got here.
#define QUIL_FUZZ_CHECK(cond, what)                                           \
    do {                                                                      \
        if (!(cond)) {                                                        \
            std::fprintf(stderr, "broken invariant: %s (%s)\n", what, #cond); \
            std::abort();                                                     \
        }                                                                     \
    } while (0)

inline std::string scratchFolder() {
    static const std::string dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quil-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        return tmpl + "/";
    }();
    return dir;
}

// An empty folder of its own under the scratch folder.
inline std::string freshFolder(const char* name) {
    const std::string dir = scratchFolder() + name + "/";
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    return dir;
}

// Whole-file reads and writes, as the tests have them.
using quil::testing::readBytes;
using quil::testing::writeBytes;

// Fails the k-th changing call (write, sync, rename, remove, opening for writing); 0 never
// fails. A failing write that grows the file writes half its bytes first, as a full disk.
class FailingFileSystem : public store::FileSystem {
public:
    explicit FailingFileSystem(int failAt) : failAt_(failAt) {}
    bool fired() const { return fired_; }

    std::unique_ptr<store::File> open(const std::string& path, store::OpenMode mode) override {
        if (mode != store::OpenMode::Read) step(path);
        return std::make_unique<Wrapped>(*this, local().open(path, mode));
    }
    bool exists(const std::string& p) override { return local().exists(p); }
    bool isDirectory(const std::string& p) override { return local().isDirectory(p); }
    void rename(const std::string& from, const std::string& to) override {
        step(to);
        local().rename(from, to);
    }
    void remove(const std::string& p) override {
        step(p);
        local().remove(p);
    }

private:
    class Wrapped final : public store::File {
    public:
        Wrapped(FailingFileSystem& fs, std::unique_ptr<store::File> inner)
            : File(inner->path()), fs_(fs), inner_(std::move(inner)) {}
        std::uint64_t size() override { return inner_->size(); }
        std::size_t readAt(std::uint64_t o, void* b, std::size_t n) override {
            return inner_->readAt(o, b, n);
        }
        void writeAt(std::uint64_t o, const void* b, std::size_t n) override {
            if (fs_.shouldFail()) {
                if (o + n > inner_->size() && n > 1) inner_->writeAt(o, b, n / 2);
                throw store::StoreError(store::fileNameOf(path()), "fault");
            }
            inner_->writeAt(o, b, n);
        }
        void truncate(std::uint64_t s) override { inner_->truncate(s); }
        void sync() override {
            fs_.step(path());
            inner_->sync();
        }

    private:
        FailingFileSystem& fs_;
        std::unique_ptr<store::File> inner_;
    };

    bool shouldFail() {
        if (++count_ == failAt_) fired_ = true;
        return count_ == failAt_;
    }
    void step(const std::string& path) {
        if (shouldFail()) throw store::StoreError(store::fileNameOf(path), "fault");
    }
    int failAt_;
    int count_ = 0;
    bool fired_ = false;
};

}  // namespace quil::fuzz
