// quil-tool's licences and papers: what lapses (expiries), and their CSV out and in, on a
// data folder or a server data set.

#include <iterator>
#include <memory>

#include "folder/ExportFile.h"
#include "papers/PaperCsv.h"
#include "reports/RegisterNames.h"
#include "server/FolderPaperStore.h"
#include "server/ServerPaperStore.h"
#include "server/ServerStore.h"
#include "store/Codec.h"
#include "store/Date.h"
#include "store/EntryParse.h"
#include "store/FileSystem.h"
#include "tool/ToolRunner.h"

namespace quil::tool {
namespace {

// Takes the flags (options without a value) out of `args`; true when `flag` was there.
bool takeFlag(std::vector<std::string>& args, const std::string& flag) {
    bool found = false;
    for (auto it = args.begin(); it != args.end();)
        if (*it == flag) {
            found = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    return found;
}

// The value following `name` ("" when it is absent), taken out of `args`; false when it is
// given without a value or twice.
bool takeValue(std::vector<std::string>& args, const std::string& name, std::string& value,
               bool& given) {
    given = false;
    for (auto it = args.begin(); it != args.end();) {
        if (*it != name) {
            ++it;
            continue;
        }
        if (given || it + 1 == args.end()) return false;
        given = true;
        value = *(it + 1);
        it = args.erase(it, it + 2);
    }
    return true;
}

std::string stateText(const papers::ExpiryEntry& e) {
    if (e.days < 0) return "期限切れ（" + std::to_string(-e.days) + "日経過）";
    if (e.days == 0) return "本日まで";
    return "あと" + std::to_string(e.days) + "日";
}

}  // namespace

int ToolRunner::paperCommand(const std::string& command, const std::vector<std::string>& given) {
    std::vector<std::string> args = given;
    const bool csv = takeFlag(args, "--csv");
    const bool withNumbers = takeFlag(args, "--with-numbers");
    std::string within, encodingName, outPath;
    bool hasWithin = false, hasEncoding = false, hasOut = false;
    if (!takeValue(args, "--within", within, hasWithin))
        return usage("--within には日数を 1 回だけ指定して下さい。", command);
    if (!takeValue(args, "--encoding", encodingName, hasEncoding))
        return usage("--encoding には cp932 か utf-8 を 1 回だけ指定して下さい。", command);
    if (!takeValue(args, "--out", outPath, hasOut))
        return usage("--out にはファイルを 1 回だけ指定して下さい。", command);
    for (const std::string& a : args)
        if (a.rfind("--", 0) == 0) return usage("不明なオプションです: " + a, command);
    store::TextEncoding encoding = store::TextEncoding::Cp932;
    if (hasEncoding) {
        if (encodingName == "utf-8" || encodingName == "utf8")
            encoding = store::TextEncoding::Utf8;
        else if (encodingName != "cp932")
            return usage("--encoding は cp932 か utf-8 です: " + encodingName, command);
    }

    std::string action;
    if (command == "expiries") {
        if (!args.empty()) return usage("余分な引数です: " + args[0], command);
        if (withNumbers) return usage("不明なオプションです: --with-numbers", command);
    } else {
        if (args.empty() || (args[0] != "export" && args[0] != "import"))
            return usage(command + " には export か import が必要です。", command);
        action = args[0];
        args.erase(args.begin());
        if (hasWithin || csv) return usage("--within と --csv は expiries のオプションです。", command);
        if (withNumbers && (command != "licences" || action != "export"))
            return usage("--with-numbers は licences export のオプションです。", command);
        if (action == "export" && !args.empty())
            return usage("余分な引数です: " + args[0], command);
        if (action == "import" && (args.size() != 1 || hasOut || hasEncoding))
            return usage("CSV ファイルを 1 つ指定して下さい (文字コードは自動で判断します)。",
                         command);
    }
    int days = papers::kDefaultWithinDays;
    if (hasWithin) {
        const auto n = store::parseInteger(within);
        if (!n || *n < 0 || *n > 36600)
            return usage("--within は 0 から 36600 までの日数です: " + within, command);
        days = *n;
    }

    // The store and the names of users and vehicles, of the folder or of the server.
    std::unique_ptr<papers::PaperStore> kept;
    alcohol::RegisterNames names;
    if (serverOption_) {
        auto set = std::make_unique<server::ServerStore>(*serverOption_);
        err_ << "quil-tool: サーバー: " << set->where() << '\n';
        names = alcohol::RegisterNames::load(*set);
        set.reset();
        kept = std::make_unique<server::ServerPaperStore>(*serverOption_);
    } else {
        names = alcohol::RegisterNames::load(dataFolder());
        kept = std::make_unique<server::FolderPaperStore>(dataFolder());
    }
    const papers::CsvNames csvNames = names.csvNames({});

    // Bytes for standard output or --out; CP932 refused where it would lose a character.
    const auto deliver = [&](const std::string& utf8Text, const std::string& bytes) {
        if (encoding == store::TextEncoding::Cp932 && !store::toCp932Exact(utf8Text)) {
            err_ << "quil-tool: " << command
                 << ": CP932 で書けない文字があります。--encoding utf-8 を指定して下さい。\n";
            return static_cast<int>(kExitProblems);
        }
        if (!hasOut) {
            out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out_.flush();
            return out_.good() ? static_cast<int>(kExitOk) : static_cast<int>(kExitIo);
        }
        if (const std::string problem = folder::exportTargetProblem(outPath); !problem.empty()) {
            err_ << "quil-tool: " << outPath << ": " << problem << '\n';
            return static_cast<int>(kExitProblems);
        }
        folder::writeExportFile(outPath, bytes);
        return static_cast<int>(kExitOk);
    };

    if (command == "expiries") {
        const auto list = papers::expiryList(kept->licences(false), kept->papers(),
                                             store::today(), days);
        int code = kExitOk;
        if (csv) {
            const std::string utf8 =
                papers::writeExpiriesCsv(list, csvNames, store::TextEncoding::Utf8);
            const std::string bytes = papers::writeExpiriesCsv(list, csvNames, encoding);
            code = deliver(encoding == store::TextEncoding::Cp932 ? utf8.substr(3) : bytes, bytes);
        } else {
            std::string text;
            for (const papers::ExpiryEntry& e : list) {
                const bool licence = e.of == papers::ExpiryEntry::Of::Licence;
                text += store::formatDate(e.expiry) + '\t' + stateText(e) + '\t' +
                        (licence ? "運転者 " + names.driverName(e.position)
                                 : "車両 " + names.vehicleLabel(e.position)) +
                        '\t' + e.what + '\n';
            }
            encoding = store::TextEncoding::Utf8;  // the listing is for people: UTF-8
            code = deliver(text, text);
        }
        if (code != kExitOk) return code;
        return papers::anyLapsed(list) ? kExitProblems : kExitOk;
    }

    const bool licences = command == "licences";
    if (action == "export") {
        const auto write = [&](store::TextEncoding e) {
            return licences ? papers::writeLicencesCsv(kept->licences(withNumbers), csvNames,
                                                       withNumbers, e)
                            : papers::writePapersCsv(kept->papers(), csvNames, e);
        };
        const std::string bytes = write(encoding);
        const std::string utf8 = encoding == store::TextEncoding::Cp932
                                     ? write(store::TextEncoding::Utf8).substr(3)
                                     : bytes;
        return deliver(utf8, bytes);
    }

    // import
    const std::string& path = args[0];
    std::string bytes;
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(in_), {});
    } else {
        auto file = store::FileSystem::current().open(path, store::OpenMode::Read);
        bytes.resize(static_cast<std::size_t>(file->size()));
        bytes.resize(file->readAt(0, bytes.data(), bytes.size()));
    }
    if (!serverOption_ && refuseWhileOpen(dataFolder(), command)) return kExitProblems;
    std::size_t added = 0, skipped = 0;
    std::string error;
    if (licences) {
        // The stored numbers are compared too, so a viewer cannot import (the server refuses).
        const auto read = papers::readLicencesCsv(bytes, csvNames, kept->licences(true),
                                                  store::today());
        error = read.error;
        if (error.empty()) kept->addAll(read.entries, {});
        added = read.entries.size();
        skipped = read.alreadyStored;
    } else {
        const auto read = papers::readPapersCsv(bytes, csvNames, kept->papers(), store::today());
        error = read.error;
        if (error.empty()) kept->addAll({}, read.entries);
        added = read.entries.size();
        skipped = read.alreadyStored;
    }
    if (!error.empty()) {
        err_ << path << ": " << error << '\n' << "何も書き込んでいません。\n";
        return kExitProblems;
    }
    out_ << added << (licences ? " 件の運転免許証を追加しました。\n" : " 件の書類を追加しました。\n");
    if (skipped > 0) out_ << "登録済みと同じ " << skipped << " 行は取り込んでいません。\n";
    return kExitOk;
}

}  // namespace quil::tool
