// quil-tool on a server data set: creating it, moving data sets in and out, and the folder
// commands (check, dump, export-csv, import-csv) on a snapshot of it.

#include <cstdlib>
#include <filesystem>
#include <map>

#include "folder/CsvExport.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "tool/ToolProgress.h"
#include "tool/ToolRunner.h"

namespace quil::tool {
namespace {

using server::ServerError;

// A folder of its own under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quil-tool.XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw store::StoreError(pattern, "作業フォルダーを作れません。");
        path_ = pattern + "/";
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

int exitFor(const ServerError& e) {
    switch (e.kind()) {
        case ServerError::Kind::Connection:
        case ServerError::Kind::Login:
        case ServerError::Kind::Other: return kExitIo;
        case ServerError::Kind::Settings: return kExitUsage;
        default: return kExitProblems;
    }
}

}  // namespace

int ToolRunner::runOnServer(const std::string& command, const std::vector<std::string>& args) {
    if (command == "backup" || command == "restore" || command == "import-legacy")
        return usage(command +
                         " はサーバーのデータセットには使えません。"
                         "server pull でフォルダーに取り出してください。",
                     command);
    try {
        if (command == "server") return serverCommand(args);
        if (command == "import-csv") return importCsvToServer(args);
        // The other commands read: they work on a snapshot pulled into a scratch folder.
        server::PgConnection c(*serverOption_);
        err_ << "quil-tool: サーバー: " << c.where() << '\n';
        ScratchFolder scratch;
        server::pullFolder(c, scratch.path());
        dataFolder_ = scratch.path();
        shownAs_ = "サーバー: " + c.where();
        if (command == "check") return check(args);
        if (command == "dump") return dump(args);
        return exportCsv(args);
    } catch (const ServerError& e) {
        err_ << "quil-tool: " << e.what() << '\n';
        return exitFor(e);
    } catch (const folder::OptionError& e) {
        return usage(e.what(), command);
    } catch (const std::exception& e) {
        err_ << "quil-tool: " << e.what() << '\n';
        return kExitIo;
    }
}

int ToolRunner::serverCommand(const std::vector<std::string>& args) {
    if (args.empty())
        return usage("server には init, push, pull, status のどれかが必要です。", "server");
    const std::string& what = args[0];
    const auto wantArgs = [&](std::size_t n) { return args.size() == n + 1; };
    if (what == "init") {
        if (!wantArgs(0)) return usage("server init に引数はありません。", "server");
        server::PgConnection c(*serverOption_);
        server::initializeSchema(c);
        out_ << c.where() << " にデータセットを作りました (形式 " << server::kSchemaVersion
             << ")。\n";
        return kExitOk;
    }
    if (what == "push") {
        if (!wantArgs(1))
            return usage("server push にはフォルダーを 1 つ指定して下さい。", "server");
        server::PgConnection c(*serverOption_);
        ToolProgress progress(err_, errIsTerminal_, "server push");
        const auto counts = server::pushFolder(c, asFolder(args[1]), std::ref(progress));
        out_ << counts.items << " 件の項目と " << counts.records << " 件の記録"
             << (counts.extension ? "と QuilExt.db" : "") << "を " << c.where()
             << " に送りました。\n";
        return kExitOk;
    }
    if (what == "pull") {
        if (!wantArgs(1))
            return usage("server pull にはフォルダーを 1 つ指定して下さい。", "server");
        server::PgConnection c(*serverOption_);
        const auto counts = server::pullFolder(c, asFolder(args[1]));
        out_ << counts.items << " 件の項目と " << counts.records << " 件の記録"
             << (counts.extension ? "と QuilExt.db" : "") << "を " << asFolder(args[1])
             << " に書きました。\n";
        return kExitOk;
    }
    if (what == "status") {
        if (!wantArgs(0)) return usage("server status に引数はありません。", "server");
        server::ServerDataSet set(*serverOption_);
        const std::string role = set.roleTitle();
        out_ << "データセット: " << set.where() << '\n'
             << "形式: " << server::kSchemaVersion << '\n'
             << "記録: " << set.recordCount() << " 件\n"
             << "項目: " << set.items().size() << " 件\n"
             << "役割: " << (role.empty() ? "なし" : role)
             << (set.writable() ? "" : " (読み取り専用)") << '\n';
        return kExitOk;
    }
    return usage("不明な server のコマンドです: " + what, "server");
}

int ToolRunner::importCsvToServer(const std::vector<std::string>& args) {
    // The records are checked and made as for a folder, on a snapshot; the ones the import
    // added are then stored on the server in one transaction, all or nothing.
    server::ServerDataSet set(*serverOption_);
    err_ << "quil-tool: サーバー: " << set.where() << '\n';
    if (!set.writable())
        throw ServerError(ServerError::Kind::NotAllowed, set.where(),
                          "この利用者には記録を追加する権限がありません。何も書き込んでいません。");
    ScratchFolder scratch;
    server::pullFolder(set.connection(), scratch.path());
    std::map<std::string, int> before;
    const store::RecordStore snapshot(scratch.path());
    snapshot.scan([&](std::int64_t, const store::DataRecord& r) {
        ++before[std::string(reinterpret_cast<const char*>(r.bytes().data()), r.Size)];
    });
    const std::size_t itemCount = store::ItemStore(scratch.path()).readAll().size();
    dataFolder_ = scratch.path();
    const int code = importCsv(args);
    if (code != kExitOk) return code;
    std::vector<store::DataRecord> added;
    snapshot.scan([&](std::int64_t, const store::DataRecord& r) {
        auto it = before.find(std::string(reinterpret_cast<const char*>(r.bytes().data()), r.Size));
        if (it != before.end() && it->second > 0)
            --it->second;
        else
            added.push_back(r);
    });
    set.addRecords(added, itemCount);
    return kExitOk;
}

}  // namespace quil::tool
