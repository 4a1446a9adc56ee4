#include "folder/ScratchFolder.h"

#include <stdlib.h>

#include <filesystem>

#include "store/StoreError.h"

namespace quil::folder {

ScratchFolder::ScratchFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + ".XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        throw store::StoreError(pattern, "作業用のフォルダーを作れません。何も変更していません。");
    path_ = pattern + '/';
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace quil::folder
