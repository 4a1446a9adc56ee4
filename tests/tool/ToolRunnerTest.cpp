// quil-tool run in-process: exit codes, help, the data folder and each command's output.

#include "tool/ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "CrashingFileSystem.h"
#include "SampleDataSet.h"
#include "folder/DataSetFiles.h"
#include "folder/FileCopy.h"
#include "folder/FolderLock.h"
#include "store/Codec.h"
#include "store/Settings.h"

using namespace quil::store;
using namespace quil::testing;
using namespace quil::tool;

namespace {

class Tool : public ::testing::Test {
protected:
    TempDir program, data;
    std::string out, err;
    void SetUp() override { writeSampleItems(data.dir()); }
    int run(std::vector<std::string> args, const std::string& input = {}) {
        std::istringstream in(input);
        std::ostringstream o, e;
        ToolRunner runner(program.dir(), in, o, e, false);
        const int code = runner.run(std::move(args));
        out = o.str();
        err = e.str();
        return code;
    }
    std::vector<std::string> withData(std::vector<std::string> args) {
        args.insert(args.begin(), {"--data", data.dir()});
        return args;
    }
};

}  // namespace

TEST_F(Tool, HelpForTheToolAndEachCommand) {
    EXPECT_EQ(run({"--help"}), kExitOk);
    EXPECT_NE(out.find("export-csv"), std::string::npos);
    for (const char* c : {"check", "dump", "export-csv", "import-csv"}) {
        EXPECT_EQ(run({c, "--help"}), kExitOk) << c;
        EXPECT_NE(out.find(std::string("quil-tool [--data FOLDER] ") + c), std::string::npos) << c;
    }
}

TEST_F(Tool, UsageErrorsExitTwoWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"--verbose", "check"},
        {"--data"},
        {"check", "extra"},
        {"export-csv"},
        {"export-csv", "--kind", "fuel"},
        {"export-csv", "--kind", "driving", "--from", "2024/13/01"},
        {"export-csv", "--kind", "driving", "--encoding", "latin1"},
        {"export-csv", "--kind", "driving", "--kind", "expense"},
        {"export-csv", "--kind", "driving", "--out"},
        {"import-csv", "--kind", "driving"},
        {"import-csv", "--kind", "driving", "a.csv", "b.csv"},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(run(withData(args)), kExitUsage) << (args.empty() ? "" : args[0]);
        EXPECT_NE(err.find("--help"), std::string::npos);
    }
    // A name that is not registered is a usage error too.
    EXPECT_EQ(run(withData({"export-csv", "--kind", "driving", "--vehicle", "無い車"})),
              kExitUsage);
    EXPECT_NE(err.find("「無い車」"), std::string::npos);
}

TEST_F(Tool, IoErrorsExitThree) {
    EXPECT_EQ(run(withData({"import-csv", "--kind", "driving", data.file("none.csv")})), kExitIo);
}

TEST_F(Tool, CheckSaysOkOrListsProblems) {
    EXPECT_EQ(run(withData({"check"})), kExitOk);
    EXPECT_EQ(out, "データフォルダー: " + data.dir() + "\nOK\n");
    DataRecord r = sampleRecord(1, encodeDate(2024, 1, 1), 42, 1);
    RecordStore(data.dir()).save(r, std::nullopt);
    EXPECT_EQ(run(withData({"check"})), kExitProblems);
    EXPECT_EQ(out, "データフォルダー: " + data.dir() +
                       "\nQuil.qud 位置 0: 車両 42 の項目はありません。\n");
}

TEST_F(Tool, TheDataFolderDefaultsToTheOneInTheProgramsSettings) {
    Settings(program.dir()).setDataFolder(data.dir());
    EXPECT_EQ(run({"dump"}), kExitOk);
    EXPECT_NE(out.find("項目 7 車両 「軽トラ」"), std::string::npos);
}

TEST_F(Tool, ImportThenExportToAFile) {
    const std::string csv =
        "年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"
        "2024/01/10,軽トラ,山田,30.5,4000,400,駅前SS,\"満タン, 洗車\"\r\n";
    writeBytes(data.file("in.csv"), toCp932(csv));
    EXPECT_EQ(run(withData({"import-csv", "--kind", "refuelling", data.file("in.csv")})), kExitOk);
    EXPECT_EQ(out, "1 件の記録を追加しました。\n");
    // Run again, the row is stored already: counted, not added, unless asked to.
    EXPECT_EQ(run(withData({"import-csv", "--kind", "refuelling", data.file("in.csv")})), kExitOk);
    EXPECT_EQ(out, "0 件の記録を追加しました。\n登録済みの記録と同じ 1 行は取り込んでいません "
                   "(取り込むときは --add-identical を付けて下さい)。\n");
    // Standard input, a refused row: exit 1, the line and column named, nothing written.
    const auto before = readBytes(data.file("Quil.qud"));
    EXPECT_EQ(run(withData({"import-csv", "--kind", "refuelling", "-"}),
                  "年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\n"
                  "2024/01/11,軽トラ,山田,30.5,4000,x,駅前SS,\n"),
              kExitProblems);
    EXPECT_EQ(
        err,
        "quil-tool: データフォルダー: " + data.dir() +
            "\n-: 行 2, 列 6 (消費税): 正しい消費税額を入力して下さい！\n何も書き込んでいません。\n");
    EXPECT_EQ(readBytes(data.file("Quil.qud")), before);
    // Every bad row is named, up to a hundred; the rest are counted.
    std::string bad = "年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\n";
    for (int i = 0; i < 102; ++i) bad += "2024/01/11,軽トラ,山田,30.5,4000,x,駅前SS,\n";
    EXPECT_EQ(run(withData({"import-csv", "--kind", "refuelling", "-"}), bad), kExitProblems);
    EXPECT_NE(err.find("-: 行 2, 列 6 (消費税)"), std::string::npos) << err;
    EXPECT_NE(err.find("-: 行 101, 列 6 (消費税)"), std::string::npos) << err;
    EXPECT_EQ(err.find("行 102,"), std::string::npos) << err;
    EXPECT_NE(err.find("-: ほかに 2 行に誤りがあります。\n何も書き込んでいません。\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(readBytes(data.file("Quil.qud")), before);

    const std::string target = data.file("out.csv");
    EXPECT_EQ(run(withData({"export-csv", "--kind", "refuelling", "--out", target})), kExitOk);
    EXPECT_EQ(readBytes(target),
              toCp932("No,年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"
                      "1,2024/01/10,軽トラ,山田,30.5,4000,400,駅前SS,\"満タン, 洗車\"\r\n"));
    EXPECT_EQ(run(withData({"export-csv", "--kind", "expense", "--encoding", "utf-8", "--to",
                            "2024-01-09"})),
              kExitOk);
    EXPECT_EQ(out, "\xEF\xBB\xBFNo,年月日,車両,使用者,項目,税抜金額,消費税,店,備考\r\n");
    // An unwritable target: exit 3 and no half file.
    EXPECT_EQ(run(withData({"export-csv", "--kind", "driving", "--out", data.file("no/dir.csv")})),
              kExitIo);
    EXPECT_FALSE(std::filesystem::exists(data.file("no/dir.csv.part")));
}

TEST_F(Tool, BackupThenRestoreBringsTheDataSetBack) {
    RecordStore(data.dir()).save(sampleRecord(1, encodeDate(2024, 1, 1), 0, 1), std::nullopt);
    const auto saved = readBytes(data.file("Quil.qud"));
    TempDir backupFolder;
    EXPECT_EQ(run(withData({"backup", backupFolder.dir()})), kExitOk);
    EXPECT_EQ(readBytes(backupFolder.file("Quil.qud")), saved);
    RecordStore(data.dir()).save(sampleRecord(1, encodeDate(2024, 2, 1), 0, 1), std::nullopt);
    EXPECT_NE(readBytes(data.file("Quil.qud")), saved);

    // While the program holds the data set's lock, the data set is not replaced.
    writeBytes(data.file("Quil.lck"), "1\nquil\nhost\n");
    EXPECT_EQ(run(withData({"restore", backupFolder.dir()})), kExitProblems);
    EXPECT_NE(err.find("Quil.lck"), std::string::npos);
    EXPECT_NE(readBytes(data.file("Quil.qud")), saved);
    std::filesystem::remove(data.file("Quil.lck"));

    EXPECT_EQ(run(withData({"restore", backupFolder.dir()})), kExitOk);
    EXPECT_EQ(readBytes(data.file("Quil.qud")), saved);
    EXPECT_NE(out.find(data.dir() + "Quil.qud."), std::string::npos) << "where the old set is";
    // A folder without a data set is refused with the dialog's message; nothing changes.
    TempDir empty;
    EXPECT_EQ(run(withData({"restore", empty.dir()})), kExitProblems);
    EXPECT_EQ(readBytes(data.file("Quil.qud")), saved);
    EXPECT_EQ(run(withData({"backup", data.dir() + "missing"})), kExitIo);
    EXPECT_EQ(run(withData({"backup"})), kExitUsage);
    // A backup without records replaces a data set only when told so.
    std::filesystem::resize_file(backupFolder.file("Quil.qud"), 0);
    EXPECT_EQ(run(withData({"restore", backupFolder.dir()})), kExitProblems);
    EXPECT_NE(err.find("記録 0 件"), std::string::npos) << err;
    EXPECT_EQ(readBytes(data.file("Quil.qud")), saved);
    const auto listed = readBytes(data.file("Quil.kept"));
    ASSERT_TRUE(listed);
    const std::string firstKept = listed->substr(0, listed->find('\n'));
    writeBytes(data.file("Quil.qud.notes.old"), "the user's");  // not one the restore kept
    EXPECT_EQ(run(withData({"restore", "--replace", backupFolder.dir()})), kExitOk);
    EXPECT_EQ(readBytes(data.file("Quil.qud")), std::string());
    // The next restore gives up what the one before kept, and says so.
    EXPECT_FALSE(std::filesystem::exists(data.file(firstKept))) << firstKept;
    EXPECT_NE(out.find("前回の復元で残したデータを削除しました。"), std::string::npos) << out;
    EXPECT_NE(out.find(firstKept), std::string::npos) << out;
    EXPECT_EQ(readBytes(data.file("Quil.qud.notes.old")), "the user's");
}

TEST_F(Tool, ImportLegacyRefusesAFolderWithoutLegacyDataAndChangesNothing) {
    const auto items = readBytes(data.file("Quil.qui"));
    TempDir legacy;
    EXPECT_EQ(run(withData({"import-legacy", legacy.dir()})), kExitProblems);
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(readBytes(data.file("Quil.qui")), items);
    EXPECT_EQ(run(withData({"import-legacy", "--help"})), kExitOk);
    EXPECT_NE(out.find("Car.dat"), std::string::npos);
}

TEST_F(Tool, DumpAndExportFailOnADamagedDataSetAsCheckDoes) {
    const std::string items = *readBytes(data.file("Quil.qui"));
    std::string noise(items.size(), '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = char(i * 7919 % 253);
    writeBytes(data.file("Quil.qui"), noise);
    const std::string target = data.file("out.csv");
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"check"}, {"dump"},
          {"export-csv", "--kind", "driving", "--out", target}}) {
        EXPECT_EQ(run(withData(command)), kExitProblems) << command[0];
        EXPECT_NE((command[0] == "check" ? out : err).find("Quil.qui 位置 0: 署名"),
                  std::string::npos)
            << command[0] << ": " << err;
    }
    EXPECT_FALSE(readBytes(target));
}

TEST_F(Tool, AnExportNeverReplacesADataFileAFolderOrADevice) {
    const auto records = readBytes(data.file("Quil.qud"));
    const auto items = readBytes(data.file("Quil.qui"));
    for (const std::string name : {"Quil.qud", "QUIL.QUI", "QuilExt.db", "Quil.ini"}) {
        EXPECT_EQ(run(withData({"export-csv", "--kind", "driving", "--out", data.file(name)})),
                  kExitProblems)
            << name;
        EXPECT_NE(err.find("データのファイル"), std::string::npos) << err;
    }
    EXPECT_EQ(readBytes(data.file("Quil.qud")), records);
    EXPECT_EQ(readBytes(data.file("Quil.qui")), items);
    EXPECT_EQ(run(withData({"export-csv", "--kind", "driving", "--out", data.dir()})),
              kExitProblems);
    EXPECT_TRUE(std::filesystem::is_directory(data.dir()));

    // A link to a device is written through, not replaced by a file.
    const std::string link = data.file("out.csv");
    std::filesystem::create_symlink("/dev/null", link);
    EXPECT_EQ(run(withData({"export-csv", "--kind", "driving", "--out", link})), kExitOk) << err;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(std::filesystem::is_character_file(link));
}

TEST_F(Tool, ImportCsvRefusesWhileTheProgramHoldsTheDataSet) {
    const std::string csv =
        "年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"
        "2024/01/10,軽トラ,山田,30.5,4000,400,駅前SS,\r\n";
    writeBytes(data.file("in.csv"), toCp932(csv));
    writeBytes(data.file("Quil.lck"), "1\nquil\nhost\n");
    const auto before = readBytes(data.file("Quil.qud"));
    EXPECT_EQ(run(withData({"import-csv", "--kind", "refuelling", data.file("in.csv")})),
              kExitProblems);
    EXPECT_NE(err.find("プログラムがこのデータを開いています"), std::string::npos) << err;
    EXPECT_EQ(readBytes(data.file("Quil.qud")), before);
}

TEST_F(Tool, BackupRefusesAFolderInUseAndReplacesAnotherDataSetOnlyWhenTold) {
    TempDir other;
    writeSampleItems(other.dir());
    // Another data set: same items, another stamp.
    auto otherItems = *readBytes(other.file("Quil.qui"));
    otherItems[6] ^= 0x55;  // a byte of the stamp in record 0
    writeBytes(other.file("Quil.qui"), otherItems);
    writeBytes(other.file("Quil.lck"), "1\nquil\nhost\n");
    EXPECT_EQ(run(withData({"backup", other.dir()})), kExitProblems);
    EXPECT_NE(err.find("Quil.lck"), std::string::npos) << err;
    EXPECT_EQ(readBytes(other.file("Quil.qui")), otherItems);

    std::filesystem::remove(other.file("Quil.lck"));
    EXPECT_EQ(run(withData({"backup", other.dir()})), kExitProblems);
    EXPECT_NE(err.find("別に作られたデータ"), std::string::npos) << err;
    EXPECT_NE(err.find("--replace"), std::string::npos) << err;
    EXPECT_EQ(readBytes(other.file("Quil.qui")), otherItems);

    EXPECT_EQ(run(withData({"backup", "--replace", other.dir()})), kExitOk) << err;
    EXPECT_EQ(readBytes(other.file("Quil.qui")), readBytes(data.file("Quil.qui")));
}

TEST_F(Tool, ACommandFinishesAReplacementACrashCutShort) {
    TempDir fresh;
    writeSampleItems(fresh.dir());
    RecordStore(fresh.dir()).save(sampleRecord(1, encodeDate(2024, 3, 1), 0, 1), std::nullopt);
    // Killed with both files moved aside: the folder holds no data set at all.
    std::string staging;
    {
        quil::folder::StagingFolder made(data.dir(), quil::folder::kRestoreStaging);
        staging = made.path();
        writeBytes(staging + "swap.journal", "quil-swap 1\n");  // kept: a swap had begun
    }
    for (const char* name : {"Quil.qui", "Quil.qud"}) {
        std::filesystem::copy_file(fresh.file(name), staging + name);
        if (std::filesystem::exists(data.file(name)))
            std::filesystem::rename(data.file(name), staging + name + ".old");
    }
    writeBytes(staging + "swap.journal", "quil-swap 1\nput Quil.qui\nput Quil.qud\nend\n");
    EXPECT_EQ(run(withData({"check"})), kExitOk) << out << err;
    EXPECT_NE(err.find("中断されていたデータの置き換えを完了しました"), std::string::npos) << err;
    EXPECT_EQ(readBytes(data.file("Quil.qud")), readBytes(fresh.file("Quil.qud")));
    EXPECT_FALSE(std::filesystem::exists(staging));
}

TEST_F(Tool, FileErrorsAreReportedInJapaneseNamingTheFile) {
    EXPECT_EQ(run(withData({"import-csv", "--kind", "driving", data.dir()})), kExitIo);
    EXPECT_NE(err.find("フォルダーであってファイルではありません"), std::string::npos) << err;
    const std::string tooLong = data.dir() + std::string(300, 'x');
    EXPECT_EQ(run({"--data", tooLong, "check"}), kExitProblems);
    EXPECT_EQ(err.find("File name too long"), std::string::npos) << err;
    EXPECT_EQ(run(withData({"import-csv", "--kind", "driving", tooLong + ".csv"})), kExitIo);
    EXPECT_NE(err.find("長すぎます"), std::string::npos) << err;
}

// --from and --to take whole days, both included: a drive is on the day it departs, whatever
// its time, so the one of the day before never joins the period.
TEST_F(Tool, ExportTakesTheDaysFromFirstToLastWhateverTheTime) {
    const std::string csv =
        "年月日,時間,車両,使用者,使用区分,出庫距離,入庫距離,行き先,備考\r\n"
        "2026/03/31,08:45 ～ 10:10,軽トラ,山田,,1000,1065.4,,\r\n"
        "2026/04/01,00:05 ～ 10:00,軽トラ,山田,,1065.4,1100,,\r\n"
        "2026/04/30,23:00 ～ 23:50,軽トラ,山田,,1100,1110,,\r\n"
        "2026/05/01,00:10 ～ 00:40,軽トラ,山田,,1110,1120,,\r\n";
    writeBytes(data.file("in.csv"), toCp932(csv));
    ASSERT_EQ(run(withData({"import-csv", "--kind", "driving", data.file("in.csv")})), kExitOk)
        << err;
    ASSERT_EQ(run(withData({"export-csv", "--kind", "driving", "--encoding", "utf-8", "--from",
                            "2026-04-01", "--to", "2026-04-30"})),
              kExitOk)
        << err;
    EXPECT_EQ(out.find("2026/03/31"), std::string::npos) << out;
    EXPECT_NE(out.find("2026/04/01"), std::string::npos) << out;
    EXPECT_NE(out.find("2026/04/30"), std::string::npos) << out;
    EXPECT_EQ(out.find("2026/05/01"), std::string::npos) << out;
    // March alone has the drive of 3/31: the two periods together hold each drive once.
    ASSERT_EQ(run(withData({"export-csv", "--kind", "driving", "--encoding", "utf-8", "--from",
                            "2026-03-01", "--to", "2026-03-31"})),
              kExitOk);
    EXPECT_NE(out.find("2026/03/31"), std::string::npos) << out;
    EXPECT_EQ(out.find("2026/04/01"), std::string::npos) << out;
}

// Every export reads back as it is: the expense list's file also shows the costs of the
// refuelling and maintenance records, which come with their own files and are left out.
TEST_F(Tool, TheExpenseExportReadsBack) {
    writeBytes(data.file("fuel.csv"),
               toCp932("年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"
                       "2024/01/10,軽トラ,山田,30.5,4000,400,駅前SS,\r\n"));
    writeBytes(data.file("costs.csv"),
               toCp932("年月日,車両,使用者,項目,税抜金額,消費税,店,備考\r\n"
                       "2024/01/11,軽トラ,山田,駐車場代,500,50,A商会,月極\r\n"));
    ASSERT_EQ(run(withData({"import-csv", "--kind", "refuelling", data.file("fuel.csv")})),
              kExitOk)
        << err;
    ASSERT_EQ(run(withData({"import-csv", "--kind", "expense", data.file("costs.csv")})), kExitOk)
        << err;
    const std::string exported = data.file("expense.csv");
    ASSERT_EQ(run(withData({"export-csv", "--kind", "expense", "--out", exported})), kExitOk);
    EXPECT_NE(fromCp932(*readBytes(exported)).find("給油代金"), std::string::npos);

    TempDir other;
    writeSampleItems(other.dir());
    ASSERT_EQ(run({"--data", other.dir(), "import-csv", "--kind", "expense", exported}), kExitOk)
        << err;
    EXPECT_EQ(out,
              "1 件の記録を追加しました。\n"
              "給油・点検整備の費用の 1 行は給油記録・点検整備記録のものなので取り込んでいません。\n");
    ASSERT_EQ(run({"--data", other.dir(), "export-csv", "--kind", "expense", "--encoding",
                   "utf-8"}),
              kExitOk);
    EXPECT_EQ(out,
              "\xEF\xBB\xBF"  // the byte-order mark of every UTF-8 CSV, for Excel
              "No,年月日,車両,使用者,項目,税抜金額,消費税,店,備考\r\n"
              "1,2024/01/11,軽トラ,山田,駐車場代,500,50,A商会,月極\r\n");
}

TEST_F(Tool, TwoImportsAtOnceTakeTurnsOnTheFolderAndLoseNoRecord) {
    auto recordCount = [&] {
        const auto bytes = readBytes(data.file("Quil.qud"));
        return bytes ? bytes->size() / 256 : 0;
    };
    const std::size_t before = recordCount();
    constexpr int kRows = 336;
    std::vector<std::string> files;
    for (const char* remark : {"一", "二"}) {
        std::string csv = "年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n";
        for (int m = 1; m <= 12; ++m)
            for (int d = 1; d <= 28; ++d)
                csv += "2024/" + std::to_string(m) + "/" + std::to_string(d) +
                       ",軽トラ,山田,30.5,4000,400,駅前SS," + remark + "\r\n";
        files.push_back(data.file(std::string("in-") + (remark == std::string("一") ? "1" : "2") +
                                  ".csv"));
        writeBytes(files.back(), toCp932(csv));
    }
    int codes[2] = {};
    std::string errs[2];
    std::vector<std::thread> runs;
    for (int i = 0; i < 2; ++i)
        runs.emplace_back([&, i] {
            std::istringstream in;
            std::ostringstream o, e;
            ToolRunner runner(program.dir(), in, o, e, false);
            codes[i] = runner.run(withData({"import-csv", "--kind", "refuelling", files[i]}));
            errs[i] = e.str();
        });
    for (auto& t : runs) t.join();
    int imported = 0;
    for (int i = 0; i < 2; ++i) {
        if (codes[i] == kExitOk)
            ++imported;
        else
            EXPECT_NE(errs[i].find("このデータを開いています"), std::string::npos) << errs[i];
    }
    EXPECT_GE(imported, 1);
    EXPECT_EQ(recordCount(), before + std::size_t(imported * kRows));
    EXPECT_FALSE(std::filesystem::exists(data.file("Quil.lck")));
    EXPECT_EQ(run(withData({"check"})), kExitOk) << out;
}

// One command holds a folder while it writes: a second one waits for it, or after a while
// refuses naming what is running; never do both write at once.
TEST_F(Tool, ASecondCommandOnAFolderWaitsForTheFirstOrRefuses) {
    TempDir dest;
    writeSampleItems(dest.dir());
    RecordStore(dest.dir()).save(sampleRecord(1, encodeDate(2024, 1, 1), 0, 1), std::nullopt);
    RecordStore(data.dir()).save(sampleRecord(1, encodeDate(2024, 2, 1), 0, 1), std::nullopt);
    // The first backup --replace into `dest` is still writing; it ends a moment later.
    auto first = std::make_unique<quil::folder::FolderLock>(dest.dir());
    ASSERT_TRUE(first->acquire());
    std::thread ends([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        first->release();
    });
    EXPECT_EQ(run(withData({"backup", "--replace", dest.dir()})), kExitOk) << err;
    ends.join();
    EXPECT_EQ(readBytes(dest.file("Quil.qud")), readBytes(data.file("Quil.qud")));

    // An import-csv while another command holds the data folder throughout.
    writeBytes(data.file("in.csv"), toCp932("年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"
                                            "2024/01/10,軽トラ,山田,30.5,4000,400,駅前SS,\r\n"));
    const auto before = readBytes(data.file("Quil.qud"));
    quil::folder::FolderLock held(data.dir());
    ASSERT_TRUE(held.acquire());
    EXPECT_EQ(run(withData({"import-csv", "--kind", "refuelling", data.file("in.csv")})),
              kExitProblems);
    EXPECT_NE(err.find("このデータを開いています"), std::string::npos) << err;
    EXPECT_NE(err.find("使用しています"), std::string::npos) << err;
    EXPECT_EQ(readBytes(data.file("Quil.qud")), before);
}

TEST_F(Tool, CheckTidiesOnlyTheLeftoversThatAreProvablyOurs) {
    // An import killed while it copied: a staging folder of ours with a copy, no journal.
    std::string staging;
    {
        quil::folder::StagingFolder made(data.dir(), quil::folder::kImportStaging);
        staging = made.path();
        writeBytes(staging + "Quil.qui", *readBytes(data.file("Quil.qui")));
        writeBytes(staging + "swap.journal", "quil-swap 1\n");
    }
    std::filesystem::remove(staging + "swap.journal");
    // A folder of the user's that has a staging folder's name.
    std::filesystem::create_directory(data.dir() + "Quil.$move");
    writeBytes(data.dir() + "Quil.$move/notes.txt", "mine");
    const auto items = readBytes(data.file("Quil.qui"));
    EXPECT_EQ(run(withData({"check"})), kExitOk) << out << err;
    EXPECT_NE(err.find(staging.substr(0, staging.size() - 1) + ") を片付けました"),
              std::string::npos)
        << err;
    EXPECT_FALSE(std::filesystem::exists(staging));
    EXPECT_EQ(readBytes(data.dir() + "Quil.$move/notes.txt"), "mine");
    EXPECT_EQ(readBytes(data.file("Quil.qui")), items);
}

TEST_F(Tool, ExpiriesExitOneOnlyWhenSomethingLapsedAndLicencesKeepTheirNumbersUnlessAsked) {
    // Nothing entered: nothing listed, exit 0, and no QuilExt.db made by reading.
    EXPECT_EQ(run(withData({"expiries"})), kExitOk);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(std::filesystem::exists(data.file("QuilExt.db")));
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"expiries", "--within", "-1"},
             {"expiries", "--within"},
             {"expiries", "--with-numbers"},
             {"licences"},
             {"licences", "export", "--csv"},
             {"papers", "export", "--with-numbers"},
             {"papers", "import"}})
        EXPECT_EQ(run(withData(args)), kExitUsage) << args[0] << ' ' << args.size();

    const std::string today = formatDate(::quil::store::today());
    const std::string soon = formatDate(::quil::store::today() + 30);
    const std::string later = formatDate(::quil::store::today() + 31);
    const std::string past = formatDate(::quil::store::today() - 1);
    const std::string licences = "運転者,免許証番号,種類,条件,有効期限,確認日,確認者,備考\n"
                                 "山田,123456789012,普通,眼鏡等," + soon + ",,,\n"
                                 "使用者1,,普通,," + later + ",,,\n";
    EXPECT_EQ(run(withData({"licences", "import", "-"}), licences), kExitOk) << err;
    EXPECT_EQ(out, "2 件の運転免許証を追加しました。\n");
    EXPECT_EQ(run(withData({"licences", "import", "-"}), licences), kExitOk);  // again: skipped
    EXPECT_NE(out.find("登録済みと同じ 2 行"), std::string::npos);
    // One bad row adds nothing, and says which.
    EXPECT_EQ(run(withData({"papers", "import", "-"}),
                  "車両,種類,項目名,保険会社,証明書・証券番号,有効期限,備考\n"
                  "軽トラ,車検,,,," + today + ",\n軽トラ,車険,,,," + today + ",\n"),
              kExitProblems);
    EXPECT_NE(err.find("3行目: 種類「車険」が正しくありません。"), std::string::npos) << err;
    EXPECT_EQ(run(withData({"expiries"})), kExitOk);
    EXPECT_EQ(out, soon + "\tあと30日\t運転者 山田\t運転免許証\n");

    EXPECT_EQ(run(withData({"papers", "import", "-"}),
                  "車両,種類,項目名,保険会社,証明書・証券番号,有効期限,備考\n"
                  "軽トラ,車検,,,," + past + ",\n車両1,その他,リース満了,,," + today + ",\n"),
              kExitOk)
        << err;
    EXPECT_EQ(run(withData({"expiries", "--within", "0", "--csv"})), kExitProblems);
    EXPECT_EQ(fromCp932(out), "有効期限,残り日数,状態,区分,名前,内容\r\n" + past +
                                  ",-1,期限切れ,車両,軽トラ,車検\r\n" + today +
                                  ",0,期限間近,車両,車両1,リース満了\r\n");

    EXPECT_EQ(run(withData({"licences", "export"})), kExitOk);
    EXPECT_EQ(out.find("123456789012"), std::string::npos);
    EXPECT_EQ(fromCp932(out).rfind("運転者,種類,", 0), 0u);
    EXPECT_EQ(run(withData({"licences", "export", "--with-numbers", "--encoding", "utf-8"})),
              kExitOk);
    EXPECT_NE(out.find("山田,123456789012,普通"), std::string::npos);

    // A text CP932 cannot hold is never written as '?': the export asks for UTF-8.
    EXPECT_EQ(run(withData({"papers", "import", "-"}),
                  "車両,種類,項目名,保険会社,証明書・証券番号,有効期限,備考\n"
                  "軽トラ,任意保険,,損保,P-1," + later + ",🍺\n"),
              kExitOk);
    EXPECT_EQ(run(withData({"papers", "export"})), kExitProblems);
    EXPECT_NE(err.find("--encoding utf-8"), std::string::npos);
    EXPECT_EQ(run(withData({"papers", "export", "--encoding", "utf-8"})), kExitOk);
    EXPECT_NE(out.find("軽トラ,任意保険,,損保,P-1," + later + ",🍺"), std::string::npos);
}

// A backup killed in the middle of its swap is finished in its destination by the next
// command on the data folder, which says so; the data folder keeps no record of it.
TEST_F(Tool, CheckFinishesABackupAKillCutShortInItsDestination) {
    RecordStore(data.dir()).save(sampleRecord(1, encodeDate(2024, 3, 1), 0, 1), std::nullopt);
    // Killed once the first file is in place and before the second is.
    std::unique_ptr<TempDir> dest;
    const auto halfDone = [&] {
        return std::filesystem::exists(dest->file("Quil.qui")) &&
               !std::filesystem::exists(dest->file("Quil.qud"));
    };
    for (int k = 1; !dest || !halfDone(); ++k) {
        ASSERT_LT(k, 100);
        for (const auto& e : std::filesystem::directory_iterator(data.dir()))
            if (e.path().filename().string().starts_with("Quil.backupto."))
                std::filesystem::remove(e.path());
        dest = std::make_unique<TempDir>();
        CrashingFileSystem dying(k);
        EXPECT_THROW(quil::folder::backupDataSet(data.dir(), dest->dir(), dying), StoreError);
    }
    EXPECT_EQ(run(withData({"check"})), kExitOk) << out << err;
    EXPECT_NE(err.find("中断されていたバックアップを完了しました (" + dest->dir() + "Quil.$backup."),
              std::string::npos)
        << err;
    EXPECT_FALSE(quil::folder::swapPending(dest->dir()));
    EXPECT_TRUE(quil::folder::stagingLeftoverNames(dest->dir()).empty());
    EXPECT_EQ(readBytes(dest->file("Quil.qud")), readBytes(data.file("Quil.qud")));
    EXPECT_EQ(readBytes(dest->file("Quil.qui")), readBytes(data.file("Quil.qui")));
    for (const auto& e : std::filesystem::directory_iterator(data.dir()))
        EXPECT_FALSE(e.path().filename().string().starts_with("Quil.backupto.")) << e.path();
}
