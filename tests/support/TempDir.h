#pragma once
// A temporary folder for one test, removed with everything in it when the test ends.

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace quil::testing {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quil-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // The folder without a trailing separator.
    std::string path() const { return path_.string(); }
    // The folder with a trailing separator, as the store expects.
    std::string dir() const { return path_.string() + "/"; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace quil::testing
