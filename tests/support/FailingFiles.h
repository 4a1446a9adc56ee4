#pragma once
// A file system for the widget tests that refuses every write to the files named, as a
// read-only or full disk would (or every opening of them, as a damaged disk would), and
// leaves every other file alone. Installed for its lifetime.

#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "store/FileSystem.h"
#include "store/StoreError.h"

namespace quil::testing {

class FailingFiles : public store::FileSystem {
public:
    enum class Refuse { Writes, Everything };
    explicit FailingFiles(std::vector<std::string> names, Refuse refuse = Refuse::Writes)
        : names_(std::move(names)), refuse_(refuse) {
        setCurrent(this);
    }
    ~FailingFiles() override { setCurrent(nullptr); }
    FailingFiles(const FailingFiles&) = delete;
    FailingFiles& operator=(const FailingFiles&) = delete;

    int refusals() const { return refusals_; }

    std::unique_ptr<store::File> open(const std::string& path, store::OpenMode mode) override {
        if (mode != store::OpenMode::Read)
            refuseIfNamed(path);
        else if (refuse_ == Refuse::Everything)
            refuseIfNamed(path, "読み込めません。");
        return local().open(path, mode);
    }
    bool exists(const std::string& path) override { return local().exists(path); }
    bool isDirectory(const std::string& path) override { return local().isDirectory(path); }
    void rename(const std::string& from, const std::string& to) override {
        refuseIfNamed(to);
        local().rename(from, to);
    }
    void remove(const std::string& path) override { local().remove(path); }

private:
    // A name matches itself and its temporary companions ("Quil.ini.tmp").
    void refuseIfNamed(const std::string& path, const char* reason = "書き込みできません。") {
        const std::string name = store::fileNameOf(path);
        for (const std::string& n : names_) {
            if (name.rfind(n, 0) == 0) {
                ++refusals_;
                throw store::StoreError(name, reason);
            }
        }
    }

    std::vector<std::string> names_;
    Refuse refuse_;
    int refusals_ = 0;
};

}  // namespace quil::testing
