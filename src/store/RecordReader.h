#pragma once
// Reads records of Quil.qud one at a time for a list that keeps only positions. Records
// come in blocks of consecutive positions, and the few blocks read last are kept, so
// painting a screen of rows (which stand in file order) costs one or two reads.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "FileSystem.h"
#include "Records.h"

namespace quil::store {

class RecordReader {
public:
    explicit RecordReader(std::string path = {}, FileSystem& fs = FileSystem::current());

    const std::string& path() const { return path_; }
    // Reads `path` from now on; forgets the open file and every kept block.
    void reset(std::string path);
    // Forgets the open file and the kept blocks (after the program changed the file: a
    // sorted insertion replaces it, so the open file would be the old one).
    void forget();

    // The record at `position`; nullopt when there is no file or no whole record there.
    // Throws StoreError when the file cannot be opened or read.
    std::optional<DataRecord> read(std::int64_t position);

    static constexpr std::size_t kBlockRecords = 32;  // 8 KiB a block
    static constexpr std::size_t kBlocks = 8;

private:
    struct Block {
        std::int64_t first = -1;  // position of records[0]; -1 for an unused block
        std::size_t count = 0;    // whole records read
        std::uint64_t lastUse = 0;
        std::array<DataRecord, kBlockRecords> records;
    };

    std::string path_;
    FileSystem& fs_;
    std::unique_ptr<File> file_;
    bool missing_ = false;  // the file did not exist when last looked for
    std::uint64_t uses_ = 0;
    std::unique_ptr<std::array<Block, kBlocks>> blocks_;
};

}  // namespace quil::store
