// The start-up conversion of data files of the older format.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "FileReplace.h"
#include "ItemStore.h"
#include "RecordStore.h"
#include "StoreError.h"

namespace quil::store {
namespace {

constexpr std::size_t kOldRecordSize = 192;
constexpr std::size_t kChunk = 4096;

bool needsConversion(const std::string& path, FileSystem& fs) {
    auto header = readFileHeader(path, fs);
    return header && !header->empty && header->version < kFormatVersion;
}

[[noreturn]] void refuseDamaged(const std::string& path) {
    throw StoreError(fileNameOf(path), "ファイルが壊れています。");
}

// Format 100 record (192 bytes) to format 101.
DataRecord convertRecord(const std::uint8_t* old) {
    DataRecord r;
    std::uint8_t* d = r.data();
    // Fields that keep their place: signature, stamp, kind, deleted flag, vehicle to the
    // bytes at 48 and 49, price to tax, item to place, remarks and the int32 at 172.
    std::memcpy(d + 0, old + 0, 3);
    std::memcpy(d + 4, old + 4, 8);
    std::memcpy(d + 14, old + 14, 3);
    std::memcpy(d + 28, old + 28, 22);
    std::memcpy(d + 52, old + 52, 12);
    std::memcpy(d + 64, old + 64, 6);
    // At most 100 bytes of remarks: a larger length byte is clamped with the text.
    d[70] = std::min<std::uint8_t>(old[70], 100);
    std::memcpy(d + 71, old + 71, 100);
    std::memcpy(d + 172, old + 172, 4);
    r.setVersion(kFormatVersion);
    double oldDate;
    std::memcpy(&oldDate, old + 20, 8);
    const DateTime day = dateOnly(oldDate);
    r.setDate(day);
    r.setReturnTime(day);
    // The old short string at 176 (at most 15 bytes) becomes the legacy text, byte for byte.
    const std::uint8_t legacyLen = std::min<std::uint8_t>(old[176], 15);
    d[225] = legacyLen;
    std::memcpy(d + 226, old + 177, legacyLen);
    return r;
}

// Converts the record file; returns where the original was kept, or nothing when the
// file needed no conversion.
std::optional<std::string> convertRecords(const std::string& dataDir, FileSystem& fs) {
    const std::string path = dataDir + kRecordFileName;
    if (!needsConversion(path, fs)) return std::nullopt;
    if (!olderRecordFileIsWhole(path, fs)) refuseDamaged(path);
    const std::string kept = keptOriginalName(path, fs);
    BinaryFile in(path, kOldRecordSize, OpenMode::Read, fs);
    replaceFile(
        fs, path, dataDir + kTempFileName, DataRecord::Size,
        [&](BinaryFile& out) {
            std::vector<std::uint8_t> buf(kChunk * kOldRecordSize);
            std::vector<DataRecord> conv(kChunk);
            in.readChunks(buf.data(), kChunk, [&](std::int64_t pos, std::size_t got) {
                for (std::size_t i = 0; i < got; ++i)
                    conv[i] = convertRecord(buf.data() + i * kOldRecordSize);
                out.writeMany(pos, got, conv.data());
            });
        },
        kept);
    return kept;
}

std::optional<std::string> convertItems(const std::string& dataDir, FileSystem& fs) {
    const std::string path = dataDir + kItemFileName;
    if (!needsConversion(path, fs)) return std::nullopt;
    const std::string kept = keptOriginalName(path, fs);
    BinaryFile in(path, ItemRecord::Size, OpenMode::Read, fs);
    replaceFile(
        fs, path, dataDir + kTempFileName, ItemRecord::Size,
        [&](BinaryFile& out) {
            std::vector<ItemRecord> buf(kChunk);
            in.readChunks(buf.data(), kChunk, [&](std::int64_t pos, std::size_t got) {
                for (std::size_t i = 0; i < got; ++i) buf[i].setVersion(kFormatVersion);
                out.writeMany(pos, got, buf.data());
            });
        },
        kept);
    return kept;
}

}  // namespace

bool olderRecordFileIsWhole(const std::string& path, FileSystem& fs) {
    auto file = fs.open(path, OpenMode::Read);
    const std::uint64_t size = file->size();
    if (size == 0 || size % kOldRecordSize != 0) return false;
    std::vector<std::uint8_t> buf(kChunk * kOldRecordSize);
    for (std::uint64_t off = 0; off < size;) {
        const std::size_t got = file->readAt(off, buf.data(), buf.size());
        if (got == 0 || got % kOldRecordSize != 0) return false;
        for (std::size_t i = 0; i < got; i += kOldRecordSize)
            if (buf[i] != 2 || buf[i + 1] != 'Q' || buf[i + 2] != 'D') return false;
        off += got;
    }
    return true;
}

std::string keptOriginalName(const std::string& path, FileSystem& fs) {
    const CivilDate d = decodeDate(today());
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02u", d.year, d.month, d.day);
    const std::string base = path + ".100-" + stamp;
    std::string name = base;
    for (int n = 2; fs.exists(name) || fs.isDirectory(name); ++n)
        name = base + "-" + std::to_string(n);
    return name;
}

bool convertRecordFile(const std::string& dataDir, FileSystem& fs) {
    return convertRecords(dataDir, fs).has_value();
}

bool convertItemFile(const std::string& dataDir, FileSystem& fs) {
    return convertItems(dataDir, fs).has_value();
}

ConversionResult convertOlderFormat(const std::string& dataDir, FileSystem& fs) {
    ConversionResult result;
    const std::optional<std::string> keptRecords = convertRecords(dataDir, fs);
    result.records = keptRecords.has_value();
    try {
        result.items = convertItems(dataDir, fs).has_value();
    } catch (const StoreError& e) {
        if (!keptRecords) throw;
        // One file converted and the other not is no data set: put the record file back.
        try {
            fs.rename(*keptRecords, dataDir + kRecordFileName);
            syncFolderOf(fs, dataDir + kRecordFileName);
        } catch (const StoreError&) {
            throw HalfConvertedError(e.file(), e.reason(), *keptRecords);
        }
        throw;
    }
    return result;
}

}  // namespace quil::store
