// quil-tool on a server data set: creating it, moving data sets in and out, and the folder
// commands (check, dump, export-csv, import-csv) on a snapshot of it.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "folder/CsvExport.h"
#include "folder/ScratchFolder.h"
#include "server/PgConnection.h"
#include "server/ServerAccounts.h"
#include "server/ServerBackup.h"
#include "server/ServerDataSet.h"
#include "server/ServerExtensions.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "server/WebAccounts.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "tool/ToolProgress.h"
#include "tool/ToolRunner.h"

namespace quil::tool {
namespace {

using folder::ScratchFolder;
using server::ServerError;

int exitFor(const ServerError& e) {
    switch (e.kind()) {
        case ServerError::Kind::Connection:
        case ServerError::Kind::Login:
        case ServerError::Kind::Other: return kExitIo;
        case ServerError::Kind::Settings: return kExitUsage;
        default: return kExitProblems;
    }
}

// The accounts as `server accounts` lists them: the program's accounts, with a superuser
// called one (it holds every role without being given any), then the database's owner when
// it is not among them (it owns the tables, whatever its name), then the superusers.
void listAccountsTruly(server::PgConnection& c, std::ostream& out) {
    const server::PgResult r = c.exec(
        "SELECT (SELECT pg_get_userbyid(datdba) FROM pg_database "
        "        WHERE datname = current_database()), "
        "       coalesce((SELECT string_agg(rolname, ',') FROM pg_roles WHERE rolsuper), '')");
    const std::string owner(r.text(0, 0));
    const std::string supers = "," + std::string(r.text(0, 1)) + ",";
    const auto title = [&](const std::string& name, const std::string& programRole) {
        const bool super = supers.find("," + name + ",") != std::string::npos;
        if (name == owner) return std::string(super ? "所有者（スーパーユーザー）" : "所有者");
        return super ? std::string("スーパーユーザー") : programRole;
    };
    bool ownerListed = false;
    for (const server::Account& a : server::listAccounts(c)) {
        ownerListed = ownerListed || a.name == owner;
        out << a.name << '\t' << title(a.name, server::roleTitle(a.role))
            << (a.canLogIn ? "" : "\t(無効)") << '\n';
    }
    if (!ownerListed) out << owner << '\t' << title(owner, {}) << '\n';
    // The data set's roles leave superusers out, yet each may do everything here.
    std::string name;
    for (std::size_t at = 1; at < supers.size(); at += name.size() + 1) {
        name = supers.substr(at, supers.find(',', at) - at);
        if (!name.empty() && name != owner) out << name << '\t' << title(name, {}) << '\n';
    }
}

// What `server push` and `server pull` moved, to `where`, ending with `done`.
void sayMoved(std::ostream& out, const server::TransferCounts& counts, const std::string& where,
              const char* done) {
    out << counts.items << " 件の項目と " << counts.records << " 件の記録"
        << (counts.extension ? "と QuilExt.db" : "") << "を " << where << done;
}

}  // namespace

int ToolRunner::runOnServer(const std::string& command, const std::vector<std::string>& args) {
    try {
        if (command == "server") return serverCommand(args);
        if (command == "backup" || command == "restore" || command == "import-legacy")
            return replaceOnServer(command, args);
        if (command == "import-csv") return importCsvToServer(args);
        if (command == "expiries" || command == "licences" || command == "papers")
            return paperCommand(command, args);
        // The other commands read: they work on a snapshot pulled into a scratch folder.
        server::PgConnection c(*serverOption_);
        err_ << "quil-tool: サーバー: " << c.where() << '\n';
        ScratchFolder scratch("quil-tool");
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
        return usage(
            "server には init, push, pull, status, accounts, account-…, drivers, driver-… の"
            "どれかが必要です。",
            "server");
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
        sayMoved(out_, server::pushFolder(c, asFolder(args[1]), std::ref(progress)), c.where(),
                 " に送りました。\n");
        return kExitOk;
    }
    if (what == "pull") {
        if (!wantArgs(1))
            return usage("server pull にはフォルダーを 1 つ指定して下さい。", "server");
        server::PgConnection c(*serverOption_);
        sayMoved(out_, server::pullFolder(c, asFolder(args[1])), asFolder(args[1]),
                 " に書きました。\n");
        return kExitOk;
    }
    if (what == "accounts") {
        if (!wantArgs(0)) return usage("server accounts に引数はありません。", "server");
        server::PgConnection c(*serverOption_);
        listAccountsTruly(c, out_);
        return kExitOk;
    }
    if (what == "account-add" || what == "account-role") {
        server::AccountRole role{};
        if (!wantArgs(2) || !server::roleFromTitle(args[2], role))
            return usage(
                "server " + what + " には利用者名と役割 (管理者, 事務, 閲覧) を指定して下さい。",
                "server");
        server::PgConnection c(*serverOption_);
        if (what == "account-role") {
            server::setAccountRole(c, args[1], role);
            out_ << args[1] << " を" << server::roleTitle(role) << "にしました。\n";
            return kExitOk;
        }
        // The password comes from the standard input (one line), never from the command line.
        std::string password;
        std::getline(in_, password);
        if (!password.empty() && password.back() == '\r') password.pop_back();
        server::addAccount(c, args[1], password, role);
        out_ << args[1] << " を" << server::roleTitle(role) << "として作りました。\n";
        return kExitOk;
    }
    if (what == "account-password" || what == "account-disable" || what == "account-enable") {
        if (!wantArgs(1))
            return usage("server " + what + " には利用者名を 1 つ指定して下さい。", "server");
        server::PgConnection c(*serverOption_);
        if (what == "account-password") {
            std::string password;
            std::getline(in_, password);
            if (!password.empty() && password.back() == '\r') password.pop_back();
            if (!password.empty() && password.back() == '\r') password.pop_back();
            server::setAccountPassword(c, args[1], password);
            out_ << args[1] << " のパスワードを変えました。\n";
        } else {
            server::setAccountLogIn(c, args[1], what == "account-enable");
            out_ << args[1]
                 << (what == "account-enable" ? " を有効にしました。\n" : " を無効にしました。\n");
        }
        return kExitOk;
    }
    if (what == "drivers" || what.rfind("driver-", 0) == 0) return driverCommand(args);
    if (what == "detectors") {
        if (!wantArgs(0)) return usage("server detectors に引数はありません。", "server");
        for (const alcohol::Detector& d : server::ServerCheckStore(*serverOption_).detectors())
            out_ << d.id << '\t' << d.name << '\t' << d.serial << (d.retired ? "\t(使用中止)" : "")
                 << '\n';
        return kExitOk;
    }
    if (what == "detector-add") {
        if (args.size() != 2 && args.size() != 3)
            return usage("server detector-add には検知器の名前 (と製造番号) を指定して下さい。",
                         "server");
        alcohol::Detector d;
        d.name = args[1];
        d.serial = args.size() == 3 ? args[2] : std::string();
        const auto bad = [](const std::string& text) {
            return text.size() > 200 || std::any_of(text.begin(), text.end(), [](char ch) {
                       return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f;
                   });
        };
        if (d.name.find_first_not_of(" \t") == std::string::npos) {
            err_ << "quil-tool: 検知器の名前を入力してください。\n";
            return kExitProblems;
        }
        if (bad(d.name) || bad(d.serial)) {
            err_
                << "quil-tool: 検知器の名前と製造番号は 1 行 (200 バイトまで) で指定して下さい。\n";
            return kExitProblems;
        }
        const std::int64_t id = server::ServerCheckStore(*serverOption_).addDetector(d);
        out_ << "アルコール検知器「" << d.name << "」を登録しました (番号 " << id << ")。\n";
        return kExitOk;
    }
    if (what == "status") {
        if (!wantArgs(0)) return usage("server status に引数はありません。", "server");
        server::ServerDataSet set(*serverOption_);
        const std::string role = set.roleTitle();
        out_ << "データセット: " << set.where() << '\n'
             << "形式: " << server::kSchemaVersion << '\n'
             << "記録: " << set.recordCount() << " 件";
        // Deleted records stay in the data set (and travel with a pull): said, not hidden.
        if (const auto deleted = set.recordCount(true) - set.recordCount(); deleted > 0)
            out_ << " (ほかに削除した記録 " << deleted << " 件)";
        // A superuser holds every role without being given one.
        const bool super =
            set.connection().exec("SELECT rolsuper FROM pg_roles WHERE rolname = current_user")
                .text(0, 0) == "t";
        out_ << '\n'
             << "項目: " << set.items().size() << " 件\n"
             << "役割: " << (super ? "スーパーユーザー" : role.empty() ? "なし" : role)
             << (set.writable() ? "" : " (読み取り専用)") << '\n';
        return kExitOk;
    }
    return usage("不明な server のコマンドです: " + what, "server");
}

int ToolRunner::driverCommand(const std::vector<std::string>& args) {
    const std::string& what = args[0];
    const auto readPassword = [this] {
        // One line of the standard input, never the command line (which others can see).
        std::string password;
        std::getline(in_, password);
        if (!password.empty() && password.back() == '\r') password.pop_back();
        return password;
    };
    if (what == "drivers") {
        if (args.size() != 1) return usage("server drivers に引数はありません。", "server");
        server::PgConnection c(*serverOption_);
        for (const server::DriverAccount& a : server::WebAccounts(c).list())
            out_ << a.login << '\t' << a.driverName << '\t' << a.driver
                 << (a.driverLive ? "" : "\t(使用者がいません)") << (a.disabled ? "\t(無効)" : "")
                 << (a.locked ? "\t(ロック中)" : "")
                 << (a.mustChangePassword ? "\t(パスワード変更待ち)" : "")
                 << (a.driverLive && !a.confirmed
                         ? "\t(使用者が変わりました。作成時は「" + a.boundName +
                               "」: driver-confirm で確認するまで使えません)"
                         : "")
                 << '\n';
        return kExitOk;
    }
    if (what == "driver-add") {
        if (args.size() != 3)
            return usage(
                "server driver-add にはログイン名と使用者 (位置の番号か名前) を指定して"
                "下さい。",
                "server");
        server::PgConnection c(*serverOption_);
        server::WebAccounts accounts(c);
        const int driver = accounts.findDriver(args[2]);
        accounts.createAccount(args[1], driver, readPassword());
        const std::string login = server::normalizedWebLogin(args[1]);
        std::string name;
        for (const server::DriverAccount& a : accounts.list())
            if (a.login == login) name = a.driverName;
        out_ << login << " を使用者 " << name << " (位置 " << driver
             << ") のログインとして作りました。最初のログインでパスワードの変更を求めます。\n";
        return kExitOk;
    }
    if (what == "driver-confirm") {
        if (args.size() != 2)
            return usage("server driver-confirm にはログイン名を 1 つ指定して下さい。", "server");
        server::PgConnection c(*serverOption_);
        server::WebAccounts accounts(c);
        const std::string login = server::normalizedWebLogin(args[1]);
        accounts.confirmDriver(login);
        for (const server::DriverAccount& a : accounts.list())
            if (a.login == login)
                out_ << login << " を使用者 " << a.driverName << " (位置 " << a.driver
                     << ") のログインとして確認しました。\n";
        return kExitOk;
    }
    if (what == "driver-password" || what == "driver-disable" || what == "driver-enable") {
        if (args.size() != 2)
            return usage("server " + what + " にはログイン名を 1 つ指定して下さい。", "server");
        server::PgConnection c(*serverOption_);
        server::WebAccounts accounts(c);
        const std::string login = server::normalizedWebLogin(args[1]);
        if (what == "driver-password") {
            accounts.setPassword(login, readPassword());
            out_ << login << " のパスワードを変えました。次のログインで変更を求めます。\n";
        } else {
            accounts.setDisabled(login, what == "driver-disable");
            out_ << login
                 << (what == "driver-enable" ? " を有効にしました。\n" : " を無効にしました。\n");
        }
        return kExitOk;
    }
    return usage("不明な server のコマンドです: " + what, "server");
}

int ToolRunner::replaceOnServer(const std::string& command, const std::vector<std::string>& args) {
    std::vector<std::string> words;
    folder::ReplaceConsent consent;
    for (const std::string& a : args) {
        if (a == "--replace" && command == "backup")
            consent.otherDataSet = true;
        else if (a.rfind("--", 0) == 0)
            return usage("不明なオプションです: " + a, command);
        else
            words.push_back(a);
    }
    if (words.size() != 1) return usage("フォルダーを 1 つ指定して下さい。", command);
    const std::string folder = asFolder(words[0]);
    server::PgConnection c(*serverOption_);
    err_ << "quil-tool: サーバー: " << c.where() << '\n';
    folder::DataSetResult result;
    if (command == "backup") {
        std::error_code ec;
        if (!std::filesystem::is_directory(words[0], ec)) {
            err_ << "quil-tool: バックアップ先のフォルダーがありません: " << words[0] << '\n';
            return kExitIo;
        }
        if (refuseWhileOpen(folder, "backup")) return kExitProblems;
        result = server::backupServer(c, folder, consent);
        if (result.status == folder::DataSetStatus::ReplaceOther) {
            err_ << "quil-tool: " << result.message << '\n'
                 << "置き換えるときは --replace を付けて下さい。何も変更していません。\n";
            return kExitProblems;
        }
    } else if (command == "restore") {
        result = server::restoreServer(c, folder);
    } else {
        ToolProgress progress(err_, errIsTerminal_, "import-legacy");
        result = server::importLegacyToServer(c, folder, programFolder_,
                                              [&progress](std::int64_t done, std::int64_t total) {
                                                  progress(done, total);
                                                  return true;
                                              });
    }
    if (!result.done()) {
        err_ << "quil-tool: " << result.message << '\n';
        return kExitProblems;
    }
    out_ << (command == "backup" ? "バックアップが完了しました。\n" : "読み込みが完了しました。\n");
    if (result.logLines > 0)
        out_ << "変換ログに" << result.logLines << "件の記録があります：" << result.logPath << '\n';
    return kExitOk;
}

int ToolRunner::importCsvToServer(const std::vector<std::string>& args) {
    // The records are checked and made as for a folder, on a snapshot; the ones the import
    // added are then stored on the server in one transaction, all or nothing.
    server::ServerDataSet set(*serverOption_);
    err_ << "quil-tool: サーバー: " << set.where() << '\n';
    if (!set.writable())
        throw ServerError(ServerError::Kind::NotAllowed, set.where(),
                          "この利用者には記録を追加する権限がありません。何も書き込んでいません。");
    ScratchFolder scratch("quil-tool");
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
