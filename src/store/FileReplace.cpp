#include "FileReplace.h"

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
    bool originalMoved = false;
    try {
        {
            BinaryFile out(tempPath, recordSize, OpenMode::Create, fs);
            fill(out);
            out.sync();
        }
        if (!keepOriginalAs.empty()) {
            fs.rename(path, keepOriginalAs);
            originalMoved = true;
        }
        fs.rename(tempPath, path);
    } catch (...) {
        try {
            if (originalMoved) fs.rename(keepOriginalAs, path);
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
