#pragma once
// Publishing a new version of a record file in one step.

#include <functional>
#include <string>

#include "BinaryFile.h"

namespace quil::store {

// Writes a new file at `tempPath` with `fill`, syncs it, renames it over `path` and syncs
// the folder, so the rename survives a crash too. With `keepOriginalAs` the original is
// first copied to that name (a crash at any point leaves `path` in place). The temporary
// file is made new, never opened through a link; a `path` that is a link is refused. On any
// failure the temporary file is removed and `path` holds the original bytes.
void replaceFile(FileSystem& fs, const std::string& path, const std::string& tempPath,
                 std::size_t recordSize, const std::function<void(BinaryFile&)>& fill,
                 const std::string& keepOriginalAs = {});

// Syncs the folder of `path`. A failure is ignored: the rename it follows has happened
// and cannot be taken back.
void syncFolderOf(FileSystem& fs, const std::string& path);

}  // namespace quil::store
