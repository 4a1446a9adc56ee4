#include "FileReplace.h"

#include <cstdint>
#include <vector>

#include "StoreError.h"

namespace quil::store {

void syncFolderOf(FileSystem& fs, const std::string& path) {
    try {
        fs.syncFolder(folderOf(path));
    } catch (const StoreError&) {
    }
}

void replaceFile(FileSystem& fs, const std::string& path, const std::string& tempPath,
                 std::size_t recordSize, const std::function<void(BinaryFile&)>& fill,
                 const std::string& keepOriginalAs) {
    // A data file that is a link would become a regular file here, and the link's target
    // would keep the old bytes: refused before anything is written.
    if (fs.isLink(path))
        throw StoreError(fileNameOf(path),
                         "リンクのため置き換えられません。リンク先のファイルを直接指定して"
                         "下さい。何も変更していません。");
    bool keptCopy = false;
    try {
        {
            BinaryFile out(tempPath, recordSize, OpenMode::CreateNew, fs);
            fill(out);
            out.sync();
        }
        if (!keepOriginalAs.empty()) {
            // Copied, not renamed: a crash before the new file is in place must not leave
            // the folder without `path`.
            BinaryFile in(path, 1, OpenMode::Read, fs);
            BinaryFile kept(keepOriginalAs, 1, OpenMode::CreateNew, fs);
            keptCopy = true;
            std::vector<std::uint8_t> buf(1 << 16);
            in.readChunks(buf.data(), buf.size(), [&](std::int64_t pos, std::size_t got) {
                kept.writeMany(pos, got, buf.data());
            });
            kept.sync();
        }
        fs.rename(tempPath, path);
    } catch (...) {
        try {
            if (keptCopy) fs.remove(keepOriginalAs);
        } catch (...) {
        }
        try {
            fs.remove(tempPath);
        } catch (...) {
        }
        throw;
    }
    syncFolderOf(fs, path);
}

}  // namespace quil::store
