#include "ui/main/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace quil::ui {

namespace {

// Qt's own options that QApplication takes from the command line: those followed by a
// value, then those without one. Either form (-style or --style) is accepted, as Qt does.
constexpr std::array<std::string_view, 13> kQtOptionsWithValue = {
    "platform",   "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",      "session",       "display", "geometry",
    "style",       "stylesheet",        "name"};
constexpr std::array<std::string_view, 5> kQtFlags = {"reverse", "nograb", "dograb", "sync",
                                                      "widgetcount"};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--help" || a == "-h") {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (a == "--version") {
            line.action = CommandLine::Action::Version;
            return line;
        }
        if (a == "--per-user") {
            line.perUser = true;
            continue;
        }
        if (a == "--server") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                line.action = CommandLine::Action::Refuse;
                line.problem = "--server には接続先 (例: \"service=quil\") が必要です。";
                return line;
            }
            line.server = arguments[++i];
            continue;
        }
        std::string_view name(a);
        if (name.size() > 1 && name[0] == '-') {
            name.remove_prefix(name.size() > 2 && name[1] == '-' ? 2 : 1);
            if (among(kQtFlags, name)) continue;
            if (among(kQtOptionsWithValue, name)) {
                if (i + 1 >= arguments.size()) {
                    line.action = CommandLine::Action::Refuse;
                    line.problem = a + " には値が必要です。";
                    return line;
                }
                ++i;
                continue;
            }
            line.action = CommandLine::Action::Refuse;
            line.problem = "不明なオプションです: " + a;
            return line;
        }
        line.action = CommandLine::Action::Refuse;
        line.problem = "余分な引数です: " + a;
        return line;
    }
    return line;
}

std::string usageText() {
    return "使い方: quil [--per-user] [--server CONNINFO]\n"
           "       quil --help | --version\n"
           "\n"
           "クイル台帳: 社用車の走行・給油・点検整備・出費の記録を管理します。\n"
           "\n"
           "  --per-user  設定 (Quil.ini) を ~/.config/quil/ に、データを既定で\n"
           "              ~/.local/share/quil/ に置きます (インストールしたプログラムは\n"
           "              指定しなくても同じです)。\n"
           "  --server CONNINFO\n"
           "              サーバー (PostgreSQL) のデータセットを開きます。CONNINFO は\n"
           "              \"host=ホスト dbname=データベース\" や \"service=quil\" のような\n"
           "              接続文字列です。パスワードは ~/.pgpass に書きます。\n"
           "  --help      この説明を表示して終了します。\n"
           "  --version   版を表示して終了します。\n"
           "\n"
           "Qt の標準オプション (-platform, -style など) も使えます。\n"
           "データをコマンドラインで扱うには quil-tool を使います (quil-tool --help)。\n";
}

std::string versionText() { return "quil (クイル台帳) " QUIL_BUILD_VERSION "\n"; }

}  // namespace quil::ui
