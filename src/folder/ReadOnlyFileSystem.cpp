#include "folder/ReadOnlyFileSystem.h"

#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

ReadOnlyFileSystem::ReadOnlyFileSystem(std::string folder, FileSystem& inner)
    : folder_(std::move(folder)), inner_(inner) {}

void ReadOnlyFileSystem::refuseInside(const std::string& path) const {
    if (path.compare(0, folder_.size(), folder_) == 0) throw StoreError(fileNameOf(path), kReason);
}

std::unique_ptr<File> ReadOnlyFileSystem::open(const std::string& path, OpenMode mode) {
    if (mode != OpenMode::Read) refuseInside(path);
    return inner_.open(path, mode);
}

void ReadOnlyFileSystem::rename(const std::string& from, const std::string& to) {
    refuseInside(from);
    refuseInside(to);
    inner_.rename(from, to);
}

void ReadOnlyFileSystem::remove(const std::string& path) {
    refuseInside(path);
    inner_.remove(path);
}

void ReadOnlyFileSystem::makeFolder(const std::string& folder) {
    refuseInside(folder);
    inner_.makeFolder(folder);
}

void ReadOnlyFileSystem::removeFolder(const std::string& folder) {
    refuseInside(folder);
    inner_.removeFolder(folder);
}

}  // namespace quil::folder
