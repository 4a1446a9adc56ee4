#include "folder/ExtensionFile.h"

#include <sqlite3.h>

#include <filesystem>

#include "store/FileSystem.h"

namespace quil::folder {

namespace {

// Opens `path` (never creating it) and runs the integrity check; the connection is closed
// on every way out.
std::string check(const std::string& path, int flags) {
    const std::string name = store::fileNameOf(path);
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    std::string problem;
    auto failed = [&](const char* what) {
        problem = name + " " + what + "（" + (db ? sqlite3_errmsg(db) : "out of memory") +
                  "）。データベースが壊れています。";
    };
    if (opened != SQLITE_OK) {
        failed("を開けません");
    } else {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) != SQLITE_OK) {
            failed("を読めません");
        } else {
            const int rc = sqlite3_step(st);
            if (rc != SQLITE_ROW) {
                failed("を読めません");
            } else {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
                const std::string first = text ? text : "";
                if (first != "ok") problem = name + " の整合性の検査で問題が見つかりました（" +
                                             first + "）。データベースが壊れています。";
            }
            sqlite3_finalize(st);
        }
    }
    sqlite3_close_v2(db);
    return problem;
}

}  // namespace

std::vector<std::string> extensionCompanionNames(const std::string& name) {
    return {name + "-journal", name + "-wal", name + "-shm"};
}

std::string settleExtensionFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
    // An empty file is an empty database to SQLite; opening it for writing changes nothing.
    return check(path, SQLITE_OPEN_READWRITE);
}

std::string extensionIntegrityProblem(const std::string& path) {
    return check(path, SQLITE_OPEN_READONLY);
}

}  // namespace quil::folder
