#pragma once
// One open file of fixed-size records, closed when it goes out of scope, so an operation
// that ends early by an exception still closes its file.

#include <cstdint>
#include <memory>
#include <string>

#include "FileSystem.h"

namespace quil::store {

class BinaryFile {
public:
    BinaryFile(const std::string& path, std::size_t recordSize, OpenMode mode,
               FileSystem& fs = FileSystem::current());

    // Whole records in the file; a partial record at the end does not count.
    std::int64_t count();
    // Reads the record at `pos` into `buf`; throws StoreError past the end.
    void read(std::int64_t pos, void* buf);
    // Reads up to `n` whole records from `pos`; returns how many were read.
    std::size_t readMany(std::int64_t pos, std::size_t n, void* buf);
    // Reads every whole record from the start, `chunk` records at a time into `buf` (room
    // for `chunk` records), and calls f(first position, count) for each non-empty chunk.
    template <typename F>
    void readChunks(void* buf, std::size_t chunk, F&& f);
    // Writes the record at `pos`, which may be at most the record count (an append).
    void write(std::int64_t pos, const void* buf);
    void writeMany(std::int64_t pos, std::size_t n, const void* buf);
    void truncateTo(std::int64_t records);
    // Writes a record after the last whole one. A failure leaves the file exactly as it
    // was, a partial record at its end included.
    void append(const void* buf);
    // The bytes after the last whole record (a record cut short by a crash or a full disk).
    std::string partialTail();
    // Copies a partial tail into a side file "<file>.tail" ("-2", "-3", ... when that name
    // holds other bytes) before an operation that would overwrite or drop it. Nothing
    // happens when there is no tail or the side file holds it already.
    void keepPartialTail(FileSystem& fs = FileSystem::current());
    void sync() { file_->sync(); }
    const std::string& path() const { return file_->path(); }
    std::size_t recordSize() const { return recordSize_; }

private:
    std::unique_ptr<File> file_;
    std::size_t recordSize_;
};

template <typename F>
void BinaryFile::readChunks(void* buf, std::size_t chunk, F&& f) {
    for (std::int64_t pos = 0;;) {
        const std::size_t got = readMany(pos, chunk, buf);
        if (got > 0) f(pos, got);
        if (got < chunk) break;
        pos += static_cast<std::int64_t>(got);
    }
}

}  // namespace quil::store
