#pragma once
// The careful file steps the data-set commands are built from: a copy that is read back
// before it counts, and the swap of a staged data set into place by renames that are
// undone when one of them fails.

#include <string>
#include <vector>

#include "store/FileSystem.h"

namespace quil::folder {

// Copies `from` to `to` through `to` + ".$$$": writes, syncs, reads back and compares every
// byte with the source, then renames over `to`. On any failure the temporary file is removed
// and StoreError (naming the file and the reason) is raised; `to` is left as it was.
void copyVerified(const std::string& from, const std::string& to, store::FileSystem& fs);

// Whether two files hold the same bytes (a missing file equals only a missing file).
bool sameContent(const std::string& a, const std::string& b, store::FileSystem& fs);

// A staging folder inside a data folder, removed with whatever it holds when it goes.
class StagingFolder {
public:
    // `dataFolder` ends with '/'; any leftover of an earlier failed command is cleared.
    StagingFolder(const std::string& dataFolder, const std::string& name);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Puts the files `names` of `staging` in place of those of `dataFolder`. The current files
// are first moved aside into the staging folder, then the staged ones moved in; a failing
// rename undoes the renames done so far, so the data folder holds either all the old files
// or all the new ones. A name the staging folder lacks is left alone in the data folder.
// The old files moved aside are removed with the staging folder.
void replaceByRenames(const std::string& staging, const std::string& dataFolder,
                      const std::vector<std::string>& names, store::FileSystem& fs);

}  // namespace quil::folder
