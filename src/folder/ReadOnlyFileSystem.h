#pragma once
// A file system that refuses every change inside one folder: installed while another
// computer holds the data folder and this copy only reads it, so no command can write.

#include <string>

#include "store/FileSystem.h"

namespace quil::folder {

class ReadOnlyFileSystem : public store::FileSystem {
public:
    // `folder` ends with '/'; `inner` does the reading (and writing outside the folder).
    ReadOnlyFileSystem(std::string folder, store::FileSystem& inner);

    std::unique_ptr<store::File> open(const std::string& path, store::OpenMode mode) override;
    bool exists(const std::string& path) override { return inner_.exists(path); }
    bool isDirectory(const std::string& path) override { return inner_.isDirectory(path); }
    void rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    void makeFolder(const std::string& folder) override;
    void removeFolder(const std::string& folder) override;
    // Whether a change to `path` is refused (files written outside this seam, such as
    // QuilExt.db through SQLite, ask here first).
    bool refuses(const std::string& path) const {
        return path.compare(0, folder_.size(), folder_) == 0;
    }

    static constexpr const char* kReason =
        "他のコンピューターが使用中のため、読み取り専用で開いています。変更はできません。";

private:
    void refuseInside(const std::string& path) const;
    std::string folder_;
    store::FileSystem& inner_;
};

}  // namespace quil::folder
