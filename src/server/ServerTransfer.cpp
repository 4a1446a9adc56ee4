#include "ServerTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "CopyFormat.h"
#include "ExtensionTables.h"
#include "ServerSchema.h"
#include "folder/DataSetFiles.h"
#include "folder/ExportFile.h"
#include "folder/FileCopy.h"
#include "folder/FolderLock.h"
#include "folder/ScratchFolder.h"
#include "store/FileSystem.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/Records.h"
#include "store/StoreError.h"

namespace quil::server {
namespace {

using K = ServerError::Kind;

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

ServerError fileError(const std::string& path, const std::string& what) {
    return {K::Refused, path, what + "（" + std::strerror(errno) + "）。"};
}

// The size of a file in whole records; raises for a size that is not whole records.
std::int64_t recordsIn(const std::string& path, std::size_t recordSize) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) throw ServerError(K::Refused, path, "ファイルを読めません（" + ec.message() + "）。");
    if (size % recordSize != 0)
        throw ServerError(K::Refused, path,
                          "ファイルが壊れています（大きさが記録の倍数ではありません）。"
                          "quil-tool check で確かめてください。何も送っていません。");
    return static_cast<std::int64_t>(size / recordSize);
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Every table a push writes: the data set's and each described extension table. The former
// bytes of edited records go with the records they belonged to.
std::vector<std::string> pushedTables() {
    std::vector<std::string> tables = {"quil_items", "quil_records", "quil_record_former",
                                       "quil_files", "quil_extension_file"};
    for (std::string& table : folder::extschema::serverTableNames())
        tables.push_back(std::move(table));
    return tables;
}

void requireEmptyDataSet(PgConnection& c) {
    std::string sql = "SELECT false";
    for (const std::string& table : pushedTables())
        sql += " OR EXISTS (SELECT 1 FROM " + table + ")";
    const PgResult r = c.exec(sql);
    if (r.text(0, 0) == "t")
        throw ServerError(K::Refused, c.where(),
                          "サーバーのデータセットは空ではありません。送れるのは空のデータセット"
                          "だけです。何も変更していません。");
}

// Everything a push writes, gone (inside the push's transaction, its tables locked).
void clearDataSet(PgConnection& c) {
    for (const std::string& table : pushedTables()) c.run("DELETE FROM " + table);
}

void requireDataSet(PgConnection& c) {
    const SchemaState s = inspectSchema(c);
    if (s.is != SchemaState::Is::Current) upgradeSchema(c);  // raises for no or newer data set
}

// A file of a pulled data set, written into the pull's staging folder (made new, never
// through a link); the files are put in place together by one swap once every one is
// written. Its errors are raised as this layer's, naming the file in the data folder.
class PendingFile {
public:
    PendingFile(const std::string& staging, const std::string& dest, const std::string& name)
        : name_(name), shown_(dest + name) {
        guarded([&] {
            file_ = store::FileSystem::current().open(staging + name, store::OpenMode::CreateNew);
        });
    }
    void write(std::string_view bytes) {
        guarded([&] {
            file_->writeAt(offset_, bytes.data(), bytes.size());
            offset_ += bytes.size();
        });
    }
    const std::string& name() const { return name_; }

private:
    template <class F>
    void guarded(F&& step) {
        try {
            step();
        } catch (const store::StoreError& e) {
            throw ServerError(K::Refused, shown_, e.reason());
        }
    }
    std::string name_, shown_;
    std::unique_ptr<store::File> file_;
    std::uint64_t offset_ = 0;
};

// The register and the analysis settings of the folder's QuilExt.db; nothing when there is
// no file. A file that belongs to another data set (the program sets such a file aside and
// never reads it) is refused rather than sent against this data set's items.
std::optional<ExtensionData> readFolderExtension(const std::string& folder) {
    const std::string path = folder + folder::kExtensionFileName;
    if (!exists(path)) return std::nullopt;
    SqliteFile file(path, false);
    const std::optional<double> stamp = extensionStamp(file);
    std::optional<store::FileHeader> items;
    try {
        items = store::readFileHeader(folder + store::kItemFileName);
    } catch (const store::StoreError&) {
    }
    if (stamp && items && !items->empty && *stamp != items->stamp)
        throw ServerError(K::Refused, path,
                          "QuilExt.db はこのデータセットのものではありません（別のデータセットと"
                          "一緒にあったファイルです）。QuilExt.db を別の場所に移してから送って"
                          "ください。何も送っていません。");
    return readExtensionFile(file);
}

// The stamp of a Quil.qui whose first item is `raw` (bytes 4 to 12 of its first record).
double stampOf(std::string_view raw) {
    double stamp = 0;
    std::memcpy(&stamp, raw.data() + 4, sizeof stamp);
    return stamp;
}

// QuilExt.db beside a pulled data set: SQLite writes it in a scratch folder of its own, and
// its bytes reach the data folder through a PendingFile like the other files of the pull.
class PendingExtension {
public:
    PendingExtension(const std::string& staging, const std::string& dest)
        : file_(staging, dest, folder::kExtensionFileName) {}
    void write(const ExtensionData& data, std::optional<double> stamp) {
        const folder::ScratchFolder scratch("quil-pull");
        const std::string temp = scratch.path() + folder::kExtensionFileName;
        {
            SqliteFile file(temp, true);
            writeExtensionFile(file, data, stamp);
        }
        try {
            const auto in = store::FileSystem::current().open(temp, store::OpenMode::Read);
            std::vector<char> buf(1 << 16);
            std::uint64_t at = 0;
            for (std::size_t n; (n = in->readAt(at, buf.data(), buf.size())) > 0; at += n)
                file_.write(std::string_view(buf.data(), n));
        } catch (const store::StoreError& e) {
            throw ServerError(K::Refused, temp, e.reason());
        }
    }
    const std::string& name() const { return file_.name(); }

private:
    PendingFile file_;
};

enum class Into { Empty, Replaced };

TransferCounts push(PgConnection& c, const std::string& folder, const TransferProgress& progress,
                    Into into) {
    const std::string itemPath = folder + store::kItemFileName;
    const std::string recordPath = folder + store::kRecordFileName;
    const bool hasItems = exists(itemPath);
    const bool hasRecords = exists(recordPath);
    if (!hasItems && !hasRecords)
        throw ServerError(K::Refused, folder,
                          "このフォルダーにはデータセットがありません（Quil.qui と Quil.qud が"
                          "ありません）。何も送っていません。");
    const std::int64_t itemCount = hasItems ? recordsIn(itemPath, store::ItemRecord::Size) : 0;
    const std::int64_t recordCount =
        hasRecords ? recordsIn(recordPath, store::DataRecord::Size) : 0;
    // Read before anything is sent: a file that cannot be read sends nothing.
    const std::optional<ExtensionData> extension = readFolderExtension(folder);
    requireDataSet(c);

    TransferCounts counts;
    inTransaction(c, [&] {
        c.run("SET LOCAL quil.bulk = 'on'");
        std::string tables;
        for (const std::string& table : pushedTables())
            tables += (tables.empty() ? "" : ", ") + table;
        c.run("LOCK TABLE " + tables + " IN EXCLUSIVE MODE");
        if (into == Into::Empty)
            requireEmptyDataSet(c);
        else
            clearDataSet(c);

        if (hasItems) {
            File in(std::fopen(itemPath.c_str(), "rb"));
            if (!in) throw fileError(itemPath, "ファイルを読めません");
            c.copyIn(
                "COPY quil_items (position, kind, deleted, name, raw) FROM STDIN "
                "(FORMAT binary)",
                [&, position = std::int32_t{0}, started = false](const auto& sink) mutable {
                    std::string out;
                    if (!started) out.append(kCopyHeader, kCopyHeaderSize), started = true;
                    std::uint8_t raw[store::ItemRecord::Size];
                    const bool more = std::fread(raw, sizeof raw, 1, in.get()) == 1;
                    if (more) {
                        const store::ItemRecord item(raw);
                        std::string name = item.name();
                        std::erase(name, '\0');
                        CopyRow row(out, 5);
                        row.int4(position++);
                        row.int2(item.kind());
                        row.boolean(item.deleted());
                        row.bytes(name);
                        row.bytes({reinterpret_cast<const char*>(raw), sizeof raw});
                    } else {
                        out.append("\xff\xff", 2);
                    }
                    sink(out);
                    return more;
                });
            counts.items = itemCount;
        }

        if (hasRecords) {
            File in(std::fopen(recordPath.c_str(), "rb"));
            if (!in) throw fileError(recordPath, "ファイルを読めません");
            constexpr std::size_t kChunk = 4096;
            std::vector<std::uint8_t> buf(kChunk * store::DataRecord::Size);
            std::int64_t position = 0;
            std::optional<store::DataRecord> previous;
            bool started = false;
            // The server refuses COPY into a table whose row security applies to the user
            // (an administrator who does not own the data set): such a push copies into a
            // scratch table and moves the rows over in one statement.
            const bool staged =
                c.exec("SELECT row_security_active('quil_records')").text(0, 0) == "t";
            if (staged)
                c.run(
                    "CREATE TEMP TABLE quil_push_records (LIKE quil_records INCLUDING DEFAULTS) "
                    "ON COMMIT DROP");
            // The reports' indexes are built once after the rows are in, faster than kept up
            // row by row; only the table's owner may drop them (a staged push keeps them).
            std::vector<std::string> reportIndexes;
            if (!staged) {
                const PgResult defs = c.exec(
                    "SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = "
                    "current_schema() AND tablename = 'quil_records' AND indexname IN "
                    "('quil_records_sums', 'quil_records_readings', 'quil_records_kinds', "
                    "'quil_records_refuellings', 'quil_records_drives') AND "
                    "pg_has_role(current_user, (SELECT relowner "
                    "FROM pg_class WHERE oid = 'quil_records'::regclass), 'MEMBER')");
                for (int i = 0; i < defs.rows(); ++i) {
                    c.run("DROP INDEX " + std::string(defs.text(i, 0)));
                    reportIndexes.emplace_back(defs.text(i, 1));
                }
            }
            const std::string columns = "id, entry, date, vehicle, user_no, kind, deleted, raw";
            const std::string target = staged ? "quil_push_records" : "quil_records";
            c.copyIn("COPY " + target + " (" + columns + ") FROM STDIN (FORMAT binary)",
                     [&](const auto& sink) {
                         std::string out;
                         out.reserve(buf.size() + kChunk * 64 + kCopyHeaderSize + 2);
                         if (!started) out.append(kCopyHeader, kCopyHeaderSize), started = true;
                         const std::size_t got =
                             std::fread(buf.data(), store::DataRecord::Size, kChunk, in.get());
                         for (std::size_t i = 0; i < got; ++i) {
                             const store::DataRecord r(buf.data() + i * store::DataRecord::Size);
                             if (previous && store::sortsAfter(*previous, r))
                                 throw ServerError(
                                     K::Refused, recordPath,
                                     "記録の並びが正しくありません（" +
                                         std::to_string(position + 1) +
                                         " 件目）。quil-tool check で確かめてください。"
                                         "何も送っていません。");
                             previous = r;
                             ++position;
                             CopyRow row(out, 8);
                             row.int8(position);
                             row.int8(position);
                             row.float8(r.date());
                             row.int2(r.vehicle());
                             row.int2(r.user());
                             row.int2(r.kind());
                             row.boolean(r.deleted());
                             row.bytes({reinterpret_cast<const char*>(r.bytes().data()),
                                        store::DataRecord::Size});
                         }
                         const bool more = got == kChunk;
                         if (!more) out.append("\xff\xff", 2);
                         sink(out);
                         if (progress) progress(position, recordCount);
                         return more;
                     });
            if (position != recordCount)
                throw ServerError(K::Refused, recordPath,
                                  "送っている間にファイルが変わりました。何も送っていません。");
            if (staged)
                c.run("INSERT INTO quil_records (" + columns + ") SELECT " + columns +
                      " FROM quil_push_records");
            for (const std::string& index : reportIndexes) c.run(index);
            counts.records = position;
            if (position > 0) {
                c.exec("SELECT setval('quil_records_id_seq', $1), setval('quil_entry_seq', $1)",
                       {PgParam::number(position)});
            }
        }
        // The bulk load skipped the trigger that keeps the reports' sums.
        c.run("SELECT quil_rebuild_record_sums()");
        if (extension && !extension->empty()) {
            writeExtensionTables(c, *extension);
            counts.extension = true;
        }
        c.exec(
            "INSERT INTO quil_files (name, present) VALUES ($1, $2), ($3, $4)",
            {PgParam::text(store::kItemFileName), PgParam::text(hasItems ? "true" : "false"),
             PgParam::text(store::kRecordFileName), PgParam::text(hasRecords ? "true" : "false")});
        // Every program reads the data set again when it sees the counter move.
        c.run("SELECT pg_notify('quil_changes', 'replaced ' || quil_count_change('replaced'))");
    });
    return counts;
}

}  // namespace

TransferCounts pushFolder(PgConnection& c, const std::string& folder,
                          const TransferProgress& progress) {
    return push(c, folder, progress, Into::Empty);
}

TransferCounts replaceWithFolder(PgConnection& c, const std::string& folder,
                                 const TransferProgress& progress) {
    return push(c, folder, progress, Into::Replaced);
}

TransferCounts pullFolder(PgConnection& c, const std::string& dest,
                          const TransferProgress& progress) {
    requireDataSet(c);
    std::error_code ec;
    std::filesystem::create_directories(dest, ec);
    if (ec) throw ServerError(K::Refused, dest, "フォルダーを作れません（" + ec.message() + "）。");
    // The folder's lock, as every command writing a data folder holds it: two pulls into one
    // folder never both find it empty.
    folder::FolderLock lock(dest);
    if (!lock.acquire(std::chrono::seconds(3)))
        throw ServerError(K::Refused, dest, lock.failure() + "何も書いていません。");
    const std::string itemPath = dest + store::kItemFileName;
    const std::string recordPath = dest + store::kRecordFileName;
    if (exists(itemPath) || exists(recordPath))
        throw ServerError(K::Refused, dest,
                          "このフォルダーにはデータセットがすでにあります。上書きはしません。"
                          "空のフォルダーを指定してください。");
    // Every file is written in a staging folder of the pull's own and put in place by one
    // swap: a failure at any step leaves the folder as it was, a kill is finished or undone
    // by the next start.
    const auto storeStep = [&dest](auto&& step) {
        try {
            return step();
        } catch (const store::StoreError& e) {
            throw ServerError(K::Refused, dest, e.what());
        }
    };
    std::optional<folder::StagingFolder> staging;
    storeStep([&] { staging.emplace(dest, folder::kPullStaging); });
    const std::string stage = staging->path();
    TransferCounts counts;
    // Both files from one snapshot, even while others save.
    inTransaction(
        c,
        [&] {
            const PgResult files = c.exec(
                "SELECT coalesce(bool_or(present) FILTER (WHERE name = $1), true), "
                "       coalesce(bool_or(present) FILTER (WHERE name = $2), true) FROM quil_files",
                {PgParam::text(store::kItemFileName), PgParam::text(store::kRecordFileName)});
            const PgResult gaps =
                c.exec("SELECT count(*), coalesce(max(position) + 1, 0) FROM quil_items");
            if (gaps.integer(0, 0) != gaps.integer(0, 1))
                throw ServerError(K::Refused, c.where(),
                                  "サーバーの項目の番号に抜けがあります。データセットが壊れて"
                                  "います。何も書いていません。");
            const bool hasItems = files.text(0, 0) == "t" || gaps.integer(0, 0) > 0;
            std::optional<double> stamp;  // of the pulled Quil.qui, for its QuilExt.db
            std::optional<PendingFile> items;
            std::optional<PendingFile> records;
            if (hasItems) {
                items.emplace(stage, dest, store::kItemFileName);
                CopyReader reader([&](const CopyReader::Fields& row) {
                    if (row.size() != 1 || row[0].size() != store::ItemRecord::Size)
                        throw ServerError(K::Other, c.where(), "サーバーの項目が壊れています。");
                    const std::string_view raw = row[0];
                    if (counts.items == 0) stamp = stampOf(raw);
                    items->write(raw);
                    ++counts.items;
                });
                c.copyOut(
                    "COPY (SELECT raw FROM quil_items ORDER BY position) TO STDOUT "
                    "(FORMAT binary)",
                    [&](std::string_view chunk) { reader.feed(chunk); });
            }
            const PgResult any = c.exec("SELECT EXISTS (SELECT 1 FROM quil_records)");
            if (files.text(0, 1) == "t" || any.text(0, 0) == "t") {
                records.emplace(stage, dest, store::kRecordFileName);
                CopyReader reader([&](const CopyReader::Fields& row) {
                    if (row.size() != 1 || row[0].size() != store::DataRecord::Size)
                        throw ServerError(K::Other, c.where(), "サーバーの記録が壊れています。");
                    records->write(row[0]);
                    if (++counts.records % 65536 == 0 && progress) progress(counts.records, 0);
                });
                c.copyOut(
                    "COPY (SELECT raw FROM quil_records "
                    "      ORDER BY date, vehicle, user_no, entry) TO STDOUT (FORMAT binary)",
                    [&](std::string_view chunk) { reader.feed(chunk); });
            }
            // The register and the analysis settings, as the program's own QuilExt.db.
            const ExtensionData data = readExtensionTables(c);
            std::optional<PendingExtension> extension;
            if (!data.empty()) {
                if (exists(dest + folder::kExtensionFileName))
                    throw ServerError(K::Refused, dest,
                                      "このフォルダーには QuilExt.db がすでにあります。上書きは"
                                      "しません。空のフォルダーを指定してください。");
                extension.emplace(stage, dest);
                extension->write(data, stamp);
                counts.extension = true;
            }
            folder::SwapPlan plan;
            if (items) plan.put.push_back(items->name());
            if (records) plan.put.push_back(records->name());
            if (extension) plan.put.push_back(extension->name());
            items.reset();
            records.reset();
            extension.reset();
            if (!plan.put.empty())
                storeStep([&] {
                    folder::swapIntoPlace(stage, dest, plan, store::FileSystem::current());
                });
        },
        "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    if (progress) progress(counts.records, counts.records);
    return counts;
}

}  // namespace quil::server
