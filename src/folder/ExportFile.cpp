#include "folder/ExportFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "folder/DataSetFiles.h"
#include "store/FileReplace.h"
#include "store/ItemStore.h"
#include "store/StoreError.h"

namespace quil::folder {

using namespace quil::store;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

std::string exportTargetProblem(const std::string& path) {
    const std::string name = lower(fileNameOf(path));
    for (const char* own : {kItemFileName, kRecordFileName, kExtensionFileName, kRowIndexFileName,
                            "Quil.ini", "Quil.lck", "Quil.lck.info"})
        if (name == lower(own))
            return "データのファイル (" + fileNameOf(path) +
                   ") には書き出せません。別の名前を指定して下さい。";
    if (name.empty()) return "ファイル名を指定して下さい。";
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) return "フォルダーには書き出せません。ファイル名を指定して下さい。";
    if (fs::is_regular_file(st) && (st.permissions() & fs::perms::owner_write) == fs::perms::none &&
        (st.permissions() & (fs::perms::group_write | fs::perms::others_write)) == fs::perms::none)
        return "読み取り専用のファイルには書き出せません。";
    return {};
}

void writeExportFile(const std::string& path,
                     const std::function<void(const ExportSink&)>& produce, FileSystem& fs) {
    if (const std::string problem = exportTargetProblem(path); !problem.empty())
        throw StoreError(fileNameOf(path), problem);
    std::error_code ec;
    const auto st = std::filesystem::status(path, ec);
    const bool inPlace = std::filesystem::exists(st) && !std::filesystem::is_regular_file(st);
    const std::string target = inPlace ? path : path + ".part";
    try {
        auto file = fs.open(target, inPlace ? OpenMode::OpenOrCreate : OpenMode::CreateNew);
        std::uint64_t offset = 0;
        produce([&](std::string_view bytes) {
            file->writeAt(offset, bytes.data(), bytes.size());
            offset += bytes.size();
        });
        if (!inPlace) {
            file->sync();
            file.reset();
            fs.rename(target, path);
            syncFolderOf(fs, path);
        }
    } catch (...) {
        if (!inPlace) {
            try {
                fs.remove(target);
            } catch (const StoreError&) {
                // Only the unfinished copy: the named file is as it was.
            }
        }
        // The unfinished copy is ours: the user knows the file by the name they gave.
        try {
            throw;
        } catch (const StoreError& e) {
            if (inPlace || e.file() != fileNameOf(target)) throw;
            throw StoreError(fileNameOf(path), e.reason());
        }
    }
}

void writeExportFile(const std::string& path, std::string_view bytes, FileSystem& fs) {
    writeExportFile(
        path, [bytes](const ExportSink& sink) { sink(bytes); }, fs);
}

}  // namespace quil::folder
