#include "RecordStore.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "ItemStore.h"
#include "StoreError.h"

namespace quil::store {
namespace {

constexpr std::size_t kOldRecordSize = 192;

// Writes a new file at `tempPath` with `fill`, makes it durable and renames it over
// `path`. On any failure the temporary file is removed and `path` is untouched.
void replaceFile(FileSystem& fs, const std::string& path, const std::string& tempPath,
                 std::size_t recordSize, const std::function<void(BinaryFile&)>& fill) {
    try {
        {
            BinaryFile out(tempPath, recordSize, OpenMode::Create, fs);
            fill(out);
            out.sync();
        }
        fs.rename(tempPath, path);
    } catch (...) {
        try {
            fs.remove(tempPath);
        } catch (...) {
        }
        throw;
    }
}

// Streams the records of `in` to `out` in chunks, letting `each` see (and change) each
// record before it is written.
template <typename Record, typename Each>
void copyRecords(BinaryFile& in, BinaryFile& out, Each&& each) {
    constexpr std::size_t kChunk = 4096;
    std::vector<Record> buf(kChunk);
    std::int64_t pos = 0;
    std::int64_t outPos = 0;
    for (;;) {
        std::size_t got = in.readMany(pos, kChunk, buf.data());
        for (std::size_t i = 0; i < got; ++i) each(pos + static_cast<std::int64_t>(i), buf[i]);
        if (got > 0) out.writeMany(outPos, got, buf.data());
        outPos += static_cast<std::int64_t>(got);
        if (got < kChunk) break;
        pos += static_cast<std::int64_t>(got);
    }
}

}  // namespace

RecordStore::RecordStore(std::string dataDir, FileSystem& fs)
    : dataDir_(std::move(dataDir)), path_(dataDir_ + kRecordFileName), fs_(fs) {}

bool RecordStore::exists() const { return fs_.exists(path_); }

std::int64_t RecordStore::count() const {
    if (!exists()) return 0;
    BinaryFile f(path_, DataRecord::Size, OpenMode::Read, fs_);
    return f.count();
}

DataRecord RecordStore::read(std::int64_t position) const {
    BinaryFile f(path_, DataRecord::Size, OpenMode::Read, fs_);
    DataRecord r;
    f.read(position, r.data());
    return r;
}

std::int64_t RecordStore::save(const DataRecord& record, std::optional<std::int64_t> editPosition) {
    if (!exists()) {
        try {
            BinaryFile f(path_, DataRecord::Size, OpenMode::Create, fs_);
            f.write(0, record.data());
        } catch (...) {
            try {
                fs_.remove(path_);
            } catch (...) {
            }
            throw;
        }
        return 0;
    }

    BinaryFile f(path_, DataRecord::Size, OpenMode::ReadWrite, fs_);
    const std::int64_t n = f.count();
    std::int64_t p = n;
    int state = 2;
    if (editPosition) {
        p = *editPosition;
        state = 3;
        if (p < 0 || p >= n)
            throw StoreError(kRecordFileName,
                             "記録の位置が正しくありません（位置 " + std::to_string(p) + "）。");
    }
    DataRecord neighbour;
    if (p > 0) {
        f.read(p - 1, neighbour.data());
        if (sortsAfter(neighbour, record)) state += 2;
    }
    if (state < 4 && p < n - 1) {
        f.read(p + 1, neighbour.data());
        if (sortsAfter(record, neighbour)) state += 2;
    }

    switch (state) {
        case 2: try { f.write(n, record.data());
            } catch (...) {
                try {
                    f.truncateTo(n);
                } catch (...) {
                }
                throw;
            }
            return n;
        case 3: f.write(p, record.data()); return p;
        default: return insertSorted(f, record, state == 5 ? p : -1);
    }
}

std::int64_t RecordStore::insertSorted(BinaryFile& in, const DataRecord& record,
                                       std::int64_t deletePos) {
    // The result equals marking `deletePos` deleted, then moving every record from the
    // first one that sorts after `record` up by one and writing `record` in the gap.
    std::int64_t insertAt = -1;
    replaceFile(fs_, path_, dataDir_ + kTempFileName, DataRecord::Size, [&](BinaryFile& out) {
        constexpr std::size_t kChunk = 4096;
        std::vector<DataRecord> buf(kChunk);
        std::int64_t pos = 0;
        std::int64_t outPos = 0;
        for (;;) {
            std::size_t got = in.readMany(pos, kChunk, buf.data());
            std::size_t from = 0;
            for (std::size_t i = 0; i < got; ++i) {
                std::int64_t at = pos + static_cast<std::int64_t>(i);
                if (at == deletePos) buf[i].setDeleted(true);
                if (insertAt < 0 && sortsAfter(buf[i], record)) {
                    out.writeMany(outPos, i - from, buf.data() + from);
                    outPos += static_cast<std::int64_t>(i - from);
                    from = i;
                    insertAt = at;
                    out.write(outPos++, record.data());
                }
            }
            out.writeMany(outPos, got - from, buf.data() + from);
            outPos += static_cast<std::int64_t>(got - from);
            if (got < kChunk) break;
            pos += static_cast<std::int64_t>(got);
        }
        if (insertAt < 0) {
            insertAt = outPos;
            out.write(outPos, record.data());
        }
    });
    return insertAt;
}

void RecordStore::markDeleted(std::int64_t position) {
    BinaryFile f(path_, DataRecord::Size, OpenMode::ReadWrite, fs_);
    DataRecord r;
    f.read(position, r.data());
    r.setDeleted(true);
    f.write(position, r.data());
}

bool RecordStore::refersTo(int position, ItemKind kind) const {
    bool found = false;
    scan([&](std::int64_t, const DataRecord& r) {
        if (referenceFor(r, kind) == position) found = true;
    });
    return found;
}

std::optional<FileHeader> readFileHeader(const std::string& path, FileSystem& fs) {
    if (!fs.exists(path)) return std::nullopt;
    auto file = fs.open(path, OpenMode::Read);
    std::uint8_t head[14] = {};
    std::size_t got = file->readAt(0, head, sizeof head);
    FileHeader h;
    if (got == 0) return h;
    if (got < sizeof head)
        throw StoreError(fileNameOf(path),
                         "ファイルが短すぎます（" + std::to_string(got) + " バイト）。");
    h.empty = false;
    std::size_t len = std::min<std::size_t>(head[0], 2);
    h.signature.assign(reinterpret_cast<const char*>(head + 1), len);
    std::memcpy(&h.stamp, head + 4, 8);
    std::memcpy(&h.version, head + 12, 2);
    return h;
}

bool convertRecordFile(const std::string& dataDir, FileSystem& fs) {
    const std::string path = dataDir + kRecordFileName;
    auto header = readFileHeader(path, fs);
    if (!header || header->empty || header->version >= kFormatVersion) return false;
    BinaryFile in(path, kOldRecordSize, OpenMode::Read, fs);
    replaceFile(fs, path, dataDir + kTempFileName, DataRecord::Size, [&](BinaryFile& out) {
        constexpr std::size_t kChunk = 4096;
        std::vector<std::uint8_t> buf(kChunk * kOldRecordSize);
        std::vector<DataRecord> conv(kChunk);
        std::int64_t pos = 0;
        for (;;) {
            std::size_t got = in.readMany(pos, kChunk, buf.data());
            for (std::size_t i = 0; i < got; ++i) {
                const std::uint8_t* old = buf.data() + i * kOldRecordSize;
                DataRecord r;
                std::uint8_t* d = r.data();
                // Fields that keep their place: signature, stamp, kind, deleted flag,
                // vehicle to the bytes at 48 and 49, price to tax, item to place, remarks
                // and the int32 at 172.
                std::memcpy(d + 0, old + 0, 3);
                std::memcpy(d + 4, old + 4, 8);
                std::memcpy(d + 14, old + 14, 3);
                std::memcpy(d + 28, old + 28, 22);
                std::memcpy(d + 52, old + 52, 12);
                std::memcpy(d + 64, old + 64, 6);
                std::memcpy(d + 70, old + 70, 101);
                std::memcpy(d + 172, old + 172, 4);
                r.setVersion(kFormatVersion);
                double oldDate;
                std::memcpy(&oldDate, old + 20, 8);
                const DateTime day = dateOnly(oldDate);
                r.setDate(day);
                r.setReturnTime(day);
                // The old short string at 176 (at most 15 bytes) becomes the legacy text,
                // copied byte for byte.
                const std::uint8_t legacyLen = std::min<std::uint8_t>(old[176], 15);
                d[225] = legacyLen;
                std::memcpy(d + 226, old + 177, legacyLen);
                conv[i] = r;
            }
            if (got > 0) out.writeMany(pos, got, conv.data());
            if (got < kChunk) break;
            pos += static_cast<std::int64_t>(got);
        }
    });
    return true;
}

bool convertItemFile(const std::string& dataDir, FileSystem& fs) {
    const std::string path = dataDir + kItemFileName;
    auto header = readFileHeader(path, fs);
    if (!header || header->empty || header->version >= kFormatVersion) return false;
    BinaryFile in(path, ItemRecord::Size, OpenMode::Read, fs);
    replaceFile(fs, path, dataDir + kTempFileName, ItemRecord::Size, [&](BinaryFile& out) {
        copyRecords<ItemRecord>(in, out,
                                [](std::int64_t, ItemRecord& r) { r.setVersion(kFormatVersion); });
    });
    return true;
}

ConversionResult convertOlderFormat(const std::string& dataDir, FileSystem& fs) {
    ConversionResult result;
    result.records = convertRecordFile(dataDir, fs);
    result.items = convertItemFile(dataDir, fs);
    return result;
}

void writeRowIndex(const std::string& path, const std::vector<std::int32_t>& positions,
                   FileSystem& fs) {
    auto file = fs.open(path, OpenMode::Create);
    if (!positions.empty())
        file->writeAt(0, positions.data(), positions.size() * sizeof(std::int32_t));
}

std::int32_t readRowIndex(const std::string& path, std::int64_t k, FileSystem& fs) {
    BinaryFile f(path, sizeof(std::int32_t), OpenMode::Read, fs);
    std::int32_t v = 0;
    f.read(k, &v);
    return v;
}

}  // namespace quil::store
