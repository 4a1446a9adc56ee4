#include "BinaryFile.h"

#include "StoreError.h"

namespace quil::store {

BinaryFile::BinaryFile(const std::string& path, std::size_t recordSize, OpenMode mode,
                       FileSystem& fs)
    : file_(fs.open(path, mode)), recordSize_(recordSize) {}

std::int64_t BinaryFile::count() { return static_cast<std::int64_t>(file_->size() / recordSize_); }

void BinaryFile::read(std::int64_t pos, void* buf) {
    if (pos < 0 || readMany(pos, 1, buf) != 1)
        throw StoreError(fileNameOf(path()), "ファイルの終わりを越えて読み込もうとしました（位置 " +
                                                 std::to_string(pos) + "）。");
}

std::size_t BinaryFile::readMany(std::int64_t pos, std::size_t n, void* buf) {
    std::size_t got =
        file_->readAt(static_cast<std::uint64_t>(pos) * recordSize_, buf, n * recordSize_);
    return got / recordSize_;
}

void BinaryFile::write(std::int64_t pos, const void* buf) { writeMany(pos, 1, buf); }

void BinaryFile::writeMany(std::int64_t pos, std::size_t n, const void* buf) {
    if (pos < 0 || pos > count())
        throw StoreError(fileNameOf(path()), "ファイルの終わりを越えて書き込もうとしました（位置 " +
                                                 std::to_string(pos) + "）。");
    file_->writeAt(static_cast<std::uint64_t>(pos) * recordSize_, buf, n * recordSize_);
}

void BinaryFile::append(const void* buf) {
    const std::uint64_t oldSize = file_->size();
    const std::string tail = partialTail();
    const std::int64_t n = count();
    try {
        write(n, buf);
    } catch (...) {
        try {
            file_->truncate(oldSize);
            if (!tail.empty())
                file_->writeAt(static_cast<std::uint64_t>(n) * recordSize_, tail.data(),
                               tail.size());
        } catch (...) {
        }
        throw;
    }
}

std::string BinaryFile::partialTail() {
    const std::uint64_t size = file_->size();
    const std::uint64_t whole = size - size % recordSize_;
    std::string tail(static_cast<std::size_t>(size - whole), '\0');
    if (!tail.empty()) tail.resize(file_->readAt(whole, tail.data(), tail.size()));
    return tail;
}

void BinaryFile::keepPartialTail(FileSystem& fs) {
    const std::string tail = partialTail();
    if (tail.empty()) return;
    const std::string base = path() + ".tail";
    std::string name = base;
    for (int n = 2; fs.exists(name) || fs.isDirectory(name); ++n) {
        auto side = fs.open(name, OpenMode::Read);
        std::string held(tail.size() + 1, '\0');
        held.resize(side->readAt(0, held.data(), held.size()));
        if (held == tail) return;
        name = base + "-" + std::to_string(n);
    }
    try {
        writeNewFile(fs, name, tail);
    } catch (...) {
        try {
            fs.remove(name);
        } catch (...) {
        }
        throw;
    }
}

void BinaryFile::truncateTo(std::int64_t records) {
    file_->truncate(static_cast<std::uint64_t>(records) * recordSize_);
}

}  // namespace quil::store
