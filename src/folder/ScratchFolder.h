#pragma once
// A folder of its own under the system's temporary folder, for work that builds a data set
// before it goes anywhere (a pull to read, a restore to send); removed with everything in
// it when the object goes.

#include <string>

namespace quil::folder {

class ScratchFolder {
public:
    // Throws store::StoreError when no folder can be made.
    explicit ScratchFolder(const std::string& prefix = "quil");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // Ends with '/'.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace quil::folder
