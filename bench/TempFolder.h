#pragma once
// A folder of the benchmark's own under the temporary folder, removed with what it holds
// when the object goes. `dir` ends with the path separator.

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace quil::bench {

struct TempFolder {
    std::string dir;
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quil-bench-XXXXXX").string();
        dir = std::string(mkdtemp(tmpl.data())) + "/";
    }
    ~TempFolder() { std::filesystem::remove_all(dir); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
};

}  // namespace quil::bench
