#pragma once
// Operations on the record file Quil.qud, whose live and deleted records stand in
// ascending order of (date, vehicle, user).

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BinaryFile.h"
#include "Records.h"
#include "StoreError.h"

namespace quil::store {

// Where a save put the record, so that a list of positions can follow without a rescan.
struct SavedPlace {
    enum class Way {
        Created,    // the file did not exist: the record is its only one
        Appended,   // after the last record
        Rewritten,  // the edited record kept its position
        Inserted,   // records from `position` on moved up by one to make room
    };
    Way way = Way::Appended;
    std::int64_t position = 0;  // the record's position after the save
    // On an edit that moved the record: the old version's position before the save (it is
    // marked deleted, and moved up by one when it stood at or after `position`); else -1.
    std::int64_t markedDeleted = -1;
    bool operator==(const SavedPlace&) const = default;
};

class RecordStore {
public:
    // `dataDir` ends with the path separator.
    explicit RecordStore(std::string dataDir, FileSystem& fs = FileSystem::current());

    const std::string& path() const { return path_; }
    bool exists() const;
    std::int64_t count() const;
    DataRecord read(std::int64_t position) const;

    // Calls f(position, record) for every record, deleted ones included, in file order.
    // A missing file has no records. The read buffer is sized to the file (at most 1 MiB).
    template <typename F>
    void scan(F&& f) const;

    // Saves a new record (no position) or the edited version of the record at
    // `editPosition`, keeping the file in order. A record that fits between its
    // neighbours is appended or rewritten in place; otherwise the old version (on an edit)
    // is marked deleted and the record is inserted after every record with a key not
    // above its own. The reordered file is built beside the original and renamed over
    // it, so a failure leaves the file exactly as it was. Says where the record went.
    SavedPlace save(const DataRecord& record, std::optional<std::int64_t> editPosition);

    void markDeleted(std::int64_t position);

    // Whether any record, deleted ones included, refers to the item at `position` in the
    // field that belongs to the item's kind.
    bool refersTo(int position, ItemKind kind) const;

private:
    SavedPlace insertSorted(BinaryFile& f, const DataRecord& record, std::int64_t deletePos);

    std::string dataDir_;
    std::string path_;
    FileSystem& fs_;
};

template <typename F>
void RecordStore::scan(F&& f) const {
    if (!exists()) return;
    BinaryFile file(path_, DataRecord::Size, OpenMode::Read, fs_);
    const std::int64_t n = file.count();
    if (n <= 0) return;
    // A file that fits in one chunk is read in one go; the last call below then finds
    // nothing more (the file may have grown meanwhile: those records are read too).
    const std::size_t kChunk = std::size_t(std::min<std::int64_t>(n, 4096));
    std::vector<DataRecord> buf(kChunk);
    file.readChunks(buf.data(), kChunk, [&](std::int64_t pos, std::size_t got) {
        for (std::size_t i = 0; i < got; ++i) f(pos + static_cast<std::int64_t>(i), buf[i]);
    });
}

// The first 14 bytes every record of both files begins with.
struct FileHeader {
    bool empty = true;  // the file has no bytes
    std::string signature;
    double stamp = 0;
    std::int16_t version = 0;
};

// Header of record 0 of a file; nullopt when the file does not exist. A file shorter
// than the header raises StoreError.
std::optional<FileHeader> readFileHeader(const std::string& path,
                                         FileSystem& fs = FileSystem::current());

struct ConversionResult {
    bool records = false;
    bool items = false;
};

// Converts the record file and the item file of the data folder from the older format
// (version below 101 in record 0), each through tmp.$$$ renamed over the original; the
// original stays beside it under keptOriginalName. When the item file fails after the
// record file was converted, the original record file is put back, so a failure leaves
// the data set as it was; should even that fail, HalfConvertedError says so.
ConversionResult convertOlderFormat(const std::string& dataDir,
                                    FileSystem& fs = FileSystem::current());
// Each raises StoreError ("ファイルが壊れています。") for a file that does not lay out as
// records of the older size.
bool convertRecordFile(const std::string& dataDir, FileSystem& fs = FileSystem::current());
bool convertItemFile(const std::string& dataDir, FileSystem& fs = FileSystem::current());

// Whether a record file of the older format is whole: its size is a multiple of the
// older record size and every record begins with the signature "QD". A newer file whose
// first version field was damaged fails this test.
bool olderRecordFileIsWhole(const std::string& path, FileSystem& fs = FileSystem::current());

// The name under which a conversion keeps the original: "<file>.100-yyyymmdd" (today),
// with "-2", "-3", ... added when that name is taken.
std::string keptOriginalName(const std::string& path, FileSystem& fs = FileSystem::current());

// A conversion failed and the record file, converted already, could not be put back.
class HalfConvertedError : public StoreError {
public:
    HalfConvertedError(const std::string& file, const std::string& reason, std::string kept)
        : StoreError(file, reason), kept_(std::move(kept)) {}
    // Where the original record file is.
    const std::string& kept() const { return kept_; }

private:
    std::string kept_;
};

// The row index Data.idx: entry k is the record position behind row k + 1 of the list.
void writeRowIndex(const std::string& path, const std::vector<std::int32_t>& positions,
                   FileSystem& fs = FileSystem::current());
// Sets entry k (k at most the entry count: k equal to it appends one entry).
void writeRowIndexEntry(const std::string& path, std::int64_t k, std::int32_t position,
                        FileSystem& fs = FileSystem::current());
// Entry k; raises StoreError when the file is missing or too short.
std::int32_t readRowIndex(const std::string& path, std::int64_t k,
                          FileSystem& fs = FileSystem::current());

}  // namespace quil::store
