#include "tool/ToolRunner.h"

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <limits>
#include <map>
#include <sstream>

#include "folder/CsvExport.h"
#include "folder/CsvImport.h"
#include "folder/DataSet.h"
#include "folder/DataSetAudit.h"
#include "folder/ExportFile.h"
#include "folder/FileCopy.h"
#include "store/CsvReader.h"
#include "store/EntryParse.h"
#include "store/Settings.h"
#include "store/StoreError.h"
#include "tool/ToolProgress.h"

namespace quil::tool {

using namespace quil::store;

namespace {

const char* kToolHelp =
    "使い方: quil-tool [--data FOLDER | --per-user] COMMAND [OPTIONS]\n"
    "       quil-tool --server CONNINFO COMMAND [OPTIONS]\n"
    "       quil-tool --help | --version\n"
    "\n"
    "クイル台帳のデータ (Quil.qui, Quil.qud) を調べ、書き出し、読み込みます。\n"
    "FOLDER を省くと、プログラムと同じデータフォルダー (Quil.ini の Dir) を使います。\n"
    "インストールしたプログラムと --per-user で起動したプログラムの Quil.ini は\n"
    "~/.config/quil/ に、データは既定で ~/.local/share/quil/ にあります。\n"
    "--per-user は、書き込めるフォルダーにあるプログラムを --per-user で起動しているときに\n"
    "指定します。使うフォルダーはエラー出力の最初の行に出します。\n"
    "\n"
    "COMMAND:\n"
    "  check        データの不具合を調べる\n"
    "  dump         すべての項目と記録を読める形で書き出す (UTF-8)\n"
    "  export-csv   一覧の記録を CSV に書き出す\n"
    "  import-csv   CSV の記録を追加する (すべてか、何もしないか)\n"
    "  backup       データをバックアップする\n"
    "  restore      バックアップからデータを読み込む\n"
    "  import-legacy ミルテ台帳のデータを読み込む\n"
    "  expiries     期限切れ・期限間近の運転免許証と車両の書類を一覧にする\n"
    "  licences     運転免許証を CSV に書き出す (export)・CSV から追加する (import)\n"
    "  papers       車両の書類 (車検・自賠責・任意保険など) を CSV に書き出す・追加する\n"
    "  server       サーバーのデータセットを作る (init)、フォルダーから送る (push)、\n"
    "               フォルダーに取り出す (pull)\n"
    "\n"
    "--server CONNINFO はサーバー (PostgreSQL) のデータセットを使います。CONNINFO は\n"
    "\"host=ホスト dbname=データベース\" や \"service=quil\" のような libpq の接続文字列です。\n"
    "パスワードは ~/.pgpass に書きます。check, dump, export-csv, import-csv, backup,\n"
    "restore, import-legacy, expiries, licences, papers, server が使えます。\n"
    "\n"
    "quil-tool COMMAND --help で各コマンドの説明を表示します。\n"
    "終了コード: 0 正常, 1 問題あり (データのないフォルダーを含む), 2 使い方の誤り,\n"
    "            3 入出力エラー\n";

const std::map<std::string, const char*> kCommandHelp = {
    {"check",
     "使い方: quil-tool [--data FOLDER] check\n"
     "署名、版、データセットの日時、ファイルの大きさ、記録の順序、存在しない項目への参照、\n"
     "未来の日付の記録を調べます。問題ごとに 1 行を出して終了コード 1、問題がなければ\n"
     "\"OK\" を出して終了コード 0 で終わります。\n"},
    {"dump",
     "使い方: quil-tool [--data FOLDER] dump\n"
     "すべての項目と記録 (削除したものは [削除] 付き) を 1 行ずつ UTF-8 で書き出します。\n"},
    {"export-csv",
     "使い方: quil-tool [--data FOLDER] export-csv --kind KIND [--from yyyy-mm-dd]\n"
     "         [--to yyyy-mm-dd] [--vehicle NAME]... [--user NAME]...\n"
     "         [--encoding cp932|utf-8] [--out FILE]\n"
     "KIND: driving (走行記録), refuelling (給油記録), maintenance (点検・整備記録),\n"
     "      expense (出費記録: 費用のある記録すべて)\n"
     "一覧と同じ列と文字で、期間・車両・使用者に合う記録を書き出します。数値は桁区切りなし、\n"
     "日付は yyyy/mm/dd。既定は CP932 と CRLF (Excel でそのまま開けます)。UTF-8 は BOM\n"
     "付きで書きます。--out を省くと標準出力に書きます。--vehicle と --user は繰り返せます\n"
     "(省くとすべて)。\n"},
    {"import-csv",
     "使い方: quil-tool [--data FOLDER] import-csv --kind KIND [--encoding cp932|utf-8]\n"
     "         [--add-identical] FILE\n"
     "export-csv と同じ列の CSV (見出しの行が必要、列の順は自由、No と走行距離は読みません)\n"
     "の記録を、入力画面と同じ確認と保存で追加します。名前はマスターから探します。\n"
     "1 行でも誤りがあれば何も書かず、行・列・メッセージを出して終了コード 1 で終わります。\n"
     "--encoding を省くと、BOM か UTF-8 として正しい内容なら UTF-8、それ以外は CP932 です。\n"
     "登録済みの記録と同じ行は数えて飛ばすので、同じファイルをもう一度読んでも記録は\n"
     "増えません。--add-identical を付けるとそれも追加します。\n"
     "FILE に - を指定すると標準入力から読みます。\n"},
    {"backup",
     "使い方: quil-tool [--data FOLDER] backup [--replace] DEST\n"
     "Quil.qui, Quil.qud (と QuilExt.db) を既存のフォルダー DEST にコピーします。すべての\n"
     "ファイルを DEST 内の作業フォルダーに書いて確かめてから一度に置き換えるので、失敗しても\n"
     "古いバックアップはそのまま残ります。DEST に別のデータ (作成日時の違うデータ) があると\n"
     "きは、--replace を付けたときだけ置き換えます。プログラムが使用中のフォルダーには\n"
     "バックアップしません。\n"},
    {"restore",
     "使い方: quil-tool [--data FOLDER] restore [--replace] SRC\n"
     "SRC のバックアップで今のデータを置き換えます。SRC のファイルを check と同じように\n"
     "確かめ、データフォルダー内の作業フォルダーにコピーしてから名前の変更で置き換えるので、\n"
     "失敗しても今のデータはそのまま残ります。置き換えたデータは別の名前でデータフォルダーに\n"
     "残します。記録が 0 件のバックアップは --replace を付けたときだけ読み込みます。\n"
     "プログラムがこのデータを開いている間は実行しません。\n"},
    {"server",
     "使い方: quil-tool --server CONNINFO server init\n"
     "       quil-tool --server CONNINFO server push FOLDER\n"
     "       quil-tool --server CONNINFO server pull DEST\n"
     "       quil-tool --server CONNINFO server status\n"
     "       quil-tool --server CONNINFO server accounts\n"
     "       quil-tool --server CONNINFO server account-add NAME 管理者|事務|閲覧 < PASSWORD\n"
     "       quil-tool --server CONNINFO server account-role NAME 管理者|事務|閲覧\n"
     "       quil-tool --server CONNINFO server account-password NAME < PASSWORD\n"
     "       quil-tool --server CONNINFO server account-disable|account-enable NAME\n"
     "       quil-tool --server CONNINFO server drivers\n"
     "       quil-tool --server CONNINFO server driver-add LOGIN USER < PASSWORD\n"
     "       quil-tool --server CONNINFO server driver-password LOGIN < PASSWORD\n"
     "       quil-tool --server CONNINFO server driver-disable|driver-enable LOGIN\n"
     "       quil-tool --server CONNINFO server driver-confirm LOGIN\n"
     "       quil-tool --server CONNINFO server detectors\n"
     "       quil-tool --server CONNINFO server detector-add NAME [SERIAL]\n"
     "init は空のデータベースにデータセットの表とそのデータセットだけの役割 (quil_<データ\n"
     "ベース>_admin 管理者, _clerk 事務, _viewer 閲覧, _web) を作ります (サーバーの\n"
     "スーパーユーザーで)。push はデータフォルダーの Quil.qui と Quil.qud を空の\n"
     "データセットに送ります (すべてか、何もしないか)。pull はデータセットを DEST に\n"
     "Windows のプログラムでも開けるデータフォルダーとして書きます (DEST にデータがあれば\n"
     "書きません)。status はデータセットの形式、件数と自分の役割を表示します。\n"
     "accounts と account-… は利用者とその役割を一覧・作成・変更します (役割を作れる管理者\n"
     "だけ)。パスワードは標準入力の 1 行から読み、サーバーにはその暗号だけを送ります。\n"
     "drivers と driver-… は運転者がスマートフォンのページに入るログインを一覧・作成・変更\n"
     "します (管理者だけ)。USER は使用者の位置の番号か名前です。パスワードは標準入力の 1 行\n"
     "から読み、Argon2id の暗号だけを保存します。作ったときと driver-password の後は、\n"
     "最初のログインでパスワードの変更を求めます。復元・取り込み・名前の変更で使用者の位置に\n"
     "別の人が入ったログインは、driver-confirm で確認するまで使えません。\n"
     "detectors と detector-add はアルコール検知器を一覧・登録します (検知器がないと検知器を\n"
     "使うチェックは記録できません)。\n"},
    {"expiries",
     "使い方: quil-tool [--data FOLDER] expiries [--within DAYS] [--csv]\n"
     "         [--encoding cp932|utf-8] [--out FILE]\n"
     "期限が切れたものと DAYS 日以内 (既定 30 日、今日を含む) に切れる運転免許証と車両の\n"
     "書類 (更新したものの履歴は除く) を期限の順に 1 行ずつ (UTF-8) 書き出します。何もなければ\n"
     "何も書きません。--csv を付けると CSV (既定は CP932) で書き出します。期限の切れたものが\n"
     "あれば終了コード 1、なければ 0 で終わるので、cron から実行して結果をメールで送れます。\n"
     "免許証番号は書き出しません。\n"},
    {"licences",
     "使い方: quil-tool [--data FOLDER] licences export [--with-numbers]\n"
     "         [--encoding cp932|utf-8] [--out FILE]\n"
     "       quil-tool [--data FOLDER] licences import FILE\n"
     "export は運転免許証 (更新前のものを含む) を CSV に書き出します。免許証番号は個人情報\n"
     "なので、--with-numbers を付けたときだけ書き出します。import は export と同じ列の CSV\n"
     "(免許証番号の列はなくても可、文字コードは自動で判断) の免許証を入力画面と同じ確認で\n"
     "追加します。1 行でも誤りがあれば何も書きません。登録済みと同じ行は飛ばします。同じ\n"
     "運転者の免許証は有効期限の最も遅いものが現在のもので、ほかは履歴として残ります。\n"
     "FILE に - を指定すると標準入力から読みます。\n"},
    {"papers",
     "使い方: quil-tool [--data FOLDER] papers export [--encoding cp932|utf-8] [--out FILE]\n"
     "       quil-tool [--data FOLDER] papers import FILE\n"
     "車両の書類 (車検, 自賠責保険, 任意保険, その他: リース満了など) を CSV に書き出し、\n"
     "また CSV から追加します。確認と履歴は licences と同じです。\n"},
    {"import-legacy",
     "使い方: quil-tool [--data FOLDER] import-legacy SRC\n"
     "SRC のミルテ台帳のデータ (Car.dat など) を変換して今のデータと置き換えます。変換ログ\n"
     "Errlog.txt をデータフォルダーに書きます。失敗しても今のデータはそのまま残ります。\n"
     "プログラムがこのデータを開いている間は実行しません。\n"},
};

std::optional<ListTab> kindOf(const std::string& name) {
    static const std::map<std::string, ListTab> kinds = {{"driving", ListTab::Driving},
                                                         {"refuelling", ListTab::Refuelling},
                                                         {"maintenance", ListTab::Maintenance},
                                                         {"expense", ListTab::Expense}};
    const auto it = kinds.find(name);
    return it == kinds.end() ? std::nullopt : std::optional<ListTab>(it->second);
}

std::optional<TextEncoding> encodingOf(const std::string& name) {
    if (name == "cp932") return TextEncoding::Cp932;
    if (name == "utf-8" || name == "utf8") return TextEncoding::Utf8;
    return std::nullopt;
}

bool wantsHelp(const std::vector<std::string>& args) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

// Options of one command: `--name value` pairs (repeatable ones collect every value)
// and the remaining words.
struct Options {
    std::map<std::string, std::vector<std::string>> values;
    std::vector<std::string> words;
    std::string error;

    const std::string* one(const std::string& name) const {
        const auto it = values.find(name);
        return it == values.end() ? nullptr : &it->second.back();
    }
};

Options parseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known,
                     const std::vector<std::string>& repeatable) {
    Options o;
    auto has = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            o.words.push_back(a);
            continue;
        }
        if (!has(known, a)) {
            o.error = "不明なオプションです: " + a;
            return o;
        }
        if (i + 1 >= args.size()) {
            o.error = a + " には値が必要です。";
            return o;
        }
        auto& v = o.values[a];
        if (!v.empty() && !has(repeatable, a)) {
            o.error = a + " は 1 回だけ指定できます。";
            return o;
        }
        v.push_back(args[++i]);
    }
    return o;
}

}  // namespace

ToolRunner::ToolRunner(folder::ProgramFolderPlaces places, std::istream& in, std::ostream& out,
                       std::ostream& err, bool errIsTerminal)
    : places_(std::move(places)),
      programFolder_(places_.programFolder),
      in_(in),
      out_(out),
      err_(err),
      errIsTerminal_(errIsTerminal) {}

ToolRunner::ToolRunner(std::string programFolder, std::istream& in, std::ostream& out,
                       std::ostream& err, bool errIsTerminal)
    : ToolRunner(folder::ProgramFolderPlaces{std::move(programFolder), {}, {}, {}}, in, out, err,
                 errIsTerminal) {}

int ToolRunner::usage(const std::string& message, const std::string& command) {
    err_ << "quil-tool: " << message << '\n';
    err_ << (command.empty() ? "quil-tool --help" : "quil-tool " + command + " --help")
         << " で使い方を表示します。\n";
    return kExitUsage;
}

std::string asFolder(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string ToolRunner::programsDataFolder() const {
    const Settings settings(programFolder_);
    return folder::chooseStartDataFolder(settings.dataFolder(), settings.exeFolder(),
                                         programFolder_, defaultDataFolder_)
        .folder;
}

bool ToolRunner::chooseDataFolder() {
    // The program's folders as the program chooses them: Quil.ini in the program folder
    // (a portable copy) or in the user's configuration folder (installed, or --per-user).
    const folder::ProgramFolders folders = folder::chooseProgramFolders(places_, perUser_);
    programFolder_ = folders.settingsFolder;
    defaultDataFolder_ = folders.perUser ? folders.defaultDataFolder : "";
    if (dataOption_) {
        dataFolder_ = asFolder(*dataOption_);
    } else {
        const Settings settings(programFolder_);
        const folder::DataFolderChoice choice = folder::chooseStartDataFolder(
            settings.dataFolder(), settings.exeFolder(), programFolder_, defaultDataFolder_);
        if (!choice.expected.empty()) {
            // The program warns and opens another folder; a command must not work on a data
            // set the user did not mean (an unmounted drive), so the tool refuses.
            err_ << "quil-tool: データフォルダー: " << choice.expected << '\n'
                 << "quil-tool: 保存先のフォルダー " << choice.expected
                 << " が見つからないか読めません (" << programFolder_
                 << "Quil.ini の Dir)。ドライブやネットワークのフォルダーがつながっているか"
                    "確かめるか、--data でフォルダーを指定して下さい。\n";
            return false;
        }
        dataFolder_ = choice.folder;
    }
    err_ << "quil-tool: データフォルダー: " << dataFolder_ << '\n';
    // A replacement a crash cut short may have moved every file aside: it is finished below.
    if (folder::holdsDataSet(dataFolder_) || folder::swapPending(dataFolder_)) return true;
    std::error_code ec;
    if (!std::filesystem::is_directory(dataFolder_, ec))
        err_ << "quil-tool: データフォルダーがありません: " << dataFolder_ << '\n';
    else
        err_ << "quil-tool: " << dataFolder_ << " にデータ (Quil.qui, Quil.qud) がありません。\n";
    if (!dataOption_)
        err_ << "quil-tool: プログラムを一度起動するとデータができます。別のフォルダーは --data "
                "FOLDER で、--per-user で起動するプログラムのデータは --per-user で指定します。\n";
    return false;
}

std::string ToolRunner::dataFolder() const { return dataFolder_; }

int ToolRunner::run(std::vector<std::string> args) {
    while (!args.empty() && args[0].rfind("--", 0) == 0) {
        if (args[0] == "--help" || args[0] == "-h") {
            out_ << kToolHelp;
            return kExitOk;
        }
        if (args[0] == "--version") {
            out_ << "quil-tool (クイル台帳) " QUIL_BUILD_VERSION "\n";
            return kExitOk;
        }
        if (args[0] == "--per-user") {
            perUser_ = true;
            args.erase(args.begin());
            continue;
        }
        if (args[0] == "--server") {
            if (args.size() < 2) return usage("--server には接続文字列が必要です。", {});
            serverOption_ = args[1];
            args.erase(args.begin(), args.begin() + 2);
            continue;
        }
        if (args[0] != "--data") return usage("不明なオプションです: " + args[0], {});
        if (args.size() < 2) return usage("--data にはフォルダーが必要です。", {});
        dataOption_ = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (!args.empty() && args[0] == "-h") {
        out_ << kToolHelp;
        return kExitOk;
    }
    if (args.empty()) return usage("コマンドがありません。", {});
    const std::string command = args[0];
    args.erase(args.begin());
    const auto help = kCommandHelp.find(command);
    if (help == kCommandHelp.end()) return usage("不明なコマンドです: " + command, {});
    if (wantsHelp(args)) {
        out_ << help->second;
        return kExitOk;
    }
    if (dataOption_ && perUser_) return usage("--data と --per-user は同時に指定できません。", {});
    if (serverOption_) {
        if (dataOption_ || perUser_)
            return usage("--server と --data・--per-user は同時に指定できません。", {});
        return runOnServer(command, args);
    }
    if (command == "server")
        return usage("server には --server で接続先を指定して下さい。", "server");
    // A folder without a data set is refused by every command: a backup, dump or export of
    // nothing must never look like a success.
    if (!chooseDataFolder()) return kExitProblems;
    // The folders' locks are held until the command has ended, whichever way it ends.
    struct ReleaseLocks {
        std::vector<std::unique_ptr<folder::FolderLock>>& locks;
        ~ReleaseLocks() { locks.clear(); }
    } releaseLocks{locks_};
    try {
        if (!finishCutShortSwap(dataFolder(), command)) return kExitProblems;
        if (command == "check") return check(args);
        if (command == "dump") return dump(args);
        if (command == "export-csv") return exportCsv(args);
        if (command == "backup") return backup(args);
        if (command == "restore") return restore(args);
        if (command == "import-legacy") return importLegacy(args);
        if (command == "expiries" || command == "licences" || command == "papers")
            return paperCommand(command, args);
        return importCsv(args);
    } catch (const folder::OptionError& e) {
        return usage(e.what(), command);
    } catch (const std::filesystem::filesystem_error& e) {
        err_ << "quil-tool: " << e.path1().string() << ": " << errnoReason(e.code().value())
             << '\n';
        return kExitIo;
    } catch (const std::exception& e) {
        // StoreError (a file that cannot be read or written) and a stored value that is not
        // a number alike: the data could not be worked on.
        err_ << "quil-tool: " << e.what() << '\n';
        return kExitIo;
    }
}

int ToolRunner::check(const std::vector<std::string>& args) {
    if (!args.empty()) return usage("check に引数はありません。", "check");
    ToolProgress progress(err_, errIsTerminal_, "check");
    const auto problems =
        folder::auditDataSet(dataFolder(), today(), FileSystem::current(), std::ref(progress));
    out_ << (shownAs_.empty() ? "データフォルダー: " + dataFolder() : shownAs_) << '\n';
    for (const auto& p : problems) out_ << p << '\n';
    if (problems.empty()) out_ << "OK\n";
    return problems.empty() ? kExitOk : kExitProblems;
}

bool ToolRunner::refuseDamaged(const std::string& command) {
    // Dates still to come are check's finding alone: such records read as they were stored.
    const auto problems =
        folder::auditDataSet(dataFolder(), std::numeric_limits<double>::max(), FileSystem::current());
    if (problems.empty()) return false;
    for (const auto& p : problems) err_ << p << '\n';
    err_ << "quil-tool: " << command
         << ": データに問題があるため書き出しません。check で確かめて下さい。\n";
    return true;
}

int ToolRunner::dump(const std::vector<std::string>& args) {
    if (!args.empty()) return usage("dump に引数はありません。", "dump");
    if (refuseDamaged("dump")) return kExitProblems;
    folder::dumpDataSet(dataFolder(), [this](const std::string& line) { out_ << line << '\n'; });
    return out_.good() ? kExitOk : kExitIo;
}

int ToolRunner::exportCsv(const std::vector<std::string>& args) {
    const Options o = parseOptions(
        args, {"--kind", "--from", "--to", "--vehicle", "--user", "--encoding", "--out"},
        {"--vehicle", "--user"});
    if (!o.error.empty()) return usage(o.error, "export-csv");
    if (!o.words.empty()) return usage("余分な引数です: " + o.words[0], "export-csv");
    folder::ListOptions options;
    const std::string* kind = o.one("--kind");
    if (!kind) return usage("--kind が必要です。", "export-csv");
    const auto tab = kindOf(*kind);
    if (!tab) return usage("--kind が正しくありません: " + *kind, "export-csv");
    options.tab = *tab;
    for (const char* bound : {"--from", "--to"}) {
        if (const std::string* text = o.one(bound)) {
            const auto day = parseCalendarDay(*text);
            if (!day)
                return usage(std::string(bound) + " の日付が正しくありません: " + *text,
                             "export-csv");
            (std::string(bound) == "--from" ? options.from : options.to) = day;
        }
    }
    if (o.values.count("--vehicle")) options.vehicles = o.values.at("--vehicle");
    if (o.values.count("--user")) options.users = o.values.at("--user");
    TextEncoding encoding = TextEncoding::Cp932;
    if (const std::string* e = o.one("--encoding")) {
        const auto chosen = encodingOf(*e);
        if (!chosen) return usage("--encoding は cp932 か utf-8 です: " + *e, "export-csv");
        encoding = *chosen;
    }

    if (refuseDamaged("export-csv")) return kExitProblems;
    ToolProgress progress(err_, errIsTerminal_, "export-csv");
    const std::string* outPath = o.one("--out");
    if (!outPath) {
        folder::exportListCsv(
            dataFolder(), options, encoding,
            [this](std::string_view b) { out_.write(b.data(), std::streamsize(b.size())); },
            std::ref(progress));
        out_.flush();
        return out_.good() ? kExitOk : kExitIo;
    }
    if (const std::string problem = folder::exportTargetProblem(*outPath); !problem.empty()) {
        err_ << "quil-tool: " << *outPath << ": " << problem << '\n';
        return kExitProblems;
    }
    folder::writeExportFile(*outPath, [&](const folder::ExportSink& sink) {
        folder::exportListCsv(dataFolder(), options, encoding, sink, std::ref(progress));
    });
    return kExitOk;
}

int ToolRunner::importCsv(const std::vector<std::string>& given) {
    std::vector<std::string> args;
    auto duplicates = folder::ImportDuplicates::Skip;
    for (const std::string& a : given) {
        if (a == "--add-identical")
            duplicates = folder::ImportDuplicates::Add;
        else
            args.push_back(a);
    }
    const Options o = parseOptions(args, {"--kind", "--encoding"}, {});
    if (!o.error.empty()) return usage(o.error, "import-csv");
    const std::string* kind = o.one("--kind");
    if (!kind) return usage("--kind が必要です。", "import-csv");
    const auto recordKind = kindOf(*kind);
    if (!recordKind) return usage("--kind が正しくありません: " + *kind, "import-csv");
    if (o.words.size() != 1) return usage("CSV ファイルを 1 つ指定して下さい。", "import-csv");
    std::optional<TextEncoding> encoding;
    if (const std::string* e = o.one("--encoding")) {
        encoding = encodingOf(*e);
        if (!encoding) return usage("--encoding は cp932 か utf-8 です: " + *e, "import-csv");
    }
    const std::string& path = o.words[0];
    std::string bytes;
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(in_), {});
    } else {
        // Through the file layer: a folder or an unreadable file is refused in Japanese.
        auto file = FileSystem::current().open(path, OpenMode::Read);
        bytes.resize(static_cast<std::size_t>(file->size()));
        bytes.resize(file->readAt(0, bytes.data(), bytes.size()));
    }
    // The program's list and row index would no longer match the file it holds open.
    if (refuseWhileOpen(dataFolder(), "import-csv")) return kExitProblems;
    ToolProgress progress(err_, errIsTerminal_, "import-csv");
    const folder::ImportResult result =
        folder::importListCsv(dataFolder(), *recordKind, CsvReader::decode(bytes, encoding),
                              FileSystem::current(), std::ref(progress), duplicates);
    if (result.problem) {
        if (result.rowProblems.empty()) err_ << path << ": " << result.problem->text() << '\n';
        for (const folder::ImportProblem& p : result.rowProblems)
            err_ << path << ": " << p.text() << '\n';
        const auto unlisted = result.badRows - std::int64_t(result.rowProblems.size());
        if (unlisted > 0) err_ << path << ": ほかに " << unlisted << " 行に誤りがあります。\n";
        err_ << "何も書き込んでいません。\n";
        return kExitProblems;
    }
    out_ << result.added << " 件の記録を追加しました。\n";
    if (result.skipped > 0)
        out_ << "給油・点検整備の費用の " << result.skipped
             << " 行は給油記録・点検整備記録のものなので取り込んでいません。\n";
    if (result.identical > 0)
        out_ << "登録済みの記録と同じ " << result.identical
             << " 行は取り込んでいません (取り込むときは --add-identical を付けて下さい)。\n";
    return kExitOk;
}

}  // namespace quil::tool
