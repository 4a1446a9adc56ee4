#include "RecordStore.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "FileReplace.h"
#include "ItemStore.h"
#include "StoreError.h"

namespace quil::store {

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

SavedPlace RecordStore::save(const DataRecord& record, std::optional<std::int64_t> editPosition) {
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
        return {SavedPlace::Way::Created, 0, -1};
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

    // An append overwrites a partial last record and an insertion drops it: keep it first.
    if (state != 3) f.keepPartialTail(fs_);
    switch (state) {
        case 2: f.append(record.data()); return {SavedPlace::Way::Appended, n, -1};
        case 3: f.write(p, record.data()); return {SavedPlace::Way::Rewritten, p, -1};
        default: return insertSorted(f, record, state == 5 ? p : -1);
    }
}

SavedPlace RecordStore::insertSorted(BinaryFile& in, const DataRecord& record,
                                     std::int64_t deletePos) {
    // The result equals marking `deletePos` deleted, then moving every record from the
    // first one that sorts after `record` up by one and writing `record` in the gap.
    std::int64_t insertAt = -1;
    replaceFile(fs_, path_, dataDir_ + kTempFileName, DataRecord::Size, [&](BinaryFile& out) {
        const std::size_t kChunk = std::size_t(std::clamp<std::int64_t>(in.count(), 1, 4096));
        std::vector<DataRecord> buf(kChunk);
        std::int64_t outPos = 0;
        in.readChunks(buf.data(), kChunk, [&](std::int64_t pos, std::size_t got) {
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
        });
        if (insertAt < 0) {
            insertAt = outPos;
            out.write(outPos, record.data());
        }
    });
    return {SavedPlace::Way::Inserted, insertAt, deletePos};
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

void writeRowIndex(const std::string& path, const std::vector<std::int32_t>& positions,
                   FileSystem& fs) {
    auto file = fs.open(path, OpenMode::Create);
    if (!positions.empty())
        file->writeAt(0, positions.data(), positions.size() * sizeof(std::int32_t));
}

void writeRowIndexEntry(const std::string& path, std::int64_t k, std::int32_t position,
                        FileSystem& fs) {
    auto file = fs.open(path, OpenMode::ReadWrite);
    file->writeAt(std::uint64_t(k) * sizeof position, &position, sizeof position);
}

std::int32_t readRowIndex(const std::string& path, std::int64_t k, FileSystem& fs) {
    BinaryFile f(path, sizeof(std::int32_t), OpenMode::Read, fs);
    std::int32_t v = 0;
    f.read(k, &v);
    return v;
}

}  // namespace quil::store
