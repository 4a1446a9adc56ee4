#include "folder/FileCopy.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

namespace {

constexpr std::size_t kChunk = 1 << 20;

void removeQuietly(const std::string& path, FileSystem& fs) {
    try {
        fs.remove(path);
    } catch (const StoreError&) {
        // Only a temporary file: leaving it costs room, not data.
    }
}

}  // namespace

bool sameContent(const std::string& a, const std::string& b, FileSystem& fs) {
    const bool ea = fs.exists(a), eb = fs.exists(b);
    if (!ea || !eb) return ea == eb;
    auto fa = fs.open(a, OpenMode::Read);
    auto fb = fs.open(b, OpenMode::Read);
    const std::uint64_t size = fa->size();
    if (fb->size() != size) return false;
    std::vector<char> ba(kChunk), bb(kChunk);
    for (std::uint64_t off = 0; off < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - off));
        if (fa->readAt(off, ba.data(), n) != n || fb->readAt(off, bb.data(), n) != n) return false;
        if (std::memcmp(ba.data(), bb.data(), n) != 0) return false;
        off += n;
    }
    return true;
}

void copyVerified(const std::string& from, const std::string& to, FileSystem& fs) {
    const std::string temp = to + ".$$$";
    try {
        {
            auto in = fs.open(from, OpenMode::Read);
            auto out = fs.open(temp, OpenMode::Create);
            const std::uint64_t size = in->size();
            std::vector<char> buf(kChunk);
            for (std::uint64_t off = 0; off < size;) {
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - off));
                const std::size_t got = in->readAt(off, buf.data(), want);
                if (got != want)
                    throw StoreError(fileNameOf(from), "ファイルを最後まで読めませんでした。");
                out->writeAt(off, buf.data(), got);
                off += got;
            }
            out->sync();
        }
        if (!sameContent(from, temp, fs))
            throw StoreError(fileNameOf(to), "コピーした内容が元のファイルと一致しません。");
        fs.rename(temp, to);
    } catch (...) {
        removeQuietly(temp, fs);
        throw;
    }
}

StagingFolder::StagingFolder(const std::string& dataFolder, const std::string& name)
    : path_(dataFolder + name + "/") {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    if (!std::filesystem::create_directory(path_, ec) || ec)
        throw StoreError(name, errnoReason(ec ? ec.value() : EEXIST));
}

StagingFolder::~StagingFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void replaceByRenames(const std::string& staging, const std::string& dataFolder,
                      const std::vector<std::string>& names, FileSystem& fs) {
    struct Step {
        std::string from, to;
    };
    std::vector<Step> done;
    auto undo = [&] {
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            try {
                fs.rename(it->to, it->from);
            } catch (const StoreError&) {
                // Keep undoing the others; the file stays under its staging name.
            }
        }
    };
    try {
        for (const std::string& n : names) {
            if (!fs.exists(staging + n) || !fs.exists(dataFolder + n)) continue;
            fs.rename(dataFolder + n, staging + n + ".old");
            done.push_back({dataFolder + n, staging + n + ".old"});
        }
        for (const std::string& n : names) {
            if (!fs.exists(staging + n)) continue;
            fs.rename(staging + n, dataFolder + n);
            done.push_back({staging + n, dataFolder + n});
        }
    } catch (...) {
        undo();
        throw;
    }
}

}  // namespace quil::folder
